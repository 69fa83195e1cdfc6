// The processing component's snapshot record, shared by its frame and its undo lists, and the
// call pattern of its selection-aware methods.
#pragma once

#include "imaging/core/daduvudez.h"
#include "imaging/core/mask.h"
#include "imaging/proc/proc_component.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

#include <initializer_list>
#include <memory>
#include <new>
#include <string>

// One undo or redo entry: a copy of the whole image or the view's selection stream.
struct TKorvaneProc::TSnapshot
{
    std::unique_ptr<TKVBitmap> Image;
    std::unique_ptr<TMemoryStream> Selection;

    TKVUndoSource Kind() const { return Image ? kvuImage : kvuSelection; }
};

namespace Korvaneproc::detail {

// A bitmap of the image's format holding the mask's bounding box of the image.
inline void CopyBox(TKVBitmap* image, TKVMask* mask, TKVBitmap& box)
{
    const int32_t w = mask->x2 - mask->x1 + 1, h = mask->y2 - mask->y1 + 1;
    box.Allocate(w, h, image->GetPixelFormat());
    image->CopyRectTo(&box, mask->x1, mask->y1, 0, 0, w, h);
}

// An undo caption: the name, then the numbers in decimal separated by commas.
inline std::string Caption(const char* name, std::initializer_list<int64_t> numbers)
{
    std::string text = name;
    const char* separator = " ";
    for (int64_t n : numbers) {
        text += separator;
        text += IntToStr(n);
        separator = ",";
    }
    return text;
}

} // namespace Korvaneproc::detail

template <class Worker> void TKorvaneProc::ApplyToSelection(const std::string& Caption, Worker worker)
{
    if (AutoUndo)
        SaveUndoCaptioned(Caption, kvuImage);
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    GetReSel(x1, y1, x2, y2, poly, polyCount, mask);
    // Workers compute into scratch memory before they write: one that cannot have its memory
    // leaves the image as it was.
    try {
        if (mask && !mask->IsEmpty()) {
            // Only the selected pixels change: the worker runs on the box and comes back through the mask.
            TKVBitmap box;
            Korvaneproc::detail::CopyBox(FKVBitmap, mask, box);
            worker(&box, 0, 0, box.GetWidth(), box.GetHeight());
            mask->CopyKVBitmap(FKVBitmap, &box, false, true, false);
        } else {
            worker(FKVBitmap, x1, y1, x2, y2);
        }
    } catch (const EOutOfMemory&) {
    } catch (const std::bad_alloc&) {
    }
    Update();
}
