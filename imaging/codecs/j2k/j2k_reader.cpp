// Reads JP2 files and JPEG 2000 code streams into kv1g or kv24RGB bitmaps.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/codecs/j2k/detail/band_workers.h"
#include "imaging/codecs/j2k/detail/colour_model.h"
#include "imaging/codecs/j2k/detail/declared_layout.h"
#include "imaging/codecs/j2k/detail/decoder_pass.h"
#include "imaging/codecs/j2k/detail/decoder_thread.h"
#include "imaging/codecs/j2k/detail/sample_writer.h"
#include "imaging/codecs/j2k/detail/tile_bands.h"
#include "imaging/codecs/j2k/detail/window_grid.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/system.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <vector>

namespace Kvj2000 {

namespace {

using namespace detail;

const uint8_t JP2Signature[12] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
const uint8_t CodeStreamStart[4] = {0xFF, 0x4F, 0xFF, 0x51};

bool StartsWith(TStream& stream, const uint8_t* signature, int64_t length)
{
    const int64_t start = stream.Position();
    uint8_t head[12] = {};
    const bool found =
        stream.Read(head, length) == length && std::memcmp(head, signature, size_t(length)) == 0;
    stream.SetPosition(start);
    return found;
}

// Past these bytes of 32-bit samples a tile is decoded in windows (detail/window_grid.h).
constexpr uint64_t TileBudget = uint64_t(256) << 20;
// Tiles whose 32-bit samples stay under this are small: decoded on the loading thread, and
// without the library's threads, which cost more than they gain on a small tile, in bands of
// whole tiles of at most the second. A larger tile is decoded on a thread of its own while the
// loading thread writes the one before into the bitmap.
constexpr uint64_t SmallTileBytes = uint64_t(4) << 20;
constexpr uint64_t BandBytes = uint64_t(8) << 20;
// Bands a worker has to pick from, so that none waits long for the last; and the most workers,
// each holding a band or two, which halve the time of one thread at four.
constexpr size_t BandsPerWorker = 4;
constexpr unsigned MostWorkers = 8;
// The work of a load, counted in samples: each sample of every component, and each byte of coded
// data, whose decoding costs about as much as that of this many samples (about 0.2 us against 8 ns
// on one core of 2.3 GHz): most of the time of a lossless picture goes to its coded bytes, of one
// at a tenth of its bytes to its samples.
constexpr uint64_t SamplesPerCodedByte = 25;
// The work that each thread of a load must have for its start to pay, with room to spare on a busy
// machine, where a thread waits long for a core: a band worker, which reads the headers of its
// bands, about 1 ms of one thread's decoding; one of the library's threads, which the library
// starts and stops with each decoder and waits for at every step of a tile, about 4 ms. A picture
// or tile of less than so many times this is decoded on fewer threads than cores.
constexpr uint64_t WorkPerWorker = uint64_t(1) << 17;
constexpr uint64_t WorkPerLibraryThread = uint64_t(1) << 19;
// A picture that one thread decodes, whatever the cores, is decoded by one pass of the library
// on the loading thread, without threads, when the records its decoder keeps of every tile are
// few; else in bands, one after another, that hold the records of their own tiles.
constexpr uint64_t MostTilesInOnePass = 256;

bool SmallTiles(const TDeclaredLayout& layout)
{
    return TileBufferBytes(layout) < SmallTileBytes;
}

// The tiles of the grid written into the bitmap, by their index.
class TWrittenTiles
{
public:
    explicit TWrittenTiles(uint64_t tiles) : FWritten(size_t(tiles)) {}

    void Mark(uint32_t tile)
    {
        FCount += !FWritten[tile];
        FWritten[tile] = true;
    }
    bool Any() const { return FCount > 0; }
    bool All() const { return FCount == FWritten.size(); }
    const std::vector<bool>& Tiles() const { return FWritten; }

private:
    std::vector<bool> FWritten;
    size_t FCount = 0;
};

enum class TWindowRead
{
    Decoded,
    Empty,
    Failed
};

class J2kReader
{
public:
    J2kReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              bool paramsOnly)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FParamsOnly(paramsOnly),
          FCores(CoresOfThisThread())
    {
    }

