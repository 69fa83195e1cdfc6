// Speed of the magic wand's outline against its peer, the mask fill of the same region, in the
// same run: a 6000 x 6000 picture of one colour with the seed in the middle, so that both grow
// the whole picture and the outline adds only its tracing to the fill.
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/proc/korvaneproc.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int32_t kSide = 6000;

TKVBitmap& Uniform()
{
    static const std::unique_ptr<TKVBitmap> picture = [] {
        auto b = std::make_unique<TKVBitmap>();
        b->Allocate(kSide, kSide, kv24RGB);
        b->Fill(0x406080);
        return b;
    }();
    return *picture;
}

void Pixels(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * int64_t(kSide) * kSide);
}

void BM_MagicWandOutline(benchmark::State& state)
{
    const bool grow = state.range(0) != 0;
    for (auto _ : state) {
        int32_t count = 0;
        auto points = Korvaneproc::_MakeMagicWandPoints(&Uniform(), kSide / 2, kSide / 2, grow, 1, count);
        benchmark::DoNotOptimize(points.get());
    }
    Pixels(state);
}

// The peer: the same region set in a mask; the mask is cleared outside the timing.
void BM_MagicWandMask(benchmark::State& state)
{
    const bool grow = state.range(0) != 0;
    TKVMask mask;
    mask.AllocateBits(kSide, kSide, 1);
    for (auto _ : state) {
        state.PauseTiming();
        mask.Fill(0);
        state.ResumeTiming();
        Korvaneproc::_MakeMagicWandPointsEx(&Uniform(), kSide / 2, kSide / 2, grow, 1, &mask);
        benchmark::DoNotOptimize(mask.GetPixel(0, 0));
    }
    Pixels(state);
}

} // namespace

BENCHMARK(BM_MagicWandOutline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MagicWandMask)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
