// TList and TStringList: indexes, sorting, duplicates, name=value lines, comma text and text.
#include "platform/core/exceptions.h"
#include "platform/core/lists.h"
#include "platform/core/streams.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

TStringList* Fill(TStringList& List, const Strings& Items)
{
    for (const std::string& item : Items) {
        List.Add(item);
    }
    return &List;
}

TEST(List, BadIndexesRaiseListError)
{
    TList list;
    int a = 1, b = 2, c = 3;
    list.Add(&a);
    list.Add(&b);
    EXPECT_THROW(list.Items(2), EListError);
    EXPECT_THROW(list.Items(-1), EListError);
    EXPECT_THROW(list.Delete(2), EListError);
    EXPECT_THROW(list.Insert(3, &c), EListError);
    EXPECT_THROW(list.Exchange(0, 5), EListError);
    EXPECT_THROW(list.Move(0, 2), EListError);
    EXPECT_EQ(list.Count(), 2); // nothing changed by the failed calls
    list.Insert(2, &c);         // inserting at the end is allowed
    EXPECT_EQ(list.Last(), &c);
}

TEST(List, EditsKeepOrder)
{
    TList list;
    int v[5] = {0, 1, 2, 3, 4};
    for (int& x : v) {
        list.Add(&x);
    }
    list.Move(0, 3);     // 1 2 3 0 4
    list.Exchange(0, 4); // 4 2 3 0 1
    EXPECT_EQ(list.Remove(&v[3]), 2);
    EXPECT_EQ(list.Remove(&v[3]), -1);
    list.Add(nullptr);
    list.Pack();
    std::vector<int> order;
    for (void* p : list.List()) {
        order.push_back(*static_cast<int*>(p));
    }
    EXPECT_EQ(order, (std::vector<int>{4, 2, 0, 1}));
    list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
    EXPECT_EQ(*static_cast<int*>(list.First()), 0);
    EXPECT_EQ(*static_cast<int*>(list.Last()), 4);
}

