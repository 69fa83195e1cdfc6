// Screen capture into the I/O component on the platform's screen: our own windows come back
// where they are, with or without the pointer, and nothing to capture changes nothing; on an X
// server another program's active window comes back as that program shows it.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview_globals.h"
#include "platform/forms/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
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

// Waits, a minute at most, until ready says yes; polls without a fixed sleep per step's length.
bool WaitUntil(const std::function<bool()>& ready)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A process the shell left running in the background, ended with the test.
class TBackground
{
public:
    explicit TBackground(const std::string& command)
    {
        // The shell tells the background process's id ($!) through a shell of its own.
        FPid = std::atoi(kvtest::RunTool(command + " >/dev/null 2>&1 & sh -c 'echo \"$0\"' $!").c_str());
    }
    ~TBackground()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            WaitUntil([this] { return ::kill(FPid, 0) != 0; });
        }
    }
    TBackground(const TBackground&) = delete;
    TBackground& operator=(const TBackground&) = delete;
    bool Started() const { return FPid > 0; }

private:
    pid_t FPid = -1;
};

// Xvfb on a display number it picks itself, ready once it has written that number.
class TXServer
{
public:
    explicit TXServer(const kvtest::TempFolder& folder)
        : FNumberFile(folder.File("display")),
          FServer("Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>'" + FNumberFile + "'")
    {
        WaitUntil([this] { return kvtest::TempFolder::Read(FNumberFile).find('\n') != std::string::npos; });
        const std::string number = kvtest::TempFolder::Read(FNumberFile);
        if (!number.empty() && number.back() == '\n') {
            FDisplay = ":" + number.substr(0, number.size() - 1);
        }
    }
    // ":N", empty when the server did not start.
    const std::string& Display() const { return FDisplay; }

private:
    std::string FNumberFile;
    TBackground FServer;
    std::string FDisplay;
};

// What xwininfo tells of a window: its id, its inside on the root window and its border.
struct TWindowInfo
{
    std::string Id;
    int32_t X = 0, Y = 0, Width = 0, Height = 0, Border = 0;
    bool Viewable = false;
};

