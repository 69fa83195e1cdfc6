// Row operations of the bitmap model on a 4000 x 3000 image, in memory and in a temporary file.
// Every case reports "x_memcpy", its time over a memcpy of the image's bytes (the larger of the
// images read and written), so that the ratio can be read in one run; Memcpy/<bytes> gives that
// reference on its own.
#include "imaging/core/daduvudez.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

enum TStorage
{
    kInMemory,
    kInFile
};

void Prepare(TKVBitmap& bitmap, TStorage storage)
{
    bitmap.MinFileSize = storage == kInFile ? 0 : INT32_MAX;
    bitmap.SetLocation(storage == kInFile ? kvFile : kvMemory);
}

// A photograph-like 24-bit image: smooth gradients with some noise.
void MakePicture(TKVBitmap& bitmap, TStorage storage)
{
    Prepare(bitmap, storage);
    bitmap.Allocate(kWidth, kHeight, kv24RGB);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
        TRGB* row = reinterpret_cast<TRGB*>(bitmap.GetScanLine(y));
        for (int32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const uint8_t noise = uint8_t(seed >> 28);
            row[x] = TRGB{uint8_t(x * 255 / kWidth + noise), uint8_t(y * 255 / kHeight),
                          uint8_t((x + y) / 28 + noise)};
        }
    }
}

void MakePalettePicture(TKVBitmap& bitmap, TStorage storage)
{
    Prepare(bitmap, storage);
    bitmap.Allocate(kWidth, kHeight, kv8p);
    for (int32_t i = 0; i < 256; ++i)
        bitmap.SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < kWidth; ++x)
            row[x] = uint8_t(x ^ y);
    }
}

// Seconds for one memcpy of the given size, the best of a few runs.
double MemcpySeconds(int64_t bytes)
{
    static std::vector<std::pair<int64_t, double>> known;
    for (const auto& [size, seconds] : known)
        if (size == bytes)
            return seconds;
    std::vector<uint8_t> from(size_t(bytes), 1), to(size_t(bytes), 2);
    double best = 1e9;
    for (int run = 0; run < 7; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), size_t(bytes));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    known.emplace_back(bytes, best);
    return best;
}

// Bytes per second of the image written, and the time of one round over a memcpy of the larger
// of the images read and written.
void Report(benchmark::State& state, double seconds, int64_t imageBytes, int64_t bytesWritten)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * bytesWritten);
    state.counters["x_memcpy"] = seconds / double(state.iterations()) / MemcpySeconds(imageBytes);
}

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start)
{
    return std::chrono::duration<double>(TClock::now() - start).count();
}

void BM_Memcpy(benchmark::State& state)
{
    const int64_t bytes = state.range(0);
    std::vector<uint8_t> from(size_t(bytes), 1), to(size_t(bytes), 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size_t(bytes));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}
BENCHMARK(BM_Memcpy)
    ->Arg(int64_t(kWidth) * kHeight)
    ->Arg(int64_t(kWidth) * kHeight * 3)
    ->Unit(benchmark::kMillisecond);

void BM_Assign(benchmark::State& state)
{
    const TStorage storage = TStorage(state.range(0));
    TKVBitmap source, target;
    MakePicture(source, storage);
    Prepare(target, storage);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = TClock::now();
        target.Assign(&source);
        benchmark::DoNotOptimize(target.GetScanLine(0));
        seconds += Since(start);
    }
    const int64_t bytes = int64_t(source.GetRowLen()) * kHeight;
    Report(state, seconds, bytes, bytes);
}
BENCHMARK(BM_Assign)->ArgName("file")->Arg(kInMemory)->Arg(kInFile)->Unit(benchmark::kMillisecond);

void BM_CopyRectTo(benchmark::State& state)
{
    const TStorage storage = TStorage(state.range(0));
    TKVBitmap source, target;
    MakePicture(source, storage);
    Prepare(target, storage);
    target.Allocate(kWidth, kHeight, kv24RGB);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = TClock::now();
        source.CopyRectTo(&target, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::DoNotOptimize(target.GetScanLine(0));
        seconds += Since(start);
    }
    const int64_t bytes = int64_t(source.GetRowLen()) * kHeight;
    Report(state, seconds, bytes, bytes);
}
BENCHMARK(BM_CopyRectTo)->ArgName("file")->Arg(kInMemory)->Arg(kInFile)->Unit(benchmark::kMillisecond);

// Converts a fresh copy each round; the copy is not timed.
void Convert(benchmark::State& state, void (*make)(TKVBitmap&, TStorage), TKVPixelFormat target,
             TKVDitherMethod dither = kvThreshold)
{
    const TStorage storage = TStorage(state.range(0));
    TKVBitmap source, work;
    make(source, storage);
    Prepare(work, storage);
    work.DitherMethod = dither;
    int64_t written = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        work.AssignImage(&source);
        state.ResumeTiming();
        const auto start = TClock::now();
        work.ConvertToPixelFormat(target);
        benchmark::DoNotOptimize(work.GetScanLine(0));
        seconds += Since(start);
        written = int64_t(work.GetRowLen()) * kHeight;
    }
    const int64_t read = int64_t(source.GetRowLen()) * kHeight;
    Report(state, seconds, std::max(read, written), written);
}

void BM_Convert24To8Grey(benchmark::State& state)
{
    Convert(state, MakePicture, kv8g);
}
void BM_Convert24To1(benchmark::State& state)
{
    Convert(state, MakePicture, kv1g);
}
// The default threshold at the mean grey is the processing worker's; the ordered dither is the
// bitmap model's own loop.
void BM_Convert24To1Ordered(benchmark::State& state)
{
    Convert(state, MakePicture, kv1g, kvOrdered);
}
void BM_Convert8PaletteTo24(benchmark::State& state)
{
    Convert(state, MakePalettePicture, kv24RGB);
}
BENCHMARK(BM_Convert24To8Grey)->ArgName("file")->Arg(kInMemory)->Arg(kInFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert24To1)->ArgName("file")->Arg(kInMemory)->Arg(kInFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert24To1Ordered)
    ->ArgName("file")
    ->Arg(kInMemory)
    ->Arg(kInFile)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert8PaletteTo24)
    ->ArgName("file")
    ->Arg(kInMemory)
    ->Arg(kInFile)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
