// The TWAIN client over the scanner library: the trace log, condition codes, the states of one
// acquisition, modal and modeless transfers, the source list and the source-selection dialog.
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/io/detail/twain_session.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"
#include "platform/forms/controls.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

using Korvaneio::detail::SaneAcquire;
using Korvaneio::detail::SaneDevices;
using Korvaneio::detail::SaneRelease;
using Korvaneio::detail::TSaneDeviceInfo;
using Korvaneio::detail::TScanJob;

namespace Imscan::detail {

namespace {

std::mutex gLogLock;
std::string gLogFile;

// Posted by the worker of a modeless acquisition to its proxy control.
constexpr uint32_t KVTW_NEWS = WM_USER + 0x7A0;
constexpr uint32_t KVTW_CLOSE = WM_USER + 0x7A1;

std::string SourceDisplayName(const TSaneDeviceInfo& device)
{
    std::string text = device.Vendor;
    if (!device.Model.empty()) {
        text += (text.empty() ? "" : " ") + device.Model;
    }
    return text.empty() ? device.Name : text + " (" + device.Name + ")";
}

// Loads the source manager (state 1 to 2): a use of the scanner library kept in the shared record.
bool LoadManager(TKVTWainShared& shared)
{
    Log("KVTW_LoadSourceManager");
    if (shared.ManagerLoaded) {
        Log("  KVTW_LoadSourceManager : already loaded");
        return true;
    }
    if (!SaneAcquire()) {
        Log("  KVTW_LoadSourceManager : FAILED!");
        return false;
    }
    shared.ManagerLoaded = true;
    Log("  KVTW_LoadSourceManager : Ok");
    return true;
}

bool ListSources(TKVTWainShared& shared, std::vector<TSaneDeviceInfo>& devices)
{
    return LoadManager(shared) && SaneDevices(devices) == SANE_STATUS_GOOD;
}

void FillPageParams(TIOParamsVals& params, const TScannedPage& page)
{
    params.BitsPerSample = page.BitsPerPixel == 24 ? 8 : page.BitsPerPixel;
    params.SamplesPerPixel = page.BitsPerPixel == 24 ? 3 : 1;
    params.DpiX = page.DpiX;
    params.DpiY = page.DpiY;
    params.Width = page.Bitmap->GetWidth();
    params.Height = page.Bitmap->GetHeight();
    params.FreeColorMap();
    params.FileName.clear();
}

} // namespace

void Log(const std::string& message)
{
    std::lock_guard<std::mutex> lock(gLogLock);
    if (gLogFile.empty()) {
        return;
    }
    FILE* file = std::fopen(gLogFile.c_str(), "a");
    if (file == nullptr) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(file, "%s : %s\n", stamp, message.c_str());
    std::fclose(file);
}

void SetLogFileName(const std::string& name)
{
    std::lock_guard<std::mutex> lock(gLogLock);
    gLogFile = name;
    if (!name.empty()) {
        if (FILE* file = std::fopen(name.c_str(), "w")) {
            std::fclose(file);
        }
    }
}

std::string LogFileName()
{
    std::lock_guard<std::mutex> lock(gLogLock);
    return gLogFile;
}

int32_t ConditionOf(SANE_Status status)
{
    switch (status) {
    case SANE_STATUS_GOOD:
    case SANE_STATUS_EOF:
    case SANE_STATUS_CANCELLED:
        return 0;
    case SANE_STATUS_UNSUPPORTED:
        return 13;
    case SANE_STATUS_DEVICE_BUSY:
        return 4;
    case SANE_STATUS_INVAL:
        return 10;
    case SANE_STATUS_JAMMED:
    case SANE_STATUS_NO_DOCS:
        return 20;
    case SANE_STATUS_NO_MEM:
        return 2;
    default:
        return 1;
    }
}

// ---------------------------------------------------------------------------------------------
// One acquisition's states

TAcquisition::TAcquisition(TKVTWainParams& params, TKVTWainShared& shared) : Params(params), Shared(shared) {}

TAcquisition::~TAcquisition()
{
    TearDown();
}

void TAcquisition::Fail(const char* caller, int32_t code)
{
    Params.LastError = code;
    Params.LastErrorStr = KVTW_ConditionText(code);
    Log(std::string(caller) + " : " + Params.LastErrorStr);
}

bool TAcquisition::OpenSource()
{
    if (!LoadManager(Shared)) {
        return false;
    }
    State = 2;
    Log("KVTW_OpenSourceManager");
    std::vector<TSaneDeviceInfo> devices;
    const SANE_Status listed = SaneDevices(devices);
    if (listed != SANE_STATUS_GOOD) {
        Fail("KVTW_Mgr", ConditionOf(listed));
        TearDown();
        return false;
    }
    Log("  KVTW_OpenSourceManager : Ok");
    State = 3;

    Log("KVTW_OpenSource");
    std::string name = Params.GetSourceName(Params.SelectedSource());
    if (name.empty()) {
        KVTW_GetDefaultSource(Shared, 0, name);
    }
    const auto device = std::find_if(devices.begin(), devices.end(),
                                     [&](const TSaneDeviceInfo& info) { return info.Name == name; });
    if (name.empty() || device == devices.end()) {
        Log("  KVTW_OpenSource : FAILED!");
        Fail("KVTW_Mgr", 3);
        TearDown();
        return false;
    }
    const SANE_Status opened = Device.Open(name);
    if (opened != SANE_STATUS_GOOD) {
        Log("  KVTW_OpenSource : FAILED!");
        Fail("KVTW_Mgr", opened == SANE_STATUS_INVAL ? 3 : ConditionOf(opened));
        TearDown();
        return false;
    }
    Source = TKVTWIdentity{};
    Source.ProductName = device->Name;
    Source.Manufacturer = device->Vendor;
    Source.ProductFamily = device->Model;
    Source.Version.Info = device->Type;
    Log("  KVTW_OpenSource : Ok");
    State = 4;
    return true;
}

void TAcquisition::Negotiate()
{
    TransferMode = (Params.FileTransfer() || Params.CompatibilityMode) ? 2
                   : Params.BufferedTransfer()                         ? 1
                                                                       : 0;
    if (Params.CompatibilityMode) {
        Log("KVTW_SetCapabilities");
        Log("  KVTW_SetCapabilities : file transfer only");
        return;
    }
    SetCapabilities(*this);
}

bool TAcquisition::Enable()
{
    Log("KVTW_EnableSource");
    if (Params.VisibleDialog) {
        TScanDialogRequest request;
        request.Title = "Scan";
        TSaneDeviceInfo info{Source.ProductName, Source.Manufacturer, Source.ProductFamily,
                             Source.Version.Info};
        request.Device = SourceDisplayName(info);
        request.Settings = Device.Settings();
        request.Apply = [this](const TScanSetting& changed) {
            Device.Apply(changed);
            return Device.Settings();
        };
        if (!DialogService().ScanSettings(request)) {
            Log("  KVTW_EnableSource : cancelled");
            return false;
        }
    }
    Log("  KVTW_EnableSource : Ok");
    State = 5;
    return true;
}

void TAcquisition::TearDown()
{
    if (State >= 5) {
        Log("KVTW_DisableSource");
        State = 4;
    }
    if (State >= 4) {
        Log("KVTW_CloseSource");
        Device.Close();
        State = 3;
    }
    if (State >= 3) {
        Log("KVTW_CloseSourceManager");
        State = 2;
    }
    if (State >= 2) {
        // The manager stays loaded for the next acquisition, until KVTW_FreeResources.
        Log("KVTW_UnloadSourceManager");
        Log("  KVTW_UnloadSourceManager : kept loaded");
        State = 1;
    }
}

bool TAcquisition::MultiPageFeed() const
{
    const int32_t option = Device.Find(SANE_NAME_SCAN_SOURCE);
    std::string source;
    return option >= 0 && Device.GetText(option, source) == SANE_STATUS_GOOD && IsFeederSource(source);
}

void TAcquisition::PageDpi(int32_t& dpiX, int32_t& dpiY) const
{
    auto resolution = [&](bool vertical) {
        const int32_t option = Device.ResolutionOption(vertical);
        double value = 0;
        return option >= 0 && Device.GetNumber(option, value) == SANE_STATUS_GOOD ? Round(value) : 0;
    };
    dpiX = resolution(false);
    dpiY = resolution(true);
}

// ---------------------------------------------------------------------------------------------
// Handing pages over

// The source writes the page as a BMP file, which is read back by its content. The library's
// temporary file has no name, so nothing is left behind, however the process ends.
bool TPageDelivery::ThroughFile(TScannedPage& page)
{
    try {
        TKVTmpStream file;
        if (!Korvaneio::detail::WritePageBmp(file, page)) {
            return false;
        }
        file.SetPosition(0);
        TKorvaneIO io(nullptr);
        auto loaded = std::make_unique<TKVBitmap>();
        io.SetAttachedKVBitmap(loaded.get());
        io.LoadFromStreamFormat(file, Korvaneio::FindStreamFormat(file));
        if (io.Aborting || loaded->GetWidth() < 1) {
            return false;
        }
        page.Bitmap = std::move(loaded);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool TPageDelivery::Deliver(TScannedPage& page)
{
    if (FTransferMode == 2 && !ThroughFile(page)) {
        return false;
    }
    if (FIOParams != nullptr) {
        FillPageParams(*FIOParams, page);
    }
    if (FCallBack) {
        TIOParamsVals* record = nullptr;
        FCallBack(page.Bitmap.get(), record);
        if (record != nullptr) {
            FillPageParams(*record, page);
        }
    } else if (FTarget != nullptr) {
        FTarget->Assign(page.Bitmap.get());
    }
    ++FDelivered;
    return true;
}

} // namespace Imscan::detail

// ---------------------------------------------------------------------------------------------
// The modeless proxy

namespace Imscan {

using namespace Imscan::detail;

// Keeps its own use of the source manager, so that a proxy whose end was deferred cannot take the
// manager from an acquisition that started meanwhile.
class TKVProxyWin : public TCustomControl
{
public:
    TKVProxyWin(TWinControl* parent, std::unique_ptr<TKVTWainShared> shared,
                std::unique_ptr<TAcquisition> acquisition, const TKVTWCloseCallBack& closeCallBack,
                const TKVTWMultiCallBack& pageCallBack, TIOParamsVals* ioParams)
        : TCustomControl(parent), FShared(std::move(shared)), FAcquisition(std::move(acquisition)),
          FCloseCallBack(closeCallBack),
          FDelivery(nullptr, pageCallBack, ioParams, FAcquisition->TransferMode)
    {
        SetVisible(false);
        SetParent(parent);
        SetBounds(0, 0, 0, 0);
        int32_t dpiX = 0;
        int32_t dpiY = 0;
        FAcquisition->PageDpi(dpiX, dpiY);
        FJob = std::make_unique<TScanJob>(FAcquisition->Device, FAcquisition->MultiPageFeed(), dpiX, dpiY);
        const HWND handle = Handle();
        FJob->OnNews = [handle] { PostMessage(handle, KVTW_NEWS, 0, 0); };
        FAcquisition->State = 6;
        Log("KVTW_XferReadyMulti");
        FJob->Start();
    }

    ~TKVProxyWin() override
    {
        FJob.reset();
        FAcquisition.reset();
        KVTW_FreeResources(*FShared, 0);
        if (FCloseCallBack) {
            FCloseCallBack();
        }
    }

    // Ends the acquisition for its owner, who knows: the close callback is not called. Inside the
    // proxy's own delivery of a page the end waits until the delivery has returned.
    void CloseForOwner()
    {
        FCloseCallBack = nullptr;
        if (!FDelivering) {
            Free();
            return;
        }
        FClosing = true;
        FJob->Cancel();
        PostMessage(Handle(), KVTW_CLOSE, 0, 0);
    }

    void Dispatch(TMessage& Message) override
    {
        if (Message.Msg == KVTW_CLOSE) {
            Free();
            return;
        }
        if (Message.Msg != KVTW_NEWS || FClosing) {
            TCustomControl::Dispatch(Message);
            return;
        }
        FDelivering = true;
        while (!FClosing) {
            std::unique_ptr<TScannedPage> page = FJob->TakePage();
            if (page == nullptr) {
                break;
            }
            Log("  KVTW_XferReadyMulti : getting another image");
            if (!FDelivery.Deliver(*page)) {
                FAcquisition->Fail("KVTW_XferReadyMulti", 1);
                FJob->Cancel();
            } else if (!FClosing) {
                FJob->PageDone();
            }
        }
        FDelivering = false;
        if (!FClosing && FJob->Done()) {
            // The source asks to close once its pages are done.
            FClosing = true;
            const SANE_Status status = FJob->Status();
            if (status != SANE_STATUS_GOOD && status != SANE_STATUS_CANCELLED) {
                FAcquisition->Fail("KVTW_DS", ConditionOf(status));
            }
            PostMessage(Handle(), KVTW_CLOSE, 0, 0);
        }
    }

private:
    std::unique_ptr<TKVTWainShared> FShared;
    std::unique_ptr<TAcquisition> FAcquisition;
    TKVTWCloseCallBack FCloseCallBack;
    TPageDelivery FDelivery;
    std::unique_ptr<TScanJob> FJob;
    bool FDelivering = false;
    bool FClosing = false;
};

// ---------------------------------------------------------------------------------------------
// The client's operations

std::string KVTW_ConditionText(int32_t Code)
{
    switch (Code) {
    case 0:
        return "Operation worked.";
    case 1:
        return "General failure. Unload Source immediately.";
    case 2:
        return "Not enough memory to complete operation.";
    case 3:
        return "Source Manager unable to find the specified Source.";
    case 4:
        return "Source is connected to maximum supported number of applications.";
    case 5:
        return "Source or Source Manager reported an error to the user and handled the error; no application "
               "action required.";
    case 6:
        return "Capability not supported by Source or operation (get,set) is not supported on capability, or "
               "capability had dependencies on other capabilities and cannot be operated upon at this time";
    case 9:
        return "Unrecognized operation triplet.";
    case 10:
        return "Data parameter out of supported range.";
    case 11:
        return "Illegal operation for current Source Manager Source state.";
    case 12:
        return "Unknown destination in DSM_Entry.";
    case 13:
        return "Capability not supported by Source.";
    case 14:
        return "Operation not supported on capability.";
    case 15:
        return "Capability has dependencies on other capabilities and cannot be operated upon at this time.";
    case 16:
        return "File System operation is denied (file is protected).";
    case 17:
        return "Operation failed because file already exists.";
    case 18:
        return "File not found.";
    case 19:
        return "Operation failed because directory is not empty.";
    case 20:
    case 21:
        return "Transfer failed because of a feeder error";
    default:
        return "Unknown Condition " + std::to_string(Code);
    }
}

bool KVTW_Acquire(TKVBitmap* Bitmap, bool MultiPage, const TKVTWMultiCallBack& PageCallBack,
                  TKVTWainParams& Params, TIOParamsVals* IOParams, TProgressRec& Progress,
                  TKVTWainShared& Shared, HWND)
{
    Log("KVTW_Acquire");
    TAcquisition acquisition(Params, Shared);
    if (!acquisition.OpenSource()) {
        return false;
    }
    acquisition.Negotiate();
    if (!acquisition.Enable()) {
        return false;
    }
    const bool multiPage = MultiPage && PageCallBack;
    int32_t dpiX = 0;
    int32_t dpiY = 0;
    acquisition.PageDpi(dpiX, dpiY);
    TPageDelivery delivery(Bitmap, multiPage ? PageCallBack : TKVTWMultiCallBack(), IOParams,
                           acquisition.TransferMode);
    TScanJob job(acquisition.Device, multiPage && acquisition.MultiPageFeed(), dpiX, dpiY);
    auto aborted = [&] { return Progress.Aborting != nullptr && *Progress.Aborting; };
    bool failed = false;
    bool stopped = false;
    acquisition.State = 6;
    Log(multiPage ? "KVTW_XferReadyMulti" : "KVTW_XferReady");
    job.Start();
    Korvaneio::detail::RunModalScan(
        job,
        [&](TScannedPage& page) {
            if (multiPage) {
                Log("  KVTW_XferReadyMulti : getting another image");
            }
            if (!delivery.Deliver(page)) {
                failed = true;
                return false;
            }
            stopped = stopped || aborted();
            return !stopped;
        },
        [&](int32_t percent) {
            if (Progress.OnProgress) {
                Progress.OnProgress(Progress.Sender, percent);
            }
        },
        [&] {
            stopped = stopped || aborted();
            return stopped;
        });
    const SANE_Status status = job.Status();
    if (failed) {
        acquisition.Fail(multiPage ? "KVTW_XferReadyMulti" : "KVTW_XferReady", 1);
        return false;
    }
    if (status != SANE_STATUS_GOOD && status != SANE_STATUS_CANCELLED) {
        acquisition.Fail("KVTW_DS", ConditionOf(status));
        return false;
    }
    if (stopped || status == SANE_STATUS_CANCELLED) {
        Log("KVTW_AbortAllPendingXfers");
        return false;
    }
    Log(std::string(multiPage ? "  KVTW_XferReadyMulti" : "  KVTW_XferReady") + " : Ok");
    return delivery.Delivered() > 0;
}

TKVProxyWin* KVTWAINAcquireOpen(const TKVTWCloseCallBack& CloseCallBack,
                                const TKVTWMultiCallBack& PageCallBack, TKVTWainParams& Params,
                                TKVTWainShared& Shared, TIOParamsVals* IOParams, TWinControl* Parent)
{
    if (Parent == nullptr) {
        return nullptr;
    }
    // The record handed in serves modal calls; the acquisition keeps a use of its own.
    KVTW_FreeResources(Shared, 0);
    auto shared = std::make_unique<TKVTWainShared>();
    auto acquisition = std::make_unique<TAcquisition>(Params, *shared);
    if (!acquisition->OpenSource()) {
        KVTW_FreeResources(*shared, 0);
        return nullptr;
    }
    acquisition->Negotiate();
    if (!acquisition->Enable()) {
        acquisition.reset();
        KVTW_FreeResources(*shared, 0);
        return nullptr;
    }
    return new TKVProxyWin(Parent, std::move(shared), std::move(acquisition), CloseCallBack, PageCallBack,
                           IOParams);
}

void KVTWAINAcquireClose(TKVProxyWin*& Handle)
{
    TKVProxyWin* proxy = Handle;
    Handle = nullptr;
    if (proxy != nullptr) {
        proxy->CloseForOwner();
    }
}

bool KVTW_SelectImageSource(std::string& Name, TKVTWainShared& Shared, HWND)
{
    std::vector<TSaneDeviceInfo> devices;
    if (!ListSources(Shared, devices)) {
        return false;
    }
    std::vector<std::string> names;
    int32_t index = -1;
    for (const TSaneDeviceInfo& device : devices) {
        if (device.Name == Name) {
            index = int32_t(names.size());
        }
        names.push_back(SourceDisplayName(device));
    }
    if (!DialogService().ChooseScanSource("Select Source", names, index) || index < 0 ||
        size_t(index) >= devices.size()) {
        return false;
    }
    Name = devices[size_t(index)].Name;
    return true;
}

void KVTW_GetSourceList(std::vector<TKVTWIdentity>& List, TKVTWainShared& Shared, HWND)
{
    std::vector<TSaneDeviceInfo> devices;
    if (!ListSources(Shared, devices)) {
        return;
    }
    for (const TSaneDeviceInfo& device : devices) {
        TKVTWIdentity identity;
        identity.Id = uint32_t(List.size() + 1);
        identity.ProductName = device.Name;
        identity.Manufacturer = device.Vendor;
        identity.ProductFamily = device.Model;
        identity.Version.Info = device.Type;
        List.push_back(identity);
    }
}

bool KVTW_GetDefaultSource(TKVTWainShared& Shared, HWND, std::string& Name)
{
    std::vector<TSaneDeviceInfo> devices;
    if (!ListSources(Shared, devices) || devices.empty()) {
        return false;
    }
    Name = devices.front().Name;
    if (const char* preferred = std::getenv("SANE_DEFAULT_DEVICE")) {
        for (const TSaneDeviceInfo& device : devices) {
            if (device.Name == preferred) {
                Name = device.Name;
            }
        }
    }
    return true;
}

bool KVTW_GetCapabilities(TKVTWainParams& Params, TKVTWSourceCaps& Caps, bool Set, HWND,
                          TKVTWainShared& Shared)
{
    TAcquisition acquisition(Params, Shared);
    if (!acquisition.OpenSource()) {
        return false;
    }
    if (Set) {
        acquisition.Negotiate();
    }
    ReadCapabilities(acquisition.Device, Caps);
    return true;
}

void KVTW_FreeResources(TKVTWainShared& Shared, HWND)
{
    if (!Shared.ManagerLoaded) {
        return;
    }
    Log("KVTW_UnloadSourceManager");
    SaneRelease();
    Shared.ManagerLoaded = false;
    Log("  KVTW_UnloadSourceManager : Ok");
}

} // namespace Imscan
