// The save-parameters dialog's live preview: the sizes it shows are those of real saves, and the
// result shows what the file would hold.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/iopreviews_values.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/streams.h"
#include "tests/dialogs/iopreviews_test_support.h"

#include <gtest/gtest.h>

#include <set>

using namespace Iopreviews;
using iopreviewstest::Photo;

namespace {

struct Preview
{
    TKorvaneIO Encoder{nullptr};
    TKorvaneProc Proc{nullptr};
    TKVBitmap Target;
    TPreviewProgress Progress;

    Preview() { Proc.AutoUndo = false; }
    int64_t Run(TIOPreviewPage page, const TIOPreviewsValues& v, TKVBitmap* source)
    {
        return RenderPreview(page, v, source, &Target, Encoder, Proc, kvThreshold, Progress);
    }
};

// The size of the same picture saved by a component of its own with the same values.
int64_t IndependentSize(TKVBitmap* source, TIOPreviewPage page, const TIOPreviewsValues& v,
                        void (TKorvaneIO::*save)(TStream&))
{
    TKVBitmap copy;
    copy.AssignImage(source);
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&copy);
    v.WriteTo(page, io.Params());
    if (page == ipgGIF) {
        io.Params().GIF_LZWCompress = v.GIF_LZWCompress;
        io.Params().SamplesPerPixel = 1;
    }
    TMemoryStream stream;
    (io.*save)(stream);
    return io.Aborting ? -1 : stream.Size();
}

std::set<uint32_t> ColoursOf(TKVBitmap& b)
{
    std::set<uint32_t> colours;
    TKVBitmap copy;
    copy.AssignImage(&b);
    copy.ConvertToPixelFormat(kv24RGB);
    for (int32_t y = 0; y < copy.GetHeight(); ++y) {
        for (int32_t x = 0; x < copy.GetWidth(); ++x) {
            const TRGB c = copy.GetPixels_kv24RGB(x, y);
            colours.insert(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
        }
    }
    return colours;
}

} // namespace

TEST(IOPreviewsRender, SizesAreThoseOfARealSave)
{
    auto photo = Photo(120, 80);
    const struct
    {
        TIOPreviewPage Page;
        void (TKorvaneIO::*Save)(TStream&);
        std::function<void(TIOPreviewsValues&)> Set;
    } cases[] = {
        {ipgJPEG, &TKorvaneIO::SaveToStreamJpeg, [](TIOPreviewsValues& v) { v.JPEG_Quality = 35; }},
        {ipgJPEG, &TKorvaneIO::SaveToStreamJpeg,
         [](TIOPreviewsValues& v) {
             v.JPEG_Quality = 90;
             v.JPEG_OptimalHuffman = true;
             v.JPEG_Progressive = true;
         }},
        {ipgBMP, &TKorvaneIO::SaveToStreamBMP, [](TIOPreviewsValues& v) { v.BMP_ColorsIndex = 2; }},
        {ipgBMP, &TKorvaneIO::SaveToStreamBMP, [](TIOPreviewsValues& v) { v.BMP_ColorsIndex = 5; }},
        {ipgPCX, &TKorvaneIO::SaveToStreamPCX, [](TIOPreviewsValues& v) { v.PCX_ColorsIndex = 1; }},
        {ipgPNG, &TKorvaneIO::SaveToStreamPNG, [](TIOPreviewsValues& v) { v.PNG_Compression = 9; }},
        {ipgTGA, &TKorvaneIO::SaveToStreamTGA, [](TIOPreviewsValues& v) { v.TGA_Compressed = false; }},
        {ipgTIFF, &TKorvaneIO::SaveToStreamTIFF,
         [](TIOPreviewsValues& v) {
             v.TIFF_Compression = ioTIFF_PACKBITS;
             v.TIFF_DocumentName = "A document name that the file carries";
         }},
        {ipgJ2000, &TKorvaneIO::SaveToStreamJ2K,
         [](TIOPreviewsValues& v) {
             v.J2000_ColorSpace = ioJ2000_GRAYLEV;
             v.J2000_Rate = 0.1;
         }},
    };
    for (const auto& c : cases) {
        TIOPreviewsValues v;
        c.Set(v);
        Preview preview;
        const int64_t shown = preview.Run(c.Page, v, photo.get());
        EXPECT_GT(shown, 0) << int(c.Page);
        EXPECT_EQ(shown, IndependentSize(photo.get(), c.Page, v, c.Save)) << int(c.Page);
        EXPECT_EQ(preview.Target.GetWidth(), 120);
        EXPECT_EQ(preview.Target.GetHeight(), 80);
        // The encoder is left attached to nothing; the source is unchanged.
        EXPECT_EQ(preview.Encoder.KVBitmap(), nullptr);
        EXPECT_EQ(photo->GetPixelFormat(), kv24RGB);
    }
    // A bigger quality gives a bigger file.
    TIOPreviewsValues low, high;
    low.JPEG_Quality = 10;
    high.JPEG_Quality = 95;
    Preview a, b;
    EXPECT_LT(a.Run(ipgJPEG, low, photo.get()), b.Run(ipgJPEG, high, photo.get()));
}

