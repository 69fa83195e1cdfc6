// The multi-image I/O component's files in a real thumbnail view: the frames of GIF files from
// the gdk-pixbuf test suite and of tiffcp- and ffmpeg-made files, where they land and with which
// delays and records; the view saved as GIF, TIFF and AVI and checked by gifsicle, tiffinfo and
// ffprobe; the saving settings that stay with each picture as the view moves it, read back by
// identify and tiffinfo; and the edge cases of names, empty views and broken files.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/giffilter.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "platform/core/exceptions.h"
#include "platform/core/lists.h"
#include "platform/core/streams.h"
#include "platform/forms/form.h"
#include "tests/io/io_test_support.h"
#include "tests/io/mio_fixture.h"
#include "tests/io/rgba_pictures.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace kviotest;

namespace {

std::string GifSuite(const std::string& name)
{
    return PixbufImage("gif-test-suite/" + name);
}

std::string GoXImage(const std::string& name)
{
    return "/usr/share/gocode/src/golang.org/x/image/testdata/" + name;
}

std::string Repeated(const std::string& text, int32_t times)
{
    std::string all;
    for (int32_t i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

TEST_F(MioFixture, GifFramesLandBeforeTheSelectedImageWithTheirDelays)
{
    struct Case
    {
        const char* file;
        int32_t selected; // -1: none
        std::vector<int32_t> delays;
    };
    const Case cases[] = {
        {"animation-speed.gif", 5, {250, 500, 1000, 2000}},
        {"animation-no-delays.gif", -1, {10, 10, 10, 10}}, // a first frame without delay gets 10 ms
        {"animation.gif", 2, {500, 500, 500, 500}},
        {"gif87a-animation.gif", 0, {10, 10, 10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        view->Clear();
        AddSolid(7);
        view->SetSelectedItem(c.selected);
        mio->LoadFromFile(GifSuite(c.file));
        EXPECT_FALSE(mio->Aborting);
        const int32_t at = std::max(c.selected, 0);
        const int32_t n = int32_t(c.delays.size());
        ASSERT_EQ(view->GetImageCount(), 7 + n);
        for (int32_t f = 0; f < n; ++f) {
            EXPECT_EQ(view->GetImageDelayTime(at + f), c.delays[f]) << "frame " << f;
            EXPECT_EQ(mio->GetParams(at + f)->FileType, 2);
            EXPECT_TRUE(mio->GetParams(at + f)->FileName.empty());
            TKVBitmap single;
            TKVBitmap stored;
            LoadSingle(GifSuite(c.file), f, true, single);
            view->CopyToKVBitmap(at + f, &stored);
            single.SetPixelFormat(kv24RGB);
            stored.SetPixelFormat(kv24RGB);
            EXPECT_TRUE(SamePixels(single, stored)) << "frame " << f;
        }
        // The images around the frames kept their order: the old selected one follows them.
        for (int32_t i = 0; i < 7; ++i) {
            EXPECT_TRUE(SameAsColour(i < at ? i : i + n, i)) << "old image " << i;
        }
        ExpectRecordsNumbered();
    }
}

// A later frame without a delay inherits the delay before it.
TEST_F(MioFixture, AGifFrameWithoutDelayInheritsThePreviousOne)
{
    AddSolid(3);
    TKorvaneIO io(nullptr);
    PlugLzwCoders(io);
    TKVBitmap frame;
    io.SetAttachedKVBitmap(&frame);
    const std::string file = temp.File("mixed.gif");
    const int32_t delays[] = {7, 0, 0, 3, 0};
    for (int32_t i = 0; i < 5; ++i) {
        FillSolid(frame, 6, 4, i);
        io.Params().GIF_DelayTime = delays[i];
        io.Params().GIF_ImageIndex = i;
        if (i == 0) {
            io.SaveToFileGif(file);
        } else {
            TProgressRec progress;
            bool aborting = false;
            progress.Aborting = &aborting;
            Giffilter::_InsertGifIm(file, frame, io.Params(), progress);
        }
    }
    view->SetSelectedItem(-1);
    mio->LoadFromFileGif(file);
    const int32_t expected[] = {70, 70, 70, 30, 30};
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(view->GetImageDelayTime(i), expected[i]) << i;
        EXPECT_TRUE(SameAsColour(i, i)) << i;
    }
}

// A frame that flags a transparent colour none of its pixels has stays opaque when the view is
// saved again; the frame that uses it keeps its holes (counted by ImageMagick, frame by frame).
TEST_F(MioFixture, SavedFramesMakeNoHolesOfAColourOnlyFlagged)
{
    const std::string file = temp.File("late.gif");
    ASSERT_TRUE(WriteGifWithLateTransparency(file));
    view->SetSelectedItem(-1);
    mio->LoadFromFileGif(file);
    ASSERT_EQ(view->GetImageCount(), 2);
    const std::string saved = temp.File("saved.gif");
    mio->SaveToFileGif(saved);
    ASSERT_FALSE(mio->Aborting);
    const std::string transparent = " -alpha extract -negate -format '%[fx:mean*w*h] ' info:";
    EXPECT_EQ(RunTool("/usr/bin/convert '" + saved + "'" + transparent), "0 2 ");
    EXPECT_EQ(RunTool("/usr/bin/convert '" + file + "'" + transparent), "0 2 ");
}

TEST_F(MioFixture, TiffPagesOfATiffcpFileLandWithTheirOwnRecordsAnd100Ms)
{
    const std::vector<std::string> pages = {GoXImage("bw-packbits.tiff"), GoXImage("video-001-paletted.tiff"),
                                            GoXImage("video-001-strip-64.tiff")};
    const std::string file = temp.File("three.tif");
    RunTool("tiffcp " + pages[0] + " " + pages[1] + " " + pages[2] + " " + file);
    AddSolid(2);
    view->SetSelectedItem(1);
    mio->LoadFromFile(file);
    EXPECT_FALSE(mio->Aborting);
    ASSERT_EQ(view->GetImageCount(), 5);
    for (int32_t p = 0; p < 3; ++p) {
        SCOPED_TRACE(pages[p]);
        TKVBitmap single;
        TKVBitmap stored;
        LoadSingle(pages[p], 0, false, single);
        view->CopyToKVBitmap(1 + p, &stored);
        single.SetPixelFormat(kv24RGB);
        stored.SetPixelFormat(kv24RGB);
        EXPECT_TRUE(SamePixels(single, stored));
        EXPECT_EQ(view->GetImageDelayTime(1 + p), 100);
        EXPECT_EQ(mio->GetParams(1 + p)->FileType, 1);
        EXPECT_EQ(mio->GetParams(1 + p)->Width, single.GetWidth());
    }
    EXPECT_EQ(mio->GetParams(1)->BitsPerSample, 1); // each page keeps its own depth
    EXPECT_TRUE(SameAsColour(0, 0));
    EXPECT_TRUE(SameAsColour(4, 1));
    ExpectRecordsNumbered();
}

TEST_F(MioFixture, NamesThatChooseNothingAndBrokenFilesLeaveTheView)
{
    struct Case
    {
        std::string name;
        bool aborting;
    };
    const std::string truncated = temp.File("truncated.gif");
    const std::string bytes = FileBytes(GifSuite("animation.gif"));
    {
        TFileStream out(truncated, fmCreate);
        out.WriteBuffer(bytes.data(), 13); // the header and screen, no frame
    }
    const std::string noPages = temp.File("nopages.tif");
    {
        TFileStream out(noPages, fmCreate);
        out.WriteBuffer("II*\0\0\0\0\0", 8); // no directory at all
    }
    const Case cases[] = {
        {"   ", true},
        {"", true},
        {GifSuite("animation.gif") + ".png", false}, // not sniffed, not even opened
        {truncated, true},
        {noPages, true},
        {GifSuite("no-data.gif"), true},
        {GifSuite("zero-size.gif"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("'" + c.name + "'");
        view->Clear();
        AddSolid(2);
        mio->Aborting = !c.aborting;
        mio->LoadFromFile(c.name);
        EXPECT_EQ(mio->Aborting, c.aborting);
        EXPECT_EQ(view->GetImageCount(), 2);
        EXPECT_EQ(mio->GetParamsCount(), 2);
    }
    EXPECT_THROW(mio->LoadFromFile(temp.File("missing.gif")), EFOpenError);
}

// A GIF cut inside its third frame loads its first two frames and reports the damage; one whose
// trailer alone is missing loads whole. The view's own images follow the frames, unchanged.
TEST_F(MioFixture, AGifCutInALaterFrameKeepsTheFramesBeforeAndSetsAborting)
{
    ASSERT_TRUE(kvtest::Installed("convert"));
    const std::string whole = temp.File("whole.gif");
    const std::string frame = " -size 32x24 plasma: -colors 64";
    ASSERT_EQ(kvtest::ToolExitCode("/usr/bin/convert -seed 7" + frame + frame + frame + " '" + whole + "'"),
              0);
    const std::string bytes = FileBytes(whole);
    const size_t third = bytes.rfind("\x21\xF9");
    ASSERT_NE(third, std::string::npos);
    struct Case
    {
        const char* name;
        size_t length;
        bool aborting;
        int32_t frames;
    };
    const Case cases[] = {{"cut in the third frame's data", (third + bytes.size()) / 2, true, 2},
                          {"no trailer", bytes.size() - 1, false, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view->Clear();
        AddSolid(2);
        mio->LoadFromFile(temp.Write("cut.gif", bytes.substr(0, c.length)));
        EXPECT_EQ(mio->Aborting, c.aborting);
        ASSERT_EQ(view->GetImageCount(), 2 + c.frames);
        EXPECT_EQ(mio->GetParamsCount(), 2 + c.frames);
        EXPECT_TRUE(SameAsColour(c.frames, 0));
        EXPECT_TRUE(SameAsColour(c.frames + 1, 1));
    }
}

TEST_F(MioFixture, SavedGifAndTiffFilesHoldEveryImageAndLoadBack)
{
    struct Case
    {
        std::string name;
        const char* check;   // command whose output names the pages
        const char* counted; // text counted in it, once a page
    };
    // A name near the file system's limit leaves no room for a scratch name beside it.
    const std::string longGif = std::string(246, 'g') + ".gif";
    const Case cases[] = {
        {"all.gif", "gifsicle --info ", "+ image #"},
        {"all.tif", "tiffinfo ", "TIFF Directory at offset"},
        {longGif, "gifsicle --info ", "+ image #"},
    };
    std::set<std::string> saved;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 16));
        view->Clear();
        AddSolid(3, 20, 10);
        for (int32_t i = 0; i < 3; ++i) {
            mio->GetParams(i)->GIF_DelayTime = 10 * (i + 1);
        }
        const std::string file = temp.File(c.name);
        mio->SaveToFile(file);
        ASSERT_FALSE(mio->Aborting);
        saved.insert(c.name);
        std::set<std::string> inFolder;
        for (const auto& entry : std::filesystem::directory_iterator(temp.Path())) {
            inFolder.insert(entry.path().filename().string());
        }
        EXPECT_EQ(inFolder, saved);
        const std::string info = RunTool(std::string(c.check) + file + " 2>&1");
        EXPECT_EQ(Occurrences(info, c.counted), 3) << info;
        if (c.name != "all.tif") {
            EXPECT_NE(info.find("loop forever"), std::string::npos) << info;
            EXPECT_NE(info.find("logical screen 20x10"), std::string::npos) << info;
            EXPECT_NE(info.find("delay 0.30s"), std::string::npos) << info;
        }
        view->Clear();
        view->SetSelectedItem(-1);
        mio->LoadFromFile(file);
        ASSERT_EQ(view->GetImageCount(), 3);
        for (int32_t i = 0; i < 3; ++i) {
            EXPECT_TRUE(SameAsColour(i, i)) << i;
        }
    }
}

// Loading reads each frame from where it begins and saving adds each at the end: over 400 one-pixel
// frames the streams serve the file about twice, where reading or copying it again a frame served
// it six to four hundred times. gifsicle and tiffinfo count the saved frames.
TEST_F(MioFixture, FramesAndPagesAreReadAndWrittenOnce)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "gifsicle", "tiffinfo"}));
    constexpr int32_t frames = 400;
    const std::string black = temp.File("black.gif"), white = temp.File("white.gif");
    RunTool("convert -size 1x1 xc:black " + black + " && convert -size 1x1 xc:white " + white);
    struct Case
    {
        const char* name;
        std::string make;    // command that writes the file named last
        const char* check;   // command whose output names the frames
        const char* counted; // text counted in it, once a frame
    };
    const Case cases[] = {
        {"many.gif", "gifsicle" + Repeated(" " + black + " " + white, frames / 2) + " -o ",
         "gifsicle --info ", "+ image #"},
        {"many.tif", "convert -size 1x1" + Repeated(" xc:black xc:white", frames / 2) + " ", "tiffinfo ",
         "TIFF Directory at offset"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool gif = std::string(c.name).ends_with(".gif");
        const std::string file = temp.File(c.name);
        RunTool(c.make + file);
        TMemoryStream bytes, saved;
        bytes.LoadFromFile(file);
        TCountingStream source(bytes), target(saved);
        view->Clear();
        gif ? mio->LoadFromStreamGif(source) : mio->LoadFromStreamTIFF(source);
        ASSERT_FALSE(mio->Aborting);
        ASSERT_EQ(view->GetImageCount(), frames);
        EXPECT_LT(source.BytesRead, 3 * bytes.Size());
        gif ? mio->SaveToStreamGif(target) : mio->SaveToStreamTIFF(target);
        ASSERT_FALSE(mio->Aborting);
        EXPECT_LT(target.BytesRead + target.BytesWritten, 3 * saved.Size());
        const std::string out = temp.File(std::string("saved-") + c.name);
        saved.SaveToFile(out);
        const std::string info = RunTool(std::string(c.check) + out + " 2>&1");
        EXPECT_EQ(Occurrences(info, c.counted), frames) << info.substr(0, 400);
    }
}

// A frame's record copies its neighbour's saving settings, not what described the neighbour's file:
// comments (as gifsicle lists them) and EXIF data. 1,000 comment blocks of a GIF of 100 frames go to
// the first record alone, so that 2 KB of comments do not take megabytes.
TEST_F(MioFixture, ALoadedRecordDescribesItsOwnFileOnly)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "gifsicle"}));
    const std::string gif = temp.File("comments.gif"), tif = temp.File("plain.tif");
    const std::string black = temp.File("black.gif"), many = temp.File("many.gif");
    RunTool("convert -size 4x4 xc:red xc:green xc:blue -set comment 'frame %p' " + gif +
            " && convert -size 4x4 xc:red xc:green " + tif + " && convert -size 1x1 xc:black " + black +
            " && gifsicle" + Repeated(" " + black, 100) + " -o " + many);
    TStringList listed, letters;
    std::istringstream info(RunTool("gifsicle --info " + gif));
    for (std::string line; std::getline(info, line);) {
        if (line.starts_with("    comment ")) {
            listed.Add(line.substr(12));
        }
    }
    ASSERT_EQ(listed.Count(), 3);
    for (int32_t i = 0; i < 1000; ++i) {
        letters.Add("c");
    }
    // A comment extension of one-letter blocks: "c" a thousand times.
    const std::string blocks = "\x21\xFE" + Repeated("\x01\x63", 1000) + '\0';
    temp.Write("many.gif", FileBytes(many).insert(13 + 3 * 2, blocks)); // after the two-colour table
    struct Case
    {
        std::string file;
        int32_t before; // images in the view, the last selected
        int32_t frames;
        std::string first, others; // the records' comments
    };
    const Case cases[] = {{gif, 0, 3, listed.Text(), listed.Text()},
                          {gif, 2, 3, listed.Text(), listed.Text()},
                          {tif, 2, 2, "", ""},
                          {many, 0, 100, letters.Text(), ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " after " + std::to_string(c.before));
        view->Clear();
        AddSolid(c.before);
        if (c.before > 0) {
            TIOParamsVals* neighbour = mio->GetParams(c.before - 1);
            neighbour->GIF_Comments.Add("the neighbour's");
            neighbour->EXIF_HasEXIFData = true;
            neighbour->JPEG_Quality = 33;
        }
        view->SetSelectedItem(c.before - 1);
        mio->LoadFromFile(c.file);
        ASSERT_FALSE(mio->Aborting);
        ASSERT_EQ(view->GetImageCount(), c.before + c.frames);
        for (int32_t f = 0; f < c.frames; ++f) {
            const TIOParamsVals* record = mio->GetParams(std::max(c.before - 1, 0) + f);
            EXPECT_EQ(record->GIF_Comments.Text(), f == 0 ? c.first : c.others) << "frame " << f;
            EXPECT_FALSE(record->EXIF_HasEXIFData) << "frame " << f;
            EXPECT_EQ(record->JPEG_Quality, c.before > 0 ? 33 : 80) << "frame " << f;
        }
    }
    mio->SaveToFile(temp.File("saved.gif"));
    EXPECT_NE(RunTool("gifsicle --info " + temp.File("saved.gif")).find("comment " + std::string(1000, 'c')),
              std::string::npos);
}

