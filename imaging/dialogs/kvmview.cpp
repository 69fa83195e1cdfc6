// TKorvaneMView: the image list, storing and loading images, the grid layout and scrolling.
#include "imaging/dialogs/kvmview.h"

#include "imaging/dialogs/detail/mview_loaders.h"

#include "imaging/core/message_table.h"
#include "imaging/core/virtual_dib_list.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/rounding.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/picture.h"

#include <algorithm>

using Zirodevo::gThreadCS;
using namespace Korvaneproc;

namespace {

bool HorizontalAllowed(TScrollStyle s)
{
    return s == ssHorizontal || s == ssBoth;
}

bool VerticalAllowed(TScrollStyle s)
{
    return s == ssVertical || s == ssBoth;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Fitting and the stored copy

TSize KVMFitSize(int32_t Width, int32_t Height, int32_t BoxWidth, int32_t BoxHeight)
{
    if (Width <= 0 || Height <= 0) {
        return TSize{BoxWidth, BoxHeight};
    }
    // Exact integer arithmetic: the limiting side takes the box, the other is truncated.
    int64_t w;
    int64_t h;
    if (int64_t(Width) * BoxHeight >= int64_t(Height) * BoxWidth) {
        w = BoxWidth;
        h = int64_t(Height) * BoxWidth / Width;
    } else {
        h = BoxHeight;
        w = int64_t(Width) * BoxHeight / Height;
    }
    return TSize{int32_t(std::max<int64_t>(w, 1)), int32_t(std::max<int64_t>(h, 1))};
}

std::unique_ptr<TKVBitmap> KVMPrepareForStore(TKVBaseBitmap* Source, const TKVMLoadSettings& s)
{
    const int32_t w0 = Source->GetWidth();
    const int32_t h0 = Source->GetHeight();
    TKVBitmap* kvSource = dynamic_cast<TKVBitmap*>(Source);
    const bool reduce =
        s.StoreType == kvtThumb && (s.EnableResamplingOnMinor || w0 > s.ThumbWidth || h0 > s.ThumbHeight);
    const TKVPixelFormat format = Source->GetPixelFormat();
    // The store keeps 1 and 24 bits only: anything else becomes 24 bits first.
    std::unique_ptr<TKVBitmap> converted;
    if (format != kv1g && format != kv24RGB && w0 > 0 && h0 > 0) {
        converted = std::make_unique<TKVBitmap>();
        if (kvSource != nullptr) {
            converted->Assign(kvSource);
        } else {
            converted->Allocate(w0, h0, format);
            for (int32_t y = 0; y < h0; ++y) {
                std::copy_n(Source->GetScanLine(y), Source->GetRowLen(), converted->GetScanLine(y));
            }
        }
        converted->ConvertToPixelFormat(kv24RGB);
        Source = converted.get();
        kvSource = converted.get();
    }
    if (!reduce) {
        return converted;
    }
    const TSize target = (w0 <= 0 || h0 <= 0) ? TSize{s.ThumbWidth, s.ThumbHeight}
                                              : KVMFitSize(w0, h0, s.ThumbWidth, s.ThumbHeight);
    if (target.cx == w0 && target.cy == h0) {
        return converted;
    }
    auto out = std::make_unique<TKVBitmap>();
    out->Allocate(target.cx, target.cy, kv24RGB);
    if (w0 <= 0 || h0 <= 0) {
        out->Fill(255);
        return out;
    }
    if (Source->GetPixelFormat() == kv1g) {
        _SubResample1bitFilteredEx(Source, 0, 0, w0 - 1, h0 - 1, out.get());
    } else if (s.Filter == rfNone) {
        _KVBmpStretchEx(Source, out.get());
    } else {
        _ResampleEx(Source, out.get(), s.Filter);
    }
    if (kvSource != nullptr && kvSource->GetHasAlphaChannel()) {
        _ResampleAlphaEx(kvSource->GetAlphaChannel(), out->GetAlphaChannel(),
                         s.Filter == rfNone ? rfFastLinear : s.Filter);
        out->GetAlphaChannel()->Full = kvSource->GetAlphaChannel()->Full;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Captions

TKVMText::TKVMText(TObject* Owner, TKVMTextPos Position)
    : FFont(std::make_unique<TFont>()), FPosition(Position)
{
    FView = dynamic_cast<TKorvaneMView*>(Owner);
    if (FView != nullptr) {
        FFont->Assign(FView->Font());
        Background = FView->Background();
    }
}

TKVMText::~TKVMText() = default;

void TKVMText::SetCaption(const std::string& Value)
{
    FCaption = Value;
    if (FView == nullptr || FPosition == kvmtpInfo) {
        return;
    }
    TBitmap probe;
    probe.Canvas()->Font()->Assign(FFont.get());
    const int32_t h = probe.Canvas()->TextHeight(Value.empty() ? std::string("Wg") : Value);
    if (FPosition == kvmtpTop) {
        FView->FUpperGap = std::max(FView->FUpperGap, h + 2);
    } else if (h + 2 > FView->FBottomGap) {
        FView->FBottomGap = FView->FStyle == kvmsACD ? h + 4 : h + 2;
    }
}

// ---------------------------------------------------------------------------------------------
// Construction

TKorvaneMView::TKorvaneMView(TComponent* AOwner)
    : TKVView(AOwner), FLoader(std::make_unique<TKorvaneIO>(nullptr)),
      FImageCache(std::make_unique<TKVVirtualDIBList>()), FThumbCache(std::make_unique<TKVVirtualDIBList>()),
      FWallPaper(std::make_unique<TPicture>()), FPlayTimer(std::make_unique<TTimer>(nullptr)),
      FTransition(std::make_unique<TKVTransitionEffects>(this))
{
    FImageCache->MaxMappedImages = FImageCacheSize;
    FPlayTimer->SetEnabled(false);
    FPlayTimer->SetPrecise(true);
    FPlayTimer->OnTimer = [this](TObject*) { PlayFrame(); };
    SetBounds(Left(), Top(), 180, 90);
    StartLoadingThread();
}

TKorvaneMView::~TKorvaneMView()
{
    DeselectNU();
    StopLoading();
    FPlayTimer->SetEnabled(false);
    FTransition->Stop();
    delete FMIO;
    FMIO = nullptr;
    delete FProc;
    FProc = nullptr;
    for (int32_t i = int32_t(FImages.size()) - 1; i >= 0; --i) {
        FreeEntry(FImages[i]);
    }
    FImages.clear();
    FBySerial.clear();
    FDestroying = true;
}

// ---------------------------------------------------------------------------------------------
// Components

TKorvaneMIO* TKorvaneMView::GetKorvaneMIO()
{
    if (FMIO == nullptr) {
        FMIO = new TKorvaneMIO(nullptr);
        FMIO->SetAttachedMView(this);
        FMIO->OnProgress = FOnProgress;
    }
    return FMIO;
}

TKorvaneProc* TKorvaneMView::GetKorvaneProc()
{
    if (FProc == nullptr) {
        FProc = new TKorvaneProc(nullptr);
        FProc->SetAttachedKorvane(this);
        FProc->OnProgress = FOnProgress;
    }
    return FProc;
}

void TKorvaneMView::AddBoundMIO(TKorvaneMIO* MIO)
{
    if (MIO != nullptr && std::find(FBoundMIOs.begin(), FBoundMIOs.end(), MIO) == FBoundMIOs.end()) {
        FBoundMIOs.push_back(MIO);
    }
}

void TKorvaneMView::RemoveBoundMIO(TKorvaneMIO* MIO)
{
    FBoundMIOs.erase(std::remove(FBoundMIOs.begin(), FBoundMIOs.end(), MIO), FBoundMIOs.end());
}

void TKorvaneMView::SetOnProgress(TKVProgressEvent Value)
{
    FOnProgress = std::move(Value);
    if (FMIO != nullptr) {
        FMIO->OnProgress = FOnProgress;
    }
    if (FProc != nullptr) {
        FProc->OnProgress = FOnProgress;
    }
}

// ---------------------------------------------------------------------------------------------
// Per-image accessors

PKVImageInfo TKorvaneMView::Entry(int32_t idx) const
{
    return idx >= 0 && idx < int32_t(FImages.size()) ? FImages[idx] : nullptr;
}

int32_t TKorvaneMView::IndexOfSerial(uint64_t Serial) const
{
    const auto it = FBySerial.find(Serial);
    if (it == FBySerial.end()) {
        return -1;
    }
    const auto pos = std::find(FImages.begin(), FImages.end(), it->second);
    return pos == FImages.end() ? -1 : int32_t(pos - FImages.begin());
}

int32_t TKorvaneMView::GetImageWidth(int32_t idx)
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageWidth(e->image) : 0;
}

int32_t TKorvaneMView::GetImageHeight(int32_t idx)
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageHeight(e->image) : 0;
}

int32_t TKorvaneMView::GetImageBitCount(int32_t idx)
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageBitCount(e->image) : 0;
}

int32_t TKorvaneMView::GetImageOriginalWidth(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageOriginalWidth(e->image) : 0;
}

int32_t TKorvaneMView::GetImageOriginalHeight(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr ? FImageCache->GetImageOriginalHeight(e->image) : 0;
}

void TKorvaneMView::SetImageOriginalWidth(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr && e->image != nullptr) {
        FImageCache->SetImageOriginalWidth(e->image, Value);
    }
}

