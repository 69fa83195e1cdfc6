// Tiled JPEG 2000 pictures loaded through our reader and through its peers, in the same run:
// OpenJPEG decoding the whole picture on one thread and on every core the process may use, as
// opj_decompress does (-threads) before it writes its output, and libvips, which decodes tile by
// tile with OpenJPEG on its own threads into a buffer of 8-bit RGB, as our reader does into the
// bitmap. Each benchmark loads its picture once, a small picture 20 times; peak memory is
// measured by running each alone (--benchmark_filter) under /usr/bin/time -v, as
// bench/peers/j2k.sh does, which also makes the pictures. The folder of small pictures is loaded
// by our reader on every core and on one, as a gallery of them would be.
//
// The pictures, each benchmarked when its file exists:
//   KV_BENCH_J2K_TILES80   9000 x 9000 RGB in 80-pixel tiles (default picture-t80.j2k)
//   KV_BENCH_J2K_TILES64   4000 x 4000 RGB in 64-pixel tiles (default picture-t64.j2k)
//   KV_BENCH_J2K           9000 x 9000 RGB in 1024-pixel tiles (default picture-t1024.jp2)
//   KV_BENCH_J2K_ONE_TILE  a few bytes declaring one tile of 65535 x 4096 RGB
//                          (default one-tile-65535x4096.j2k)
//   KV_BENCH_J2K_ONE_TILE_LEVELS5
//                          the same decomposed five times, as opj_compress does by default
//                          (default one-tile-65535x4096-levels5.j2k)
//   KV_BENCH_J2K_SMALL_DIR  a folder of photos in one tile, as most of the web's pictures are:
//                          640 x 480 and 1024 x 768, lossless and at a tenth of their bytes
//                          (one-tile-640x480.j2k, one-tile-640x480-r10.j2k, and so for 1024x768);
//                          and a 1000 x 700 photo with an alpha channel (a JP2 channel definition
//                          box) and without, RPCL, two levels, in tiles of 256 pixels and in tiles
//                          of 128 with SOP and EPH markers (tiles-rgba-t256.jp2, tiles-rgb-t256.jp2,
//                          tiles-rgba-t128-sop.jp2, tiles-rgb-t128-sop.jp2)
//   KV_BENCH_J2K_SMALL_SET  a folder of pictures of tens to hundreds of thousands of pixels and a
//                          few tiny ones, of one to four components, in one tile and in many: every
//                          .j2k and .jp2 file in it is loaded in turn
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "platform/core/system.h"

#include <benchmark/benchmark.h>
#include <openjpeg.h>
#include <vips/vips.h>

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using TPictures = std::vector<std::string>;

// Loads each picture in turn through our reader; false when one fails.
bool LoadEach(const std::vector<std::unique_ptr<TFileStream>>& files)
{
    for (const auto& file : files) {
        TKVBitmap bitmap;
        bitmap.SetLocation(kvMemory);
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        file->SetPosition(0);
        Kvj2000::J2KReadStream(*file, bitmap, params, progress, false);
        if (aborting) {
            return false;
        }
        benchmark::DoNotOptimize(bitmap.GetScanLine(0));
    }
    return true;
}

// The loads of small pictures, timed many times, are timed once a first load has brought the
// files and the code into the caches; a large picture is timed as it loads first.
void BM_J2kLoad_Ours(benchmark::State& state, const TPictures& pictures)
{
    std::vector<std::unique_ptr<TFileStream>> files;
    for (const std::string& picture : pictures) {
        files.push_back(std::make_unique<TFileStream>(picture, fmOpenRead | fmShareDenyWrite));
    }
    if (state.max_iterations > 1 && !LoadEach(files)) {
        state.SkipWithError("cannot load the picture");
        return;
    }
    for (auto _ : state) {
        if (!LoadEach(files)) {
            state.SkipWithError("cannot load the picture");
            return;
        }
    }
}

// Our loads with the process kept on the core it runs on, as under taskset -c: the reader then
// counts one usable core.
void BM_J2kLoad_OursOneCore(benchmark::State& state, const TPictures& pictures)
{
    cpu_set_t before, one;
    sched_getaffinity(0, sizeof before, &before);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);
    BM_J2kLoad_Ours(state, pictures);
    sched_setaffinity(0, sizeof before, &before);
}

