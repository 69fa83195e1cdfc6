// The template tag language: scanner, splitter, attribute parser and the placement-tag checks.
#include "app/tag_language.h"

#include "app/typed_values.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t MaxParamsLength = 1023;

bool IsClosingScriptTag(std::string_view Text, size_t Start)
{
    constexpr std::string_view closing = "</script>";
    for (size_t i = 0; i < closing.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(Text[Start + i])) != closing[i]) {
            return false;
        }
    }
    return true;
}

// Line breaks and tabs inside a tag separate words just as a blank does.
std::string TagTextForParsing(std::string_view Raw)
{
    std::string text(Raw);
    std::replace_if(
        text.begin(), text.end(), [](char C) { return C == '\r' || C == '\n' || C == '\t'; }, ' ');
    return text;
}

// An opening script tag: "<script" followed by a blank, "/" or ">". A tag that merely mentions
// the word (an attribute value "<scripts>", a "<scripted>" element) opens no block.
bool IsScriptTag(const std::string& Tag)
{
    constexpr std::string_view opening = "<script";
    if (Tag.size() <= opening.size() || LowerCase(Tag.substr(0, opening.size())) != opening) {
        return false;
    }
    const char next = Tag[opening.size()];
    return next == ' ' || next == '/' || next == '>';
}

// From the character after the opening tag to the ">" of the closing script tag, or the end.
size_t ScriptBlockEnd(std::string_view Text, size_t OpeningEnd, int32_t& Line)
{
    for (size_t k = OpeningEnd + 1; k < Text.size(); ++k) {
        if (Text[k] == '\n') {
            ++Line;
        }
        if (k >= OpeningEnd + 9 && IsClosingScriptTag(Text, k - 8)) {
            return k;
        }
    }
    return Text.size();
}

} // namespace

TTemplateTag NextTag(std::string_view Text, size_t& Position, int32_t& Line)
{
    TTemplateTag tag;
    size_t i = Position;
    while (i < Text.size() && Text[i] != '<') {
        if (Text[i] == '\n') {
            ++Line;
        }
        ++i;
    }
    tag.Start = std::min(i, Text.size());
    tag.Line = Line;
    if (i >= Text.size()) {
        Position = Text.size();
        return tag;
    }

    size_t end = i;
    while (end < Text.size() && Text[end] != '>') {
        if (Text[end] == '\n') {
            ++Line;
        }
        ++end;
    }
    tag.Text = TagTextForParsing(Text.substr(i, std::min(end + 1, Text.size()) - i));
    if (end < Text.size() && IsScriptTag(tag.Text)) {
        const size_t blockEnd = ScriptBlockEnd(Text, end, Line);
        tag.Text.append(Text.substr(end + 1, std::min(blockEnd + 1, Text.size()) - (end + 1)));
        end = blockEnd;
    }
    tag.Raw = std::string(Text.substr(i, std::min(end + 1, Text.size()) - i));
    Position = end;
    return tag;
}

void SplitTag(const std::string& Tag, std::string& Name, std::string& Params)
{
    const size_t blank = Tag.find(' ');
    if (blank != std::string::npos) {
        Name = blank > 1 ? Tag.substr(1, blank - 1) : std::string();
        const size_t paramsStart = blank + 1;
        Params = Tag.size() > paramsStart + 1 ? Tag.substr(paramsStart, Tag.size() - 1 - paramsStart)
                                              : std::string();
    } else {
        Name = Tag.size() > 2 ? Tag.substr(1, Tag.size() - 2) : std::string();
        Params.clear();
    }
}

namespace {

// Runs of blanks shrink to one, except that the first two characters are always kept.
std::string ReduceBlanks(const std::string& Params)
{
    std::string reduced;
    for (char c : Params) {
        if (reduced.size() >= MaxParamsLength) {
            break;
        }
        if (c == ' ' && reduced.size() >= 2 && reduced.back() == ' ') {
            continue;
        }
        reduced.push_back(c);
    }
    return reduced;
}

} // namespace

