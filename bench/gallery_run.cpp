// A whole gallery run without the user interface: every picture of PLIMBET_BENCH_IMAGES checked,
// fitted to 800 x 600 and given a 160 x 160 thumbnail, and the pages of the "classic" template
// written into PLIMBET_BENCH_GALLERY, by PLIMBET_BENCH_THREADS workers (0 or unset: one per
// usable core). bench/gallery/run.sh makes the photos and times fgallery beside it.
#include "app/gallery_run.h"
#include "bench/gallery_bench_settings.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// Nobody watches: the run reports to nothing and is never cancelled.
class TSilentStatus : public IGalleryStatus
{
public:
    void ShowStage(int32_t) override {}
    void SetStageIcon(int32_t, const std::string&) override {}
    void SetProgress(int32_t, int32_t) override {}
    void ShowFilesFound(int32_t Count) override { Files = Count; }
    void ShowSuccess() override {}
    void ShowMessage(const std::string& Text) override { Failure = Text; }
    void ShowErrors(const std::string& Text) override { Failure = Text; }
    void ProcessMessages() override {}
    bool CancelRequested() override { return false; }

    int32_t Files = 0;
    std::string Failure;
};

void BM_GalleryRun(benchmark::State& State)
{
    if (!benchgallery::UseBenchSettings(State, "bench/gallery/run.sh")) {
        return;
    }

    TSilentStatus status;
    for (auto _ : State) {
        TGalleryRun run(status);
        if (run.CreateGallery() != grSucceeded) {
            State.SkipWithError(("the run failed: " + status.Failure).c_str());
            return;
        }
    }
    State.counters["pictures"] = status.Files;
}

} // namespace

BENCHMARK(BM_GalleryRun)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
