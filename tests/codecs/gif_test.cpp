// The GIF codec: real files of the GIF test suite, corrupt files and what the reader fills in;
// what the writer and frame editing produce, as standard tools read it.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const fs::path GdkImages = "/usr/libexec/installed-tests/gdk-pixbuf/test-images";
const fs::path GifSuite = GdkImages / "gif-test-suite";

struct Decoded
{
    bool Aborted = false;
    int32_t Frames = 0;
    TKVBitmap Bitmap;
    std::unique_ptr<TKVMask> Alpha;
};

void ReadFrame(TStream& stream, Decoded& out, TIOParamsVals& params, bool paramsOnly = false,
               bool noAlpha = false)
{
    params.GIF_LZWDecompress = Giflzw::GIFLZWDecompress;
    TProgressRec progress = kvtest::ProgressInto(out.Aborted);
    Giffilter::ReadGifStream(stream, out.Bitmap, out.Frames, params, progress, paramsOnly, out.Alpha,
                             noAlpha);
}

void ReadFrame(const fs::path& file, Decoded& out, TIOParamsVals& params)
{
    TMemoryStream stream;
    stream.LoadFromFile(file.string());
    ReadFrame(stream, out, params);
}

TMemoryStream& Load(TMemoryStream& stream, const Bytes& bytes)
{
    stream.Clear();
    kvtest::FillStream(stream, bytes);
    return stream;
}

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The frame as RGBA, taking transparency from the mask.
Bytes Rgba(Decoded& d)
{
    Bytes out;
    for (int32_t y = 0; y < d.Bitmap.GetHeight(); y++)
        for (int32_t x = 0; x < d.Bitmap.GetWidth(); x++) {
            const uint8_t* row = d.Bitmap.GetScanLine(y);
            TRGB c;
            if (d.Bitmap.GetPixelFormat() == kv1g) {
                c = (row[x >> 3] >> (7 - (x & 7))) & 1 ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
            } else {
                c = reinterpret_cast<const TRGB*>(row)[x];
            }
            uint8_t a = d.Alpha ? d.Alpha->GetScanLine(y)[x] : 255;
            if (a == 0)
                c = TRGB{0, 0, 0}; // a transparent pixel's colour does not count
            out.insert(out.end(), {c.r, c.g, c.b, a});
        }
    return out;
}

// A GIF of the suite's configuration: [section] key = value.
std::map<std::string, std::map<std::string, std::string>> ReadConf(const fs::path& path)
{
    std::map<std::string, std::map<std::string, std::string>> conf;
    std::ifstream in(path);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        auto eq = line.find(" = ");
        if (eq != std::string::npos)
            conf[section][line.substr(0, eq)] = line.substr(eq + 3);
    }
    return conf;
}

// Composites the images of a file as a viewer shows them and compares each with the suite's
// expected frame; with oneFrame every image goes into the one expected frame.
void CheckAnimation(const std::string& name, bool oneFrame = false)
{
    auto conf = ReadConf(GifSuite / (name + ".conf"));
    std::vector<std::string> frames;
    std::stringstream list(conf["config"]["frames"]);
    for (std::string f; std::getline(list, f, ',');)
        frames.push_back(f);
    const int32_t width = std::stoi(conf["config"]["width"]), height = std::stoi(conf["config"]["height"]);
    Bytes canvas(size_t(width) * size_t(height) * 4, 0), previous;
    int32_t images = int32_t(frames.size());
    for (int32_t i = 0; i < images; i++) {
        SCOPED_TRACE(testing::Message() << name << " frame " << i);
        TIOParamsVals params;
        params.GIF_ImageIndex = int32_t(i);
        Decoded d;
        ReadFrame(GifSuite / (name + ".gif"), d, params);
        ASSERT_FALSE(d.Aborted);
        if (oneFrame)
            images = d.Frames;
        else
            EXPECT_EQ(d.Frames, images);
        previous = canvas;
        Bytes pixels = Rgba(d);
        for (int32_t y = 0; y < params.Height; y++)
            for (int32_t x = 0; x < params.Width; x++) {
                int32_t cx = params.GIF_XPos + x, cy = params.GIF_YPos + y;
                const uint8_t* p = &pixels[(size_t(y) * size_t(params.Width) + size_t(x)) * 4];
                if (cx < width && cy < height && p[3] == 255)
                    std::copy(p, p + 4, &canvas[(size_t(cy) * size_t(width) + size_t(cx)) * 4]);
            }
        const std::string& frame = frames[oneFrame ? 0 : size_t(i)];
        if (!oneFrame || i == images - 1) {
            EXPECT_EQ(canvas, ReadFile(GifSuite / conf[frame]["pixels"]));
        }
        if (!oneFrame && conf[frame].count("delay")) {
            EXPECT_EQ(params.GIF_DelayTime, std::stoi(conf[frame]["delay"]));
        }
        if (params.GIF_Action == ioGIF_DrawBackground) {
            for (int32_t y = params.GIF_YPos; y < std::min(height, params.GIF_YPos + params.Height); y++)
                for (int32_t x = params.GIF_XPos; x < std::min(width, params.GIF_XPos + params.Width); x++)
                    std::fill_n(&canvas[(size_t(y) * size_t(width) + size_t(x)) * 4], 4, 0);
        } else if (params.GIF_Action == ioGIF_RestorePrev) {
            canvas = previous;
        }
    }
}

::testing::AssertionResult SuiteInstalled()
{
    return kvtest::Installed((GifSuite / "TESTS").string());
}

// A frame (the first by default) as ImageMagick decodes it, RGBA with transparent pixels made
// black; empty when ImageMagick is missing or refuses the file.
Bytes ImageMagickRgba(const fs::path& file, int32_t frame = 0)
{
    int exitCode = -1;
    std::string out = kvtest::RunTool("/usr/bin/convert '" + file.string() + "[" + std::to_string(frame) +
                                          "]' -depth 8 rgba:- 2>/dev/null",
                                      &exitCode);
    Bytes rgba = exitCode == 0 ? Bytes(out.begin(), out.end()) : Bytes{};
    for (size_t i = 0; i + 3 < rgba.size(); i += 4)
        if (rgba[i + 3] == 0)
            std::fill_n(rgba.begin() + std::ptrdiff_t(i), 3, 0);
    return rgba;
}

