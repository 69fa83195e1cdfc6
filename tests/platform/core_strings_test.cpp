// String helpers: number conversion, trimming, case, searching, replacing and formatting.
#include "platform/core/exceptions.h"
#include "platform/core/strings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(Strings, StrToIntAcceptsDecimalAndHexadecimal)
{
    struct Case
    {
        const char* Text;
        bool Valid;
        int32_t Value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"  -17", true, -17},
        {"+8", true, 8},
        {"$1F", true, 31},
        {"0x10", true, 16},
        {"-$10", true, -16},
        {"$FFFFFFFF", true, -1},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"$100000000", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"12 ", false, 0}, // trailing blanks are not accepted
        {"1.5", false, 0},
        {"100%", false, 0},
        {"0x", false, 0},
        {"99999999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        int32_t value = 7;
        EXPECT_EQ(TryStrToInt(c.Text, value), c.Valid) << c.Text;
        if (c.Valid) {
            EXPECT_EQ(value, c.Value) << c.Text;
            EXPECT_EQ(StrToInt(c.Text), c.Value);
        } else {
            EXPECT_EQ(value, 7) << c.Text; // untouched on failure
            EXPECT_THROW(StrToInt(c.Text), EConvertError) << c.Text;
            EXPECT_EQ(StrToIntDef(c.Text, -2147483647), -2147483647);
        }
    }
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(StrToInt64Def("9223372036854775808", 5), 5);
}

TEST(Strings, IntToHexPadsAndShowsTwosComplement)
{
    EXPECT_EQ(IntToHex(255, 2), "FF");
    EXPECT_EQ(IntToHex(255, 6), "0000FF");
    EXPECT_EQ(IntToHex(0x12345, 2), "12345");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(INT64_MIN, 1), "8000000000000000");
    EXPECT_EQ(IntToStr(-42), "-42");
}

