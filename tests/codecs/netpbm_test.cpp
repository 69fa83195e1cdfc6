// The Netpbm and WBMP codecs against netpbm's own tools: every form and depth they write reads
// as they mean it, what we write passes them, and broken headers end in a clean failure.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

namespace {

const std::string Rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";
const std::string GoPhoto = "/usr/share/go-1.19/src/image/testdata/video-001.png";

struct Decoded
{
    bool Aborted = false;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
    int64_t EndPosition = 0;
};

enum class Reader
{
    Pxm,
    Wbmp
};

void Decode(const std::string& bytes, Decoded& d, Reader reader = Reader::Pxm, bool paramsOnly = false)
{
    TMemoryStream stream;
    kvtest::FillStream(stream, bytes);
    TProgressRec progress = kvtest::ProgressInto(d.Aborted);
    if (reader == Reader::Pxm) {
        Bmpfilt::PXMReadStream(stream, d.Bitmap, d.Params, progress, paramsOnly);
    } else {
        Bmpfilt::WBMPReadStream(stream, d.Bitmap, d.Params, progress, paramsOnly);
    }
    d.EndPosition = stream.Position();
}

std::string Encode(TKVBitmap& bitmap, TIOParamsVals& params, Reader writer, bool* aborted = nullptr)
{
    TMemoryStream stream;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    if (writer == Reader::Pxm) {
        Bmpfilt::PXMWriteStream(stream, bitmap, params, progress);
    } else {
        Bmpfilt::WBMPWriteStream(stream, bitmap, params, progress);
    }
    if (aborted != nullptr) {
        *aborted = aborting;
    }
    return std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

::testing::AssertionResult HaveSamples()
{
    return kvtest::Installed({Rose, "pamfile"});
}

} // namespace

// Each form and depth the tools write reads as the binary image the tools make of it, scaled by
// v * 255 / maximum; plain forms and 2-byte samples included. Saved again with the parameters the
// reader filled, the picture reads the same in netpbm's tools.
TEST(NetpbmReader, ReadsEveryFormAndDepthAsTheToolsMeanItAndWritesItBack)
{
    ASSERT_TRUE(HaveSamples());
    const struct
    {
        const char* name;
        std::string pipeline; // writes the file to read
        int32_t bits, samples;
    } cases[] = {
        {"P1", "ppmtopgm " + Rose + " | pgmtopbm -threshold | pnmtopnm -plain", 1, 1},
        {"P2", "ppmtopgm " + Rose + " | pnmtopnm -plain", 8, 1},
        {"P3", "pnmtopnm -plain " + Rose, 8, 3},
        {"P4", "ppmtopgm " + Rose + " | pgmtopbm -threshold", 1, 1},
        {"P5", "ppmtopgm " + Rose, 8, 1},
        {"P6", "cat " + Rose, 8, 3},
        {"P6 maxval 15", "pamdepth 15 " + Rose, 8, 3},
        {"P5 maxval 15", "ppmtopgm " + Rose + " | pamdepth 15", 8, 1},
        {"P6 maxval 1023", "pamdepth 1023 " + Rose, 8, 3},
        {"P5 maxval 1023", "ppmtopgm " + Rose + " | pamdepth 1023", 8, 1},
        {"P3 maxval 1023", "pamdepth 1023 " + Rose + " | pnmtopnm -plain", 8, 3},
        {"P6 maxval 65535", "pamdepth 65535 " + Rose, 8, 3},
    };
    kvtest::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = folder.Write("in.pnm", kvtest::ToolOutput(c.pipeline));
        const kvtest::TPnmImage expected =
            kvtest::ScaledTo8Bits(kvtest::ParsePnm(kvtest::ToolOutput("pnmtopnm " + file)));
        ASSERT_TRUE(expected.Valid());
        Decoded d;
        Decode(kvtest::TempFolder::Read(file), d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetPixelFormat(), c.bits == 1 ? kv1g : kv24RGB);
        EXPECT_EQ(d.Params.BitsPerSample, c.bits);
        EXPECT_EQ(d.Params.SamplesPerPixel, c.samples);
        EXPECT_EQ(kvtest::MaxDifference(expected, kvtest::BitmapSamples(d.Bitmap)), 0);
        bool aborted = true;
        const std::string again =
            folder.Write("again.pnm", Encode(d.Bitmap, d.Params, Reader::Pxm, &aborted));
        EXPECT_FALSE(aborted);
        EXPECT_EQ(kvtest::MaxDifference(expected, kvtest::ScaledTo8Bits(kvtest::ParsePnm(
                                                      kvtest::ToolOutput("pnmtopnm " + again)))),
                  0);
    }
}

