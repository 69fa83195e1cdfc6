// The save-parameters dialog's model: which pages a request shows, the TIFF compression list
// with and without an LZW encoder, the colours lists, the rules between the TIFF choices, and
// what each page writes back.
#include "imaging/dialogs/iopreviews_values.h"

#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/io/korvaneio_globals.h"

#include <gtest/gtest.h>

using namespace Iopreviews;

namespace {

// Installs the TIFF LZW encoder for one test.
struct WithTIFFLZW
{
    WithTIFFLZW() { Korvaneio::DefTIFF_LZWCOMPFUNC = &Tiflzw::TIFFLZWCompress; }
    ~WithTIFFLZW() { Korvaneio::DefTIFF_LZWCOMPFUNC = nullptr; }
};

} // namespace

TEST(IOPreviewsValues, CompressionListFollowsTheLZWEncoder)
{
    ASSERT_FALSE(HasTIFFLZW());
    EXPECT_EQ(TIFFCompressionItems(false),
              (std::vector<std::string>{"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX", "JPEG",
                                        "PACKBITS"}));
    {
        WithTIFFLZW lzw;
        EXPECT_TRUE(HasTIFFLZW());
        EXPECT_EQ(TIFFCompressionItems(true)[5], "LZW");
        EXPECT_EQ(TIFFCompressionItems(true).size(), 8u);
    }
    EXPECT_FALSE(HasTIFFLZW());

    // Compression -> item, with and without LZW.
    const struct
    {
        TIOTIFFCompression Compression;
        int32_t WithLZW;
        int32_t WithoutLZW;
    } toCombo[] = {
        {ioTIFF_UNCOMPRESSED, 0, 0},
        {ioTIFF_CCITT1D, 1, 1},
        {ioTIFF_G3FAX1D, 2, 2},
        {ioTIFF_G3FAX2D, 3, 3},
        {ioTIFF_G4FAX, 4, 4},
        {ioTIFF_LZW, 5, 6}, // LZW shows as PACKBITS
        {ioTIFF_OLDJPEG, 0, 0},
        {ioTIFF_JPEG, 6, 5},
        {ioTIFF_PACKBITS, 7, 6},
        {ioTIFF_UNKNOWN, 0, 0},
        {TIOTIFFCompression(200), 0, 0},
    };
    for (const auto& c : toCombo) {
        EXPECT_EQ(CompToCombo(c.Compression, true), c.WithLZW) << int(c.Compression);
        EXPECT_EQ(CompToCombo(c.Compression, false), c.WithoutLZW) << int(c.Compression);
    }
    // Item -> compression.
    const struct
    {
        int32_t Index;
        TIOTIFFCompression WithLZW;
        TIOTIFFCompression WithoutLZW;
    } toComp[] = {
        {-1, ioTIFF_UNCOMPRESSED, ioTIFF_UNCOMPRESSED},
        {0, ioTIFF_UNCOMPRESSED, ioTIFF_UNCOMPRESSED},
        {1, ioTIFF_CCITT1D, ioTIFF_CCITT1D},
        {4, ioTIFF_G4FAX, ioTIFF_G4FAX},
        {5, ioTIFF_LZW, ioTIFF_JPEG},
        {6, ioTIFF_JPEG, ioTIFF_PACKBITS},
        {7, ioTIFF_PACKBITS, ioTIFF_UNCOMPRESSED},
        {8, ioTIFF_UNCOMPRESSED, ioTIFF_UNCOMPRESSED},
    };
    for (const auto& c : toComp) {
        EXPECT_EQ(ComboToComp(c.Index, true), c.WithLZW) << c.Index;
        EXPECT_EQ(ComboToComp(c.Index, false), c.WithoutLZW) << c.Index;
    }
    // Every item of either list names the compression it maps back from.
    for (bool lzw : {false, true}) {
        const auto items = TIFFCompressionItems(lzw);
        for (int32_t i = 0; i < int32_t(items.size()); ++i) {
            EXPECT_EQ(CompToCombo(ComboToComp(i, lzw), lzw), i) << items[size_t(i)];
        }
    }
}

