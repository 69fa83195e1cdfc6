// Frame editing of GIF files: inserting and deleting frames, and the looping extension.
#include "imaging/codecs/gif/gif_blocks.h"
#include "imaging/codecs/gif/gif_frame_builder.h"
#include "imaging/codecs/gif/giffilter.h"

#include "imaging/codecs/detail/codec_file.h"
#include "imaging/codecs/params/ioparams.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace Giffilter {

using namespace detail;

namespace {

const char LoopIdentifier[] = "NETSCAPE2.0";

bool ReadGifHeader(TStream& source, ScreenDescriptor& screen)
{
    return ReadScreenDescriptor(source, screen) && std::memcmp(screen.Signature, "GIF", 3) == 0;
}

uint16_t ScreenSide(int32_t value)
{
    return uint16_t(std::clamp<int32_t>(value, 0, 0xFFFF));
}

// Edited files are GIF89a, whatever they were.
void WriteGifHeader(TStream& out, bool& aborting, const ScreenDescriptor& screen)
{
    Put(out, aborting, "GIF89a", 6);
    PutWord(out, aborting, screen.Width);
    PutWord(out, aborting, screen.Height);
    PutByte(out, aborting, screen.Packed);
    PutByte(out, aborting, screen.Background);
    PutByte(out, aborting, screen.Aspect);
}

// Reads the screen descriptor and copies it into out; false when the source is not a GIF.
bool CopyHeader(TStream& source, TStream& out, bool& aborting, ScreenDescriptor& screen)
{
    if (!ReadGifHeader(source, screen))
        return false;
    WriteGifHeader(out, aborting, screen);
    return true;
}

void CopyGlobalTable(TStream& source, TStream& out, bool& aborting, const ScreenDescriptor& screen)
{
    if (!screen.HasGlobalTable())
        return;
    uint8_t raw[256 * 3];
    int64_t got = source.Read(raw, 3 << screen.GlobalTableBits());
    Put(out, aborting, raw, std::max<int64_t>(got, 0));
}

// Copies an image descriptor (already read), its local table and its data; false when the
// source ends inside it.
bool CopyImage(TStream& source, TStream& out, bool& aborting, const ImageDescriptor& image)
{
    PutByte(out, aborting, ImageSeparator);
    PutWord(out, aborting, image.Left);
    PutWord(out, aborting, image.Top);
    PutWord(out, aborting, image.Width);
    PutWord(out, aborting, image.Height);
    PutByte(out, aborting, image.Packed);
    if (image.HasLocalTable()) {
        uint8_t raw[256 * 3];
        int64_t got = source.Read(raw, 3 << image.LocalTableBits());
        Put(out, aborting, raw, std::max<int64_t>(got, 0));
    }
    uint8_t codeSize = 0;
    if (!ReadByte(source, codeSize))
        return false;
    PutByte(out, aborting, codeSize);
    return CopySubBlocks(source, out, aborting);
}

void SkipImage(TStream& source, const ImageDescriptor& image)
{
    if (image.HasLocalTable())
        source.Seek(3 << image.LocalTableBits(), soCurrent);
    uint8_t codeSize = 0;
    ReadByte(source, codeSize);
    SkipSubBlocks(source);
}

enum class BlockAction
{
    Copy,
    Drop,
    Stop
};
enum class CopyEnd
{
    Trailer,
    CutInImage,
    Stopped
};

// Copies the blocks that follow the header and tables up to the trailer, asking before each
// graphic control extension and each image whether to copy it, drop it or stop.
CopyEnd CopyBlocks(TStream& source, TStream& out, bool& aborting,
                   const std::function<BlockAction()>& graphicControl,
                   const std::function<BlockAction()>& image)
{
    for (;;) {
        uint8_t block = Trailer;
        ReadByte(source, block);
        if (block == Trailer)
            return CopyEnd::Trailer;
        if (block == ExtensionIntroducer) {
            uint8_t label = 0;
            if (!ReadByte(source, label))
                return CopyEnd::Trailer;
            BlockAction action = label == GraphicControlLabel ? graphicControl() : BlockAction::Copy;
            if (action == BlockAction::Stop)
                return CopyEnd::Stopped;
            if (action == BlockAction::Drop) {
                SkipSubBlocks(source);
                continue;
            }
            PutByte(out, aborting, ExtensionIntroducer);
            PutByte(out, aborting, label);
            if (!CopySubBlocks(source, out, aborting))
                return CopyEnd::Trailer;
        } else if (block == ImageSeparator) {
            ImageDescriptor descriptor;
            if (!ReadImageDescriptor(source, descriptor))
                return CopyEnd::Trailer;
            BlockAction action = image();
            if (action == BlockAction::Stop)
                return CopyEnd::Stopped;
            if (action == BlockAction::Drop)
                SkipImage(source, descriptor);
            else if (!CopyImage(source, out, aborting, descriptor))
                return CopyEnd::CutInImage;
        }
        // Any other byte between blocks is dropped.
    }
}

void ReplaceContent(TStream& stream, int64_t start, TMemoryStream& content, bool& aborting)
{
    stream.SetPosition(start);
    Put(stream, aborting, content.Memory(), content.Size());
    stream.SetSize(start + content.Size());
}

} // namespace

