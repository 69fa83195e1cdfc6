// Lists of the class-library layer: TList of pointers, the abstract TStrings and TStringList.
#pragma once

#include "platform/core/classes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TStream;

enum TListNotification : uint8_t
{
    lnAdded,
    lnExtracted,
    lnDeleted
};

// Returns <0, 0 or >0 as Item1 sorts before, with or after Item2.
using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

// An ordered list of untyped pointers. A bad index raises EListError.
class TList : public TObject
{
public:
    TList() = default;
    ~TList() override;

    int32_t Add(void* Item);
    void Insert(int32_t Index, void* Item);
    void Delete(int32_t Index);
    // Deletes the first occurrence; returns its former index or -1.
    int32_t Remove(void* Item);
    // Removes the first occurrence without the lnDeleted notice; returns Item or nullptr.
    void* Extract(void* Item);
    int32_t IndexOf(void* Item) const;
    virtual void Clear();
    void Exchange(int32_t Index1, int32_t Index2);
    void Move(int32_t CurIndex, int32_t NewIndex);
    // Removes every nullptr.
    void Pack();
    // Stable sort by Compare.
    void Sort(const TListSortCompare& Compare);

    int32_t Count() const { return static_cast<int32_t>(FList.size()); }
    // Growing adds nullptr items; shrinking deletes from the end.
    void SetCount(int32_t NewCount);
    int32_t Capacity() const { return static_cast<int32_t>(FList.capacity()); }
    void SetCapacity(int32_t NewCapacity);
    void* Items(int32_t Index) const;
    void SetItems(int32_t Index, void* Item);
    void* operator[](int32_t Index) const { return Items(Index); }
    void* First() const { return Items(0); }
    void* Last() const { return Items(Count() - 1); }
    // The items in order, for range-for loops.
    const std::vector<void*>& List() const { return FList; }

protected:
    // Told of every item that enters or leaves the list (not of nullptr items).
    virtual void Notify(void* Item, TListNotification Action);

private:
    void CheckIndex(int32_t Index) const;

    std::vector<void*> FList;
};

enum TDuplicates : uint8_t
{
    dupIgnore,
    dupAccept,
    dupError
};

// An ordered list of strings, each with an associated object pointer (not owned). Descendants
// provide storage by overriding Get, Put, GetObject, PutObject, GetCount, Insert, Delete and
// Clear; everything else is built on them. Lines of the form Name=Value are read through
// Names/Values. Text joins the strings with LineBreak() after each ("\r\n" by default); reading
// text accepts CR LF, LF or CR.
class TStrings : public TPersistent
{
public:
    TStrings() = default;

    virtual int32_t Add(const std::string& S);
    virtual int32_t AddObject(const std::string& S, TObject* AObject);
    void AddStrings(const TStrings& Strings);
    void Append(const std::string& S) { Add(S); }
    void Assign(TPersistent* Source) override;
    void BeginUpdate();
    void EndUpdate();
    virtual void Clear() = 0;
    virtual void Delete(int32_t Index) = 0;
    virtual void Exchange(int32_t Index1, int32_t Index2);
    virtual int32_t IndexOf(const std::string& S) const;
    int32_t IndexOfName(const std::string& Name) const;
    int32_t IndexOfObject(TObject* AObject) const;
    virtual void Insert(int32_t Index, const std::string& S) = 0;
    void InsertObject(int32_t Index, const std::string& S, TObject* AObject);
    virtual void Move(int32_t CurIndex, int32_t NewIndex);
    bool Equals(const TStrings& Strings) const;

    // Raise EFOpenError / EFCreateError when the file cannot be opened or created.
    virtual void LoadFromFile(const std::string& FileName);
    virtual void LoadFromStream(TStream& Stream);
    virtual void SaveToFile(const std::string& FileName) const;
    virtual void SaveToStream(TStream& Stream) const;

    int32_t Count() const { return GetCount(); }
    std::string Strings(int32_t Index) const { return Get(Index); }
    void SetStrings(int32_t Index, const std::string& S) { Put(Index, S); }
    std::string operator[](int32_t Index) const { return Get(Index); }
    TObject* Objects(int32_t Index) const { return GetObject(Index); }
    void SetObjects(int32_t Index, TObject* AObject) { PutObject(Index, AObject); }

    // The part before the first NameValueSeparator, "" when the line has none.
    std::string Names(int32_t Index) const;
    // The value of the first line named Name (compared as CompareStrings does), "" when none.
    std::string Values(const std::string& Name) const;
    // Sets the value of Name, adding a line when there is none; an empty Value deletes the line.
    void SetValue(const std::string& Name, const std::string& Value);
    std::string ValueFromIndex(int32_t Index) const;
    void SetValueFromIndex(int32_t Index, const std::string& Value);
    char NameValueSeparator() const { return FNameValueSeparator; }
    void SetNameValueSeparator(char Separator) { FNameValueSeparator = Separator; }

