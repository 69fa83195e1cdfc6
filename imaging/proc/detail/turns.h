// Quarter turns and mirroring of planes, shared by the quarter-turn routines and the rotations.
#pragma once

#include "imaging/proc/detail/proc_detail.h"

namespace Korvaneproc::detail {

// Bits per pixel of the formats that turn (kv1g, kv8g, kv8p, kv24RGB), 0 for the others.
int32_t BitsOf(TKVPixelFormat format);
// dst (src's height by src's width) receives src turned a quarter; bits is 1, 8 or 24.
void TurnPlane(Plane& src, Plane& dst, int32_t bits, bool clockwise);
// Mirrors the plane in place; both directions together give the half turn.
void MirrorPlane(Plane& plane, int32_t bits, bool horizontal, bool vertical);
// Dest takes Source's format and palette and Source turned a quarter.
void QuarterTurn(TKVBitmap* Source, TKVBitmap* Dest, bool clockwise);

} // namespace Korvaneproc::detail
