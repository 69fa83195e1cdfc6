// TKorvaneMIO's files: every frame of a GIF, every page of a TIFF and every frame of an AVI file
// loaded into the multi-image view, and the view's images saved as one such file.
#include "imaging/codecs/gif/giffilter.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvanemio.h"
#include "imaging/io/kvvfw.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/lists.h"
#include "platform/core/rounding.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/strings.h"

#include <algorithm>

using namespace Korvaneio::detail;

namespace {

// TIFF pages carry no delay of their own.
constexpr int32_t TIFFPageDelay = 100;

// A GIF's comments, which every frame's record holds, may take this many times the file's size in
// all the records together, and at least this many bytes.
constexpr int64_t CommentCopiesPerFileByte = 16;
constexpr int64_t CommentCopiesFloor = int64_t(1) << 20;

// The bytes a string list takes in memory, its strings' own included.
int64_t HeldBytes(const TStrings& lines)
{
    int64_t bytes = 0;
    for (int32_t i = 0; i < lines.Count(); ++i) {
        bytes += int64_t(sizeof(std::string) + lines.Strings(i).size());
    }
    return bytes;
}

// The frames of a GIF or the pages of a TIFF from the stream's position, found in one walk over the
// file and read one by one from where each begins.
class TFrameFileReader
{
public:
    TFrameFileReader(TStream& stream, bool gif)
    {
        if (gif) {
            const int64_t fileBytes = stream.Size() - stream.Position();
            FFrames = std::make_unique<Giffilter::TGifFrameIndex>(stream);
            // Many frames and many comment blocks would take memory in their product: then the
            // first frame's record, the one saving writes the comments from, holds them alone.
            const int64_t copies = int64_t(FFrames->Count()) * HeldBytes(FFrames->Comments());
            FCommentsForEveryFrame =
                copies <= std::max(CommentCopiesPerFileByte * fileBytes, CommentCopiesFloor);
        } else {
            FPages = std::make_unique<Tiffilt::TTIFFPageIndex>(stream);
        }
    }

    int32_t Count() const { return FFrames ? FFrames->Count() : FPages->Count(); }

    void Read(int32_t index, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
              std::unique_ptr<TKVMask>& mask)
    {
        if (FFrames) {
            FFrames->ReadFrame(index, bitmap, params, progress, mask, false,
                               index == 0 || FCommentsForEveryFrame);
        } else {
            FPages->ReadPage(index, &bitmap, params, progress, mask, false);
        }
    }

private:
    std::unique_ptr<Giffilter::TGifFrameIndex> FFrames;
    std::unique_ptr<Tiffilt::TTIFFPageIndex> FPages;
    bool FCommentsForEveryFrame = true;
};

// The logical screen of an animation: on each axis the larger of the first record's screen (that
// of the file it was read from) and the extent of the frames, as far as a GIF can describe it.
class TAnimationScreen
{
public:
    void Add(const TIOParamsVals& params, TKVBitmap& frame)
    {
        if (FFrames++ == 0) {
            FWidth = params.GIF_WinWidth;
            FHeight = params.GIF_WinHeight;
        }
        FWidth = std::max(FWidth, int64_t(params.GIF_XPos) + frame.GetWidth());
        FHeight = std::max(FHeight, int64_t(params.GIF_YPos) + frame.GetHeight());
    }
    TSize Size() const
    {
        return TSize{int32_t(std::clamp<int64_t>(FWidth, 0, GifScreenMax)),
                     int32_t(std::clamp<int64_t>(FHeight, 0, GifScreenMax))};
    }

private:
    static constexpr int64_t GifScreenMax = 0xFFFF;

    int32_t FFrames = 0;
    int64_t FWidth = 0;
    int64_t FHeight = 0;
};

// Writes images one after the other as one GIF or TIFF at the stream's position: the first starts
// the file, each other one is added at its end without reading the images before it again (a TIFF
// page is written aside and copied in). Failures set the progress record's abort flag.
class TFrameFileWriter
{
public:
    TFrameFileWriter(TStream& stream, bool gif) : FStream(stream), FStart(stream.Position()), FGif(gif) {}

