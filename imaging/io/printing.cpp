// Printing the working bitmap on a canvas placed by the inch, and the reduced picture of a printed
// page that the print dialogs show.
#include "imaging/core/bit_utils.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/printers.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// A rectangle on the page in inches from its top-left corner.
struct TInchRect
{
    double X = 0;
    double Y = 0;
    double Width = 0;
    double Height = 0;
};

struct TPageLayout
{
    double PageWidth = 0;
    double PageHeight = 0;
    double MarginLeft = 0;
    double MarginTop = 0;
    double MarginRight = 0;
    double MarginBottom = 0;
    TKVVerticalPos VerticalPos = kvvpTOP;
    TKVHorizontalPos HorizontalPos = kvhpLEFT;
    TKVSize Size = kvsNORMAL;
    double SpecWidth = 0;
    double SpecHeight = 0;
};

bool Positive(double Value)
{
    return std::isfinite(Value) && Value > 0;
}

// The picture's natural size in inches; kvsFITTOPAGE scales this one, so that a picture keeps
// its own aspect whatever the device's resolutions are.
TInchRect NaturalSize(int32_t Width, int32_t Height, int32_t DpiX, int32_t DpiY)
{
    return TInchRect{0, 0, double(Width) / DpiX, double(Height) / DpiY};
}

// Where the picture goes, or nothing when there is no room or no size to print.
std::optional<TInchRect> PlacePicture(const TPageLayout& Layout, int32_t PictureWidth, int32_t PictureHeight,
                                      int32_t PictureDpiX, int32_t PictureDpiY)
{
    const double printableWidth = Layout.PageWidth - (Layout.MarginLeft + Layout.MarginRight);
    const double printableHeight = Layout.PageHeight - (Layout.MarginTop + Layout.MarginBottom);
    if (!Positive(printableWidth) || !Positive(printableHeight) || PictureWidth <= 0 || PictureHeight <= 0)
        return std::nullopt;

    TInchRect place = NaturalSize(PictureWidth, PictureHeight, PictureDpiX, PictureDpiY);
    switch (Layout.Size) {
    case kvsNORMAL:
        break;
    case kvsFITTOPAGE: {
        // A small picture is enlarged as well.
        const double zoom = std::min(printableWidth / place.Width, printableHeight / place.Height);
        place.Width *= zoom;
        place.Height *= zoom;
        break;
    }
    case kvsFITTOPAGESTRETCH:
        place.Width = printableWidth;
        place.Height = printableHeight;
        break;
    case kvsSPECIFIEDSIZE:
        place.Width = Layout.SpecWidth;
        place.Height = Layout.SpecHeight;
        break;
    default:
        return std::nullopt;
    }
    if (!Positive(place.Width) || !Positive(place.Height))
        return std::nullopt;

    switch (Layout.HorizontalPos) {
    case kvhpCENTER:
        place.X = (printableWidth - place.Width) / 2 + Layout.MarginLeft;
        break;
    case kvhpRIGHT:
        place.X = Layout.MarginLeft + printableWidth - place.Width;
        break;
    default:
        place.X = Layout.MarginLeft;
        break;
    }
    switch (Layout.VerticalPos) {
    case kvvpCENTER:
        place.Y = (printableHeight - place.Height) / 2 + Layout.MarginTop;
        break;
    case kvvpBOTTOM:
        place.Y = Layout.MarginTop + printableHeight - place.Height;
        break;
    default:
        place.Y = Layout.MarginTop;
        break;
    }
    if (!std::isfinite(place.X) || !std::isfinite(place.Y))
        return std::nullopt;
    return place;
}

// Whether a picture drawn at (Left, Top), Width by Height dots large, reaches the canvas at all.
bool ReachesCanvas(const TRasterView& View, int64_t Left, int64_t Top, int64_t Width, int64_t Height)
{
    return Left < View.Width && Top < View.Height && Left + Width > 0 && Top + Height > 0;
}

// RenderToCanvas scales the whole picture to the printed size before it draws. A picture printed
// far larger than the page (a size typed wrong in inches) would need gigabytes for that, so only
// the part that lands on the canvas is made.
bool FarLargerThanCanvas(const TRasterView& View, int64_t Width, int64_t Height)
{
    return Width * Height > 4 * int64_t(View.Width) * View.Height;
}

