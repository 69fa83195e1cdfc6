// GDI-style raster functions over device contexts (canvases): block transfers with raster
// operations, stretching, DIB drawing, pattern fills, pixels, clipping regions and device
// capabilities. Every pixel they write comes from exact integer loops, so results are the same
// on every machine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi_records.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/palette.h"

// A clipping region: for every row it covers, sorted, disjoint runs of columns [x0, x1).
struct TRegionObject
{
    struct TSpan
    {
        int32_t Y;
        int32_t X0;
        int32_t X1;
    };
    std::vector<TSpan> Spans; // sorted by Y, then X0
    TRect Bounds;             // the smallest rectangle holding every span
};
using HRGN = TRegionObject*;

// Copies the rectangle of width x height pixels at (xSrc, ySrc) of source to (x, y) of dest,
// combining source, destination and the dest's brush by the raster operation. The source pixels
// are converted to the destination's format on the way: palette colours are looked up, colours
// written to a palette raster take the nearest entry, a 1-bit source gives its two palette
// colours, and a colour source written to a 1-bit raster gives 1 where the pixel equals the
// source's background colour and 0 elsewhere. Destination pixels whose source pixel lies outside
// the source raster are left alone. source may be nullptr when the operation does not read it.
bool BitBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t xSrc,
            int32_t ySrc, uint32_t rop);

// As BitBlt, scaling the source rectangle to the destination rectangle. Nearest sampling:
// destination column i takes source column floor(i * |wSrc| / |width|), and likewise for rows.
// A negative extent runs from its origin toward lower coordinates, so opposite signs mirror. In
// HALFTONE mode a reduced colour destination takes the mean of the source pixels each
// destination pixel covers.
bool StretchBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t xSrc,
                int32_t ySrc, int32_t wSrc, int32_t hSrc, uint32_t rop);

// Draws a DIB (header, colour table or masks in info; rows in bits) as StretchBlt does. The
// source y counts from the DIB's bottom row for a bottom-up DIB (positive height) and from its
// top row for a top-down one. Takes 1, 4, 8, 16, 24 and 32 bits with BI_RGB, and 16 and 32 bits
// with BI_BITFIELDS; returns the number of source rows drawn, 0 on a DIB it cannot read. With
// DIB_RGB_COLORS the colour table holds colours; with DIB_PAL_COLORS it holds 16-bit indexes
// into the palette selected into dest (an index past its end gives entry 0).
int32_t StretchDIBits(HDC dest, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits,
                      const BITMAPINFO* info, uint32_t usage, uint32_t rop);

// Fills the rectangle with the dest's brush combined with the destination by the raster
// operation (PATCOPY, PATINVERT, DSTINVERT, BLACKNESS, WHITENESS...).
bool PatBlt(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rop);

// Selects a logical palette (not owned; nullptr for the default palette) into the canvas, for
// DIB_PAL_COLORS; returns the one selected before. forceBackground has no effect here.
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
// Nothing is mapped into a system palette here; returns the entries of the selected palette.
uint32_t RealizePalette(HDC dc);
// The 20 colours of the default palette (the static colours of a palette display).
const std::vector<PALETTEENTRY>& DefaultPaletteEntries();

int32_t SetStretchBltMode(HDC dc, int32_t mode);
int32_t GetStretchBltMode(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int32_t SetBkMode(HDC dc, int32_t mode);
int32_t GetBkMode(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
// The pen's mix mode as an R2_ code.
int32_t SetROP2(HDC dc, int32_t rop2);
int32_t GetROP2(HDC dc);
int32_t SetPolyFillMode(HDC dc, int32_t mode);
int32_t GetPolyFillMode(HDC dc);
// TA_ flags for TextOut and TextRect; the text turns with the font around the point they name.
// Returns the previous flags.
uint32_t SetTextAlign(HDC dc, uint32_t align);
uint32_t GetTextAlign(HDC dc);
// The measures of the canvas's font; false without a canvas.
bool GetTextMetrics(HDC dc, TEXTMETRIC& metrics);

// The colour written (the nearest the raster holds), or CLR_INVALID outside the raster or clip.
COLORREF SetPixel(HDC dc, int32_t x, int32_t y, COLORREF color);
COLORREF GetPixel(HDC dc, int32_t x, int32_t y);

// Calls proc for every point of the line from (x1, y1) to (x2, y2), the end point excluded, in
// the order a one-pixel pen draws them.
void LineDDA(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
             const std::function<void(int32_t, int32_t)>& proc);

// Regions, freed with DeleteObject.
HRGN CreateRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom);
// The pixels whose centres lie inside the polygon by the fill mode (ALTERNATE or WINDING).
HRGN CreatePolygonRgn(const TPoint* points, int32_t count, int32_t fillMode);
bool PtInRegion(HRGN region, int32_t x, int32_t y);
bool DeleteObject(HRGN region);
// Makes a copy of the region the clip region of the canvas (nullptr removes clipping); returns
// the kind of the new clip region.
int32_t SelectClipRgn(HDC dc, const TRegionObject* region);
// Narrows the clip region to the rectangle.
int32_t IntersectClipRect(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
// The bounds of what drawing may change; the region kind.
int32_t GetClipBox(HDC dc, TRect* rect);

// Capabilities of the canvas's device: resolution, size and depth of its raster. A nullptr dc
// stands for the screen (96 pixels per inch, 32 bits per pixel).
int32_t GetDeviceCaps(HDC dc, int32_t index);

// A 3D edge around the rectangle in the button colours; BF_ADJUST shrinks rect by the edge.
bool DrawEdge(HDC dc, TRect* rect, uint32_t edge, uint32_t flags);
