// The picture that a writer stores for a one-bit request: kv1g rows and the two colours that
// their bits stand for, so that a picture of two colours keeps its own.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <memory>

class TKVBitmap;

struct TOneBitSource
{
    TKVBitmap* Bitmap = nullptr; // the picture itself when it is kv1g, else Owned; nil: none made
    std::unique_ptr<TKVBitmap> Owned;
    TRGB Dark{0, 0, 0};        // the colour of a clear bit
    TRGB Light{255, 255, 255}; // the colour of a set bit

    bool BlackAndWhite() const { return Dark == TRGB{0, 0, 0} && Light == TRGB{255, 255, 255}; }
};

// A kv1g picture is taken as it is, black and white. A picture of two colours gives them, the
// darker as the clear bit; one of a single colour other than black or white gives clear bits of
// that colour. Any other picture (black or white alone, three colours and more) is made kv1g by
// the bitmap's own conversion, black and white, unless thresholdOthers is false: then no bitmap
// is made.
TOneBitSource MakeOneBitSource(TKVBitmap& bitmap, bool thresholdOthers = true);

// Clears the bits past the width in the last byte of a packed one-bit row: kv1g rows may carry
// set ones (a reader that inverts whole bytes leaves them so), and files store them as zero.
void ClearPadBits(uint8_t* row, int32_t width);
