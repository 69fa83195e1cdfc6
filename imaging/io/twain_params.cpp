// The scanner settings of an I/O component: defaults, copies, the source list and the capabilities
// read lazily from the selected source.
#include "imaging/core/window_helpers.h"
#include "imaging/io/detail/twain_session.h"
#include "imaging/io/imscan.h"

#include <cctype>

namespace {

std::string First32(const std::string& value)
{
    return value.substr(0, 32);
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix)
{
    if (prefix.size() > text.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

void TKVTWSourceCaps::Assign(const TKVTWSourceCaps& source)
{
    if (&source == this) {
        return;
    }
    XResolution.Assign(&source.XResolution);
    YResolution.Assign(&source.YResolution);
    XScaling.Assign(&source.XScaling);
    YScaling.Assign(&source.YScaling);
    PixelType.Assign(&source.PixelType);
    Orientation.Assign(&source.Orientation);
    Contrast.Assign(&source.Contrast);
    Brightness.Assign(&source.Brightness);
    StandardSize.Assign(&source.StandardSize);
    Gamma = source.Gamma;
    PhysicalHeight = source.PhysicalHeight;
    PhysicalWidth = source.PhysicalWidth;
    FeederEnabled = source.FeederEnabled;
    Indicators = source.Indicators;
    AcquireFrameLeft = source.AcquireFrameLeft;
    AcquireFrameTop = source.AcquireFrameTop;
    AcquireFrameRight = source.AcquireFrameRight;
    AcquireFrameBottom = source.AcquireFrameBottom;
    BufferedTransfer = source.BufferedTransfer;
    FileTransfer = source.FileTransfer;
    DuplexEnabled = source.DuplexEnabled;
    AcquireFrameEnabled = source.AcquireFrameEnabled;
    FeederLoaded = source.FeederLoaded;
    DuplexSupported = source.DuplexSupported;
    PaperDetectable = source.PaperDetectable;
    Threshold = source.Threshold;
    UndefinedImageSize = source.UndefinedImageSize;
    AutoFeed = source.AutoFeed;
}

TKVTWainParams::TKVTWainParams(TComponent* Owner, bool MultiImageOwner)
    : FOwner(Owner), FMultiImageOwner(MultiImageOwner)
{
    SetDefaultParams();
}

TKVTWainParams::~TKVTWainParams()
{
    Imscan::KVTW_FreeResources(FShared, 0);
}

void TKVTWainParams::SetDefaultParams()
{
    VisibleDialog = true;
    FSourceList.clear();
    FSelectedSource = 0;
    FSourceListFilled = false;
    FCapabilitiesRead = false;
    TKVTWSourceCaps defaults;
    defaults.FeederEnabled = FMultiImageOwner;
    defaults.DuplexEnabled = FMultiImageOwner;
    defaults.AutoFeed = FMultiImageOwner;
    FCapabilities.Assign(defaults);
    FAppVersionInfo.clear();
    FAppManufacturer.clear();
    FAppProductFamily.clear();
    FAppProductName.clear();
    CompatibilityMode = false;
    LastError = 0;
    LastErrorStr.clear();
}

void TKVTWainParams::Assign(const TKVTWainParams& Source)
{
    if (&Source == this) {
        return;
    }
    VisibleDialog = Source.VisibleDialog;
    FSourceList = Source.FSourceList;
    FSelectedSource = Source.FSelectedSource;
    FSourceListFilled = Source.FSourceListFilled;
    FCapabilitiesRead = Source.FCapabilitiesRead;
    FCapabilities.Assign(Source.FCapabilities);
    FAppVersionInfo = Source.FAppVersionInfo;
    FAppManufacturer = Source.FAppManufacturer;
    FAppProductFamily = Source.FAppProductFamily;
    FAppProductName = Source.FAppProductName;
    CompatibilityMode = Source.CompatibilityMode;
    LastError = Source.LastError;
    LastErrorStr = Source.LastErrorStr;
}

void TKVTWainParams::FreeResources()
{
    Imscan::KVTW_FreeResources(FShared, Daduvudez::KVFindHandle(FOwner));
    FShared = TKVTWainShared{};
}

// ---------------------------------------------------------------------------------------------
// Sources

void TKVTWainParams::FillSourceListData()
{
    if (FSourceListFilled) {
        return;
    }
    FSourceList.clear();
    Imscan::KVTW_GetSourceList(FSourceList, FShared, Daduvudez::KVFindHandle(FOwner));
    FSourceListFilled = true;
}

const std::vector<TKVTWIdentity>& TKVTWainParams::SourceList()
{
    FillSourceListData();
    return FSourceList;
}

int32_t TKVTWainParams::GetSourceCount()
{
    FillSourceListData();
    return static_cast<int32_t>(FSourceList.size());
}

std::string TKVTWainParams::GetSourceName(int32_t Index)
{
    FillSourceListData();
    if (Index < 0 || size_t(Index) >= FSourceList.size()) {
        return std::string();
    }
    return FSourceList[size_t(Index)].ProductName;
}

bool TKVTWainParams::SelectSourceByName(const std::string& Name)
{
    FillSourceListData();
    for (size_t i = 0; i < FSourceList.size(); ++i) {
        if (StartsWithIgnoringCase(FSourceList[i].ProductName, Name)) {
            if (int32_t(i) != FSelectedSource) {
                SetSelectedSource(int32_t(i));
            }
            return true;
        }
    }
    return false;
}

void TKVTWainParams::SetSelectedSource(int32_t Index)
{
    if (Index == FSelectedSource) {
        return;
    }
    FSelectedSource = Index;
    FCapabilitiesRead = false;
    FillCapabilities();
}

int32_t TKVTWainParams::GetDefaultSource()
{
    std::string name;
    if (!Imscan::KVTW_GetDefaultSource(FShared, Daduvudez::KVFindHandle(FOwner), name)) {
        return 0;
    }
    FillSourceListData();
    for (size_t i = 0; i < FSourceList.size(); ++i) {
        if (StartsWithIgnoringCase(FSourceList[i].ProductName, name)) {
            return int32_t(i);
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Capabilities

void TKVTWainParams::FillCapabilities()
{
    if (FCapabilitiesRead) {
        return;
    }
    Imscan::KVTW_GetCapabilities(*this, FCapabilities, false, Daduvudez::KVFindHandle(FOwner), FShared);
    FCapabilitiesRead = true;
}

bool TKVTWainParams::GetFromScanner()
{
    FCapabilitiesRead = true;
    return Imscan::KVTW_GetCapabilities(*this, FCapabilities, false, Daduvudez::KVFindHandle(FOwner),
                                        FShared);
}

bool TKVTWainParams::Update()
{
    FCapabilitiesRead = true;
    return Imscan::KVTW_GetCapabilities(*this, FCapabilities, true, Daduvudez::KVFindHandle(FOwner), FShared);
}

TKVDoubleList& TKVTWainParams::XResolution()
{
    FillCapabilities();
    return FCapabilities.XResolution;
}

TKVDoubleList& TKVTWainParams::YResolution()
{
    FillCapabilities();
    return FCapabilities.YResolution;
}

TKVDoubleList& TKVTWainParams::XScaling()
{
    FillCapabilities();
    return FCapabilities.XScaling;
}

TKVDoubleList& TKVTWainParams::YScaling()
{
    FillCapabilities();
    return FCapabilities.YScaling;
}

TKVDoubleList& TKVTWainParams::Contrast()
{
    FillCapabilities();
    return FCapabilities.Contrast;
}

TKVDoubleList& TKVTWainParams::Brightness()
{
    FillCapabilities();
    return FCapabilities.Brightness;
}

TKVIntegerList& TKVTWainParams::PixelType()
{
    FillCapabilities();
    return FCapabilities.PixelType;
}

TKVIntegerList& TKVTWainParams::Orientation()
{
    FillCapabilities();
    return FCapabilities.Orientation;
}

TKVIntegerList& TKVTWainParams::StandardSize()
{
    FillCapabilities();
    return FCapabilities.StandardSize;
}

int32_t TKVTWainParams::Threshold()
{
    FillCapabilities();
    return FCapabilities.Threshold;
}

double TKVTWainParams::Gamma()
{
    FillCapabilities();
    return FCapabilities.Gamma;
}

bool TKVTWainParams::FeederLoaded()
{
    FillCapabilities();
    return FCapabilities.FeederLoaded;
}

bool TKVTWainParams::PaperDetectable()
{
    FillCapabilities();
    return FCapabilities.PaperDetectable;
}

bool TKVTWainParams::DuplexSupported()
{
    FillCapabilities();
    return FCapabilities.DuplexSupported;
}

double TKVTWainParams::PhysicalHeight()
{
    FillCapabilities();
    return FCapabilities.PhysicalHeight;
}

double TKVTWainParams::PhysicalWidth()
{
    FillCapabilities();
    return FCapabilities.PhysicalWidth;
}

bool TKVTWainParams::AcquireFrameEnabled()
{
    FillCapabilities();
    return FCapabilities.AcquireFrameEnabled;
}

double TKVTWainParams::AcquireFrame(int32_t Index)
{
    FillCapabilities();
    switch (Index) {
    case 0:
        return FCapabilities.AcquireFrameLeft;
    case 1:
        return FCapabilities.AcquireFrameTop;
    case 2:
        return FCapabilities.AcquireFrameRight;
    case 3:
        return FCapabilities.AcquireFrameBottom;
    default:
        return 0;
    }
}

void TKVTWainParams::SetAcquireFrame(int32_t Index, double Value)
{
    double* sides[4] = {&FCapabilities.AcquireFrameLeft, &FCapabilities.AcquireFrameTop,
                        &FCapabilities.AcquireFrameRight, &FCapabilities.AcquireFrameBottom};
    if (Index >= 0 && Index < 4) {
        *sides[Index] = Value;
    }
}

// ---------------------------------------------------------------------------------------------
// Identity and log

void TKVTWainParams::SetAppVersionInfo(const std::string& Value)
{
    FAppVersionInfo = First32(Value);
}

void TKVTWainParams::SetAppManufacturer(const std::string& Value)
{
    FAppManufacturer = First32(Value);
}

void TKVTWainParams::SetAppProductFamily(const std::string& Value)
{
    FAppProductFamily = First32(Value);
}

void TKVTWainParams::SetAppProductName(const std::string& Value)
{
    FAppProductName = First32(Value);
}

void TKVTWainParams::SetLogFile(const std::string& Name)
{
    Imscan::detail::SetLogFileName(Name);
}

std::string TKVTWainParams::GetLogFile()
{
    return Imscan::detail::LogFileName();
}
