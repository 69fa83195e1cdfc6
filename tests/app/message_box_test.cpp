// Names as the program's messages show them.
#include "app/message_box.h"

#include <gtest/gtest.h>

TEST(ShownName, OrdinaryNamesStayAsTheyAre)
{
    for (const std::string name : {"", "/home/ann/Photos 2024/IMG_0001.JPG", "Noël chez Mémé 0010.jpg",
                                   "Фото/写真/📷.png", "a'b\"c (1).gif"}) {
        EXPECT_EQ(ShownName(name), name);
    }
}

TEST(ShownName, BreaksAndControlsAreEscapedOnOneLine)
{
    EXPECT_EQ(ShownName("two\nlines.jpg"), "two\\nlines.jpg");
    EXPECT_EQ(ShownName("a\rb\tc"), "a\\rb\\tc");
    EXPECT_EQ(ShownName(std::string("bell\x07 nul\0.", 11)), "bell\\x07 nul\\x00.");
    EXPECT_EQ(ShownName("del\x7f"), "del\\x7f");
    // C1 controls, the line and paragraph separators as UTF-8.
    EXPECT_EQ(ShownName("next\xc2\x85line"), "next\\u0085line");
    EXPECT_EQ(ShownName("a\xe2\x80\xa8" "b\xe2\x80\xa9"), "a\\u2028b\\u2029");
    // The escape character itself, so that an escape can be told from a name that spells one.
    EXPECT_EQ(ShownName("back\\n"), "back\\\\n");
}

TEST(ShownName, BytesThatAreNoUtf8AreEscapedOneByOne)
{
    // Latin-1, a cut sequence, an overlong "/", a surrogate and a code point past U+10FFFF.
    EXPECT_EQ(ShownName("caf\xe9.jpg"), "caf\\xe9.jpg");
    EXPECT_EQ(ShownName("cut\xe2\x82"), "cut\\xe2\\x82");
    EXPECT_EQ(ShownName("\xc0\xaf"), "\\xc0\\xaf");
    EXPECT_EQ(ShownName("\xed\xa0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(ShownName("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
    // Well-formed characters around a bad byte stay.
    EXPECT_EQ(ShownName("é\xffé"), "é\\xffé");
}
