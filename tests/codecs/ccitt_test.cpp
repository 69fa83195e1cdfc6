// The fax coder: Go's raw fax streams (plain, inverted, cut), the codes of the edge cases, rows
// around uncompressed mode and the reference cursor they move, rows of every width through each
// encoder and back, pages in every coding as libtiff decodes them, damaged pages, a page far wider
// than its data, and pages of runs of no pixels that only a hand encoder writes.
#include "imaging/codecs/tiff/detail/ccitt_reference.h"
#include "imaging/codecs/tiff/detail/ccitt_tables.h"
#include "imaging/codecs/tiff/tifccitt.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/tif_tags_reader.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <map>
#include <random>
#include <sstream>
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

// Bits written as '0' and '1', with spaces between codes.
Bytes PackBits(std::string bits)
{
    std::erase(bits, ' ');
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

// Codes written n times over.
std::string Times(int32_t n, const std::string& codes)
{
    std::string bits;
    for (int32_t i = 0; i < n; ++i) {
        bits += codes;
    }
    return bits;
}

// Rows of 8 pixels whose codes are wrong in each way a decoder reports, the two-dimensional ones
// against a reference row of 4 black and 4 white pixels or an all-white one; and rows of runs of
// no pixels, whose changing elements a row of 8 pixels keeps up to 72 of: more are corrupt.
TEST(FaxCodes, RowFaultsAreReported)
{
    const std::string emptyPair = "001 00110101 0000110111"; // horizontal, white 0, black 0
    const std::string emptyRuns = "00110101 0000110111";     // one-dimensional white 0, black 0
    const struct
    {
        const char* Name;
        bool TwoDimensional;
        uint8_t Reference; // 1 bits white
        std::string Bits;
        Tifccitt::TFaxRowStatus Status;
    } cases[] = {
        {"white 8", false, 0, "10011", Tifccitt::frOK},
        {"EOL, then white 8", false, 0, "000000000001 10011", Tifccitt::frOK},
        {"white 9", false, 0, "10100", Tifccitt::frBadLength},
        {"white 3, EOL", false, 0, "1000 000000000001", Tifccitt::frBadLength},
        {"nine zeros and a one", false, 0, "0000000001", Tifccitt::frBadCode},
        {"white 3, end", false, 0, "1000", Tifccitt::frDataEnded},
        {"V0 to the end", true, 0xFF, "1", Tifccitt::frOK},
        {"VR1 past the end", true, 0xFF, "011", Tifccitt::frBadLength},
        {"VL1 left of the row", true, 0x0F, "010", Tifccitt::frBadCode},
        {"horizontal 5 + 4", true, 0xFF, "001 1100 011", Tifccitt::frBadLength},
        {"pass with no b2", true, 0xFF, "0001", Tifccitt::frBadLength},
        {"V0, EOL", true, 0x0F, "1 000000000001", Tifccitt::frBadLength},
        {"six zeros and a one", true, 0xFF, "00000010", Tifccitt::frBadCode},
        {"V0, end", true, 0x0F, "1", Tifccitt::frDataEnded},
        {"end of facsimile block", true, 0xFF, "000000000001 000000000001", Tifccitt::frDataEnded},
        {"36 empty pairs, then V0", true, 0xFF, Times(36, emptyPair) + "1", Tifccitt::frOK},
        {"37 empty pairs, then V0", true, 0xFF, Times(37, emptyPair) + "1", Tifccitt::frBadCode},
        {"72 empty runs, then white 8", false, 0, Times(36, emptyRuns) + "10011", Tifccitt::frOK},
        {"74 empty runs, then white 8", false, 0, Times(37, emptyRuns) + "10011", Tifccitt::frBadCode},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes data = PackBits(c.Bits);
        uint8_t row = 0, reference = c.Reference;
        Tifccitt::TFaxRowStatus status = Tifccitt::frOK;
        if (c.TwoDimensional) {
            Tifccitt::CCITT3_2D_GetLine(&row, data.data(), int64_t(data.size()), false, 1, 0, &reference, 8,
                                        &status);
        } else {
            Tifccitt::_CCITTHuffmanGetLine(&row, data.data(), int64_t(data.size()), 8, 1, 0, &status);
        }
        EXPECT_EQ(status, c.Status);
    }
}

// Rows of 24 pixels that enter and leave uncompressed mode against a reference row of four black
// runs, the modes after each exit finding b1 from where it ended: keeping white, turning black, far
// along the row, twice with no mode between, and at the row's end.
TEST(FaxCodes, ModesAfterUncompressedModeFindB1FromWhereItEnded)
{
    const std::string reference = "..##....##....##....##..";
    const struct
    {
        const char* Name;
        const char* Bits; // enter 0000001111, exit 0000001 and the colour bit (1 white)
        const char* Row;
    } cases[] = {
        {"white", "0000001111 00001 00000011 1 1 1 1 1 1 1", "....#...##....##....##.."},
        {"black", "0000001111 00001 00000010 1 010 1 000011 1", "....######...###......##"},
        {"far along", "0000001111 000001 000001 000001 00000010 1 0000010 000010 1",
         "...............#.###...."},
        {"twice", "0000001111 01 00000010 0000001111 00000011 1 1 1 1 1 1 1", ".#......##....##....##.."},
        {"at the end", "0000001111 000001 000001 000001 000001 00000000001 0", "........................"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes data = PackBits(c.Bits);
        std::vector<uint8_t> ref(3, 0xFF), row(3);
        for (size_t x = 0; x < reference.size(); ++x) {
            if (reference[x] == '#') {
                ref[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
            }
        }
        Tifccitt::TFaxRowStatus status = Tifccitt::frBadCode;
        Tifccitt::CCITT3_2D_GetLine(row.data(), data.data(), int64_t(data.size()), false, 1, 0, ref.data(),
                                    24, &status);
        EXPECT_EQ(status, Tifccitt::frOK);
        std::string decoded;
        for (int32_t x = 0; x < 24; ++x) {
            decoded += (row[size_t(x / 8)] >> (7 - x % 8)) & 1 ? '.' : '#';
        }
        EXPECT_EQ(decoded, c.Row);
    }
}

// A row that leaves uncompressed mode again and again far along a reference row of many changes:
// before each search for b1 the cursor stands at most a pair of entries short of it, so that a row
// walks the reference once however often it leaves the mode, and each search finds b1 as one from
// the row's start would.
TEST(FaxReference, KeepsItsPlaceWhereUncompressedModeEnds)
{
    const int32_t width = 30000;
    std::vector<int32_t> sealed{-1};
    for (int32_t x = 1; x < width - 1; x += 3) {
        sealed.push_back(x);
    }
    sealed.insert(sealed.end(), 3, width);
    const int32_t* changes = sealed.data() + 1;
    Tifccitt::detail::TReference reference{changes};
    bool black = false;
    for (int32_t a0 = 0, exit = 0; a0 < width - 10; a0 += 7, ++exit) {
        const bool colour = exit % 3 != 0;
        if (colour != black) {
            reference.ColourChangedAt(a0);
        }
        black = colour;
        int32_t b1 = black ? 1 : 0;
        while (changes[b1] <= a0) {
            b1 += 2;
        }
        ASSERT_LE(b1 - reference.Next, 2) << a0;
        ASSERT_EQ(reference.B1(a0), changes[b1]) << a0;
    }
}

// Random rows of many widths, the narrowest included, through every encoder and its decoder.
TEST(FaxCodes, EveryEncoderRoundTrips)
{
    std::mt19937 random(7);
    for (const int32_t width : {1, 3, 7, 8, 9, 63, 64, 65, 129, 1728, 2600}) {
        SCOPED_TRACE(width);
        const int32_t rows = 12;
        const size_t rowBytes = size_t(width + 7) / 8;
        std::vector<std::vector<uint8_t>> image(rows, std::vector<uint8_t>(rowBytes));
        for (int32_t y = 0; y < rows; ++y) {
            // Runs of random length, rows all white or black, runs of 63 to 65 pixels about every 64th.
            bool black = random() % 2 != 0;
            for (int32_t x = 0; x < width;) {
                const int32_t run = y % 5 == 0   ? width
                                    : y % 5 == 3 ? 63 + int32_t(random() % 3)
                                                 : 1 + int32_t(random() % (y % 2 != 0 ? 4 : 300));
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

class FaxTiff : public TTiffSamples
{
};

// What libtiff makes of a page: tiffcp decodes it into an uncompressed file, which tifftopnm reads.
kvtest::TPnmImage LibtiffPixels(const std::string& fileName)
{
    kvtest::TempFolder folder;
    int status = -1;
    Tool("tiffcp -c none -f msb2lsb " + fileName + " " + folder.File("none.tif") + " 2>/dev/null", &status);
    const std::string pbm = Tool("tifftopnm " + folder.File("none.tif") + " 2>/dev/null");
    return kvtest::ScaledTo8Bits(kvtest::ParsePnm(status == 0 ? pbm : ""));
}

// Pages of every mode a row can use (noise at two grains, runs past 2560 pixels, Go's gopher) as
// libtiff codes them in each fax coding and fill order, Modified Huffman re-coded by libtiff from
// our writer's: every pixel as libtiff decodes it.
TEST_F(FaxTiff, PagesDecodeAsLibtiffDecodesThem)
{
    Run("convert -seed 50 -size 1728x300 xc: +noise Random -blur 0x1 -threshold 50% " + F("noise.pbm") +
        " && pnmtotiff " + F("noise.pbm") + " > " + F("noise.tif"));
    Run("convert -seed 51 -size 2701x90 xc: +noise Random -blur 0x5 -threshold 85% " + F("sparse.pbm") +
        " && pnmtotiff " + F("sparse.pbm") + " > " + F("sparse.tif"));
    for (const char* page : {"page", "noise", "sparse"}) {
        TTiffRead plain;
        ASSERT_TRUE(ReadTiffFile(F(std::string(page) + ".tif"), plain));
        plain.Params.TIFF_Compression = ioTIFF_CCITT1D;
        TMemoryStream written;
        bool aborted = false;
        TProgressRec progress = kvtest::ProgressInto(aborted);
        Tiffilt::TIFFWriteStream(written, false, &plain.Bitmap, plain.Params, progress);
        ASSERT_FALSE(aborted);
        written.SaveToFile(F(std::string(page) + "-ours-mh.tif"));
        for (const char* coding : {"", "g3:1d", "g3:2d", "g3:2d:fill", "g4"}) {
            for (const char* order : {"msb2lsb", "lsb2msb"}) {
                // Without a coding tiffcp keeps the Modified Huffman of the file it copies.
                const std::string source = F(std::string(page) + (*coding == 0 ? "-ours-mh.tif" : ".tif"));
                const std::string name =
                    F(std::string(page) + "-" + (*coding == 0 ? "mh" : coding) + "-" + order + ".tif");
                SCOPED_TRACE(name);
                Run(std::string("tiffcp ") + (*coding == 0 ? "" : "-c ") + coding + " -f " + order + " " +
                    source + " " + name);
                TTiffRead read;
                EXPECT_TRUE(ReadTiffFile(name, read));
                EXPECT_EQ(kvtest::MaxDifference(LibtiffPixels(name), kvtest::BitmapSamples(read.Bitmap)), 0);
            }
        }
    }
}

// A one-row page 200,000,000 pixels wide coded as white make-up codes of 2560 (117 KB) in each
// one-dimensional coding, and in one bit in Group 4, loads white, taking memory by the strip's bits
// and the bitmap, where a change list of four bytes a pixel took 800 MB.
TEST(FaxPages, ARowWiderThanItsDataCanChangeTakesMemoryByTheData)
{
    const int32_t width = 200000000;
    std::string white;
    for (int32_t run = 0; run < width / 2560; ++run) {
        white += "000000011111";
    }
    white += "00110101"; // white 0
    const std::string eol = "000000000001";
    const struct
    {
        const char* Name;
        int32_t Compression;
        int32_t T4Options;
        std::string Bits;
    } cases[] = {
        {"Modified Huffman", 2, 0, white},
        {"Group 3 one-dimensional", 3, 0, eol + white},
        {"Group 3 two-dimensional, a row tagged one-dimensional", 3, 1, eol + "1" + white},
        {"Group 4, all of it vertical 0", 4, 0, "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTiffBuilder builder;
        builder.Page(width, 1, 1, 1, 0, PackBits(c.Bits), c.Compression).Long(292, uint32_t(c.T4Options));
        TTiffRead read;
        const int64_t peak = kvtest::PeakHeapOf([&] { ReadBuilt(builder, read); });
        EXPECT_FALSE(read.Aborted);
        ASSERT_EQ(read.Bitmap.GetWidth(), width);
        const auto* row = static_cast<const uint8_t*>(read.Bitmap.GetScanLine(0));
        EXPECT_TRUE(std::all_of(row, row + width / 8, [](uint8_t bits) { return bits == 0xFF; }));
        // The bitmap, the decoder's row, the strip and its lists.
        EXPECT_LT(peak, 4 * int64_t(width / 8));
    }
}

// The first line libtiff's fax decoder finds fault with ("Bad code word", "Line length mismatch",
// "Premature EOL" at line N of strip 0); -1 when it finds none.
int32_t FirstFaultLibtiffReports(const std::string& fileName)
{
    const std::string report = Tool("tiffinfo -D " + fileName + " 2>&1 >/dev/null");
    const size_t at = report.find(" at line ");
    return at == std::string::npos ? -1 : std::stoi(report.substr(at + 9));
}

// Go's gopher coded by ImageMagick and by libtiff in every fax coding, a byte inside its strip
// changed: the page loads with the abort flag, the rows before the first faulty one as libtiff
// decodes them, the faulty row and every row after it black.
TEST_F(FaxTiff, DamagedRowsAbortAndKeepTheRowsBefore)
{
    Run("convert " + F("page.pbm") + " -compress Group4 " + F("magick-g4.tif") + " && convert " +
        F("page.pbm") + " -compress Fax " + F("magick-g3.tif") + " && tiffcp -c g3:1d " + F("page.tif") +
        " " + F("g3-1d.tif") + " && tiffcp -c g3:2d " + F("page.tif") + " " + F("g3-2d.tif") +
        " && tiffcp -c g4 " + F("page.tif") + " " + F("g4.tif"));
    // libtiff's first complaint in each: a bad code word, a line length mismatch or a premature
    // EOL.
    const struct
    {
        const char* File;
        double Where; // of the strip's length
        uint8_t Value;
    } cases[] = {
        {"magick-g4.tif", 0.4, 0x00}, {"magick-g4.tif", 0.6, 0xFF}, {"magick-g3.tif", 0.5, 0x00},
        {"magick-g3.tif", 0.7, 0xFF}, {"g3-1d.tif", 0.4, 0xFF},     {"g3-1d.tif", 0.7, 0x5A},
        {"g3-2d.tif", 0.4, 0x00},     {"g3-2d.tif", 0.6, 0xFF},     {"g4.tif", 0.4, 0x00},
        {"g4.tif", 0.4, 0xFF},        {"g4.tif", 0.6, 0x00},
    };
    for (const auto& c : cases) {
        const std::string name = std::string(c.File) + "-" + std::to_string(int(c.Where * 10)) + ".tif";
        SCOPED_TRACE(name);
        TTiffRead whole;
        ASSERT_TRUE(ReadTiffFile(F(c.File), whole));
        TFileStream original(F(c.File), fmOpenRead);
        TKVTifTagsReader tags(original, 0);
        Bytes bytes = FileBytes(F(c.File));
        bytes[size_t(tags.GetInteger(273) + int32_t(tags.GetInteger(279) * c.Where))] = c.Value;
        WriteFile(F(name), bytes);

        const int32_t fault = FirstFaultLibtiffReports(F(name));
        ASSERT_GT(fault, 0);
        TTiffRead read;
        ReadTiffFile(F(name), read);
        EXPECT_TRUE(read.Aborted);
        const TRgbImage ours = RgbOf(read.Bitmap);
        const TRgbImage libtiff = Tiff2Rgba(F(name));
        ASSERT_EQ(ours.Width, libtiff.Width);
        const auto before = ours.Rgb.begin() + ptrdiff_t(ours.Width) * 3 * fault;
        EXPECT_TRUE(std::equal(ours.Rgb.begin(), before, libtiff.Rgb.begin()));
        EXPECT_TRUE(std::all_of(before, ours.Rgb.end(), [](uint8_t v) { return v == 0; }));
    }
}

// A hand encoder of fax pages, for codes that no encoder writes: rows separated by "|", codes by
// spaces. P is a pass, V0, VR1 to VR3 and VL1 to VL3 vertical modes, H<first>,<second> a horizontal
// mode, its first run in the colour at a0; a row R<run>,<run>,... is one-dimensional, its runs from
// white. Runs are of 0 to 63 pixels. In Group 3 each row is led by an EOL and a tag bit, 1 for a
// one-dimensional row.
std::string FaxPageBits(const std::string& page, bool group4)
{
    static const std::map<std::string, std::string> modes = {
        {"P", "0001"},      {"V0", "1"},    {"VR1", "011"},    {"VR2", "000011"},
        {"VR3", "0000011"}, {"VL1", "010"}, {"VL2", "000010"}, {"VL3", "0000010"},
    };
    std::string bits;
    std::istringstream rows(page);
    for (std::string row; std::getline(rows, row, '|');) {
        std::istringstream codes(row);
        std::string code;
        codes >> code;
        bits += group4 ? "" : std::string("000000000001") + (code[0] == 'R' ? "1" : "0");
        bool black = false;
        do {
            if (code[0] != 'H' && code[0] != 'R') {
                bits += modes.at(code);
                black = code[0] == 'V' ? !black : black;
                continue;
            }
            // Runs of alternating colours: a horizontal mode's two leave the colour as it was.
            bits += code[0] == 'H' ? "001" : "";
            std::istringstream runs(code.substr(1));
            for (std::string run; std::getline(runs, run, ','); black = !black) {
                const Tifccitt::detail::TRunCode& runCode = Tifccitt::detail::RunCode(black, std::stoi(run));
                bits += std::bitset<16>(runCode.Code).to_string().substr(16 - runCode.Length);
            }
        } while (codes >> code);
    }
    return bits;
}

// The rows of a bilevel image: '.' for white, '#' for black.
std::vector<std::string> RowsOf(const kvtest::TPnmImage& image)
{
    std::vector<std::string> rows(size_t(image.Height));
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            rows[size_t(y)] += image.At(x, y, 0) < 128 ? '#' : '.';
        }
    }
    return rows;
}

// Pages 32 pixels wide that only a hand encoder writes: rows with runs of no pixels, in horizontal,
// vertical and one-dimensional codes, followed by rows whose b1 and b2 lie among the changing
// elements those runs leave. Each page is coded in Group 4 and in two-dimensional Group 3 with
// EOLs, and every pixel loads as libtiff decodes it, finding no fault.
TEST_F(FaxTiff, EmptyRunsStayChangingElementsOfTheirRow)
{
    const struct
    {
        const char* Name;
        const char* Rows; // in FaxPageBits' notation
    } cases[] = {
        {"H(0,0) at a row's start, then a row that starts with a pass", "H0,0 H10,5 V0 | P H3,2 V0 V0 V0"},
        {"H(0,n) in a row's middle", "H4,4 H0,3 V0 | V0 V0 V0"},
        {"H(n,0) in a row's middle", "H4,4 H5,0 V0 | V0 V0 V0 V0"},
        {"H(n,0) at the right edge, white then black", "H4,4 H24,0 | V0 H28,0 | V0 V0"},
        {"V0 to the right edge after an empty pair", "H4,4 H20,0 V0 | V0 V0 V0 V0"},
        {"VL2 that leaves a run empty", "H4,2 H6,4 V0 | V0 VL2 V0 V0 V0 | V0 V0 V0"},
        {"passes at a row's start over stacked empty pairs", "H0,0 H0,0 H10,10 V0 | P V0 V0 V0"},
        {"one-dimensional runs of 0 in a row's middle", "R4,0,4,4,0,4,16 | V0 V0 V0"},
        {"a one-dimensional row that starts black", "R0,4,28 | V0 V0 V0"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string rows = cases[i].Rows;
        for (const bool group4 : {true, false}) {
            if (group4 && rows[0] == 'R') {
                continue; // one-dimensional rows are Group 3's
            }
            SCOPED_TRACE(std::string(cases[i].Name) + (group4 ? ", Group 4" : ", Group 3"));
            const Bytes bits = PackBits(FaxPageBits(rows, group4));
            TTiffBuilder builder;
            builder.Page(32, int32_t(std::ranges::count(rows, '|')) + 1, 1, 1, 0, bits, group4 ? 4 : 3);
            if (!group4) {
                builder.Long(292, 1);
            }
            const std::string name = F("empty-runs-" + std::to_string(i) + (group4 ? "-g4.tif" : "-g3.tif"));
            WriteFile(name, builder.Build());
            EXPECT_EQ(FirstFaultLibtiffReports(name), -1);
            TTiffRead read;
            EXPECT_TRUE(ReadTiffFile(name, read));
            EXPECT_EQ(RowsOf(kvtest::BitmapSamples(read.Bitmap)), RowsOf(LibtiffPixels(name)));
        }
    }
}

} // namespace
