// The changing elements of a fax row: found in a row's bits, and written out as them.
#include "imaging/codecs/tiff/detail/ccitt_changes.h"

#include "imaging/codecs/detail/be_words.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Tifccitt::detail {

using Codecs::detail::BigEndian64;
using Codecs::detail::SetBigEndian64;

void TChanges::FromLine(const uint8_t* line)
{
    FCount = 0;
    const int32_t bytes = (FWidth + 7) / 8;
    uint64_t before = 1; // the pixel before the word, in its lowest bit
    for (int32_t byte = 0; byte < bytes; byte += 8) {
        uint64_t word = 0;
        if (byte + 8 <= bytes) {
            word = BigEndian64(line + byte);
        } else {
            for (int32_t i = 0; byte + i < bytes; ++i) {
                word |= uint64_t(line[byte + i]) << (56 - 8 * i);
            }
        }
        uint64_t changes = word ^ (word >> 1 | before << 63);
        const int32_t left = FWidth - byte * 8;
        if (left < 64) {
            changes &= ~(~uint64_t(0) >> left); // none past the row
        }
        while (changes != 0) {
            const int32_t bit = std::countl_zero(changes);
            FPositions[size_t(FCount++)] = byte * 8 + bit;
            changes ^= uint64_t(1) << 63 >> bit;
        }
        before = word & 1;
    }
}

bool TChanges::HasEmptyRuns() const
{
    return std::adjacent_find(FPositions, FPositions + FCount) != FPositions + FCount;
}

void TChanges::Render(uint8_t* row) const
{
    const int32_t bytes = (FWidth + 7) / 8;
    std::memset(row, 0xFF, size_t(bytes));
    const int32_t wholeWords = bytes / 8;
    const int32_t words = (bytes + 7) / 8;
    uint64_t word = ~uint64_t(0); // pixel x of word w in bit 63 - x % 64
    int32_t w = 0;
    // Writes word w; the words up to word `to` take the colour of its last pixel.
    const auto put = [&](int32_t to) {
        if (w < wholeWords) {
            SetBigEndian64(row + 8 * w, word);
        } else {
            for (int32_t i = 0; 8 * w + i < bytes; ++i) {
                row[8 * w + i] = uint8_t(word >> (56 - 8 * i));
            }
        }
        word = uint64_t(0) - (word & 1);
        if (word == 0 && w + 1 < to) {
            std::memset(row + 8 * (w + 1), 0, size_t(std::min(8 * to, bytes) - 8 * (w + 1)));
        }
        w = to;
    };
    for (const int32_t *change = FPositions, *end = FPositions + FCount; change != end; ++change) {
        const int32_t target = *change >> 6;
        if (target != w) {
            put(target);
        }
        word ^= ~uint64_t(0) >> (*change & 63);
    }
    put(words);
    if ((FWidth & 7) != 0) {
        row[bytes - 1] |= uint8_t(0xFF >> (FWidth & 7));
    }
}

} // namespace Tifccitt::detail