// The library's codec and stream handles are both void pointers: a deleter for each.
struct TCodecDeleter
{
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct TStreamDeleter
{
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct TImageDeleter
{
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

// What opj_decompress does with a picture before writing it out, on that many threads.
bool DecodeWithOpenJpeg(const std::string& picture, unsigned threads)
{
    const bool jp2 = picture.size() > 4 && picture.compare(picture.size() - 4, 4, ".jp2") == 0;
    std::unique_ptr<opj_codec_t, TCodecDeleter> codec(
        opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    std::unique_ptr<opj_stream_t, TStreamDeleter> stream(
        opj_stream_create_default_file_stream(picture.c_str(), OPJ_TRUE));
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!codec || !stream || !opj_setup_decoder(codec.get(), &parameters) ||
        !opj_codec_set_threads(codec.get(), int(threads))) {
        return false;
    }
    opj_image_t* header = nullptr;
    const bool read = opj_read_header(stream.get(), codec.get(), &header);
    std::unique_ptr<opj_image_t, TImageDeleter> image(header);
    return read && opj_decode(codec.get(), stream.get(), image.get()) &&
           opj_end_decompress(codec.get(), stream.get());
}

void DecodeWithOpenJpegOn(benchmark::State& state, const TPictures& pictures, unsigned threads)
{
    const auto decodeEach = [&pictures, threads] {
        return std::all_of(pictures.begin(), pictures.end(), [threads](const std::string& picture) {
            return DecodeWithOpenJpeg(picture, threads);
        });
    };
    if (state.max_iterations > 1 && !decodeEach()) {
        state.SkipWithError("OpenJPEG cannot decode the picture");
        return;
    }
    for (auto _ : state) {
        if (!decodeEach()) {
            state.SkipWithError("OpenJPEG cannot decode the picture");
            return;
        }
    }
}

void BM_J2kLoad_OpjDecompressOneThread(benchmark::State& state, const TPictures& pictures)
{
    DecodeWithOpenJpegOn(state, pictures, 1);
}

void BM_J2kLoad_OpjDecompressEveryCore(benchmark::State& state, const TPictures& pictures)
{
    DecodeWithOpenJpegOn(state, pictures, UsableCores());
}

void BM_J2kLoad_Vips(benchmark::State& state, const TPictures& pictures)
{
    const std::string& picture = pictures.front();
    vips_cache_set_max(0);
    vips_concurrency_set(int(UsableCores()));
    for (auto _ : state) {
        VipsImage* image =
            vips_image_new_from_file(picture.c_str(), "access", VIPS_ACCESS_SEQUENTIAL, nullptr);
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

std::string PictureFile(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return value != nullptr ? value : fallback;
}

bool Exists(const std::string& file)
{
    struct stat info;
    return stat(file.c_str(), &info) == 0;
}

// Every JPEG 2000 file of the folder, by name.
TPictures PicturesIn(const std::string& folder)
{
    TPictures pictures;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".j2k" || extension == ".jp2")) {
            pictures.push_back(entry.path().string());
        }
    }
    std::sort(pictures.begin(), pictures.end());
    return pictures;
}

void RegisterPictures()
{
    const std::string smallDir = PictureFile("KV_BENCH_J2K_SMALL_DIR", ".") + "/";
    // How each picture is measured: its peers, and how many loads of it a benchmark times.
    enum class TKind
    {
        Large,    // libvips and OpenJPEG on one thread
        Giant,    // OpenJPEG on one thread: libvips refuses it
        Small,    // OpenJPEG on one thread and on every core, 20 loads
        SmallSet, // and our reader on one core as well
    };
    const struct
    {
        std::string name;
        TPictures files;
        TKind kind;
    } pictures[] = {
        {"Tiles80", {PictureFile("KV_BENCH_J2K_TILES80", "picture-t80.j2k")}, TKind::Large},
        {"Tiles64", {PictureFile("KV_BENCH_J2K_TILES64", "picture-t64.j2k")}, TKind::Large},
        {"Tiles1024", {PictureFile("KV_BENCH_J2K", "picture-t1024.jp2")}, TKind::Large},
        {"OneTile65535x4096",
         {PictureFile("KV_BENCH_J2K_ONE_TILE", "one-tile-65535x4096.j2k")},
         TKind::Giant},
        {"OneTile65535x4096Levels5",
         {PictureFile("KV_BENCH_J2K_ONE_TILE_LEVELS5", "one-tile-65535x4096-levels5.j2k")},
         TKind::Giant},
        {"OneTile640x480", {smallDir + "one-tile-640x480.j2k"}, TKind::Small},
        {"OneTile640x480Rate10", {smallDir + "one-tile-640x480-r10.j2k"}, TKind::Small},
        {"OneTile1024x768", {smallDir + "one-tile-1024x768.j2k"}, TKind::Small},
        {"OneTile1024x768Rate10", {smallDir + "one-tile-1024x768-r10.j2k"}, TKind::Small},
        {"TilesRgba256", {smallDir + "tiles-rgba-t256.jp2"}, TKind::Small},
        {"TilesRgb256", {smallDir + "tiles-rgb-t256.jp2"}, TKind::Small},
        {"TilesRgba128Sop", {smallDir + "tiles-rgba-t128-sop.jp2"}, TKind::Small},
        {"TilesRgb128Sop", {smallDir + "tiles-rgb-t128-sop.jp2"}, TKind::Small},
        {"SmallPictures", PicturesIn(PictureFile("KV_BENCH_J2K_SMALL_SET", "small")), TKind::SmallSet},
    };
    for (const auto& p : pictures) {
        if (p.files.empty() || !std::all_of(p.files.begin(), p.files.end(), Exists)) {
            continue;
        }
        const bool small = p.kind == TKind::Small || p.kind == TKind::SmallSet;
        const std::string prefix = "BM_J2kLoad_" + p.name;
        for (const auto& [who, run] :
             {std::pair{"Ours", &BM_J2kLoad_Ours}, std::pair{"OursOneCore", &BM_J2kLoad_OursOneCore},
              std::pair{"OpjDecompressOneThread", &BM_J2kLoad_OpjDecompressOneThread},
              std::pair{"OpjDecompressEveryCore", &BM_J2kLoad_OpjDecompressEveryCore},
              std::pair{"Vips", &BM_J2kLoad_Vips}}) {
            if ((run == &BM_J2kLoad_Vips && p.kind != TKind::Large) ||
                (run == &BM_J2kLoad_OpjDecompressEveryCore && !small) ||
                (run == &BM_J2kLoad_OursOneCore && p.kind != TKind::SmallSet)) {
                continue;
            }
            benchmark::RegisterBenchmark((prefix + "_" + who).c_str(), run, p.files)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(small ? 20 : 1)
                ->UseRealTime();
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (VIPS_INIT(argv[0]) != 0) {
        return 1;
    }
    RegisterPictures();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vips_shutdown();
    return 0;
}
