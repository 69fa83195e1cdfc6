// Korvaneio: the image I/O component TKorvaneIO, which loads and saves the bitmap of an attached
// view or bitmap by file name or stream, its table of registered formats with content detection,
// and the worker threads that run its requests in the background.
#pragma once

#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/message_table.h"
#include "imaging/core/types.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/twain_params.h"
#include "platform/core/classes.h"
#include "platform/core/threads.h"
#include "platform/graphics/colors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class TBitmap;
class TCanvas;
class TFont;
class TForm;
class TImage;
class TKVBitmap;
class TKVView;
class TKVWia;
class TPrinter;
class TStream;
class TKorvaneIO;

namespace Imscan {
class TKVProxyWin;
}

namespace Korvaneio::detail {
struct TWorkState;
}
namespace Kvvfw {
class TAVIReader;
class TAVIWriter;
} // namespace Kvvfw

// One row of the registered-format table.
struct TKVFileFormatInfo
{
    int32_t FileType = 0;   // 1 TIFF, 2 GIF, 3 JPEG, 4 PCX, 5 BMP, 6 ICO, 7 CUR, 8 PNG, 9 WMF,
                            // 10 EMF, 11 TGA, 12 Netpbm, 13 JP2, 14 J2K, 16 WBMP (15 is AVI)
    std::string FullName;   // at most 80 characters
    std::string Extensions; // upper case, without dots, separated by ";" (at most 80 characters)
    TKVReadImageStream ReadFunction = nullptr;
    TKVWriteImageStream WriteFunction = nullptr;
    TKVTryImageStream TryFunction = nullptr;
};

namespace Korvaneio {

// The first record of that id, or nil. Records stay valid until removed.
TKVFileFormatInfo* KVFileFormatGetInfo(int32_t FileType);
// The record of a file extension given without its dot, compared without regard to case.
TKVFileFormatInfo* KVFileFormatGetInfo2(const std::string& Ext);
// The Index-th (from 0) extension of the format, as stored; empty when there is none.
void KVFileFormatGetExt(int32_t FileType, int32_t Index, std::string& Ext);
int32_t KVFileFormatGetExtCount(int32_t FileType);
// Copies of every record, in table order.
std::vector<TKVFileFormatInfo> KVFileFormatRecords();
// Appends a copy of the record. Registrations belong to start-up, before workers run.
void KVFileFormatAdd(const TKVFileFormatInfo& Record);
// Removes (and frees) the first record of that id.
void KVFileFormatRemove(int32_t FileType);
// Lets the GIF record offer reading and writing only when the global LZW hooks are set.
void KVUpdateGIFStatus();
// Whether the file name's extension is in the table (whatever its functions).
bool IsKnownFormat(const std::string& FileName);

// The format id of the stream's content, 0 when unknown; the position is always restored.
int32_t FindStreamFormat(TStream& Stream);
// The format id of a file's content, 0 when unknown or unreadable. With VerifyExtension the
// extension must name the same format; it decides between icon and cursor.
int32_t FindFileFormat(const std::string& FileName, bool VerifyExtension);

// The number of images of an icon file; the file's exceptions pass to the caller.
int32_t EnumICOIm(const std::string& FileName);
// Writes each picture as one image of a new icon file, at the depth its parameters give; false
// (and no file) when it cannot.
bool KVWriteICOImages(const std::string& FileName, std::span<const Bmpfilt::TKVIconImage> Images);

// ---- Pages of TIFF files ----
// The file forms raise the stream's error when a file cannot be opened; a file that is changed
// is written beside itself and renamed over it when complete. Files that are no TIFF are left
// as they are and give no output.
// Rewrites the file without the pages at those indexes; returns the pages kept.
int32_t DeleteTIFFIm(const std::string& FileName, int32_t Index);
int32_t DeleteTIFFImGroup(const std::string& FileName, const std::vector<int32_t>& Indexes);
// The number of pages; only directories are read.
int32_t EnumTIFFIm(const std::string& FileName);
int32_t EnumTIFFStream(TStream& Stream);
// Page Index as a one-page TIFF.
void ExtractTIFFImageStream(TStream& InStream, TStream& OutStream, int32_t Index);
void ExtractTIFFImageFile(const std::string& InFileName, const std::string& OutFileName, int32_t Index);
// The pages of the first TIFF with every page of the second placed before page Index. Files of
// different byte order are not combined.
void InsertTIFFImageStream(TStream& Stream, TStream& ToInsert, TStream& OutStream, int32_t Index);
void InsertTIFFImageFile(const std::string& FileName, const std::string& FileToInsert,
                         const std::string& OutFileName, int32_t Index);

// Rotates, mirrors or cuts a JPEG without recompressing it (Jpegfilt::KVJpegLosslessTransform);
// false when it fails. The file form also fails when a file cannot be opened or created, and
// then leaves no output file.
bool JpegLosslessTransformStream(TStream& Input, TStream& Output, TKVJpegTransform Transform, bool GrayScale,
                                 TKVJpegCopyMarkers CopyMarkers, const TRect& CutRect);
bool JpegLosslessTransform(const std::string& InputFile, const std::string& OutputFile,
                           TKVJpegTransform Transform, bool GrayScale, TKVJpegCopyMarkers CopyMarkers,
                           const TRect& CutRect);

// ---- Frames of GIF files ----
// Rewrites the file (beside itself, renamed over it) without frame Index, counted from 0 in the
// file; returns the frames kept. A file that is no GIF is left as it is (0). A file that cannot
// be opened or written raises.
int32_t DeleteGifIm(const std::string& FileName, int32_t Index);
// The number of frames; 0 for a missing or unreadable file.
int32_t EnumGifIm(const std::string& FileName);
// Whether the GIF starts with the looping extension; false for a missing or unreadable file.
bool CheckAniGif(const std::string& FileName);

} // namespace Korvaneio