int32_t _InsertGifImStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
    const int64_t start = Stream.Position();
    TMemoryStream out;
    ScreenDescriptor screen;
    if (!CopyHeader(Stream, out, aborting, screen)) {
        // Not a GIF: nothing changed, and the caller must learn that nothing was inserted.
        Stream.SetPosition(start);
        aborting = true;
        return 0;
    }
    CopyGlobalTable(Stream, out, aborting, screen);
    GifFrame frame;
    if (!BuildFrame(Bitmap, Params, true, frame)) {
        Stream.SetPosition(start);
        aborting = true;
        return 0;
    }

    int32_t counter = 0;
    bool inserted = false;
    // The new frame goes before the graphic control extension or the image of the frame it
    // displaces, or before the trailer when it comes last.
    auto insertHere = [&]() -> bool {
        if (inserted || counter != Params.GIF_ImageIndex)
            return true;
        WriteGraphicControl(out, aborting, Params, frame);
        if (!WriteImage(out, aborting, Params, frame, true, Progress))
            return false;
        inserted = true;
        return true;
    };
    CopyEnd end = CopyBlocks(
        Stream, out, aborting, [&] { return insertHere() ? BlockAction::Copy : BlockAction::Stop; },
        [&] {
            if (!insertHere())
                return BlockAction::Stop;
            counter++;
            return BlockAction::Copy;
        });
    if (end == CopyEnd::Stopped)
        return 0;
    if (!insertHere())
        return 0;
    PutByte(out, aborting, Trailer);
    if (inserted) {
        counter++;
        ReplaceContent(Stream, start, out, aborting);
    }
    if (!aborting)
        Report(Progress, 100);
    return counter;
}

bool _AppendGifImStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting ? *Progress.Aborting : localAbort;
    const int64_t end = Stream.Position();
    uint8_t last = 0;
    if (end > 0) {
        Stream.SetPosition(end - 1);
        ReadByte(Stream, last);
        Stream.SetPosition(end);
    }
    GifFrame frame;
    if (last != Trailer || !BuildFrame(Bitmap, Params, true, frame)) {
        aborting = true;
        return false;
    }
    // The frame's blocks are made aside, so that a frame that cannot be encoded leaves the file
    // as it was.
    TMemoryStream blocks;
    WriteGraphicControl(blocks, aborting, Params, frame);
    if (!WriteImage(blocks, aborting, Params, frame, true, Progress))
        return false;
    PutByte(blocks, aborting, Trailer);
    ReplaceContent(Stream, end - 1, blocks, aborting);
    if (!aborting)
        Report(Progress, 100);
    return true;
}

int32_t _InsertGifIm(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params,
                     TProgressRec& Progress)
{
    // The file gets its new frame in memory, and replaces the old file only when complete.
    TMemoryStream content;
    content.LoadFromFile(FileName);
    int32_t frames = 0;
    Codecs::detail::WriteCodecFile(FileName, Progress, [&](TStream& stream, TProgressRec& progress) {
        frames = _InsertGifImStream(content, Bitmap, Params, progress);
        if (!*progress.Aborting)
            Put(stream, *progress.Aborting, content.Memory(), content.Size());
    });
    return frames;
}

