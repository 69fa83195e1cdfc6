// The template tag language: scanning, splitting, attribute parsing and the error lines of the
// placement-tag checks.
#include "app/tag_language.h"

#include "app/typed_values.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using TPairs = std::vector<std::pair<std::string, std::string>>;

TPairs Pairs(const TVqValues& List)
{
    TPairs pairs;
    for (TVqChainItem* item = List.First(); item != nullptr; item = item->Next()) {
        const auto* value = static_cast<TVqValue*>(item);
        pairs.emplace_back(value->Name(), value->AsString());
    }
    return pairs;
}

// Every tag of a template as NextTag gives it.
std::vector<TTemplateTag> AllTags(const std::string& Text)
{
    std::vector<TTemplateTag> tags;
    size_t position = 0;
    int32_t line = 1;
    while (position < Text.size()) {
        TTemplateTag tag = NextTag(Text, position, line);
        if (!tag.Text.empty()) {
            tags.push_back(tag);
        }
    }
    return tags;
}

// The template analysis: every placement tag checked, errors by the line of its "<".
std::string AnalyseTemplate(const std::string& Text)
{
    std::string errors;
    TVqValues attributes;
    for (const TTemplateTag& tag : AllTags(Text)) {
        std::string name;
        std::string params;
        SplitTag(tag.Text, name, params);
        ParseTagParams(params, attributes);
        ValidateThumbsTag(name, attributes, tag.Line, errors);
    }
    return errors;
}

} // namespace

TEST(TagLanguage, NextTagFindsTagsWithTheirLinesAndBytes)
{
    const std::string text = "ab<thumbs\r\n width=5>cd\n<x>\n\nend";
    size_t position = 0;
    int32_t line = 1;

    TTemplateTag tag = NextTag(text, position, line);
    EXPECT_EQ(tag.Text, "<thumbs   width=5>");
    EXPECT_EQ(tag.Raw, "<thumbs\r\n width=5>");
    EXPECT_EQ(tag.Start, 2u);
    EXPECT_EQ(tag.Line, 1);
    EXPECT_EQ(position, text.find('>'));
    EXPECT_EQ(line, 2);

    tag = NextTag(text, position, line);
    EXPECT_EQ(tag.Text, "<x>");
    EXPECT_EQ(tag.Start, text.find("<x>"));
    EXPECT_EQ(tag.Line, 3);
    EXPECT_EQ(line, 3);

    // No tag left: the rest is passed, its line feeds counted.
    tag = NextTag(text, position, line);
    EXPECT_TRUE(tag.Text.empty());
    EXPECT_TRUE(tag.Raw.empty());
    EXPECT_EQ(tag.Start, text.size());
    EXPECT_EQ(position, text.size());
    EXPECT_EQ(line, 5);
}

TEST(TagLanguage, NextTagKeepsWordsOfBrokenTagsApartAndEndsAtTheText)
{
    const struct
    {
        std::string Text;
        std::string Tag;
        std::string Raw;
        size_t Position;
    } cases[] = {
        {"<a\thref=x>", "<a href=x>", "<a\thref=x>", 9},
        {"<a\nhref=x>", "<a href=x>", "<a\nhref=x>", 9},
        {"x <a href", "<a href", "<a href", 9},
        {"<", "<", "<", 1},
        {"plain text", "", "", 10},
        {"", "", "", 0},
    };
    for (const auto& c : cases) {
        size_t position = 0;
        int32_t line = 1;
        const TTemplateTag tag = NextTag(c.Text, position, line);
        EXPECT_EQ(tag.Text, c.Tag) << c.Text;
        EXPECT_EQ(tag.Raw, c.Raw) << c.Text;
        EXPECT_EQ(position, c.Position) << c.Text;
    }
}

