// TIniFile over a text file that is read afresh for every call and replaced atomically on
// every write, so that several objects (and programs) on one file see each other's changes.
#include "platform/core/inifiles.h"

#include "platform/core/detail/text_helpers.h"
#include "platform/core/detail/whole_file.h"
#include "platform/core/exceptions.h"
#include "platform/core/lists.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <vector>

namespace {

using kvcore_detail::TReadResult;

// Editors on some systems start UTF-8 text with this mark; it is no part of the first line.
const char* const kByteOrderMark = "\xEF\xBB\xBF";

struct TIniLine
{
    enum TKind
    {
        Other,
        Section,
        Key
    };
    TKind Kind = Other;
    std::string Text; // the line as it stands in the file, without its line break
    std::string Name; // section name or key, trimmed
    std::string Value;
};

struct TIniContent
{
    std::vector<TIniLine> Lines;
    std::string LineBreak = "\n";
    bool ByteOrderMark = false; // a UTF-8 mark before the first line, kept on writing
    TReadResult Status = TReadResult::Missing;
};

std::string Unquote(const std::string& Value)
{
    if (Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') &&
        Value.back() == Value.front()) {
        return Value.substr(1, Value.size() - 2);
    }
    return Value;
}

TIniLine ParseLine(const std::string& Text)
{
    TIniLine line;
    line.Text = Text;
    std::string trimmed = Trim(Text);
    if (trimmed.empty() || trimmed[0] == ';') {
        return line;
    }
    if (trimmed[0] == '[') {
        size_t close = trimmed.find(']');
        if (close != std::string::npos) {
            line.Kind = TIniLine::Section;
            line.Name = Trim(trimmed.substr(1, close - 1));
        }
        return line;
    }
    size_t equals = trimmed.find('=');
    if (equals != std::string::npos) {
        line.Kind = TIniLine::Key;
        line.Name = Trim(trimmed.substr(0, equals));
        line.Value = Unquote(Trim(trimmed.substr(equals + 1)));
    }
    return line;
}

TIniContent Load(const std::string& FileName)
{
    TIniContent content;
    std::string text;
    content.Status = kvcore_detail::ReadWholeFile(FileName, text);
    if (content.Status != TReadResult::Ok) {
        return content;
    }
    if (text.compare(0, 3, kByteOrderMark) == 0) {
        content.ByteOrderMark = true;
        text.erase(0, 3);
    }
    if (text.find("\r\n") != std::string::npos) {
        content.LineBreak = "\r\n";
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string lineText = text.substr(start, end - start);
        if (!lineText.empty() && lineText.back() == '\r') {
            lineText.pop_back();
        }
        content.Lines.push_back(ParseLine(lineText));
        start = end + 1;
    }
    return content;
}

// [first, end) of the lines of the first section of that name; first = end = npos when absent.
// first is the header line.
struct TSectionRange
{
    size_t First = std::string::npos;
    size_t End = std::string::npos;
    bool Found() const { return First != std::string::npos; }
};

TSectionRange FindSection(const TIniContent& Content, const std::string& Section, size_t From = 0)
{
    TSectionRange range;
    for (size_t i = From; i < Content.Lines.size(); ++i) {
        const TIniLine& line = Content.Lines[i];
        if (line.Kind != TIniLine::Section) {
            continue;
        }
        if (range.Found()) {
            range.End = i;
            return range;
        }
        if (SameText(line.Name, Section)) {
            range.First = i;
        }
    }
    if (range.Found()) {
        range.End = Content.Lines.size();
    }
    return range;
}

size_t FindKey(const TIniContent& Content, const TSectionRange& Range, const std::string& Ident)
{
    if (!Range.Found()) {
        return std::string::npos;
    }
    for (size_t i = Range.First + 1; i < Range.End; ++i) {
        if (Content.Lines[i].Kind == TIniLine::Key && SameText(Content.Lines[i].Name, Ident)) {
            return i;
        }
    }
    return std::string::npos;
}

// The key lines of the first section of that name, in file order.
std::vector<TIniLine> KeysOf(const TIniContent& Content, const std::string& Section)
{
    std::vector<TIniLine> keys;
    TSectionRange range = FindSection(Content, Section);
    for (size_t i = range.Found() ? range.First + 1 : 0; range.Found() && i < range.End; ++i) {
        if (Content.Lines[i].Kind == TIniLine::Key) {
            keys.push_back(Content.Lines[i]);
        }
    }
    return keys;
}

void CheckStorable(const std::string& FileName, const std::string& Text, bool IsName)
{
    bool bad = Text.find_first_of("\r\n") != std::string::npos;
    if (IsName) {
        std::string trimmed = Trim(Text);
        bad = bad || trimmed.empty() || trimmed != Text || Text.find_first_of("=]") != std::string::npos ||
              Text[0] == '[' || Text[0] == ';';
    }
    if (bad) {
        throw EIniFileException("Unable to write to " + FileName + ": '" + Text +
                                "' cannot be stored in an ini file");
    }
}

void Save(const std::string& FileName, const TIniContent& Content)
{
    std::string text = Content.ByteOrderMark ? kByteOrderMark : "";
    for (const TIniLine& line : Content.Lines) {
        text += line.Text;
        text += Content.LineBreak;
    }
    if (!kvcore_detail::WriteWholeFile(FileName, text, 0644)) {
        throw EIniFileException("Unable to write to " + FileName);
    }
}

// Loads for a change; a file that exists but cannot be read must not be replaced by one that
// holds only the change.
TIniContent LoadForWrite(const std::string& FileName)
{
    TIniContent content = Load(FileName);
    if (content.Status == TReadResult::Unreadable) {
        throw EIniFileException("Unable to write to " + FileName + ": the file cannot be read");
    }
    return content;
}

} // namespace

