// Transition effects: the run's life with its paint lock, timer and step, each effect's first and
// last frames and hand cases in between, and the frames reaching the view's front image.
#include "imaging/proc/transitions.h"

#include "imaging/view/kvview.h"
#include "platform/core/random.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

// A view standing for the image view: it counts its paint locks and repaints.
class PaintView : public TKVView
{
public:
    PaintView() : TKVView(nullptr) { SetBounds(0, 0, 40, 30); }
    void LockPaint() override { ++Locks; }
    int32_t UnLockPaint() override { return --Locks; }
    int32_t NPUnLockPaint() override { return --Locks; }
    void Update() override { ++Updates; }
    int Locks = 0;
    int Updates = 0;
};

// Fills a picture with one level in every byte, or with a level per column when given.
void Paint(TBitmap* picture, int level, bool byColumn = false)
{
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width(); ++x)
            std::memset(picture->ScanLine(y) + x * 3, byColumn ? level + x : level, 3);
}

// The first byte of each pixel of a row of the frame.
std::vector<int> Row(TBitmap* picture, int y)
{
    std::vector<int> row;
    for (int x = 0; x < picture->Width(); ++x)
        row.push_back(picture->ScanLine(y)[x * 3]);
    return row;
}

struct Fixture
{
    PaintView view;
    std::unique_ptr<TKVTransitionEffects> effects = std::make_unique<TKVTransitionEffects>(&view);
    uint32_t tick = 1000;

    Fixture(int w, int h, int source, int target)
    {
        effects->TickCount = [this] { return tick; };
        effects->SetSizes(w, h);
        Paint(effects->SourceShot(), source);
        Paint(effects->TargetShot(), target);
    }
    ~Fixture() { effects.reset(); }

    // Runs the transition and draws one frame at step s, without the timer.
    TBitmap* Frame(TKVTransitionType type, int32_t s)
    {
        effects->Transition = type;
        if (!effects->Running())
            effects->Run(false);
        effects->DrawFrame(s);
        return effects->FrameShot();
    }
};

bool All(TBitmap* picture, int level)
{
    for (int y = 0; y < picture->Height(); ++y)
        for (int x = 0; x < picture->Width() * 3; ++x)
            if (picture->ScanLine(y)[x] != level)
                return false;
    return true;
}

} // namespace

TEST(Transitions, RunLocksPaintingTicksAndStops)
{
    Fixture f(40, 30, 10, 200);
    f.effects->Run(true);
    EXPECT_FALSE(f.effects->Running()) << "kvttNone does nothing";
    f.effects->Transition = kvttCrossDissolve;
    f.effects->Run(true);
    ASSERT_TRUE(f.effects->Running());
    EXPECT_EQ(f.view.Locks, 1);
    EXPECT_TRUE(f.effects->Timer()->Enabled());
    EXPECT_EQ(f.effects->Timer()->Interval(), 1u);

    // The first frame draws step 0 and reaches the view's window; the step follows the clock.
    f.tick = 1500;
    f.effects->TimerEvent(nullptr);
    EXPECT_EQ(f.effects->Step(), 512);
    EXPECT_EQ(Row(f.view.FrontImage(), 5)[7], 10);
    f.tick = 1750;
    f.effects->TimerEvent(nullptr);
    EXPECT_EQ(Row(f.view.FrontImage(), 5)[7], (10 * 512 + 200 * 512) >> 10);
    EXPECT_EQ(f.effects->FrameCount(), 2);

    // A late tick stops the run: step capped, pictures 1 x 1, lock released, view updated.
    f.tick = 100000;
    f.effects->TimerEvent(nullptr);
    EXPECT_FALSE(f.effects->Running());
    EXPECT_EQ(f.effects->Step(), 1024);
    EXPECT_EQ(f.effects->FrameShot()->Width(), 1);
    EXPECT_EQ(f.effects->SourceShot()->Height(), 1);
    EXPECT_EQ(f.view.Locks, 0);
    EXPECT_EQ(f.view.Updates, 1);
    EXPECT_FALSE(f.effects->Timer()->Enabled());
    f.effects->Stop();
    EXPECT_EQ(f.view.Locks, 0) << "stopping twice releases nothing more";
}