// The source pixel of each target pixel from First on, as the nearest-pixel stretch picks it.
std::vector<int32_t> NearestSources(int32_t Origin, int32_t Extent, int32_t SourceExtent, int32_t First,
                                    int32_t Count)
{
    const long double ratio = static_cast<long double>(SourceExtent) / Extent;
    std::vector<int32_t> sources(static_cast<size_t>(Count));
    for (int32_t i = 0; i < Count; ++i)
        sources[size_t(i)] = std::min(Trunc((int64_t(First) + i - Origin) * ratio), SourceExtent - 1);
    return sources;
}

void ApplyGamma(TBitmap& Part, double Gamma)
{
    if (Gamma == 1.0 || !(Gamma > 0))
        return;
    std::array<uint8_t, 256> table{};
    for (int32_t i = 0; i < 256; ++i)
        table[size_t(i)] = Korvaneproc::blimit(Round(Daduvudez::KVPower(i / 255.0L, 1.0L / Gamma) * 255));
    for (int32_t y = 0; y < Part.Height(); ++y) {
        uint8_t* row = Part.ScanLine(y);
        for (int64_t k = 0; k < int64_t(Part.Width()) * 3; ++k)
            row[k] = table[row[k]];
    }
}

// Draws the visible part of a picture printed Width by Height dots large at (Left, Top). Sampled,
// it is picked pixel by pixel; filtered, the source pixels that reach the canvas are cut out and
// rendered at the printed scale.
void RenderVisiblePart(TKVBitmap& Bitmap, TCanvas* Canvas, const TRasterView& View, int32_t Left, int32_t Top,
                       int32_t Width, int32_t Height, TResampleFilter Filter, double Gamma)
{
    const int32_t visibleLeft = std::max(Left, 0);
    const int32_t visibleTop = std::max(Top, 0);
    const int32_t visibleWidth = int32_t(std::min<int64_t>(int64_t(Left) + Width, View.Width) - visibleLeft);
    const int32_t visibleHeight = int32_t(std::min<int64_t>(int64_t(Top) + Height, View.Height) - visibleTop);
    const int32_t sourceWidth = Bitmap.GetWidth();
    const int32_t sourceHeight = Bitmap.GetHeight();

    if (Filter != rfNone) {
        // Source columns [first, last) cover the visible columns; they land from their own
        // target column on, within a dot of the canvas's edge as the picture is reduced.
        auto span = [](int32_t origin, int32_t extent, int32_t sourceExtent, int32_t first, int32_t count) {
            const int64_t from = (int64_t(first) - origin) * sourceExtent / extent;
            const int64_t to = std::min<int64_t>(
                ((int64_t(first) + count - origin) * sourceExtent + extent - 1) / extent, sourceExtent);
            return std::array<int64_t, 4>{from, to, origin + from * extent / sourceExtent,
                                          origin + to * extent / sourceExtent};
        };
        const auto x = span(Left, Width, sourceWidth, visibleLeft, visibleWidth);
        const auto y = span(Top, Height, sourceHeight, visibleTop, visibleHeight);
        TKVBitmap piece;
        piece.Allocate(int32_t(x[1] - x[0]), int32_t(y[1] - y[0]), Bitmap.GetPixelFormat());
        if (piece.GetPixelFormat() == kv8p)
            for (int32_t i = 0; i < 256; ++i)
                piece.SetPalette(i, Bitmap.GetPalette(i));
        piece.DisplayRangeLow = Bitmap.DisplayRangeLow;
        piece.DisplayRangeHigh = Bitmap.DisplayRangeHigh;
        Bitmap.CopyRectTo(&piece, int32_t(x[0]), int32_t(y[0]), 0, 0, piece.GetWidth(), piece.GetHeight());
        piece.RenderToCanvas(Canvas, int32_t(x[2]), int32_t(y[2]), int32_t(x[3] - x[2]), int32_t(y[3] - y[2]),
                             Filter, Gamma);
        return;
    }

    const std::vector<int32_t> columns = NearestSources(Left, Width, sourceWidth, visibleLeft, visibleWidth);
    const std::vector<int32_t> rows = NearestSources(Top, Height, sourceHeight, visibleTop, visibleHeight);
    TBitmap part;
    part.SetPixelFormat(pf24bit);
    part.SetSize(visibleWidth, visibleHeight);
    for (int32_t y = 0; y < visibleHeight; ++y) {
        uint8_t* out = part.ScanLine(y);
        if (y > 0 && rows[size_t(y)] == rows[size_t(y) - 1]) {
            std::memcpy(out, part.ScanLine(y - 1), size_t(visibleWidth) * 3);
            continue;
        }
        for (int32_t x = 0; x < visibleWidth; ++x) {
            const TRGB colour = Bitmap.GetPixels(columns[size_t(x)], rows[size_t(y)]);
            out[x * 3] = colour.b;
            out[x * 3 + 1] = colour.g;
            out[x * 3 + 2] = colour.r;
        }
    }
    ApplyGamma(part, Gamma);
    Canvas->SetCopyMode(cmSrcCopy);
    Canvas->Draw(visibleLeft, visibleTop, &part);
}

} // namespace

