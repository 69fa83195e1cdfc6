// The image view's layers and selected-area operations, and every public operation of the view
// on pictures that are empty, tiny, tall, floating-point or file-backed.
#include "tests/view/view_test_support.h"

#include "imaging/core/bitmap_copies.h"
#include "imaging/proc/proc_component.h"
#include "imaging/view/korvane.h"
#include "platform/core/streams.h"
#include "platform/forms/ext_controls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace viewtest;

TEST(ViewLayers, LayersTakeTheLargestSizeWithTransparentNewArea)
{
    ViewOnForm f;
    FillPattern(f.view->GetKVBitmap(), 100, 50);
    f.view->LayersAdd();
    ASSERT_EQ(f.view->GetLayersCount(), 2);
    EXPECT_EQ(f.view->LayersCurrent(), 1);
    FillPattern(f.view->GetKVBitmap(), 80, 120);
    f.view->Update();
    for (int32_t i = 0; i < 2; ++i) {
        TKVBitmap* b = f.view->GetLayer(i)->Bitmap;
        EXPECT_EQ(b->GetWidth(), 100);
        EXPECT_EQ(b->GetHeight(), 120);
    }
    EXPECT_EQ(f.view->GetLayer(0)->Bitmap->GetAlpha(50, 100), 0);
    EXPECT_EQ(f.view->GetLayer(0)->Bitmap->GetAlpha(50, 10), 255);
    EXPECT_EQ(f.view->GetLayer(1)->Bitmap->GetAlpha(90, 10), 0);
    EXPECT_EQ(f.view->GetLayer(1)->Bitmap->GetAlpha(70, 10), 255);
}

TEST(ViewLayers, MergeBlendsByTransparencyAndAlpha)
{
    ViewOnForm f;
    TKVBitmap* below = f.view->GetKVBitmap();
    below->Allocate(256, 256, kv24RGB);
    f.view->LayersAdd();
    TKVBitmap* above = f.view->GetKVBitmap();
    above->Allocate(256, 256, kv24RGB);
    // Every pair of channel values: c1 below, c2 above.
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            below->SetPixels_kv24RGB(x, y, TRGB{uint8_t(x), uint8_t(x), uint8_t(x)});
            above->SetPixels_kv24RGB(x, y, TRGB{uint8_t(y), uint8_t(y), uint8_t(y)});
        }
    f.view->GetLayer(1)->Transparency = 128;
    f.view->LayersMerge(0, 1);
    ASSERT_EQ(f.view->GetLayersCount(), 1);
    TKVBitmap* merged = f.view->GetKVBitmap();
    EXPECT_FALSE(merged->GetHasAlphaChannel());
    int wrong = 0;
    for (int32_t y = 0; y < 256; ++y)
        for (int32_t x = 0; x < 256; ++x)
            wrong += merged->GetPixels_kv24RGB(x, y).r != (y * 128 + x * 127) / 255;
    EXPECT_EQ(wrong, 0);

    // An opaque layer over a 1-bit one gives the top colours; grey and palette layers are read as
    // colour.
    FillPattern(f.view->GetKVBitmap(), 30, 20, kv1g);
    f.view->LayersAdd();
    FillPattern(f.view->GetKVBitmap(), 30, 20, kv8p);
    const TRGB top = f.view->GetKVBitmap()->GetPixels(7, 5);
    f.view->LayersMerge(0, 1);
    EXPECT_TRUE(f.view->GetKVBitmap()->GetPixels(7, 5) == top);
}

TEST(ViewLayers, MoveMergeAndRemoveKeepTheCurrentLayerAndIgnoreBadIndexes)
{
    ViewOnForm f;
    FillPattern(f.view->GetKVBitmap(), 20, 10);
    f.view->LayersAdd();
    f.view->LayersAdd();
    f.view->LayersAdd();
    f.view->SetLayersCurrent(2);
    TKVLayer* current = f.view->GetLayer(2);
    struct Move
    {
        int32_t from, to;
    };
    for (const Move& m :
         {Move{3, 2}, Move{0, 3}, Move{3, 0}, Move{1, 2}, Move{-1, 2}, Move{2, 9}, Move{5, -3}}) {
        f.view->LayersMove(m.from, m.to);
        EXPECT_EQ(f.view->GetLayer(f.view->LayersCurrent()), current) << m.from << "->" << m.to;
        EXPECT_EQ(f.view->GetKVBitmap(), current->Bitmap);
        f.view->Update();
    }
    f.view->LayersMerge(1, 1);
    f.view->LayersMerge(-1, 2);
    f.view->LayersMerge(0, 7);
    EXPECT_EQ(f.view->GetLayersCount(), 4);
    f.view->LayersMerge(3, 0);
    EXPECT_EQ(f.view->GetLayersCount(), 3);
    f.view->LayersRemove(9);
    f.view->LayersRemove(0);
    f.view->LayersRemove(0);
    f.view->LayersRemove(0);
    EXPECT_EQ(f.view->GetLayersCount(), 1);
    f.view->Update();
}

