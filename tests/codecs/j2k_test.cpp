// The JPEG 2000 codec: opj_compress's files decode as opj_decompress decodes them, ours decode
// back exactly and show their progression and colour box to opj_dump and exiftool, and broken
// or unusual code streams end cleanly.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio_globals.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/j2k_decoding.h"
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string Rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";

using Decoded = kvtest::J2kDecoded;
using kvtest::DecodeJ2k;

std::string Encode(TKVBitmap& bitmap, TIOParamsVals& params, int32_t format, bool* aborted = nullptr)
{
    TMemoryStream stream;
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    Kvj2000::J2KWriteStream(stream, bitmap, params, progress, format);
    if (aborted != nullptr) {
        *aborted = aborting;
    }
    return std::string(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
}

::testing::AssertionResult HaveTools()
{
    return kvtest::Installed({Rose, "opj_compress", "opj_decompress", "opj_dump", "exiftool"});
}

// The first SIZ component's Ssiz byte (sign bit and precision - 1) of a code stream.
size_t SsizOffset(const std::string& codeStream)
{
    return codeStream.find("\xff\x51") + 2 + 2 + 2 + 32 + 2;
}

// The code stream or JP2 file with SIZ (and ihdr) declaring width x height in one-pixel tiles.
std::string WithOnePixelTiles(std::string bytes, uint32_t width, uint32_t height)
{
    auto put = [&bytes](size_t at, uint32_t value) {
        for (size_t i = 0; i < 4; ++i) {
            bytes[at + i] = char(value >> (24 - 8 * i));
        }
    };
    const size_t siz = bytes.find("\xff\x51") + 6, ihdr = bytes.find("ihdr");
    const uint32_t fields[8] = {width, height, 0, 0, 1, 1, 0, 0};
    for (size_t i = 0; i < 8; ++i) {
        put(siz + 4 * i, fields[i]);
    }
    if (ihdr != std::string::npos) {
        put(ihdr + 4, height);
        put(ihdr + 8, width);
    }
    return bytes;
}

} // namespace

// Files of opj_compress: RGB JP2, grey and 12-bit code streams, subsampled components and small
// tiles, each equal to the top 8 bits of what opj_decompress makes of it. Among them 64 components
// of 64 x 64 pixels, 62 of them a sample for each 32 x 32, in tiles of 4 x 4 and 2 x 2: most of
// their tile-components hold no sample, and so no packet. Subsampled pictures in tiles of odd
// sizes have pixels whose sample lies in the tile before.
TEST(J2kReader, DecodesAsOpjDecompressDoes)
{
    ASSERT_TRUE(HaveTools());
    kvtest::TempFolder folder;
    const std::string ppm = folder.Write("rose.ppm", kvtest::TempFolder::Read(Rose));
    const std::string pgm = folder.Write("rose.pgm", kvtest::ToolOutput("ppmtopgm " + ppm));
    const std::string deep = folder.Write("rose12.ppm", kvtest::ToolOutput("pamdepth 4095 " + ppm));
    std::string samples(2 * 64 * 64 + 62 * 2 * 2, '\0');
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = char(i * 7 + i / 64 * 13);
    }
    const std::string raw = folder.Write("components.raw", samples);
    std::string steps = "64,64,64,8,u@1x1:1x1";
    for (int32_t c = 2; c < 64; ++c) {
        steps += ":32x32";
    }
    const struct
    {
        const char* name;
        std::string input, options;
        int32_t bits, samples;
    } cases[] = {
        {"a.jp2", ppm, "", 8, 3},
        {"b.j2k", pgm, "", 8, 1},
        {"c.j2k", deep, "", 12, 3},
        {"d.j2k", ppm, "-s 2,2", 8, 3},
        {"e.jp2", ppm, "-r 20 -n 3", 8, 3},
        {"f.j2k", ppm, "-t 8,8 -n 1", 8, 3},
        {"g.jp2", pgm, "-t 16,16 -n 2", 8, 1},
        {"h.j2k", raw, "-F " + steps + " -t 4,4 -n 1", 8, 3},
        {"i.j2k", raw, "-F " + steps + " -t 2,2 -n 1", 8, 3},
        {"j.j2k", ppm, "-s 2,2 -t 33,17 -n 2", 8, 3},
        {"k.jp2", pgm, "-s 3,2 -t 31,23 -n 2", 8, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = folder.File(c.name);
        ASSERT_FALSE(
            kvtest::ToolOutput("opj_compress -i " + c.input + " -o " + file + " " + c.options).empty());
        const std::string decoded = folder.File(std::string(c.name) + (c.samples == 1 ? ".pgm" : ".ppm"));
        ASSERT_FALSE(kvtest::ToolOutput("opj_decompress -upsample -i " + file + " -o " + decoded).empty());
        const kvtest::TPnmImage theirs = kvtest::ParsePnm(kvtest::TempFolder::Read(decoded));
        kvtest::TPnmImage top8 = theirs;
        for (uint16_t& sample : top8.Samples) {
            sample = uint16_t(sample >> (c.bits - 8));
        }
        Decoded d;
        DecodeJ2k(kvtest::TempFolder::Read(file), d);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Params.BitsPerSample, c.bits);
        EXPECT_EQ(d.Params.SamplesPerPixel, c.samples);
        EXPECT_EQ(kvtest::MaxDifference(top8, kvtest::BitmapSamples(d.Bitmap)), 0);
    }
}

