// TList, TStrings and TStringList.
#include "platform/core/lists.h"

#include "platform/core/detail/text_helpers.h"
#include "platform/core/exceptions.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <numeric>

namespace {

[[noreturn]] void ListIndexError(int32_t Index)
{
    throw EListError("List index out of bounds (" + IntToStr(Index) + ")");
}

[[noreturn]] void SortedListError()
{
    throw EStringListError("Operation not allowed on sorted list");
}

} // namespace

// ---- TList ----

TList::~TList()
{
    Clear();
}

void TList::CheckIndex(int32_t Index) const
{
    if (Index < 0 || Index >= Count()) {
        ListIndexError(Index);
    }
}

int32_t TList::Add(void* Item)
{
    FList.push_back(Item);
    if (Item) {
        Notify(Item, lnAdded);
    }
    return Count() - 1;
}

void TList::Insert(int32_t Index, void* Item)
{
    if (Index < 0 || Index > Count()) {
        ListIndexError(Index);
    }
    FList.insert(FList.begin() + Index, Item);
    if (Item) {
        Notify(Item, lnAdded);
    }
}

void TList::Delete(int32_t Index)
{
    CheckIndex(Index);
    void* item = FList[static_cast<size_t>(Index)];
    FList.erase(FList.begin() + Index);
    if (item) {
        Notify(item, lnDeleted);
    }
}

int32_t TList::Remove(void* Item)
{
    int32_t index = IndexOf(Item);
    if (index >= 0) {
        Delete(index);
    }
    return index;
}

void* TList::Extract(void* Item)
{
    int32_t index = IndexOf(Item);
    if (index < 0) {
        return nullptr;
    }
    FList.erase(FList.begin() + index);
    if (Item) {
        Notify(Item, lnExtracted);
    }
    return Item;
}

int32_t TList::IndexOf(void* Item) const
{
    auto found = std::find(FList.begin(), FList.end(), Item);
    return found == FList.end() ? -1 : static_cast<int32_t>(found - FList.begin());
}

void TList::Clear()
{
    SetCount(0);
    FList.shrink_to_fit();
}

void TList::Exchange(int32_t Index1, int32_t Index2)
{
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
}

void TList::Move(int32_t CurIndex, int32_t NewIndex)
{
    if (CurIndex == NewIndex) {
        return;
    }
    CheckIndex(CurIndex);
    CheckIndex(NewIndex);
    void* item = FList[static_cast<size_t>(CurIndex)];
    FList.erase(FList.begin() + CurIndex);
    FList.insert(FList.begin() + NewIndex, item);
}

void TList::Pack()
{
    FList.erase(std::remove(FList.begin(), FList.end(), nullptr), FList.end());
}

void TList::Sort(const TListSortCompare& Compare)
{
    std::stable_sort(FList.begin(), FList.end(), [&](void* a, void* b) { return Compare(a, b) < 0; });
}

void TList::SetCount(int32_t NewCount)
{
    if (NewCount < 0) {
        throw EListError("List count out of bounds (" + IntToStr(NewCount) + ")");
    }
    while (Count() > NewCount) {
        Delete(Count() - 1);
    }
    FList.resize(static_cast<size_t>(NewCount), nullptr);
}

void TList::SetCapacity(int32_t NewCapacity)
{
    if (NewCapacity < Count()) {
        throw EListError("List capacity out of bounds (" + IntToStr(NewCapacity) + ")");
    }
    FList.reserve(static_cast<size_t>(NewCapacity));
}

void* TList::Items(int32_t Index) const
{
    CheckIndex(Index);
    return FList[static_cast<size_t>(Index)];
}

void TList::SetItems(int32_t Index, void* Item)
{
    CheckIndex(Index);
    void* old = FList[static_cast<size_t>(Index)];
    if (old == Item) {
        return;
    }
    FList[static_cast<size_t>(Index)] = Item;
    if (old) {
        Notify(old, lnDeleted);
    }
    if (Item) {
        Notify(Item, lnAdded);
    }
}

void TList::Notify(void*, TListNotification) {}

// ---- TStrings ----

int32_t TStrings::Add(const std::string& S)
{
    int32_t index = GetCount();
    Insert(index, S);
    return index;
}

int32_t TStrings::AddObject(const std::string& S, TObject* AObject)
{
    int32_t index = Add(S);
    PutObject(index, AObject);
    return index;
}

void TStrings::AddStrings(const TStrings& Strings)
{
    kvcore_detail::TStringsUpdate update(*this);
    for (int32_t i = 0; i < Strings.Count(); ++i) {
        AddObject(Strings.Get(i), Strings.GetObject(i));
    }
}

