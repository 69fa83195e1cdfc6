// The pages of a TIFF found in one walk of its directory chain and read one by one: each page's
// directory is loaded from the offset the walk found, not by walking the chain again.
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/tiff/tiffilt.h"

#include "platform/core/streams.h"

namespace Tiffilt {

TTIFFPageIndex::TTIFFPageIndex(TStream& Stream)
{
    FEnv.Stream = &Stream;
    FEnv.BaseOffset = Stream.Position();
    int64_t first = 0;
    FHeaderRead = TIFFReadHeader(Stream, FEnv, first);
    if (FHeaderRead && first != 0) {
        FPages = TIFFChainOffsets(first, FEnv);
    }
}

void TTIFFPageIndex::ReadPage(int32_t Index, TKVBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                              std::unique_ptr<TKVMask>& Alpha, bool NoAlpha)
{
    Params.TIFF_ImageIndex = Index;
    if (!FHeaderRead) {
        CodecSetAborting(Progress);
        return;
    }
    // A page past the last, as a directory that can no longer be read, is not found: no failure.
    TTIFFEnv page = FEnv;
    if (Index < 0 || Index >= Count() || !TIFFReadSubIFD(FPages[size_t(Index)], page)) {
        return;
    }
    TIFFReadLoadedPage(Bitmap, page, Count(), Params, Progress, false, Alpha, NoAlpha, false);
}

} // namespace Tiffilt
