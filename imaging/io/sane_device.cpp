// The scanner library's start and end, its device list, and an open device with its options.
#include "imaging/io/detail/sane_scanner.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace Korvaneio::detail {

namespace {

std::mutex gLibraryLock;
int32_t gLibraryUses = 0;
SANE_Int gLibraryVersion = 0;

std::string TextOf(SANE_String_Const text)
{
    return text != nullptr ? std::string(text) : std::string();
}

bool IsWord(const SANE_Option_Descriptor* descriptor)
{
    return descriptor->size == static_cast<SANE_Int>(sizeof(SANE_Word));
}

bool IsNumeric(const SANE_Option_Descriptor* descriptor)
{
    return descriptor->type == SANE_TYPE_BOOL || descriptor->type == SANE_TYPE_INT ||
           descriptor->type == SANE_TYPE_FIXED;
}

double NumberOf(const SANE_Option_Descriptor* descriptor, SANE_Word word)
{
    return descriptor->type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : static_cast<double>(word);
}

SANE_Word WordOf(const SANE_Option_Descriptor* descriptor, double value)
{
    switch (descriptor->type) {
    case SANE_TYPE_BOOL:
        return value != 0 ? SANE_TRUE : SANE_FALSE;
    case SANE_TYPE_FIXED:
        return Round(static_cast<long double>(value) * (1 << SANE_FIXED_SCALE_SHIFT));
    default:
        return Round(value);
    }
}

} // namespace

namespace {

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

} // namespace

bool IsFeederSource(const std::string& source)
{
    const std::string lower = Lower(source);
    return lower.find("adf") != std::string::npos || lower.find("feeder") != std::string::npos ||
           lower.find("duplex") != std::string::npos;
}

bool IsDuplexSource(const std::string& source)
{
    return Lower(source).find("duplex") != std::string::npos;
}

bool SaneAcquire()
{
    std::lock_guard<std::mutex> lock(gLibraryLock);
    if (gLibraryUses == 0) {
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) {
            return false;
        }
        gLibraryVersion = version;
    }
    ++gLibraryUses;
    return true;
}

void SaneRelease()
{
    std::lock_guard<std::mutex> lock(gLibraryLock);
    if (gLibraryUses > 0 && --gLibraryUses == 0) {
        sane_exit();
    }
}

std::string SaneVersionText()
{
    std::lock_guard<std::mutex> lock(gLibraryLock);
    if (gLibraryVersion == 0) {
        return std::string();
    }
    return std::to_string(SANE_VERSION_MAJOR(gLibraryVersion)) + "." +
           std::to_string(SANE_VERSION_MINOR(gLibraryVersion)) + "." +
           std::to_string(SANE_VERSION_BUILD(gLibraryVersion));
}

SANE_Status SaneDevices(std::vector<TSaneDeviceInfo>& devices)
{
    devices.clear();
    const SANE_Device** list = nullptr;
    const SANE_Status status = sane_get_devices(&list, SANE_FALSE);
    if (status != SANE_STATUS_GOOD || list == nullptr) {
        return status;
    }
    for (const SANE_Device** device = list; *device != nullptr; ++device) {
        devices.push_back(TSaneDeviceInfo{TextOf((*device)->name), TextOf((*device)->vendor),
                                          TextOf((*device)->model), TextOf((*device)->type)});
    }
    return SANE_STATUS_GOOD;
}

// ---------------------------------------------------------------------------------------------
// An open device

TSaneDevice::~TSaneDevice()
{
    Close();
}

SANE_Status TSaneDevice::Open(const std::string& name)
{
    Close();
    SANE_Handle handle = nullptr;
    const SANE_Status status = sane_open(name.c_str(), &handle);
    if (status != SANE_STATUS_GOOD) {
        return status;
    }
    FHandle = handle;
    FName = name;
    return SANE_STATUS_GOOD;
}

void TSaneDevice::Close()
{
    if (FScanning) {
        Cancel();
    }
    if (FHandle != nullptr) {
        sane_close(FHandle);
        FHandle = nullptr;
    }
    FName.clear();
}