// Our default is lossless: the picture comes back exactly, through opj_decompress too. The
// progression and the colour box are what the parameters asked for.
TEST(J2kWriter, WritesLosslessFilesTheToolsRead)
{
    ASSERT_TRUE(HaveTools());
    TKVBitmap rose;
    const kvtest::TPnmImage original = kvtest::ParsePnm(kvtest::TempFolder::Read(Rose));
    kvtest::PnmToBitmap(original, rose);
    kvtest::TempFolder folder;
    const struct
    {
        const char* name;
        int32_t format;
        TIOJ2000ColorSpace colourSpace;
        TIOJ2000ScalableBy scalable;
        const char* colourBox;
        const char* progression;
    } cases[] = {
        {"a.jp2", 0, ioJ2000_RGB, ioJ2000_Rate, "sRGB", "prg=0\n"},
        {"b.jp2", 0, ioJ2000_GRAYLEV, ioJ2000_Resolution, "Grayscale", "prg=0x1\n"},
        {"c.j2k", 1, ioJ2000_YCbCr, ioJ2000_Rate, nullptr, "prg=0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        params.J2000_ColorSpace = c.colourSpace;
        params.J2000_ScalableBy = c.scalable;
        bool aborted = true;
        const std::string bytes = Encode(rose, params, c.format, &aborted);
        EXPECT_FALSE(aborted);
        const std::string file = folder.Write(c.name, bytes);
        Decoded ours;
        DecodeJ2k(bytes, ours);
        ASSERT_FALSE(ours.Aborted);
        const bool grey = c.colourSpace == ioJ2000_GRAYLEV;
        const std::string decoded = folder.File(std::string(c.name) + (grey ? ".pgm" : ".ppm"));
        ASSERT_FALSE(kvtest::ToolOutput("opj_decompress -i " + file + " -o " + decoded).empty());
        const kvtest::TPnmImage theirs = kvtest::ParsePnm(kvtest::TempFolder::Read(decoded));
        EXPECT_EQ(kvtest::MaxDifference(theirs, kvtest::BitmapSamples(ours.Bitmap)), 0);
        if (!grey) {
            EXPECT_EQ(kvtest::MaxDifference(original, kvtest::BitmapSamples(ours.Bitmap)), 0);
        } else {
            const TRGB p = rose.GetPixels_kv24RGB(10, 20);
            EXPECT_EQ(theirs.At(10, 20, 0), (p.r * 21 + p.g * 71 + p.b * 8) / 100);
        }
        EXPECT_NE(kvtest::ToolOutput("opj_dump -i " + file).find(c.progression), std::string::npos);
        if (c.colourBox != nullptr) {
            EXPECT_NE(kvtest::ToolOutput("exiftool -ColorSpace " + file).find(c.colourBox),
                      std::string::npos);
        }
    }

    // A rate below 1 keeps that share of the data; 12 bits keep the samples' precision.
    TIOParamsVals lossy;
    lossy.J2000_Rate = 0.05;
    const std::string small = Encode(rose, lossy, 1);
    TIOParamsVals exact;
    const std::string whole = Encode(rose, exact, 1);
    EXPECT_LT(small.size() * 5, whole.size());
    Decoded approximate;
    DecodeJ2k(small, approximate);
    EXPECT_FALSE(approximate.Aborted);
    EXPECT_EQ(approximate.Bitmap.GetWidth(), rose.GetWidth());
    TIOParamsVals twelve;
    twelve.BitsPerSample = 12;
    const std::string deep = folder.Write("deep.j2k", Encode(rose, twelve, 1));
    EXPECT_NE(kvtest::ToolOutput("opj_dump -i " + deep).find("prec=12"), std::string::npos);
    Decoded deepBack;
    DecodeJ2k(kvtest::TempFolder::Read(deep), deepBack);
    EXPECT_EQ(kvtest::MaxDifference(original, kvtest::BitmapSamples(deepBack.Bitmap)), 0);

    // Black and white pictures are one component of one bit.
    TKVBitmap bits;
    bits.Allocate(20, 3, kv1g);
    bits.Fill(0);
    bits.SetPixels_kv1g(19, 2, true);
    TIOParamsVals bilevel;
    Decoded bitsBack;
    DecodeJ2k(Encode(bits, bilevel, 0), bitsBack);
    ASSERT_EQ(bitsBack.Bitmap.GetPixelFormat(), kv1g);
    EXPECT_TRUE(bitsBack.Bitmap.GetPixels_kv1g(19, 2));
    EXPECT_FALSE(bitsBack.Bitmap.GetPixels_kv1g(18, 2));
}

TEST(J2kWriter, OptionTextAndTemporaryStream)
{
    const struct
    {
        double rate;
        TIOJ2000ScalableBy scalable;
        const char* text;
    } cases[] = {
        {1.0, ioJ2000_Rate, "rate=1 prg=lrcp"},
        {0.5, ioJ2000_Resolution, "rate=0.5 prg=rlcp"},
        {0.025, ioJ2000_Rate, "rate=0.025 prg=lrcp"},
        {4.0, ioJ2000_Rate, "rate=4 prg=lrcp"},
    };
    for (const auto& c : cases) {
        TIOParamsVals params;
        params.J2000_Rate = c.rate;
        params.J2000_ScalableBy = c.scalable;
        EXPECT_EQ(Kvj2000::J2KOptions(params), c.text);
    }

    // The temporary file lies in the library's folder, created when missing, without a name
    // there, so it goes with its stream or with the process however that ends.
    kvtest::TempFolder folder;
    const std::string saved = Korvaneio::DefTEMPPATH;
    Korvaneio::DefTEMPPATH = folder.File("nested/deeper");
    const std::string nested = folder.File("nested/deeper/");
    {
        TKVTmpStream stream;
        stream.WriteBuffer("abc", 3);
        EXPECT_EQ(stream.Size(), 3);
        stream.SetPosition(1);
        char back[2] = {};
        stream.ReadBuffer(back, 2);
        EXPECT_EQ(std::string(back, 2), "bc");
        EXPECT_TRUE(fs::is_empty(nested));
        EXPECT_EQ(kvtest::UnnamedFilesOpenIn(nested).size(), 1u);
    }
    Korvaneio::DefTEMPPATH = saved;
    EXPECT_TRUE(kvtest::UnnamedFilesOpenIn(nested).empty());
}

// Signed samples are offset into the unsigned range, sYCC turns into RGB; impossible precisions, cut streams
// and streams of neither kind fail; only the headers are read for the parameters.
TEST(J2kReader, SignedSamplesColourBoxesAndBrokenStreams)
{
    TKVBitmap picture;
    picture.Allocate(16, 8, kv24RGB);
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            picture.SetPixels_kv24RGB(x, y, TRGB{uint8_t(x * 16), uint8_t(y * 32), uint8_t(x * y)});
        }
    }
    TIOParamsVals params;
    const std::string stream = Encode(picture, params, 1);
    // Marking the components signed keeps the coded values: the decoder then skips the offset
    // of 128 that the reader puts back.
    std::string signedStream = stream;
    for (size_t c = 0; c < 3; ++c) {
        signedStream[SsizOffset(stream) + 3 * c] = char(0x87);
    }
    Decoded d;
    DecodeJ2k(signedStream, d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(kvtest::MaxDifference(kvtest::BitmapSamples(picture), kvtest::BitmapSamples(d.Bitmap)), 0);

    // A colour box saying sYCC makes the three components luma and chroma.
    TKVBitmap ycc;
    ycc.Allocate(2, 1, kv24RGB);
    ycc.SetPixels_kv24RGB(0, 0, TRGB{128, 128, 100});
    ycc.SetPixels_kv24RGB(1, 0, TRGB{228, 128, 100});
    std::string yccFile = Encode(ycc, params, 0);
    const size_t colr = yccFile.find("colr");
    ASSERT_NE(colr, std::string::npos);
    ASSERT_EQ(yccFile[colr + 10], 16);
    yccFile[colr + 10] = 18;
    Decoded converted;
    DecodeJ2k(yccFile, converted);
    ASSERT_FALSE(converted.Aborted);
    EXPECT_EQ(converted.Params.J2000_ColorSpace, ioJ2000_YCbCr);
    EXPECT_EQ(converted.Bitmap.GetPixels_kv24RGB(0, 0), (TRGB{100, 100, 100}));
    EXPECT_EQ(converted.Bitmap.GetPixels_kv24RGB(1, 0), (TRGB{100, 29, 240}));

    std::string cmyk = yccFile, eycc = yccFile;
    cmyk[colr + 10] = 12;
    eycc[colr + 10] = 24;

    std::string wide = stream;
    wide[SsizOffset(stream)] = char(33); // 34 bits
    const std::string jp2 = Encode(picture, params, 0);
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"34-bit samples", wide},
        {"CMYK colour box", cmyk},
        {"e-YCC colour box", eycc},
        {"code stream cut", stream.substr(0, stream.size() / 2)},
        {"JP2 cut in its boxes", jp2.substr(0, 60)},
        {"neither kind", "\xff\xd8\xff\xe0" + stream},
        {"signature only", jp2.substr(0, 12)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded broken;
        DecodeJ2k(c.bytes, broken);
        EXPECT_TRUE(broken.Aborted);
    }

    Decoded header;
    header.Bitmap.Allocate(2, 2, kv24RGB);
    DecodeJ2k(jp2, header, true);
    EXPECT_FALSE(header.Aborted);
    EXPECT_EQ(header.Params.Width, 16);
    EXPECT_EQ(header.Params.Height, 8);
    EXPECT_EQ(header.Params.SamplesPerPixel, 3);
    EXPECT_EQ(header.Bitmap.GetWidth(), 2);
}

