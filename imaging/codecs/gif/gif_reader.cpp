// Reads one frame of a GIF into a bitmap, counting the frames and gathering the comments of all.
#include "imaging/codecs/gif/gif_blocks.h"
#include "imaging/codecs/gif/gif_row_order.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace Giffilter {

using namespace detail;

namespace {

struct GraphicControl
{
    uint8_t Packed = 0;
    uint16_t Delay = 0;
    uint8_t TransparentIndex = 0;
    bool Transparent() const { return Packed & 1; }
    // Disposal methods 4 to 7 are reserved: treated as none given.
    TKVGifAction Disposal() const
    {
        int method = (Packed >> 2) & 7;
        return method <= 3 ? TKVGifAction(method) : ioGIF_None;
    }
};

// Reads the body of a graphic control extension; a block of another size still yields the
// fields it holds and is skipped to its terminator.
GraphicControl ReadGraphicControl(TStream& stream)
{
    GraphicControl control;
    uint8_t size = 0;
    if (!ReadByte(stream, size))
        return control;
    uint8_t raw[255] = {};
    int64_t got = stream.Read(raw, size);
    if (got >= 4) {
        control.Packed = raw[0];
        control.Delay = uint16_t(raw[1] | (raw[2] << 8));
        control.TransparentIndex = raw[3];
    }
    if (got == size && size != 0)
        SkipSubBlocks(stream);
    return control;
}

bool IsBlackAndWhite(const ColourTable& table)
{
    return table[0] == TRGB{0, 0, 0} && table[1] == TRGB{255, 255, 255};
}

// The frame's index bytes. The allocator hands them out zeroed, so the pages the data never
// reaches are never touched, however large the frame declares itself.
struct FreeIndexes
{
    void operator()(uint8_t* indexes) const noexcept { std::free(indexes); }
};
using IndexBuffer = std::unique_ptr<uint8_t[], FreeIndexes>;

// Calls visit(row, count) for each row the data reached, in the order the data stores them, with
// the number of the row's pixels it gave (fewer for the row where it ended).
template <typename Visit>
void ForEachRowReached(int32_t width, int32_t height, bool interlaced, int64_t pixels, Visit visit)
{
    for (TGifRowOrder rows(height, interlaced); !rows.Done() && pixels > 0; rows.Next()) {
        const auto count = int32_t(std::min<int64_t>(pixels, width));
        visit(rows.Row(), count);
        pixels -= count;
    }
}

// Only the pixels the data reached are converted; the rest of a new bitmap stays black.
void StoreRows(TKVBitmap& bitmap, const uint8_t* indexes, int32_t width, int32_t height, bool interlaced,
               int64_t pixels, const ColourTable& table)
{
    const bool oneBit = bitmap.GetPixelFormat() == kv1g;
    ForEachRowReached(width, height, interlaced, pixels, [&](int32_t y, int32_t count) {
        const uint8_t* src = indexes + size_t(y) * size_t(width);
        uint8_t* row = bitmap.GetScanLine(y);
        if (oneBit) {
            // An index past the two entries is black, as in a colour frame's padded table.
            for (int32_t x = 0; x < count; x++)
                if (src[x] == 1)
                    row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        } else {
            auto* pixel = reinterpret_cast<TRGB*>(row);
            for (int32_t x = 0; x < count; x++)
                pixel[x] = table[src[x]];
        }
    });
}

// Pixels the data reached are opaque unless they hold the transparent index; those it did not
// reach keep the new mask's 0, with no work for each.
void StoreAlpha(TKVMask& mask, const uint8_t* indexes, int32_t width, int32_t height, bool interlaced,
                int64_t pixels, bool transparent, uint8_t transparentIndex)
{
    mask.AllocateBits(width, height, 8);
    const bool whole = pixels >= int64_t(width) * height;
    if (whole) {
        mask.Fill(255);
        if (!transparent)
            return;
    }
    ForEachRowReached(width, height, interlaced, pixels, [&](int32_t y, int32_t count) {
        const uint8_t* src = indexes + size_t(y) * size_t(width);
        uint8_t* row = mask.GetScanLine(y);
        for (int32_t x = 0; x < count; x++)
            if (transparent && src[x] == transparentIndex)
                row[x] = 0;
            else if (!whole)
                row[x] = 255;
    });
    if (whole)
        mask.SyncFull();
}

// What the logical screen gives every frame: its descriptor and the global colour table.
struct GifScreen
{
    ScreenDescriptor Descriptor{};
    ColourTable GlobalTable{};
    // A frame with no table at all reads as an 8-bit frame of the black-padded table.
    int32_t GlobalBits = 8;
    bool IsGif = false;
    // The stream goes on after the tables: a file that ends there holds no frame.
    bool HasBlocks = false;
};

GifScreen ReadScreen(TStream& stream)
{
    GifScreen screen;
    if (!ReadScreenDescriptor(stream, screen.Descriptor) ||
        std::memcmp(screen.Descriptor.Signature, "GIF", 3) != 0)
        return screen;
    screen.IsGif = true;
    if (screen.Descriptor.HasGlobalTable()) {
        screen.GlobalBits = screen.Descriptor.GlobalTableBits();
        ReadColourTable(stream, screen.GlobalBits, screen.GlobalTable);
    }
    screen.HasBlocks = stream.Position() < stream.Size();
    return screen;
}

class FrameReader
{
public:
    // The screen was read from the stream, which stands after it or at a frame's blocks. Frame
    // Params.GIF_ImageIndex is the one decoded.
    FrameReader(TStream& stream, const GifScreen& screen, TKVBitmap& bitmap, TIOParamsVals& params,
                TProgressRec& progress, bool paramsOnly, std::unique_ptr<TKVMask>& alphaMask, bool noAlpha,
                bool& aborting)
        : FStream(stream), FScreen(screen), FBitmap(bitmap), FParams(params), FProgress(progress),
          FParamsOnly(paramsOnly), FAlphaMask(alphaMask), FNoAlpha(noAlpha), FAborting(aborting)
    {
    }