TEST(GifReader, DecodesTheGoSamplesAsImageMagickDoes)
{
    const fs::path samples = "/usr/share/go-1.19/src/image/testdata";
    ASSERT_TRUE(kvtest::Installed({samples.string(), "convert"}));
    for (const char* name : {"triangle-001.gif", "video-001.gif", "video-001.5bpp.gif",
                             "video-001.interlaced.gif", "video-005.gray.gif"}) {
        SCOPED_TRACE(name);
        TIOParamsVals params;
        Decoded d;
        ReadFrame(samples / name, d, params);
        ASSERT_FALSE(d.Aborted);
        Bytes expected = ImageMagickRgba(samples / name);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(Rgba(d), expected);
    }
}

TEST(GifReader, DecodesTheSuiteFramesAsExpected)
{
    ASSERT_TRUE(SuiteInstalled());
    // Files whose one frame covers the screen: the frame equals the expected picture.
    const char* stills[] = {
        "255-codes",
        "4095-codes",
        "4095-codes-clear",
        "all-blues",
        "all-greens",
        "all-reds",
        "comment",
        "depth1",
        "depth2",
        "depth3",
        "depth4",
        "depth5",
        "depth6",
        "depth7",
        "depth8",
        "disabled-transparent",
        "double-clears",
        "extra-data",
        "extra-pixels",
        "four-colors",
        "gif87a",
        "icc-color-profile",
        "interlace",
        "invalid-background",
        "invalid-transparent",
        "large-codes",
        "large-comment",
        "local-color-table",
        "loop-animexts",
        "loop-buffer",
        "loop-buffer_max",
        "loop-infinite",
        "loop-max",
        "loop-once",
        "many-clears",
        "max-height",
        "max-width",
        "no-clear",
        "no-clear-and-eoi",
        "no-eoi",
        "no-global-color-table",
        "nul-application-extension",
        "nul-comment",
        "transparent",
        "unknown-application-extension",
        "unknown-extension",
        "xmp-data",
        "xmp-data-empty",
        "icc-color-profile-empty",
    };
    for (const char* name : stills) {
        SCOPED_TRACE(name);
        auto conf = ReadConf(GifSuite / (std::string(name) + ".conf"));
        TIOParamsVals params;
        Decoded d;
        ReadFrame(GifSuite / (std::string(name) + ".gif"), d, params);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(params.GIF_Version, conf["config"]["version"]);
        EXPECT_EQ(params.GIF_WinWidth, std::stoi(conf["config"]["width"]));
        EXPECT_EQ(Rgba(d), ReadFile(GifSuite / conf["frame0"]["pixels"]));
    }
}

TEST(GifReader, DecodesTheSuiteAnimations)
{
    ASSERT_TRUE(SuiteInstalled());
    for (const char* name : {"animation", "animation-speed", "animation-no-delays", "animation-zero-delays",
                             "dispose-none", "dispose-keep", "dispose-restore-background", "gif87a-animation",
                             "image-inside-bg", "image-outside-bg", "image-overlap-bg"})
        CheckAnimation(name);
    // Several images make up one frame.
    for (const char* name : {"high-color", "images-combine", "images-overlap", "missing-pixels"})
        CheckAnimation(name, true);
    // Its second image is drawn and then taken away again.
    TIOParamsVals params;
    params.GIF_ImageIndex = 1;
    Decoded d;
    ReadFrame(GifSuite / "dispose-restore-previous.gif", d, params);
    EXPECT_EQ(params.GIF_Action, ioGIF_RestorePrev);
}

