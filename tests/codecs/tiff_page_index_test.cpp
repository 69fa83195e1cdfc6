// The pages of a TIFF read one by one from one walk of its directory chain, against reading each
// by walking the chain from the start.
#include "imaging/codecs/tiff/tiffilt.h"

#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/codecs/tiff_support.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace kvtifftest;

// Every page of Go's samples and of the damaged files of the fuzz corpora reads as the whole
// chain's walk reads it: the same failures, and for a page that reads the same page count, values
// and pixels. Past the last page the index reads nothing, where the walk counts as many pages.
TEST(TiffPageIndex, ReadsEachPageAsAWalkFromTheStartDoes)
{
    const std::string data = KV_TEST_DATA_DIR;
    const auto files = kvtest::FilesIn(
        {GoData(""), data + "/fuzz/tiff", data + "/fuzz/tiffpages", data + "/fuzz/mio"}, ".tif");
    ASSERT_GT(files.size(), 80u);
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        TMemoryStream stream;
        stream.LoadFromFile(file);
        Tiffilt::TTIFFPageIndex index(stream);
        // The walk from the start reads the chain once a page: many pages are left to the
        // multi-image component's tests.
        if (index.Count() > 64)
            continue;
        for (int32_t page = 0; page <= index.Count(); ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            TTiffRead walked, indexed;
            stream.SetPosition(0);
            ReadTiff(stream, walked, page);
            TProgressRec progress;
            progress.Aborting = &indexed.Aborted;
            index.ReadPage(page, &indexed.Bitmap, indexed.Params, progress, indexed.Alpha, false);
            if (page == index.Count()) {
                EXPECT_EQ(walked.Pages, index.Count());
                EXPECT_EQ(indexed.Bitmap.GetWidth(), 0);
                // It fails only where the walk fails too: on a header neither can read.
                EXPECT_TRUE(!indexed.Aborted || walked.Aborted);
                continue;
            }
            ASSERT_EQ(indexed.Aborted, walked.Aborted);
            if (walked.Aborted)
                continue;
            const TIOParamsVals& a = indexed.Params;
            const TIOParamsVals& b = walked.Params;
            EXPECT_EQ(
                std::make_tuple(a.TIFF_ImageCount, a.Width, a.Height, a.BitsPerSample, a.SamplesPerPixel,
                                a.TIFF_Compression, a.DpiX, a.TIFF_PageName, a.EXIF_HasEXIFData),
                std::make_tuple(b.TIFF_ImageCount, b.Width, b.Height, b.BitsPerSample, b.SamplesPerPixel,
                                b.TIFF_Compression, b.DpiX, b.TIFF_PageName, b.EXIF_HasEXIFData));
            const TRgbImage pixels = RgbOf(indexed.Bitmap, indexed.Alpha.get());
            const TRgbImage expected = RgbOf(walked.Bitmap, walked.Alpha.get());
            EXPECT_EQ(std::tie(pixels.Width, pixels.Height, pixels.Rgb, pixels.Alpha),
                      std::tie(expected.Width, expected.Height, expected.Rgb, expected.Alpha));
        }
    }
}

} // namespace
