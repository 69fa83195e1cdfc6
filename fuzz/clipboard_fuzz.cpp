// Fuzz target of pasting: outside bytes put on the clipboard as a packed DIB (CF_DIB), pasted
// whole, at a point and into a 1-bit picture.
#include "imaging/core/daduvudez.h"
#include "imaging/proc/proc_component.h"
#include "platform/forms/clipboard.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Clipboard()->SetAsBytes(CF_DIB, std::vector<uint8_t>(data, data + size));
    for (TKVPixelFormat format : {kv24RGB, kv1g}) {
        TKVBitmap image;
        image.Allocate(7, 5, format);
        image.Fill(0);
        TKorvaneProc proc(nullptr);
        proc.SetAttachedKVBitmap(&image);
        proc.PointPasteFromClip(-3, 2);
        proc.PasteFromClipboard();
    }
    return 0;
}