void TKorvaneIO::PrintImagePosEx(TCanvas* Canvas, int32_t DpiX, int32_t DpiY, double X, double Y,
                                 double Width, double Height, double Gamma)
{
    Reencapsulate();
    if (Canvas == nullptr || FKVBitmap == nullptr || FKVBitmap->GetWidth() <= 0 ||
        FKVBitmap->GetHeight() <= 0)
        return;
    const int32_t left = Trunc(DpiX * X);
    const int32_t top = Trunc(DpiY * Y);
    const int32_t width = Trunc(DpiX * Width);
    const int32_t height = Trunc(DpiY * Height);
    TRasterView view;
    if (width <= 0 || height <= 0 || !Canvas->Raster(view) || !ReachesCanvas(view, left, top, width, height))
        return;
    const double zoom = double(width) / FKVBitmap->GetWidth();
    const TResampleFilter filter = ReductionFilter && zoom < 1.0 ? rfFastLinear : rfNone;
    if (FarLargerThanCanvas(view, width, height))
        RenderVisiblePart(*FKVBitmap, Canvas, view, left, top, width, height, filter, Gamma);
    else
        FKVBitmap->RenderToCanvas(Canvas, left, top, width, height, filter, Gamma);
}

void TKorvaneIO::PrintImagePos(TCanvas* Canvas, double X, double Y, double Width, double Height, double Gamma)
{
    if (Canvas == nullptr)
        return;
    PrintImagePosEx(Canvas, GetDeviceCaps(Canvas, LOGPIXELSX), GetDeviceCaps(Canvas, LOGPIXELSY), X, Y, Width,
                    Height, Gamma);
}

void TKorvaneIO::PrintImageEx(TCanvas* Canvas, int32_t DpiX, int32_t DpiY, double PageWidth,
                              double PageHeight, double MarginLeft, double MarginTop, double MarginRight,
                              double MarginBottom, TKVVerticalPos VerticalPos, TKVHorizontalPos HorizontalPos,
                              TKVSize Size, double SpecWidth, double SpecHeight, double Gamma)
{
    Reencapsulate();
    if (Canvas == nullptr || FKVBitmap == nullptr || DpiX <= 0 || DpiY <= 0)
        return;
    int32_t pictureDpiX = FAttachedKorvane != nullptr ? FAttachedKorvane->DPIX() : FParams->DpiX;
    int32_t pictureDpiY = FAttachedKorvane != nullptr ? FAttachedKorvane->DPIY() : FParams->DpiY;
    if (pictureDpiX <= 0)
        pictureDpiX = Kvview::gSystemDPIX;
    if (pictureDpiY <= 0)
        pictureDpiY = Kvview::gSystemDPIY;
    if (FAttachedTImage != nullptr) {
        TBitmap* picture = FAttachedTImage->Picture()->Bitmap();
        if (picture->PixelFormat() != pf1bit && picture->PixelFormat() != pf24bit)
            picture->SetPixelFormat(pf24bit);
        Reencapsulate();
    }
    const TPageLayout layout{PageWidth,   PageHeight,    MarginLeft, MarginTop, MarginRight, MarginBottom,
                             VerticalPos, HorizontalPos, Size,       SpecWidth, SpecHeight};
    const std::optional<TInchRect> place =
        PlacePicture(layout, FKVBitmap->GetWidth(), FKVBitmap->GetHeight(), pictureDpiX, pictureDpiY);
    if (place)
        PrintImagePosEx(Canvas, DpiX, DpiY, place->X, place->Y, place->Width, place->Height, Gamma);
}

