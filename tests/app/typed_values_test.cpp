// The typed value list: order, look-up by name, ownership and the value conversions.
#include "app/typed_values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const TVqValues& List)
{
    std::vector<std::string> names;
    for (TVqChainItem* item = List.First(); item != nullptr; item = item->Next()) {
        names.push_back(static_cast<TVqValue*>(item)->Name());
    }
    return names;
}

} // namespace

TEST(TypedValues, FindsByNameIgnoringCaseAndIndexesFromTheFirst)
{
    TVqValues list;
    TVqValue* a = list.Add(vqString, "a");
    TVqValue* b = list.Add(vqString, "b");
    TVqValue* c = list.Add(vqString, "c");
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Find("B"), b);
    EXPECT_EQ(list.Get("c"), c);
    EXPECT_EQ(list.Find("d"), nullptr);
    EXPECT_EQ(list.GetItem(0), a);
    EXPECT_EQ(list.GetItem(-5), a);
    EXPECT_EQ(list.GetItem(2), c);
    EXPECT_EQ(list.GetItem(3), nullptr);
    EXPECT_EQ(TVqValues().Find("a"), nullptr);
    EXPECT_EQ(TVqValues().GetItem(0), nullptr);

    // The first of two equal names is the one found.
    TVqValue* second = list.Add(vqString, "A");
    EXPECT_EQ(list.Find("a"), a);
    EXPECT_EQ(second->Prev(), c);
}

TEST(TypedValues, DestroyedEntriesUnlinkAndClearedListsTakeNewEntries)
{
    TVqValues list;
    TVqValue* a = list.Add(vqInteger, "a");
    TVqValue* b = list.Add(vqInteger, "b");
    list.Add(vqInteger, "c");

    delete b;
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItem(1)->Prev(), a);

    delete a;
    EXPECT_EQ(Names(list), (std::vector<std::string>{"c"}));
    EXPECT_EQ(list.First()->Prev(), nullptr);
    EXPECT_EQ(list.Count(), 1);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.First(), nullptr);
    list.Add(vqString, "x");
    list.Add(vqString, "y");
    EXPECT_EQ(Names(list), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(list.Count(), 2);

    // An entry made without a list stands alone.
    TVqValue loose(nullptr, vqString, "loose");
    EXPECT_EQ(loose.Owner(), nullptr);
    EXPECT_EQ(loose.Next(), nullptr);
}

TEST(TypedValues, StringsReadAsWholeNumbersOrNotANumber)
{
    const struct
    {
        const char* Text;
        int32_t Expected;
    } cases[] = {
        {"42", 42},
        {"  -17", -17},
        {"+5", 5},
        {"$1F", 31},
        {"0x1f", 31},
        {"x10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"4x2", VqNotANumber},
        {"", VqNotANumber},
        {"-2147483647", VqNotANumber},
        {"100%", VqNotANumber},
        {"12 ", VqNotANumber},
        {"-", VqNotANumber},
        {"$", VqNotANumber},
        {"0x", VqNotANumber},
        {"1.5", VqNotANumber},
        // Beyond 32 bits a number is no number, rather than a wrapped one.
        {"2147483648", VqNotANumber},
        {"-2147483649", VqNotANumber},
        {"99999999999", VqNotANumber},
        {"4294967297", VqNotANumber},
        {"$100000000", VqNotANumber},
        {"0x00000000000000001", 1},
    };
    TVqValues list;
    TVqValue* entry = list.Add(vqString, "n");
    for (const auto& c : cases) {
        entry->SetString(c.Text);
        EXPECT_EQ(entry->AsInteger(), c.Expected) << '"' << c.Text << '"';
    }
}

TEST(TypedValues, ValuesReadAsTextByTheirType)
{
    TVqValues list;
    TVqValue* integer = list.Add(vqInteger, "i");
    TVqValue* floating = list.Add(vqFloat, "f");
    TVqValue* text = list.Add(vqString, "s");
    EXPECT_FALSE(integer->HasValue());
    EXPECT_EQ(integer->AsString(), "0");
    EXPECT_EQ(floating->AsString(), "0");
    EXPECT_EQ(floating->AsInteger(), 0);
    EXPECT_EQ(text->AsString(), "");

    integer->SetInteger(7);
    EXPECT_TRUE(integer->HasValue());
    EXPECT_EQ(integer->AsString(), "7");
    EXPECT_EQ(integer->AsInteger(), 7);
    integer->SetInteger(-2147483647 - 1);
    EXPECT_EQ(integer->AsString(), "-2147483648");

    // Setting a string never changes the type: an integer entry still reads as its number.
    integer->SetString("text");
    EXPECT_EQ(integer->Type(), vqInteger);
    EXPECT_EQ(integer->AsString(), "-2147483648");

    text->SetString("");
    EXPECT_TRUE(text->HasValue());
    text->SetString("a b");
    EXPECT_EQ(text->AsString(), "a b");
}
