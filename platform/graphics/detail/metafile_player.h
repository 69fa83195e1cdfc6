// The metafile player: the state of the device context that WMF and EMF records change (mapping,
// objects, paths, clipping) and the drawing they ask for, carried out on a canvas aliased. The
// record readers of metafile_emf.cpp and metafile_wmf.cpp drive it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/palette.h"

namespace GraphicsDetail {

struct TPointD
{
    double X = 0;
    double Y = 0;
};

// x' = M11 x + M21 y + Dx, y' = M12 x + M22 y + Dy, as GDI's XFORM.
struct TXformD
{
    double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;

    TPointD Apply(double x, double y) const { return {M11 * x + M21 * y + Dx, M12 * x + M22 * y + Dy}; }
    // this after first: first is applied to a point before this.
    TXformD After(const TXformD& first) const;
    bool AxisAligned() const;
    bool Invertible() const;
    // The lengths that one unit along x and along y become.
    double ScaleX() const;
    double ScaleY() const;
};

struct TPenSpec
{
    uint32_t Style = 0; // PS_ style, with the PS_GEOMETRIC bit for wide pens
    double Width = 0;   // logical units; 0 draws one pixel
    uint32_t Color = 0; // COLORREF
};

struct TBrushSpec
{
    uint32_t Style = 0; // BS_SOLID, BS_NULL, BS_HATCHED (pattern brushes are taken as solid)
    uint32_t Color = 0xFFFFFF;
    uint32_t Hatch = 0;
};

struct TFontSpec
{
    int32_t Height = 0; // logical units; negative: character height
    int32_t Escapement = 0;
    int32_t Weight = 400;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    std::string FaceName; // UTF-8
};

// One graphics object of a metafile's object table.
struct TMetaObject
{
    enum TKind
    {
        None,
        Pen,
        Brush,
        Font,
        Palette,
        Region
    } Kind = None;
    TPenSpec PenValue;
    TBrushSpec BrushValue;
    TFontSpec FontValue;
    std::shared_ptr<TPaletteObject> PaletteValue;
    std::shared_ptr<TRegionObject> RegionValue; // device pixels
};

// Mapping modes of GDI, as metafiles store them.
enum : int32_t
{
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8
};

// Pen and brush styles and the arc direction.
constexpr uint32_t PS_STYLE_MASK = 0x0F;
constexpr uint32_t PS_NULL = 5;
constexpr uint32_t PS_GEOMETRIC = 0x00010000;
constexpr uint32_t BS_SOLID = 0;
constexpr uint32_t BS_NULL = 1;
constexpr uint32_t BS_HATCHED = 2;
constexpr int32_t AD_CLOCKWISE = 2;

// A device coordinate kept well inside the canvas's integer range (NaN becomes 0).
double ClampedCoordinate(double v);

// Region arithmetic on span regions.
enum TRegionMode
{
    rmAnd = 1,
    rmOr = 2,
    rmXor = 3,
    rmDiff = 4,
    rmCopy = 5
};
struct TRectD
{
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};
// The union of the rectangles (corners in any order), cut to within.
std::shared_ptr<TRegionObject> RegionOfRects(const std::vector<TRectD>& rects, const TRect& within);
// The pixels whose centres the figures (closed, together) hold by the fill rule, cut to within.
std::shared_ptr<TRegionObject> RegionOfPolygons(const std::vector<std::vector<TPointD>>& figures,
                                                bool winding, const TRect& within);
// nullptr stands for "no clipping" (everything); the result likewise.
std::shared_ptr<TRegionObject> CombineRegions(const TRegionObject* a, const TRegionObject* b,
                                              TRegionMode mode);
std::shared_ptr<TRegionObject> OffsetRegion(const TRegionObject& region, int32_t dx, int32_t dy);

class TMetafilePlayer
{
public:
    // Pixels at the reference device that page coordinates map to (EMF), or none (WMF, whose
    // window is mapped onto the destination directly). placement maps reference device pixels
    // (EMF) or nothing (WMF) onto the canvas.
    TMetafilePlayer(TCanvas& canvas, bool enhanced, const TXformD& placement, const TRect& destination);
    ~TMetafilePlayer();
    TMetafilePlayer(const TMetafilePlayer&) = delete;
    TMetafilePlayer& operator=(const TMetafilePlayer&) = delete;