// The kinds of request a worker thread runs.
enum TKVIOMethodTypes : uint8_t
{
    kvLoadSaveFile,
    kvLoadSaveStream,
    kvLoadSaveFileRetInt,
    kvRetBool,
    kvLoadSaveStreamRetInt,
    kvLoadSaveFileFormat,
    kvLoadSaveStreamFormat,
    kvCaptureFromScreen,
    kvLoadSaveIndex,
    kvImportMetaFile,
    kvLoadFromURL,
    kvAcquire
};

using TKVIOMethodType_LoadSaveFile = std::function<void(const std::string& nf)>;
using TKVIOMethodType_LoadSaveStream = std::function<void(TStream& Stream)>;
using TKVIOMethodType_LoadSaveFileRetInt = std::function<int32_t(const std::string& nf)>;
using TKVIOMethodType_LoadSaveStreamRetInt = std::function<int32_t(TStream& Stream)>;
using TKVIOMethodType_LoadSaveFileFormat = std::function<void(const std::string& nf, int32_t FileFormat)>;
using TKVIOMethodType_LoadSaveStreamFormat = std::function<void(TStream& Stream, int32_t FileFormat)>;
using TKVIOMethodType_LoadSaveIndex = std::function<void(int32_t Index)>;

// What CaptureFromScreen copies: the whole screen, or this program's active window with or
// without its frame.
enum TKVCSSource : uint8_t
{
    kvcsScreen,
    kvcsForegroundWindow,
    kvcsForegroundWindowClient
};
using TKVIOMethodType_CaptureFromScreen = std::function<void(TKVCSSource Source, int16_t MouseCursor)>;
using TKVIOMethodType_ImportMetaFile =
    std::function<void(const std::string& nf, int32_t Width, int32_t Height, bool WithAlpha)>;
// A type of its own, so that its worker is told apart from a file request's.
struct TKVIOMethodType_LoadFromURL : std::function<void(const std::string& URL)>
{
    using std::function<void(const std::string& URL)>::function;
};

// A worker that runs one request of a TKorvaneIO by calling the same operation again from its
// own thread. It frees itself when done. The requests of one component run one at a time, in the
// order they were made.
//
// A stream request keeps only a reference to the caller's stream: the stream must live until the
// worker has ended (WaitThreads, or OnFinishWork). Freeing it earlier is a use after free.
class TKVIOThread : public TThread
{
public:
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveFile Method, const std::string& nf);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveStream Method, TStream& Stream);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveFileRetInt Method, const std::string& nf);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveStreamRetInt Method, TStream& Stream);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveFileFormat Method, const std::string& nf,
                int32_t FileFormat);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveStreamFormat Method, TStream& Stream,
                int32_t FileFormat);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadFromURL Method, const std::string& URL);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_LoadSaveIndex Method, int32_t Index);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_ImportMetaFile Method, const std::string& nf,
                int32_t Width, int32_t Height, bool WithAlpha);
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodType_CaptureFromScreen Method, TKVCSSource Source,
                int16_t MouseCursor);

    TKVIOMethodTypes Kind() const { return FKind; }

protected:
    void Execute() override;

private:
    TKVIOThread(TKorvaneIO* Owner, TKVIOMethodTypes Kind);
    void Enqueue();
    void RunRequest();

    TKorvaneIO* FOwner;
    TKVIOMethodTypes FKind;
    TKVIOMethodType_LoadSaveFile FLoadSaveFile;
    TKVIOMethodType_LoadSaveStream FLoadSaveStream;
    TKVIOMethodType_LoadSaveFileRetInt FLoadSaveFileRetInt;
    TKVIOMethodType_LoadSaveStreamRetInt FLoadSaveStreamRetInt;
    TKVIOMethodType_LoadSaveFileFormat FLoadSaveFileFormat;
    TKVIOMethodType_LoadSaveStreamFormat FLoadSaveStreamFormat;
    TKVIOMethodType_LoadFromURL FLoadFromURL;
    TKVIOMethodType_LoadSaveIndex FLoadSaveIndex;
    TKVIOMethodType_ImportMetaFile FImportMetaFile;
    TKVIOMethodType_CaptureFromScreen FCaptureFromScreen;
    TKVCSSource FCaptureSource = kvcsScreen;
    int16_t FMouseCursor = 0;
    std::string FFileName;
    TStream* FStream = nullptr;
    int32_t FFileFormat = 0;
    std::string FURL;
    int32_t FIndex = 0;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    bool FWithAlpha = false;
    uint64_t FTicket = 0;

    friend class TKorvaneIO;
};

