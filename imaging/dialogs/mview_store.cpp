// TKorvaneMView: the stored copy of each image, in the image cache: fitting it, storing it, loading
// it now, and handing it out.
#include "imaging/dialogs/kvmview.h"

#include "imaging/core/message_table.h"
#include "imaging/core/virtual_dib_list.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"
#include "imaging/proc/korvaneproc.h"

#include <algorithm>

using Zirodevo::gThreadCS;
using namespace Korvaneproc;

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
