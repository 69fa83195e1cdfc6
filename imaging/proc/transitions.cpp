// The transition effects between two looks of a view, composed in 24-bit pictures through row
// tables in 10-bit fixed point and copied onto the view's window on each timer tick.
#include "imaging/proc/transitions.h"

#include "imaging/core/detail/row_kernel.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/view/kvview.h"
#include "platform/core/random.h"
#include "platform/core/rounding.h"
#include "platform/core/threads.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cstring>

namespace {

std::unique_ptr<TBitmap> SmallPicture()
{
    auto picture = std::make_unique<TBitmap>();
    picture->SetWidth(1);
    picture->SetHeight(1);
    picture->SetPixelFormat(pf24bit);
    return picture;
}

void ShrinkToOne(TBitmap* picture)
{
    picture->SetWidth(1);
    picture->SetHeight(1);
}

const uint8_t Red[3] = {0, 0, 255};

// (a * weightA + b * weightB) shr 10 per byte, the weights adding up to 1024.
KV_ROW_KERNEL void BlendRow(const uint8_t* __restrict a, const uint8_t* __restrict b, uint8_t* __restrict out,
                            size_t count, int32_t weightA, int32_t weightB)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>((a[i] * weightA + b[i] * weightB) >> 10);
}

} // namespace

TKVTransitionEffects::TKVTransitionEffects(TKVView* View)
    : TickCount(GetTickCount), FSource(SmallPicture()), FTarget(SmallPicture()), FFrame(SmallPicture()),
      FView(View), FTimer(new TTimer(View))
{
    FTimer->SetEnabled(false);
    FTimer->SetInterval(1);
    FTimer->OnTimer = [this](TObject* Sender) { TimerEvent(Sender); };
}

TKVTransitionEffects::~TKVTransitionEffects()
{
    delete FTimer;
}

void TKVTransitionEffects::SetSizes(int32_t Width, int32_t Height)
{
    Stop();
    FWidth = std::max(Width, 0);
    FHeight = std::max(Height, 0);
    for (TBitmap* picture : {FFrame.get(), FSource.get(), FTarget.get()}) {
        picture->SetWidth(FWidth);
        picture->SetHeight(FHeight);
    }
}

void TKVTransitionEffects::BuildRowTables()
{
    // A picture resized since SetSizes is drawn only where all three still have pixels.
    FW = std::min({FWidth, FSource->Width(), FTarget->Width(), FFrame->Width()});
    FH = std::min({FHeight, FSource->Height(), FTarget->Height(), FFrame->Height()});
    const std::pair<TBitmap*, std::vector<uint8_t*>*> tables[] = {
        {FSource.get(), &FSourceRows}, {FTarget.get(), &FTargetRows}, {FFrame.get(), &FFrameRows}};
    for (auto [picture, rows] : tables) {
        rows->resize(size_t(std::max(FH, 0)));
        for (int32_t y = 0; y < FH; ++y)
            (*rows)[y] = picture->ScanLine(y);
    }
}

void TKVTransitionEffects::Run(bool UpdateOnStop)
{
    if (Transition == kvttNone)
        return;
    if (FRunning)
        FView->NPUnLockPaint();
    FUpdateOnStop = UpdateOnStop;
    FRunning = true;
    FStep = 0;
    FRandomCount = 0;
    FFrameCount = 0;
    BuildRowTables();
    if (FW < 2 && FH < 2) {
        // An earlier run's timer must not go on ticking.
        FRunning = false;
        FTimer->SetEnabled(false);
        return;
    }
    FView->LockPaint();
    FStartTick = TickCount();
    FTimer->SetEnabled(true);
}

void TKVTransitionEffects::Stop()
{
    if (!FRunning)
        return;
    FTimer->SetEnabled(false);
    FRunning = false;
    for (TBitmap* picture : {FFrame.get(), FSource.get(), FTarget.get()})
        ShrinkToOne(picture);
    FSourceRows.clear();
    FTargetRows.clear();
    FFrameRows.clear();
    FView->NPUnLockPaint();
    if (FUpdateOnStop)
        FView->Update();
}

void TKVTransitionEffects::TimerEvent(TObject*)
{
    if (!FRunning)
        return;
    ++FFrameCount;
    DrawFrame(FStep);
    BitBlt(FView->GetCanvas()->Handle(), 0, 0, FW, FH, FFrame->Canvas()->Handle(), 0, 0, SRCCOPY);
    const uint32_t elapsed = TickCount() - FStartTick;
    if (elapsed >= Duration)
        Stop();
    FStep = Duration == 0 ? 1024 : std::min(Trunc(static_cast<long double>(elapsed) / Duration * 1024), 1024);
}

