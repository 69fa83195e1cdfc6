// Plimbet's list of named, typed values.
#include "app/typed_values.h"

#include "platform/core/rounding.h"
#include "platform/core/strings.h"

#include <cctype>
#include <string_view>

TVqChainItem::TVqChainItem(TVqChainHolder* Owner)
{
    if (Owner != nullptr) {
        Owner->Append(this);
    }
}

TVqChainItem::~TVqChainItem()
{
    if (FPrev != nullptr) {
        FPrev->FNext = FNext;
    }
    if (FNext != nullptr) {
        FNext->FPrev = FPrev;
    }
    if (FOwner != nullptr) {
        if (FOwner->FFirst == this) {
            FOwner->FFirst = FNext;
        }
        --FOwner->FCount;
    }
}

TVqChainHolder::~TVqChainHolder()
{
    Clear();
}

void TVqChainHolder::Append(TVqChainItem* Item)
{
    Item->FOwner = this;
    Item->FNext = nullptr;
    Item->FPrev = nullptr;
    if (FFirst == nullptr) {
        FFirst = Item;
    } else {
        TVqChainItem* last = FFirst;
        while (last->FNext != nullptr) {
            last = last->FNext;
        }
        last->FNext = Item;
        Item->FPrev = last;
    }
    ++FCount;
}

void TVqChainHolder::Clear()
{
    TVqChainItem* last = FFirst;
    while (last != nullptr && last->FNext != nullptr) {
        last = last->FNext;
    }
    while (last != nullptr) {
        TVqChainItem* previous = last->FPrev;
        delete last;
        last = previous;
    }
    FFirst = nullptr;
    FCount = 0;
}

TVqChainItem* TVqChainHolder::GetItem(int32_t Index) const
{
    if (Index >= FCount) {
        return nullptr;
    }
    TVqChainItem* item = FFirst;
    for (int32_t step = 0; step < Index && item != nullptr; ++step) {
        item = item->FNext;
    }
    return item;
}

namespace {

bool IsHexDigit(char C)
{
    return std::isxdigit(static_cast<unsigned char>(C)) != 0;
}

int HexValue(char C)
{
    if (C >= '0' && C <= '9') {
        return C - '0';
    }
    return std::toupper(static_cast<unsigned char>(C)) - 'A' + 10;
}

// Leading blanks, an optional sign, then decimal digits or "$", "x" or "0x" and hexadecimal
// digits, and nothing after them. Decimal must fit in 32 signed bits; hexadecimal is a 32-bit
// pattern ("$FFFFFFFF" is -1), as the class library reads it.
int32_t StrToVqInt(std::string_view Text)
{
    size_t i = 0;
    while (i < Text.size() && Text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
        negative = Text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < Text.size() && (Text[i] == '$' || Text[i] == 'x' || Text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= Text.size()) {
        return VqNotANumber;
    }
    uint64_t magnitude = 0;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    for (; i < Text.size(); ++i) {
        const char c = Text[i];
        if (hex ? !IsHexDigit(c) : (c < '0' || c > '9')) {
            return VqNotANumber;
        }
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(hex ? HexValue(c) : c - '0');
        if (magnitude > limit) {
            return VqNotANumber;
        }
    }
    const uint32_t bits = static_cast<uint32_t>(magnitude);
    return static_cast<int32_t>(negative ? 0u - bits : bits);
}

} // namespace

TVqValue::TVqValue(TVqValues* Owner, int32_t Type, const std::string& Name)
    : TVqChainItem(Owner), FType(Type), FName(Name)
{
}

void TVqValue::SetInteger(int32_t Value)
{
    FInteger = Value;
    FHasValue = true;
}

void TVqValue::SetString(const std::string& Value)
{
    FString = Value;
    FHasValue = true;
}

int32_t TVqValue::AsInteger() const
{
    switch (FType) {
    case vqFloat:
        return Trunc(FFloat);
    case vqString:
        return StrToVqInt(FString);
    default:
        return FInteger;
    }
}

std::string TVqValue::AsString() const
{
    switch (FType) {
    case vqInteger:
        return IntToStr(FInteger);
    case vqFloat:
        return FloatToStr(FFloat);
    default:
        return FString;
    }
}

TVqValue* TVqValues::GetItem(int32_t Index) const
{
    return static_cast<TVqValue*>(TVqChainHolder::GetItem(Index));
}

TVqValue* TVqValues::Find(const std::string& Name) const
{
    for (TVqChainItem* item = First(); item != nullptr; item = item->Next()) {
        auto* value = static_cast<TVqValue*>(item);
        if (SameText(value->Name(), Name)) {
            return value;
        }
    }
    return nullptr;
}

TVqValue* TVqValues::Add(int32_t Type, const std::string& Name)
{
    return new TVqValue(this, Type, Name);
}
