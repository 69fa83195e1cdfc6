// Pens, brushes, fonts and the canvas's drawing operations. Shapes and text come from coverage
// masks (qt_render.cpp); one-pixel lines, rectangles and every colour, raster operation and clip
// are applied here with exact loops.
#include "platform/graphics/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/exceptions.h"
#include "platform/core/rounding.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/detail/blit.h"
#include "platform/graphics/detail/coverage.h"
#include "platform/graphics/detail/pixels.h"
#include "platform/graphics/detail/row_ops.h"
#include "platform/graphics/gdi.h"

using namespace GraphicsDetail;

namespace GraphicsDetail {

TCoverage::TCoverage(const TRect& bounds) : Bounds(bounds)
{
    if (Bounds.IsEmpty()) {
        Bounds = {};
        return;
    }
    Stride = (Bounds.Width() + 3) & ~3;
    Alpha.assign(size_t(Stride) * size_t(Bounds.Height()), 0);
}

} // namespace GraphicsDetail

namespace {

// a * b / c rounded half away from zero; -1 when c is 0.
int32_t MulDiv(int32_t a, int32_t b, int32_t c)
{
    if (c == 0) {
        return -1;
    }
    const int64_t product = int64_t(a) * b;
    const int64_t half = std::abs(int64_t(c)) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (std::abs(product) + half) / std::abs(int64_t(c));
    return int32_t(negative ? -magnitude : magnitude);
}

} // namespace

// ---- pens, brushes, fonts ----

void TGraphicsObject::Changed()
{
    if (OnChange) {
        OnChange(this);
    }
}

