// Printing placed by the inch: where the picture lands on a canvas, what is not printed at all,
// the filter a reduced picture is drawn with, the preview of a page, and a real print job to a
// PDF file that poppler's tools read back.
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview_globals.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/printers.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <tuple>

using namespace kviotest;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The box of pixels that are not white, right and bottom exclusive; empty when all are white.
struct TBox
{
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TBox&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TBox& box)
{
    return out << "(" << box.Left << ", " << box.Top << ")-(" << box.Right << ", " << box.Bottom << ")";
}

bool IsWhite(const uint8_t* pixel)
{
    return pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255;
}

template <typename TIsWhite> TBox InkBoxOf(int32_t width, int32_t height, TIsWhite isWhite)
{
    TBox box{width, height, 0, 0};
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            if (!isWhite(x, y)) {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
        }
    }
    return box.Right == 0 ? TBox{} : box;
}

TBox InkBox(const TBitmap& page)
{
    return InkBoxOf(page.Width(), page.Height(),
                    [&](int32_t x, int32_t y) { return IsWhite(page.ScanLine(y) + x * 3); });
}

// Poppler draws the PDF's page image smoothed: a dot counts as ink below half-white.
TBox InkBox(TKVBitmap& page)
{
    return InkBoxOf(page.GetWidth(), page.GetHeight(), [&](int32_t x, int32_t y) {
        const TRGB pixel = page.GetPixels(x, y);
        return pixel.g >= 128 && pixel.b >= 128;
    });
}

// A white page of the given size in inches, at DpiX by DpiY dots per inch.
std::unique_ptr<TBitmap> WhitePage(double widthInches, double heightInches, int32_t dpiX, int32_t dpiY)
{
    auto page = std::make_unique<TBitmap>();
    page->SetPixelFormat(pf24bit);
    page->SetSize(int32_t(widthInches * dpiX), int32_t(heightInches * dpiY));
    page->Canvas()->SetPixelsPerInch(dpiX, dpiY);
    page->Canvas()->Brush()->SetColor(clWhite);
    page->Canvas()->FillRect(TRect{0, 0, page->Width(), page->Height()});
    return page;
}

void FillSolid(TKVBitmap& bitmap, int32_t width, int32_t height, TRGB colour)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            bitmap.SetPixels_kv24RGB(x, y, colour);
}

const TRGB kRed{0, 0, 255};

// A component owning a solid red picture of that size and resolution.
struct TRedPicture
{
    TRedPicture(int32_t width, int32_t height, int32_t dpiX, int32_t dpiY) : io(nullptr)
    {
        FillSolid(*io.KVBitmap(), width, height, kRed);
        io.Params().DpiX = dpiX;
        io.Params().DpiY = dpiY;
    }
    TKorvaneIO io;
};

struct TPlacementCase
{
    const char* name;
    int32_t width, height, pictureDpiX, pictureDpiY;
    int32_t pageDpiX, pageDpiY;
    double margins[4]; // left, top, right, bottom
    TKVVerticalPos vertical;
    TKVHorizontalPos horizontal;
    TKVSize size;
    double specWidth, specHeight;
    TBox expected;
};

} // namespace