TEST(StringList, SortedListKeepsOrderIgnoringCase)
{
    TStringList list;
    list.SetSorted(true);
    Fill(list, {"pear", "Apple", "banana", "apple2", "Cherry"});
    EXPECT_EQ(list.ToVector(), (Strings{"Apple", "apple2", "banana", "Cherry", "pear"}));
    int32_t index = -1;
    EXPECT_TRUE(list.Find("BANANA", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(list.Find("blueberry", index));
    EXPECT_EQ(index, 3); // where it would go
    EXPECT_THROW(list.Insert(0, "x"), EStringListError);
    EXPECT_THROW(list.SetStrings(0, "x"), EStringListError);

    list.SetCaseSensitive(true); // re-sorts in byte order
    EXPECT_EQ(list.ToVector(), (Strings{"Apple", "Cherry", "apple2", "banana", "pear"}));
    EXPECT_EQ(list.IndexOf("apple"), -1);
}

TEST(StringList, DuplicatesOfASortedList)
{
    struct Case
    {
        TDuplicates Mode;
        Strings Expected;
        bool Raises;
        TObject* ObjectOfSecond; // the object at index 1 afterwards
    };
    int dummy = 0;
    auto* object = reinterpret_cast<TObject*>(&dummy);
    const Case cases[] = {
        {dupIgnore, {"a", "B", "c"}, false, nullptr},
        {dupAccept, {"a", "b", "B", "c"}, false, object}, // goes before its equals
        {dupError, {"a", "B", "c"}, true, nullptr},
    };
    for (const Case& c : cases) {
        TStringList list;
        list.SetSorted(true);
        list.SetDuplicates(c.Mode);
        Fill(list, {"c", "B", "a"});
        if (c.Raises) {
            EXPECT_THROW(list.Add("b"), EStringListError);
        } else {
            list.AddObject("b", object);
        }
        EXPECT_EQ(list.ToVector(), c.Expected) << int(c.Mode);
        // An ignored duplicate keeps the object of the string already there.
        EXPECT_EQ(list.Objects(1), c.ObjectOfSecond) << int(c.Mode);
    }
}

TEST(StringList, UnsortedListAcceptsDuplicatesAndFindsIgnoringCase)
{
    TStringList list;
    Fill(list, {"b", "A", "a"});
    EXPECT_EQ(list.IndexOf("a"), 1);
    list.Sort();
    EXPECT_EQ(list.ToVector(), (Strings{"A", "a", "b"})); // stable
}

TEST(StringList, NamesAndValues)
{
    TStringList list;
    Fill(list, {"width=100", "Height=50", "plain", "empty=", "a=b=c"});
    EXPECT_EQ(list.Values("WIDTH"), "100");
    EXPECT_EQ(list.Values("a"), "b=c");
    EXPECT_EQ(list.Values("plain"), "");
    EXPECT_EQ(list.Values("missing"), "");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.Names(4), "a");
    EXPECT_EQ(list.ValueFromIndex(1), "50");
    EXPECT_EQ(list.IndexOfName("height"), 1);

    list.SetValue("height", "75"); // keeps the position, takes the given spelling
    list.SetValue("depth", "3");   // appended
    list.SetValue("width", "");    // deleted
    list.SetValueFromIndex(0, "60");
    EXPECT_EQ(list.ToVector(), (Strings{"height=60", "plain", "empty=", "a=b=c", "depth=3"}));
}

TEST(StringList, SetValueOnASortedListKeepsItSorted)
{
    TStringList list;
    list.SetSorted(true);
    Fill(list, {"b=2", "d=4"});
    list.SetValue("c", "3");
    list.SetValue("b", "9");
    list.SetValue("a", "1");
    EXPECT_EQ(list.ToVector(), (Strings{"a=1", "b=9", "c=3", "d=4"}));
}

TEST(StringList, CommaTextQuoting)
{
    struct Case
    {
        Strings Items;
        std::string Text;
    };
    const Case cases[] = {
        {{"a", "b", "c"}, "a,b,c"},
        {{"two words", "x"}, "\"two words\",x"},
        {{"a,b"}, "\"a,b\""},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{"tab\there"}, "\"tab\there\""},
        {{"line\nbreak"}, "\"line\nbreak\""},
        {{""}, "\"\""},
        {{"", "a"}, ",a"},
        {{"a", ""}, "a,"},
        {{"a", "", "b"}, "a,,b"},
        {{"caf\xc3\xa9"}, "caf\xc3\xa9"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        TStringList list;
        Fill(list, c.Items);
        EXPECT_EQ(list.CommaText(), c.Text);
        TStringList back;
        back.SetCommaText(c.Text);
        EXPECT_EQ(back.ToVector(), c.Items) << c.Text;
    }
}

TEST(StringList, CommaTextReading)
{
    struct Case
    {
        std::string Text;
        Strings Items;
    };
    const Case cases[] = {
        {"a b,c", {"a", "b", "c"}},        // blanks separate too
        {"  a ,  b  ", {"a", "b"}},        // blanks around items are dropped
        {"\"a b\"c,d", {"a b", "c", "d"}}, // text after a closing quote is a new item
        {"\"open", {"open"}},              // an unterminated quote runs to the end
        {"a,,", {"a", "", ""}},
        {"", {}},
    };
    for (const Case& c : cases) {
        TStringList list;
        list.SetCommaText(c.Text);
        EXPECT_EQ(list.ToVector(), c.Items) << c.Text;
    }
}

TEST(StringList, DelimitedTextUsesItsDelimiterAndQuote)
{
    TStringList list;
    list.SetDelimiter(';');
    list.SetQuoteChar('\'');
    Fill(list, {"a", "b;c", "it's"});
    EXPECT_EQ(list.DelimitedText(), "a;'b;c';'it''s'");
    TStringList back;
    back.SetDelimiter(';');
    back.SetQuoteChar('\'');
    back.SetDelimitedText(list.DelimitedText());
    EXPECT_EQ(back.ToVector(), list.ToVector());
}

TEST(StringList, TextSplitsAtEveryLineBreakStyle)
{
    struct Case
    {
        std::string Text;
        Strings Lines;
    };
    const Case cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"a\rb\r\n\nc", {"a", "b", "", "c"}},
        {"\n", {""}},
        {"", {}},
        {"a\r\r\nb", {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        TStringList list;
        list.SetText(c.Text);
        EXPECT_EQ(list.ToVector(), c.Lines);
    }
    TStringList list;
    Fill(list, {"x", "y"});
    EXPECT_EQ(list.Text(), "x\r\ny\r\n");
    list.SetLineBreak("\n");
    EXPECT_EQ(list.Text(), "x\ny\n");
}

TEST(StringList, FilesRoundTripWithTheChosenLineBreak)
{
    kvtest::TempFolder folder;
    const std::string unixFile = folder.Write("unix.txt", "one\ntwo\n");
    TStringList list;
    list.LoadFromFile(unixFile);
    EXPECT_EQ(list.ToVector(), (Strings{"one", "two"}));
    list.SaveToFile(folder.File("dos.txt"));
    EXPECT_EQ(kvtest::TempFolder::Read(folder.File("dos.txt")), "one\r\ntwo\r\n");
    list.SetLineBreak("\n");
    list.SaveToFile(folder.File("lf.txt"));
    EXPECT_EQ(kvtest::TempFolder::Read(folder.File("lf.txt")), "one\ntwo\n");

    EXPECT_THROW(list.LoadFromFile(folder.File("missing.txt")), EFOpenError);
    EXPECT_THROW(list.SaveToFile(folder.File("no/such/folder.txt")), EFCreateError);
    EXPECT_EQ(list.Count(), 2); // a failed load leaves the list alone
}

TEST(StringList, ChangeEventsFireOncePerUpdate)
{
    TStringList list;
    int changes = 0;
    list.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &list);
        ++changes;
    };
    list.Add("a");
    EXPECT_EQ(changes, 1);
    list.SetCommaText("x,y,z");
    EXPECT_EQ(changes, 2);
}

TEST(StringList, AssignCopiesStringsAndObjects)
{
    TStringList source;
    int tag = 0;
    source.AddObject("one", reinterpret_cast<TObject*>(&tag));
    source.Add("two");
    TStringList copy;
    copy.Add("old");
    copy.Assign(&source);
    EXPECT_TRUE(copy.Equals(source));
    EXPECT_EQ(copy.Objects(0), reinterpret_cast<TObject*>(&tag));
    EXPECT_THROW(copy.Assign(nullptr), EConvertError);
}

} // namespace
