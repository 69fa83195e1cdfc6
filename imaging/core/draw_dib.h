// Drawing of packed DIB rows onto canvases, as video frames and the views draw them: the DrawDib
// services behind a handle and the stretch helpers that fall back on StretchDIBits.
#pragma once

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi_records.h"

#include <cstdint>

// A drawing session; 0 is none. Here it carries no state: every draw is a StretchDIBits.
using HDRAWDIB = uintptr_t;

namespace Daduvudez {

HDRAWDIB KVDrawDibOpen();
bool KVDrawDibClose(HDRAWDIB handle);
// Draws the source rectangle of the DIB (header, colour table and rows at bits) scaled into the
// destination rectangle. A destination extent of -1 takes the source's, a source extent of -1 the
// DIB's. False for no handle, no canvas or a DIB that cannot be drawn.
bool KVDrawDibDraw(HDRAWDIB handle, HDC dc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                   const BITMAPINFOHEADER* header, const void* bits, int32_t xSrc, int32_t ySrc,
                   int32_t dxSrc, int32_t dySrc, uint32_t flags);
// The number of palette entries that changed: always 0, canvases being true colour.
uint32_t KVDrawDibRealize(HDRAWDIB handle, HDC dc, bool background);

// With a handle, KVDrawDibDraw; without one, a 24-bit DIB through a session opened for the call,
// any other through StretchDIBits.
void DrawDibDrawEmu(HDRAWDIB handle, HDC dc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                    const BITMAPINFOHEADER* header, const void* bits, int32_t xSrc, int32_t ySrc,
                    int32_t dxSrc, int32_t dySrc, uint32_t flags);
// StretchDIBits in HALFTONE mode, so that a reduced picture averages its pixels.
void DrawDib(HDC dc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, const BITMAPINFOHEADER* header,
             const void* bits, int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc);

} // namespace Daduvudez