void TKVTransitionEffects::DrawFrame(int32_t s)
{
    if (FW <= 0 || FH <= 0 || FFrameRows.size() != size_t(FH))
        return;
    s = s < 0 ? 0 : (s > 1024 ? 1024 : s);
    switch (Transition) {
    case kvttCrossDissolve:
        return CrossDissolve(s);
    case kvttFadeOut:
        return FadeOut(s);
    case kvttFadeIn:
        return FadeIn(s);
    case kvttFadeOutIn:
        return FadeOutIn(s);
    case kvttLeftRight1:
        return LeftRight1(s);
    case kvttLeftRight2:
        return LeftRight2(s);
    case kvttRightLeft1:
        return RightLeft1(s);
    case kvttRightLeft2:
        return RightLeft2(s);
    case kvttUpDown1:
        return UpDown1(s);
    case kvttUpDown2:
        return UpDown2(s);
    case kvttDownUp1:
        return DownUp1(s);
    case kvttDownUp2:
        return DownUp2(s);
    case kvttFromUpLeft:
        return FromUpLeft(s);
    case kvttFromUpRight:
        return FromUpRight(s);
    case kvttFromBottomLeft:
        return FromBottomLeft(s);
    case kvttFromBottomRight:
        return FromBottomRight(s);
    case kvttMoveLeftRight1:
        return MoveLeftRight1(s);
    case kvttMoveLeftRight2:
        return MoveLeftRight2(s);
    case kvttMoveRightLeft1:
        return MoveRightLeft1(s);
    case kvttMoveRightLeft2:
        return MoveRightLeft2(s);
    case kvttMoveUpDown1:
        return MoveUpDown1(s);
    case kvttMoveUpDown2:
        return MoveUpDown2(s);
    case kvttMoveDownUp1:
        return MoveDownUp1(s);
    case kvttMoveDownUp2:
        return MoveDownUp2(s);
    case kvttRandomPoints:
        return RandomPoints(s);
    case kvttRandomBoxes:
        return RandomBoxes(s);
    case kvttCenter1:
        return Center1(s);
    case kvttCenter2:
        return Center2(s);
    case kvttCenterZoom1:
        return CenterZoom1(s);
    case kvttCenterZoom2:
        return CenterZoom2(s);
    default:
        return;
    }
}

// ---- Drawing helpers ----

void TKVTransitionEffects::Blit(const std::vector<uint8_t*>& from, int32_t x, int32_t y, int32_t w, int32_t h)
{
    const int32_t x1 = std::max(x, 0), y1 = std::max(y, 0);
    const int32_t x2 = int32_t(std::min<int64_t>(int64_t(x) + w, FW)),
                  y2 = int32_t(std::min<int64_t>(int64_t(y) + h, FH));
    for (int32_t row = y1; row < y2 && x1 < x2; ++row)
        std::memcpy(FFrameRows[row] + size_t(x1) * 3, from[row] + size_t(x1) * 3, size_t(x2 - x1) * 3);
}

void TKVTransitionEffects::DrawAt(const std::vector<uint8_t*>& from, int32_t x, int32_t y)
{
    const int32_t x1 = std::max(x, 0), x2 = std::min(x + FW, FW);
    for (int32_t row = std::max(y, 0); row < std::min(y + FH, FH) && x1 < x2; ++row)
        std::memcpy(FFrameRows[row] + size_t(x1) * 3, from[row - y] + size_t(x1 - x) * 3,
                    size_t(x2 - x1) * 3);
}

void TKVTransitionEffects::StretchInto(const std::vector<uint8_t*>& from, int32_t x, int32_t y, int32_t w,
                                       int32_t h)
{
    if (w <= 0 || h <= 0)
        return;
    for (int32_t j = std::max(0, -y); j < h && y + j < FH; ++j) {
        const uint8_t* source = from[int64_t(j) * FH / h];
        uint8_t* out = FFrameRows[y + j];
        for (int32_t i = std::max(0, -x); i < w && x + i < FW; ++i)
            std::memcpy(out + size_t(x + i) * 3, source + size_t(int64_t(i) * FW / w) * 3, 3);
    }
}

void TKVTransitionEffects::RedLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    // Lines run straight across or down; the end point is left out, as the canvas draws.
    if (y1 == y2 && y1 >= 0 && y1 < FH)
        for (int32_t x = std::max(std::min(x1, x2), 0); x < std::min(std::max(x1, x2), FW); ++x)
            std::memcpy(FFrameRows[y1] + size_t(x) * 3, Red, 3);
    if (x1 == x2 && x1 >= 0 && x1 < FW)
        for (int32_t y = std::max(std::min(y1, y2), 0); y < std::min(std::max(y1, y2), FH); ++y)
            std::memcpy(FFrameRows[y] + size_t(x1) * 3, Red, 3);
}