    std::string Text() const;
    virtual void SetText(const std::string& Value);
    const std::string& LineBreak() const { return FLineBreak; }
    void SetLineBreak(const std::string& Value) { FLineBreak = Value; }

    // Items joined by ",", each quoted with '"' (quotes inside doubled) when it holds a blank, a
    // control character, a comma or a quote. Setting it splits at commas and blanks outside
    // quotes.
    std::string CommaText() const;
    void SetCommaText(const std::string& Value);
    // As CommaText with Delimiter() and QuoteChar().
    std::string DelimitedText() const;
    void SetDelimitedText(const std::string& Value);
    char Delimiter() const { return FDelimiter; }
    void SetDelimiter(char Value) { FDelimiter = Value; }
    char QuoteChar() const { return FQuoteChar; }
    void SetQuoteChar(char Value) { FQuoteChar = Value; }

    std::vector<std::string> ToVector() const;

protected:
    virtual std::string Get(int32_t Index) const = 0;
    virtual void Put(int32_t Index, const std::string& S);
    virtual TObject* GetObject(int32_t Index) const;
    virtual void PutObject(int32_t Index, TObject* AObject);
    virtual int32_t GetCount() const = 0;
    // Compares two items as IndexOf, IndexOfName and Values do: without regard to ASCII case.
    virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
    // Told when the first BeginUpdate begins (true) and the last EndUpdate ends (false).
    virtual void SetUpdateState(bool Updating);
    int32_t UpdateCount() const { return FUpdateCount; }

private:
    // Puts Line at Index, or on a sorted list, where it sorts.
    void ReplaceLine(int32_t Index, const std::string& Line);
    std::string JoinDelimited(char Delim, char Quote) const;
    void SplitDelimited(const std::string& Value, char Delim, char Quote);

    int32_t FUpdateCount = 0;
    std::string FLineBreak = "\r\n";
    char FDelimiter = ',';
    char FQuoteChar = '"';
    char FNameValueSeparator = '=';
};

class TStringList;
// Returns <0, 0 or >0 as the item at Index1 sorts before, with or after the one at Index2.
using TStringListSortCompare = std::function<int(TStringList& List, int32_t Index1, int32_t Index2)>;

// The string list that stores its strings. Sorted lists keep their order on Add, find strings by
// binary search, refuse Insert and SetStrings, and treat equal strings as Duplicates says.
// Comparisons ignore ASCII case unless CaseSensitive is set.
class TStringList : public TStrings
{
public:
    TStringList() = default;
    ~TStringList() override;

    int32_t Add(const std::string& S) override;
    // On a sorted list with dupIgnore, an equal string keeps its object.
    int32_t AddObject(const std::string& S, TObject* AObject) override;
    void Clear() override;
    void Delete(int32_t Index) override;
    void Exchange(int32_t Index1, int32_t Index2) override;
    // On a sorted list: the index of the first item equal to S and true, or the index where S
    // would be inserted and false. On an unsorted list it searches linearly.
    bool Find(const std::string& S, int32_t& Index) const;
    int32_t IndexOf(const std::string& S) const override;
    // Raises EStringListError on a sorted list.
    void Insert(int32_t Index, const std::string& S) override;
    // Stable sort (CompareStrings); does nothing more on an already sorted list.
    virtual void Sort();
    virtual void CustomSort(const TStringListSortCompare& Compare);

    bool Sorted() const { return FSorted; }
    void SetSorted(bool Value);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool Value);

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    std::string Get(int32_t Index) const override;
    void Put(int32_t Index, const std::string& S) override;
    TObject* GetObject(int32_t Index) const override;
    void PutObject(int32_t Index, TObject* AObject) override;
    int32_t GetCount() const override { return static_cast<int32_t>(FItems.size()); }
    int CompareStrings(const std::string& S1, const std::string& S2) const override;
    void SetUpdateState(bool Updating) override;
    virtual void Changed();
    virtual void Changing();

private:
    struct TStringItem
    {
        std::string FString;
        TObject* FObject = nullptr;
    };
    void CheckIndex(int32_t Index) const;
    void InsertItem(int32_t Index, const std::string& S, TObject* AObject);

    std::vector<TStringItem> FItems;
    bool FSorted = false;
    bool FCaseSensitive = false;
    TDuplicates FDuplicates = dupIgnore;
};
