// What the GIF codec keeps of an animation's frames: the disposal each frame's file gave it, none
// given included, as giftext reads it from a file written again; and the logical screen that
// frame editing sets, as gifsicle reads it.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace {

// Reads frame 0 of the file into params; false when the reader failed.
bool ReadFirstFrame(const std::string& file, TIOParamsVals& params)
{
    TMemoryStream stream;
    stream.LoadFromFile(file);
    params.GIF_LZWDecompress = Giflzw::GIFLZWDecompress;
    TKVBitmap bitmap;
    std::unique_ptr<TKVMask> mask;
    int32_t frames = 0;
    bool aborted = false;
    TProgressRec progress = kvtest::ProgressInto(aborted);
    Giffilter::ReadGifStream(stream, bitmap, frames, params, progress, false, mask, false);
    return !aborted;
}

// Writes a 3 x 2 picture with params into the file; false when the writer failed.
bool WritePicture(const std::string& file, TIOParamsVals& params)
{
    TKVBitmap bitmap;
    bitmap.Allocate(3, 2, kv24RGB);
    bitmap.Fill(0x80);
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    bool aborted = false;
    TProgressRec progress = kvtest::ProgressInto(aborted);
    Giffilter::WriteGif(file, bitmap, params, progress);
    return !aborted;
}

// The disposal of the file's first graphic control extension as giftext prints it; -1 for none.
int32_t DisposalOf(const std::string& file)
{
    const std::string text = kvtest::RunTool("giftext '" + file + "'");
    const std::string label = "Disposal Mode: ";
    const size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + label.size()));
}

} // namespace

// A frame read from a file is written with the disposal the file gave it, also when it gave none
// (0, no graphic control at all, or a reserved value), which viewers take as leaving the frame in
// place. A record of no file, or whose disposal a caller set, writes what it always did: 2 for
// none. A record copied keeps where its disposal came from; one read back from a record stream
// is of no file.
TEST(GifWriter, WritesTheDisposalAFileGaveAndTwoForAnyOther)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "gifsicle", "giftext"}));
    kvtest::TempFolder dir;
    const std::string base = dir.File("base.gif");
    ASSERT_EQ(kvtest::ToolExitCode("/usr/bin/convert -size 3x2 xc:red " + base), 0);
    ASSERT_EQ(DisposalOf(base), 0);
    const auto with = [&](const std::string& disposal) {
        const std::string file = dir.File("disposal-" + disposal + ".gif");
        kvtest::RunTool("gifsicle --disposal=" + disposal + " " + base + " -o " + file);
        return file;
    };
    struct Case
    {
        std::string source; // empty: a record of no file
        std::optional<TKVGifAction> set = std::nullopt;
        bool streamed = false;
        int32_t written;
    };
    const Case cases[] = {
        {base, {}, false, 0},
        {with("none"), {}, false, 0}, // gifsicle leaves out the graphic control
        {with("5"), {}, false, 0},
        {with("asis"), {}, false, 1},
        {with("background"), {}, false, 2},
        {with("previous"), {}, false, 3},
        {with("background"), ioGIF_None, false, 2},
        {base, ioGIF_RestorePrev, false, 3},
        {base, {}, true, 2},
        {"", {}, false, 2},
        {"", ioGIF_DontRemove, false, 1},
    };
    ASSERT_EQ(DisposalOf(cases[1].source), -1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + (c.set ? " set " + std::to_string(*c.set) : "") +
                     (c.streamed ? " streamed" : ""));
        TIOParamsVals read;
        if (!c.source.empty()) {
            ASSERT_TRUE(ReadFirstFrame(c.source, read));
        }
        if (c.set) {
            read.GIF_Action = *c.set;
        }
        TIOParamsVals record;
        if (c.streamed) {
            TMemoryStream stream;
            read.SaveToStream(stream);
            stream.SetPosition(0);
            record.LoadFromStream(stream);
            EXPECT_EQ(record.GIF_Action, read.GIF_Action);
        } else {
            record.Assign(read);
        }
        const std::string out = dir.File("out.gif");
        ASSERT_TRUE(WritePicture(out, record));
        EXPECT_EQ(DisposalOf(out), c.written);
    }
}

// The logical screen is set in place, each side cut to what a GIF holds, wherever the GIF starts
// in the stream; a stream holding no GIF there is left as it was.
TEST(GifFrames, SetsTheLogicalScreenOfTheGifAtTheStreamsPosition)
{
    ASSERT_TRUE(kvtest::Installed("gifsicle"));
    kvtest::TempFolder dir;
    const std::string file = dir.File("picture.gif");
    TIOParamsVals params;
    ASSERT_TRUE(WritePicture(file, params));
    TMemoryStream gif;
    gif.LoadFromFile(file);
    struct Case
    {
        int32_t width, height;
        const char* listed;
    };
    for (const Case c :
         {Case{110, 100, "logical screen 110x100"}, Case{70000, -4, "logical screen 65535x0"}}) {
        TMemoryStream stream;
        stream.WriteBuffer("head", 4);
        stream.CopyFrom(gif, 0);
        stream.SetPosition(4);
        EXPECT_TRUE(Giffilter::_GifSetScreenStream(stream, c.width, c.height));
        EXPECT_EQ(stream.Position(), 4);
        EXPECT_EQ(stream.Size(), gif.Size() + 4);
        const std::string out = dir.File("screen.gif");
        {
            TFileStream saved(out, fmCreate);
            saved.WriteBuffer(static_cast<const uint8_t*>(stream.Memory()) + 4, stream.Size() - 4);
        }
        EXPECT_NE(kvtest::RunTool("gifsicle --info " + out).find(c.listed), std::string::npos) << c.listed;
    }

    TMemoryStream other;
    const char png[] = "\x89PNG\r\n\x1a\n and more bytes";
    other.WriteBuffer(png, sizeof png);
    other.SetPosition(0);
    EXPECT_FALSE(Giffilter::_GifSetScreenStream(other, 10, 10));
    EXPECT_EQ(other.Position(), 0);
    EXPECT_EQ(std::memcmp(other.Memory(), png, sizeof png), 0);
}