enum TIOPreviewsParam : uint8_t
{
    ioppDefaultLockPreview,
    ioppApplyButton
};
// A set of TIOPreviewsParam: bit (1 << value) per member.
using TIOPreviewsParams = uint8_t;

// The pages of the save-parameters dialog: every page, the page of Params' file type, or one
// format each.
enum TPreviewParam : uint8_t
{
    ppALL,
    ppAUTO,
    ppJPEG,
    ppTIFF,
    ppGIF,
    ppBMP,
    ppPCX,
    ppPNG,
    ppTGA,
    ppJ2000
};
// A set of TPreviewParam: bit (1 << value) per member.
using TPreviewParams = uint16_t;
constexpr TPreviewParams PreviewSet(TPreviewParam Page)
{
    return TPreviewParams(1u << Page);
}

// Called before the save-parameters dialog opens; setting Handled replaces it (the result is
// then true).
using TKVDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
// Called with a dialog form before it is shown, so that the application can adjust it.
using TKVIOPreviewEvent = std::function<void(TObject* Sender, TForm* PreviewForm)>;

enum TKVDialogsMeasureUnit : uint8_t
{
    kvduInches,
    kvduCm,
    kvduSelectableDefInches,
    kvduSelectableDefCm
};

// The interface through which scanners and cameras are reached.
enum TKVAcquireApi : uint8_t
{
    kvaTWain,
    kvaWIA
};

// Where a printed picture sits between the margins, and how large it is printed.
enum TKVVerticalPos : uint8_t
{
    kvvpTOP,
    kvvpCENTER,
    kvvpBOTTOM
};
enum TKVHorizontalPos : uint8_t
{
    kvhpLEFT,
    kvhpCENTER,
    kvhpRIGHT
};
enum TKVSize : uint8_t
{
    kvsNORMAL,           // the picture's own size, from its resolution
    kvsFITTOPAGE,        // as large as the margins allow, aspect kept
    kvsFITTOPAGESTRETCH, // the whole area between the margins
    kvsSPECIFIEDSIZE     // the width and height given
};
// The print dialog: modal, or the resizable preview window.
enum TKVDialogType : uint8_t
{
    kvdtDialog,
    kvdtMaxi
};

// Called for each acquired page; setting Handled keeps the page out of the working bitmap.
using TKVAcquireBitmapEvent = std::function<void(TObject* Sender, TKVBitmap* ABitmap, bool& Handled)>;

// Window message that asks an image view to run Update; workers post it instead of painting.
constexpr uint32_t KVM_UPDATE = 8024;

// Loads files and streams into one working bitmap and saves it, choosing the codec by extension,
// by format id or by content. The working bitmap is its own, a TKVBitmap of the caller, a wrapped
// TBitmap or TImage picture, or the bitmap of an attached view.
//
// Every load and save ends with DoFinishWork (OnProgress with 100, then OnFinishWork), also after
// a failure; failure shows as Aborting, and ErrorText says why. A file that cannot be opened or
// created raises the stream exception after DoFinishWork.
//
// Before a save, a pixel format other than kv24RGB and kv1g is converted to kv24RGB in the working
// bitmap itself, so kv16g and kv32f pictures lose their extra precision there. A file is written
// under a temporary name and takes its own name only when the save succeeded, so a failed save
// leaves any earlier file as it was.
//
// With AsyncMode set, on a bitmap it does not own, requests run on TKVIOThread workers, one at a
// time and in order; OnProgress, OnFinishWork and the view's ImageChange are then called on the
// worker, and the view's repaint is posted to it as KVM_UPDATE.
class TKorvaneIO : public TComponent
{
public:
    explicit TKorvaneIO(TComponent* AOwner);
    ~TKorvaneIO() override;

    // ---- The working bitmap and the target it belongs to ----
    TKVBitmap* KVBitmap() const { return FKVBitmap; }
    // Works on that bitmap from now on (nil for none); the component never frees a bitmap it did
    // not create.
    void SetKVBitmap(TKVBitmap* Value);
    // The class-library bitmap the working bitmap keeps its pixels in, else the wrapped one.
    virtual TBitmap* GetBitmap();
    // Wraps Value in the working bitmap; no attachment changes.
    void SetBitmap(TBitmap* Value);

