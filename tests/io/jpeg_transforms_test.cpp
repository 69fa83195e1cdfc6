// Lossless JPEG transforms from file to file: the turned picture when it works, no file at all
// when it does not.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

using namespace kviotest;

TEST(JpegTransformFiles, WritesTheResultOrNothing)
{
    kvtest::TempFolder folder;
    const std::string photo = GoImage("video-001.q50.420.jpeg");
    const std::string cmyk = GoImage("video-001.cmyk.jpeg");
    ASSERT_TRUE(kvtest::Installed({photo, cmyk}));
    // 150 x 103 in 16 x 16 MCUs: a quarter turn keeps the 96 rows of whole MCUs as its width.
    EXPECT_TRUE(Korvaneio::JpegLosslessTransform(photo, folder.File("turned.jpg"), jtRotate90, false,
                                                 jcCopyNone, {}));
    TKorvaneIO io(nullptr);
    io.LoadFromFile(folder.File("turned.jpg"));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 96);
    EXPECT_EQ(io.KVBitmap()->GetHeight(), 150);

    const struct
    {
        const char* name;
        std::string input;
        TKVJpegTransform transform;
        bool grey;
        TRect cut;
    } failures[] = {
        {"missing input", folder.File("missing.jpg"), jtRotate90, false, {}},
        {"grey of CMYK", cmyk, jtRotate90, true, {}},
        {"empty cut", photo, jtCut, false, {50, 50, 40, 60}},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.name);
        EXPECT_FALSE(Korvaneio::JpegLosslessTransform(f.input, folder.File("out.jpg"), f.transform, f.grey,
                                                      jcCopyAll, f.cut));
        EXPECT_FALSE(FileExists(folder.File("out.jpg")));
    }
    EXPECT_FALSE(Korvaneio::JpegLosslessTransform(photo, folder.File("no/such/folder/out.jpg"), jtNone, false,
                                                  jcCopyNone, {}));

    TMemoryStream input, output;
    input.LoadFromFile(photo);
    EXPECT_TRUE(
        Korvaneio::JpegLosslessTransformStream(input, output, jtCut, false, jcCopyNone, {20, 20, 59, 59}));
    output.SetPosition(0);
    TKorvaneIO cut(nullptr);
    cut.LoadFromStream(output);
    EXPECT_EQ(cut.KVBitmap()->GetWidth(), 48);
}
