// The BMP codec: Windows and OS/2 device-independent bitmaps, uncompressed, RLE4, RLE8 or with
// bit-field masks, read into kv1g or kv24RGB and written in the version the parameters ask for.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <string>

class TStream;
class TKVBitmap;
class TIOParamsVals;

namespace Bmpfilt {

// DataLength <= 0 means unknown (the file size, or the rest of the stream, is used). Headerless
// reads a packed DIB that has no 14-byte file header.
void BMPReadStream(TStream& Stream, TKVBitmap& Bitmap, int64_t DataLength, TIOParamsVals& Params,
                   TProgressRec& Progress, bool ParamsOnly, bool Headerless);
void BMPWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Expand RLE data into a kv24RGB bitmap. StartRow is 0 for bottom-up data and height - 1 for
// top-down data. Palette must hold 256 entries (pad a shorter one with black).
void DecodeRLE4(TKVBitmap& Bitmap, const uint8_t* Data, int64_t DataLength, int32_t StartRow,
                TProgressRec& Progress, const TRGB* Palette);
void DecodeRLE8(TKVBitmap& Bitmap, const uint8_t* Data, int64_t DataLength, int32_t StartRow,
                TProgressRec& Progress, const TRGB* Palette);

// Encode one row of palette indexes (one per byte), closing it with the end-of-line escape.
// Output must hold 10 bytes per pixel; returns the bytes written.
int32_t EncodeRLE4(const uint8_t* Indexes, int32_t Count, uint8_t* Output);
int32_t EncodeRLE8(const uint8_t* Indexes, int32_t Count, uint8_t* Output);

// Netpbm images: P1 to P6 are read (kv1g for P1 and P4, kv24RGB for the others), P4, P5 and P6
// written by the parameters' BitsPerSample and SamplesPerPixel. Header comments travel in
// Params.InfoStrings. Samples of a maximum below or above 255 are scaled to 0..255 (two bytes a
// binary sample above 255). The stream is left after the image.
void PXMReadToken(TStream& Stream, std::string& Token);
bool TryPXM(TStream& Stream);
void PXMReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   bool ParamsOnly);
void PXMWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Wireless bitmaps of type 0, read into kv1g. The writer keeps at most 255 pixels a side (the
// top-left part of a larger picture).
void WBMPReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    bool ParamsOnly);
void WBMPWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

} // namespace Bmpfilt