    TKVBitmap* AttachedKVBitmap() const { return FKVBitmap; }
    void SetAttachedKVBitmap(TKVBitmap* Value);
    TBitmap* AttachedBitmap() const { return FBitmap; }
    void SetAttachedBitmap(TBitmap* Value);
    TImage* AttachedTImage() const { return FAttachedTImage; }
    void SetTImage(TImage* Value);
    TKVView* AttachedKorvane() const { return FAttachedKorvane; }
    void SetAttachedKorvane(TKVView* Value);

    // The attached view's background, else the component's own.
    TColor GetReBackground() const;
    void SetReBackground(TColor Value);

    TKVDitherMethod DefaultDitherMethod() const { return FDefaultDitherMethod; }
    void SetDefaultDitherMethod(TKVDitherMethod Value);

    TFont* PreviewFont() const { return FPreviewFont.get(); }
    void SetPreviewFont(TFont* Value);

    // The per-image parameters: filled by every load, obeyed by every save.
    TIOParamsVals& Params() { return *FParams; }
    // Copies the parameters of another TKorvaneIO; other objects are ignored.
    void AssignParams(TObject* Source);
    void AssignParams(const TIOParamsVals& Source);

    // The outcome of the last operation: true when it failed or was cancelled.
    bool Aborting = false;
    // Why the last operation failed. A load or save that ends with Aborting set, or raises, leaves
    // here the message of what it raised (a file that cannot be opened, created or committed names
    // the file and the system's reason), the system's reason where the codec's data could not be
    // written whole ("No space left on device", "Disk quota exceeded"), else what stopped it (no
    // picture to save, a damaged picture, a cancel). Every operation starts with it empty; it stays
    // so after one that succeeded. Read it, as Aborting, once the operation has ended (after
    // WaitThreads for one on a worker).
    const std::string& ErrorText() const;
    // Write a 12-byte length header before JPEG data in streams (JPEG loading always honours one).
    bool StreamHeaders = false;
    bool AsyncMode = false;
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    TMsgLanguage MsgLanguage = msSystem;
    TIOPreviewsParams PreviewsParams = 0;
    bool SimplifiedParamsDialogs = true;
    TKVDialogsMeasureUnit DialogsMeasureUnit = kvduInches;
    std::string ProxyAddress;
    std::string ProxyUser;
    std::string ProxyPassword;

    TKVProgressEvent OnProgress;
    TNotifyEvent OnFinishWork;
    TKVDoPreviewsEvent OnDoPreviews;
    TKVIOPreviewEvent OnIOPreview;

    // Repaints the attached view (ImageChange follows), or marks an attached TBitmap modified.
    void Update();
    // OnProgress with 100, then OnFinishWork.
    virtual void DoFinishWork();
    // Makes the horizontal and vertical resolution of the picture equal by resampling.
    void AdjustDPI();

    // ---- Dialogs ----
    // Lets the user choose the saving parameters of the pages in Pages, previewing them on a copy
    // of the working bitmap, and writes them into Params when the dialog ends with OK (or its
    // Apply button was used). True when it ended with OK, or OnDoPreviews handled the request;
    // false when Pages names nothing to show (ppAUTO alone for a file type without a page). It
    // does not save, and leaves the working bitmap as it is.
    virtual bool DoPreviews(TPreviewParams Pages);

    // ---- Workers ----
    bool IsInsideAsyncThreads() const;
    // Waits until every worker has ended; with Abort, asks running codecs to stop and leaves
    // Aborting true. Called from inside a worker it does not wait, as the worker waits for no one.
    void WaitThreads(bool Abort);
    int32_t GetThreadsCount() const;
    int32_t GetAsyncRunning() const { return GetThreadsCount(); }

    // ---- Loading and saving by extension, format id or content ----
    virtual void LoadFromFile(const std::string& FileName);
    virtual void SaveToFile(const std::string& FileName);
    virtual void LoadFromFileFormat(const std::string& FileName, int32_t FileType);
    virtual void LoadFromStream(TStream& Stream);
    virtual void LoadFromStreamFormat(TStream& Stream, int32_t FileType);
    virtual void SaveToStream(TStream& Stream, int32_t FileType);

    // ---- Loading by URL ----
    // Fetches an "http://" URL (scheme in any case; "http://host" asks for "/") with a GET request
    // and loads the body as LoadFromStream does, by content. Direct, or through ProxyAddress with
    // ProxyUser and ProxyPassword sent to the proxy only. Up to 5 redirects to http URLs are
    // followed. Aborting is set for any other scheme, a failed connection or request, a status
    // outside 200..299, a body over 256 MiB, 30 s without a connection, 60 s without data, or an
    // Aborting set while the body arrives. Params.FileName stays empty.
    virtual void LoadFromURL(const std::string& URL);

