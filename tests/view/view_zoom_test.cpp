// The image view's zoom, scrolling and coordinates: the geometry against an extended-precision
// reference, the scroll bars, the wheel and click zoom, and the guards on bad zooms.
#include "imaging/view/view_geometry.h"

#include "tests/view/view_test_support.h"

#include "imaging/io/korvaneio.h"
#include "platform/core/rounding.h"
#include "platform/core/threads.h"
#include "platform/forms/simulate.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

using namespace viewtest;

namespace {

TKVViewGeometry Axis(int32_t bitmap, int32_t client, double zoom, int32_t view, bool center)
{
    TKVViewGeometry g;
    g.BitmapWidth = g.BitmapHeight = bitmap;
    g.ClientWidth = g.ClientHeight = g.OuterWidth = g.OuterHeight = client;
    g.Center = center;
    g.SetZoomRatios(zoom);
    g.UpdateLimits();
    int32_t mx, my;
    g.GetMaxViewXY(mx, my);
    g.ViewX = g.ViewY = std::clamp(view, 0, mx);
    g.CalcPaintCoef();
    return g;
}

std::vector<long long> Numbers(const std::string& line)
{
    std::istringstream in(line);
    std::vector<long long> v;
    long long n;
    while (in >> n)
        v.push_back(n);
    return v;
}

} // namespace

TEST(ViewGeometry, TablesGiveWholeClientPixelsPerBitmapPixel)
{
    struct Case
    {
        double zoom;
        std::vector<int32_t> scr2bmp; // client pixels 0, 1, 2...
        std::vector<int32_t> bmp2scr; // bitmap pixels 0, 1, 2...
    };
    const Case cases[] = {
        {400, {0, 0, 0, 0, 1, 1, 1, 1, 2}, {0, 4, 8}},
        // 100/300 is not exact: 3 x (100/300) stays below 1 in extended precision.
        {300, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3}, {0, 4, 7}},
        {50, {0, 2, 4}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zoom);
        const TKVViewGeometry g = Axis(100, 50, c.zoom, 0, false);
        for (size_t x = 0; x < c.scr2bmp.size(); ++x)
            EXPECT_EQ(g.XScr2Bmp(int32_t(x)), c.scr2bmp[x]) << "client " << x;
        for (size_t b = 0; b < c.bmp2scr.size(); ++b)
            EXPECT_EQ(g.XBmp2Scr(int32_t(b)), c.bmp2scr[b]) << "bitmap " << b;
    }
}

TEST(ViewGeometry, MatchesExtendedPrecisionReference)
{
    std::ifstream in(std::string(KV_TEST_DATA_DIR) + "/view/geometry-reference.txt");
    ASSERT_TRUE(in);
    std::string head, scr, bmp;
    int cases = 0;
    while (std::getline(in, head) && std::getline(in, scr) && std::getline(in, bmp)) {
        std::istringstream h(head);
        int32_t bitmap, client, view, center;
        double zoom;
        h >> bitmap >> client >> zoom >> view >> center;
        std::vector<long long> expect;
        long long n;
        while (h >> n)
            expect.push_back(n);
        SCOPED_TRACE(head);
        const TKVViewGeometry g = Axis(bitmap, client, zoom, view, center != 0);
        ASSERT_EQ(expect.size(), 8u);
        EXPECT_EQ(g.ZoomedWidth, expect[0]);
        EXPECT_EQ(g.OffsetX, expect[1]);
        TKVViewGeometry copy = g;
        int32_t mx, my;
        copy.GetMaxViewXY(mx, my);
        EXPECT_EQ(mx, expect[2]);
        EXPECT_EQ(g.FirstColumn, expect[3]);
        EXPECT_EQ(g.VisibleColumns, expect[4]);
        EXPECT_EQ(g.DrawnWidth, expect[5]);
        if (mx >= 1) {
            const double scale = (double(client) + mx) / 65536.0;
            EXPECT_EQ(Trunc(client / static_cast<long double>(scale)), expect[6]);
            EXPECT_EQ(Trunc(g.ViewX / static_cast<long double>(scale)), expect[7]);
        }
        const std::vector<long long> s = Numbers(scr);
        for (int32_t x = -2; x < client + 2; ++x)
            ASSERT_EQ(g.XScr2Bmp(x), s[size_t(x + 2)]) << "client " << x;
        const std::vector<long long> b = Numbers(bmp);
        const int32_t from = std::max(g.FirstColumn - 2, 0);
        for (size_t i = 0; i < b.size(); ++i)
            ASSERT_EQ(g.XBmp2Scr(from + int32_t(i)), b[i]) << "bitmap " << from + int32_t(i);
        ++cases;
    }
    EXPECT_EQ(cases, 16);
}

