// The image-acquisition client over the scanner library: devices and their information, the
// device as root item with one image item, the properties in use mapped onto device options, the
// settings and device dialogs, and the banded transfer of each page as a packed DIB.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/stream_utils.h"
#include "imaging/io/detail/sane_scanner.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/kvwia.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <climits>
#include <optional>

using namespace Korvaneio::detail;

const char* const WiaImgFmt_MEMORYBMP = "{B96B3CAA-0728-11D3-9D7B-0000F81EF32E}";
const char* const WiaImgFmt_BMP = "{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}";
const char* const WiaImgFmt_JPEG = "{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}";

namespace {

constexpr int32_t BandSize = 64 * 1024;

int32_t DeviceTypeOf(const std::string& type)
{
    if (type.find("camera") != std::string::npos) {
        return type.find("video") != std::string::npos ? 2 : 1;
    }
    return 0;
}

std::optional<double> NumberOf(const TKVWiaValue& value)
{
    if (const auto* whole = std::get_if<int32_t>(&value)) {
        return *whole;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return *number;
    }
    return std::nullopt;
}

// A page as the data a device sends: a BMP file, or for the memory-bitmap format a packed DIB
// (the file without its 14-byte file header).
std::vector<uint8_t> BmpData(TScannedPage& page, bool wholeFile)
{
    TMemoryStream stream;
    const int64_t fileHeader = wholeFile ? 0 : 14;
    if (!WritePageBmp(stream, page) || stream.Size() <= fileHeader) {
        return {};
    }
    const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
    return std::vector<uint8_t>(bytes + fileHeader, bytes + stream.Size());
}

// Collects the bands of each page and hands the page over when the next page or the end is
// announced; each message may stop the transfer through the progress callback.
class TWiaDataCallBack
{
public:
    TWiaDataCallBack(TKVWia& owner, const TKVWiaOnProgress& progress) : FOwner(owner), FProgress(progress) {}

    // 0 goes on, 1 cancels.
    int32_t BandedDataCallback(int32_t message, int32_t percent, const TKVWiaDataHeader* header,
                               const uint8_t* buffer, int32_t length)
    {
        int32_t result = 0;
        switch (message) {
        case IT_MSG_DATA_HEADER:
            FHeader = *header;
            FPending = true;
            FData.clear();
            break;
        case IT_MSG_DATA:
            FData.insert(FData.end(), buffer, buffer + length);
            break;
        case IT_MSG_NEW_PAGE:
        case IT_MSG_TERMINATION:
            if (FPending && !FOwner.GetPage(FHeader, FData.data(), int32_t(FData.size()))) {
                result = 1;
            }
            FPending = false;
            FData.clear();
            break;
        default:
            break;
        }
        if (FProgress && !FProgress(percent)) {
            result = 1;
        }
        return result;
    }

private:
    TKVWia& FOwner;
    TKVWiaOnProgress FProgress;
    TKVWiaDataHeader FHeader;
    std::vector<uint8_t> FData;
    bool FPending = false;
};

} // namespace

TKVWiaValue TKVWiaValues::GetValues(int32_t Index) const
{
    return Index >= 0 && Index < Count() ? Values[size_t(Index)] : TKVWiaValue();
}

TKVWia::TKVWia(TComponent* Owner) : FOwner(Owner), FDevice(std::make_unique<TSaneDevice>())
{
    FManager = SaneAcquire();
}

TKVWia::~TKVWia()
{
    FDevice.reset();
    FRoot.reset();
    FDevices.clear();
    if (FManager) {
        SaneRelease();
    }
}

// ---------------------------------------------------------------------------------------------
// Devices

void TKVWia::FillDevices()
{
    EmptyDeviceInfo();
    std::vector<TSaneDeviceInfo> devices;
    if (!FManager || SaneDevices(devices) != SANE_STATUS_GOOD) {
        return;
    }
    const std::string version = SaneVersionText();
    for (const TSaneDeviceInfo& device : devices) {
        auto info = std::make_unique<TKVWiaDeviceInfo>();
        info->ID = device.Name;
        info->Name = device.Vendor.empty() ? device.Model : device.Vendor + " " + device.Model;
        info->DeviceType = DeviceTypeOf(device.Type);
        info->DriverVersion = version;
        info->PortName = device.Name;
        info->ServerName = "local";
        info->VendorDescription = device.Vendor;
        FDevices.push_back(std::move(info));
    }
}