TEST(ViewLayers, SelectedAreaOperationsAndAlphaRemoval)
{
    ViewOnForm f;
    FillPattern(f.view->GetKVBitmap(), 100, 80);
    f.view->SetCenter(false);
    f.view->SelectionBase = kvsbBitmap;
    f.view->Select(10, 10, 19, 14);
    f.view->SetSelectedPixelsColor(TRGB{1, 2, 3});
    EXPECT_TRUE(f.view->GetKVBitmap()->GetPixels_kv24RGB(19, 14) == (TRGB{1, 2, 3}));
    EXPECT_FALSE(f.view->GetKVBitmap()->GetPixels_kv24RGB(20, 14) == (TRGB{1, 2, 3}));
    TKVBitmap copy;
    f.view->CopySelectionToKVBitmap(&copy);
    EXPECT_EQ(copy.GetWidth(), 10);
    EXPECT_EQ(copy.GetHeight(), 5);
    TBitmap picture;
    f.view->CopySelectionToBitmap(&picture);
    EXPECT_EQ(picture.Width(), 10);

    // The merge towards the background keeps its fixed point: opaque 255 over black gives 254.
    f.view->SetBackGround(clBlack);
    TKVBitmap* b = f.view->GetKVBitmap();
    b->Fill(0xFFFFFF);
    f.view->SetSelectedAreaAlpha(0);
    f.view->RemoveAlphaChannel(true);
    EXPECT_TRUE(b->GetPixels_kv24RGB(15, 12) == (TRGB{0, 0, 0}));
    EXPECT_TRUE(b->GetPixels_kv24RGB(50, 50) == (TRGB{254, 254, 254}));
    EXPECT_FALSE(b->GetHasAlphaChannel());
}

namespace {

// The picture has the class-library bitmap's size, format and pixels.
bool SamePicture(TKVBitmap& picture, TBitmap& expected)
{
    TKVBitmap wrapped;
    wrapped.EncapsulateTBitmap(&expected, false);
    if (picture.GetWidth() != wrapped.GetWidth() || picture.GetHeight() != wrapped.GetHeight() ||
        picture.GetPixelFormat() != wrapped.GetPixelFormat())
        return false;
    for (int32_t y = 0; y < picture.GetHeight(); ++y)
        for (int32_t x = 0; x < picture.GetWidth(); ++x)
            if (!(picture.GetPixels(x, y) == wrapped.GetPixels(x, y)))
                return false;
    return true;
}

} // namespace