// Hand-made headers: comments, odd separators, samples beyond the maximum, files that end early,
// and the stream left after the image so that another can follow.
TEST(NetpbmReader, HeadersCommentsAndShortData)
{
    Decoded p2;
    Decode("P2\n# a comment  \n2 1 15\n0 15", p2);
    ASSERT_FALSE(p2.Aborted);
    EXPECT_EQ(kvtest::BitmapSamples(p2.Bitmap).Samples, (std::vector<uint16_t>{0, 0, 0, 255, 255, 255}));
    ASSERT_EQ(p2.Params.InfoStrings.Count(), 1);
    EXPECT_EQ(p2.Params.InfoStrings.Strings(0), "a comment");

    // A text sample above the maximum counts as the maximum; a word that is no number as 0.
    Decoded clamp;
    Decode("P3 1 2 100 300 50 100 x 1 1", clamp);
    EXPECT_EQ(kvtest::BitmapSamples(clamp.Bitmap).Samples, (std::vector<uint16_t>{255, 127, 255, 0, 2, 2}));

    // A binary byte above a small maximum is clamped too, not wrapped.
    Decoded binary;
    Decode(std::string("P5 2 1 15\n\x0f\xc8", 12), binary);
    EXPECT_EQ(kvtest::BitmapSamples(binary.Bitmap).Samples,
              (std::vector<uint16_t>{255, 255, 255, 255, 255, 255}));

    // P4: a row of 10 pixels takes 2 bytes; a stored 1 is black.
    Decoded p4;
    Decode(std::string("P4 10 1\n\x80\x40", 10), p4);
    const auto bits = kvtest::BitmapSamples(p4.Bitmap).Samples;
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[3], 255);
    EXPECT_EQ(bits[9 * 3], 0);

    // Data that ends early fails, and leaves the rest black.
    Decoded cut;
    Decode(std::string("P6 2 2 255\n\xff\xff\xff\x10\x20\x30\x40", 18), cut);
    EXPECT_TRUE(cut.Aborted);
    EXPECT_EQ(kvtest::BitmapSamples(cut.Bitmap).Samples,
              (std::vector<uint16_t>{255, 255, 255, 16, 32, 48, 0, 0, 0, 0, 0, 0}));

    // Two images in one stream: the first read ends where the second begins.
    const std::string first = std::string("P5 1 1 255\n\x7f", 12);
    Decoded twice;
    Decode(first + "P5 1 1 255\n\x10", twice);
    EXPECT_EQ(twice.EndPosition, int64_t(first.size()));
}

TEST(NetpbmReader, RefusesBadHeadersWithoutReadingPixels)
{
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"maxval zero", "P5 4 4 0\n" + std::string(16, 'x')},
        {"maxval above 65535", "P5 1 1 70000\nxx"},
        {"no width", "P6 # only a comment"},
        {"width zero", "P6 0 5 255\n"},
        {"width not a number", "P6 ten 5 255\n"},
        {"huge width", "P4 99999999999999999999 2\n"},
        {"past the pixel budget", "P5 65535 65535 255\n"},
        {"unknown magic", "P7 2 2 255\n1234"},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d;
        Decode(c.bytes, d);
        EXPECT_TRUE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetWidth(), 0);
    }
    // Only the parameters are asked for: a large picture needs no pixel memory.
    Decoded paramsOnly;
    Decode("P5 65535 65535 255\n", paramsOnly, Reader::Pxm, true);
    EXPECT_FALSE(paramsOnly.Aborted);
    EXPECT_EQ(paramsOnly.Params.Width, 65535);
}

