// The TIFF LZW coder: round trips, code streams written by libtiff, and corrupt or short strips.
#include "imaging/codecs/tiff/tiff_lzw.h"

#include "platform/core/streams.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Tiflzw::TIFFLZWCompress;
using Tiflzw::TIFFLZWDecompress;

using Bytes = std::vector<uint8_t>;

// Packs codes most significant bit first, as TIFF LZW lays them out.
class CodeStream
{
public:
    CodeStream& Code(int code, int width)
    {
        FAccumulator = (FAccumulator << width) | uint64_t(code);
        FBits += width;
        while (FBits >= 8) {
            FBits -= 8;
            FBytes.push_back(uint8_t(FAccumulator >> FBits));
        }
        return *this;
    }

    Bytes Data() const
    {
        Bytes out = FBytes;
        if (FBits > 0)
            out.push_back(uint8_t(FAccumulator << (8 - FBits)));
        return out;
    }

private:
    Bytes FBytes;
    uint64_t FAccumulator = 0;
    int FBits = 0;
};

Bytes Encode(const Bytes& image, int32_t rowLength)
{
    TMemoryStream stream;
    intptr_t state = 0;
    for (size_t offset = 0; offset < image.size(); offset += size_t(rowLength))
        TIFFLZWCompress(image.data() + offset, rowLength, stream, state);
    TIFFLZWCompress(nullptr, 0, stream, state);
    EXPECT_EQ(state, 0);
    Bytes out(size_t(stream.Size()));
    std::memcpy(out.data(), stream.Memory(), out.size());
    return out;
}

// Decodes rows until one fails; the result holds the rows that came back.
Bytes Decode(const Bytes& strip, int32_t rowLength, int32_t rows, bool* failed = nullptr)
{
    Bytes out;
    intptr_t state = 0;
    const uint8_t* data = strip.empty() ? reinterpret_cast<const uint8_t*>("") : strip.data();
    bool fail = false;
    for (int32_t r = 0; r < rows; r++) {
        uint8_t* row = TIFFLZWDecompress(data, int64_t(strip.size()), rowLength, state);
        if (row == nullptr) {
            fail = true;
            break;
        }
        out.insert(out.end(), row, row + rowLength);
    }
    TIFFLZWDecompress(nullptr, 0, rowLength, state);
    EXPECT_EQ(state, 0);
    if (failed)
        *failed = fail;
    return out;
}

Bytes Pattern(size_t count, unsigned seed, int alphabet)
{
    std::mt19937 random(seed);
    Bytes out(count);
    for (auto& b : out)
        b = uint8_t(random() % unsigned(alphabet));
    return out;
}

TEST(TiffLzw, RoundTripsRowsOfEveryLength)
{
    struct Case
    {
        int32_t rowLength, rows, alphabet;
    };
    // Short rows need the decoder to carry long strings over several calls; wide alphabets fill
    // the table and force clear codes.
    const Case cases[] = {{1, 1, 256},    {1, 5000, 2}, {3, 700, 4},     {7, 300, 256},
                          {640, 48, 256}, {4096, 3, 3}, {5000, 20, 256}, {17, 2000, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rowLength << " x " << c.rows << " of " << c.alphabet);
        Bytes image = Pattern(size_t(c.rowLength) * size_t(c.rows), unsigned(c.rowLength), c.alphabet);
        bool failed = true;
        EXPECT_EQ(Decode(Encode(image, c.rowLength), c.rowLength, c.rows, &failed), image);
        EXPECT_FALSE(failed);
    }
}

TEST(TiffLzw, EncoderClearsAt4094Codes)
{
    // 4094 distinct pairs: every pair a miss, so the table fills and a clear code follows at 12
    // bits, after which codes are 9 bits wide again.
    Bytes image;
    for (int i = 0; i < 70; i++)
        for (int j = 0; j < 70; j++) {
            image.push_back(uint8_t(i));
            image.push_back(uint8_t(j + 100));
        }
    Bytes strip = Encode(image, int32_t(image.size()));
    // Find the clear code: replay the code widths of the stream.
    int64_t bit = 0;
    int width = 9, nextFree = 258, clears = 0;
    auto read = [&](int w) {
        int code = 0;
        for (int i = 0; i < w; i++, bit++)
            code = (code << 1) | ((strip[size_t(bit >> 3)] >> (7 - (bit & 7))) & 1);
        return code;
    };
    EXPECT_EQ(read(9), 256);
    read(9);
    while (bit + width <= int64_t(strip.size()) * 8) {
        int code = read(width);
        if (code == 257)
            break;
        if (code == 256) {
            EXPECT_EQ(width, 12);
            clears++;
            width = 9;
            nextFree = 258;
            read(9);
            continue;
        }
        nextFree++;
        width = nextFree >= 2047 ? 12 : nextFree >= 1023 ? 11 : nextFree >= 511 ? 10 : 9;
    }
    EXPECT_EQ(clears, 2);
    EXPECT_EQ(Decode(strip, int32_t(image.size()), 1), image);
}

