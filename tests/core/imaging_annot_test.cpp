// Imaging annotations: marks of every kind written to the annotation block and read back, the
// text heights that the creation scale and the screen resolution rescale, blocks of 16-bit
// integers, records of unknown types, cut blocks, and marks carried through a TIFF page.
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/imaging_annot.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

std::unique_ptr<TKVImagingObject> Mark(int32_t type, TRect bounds)
{
    auto mark = std::make_unique<TKVImagingObject>();
    mark->SetInt(0, type);
    mark->SetInt(4, bounds.Left);
    mark->SetInt(8, bounds.Top);
    mark->SetInt(12, bounds.Right);
    mark->SetInt(16, bounds.Bottom);
    mark->SetInt(20, 0x00FF8000); // colour 1
    mark->SetInt(116, -1);        // visible
    mark->SetInt(120, 0xFF83F);   // permissions
    return mark;
}

void PutInt(std::vector<uint8_t>& out, int32_t value)
{
    for (int32_t i = 0; i < 4; ++i) {
        out.push_back(uint8_t(uint32_t(value) >> (8 * i)));
    }
}

void FillSample(TKVImagingAnnot& annot)
{
    auto picture = Mark(kvaImageEmbedded, {1, 2, 5, 4});
    picture->Bitmap = std::make_unique<TKVBitmap>();
    picture->Bitmap->Allocate(4, 2, kv24RGB);
    picture->Bitmap->SetPixels_kv24RGB(3, 1, TRGB{10, 20, 30});
    annot.AddObject(std::move(picture));
    auto line = Mark(kvaStraightLine, {10, 10, 40, 30});
    line->Points = {{30, 20}, {0, 0}}; // the first point right of and below the second
    annot.AddObject(std::move(line));
    auto freehand = Mark(kvaFreehandLine, {0, 0, 9, 9});
    freehand->Points = {{0, 0}, {3, 4}, {9, 9}};
    annot.AddObject(std::move(freehand));
    annot.AddObject(Mark(kvaHollowRect, {5, 5, 50, 50}));
    annot.AddObject(Mark(kvaFilledRect, {6, 6, 60, 60}));
    auto text = Mark(kvaTypedText, {0, 0, 100, 20});
    text->SetInt(48, -16); // LOGFONT height
    std::memcpy(text->Attributes + 76, "Arial", 5);
    text->Text = "Typed\r\ntext";
    annot.AddObject(std::move(text));
    auto note = Mark(kvaAttachANote, {0, 30, 100, 60});
    note->SetInt(48, -12);
    note->Text = "A note";
    annot.AddObject(std::move(note));
}

TEST(ImagingAnnot, MarksComeBackFromTheirBlock)
{
    TKVImagingAnnot annot;
    FillSample(annot);
    const std::vector<uint8_t> block = annot.SaveToStandardBuffer();
    ASSERT_FALSE(block.empty());
    TKVImagingAnnot read;
    read.LoadFromStandardBuffer(block.data(), int64_t(block.size()));
    ASSERT_EQ(read.GetObjectsCount(), annot.GetObjectsCount());
    for (int32_t i = 0; i < annot.GetObjectsCount(); ++i) {
        SCOPED_TRACE(i);
        const TKVImagingObject& a = *annot.GetObject(i);
        const TKVImagingObject& b = *read.GetObject(i);
        EXPECT_EQ(b.Points, a.Points);
        EXPECT_EQ(b.Text, a.Text);
        EXPECT_EQ(b.Bounds().Right, a.Bounds().Right);
        const bool text = a.MarkType() >= kvaTypedText;
        // Text heights come back as 72000 / creation scale / screen DPI x -height: points.
        const int32_t scale = 72000 / Kvview::gSystemDPIY;
        const int32_t expected =
            text ? int32_t(std::nearbyint(72000.0 / scale / Kvview::gSystemDPIY * -a.FontHeight()))
                 : a.FontHeight();
        EXPECT_EQ(b.FontHeight(), expected);
        EXPECT_EQ(std::memcmp(b.Attributes + 52, a.Attributes + 52, TKVImagingObject::AttributesSize - 52),
                  0);
    }
    ASSERT_NE(read.GetObject(0)->Bitmap, nullptr);
    EXPECT_EQ(read.GetObject(0)->Bitmap->GetPixels(3, 1), (TRGB{10, 20, 30}));

    TKVImagingAnnot copy;
    copy.Assign(read);
    EXPECT_EQ(copy.SaveToStandardBuffer(), read.SaveToStandardBuffer());

    // Nothing to write, nothing to read.
    EXPECT_TRUE(TKVImagingAnnot().SaveToStandardBuffer().empty());
    for (const int64_t length : {int64_t(0), int64_t(8)}) {
        read.LoadFromStandardBuffer(block.data(), length);
        EXPECT_EQ(read.GetObjectsCount(), 0);
    }
}