void TPen::Assign(TPersistent* Source)
{
    if (auto* pen = dynamic_cast<TPen*>(Source)) {
        FColor = pen->FColor;
        FWidth = pen->FWidth;
        FStyle = pen->FStyle;
        FMode = pen->FMode;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

void TPen::SetColor(TColor Value)
{
    Store(FColor, Value);
}

void TPen::SetWidth(int32_t Value)
{
    if (Value >= 0) {
        Store(FWidth, Value);
    }
}

void TPen::SetStyle(TPenStyle Value)
{
    Store(FStyle, Value);
}

void TPen::SetMode(TPenMode Value)
{
    Store(FMode, Value);
}

void TBrush::Assign(TPersistent* Source)
{
    if (auto* brush = dynamic_cast<TBrush*>(Source)) {
        FColor = brush->FColor;
        FStyle = brush->FStyle;
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

void TBrush::SetColor(TColor Value)
{
    if (Value != FColor || FStyle == bsClear) {
        FColor = Value;
        if (FStyle == bsClear) {
            FStyle = bsSolid;
        }
        Changed();
    }
}

void TBrush::SetStyle(TBrushStyle Value)
{
    Store(FStyle, Value);
}

void TFont::Assign(TPersistent* Source)
{
    if (auto* font = dynamic_cast<TFont*>(Source)) {
        FName = font->FName;
        FHeight = font->FHeight;
        FColor = font->FColor;
        FStyle = font->FStyle;
        FCharset = font->FCharset;
        FPitch = font->FPitch;
        FOrientation = font->FOrientation;
        FQuality = font->FQuality;
        // The height is kept in pixels; a font moved to another resolution keeps its pixel size.
        Changed();
        return;
    }
    TPersistent::Assign(Source);
}

void TFont::SetName(const TFontName& Value)
{
    if (!Value.empty()) {
        Store(FName, Value);
    }
}

int32_t TFont::Size() const
{
    return -MulDiv(FHeight, 72, FPixelsPerInch);
}

void TFont::SetSize(int32_t Value)
{
    SetHeight(-MulDiv(Value, FPixelsPerInch, 72));
}

void TFont::SetHeight(int32_t Value)
{
    Store(FHeight, Value);
}

void TFont::SetColor(TColor Value)
{
    Store(FColor, Value);
}

void TFont::SetStyle(TFontStyles Value)
{
    Store(FStyle, Value);
}

void TFont::SetCharset(TFontCharset Value)
{
    Store(FCharset, Value);
}

void TFont::SetPitch(TFontPitch Value)
{
    Store(FPitch, Value);
}

void TFont::SetOrientation(int32_t Value)
{
    Store(FOrientation, Value);
}

void TFont::SetQuality(TFontQuality Value)
{
    Store(FQuality, Value);
}

void TFont::SetPixelsPerInch(int32_t Value)
{
    if (Value > 0) {
        Store(FPixelsPerInch, Value);
    }
}

LOGFONT TFont::LogFont() const
{
    LOGFONT lf;
    lf.lfHeight = FHeight;
    lf.lfEscapement = FOrientation;
    lf.lfOrientation = FOrientation;
    lf.lfWeight = FStyle.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = FStyle.Contains(fsItalic) ? 1 : 0;
    lf.lfUnderline = FStyle.Contains(fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = FStyle.Contains(fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = FCharset;
    lf.lfQuality = uint8_t(FQuality);
    lf.lfPitchAndFamily = FPitch == fpFixed ? 1 : (FPitch == fpVariable ? 2 : 0);
    const size_t n = std::min(FName.size(), size_t(LF_FACESIZE - 1));
    std::memcpy(lf.lfFaceName, FName.data(), n);
    lf.lfFaceName[n] = '\0';
    return lf;
}

void TFont::SetLogFont(const LOGFONT& Value)
{
    // The face name need not be terminated inside its 32 bytes.
    const size_t n = strnlen(Value.lfFaceName, LF_FACESIZE);
    if (n > 0) {
        FName.assign(Value.lfFaceName, n);
    }
    FHeight = Value.lfHeight;
    FOrientation = Value.lfEscapement;
    FStyle = {};
    if (Value.lfWeight >= FW_BOLD) {
        FStyle.Include(fsBold);
    }
    if (Value.lfItalic) {
        FStyle.Include(fsItalic);
    }
    if (Value.lfUnderline) {
        FStyle.Include(fsUnderline);
    }
    if (Value.lfStrikeOut) {
        FStyle.Include(fsStrikeOut);
    }
    FCharset = Value.lfCharSet;
    FQuality = Value.lfQuality <= fqClearTypeNatural ? TFontQuality(Value.lfQuality) : fqDefault;
    const uint8_t pitch = Value.lfPitchAndFamily & 3;
    FPitch = pitch == 1 ? fpFixed : (pitch == 2 ? fpVariable : fpDefault);
    Changed();
}

std::string TFont::ResolvedFamily(const std::string& faceName)
{
    std::string key;
    for (char c : faceName) {
        key += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    static const char* const kSans[] = {
        "",        "arial",      "arial narrow",   "helvetica", "ms sans serif", "microsoft sans serif",
        "tahoma",  "verdana",    "segoe ui",       "system",    "ms shell dlg",  "ms shell dlg 2",
        "default", "sans-serif", "liberation sans"};
    static const char* const kSerif[] = {"times new roman", "times", "ms serif",
                                         "georgia",         "serif", "liberation serif"};
    static const char* const kMono[] = {"courier new",    "courier",  "fixedsys",  "terminal",
                                        "lucida console", "consolas", "monospace", "liberation mono"};
    for (const char* name : kSans) {
        if (key == name) {
            return "Liberation Sans";
        }
    }
    for (const char* name : kSerif) {
        if (key == name) {
            return "Liberation Serif";
        }
    }
    for (const char* name : kMono) {
        if (key == name) {
            return "Liberation Mono";
        }
    }
    return faceName;
}

// ---- painting coverage masks ----

namespace {

struct TPaintSpec
{
    COLORREF Color = 0;
    int32_t Rop2 = R2_COPYPEN;
    const TPatternSpec* Pattern = nullptr; // a hatched brush; nullptr paints Color everywhere
    bool Blend = false;                    // partial coverage mixes the colour in
    const TCoverage* Exclude[2] = {};      // pixels that a later layer of the figure paints
};

COLORREF Mix(COLORREF under, COLORREF over, uint32_t alpha)
{
    auto channel = [alpha](uint32_t d, uint32_t s) {
        return uint8_t((s * alpha + d * (255 - alpha) + 127) / 255);
    };
    return RGB(channel(GetRValue(under), GetRValue(over)), channel(GetGValue(under), GetGValue(over)),
               channel(GetBValue(under), GetBValue(over)));
}

bool Excluded(const TPaintSpec& spec, int32_t x, int32_t y)
{
    for (const TCoverage* exclude : spec.Exclude) {
        if (exclude && exclude->Bounds.Contains({x, y}) && exclude->Row(y)[x] >= 128) {
            return true;
        }
    }
    return false;
}

void PaintCoverage(const TRasterView& view, const TRegionObject* clip, const TCoverage& coverage,
                   const TPaintSpec& spec)
{
    TRect area;
    if (coverage.IsEmpty() || !IntersectRect(area, coverage.Bounds, Rect(0, 0, view.Width, view.Height))) {
        return;
    }
    TColorMatcher matcher(view);
    const uint32_t colorValue = matcher.ToValue(spec.Color);
    // A palette-index colour mixes as the colour its value shows.
    const COLORREF blendColor = IsPaletteIndexColor(spec.Color) ? ValueToColor(view, colorValue) : spec.Color;
    const bool hatched = spec.Pattern && spec.Pattern->Style != bsSolid;
    const bool plainFill = spec.Rop2 == R2_COPYPEN && !hatched;
    const uint32_t bkValue = spec.Pattern ? matcher.ToValue(spec.Pattern->BkColor) : 0;
    const uint32_t mask = ValueMask(view.Format);
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
        const TRowClip rowClip = ClipOfRow(clip, y);
        if (rowClip.Empty()) {
            continue;
        }
        const uint8_t* alpha = coverage.Row(y);
        uint8_t* row = view.Row(y);
        auto covered = [&](int32_t x) {
            const uint32_t a = alpha[x];
            return a != 0 && (spec.Blend || a >= 128) && rowClip.Contains(x) && !Excluded(spec, x, y);
        };
        auto paintPixel = [&](int32_t x) {
            uint32_t p = colorValue;
            if (hatched && !spec.Pattern->HatchAt(x, y)) {
                if (!spec.Pattern->OpaqueBk) {
                    return;
                }
                p = bkValue;
            }
            WriteValue(view.Format, row, x, ApplyRop2(spec.Rop2, p, ReadValue(view.Format, row, x)) & mask);
        };
        int32_t x = area.Left;
        while (x < area.Right) {
            if (!covered(x)) {
                ++x;
                continue;
            }
            if (spec.Blend && alpha[x] < 255 && spec.Rop2 == R2_COPYPEN) {
                // Smoothed edges mix the colour into what is there.
                const COLORREF under = ValueToColor(view, ReadValue(view.Format, row, x));
                WriteValue(view.Format, row, x, matcher.ToValue(Mix(under, blendColor, alpha[x])));
                ++x;
                continue;
            }
            const int32_t start = x;
            while (x < area.Right && covered(x) && !(spec.Blend && alpha[x] < 255)) {
                ++x;
            }
            if (x == start) {
                paintPixel(x++);
            } else if (plainFill) {
                FillValues(view.Format, row, start, x, colorValue);
            } else {
                for (int32_t px = start; px < x; ++px) {
                    paintPixel(px);
                }
            }
        }
    }
}

void FillRectCoverage(TCoverage& coverage, const TRect& r)
{
    TRect area;
    if (!IntersectRect(area, coverage.Bounds, r)) {
        return;
    }
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
        std::memset(coverage.Row(y) + area.Left, 255, size_t(area.Width()));
    }
}

// The on and off runs of the styled one-pixel pens.
const std::vector<int32_t>& DashPattern(TPenStyle style)
{
    static const std::vector<int32_t> solid;
    static const std::vector<int32_t> dash = {18, 6};
    static const std::vector<int32_t> dot = {3, 3};
    static const std::vector<int32_t> dashDot = {9, 6, 3, 6};
    static const std::vector<int32_t> dashDotDot = {9, 3, 3, 3, 3, 3};
    switch (style) {
    case psDash:
        return dash;
    case psDot:
        return dot;
    case psDashDot:
        return dashDot;
    case psDashDotDot:
        return dashDotDot;
    default:
        return solid;
    }
}

// Collects the pixels of one-pixel lines into a dash mask and a gap mask; the style's pattern
// runs on across the segments of one figure.
class TPenTracer
{
public:
    TPenTracer(TPenStyle style, const TRect& bounds)
        : Dashes(bounds), Gaps(bounds), FPattern(DashPattern(style))
    {
        for (int32_t run : FPattern) {
            FPeriod += run;
        }
    }

    // The line from (x1, y1) toward (x2, y2), the end point excluded.
    void Segment(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
    {
        if (Dashes.IsEmpty()) {
            return; // nothing of it can be seen
        }
        const int64_t length = std::max(std::abs(int64_t(x2) - x1), std::abs(int64_t(y2) - y1));
        const int64_t reach = int64_t(Dashes.Bounds.Width()) + Dashes.Bounds.Height() + 4;
        const TRect& b = Dashes.Bounds;
        const bool far =
            std::max({std::abs(int64_t(x1) - b.Left), std::abs(int64_t(y1) - b.Top),
                      std::abs(int64_t(x2) - b.Left), std::abs(int64_t(y2) - b.Top)}) > 4 * reach;
        if (length > 4 * reach && far) {
            // Only the part near the drawing area is stepped through, so a line to a far-away
            // point costs no more than one across the raster.
            ClippedSegment(x1, y1, x2, y2, length);
            return;
        }
        LineDDA(x1, y1, x2, y2, [this](int32_t x, int32_t y) { Plot(x, y); });
    }

    TCoverage Dashes;
    TCoverage Gaps;

private:
    void Plot(int32_t x, int32_t y)
    {
        if (FPeriod == 0) {
            Dashes.Set(x, y);
            return;
        }
        int32_t position = int32_t(FCounter % FPeriod);
        ++FCounter;
        bool on = true;
        for (int32_t run : FPattern) {
            if (position < run) {
                break;
            }
            position -= run;
            on = !on;
        }
        if (on) {
            Dashes.Set(x, y);
        } else {
            Gaps.Set(x, y);
        }
    }

    void ClippedSegment(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int64_t length)
    {
        const TRect& b = Dashes.Bounds;
        double t0 = 0.0, t1 = 1.0;
        const double dx = double(x2) - x1, dy = double(y2) - y1;
        auto clipAxis = [&](double start, double delta, double lo, double hi) {
            if (delta == 0.0) {
                return start >= lo && start <= hi;
            }
            double a = (lo - start) / delta, c = (hi - start) / delta;
            if (a > c) {
                std::swap(a, c);
            }
            t0 = std::max(t0, a);
            t1 = std::min(t1, c);
            return t0 <= t1;
        };
        if (!clipAxis(x1, dx, b.Left - 2.0, b.Right + 1.0) ||
            !clipAxis(y1, dy, b.Top - 2.0, b.Bottom + 1.0)) {
            FCounter += uint64_t(length);
            return;
        }
        const int32_t sx = int32_t(std::lround(x1 + t0 * dx)), sy = int32_t(std::lround(y1 + t0 * dy));
        const int32_t ex = int32_t(std::lround(x1 + t1 * dx)), ey = int32_t(std::lround(y1 + t1 * dy));
        const uint64_t skipped = uint64_t(std::llround(t0 * double(length)));
        FCounter += skipped;
        LineDDA(sx, sy, ex, ey, [this](int32_t x, int32_t y) { Plot(x, y); });
        Plot(ex, ey);
        FCounter += uint64_t(length) - skipped - uint64_t(std::max(std::abs(ex - sx), std::abs(ey - sy))) - 1;
    }

    const std::vector<int32_t>& FPattern;
    int32_t FPeriod = 0;
    uint64_t FCounter = 0;
};

TRect BoundsOf(const std::vector<TPoint>& points)
{
    if (points.empty()) {
        return {};
    }
    int64_t l = points[0].X, t = points[0].Y, r = l, b = t;
    for (const TPoint& p : points) {
        l = std::min<int64_t>(l, p.X);
        t = std::min<int64_t>(t, p.Y);
        r = std::max<int64_t>(r, p.X);
        b = std::max<int64_t>(b, p.Y);
    }
    auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
    return {clamp(l), clamp(t), clamp(r + 1), clamp(b + 1)};
}

TRect Inflated(TRect r, int32_t by)
{
    InflateRect(r, by, by);
    return r;
}

TRect Normalized(int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

TRect Within(const TRect& area, const TRect& clip)
{
    TRect result;
    IntersectRect(result, area, clip);
    return result;
}

} // namespace

// ---- TCanvas ----

TCanvas::TCanvas() : TCanvas(TRasterSource{}) {}

TCanvas::TCanvas(TRasterSource source)
    : FSource(std::move(source)), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()),
      FFont(std::make_unique<TFont>())
{
    FPen->OnChange = [this](TObject*) { PenChanged(); };
    FBrush->OnChange = [this](TObject*) { BrushChanged(); };
    FFont->OnChange = [this](TObject*) { FontChanged(); };
    BrushChanged();
    FontChanged();
}

TCanvas::~TCanvas() = default;

void TCanvas::SetRasterSource(TRasterSource source)
{
    FSource = std::move(source);
}

bool TCanvas::Raster(TRasterView& view) const
{
    if (!FSource) {
        return false;
    }
    TRasterView candidate;
    if (!FSource(candidate) || !candidate.IsValid()) {
        return false;
    }
    view = candidate;
    return true;
}

void TCanvas::PenChanged() {}

void TCanvas::BrushChanged()
{
    FBkColor = DeviceColor(COLORREF(ColorToRGB(FBrush->Color())));
    FBkMode = FBrush->Style() == bsClear ? TRANSPARENT : OPAQUE;
}

void TCanvas::FontChanged()
{
    FTextColor = DeviceColor(COLORREF(ColorToRGB(FFont->Color())));
}

void TCanvas::SetPixelsPerInch(int32_t X, int32_t Y)
{
    if (X > 0 && Y > 0) {
        FPixelsPerInchX = X;
        FPixelsPerInchY = Y;
        FFont->SetPixelsPerInch(Y);
    }
}

TRect TCanvas::ClipRect() const
{
    TRasterView view;
    if (!Raster(view)) {
        return {};
    }
    const TRect bounds = Rect(0, 0, view.Width, view.Height);
    if (!FClipRegion) {
        return bounds;
    }
    return Within(bounds, FClipRegion->Bounds);
}

void TCanvas::Changing()
{
    if (OnChanging) {
        OnChanging(this);
    }
}

void TCanvas::Changed()
{
    if (OnChange) {
        OnChange(this);
    }
}

void TCanvas::Lock()
{
    FLock.lock();
    ++FLockCount;
}

bool TCanvas::TryLock()
{
    if (!FLock.try_lock()) {
        return false;
    }
    ++FLockCount;
    return true;
}

void TCanvas::Unlock()
{
    if (FLockCount.load() <= 0) {
        return; // an unbalanced Unlock must not release a mutex this thread does not hold
    }
    --FLockCount;
    FLock.unlock();
}

TColor TCanvas::Pixels(int32_t X, int32_t Y) const
{
    return TColor(GetPixel(const_cast<TCanvas*>(this), X, Y));
}

void TCanvas::SetPixels(int32_t X, int32_t Y, TColor Value)
{
    SetPixel(this, X, Y, COLORREF(ColorToRGB(Value)));
}

void TCanvas::MoveTo(int32_t X, int32_t Y)
{
    FPenPos = {X, Y};
}

namespace {

// One figure: its one-pixel outline (as polylines), its shape for wide pens and curved fills, and
// its interior. It is painted in one go, interior first, and no pixel is changed twice, so an
// inverting pen drawn twice restores what was there.
struct TFigure
{
    std::vector<std::vector<TPoint>> Outline;
    bool Closed = false;
    const TShape* Shape = nullptr;
    bool Fill = false;
    bool FillIsRect = false;
    TRect FillRect;
};

void PaintFigure(TCanvas& canvas, const TFigure& figure)
{
    TRasterView view;
    const TRect clip = canvas.ClipRect();
    if (!canvas.Raster(view) || clip.IsEmpty()) {
        return;
    }
    TPen* pen = canvas.Pen();
    const int32_t rop2 = GetROP2(&canvas);
    const bool penVisible = pen->Style() != psClear;
    const int32_t width = std::max(1, pen->Width());

    std::vector<TPoint> all;
    for (const auto& line : figure.Outline) {
        all.insert(all.end(), line.begin(), line.end());
    }
    if (figure.Shape && figure.Shape->Kind != TShape::Polygon && figure.Shape->Kind != TShape::Polyline &&
        figure.Shape->Kind != TShape::PolyPolygon) {
        all.push_back(figure.Shape->Box.TopLeft());
        all.push_back(figure.Shape->Box.BottomRight());
    }
    const TRect area = Within(Inflated(BoundsOf(all), width / 2 + 2), clip);

    TPenTracer tracer(width == 1 ? pen->Style() : psSolid, penVisible && width == 1 ? area : TRect{});
    TCoverage wide(penVisible && width > 1 ? area : TRect{});
    if (penVisible && width == 1) {
        for (const auto& line : figure.Outline) {
            for (size_t i = 0; i + 1 < line.size(); ++i) {
                tracer.Segment(line[i].X, line[i].Y, line[i + 1].X, line[i + 1].Y);
            }
            if (figure.Closed && line.size() > 1) {
                tracer.Segment(line.back().X, line.back().Y, line.front().X, line.front().Y);
            }
        }
    } else if (penVisible && figure.Shape) {
        StrokeShape(wide, *figure.Shape, width);
    }

    canvas.Changing();
    const TRegionObject* region = canvas.ClipRegion();
    if (figure.Fill && canvas.Brush()->Style() != bsClear) {
        const TPatternSpec pattern = PatternOf(canvas);
        TCoverage interior(figure.FillIsRect ? Within(figure.FillRect, clip) : area);
        if (figure.FillIsRect) {
            FillRectCoverage(interior, figure.FillRect);
        } else if (figure.Shape) {
            FillShape(interior, *figure.Shape, canvas.PolyFillMode() == WINDING);
        }
        TPaintSpec spec;
        spec.Color = pattern.Color;
        spec.Rop2 = rop2;
        spec.Pattern = &pattern;
        if (width == 1) {
            spec.Exclude[0] = &tracer.Dashes;
            spec.Exclude[1] = &tracer.Gaps;
        } else {
            spec.Exclude[0] = &wide;
        }
        PaintCoverage(view, region, interior, spec);
    }
    if (penVisible) {
        TPaintSpec spec;
        spec.Color = DeviceColor(COLORREF(ColorToRGB(pen->Color())));
        spec.Rop2 = rop2;
        if (width > 1) {
            PaintCoverage(view, region, wide, spec);
        } else {
            PaintCoverage(view, region, tracer.Dashes, spec);
            // Styled lines show the background colour between their dashes when it is opaque.
            if (canvas.BkMode() == OPAQUE && !tracer.Gaps.IsEmpty()) {
                spec.Color = canvas.BkColor();
                spec.Exclude[0] = &tracer.Dashes;
                PaintCoverage(view, region, tracer.Gaps, spec);
            }
        }
    }
    canvas.Changed();
}

std::vector<TPoint> ToVector(const TPoint* points, int32_t count)
{
    if (!points || count <= 0) {
        return {};
    }
    return std::vector<TPoint>(points, points + count);
}

} // namespace

void TCanvas::LineTo(int32_t X, int32_t Y)
{
    TFigure figure;
    figure.Outline = {{FPenPos, {X, Y}}};
    TShape shape;
    shape.Kind = TShape::Polyline;
    shape.Points = figure.Outline.front();
    figure.Shape = &shape;
    PaintFigure(*this, figure);
    FPenPos = {X, Y};
}

void TCanvas::Polyline(const TPoint* Points, int32_t Count)
{
    if (Count < 2) {
        return;
    }
    TShape shape;
    shape.Kind = TShape::Polyline;
    shape.Points = ToVector(Points, Count);
    TFigure figure;
    figure.Outline = {shape.Points};
    figure.Shape = &shape;
    PaintFigure(*this, figure);
}

void TCanvas::Polygon(const TPoint* Points, int32_t Count)
{
    if (Count < 2) {
        return;
    }
    TShape shape;
    shape.Kind = TShape::Polygon;
    shape.Points = ToVector(Points, Count);
    TFigure figure;
    figure.Outline = {shape.Points};
    figure.Closed = true;
    figure.Shape = &shape;
    figure.Fill = true;
    PaintFigure(*this, figure);
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)
{
    TRect box = Normalized(X1, Y1, X2, Y2);
    const int32_t width = std::max(1, FPen->Width());
    if (FPen->Style() == psInsideFrame && width > 1) {
        InflateRect(box, -(width / 2), -(width / 2));
    }
    if (box.IsEmpty()) {
        return;
    }
    const int32_t r = box.Right - 1, b = box.Bottom - 1;
    TShape shape;
    shape.Kind = TShape::Polygon;
    shape.Points = {{box.Left, box.Top}, {r, box.Top}, {r, b}, {box.Left, b}};
    TFigure figure;
    figure.Outline = {shape.Points};
    figure.Closed = true;
    figure.Shape = &shape;
    figure.Fill = true;
    figure.FillIsRect = true;
    // Without a pen the interior is one pixel smaller at the right and bottom, as GDI draws it.
    figure.FillRect = FPen->Style() == psClear ? Rect(box.Left, box.Top, r, b) : box;
    PaintFigure(*this, figure);
}

void TCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3)
{
    TShape shape;
    shape.Kind = TShape::RoundRect;
    shape.Box = Normalized(X1, Y1, X2, Y2);
    shape.CornerWidth = std::min(std::abs(X3), shape.Box.Width());
    shape.CornerHeight = std::min(std::abs(Y3), shape.Box.Height());
    if (shape.Box.IsEmpty()) {
        return;
    }
    TFigure figure;
    figure.Outline = OutlineOf(shape);
    figure.Closed = true;
    figure.Shape = &shape;
    figure.Fill = true;
    PaintFigure(*this, figure);
}

void TCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)
{
    TShape shape;
    shape.Kind = TShape::Ellipse;
    shape.Box = Normalized(X1, Y1, X2, Y2);
    if (shape.Box.IsEmpty()) {
        return;
    }
    TFigure figure;
    figure.Outline = OutlineOf(shape);
    figure.Closed = true;
    figure.Shape = &shape;
    figure.Fill = true;
    PaintFigure(*this, figure);
}

void TCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
                  int32_t Y4)
{
    TShape shape;
    shape.Kind = TShape::Arc;
    shape.Box = Normalized(X1, Y1, X2, Y2);
    shape.ArcStart = {X3, Y3};
    shape.ArcEnd = {X4, Y4};
    if (shape.Box.IsEmpty()) {
        return;
    }
    TFigure figure;
    figure.Outline = OutlineOf(shape);
    figure.Shape = &shape;
    PaintFigure(*this, figure);
}

namespace {

void PaintClosedArc(TCanvas& canvas, TShape::TKind kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                    int32_t X3, int32_t Y3, int32_t X4, int32_t Y4)
{
    TShape shape;
    shape.Kind = kind;
    shape.Box = Normalized(X1, Y1, X2, Y2);
    shape.ArcStart = {X3, Y3};
    shape.ArcEnd = {X4, Y4};
    if (shape.Box.IsEmpty()) {
        return;
    }
    TFigure figure;
    figure.Outline = OutlineOf(shape);
    figure.Closed = true;
    figure.Shape = &shape;
    figure.Fill = true;
    PaintFigure(canvas, figure);
}

} // namespace

void TCanvas::Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
                  int32_t Y4)
{
    PaintClosedArc(*this, TShape::Pie, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}

void TCanvas::Chord(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
                    int32_t Y4)
{
    PaintClosedArc(*this, TShape::Chord, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
}

void TCanvas::PolyPolygon(const TPoint* Points, const int32_t* Counts, int32_t Figures)
{
    if (!Points || !Counts || Figures <= 0) {
        return;
    }
    TShape shape;
    shape.Kind = TShape::PolyPolygon;
    const TPoint* next = Points;
    for (int32_t i = 0; i < Figures; ++i) {
        if (Counts[i] < 0) {
            return;
        }
        if (Counts[i] >= 2) {
            shape.Figures.emplace_back(next, next + Counts[i]);
        }
        next += Counts[i];
    }
    if (shape.Figures.empty()) {
        return;
    }
    TFigure figure;
    figure.Outline = shape.Figures;
    figure.Closed = true;
    figure.Shape = &shape;
    figure.Fill = true;
    PaintFigure(*this, figure);
}

void TCanvas::FillRect(const TRect& Rect)
{
    TRasterView view;
    const TRect area = Within(Rect, ClipRect());
    if (FBrush->Style() == bsClear || area.IsEmpty() || !Raster(view)) {
        return;
    }
    Changing();
    const TPatternSpec pattern = PatternOf(*this);
    if (pattern.Style == bsSolid && !FClipRegion) {
        // The common case, a plain fill, goes straight to the rows.
        TColorMatcher matcher(view);
        const uint32_t value = matcher.ToValue(pattern.Color);
        for (int32_t y = area.Top; y < area.Bottom; ++y) {
            FillValues(view.Format, view.Row(y), area.Left, area.Right, value);
        }
    } else {
        TCoverage coverage(area);
        FillRectCoverage(coverage, area);
        TPaintSpec spec;
        spec.Color = pattern.Color;
        spec.Pattern = &pattern;
        PaintCoverage(view, FClipRegion.get(), coverage, spec);
    }
    Changed();
}

void TCanvas::FrameRect(const TRect& Rect)
{
    TRasterView view;
    const TRect box = Normalized(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
    const TRect area = Within(box, ClipRect());
    if (FBrush->Style() == bsClear || area.IsEmpty() || !Raster(view)) {
        return;
    }
    Changing();
    const TPatternSpec pattern = PatternOf(*this);
    TCoverage coverage(area);
    FillRectCoverage(coverage, ::Rect(box.Left, box.Top, box.Right, box.Top + 1));
    FillRectCoverage(coverage, ::Rect(box.Left, box.Bottom - 1, box.Right, box.Bottom));
    FillRectCoverage(coverage, ::Rect(box.Left, box.Top, box.Left + 1, box.Bottom));
    FillRectCoverage(coverage, ::Rect(box.Right - 1, box.Top, box.Right, box.Bottom));
    TPaintSpec spec;
    spec.Color = pattern.Color;
    spec.Pattern = &pattern;
    PaintCoverage(view, FClipRegion.get(), coverage, spec);
    Changed();
}

namespace {

// A text may start at any coordinate a metafile names, the integer limits included: its extents
// end there rather than wrap to the other side.
int32_t SaturatedSum(int64_t a, int64_t b)
{
    return int32_t(std::clamp<int64_t>(a + b, INT32_MIN, INT32_MAX));
}

int32_t SaturatedRound(double value)
{
    return SaturateToInt<int32_t>(static_cast<long double>(std::lround(value)));
}

// The text cell's corners after turning by the font's orientation around (x, y).
std::vector<TPoint> TextCell(int32_t x, int32_t y, const TTextMetrics& metrics, int32_t orientation)
{
    const double angle = orientation / 10.0 * M_PI / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    const double w = metrics.Width, h = metrics.Height();
    auto turn = [&](double dx, double dy) {
        // Counter-clockwise on the screen, where y grows downward.
        return TPoint{SaturatedRound(x + dx * c + dy * s), SaturatedRound(y - dx * s + dy * c)};
    };
    return {turn(0, 0), turn(w, 0), turn(w, h), turn(0, h)};
}

// Moves (x, y) from the point the alignment names to the cell's top-left corner, turned with the
// text.
void AlignTextOrigin(uint32_t align, const TTextMetrics& metrics, int32_t orientation, int32_t& x, int32_t& y)
{
    double dx = 0, dy = 0;
    if ((align & TA_CENTER) == TA_CENTER) {
        dx = -metrics.Width / 2.0;
    } else if (align & TA_RIGHT) {
        dx = -double(metrics.Width);
    }
    if ((align & TA_BASELINE) == TA_BASELINE) {
        dy = -double(metrics.Ascent);
    } else if (align & TA_BOTTOM) {
        dy = -double(metrics.Height());
    }
    if (dx == 0 && dy == 0) {
        return;
    }
    const double angle = orientation / 10.0 * M_PI / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    x = SaturatedRound(x + dx * c + dy * s);
    y = SaturatedRound(y - dx * s + dy * c);
}

// Returns the text's advance width.
int32_t DrawText(TCanvas& canvas, const TRect* clipTo, bool opaqueRect, int32_t x, int32_t y,
                 const std::string& text)
{
    TRasterView view;
    TRect clip = canvas.ClipRect();
    if (clipTo) {
        clip = Within(clip, *clipTo);
    }
    TFont& font = *canvas.Font();
    const TTextMetrics metrics = MeasureText(font, text);
    if (clip.IsEmpty() || !canvas.Raster(view)) {
        return metrics.Width;
    }
    AlignTextOrigin(canvas.TextAlign(), metrics, font.Orientation(), x, y);
    const std::vector<TPoint> cell = TextCell(x, y, metrics, font.Orientation());
    // Italic and overhanging glyphs may leave the advance box by part of the height.
    const TRect area = Within(Inflated(BoundsOf(cell), metrics.Height() / 2 + 2), clip);

    canvas.Changing();
    const TRegionObject* region = canvas.ClipRegion();
    TPaintSpec background;
    background.Color = canvas.BkColor();
    if (opaqueRect && clipTo) {
        TCoverage box(clip);
        FillRectCoverage(box, clip);
        PaintCoverage(view, region, box, background);
    } else if (canvas.BkMode() == OPAQUE && !text.empty()) {
        TCoverage box(area);
        if (font.Orientation() == 0) {
            FillRectCoverage(box,
                             Rect(x, y, SaturatedSum(x, metrics.Width), SaturatedSum(y, metrics.Height())));
        } else {
            TShape shape;
            shape.Kind = TShape::Polygon;
            shape.Points = cell;
            FillShape(box, shape, false);
        }
        PaintCoverage(view, region, box, background);
    }
    TCoverage glyphs(area);
    RenderText(glyphs, font, x, y, text);
    TPaintSpec ink;
    ink.Color = canvas.TextColor();
    ink.Blend = IsSmoothed(font);
    PaintCoverage(view, region, glyphs, ink);
    canvas.Changed();
    return metrics.Width;
}

} // namespace

void TCanvas::TextOut(int32_t X, int32_t Y, const std::string& Text)
{
    FPenPos = {SaturatedSum(X, DrawText(*this, nullptr, false, X, Y, Text)), Y};
}

void TCanvas::TextRect(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text)
{
    DrawText(*this, &Rect, FBrush->Style() != bsClear, X, Y, Text);
}

TSize TCanvas::TextExtent(const std::string& Text)
{
    const TTextMetrics metrics = MeasureText(*FFont, Text);
    return {metrics.Width, metrics.Height()};
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic)
{
    if (Graphic && !Graphic->Empty()) {
        Graphic->Draw(this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
    }
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic)
{
    if (Graphic && !Graphic->Empty()) {
        Graphic->Draw(this, Rect);
    }
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source)
{
    StretchBlt(this, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Canvas, Source.Left, Source.Top,
               Source.Width(), Source.Height(), uint32_t(FCopyMode));
}
