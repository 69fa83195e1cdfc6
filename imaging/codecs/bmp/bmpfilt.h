// The BMP codec: Windows and OS/2 device-independent bitmaps, uncompressed, RLE4, RLE8 or with
// bit-field masks, read into kv1g or kv24RGB and written in the version the parameters ask for.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

class TStream;
class TKVBitmap;
class TIOParamsVals;
class TKVMask;

namespace Bmpfilt {

// DataLength <= 0 means unknown: the rest of the stream, whatever the file header's size field
// says. Headerless reads a packed DIB that has no 14-byte file header. Bit fields with an alpha
// mask give the bitmap its alpha channel, unless every pixel decoded is opaque; rows the data does
// not reach are then transparent. The writer stores a picture with transparency as 32-bit bit
// fields with an alpha mask, unless an OS/2 header is asked for.
void BMPReadStream(TStream& Stream, TKVBitmap& Bitmap, int64_t DataLength, TIOParamsVals& Params,
                   TProgressRec& Progress, bool ParamsOnly, bool Headerless);
void BMPWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Expand RLE data into a kv24RGB bitmap. StartRow is 0 for bottom-up data and height - 1 for
// top-down data. Palette must hold 256 entries (pad a shorter one with black). Data that runs
// past the picture, or ends before its last row, sets the abort flag with the rows decoded kept.
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

// Wireless bitmaps of type 0, read into kv1g. Sizes are multi-byte integers, so the writer keeps
// the whole picture at any size; files whose sizes were written as single bytes are read too.
void WBMPReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    bool ParamsOnly);
void WBMPWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Icons and cursors. The probes want a directory whose entries point past themselves at some
// data; the position is kept. _EnumICOImStream gives the directory's image count.
bool ICOTryStream(TStream& Stream);
bool CURTryStream(TStream& Stream);
int32_t _EnumICOImStream(TStream& Stream);

// Decodes the image that ICO_ImageIndex (CUR_ImageIndex) names: a bitmap with its AND mask, or
// a PNG. Unless NoMask, AlphaMask (created when empty) gets the transparency: the alpha bytes of
// a 32-bit image, else the AND mask, whose pixels take ICO_Background (CUR_Background). An
// index outside the directory reads nothing and is no failure here: the caller compares it with
// the count.
// The icon reader decodes a stream that starts with "BM" as a BMP file.
void ICOReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TProgressRec& Progress, std::unique_ptr<TKVMask>& AlphaMask, bool NoMask);
void CURReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TProgressRec& Progress, std::unique_ptr<TKVMask>& AlphaMask, bool NoMask);

// Writes one icon image per size (width, height: 1 to 256), made from Bitmap by resampling, at
// bit count i (1, 4, 8, 24 or 32; 0 takes Params' depth). Pixels of the alpha channel below 255
// are set in the AND mask at every depth; below 32 bits they are black in the image, a black
// palette entry being made for them where the picture's colours leave none. A failed write
// leaves the stream as it was before the call.
void ICOWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    std::span<const int32_t[2]> Sizes, std::span<const int32_t> BitCounts);

// A ready picture for an icon file, at the depth its parameters give.
struct TKVIconImage
{
    TKVBitmap* Bitmap = nullptr;
    TIOParamsVals* Params = nullptr;
};
// Writes each picture as it is, one icon image each; palette forms leave their palette in the
// picture's parameters.
void ICOWriteStream2(TStream& Stream, std::span<const TKVIconImage> Images, TProgressRec& Progress);

} // namespace Bmpfilt