// What identify finds of every frame of a file, a line each: its size and Field (a format
// escape such as the JPEG quality %Q or the GIF delay %T).
std::vector<std::string> IdentifyFrames(const std::string& file, const std::string& field)
{
    std::vector<std::string> frames;
    std::istringstream lines(RunTool("identify -format '%wx%h " + field + "\\n' " + file));
    for (std::string line; std::getline(lines, line);) {
        frames.push_back(line);
    }
    return frames;
}

// What tiffinfo finds of every page of a file: its size, compression scheme and page name.
std::vector<std::string> TiffPages(const std::string& file)
{
    std::vector<std::string> pages;
    std::istringstream lines(RunTool("tiffinfo " + file));
    for (std::string line; std::getline(lines, line);) {
        int32_t width = 0, height = 0;
        if (line.starts_with("TIFF Directory")) {
            pages.emplace_back();
        } else if (std::sscanf(line.c_str(), " Image Width: %d Image Length: %d", &width, &height) == 2) {
            pages.back() += std::to_string(width) + "x" + std::to_string(height);
        } else if (line.starts_with("  Compression Scheme: ")) {
            pages.back() += " " + line.substr(22);
        } else if (line.starts_with("  PageName: ")) {
            pages.back() += " '" + line.substr(12) + "'";
        }
    }
    return pages;
}

