// The multi-image I/O component loading every frame of an animated GIF file and every page of a
// multi-page TIFF file into the thumbnail view and saving the view back as one file, against
// ImageMagick reading and writing the same files in this process, the view emptied of them
// against ImageMagick freeing them, and the whole round of the fuzz replay (load, save as GIF and
// as TIFF, empty) against ImageMagick doing the same; the ratios are printed after the table. The
// pictures are 1 x 1 pixel, so that what is timed is the walk over the frames and pages, which
// must grow with their number, not with its square. Large black-and-white fax pages are loaded
// too, whose rows the view stores without an alpha plane.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "platform/core/streams.h"
#include "platform/forms/application.h"

#include <benchmark/benchmark.h>
#include <wand/MagickWand.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// N frames of one pixel, black and white by turns, 15 bytes each: a descriptor and its LZW data
// after a two-colour global table, as small as a frame can be.
const Bytes& TinyFramesGif(int32_t frames)
{
    static std::map<int32_t, Bytes> made;
    Bytes& gif = made[frames];
    if (!gif.empty()) {
        return gif;
    }
    TMemoryStream stream;
    const uint8_t screen[13] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0};
    const uint8_t blackAndWhite[6] = {0, 0, 0, 255, 255, 255};
    stream.WriteBuffer(screen, sizeof screen);
    stream.WriteBuffer(blackAndWhite, sizeof blackAndWhite);
    for (int32_t f = 0; f < frames; ++f) {
        const uint8_t descriptor[10] = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0};
        stream.WriteBuffer(descriptor, sizeof descriptor);
        uint8_t index = uint8_t(f & 1);
        Giflzw::GIFLZWCompress(stream, 1, 1, false, &index, 1);
    }
    const uint8_t trailer = 0x3B;
    stream.WriteBuffer(&trailer, 1);
    const auto* p = static_cast<const uint8_t*>(stream.Memory());
    gif.assign(p, p + stream.Size());
    return gif;
}

// The TIFF ImageMagick writes of the pages that addPage adds to its wand (given a pixel wand for
// colours), made once for each count.
const Bytes& MagickTiff(std::map<int32_t, Bytes>& made, int32_t pages,
                        const std::function<void(MagickWand*, PixelWand*, int32_t)>& addPage)
{
    Bytes& tiff = made[pages];
    if (!tiff.empty()) {
        return tiff;
    }
    MagickWand* wand = NewMagickWand();
    PixelWand* colour = NewPixelWand();
    for (int32_t p = 0; p < pages; ++p) {
        addPage(wand, colour, p);
    }
    MagickSetFormat(wand, "TIFF");
    size_t length = 0;
    unsigned char* blob = MagickGetImagesBlob(wand, &length);
    tiff.assign(blob, blob + length);
    MagickRelinquishMemory(blob);
    DestroyPixelWand(colour);
    DestroyMagickWand(wand);
    return tiff;
}

// N pages of one colour pixel each.
const Bytes& TinyPagesTiff(int32_t pages)
{
    static std::map<int32_t, Bytes> made;
    return MagickTiff(made, pages, [](MagickWand* wand, PixelWand* colour, int32_t p) {
        const std::string rgb = "rgb(" + std::to_string(p % 256) + "," + std::to_string(p * 7 % 256) + ",90)";
        PixelSetColor(colour, rgb.c_str());
        MagickNewImage(wand, 1, 1, colour);
    });
}

// N white pages of 2048 x 2048 at one bit a pixel in Group 4: 32 MB of rows in a few kilobytes.
const Bytes& FaxPagesTiff(int32_t pages)
{
    static std::map<int32_t, Bytes> made;
    return MagickTiff(made, pages, [](MagickWand* wand, PixelWand* colour, int32_t) {
        PixelSetColor(colour, "white");
        MagickNewImage(wand, 2048, 2048, colour);
        MagickSetImageType(wand, BilevelType);
        MagickSetImageCompression(wand, Group4Compression);
    });
}

enum TFileKind
{
    Gif,
    Tiff,
    Fax
};

std::string Folder;

// The file of count frames or pages, written once into the scratch folder.
std::string FileOf(TFileKind kind, int32_t count)
{
    const char* const extensions[] = {".gif", ".tif", "-fax.tif"};
    const std::string name = Folder + "/" + std::to_string(count) + extensions[kind];
    static std::map<std::string, bool> written;
    if (!written[name]) {
        const Bytes& bytes = kind == Gif    ? TinyFramesGif(count)
                             : kind == Tiff ? TinyPagesTiff(count)
                                            : FaxPagesTiff(count);
        TFileStream file(name, fmCreate);
        file.WriteBuffer(bytes.data(), int64_t(bytes.size()));
        written[name] = true;
    }
    return name;
}

std::string SavedName(bool gif)
{
    return Folder + (gif ? "/saved.gif" : "/saved.tif");
}

