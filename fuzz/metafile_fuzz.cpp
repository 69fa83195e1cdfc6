// Fuzz target of the metafile reader and player: a WMF or EMF read from memory and drawn into a
// picture of its own size (kept small) and into a stretched one.
#include "platform/core/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/metafile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(0);
    TMetafile metafile;
    try {
        metafile.LoadFromStream(input);
    } catch (const EInvalidGraphic&) {
        return 0;
    }
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(std::clamp(metafile.Width(), 1, 64), std::clamp(metafile.Height(), 1, 64));
    picture.Canvas()->StretchDraw(Rect(0, 0, picture.Width(), picture.Height()), &metafile);
    picture.Canvas()->StretchDraw(Rect(40, 30, 3, 2), &metafile); // mirrored both ways
    return 0;
}
