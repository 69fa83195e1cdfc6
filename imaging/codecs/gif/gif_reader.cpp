// Reads one frame of a GIF into a bitmap, counting the frames and gathering the comments of all.
#include "imaging/codecs/gif/gif_blocks.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
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
    // Disposal methods 4 to 7 are reserved: treated as none.
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

void StoreRows(TKVBitmap& bitmap, const std::vector<uint8_t>& indexes, int32_t width, int32_t height,
               const ColourTable& table)
{
    const bool oneBit = bitmap.GetPixelFormat() == kv1g;
    const int32_t rowLen = bitmap.GetRowLen();
    for (int32_t y = 0; y < height; y++) {
        const uint8_t* src = indexes.data() + size_t(y) * size_t(width);
        uint8_t* row = bitmap.GetScanLine(y);
        if (oneBit) {
            std::memset(row, 0, size_t(rowLen));
            for (int32_t x = 0; x < width; x++)
                if (src[x] & 1)
                    row[x >> 3] |= uint8_t(0x80 >> (x & 7));
        } else {
            auto* pixel = reinterpret_cast<TRGB*>(row);
            for (int32_t x = 0; x < width; x++)
                pixel[x] = table[src[x]];
        }
    }
}

void StoreAlpha(TKVMask& mask, const std::vector<uint8_t>& indexes, int32_t width, int32_t height,
                bool transparent, uint8_t transparentIndex)
{
    mask.AllocateBits(width, height, 8);
    mask.Fill(255);
    if (!transparent)
        return;
    for (int32_t y = 0; y < height; y++) {
        const uint8_t* src = indexes.data() + size_t(y) * size_t(width);
        uint8_t* row = mask.GetScanLine(y);
        for (int32_t x = 0; x < width; x++)
            if (src[x] == transparentIndex)
                row[x] = 0;
    }
    mask.SyncFull();
}

class FrameReader
{
public:
    FrameReader(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                bool paramsOnly, std::unique_ptr<TKVMask>& alphaMask, bool noAlpha, bool& aborting)
        : FStream(stream), FBitmap(bitmap), FParams(params), FProgress(progress), FParamsOnly(paramsOnly),
          FAlphaMask(alphaMask), FNoAlpha(noAlpha), FAborting(aborting)
    {
    }

    int32_t Run()
    {
        if (!ReadHeader())
            return 0;
        int32_t counter = 0;
        GraphicControl control;
        while (!FAborting) {
            uint8_t block = Trailer;
            ReadByte(FStream, block);
            if (block == Trailer)
                break;
            if (block == ExtensionIntroducer) {
                ReadExtension(counter, control);
            } else if (block == ImageSeparator) {
                if (!ReadImage(counter, control))
                    break;
                counter++;
            }
            // Any other byte between blocks is ignored.
        }
        // No frame to decode (none at all, or the index is past the last) is a failed read.
        if (counter <= FParams.GIF_ImageIndex || FParams.GIF_ImageIndex < 0)
            FAborting = true;
        return counter;
    }

private:
    bool ReadHeader()
    {
        ScreenDescriptor screen;
        if (!ReadScreenDescriptor(FStream, screen) || std::memcmp(screen.Signature, "GIF", 3) != 0) {
            FAborting = true;
            return false;
        }
        FParams.GIF_Version.assign(screen.Signature, 6);
        FParams.GIF_WinWidth = screen.Width;
        FParams.GIF_WinHeight = screen.Height;
        FParams.GIF_Ratio = screen.Aspect;
        FParams.DpiX = Kvview::gSystemDPIX;
        FParams.DpiY = Kvview::gSystemDPIY;
        FParams.SamplesPerPixel = 1;
        FGlobalTable.fill(TRGB{});
        if (screen.HasGlobalTable()) {
            FGlobalBits = screen.GlobalTableBits();
            ReadColourTable(FStream, FGlobalBits, FGlobalTable);
            FParams.GIF_Background = FGlobalTable[screen.Background];
        }
        if (FStream.Position() >= FStream.Size()) {
            FAborting = true;
            return false;
        }
        return true;
    }

    void ReadExtension(int32_t counter, GraphicControl& control)
    {
        uint8_t label = 0;
        if (!ReadByte(FStream, label))
            return;
        if (label == GraphicControlLabel && counter == FParams.GIF_ImageIndex) {
            control = ReadGraphicControl(FStream);
        } else if (label == CommentLabel) {
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

    // False ends the walk (the abort flag tells whether it failed).
    bool ReadImage(int32_t counter, const GraphicControl& control)
    {
        ImageDescriptor image;
        if (!ReadImageDescriptor(FStream, image))
            return false;
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
        const ColourTable& table = image.HasLocalTable() ? localTable : FGlobalTable;
        const int32_t tableBits = image.HasLocalTable() ? image.LocalTableBits() : FGlobalBits;
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

        std::vector<uint8_t> indexes;
        if (!FParamsOnly) {
            if (width == 0 || height == 0 || int64_t(width) * height > KVCodecMaxPixels) {
                FAborting = true;
                return false;
            }
            // Cleared first: data that ends early leaves index 0, never uninitialised memory.
            indexes.assign(size_t(width) * size_t(height), 0);
            TGIFLZWDecompFunc decompress =
                FParams.GIF_LZWDecompress ? FParams.GIF_LZWDecompress : Korvaneio::DefGIF_LZWDECOMPFUNC;
            int64_t before = FStream.Position();
            if (decompress != nullptr)
                decompress(FStream, height, width, image.Interlaced(), indexes.data());
            if (decompress == nullptr || FStream.Position() == before) {
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

        FBitmap.Allocate(width, height, tableBits == 1 && IsBlackAndWhite(table) ? kv1g : kv24RGB);
        StoreRows(FBitmap, indexes, width, height, table);
        if (!FNoAlpha) {
            if (!FAlphaMask)
                FAlphaMask = std::make_unique<TKVMask>();
            StoreAlpha(*FAlphaMask, indexes, width, height, control.Transparent(), control.TransparentIndex);
        }
        return true;
    }

    TStream& FStream;
    TKVBitmap& FBitmap;
    TIOParamsVals& FParams;
    TProgressRec& FProgress;
    bool FParamsOnly;
    std::unique_ptr<TKVMask>& FAlphaMask;
    bool FNoAlpha;
    bool& FAborting;
    ColourTable FGlobalTable;
    // A frame with no table at all reads as an 8-bit frame of the black-padded table.
    int32_t FGlobalBits = 8;
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
    FrameReader reader(Stream, Bitmap, Params, Progress, ParamsOnly, AlphaMask, NoAlpha, aborting);
    NumImages = reader.Run();
    Params.GIF_ImageCount = NumImages;
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
