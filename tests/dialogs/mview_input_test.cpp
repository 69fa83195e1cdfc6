// Selecting in the thumbnail view by mouse and keys, as a user does it (simulate.h), and playing
// frames: the shown times, the end of a non-looping run, and the settings that wait for the end.
#include "tests/dialogs/mview_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

using namespace mviewtest;

namespace {

// 4 columns of cells in 440 x 330; cell i at column i % 4, row i / 4.
struct InputView : MViewOnForm
{
    explicit InputView(int32_t count, bool multi = false) : MViewOnForm(440, 330)
    {
        form->Show();
        view->SetGridWidth(-1);
        view->LockPaint();
        for (int32_t i = 0; i < count; ++i)
            view->InsertImageEx(i);
        view->UnLockPaint();
        view->SetEnableMultiSelect(multi);
    }
    // The centre of cell i on the client area.
    TPoint CellCentre(int32_t i) const
    {
        return TPoint{view->GetImageX(i) - view->ViewX() + 50, view->GetImageY(i) - view->ViewY() + 50};
    }
    void Click(int32_t i, TShiftState shift = 0)
    {
        const TPoint p = CellCentre(i);
        Simulate::MouseDown(view, mbLeft, p.X, p.Y, shift);
        Simulate::MouseUp(view, mbLeft, p.X, p.Y, shift);
    }
    std::vector<int32_t> Listed() const
    {
        std::vector<int32_t> list;
        for (int32_t i = 0; i < view->GetMultiSelectedImagesCount(); ++i)
            list.push_back(view->GetMultiSelectedImages(i));
        return list;
    }
};

using List = std::vector<int32_t>;

TEST(MViewSelect, ClicksWithAndWithoutMultiSelection)
{
    struct Step
    {
        int32_t cell;
        TShiftState shift;
        List listed;
        int32_t selected;
    };
    struct Case
    {
        const char* what;
        bool multi;
        TKVMultiSelectionOptions options;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"single", false, 0, {{3, 0, {}, 3}, {5, ssShift, {}, 5}}},
        {"ctrl toggles",
         true,
         0,
         {{2, 0, {2}, 2}, {5, ssCtrl, {2, 5}, 5}, {5, ssCtrl, {2}, -1}, {7, 0, {7}, 7}}},
        {"shift run forward", true, 0, {{2, 0, {2}, 2}, {6, ssShift, {2, 3, 4, 5, 6}, 6}}},
        {"shift run backward", true, 0, {{6, 0, {6}, 6}, {2, ssShift, {6, 5, 4, 3, 2}, 2}}},
        {"shift region", true, kvmoRegion, {{1, 0, {1}, 1}, {10, ssShift, {1, 2, 5, 6, 9, 10}, 10}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InputView v(12, c.multi);
        v.view->MultiSelectionOptions = c.options;
        for (const Step& s : c.steps) {
            v.Click(s.cell, s.shift);
            List listed = v.Listed();
            if (c.options == kvmoRegion)
                std::sort(listed.begin(), listed.end());
            EXPECT_EQ(listed, s.listed) << "after cell " << s.cell;
            EXPECT_EQ(v.view->SelectedImage(), s.selected) << "after cell " << s.cell;
        }
        if (!c.multi) {
            EXPECT_FALSE(v.view->IsSelected(v.view->SelectedImage()));
        }
    }
}

TEST(MViewSelect, DraggingDoubleClicksAndTheBorderStrip)
{
    InputView v(12, true);
    // Dragging over cells selects the run from the first to the one under the mouse.
    const TPoint a = v.CellCentre(1);
    const TPoint b = v.CellCentre(4);
    Simulate::MouseDown(v.view, mbLeft, a.X, a.Y);
    Simulate::MouseMove(v.view, v.CellCentre(2).X, a.Y);
    Simulate::MouseMove(v.view, b.X, b.Y);
    EXPECT_EQ(v.Listed(), (List{1, 2, 3, 4}));
    Simulate::MouseUp(v.view, mbLeft, b.X, b.Y);
    EXPECT_EQ(v.Listed(), (List{1, 2, 3, 4}));
    EXPECT_EQ(v.view->SelectedImage(), 4);
    // The press of a double click selects nothing.
    v.Click(7);
    const TPoint d = v.CellCentre(9);
    Simulate::DoubleClick(v.view, d.X, d.Y);
    EXPECT_EQ(v.view->SelectedImage(), 9); // its first click selected
    EXPECT_EQ(v.Listed(), (List{9}));
    // A click on the strip between cells changes nothing.
    Simulate::Click(v.view, 105, 50);
    EXPECT_EQ(v.view->SelectedImage(), 9);
}

TEST(MViewSelect, KeysMoveTheSelectionAndScroll)
{
    struct Case
    {
        int32_t gridWidth;
        int32_t start;
        uint16_t key;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 3, VK_DOWN, 4},   {0, 3, VK_UP, 2},      {-1, 5, VK_DOWN, 9}, {-1, 5, VK_UP, 1},
        {-1, 5, VK_RIGHT, 6}, {-1, 5, VK_LEFT, 4},   {-1, 5, VK_HOME, 0}, {-1, 5, VK_END, 39},
        {-1, 5, VK_NEXT, 17}, {-1, 37, VK_NEXT, 37}, // past the end: stays
        {-1, 5, VK_PRIOR, 5}, {-1, 17, VK_PRIOR, 5}, {-1, 1, VK_UP, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "grid " << c.gridWidth << " from " << c.start << " key " << c.key);
        InputView v(40);
        v.view->SetGridWidth(c.gridWidth);
        v.view->SetSelectedItem(c.start);
        Simulate::Key(v.view, c.key);
        EXPECT_EQ(v.view->SelectedImage(), c.expected);
        EXPECT_EQ(v.view->GetImageVisibility(c.expected), 2);
    }
    // The wheel scrolls one row.
    InputView v(40);
    Simulate::Wheel(v.view, 50, 50, -120);
    EXPECT_EQ(v.view->ViewY(), 104);
    Simulate::Wheel(v.view, 50, 50, 120);
    EXPECT_EQ(v.view->ViewY(), 0);
}

struct Frames : InputView
{
    std::vector<std::pair<uint32_t, int32_t>> shown; // (tick, frame) at each change
    explicit Frames(std::vector<int32_t> delays) : InputView(int32_t(delays.size()))
    {
        for (size_t i = 0; i < delays.size(); ++i) {
            auto b = Solid(10, 10, SlowFormat::ColourOf(int32_t(i)));
            view->SetKVBitmapEx(int32_t(i), b.get());
            view->SetImageDelayTime(int32_t(i), delays[i]);
        }
        view->OnBeforeImageDraw = [this](TObject*, int32_t idx, int32_t, int32_t, TCanvas*) {
            if (view->Playing() && (shown.empty() || shown.back().second != idx))
                shown.emplace_back(GetTickCount(), idx);
        };
    }
};

// Plays five rounds and gives each frame's median time, so that a late tick or two of a busy
// machine do not decide; the shown order is checked on the way.
static std::vector<int32_t> MedianFrameTimes(Frames& f)
{
    f.view->SetPlaying(true);
    Simulate::WaitUntil([&] { return f.shown.size() >= 16; }, 8000);
    if (f.shown.size() < 16)
        return {};
    std::vector<int32_t> times[3];
    for (size_t k = 0; k + 1 < 16; ++k) {
        EXPECT_EQ(f.shown[k].second, int32_t(k % 3));
        times[k % 3].push_back(int32_t(f.shown[k + 1].first - f.shown[k].first));
    }
    std::vector<int32_t> medians;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}

TEST(MViewPlay, FramesStayForTheirDelays)
{
    // A timer is never early, only late under load: a wrong delay misses in every attempt, a
    // loaded machine in one.
    const std::vector<int32_t> expected = {100, 10, 250};
    auto within = [&](const std::vector<int32_t>& got) {
        if (got.size() != expected.size())
            return false;
        for (size_t i = 0; i < got.size(); ++i)
            if (std::abs(got[i] - expected[i]) > 15)
                return false;
        return true;
    };
    std::vector<int32_t> got;
    for (int attempt = 0; attempt < 3 && !within(got); ++attempt) {
        Frames f({100, 0, 250});
        got = MedianFrameTimes(f);
    }
    ASSERT_EQ(got.size(), 3u);
    for (size_t frame = 0; frame < 3; ++frame)
        EXPECT_NEAR(got[frame], expected[frame], 15) << "frame " << frame;

    // Playing shows one frame at a time; a mode set while playing waits for the end, and
    // stopping restores the selection.
    Frames f({100, 0, 250});
    f.view->SetSelectedItem(1);
    f.view->SetPlaying(true);
    EXPECT_EQ(f.view->DisplayMode(), mdSingle);
    EXPECT_EQ(f.view->SelectedImage(), -1);
    f.view->SetDisplayMode(mdGrid);
    EXPECT_EQ(f.view->DisplayMode(), mdSingle);
    f.view->SetPlaying(false);
    EXPECT_EQ(f.view->DisplayMode(), mdGrid);
    EXPECT_EQ(f.view->SelectedImage(), 1);
}

TEST(MViewPlay, EndWithoutLoopEmptyViewsAndVisibleFrame)
{
    Frames f({20, 20, 20});
    f.view->PlayLoop = false;
    f.view->SetPlaying(true);
    EXPECT_TRUE(Simulate::WaitUntil([&] { return !f.view->Playing(); }, 3000));
    EXPECT_EQ(f.view->VisibleFrame(), 0);
    EXPECT_EQ(f.view->DisplayMode(), mdSingle);
    ASSERT_EQ(f.shown.size(), 3u);
    EXPECT_EQ(f.shown.back().second, 2);
    // Frame 0 is what the next paint shows.
    TBitmap* front = f.Paint();
    EXPECT_TRUE(Same(Pixel(front, 50, 50), SlowFormat::ColourOf(0)));

    InputView empty(0);
    empty.view->SetPlaying(true);
    EXPECT_FALSE(Simulate::WaitUntil([&] { return false; }, 50));
    auto b = Solid(4, 4, TRGB{1, 2, 3});
    empty.view->SetPlaying(false);
    empty.view->AppendImage();
    empty.view->SetKVBitmap(0, b.get());
    empty.view->SetPlaying(true);
    EXPECT_TRUE(empty.view->Playing());
    empty.view->SetPlaying(false);

    // SetVisibleFrame: the same index or one out of range changes nothing.
    Frames g({10, 10, 10});
    g.view->SetDisplayMode(mdSingle);
    g.view->SetVisibleFrame(0);
    g.view->SetVisibleFrame(7);
    g.view->SetVisibleFrame(-1);
    EXPECT_EQ(g.view->VisibleFrame(), 0);
    g.view->SetVisibleFrame(2);
    EXPECT_EQ(g.view->VisibleFrame(), 2);
    EXPECT_TRUE(Same(Pixel(g.Paint(), 50, 50), SlowFormat::ColourOf(2)));
    // With a transition the view runs it to the new frame.
    g.view->TransitionEffect = kvttCrossDissolve;
    g.view->TransitionDuration = 100;
    g.view->SetVisibleFrame(1);
    EXPECT_EQ(g.view->VisibleFrame(), 1);
    EXPECT_TRUE(g.view->GetTransitionRunning());
    EXPECT_TRUE(Simulate::WaitUntil([&] { return !g.view->GetTransitionRunning(); }, 3000));
}

} // namespace