void TKVTransitionEffects::Blend(const std::vector<uint8_t*>& a, int32_t weightA, const uint8_t* colour,
                                 const std::vector<uint8_t*>* b, int32_t weightB)
{
    const size_t bytes = size_t(FW) * 3;
    for (int32_t y = 0; y < FH; ++y) {
        const uint8_t* p = a[y];
        uint8_t* out = FFrameRows[y];
        if (b) {
            BlendRow(p, (*b)[y], out, bytes, weightA, weightB);
        } else {
            for (size_t i = 0; i < bytes; ++i)
                out[i] = static_cast<uint8_t>((p[i] * weightA + colour[i % 3] * weightB) >> 10);
        }
    }
}

void TKVTransitionEffects::SplitColumns(const std::vector<uint8_t*>& first, int32_t firstFrom,
                                        const std::vector<uint8_t*>& second, int32_t secondFrom, int32_t d)
{
    d = std::clamp(d, 0, FW);
    for (int32_t y = 0; y < FH; ++y) {
        std::memcpy(FFrameRows[y], first[y] + size_t(firstFrom) * 3, size_t(d) * 3);
        std::memcpy(FFrameRows[y] + size_t(d) * 3, second[y] + size_t(secondFrom) * 3, size_t(FW - d) * 3);
    }
}

void TKVTransitionEffects::SplitRows(const std::vector<uint8_t*>& first, int32_t firstFrom,
                                     const std::vector<uint8_t*>& second, int32_t secondFrom, int32_t d)
{
    d = std::clamp(d, 0, FH);
    const size_t bytes = size_t(FW) * 3;
    for (int32_t y = 0; y < d; ++y)
        std::memcpy(FFrameRows[y], first[firstFrom + y], bytes);
    for (int32_t y = d; y < FH; ++y)
        std::memcpy(FFrameRows[y], second[secondFrom + y - d], bytes);
}

namespace {

// (s * size) shr 10, taken in 64 bits.
int32_t Part(int32_t s, int32_t size)
{
    return static_cast<int32_t>((int64_t(s) * size) >> 10);
}

int32_t RoundPart(int32_t s, int32_t size)
{
    return Round(static_cast<long double>(s) * size / 1024);
}

} // namespace

// ---- Effects ----

void TKVTransitionEffects::CrossDissolve(int32_t s)
{
    Blend(FSourceRows, 1024 - s, nullptr, &FTargetRows, s);
}

void TKVTransitionEffects::FadeOut(int32_t s)
{
    const TRGB b = Korvaneproc::TColor2TRGB(FView->Background());
    const uint8_t colour[3] = {b.b, b.g, b.r};
    Blend(FSourceRows, 1024 - s, colour, nullptr, s);
}

void TKVTransitionEffects::FadeIn(int32_t s)
{
    const TRGB b = Korvaneproc::TColor2TRGB(FView->Background());
    const uint8_t colour[3] = {b.b, b.g, b.r};
    Blend(FTargetRows, s, colour, nullptr, 1024 - s);
}

void TKVTransitionEffects::FadeOutIn(int32_t s)
{
    if (s < 512)
        FadeOut(2 * s);
    else
        FadeIn((s - 512) * 2);
}

void TKVTransitionEffects::LeftRight1(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    Blit(FTargetRows, 0, 0, Part(s, FW), FH);
}

void TKVTransitionEffects::LeftRight2(int32_t s)
{
    LeftRight1(s);
    RedLine(Part(s, FW), 0, Part(s, FW), FH);
}

void TKVTransitionEffects::RightLeft1(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    Blit(FTargetRows, RoundPart(1024 - s, FW), 0, RoundPart(s, FW), FH);
}

void TKVTransitionEffects::RightLeft2(int32_t s)
{
    RightLeft1(s);
    const int32_t x = RoundPart(1024 - s, FW);
    RedLine(x, 0, x, FH);
}

void TKVTransitionEffects::UpDown1(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    Blit(FTargetRows, 0, 0, FW, RoundPart(s, FH));
}

void TKVTransitionEffects::UpDown2(int32_t s)
{
    UpDown1(s);
    const int32_t h = RoundPart(s, FH);
    RedLine(0, h, FW, h);
}

void TKVTransitionEffects::DownUp1(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    Blit(FTargetRows, 0, RoundPart(1024 - s, FH), FW, RoundPart(s, FH));
}

void TKVTransitionEffects::DownUp2(int32_t s)
{
    DownUp1(s);
    const int32_t y = RoundPart(1024 - s, FH);
    RedLine(0, y, FW, y);
}

void TKVTransitionEffects::FromUpLeft(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    DrawAt(FTargetRows, -Part(1024 - s, FW), -Part(1024 - s, FH));
}