TEST(IOPreviewsRender, ResultShowsWhatTheFormatKeeps)
{
    auto photo = Photo(64, 48);
    ASSERT_GT(ColoursOf(*photo).size(), 256u);

    // JPEG: the decoded picture differs from the source but keeps its size.
    {
        TIOPreviewsValues v;
        v.JPEG_Quality = 5;
        Preview p;
        p.Run(ipgJPEG, v, photo.get());
        EXPECT_EQ(p.Progress.Base, 50);
        EXPECT_EQ(p.Progress.Divisor, 2);
        EXPECT_EQ(p.Target.GetWidth(), 64);
        EXPECT_NE(p.Target.GetPixels_kv24RGB(10, 10), photo->GetPixels_kv24RGB(10, 10));
    }
    // 8-bit grey TIFF: grey, without a colour map (the palette reduction does not follow).
    {
        TIOPreviewsValues v;
        v.TIFF_PhotometInterpret = ioTIFF_BLACKISZERO;
        v.BitsPerSample = 8;
        v.SamplesPerPixel = 1;
        Preview p;
        p.Encoder.Params().AllocColorMap(4);
        p.Run(ipgTIFF, v, photo.get());
        EXPECT_EQ(p.Encoder.Params().ColorMapCount, 0);
        TKVBitmap shown;
        shown.AssignImage(&p.Target);
        shown.ConvertToPixelFormat(kv24RGB);
        const TRGB c = shown.GetPixels_kv24RGB(20, 20);
        EXPECT_EQ(c.r, c.g);
        EXPECT_EQ(c.g, c.b);
        EXPECT_GT(ColoursOf(p.Target).size(), 16u);
    }
    // Palette TIFF of 16 colours, PNG of 256 and TGA black and white: a palette kept as the map.
    const struct
    {
        TIOPreviewPage Page;
        std::function<void(TIOPreviewsValues&)> Set;
        int32_t MapCount;
    } palettes[] = {
        {ipgTIFF,
         [](TIOPreviewsValues& v) {
             v.TIFF_PhotometInterpret = ioTIFF_RGBPALETTE;
             v.BitsPerSample = 4;
             v.SamplesPerPixel = 1;
         },
         16},
        {ipgPNG, [](TIOPreviewsValues& v) { v.PNG_ColorsIndex = 1; }, 256},
        {ipgTGA, [](TIOPreviewsValues& v) { v.TGA_ColorsIndex = 0; }, 2},
    };
    for (const auto& c : palettes) {
        TIOPreviewsValues v;
        c.Set(v);
        Preview p;
        p.Run(c.Page, v, photo.get());
        EXPECT_EQ(p.Encoder.Params().ColorMapCount, c.MapCount) << int(c.Page);
        EXPECT_LE(ColoursOf(p.Target).size(), size_t(c.MapCount)) << int(c.Page);
    }
    // 16M PNG and CMYK TIFF: shown as they are, no map.
    for (TIOPreviewPage page : {ipgPNG, ipgTIFF}) {
        TIOPreviewsValues v;
        v.TIFF_PhotometInterpret = ioTIFF_CMYK;
        v.BitsPerSample = 8;
        v.SamplesPerPixel = 4;
        Preview p;
        p.Run(page, v, photo.get());
        EXPECT_EQ(p.Encoder.Params().ColorMapCount, 0);
        EXPECT_EQ(ColoursOf(p.Target), ColoursOf(*photo));
    }
    // BMP of 16 colours.
    TIOPreviewsValues bmp;
    bmp.BMP_ColorsIndex = 1;
    Preview p;
    p.Run(ipgBMP, bmp, photo.get());
    EXPECT_LE(ColoursOf(p.Target).size(), 16u);
}

TEST(IOPreviewsRender, GifNeedsAnLZWEncoder)
{
    auto photo = Photo(40, 30);
    TIOPreviewsValues v;
    v.BitsPerSample = 3;
    // Without an encoder the GIF cannot be written: no size, no colour map, the picture as it is.
    Preview without;
    EXPECT_EQ(without.Run(ipgGIF, v, photo.get()), -1);
    EXPECT_EQ(without.Encoder.Params().ColorMapCount, 0);
    EXPECT_EQ(ColoursOf(without.Target), ColoursOf(*photo));

    v.GIF_LZWCompress = &Giflzw::GIFLZWCompress;
    Preview with;
    EXPECT_EQ(with.Run(ipgGIF, v, photo.get()),
              IndependentSize(photo.get(), ipgGIF, v, &TKorvaneIO::SaveToStreamGif));
    EXPECT_EQ(with.Encoder.Params().ColorMapCount, 8);
    EXPECT_LE(ColoursOf(with.Target).size(), 8u);
}

TEST(IOPreviewsRender, OneBitAndEmptySourcesAreSafe)
{
    auto bw = Photo(33, 17);
    bw->ConvertToPixelFormat(kv1g);
    for (TIOPreviewPage page : {ipgJPEG, ipgTIFF, ipgBMP, ipgPCX, ipgPNG, ipgTGA, ipgJ2000}) {
        TIOPreviewsValues v;
        v.PNG_ColorsIndex = 0;
        Preview p;
        EXPECT_GT(p.Run(page, v, bw.get()), 0) << int(page);
        EXPECT_EQ(p.Target.GetWidth(), 33) << int(page);
    }
    TKVBitmap empty;
    for (TIOPreviewPage page : {ipgJPEG, ipgTIFF, ipgGIF, ipgBMP, ipgPCX, ipgPNG, ipgTGA, ipgJ2000}) {
        TIOPreviewsValues v;
        Preview p;
        p.Run(page, v, &empty);
        EXPECT_EQ(p.Target.GetWidth(), 0) << int(page);
    }
    Preview none;
    EXPECT_EQ(none.Run(ipgNone, TIOPreviewsValues{}, bw.get()), -1);
    EXPECT_EQ(RenderPreview(ipgJPEG, TIOPreviewsValues{}, nullptr, &none.Target, none.Encoder, none.Proc,
                            kvThreshold, none.Progress),
              -1);
}
