// The image view's geometry without a window: zoom ratios, where the zoomed image lies in the
// client area, which bitmap pixels are drawn where, and the lookup tables that give each bitmap
// pixel whole client pixels. Products that feed a Round or Trunc are evaluated in long double
// from double ratios, so that inexact ratios round as the view always has (3 x (100/300) < 1).
#pragma once

#include <cstdint>
#include <vector>

class TKVViewGeometry
{
public:
    // A zoom whose zoomed width or height would pass this is refused; the tables stay bounded.
    static constexpr int64_t kMaxZoomedExtent = int64_t(1) << 22;

    // ---- Inputs ----
    int32_t BitmapWidth = 0;
    int32_t BitmapHeight = 0;
    int32_t ClientWidth = 50;
    int32_t ClientHeight = 50;
    // The control's outer size (frame and scroll bars included).
    int32_t OuterWidth = 50;
    int32_t OuterHeight = 50;
    bool Center = true;
    int32_t ViewX = 0;
    int32_t ViewY = 0;

    // ---- Zoom ----
    double Zoom() const { return FZoom; }
    double ZoomD100() const { return FZoomD100; }
    double D100Zoom() const { return FD100Zoom; }
    // Stores the zoom and its two ratios (no check).
    void SetZoomRatios(double z);
    // Whether z is a zoom the view can show: finite, above 0, and the zoomed image not too big.
    bool AcceptsZoom(double z) const;

    // ---- Results of UpdateLimits and CalcPaintCoef ----
    int32_t ZoomedWidth = 0;
    int32_t ZoomedHeight = 0;
    int32_t OffsetX = 0;
    int32_t OffsetY = 0;
    int32_t VisibleWidth = 0;
    int32_t VisibleHeight = 0;
    int32_t FirstColumn = 0;
    int32_t FirstRow = 0;
    int32_t VisibleColumns = 0;
    int32_t VisibleRows = 0;
    int32_t DrawnWidth = 0;
    int32_t DrawnHeight = 0;

    // Zoomed size, image offsets and visible image size for the client (or, designing, outer) size.
    void UpdateLimits(bool designing = false);
    // Which part of the bitmap is drawn where; then the tables.
    void CalcPaintCoef();
    // The largest ViewX and ViewY.
    void GetMaxViewXY(int32_t& mx, int32_t& my);
    // ViewX and ViewY that keep the bitmap point under the client centre in place at zoom z,
    // clamped to the maxima at z.
    void ZoomKeepingCentre(double z, int32_t& newViewX, int32_t& newViewY);
    // The view origin snapped back to the first client pixel of the bitmap pixel it falls in.
    int32_t QuantizeViewX(int32_t v) const;
    int32_t QuantizeViewY(int32_t v) const;

    // ---- Conversions between client and bitmap pixels ----
    int32_t XScr2Bmp(int32_t x) const;
    int32_t YScr2Bmp(int32_t y) const;
    int32_t XBmp2Scr(int32_t x) const;
    int32_t YBmp2Scr(int32_t y) const;

    // ---- Tables (public for the painter, which hands the screen-to-bitmap runs to the renderer) ----
    struct TAxisTables
    {
        std::vector<int32_t> ScreenToBitmap;
        std::vector<int32_t> BitmapToScreen;
        int32_t ScreenCount = 0;
        int32_t BitmapCount = 0;
        // Index of the base entries (the bitmap-to-screen base may lie before the table).
        int64_t ScreenBase = 0;
        int64_t BitmapBase = 0;
        bool Present() const { return !ScreenToBitmap.empty(); }
    };
    const TAxisTables& TablesX() const { return FX; }
    const TAxisTables& TablesY() const { return FY; }
    // How many times the tables were built (a scroll must not rebuild them).
    int32_t TableBuilds() const { return FTableBuilds; }
    // Forgets the tables, so that the next CalcPaintCoef builds them again.
    void FreeTables();

private:
    // Tables built for another zoom or bitmap size are not read.
    bool TablesCurrent() const;
    void CreateCoordConvLUT();
    void BuildAxis(TAxisTables& t, int32_t drawn, int32_t zoomed, int32_t bitmapExtent);
    int32_t Quantize(const TAxisTables& t, int32_t zoomed, int32_t v) const;
    int32_t Scr2Bmp(const TAxisTables& t, int32_t offset, int32_t first, int32_t v) const;
    int32_t Bmp2Scr(const TAxisTables& t, int32_t offset, int32_t first, int32_t quantized, int32_t v) const;
    void SetBases(TAxisTables& t, int32_t q, int32_t first);

    double FZoom = 100.0;
    double FZoomD100 = 1.0;
    double FD100Zoom = 1.0;
    TAxisTables FX;
    TAxisTables FY;
    // What the tables were built for; -1: none yet.
    double FLutZoom = -1.0;
    int32_t FLutDrawnWidth = -1;
    int32_t FLutDrawnHeight = -1;
    int32_t FLutBitmapWidth = -1;
    int32_t FLutBitmapHeight = -1;
    int32_t FTableBuilds = 0;
};
