// The TIFF writer: every compression and depth read back by libtiff's tools, what the writer
// settles a page to, inserted pages, and offsets that count from the TIFF's own header.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/tif_tags_reader.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using namespace kvtifftest;

// A photo-like kv24RGB picture: smooth gradients, every pixel different from its neighbours.
void FillPhoto(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const double wave = std::sin(x / 9.0) * std::cos(y / 13.0);
            bitmap.SetPixels_kv24RGB(
                x, y, TRGB{uint8_t(x * 2 + y * 2), uint8_t(128 + 60 * wave), uint8_t(200 - x - y * 2)});
        }
    }
}

// A bilevel page: black text-like blocks on white.
void FillPage(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv1g);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const bool ink = ((x / 3 + y / 5) % 7 == 0) || (y % 17 < 2 && x > 10 && x < width - 10);
            bitmap.SetPixels_kv1g(x, y, !ink);
        }
    }
}

void FillGrey(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t v = uint8_t((x * 3 + y * 2) % 256);
            bitmap.SetPixels_kv24RGB(x, y, TRGB{v, v, v});
        }
    }
}

// At most 12 colours, so that a palette holds them exactly.
void FillFewColours(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const int32_t k = (x / 7 + y / 5) % 12;
            bitmap.SetPixels_kv24RGB(x, y, TRGB{uint8_t(k * 20), uint8_t(255 - k * 20), uint8_t(k * 7)});
        }
    }
}

void Plug(TIOParamsVals& params)
{
    params.TIFF_LZWCompress = Tiflzw::TIFFLZWCompress;
    params.TIFF_LZWDecompress = Tiflzw::TIFFLZWDecompress;
}

bool Write(TKVBitmap& bitmap, TIOParamsVals& params, TStream& stream)
{
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Tiffilt::TIFFWriteStream(stream, false, &bitmap, params, progress);
    return !aborting;
}

bool WriteFile(TKVBitmap& bitmap, TIOParamsVals& params, const std::string& fileName)
{
    TFileStream file(fileName, fmCreate);
    return Write(bitmap, params, file);
}