TEST(Strings, FloatToStrUsesFifteenSignificantDigits)
{
    struct Case
    {
        long double Value;
        const char* Text;
    };
    const Case cases[] = {
        {0, "0"},
        {1.5L, "1.5"},
        {-2.25L, "-2.25"},
        {100, "100"},
        {0.1, "0.1"}, // a double's noise beyond 15 digits does not show
        {1.0 / 3.0, "0.333333333333333"},
        {0.0001L, "0.0001"},
        {0.00001L, "1E-5"},
        {1.5e-7L, "1.5E-7"},
        {123456789012345.0L, "123456789012345"},
        {1e15L, "1E15"},
        {1.25e20L, "1.25E20"},
        {45.0L, "45"},
        {-0.5L, "-0.5"},
        {(long double)NAN, "NAN"},
        {(long double)INFINITY, "INF"},
        {-(long double)INFINITY, "-INF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FloatToStr(c.Value), c.Text);
    }
}

TEST(Strings, StrToFloatIsStrictAndLocaleFree)
{
    EXPECT_EQ(StrToFloat("1.5"), 1.5L);
    EXPECT_EQ(StrToFloat(" -2e3 "), -2000.0L);
    EXPECT_EQ(StrToFloat(".5"), 0.5L);
    for (const char* bad : {"", "1,5", "abc", "nan", "inf", "0x10", "1.5x", "1e999999"}) {
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
        EXPECT_EQ(StrToFloatDef(bad, 7.0L), 7.0L) << bad;
    }
}

TEST(Strings, TrimCaseAndCompare)
{
    EXPECT_EQ(Trim("\t  a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(UpperCase("abc\xc3\xa9z"), "ABC\xc3\xa9Z"); // UTF-8 bytes stay as they are
    EXPECT_EQ(LowerCase("MiXeD"), "mixed");
    EXPECT_TRUE(SameText("Thumbs.DB", "thumbs.db"));
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_LT(CompareText("apple", "Banana"), 0);
    EXPECT_GT(CompareStr("apple", "Banana"), 0);
    EXPECT_EQ(CompareText("x", "X"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0);
}

TEST(Strings, PosAndCopyAreOneBasedAndClamped)
{
    EXPECT_EQ(Pos("lo", "hello"), 4);
    EXPECT_EQ(Pos("x", "hello"), 0);
    EXPECT_EQ(Pos("", "hello"), 0);
    EXPECT_EQ(Copy("hello", 2, 3), "ell");
    EXPECT_EQ(Copy("hello", 4, 100), "lo");
    EXPECT_EQ(Copy("hello", 0, 2), "he");
    EXPECT_EQ(Copy("hello", 6, 1), "");
    EXPECT_EQ(Copy("hello", 2, -1), "");
    EXPECT_EQ(Copy("hello", 2, INT64_MAX), "ello");
}

TEST(Strings, StringReplaceFlags)
{
    struct Case
    {
        const char* Text;
        const char* Old;
        const char* New;
        TReplaceFlags Flags;
        const char* Result;
    };
    const Case cases[] = {
        {"a-b-c", "-", "+", 0, "a+b-c"},
        {"a-b-c", "-", "+", rfReplaceAll, "a+b+c"},
        {"Tag tAG tag", "tag", "x", rfReplaceAll, "Tag tAG x"},
        {"Tag tAG tag", "tag", "x", rfReplaceAll | rfIgnoreCase, "x x x"},
        {"aaa", "aa", "a", rfReplaceAll, "aa"}, // no rescanning of replaced text
        {"abc", "", "x", rfReplaceAll, "abc"},
        {"@_name_@", "@_name_@", "", rfReplaceAll, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StringReplace(c.Text, c.Old, c.New, c.Flags), c.Result) << c.Text;
    }
}

TEST(Strings, QuotedStrings)
{
    EXPECT_EQ(AnsiQuotedStr("it's", '\''), "'it''s'");
    size_t pos = 0;
    EXPECT_EQ(AnsiExtractQuotedStr("'it''s' rest", pos, '\''), "it's");
    EXPECT_EQ(pos, 7u);
    pos = 0;
    EXPECT_EQ(AnsiExtractQuotedStr("no quote", pos, '\''), "");
    EXPECT_EQ(pos, 0u);
}

TEST(Format, ConversionsFollowPrintf)
{
    EXPECT_EQ(Format("#%02X%02X%02X", 255, 8, 0), "#FF0800");
    EXPECT_EQ(Format("%d items, %s", 3, std::string("done")), "3 items, done");
    EXPECT_EQ(Format("%5d|%-5d|%05d", 42, 42, -42), "   42|42   |-0042");
    EXPECT_EQ(Format("%x %X %o %u", 255, 255, 8, 7u), "ff FF 10 7");
    EXPECT_EQ(Format("%x", -1), "ffffffff");
    EXPECT_EQ(Format("%.2f %.0f %f", 3.14159, 2.5, 1.0), "3.14 2 1.000000");
    EXPECT_EQ(Format("%g %g", 0.0001, 1e20), "0.0001 1e+20");
    EXPECT_EQ(Format("%e", 12345.0), "1.234500e+04");
    EXPECT_EQ(Format("%.3s|%5s|%-5s|", "abcdef", "ab", "ab"), "abc|   ab|ab   |");
    EXPECT_EQ(Format("%*d|%-*d|%.*f", 4, 7, 3, 1, 1, 2.25), "   7|1  |2.2");
    EXPECT_EQ(Format("100%% %c", 'A'), "100% A");
    EXPECT_EQ(Format("%ld %lld %hd %zu", 1L, 2LL, static_cast<short>(3), size_t(4)), "1 2 3 4");
    EXPECT_EQ(Format("%f", 2), "2.000000"); // an integer stands for a float
    EXPECT_EQ(Format("%s", std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(Format("no conversions"), "no conversions");
}

TEST(Format, MismatchesRaiseConvertError)
{
    EXPECT_THROW(Format("%d", 1.5), EConvertError);
    EXPECT_THROW(Format("%s", 3), EConvertError);
    EXPECT_THROW(Format("%d %d", 1), EConvertError);
    EXPECT_THROW(Format("%", 1), EConvertError);
    EXPECT_THROW(Format("%y", 1), EConvertError);
    EXPECT_THROW(Format("%99999d", 1), EConvertError);
    EXPECT_THROW(Format("%n", 1), EConvertError);
}

} // namespace
