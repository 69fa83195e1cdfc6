// The one block-transfer loop behind BitBlt, StretchBlt, StretchDIBits, PatBlt and the canvas's
// Draw, StretchDraw and CopyRect, and the brush pattern that they and the fills share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/raster.h"

namespace GraphicsDetail {

// A brush as the raster functions see it: solid or hatched, with the background that shows
// between hatch lines when the background mode is opaque.
struct TPatternSpec
{
    bool Null = false; // a clear brush paints nothing
    COLORREF Color = 0;
    TBrushStyle Style = bsSolid;
    COLORREF BkColor = 0xFFFFFF;
    bool OpaqueBk = true;

    // Whether the 8 x 8 hatch sets the pixel at device position (x, y).
    bool HatchAt(int32_t x, int32_t y) const;
};

TPatternSpec PatternOf(TCanvas& canvas);

struct TBlitSource
{
    TRasterView View;
    COLORREF BkColor = 0xFFFFFF; // pixels of this colour become 1 on a 1-bit destination
};

struct TBlitRequest
{
    int32_t X = 0, Y = 0, Width = 0, Height = 0;    // destination; negative extents mirror
    int32_t XSrc = 0, YSrc = 0, WSrc = 0, HSrc = 0; // source, in top-down rows
    uint32_t Rop = SRCCOPY;
    int32_t StretchMode = COLORONCOLOR;
};

// Runs the transfer into dest's raster (clipped by its raster and clip region). source may be
// nullptr when the operation does not read it. False when a needed source is missing or empty.
bool Blit(TCanvas& dest, const TBlitSource* source, const TBlitRequest& request);

// Whether a device x lies in the region's row y (the region's spans for y are searched).
bool RegionContains(const TRegionObject& region, int32_t x, int32_t y);

// The destination spans of the clip region in one row, or the whole row without a region.
struct TRowClip
{
    const TRegionObject* Region;
    std::vector<TRegionObject::TSpan>::const_iterator First, Last;

    bool Empty() const { return Region && First == Last; }
    bool Contains(int32_t x) const
    {
        if (!Region) {
            return true;
        }
        for (auto it = First; it != Last; ++it) {
            if (x >= it->X0 && x < it->X1) {
                return true;
            }
        }
        return false;
    }
};

inline TRowClip ClipOfRow(const TRegionObject* region, int32_t y)
{
    TRowClip clip{region, {}, {}};
    if (region) {
        auto range = std::equal_range(
            region->Spans.begin(), region->Spans.end(), TRegionObject::TSpan{y, 0, 0},
            [](const TRegionObject::TSpan& a, const TRegionObject::TSpan& b) { return a.Y < b.Y; });
        clip.First = range.first;
        clip.Last = range.second;
    }
    return clip;
}

} // namespace GraphicsDetail
