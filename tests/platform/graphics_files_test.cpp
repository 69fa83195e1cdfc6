// TBitmap against BMP files that no one here wrote: gdk-pixbuf's reference image with bit-field
// masks, its must-fail files and its randomly modified files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/streams.h"
#include "platform/graphics/graphics.h"
#include "tests/support/tools.h"

namespace {

const std::string kImages = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/";

// The RGBA bytes of an image file, decoded by ImageMagick.
std::vector<uint8_t> DecodeRgba(const std::string& path)
{
    const std::string bytes = kvtest::ToolOutput("convert '" + path + "' -depth 8 rgba:-");
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

} // namespace

TEST(BmpFiles, BitFieldMasksMatchTheReferenceImage)
{
    const std::string file = kImages + "reftests/mandatory-bitmasks.bmp";
    ASSERT_TRUE(kvtest::Installed(file));
    TBitmap bitmap;
    bitmap.LoadFromFile(file); // a 56-byte header, 32 bits, red mask 0xFF000000
    ASSERT_EQ(bitmap.Width(), 350);
    ASSERT_EQ(bitmap.Height(), 400);
    const std::vector<uint8_t> reference = DecodeRgba(file + ".ref.png");
    ASSERT_EQ(reference.size(), size_t(350 * 400 * 4));
    int compared = 0;
    for (int32_t y = 0; y < 400; ++y) {
        for (int32_t x = 0; x < 350; ++x) {
            const uint8_t* ref = &reference[size_t(y * 350 + x) * 4];
            if (ref[3] != 255) {
                continue; // the reference has the alpha mask applied; colours are compared where opaque
            }
            const COLORREF c = COLORREF(bitmap.Canvas()->Pixels(x, y));
            ASSERT_EQ(c, RGB(ref[0], ref[1], ref[2])) << x << "," << y;
            ++compared;
        }
    }
    EXPECT_GT(compared, 60000);
}

TEST(BmpFiles, BrokenFilesFailCleanly)
{
    // Each must-fail file raises EInvalidGraphic; a randomly modified one either loads or raises
    // it, and never reads or writes out of bounds (the sanitizers watch).
    struct Case
    {
        const char* file;
        bool mustFail;
    };
    const Case cases[] = {
        {"fail/bug776694.bmp", true},                      // RLE4 with a huge width
        {"fail/invalid.1.bmp", true},                      // compression code out of range
        {"fail/bug777315.bmp", true},                      // width near 2^30 with bit fields
        {"randomly-modified/bmp-line-overflow.bmp", true}, // a row longer than 4 GiB
        {"randomly-modified/bug775242.bmp", true},         // height of -2^31
        {"randomly-modified/decodecolormap.bmp", false},
        {"randomly-modified/valid.1.bmp", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = kImages + c.file;
        ASSERT_TRUE(kvtest::Installed(path));
        TBitmap bitmap;
        bool failed = false;
        try {
            bitmap.LoadFromFile(path);
        } catch (const EInvalidGraphic&) {
            failed = true;
        }
        if (c.mustFail) {
            EXPECT_TRUE(failed);
            EXPECT_TRUE(bitmap.Empty());
        } else if (!failed) {
            EXPECT_FALSE(bitmap.Empty());
        }
    }
}

TEST(BmpFiles, EveryTruncationOfAFileFailsCleanly)
{
    // Every prefix of a valid 4-bit file: the header, the table or the rows end early.
    TBitmap source;
    source.SetPixelFormat(pf4bit);
    source.SetSize(5, 3);
    source.Canvas()->Brush()->SetColor(clRed);
    source.Canvas()->FillRect(Rect(1, 1, 4, 2));
    TMemoryStream whole;
    source.SaveToStream(whole);
    const auto* bytes = static_cast<const uint8_t*>(whole.Memory());
    for (int64_t length = 0; length < whole.Size(); ++length) {
        TMemoryStream prefix;
        prefix.WriteBuffer(bytes, length);
        prefix.SetPosition(0);
        TBitmap bitmap;
        EXPECT_THROW(bitmap.LoadFromStream(prefix), EInvalidGraphic) << length;
    }
    whole.SetPosition(0);
    TBitmap complete;
    complete.LoadFromStream(whole);
    EXPECT_EQ(complete.Canvas()->Pixels(2, 1), clRed);
    EXPECT_EQ(complete.Canvas()->Pixels(0, 0), clBlack);
}

TEST(BmpFiles, ReadsTheRowsWhereTheFileHeaderPointsThem)
{
    // A writer may leave a gap between the colour table and the rows.
    TBitmap source;
    source.SetPixelFormat(pf24bit);
    source.SetSize(2, 2);
    source.Canvas()->SetPixels(1, 1, clLime);
    TMemoryStream plain;
    source.SaveToStream(plain);
    std::vector<uint8_t> file(static_cast<const uint8_t*>(plain.Memory()),
                              static_cast<const uint8_t*>(plain.Memory()) + plain.Size());
    file.insert(file.begin() + 54, 10, 0xEE);
    file[10] = 54 + 10; // bfOffBits
    TMemoryStream gapped;
    gapped.WriteBuffer(file.data(), int64_t(file.size()));
    gapped.SetPosition(0);
    TBitmap bitmap;
    bitmap.LoadFromStream(gapped);
    EXPECT_EQ(bitmap.Canvas()->Pixels(1, 1), clLime);
    EXPECT_EQ(bitmap.Canvas()->Pixels(0, 0), clBlack);
}
