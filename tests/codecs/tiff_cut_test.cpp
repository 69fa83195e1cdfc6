// TIFF pages whose data ends before their last row: files cut inside a strip or tile, byte counts
// shorter than the rows they hold and strips that claim the whole page, in every compression.
// Each sets the abort flag, keeps the rows before the damage as libtiff decodes them and leaves
// the rows it never reached black; libtiff reports each of them too.
#include "imaging/codecs/tiff/tiffilt.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"

#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace kvtifftest;

class TiffCut : public TTiffSamples
{
};

struct TCutLayout
{
    const char* Name;
    std::string Command; // makes a page from the samples into the file named after it
    int32_t TileWidth;   // 0 for strips
    int32_t BlockRows;   // rows per strip or tile
};

std::vector<TCutLayout> CutLayouts(const std::string& photo, const std::string& page)
{
    return {
        {"none", "tiffcp -c none -r 10 " + photo, 0, 10},
        {"lzw", "tiffcp -c lzw:2 -r 10 " + photo, 0, 10},
        {"packbits", "tiffcp -c packbits -r 10 " + photo, 0, 10},
        {"deflate", "tiffcp -c zip -r 10 " + photo, 0, 10},
        {"jpeg", "tiffcp -c jpeg -r 16 " + photo, 0, 16},
        {"g3", "tiffcp -c g3 -r 16 " + page, 0, 16},
        {"g3-2d", "tiffcp -c g3:2d -r 16 " + page, 0, 16},
        {"g4", "tiffcp -c g4 -r 16 " + page, 0, 16},
        {"tiles lzw", "tiffcp -c lzw -t -w 32 -l 32 " + photo, 32, 32},
        {"tiles jpeg", "tiffcp -c jpeg -t -w 32 -l 32 " + photo, 32, 32},
        {"tiles g4", "tiffcp -c g4 -t -w 64 -l 16 " + page, 64, 16},
    };
}

// What libtiff reports while it decodes a file (tiffcp's messages).
std::string LibtiffSays(const std::string& fileName)
{
    kvtest::TempFolder folder;
    return Tool("tiffcp -c none " + fileName + " " + folder.File("out.tif") + " 2>&1");
}

// libtiff fails to read the page, or warns that its fax data ends early.
bool LibtiffComplains(const std::string& fileName)
{
    const std::string said = LibtiffSays(fileName);
    return said.find("Error, can't read") != std::string::npos ||
           said.find("Premature EOF") != std::string::npos;
}

// The first strip or tile holds what libtiff decodes of the undamaged file, and every row from
// blackFrom on is black.
void ExpectKeptAndBlack(TTiffRead& read, const TRgbImage& whole, const TCutLayout& layout, int32_t blackFrom)
{
    const TRgbImage ours = RgbOf(read.Bitmap);
    ASSERT_EQ(ours.Width, whole.Width);
    ASSERT_EQ(ours.Height, whole.Height);
    const int32_t keptWidth = layout.TileWidth > 0 ? layout.TileWidth : whole.Width;
    int32_t rowsDiffering = 0;
    for (int32_t y = 0; y < layout.BlockRows; ++y) {
        const auto row = ptrdiff_t(y) * whole.Width * 3;
        rowsDiffering += !std::equal(ours.Rgb.begin() + row, ours.Rgb.begin() + row + keptWidth * 3,
                                     whole.Rgb.begin() + row);
    }
    EXPECT_EQ(rowsDiffering, 0);
    int32_t notBlack = 0;
    for (int32_t y = blackFrom; y < whole.Height; ++y) {
        notBlack += !kvtest::RowCleared(read.Bitmap, y);
    }
    EXPECT_EQ(notBlack, 0);
}