TEST(ViewLayers, PolygonCopiesGiveWhatTheWorkerGivesAndKeepTheAlphaInStep)
{
    // A 30 x 20 source, red inside the first figure's box, blue elsewhere.
    TBitmap source;
    source.SetPixelFormat(pf24bit);
    source.SetSize(30, 20);
    source.Canvas()->Brush()->SetColor(clBlue);
    source.Canvas()->FillRect(Rect(0, 0, 30, 20));
    source.Canvas()->Brush()->SetColor(clRed);
    source.Canvas()->FillRect(Rect(2, 1, 26, 19));
    // Two figures: a quadrilateral and, after the separator, a triangle.
    const TPoint points[] = {{2, 3}, {20, 1}, {25, 15}, {4, 18}, {0xFFFFF, 0}, {26, 2}, {29, 2}, {29, 6}};
    const int32_t count = int32_t(std::size(points));
    const struct
    {
        const char* name;
        bool facade; // through TKorvane
        bool legacy;
        TKVPixelFormat format;
        TPoint at;
    } cases[] = {
        {"inside the picture", false, false, kv24RGB, {5, 4}},
        {"past the picture's corner", false, true, kv24RGB, {30, 25}},
        {"black and white", true, false, kv1g, {3, 3}},
        {"facade, legacy bitmap", true, true, kv24RGB, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
        TKorvaneView* view = c.facade ? new TKorvane(form.get()) : new TKorvaneView(form.get());
        view->SetParent(form.get());
        view->SetLegacyBitmap(c.legacy);
        TKVBitmap* picture = view->GetKVBitmap();
        FillPattern(picture, 40, 30, c.format);
        picture->GetAlphaChannel()->Fill(90);
        TBitmap before, expected;
        for (TBitmap* copy : {&before, &expected})
            picture->CopyToTBitmap(copy);
        Korvaneproc::_CopyPolygonToPoint(&source, points, count, &expected, c.at);
        view->CopyFromPolygon(&source, points, count, c.at);
        picture = view->GetKVBitmap();
        EXPECT_TRUE(SamePicture(*picture, expected));
        // The polygon's bounding box, 27 x 17 from (2, 1) to (29, 18), lands at the point; the alpha channel
        // follows the picture's size, opaque where it grew.
        EXPECT_EQ(picture->GetWidth(), std::max(40, c.at.X + 27));
        EXPECT_EQ(picture->GetHeight(), std::max(30, c.at.Y + 17));
        ASSERT_TRUE(picture->GetHasAlphaChannel());
        EXPECT_EQ(picture->GetAlphaChannel()->GetWidth(), picture->GetWidth());
        EXPECT_EQ(picture->GetAlphaChannel()->GetHeight(), picture->GetHeight());
        EXPECT_EQ(picture->GetAlpha(0, 0), 90);
        EXPECT_EQ(picture->GetAlpha(picture->GetWidth() - 1, picture->GetHeight() - 1),
                  picture->GetWidth() > 40 ? 255 : 90);
        if (c.format == kv24RGB) {
            // Inside the first figure the source shows; left of it the picture stays.
            EXPECT_TRUE(picture->GetPixels_kv24RGB(c.at.X + 10, c.at.Y + 8) == (TRGB{0, 0, 255}));
            EXPECT_FALSE(picture->GetPixels_kv24RGB(c.at.X, c.at.Y + 1) == (TRGB{0, 0, 255}));
        }

        // The other way, from the picture as it was into another bitmap.
        view->Assign(&before);
        TBitmap target, expectedTarget;
        for (TBitmap* b : {&target, &expectedTarget}) {
            b->SetPixelFormat(pf24bit);
            b->SetSize(12, 9);
            b->Canvas()->Brush()->SetColor(clLime);
            b->Canvas()->FillRect(Rect(0, 0, 12, 9));
        }
        Korvaneproc::_CopyPolygonToPoint(&before, points, count, &expectedTarget, c.at);
        view->CopyToPolygon(&target, points, count, c.at);
        TKVBitmap got;
        got.EncapsulateTBitmap(&target, false);
        EXPECT_TRUE(SamePicture(got, expectedTarget));
        EXPECT_EQ(target.Width(), c.at.X + 27);
        EXPECT_EQ(target.Height(), c.at.Y + 17);
    }

    // Fewer than three points, no bitmap or a picture of another depth: nothing happens.
    ViewOnForm f;
    FillPattern(f.view->GetKVBitmap(), 20, 10, kv8g);
    f.view->CopyFromPolygon(&source, points, count, {0, 0});
    f.view->CopyFromPolygon(&source, points, 2, {0, 0});
    f.view->CopyFromPolygon(nullptr, points, count, {0, 0});
    EXPECT_EQ(f.view->GetKVBitmap()->GetPixelFormat(), kv8g);
    EXPECT_EQ(f.view->GetKVBitmap()->GetWidth(), 20);
    f.view->CopyToPolygon(nullptr, points, count, {0, 0});
}

TEST(ViewRobustness, EveryOperationWorksOrDoesNothingOnOddPictures)
{
    struct Picture
    {
        int32_t w, h;
        TKVPixelFormat format;
        bool legacy;
    };
    const Picture pictures[] = {
        {0, 0, kvnull, true}, {1, 1, kv24RGB, true},  {1, 65536, kv24RGB, false},    {37, 23, kv1g, true},
        {37, 23, kv8p, true}, {37, 23, kv32f, false}, {20000, 15000, kv24RGB, false}};
    for (const Picture& p : pictures) {
        SCOPED_TRACE(testing::Message() << p.w << "x" << p.h << " format " << int(p.format));
        ViewOnForm f(50, 40);
        TKorvaneView* v = f.view;
        v->SetLegacyBitmap(p.legacy);
        if (p.w > 0) {
            // The big picture lives in a temporary file and is not filled: only its size matters.
            if (p.w >= 20000)
                v->GetKVBitmap()->SetLocation(kvFile);
            v->GetKVBitmap()->Allocate(p.w, p.h, p.format);
            if (p.w < 20000)
                v->GetKVBitmap()->Fill(0);
        }
        v->Update();
        for (double z : {std::nan(""), 1e30, -1.0, 0.0001, 3000.0, 33.0})
            v->SetZoom(z);
        // The file-backed picture takes the operations whose cost follows the client area.
        const bool huge = int64_t(p.w) * p.h > 10000000;
        v->Fit();
        v->SetViewXY(INT32_MAX, INT32_MAX);
        v->SetViewXY(-5, -5);
        v->ZoomAt(1, 1, 200);
        v->CenterImage();
        f.Paint();
        v->SelectionBase = kvsbBitmap;
        v->Select(0, 0, 5, 5);
        v->SelectEllipse(2, 2, 6, 6, kvspAdd);
        v->AddSelPoint(1, 1);
        v->AddSelPoint(3, 1);
        v->AddSelPoint(3, 3);
        if (!huge) {
            v->InvertSelection();
            v->SelectMagicWand(0, 0);
        }
        v->MoveSelection(3, -2);
        v->ZoomSelection();
        TMemoryStream s;
        v->SaveSelectionToStream(s);
        s.SetPosition(0);
        v->LoadSelectionFromStream(s);
        v->SetDisplayGrid(true);
        v->SetSelectionOptions(kvsoFilled | kvsoMarkOuter);
        for (TKVBackgroundStyle style : {kvbsChessboard, kvbsCropped, kvbsCropShadow, kvbsGradient})
            v->SetBackgroundStyle(style);
        f.Paint();
        v->TimerEvent(v->ViewTimer());
        TBitmap canvasTarget;
        canvasTarget.SetPixelFormat(pf24bit);
        canvasTarget.SetSize(30, 30);
        v->DrawTo(canvasTarget.Canvas());
        if (huge)
            continue;
        v->SetSelectedPixelsColor(TRGB{1, 2, 3});
        v->SetSelectedAreaAlpha(10);
        v->RemoveAlphaChannel(true);
        TKVBitmap out;
        v->CopySelectionToKVBitmap(&out);
        const TPoint triangle[] = {{0, 0}, {4, 0}, {0, 4}};
        v->CopyFromPolygon(&canvasTarget, triangle, 3, {2, 2});
        v->CopyToPolygon(&canvasTarget, triangle, 3, {1, 1});
        v->LayersAdd();
        v->LayersMerge(0, 1);
        v->FitToWidth();
        v->FitToHeight();
        v->DeSelect();
        v->GetKorvaneProc()->Negative();
        f.Paint();
    }
}

TEST(ViewProcessing, PenMarkerRepaintsOnlyTheMarkedSpot)
{
    ViewOnForm f(80, 60);
    FillPattern(f.view->GetKVBitmap(), 200, 150);
    f.view->SetZoom(200);
    f.Paint();
    EXPECT_TRUE(f.view->UpdateRect().IsEmpty());
    const TRGB reference = f.view->GetKVBitmap()->GetPixels_kv24RGB(10, 8);
    f.view->GetKorvaneProc()->PaintPenMarker(10, 8, 4, clRed,
                                             RGBToColor(reference.r, reference.g, reference.b), 0);
    const TRect marked = f.view->UpdateRect();
    const int32_t cx = f.view->XBmp2Scr(10), cy = f.view->YBmp2Scr(8);
    // Half size round((4 div 2 + 1) x 200 / 100) = 6 around the point's client position.
    EXPECT_EQ(marked, (TRect{cx - 6, cy - 6, cx + 6, cy + 6}));
    f.view->PaintMarked();
    EXPECT_TRUE(FrontPixel(f.view->FrontImage(), cx, cy) == ColourOf(clRed));
}

TEST(ViewProcessing, PointPasteTakesClientCoordinatesOfTheView)
{
    ViewOnForm f(80, 60);
    TKVBitmap* b = f.view->GetKVBitmap();
    b->Allocate(30, 20, kv24RGB);
    b->Fill(0);
    f.view->SetZoom(200);
    f.view->Update();
    TKVBitmap patch;
    patch.Allocate(2, 2, kv24RGB);
    patch.Fill(0x0000FF);
    TKorvaneProc clip(nullptr);
    clip.SetAttachedKVBitmap(&patch);
    clip.CopyToClipboard();
    clip.SetAttachedKVBitmap(nullptr);
    // Client (30, 20) of the centred picture at zoom 200 is bitmap (10, 5).
    ASSERT_EQ(f.view->XScr2Bmp(30), 10);
    ASSERT_EQ(f.view->YScr2Bmp(20), 5);
    f.view->GetKorvaneProc()->PointPasteFromClip(30, 20);
    EXPECT_TRUE(b->GetPixels_kv24RGB(10, 5) == (TRGB{0, 0, 255}));
    EXPECT_TRUE(b->GetPixels_kv24RGB(9, 5) == (TRGB{0, 0, 0}));
    f.view->SelectionBase = kvsbBitmap;
    f.view->GetKorvaneProc()->PointPasteFromClip(2, 3);
    EXPECT_TRUE(b->GetPixels_kv24RGB(2, 3) == (TRGB{0, 0, 255}));
}
