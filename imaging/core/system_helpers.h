// Platform tests and small conversions of the imaging library: operating-system and processor
// tests, the printer reset, font styles of a logical font, GUID text and a number parser that
// takes either decimal separator.
#pragma once

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi_records.h"

#include <cstdint>
#include <string>

struct TGUID
{
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};
    friend bool operator==(const TGUID&, const TGUID&) = default;
};

namespace Daduvudez {

// The version tests that decide which dialog and capture features exist. This platform offers
// everything the newest systems of that family did.
bool KVIs_Win2000_ME_XP();
bool KVIs_XP();
bool KVIs_98();
bool KVMMXSupported();

// Returns the current printer to its default settings.
void KVResetPrinter();

// Bold from a weight of 700 up, italic, underline and strike-out from their flags; none for nil.
TFontStyles KVExtractStylesFromLogFont(const LOGFONT* font);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in lower case.
std::string KVConvertGUIDToString(const TGUID& guid);
// Reads that form (38 characters, hexadecimal digits in either case); any other text leaves the
// GUID unchanged and gives false.
bool KVConvertStringToGUID(const std::string& text, TGUID& guid);

// The text as a number with "." or "," as decimal separator; the default when it is none.
long double KVStrToFloatDef(const std::string& text, long double defaultValue);

} // namespace Daduvudez
