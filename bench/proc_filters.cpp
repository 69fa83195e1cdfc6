// Speed of the window filters, the frequency-domain transform and a transition frame. The filters
// and the transform work on the 4032 x 3024 picture of bench_picture.h, which bench/peers/
// proc_filters.sh gives ImageMagick, libvips and numpy as well; the cross-dissolve frame is timed
// here against Qt's painter blending at an opacity on the same 1920 x 1080 pictures.
#include "bench/bench_picture.h"
#include "imaging/core/daduvudez.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/view/kvview.h"
#include "platform/forms/application.h"
#include "platform/graphics/bitmap.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace {

using benchpicture::Source;

void Pixels(benchmark::State& state, const TKVBitmap& picture)
{
    state.SetItemsProcessed(state.iterations() * int64_t(picture.GetWidth()) * picture.GetHeight());
}

// Each iteration works on a fresh copy; the copy is not timed.
template <class Work> void OnCopy(benchmark::State& state, Work work)
{
    TKVBitmap copy;
    for (auto _ : state) {
        state.PauseTiming();
        copy.Assign(&Source());
        state.ResumeTiming();
        work(&copy);
        benchmark::DoNotOptimize(copy.GetScanLine(0));
    }
    Pixels(state, Source());
}

void BM_ApplyFilterBlur(benchmark::State& state)
{
    OnCopy(state, [](TKVBitmap* b) {
        TProgressRec progress;
        Korvaneproc::_ApplyFilter(b, Korvaneproc::KVFiltPres[fpBlur], 0, 0, b->GetWidth(), b->GetHeight(),
                                  progress);
    });
}

void BM_Blur2(benchmark::State& state)
{
    OnCopy(state, [](TKVBitmap* b) { Korvaneproc::_KVGBlur(b, 2.0); });
}

void BM_Median5x5(benchmark::State& state)
{
    OnCopy(state, [](TKVBitmap* b) { Korvaneproc::_KVMedianFilter(b, 5, 5, 50, 0, 0, 0, mfMedianFilter); });
}

void BM_Maximum2(benchmark::State& state)
{
    OnCopy(state,
           [](TKVBitmap* b) { Korvaneproc::_MorphFilter(b, 2, 0, 0, 0, b->GetWidth(), b->GetHeight()); });
}

// The grey transform of a picture whose longer side makes the square side N.
void BM_BuildFTGrey(benchmark::State& state)
{
    const auto n = static_cast<int32_t>(state.range(0));
    TKVBitmap picture;
    picture.Allocate(std::min(n, Source().GetWidth()), std::min(n * 3 / 4, Source().GetHeight()), kv24RGB);
    Source().CopyRectTo(&picture, 0, 0, 0, 0, picture.GetWidth(), picture.GetHeight());
    for (auto _ : state) {
        TKVFtImage ft;
        ft.BuildFT(&picture, kvitGrayscale);
        benchmark::DoNotOptimize(ft.GetComplexImage(0, 0).GrayReal);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(n) * n);
}

constexpr int32_t kFrameWidth = 1920;
constexpr int32_t kFrameHeight = 1080;

uint8_t Level(int32_t x, int32_t y, int32_t seed)
{
    return static_cast<uint8_t>((x * 7 + y * 13 + seed) ^ (x >> 3));
}

class BenchView : public TKVView
{
public:
    BenchView() : TKVView(nullptr) {}
    void LockPaint() override {}
    int32_t UnLockPaint() override { return 0; }
    int32_t NPUnLockPaint() override { return 0; }
};

void BM_CrossDissolveFrame(benchmark::State& state)
{
    Application->Initialize();
    BenchView view;
    TKVTransitionEffects effects(&view);
    effects.SetSizes(kFrameWidth, kFrameHeight);
    for (int32_t y = 0; y < kFrameHeight; ++y)
        for (int32_t x = 0; x < kFrameWidth * 3; ++x) {
            effects.SourceShot()->ScanLine(y)[x] = Level(x, y, 0);
            effects.TargetShot()->ScanLine(y)[x] = Level(x, y, 99);
        }
    effects.Transition = kvttCrossDissolve;
    effects.Run(false);
    int32_t step = 0;
    for (auto _ : state) {
        effects.DrawFrame(step);
        step = (step + 37) & 1023;
        benchmark::DoNotOptimize(effects.FrameShot()->ScanLine(0));
    }
    effects.Stop();
    state.SetItemsProcessed(state.iterations() * kFrameWidth * kFrameHeight);
}

// The same frame with Qt: the source drawn, then the target over it at the step's opacity, in
// Qt's fastest raster format.
void BM_QPainterOpacityFrame(benchmark::State& state)
{
    Application->Initialize();
    QImage source(kFrameWidth, kFrameHeight, QImage::Format_RGB32), target(source), frame(source);
    for (int32_t y = 0; y < kFrameHeight; ++y) {
        auto* s = reinterpret_cast<uint32_t*>(source.scanLine(y));
        auto* t = reinterpret_cast<uint32_t*>(target.scanLine(y));
        for (int32_t x = 0; x < kFrameWidth; ++x) {
            s[x] = 0xFF000000u | Level(x, y, 0) << 16 | Level(x + 1, y, 0) << 8 | Level(x + 2, y, 0);
            t[x] = 0xFF000000u | Level(x, y, 99) << 16 | Level(x + 1, y, 99) << 8 | Level(x + 2, y, 99);
        }
    }
    int32_t step = 0;
    for (auto _ : state) {
        QPainter painter(&frame);
        painter.drawImage(0, 0, source);
        painter.setOpacity(step / 1024.0);
        painter.drawImage(0, 0, target);
        painter.end();
        step = (step + 37) & 1023;
        benchmark::DoNotOptimize(frame.constScanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * kFrameWidth * kFrameHeight);
}

} // namespace

BENCHMARK(BM_ApplyFilterBlur)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Median5x5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Maximum2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildFTGrey)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrossDissolveFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QPainterOpacityFrame)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
