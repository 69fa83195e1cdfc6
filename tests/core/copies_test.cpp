// Pixel copies: bit runs between 1-bit rows.
#include "imaging/core/bitmap_copies.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Korvaneproc::_CopyBits;

TEST(CopyBits, CopiesRunsAndKeepsTheBitsAround)
{
    struct Case
    {
        int32_t destBit, sourceBit, count;
        std::vector<uint8_t> want;
    };
    // Source 1011 0011 1110 0001 0101 0101; destination starts as 0000 0000 1111 1111 0000 0000.
    const Case cases[] = {
        {0, 0, 8, {0xB3, 0xFF, 0x00}},   {3, 0, 4, {0x16, 0xFF, 0x00}}, // 1011 lands on bits 3..6
        {4, 2, 10, {0x0C, 0xFB, 0x00}},  // 1100111110 from bit 2 lands on bits 4..13
        {9, 11, 13, {0x00, 0x85, 0x54}}, // crosses two destination bytes unaligned
        {16, 8, 8, {0x00, 0xFF, 0xE1}},  {5, 5, 0, {0x00, 0xFF, 0x00}},
    };
    const uint8_t source[3] = {0xB3, 0xE1, 0x55};
    for (const Case& c : cases) {
        std::vector<uint8_t> dest = {0x00, 0xFF, 0x00};
        _CopyBits(dest.data(), source, c.destBit, c.sourceBit, c.count, 0);
        EXPECT_EQ(dest, c.want) << "to " << c.destBit << " from " << c.sourceBit << " count " << c.count;
    }
}

TEST(CopyBits, AgreesWithBitByBitCopiesAtEveryAlignment)
{
    std::vector<uint8_t> source(8);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(0x9D * (i + 3));
    auto bit = [](const std::vector<uint8_t>& row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; };
    for (int destBit = 0; destBit < 16; ++destBit)
        for (int sourceBit = 0; sourceBit < 16; ++sourceBit)
            for (int count = 0; count <= 40; count += 3) {
                std::vector<uint8_t> dest(8, 0x5A);
                const std::vector<uint8_t> before = dest;
                _CopyBits(dest.data(), source.data(), destBit, sourceBit, count, 0);
                for (int x = 0; x < 64; ++x) {
                    const bool inRun = x >= destBit && x < destBit + count;
                    const int want = inRun ? bit(source, sourceBit + x - destBit) : bit(before, x);
                    ASSERT_EQ(bit(dest, x), want)
                        << destBit << "," << sourceBit << "," << count << " bit " << x;
                }
            }
}

TEST(CopyBits, StopsAtTheRowLength)
{
    std::vector<uint8_t> dest(2, 0x00);
    const uint8_t source[2] = {0xFF, 0xFF};
    _CopyBits(dest.data(), source, 12, 0, 100, 2);
    EXPECT_EQ(dest, (std::vector<uint8_t>{0x00, 0x0F}));
    _CopyBits(dest.data(), source, -1, 0, 4, 2);
    EXPECT_EQ(dest, (std::vector<uint8_t>{0x00, 0x0F}));
}

} // namespace
