// String helpers: conversions, trimming, case, searching, replacing and checked formatting.
#include "platform/core/strings.h"

#include "platform/core/detail/text_helpers.h"
#include "platform/core/exceptions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

char UpperChar(char C)
{
    return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}

char LowerChar(char C)
{
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

bool IsBlank(char C)
{
    return static_cast<unsigned char>(C) <= ' ';
}

// Leading blanks, a sign, then decimal digits or "$"/"0x" and hexadecimal digits, up to the
// end. Hexadecimal text gives the bits of a Bits-wide two's complement number ("$FFFFFFFF" is
// -1 as a 32-bit integer); decimal text must be within the range.
bool ParseInteger(const std::string& S, int Bits, int64_t& Value)
{
    size_t i = 0;
    while (i < S.size() && S[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < S.size() && (S[i] == '+' || S[i] == '-')) {
        negative = S[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < S.size() && S[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= S.size()) {
        return false;
    }
    uint64_t magnitude = 0;
    for (; i < S.size(); ++i) {
        int digit = kvcore_detail::HexDigitValue(S[i]);
        if (digit < 0 || digit >= base) {
            return false;
        }
        if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / base) {
            return false;
        }
        magnitude = magnitude * base + digit;
    }
    const int64_t highest =
        Bits == 32 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int64_t>::max();
    if (base == 16) {
        if (Bits == 32 && magnitude > 0xFFFFFFFFu) {
            return false;
        }
        int64_t bits = Bits == 32 ? static_cast<int32_t>(static_cast<uint32_t>(magnitude))
                                  : static_cast<int64_t>(magnitude);
        if (negative) {
            if (bits == -highest - 1) {
                return false;
            }
            bits = -bits;
        }
        Value = bits;
        return true;
    }
    const uint64_t limit = static_cast<uint64_t>(highest) + (negative ? 1 : 0);
    if (magnitude > limit) {
        return false;
    }
    Value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

} // namespace

std::string IntToStr(int64_t Value)
{
    return std::to_string(Value);
}

std::string IntToHex(int64_t Value, int Digits)
{
    uint64_t bits = static_cast<uint64_t>(Value);
    if (Value < 0 && Value >= std::numeric_limits<int32_t>::min()) {
        bits &= 0xFFFFFFFFu;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*llX", std::clamp(Digits, 0, 16),
                  static_cast<unsigned long long>(bits));
    return buffer;
}

bool TryStrToInt64(const std::string& S, int64_t& Value)
{
    return ParseInteger(S, 64, Value);
}

bool TryStrToInt(const std::string& S, int32_t& Value)
{
    int64_t wide = 0;
    if (!ParseInteger(S, 32, wide)) {
        return false;
    }
    Value = static_cast<int32_t>(wide);
    return true;
}

int32_t StrToInt(const std::string& S)
{
    int32_t value = 0;
    if (!TryStrToInt(S, value)) {
        throw EConvertError("'" + S + "' is not a valid integer value");
    }
    return value;
}

int32_t StrToIntDef(const std::string& S, int32_t Default)
{
    int32_t value = 0;
    return TryStrToInt(S, value) ? value : Default;
}

int64_t StrToInt64(const std::string& S)
{
    int64_t value = 0;
    if (!TryStrToInt64(S, value)) {
        throw EConvertError("'" + S + "' is not a valid integer value");
    }
    return value;
}

int64_t StrToInt64Def(const std::string& S, int64_t Default)
{
    int64_t value = 0;
    return TryStrToInt64(S, value) ? value : Default;
}

std::string FloatToStr(long double Value)
{
    if (std::isnan(Value)) {
        return "NAN";
    }
    if (std::isinf(Value)) {
        return Value < 0 ? "-INF" : "INF";
    }
    if (Value == 0) {
        return "0";
    }
    // 15 significant digits as d.dddddddddddddde[+-]x, then trailing zeros dropped.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14Le", Value);
    std::string text = buffer;
    bool negative = text[0] == '-';
    if (negative) {
        text.erase(0, 1);
    }
    size_t e = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    int exponent = std::atoi(text.c_str() + e + 1) + 1; // value = 0.digits * 10^exponent
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string result;
    if (exponent > 15 || exponent < -3) {
        result = digits.substr(0, 1);
        if (digits.size() > 1) {
            result += '.';
            result.append(digits, 1);
        }
        result += 'E';
        result += std::to_string(exponent - 1);
    } else if (exponent <= 0) {
        result = "0." + std::string(-exponent, '0') + digits;
    } else if (static_cast<size_t>(exponent) >= digits.size()) {
        result = digits + std::string(exponent - digits.size(), '0');
    } else {
        result = digits.substr(0, exponent) + "." + digits.substr(exponent);
    }
    return negative ? "-" + result : result;
}

bool TryStrToFloat(const std::string& S, long double& Value)
{
    std::string text = Trim(S);
    if (text.empty()) {
        return false;
    }
    // Only digits, one sign, a point and an exponent: this also keeps out "nan", "inf" and
    // hexadecimal forms that strtold would take.
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E')) {
            return false;
        }
    }
    errno = 0;
    char* end = nullptr;
    long double parsed = std::strtold(text.c_str(), &end);
    if (end != text.c_str() + text.size() || end == text.c_str()) {
        return false;
    }
    if (errno == ERANGE && std::isinf(parsed)) {
        return false;
    }
    Value = parsed;
    return true;
}

long double StrToFloat(const std::string& S)
{
    long double value = 0;
    if (!TryStrToFloat(S, value)) {
        throw EConvertError("'" + S + "' is not a valid floating point value");
    }
    return value;
}

long double StrToFloatDef(const std::string& S, long double Default)
{
    long double value = 0;
    return TryStrToFloat(S, value) ? value : Default;
}

std::string Trim(const std::string& S)
{
    return TrimLeft(TrimRight(S));
}

std::string TrimLeft(const std::string& S)
{
    size_t first = 0;
    while (first < S.size() && IsBlank(S[first])) {
        ++first;
    }
    return S.substr(first);
}

std::string TrimRight(const std::string& S)
{
    size_t end = S.size();
    while (end > 0 && IsBlank(S[end - 1])) {
        --end;
    }
    return S.substr(0, end);
}

std::string UpperCase(const std::string& S)
{
    std::string result = S;
    std::transform(result.begin(), result.end(), result.begin(), UpperChar);
    return result;
}

std::string LowerCase(const std::string& S)
{
    std::string result = S;
    std::transform(result.begin(), result.end(), result.begin(), LowerChar);
    return result;
}

int CompareStr(const std::string& S1, const std::string& S2)
{
    return S1.compare(S2);
}

int CompareText(const std::string& S1, const std::string& S2)
{
    size_t common = std::min(S1.size(), S2.size());
    for (size_t i = 0; i < common; ++i) {
        auto c1 = static_cast<unsigned char>(UpperChar(S1[i]));
        auto c2 = static_cast<unsigned char>(UpperChar(S2[i]));
        if (c1 != c2) {
            return c1 < c2 ? -1 : 1;
        }
    }
    if (S1.size() == S2.size()) {
        return 0;
    }
    return S1.size() < S2.size() ? -1 : 1;
}

bool SameText(const std::string& S1, const std::string& S2)
{
    return S1.size() == S2.size() && CompareText(S1, S2) == 0;
}

int Pos(const std::string& SubStr, const std::string& S)
{
    if (SubStr.empty()) {
        return 0;
    }
    size_t found = S.find(SubStr);
    return found == std::string::npos ? 0 : static_cast<int>(found) + 1;
}

std::string Copy(const std::string& S, int64_t Index, int64_t Count)
{
    if (Index < 1) {
        Index = 1;
    }
    auto size = static_cast<int64_t>(S.size());
    if (Index > size || Count <= 0) {
        return std::string();
    }
    return S.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(std::min(Count, size - Index + 1)));
}