void TKorvaneMView::SetImageOriginalHeight(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr && e->image != nullptr) {
        FImageCache->SetImageOriginalHeight(e->image, Value);
    }
}

int32_t TKorvaneMView::GetImageX(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->X : 0;
}

int32_t TKorvaneMView::GetImageY(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->Y : 0;
}

int32_t TKorvaneMView::GetImageRow(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->Row : 0;
}

int32_t TKorvaneMView::GetImageCol(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->Col : 0;
}

void TKorvaneMView::SetImageFileName(int32_t idx, const std::string& Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->fileName = Value;
        e->ID = -1;
    }
}

std::string TKorvaneMView::GetImageFileName(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->fileName : std::string();
}

void TKorvaneMView::SetImageID(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->ID = Value;
        e->fileName.clear();
    }
}

int32_t TKorvaneMView::GetImageID(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->ID : -1;
}

void TKorvaneMView::SetImageBackground(int32_t idx, TColor Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->background = Value;
        Update();
    }
}

TColor TKorvaneMView::GetImageBackground(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->background : TColor(0);
}

void TKorvaneMView::SetImageDelayTime(int32_t idx, int32_t Value)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        e->delay = Value;
    }
}

int32_t TKorvaneMView::GetImageDelayTime(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    return e != nullptr ? e->delay : 0;
}

