// Printing the working bitmap on a canvas placed by the inch, and the reduced picture of a printed
// page that the print dialogs show.
#include "imaging/core/kvbitmap.h"
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
#include <cmath>
#include <optional>

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

// A canvas's rectangle that a picture drawn at (Left, Top), Width by Height dots large, cannot
// reach: such a picture is not drawn at all.
bool OutsideCanvas(TCanvas* Canvas, int64_t Left, int64_t Top, int64_t Width, int64_t Height)
{
    TRasterView view;
    if (!Canvas->Raster(view))
        return true;
    return Left >= view.Width || Top >= view.Height || Left + Width <= 0 || Top + Height <= 0;
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
    if (width <= 0 || height <= 0 || OutsideCanvas(Canvas, left, top, width, height))
        return;
    const double zoom = double(width) / FKVBitmap->GetWidth();
    const TResampleFilter filter = ReductionFilter && zoom < 1.0 ? rfFastLinear : rfNone;
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
