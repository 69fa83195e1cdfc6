// String helpers of the class-library layer over std::string holding UTF-8 bytes: number
// conversion, trimming, ASCII case mapping and comparison, searching, replacing and formatting.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

// The texts joined, in one allocation. A chain of + that joins a literal to a temporary string
// is the same text, but GCC 12 at -O3 warns of it, wrongly, as an overlapping copy.
template <class... TTexts> std::string Concat(const TTexts&... Texts)
{
    const std::string_view parts[] = {std::string_view(Texts)...};
    size_t size = 0;
    for (const std::string_view part : parts) {
        size += part.size();
    }
    std::string text;
    text.reserve(size);
    for (const std::string_view part : parts) {
        text.append(part);
    }
    return text;
}

// Numbers as decimal text.
std::string IntToStr(int64_t Value);
// Upper-case hexadecimal, zero-padded to at least Digits digits; a negative value is written as
// its two's complement in 16 digits (8 when it fits in 32 bits), as the class library does.
std::string IntToHex(int64_t Value, int Digits);

// Text to integer: optional blanks, sign, then decimal digits or "$"/"0x" and hexadecimal digits.
// Anything else, or a value outside int32 (int64 for the 64-bit forms), raises EConvertError.
int32_t StrToInt(const std::string& S);
int32_t StrToIntDef(const std::string& S, int32_t Default);
int64_t StrToInt64(const std::string& S);
int64_t StrToInt64Def(const std::string& S, int64_t Default);
bool TryStrToInt(const std::string& S, int32_t& Value);
bool TryStrToInt64(const std::string& S, int64_t& Value);

// Decimal text with "." whatever the locale; 15 significant digits, scientific ("1E20",
// "1.5E-7") when the exponent is below -4 or at least 15; "NAN", "INF", "-INF".
std::string FloatToStr(long double Value);
// Text with "." as decimal separator and an optional exponent; surrounding blanks are allowed.
// Anything else (including "nan" and "inf") raises EConvertError.
long double StrToFloat(const std::string& S);
long double StrToFloatDef(const std::string& S, long double Default);
bool TryStrToFloat(const std::string& S, long double& Value);

// Remove leading and/or trailing blanks and control characters (bytes up to ' ').
std::string Trim(const std::string& S);
std::string TrimLeft(const std::string& S);
std::string TrimRight(const std::string& S);

// ASCII case mapping; other bytes (UTF-8 sequences) are left as they are.
std::string UpperCase(const std::string& S);
std::string LowerCase(const std::string& S);

// Byte-wise comparisons returning <0, 0 or >0; CompareText folds ASCII case first.
int CompareStr(const std::string& S1, const std::string& S2);
int CompareText(const std::string& S1, const std::string& S2);
bool SameText(const std::string& S1, const std::string& S2);

// 1-based position of SubStr in S, 0 when absent (or when SubStr is empty).
int Pos(const std::string& SubStr, const std::string& S);
// Count bytes from the 1-based Index, clamped to the string; an Index below 1 counts from 1.
std::string Copy(const std::string& S, int64_t Index, int64_t Count);

enum TReplaceFlag : uint8_t
{
    rfReplaceAll = 1,
    rfIgnoreCase = 2
};
using TReplaceFlags = uint8_t;
std::string StringReplace(const std::string& S, const std::string& OldPattern, const std::string& NewPattern,
                          TReplaceFlags Flags);

// Quote S with Quote, doubling every Quote inside it.
std::string AnsiQuotedStr(const std::string& S, char Quote);
// Read a quoted string starting at S[Pos] (which must be Quote): doubled quotes become one, and
// Pos moves past the closing quote (to the end when there is none). Returns "" and leaves Pos
// when S[Pos] is not Quote.
std::string AnsiExtractQuotedStr(const std::string& S, size_t& Pos, char Quote);

// One argument of Format: an integer, a floating-point number, a string or a pointer.
class TVarRec
{
public:
    enum TKind : uint8_t
    {
        vkInteger,
        vkUnsigned,
        vkFloat,
        vkString,
        vkPointer
    };

    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_signed_v<T>) TVarRec(T Value)
        : FKind(vkInteger), FInt(Value)
    {
    }
    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_unsigned_v<T>) TVarRec(T Value)
        : FKind(vkUnsigned), FUInt(Value)
    {
    }
    template <class T>
    requires std::is_enum_v<T> TVarRec(T Value) : TVarRec(static_cast<std::underlying_type_t<T>>(Value)) {}
    TVarRec(bool Value) : FKind(vkInteger), FInt(Value ? 1 : 0) {}
    TVarRec(double Value) : FKind(vkFloat), FFloat(Value) {}
    TVarRec(long double Value) : FKind(vkFloat), FFloat(Value) {}
    TVarRec(float Value) : FKind(vkFloat), FFloat(Value) {}
    TVarRec(const std::string& Value) : FKind(vkString), FString(Value) {}
    TVarRec(std::string_view Value) : FKind(vkString), FString(Value) {}
    TVarRec(const char* Value) : FKind(vkString), FString(Value ? Value : "") {}
    TVarRec(char* Value) : TVarRec(static_cast<const char*>(Value)) {}
    TVarRec(const void* Value) : FKind(vkPointer), FPointer(Value) {}

    TKind Kind() const { return FKind; }
    int64_t AsInteger() const { return FInt; }
    uint64_t AsUnsigned() const { return FUInt; }
    long double AsFloat() const { return FFloat; }
    std::string_view AsString() const { return FString; }
    const void* AsPointer() const { return FPointer; }

private:
    TKind FKind;
    union {
        int64_t FInt;
        uint64_t FUInt;
        long double FFloat;
        const void* FPointer;
    };
    std::string_view FString;
};

// printf-style formatting, checked against the argument types: flags "-+ 0#", width and
// precision (also "*"), and the conversions d i u x X o c e E f F g G a A s p and "%%". Length
// modifiers (l, ll, h, z, L, ...) are accepted and ignored. Integers may stand for floats; a
// conversion that does not fit its argument, or a missing argument, raises EConvertError.
std::string FormatArgs(const std::string& Fmt, std::initializer_list<TVarRec> Args);

template <class... TArgs> std::string Format(const std::string& Fmt, const TArgs&... Args)
{
    return FormatArgs(Fmt, {TVarRec(Args)...});
}