void TStrings::Assign(TPersistent* Source)
{
    auto* strings = dynamic_cast<TStrings*>(Source);
    if (!strings) {
        TPersistent::Assign(Source);
        return;
    }
    if (strings == this) {
        return;
    }
    kvcore_detail::TStringsUpdate update(*this);
    Clear();
    FDelimiter = strings->FDelimiter;
    FQuoteChar = strings->FQuoteChar;
    FNameValueSeparator = strings->FNameValueSeparator;
    FLineBreak = strings->FLineBreak;
    AddStrings(*strings);
}

void TStrings::BeginUpdate()
{
    if (FUpdateCount++ == 0) {
        SetUpdateState(true);
    }
}

void TStrings::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0) {
        SetUpdateState(false);
    }
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Exchange(int32_t Index1, int32_t Index2)
{
    kvcore_detail::TStringsUpdate update(*this);
    std::string s1 = Get(Index1);
    TObject* o1 = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, s1);
    PutObject(Index2, o1);
}

int32_t TStrings::IndexOf(const std::string& S) const
{
    for (int32_t i = 0; i < GetCount(); ++i) {
        if (CompareStrings(Get(i), S) == 0) {
            return i;
        }
    }
    return -1;
}

int32_t TStrings::IndexOfName(const std::string& Name) const
{
    for (int32_t i = 0; i < GetCount(); ++i) {
        std::string s = Get(i);
        size_t separator = s.find(FNameValueSeparator);
        if (separator != std::string::npos && CompareStrings(s.substr(0, separator), Name) == 0) {
            return i;
        }
    }
    return -1;
}

int32_t TStrings::IndexOfObject(TObject* AObject) const
{
    for (int32_t i = 0; i < GetCount(); ++i) {
        if (GetObject(i) == AObject) {
            return i;
        }
    }
    return -1;
}

void TStrings::InsertObject(int32_t Index, const std::string& S, TObject* AObject)
{
    Insert(Index, S);
    PutObject(Index, AObject);
}

void TStrings::Move(int32_t CurIndex, int32_t NewIndex)
{
    if (CurIndex == NewIndex) {
        return;
    }
    kvcore_detail::TStringsUpdate update(*this);
    std::string s = Get(CurIndex);
    TObject* object = GetObject(CurIndex);
    if (NewIndex < 0 || NewIndex >= GetCount()) {
        ListIndexError(NewIndex);
    }
    Delete(CurIndex);
    InsertObject(NewIndex, s, object);
}

bool TStrings::Equals(const TStrings& Strings) const
{
    if (GetCount() != Strings.GetCount()) {
        return false;
    }
    for (int32_t i = 0; i < GetCount(); ++i) {
        if (Get(i) != Strings.Get(i)) {
            return false;
        }
    }
    return true;
}

