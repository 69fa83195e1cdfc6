// The printer: printer choice, page setup, and print jobs drawn on a canvas. The canvas draws
// into a raster of the page at the printer's resolution; each finished page goes to the printer
// as an image. A job can also go to a PDF file (OutputFileName), which is how tests print.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/classes.h"
#include "platform/core/exceptions.h"
#include "platform/core/lists.h"

class TBitmap;
class TCanvas;
class QPrinter;
class QPainter;

enum TPrinterOrientation : uint8_t
{
    poPortrait,
    poLandscape
};

class EPrinter : public Exception
{
public:
    using Exception::Exception;
};

class TPrinter : public TObject
{
public:
    TPrinter();
    ~TPrinter() override;

    // The printers the system offers; "PDF file" when it offers none.
    TStrings* Printers();
    // -1 chooses the default printer. Raises EPrinter for an index out of range.
    int32_t PrinterIndex() const { return FPrinterIndex; }
    void SetPrinterIndex(int32_t Value);
    // While not empty, jobs go to this PDF file instead of the printer.
    const std::string& OutputFileName() const { return FOutputFileName; }
    void SetOutputFileName(const std::string& Value);

    // Starts a job; raises EPrinter when one is running or the printer cannot be opened.
    void BeginDoc();
    // Sends the last page and ends the job.
    void EndDoc();
    void NewPage();
    // Drops the job; nothing more is printed.
    void Abort();
    bool Printing() const { return FPrinting; }
    bool Aborted() const { return FAborted; }
    int32_t PageNumber() const { return FPageNumber; }

    // The page's canvas, in printer dots (valid while printing; before that it measures a page).
    TCanvas* Canvas();
    // The printable area in dots at the printer's resolution.
    int32_t PageWidth();
    int32_t PageHeight();
    // Dots per inch, across and down.
    int32_t PixelsPerInchX() const { return FResolution; }
    int32_t PixelsPerInchY() const { return FResolution; }
    // The resolution of the page raster (default 300); set it before BeginDoc.
    void SetResolution(int32_t DotsPerInch);

    TPrinterOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TPrinterOrientation Value);
    // The job's name, shown by the print queue.
    const std::string& Title() const { return FTitle; }
    void SetTitle(const std::string& Value) { FTitle = Value; }
    int32_t Copies() const { return FCopies; }
    void SetCopies(int32_t Value);

    // Returns the printer to its default settings (page size, orientation, copies).
    void ResetToDefaults();
    // Internal: the printer object that the platform's dialogs change, and taking its settings
    // back after such a dialog.
    QPrinter* Device();
    void SyncFromDevice();

private:
    void ApplySettings();
    void StartPage();
    void FlushPage();
    void Finish();

    std::unique_ptr<QPrinter> FPrinter;
    std::unique_ptr<QPainter> FPainter;
    std::unique_ptr<TStringList> FPrinters;
    std::unique_ptr<TBitmap> FPage;
    std::string FOutputFileName;
    std::string FTitle;
    int32_t FPrinterIndex = -1;
    int32_t FResolution = 300;
    int32_t FCopies = 1;
    int32_t FPageNumber = 0;
    TPrinterOrientation FOrientation = poPortrait;
    bool FPrinting = false;
    bool FAborted = false;
};

// The application's printer.
TPrinter* Printer();