// Pages of 9 x 11 inches; every position is a whole number of dots, so the box is exact.
TEST(Printing, PlacesThePictureByTheInch)
{
    // clang-format off
    const TPlacementCase cases[] = {
        // 300 x 150 at 150 dpi is 2 x 1 inches.
        {"normal", 300, 150, 150, 150, 20, 20, {0.5, 0.5, 0.5, 0.5}, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0, {10, 10, 50, 30}},
        // A resolution of 0 is the screen's: 96 x 48 pixels are 1 x 0.5 inches.
        {"normal, no resolution", 96, 48, 0, 0, 20, 20, {1, 1, 1, 1}, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0, {20, 20, 40, 30}},
        {"normal, bottom right", 300, 150, 150, 150, 20, 20, {1, 1, 1, 1}, kvvpBOTTOM, kvhpRIGHT, kvsNORMAL, 0, 0, {120, 180, 160, 200}},
        // 400 x 200 on 8 x 10 inches between the margins: 8 x 4 inches at (0.5, 3.5).
        {"fit, centred", 400, 200, 100, 100, 20, 20, {0.5, 0.5, 0.5, 0.5}, kvvpCENTER, kvhpCENTER, kvsFITTOPAGE, 0, 0, {10, 70, 170, 150}},
        // A small picture is enlarged: 10 x 40 fits the 10 inches of height, 2.5 wide.
        {"fit enlarges", 10, 40, 16, 16, 20, 20, {0.5, 0.5, 0.5, 0.5}, kvvpTOP, kvhpRIGHT, kvsFITTOPAGE, 0, 0, {120, 10, 170, 210}},
        {"stretch", 50, 50, 72, 72, 20, 20, {1, 0.5, 2, 1.5}, kvvpBOTTOM, kvhpCENTER, kvsFITTOPAGESTRETCH, 0, 0, {20, 10, 140, 190}},
        {"specified", 50, 50, 72, 72, 20, 20, {1, 1, 1, 1}, kvvpCENTER, kvhpLEFT, kvsSPECIFIEDSIZE, 3, 2, {20, 90, 80, 130}},
        // Unequal device resolutions: every length keeps its inches.
        {"normal, 20 x 40 dpi", 300, 150, 150, 150, 20, 40, {0.5, 0.5, 0.5, 0.5}, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0, {10, 20, 50, 60}},
        // Fitting keeps the picture's own aspect: 8 x 4 inches, not the 8 x 2 that dividing by
        // the device's resolutions would give.
        {"fit, 20 x 40 dpi", 400, 200, 100, 100, 20, 40, {0.5, 0.5, 0.5, 0.5}, kvvpTOP, kvhpLEFT, kvsFITTOPAGE, 0, 0, {10, 20, 170, 180}},
        // Fitting a picture of unequal resolutions: 200 x 200 at 100 x 50 dpi is 2 x 4 inches.
        {"fit, picture 100 x 50 dpi", 200, 200, 100, 50, 20, 20, {0.5, 0.5, 0.5, 0.5}, kvvpTOP, kvhpLEFT, kvsFITTOPAGE, 0, 0, {10, 10, 110, 210}},
        // A picture partly off the page is cut by it.
        {"specified, past the page", 50, 50, 72, 72, 20, 20, {8, 10, 0, 0}, kvvpTOP, kvhpLEFT, kvsSPECIFIEDSIZE, 3, 3, {160, 200, 180, 220}},
    };
    // clang-format on
    for (const TPlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        TRedPicture picture(c.width, c.height, c.pictureDpiX, c.pictureDpiY);
        auto page = WhitePage(9, 11, c.pageDpiX, c.pageDpiY);
        picture.io.PrintImage(page->Canvas(), c.margins[0], c.margins[1], c.margins[2], c.margins[3],
                              c.vertical, c.horizontal, c.size, c.specWidth, c.specHeight, 1.0);
        EXPECT_EQ(InkBox(*page), c.expected);
        const uint8_t* inside = page->ScanLine(c.expected.Top) + c.expected.Left * 3;
        EXPECT_EQ(inside[2], 255);
        EXPECT_EQ(inside[1], 0);
    }
}