// Before the library sizes its records by SIZ's counts, counts whose records pass the budget, or
// that the stream has no room for (14 bytes a tile, one a tile-component with samples), are
// refused: memory follows the data, not the declared counts. 20,000 tiles of 14 components have
// room in 280 KB of zeros, but their records would take 500 MB.
TEST(J2kReader, TileCountsPastTheBudgetOrTheStreamsRoomAreRefused)
{
    ASSERT_TRUE(HaveTools());
    kvtest::TempFolder folder;
    const std::string ppm = folder.Write("rose.ppm", kvtest::TempFolder::Read(Rose));
    std::vector<std::array<std::string, 3>> cases; // name, bytes, what opj_dump finds declared
    for (const std::string name : {"rose.j2k", "rose.jp2"}) {
        ASSERT_FALSE(kvtest::ToolOutput("opj_compress -i " + ppm + " -o " + folder.File(name)).empty());
        cases.push_back({name, WithOnePixelTiles(kvtest::TempFolder::Read(folder.File(name)), 256, 171),
                         "tw=256, th=171"});
    }
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/j2k/";
    cases.push_back({"components.j2k",
                     kvtest::TempFolder::Read(corpus + "tile-components-364000-in-8-kb.j2k"),
                     "numcomps=1300"});
    cases.push_back({"padded.j2k",
                     kvtest::TempFolder::Read(corpus + "tiles-20000-of-14-components-padded-to-280-kb.j2k"),
                     "tw=20000, th=1"});
    for (const auto& [name, bytes, declared] : cases) {
        SCOPED_TRACE(name);
        const std::string dump = kvtest::ToolOutput("opj_dump -i " + folder.Write("declared-" + name, bytes));
        EXPECT_NE(dump.find(declared), std::string::npos);
        for (bool paramsOnly : {true, false}) {
            Decoded d;
            EXPECT_LT(kvtest::ResidentGrowthOf([&] { DecodeJ2k(bytes, d, paramsOnly); }), 64 * 1024);
            EXPECT_TRUE(d.Aborted);
        }
    }
}