TEST(ViewGeometry, RefusesZoomsItCannotShow)
{
    TKVViewGeometry g;
    g.BitmapWidth = 1000;
    g.BitmapHeight = 10;
    for (double z : {0.0, -5.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e300, 420000.0})
        EXPECT_FALSE(g.AcceptsZoom(z)) << z;
    EXPECT_TRUE(g.AcceptsZoom(419000.0));
    EXPECT_TRUE(g.AcceptsZoom(0.001));
}

TEST(ViewZoom, ZoomingInKeepsTheCentrePointOfAScrolledPicture)
{
    ViewOnForm f(320, 240);
    f.view->SetScrollBars(ssNone);
    FillPattern(f.view->GetKVBitmap(), 451, 300);
    f.view->Update();
    f.view->SetViewXY(131, 60);
    ASSERT_EQ(f.view->ViewX(), 131);
    f.view->SetZoom(200);
    // The bitmap point under the centre was (291, 180); it stays there.
    EXPECT_EQ(f.view->XScr2Bmp(160), 291);
    EXPECT_EQ(f.view->YScr2Bmp(120), 180);
}

TEST(ViewZoom, CentresASmallPictureAndScalesTheScrollBars)
{
    ViewOnForm f(300, 200);
    FillPattern(f.view->GetKVBitmap(), 100, 100);
    f.view->Update();
    EXPECT_EQ(f.view->Geometry().OffsetX, 100);
    EXPECT_EQ(f.view->Geometry().OffsetY, 50);
    EXPECT_FALSE(f.view->ScrollBarVisible(SB_HORZ));

    ViewOnForm wide(200, 150);
    FillPattern(wide.view->GetKVBitmap(), 1000, 100);
    wide.view->Update();
    int32_t mx, my;
    wide.view->GetMaxViewXY(mx, my);
    EXPECT_EQ(mx, 800);
    EXPECT_EQ(my, 0);
    wide.view->SetViewX(400);
    TScrollInfo info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(wide.view->GetScrollInfo(SB_HORZ, info));
    EXPECT_TRUE(wide.view->ScrollBarVisible(SB_HORZ));
    EXPECT_FALSE(wide.view->ScrollBarVisible(SB_VERT));
    EXPECT_EQ(info.nPage, 13107u);
    EXPECT_EQ(info.nPos, 26214);
    // The user's drag of the thumb comes back in view pixels.
    Simulate::Scroll(wide.view, SB_HORZ, SB_THUMBPOSITION, 13108);
    EXPECT_NEAR(wide.view->ViewX(), 200, 2);
    Simulate::Scroll(wide.view, SB_HORZ, SB_BOTTOM);
    EXPECT_EQ(wide.view->ViewX(), 800);
}

