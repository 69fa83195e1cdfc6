// Screen capture in the I/O component: the screen or this program's active window copied into the
// working bitmap.
#include "platform/forms/screen_capture.h"
#include "imaging/core/daduvudez.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview_globals.h"
#include "platform/forms/application.h"
#include "platform/graphics/bitmap.h"

#include <cstring>

void TKorvaneIO::CaptureFromScreen(TKVCSSource Source, TCursor MouseCursor)
{
    if (MustRunAsync()) {
        new TKVIOThread(this, TKVIOMethodType_CaptureFromScreen([this](TKVCSSource source, TCursor cursor) {
                            CaptureFromScreen(source, cursor);
                        }),
                        Source, MouseCursor);
        return;
    }
    RunOperation([&] {
        Aborting = true;
        if (FKVBitmap == nullptr) {
            return;
        }
        const TCaptureArea area = Source == kvcsScreen             ? TCaptureArea::WholeScreen
                                  : Source == kvcsForegroundWindow ? TCaptureArea::ActiveWindow
                                                                   : TCaptureArea::ActiveWindowClient;
        TBitmap shot;
        if (!CaptureScreenArea(area, MouseCursor != crNone, shot)) {
            return;
        }
        PrepareLoad();
        const int32_t width = shot.Width(), height = shot.Height();
        FKVBitmap->Allocate(width, height, kv24RGB);
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(FKVBitmap->GetScanLine(y), shot.ScanLine(y), size_t(width) * 3);
        }
        FParams->Width = width;
        FParams->Height = height;
        FParams->BitsPerSample = 8;
        FParams->SamplesPerPixel = 3;
        FParams->DpiX = Kvview::gSystemDPIX;
        FParams->DpiY = Kvview::gSystemDPIY;
        FParams->FileType = 0;
        Aborting = false;
        Update();
    });
}