    // ---- Device context state ----
    void SetMapMode(int32_t mode);
    void SetWindowOrg(double x, double y);
    void SetWindowExt(double x, double y);
    void SetViewportOrg(double x, double y);
    void SetViewportExt(double x, double y);
    void OffsetWindowOrg(double dx, double dy);
    void OffsetViewportOrg(double dx, double dy);
    void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    // EMF only: the reference device's pixels per millimetre, for the metric mapping modes.
    void SetReferenceResolution(double pixelsPerMmX, double pixelsPerMmY);
    // The window a WMF maps onto the destination before it sets one.
    void SetDefaultWindow(double left, double top, double width, double height);
    void SetWorldTransform(const TXformD& xform);
    // MWT_IDENTITY 1, MWT_LEFTMULTIPLY 2, MWT_RIGHTMULTIPLY 3, MWT_SET 4.
    void ModifyWorldTransform(const TXformD& xform, uint32_t mode);
    void SaveDC();
    // Relative (negative) or absolute (positive) level.
    void RestoreDC(int32_t level);
    void SetBkColor(uint32_t color);
    void SetBkMode(int32_t mode);
    void SetTextColor(uint32_t color);
    void SetTextAlign(uint32_t align);
    void SetROP2(int32_t rop2);
    void SetPolyFillMode(int32_t mode);
    void SetStretchBltMode(int32_t mode);
    void SetArcDirection(int32_t direction);
    void MoveTo(double x, double y);

    // ---- Objects ----
    // The slot of an object table; out-of-range slots are ignored by every call.
    void SetObject(uint32_t slot, TMetaObject object);
    // The lowest free slot (WMF numbering), growing the table when needed; -1 past the limit.
    int32_t FreeSlot();
    void DeleteObject(uint32_t slot);
    void SelectObject(uint32_t slot);
    // EMF stock objects (the index without its high bit).
    void SelectStockObject(uint32_t index);
    void SelectPalette(uint32_t slot);
    void SelectStockPalette();
    TMetaObject* ObjectAt(uint32_t slot);

    // ---- Clipping ----
    void IntersectClipRect(double left, double top, double right, double bottom);
    void ExcludeClipRect(double left, double top, double right, double bottom);
    // A region in reference device pixels (EMF) or a region object (WMF) combined into the clip.
    void SelectClipRegion(const TRegionObject* deviceRegion, TRegionMode mode);
    void SelectClipRegionObject(uint32_t slot);
    void OffsetClipRegion(double dx, double dy);
    // The region of reference-device rectangles (EMF region data) on the canvas.
    std::shared_ptr<TRegionObject> DeviceRegion(const std::vector<TRect>& rects) const;
    // The region of logical rectangles (WMF region objects) on the canvas.
    std::shared_ptr<TRegionObject> LogicalRegion(const std::vector<TRect>& rects) const;

    // ---- Drawing (logical coordinates) ----
    void LineTo(double x, double y);
    void Polyline(const std::vector<TPointD>& points);
    void PolylineTo(const std::vector<TPointD>& points);
    void Polygon(const std::vector<TPointD>& points);
    void PolyPolygon(const std::vector<std::vector<TPointD>>& polygons);
    void PolyPolyline(const std::vector<std::vector<TPointD>>& polylines);
    // Cubic Bézier segments: start, then three points for each segment.
    void PolyBezier(const std::vector<TPointD>& points);
    void PolyBezierTo(const std::vector<TPointD>& points);
    void Rectangle(double left, double top, double right, double bottom);
    void RoundRect(double left, double top, double right, double bottom, double cornerWidth,
                   double cornerHeight);
    void Ellipse(double left, double top, double right, double bottom);
    enum TArcKind
    {
        akArc,
        akArcTo,
        akPie,
        akChord
    };
    void ArcShape(TArcKind kind, double left, double top, double right, double bottom, TPointD start,
                  TPointD end);
    void AngleArc(double cx, double cy, double radius, double startDegrees, double sweepDegrees);
    void SetPixel(double x, double y, uint32_t color);
    // text is UTF-8; advances (logical units, one a character) may be empty. rect is logical.
    void TextOut(double x, double y, const std::u32string& text, const std::vector<double>& advances,
                 uint32_t options, const std::optional<std::array<double, 4>>& rect);
    // A DIB (its header, colour table and rows as one packed block) drawn into a logical
    // rectangle from the source rectangle, as StretchDIBits takes them.
    void StretchDIB(double x, double y, double width, double height, int32_t xSrc, int32_t ySrc, int32_t wSrc,
                    int32_t hSrc, const uint8_t* dib, size_t dibSize, uint32_t usage, uint32_t rop,
                    bool sourceFromTop);
    void PatBlt(double x, double y, double width, double height, uint32_t rop);
    void FillRegion(const TRegionObject* region, const TBrushSpec* brush);

