// Reads JP2 files and JPEG 2000 code streams into kv1g or kv24RGB bitmaps.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/codecs/j2k/detail/colour_model.h"
#include "imaging/codecs/j2k/detail/declared_layout.h"
#include "imaging/codecs/j2k/detail/j2k_glue.h"
#include "imaging/codecs/j2k/detail/sample_writer.h"
#include "imaging/codecs/j2k/detail/tile_bands.h"
#include "imaging/codecs/j2k/detail/window_heap.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/system.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <numeric>
#include <thread>
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

// Past these bytes of 32-bit samples a tile is decoded in windows, each of about the second.
// Windows trade time for memory whatever their size: the library decodes a window code-block by
// code-block into buffers of their own and filters them with margins, where a whole tile goes
// straight into its buffer. A 6000 x 4000 colour tile loads in 0.58 s and 412 MB whole; it took
// 0.94 to 1.29 s and 338 to 200 MB in windows of 48 to 8 MB, and 1.03 s and 282 MB in windows of
// 32 MB, which take 0.7 s since each is written while the next decodes.
constexpr uint64_t TileBudget = uint64_t(256) << 20;
constexpr uint64_t WindowBudget = uint64_t(32) << 20;
// Around a window the library keeps every code-block that the window's samples or the wavelet's
// margins reach, at every level, and copies them all again for each window: a block is 64 of its
// level's rows high, 2^n x 64 rows of the picture at level n, so that around a band of few rows of
// a wide picture it keeps several times the band (a band of 42 rows of 65535 RGB pixels with five
// levels keeps 300 MB). Windows are at least this many rows high, as wide as the budget then
// allows: their margins stay below the window itself, and a bitmap kept in a file still has the
// rows of a window in hand at once.
constexpr uint32_t LeastWindowRows = 256;
// Tiles whose buffer passes this are written into the bitmap while the next is decoded.
constexpr uint32_t OverlappedTileBytes = 1 << 20;
// Tiles whose 32-bit samples stay under this are decoded without the library's threads, which
// cost more than they gain on a small tile, in bands of whole tiles of at most the second.
constexpr uint64_t SmallTileBytes = uint64_t(4) << 20;
constexpr uint64_t BandBytes = uint64_t(8) << 20;
// Bands a worker has to pick from, so that none waits long for the last; and the most workers,
// each holding a band or two, which halve the time of one thread at four.
constexpr size_t BandsPerWorker = 4;
constexpr unsigned MostWorkers = 8;

unsigned Cores()
{
    return UsableCores();
}

unsigned Workers()
{
    return std::min(Cores(), MostWorkers);
}

bool SmallTiles(const TDeclaredLayout& layout)
{
    return TileBufferBytes(layout) < SmallTileBytes;
}

enum class TTileRead
{
    Decoded,
    End,
    Failed
};

// One reading of the stream by the library, up to the end of the main header.
struct TDecoderPass
{
    TCodec Codec;
    TLibraryStream Stream;
    TImage Header;
};

bool OpenPass(TStream& stream, bool jp2, bool threads, TDecoderPass& pass)
{
    pass.Codec.reset(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    pass.Stream = MakeLibraryStream(stream, true);
    if (!pass.Codec || !pass.Stream) {
        return false;
    }
    Silence(pass.Codec.get());
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(pass.Codec.get(), &parameters)) {
        return false;
    }
    if (threads && opj_has_thread_support()) {
        opj_codec_set_threads(pass.Codec.get(), int(Cores()));
    }
    opj_image_t* header = nullptr;
    const bool read = opj_read_header(pass.Stream.get(), pass.Codec.get(), &header);
    pass.Header.reset(header);
    return read && pass.Header;
}

uint32_t CeilDiv(uint32_t value, uint32_t step)
{
    return uint32_t((uint64_t(value) + step - 1) / step);
}

// The least common multiple of the components' steps across and down: where every component has
// a sample. Past 256 points (no picture has such steps) windows stay as they are.
std::pair<uint32_t, uint32_t> CommonSteps(const opj_image_t& image)
{
    uint64_t across = 1, down = 1;
    for (uint32_t c = 0; c < image.numcomps && across <= 256 && down <= 256; ++c) {
        across = std::lcm(across, std::max<uint64_t>(image.comps[c].dx, 1));
        down = std::lcm(down, std::max<uint64_t>(image.comps[c].dy, 1));
    }
    return {across <= 256 ? uint32_t(across) : 1, down <= 256 ? uint32_t(down) : 1};
}

