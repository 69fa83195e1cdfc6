// Page editing of whole TIFF files: counting, deleting, extracting and inserting pages.
#include "imaging/codecs/tiff/tiffilt.h"

#include "imaging/core/mask.h"
#include "platform/core/streams.h"

namespace Tiffilt {

int32_t _EnumTIFFImStream(TStream& Stream)
{
    int32_t pages = 0;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TKVMask> alpha;
    const int64_t start = Stream.Position();
    TIFFReadStream(nullptr, Stream, pages, nullptr, progress, false, alpha, true, true, false);
    Stream.SetPosition(start);
    return pages;
}

} // namespace Tiffilt