    void Run()
    {
        const bool jp2 = J2KTryStreamJP2(FStream);
        if (!jp2 && !J2KTryStreamJ2K(FStream)) {
            CodecSetAborting(FProgress);
            return;
        }
        FStart = FStream.Position();
        bool decoded = false;
        // Memory or threads that run out fail the load, here or on a worker.
        try {
            decoded = Decode(jp2);
        } catch (const std::bad_alloc&) {
        } catch (const std::system_error&) {
        }
        if (!decoded) {
            CodecSetAborting(FProgress);
        }
        // The library and the band workers read the stream anywhere: the caller finds it where the
        // picture ends, or, after the headers alone, where it began.
        FStream.SetPosition(FParamsOnly || !FLayoutRead ? FStart : FLayout.PictureEnd);
    }

private:
    // The threads that so much work pays for, at most one a core.
    unsigned ThreadsFor(uint64_t work, uint64_t workPerThread) const
    {
        return unsigned(std::clamp<uint64_t>(work / workPerThread, 1, FCores));
    }

    bool Decode(bool jp2)
    {
        // The library sizes its records by the tile and component counts before it reads a tile:
        // counts past the budget, or that the stream has no room for, are refused first; and so is
        // what the boxes alone decide, the colours and the channels that carry them, which the
        // library would refuse (channel definitions that leave a channel out) only once it had
        // decoded the picture.
        FLayoutRead = ReadDeclaredLayout(FStream, jp2, FLayout);
        std::vector<TPictureChannel> channels;
        uint32_t bits = 0;
        if (!FLayoutRead || !ColourModelOf(FLayout, FColourModel) || !ChannelsOf(FLayout, channels) ||
            !ChooseComponents(channels, FModel, FUsed, bits) || !HeaderWithinBudget(FLayout) ||
            !CanHoldItsTiles(FLayout)) {
            return false;
        }
        // The threads follow the work. A picture too small to pay for a second thread is decoded
        // on the loading thread, by one pass without the library's threads. Larger ones of small
        // tiles are cut into bands before the library reads the headers, which it then reads
        // without the tiles: the library's threads cost more than they gain on many small tiles,
        // in bands or not. A picture of one tile, or of fewer tiles than workers, is decoded on
        // them, as many as the tile's work pays for. A JP2 file's palette takes the windows.
        const uint64_t work =
            PictureSamples(FLayout) + SamplesPerCodedByte * uint64_t(FLayout.PictureEnd - FLayout.CodeStream);
        const bool alone = work < 2 * WorkPerWorker && FLayout.Tiles <= MostTilesInOnePass;
        FWorkers = std::min(ThreadsFor(work, WorkPerWorker), MostWorkers);
        const bool small = SmallTiles(FLayout);
        TTileBands bands;
        const bool banded = !FParamsOnly && !alone && small && !FLayout.Palette &&
                            FLayout.Tiles >= FWorkers && CutIntoBands(bands);
        const std::unique_ptr<TStream> headers = banded ? bands.OpenHeaders() : nullptr;
        FLibraryThreads = !FParamsOnly && (!small || FLayout.Tiles < FWorkers)
                              ? ThreadsFor(work / FLayout.Tiles, WorkPerLibraryThread)
                              : 1;
        TDecoderPass pass;
        if (!OpenPass(banded ? *headers : FStream, jp2, FLibraryThreads, FLayout.Palette, pass) ||
            pass.Header->numcomps != FLayout.Steps.size()) {
            return false;
        }
        const opj_image_t& header = *pass.Header;
        FPicture = {header.x0, header.y0, header.x1, header.y1};
        const int64_t width = int64_t(header.x1) - header.x0, height = int64_t(header.y1) - header.y0;
        if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
            return false;
        }
        FWidth = int32_t(width);
        FHeight = int32_t(height);
        SetParams(bits);
        // The budget bounds what a decode allocates; parameters report any size the header gives.
        if (FParamsOnly) {
            return true;
        }
        if (int64_t(FWidth) * FHeight > KVCodecMaxPixels || !TileRecordsWithinBudget(FLayout)) {
            return false;
        }
        // A stream cut inside a tile-part that runs to the end of code stream marker, or that ends
        // before its last tiles, keeps what it decoded, and fails.
        return DecodePicture(jp2, pass, banded ? &bands : nullptr) && !FLayout.CutShort &&
               !TilesMissing(FLayout);
    }

