// The separable kernel resampler with contributor lists, shared by the colour, 1-bit and alpha
// resamplers: weights scaled by 256, integer sums, mirrored edges.
#pragma once

#include "imaging/proc/detail/proc_detail.h"

namespace Korvaneproc::detail {

// Resamples src into dst's size with one of the kernel filters rfTriangle .. rfLinear. The source
// is read as channel bytes (1-bit pixels as 0 or 255); results go to dst as WriteExpanded does.
// Progress, when set, follows the horizontal rows and then the destination columns.
void KernelResample(Plane& src, Plane& dst, TResampleFilter filter, const TKVProgressEvent& onProgress,
                    TObject* sender);

// Nearest-neighbour stretch between planes of any layout given as channel bytes (the rfNone path
// of the resamplers that change the layout).
void NearestResample(Plane& src, Plane& dst);

} // namespace Korvaneproc::detail
