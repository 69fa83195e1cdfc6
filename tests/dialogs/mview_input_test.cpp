// Selecting in the thumbnail view by mouse and keys, as a user does it (simulate.h), and playing
// frames on the test's own clock: the shown times, the end of a non-looping run, and the settings
// that wait for the end.
#include "tests/dialogs/mview_test_support.h"

#include "platform/forms/ext_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

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

// Frames of the given delays, played on a clock of the test's own: the view's timers fire only
// when the test lets their interval pass (Elapse), and each frame's paint takes paintMs of it.
struct Frames : InputView
{
    uint32_t now = 1000;
    uint32_t paintMs = 0;
    std::vector<std::pair<uint32_t, int32_t>> shown; // (tick, frame) at each change
    std::vector<uint32_t> asked;                     // the intervals the play timer was armed with
    explicit Frames(std::vector<int32_t> delays, uint32_t paint = 0)
        : InputView(int32_t(delays.size())), paintMs(paint)
    {
        for (size_t i = 0; i < delays.size(); ++i) {
            auto b = Solid(10, 10, SlowFormat::ColourOf(int32_t(i)));
            view->SetKVBitmapEx(int32_t(i), b.get());
            view->SetImageDelayTime(int32_t(i), delays[i]);
        }
        view->TickCount = [this] { return now; };
        view->Transition()->TickCount = [this] { return now; };
        view->OnBeforeImageDraw = [this](TObject*, int32_t idx, int32_t, int32_t, TCanvas*) {
            if (view->Playing() && (shown.empty() || shown.back().second != idx)) {
                shown.emplace_back(now, idx);
                now += paintMs;
            }
        };
    }
    // The timer's interval passes and it fires; false when it is not armed.
    bool Elapse(TTimer* timer)
    {
        if (!timer->Enabled())
            return false;
        now += timer->Interval();
        timer->OnTimer(timer);
        return true;
    }
    bool NextFrame()
    {
        if (view->PlayTimer()->Enabled())
            asked.push_back(view->PlayTimer()->Interval());
        return Elapse(view->PlayTimer());
    }
};

// Frames are shown in order, each for its own delay and never less than 10 ms, counted from the
// start of its paint: the view arms its timer with what the paint left of the delay.
TEST(MViewPlay, FramesStayForTheirDelays)
{
    using Ms = std::vector<uint32_t>;
    const struct
    {
        uint32_t paintMs;
        Ms asked;
        Ms stays;
    } cases[] = {
        {0, {100, 10, 250}, {100, 10, 250}},
        {7, {93, 3, 243}, {100, 10, 250}},
        {30, {70, 1, 220}, {100, 31, 250}}, // a paint longer than the frame's 10 ms
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "paints of " << c.paintMs << " ms");
        Frames f({100, 0, 250}, c.paintMs);
        f.view->SetPlaying(true);
        for (int32_t k = 0; k < 6; ++k)
            ASSERT_TRUE(f.NextFrame());
        std::vector<int32_t> order;
        Ms stays;
        for (size_t k = 0; k + 1 < f.shown.size(); ++k) {
            order.push_back(f.shown[k].second);
            stays.push_back(f.shown[k + 1].first - f.shown[k].first);
        }
        EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 0, 1, 2}));
        for (const auto& [got, once] : {std::pair{f.asked, c.asked}, {stays, c.stays}}) {
            Ms twice = once;
            twice.insert(twice.end(), once.begin(), once.end());
            EXPECT_EQ(got, twice);
        }
    }

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
    EXPECT_FALSE(f.view->PlayTimer()->Enabled());

    // A clock a caller emptied is the system's again: the frames go on.
    Frames g({20, 20});
    g.view->TickCount = nullptr;
    EXPECT_NO_THROW({
        g.view->SetPlaying(true);
        EXPECT_TRUE(g.NextFrame());
        EXPECT_TRUE(g.NextFrame());
    });
    ASSERT_EQ(g.shown.size(), 3u);
    EXPECT_EQ(g.shown[1].second, 1);
    EXPECT_EQ(g.shown[2].second, 0);
}

TEST(MViewPlay, EndWithoutLoopEmptyViewsAndVisibleFrame)
{
    Frames f({20, 20, 20});
    f.view->PlayLoop = false;
    f.view->SetPlaying(true);
    for (int32_t k = 0; k < 10 && f.NextFrame(); ++k) {
    }
    EXPECT_FALSE(f.view->Playing());
    EXPECT_EQ(f.asked, (std::vector<uint32_t>{20, 20}));
    EXPECT_EQ(f.view->VisibleFrame(), 0);
    EXPECT_EQ(f.view->DisplayMode(), mdSingle);
    ASSERT_EQ(f.shown.size(), 3u);
    EXPECT_EQ(f.shown.back().second, 2);
    // Frame 0 is what the next paint shows.
    TBitmap* front = f.Paint();
    EXPECT_TRUE(Same(Pixel(front, 50, 50), SlowFormat::ColourOf(0)));

    InputView empty(0);
    empty.view->SetPlaying(true);
    EXPECT_FALSE(empty.view->PlayTimer()->Enabled());
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
    // With a transition the view runs it to the new frame, for as long as the transition lasts.
    g.view->TransitionEffect = kvttCrossDissolve;
    g.view->TransitionDuration = 100;
    g.view->SetVisibleFrame(1);
    EXPECT_EQ(g.view->VisibleFrame(), 1);
    TTimer* const step = g.view->Transition()->Timer();
    for (uint32_t ms = 0; ms < 100; ms += step->Interval()) {
        ASSERT_TRUE(g.view->GetTransitionRunning()) << ms << " ms in";
        ASSERT_TRUE(g.Elapse(step));
    }
    EXPECT_FALSE(g.view->GetTransitionRunning());
}

} // namespace