void TKVTransitionEffects::FromUpRight(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    DrawAt(FTargetRows, Part(1024 - s, FW), -Part(1024 - s, FH));
}

void TKVTransitionEffects::FromBottomLeft(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    DrawAt(FTargetRows, -Part(1024 - s, FW), Part(1024 - s, FH));
}

void TKVTransitionEffects::FromBottomRight(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    DrawAt(FTargetRows, Part(1024 - s, FW), Part(1024 - s, FH));
}

void TKVTransitionEffects::MoveLeftRight1(int32_t s)
{
    const int32_t d = Part(s, FW);
    SplitColumns(FTargetRows, FW - d, FSourceRows, 0, d);
}

void TKVTransitionEffects::MoveLeftRight2(int32_t s)
{
    SplitColumns(FTargetRows, 0, FSourceRows, 0, Part(s, FW));
}

void TKVTransitionEffects::MoveRightLeft1(int32_t s)
{
    const int32_t d = Part(1024 - s, FW);
    SplitColumns(FSourceRows, FW - d, FTargetRows, 0, d);
}

void TKVTransitionEffects::MoveRightLeft2(int32_t s)
{
    SplitColumns(FSourceRows, 0, FTargetRows, 0, Part(1024 - s, FW));
}

void TKVTransitionEffects::MoveUpDown1(int32_t s)
{
    const int32_t d = Part(s, FH);
    SplitRows(FTargetRows, FH - d, FSourceRows, 0, d);
}

void TKVTransitionEffects::MoveUpDown2(int32_t s)
{
    SplitRows(FTargetRows, 0, FSourceRows, 0, Part(s, FH));
}

void TKVTransitionEffects::MoveDownUp1(int32_t s)
{
    const int32_t d = Part(1024 - s, FH);
    SplitRows(FSourceRows, FH - d, FTargetRows, 0, d);
}

void TKVTransitionEffects::MoveDownUp2(int32_t s)
{
    const int32_t d = Part(1024 - s, FH);
    SplitRows(FSourceRows, FH - d, FTargetRows, d, d);
}

void TKVTransitionEffects::RandomPoints(int32_t s)
{
    if (s == 0) {
        Blit(FSourceRows, 0, 0, FW, FH);
        return;
    }
    const int32_t n = Round(static_cast<long double>(int64_t(FW) * s) * (s / 180.0L) / 1024);
    const int32_t k = n - FRandomCount;
    FRandomCount = n;
    for (int32_t y = 0; y < FH; ++y)
        for (int32_t i = 0; i < k; ++i) {
            const int32_t x = Random(FW);
            std::memcpy(FFrameRows[y] + size_t(x) * 3, FTargetRows[y] + size_t(x) * 3, 3);
        }
}

void TKVTransitionEffects::RandomBoxes(int32_t s)
{
    if (s == 0) {
        Blit(FSourceRows, 0, 0, FW, FH);
        return;
    }
    const int64_t boxes = int64_t(FW) * FH / 64;
    const int32_t n = Round(static_cast<long double>(boxes) * s * (s / 180.0L) / 1024);
    const int32_t k = n - FRandomCount;
    FRandomCount = n;
    for (int32_t i = 0; i < k; ++i) {
        const int32_t x = Random(FW) & ~7;
        const int32_t y = Random(FH) & ~7;
        Blit(FTargetRows, x, y, 8, 8);
    }
}

void TKVTransitionEffects::Center1(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    Blit(FTargetRows, (FW >> 1) - Part(s, FW >> 1), (FH >> 1) - Part(s, FH >> 1), Part(s, FW), Part(s, FH));
}

void TKVTransitionEffects::Center2(int32_t s)
{
    const int32_t t = 1024 - s;
    Blit(FTargetRows, 0, 0, FW, FH);
    Blit(FSourceRows, (FW >> 1) - Part(t, FW >> 1), (FH >> 1) - Part(t, FH >> 1), Part(t, FW), Part(t, FH));
}

void TKVTransitionEffects::CenterZoom1(int32_t s)
{
    if (s == 0)
        Blit(FSourceRows, 0, 0, FW, FH);
    StretchInto(FTargetRows, (FW >> 1) - Part(s, FW >> 1), (FH >> 1) - Part(s, FH >> 1), Part(s, FW),
                Part(s, FH));
}

void TKVTransitionEffects::CenterZoom2(int32_t s)
{
    const int32_t t = 1024 - s;
    Blit(FTargetRows, 0, 0, FW, FH);
    StretchInto(FSourceRows, (FW >> 1) - Part(t, FW >> 1), (FH >> 1) - Part(t, FH >> 1), Part(t, FW),
                Part(t, FH));
}