    // ---- AVI frames ----
    // One AVI file is open at a time, for reading or for writing. LoadFromFile reads frame 0 of
    // an ".avi" file this way, and Params then holds the file's name and file type 15.
    //
    // Opens the file (closing any AVI file open) and returns the number of frames of its first
    // video stream; 0 with Aborting set when it has none or the file cannot be read. Params takes
    // the file name, file type 0 and the frame count.
    int32_t OpenAVIFile(const std::string& FileName);
    // Loads frame Index of the open file: kv24RGB, or kv8p for 8-bit palette video; Params takes
    // its size, depth, the screen resolution and the frame delay in milliseconds. An index
    // outside 0 .. count - 1, no open file or an undecodable frame set Aborting and load nothing.
    void LoadFromAVI(int32_t Index);
    // Closes the file; a file being written gets its name now, when every frame was written.
    void CloseAVIFile();
    // Starts a new AVI file at Rate / Scale frames per second, with the compressor Codec names
    // ("DIB " or "MJPG", padded with blanks; any case), or the one the user chooses when Codec is
    // empty. Another codec, a rate or scale below 1 or a cancelled choice set Aborting. A file
    // that cannot be created raises EInvalidGraphic. Motion JPEG frames take Params.JPEG_Quality
    // unless the user chose a quality.
    void CreateAVIFile(const std::string& FileName, int32_t Rate, const std::string& Codec,
                       int32_t Scale = 1);
    // Appends the working bitmap (converted to kv24RGB unless kv1g) as the next frame: 8-bit with
    // its own palette when Params says 8 bits and 1 sample per pixel and the video is
    // uncompressed, else 24-bit. The first frame fixes the size and depth; a frame of another
    // size or depth, one past the 1 GiB limit of the format, a failed write, or no file open for
    // writing set Aborting (a failed write also leaves no file at close).
    void SaveToAVI();

    // ---- Printing ----
    // Lengths are inches, resolutions dots per inch. Printing draws the working bitmap through
    // RenderToCanvas; a picture drawn smaller than its own size is filtered while ReductionFilter
    // is set. An empty bitmap, an empty or negative size, or margins that leave no room between
    // them print nothing. Starting and ending the print job is the caller's.
    //
    // Draws the picture with its top-left corner X, Y inches from the canvas's origin, Width by
    // Height inches large, on a device of DpiX by DpiY dots per inch.
    void PrintImagePosEx(TCanvas* Canvas, int32_t DpiX, int32_t DpiY, double X, double Y, double Width,
                         double Height, double Gamma);
    // As PrintImagePosEx at the canvas's own resolution.
    void PrintImagePos(TCanvas* Canvas, double X, double Y, double Width, double Height, double Gamma);
    // Places the picture on a page of PageWidth by PageHeight inches, between the margins, by the
    // positions and the size mode; SpecWidth and SpecHeight are the size of kvsSPECIFIEDSIZE. The
    // picture's resolution is the attached view's, else that of Params (the screen's when 0).
    void PrintImageEx(TCanvas* Canvas, int32_t DpiX, int32_t DpiY, double PageWidth, double PageHeight,
                      double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                      TKVVerticalPos VerticalPos, TKVHorizontalPos HorizontalPos, TKVSize Size,
                      double SpecWidth, double SpecHeight, double Gamma);
    // As PrintImageEx on the canvas's page (the printer's when Canvas is nil), its size and
    // resolution taken from the canvas.
    void PrintImage(TCanvas* Canvas, double MarginLeft, double MarginTop, double MarginRight,
                    double MarginBottom, TKVVerticalPos VerticalPos, TKVHorizontalPos HorizontalPos,
                    TKVSize Size, double SpecWidth, double SpecHeight, double Gamma);
    // Draws into Destination (24-bit) a reduced picture of the page that PrintImage would print on
    // APrinter (the application's printer when nil), at most MaxWidth - 5 by MaxHeight - 5 pixels
    // large: a white page, the picture, and the margins outlined with an inverting dashed line.
    void PreviewPrintImage(TBitmap* Destination, int32_t MaxWidth, int32_t MaxHeight, TPrinter* APrinter,
                           double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                           TKVVerticalPos VerticalPos, TKVHorizontalPos HorizontalPos, TKVSize Size,
                           double SpecWidth, double SpecHeight, double Gamma);
    // Printing draws a picture reduced below its own size with a resampling filter.
    bool ReductionFilter = true;
    // The print dialogs first return the printer to its default settings.
    bool PrinterReset = true;
    // Shows the modal print dialog (kvdtDialog) or the print-preview window (kvdtMaxi) for the
    // working bitmap, with the component's measure unit, language and preview font; the print
    // job takes TaskName. True when the dialog closed with OK; false for any other type.
    bool DoPrintPreviewDialog(TKVDialogType DialogType, const std::string& TaskName);