TEST(Transitions, StopAndRestartWhateverTheTypeAndSize)
{
    Fixture f(40, 30, 10, 200);
    f.effects->Transition = kvttFadeIn;
    f.effects->Run(false);
    f.effects->Run(false);
    EXPECT_EQ(f.view.Locks, 1) << "a second run releases the first one's lock";
    // Setting the type to none during a run must not keep the view locked.
    f.effects->Transition = kvttNone;
    f.effects->Stop();
    EXPECT_FALSE(f.effects->Running());
    EXPECT_EQ(f.view.Locks, 0);
    EXPECT_FALSE(f.effects->Timer()->Enabled());

    // A run that cannot start leaves no timer of an earlier run ticking.
    f.effects->SetSizes(40, 30);
    f.effects->Transition = kvttCenter1;
    f.effects->Run(false);
    for (TBitmap* picture : {f.effects->SourceShot(), f.effects->TargetShot(), f.effects->FrameShot()})
        picture->SetSize(1, 1);
    f.effects->Run(false);
    EXPECT_FALSE(f.effects->Running());
    EXPECT_FALSE(f.effects->Timer()->Enabled());
    EXPECT_EQ(f.view.Locks, 0);

    Fixture thin(1, 100, 0, 255);
    thin.effects->Transition = kvttUpDown1;
    thin.effects->Run(false);
    EXPECT_TRUE(thin.effects->Running()) << "one pixel wide but tall still runs";
}

TEST(Transitions, EveryEffectStartsAtTheSourceAndEndsAtTheTarget)
{
    for (int type = kvttCrossDissolve; type <= kvttCenterZoom2; ++type) {
        const auto t = static_cast<TKVTransitionType>(type);
        Fixture first(24, 16, 40, 160);
        const bool startsElsewhere = t == kvttFadeIn || t == kvttLeftRight2 || t == kvttUpDown2;
        EXPECT_EQ(All(first.Frame(t, 0), 40), !startsElsewhere) << type;
        // The random effects leave whichever pixels chance missed until the view repaints.
        if (t == kvttRandomPoints || t == kvttRandomBoxes)
            continue;
        Fixture last(24, 16, 40, 160);
        const bool endsElsewhere = t == kvttFadeOut || t == kvttRightLeft2 || t == kvttDownUp2;
        last.Frame(t, 0);
        EXPECT_EQ(All(last.Frame(t, 1024), 160), !endsElsewhere) << type;
    }
}

TEST(Transitions, HandCasesBetweenTheEnds)
{
    Fixture dissolve(4, 2, 100, 201);
    EXPECT_TRUE(All(dissolve.Frame(kvttCrossDissolve, 512), 150));
    dissolve.view.SetBackGround(0x204060);
    EXPECT_EQ(Row(dissolve.Frame(kvttFadeOutIn, 512), 0)[0], 0x20) << "FadeIn at 0: the background's blue";
    EXPECT_EQ(Row(dissolve.Frame(kvttFadeOutIn, 511), 0)[0], (100 * 2 + 0x20 * 1022) >> 10);

    Fixture wide(101, 101, 0, 255);
    wide.Frame(kvttLeftRight1, 0);
    const std::vector<int> row = Row(wide.Frame(kvttLeftRight1, 512), 0);
    EXPECT_EQ(std::count(row.begin(), row.end(), 255), 50);
    wide.Frame(kvttUpDown1, 0);
    TBitmap* down = wide.Frame(kvttUpDown1, 512);
    EXPECT_EQ(Row(down, 49)[0], 255);
    EXPECT_EQ(Row(down, 50)[0], 0) << "Round(50.5) = 50 rows";
    TBitmap* line = wide.Frame(kvttLeftRight2, 512);
    EXPECT_EQ((std::vector<int>{line->ScanLine(3)[50 * 3 + 2], line->ScanLine(3)[50 * 3]}),
              (std::vector{255, 0}))
        << "a red line at the edge";

    // Sliding: the target's right part pushes the source out to the right.
    Fixture slide(4, 1, 0, 0);
    Paint(slide.effects->SourceShot(), 10, true);
    Paint(slide.effects->TargetShot(), 50, true);
    EXPECT_EQ(Row(slide.Frame(kvttMoveLeftRight1, 512), 0), (std::vector{52, 53, 10, 11}));
    EXPECT_EQ(Row(slide.Frame(kvttMoveLeftRight2, 512), 0), (std::vector{50, 51, 10, 11}));
    EXPECT_EQ(Row(slide.Frame(kvttMoveRightLeft1, 256), 0), (std::vector{11, 12, 13, 50}));
    EXPECT_EQ(Row(slide.Frame(kvttMoveRightLeft2, 256), 0), (std::vector{10, 11, 12, 50}));

    // The random effects replace more pixels as the step grows, the same for the same seed.
    auto randomFrame = [](TKVTransitionType type, int32_t s) {
        Fixture f(64, 32, 0, 255);
        RandSeed = 7;
        f.Frame(type, 0);
        int replaced = 0;
        for (int y = 0; y < 32; ++y)
            for (int v : Row(f.Frame(type, s), y))
                replaced += v == 255;
        return replaced;
    };
    EXPECT_EQ(randomFrame(kvttRandomPoints, 300), randomFrame(kvttRandomPoints, 300));
    EXPECT_LT(randomFrame(kvttRandomPoints, 300), randomFrame(kvttRandomPoints, 900));
    EXPECT_EQ(randomFrame(kvttRandomBoxes, 1024) % 8, 0) << "whole 8 x 8 boxes";
}
