// A save that fails leaves the file it would have replaced as it was and, through the I/O
// component, says why: the class library's saves, the file copy, the codecs' file forms and file
// edits and the component's saves on a full disk, and the component's saves with no picture.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/giffilter.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/pcx/pcxfilter.h"
#include "imaging/core/kvbitmap.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/lists.h"
#include "tests/io/io_test_support.h"
#include "tests/support/disk_filler.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace kviotest;

namespace {

// Noise, which no coder makes much smaller than its pixels.
void FillNoise(TKVBitmap& bitmap, int32_t side)
{
    bitmap.Allocate(side, side, kv24RGB);
    uint32_t state = 1;
    for (int32_t y = 0; y < side; y++) {
        for (int32_t i = 0; i < side * 3; i++) {
            state = state * 1103515245u + 12345u;
            bitmap.GetScanLine(y)[i] = uint8_t(state >> 16);
        }
    }
}

// A writer of the format table that lets a short write raise, as WriteBuffer does.
void WriteRaising(TStream& stream, TKVBitmap&, TIOParamsVals&, TProgressRec&)
{
    const std::string block(1 << 20, 'r');
    for (int i = 0; i < 16; i++) {
        stream.WriteBuffer(block.data(), int64_t(block.size()));
    }
}

} // namespace

TEST(FailedSaves, ASaveThatFindsTheDiskFullKeepsTheOldFile)
{
    // The old file: a GIF padded to 100 kB of whole blocks, which an edit that adds a byte grows.
    TIOParamsVals params;
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    TKVBitmap picture;
    FillPattern(picture, 8, 8);
    TMemoryStream gif;
    TProgressRec progress;
    Giffilter::WriteGifStream(gif, picture, params, progress);
    std::string old = StreamBytes(gif);
    old.resize(100 << 10, '\0');
    // Each save writes more than that and answers whether it reports success.
    const std::string big(200 << 10, 's');
    FillNoise(picture, 360);
    bool aborting = false;
    progress.Aborting = &aborting;
    // The component says why: the codec took the failed write for the end of its data, or let it
    // raise (a writer of the format table), and the stream named the file.
    TKorvaneIO io(nullptr);
    FillNoise(*io.KVBitmap(), 360);
    TKVFileFormatInfo raising{1001, "Raising writer", "RSW", nullptr, WriteRaising, nullptr};
    Korvaneio::KVFileFormatAdd(raising);
    const auto says = [&](bool aborts, const std::string& reason) {
        EXPECT_EQ(io.Aborting, aborts);
        EXPECT_EQ(io.ErrorText(), reason);
        return !io.Aborting;
    };
    const std::pair<const char*, std::function<bool(const std::string&)>> cases[] = {
        {"TStrings::SaveToFile",
         [&](const std::string& file) {
             TStringList list;
             list.SetText(big);
             list.SaveToFile(file);
             return true;
         }},
        {"CopyFile", [&](const std::string& file) { return CopyFile(file + ".new", file, false); }},
        {"TIOParamsVals::SaveToFile",
         [&](const std::string& file) {
             params.InfoStrings.SetText(big);
             params.SaveToFile(file);
             return true;
         }},
        {"WriteGif",
         [&](const std::string& file) {
             return Giffilter::WriteGif(file, picture, params, progress), !aborting;
         }},
        {"WritePcx",
         [&](const std::string& file) {
             return Pcxfilter::WritePcx(file, picture, params, progress), !aborting;
         }},
        {"_InsertGifIm",
         [&](const std::string& file) {
             return Giffilter::_InsertGifIm(file, picture, params, progress), !aborting;
         }},
        {"_GifMakeAnimate",
         [](const std::string& file) { return Giffilter::_GifMakeAnimate(file, 0, 8, 8), true; }},
        {"TKorvaneIO::SaveToFileJpeg",
         [&](const std::string& file) {
             return io.SaveToFileJpeg(file), says(true, "No space left on device");
         }},
        {"TKorvaneIO::SaveToStreamJpeg",
         [&](const std::string& file) {
             TFileStream stream(file + ".stream", fmCreate);
             return io.SaveToStreamJpeg(stream), says(true, "No space left on device");
         }},
        {"TKorvaneIO::SaveToFile through the format table",
         [&](const std::string& file) {
             try {
                 io.SaveToFile(file + ".rsw");
             } catch (const EWriteError&) {
                 says(false, "Cannot write file \"" + file + ".rsw\". No space left on device.");
                 throw;
             }
             return !io.Aborting;
         }},
    };
    kvtest::TempFolder folder;
    const auto onDisk = [&] {
        const std::string file = folder.File("old");
        folder.Write("old.new", big);
        for (const auto& [name, save] : cases) {
            SCOPED_TRACE(name);
            folder.Write("old", old);
            ASSERT_TRUE(kvtest::FillDisk(folder.File("filler")));
            aborting = false;
            bool saved = true;
            try {
                saved = save(file);
            } catch (const EStreamError&) {
                saved = false;
            }
            EXPECT_FALSE(saved);
            const std::string kept = kvtest::TempFolder::Read(file);
            EXPECT_TRUE(kept == old) << "the old file is now " << kept.size() << " bytes";
            // The writer's content beside the file, under a name that starts with a dot, is gone.
            const std::filesystem::directory_iterator names(folder.Path());
            EXPECT_EQ(
                std::count_if(begin(names), end(names),
                              [](const auto& entry) { return entry.path().filename().string()[0] == '.'; }),
                0);
            std::filesystem::remove(folder.File("filler"));
        }
    };
    std::string why;
    const bool ran = kvtest::RunOnSmallDisk(folder.Path(), 8 << 20, onDisk, why);
    Korvaneio::KVFileFormatRemove(raising.FileType);
    if (!ran) {
        SkipBecause("no small disk can be made here: " + why);
    }
}

