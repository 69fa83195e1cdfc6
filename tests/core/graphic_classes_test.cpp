// The graphic classes through the class library's picture machinery: registration of the 30
// extensions, loading by extension, a TImage showing a loaded PNG, failures, the clipboard form
// and the read-only memory stream.
#include "imaging/core/graphic_classes.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/core/stream_utils.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/picture.h"
#include "tests/core/temp_folder.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string GoImages = "/usr/share/go-1.19/src/image/testdata/";

class GraphicClasses : public TempFolderTest
{
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        Daduvudez::KVRegisterFormats();
    }
    void TearDown() override
    {
        Daduvudez::KVUnregisterFormats();
        TempFolderTest::TearDown();
    }

    std::string CopyAs(const std::string& source, const std::string& name, size_t keep = SIZE_MAX)
    {
        std::ifstream in(source, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bytes.resize(std::min(bytes.size(), keep));
        const std::string path = Folder() + name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return path;
    }
};

// The picture as the I/O component decodes it on its own.
std::unique_ptr<TKVBitmap> Decoded(const std::string& file)
{
    auto bitmap = std::make_unique<TKVBitmap>();
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(bitmap.get());
    io.LoadFromFile(file);
    return bitmap;
}

} // namespace

TEST_F(GraphicClasses, TheExtensionsRegisterAndUnregister)
{
    const struct
    {
        TGraphicClass graphicClass;
        std::vector<const char*> extensions;
    } table[] = {
        {GraphicClassOf<TKVTiffImage>(), {"TIF", "TIFF", "FAX", "G3N", "G3F"}},
        {GraphicClassOf<TKVGifImage>(), {"GIF"}},
        {GraphicClassOf<TKVJpegImage>(), {"JPG", "JPEG", "JPE"}},
        {GraphicClassOf<TKVPCXImage>(), {"PCX"}},
        {GraphicClassOf<TKVBMPImage>(), {"BMP", "DIB", "RLE"}},
        {GraphicClassOf<TKVICOImage>(), {"ICO"}},
        {GraphicClassOf<TKVPNGImage>(), {"PNG"}},
        {GraphicClassOf<TKVTGAImage>(), {"TGA", "TARGA", "VDA", "ICB", "VST", "PIX"}},
        {GraphicClassOf<TKVPXMImage>(), {"PXM", "PPM", "PGM", "PBM", "PNM"}},
        {GraphicClassOf<TKVJP2Image>(), {"JP2"}},
        {GraphicClassOf<TKVJ2KImage>(), {"J2K", "JPC", "J2C"}},
    };
    int32_t count = 0;
    for (const auto& row : table) {
        // A class answers to the names the I/O component's format table gives its format.
        const auto graphic = row.graphicClass();
        const int32_t formatId = dynamic_cast<TKVGraphicBase&>(*graphic).FormatId();
        std::vector<std::string> listed(size_t(Korvaneio::KVFileFormatGetExtCount(formatId)));
        for (size_t i = 0; i < listed.size(); ++i)
            Korvaneio::KVFileFormatGetExt(formatId, int32_t(i), listed[i]);
        EXPECT_EQ(listed, std::vector<std::string>(row.extensions.begin(), row.extensions.end())) << formatId;
        for (const char* extension : row.extensions) {
            EXPECT_EQ(TPicture::FileFormatClass(extension), row.graphicClass) << extension;
            EXPECT_EQ(TPicture::FileFormatClass(std::string(".") + extension), row.graphicClass) << extension;
            ++count;
        }
    }
    EXPECT_EQ(count, 30);
    EXPECT_EQ(TKVJ2KImage().FormatId(), 14);
    EXPECT_EQ(TKVTGAImage().FormatId(), 11);

    Daduvudez::KVUnregisterFormats();
    for (const auto& row : table)
        for (const char* extension : row.extensions) {
            if (std::string(extension) != "BMP") {
                EXPECT_EQ(TPicture::FileFormatClass(extension), nullptr) << extension;
            }
        }
    EXPECT_EQ(TPicture::FileFormatClass("BMP"), GraphicClassOf<TBitmap>());
    Daduvudez::KVRegisterFormats();
}