    // ---- Metafiles ----
    // Renders a WMF or EMF file into the working bitmap (kv24RGB) at Width x Height: a negative
    // side follows the other in the picture's proportions, both negative give its own size, and
    // a side over 2800 pixels brings the longer one down to 2800. A side of 0 asked for does
    // nothing; a side that comes out 0, a file that is not a metafile or a picture of no size set
    // Aborting. The picture is drawn on the Background colour; WithAlpha makes what it leaves
    // undrawn transparent in the alpha channel. LoadFromFile imports ".wmf" and ".emf" names at
    // their own size with alpha. A file that cannot be opened raises after the finish event.
    void ImportMetafile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha);
    // Draws the metafile, sized as ImportMetafile does, over the working bitmap with its top-left
    // corner at (x, y), leaving what it does not draw unchanged. Params stays as it is.
    void MergeMetafile(const std::string& FileName, int32_t x, int32_t y, int32_t Width, int32_t Height);

    // ---- Screen capture ----
    // Copies the screen, or this program's active window (with or without its frame; the parts
    // beyond the screen's edges left out), into the working bitmap as kv24RGB, with an arrow where
    // the mouse pointer is unless MouseCursor is crNone (-1). Params takes the size, the screen
    // resolution and file type 0. Nothing to capture (no active window) sets Aborting and leaves
    // the picture as it was. Always grabs on the user-interface thread.
    void CaptureFromScreen(TKVCSSource Source, int16_t MouseCursor);

    // ---- File dialogs with a preview ----
    // The open or save dialog, starting in InitialDir at InitialFileName with filter FilterIndex
    // (from 1), offering the readable (writable) formats and ExtendedFilters
    // ("description|pattern|..."). The save dialog's Advanced button edits Params, and a cancel
    // restores them. Returns the chosen file name, "" when cancelled; nothing is loaded or saved.
    std::string ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                  bool AlwaysAnimate, int32_t FilterIndex,
                                  const std::string& ExtendedFilters);
    std::string ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                  bool AlwaysAnimate, int32_t FilterIndex,
                                  const std::string& ExtendedFilters);

    // ---- File edits ----
    // Adds the working bitmap (converted to kv24RGB unless kv1g) as a frame of an existing GIF
    // file, before frame Params().GIF_ImageIndex, placed at GIF_XPos, GIF_YPos; the logical screen
    // in Params grows to hold it, and the file loops forever over that screen. Returns the frames
    // of the file afterwards (-1 when the request went to a worker). The file is rewritten beside
    // itself and renamed over it.
    //
    // A file edit that fails leaves the file byte for byte as it was and sets Aborting, also when
    // it raises. A file that is no GIF (or JPEG, or little-endian TIFF) only sets Aborting; a file
    // that cannot be opened raises the stream's error after the finish event, and a write that
    // fails (a full disk) may raise it too.
    int32_t InsertToFileGif(const std::string& FileName);
    // Replaces the IPTC records of a JPEG file by Params().IPTC_Info; true when it did. Failures
    // as for InsertToFileGif.
    bool InjectJpegIPTC(const std::string& FileName);
    // The same from stream to stream; Aborting and the events are left alone.
    bool InjectJpegIPTCStream(TStream& InStream, TStream& OutStream);

    // ---- Reading the parameters only, without pixels, never on a worker ----
    virtual void ParamsFromFile(const std::string& FileName);
    virtual void ParamsFromFileFormat(const std::string& FileName, int32_t FileType);
    virtual void ParamsFromStream(TStream& Stream);
    virtual void ParamsFromStreamFormat(TStream& Stream, int32_t FileType);

    // ---- Per-format front ends ----
    void LoadFromFileJpeg(const std::string& FileName);
    // Honours a "JFIF" stream header and leaves the stream after the picture it announces.
    void LoadFromStreamJpeg(TStream& Stream);
    void SaveToFileJpeg(const std::string& FileName);
    void SaveToStreamJpeg(TStream& Stream);

    // The GIF loaders return the number of frames (-1 when the load went to a worker).
    int32_t LoadFromFileGif(const std::string& FileName);
    int32_t LoadFromStreamGif(TStream& Stream);
    void SaveToFileGif(const std::string& FileName);
    void SaveToStreamGif(TStream& Stream);

    void LoadFromFilePNG(const std::string& FileName);
    void LoadFromStreamPNG(TStream& Stream);
    void SaveToFilePNG(const std::string& FileName);
    void SaveToStreamPNG(TStream& Stream);

    void LoadFromFileBMP(const std::string& FileName);
    void LoadFromStreamBMP(TStream& Stream);
    void SaveToFileBMP(const std::string& FileName);
    void SaveToStreamBMP(TStream& Stream);

    // The TIFF loaders decode the page at Params().TIFF_ImageIndex and return the file's page
    // count (-1 when the load went to a worker); an index past the last page sets Aborting.
    int32_t LoadFromFileTIFF(const std::string& FileName);
    // With StreamHeaders the TIFF must follow a "TIFF" header, and the stream is left after the
    // data it announces. Offsets count from where the TIFF begins.
    int32_t LoadFromStreamTIFF(TStream& Stream);
    void SaveToFileTIFF(const std::string& FileName);
    void SaveToStreamTIFF(TStream& Stream);
    // Adds the working bitmap as a page of an existing little-endian TIFF file, before page
    // Params().TIFF_ImageIndex (after the last when the index is past it); returns the pages of
    // the file afterwards, which after a failure are those it had. The file is rewritten beside
    // itself and renamed over it; failures as for InsertToFileGif.
    int32_t InsertToFileTIFF(const std::string& FileName);

    void LoadFromFilePCX(const std::string& FileName);
    // With StreamHeaders, honours a "PCX2" (or older "PCX") stream header and fails without one.
    void LoadFromStreamPCX(TStream& Stream);
    void SaveToFilePCX(const std::string& FileName);
    // With StreamHeaders, writes a "PCX2" stream header before the picture.
    void SaveToStreamPCX(TStream& Stream);

    // The image that ICO_ImageIndex (CUR_ImageIndex) names; an index past the directory fails.
    // Cursors are read only.
    void LoadFromFileICO(const std::string& FileName);
    void LoadFromStreamICO(TStream& Stream);
    void LoadFromFileCUR(const std::string& FileName);
    void LoadFromStreamCUR(TStream& Stream);
    // One icon image for each leading entry of ICO_Sizes with a width, at ICO_BitCount's depth.
    void SaveToFileICO(const std::string& FileName);
    void SaveToStreamICO(TStream& Stream);

    void LoadFromFileTGA(const std::string& FileName);
    void LoadFromStreamTGA(TStream& Stream);
    void SaveToFileTGA(const std::string& FileName);
    void SaveToStreamTGA(TStream& Stream);

    // JP2 files and code streams; either loader reads either kind.
    void LoadFromFileJP2(const std::string& FileName);
    void LoadFromStreamJP2(TStream& Stream);
    void LoadFromFileJ2K(const std::string& FileName);
    void LoadFromStreamJ2K(TStream& Stream);
    void SaveToFileJP2(const std::string& FileName);
    void SaveToStreamJP2(TStream& Stream);
    void SaveToFileJ2K(const std::string& FileName);
    void SaveToStreamJ2K(TStream& Stream);

    void LoadFromFilePXM(const std::string& FileName);
    void LoadFromStreamPXM(TStream& Stream);
    void SaveToFilePXM(const std::string& FileName);
    void SaveToStreamPXM(TStream& Stream);

    // WBMP is never told by content: LoadFromStream does not find it.
    void LoadFromFileWBMP(const std::string& FileName);
    void LoadFromStreamWBMP(TStream& Stream);
    void SaveToFileWBMP(const std::string& FileName);
    void SaveToStreamWBMP(TStream& Stream);

    // ---- Acquisition from scanners and cameras ----
    // The scanner settings, with the last TWAIN error.
    TKVTWainParams& TWainParams();
    // Acquires one image into the working bitmap, modally, on the calling thread (also in
    // AsyncMode); true when one arrived. Aborting tells a failed or cancelled acquisition.
    bool Acquire(TKVAcquireApi Api = kvaTWain);
    // The dialog that chooses the source or device; true when one was chosen.
    bool SelectAcquireSource(TKVAcquireApi Api = kvaTWain);
    // Starts a modeless TWAIN acquisition, which needs an attached view: every page arrives
    // through OnAcquireBitmap and, unless handled, replaces the working bitmap. Acquire does
    // nothing while it is open.
    bool AcquireOpen();
    void AcquireClose();
    bool AcquireIsOpen() const { return FAcquireHandle != nullptr; }
    // The WIA client, made on first use.
    virtual TKVWia* GetWIAParams();
    TKVAcquireBitmapEvent OnAcquireBitmap;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual void DoAcquireBitmap(TKVBitmap* ABitmap, bool& Handled);
    // Called by the TWAIN client for each page and when the source closes.
    virtual void TWMultiCallBack(TKVBitmap* Bitmap, TIOParamsVals*& ParamsObject);
    virtual void TWCloseCallBack();
    // The WIA client's progress: false asks the transfer to stop.
    bool WiaOnProgress(int32_t Percent);