    // Comments are skipped instead of gathered (a caller that has them already).
    void SkipComments() { FGatherComments = false; }
    // Receives where each frame's blocks end, which is where the next frame's begin.
    void RecordFrameEnds(std::vector<int64_t>& ends) { FFrameEnds = &ends; }

    // The whole file after the screen; the number of frames.
    int32_t Run()
    {
        if (!StartFrame())
            return 0;
        const int32_t counter = Walk(0, false);
        // No frame to decode (none at all, or the index is past the last) is a failed read.
        if (counter <= FParams.GIF_ImageIndex || FParams.GIF_ImageIndex < 0)
            FAborting = true;
        return counter;
    }

    // Fills what the screen gives the frame; false (the abort flag set) when there is no frame
    // to read.
    bool StartFrame()
    {
        if (!FScreen.IsGif) {
            FAborting = true;
            return false;
        }
        const ScreenDescriptor& screen = FScreen.Descriptor;
        FParams.GIF_Version.assign(screen.Signature, 6);
        FParams.GIF_WinWidth = screen.Width;
        FParams.GIF_WinHeight = screen.Height;
        FParams.GIF_Ratio = screen.Aspect;
        FParams.DpiX = Kvview::gSystemDPIX;
        FParams.DpiY = Kvview::gSystemDPIY;
        FParams.SamplesPerPixel = 1;
        if (screen.HasGlobalTable())
            FParams.GIF_Background = FScreen.GlobalTable[screen.Background];
        if (!FScreen.HasBlocks) {
            FAborting = true;
            return false;
        }
        return true;
    }

    // Walks the blocks from the stream's position, counter numbering the first frame met, to the
    // trailer or the end of the stream; with stopAfterTarget only up to the decoded frame.
    // Returns the number of the frame after the last one met.
    int32_t Walk(int32_t counter, bool stopAfterTarget)
    {
        GraphicControl control;
        while (!FAborting) {
            uint8_t block = Trailer;
            ReadByte(FStream, block);
            if (block == Trailer)
                break;
            if (block == ExtensionIntroducer) {
                ReadExtension(counter, control);
            } else if (block == ImageSeparator) {
                const bool target = counter == FParams.GIF_ImageIndex;
                bool counts = true;
                const bool goOn = ReadImage(counter, control, counts);
                if (counts) {
                    counter++;
                    if (FFrameEnds != nullptr)
                        FFrameEnds->push_back(FStream.Position());
                }
                if (!goOn || (target && stopAfterTarget))
                    break;
            }
            // Any other byte between blocks is ignored.
        }
        return counter;
    }

private:
    void ReadExtension(int32_t counter, GraphicControl& control)
    {
        uint8_t label = 0;
        if (!ReadByte(FStream, label))
            return;
        if (label == GraphicControlLabel && counter == FParams.GIF_ImageIndex) {
            control = ReadGraphicControl(FStream);
        } else if (label == CommentLabel && FGatherComments) {
            std::string text;
            uint8_t length = 0;
            char buffer[255];
            while (ReadByte(FStream, length) && length != 0) {
                int64_t got = FStream.Read(buffer, length);
                if (got > 0)
                    FParams.GIF_Comments.Add(std::string(buffer, size_t(got)));
                if (got < length)
                    break;
            }
        } else {
            SkipSubBlocks(FStream);
        }
    }