TEST(TiffLzw, DecodesHandMadeCodeStreams)
{
    struct Case
    {
        const char* name;
        Bytes strip;
        int32_t rowLength;
        Bytes expected;
    };
    const Case cases[] = {
        {"with clear", CodeStream().Code(256, 9).Code('a', 9).Code('b', 9).Code(258, 9).Code(257, 9).Data(),
         4, Bytes{'a', 'b', 'a', 'b'}},
        {"without clear", CodeStream().Code('a', 9).Code('b', 9).Code(258, 9).Code(257, 9).Data(), 4,
         Bytes{'a', 'b', 'a', 'b'}},
        {"KwKwK", CodeStream().Code(256, 9).Code('a', 9).Code(258, 9).Code(257, 9).Data(), 3,
         Bytes{'a', 'a', 'a'}},
        // After entry 510 is added the next free code is 511, and codes are read with 10 bits.
        {"10-bit code",
         [] {
             CodeStream s;
             s.Code(256, 9);
             for (int i = 0; i < 254; i++)
                 s.Code('x', 9);
             return s.Code('y', 10).Code(257, 10).Data();
         }(),
         255,
         [] {
             Bytes b(254, 'x');
             b.push_back('y');
             return b;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool failed = true;
        EXPECT_EQ(Decode(c.strip, c.rowLength, 1, &failed), c.expected);
        EXPECT_FALSE(failed);
    }
}

// The width the decoder reads a code with while the next free code is nextFree.
int WidthAt(int nextFree)
{
    return nextFree >= 2047 ? 12 : nextFree >= 1023 ? 11 : nextFree >= 511 ? 10 : 9;
}

// A Clear code, then single-byte codes until the next free code is nextFree; their bytes go to
// expected. Returns the width the next code is read with.
int ClearAndFillTable(CodeStream& s, int width, int nextFree, Bytes& expected)
{
    s.Code(256, width);
    for (int k = 0; k < 1 + nextFree - 258; k++) {
        expected.push_back(uint8_t(k * 7));
        s.Code(k * 7 % 256, WidthAt(258 + std::max(k - 1, 0)));
    }
    return WidthAt(nextFree);
}

TEST(TiffLzw, DecodesTheTableEdgesInsideLongStrips)
{
    // Zero bytes follow the end code, so that the codes before it are read as from the middle
    // of a strip.
    const Bytes padding(16, 0);
    // A Clear code at each width the table reaches, and codes of 9 bits after it.
    for (int rise : {511, 1023, 2047}) {
        SCOPED_TRACE(rise);
        CodeStream s;
        Bytes expected;
        const int width = ClearAndFillTable(s, 9, rise, expected);
        Bytes strip = s.Code(256, width).Code('a', 9).Code('b', 9).Code(258, 9).Code(257, 9).Data();
        strip.insert(strip.end(), padding.begin(), padding.end());
        expected.insert(expected.end(), {'a', 'b', 'a', 'b'});
        bool failed = true;
        EXPECT_EQ(Decode(strip, int32_t(expected.size()), 1, &failed), expected);
        EXPECT_FALSE(failed);
    }
    // A table of 4096 entries takes no further code without a Clear code.
    CodeStream s;
    Bytes expected;
    const int width = ClearAndFillTable(s, 9, 4096, expected);
    Bytes strip = s.Code('z', width).Code(257, width).Data();
    strip.insert(strip.end(), padding.begin(), padding.end());
    bool failed = false;
    EXPECT_EQ(Decode(strip, int32_t(expected.size()), 2, &failed), expected);
    EXPECT_TRUE(failed);
}

TEST(TiffLzw, CorruptStripsFailFromTheBadRowOn)
{
    struct Case
    {
        const char* name;
        Bytes strip;
        size_t goodRows;
    };
    const Case cases[] = {
        {"undefined first code after clear", CodeStream().Code(256, 9).Code(300, 9).Code(257, 9).Data(), 0},
        {"undefined first code", CodeStream().Code(260, 9).Data(), 0},
        {"code past the next free code",
         CodeStream().Code(256, 9).Code('a', 9).Code('b', 9).Code('c', 9).Code(270, 9).Data(), 1},
        {"end before the row is full", CodeStream().Code(256, 9).Code('q', 9).Code(257, 9).Data(), 0},
        {"codes end inside the second row",
         CodeStream().Code(256, 9).Code('a', 9).Code('b', 9).Code('c', 9).Data(), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool failed = false;
        Bytes rows = Decode(c.strip, 2, 5, &failed);
        EXPECT_TRUE(failed);
        EXPECT_EQ(rows.size(), c.goodRows * 2);
    }
}

TEST(TiffLzw, ShortStripFailsInsideItsData)
{
    Bytes image = Pattern(64 * 64, 9, 256);
    Bytes strip = Encode(image, 64);
    // Cutting 4 bytes takes at least part of the last code before the end code.
    for (size_t cut : {size_t(0), size_t(1), size_t(2), strip.size() / 2, strip.size() - 4}) {
        SCOPED_TRACE(cut);
        // An exact-size copy lets the sanitizer catch a read past the strip.
        Bytes shortStrip(strip.begin(), strip.begin() + std::ptrdiff_t(cut));
        bool failed = false;
        Bytes rows = Decode(shortStrip, 64, 64, &failed);
        // The rows the codes fill whole come back; the one they end inside fails.
        EXPECT_TRUE(failed);
        ASSERT_LE(rows.size(), image.size());
        EXPECT_TRUE(std::equal(rows.begin(), rows.end(), image.begin()));
        EXPECT_GE(rows.size() + 4096 + 64, cut * 8 / 12);
    }
}

TEST(TiffLzw, NilCallsFreeTheState)
{
    intptr_t state = 0;
    EXPECT_EQ(TIFFLZWDecompress(nullptr, 0, 4, state), nullptr);
    EXPECT_EQ(state, 0);
    Bytes strip = CodeStream().Code(256, 9).Code('a', 9).Code(257, 9).Data();
    EXPECT_NE(TIFFLZWDecompress(strip.data(), int64_t(strip.size()), 1, state), nullptr);
    EXPECT_NE(state, 0);
    EXPECT_EQ(TIFFLZWDecompress(nullptr, 0, 1, state), nullptr);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(TIFFLZWDecompress(strip.data(), int64_t(strip.size()), 0, state), nullptr);
    EXPECT_EQ(state, 0);
}

// ---- Against libtiff: a one-strip 8-bit grey TIFF made here, checked with ImageMagick/tiffcp.

void Put16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, uint16_t(v));
    Put16(b, uint16_t(v >> 16));
}

Bytes MakeGreyTiff(uint32_t width, uint32_t height, uint16_t compression, const Bytes& strip)
{
    Bytes tiff{'I', 'I', 42, 0};
    Put32(tiff, 8);
    const uint32_t entries = 9;
    uint32_t dataOffset = 8 + 2 + entries * 12 + 4;
    Put16(tiff, uint16_t(entries));
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
        Put16(tiff, tag);
        Put16(tiff, type);
        Put32(tiff, 1);
        if (type == 3) {
            Put16(tiff, uint16_t(value));
            Put16(tiff, 0);
        } else {
            Put32(tiff, value);
        }
    };
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 8);
    entry(259, 3, compression);
    entry(262, 3, 1);
    entry(273, 4, dataOffset);
    entry(277, 3, 1);
    entry(278, 4, height);
    entry(279, 4, uint32_t(strip.size()));
    Put32(tiff, 0);
    tiff.insert(tiff.end(), strip.begin(), strip.end());
    return tiff;
}