TEST(NetpbmProbe, TellsNetpbmHeaders)
{
    const struct
    {
        std::string bytes;
        bool found;
    } cases[] = {
        {"P6 3 2 255\n", true},
        {"P1\n# c\n3 2\n", true},
        {"  P4 3 2", true},
        {"P6 0 2 255\n", false},
        {"P6 3 2", false}, // no maximum
        {"P8 3 2 255", false},
        {"\xff\xd8\xff\xe0JFIF", false},
        {"P2 " +
             [] {
                 std::string comments;
                 for (int i = 0; i < 499; ++i) {
                     comments += "#\n";
                 }
                 return comments;
             }() +
             "3 2 255",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 12));
        TMemoryStream stream;
        stream.WriteBuffer("ab", 2);
        stream.WriteBuffer(c.bytes.data(), int64_t(c.bytes.size()));
        stream.SetPosition(2);
        EXPECT_EQ(Bmpfilt::TryPXM(stream), c.found);
        EXPECT_EQ(stream.Position(), 2);
    }
}

// What the writer makes passes pamfile and reads back through netpbm as the picture was.
TEST(NetpbmWriter, WritesFormsTheToolsAccept)
{
    ASSERT_TRUE(HaveSamples());
    Decoded rose;
    Decode(kvtest::TempFolder::Read(Rose), rose);
    ASSERT_FALSE(rose.Aborted);
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        int32_t bits, samples;
        const char* pamfile; // what pamfile says of it
    } cases[] = {
        {"P4", 1, 1, "PBM raw, 70 by 46"},
        {"P5", 8, 1, "PGM raw, 70 by 46  maxval 255"},
        {"P6", 8, 3, "PPM raw, 70 by 46  maxval 255"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        params.BitsPerSample = c.bits;
        params.SamplesPerPixel = c.samples;
        params.InfoStrings.Add("first line");
        params.InfoStrings.Add("second\nline");
        bool aborted = true;
        const std::string file = folder.Write("out.pnm", Encode(rose.Bitmap, params, Reader::Pxm, &aborted));
        EXPECT_FALSE(aborted);
        EXPECT_NE(kvtest::ToolOutput("pamfile " + file).find(c.pamfile), std::string::npos)
            << kvtest::ToolOutput("pamfile " + file);
        const kvtest::TPnmImage back = kvtest::ParsePnm(kvtest::ToolOutput("pnmtopnm " + file));
        Decoded ours;
        Decode(kvtest::TempFolder::Read(file), ours);
        EXPECT_EQ(ours.Params.InfoStrings.Count(), 2);
        EXPECT_EQ(ours.Params.InfoStrings.Strings(1), "second line");
        EXPECT_EQ(kvtest::MaxDifference(kvtest::ScaledTo8Bits(back), kvtest::BitmapSamples(ours.Bitmap)), 0);
        if (c.bits == 8 && c.samples == 3) {
            EXPECT_EQ(kvtest::MaxDifference(back, kvtest::BitmapSamples(rose.Bitmap)), 0);
        }
        if (c.samples == 1 && c.bits == 8) {
            // Grey is (21 R + 71 G + 8 B) / 100.
            const TRGB p = rose.Bitmap.GetPixels_kv24RGB(5, 7);
            EXPECT_EQ(back.At(5, 7, 0), (p.r * 21 + p.g * 71 + p.b * 8) / 100);
        }
    }
    // No form fits a kv8g picture with 16-bit parameters: nothing is written, and it says so.
    TKVBitmap grey;
    grey.Allocate(2, 2, kv8g);
    TIOParamsVals params;
    params.BitsPerSample = 16;
    params.SamplesPerPixel = 1;
    bool aborted = false;
    EXPECT_EQ(Encode(grey, params, Reader::Pxm, &aborted), "");
    EXPECT_TRUE(aborted);
}

