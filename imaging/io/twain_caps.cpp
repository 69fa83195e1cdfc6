// TWAIN capabilities over a scanner's options: resolution, scan mode and depth as the pixel type,
// the document source as feeder and duplex, the scan area in millimetres as the frame in inches,
// brightness, contrast and threshold.
#include "imaging/io/detail/twain_session.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cctype>

namespace Imscan::detail {

namespace {

constexpr double MillimetresPerInch = 25.4;

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

// The pixel type a scan mode gives at 8 bits, -1 for a mode that is none of the three.
int32_t PixelTypeOfMode(const std::string& mode)
{
    const std::string lower = Lower(mode);
    if (lower.find("color") != std::string::npos || lower.find("colour") != std::string::npos ||
        lower.find("rgb") != std::string::npos) {
        return TWPT_RGB;
    }
    if (lower.find("lineart") != std::string::npos || lower.find("halftone") != std::string::npos ||
        lower.find("binary") != std::string::npos || lower.find("black") != std::string::npos) {
        return TWPT_BW;
    }
    if (lower.find("gray") != std::string::npos || lower.find("grey") != std::string::npos) {
        return TWPT_GRAY;
    }
    return -1;
}

// Whether the application put something in the list: a value read from a source, or one set.
bool HasValues(const TKVDoubleList& list)
{
    return list.Count() > 0 || list.RangeMax() > list.RangeMin() || (list.Changed & kvlCurrentValue) != 0;
}

bool HasValues(const TKVIntegerList& list)
{
    return list.Count() > 0 || list.RangeMax() > list.RangeMin() || (list.Changed & kvlCurrentValue) != 0;
}

void ReadList(const TSaneDevice& device, int32_t option, TKVDoubleList& list)
{
    list.Clear();
    if (option < 0) {
        return;
    }
    const Korvaneio::detail::TSaneNumbers numbers = device.Numbers(option);
    if (numbers.IsRange) {
        list.SetRangeMin(numbers.Min);
        list.SetRangeMax(numbers.Max);
        list.SetRangeStep(numbers.Step);
    }
    for (double value : numbers.Values) {
        list.Add(value);
    }
    double current = 0;
    if (device.GetNumber(option, current) == SANE_STATUS_GOOD) {
        list.SetCurrentValue(current);
    }
    list.Changed = 0;
}

// A length of the scan area in inches; the device counts in millimetres or in pixels.
double ToInches(const TSaneDevice& device, int32_t option, double value)
{
    if (device.Unit(option) == "px") {
        double dpi = 0;
        const int32_t resolution = device.Find(SANE_NAME_SCAN_RESOLUTION);
        return resolution >= 0 && device.GetNumber(resolution, dpi) == SANE_STATUS_GOOD && dpi > 0
                   ? value / dpi
                   : 0;
    }
    return value / MillimetresPerInch;
}

double FromInches(const TSaneDevice& device, int32_t option, double inches)
{
    if (device.Unit(option) == "px") {
        double dpi = 0;
        const int32_t resolution = device.Find(SANE_NAME_SCAN_RESOLUTION);
        return resolution >= 0 && device.GetNumber(resolution, dpi) == SANE_STATUS_GOOD ? inches * dpi : 0;
    }
    return inches * MillimetresPerInch;
}

class TNegotiation
{
public:
    explicit TNegotiation(TAcquisition& acquisition)
        : FAcquisition(acquisition), FDevice(acquisition.Device), FCaps(acquisition.Params.Capabilities())
    {
    }

