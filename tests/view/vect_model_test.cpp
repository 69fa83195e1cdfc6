// The vector layer's object store: handles and holes, rectangles, the shared picture store,
// accessors, selection, hit testing, units and the handles an accessor refuses.
#include "tests/view/vect_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace vecttest;

TEST(VectModel, HandlesReuseOnlyTheLastSlot)
{
    VectOnForm f;
    EXPECT_EQ(f.vect->AddNewObject(), 0);
    EXPECT_EQ(f.vect->AddNewObject(), 1);
    f.vect->RemoveObject(1);
    EXPECT_EQ(f.vect->AddNewObject(), 1);
    f.vect->RemoveObject(0);
    EXPECT_EQ(f.vect->AddNewObject(), 2);
    EXPECT_EQ(f.vect->ObjectsCount(), 2);
    // The hole neither answers an accessor nor is removed twice.
    EXPECT_THROW(f.vect->GetObjKind(0), EKVVectHandle);
    f.vect->RemoveObject(0);
    EXPECT_EQ(f.vect->ObjectsCount(), 2);
    EXPECT_EQ(f.vect->GetObjFromIndex(0), 1);
    EXPECT_EQ(f.vect->GetObjFromIndex(1), 2);
    EXPECT_EQ(f.vect->GetObjFromIndex(2), -1);
    // -2 is the last slot.
    f.vect->SetObjID(kvhLast, 42);
    EXPECT_EQ(f.vect->GetObjID(2), 42);
    EXPECT_EQ(f.vect->GetObjFromID(42), 2);
}

TEST(VectModel, HandlesThatAreNoObjectRaise)
{
    VectOnForm f;
    EXPECT_THROW(f.vect->GetObjKind(kvhLast), EKVVectHandle); // no object yet
    f.vect->AddNewObject();
    for (int32_t bad : {-3, -4, 1, 1000000, std::numeric_limits<int32_t>::min()}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(f.vect->GetObjRect(bad), EKVVectHandle);
        EXPECT_THROW(f.vect->SetObjPenWidth(bad, 3), EKVVectHandle);
        EXPECT_THROW(f.vect->SetObjText(bad, "x"), EKVVectHandle);
    }
    EXPECT_NO_THROW(f.vect->SetObjPenWidth(kvhTemplate, 3));
    EXPECT_EQ(f.vect->GetObjPenWidth(kvhTemplate), 3);
    EXPECT_EQ(f.vect->GetObjPenWidth(0), 1); // the template seeds objects added later only
    EXPECT_EQ(f.vect->GetSelObjects(5), 0);
}

TEST(VectModel, BoxesAreOrderedLinesKeepTheirDirection)
{
    VectOnForm f;
    struct Case
    {
        TKVVObjectKind kind;
        TRect want;
    } cases[] = {
        {kvkBOX, {10, 20, 50, 60}},      {kvkELLIPSE, {10, 20, 50, 60}}, {kvkTEXT, {10, 20, 50, 60}},
        {kvkLINE, {50, 60, 10, 20}},     {kvkRULER, {50, 60, 10, 20}},   {kvkLINELABEL, {50, 60, 10, 20}},
        {kvkPOLYLINE, {50, 60, 10, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.kind));
        const int32_t h = f.Add(c.kind, 50, 60, 10, 20);
        const TKVVObject& o = f.vect->Obj(h);
        EXPECT_EQ((TRect{o.x1, o.y1, o.x2, o.y2}), c.want);
    }
}

TEST(VectModel, WidthHeightTextAndNames)
{
    VectOnForm f;
    const int32_t h = f.Add(kvkTEXT, 5, 7, 20, 30);
    f.vect->SetObjWidth(h, 10);
    EXPECT_EQ(f.vect->Obj(h).x2, 14);
    EXPECT_EQ(f.vect->GetObjWidth(h), 10);
    f.vect->SetObjHeight(h, 4);
    EXPECT_EQ(f.vect->Obj(h).y2, 10);
    f.vect->SetObjText(h, "a\r\nb");
    EXPECT_EQ(f.vect->GetObjText(h), "a\nb");
    f.vect->SetObjName(h, "Label");
    EXPECT_EQ(f.vect->GetObjFromName("Label"), h);
    EXPECT_EQ(f.vect->GetObjFromName("label"), -1);
    // The topmost object of a name wins.
    const int32_t g = f.Add(kvkBOX, 0, 0, 3, 3);
    f.vect->SetObjName(g, "Label");
    EXPECT_EQ(f.vect->GetObjFromName("Label"), g);
    f.vect->SetObjBackTo(g, h);
    EXPECT_EQ(f.vect->GetObjFromName("Label"), h);
    EXPECT_EQ(f.vect->GetObjPos(g), 0);
    f.vect->SetObjFrontOf(g, -1);
    EXPECT_EQ(f.vect->GetObjPos(g), 1);
    EXPECT_EQ(f.vect->GetObjectsExtents(), (TRect{0, 0, 15, 11}));
}

