// The open and save dialogs' texts: the filter built from the format table (the table's own
// example and the caller's extra entries), the file-name rules, and the information lines.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/dialogs/opensave_texts.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvaneio_globals.h"
#include "tests/dialogs/opensave_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace Kvopensavedlg;

using namespace opensavetest;

namespace {

TEST(OpenSaveFilter, BuiltFromTheFormatTable)
{
    {
        OnlyFormats only({Record(3, "J", "JPG;JPEG", true, true), Record(1, "T", "TIF;TIFF", true, false),
                          Record(50, "W", "WO", false, true)});
        EXPECT_EQ(BuildStrFilter(false, "X|*.x", msEnglish),
                  "All graphics|*.jpg;*.jpeg;*.tif;*.tiff;*.avi;*.x|J (JPG;JPEG)|*.jpg;*.jpeg|T "
                  "(TIF;TIFF)|*.tif;*.tiff"
                  "|Video for Windows (AVI)|*.avi|X|*.x");
        // A save dialog offers what can be written, without an all-pictures entry.
        EXPECT_EQ(BuildStrFilter(true, "", msEnglish),
                  "J (JPG;JPEG)|*.jpg;*.jpeg|W (WO)|*.wo|Video for Windows (AVI)|*.avi");
        const std::string extra = BuildStrFilter(false, "A|*.a;*.b|B|*.c", msEnglish);
        EXPECT_EQ(extra.substr(extra.size() - 16), "|A|*.a;*.b|B|*.c");
        const std::string all = extra.substr(0, extra.find("|J ("));
        EXPECT_EQ(all.substr(all.size() - 12), ";*.a;*.b;*.c");
    }
    // The real table: without LZW coders GIF is offered neither for opening nor for saving.
    const std::string open = BuildStrFilter(false, "", msEnglish);
    const std::string save = BuildStrFilter(true, "", msEnglish);
    EXPECT_EQ(open.find("*.gif"), std::string::npos);
    EXPECT_EQ(save.find("*.gif"), std::string::npos);
    EXPECT_EQ(open.rfind("All graphics|", 0), 0u);
    EXPECT_NE(save[0], '|');
    EXPECT_EQ(save.substr(save.size() - 30), "|Video for Windows (AVI)|*.avi");
    EXPECT_NE(open.find("*.jpg"), std::string::npos);
    EXPECT_EQ(DefaultSaveFilter().find("GIF"), std::string::npos);
}

TEST(OpenSaveFilter, SaveParameterPagesFollowTheExtension)
{
    const struct
    {
        std::vector<const char*> Exts;
        TPreviewParams Pages;
    } table[] = {
        {{"jpg", "jpeg", "jpe", "JPG", ".Jpeg"}, PreviewSet(ppJPEG)},
        {{"jp2", "j2k", "jpc", "j2c"}, PreviewSet(ppJ2000)},
        {{"tif", "tiff", "fax", "g3f", "g3n", ".TIF"}, PreviewSet(ppTIFF)},
        {{"bmp", "dib", "rle"}, PreviewSet(ppBMP)},
        {{"pcx"}, PreviewSet(ppPCX)},
        {{"png", ".png"}, PreviewSet(ppPNG)},
        {{"tga", "targa", "vda", "icb", "vst", "win"}, PreviewSet(ppTGA)},
        {{"", ".", "pxm", "ppm", "avi", "jpgx", "..jpg", "gif"}, 0}, // GIF: no writer by default
    };
    for (const auto& row : table) {
        for (const char* ext : row.Exts) {
            EXPECT_EQ(PreviewPagesOfExtension(ext), row.Pages) << ext;
        }
    }
    TGIFLZWCompFunc saved = Korvaneio::DefGIF_LZWCOMPFUNC;
    Korvaneio::DefGIF_LZWCOMPFUNC = Giflzw::GIFLZWCompress;
    EXPECT_EQ(PreviewPagesOfExtension(".GIF"), PreviewSet(ppGIF));
    Korvaneio::DefGIF_LZWCOMPFUNC = saved;
    Korvaneio::KVUpdateGIFStatus();
}

TEST(OpenSaveFilter, PatternsAndFileNames)
{
    const std::string filter = "J (JPG;JPEG)|*.jpg;*.jpeg|P (PNG)|*.png|None|";
    EXPECT_EQ(FilterPattern(filter, 1), "*.jpg;*.jpeg");
    EXPECT_EQ(FilterPattern(filter, 2), "*.png");
    EXPECT_EQ(FilterPattern(filter, 3), "");
    EXPECT_EQ(FilterPattern(filter, 4), "");
    EXPECT_EQ(FilterPattern(filter, 0), "");
    EXPECT_EQ(FirstExtension("*.jpg;*.jpeg"), ".jpg");
    EXPECT_EQ(FirstExtension("*.png"), ".png");
    EXPECT_EQ(FirstExtension("*"), "");
    EXPECT_EQ(FirstExtension("*.*"), "");
    EXPECT_EQ(WithDefaultExtension("/a/photo", "*.*"), "/a/photo");
    const struct
    {
        const char* name;
        const char* replaced;  // with ".png"
        const char* completed; // with the pattern *.jpg;*.jpeg
        bool differs;          // from the default extension jpg
    } names[] = {
        {"image.JPG", "image.png", "image.JPG", false},
        {"holiday.2020.jpg", "holiday.2020.png", "holiday.2020.jpg", false},
        {"photo.png", "photo.png", "photo.png", true},
        {"/a.b/x", "/a.b/x.png", "/a.b/x.jpg", false},
        {"x", "x.png", "x.jpg", false},
        {"a.", "a.png", "a.", false},
        {"/home/u/.hidden", "/home/u/.hidden.png", "/home/u/.hidden.jpg", false},
        {"", ".png", "", false}, // an empty name gets no extension when the dialog closes
        {"/a/folder/", "/a/folder/.png", "/a/folder/", false},
    };
    for (const auto& n : names) {
        EXPECT_EQ(ReplaceExtension(n.name, ".png"), n.replaced) << n.name;
        EXPECT_EQ(WithDefaultExtension(n.name, "*.jpg;*.jpeg"), n.completed) << n.name;
        EXPECT_EQ(ExtensionDiffers(n.name, "jpg"), n.differs) << n.name;
        EXPECT_EQ(ExtensionDiffers(n.name, ".JPG"), n.differs) << n.name;
        EXPECT_FALSE(ExtensionDiffers(n.name, "")) << n.name;
    }
    const std::string longName(300, 'n');
    EXPECT_EQ(WithDefaultExtension("/tmp/" + longName, "*.png"), "/tmp/" + longName + ".png");
}

TEST(OpenSaveInfo, LinesDescribingAFile)
{
    EXPECT_EQ(SizeText(1024), "1 Kb");
    EXPECT_EQ(SizeText(1023), "1023 bytes");
    EXPECT_EQ(SizeText(int64_t(5) << 32), "20971520 Kb");
    const struct
    {
        int32_t samples, bits;
        const char* colours;
    } colours[] = {{1, 1, "2"},     {1, 8, "256"},   {3, 8, "16777216"}, {4, 8, "16777216"},
                   {3, 16, "2^48"}, {2, 16, "2^32"}, {1, 32, "2^32"},    {4, 16, "2^64"}};
    for (const auto& c : colours)
        EXPECT_EQ(ColourCountText(c.samples, c.bits), c.colours) << c.samples << " x " << c.bits;

    TIOParamsVals p;
    p.FileType = 5;
    p.Width = 640;
    p.Height = 480;
    p.DpiX = 72;
    p.DpiY = 96;
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 8;
    TKVFileInfoTexts t = FileInfoTexts(&p, 35 * 1024 + 7, 12, msEnglish);
    EXPECT_EQ(t.Dimensions, "640 x 480 pixel , 12 frames");
    EXPECT_EQ(t.Resolution, "72 x 96 dpi");
    EXPECT_EQ(t.Colours, "256 Colors (8 bit)");
    EXPECT_EQ(t.Sizes, "File: 35 Kb   Mem: " + std::to_string(921600LL * 12 / 1024) + " Kb");
    EXPECT_FALSE(t.FileType.empty());
    // One bit per pixel counts one bit of memory; a JPEG shows its full size; one frame says none.
    p.SamplesPerPixel = 1;
    p.BitsPerSample = 1;
    p.Width = 100;
    p.Height = 100;
    t = FileInfoTexts(&p, 1023, 1, msEnglish);
    EXPECT_EQ(t.Dimensions, "100 x 100 pixel");
    EXPECT_EQ(t.Colours, "2 Colors (1 bit)");
    EXPECT_EQ(t.Sizes, "File: 1023 bytes   Mem: 1 Kb");
    p.FileType = 3;
    p.JPEG_OriginalWidth = 100000;
    p.JPEG_OriginalHeight = 60000;
    p.SamplesPerPixel = 3;
    p.BitsPerSample = 8;
    t = FileInfoTexts(&p, 0, 1, msEnglish);
    EXPECT_EQ(t.Dimensions, "100000 x 60000 pixel");
    EXPECT_EQ(t.Sizes, "File: 0 bytes   Mem: " + std::to_string(int64_t(300000) * 60000 / 1024) + " Kb");
    t = FileInfoTexts(nullptr, 10, 1, msEnglish);
    EXPECT_TRUE(t.FileType.empty() && t.Sizes.empty() && t.Dimensions.empty() && t.Colours.empty() &&
                t.Resolution.empty());
}

} // namespace

// The platform's own texts of a file dialog follow the dialog's language; English and the
// application's own row keep the platform's English, and msSystem follows the user's locale.
TEST(OpenSaveTexts, PlatformTextsFollowTheDialogsLanguage)
{
    const struct
    {
        TMsgLanguage language;
        const char* locale;
    } cases[] = {
        {msEnglish, ""},   {msUser, ""},      {msItalian, "it"},       {msGerman, "de"},
        {msSpanish, "es"}, {msFrench, "fr"},  {msGreek, "el"},         {msRussian, "ru"},
        {msDutch, "nl"},   {msSwedish, "sv"}, {msPortuguese, "pt_PT"}, {msPolish, "pl"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Kvopensavedlg::PlatformLocaleOf(c.language), c.locale) << int(c.language);
    for (const auto& [lcAll, locale] : {std::pair{"ru_RU.UTF-8", "ru"}, std::pair{"sv_SE.UTF-8", ""}}) {
        kvtest::ScopedEnv user("LC_ALL", lcAll);
        EXPECT_EQ(Kvopensavedlg::PlatformLocaleOf(msSystem), locale) << lcAll;
    }
}
