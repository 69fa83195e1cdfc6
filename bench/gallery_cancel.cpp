// Cancel pressed in the status window 1.5 s into the pictures stage of a gallery of the pictures
// in PLIMBET_BENCH_IMAGES (bench/gallery/cancel.sh makes 30 tiled 12-MP JPEG 2000 pictures),
// timed from the press, which another thread posts to the window, to the end of the run: the
// time the window takes to see the press counts too. The run must end cancelled with nothing left
// in the gallery folder. The script times one opj_decompress of such a picture as the peer.
#include "app/errors_window.h"
#include "app/status_window.h"
#include "bench/gallery_bench_settings.h"
#include "platform/core/files.h"
#include "platform/forms/application.h"
#include "platform/forms/buttons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/std_controls.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t WM_PRESSCANCEL = WM_USER + 92;

double Seconds(Clock::duration Duration)
{
    return std::chrono::duration<double>(Duration).count();
}

// Watches the status window on the user-interface thread: it notes when the pictures stage shows
// and clicks Cancel when the pressing thread's message arrives.
class TCancelPresser : public TForm
{
public:
    explicit TCancelPresser(TStatus& Window) : TForm(nullptr), FWindow(Window)
    {
        FWatch = new TTimer(this);
        FWatch->SetInterval(5);
        FWatch->SetPrecise(true);
        FWatch->OnTimer = [this](TObject*) { Watch(); };
    }

    ~TCancelPresser() override
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FQuit = true;
        }
        FChanged.notify_all();
        if (FPresser.joinable()) {
            FPresser.join();
        }
    }

    void Dispatch(TMessage& Message) override
    {
        if (Message.Msg != WM_PRESSCANCEL) {
            TForm::Dispatch(Message);
            return;
        }
        Taken = Clock::now();
        FWindow.Cancel_BTN->Click();
    }

    Clock::time_point StageShown{};
    Clock::time_point Pressed{};
    Clock::time_point Taken{};

private:
    void Watch()
    {
        // Errors, and a run that was never cancelled, are closed, so that the benchmark ends and
        // reports them.
        if (Error != nullptr && Error->Visible()) {
            Error->Ok_BTNClick(nullptr);
        }
        if (FWindow.Ok_BTN->Visible()) {
            FWatch->SetEnabled(false);
            FWindow.Ok_BTN->Click();
            return;
        }
        if (FPresser.joinable() || !FWindow.State2_LBL->Visible()) {
            return;
        }
        StageShown = Clock::now();
        FPresser = std::thread([this] { Press(); });
    }

    // Another thread presses, so that the press waits for the window as a user's click would.
    void Press()
    {
        std::unique_lock<std::mutex> lock(FLock);
        if (FChanged.wait_until(lock, StageShown + std::chrono::milliseconds(1500),
                                [this] { return FQuit; })) {
            return;
        }
        Pressed = Clock::now();
        PostMessage(Handle(), WM_PRESSCANCEL, 0, 0);
    }

    TStatus& FWindow;
    TTimer* FWatch = nullptr;
    std::thread FPresser;
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FQuit = false;
};

// What a cancelled run leaves: nothing at all, since no picture had been written by the press.
bool GalleryLeftEmpty(const std::string& Gallery)
{
    return ListDirectory(Gallery).empty();
}

void BM_CancelInPicturesStage(benchmark::State& State)
{
    if (!benchgallery::UseBenchSettings(State, "bench/gallery/cancel.sh")) {
        return;
    }
    // Message boxes are answered at once.
    TScriptedDialogService dialogs;
    auto* errors = new TError(nullptr);
    double pressToEnd = 0, pressToTaken = 0;
    for (auto _ : State) {
        auto* window = new TStatus(nullptr);
        TModalResult result = mrNone;
        Clock::time_point ended;
        {
            TCancelPresser presser(*window);
            result = window->ShowModal();
            ended = Clock::now();
            pressToEnd = Seconds(ended - presser.Pressed);
            pressToTaken = Seconds(presser.Taken - presser.Pressed);
        }
        window->Free();
        if (result != mrCancel ||
            !GalleryLeftEmpty(IncludeTrailingPathDelimiter(GallerySettings.GalleryPath))) {
            State.SkipWithError("the run did not end cancelled with an empty gallery folder");
            break;
        }
    }
    errors->Free();
    State.counters["press_to_end_s"] = pressToEnd;
    State.counters["press_to_taken_s"] = pressToTaken;
}

} // namespace

BENCHMARK(BM_CancelInPicturesStage)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Application->Initialize();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DoneApplication();
    return 0;
}