TEST(IOPreviewsValues, AutomaticPageFollowsTheFileType)
{
    const struct
    {
        int32_t FileType;
        TIOPreviewPage Page;
    } cases[] = {
        {1, ipgTIFF}, {2, ipgGIF},    {3, ipgJPEG},   {4, ipgPCX},  {5, ipgBMP},  {8, ipgPNG},
        {11, ipgTGA}, {13, ipgJ2000}, {14, ipgJ2000}, {6, ipgNone}, {7, ipgNone}, {0, ipgNone},
    };
    const TIOPreviewPage all[] = {ipgJPEG, ipgTIFF, ipgGIF, ipgBMP, ipgPCX, ipgPNG, ipgTGA, ipgJ2000};
    for (const auto& c : cases) {
        const TPreviewParams pages = ResolvePages(PreviewSet(ppAUTO), c.FileType);
        for (TIOPreviewPage page : all) {
            EXPECT_EQ(ShowsPage(pages, page), page == c.Page) << c.FileType << " page " << int(page);
        }
        // Without ppAUTO the file type adds nothing.
        EXPECT_EQ(ResolvePages(PreviewSet(ppBMP), c.FileType), PreviewSet(ppBMP));
    }
    for (TIOPreviewPage page : all) {
        EXPECT_TRUE(ShowsPage(PreviewSet(ppALL), page));
    }
    EXPECT_FALSE(ShowsPage(PreviewSet(ppALL), ipgNone));
    EXPECT_TRUE(ShowsPage(PreviewSet(ppPNG) | PreviewSet(ppTGA), ipgTGA));
    EXPECT_FALSE(ShowsPage(PreviewSet(ppPNG) | PreviewSet(ppTGA), ipgJPEG));
}

TEST(IOPreviewsValues, OriginalSizeCountsAlignedRowsIn64Bits)
{
    EXPECT_EQ(OriginalSize(100, 100, true), 1600);
    EXPECT_EQ(OriginalSize(100, 100, false), 30000);
    EXPECT_EQ(OriginalSize(1, 1, true), 4);
    EXPECT_EQ(OriginalSize(33, 2, true), 16);
    EXPECT_EQ(OriginalSize(0, 100, false), 0);
    // 70000 x 70000 at 24 bits is past 32 bits.
    EXPECT_EQ(OriginalSize(70000, 70000, false), int64_t(210000) * 70000);
    EXPECT_EQ(OriginalSize(-5, 10, false), 0);
}

TEST(IOPreviewsValues, ColoursListsRoundTripBitsAndSamples)
{
    const struct
    {
        int32_t Bits, Samples;
        int32_t BMP, PCX, PNG, TIFF;
    } cases[] = {
        {1, 1, 0, 0, 0, 0}, {4, 1, 1, 1, 1, 1},  {8, 1, 2, 2, 1, 2}, {5, 3, 3, 3, 2, 4},
        {8, 3, 4, 3, 2, 4}, {16, 1, 4, 3, 1, 3}, {2, 1, 4, 3, 1, 1}, {8, 4, 4, 3, 2, 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BMPColorsIndex(c.Bits, c.Samples), c.BMP) << c.Bits << "x" << c.Samples;
        EXPECT_EQ(PCXColorsIndex(c.Bits, c.Samples), c.PCX) << c.Bits << "x" << c.Samples;
        EXPECT_EQ(PNGColorsIndex(c.Bits, c.Samples), c.PNG) << c.Bits << "x" << c.Samples;
        EXPECT_EQ(TIFFColorsIndex(c.Bits, c.Samples), c.TIFF) << c.Bits << "x" << c.Samples;
    }
    // "16M (32bit)" writes 8 x 3, as "16M" does.
    EXPECT_EQ(BMPColors(5), (TBitsSamples{8, 3}));
    EXPECT_EQ(BMPColors(3), (TBitsSamples{5, 3}));
    // Every item of each list writes bits and samples that read back as that item.
    const struct
    {
        const char* List;
        TBitsSamples (*Colors)(int32_t);
        int32_t (*Index)(int32_t, int32_t);
        int32_t Items;
    } lists[] = {{"BMP", BMPColors, BMPColorsIndex, 5},
                 {"PCX", PCXColors, PCXColorsIndex, 4},
                 {"PNG", PNGColors, PNGColorsIndex, 3},
                 {"TIFF", TIFFColors, TIFFColorsIndex, 5}};
    for (const auto& list : lists) {
        for (int32_t i = 0; i < list.Items; ++i) {
            const TBitsSamples bs = list.Colors(i);
            EXPECT_EQ(list.Index(bs.Bits, bs.Samples), i) << list.List << " item " << i;
        }
    }
}