    void Write(TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress)
    {
        if (FGif) {
            FScreen.Add(params, bitmap);
        }
        if (FEnd < 0) {
            FStream.SetPosition(FStart);
            if (FGif) {
                Giffilter::WriteGifStream(FStream, bitmap, params, progress);
                FEnd = FStream.Position();
            } else {
                Tiffilt::TIFFWriteStream(FStream, false, &bitmap, params, progress);
                FEnd = FStream.Position() - 4;
            }
        } else if (FGif) {
            FStream.SetPosition(FEnd);
            Giffilter::_AppendGifImStream(FStream, bitmap, params, progress);
            FEnd = FStream.Position();
        } else {
            AppendPage(bitmap, params, progress);
        }
    }

    // A GIF's screen, known once every frame is written, goes into the header the first frame
    // wrote (which holds that frame's extent); returned, 0 x 0 for a TIFF. Sets the abort flag
    // when the header cannot take it.
    TSize Finish(TProgressRec& progress)
    {
        if (!FGif || FEnd < 0) {
            return TSize{0, 0};
        }
        const TSize screen = FScreen.Size();
        FStream.SetPosition(FStart);
        if (!Giffilter::_GifSetScreenStream(FStream, screen.cx, screen.cy)) {
            *progress.Aborting = true;
        }
        FStream.SetPosition(FEnd);
        return screen;
    }

private:
    void AppendPage(TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress)
    {
        FPage.SetSize(0);
        FPage.SetPosition(0);
        Tiffilt::TIFFWriteStream(FPage, false, &bitmap, params, progress);
        if (*progress.Aborting) {
            return;
        }
        FPage.SetPosition(0);
        FStream.SetPosition(FStart);
        const int64_t last = Tiffilt::_AppendTIFFImStream(FStream, FEnd, FPage);
        if (last < 0) {
            *progress.Aborting = true;
            return;
        }
        FEnd = last;
    }

    TStream& FStream;
    const int64_t FStart;
    // Before the first image -1; then where the GIF's trailer ends, or the position of the
    // TIFF's last next-directory pointer.
    int64_t FEnd = -1;
    const bool FGif;
    TAnimationScreen FScreen;
    // A TIFF page before it is appended; kept, so that its memory serves every page.
    TMemoryStream FPage;
};

TProgressRec MakeProgress(TKorvaneMIO* mio)
{
    TProgressRec progress;
    progress.Sender = mio;
    progress.Aborting = &mio->Aborting;
    progress.OnProgress = [mio](TObject* sender, int32_t per) {
        if (mio->OnProgress) {
            mio->OnProgress(sender, per);
        }
    };
    return progress;
}

// Runs the end of an operation also when a codec raised.
class TFinishWork
{
public:
    TFinishWork(TKorvaneMIO* mio, bool update) : FMio(mio), FUpdate(update) {}
    ~TFinishWork()
    {
        if (FUpdate) {
            FMio->Update();
        }
        FMio->DoFinishWork();
    }
    TFinishWork(const TFinishWork&) = delete;
    TFinishWork& operator=(const TFinishWork&) = delete;

private:
    TKorvaneMIO* FMio;
    bool FUpdate;
};

// Holds the view's painting while images go in, so that each insertion does not lay out every
// image of the view again: the layout is made once, by the update that ends the loading.
class TPaintLock
{
public:
    explicit TPaintLock(TKVView* view) : FView(view) { FView->LockPaint(); }
    ~TPaintLock() { FView->NPUnLockPaint(); }
    TPaintLock(const TPaintLock&) = delete;
    TPaintLock& operator=(const TPaintLock&) = delete;

private:
    TKVView* FView;
};

// The frame rate of an AVI file whose frames last DelayMs each, as Rate / Scale: whole frames per
// second, or 1000 / DelayMs for frames longer than a second.
void FrameRateOf(int32_t DelayMs, int32_t& Rate, int32_t& Scale)
{
    const int32_t delay = std::max(DelayMs, 1);
    Rate = 1000 / delay;
    Scale = 1;
    if (Rate == 0) {
        Rate = 1000;
        Scale = delay;
    }
}

} // namespace