void TKVWia::EmptyDeviceInfo()
{
    FDevices.clear();
}

int32_t TKVWia::GetDevicesInfoCount()
{
    ConnectToDefault();
    if (FDevices.empty()) {
        FillDevices();
    }
    return int32_t(FDevices.size());
}

TKVWiaDeviceInfo* TKVWia::GetDevicesInfo(int32_t Index)
{
    if (FDevices.empty()) {
        FillDevices();
    }
    return Index >= 0 && size_t(Index) < FDevices.size() ? FDevices[size_t(Index)].get() : nullptr;
}

bool TKVWia::Connected() const
{
    return FRoot != nullptr && FDevice->IsOpen();
}

bool TKVWia::ConnectTo(int32_t Index)
{
    FRoot.reset();
    FDevice->Close();
    if (!FManager) {
        return false;
    }
    if (FDevices.empty()) {
        FillDevices();
    }
    if (Index < 0 || size_t(Index) >= FDevices.size() ||
        FDevice->Open(FDevices[size_t(Index)]->ID) != SANE_STATUS_GOOD) {
        return false;
    }
    FRoot = std::make_unique<TKVWiaItem>();
    FRoot->ItemType = WiaItemTypeRoot | WiaItemTypeFolder | WiaItemTypeDevice;
    FillItemChildren(FRoot.get());
    FTymed = TYMED_CALLBACK;
    FFormat = WiaImgFmt_MEMORYBMP;
    FPages = 1;
    return true;
}

bool TKVWia::ConnectToDefault()
{
    return Connected() || ConnectTo(0);
}

bool TKVWia::ConnectToUsingDialog()
{
    if (!FManager) {
        return false;
    }
    FillDevices();
    std::vector<std::string> names;
    int32_t index = 0;
    for (const auto& device : FDevices) {
        if (Connected() && device->ID == FDevice->Name()) {
            index = int32_t(names.size());
        }
        names.push_back(device->Name + " (" + device->ID + ")");
    }
    return DialogService().ChooseScanSource("Select Device", names, index) && ConnectTo(index);
}

// ---------------------------------------------------------------------------------------------
// Items and properties

// A scanner has one image item under its root.
void TKVWia::FillItemChildren(TKVWiaItem* Item)
{
    if (Item == nullptr || Item != FRoot.get()) {
        return;
    }
    Item->Children.clear();
    auto image = std::make_unique<TKVWiaItem>();
    image->ItemType = WiaItemTypeImage;
    Item->Children.push_back(std::move(image));
}

bool TKVWia::GetDefaultItem(TKVWiaItem*& Item)
{
    if (Item != nullptr) {
        return true;
    }
    if (FRoot == nullptr) {
        return false;
    }
    for (const auto& child : FRoot->Children) {
        if ((child->ItemType & WiaItemTypeImage) != 0) {
            Item = child.get();
            return true;
        }
    }
    return false;
}

int32_t TKVWia::DocumentHandling() const
{
    const int32_t option = FDevice->Find(SANE_NAME_SCAN_SOURCE);
    std::string source;
    if (option < 0 || FDevice->GetText(option, source) != SANE_STATUS_GOOD) {
        return FLATBED;
    }
    return IsFeederSource(source) ? (FEEDER | (IsDuplexSource(source) ? DUPLEX : 0)) : FLATBED;
}

bool TKVWia::SetDocumentHandling(int32_t Value)
{
    const int32_t option = FDevice->Find(SANE_NAME_SCAN_SOURCE);
    if (option < 0) {
        return Value == FLATBED;
    }
    const bool feeder = (Value & FEEDER) != 0;
    const bool duplex = (Value & DUPLEX) != 0;
    std::string wanted;
    for (const std::string& source : FDevice->Texts(option)) {
        if (wanted.empty() && IsFeederSource(source) == feeder &&
            (!feeder || IsDuplexSource(source) == duplex)) {
            wanted = source;
        }
    }
    return !wanted.empty() && FDevice->SetText(option, wanted) == SANE_STATUS_GOOD;
}