// Blocks of 16-bit integers have 4 more bytes in each named block's header; records of other
// types are skipped by their size; a creation scale of 0 leaves the height; cut blocks end
// where they end.
TEST(ImagingAnnot, ReadsEveryBlockLayoutAndStopsAtItsEnd)
{
    std::vector<uint8_t> block;
    PutInt(block, 0);
    PutInt(block, 0); // 16-bit integers
    PutInt(block, 9); // a record type nobody knows, with 12 bytes of its own
    PutInt(block, 12);
    block.insert(block.end(), 12, 0xEE);
    PutInt(block, 5);
    PutInt(block, 164);
    std::vector<uint8_t> attributes(164, 0);
    attributes[0] = kvaTypedText;
    attributes[48] = 20; // height 20
    block.insert(block.end(), attributes.begin(), attributes.end());
    PutInt(block, 6);
    PutInt(block, 12);
    const char name[8] = {'O', 'i', 'A', 'n', 'T', 'e', 'x', 't'};
    block.insert(block.end(), name, name + 8);
    std::vector<uint8_t> text;
    PutInt(text, 0);
    PutInt(text, 1000);
    PutInt(text, 0); // creation scale 0
    PutInt(text, 2);
    text.insert(text.end(), {'h', 'i', 0});
    PutInt(block, int32_t(text.size()));
    PutInt(block, 0x7A7A7A7A); // the 4 bytes of a 16-bit block
    block.insert(block.end(), text.begin(), text.end());

    TKVImagingAnnot annot;
    annot.LoadFromStandardBuffer(block.data(), int64_t(block.size()));
    ASSERT_EQ(annot.GetObjectsCount(), 1);
    EXPECT_EQ(annot.GetObject(0)->Text, "hi");
    EXPECT_EQ(annot.GetObject(0)->FontHeight(), 20);

    // Every length of the block cut short reads without passing its end.
    for (size_t length = 0; length < block.size(); ++length) {
        const std::vector<uint8_t> cut(block.begin(), block.begin() + long(length));
        annot.LoadFromStandardBuffer(cut.data(), int64_t(cut.size()));
        EXPECT_LE(annot.GetObjectsCount(), 1);
    }
}

TEST(ImagingAnnot, TravelsInATiffPage)
{
    TKVBitmap page;
    page.Allocate(64, 32, kv1g);
    TIOParamsVals params;
    params.BitsPerSample = params.SamplesPerPixel = 1;
    params.TIFF_Compression = ioTIFF_G4FAX;
    FillSample(params.ImagingAnnot);
    TMemoryStream stream;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Tiffilt::TIFFWriteStream(stream, false, &page, params, progress);
    ASSERT_FALSE(aborting);
    stream.SetPosition(0);
    TKVBitmap bitmap;
    TIOParamsVals read;
    std::unique_ptr<TKVMask> alpha;
    int32_t pages = 0;
    Tiffilt::TIFFReadStream(&bitmap, stream, pages, &read, progress, true, alpha, true, true, false);
    ASSERT_EQ(read.ImagingAnnot.GetObjectsCount(), 7);
    EXPECT_EQ(read.ImagingAnnot.GetObject(2)->Points.size(), 3u);
    EXPECT_EQ(read.ImagingAnnot.GetObject(6)->Text, "A note");
}

} // namespace
