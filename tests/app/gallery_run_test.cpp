// A gallery from end to end: the real status and errors windows drive runs over a folder of
// JPEG, PNG, GIF and BMP pictures with a text file, hidden files and a sub-folder, and over
// pictures of every other kind; the layout, page bytes and pictures are checked with djpeg,
// gifsicle, identify, tidy and an HTML parser. Failures, cancels and full disks are
// gallery_run_failures_test.cpp's.
#include "app/errors_window.h"
#include "app/file_utils.h"
#include "app/gallery_run.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/status_window_icons.h"
#include "app/template_params.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/messages.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "tests/app/gallery_run_fixture.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace gallerytest;

TEST_F(Gallery, KeptSizesGiveTheLayoutPagesAndPicturesOfTheFolder)
{
    SetParameter("title", "Holiday");
    const TShownRun shown = Run();
    EXPECT_EQ(shown.Result, mrOk);
    EXPECT_TRUE(shown.Errors.empty()) << shown.Errors.front();
    EXPECT_TRUE(shown.Messages.empty());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(shown.Icons[i], "check") << i;
    }
    EXPECT_EQ(shown.Icons[4], "check");
    EXPECT_TRUE(shown.Success);
    EXPECT_EQ(shown.Files, "Founded 5 files");
    EXPECT_TRUE(shown.CloseShown);
    EXPECT_FALSE(shown.CancelShown);
    EXPECT_FALSE(shown.ProgressShown);

    // The text file, the hidden picture, thumbs.db and the sub-folder are left out; the two pairs whose
    // written names would clash keep both pictures.
    const std::string prefix = RandomFolder(FGallery, 8);
    ASSERT_FALSE(prefix.empty());
    const std::vector<std::string> pictures = {"flag.gif", "img_0001.jpg", "img_0001_2.jpg", "sunset.jpg",
                                               "sunset_2.jpg"};
    std::vector<std::string> layout = {prefix};
    for (const char* name :
         {"flag.gif", "img_0001.jpg", "img_0001_2.jpg", "spacer.gif", "sunset.jpg", "sunset_2.jpg"}) {
        layout.push_back(prefix + name);
    }
    layout.push_back(prefix + "thumbs/");
    for (const char* name : {"flag.jpg", "img_0001.jpg", "img_0001_2.jpg", "sunset.jpg", "sunset_2.jpg"}) {
        layout.push_back(prefix + "thumbs/" + name);
    }
    for (const char* name :
         {"grid_images/", "grid_images/dot.png", "index.html", "index2.html", "index3.html"}) {
        layout.push_back(name);
    }
    std::sort(layout.begin(), layout.end());
    std::vector<std::string> tree = FolderTree(FGallery);
    std::sort(tree.begin(), tree.end());
    EXPECT_EQ(tree, layout);

    for (const auto& [name, bytes] : GridPages(prefix, pictures)) {
        EXPECT_EQ(Page(name), bytes) << name;
    }
    ExpectSoundPages(FGallery);

    // Pictures keep their size; thumbnails fit the 50 x 50 box.
    const struct
    {
        const char* Name;
        TPictureSize Picture;
        TPictureSize Thumbnail;
    } sizes[] = {
        {"img_0001.jpg", {300, 200}, {50, 33}},
        {"img_0001_2.jpg", {120, 90}, {50, 37}},
        {"sunset.jpg", {40, 80}, {25, 50}},
        {"sunset_2.jpg", {100, 50}, {50, 25}},
    };
    for (const auto& size : sizes) {
        const std::string picture = FGallery + prefix + size.Name;
        const std::string thumbnail = FGallery + prefix + "thumbs/" + size.Name;
        EXPECT_EQ(JpegSize(picture), size.Picture) << size.Name;
        EXPECT_EQ(JpegQuality(picture), 75) << size.Name;
        EXPECT_EQ(JpegSize(thumbnail), size.Thumbnail) << size.Name;
        EXPECT_EQ(JpegQuality(thumbnail), 60) << size.Name;
    }
    EXPECT_EQ(GifSize(FGallery + prefix + "flag.gif"), (TPictureSize{64, 48}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "thumbs/flag.jpg"), (TPictureSize{50, 37}));
    EXPECT_EQ(GifSize(FGallery + prefix + "spacer.gif"), (TPictureSize{1, 1}));
}

