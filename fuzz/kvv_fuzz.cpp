// Fuzz target of the vector layer's block reader: the block is loaded twice in a row (the second
// load replaces the first), drawn into a small picture and written back.
#include "imaging/core/kvbitmap.h"
#include "imaging/view/kvvect.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "platform/forms/application.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TKorvaneVect* vect = [] {
        Application->Initialize();
        auto* v = new TKorvaneVect(nullptr);
        v->GetKVBitmap()->Allocate(64, 48, kv24RGB);
        v->Update();
        return v;
    }();
    TMemoryStream input;
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.WriteBuffer(data, static_cast<int64_t>(size));
    input.SetPosition(0);
    for (int pass = 0; pass < 2; ++pass) {
        try {
            if (!vect->LoadFromStreamKVV(input)) {
                break;
            }
        } catch (const Exception&) {
            break;
        }
    }
    TKVBitmap target;
    target.Allocate(64, 48, kv24RGB);
    vect->DrawObjectsToBitmap(&target, false);
    TMemoryStream output;
    vect->SaveToStreamKVV(output);
    vect->RemoveAllObjects();
    return 0;
}
