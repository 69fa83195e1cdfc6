// Screen capture into the I/O component on the platform's screen: our own windows come back
// where they are, with or without the pointer, and nothing to capture changes nothing; on an X
// server another program's active window comes back as that program shows it.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/strings.h"
#include "platform/forms/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/simulate.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

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

// ---------------------------------------------------------------------------------------------
// Another program's window on an X server of the test's own

// Waits on the other programs end after a minute: only a hang takes that long.
constexpr int32_t kMinute = 60000;

// A process the shell left running in the background (it tells the process's id, $!, through a
// shell of its own), ended with the test.
struct TBackground
{
    explicit TBackground(const std::string& command, const std::string& log = "/dev/null")
        : Pid(std::atoi(kvtest::RunTool(command + " >'" + log + "' 2>&1 & sh -c 'echo \"$0\"' $!").c_str()))
    {
    }
    ~TBackground()
    {
        if (Pid > 0) {
            ::kill(Pid, SIGTERM);
            Simulate::WaitUntil([this] { return ::kill(Pid, 0) != 0; }, kMinute);
        }
    }
    const pid_t Pid;
};

// What xwininfo tells of a window: its id, its inside's size and its border.
struct TWindowInfo
{
    std::string Id;
    int32_t Width = 0, Height = 0, Border = 0;
    bool Viewable = false;
};

TWindowInfo WindowInfo(const std::string& display, const std::string& name)
{
    const std::string text = kvtest::ToolOutput("DISPLAY=" + display + " xwininfo -name " + name);
    const auto field = [&](const std::string& label) {
        const size_t at = text.find(label + ": ");
        std::string word;
        if (at != std::string::npos)
            std::istringstream(text.substr(at + label.size() + 2)) >> word;
        return word;
    };
    return {field("Window id"), std::atoi(field("Width").c_str()), std::atoi(field("Height").c_str()),
            std::atoi(field("Border width").c_str()), field("Map State") == "IsViewable"};
}

// This suite once more, as a program of the X server, running the test below in the role that
// captures: source into the file shot, what it prints into the file log. True when it succeeded.
bool CaptureAsX11Program(const std::string& display, TKVCSSource source, const std::string& shot,
                         const std::string& log)
{
    std::vector<std::string> variables = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                                          "KV_X11_CAPTURE_TO=" + shot,
                                          "KV_X11_CAPTURE_SOURCE=" + std::to_string(int(source))};
    for (char** v = environ; *v != nullptr; ++v) {
        const std::string variable = *v;
        const auto is = [&](const char* prefix) { return variable.rfind(prefix, 0) == 0; };
        // The X keyboard library copies the keymap's names with strndup from buffers that are not
        // NUL-terminated, which strndup allows but the sanitizer's strict string check reports.
        if (is("ASAN_OPTIONS="))
            variables.push_back(variable + ":strict_string_checks=0");
        else if (!is("DISPLAY=") && !is("QT_QPA_PLATFORM=") && !is("GTEST_"))
            variables.push_back(variable);
    }
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    char exe[] = "/proc/self/exe", filter[] = "--gtest_filter=ScreenCaptureX11.*";
    char* argv[] = {exe, filter, nullptr};
    posix_spawn_file_actions_t output;
    ::posix_spawn_file_actions_init(&output);
    ::posix_spawn_file_actions_addopen(&output, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_adddup2(&output, 1, 2);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, exe, &output, nullptr, argv, envp.data());
    ::posix_spawn_file_actions_destroy(&output);
    int status = 0;
    if (spawned != 0)
        return false;
    if (!Simulate::WaitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, kMinute)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Inside(TKVBitmap& outer, TKVBitmap& inner, int32_t at)
{
    for (int32_t y = 0; y < inner.GetHeight(); ++y)
        for (int32_t x = 0; x < inner.GetWidth(); ++x)
            if (!(PixelAt(outer, x + at, y + at) == PixelAt(inner, x, y)))
                return false;
    return true;
}