// After a load that fails the component has no picture: no format saves one, by file or stream,
// nor adds it to a file as a page or frame, and the file is left as it was.
TEST(FailedSaves, ASaveWithNoPictureFailsInEveryFormat)
{
    const std::pair<const char*, int32_t> formats[] = {{"jpg", 3},  {"gif", 2},  {"tif", 1},  {"pcx", 4},
                                                       {"bmp", 5},  {"ico", 6},  {"png", 8},  {"tga", 11},
                                                       {"ppm", 12}, {"jp2", 13}, {"j2k", 14}, {"wbmp", 16}};
    kvtest::TempFolder folder;
    const std::string notAPicture = folder.Write("not-a-picture.jpg", "no picture at all");
    for (const auto& [extension, fileType] : formats) {
        SCOPED_TRACE(extension);
        TKorvaneIO maker(nullptr);
        PlugLzwCoders(maker);
        FillPattern(*maker.KVBitmap(), 8, 8);
        const std::string picture = folder.File(std::string("picture.") + extension);
        maker.SaveToFile(picture);
        const std::string pictureBytes = FileBytes(picture);
        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        io.LoadFromFile(notAPicture);
        ASSERT_TRUE(io.Aborting);

        EXPECT_EQ(io.ErrorText(), "The data is no picture this reader can read, or it is damaged");

        io.SaveToFile(picture);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.ErrorText(), "There is no picture to save");
        TMemoryStream stream;
        io.SaveToStream(stream, fileType);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.ErrorText(), "There is no picture to save");
        EXPECT_EQ(stream.Size(), 0);
        if (fileType == 1 || fileType == 2) {
            fileType == 1 ? io.InsertToFileTIFF(picture) : io.InsertToFileGif(picture);
            EXPECT_TRUE(io.Aborting);
        }
        EXPECT_TRUE(FileBytes(picture) == pictureBytes) << "the file was changed";
    }
}