TEST(GifReader, KeepsTheSuiteCommentsAsTheyAre)
{
    ASSERT_TRUE(SuiteInstalled());
    struct Case
    {
        const char* name;
        std::vector<std::string> comments;
    };
    const Case cases[] = {{"comment", {"Hello World!"}},
                          {"invalid-utf8-comment", {"\xc3\x83("}},
                          {"plain-text", {}},
                          {"nul-comment", {std::string(1, '\0')}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TIOParamsVals params;
        Decoded d;
        ReadFrame(GifSuite / (std::string(c.name) + ".gif"), d, params);
        EXPECT_FALSE(d.Aborted);
        std::vector<std::string> comments;
        for (int32_t i = 0; i < params.GIF_Comments.Count(); i++)
            comments.push_back(params.GIF_Comments.Strings(i));
        EXPECT_EQ(comments, c.comments);
    }
}

TEST(GifReader, FailsOnTheSuiteFilesWithoutAValidFrame)
{
    ASSERT_TRUE(SuiteInstalled());
    // Either the read fails, or the file holds no frame to read (the caller compares the count).
    // max-codes uses a minimum code size of 11: indexes are bytes, so sizes above 8 are refused.
    for (const char* name : {"max-codes", "invalid-code", "overflow-codes", "overflow-codes-max", "max-size",
                             "zero-size", "zero-width", "zero-height", "image-zero-size", "image-zero-width",
                             "image-zero-height", "no-data"}) {
        SCOPED_TRACE(name);
        TIOParamsVals params;
        Decoded d;
        ReadFrame(GifSuite / (std::string(name) + ".gif"), d, params);
        EXPECT_TRUE(d.Aborted || d.Frames == 0) << d.Frames;
    }
}

TEST(GifReader, CorruptFilesEndCleanly)
{
    ASSERT_TRUE(SuiteInstalled());
    for (const char* name :
         {"fail/bug778584.gif", "fail/bug785973.gif", "fail/hang_114.gif", "fail/invalid.1.gif",
          "fail/invalid.2.gif", "fail/invalid.3.gif", "fail/invalid.4.gif", "fail/overflow-codes-max.gif",
          "fail/overflow-codes.gif"}) {
        SCOPED_TRACE(name);
        TIOParamsVals params;
        Decoded d;
        ReadFrame(GdkImages / name, d, params);
        EXPECT_TRUE(d.Aborted) << d.Frames;
    }
    // Randomly modified: anything but a crash or a sanitizer report.
    TIOParamsVals params;
    Decoded d;
    ReadFrame(GdkImages / "randomly-modified/valid.1.gif", d, params);
}

TEST(GifReader, IndexesBeyondTheTableReadBlack)
{
    ASSERT_TRUE(SuiteInstalled());
    TIOParamsVals params;
    Decoded d;
    ReadFrame(GifSuite / "invalid-colors.gif", d, params);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(Rgba(d), (Bytes{0, 0, 0, 255}));
    // Index 3 of a black and white table (whose background index 5 lies past it too) is black,
    // as ImageMagick reads it, in the one-bit frame as in a colour one.
    ASSERT_TRUE(kvtest::Installed("convert"));
    const Bytes gif{'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0xF0, 5, 0, 0,    0,    0, 255, 255,
                    255, 0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x5C, 0x01, 0, 0x3B};
    kvtest::TempFolder dir;
    const std::string file = dir.Write("index-3.gif", std::string(gif.begin(), gif.end()));
    TIOParamsVals pastTable;
    Decoded past;
    ReadFrame(file, past, pastTable);
    ASSERT_FALSE(past.Aborted);
    EXPECT_EQ(past.Bitmap.GetPixelFormat(), kv1g);
    // ImageMagick warns of the index, which fails its exit status, and draws it black.
    const std::string theirs = kvtest::RunTool("/usr/bin/convert '" + file + "' -depth 8 rgba:- 2>/dev/null");
    EXPECT_EQ(Rgba(past), Bytes(theirs.begin(), theirs.end()));
    EXPECT_EQ(Rgba(past), (Bytes{0, 0, 0, 255}));
}

// ---- Hand-made files.

// A GIF with a 4-entry global table and the given frames, each 3 x 2 and coded by our encoder.
struct FrameSpec
{
    Bytes Indexes;
    int TransparentIndex = -1;
    int Disposal = 0;
    std::string Comment = {};
    bool LocalTable = false;
};

Bytes MakeGif(const std::vector<FrameSpec>& frames, int32_t width = 3, int32_t height = 2)
{
    Bytes gif{'G', 'I', 'F', '8', '9', 'a', uint8_t(width), 0, uint8_t(height), 0, 0x81, 2, 0};
    const Bytes table{0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    gif.insert(gif.end(), table.begin(), table.end());
    for (const auto& f : frames) {
        if (!f.Comment.empty()) {
            gif.insert(gif.end(), {0x21, 0xFE, uint8_t(f.Comment.size())});
            gif.insert(gif.end(), f.Comment.begin(), f.Comment.end());
            gif.push_back(0);
        }
        if (f.TransparentIndex >= 0 || f.Disposal)
            gif.insert(gif.end(),
                       {0x21, 0xF9, 4, uint8_t((f.TransparentIndex >= 0 ? 1 : 0) | f.Disposal << 2), 7, 0,
                        uint8_t(std::max(f.TransparentIndex, 0)), 0});
        gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, uint8_t(width), 0, uint8_t(height), 0,
                               uint8_t(f.LocalTable ? 0x80 : 0)});
        if (f.LocalTable)
            gif.insert(gif.end(), {255, 255, 255, 0, 0, 0});
        TMemoryStream data;
        Giflzw::GIFLZWCompress(data, height, width, false, f.Indexes.data(), 2);
        const auto* p = static_cast<const uint8_t*>(data.Memory());
        gif.insert(gif.end(), p, p + data.Size());
    }
    gif.push_back(0x3B);
    return gif;
}

TEST(GifReader, ReadsTheChosenFrameAndEveryComment)
{
    Bytes gif = MakeGif({{{0, 1, 2, 3, 0, 1}, -1, 0, "first"},
                         {{3, 3, 3, 2, 2, 2}, 2, 2, "second"},
                         {{1, 1, 1, 1, 1, 1}, -1, 0, "third"}});
    TMemoryStream stream;
    TIOParamsVals params;
    params.GIF_ImageIndex = 1;
    Decoded d;
    ReadFrame(Load(stream, gif), d, params);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Frames, 3);
    EXPECT_EQ(params.GIF_ImageCount, 3);
    ASSERT_EQ(params.GIF_Comments.Count(), 3);
    EXPECT_EQ(params.GIF_Comments.Strings(2), "third");
    EXPECT_EQ(params.GIF_DelayTime, 7);
    EXPECT_EQ(params.GIF_Action, ioGIF_DrawBackground);
    EXPECT_TRUE(params.GIF_FlagTranspColor);
    EXPECT_EQ(params.GIF_TranspColor, (TRGB{0, 255, 0}));
    EXPECT_EQ(params.BitsPerSample, 2);
    EXPECT_EQ(params.ColorMapCount, 4);
    EXPECT_EQ(Rgba(d), (Bytes{0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, //
                              0, 0, 0,   0,   0, 0, 0,   0,   0, 0, 0,   0}));
}

// One walk of the file reads each frame (and fails one past the last) as a whole-file read does, on
// the suite's files and the damaged ones of the fuzz corpora.
TEST(GifReader, TheFrameIndexReadsEachFrameAsAWholeFileReadDoes)
{
    const std::string data = KV_TEST_DATA_DIR;
    const auto files = kvtest::FilesIn({GifSuite.string(), data + "/fuzz/gif", data + "/fuzz/mio"}, ".gif");
    ASSERT_GT(files.size(), 40u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        TMemoryStream stream;
        stream.LoadFromFile(file);
        Giffilter::TGifFrameIndex index(stream);
        // The whole-file read walks the file once a frame: many frames are the multi-image tests'.
        if (index.Count() > 64)
            continue;
        for (int32_t f = 0; f <= index.Count(); f++) {
            SCOPED_TRACE("frame " + std::to_string(f));
            TIOParamsVals whole, indexed;
            whole.GIF_ImageIndex = f;
            Decoded byWhole, byIndex;
            stream.SetPosition(0);
            ReadFrame(stream, byWhole, whole);
            indexed.GIF_LZWDecompress = Giflzw::GIFLZWDecompress;
            TProgressRec progress = kvtest::ProgressInto(byIndex.Aborted);
            index.ReadFrame(f, byIndex.Bitmap, indexed, progress, byIndex.Alpha, false);
            ASSERT_EQ(byIndex.Aborted, byWhole.Aborted);
            if (byWhole.Aborted)
                continue;
            auto values = [](const TIOParamsVals& p) {
                return std::make_tuple(p.GIF_ImageCount, p.GIF_Comments.Text(), p.Width, p.Height, p.GIF_XPos,
                                       p.GIF_YPos, p.GIF_DelayTime, p.GIF_FlagTranspColor, p.GIF_Action,
                                       p.BitsPerSample, p.GIF_WinWidth, p.GIF_Background);
            };
            EXPECT_EQ(values(indexed), values(whole));
            EXPECT_EQ(Rgba(byIndex), Rgba(byWhole));
        }
    }
}

