// Files whose header promises far more rows than their data holds, from the fuzz replay corpus:
// a WBMP, a plain PPM and a bitmap inside an icon one or two pixels wide and a hundred million
// rows or more tall, each against a square picture of the same pixels cut the same way (the peer:
// what the rows themselves cost; the square's data starts with a whole row, without which the
// readers make no picture); and a 17993 x 14648 GIF frame of 69 bytes loaded through the
// multi-image component, against the same file through the GIF reader alone.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/gif/giffilter.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "platform/core/streams.h"
#include "platform/forms/application.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace {

using TReader = std::function<void(TStream&, TKVBitmap&, TIOParamsVals&, TProgressRec&)>;

std::string Corpus(const std::string& name)
{
    std::ifstream in(std::string(KV_TEST_DATA_DIR) + "/fuzz/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The side of a square of about the same number of pixels.
int32_t SquareSide(int64_t pixels)
{
    return int32_t(std::sqrt(double(pixels)));
}

// Each read must leave a picture of the promised size; "failed" tells whether it said that the
// data ended early.
void Read(benchmark::State& state, const std::string& file, const TReader& reader)
{
    if (file.empty()) {
        state.SkipWithError("the corpus file is missing");
        return;
    }
    bool failed = false;
    for (auto _ : state) {
        TMemoryStream stream;
        stream.WriteBuffer(file.data(), int64_t(file.size()));
        stream.SetPosition(0);
        TKVBitmap bitmap;
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        reader(stream, bitmap, params, progress);
        if (int64_t(bitmap.GetWidth()) * bitmap.GetHeight() < 100000000) {
            state.SkipWithError("the file did not read as a picture of its promised size");
            return;
        }
        failed = aborting;
    }
    state.counters["failed"] = failed ? 1 : 0;
}

const std::string TallWbmp = "pxm/wbmp-1-by-238930747-in-9-bytes.wbmp";
const std::string TallPpm = "pxm/ppm-plain-1-by-222222222-cut.ppm";
const std::string TallIcon = "ico/bitmap-2-by-83886080-cut.ico";
const std::string WideGif = "mio/frame-17993-by-14648-in-69-bytes.gif";

void WbmpReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress)
{
    Bmpfilt::WBMPReadStream(stream, bitmap, params, progress, false);
}

void PpmReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress)
{
    Bmpfilt::PXMReadStream(stream, bitmap, params, progress, false);
}

void IconReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress)
{
    std::unique_ptr<TKVMask> mask;
    Bmpfilt::ICOReadStream(stream, bitmap, params, false, progress, mask, false);
}

// The WBMP's sizes are multi-byte integers: 7 bits a byte, most significant first.
std::string MultiByte(uint32_t value)
{
    std::string bytes(1, char(value & 0x7F));
    for (value >>= 7; value != 0; value >>= 7) {
        bytes.insert(bytes.begin(), char(0x80 | (value & 0x7F)));
    }
    return bytes;
}

void BM_WbmpTall(benchmark::State& state)
{
    Read(state, Corpus(TallWbmp), WbmpReader);
}

void BM_WbmpSquarePeer(benchmark::State& state)
{
    const std::string tall = Corpus(TallWbmp);
    const uint32_t side = uint32_t(SquareSide(238930747));
    const std::string firstRow((side + 7) / 8, '\xff');
    Read(state, std::string(2, '\0') + MultiByte(side) + MultiByte(side) + firstRow + tall.substr(7),
         WbmpReader);
}

void BM_PpmPlainTall(benchmark::State& state)
{
    Read(state, Corpus(TallPpm), PpmReader);
}

// The same samples under a square header.
void BM_PpmPlainSquarePeer(benchmark::State& state)
{
    const std::string tall = Corpus(TallPpm);
    const size_t samples = tall.find("2222", tall.find("222222222") + 9) + 4;
    const int32_t side = SquareSide(222222222);
    std::string firstRow;
    for (int32_t i = 0; i < 3 * side; ++i) {
        firstRow += " 0";
    }
    const std::string sides = std::to_string(side) + " " + std::to_string(side);
    Read(state, "P3 " + sides + " 2222" + firstRow + tall.substr(samples), PpmReader);
}

void BM_IconBitmapTall(benchmark::State& state)
{
    Read(state, Corpus(TallIcon), IconReader);
}

// The same file with the bitmap header's width and height made square.
void BM_IconBitmapSquarePeer(benchmark::State& state)
{
    std::string square = Corpus(TallIcon);
    const uint32_t side = uint32_t(SquareSide(int64_t(2) * 83886080));
    for (size_t field : {18, 22}) {
        for (int i = 0; i < 4; ++i) {
            square[field + size_t(i)] = char(side >> (8 * i));
        }
    }
    square.append((size_t(side) * 24 + 31) / 32 * 4, '\0');
    Read(state, square, IconReader);
}

void BM_GifThroughTheMultiImageComponent(benchmark::State& state)
{
    const std::string file = Corpus(WideGif);
    TKorvaneMView view(nullptr);
    for (auto _ : state) {
        view.Clear();
        TMemoryStream stream;
        stream.WriteBuffer(file.data(), int64_t(file.size()));
        stream.SetPosition(0);
        view.GetKorvaneMIO()->LoadFromStreamGif(stream);
        if (view.GetImageCount() != 1) {
            state.SkipWithError("the frame did not load");
            return;
        }
    }
    view.Clear();
}

void BM_GifReaderPeer(benchmark::State& state)
{
    Read(state, Corpus(WideGif),
         [](TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress) {
             std::unique_ptr<TKVMask> mask;
             int32_t frames = 0;
             Giffilter::ReadGifStream(stream, bitmap, frames, params, progress, false, mask, false);
         });
}

BENCHMARK(BM_WbmpTall)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WbmpSquarePeer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PpmPlainTall)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PpmPlainSquarePeer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconBitmapTall)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IconBitmapSquarePeer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifThroughTheMultiImageComponent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifReaderPeer)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    Application->Initialize();
    Korvaneio::DefGIF_LZWDECOMPFUNC = Giflzw::GIFLZWDecompress;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DoneApplication();
    return 0;
}