    bool DecodePicture(bool jp2, TDecoderPass& pass, const TTileBands* bands)
    {
        // The library applies a JP2 file's palette only to a picture, or a window of it, that it
        // decodes whole, all components. Channel definitions alone are applied here.
        if (FLayout.Palette) {
            pass = {};
            return LoadInWindows(jp2, false);
        }
        AllocateBitmap();
        if (TileBufferBytes(FLayout) <= TileBudget) {
            return bands != nullptr ? LoadInBands(*bands) : LoadTiles(pass, !SmallTiles(FLayout));
        }
        // Chosen components come without the multi-component transform: with one, every
        // component is decoded, as it is when every one is used.
        const bool select = !FLayout.ComponentTransform && FUsed.Indexes.size() < pass.Header->numcomps;
        pass = {};
        return LoadInWindows(jp2, select);
    }

    // The colour model and the channels that carry it, by their index in what the library decodes
    // (opacity and unspecified channels are left out), and the first one's precision: grey where
    // fewer than three carry colour. The library decodes the channels of a palette, the
    // components without one.
    bool ChooseComponents(const std::vector<TPictureChannel>& channels, TColourModel& model,
                          TUsedComponents& used, uint32_t& bits) const
    {
        std::vector<int32_t> colour;
        for (size_t i = 0; i < channels.size(); ++i) {
            if (channels[i].Type == 0) {
                colour.push_back(int32_t(i));
            }
        }
        if (colour.empty()) {
            return false;
        }
        model = colour.size() >= 3 ? FColourModel : TColourModel::Grey;
        colour.resize(model == TColourModel::Grey ? 1 : 3);
        for (int32_t c : colour) {
            if (channels[c].Precision < 1 || channels[c].Precision > 31) {
                return false;
            }
        }
        static const TChannel rgb[3] = {TChannel::Red, TChannel::Green, TChannel::Blue};
        static const TChannel ycc[3] = {TChannel::Luma, TChannel::BlueChroma, TChannel::RedChroma};
        bits = channels[colour[0]].Precision;
        const bool bilevel = model == TColourModel::Grey && bits == 1;
        used = {};
        for (size_t i = 0; i < colour.size(); ++i) {
            used.Indexes.push_back(FLayout.Palette ? colour[i] : int32_t(channels[colour[i]].Source));
            used.Channels.push_back(model == TColourModel::Grey
                                        ? (bilevel ? TChannel::Bilevel : TChannel::Grey)
                                    : model == TColourModel::RGB ? rgb[i]
                                                                 : ycc[i]);
        }
        return true;
    }

    void SetParams(uint32_t bits)
    {
        FParams.Width = FWidth;
        FParams.Height = FHeight;
        FParams.BitsPerSample = int32_t(bits);
        FParams.SamplesPerPixel = int32_t(FUsed.Indexes.size());
        FParams.DpiX = Kvview::gSystemDPIX;
        FParams.DpiY = Kvview::gSystemDPIY;
        FParams.FreeColorMap();
        FParams.J2000_ColorSpace = FModel == TColourModel::Grey  ? ioJ2000_GRAYLEV
                                   : FModel == TColourModel::RGB ? ioJ2000_RGB
                                                                 : ioJ2000_YCbCr;
    }

    void AllocateBitmap()
    {
        FBitmap.Allocate(FWidth, FHeight, FUsed.Channels[0] == TChannel::Bilevel ? kv1g : kv24RGB);
    }

    // The steps of the luma and chroma components, by the main header.
    TColourSteps UsedSteps() const
    {
        TColourSteps steps;
        for (size_t i = 0; i < steps.size() && i < FUsed.Indexes.size(); ++i) {
            steps[i] = FLayout.Steps[size_t(FUsed.Indexes[i])];
        }
        return steps;
    }