TEST(TiffWriter, EveryCompressionAndDepthReadsBackThroughLibtiff)
{
    kvtest::TempFolder folder;
    enum TPicture
    {
        Photo,
        Page,
        Grey,
        Few
    };
    const struct
    {
        const char* Name;
        TPicture Picture;
        TIOTIFFCompression Compression;
        int32_t Bits, Samples;
        TIOTIFFPhotometInterpret Photometric;
        int32_t Tolerance; // against the picture written
    } cases[] = {
        {"rgb-none", Photo, ioTIFF_UNCOMPRESSED, 8, 3, ioTIFF_RGB, 0},
        {"rgb-lzw", Photo, ioTIFF_LZW, 8, 3, ioTIFF_RGB, 0},
        {"rgb-packbits", Photo, ioTIFF_PACKBITS, 8, 3, ioTIFF_RGB, 0},
        {"rgb-jpeg", Photo, ioTIFF_JPEG, 8, 3, ioTIFF_YCBCR, 40},
        {"cmyk", Photo, ioTIFF_LZW, 8, 4, ioTIFF_CMYK, 0},
        {"bw-none", Page, ioTIFF_UNCOMPRESSED, 1, 1, ioTIFF_BLACKISZERO, 0},
        {"bw-lzw", Page, ioTIFF_LZW, 1, 1, ioTIFF_BLACKISZERO, 0},
        {"bw-packbits", Page, ioTIFF_PACKBITS, 1, 1, ioTIFF_WHITEISZERO, 0},
        {"bw-huffman", Page, ioTIFF_CCITT1D, 1, 1, ioTIFF_WHITEISZERO, 0},
        {"bw-g3", Page, ioTIFF_G3FAX1D, 1, 1, ioTIFF_WHITEISZERO, 0},
        {"bw-g3-2d", Page, ioTIFF_G3FAX2D, 1, 1, ioTIFF_WHITEISZERO, 0},
        {"bw-g4", Page, ioTIFF_G4FAX, 1, 1, ioTIFF_WHITEISZERO, 0},
        {"bw-jpeg", Page, ioTIFF_JPEG, 1, 1, ioTIFF_BLACKISZERO, 80},
        {"grey-lzw", Grey, ioTIFF_LZW, 8, 1, ioTIFF_BLACKISZERO, 0},
        {"grey-16", Grey, ioTIFF_UNCOMPRESSED, 16, 1, ioTIFF_BLACKISZERO, 0},
        {"palette-8", Few, ioTIFF_PACKBITS, 8, 1, ioTIFF_RGBPALETTE, 0},
        {"palette-4", Few, ioTIFF_LZW, 4, 1, ioTIFF_RGBPALETTE, 0},
        {"palette-2", Few, ioTIFF_UNCOMPRESSED, 2, 1, ioTIFF_RGBPALETTE, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TKVBitmap picture;
        switch (c.Picture) {
        case Photo:
            FillPhoto(picture, 61, 43);
            break;
        case Page:
            FillPage(picture, 203, 57);
            break;
        case Grey:
            FillGrey(picture, 61, 43);
            break;
        case Few:
            FillFewColours(picture, 61, 43);
            break;
        }
        TIOParamsVals params;
        Plug(params);
        params.TIFF_Compression = c.Compression;
        params.BitsPerSample = c.Bits;
        params.SamplesPerPixel = c.Samples;
        params.TIFF_PhotometInterpret = c.Photometric;
        const std::string file = folder.File(std::string(c.Name) + ".tif");
        ASSERT_TRUE(WriteFile(picture, params, file));

        int status = -1;
        const std::string check = Tool("tiffinfo -D " + file + " 2>&1 >/dev/null", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(check, "");
        TTiffRead read;
        ASSERT_TRUE(ReadTiffFile(file, read));
        const TRgbImage ours = RgbOf(read.Bitmap);
        EXPECT_EQ(MaxDifference(ours, Tiff2Rgba(file)), 0);
        EXPECT_LE(MaxDifference(ours, RgbOf(picture)), c.Tolerance);
    }
}

struct TWritten
{
    TMemoryStream Stream;
    TIOParamsVals Params;
    bool Ok = false;
};

// Writes the picture with the settings and keeps the stream and the corrected record.
void WriteWith(TKVBitmap& picture, TWritten& out, TIOTIFFCompression compression, int32_t bits,
               int32_t samples, TIOTIFFPhotometInterpret photometric = ioTIFF_RGB, bool lzwCoder = true)
{
    if (lzwCoder) {
        Plug(out.Params);
    }
    out.Params.TIFF_Compression = compression;
    out.Params.BitsPerSample = bits;
    out.Params.SamplesPerPixel = samples;
    out.Params.TIFF_PhotometInterpret = photometric;
    out.Ok = Write(picture, out.Params, out.Stream);
    out.Stream.SetPosition(0);
}

// Pictures of two colours: a 1-bit palette that is not black and white.
void FillTwoColours(TKVBitmap& bitmap, int32_t width, int32_t height, const TRGB& a, const TRGB& b)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            bitmap.SetPixels_kv24RGB(x, y, (x / 5 + y / 3) % 3 == 0 ? a : b);
        }
    }
}