std::shared_ptr<TKVMTextStyle> TKorvaneMView::CurrentTextStyle()
{
    if (FTextStyle == nullptr) {
        auto style = std::make_shared<TKVMTextStyle>();
        style->Font.Assign(Font());
        style->Background = Background();
        FTextStyle = std::move(style);
    }
    return FTextStyle;
}

void TKorvaneMView::FontChanged()
{
    TKVView::FontChanged();
    FTextStyle.reset();
}

TKVMText* TKorvaneMView::TextOf(PKVImageInfo e, TKVMTextPos Position) const
{
    if (e == nullptr) {
        return nullptr;
    }
    std::unique_ptr<TKVMText>& text = Position == kvmtpTop      ? e->top
                                      : Position == kvmtpBottom ? e->bottom
                                                                : e->info;
    if (text == nullptr) {
        // Making a text changes no state of the view; the text keeps the view to grow its gaps.
        text = std::make_unique<TKVMText>(const_cast<TKorvaneMView*>(this), Position);
        text->Font()->Assign(&e->textStyle->Font);
        text->Background = e->textStyle->Background;
    }
    return text.get();
}

TKVMText* TKorvaneMView::GetImageTopText(int32_t idx) const
{
    return TextOf(Entry(idx), kvmtpTop);
}

TKVMText* TKorvaneMView::GetImageBottomText(int32_t idx) const
{
    return TextOf(Entry(idx), kvmtpBottom);
}

TKVMText* TKorvaneMView::GetImageInfoText(int32_t idx) const
{
    return TextOf(Entry(idx), kvmtpInfo);
}

bool TKorvaneMView::IsImageStored(int32_t idx) const
{
    TCriticalSectionLock lock(gThreadCS);
    const PKVImageInfo e = Entry(idx);
    return e != nullptr && e->image != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Inserting, deleting, moving

void TKorvaneMView::StopPlaying()
{
    if (FPlaying) {
        SetPlaying(false);
    }
}

void TKorvaneMView::DoInsert(int32_t idx, bool Select)
{
    StopPlaying();
    auto* e = new TKVImageInfo;
    e->background = Background();
    e->textStyle = CurrentTextStyle();
    int32_t at;
    {
        TCriticalSectionLock lock(gThreadCS);
        e->serial = FNextSerial++;
        FBySerial[e->serial] = e;
        at = idx >= 0 && idx < int32_t(FImages.size()) ? idx : int32_t(FImages.size());
        FImages.insert(FImages.begin() + at, e);
    }
    // The selection and the listed indexes follow the entries they name.
    if (FSelectedImage >= at) {
        ++FSelectedImage;
    }
    for (int32_t& m : FMultiSelected) {
        if (m >= at) {
            ++m;
        }
    }
    if (Select) {
        SetSelectedItemNU(at);
    }
    FLastOp = 1;
    FLastOpIdx = Select ? at : idx;
    CallBitmapChangeEvents();
    Update();
}

void TKorvaneMView::InsertImage(int32_t idx)
{
    DoInsert(idx, true);
}

void TKorvaneMView::InsertImageEx(int32_t idx)
{
    DoInsert(idx, false);
}

int32_t TKorvaneMView::AppendImage()
{
    const int32_t count = GetImageCount();
    InsertImage(count);
    return count;
}

void TKorvaneMView::FreeEntry(PKVImageInfo e)
{
    TCriticalSectionLock lock(gThreadCS);
    if (e->image != nullptr) {
        FImageCache->Delete(e->image);
    }
    if (e->thumb != nullptr) {
        FThumbCache->Delete(e->thumb);
    }
    FBySerial.erase(e->serial);
    delete e;
}

bool TKorvaneMView::DeleteImageNU(int32_t idx)
{
    if (idx < 0 || idx >= GetImageCount()) {
        return false;
    }
    StopPlaying();
    const int32_t selected = FSelectedImage;
    DeselectNU();
    PKVImageInfo e = FImages[idx];
    {
        TCriticalSectionLock lock(gThreadCS);
        FImages.erase(FImages.begin() + idx);
    }
    FreeEntry(e);
    const int32_t count = GetImageCount();
    if (selected >= 0 && count > 0) {
        if (selected == idx && idx >= count) {
            SetSelectedItemNU(count - 1);
        } else if (selected != idx) {
            SetSelectedItemNU(selected > idx ? selected - 1 : selected);
        } else {
            SetSelectedItemNU(selected);
        }
    }
    FLastOp = 2;
    FLastOpIdx = idx;
    CallBitmapChangeEvents();
    return true;
}

void TKorvaneMView::DeleteImage(int32_t idx)
{
    if (DeleteImageNU(idx)) {
        Update();
    }
}

void TKorvaneMView::DeleteSelectedImages()
{
    std::vector<int32_t> list = FMultiSelected;
    std::sort(list.begin(), list.end());
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        DeleteImageNU(*it);
    }
    Update();
}

