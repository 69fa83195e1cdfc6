// Video frames: YUV colours and every packed and planar layout read into 24-bit rows.
#include "imaging/core/video_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Korvaneproc::KVFourCC;

TRGB Bgr(int b, int g, int r)
{
    return {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)};
}

TRGB Grey(int v)
{
    return Bgr(v, v, v);
}

// Converts a frame into rows of pixels, top row first; empty when the frame was refused.
std::vector<std::vector<TRGB>> Convert(uint32_t fourcc, int32_t width, int32_t height,
                                       const std::vector<uint8_t>& bits)
{
    const int32_t rows = height < 0 ? -height : height;
    std::vector<std::vector<TRGB>> image(rows, std::vector<TRGB>(width, Bgr(7, 7, 7)));
    const bool ok =
        Korvaneproc::ConvertYUVFrame(fourcc, width, height, bits.data(), bits.size(), [&](int32_t y) {
            return reinterpret_cast<uint8_t*>(image.at(y).data());
        });
    return ok ? image : std::vector<std::vector<TRGB>>{};
}

std::string Name(uint32_t fourcc)
{
    return std::string{char(fourcc), char(fourcc >> 8), char(fourcc >> 16), char(fourcc >> 24)};
}

TEST(VideoFrames, YuvColours)
{
    struct Case
    {
        int y, u, v;
        TRGB want;
    };
    const Case cases[] = {
        {235, 128, 128, Grey(255)},    {16, 128, 128, Grey(0)},
        {128, 128, 128, Grey(130)},    {81, 90, 240, Bgr(0, 0, 254)},
        {145, 54, 34, Bgr(1, 255, 0)}, {128, 180, 90, Bgr(235, 141, 70)},
        {0, 0, 0, Bgr(0, 135, 0)},     {255, 255, 255, Bgr(255, 125, 255)},
    };
    for (const Case& c : cases) {
        TRGB rgb;
        Korvaneproc::YUV2RGB(c.y, c.u, c.v, rgb);
        EXPECT_EQ(rgb, c.want) << c.y << "," << c.u << "," << c.v;
    }
}

TEST(VideoFrames, PackedLayoutsPlaceLumaAndChroma)
{
    // Luma 16, 128, 100, 60, 200, 30, 180, 235 gives greys 0, 130, 98, 51, 214, 16, 191, 255;
    // chroma U 180, V 90 on luma 128 gives (235, 141, 70) and swapped (54, 103, 213).
    const TRGB tinted = Bgr(235, 141, 70);
    struct Case
    {
        uint32_t fourcc;
        int32_t width;
        std::vector<uint8_t> row;
        std::vector<TRGB> want;
    };
    const Case cases[] = {
        {KVFourCC('Y', 'U', 'Y', '2'),
         4,
         {235, 128, 16, 128, 100, 128, 60, 128},
         {Grey(255), Grey(0), Grey(98), Grey(51)}},
        {KVFourCC('Y', 'U', 'N', 'V'), 2, {128, 180, 128, 90}, {tinted, tinted}},
        {KVFourCC('U', 'Y', 'V', 'Y'), 2, {180, 128, 90, 128}, {tinted, tinted}},
        {KVFourCC('U', 'Y', 'N', 'V'), 2, {128, 16, 128, 235}, {Grey(0), Grey(255)}},
        {KVFourCC('c', 'y', 'u', 'v'), 2, {180, 128, 90, 128}, {tinted, tinted}},
        {KVFourCC('Y', 'V', 'Y', 'U'), 2, {128, 90, 128, 180}, {tinted, tinted}},
        {KVFourCC('Y', 'V', 'Y', 'U'), 2, {128, 180, 128, 90}, {Bgr(54, 103, 213), Bgr(54, 103, 213)}},
        {KVFourCC('I', 'Y', 'U', '1'),
         4,
         {128, 16, 128, 128, 100, 60, 0, 0},
         {Grey(0), Grey(130), Grey(98), Grey(51)}},
        {KVFourCC('I', 'Y', 'U', '2'), 2, {180, 128, 90, 128, 16, 128, 0, 0}, {tinted, Grey(0)}},
        {KVFourCC('Y', '4', '1', 'P'),
         8,
         {128, 16, 128, 128, 180, 100, 90, 60, 200, 30, 180, 235},
         {Grey(0), Grey(130), Grey(98), Grey(51), Bgr(255, 225, 154), Bgr(121, 27, 0), Bgr(255, 201, 130),
          Bgr(255, 255, 194)}},
        {KVFourCC('Y', '2', '1', '1'), 4, {100, 128, 200, 128}, {Grey(98), Grey(98), Grey(214), Grey(214)}},
    };
    for (const Case& c : cases) {
        const auto image = Convert(c.fourcc, c.width, 1, c.row);
        ASSERT_EQ(image.size(), 1u) << Name(c.fourcc);
        EXPECT_EQ(image[0], c.want) << Name(c.fourcc);
    }
}

TEST(VideoFrames, ClJrFieldsAreScaledToEightBits)
{
    // Luma fields 16, 2, 20, 10 (128, 16, 160, 80 in 8 bits), chroma fields 32 (128: neutral).
    const uint32_t word = 32u | 32u << 6 | 16u << 12 | 2u << 17 | 20u << 22 | 10u << 27;
    const std::vector<uint8_t> row = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16),
                                      uint8_t(word >> 24)};
    const auto image = Convert(KVFourCC('C', 'L', 'J', 'R'), 4, 1, row);
    ASSERT_EQ(image.size(), 1u);
    EXPECT_EQ(image[0], (std::vector<TRGB>{Grey(130), Grey(0), Grey(168), Grey(74)}));
}

