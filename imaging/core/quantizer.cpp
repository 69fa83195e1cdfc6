// The colour quantizer: grey ramp, exact colours, NeuQuant or median cut.
#include "imaging/core/quantizer.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/neuquant.h"
#include "imaging/proc/korvaneproc.h"

#include <algorithm>
#include <limits>

namespace {

uint32_t Key(const TRGB& c)
{
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

Neurquant::TRgbRows RowsOf(TKVBitmap& bitmap)
{
    return {bitmap.GetWidth(), bitmap.GetHeight(),
            [&bitmap](int32_t y) { return reinterpret_cast<const TRGB*>(bitmap.GetScanLine(y)); }};
}

} // namespace

TKVQuantizer::TKVQuantizer(TKVBitmap* Bitmap, std::span<TRGB> ColorMap, int32_t NCol, int32_t Quality,
                           int32_t /*Method*/)
    : FNCol(std::clamp(NCol, 1, Neurquant::MaxNetSize))
{
    FMethod = FNCol >= 128 ? qmNeuQuant : qmMedianCut;
    // Every way below reads three bytes a pixel: any other format is converted first.
    std::unique_ptr<TKVBitmap> converted;
    TKVBitmap* source = Bitmap;
    if (source != nullptr && source->GetPixelFormat() != kv24RGB && source->GetPixelFormat() != kvnull) {
        converted = std::make_unique<TKVBitmap>();
        converted->AssignImage(source);
        converted->SetPixelFormat(kv24RGB);
        source = converted.get();
    }
    if (source == nullptr || source->GetPixelFormat() != kv24RGB || source->GetWidth() <= 0 ||
        source->GetHeight() <= 0) {
        // No pixels: an exact palette of no colours, the caller's entries untouched.
        FHasExactMap = true;
        return;
    }
    if (FNCol == 256 && Korvaneproc::_IsGrayScaleBitmap(source)) {
        FGrey = true;
        for (size_t i = 0; i < 256 && i < ColorMap.size(); ++i)
            ColorMap[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
        return;
    }
    if (CollectExactColours(*source)) {
        std::copy_n(FExactMap.begin(), std::min(FExactMap.size(), ColorMap.size()), ColorMap.begin());
        return;
    }
    const Neurquant::TRgbRows rows = RowsOf(*source);
    if (FMethod == qmNeuQuant) {
        FNetwork = std::make_unique<Neurquant::TNeuQuantNet>(
            rows, FNCol, Neurquant::SampleFactor(rows.PixelCount(), Quality));
        FNetwork->WritePalette(ColorMap);
    } else {
        FMedianCut = Stdquant::CreateMedianCutQuantizer(rows, ColorMap, FNCol);
    }
}

TKVQuantizer::~TKVQuantizer() = default;

bool TKVQuantizer::CollectExactColours(TKVBitmap& source)
{
    // Colours in order of first appearance, rows top to bottom; a hash finds repeats, and runs
    // of one colour skip even that.
    for (int32_t y = 0; y < source.GetHeight(); ++y) {
        const TRGB* row = reinterpret_cast<const TRGB*>(source.GetScanLine(y));
        for (int32_t x = 0; x < source.GetWidth(); ++x) {
            if (x > 0 && row[x] == row[x - 1])
                continue;
            const auto [at, isNew] = FExactIndex.try_emplace(Key(row[x]), int32_t(FExactMap.size()));
            if (!isNew)
                continue;
            if (int32_t(FExactMap.size()) == FNCol) {
                FExactMap.clear();
                FExactIndex.clear();
                return false;
            }
            FExactMap.push_back(row[x]);
        }
    }
    FHasExactMap = true;
    return true;
}

int32_t TKVQuantizer::GetRGBIndex(const TRGB& color) const
{
    if (FHasExactMap) {
        if (const auto found = FExactIndex.find(Key(color)); found != FExactIndex.end())
            return found->second;
        // A colour the image did not hold: its nearest entry, never an index outside the palette.
        int32_t best = 0;
        int64_t bestDistance = std::numeric_limits<int64_t>::max();
        for (size_t i = 0; i < FExactMap.size(); ++i) {
            const int64_t db = int64_t(color.b) - FExactMap[i].b;
            const int64_t dg = int64_t(color.g) - FExactMap[i].g;
            const int64_t dr = int64_t(color.r) - FExactMap[i].r;
            const int64_t distance = db * db + dg * dg + dr * dr;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int32_t>(i);
            }
        }
        return best;
    }
    if (FGrey)
        return color.r;
    if (FNetwork)
        return FNetwork->Search(color);
    return Stdquant::MedianCutFindIndex(*FMedianCut, color);
}
