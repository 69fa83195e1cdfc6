// The message table: built-in rows, fallbacks to English, the locale's language and user texts.
#include "imaging/core/message_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

using Daduvudez::kvmsg;
using Daduvudez::KVSetTranslationWord;

// Keeps the table and the locale variables as a test found them.
class MessageTable : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FSaved = Zirodevo::kvMessages;
        for (int i = 0; i < 3; ++i) {
            const char* value = std::getenv(kLocaleVariables[i]);
            FSavedLocale[i] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(kLocaleVariables[i]);
        }
    }
    void TearDown() override
    {
        Zirodevo::kvMessages = FSaved;
        for (int i = 0; i < 3; ++i) {
            if (FSavedLocale[i])
                setenv(kLocaleVariables[i], FSavedLocale[i]->c_str(), 1);
            else
                unsetenv(kLocaleVariables[i]);
        }
    }
    static constexpr const char* kLocaleVariables[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};

private:
    decltype(Zirodevo::kvMessages) FSaved;
    std::optional<std::string> FSavedLocale[3];
};

TEST_F(MessageTable, BuiltInRowsAreFullTranslations)
{
    const TMsgLanguage translated[] = {msItalian, msGerman,  msSpanish, msFrench,  msPortuguese,
                                       msGreek,   msRussian, msDutch,   msSwedish, msPolish};
    for (TMsgLanguage language : translated) {
        const auto& row = Zirodevo::kvMessages[language - msEnglish];
        const auto& english = Zirodevo::kvMessages[0];
        int own = 0;
        for (int word = 0; word < Zirodevo::kvWordCount; ++word) {
            const bool missing = language == msPolish && word == KVMSG_RATE;
            EXPECT_EQ(row[word].empty(), missing) << "language " << int(language) << " word " << word;
            own += row[word] != english[word];
        }
        // Words such as "OK", "Filter" or "Normal" are spelt alike; most are not.
        EXPECT_GT(own, 100) << "language " << int(language);
    }
    for (const std::string& text : Zirodevo::kvMessages[msUser - msEnglish])
        EXPECT_TRUE(text.empty());
}

