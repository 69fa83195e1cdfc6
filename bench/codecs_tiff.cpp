// TIFF loads and saves through the I/O component: a 12-megapixel RGB photo coded with LZW and
// horizontal differencing, loaded and saved, and a 4960 x 7016 text page in Group 4 and in Group 3
// one-dimensional fax coding, loaded. bench/peers/tiff.sh runs this with libtiff's tiffcp doing
// the same on the same files and prints the ratios.
//
// KV_BENCH_TIFF_LZW: the photo as an LZW TIFF with predictor 2;
// KV_BENCH_TIFF_G4: the text page as a Group 4 TIFF;
// KV_BENCH_TIFF_G3: the text page as a Group 3 one-dimensional TIFF;
// KV_BENCH_TIFF_OUT: a file the save may write (default: in the temporary folder).
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Setting(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

void PlugLzw(TKorvaneIO& io)
{
    io.Params().TIFF_LZWDecompress = Tiflzw::TIFFLZWDecompress;
    io.Params().TIFF_LZWCompress = Tiflzw::TIFFLZWCompress;
}

void Load(benchmark::State& state, const std::string& fileName)
{
    TKorvaneIO io(nullptr);
    PlugLzw(io);
    io.KVBitmap()->SetLocation(kvMemory);
    for (auto _ : state) {
        io.LoadFromFileTIFF(fileName);
        if (io.Aborting) {
            state.SkipWithError(("cannot load " + fileName).c_str());
            return;
        }
        benchmark::DoNotOptimize(io.KVBitmap()->GetScanLine(0));
    }
}

void BM_TiffLzwLoad_Ours(benchmark::State& state)
{
    Load(state, Setting("KV_BENCH_TIFF_LZW", "photo-lzw.tif"));
}

void BM_TiffG4Load_Ours(benchmark::State& state)
{
    Load(state, Setting("KV_BENCH_TIFF_G4", "page-g4.tif"));
}

void BM_TiffG3Load_Ours(benchmark::State& state)
{
    Load(state, Setting("KV_BENCH_TIFF_G3", "page-g3.tif"));
}

void BM_TiffLzwSave_Ours(benchmark::State& state)
{
    TKorvaneIO io(nullptr);
    PlugLzw(io);
    io.LoadFromFileTIFF(Setting("KV_BENCH_TIFF_LZW", "photo-lzw.tif"));
    io.Params().TIFF_Compression = ioTIFF_LZW;
    const std::string out = Setting("KV_BENCH_TIFF_OUT", "/tmp/kv-bench-lzw-save.tif");
    for (auto _ : state) {
        io.SaveToFileTIFF(out);
        if (io.Aborting) {
            state.SkipWithError("cannot save");
            return;
        }
    }
    std::remove(out.c_str());
}

} // namespace

BENCHMARK(BM_TiffLzwLoad_Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TiffG4Load_Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TiffG3Load_Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TiffLzwSave_Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