// Every layout a reader leaves (the bitmap and the depth it reports) saved with the default
// settings and the lossless compressions reads back in ImageMagick as the very same pixels.
TEST(TiffWriter, EveryLayoutTheReadersMakeReadsBackUnchanged)
{
    kvtest::TempFolder folder;
    const auto magick = [](const std::string& f) { return ConvertToPnm("convert " + f + " -depth 8 ppm:-"); };
    const TRGB red{0, 0, 255}, blue{255, 0, 0}, grey{128, 128, 128}, black{0, 0, 0};
    TKVBitmap page, redBlue, blackGrey, oneColour, few, greys, photo;
    FillPage(page, 203, 57);
    FillTwoColours(redBlue, 61, 43, red, blue);
    FillTwoColours(blackGrey, 61, 43, black, grey);
    FillTwoColours(oneColour, 61, 43, red, red);
    FillFewColours(few, 61, 43);
    FillGrey(greys, 61, 43);
    FillPhoto(photo, 61, 43);
    const struct
    {
        const char* Name;
        TKVBitmap* Picture;
        int32_t Bits, Samples;
    } layouts[] = {
        {"bilevel", &page, 1, 1},         {"red-blue", &redBlue, 1, 1}, {"black-grey", &blackGrey, 1, 1},
        {"one-colour", &oneColour, 1, 1}, {"palette-4", &few, 4, 1},    {"palette-8", &few, 8, 1},
        {"grey-8", &greys, 8, 1},         {"grey-16", &greys, 16, 1},   {"rgb-5", &photo, 5, 3},
        {"rgb-8", &photo, 8, 3},          {"rgb-16", &photo, 16, 3},    {"rgba", &photo, 8, 4},
    };
    for (const auto& layout : layouts) {
        for (const TIOTIFFCompression compression : {ioTIFF_UNCOMPRESSED, ioTIFF_LZW, ioTIFF_PACKBITS}) {
            const std::string name = std::string(layout.Name) + "-" + std::to_string(compression);
            SCOPED_TRACE(name);
            TWritten written;
            WriteWith(*layout.Picture, written, compression, layout.Bits, layout.Samples);
            ASSERT_TRUE(written.Ok);
            const std::string file = folder.File(name + ".tif");
            written.Stream.SaveToFile(file);
            EXPECT_EQ(Tool("tiffinfo -D " + file + " 2>&1 >/dev/null"), "");
            EXPECT_EQ(MaxDifference(magick(file), RgbOf(*layout.Picture)), 0);
        }
    }

    // A 1-bit BMP of red and blue, as ImageMagick writes it and our reader reads it.
    const std::string bmp = folder.File("red-blue.bmp");
    const std::string draw =
        "convert -size 40x30 xc:red -fill blue -draw 'rectangle 5,5 20,20' -type palette";
    ASSERT_EQ(kvtest::ToolExitCode(draw + " BMP3:" + bmp), 0);
    TKVBitmap read;
    TIOParamsVals params;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    TFileStream in(bmp, fmOpenRead);
    Bmpfilt::BMPReadStream(in, read, 0, params, progress, false, false);
    ASSERT_FALSE(aborting);
    ASSERT_EQ(params.BitsPerSample, 1);
    ASSERT_TRUE(WriteFile(read, params, folder.File("from-bmp.tif")));
    EXPECT_EQ(MaxDifference(magick(folder.File("from-bmp.tif")), magick(bmp)), 0);
    EXPECT_EQ(params.TIFF_PhotometInterpret, ioTIFF_RGBPALETTE);
}

