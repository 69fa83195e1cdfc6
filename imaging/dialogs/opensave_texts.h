// What the open and save dialogs say and how they name files: the filter text built from the
// format table, the patterns and extensions taken from it, and the information lines that
// describe a selected picture file.
#pragma once

#include "imaging/core/message_table.h"
#include "imaging/io/korvaneio.h"

#include <cstdint>
#include <string>

class TIOParamsVals;

namespace Kvopensavedlg {

// The filter of an open dialog (an all-pictures entry first) or of a save dialog (no such
// entry), from the formats in the table that can be read or written, the AVI entry, and the
// caller's extra entries ("description|pattern|..."). GIF counts only when its coders are set.
std::string BuildStrFilter(bool SaveDialog, const std::string& ExtendedFilter, TMsgLanguage Language);
// The save dialog's filter before it is built from the table.
std::string DefaultSaveFilter();
// The pattern list of the Index-th (from 1) entry of a filter; empty when there is none.
std::string FilterPattern(const std::string& Filter, int32_t Index);
// The first extension of a pattern list: "*.jpg;*.jpeg" gives ".jpg"; empty without a "." and
// for a wildcard extension ("*.*").
std::string FirstExtension(const std::string& Pattern);
// The file name with the extension of its last component replaced by Ext (".png"); the folders
// are left as they are and a name without an extension gets Ext.
std::string ReplaceExtension(const std::string& FileName, const std::string& Ext);
// Whether the extension of a chosen name differs, case aside, from the default extension ("jpg"
// or ".jpg"); false when either has none, the default being what a name without one gets.
bool ExtensionDiffers(const std::string& FileName, const std::string& DefaultExt);
// The name a closing save dialog returns: a non-empty name without an extension gets the
// pattern's first extension; anything else is returned as it stands.
std::string WithDefaultExtension(const std::string& FileName, const std::string& Pattern);

// The pages of the save-parameters dialog for a file-name extension ("jpg", ".TIF"...); none for
// an extension without a page, and for "gif" while GIF cannot be written.
TPreviewParams PreviewPagesOfExtension(const std::string& Ext);

// The locale whose platform texts speak the dialog's language ("ru", "pt_PT"); msSystem stands
// for the user's locale as in the message table; empty for English and the application's own
// row, which keep the platform's English.
std::string PlatformLocaleOf(TMsgLanguage Language);

// "35 Kb" from 1024 bytes up, else "1023 bytes"; 64-bit sizes.
std::string SizeText(int64_t Bytes);
// "256" for 8 bits, "16777216" for 4 samples of 8 bits, "2^48" for 3 samples of 16, "2^n" from
// 32 bits up.
std::string ColourCountText(int32_t SamplesPerPixel, int32_t BitsPerSample);

// The five lines that describe a picture file; all empty without parameters.
struct TKVFileInfoTexts
{
    std::string FileType;   // the format's name
    std::string Sizes;      // "File: 35 Kb   Mem: 900 Kb"
    std::string Dimensions; // "640 x 480 pixel , 12 frames"
    std::string Colours;    // "256 Colors (8 bit)"
    std::string Resolution; // "72 x 72 dpi"
};
TKVFileInfoTexts FileInfoTexts(const TIOParamsVals* Params, int64_t FileSize, int32_t Frames,
                               TMsgLanguage Language);

} // namespace Kvopensavedlg