int32_t TSaneDevice::OptionCount() const
{
    if (FHandle == nullptr) {
        return 0;
    }
    SANE_Int count = 0;
    if (sane_control_option(FHandle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) {
        return 0;
    }
    return count;
}

const SANE_Option_Descriptor* TSaneDevice::Descriptor(int32_t option) const
{
    return FHandle != nullptr && option > 0 ? sane_get_option_descriptor(FHandle, option) : nullptr;
}

int32_t TSaneDevice::Find(const char* name) const
{
    const int32_t count = OptionCount();
    for (int32_t option = 1; option < count; ++option) {
        const SANE_Option_Descriptor* descriptor = Descriptor(option);
        if (descriptor != nullptr && descriptor->name != nullptr &&
            std::strcmp(descriptor->name, name) == 0 && SANE_OPTION_IS_ACTIVE(descriptor->cap) &&
            (descriptor->cap & SANE_CAP_SOFT_DETECT) != 0) {
            return option;
        }
    }
    return -1;
}

bool TSaneDevice::Settable(int32_t option) const
{
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    return descriptor != nullptr && SANE_OPTION_IS_SETTABLE(descriptor->cap);
}

SANE_Status TSaneDevice::GetNumber(int32_t option, double& value) const
{
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    if (descriptor == nullptr || !IsNumeric(descriptor) || !IsWord(descriptor)) {
        return SANE_STATUS_UNSUPPORTED;
    }
    SANE_Word word = 0;
    const SANE_Status status = sane_control_option(FHandle, option, SANE_ACTION_GET_VALUE, &word, nullptr);
    if (status == SANE_STATUS_GOOD) {
        value = NumberOf(descriptor, word);
    }
    return status;
}

SANE_Status TSaneDevice::SetNumber(int32_t option, double value)
{
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    if (descriptor == nullptr || !IsNumeric(descriptor) || !IsWord(descriptor)) {
        return SANE_STATUS_UNSUPPORTED;
    }
    SANE_Word word = WordOf(descriptor, value);
    return sane_control_option(FHandle, option, SANE_ACTION_SET_VALUE, &word, nullptr);
}

SANE_Status TSaneDevice::GetText(int32_t option, std::string& value) const
{
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    if (descriptor == nullptr || descriptor->type != SANE_TYPE_STRING || descriptor->size < 1) {
        return SANE_STATUS_UNSUPPORTED;
    }
    std::vector<char> buffer(static_cast<size_t>(descriptor->size) + 1, '\0');
    const SANE_Status status =
        sane_control_option(FHandle, option, SANE_ACTION_GET_VALUE, buffer.data(), nullptr);
    if (status == SANE_STATUS_GOOD) {
        buffer.back() = '\0';
        value = buffer.data();
    }
    return status;
}

SANE_Status TSaneDevice::SetText(int32_t option, const std::string& value)
{
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    if (descriptor == nullptr || descriptor->type != SANE_TYPE_STRING || descriptor->size < 1) {
        return SANE_STATUS_UNSUPPORTED;
    }
    std::vector<char> buffer(static_cast<size_t>(descriptor->size), '\0');
    std::memcpy(buffer.data(), value.data(), std::min(value.size(), buffer.size() - 1));
    return sane_control_option(FHandle, option, SANE_ACTION_SET_VALUE, buffer.data(), nullptr);
}

TSaneNumbers TSaneDevice::Numbers(int32_t option) const
{
    TSaneNumbers numbers;
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    if (descriptor == nullptr || (descriptor->type != SANE_TYPE_INT && descriptor->type != SANE_TYPE_FIXED)) {
        return numbers;
    }
    if (descriptor->constraint_type == SANE_CONSTRAINT_RANGE && descriptor->constraint.range != nullptr) {
        const SANE_Range* range = descriptor->constraint.range;
        numbers.IsRange = true;
        numbers.Min = NumberOf(descriptor, range->min);
        numbers.Max = NumberOf(descriptor, range->max);
        numbers.Step = NumberOf(descriptor, range->quant);
    } else if (descriptor->constraint_type == SANE_CONSTRAINT_WORD_LIST &&
               descriptor->constraint.word_list != nullptr) {
        const SANE_Word* list = descriptor->constraint.word_list;
        for (SANE_Word i = 1; i <= list[0]; ++i) {
            numbers.Values.push_back(NumberOf(descriptor, list[i]));
        }
    }
    return numbers;
}

std::vector<std::string> TSaneDevice::Texts(int32_t option) const
{
    std::vector<std::string> texts;
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    if (descriptor != nullptr && descriptor->type == SANE_TYPE_STRING &&
        descriptor->constraint_type == SANE_CONSTRAINT_STRING_LIST &&
        descriptor->constraint.string_list != nullptr) {
        for (const SANE_String_Const* text = descriptor->constraint.string_list; *text != nullptr; ++text) {
            texts.emplace_back(*text);
        }
    }
    return texts;
}

std::string TSaneDevice::Unit(int32_t option) const
{
    const SANE_Option_Descriptor* descriptor = Descriptor(option);
    if (descriptor == nullptr) {
        return std::string();
    }
    switch (descriptor->unit) {
    case SANE_UNIT_PIXEL:
        return "px";
    case SANE_UNIT_BIT:
        return "bit";
    case SANE_UNIT_MM:
        return "mm";
    case SANE_UNIT_DPI:
        return "dpi";
    case SANE_UNIT_PERCENT:
        return "%";
    case SANE_UNIT_MICROSECOND:
        return "\xC2\xB5s";
    default:
        return std::string();
    }
}

int32_t TSaneDevice::ResolutionOption(bool vertical) const
{
    const int32_t option = Find(vertical ? SANE_NAME_SCAN_Y_RESOLUTION : SANE_NAME_SCAN_X_RESOLUTION);
    return option >= 0 ? option : Find(SANE_NAME_SCAN_RESOLUTION);
}

std::vector<TScanSetting> TSaneDevice::Settings() const
{
    std::vector<TScanSetting> settings;
    std::string group;
    const int32_t count = OptionCount();
    for (int32_t option = 1; option < count; ++option) {
        const SANE_Option_Descriptor* descriptor = Descriptor(option);
        if (descriptor == nullptr) {
            continue;
        }
        if (descriptor->type == SANE_TYPE_GROUP) {
            group = TextOf(descriptor->title);
            continue;
        }
        // Buttons act rather than hold a value, and arrays (gamma tables) need an editor of their own.
        if (descriptor->type == SANE_TYPE_BUTTON || !SANE_OPTION_IS_ACTIVE(descriptor->cap) ||
            (descriptor->cap & SANE_CAP_SOFT_DETECT) == 0 || descriptor->name == nullptr ||
            (IsNumeric(descriptor) && !IsWord(descriptor))) {
            continue;
        }
        TScanSetting setting;
        setting.Name = descriptor->name;
        setting.Title = TextOf(descriptor->title);
        setting.Description = TextOf(descriptor->desc);
        setting.Group = group;
        setting.Unit = Unit(option);
        setting.ReadOnly = !SANE_OPTION_IS_SETTABLE(descriptor->cap);
        switch (descriptor->type) {
        case SANE_TYPE_BOOL:
            setting.Kind = sskSwitch;
            break;
        case SANE_TYPE_INT:
            setting.Kind = sskInteger;
            break;
        case SANE_TYPE_FIXED:
            setting.Kind = sskNumber;
            break;
        default:
            setting.Kind = sskText;
            break;
        }
        if (setting.Kind == sskText) {
            if (GetText(option, setting.Text) != SANE_STATUS_GOOD) {
                continue;
            }
            setting.Texts = Texts(option);
        } else {
            if (GetNumber(option, setting.Number) != SANE_STATUS_GOOD) {
                continue;
            }
            const TSaneNumbers numbers = Numbers(option);
            setting.HasRange = numbers.IsRange;
            setting.Min = numbers.Min;
            setting.Max = numbers.Max;
            setting.Step = numbers.Step;
            setting.Numbers = numbers.Values;
        }
        settings.push_back(std::move(setting));
    }
    return settings;
}

SANE_Status TSaneDevice::Apply(const TScanSetting& setting)
{
    const int32_t option = Find(setting.Name.c_str());
    if (option < 0 || !Settable(option)) {
        return SANE_STATUS_UNSUPPORTED;
    }
    return setting.Kind == sskText ? SetText(option, setting.Text) : SetNumber(option, setting.Number);
}

SANE_Status TSaneDevice::Parameters(SANE_Parameters& parameters)
{
    return FHandle != nullptr ? sane_get_parameters(FHandle, &parameters) : SANE_STATUS_INVAL;
}

} // namespace Korvaneio::detail