TEST(TagLanguage, ScriptBlocksAreOneTagWhateverTheirCase)
{
    const std::string script = "<SCRIPT type=x>\nif (a<b) x();\n\t<thumbs cols=2>\n</Script>";
    const std::string text = script + "\n<thumb>";
    const std::vector<TTemplateTag> tags = AllTags(text);
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].Text, script);
    EXPECT_EQ(tags[0].Raw, script);
    EXPECT_EQ(tags[0].Line, 1);
    // The line feeds inside the block count.
    EXPECT_EQ(tags[1].Text, "<thumb>");
    EXPECT_EQ(tags[1].Line, 5);

    // A block whose closing tag never comes runs to the end of the text.
    size_t position = 0;
    int32_t line = 1;
    const TTemplateTag open = NextTag("<script>a\nb", position, line);
    EXPECT_EQ(open.Text, "<script>a\nb");
    EXPECT_EQ(position, 11u);
    EXPECT_EQ(line, 2);

    // The closing tag must follow the opening one; "<script></script>" is a block of its own.
    EXPECT_EQ(AllTags("<script></script><b>").size(), 2u);

    // Only a script tag opens a block, not a tag that mentions the word.
    const struct
    {
        const char* Text;
        size_t Tags;
    } mentions[] = {
        {"<scripted><thumb></script>", 3},   {"<a title='<script'><thumb></script>", 3},
        {"<noscript><thumb></noscript>", 3}, {"<script\ntype=x><thumb></script>", 1},
        {"<script/><thumb></script>", 1},
    };
    for (const auto& c : mentions) {
        EXPECT_EQ(AllTags(c.Text).size(), c.Tags) << c.Text;
    }
}

