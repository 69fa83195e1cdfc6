// The progress and abort protocol of the codec calling convention, shared by every codec.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>

// Sets the percent factor for `rows` rows to come and the row counter to 0.
inline void CodecProgressBegin(TProgressRec& progress, int64_t rows)
{
    progress.PerRow = rows > 0 ? 100.0 / static_cast<double>(rows) : 0.0;
    progress.Counter = 0;
}

// Counts `rows` more rows and reports the percentage when someone listens.
inline void CodecProgressRows(TProgressRec& progress, int32_t rows)
{
    progress.Counter += rows;
    if (progress.OnProgress) {
        progress.OnProgress(progress.Sender, static_cast<int32_t>(progress.Counter * progress.PerRow));
    }
}

inline bool CodecAborted(const TProgressRec& progress)
{
    return progress.Aborting != nullptr && *progress.Aborting;
}

inline void CodecSetAborting(TProgressRec& progress)
{
    if (progress.Aborting != nullptr) {
        *progress.Aborting = true;
    }
}
