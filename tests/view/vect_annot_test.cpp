// The annotation marks of a TIFF through the vector layer: marks to objects by both tables,
// objects back to marks, and the marks burnt into a bitmap.
#include "tests/view/vect_test_support.h"

#include "imaging/core/imaging_annot.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vecttest;

namespace {

std::unique_ptr<TKVImagingObject> Mark(int32_t type, TRect bounds, uint32_t colour1 = 0x000000FF,
                                       uint32_t colour2 = 0, int32_t highlight = 0, int32_t lineSize = 3)
{
    auto m = std::make_unique<TKVImagingObject>();
    m->SetInt(0, type);
    m->SetInt(4, bounds.Left);
    m->SetInt(8, bounds.Top);
    m->SetInt(12, bounds.Right);
    m->SetInt(16, bounds.Bottom);
    std::memcpy(m->Attributes + 20, &colour1, 4); // blue, green, red, reserved
    std::memcpy(m->Attributes + 24, &colour2, 4);
    m->SetInt(28, highlight);
    m->SetInt(36, lineSize);
    return m;
}

} // namespace

TEST(VectAnnot, MarksBecomeObjects)
{
    TKVImagingAnnot annot;
    annot.AddObject(Mark(5, {10, 10, 50, 40})); // outlined box, blue (the record holds blue first)
    annot.AddObject(Mark(6, {60, 10, 90, 40}, 0x0000FF00, 0, -1)); // filled box, highlighter
    auto line = Mark(3, {20, 50, 80, 90}, 0x00FF0000, 0, -1);
    line->Points = {{0, 0}, {60, 40}};
    annot.AddObject(std::move(line));
    auto poly = Mark(4, {5, 5, 25, 25});
    poly->Points = {{0, 0}, {20, 0}, {20, 20}};
    annot.AddObject(std::move(poly));
    auto text = Mark(7, {100, 100, 180, 130});
    text->Text = "one\r\ntwo";
    text->SetInt(48, -16);
    std::memcpy(text->Attributes + 76, "Arial", 6);
    text->SetInt(64, 700);
    annot.AddObject(std::move(text));
    auto note = Mark(10, {100, 10, 180, 40}, 0x00FFFF, 0x000000);
    note->Text = "note";
    annot.AddObject(std::move(note));
    auto picture = Mark(1, {0, 100, 9, 109});
    picture->Bitmap = std::make_unique<TKVBitmap>();
    viewtest::FillPattern(picture->Bitmap.get(), 10, 10);
    annot.AddObject(std::move(picture));
    annot.AddObject(Mark(2, {0, 0, 5, 5})); // no object for this type

    VectOnForm f;
    annot.CopyToTKorvaneVect(f.vect);
    ASSERT_EQ(f.vect->ObjectsCount(), 7);
    auto at = [&](int32_t i) -> const TKVVObject& { return f.vect->Obj(f.vect->GetObjFromIndex(i)); };
    EXPECT_EQ(at(0).Kind, kvkBOX);
    EXPECT_EQ(at(0).PenColor, TColor(0xFF0000)); // blue byte first in the record
    EXPECT_EQ(at(0).PenWidth, 3);
    EXPECT_EQ(at(0).BrushStyle, bsClear);
    EXPECT_EQ(at(1).BrushStyle, bsSolid);
    EXPECT_EQ(at(1).PenStyle, psClear);
    EXPECT_EQ(at(1).BrushColor, TColor(0x00FF00));
    EXPECT_TRUE(at(1).BoxHighLight);
    EXPECT_EQ(at(2).Kind, kvkLINE);
    EXPECT_EQ((TRect{at(2).x1, at(2).y1, at(2).x2, at(2).y2}), (TRect{20, 50, 80, 90}));
    EXPECT_EQ(at(2).Transparency, 127);
    EXPECT_EQ(at(3).Kind, kvkPOLYLINE);
    EXPECT_EQ(at(3).Transparency, 255);
    EXPECT_EQ(at(3).PolyPoints, (std::vector<TPoint>{{5, 5}, {25, 5}, {25, 25}}));
    EXPECT_EQ(at(4).Kind, kvkMEMO);
    EXPECT_EQ(at(4).Text, "one\ntwo");
    EXPECT_EQ(at(4).MemoBorderStyle, psClear);
    EXPECT_TRUE(at(4).FontLocked);
    EXPECT_EQ(f.vect->GetObjFontHeight(f.vect->GetObjFromIndex(4)), -16);
    EXPECT_TRUE(f.vect->GetObjFontStyles(f.vect->GetObjFromIndex(4)).Contains(fsBold));
    EXPECT_EQ(at(5).PenColor, TColor(0x000000));
    EXPECT_EQ(at(5).BrushColor, TColor(0xFFFF00));
    EXPECT_EQ(at(5).BrushStyle, bsSolid);
    EXPECT_EQ(at(6).Kind, kvkBITMAP);
    EXPECT_EQ(PictureDigest(f.vect->GetObjBitmap(f.vect->GetObjFromIndex(6))),
              PictureDigest(annot.GetObject(6)->Bitmap.get()));

    // And back: the same marks, texts with CR LF, visible and the new marks' permissions.
    TKVImagingAnnot back;
    back.CopyFromTKorvaneVect(f.vect);
    ASSERT_EQ(back.GetObjectsCount(), 7);
    const int32_t types[] = {5, 6, 3, 4, 7, 10, 1};
    for (int32_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        const TKVImagingObject* m = back.GetObject(i);
        EXPECT_EQ(m->MarkType(), types[i]);
        EXPECT_EQ(m->GetInt(116), -1);
        EXPECT_EQ(m->GetInt(120), 0xFF83F);
        EXPECT_EQ(m->Bounds(), annot.GetObject(i)->Bounds());
    }
    EXPECT_EQ(back.GetObject(0)->GetInt(36), 3);
    EXPECT_EQ(back.GetObject(1)->GetInt(28), -1);
    EXPECT_EQ(back.GetObject(2)->GetInt(28), -1); // transparency 127 is below 200
    EXPECT_EQ(back.GetObject(2)->Points, (std::vector<TPoint>{{0, 0}, {60, 40}}));
    EXPECT_EQ(back.GetObject(3)->Points, (std::vector<TPoint>{{0, 0}, {20, 0}, {20, 20}}));
    EXPECT_EQ(back.GetObject(4)->Text, "one\r\ntwo");
    EXPECT_EQ(back.GetObject(4)->GetInt(64), 700);
    // The height as the record keeps it: -Round(height / screen DPI x 72) of the object's -16.
    EXPECT_EQ(back.GetObject(4)->FontHeight(), -Round(-16.0 / Kvview::gSystemDPIY * 72));
    EXPECT_EQ(std::memcmp(back.GetObject(5)->Attributes + 20, annot.GetObject(5)->Attributes + 20, 3), 0);
    ASSERT_NE(back.GetObject(6)->Bitmap, nullptr);
    EXPECT_EQ(PictureDigest(back.GetObject(6)->Bitmap.get()),
              PictureDigest(annot.GetObject(6)->Bitmap.get()));

    // A line whose ends run up and left gives bounds in order and points relative to them.
    VectOnForm g;
    g.Add(kvkLINE, 80, 90, 20, 50);
    g.Add(kvkELLIPSE, 0, 0, 5, 5); // no mark
    TKVImagingAnnot reversed;
    reversed.CopyFromTKorvaneVect(g.vect);
    ASSERT_EQ(reversed.GetObjectsCount(), 1);
    EXPECT_EQ(reversed.GetObject(0)->Bounds(), (TRect{20, 50, 80, 90}));
    EXPECT_EQ(reversed.GetObject(0)->Points, (std::vector<TPoint>{{60, 40}, {0, 0}}));
}

TEST(VectAnnot, MarksBurnIntoABitmap)
{
    TKVImagingAnnot annot;
    annot.AddObject(Mark(6, {2, 2, 9, 7}, 0x00FF0000)); // a filled box, red
    for (bool antialias : {false, true}) {
        SCOPED_TRACE(antialias);
        TKVBitmap b;
        b.Allocate(16, 12, kv24RGB);
        b.Fill(0xFFFFFF);
        annot.DrawToBitmap(&b, antialias);
        const uint8_t* p = b.GetScanLine(4) + 5 * 3;
        EXPECT_NEAR(p[2], 255, 2);
        EXPECT_NEAR(p[1], 0, 8);
        EXPECT_EQ(b.GetScanLine(10)[12 * 3 + 1], 255);
    }
    TKVBitmap empty;
    annot.DrawToBitmap(&empty, true);
}
