// TKorvaneProc, the processing component: applies the workers to an attached bitmap, class-library
// bitmap, picture or view (on the view's selection when it has one), with undo and redo.
#pragma once

#include "imaging/core/message_table.h"
#include "imaging/core/types.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/proc/kvfft.h"
#include "platform/core/classes.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class TBitmap;
class TFont;
class TForm;
class TImage;
class TKVBitmap;
class TKVMask;
class TKVView;
class TMemoryStream;

// What an undo or redo entry holds.
enum TKVUndoSource : uint8_t
{
    kvuUnknown,
    kvuImage,
    kvuSelection
};

// Options of the processing preview dialog (a set of TPRPreviewsParamsItems).
enum TPRPreviewsParamsItems : uint8_t
{
    prppDefaultLockPreview
};
using TPRPreviewsParams = uint8_t;

// The pages of the processing preview dialog (a set of TPreviewEffect, one bit each).
enum TPreviewEffect : uint8_t
{
    peAll,
    peContrast,
    peHSV,
    peHSL,
    peRGB,
    peUserFilt,
    peEqualize,
    peBumpMap,
    peLens,
    peWave,
    peMorph,
    peRotate,
    peFFT,
    peGamma,
    peSharpen
};
using TPreviewEffects = uint16_t;
constexpr TPreviewEffects PreviewEffect(TPreviewEffect e)
{
    return static_cast<TPreviewEffects>(1u << e);
}

using TKVPreviewEvent = std::function<void(TObject* Sender, TForm* PreviewForm)>;

class TKorvaneProc : public TComponent
{
public:
    explicit TKorvaneProc(TComponent* AOwner);
    ~TKorvaneProc() override;

    // ---- Target ----
    TKVView* AttachedKorvane() const { return FView; }
    void SetAttachedKorvane(TKVView* v);
    void SetAttachedKVBitmap(TKVBitmap* b);
    void SetAttachedBitmap(TBitmap* t);
    TImage* AttachedTImage() const { return FImage; }
    void SetTImage(TImage* i);
    // The working bitmap of every operation (nullptr: every operation returns at once), and the
    // class-library bitmap it wraps, if any.
    TKVBitmap* KVBitmap() const { return FKVBitmap; }
    TBitmap* Bitmap() const { return FBitmap; }

    TColor GetReBackground() const;
    void SetReBackground(TColor Value);

    // The area a call works on: (0, 0, width, height), or the bounding box of the view's selection
    // (x2, y2 one past the last pixel) with the result true. An image view hands out its mask even
    // without a selection.
    virtual bool GetReSel(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, TPoint*& PolySel,
                          int32_t& PolySelCount, TKVMask*& Mask);
    // Repaints the view (Update, then ImageChange) or marks the class-library bitmap modified.
    void Update();

    // ---- Undo and redo ----
    virtual void SaveUndo(TKVUndoSource Source);
    virtual void Undo();
    virtual void UndoAt(int32_t i);
    virtual void SaveRedo(TKVUndoSource Source);
    virtual void ClearRedo();
    virtual void Redo();
    virtual void RedoAt(int32_t i);
    void SaveUndoCaptioned(const std::string& Caption, TKVUndoSource Source);
    void SaveRedoCaptioned(const std::string& Caption, TKVUndoSource Source);
    // Kind of the entry at list position i (0 is the oldest).
    TKVUndoSource UndoPeekAt(int32_t i) const;
    TKVUndoSource RedoPeekAt(int32_t i) const;
    void ClearUndo();
    // i counted from the newest entry, as UndoAt, UndoCaptions and RedoCaptions count.
    void ClearUndoAt(int32_t i);
    void ClearAllUndo();
    void ClearAllRedo();
    bool CanUndo() const { return !FUndo.empty(); }
    int32_t UndoCount() const { return static_cast<int32_t>(FUndo.size()); }
    int32_t RedoCount() const { return static_cast<int32_t>(FRedo.size()); }
    std::string UndoCaptions(int32_t i) const;
    void SetUndoCaptions(int32_t i, const std::string& Caption);
    std::string RedoCaptions(int32_t i) const;
    int32_t UndoLimit() const { return FUndoLimit; }
    void SetUndoLimit(int32_t Value);

