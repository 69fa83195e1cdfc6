// A whole gallery run without the user interface: every picture of PLIMBET_BENCH_IMAGES checked,
// fitted to 800 x 600 and given a 160 x 160 thumbnail, and the pages of the "classic" template
// written into PLIMBET_BENCH_GALLERY, by PLIMBET_BENCH_THREADS workers (0 or unset: one per
// core). bench/gallery/run.sh makes the photos and times fgallery beside it.
#include "app/gallery_run.h"
#include "app/settings.h"
#include "app/templates.h"
#include "platform/core/files.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
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

std::string Setting(const char* Name)
{
    const char* value = std::getenv(Name);
    return value != nullptr ? value : "";
}

void BM_GalleryRun(benchmark::State& State)
{
    const std::string images = Setting("PLIMBET_BENCH_IMAGES");
    const std::string gallery = Setting("PLIMBET_BENCH_GALLERY");
    const std::string program = Setting("PLIMBET_BENCH_PROGRAM");
    if (images.empty() || gallery.empty() || program.empty()) {
        State.SkipWithError("set PLIMBET_BENCH_IMAGES, PLIMBET_BENCH_GALLERY and PLIMBET_BENCH_PROGRAM "
                            "(bench/gallery/run.sh does)");
        return;
    }
    GallerySettings.ProgramFolder = IncludeTrailingPathDelimiter(program);
    GallerySettings.ImagesPath = images;
    GallerySettings.GalleryPath = gallery;
    GallerySettings.ImageSizeIndex = 2;
    GallerySettings.ImageWidth = 800;
    GallerySettings.ImageHeight = 600;
    GallerySettings.IconWidth = 160;
    GallerySettings.IconHeight = 160;
    GallerySettings.ImageQuality = 80;
    GallerySettings.IconQuality = 80;
    GallerySettings.Threads = std::atoi(Setting("PLIMBET_BENCH_THREADS").c_str());
    InstalledTemplates = ReadInstalledTemplates(GallerySettings.ProgramFolder + "templates/");
    GallerySettings.TemplateIndex = -1;
    for (size_t k = 0; k < InstalledTemplates.size(); ++k) {
        if (InstalledTemplates[k].Folder == "classic") {
            GallerySettings.TemplateIndex = static_cast<int32_t>(k) + 1;
        }
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