TEST(TiffWriter, SettlesWhatAPictureIsWrittenAs)
{
    TKVBitmap photo, page, grey;
    FillPhoto(photo, 20, 10);
    FillPage(page, 20, 10);
    FillGrey(grey, 20, 10);
    const struct
    {
        const char* Name;
        TKVBitmap* Picture;
        TIOTIFFCompression Compression;
        int32_t Bits, Samples;
        TIOTIFFPhotometInterpret Photometric;
        bool Coder;
        int32_t WrittenCompression, WrittenPhotometric, WrittenBits, WrittenSamples, Predictor;
    } cases[] = {
        // A colour picture cannot be a fax page: it stays uncompressed colour.
        {"rgb-as-g4", &photo, ioTIFF_G4FAX, 8, 3, ioTIFF_RGB, true, 1, 2, 8, 3, 0},
        {"grey-lzw", &grey, ioTIFF_LZW, 8, 1, ioTIFF_RGB, true, 5, 1, 8, 1, 0},
        {"rgb-lzw", &photo, ioTIFF_LZW, 8, 3, ioTIFF_RGB, true, 5, 2, 8, 3, 2},
        {"lzw-without-coder", &photo, ioTIFF_LZW, 8, 3, ioTIFF_RGB, false, 1, 2, 8, 3, 0},
        // A bilevel page is WhiteIsZero or BlackIsZero whatever colour model was asked for.
        {"bw-palette", &page, ioTIFF_UNCOMPRESSED, 1, 1, ioTIFF_RGBPALETTE, true, 1, 1, 1, 1, 0},
        {"bw-cmyk", &page, ioTIFF_PACKBITS, 1, 1, ioTIFF_CMYK, true, 32773, 1, 1, 1, 0},
        // JPEG takes the colour picture, also of a bilevel page.
        {"bw-jpeg", &page, ioTIFF_JPEG, 1, 1, ioTIFF_BLACKISZERO, true, 7, 6, 8, 3, 0},
        {"rgb16", &photo, ioTIFF_UNCOMPRESSED, 16, 3, ioTIFF_RGB, true, 1, 2, 8, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWritten written;
        WriteWith(*c.Picture, written, c.Compression, c.Bits, c.Samples, c.Photometric, c.Coder);
        ASSERT_TRUE(written.Ok);
        TKVTifTagsReader tags(written.Stream, 0);
        EXPECT_EQ(tags.GetInteger(259), c.WrittenCompression);
        EXPECT_EQ(tags.GetInteger(262), c.WrittenPhotometric);
        EXPECT_EQ(tags.GetInteger(258), c.WrittenBits);
        EXPECT_EQ(tags.GetInteger(277), c.WrittenSamples);
        EXPECT_EQ(tags.GetInteger(317), c.Predictor);
        EXPECT_EQ(written.Params.BitsPerSample, c.WrittenBits);
        EXPECT_EQ(written.Params.SamplesPerPixel, c.WrittenSamples);
        // A small page is one strip, given by single LONGs; no page number when none is set.
        EXPECT_EQ(tags.TagLength(273), 1);
        EXPECT_FALSE(tags.TagExists(297));
    }

    // IPTC data of any length goes in as whole LONGs and comes back as it was.
    TWritten iptc;
    iptc.Params.IPTC_Info.AddStringItem(2, 120, "odd");
    WriteWith(page, iptc, ioTIFF_G4FAX, 1, 1);
    TKVTifTagsReader iptcTags(iptc.Stream, 0);
    EXPECT_EQ(iptcTags.GetRawData(33723).size() % 4, 0u);
    EXPECT_EQ(iptcTags.TagLength(33723) * 4, int32_t(iptcTags.GetRawData(33723).size()));
    iptc.Stream.SetPosition(0);
    TTiffRead iptcRead;
    ReadTiff(iptc.Stream, iptcRead);
    const int32_t caption = iptcRead.Params.IPTC_Info.IndexOf(2, 120);
    ASSERT_GE(caption, 0);
    EXPECT_EQ(iptcRead.Params.IPTC_Info.GetStrings(caption), "odd");

    // The colour map has exactly 3 x 2^BitsPerSample values.
    TKVBitmap few;
    FillFewColours(few, 20, 10);
    TWritten palette;
    WriteWith(few, palette, ioTIFF_UNCOMPRESSED, 4, 1, ioTIFF_RGBPALETTE);
    TKVTifTagsReader paletteTags(palette.Stream, 0);
    EXPECT_EQ(paletteTags.TagLength(320), 3 * 16);

    // More rows than a SHORT holds: RowsPerStrip is a LONG.
    TKVBitmap tall;
    tall.Allocate(1, 70000, kv1g);
    TWritten column;
    WriteWith(tall, column, ioTIFF_UNCOMPRESSED, 1, 1);
    TKVTifTagsReader columnTags(column.Stream, 0);
    EXPECT_EQ(columnTags.GetInteger(278), 70000);
    EXPECT_EQ(columnTags.GetInteger(257), 70000);
}

TEST(TiffWriter, InsertsPagesBeforeTheIndexOrAfterTheLast)
{
    TKVBitmap first, second, third;
    FillGrey(first, 8, 8);
    FillPhoto(second, 9, 9);
    FillPage(third, 10, 10);
    TMemoryStream file;
    TIOParamsVals params;
    Plug(params);
    ASSERT_TRUE(Write(first, params, file));
    auto insert = [&](TKVBitmap& page, int32_t index) {
        file.SetPosition(0);
        params.TIFF_ImageIndex = index;
        params.BitsPerSample = 8;
        params.SamplesPerPixel = 3;
        bool aborting = false;
        TProgressRec progress = kvtest::ProgressInto(aborting);
        const int32_t pages = Tiffilt::TIFFWriteStream(file, true, &page, params, progress);
        EXPECT_FALSE(aborting);
        return pages;
    };
    EXPECT_EQ(insert(second, 1), 2); // index = page count: appended
    EXPECT_EQ(insert(third, 0), 3);  // index 0: the new first page
    const int32_t widths[] = {10, 8, 9};
    for (int32_t page = 0; page < 3; ++page) {
        file.SetPosition(0);
        TTiffRead read;
        ReadTiff(file, read, page);
        EXPECT_EQ(read.Pages, 3);
        EXPECT_EQ(read.Bitmap.GetWidth(), widths[page]);
    }

    // Pages go only into little-endian files.
    TMemoryStream big;
    const Bytes motorola = TTiffBuilder(false).Page(1, 1, 1, 8, 1, {0}).Build();
    kvtest::FillStream(big, motorola);
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    EXPECT_EQ(Tiffilt::TIFFWriteStream(big, true, &first, params, progress), 0);
    EXPECT_TRUE(aborting);
}

// A save stopped halfway by its progress event writes no directory, whatever the compression,
// and frees the encoder of the strip it was in (the leak checker tells).
TEST(TiffWriter, AStopHalfwayWritesNoDirectoryAndFreesTheEncoder)
{
    TKVBitmap photo;
    FillPhoto(photo, 64, 48);
    for (const TIOTIFFCompression compression : {ioTIFF_UNCOMPRESSED, ioTIFF_LZW, ioTIFF_PACKBITS}) {
        SCOPED_TRACE(compression);
        TIOParamsVals params;
        Plug(params);
        params.TIFF_Compression = compression;
        TMemoryStream stream;
        bool aborting = false;
        TProgressRec progress = kvtest::ProgressInto(aborting);
        progress.OnProgress = [&](TObject*, int32_t percent) { aborting = aborting || percent >= 50; };
        Tiffilt::TIFFWriteStream(stream, false, &photo, params, progress);
        EXPECT_TRUE(aborting);
        TTiffRead read;
        stream.SetPosition(0);
        ReadTiff(stream, read);
        EXPECT_EQ(read.Pages, 0);
    }
}

// A TIFF written after other data is a TIFF of its own: its offsets count from its header.
TEST(TiffWriter, OffsetsCountFromTheTiffHeader)
{
    kvtest::TempFolder folder;
    TKVBitmap photo;
    FillPhoto(photo, 30, 20);
    TMemoryStream stream;
    const Bytes junk(1001, 0x5A);
    stream.WriteBuffer(junk.data(), int64_t(junk.size()));
    TIOParamsVals params;
    Plug(params);
    params.TIFF_Compression = ioTIFF_LZW;
    ASSERT_TRUE(Write(photo, params, stream));
    const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
    kvtifftest::WriteFile(folder.File("alone.tif"), Bytes(bytes + junk.size(), bytes + stream.Size()));
    EXPECT_EQ(MaxDifference(Tiff2Rgba(folder.File("alone.tif")), RgbOf(photo)), 0);
    stream.SetPosition(int64_t(junk.size()));
    TTiffRead read;
    ReadTiff(stream, read);
    EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), RgbOf(photo)), 0);
}

} // namespace
