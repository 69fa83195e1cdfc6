// The linear and area resamplers on both sides of a scale of 1: shrinking keeps its area averages
// to the byte, enlarging puts every source pixel's value at the centre of the block it becomes.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/proc_test_util.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

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
    SetAlpha(colour.get(), Noise(61, 47, 4));
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
// axes or on one with the other kept, must not change by a byte. Exact whole-number area weights
// later raised 104 bytes of them (colour and grey, at the broken scales) by the level that
// rounded areas had lost.
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
        {60, 46, 7014768311082124633ull, 7170050910028918338ull},
        {61, 20, 534598167204706628ull, 13057898644599959525ull},
        {30, 47, 9214158536285484936ull, 8806676530184553519ull},
        {7, 46, 5809624074019495611ull, 838711906683259809ull},
        {1, 1, 13945949750834803660ull, 2314166475397073793ull},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResampledHash(rfBilinear, c.width, c.height), c.area) << c.width << "x" << c.height;
        EXPECT_EQ(ResampledHash(rfBicubic, c.width, c.height), c.area) << c.width << "x" << c.height;
        EXPECT_EQ(ResampledHash(rfFastLinear, c.width, c.height), c.fastLinear) << c.width << "x" << c.height;
    }
}

namespace {

// Where the darkness (255 less the level) of a plane of levels lies on average, in pixels of the
// plane, and whether the plane is white far from it.
struct Centroid
{
    double x = 0, y = 0;
    bool whiteElsewhere = true;
};

Centroid DarknessCentroid(const Grid& levels, double farX, double farY)
{
    Centroid c;
    double total = 0;
    for (size_t y = 0; y < levels.size(); ++y)
        for (size_t x = 0; x < levels[y].size(); ++x) {
            const double darkness = 255 - levels[y][x];
            total += darkness;
            c.x += darkness * static_cast<double>(x);
            c.y += darkness * static_cast<double>(y);
            if (darkness != 0 && (std::abs(double(x) - farX) > 80 || std::abs(double(y) - farY) > 80))
                c.whiteElsewhere = false;
        }
    c.x /= total;
    c.y /= total;
    return c;
}

// A white 20 x 15 picture with one black pixel at (10, 7).
Grid Dot()
{
    Grid grid(15, std::vector<int>(20, 255));
    grid[7][10] = 0;
    return grid;
}

} // namespace

// Enlarged 40 times, the black pixel becomes a blurred block whose centre is the centre of the
// 40 x 40 block the pixel covers: colour and alpha alike, and a black-and-white picture too.
TEST(ResampleEnlarging, KeepsEveryPixelAtTheCentreOfItsBlock)
{
    const double centreX = 10.5 * 40 - 0.5, centreY = 7.5 * 40 - 0.5;
    for (TResampleFilter filter : {rfFastLinear, rfBilinear, rfBicubic}) {
        auto source = GreyRgb(Dot());
        SetAlpha(source.get(), Dot());
        auto dest = Blank(800, 600, kv24RGB);
        _KVResampleKVBitmap(source.get(), dest.get(), filter);
        auto bits = Bits(Dot());
        auto fromBits = Blank(800, 600, kv24RGB);
        _Resample1bitEx(bits.get(), fromBits.get(), filter);
        const std::pair<const char*, Grid> planes[] = {{"colour", Channel(dest.get(), 1)},
                                                       {"alpha", Levels(dest->GetAlphaChannel())},
                                                       {"1-bit", Channel(fromBits.get(), 2)}};
        for (const auto& [what, plane] : planes) {
            const Centroid c = DarknessCentroid(plane, centreX, centreY);
            EXPECT_NEAR(c.x, centreX, 0.05) << what << ", filter " << int(filter);
            EXPECT_NEAR(c.y, centreY, 0.05) << what << ", filter " << int(filter);
            EXPECT_TRUE(c.whiteElsewhere) << what << ", filter " << int(filter);
        }
    }
}

namespace {

// A 20 x 15 card of hard edges and ramps: a checker of 2 x 2 blocks in red, blue rising to the
// right, green rising downwards, and a black line one pixel wide.
std::unique_ptr<TKVBitmap> TestCard()
{
    Grid blue(15, std::vector<int>(20)), green = blue, red = blue;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool line = x == 13;
            blue[y][x] = line ? 0 : x * 13;
            green[y][x] = line ? 0 : y * 18;
            red[y][x] = line ? 0 : ((x / 2 + y / 2) % 2) * 220 + 20;
        }
    return Rgb(blue, green, red);
}

// The mean absolute difference of two colour images' bytes, a margin of pixels left out all round.
double MeanDifferenceInside(TKVBitmap* a, TKVBitmap* b, int margin)
{
    double sum = 0;
    int64_t count = 0;
    for (int y = margin; y < a->GetHeight() - margin; ++y) {
        const uint8_t* rowA = a->GetScanLine(y);
        const std::vector<uint8_t> copy(rowA, rowA + a->GetWidth() * 3);
        const uint8_t* rowB = b->GetScanLine(y);
        for (int i = margin * 3; i < (a->GetWidth() - margin) * 3; ++i, ++count)
            sum += std::abs(int(copy[size_t(i)]) - int(rowB[i]));
    }
    return sum / static_cast<double>(count);
}

} // namespace

// The linear filters enlarge as ImageMagick's triangle filter does, but for rounding (we truncate).
TEST(ResampleEnlarging, MatchesImageMagicksTriangleFilter)
{
    ASSERT_TRUE(kvtest::Installed("convert"));
    auto card = TestCard();
    const std::unique_ptr<TKVBitmap> magick = MagickResized(card.get(), 800, 600, "Triangle");
    ASSERT_TRUE(magick);
    for (TResampleFilter filter : {rfBilinear, rfFastLinear}) {
        auto dest = Blank(800, 600, kv24RGB);
        _ResampleEx(card.get(), dest.get(), filter);
        EXPECT_LE(MeanDifferenceInside(dest.get(), magick.get(), 40), 1.0) << "filter " << int(filter);
    }
}

