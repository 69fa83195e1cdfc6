// Acquiring into the I/O component's working bitmap from scanners and cameras: modal TWAIN and
// WIA acquisition, the choice of source, and modeless TWAIN acquisition through the attached view.
#include "imaging/core/kvbitmap.h"
#include "imaging/core/window_helpers.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/imscan.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/kvwia.h"
#include "imaging/view/kvview.h"
#include "platform/forms/controls.h"

using namespace Korvaneio::detail;

TKVTWainParams& TKorvaneIO::TWainParams()
{
    if (FTWainParams == nullptr) {
        FTWainParams = std::make_unique<TKVTWainParams>(this);
    }
    return *FTWainParams;
}

TKVWia* TKorvaneIO::GetWIAParams()
{
    if (FWia == nullptr) {
        FWia = std::make_unique<TKVWia>(this);
        FWia->OnProgress = [this](int32_t percent) { return WiaOnProgress(percent); };
    }
    return FWia.get();
}

bool TKorvaneIO::WiaOnProgress(int32_t Percent)
{
    if (OnProgress) {
        OnProgress(this, Percent);
    }
    return !Aborting;
}

// The scan runs on the calling thread whatever AsyncMode says: a worker would have to show the
// source's dialog, and the caller needs the result.
bool TKorvaneIO::Acquire(TKVAcquireApi Api)
{
    if (FAcquireHandle != nullptr) {
        return true;
    }
    bool result = false;
    RunOperation([&] {
        Aborting = false;
        if (FKVBitmap == nullptr) {
            return;
        }
        Reencapsulate();
        TProgressRec progress;
        progress.Sender = this;
        progress.Aborting = &Aborting;
        progress.OnProgress = [this](TObject* Sender, int32_t per) {
            if (OnProgress) {
                OnProgress(Sender, per);
            }
        };
        if (Api == kvaTWain) {
            TKVTWainParams& params = TWainParams();
            params.LastError = 0;
            params.LastErrorStr.clear();
            const HWND window = Daduvudez::KVFindHandle(this);
            result = Imscan::KVTW_Acquire(FKVBitmap, false, nullptr, params, FParams.get(), progress,
                                          params.Shared(), window);
            if (result) {
                if (AutoAdjustDPI) {
                    AdjustDPI();
                }
                if (FAttachedKorvane != nullptr) {
                    FAttachedKorvane->SetDPIX(FParams->DpiX);
                    FAttachedKorvane->SetDPIY(FParams->DpiY);
                }
            }
            if (TWinControl* owner = FindControl(window); owner != nullptr && owner->CanFocus()) {
                owner->SetFocus();
            }
        } else if (Api == kvaWIA) {
            TKVWia* wia = GetWIAParams();
            wia->TargetBitmap = FKVBitmap;
            result = wia->Transfer(nullptr, false);
        }
        Aborting = !result;
        Update();
    });
    return result;
}

namespace Korvaneio::detail {

bool SelectTWainSource(TKVTWainParams& Params, uintptr_t Window)
{
    std::string name = Params.GetSourceName(Params.SelectedSource());
    if (!Imscan::KVTW_SelectImageSource(name, Params.Shared(), Window)) {
        return false;
    }
    // The chosen source itself, though another's name may start with its name.
    const std::vector<TKVTWIdentity>& sources = Params.SourceList();
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].ProductName == name) {
            Params.SetSelectedSource(int32_t(i));
            return true;
        }
    }
    return Params.SelectSourceByName(name);
}

Imscan::TKVProxyWin* OpenTWainSession(const Imscan::TKVTWCloseCallBack& CloseCallBack,
                                      const Imscan::TKVTWMultiCallBack& PageCallBack, TKVTWainParams& Params,
                                      TIOParamsVals* PageValues, TWinControl* Parent)
{
    Params.FreeResources();
    Params.LastError = 0;
    Params.LastErrorStr.clear();
    return Imscan::KVTWAINAcquireOpen(CloseCallBack, PageCallBack, Params, Params.Shared(), PageValues,
                                      Parent);
}

} // namespace Korvaneio::detail

bool TKorvaneIO::SelectAcquireSource(TKVAcquireApi Api)
{
    if (Api == kvaWIA) {
        return GetWIAParams()->ConnectToUsingDialog();
    }
    if (Api != kvaTWain) {
        return false;
    }
    return SelectTWainSource(TWainParams(), Daduvudez::KVFindHandle(this));
}

bool TKorvaneIO::AcquireOpen()
{
    if (FAcquireHandle != nullptr || FAttachedKorvane == nullptr) {
        return false;
    }
    Aborting = false;
    FAcquireHandle = OpenTWainSession(
        [this] { TWCloseCallBack(); },
        [this](TKVBitmap* bitmap, TIOParamsVals*& paramsObject) { TWMultiCallBack(bitmap, paramsObject); },
        TWainParams(), FParams.get(), FAttachedKorvane);
    return FAcquireHandle != nullptr;
}

void TKorvaneIO::AcquireClose()
{
    if (FAcquireHandle != nullptr) {
        Imscan::KVTWAINAcquireClose(FAcquireHandle);
    }
}

void TKorvaneIO::TWCloseCallBack()
{
    FAcquireHandle = nullptr;
}

void TKorvaneIO::DoAcquireBitmap(TKVBitmap* ABitmap, bool& Handled)
{
    if (OnAcquireBitmap) {
        OnAcquireBitmap(this, ABitmap, Handled);
    }
}

// The client has written the page's values into Params before this call, so the resolution
// adjustment works on this page's resolution.
void TKorvaneIO::TWMultiCallBack(TKVBitmap* Bitmap, TIOParamsVals*& ParamsObject)
{
    Reencapsulate();
    bool handled = false;
    DoAcquireBitmap(Bitmap, handled);
    if (handled || FKVBitmap == nullptr) {
        return;
    }
    ParamsObject = FParams.get();
    FKVBitmap->Assign(Bitmap);
    if (AutoAdjustDPI) {
        AdjustDPI();
    }
    Update();
}
