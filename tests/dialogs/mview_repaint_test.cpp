// Repainting part of the thumbnail view: a marked area comes out as a full paint draws it, only
// the cells it touches are drawn again, and a picture stored by a background load marks its own
// cell alone.
#include "tests/dialogs/mview_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

using namespace mviewtest;

namespace {

constexpr int32_t kWidth = 440;
constexpr int32_t kHeight = 330;

// Pictures of several shapes and colours, so that every cell draws differently.
void AddPictures(TKorvaneMView* view, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        view->InsertImageEx(i);
        auto b = Solid(60 + 37 * (i % 5), 40 + 23 * (i % 3), SlowFormat::ColourOf(i));
        view->SetKVBitmap(i, b.get());
    }
}

void Scribble(TBitmap* front)
{
    for (int32_t y = 0; y < front->Height(); ++y)
        std::memset(front->ScanLine(y), 0xA5, size_t(front->Width()) * 3);
}

// The client rectangle of cell idx with Ring pixels around it.
TRect CellRect(TKorvaneMView* view, int32_t idx, int32_t ring = 0)
{
    const int32_t x = view->GetImageX(idx) - view->ViewX();
    const int32_t y = view->GetImageY(idx) - view->ViewY();
    return TRect{x - ring, y - ring, x + view->ThumbWidth() + ring, y + view->ThumbHeight() + ring};
}

// Every pixel inside Area equals the reference; every pixel outside kept the scribble.
void ExpectOnlyAreaRepainted(TBitmap* front, TBitmap* reference, const TRect& area)
{
    int32_t wrongInside = 0, wrongOutside = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const bool inside = x >= area.Left && x < area.Right && y >= area.Top && y < area.Bottom;
            const TRGB p = Pixel(front, x, y);
            if (inside && !Same(p, Pixel(reference, x, y)))
                ++wrongInside;
            if (!inside && !Same(p, TRGB{0xA5, 0xA5, 0xA5}))
                ++wrongOutside;
        }
    EXPECT_EQ(wrongInside, 0);
    EXPECT_EQ(wrongOutside, 0);
}

