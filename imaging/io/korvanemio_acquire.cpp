// TKorvaneMIO's acquisition: every page a scanner or camera delivers is inserted into the
// multi-image view, from the selected image on (or at the end), with its own parameter record.
#include "imaging/core/kvbitmap.h"
#include "imaging/core/window_helpers.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/imscan.h"
#include "imaging/io/korvanemio.h"
#include "imaging/io/kvwia.h"
#include "platform/forms/controls.h"

#include <algorithm>

using namespace Korvaneio::detail;

namespace {

constexpr int32_t AcquiredPageDelay = 100;
// The WIA device properties that choose the feeder and all of its pages.
constexpr int32_t WiaDocumentHandlingSelect = 3088;
constexpr int32_t WiaPages = 3096;
constexpr int32_t WiaFeeder = 1;

} // namespace

// Set up for feeders: every page of a batch is wanted.
TKVTWainParams& TKorvaneMIO::TWainParams()
{
    if (FTWainParams == nullptr) {
        FTWainParams = std::make_unique<TKVTWainParams>(this, true);
    }
    return *FTWainParams;
}

TKVWia* TKorvaneMIO::GetWIAParams()
{
    if (FWia == nullptr) {
        FWia = std::make_shared<TKVWia>(this);
    }
    return FWia.get();
}

bool TKorvaneMIO::SelectAcquireSource(TKVAcquireApi Api)
{
    if (Api == kvaWIA) {
        return GetWIAParams()->ConnectToUsingDialog();
    }
    if (Api != kvaTWain) {
        return false;
    }
    return SelectTWainSource(TWainParams(), Daduvudez::KVFindHandle(this));
}

// The client writes each page's values into FPageValues before the page is handed on, so the
// page's record holds them before its resolution is adjusted.
bool TKorvaneMIO::Acquire(TKVAcquireApi Api)
{
    if (FAcquireHandle != nullptr) {
        return true;
    }
    Aborting = false;
    FAcquireIndex = 0;
    if (FView != nullptr) {
        FAcquireIndex = FView->SelectedImage() >= 0 ? FView->SelectedImage() : FView->GetImageCount();
    }
    TProgressRec progress;
    progress.Sender = this;
    progress.Aborting = &Aborting;
    progress.OnProgress = [this](TObject* Sender, int32_t per) {
        if (OnProgress) {
            OnProgress(Sender, per);
        }
    };
    FPageValues = std::make_unique<TIOParamsVals>();
    const auto pageCallBack = [this](TKVBitmap* bitmap, TIOParamsVals*& paramsObject) {
        TWMultiCallBack(bitmap, paramsObject);
    };
    bool result = false;
    try {
        if (Api == kvaTWain) {
            TKVTWainParams& params = TWainParams();
            params.LastError = 0;
            params.LastErrorStr.clear();
            const HWND window = Daduvudez::KVFindHandle(this);
            result = Imscan::KVTW_Acquire(nullptr, true, pageCallBack, params, FPageValues.get(), progress,
                                          params.Shared(), window);
            if (TWinControl* owner = FindControl(window); owner != nullptr && owner->CanFocus()) {
                owner->SetFocus();
            }
        } else if (Api == kvaWIA) {
            TKVWia* wia = GetWIAParams();
            TKVBitmap page;
            wia->TargetBitmap = &page;
            wia->OnPage = [this, wia, &pageCallBack](TKVBitmap* bitmap, TIOParamsVals*& paramsObject) {
                FPageValues->DpiX = wia->DpiX;
                FPageValues->DpiY = wia->DpiY;
                FPageValues->BitsPerSample = wia->BitsPerSample;
                FPageValues->SamplesPerPixel = wia->SamplesPerPixel;
                pageCallBack(bitmap, paramsObject);
            };
            wia->SetDeviceProperty(WiaDocumentHandlingSelect, TKVWiaValue(int32_t(WiaFeeder)));
            wia->SetDeviceProperty(WiaPages, TKVWiaValue(int32_t(0)));
            try {
                result = wia->Transfer(nullptr, true);
            } catch (...) {
                wia->TargetBitmap = nullptr;
                wia->OnPage = nullptr;
                throw;
            }
            wia->TargetBitmap = nullptr;
            wia->OnPage = nullptr;
        }
    } catch (const std::exception&) {
        result = false;
    }
    FPageValues.reset();
    Aborting = !result;
    Update();
    return result;
}

bool TKorvaneMIO::AcquireOpen()
{
    if (FAcquireHandle != nullptr || FView == nullptr) {
        return false;
    }
    FAcquireIndex = FView->SelectedImage() >= 0 ? FView->SelectedImage() : FView->GetImageCount();
    Aborting = false;
    FPageValues = std::make_unique<TIOParamsVals>();
    FAcquireHandle = OpenTWainSession(
        [this] { TWCloseCallBack(); },
        [this](TKVBitmap* bitmap, TIOParamsVals*& paramsObject) { TWMultiCallBack(bitmap, paramsObject); },
        TWainParams(), FPageValues.get(), FView);
    return FAcquireHandle != nullptr;
}

void TKorvaneMIO::AcquireClose()
{
    if (FAcquireHandle != nullptr) {
        Imscan::KVTWAINAcquireClose(FAcquireHandle);
    }
}

void TKorvaneMIO::TWCloseCallBack()
{
    FAcquireHandle = nullptr;
}

void TKorvaneMIO::TWMultiCallBack(TKVBitmap* Bitmap, TIOParamsVals*& ParamsObject)
{
    ParamsObject = nullptr;
    bool handled = false;
    if (OnAcquireBitmap) {
        OnAcquireBitmap(this, Bitmap, handled);
    }
    if (handled || FView == nullptr || Bitmap == nullptr || Bitmap->GetWidth() < 1) {
        return;
    }
    const int32_t idx = std::clamp(FAcquireIndex, 0, FView->GetImageCount());
    FView->InsertImageEx(idx);
    TIOParamsVals* params = GetParams(idx);
    if (FPageValues != nullptr) {
        params->DpiX = FPageValues->DpiX;
        params->DpiY = FPageValues->DpiY;
        params->BitsPerSample = FPageValues->BitsPerSample;
        params->SamplesPerPixel = FPageValues->SamplesPerPixel;
    }
    params->Width = Bitmap->GetWidth();
    params->Height = Bitmap->GetHeight();
    params->FreeColorMap();
    params->FileName.clear();
    if (AutoAdjustDPI && params->DpiX != params->DpiY && params->DpiX > 0 && params->DpiY > 0) {
        TKVBitmap adjusted;
        adjusted.Assign(Bitmap);
        AdjustBitmapDPI(adjusted, *params, FilteredAdjustDPI);
        FView->SetKVBitmapEx(idx, &adjusted);
    } else {
        FView->SetKVBitmapEx(idx, Bitmap);
    }
    FView->SetImageDelayTime(idx, AcquiredPageDelay);
    FAcquireIndex = idx + 1;
}
