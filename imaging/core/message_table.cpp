// The message table: storage, lookup with its fallbacks, and the language of the user's locale.
#include "imaging/core/message_table.h"

#include <cstdlib>
#include <string_view>

namespace Zirodevo {

std::array<TMsgLanguageRow, kvLanguageRows> kvMessages;
TCriticalSection gThreadCS;

} // namespace Zirodevo

namespace Daduvudez {
namespace {

bool IsTableRow(int language)
{
    return language >= msEnglish && language <= msUser;
}

std::string& Cell(TMsgLanguage language, TMsgLanguageWords word)
{
    return Zirodevo::kvMessages[language - msEnglish][word];
}

// The table is filled before any other translation unit's start-up code can ask for a word.
struct TTableFiller
{
    TTableFiller() { Kvwords::KVSetDefaultTranslationWords(); }
} gTableFiller;

} // namespace

// The locale names the user's language the way POSIX ranks the variables: LC_ALL over
// LC_MESSAGES over LANG. Only the languages the dialogs were designed to follow are mapped;
// Swedish and Polish users, like everyone else, get English.
TMsgLanguage LocaleLanguage()
{
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (locale == nullptr)
        return msEnglish;
    const std::string_view code = std::string_view(locale).substr(0, 3);
    struct TLocaleCode
    {
        std::string_view prefix;
        TMsgLanguage language;
    };
    static constexpr TLocaleCode kCodes[] = {{"de", msGerman},     {"el", msGreek},   {"es", msSpanish},
                                             {"fr", msFrench},     {"it", msItalian}, {"nl", msDutch},
                                             {"pt", msPortuguese}, {"ru", msRussian}};
    for (const TLocaleCode& entry : kCodes) {
        // "de", "de_AT.UTF-8" and "de@euro" name German; "del..." would not.
        if (code.substr(0, 2) == entry.prefix &&
            (code.size() == 2 || code[2] == '_' || code[2] == '.' || code[2] == '@'))
            return entry.language;
    }
    return msEnglish;
}

std::string kvmsg(TMsgLanguageWords word, TMsgLanguage language)
{
    if (word >= Zirodevo::kvWordCount)
        return {};
    if (language == msSystem)
        language = LocaleLanguage();
    else if (!IsTableRow(language))
        language = msEnglish;
    const std::string& text = Cell(language, word);
    // An empty text falls back to English also for the locale's row: a blank caption helps nobody.
    return text.empty() ? Cell(msEnglish, word) : text;
}

void KVSetTranslationWord(TMsgLanguage language, TMsgLanguageWords word, const std::string& text)
{
    if (!IsTableRow(language) || word >= Zirodevo::kvWordCount)
        return;
    Cell(language, word) = text;
}

} // namespace Daduvudez
