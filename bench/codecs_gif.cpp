// GIF loading: our reader with our LZW decoder against ImageMagick decoding the same bytes in
// memory, printed at the end as the ratio of the two times.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <benchmark/benchmark.h>
#include <wand/MagickWand.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// A photo-like 256-colour frame: smooth bands with a little noise, so that the LZW table fills
// and clears as it does on real pictures. Built once.
const std::vector<uint8_t>& PhotoGif(bool interlaced)
{
    static std::map<bool, std::vector<uint8_t>> cache;
    std::vector<uint8_t>& gif = cache[interlaced];
    if (!gif.empty())
        return gif;
    std::vector<uint8_t> indexes(size_t(kWidth) * kHeight);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; y++)
        for (int32_t x = 0; x < kWidth; x++) {
            seed = seed * 1103515245u + 12345u;
            double wave = 128 + 60 * std::sin(x / 37.0) + 50 * std::cos(y / 23.0 + x / 211.0);
            indexes[size_t(y) * kWidth + size_t(x)] = uint8_t(int(wave) + int((seed >> 16) & 7));
        }
    TMemoryStream stream;
    const uint8_t header[13] = {'G',
                                'I',
                                'F',
                                '8',
                                '9',
                                'a',
                                uint8_t(kWidth),
                                uint8_t(kWidth >> 8),
                                uint8_t(kHeight),
                                uint8_t(kHeight >> 8),
                                0xF7,
                                0,
                                0};
    stream.Write(header, sizeof header);
    for (int i = 0; i < 256; i++) {
        const uint8_t entry[3] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
        stream.Write(entry, 3);
    }
    const uint8_t descriptor[10] = {0x2C,
                                    0,
                                    0,
                                    0,
                                    0,
                                    uint8_t(kWidth),
                                    uint8_t(kWidth >> 8),
                                    uint8_t(kHeight),
                                    uint8_t(kHeight >> 8),
                                    uint8_t(interlaced ? 0x40 : 0)};
    stream.Write(descriptor, sizeof descriptor);
    Giflzw::GIFLZWCompress(stream, kHeight, kWidth, interlaced, indexes.data(), 8);
    const uint8_t trailer = 0x3B;
    stream.Write(&trailer, 1);
    const auto* p = static_cast<const uint8_t*>(stream.Memory());
    gif.assign(p, p + stream.Size());
    return gif;
}

void BM_GifLoadOurs(benchmark::State& state)
{
    const std::vector<uint8_t>& gif = PhotoGif(state.range(0) != 0);
    TMemoryStream stream;
    stream.Write(gif.data(), int64_t(gif.size()));
    for (auto _ : state) {
        stream.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        params.GIF_LZWDecompress = Giflzw::GIFLZWDecompress;
        bool aborted = false;
        TProgressRec progress;
        progress.Aborting = &aborted;
        std::unique_ptr<TKVMask> alpha;
        int32_t frames = 0;
        Giffilter::ReadGifStream(stream, bitmap, frames, params, progress, false, alpha, false);
        if (aborted)
            state.SkipWithError("the reader failed");
        benchmark::DoNotOptimize(bitmap.GetScanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_GifLoadOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_GifLoadImageMagick(benchmark::State& state)
{
    const std::vector<uint8_t>& gif = PhotoGif(state.range(0) != 0);
    for (auto _ : state) {
        MagickWand* wand = NewMagickWand();
        if (MagickReadImageBlob(wand, gif.data(), gif.size()) != MagickTrue)
            state.SkipWithError("ImageMagick failed");
        benchmark::DoNotOptimize(wand);
        DestroyMagickWand(wand);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_GifLoadImageMagick)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Keeps the real time of every run so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                Times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> Times;
};

} // namespace

int main(int argc, char** argv)
{
    MagickWandGenesis();
    // One thread, as our reader uses.
    SetMagickResourceLimit(ThreadResource, 1);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* arg : {"0", "1"}) {
        auto ours = reporter.Times.find(std::string("BM_GifLoadOurs/") + arg);
        auto peer = reporter.Times.find(std::string("BM_GifLoadImageMagick/") + arg);
        if (ours != reporter.Times.end() && peer != reporter.Times.end() && peer->second > 0)
            std::printf("GIF load %s, ours / ImageMagick: %.2f\n",
                        arg[0] == '1' ? "interlaced" : "in row order", ours->second / peer->second);
    }
    benchmark::Shutdown();
    MagickWandTerminus();
    return 0;
}