    void Run()
    {
        Log("KVTW_SetCapabilities");
        Step("ICAP_UNITS", "SetOneUINT16Capability", true);
        Step("ICAP_PIXELFLAVOR", "SetOneUINT16Capability", true);
        if (FCaps.UndefinedImageSize) {
            Step("ICAP_UNDEFINEDIMAGESIZE", "SetOnBoolCapability", true);
        }
        SetList("ICAP_CONTRAST", SANE_NAME_CONTRAST, FCaps.Contrast);
        SetList("ICAP_BRIGHTNESS", SANE_NAME_BRIGHTNESS, FCaps.Brightness);
        if (FCaps.Threshold != 128) {
            SetThreshold();
        }
        SetResolutions();
        Unsupported("ICAP_XSCALING", HasValues(FCaps.XScaling));
        Unsupported("ICAP_YSCALING", HasValues(FCaps.YScaling));
        if (HasValues(FCaps.PixelType)) {
            SetPixelType(std::min(FCaps.PixelType.CurrentValue(), int32_t(TWPT_RGB)));
        }
        Step("ICAP_XFERMECH", "SetOneUINT16Capability", true);
        SetFeeder();
        Unsupported("ICAP_ORIENTATION", HasValues(FCaps.Orientation));
        Unsupported("ICAP_SUPPORTEDSIZES", HasValues(FCaps.StandardSize));
        Step("CAP_INDICATORS", "SetOnBoolCapability", true);
        if (FCaps.AcquireFrameEnabled) {
            SetFrame();
        }
    }

private:
    void Step(const char* capability, const char* routine, bool ok)
    {
        Log(std::string(routine) + " " + capability);
        Log(std::string("  ") + routine + " : " + (ok ? "Ok" : "FAILED!"));
    }

    // A capability the source has no option for.
    void Unsupported(const char* capability, bool wanted)
    {
        if (wanted) {
            Step(capability, "SetDoubleAsFIX32Capability", false);
            FAcquisition.Fail("KVTW_DS", 13);
        }
    }

    bool SetNumber(const char* capability, int32_t option, double value)
    {
        SANE_Status status = SANE_STATUS_UNSUPPORTED;
        if (option >= 0 && FDevice.Settable(option)) {
            status = FDevice.SetNumber(option, value);
        }
        Step(capability, "SetOneDoubleAsFIX32Capability", status == SANE_STATUS_GOOD);
        if (status != SANE_STATUS_GOOD) {
            FAcquisition.Fail("KVTW_DS", ConditionOf(status));
        }
        return status == SANE_STATUS_GOOD;
    }

    bool SetText(const char* capability, int32_t option, const std::string& value)
    {
        SANE_Status status = SANE_STATUS_UNSUPPORTED;
        if (option >= 0 && FDevice.Settable(option)) {
            status = FDevice.SetText(option, value);
        }
        Step(capability, "SetIntegerAsUINT16Capability", status == SANE_STATUS_GOOD);
        if (status != SANE_STATUS_GOOD) {
            FAcquisition.Fail("KVTW_DS", ConditionOf(status));
        }
        return status == SANE_STATUS_GOOD;
    }

    void SetList(const char* capability, const char* optionName, const TKVDoubleList& list)
    {
        if (!HasValues(list)) {
            return;
        }
        SetNumber(capability, FDevice.Find(optionName), list.CurrentValue());
    }

    // A device with one resolution for both directions takes the one the application changed,
    // the horizontal one when it changed both or neither.
    void SetResolutions()
    {
        const int32_t x = FDevice.ResolutionOption(false);
        const int32_t y = FDevice.ResolutionOption(true);
        const bool xChanged = (FCaps.XResolution.Changed & kvlCurrentValue) != 0;
        const bool yChanged = (FCaps.YResolution.Changed & kvlCurrentValue) != 0;
        if (x == y) {
            const TKVDoubleList& list = yChanged && !xChanged ? FCaps.YResolution : FCaps.XResolution;
            if (HasValues(list)) {
                SetNumber("ICAP_XRESOLUTION", x, list.CurrentValue());
            }
            return;
        }
        if (HasValues(FCaps.XResolution)) {
            SetNumber("ICAP_XRESOLUTION", x, FCaps.XResolution.CurrentValue());
        }
        if (HasValues(FCaps.YResolution)) {
            SetNumber("ICAP_YRESOLUTION", y, FCaps.YResolution.CurrentValue());
        }
    }

    // TWAIN's threshold runs from 0 to 255; the device's over its own range.
    void SetThreshold()
    {
        const int32_t option = FDevice.Find(SANE_NAME_THRESHOLD);
        double value = FCaps.Threshold;
        if (option >= 0) {
            const Korvaneio::detail::TSaneNumbers range = FDevice.Numbers(option);
            if (range.IsRange && range.Max > range.Min) {
                value = range.Min + (range.Max - range.Min) * std::clamp(FCaps.Threshold, 0, 255) / 255.0;
            }
        }
        SetNumber("ICAP_THRESHOLD", option, value);
    }