int32_t _DeleteGifImStream(TStream& Source, TStream& Output, int32_t Index)
{
    TMemoryStream out;
    bool aborting = false;
    ScreenDescriptor screen;
    if (!CopyHeader(Source, out, aborting, screen))
        return 0;
    CopyGlobalTable(Source, out, aborting, screen);
    // Frames are numbered by their place in the source, so that dropping one does not shift the
    // numbers of those after it.
    int32_t frameNumber = 0, copied = 0;
    CopyEnd end = CopyBlocks(
        Source, out, aborting, [&] { return frameNumber == Index ? BlockAction::Drop : BlockAction::Copy; },
        [&] {
            if (frameNumber++ == Index)
                return BlockAction::Drop;
            copied++;
            return BlockAction::Copy;
        });
    // Image data cut by the end of the file ends the copy without a trailer.
    if (end != CopyEnd::CutInImage)
        PutByte(out, aborting, Trailer);
    Output.WriteBuffer(out.Memory(), out.Size());
    return copied;
}

int32_t _DeleteGifIm(const std::string& FileName, int32_t Index, bool Save)
{
    TMemoryStream source;
    source.LoadFromFile(FileName);
    TMemoryStream out;
    const int32_t copied = _DeleteGifImStream(source, out, Index);
    if (Save && out.Size() > 0) {
        out.SaveToFile(FileName);
    }
    return copied;
}

bool _CheckGifAnimate(const std::string& FileName)
{
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    ScreenDescriptor screen;
    if (!ReadGifHeader(file, screen))
        return false;
    if (screen.HasGlobalTable())
        file.Seek(3 << screen.GlobalTableBits(), soCurrent);
    uint8_t raw[3 + 11];
    if (file.Read(raw, sizeof raw) != int64_t(sizeof raw))
        return false;
    return raw[0] == ExtensionIntroducer && raw[1] == ApplicationLabel && raw[2] == 11 &&
           std::memcmp(raw + 3, LoopIdentifier, 11) == 0;
}

bool _GifMakeAnimateStream(TStream& Source, TStream& Output, uint16_t LoopCount, int32_t Width,
                           int32_t Height)
{
    TMemoryStream source;
    source.CopyFrom(Source, 0);
    source.SetPosition(0);
    TMemoryStream out;
    bool aborting = false;
    ScreenDescriptor screen;
    if (!ReadGifHeader(source, screen))
        return false;
    screen.Width = ScreenSide(Width);
    screen.Height = ScreenSide(Height);
    WriteGifHeader(out, aborting, screen);
    CopyGlobalTable(source, out, aborting, screen);

    const int64_t rest = source.Position();
    uint8_t existing[19];
    if (source.Read(existing, 19) == 19 && existing[0] == ExtensionIntroducer &&
        existing[1] == ApplicationLabel && existing[2] == 11 &&
        std::memcmp(existing + 3, LoopIdentifier, 11) == 0 && existing[14] == 3 && existing[18] == 0) {
        // The old looping extension is replaced.
    } else {
        source.SetPosition(rest);
    }
    const uint8_t head[3] = {ExtensionIntroducer, ApplicationLabel, 11};
    Put(out, aborting, head, 3);
    Put(out, aborting, LoopIdentifier, 11);
    PutByte(out, aborting, 3);
    PutByte(out, aborting, 1);
    PutWord(out, aborting, LoopCount);
    PutByte(out, aborting, 0);
    const int64_t position = source.Position();
    Put(out, aborting, static_cast<const uint8_t*>(source.Memory()) + position, source.Size() - position);
    Output.WriteBuffer(out.Memory(), out.Size());
    return true;
}

bool _GifSetScreenStream(TStream& Stream, int32_t Width, int32_t Height)
{
    const int64_t start = Stream.Position();
    ScreenDescriptor screen;
    bool written = false;
    if (ReadGifHeader(Stream, screen)) {
        // The screen's width and height follow the six signature bytes.
        Stream.SetPosition(start + 6);
        bool aborting = false;
        PutWord(Stream, aborting, ScreenSide(Width));
        PutWord(Stream, aborting, ScreenSide(Height));
        written = !aborting;
    }
    Stream.SetPosition(start);
    return written;
}

void _GifMakeAnimate(const std::string& FileName, uint16_t LoopCount, int32_t Width, int32_t Height)
{
    TMemoryStream out;
    bool isGif = false;
    {
        TFileStream source(FileName, fmOpenRead | fmShareDenyWrite);
        isGif = _GifMakeAnimateStream(source, out, LoopCount, Width, Height);
    }
    if (isGif) {
        out.SaveToFile(FileName);
    }
}

} // namespace Giffilter