    // While a decoder makes the loading thread wait, the caller's progress event hears from it
    // without progress: a caller that stops the load from there is heard while a tile, a band or a
    // window decodes, and, once it has, hears no more.
    void ReportWaiting()
    {
        if (!CodecAborted(FProgress)) {
            CodecProgressRows(FProgress, 0);
        }
    }

    void WriteTile(TSampleWriter& writer, const TDecodedTile& tile, TWrittenTiles& written)
    {
        writer.Write(tile.Planes.data(), tile.Planes.size());
        written.Mark(tile.Index);
        CodecProgressRows(FProgress, 1);
    }

    // Pixels whose luma and chroma lie in different tiles turn into RGB once those are in, when
    // the load ends however it ends.
    void FinishTiles(TSampleWriter& writer, const TWrittenTiles& written)
    {
        if (FModel == TColourModel::YCbCr) {
            writer.ConvertTileSeams(FLayout.Across, FLayout.Down, UsedSteps(), written.Tiles());
        }
        writer.Finish();
    }

    // Tile after tile, each straight into the bitmap: the library holds one tile's samples at a
    // time in the buffer it fills, of every component, since its tile calls fail on a tile whose
    // components were chosen (OpenJPEG 2.5.0 reads past their missing buffers). Tiles decoded
    // apart are decoded on a thread of their own while the loading thread writes the one before.
    bool LoadTiles(TDecoderPass& pass, bool apart)
    {
        TSampleWriter writer(FBitmap, FPicture);
        TWrittenTiles written(FLayout.Tiles);
        TDecodedTile tiles[2];
        TTileRead read = TTileRead::Failed;
        TDecoderThread decoding(apart);
        const auto decodeInto = [this, &pass, &read](TDecodedTile& tile) {
            return [this, &pass, &read, &tile] { read = DecodeNextTile(pass, FLayout, FUsed, tile); };
        };
        CodecProgressBegin(FProgress, int64_t(FLayout.Tiles));
        decoding.Start(decodeInto(tiles[0]));
        for (size_t n = 0;; ++n) {
            decoding.Wait([this] { ReportWaiting(); });
            if (read != TTileRead::Decoded || CodecAborted(FProgress)) {
                break;
            }
            decoding.Start(decodeInto(tiles[(n + 1) % 2]));
            WriteTile(writer, tiles[n % 2], written);
        }
        FinishTiles(writer, written);
        if (CodecAborted(FProgress)) {
            return true;
        }
        // A stream whose last tile-part runs to its end, with bytes after its end marker, fails the
        // library's reading after the last tile, or its end: the picture is whole all the same,
        // once every tile is in. The library ends a stream that ends before its last tiles as if
        // it were whole.
        const bool ended = read == TTileRead::End && opj_end_decompress(pass.Codec.get(), pass.Stream.get());
        return written.All() && (ended || FLayout.EndMarker);
    }

    // Bands of small tiles, when the stream's layout lets it be cut into them.
    bool CutIntoBands(TTileBands& bands) const
    {
        const bool cut = bands.Cut(FStream, FStart, FLayout, TileBufferBytes(FLayout), BandBytes,
                                   BandsPerWorker * FWorkers) &&
                         bands.Count() > 1;
        FStream.SetPosition(FStart);
        return cut;
    }

    // The bands decoded on every core, each by a pass of its own without the library's threads,
    // and their tiles written into the bitmap on this thread, which alone reports progress and
    // asks the abort flag.
    bool LoadInBands(const TTileBands& bands)
    {
        TSampleWriter writer(FBitmap, FPicture);
        TWrittenTiles written(FLayout.Tiles);
        CodecProgressBegin(FProgress, int64_t(FLayout.Tiles));
        const TBandWriting writing{
            [this, &writer, &written](TDecodedTile& tile) { WriteTile(writer, tile, written); },
            [this] { ReportWaiting(); }, [this] { return CodecAborted(FProgress); }};
        const auto decode = [this, &bands](size_t band, TDecodedBand& tiles,
                                           const std::function<bool()>& decoded) {
            return DecodeBand(bands, band, tiles, decoded);
        };
        const unsigned workers = unsigned(std::min<size_t>(FWorkers, bands.Count()));
        const bool loaded = DecodeBandsInOrder(bands.Count(), workers, decode, writing);
        FinishTiles(writer, written);
        return loaded && (written.All() || CodecAborted(FProgress));
    }