// Sides from 9 to 1000 round-trip with pbmtowbmp and wbmptopbm; what we write of pbmtowbmp's file,
// of the PBM (read with the bits past the width set) or of colour is its file byte for byte: sides of
// 128 and more in several whole bytes, bits past the width zero, in a PBM too.
TEST(Wbmp, RoundTripsWithNetpbmAtEverySize)
{
    ASSERT_TRUE(kvtest::Installed({GoPhoto, "pbmtowbmp", "wbmptopbm"}));
    kvtest::TempFolder folder;
    const std::pair<int32_t, int32_t> sizes[] = {{9, 4},     {127, 43},  {128, 127},
                                                 {200, 300}, {255, 256}, {1000, 334}};
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const std::string pbm = folder.Write(
            "in.pbm",
            kvtest::ToolOutput("pngtopnm " + GoPhoto + " | pamscale -width " + std::to_string(width) +
                               " -height " + std::to_string(height) + " | ppmtopgm | pgmtopbm -threshold"));
        const kvtest::TPnmImage expected =
            kvtest::ScaledTo8Bits(kvtest::ParsePnm(kvtest::TempFolder::Read(pbm)));
        ASSERT_TRUE(expected.Valid());

        const std::string theirFile = kvtest::ToolOutput("pbmtowbmp " + pbm);
        Decoded theirs;
        Decode(theirFile, theirs, Reader::Wbmp);
        ASSERT_FALSE(theirs.Aborted);
        EXPECT_EQ(theirs.Bitmap.GetPixelFormat(), kv1g);
        EXPECT_EQ(kvtest::MaxDifference(expected, kvtest::BitmapSamples(theirs.Bitmap)), 0);

        TIOParamsVals params;
        const std::string ours = folder.Write("ours.wbmp", Encode(theirs.Bitmap, params, Reader::Wbmp));
        EXPECT_TRUE(kvtest::TempFolder::Read(ours) == theirFile);
        Decoded pbmRead;
        Decode(kvtest::TempFolder::Read(pbm), pbmRead);
        TKVBitmap colour;
        kvtest::PnmToBitmap(expected, colour);
        EXPECT_TRUE(Encode(pbmRead.Bitmap, params, Reader::Wbmp) == theirFile);
        EXPECT_TRUE(Encode(colour, params, Reader::Wbmp) == theirFile);
        // So are the rows of a PBM written of it.
        const std::string theirPbm = kvtest::TempFolder::Read(pbm);
        const std::string ourPbm = Encode(theirs.Bitmap, theirs.Params, Reader::Pxm);
        const size_t rows = size_t(height) * size_t((width + 7) / 8);
        ASSERT_GT(ourPbm.size(), rows);
        EXPECT_TRUE(ourPbm.substr(ourPbm.size() - rows) == theirPbm.substr(theirPbm.size() - rows));
        EXPECT_EQ(kvtest::MaxDifference(expected, kvtest::ScaledTo8Bits(kvtest::ParsePnm(
                                                      kvtest::ToolOutput("wbmptopbm " + ours)))),
                  0);
    }
}