void TKorvaneMIO::LoadFromFile(const std::string& FileName)
{
    const std::string name = Trim(FileName);
    if (name.empty()) {
        Aborting = true;
        return;
    }
    Aborting = false;
    const std::string ext = LowerCase(ExtractFileExt(name));
    if (ext == ".gif") {
        LoadFromFileGif(name);
    } else if (ext == ".tif" || ext == ".tiff") {
        LoadFromFileTIFF(name);
    } else if (ext == ".avi") {
        LoadFromFileAVI(name);
    }
}

void TKorvaneMIO::SaveToFile(const std::string& FileName)
{
    const std::string name = Trim(FileName);
    if (name.empty()) {
        Aborting = true;
        return;
    }
    Aborting = false;
    const std::string ext = LowerCase(ExtractFileExt(name));
    if (ext == ".gif") {
        SaveToFileGif(name);
    } else if (ext == ".tif" || ext == ".tiff") {
        SaveToFileTIFF(name);
    } else if (ext == ".avi") {
        SaveToFileAVI(name, "");
    }
}

void TKorvaneMIO::LoadFromFileGif(const std::string& FileName)
{
    Aborting = false;
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStreamGif(file);
}

void TKorvaneMIO::LoadFromFileTIFF(const std::string& FileName)
{
    Aborting = false;
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStreamTIFF(file);
}

void TKorvaneMIO::LoadFromStreamGif(TStream& Stream)
{
    LoadFrames(Stream, true);
}

void TKorvaneMIO::LoadFromStreamTIFF(TStream& Stream)
{
    LoadFrames(Stream, false);
}

// Each frame is decoded into the record inserted for it, so it keeps its own palette, delay and
// compression, and the record copied from its neighbour keeps only the neighbour's saving
// settings. One walk over the file finds every frame, each then read from where it begins. A
// file that reports no frames ends the loading with Aborting set.
void TKorvaneMIO::LoadFrames(TStream& Stream, bool Gif)
{
    if (FView == nullptr) {
        Aborting = true;
        return;
    }
    TFinishWork finish(this, true);
    const TPaintLock lock(FView);
    Aborting = false;
    TProgressRec progress = MakeProgress(this);
    std::unique_ptr<TFrameFileReader> frames;
    try {
        frames = std::make_unique<TFrameFileReader>(Stream, Gif);
    } catch (const std::exception&) {
        Aborting = true;
        return;
    }
    const int32_t count = frames->Count();
    int32_t idx = std::max(FView->SelectedImage(), 0);
    int32_t lastDelay = 10;
    for (int32_t f = 0;; ++f, ++idx) {
        FView->InsertImageEx(idx);
        TIOParamsVals* params = GetParams(idx);
        params->ResetInfo();
        TKVBitmap bitmap;
        std::unique_ptr<TKVMask> mask;
        try {
            frames->Read(f, bitmap, *params, progress, mask);
            // A frame that failed is dropped below: its mask is not worth an alpha channel.
            if (!Aborting) {
                TakeMaskAsAlpha(bitmap, mask);
                if (Gif) {
                    ForgetUnusedGifTransparency(bitmap, *params);
                }
            }
            if (!Aborting && AutoAdjustDPI) {
                AdjustBitmapDPI(bitmap, *params, FilteredAdjustDPI);
            }
        } catch (const std::exception&) {
            Aborting = true;
        }
        params->GIF_ImageIndex = idx;
        params->TIFF_ImageIndex = idx;
        params->FileType = Gif ? fmtGIF : fmtTIFF;
        params->FileName.clear();
        if (Aborting || count <= 0 || f >= count || bitmap.GetWidth() < 1) {
            FView->DeleteImage(idx);
            Aborting = true;
            break;
        }
        FView->SetKVBitmapEx(idx, &bitmap);
        int32_t delay = TIFFPageDelay;
        if (Gif) {
            FView->SetImageBackground(idx, Korvaneproc::TRGB2TColor(params->GIF_Background));
            if (params->GIF_DelayTime > 0) {
                lastDelay = params->GIF_DelayTime * 10;
            }
            delay = lastDelay;
        }
        FView->SetImageDelayTime(idx, delay);
        if (OnProgress) {
            OnProgress(this, Trunc(double(f) * 100 / count));
        }
        if (Aborting || f + 1 >= count) {
            break;
        }
    }
}

