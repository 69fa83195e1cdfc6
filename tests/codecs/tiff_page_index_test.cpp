// The pages of a TIFF read from one walk of its directory chain, against walking it for each.
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

// Go's samples and the damaged files of the fuzz corpora: the same page count, failures, values and pixels.
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
        // The walk from the start reads the chain once a page: many pages are the multi-image tests'.
        if (index.Count() > 64)
            continue;
        for (int32_t page = 0; page < index.Count(); ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            TTiffRead walked, indexed;
            stream.SetPosition(0);
            ReadTiff(stream, walked, page);
            TProgressRec progress = kvtest::ProgressInto(indexed.Aborted);
            index.ReadPage(page, &indexed.Bitmap, indexed.Params, progress, indexed.Alpha, false);
            ASSERT_EQ(walked.Pages, index.Count());
            ASSERT_EQ(indexed.Aborted, walked.Aborted);
            if (walked.Aborted)
                continue;
            auto values = [](TTiffRead& read) {
                const TIOParamsVals& p = read.Params;
                const TRgbImage pixels = RgbOf(read.Bitmap, read.Alpha.get());
                return std::make_tuple(p.TIFF_ImageCount, p.Width, p.Height, p.BitsPerSample,
                                       p.SamplesPerPixel, p.TIFF_Compression, p.DpiX, p.TIFF_PageName,
                                       p.EXIF_HasEXIFData, pixels.Width, pixels.Rgb, pixels.Alpha);
            };
            EXPECT_EQ(values(indexed), values(walked));
        }
    }
}

} // namespace
