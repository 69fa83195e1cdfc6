// The histogram box and the HSV colour box.
#include "imaging/view/histogram_box.h"

#include "imaging/core/colour_spaces.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/rounding.h"
#include "platform/core/strings.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cstdlib>

namespace {

void ResizeTo(TBitmap& bitmap, int32_t w, int32_t h)
{
    if (bitmap.Width() != w || bitmap.Height() != h)
        bitmap.SetSize(std::max(w, 0), std::max(h, 0));
}

void PutPixel(TBitmap& bitmap, int32_t x, int32_t y, const TRGB& c)
{
    if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height())
        return;
    uint8_t* p = bitmap.ScanLine(y) + int64_t(x) * 3;
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// THistogramBox

THistogramBox::THistogramBox(TComponent* AOwner)
    : TCustomControl(AOwner), FBitmap(std::make_unique<TBitmap>())
{
    SetControlStyle(ControlStyle() | csAcceptsControls | csOpaque);
    FBitmap->SetPixelFormat(pf24bit);
    SetBounds(Left(), Top(), 256, 105);
}

THistogramBox::~THistogramBox()
{
    if (FProc)
        FProc->RemoveFreeNotification(this);
}

void THistogramBox::SetAKVP(TKorvaneProc* Value)
{
    if (FProc)
        FProc->RemoveFreeNotification(this);
    FProc = Value;
    if (FProc)
        FProc->FreeNotification(this);
    Update();
}

void THistogramBox::Notification(TComponent* AComponent, TOperation Operation)
{
    TCustomControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FProc)
        FProc = nullptr;
}

void THistogramBox::SetBackground(TColor Value)
{
    FBackground = Value;
    Update();
}

#define KV_STORE_AND_UPDATE(Field, Value)                                                                    \
    if (Field != Value) {                                                                                    \
        Field = Value;                                                                                       \
        Update();                                                                                            \
    }

void THistogramBox::SetHistogramKind(THistogramKind Value)
{
    KV_STORE_AND_UPDATE(FKind, Value)
}
void THistogramBox::SetLabels(THistogramLabels Value)
{
    KV_STORE_AND_UPDATE(FLabels, Value)
}
void THistogramBox::SetCompBar(bool Value)
{
    KV_STORE_AND_UPDATE(FCompBar, Value)
}
void THistogramBox::SetHistogramStyle(THistogramStyle Value)
{
    KV_STORE_AND_UPDATE(FStyle, Value)
}
void THistogramBox::SetGrayColor(TColor Value)
{
    KV_STORE_AND_UPDATE(FGrayColor, Value)
}
#undef KV_STORE_AND_UPDATE

void THistogramBox::Resize()
{
    TCustomControl::Resize();
    Update();
}

void THistogramBox::Paint()
{
    if (!FBitmap->Empty())
        BitBlt(Canvas(), 0, 0, FBitmap->Width(), FBitmap->Height(), FBitmap->Canvas(), 0, 0, SRCCOPY);
}