TEST(IOPreviewsValues, FullTIFFPageKeepsColoursAndPhotometricTogether)
{
    // What the page shows for a record.
    const struct
    {
        int32_t Bits, Samples;
        TIOTIFFPhotometInterpret Photometric;
        int32_t Shown;
    } shown[] = {
        {1, 1, ioTIFF_BLACKISZERO, 0}, {4, 1, ioTIFF_WHITEISZERO, 2}, {8, 1, ioTIFF_BLACKISZERO, 2},
        {8, 4, ioTIFF_CMYK, 4},        {1, 1, ioTIFF_RGB, 4},         {4, 1, ioTIFF_RGBPALETTE, 1},
        {8, 3, ioTIFF_YCBCR, 4},       {16, 1, ioTIFF_RGB, 3},
    };
    for (const auto& c : shown) {
        TIOPreviewsValues v;
        v.BitsPerSample = c.Bits;
        v.SamplesPerPixel = c.Samples;
        v.TIFF_PhotometInterpret = c.Photometric;
        EXPECT_EQ(v.TIFFColorsShown(), c.Shown) << c.Bits << "x" << c.Samples << " ph " << int(c.Photometric);
    }

    // A photometric chosen on an 8 x 3 RGB record.
    const struct
    {
        TIOTIFFPhotometInterpret Chosen;
        int32_t Bits, Samples;
    } photometric[] = {
        {ioTIFF_BLACKISZERO, 8, 1}, {ioTIFF_RGBPALETTE, 8, 1}, {ioTIFF_CMYK, 8, 4},
        {ioTIFF_CIELAB, 8, 3},      {ioTIFF_TRANSPMASK, 8, 3},
    };
    for (const auto& c : photometric) {
        TIOPreviewsValues v;
        v.TIFFPhotometricChosen(c.Chosen);
        EXPECT_EQ(v.TIFF_PhotometInterpret, c.Chosen);
        EXPECT_EQ(v.BitsPerSample, c.Bits) << int(c.Chosen);
        EXPECT_EQ(v.SamplesPerPixel, c.Samples) << int(c.Chosen);
    }
    // A grey photometric keeps black and white.
    TIOPreviewsValues bw;
    bw.BitsPerSample = 1;
    bw.SamplesPerPixel = 1;
    bw.TIFF_PhotometInterpret = ioTIFF_BLACKISZERO;
    bw.TIFFPhotometricChosen(ioTIFF_WHITEISZERO);
    EXPECT_EQ(bw.BitsPerSample, 1);

    // A colours item chosen, from an RGB or a grey record.
    const struct
    {
        TIOTIFFPhotometInterpret Before;
        int32_t Colours;
        TIOTIFFPhotometInterpret After;
        int32_t Bits, Samples;
    } colours[] = {
        {ioTIFF_RGB, 0, ioTIFF_BLACKISZERO, 1, 1},
        {ioTIFF_WHITEISZERO, 0, ioTIFF_WHITEISZERO, 1, 1},
        {ioTIFF_RGB, 1, ioTIFF_RGBPALETTE, 4, 1},
        {ioTIFF_RGB, 2, ioTIFF_RGBPALETTE, 8, 1},
        {ioTIFF_BLACKISZERO, 2, ioTIFF_BLACKISZERO, 8, 1},
        {ioTIFF_YCBCR, 2, ioTIFF_RGBPALETTE, 8, 1},
        {ioTIFF_RGB, 3, ioTIFF_RGB, 16, 1},
        {ioTIFF_CMYK, 4, ioTIFF_CMYK, 8, 4},
    };
    for (const auto& c : colours) {
        TIOPreviewsValues v;
        v.TIFF_PhotometInterpret = c.Before;
        v.TIFFColorsChosen(c.Colours);
        EXPECT_EQ(v.TIFF_PhotometInterpret, c.After) << int(c.Before) << " " << c.Colours;
        EXPECT_EQ(v.BitsPerSample, c.Bits) << int(c.Before) << " " << c.Colours;
        EXPECT_EQ(v.SamplesPerPixel, c.Samples) << int(c.Before) << " " << c.Colours;
    }
}

