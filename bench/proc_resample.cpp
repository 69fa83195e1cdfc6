// Speed of _ResampleEx on a 4032 x 3024 photograph reduced to picture (800 x 600) and thumbnail
// (160 x 120) sizes, and on the photograph reduced to 200 x 150 and enlarged again to picture size
// (800 x 600), as the gallery enlarges small sources, and to 3200 x 2400, where the cost of every
// destination pixel shows. KV_BENCH_IMAGE names a binary PPM (P6) to use as the
// source, so that bench/peers/resample.sh can time other programs on the same picture; without it a
// synthetic picture of smooth shapes and fine noise is used.
#include "bench/bench_picture.h"
#include "imaging/core/daduvudez.h"
#include "imaging/proc/korvaneproc.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using benchpicture::Source;

void Run(benchmark::State& state, TKVBitmap& source, TResampleFilter filter, int32_t width, int32_t height)
{
    TKVBitmap dest;
    dest.Allocate(width, height, kv24RGB);
    for (auto _ : state) {
        Korvaneproc::_ResampleEx(&source, &dest, filter);
        benchmark::DoNotOptimize(dest.GetScanLine(0));
    }
}

void Resample(benchmark::State& state, TResampleFilter filter, int32_t width, int32_t height)
{
    TKVBitmap& source = Source();
    Run(state, source, filter, width, height);
    state.SetItemsProcessed(state.iterations() * int64_t(source.GetWidth()) * source.GetHeight());
}

// The small picture is the photograph reduced by area averages.
TKVBitmap& SmallSource()
{
    static const std::unique_ptr<TKVBitmap> small = [] {
        auto bitmap = std::make_unique<TKVBitmap>();
        bitmap->Allocate(200, 150, kv24RGB);
        Korvaneproc::_ResampleEx(&Source(), bitmap.get(), rfBilinear);
        return bitmap;
    }();
    return *small;
}

void Enlarge(benchmark::State& state, TResampleFilter filter, int32_t width, int32_t height)
{
    Run(state, SmallSource(), filter, width, height);
    state.SetItemsProcessed(state.iterations() * int64_t(width) * height);
}

} // namespace

BENCHMARK_CAPTURE(Resample, Bilinear_800x600, rfBilinear, 800, 600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, Bilinear_160x120, rfBilinear, 160, 120)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, Lanczos3_800x600, rfLanczos3, 800, 600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, Lanczos3_160x120, rfLanczos3, 160, 120)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, FastLinear_800x600, rfFastLinear, 800, 600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Resample, FastLinear_160x120, rfFastLinear, 160, 120)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Enlarge, Bilinear_200x150_to_800x600, rfBilinear, 800, 600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Enlarge, Bicubic_200x150_to_800x600, rfBicubic, 800, 600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Enlarge, FastLinear_200x150_to_800x600, rfFastLinear, 800, 600)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Enlarge, Bilinear_200x150_to_3200x2400, rfBilinear, 3200, 2400)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Enlarge, Bicubic_200x150_to_3200x2400, rfBicubic, 3200, 2400)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Enlarge, FastLinear_200x150_to_3200x2400, rfFastLinear, 3200, 2400)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