void TKorvaneMView::MoveImage(int32_t From, int32_t To)
{
    if (From < 0 || From >= GetImageCount() || To < 0 || From == To) {
        return;
    }
    StopPlaying();
    const int32_t selected = FSelectedImage;
    DeselectNU();
    int32_t to;
    {
        TCriticalSectionLock lock(gThreadCS);
        PKVImageInfo e = FImages[From];
        FImages.erase(FImages.begin() + From);
        to = std::min(To, int32_t(FImages.size()));
        FImages.insert(FImages.begin() + to, e);
        // Under the same lock, so that a background load never stores its record between the
        // two moves.
        for (TKorvaneMIO* mio : FBoundMIOs) {
            mio->MoveIOParam(From, to);
        }
    }
    if (selected >= 0) {
        int32_t s = selected;
        if (selected == From) {
            s = to;
        } else {
            if (selected > From) {
                --s;
            }
            if (s >= to) {
                ++s;
            }
        }
        SetSelectedItemNU(s);
    }
    Update();
}

// The entries, both caches and every bound component's records go in one step: deleting the
// images one by one would shift every array once an image. The pictures go with the caches, so
// the entries are freed without looking them up there. One announcement (LastOp 0) tells the
// callbacks, also of a view without a window, whose Update announces nothing.
void TKorvaneMView::Clear()
{
    Deselect();
    ClearThreadsAndRequests();
    if (!FImages.empty()) {
        StopPlaying();
    }
    std::vector<PKVImageInfo> entries;
    {
        TCriticalSectionLock lock(gThreadCS);
        entries.swap(FImages);
        FBySerial.clear();
        FImageCache = std::make_unique<TKVVirtualDIBList>();
        FImageCache->MaxMappedImages = FImageCacheSize;
        FThumbCache = std::make_unique<TKVVirtualDIBList>();
        for (TKorvaneMIO* mio : FBoundMIOs) {
            mio->RemoveAllIOParams();
        }
    }
    for (PKVImageInfo e : entries) {
        delete e;
    }
    CallBitmapChangeEvents();
    Update();
}

// ---------------------------------------------------------------------------------------------
// Storing

TKVMLoadSettings TKorvaneMView::LoadSettings() const
{
    TKVMLoadSettings s;
    s.StoreType = FStoreType;
    s.ThumbWidth = FThumbWidth;
    s.ThumbHeight = FThumbHeight;
    s.EnableResamplingOnMinor = FEnableResamplingOnMinor;
    s.Filter = FThumbnailResampleFilter;
    return s;
}

void TKorvaneMView::DropThumb(PKVImageInfo e)
{
    TCriticalSectionLock lock(gThreadCS);
    if (e->thumb != nullptr) {
        FThumbCache->Delete(e->thumb);
        e->thumb = nullptr;
    }
}

void TKorvaneMView::ForgetSelectedBitmap()
{
    FSelectedBitmap = nullptr;
}

void TKorvaneMView::SetKVBitmapEx(int32_t idx, TKVBaseBitmap* Bitmap)
{
    const PKVImageInfo e = Entry(idx);
    if (Bitmap == nullptr || e == nullptr) {
        return;
    }
    // Reduced outside the lock; only the store is serialised with the loaders.
    const std::unique_ptr<TKVBitmap> prepared = KVMPrepareForStore(Bitmap, LoadSettings());
    {
        TCriticalSectionLock lock(gThreadCS);
        if (idx == FSelectedImage && FSelectedBitmap != nullptr && e->image != nullptr) {
            FImageCache->ReleaseBitmapByImage(e->image, false);
            FSelectedBitmap = nullptr;
        }
        if (e->image != nullptr) {
            FImageCache->Delete(e->image);
            e->image = nullptr;
        }
        if (e->thumb != nullptr) {
            FThumbCache->Delete(e->thumb);
            e->thumb = nullptr;
        }
        e->image = FImageCache->AddKVBitmap(prepared ? prepared.get() : Bitmap);
        if (e->image != nullptr) {
            FImageCache->SetImageOriginalWidth(e->image, Bitmap->GetWidth());
            FImageCache->SetImageOriginalHeight(e->image, Bitmap->GetHeight());
        }
    }
    if (idx == FSelectedImage) {
        ForgetSelectedBitmap();
        CallBitmapChangeEvents();
    }
}

void TKorvaneMView::SetKVBitmap(int32_t idx, TKVBaseBitmap* Bitmap)
{
    if (Bitmap == nullptr) {
        return;
    }
    SetKVBitmapEx(idx, Bitmap);
    Update();
}

void TKorvaneMView::SetImageEx(int32_t idx, TBitmap* Bitmap)
{
    if (Bitmap == nullptr) {
        return;
    }
    TKVBitmap wrapped;
    wrapped.EncapsulateTBitmap(Bitmap, true);
    SetKVBitmapEx(idx, &wrapped);
}

void TKorvaneMView::SetImage(int32_t idx, TBitmap* Bitmap)
{
    SetImageEx(idx, Bitmap);
    Update();
}

void TKorvaneMView::SetImageRect(int32_t idx, TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr || Bitmap == nullptr || Bitmap->Width() < 1 || Bitmap->Height() < 1) {
        return;
    }
    x1 = std::clamp(x1, 0, Bitmap->Width() - 1);
    x2 = std::clamp(x2, 0, Bitmap->Width() - 1);
    y1 = std::clamp(y1, 0, Bitmap->Height() - 1);
    y2 = std::clamp(y2, 0, Bitmap->Height() - 1);
    if (x2 < x1) {
        std::swap(x1, x2);
    }
    if (y2 < y1) {
        std::swap(y1, y2);
    }
    {
        TCriticalSectionLock lock(gThreadCS);
        if (e->image != nullptr) {
            FImageCache->Delete(e->image);
        }
        if (e->thumb != nullptr) {
            FThumbCache->Delete(e->thumb);
            e->thumb = nullptr;
        }
        e->image = FImageCache->AddBitmapRect(Bitmap, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
        if (e->image != nullptr) {
            FImageCache->SetImageOriginalWidth(e->image, Bitmap->Width());
            FImageCache->SetImageOriginalHeight(e->image, Bitmap->Height());
        }
    }
    if (idx == FSelectedImage) {
        ForgetSelectedBitmap();
        CallBitmapChangeEvents();
    }
    Update();
}