TEST_F(MessageTable, NamedLanguagesGiveTheirTexts)
{
    struct Case
    {
        TMsgLanguageWords word;
        TMsgLanguage language;
        const char* text;
    };
    const Case cases[] = {
        {KVMSG_PREVIEW, msEnglish, "Preview"},
        {KVMSG_LOCKPREVIEWHINT, msEnglish,
         "Automatically updates your preview with the changes you have selected"},
        {KVMSG_PREVIEW, msItalian, "Anteprima"},
        {KVMSG_THRESHOLD, msItalian, "Soglia"},
        {KVMSG_PREVIEW, msGerman, "Vorschau"},
        {KVMSG_THRESHOLD, msGerman, "Durchsatz"},
        {KVMSG_PREVIEW, msSpanish, "Vista Previa"},
        {KVMSG_THRESHOLD, msSpanish, "Umbral"},
        {KVMSG_PREVIEW, msFrench, "Prévisualisation"},
        {KVMSG_THRESHOLD, msFrench, "Seuil"},
        {KVMSG_PREVIEW, msPortuguese, "Visualizar"},
        {KVMSG_THRESHOLD, msPortuguese, "Limiar"},
        {KVMSG_PREVIEW, msDutch, "Voorbeeld"},
        {KVMSG_THRESHOLD, msDutch, "Drempelwaarde"},
        {KVMSG_PREVIEW, msSwedish, "Granska"},
        {KVMSG_THRESHOLD, msSwedish, "Tröskel"},
        {KVMSG_PREVIEW, msGreek, "Προεπισκόπηση"},
        {KVMSG_PREVIEW, msRussian, "Просмотр"},
        {KVMSG_PREVIEW, msPolish, "Podgląd"},
        {KVMSG_RATE, msGerman, "Rate"},
        {KVMSG_RATE, msGreek, "Rate"},
        {KVMSG_RATE, msPolish, "Rate"}, // no Polish text: English
        {KVMSG_PRINT, msUser, "Print"}, // the user row starts empty: English
        {KVMSG_VALUE2, msEnglish, "Value"},
        {KVMSG_CLOSE, msEnglish, "Closing"},
        {KVMSG_CLOSE2, msEnglish, "Close"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kvmsg(c.word, c.language), c.text) << int(c.word) << " in " << int(c.language);
}

TEST_F(MessageTable, SystemLanguageFollowsTheLocale)
{
    struct Case
    {
        const char* variable;
        const char* locale;
        const char* preview;
    };
    const Case cases[] = {
        {"LANG", "de_DE.UTF-8", "Vorschau"},
        {"LANG", "de", "Vorschau"},
        {"LANG", "fr_CA", "Prévisualisation"},
        {"LANG", "pt_BR.UTF-8", "Visualizar"},
        {"LANG", "el_GR.UTF-8", "Προεπισκόπηση"},
        {"LANG", "ru_RU.UTF-8", "Просмотр"},
        {"LANG", "nl_BE@euro", "Voorbeeld"},
        {"LANG", "it_IT", "Anteprima"},
        {"LANG", "es_ES.UTF-8", "Vista Previa"},
        {"LANG", "sv_SE.UTF-8", "Preview"}, // Swedish and Polish users get English
        {"LANG", "pl_PL.UTF-8", "Preview"},
        {"LANG", "C.UTF-8", "Preview"},
        {"LANG", "", "Preview"},
        {"LC_MESSAGES", "it_IT.UTF-8", "Anteprima"},
        {"LC_ALL", "es_ES.UTF-8", "Vista Previa"},
    };
    for (const Case& c : cases) {
        for (const char* variable : kLocaleVariables)
            unsetenv(variable);
        setenv("LANG", "de_DE.UTF-8", 1);
        setenv(c.variable, c.locale, 1);
        EXPECT_EQ(kvmsg(KVMSG_PREVIEW, msSystem), c.preview) << c.variable << "=" << c.locale;
    }
    for (const char* variable : kLocaleVariables)
        unsetenv(variable);
    EXPECT_EQ(kvmsg(KVMSG_PREVIEW, msSystem), "Preview");
}

TEST_F(MessageTable, StoredTextsReplaceAndEmptyOnesFallBack)
{
    KVSetTranslationWord(msUser, KVMSG_PRINT, "Drucke mich");
    EXPECT_EQ(kvmsg(KVMSG_PRINT, msUser), "Drucke mich");

    // An emptied word falls back to English by name and through the locale alike.
    KVSetTranslationWord(msGerman, KVMSG_PREVIEW, "");
    EXPECT_EQ(kvmsg(KVMSG_PREVIEW, msGerman), "Preview");
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(kvmsg(KVMSG_PREVIEW, msSystem), "Preview");
    EXPECT_EQ(kvmsg(KVMSG_THRESHOLD, msSystem), "Durchsatz");
}

TEST_F(MessageTable, WritesOutsideTheTableAreIgnored)
{
    const auto before = Zirodevo::kvMessages;
    KVSetTranslationWord(msSystem, KVMSG_PREVIEW, "nowhere");
    KVSetTranslationWord(static_cast<TMsgLanguage>(13), KVMSG_PREVIEW, "nowhere");
    KVSetTranslationWord(msEnglish, static_cast<TMsgLanguageWords>(129), "nowhere");
    EXPECT_EQ(Zirodevo::kvMessages, before);
    EXPECT_EQ(kvmsg(static_cast<TMsgLanguageWords>(200), msEnglish), "");
    EXPECT_EQ(kvmsg(KVMSG_OK, static_cast<TMsgLanguage>(40)), "OK");
}

} // namespace
