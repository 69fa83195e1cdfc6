// Painting the thumbnail view, read back from its front image: where a picture lands in its
// cell, the frames, gaps and captions, borders and selection marks, the mark of a picture that
// cannot be read, the drawn-thumbnail cache, and drawing into a target smaller than the view.
#include "tests/dialogs/mview_test_support.h"

#include <gtest/gtest.h>

using namespace mviewtest;

namespace {

const TRGB kRed{0, 0, 200};
const TColor kViewBack = 0x123456;

struct PaintView : MViewOnForm
{
    PaintView() : MViewOnForm(440, 330) { view->SetBackGround(kViewBack); }
    void Add(int32_t w, int32_t h, TRGB colour = kRed)
    {
        const int32_t i = view->GetImageCount();
        view->InsertImageEx(i);
        auto b = Solid(w, h, colour);
        view->SetKVBitmap(i, b.get());
    }
};

TEST(MViewPaint, PictureFramesAndFillInTheCell)
{
    PaintView v;
    v.Add(200, 100);
    TBitmap* front = v.Paint();
    // The first cell is at (4, 4); the picture is drawn 100 x 50 at (4, 29).
    const TRGB white{255, 255, 255}, grey{128, 128, 128};
    const struct
    {
        int32_t x, y;
        TRGB expected;
    } pixels[] = {
        {2, 2, RGBOf(kViewBack)},   // the view's background outside the cells
        {50, 10, RGBOf(clBtnFace)}, // the cell's fill above the picture
        {50, 95, RGBOf(clBtnFace)}, // and below it
        {4, 29, white},             // frame: left and top white
        {50, 29, white},
        {103, 50, grey}, // right and bottom grey
        {50, 78, grey},
        {50, 50, kRed}, // the picture
        {102, 77, kRed},
        {105, 50, RGBOf(kViewBack)}, // the border strip between cells
    };
    for (const auto& p : pixels)
        EXPECT_TRUE(Same(Pixel(front, p.x, p.y), p.expected)) << p.x << ", " << p.y;
    // No cell frame with both gaps 0: the cell's corner keeps the fill.
    EXPECT_TRUE(Same(Pixel(front, 4, 4), RGBOf(clBtnFace)));
}

TEST(MViewPaint, BottomCaptionGrowsTheGapByStyle)
{
    for (TKVMStyle style : {kvmsACD, kvmsFlat}) {
        PaintView v;
        v.view->SetStyle(style);
        v.Add(100, 100);
        TKVMText* caption = v.view->GetImageBottomText(0);
        caption->Font()->SetHeight(-8);
        caption->SetCaption("photo");
        TBitmap probe;
        probe.Canvas()->Font()->Assign(caption->Font());
        const int32_t h = probe.Canvas()->TextHeight("photo");
        EXPECT_EQ(v.view->BottomGap(), style == kvmsACD ? h + 4 : h + 2);
        // The picture fits the area left: 100 - gap - caption height, a square that size.
        const int32_t ah = 100 - v.view->BottomGap() - h;
        TBitmap* front = v.Paint();
        const int32_t dx = 4 + (100 - ah) / 2;
        EXPECT_TRUE(Same(Pixel(front, dx + ah / 2, 4 + ah / 2), kRed));
        EXPECT_FALSE(Same(Pixel(front, dx + ah / 2, 4 + ah + 1), kRed));
        EXPECT_FALSE(Same(Pixel(front, dx - 1, 4 + ah / 2), kRed));
    }
}

TEST(MViewPaint, CaptionsAreCutFromTheLeft)
{
    TBitmap b;
    TCanvas* c = b.Canvas();
    c->Font()->SetName("Arial");
    c->Font()->SetHeight(-12);
    const int32_t w = c->TextWidth("short");
    const struct
    {
        std::string caption;
        int32_t width;
        bool cut;
    } cases[] = {
        {"short", w, false},
        {"a very long caption.jpg", w + 10, true},
        {"W", 1, false},                            // one character is never cut
        {"holiday \xC3\xA9t\xC3\xA9.jpg", w, true}, // never inside a character
    };
    for (const auto& k : cases) {
        const std::string s = KVMFitCaption(c, k.caption, k.width);
        SCOPED_TRACE(k.caption);
        if (!k.cut) {
            EXPECT_EQ(s, k.caption);
            continue;
        }
        ASSERT_EQ(s.substr(0, 3), "...");
        EXPECT_LE(c->TextWidth(s), k.width);
        const std::string tail = s.substr(3);
        EXPECT_EQ(k.caption.substr(k.caption.size() - tail.size()), tail);
        EXPECT_NE((uint8_t(tail[0]) & 0xC0), 0x80);
        // One more character would no longer fit.
        const std::string longer = "..." + k.caption.substr(k.caption.size() - tail.size() - 1);
        EXPECT_GT(c->TextWidth(longer), k.width);
    }
}

TEST(MViewPaint, BordersSelectionMarksAndDrawEvents)
{
    struct Case
    {
        int32_t border;
        TKVSStyle selection;
        bool focused;
        int32_t markWidth;
    };
    const Case cases[] = {{2, kvssAround, true, 3}, {0, kvssAround, false, 1}, {0, kvssACD, true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "border " << c.border << " focus " << c.focused);
        PaintView v;
        v.form->Show();
        v.Add(100, 100);
        v.Add(100, 100);
        v.view->SetThumbnailsBorderWidth(c.border);
        v.view->SetThumbnailsBorderColor(0x00FF00);
        v.view->SetSelectionStyle(c.selection);
        v.view->SetSelectedItem(1);
        if (c.focused)
            Simulate::Focus(v.view);
        std::vector<int32_t> drawn;
        v.view->OnImageDraw = [&](TObject*, int32_t idx, int32_t, int32_t, TCanvas*) {
            drawn.push_back(idx);
        };
        TBitmap* front = v.Paint();
        EXPECT_EQ(drawn, (std::vector<int32_t>{0, 1}));
        // Image 0: the border rings outside the cell, then the view's background.
        for (int32_t k = 1; k <= 3; ++k) {
            const TRGB p = Pixel(front, 4 - k, 50);
            EXPECT_TRUE(Same(p, k <= c.border ? TRGB{0, 255, 0} : RGBOf(kViewBack))) << k;
        }
        // Image 1 at x = 108: the red selection rings, as wide as the focus says.
        for (int32_t k = 1; k <= 3; ++k) {
            const TRGB p = Pixel(front, 108 - k, 50);
            EXPECT_EQ(Same(p, RGBOf(clRed)), k <= c.markWidth) << k;
        }
        if (c.selection == kvssACD) {
            EXPECT_FALSE(Same(Pixel(front, 150, 2 + 4), RGBOf(clBtnFace)));
        }
    }
}

TEST(MViewPaint, UnreadableFileShowsTheMark)
{
    PaintView v;
    kvtest::TempFolder folder;
    v.view->SetThreadPoolSize(0);
    v.view->InsertImageEx(0);
    v.view->SetImageFileName(0, folder.Write("broken.png", "\x89PNG\r\n\x1a\n broken"));
    TBitmap* front = v.Paint();
    int32_t blue = 0, white = 0, grey = 0;
    for (int32_t y = 4; y < 104; ++y)
        for (int32_t x = 4; x < 104; ++x) {
            const TRGB p = Pixel(front, x, y);
            blue += Same(p, TRGB{255, 0, 0});
            white += Same(p, TRGB{255, 255, 255});
            grey += Same(p, TRGB{128, 128, 128});
        }
    EXPECT_GT(blue, 100);
    EXPECT_GT(white, 2000);
    EXPECT_GT(grey, 10);
}

TEST(MViewPaint, EveryVisibleDrawnThumbnailStaysInMemory)
{
    // More cells visible than the store's minimum of mapped pictures: a repaint must find all
    // of them in memory and draw the same pixels as the first paint.
    PaintView v;
    v.view->SetGridWidth(-1);
    v.view->SetThumbWidth(40);
    v.view->SetThumbHeight(40);
    const int32_t count = 30;
    for (int32_t i = 0; i < count; ++i)
        v.Add(60 + i, 50, SlowFormat::ColourOf(i % 6));
    v.Paint();
    int32_t visible = 0;
    for (int32_t i = 0; i < count; ++i)
        visible += v.view->IsVisible(i) ? 1 : 0;
    ASSERT_GT(visible, 10);
    EXPECT_EQ(v.view->CachedThumbnailCount(), visible);
    TBitmap first;
    first.Assign(v.view->FrontImage());
    // The store's file grows while the first paint adds to it, which may unmap some; from the
    // second paint on, every visible one is held.
    TBitmap* second = v.Paint();
    EXPECT_EQ(v.view->MappedThumbnailCount(), visible);
    v.Paint();
    EXPECT_EQ(v.view->MappedThumbnailCount(), visible);
    for (int32_t y = 0; y < 330; y += 2)
        for (int32_t x = 0; x < 440; x += 2)
            ASSERT_TRUE(Same(Pixel(second, x, y), Pixel(&first, x, y))) << x << ", " << y;
    // Fewer visible cells give memory back down to the minimum.
    v.view->SetThumbWidth(200);
    v.view->SetThumbHeight(200);
    v.Paint();
    EXPECT_LE(v.view->MappedThumbnailCount(), 10);
}

TEST(MViewPaint, SecondPaintUsesTheDrawnThumbnails)
{
    PaintView v;
    v.view->SetGridWidth(-1);
    for (int32_t i = 0; i < 6; ++i)
        v.Add(300 + i, 200, SlowFormat::ColourOf(i));
    v.Paint();
    EXPECT_EQ(v.view->CachedThumbnailCount(), 6);
    TBitmap first;
    first.Assign(v.view->FrontImage());
    v.view->SetViewY(0);
    TBitmap* second = v.Paint();
    EXPECT_EQ(v.view->CachedThumbnailCount(), 6);
    for (int32_t y = 0; y < 330; y += 3)
        for (int32_t x = 0; x < 440; x += 3)
            ASSERT_TRUE(Same(Pixel(second, x, y), Pixel(&first, x, y))) << x << ", " << y;
    // Turning caching off drops them and keeps none.
    v.view->SetEnableImageCaching(false);
    v.Paint();
    EXPECT_EQ(v.view->CachedThumbnailCount(), 0);
}

TEST(MViewPaint, SmallTargetsEmptyViewsAndOddPictures)
{
    PaintView v;
    v.Paint(); // empty
    v.view->SetDisplayMode(mdSingle);
    v.Paint();
    v.Add(1, 65536);
    TKVBitmap empty;
    v.view->InsertImageEx(1);
    v.view->SetKVBitmap(1, &empty);
    v.Add(3, 1);
    v.view->SoftShadow().Enabled = 1;
    v.view->SetDisplayMode(mdGrid);
    v.Paint();
    // A target the size of one cell: everything is clipped to it.
    TBitmap cell;
    cell.SetPixelFormat(pf24bit);
    cell.SetSize(20, 10);
    v.view->PaintTo(&cell);
    EXPECT_TRUE(Same(Pixel(&cell, 19, 9), RGBOf(clBtnFace)));
    EXPECT_TRUE(Same(Pixel(&cell, 1, 1), RGBOf(kViewBack)));
}

} // namespace