TEST(Printing, PrintsNothingWithoutPictureOrRoom)
{
    struct TCase
    {
        const char* name;
        double margins[4];
        TKVSize size;
        double specWidth, specHeight;
    } cases[] = {
        {"margins wider than the page", {5, 1, 5, 1}, kvsNORMAL, 0, 0},
        {"margins exactly the page", {4.5, 1, 4.5, 1}, kvsFITTOPAGESTRETCH, 0, 0},
        {"margins wider, specified size", {10, 1, 0, 1}, kvsSPECIFIEDSIZE, 1, 1},
        {"margin not a number", {kNaN, 1, 1, 1}, kvsFITTOPAGE, 0, 0},
        {"specified size 0", {1, 1, 1, 1}, kvsSPECIFIEDSIZE, 0, 2},
        {"specified size negative", {1, 1, 1, 1}, kvsSPECIFIEDSIZE, 2, -2},
        {"specified size infinite", {1, 1, 1, 1}, kvsSPECIFIEDSIZE, 2, kInfinity},
        {"size mode out of range", {1, 1, 1, 1}, TKVSize(7), 2, 2},
        {"left of the page", {-20, 1, 10, 1}, kvsSPECIFIEDSIZE, 2, 2},
        {"below the page", {1, 12, 1, -20}, kvsSPECIFIEDSIZE, 2, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TRedPicture picture(40, 20, 72, 72);
        auto page = WhitePage(9, 11, 20, 20);
        picture.io.PrintImage(page->Canvas(), c.margins[0], c.margins[1], c.margins[2], c.margins[3],
                              kvvpCENTER, kvhpCENTER, c.size, c.specWidth, c.specHeight, 1.0);
        EXPECT_EQ(InkBox(*page), TBox{});
    }

    // An empty picture, at any size mode.
    for (TKVSize size : {kvsNORMAL, kvsFITTOPAGE, kvsFITTOPAGESTRETCH, kvsSPECIFIEDSIZE}) {
        TKorvaneIO io(nullptr);
        auto page = WhitePage(9, 11, 20, 20);
        io.PrintImage(page->Canvas(), 1, 1, 1, 1, kvvpTOP, kvhpLEFT, size, 2, 2, 1.0);
        io.PrintImagePos(page->Canvas(), 1, 1, 2, 2, 1.0);
        EXPECT_EQ(InkBox(*page), TBox{});
    }
    // No working bitmap, no canvas, a device without resolution.
    TRedPicture picture(40, 20, 72, 72);
    auto page = WhitePage(9, 11, 20, 20);
    picture.io.PrintImageEx(page->Canvas(), 0, 20, 9, 11, 1, 1, 1, 1, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0,
                            1.0);
    picture.io.PrintImagePos(nullptr, 1, 1, 1, 1, 1.0);
    picture.io.SetKVBitmap(nullptr);
    picture.io.PrintImage(page->Canvas(), 1, 1, 1, 1, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0, 1.0);
    EXPECT_EQ(InkBox(*page), TBox{});
}

// A picture drawn smaller than its own size is filtered while the reduction filter is on;
// enlarged, or with the filter off, it is sampled. The gamma reaches the renderer.
TEST(Printing, DrawsReducedPicturesFiltered)
{
    struct TCase
    {
        const char* name;
        bool reductionFilter;
        double inches; // printed width and height at 20 dpi of a 40 x 40 picture
        double gamma;
        TResampleFilter expected;
    } cases[] = {
        {"reduced", true, 1, 1.0, rfFastLinear},
        {"reduced, filter off", false, 1, 1.0, rfNone},
        {"enlarged", true, 3, 1.0, rfNone},
        {"own size", true, 2, 1.0, rfNone},
        {"reduced with gamma", true, 1.5, 2.2, rfFastLinear},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 40, 40, 3);
        io.ReductionFilter = c.reductionFilter;
        auto printed = WhitePage(4, 4, 20, 20);
        io.PrintImagePos(printed->Canvas(), 0.5, 0.5, c.inches, c.inches, c.gamma);

        const int32_t side = int32_t(c.inches * 20);
        auto rendered = WhitePage(4, 4, 20, 20);
        io.KVBitmap()->RenderToCanvas(rendered->Canvas(), 10, 10, side, side, c.expected, c.gamma);
        auto other = WhitePage(4, 4, 20, 20);
        io.KVBitmap()->RenderToCanvas(other->Canvas(), 10, 10, side, side,
                                      c.expected == rfNone ? rfFastLinear : rfNone, c.gamma);
        int32_t sameAsExpected = 0, sameAsOther = 0;
        for (int32_t y = 0; y < printed->Height(); ++y) {
            sameAsExpected +=
                std::memcmp(printed->ScanLine(y), rendered->ScanLine(y), printed->Width() * 3) == 0;
            sameAsOther += std::memcmp(printed->ScanLine(y), other->ScanLine(y), printed->Width() * 3) == 0;
        }
        EXPECT_EQ(sameAsExpected, printed->Height());
        if (side != 40) { // at its own size both filters draw the same pixels
            EXPECT_LT(sameAsOther, printed->Height());
        }
    }
}

// A print far larger than the page (1000 inches square, 20000 dots at 20 dpi) is drawn where it
// meets the page only, in the same places and colours, without scaling the whole picture.
TEST(Printing, DrawsOnlyThePagePartOfAHugePrint)
{
    TKorvaneIO io(nullptr);
    const TRGB blue{255, 0, 0}, green{0, 255, 0}, black{0, 0, 0}, grey{64, 64, 64};
    io.KVBitmap()->Allocate(4, 4, kv24RGB);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            io.KVBitmap()->SetPixels_kv24RGB(x, y, y < 2 ? (x < 2 ? kRed : blue) : (x < 2 ? green : black));
    // The quarters meet 500 inches into the picture: at (5, 3) inches on the page.
    auto page = WhitePage(9, 11, 20, 20);
    io.PrintImagePos(page->Canvas(), -495, -497, 1000, 1000, 1.0);
    EXPECT_EQ(InkBox(*page), (TBox{0, 0, 180, 220}));
    for (auto [x, y, colour] : {std::tuple{98, 58, kRed},
                                {101, 58, blue},
                                {98, 61, green},
                                {101, 61, black},
                                {0, 0, kRed},
                                {179, 219, black}}) {
        const uint8_t* pixel = page->ScanLine(y) + x * 3;
        EXPECT_TRUE((TRGB{pixel[0], pixel[1], pixel[2]} == colour)) << x << ", " << y;
    }

    // The gamma is applied as on a picture printed at a page's size.
    FillSolid(*io.KVBitmap(), 4, 4, grey);
    auto huge = WhitePage(9, 11, 20, 20);
    io.PrintImagePos(huge->Canvas(), -10, -10, 1000, 1000, 2.2);
    auto small = WhitePage(9, 11, 20, 20);
    io.PrintImagePos(small->Canvas(), 0, 0, 2, 2, 2.2);
    EXPECT_EQ(huge->ScanLine(5)[5 * 3], small->ScanLine(5)[5 * 3]);
    EXPECT_GT(huge->ScanLine(5)[5 * 3], 64);
}

