// Fuzz target of the image view's selection stream: the view takes the size the stream names
// (at most 256 x 256), loads the selection and, when it was taken, uses it.
#include "imaging/core/kvbitmap.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/streams.h"
#include "platform/forms/application.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TKorvaneView* view = [] {
        Application->Initialize();
        return new TKorvaneView(nullptr);
    }();
    int32_t w = 0, h = 0;
    if (size >= 8) {
        std::memcpy(&w, data, 4);
        std::memcpy(&h, data + 4, 4);
    }
    w = std::clamp(w, 1, 256);
    h = std::clamp(h, 1, 256);
    view->GetKVBitmap()->Allocate(w, h, kv24RGB);
    view->GetKVBitmap()->Fill(0);
    view->Update();
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(0);
    if (view->LoadSelectionFromStream(input)) {
        view->SetSelectedPixelsColor(TRGB{1, 2, 3});
        view->MoveSelection(1, 1);
        TKVBitmap copy;
        view->CopySelectionToKVBitmap(&copy);
        TMemoryStream output;
        view->SaveSelectionToStream(output);
    }
    view->DeSelect();
    return 0;
}
