// The EXIF picture size of the gallery's photos and thumbnails: the size they are written at, as
// the gallery keeps, fits and turns them, whatever the photo said.
#include "app/settings.h"
#include "tests/app/gallery_run_fixture.h"
#include "tests/app/gallery_run_test_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace gallerytest;

TEST_F(Gallery, PhotosTellTheSizeTheyAreWrittenAt)
{
    // A 120 x 90 photo that says so, shown as stored and turned a quarter, and a 640 x 480 one
    // that says 6000 x 4000.
    const std::string in = FTemp.File("camera/");
    ASSERT_TRUE(ForceDirectories(in));
    RunTool(
        "convert -size 120x90 plasma:fractal " + in + "plain.jpg && cd " + in +
        " && exiftool -q -n -ExifImageWidth=120 -ExifImageHeight=90 -o stored.jpg plain.jpg"
        " && exiftool -q -n -Orientation=6 -o turned.jpg stored.jpg && rm plain.jpg"
        " && convert -size 640x480 xc:gray plain.jpg"
        " && exiftool -q -n -ExifImageWidth=6000 -ExifImageHeight=4000 -o big.jpg plain.jpg && rm plain.jpg");
    GallerySettings.ImagesPath = in;
    GallerySettings.ImageWidth = 80;
    GallerySettings.ImageHeight = 60;
    GallerySettings.IconWidth = 40;
    GallerySettings.IconHeight = 30;
    // Pictures kept at their size (index 0) and fitted into 80 x 60, then the thumbnails.
    for (const auto& [index, sizes] :
         {std::pair(0, "big.jpg 640 480\nstored.jpg 120 90\nturned.jpg 90 120\n"),
          std::pair(6, "big.jpg 80 60\nstored.jpg 80 60\nturned.jpg 45 60\n")}) {
        GallerySettings.ImageSizeIndex = index;
        ASSERT_TRUE(Run().Success);
        EXPECT_EQ(
            RunTool("cd " + Quoted(FGallery + RandomFolder(FGallery, 8)) +
                    " && exiftool -q -p '$FileName $ExifImageWidth $ExifImageHeight' *.jpg thumbs/*.jpg")
                .Output,
            sizes + std::string("big.jpg 40 30\nstored.jpg 40 30\nturned.jpg 22 30\n"));
    }
}