// A picture's saving settings live in its record, which must follow the picture wherever the
// view moves it: saved alone and as a page or frame of one file, each picture carries its own
// JPEG quality, TIFF compression, page name and GIF delay, as identify and tiffinfo read them.
TEST_F(MioFixture, MovedPicturesKeepTheirOwnSavingSettings)
{
    struct Picture
    {
        const char* name;
        int32_t width, height;
        int32_t quality;
        TIOTIFFCompression compression;
        const char* scheme; // tiffinfo's name of the compression
        int32_t delay;      // hundredths of a second
    };
    const Picture pictures[] = {
        {"A", 40, 30, 20, ioTIFF_LZW, "LZW", 20},
        {"B", 24, 36, 60, ioTIFF_PACKBITS, "PackBits", 50},
        {"C", 56, 20, 95, ioTIFF_UNCOMPRESSED, "None", 90},
    };
    for (int32_t i = 0; i < 3; ++i) {
        const Picture& p = pictures[i];
        AddSolid(1, p.width, p.height);
        TIOParamsVals* record = mio->GetParams(i);
        record->JPEG_Quality = p.quality;
        record->TIFF_Compression = p.compression;
        record->TIFF_PageName = std::string("page ") + p.name;
        record->GIF_DelayTime = p.delay;
    }
    struct Stage
    {
        const char* what;
        std::function<void()> act;
        std::vector<int32_t> order; // the pictures in the view afterwards
    };
    const Stage stages[] = {
        {"MoveImage(0, 2)", [&] { view->MoveImage(0, 2); }, {1, 2, 0}},
        {"MoveImage(2, 1)", [&] { view->MoveImage(2, 1); }, {1, 0, 2}},
        {"DeleteImage(0)", [&] { view->DeleteImage(0); }, {0, 2}},
    };
    for (const Stage& stage : stages) {
        SCOPED_TRACE(std::string("after ") + stage.what);
        stage.act();
        ExpectRecordsNumbered();
        const std::string allTif = temp.File("all.tif"), allGif = temp.File("all.gif");
        mio->SaveToFile(allTif);
        ASSERT_FALSE(mio->Aborting);
        mio->SaveToFile(allGif);
        ASSERT_FALSE(mio->Aborting);
        std::vector<std::string> tiffPages, gifFrames;
        for (size_t k = 0; k < stage.order.size(); ++k) {
            const Picture& p = pictures[stage.order[k]];
            SCOPED_TRACE("image " + std::to_string(k) + " (" + p.name + ")");
            const std::string size = std::to_string(p.width) + "x" + std::to_string(p.height);
            tiffPages.push_back(size + " " + p.scheme + " 'page " + p.name + "'");
            gifFrames.push_back(size + " " + std::to_string(p.delay));
            TKVBitmap bitmap;
            view->CopyToKVBitmap(int32_t(k), &bitmap);
            TKorvaneIO io(nullptr);
            io.SetAttachedKVBitmap(&bitmap);
            io.Params().Assign(*mio->GetParams(int32_t(k)));
            const std::string alone = temp.File("alone" + std::to_string(k));
            io.SaveToFileJpeg(alone + ".jpg");
            io.SaveToFileTIFF(alone + ".tif");
            io.SaveToFileGif(alone + ".gif");
            ASSERT_FALSE(io.Aborting);
            EXPECT_EQ(IdentifyFrames(alone + ".jpg", "%Q"),
                      std::vector{size + " " + std::to_string(p.quality)});
            EXPECT_EQ(TiffPages(alone + ".tif"), std::vector{tiffPages.back()});
            EXPECT_EQ(IdentifyFrames(alone + ".gif", "%T"), std::vector{gifFrames.back()});
        }
        EXPECT_EQ(TiffPages(allTif), tiffPages);
        EXPECT_EQ(IdentifyFrames(allGif, "%T"), gifFrames);
    }
}