private:
    // Attachment.
    void RemoveViewCallback();
    void OnBitmapChange(TObject* Sender, bool Destroying);
    void WaitForTargetChange();
    void TakeFreshOwnBitmap();
    void WrapBitmap(TBitmap* Value);
    void ForgetView();
    void ForgetTImage();
    void TargetGone();

    // The asynchronous rule: true when the request went to a worker.
    bool MustRunAsync() const;
    bool DispatchFile(void (TKorvaneIO::*Method)(const std::string&), const std::string& nf);
    bool DispatchStream(void (TKorvaneIO::*Method)(TStream&), TStream& Stream);
    bool DispatchFileRetInt(int32_t (TKorvaneIO::*Method)(const std::string&), const std::string& nf);
    bool DispatchStreamRetInt(int32_t (TKorvaneIO::*Method)(TStream&), TStream& Stream);
    bool DispatchFileFormat(void (TKorvaneIO::*Method)(const std::string&, int32_t), const std::string& nf,
                            int32_t FileType);
    bool DispatchStreamFormat(void (TKorvaneIO::*Method)(TStream&, int32_t), TStream& Stream,
                              int32_t FileType);

    // The steps shared by the front ends.
    TProgressRec MakeProgressRec(bool WithEvent = true);
    // Runs Body in the component's turn, then DoFinishWork, also when Body raised. ErrorText, empty
    // as every operation starts, is set before DoFinishWork when Body raised or left Aborting set:
    // to the exception's message, to what Body put there, or else to Failure.
    void RunOperation(const char* Failure, const std::function<void()>& Body);
    void RunOperation(const std::function<void()>& Body) { RunOperation(nullptr, Body); }
    void Reencapsulate();
    void PrepareLoad();
    // Readies the working bitmap for a writer. False, with Aborting set, when there is none or it
    // holds no picture (a load failed): no save writes an empty picture over a file or a stream.
    bool PrepareSave();
    void TakeAlphaMask(std::unique_ptr<TKVMask>& Mask);
    void EndLoad(const std::string& FileName, int32_t FileType, bool SetViewDpi);
    // Loads of formats without a front end end with Aborting set and the finish event; saves
    // with Aborting set only.
    void NoFrontEndLoad();
    void NoFrontEndSave();
    void LoadFileFrontEnd(const std::string& FileName, int32_t FileType);
    void LoadStreamFrontEnd(TStream& Stream, int32_t FileType);

    // The load and save sequences around one codec call.
    using TCodecCall = std::function<void(TStream& Stream, TProgressRec& Progress)>;
    void LoadFileWith(const std::string& FileName, int32_t FileType, bool SetViewDpi,
                      const TCodecCall& Decode);
    void LoadStreamWith(TStream& Stream, int32_t FileType, bool SetViewDpi, const TCodecCall& Decode);
    void SaveFileWith(const std::string& FileName, const TCodecCall& Encode);
    void SaveStreamWith(TStream& Stream, const TCodecCall& Encode);
    // Encode on Stream; a write that came up short, which the codec turns into Aborting only,
    // leaves its reason in ErrorText.
    void EncodeTellingWhy(TStream& Stream, TProgressRec& Progress, const TCodecCall& Encode);

    // The codec calls with what each format adds around them.
    void ReadJpeg(TStream& Stream, TKVBitmap& Target, TProgressRec& Progress, bool ParamsOnly);
    bool UpdateIPTCMarker();
    bool UpdateEXIFMarker();
    void WriteJpeg(TStream& Stream, TProgressRec& Progress);
    int32_t ReadGifFrame(TStream& Stream, TProgressRec& Progress);
    void ReadPNG(TStream& Stream, TProgressRec& Progress);
    int32_t ReadTIFF(TStream& Stream, TProgressRec& Progress);
    void WritePNG(TStream& Stream, TProgressRec& Progress);
    bool IconIndexInRange(TStream& Stream, bool Cursor);
    void ReadIcon(TStream& Stream, TKVBitmap& Target, TProgressRec& Progress, bool Cursor, bool ParamsOnly);
    void WriteIcon(TStream& Stream, TProgressRec& Progress);
    void ReadTGA(TStream& Stream, TProgressRec& Progress);
    void WriteTGA(TStream& Stream, TProgressRec& Progress);

    // Generic paths through the format table.
    void LoadFileThroughTable(const std::string& FileName, const TKVFileFormatInfo* Info, bool CatchErrors);
    void LoadStreamThroughTable(TStream& Stream, int32_t FileType);
    void SaveFileThroughTable(const std::string& FileName, const TKVFileFormatInfo* Info);
    void SaveStreamThroughTable(TStream& Stream, int32_t FileType);
    void ReadParams(TStream& Stream, int32_t FileType, int64_t DataLength, TProgressRec& Progress);

    TBitmap* FBitmap = nullptr;
    TKVBitmap* FKVBitmap = nullptr;
    bool FOwnsBitmap = true;
    TKVView* FAttachedKorvane = nullptr;
    int32_t FCallbackHandle = -1;
    TImage* FAttachedTImage = nullptr;
    TColor FBackground = 0;
    std::unique_ptr<TFont> FPreviewFont;
    TKVDitherMethod FDefaultDitherMethod = kvThreshold;
    std::unique_ptr<TIOParamsVals> FParams;
    std::unique_ptr<Korvaneio::detail::TWorkState> FWork;
    std::unique_ptr<Kvvfw::TAVIReader> FAVIReader;
    std::unique_ptr<Kvvfw::TAVIWriter> FAVIWriter;
    std::unique_ptr<TKVTWainParams> FTWainParams;
    std::unique_ptr<TKVWia> FWia;
    Imscan::TKVProxyWin* FAcquireHandle = nullptr;

    friend class TKVIOThread;
    friend struct Korvaneio::detail::TWorkState;
};
