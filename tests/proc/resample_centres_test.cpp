// The linear and area resamplers on both sides of a scale of 1: shrinking keeps its area averages
// to the byte, enlarging puts every source pixel's value at the centre of the block it becomes.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/proc_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace proctest;
using namespace Korvaneproc;

namespace {

uint64_t Fold(uint64_t hash, uint64_t more)
{
    return (hash ^ more) * 1099511628211ull;
}

// The colour picture, its alpha channel and a grey picture resampled to one size: one checksum of
// the three results.
uint64_t ResampledHash(TResampleFilter filter, int width, int height)
{
    auto colour = Rgb(Noise(61, 47, 1), Noise(61, 47, 2), Noise(61, 47, 3));
    const Grid alpha = Noise(61, 47, 4);
    for (int y = 0; y < 47; ++y)
        for (int x = 0; x < 61; ++x)
            colour->GetAlphaChannel()->GetScanLine(y)[x] = static_cast<uint8_t>(alpha[y][x]);
    auto colourDest = Blank(width, height, kv24RGB, 7);
    _KVResampleKVBitmap(colour.get(), colourDest.get(), filter);
    auto grey = Bytes(Noise(61, 47, 5));
    auto greyDest = Blank(width, height, kv8g, 7);
    _KVResampleKVBitmap(grey.get(), greyDest.get(), filter);
    return Fold(Fold(PixelHash(colourDest.get()), PixelHash(colourDest->GetAlphaChannel())),
                PixelHash(greyDest.get()));
}

} // namespace

// Checksums of the results before enlarging learnt to sample at pixel centres: shrinking, on both
// axes or on one with the other kept, must not change by a byte.
TEST(ResampleShrinking, KeepsEveryByteOfColourGreyAndAlpha)
{
    const struct
    {
        int width, height;
        // Shrinking on both axes, bicubic takes the plain pixel values as bilinear does.
        uint64_t area, fastLinear;
    } cases[] = {
        {20, 15, 9658641201386540665ull, 6303949910186875730ull},
        {23, 17, 10870599273046795543ull, 9149793798722640581ull},
        {60, 46, 2962137575286816445ull, 7170050910028918338ull},
        {61, 20, 10885518050345760585ull, 13057898644599959525ull},
        {30, 47, 10832200208775200195ull, 8806676530184553519ull},
        {7, 46, 14471598542086207163ull, 838711906683259809ull},
        {1, 1, 13945949750834803660ull, 2314166475397073793ull},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResampledHash(rfBilinear, c.width, c.height), c.area) << c.width << "x" << c.height;
        EXPECT_EQ(ResampledHash(rfBicubic, c.width, c.height), c.area) << c.width << "x" << c.height;
        EXPECT_EQ(ResampledHash(rfFastLinear, c.width, c.height), c.fastLinear) << c.width << "x" << c.height;
    }
}
