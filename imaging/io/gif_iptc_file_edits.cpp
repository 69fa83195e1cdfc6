// Frame editing of GIF files by name and IPTC records written into JPEG files. A file is never
// changed in place: the new content is written beside it and renamed over it when complete.
#include "imaging/codecs/gif/giffilter.h"
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/core/daduvudez.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <exception>

using namespace Korvaneio::detail;

namespace Korvaneio {

int32_t DeleteGifIm(const std::string& FileName, int32_t Index)
{
    TMemoryStream source;
    LoadWholeFile(FileName, source);
    TMemoryStream result;
    const int32_t kept = Giffilter::_DeleteGifImStream(source, result, Index);
    SaveWholeFile(FileName, result);
    return kept;
}

int32_t EnumGifIm(const std::string& FileName)
{
    try {
        return Giffilter::_DeleteGifIm(FileName, -1, false);
    } catch (const std::exception&) {
        return 0;
    }
}

bool CheckAniGif(const std::string& FileName)
{
    try {
        return Giffilter::_CheckGifAnimate(FileName);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace Korvaneio

int32_t TKorvaneIO::InsertToFileGif(const std::string& FileName)
{
    if (DispatchFileRetInt(&TKorvaneIO::InsertToFileGif, FileName)) {
        return -1;
    }
    int32_t frames = 0;
    RunOperation([&] {
        TAbortOnException failed(Aborting);
        Aborting = false;
        TProgressRec progress = MakeProgressRec();
        if (!PrepareSave()) {
            return;
        }
        // The logical screen grows to hold the new frame where it is placed.
        const auto grown = [](int32_t screen, int64_t reach) {
            return int32_t(std::clamp<int64_t>(std::max<int64_t>(screen, reach), 0, 0xFFFF));
        };
        FParams->GIF_WinWidth =
            grown(FParams->GIF_WinWidth, int64_t(FKVBitmap->GetWidth()) + FParams->GIF_XPos);
        FParams->GIF_WinHeight =
            grown(FParams->GIF_WinHeight, int64_t(FKVBitmap->GetHeight()) + FParams->GIF_YPos);
        TMemoryStream content;
        LoadWholeFile(FileName, content);
        frames = Giffilter::_InsertGifImStream(content, *FKVBitmap, *FParams, progress);
        if (Aborting) {
            return;
        }
        // The result loops forever over the grown screen.
        content.SetPosition(0);
        TMemoryStream animated;
        if (!Giffilter::_GifMakeAnimateStream(content, animated, 0, FParams->GIF_WinWidth,
                                              FParams->GIF_WinHeight)) {
            Aborting = true;
            return;
        }
        SaveWholeFile(FileName, animated);
    });
    return frames;
}

bool TKorvaneIO::InjectJpegIPTC(const std::string& FileName)
{
    bool injected = false;
    RunOperation([&] {
        TAbortOnException failed(Aborting);
        Aborting = false;
        TProgressRec progress = MakeProgressRec();
        TMemoryStream source;
        LoadWholeFile(FileName, source);
        TMemoryStream result;
        injected = Jpegfilt::KVJpegInjectIPTC(source, result, FParams->IPTC_Info, progress) && !Aborting;
        if (!injected) {
            Aborting = true;
            return;
        }
        SaveWholeFile(FileName, result);
    });
    return injected;
}

bool TKorvaneIO::InjectJpegIPTCStream(TStream& InStream, TStream& OutStream)
{
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    return Jpegfilt::KVJpegInjectIPTC(InStream, OutStream, FParams->IPTC_Info, progress) && !aborting;
}