    // A worker's band: its tiles as they are decoded, and its end.
    bool DecodeBand(const TTileBands& bands, size_t band, TDecodedBand& tiles,
                    const std::function<bool()>& decoded) const
    {
        tiles.resize(bands.TilesIn(band));
        if (tiles.empty()) {
            return true;
        }
        const std::unique_ptr<TStream> stream = bands.Open(band);
        TDecoderPass pass;
        if (!OpenPass(*stream, false, 1, false, pass)) {
            return false;
        }
        for (TDecodedTile& tile : tiles) {
            if (DecodeNextTile(pass, FLayout, FUsed, tile) != TTileRead::Decoded) {
                return false;
            }
            if (!decoded()) {
                return true;
            }
        }
        TDecodedTile past;
        return DecodeNextTile(pass, FLayout, FUsed, past) == TTileRead::End &&
               opj_end_decompress(pass.Codec.get(), pass.Stream.get());
    }

    // Windows of the picture, each decoded by a new pass of the library over the stream, of only
    // the used components when they are chosen, else of every one. A picture of one tile whose
    // components come back as the stream holds them is decoded by one pass, which keeps the
    // tile's records and data from window to window. Each window is decoded on a thread of its
    // own while the loading thread writes the one before into the bitmap.
    bool LoadInWindows(bool jp2, bool select)
    {
        std::vector<size_t> decodedComponents;
        for (size_t c = 0; c < FLayout.Steps.size(); ++c) {
            decodedComponents.push_back(c);
        }
        if (select) {
            decodedComponents.assign(FUsed.Indexes.begin(), FUsed.Indexes.end());
        }
        const std::vector<TPictureArea> windows =
            WindowsFor(FLayout, decodedComponents, FPicture, !FLayout.Palette && FBitmap.Location() != kvFile)
                .Windows();
        const bool onePass = FLayout.Tiles == 1 && !select && !FLayout.Palette;
        TSampleWriter writer(FBitmap, FPicture);
        TDecoderPass pass;
        TWindowSamples samples[2];
        TWindowRead read = TWindowRead::Failed;
        TDecoderThread decoding(windows.size() > 1);
        const auto decodeWindow = [&](size_t n) {
            return [&, n] {
                read = (n > 0 && onePass) || StartPass(jp2, select, pass) ? DecodeWindow(pass, windows[n])
                                                                          : TWindowRead::Failed;
            };
        };
        CodecProgressBegin(FProgress, int64_t(windows.size()));
        decoding.Start(decodeWindow(0));
        for (size_t n = 0; n < windows.size(); ++n) {
            decoding.Wait([this] { ReportWaiting(); });
            if (CodecAborted(FProgress)) {
                break;
            }
            if (!TakeWindow(pass, read, n == 0 && FLayout.Palette, select, samples[n % 2])) {
                return false;
            }
            if (n + 1 < windows.size()) {
                decoding.Start(decodeWindow(n + 1));
            }
            writer.Write(samples[n % 2].Planes.data(), samples[n % 2].Planes.size());
            samples[n % 2] = {};
            CodecProgressRows(FProgress, 1);
        }
        writer.Finish();
        return true;
    }

    bool StartPass(bool jp2, bool select, TDecoderPass& pass)
    {
        pass = {};
        FStream.SetPosition(FStart);
        if (!OpenPass(FStream, jp2, FLibraryThreads, FLayout.Palette, pass)) {
            return false;
        }
        const std::vector<OPJ_UINT32> used = ChosenComponents();
        return !select ||
               opj_set_decoded_components(pass.Codec.get(), OPJ_UINT32(used.size()), used.data(), OPJ_FALSE);
    }

