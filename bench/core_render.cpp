// Drawing and the image stores against their peers, each measured in the same run: rendering at
// 1:1 against memcpy and zoomed against Qt's drawImage, the thumbnail store against one PNG file
// per thumbnail, and the tiled bitmap's pixel access and callback walk against the same work in
// memory. Every case reports "x_peer", its time over the peer's.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start)
{
    return std::chrono::duration<double>(TClock::now() - start).count();
}

void Report(benchmark::State& state, double ours, double peer)
{
    state.counters["x_peer"] = ours / peer;
    state.counters["ours_ms"] = 1000 * ours / double(state.iterations());
    state.counters["peer_ms"] = 1000 * peer / double(state.iterations());
}

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;

uint8_t Sample(int32_t x, int32_t y, int32_t i)
{
    return uint8_t((x * 7 + y * 13 + i * 5) ^ (x >> 3));
}

void MakePicture(TKVBitmap& bitmap)
{
    bitmap.MinFileSize = INT32_MAX;
    bitmap.SetLocation(kvMemory);
    bitmap.Allocate(kWidth, kHeight, kv24RGB);
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t i = 0; i < kWidth * 3; ++i)
            row[i] = Sample(i / 3, y, i % 3);
    }
}

std::unique_ptr<TBitmap> Target(int32_t width, int32_t height)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    return bitmap;
}

// ---- Rendering ----------------------------------------------------------------------------------

void BM_RenderOneToOne_vs_Memcpy(benchmark::State& state)
{
    TKVBitmap picture;
    MakePicture(picture);
    auto target = Target(kWidth, kHeight);
    std::unique_ptr<TKVRowTable> rows;
    std::unique_ptr<TKVSampleTable> xt, yt;
    const size_t bytes = size_t(picture.GetRowLen()) * kHeight;
    std::vector<uint8_t> from(bytes, 1), to(bytes, 2);
    double ours = 0, peer = 0;
    for (auto _ : state) {
        auto start = TClock::now();
        picture.RenderToTBitmap(target.get(), rows, xt, yt, nullptr, 0, 0, kWidth, kHeight, 0, 0, kWidth,
                                kHeight, false, true, 255, rfNone, false);
        benchmark::ClobberMemory();
        ours += Since(start);
        start = TClock::now();
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        peer += Since(start);
    }
    Report(state, ours, peer);
}
BENCHMARK(BM_RenderOneToOne_vs_Memcpy)->Unit(benchmark::kMillisecond);

void BM_RenderZoomed_vs_QtDrawImage(benchmark::State& state)
{
    constexpr int32_t kZoomedWidth = 1333;
    constexpr int32_t kZoomedHeight = 1000;
    TKVBitmap picture;
    MakePicture(picture);
    auto target = Target(kZoomedWidth, kZoomedHeight);
    std::unique_ptr<TKVRowTable> rows;
    std::unique_ptr<TKVSampleTable> xt, yt;

    QImage source(kWidth, kHeight, QImage::Format_BGR888);
    for (int32_t y = 0; y < kHeight; ++y)
        std::memcpy(source.scanLine(y), picture.GetScanLine(y), size_t(kWidth) * 3);
    QImage destination(kZoomedWidth, kZoomedHeight, QImage::Format_BGR888);
    double ours = 0, peer = 0;
    for (auto _ : state) {
        auto start = TClock::now();
        picture.RenderToTBitmap(target.get(), rows, xt, yt, nullptr, 0, 0, kZoomedWidth, kZoomedHeight, 0, 0,
                                kWidth, kHeight, false, true, 255, rfNone, false);
        benchmark::ClobberMemory();
        ours += Since(start);
        start = TClock::now();
        {
            QPainter painter(&destination);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(QRect(0, 0, kZoomedWidth, kZoomedHeight), source, source.rect(),
                              Qt::AutoColor | Qt::ThresholdDither);
        }
        benchmark::ClobberMemory();
        peer += Since(start);
    }
    Report(state, ours, peer);
}
BENCHMARK(BM_RenderZoomed_vs_QtDrawImage)->Unit(benchmark::kMillisecond);

// ---- Thumbnail store ------------------------------------------------------------------------------

void MakeThumbnail(TKVBitmap& thumbnail, int32_t seed)
{
    for (int32_t y = 0; y < thumbnail.GetHeight(); ++y) {
        uint8_t* row = thumbnail.GetScanLine(y);
        for (int32_t i = 0; i < thumbnail.GetWidth() * 3; ++i)
            row[i] = Sample(i / 3 + seed, y, i % 3);
    }
}

