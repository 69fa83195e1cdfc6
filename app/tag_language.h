// The template tag language: cutting a template into tags, splitting a tag into its name and
// attributes, checking the placement tags and wording their error lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TVqValues;

// One tag found by NextTag.
struct TTemplateTag
{
    // The tag for parsing: its bytes from "<" to ">" with carriage returns, line feeds and tabs
    // turned into blanks; or a whole script block, from its opening tag ("<script" followed by a
    // blank, "/" or ">", in any case) to its closing one.
    std::string Text;
    // Its bytes exactly as they stand in the template (what a tag that is not ours is written as).
    std::string Raw;
    // Index of its "<", or the text's length when no tag was left.
    size_t Start = 0;
    // Line of its "<", counting from 1.
    int32_t Line = 1;
};

// Finds the next tag from Position on (the character at Position itself is examined first).
// Position is left on the last character consumed (the tag's ">", the end of a script block,
// or the text's length when the text ends first); Line advances by every line feed passed, so
// after the call it is the line of Position. When no "<" is left, the tag's Text and Raw are
// empty and Position becomes the text's length.
TTemplateTag NextTag(std::string_view Text, size_t& Position, int32_t& Line);

// The name is the text between "<" and the first blank (or the tag without its first and last
// character when there is no blank); the parameters are the text after that blank, without the
// final character.
void SplitTag(const std::string& Tag, std::string& Name, std::string& Params);

// Clears Attributes and fills it with one string entry per name=value pair: blanks separate
// pairs, blanks around "=" are ignored, quotes (double or single) are removed and keep the blanks
// between them. Only the first 1023 characters after blank reduction are read.
void ParseTagParams(const std::string& Params, TVqValues& Attributes);
// Adds or updates the entry of one "name=value" pair; a pair without "=" has an empty name.
void ParseNameValue(TVqValues& Attributes, const std::string& Pair);

// Appends "Line <n>", "Tag :<name>" and the message, each ending in a line feed; returns false.
bool AddTagError(const std::string& Name, int32_t Line, std::string& Errors, const std::string& Message);

// "#" and six hexadecimal digits.
bool IsHtmlColor(const std::string& Text);

// Checks the attributes of a "thumbs" or "thumb" tag, appending an error for each that fails;
// false when one failed or when the name is neither.
bool ValidateThumbsTag(const std::string& Name, const TVqValues& Attributes, int32_t Line,
                       std::string& Errors);