// No frame to decode is a failed load, as any other: the caller learns it from the abort flag,
// the bitmap keeps what it held, and the frames are still counted.
TEST(GifReader, NoFrameToDecodeSetsTheAbortFlag)
{
    const Bytes oneFrame = MakeGif({{{0, 1, 2, 3, 0, 1}}});
    const Bytes noImage = MakeGif({});
    struct Case
    {
        const char* name;
        const Bytes* gif;
        int32_t index;
        int32_t frames;
    };
    const Case cases[] = {{"index past the last frame", &oneFrame, 1, 1},
                          {"header, table and trailer only", &noImage, 0, 0}};
    for (const Case& c : cases) {
        for (bool paramsOnly : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (paramsOnly ? ", parameters only" : ""));
            TMemoryStream stream;
            TIOParamsVals params;
            params.GIF_ImageIndex = c.index;
            Decoded d;
            d.Bitmap.Allocate(2, 1, kv24RGB);
            ReadFrame(Load(stream, *c.gif), d, params, paramsOnly);
            EXPECT_TRUE(d.Aborted);
            EXPECT_EQ(d.Frames, c.frames);
            EXPECT_EQ(params.GIF_ImageCount, c.frames);
            EXPECT_EQ(d.Bitmap.GetWidth(), 2);
            EXPECT_EQ(d.Alpha, nullptr);
        }
    }
}

TEST(GifReader, BlackAndWhiteTwoColourFramesAreOneBit)
{
    struct Case
    {
        Bytes table;
        TKVPixelFormat format;
    };
    const Case cases[] = {{{0, 0, 0, 255, 255, 255}, kv1g},
                          {{255, 255, 255, 0, 0, 0}, kv24RGB},
                          {{255, 0, 0, 0, 0, 255}, kv24RGB}};
    for (const auto& c : cases) {
        // 9 pixels wide: the ninth pixel lands in the second byte of the row.
        Bytes gif{'G', 'I', 'F', '8', '7', 'a', 9, 0, 1, 0, 0x80, 0, 0};
        gif.insert(gif.end(), c.table.begin(), c.table.end());
        gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 9, 0, 1, 0, 0});
        const Bytes pixels{1, 0, 0, 0, 0, 0, 0, 0, 1};
        TMemoryStream data;
        Giflzw::GIFLZWCompress(data, 1, 9, false, pixels.data(), 1);
        const auto* p = static_cast<const uint8_t*>(data.Memory());
        gif.insert(gif.end(), p, p + data.Size());
        gif.push_back(0x3B);
        TMemoryStream stream;
        TIOParamsVals params;
        Decoded d;
        ReadFrame(Load(stream, gif), d, params);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(params.BitsPerSample, 1);
        EXPECT_EQ(d.Bitmap.GetPixelFormat(), c.format);
        Bytes rgba = Rgba(d);
        EXPECT_EQ(Bytes(rgba.begin() + 32, rgba.begin() + 35),
                  Bytes(c.table.begin() + 3, c.table.begin() + 6));
        EXPECT_EQ(Bytes(rgba.begin() + 28, rgba.begin() + 31), Bytes(c.table.begin(), c.table.begin() + 3));
    }
}

TEST(GifReader, MaskFollowsTransparencyUnlessNoAlpha)
{
    Bytes opaque = MakeGif({{{0, 1, 2, 3, 0, 1}}});
    Bytes transparent = MakeGif({{{0, 1, 2, 3, 0, 1}, 1}});
    struct Case
    {
        const Bytes* gif;
        bool noAlpha;
        Bytes mask; // empty: no mask made
    };
    const Case cases[] = {{&opaque, false, {255, 255, 255, 255, 255, 255}},
                          {&transparent, false, {255, 0, 255, 255, 255, 0}},
                          {&transparent, true, {}}};
    for (const auto& c : cases) {
        TMemoryStream stream;
        TIOParamsVals params;
        Decoded d;
        ReadFrame(Load(stream, *c.gif), d, params, false, c.noAlpha);
        ASSERT_FALSE(d.Aborted);
        if (c.mask.empty()) {
            EXPECT_EQ(d.Alpha, nullptr);
            continue;
        }
        ASSERT_NE(d.Alpha, nullptr);
        Bytes mask;
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++)
                mask.push_back(uint8_t(d.Alpha->GetScanLine(y)[x]));
        EXPECT_EQ(mask, c.mask);
    }
}