TKorvaneMView& View()
{
    static TKorvaneMView* view = new TKorvaneMView(nullptr);
    return *view;
}

// Loads the file into the view, emptied first; false when the component failed.
bool LoadIntoView(const std::string& name)
{
    TKorvaneMIO& mio = *View().GetKorvaneMIO();
    mio.LoadFromFile(name);
    return !mio.Aborting;
}

void MioLoad(benchmark::State& state, TFileKind kind)
{
    const std::string name = FileOf(kind, int32_t(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        View().Clear();
        state.ResumeTiming();
        if (!LoadIntoView(name) || View().GetImageCount() != state.range(0)) {
            state.SkipWithError("the component failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void MioSave(benchmark::State& state, TFileKind kind)
{
    const bool gif = kind == Gif;
    View().Clear();
    if (!LoadIntoView(FileOf(kind, int32_t(state.range(0)))) || View().GetImageCount() != state.range(0)) {
        state.SkipWithError("the component failed to load");
        return;
    }
    TKorvaneMIO& mio = *View().GetKorvaneMIO();
    for (auto _ : state) {
        mio.SaveToFile(SavedName(gif));
        if (mio.Aborting) {
            state.SkipWithError("the component failed to save");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void MagickLoad(benchmark::State& state, TFileKind kind)
{
    const std::string name = FileOf(kind, int32_t(state.range(0)));
    for (auto _ : state) {
        MagickWand* wand = NewMagickWand();
        if (MagickReadImage(wand, name.c_str()) != MagickTrue ||
            MagickGetNumberImages(wand) != size_t(state.range(0))) {
            state.SkipWithError("ImageMagick failed");
        }
        DestroyMagickWand(wand);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void MagickSave(benchmark::State& state, TFileKind kind)
{
    const bool gif = kind == Gif;
    MagickWand* wand = NewMagickWand();
    if (MagickReadImage(wand, FileOf(kind, int32_t(state.range(0))).c_str()) != MagickTrue) {
        state.SkipWithError("ImageMagick failed to load");
    }
    for (auto _ : state) {
        if (MagickWriteImages(wand, SavedName(gif).c_str(), MagickTrue) != MagickTrue) {
            state.SkipWithError("ImageMagick failed to save");
            break;
        }
    }
    DestroyMagickWand(wand);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Emptying the view of the frames just loaded; the load is not timed.
void MioClear(benchmark::State& state, TFileKind kind)
{
    const std::string name = FileOf(kind, int32_t(state.range(0)));
    View().Clear();
    for (auto _ : state) {
        state.PauseTiming();
        const bool loaded = LoadIntoView(name) && View().GetImageCount() == state.range(0);
        state.ResumeTiming();
        if (!loaded) {
            state.SkipWithError("the component failed");
            break;
        }
        View().Clear();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// ImageMagick freeing the frames it read.
void MagickClear(benchmark::State& state, TFileKind kind)
{
    const std::string name = FileOf(kind, int32_t(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        MagickWand* wand = NewMagickWand();
        const bool loaded = MagickReadImage(wand, name.c_str()) == MagickTrue &&
                            MagickGetNumberImages(wand) == size_t(state.range(0));
        state.ResumeTiming();
        DestroyMagickWand(wand);
        if (!loaded) {
            state.SkipWithError("ImageMagick failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Every frame of the GIF in memory loaded into the emptied view, the view saved as a GIF file and
// as a TIFF file, and emptied again. (ImageMagick cannot write many TIFF pages into memory, so
// both write files.)
void MioRoundTrip(benchmark::State& state)
{
    const Bytes& source = TinyFramesGif(int32_t(state.range(0)));
    TMemoryStream input;
    input.WriteBuffer(source.data(), int64_t(source.size()));
    TKorvaneMIO& mio = *View().GetKorvaneMIO();
    View().Clear();
    for (auto _ : state) {
        input.SetPosition(0);
        mio.LoadFromStreamGif(input);
        bool done = !mio.Aborting && View().GetImageCount() == state.range(0);
        for (const bool asGif : {true, false}) {
            mio.SaveToFile(SavedName(asGif));
            done = done && !mio.Aborting;
        }
        View().Clear();
        if (!done) {
            state.SkipWithError("the component failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// ImageMagick reading the same bytes, writing the frames as a GIF file and as a TIFF file, and
// freeing them. Its TIFF writer takes time in the square of the pages (10,000 frames take seconds)
// and its GIF writer about 80 ms for each colour page read from a TIFF, so the round is timed on a
// GIF of a few thousand frames only.
void MagickRoundTrip(benchmark::State& state)
{
    const Bytes& source = TinyFramesGif(int32_t(state.range(0)));
    for (auto _ : state) {
        MagickWand* wand = NewMagickWand();
        bool done = MagickReadImageBlob(wand, source.data(), source.size()) == MagickTrue &&
                    MagickGetNumberImages(wand) == size_t(state.range(0));
        for (const bool asGif : {true, false}) {
            done = done && MagickWriteImages(wand, SavedName(asGif).c_str(), MagickTrue) == MagickTrue;
        }
        DestroyMagickWand(wand);
        if (!done) {
            state.SkipWithError("ImageMagick failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

constexpr int64_t GifFrames[] = {2000, 10000};
// Emptying was once quadratic in the frames: at 40,000 it took seconds.
constexpr int64_t ClearedFrames[] = {10000, 40000};
constexpr int64_t TiffPages = 3000;
constexpr int64_t RoundTripFrames = 2000;
constexpr int64_t FaxPages = 10;

void GifSizes(benchmark::internal::Benchmark* b)
{
    b->Arg(GifFrames[0])->Arg(GifFrames[1])->Unit(benchmark::kMillisecond);
}
void TiffSizes(benchmark::internal::Benchmark* b)
{
    b->Arg(TiffPages)->Unit(benchmark::kMillisecond);
}
void ClearSizes(benchmark::internal::Benchmark* b)
{
    b->Arg(ClearedFrames[0])->Arg(ClearedFrames[1])->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(MioLoad, Gif, Gif)->Apply(GifSizes);
BENCHMARK_CAPTURE(MagickLoad, Gif, Gif)->Apply(GifSizes);
BENCHMARK_CAPTURE(MioSave, Gif, Gif)->Apply(GifSizes);
BENCHMARK_CAPTURE(MagickSave, Gif, Gif)->Apply(GifSizes);
BENCHMARK_CAPTURE(MioLoad, Tiff, Tiff)->Apply(TiffSizes);
BENCHMARK_CAPTURE(MagickLoad, Tiff, Tiff)->Apply(TiffSizes);
BENCHMARK_CAPTURE(MioSave, Tiff, Tiff)->Apply(TiffSizes);
BENCHMARK_CAPTURE(MagickSave, Tiff, Tiff)->Apply(TiffSizes);
BENCHMARK_CAPTURE(MioLoad, Fax, Fax)->Arg(FaxPages)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MagickLoad, Fax, Fax)->Arg(FaxPages)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MioClear, Gif, Gif)->Apply(ClearSizes);
BENCHMARK_CAPTURE(MagickClear, Gif, Gif)->Apply(ClearSizes);
BENCHMARK(MioRoundTrip)->Name("MioRoundTrip/Gif")->Arg(RoundTripFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(MagickRoundTrip)->Name("MagickRoundTrip/Gif")->Arg(RoundTripFrames)->Unit(benchmark::kMillisecond);

// Keeps the real time of every run so that the ratios can be printed after the table.
class TimesReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                Times[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> Times;
};

// Prints the ratio of our time to ImageMagick's for an operation ("Load", "Save", ...) on a format
// ("Gif", "Tiff") of count frames or pages.
void PrintRatio(const TimesReporter& reporter, const std::string& operation, const std::string& format,
                int64_t count)
{
    const std::string args = "/" + format + "/" + std::to_string(count);
    const auto ours = reporter.Times.find("Mio" + operation + args);
    const auto peer = reporter.Times.find("Magick" + operation + args);
    if (ours != reporter.Times.end() && peer != reporter.Times.end() && peer->second > 0) {
        std::printf("%s %s of %lld, ours / ImageMagick: %.3g\n", format.c_str(), operation.c_str(),
                    static_cast<long long>(count), ours->second / peer->second);
    }
}

} // namespace

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/kv-bench-mio-XXXXXX";
    Folder = ::mkdtemp(pattern);
    Application->Initialize();
    Korvaneio::DefGIF_LZWDECOMPFUNC = Giflzw::GIFLZWDecompress;
    Korvaneio::DefGIF_LZWCOMPFUNC = Giflzw::GIFLZWCompress;
    Korvaneio::DefTIFF_LZWDECOMPFUNC = Tiflzw::TIFFLZWDecompress;
    Korvaneio::DefTIFF_LZWCOMPFUNC = Tiflzw::TIFFLZWCompress;
    MagickWandGenesis();
    // One thread, as the component uses.
    SetMagickResourceLimit(ThreadResource, 1);
    benchmark::Initialize(&argc, argv);
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* operation : {"Load", "Save"}) {
        for (int64_t frames : GifFrames) {
            PrintRatio(reporter, operation, "Gif", frames);
        }
        PrintRatio(reporter, operation, "Tiff", TiffPages);
    }
    PrintRatio(reporter, "Load", "Fax", FaxPages);
    for (int64_t frames : ClearedFrames) {
        PrintRatio(reporter, "Clear", "Gif", frames);
    }
    PrintRatio(reporter, "RoundTrip", "Gif", RoundTripFrames);
    benchmark::Shutdown();
    MagickWandTerminus();
    DoneApplication();
    std::filesystem::remove_all(Folder);
    return 0;
}
