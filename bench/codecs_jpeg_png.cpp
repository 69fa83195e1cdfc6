// JPEG load and save and PNG load of a 12-megapixel photo through our codecs, beside the same
// work done by the bare JPEG and PNG libraries in this process. bench/peers/codecs.sh runs this
// with djpeg, cjpeg and ImageMagick on the same files and prints the ratios.
//
// KV_BENCH_JPEG: the photo (default: gdk-pixbuf's 3120 x 4208 test photo);
// KV_BENCH_PNG: a PNG of it (default: made here with our writer).
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

const char* const DefaultPhoto = "/usr/libexec/installed-tests/gdk-pixbuf/issue70.jpg";

std::unique_ptr<TMemoryStream> LoadFile(const char* name)
{
    auto stream = std::make_unique<TMemoryStream>();
    stream->LoadFromFile(name);
    return stream;
}

TMemoryStream& Photo()
{
    static std::unique_ptr<TMemoryStream> photo =
        LoadFile(std::getenv("KV_BENCH_JPEG") != nullptr ? std::getenv("KV_BENCH_JPEG") : DefaultPhoto);
    return *photo;
}

TKVBitmap& DecodedPhoto()
{
    static std::unique_ptr<TKVBitmap> bitmap = [] {
        auto decoded = std::make_unique<TKVBitmap>();
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Photo().SetPosition(0);
        Jpegfilt::ReadJPegStream(Photo(), nullptr, *decoded, params, progress, false);
        return decoded;
    }();
    return *bitmap;
}

TMemoryStream& PhotoPng()
{
    static std::unique_ptr<TMemoryStream> png = [] {
        if (const char* name = std::getenv("KV_BENCH_PNG")) {
            return LoadFile(name);
        }
        auto made = std::make_unique<TMemoryStream>();
        TIOParamsVals params;
        TProgressRec progress;
        Pngfiltw::WritePNGStream(*made, DecodedPhoto(), params, progress);
        return made;
    }();
    return *png;
}

void BM_JpegLoad_Ours(benchmark::State& state)
{
    TMemoryStream& photo = Photo();
    TKVBitmap bitmap;
    for (auto _ : state) {
        photo.SetPosition(0);
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Jpegfilt::ReadJPegStream(photo, nullptr, bitmap, params, progress, false);
        benchmark::DoNotOptimize(bitmap.GetScanLine(0));
    }
    // A decoder that fails at once would pass for a fast one.
    if (bitmap.GetWidth() < 1) {
        state.SkipWithError("the JPEG decoder failed");
    }
    state.counters["megapixels"] = double(bitmap.GetWidth()) * bitmap.GetHeight() / 1e6;
}

// What djpeg does to a 24-bit image, without the file output: the library alone, decoding into a
// buffer made once, so that its time is the decoding and nothing else.
void BM_JpegLoad_Library(benchmark::State& state)
{
    TMemoryStream& photo = Photo();
    std::vector<uint8_t> image;
    for (auto _ : state) {
        jpeg_decompress_struct info{};
        jpeg_error_mgr err{};
        info.err = jpeg_std_error(&err);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, static_cast<unsigned char*>(photo.Memory()),
                     static_cast<unsigned long>(photo.Size()));
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&info);
        const size_t stride = size_t(info.output_width) * 3;
        image.resize(stride * info.output_height);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = image.data() + stride * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(image.data());
    }
}

void BM_JpegSave_Ours(benchmark::State& state)
{
    TKVBitmap& bitmap = DecodedPhoto();
    int64_t written = 0;
    for (auto _ : state) {
        TMemoryStream out;
        TIOParamsVals params;
        params.JPEG_Quality = 80;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Jpegfilt::WriteJPegStream(out, bitmap, params, progress);
        benchmark::DoNotOptimize(out.Memory());
        written = out.Size();
    }
    if (written < 1) {
        state.SkipWithError("the JPEG encoder failed");
    }
}

void BM_JpegSave_Library(benchmark::State& state)
{
    TKVBitmap& bitmap = DecodedPhoto();
    const int32_t width = bitmap.GetWidth();
    const int32_t height = bitmap.GetHeight();
    std::vector<uint8_t> image(size_t(width) * 3 * height);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = bitmap.GetScanLine(y);
        std::copy(row, row + size_t(width) * 3, image.begin() + size_t(width) * 3 * y);
    }
    for (auto _ : state) {
        jpeg_compress_struct info{};
        jpeg_error_mgr err{};
        info.err = jpeg_std_error(&err);
        jpeg_create_compress(&info);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&info, &buffer, &size);
        info.image_width = static_cast<JDIMENSION>(width);
        info.image_height = static_cast<JDIMENSION>(height);
        info.input_components = 3;
        info.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, 80, TRUE);
        jpeg_start_compress(&info, TRUE);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = image.data() + size_t(width) * 3 * info.next_scanline;
            jpeg_write_scanlines(&info, &row, 1);
        }
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        benchmark::DoNotOptimize(buffer);
        std::free(buffer);
    }
}

void BM_PngLoad_Ours(benchmark::State& state)
{
    TMemoryStream& png = PhotoPng();
    TKVBitmap bitmap;
    for (auto _ : state) {
        png.SetPosition(0);
        TIOParamsVals params;
        std::unique_ptr<TKVMask> mask;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Pngfilt::ReadPNGStream(png, bitmap, params, progress, false, mask, false);
        benchmark::DoNotOptimize(bitmap.GetScanLine(0));
    }
    if (bitmap.GetWidth() < 1) {
        state.SkipWithError("the PNG decoder failed");
    }
}

void BM_PngLoad_Library(benchmark::State& state)
{
    TMemoryStream& png = PhotoPng();
    std::vector<uint8_t> image;
    for (auto _ : state) {
        png_image decoder{};
        decoder.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&decoder, png.Memory(), static_cast<size_t>(png.Size()));
        decoder.format = PNG_FORMAT_BGR;
        image.resize(PNG_IMAGE_SIZE(decoder));
        png_image_finish_read(&decoder, nullptr, image.data(), 0, nullptr);
        benchmark::DoNotOptimize(image.data());
    }
}

} // namespace

BENCHMARK(BM_JpegLoad_Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegLoad_Library)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegSave_Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_JpegSave_Library)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PngLoad_Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PngLoad_Library)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