TEST(MViewRepaint, MarkedAreasDrawAsAFullPaintDoes)
{
    struct Look
    {
        const char* name;
        std::function<void(TKorvaneMView*)> set;
    };
    const Look looks[] = {
        {"plain", [](TKorvaneMView*) {}},
        {"rings",
         [](TKorvaneMView* view) {
             view->SetThumbnailsBorderWidth(3);
             view->SetThumbnailsBorderColor(0x00FF00);
             view->SetSelectionStyle(kvssAround);
             view->SetSelectionWidth(4);
             view->SetSelectedItem(5);
             Simulate::Focus(view);
         }},
        {"captions and chessboard",
         [](TKorvaneMView* view) {
             view->SetBackgroundStyle(kvbsChessboard);
             view->SetStyle(kvmsACD);
             for (int32_t i = 0; i < view->GetImageCount(); ++i)
                 view->GetImageBottomText(i)->SetCaption("picture number " + std::to_string(i));
             view->SetSelectionStyle(kvssACD);
             view->SetSelectedItem(6);
         }},
    };
    for (const Look& look : looks) {
        SCOPED_TRACE(look.name);
        MViewOnForm v(kWidth, kHeight);
        v.form->Show();
        v.view->SetBackGround(0x123456);
        v.view->SetGridWidth(4); // cells at x = 4, 108, 212, 316 and y = 4, 108, 212, 316
        AddPictures(v.view, 14);
        look.set(v.view);
        TBitmap reference;
        reference.Assign(v.Paint());
        const TRect cell5 = CellRect(v.view, 5);
        const TRect cell0 = CellRect(v.view, 0);
        const TRect cell1 = CellRect(v.view, 1);
        using Cells = std::vector<int32_t>;
        const struct
        {
            const char* name;
            TRect area;
            // The cells a paint of the area draws, where the rings leave no doubt.
            std::optional<Cells> drawn;
        } cases[] = {
            {"inside one cell", TRect{cell5.Left + 10, cell5.Top + 7, cell5.Right - 20, cell5.Bottom - 9},
             Cells{5}},
            {"one whole cell", cell5, Cells{5}},
            {"two cells and the strip between",
             TRect{cell0.Right - 30, cell0.Top + 20, cell1.Left + 30, cell0.Bottom - 20}, Cells{0, 1}},
            {"the strip between two cells only",
             TRect{cell0.Right, cell0.Top + 20, cell1.Left, cell0.Bottom - 20}, Cells{0, 1}},
            {"the pixel left of a cell", TRect{cell5.Left - 1, cell5.Top + 50, cell5.Left, cell5.Top + 51},
             std::nullopt},
            {"the pixel above a cell", TRect{cell5.Left + 50, cell5.Top - 1, cell5.Left + 51, cell5.Top},
             std::nullopt},
            {"beside and below the last column", TRect{420, 318, kWidth, kHeight}, Cells{}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            Scribble(v.view->FrontImage());
            std::vector<int32_t> drawn;
            v.view->OnImageDraw = [&](TObject*, int32_t idx, int32_t, int32_t, TCanvas*) {
                drawn.push_back(idx);
            };
            v.view->InvalidateRect(&c.area, false);
            v.view->PaintMarked();
            v.view->OnImageDraw = nullptr;
            ExpectOnlyAreaRepainted(v.view->FrontImage(), &reference, c.area);
            if (c.drawn) {
                EXPECT_EQ(drawn, *c.drawn);
            }
        }
        // A whole invalidation still draws every visible cell.
        int32_t visible = 0;
        for (int32_t i = 0; i < v.view->GetImageCount(); ++i)
            visible += v.view->IsVisible(i) ? 1 : 0;
        int32_t drawn = 0;
        v.view->OnImageDraw = [&](TObject*, int32_t, int32_t, int32_t, TCanvas*) { ++drawn; };
        v.Paint();
        EXPECT_EQ(drawn, visible);
    }
}

TEST(MViewLoading, StoredPictureMarksOnlyItsCell)
{
    SlowFormat slow;
    slow.DelayMs = 30;
    kvtest::TempFolder folder;
    const auto names = WriteSlowFiles(folder, 30, 120, 90);
    MViewOnForm v(kWidth, kHeight);
    v.view->SetThreadPoolSize(1);
    v.view->SetThumbnailsBorderWidth(2);
    for (int32_t i = 0; i < int32_t(names.size()); ++i) {
        v.view->InsertImageEx(i);
        v.view->SetImageFileName(i, names[i]);
    }
    v.Paint();
    ASSERT_TRUE(v.view->UpdateRect().IsEmpty());
    int32_t checked = 0;
    for (int32_t round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(Simulate::WaitUntil([&] { return !v.view->UpdateRect().IsEmpty(); }, 5000));
        // Nothing more arrives until this round is checked: the one loader parks in its next read,
        // and the picture it finished before that is stored first.
        slow.Hold = true;
        ASSERT_TRUE(Simulate::WaitUntil([&] { return slow.Parked.load() == 1 || v.AllVisibleStored(); }, 5000));
        Simulate::ProcessEvents();
        // The marked area is the union of the cells stored since the last paint, rings included.
        TRect expected{};
        int32_t fresh = 0;
        for (int32_t i = 0; i < v.view->GetImageCount(); ++i) {
            if (v.view->IsVisible(i) && v.view->IsImageStored(i) && i >= checked) {
                const TRect r = CellRect(v.view, i, 4);
                UnionRect(expected, expected, r);
                ++fresh;
            }
        }
        ASSERT_GE(fresh, 1);
        checked += fresh;
        TRect marked = v.view->UpdateRect();
        EXPECT_GE(marked.Left, expected.Left);
        EXPECT_GE(marked.Top, expected.Top);
        EXPECT_LE(marked.Right, expected.Right);
        EXPECT_LE(marked.Bottom, expected.Bottom);
        EXPECT_LT(marked.Width() * marked.Height(), kWidth * kHeight / 4);
        // Painting it leaves the window as a full paint draws it.
        v.view->PaintMarked();
        TBitmap full;
        full.SetPixelFormat(pf24bit);
        full.SetSize(kWidth, kHeight);
        v.view->PaintTo(&full);
        int32_t differ = 0;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                differ += Same(Pixel(v.view->FrontImage(), x, y), Pixel(&full, x, y)) ? 0 : 1;
        EXPECT_EQ(differ, 0);
        slow.Hold = false;
    }
}

} // namespace