TEST_F(Gallery, ChosenSizeFitsEveryPictureAsJpegAndThumbnailsComeFromTheFittedPicture)
{
    GallerySettings.ImageSizeIndex = 6;
    GallerySettings.ImageWidth = 160;
    GallerySettings.ImageHeight = 120;
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success);
    const std::string prefix = RandomFolder(FGallery, 8);
    // Smaller pictures are enlarged until they touch the box; the GIF becomes a JPEG too.
    const struct
    {
        const char* Name;
        TPictureSize Picture;
        TPictureSize Thumbnail;
    } sizes[] = {
        {"flag.jpg", {160, 120}, {50, 37}},       {"img_0001.jpg", {160, 106}, {50, 33}},
        {"img_0001_2.jpg", {160, 120}, {50, 37}}, {"sunset.jpg", {60, 120}, {25, 50}},
        {"sunset_2.jpg", {160, 80}, {50, 25}},
    };
    std::vector<std::string> pictures = {"spacer.gif", "thumbs/"};
    for (const auto& size : sizes) {
        pictures.push_back(size.Name);
        EXPECT_EQ(JpegSize(FGallery + prefix + size.Name), size.Picture) << size.Name;
        EXPECT_EQ(JpegQuality(FGallery + prefix + size.Name), 75) << size.Name;
        EXPECT_EQ(JpegSize(FGallery + prefix + "thumbs/" + size.Name), size.Thumbnail) << size.Name;
    }
    std::vector<std::string> inFolder;
    for (const TDirEntry& entry : ListDirectory(FGallery + prefix)) {
        inFolder.push_back(entry.Name + (entry.IsDirectory() ? "/" : ""));
    }
    EXPECT_EQ(Sorted(inFolder), Sorted(pictures));
    EXPECT_NE(Page("index.html").find(prefix + "flag.jpg'"), std::string::npos);
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, TemplateFromFileBringsItsPicturesAndLeavesNoCopyOfItself)
{
    const std::string source = FixtureFolder() + "page.html";
    const std::string before = kvtest::TempFolder::Read(source);
    GallerySettings.TemplateIndex = 0;
    GallerySettings.TemplateFile = source;
    ScanTemplateParams();
    SetParameter("title", "Walk");
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success) << (shown.Messages.empty() ? "" : shown.Messages.front());

    const std::string copies = RandomFolder(FGallery, 12);
    ASSERT_FALSE(copies.empty());
    EXPECT_FALSE(FileExists(FGallery + "template.html"));
    EXPECT_EQ(kvtest::TempFolder::Read(source), before);
    // The import copies the page's picture under a name of its own.
    const std::vector<std::string> copied = FolderTree(FGallery + copies);
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(ExtractFileExt(copied[0]), ".png");
    std::vector<std::string> pages;
    for (const TDirEntry& entry : ListDirectory(FGallery)) {
        if (!entry.IsDirectory()) {
            pages.push_back(entry.Name);
        }
    }
    EXPECT_EQ(pages, (std::vector<std::string>{"index.html", "index2.html", "index3.html"}));
    const std::string last = Page("index3.html");
    EXPECT_NE(last.find("<title>Walk 3/3</title>"), std::string::npos) << last;
    EXPECT_NE(last.find("<img src=\"" + copies + copied[0] + "\""), std::string::npos) << last;
    EXPECT_NE(last.find("<p>index3.html</p>"), std::string::npos) << last;
    // A data URL is no file to copy, whatever its text looks like.
    EXPECT_NE(last.find("<img src=\"data:image/png;base64,iVBORw0KGgo/AAAA.png\""), std::string::npos)
        << last;
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, RunningAgainReplacesEverythingTheFirstRunWrote)
{
    ASSERT_TRUE(Run().Success);
    const std::string first = RandomFolder(FGallery, 8);
    FTemp.Write("web/notes.txt", "left by the user");
    ASSERT_TRUE(Run().Success);
    const std::string second = RandomFolder(FGallery, 8);
    EXPECT_NE(second, first);
    EXPECT_FALSE(DirectoryExists(FGallery + first));
    EXPECT_FALSE(FileExists(FGallery + "notes.txt"));
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, TakesTheFirstPageOfATiffAndDropsOneItCannotShow)
{
    const std::string go = "/usr/share/gocode/src/golang.org/x/image/testdata/";
    ASSERT_TRUE(ForceDirectories(FTemp.File("tiffs/")));
    RunTool("tiffcp " + go + "video-001.tiff " + go + "bw-gopher_ccittGroup4.tiff " +
            FTemp.File("tiffs/scan.tif"));
    RunTool("tiffcp -c g4 " + go + "bw-gopher_ccittGroup3.tiff " + FTemp.File("tiffs/fax.tif"));
    std::filesystem::copy(SourceFolder() + "tests/data/fuzz/tiff/ycbcr-uncompressed.tif",
                          FTemp.File("tiffs/odd.tif"));
    GallerySettings.ImagesPath = FTemp.File("tiffs/");
    const TShownRun shown = Run();
    // The picture left out is named; the gallery holds the other two.
    EXPECT_EQ(shown.Errors, std::vector<std::string>{"The errors have been found while creating the "
                                                     "gallery\r\nodd.tif: cannot be read\r\n"});
    EXPECT_EQ(shown.Files, "Founded 2 files");
    EXPECT_EQ(shown.Icons[3], "check");
    const std::string prefix = RandomFolder(FGallery, 8);
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted({"fax.jpg", "scan.jpg"}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "scan.jpg"), (TPictureSize{150, 103}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "fax.jpg"), (TPictureSize{153, 55}));
    EXPECT_EQ(Page("index.html").find("odd"), std::string::npos);
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, ShippedTemplatesMakeTidyLinkedPagesAndShowTheirPreview)
{
    // The classic table places twelve pictures a page and the cards page eight: thirteen make two
    // pages of each.
    namespace fs = std::filesystem;
    ASSERT_TRUE(ForceDirectories(FTemp.File("many/")));
    for (int i = 0; i < 13; ++i) {
        fs::copy(FixtureImages() + (i % 2 == 0 ? "img_0001.jpg" : "sunset.png"),
                 FTemp.File("many/p" + std::to_string(10 + i) + (i % 2 == 0 ? ".jpg" : ".png")));
    }
    GallerySettings.ImagesPath = FTemp.File("many/");
    for (const char* folder : {"classic", "cards"}) {
        ChooseTemplate(folder);
        const TShownRun shown = Run();
        EXPECT_TRUE(shown.Success) << folder;
        EXPECT_TRUE(FileExists(FGallery + "index2.html")) << folder;
        EXPECT_EQ(Page("index2.html").find("@_"), std::string::npos) << folder;
        ExpectSoundPages(FGallery);
        const std::string preview = GallerySettings.ProgramFolder + "templates/" + folder + "/template.jpg";
        EXPECT_EQ(JpegSize(preview), (TPictureSize{366, 300})) << folder;
    }
    // The classic preview shows the header as the page renders it: the camera logo stands whole,
    // clear of the left edge.
    const auto brightest = [&](const std::string& Area) {
        return std::atof(kvtest::ToolOutput("convert " + GallerySettings.ProgramFolder +
                                            "templates/classic/template.jpg -crop " + Area +
                                            " +repage -colorspace Gray -format '%[fx:maxima]' info:")
                             .c_str());
    };
    EXPECT_LT(brightest("2x30+0+2"), 0.4);
    EXPECT_GT(brightest("40x30+0+2"), 0.8);
}