TEST_F(MioFixture, AnEmptyViewSavesNothingAndLeavesTheFileAsItWas)
{
    for (const char* name : {"old.tif", "old.gif", "old.avi"}) {
        SCOPED_TRACE(name);
        const std::string file = temp.File(name);
        {
            TFileStream out(file, fmCreate);
            out.WriteBuffer("keep me", 7);
        }
        mio->Aborting = false;
        if (std::string(name) == "old.avi") {
            mio->SaveToFileAVI(file, "DIB ");
        } else {
            mio->SaveToFile(file);
        }
        EXPECT_TRUE(mio->Aborting);
        EXPECT_EQ(FileBytes(file), "keep me");
    }
    TMemoryStream stream;
    finishes = 0;
    mio->SaveToStreamTIFF(stream);
    EXPECT_TRUE(mio->Aborting);
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(finishes, 1);
}

// What ffprobe says of the video stream, one "key=value" a line.
std::string Probe(const std::string& file)
{
    return RunTool("ffprobe -v error -count_frames -select_streams v -show_entries "
                   "stream=codec_name,width,height,r_frame_rate,nb_read_frames,pix_fmt -of default=nw=1 " +
                   file);
}

TEST_F(MioFixture, AviFramesLoadWithTheRateRuleAndSaveAtTheFirstFramesRate)
{
    struct Case
    {
        const char* rate;    // of the ffmpeg-made file
        int32_t delay;       // each frame's delay after loading
        const char* written; // ffprobe's rate of the file saved again
    };
    const Case cases[] = {
        {"15", 66, "r_frame_rate=15/1"},
        {"25", 40, "r_frame_rate=25/1"},
        {"2/3", 1500, "r_frame_rate=2/3"}, // below one frame a second
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const std::string source = temp.File("source.avi");
        RunTool(std::string("ffmpeg -v error -y -f lavfi -i testsrc=size=32x24:rate=") + c.rate +
                " -frames:v 4 -c:v rawvideo -pix_fmt bgr24 " + source);
        view->Clear();
        AddSolid(2);
        view->SetSelectedItem(1);
        mio->LoadFromFile(source);
        ASSERT_FALSE(mio->Aborting);
        ASSERT_EQ(view->GetImageCount(), 6);
        for (int32_t k = 0; k < 4; ++k) {
            EXPECT_EQ(view->GetImageDelayTime(1 + k), c.delay);
            const TIOParamsVals* p = mio->GetParams(1 + k);
            EXPECT_EQ(p->GIF_DelayTime, c.delay / 10);
            EXPECT_EQ(p->Width, 32);
            EXPECT_EQ(p->SamplesPerPixel, 3);
            EXPECT_EQ(p->FileName, source);
            EXPECT_EQ(p->FileType, 0);
        }
        EXPECT_TRUE(SameAsColour(5, 1));
        ExpectRecordsNumbered();

        view->DeleteImage(5);
        view->DeleteImage(0);
        // A video becomes an animated GIF of as many frames, each with the video's delay.
        const std::string gif = temp.File("video.gif");
        mio->SaveToFile(gif);
        ASSERT_FALSE(mio->Aborting);
        const std::string info = RunTool("gifsicle --info " + gif);
        EXPECT_NE(info.find("4 images"), std::string::npos) << info;
        const int32_t hundredths = c.delay / 10;
        const std::string delayText = "delay " + std::to_string(hundredths / 100) + "." +
                                      std::to_string(hundredths % 100 / 10) +
                                      std::to_string(hundredths % 10) + "s";
        EXPECT_NE(info.find(delayText), std::string::npos) << info;
        for (const char* codec : {"DIB ", "MJPG"}) {
            SCOPED_TRACE(codec);
            const std::string out = temp.File("out.avi");
            mio->SaveToFileAVI(out, codec);
            ASSERT_FALSE(mio->Aborting);
            const std::string probe = Probe(out);
            EXPECT_NE(probe.find(c.written), std::string::npos) << probe;
            EXPECT_NE(probe.find("nb_read_frames=4"), std::string::npos) << probe;
            EXPECT_NE(probe.find("width=32"), std::string::npos) << probe;
        }
    }
}

