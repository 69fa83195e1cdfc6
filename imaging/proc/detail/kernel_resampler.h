// The separable kernel resampler with contributor lists, shared by the colour, 1-bit and alpha
// resamplers: weights scaled by 256, integer sums, mirrored edges; and where the linear and area
// resamplers sample an enlarged axis. The area resampler keeps its whole-number weights in
// contributor lists too.
#pragma once

#include "imaging/proc/detail/proc_detail.h"

namespace Korvaneproc::detail {

struct Contributor
{
    int32_t pixel;
    int32_t weight;
};

// Contributor lists of every destination index, packed: list i is items[start[i] .. start[i+1]),
// and total[i] the sum of its weights.
struct Contributors
{
    std::vector<int32_t> start;
    std::vector<Contributor> items;
    std::vector<int32_t> total;
};

// Resamples src into dst's size with one of the kernel filters rfTriangle .. rfLinear. The source
// is read as channel bytes (1-bit pixels as 0 or 255); results go to dst as WriteExpanded does.
// Progress, when set, follows the horizontal rows and then the destination columns.
void KernelResample(Plane& src, Plane& dst, TResampleFilter filter, const TKVProgressEvent& onProgress,
                    TObject* sender);

// Where destination pixel Index of an axis enlarged from SourceCount to DestCount pixels samples
// the source, in source pixels: its centre, (Index + 0.5) * SourceCount / DestCount - 0.5, held
// between the first and the last source pixel's centres, so that the edge pixels are repeated
// beyond them. Sampling there keeps each source pixel at the centre of the block it becomes.
long double SourceCentre(int32_t Index, int32_t SourceCount, int32_t DestCount);
// The same centre before it is held between the outer centres, as the fraction
// SourceCentreNumerator / (2 DestCount): (2 Index + 1) SourceCount - DestCount.
int64_t SourceCentreNumerator(int32_t Index, int32_t SourceCount, int32_t DestCount);

// Nearest-neighbour stretch between planes of any layout given as channel bytes (the rfNone path
// of the resamplers that change the layout).
void NearestResample(Plane& src, Plane& dst);

} // namespace Korvaneproc::detail
