// What an application wants from a TWAIN source and what the source offers: TKVTWainParams, the
// scanner settings every I/O component owns, with the identity records and the capability record
// that the TWAIN client fills.
#pragma once

#include "imaging/core/kvlists.h"
#include "platform/core/classes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The identity of a source or of the application (the standard's TW_IDENTITY). A source found
// through the scanner library has its device name ("test:0") as ProductName, its vendor as
// Manufacturer, its model as ProductFamily and its kind ("flatbed scanner") as Version.Info.
struct TKVTWVersion
{
    uint16_t MajorNum = 1;
    uint16_t MinorNum = 0;
    uint16_t Language = 13;
    uint16_t Country = 1;
    std::string Info;
};

struct TKVTWIdentity
{
    uint32_t Id = 0;
    TKVTWVersion Version;
    uint16_t ProtocolMajor = 1;
    uint16_t ProtocolMinor = 9;
    uint32_t SupportedGroups = 3; // control and image
    std::string Manufacturer;
    std::string ProductFamily;
    std::string ProductName;
};

// Kept between acquisitions: whether this record holds a use of the scanner library (the source
// manager, which stays loaded until FreeResources).
struct TKVTWainShared
{
    bool ManagerLoaded = false;
};

// The TWAIN pixel types.
enum : int32_t
{
    TWPT_BW = 0,
    TWPT_GRAY = 1,
    TWPT_RGB = 2
};

// The capabilities of the selected source, in inches and dots per inch. An empty value list means
// that the capability is left as the source has it.
struct TKVTWSourceCaps
{
    TKVDoubleList XResolution;
    TKVDoubleList YResolution;
    TKVDoubleList XScaling;
    TKVDoubleList YScaling;
    TKVIntegerList PixelType;
    double Gamma = 2.2;
    double PhysicalHeight = 0;
    double PhysicalWidth = 0;
    bool FeederEnabled = false;
    TKVIntegerList Orientation;
    bool Indicators = true;
    double AcquireFrameLeft = 0;
    double AcquireFrameTop = 0;
    double AcquireFrameRight = 0;
    double AcquireFrameBottom = 0;
    bool BufferedTransfer = true;
    bool FileTransfer = false;
    bool DuplexEnabled = false;
    bool AcquireFrameEnabled = false;
    bool FeederLoaded = false;
    bool DuplexSupported = false;
    bool PaperDetectable = false;
    TKVDoubleList Contrast;
    TKVDoubleList Brightness;
    int32_t Threshold = 128;
    bool UndefinedImageSize = false;
    TKVIntegerList StandardSize;
    bool AutoFeed = false;

    // Every value and list of another record.
    void Assign(const TKVTWSourceCaps& source);
};

// The scanner settings of a TKorvaneIO. Getters of what the source offers read the source's
// capabilities the first time they are needed after a source is selected; setters only store.
class TKVTWainParams : public TObject
{
public:
    // A multi-image owner, which takes every page a feeder holds, has the feeder, auto-feed and
    // duplex on by default; a single-image one has them off.
    explicit TKVTWainParams(TComponent* Owner, bool MultiImageOwner = false);
    ~TKVTWainParams() override;
    TKVTWainParams(const TKVTWainParams&) = delete;
    TKVTWainParams& operator=(const TKVTWainParams&) = delete;

    // Every setting to its default; the source list and the value lists emptied.
    void SetDefaultParams();
    // Copies every setting, the source list and the value lists; the shared record stays this
    // object's own, as both objects free theirs.
    void Assign(const TKVTWainParams& Source);
    // Ends this object's use of the source manager.
    void FreeResources();

    // ---- Sources ----
    void FillSourceListData();
    int32_t GetSourceCount();
    // The product name of a source, '' out of range.
    std::string GetSourceName(int32_t Index);
    const std::vector<TKVTWIdentity>& SourceList();
    // Selects the first source whose product name starts with Name, ignoring case; false when
    // none does.
    bool SelectSourceByName(const std::string& Name);
    int32_t SelectedSource() const { return FSelectedSource; }
    void SetSelectedSource(int32_t Index);
    // The source manager's default source in the list, 0 when it is not there.
    int32_t GetDefaultSource();