    // False ends the walk (the abort flag tells whether it failed). A frame counts unless it could
    // not be decoded at all; one cut inside its descriptor counts, so that reading it fails and a
    // file cut short never passes for a complete one with fewer frames.
    bool ReadImage(int32_t counter, const GraphicControl& control, bool& counts)
    {
        ImageDescriptor image;
        if (!ReadImageDescriptor(FStream, image)) {
            if (counter == FParams.GIF_ImageIndex)
                FAborting = true;
            return false;
        }
        ColourTable localTable;
        if (image.HasLocalTable())
            ReadColourTable(FStream, image.LocalTableBits(), localTable);
        if (counter != FParams.GIF_ImageIndex) {
            uint8_t codeSize = 0;
            ReadByte(FStream, codeSize);
            SkipSubBlocks(FStream);
            return true;
        }
        Report(FProgress, 30);
        const ColourTable& table = image.HasLocalTable() ? localTable : FScreen.GlobalTable;
        const int32_t tableBits = image.HasLocalTable() ? image.LocalTableBits() : FScreen.GlobalBits;
        const int32_t width = image.Width, height = image.Height;
        FParams.GIF_TranspColor = table[control.TransparentIndex];
        FParams.GIF_XPos = image.Left;
        FParams.GIF_YPos = image.Top;
        FParams.Width = width;
        FParams.Height = height;
        FParams.GIF_DelayTime = control.Delay;
        FParams.GIF_FlagTranspColor = control.Transparent();
        FParams.GIF_Interlaced = image.Interlaced();
        FParams.GIF_Action = control.Disposal();
        FParams.GIF_ActionUnspecified = FParams.GIF_Action == ioGIF_None;

        IndexBuffer indexes;
        int64_t pixels = 0;
        bool decoded = true;
        if (!FParamsOnly) {
            if (width == 0 || height == 0 || int64_t(width) * height > KVCodecMaxPixels) {
                FAborting = true;
                counts = false;
                return false;
            }
            indexes.reset(static_cast<uint8_t*>(std::calloc(size_t(width) * size_t(height), 1)));
            TGIFLZWDecompFunc decompress =
                FParams.GIF_LZWDecompress ? FParams.GIF_LZWDecompress : Korvaneio::DefGIF_LZWDECOMPFUNC;
            if (indexes == nullptr || decompress == nullptr) {
                FAborting = true;
                counts = false;
                return false;
            }
            const int64_t before = FStream.Position();
            pixels = decompress(FStream, height, width, image.Interlaced(), indexes.get());
            // The decoder leaves the stream where it was when it fails: no frame, or data that
            // breaks off, whose rows decoded so far are kept below. Data that gives no pixel at
            // all makes no bitmap or mask: they stay as they were, and memory follows the data.
            decoded = FStream.Position() != before;
            counts = decoded;
            if (pixels <= 0) {
                FAborting = true;
                return false;
            }
            Report(FProgress, 70);
        } else {
            uint8_t codeSize = 0;
            ReadByte(FStream, codeSize);
            SkipSubBlocks(FStream);
        }

        FParams.BitsPerSample = tableBits;
        FParams.AllocColorMap(1 << tableBits);
        std::copy(table.begin(), table.begin() + FParams.ColorMapCount, FParams.ColorMap.get());
        if (FParamsOnly)
            return true;

        const bool interlaced = image.Interlaced();
        const bool whole = decoded && pixels >= int64_t(width) * height;
        FBitmap.Allocate(width, height, tableBits == 1 && IsBlackAndWhite(table) ? kv1g : kv24RGB);
        StoreRows(FBitmap, indexes.get(), width, height, interlaced, pixels, table);
        // A frame without transparency that fails part way needs no mask: its rows not reached
        // stay black and opaque, and a mask of the declared size is never touched.
        if (!FNoAlpha && (whole || control.Transparent())) {
            if (!FAlphaMask)
                FAlphaMask = std::make_unique<TKVMask>();
            StoreAlpha(*FAlphaMask, indexes.get(), width, height, interlaced, pixels, control.Transparent(),
                       control.TransparentIndex);
        } else if (!FNoAlpha) {
            FAlphaMask.reset();
        }
        // Data that ends or breaks before the frame is full fails the read, its rows kept.
        if (!whole) {
            FAborting = true;
            return false;
        }
        return true;
    }