void ParseTagParams(const std::string& Params, TVqValues& Attributes)
{
    Attributes.Clear();
    std::string token;
    bool inQuote = false;
    char quote = 0;
    bool afterEquals = false;
    bool valueStarted = false;
    for (char c : ReduceBlanks(Params)) {
        bool taken = false;
        if (!inQuote && c == ' ' && valueStarted) {
            ParseNameValue(Attributes, token);
            token.clear();
            valueStarted = false;
            afterEquals = false;
        }
        if (!inQuote && c == '=' && !taken) {
            token.push_back('=');
            afterEquals = true;
            taken = true;
        }
        if (afterEquals && c != ' ' && !taken) {
            valueStarted = true;
        }
        if (inQuote && c == quote && !taken) {
            inQuote = false;
            taken = true;
        }
        if (!inQuote && (c == '"' || c == '\'') && !taken) {
            inQuote = true;
            quote = c;
            taken = true;
        }
        if (!taken && (c != ' ' || inQuote)) {
            token.push_back(c);
        }
    }
    ParseNameValue(Attributes, token);
}

void ParseNameValue(TVqValues& Attributes, const std::string& Pair)
{
    if (Pair.empty()) {
        return;
    }
    const size_t equals = Pair.find('=');
    const std::string name = equals == std::string::npos ? std::string() : Pair.substr(0, equals);
    const std::string value = equals == std::string::npos ? Pair : Pair.substr(equals + 1);
    TVqValue* entry = Attributes.Find(name);
    if (entry == nullptr) {
        entry = Attributes.Add(vqString, name);
    }
    entry->SetString(value);
}

bool AddTagError(const std::string& Name, int32_t Line, std::string& Errors, const std::string& Message)
{
    Errors += "Line " + IntToStr(Line) + "\n" + "Tag :" + Name + "\n" + Message + "\n";
    return false;
}

bool IsHtmlColor(const std::string& Text)
{
    if (Text.size() != 7 || Text[0] != '#') {
        return false;
    }
    return std::all_of(Text.begin() + 1, Text.end(),
                       [](char C) { return std::isxdigit(static_cast<unsigned char>(C)) != 0; });
}

namespace {

// A numeric attribute and the least value that makes sense for it: sizes and counts of at least
// 1 (a table of no columns never fills a page), spacing of at least 0.
struct TNumericAttribute
{
    const char* Name;
    int32_t Minimum;
};

constexpr TNumericAttribute ThumbsAttributes[] = {{"width", 1},  {"height", 1},    {"cols", 1},   {"rows", 1},
                                                  {"border", 0}, {"cellspace", 0}, {"cellpad", 0}};
constexpr TNumericAttribute ThumbAttributes[] = {
    {"width", 1}, {"height", 1}, {"border", 0}, {"cellspace", 0}, {"cellpad", 0}};

template <size_t N>
bool ValidateAttributes(const TNumericAttribute (&Numeric)[N], const std::string& Name,
                        const TVqValues& Attributes, int32_t Line, std::string& Errors)
{
    bool valid = true;
    for (const TNumericAttribute& attribute : Numeric) {
        const TVqValue* entry = Attributes.Find(attribute.Name);
        if (entry == nullptr) {
            continue;
        }
        const int32_t number = entry->AsInteger();
        const std::string parameter = std::string("The parameter '") + attribute.Name + "' should ";
        if (number == VqNotANumber) {
            valid = AddTagError(Name, Line, Errors, parameter + "be numeric");
        } else if (number < attribute.Minimum) {
            valid = AddTagError(Name, Line, Errors, parameter + "be at least " + IntToStr(attribute.Minimum));
        }
    }
    const TVqValue* color = Attributes.Find("bgcolor");
    if (color != nullptr && !IsHtmlColor(color->AsString())) {
        valid = AddTagError(Name, Line, Errors, "The parameter 'bgcolor' should be in the color format");
    }
    return valid;
}

} // namespace

bool ValidateThumbsTag(const std::string& Name, const TVqValues& Attributes, int32_t Line,
                       std::string& Errors)
{
    if (SameText(Name, "thumbs")) {
        return ValidateAttributes(ThumbsAttributes, Name, Attributes, Line, Errors);
    }
    if (SameText(Name, "thumb")) {
        return ValidateAttributes(ThumbAttributes, Name, Attributes, Line, Errors);
    }
    return false;
}