// Reduced, the part of a print that reaches the page is filtered as the whole picture would be.
TEST(Printing, FiltersThePagePartOfALargePrint)
{
    TKorvaneIO io(nullptr);
    io.KVBitmap()->Allocate(800, 800, kv24RGB);
    for (int32_t y = 0; y < 800; ++y)
        for (int32_t x = 0; x < 800; ++x)
            io.KVBitmap()->SetPixels_kv24RGB(x, y,
                                             TRGB{uint8_t(x / 4), uint8_t(y / 4), uint8_t((x + y) / 8)});
    // 25 inches at 20 dpi is 500 dots a side, more than four times the page.
    auto page = WhitePage(9, 11, 20, 20);
    io.PrintImagePos(page->Canvas(), -3, -2, 25, 25, 1.0);
    auto whole = WhitePage(30, 30, 20, 20);
    io.KVBitmap()->RenderToCanvas(whole->Canvas(), 0, 0, 500, 500, rfFastLinear, 1.0);
    EXPECT_EQ(InkBox(*page), (TBox{0, 0, 180, 220}));
    int32_t worst = 0;
    for (int32_t y = 0; y < 220; ++y) {
        for (int32_t x = 0; x < 180; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                worst = std::max(worst, std::abs(page->ScanLine(y)[x * 3 + c] -
                                                 whole->ScanLine(y + 40)[(x + 60) * 3 + c]));
            }
        }
    }
    EXPECT_LE(worst, 2);
}

// The picture's resolution is that of a TImage's picture, which is drawn in 24 bits.
TEST(Printing, PrintsTheAttachedPicture)
{
    TImage image(nullptr);
    TBitmap* bitmap = image.Picture()->Bitmap();
    bitmap->SetPixelFormat(pf8bit);
    bitmap->SetSize(40, 20);
    bitmap->Canvas()->Brush()->SetColor(clBlack);
    bitmap->Canvas()->FillRect(TRect{0, 0, 40, 20});
    TKorvaneIO io(nullptr);
    io.SetTImage(&image);
    io.Params().DpiX = 20;
    io.Params().DpiY = 10;
    auto page = WhitePage(9, 11, 20, 20);
    io.PrintImage(page->Canvas(), 1, 1, 1, 1, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0, 1.0);
    EXPECT_EQ(InkBox(*page), (TBox{20, 20, 60, 60}));
    EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
    EXPECT_EQ(page->ScanLine(30)[30 * 3], 0);
}