// Each layout damaged three ways: the file cut inside its second strip or tile (its directory
// first, as some writers place it), the second byte count halved while the file holds every byte,
// and RowsPerStrip past the page, so that the first strip claims rows its data does not hold.
// Inside a JPEG strip the JPEG rule holds instead of the byte count: a cut scan is padded and
// counted as a warning.
TEST_F(TiffCut, DataThatEndsBeforeTheLastRowFailsAndLeavesTheRowsPastItBlack)
{
    for (const TCutLayout& layout : CutLayouts(F("photo.tif"), F("page.tif"))) {
        SCOPED_TRACE(layout.Name);
        const std::string made = F("made.tif");
        Run(layout.Command + " " + made);
        const TRgbImage whole = Tiff2Rgba(made);
        const TRelaid relaid = DirectoryFirst(FileBytes(made));
        ASSERT_GE(relaid.Offsets.size(), 3u);
        WriteFile(F("cut.tif"),
                  Bytes(relaid.File.begin(), relaid.File.begin() + relaid.Offsets[1] + relaid.Counts[1] / 2));
        std::vector<uint32_t> halved = relaid.Counts;
        halved[1] /= 2;
        WriteFile(F("short.tif"), DirectoryFirst(FileBytes(made), halved).File);
        // libtiff reads uncompressed strips by their place in the file instead.
        const bool claims = layout.TileWidth == 0 && std::string(layout.Name) != "none";
        Run("cp " + made + " " + F("claim.tif") + " && tiffset -s 278 2147483649 " + F("claim.tif"));
        const bool jpeg = std::string(layout.Name).find("jpeg") != std::string::npos;
        // With the damage in the second strip or tile: the rows from the third strip or from the
        // second row of tiles on.
        const int32_t pastSecond = layout.TileWidth > 0 ? layout.BlockRows : 2 * layout.BlockRows;
        const struct
        {
            const char* File;
            bool Fails;
            int32_t BlackFrom;
        } damages[] = {
            {"cut.tif", true, pastSecond},
            {"short.tif", !jpeg, pastSecond},
            {"claim.tif", true, layout.BlockRows},
        };
        for (const auto& d : damages) {
            if (!claims && d.File == std::string("claim.tif")) {
                continue;
            }
            SCOPED_TRACE(d.File);
            TTiffRead read;
            ReadTiffFile(F(d.File), read);
            EXPECT_EQ(read.Aborted, d.Fails);
            EXPECT_EQ(LibtiffComplains(F(d.File)), d.Fails);
            if (d.Fails) {
                ExpectKeptAndBlack(read, whole, layout, d.BlackFrom);
            } else {
                EXPECT_NE(LibtiffSays(F(d.File)).find("Premature end of JPEG"), std::string::npos);
                EXPECT_GE(read.Params.JPEG_WarningTot, 1);
            }
        }
    }
}

// A strip claiming 35.7 MB is no damage where the file's bytes give every row, in every compression;
// libtiff warns and reads the uncompressed page likewise.
TEST_F(TiffCut, AByteCountPastTheEndLoadsTheRowsTheFileHolds)
{
    for (const std::string options : {"none", "lzw:2", "packbits", "zip", "jpeg", "g4"}) {
        SCOPED_TRACE(options);
        const std::string made = F("made.tif");
        Run("tiffcp -r 100000 -c " + options + " " + F(options == "g4" ? "page.tif" : "photo.tif") + " " +
            made);
        const TRelaid relaid = DirectoryFirst(FileBytes(made), {35700000});
        ASSERT_EQ(relaid.Offsets.size(), 1u);
        WriteFile(F("long.tif"), relaid.File);
        const TRgbImage whole = Tiff2Rgba(made);
        TTiffRead read;
        EXPECT_TRUE(ReadTiffFile(F("long.tif"), read));
        EXPECT_EQ(read.Params.JPEG_WarningTot, 0);
        EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), whole), 0);
        if (options == "none") {
            EXPECT_NE(LibtiffSays(F("long.tif")).find("Bogus \"StripByteCounts\""), std::string::npos);
            EXPECT_EQ(MaxDifference(Tiff2Rgba(F("long.tif")), whole), 0);
        }
    }
}

} // namespace