void TStrings::LoadFromFile(const std::string& FileName)
{
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TStrings::LoadFromStream(TStream& Stream)
{
    // Read to the end rather than trust Size(), which not every stream can tell.
    std::string text;
    char chunk[1 << 16];
    for (int64_t got; (got = Stream.Read(chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<size_t>(got));
    }
    SetText(text);
}

void TStrings::SaveToFile(const std::string& FileName) const
{
    TSafeFileWriter file(FileName);
    SaveToStream(file.Stream());
    file.Commit();
}

void TStrings::SaveToStream(TStream& Stream) const
{
    std::string text = Text();
    Stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::Put(int32_t Index, const std::string& S)
{
    TObject* object = GetObject(Index);
    Delete(Index);
    InsertObject(Index, S, object);
}

TObject* TStrings::GetObject(int32_t) const
{
    return nullptr;
}

void TStrings::PutObject(int32_t, TObject*) {}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const
{
    return CompareText(S1, S2);
}

std::string TStrings::Names(int32_t Index) const
{
    std::string s = Get(Index);
    size_t separator = s.find(FNameValueSeparator);
    return separator == std::string::npos ? std::string() : s.substr(0, separator);
}

std::string TStrings::Values(const std::string& Name) const
{
    int32_t index = IndexOfName(Name);
    return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStrings::SetValue(const std::string& Name, const std::string& Value)
{
    int32_t index = IndexOfName(Name);
    if (Value.empty()) {
        if (index >= 0) {
            Delete(index);
        }
        return;
    }
    std::string line = Name + FNameValueSeparator + Value;
    if (index < 0) {
        Add(line);
        return;
    }
    ReplaceLine(index, line);
}

void TStrings::ReplaceLine(int32_t Index, const std::string& Line)
{
    // A sorted list refuses Put; the line goes out and comes back in its sorted place.
    auto* list = dynamic_cast<TStringList*>(this);
    if (list && list->Sorted()) {
        TObject* object = GetObject(Index);
        Delete(Index);
        AddObject(Line, object);
        return;
    }
    Put(Index, Line);
}

std::string TStrings::ValueFromIndex(int32_t Index) const
{
    std::string s = Get(Index);
    size_t separator = s.find(FNameValueSeparator);
    return separator == std::string::npos ? std::string() : s.substr(separator + 1);
}

void TStrings::SetValueFromIndex(int32_t Index, const std::string& Value)
{
    if (Value.empty()) {
        Delete(Index);
        return;
    }
    std::string name = Names(Index);
    if (name.empty() && Get(Index).find(FNameValueSeparator) == std::string::npos) {
        name = Get(Index);
    }
    ReplaceLine(Index, name + FNameValueSeparator + Value);
}

std::string TStrings::Text() const
{
    std::string result;
    for (int32_t i = 0; i < GetCount(); ++i) {
        result += Get(i);
        result += FLineBreak;
    }
    return result;
}

void TStrings::SetText(const std::string& Value)
{
    kvcore_detail::TStringsUpdate update(*this);
    Clear();
    size_t start = 0;
    while (start < Value.size()) {
        size_t end = Value.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            Add(Value.substr(start));
            break;
        }
        Add(Value.substr(start, end - start));
        start = end + 1;
        if (Value[end] == '\r' && start < Value.size() && Value[start] == '\n') {
            ++start;
        }
    }
}

std::string TStrings::JoinDelimited(char Delim, char Quote) const
{
    const int32_t count = GetCount();
    if (count == 1 && Get(0).empty()) {
        // A lone empty item must not read back as an empty list.
        return std::string(2, Quote);
    }
    std::string result;
    for (int32_t i = 0; i < count; ++i) {
        std::string s = Get(i);
        bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == Quote || c == Delim;
        });
        if (i > 0) {
            result += Delim;
        }
        result += needsQuotes ? AnsiQuotedStr(s, Quote) : s;
    }
    return result;
}

void TStrings::SplitDelimited(const std::string& Value, char Delim, char Quote)
{
    auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    kvcore_detail::TStringsUpdate update(*this);
    Clear();
    size_t p = 0;
    while (p < Value.size() && isSpace(Value[p])) {
        ++p;
    }
    while (p < Value.size()) {
        std::string item;
        if (Value[p] == Quote) {
            item = AnsiExtractQuotedStr(Value, p, Quote);
        } else {
            size_t start = p;
            while (p < Value.size() && !isSpace(Value[p]) && Value[p] != Delim) {
                ++p;
            }
            item = Value.substr(start, p - start);
        }
        Add(item);
        while (p < Value.size() && isSpace(Value[p])) {
            ++p;
        }
        if (p < Value.size() && Value[p] == Delim) {
            if (p + 1 == Value.size()) {
                // A trailing delimiter stands for one more, empty item.
                Add(std::string());
            }
            do {
                ++p;
            } while (p < Value.size() && isSpace(Value[p]));
        }
    }
}

std::string TStrings::CommaText() const
{
    return JoinDelimited(',', '"');
}

void TStrings::SetCommaText(const std::string& Value)
{
    SplitDelimited(Value, ',', '"');
}

std::string TStrings::DelimitedText() const
{
    return JoinDelimited(FDelimiter, FQuoteChar);
}

void TStrings::SetDelimitedText(const std::string& Value)
{
    SplitDelimited(Value, FDelimiter, FQuoteChar);
}

std::vector<std::string> TStrings::ToVector() const
{
    std::vector<std::string> result;
    result.reserve(static_cast<size_t>(GetCount()));
    for (int32_t i = 0; i < GetCount(); ++i) {
        result.push_back(Get(i));
    }
    return result;
}

// ---- TStringList ----

TStringList::~TStringList()
{
    OnChange = nullptr;
    OnChanging = nullptr;
}

void TStringList::CheckIndex(int32_t Index) const
{
    if (Index < 0 || Index >= GetCount()) {
        ListIndexError(Index);
    }
}

void TStringList::Changed()
{
    if (UpdateCount() == 0 && OnChange) {
        OnChange(this);
    }
}

void TStringList::Changing()
{
    if (UpdateCount() == 0 && OnChanging) {
        OnChanging(this);
    }
}

void TStringList::SetUpdateState(bool Updating)
{
    if (Updating) {
        Changing();
    } else {
        Changed();
    }
}

int32_t TStringList::Add(const std::string& S)
{
    return AddObject(S, nullptr);
}

int32_t TStringList::AddObject(const std::string& S, TObject* AObject)
{
    int32_t index = GetCount();
    if (FSorted) {
        if (Find(S, index)) {
            if (FDuplicates == dupIgnore) {
                return index;
            }
            if (FDuplicates == dupError) {
                throw EStringListError("String list does not allow duplicates");
            }
        }
    }
    InsertItem(index, S, AObject);
    return index;
}

void TStringList::InsertItem(int32_t Index, const std::string& S, TObject* AObject)
{
    Changing();
    FItems.insert(FItems.begin() + Index, TStringItem{S, AObject});
    Changed();
}

void TStringList::Clear()
{
    if (FItems.empty()) {
        return;
    }
    Changing();
    FItems.clear();
    Changed();
}

void TStringList::Delete(int32_t Index)
{
    CheckIndex(Index);
    Changing();
    FItems.erase(FItems.begin() + Index);
    Changed();
}

void TStringList::Exchange(int32_t Index1, int32_t Index2)
{
    CheckIndex(Index1);
    CheckIndex(Index2);
    Changing();
    std::swap(FItems[static_cast<size_t>(Index1)], FItems[static_cast<size_t>(Index2)]);
    Changed();
}

bool TStringList::Find(const std::string& S, int32_t& Index) const
{
    if (!FSorted) {
        Index = TStrings::IndexOf(S);
        return Index >= 0;
    }
    auto first = std::lower_bound(FItems.begin(), FItems.end(), S,
                                  [this](const TStringItem& item, const std::string& s) {
                                      return CompareStrings(item.FString, s) < 0;
                                  });
    Index = static_cast<int32_t>(first - FItems.begin());
    return first != FItems.end() && CompareStrings(first->FString, S) == 0;
}

int32_t TStringList::IndexOf(const std::string& S) const
{
    int32_t index = -1;
    return Find(S, index) ? index : -1;
}

void TStringList::Insert(int32_t Index, const std::string& S)
{
    if (FSorted) {
        SortedListError();
    }
    if (Index < 0 || Index > GetCount()) {
        ListIndexError(Index);
    }
    InsertItem(Index, S, nullptr);
}

void TStringList::Sort()
{
    CustomSort([](TStringList& List, int32_t Index1, int32_t Index2) {
        return List.CompareStrings(List.FItems[static_cast<size_t>(Index1)].FString,
                                   List.FItems[static_cast<size_t>(Index2)].FString);
    });
}

void TStringList::CustomSort(const TStringListSortCompare& Compare)
{
    if (FItems.size() < 2) {
        return;
    }
    // Sort an index permutation so that Compare sees the list as it stands.
    std::vector<int32_t> order(FItems.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return Compare(*this, a, b) < 0; });
    std::vector<TStringItem> sorted;
    sorted.reserve(FItems.size());
    for (int32_t index : order) {
        sorted.push_back(FItems[static_cast<size_t>(index)]);
    }
    Changing();
    FItems = std::move(sorted);
    Changed();
}

void TStringList::SetSorted(bool Value)
{
    if (FSorted == Value) {
        return;
    }
    if (Value) {
        Sort();
    }
    FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value)
{
    if (FCaseSensitive == Value) {
        return;
    }
    FCaseSensitive = Value;
    if (FSorted) {
        Sort();
    }
}

std::string TStringList::Get(int32_t Index) const
{
    CheckIndex(Index);
    return FItems[static_cast<size_t>(Index)].FString;
}

void TStringList::Put(int32_t Index, const std::string& S)
{
    if (FSorted) {
        SortedListError();
    }
    CheckIndex(Index);
    Changing();
    FItems[static_cast<size_t>(Index)].FString = S;
    Changed();
}

TObject* TStringList::GetObject(int32_t Index) const
{
    CheckIndex(Index);
    return FItems[static_cast<size_t>(Index)].FObject;
}

void TStringList::PutObject(int32_t Index, TObject* AObject)
{
    CheckIndex(Index);
    Changing();
    FItems[static_cast<size_t>(Index)].FObject = AObject;
    Changed();
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const
{
    return FCaseSensitive ? CompareStr(S1, S2) : CompareText(S1, S2);
}