std::string StringReplace(const std::string& S, const std::string& OldPattern, const std::string& NewPattern,
                          TReplaceFlags Flags)
{
    if (OldPattern.empty()) {
        return S;
    }
    const bool ignoreCase = (Flags & rfIgnoreCase) != 0;
    const std::string haystack = ignoreCase ? UpperCase(S) : S;
    const std::string needle = ignoreCase ? UpperCase(OldPattern) : OldPattern;
    std::string result;
    size_t from = 0;
    while (from <= S.size()) {
        size_t found = haystack.find(needle, from);
        if (found == std::string::npos) {
            break;
        }
        result.append(S, from, found - from);
        result += NewPattern;
        from = found + needle.size();
        if ((Flags & rfReplaceAll) == 0) {
            break;
        }
    }
    result.append(S, std::min(from, S.size()), std::string::npos);
    return result;
}

std::string AnsiQuotedStr(const std::string& S, char Quote)
{
    std::string result(1, Quote);
    for (char c : S) {
        result += c;
        if (c == Quote) {
            result += c;
        }
    }
    result += Quote;
    return result;
}

std::string AnsiExtractQuotedStr(const std::string& S, size_t& Pos, char Quote)
{
    if (Pos >= S.size() || S[Pos] != Quote) {
        return std::string();
    }
    std::string result;
    size_t i = Pos + 1;
    while (i < S.size()) {
        if (S[i] == Quote) {
            if (i + 1 < S.size() && S[i + 1] == Quote) {
                result += Quote;
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        result += S[i++];
    }
    Pos = i;
    return result;
}

// ---- Format ----

namespace {

[[noreturn]] void FormatError(const std::string& Fmt)
{
    throw EConvertError("Format '" + Fmt + "' invalid or incompatible with argument");
}

} // namespace

std::string FormatArgs(const std::string& Fmt, std::initializer_list<TVarRec> Args)
{
    std::string result;
    const TVarRec* next = Args.begin();
    auto takeArg = [&]() -> const TVarRec& {
        if (next == Args.end()) {
            FormatError(Fmt);
        }
        return *next++;
    };
    auto takeCount = [&]() -> int {
        const TVarRec& arg = takeArg();
        if (arg.Kind() == TVarRec::vkInteger) {
            return static_cast<int>(std::clamp<int64_t>(arg.AsInteger(), -4096, 4096));
        }
        if (arg.Kind() == TVarRec::vkUnsigned) {
            return static_cast<int>(std::min<uint64_t>(arg.AsUnsigned(), 4096));
        }
        FormatError(Fmt);
    };

    size_t i = 0;
    while (i < Fmt.size()) {
        char c = Fmt[i];
        if (c != '%') {
            result += c;
            ++i;
            continue;
        }
        if (i + 1 < Fmt.size() && Fmt[i + 1] == '%') {
            result += '%';
            i += 2;
            continue;
        }
        // Rebuild the directive for snprintf with checked width and precision.
        std::string directive = "%";
        ++i;
        while (i < Fmt.size() && std::string_view("-+ 0#").find(Fmt[i]) != std::string_view::npos) {
            directive += Fmt[i++];
        }
        bool hasWidth = false;
        int width = 0;
        if (i < Fmt.size() && Fmt[i] == '*') {
            hasWidth = true;
            width = takeCount();
            ++i;
        } else {
            while (i < Fmt.size() && Fmt[i] >= '0' && Fmt[i] <= '9') {
                hasWidth = true;
                width = width * 10 + (Fmt[i++] - '0');
                if (width > 4096) {
                    FormatError(Fmt);
                }
            }
        }
        int precision = -1;
        if (i < Fmt.size() && Fmt[i] == '.') {
            ++i;
            precision = 0;
            if (i < Fmt.size() && Fmt[i] == '*') {
                precision = std::max(takeCount(), 0);
                ++i;
            } else {
                while (i < Fmt.size() && Fmt[i] >= '0' && Fmt[i] <= '9') {
                    precision = precision * 10 + (Fmt[i++] - '0');
                    if (precision > 4096) {
                        FormatError(Fmt);
                    }
                }
            }
        }
        if (width < 0 && directive.find('-') == std::string::npos) {
            // A negative "*" width means left-justified, as in printf.
            directive += '-';
        }
        width = std::abs(width);
        if (hasWidth) {
            directive += std::to_string(width);
        }
        if (precision >= 0) {
            directive += '.';
            directive += std::to_string(precision);
        }
        while (i < Fmt.size() && std::string_view("hlLqjzt").find(Fmt[i]) != std::string_view::npos) {
            ++i;
        }
        if (i >= Fmt.size()) {
            FormatError(Fmt);
        }
        const char conversion = Fmt[i++];
        const TVarRec& arg = takeArg();
        std::string converted;
        auto print = [&converted](const std::string& Directive, auto Value) {
            int needed = std::snprintf(nullptr, 0, Directive.c_str(), Value);
            if (needed < 0) {
                return;
            }
            std::string out(static_cast<size_t>(needed) + 1, '\0');
            std::snprintf(out.data(), out.size(), Directive.c_str(), Value);
            out.resize(static_cast<size_t>(needed));
            converted = std::move(out);
        };
        switch (conversion) {
        case 'd':
        case 'i':
            if (arg.Kind() == TVarRec::vkInteger) {
                print(directive + "lld", static_cast<long long>(arg.AsInteger()));
            } else if (arg.Kind() == TVarRec::vkUnsigned) {
                print(directive + "llu", static_cast<unsigned long long>(arg.AsUnsigned()));
            } else {
                FormatError(Fmt);
            }
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (arg.Kind() == TVarRec::vkInteger) {
                // A negative value shows its 32-bit two's complement when it fits, as in C.
                int64_t v = arg.AsInteger();
                uint64_t bits = static_cast<uint64_t>(v);
                if (v < 0 && v >= std::numeric_limits<int32_t>::min()) {
                    bits &= 0xFFFFFFFFu;
                }
                print(directive + "ll" + conversion, static_cast<unsigned long long>(bits));
            } else if (arg.Kind() == TVarRec::vkUnsigned) {
                print(directive + "ll" + conversion, static_cast<unsigned long long>(arg.AsUnsigned()));
            } else {
                FormatError(Fmt);
            }
            break;
        case 'c':
            if (arg.Kind() == TVarRec::vkInteger || arg.Kind() == TVarRec::vkUnsigned) {
                print(directive + "c", static_cast<int>(static_cast<unsigned char>(arg.AsUnsigned())));
            } else {
                FormatError(Fmt);
            }
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            long double value = 0;
            if (arg.Kind() == TVarRec::vkFloat) {
                value = arg.AsFloat();
            } else if (arg.Kind() == TVarRec::vkInteger) {
                value = static_cast<long double>(arg.AsInteger());
            } else if (arg.Kind() == TVarRec::vkUnsigned) {
                value = static_cast<long double>(arg.AsUnsigned());
            } else {
                FormatError(Fmt);
            }
            print(directive + "L" + conversion, value);
            break;
        }
        case 's': {
            if (arg.Kind() != TVarRec::vkString) {
                FormatError(Fmt);
            }
            // The text may hold NUL bytes, so pad and cut here rather than in snprintf.
            std::string_view text = arg.AsString();
            if (precision >= 0 && text.size() > static_cast<size_t>(precision)) {
                text = text.substr(0, static_cast<size_t>(precision));
            }
            converted.assign(text);
            size_t pad = static_cast<size_t>(width) > converted.size() ? width - converted.size() : 0;
            if (directive.find('-') != std::string::npos) {
                converted.append(pad, ' ');
            } else {
                converted.insert(0, pad, ' ');
            }
            break;
        }
        case 'p':
            if (arg.Kind() != TVarRec::vkPointer) {
                FormatError(Fmt);
            }
            print(directive + "p", arg.AsPointer());
            break;
        default:
            FormatError(Fmt);
        }
        result += converted;
    }
    return result;
}
