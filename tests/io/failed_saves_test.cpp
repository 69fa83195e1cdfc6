// A save that fails leaves the file it would have replaced as it was: the class library's saves,
// the file copy and the codecs' own file forms and file edits on a disk that is full.
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

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace kviotest;

namespace {

// A picture of noise, which no coder makes much smaller than its pixels.
void FillNoise(TKVBitmap& bitmap, int32_t side)
{
    bitmap.Allocate(side, side, kv24RGB);
    uint32_t state = 1;
    for (int32_t y = 0; y < side; y++) {
        uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t i = 0; i < side * 3; i++) {
            state = state * 1103515245u + 12345u;
            row[i] = uint8_t(state >> 16);
        }
    }
}

// A small GIF, padded to 100 kB: a content of whole blocks, which an edit that adds a byte must
// grow.
std::string OldGif()
{
    TKVBitmap bitmap;
    FillPattern(bitmap, 8, 8);
    TIOParamsVals params;
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    TProgressRec progress;
    TMemoryStream gif;
    Giffilter::WriteGifStream(gif, bitmap, params, progress);
    std::string content = StreamBytes(gif);
    content.resize(100 << 10, '\0');
    return content;
}

// The names the file writer gives a content beside its file start with a dot.
std::vector<std::string> HiddenNamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string()[0] == '.') {
            names.push_back(entry.path().filename());
        }
    }
    return names;
}

// Saves a new content of more than 100 kB over file; true when the save reports success.
struct TSaveCase
{
    const char* Name;
    std::function<bool(const std::string& file, const std::string& fresh)> Save;
};

bool SaveCodecFile(void (*write)(const std::string&, TKVBitmap&, TIOParamsVals&, TProgressRec&),
                   const std::string& file)
{
    TKVBitmap bitmap;
    FillNoise(bitmap, 360);
    TIOParamsVals params;
    params.GIF_LZWCompress = Giflzw::GIFLZWCompress;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    write(file, bitmap, params, progress);
    return !aborting;
}

} // namespace

TEST(FailedSaves, ASaveThatFindsTheDiskFullKeepsTheOldFile)
{
    const std::string big(200 << 10, 's');
    const TSaveCase cases[] = {
        {"TStrings::SaveToFile",
         [&](const std::string& file, const std::string&) {
             TStringList list;
             list.SetText(big);
             list.SaveToFile(file);
             return true;
         }},
        {"CopyFile",
         [](const std::string& file, const std::string& fresh) { return CopyFile(fresh, file, false); }},
        {"TIOParamsVals::SaveToFile",
         [&](const std::string& file, const std::string&) {
             TIOParamsVals params;
             params.InfoStrings.SetText(big);
             params.SaveToFile(file);
             return true;
         }},
        {"WriteGif", [](const std::string& file,
                        const std::string&) { return SaveCodecFile(Giffilter::WriteGif, file); }},
        {"WritePcx", [](const std::string& file,
                        const std::string&) { return SaveCodecFile(Pcxfilter::WritePcx, file); }},
        {"_InsertGifIm",
         [](const std::string& file, const std::string&) {
             return SaveCodecFile(
                 [](const std::string& name, TKVBitmap& bitmap, TIOParamsVals& params,
                    TProgressRec& progress) { Giffilter::_InsertGifIm(name, bitmap, params, progress); },
                 file);
         }},
        {"_GifMakeAnimate",
         [](const std::string& file, const std::string&) {
             Giffilter::_GifMakeAnimate(file, 0, 8, 8);
             return true;
         }},
    };
    const std::string old = OldGif();
    kvtest::TempFolder folder;
    const auto onDisk = [&] {
        const std::string fresh = folder.Write("fresh", big);
        for (const TSaveCase& c : cases) {
            SCOPED_TRACE(c.Name);
            const std::string file = folder.Write("old", old);
            ASSERT_TRUE(kvtest::FillDisk(folder.File("filler")));
            bool saved = true;
            try {
                saved = c.Save(file, fresh);
            } catch (const EStreamError&) {
                saved = false;
            }
            EXPECT_FALSE(saved);
            const std::string kept = kvtest::TempFolder::Read(file);
            EXPECT_TRUE(kept == old) << "the old file is now " << kept.size() << " bytes";
            EXPECT_EQ(HiddenNamesIn(folder.Path()), std::vector<std::string>());
            std::filesystem::remove(folder.File("filler"));
        }
    };
    std::string why;
    if (!kvtest::RunOnSmallDisk(folder.Path(), 8 << 20, onDisk, why)) {
        SkipBecause("no small disk can be made here: " + why);
    }
}

// After a load that fails the component has no picture: no format saves one, by file or stream,
// nor adds it to a file as a page or frame, and the file is left as it was.
TEST(FailedSaves, ASaveWithNoPictureFailsInEveryFormat)
{
    using TInsert = int32_t (TKorvaneIO::*)(const std::string&);
    const struct
    {
        const char* Extension;
        int32_t FileType;
        TInsert Insert;
    } formats[] = {{"jpg", 3, nullptr},
                   {"gif", 2, &TKorvaneIO::InsertToFileGif},
                   {"tif", 1, &TKorvaneIO::InsertToFileTIFF},
                   {"pcx", 4, nullptr},
                   {"bmp", 5, nullptr},
                   {"ico", 6, nullptr},
                   {"png", 8, nullptr},
                   {"tga", 11, nullptr},
                   {"ppm", 12, nullptr},
                   {"jp2", 13, nullptr},
                   {"j2k", 14, nullptr},
                   {"wbmp", 16, nullptr}};
    kvtest::TempFolder folder;
    const std::string notAPicture = folder.Write("not-a-picture.jpg", "no picture at all");
    for (const auto& f : formats) {
        SCOPED_TRACE(f.Extension);
        TKorvaneIO maker(nullptr);
        PlugLzwCoders(maker);
        FillPattern(*maker.KVBitmap(), 8, 8);
        const std::string picture = folder.File(std::string("picture.") + f.Extension);
        maker.SaveToFile(picture);
        const std::string pictureBytes = FileBytes(picture);
        TKorvaneIO io(nullptr);
        PlugLzwCoders(io);
        io.LoadFromFile(notAPicture);
        ASSERT_TRUE(io.Aborting);

        io.SaveToFile(picture);
        EXPECT_TRUE(io.Aborting);
        EXPECT_TRUE(FileBytes(picture) == pictureBytes) << "the file was replaced";
        TMemoryStream stream;
        io.SaveToStream(stream, f.FileType);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(stream.Size(), 0);
        if (f.Insert != nullptr) {
            (io.*f.Insert)(picture);
            EXPECT_TRUE(io.Aborting);
            EXPECT_TRUE(FileBytes(picture) == pictureBytes) << "a page or frame was added";
        }
    }
}
