// TPrinter over the platform's printer: pages are drawn into a raster at the printer's
// resolution and sent to the printer (or a PDF file) as images.
#include "platform/forms/printers.h"

#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <cstdio>

#include "platform/forms/detail/qt_bridge.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

using namespace FormsDetail;

namespace {

const char* const kPdfPrinterName = "PDF file";

} // namespace

TPrinter::TPrinter() : FPrinters(std::make_unique<TStringList>()) {}

TPrinter::~TPrinter()
{
    if (FPrinting) {
        Abort();
    }
}

QPrinter* TPrinter::Device()
{
    if (!FPrinter) {
        EnsureQtApplication();
        FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
        // A sheet of A4 with a 10 mm border that no printer needs for its paper grip, whatever
        // the locale would choose; a printer chosen later brings its own page.
        FPrinter->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                            QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        ApplySettings();
    }
    return FPrinter.get();
}

TStrings* TPrinter::Printers()
{
    EnsureQtApplication();
    FPrinters->Clear();
    for (const QString& name : QPrinterInfo::availablePrinterNames()) {
        FPrinters->Add(FromQ(name));
    }
    if (FPrinters->Count() == 0) {
        FPrinters->Add(kPdfPrinterName);
    }
    return FPrinters.get();
}

void TPrinter::SetPrinterIndex(int32_t Value)
{
    if (FPrinting) {
        throw EPrinter("Cannot change the printer while printing");
    }
    if (Value < -1 || Value >= Printers()->Count()) {
        throw EPrinter("Printer index out of range");
    }
    FPrinterIndex = Value;
    ApplySettings();
}

void TPrinter::SetOutputFileName(const std::string& Value)
{
    if (FPrinting) {
        throw EPrinter("Cannot change the output while printing");
    }
    FOutputFileName = Value;
    ApplySettings();
}

void TPrinter::SetResolution(int32_t DotsPerInch)
{
    if (FPrinting) {
        throw EPrinter("Cannot change the resolution while printing");
    }
    FResolution = std::clamp(DotsPerInch, 36, 1200);
    ApplySettings();
}

void TPrinter::SetOrientation(TPrinterOrientation Value)
{
    if (FPrinting) {
        throw EPrinter("Cannot change the orientation while printing");
    }
    FOrientation = Value;
    ApplySettings();
}

void TPrinter::SetCopies(int32_t Value)
{
    FCopies = std::max(Value, 1);
    ApplySettings();
}

void TPrinter::ApplySettings()
{
    if (!FPrinter) {
        return;
    }
    const std::vector<std::string> printers = Printers()->ToVector();
    const bool toFile = !FOutputFileName.empty() || printers.front() == kPdfPrinterName;
    if (toFile) {
        FPrinter->setOutputFormat(QPrinter::PdfFormat);
        FPrinter->setOutputFileName(ToQ(FOutputFileName));
    } else {
        FPrinter->setOutputFormat(QPrinter::NativeFormat);
        if (FPrinterIndex >= 0 && FPrinterIndex < int32_t(printers.size())) {
            FPrinter->setPrinterName(ToQ(printers[size_t(FPrinterIndex)]));
        } else {
            FPrinter->setPrinterName(QPrinterInfo::defaultPrinterName());
        }
    }
    FPrinter->setResolution(FResolution);
    FPrinter->setPageOrientation(FOrientation == poLandscape ? QPageLayout::Landscape
                                                             : QPageLayout::Portrait);
    FPrinter->setCopyCount(FCopies);
}

void TPrinter::SyncFromDevice()
{
    QPrinter* device = Device();
    FOrientation = device->pageLayout().orientation() == QPageLayout::Landscape ? poLandscape : poPortrait;
    FCopies = std::max(device->copyCount(), 1);
    if (device->outputFormat() == QPrinter::PdfFormat && !device->outputFileName().isEmpty()) {
        FOutputFileName = FromQ(device->outputFileName());
    } else {
        FPrinterIndex = Printers()->IndexOf(FromQ(device->printerName()));
    }
}

void TPrinter::ResetToDefaults()
{
    if (FPrinting) {
        throw EPrinter("Cannot reset the printer while printing");
    }
    FPrinter.reset();
    FOrientation = poPortrait;
    FCopies = 1;
    Device();
}

int32_t TPrinter::PageWidth()
{
    return Device()->pageLayout().paintRectPixels(FResolution).width();
}

int32_t TPrinter::PageHeight()
{
    return Device()->pageLayout().paintRectPixels(FResolution).height();
}

TCanvas* TPrinter::Canvas()
{
    if (!FPage) {
        // Outside a job the canvas only measures: a tiny page at the printer's resolution.
        FPage = std::make_unique<TBitmap>();
        FPage->SetPixelFormat(pf24bit);
        FPage->SetSize(1, 1);
    }
    FPage->Canvas()->SetPixelsPerInch(FResolution, FResolution);
    return FPage->Canvas();
}

void TPrinter::BeginDoc()
{
    if (FPrinting) {
        throw EPrinter("Printing in progress");
    }
    QPrinter* device = Device();
    ApplySettings();
    if (device->outputFormat() == QPrinter::PdfFormat && device->outputFileName().isEmpty()) {
        throw EPrinter("There is no default printer currently selected");
    }
    device->setDocName(ToQ(FTitle));
    FPainter = std::make_unique<QPainter>();
    if (!FPainter->begin(device)) {
        FPainter.reset();
        throw EPrinter("The printer could not start the job");
    }
    FPrinting = true;
    FAborted = false;
    FPageNumber = 1;
    StartPage();
}

void TPrinter::StartPage()
{
    FPage = std::make_unique<TBitmap>();
    FPage->SetPixelFormat(pf24bit);
    FPage->SetSize(PageWidth(), PageHeight());
    TCanvas* canvas = Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(clWhite);
    canvas->FillRect(TRect{0, 0, FPage->Width(), FPage->Height()});
}

void TPrinter::FlushPage()
{
    if (!FPage || FPage->Empty()) {
        return;
    }
    const QImage image(FPage->ScanLine(0), FPage->Width(), FPage->Height(), FPage->RowLength(),
                       QImage::Format_BGR888);
    FPainter->drawImage(QRect(0, 0, FPage->Width(), FPage->Height()), image);
}

void TPrinter::NewPage()
{
    if (!FPrinting) {
        throw EPrinter("Printer is not currently printing");
    }
    FlushPage();
    FPrinter->newPage();
    ++FPageNumber;
    StartPage();
}

void TPrinter::EndDoc()
{
    if (!FPrinting) {
        throw EPrinter("Printer is not currently printing");
    }
    FlushPage();
    Finish();
}

void TPrinter::Abort()
{
    if (!FPrinting) {
        return;
    }
    FAborted = true;
    FPrinter->abort();
    const bool toFile = FPrinter->outputFormat() == QPrinter::PdfFormat;
    const QString file = FPrinter->outputFileName();
    Finish();
    // A half-written file is no print-out.
    if (toFile && !file.isEmpty()) {
        std::remove(file.toLocal8Bit().constData());
    }
}

void TPrinter::Finish()
{
    if (FPainter) {
        FPainter->end();
        FPainter.reset();
    }
    FPage.reset();
    FPrinting = false;
}

TPrinter* Printer()
{
    static auto* printer = new TPrinter;
    return printer;
}
