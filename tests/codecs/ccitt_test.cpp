// The fax coder: Go's raw fax streams (plain, inverted, cut), the codes of the edge cases, and
// rows of every width through each encoder and back.
#include "imaging/codecs/tiff/tifccitt.h"
#include "platform/core/streams.h"
#include "tests/codecs/tiff_support.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace kvtifftest;

namespace {

// Decodes a raw fax stream of 153 x 55 pixels as Group 3 one-dimensional rows or Group 4 rows.
TRgbImage DecodeFax(const Bytes& data, bool group4)
{
    const int32_t width = 153, height = 55;
    TRgbImage image;
    image.Width = width;
    image.Height = height;
    std::vector<uint8_t> row((width + 7) / 8), ref(row.size(), 0xFF);
    int64_t bit = 0;
    for (int32_t y = 0; y < height; ++y) {
        bit = group4 ? Tifccitt::CCITT3_2D_GetLine(row.data(), data.data(), int64_t(data.size()), false, 1,
                                                   bit, ref.data(), width)
                     : Tifccitt::_CCITTHuffmanGetLine(row.data(), data.data(), int64_t(data.size()), width, 1,
                                                      bit);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t v = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
            image.Rgb.insert(image.Rgb.end(), {v, v, v});
        }
    }
    return image;
}

TEST(FaxDecoders, RawStreamsGiveTheGopherOrItsNegative)
{
    TRgbImage gopher = PngToPnm(GoFax("bw-gopher.png"));
    TRgbImage negative = gopher;
    for (uint8_t& v : negative.Rgb) {
        v = uint8_t(255 - v);
    }
    for (const bool group4 : {false, true}) {
        const std::string suffix = group4 ? ".ccitt_group4" : ".ccitt_group3";
        SCOPED_TRACE(suffix);
        EXPECT_EQ(MaxDifference(DecodeFax(FileBytes(GoFax("bw-gopher" + suffix)), group4), gopher), 0);
        EXPECT_EQ(MaxDifference(DecodeFax(FileBytes(GoFax("bw-gopher-inverted" + suffix)), group4), negative),
                  0);
        // Cut streams give the rows they hold and white after them.
        for (const char* cut : {"bw-gopher-truncated0", "bw-gopher-truncated1"}) {
            const TRgbImage image = DecodeFax(FileBytes(GoFax(cut + suffix)), group4);
            EXPECT_EQ(std::vector<uint8_t>(image.Rgb.begin(), image.Rgb.begin() + 153 * 3 * 20),
                      std::vector<uint8_t>(gopher.Rgb.begin(), gopher.Rgb.begin() + 153 * 3 * 20));
        }
    }
}

} // namespace