void BM_ThumbnailStore_vs_PngFiles(benchmark::State& state)
{
    const int32_t count = int32_t(state.range(0));
    // The pictures are made before the clocks start, so that both sides time only storing and
    // reading back; thumbnail i is picture i mod 64.
    constexpr int32_t kPictures = 64;
    std::vector<std::unique_ptr<TKVBitmap>> pictures;
    for (int32_t i = 0; i < kPictures; ++i) {
        auto picture = std::make_unique<TKVBitmap>();
        picture->MinFileSize = INT32_MAX;
        picture->SetLocation(kvMemory);
        picture->Allocate(160, 120, kv24RGB);
        MakeThumbnail(*picture, i * 37);
        pictures.push_back(std::move(picture));
    }
    TKVBitmap back;
    back.MinFileSize = INT32_MAX;
    back.SetLocation(kvMemory);
    char folderPattern[] = "/tmp/kvbenchXXXXXX";
    const std::string folder = std::string(mkdtemp(folderPattern)) + "/";
    double ours = 0, peer = 0;
    for (auto _ : state) {
        auto start = TClock::now();
        {
            TKVVirtualDIBList list;
            std::vector<TKVVirtualImageInfo*> images;
            for (int32_t i = 0; i < count; ++i)
                images.push_back(list.AddKVBitmap(pictures[i % kPictures].get()));
            for (TKVVirtualImageInfo* image : images)
                list.CopyToKVBitmap(image, &back);
        }
        ours += Since(start);

        start = TClock::now();
        TIOParamsVals params;
        params.PNG_Compression = 1;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        for (int32_t i = 0; i < count; ++i) {
            TFileStream file(folder + std::to_string(i) + ".png", fmCreate);
            Pngfiltw::WritePNGStream(file, *pictures[i % kPictures], params, progress);
        }
        for (int32_t i = 0; i < count; ++i) {
            const std::string name = folder + std::to_string(i) + ".png";
            {
                TFileStream file(name, fmOpenRead);
                std::unique_ptr<TKVMask> alpha;
                Pngfilt::ReadPNGStream(file, back, params, progress, false, alpha, true);
            }
            unlink(name.c_str());
        }
        peer += Since(start);
    }
    rmdir(folder.c_str());
    Report(state, ours, peer);
}
BENCHMARK(BM_ThumbnailStore_vs_PngFiles)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- Tiled bitmap ---------------------------------------------------------------------------------

void BM_TiledPixelAccess_vs_InMemory(benchmark::State& state)
{
    TKVVirtualBitmap tiled;
    tiled.AllocateBits(2048, 2048, 24);
    TKVBitmap memory;
    memory.MinFileSize = INT32_MAX;
    memory.SetLocation(kvMemory);
    memory.Allocate(2048, 2048, kv24RGB);
    // Reads stay within one 512 x 512 tile.
    double ours = 0, peer = 0;
    uint32_t sum = 0;
    for (auto _ : state) {
        auto start = TClock::now();
        for (int32_t y = 512; y < 1024; ++y)
            for (int32_t x = 512; x < 1024; ++x) {
                TRGB pixel;
                tiled.GetPixel(x, y, &pixel.b);
                sum += pixel.g;
            }
        ours += Since(start);
        start = TClock::now();
        for (int32_t y = 512; y < 1024; ++y)
            for (int32_t x = 512; x < 1024; ++x)
                sum += memory.GetPixels_kv24RGB(x, y).g;
        peer += Since(start);
    }
    benchmark::DoNotOptimize(sum);
    Report(state, ours, peer);
}
BENCHMARK(BM_TiledPixelAccess_vs_InMemory)->Unit(benchmark::kMillisecond);

void Brighten(int32_t, int32_t, uint8_t* pixel, void*)
{
    pixel[0] = uint8_t(pixel[0] + 1);
    pixel[1] = uint8_t(pixel[1] + 2);
    pixel[2] = uint8_t(pixel[2] + 3);
}

void BM_TiledApplyFunction_vs_InMemory(benchmark::State& state)
{
    // 18,500 x 18,500 colour pixels: about 1 GB.
    constexpr int32_t kSide = 18500;
    TKVVirtualBitmap tiled;
    tiled.AllocateBits(kSide, kSide, 24);
    TKVBitmap memory;
    memory.MinFileSize = INT32_MAX;
    memory.SetLocation(kvMemory);
    memory.Allocate(kSide, kSide, kv24RGB);
    memory.Fill(0);
    TKVVirtualBitmapCallback callback = Brighten;
    benchmark::DoNotOptimize(callback);
    double ours = 0, peer = 0;
    for (auto _ : state) {
        auto start = TClock::now();
        tiled.ApplyFunction(0, 0, kSide, kSide, callback, nullptr);
        ours += Since(start);
        start = TClock::now();
        for (int32_t y = 0; y < kSide; ++y) {
            uint8_t* pixel = memory.GetScanLine(y);
            for (int32_t x = 0; x < kSide; ++x, pixel += 3)
                callback(x, y, pixel, nullptr);
        }
        benchmark::ClobberMemory();
        peer += Since(start);
    }
    Report(state, ours, peer);
}
BENCHMARK(BM_TiledApplyFunction_vs_InMemory)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