TKVWiaValue TKVWia::GetItemProperty(int32_t PropId, TKVWiaItem* Item)
{
    if (!ConnectToDefault() || !GetDefaultItem(Item)) {
        return {};
    }
    const bool root = Item == FRoot.get();
    switch (PropId) {
    case WIA_IPA_FORMAT:
        return root ? TKVWiaValue() : TKVWiaValue(FFormat);
    case WIA_IPA_TYMED:
        return root ? TKVWiaValue() : TKVWiaValue(FTymed);
    case WIA_IPS_XRES:
    case WIA_IPS_YRES: {
        if (root) {
            return {};
        }
        const int32_t option = FDevice->ResolutionOption(PropId == WIA_IPS_YRES);
        double value = 0;
        if (option < 0 || FDevice->GetNumber(option, value) != SANE_STATUS_GOOD) {
            return {};
        }
        return TKVWiaValue(Round(value));
    }
    case WIA_DPS_DOCUMENT_HANDLING_SELECT:
        return root ? TKVWiaValue(DocumentHandling()) : TKVWiaValue();
    case WIA_DPS_PAGES:
        return root ? TKVWiaValue(FPages) : TKVWiaValue();
    default:
        break;
    }
    if (root) {
        const std::string& id = FDevice->Name();
        for (const auto& device : FDevices) {
            if (device->ID != id) {
                continue;
            }
            switch (PropId) {
            case WIA_DIP_DEV_ID:
                return device->ID;
            case WIA_DIP_DEV_NAME:
                return device->Name;
            case WIA_DIP_DEV_TYPE:
                return device->DeviceType;
            case WIA_DIP_DRIVER_VERSION:
                return device->DriverVersion;
            case WIA_DIP_PORT_NAME:
                return device->PortName;
            case WIA_DIP_SERVER_NAME:
                return device->ServerName;
            case WIA_DIP_VEND_DESC:
                return device->VendorDescription;
            default:
                break;
            }
        }
    }
    return {};
}

bool TKVWia::SetItemProperty(int32_t PropId, const TKVWiaValue& Value, TKVWiaItem* Item)
{
    if (!ConnectToDefault() || !GetDefaultItem(Item)) {
        return false;
    }
    const bool root = Item == FRoot.get();
    const std::optional<double> number = NumberOf(Value);
    switch (PropId) {
    case WIA_IPA_FORMAT: {
        const auto* text = std::get_if<std::string>(&Value);
        if (root || text == nullptr || (*text != WiaImgFmt_MEMORYBMP && *text != WiaImgFmt_BMP)) {
            return false;
        }
        FFormat = *text;
        return true;
    }
    case WIA_IPA_TYMED:
        if (root || !number ||
            (*number != double(TYMED_CALLBACK) && *number != double(TYMED_MULTIPAGE_CALLBACK))) {
            return false;
        }
        FTymed = int32_t(*number);
        return true;
    case WIA_IPS_XRES:
    case WIA_IPS_YRES: {
        if (root || !number) {
            return false;
        }
        const int32_t option = FDevice->ResolutionOption(PropId == WIA_IPS_YRES);
        return option >= 0 && FDevice->Settable(option) &&
               FDevice->SetNumber(option, *number) == SANE_STATUS_GOOD;
    }
    case WIA_DPS_DOCUMENT_HANDLING_SELECT:
        return root && number && SetDocumentHandling(int32_t(*number));
    case WIA_DPS_PAGES:
        if (!root || !number || *number < 0) {
            return false;
        }
        FPages = int32_t(*number);
        return true;
    default:
        return false;
    }
}