void TKorvaneIO::PrintImage(TCanvas* Canvas, double MarginLeft, double MarginTop, double MarginRight,
                            double MarginBottom, TKVVerticalPos VerticalPos, TKVHorizontalPos HorizontalPos,
                            TKVSize Size, double SpecWidth, double SpecHeight, double Gamma)
{
    if (Canvas == nullptr)
        Canvas = Printer()->Canvas();
    const int32_t dpiX = GetDeviceCaps(Canvas, LOGPIXELSX);
    const int32_t dpiY = GetDeviceCaps(Canvas, LOGPIXELSY);
    if (dpiX <= 0 || dpiY <= 0)
        return;
    const double pageWidth = double(GetDeviceCaps(Canvas, HORZRES)) / dpiX;
    const double pageHeight = double(GetDeviceCaps(Canvas, VERTRES)) / dpiY;
    PrintImageEx(Canvas, dpiX, dpiY, pageWidth, pageHeight, MarginLeft, MarginTop, MarginRight, MarginBottom,
                 VerticalPos, HorizontalPos, Size, SpecWidth, SpecHeight, Gamma);
}

void TKorvaneIO::PreviewPrintImage(TBitmap* Destination, int32_t MaxWidth, int32_t MaxHeight,
                                   TPrinter* APrinter, double MarginLeft, double MarginTop,
                                   double MarginRight, double MarginBottom, TKVVerticalPos VerticalPos,
                                   TKVHorizontalPos HorizontalPos, TKVSize Size, double SpecWidth,
                                   double SpecHeight, double Gamma)
{
    if (Destination == nullptr)
        return;
    TPrinter* printer = APrinter != nullptr ? APrinter : Printer();
    const int32_t pageDotsX = printer->PageWidth();
    const int32_t pageDotsY = printer->PageHeight();
    double factor = 0;
    if (pageDotsX > 0 && pageDotsY > 0)
        factor = std::min(double(MaxWidth - 5) / pageDotsX, double(MaxHeight - 5) / pageDotsY);
    const int32_t previewWidth = Trunc(pageDotsX * factor);
    const int32_t previewHeight = Trunc(pageDotsY * factor);
    const int32_t previewDpiX = Trunc(printer->PixelsPerInchX() * factor);
    const int32_t previewDpiY = Trunc(printer->PixelsPerInchY() * factor);

    // Too small a room gives a blank 1 x 1 page.
    Destination->SetPixelFormat(pf24bit);
    Destination->SetSize(1, 1);
    Destination->SetSize(std::max(previewWidth, 1), std::max(previewHeight, 1));
    TCanvas* canvas = Destination->Canvas();
    canvas->Brush()->SetColor(clWhite);
    canvas->Brush()->SetStyle(bsSolid);
    canvas->FillRect(TRect{0, 0, Destination->Width(), Destination->Height()});
    if (previewWidth < 1 || previewHeight < 1 || previewDpiX < 1 || previewDpiY < 1)
        return;

    PrintImageEx(canvas, previewDpiX, previewDpiY, double(previewWidth) / previewDpiX,
                 double(previewHeight) / previewDpiY, MarginLeft, MarginTop, MarginRight, MarginBottom,
                 VerticalPos, HorizontalPos, Size, SpecWidth, SpecHeight, Gamma);

    canvas->Brush()->SetStyle(bsClear);
    canvas->Pen()->SetColor(clBlack);
    canvas->Pen()->SetMode(pmNot);
    canvas->Pen()->SetStyle(psDash);
    canvas->Pen()->SetWidth(1);
    canvas->Rectangle(Trunc(previewDpiX * MarginLeft), Trunc(previewDpiY * MarginTop),
                      Trunc(previewWidth - previewDpiX * MarginRight),
                      Trunc(previewHeight - previewDpiY * MarginBottom));
}
