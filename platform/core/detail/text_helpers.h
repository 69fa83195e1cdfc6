// Small helpers shared by the text classes: a scoped update of a string list and hexadecimal
// digits.
#pragma once

#include "platform/core/lists.h"

#include <string>
#include <vector>

namespace kvcore_detail {

class TStringsUpdate
{
public:
    explicit TStringsUpdate(TStrings& Strings) : FStrings(Strings) { FStrings.BeginUpdate(); }
    ~TStringsUpdate() { FStrings.EndUpdate(); }
    TStringsUpdate(const TStringsUpdate&) = delete;
    TStringsUpdate& operator=(const TStringsUpdate&) = delete;

private:
    TStrings& FStrings;
};

// Replaces the content of Strings with Items in one update.
inline void ReplaceStrings(TStrings& Strings, const std::vector<std::string>& Items)
{
    TStringsUpdate update(Strings);
    Strings.Clear();
    for (const std::string& item : Items) {
        Strings.Add(item);
    }
}

// The value of a hexadecimal digit, -1 for any other character.
inline int HexDigitValue(char C)
{
    if (C >= '0' && C <= '9') {
        return C - '0';
    }
    if (C >= 'a' && C <= 'f') {
        return C - 'a' + 10;
    }
    if (C >= 'A' && C <= 'F') {
        return C - 'A' + 10;
    }
    return -1;
}

} // namespace kvcore_detail
