// Turns a bitmap into the palette and index bytes of one GIF frame, and writes a frame's blocks;
// shared by the writer and frame insertion.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <vector>

class TStream;
class TKVBitmap;
class TIOParamsVals;

namespace Giffilter::detail {

struct GifFrame
{
    int32_t Bits = 8;
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<TRGB> Palette;    // 1 << Bits entries
    std::vector<uint8_t> Indexes; // Width x Height in display order
    uint8_t TransparentIndex = 0;
    uint8_t BackgroundIndex = 0;
};

// False when the image cannot be a GIF frame (empty, or a side or position outside 0..65535). Sets
// GIF_FlagTranspColor when the bitmap has an alpha channel. With eightBitFallback a 1-bit
// request whose conversion to two colours fails is written with 8 bits instead.
bool BuildFrame(TKVBitmap& bitmap, TIOParamsVals& params, bool eightBitFallback, GifFrame& frame);
void WriteColourTable(TStream& stream, bool& aborting, const std::vector<TRGB>& palette);
// With the record's disposal when it came from a file (GIF_Action 1 to 3, or none given as
// GIF_ActionUnspecified tells), else disposal 2.
void WriteGraphicControl(TStream& stream, bool& aborting, const TIOParamsVals& params, const GifFrame& frame);
// The image descriptor, an optional local table and the LZW data; false (abort flag set) when no
// encoder is plugged in.
bool WriteImage(TStream& stream, bool& aborting, const TIOParamsVals& params, const GifFrame& frame,
                bool localTable, TProgressRec& progress);

} // namespace Giffilter::detail
