// The frame of the I/O component: creation and destruction, attachment to a target bitmap, the
// steps every load and save shares, the repaint of the view and the end-of-work events.
#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/kvvfw.h"
#include "imaging/io/kvwia.h"
#include "imaging/view/kvview.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/system.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/messages.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"

#include <cerrno>

using namespace Korvaneio::detail;

namespace {

// What ErrorText says of a failure that raised nothing and left no system reason.
constexpr const char* OperationFailed = "The operation failed";
constexpr const char* OperationCancelled = "The operation was cancelled";
constexpr const char* LoadFailed = "The data is no picture this reader can read, or it is damaged";
constexpr const char* SaveFailed = "The picture cannot be written in this format";
constexpr const char* NoBitmap = "There is no bitmap to load the picture into";
constexpr const char* NoPicture = "There is no picture to save";
constexpr const char* NoReader = "There is no reader for this file";
constexpr const char* UnknownException = "An unknown error occurred";

// A stream that passes every call on to Target and keeps why a write came up short: the codecs
// take a write that fails for an end of their data and only set the abort flag, so this is the
// last place that still knows the system's reason.
class TWatchedWrites : public TStream
{
public:
    explicit TWatchedWrites(TStream& Target) : FTarget(Target) {}

    int64_t Read(void* Buffer, int64_t Count) override { return FTarget.Read(Buffer, Count); }
    int64_t Write(const void* Buffer, int64_t Count) override
    {
        errno = 0;
        try {
            const int64_t written = FTarget.Write(Buffer, Count);
            // A file stream that writes no byte and gets no error takes the disk for full.
            if (written < Count && FReason.empty()) {
                FReason = SysErrorMessage(errno != 0 ? errno : ENOSPC);
            }
            return written;
        } catch (const std::exception& error) {
            Keep(error);
            throw;
        }
    }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return FTarget.Seek(Offset, Origin); }
    int64_t Size() override { return FTarget.Size(); }
    void SetSize(int64_t NewSize) override
    {
        try {
            FTarget.SetSize(NewSize);
        } catch (const std::exception& error) {
            Keep(error);
            throw;
        }
    }

    // Empty while every write was whole.
    const std::string& Reason() const { return FReason; }

protected:
    // What the target raises for a short write, which may name its file: a stream's own error is
    // protected, and reached here through a pointer to the member, as TStream's descendants may.
    EWriteError WriteError() const override
    {
        struct TErrorOf : TStream
        {
            static EWriteError Of(const TStream& Stream) { return (Stream.*&TErrorOf::WriteError)(); }
        };
        return TErrorOf::Of(FTarget);
    }

private:
    void Keep(const std::exception& Error)
    {
        if (FReason.empty()) {
            FReason = Error.what();
        }
    }

    TStream& FTarget;
    std::string FReason;
};