// The preview is a white page as large as the room allows, the picture on it where the printer
// would print it, and the margins outlined by an inverting dashed line.
TEST(Printing, PreviewShowsThePageReduced)
{
    // A page of 20 x 40 inches at 100 dpi, printable to its edges: 2000 x 4000 dots.
    TPrinter printer;
    printer.SetResolution(100);
    printer.Device()->setPageSize(QPageSize(QSizeF(20, 40), QPageSize::Inch));
    printer.Device()->setPageMargins(QMarginsF(0, 0, 0, 0));
    ASSERT_EQ(printer.PageWidth(), 2000);
    ASSERT_EQ(printer.PageHeight(), 4000);

    // A room of 205 x 205 gives a preview of 100 x 200 pixels at 5 dpi. The 4 x 2 inch picture
    // fits 18 x 38 inches between 1-inch margins as 18 x 9 inches.
    TRedPicture picture(400, 200, 100, 100);
    TBitmap preview;
    picture.io.PreviewPrintImage(&preview, 205, 205, &printer, 1, 1, 1, 1, kvvpTOP, kvhpLEFT, kvsFITTOPAGE, 0,
                                 0, 1.0);
    EXPECT_EQ(preview.Width(), 100);
    EXPECT_EQ(preview.Height(), 200);
    EXPECT_EQ(preview.PixelFormat(), pf24bit);
    EXPECT_EQ(InkBox(preview), (TBox{5, 5, 95, 195}));
    for (auto [x, y, red] : {std::tuple{10, 10, true}, {93, 48, true}, {50, 51, false}, {50, 150, false}}) {
        const uint8_t* pixel = preview.ScanLine(y) + x * 3;
        EXPECT_EQ(pixel[2] == 255 && pixel[1] == 0, red) << x << ", " << y;
        EXPECT_EQ(IsWhite(pixel), !red) << x << ", " << y;
    }
    // The outline's bottom edge: inverted (black) and skipped (white) dots.
    int32_t black = 0, white = 0;
    for (int32_t x = 6; x < 94; ++x) {
        const uint8_t* pixel = preview.ScanLine(194) + x * 3;
        black += pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
        white += IsWhite(pixel);
    }
    EXPECT_GT(black, 10);
    EXPECT_GT(white, 10);
    EXPECT_EQ(black + white, 88);

    // No room at all, or not a dot per inch: a blank page of one pixel, or a blank page.
    picture.io.PreviewPrintImage(&preview, 5, 300, &printer, 1, 1, 1, 1, kvvpTOP, kvhpLEFT, kvsFITTOPAGE, 0,
                                 0, 1.0);
    EXPECT_EQ(preview.Width(), 1);
    EXPECT_EQ(preview.Height(), 1);
    EXPECT_TRUE(IsWhite(preview.ScanLine(0)));
    picture.io.PreviewPrintImage(&preview, 10, 10, &printer, 0, 0, 0, 0, kvvpTOP, kvhpLEFT,
                                 kvsFITTOPAGESTRETCH, 0, 0, 1.0);
    EXPECT_EQ(InkBox(preview), TBox{});
}

// A job to a PDF file: poppler renders the page, and the picture sits where the inches say,
// counted from the printable area's corner.
TEST(Printing, PrintsToPdfWhereTheInchesSay)
{
    kvtest::TempFolder folder;
    const std::string pdf = folder.File("print.pdf");
    // The application's printer, which PrintImage takes without a canvas.
    TPrinter& printer = *Printer();
    printer.SetResolution(100);
    printer.SetOutputFileName(pdf);
    const QRect paint = printer.Device()->pageLayout().paintRectPixels(100);

    // 200 x 100 pixels at 100 dpi: 2 x 1 inches, 1.5 inches from the left, 2 from the top; then
    // a page with the same picture 3 x 1.5 inches large at the bottom right.
    TRedPicture picture(200, 100, 100, 100);
    printer.BeginDoc();
    picture.io.PrintImage(printer.Canvas(), 1.5, 2, 1, 1, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0, 1.0);
    printer.NewPage();
    picture.io.PrintImage(nullptr, 1, 1, 0.5, 0.25, kvvpBOTTOM, kvhpRIGHT, kvsSPECIFIEDSIZE, 3, 1.5, 1.0);
    printer.EndDoc();
    const int32_t pageWidth = printer.PageWidth(), pageHeight = printer.PageHeight();
    printer.SetOutputFileName("");
    printer.SetResolution(300);

    int status = 0;
    const std::string info = RunTool("pdfinfo '" + pdf + "'", &status);
    ASSERT_EQ(status, 0) << info;
    const size_t pageCount = info.find("Pages:");
    ASSERT_NE(pageCount, std::string::npos) << info;
    EXPECT_EQ(std::stoi(info.substr(pageCount + 6)), 2) << info;

    const struct
    {
        int page;
        TBox expected; // in dots of the printable area
    } pages[] = {
        {1, {150, 200, 350, 300}},
        {2, {pageWidth - 50 - 300, pageHeight - 25 - 150, pageWidth - 50, pageHeight - 25}},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE(p.page);
        const std::string png = folder.File("page-" + std::to_string(p.page));
        RunTool("pdftoppm -r 100 -png -singlefile -f " + std::to_string(p.page) + " -l " +
                    std::to_string(p.page) + " '" + pdf + "' '" + png + "'",
                &status);
        ASSERT_EQ(status, 0);
        TKorvaneIO reader(nullptr);
        reader.LoadFromFilePNG(png + ".png");
        ASSERT_FALSE(reader.Aborting);
        const TBox box = InkBox(*reader.KVBitmap());
        EXPECT_NEAR(box.Left, paint.left() + p.expected.Left, 2);
        EXPECT_NEAR(box.Top, paint.top() + p.expected.Top, 2);
        EXPECT_NEAR(box.Right, paint.left() + p.expected.Right, 2);
        EXPECT_NEAR(box.Bottom, paint.top() + p.expected.Bottom, 2);
    }
}
