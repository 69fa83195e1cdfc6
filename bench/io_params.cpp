// Reading a picture's parameters only against loading it whole, on a 12-megapixel JPEG: the
// parameters should come back in a small fraction of the load time.
#include <benchmark/benchmark.h>

#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"

#include <cstdint>
#include <memory>

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

// A photo-like 4000 x 3000 JPEG, made once.
TMemoryStream& Jpeg12Mp()
{
    static std::unique_ptr<TMemoryStream> jpeg = [] {
        TKorvaneIO io(nullptr);
        TKVBitmap* bitmap = io.KVBitmap();
        bitmap->Allocate(kWidth, kHeight, kv24RGB);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = bitmap->GetScanLine(y);
            for (int32_t i = 0; i < kWidth * 3; ++i) {
                row[i] = uint8_t((i * 7 + y * 13) ^ (i >> 3));
            }
        }
        io.Params().JPEG_Quality = 90;
        auto stream = std::make_unique<TMemoryStream>();
        io.SaveToStreamJpeg(*stream);
        return stream;
    }();
    return *jpeg;
}

void BM_ParamsFromStream(benchmark::State& state)
{
    TMemoryStream& jpeg = Jpeg12Mp();
    TKorvaneIO io(nullptr);
    for (auto _ : state) {
        jpeg.SetPosition(0);
        io.ParamsFromStreamFormat(jpeg, 3);
        benchmark::DoNotOptimize(io.Params().Width);
    }
    if (io.Params().Width != kWidth || io.Params().Height != kHeight) {
        state.SkipWithError("the parameters were not read");
    }
}
BENCHMARK(BM_ParamsFromStream)->Unit(benchmark::kMillisecond);

void BM_LoadFromStream(benchmark::State& state)
{
    TMemoryStream& jpeg = Jpeg12Mp();
    TKorvaneIO io(nullptr);
    for (auto _ : state) {
        jpeg.SetPosition(0);
        io.LoadFromStreamJpeg(jpeg);
        benchmark::DoNotOptimize(io.KVBitmap()->GetScanLine(0));
    }
    if (io.Aborting || io.KVBitmap()->GetWidth() != kWidth) {
        state.SkipWithError("the picture was not loaded");
    }
}
BENCHMARK(BM_LoadFromStream)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
