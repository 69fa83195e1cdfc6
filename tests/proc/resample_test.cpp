// Resamplers on small images, checked against tables worked out by reference/resample_reference.py
// (written from the algorithms' descriptions, not from this code). Every scale used is exact in
// binary, so the reference's double arithmetic agrees with the library's extended precision.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/proc_test_util.h"
#include "tests/support/tools.h"

#include "imaging/core/mask.h"
#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

using namespace proctest;
using namespace Korvaneproc;

namespace {

const Grid kSmall = {{10, 200}, {90, 30}};
const Grid kFive = {{0, 60, 120, 180, 240}, {255, 128, 64, 32, 16}, {30, 90, 150, 210, 250}};
const Grid kSix = {{0, 60, 120, 180, 240, 30}, {255, 128, 64, 32, 16, 8}};
const Grid kFour = {{10, 50, 90, 130}, {30, 70, 110, 150}, {200, 180, 160, 140}, {0, 255, 0, 255}};
const Grid kBits = {{1, 0, 1, 1, 0, 0, 1, 0, 1, 1},
                    {0, 0, 1, 1, 1, 0, 0, 0, 1, 0},
                    {1, 1, 1, 0, 0, 1, 0, 1, 0, 0},
                    {0, 1, 0, 1, 0, 1, 1, 1, 1, 1}};

// Resamples the grey image of src with the filter and returns one channel, checking that the
// three channels agree.
Grid ResampleGrey(const Grid& src, int dw, int dh, TResampleFilter filter)
{
    auto source = GreyRgb(src);
    auto dest = Blank(dw, dh, kv24RGB, 7);
    _ResampleEx(source.get(), dest.get(), filter);
    EXPECT_TRUE(IsGrey(dest.get()));
    return Channel(dest.get(), 1);
}

struct Case
{
    TResampleFilter filter;
    Grid source;
    int width, height;
    Grid expected;
};

} // namespace