TEST(GifReader, FailuresSetTheAbortFlag)
{
    Bytes good = MakeGif({{{0, 1, 2, 3, 0, 1}}});
    Bytes headerOnly(good.begin(), good.begin() + 13 + 12);
    Bytes notGif = good;
    notGif[0] = 'X';
    struct Case
    {
        const char* name;
        Bytes bytes;
        bool withDecoder;
    };
    const Case cases[] = {{"not a GIF", notGif, true},
                          {"ends after the tables", headerOnly, true},
                          {"no decoder", good, false},
                          {"empty", {}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream stream;
        Load(stream, c.bytes);
        TIOParamsVals params;
        Decoded d;
        TProgressRec progress = kvtest::ProgressInto(d.Aborted);
        params.GIF_LZWDecompress = c.withDecoder ? Giflzw::GIFLZWDecompress : nullptr;
        Giffilter::ReadGifStream(stream, d.Bitmap, d.Frames, params, progress, false, d.Alpha, false);
        EXPECT_TRUE(d.Aborted);
    }
}

// The image data is kept only as far as a frame of its size can use: a 1 x 1 frame followed by
// 16 MB of further sub-blocks decodes without taking memory for them.
TEST(GifReader, KeepsImageDataOnlyAsFarAsTheFrameNeeds)
{
    Bytes gif = MakeGif({{{2}}}, 1, 1);
    ASSERT_EQ(gif.end()[-2], 0); // the data's terminator, before the trailer
    Bytes tail;
    for (int i = 0; i < 65536; i++) {
        tail.push_back(255);
        tail.resize(tail.size() + 255, 0);
    }
    gif.insert(gif.end() - 2, tail.begin(), tail.end());
    TMemoryStream stream;
    Load(stream, gif);
    TIOParamsVals params;
    Decoded d;
    const int64_t peak = kvtest::PeakHeapOf([&] { ReadFrame(stream, d, params); });
    EXPECT_FALSE(d.Aborted);
    EXPECT_EQ(Rgba(d), (Bytes{0, 255, 0, 255}));
    EXPECT_LT(peak, int64_t(1) << 20);
}

// A frame whose data gives no pixel (none at all, an empty sub-block list, a clear code and the
// end code) is refused without a picture-sized bitmap or mask: both stay as they were, however
// large the frame declares itself. ImageMagick reads none of these files either.
TEST(GifReader, RefusalsLeaveTheBitmapAsItWas)
{
    const fs::path corpus = fs::path(KV_TEST_DATA_DIR) / "fuzz" / "gif";
    const Bytes withoutData = ReadFile(corpus / "frame-10000-by-10000-without-data.gif");
    Bytes emptyData = withoutData;
    emptyData.insert(emptyData.end(), {0x00, 0x3B});
    const struct
    {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"10000 x 10000 without data", withoutData},
        {"10000 x 10000 with no sub-block", emptyData},
        {"transparent, a clear code and the end code",
         ReadFile(corpus / "transparent-frame-10000-by-10000-whose-data-gives-no-pixel.gif")},
    };
    kvtest::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.bytes.size(), 30u);
        EXPECT_TRUE(
            ImageMagickRgba(folder.Write("case.gif", std::string(c.bytes.begin(), c.bytes.end()))).empty());
        TMemoryStream stream;
        TIOParamsVals params;
        Decoded d;
        d.Bitmap.Allocate(3, 2, kv24RGB);
        d.Bitmap.Fill(0x40);
        const auto before = kvtest::BitmapSamples(d.Bitmap).Samples;
        ReadFrame(Load(stream, c.bytes), d, params);
        EXPECT_TRUE(d.Aborted);
        EXPECT_EQ(kvtest::BitmapSamples(d.Bitmap).Samples, before);
        EXPECT_EQ(d.Alpha, nullptr);
    }
}

TEST(GifReader, ParamsOnlyLeavesTheBitmapAlone)
{
    Bytes gif = MakeGif({{{0, 1, 2, 3, 0, 1}, -1, 0, "", true}});
    TMemoryStream stream;
    TIOParamsVals params;
    Decoded d;
    ReadFrame(Load(stream, gif), d, params, true);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(d.Frames, 1);
    EXPECT_EQ(params.Width, 3);
    EXPECT_EQ(params.BitsPerSample, 1);
    EXPECT_EQ(params.ColorMap[0], (TRGB{255, 255, 255}));
    EXPECT_EQ(d.Bitmap.GetWidth(), 0);
    EXPECT_EQ(d.Alpha, nullptr);
}

} // namespace

// ---- Writing and frame editing.

namespace {

// What a tool prints, errors included; ok tells whether it ended well.
std::string Tool(const std::string& command, bool& ok)
{
    int exitCode = -1;
    std::string out = kvtest::RunTool(command + " 2>&1", &exitCode);
    ok = exitCode == 0;
    return out;
}

::testing::AssertionResult HaveTools()
{
    return kvtest::Installed({"giftext", "gifsicle", "convert"});
}

// A width x height picture of `colours` distinct colours in diagonal bands.
void MakePicture(TKVBitmap& bitmap, int32_t width, int32_t height, int32_t colours)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; y++) {
        auto* row = reinterpret_cast<TRGB*>(bitmap.GetScanLine(y));
        for (int32_t x = 0; x < width; x++) {
            int32_t band = (x + y) % colours;
            row[x] = TRGB{uint8_t(band * 7), uint8_t(255 - band), uint8_t(band * 13 % 256)};
        }
    }
}

// Writes through the writer and our LZW encoder; false when the abort flag was set.
bool WriteGif(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params)
{
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    bool aborted = false;
    TProgressRec progress = kvtest::ProgressInto(aborted);
    Giffilter::WriteGifStream(stream, bitmap, params, progress);
    return !aborted;
}

Bytes Contents(TMemoryStream& stream)
{
    const auto* p = static_cast<const uint8_t*>(stream.Memory());
    return Bytes(p, p + stream.Size());
}

void SaveBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The bitmap as RGBA with its alpha channel, transparent pixels made black.
Bytes SourceRgba(TKVBitmap& bitmap)
{
    Bytes out;
    TKVBitmap* alpha = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel() : nullptr;
    for (int32_t y = 0; y < bitmap.GetHeight(); y++)
        for (int32_t x = 0; x < bitmap.GetWidth(); x++) {
            TRGB c = bitmap.GetPixels(x, y);
            uint8_t a = alpha != nullptr && alpha->GetScanLine(y)[x] < 255 ? 0 : 255;
            if (a == 0)
                c = TRGB{};
            out.insert(out.end(), {c.r, c.g, c.b, a});
        }
    return out;
}

} // namespace