TWindowInfo WindowInfo(const std::string& display, const std::string& name)
{
    const std::string text = kvtest::ToolOutput("DISPLAY=" + display + " xwininfo -name " + name);
    TWindowInfo info;
    // The word after "label:" (or "label" for the id line).
    auto field = [&](const std::string& label) {
        size_t at = text.find(label);
        if (at == std::string::npos) {
            return std::string();
        }
        at = text.find_first_not_of(": ", at + label.size());
        const size_t end = text.find_first_of(" \n", at);
        return at == std::string::npos ? std::string() : text.substr(at, end - at);
    };
    info.Id = field("Window id");
    info.X = std::atoi(field("Absolute upper-left X").c_str());
    info.Y = std::atoi(field("Absolute upper-left Y").c_str());
    info.Width = std::atoi(field("Width").c_str());
    info.Height = std::atoi(field("Height").c_str());
    info.Border = std::atoi(field("Border width").c_str());
    info.Viewable = field("Map State") == "IsViewable";
    return info;
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
        std::string variable = *v;
        // The X keyboard library copies the keymap's names with strndup from buffers that are not
        // NUL-terminated, which strndup allows but the sanitizer's strict string check reports.
        if (variable.rfind("ASAN_OPTIONS=", 0) == 0) {
            variable += ":strict_string_checks=0";
        }
        if (variable.rfind("DISPLAY=", 0) != 0 && variable.rfind("QT_QPA_PLATFORM=", 0) != 0 &&
            variable.rfind("GTEST_", 0) != 0) {
            variables.push_back(variable);
        }
    }
    std::vector<std::string> arguments = {"/proc/self/exe", "--gtest_filter=ScreenCaptureX11.*"};
    std::vector<char*> argv, envp;
    for (std::string& a : arguments) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (std::string& v : variables) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t output;
    ::posix_spawn_file_actions_init(&output);
    ::posix_spawn_file_actions_addopen(&output, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_adddup2(&output, 1, 2);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, "/proc/self/exe", &output, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&output);
    if (spawned != 0) {
        return false;
    }
    int status = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; });
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
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

    for (const char* tool : {"Xvfb", "xmessage", "xwininfo", "xprop", "import"}) {
        ASSERT_TRUE(kvtest::Installed(tool));
    }
    kvtest::TempFolder folder;
    TXServer server(folder);
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    const std::string display = server.Display();
    // Placed under the pointer: with no window manager the keyboard follows the pointer, so this
    // window is the active one until the root window names another.
    TBackground other("DISPLAY=" + display + " xmessage -name kvcapture -nearmouse 'Korvane captures this'");
    ASSERT_TRUE(other.Started());
    TWindowInfo window;
    ASSERT_TRUE(WaitUntil([&] {
        window = WindowInfo(display, "kvcapture");
        return window.Viewable;
    })) << "xmessage's window was never shown";

    const struct
    {
        const char* name;
        const char* rootProperty; // how the root window names the active window
        TKVCSSource source;
    } cases[] = {
        {"focus under the pointer, client", nullptr, kvcsForegroundWindowClient},
        {"focus under the pointer, frame", nullptr, kvcsForegroundWindow},
        {"window manager's choice, client", "-f _NET_ACTIVE_WINDOW 32x -set _NET_ACTIVE_WINDOW ",
         kvcsForegroundWindowClient},
        {"window manager's choice, frame", "-f _NET_ACTIVE_WINDOW 32x -set _NET_ACTIVE_WINDOW ",
         kvcsForegroundWindow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.rootProperty != nullptr) {
            int exitCode = -1;
            kvtest::RunTool("DISPLAY=" + display + " xprop -root " + c.rootProperty + window.Id, &exitCode);
            ASSERT_EQ(exitCode, 0);
        }
        // ImageMagick's grab of the window before and after ours; a window still drawing itself
        // shows two different pictures, and the round is run again.
        const std::string before = folder.File("before.png"), after = folder.File("after.png"),
                          shot = folder.File("shot.bmp");
        TKorvaneIO expected(nullptr), again(nullptr), captured(nullptr);
        bool stable = false;
        for (int round = 0; round < 5 && !stable; ++round) {
            std::remove(shot.c_str());
            const std::string grab = "DISPLAY=" + display + " import -window " + window.Id + " png24:";
            int exitCode = -1;
            kvtest::RunTool(grab + before, &exitCode);
            ASSERT_EQ(exitCode, 0);
            const std::string log = folder.File("capture.log");
            ASSERT_TRUE(CaptureAsX11Program(display, c.source, shot, log)) << kvtest::TempFolder::Read(log);
            kvtest::RunTool(grab + after, &exitCode);
            ASSERT_EQ(exitCode, 0);
            expected.LoadFromFile(before);
            again.LoadFromFile(after);
            stable =
                !expected.Aborting && !again.Aborting && SamePixels(*expected.KVBitmap(), *again.KVBitmap());
        }
        ASSERT_TRUE(stable);
        captured.LoadFromFile(shot);
        ASSERT_FALSE(captured.Aborting);
        TKVBitmap& inside = *expected.KVBitmap();
        ASSERT_EQ(inside.GetWidth(), window.Width);
        ASSERT_EQ(inside.GetHeight(), window.Height);
        TKVBitmap& got = *captured.KVBitmap();
        // Without a window manager the frame is the window with its border.
        const int32_t border = c.source == kvcsForegroundWindow ? window.Border : 0;
        ASSERT_EQ(got.GetWidth(), window.Width + 2 * border);
        ASSERT_EQ(got.GetHeight(), window.Height + 2 * border);
        EXPECT_TRUE(Inside(got, inside, border));
    }
}

} // namespace