TEST(VideoFrames, PartialGroupsAtTheRowEnd)
{
    // Three pixels of YUY2: the row is padded to 8 bytes, so the second group is whole.
    auto image = Convert(KVFourCC('Y', 'U', 'Y', '2'), 3, 2,
                         {235, 128, 16, 128, 100, 128, 60, 128, 16, 128, 235, 128, 128, 128, 200, 128});
    ASSERT_EQ(image.size(), 2u);
    EXPECT_EQ(image[0], (std::vector<TRGB>{Grey(255), Grey(0), Grey(98)}));
    EXPECT_EQ(image[1], (std::vector<TRGB>{Grey(0), Grey(255), Grey(130)}));

    // Five pixels of IYU1 fill an 8-byte row: the second group's 6 bytes do not fit and its
    // pixel is black rather than garbage.
    image = Convert(KVFourCC('I', 'Y', 'U', '1'), 5, 1, {128, 16, 128, 128, 100, 60, 128, 235});
    ASSERT_EQ(image.size(), 1u);
    EXPECT_EQ(image[0], (std::vector<TRGB>{Grey(0), Grey(130), Grey(98), Grey(51), Grey(0)}));
}

TEST(VideoFrames, PlanarLayoutsWithOddSizes)
{
    // A 3 x 3 frame: luma 16..., chroma planes of 2 x 2 samples, the last column and row
    // taking the second sample.
    const std::vector<uint8_t> luma = {128, 128, 128, 128, 128, 128, 128, 128, 128};
    const std::vector<uint8_t> u = {128, 128, 128, 180};
    const std::vector<uint8_t> v = {128, 128, 128, 90};
    auto join = [&](const std::vector<uint8_t>& first, const std::vector<uint8_t>& second) {
        std::vector<uint8_t> bits = luma;
        bits.insert(bits.end(), first.begin(), first.end());
        bits.insert(bits.end(), second.begin(), second.end());
        return bits;
    };
    const TRGB g = Grey(130), t = Bgr(235, 141, 70);
    const std::vector<std::vector<TRGB>> want = {{g, g, g}, {g, g, g}, {g, g, t}};
    EXPECT_EQ(Convert(KVFourCC('I', '4', '2', '0'), 3, 3, join(u, v)), want);
    EXPECT_EQ(Convert(KVFourCC('I', 'Y', 'U', 'V'), 3, 3, join(u, v)), want);
    EXPECT_EQ(Convert(KVFourCC('Y', 'V', '1', '2'), 3, 3, join(v, u)), want);

    // YVU9: 5 x 5 pixels share 2 x 2 chroma samples, 4 x 4 pixels each.
    std::vector<uint8_t> bits(25, 128);
    const std::vector<uint8_t> chromaV = {128, 128, 128, 90}, chromaU = {128, 128, 128, 180};
    bits.insert(bits.end(), chromaV.begin(), chromaV.end());
    bits.insert(bits.end(), chromaU.begin(), chromaU.end());
    const auto image = Convert(KVFourCC('Y', 'V', 'U', '9'), 5, 5, bits);
    ASSERT_EQ(image.size(), 5u);
    EXPECT_EQ(image[3], (std::vector<TRGB>{g, g, g, g, g}));
    EXPECT_EQ(image[4], (std::vector<TRGB>{g, g, g, g, t}));
}

TEST(VideoFrames, NegativeHeightsRunBottomUp)
{
    const auto image = Convert(KVFourCC('Y', 'U', 'Y', '2'), 2, -2, {235, 128, 235, 128, 16, 128, 16, 128});
    ASSERT_EQ(image.size(), 2u);
    EXPECT_EQ(image[0], (std::vector<TRGB>{Grey(0), Grey(0)}));
    EXPECT_EQ(image[1], (std::vector<TRGB>{Grey(255), Grey(255)}));
}

TEST(VideoFrames, ShortOrUnknownFramesAreRefused)
{
    struct Case
    {
        uint32_t fourcc;
        int32_t width, height;
        size_t bytes;
    };
    const Case cases[] = {
        {KVFourCC('Y', 'U', 'Y', '2'), 4, 2, 15},  {KVFourCC('Y', 'V', '1', '2'), 3, 3, 16},
        {KVFourCC('Y', 'V', 'U', '9'), 5, 5, 32},  {KVFourCC('C', 'L', 'J', 'R'), 0, 5, 100},
        {KVFourCC('I', 'Y', 'U', '2'), 1, 0, 100}, {KVFourCC('M', 'J', 'P', 'G'), 1, 1, 100},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Convert(c.fourcc, c.width, c.height, std::vector<uint8_t>(c.bytes, 128)).empty())
            << Name(c.fourcc) << " " << c.width << "x" << c.height;
    EXPECT_EQ(Korvaneproc::YUVFrameSize(KVFourCC('Y', 'V', '1', '2'), 3, -3), 17);
    // Sides whose frame passes 64 bits count as larger than any block, without overflowing.
    EXPECT_EQ(Korvaneproc::YUVFrameSize(KVFourCC('I', 'Y', 'U', '2'), 0x7FFFFFFF, 0x7FFFFFFF), INT64_MAX);

    // A huge header over a small block ends before any row is asked for.
    const std::vector<uint8_t> small(100, 128);
    EXPECT_FALSE(Korvaneproc::ConvertYUVFrame(KVFourCC('Y', 'U', 'Y', '2'), 0x7FFFFFFF, -0x7FFFFFFF,
                                              small.data(), small.size(), [](int32_t) -> uint8_t* {
                                                  ADD_FAILURE() << "a row was written";
                                                  return nullptr;
                                              }));
}

} // namespace
