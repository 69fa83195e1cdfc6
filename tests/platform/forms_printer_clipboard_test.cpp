// Printing to a PDF file, and the clipboard's text, packed DIBs and registered formats.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/core/files.h"
#include "platform/forms/clipboard.h"
#include "platform/forms/printers.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/dib.h"
#include "tests/support/temp_folder.h"

namespace {

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

// Pages of a PDF: "/Type /Page" objects, not the "/Type /Pages" tree.
size_t PdfPages(const std::string& pdf)
{
    return CountOf(pdf, "/Type /Page") - CountOf(pdf, "/Type /Pages");
}

} // namespace

TEST(Printer, PrintsPagesToAPdfFile)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("gallery.pdf");
    TPrinter printer;
    printer.SetOutputFileName(file);
    printer.SetResolution(100);
    printer.SetTitle("Gallery");
    const int32_t width = printer.PageWidth();
    const int32_t height = printer.PageHeight();
    EXPECT_GT(width, 600) << "a sheet is several inches wide at 100 dots per inch";
    EXPECT_GT(height, width);
    printer.SetOrientation(poLandscape);
    EXPECT_EQ(printer.PageWidth(), height);
    printer.SetOrientation(poPortrait);

    printer.BeginDoc();
    EXPECT_TRUE(printer.Printing());
    EXPECT_THROW(printer.BeginDoc(), EPrinter);
    TCanvas* canvas = printer.Canvas();
    EXPECT_EQ(canvas->PixelsPerInchX(), 100);
    EXPECT_EQ(canvas->Pixels(width - 1, height - 1), clWhite) << "a page starts white";
    canvas->Brush()->SetColor(clRed);
    canvas->FillRect(TRect{100, 100, 300, 200});
    canvas->TextOut(100, 250, "Plimbet");
    printer.NewPage();
    EXPECT_EQ(printer.PageNumber(), 2);
    EXPECT_EQ(printer.Canvas()->Pixels(150, 150), clWhite) << "a new page starts white again";
    printer.Canvas()->Ellipse(10, 10, 200, 100);
    printer.EndDoc();
    EXPECT_FALSE(printer.Printing());
    EXPECT_THROW(printer.EndDoc(), EPrinter);

    const std::string pdf = kvtest::TempFolder::Read(file);
    ASSERT_GT(pdf.size(), 1000u);
    EXPECT_EQ(pdf.compare(0, 5, "%PDF-"), 0);
    EXPECT_EQ(PdfPages(pdf), 2u);
}

TEST(Printer, AnAbortedJobLeavesNoFile)
{
    kvtest::TempFolder folder;
    const std::string file = folder.File("aborted.pdf");
    TPrinter printer;
    printer.SetOutputFileName(file);
    printer.SetResolution(72);
    printer.BeginDoc();
    printer.Canvas()->Rectangle(0, 0, 50, 50);
    printer.Abort();
    EXPECT_TRUE(printer.Aborted());
    EXPECT_FALSE(printer.Printing());
    EXPECT_FALSE(FileExists(file));
    printer.BeginDoc();
    EXPECT_FALSE(printer.Aborted()) << "a new job starts afresh";
    printer.EndDoc();
    EXPECT_TRUE(FileExists(file));
}

TEST(Printer, AlwaysOffersAPrinter)
{
    TPrinter printer;
    EXPECT_GE(printer.Printers()->Count(), 1);
    EXPECT_THROW(printer.SetPrinterIndex(printer.Printers()->Count()), EPrinter);
    printer.SetPrinterIndex(-1);
    EXPECT_EQ(printer.PrinterIndex(), -1);
}

TEST(Clipboard, TextRoundTrips)
{
    Clipboard()->SetAsText("Gallery successfully created");
    EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
    EXPECT_EQ(Clipboard()->AsText(), "Gallery successfully created");
    HGLOBAL block = Clipboard()->GetAsHandle(CF_TEXT);
    ASSERT_NE(block, nullptr);
    {
        TGlobalLock lock(block);
        EXPECT_STREQ(reinterpret_cast<const char*>(lock.Data()), "Gallery successfully created");
    }
    GlobalFree(block);
    Clipboard()->Clear();
    EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
    EXPECT_EQ(Clipboard()->GetAsHandle(CF_TEXT), nullptr);
}

TEST(Clipboard, PackedDIBsRoundTripByteForByte)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(3, 2);
    bitmap.Canvas()->SetPixels(0, 0, clRed);
    bitmap.Canvas()->SetPixels(2, 1, clBlue);
    HGLOBAL dib = BitmapToPackedDIB(bitmap);
    ASSERT_NE(dib, nullptr);
    Clipboard()->SetAsHandle(CF_DIB, dib);
    EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));
    HGLOBAL back = Clipboard()->GetAsHandle(CF_DIB);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(GlobalSize(back), GlobalSize(dib));
    {
        TGlobalLock a(dib);
        TGlobalLock b(back);
        EXPECT_EQ(std::memcmp(a.Data(), b.Data(), a.Size()), 0);
    }
    TBitmap pasted;
    ASSERT_TRUE(PackedDIBToBitmap(back, pasted));
    EXPECT_EQ(pasted.Canvas()->Pixels(0, 0), clRed);
    EXPECT_EQ(pasted.Canvas()->Pixels(2, 1), clBlue);
    GlobalFree(back);
    GlobalFree(dib);
}

TEST(Clipboard, RegisteredFormatsKeepTheirNumbersAndAddUpWhileOpen)
{
    const uint16_t vect = RegisterClipboardFormat("KORVANE VECT");
    EXPECT_GE(vect, 0xC000);
    EXPECT_EQ(RegisterClipboardFormat("korvane vect"), vect) << "names compare without regard to case";
    const uint16_t memo = RegisterClipboardFormat("KORVANE TEXTMEMO");
    EXPECT_NE(memo, vect);
    EXPECT_EQ(RegisterClipboardFormat(""), 0);

    Clipboard()->RefuseOpen = true;
    EXPECT_FALSE(Clipboard()->Open()) << "held by another program";
    Clipboard()->RefuseOpen = false;
    EXPECT_TRUE(Clipboard()->Open());
    Clipboard()->SetAsBytes(vect, {1, 2, 3, 0, 255});
    Clipboard()->SetAsText("objects");
    Clipboard()->Close();
    EXPECT_EQ(Clipboard()->GetAsBytes(vect), (std::vector<uint8_t>{1, 2, 3, 0, 255}));
    EXPECT_EQ(Clipboard()->AsText(), "objects");
    EXPECT_FALSE(Clipboard()->HasFormat(memo));

    Clipboard()->SetAsBytes(memo, {9});
    EXPECT_FALSE(Clipboard()->HasFormat(vect)) << "outside Open and Close each call replaces the content";
    EXPECT_EQ(Clipboard()->GetAsBytes(memo), (std::vector<uint8_t>{9}));
    Clipboard()->Clear();
}

TEST(Printer, PagesCanOnlyTurnWhilePrinting)
{
    TPrinter printer;
    EXPECT_THROW(printer.NewPage(), EPrinter);
    EXPECT_THROW(printer.EndDoc(), EPrinter);
    auto widthAt = [&](int32_t dotsPerInch) {
        printer.SetResolution(dotsPerInch);
        TCanvas* measuring = printer.Canvas();
        measuring->Font()->SetName("Arial");
        measuring->Font()->SetSize(10);
        return measuring->TextWidth("Plimbet");
    };
    const int32_t atHigh = widthAt(300);
    const int32_t atLow = widthAt(75);
    EXPECT_GT(atHigh, 3 * atLow) << "text is measured at the printer's resolution";
}
