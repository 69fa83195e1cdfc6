// The thumbnail view filling 128-pixel cells of every picture in PLIMBET_BENCH_THUMBS (all cells
// visible, pictures kept at cell size), with one background loader and with eight; and, for the
// first-cell figure, one reduced decode of the first picture. bench/mview/run.sh makes the photos
// and times vipsthumbnail and ImageMagick making the same thumbnails in the same run.
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/files.h"
#include "platform/forms/application.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <time.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> Pictures()
{
    std::vector<std::string> names;
    const char* folder = std::getenv("PLIMBET_BENCH_THUMBS");
    if (folder == nullptr) {
        return names;
    }
    std::ifstream list(std::string(folder) + "/list.txt");
    for (std::string line; std::getline(list, line);) {
        if (!line.empty()) {
            names.push_back(line);
        }
    }
    return names;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Processor time of the calling thread in ms: what a paint itself costs, whatever the load of
// the machine adds to its wall-clock time.
double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Resident memory in MB.
double ResidentMB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

struct Fill
{
    double firstCellMs = 0;
    double maxPaintMs = 0;
    double maxPaintCpuMs = 0;
};

// Paints until every visible cell holds its picture; returns when the first appeared and the
// longest paint. Between paints the thread sleeps in the event loop, as an application's does,
// until a message arrives (a finished load) or the tick wakes it.
Fill PaintUntilStored(TKorvaneMView* view, Clock::time_point start)
{
    Fill f;
    TTimer tick(nullptr);
    tick.SetInterval(20);
    tick.OnTimer = [](TObject*) {};
    tick.SetEnabled(true);
    view->Invalidate();
    for (;;) {
        // As a window does: a paint only when something was invalidated (a stored picture).
        if (!view->UpdateRect().IsEmpty()) {
            const auto p0 = Clock::now();
            const double c0 = ThreadCpuMs();
            view->PaintMarked();
            f.maxPaintMs = std::max(f.maxPaintMs, Ms(Clock::now() - p0));
            f.maxPaintCpuMs = std::max(f.maxPaintCpuMs, ThreadCpuMs() - c0);
        }
        bool all = true;
        bool any = false;
        for (int32_t i = 0; i < view->GetImageCount(); ++i) {
            if (!view->IsVisible(i)) {
                continue;
            }
            const bool stored = view->IsImageStored(i);
            all = all && stored;
            any = any || stored;
        }
        if (any && f.firstCellMs == 0) {
            f.firstCellMs = Ms(Clock::now() - start);
        }
        if (all) {
            return f;
        }
        Application->HandleMessage();
    }
}

// A view of 128-pixel thumbnails in kvtThumb, without scroll bars or border, as wide as its form.
TKorvaneMView* NewThumbView(TForm& form, int32_t pool)
{
    auto* view = new TKorvaneMView(&form);
    view->SetParent(&form);
    view->SetScrollBars(ssNone);
    view->SetBorderStyle(bsNone);
    view->SetThumbWidth(128);
    view->SetThumbHeight(128);
    view->SetStoreType(kvtThumb);
    view->SetThreadPoolSize(pool);
    view->SetGridWidth(-1);
    return view;
}

void BM_MViewThumbnails(benchmark::State& State)
{
    const std::vector<std::string> names = Pictures();
    if (names.empty()) {
        State.SkipWithError("set PLIMBET_BENCH_THUMBS to a folder with list.txt (bench/mview/run.sh does)");
        return;
    }
    const int32_t pool = int32_t(State.range(0));
    Fill fill;
    for (auto _ : State) {
        TForm form(nullptr);
        auto* view = NewThumbView(form, pool);
        // A picture that fails to load gets a placeholder at once, which would pass for speed.
        int32_t failed = 0;
        view->OnWrongImage = [&failed](TObject*, TKVBitmap*, int32_t, bool&) { ++failed; };
        // Every cell visible: 25 columns of 132 pixels, as many rows as the pictures need.
        const int32_t rows = (int32_t(names.size()) + 24) / 25;
        form.SetClientWidth(25 * 132 + 4);
        form.SetClientHeight(rows * 132 + 4);
        view->SetBounds(0, 0, 25 * 132 + 4, rows * 132 + 4);
        view->LockPaint();
        for (size_t i = 0; i < names.size(); ++i) {
            view->InsertImageEx(int32_t(i));
            view->SetImageFileName(int32_t(i), names[i]);
        }
        view->NPUnLockPaint();
        view->Update();
        const auto start = Clock::now();
        fill = PaintUntilStored(view, start);
        State.SetIterationTime(Ms(Clock::now() - start) / 1000.0);
        if (failed > 0) {
            State.SkipWithError(
                (std::to_string(failed) + " of " + std::to_string(names.size()) + " pictures failed to load")
                    .c_str());
            break;
        }
    }
    State.SetItemsProcessed(State.iterations() * int64_t(names.size()));
    State.counters["first_cell_ms"] = fill.firstCellMs;
    State.counters["max_paint_ms"] = fill.maxPaintMs;
    State.counters["max_paint_cpu_ms"] = fill.maxPaintCpuMs;
}
BENCHMARK(BM_MViewThumbnails)->Arg(1)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// One decode of the first picture at the reduction a 128-pixel cell asks for.
void BM_OneReducedDecode(benchmark::State& State)
{
    const std::vector<std::string> names = Pictures();
    if (names.empty()) {
        State.SkipWithError("set PLIMBET_BENCH_THUMBS");
        return;
    }
    for (auto _ : State) {
        TKVBitmap bitmap;
        TKorvaneIO io(nullptr);
        io.SetAttachedKVBitmap(&bitmap);
        io.Params().JPEG_Scale = ioJPEG_AUTOCALC;
        io.Params().Width = 128;
        io.Params().Height = 128;
        io.LoadFromFile(names[0]);
        if (bitmap.GetWidth() < 1) {
            State.SkipWithError(("cannot load " + names[0]).c_str());
            break;
        }
    }
}
BENCHMARK(BM_OneReducedDecode)->Unit(benchmark::kMillisecond);

// Scrolling page by page through ten times the pictures: resident memory after the first tenth
// and after all of it.
void BM_MViewScrollMemory(benchmark::State& State)
{
    const std::vector<std::string> base = Pictures();
    if (base.empty()) {
        State.SkipWithError("set PLIMBET_BENCH_THUMBS");
        return;
    }
    std::vector<std::string> names;
    for (int32_t k = 0; k < 10; ++k) {
        names.insert(names.end(), base.begin(), base.end());
    }
    double afterFirst = 0, afterAll = 0;
    for (auto _ : State) {
        TForm form(nullptr);
        auto* view = NewThumbView(form, 8);
        form.SetClientWidth(10 * 132 + 4);
        form.SetClientHeight(6 * 132 + 4);
        view->SetBounds(0, 0, 10 * 132 + 4, 6 * 132 + 4);
        view->LockPaint();
        for (size_t i = 0; i < names.size(); ++i) {
            view->InsertImageEx(int32_t(i));
            view->SetImageFileName(int32_t(i), names[i]);
        }
        view->NPUnLockPaint();
        view->Update();
        const int32_t pageRows = 6;
        const int32_t totalRows = (int32_t(names.size()) + 9) / 10;
        for (int32_t row = 0; row < totalRows; row += pageRows) {
            view->SetViewY(row * 132);
            PaintUntilStored(view, Clock::now());
            if (afterFirst == 0 && (row + pageRows) * 10 >= int32_t(base.size())) {
                afterFirst = ResidentMB();
            }
        }
        afterAll = ResidentMB();
    }
    State.counters["rss_after_first_mb"] = afterFirst;
    State.counters["rss_after_all_mb"] = afterAll;
    State.counters["rss_growth_mb"] = afterAll - afterFirst;
}
BENCHMARK(BM_MViewScrollMemory)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    Application->Initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DoneApplication();
    return 0;
}