TEST_F(Gallery, MakesPicturesOfIconsCursorsPcxTgaNetpbmWbmpAndJpeg2000)
{
    const std::string rose = "/usr/share/doc/imagemagick-6-common/html/images/rose.pnm";
    const std::string reftests = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/reftests/";
    const std::string in = FTemp.File("formats/");
    ASSERT_TRUE(ForceDirectories(in));
    std::filesystem::copy(reftests + "squares.ico", in + "a.ico");
    RunTool("pnmtopng " + rose + " > " + in + "rose.png && icotool -c --cursor -X 3 -Y 4 -o " + in +
            "b.cur " + in + "rose.png && rm " + in + "rose.png");
    RunTool("ppmtopcx " + rose + " > " + in + "c.pcx");
    std::filesystem::copy(reftests + "tga/gtk-logo-rle-32bpp-top-left.tga", in + "d.tga");
    std::filesystem::copy(reftests + "tga/gtk-logo-cmap-8bpp-bottom-right.tga", in + "e.pix");
    std::filesystem::copy(rose, in + "f.ppm");
    RunTool("ppmtopgm " + rose + " > " + in + "g.pgm");
    RunTool("ppmtopgm " + rose + " | pgmtopbm -threshold > " + in + "h.pbm");
    RunTool("pbmtowbmp " + in + "h.pbm > " + in + "i.wbmp");
    RunTool("opj_compress -i " + in + "f.ppm -o " + in + "j.jp2");
    RunTool("opj_compress -i " + in + "g.pgm -o " + in + "k.j2k");
    GallerySettings.ImagesPath = in;
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success);
    const std::string prefix = RandomFolder(FGallery, 8);
    const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"};
    std::vector<std::string> jpegs;
    for (const std::string& name : names) {
        jpegs.push_back(name + ".jpg");
    }
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")), Sorted(jpegs));
    const struct
    {
        const char* name;
        TPictureSize size;
    } pictures[] = {
        {"a.jpg", {100, 100}}, {"b.jpg", {70, 46}}, {"c.jpg", {70, 46}}, {"d.jpg", {48, 48}},
        {"e.jpg", {48, 48}},   {"f.jpg", {70, 46}}, {"g.jpg", {70, 46}}, {"h.jpg", {70, 46}},
        {"i.jpg", {70, 46}},   {"j.jpg", {70, 46}}, {"k.jpg", {70, 46}},
    };
    for (const auto& picture : pictures) {
        EXPECT_EQ(JpegSize(FGallery + prefix + picture.name), picture.size) << picture.name;
        EXPECT_NE(JpegSize(FGallery + prefix + "thumbs/" + picture.name).Width, -1) << picture.name;
    }
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, EveryPictureIsWrittenWithTheColoursOfItsOwnSource)
{
    // Greyscale, CMYK and progressive JPEGs alternate with PNG, BMP and GIF pictures, so that each
    // picture follows one whose JPEG settings differ from what it needs.
    GallerySettings.ImagesPath = FixtureFolder() + "mixed/";
    const struct
    {
        const char* Name;
        const char* Look; // colour space and interlace as ImageMagick reads them
    } expected[] = {
        {"a1_grey.jpg", "Gray None"},   {"a2_colour.jpg", "sRGB None"},      {"a3_cmyk.jpg", "CMYK None"},
        {"a4_colour.jpg", "sRGB None"}, {"a5_progressive.jpg", "sRGB JPEG"}, {"a6_grey.jpg", "Gray None"},
        {"a7_colour.jpg", "sRGB None"},
    };
    const auto look = [](const std::string& FileName) {
        return RunTool("identify -format '%[colorspace] %[interlace]' " + Quoted(FileName)).Output;
    };
    for (const int sizeIndex : {0, 6}) {
        GallerySettings.ImageSizeIndex = sizeIndex;
        GallerySettings.ImageWidth = 40;
        GallerySettings.ImageHeight = 40;
        const TShownRun shown = Run();
        ASSERT_TRUE(shown.Success) << sizeIndex;
        const std::string prefix = RandomFolder(FGallery, 8);
        for (const auto& picture : expected) {
            // With the size kept, the GIF stays a GIF; its thumbnail is a colour JPEG all the same.
            const bool keptGif = sizeIndex == 0 && std::string(picture.Name) == "a7_colour.jpg";
            if (!keptGif) {
                EXPECT_EQ(look(FGallery + prefix + picture.Name), picture.Look) << sizeIndex << picture.Name;
            }
            EXPECT_EQ(look(FGallery + prefix + "thumbs/" + picture.Name), picture.Look)
                << sizeIndex << picture.Name;
        }
        EXPECT_TRUE(FileExists(FGallery + prefix + (sizeIndex == 0 ? "a7_colour.gif" : "a7_colour.jpg")));
    }
}