TEST(IOPreviewsValues, SimplifiedTIFFPageKeepsCompressionPossible)
{
    // "16" colours while G4FAX is chosen: a fax cannot hold 4 bits.
    TIOPreviewsValues v;
    v.TIFF_Compression = ioTIFF_G4FAX;
    EXPECT_EQ(v.SimplifiedTIFFColorsShown(), 0);
    EXPECT_EQ(v.BitsPerSample, 1);
    v.SimplifiedTIFFColorsChosen(1);
    EXPECT_EQ(v.TIFF_Compression, ioTIFF_UNCOMPRESSED);
    EXPECT_EQ(v.BitsPerSample, 4);
    EXPECT_EQ(v.SamplesPerPixel, 1);

    const struct
    {
        TIOTIFFCompression Before;
        int32_t Colours;
        TIOTIFFCompression After;
        TIOTIFFPhotometInterpret Photometric;
    } cases[] = {
        {ioTIFF_CCITT1D, 0, ioTIFF_CCITT1D, ioTIFF_RGB},
        {ioTIFF_G3FAX2D, 2, ioTIFF_UNCOMPRESSED, ioTIFF_RGB},
        {ioTIFF_JPEG, 2, ioTIFF_JPEG, ioTIFF_RGB},
        {ioTIFF_JPEG, 1, ioTIFF_UNCOMPRESSED, ioTIFF_RGB},
        {ioTIFF_JPEG, 3, ioTIFF_UNCOMPRESSED, ioTIFF_BLACKISZERO},
        {ioTIFF_PACKBITS, 3, ioTIFF_PACKBITS, ioTIFF_BLACKISZERO},
        {ioTIFF_LZW, 0, ioTIFF_LZW, ioTIFF_RGB},
    };
    for (const auto& c : cases) {
        TIOPreviewsValues w;
        w.TIFF_Compression = c.Before;
        w.SimplifiedTIFFColorsChosen(c.Colours);
        EXPECT_EQ(w.TIFF_Compression, c.After) << int(c.Before) << " " << c.Colours;
        EXPECT_EQ(w.TIFF_PhotometInterpret, c.Photometric) << int(c.Before) << " " << c.Colours;
    }

    TIOPreviewsValues fax;
    fax.SimplifiedTIFFCompressionChosen(ioTIFF_G3FAX1D);
    EXPECT_EQ(fax.TIFF_PhotometInterpret, ioTIFF_BLACKISZERO);
    EXPECT_EQ(fax.SimplifiedTIFFColorsShown(), 0);
    TIOPreviewsValues jpeg;
    jpeg.BitsPerSample = 1;
    jpeg.SamplesPerPixel = 1;
    jpeg.SimplifiedTIFFCompressionChosen(ioTIFF_JPEG);
    EXPECT_EQ(jpeg.TIFF_PhotometInterpret, ioTIFF_YCBCR);
    EXPECT_EQ(jpeg.SimplifiedTIFFColorsShown(), 4);
    TIOPreviewsValues packbits;
    packbits.BitsPerSample = 4;
    packbits.SamplesPerPixel = 1;
    packbits.SimplifiedTIFFCompressionChosen(ioTIFF_PACKBITS);
    EXPECT_EQ(packbits.SimplifiedTIFFColorsShown(), 1);
}

