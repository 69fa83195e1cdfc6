// Kvwia: acquisition by the image-acquisition model of devices, items and properties, with pages
// handed over as BMP data in bands through a data callback. The devices are those of the scanner
// library; the properties in use map onto their options.
#pragma once

#include "platform/core/classes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class TIOParamsVals;
class TKVBitmap;

namespace Korvaneio::detail {
class TSaneDevice;
}

// A property value: none, a whole number, a number or a text (format identifiers are texts).
using TKVWiaValue = std::variant<std::monostate, int32_t, double, std::string>;

// Property identifiers.
enum : int32_t
{
    WIA_DIP_DEV_ID = 2,
    WIA_DIP_VEND_DESC = 3,
    WIA_DIP_DEV_TYPE = 5,
    WIA_DIP_PORT_NAME = 6,
    WIA_DIP_DEV_NAME = 7,
    WIA_DIP_SERVER_NAME = 8,
    WIA_DIP_DRIVER_VERSION = 15,
    WIA_DPS_DOCUMENT_HANDLING_SELECT = 3088,
    WIA_DPS_PAGES = 3096,
    WIA_IPA_FORMAT = 4106,
    WIA_IPA_TYMED = 4108,
    WIA_IPS_XRES = 6147,
    WIA_IPS_YRES = 6148
};

// Values of the document handling (bits) and of the transfer medium.
enum : int32_t
{
    FEEDER = 1,
    FLATBED = 2,
    DUPLEX = 4,
    TYMED_CALLBACK = 128,
    TYMED_MULTIPAGE_CALLBACK = 512
};

// Messages of the data callback.
enum : int32_t
{
    IT_MSG_DATA_HEADER = 1,
    IT_MSG_DATA = 2,
    IT_MSG_STATUS = 3,
    IT_MSG_TERMINATION = 4,
    IT_MSG_NEW_PAGE = 5
};

// Item types (bits).
enum : int32_t
{
    WiaItemTypeImage = 0x1,
    WiaItemTypeFolder = 0x4,
    WiaItemTypeRoot = 0x8,
    WiaItemTypeDevice = 0x40
};

// Data formats.
extern const char* const WiaImgFmt_MEMORYBMP;
extern const char* const WiaImgFmt_BMP;
extern const char* const WiaImgFmt_JPEG;

// What a property allows (bits of GetItemPropertyAttrib's attribute set).
enum : uint32_t
{
    kvwaRead = 1,
    kvwaWrite = 2,
    kvwaSync = 4,
    kvwaNone = 8,
    kvwaRange = 16,
    kvwaList = 32,
    kvwaFlag = 64,
    kvwaCacheable = 128
};
using TKVWiaAttributes = uint32_t;

// The header sent before each page: its size (28), format, byte length and page count.
struct TKVWiaDataHeader
{
    int32_t Size = 28;
    std::string FormatID;
    int32_t BufferSize = 0;
    int32_t PageCount = 0;
};

class TKVWiaDeviceInfo : public TObject
{
public:
    std::string ID;
    std::string Name;
    int32_t DeviceType = 0; // 0 scanner, 1 digital camera, 2 video
    std::string DriverVersion;
    std::string PortName;
    std::string ServerName;
    std::string VendorDescription;
};

class TKVWiaItem : public TObject
{
public:
    int32_t ItemType = 0;
    std::vector<std::unique_ptr<TKVWiaItem>> Children;
};

// The allowed values of a property: a list, or a range with its nominal value.
class TKVWiaValues : public TObject
{
public:
    std::vector<TKVWiaValue> Values;
    TKVWiaValue Min;
    TKVWiaValue Max;
    TKVWiaValue Step;
    TKVWiaValue Nominal;
    int32_t Count() const { return static_cast<int32_t>(Values.size()); }
    TKVWiaValue GetValues(int32_t Index) const;
};

using TKVWiaOnProgress = std::function<bool(int32_t Percent)>;
using TKVWiaPageCallBack = std::function<void(TKVBitmap* Bitmap, TIOParamsVals*& Params)>;

class TKVWia : public TObject
{
public:
    explicit TKVWia(TComponent* Owner);
    ~TKVWia() override;
    TKVWia(const TKVWia&) = delete;
    TKVWia& operator=(const TKVWia&) = delete;

    // ---- Devices ----
    void FillDevices();
    void EmptyDeviceInfo();
    int32_t GetDevicesInfoCount();
    TKVWiaDeviceInfo* GetDevicesInfo(int32_t Index);
    bool ConnectTo(int32_t Index);
    bool ConnectToDefault();
    bool ConnectToUsingDialog();

    // ---- Items and properties; a nil item is the default item ----
    TKVWiaItem* GetRoot() const { return FRoot.get(); }
    void FillItemChildren(TKVWiaItem* Item);
    bool GetDefaultItem(TKVWiaItem*& Item);
    TKVWiaValue GetItemProperty(int32_t PropId, TKVWiaItem* Item);
    bool SetItemProperty(int32_t PropId, const TKVWiaValue& Value, TKVWiaItem* Item);
    bool GetItemPropertyAttrib(int32_t PropId, TKVWiaItem* Item, TKVWiaAttributes& Attributes,
                               TKVWiaValues& Values);
    TKVWiaValue GetDeviceProperty(int32_t PropId);
    bool SetDeviceProperty(int32_t PropId, const TKVWiaValue& Value);

    // ---- Acquiring ----
    // The device's settings dialog; true when the user asked to scan.
    bool ShowAcquireDialog(bool CommonUI);
    // Transfers the item's pages (with MultiPage every page the feeder holds, up to the pages
    // property); true when the transfer succeeded.
    bool Transfer(TKVWiaItem* Item, bool MultiPage);
    // Decodes one page into the target bitmap and hands it on; false when nothing was decoded.
    bool GetPage(const TKVWiaDataHeader& Header, const uint8_t* Buffer, int32_t Length);

    TComponent* Owner() const { return FOwner; }
    TKVWiaPageCallBack OnPage;
    TKVWiaOnProgress OnProgress;
    TKVBitmap* TargetBitmap = nullptr;
    // The resolution and sample layout of the last page, set before it is handed on.
    int32_t DpiX = 0;
    int32_t DpiY = 0;
    int32_t BitsPerSample = 0;
    int32_t SamplesPerPixel = 0;

private:
    bool Connected() const;
    bool SetDocumentHandling(int32_t Value);
    int32_t DocumentHandling() const;

    TComponent* FOwner;
    bool FManager = false;
    std::vector<std::unique_ptr<TKVWiaDeviceInfo>> FDevices;
    std::unique_ptr<TKVWiaItem> FRoot;
    std::unique_ptr<Korvaneio::detail::TSaneDevice> FDevice;
    int32_t FTymed = TYMED_CALLBACK;
    std::string FFormat;
    int32_t FPages = 1;
};
