// The run-length codes of ITU-T T.4 (terminating, make-up and the extended make-up codes both
// colours share) and the look-up tables the fax decoder matches them with.
#pragma once

#include <cstdint>

namespace Tifccitt::detail {

struct TRunCode
{
    uint16_t Code;  // right-aligned
    uint8_t Length; // bits
};

// Codes of runs 0..63 (terminating) and 64..1728 in steps of 64 (make-up), indexed by run
// (0..63) or 63 + run / 64; and the make-up codes of 1792..2560, which both colours share.
extern const TRunCode WhiteRunCodes[91];
extern const TRunCode BlackRunCodes[91];
extern const TRunCode ExtendedMakeUpCodes[13];

// The code of a run of 0..63, or of a multiple of 64 up to 2560.
inline const TRunCode& RunCode(bool black, int32_t run)
{
    const int32_t index = run < 64 ? run : 63 + run / 64;
    if (index >= 91) {
        return ExtendedMakeUpCodes[index - 91];
    }
    return black ? BlackRunCodes[index] : WhiteRunCodes[index];
}

// Look-up by the next 13 bits of the data: the run of the code they start with and its length;
// Length 0 when no code starts there.
constexpr int32_t RunLookupBits = 13;
struct TRunLookup
{
    int16_t Run;
    uint8_t Length;
};
const TRunLookup* RunLookup(bool black);

// Two-dimensional modes, looked up by the next 7 bits.
enum TMode : uint8_t
{
    mdNone, // no code of 7 bits or less: extension, EOL or invalid
    mdPass,
    mdHorizontal,
    mdVertical
};
struct TModeLookup
{
    TMode Mode;
    int8_t Offset; // vertical: a1 - b1
    uint8_t Length;
};
const TModeLookup* ModeLookup();

constexpr uint16_t EOLCode = 1; // 000000000001
constexpr int32_t EOLLength = 12;

} // namespace Tifccitt::detail
