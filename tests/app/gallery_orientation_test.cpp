// Camera photos stored sideways or mirrored, with an EXIF orientation that says how to show them,
// and TIFF pages with an Orientation tag: the gallery's pictures and thumbnails fit their boxes as
// a browser shows them, upright, and photos carry orientation 1. exiftool and tiffset make the
// eight orientations of one picture; ImageMagick's -auto-orient is the upright reference.
#include "app/settings.h"
#include "tests/app/gallery_run_fixture.h"
#include "tests/app/gallery_run_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

using namespace gallerytest;

namespace {

// What exiftool reads of a picture: its orientation, as a number ("-" when it carries none), and
// its maker.
struct TExifRead
{
    std::string Orientation;
    std::string Make;
};

// The pictures of the folder and of its "thumbs/" folder by their path below it, read by one
// exiftool run.
std::map<std::string, TExifRead> ReadExif(const std::string& Folder)
{
    const std::string table =
        RunTool("cd " + Quoted(Folder) +
                " && exiftool -T -n -Directory -FileName -Orientation -Make *.jpg thumbs/*.jpg")
            .Output;
    std::map<std::string, TExifRead> read;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string folder, name;
        TExifRead exif;
        std::getline(fields, folder, '\t');
        std::getline(fields, name, '\t');
        std::getline(fields, exif.Orientation, '\t');
        std::getline(fields, exif.Make, '\t');
        read[(folder == "." ? "" : folder + "/") + name] = exif;
    }
    return read;
}

// The size a browser shows: the stored one, its sides swapped by orientations 5 to 8.
TPictureSize ShownSize(const std::string& FileName, const TExifRead& Exif)
{
    TPictureSize size = JpegSize(FileName);
    if (std::atoi(Exif.Orientation.c_str()) >= 5) {
        std::swap(size.Width, size.Height);
    }
    return size;
}

// How far the picture is from the upright source scaled to its size, in levels of 255.
double LevelsFromUpright(const std::string& Picture, const std::string& Source, const std::string& Scratch)
{
    const TPictureSize size = JpegSize(Picture);
    RunTool("convert " + Quoted(Source) + " -auto-orient -filter Triangle -resize " +
            std::to_string(size.Width) + "x" + std::to_string(size.Height) + "! " + Quoted(Scratch));
    const std::string rmse =
        RunTool("compare -metric RMSE " + Quoted(Picture) + " " + Quoted(Scratch) + " null:", true).Output;
    double normalised = 255;
    std::sscanf(rmse.c_str(), "%*f (%lf)", &normalised);
    return normalised * 255;
}

// The 120 x 90 picture that is stored turned.
const std::string Drawing =
    "convert -size 120x90 -seed 7 plasma:fractal -blur 0x2 -fill white -draw 'rectangle 8,6 40,20' ";

// Galleries of the pictures kept at their size (index 0) and fitted into 80 x 60, with 40 x 30
// thumbnails.
struct TUprightCase
{
    int32_t SizeIndex;
    TPictureSize Landscape, Portrait;           // the pictures as shown
    TPictureSize LandscapeThumb, PortraitThumb; // the thumbnails as shown
    double Levels;                              // off the upright source at most
};
const TUprightCase UprightCases[] = {
    {0, {120, 90}, {90, 120}, {40, 30}, {22, 30}, 3},
    {6, {80, 60}, {45, 60}, {40, 30}, {22, 30}, 6},
};

void UseSmallBoxes(const std::string& Images)
{
    GallerySettings.ImagesPath = Images;
    GallerySettings.ImageWidth = 80;
    GallerySettings.ImageHeight = 60;
    GallerySettings.IconWidth = 40;
    GallerySettings.IconHeight = 30;
    GallerySettings.ImageQuality = 95;
}

} // namespace