void THistogramBox::Update()
{
    ResizeTo(*FBitmap, ClientWidth(), ClientHeight());
    if (FBitmap->Empty()) {
        Invalidate();
        return;
    }
    TCanvas* canvas = FBitmap->Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(FBackground);
    canvas->FillRect(TRect{0, 0, FBitmap->Width(), FBitmap->Height()});
    TKVBitmap* image = FProc ? FProc->KVBitmap() : nullptr;
    if (image == nullptr || image->GetWidth() <= 0 || image->GetHeight() <= 0) {
        Invalidate();
        return;
    }
    THistogram hist{};
    FProc->GetHistogram(&hist);
    // The kinds in drawing order, with their pens.
    struct TKind
    {
        THistogramKindItem item;
        TColor pen;
        int32_t THistogramItem::*count;
    };
    const TKind kinds[] = {{hkRed, clRed, &THistogramItem::r},
                           {hkGreen, clGreen, &THistogramItem::g},
                           {hkBlue, clBlue, &THistogramItem::b},
                           {hkGray, FGrayColor, &THistogramItem::gray}};
    auto selected = [&](THistogramKindItem k) { return (FKind >> k) & 1; };
    int64_t maxCount = 0;
    for (const TKind& k : kinds)
        if (selected(k.item))
            for (const THistogramItem& level : hist)
                maxCount = std::max<int64_t>(maxCount, level.*k.count);
    if (maxCount == 0) {
        Invalidate();
        return;
    }
    TFont* font = Font();
    canvas->SetFont(font);
    canvas->Brush()->SetStyle(bsClear);
    const int32_t fontHeight = std::abs(canvas->Font()->Height());
    int32_t left = 0, W = FBitmap->Width(), H = FBitmap->Height();
    const int32_t bar = Trunc(fontHeight * 1.2L);
    if (FCompBar)
        H -= 2 + bar;
    if (FLabels & (1 << hlVertical)) {
        canvas->TextOut(0, H / 2, IntToStr(maxCount / 2));
        canvas->TextOut(0, 0, IntToStr(maxCount));
        const int64_t pixels = int64_t(image->GetWidth()) * image->GetHeight();
        const int32_t column = canvas->TextWidth(IntToStr(pixels)) + 2;
        left += column;
        W -= column;
    }
    if (W <= 0 || H <= 0) {
        Invalidate();
        return;
    }
    if (FLabels & (1 << hlHorizontal)) {
        const int32_t y = H - fontHeight - 1;
        for (int32_t level : {0, 64, 128, 192})
            canvas->TextOut(left + Round(level / 256.0L * W), y, IntToStr(level));
        canvas->TextOut(left + W - canvas->TextWidth("255"), y, "255");
        H -= 2 + canvas->TextHeight("0");
        canvas->Pen()->SetColor(canvas->Font()->Color());
        canvas->Pen()->SetMode(pmCopy);
        canvas->MoveTo(left - 1, 0);
        canvas->LineTo(left - 1, H);
        canvas->LineTo(left + W, H);
    }
    if (FCompBar) {
        const int32_t top = FBitmap->Height() - bar;
        for (int32_t x = 0; x < W; ++x) {
            const uint8_t level = uint8_t(std::min(Round(static_cast<long double>(x) / W * 256), 255));
            const bool grey = selected(hkGray);
            const TRGB c{uint8_t(grey || selected(hkBlue) ? level : 0),
                         uint8_t(grey || selected(hkGreen) ? level : 0),
                         uint8_t(grey || selected(hkRed) ? level : 0)};
            for (int32_t y = top; y < FBitmap->Height(); ++y)
                PutPixel(*FBitmap, left + x, y, c);
        }
    }
    if (H > 0) {
        for (const TKind& k : kinds) {
            if (!selected(k.item))
                continue;
            canvas->Pen()->SetColor(k.pen);
            canvas->Pen()->SetMode(pmCopy);
            canvas->Pen()->SetStyle(psSolid);
            for (int32_t x = 0; x < W; ++x) {
                const int32_t level = std::min(Trunc(static_cast<long double>(x) / W * 256), 255);
                const int64_t count = hist[size_t(level)].*k.count;
                if (FStyle == hsBars) {
                    int32_t h = Round(static_cast<long double>(count) / maxCount * H);
                    // A level that occurs at all shows, however rare.
                    if (count != 0)
                        h = std::max(h, 1);
                    if (h > 0) {
                        canvas->MoveTo(left + x, H - 1);
                        canvas->LineTo(left + x, H - 1 - h);
                    }
                } else {
                    const int32_t y = H - Round(static_cast<long double>(count) / maxCount * H);
                    if (x == 0)
                        canvas->MoveTo(left, H - 1);
                    canvas->LineTo(left + x, y);
                }
            }
        }
    }
    Invalidate();
}

// ---------------------------------------------------------------------------------------------
// THSVBox

THSVBox::THSVBox(TComponent* AOwner) : TCustomControl(AOwner), FBitmap(std::make_unique<TBitmap>())
{
    SetControlStyle(ControlStyle() | csOpaque);
    FBitmap->SetPixelFormat(pf24bit);
    SetBounds(Left(), Top(), 105, 105);
    ComputeColour();
}

THSVBox::~THSVBox() = default;

int32_t THSVBox::SquareWidth() const
{
    return FBitmap->Width() - FBarsDistance - FHueBarWidth;
}

void THSVBox::ComputeColour()
{
    TRGB c{};
    Korvaneproc::HSV2RGB(c, FHue, FSat, FVal);
    FRed = c.r;
    FGreen = c.g;
    FBlue = c.b;
    FColor = RGBToColor(c.r, c.g, c.b);
}

void THSVBox::SetHue(int32_t Value)
{
    FHue = std::clamp(Value, 0, 359);
    ComputeColour();
    Redraw();
}

void THSVBox::SetSat(int32_t Value)
{
    FSat = std::clamp(Value, 0, 99);
    ComputeColour();
    Redraw();
}

void THSVBox::SetVal(int32_t Value)
{
    FVal = std::clamp(Value, 0, 99);
    ComputeColour();
    Redraw();
}

void THSVBox::SetRGB(uint8_t Red, uint8_t Green, uint8_t Blue)
{
    FRed = Red;
    FGreen = Green;
    FBlue = Blue;
    FColor = RGBToColor(Red, Green, Blue);
    Korvaneproc::RGB2HSV(TRGB{Blue, Green, Red}, FHue, FSat, FVal);
    Redraw();
}

void THSVBox::SetColor(TColor Value)
{
    // A system colour names a theme colour: its value as RGB would be another colour.
    const COLORREF c = static_cast<COLORREF>(ColorToRGB(Value));
    SetRGB(GetRValue(c), GetGValue(c), GetBValue(c));
}

TColor THSVBox::GetColorAt(int32_t x, int32_t y)
{
    const int32_t hue = FHue, sat = FSat, val = FVal;
    Apply(x, y);
    const TColor result = FColor;
    FHue = hue;
    FSat = sat;
    FVal = val;
    ComputeColour();
    Redraw();
    return result;
}

