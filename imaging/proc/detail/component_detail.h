// The processing component's snapshot record, shared by its frame and its undo lists.
#pragma once

#include "imaging/core/daduvudez.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/streams.h"

#include <memory>

// One undo or redo entry: a copy of the whole image or the view's selection stream.
struct TKorvaneProc::TSnapshot
{
    std::unique_ptr<TKVBitmap> Image;
    std::unique_ptr<TMemoryStream> Selection;

    TKVUndoSource Kind() const { return Image ? kvuImage : kvuSelection; }
};
