// Plimbet's list of named, typed values: tag attributes, page variables and template parameters,
// kept in the order they were added and found by name without regard to ASCII case.
#pragma once

#include <cstdint>
#include <string>

class TVqChainHolder;

// An element of a chain. Made with an owner, it appends itself to it; destroyed, it unlinks itself.
class TVqChainItem
{
public:
    explicit TVqChainItem(TVqChainHolder* Owner);
    virtual ~TVqChainItem();
    TVqChainItem(const TVqChainItem&) = delete;
    TVqChainItem& operator=(const TVqChainItem&) = delete;

    TVqChainHolder* Owner() const { return FOwner; }
    TVqChainItem* Next() const { return FNext; }
    TVqChainItem* Prev() const { return FPrev; }

private:
    friend class TVqChainHolder;
    TVqChainHolder* FOwner = nullptr;
    TVqChainItem* FNext = nullptr;
    TVqChainItem* FPrev = nullptr;
};

// A chain that owns its elements: clearing or destroying it destroys them.
class TVqChainHolder
{
public:
    TVqChainHolder() = default;
    virtual ~TVqChainHolder();
    TVqChainHolder(const TVqChainHolder&) = delete;
    TVqChainHolder& operator=(const TVqChainHolder&) = delete;

    TVqChainItem* First() const { return FFirst; }
    int32_t Count() const { return FCount; }

    // Links Item after the last element and takes ownership of it.
    void Append(TVqChainItem* Item);
    // Destroys every element, the last first.
    void Clear();
    // None when Index is not below Count; the first element for any Index below 1.
    virtual TVqChainItem* GetItem(int32_t Index) const;

private:
    friend class TVqChainItem;
    TVqChainItem* FFirst = nullptr;
    int32_t FCount = 0;
};

// Value types; the numbers are those the templates and windows know.
enum : int32_t
{
    vqInteger = 1,
    vqFloat = 2,
    vqString = 3,
};

// What AsInteger gives for text that is not a whole number of 32 bits.
constexpr int32_t VqNotANumber = -2147483647;

class TVqValues;

class TVqValue : public TVqChainItem
{
public:
    TVqValue(TVqValues* Owner, int32_t Type, const std::string& Name);

    int32_t Type() const { return FType; }
    const std::string& Name() const { return FName; }
    bool HasValue() const { return FHasValue; }
    int32_t IntegerValue() const { return FInteger; }
    double FloatValue() const { return FFloat; }
    const std::string& StringValue() const { return FString; }

    // Setting a value never changes the type.
    void SetInteger(int32_t Value);
    void SetString(const std::string& Value);

    // Integer: itself; float: truncated toward zero; string: a decimal number, or hexadecimal
    // after "$", "x" or "0x", with leading blanks and a sign, else VqNotANumber.
    int32_t AsInteger() const;
    // Integer in decimal, float in the general format of up to 15 digits, string as it is.
    std::string AsString() const;

private:
    int32_t FType;
    std::string FName;
    bool FHasValue = false;
    int32_t FInteger = 0;
    double FFloat = 0.0;
    std::string FString;
};

class TVqValues : public TVqChainHolder
{
public:
    TVqValue* GetItem(int32_t Index) const override;
    // The first entry whose name equals Name without regard to case; none when there is none.
    TVqValue* Find(const std::string& Name) const;
    TVqValue* Get(const std::string& Name) const { return Find(Name); }
    // Appends a new entry of that type and name, owned by the list.
    TVqValue* Add(int32_t Type, const std::string& Name);
};