TEST(GifWriter, StandardToolsReadTransparencyInterlaceDisposalCommentsAndLoop)
{
    ASSERT_TRUE(HaveTools());
    kvtest::TempFolder dir;
    TKVBitmap bitmap;
    MakePicture(bitmap, 19, 13, 40);
    for (int32_t x = 0; x < 19; x++)
        bitmap.SetAlpha(x, 4, x % 3 == 0 ? 0 : 255);
    TIOParamsVals params;
    params.GIF_Interlaced = true;
    params.GIF_DelayTime = 7;
    params.GIF_Comments.Add("made by the tests");
    params.GIF_Comments.Add(std::string(300, 'x'));
    TMemoryStream stream;
    ASSERT_TRUE(WriteGif(stream, bitmap, params));
    const fs::path file = dir.File("out.gif");
    SaveBytes(file, Contents(stream));
    Giffilter::_GifMakeAnimate(file.string(), 3, 19, 13);
    EXPECT_TRUE(Giffilter::_CheckGifAnimate(file.string()));

    bool ok = false;
    const std::string info = Tool("/usr/bin/gifsicle --info '" + file.string() + "'", ok);
    ASSERT_TRUE(ok) << info;
    for (const char* expected : {"1 image", "logical screen 19x13", "global color table [256]",
                                 "loop count 3", "+ image #0 19x13 interlaced transparent 255",
                                 "disposal background delay 0.07s", "comment made by the tests"})
        EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;

    const std::string text = Tool("/usr/bin/giftext '" + file.string() + "'", ok);
    ASSERT_TRUE(ok) << text;
    for (const char* expected : {"Transparency on: yes", "Transparent Index: 255", "Disposal Mode: 2",
                                 "DelayTime: 7", "Image is Interlaced", "GIF file terminated normally."})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

    // Fewer colours than the table holds: the pixels come back exactly, through ImageMagick and
    // through our own reader.
    EXPECT_EQ(ImageMagickRgba(file), SourceRgba(bitmap));
    TIOParamsVals readBack;
    Decoded d;
    ReadFrame(file, d, readBack);
    ASSERT_FALSE(d.Aborted);
    EXPECT_EQ(Rgba(d), SourceRgba(bitmap));
    EXPECT_TRUE(readBack.GIF_Interlaced);
    EXPECT_EQ(readBack.GIF_Action, ioGIF_DrawBackground);
    ASSERT_EQ(readBack.GIF_Comments.Count(), 3); // the long line comes back as two sub-blocks
    EXPECT_EQ(readBack.GIF_Comments.Strings(1) + readBack.GIF_Comments.Strings(2), std::string(300, 'x'));
}

