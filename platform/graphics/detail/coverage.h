// Coverage masks: which pixels of a device rectangle a shape or a text covers (0..255). Qt renders
// geometry and glyphs into them (qt_render.cpp, the only file of this layer that includes Qt);
// the canvas then applies colours, raster operations and clipping with its own loops.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"

class TFont;

namespace GraphicsDetail {

struct TCoverage
{
    TRect Bounds; // device pixels the mask covers
    int32_t Stride = 0;
    std::vector<uint8_t> Alpha;

    explicit TCoverage(const TRect& bounds);
    bool IsEmpty() const { return Bounds.IsEmpty(); }
    uint8_t* Row(int32_t y) { return Alpha.data() + int64_t(y - Bounds.Top) * Stride - Bounds.Left; }
    const uint8_t* Row(int32_t y) const
    {
        return Alpha.data() + int64_t(y - Bounds.Top) * Stride - Bounds.Left;
    }
    void Set(int32_t x, int32_t y)
    {
        if (Bounds.Contains({x, y})) {
            Row(y)[x] = 255;
        }
    }
};

// A shape in device pixels. Polygons and polylines take vertices on the pixel grid; boxes are
// given as (Left, Top)-(Right, Bottom), right and bottom exclusive, as the canvas calls take them.
struct TShape
{
    enum TKind
    {
        Polygon,
        Polyline,
        Ellipse,
        RoundRect,
        Arc,
        Pie,        // the arc closed through the centre
        Chord,      // the arc closed by the line between its ends
        PolyPolygon // several closed figures filled together
    } Kind = Polygon;
    std::vector<TPoint> Points;               // Polygon, Polyline
    std::vector<std::vector<TPoint>> Figures; // PolyPolygon
    TRect Box;                                // Ellipse, RoundRect, Arc, Pie, Chord
    int32_t CornerWidth = 0;                  // RoundRect: the corner ellipse's size
    int32_t CornerHeight = 0;
    TPoint ArcStart, ArcEnd; // Arc, Pie, Chord: points on the start and end rays
};

// The interior of a closed shape; winding or alternate rule for polygons.
void FillShape(TCoverage& coverage, const TShape& shape, bool winding);
// The outline of a shape drawn with a round-capped, round-joined pen of the given width.
void StrokeShape(TCoverage& coverage, const TShape& shape, int32_t width);
// The outline of a curved shape (ellipse, rounded rectangle, arc) as polylines of pixel
// positions, for the one-pixel pens that the canvas draws itself.
std::vector<std::vector<TPoint>> OutlineOf(const TShape& shape);

struct TTextMetrics
{
    int32_t Width = 0;
    int32_t Ascent = 0;
    int32_t Descent = 0;
    int32_t Height() const { return Ascent + Descent; }
};

TTextMetrics MeasureText(const TFont& font, const std::string& text);
// Renders the text with its cell's top-left corner at (x, y), turned by the font's orientation
// around that corner; aliased unless the font's quality asks for smoothing.
void RenderText(TCoverage& coverage, const TFont& font, int32_t x, int32_t y, const std::string& text);
// Whether RenderText produces partial coverage that should be blended.
bool IsSmoothed(const TFont& font);

} // namespace GraphicsDetail
