// Loading a 12-megapixel picture as run-length encoded TGA, 24-bit PCX, lossless JP2 and BMP (24
// bits, 8-bit run-length, 32 bits with an alpha mask), and turning its JPEG a quarter without
// recompressing it, through our codecs. bench/peers/formats.sh runs this beside ImageMagick,
// pcxtoppm, opj_decompress and jpegtran on the same files and prints the ratios.
//
// KV_BENCH_TGA, KV_BENCH_PCX, KV_BENCH_JP2, KV_BENCH_BMP24, KV_BENCH_BMPRLE, KV_BENCH_BMP32,
// KV_BENCH_JPEG: the files (formats.sh makes them).
// "--rotate90-once <in> <out>" turns one JPEG and exits, so that its peak memory can be measured.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/pcx/pcxfilter.h"
#include "imaging/codecs/tga/kvtgafil.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::string FileOf(const char* variable)
{
    const char* name = std::getenv(variable);
    return name != nullptr ? name : std::string();
}

// Each load reads the file from disk (the page cache after the first run), as the peers do.
template <typename Decode> void Load(benchmark::State& state, const char* variable, Decode decode)
{
    const std::string name = FileOf(variable);
    if (name.empty()) {
        state.SkipWithError((std::string(variable) + " is not set").c_str());
        return;
    }
    TKVBitmap bitmap;
    for (auto _ : state) {
        TFileStream stream(name, fmOpenRead | fmShareDenyWrite);
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        decode(stream, bitmap, params, progress);
        if (aborting) {
            state.SkipWithError("the codec failed");
            return;
        }
        benchmark::DoNotOptimize(bitmap.GetScanLine(0));
    }
}

void BM_TgaRleLoad(benchmark::State& state)
{
    Load(state, "KV_BENCH_TGA",
         [](TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress) {
             std::unique_ptr<TKVMask> mask;
             Kvtgafil::ReadTGAStream(stream, bitmap, params, progress, false, mask, false);
         });
}

void BM_Pcx24Load(benchmark::State& state)
{
    Load(state, "KV_BENCH_PCX",
         [](TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress) {
             Pcxfilter::ReadPcxStream(stream, bitmap, params, stream.Size(), progress, false);
         });
}

void BM_Jp2LosslessLoad(benchmark::State& state)
{
    Load(state, "KV_BENCH_JP2",
         [](TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress) {
             Kvj2000::J2KReadStream(stream, bitmap, params, progress, false);
         });
}

void BmpLoad(benchmark::State& state, const char* variable)
{
    Load(state, variable,
         [](TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress) {
             Bmpfilt::BMPReadStream(stream, bitmap, stream.Size(), params, progress, false, false);
         });
}

void BM_Bmp24Load(benchmark::State& state)
{
    BmpLoad(state, "KV_BENCH_BMP24");
}

void BM_BmpRle8Load(benchmark::State& state)
{
    BmpLoad(state, "KV_BENCH_BMPRLE");
}

void BM_Bmp32AlphaLoad(benchmark::State& state)
{
    BmpLoad(state, "KV_BENCH_BMP32");
}

bool Rotate90(const std::string& input, const std::string& output)
{
    TFileStream in(input, fmOpenRead | fmShareDenyWrite);
    TFileStream out(output, fmCreate);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Jpegfilt::KVJpegLosslessTransform(in, out, progress, jtRotate90, false, jcCopyNone, TRect{});
    return !aborting;
}

void BM_JpegRotate90(benchmark::State& state)
{
    const std::string name = FileOf("KV_BENCH_JPEG");
    if (name.empty()) {
        state.SkipWithError("KV_BENCH_JPEG is not set");
        return;
    }
    for (auto _ : state) {
        if (!Rotate90(name, "/dev/null")) {
            state.SkipWithError("the transform failed");
            return;
        }
    }
}

BENCHMARK(BM_TgaRleLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pcx24Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jp2LosslessLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bmp24Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpRle8Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bmp32AlphaLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegRotate90)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--rotate90-once") == 0) {
        return Rotate90(argv[2], argv[3]) ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
