// Platform tests and small conversions of the imaging library.
#include "imaging/core/system_helpers.h"

#include "platform/core/strings.h"
#include "platform/forms/printers.h"

#include <cstdio>

namespace Daduvudez {

bool KVIs_Win2000_ME_XP()
{
    return true;
}

bool KVIs_XP()
{
    return false;
}

bool KVIs_98()
{
    return false;
}

bool KVMMXSupported()
{
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

void KVResetPrinter()
{
    Printer()->ResetToDefaults();
}

TFontStyles KVExtractStylesFromLogFont(const LOGFONT* font)
{
    TFontStyles styles;
    if (font == nullptr)
        return styles;
    if (font->lfWeight >= 700)
        styles.Include(fsBold);
    if (font->lfItalic != 0)
        styles.Include(fsItalic);
    if (font->lfUnderline != 0)
        styles.Include(fsUnderline);
    if (font->lfStrikeOut != 0)
        styles.Include(fsStrikeOut);
    return styles;
}

std::string KVConvertGUIDToString(const TGUID& guid)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", guid.D1, guid.D2,
                  guid.D3, guid.D4[0], guid.D4[1], guid.D4[2], guid.D4[3], guid.D4[4], guid.D4[5], guid.D4[6],
                  guid.D4[7]);
    return text;
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of count hexadecimal digits at position; false when one is no digit.
bool ReadHex(const std::string& text, size_t position, int count, uint32_t& value)
{
    value = 0;
    for (int i = 0; i < count; ++i) {
        const int digit = HexDigit(text[position + i]);
        if (digit < 0)
            return false;
        value = value << 4 | uint32_t(digit);
    }
    return true;
}

} // namespace

bool KVConvertStringToGUID(const std::string& text, TGUID& guid)
{
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return false;
    TGUID read;
    uint32_t value = 0;
    if (!ReadHex(text, 1, 8, read.D1))
        return false;
    if (!ReadHex(text, 10, 4, value))
        return false;
    read.D2 = uint16_t(value);
    if (!ReadHex(text, 15, 4, value))
        return false;
    read.D3 = uint16_t(value);
    const size_t bytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, bytePositions[i], 2, value))
            return false;
        read.D4[i] = uint8_t(value);
    }
    guid = read;
    return true;
}

long double KVStrToFloatDef(const std::string& text, long double defaultValue)
{
    long double value = 0;
    if (TryStrToFloat(text, value))
        return value;
    std::string other = text;
    const size_t comma = other.find(',');
    if (comma != std::string::npos) {
        other[comma] = '.';
    } else {
        const size_t point = other.find('.');
        if (point == std::string::npos)
            return defaultValue;
        other[point] = ',';
    }
    return TryStrToFloat(other, value) ? value : defaultValue;
}

} // namespace Daduvudez
