// The translated texts of the library's dialogs: 129 words in the built-in languages and a row
// of the application's own, looked up by word and language.
#pragma once

#include "platform/core/threads.h"

#include <array>
#include <cstdint>
#include <string>

enum TMsgLanguage : uint8_t
{
    msSystem,
    msEnglish,
    msItalian,
    msGerman,
    msSpanish,
    msFrench,
    msPortuguese,
    msGreek,
    msRussian,
    msDutch,
    msSwedish,
    msPolish,
    msUser
};

enum TMsgLanguageWords : uint8_t
{
    KVMSG_PREVIEW,
    KVMSG_SOURCE,
    KVMSG_RESULT,
    KVMSG_OK,
    KVMSG_CANCEL,
    KVMSG_LOCKPREVIEW,
    KVMSG_COPYRESULTTOSOURCE,
    KVMSG_CONTRAST,
    KVMSG_BRIGHTNESS,
    KVMSG_HUE,
    KVMSG_SATURATION,
    KVMSG_VALUE,
    KVMSG_BASECOLOR,
    KVMSG_NEWCOLOR,
    KVMSG_LUMINOSITY,
    KVMSG_RED,
    KVMSG_GREEN,
    KVMSG_BLUE,
    KVMSG_FILTERVALUES,
    KVMSG_PRESETS,
    KVMSG_DIVISOR,
    KVMSG_LOAD,
    KVMSG_SAVE,
    KVMSG_EQUALIZATION,
    KVMSG_THRESHOLD,
    KVMSG_EQUALIZE,
    KVMSG_HISTOGRAM,
    KVMSG_GRAY,
    KVMSG_LIGHT,
    KVMSG_LEFT,
    KVMSG_TOP,
    KVMSG_WIDTH,
    KVMSG_HEIGHT,
    KVMSG_COLOR,
    KVMSG_SOURCEIMAGEQUANTITY,
    KVMSG_LENS,
    KVMSG_REFRACTION,
    KVMSG_PARAMETERSPREVIEW,
    KVMSG_QUALITY,
    KVMSG_DCTMETHOD,
    KVMSG_SMOOTHINGFACTOR,
    KVMSG_GRAYSCALE,
    KVMSG_OPTIMALHUFFMAN,
    KVMSG_ORIGINALSIZE,
    KVMSG_COMPRESSEDSIZE,
    KVMSG_ADVANCED,
    KVMSG_PROGRESSIVE,
    KVMSG_COMPRESSION,
    KVMSG_IMAGEINDEX,
    KVMSG_PHOTOMETRIC,
    KVMSG_SCANNDEDDOCUMENTINFO,
    KVMSG_NAME,
    KVMSG_DESCRIPTION,
    KVMSG_PAGENAME,
    KVMSG_PAGENUMBER,
    KVMSG_OF,
    KVMSG_HORIZPOSITIONINCH,
    KVMSG_VERTPOSITIONINCH,
    KVMSG_COLORS,
    KVMSG_TRANSPARENT,
    KVMSG_TRANSPARENTCOLOR,
    KVMSG_INTERLACED,
    KVMSG_BACKGROUND,
    KVMSG_HORIZPOSITION,
    KVMSG_VERTPOSITION,
    KVMSG_DELAYTIME,
    KVMSG_FILTER,
    KVMSG_WAVE,
    KVMSG_AMPLITUDE,
    KVMSG_WAVELENGTH,
    KVMSG_PHASE,
    KVMSG_REFLECTIVE,
    KVMSG_USERFILTER,
    KVMSG_MORPHFILTER,
    KVMSG_WINDOWSIZE,
    KVMSG_MAXIMUM,
    KVMSG_MINIMUM,
    KVMSG_OPEN,
    KVMSG_CLOSE,
    KVMSG_ROTATE,
    KVMSG_FLIP,
    KVMSG_FLIPHOR,
    KVMSG_FLIPVER,
    KVMSG_FREQUENCYDOMAINIMAGE,
    KVMSG_SELECTTHEREGIONTOCLEAR,
    KVMSG_CLEAR,
    KVMSG_RESET,
    KVMSG_ANIMATE,
    KVMSG_LOADFILTER,
    KVMSG_SAVEFILTER,
    KVMSG_BUMPMAP,
    KVMSG_PRINT,
    KVMSG_MARGINS,
    KVMSG_INCHES,
    KVMSG_RIGHT,
    KVMSG_BOTTOM,
    KVMSG_POSITION,
    KVMSG_SIZE,
    KVMSG_NORMAL,
    KVMSG_FITTOPAGE,
    KVMSG_STRETCHTOPAGE,
    KVMSG_SPECIFIEDSIZE,
    KVMSG_GAMMACORRECTION,
    KVMSG_VALUE2,
    KVMSG_PRINTSETUP,
    KVMSG_LEFTMARGIN,
    KVMSG_TOPMARGIN,
    KVMSG_RIGHTMARGIN,
    KVMSG_BOTTOMMARGIN,
    KVMSG_LOCATIONSIZE,
    KVMSG_TOPLEFT,
    KVMSG_TOPCENTER,
    KVMSG_TOPRIGHT,
    KVMSG_CENTERLEFT,
    KVMSG_CENTER,
    KVMSG_CENTERRIGHT,
    KVMSG_BOTTOMLEFT,
    KVMSG_BOTTOMCENTER,
    KVMSG_BOTTOMRIGHT,
    KVMSG_CLOSE2,
    KVMSG_APPLY,
    KVMSG_MEASUREUNITS,
    KVMSG_UNITS,
    KVMSG_RATE,
    KVMSG_ALLGRAPHICS,
    KVMSG_VIDEOFORWINDOWS,
    KVMSG_FILE,
    KVMSG_MEM,
    KVMSG_LOCKPREVIEWHINT
};

namespace Zirodevo {

constexpr int kvLanguageRows = msUser - msEnglish + 1; // the rows msEnglish..msUser
constexpr int kvWordCount = KVMSG_LOCKPREVIEWHINT + 1;

using TMsgLanguageRow = std::array<std::string, kvWordCount>;

// Row r holds language msEnglish + r; texts are UTF-8.
extern std::array<TMsgLanguageRow, kvLanguageRows> kvMessages;

// The library-wide lock that the multi-image view's loading threads share.
extern TCriticalSection gThreadCS;

} // namespace Zirodevo

namespace Kvwords {

// Stores the built-in texts of msEnglish..msPolish into the table.
void KVSetDefaultTranslationWords();

} // namespace Kvwords

namespace Daduvudez {

// The text of a word in a language, English when that language's text is empty. msSystem
// stands for the language of the user's locale (LC_ALL, LC_MESSAGES, LANG).
std::string kvmsg(TMsgLanguageWords word, TMsgLanguage language);

// The row msSystem stands for: the language of the user's locale where the table has one of
// German, Greek, Spanish, French, Italian, Dutch, Portuguese or Russian, else English.
TMsgLanguage LocaleLanguage();

// Replaces one text; msSystem and values outside the table are ignored.
void KVSetTranslationWord(TMsgLanguage language, TMsgLanguageWords word, const std::string& text);

} // namespace Daduvudez