TEST(Wbmp, OldSingleByteSizesBadHeadersAndColourPictures)
{
    // A 200-wide file with its size in single bytes: only that reading matches its data.
    std::string old = std::string("\0\0\xc8\x02", 4) + std::string(2 * 25, '\xff');
    Decoded single;
    Decode(old, single, Reader::Wbmp);
    EXPECT_FALSE(single.Aborted);
    EXPECT_EQ(single.Bitmap.GetWidth(), 200);
    EXPECT_EQ(single.Bitmap.GetHeight(), 2);

    // Width 9: rows of two bytes.
    Decoded nine;
    Decode(std::string("\0\0\x09\x01\xff\x80", 6), nine, Reader::Wbmp);
    EXPECT_EQ(nine.Bitmap.GetWidth(), 9);
    EXPECT_EQ(kvtest::BitmapSamples(nine.Bitmap).Samples[8 * 3], 255);

    // Bad headers fail with nothing allocated; so do sizes of five bytes (up to 2^35) past 32 bits,
    // before any product of them is worked out.
    for (const std::string& bad : {std::string("\x01\0\x02\x02\0\0", 6), std::string("\0\x01\x02\x02\0\0", 6),
                                   std::string("\0\0\0\x02\0\0", 6), std::string("\0\0", 2),
                                   std::string("\0\0\xff\xff\xff\xff\xff\x7f\x01", 9),
                                   std::string("\0\0\xff\xff\xff\xff\x7f\xff\xff\xff\xff\x7f", 12),
                                   std::string("\0\0\xc0\x80\x80\x80\0\x88\x80\x80\x80\0", 12)}) {
        Decoded d;
        Decode(bad, d, Reader::Wbmp);
        EXPECT_TRUE(d.Aborted);
        EXPECT_EQ(d.Bitmap.GetWidth(), 0);
    }

    // A 600 x 300 colour picture is written whole, made black and white.
    TKVBitmap picture;
    picture.Allocate(600, 300, kv24RGB);
    picture.Fill(0);
    for (int32_t y = 0; y < 300; y += 2) {
        for (int32_t x = 0; x < 600; ++x) {
            picture.SetPixels_kv24RGB(x, y, TRGB{255, 255, 255});
        }
    }
    TIOParamsVals params;
    const std::string written = Encode(picture, params, Reader::Wbmp);
    EXPECT_EQ(written.substr(0, 6), std::string("\0\0\x84\x58\x82\x2c", 6));
    Decoded back;
    Decode(written, back, Reader::Wbmp);
    EXPECT_EQ(back.Bitmap.GetWidth(), 600);
    EXPECT_EQ(back.Bitmap.GetHeight(), 300);
    EXPECT_TRUE(back.Bitmap.GetPixels_kv1g(599, 298));
    EXPECT_FALSE(back.Bitmap.GetPixels_kv1g(599, 299));
}

// Data that ends before the last row fails; the rows read keep their pixels and every row past
// them is black, whatever the heap held (the suite runs this once more under two heap fill
// patterns). Headers of a few bytes that promise hundreds of millions of rows fail the same way.
TEST(NetpbmReader, RowsPastTheDataAreCleared)
{
    auto repeat = [](const std::string& text, int count) {
        std::string out;
        for (int i = 0; i < count; ++i) {
            out += text;
        }
        return out;
    };
    // White pictures of 3 x 4, each cut inside or after its second row.
    const struct
    {
        const char* name;
        std::string bytes;
        size_t keep;
        Reader reader;
    } cases[] = {
        {"P1", "P1 3 4\n" + repeat("000\n", 4), 7 + 4 + 2, Reader::Pxm},
        {"P3", "P3 3 4 255\n" + repeat("255 ", 36), 11 + 9 * 4 + 4 * 4, Reader::Pxm},
        {"P4", "P4 3 4\n" + std::string(4, '\0'), 7 + 1, Reader::Pxm},
        {"P5", "P5 3 4 255\n" + std::string(12, '\xff'), 11 + 3 + 1, Reader::Pxm},
        {"P6", "P6 3 4 255\n" + std::string(36, '\xff'), 11 + 9 + 4, Reader::Pxm},
        {"WBMP", std::string("\0\0\x03\x04", 4) + std::string(4, '\xe0'), 4 + 1, Reader::Wbmp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded whole;
        Decode(c.bytes, whole, c.reader);
        ASSERT_FALSE(whole.Aborted);
        Decoded cut;
        Decode(c.bytes.substr(0, c.keep), cut, c.reader);
        EXPECT_TRUE(cut.Aborted);
        const std::vector<uint16_t> samples = kvtest::BitmapSamples(cut.Bitmap).Samples;
        ASSERT_EQ(samples.size(), size_t(3 * 4 * 3));
        // The first row whole, the second as far as the data goes, the rest black.
        for (size_t i = 0; i < 18; ++i) {
            EXPECT_TRUE(i < 9 ? samples[i] == 255 : samples[i] == 0 || samples[i] == 255) << "sample " << i;
        }
        for (int32_t y = 2; y < 4; ++y) {
            EXPECT_TRUE(kvtest::RowCleared(cut.Bitmap, y)) << "row " << y;
        }
    }

    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/pxm/";
    const struct
    {
        const char* name;
        Reader reader;
        int32_t height;
    } tall[] = {
        {"wbmp-1-by-238930747-in-9-bytes.wbmp", Reader::Wbmp, 238930747},
        {"ppm-plain-1-by-222222222-cut.ppm", Reader::Pxm, 222222222},
    };
    for (const auto& t : tall) {
        SCOPED_TRACE(t.name);
        Decoded d;
        Decode(kvtest::TempFolder::Read(corpus + t.name), d, t.reader);
        EXPECT_TRUE(d.Aborted);
        ASSERT_EQ(d.Bitmap.GetWidth(), 1);
        ASSERT_EQ(d.Bitmap.GetHeight(), t.height);
        for (int32_t y : {1000, t.height / 2, t.height - 1}) {
            EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, y)) << "row " << y;
        }
    }
}