uint32_t Get(const Bytes& b, size_t at, int size)
{
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; i--)
        v = (v << 8) | b.at(at + size_t(i));
    return v;
}

// The first strip of a little-endian one-strip TIFF.
Bytes FirstStrip(const Bytes& tiff)
{
    uint32_t ifd = Get(tiff, 4, 4);
    uint32_t count = Get(tiff, ifd, 2);
    uint32_t offset = 0, length = 0;
    for (uint32_t i = 0; i < count; i++) {
        size_t e = ifd + 2 + i * 12;
        uint32_t tag = Get(tiff, e, 2), type = Get(tiff, e + 2, 2);
        uint32_t value = type == 3 ? Get(tiff, e + 8, 2) : Get(tiff, e + 8, 4);
        if (tag == 273)
            offset = value;
        if (tag == 279)
            length = value;
    }
    return Bytes(tiff.begin() + offset, tiff.begin() + offset + length);
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool RunTool(const std::string& command)
{
    return kvtest::ToolExitCode(command + " >/dev/null 2>&1") == 0;
}

TEST(TiffLzw, LibtiffReadsWhatWeWriteAndWeReadWhatItWrites)
{
    ASSERT_TRUE(kvtest::Installed("tiffcp"));
    kvtest::TempFolder dir;
    const uint32_t width = 123, height = 77;
    Bytes image = Pattern(size_t(width) * height, 5, 256);
    for (size_t i = 0; i < image.size(); i += 3)
        image[i] = uint8_t(i / 500); // some runs among the noise

    WriteFile(dir.File("ours.tif"), MakeGreyTiff(width, height, 5, Encode(image, int32_t(width))));
    ASSERT_TRUE(RunTool("tiffcp -c none " + dir.File("ours.tif") + " " + dir.File("plain.tif")));
    EXPECT_EQ(FirstStrip(ReadFile(dir.File("plain.tif"))), image);

    WriteFile(dir.File("plain-in.tif"), MakeGreyTiff(width, height, 1, image));
    ASSERT_TRUE(RunTool("tiffcp -c lzw -r " + std::to_string(height) + " " + dir.File("plain-in.tif") + " " +
                        dir.File("theirs.tif")));
    Bytes theirs = FirstStrip(ReadFile(dir.File("theirs.tif")));
    bool failed = true;
    EXPECT_EQ(Decode(theirs, int32_t(width), int32_t(height), &failed), image);
    EXPECT_FALSE(failed);
}

} // namespace