// A window's samples of the used components, taken over from the library's image so that they
// outlive the next decode, and their planes.
class TWindowSamples
{
public:
    std::vector<TChannelPlane> Planes;

    void Take(opj_image_comp_t& component, TSamplePlane plane, TChannel channel)
    {
        FData.emplace_back(component.data);
        component.data = nullptr;
        plane.Data = FData.back().get();
        Planes.push_back({plane, channel});
    }

private:
    struct TDataDeleter
    {
        void operator()(OPJ_INT32* data) const { opj_image_data_free(data); }
    };
    std::vector<std::unique_ptr<OPJ_INT32, TDataDeleter>> FData;
};

// Writes a tile or window into the bitmap, on a thread of its own when asked, while the library
// decodes the next into another buffer; one writing at a time, and only the writing touches the
// bitmap. What a writing throws comes out of the next Write or Wait.
class TWriteBehind
{
public:
    void Write(bool apart, std::function<void()> write)
    {
        Wait();
        if (apart) {
            FWriting = std::async(std::launch::async, std::move(write));
        } else {
            write();
        }
    }

    void Wait()
    {
        if (FWriting.valid()) {
            FWriting.get();
        }
    }

private:
    std::future<void> FWriting;
};

class J2kReader
{
public:
    J2kReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              bool paramsOnly)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FParamsOnly(paramsOnly)
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
        if (!Decode(jp2)) {
            CodecSetAborting(FProgress);
        }
        // The library may stop anywhere; the caller finds the stream where the picture began.
        if (FParamsOnly) {
            FStream.SetPosition(FStart);
        }
    }