// A file with less than one row of data is no picture: the bitmap stays as it was, and memory
// follows the data, not the header's size, even where the header's picture would fit the budget.
TEST(NetpbmReader, RefusalsLeaveTheBitmapAsItWas)
{
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/pxm/";
    const struct
    {
        const char* name;
        std::string bytes;
        Reader reader;
    } cases[] = {
        {"P6 header alone", kvtest::TempFolder::Read(corpus + "ppm-16000-by-16000-header-only.ppm"),
         Reader::Pxm},
        {"P2 with no sample in its first row",
         kvtest::TempFolder::Read(corpus + "pgm-plain-garbage-for-first-row.pgm"), Reader::Pxm},
        {"P1 cut in the first row", "P1 3 2\n01", Reader::Pxm},
        {"P3 cut in the first row", "P3 2 1 255\n1 2 3 4 5", Reader::Pxm},
        {"P4 header alone", "P4 9 2\n\x01", Reader::Pxm},
        {"P5 cut in the first row", "P5 3 2 255\n\x01\x02", Reader::Pxm},
        {"P5 of two-byte samples cut in the first row", "P5 2 2 1023\n\x01\x02\x03", Reader::Pxm},
        {"WBMP header alone", kvtest::TempFolder::Read(corpus + "wbmp-16384-by-16384-header-only.wbmp"),
         Reader::Wbmp},
        {"WBMP cut in the first row", std::string("\0\0\x10\x02\xff", 5), Reader::Wbmp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        Decoded d;
        EXPECT_TRUE(kvtest::RefusedKeepingBitmap(d.Bitmap, d.Aborted, [&] { Decode(c.bytes, d, c.reader); }));
    }
}

// A standard 200 x 150 WBMP cut short at any length fails; read with single-byte sizes, its
// header would say 129 x 72, which only a cut of exactly that picture's length can be taken for.
TEST(Wbmp, CutFilesFailAtEveryLength)
{
    ASSERT_TRUE(kvtest::Installed({GoPhoto, "pbmtowbmp"}));
    const std::string wbmp = kvtest::ToolOutput("pngtopnm " + GoPhoto +
                                                " | pamscale -width 200 -height 150 | ppmtopgm | pgmtopbm "
                                                "-threshold | pbmtowbmp");
    ASSERT_EQ(wbmp.size(), size_t(6 + 150 * 25));
    const size_t singleByteLength = 4 + 72 * 17;
    int32_t misread = 0;
    for (size_t length = 6; length < wbmp.size(); ++length) {
        Decoded d;
        Decode(wbmp.substr(0, length), d, Reader::Wbmp);
        if (!d.Aborted) {
            ++misread;
            EXPECT_EQ(length, singleByteLength);
            continue;
        }
        EXPECT_EQ(d.Bitmap.GetWidth(), length < 6 + 25 ? 0 : 200) << length;
    }
    EXPECT_LE(misread, 1);
}
