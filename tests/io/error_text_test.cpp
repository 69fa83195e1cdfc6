// The I/O component's ErrorText: a save that finds the disk full says why, by file and by stream,
// though the codec takes the failed write for the end of its data; a file that cannot be created
// raises, and the text is the exception's, naming the file; the next save that succeeds leaves no
// text behind. A writer that lets the short write raise raises what the file's own stream raises.
#include "imaging/core/kvbitmap.h"
#include "platform/core/exceptions.h"
#include "tests/io/io_test_support.h"
#include "tests/support/disk_filler.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace kviotest;

namespace {

// A writer of the format table that lets a short write raise, as WriteBuffer does.
void WriteRaising(TStream& stream, TKVBitmap&, TIOParamsVals&, TProgressRec&)
{
    const std::string block(1 << 20, 'r');
    for (int i = 0; i < 16; ++i) {
        stream.WriteBuffer(block.data(), int64_t(block.size()));
    }
}

} // namespace

TEST(ErrorText, FailedSavesNameTheSystemsReason)
{
    kvtest::TempFolder folder;
    const std::string missing = folder.File("missing/picture.jpg");
    const std::string raw = folder.File("picture.rsw");
    TKVFileFormatInfo raising;
    raising.FileType = 1001;
    raising.FullName = "Raising writer";
    raising.Extensions = "RSW";
    raising.WriteFunction = WriteRaising;
    Korvaneio::KVFileFormatAdd(raising);
    const struct
    {
        const char* Case;
        std::function<void(TKorvaneIO&)> Save;
        bool Raises;
        bool Aborting;
        std::string Text;
    } cases[] = {
        {"JPEG file", [&](TKorvaneIO& io) { io.SaveToFileJpeg(folder.File("picture.jpg")); }, false, true,
         "No space left on device"},
        {"JPEG stream",
         [&](TKorvaneIO& io) {
             TFileStream stream(folder.File("stream.jpg"), fmCreate);
             io.SaveToStreamJpeg(stream);
         },
         false, true, "No space left on device"},
        {"PNG file", [&](TKorvaneIO& io) { io.SaveToFilePNG(folder.File("picture.png")); }, false, true,
         "No space left on device"},
        {"a folder that does not exist", [&](TKorvaneIO& io) { io.SaveToFileJpeg(missing); }, true, true,
         "Cannot create file \"" + missing + "\". No such file or directory"},
        {"a writer that raises", [&](TKorvaneIO& io) { io.SaveToFile(raw); }, true, false,
         "Cannot write file \"" + raw + "\". No space left on device."},
    };
    const auto onDisk = [&] {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.Case);
            TKorvaneIO io(nullptr);
            FillPattern(*io.KVBitmap(), 400, 400);
            ASSERT_TRUE(kvtest::FillDisk(folder.File("filler")));
            bool raised = false;
            try {
                c.Save(io);
            } catch (const EStreamError& error) {
                raised = true;
                EXPECT_EQ(io.ErrorText(), error.what());
            }
            EXPECT_EQ(raised, c.Raises);
            EXPECT_EQ(io.Aborting, c.Aborting);
            EXPECT_EQ(io.ErrorText(), c.Text);

            std::remove(folder.File("filler").c_str());
            io.SaveToFileJpeg(folder.File("saved.jpg"));
            EXPECT_FALSE(io.Aborting);
            EXPECT_EQ(io.ErrorText(), "");
        }
    };
    std::string why;
    const bool ran = kvtest::RunOnSmallDisk(folder.Path(), 8 << 20, onDisk, why);
    Korvaneio::KVFileFormatRemove(raising.FileType);
    if (!ran) {
        SkipBecause("no small disk can be made here: " + why);
    }
}