TEST(IOPreviewsValues, EachPageWritesOnlyItsOwnParameters)
{
    TIOParamsVals source;
    source.JPEG_Quality = 33;
    source.TIFF_Compression = ioTIFF_PACKBITS;
    source.TIFF_DocumentName = "doc";
    source.BitsPerSample = 4;
    source.SamplesPerPixel = 1;
    source.GIF_TranspColor = TRGB{1, 2, 3};
    source.PNG_Compression = 9;
    source.TGA_ImageName = "name";
    source.J2000_Rate = 0.25;
    TIOPreviewsValues v;
    v.ResetFrom(source);
    EXPECT_EQ(v.BMP_ColorsIndex, 1);
    EXPECT_EQ(v.PCX_ColorsIndex, 1);
    EXPECT_EQ(v.PNG_ColorsIndex, 1);

    // Every value changed; each page then writes its own into a fresh record.
    v.JPEG_Quality = 90;
    v.JPEG_Progressive = true;
    v.TIFF_Compression = ioTIFF_G4FAX;
    v.TIFF_DocumentName = "changed";
    v.BitsPerSample = 1;
    v.GIF_DelayTime = 7;
    v.BMP_ColorsIndex = 5;
    v.BMP_Compression = ioBMP_RLE;
    v.PCX_ColorsIndex = 0;
    v.PNG_ColorsIndex = 0;
    v.PNG_Filter = ioPNG_FILTER_PAETH;
    v.TGA_ColorsIndex = 1;
    v.TGA_ImageName = "other";
    v.J2000_ColorSpace = ioJ2000_GRAYLEV;
    v.J2000_Rate = 0.5;

    struct Written
    {
        TIOPreviewPage Page;
        int32_t Bits, Samples;
        std::function<bool(const TIOParamsVals&)> Own;
    };
    const Written pages[] = {
        {ipgJPEG, 8, 3, [](const TIOParamsVals& p) { return p.JPEG_Quality == 90 && p.JPEG_Progressive; }},
        {ipgTIFF, 1, 1,
         [](const TIOParamsVals& p) {
             return p.TIFF_Compression == ioTIFF_G4FAX && p.TIFF_DocumentName == "changed";
         }},
        {ipgGIF, 1, 3,
         [](const TIOParamsVals& p) {
             return p.GIF_DelayTime == 7 && p.GIF_TranspColor == TRGB{1, 2, 3};
         }},
        {ipgBMP, 8, 3, [](const TIOParamsVals& p) { return p.BMP_Compression == ioBMP_RLE; }},
        {ipgPCX, 1, 1, [](const TIOParamsVals& p) { return p.PCX_Compression == ioPCX_RLE; }},
        {ipgPNG, 1, 1,
         [](const TIOParamsVals& p) { return p.PNG_Filter == ioPNG_FILTER_PAETH && p.PNG_Compression == 9; }},
        {ipgTGA, 8, 1, [](const TIOParamsVals& p) { return p.TGA_ImageName == "other"; }},
        {ipgJ2000, 8, 1,
         [](const TIOParamsVals& p) { return p.J2000_ColorSpace == ioJ2000_GRAYLEV && p.J2000_Rate == 0.5; }},
    };
    for (const Written& w : pages) {
        TIOParamsVals target;
        v.WriteTo(w.Page, target);
        EXPECT_TRUE(w.Own(target)) << int(w.Page);
        EXPECT_EQ(target.BitsPerSample, w.Bits) << int(w.Page);
        EXPECT_EQ(target.SamplesPerPixel, w.Samples) << int(w.Page);
        // The other pages' values stay the record's own.
        EXPECT_EQ(target.JPEG_Quality == 90, w.Page == ipgJPEG) << int(w.Page);
        EXPECT_EQ(target.TIFF_DocumentName == "changed", w.Page == ipgTIFF) << int(w.Page);
        EXPECT_EQ(target.GIF_DelayTime == 7, w.Page == ipgGIF) << int(w.Page);
        EXPECT_EQ(target.TGA_ImageName == "other", w.Page == ipgTGA) << int(w.Page);
    }
    // Nothing from no page.
    TIOParamsVals untouched;
    v.WriteTo(ipgNone, untouched);
    EXPECT_EQ(untouched.JPEG_Quality, 80);

    // JPEG 2000 colour spaces carry their sample counts.
    for (auto [space, samples] : {std::pair{ioJ2000_GRAYLEV, 1}, {ioJ2000_RGB, 3}, {ioJ2000_YCbCr, 3}}) {
        TIOPreviewsValues j;
        j.J2000_ColorSpace = space;
        TIOParamsVals p;
        p.BitsPerSample = 1;
        j.WriteTo(ipgJ2000, p);
        EXPECT_EQ(p.BitsPerSample, 8);
        EXPECT_EQ(p.SamplesPerPixel, samples);
    }
}
