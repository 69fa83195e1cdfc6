// A large tiled JPEG 2000 picture loaded through our reader and through libvips, in the same run:
// libvips decodes it tile by tile with OpenJPEG on its own threads into a buffer of 8-bit RGB,
// as our reader does into the bitmap. Peak memory is measured by running each benchmark alone
// (--benchmark_filter) under /usr/bin/time -v.
//
// KV_BENCH_J2K: the picture, e.g. 9000 x 9000 RGB in 1024-pixel tiles made by
// opj_compress -t 1024,1024 -r 10 (default: picture-t1024.jp2).
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"

#include <benchmark/benchmark.h>
#include <vips/vips.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string Picture()
{
    const char* value = std::getenv("KV_BENCH_J2K");
    return value != nullptr ? value : "picture-t1024.jp2";
}

void BM_J2kTiledLoad_Ours(benchmark::State& state)
{
    TFileStream file(Picture(), fmOpenRead | fmShareDenyWrite);
    for (auto _ : state) {
        TKVBitmap bitmap;
        bitmap.SetLocation(kvMemory);
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        file.SetPosition(0);
        Kvj2000::J2KReadStream(file, bitmap, params, progress, false);
        if (aborting) {
            state.SkipWithError("cannot load the picture");
            return;
        }
        benchmark::DoNotOptimize(bitmap.GetScanLine(0));
    }
}

void BM_J2kTiledLoad_Vips(benchmark::State& state)
{
    vips_cache_set_max(0);
    vips_concurrency_set(int(std::max(std::thread::hardware_concurrency(), 1u)));
    for (auto _ : state) {
        VipsImage* image =
            vips_image_new_from_file(Picture().c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
        size_t size = 0;
        void* pixels = image != nullptr ? vips_image_write_to_memory(image, &size) : nullptr;
        if (pixels == nullptr) {
            state.SkipWithError(vips_error_buffer());
            if (image != nullptr) {
                g_object_unref(image);
            }
            return;
        }
        benchmark::DoNotOptimize(pixels);
        g_free(pixels);
        g_object_unref(image);
    }
}

} // namespace

BENCHMARK(BM_J2kTiledLoad_Ours)->Unit(benchmark::kMillisecond)->MinTime(5.0)->UseRealTime();
BENCHMARK(BM_J2kTiledLoad_Vips)->Unit(benchmark::kMillisecond)->MinTime(5.0)->UseRealTime();

int main(int argc, char** argv)
{
    if (VIPS_INIT(argv[0]) != 0) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vips_shutdown();
    return 0;
}