void TKorvaneMIO::SaveToStreamGif(TStream& Stream)
{
    TFinishWork finish(this, false);
    SaveFrames(Stream, true);
}

void TKorvaneMIO::SaveToStreamTIFF(TStream& Stream)
{
    TFinishWork finish(this, false);
    SaveFrames(Stream, false);
}

// Every image is written with its own record. An empty view writes nothing and sets Aborting.
// A GIF gets the screen of its animation (TAnimationScreen), not the first frame's extent.
TSize TKorvaneMIO::SaveFrames(TStream& Stream, bool Gif)
{
    const TSize none{0, 0};
    const int32_t count = FView != nullptr ? FView->GetImageCount() : 0;
    if (count == 0) {
        Aborting = true;
        return none;
    }
    Aborting = false;
    TProgressRec progress = MakeProgress(this);
    TFrameFileWriter file(Stream, Gif);
    TKVBitmap bitmap;
    for (int32_t k = 0; k < count; ++k) {
        TIOParamsVals* params = GetParams(k);
        bitmap.FreeImage();
        FView->CopyToKVBitmap(k, &bitmap);
        if (params == nullptr || bitmap.GetWidth() < 1 || bitmap.GetHeight() < 1) {
            Aborting = true;
            return none;
        }
        const TKVPixelFormat format = bitmap.GetPixelFormat();
        if (format != kv24RGB && format != kv1g) {
            bitmap.SetPixelFormat(kv24RGB);
        }
        bitmap.DitherMethod = DefaultDitherMethod;
        try {
            file.Write(bitmap, *params, progress);
        } catch (const std::exception&) {
            Aborting = true;
        }
        if (OnProgress) {
            OnProgress(this, Trunc(double(k) * 100 / count));
        }
        if (Aborting) {
            return none;
        }
    }
    try {
        const TSize screen = file.Finish(progress);
        return Aborting ? none : screen;
    } catch (const std::exception&) {
        Aborting = true;
    }
    return none;
}

void TKorvaneMIO::SaveToFileGif(const std::string& FileName)
{
    SaveFramesToFile(FileName, true);
}

void TKorvaneMIO::SaveToFileTIFF(const std::string& FileName)
{
    SaveFramesToFile(FileName, false);
}

// The file is built in memory and takes its name only when complete, so an empty view or a failed
// save leaves an existing file as it was. An animated GIF gets its looping extension in memory too,
// keeping the logical screen SaveFrames gave it.
void TKorvaneMIO::SaveFramesToFile(const std::string& FileName, bool Gif)
{
    TFinishWork finish(this, false);
    TMemoryStream content;
    const TSize screen = SaveFrames(content, Gif);
    if (Aborting) {
        return;
    }
    if (Gif) {
        try {
            TMemoryStream animated;
            content.SetPosition(0);
            if (Giffilter::_GifMakeAnimateStream(content, animated, 0, screen.cx, screen.cy)) {
                content.LoadFromStream(animated);
            }
        } catch (const std::exception&) {
            Aborting = true;
            return;
        }
    }
    TSafeFileWriter file(FileName);
    try {
        file.Stream().WriteBuffer(content.Memory(), content.Size());
    } catch (const std::exception&) {
        Aborting = true;
    }
    file.Finish(!Aborting);
}

