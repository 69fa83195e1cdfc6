// TIniFile: settings in an INI text file ("[section]" lines, then "key=value" lines). Sections
// and keys are found without regard to ASCII case; a missing or unreadable file reads as
// empty. Every write updates the file at once, keeping its other lines, and replaces it
// atomically; a write that fails raises EIniFileException.
#pragma once

#include "platform/core/classes.h"

#include <cstdint>
#include <string>

class TStrings;

class TIniFile : public TObject
{
public:
    explicit TIniFile(const std::string& FileName);
    ~TIniFile() override;

    const std::string& FileName() const { return FFileName; }

    // Values are trimmed of blanks, and one pair of enclosing quotes (" or ') is removed.
    std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default);
    // Decimal, or hexadecimal with "0x" or "$"; Default when the text is no number.
    int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default);
    // An integer other than 0 is true.
    bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
    long double ReadFloat(const std::string& Section, const std::string& Ident, long double Default);

    void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
    void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
    // Writes "1" or "0".
    void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
    void WriteFloat(const std::string& Section, const std::string& Ident, long double Value);

    // Fill Strings (cleared first) with the keys of a section, the section names, or the
    // section's "key=value" lines.
    void ReadSection(const std::string& Section, TStrings& Strings);
    void ReadSections(TStrings& Strings);
    void ReadSectionValues(const std::string& Section, TStrings& Strings);
    bool SectionExists(const std::string& Section);
    bool ValueExists(const std::string& Section, const std::string& Ident);
    void EraseSection(const std::string& Section);
    void DeleteKey(const std::string& Section, const std::string& Ident);
    // Writes are immediate, so this only makes sure the file holds what was written.
    void UpdateFile();

private:
    std::string FFileName;
};
