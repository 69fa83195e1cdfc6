// The fax decoders' cursor on the reference row: where b1 and b2 lie as a row's decoding moves
// along it.
#pragma once

#include <cstdint>

namespace Tifccitt::detail {

// The sealed changing elements of the reference row as a row's decoding reaches them. Even entries
// start black runs, odd ones white runs, and a run of no pixels leaves two entries at one position.
// b1 is the first entry after a0 that starts a run of the colour opposite to the current one, b2
// the entry after it. Next is an entry of b1's parity at or before it, and every entry before the
// one before Next lies at or before a0. a0 never moves back along a row, so each search goes on from
// where the last one stopped, a pair at a time, and a row walks the list once, whatever its modes.
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
    // A pass mode went past b2: the next b1 is searched from the pair after b1 and b2.
    void Passed() { Next += 2; }
    // The colour changed at a1, found from b1 (vertical mode): the search for the other parity
    // starts at the entry before b1 (the -1 before the list, for the first). That entry may lie
    // before a1 as well as after it, since a1 may lie up to three pixels left of b1 (VL2, VL3).
    void ColourChanged() { --Next; }
    // The colour changed at a0 where uncompressed mode ended, which may lie anywhere past b1: the
    // search steps up to a0 in the old colour first, so that the cursor goes back one entry from
    // there rather than to the row's start.
    void ColourChangedAt(int32_t a0)
    {
        B1(a0);
        ColourChanged();
    }
};

} // namespace Tifccitt::detail