TEST_F(Gallery, PortraitPhotosFitTheirBoxesUprightWithOrientationOne)
{
    // One 120 x 90 photo, stored as a camera stores it, with each of the eight orientations, and
    // once more without EXIF data.
    const std::string in = FTemp.File("camera/");
    ASSERT_TRUE(ForceDirectories(in));
    RunTool(Drawing + "-quality 95 " + in + "plain.jpg");
    // One exiftool run makes them all, a command for each.
    std::string commands;
    for (int orientation = 1; orientation <= 8; ++orientation) {
        commands += "-o\n" + in + "o" + std::to_string(orientation) +
                    ".jpg\n-n\n-Orientation=" + std::to_string(orientation) + "\n-Make=Daskor\n" + in +
                    "plain.jpg\n-execute\n";
    }
    FTemp.Write("exiftool.args", commands);
    RunTool("exiftool -q -@ " + Quoted(FTemp.File("exiftool.args")));
    const std::map<std::string, TExifRead> sources = ReadExif(in);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        ASSERT_EQ(sources.at("o" + std::to_string(orientation) + ".jpg").Orientation,
                  std::to_string(orientation));
    }
    UseSmallBoxes(in);
    for (const TUprightCase& c : UprightCases) {
        SCOPED_TRACE(c.SizeIndex);
        GallerySettings.ImageSizeIndex = c.SizeIndex;
        const TShownRun shown = Run();
        ASSERT_TRUE(shown.Success);
        const std::string pictures = FGallery + RandomFolder(FGallery, 8);
        const std::map<std::string, TExifRead> written = ReadExif(pictures);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(orientation);
            const std::string name = "o" + std::to_string(orientation) + ".jpg";
            const bool portrait = orientation >= 5;
            const TExifRead& picture = written.at(name);
            const TExifRead& thumbnail = written.at("thumbs/" + name);
            EXPECT_EQ(ShownSize(pictures + name, picture), portrait ? c.Portrait : c.Landscape);
            EXPECT_EQ(ShownSize(pictures + "thumbs/" + name, thumbnail),
                      portrait ? c.PortraitThumb : c.LandscapeThumb);
            EXPECT_EQ(picture.Orientation, "1");
            EXPECT_EQ(thumbnail.Orientation, "1");
            EXPECT_LE(LevelsFromUpright(pictures + name, in + name, FTemp.File("upright.ppm")), c.Levels);
            // The other EXIF fields stay.
            EXPECT_EQ(picture.Make, "Daskor");
        }
        // A photo without EXIF data, and one of orientation 1, are not turned: their pixels are the same.
        EXPECT_EQ(written.at("plain.jpg").Orientation, "-");
        EXPECT_EQ(RunTool("djpeg " + pictures + "plain.jpg").Output,
                  RunTool("djpeg " + pictures + "o1.jpg").Output);
    }
}

// Scanner and fax pages keep their orientation in the TIFF Orientation tag, without EXIF data:
// they are turned upright as the EXIF orientation turns photos, before they are fitted.
TEST_F(Gallery, TiffPagesTurnUprightByTheirOrientationTag)
{
    const std::string in = FTemp.File("scans/");
    ASSERT_TRUE(ForceDirectories(in));
    RunTool(Drawing + "-alpha off -depth 8 -type TrueColor -compress none " + in + "t1.tif");
    std::string commands;
    for (int orientation = 2; orientation <= 8; ++orientation) {
        const std::string name = in + "t" + std::to_string(orientation) + ".tif";
        commands += "cp " + in + "t1.tif " + name + " && tiffset -s 274 " + std::to_string(orientation) +
                    " " + name + " && ";
    }
    RunTool(commands + "true");
    ASSERT_EQ(RunTool("exiftool -s3 -n -Orientation " + in + "t7.tif").Output, "7\n");
    UseSmallBoxes(in);
    for (const TUprightCase& c : UprightCases) {
        SCOPED_TRACE(c.SizeIndex);
        GallerySettings.ImageSizeIndex = c.SizeIndex;
        ASSERT_TRUE(Run().Success);
        const std::string pictures = FGallery + RandomFolder(FGallery, 8);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(orientation);
            const std::string name = "t" + std::to_string(orientation) + ".jpg";
            const bool portrait = orientation >= 5;
            EXPECT_EQ(JpegSize(pictures + name), portrait ? c.Portrait : c.Landscape);
            EXPECT_EQ(JpegSize(pictures + "thumbs/" + name), portrait ? c.PortraitThumb : c.LandscapeThumb);
            EXPECT_LE(LevelsFromUpright(pictures + name, in + "t" + std::to_string(orientation) + ".tif",
                                        FTemp.File("upright.ppm")),
                      c.Levels);
        }
    }
}