// The library reports a multi-component transform asked of one component as an error, skips it
// and decodes the picture right: the picture loads, as opj_decompress decodes it. A transform
// asked of chroma sampled apart makes the library fail: refused.
TEST(J2kReader, WhatTheLibraryDecodesLoadsWhateverItReports)
{
    ASSERT_TRUE(kvtest::Installed({"opj_compress", "opj_decompress"}));
    kvtest::TempFolder folder;
    std::string grey = "P5\n64 48\n65535\n";
    for (int32_t y = 0; y < 48; ++y) {
        for (int32_t x = 0; x < 64; ++x) {
            const uint32_t v = uint32_t(x * 900 + y * 300) & 0xFFFF;
            grey += {char(v >> 8), char(v)};
        }
    }
    const std::string pgm = folder.Write("grey16.pgm", grey), file = folder.File("grey16.j2k");
    ASSERT_FALSE(kvtest::ToolOutput("opj_compress -i " + pgm + " -o " + file).empty());
    const std::string chroma = kvtest::CompressPlanes(folder, "chroma.j2k", 64, 48, 2, 1, 0, 0, "");
    ASSERT_FALSE(chroma.empty());
    // The COD segment's transform byte: marker, length, style, progression, two bytes of layers.
    const auto withTransform = [](std::string bytes) {
        bytes[bytes.find("\xFF\x52") + 8] = 1;
        return bytes;
    };

    const std::string transformed = withTransform(kvtest::TempFolder::Read(file));
    const std::string decoded = folder.File("grey16.pgm.out.pgm");
    ASSERT_FALSE(kvtest::ToolOutput("opj_decompress -i " + folder.Write("transformed.j2k", transformed) +
                                    " -o " + decoded)
                     .empty());
    kvtest::TPnmImage theirs = kvtest::ParsePnm(kvtest::TempFolder::Read(decoded));
    ASSERT_TRUE(theirs.Valid());
    for (uint16_t& sample : theirs.Samples) {
        sample = uint16_t(sample >> 8);
    }
    Decoded d;
    DecodeJ2k(transformed, d);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Params.BitsPerSample, 16);
    EXPECT_EQ(kvtest::MaxDifference(theirs, kvtest::BitmapSamples(d.Bitmap)), 0);

    Decoded failed;
    DecodeJ2k(withTransform(chroma), failed);
    EXPECT_TRUE(failed.Aborted);
}