TEST(VectModel, SharedPicturesAreCountedAndFreed)
{
    VectOnForm f;
    f.vect->RemoveAllObjects(); // also drops the template's picture from the store
    TKVBitmap picture;
    viewtest::FillPattern(&picture, 9, 7);
    TKVBitmap same;
    viewtest::FillPattern(&same, 9, 7);
    const int32_t a = f.Add(kvkBITMAP, 0, 0, 8, 6);
    const int32_t b = f.Add(kvkBITMAP, 20, 0, 28, 6);
    f.vect->SetObjBitmap(a, &picture);
    f.vect->SetObjBitmap(b, &same);
    const int32_t index = f.vect->Obj(a).BitmapIndex;
    ASSERT_GE(index, 0);
    EXPECT_EQ(f.vect->Obj(b).BitmapIndex, index);
    EXPECT_EQ(f.vect->BitmapRefCount(index), 2);
    f.vect->RemoveObject(a);
    EXPECT_EQ(f.vect->BitmapRefCount(index), 1);
    f.vect->RemoveObject(b);
    EXPECT_EQ(f.vect->BitmapRefCount(index), 0);
    EXPECT_EQ(f.vect->GetBitmap(index), nullptr);

    // Without sharing, equal pictures get their own entries.
    f.vect->ShareBitmaps = false;
    const int32_t c = f.Add(kvkBITMAP, 0, 0, 8, 6);
    const int32_t d = f.Add(kvkBITMAP, 0, 0, 8, 6);
    f.vect->SetObjBitmap(c, &picture);
    f.vect->SetObjBitmap(d, &picture);
    EXPECT_NE(f.vect->Obj(c).BitmapIndex, f.vect->Obj(d).BitmapIndex);
}

TEST(VectModel, AHandleSelectedTwiceLeavesTheListWithItsObject)
{
    VectOnForm f;
    const int32_t a = f.Add(kvkBOX, 0, 0, 9, 9);
    const int32_t b = f.Add(kvkBOX, 20, 0, 29, 9);
    f.vect->AddSelObjectNS(a);
    f.vect->AddSelObjectNS(a);
    f.vect->AddSelObjectNS(b);
    EXPECT_EQ(f.vect->SelObjectsCount(), 3);
    f.vect->RemoveObject(a);
    EXPECT_EQ(f.vect->SelObjectsCount(), 1);
    EXPECT_EQ(f.vect->GetSelObjects(0), b);
    // Objects that are not selectable stay out of the list.
    const int32_t c = f.Add(kvkBOX, 40, 0, 49, 9);
    f.vect->SetObjStyle(c, kvvsVisible);
    f.vect->AddSelObject(c);
    EXPECT_FALSE(f.vect->IsSelObject(c));
    f.vect->UnSelAllObjects();
    f.vect->SelInRect(kvhAll, 0, 0, 30, 10);
    EXPECT_TRUE(f.vect->IsSelObject(b));
    f.vect->SelInRect(kvhAll, 0, 0, 30, 10); // not twice
    EXPECT_EQ(f.vect->SelObjectsCount(), 1);
}

TEST(VectModel, HitTestingKeepsTheUpperObjectAndHonoursTheLimitAtTheZoom)
{
    VectOnForm f;
    const int32_t lower = f.Add(kvkLINE, 10, 10, 100, 10);
    const int32_t upper = f.Add(kvkLINE, 10, 30, 100, 30);
    double dist = 0;
    EXPECT_EQ(f.vect->FindNearObj(50, 20, dist, false), upper);
    EXPECT_DOUBLE_EQ(dist, 10.0);
    f.vect->SetObjFrontOf(lower, -1);
    EXPECT_EQ(f.vect->FindNearObj(50, 20, dist, false), lower);

    // A limit of 8 screen pixels: 8 bitmap pixels at 100 %, 4 at 200 %.
    f.vect->HitDistanceLimit = 8;
    EXPECT_EQ(f.vect->FindNearObj(50, 17, dist, false), lower);
    f.vect->SetZoom(200);
    f.vect->SetViewXY(0, 0);
    EXPECT_EQ(f.vect->FindNearObj(50, 17, dist, false), kvhAll);
    EXPECT_EQ(f.vect->FindNearObj(50, 14, dist, false), lower);
    EXPECT_EQ(f.vect->FindNearObj(50, 15, dist, false), kvhAll);

    // Distances by kind.
    VectOnForm g;
    const int32_t box = g.Add(kvkBOX, 10, 10, 50, 50);
    EXPECT_DOUBLE_EQ(g.vect->CalcDistPtObj(g.vect->Obj(box), 30, 30), 20.0); // clear brush: edges only
    g.vect->SetObjBrushStyle(box, bsSolid);
    EXPECT_DOUBLE_EQ(g.vect->CalcDistPtObj(g.vect->Obj(box), 30, 30), 0.0);
    const int32_t ellipse = g.Add(kvkELLIPSE, 0, 0, 40, 20);
    EXPECT_LE(g.vect->CalcDistPtObj(g.vect->Obj(ellipse), 40, 10), 1.0);
    const int32_t dot = g.Add(kvkELLIPSE, 0, 0, 1, 1);
    EXPECT_EQ(g.vect->CalcDistPtObj(g.vect->Obj(dot), 0, 0), 2147483647.0);
    EXPECT_EQ(g.vect->CalcDistPtObj(g.vect->Obj(kvhTemplate), 0, 0), -1.0);
}