namespace {

// The bits of a stream as a string of '0' and '1'.
std::string BitsOf(const TMemoryStream& stream)
{
    std::string bits;
    const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
    for (int64_t i = 0; i < const_cast<TMemoryStream&>(stream).Size(); ++i) {
        for (int32_t b = 7; b >= 0; --b) {
            bits += (bytes[i] >> b) & 1 ? '1' : '0';
        }
    }
    return bits;
}

Bytes PackBits(const std::string& bits)
{
    Bytes bytes((bits.size() + 7) / 8);
    for (size_t i = 0; i < bits.size(); ++i) {
        if (bits[i] == '1') {
            bytes[i / 8] |= uint8_t(0x80 >> (i % 8));
        }
    }
    return bytes;
}

TEST(FaxCodes, EdgeCasesOfTheCodeTables)
{
    // 1728 white pixels: the make-up code of 1728 and the terminating code of 0.
    std::vector<uint8_t> row(216);
    const Bytes whiteRow = PackBits("010011011"
                                    "00110101");
    EXPECT_EQ(Tifccitt::CCITTHuffmanGetLine(row.data(), whiteRow.data(), int64_t(whiteRow.size()), 1728, 1),
              3);
    EXPECT_EQ(row, std::vector<uint8_t>(216, 0xFF));

    // EOLs with up to 20 fill zeros before them, then a row of 8 pixels: 3 black, 5 white.
    for (int32_t fill = 0; fill <= 20; ++fill) {
        const Bytes data =
            PackBits(std::string(size_t(fill), '0') + "000000000001" + "00110101" + "10" + "1100");
        std::vector<uint8_t> one(1);
        Tifccitt::_CCITTHuffmanGetLine(one.data(), data.data(), int64_t(data.size()), 8, 1, 0);
        EXPECT_EQ(one[0], 0x1F) << fill;
    }

    // 2561 black pixels: the make-up code of 2560, then the terminating code of 1 (black 010).
    std::vector<uint8_t> black((2561 + 7) / 8, 0xFF);
    TMemoryStream stream;
    bool error = false;
    Tifccitt::CCITTHuffmanPutLine(black.data(), 2561, stream, error);
    EXPECT_EQ(BitsOf(stream).substr(0, 8 + 12 + 3), "00110101"
                                                    "000000011111"
                                                    "010");

    // A Group 4 strip ends with two EOLs, padded to a byte.
    TMemoryStream g4;
    std::vector<uint8_t> ref;
    int32_t pendingBits = 0;
    uint8_t pendingByte = 0;
    const std::vector<uint8_t> white(1, 0);
    Tifccitt::CCITTHuffmanPutLineG4(white.data(), 5, g4, error, ref, pendingBits, pendingByte);
    Tifccitt::CCITTHuffmanPutLineG4(nullptr, 5, g4, error, ref, pendingBits, pendingByte);
    EXPECT_EQ(BitsOf(g4), "1"
                          "000000000001"
                          "000000000001"
                          "0000000");
    EXPECT_FALSE(error);
}

// Random rows of many widths, the narrowest included, through every encoder and its decoder.
TEST(FaxCodes, EveryEncoderRoundTrips)
{
    std::mt19937 random(7);
    for (const int32_t width : {1, 3, 7, 8, 9, 63, 64, 65, 1728, 2600}) {
        SCOPED_TRACE(width);
        const int32_t rows = 12;
        const size_t rowBytes = size_t(width + 7) / 8;
        std::vector<std::vector<uint8_t>> image(rows, std::vector<uint8_t>(rowBytes));
        for (int32_t y = 0; y < rows; ++y) {
            // Runs of random length, some rows all white or all black.
            bool black = random() % 2 != 0;
            for (int32_t x = 0; x < width;) {
                const int32_t run = y % 5 == 0 ? width : 1 + int32_t(random() % (y % 2 != 0 ? 4 : 300));
                for (int32_t i = x; i < std::min(width, x + run); ++i) {
                    if (black) {
                        image[size_t(y)][size_t(i / 8)] |= uint8_t(0x80 >> (i % 8));
                    }
                }
                x += run;
                black = !black;
            }
        }
        for (int32_t coding = 0; coding < 4; ++coding) {
            SCOPED_TRACE(coding);
            TMemoryStream stream;
            bool error = false;
            std::vector<uint8_t> ref;
            int32_t pendingBits = 0;
            uint8_t pendingByte = 0;
            for (int32_t y = 0; y <= rows; ++y) {
                const uint8_t* row = y < rows ? image[size_t(y)].data() : nullptr;
                if (coding == 0 && row != nullptr) {
                    Tifccitt::CCITTHuffmanPutLine(row, width, stream, error);
                } else if (coding == 1) {
                    Tifccitt::CCITTHuffmanPutLineG3(row, width, stream, error, pendingBits, pendingByte);
                } else if (coding == 2) {
                    Tifccitt::CCITTHuffmanPutLineG32D(row, width, stream, error, ref, pendingBits,
                                                      pendingByte);
                } else if (coding == 3) {
                    Tifccitt::CCITTHuffmanPutLineG4(row, width, stream, error, ref, pendingBits, pendingByte);
                }
            }
            const auto* data = static_cast<const uint8_t*>(stream.Memory());
            const int64_t size = stream.Size();
            std::vector<uint8_t> decoded(rowBytes), refLine(rowBytes, 0xFF);
            int64_t position = 0;
            for (int32_t y = 0; y < rows; ++y) {
                if (coding == 0) {
                    position += Tifccitt::CCITTHuffmanGetLine(decoded.data(), data + position,
                                                              size - position, width, 1);
                } else if (coding == 1) {
                    position = Tifccitt::_CCITTHuffmanGetLine(decoded.data(), data, size, width, 1, position);
                } else {
                    position = Tifccitt::CCITT3_2D_GetLine(decoded.data(), data, size, false, 1, position,
                                                           refLine.data(), width);
                }
                // Decoded rows have 1 bits for white; the encoders take 1 bits as black.
                for (int32_t x = 0; x < width; ++x) {
                    const bool white = (decoded[size_t(x / 8)] >> (7 - x % 8)) & 1;
                    const bool black = (image[size_t(y)][size_t(x / 8)] >> (7 - x % 8)) & 1;
                    ASSERT_NE(white, black) << "row " << y << " pixel " << x;
                }
            }
        }
    }
}

} // namespace