TEST_F(Gallery, MakesPicturesOfAVideoAndOfMetafiles)
{
    // The first frame of an ffmpeg-made video (a red frame, then blue ones) and two metafiles
    // drawn by libuemf, at their own size.
    const std::string in = FTemp.File("media/");
    ASSERT_TRUE(ForceDirectories(in));
    RunTool("ffmpeg -v error -f lavfi -i 'color=c=red:s=64x48:d=0.04,format=bgr24' -f lavfi -i "
            "'color=c=blue:s=64x48:d=0.08' -filter_complex '[0][1]concat' -r 25 -c:v mpeg4 -y " +
            in + "a.avi");
    std::filesystem::copy(std::string(KV_TEST_DATA_DIR) + "/fuzz/metafile/wmf-every-record.wmf",
                          in + "b.wmf");
    std::filesystem::copy(std::string(KV_TEST_DATA_DIR) + "/fuzz/metafile/emf-every-record.emf",
                          in + "c.emf");
    GallerySettings.ImagesPath = in;
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success) << (shown.Errors.empty() ? "" : shown.Errors[0]);
    EXPECT_TRUE(shown.Errors.empty());
    const std::string prefix = RandomFolder(FGallery, 8);
    EXPECT_EQ(Sorted(FolderTree(FGallery + prefix + "thumbs/")),
              (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(JpegSize(FGallery + prefix + "a.jpg"), (TPictureSize{64, 48}));
    // The video's picture is its red first frame.
    EXPECT_EQ(RunTool("convert " + FGallery + prefix + "a.jpg -scale 1x1! -format '%[fx:r>0.8&&b<0.2]' info:")
                  .Output,
              "1");
    // The metafiles at their own size, with something drawn on them.
    for (const char* name : {"b.jpg", "c.jpg"}) {
        EXPECT_EQ(JpegSize(FGallery + prefix + name), (TPictureSize{32, 24})) << name;
        EXPECT_GT(std::atoi(RunTool("identify -format %k " + FGallery + prefix + name).Output.c_str()), 1)
            << name;
        EXPECT_NE(JpegSize(FGallery + prefix + "thumbs/" + name).Width, -1) << name;
    }
    ExpectSoundPages(FGallery);
}

TEST_F(Gallery, EnlargedPicturesOfSmallSourcesMatchThemEnlargedByImageMagick)
{
    // Cards of hard edges in colour and in black and white, 20 and 40 times smaller than the box.
    const std::string in = FTemp.File("small/");
    ASSERT_TRUE(ForceDirectories(in));
    const std::string shapes = "+antialias -fill '#c03020' -draw 'rectangle 2,2 7,6' -fill '#2040c0' -draw "
                               "'rectangle 11,7 17,12' -fill black -draw 'line 0,14 19,0'";
    RunTool("convert -size 20x15 xc:white " + shapes + " " + in + "card.png");
    RunTool("convert -size 20x15 xc:white " + shapes + " -resize 40x30! -type TrueColor " + in + "twice.bmp");
    RunTool("convert -size 20x15 xc:white " + shapes + " -monochrome " + in + "bits.pbm");
    GallerySettings.ImagesPath = in;
    GallerySettings.ImageSizeIndex = 6;
    GallerySettings.ImageWidth = 800;
    GallerySettings.ImageHeight = 600;
    GallerySettings.ImageQuality = 95;
    const TShownRun shown = Run();
    ASSERT_TRUE(shown.Success);
    const std::string prefix = RandomFolder(FGallery, 8);
    for (const char* source : {"card.png", "twice.bmp", "bits.pbm"}) {
        const std::string name = std::string(source).substr(0, std::string(source).find('.'));
        const std::string magick = FTemp.File(name + "-magick.png");
        RunTool("convert " + in + source + " -filter Triangle -resize 800x600! -type TrueColor " + magick);
        const TToolResult psnr =
            RunTool("compare -metric PSNR " + FGallery + prefix + name + ".jpg " + magick + " null:", true);
        EXPECT_GE(std::atof(psnr.Output.c_str()), 35.0) << source << ": " << psnr.Output;
    }
}