void TKorvaneMView::PrepareSpaceFor(int32_t Width, int32_t Height, int32_t BitCount, int32_t ImageCount)
{
    TCriticalSectionLock lock(gThreadCS);
    FImageCache->PrepareSpaceFor(Width, Height, BitCount, ImageCount);
}

// ---------------------------------------------------------------------------------------------
// Synchronous loading

bool TKorvaneMView::LoadInto(int32_t idx, TStream* Stream, const std::string& FileName)
{
    const PKVImageInfo e = Entry(idx);
    auto bitmap = std::make_unique<TKVBitmap>();
    FLoader->SetReBackground(e->background);
    FLoader->SetAttachedKVBitmap(bitmap.get());
    FLoader->OnProgress = OnIOProgress;
    if (FStoreType == kvtThumb) {
        FLoader->Params().JPEG_Scale = ioJPEG_AUTOCALC;
        FLoader->Params().Width = FThumbWidth;
        FLoader->Params().Height = FThumbHeight;
    } else {
        FLoader->Params().JPEG_Scale = ioJPEG_FULLSIZE;
    }
    bool failed = false;
    try {
        if (Stream != nullptr) {
            FLoader->LoadFromStream(*Stream);
        } else {
            FLoader->LoadFromFile(FileName);
        }
        failed = FLoader->Aborting || bitmap->GetWidth() < 1 || bitmap->GetHeight() < 1;
    } catch (const std::exception&) {
        failed = true;
    }
    if (failed) {
        DoWrongImage(bitmap.get(), idx);
    }
    GetKorvaneMIO()->AssignParams(idx, FLoader->Params());
    e->background = FLoader->GetReBackground();
    SetKVBitmapEx(idx, bitmap.get());
    const TIOParamsVals& p = FLoader->Params();
    if (!failed) {
        const bool jpeg = p.FileType == 3;
        SetImageOriginalWidth(idx, jpeg ? p.JPEG_OriginalWidth : p.Width);
        SetImageOriginalHeight(idx, jpeg ? p.JPEG_OriginalHeight : p.Height);
    }
    FLoader->SetAttachedKVBitmap(nullptr);
    e->failed = failed;
    return !failed;
}

bool TKorvaneMView::ObtainImageNow(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return true;
    }
    // The lock is held only to read and to store (inside the calls below), never across the
    // decode or the application's events, so background loads keep running meanwhile.
    if (e->ID > -1 && OnImageIDRequest) {
        TBitmap* bitmap = nullptr;
        OnImageIDRequest(this, e->ID, bitmap);
        SetImageEx(idx, bitmap);
        return true;
    }
    if (e->ID > -1 && OnImageIDRequestEx) {
        TKVBitmap* bitmap = nullptr;
        OnImageIDRequestEx(this, e->ID, bitmap);
        SetKVBitmapEx(idx, bitmap);
        return true;
    }
    if (!e->fileName.empty()) {
        return LoadInto(idx, nullptr, e->fileName);
    }
    return true;
}

bool TKorvaneMView::SetImageFromFile(int32_t idx, const std::string& FileName)
{
    if (Entry(idx) == nullptr) {
        return false;
    }
    const bool ok = LoadInto(idx, nullptr, FileName);
    Update();
    return ok;
}

bool TKorvaneMView::SetImageFromStream(int32_t idx, TStream& Stream)
{
    if (Entry(idx) == nullptr) {
        return false;
    }
    const bool ok = LoadInto(idx, &Stream, std::string());
    Update();
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Getting images

TKVBitmap* TKorvaneMView::GetTKVBitmap(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return nullptr;
    }
    if (!IsImageStored(idx)) {
        ObtainImageNow(idx);
    }
    TCriticalSectionLock lock(gThreadCS);
    return e->image != nullptr ? FImageCache->GetBitmap(e->image) : nullptr;
}

void TKorvaneMView::ReleaseBitmap(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return;
    }
    TCriticalSectionLock lock(gThreadCS);
    if (e->image != nullptr) {
        FImageCache->ReleaseBitmapByImage(e->image, true);
    }
    if (idx == FSelectedImage) {
        FSelectedBitmap = nullptr;
    }
    if (e->thumb != nullptr) {
        FThumbCache->Delete(e->thumb);
        e->thumb = nullptr;
    }
}

TBitmap* TKorvaneMView::GetBitmap(int32_t idx)
{
    TKVBitmap* b = GetTKVBitmap(idx);
    return b != nullptr ? b->GetVclBitmap() : nullptr;
}

void TKorvaneMView::CopyToKVBitmap(int32_t idx, TKVBitmap* Dest)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr || Dest == nullptr) {
        return;
    }
    if (!IsImageStored(idx)) {
        ObtainImageNow(idx);
    }
    TCriticalSectionLock lock(gThreadCS);
    if (e->image != nullptr) {
        FImageCache->CopyToKVBitmap(e->image, Dest);
    }
}

