// Quantizers, video-frame conversion and DIB import on photo-sized images; each also reports a
// memcpy of the bytes it produces so that the ratio can be read in one run.
#include "imaging/core/bitmap_copies.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/quantizer.h"
#include "imaging/core/video_frames.h"
#include "platform/graphics/dib.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// A smooth image with some noise, as photographs have: many colours, few repeats.
void FillPhoto(TKVBitmap& bitmap, int32_t width, int32_t height)
{
    bitmap.Allocate(width, height, kv24RGB);
    uint32_t state = 12345;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const uint8_t noise = uint8_t(state >> 27);
            row[3 * x] = uint8_t(x * 255 / width + noise);
            row[3 * x + 1] = uint8_t(y * 255 / height + noise);
            row[3 * x + 2] = uint8_t((x + y) / 8 + noise);
        }
    }
}

void BM_NeuQuant256(benchmark::State& state)
{
    TKVBitmap photo;
    photo.MinFileSize = 0x7FFFFFFF;
    FillPhoto(photo, kWidth, kHeight);
    std::vector<TRGB> palette(256);
    for (auto _ : state) {
        TKVQuantizer quantizer(&photo, palette, 256);
        benchmark::DoNotOptimize(quantizer.GetRGBIndex(palette[7]));
    }
}
BENCHMARK(BM_NeuQuant256)->Unit(benchmark::kMillisecond);

void BM_MedianCut64(benchmark::State& state)
{
    TKVBitmap photo;
    photo.MinFileSize = 0x7FFFFFFF;
    FillPhoto(photo, kWidth, kHeight);
    std::vector<TRGB> palette(64);
    for (auto _ : state) {
        TKVQuantizer quantizer(&photo, palette, 64);
        benchmark::DoNotOptimize(quantizer.GetRGBIndex(palette[7]));
    }
}
BENCHMARK(BM_MedianCut64)->Unit(benchmark::kMillisecond);

// Index lookups of every pixel, as a palette writer does after building the quantizer.
void BM_NeuQuantLookups(benchmark::State& state)
{
    TKVBitmap photo;
    photo.MinFileSize = 0x7FFFFFFF;
    FillPhoto(photo, kWidth, kHeight);
    std::vector<TRGB> palette(256);
    TKVQuantizer quantizer(&photo, palette, 256);
    for (auto _ : state) {
        int64_t sum = 0;
        for (int32_t y = 0; y < kHeight; ++y) {
            const TRGB* row = reinterpret_cast<const TRGB*>(photo.GetScanLine(y));
            for (int32_t x = 0; x < kWidth; ++x)
                sum += quantizer.GetRGBIndex(row[x]);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_NeuQuantLookups)->Unit(benchmark::kMillisecond);

void BM_Yuy2Frame(benchmark::State& state)
{
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 2);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 7);
    TKVBitmap bitmap;
    bitmap.MinFileSize = 0x7FFFFFFF;
    bitmap.Allocate(kWidth, kHeight, kv24RGB);
    for (auto _ : state)
        Korvaneproc::ConvertYUVFrame(Korvaneproc::KVFourCC('Y', 'U', 'Y', '2'), kWidth, kHeight, frame.data(),
                                     frame.size(), [&](int32_t y) { return bitmap.GetScanLine(y); });
}
BENCHMARK(BM_Yuy2Frame)->Unit(benchmark::kMillisecond);

void BM_Dib24Import(benchmark::State& state)
{
    TKVBitmap photo;
    photo.MinFileSize = 0x7FFFFFFF;
    FillPhoto(photo, kWidth, kHeight);
    HGLOBAL dib = Korvaneproc::_CopyBitmaptoDIBEx(&photo, 0, 0, 0, 0);
    TKVBitmap target;
    target.MinFileSize = 0x7FFFFFFF;
    for (auto _ : state)
        benchmark::DoNotOptimize(Korvaneproc::_CopyDIB2BitmapEx(dib, &target));
    GlobalFree(dib);
}
BENCHMARK(BM_Dib24Import)->Unit(benchmark::kMillisecond);

// The peer: a copy of the 24-bit image's bytes.
void BM_Memcpy24(benchmark::State& state)
{
    std::vector<uint8_t> from(size_t(kWidth) * kHeight * 3, 1), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy24)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
