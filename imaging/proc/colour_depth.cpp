// Colour-depth conversion: palette reduction, black and white by ordered dither or threshold,
// black and white to 24 bits, two-colour detection and the row converter of the file writers.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/graphics/bitmap.h"

#include <cstring>
#include <vector>

namespace Korvaneproc {

using namespace detail;

const int32_t BWORDERPATTERN[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                      {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                      {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                      {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

namespace {

constexpr std::array<std::array<uint8_t, 24>, 256> BuildC1To24()
{
    std::array<std::array<uint8_t, 24>, 256> table{};
    for (int v = 0; v < 256; ++v)
        for (int k = 0; k < 8; ++k) {
            const uint8_t level = (v & (0x80 >> k)) ? 255 : 0;
            table[v][k * 3] = table[v][k * 3 + 1] = table[v][k * 3 + 2] = level;
        }
    return table;
}

// Grey divided by 100 as a real number and rounded half to even.
int32_t RoundedGrey(const TRGB& c)
{
    const int32_t n = c.r * 21 + c.g * 71 + c.b * 8;
    int32_t q = n / 100;
    const int32_t r = n % 100;
    if (r > 50 || (r == 50 && (q & 1)))
        ++q;
    return q;
}

} // namespace

extern const std::array<std::array<uint8_t, 24>, 256> C1TO24 = BuildC1To24();

void _ConvRow1To24(const uint8_t* Src, uint8_t* Dst, int32_t Width)
{
    if (Width < 1)
        return;
    const int32_t whole = Width / 8;
    for (int32_t i = 0; i < whole; ++i)
        std::memcpy(Dst + static_cast<size_t>(i) * 24, C1TO24[Src[i]].data(), 24);
    if (const int32_t rest = Width % 8)
        std::memcpy(Dst + static_cast<size_t>(whole) * 24, C1TO24[Src[whole]].data(),
                    static_cast<size_t>(rest) * 3);
}

void _ConvertToBWOrdered(TKVBitmap* Bitmap, TProgressRec& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB)
        return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width < 1 || height < 1)
        return;
    Progress.PerRow = static_cast<double>(100.0L / (height + 0.5L));
    TKVBitmap result;
    result.Allocate(width, height, kv1g);
    std::vector<uint8_t> in(static_cast<size_t>(width) * 3);
    std::vector<uint8_t> out(static_cast<size_t>(result.GetRowLen()));
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(in.data(), Bitmap->GetScanLine(y), in.size());
        std::fill(out.begin(), out.end(), 0);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = &in[static_cast<size_t>(x) * 3];
            const int32_t level =
                (p[0] >= 251 && p[1] >= 251 && p[2] >= 251) ? 64 : Grey(p[2], p[1], p[0]) / 4;
            if (level > BWORDERPATTERN[x & 7][y & 7])
                SetBitAt(out.data(), x, true);
        }
        std::memcpy(result.GetScanLine(y), out.data(), out.size());
        Report(Progress.OnProgress, Progress.Sender,
               TruncI((y + 1) * static_cast<long double>(Progress.PerRow)));
    }
    Bitmap->AssignImage(&result);
}

void _ConvertToBWThreshold(TKVBitmap* Bitmap, int32_t Threshold, TProgressRec& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return;
    TKVBitmap result;
    result.Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), kv1g);
    _ConvertToBWThresholdEx(Bitmap, &result, Threshold, Progress);
    Bitmap->AssignImage(&result);
}

std::unique_ptr<TKVBitmap> _ConvertTo1bitEx(TKVBitmap* Bitmap, TRGB& BackCol, TRGB& ForeCol)
{
    if (!Bitmap)
        return nullptr;
    ColourReader reader(Bitmap);
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (!reader.Valid() || width < 1 || height < 1)
        return nullptr;
    auto result = std::make_unique<TKVBitmap>();
    result->Allocate(width, height, kv1g);
    std::vector<uint32_t> seen; // at most three colours are ever kept
    std::vector<TRGB> row(static_cast<size_t>(width));
    std::vector<uint8_t> out(static_cast<size_t>(result->GetRowLen()));
    for (int32_t y = 0; y < height && seen.size() <= 2; ++y) {
        reader.Read(y, row.data());
        std::fill(out.begin(), out.end(), 0);
        for (int32_t x = 0; x < width; ++x) {
            const TRGB& c = row[x];
            const uint32_t key = (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
            if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
                seen.push_back(key);
                if (seen.size() == 1)
                    BackCol = c;
                else
                    ForeCol = c;
            }
            if (!(c == BackCol))
                SetBitAt(out.data(), x, true);
        }
        std::memcpy(result->GetScanLine(y), out.data(), out.size());
    }
    if (seen.size() != 2)
        return nullptr;
    if (RoundedGrey(ForeCol) < RoundedGrey(BackCol)) {
        _Negative1BitEx(result.get());
        std::swap(BackCol, ForeCol);
    }
    return result;
}

void _Negative1BitEx(TKVBitmap* Bitmap)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv1g)
        return;
    const size_t rowLen = static_cast<size_t>(Bitmap->GetRowLen());
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
        for (size_t i = 0; i < rowLen; ++i)
            row[i] = static_cast<uint8_t>(~row[i]);
    }
}

void _Conv1to24(TBitmap* Src, TBitmap* Dst, TProgressRec& Progress)
{
    if (!Src || !Dst || Src->PixelFormat() != pf1bit)
        return;
    const int32_t width = Src->Width(), height = Src->Height();
    Dst->SetSize(1, 1);
    Dst->SetPixelFormat(pf24bit);
    Dst->SetSize(width, height);
    Progress.PerRow = static_cast<double>(100.0L / (height + 0.5L));
    for (int32_t y = 0; y < height; ++y) {
        _ConvRow1To24(static_cast<const uint8_t*>(Src->ScanLine(y)), static_cast<uint8_t*>(Dst->ScanLine(y)),
                      width);
        Report(Progress.OnProgress, Progress.Sender,
               TruncI((y + 1) * static_cast<long double>(Progress.PerRow)));
    }
}

} // namespace Korvaneproc