TKVBitmap* TKorvaneMView::GetKVBitmap()
{
    if (FSelectedImage < 0) {
        return nullptr;
    }
    if (FSelectedBitmap == nullptr) {
        FSelectedBitmap = GetTKVBitmap(FSelectedImage);
    }
    return FSelectedBitmap;
}

TBitmap* TKorvaneMView::GetFBitmap()
{
    TKVBitmap* b = GetKVBitmap();
    return b != nullptr ? b->GetVclBitmap() : nullptr;
}

void TKorvaneMView::ClearImageCache(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e != nullptr) {
        DropThumb(e);
    }
}

void TKorvaneMView::ClearCache()
{
    TCriticalSectionLock lock(gThreadCS);
    for (PKVImageInfo e : FImages) {
        if (e->thumb != nullptr) {
            FThumbCache->Delete(e->thumb);
            e->thumb = nullptr;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Geometry

TKVMGrid TKorvaneMView::Grid() const
{
    TKVMGrid g;
    g.ThumbWidth = FThumbWidth;
    g.ThumbHeight = FThumbHeight;
    g.HorizBorder = FHorizBorder;
    g.VertBorder = FVertBorder;
    g.GridWidth = FGridWidth;
    g.DisplayMode = FDisplayMode;
    g.ClientWidth = ClientWidth();
    g.ClientHeight = ClientHeight();
    return g;
}

void TKorvaneMView::UpdateCoords()
{
    const TKVMGrid g = Grid();
    const TSize extent = g.Layout(GetImageCount(), [this](int32_t i, int32_t row, int32_t col, TPoint p) {
        PKVImageInfo e = FImages[i];
        e->X = p.X;
        e->Y = p.Y;
        e->Row = row;
        e->Col = col;
    });
    if (GetImageCount() == 0) {
        FGridWidthPx = g.StepX();
        FGridHeightPx = g.StepY();
    } else {
        FGridWidthPx = extent.cx;
        FGridHeightPx = extent.cy;
    }
}

int32_t TKorvaneMView::ImageAtGridPos(int32_t Row, int32_t Col) const
{
    return Grid().ImageAtGridPos(Row, Col);
}

int32_t TKorvaneMView::ImageAtPos(int32_t x, int32_t y) const
{
    const TKVMGrid g = Grid();
    if (x + FViewX < 0 || y + FViewY < 0) {
        return -1;
    }
    const int32_t i = g.ImageAtGridPos(g.RowAt(y, FViewY), g.ColumnAt(x, FViewX));
    const PKVImageInfo e = Entry(i);
    if (e == nullptr) {
        return -1;
    }
    const TRect r = g.CellRect(TPoint{e->X, e->Y}, FViewX, FViewY);
    return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom ? i : -1;
}

int32_t TKorvaneMView::InsertingPoint(int32_t x, int32_t y) const
{
    return Grid().InsertingPoint(x, y, FViewX, FViewY, GetImageCount());
}

bool TKorvaneMView::IsVisible(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return false;
    }
    const int32_t x = e->X - FViewX;
    const int32_t y = e->Y - FViewY;
    return x < ClientWidth() && x + FThumbWidth > 0 && y < ClientHeight() && y + FThumbHeight > 0;
}

int32_t TKorvaneMView::GetImageVisibility(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr || !IsVisible(idx)) {
        return 0;
    }
    const int32_t x = e->X - FViewX;
    const int32_t y = e->Y - FViewY;
    const bool inside =
        x >= 0 && y >= 0 && x + FThumbWidth <= ClientWidth() && y + FThumbHeight <= ClientHeight();
    return inside ? 2 : 1;
}

void TKorvaneMView::GetMaxViewXY(int32_t& mx, int32_t& my) const
{
    mx = std::max(FGridWidthPx - ClientWidth(), 0);
    my = std::max(FGridHeightPx - ClientHeight(), 0);
}

int32_t TKorvaneMView::GetMaximumViewX() const
{
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    return mx;
}

int32_t TKorvaneMView::GetMaximumViewY() const
{
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    return my;
}

void TKorvaneMView::SetViewXY(int32_t x, int32_t y)
{
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    x = std::clamp(x, 0, mx);
    y = std::clamp(y, 0, my);
    if (x == FViewX && y == FViewY) {
        return;
    }
    FViewX = x;
    FViewY = y;
    Invalidate();
    if (HorizontalAllowed(FScrollBars) && FHScale > 0) {
        SetScrollPos(SB_HORZ, Trunc(static_cast<long double>(FViewX) / FHScale), true);
    }
    if (VerticalAllowed(FScrollBars) && FVScale > 0) {
        SetScrollPos(SB_VERT, Trunc(static_cast<long double>(FViewY) / FVScale), true);
    }
}

void TKorvaneMView::SetViewX(int32_t Value)
{
    SetViewXY(Value, FViewY);
}

void TKorvaneMView::SetViewY(int32_t Value)
{
    SetViewXY(FViewX, Value);
}

void TKorvaneMView::CenterSelected()
{
    const PKVImageInfo e = Entry(FSelectedImage);
    if (e != nullptr) {
        SetViewXY(e->X - (ClientWidth() - FThumbWidth) / 2, e->Y - (ClientHeight() - FThumbHeight) / 2);
    }
}

void TKorvaneMView::UpdateImage(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return;
    }
    Update();
    const TRect r{e->X - FViewX, e->Y - FViewY, e->X - FViewX + FThumbWidth, e->Y - FViewY + FThumbHeight};
    InvalidateRect(&r, false);
}