    // The used components in the order of the stream, in which the library decodes chosen ones.
    std::vector<OPJ_UINT32> ChosenComponents() const
    {
        std::vector<OPJ_UINT32> chosen(FUsed.Indexes.begin(), FUsed.Indexes.end());
        std::sort(chosen.begin(), chosen.end());
        chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
        return chosen;
    }

    // Decodes the window. Luma and chroma turn into RGB window by window: a window that starts
    // between two samples of a component is moved to start on one, so that its pixels' samples are
    // its own.
    TWindowRead DecodeWindow(TDecoderPass& pass, const TPictureArea& window) const
    {
        opj_image_t& image = *pass.Header;
        const auto [stepAcross, stepDown] = CommonSteps(image);
        const TPictureArea area = FColourModel == TColourModel::YCbCr
                                      ? OnSampleGrid(window, FPicture, stepAcross, stepDown)
                                      : window;
        if (area.X0 >= area.X1 || area.Y0 >= area.Y1) {
            return TWindowRead::Empty;
        }
        return opj_set_decode_area(pass.Codec.get(), &image, OPJ_INT32(area.X0), OPJ_INT32(area.Y0),
                                   OPJ_INT32(area.X1), OPJ_INT32(area.Y1)) &&
                       opj_decode(pass.Codec.get(), pass.Stream.get(), &image)
                   ? TWindowRead::Decoded
                   : TWindowRead::Failed;
    }

    // Takes the used components' samples of a decoded window over from the library's image. A JP2
    // file's palette chooses the channels and the bitmap with the first window, to which the
    // library has applied it; every later window must agree.
    bool TakeWindow(TDecoderPass& pass, TWindowRead read, bool chooseBitmap, bool select,
                    TWindowSamples& samples)
    {
        samples = {};
        if (read != TWindowRead::Decoded) {
            return read == TWindowRead::Empty && !chooseBitmap;
        }
        opj_image_t& image = *pass.Header;
        if (FLayout.Palette) {
            std::vector<TPictureChannel> channels;
            for (uint32_t c = 0; c < image.numcomps; ++c) {
                channels.push_back({c, image.comps[c].prec, image.comps[c].alpha});
            }
            TColourModel model;
            TUsedComponents used;
            uint32_t bits = 0;
            if (!ChooseComponents(channels, model, used, bits) ||
                (!chooseBitmap && (model != FModel || used != FUsed))) {
                return false;
            }
            if (chooseBitmap) {
                FModel = model;
                FUsed = used;
                SetParams(bits);
                AllocateBitmap();
            }
        }
        const std::vector<OPJ_UINT32> chosen = ChosenComponents();
        for (size_t i = 0; i < FUsed.Indexes.size(); ++i) {
            const size_t index =
                select ? size_t(std::find(chosen.begin(), chosen.end(), OPJ_UINT32(FUsed.Indexes[i])) -
                                chosen.begin())
                       : size_t(FUsed.Indexes[i]);
            if (index >= image.numcomps || image.comps[index].data == nullptr) {
                return false;
            }
            samples.Take(image.comps[index], FUsed.Channels[i]);
        }
        return true;
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool FParamsOnly;
    // The cores the load may spread over, counted once: the library's threads and the band
    // workers. A gallery worker's share of the cores, else every core the process may use.
    unsigned FCores;
    // The library's threads for a decoder of the whole stream, and the band workers.
    unsigned FLibraryThreads = 1;
    unsigned FWorkers = 1;
    int64_t FStart = 0;
    TDeclaredLayout FLayout;
    bool FLayoutRead = false;
    TColourModel FColourModel = TColourModel::RGB;
    TColourModel FModel = TColourModel::RGB;
    TUsedComponents FUsed;
    TPictureArea FPicture;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
};

} // namespace

bool J2KTryStreamJP2(TStream& Stream)
{
    return StartsWith(Stream, JP2Signature, sizeof JP2Signature);
}

bool J2KTryStreamJ2K(TStream& Stream)
{
    return StartsWith(Stream, CodeStreamStart, sizeof CodeStreamStart);
}

void J2KReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   bool ParamsOnly)
{
    J2kReader(Stream, Bitmap, Params, Progress, ParamsOnly).Run();
}

} // namespace Kvj2000