// Whether every pixel of the mask is set (the row padding does not count).
bool IsOpaque(TKVMask& mask)
{
    for (int32_t y = 0; y < mask.Height; ++y) {
        const uint8_t* row = mask.GetScanLine(y);
        if (mask.BitsPerPixel == 8) {
            for (int32_t x = 0; x < mask.Width; ++x) {
                if (row[x] != 255) {
                    return false;
                }
            }
            continue;
        }
        for (int32_t x = 0; x < mask.Width; ++x) {
            if ((row[x >> 3] & (0x80 >> (x & 7))) == 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

namespace Korvaneio::detail {

void TakeMaskAsAlpha(TKVBitmap& Bitmap, std::unique_ptr<TKVMask>& Mask)
{
    if (Mask == nullptr) {
        return;
    }
    if (IsOpaque(*Mask)) {
        Mask.reset();
        return;
    }
    // Made from the mask at once: a channel first made opaque would be written whole, where a
    // cut file's mask holds only the rows its data reached.
    Bitmap.SetAlphaChannelFromMask(Mask.get());
    TKVBitmap* alpha = Bitmap.GetAlphaChannel();
    if (alpha->GetPixelFormat() != kv8g) {
        alpha->SetPixelFormat(kv8g);
    }
    Mask.reset();
}

void ForgetUnusedGifTransparency(const TKVBitmap& Bitmap, TIOParamsVals& Params)
{
    if (!Bitmap.GetHasAlphaChannel()) {
        Params.GIF_FlagTranspColor = false;
    }
}

bool OwnerImageSize(TKorvaneIO* owner, int32_t& width, int32_t& height)
{
    const TKVBitmap* bitmap = owner != nullptr ? owner->KVBitmap() : nullptr;
    if (bitmap == nullptr) {
        return false;
    }
    width = bitmap->GetWidth();
    height = bitmap->GetHeight();
    return true;
}

bool OwnerViewDpi(TKorvaneIO* owner, int32_t& dpiX, int32_t& dpiY)
{
    const TKVView* view = owner != nullptr ? owner->AttachedKorvane() : nullptr;
    if (view == nullptr) {
        return false;
    }
    dpiX = view->DPIX();
    dpiY = view->DPIY();
    return true;
}

} // namespace Korvaneio::detail

TKorvaneIO::TKorvaneIO(TComponent* AOwner) : TComponent(AOwner), FWork(std::make_unique<TWorkState>())
{
    FKVBitmap = new TKVBitmap();
    FKVBitmap->DitherMethod = FDefaultDitherMethod;
    FOwnsBitmap = true;
    FPreviewFont = std::make_unique<TFont>();
    FParams = std::make_unique<TIOParamsVals>(this);
}

TKorvaneIO::~TKorvaneIO()
{
    WaitThreads(false);
    CloseAVIFile();
    AcquireClose();
    FWia.reset();
    FTWainParams.reset();
    RemoveViewCallback();
    FParams.reset();
    FPreviewFont.reset();
    if (FOwnsBitmap) {
        delete FKVBitmap;
    }
    FKVBitmap = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Attachment

void TKorvaneIO::RemoveViewCallback()
{
    if (FAttachedKorvane != nullptr && FCallbackHandle >= 0) {
        FAttachedKorvane->RemoveBitmapChangeEvent(FCallbackHandle);
    }
    FCallbackHandle = -1;
}

// A new target must not change under a running worker.
void TKorvaneIO::WaitForTargetChange()
{
    if (GetThreadsCount() > 0) {
        WaitThreads(false);
    }
}

void TKorvaneIO::TakeFreshOwnBitmap()
{
    if (FOwnsBitmap) {
        delete FKVBitmap;
    }
    FKVBitmap = new TKVBitmap();
    FKVBitmap->DitherMethod = FDefaultDitherMethod;
    FOwnsBitmap = true;
    FBitmap = nullptr;
}

void TKorvaneIO::ForgetView()
{
    if (FAttachedKorvane != nullptr) {
        RemoveFreeNotification(FAttachedKorvane);
        FAttachedKorvane = nullptr;
    }
}

void TKorvaneIO::ForgetTImage()
{
    if (FAttachedTImage != nullptr) {
        RemoveFreeNotification(FAttachedTImage);
        FAttachedTImage = nullptr;
    }
}

// The view or TImage that provided the working bitmap is going away: the bitmap goes with it, so
// the component stops work on it and takes a bitmap of its own.
void TKorvaneIO::TargetGone()
{
    if (GetThreadsCount() > 0) {
        WaitThreads(true);
    }
    TakeFreshOwnBitmap();
}

void TKorvaneIO::SetKVBitmap(TKVBitmap* Value)
{
    FBitmap = nullptr;
    if (Value == FKVBitmap) {
        return;
    }
    if (FOwnsBitmap) {
        delete FKVBitmap;
    }
    FOwnsBitmap = false;
    FKVBitmap = Value;
}

// A class-library bitmap is always wrapped in a working bitmap of the component's own: wrapping
// it in a caller's or a view's TKVBitmap would throw that bitmap's pixels away.
void TKorvaneIO::WrapBitmap(TBitmap* Value)
{
    if (!FOwnsBitmap) {
        TakeFreshOwnBitmap();
    }
    FBitmap = Value;
    FKVBitmap->EncapsulateTBitmap(Value, true);
}

void TKorvaneIO::SetBitmap(TBitmap* Value)
{
    WaitForTargetChange();
    WrapBitmap(Value);
}

TBitmap* TKorvaneIO::GetBitmap()
{
    if (FKVBitmap != nullptr && FKVBitmap->Location() == kvTBitmap) {
        return FKVBitmap->GetVclBitmap();
    }
    return FBitmap;
}

void TKorvaneIO::SetAttachedKVBitmap(TKVBitmap* Value)
{
    WaitForTargetChange();
    RemoveViewCallback();
    if (Value == nullptr && (FAttachedKorvane != nullptr || FAttachedTImage != nullptr)) {
        return;
    }
    SetKVBitmap(Value);
    if (Value != nullptr) {
        ForgetView();
        ForgetTImage();
    }
}

void TKorvaneIO::SetAttachedBitmap(TBitmap* Value)
{
    WaitForTargetChange();
    RemoveViewCallback();
    if (Value == nullptr && (FAttachedKorvane != nullptr || FAttachedTImage != nullptr)) {
        return;
    }
    WrapBitmap(Value);
    if (FBitmap != nullptr) {
        ForgetView();
        ForgetTImage();
    }
}

void TKorvaneIO::SetTImage(TImage* Value)
{
    WaitForTargetChange();
    RemoveViewCallback();
    const bool hadTImage = FAttachedTImage != nullptr;
    ForgetTImage();
    if (Value == nullptr) {
        // The wrapped picture stays with the TImage; only the component's wrapper is emptied.
        if (hadTImage) {
            TakeFreshOwnBitmap();
        } else if (FKVBitmap != nullptr) {
            FKVBitmap->FreeImage();
        }
        return;
    }
    FAttachedTImage = Value;
    WrapBitmap(Value->Picture()->Bitmap());
    FreeNotification(Value);
    ForgetView();
}

void TKorvaneIO::SetAttachedKorvane(TKVView* Value)
{
    WaitForTargetChange();
    RemoveViewCallback();
    ForgetView();
    if (Value == nullptr) {
        TakeFreshOwnBitmap();
        return;
    }
    FAttachedKorvane = Value;
    if (FOwnsBitmap) {
        delete FKVBitmap;
    }
    FOwnsBitmap = false;
    FBitmap = Value->GetFBitmap();
    FKVBitmap = Value->GetKVBitmap();
    if (FKVBitmap == nullptr) {
        FKVBitmap = new TKVBitmap();
        FKVBitmap->DitherMethod = FDefaultDitherMethod;
        FOwnsBitmap = true;
        FKVBitmap->EncapsulateTBitmap(FBitmap, true);
    } else {
        FBitmap = nullptr;
    }
    FreeNotification(Value);
    ForgetTImage();
    FCallbackHandle = Value->RegisterBitmapChangeEvent(
        [this](TObject* Sender, bool Destroying) { OnBitmapChange(Sender, Destroying); });
}

void TKorvaneIO::OnBitmapChange(TObject*, bool Destroying)
{
    if (Destroying) {
        // The view frees the registration itself.
        FCallbackHandle = -1;
        ForgetView();
        TargetGone();
        return;
    }
    if (FAttachedKorvane == nullptr) {
        return;
    }
    WaitForTargetChange();
    FBitmap = FAttachedKorvane->GetFBitmap();
    if (!FOwnsBitmap) {
        FKVBitmap = FAttachedKorvane->GetKVBitmap();
        if (FKVBitmap != nullptr) {
            FBitmap = nullptr;
        }
    } else {
        FKVBitmap->EncapsulateTBitmap(FBitmap, true);
    }
}

void TKorvaneIO::Notification(TComponent* AComponent, TOperation Operation)
{
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || AComponent == nullptr) {
        return;
    }
    if (AComponent == FAttachedKorvane) {
        RemoveViewCallback();
        FAttachedKorvane = nullptr;
        TargetGone();
    }
    if (AComponent == FAttachedTImage) {
        FAttachedTImage = nullptr;
        TargetGone();
    }
}

// ---------------------------------------------------------------------------------------------
// Settings

TColor TKorvaneIO::GetReBackground() const
{
    return FAttachedKorvane != nullptr ? FAttachedKorvane->Background() : FBackground;
}

// With a view attached the view keeps its own colour: loaders write the background of GIF and
// PNG files through here, and that reaches only a component without a view.
void TKorvaneIO::SetReBackground(TColor Value)
{
    if (FAttachedKorvane == nullptr) {
        FBackground = Value;
    }
}

void TKorvaneIO::SetDefaultDitherMethod(TKVDitherMethod Value)
{
    FDefaultDitherMethod = Value;
    if (FKVBitmap != nullptr) {
        FKVBitmap->DitherMethod = Value;
    }
}

void TKorvaneIO::SetPreviewFont(TFont* Value)
{
    FPreviewFont->Assign(Value);
}

void TKorvaneIO::AssignParams(TObject* Source)
{
    if (auto* other = dynamic_cast<TKorvaneIO*>(Source)) {
        if (other != this) {
            FParams->Assign(other->Params());
        }
    }
}

void TKorvaneIO::AssignParams(const TIOParamsVals& Source)
{
    if (&Source != FParams.get()) {
        FParams->Assign(Source);
    }
}

// ---------------------------------------------------------------------------------------------
// Repaint and end of work

void TKorvaneIO::Update()
{
    if (FAttachedKorvane == nullptr) {
        if (FBitmap != nullptr) {
            FBitmap->SetModified(true);
        }
        return;
    }
    if (IsInsideAsyncThreads()) {
        PostMessage(FAttachedKorvane->Handle(), KVM_UPDATE, 0, 0);
    } else {
        FAttachedKorvane->Update();
    }
    FAttachedKorvane->ImageChange();
}

const std::string& TKorvaneIO::ErrorText() const
{
    return FWork->ErrorText;
}

void TKorvaneIO::DoFinishWork()
{
    if (OnProgress) {
        OnProgress(this, 100);
    }
    if (OnFinishWork) {
        OnFinishWork(this);
    }
}

// ---------------------------------------------------------------------------------------------
// Steps shared by the front ends

bool TKorvaneIO::MustRunAsync() const
{
    return !FOwnsBitmap && AsyncMode && !IsInsideAsyncThreads();
}

bool TKorvaneIO::DispatchFile(void (TKorvaneIO::*Method)(const std::string&), const std::string& nf)
{
    if (!MustRunAsync()) {
        return false;
    }
    new TKVIOThread(
        this, TKVIOMethodType_LoadSaveFile([this, Method](const std::string& n) { (this->*Method)(n); }), nf);
    return true;
}

bool TKorvaneIO::DispatchStream(void (TKorvaneIO::*Method)(TStream&), TStream& Stream)
{
    if (!MustRunAsync()) {
        return false;
    }
    new TKVIOThread(this, TKVIOMethodType_LoadSaveStream([this, Method](TStream& s) { (this->*Method)(s); }),
                    Stream);
    return true;
}

bool TKorvaneIO::DispatchFileRetInt(int32_t (TKorvaneIO::*Method)(const std::string&), const std::string& nf)
{
    if (!MustRunAsync()) {
        return false;
    }
    new TKVIOThread(this, TKVIOMethodType_LoadSaveFileRetInt([this, Method](const std::string& n) {
                        return (this->*Method)(n);
                    }),
                    nf);
    return true;
}

bool TKorvaneIO::DispatchStreamRetInt(int32_t (TKorvaneIO::*Method)(TStream&), TStream& Stream)
{
    if (!MustRunAsync()) {
        return false;
    }
    new TKVIOThread(
        this, TKVIOMethodType_LoadSaveStreamRetInt([this, Method](TStream& s) { return (this->*Method)(s); }),
        Stream);
    return true;
}

bool TKorvaneIO::DispatchFileFormat(void (TKorvaneIO::*Method)(const std::string&, int32_t),
                                    const std::string& nf, int32_t FileType)
{
    if (!MustRunAsync()) {
        return false;
    }
    new TKVIOThread(this, TKVIOMethodType_LoadSaveFileFormat([this, Method](const std::string& n, int32_t t) {
                        (this->*Method)(n, t);
                    }),
                    nf, FileType);
    return true;
}

bool TKorvaneIO::DispatchStreamFormat(void (TKorvaneIO::*Method)(TStream&, int32_t), TStream& Stream,
                                      int32_t FileType)
{
    if (!MustRunAsync()) {
        return false;
    }
    new TKVIOThread(this, TKVIOMethodType_LoadSaveStreamFormat([this, Method](TStream& s, int32_t t) {
                        (this->*Method)(s, t);
                    }),
                    Stream, FileType);
    return true;
}

// The codecs report progress through the component and poll Aborting; a stop asked for by
// WaitThreads reaches them here, on the thread that runs them.
TProgressRec TKorvaneIO::MakeProgressRec(bool WithEvent)
{
    TProgressRec progress;
    progress.Aborting = &Aborting;
    if (!WithEvent) {
        return progress;
    }
    progress.Sender = this;
    progress.OnProgress = [this](TObject* Sender, int32_t per) {
        if (FWork->AbortRequested.load(std::memory_order_relaxed)) {
            Aborting = true;
        }
        if (OnProgress) {
            OnProgress(Sender, per);
        }
    };
    return progress;
}

void TKorvaneIO::RunOperation(const char* Failure, const std::function<void()>& Body)
{
    TOperationScope scope(*FWork);
    try {
        Body();
    } catch (const std::exception& error) {
        FWork->ErrorText = error.what();
        DoFinishWork();
        throw;
    } catch (...) {
        FWork->ErrorText = UnknownException;
        DoFinishWork();
        throw;
    }
    if (!Aborting) {
        FWork->ErrorText.clear();
    } else if (FWork->ErrorText.empty()) {
        const bool cancelled = FWork->AbortRequested.load(std::memory_order_relaxed);
        FWork->ErrorText = cancelled ? OperationCancelled : (Failure != nullptr ? Failure : OperationFailed);
    }
    DoFinishWork();
}

void TKorvaneIO::Reencapsulate()
{
    if (FBitmap != nullptr && FKVBitmap != nullptr) {
        FKVBitmap->EncapsulateTBitmap(FBitmap, false);
    }
}

void TKorvaneIO::PrepareLoad()
{
    Reencapsulate();
    FParams->ResetInfo();
    FKVBitmap->RemoveAlphaChannel();
}

bool TKorvaneIO::PrepareSave()
{
    Reencapsulate();
    if (FKVBitmap == nullptr || FKVBitmap->GetWidth() <= 0 || FKVBitmap->GetHeight() <= 0 ||
        FKVBitmap->GetPixelFormat() == kvnull) {
        Aborting = true;
        FWork->ErrorText = NoPicture;
        return false;
    }
    const TKVPixelFormat format = FKVBitmap->GetPixelFormat();
    if (format != kv24RGB && format != kv1g) {
        FKVBitmap->SetPixelFormat(kv24RGB);
    }
    return true;
}

// A mask without a single transparent pixel carries nothing: kept as alpha channel it would
// make writers reserve a colour for transparency, so a GIF saved again would lose one.
void TKorvaneIO::TakeAlphaMask(std::unique_ptr<TKVMask>& Mask)
{
    TakeMaskAsAlpha(*FKVBitmap, Mask);
}

void TKorvaneIO::EndLoad(const std::string& FileName, int32_t FileType, bool SetViewDpi)
{
    FParams->FileName = FileName;
    FParams->FileType = FileType;
    if (AutoAdjustDPI) {
        AdjustDPI();
    }
    if (SetViewDpi && FAttachedKorvane != nullptr) {
        FAttachedKorvane->SetDPI(FParams->DpiX, FParams->DpiY);
    }
    Update();
}

void TKorvaneIO::NoFrontEndLoad()
{
    TOperationScope scope(*FWork);
    Aborting = true;
    FWork->ErrorText = NoReader;
    DoFinishWork();
}

void TKorvaneIO::LoadFileWith(const std::string& FileName, int32_t FileType, bool SetViewDpi,
                              const TCodecCall& Decode)
{
    RunOperation(LoadFailed, [&] {
        Aborting = true;
        TProgressRec progress = MakeProgressRec();
        if (FKVBitmap == nullptr) {
            FWork->ErrorText = NoBitmap;
            return;
        }
        TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        Aborting = false;
        PrepareLoad();
        Decode(stream, progress);
        EndLoad(FileName, FileType, SetViewDpi);
    });
}

void TKorvaneIO::LoadStreamWith(TStream& Stream, int32_t FileType, bool SetViewDpi, const TCodecCall& Decode)
{
    RunOperation(LoadFailed, [&] {
        Aborting = FKVBitmap == nullptr;
        TProgressRec progress = MakeProgressRec();
        if (Aborting) {
            FWork->ErrorText = NoBitmap;
            return;
        }
        PrepareLoad();
        Decode(Stream, progress);
        EndLoad(std::string(), FileType, SetViewDpi);
    });
}

void TKorvaneIO::SaveFileWith(const std::string& FileName, const TCodecCall& Encode)
{
    RunOperation(SaveFailed, [&] {
        Aborting = true;
        TProgressRec progress = MakeProgressRec();
        if (!PrepareSave()) {
            return;
        }
        TSafeFileWriter file(FileName);
        Aborting = false;
        EncodeTellingWhy(file.Stream(), progress, Encode);
        file.Finish(!Aborting);
    });
}

void TKorvaneIO::SaveStreamWith(TStream& Stream, const TCodecCall& Encode)
{
    RunOperation(SaveFailed, [&] {
        Aborting = false;
        TProgressRec progress = MakeProgressRec();
        if (!PrepareSave()) {
            return;
        }
        EncodeTellingWhy(Stream, progress, Encode);
    });
}

void TKorvaneIO::EncodeTellingWhy(TStream& Stream, TProgressRec& Progress, const TCodecCall& Encode)
{
    TWatchedWrites watched(Stream);
    Encode(watched, Progress);
    if (Aborting && !watched.Reason().empty()) {
        FWork->ErrorText = watched.Reason();
    }
}