TEST(AreaResampler, MatchesReferenceTables)
{
    const Case cases[] = {
        {rfBilinear, {{0, 100}}, 4, 1, {{0, 25, 75, 100}}},
        {rfBilinear, kFour, 2, 2, {{40, 120}, {158, 138}}},
        // A broken scale (4/3): the areas of each pixel sum to one exactly, so 25 and 75 stay whole.
        {rfBilinear, kFour, 3, 3, {{25, 75, 125}, {117, 130, 142}, {96, 138, 179}}},
        {rfBilinear,
         kSmall,
         4,
         4,
         {{10, 57, 152, 200}, {30, 61, 125, 157}, {70, 70, 71, 72}, {90, 75, 45, 30}}},
        {rfBilinear, kSmall, 8, 2, {{10, 10, 33, 81, 128, 176, 200, 200}, {90, 90, 82, 67, 52, 37, 30, 30}}},
        {rfBilinear, kSix, 4, 1, {{116, 92, 113, 55}}},
        // Cubic convolution of two samples each repeated: at quarter fractions, the linear weights.
        {rfBicubic,
         kSmall,
         4,
         4,
         {{10, 57, 152, 200}, {30, 61, 125, 157}, {70, 70, 71, 72}, {90, 75, 45, 30}}},
        {rfBicubic,
         kSix,
         12,
         4,
         {{0, 12, 36, 80, 99, 140, 159, 213, 255, 195, 85, 30},
          {63, 65, 69, 83, 93, 116, 129, 165, 196, 149, 66, 24},
          {191, 172, 135, 91, 83, 70, 69, 70, 78, 57, 28, 13},
          {255, 226, 168, 95, 78, 47, 39, 23, 19, 11, 9, 8}}},
        // 2 x 2 blocks of plain values are averaged and truncated: 1 and 2 give 1.
        {rfBilinear, {{1, 2, 9, 9}, {2, 1, 9, 8}}, 2, 1, {{1, 8}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResampleGrey(c.source, c.width, c.height, c.filter), c.expected)
            << "filter " << int(c.filter) << " to " << c.width << "x" << c.height;
}

TEST(AreaResampler, KeepsChannelsApart)
{
    const Grid green = {{200, 10}, {30, 90}}, red = {{0, 0}, {255, 255}};
    auto source = Rgb(kSmall, green, red);
    auto dest = Blank(8, 4, kv24RGB);
    _ResampleEx(source.get(), dest.get(), rfBilinear);
    EXPECT_EQ(Channel(dest.get(), 0), (Grid{{10, 10, 33, 81, 128, 176, 200, 200},
                                            {30, 30, 45, 77, 109, 141, 157, 157},
                                            {70, 70, 70, 70, 71, 72, 72, 72},
                                            {90, 90, 82, 67, 52, 37, 30, 30}}));
    EXPECT_EQ(Channel(dest.get(), 1), (Grid{{200, 200, 176, 128, 81, 33, 10, 10},
                                            {157, 157, 141, 109, 77, 45, 30, 30},
                                            {72, 72, 72, 71, 70, 70, 70, 70},
                                            {30, 30, 37, 52, 67, 82, 90, 90}}));
    EXPECT_EQ(Channel(dest.get(), 2), (Grid{Grid::value_type(8, 0), Grid::value_type(8, 63),
                                            Grid::value_type(8, 191), Grid::value_type(8, 255)}));
}

TEST(KernelResampler, MatchesReferenceTables)
{
    const Case cases[] = {
        {rfTriangle, kFive, 3, 2, {{110, 96, 122}, {92, 130, 185}}},
        {rfTriangle, kSmall, 5, 3, {{10, 57, 105, 152, 200}, {50, 66, 82, 98, 115}, {90, 75, 60, 45, 30}}},
        {rfHermite, kFive, 3, 2, {{110, 96, 122}, {92, 130, 185}}},
        {rfHermite, kSmall, 5, 3, {{10, 39, 105, 170, 200}, {50, 59, 82, 104, 115}, {90, 80, 60, 39, 30}}},
        {rfBell, kFive, 3, 2, {{109, 103, 120}, {101, 125, 165}}},
        {rfBell, kSmall, 5, 3, {{61, 69, 93, 121, 141}, {66, 70, 82, 96, 106}, {72, 70, 65, 58, 54}}},
        {rfBSpline, kFive, 3, 2, {{107, 107, 123}, {104, 123, 156}}},
        {rfBSpline, kSmall, 5, 3, {{71, 77, 91, 109, 125}, {70, 74, 82, 92, 101}, {69, 68, 66, 63, 61}}},
        {rfLanczos3, kFive, 3, 2, {{126, 85, 99}, {85, 131, 194}}},
        {rfLanczos3, kSmall, 5, 3, {{10, 29, 78, 142, 200}, {38, 48, 74, 107, 138}, {90, 83, 68, 48, 30}}},
        {rfMitchell, kFive, 3, 2, {{113, 96, 115}, {95, 127, 177}}},
        {rfMitchell, kSmall, 5, 3, {{35, 53, 94, 139, 171}, {54, 62, 81, 101, 116}, {80, 74, 63, 50, 41}}},
        // The box kernel keeps its support of 1, so its windows are wider than the box.
        {rfNearest, kFive, 3, 2, {{110, 93, 117}, {125, 108, 127}}},
        {rfNearest, kSmall, 5, 3, {{10, 10, 10, 200, 200}, {10, 10, 10, 200, 200}, {90, 90, 90, 30, 30}}},
        {rfLinear, kFive, 3, 2, {{110, 96, 122}, {92, 130, 185}}},
        {rfLinear, kSmall, 5, 3, {{10, 57, 105, 152, 200}, {50, 66, 82, 98, 115}, {90, 75, 60, 45, 30}}},
        {rfTriangle,
         kFive,
         9,
         5,
         {{0, 30, 60, 90, 120, 150, 180, 210, 240},
          {127, 110, 94, 93, 92, 99, 106, 117, 128},
          {255, 191, 128, 96, 64, 48, 32, 24, 16},
          {142, 125, 109, 108, 107, 114, 121, 127, 133},
          {30, 60, 90, 120, 150, 180, 210, 230, 250}}},
        {rfLanczos3,
         kFive,
         9,
         5,
         {{0, 19, 60, 92, 120, 148, 180, 214, 240},
          {118, 107, 89, 84, 90, 96, 106, 120, 132},
          {255, 211, 128, 81, 64, 45, 32, 22, 16},
          {182, 160, 119, 99, 97, 95, 96, 96, 96},
          {30, 49, 90, 122, 150, 180, 210, 234, 250}}},
        {rfMitchell,
         kFive,
         9,
         5,
         {{31, 43, 67, 90, 113, 138, 163, 191, 211},
          {122, 110, 94, 89, 91, 96, 105, 116, 125},
          {216, 180, 124, 93, 72, 59, 49, 43, 40},
          {146, 132, 112, 106, 105, 109, 114, 120, 123},
          {47, 62, 92, 118, 145, 172, 198, 220, 234}}},
        {rfBSpline,
         kFive,
         9,
         5,
         {{84, 83, 86, 92, 102, 115, 131, 146, 158},
          {116, 110, 99, 94, 95, 99, 107, 116, 123},
          {152, 140, 116, 99, 91, 86, 87, 88, 90},
          {127, 121, 112, 108, 110, 115, 122, 129, 134},
          {77, 82, 98, 116, 136, 157, 177, 193, 205}}},
        // Same size with the triangle: one record of weight 256 per list, the image comes back.
        {rfTriangle, kFive, 5, 3, kFive},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResampleGrey(c.source, c.width, c.height, c.filter), c.expected)
            << "filter " << int(c.filter) << " to " << c.width << "x" << c.height;
}

TEST(KernelResampler, EnlargingTwoPixelsToFiveEndsOnTheLastSourceColumn)
{
    EXPECT_EQ(ResampleGrey({{40, 90}, {40, 90}}, 5, 2, rfTriangle),
              (Grid{{40, 52, 65, 77, 90}, {40, 52, 65, 77, 90}}));
}

TEST(KernelResampler, ShrinkingByMoreThan512KeepsTheImageInsteadOfBlack)
{
    // Every weight of these lists rounds to 0 at the scale of 256.
    for (TResampleFilter filter : {rfTriangle, rfLanczos3, rfMitchell}) {
        Grid uniform(2, std::vector<int>(1300, 77));
        EXPECT_EQ(ResampleGrey(uniform, 2, 2, filter), (Grid{{77, 77}, {77, 77}})) << int(filter);
    }
    Grid halves(1, std::vector<int>(1200, 0));
    std::fill(halves[0].begin() + 600, halves[0].end(), 200);
    halves.push_back(halves[0]);
    // The triangle over the mirrored window gives a quarter of the weight to the far half.
    const Grid out = ResampleGrey(halves, 2, 1, rfTriangle);
    EXPECT_NEAR(out[0][0], 50, 1);
    EXPECT_NEAR(out[0][1], 150, 1);
}

TEST(Resamplers, LeaveTheDestinationAloneWhenTheyCannotApply)
{
    struct Refusal
    {
        const char* what;
        std::unique_ptr<TKVBitmap> source, dest;
        TResampleFilter filter;
    };
    Refusal cases[] = {
        {"1 x 1 source, kernel filter", GreyRgb({{9}}), Blank(3, 3, kv24RGB, 7), rfTriangle},
        {"kv8g source", Bytes({{1, 2}, {3, 4}}), Blank(3, 3, kv24RGB, 7), rfBilinear},
        {"kv8g destination", GreyRgb(kSmall), Blank(3, 3, kv8g, 7), rfLanczos3},
        {"kv8g destination, fast linear", GreyRgb(kSmall), Blank(3, 3, kv8g, 7), rfFastLinear},
        {"empty source", std::make_unique<TKVBitmap>(), Blank(3, 3, kv24RGB, 7), rfBicubic},
    };
    const Grid untouched(3, std::vector<int>(3, 7));
    for (Refusal& c : cases) {
        _ResampleEx(c.source.get(), c.dest.get(), c.filter);
        EXPECT_EQ(c.dest->GetPixelFormat() == kv8g ? Levels(c.dest.get()) : Channel(c.dest.get(), 0),
                  untouched)
            << c.what;
    }
    // A source without width leaves the linear resamplers nothing to divide by.
    TKVBitmap noWidth;
    noWidth.Allocate(0, 3, kv24RGB);
    auto linearDest = Blank(3, 3, kv24RGB, 7);
    _ResampleLinearEx(&noWidth, linearDest.get());
    EXPECT_EQ(Channel(linearDest.get(), 0), untouched);
    // A kv24RGB destination of width 0 (a direct caller's) is returned from at once.
    for (TResampleFilter filter : {rfTriangle, rfLanczos3, rfBilinear, rfBicubic, rfFastLinear, rfNone}) {
        auto source = GreyRgb(kFive);
        TKVBitmap dest;
        dest.Allocate(0, 4, kv24RGB);
        _ResampleEx(source.get(), &dest, filter);
        EXPECT_EQ(dest.GetWidth(), 0);
    }
}

TEST(Resamplers, ReportProgressUpToTheEnd)
{
    for (TResampleFilter filter : {rfTriangle, rfBilinear, rfFastLinear}) {
        auto source = GreyRgb(kFive);
        auto dest = Blank(9, 5, kv24RGB);
        std::vector<int32_t> seen;
        _ResampleEx(source.get(), dest.get(), filter, [&](TObject*, int32_t per) { seen.push_back(per); });
        ASSERT_FALSE(seen.empty()) << int(filter);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << int(filter);
        // The fast linear resampler's last report is trunc((sh + dh - 1) * 100 / (sh + dh + 0.5)).
        EXPECT_EQ(seen.back(), filter == rfFastLinear ? 82 : filter == rfBilinear ? 100 : 96) << int(filter);
    }
}

TEST(FastLinearResampler, MatchesReferenceTables)
{
    const Case cases[] = {
        {rfFastLinear, kSix, 3, 1, {{60, 180, 240}}},
        {rfFastLinear,
         kSix,
         9,
         5,
         {{0, 30, 69, 109, 150, 189, 229, 135, 30},
          {25, 46, 73, 105, 139, 173, 207, 122, 27},
          {127, 110, 93, 91, 99, 109, 123, 73, 19},
          {229, 174, 112, 77, 58, 45, 39, 24, 10},
          {255, 191, 117, 74, 48, 29, 18, 12, 8}}},
        // Only the height changes, yet columns x and x + 1 are still averaged.
        {rfFastLinear, kFour, 4, 2, {{90, 110, 130, 140}, {190, 170, 150, 140}}},
        // 4 columns to 2: ix = 0, 2 and ixEnd = 2, 2.
        {rfFastLinear, {{10, 20, 60, 90}}, 2, 1, {{30, 60}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResampleGrey(c.source, c.width, c.height, c.filter), c.expected)
            << c.width << "x" << c.height;
}

TEST(FastLinearResampler, EqualSizesAssignTheSource)
{
    auto source = GreyRgb(kSmall);
    auto dest = Blank(2, 2, kv24RGB);
    _ResampleLinearEx(source.get(), dest.get());
    EXPECT_EQ(Channel(dest.get(), 2), kSmall);
}

TEST(OneBitResampler, BoxAveragesWhenShrinkingBothWays)
{
    auto source = Bits(kBits);
    auto dest = Blank(4, 2, kv24RGB);
    _Resample1bitEx(source.get(), dest.get(), rfBilinear);
    EXPECT_TRUE(IsGrey(dest.get()));
    EXPECT_EQ(Channel(dest.get(), 0), (Grid{{63, 170, 127, 127}, {127, 170, 127, 141}}));

    auto sub = Blank(3, 2, kv24RGB);
    _SubResample1bitFilteredEx(source.get(), 1, 1, 9, 3, sub.get());
    EXPECT_EQ(Channel(sub.get(), 0), (Grid{{85, 191, 63}, {141, 148, 148}}));

    Grid white(10, std::vector<int>(10, 1));
    auto whiteSource = Bits(white);
    auto three = Blank(3, 3, kv24RGB);
    _SubResample1bitFilteredEx(whiteSource.get(), 0, 0, 9, 9, three.get());
    EXPECT_EQ(Channel(three.get(), 1), (Grid(3, std::vector<int>(3, 255))));
}

TEST(OneBitResampler, RectangleWindowsNeverReadPastTheLastRow)
{
    // Rows 2 .. 5 of a 4-row source: the second window (rows 3 .. 5) is cut to row 3.
    auto source = Bits(kBits);
    auto dest = Blank(2, 2, kv24RGB, 9);
    _SubResample1bitFilteredEx(source.get(), 0, 2, 9, 5, dest.get());
    EXPECT_EQ(Channel(dest.get(), 0), (Grid{{170, 148}, {85, 170}}));
}

TEST(OneBitResampler, InterpolatesOrFiltersOtherwise)
{
    auto source = Bits(kBits);
    auto linear = Blank(15, 3, kv24RGB);
    _Resample1bitEx(source.get(), linear.get(), rfFastLinear);
    EXPECT_EQ(Channel(linear.get(), 2),
              (Grid{{255, 127, 42, 212, 255, 212, 42, 0, 42, 212, 127, 42, 212, 255, 255},
                    {84, 84, 112, 226, 212, 170, 170, 127, 70, 13, 42, 98, 155, 84, 0},
                    {85, 169, 226, 113, 127, 141, 27, 127, 240, 183, 212, 240, 183, 169, 169}}));

    auto kernel = Blank(5, 2, kv24RGB);
    _Resample1bitEx(source.get(), kernel.get(), rfTriangle);
    EXPECT_EQ(Channel(kernel.get(), 1), (Grid{{111, 183, 101, 93, 115}, {154, 144, 135, 189, 153}}));

    auto nearest = Blank(5, 2, kv24RGB);
    _Resample1bitEx(source.get(), nearest.get(), rfNone);
    EXPECT_EQ(Channel(nearest.get(), 0), (Grid{{255, 255, 0, 255, 255}, {255, 255, 0, 0, 0}}));
}

TEST(OneBitResampler, SubResamplesRawBottomUpBuffers)
{
    // 10 x 4 bits, rows of 4 bytes stored bottom-up.
    auto source = Bits(kBits);
    std::vector<uint8_t> raw(16);
    for (int y = 0; y < 4; ++y)
        std::memcpy(&raw[static_cast<size_t>(3 - y) * 4], source->GetScanLine(y), 4);
    auto buffer = _SubResample1bitFilteredDIB(raw.data(), 10, 4, 0, 0, 9, 3, 4, 2);
    ASSERT_TRUE(buffer);
    // Destination rows of 12 bytes, bottom-up: row 0 of the picture is the second block.
    const uint8_t* top = buffer.get() + 12;
    const uint8_t* bottom = buffer.get();
    EXPECT_EQ((std::vector<int>{top[0], top[3], top[6], top[9]}), (std::vector<int>{63, 170, 127, 127}));
    EXPECT_EQ((std::vector<int>{bottom[0], bottom[3], bottom[6], bottom[9]}),
              (std::vector<int>{127, 170, 127, 141}));
    EXPECT_EQ(top[1], top[2]);

    EXPECT_FALSE(_SubResample1bitFilteredDIB(raw.data(), 10, 4, 0, 0, 9, 3, 0, 2));
    EXPECT_FALSE(_SubResample1bitFilteredDIB(raw.data(), 10, 4, 0, 0, 10, 3, 2, 2))
        << "rectangle past the source";
}

TEST(NearestStretch, RepeatsColumnsAndRowsForEveryFormat)
{
    auto source = GreyRgb({{1, 2, 3}, {4, 5, 6}});
    auto dest = Blank(6, 3, kv24RGB);
    _KVBmpStretchEx(source.get(), dest.get());
    EXPECT_EQ(Channel(dest.get(), 0), (Grid{{1, 1, 2, 2, 3, 3}, {1, 1, 2, 2, 3, 3}, {4, 4, 5, 5, 6, 6}}));

    auto bytes = Bytes({{10, 20, 30}});
    auto bytesDest = Blank(6, 1, kv8g);
    _KVBmpStretchEx(bytes.get(), bytesDest.get());
    EXPECT_EQ(Levels(bytesDest.get()), (Grid{{10, 10, 20, 20, 30, 30}}));

    auto bits = Bits({{1, 0, 1, 1, 0, 0, 1, 0, 1}});
    auto bitsDest = Blank(3, 2, kv1g);
    _KVBmpStretchEx(bits.get(), bitsDest.get());
    EXPECT_EQ(Levels(bitsDest.get()), (Grid{{1, 1, 1}, {1, 1, 1}}));

    auto words = Blank(2, 1, kv16g);
    const uint16_t values[2] = {1000, 60000};
    std::memcpy(words->GetScanLine(0), values, 4);
    auto wordsDest = Blank(4, 1, kv16g);
    _KVBmpStretchEx(words.get(), wordsDest.get());
    uint16_t out[4];
    std::memcpy(out, wordsDest->GetScanLine(0), 8);
    EXPECT_EQ((std::vector<int>{out[0], out[1], out[2], out[3]}),
              (std::vector<int>{1000, 1000, 60000, 60000}));
}

TEST(NearestStretch, RefusesADestinationOfAnotherFormat)
{
    // Copying 3-byte pixels into 1-byte rows would overrun them.
    auto source = GreyRgb({{1, 2, 3}});
    auto dest = Blank(6, 1, kv8g, 9);
    _KVBmpStretchEx(source.get(), dest.get());
    EXPECT_EQ(Levels(dest.get()), (Grid{{9, 9, 9, 9, 9, 9}}));
}

TEST(AlphaResampler, ResamplesTheAlphaChannelWithTheImage)
{
    auto source = GreyRgb(kSix);
    SetAlpha(source.get(), kSix);
    auto dest = Blank(3, 1, kv24RGB);
    _KVResampleKVBitmap(source.get(), dest.get(), rfFastLinear);
    ASSERT_TRUE(dest->GetHasAlphaChannel());
    EXPECT_EQ(Levels(dest->GetAlphaChannel()), (Grid{{60, 180, 240}}));
    EXPECT_EQ(Channel(dest.get(), 0), (Grid{{60, 180, 240}}));

    // rfNone stretches the pixels and resamples the alpha channel with the fast linear filter.
    auto stretched = Blank(3, 1, kv24RGB);
    _KVResampleKVBitmap(source.get(), stretched.get(), rfNone);
    EXPECT_EQ(Channel(stretched.get(), 0), (Grid{{0, 120, 240}}));
    EXPECT_EQ(Levels(stretched->GetAlphaChannel()), (Grid{{60, 180, 240}}));

    TKVMask from, to;
    from.AllocateBits(5, 3, 8);
    for (int y = 0; y < 3; ++y)
        std::memcpy(from.GetScanLine(y), std::vector<uint8_t>(kFive[y].begin(), kFive[y].end()).data(), 5);
    to.AllocateBits(3, 2, 8);
    _ResampleAlpha(&from, &to, rfLanczos3);
    Grid got(2, std::vector<int>(3));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            got[y][x] = to.GetScanLine(y)[x];
    EXPECT_EQ(got, (Grid{{126, 85, 99}, {85, 131, 194}}));
}

TEST(ResampleKVBitmap, KeepsEightBitImagesAndTheirPalette)
{
    // Grey images go through 24 bits and come back exactly as the grey resample of their levels.
    auto grey = Bytes(kFive);
    auto greyDest = Blank(3, 2, kv8g);
    _KVResampleKVBitmap(grey.get(), greyDest.get(), rfTriangle);
    EXPECT_EQ(Levels(greyDest.get()), (Grid{{110, 96, 122}, {92, 130, 185}}));

    // Palette images keep their palette; every new pixel is the nearest entry.
    const std::vector<TRGB> palette = {{0, 0, 0}, {255, 255, 255}, {0, 0, 200}, {0, 100, 0}};
    auto indexed = Bytes({{0, 1, 2, 3}, {1, 0, 3, 2}}, kv8p, palette);
    auto indexedDest = Blank(2, 1, kv8p);
    _KVResampleKVBitmap(indexed.get(), indexedDest.get(), rfBilinear);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(indexedDest->GetPalette(i), palette[i]);
    // 2 x 2 blocks: black and white average to grey 127, nearest to entry 3 (squared distance
    // 32987 against 37587 for entry 2 and 48387 for black); entries 2 and 3 average to blue 0,
    // green 50, red 100, at 12500 from black, entry 2 and entry 3 alike: the first, black, wins.
    EXPECT_EQ(Levels(indexedDest.get()), (Grid{{3, 0}}));
}

TEST(ClassLibraryResamplers, RunTheSameAlgorithmsOnTBitmaps)
{
    auto make = [](TPixelFormat format, int w, int h) {
        auto b = std::make_unique<TBitmap>();
        b->SetPixelFormat(format);
        b->SetSize(w, h);
        return b;
    };
    // 4 x 4 grey to 2 x 2: the kernel, the fast linear and the copy of equal sizes.
    auto source = make(pf24bit, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            std::memset(source->ScanLine(y) + x * 3, kFour[y][x], 3);
    auto kernel = make(pf24bit, 3, 2);
    auto five = make(pf24bit, 5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            std::memset(five->ScanLine(y) + x * 3, kFive[y][x], 3);
    _Resample(five.get(), kernel.get(), rfLanczos3);
    EXPECT_EQ((std::vector<int>{kernel->ScanLine(0)[0], kernel->ScanLine(0)[3], kernel->ScanLine(1)[8]}),
              (std::vector<int>{126, 85, 194}));
    auto linear = make(pf24bit, 4, 2);
    _Resample(source.get(), linear.get(), rfBilinear); // linear on class-library bitmaps
    EXPECT_EQ((std::vector<int>{linear->ScanLine(0)[0], linear->ScanLine(1)[3]}),
              (std::vector<int>{90, 170}));
    auto copy = make(pf24bit, 4, 4);
    _ResampleLinear(source.get(), copy.get());
    EXPECT_EQ(copy->ScanLine(3)[3], 255);

    // 1-bit sources.
    auto bits = make(pf1bit, 10, 4);
    for (int y = 0; y < 4; ++y) {
        std::memset(bits->ScanLine(y), 0, static_cast<size_t>(bits->RowLength()));
        for (int x = 0; x < 10; ++x)
            if (kBits[y][x])
                bits->ScanLine(y)[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    auto grey = make(pf24bit, 4, 2);
    _Resample1bit(bits.get(), grey.get(), rfFastLinear);
    EXPECT_EQ((std::vector<int>{grey->ScanLine(0)[0], grey->ScanLine(0)[3], grey->ScanLine(1)[9]}),
              (std::vector<int>{63, 170, 141}));
    auto sub = make(pf24bit, 3, 2);
    _SubResample1bitFiltered(bits.get(), 1, 1, 9, 3, sub.get());
    EXPECT_EQ(sub->ScanLine(0)[3], 191);
    auto same = make(pf1bit, 10, 4);
    _ResampleLinear1Bit(bits.get(), same.get());
    EXPECT_EQ(same->ScanLine(0)[0], bits->ScanLine(0)[0]);

    auto stretched = make(pf24bit, 20, 8);
    _KVBmpStretch(bits.get(), stretched.get());
    ASSERT_EQ(stretched->PixelFormat(), pf1bit);
    EXPECT_EQ(stretched->Width(), 20);
    EXPECT_EQ(stretched->ScanLine(0)[0], 0xCF) << "each bit twice: 1 0 1 1 -> 11 00 11 11";
}

// Pictures tall and wide enough that the area resampler's rows turn over many times on every path
// (enlarging on both axes, on one, shrinking by whole and by broken factors). The checksums of
// shrinking were taken from the resampler before its rows and areas were reworked for speed; those
// of enlarging agree with the exact fractions of reference/resample_reference.py (enlarged_hashes).
// Exact whole-number weights raised 12 of their bytes by the level that floating-point sums had
// lost.
TEST(AreaResampler, LargerPicturesKeepEveryByte)
{
    auto source = Rgb(Noise(61, 47, 1), Noise(61, 47, 2), Noise(61, 47, 3));
    const struct
    {
        TResampleFilter filter;
        int width, height;
        uint64_t hash;
    } cases[] = {
        {rfBilinear, 20, 15, 3586671978099919523ull},   {rfBilinear, 23, 17, 11618430997770383350ull},
        {rfBilinear, 60, 46, 13040361133110381105ull},  {rfBilinear, 130, 101, 532301453297035707ull},
        {rfBilinear, 130, 20, 16629678591242734404ull}, {rfBilinear, 25, 99, 8344954832666029059ull},
        {rfBicubic, 23, 17, 11618430997770383350ull},   {rfBicubic, 130, 101, 3133003643644271147ull},
        {rfBicubic, 130, 20, 9567896121819790029ull},   {rfBicubic, 25, 99, 4709412792663150056ull},
    };
    for (const auto& c : cases) {
        auto dest = Blank(c.width, c.height, kv24RGB, 7);
        _ResampleEx(source.get(), dest.get(), c.filter);
        EXPECT_EQ(PixelHash(dest.get()), c.hash)
            << "filter " << int(c.filter) << " to " << c.width << "x" << c.height;
    }
}

// Enlarging on both axes and on one, by whole factors (4 and 16, where every weight is a short
// binary fraction) and by broken ones, on noise and on a real picture with smooth areas: the
// checksums of every byte, taken before the area resampler's passes were reworked for speed. The
// whole factors kept every byte; at the broken ones exact whole-number weights raised 43 bytes by
// the level that extended precision had lost.
TEST(AreaResampler, EnlargedPicturesKeepEveryByte)
{
    ASSERT_TRUE(kvtest::Installed("convert"));
    const std::unique_ptr<TKVBitmap> noise = Rgb(Noise(61, 47, 1), Noise(61, 47, 2), Noise(61, 47, 3));
    const std::unique_ptr<TKVBitmap> corner = Rgb(Noise(20, 15, 4), Noise(20, 15, 5), Noise(20, 15, 6));
    const std::unique_ptr<TKVBitmap> rose = Rose();
    ASSERT_TRUE(rose);
    const struct
    {
        TKVBitmap* source;
        int width, height;
        uint64_t bilinear, bicubic;
    } cases[] = {
        {noise.get(), 244, 188, 10410810363609191803ull, 9423014312666484864ull},
        {noise.get(), 150, 100, 16084444277182600193ull, 10835642224104143469ull},
        {noise.get(), 61, 200, 14115624502436969264ull, 2175691300132344246ull},
        {noise.get(), 200, 47, 11311782366783244972ull, 1960405705064102990ull},
        {noise.get(), 40, 120, 14334092830226373863ull, 10915897115441911773ull},
        {noise.get(), 90, 30, 3581286141612710093ull, 12684347544443891007ull},
        {corner.get(), 320, 240, 6986432940790268987ull, 3039028715236535740ull},
        {rose.get(), 280, 184, 5208860712781799690ull, 13213862750977384461ull},
        {rose.get(), 1120, 736, 4493577791499988310ull, 16020664159763661215ull},
        {rose.get(), 99, 77, 4331258367709975339ull, 9111894731541714399ull},
    };
    for (const auto& c : cases)
        for (const auto& [filter, hash] :
             {std::pair{rfBilinear, c.bilinear}, std::pair{rfBicubic, c.bicubic}}) {
            auto dest = Blank(c.width, c.height, kv24RGB, 7);
            _ResampleEx(c.source, dest.get(), filter);
            EXPECT_EQ(PixelHash(dest.get()), hash)
                << "filter " << int(filter) << " from " << c.source->GetWidth() << " to " << c.width << "x"
                << c.height;
        }
}
