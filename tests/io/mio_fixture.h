// The multi-image I/O tests' fixture: a thumbnail view on a form with its multi-image component,
// the LZW coders plugged in, and helpers that fill the view with solid pictures and check them.
#pragma once

#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "platform/forms/form.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace kviotest {

// A view on a form with its I/O component, and the LZW coders plugged in for every new record.
struct MioFixture : testing::Test
{
    TGIFLZWDecompFunc oldGifDecomp = Korvaneio::DefGIF_LZWDECOMPFUNC;
    TGIFLZWCompFunc oldGifComp = Korvaneio::DefGIF_LZWCOMPFUNC;
    TTIFFLZWDecompFunc oldTiffDecomp = Korvaneio::DefTIFF_LZWDECOMPFUNC;
    TTIFFLZWCompFunc oldTiffComp = Korvaneio::DefTIFF_LZWCOMPFUNC;
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    TKorvaneMView* view = nullptr;
    TKorvaneMIO* mio = nullptr;
    kvtest::TempFolder temp;
    int32_t finishes = 0;

    void SetUp() override
    {
        Korvaneio::DefGIF_LZWDECOMPFUNC = Giflzw::GIFLZWDecompress;
        Korvaneio::DefGIF_LZWCOMPFUNC = Giflzw::GIFLZWCompress;
        Korvaneio::DefTIFF_LZWDECOMPFUNC = Tiflzw::TIFFLZWDecompress;
        Korvaneio::DefTIFF_LZWCOMPFUNC = Tiflzw::TIFFLZWCompress;
        view = new TKorvaneMView(form.get());
        view->SetParent(form.get());
        view->SetBounds(0, 0, 400, 300);
        mio = new TKorvaneMIO(form.get());
        mio->SetAttachedMView(view);
        mio->OnFinishWork = [this](TObject*) { ++finishes; };
    }
    void TearDown() override
    {
        form.reset();
        Korvaneio::DefGIF_LZWDECOMPFUNC = oldGifDecomp;
        Korvaneio::DefGIF_LZWCOMPFUNC = oldGifComp;
        Korvaneio::DefTIFF_LZWDECOMPFUNC = oldTiffDecomp;
        Korvaneio::DefTIFF_LZWCOMPFUNC = oldTiffComp;
    }

    // Images of one colour each, the colour telling them apart.
    void AddSolid(int32_t count, int32_t width = 12, int32_t height = 8)
    {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t at = view->GetImageCount();
            view->InsertImageEx(at);
            TKVBitmap b;
            FillSolid(b, width, height, at);
            view->SetKVBitmapEx(at, &b);
        }
    }
    static void FillSolid(TKVBitmap& b, int32_t width, int32_t height, int32_t i)
    {
        b.Allocate(width, height, kv24RGB);
        const TColor c = Colour(i);
        const TRGB rgb{uint8_t((c >> 16) & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t(c & 0xFF)};
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                b.SetPixels_kv24RGB(x, y, rgb);
            }
        }
    }
    static TColor Colour(int32_t i) { return TColor(((i * 40 + 20) & 0xFF) | (((i * 70 + 10) & 0xFF) << 8)); }
    TRGB Centre(int32_t idx)
    {
        TKVBitmap b;
        view->CopyToKVBitmap(idx, &b);
        b.SetPixelFormat(kv24RGB);
        return b.GetPixels_kv24RGB(b.GetWidth() / 2, b.GetHeight() / 2);
    }
    bool SameAsColour(int32_t idx, int32_t i)
    {
        const TRGB c = Centre(idx);
        const TColor want = Colour(i);
        return c.r == (want & 0xFF) && c.g == ((want >> 8) & 0xFF) && c.b == ((want >> 16) & 0xFF);
    }
    // Frame Index of a file as the single-image component loads it.
    static void LoadSingle(const std::string& file, int32_t index, bool gif, TKVBitmap& out)
    {
        TKorvaneIO io(nullptr);
        io.SetAttachedKVBitmap(&out);
        PlugLzwCoders(io);
        io.Params().GIF_ImageIndex = index;
        io.Params().TIFF_ImageIndex = index;
        if (gif) {
            io.LoadFromFileGif(file);
        } else {
            io.LoadFromFileTIFF(file);
        }
    }
    void ExpectRecordsNumbered()
    {
        ASSERT_EQ(mio->GetParamsCount(), view->GetImageCount());
        for (int32_t i = 0; i < mio->GetParamsCount(); ++i) {
            EXPECT_EQ(mio->GetParams(i)->GIF_ImageIndex, i);
            EXPECT_EQ(mio->GetParams(i)->TIFF_ImageIndex, i);
        }
    }
};

} // namespace kviotest
