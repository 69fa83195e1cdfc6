// TIFF pages read and saved again as TIFF with the parameters they were read with, as a user's
// load and save does: libtiff reads the page and the saved file alike as the pixels that were read. CMYK
// pages are saved as CMYK and keep their colours as libtiff (and our reader) turn them into RGB. Left out, as
// the writer cannot keep it yet: alpha (it writes none).
#include "imaging/codecs/tiff/tiffilt.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>

namespace {

using namespace kvtifftest;

class TiffRoundTrip : public TTiffSamples
{
};

// Saves the picture read with its own parameters; false when the writer failed.
bool SaveAsRead(TTiffRead& read, const std::string& fileName)
{
    bool aborting = false;
    TProgressRec progress = kvtest::ProgressInto(aborting);
    TFileStream stream(fileName, fmCreate);
    Tiffilt::TIFFWriteStream(stream, false, &read.Bitmap, read.Params, progress);
    return !aborting;
}

// Every lossless layout whose pixels the writer can hold: a layout the reader decodes, saved with
// the record the read filled in, comes back with the same pixels.
TEST_F(TiffRoundTrip, SavedPagesKeepThePixelsTheyWereReadWith)
{
    for (const TSampleLayout& c : Layouts()) {
        if (!c.SavedWhole) {
            continue;
        }
        SCOPED_TRACE(c.Name);
        const std::string file = F(c.Name);
        Run(c.Command + " " + file);
        TTiffRead read;
        ASSERT_TRUE(ReadTiffFile(file, read));
        EXPECT_EQ(MaxDifference(Tiff2Rgba(file), RgbOf(read.Bitmap)), 0);
        const std::string saved = F("saved.tif");
        ASSERT_TRUE(SaveAsRead(read, saved));
        int status = -1;
        const std::string info = Tool("tiffinfo -D " + saved + " 2>&1", &status);
        EXPECT_EQ(status, 0) << info;
        EXPECT_EQ(info.find("Error"), std::string::npos) << info;
        if (read.Params.TIFF_PhotometInterpret == ioTIFF_CMYK) {
            EXPECT_NE(info.find("Photometric Interpretation: separated"), std::string::npos) << info;
        }
        EXPECT_EQ(MaxDifference(RgbOf(read.Bitmap), Tiff2Rgba(saved)), 0);
    }
}

// ImageMagick writes CMYK with all of its grey in the key (K = 255 - the brightest of red, green
// and blue), as the writer does: such a page read and saved again keeps every sample, black
// included. (Pages whose key holds less of the grey keep their colours, not their samples.)
TEST_F(TiffRoundTrip, CmykPagesWithTheirGreyInTheKeyKeepTheirSamples)
{
    const std::string file = F("cmyk-key.tif");
    Run("convert " + F("photo.ppm") + " -fill black -draw 'rectangle 0,0,9,9' -colorspace CMYK -depth 8 " +
        file);
    TTiffRead read;
    ASSERT_TRUE(ReadTiffFile(file, read));
    const std::string saved = F("saved-key.tif");
    ASSERT_TRUE(SaveAsRead(read, saved));
    const std::string before = Tool("convert " + file + " cmyk:-");
    const std::string after = Tool("convert " + saved + " cmyk:-");
    ASSERT_EQ(before.size(), size_t(4 * 150 * 103));
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::transform_reduce(before.begin(), before.end(), after.begin(), 0, std::plus<>(),
                                    std::not_equal_to<>()),
              0);
}

} // namespace