    // ---- Operations ----
    void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
    void ConvertTo(int32_t NumColors, TKVDitherMethod DitherMethod);
    // Palette must hold 2 entries (NumColors below 3) or NumColors entries; a shorter one is refused.
    void ConvertToPalette(int32_t NumColors, std::span<TRGB> Palette, TKVDitherMethod DitherMethod);
    void ConvertToBWOrdered();
    void ConvertToBWThreshold(int32_t Threshold);
    void ConvertTo24Bit();
    void CalcImagePalette(std::span<TRGB> Palette, int32_t MaxCol);
    void Flip(TFlipDir Dir);
    void ImageResize(int32_t NewWidth, int32_t NewHeight, TKVHAlign HAlign, TKVVAlign VAlign);
    void CropSel();
    // Background -1 takes the component's background colour.
    void Rotate(double Angle, bool Antialias, TKVAntialiasMode AntialiasMode, TColor Background = -1);
    void GetHistogram(PHistogram Hist);
    int32_t CalcImageNumColors();
    void CalcDensityHistogram(std::span<int32_t> RowArray, std::span<int32_t> ColArray, int32_t RowScale,
                              int32_t ColScale);
    int32_t GetDominantColor(TRGB& Color);
    void HistAutoEqualize();
    void HistEqualize(TRGB LoThresh, TRGB HiThresh);
    std::unique_ptr<TKVBitmap> GetRGBChannel(int32_t Channel);
    std::unique_ptr<TKVBitmap> GetHSVChannel(int32_t Channel);
    void GetRGBChannelAll(TKVBitmap* BitmapR, TKVBitmap* BitmapG, TKVBitmap* BitmapB);
    void GetHSVChannelAll(TKVBitmap* BitmapH, TKVBitmap* BitmapS, TKVBitmap* BitmapV);

    // ---- Clipboard and selection ----
    // The clipboard carries packed DIBs (CF_DIB); a clipboard that cannot be opened changes nothing.
    void CopyToClipboard();
    void SelCopyToClip();
    void SelCutToClip();
    void PasteFromClipboard();
    // Pastes with the picture's corner at (x, y) of the image.
    void PointPasteFromClip(int32_t x, int32_t y);
    void SelPasteFromClipStretch();
    void Clear();
    void ClearSel();

    // ---- Filters and colour adjustments ----
    void ApplyFilter(const TGraphFilter& Filter);
    void ApplyFilterPreset(TKVFilterPresets Preset);
    void Contrast(int32_t Contrast);
    void HSLvar(int32_t oHue, int32_t oSat, int32_t oLum);
    void HSVvar(int32_t oHue, int32_t oSat, int32_t oVal);
    void IntensityRGBall(int32_t r, int32_t g, int32_t b);
    void ConvertToGray();
    void Negative();
    void GammaCorrect(double Gamma, TKVChannels Channels);
    void Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal);
    void CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor);
    void SetTransparentColors(TRGB MinColor, TRGB MaxColor, int32_t Alpha);
    void Fill(TRGB Colour);

    // ---- Blur, sharpen, morphology, median and Wallis filters ----
    void Blur(double Radius);
    void AddSoftShadow(double Radius, int32_t OffsetX, int32_t OffsetY, bool AdaptSize, TColor ShadowColor);
    void Sharpen(int32_t Intensity, int32_t Neighbourhood);
    void Maximum(int32_t WindowSize);
    void Minimum(int32_t WindowSize);
    void Opening(int32_t WindowSize);
    void Closing(int32_t WindowSize);
    void MedianFilter(int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5, int32_t p6,
                      TKVMedFilType Type);
    void WallisFilter(int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5, int32_t p6, int32_t p7,
                      bool Binary);

    // ---- Effects, marks, merge and comparison ----
    void BumpMapping(int32_t LightX, int32_t LightY, int32_t LightWidth, int32_t LightHeight,
                     int32_t KeepPercent, TRGB Colour);
    void Lens(int32_t x, int32_t y, int32_t width, int32_t height, double Refraction);
    void Wave(int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective);
    void PaintMark(int32_t Spacing, TRGB Colour);
    void MergeKVBitmap(TKVBitmap* Other, int32_t Percent);
    void Merge(TBitmap* Other, int32_t Percent);
    void PaintPenMarker(int32_t x, int32_t y, int32_t Width, TColor Color, TColor ReferenceColor,
                        int32_t Tolerance);
    bool ComputeImageEquality(TKVBitmap* Other, double& psnrMin, double& psnrMax, double& mseMin,
                              double& mseMax, double& rmseMin, double& rmseMax, double& peakMin,
                              double& peakMax, double& meanMin, double& meanMax);

    // ---- Edge and skew detection ----
    void EdgeDetect_ShenCastan(double Ratio, double Smoothing, int32_t WindowSize, int32_t ThinFactor,
                               bool DoHysteresis);
    double SkewDetection(int32_t ResampleWidth, int32_t AngleRange, double Precision, bool EdgeDetect);
    double SkewDetectionFine(double StartingAngle, double Resolution, int32_t Range, bool Complete);
    // 90 when the picture's columns contrast more than its rows (text running down), else 0.
    int32_t CalcOrientation();

    // ---- Frequency-domain image ----
    // The transform of the image (stretched first to Width x Height when either is not negative;
    // a negative one follows the other's aspect ratio); nullptr without a kv24RGB image.
    std::unique_ptr<TKVFtImage> FTCreateImage(TKVFtImageType ImageType, int32_t Width, int32_t Height);
    // The image becomes the spectrum, or the picture rebuilt from the transform; no undo entry.
    void FTDisplayFrom(TKVFtImage* FtImage);
    void FTConvertFrom(TKVFtImage* FtImage);

    // ---- Noise removal for 1-bit images ----
    void RemoveIsolatedPixels(int32_t Colour, int32_t MaxCount);
    void RemoveNoise(int32_t Iterations, bool Inverse);

    // ---- Data hidden in the pixels of a kv24RGB image ----
    // Payload bytes the picture holds (negative below 22 pixels; 0 for other formats).
    int32_t GetHiddenDataSpace();
    // Stores what fits of Size bytes and returns how many were stored.
    int32_t WriteHiddenData(const void* Data, int32_t Size);
    int32_t WriteHiddenText(const std::string& Text);
    // Reads at most Size payload bytes into Buffer and returns the stored length (nullptr and 0:
    // only the length), which never exceeds the picture's capacity.
    int32_t ReadHiddenData(void* Buffer, int32_t Size);
    std::string ReadHiddenText();

    // ---- Settings ----
    bool AutoUndo = true;
    // Where image snapshots keep their pixels.
    TKVLocation UndoLocation = kvFile;
    TKVProgressEvent OnProgress;
    // Opens the processing preview dialog on the pages of Effects over the image or its selected
    // area; true when the user accepted, and the processed area then replaces the area (through
    // the selection's mask when there is one). False without showing anything for an image that
    // is not kv24RGB or whose sides are both below 2.
    bool DoPreviews(TPreviewEffects Effects);
    // Stores read by the processing preview dialog.
    TMsgLanguage MsgLanguage = msSystem;
    TPRPreviewsParams PreviewsParams = 0;
    TFont* PreviewFont() const { return FPreviewFont.get(); }
    // Takes the font's attributes, never the object.
    void SetPreviewFont(TFont* Value);
    TKVPreviewEvent OnPreview;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void OnBitmapChange(TObject* Sender, bool destroying);

