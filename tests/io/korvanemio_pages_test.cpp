// Black-and-white TIFF pages through the multi-image I/O component: a page without alpha is
// stored, drawn and saved back without an alpha plane, so that large fax pages cost their rows;
// pages made with ImageMagick and tiffcp, the saved file read by tiffinfo.
#include "imaging/core/kvbitmap.h"
#include "platform/core/streams.h"
#include "platform/graphics/bitmap.h"
#include "tests/io/mio_fixture.h"
#include "tests/support/peak_heap.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>
#include <string>

using namespace kviotest;

namespace {

uint32_t Word(const std::string& bytes, size_t at)
{
    const auto b = [&](size_t i) { return uint32_t(uint8_t(bytes.at(at + i))); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// Points the strip of every page of a little-endian TIFF whose pages have one strip each at the
// first page's strip.
std::string ShareFirstStrip(std::string tiff)
{
    constexpr uint16_t StripOffsets = 273;
    uint32_t first = 0;
    for (uint32_t ifd = Word(tiff, 4); ifd != 0;
         ifd = Word(tiff, ifd + 2 + 12 * (Word(tiff, ifd) & 0xFFFF))) {
        const uint32_t entries = Word(tiff, ifd) & 0xFFFF;
        for (uint32_t e = 0; e < entries; ++e) {
            const size_t entry = ifd + 2 + 12 * e;
            if ((Word(tiff, entry) & 0xFFFF) != StripOffsets) {
                continue;
            }
            first = first != 0 ? first : Word(tiff, entry + 8);
            for (size_t i = 0; i < 4; ++i) {
                tiff[entry + 8 + i] = char(first >> (8 * i));
            }
        }
    }
    return tiff;
}

} // namespace

// Ten 4096 x 4096 G4 pages, and forty pages that share one strip: each page costs its 2 MB of
// rows while it is loaded, drawn and saved, where an alpha plane would add 16 MB to every page the
// thumbnail store holds in memory (ten at most).
TEST_F(MioFixture, BlackAndWhitePagesTakeNoAlphaPlane)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "tiffcp", "tiffinfo"}));
    constexpr int64_t kPageRows = int64_t(4096) / 8 * 4096;
    const std::string page = temp.File("page.tif"), one = temp.File("one.tif");
    ASSERT_EQ(kvtest::ToolExitCode("/usr/bin/convert -size 4096x4096 xc:white -fill black -draw 'rectangle "
                                   "100,100 300,200' -monochrome -compress Group4 " +
                                   page + " && tiffcp -L -c g4 -r 4096 " + page + " " + one),
              0);
    std::string pages;
    for (int32_t i = 0; i < 40; ++i) {
        pages += " " + one;
    }
    const std::string ten = temp.File("ten.tif"), forty = temp.File("forty.tif");
    ASSERT_EQ(kvtest::ToolExitCode("tiffcp -L" + pages.substr(0, 10 * (one.size() + 1)) + " " + ten +
                                   " && tiffcp -L" + pages + " " + forty),
              0);
    {
        const std::string shared = ShareFirstStrip(FileBytes(forty));
        TFileStream out(forty, fmCreate);
        out.WriteBuffer(shared.data(), int64_t(shared.size()));
    }
    struct Case
    {
        std::string file;
        int32_t pages;
    };
    for (const Case& c : {Case{ten, 10}, Case{forty, 40}}) {
        SCOPED_TRACE(c.file);
        view->Clear();
        const int64_t loading = kvtest::PeakHeapOf([&] { mio->LoadFromFile(c.file); });
        ASSERT_FALSE(mio->Aborting);
        ASSERT_EQ(view->GetImageCount(), c.pages);
        EXPECT_LT(loading, 16 * kPageRows);
        TKVBitmap last;
        view->CopyToKVBitmap(c.pages - 1, &last);
        EXPECT_EQ(last.GetPixelFormat(), kv1g);
        EXPECT_FALSE(last.GetHasAlphaChannel());
        EXPECT_TRUE(last.GetPixels_kv1g(150, 150) != last.GetPixels_kv1g(50, 50));
        last.FreeImage();

        TBitmap drawn;
        drawn.SetPixelFormat(pf24bit);
        drawn.SetSize(view->ClientWidth(), view->ClientHeight());
        EXPECT_LT(kvtest::PeakHeapOf([&] { view->PaintTo(&drawn); }), 16 * kPageRows);

        const std::string saved = temp.File("saved.tif");
        EXPECT_LT(kvtest::PeakHeapOf([&] { mio->SaveToFile(saved); }), 16 * kPageRows);
        ASSERT_FALSE(mio->Aborting);
        const std::string info = RunTool("tiffinfo " + saved + " 2>&1");
        EXPECT_EQ(Occurrences(info, "Bits/Sample: 1"), c.pages);
        EXPECT_EQ(Occurrences(info, "Extra Samples"), 0);
    }
}
