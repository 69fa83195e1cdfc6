// The drawing surface of the class library: TCanvas with its pen, brush and font. A canvas draws
// into a raster (a TBitmap, or any raster whose owner hands it a view); it is also the device
// context that the GDI-style functions of gdi.h take.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi_records.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/raster.h"

class TGraphic;
class TCanvas;
struct TRegionObject;
struct TPaletteObject;

using HDC = TCanvas*;

enum TPenStyle : uint8_t
{
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame
};
enum TPenMode : uint8_t
{
    pmBlack,
    pmWhite,
    pmNop,
    pmNot,
    pmCopy,
    pmNotCopy,
    pmMergePenNot,
    pmMaskPenNot,
    pmMergeNotPen,
    pmMaskNotPen,
    pmMerge,
    pmNotMerge,
    pmMask,
    pmNotMask,
    pmXor,
    pmNotXor
};
enum TBrushStyle : uint8_t
{
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};
enum TFontStyle : uint8_t
{
    fsBold,
    fsItalic,
    fsUnderline,
    fsStrikeOut
};
enum TFontPitch : uint8_t
{
    fpDefault,
    fpVariable,
    fpFixed
};
enum TFontQuality : uint8_t
{
    fqDefault,
    fqDraft,
    fqProof,
    fqNonAntialiased,
    fqAntialiased,
    fqClearType,
    fqClearTypeNatural
};
using TFontCharset = uint8_t;
using TFontName = std::string;

// A set of font styles.
class TFontStyles
{
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles)
    {
        for (TFontStyle s : styles) {
            FBits = uint8_t(FBits | (1u << s));
        }
    }
    constexpr bool Contains(TFontStyle s) const { return (FBits >> s) & 1u; }
    constexpr void Include(TFontStyle s) { FBits = uint8_t(FBits | (1u << s)); }
    constexpr void Exclude(TFontStyle s) { FBits = uint8_t(FBits & ~(1u << s)); }
    constexpr bool IsEmpty() const { return FBits == 0; }
    constexpr uint8_t Bits() const { return FBits; }
    friend constexpr bool operator==(TFontStyles, TFontStyles) = default;

private:
    uint8_t FBits = 0;
};

// Copy modes of Draw, StretchDraw and CopyRect are raster-operation codes.
using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = BLACKNESS;
constexpr TCopyMode cmDstInvert = DSTINVERT;
constexpr TCopyMode cmMergeCopy = MERGECOPY;
constexpr TCopyMode cmMergePaint = MERGEPAINT;
constexpr TCopyMode cmNotSrcCopy = NOTSRCCOPY;
constexpr TCopyMode cmNotSrcErase = NOTSRCERASE;
constexpr TCopyMode cmPatCopy = PATCOPY;
constexpr TCopyMode cmPatInvert = PATINVERT;
constexpr TCopyMode cmPatPaint = PATPAINT;
constexpr TCopyMode cmSrcAnd = SRCAND;
constexpr TCopyMode cmSrcCopy = SRCCOPY;
constexpr TCopyMode cmSrcErase = SRCERASE;
constexpr TCopyMode cmSrcInvert = SRCINVERT;
constexpr TCopyMode cmSrcPaint = SRCPAINT;
constexpr TCopyMode cmWhiteness = WHITENESS;

// Screen resolution that fonts are measured at unless a canvas says otherwise (a printer page).
constexpr int32_t kScreenPixelsPerInch = 96;

class TGraphicsObject : public TPersistent
{
public:
    TNotifyEvent OnChange;

protected:
    void Changed();
    // Stores a property's new value and reports the change, when it is one.
    template <class T> void Store(T& field, const T& value)
    {
        if (!(field == value)) {
            field = value;
            Changed();
        }
    }
};

class TPen : public TGraphicsObject
{
public:
    void Assign(TPersistent* Source) override;

    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    // 0 and 1 both draw one-pixel lines.
    int32_t Width() const { return FWidth; }
    void SetWidth(int32_t Value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle Value);
    TPenMode Mode() const { return FMode; }
    void SetMode(TPenMode Value);

private:
    TColor FColor = clBlack;
    int32_t FWidth = 1;
    TPenStyle FStyle = psSolid;
    TPenMode FMode = pmCopy;
};

class TBrush : public TGraphicsObject
{
public:
    void Assign(TPersistent* Source) override;

    TColor Color() const { return FColor; }
    // Setting a colour on a clear brush makes it solid, as the class library does.
    void SetColor(TColor Value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle Value);

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
};