TEST_F(MioFixture, UnreadableAvisSetAbortingAndAddNothing)
{
    const std::string audio = temp.File("audio.avi");
    RunTool("ffmpeg -v error -y -f lavfi -i sine=duration=0.2 -c:a pcm_s16le " + audio);
    const std::string empty = temp.File("empty.avi");
    RunTool("ffmpeg -v error -y -f lavfi -i testsrc=size=16x16:rate=25 -frames:v 0 -c:v rawvideo "
            "-pix_fmt bgr24 " +
            empty);
    const std::string garbage = temp.File("garbage.avi");
    {
        TFileStream out(garbage, fmCreate);
        out.WriteBuffer("RIFF\x10\0\0\0AVI LIST", 16);
    }
    for (const std::string& file : {audio, empty, garbage, temp.File("missing.avi")}) {
        SCOPED_TRACE(file);
        view->Clear();
        AddSolid(1);
        finishes = 0;
        mio->LoadFromFile(file);
        EXPECT_TRUE(mio->Aborting);
        EXPECT_EQ(view->GetImageCount(), 1);
        EXPECT_EQ(finishes, 1);
    }
}

TEST_F(MioFixture, FramesOfAnotherSizeAreSkippedAndFlagged)
{
    AddSolid(2, 16, 16);
    AddSolid(1, 8, 8);
    view->SetImageDelayTime(0, 100);
    const std::string out = temp.File("mixed.avi");
    mio->SaveToFileAVI(out, "DIB ");
    EXPECT_TRUE(mio->Aborting);
    const std::string probe = Probe(out);
    EXPECT_NE(probe.find("nb_read_frames=2"), std::string::npos) << probe;
    EXPECT_NE(probe.find("r_frame_rate=10/1"), std::string::npos) << probe;
}

} // namespace