TEST(GifWriter, ChoosesTheTableByBitsAndAlpha)
{
    struct Case
    {
        const char* name;
        int32_t bits;
        int32_t colours;
        bool alpha;
        uint8_t packed; // screen descriptor: global table of 2 << (packed & 7) entries
        uint8_t transparentIndex;
    };
    const Case cases[] = {
        {"8 bits with alpha", 8, 40, true, 0xF7, 255},
        {"8 bits", 8, 40, false, 0xF7, 0},
        {"4 bits", 4, 40, false, 0xB3, 0},
        {"out of range bits clamp to 8", 16, 40, false, 0xF7, 0},
        {"two colours", 1, 2, false, 0x80, 0},
        {"one colour keeps it", 1, 1, false, 0x80, 0},
        // Two colours and transparency: 0 dark, 1 light, 2 transparent.
        {"two colours with alpha", 1, 2, true, 0x91, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKVBitmap bitmap;
        MakePicture(bitmap, 6, 5, c.colours);
        if (c.alpha)
            bitmap.SetAlpha(1, 1, 100);
        TIOParamsVals params;
        params.BitsPerSample = c.bits;
        TMemoryStream stream;
        ASSERT_TRUE(WriteGif(stream, bitmap, params));
        Bytes gif = Contents(stream);
        ASSERT_GT(gif.size(), 13u);
        EXPECT_EQ(gif[10], c.packed);
        const size_t control = 13 + 3 * (size_t(2) << (c.packed & 7));
        ASSERT_GT(gif.size(), control + 8);
        EXPECT_EQ(gif[control + 3], uint8_t(0x08 | (c.alpha ? 1 : 0)));
        if (c.alpha) {
            EXPECT_EQ(gif[control + 6], c.transparentIndex);
        }
        EXPECT_EQ(params.GIF_FlagTranspColor, c.alpha);

        TIOParamsVals readBack;
        Decoded d;
        ReadFrame(Load(stream, gif), d, readBack);
        ASSERT_FALSE(d.Aborted);
        Bytes expected = SourceRgba(bitmap);
        if (c.bits < 8 && c.colours > 2) {
            EXPECT_EQ(readBack.ColorMapCount, 1 << c.bits);
            continue; // fewer colours than the picture: quantized
        }
        EXPECT_EQ(Rgba(d), expected);
    }
}

TEST(GifWriter, RefusesWhatTheFormatCannotHold)
{
    struct Case
    {
        const char* name;
        int32_t width, height, x, y;
        bool withEncoder;
    };
    const Case cases[] = {{"no encoder", 4, 4, 0, 0, false},
                          {"wider than 65535", 65536, 1, 0, 0, true},
                          {"position past 65535", 4, 4, 70000, 0, true},
                          {"negative position", 4, 4, 0, -1, true},
                          {"empty", 0, 0, 0, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKVBitmap bitmap;
        if (c.width > 0)
            MakePicture(bitmap, c.width, c.height, 3);
        TIOParamsVals params;
        params.GIF_XPos = c.x;
        params.GIF_YPos = c.y;
        params.GIF_LZWCompress = c.withEncoder ? Giflzw::GIFLZWCompress : nullptr;
        bool aborted = false;
        TProgressRec progress = kvtest::ProgressInto(aborted);
        TMemoryStream stream;
        Giffilter::WriteGifStream(stream, bitmap, params, progress);
        EXPECT_TRUE(aborted);
    }
}

// The writer always adds a graphic control extension, which only GIF89a allows: whatever the
// record says (a file read as GIF87a, a short or a long text), the file is labelled GIF89a.
TEST(GifWriter, LabelsEveryFileGif89a)
{
    for (const char* version : {"GIF87a", "GIF8", "", "GIF87a-long"}) {
        TKVBitmap bitmap;
        MakePicture(bitmap, 2, 2, 2);
        TIOParamsVals params;
        params.GIF_Version = version;
        TMemoryStream stream;
        ASSERT_TRUE(WriteGif(stream, bitmap, params));
        Bytes gif = Contents(stream);
        EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a") << version;
    }
}

// No comment lines (or only empty ones) write no comment extension: an empty one makes giflib's
// tools refuse the file.
TEST(GifWriter, WritesNoEmptyCommentExtension)
{
    kvtest::TempFolder dir;
    for (const std::vector<std::string>& comments :
         {std::vector<std::string>{}, std::vector<std::string>{""}, std::vector<std::string>{"", "kept"}}) {
        TKVBitmap bitmap;
        MakePicture(bitmap, 5, 3, 4);
        TIOParamsVals params;
        for (const std::string& line : comments)
            params.GIF_Comments.Add(line);
        TMemoryStream stream;
        ASSERT_TRUE(WriteGif(stream, bitmap, params));
        const Bytes gif = Contents(stream);
        const Bytes commentLabel{0x21, 0xFE};
        const bool hasComment =
            std::search(gif.begin(), gif.end(), commentLabel.begin(), commentLabel.end()) != gif.end();
        EXPECT_EQ(hasComment, comments.size() == 2) << comments.size() << " lines";
        ASSERT_TRUE(HaveTools());
        const fs::path file = dir.File("plain.gif");
        SaveBytes(file, gif);
        bool ok = false;
        const std::string text = Tool("/usr/bin/giftext '" + file.string() + "'", ok);
        EXPECT_TRUE(ok) << text;
        EXPECT_NE(text.find("GIF file terminated normally."), std::string::npos) << text;
    }
}

TEST(GifFrames, InsertsAndDeletesFramesByTheirPlaceInTheFile)
{
    kvtest::TempFolder dir;
    const fs::path file = dir.File("frames.gif");
    // Frames 0, 1, 2 of two, three and four colours.
    TKVBitmap pictures[3];
    for (int i = 0; i < 3; i++)
        MakePicture(pictures[i], 5, 4, i + 2);
    {
        TIOParamsVals params;
        TMemoryStream stream;
        ASSERT_TRUE(WriteGif(stream, pictures[0], params));
        SaveBytes(file, Contents(stream));
    }
    for (int32_t i : {1, 2}) {
        TIOParamsVals params;
        params.GIF_ImageIndex = i;
        params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
        bool aborted = false;
        TProgressRec progress = kvtest::ProgressInto(aborted);
        EXPECT_EQ(Giffilter::_InsertGifIm(file.string(), pictures[i], params, progress), i + 1);
        EXPECT_FALSE(aborted);
    }
    EXPECT_EQ(Giffilter::_DeleteGifIm(file.string(), -1, false), 3);
    ASSERT_TRUE(HaveTools());
    bool ok = false;
    const std::string info = Tool("/usr/bin/gifsicle --info '" + file.string() + "'", ok);
    EXPECT_TRUE(ok) << info;
    EXPECT_NE(info.find("3 images"), std::string::npos) << info;

    // Dropping frame 1 keeps frames 0 and 2, in that order.
    EXPECT_EQ(Giffilter::_DeleteGifIm(file.string(), 1, true), 2);
    for (int32_t i : {0, 1}) {
        TIOParamsVals params;
        params.GIF_ImageIndex = i;
        Decoded d;
        ReadFrame(file, d, params);
        ASSERT_FALSE(d.Aborted);
        EXPECT_EQ(d.Frames, 2);
        EXPECT_EQ(Rgba(d), SourceRgba(pictures[i == 0 ? 0 : 2]));
    }
}

// Appending makes the bytes inserting at the frame count makes; a stream without its trailer, or a
// picture no frame can hold, is left as it was with the abort flag set.
TEST(GifFrames, AppendingMakesTheFileInsertingAtTheEndMakes)
{
    TKVBitmap pictures[3];
    for (int i = 0; i < 3; i++)
        MakePicture(pictures[i], 6 - i, 4, i + 2);
    TMemoryStream appended, inserted;
    TIOParamsVals params;
    ASSERT_TRUE(WriteGif(appended, pictures[0], params));
    ASSERT_TRUE(WriteGif(inserted, pictures[0], params));
    bool aborted = false;
    TProgressRec progress = kvtest::ProgressInto(aborted);
    for (int32_t i : {1, 2}) {
        params.GIF_ImageIndex = i;
        params.GIF_DelayTime = 10 * i;
        EXPECT_TRUE(Giffilter::_AppendGifImStream(appended, pictures[i], params, progress));
        inserted.SetPosition(0);
        EXPECT_EQ(Giffilter::_InsertGifImStream(inserted, pictures[i], params, progress), i + 1);
        ASSERT_FALSE(aborted);
        EXPECT_EQ(Contents(appended), Contents(inserted));
    }
    const Bytes before = Contents(appended);
    TKVBitmap empty;
    for (TKVBitmap* picture : {&pictures[1], &empty}) {
        aborted = false;
        // On the trailer, then after it with a picture of no pixels.
        appended.SetPosition(appended.Size() - (picture == &empty ? 0 : 1));
        EXPECT_FALSE(Giffilter::_AppendGifImStream(appended, *picture, params, progress));
        EXPECT_TRUE(aborted);
        EXPECT_EQ(Contents(appended), before);
    }
}

TEST(GifFrames, LeavesOtherFilesAlone)
{
    kvtest::TempFolder dir;
    const fs::path file = dir.File("not.gif");
    const Bytes bytes{'P', 'N', 'G', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    SaveBytes(file, bytes);
    TKVBitmap bitmap;
    MakePicture(bitmap, 2, 2, 2);
    TIOParamsVals params;
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    bool aborted = false;
    TProgressRec progress = kvtest::ProgressInto(aborted);
    EXPECT_EQ(Giffilter::_InsertGifIm(file.string(), bitmap, params, progress), 0);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(Giffilter::_DeleteGifIm(file.string(), 0, true), 0);
    Giffilter::_GifMakeAnimate(file.string(), 0, 2, 2);
    EXPECT_FALSE(Giffilter::_CheckGifAnimate(file.string()));
    EXPECT_EQ(ReadFile(file), bytes);
}

// ---- Data that ends or breaks before the frame is full.

namespace {

// Three frames of 32 x 24 in 64 colours of noise, so that every row takes its own bytes,
// interlaced when asked; or one frame whose six left columns are transparent. Kept as made.gif.
Bytes MakeFrames(const kvtest::TempFolder& dir, const std::string& options, bool transparent)
{
    const fs::path file = dir.File("made.gif");
    const std::string frame = " -size 32x24 plasma: -colors 64";
    const std::string command =
        transparent ? " -size 32x24 plasma: -colors 63 -alpha set -channel A -fx 'i<6?0:1' +channel"
                    : frame + frame + frame + options;
    EXPECT_EQ(kvtest::ToolExitCode("/usr/bin/convert -seed 7" + command + " '" + file.string() + "'"), 0);
    return ReadFile(file);
}

// Where frame `index` begins: the offset of its image separator, after its control extension.
size_t FrameOffset(const Bytes& gif, int32_t index)
{
    const Bytes control{0x21, 0xF9};
    auto at = gif.begin();
    for (int32_t i = 0; i <= index; i++)
        at = std::search(at, gif.end(), control.begin(), control.end()) + 8;
    EXPECT_EQ(*at, 0x2C);
    return size_t(at - gif.begin());
}

// The rows the data reached, in the order it stores them (straight down, or in the four interlace
// passes), carry ImageMagick's pixels, the last of them up to where the data ended and black
// after; every row past them is cleared, and transparent in the mask when there is one. Returns
// how many rows it reached.
int32_t CheckRowsReached(Decoded& d, const Bytes& expected, bool interlaced)
{
    const int32_t width = d.Bitmap.GetWidth(), height = d.Bitmap.GetHeight();
    if (expected.size() != size_t(width) * size_t(height) * 4)
        return -1;
    std::vector<int32_t> rows;
    for (const auto& pass : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}})
        for (int32_t y = interlaced ? pass.first : int32_t(rows.size()); y < height;
             y += interlaced ? pass.second : 1)
            rows.push_back(y);
    const Bytes rgba = Rgba(d);
    const Bytes black{0, 0, 0, uint8_t(d.Alpha ? 0 : 255)};
    const auto pixel = [](const Bytes& bytes, int32_t y, int32_t x) {
        const auto at = bytes.begin() + std::ptrdiff_t(y * 32 + x) * 4;
        return Bytes(at, at + 4);
    };
    int32_t reached = 0;
    bool ended = false;
    for (const int32_t y : rows) {
        int32_t same = 0;
        while (!ended && same < width && pixel(rgba, y, same) == pixel(expected, y, same))
            same++;
        reached += same > 0 ? 1 : 0;
        ended = ended || same < width;
        for (int32_t x = same; x < width; x++)
            EXPECT_EQ(pixel(rgba, y, x), black) << "row " << y << " pixel " << x;
        if (same == 0) {
            EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, y)) << "row " << y;
        }
    }
    return reached;
}

} // namespace