TEST(TagLanguage, SplitTagGivesNameAndParameters)
{
    const struct
    {
        const char* Tag;
        const char* Name;
        const char* Params;
    } cases[] = {
        {"<thumbs cols=2 rows=1>", "thumbs", "cols=2 rows=1"},
        {"<thumb>", "thumb", ""},
        {"<ThUmB>", "ThUmB", ""},
        {"</next>", "/next", ""},
        {"<a  b=1>", "a", " b=1"},
        {"<a >", "a", ""},
        {"<a b", "a", ""},
        {"<>", "", ""},
        {"<", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string name = "old";
        std::string params = "old";
        SplitTag(c.Tag, name, params);
        EXPECT_EQ(name, c.Name) << c.Tag;
        EXPECT_EQ(params, c.Params) << c.Tag;
    }
}

TEST(TagLanguage, ParseTagParamsReadsPairs)
{
    const struct
    {
        std::string Params;
        TPairs Expected;
    } cases[] = {
        {"", {}},
        {"cols=2 rows=3", {{"cols", "2"}, {"rows", "3"}}},
        {"cols = 2   rows  =3", {{"cols", "2"}, {"rows", "3"}}},
        {"  width=5", {{"width", "5"}}},
        {"alt=\"a b\" title='x y'", {{"alt", "a b"}, {"title", "x y"}}},
        // Blanks are reduced before quotes are seen.
        {"alt=\"a   b\"", {{"alt", "a b"}}},
        {"a=\"x=y\" b='it\"s'", {{"a", "x=y"}, {"b", "it\"s"}}},
        {"width=5 WIDTH=6", {{"width", "6"}}},
        {"a=", {{"a", ""}}},
        {"=5", {{"", "5"}}},
        {"a=1 b", {{"a", "1"}, {"", "b"}}},
        // An attribute without "=" runs into the next one.
        {"nowrap width=5", {{"nowrapwidth", "5"}}},
    };
    TVqValues attributes;
    for (const auto& c : cases) {
        attributes.Add(vqString, "stale");
        ParseTagParams(c.Params, attributes);
        EXPECT_EQ(Pairs(attributes), c.Expected) << c.Params;
    }

    // Only the first 1023 characters are read.
    ParseTagParams("a=" + std::string(2000, 'x'), attributes);
    EXPECT_EQ(attributes.Find("a")->AsString(), std::string(1021, 'x'));
}

TEST(TagLanguage, HtmlColoursAreANumberSignAndSixHexDigits)
{
    const struct
    {
        const char* Text;
        bool Expected;
    } cases[] = {
        {"#00ff00", true},  {"#00FF00", true},   {"#aBcDeF", true}, {"00FF00", false}, {"#00FF0", false},
        {"#00FG00", false}, {"#00FF000", false}, {"", false},       {"#", false},      {"# 0FF00", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsHtmlColor(c.Text), c.Expected) << c.Text;
    }
}

TEST(TagLanguage, ValidateThumbsTagWordsEachFailureInOrder)
{
    TVqValues attributes;
    std::string errors = "before\n";
    ParseTagParams("bgcolor=red cellpad=2 cellspace=x border=-1 rows=-1 cols=0 height=100% width=abc",
                   attributes);
    EXPECT_FALSE(ValidateThumbsTag("Thumbs", attributes, 7, errors));
    EXPECT_EQ(errors, "before\n"
                      "Line 7\nTag :Thumbs\nThe parameter 'width' should be numeric\n"
                      "Line 7\nTag :Thumbs\nThe parameter 'height' should be numeric\n"
                      "Line 7\nTag :Thumbs\nThe parameter 'cols' should be at least 1\n"
                      "Line 7\nTag :Thumbs\nThe parameter 'rows' should be at least 1\n"
                      "Line 7\nTag :Thumbs\nThe parameter 'border' should be at least 0\n"
                      "Line 7\nTag :Thumbs\nThe parameter 'cellspace' should be numeric\n"
                      "Line 7\nTag :Thumbs\nThe parameter 'bgcolor' should be in the color format\n");

    const struct
    {
        const char* Name;
        const char* Params;
        bool Valid;
        const char* Errors;
    } cases[] = {
        {"thumbs", "width=100 height=$64 cols=1 rows=20 border=0 cellspace=0 cellpad=0 bgcolor=#123abc", true,
         ""},
        {"thumbs", "", true, ""},
        {"thumbs", "tabwidth=100% align=left", true, ""},
        {"thumbs", "width=", false, "Line 3\nTag :thumbs\nThe parameter 'width' should be numeric\n"},
        {"thumbs", "rows=-2147483647", false,
         "Line 3\nTag :thumbs\nThe parameter 'rows' should be numeric\n"},
        {"thumb", "cols=0 rows=x", true, ""},
        {"THUMB", "height=0", false, "Line 3\nTag :THUMB\nThe parameter 'height' should be at least 1\n"},
        {"thumb", "cellpad=-1", false, "Line 3\nTag :thumb\nThe parameter 'cellpad' should be at least 0\n"},
        {"thumb", "bgcolor='#00FG00'", false,
         "Line 3\nTag :thumb\nThe parameter 'bgcolor' should be in the color format\n"},
        {"thumboption", "width=abc", false, ""},
        {"div", "", false, ""},
    };
    for (const auto& c : cases) {
        std::string caseErrors;
        ParseTagParams(c.Params, attributes);
        EXPECT_EQ(ValidateThumbsTag(c.Name, attributes, 3, caseErrors), c.Valid) << c.Name << ' ' << c.Params;
        EXPECT_EQ(caseErrors, c.Errors) << c.Name << ' ' << c.Params;
    }
}

TEST(TagLanguage, ErrorsNameTheLineOfTheTag)
{
    // The tag before the faulty one ends on line 4; the faulty one starts on line 5.
    const std::string text = "<html>\n<body>\n<p>\ntext</p>\n<thumbs width=abc>\n</body>";
    EXPECT_EQ(AnalyseTemplate(text), "Line 5\nTag :thumbs\nThe parameter 'width' should be numeric\n");

    // A tag written over several lines is reported at its "<", and later lines still count.
    const std::string broken = "<p>\n<thumb\nwidth=0\r\nheight=5>\n\n<thumb\tcellpad=x>";
    EXPECT_EQ(AnalyseTemplate(broken), "Line 2\nTag :thumb\nThe parameter 'width' should be at least 1\n"
                                       "Line 6\nTag :thumb\nThe parameter 'cellpad' should be numeric\n");

    // Placement tags inside a script block are not the generator's; the lines of the block count.
    const std::string script = "<script>\n<thumbs width=x>\n</script>\n<thumbs rows=x>";
    EXPECT_EQ(AnalyseTemplate(script), "Line 4\nTag :thumbs\nThe parameter 'rows' should be numeric\n");
}