TEST(ScreenCaptureX11, TheActiveWindowOfAnotherProgramComesBackAsItShows)
{
    // The role that captures, in the X11 program started below.
    if (const char* target = std::getenv("KV_X11_CAPTURE_TO")) {
        TKorvaneIO io(nullptr);
        io.CaptureFromScreen(TKVCSSource(std::atoi(std::getenv("KV_X11_CAPTURE_SOURCE"))), crNone);
        ASSERT_FALSE(io.Aborting);
        io.SaveToFile(target);
        ASSERT_FALSE(io.Aborting);
        return;
    }

    ASSERT_TRUE(kvtest::Installed({"Xvfb", "xmessage", "xwininfo", "xprop", "import"}));
    kvtest::TempFolder folder;
    // Xvfb picks a free display number and writes it once it is ready. Without -noreset it resets
    // whenever its last client leaves, and refuses a client that comes meanwhile: xmessage, while
    // the first xwininfo below leaves.
    const std::string numberFile = folder.File("display");
    TBackground server("Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>'" + numberFile +
                       "'");
    std::string display;
    ASSERT_TRUE(Simulate::WaitUntil(
        [&] { return (display = kvtest::TempFolder::Read(numberFile)).find('\n') != std::string::npos; },
        kMinute))
        << "Xvfb did not start";
    display = Concat(":", display.substr(0, display.find('\n')));
    const std::string on = "DISPLAY=" + display + " ";
    // Placed under the pointer: with no window manager the keyboard follows the pointer, so this
    // window is the active one until the root window names another.
    const std::string messageLog = folder.File("xmessage.log");
    TBackground other(on + "xmessage -name kvcapture -nearmouse 'Korvane captures this'", messageLog);
    TWindowInfo window;
    ASSERT_TRUE(
        Simulate::WaitUntil([&] { return (window = WindowInfo(display, "kvcapture")).Viewable; }, kMinute))
        << "xmessage's window was never shown on " << display << ": " << kvtest::TempFolder::Read(messageLog);

    const std::string before = folder.File("before.png"), after = folder.File("after.png"),
                      shot = folder.File("shot.bmp"), log = folder.File("capture.log");
    const std::string grab = on + "import -window " + window.Id + " png24:";
    const std::string activate = on + "xprop -root -f _NET_ACTIVE_WINDOW 32x -set _NET_ACTIVE_WINDOW ";
    for (const bool manager : {false, true}) {
        if (manager) { // the root window names the active window, as a window manager does
            ASSERT_EQ(kvtest::ToolExitCode(activate + window.Id), 0);
        }
        for (const TKVCSSource source : {kvcsForegroundWindowClient, kvcsForegroundWindow}) {
            SCOPED_TRACE(std::string(manager ? "window manager's choice, " : "focus under the pointer, ") +
                         (source == kvcsForegroundWindow ? "frame" : "client"));
            // ImageMagick's grab of the window before and after ours; a window still drawing itself
            // shows two different pictures, and the round is run again.
            TKorvaneIO expected(nullptr), again(nullptr), captured(nullptr);
            bool stable = false;
            for (int round = 0; round < 5 && !stable; ++round) {
                std::remove(shot.c_str());
                ASSERT_EQ(kvtest::ToolExitCode(grab + before), 0);
                ASSERT_TRUE(CaptureAsX11Program(display, source, shot, log)) << kvtest::TempFolder::Read(log);
                ASSERT_EQ(kvtest::ToolExitCode(grab + after), 0);
                expected.LoadFromFile(before);
                again.LoadFromFile(after);
                stable = !expected.Aborting && !again.Aborting &&
                         SamePixels(*expected.KVBitmap(), *again.KVBitmap());
            }
            ASSERT_TRUE(stable);
            captured.LoadFromFile(shot);
            ASSERT_FALSE(captured.Aborting);
            TKVBitmap& inside = *expected.KVBitmap();
            TKVBitmap& got = *captured.KVBitmap();
            ASSERT_EQ(inside.GetWidth(), window.Width);
            ASSERT_EQ(inside.GetHeight(), window.Height);
            // Without a window manager the frame is the window with its border.
            const int32_t border = source == kvcsForegroundWindow ? window.Border : 0;
            ASSERT_EQ(got.GetWidth(), window.Width + 2 * border);
            ASSERT_EQ(got.GetHeight(), window.Height + 2 * border);
            EXPECT_TRUE(Inside(got, inside, border));
        }
    }
}

} // namespace