TEST_F(GraphicClasses, PicturesLoadByExtensionAndShowPixelForPixel)
{
    TPicture picture;
    picture.LoadFromFile(CopyAs(GoImages + "video-001.jpeg", "x.JPE"));
    auto* jpeg = dynamic_cast<TKVJpegImage*>(picture.Graphic());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(picture.Width(), 150);
    EXPECT_EQ(picture.Height(), 103);

    const std::string png = GoImages + "video-001.png";
    TImage image(nullptr);
    image.SetBounds(0, 0, 150, 103);
    image.Picture()->LoadFromFile(png);
    ASSERT_NE(dynamic_cast<TKVPNGImage*>(image.Picture()->Graphic()), nullptr);
    image.Repaint();
    const std::unique_ptr<TKVBitmap> expected = Decoded(png);
    ASSERT_EQ(expected->GetWidth(), 150);
    TBitmap* front = image.FrontImage();
    ASSERT_NE(front, nullptr);
    int32_t wrong = 0;
    for (int32_t y = 0; y < 103; ++y)
        for (int32_t x = 0; x < 150; ++x) {
            const TRGB shown{front->ScanLine(y)[x * 3], front->ScanLine(y)[x * 3 + 1],
                             front->ScanLine(y)[x * 3 + 2]};
            wrong += !(shown == expected->GetPixels_kv24RGB(x, y));
        }
    EXPECT_EQ(wrong, 0);

    // Draw fills exactly the rectangle.
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(40, 40);
    target.Canvas()->Brush()->SetColor(clLime);
    target.Canvas()->FillRect(TRect{0, 0, 40, 40});
    jpeg->Draw(target.Canvas(), TRect{5, 5, 25, 15});
    EXPECT_EQ(target.Canvas()->Pixels(25, 10), clLime);
    EXPECT_EQ(target.Canvas()->Pixels(10, 15), clLime);
    EXPECT_NE(target.Canvas()->Pixels(24, 14), clLime);
}

TEST_F(GraphicClasses, FailuresRaiseAndKeepWhatThePictureHad)
{
    TPicture picture;
    picture.LoadFromFile(CopyAs(GoImages + "video-001.png", "good.png"));
    TGraphic* before = picture.Graphic();
    const std::string truncated = CopyAs(GoImages + "video-001.png", "cut.png", 200);
    EXPECT_THROW(picture.LoadFromFile(truncated), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 150);

    // The picture object itself keeps its pixels when a stream fails.
    auto* png = dynamic_cast<TKVPNGImage*>(picture.Graphic());
    TFileStream cut(truncated, fmOpenRead);
    EXPECT_THROW(png->LoadFromStream(cut), EInvalidGraphic);
    EXPECT_EQ(png->Width(), 150);

    // A failed save raises, and the file it was to replace stays as it was.
    TKVPNGImage empty;
    const std::string kept = CopyAs(GoImages + "video-001.png", "kept.png");
    const std::uintmax_t keptSize = std::filesystem::file_size(kept);
    EXPECT_ANY_THROW(empty.SaveToFile(kept));
    EXPECT_EQ(std::filesystem::file_size(kept), keptSize);
    // A write that comes up short ends the save with Aborting: that is a failure too.
    uint8_t none[1];
    TKVMemStream full(none, 0);
    EXPECT_THROW(png->SaveToStream(full), EInvalidGraphic);
    TMemoryStream out;
    EXPECT_NO_THROW(png->SaveToStream(out));
    EXPECT_GT(out.Size(), 1000);

    // A new picture is not empty; assigning a pf8bit TBitmap changes it to pf24bit.
    TKVGifImage gif;
    EXPECT_FALSE(gif.GetEmpty());
    TBitmap eight;
    eight.SetPixelFormat(pf8bit);
    eight.SetSize(3, 2);
    gif.Assign(&eight);
    EXPECT_EQ(eight.PixelFormat(), pf24bit);
    EXPECT_EQ(gif.Width(), 3);
}

TEST_F(GraphicClasses, ClipboardDibRoundTripsAndOtherFormatsAreIgnored)
{
    TKVPNGImage picture;
    TFileStream file(GoImages + "video-001.png", fmOpenRead);
    picture.LoadFromStream(file);
    uint16_t format = 0;
    HGLOBAL data = nullptr;
    HPALETTE palette = nullptr;
    picture.SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, 8);
    ASSERT_NE(data, nullptr);

    TKVBMPImage pasted;
    pasted.LoadFromClipboardFormat(2, data, nullptr); // CF_BITMAP: ignored
    EXPECT_EQ(pasted.Width(), 0);
    pasted.LoadFromClipboardFormat(8, data, nullptr);
    GlobalFree(data);
    ASSERT_EQ(pasted.Width(), 150);
    int32_t wrong = 0;
    for (int32_t y = 0; y < 103; ++y)
        for (int32_t x = 0; x < 150; ++x)
            wrong +=
                !(pasted.KVBitmap()->GetPixels_kv24RGB(x, y) == picture.KVBitmap()->GetPixels_kv24RGB(x, y));
    EXPECT_EQ(wrong, 0);
}