    TStream& FStream;
    const GifScreen& FScreen;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool FParamsOnly;
    std::unique_ptr<TKVMask>& FAlphaMask;
    bool FNoAlpha;
    bool& FAborting;
    bool FGatherComments = true;
    std::vector<int64_t>* FFrameEnds = nullptr;
};

} // namespace

void ReadGifStream(TStream& Stream, TKVBitmap& Bitmap, int32_t& NumImages, TIOParamsVals& Params,
                   TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TKVMask>& AlphaMask, bool NoAlpha)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
    Report(Progress, 0);
    if (aborting)
        return;
    const GifScreen screen = ReadScreen(Stream);
    FrameReader reader(Stream, screen, Bitmap, Params, Progress, ParamsOnly, AlphaMask, NoAlpha, aborting);
    NumImages = reader.Run();
    Params.GIF_ImageCount = NumImages;
    if (!aborting)
        Report(Progress, 100);
}

// The walk that finds the frames decodes none: it skips each frame's data as ReadGifStream skips
// the frames it does not decode, so the frames it finds are those ReadGifStream counts.
struct TGifFrameIndex::TWalk
{
    GifScreen Screen;
    // Where the blocks of each frame begin: after the screen, then after each frame met.
    std::vector<int64_t> Starts;
    // The comments of the whole file, gathered as ReadGifStream gathers them, in a record of the
    // walk's own.
    TIOParamsVals Found;
};

TGifFrameIndex::TGifFrameIndex(TStream& Stream) : FStream(Stream), FWalk(std::make_unique<TWalk>())
{
    FWalk->Screen = ReadScreen(Stream);
    FWalk->Starts.push_back(Stream.Position());
    FWalk->Found.GIF_ImageIndex = -1;
    TKVBitmap unused;
    std::unique_ptr<TKVMask> noMask;
    bool aborting = false;
    TProgressRec silent;
    silent.Aborting = &aborting;
    FrameReader walker(Stream, FWalk->Screen, unused, FWalk->Found, silent, true, noMask, true, aborting);
    walker.RecordFrameEnds(FWalk->Starts);
    if (FWalk->Screen.IsGif && FWalk->Screen.HasBlocks)
        FCount = walker.Walk(0, false);
}

TGifFrameIndex::~TGifFrameIndex() = default;

const TStrings& TGifFrameIndex::Comments() const
{
    return FWalk->Found.GIF_Comments;
}

void TGifFrameIndex::ReadFrame(int32_t Index, TKVBitmap& Bitmap, TIOParamsVals& Params,
                               TProgressRec& Progress, std::unique_ptr<TKVMask>& AlphaMask, bool NoAlpha,
                               bool WithComments)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
    Report(Progress, 0);
    if (aborting)
        return;
    Params.GIF_ImageIndex = Index;
    FrameReader reader(FStream, FWalk->Screen, Bitmap, Params, Progress, false, AlphaMask, NoAlpha, aborting);
    reader.SkipComments();
    if (reader.StartFrame()) {
        if (WithComments)
            Params.GIF_Comments.AddStrings(FWalk->Found.GIF_Comments);
        if (Index >= 0 && Index < FCount) {
            FStream.SetPosition(FWalk->Starts[size_t(Index)]);
            // A stream changed since the walk may no longer reach the frame.
            if (reader.Walk(Index, true) <= Index)
                aborting = true;
        } else {
            aborting = true;
        }
    }
    Params.GIF_ImageCount = FCount;
    if (!aborting)
        Report(Progress, 100);
}

void ReadGif(const std::string& FileName, TKVBitmap& Bitmap, int32_t& NumImages, TIOParamsVals& Params,
             TProgressRec& Progress, std::unique_ptr<TKVMask>& AlphaMask, bool NoAlpha)
{
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    ReadGifStream(stream, Bitmap, NumImages, Params, Progress, false, AlphaMask, NoAlpha);
}

} // namespace Giffilter
