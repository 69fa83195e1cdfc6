// The two metafile formats as the metafile class sees them: the size a file says it has, and its
// records played onto a canvas. Every record is checked (libuemf and our own bounds) before use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graphics/canvas.h"

namespace GraphicsDetail {

struct TMetafileSize
{
    // The picture's frame in hundredths of a millimetre.
    double MMWidth = 0;
    double MMHeight = 0;
};

// Whether the bytes start with an enhanced metafile's header that can be read; its size.
bool ReadEmfHeader(const uint8_t* data, size_t size, TMetafileSize& frame);
// Whether the bytes hold a Windows metafile (with or without the placeable header) whose size can
// be told; its size (from the placeable header, else from the window it sets, taken at 96 pixels
// per inch).
bool ReadWmfHeader(const uint8_t* data, size_t size, TMetafileSize& frame);

// Plays the records with the picture's frame filling dest.
void PlayEmf(TCanvas& canvas, const uint8_t* data, size_t size, const TRect& dest);
void PlayWmf(TCanvas& canvas, const uint8_t* data, size_t size, const TRect& dest);

// Windows-1252 bytes (the ANSI code page of text in metafiles) as a code point.
char32_t CodePointOfAnsi(uint8_t c);

} // namespace GraphicsDetail