bool TKVWia::GetItemPropertyAttrib(int32_t PropId, TKVWiaItem* Item, TKVWiaAttributes& Attributes,
                                   TKVWiaValues& Values)
{
    if (!ConnectToDefault() || !GetDefaultItem(Item)) {
        return false;
    }
    const bool root = Item == FRoot.get();
    Values.Values.clear();
    Values.Min = Values.Max = Values.Step = Values.Nominal = TKVWiaValue();
    Attributes = kvwaRead;
    switch (PropId) {
    case WIA_IPA_FORMAT:
        if (root) {
            return false;
        }
        Attributes |= kvwaWrite | kvwaList;
        Values.Values = {std::string(WiaImgFmt_MEMORYBMP), std::string(WiaImgFmt_BMP)};
        Values.Nominal = std::string(WiaImgFmt_MEMORYBMP);
        return true;
    case WIA_IPA_TYMED:
        if (root) {
            return false;
        }
        Attributes |= kvwaWrite | kvwaList;
        Values.Values = {int32_t(TYMED_CALLBACK), int32_t(TYMED_MULTIPAGE_CALLBACK)};
        Values.Nominal = int32_t(TYMED_CALLBACK);
        return true;
    case WIA_IPS_XRES:
    case WIA_IPS_YRES: {
        if (root) {
            return false;
        }
        const int32_t option = FDevice->ResolutionOption(PropId == WIA_IPS_YRES);
        if (option < 0) {
            return false;
        }
        const TSaneNumbers numbers = FDevice->Numbers(option);
        Attributes |= FDevice->Settable(option) ? kvwaWrite : kvwaNone;
        if (numbers.IsRange) {
            Attributes |= kvwaRange;
            Values.Min = Round(numbers.Min);
            Values.Max = Round(numbers.Max);
            Values.Step = std::max(1, Round(numbers.Step));
        } else {
            Attributes |= kvwaList;
            for (double value : numbers.Values) {
                Values.Values.emplace_back(std::in_place_type<int32_t>, Round(value));
            }
        }
        Values.Nominal = GetItemProperty(PropId, Item);
        return true;
    }
    case WIA_DPS_DOCUMENT_HANDLING_SELECT: {
        if (!root) {
            return false;
        }
        Attributes |= kvwaWrite | kvwaFlag;
        int32_t offered = 0;
        const int32_t option = FDevice->Find(SANE_NAME_SCAN_SOURCE);
        for (const std::string& source :
             option >= 0 ? FDevice->Texts(option) : std::vector<std::string>{"Flatbed"}) {
            offered |= IsFeederSource(source) ? (FEEDER | (IsDuplexSource(source) ? DUPLEX : 0)) : FLATBED;
        }
        Values.Values = {offered};
        Values.Nominal = DocumentHandling();
        return true;
    }
    case WIA_DPS_PAGES:
        if (!root) {
            return false;
        }
        Attributes |= kvwaWrite | kvwaRange;
        Values.Min = 0;
        Values.Max = int32_t(INT32_MAX);
        Values.Step = 1;
        Values.Nominal = FPages;
        return true;
    default:
        return false;
    }
}

TKVWiaValue TKVWia::GetDeviceProperty(int32_t PropId)
{
    return ConnectToDefault() ? GetItemProperty(PropId, FRoot.get()) : TKVWiaValue();
}

bool TKVWia::SetDeviceProperty(int32_t PropId, const TKVWiaValue& Value)
{
    return ConnectToDefault() && SetItemProperty(PropId, Value, FRoot.get());
}

// ---------------------------------------------------------------------------------------------
// Acquiring

bool TKVWia::ShowAcquireDialog(bool)
{
    if (!ConnectToDefault()) {
        return false;
    }
    FRoot->Children.clear();
    TScanDialogRequest request;
    request.Title = "Scan";
    for (const auto& device : FDevices) {
        if (device->ID == FDevice->Name()) {
            request.Device = device->Name + " (" + device->ID + ")";
        }
    }
    request.Settings = FDevice->Settings();
    request.Apply = [this](const TScanSetting& changed) {
        FDevice->Apply(changed);
        return FDevice->Settings();
    };
    if (!DialogService().ScanSettings(request)) {
        return false;
    }
    FillItemChildren(FRoot.get());
    return true;
}