    // ---- Capabilities ----
    void FillCapabilities();
    // Reads the capabilities again.
    bool GetFromScanner();
    // Sends the settings to the source and reads back what it made of them.
    bool Update();
    TKVTWSourceCaps& Capabilities() { return FCapabilities; }

    // Read from the source first.
    TKVDoubleList& XResolution();
    TKVDoubleList& YResolution();
    TKVDoubleList& XScaling();
    TKVDoubleList& YScaling();
    TKVDoubleList& Contrast();
    TKVDoubleList& Brightness();
    TKVIntegerList& PixelType();
    TKVIntegerList& Orientation();
    TKVIntegerList& StandardSize();
    int32_t Threshold();
    double Gamma();
    bool FeederLoaded();
    bool PaperDetectable();
    bool DuplexSupported();
    double PhysicalHeight();
    double PhysicalWidth();
    bool AcquireFrameEnabled();
    // 0 left, 1 top, 2 right, 3 bottom, in inches; another index reads 0 and writes nothing.
    double AcquireFrame(int32_t Index);

    void SetThreshold(int32_t Value) { FCapabilities.Threshold = Value; }
    void SetAcquireFrameEnabled(bool Value) { FCapabilities.AcquireFrameEnabled = Value; }
    void SetAcquireFrame(int32_t Index, double Value);

    // Not read from the source.
    bool FeederEnabled() const { return FCapabilities.FeederEnabled; }
    void SetFeederEnabled(bool Value) { FCapabilities.FeederEnabled = Value; }
    bool AutoFeed() const { return FCapabilities.AutoFeed; }
    void SetAutoFeed(bool Value) { FCapabilities.AutoFeed = Value; }
    bool UndefinedImageSize() const { return FCapabilities.UndefinedImageSize; }
    void SetUndefinedImageSize(bool Value) { FCapabilities.UndefinedImageSize = Value; }
    bool DuplexEnabled() const { return FCapabilities.DuplexEnabled; }
    void SetDuplexEnabled(bool Value) { FCapabilities.DuplexEnabled = Value; }
    bool Indicators() const { return FCapabilities.Indicators; }
    void SetIndicators(bool Value) { FCapabilities.Indicators = Value; }
    bool BufferedTransfer() const { return FCapabilities.BufferedTransfer; }
    void SetBufferedTransfer(bool Value) { FCapabilities.BufferedTransfer = Value; }
    bool FileTransfer() const { return FCapabilities.FileTransfer; }
    void SetFileTransfer(bool Value) { FCapabilities.FileTransfer = Value; }

    // ---- The application's identity, at most 32 characters each ----
    const std::string& AppVersionInfo() const { return FAppVersionInfo; }
    const std::string& AppManufacturer() const { return FAppManufacturer; }
    const std::string& AppProductFamily() const { return FAppProductFamily; }
    const std::string& AppProductName() const { return FAppProductName; }
    void SetAppVersionInfo(const std::string& Value);
    void SetAppManufacturer(const std::string& Value);
    void SetAppProductFamily(const std::string& Value);
    void SetAppProductName(const std::string& Value);

    // ---- The trace of the TWAIN client, one file for the whole process ----
    // Setting a name closes the log that is open and, when the name is not empty, creates the
    // file empty.
    static void SetLogFile(const std::string& Name);
    static std::string GetLogFile();

    TComponent* Owner() const { return FOwner; }
    TKVTWainShared& Shared() { return FShared; }

    // The source shows its own dialog while acquiring.
    bool VisibleDialog = true;
    // Skip the negotiation of capabilities and transfer by file.
    bool CompatibilityMode = false;
    // The code and text of the last failed TWAIN call.
    int32_t LastError = 0;
    std::string LastErrorStr;

private:
    TComponent* FOwner;
    bool FMultiImageOwner;
    std::vector<TKVTWIdentity> FSourceList;
    int32_t FSelectedSource = 0;
    bool FSourceListFilled = false;
    bool FCapabilitiesRead = false;
    TKVTWSourceCaps FCapabilities;
    std::string FAppVersionInfo;
    std::string FAppManufacturer;
    std::string FAppProductFamily;
    std::string FAppProductName;
    TKVTWainShared FShared;
};