private:
    struct TSnapshot;
    using TSnapshotList = std::vector<std::unique_ptr<TSnapshot>>;

    // False without a working bitmap; else re-wraps an attached class-library bitmap.
    bool Prepare();
    // Prepare, and true only for a kv24RGB image.
    bool Prepare24();
    void RemoveViewRegistration();
    // The working bitmap becomes b (nullptr: none); an owned one is freed.
    void SetKVBitmap(TKVBitmap* b);
    // A working bitmap of the component's own, created when the current one belongs to a caller.
    TKVBitmap* OwnBitmap();
    // Forgets the bitmaps of a target that goes away.
    void DropTargetBitmaps();
    void Push(TSnapshotList& list, std::vector<std::string>& captions, TKVUndoSource Source);
    void Apply(const TSnapshotList& list, int32_t i);
    // Runs a rectangle worker the way every selection-aware method does: on a copy of the mask's
    // box copied back through the mask, or in place on the GetReSel rectangle.
    template <class Worker> void ApplyToSelection(const std::string& Caption, Worker worker);
    void Morph(const char* Name, int32_t WindowSize, int32_t Operation);
    double Skew(int32_t ResampleWidth, int32_t AngleRange, double Precision, bool EdgeDetect);
    long double FineSkew(double StartingAngle, long double limit, long double resolution, int32_t w,
                         int32_t h, bool Complete);

    TKVView* FView = nullptr;
    int32_t FCallbackHandle = -1;
    TColor FOwnBackground = 0;
    TImage* FImage = nullptr;
    TKVBitmap* FKVBitmap = nullptr;
    bool FOwnsBitmap = false;
    TBitmap* FBitmap = nullptr;
    std::unique_ptr<TFont> FPreviewFont;
    int32_t FUndoLimit = 1;
    TSnapshotList FUndo;
    std::vector<std::string> FUndoCaptions;
    TSnapshotList FRedo;
    std::vector<std::string> FRedoCaptions;
    uint64_t FPushes = 0;
};
