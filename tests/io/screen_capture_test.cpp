// Screen capture into the I/O component on the platform's screen: our own windows come back
// where they are, with or without the pointer, and nothing to capture changes nothing.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview_globals.h"
#include "platform/forms/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"
#include "tests/io/io_test_support.h"

#include <gtest/gtest.h>

#include <memory>

using namespace kviotest;

namespace {

struct TRgb
{
    int r, g, b;
    bool operator==(const TRgb&) const = default;
};

TRgb PixelAt(TKVBitmap& bitmap, int32_t x, int32_t y)
{
    const uint8_t* p = bitmap.GetScanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

// A form at a known place whose red panel sits 30 pixels into its client area.
class ScreenCapture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FForm = new TForm(Application);
        FForm->SetBounds(100, 60, 240, 160);
        FPanel = new TPanel(FForm);
        FPanel->SetParent(FForm);
        FPanel->SetBevelOuter(bvNone);
        FPanel->SetColor(clRed);
        FPanel->SetBounds(30, 30, 50, 40);
        FForm->Show();
        Application->ProcessMessages();
    }
    void TearDown() override { delete FForm; }

    TForm* FForm = nullptr;
    TPanel* FPanel = nullptr;
};

TEST_F(ScreenCapture, SourcesTakeTheScreenTheWindowOrItsClientArea)
{
    const TPoint client = FForm->ClientToScreen({0, 0});
    const struct
    {
        TKVCSSource source;
        TPoint panel; // where the panel's top-left pixel lands in the capture
        int32_t width, height;
    } cases[] = {
        {kvcsScreen, {client.X + 30, client.Y + 30}, Screen->Width(), Screen->Height()},
        {kvcsForegroundWindowClient, {30, 30}, FForm->ClientWidth(), FForm->ClientHeight()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.source));
        TKorvaneIO io(nullptr);
        io.Params().FileType = 3;
        io.Params().DpiX = 1;
        io.CaptureFromScreen(c.source, crNone);
        ASSERT_FALSE(io.Aborting);
        TKVBitmap& shot = *io.KVBitmap();
        EXPECT_EQ(shot.GetWidth(), c.width);
        EXPECT_EQ(shot.GetHeight(), c.height);
        EXPECT_EQ(shot.GetPixelFormat(), kv24RGB);
        // The panel's corners are red, the pixels just outside them are not.
        EXPECT_EQ(PixelAt(shot, c.panel.X, c.panel.Y), (TRgb{255, 0, 0}));
        EXPECT_EQ(PixelAt(shot, c.panel.X + 49, c.panel.Y + 39), (TRgb{255, 0, 0}));
        EXPECT_NE(PixelAt(shot, c.panel.X - 1, c.panel.Y), (TRgb{255, 0, 0}));
        EXPECT_NE(PixelAt(shot, c.panel.X + 50, c.panel.Y + 39), (TRgb{255, 0, 0}));
        EXPECT_EQ(io.Params().Width, c.width);
        EXPECT_EQ(io.Params().Height, c.height);
        EXPECT_EQ(io.Params().DpiX, Kvview::gSystemDPIX);
        EXPECT_EQ(io.Params().DpiY, Kvview::gSystemDPIY);
        EXPECT_EQ(io.Params().FileType, 0);
    }

    // The window with its frame holds the client area.
    TKorvaneIO window(nullptr);
    window.CaptureFromScreen(kvcsForegroundWindow, crNone);
    ASSERT_FALSE(window.Aborting);
    EXPECT_GE(window.KVBitmap()->GetWidth(), FForm->ClientWidth());
    EXPECT_GE(window.KVBitmap()->GetHeight(), FForm->ClientHeight());
}

TEST_F(ScreenCapture, ThePointerIsDrawnOnlyWhenAsked)
{
    const TPoint client = FForm->ClientToScreen({0, 0});
    SetCursorPos(client.X + 100, client.Y + 80);
    TKorvaneIO plain(nullptr), again(nullptr), pointer(nullptr);
    plain.CaptureFromScreen(kvcsForegroundWindowClient, crNone);
    again.CaptureFromScreen(kvcsForegroundWindowClient, crNone);
    pointer.CaptureFromScreen(kvcsForegroundWindowClient, crArrow);
    ASSERT_FALSE(plain.Aborting || again.Aborting || pointer.Aborting);
    EXPECT_TRUE(SamePixels(*plain.KVBitmap(), *again.KVBitmap()));
    // The arrow covers at most its 12 x 19 box, with black on its edges.
    const TPoint at{100, 80};
    int32_t changed = 0, black = 0;
    TKVBitmap& a = *plain.KVBitmap();
    TKVBitmap& b = *pointer.KVBitmap();
    for (int32_t y = 0; y < a.GetHeight(); ++y) {
        for (int32_t x = 0; x < a.GetWidth(); ++x) {
            if (PixelAt(a, x, y) == PixelAt(b, x, y)) {
                continue;
            }
            ++changed;
            EXPECT_TRUE(x >= at.X && x < at.X + 12 && y >= at.Y && y < at.Y + 19) << x << "," << y;
            black += PixelAt(b, x, y) == TRgb{0, 0, 0};
        }
    }
    EXPECT_GT(changed, 0);
    EXPECT_GT(black, 0);
    EXPECT_EQ(PixelAt(b, 100, 80), (TRgb{0, 0, 0})); // the tip is the hot spot
}

TEST_F(ScreenCapture, AWorkerHasTheScreenGrabbedOnTheUserInterfaceThread)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    TEventLog events;
    events.Attach(io);
    io.CaptureFromScreen(kvcsForegroundWindowClient, crNone);
    io.WaitThreads(false);
    ASSERT_EQ(events.Finishes(), 1);
    EXPECT_NE(events.FinishThreads()[0], GetCurrentThreadId());
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(target.GetWidth(), FForm->ClientWidth());
    EXPECT_EQ(PixelAt(target, 30, 30), (TRgb{255, 0, 0}));
}

TEST_F(ScreenCapture, NothingToCaptureAbortsAndKeepsThePicture)
{
    FForm->Hide();
    Application->ProcessMessages();
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 7, 5);
    TKVBitmap before;
    before.Assign(io.KVBitmap());
    for (TKVCSSource source : {kvcsForegroundWindow, kvcsForegroundWindowClient}) {
        io.CaptureFromScreen(source, crArrow);
        EXPECT_TRUE(io.Aborting) << int(source);
        EXPECT_TRUE(SamePixels(*io.KVBitmap(), before)) << int(source);
    }
}

} // namespace