void TKorvaneMIO::LoadFromFileAVI(const std::string& FileName)
{
    Aborting = false;
    if (FView == nullptr) {
        DoFinishWork();
        return;
    }
    TFinishWork finish(this, true);
    Kvvfw::AVIFileInit();
    Kvvfw::TAVIReader reader;
    if (!reader.Open(FileName) || reader.FrameCount() < 1) {
        Aborting = true;
        return;
    }
    const int32_t count = reader.FrameCount();
    const int32_t delay = reader.Rate() > 0 ? int32_t(int64_t(reader.Scale()) * 1000 / reader.Rate()) : 0;
    int32_t idx = std::max(FView->SelectedImage(), 0);
    TKVBitmap frame;
    for (int32_t k = 0; k < count; ++k, ++idx) {
        if (!reader.ReadFrame(k, frame)) {
            Aborting = true;
            break;
        }
        frame.RemoveAlphaChannel();
        FView->InsertImageEx(idx);
        TIOParamsVals* params = GetParams(idx);
        FView->SetKVBitmapEx(idx, &frame);
        const bool palette = frame.GetPixelFormat() == kv8p;
        if (k == 0) {
            FView->PrepareSpaceFor(frame.GetWidth(), frame.GetHeight(), palette ? 8 : 24, count - 1);
        }
        FView->SetImageDelayTime(idx, delay);
        params->GIF_DelayTime = delay / 10;
        params->BitsPerSample = 8;
        params->SamplesPerPixel = palette ? 1 : 3;
        params->GIF_ImageIndex = idx;
        params->TIFF_ImageIndex = idx;
        params->DpiX = Kvview::gSystemDPIX;
        params->DpiY = Kvview::gSystemDPIY;
        params->Width = frame.GetWidth();
        params->Height = frame.GetHeight();
        params->FileName = FileName;
        params->FileType = fmtUnknown;
        params->FreeColorMap();
        if (OnProgress) {
            OnProgress(this, Trunc(double(k) * 100 / count));
        }
        if (Aborting) {
            break;
        }
    }
}

// The frame rate comes from image 0's delay. Frames of another size than the first are skipped
// and set Aborting, as the AVI writer refuses them.
void TKorvaneMIO::SaveToFileAVI(const std::string& FileName, const std::string& Codec)
{
    const int32_t count = FView != nullptr ? FView->GetImageCount() : 0;
    if (count == 0) {
        Aborting = true;
        return;
    }
    TFinishWork finish(this, false);
    Aborting = false;
    TKorvaneIO io(nullptr);
    TKVBitmap frame;
    io.SetAttachedKVBitmap(&frame);
    if (const TIOParamsVals* first = GetParams(0)) {
        io.Params().BitsPerSample = first->BitsPerSample;
        io.Params().SamplesPerPixel = first->SamplesPerPixel;
    }
    int32_t rate = 0;
    int32_t scale = 0;
    FrameRateOf(FView->GetImageDelayTime(0), rate, scale);
    io.CreateAVIFile(FileName, rate, Codec, scale);
    if (io.Aborting) {
        Aborting = true;
        return;
    }
    bool failed = false;
    for (int32_t k = 0; k < count; ++k) {
        // A copy, as the writer converts the frame it is given.
        frame.FreeImage();
        FView->CopyToKVBitmap(k, &frame);
        io.Params().Width = frame.GetWidth();
        io.Params().Height = frame.GetHeight();
        io.SaveToAVI();
        failed = failed || io.Aborting;
        if (OnProgress) {
            OnProgress(this, Trunc(double(k) * 100 / count));
        }
        if (Aborting) {
            break;
        }
    }
    io.CloseAVIFile();
    Aborting = Aborting || failed;
}