bool TKVWia::Transfer(TKVWiaItem* Item, bool MultiPage)
{
    if (!FManager || !ConnectToDefault() || !GetDefaultItem(Item)) {
        return false;
    }
    if (MultiPage && !SetItemProperty(WIA_IPA_TYMED, int32_t(TYMED_MULTIPAGE_CALLBACK), Item)) {
        SetItemProperty(WIA_IPA_TYMED, int32_t(TYMED_CALLBACK), Item);
    }
    SetItemProperty(WIA_IPA_FORMAT, std::string(WiaImgFmt_MEMORYBMP), Item);

    const bool feeder = (DocumentHandling() & FEEDER) != 0;
    const int32_t pageLimit = MultiPage && feeder ? (FPages == 0 ? INT32_MAX : FPages) : 1;
    auto resolution = [&](int32_t propId) {
        const TKVWiaValue value = GetItemProperty(propId, Item);
        const int32_t* dpi = std::get_if<int32_t>(&value);
        return dpi != nullptr ? *dpi : 0;
    };
    const bool wholeFile = FFormat == WiaImgFmt_BMP;
    TScanJob job(*FDevice, pageLimit > 1, resolution(WIA_IPS_XRES), resolution(WIA_IPS_YRES), pageLimit);
    TWiaDataCallBack callBack(*this, OnProgress);
    int32_t pages = 0;
    bool cancelled = false;
    job.Start();
    RunModalScan(
        job,
        [&](TScannedPage& page) {
            const std::vector<uint8_t> dib = BmpData(page, wholeFile);
            if (dib.empty()) {
                cancelled = true;
                return false;
            }
            if (pages > 0 && callBack.BandedDataCallback(IT_MSG_NEW_PAGE, 0, nullptr, nullptr, 0) != 0) {
                cancelled = true;
                return false;
            }
            TKVWiaDataHeader header;
            header.FormatID = FFormat;
            header.BufferSize = int32_t(dib.size());
            header.PageCount = pageLimit == INT32_MAX ? 0 : pageLimit;
            if (callBack.BandedDataCallback(IT_MSG_DATA_HEADER, 0, &header, nullptr, 0) != 0) {
                cancelled = true;
                return false;
            }
            for (size_t offset = 0; offset < dib.size(); offset += BandSize) {
                const int32_t length = int32_t(std::min<size_t>(BandSize, dib.size() - offset));
                const int32_t percent = int32_t((offset + size_t(length)) * 100 / dib.size());
                if (callBack.BandedDataCallback(IT_MSG_DATA, percent, nullptr, dib.data() + offset, length) !=
                    0) {
                    cancelled = true;
                    return false;
                }
            }
            ++pages;
            return true;
        },
        nullptr, nullptr);
    if (cancelled) {
        return false;
    }
    const SANE_Status status = job.Status();
    const bool clean = status == SANE_STATUS_GOOD;
    if (pages > 0 && callBack.BandedDataCallback(IT_MSG_TERMINATION, 100, nullptr, nullptr, 0) != 0) {
        return false;
    }
    return clean && pages > 0;
}

// The page is decoded apart and reaches the target only whole: a page that does not decode leaves
// the target as it was and is not handed on.
bool TKVWia::GetPage(const TKVWiaDataHeader& Header, const uint8_t* Buffer, int32_t Length)
{
    if (Buffer == nullptr || Length <= 0) {
        return false;
    }
    TKVMemStream stream(Buffer, Length);
    TIOParamsVals params;
    TKVBitmap page;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    if (Header.FormatID == WiaImgFmt_MEMORYBMP || Header.FormatID == WiaImgFmt_BMP) {
        Bmpfilt::BMPReadStream(stream, page, Length, params, progress, false,
                               Header.FormatID == WiaImgFmt_MEMORYBMP);
    } else if (Header.FormatID == WiaImgFmt_JPEG) {
        Jpegfilt::ReadJPegStream(stream, nullptr, page, params, progress, false);
    } else {
        return false;
    }
    if (aborting || page.GetWidth() < 1 || page.GetHeight() < 1) {
        return false;
    }
    TKVBitmap* target = TargetBitmap != nullptr ? TargetBitmap : &page;
    if (target != &page) {
        target->Assign(&page);
    }
    auto copyPageValues = [&](TIOParamsVals& record) {
        record.DpiX = params.DpiX;
        record.DpiY = params.DpiY;
        record.BitsPerSample = params.BitsPerSample;
        record.SamplesPerPixel = params.SamplesPerPixel;
        record.Width = params.Width;
        record.Height = params.Height;
    };
    // Known before the page is handed on, so that the receiver can size it by its resolution.
    DpiX = params.DpiX;
    DpiY = params.DpiY;
    BitsPerSample = params.BitsPerSample;
    SamplesPerPixel = params.SamplesPerPixel;
    if (OnPage) {
        TIOParamsVals* record = nullptr;
        OnPage(target, record);
        if (record != nullptr) {
            copyPageValues(*record);
        }
    }
    if (auto* io = dynamic_cast<TKorvaneIO*>(FOwner)) {
        copyPageValues(io->Params());
    }
    return true;
}
