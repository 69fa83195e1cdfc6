// Tiled JPEG 2000 pictures loaded through our reader and through its peers, in the same run:
// OpenJPEG decoding the whole picture on one thread and on every core the process may use, as
// opj_decompress does (-threads) before it writes its output, and libvips, which decodes tile by
// tile with OpenJPEG on its own threads into a buffer of 8-bit RGB, as our reader does into the
// bitmap. Each benchmark loads its picture once, a small picture 20 times; peak memory is
// measured by running each alone (--benchmark_filter) under /usr/bin/time -v, as
// bench/peers/j2k.sh does, which also makes the pictures.
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
//                          (one-tile-640x480.j2k, one-tile-640x480-r10.j2k, and so for 1024x768)
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "platform/core/system.h"

#include <benchmark/benchmark.h>
#include <openjpeg.h>
#include <vips/vips.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

void BM_J2kLoad_Ours(benchmark::State& state, const std::string& picture)
{
    TFileStream file(picture, fmOpenRead | fmShareDenyWrite);
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

void DecodeWithOpenJpegOn(benchmark::State& state, const std::string& picture, unsigned threads)
{
    for (auto _ : state) {
        if (!DecodeWithOpenJpeg(picture, threads)) {
            state.SkipWithError("OpenJPEG cannot decode the picture");
            return;
        }
    }
}

void BM_J2kLoad_OpjDecompressOneThread(benchmark::State& state, const std::string& picture)
{
    DecodeWithOpenJpegOn(state, picture, 1);
}

void BM_J2kLoad_OpjDecompressEveryCore(benchmark::State& state, const std::string& picture)
{
    DecodeWithOpenJpegOn(state, picture, UsableCores());
}

void BM_J2kLoad_Vips(benchmark::State& state, const std::string& picture)
{
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

void RegisterPictures()
{
    const std::string smallDir = PictureFile("KV_BENCH_J2K_SMALL_DIR", ".") + "/";
    const struct
    {
        std::string name;
        std::string file;
        bool small;
    } pictures[] = {
        {"Tiles80", PictureFile("KV_BENCH_J2K_TILES80", "picture-t80.j2k"), false},
        {"Tiles64", PictureFile("KV_BENCH_J2K_TILES64", "picture-t64.j2k"), false},
        {"Tiles1024", PictureFile("KV_BENCH_J2K", "picture-t1024.jp2"), false},
        {"OneTile65535x4096", PictureFile("KV_BENCH_J2K_ONE_TILE", "one-tile-65535x4096.j2k"), false},
        {"OneTile65535x4096Levels5",
         PictureFile("KV_BENCH_J2K_ONE_TILE_LEVELS5", "one-tile-65535x4096-levels5.j2k"), false},
        {"OneTile640x480", smallDir + "one-tile-640x480.j2k", true},
        {"OneTile640x480Rate10", smallDir + "one-tile-640x480-r10.j2k", true},
        {"OneTile1024x768", smallDir + "one-tile-1024x768.j2k", true},
        {"OneTile1024x768Rate10", smallDir + "one-tile-1024x768-r10.j2k", true},
    };
    for (const auto& p : pictures) {
        if (!Exists(p.file)) {
            continue;
        }
        // libvips refuses a picture past its own limits on memory, so OpenJPEG alone is the peer
        // of the one-tile giants; one thread and every core are the peers of the small pictures.
        const bool giant = p.name.starts_with("OneTile65535");
        const std::string prefix = "BM_J2kLoad_" + p.name;
        for (const auto& [who, run] :
             {std::pair{"Ours", &BM_J2kLoad_Ours},
              std::pair{"OpjDecompressOneThread", &BM_J2kLoad_OpjDecompressOneThread},
              std::pair{"OpjDecompressEveryCore", &BM_J2kLoad_OpjDecompressEveryCore},
              std::pair{"Vips", &BM_J2kLoad_Vips}}) {
            if ((run == &BM_J2kLoad_Vips && (giant || p.small)) ||
                (run == &BM_J2kLoad_OpjDecompressEveryCore && !p.small)) {
                continue;
            }
            benchmark::RegisterBenchmark((prefix + "_" + who).c_str(), run, p.file)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(p.small ? 20 : 1)
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