void TKorvaneMView::ViewChange(int32_t Change)
{
    if (OnViewChange) {
        OnViewChange(this, Change);
    }
}

// ---------------------------------------------------------------------------------------------
// Update and scroll bars

void TKorvaneMView::UpdateScrollBars()
{
    const auto bar = [this](int32_t which, int32_t maxView, int32_t client, int32_t view, double& scale) {
        if (maxView >= 1) {
            scale = (static_cast<double>(client) + maxView - 1) / 65536.0;
            SetScrollRange(which, 0, 65535, false);
            TScrollInfo info;
            info.fMask = SIF_PAGE;
            info.nPage = static_cast<uint32_t>(std::max(Trunc(client / static_cast<long double>(scale)), 0));
            SetScrollInfo(which, info, true);
            SetScrollPos(which, Trunc(view / static_cast<long double>(scale)), false);
            EnableScrollBar(which, ESB_ENABLE_BOTH);
            ShowScrollBar(which, true);
        } else if (FScrollBarsAlwaysVisible) {
            EnableScrollBar(which, ESB_DISABLE_BOTH);
            ShowScrollBar(which, true);
        } else {
            ShowScrollBar(which, false);
        }
    };
    for (int32_t pass = 0; pass < 9; ++pass) {
        const int32_t cw = ClientWidth();
        const int32_t ch = ClientHeight();
        UpdateCoords();
        int32_t mx, my;
        GetMaxViewXY(mx, my);
        const int32_t vx = std::min(FViewX, mx);
        const int32_t vy = std::min(FViewY, my);
        if (vx != FViewX || vy != FViewY) {
            FViewX = vx;
            FViewY = vy;
            ViewChange(0);
        }
        if (Parent() != nullptr) {
            if (HorizontalAllowed(FScrollBars)) {
                bar(SB_HORZ, mx, cw, FViewX, FHScale);
            }
            if (VerticalAllowed(FScrollBars)) {
                bar(SB_VERT, my, ch, FViewY, FVScale);
            }
        }
        if (cw == ClientWidth() && ch == ClientHeight()) {
            break;
        }
    }
}

void TKorvaneMView::Update()
{
    if (FPaintLock > 0 || FInUpdate || FDestroying) {
        return;
    }
    const TComponentState state = ComponentState();
    if (state != 0 && state != csDesigning && state != csFreeNotification) {
        return;
    }
    if ((state & csDesigning) == 0) {
        FInUpdate = true;
        ClearCache();
        UpdateScrollBars();
        CallBitmapChangeEvents();
        FInUpdate = false;
    }
    Invalidate();
}

void TKorvaneMView::CallBitmapChangeEvents()
{
    TKVView::CallBitmapChangeEvents();
    FLastOp = 0;
}

void TKorvaneMView::LockPaint()
{
    ++FPaintLock;
}

int32_t TKorvaneMView::UnLockPaint()
{
    if (FPaintLock > 0) {
        --FPaintLock;
    }
    if (FPaintLock == 0) {
        Update();
    }
    return FPaintLock;
}

int32_t TKorvaneMView::NPUnLockPaint()
{
    if (FPaintLock > 0) {
        --FPaintLock;
    }
    return FPaintLock;
}

void TKorvaneMView::Resize()
{
    TKVView::Resize();
    Update();
}

void TKorvaneMView::HandleScroll(bool Vertical, uint16_t Code, int32_t Position)
{
    const TKVScrollBarParams& params = Vertical ? FVScrollParams : FHScrollParams;
    const int32_t view = Vertical ? FViewY : FViewX;
    const int32_t line = Vertical ? FThumbHeight + FVertBorder : FThumbWidth + FHorizBorder;
    const int32_t page = Vertical ? ClientHeight() : ClientWidth();
    const double scale = Vertical ? FVScale : FHScale;
    int32_t next = view;
    switch (Code) {
    case SB_LINEUP:
        next = view - (params.LineStep == -1 ? line : params.LineStep);
        break;
    case SB_LINEDOWN:
        next = view + (params.LineStep == -1 ? line : params.LineStep);
        break;
    case SB_PAGEUP:
        next = view - (params.PageStep == -1 ? page : params.PageStep);
        break;
    case SB_PAGEDOWN:
        next = view + (params.PageStep == -1 ? page : params.PageStep);
        break;
    case SB_THUMBTRACK:
        if (!params.Tracking) {
            return;
        }
        next = Trunc(Position * static_cast<long double>(scale));
        break;
    case SB_THUMBPOSITION:
        next = Trunc(Position * static_cast<long double>(scale));
        break;
    case SB_TOP:
        next = 0;
        break;
    case SB_BOTTOM:
        next = Vertical ? GetMaximumViewY() : GetMaximumViewX();
        break;
    default:
        return;
    }
    if (Vertical) {
        SetViewY(next);
    } else {
        SetViewX(next);
    }
}

// ---------------------------------------------------------------------------------------------
// Settings

void TKorvaneMView::SetBackGround(TColor Value)
{
    TKVView::SetBackGround(Value);
    FTextStyle.reset();
    Update();
}

void TKorvaneMView::SetThumbWidth(int32_t Value)
{
    if (Value < 1) {
        return;
    }
    FThumbWidth = Value;
    ClearCache();
    Update();
}

