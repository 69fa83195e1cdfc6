// The median-cut quantizer over the 32768-cell histogram of the 5-bit colour cube.
#include "imaging/core/median_cut.h"

#include "imaging/core/kvbitmap.h"
#include "platform/core/rounding.h"
#include "platform/graphics/bitmap.h"

#include <algorithm>

namespace Stdquant {
namespace {

enum TAxis
{
    kRed,
    kGreen,
    kBlue
};

// A split that fails scores this much, above any real sum of variances.
constexpr double kFailedSplit = 17523.6;

constexpr int32_t Cell(int32_t r5, int32_t g5, int32_t b5)
{
    return (r5 << 10) | (g5 << 5) | b5;
}

// Mean per axis and the variance of the box, scaled by the image's pixel count.
void ComputeStatistics(TMedianCutBox& box, int64_t imagePixels)
{
    box.variance = 0;
    if (box.count == 0)
        return;
    for (int axis = 0; axis < 3; ++axis) {
        int64_t s1 = 0, s2 = 0;
        for (int32_t i = box.lower[axis]; i < box.upper[axis]; ++i) {
            s1 += i * box.hist[axis][i];
            s2 += int64_t(i) * i * box.hist[axis][i];
        }
        const double mean = double(s1) / double(box.count);
        box.mean[axis] = mean;
        box.variance += double(s2) - mean * mean * double(box.count);
    }
    box.variance /= double(imagePixels);
}

// The histograms of a box rebuilt from the cells inside its bounds.
void RebuildHistograms(TMedianCutBox& box, const std::vector<int64_t>& histogram)
{
    for (auto& h : box.hist)
        h.fill(0);
    for (int32_t r = box.lower[kRed]; r < box.upper[kRed]; ++r)
        for (int32_t g = box.lower[kGreen]; g < box.upper[kGreen]; ++g)
            for (int32_t b = box.lower[kBlue]; b < box.upper[kBlue]; ++b) {
                const int64_t n = histogram[Cell(r, g, b)];
                box.hist[kRed][r] += n;
                box.hist[kGreen][g] += n;
                box.hist[kBlue][b] += n;
            }
}

void ShrinkBounds(TMedianCutBox& box)
{
    for (int axis = 0; axis < 3; ++axis) {
        int32_t lo = box.lower[axis];
        int32_t hi = box.upper[axis];
        while (lo < hi && box.hist[axis][lo] == 0)
            ++lo;
        while (hi > lo && box.hist[axis][hi - 1] == 0)
            --hi;
        box.lower[axis] = lo;
        box.upper[axis] = hi;
    }
}

// Tries to cut a box across one axis where the two parts' means lie furthest apart, weighted by
// their sizes; returns false when the axis cannot be cut.
bool SplitOnAxis(const TMedianCutBox& box, int axis, const TMedianCutState& state, TMedianCutBox& lowerPart,
                 TMedianCutBox& upperPart)
{
    const int32_t lo = box.lower[axis];
    const int32_t hi = box.upper[axis];
    if (hi - lo <= 1)
        return false;
    const auto& h = box.hist[axis];
    const double mean = box.mean[axis];
    const int32_t start = Round((lo + mean) / 2);
    const int32_t end = Round((hi + mean) / 2);
    int64_t c = 0;
    for (int32_t i = lo; i < start; ++i)
        c += h[i];
    double s = 0;
    double best = -1.0;
    int32_t split = -1;
    int64_t lowerCount = 0;
    for (int32_t i = start; i <= end && i < 32; ++i) {
        c += h[i];
        if (c == box.count)
            break;
        s += double(i * h[i]) / double(box.count);
        const double score = (mean - s) * (mean - s) * double(c) / double(box.count - c);
        if (score > best) {
            best = score;
            split = i;
            lowerCount = c;
        }
    }
    if (split < 0 || lowerCount == 0 || lowerCount == box.count)
        return false;

    lowerPart = box;
    lowerPart.upper[axis] = split + 1;
    lowerPart.count = lowerCount;
    upperPart = box;
    upperPart.lower[axis] = split + 1;
    upperPart.count = box.count - lowerCount;
    RebuildHistograms(lowerPart, state.histogram);
    for (int a = 0; a < 3; ++a)
        for (int32_t i = 0; i < 32; ++i)
            upperPart.hist[a][i] = box.hist[a][i] - lowerPart.hist[a][i];
    ShrinkBounds(lowerPart);
    ShrinkBounds(upperPart);
    ComputeStatistics(lowerPart, state.pixelCount);
    ComputeStatistics(upperPart, state.pixelCount);
    return true;
}

// Splits box index across the axis whose parts have the least total variance.
bool SplitBox(TMedianCutState& state, size_t index)
{
    TMedianCutBox parts[3][2];
    double bestScore = kFailedSplit;
    int bestAxis = -1;
    for (int axis = 0; axis < 3; ++axis) {
        double score = kFailedSplit;
        if (SplitOnAxis(state.boxes[index], axis, state, parts[axis][0], parts[axis][1]))
            score = parts[axis][0].variance + parts[axis][1].variance;
        if (score < bestScore) {
            bestScore = score;
            bestAxis = axis;
        }
    }
    if (bestAxis < 0)
        return false;
    state.boxes[index] = parts[bestAxis][0];
    state.boxes.push_back(parts[bestAxis][1]);
    return true;
}

} // namespace

std::unique_ptr<TMedianCutState> CreateMedianCutQuantizer(const Neurquant::TRgbRows& source,
                                                          std::span<TRGB> ColorMap, int32_t NCol)
{
    auto state = std::make_unique<TMedianCutState>();
    state->width = source.Width;
    state->height = source.Height;
    state->pixelCount = source.PixelCount();
    state->NCol = std::clamp(NCol, 1, 256);

    TMedianCutBox first;
    for (int32_t y = 0; y < source.Height; ++y) {
        const TRGB* row = source.Row(y);
        for (int32_t x = 0; x < source.Width; ++x) {
            const int32_t r5 = row[x].r >> 3, g5 = row[x].g >> 3, b5 = row[x].b >> 3;
            ++state->histogram[Cell(r5, g5, b5)];
            ++first.hist[kRed][r5];
            ++first.hist[kGreen][g5];
            ++first.hist[kBlue][b5];
        }
    }
    first.count = state->pixelCount;
    ComputeStatistics(first, state->pixelCount);
    state->boxes.reserve(state->NCol);
    state->boxes.push_back(first);

    while (int32_t(state->boxes.size()) < state->NCol) {
        size_t widest = 0;
        double widestVariance = 0;
        for (size_t i = 0; i < state->boxes.size(); ++i) {
            if (state->boxes[i].variance > widestVariance) {
                widestVariance = state->boxes[i].variance;
                widest = i;
            }
        }
        if (widestVariance <= 0)
            break;
        if (!SplitBox(*state, widest))
            state->boxes[widest].variance = 0;
    }

    for (size_t i = 0; i < state->boxes.size() && i < ColorMap.size(); ++i) {
        const TMedianCutBox& box = state->boxes[i];
        auto channel = [&](int axis) { return static_cast<uint8_t>(Round(box.mean[axis]) << 3); };
        ColorMap[i] = {channel(kBlue), channel(kGreen), channel(kRed)};
    }
    for (size_t i = 0; i < state->boxes.size(); ++i) {
        const TMedianCutBox& box = state->boxes[i];
        for (int32_t r = box.lower[kRed]; r < box.upper[kRed]; ++r)
            for (int32_t g = box.lower[kGreen]; g < box.upper[kGreen]; ++g)
                for (int32_t b = box.lower[kBlue]; b < box.upper[kBlue]; ++b)
                    state->cellTable[Cell(r, g, b)] = static_cast<uint8_t>(i);
    }
    return state;
}

std::unique_ptr<TMedianCutState> CreateMedianCutQuantizer(TObject* Bitmap, std::span<TRGB> ColorMap,
                                                          int32_t NCol)
{
    // Both kinds of bitmap are read three bytes a pixel; a row of any other format would be
    // read past its end.
    if (auto* library = dynamic_cast<TKVBitmap*>(Bitmap)) {
        if (library->GetPixelFormat() != kv24RGB)
            return nullptr;
        const Neurquant::TRgbRows rows{library->GetWidth(), library->GetHeight(), [library](int32_t y) {
                                           return reinterpret_cast<const TRGB*>(library->GetScanLine(y));
                                       }};
        return CreateMedianCutQuantizer(rows, ColorMap, NCol);
    }
    if (auto* raster = dynamic_cast<TBitmap*>(Bitmap)) {
        if (raster->PixelFormat() != pf24bit)
            return nullptr;
        const Neurquant::TRgbRows rows{raster->GetWidth(), raster->GetHeight(), [raster](int32_t y) {
                                           return reinterpret_cast<const TRGB*>(raster->ScanLine(y));
                                       }};
        return CreateMedianCutQuantizer(rows, ColorMap, NCol);
    }
    return nullptr;
}

int32_t MedianCutFindIndex(const TMedianCutState& state, const TRGB& color)
{
    return state.cellTable[Cell(color.r >> 3, color.g >> 3, color.b >> 3)];
}

void FreeMedianCutQuantizer(std::unique_ptr<TMedianCutState>& state)
{
    state.reset();
}

} // namespace Stdquant
