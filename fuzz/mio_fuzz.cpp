// Fuzz target of loading every frame of a file into the thumbnail view: the input is read as GIF
// frames and as TIFF pages through the multi-image I/O component, whatever was loaded is saved
// again as both when it is of a modest size, and the view is emptied for the next input.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "platform/core/streams.h"
#include "platform/forms/application.h"

#include <cstddef>
#include <cstdint>

namespace {

// Each writer passes over every pixel: a few bytes may declare a frame of 260 million pixels,
// which the readers must take, but saving it again in every run only spends the fuzzer's time.
constexpr int64_t SavedPixelsMax = int64_t(1) << 22;

int64_t PixelsOf(TKorvaneMView* view)
{
    int64_t pixels = 0;
    for (int32_t i = 0; i < view->GetImageCount(); ++i) {
        pixels += int64_t(view->GetImageOriginalWidth(i)) * view->GetImageOriginalHeight(i);
    }
    return pixels;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TKorvaneMView* view = [] {
        Application->Initialize();
        Korvaneio::DefGIF_LZWDECOMPFUNC = Giflzw::GIFLZWDecompress;
        Korvaneio::DefGIF_LZWCOMPFUNC = Giflzw::GIFLZWCompress;
        Korvaneio::DefTIFF_LZWDECOMPFUNC = Tiflzw::TIFFLZWDecompress;
        Korvaneio::DefTIFF_LZWCOMPFUNC = Tiflzw::TIFFLZWCompress;
        return new TKorvaneMView(nullptr);
    }();
    TKorvaneMIO* mio = view->GetKorvaneMIO();
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    for (bool gif : {true, false}) {
        view->Clear();
        input.SetPosition(0);
        if (gif) {
            mio->LoadFromStreamGif(input);
        } else {
            mio->LoadFromStreamTIFF(input);
        }
        if (view->GetImageCount() > 0 && PixelsOf(view) <= SavedPixelsMax) {
            TMemoryStream asGif;
            mio->SaveToStreamGif(asGif);
            TMemoryStream asTiff;
            mio->SaveToStreamTIFF(asTiff);
        }
    }
    view->Clear();
    return 0;
}