    // ---- Paths (EMF) ----
    void BeginPath();
    void EndPath();
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();
    void SelectClipPath(TRegionMode mode);

    // Ends playback: the canvas gets its own pen, brush, font, modes and clipping back.
    void Finish();

private:
    struct TState
    {
        int32_t MapMode = MM_TEXT;
        double WinOrgX = 0, WinOrgY = 0, WinExtX = 1, WinExtY = 1;
        double VpOrgX = 0, VpOrgY = 0, VpExtX = 1, VpExtY = 1;
        bool WindowSet = false;
        double PixelsPerMmX = 96.0 / 25.4, PixelsPerMmY = 96.0 / 25.4;
        TXformD World;
        TPenSpec Pen;
        TBrushSpec Brush;
        TFontSpec Font;
        std::shared_ptr<TPaletteObject> Palette;
        uint32_t TextAlign = 0;
        uint32_t TextColor = 0;
        uint32_t BkColor = 0xFFFFFF;
        int32_t BkMode = OPAQUE;
        int32_t Rop2 = R2_COPYPEN;
        int32_t FillMode = ALTERNATE;
        int32_t StretchMode = BLACKONWHITE;
        int32_t ArcDirection = 1;
        TPointD Position;
        // The metafile's clip region on the canvas; nullptr: none.
        std::shared_ptr<TRegionObject> Clip;
    };

    TXformD Total() const;
    TPointD Device(double x, double y) const;
    TPoint Pixel(TPointD device) const;
    void ApplyPen();
    void ApplyBrush(bool fill);
    void ApplyClip();
    int32_t PenPixels() const;
    // Figures in device coordinates: into the path when one is open, else drawn.
    void Emit(const std::vector<std::vector<TPointD>>& figures, bool closed, bool fill);
    void DrawFigures(const std::vector<std::vector<TPointD>>& figures, bool closed, bool fill, bool stroke);
    std::vector<TPointD> EllipsePoints(double left, double top, double right, double bottom) const;
    std::vector<TPointD> ArcPoints(double left, double top, double right, double bottom, TPointD start,
                                   TPointD end, bool clockwise) const;

    // What regions are cut to: the canvas's raster.
    std::shared_ptr<TRegionObject> Everything() const;
    std::shared_ptr<TRegionObject> RegionOf(const std::vector<TRectD>& deviceRects) const;

    TCanvas& FCanvas;
    TRect FBounds;
    bool FEnhanced;
    TXformD FPlacement;
    TRect FDestination;
    std::unique_ptr<TState> FState;
    std::vector<TState> FSaved;
    std::vector<TMetaObject> FObjects;
    // The open path and the one ended, in device coordinates.
    bool FInPath = false;
    std::vector<std::vector<TPointD>> FPath;
    std::vector<bool> FPathClosed;
    // What the canvas had before playback.
    std::unique_ptr<TRegionObject> FCanvasClip;
    std::unique_ptr<TPen> FCanvasPen;
    std::unique_ptr<TBrush> FCanvasBrush;
    std::unique_ptr<TFont> FCanvasFont;
    COLORREF FCanvasBkColor;
    COLORREF FCanvasTextColor;
    int32_t FCanvasBkMode;
    int32_t FCanvasRop2;
    int32_t FCanvasFillMode;
    int32_t FCanvasStretchMode;
    TPaletteObject* FCanvasPalette;
};

} // namespace GraphicsDetail