TEST(VectModel, UnitsAndScale)
{
    VectOnForm f;
    f.vect->SetDPIX(254);
    f.vect->SetDPIY(254);
    struct Case
    {
        TKVUnits unit;
        double perPixel;
        const char* name;
    } cases[] = {
        {kvuPIXELS, 1.0, "pixels"},
        {kvuINCHES, 1.0 / 254, "inches"},
        {kvuKM, 1e-7, "km"},
        {kvuMETERS, 1e-4, "mt"},
        {kvuCENTIMETERS, 0.01, "cm"},
        {kvuMILLIMETERS, 0.1, "mm"},
        {kvuMICRONS, 100.0, "microns"},
        {kvuNANOMETERS, 100000.0, "nanometers"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.vect->SetMUnit(c.unit);
        EXPECT_NEAR(f.vect->CoefX(), c.perPixel, c.perPixel * 1e-12);
        EXPECT_NEAR(f.vect->CoefY(), c.perPixel, c.perPixel * 1e-12);
        EXPECT_STREQ(Kvvect::UnitName(c.unit), c.name);
    }
    f.vect->SetMUnit(kvuCENTIMETERS);
    f.vect->SetScale(2.0);
    EXPECT_DOUBLE_EQ(f.vect->CoefX(), 0.02);
    // Scales that would make every measure infinite or NaN are ignored.
    for (double bad : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        f.vect->SetScale(bad);
        EXPECT_DOUBLE_EQ(f.vect->Scale(), 2.0);
        f.vect->SetScaleFromPixels(0.0, 5.0);
        f.vect->SetScaleFromPixels(10.0, bad);
        EXPECT_DOUBLE_EQ(f.vect->Scale(), 2.0);
    }
    // 100 pixels measure 5 cm: a pixel is 0.05 cm.
    f.vect->SetScaleFromPixels(100.0, 5.0);
    EXPECT_NEAR(f.vect->CoefX(), 0.05, 1e-12);
}

TEST(VectModel, CopiesAndAssignCarryPicturesAndScale)
{
    VectOnForm f;
    VectOnForm g;
    TKVBitmap picture;
    viewtest::FillPattern(&picture, 5, 4);
    const int32_t a = f.Add(kvkBITMAP, 0, 0, 4, 3);
    f.vect->SetObjBitmap(a, &picture);
    f.Add(kvkLINE, 1, 2, 3, 4);
    f.vect->SetScale(3.0);
    g.vect->Assign(f.vect);
    EXPECT_EQ(g.vect->ObjectsCount(), 2);
    EXPECT_DOUBLE_EQ(g.vect->Scale(), 3.0);
    const int32_t copy = g.vect->GetObjFromIndex(0);
    ASSERT_NE(g.vect->GetObjBitmap(copy), nullptr);
    EXPECT_EQ(g.vect->GetObjBitmap(copy)->GetWidth(), 5);
    EXPECT_EQ(g.vect->BitmapRefCount(g.vect->Obj(copy).BitmapIndex), 1);
    g.vect->Assign(nullptr);
    EXPECT_EQ(g.vect->ObjectsCount(), 0);
}

TEST(VectModel, ManyObjectsHolesAndNoPicture)
{
    VectOnForm f(120, 90, 0, 0); // no picture at all
    for (int32_t i = 0; i < 100000; ++i) {
        f.Add(i % 2 ? kvkLINE : kvkBOX, i % 97, i % 89, i % 97 + 5, i % 89 + 5);
    }
    for (int32_t i = 0; i < 100000; i += 3) {
        f.vect->RemoveObject(i);
    }
    EXPECT_EQ(f.vect->ObjectsCount(), 66666);
    double dist = 0;
    EXPECT_GE(f.vect->FindNearObj(50, 50, dist, false), 0);
    f.Paint();
    f.vect->SelAllObjects();
    EXPECT_EQ(f.vect->SelObjectsCount(), 66666);
    f.vect->RemoveAllObjects();
    EXPECT_EQ(f.vect->ObjectsCount(), 0);
    f.Paint();
}