void THSVBox::SetBackground(TColor Value)
{
    FBackground = Value;
    Redraw();
}

void THSVBox::SetHueBarWidth(int32_t Value)
{
    if (Value < 0)
        return;
    FHueBarWidth = Value;
    Redraw();
}

void THSVBox::SetBarsDistance(int32_t Value)
{
    if (Value < 0)
        return;
    FBarsDistance = Value;
    Redraw();
}

void THSVBox::Resize()
{
    TCustomControl::Resize();
    Redraw();
}

void THSVBox::Paint()
{
    if (!FBitmap->Empty())
        BitBlt(Canvas(), 0, 0, FBitmap->Width(), FBitmap->Height(), FBitmap->Canvas(), 0, 0, SRCCOPY);
}

void THSVBox::Redraw()
{
    ResizeTo(*FBitmap, ClientWidth(), ClientHeight());
    if (FBitmap->Empty())
        return;
    TCanvas* canvas = FBitmap->Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(FBackground);
    canvas->FillRect(TRect{0, 0, FBitmap->Width(), FBitmap->Height()});
    DrawSquare();
    DrawHueBar();
    DrawGrips();
    Invalidate();
}

void THSVBox::DrawSquare()
{
    const int32_t S = SquareWidth(), H = FBitmap->Height();
    if (S <= 0 || H <= 0)
        return;
    // The scales are single-precision, as the colours of the square have always been computed.
    const float sx = 100.0f / float(S), sy = 100.0f / float(H);
    for (int32_t y = 0; y < H; ++y) {
        const int32_t val = Trunc(static_cast<long double>(y) * sy);
        for (int32_t x = 0; x < S; ++x) {
            TRGB c{};
            Korvaneproc::HSV2RGB(c, FHue, Trunc(static_cast<long double>(x) * sx), val);
            PutPixel(*FBitmap, x, H - 1 - y, c);
        }
    }
}

void THSVBox::DrawHueBar()
{
    const int32_t S = SquareWidth(), W = FBitmap->Width(), H = FBitmap->Height();
    if (H <= 0)
        return;
    const double scale = 360.0 / H;
    for (int32_t y = 0; y < H; ++y) {
        TRGB c{};
        Korvaneproc::HSV2RGB(c, Trunc(static_cast<long double>(y) * scale), 99, 99);
        for (int32_t x = std::max(S + FBarsDistance, 0); x < W; ++x)
            PutPixel(*FBitmap, x, H - 1 - y, c);
    }
}

void THSVBox::DrawGrips()
{
    const int32_t S = SquareWidth(), W = FBitmap->Width(), H = FBitmap->Height();
    if (H <= 0)
        return;
    TCanvas* canvas = FBitmap->Canvas();
    canvas->Pen()->SetMode(pmNot);
    canvas->Pen()->SetWidth(1);
    canvas->Pen()->SetStyle(psSolid);
    canvas->Brush()->SetStyle(bsClear);
    const int32_t yh = Round(static_cast<long double>(H - 1) * (359 - FHue) / 360);
    canvas->Rectangle(S + FBarsDistance, yh - 2, W, yh + 2);
    if (S > 0) {
        const int32_t xs = Round(static_cast<long double>(FSat) / 99 * (S - 1));
        const int32_t ys = H - Round(static_cast<long double>(H - 1) * FVal / 99) - 1;
        canvas->Rectangle(xs - 3, ys - 4, xs + 3, ys + 2);
    }
    canvas->Pen()->SetMode(pmCopy);
    canvas->Brush()->SetStyle(bsSolid);
}

void THSVBox::Apply(int32_t x, int32_t y)
{
    const int32_t S = SquareWidth(), W = FBitmap->Width(), H = FBitmap->Height();
    if (W <= 0 || H <= 0)
        return;
    y = std::clamp(y, 0, H - 1);
    if (FDrag == 1 && S > 0) {
        x = std::clamp(x, 0, S - 1);
        FSat = S > 1 ? Round(static_cast<long double>(x) / (S - 1) * 99) : 0;
        FVal = H > 1 ? 99 - Round(static_cast<long double>(y) / (H - 1) * 99) : 99;
    } else if (FDrag == 2) {
        FHue = H > 1 ? 359 - Round(static_cast<long double>(y) / (H - 1) * 359) : 359;
    }
    ComputeColour();
}

void THSVBox::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseDown(Button, Shift, X, Y);
    if (Button != mbLeft)
        return;
    const int32_t S = SquareWidth();
    if (X < S)
        FDrag = 1;
    else if (X >= S + FBarsDistance)
        FDrag = 2;
    else
        return;
    Apply(X, Y);
    if (OnChange)
        OnChange(this);
    Redraw();
}

void THSVBox::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseMove(Shift, X, Y);
    if (FDrag == 0)
        return;
    Apply(X, Y);
    if (OnChange)
        OnChange(this);
    Redraw();
}

void THSVBox::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseUp(Button, Shift, X, Y);
    FDrag = 0;
}