private:
    bool Decode(bool jp2)
    {
        // The library sizes its records by the tile and component counts before it reads a tile:
        // counts past the budget, or that the stream has no room for, are refused first.
        TDeclaredLayout layout;
        if (!ReadDeclaredLayout(FStream, jp2, layout) || !ColourModelOf(layout, FColourModel) ||
            !HeaderWithinBudget(layout) || !CanHoldItsTiles(layout)) {
            return false;
        }
        // Small tiles are cut into bands before the library reads the headers, which it then reads
        // without the tiles. A JP2 file's colour boxes take the windows.
        TTileBands bands;
        const bool banded = !FParamsOnly && SmallTiles(layout) && !layout.ColourBoxes && Workers() > 1 &&
                            CutIntoBands(jp2, layout, bands);
        const std::unique_ptr<TStream> headers = banded ? bands.OpenHeaders() : nullptr;
        TDecoderPass pass;
        if (!OpenPass(banded ? *headers : FStream, jp2, !FParamsOnly && !SmallTiles(layout), pass) ||
            !ChooseComponents(*pass.Header)) {
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
        SetParams(header);
        // The budget bounds what a decode allocates; parameters report any size the header gives.
        if (FParamsOnly) {
            return true;
        }
        if (int64_t(FWidth) * FHeight > KVCodecMaxPixels || !TileRecordsWithinBudget(layout)) {
            return false;
        }
        // The library applies a JP2 file's palette and channel definitions only to a picture, or
        // a window of it, that it decodes whole, all components; and gives its colour space
        // only then.
        if (layout.ColourBoxes) {
            pass = {};
            return DecodeWindows(jp2, layout, false);
        }
        if (TileBufferBytes(layout) <= TileBudget) {
            AllocateBitmap(header);
            if (banded) {
                return DecodeBands(bands, layout, header);
            }
            return DecodeTiles(pass, layout);
        }
        // Chosen components come without the multi-component transform: with one, every
        // component is decoded, as it is when every one is used.
        const bool select = !layout.ComponentTransform && FUsed.size() < header.numcomps;
        AllocateBitmap(header);
        pass = {};
        return DecodeWindows(jp2, layout, select);
    }

    // The colour model and the components that carry it (alpha components are left out): grey
    // where fewer than three carry colour.
    bool ChooseComponents(const opj_image_t& image)
    {
        std::vector<int32_t> colour;
        for (uint32_t i = 0; i < image.numcomps; ++i) {
            if (image.comps[i].alpha == 0) {
                colour.push_back(int32_t(i));
            }
        }
        if (colour.empty()) {
            return false;
        }
        FModel = colour.size() >= 3 ? FColourModel : TColourModel::Grey;
        FUsed.assign(colour.begin(), colour.begin() + (FModel == TColourModel::Grey ? 1 : 3));
        for (int32_t c : FUsed) {
            const opj_image_comp_t& component = image.comps[c];
            if (component.prec < 1 || component.prec > 31) {
                return false;
            }
        }
        return true;
    }

    TColourSteps UsedSteps(const opj_image_t& image) const
    {
        TColourSteps steps;
        for (size_t i = 0; i < steps.size() && i < FUsed.size(); ++i) {
            const opj_image_comp_t& component = image.comps[FUsed[i]];
            steps[i] = {component.dx, component.dy};
        }
        return steps;
    }

    void SetParams(const opj_image_t& image)
    {
        FParams.Width = FWidth;
        FParams.Height = FHeight;
        FParams.BitsPerSample = int32_t(image.comps[FUsed[0]].prec);
        FParams.SamplesPerPixel = int32_t(FUsed.size());
        FParams.DpiX = Kvview::gSystemDPIX;
        FParams.DpiY = Kvview::gSystemDPIY;
        FParams.FreeColorMap();
        FParams.J2000_ColorSpace = FModel == TColourModel::Grey  ? ioJ2000_GRAYLEV
                                   : FModel == TColourModel::RGB ? ioJ2000_RGB
                                                                 : ioJ2000_YCbCr;
    }

    void AllocateBitmap(const opj_image_t& image)
    {
        FBilevel = FModel == TColourModel::Grey && image.comps[FUsed[0]].prec == 1;
        FBitmap.Allocate(FWidth, FHeight, FBilevel ? kv1g : kv24RGB);
    }

    TChannel ChannelOf(size_t used) const
    {
        static const TChannel rgb[3] = {TChannel::Red, TChannel::Green, TChannel::Blue};
        static const TChannel ycc[3] = {TChannel::Luma, TChannel::BlueChroma, TChannel::RedChroma};
        switch (FModel) {
        case TColourModel::Grey:
            return FBilevel ? TChannel::Bilevel : TChannel::Grey;
        case TColourModel::RGB:
            return rgb[used];
        default:
            return ycc[used];
        }
    }

    // Tile after tile, each straight into the bitmap: the library holds one tile's samples at a
    // time in the buffer it fills, of every component, since its tile calls fail on a tile whose
    // components were chosen (OpenJPEG 2.5.0 reads past their missing buffers).
    bool DecodeTiles(TDecoderPass& pass, const TDeclaredLayout& layout)
    {
        TSampleWriter writer(FBitmap, FPicture);
        // A large tile is written into the bitmap while the library decodes the next one, each in
        // a buffer of its own.
        TDecodedTile tiles[2];
        TWriteBehind writing;
        uint64_t decoded = 0;
        CodecProgressBegin(FProgress, int64_t(layout.Tiles));
        while (!CodecAborted(FProgress)) {
            TDecodedTile& tile = tiles[decoded % 2];
            const TTileRead read = DecodeNextTile(pass, tile);
            if (read == TTileRead::Failed) {
                return false;
            }
            if (read == TTileRead::End) {
                break;
            }
            writing.Write(tile.Size >= OverlappedTileBytes,
                          [&writer, &tile] { writer.Write(tile.Planes.data(), tile.Planes.size()); });
            ++decoded;
            CodecProgressRows(FProgress, 1);
        }
        writing.Wait();
        if (CodecAborted(FProgress)) {
            return true;
        }
        if (!opj_end_decompress(pass.Codec.get(), pass.Stream.get()) || decoded == 0) {
            return false;
        }
        if (FModel == TColourModel::YCbCr) {
            writer.ConvertTileSeams(layout.Across, layout.Down, UsedSteps(*pass.Header));
        }
        writer.Finish();
        return true;
    }

    // The next tile of the pass, decoded into the tile's buffer, with the used components' planes
    // in it.
    TTileRead DecodeNextTile(TDecoderPass& pass, TDecodedTile& tile) const
    {
        OPJ_UINT32 index = 0, bytes = 0, components = 0;
        OPJ_INT32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        OPJ_BOOL more = OPJ_FALSE;
        if (!opj_read_tile_header(pass.Codec.get(), pass.Stream.get(), &index, &bytes, &x0, &y0, &x1, &y1,
                                  &components, &more)) {
            return TTileRead::Failed;
        }
        if (!more) {
            return TTileRead::End;
        }
        const opj_image_t& header = *pass.Header;
        if (components != header.numcomps ||
            !TilePlanes(header, {uint32_t(x0), uint32_t(y0), uint32_t(x1), uint32_t(y1)}, bytes,
                        tile.Planes)) {
            return TTileRead::Failed;
        }
        if (bytes > tile.Capacity) {
            tile.Bytes = std::make_unique_for_overwrite<uint8_t[]>(bytes);
            tile.Capacity = bytes;
        }
        tile.Size = bytes;
        if (!opj_decode_tile_data(pass.Codec.get(), index, tile.Bytes.get(), bytes, pass.Stream.get())) {
            return TTileRead::Failed;
        }
        for (TChannelPlane& plane : tile.Planes) {
            plane.Plane.Data = tile.Bytes.get() + reinterpret_cast<uintptr_t>(plane.Plane.Data);
        }
        return TTileRead::Decoded;
    }

    // Bands of small tiles, when the stream's layout lets it be cut into them.
    bool CutIntoBands(bool jp2, const TDeclaredLayout& layout, TTileBands& bands) const
    {
        const bool cut = bands.Index(FStream, jp2, FStart, TileBufferBytes(layout), BandBytes,
                                     BandsPerWorker * Workers()) &&
                         bands.Count() > 1 && bands.TileCount() == layout.Tiles;
        FStream.SetPosition(FStart);
        return cut;
    }

    // The bands decoded on every core, each by a pass of its own without the library's threads,
    // and written into the bitmap on this thread, which alone reports progress and asks the abort
    // flag.
    bool DecodeBands(const TTileBands& bands, const TDeclaredLayout& layout, const opj_image_t& header)
    {
        TSampleWriter writer(FBitmap, FPicture);
        CodecProgressBegin(FProgress, int64_t(bands.TileCount()));
        const auto decode = [this, &bands](size_t band, TDecodedBand& tiles) {
            return DecodeBand(bands, band, tiles);
        };
        const auto write = [this, &writer](TDecodedBand& tiles) {
            for (const TDecodedTile& tile : tiles) {
                if (CodecAborted(FProgress)) {
                    return;
                }
                writer.Write(tile.Planes.data(), tile.Planes.size());
                CodecProgressRows(FProgress, 1);
            }
        };
        const unsigned workers = unsigned(std::min<size_t>(Workers(), bands.Count()));
        if (!detail::DecodeBands(bands.Count(), workers, decode, write,
                                 [this] { return CodecAborted(FProgress); })) {
            return false;
        }
        if (!CodecAborted(FProgress)) {
            if (FModel == TColourModel::YCbCr) {
                writer.ConvertTileSeams(layout.Across, layout.Down, UsedSteps(header));
            }
            writer.Finish();
        }
        return true;
    }

    bool DecodeBand(const TTileBands& bands, size_t band, TDecodedBand& tiles) const
    {
        const std::unique_ptr<TStream> stream = bands.Open(band);
        TDecoderPass pass;
        if (!OpenPass(*stream, false, false, pass)) {
            return false;
        }
        tiles.resize(bands.TilesIn(band));
        for (TDecodedTile& tile : tiles) {
            if (DecodeNextTile(pass, tile) != TTileRead::Decoded) {
                return false;
            }
        }
        TDecodedTile past;
        return DecodeNextTile(pass, past) == TTileRead::End &&
               opj_end_decompress(pass.Codec.get(), pass.Stream.get());
    }

    // The used components' planes in a tile's buffer, which holds every component's samples in
    // turn; their Data are offsets into it. False when the buffer is not their size.
    bool TilePlanes(const opj_image_t& header, const TPictureArea& tile, uint32_t bytes,
                    std::vector<TChannelPlane>& planes) const
    {
        std::vector<TSamplePlane> all(header.numcomps);
        uint64_t offset = 0;
        for (uint32_t c = 0; c < header.numcomps; ++c) {
            const opj_image_comp_t& component = header.comps[c];
            const uint32_t dx = std::max(component.dx, 1u), dy = std::max(component.dy, 1u);
            TSamplePlane& plane = all[c];
            plane.X0 = CeilDiv(tile.X0, dx);
            plane.Y0 = CeilDiv(tile.Y0, dy);
            plane.Width = CeilDiv(tile.X1, dx) - plane.X0;
            plane.Height = CeilDiv(tile.Y1, dy) - plane.Y0;
            plane.StepX = dx;
            plane.StepY = dy;
            plane.Precision = component.prec;
            plane.Signed = component.sgnd != 0;
            plane.BytesPerSample = TileSampleBytes(component.prec);
            plane.Data = reinterpret_cast<const void*>(uintptr_t(offset));
            offset += uint64_t(plane.Width) * plane.Height * plane.BytesPerSample;
        }
        if (offset != bytes) {
            return false;
        }
        planes.clear();
        for (size_t i = 0; i < FUsed.size(); ++i) {
            planes.push_back({all[size_t(FUsed[i])], ChannelOf(i)});
        }
        return true;
    }

    // Windows of the picture, each decoded by a new pass of the library over the stream, of only
    // the used components when they are chosen, else of every one. A picture of one tile whose
    // components come back as the stream holds them is decoded by one pass, which keeps the
    // tile's records and data from window to window. Each window is written into the bitmap while
    // the library decodes the next, from the samples taken over from the library's image.
    bool DecodeWindows(bool jp2, const TDeclaredLayout& layout, bool select)
    {
        const TWindowGrid grid =
            WindowsFor(layout, select, !layout.ColourBoxes && FBitmap.Location() != kvFile);
        const bool onePass = layout.Tiles == 1 && !select && !layout.ColourBoxes;
        const bool manyWindows = grid.Count() > 1;
        const TWindowHeap heap(manyWindows);
        TSampleWriter writer(FBitmap, FPicture);
        TDecoderPass pass;
        TWindowSamples windows[2];
        TWriteBehind writing;
        CodecProgressBegin(FProgress, int64_t(grid.Count()));
        uint64_t decoded = 0;
        for (uint32_t y = FPicture.Y0; y < FPicture.Y1 && !CodecAborted(FProgress); y = grid.NextRow(y)) {
            for (uint32_t x = FPicture.X0; x < FPicture.X1 && !CodecAborted(FProgress);
                 x = grid.NextColumn(x)) {
                const TPictureArea window{x, y, grid.NextColumn(x), grid.NextRow(y)};
                TWindowSamples& samples = windows[decoded % 2];
                if (((decoded == 0 || !onePass) && !StartPass(jp2, select, pass)) ||
                    !DecodeWindow(pass, window, select, decoded == 0 && layout.ColourBoxes, samples)) {
                    writing.Wait();
                    return false;
                }
                writing.Write(manyWindows, [&writer, &samples] {
                    writer.Write(samples.Planes.data(), samples.Planes.size());
                    samples = {};
                });
                ++decoded;
                CodecProgressRows(FProgress, 1);
            }
        }
        writing.Wait();
        writer.Finish();
        return true;
    }

    bool StartPass(bool jp2, bool select, TDecoderPass& pass)
    {
        pass = {};
        FStream.SetPosition(FStart);
        if (!OpenPass(FStream, jp2, true, pass)) {
            return false;
        }
        std::vector<OPJ_UINT32> used(FUsed.begin(), FUsed.end());
        return !select ||
               opj_set_decoded_components(pass.Codec.get(), OPJ_UINT32(used.size()), used.data(), OPJ_FALSE);
    }

    // Decodes the window and takes the used components' samples over from the library's image.
    // A JP2 file's colour boxes choose the components and the bitmap with the first window, to
    // which the library has applied them; every later window must agree.
    bool DecodeWindow(TDecoderPass& pass, const TPictureArea& window, bool select, bool chooseBitmap,
                      TWindowSamples& samples)
    {
        opj_image_t& image = *pass.Header;
        // Luma and chroma turn into RGB window by window: a window that starts between two
        // samples of a component is moved to start on one, so that its pixels' samples are its own.
        const auto [stepAcross, stepDown] = CommonSteps(image);
        const TPictureArea area = FColourModel == TColourModel::YCbCr
                                      ? OnSampleGrid(window, FPicture, stepAcross, stepDown)
                                      : window;
        samples = {};
        if (area.X0 >= area.X1 || area.Y0 >= area.Y1) {
            return !chooseBitmap;
        }
        if (!opj_set_decode_area(pass.Codec.get(), &image, OPJ_INT32(area.X0), OPJ_INT32(area.Y0),
                                 OPJ_INT32(area.X1), OPJ_INT32(area.Y1)) ||
            !opj_decode(pass.Codec.get(), pass.Stream.get(), &image)) {
            return false;
        }
        if (!select) {
            const TColourModel model = FModel;
            const std::vector<int32_t> chosen = FUsed;
            if (!ChooseComponents(image) || (!chooseBitmap && (model != FModel || chosen != FUsed))) {
                return false;
            }
            if (chooseBitmap) {
                SetParams(image);
                AllocateBitmap(image);
            }
        }
        for (size_t i = 0; i < FUsed.size(); ++i) {
            opj_image_comp_t& component = image.comps[select ? i : size_t(FUsed[i])];
            if (component.data == nullptr) {
                return false;
            }
            TSamplePlane plane;
            plane.BytesPerSample = sizeof(OPJ_INT32);
            plane.Signed = component.sgnd != 0;
            plane.Precision = component.prec;
            plane.X0 = component.x0;
            plane.Y0 = component.y0;
            plane.Width = component.w;
            plane.Height = component.h;
            plane.StepX = component.dx;
            plane.StepY = component.dy;
            samples.Take(component, plane, ChannelOf(i));
        }
        return true;
    }

    // Where the windows end: bands of whole rows of tiles where the budget holds some, else bands
    // of rows, else windows of rows and parts of them; within a band, runs of whole tiles where
    // the budget holds some.
    struct TWindowGrid
    {
        TPictureArea Picture;
        TGridAxis Across;
        TGridAxis Down;
        uint32_t Rows = 1;
        uint32_t Columns = 1;

        uint32_t NextRow(uint32_t y) const { return Next(y, Rows, Down, Picture.Y1); }
        uint32_t NextColumn(uint32_t x) const { return Next(x, Columns, Across, Picture.X1); }

        uint64_t Count() const
        {
            uint64_t rows = 0, columns = 0;
            for (uint32_t y = Picture.Y0; y < Picture.Y1; y = NextRow(y)) {
                ++rows;
            }
            for (uint32_t x = Picture.X0; x < Picture.X1; x = NextColumn(x)) {
                ++columns;
            }
            return rows * columns;
        }

    private:
        static uint32_t Next(uint32_t at, uint32_t length, const TGridAxis& tiles, uint32_t end)
        {
            uint64_t next = uint64_t(at) + length;
            if (next >= end) {
                return end;
            }
            if (tiles.TileSize > 0 && length >= tiles.TileSize && at >= tiles.TileStart) {
                next = tiles.TileStart + (next - tiles.TileStart) / tiles.TileSize * tiles.TileSize;
            }
            return uint32_t(next);
        }
    };

    // Bands of whole rows where the budget gives them LeastWindowRows rows or more. A wider
    // picture is cut across as well, into windows that the library decodes in the fewest rows of
    // windows, which keeps the code-blocks that windows of a row share from one to the next and
    // decodes those that rows of windows share again: in memory, windows as tall as the picture,
    // or as tall as the budget allows at LeastWindowRows columns; in a file, which the bitmap
    // takes a row at a time, windows of LeastWindowRows rows, whose rows it keeps in hand across
    // the row of windows. Where the bitmap will be is not known before a JP2 file's colour boxes
    // have chosen it: those of a file.
    TWindowGrid WindowsFor(const TDeclaredLayout& layout, bool select, bool inMemory) const
    {
        std::vector<size_t> decoded;
        for (size_t c = 0; c < layout.Steps.size(); ++c) {
            decoded.push_back(c);
        }
        if (select) {
            decoded.assign(FUsed.begin(), FUsed.end());
        }
        // The library's bytes for a point of the picture, every decoded component at 32 bits.
        double pointBytes = 0;
        for (size_t c : decoded) {
            const auto [across, down] = layout.Steps[c];
            pointBytes += 4.0 / std::max<uint32_t>(across, 1) / std::max<uint32_t>(down, 1);
        }
        const double points = double(WindowBudget) / std::max(pointBytes, 1e-9);
        double rows = points / FWidth;
        if (rows < LeastWindowRows) {
            rows = inMemory ? std::max<double>(points / LeastWindowRows, LeastWindowRows) : LeastWindowRows;
        }
        TWindowGrid grid{FPicture, layout.Across, layout.Down};
        grid.Rows = uint32_t(std::min<double>(rows, FHeight));
        grid.Columns = uint32_t(std::clamp<double>(points / grid.Rows, 1, FWidth));
        return grid;
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool FParamsOnly;
    int64_t FStart = 0;
    TColourModel FColourModel = TColourModel::RGB;
    TColourModel FModel = TColourModel::RGB;
    bool FBilevel = false;
    std::vector<int32_t> FUsed;
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