class TFont : public TGraphicsObject
{
public:
    void Assign(TPersistent* Source) override;

    // The face name as given; drawing resolves it to an installed family (ResolvedFamily).
    TFontName Name() const { return FName; }
    void SetName(const TFontName& Value);
    // Points at PixelsPerInch; Height is the matching pixel value (negative: character height,
    // positive: cell height), as the class library keeps them.
    int32_t Size() const;
    void SetSize(int32_t Value);
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t Value);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles Value);
    TFontCharset Charset() const { return FCharset; }
    void SetCharset(TFontCharset Value);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch Value);
    // Escapement of the text line in tenths of a degree, counter-clockwise.
    int32_t Orientation() const { return FOrientation; }
    void SetOrientation(int32_t Value);
    // fqAntialiased and the ClearType qualities draw smoothed glyphs; the others draw them aliased.
    TFontQuality Quality() const { return FQuality; }
    void SetQuality(TFontQuality Value);
    int32_t PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int32_t Value);

    // The font as a logical-font record, and the font taken from one (height, escapement, weight,
    // italic, underline, strike-out, character set, quality and face name).
    LOGFONT LogFont() const;
    void SetLogFont(const LOGFONT& Value);

    // The installed family that drawing uses for Name: "Arial" and the Windows sans-serif faces
    // give "Liberation Sans", the serif faces "Liberation Serif", the fixed faces "Liberation Mono".
    static std::string ResolvedFamily(const std::string& faceName);

private:
    TFontName FName = "MS Sans Serif";
    int32_t FHeight = -11; // 8 points at 96 pixels per inch
    TColor FColor = clWindowText;
    TFontStyles FStyle;
    TFontCharset FCharset = DEFAULT_CHARSET;
    TFontPitch FPitch = fpDefault;
    int32_t FOrientation = 0;
    TFontQuality FQuality = fqDefault;
    int32_t FPixelsPerInch = kScreenPixelsPerInch;
};

class TCanvas : public TPersistent
{
public:
    // Hands the canvas a view of its raster for one drawing call; false when there is none.
    using TRasterSource = std::function<bool(TRasterView&)>;

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

    TCanvas();
    explicit TCanvas(TRasterSource source);
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    void SetRasterSource(TRasterSource source);
    // The current raster; false while the canvas has none (drawing then does nothing).
    bool Raster(TRasterView& view) const;

    HDC Handle() { return this; }

    TPen* Pen() { return FPen.get(); }
    TBrush* Brush() { return FBrush.get(); }
    TFont* Font() { return FFont.get(); }
    void SetPen(TPen* Value) { FPen->Assign(Value); }
    void SetBrush(TBrush* Value) { FBrush->Assign(Value); }
    void SetFont(TFont* Value) { FFont->Assign(Value); }