namespace {

struct Size
{
    int width, height;
};

// The sizes a 7 x 5 and a 61 x 47 picture are resampled to: shrinking and enlarging on each axis
// and in every mix, by whole and by broken factors.
const Size kFromSevenByFive[] = {{3, 20}, {20, 3}, {3, 2},  {6, 4},  {1, 1}, {7, 5},   {14, 10}, {20, 15},
                                 {2, 40}, {40, 2}, {6, 20}, {13, 3}, {5, 7}, {100, 1}, {1, 100}, {9, 4}};
const Size kFromSixtyOne[] = {{23, 17}, {130, 20}, {9, 300}, {200, 150}, {60, 46}, {62, 48}, {30, 94}};

const TResampleFilter kSmoothFilters[] = {rfFastLinear, rfBilinear, rfBicubic};

Grid Flat(int width, int height, int level)
{
    return Grid(static_cast<size_t>(height), std::vector<int>(static_cast<size_t>(width), level));
}

// Every byte of the plane's rows (pixel bytes only) is the level.
bool AllAre(TKVBitmap* bitmap, int channels, const std::vector<int>& levels)
{
    for (int y = 0; y < bitmap->GetHeight(); ++y) {
        const uint8_t* row = bitmap->GetScanLine(y);
        for (int x = 0; x < bitmap->GetWidth(); ++x)
            for (int ch = 0; ch < channels; ++ch)
                if (row[x * channels + ch] != levels[size_t(ch)])
                    return false;
    }
    return true;
}

std::string Describe(const char* what, TResampleFilter filter, int sw, int sh, const Size& size)
{
    return std::string(what) + ", filter " + std::to_string(int(filter)) + ", " + std::to_string(sw) + "x" +
           std::to_string(sh) + " to " + std::to_string(size.width) + "x" + std::to_string(size.height);
}

// Resamples flat pictures of one source size to every size in the list and names each result
// that is not flat at the picture's own value.
void CheckFlat(int sw, int sh, const std::vector<Size>& sizes, std::vector<std::string>& uneven)
{
    const struct
    {
        int blue, green, red, alpha;
    } colours[] = {
        {100, 150, 200, 255}, {255, 1, 254, 1}, {0, 0, 0, 0}, {255, 255, 255, 255}, {17, 128, 233, 77}};
    for (TResampleFilter filter : kSmoothFilters)
        for (const Size& size : sizes) {
            for (const auto& c : colours) {
                auto colour = Rgb(Flat(sw, sh, c.blue), Flat(sw, sh, c.green), Flat(sw, sh, c.red));
                SetAlpha(colour.get(), Flat(sw, sh, c.alpha));
                auto dest = Blank(size.width, size.height, kv24RGB, 7);
                _KVResampleKVBitmap(colour.get(), dest.get(), filter);
                if (!AllAre(dest.get(), 3, {c.blue, c.green, c.red}))
                    uneven.push_back(Describe("colour", filter, sw, sh, size));
                if (!AllAre(dest->GetAlphaChannel(), 1, {c.alpha}))
                    uneven.push_back(Describe("alpha", filter, sw, sh, size));
                auto grey = Bytes(Flat(sw, sh, c.red));
                auto greyDest = Blank(size.width, size.height, kv8g, 7);
                _KVResampleKVBitmap(grey.get(), greyDest.get(), filter);
                if (!AllAre(greyDest.get(), 1, {c.red}))
                    uneven.push_back(Describe("grey", filter, sw, sh, size));
            }
            // A palette whose neighbours of the picture's colour lie one level off on every channel.
            const std::vector<TRGB> palette = {
                {254, 0, 253}, {255, 1, 254}, {0, 2, 255}, {1, 0, 0}, {0, 0, 0}};
            for (int index : {1, 4}) {
                auto indexed = Bytes(Flat(sw, sh, index), kv8p, palette);
                auto indexedDest = Blank(size.width, size.height, kv8p, 7);
                _KVResampleKVBitmap(indexed.get(), indexedDest.get(), filter);
                if (!AllAre(indexedDest.get(), 1, {index}))
                    uneven.push_back(Describe("palette", filter, sw, sh, size));
            }
            for (int level : {0, 255}) {
                auto bits = Bits(Flat(sw, sh, level));
                auto bitsDest = Blank(size.width, size.height, kv24RGB, 7);
                _KVResampleKVBitmap(bits.get(), bitsDest.get(), filter);
                // Kept at its size, the picture is assigned and stays black and white.
                const bool flat = bitsDest->GetPixelFormat() == kv1g
                                      ? Levels(bitsDest.get()) == Flat(sw, sh, level ? 1 : 0)
                                      : AllAre(bitsDest.get(), 3, {level, level, level});
                if (!flat)
                    uneven.push_back(Describe("1-bit", filter, sw, sh, size));
            }
        }
}

} // namespace

// A flat picture stays flat at its own value whatever the sizes and their mix of shrinking and
// enlarging: colour, alpha, grey, palette and black-and-white pictures alike.
TEST(ResampleFlat, StaysFlatAtItsOwnValue)
{
    std::vector<std::string> uneven;
    CheckFlat(7, 5, {std::begin(kFromSevenByFive), std::end(kFromSevenByFive)}, uneven);
    CheckFlat(61, 47, {std::begin(kFromSixtyOne), std::end(kFromSixtyOne)}, uneven);
    EXPECT_EQ(uneven, std::vector<std::string>());
}