TIniFile::TIniFile(const std::string& FileName) : FFileName(FileName) {}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default)
{
    TIniContent content = Load(FFileName);
    size_t key = FindKey(content, FindSection(content, Section), Ident);
    return key == std::string::npos ? Default : content.Lines[key].Value;
}

int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default)
{
    return StrToIntDef(ReadString(Section, Ident, std::string()), Default);
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default)
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

long double TIniFile::ReadFloat(const std::string& Section, const std::string& Ident, long double Default)
{
    return StrToFloatDef(ReadString(Section, Ident, std::string()), Default);
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value)
{
    CheckStorable(FFileName, Section, true);
    CheckStorable(FFileName, Ident, true);
    CheckStorable(FFileName, Value, false);
    TIniContent content = LoadForWrite(FFileName);
    TSectionRange range = FindSection(content, Section);
    size_t key = FindKey(content, range, Ident);
    if (key != std::string::npos) {
        content.Lines[key] = ParseLine(content.Lines[key].Name + "=" + Value);
    } else if (range.Found()) {
        // After the section's last key, before the blank lines that part it from the next.
        size_t at = range.End;
        while (at > range.First + 1 && content.Lines[at - 1].Kind == TIniLine::Other &&
               Trim(content.Lines[at - 1].Text).empty()) {
            --at;
        }
        content.Lines.insert(content.Lines.begin() + static_cast<std::ptrdiff_t>(at),
                             ParseLine(Ident + "=" + Value));
    } else {
        if (!content.Lines.empty() && !Trim(content.Lines.back().Text).empty()) {
            content.Lines.push_back(ParseLine(std::string()));
        }
        content.Lines.push_back(ParseLine("[" + Section + "]"));
        content.Lines.push_back(ParseLine(Ident + "=" + Value));
    }
    Save(FFileName, content);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value)
{
    WriteString(Section, Ident, IntToStr(Value));
}

void TIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value)
{
    WriteString(Section, Ident, Value ? "1" : "0");
}

void TIniFile::WriteFloat(const std::string& Section, const std::string& Ident, long double Value)
{
    WriteString(Section, Ident, FloatToStr(Value));
}

void TIniFile::ReadSection(const std::string& Section, TStrings& Strings)
{
    std::vector<std::string> keys;
    for (const TIniLine& line : KeysOf(Load(FFileName), Section)) {
        keys.push_back(line.Name);
    }
    kvcore_detail::ReplaceStrings(Strings, keys);
}

void TIniFile::ReadSections(TStrings& Strings)
{
    std::vector<std::string> sections;
    for (const TIniLine& line : Load(FFileName).Lines) {
        if (line.Kind == TIniLine::Section &&
            std::none_of(sections.begin(), sections.end(),
                         [&](const std::string& s) { return SameText(s, line.Name); })) {
            sections.push_back(line.Name);
        }
    }
    kvcore_detail::ReplaceStrings(Strings, sections);
}

void TIniFile::ReadSectionValues(const std::string& Section, TStrings& Strings)
{
    std::vector<std::string> pairs;
    for (const TIniLine& line : KeysOf(Load(FFileName), Section)) {
        pairs.push_back(line.Name + "=" + line.Value);
    }
    kvcore_detail::ReplaceStrings(Strings, pairs);
}

bool TIniFile::SectionExists(const std::string& Section)
{
    return FindSection(Load(FFileName), Section).Found();
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident)
{
    TIniContent content = Load(FFileName);
    return FindKey(content, FindSection(content, Section), Ident) != std::string::npos;
}

void TIniFile::EraseSection(const std::string& Section)
{
    TIniContent content = LoadForWrite(FFileName);
    bool changed = false;
    for (TSectionRange range = FindSection(content, Section); range.Found();
         range = FindSection(content, Section)) {
        content.Lines.erase(content.Lines.begin() + static_cast<std::ptrdiff_t>(range.First),
                            content.Lines.begin() + static_cast<std::ptrdiff_t>(range.End));
        changed = true;
    }
    if (changed) {
        Save(FFileName, content);
    }
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident)
{
    TIniContent content = LoadForWrite(FFileName);
    size_t key = FindKey(content, FindSection(content, Section), Ident);
    if (key == std::string::npos) {
        return;
    }
    content.Lines.erase(content.Lines.begin() + static_cast<std::ptrdiff_t>(key));
    Save(FFileName, content);
}

void TIniFile::UpdateFile() {}