    TCopyMode CopyMode() const { return FCopyMode; }
    void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }
    TPoint PenPos() const { return FPenPos; }
    void SetPenPos(TPoint Value) { FPenPos = Value; }

    // The bounds of what drawing may change: the raster's rectangle within the clip region.
    TRect ClipRect() const;

    // The pixel's colour; CLR_INVALID (as TColor, -1) outside the raster or the clip region.
    TColor Pixels(int32_t X, int32_t Y) const;
    void SetPixels(int32_t X, int32_t Y, TColor Value);

    void MoveTo(int32_t X, int32_t Y);
    // A line from the pen position to (X, Y), that end point excluded; the pen moves there.
    void LineTo(int32_t X, int32_t Y);
    void Polyline(const TPoint* Points, int32_t Count);
    void Polyline(const std::vector<TPoint>& Points) { Polyline(Points.data(), int32_t(Points.size())); }
    // A closed figure filled with the brush (alternate or winding rule, see gdi.h SetPolyFillMode)
    // and outlined with the pen.
    void Polygon(const TPoint* Points, int32_t Count);
    void Polygon(const std::vector<TPoint>& Points) { Polygon(Points.data(), int32_t(Points.size())); }
    // Right and bottom are exclusive: the outline's last column is X2 - 1.
    void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Rectangle(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
    void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
    void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void Ellipse(const TRect& Rect) { Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
    // The part of the ellipse in the box (X1, Y1)-(X2, Y2) that runs counter-clockwise from the
    // ray toward (X3, Y3) to the ray toward (X4, Y4).
    void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
    // That arc closed by the two radii to its ends (a wedge), and closed by the line between its
    // ends; both are filled with the brush and outlined with the pen. Equal rays give the whole
    // ellipse.
    void Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
    void Chord(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4,
               int32_t Y4);
    // Several closed figures filled together by the fill mode (so that inner ones can be holes),
    // each outlined with the pen. Counts gives the points of each figure, in order.
    void PolyPolygon(const TPoint* Points, const int32_t* Counts, int32_t Figures);
    // Fills with the brush, without outline.
    void FillRect(const TRect& Rect);
    // A one-pixel border drawn with the brush.
    void FrameRect(const TRect& Rect);

    // Text with its cell's top-left corner at (X, Y); an opaque brush fills the cell first. The
    // pen position moves to the end of the text.
    void TextOut(int32_t X, int32_t Y, const std::string& Text);
    // As TextOut, clipped to Rect; an opaque brush fills the whole rectangle first.
    void TextRect(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text);
    TSize TextExtent(const std::string& Text);
    int32_t TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
    int32_t TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

    // Draws the graphic at its own size, and scaled into Rect; a bitmap goes through StretchBlt
    // with CopyMode.
    void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
    void StretchDraw(const TRect& Rect, TGraphic* Graphic);
    // Copies Source's rectangle into Dest (scaled when the sizes differ) with CopyMode.
    void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);

    // The canvas lock guards drawing from several threads; it is re-entrant. Unlock without a
    // matching Lock does nothing.
    void Lock();
    bool TryLock();
    void Unlock();
    int32_t LockCount() const { return FLockCount.load(); }

    // Device state read by the GDI-style functions (see gdi.h for their setters). The background
    // colour and mode follow the brush, the text colour follows the font, the mix mode follows the
    // pen, until set directly.
    COLORREF BkColor() const { return FBkColor; }
    int32_t BkMode() const { return FBkMode; }
    COLORREF TextColor() const { return FTextColor; }
    int32_t StretchBltMode() const { return FStretchBltMode; }
    int32_t PolyFillMode() const { return FPolyFillMode; }
    uint32_t TextAlign() const { return FTextAlign; }
    int32_t PixelsPerInchX() const { return FPixelsPerInchX; }
    int32_t PixelsPerInchY() const { return FPixelsPerInchY; }
    // A printer page says its resolution here; the font follows it.
    void SetPixelsPerInch(int32_t X, int32_t Y);

    // The clip region in device pixels, or nullptr while drawing is clipped by the raster only.
    const TRegionObject* ClipRegion() const { return FClipRegion.get(); }
    // The logical palette selected into the canvas (see gdi.h SelectPalette); nullptr for the
    // default palette.
    TPaletteObject* SelectedPalette() const { return FSelectedPalette; }

    // Called before and after each drawing operation.
    void Changing();
    void Changed();

private:
    friend COLORREF SetBkColor(HDC, COLORREF);
    friend int32_t SetBkMode(HDC, int32_t);
    friend COLORREF SetTextColor(HDC, COLORREF);
    friend int32_t SetStretchBltMode(HDC, int32_t);
    friend int32_t SetPolyFillMode(HDC, int32_t);
    friend uint32_t SetTextAlign(HDC, uint32_t);
    friend int32_t SelectClipRgn(HDC, const TRegionObject*);
    friend int32_t IntersectClipRect(HDC, int32_t, int32_t, int32_t, int32_t);
    friend TPaletteObject* SelectPalette(HDC, TPaletteObject*, bool);

    void PenChanged();
    void BrushChanged();
    void FontChanged();

    TRasterSource FSource;
    std::unique_ptr<TPen> FPen;
    std::unique_ptr<TBrush> FBrush;
    std::unique_ptr<TFont> FFont;
    TCopyMode FCopyMode = cmSrcCopy;
    TPoint FPenPos;
    COLORREF FBkColor = 0xFFFFFF;
    int32_t FBkMode = OPAQUE;
    COLORREF FTextColor = 0;
    int32_t FStretchBltMode = BLACKONWHITE;
    int32_t FPolyFillMode = ALTERNATE;
    uint32_t FTextAlign = TA_LEFT | TA_TOP;
    int32_t FPixelsPerInchX = kScreenPixelsPerInch;
    int32_t FPixelsPerInchY = kScreenPixelsPerInch;
    std::unique_ptr<TRegionObject> FClipRegion;
    TPaletteObject* FSelectedPalette = nullptr;
    std::recursive_mutex FLock;
    std::atomic<int32_t> FLockCount = 0;
};
