// The fax decoders' cursor on the reference row: where b1 and b2 lie as a row's decoding moves
// along it.
#pragma once

#include <cstdint>

namespace Tifccitt::detail {

// The sealed changing elements of the reference row as a row's decoding reaches them. Next is an
// entry whose run is of the colour opposite to the current one (even entries start black runs) at
// or before b1, the first such entry after a0; b2 follows b1. a0 never moves back along a row, so
// the search goes on from where the last one stopped, a pair at a time, which keeps the colour.
struct TReference
{
    const int32_t* Positions;
    int32_t Next = 0;

    int32_t B1(int32_t a0)
    {
        while (Positions[Next] <= a0) {
            Next += 2;
        }
        return Positions[Next];
    }
    int32_t B2() const { return Positions[Next + 1]; }
    // The colour changed at a1, which lies past the entry before b1: that entry (the -1 before
    // the list, for the first) is where the next search starts.
    void ColourChanged() { --Next; }
    void Restart(bool black) { Next = black ? 1 : 0; }
};

} // namespace Tifccitt::detail