// A frame whose data ends (the file cut short, or an end code before the last row) fails the
// read: the rows decoded are kept, the rows not reached stay black (transparent, when the frame has
// a mask), and the frames before it still read whole. A file whose trailer alone is missing is
// complete (many writers stop there; ImageMagick and gifsicle take it); one cut inside a frame's
// descriptor holds that frame, which fails.
TEST(GifReader, RowsPastTheDataAreCleared)
{
    ASSERT_TRUE(HaveTools());
    kvtest::TempFolder dir;
    const fs::path whole = dir.File("made.gif");
    struct Case
    {
        std::string name;
        Bytes bytes;
        int32_t frame; // the last read, which fails unless the file is whole
        bool fails;
    };
    for (const char* kind : {"plain", "interlaced", "transparent"}) {
        const bool interlaced = kind[0] == 'i', transparent = kind[0] == 't';
        const Bytes gif = MakeFrames(dir, interlaced ? " -interlace GIF" : "", transparent);
        const auto cut = [&gif](size_t length) {
            return Bytes(gif.begin(), gif.begin() + std::ptrdiff_t(length));
        };
        std::vector<Case> cases{{"cut in the first frame's data",
                                 cut((transparent ? gif.size() : FrameOffset(gif, 1)) / 2), 0, true}};
        if (!transparent) {
            const size_t second = FrameOffset(gif, 1), third = FrameOffset(gif, 2);
            cases.push_back({"cut in the third frame's data", cut((third + gif.size()) / 2), 2, true});
            cases.push_back({"cut in the third frame's descriptor", cut(third + 5), 2, true});
            cases.push_back({"no trailer", cut(gif.size() - 1), 2, false});
            // The second frame claims 4 more rows than its data holds (the screen too); interlaced,
            // they would land elsewhere than in the 24-row frame.
            Bytes taller = gif;
            taller[8] = 28;
            taller[second + 7] = 28;
            if (!interlaced)
                cases.push_back({"an end code before the last row", taller, 1, true});
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + ", " + kind);
            TMemoryStream stream;
            for (int32_t frame = 0; frame <= c.frame; frame++) {
                TIOParamsVals params;
                params.GIF_ImageIndex = frame;
                Decoded d;
                ReadFrame(Load(stream, c.bytes), d, params);
                const bool fails = c.fails && frame == c.frame;
                EXPECT_EQ(d.Aborted, fails) << "frame " << frame;
                // A failed read counts the frames up to its own, where the walk ends; a whole one all.
                EXPECT_EQ(d.Frames, fails ? frame + 1 : 3) << "frame " << frame;
                Bytes expected = ImageMagickRgba(whole, frame);
                if (!fails) {
                    EXPECT_EQ(Rgba(d), expected) << "frame " << frame;
                    continue;
                }
                EXPECT_EQ(d.Alpha != nullptr, transparent); // an opaque frame failed part way has no mask
                expected.resize(size_t(32) * size_t(d.Bitmap.GetHeight()) * 4, 0);
                const int32_t reached = CheckRowsReached(d, expected, interlaced);
                if (c.name.find("descriptor") == std::string::npos) {
                    EXPECT_GT(reached, 0);
                    EXPECT_LT(reached, d.Bitmap.GetHeight());
                }
            }
        }
    }
}

// 43 bytes declaring a frame of 17993 x 14648 with 2 bytes of image data: the two pixels they
// hold are read and the read fails, with no work for the rows they do not reach.
TEST(GifReader, RowsPastTheDataOfAHugeFrameCostNothing)
{
    TMemoryStream stream;
    stream.LoadFromFile(std::string(KV_TEST_DATA_DIR) +
                        "/fuzz/gif/frame-17993-by-14648-with-2-data-bytes.gif");
    TIOParamsVals params;
    Decoded d;
    ReadFrame(stream, d, params);
    EXPECT_TRUE(d.Aborted);
    ASSERT_EQ(d.Bitmap.GetWidth(), 17993);
    ASSERT_EQ(d.Bitmap.GetHeight(), 14648);
    const auto* top = reinterpret_cast<const TRGB*>(d.Bitmap.GetScanLine(0));
    EXPECT_EQ(top[0], (TRGB{0, 0, 255}));
    EXPECT_EQ(top[1], (TRGB{255, 0, 0}));
    EXPECT_EQ(top[2], (TRGB{}));
    EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, 1));
    EXPECT_TRUE(kvtest::RowCleared(d.Bitmap, 14647));
    EXPECT_EQ(d.Alpha, nullptr);
}
