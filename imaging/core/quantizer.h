// The colour quantizer: a palette of at most NCol colours for a true-colour image and the
// palette index of any colour.
#pragma once

#include "imaging/core/types.h"
#include "platform/core/classes.h"

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

class TKVBitmap;

namespace Neurquant {
class TNeuQuantNet;
}
namespace Stdquant {
struct TMedianCutState;
}

class TKVQuantizer : public TObject
{
public:
    // Chooses, in this order: a grey ramp (a grey image and 256 colours), the image's own colours
    // (no more than NCol of them), NeuQuant (NCol of 128 or more) or the median cut, and writes
    // the palette into ColorMap from entry 0. An image that is not kv24RGB is read as its
    // kv24RGB conversion. NCol is taken within 1..1024 (a network of more than 256 neurons
    // serves the reductions to more colours than a byte indexes). Quality -1 chooses the
    // NeuQuant sampling by the image's size; Method is not used.
    TKVQuantizer(TKVBitmap* Bitmap, std::span<TRGB> ColorMap, int32_t NCol, int32_t Quality = -1,
                 int32_t Method = 0);
    ~TKVQuantizer() override;

    // Always an index of the palette written: a colour outside an exact palette gets its nearest
    // entry.
    int32_t GetRGBIndex(const TRGB& color) const;

    enum TQuantizerMethod : int32_t
    {
        qmNeuQuant = 0,
        qmMedianCut = 1
    };
    // The way chosen: grey ramp, exact colours, or else Method().
    int32_t Method() const { return FMethod; }
    bool IsGrey() const { return FGrey; }
    bool HasExactMap() const { return FHasExactMap; }
    int32_t ExactCount() const { return static_cast<int32_t>(FExactMap.size()); }
    int32_t NCol() const { return FNCol; }

private:
    bool CollectExactColours(TKVBitmap& source);

    int32_t FMethod = qmNeuQuant;
    std::unique_ptr<Neurquant::TNeuQuantNet> FNetwork;
    std::unique_ptr<Stdquant::TMedianCutState> FMedianCut;
    bool FGrey = false;
    bool FHasExactMap = false;
    std::vector<TRGB> FExactMap;
    std::unordered_map<uint32_t, int32_t> FExactIndex; // 0xRRGGBB -> entry
    int32_t FNCol = 0;
};