    // A mode of that type, the plainest first ("Color" before "Color Lineart"); a grey mode at
    // depth 1 stands for black and white when the device has no line-art mode.
    void SetPixelType(int32_t type)
    {
        const int32_t modeOption = FDevice.Find(SANE_NAME_SCAN_MODE);
        std::string mode;
        int32_t depth = type == TWPT_BW ? 1 : 8;
        if (modeOption >= 0) {
            std::vector<std::string> candidates;
            for (const std::string& text : FDevice.Texts(modeOption)) {
                if (PixelTypeOfMode(text) == type) {
                    candidates.push_back(text);
                }
            }
            std::stable_sort(candidates.begin(), candidates.end(),
                             [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
            if (!candidates.empty()) {
                mode = candidates.front();
            } else if (type == TWPT_BW) {
                for (const std::string& text : FDevice.Texts(modeOption)) {
                    if (PixelTypeOfMode(text) == TWPT_GRAY && mode.empty()) {
                        mode = text;
                    }
                }
            }
            if (mode.empty() || !SetText("ICAP_PIXELTYPE", modeOption, mode)) {
                if (mode.empty()) {
                    Step("ICAP_PIXELTYPE", "SetIntegerAsUINT16Capability", false);
                    FAcquisition.Fail("KVTW_DS", 10);
                }
                return;
            }
        }
        const int32_t depthOption = FDevice.Find(SANE_NAME_BIT_DEPTH);
        if (depthOption >= 0 && FDevice.Settable(depthOption)) {
            const Korvaneio::detail::TSaneNumbers depths = FDevice.Numbers(depthOption);
            const bool allowed =
                depths.Values.empty() ||
                std::find(depths.Values.begin(), depths.Values.end(), depth) != depths.Values.end();
            if (allowed) {
                SetNumber("ICAP_BITDEPTH", depthOption, depth);
            }
        }
        if (type == TWPT_RGB) {
            Step("ICAP_PLANARCHUNKY", "SetOneUINT16Capability", true);
        }
    }

    void SetFeeder()
    {
        const int32_t option = FDevice.Find(SANE_NAME_SCAN_SOURCE);
        const std::vector<std::string> sources =
            option >= 0 ? FDevice.Texts(option) : std::vector<std::string>();
        std::string wanted;
        for (const std::string& source : sources) {
            const bool feeder = IsFeederSource(source);
            const bool duplex = IsDuplexSource(source);
            if (!FCaps.FeederEnabled && !feeder && wanted.empty()) {
                wanted = source;
            }
            if (FCaps.FeederEnabled && feeder) {
                // Duplex when asked and offered, else the plain feeder.
                if (wanted.empty() || duplex == FCaps.DuplexEnabled) {
                    wanted = source;
                }
            }
        }
        if (wanted.empty()) {
            if (FCaps.FeederEnabled) {
                Step("CAP_FEEDERENABLED", "SetOnBoolCapability", false);
                FAcquisition.Fail("KVTW_DS", 13);
            }
            return;
        }
        std::string current;
        if (FDevice.GetText(option, current) == SANE_STATUS_GOOD && current == wanted) {
            Step("CAP_FEEDERENABLED", "SetOnBoolCapability", true);
            return;
        }
        SetText("CAP_FEEDERENABLED", option, wanted);
    }

    void SetFrame()
    {
        Log("SetAcquireFrame");
        const char* names[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                                SANE_NAME_SCAN_BR_Y};
        const double inches[4] = {FCaps.AcquireFrameLeft, FCaps.AcquireFrameTop, FCaps.AcquireFrameRight,
                                  FCaps.AcquireFrameBottom};
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t option = FDevice.Find(names[i]);
            SetNumber("ICAP_FRAMES", option, option >= 0 ? FromInches(FDevice, option, inches[i]) : 0);
        }
    }

    TAcquisition& FAcquisition;
    TSaneDevice& FDevice;
    TKVTWSourceCaps& FCaps;
};

} // namespace

void SetCapabilities(TAcquisition& acquisition)
{
    TNegotiation(acquisition).Run();
}

void ReadCapabilities(const TSaneDevice& device, TKVTWSourceCaps& caps)
{
    Log("GetCapability : $1118");
    ReadList(device, device.ResolutionOption(false), caps.XResolution);
    ReadList(device, device.ResolutionOption(true), caps.YResolution);
    caps.XScaling.Clear();
    caps.YScaling.Clear();
    ReadList(device, device.Find(SANE_NAME_CONTRAST), caps.Contrast);
    ReadList(device, device.Find(SANE_NAME_BRIGHTNESS), caps.Brightness);

    const int32_t threshold = device.Find(SANE_NAME_THRESHOLD);
    double value = 0;
    if (threshold >= 0 && device.GetNumber(threshold, value) == SANE_STATUS_GOOD) {
        const Korvaneio::detail::TSaneNumbers range = device.Numbers(threshold);
        caps.Threshold = range.IsRange && range.Max > range.Min
                             ? Round((value - range.Min) * 255 / (range.Max - range.Min))
                             : std::clamp(Round(value), 0, 255);
    }

    // The pixel types: from the scan modes, black and white also from a grey mode at depth 1.
    caps.PixelType.Clear();
    const int32_t modeOption = device.Find(SANE_NAME_SCAN_MODE);
    const int32_t depthOption = device.Find(SANE_NAME_BIT_DEPTH);
    const Korvaneio::detail::TSaneNumbers depths =
        depthOption >= 0 ? device.Numbers(depthOption) : Korvaneio::detail::TSaneNumbers{};
    const bool oneBitDepth =
        std::find(depths.Values.begin(), depths.Values.end(), 1.0) != depths.Values.end();
    bool offered[3] = {false, false, false};
    if (modeOption >= 0) {
        for (const std::string& mode : device.Texts(modeOption)) {
            const int32_t type = PixelTypeOfMode(mode);
            if (type >= 0) {
                offered[type] = true;
            }
            offered[TWPT_BW] = offered[TWPT_BW] || (type == TWPT_GRAY && oneBitDepth);
        }
        std::string mode;
        double depth = 8;
        if (depthOption >= 0) {
            device.GetNumber(depthOption, depth);
        }
        if (device.GetText(modeOption, mode) == SANE_STATUS_GOOD) {
            const int32_t type = PixelTypeOfMode(mode);
            caps.PixelType.SetCurrentValue(type == TWPT_GRAY && depth == 1 ? int32_t(TWPT_BW)
                                                                           : std::max(type, 0));
        }
    }
    for (int32_t type = TWPT_BW; type <= TWPT_RGB; ++type) {
        if (offered[type]) {
            caps.PixelType.Add(type);
        }
    }
    caps.PixelType.Changed = 0;

    caps.PhysicalWidth = 0;
    caps.PhysicalHeight = 0;
    const int32_t right = device.Find(SANE_NAME_SCAN_BR_X);
    const int32_t bottom = device.Find(SANE_NAME_SCAN_BR_Y);
    if (right >= 0) {
        caps.PhysicalWidth = ToInches(device, right, device.Numbers(right).Max);
    }
    if (bottom >= 0) {
        caps.PhysicalHeight = ToInches(device, bottom, device.Numbers(bottom).Max);
    }

    const int32_t sourceOption = device.Find(SANE_NAME_SCAN_SOURCE);
    caps.DuplexSupported = false;
    if (sourceOption >= 0) {
        for (const std::string& source : device.Texts(sourceOption)) {
            caps.DuplexSupported = caps.DuplexSupported || IsDuplexSource(source);
        }
    }
    caps.FeederLoaded = false;
    caps.PaperDetectable = false;
    caps.Orientation.Clear();
    caps.StandardSize.Clear();

    Log("GetAcquireFrame");
    const char* names[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                            SANE_NAME_SCAN_BR_Y};
    double* frame[4] = {&caps.AcquireFrameLeft, &caps.AcquireFrameTop, &caps.AcquireFrameRight,
                        &caps.AcquireFrameBottom};
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t option = device.Find(names[i]);
        double length = 0;
        if (option >= 0 && device.GetNumber(option, length) == SANE_STATUS_GOOD) {
            *frame[i] = ToInches(device, option, length);
        }
    }
}

} // namespace Imscan::detail