TEST(ViewZoom, WheelAndClicksStepTheZoom)
{
    ViewOnForm f(80, 60);
    FillPattern(f.view->GetKVBitmap(), 200, 150);
    f.view->Update();
    Simulate::Wheel(f.view, 40, 30, 120);
    EXPECT_EQ(f.view->Zoom(), 92);
    f.view->SetZoom(100);
    f.view->MouseWheelParams()->Reverse = true;
    Simulate::Wheel(f.view, 40, 30, 120);
    EXPECT_EQ(f.view->Zoom(), 108);

    f.view->SetMouseInteract(miZoom);
    struct Click
    {
        double from;
        TMouseButton button;
        double to;
    };
    for (const Click& c : {Click{100, mbLeft, 200}, Click{33, mbLeft, 50}, Click{200, mbRight, 100},
                           Click{100, mbRight, 75}, Click{2, mbRight, 2}}) {
        f.view->SetZoom(c.from);
        Simulate::MouseDown(f.view, c.button, 40, 30);
        Simulate::MouseUp(f.view, c.button, 40, 30);
        EXPECT_EQ(f.view->Zoom(), c.to) << c.from;
    }
    // A click in the margin beside a centred picture is not a click on the picture.
    ViewOnForm small(200, 60);
    FillPattern(small.view->GetKVBitmap(), 50, 50);
    small.view->SetMouseInteract(miZoom);
    small.view->Update();
    Simulate::MouseDown(small.view, mbLeft, 5, 30);
    Simulate::MouseUp(small.view, mbLeft, 5, 30);
    EXPECT_EQ(small.view->Zoom(), 100);
}

TEST(ViewZoom, IgnoresBadZoomsAndReportsRealChanges)
{
    ViewOnForm f;
    FillPattern(f.view->GetKVBitmap(), 200, 150);
    f.view->Update();
    int changes = 0;
    f.view->OnViewChange = [&](TObject*, int32_t change) { changes += change == 1; };
    for (double z : {0.0, -5.0, 100.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e12})
        f.view->SetZoom(z);
    EXPECT_EQ(f.view->Zoom(), 100);
    EXPECT_EQ(changes, 0);
    f.view->SetZoom(250);
    EXPECT_EQ(changes, 1);

    ViewOnForm empty;
    EXPECT_EQ(empty.view->GetFitValue(), 100);
    EXPECT_EQ(empty.view->GetIdealZoom(), 100);
}

TEST(ViewZoom, AutoFitStretchesAndAutoShrinkKeepsSmallPictures)
{
    ViewOnForm f(200, 100);
    FillPattern(f.view->GetKVBitmap(), 40, 20);
    f.view->SetAutoShrink(true);
    EXPECT_EQ(f.view->Zoom(), 100);
    f.view->SetAutoShrink(false);
    f.view->SetAutoFit(true);
    EXPECT_GT(f.view->Zoom(), 400);
    EXPECT_FALSE(f.view->RequiresScrollBars());
}

TEST(ViewImageChange, AsynchronousLoadFiresOnceOnTheUserInterfaceThreadAndRepaints)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("picture.bmp");
    {
        TKVBitmap picture;
        FillPattern(&picture, 40, 30);
        TKorvaneIO io(nullptr);
        io.SetAttachedKVBitmap(&picture);
        io.SaveToFile(file);
    }
    ViewOnForm f(40, 30);
    std::atomic<int> fired = 0;
    std::atomic<uint32_t> thread = 0;
    f.view->OnImageChange = [&](TObject*) {
        thread = GetCurrentThreadId();
        ++fired;
    };
    TKorvaneIO* io = f.view->GetKorvaneIO();
    io->AsyncMode = true;
    io->LoadFromFile(file);
    EXPECT_TRUE(Simulate::WaitUntil([&] { return fired.load() > 0; }));
    Simulate::ProcessEvents();
    EXPECT_EQ(fired.load(), 1);
    EXPECT_EQ(thread.load(), MainThreadID);
    TBitmap* front = f.view->FrontImage();
    f.view->PaintMarked();
    EXPECT_TRUE(FrontPixel(front, 7, 5) == (TRGB{7 * 7 + 3 * 5, 5, 7}));
}