void TKorvaneMView::SetThumbHeight(int32_t Value)
{
    if (Value < 1) {
        return;
    }
    FThumbHeight = Value;
    ClearCache();
    Update();
}

void TKorvaneMView::SetHorizBorder(int32_t Value)
{
    if (Value < 0) {
        return;
    }
    FHorizBorder = Value;
    Update();
}

void TKorvaneMView::SetVertBorder(int32_t Value)
{
    if (Value < 0) {
        return;
    }
    FVertBorder = Value;
    Update();
}

void TKorvaneMView::SetGridWidth(int32_t Value)
{
    FGridWidth = Value < -1 ? -1 : Value;
    Update();
}

void TKorvaneMView::SetDisplayMode(TKVMDisplayMode Value)
{
    if (FPlaying) {
        FSavedDisplayMode = Value;
        return;
    }
    FDisplayMode = Value;
    Update();
}

void TKorvaneMView::SetStoreType(TKVStoreType Value)
{
    FStoreType = Value;
    Update();
}

void TKorvaneMView::SetUpperGap(int32_t Value)
{
    FUpperGap = Value;
    FSetUpperGap = Value;
    Update();
}

void TKorvaneMView::SetBottomGap(int32_t Value)
{
    FBottomGap = Value;
    FSetBottomGap = Value;
    Update();
}

void TKorvaneMView::SetScrollBars(TScrollStyle Value)
{
    FScrollBars = Value;
    if (!HorizontalAllowed(Value)) {
        ShowScrollBar(SB_HORZ, false);
    }
    if (!VerticalAllowed(Value)) {
        ShowScrollBar(SB_VERT, false);
    }
    Update();
}

void TKorvaneMView::SetScrollBarsAlwaysVisible(bool Value)
{
    FScrollBarsAlwaysVisible = Value;
    Update();
}

void TKorvaneMView::SetStyle(TKVMStyle Value)
{
    if (Value != FStyle) {
        FStyle = Value;
        Update();
    }
}

void TKorvaneMView::SetSelectionStyle(TKVSStyle Value)
{
    if (Value != FSelectionStyle) {
        FSelectionStyle = Value;
        Update();
    }
}

void TKorvaneMView::SetShowText(bool Value)
{
    FShowText = Value;
    Update();
}

void TKorvaneMView::SetFillThumbnail(bool Value)
{
    FFillThumbnail = Value;
    Update();
}

void TKorvaneMView::SetDrawImageBackground(bool Value)
{
    FDrawImageBackground = Value;
    Update();
}

void TKorvaneMView::SetThumbnailsBackground(TColor Value)
{
    FThumbnailsBackground = Value;
    Update();
}

void TKorvaneMView::SetThumbnailsBorderWidth(int32_t Value)
{
    if (Value != FThumbnailsBorderWidth) {
        FThumbnailsBorderWidth = std::max(Value, 0);
        Update();
    }
}

void TKorvaneMView::SetThumbnailsBorderColor(TColor Value)
{
    if (Value != FThumbnailsBorderColor) {
        FThumbnailsBorderColor = Value;
        Update();
    }
}

void TKorvaneMView::SetBackgroundStyle(TKVBackgroundStyle Value)
{
    FBackgroundStyle = Value;
    Update();
}

void TKorvaneMView::SetThumbnailsBackgroundStyle(TKVBackgroundStyle Value)
{
    FThumbnailsBackgroundStyle = Value;
    Update();
}

void TKorvaneMView::SetGradientEndColor(TColor Value)
{
    FGradientEndColor = Value;
    Update();
}

void TKorvaneMView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle)
{
    FChessboardSize = Size;
    FChessboardBrushStyle = BrushStyle;
}

void TKorvaneMView::SetEnableResamplingOnMinor(bool Value)
{
    FEnableResamplingOnMinor = Value;
    Update();
}

void TKorvaneMView::SetEnableAlphaChannel(bool Value)
{
    FEnableAlphaChannel = Value;
    Update();
}

void TKorvaneMView::SetEnableImageCaching(bool Value)
{
    FEnableImageCaching = Value;
    if (!Value) {
        ClearCache();
        Update();
    }
}

void TKorvaneMView::SetThumbnailResampleFilter(TResampleFilter Value)
{
    FThumbnailResampleFilter = Value;
    Update();
}

void TKorvaneMView::SetThumbnailDisplayFilter(TResampleFilter Value)
{
    FThumbnailDisplayFilter = Value;
    Update();
}

void TKorvaneMView::SetVisibleSelection(bool Value)
{
    FVisibleSelection = Value;
    Update();
}

void TKorvaneMView::SetSelectionWidth(int32_t Value)
{
    FSelectionWidth = Value;
    Update();
}

void TKorvaneMView::SetSelectionColor(TColor Value)
{
    FSelectionColor = Value;
    Update();
}

void TKorvaneMView::SetWallPaper(TPicture* Value)
{
    FWallPaper->Assign(Value);
    Update();
}

void TKorvaneMView::SetWallPaperStyle(TKVWallPaperStyle Value)
{
    if (Value != FWallPaperStyle) {
        FWallPaperStyle = Value;
        Update();
    }
}

void TKorvaneMView::SetImageCacheSize(int32_t Value)
{
    FImageCacheSize = Value;
    TCriticalSectionLock lock(gThreadCS);
    FImageCache->MaxMappedImages = Value;
}
