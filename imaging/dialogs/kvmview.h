// TKorvaneMView: a scrolling control that holds a list of images and shows them as a grid of
// thumbnails or one at a time. Images come from bitmaps, from files (loaded in the background
// when their cell becomes visible) or from the application through image IDs; their pixels live
// in a file-backed image list, and the thumbnails as last drawn in a second one.
#pragma once

#include "imaging/core/kvbitmap.h"
#include "imaging/core/types.h"
#include "imaging/dialogs/mview_grid.h"
#include "imaging/proc/transitions.h"
#include "imaging/view/korvaneview.h"
#include "imaging/view/kvview.h"
#include "platform/core/threads.h"
#include "platform/graphics/graphics.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class TKorvaneIO;
class TKorvaneMIO;
class TKorvaneProc;
class TKorvaneMView;
class TKVVirtualDIBList;
class TPicture;
class TIOParamsVals;
struct TKVVirtualImageInfo;

enum TKVStoreType : uint8_t
{
    kvtNormal, // images are kept whole
    kvtThumb   // images are kept at the cell size
};

enum TKVMStyle : uint8_t
{
    kvmsACD,
    kvmsFlat
};

enum TKVSStyle : uint8_t
{
    kvssAround,
    kvssACD
};

enum TKVWallPaperStyle : uint8_t
{
    kvwoNormal,
    kvwoStretch,
    kvwoTile
};

enum TKVMTextPos : uint8_t
{
    kvmtpTop,
    kvmtpBottom,
    kvmtpInfo
};

enum TKVSeek : uint8_t
{
    iskLeft,
    iskRight,
    iskUp,
    iskDown,
    iskPagDown,
    iskPagUp,
    iskLast,
    iskFirst
};

// Sets as bit masks.
enum : uint8_t
{
    mmiScroll = 1,
    mmiSelect = 2
};
using TKVMMouseInteract = uint8_t;
enum : uint8_t
{
    mkiMoveSelected = 1
};
using TKVMKeyInteract = uint8_t;
enum : uint8_t
{
    kvmoRegion = 1
};
using TKVMultiSelectionOptions = uint8_t;

// Messages the view posts to itself: finished loads wait to be stored; a layout is due.
constexpr uint32_t KVM_MVIEW_STORE = 0x0400 + 0x1F61;
constexpr uint32_t KVM_MVIEW_UPDATE = 0x0400 + 0x1F62;

using TKVMProgressEvent = std::function<void(TObject* Sender, int32_t per, int32_t idx)>;
using TKVWrongImageEvent =
    std::function<void(TObject* Sender, TKVBitmap* OutBitmap, int32_t idx, bool& Handled)>;
using TKVImageIDRequestEvent = std::function<void(TObject* Sender, int32_t ID, TBitmap*& Bitmap)>;
using TKVImageIDRequestExEvent = std::function<void(TObject* Sender, int32_t ID, TKVBitmap*& Bitmap)>;
using TKVImageDrawEvent =
    std::function<void(TObject* Sender, int32_t idx, int32_t Left, int32_t Top, TCanvas* Canvas)>;
using TKVImageSelectEvent = std::function<void(TObject* Sender, int32_t idx)>;

// A caption drawn with a thumbnail. Setting it on a view grows the view's gaps to hold it.
class TKVMText : public TObject
{
public:
    TKVMText(TObject* Owner, TKVMTextPos Position);
    ~TKVMText() override;
    TKVMText(const TKVMText&) = delete;
    TKVMText& operator=(const TKVMText&) = delete;

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& Value);
    TFont* Font() const { return FFont.get(); }
    TColor Background = clBtnFace;
    TKVMTextPos Position() const { return FPosition; }

private:
    std::string FCaption;
    std::unique_ptr<TFont> FFont;
    TKorvaneMView* FView = nullptr;
    TKVMTextPos FPosition;
};

// The view's font and background as the texts of an image take them: those of when the image
// was inserted. Shared by the images inserted between two changes, and never changed itself.
struct TKVMTextStyle
{
    TFont Font;
    TColor Background = clBtnFace;
};

// One image of the view.
struct TKVImageInfo
{
    TKVVirtualImageInfo* image = nullptr; // in the image cache; nil = not loaded
    TKVVirtualImageInfo* thumb = nullptr; // in the thumbnail cache; nil = none drawn
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Row = 0;
    int32_t Col = 0;
    TColor background = clBtnFace;
    std::string fileName; // empty = none
    int32_t ID = -1;
    int32_t delay = 0;
    // Made when first asked for (a view of many frames mostly never shows a caption), in
    // textStyle; nil reads as no caption.
    std::unique_ptr<TKVMText> top;
    std::unique_ptr<TKVMText> bottom;
    std::unique_ptr<TKVMText> info;
    std::shared_ptr<TKVMTextStyle> textStyle;
    // Names the entry for background loads whatever moves it makes in the list.
    uint64_t serial = 0;
    // A background load failed: the entry holds the placeholder; RemoveCorrupted deletes it.
    bool failed = false;
};
using PKVImageInfo = TKVImageInfo*;

// The soft shadow under each drawn thumbnail.
struct TKVMSoftShadow
{
    uint8_t Enabled = 0;
    double Radius = 3.0;
    int32_t OffsetX = 3;
    int32_t OffsetY = 3;
};

// The parts of the view that a background load needs, taken when it is queued.
struct TKVMLoadSettings
{
    TKVStoreType StoreType = kvtNormal;
    int32_t ThumbWidth = 100;
    int32_t ThumbHeight = 100;
    bool EnableResamplingOnMinor = true;
    TResampleFilter Filter = rfFastLinear;
};

// A thumbnail fitted into a box: the limiting side equals the box, the other is truncated in
// integers, each side at least 1. An empty source takes the box.
TSize KVMFitSize(int32_t Width, int32_t Height, int32_t BoxWidth, int32_t BoxHeight);

// A caption cut to fit Width on the canvas: leading characters give way to "..." until the
// rest fits; a caption of one character stays as it is.
std::string KVMFitCaption(TCanvas* Canvas, const std::string& Caption, int32_t Width);

// Makes the copy of Source that the view stores: in kvtThumb (when enlarging is on or the
// source exceeds the cell) a kv24RGB image of the fit size, else a kv1g or kv24RGB copy; the
// alpha channel follows. Returns nil when Source can be stored as it is.
std::unique_ptr<TKVBitmap> KVMPrepareForStore(TKVBaseBitmap* Source, const TKVMLoadSettings& Settings);

class TKorvaneMView : public TKVView
{
public:
    explicit TKorvaneMView(TComponent* AOwner);
    ~TKorvaneMView() override;

    // ---- Slots of the view base ----
    void Assign(TObject*) {}
    void Update() override;
    void SetBackGround(TColor Value) override;
    TBitmap* GetFBitmap() override;
    TKVBitmap* GetKVBitmap() override;
    TKVBitmap* GetAlphaChannel() override { return nullptr; }
    bool GetHasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void LockPaint() override;
    int32_t UnLockPaint() override;
    int32_t NPUnLockPaint() override;
    void CallBitmapChangeEvents() override;

    // ---- Components ----
    TKorvaneMIO* GetKorvaneMIO();
    TKorvaneProc* GetKorvaneProc();
    const TKVProgressEvent& GetOnProgress() const { return FOnProgress; }
    void SetOnProgress(TKVProgressEvent Value);
    // The multi-image I/O components bound to the view (TKorvaneMIO::SetAttachedMView adds and
    // removes itself). The bitmap-change callbacks announce inserts and deletes but not moves, so
    // each of them is told of every move as it happens, to move the image's parameter record too.
    void AddBoundMIO(TKorvaneMIO* MIO);
    void RemoveBoundMIO(TKorvaneMIO* MIO);

    // ---- Images ----
    int32_t GetImageCount() const { return int32_t(FImages.size()); }
    int32_t GetImageWidth(int32_t idx);
    int32_t GetImageHeight(int32_t idx);
    int32_t GetImageBitCount(int32_t idx);
    int32_t GetImageOriginalWidth(int32_t idx);
    int32_t GetImageOriginalHeight(int32_t idx);
    void SetImageOriginalWidth(int32_t idx, int32_t Value);
    void SetImageOriginalHeight(int32_t idx, int32_t Value);
    int32_t GetImageX(int32_t idx) const;
    int32_t GetImageY(int32_t idx) const;
    int32_t GetImageRow(int32_t idx) const;
    int32_t GetImageCol(int32_t idx) const;
    void SetImageFileName(int32_t idx, const std::string& Value);
    std::string GetImageFileName(int32_t idx) const;
    void SetImageID(int32_t idx, int32_t Value);
    int32_t GetImageID(int32_t idx) const;
    void SetImageBackground(int32_t idx, TColor Value);
    TColor GetImageBackground(int32_t idx) const;
    void SetImageDelayTime(int32_t idx, int32_t Value);
    int32_t GetImageDelayTime(int32_t idx) const;
    // Made when first asked for.
    TKVMText* GetImageTopText(int32_t idx);
    TKVMText* GetImageBottomText(int32_t idx);
    TKVMText* GetImageInfoText(int32_t idx);
    // Whether the image is stored in the image cache.
    bool IsImageStored(int32_t idx) const;

    void InsertImage(int32_t idx);
    void InsertImageEx(int32_t idx);
    int32_t AppendImage();
    // False for an index outside 0 .. count - 1 (nothing changes).
    bool DeleteImageNU(int32_t idx);
    void DeleteImage(int32_t idx);
    void DeleteSelectedImages();
    void MoveImage(int32_t From, int32_t To);
    // Empties the view in one step: the callbacks see no deletions, only LastOp 0, and every
    // bound multi-image component drops its records at once.
    void Clear();

    void SetKVBitmapEx(int32_t idx, TKVBaseBitmap* Bitmap);
    void SetKVBitmap(int32_t idx, TKVBaseBitmap* Bitmap);
    void SetImageEx(int32_t idx, TBitmap* Bitmap);
    void SetImage(int32_t idx, TBitmap* Bitmap);
    void SetImageRect(int32_t idx, TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    bool SetImageFromFile(int32_t idx, const std::string& FileName);
    bool SetImageFromStream(int32_t idx, TStream& Stream);
    void PrepareSpaceFor(int32_t Width, int32_t Height, int32_t BitCount, int32_t ImageCount);

    // A bitmap shared with the image cache; give it back with ReleaseBitmap.
    TKVBitmap* GetTKVBitmap(int32_t idx);
    void ReleaseBitmap(int32_t idx);
    TBitmap* GetBitmap(int32_t idx);
    void CopyToKVBitmap(int32_t idx, TKVBitmap* Dest);
    void ClearImageCache(int32_t idx);
    void ClearCache();
    // Loads the image now (ID events or file); false when the load failed.
    bool ObtainImageNow(int32_t idx);

    // ---- Geometry and scrolling ----
    int32_t ImageAtPos(int32_t x, int32_t y) const;
    int32_t ImageAtGridPos(int32_t Row, int32_t Col) const;
    int32_t InsertingPoint(int32_t x, int32_t y) const;
    bool IsVisible(int32_t idx) const;
    // 0 none, 1 partly, 2 fully inside the client area.
    int32_t GetImageVisibility(int32_t idx) const;
    int32_t ViewX() const { return FViewX; }
    int32_t ViewY() const { return FViewY; }
    void SetViewX(int32_t Value);
    void SetViewY(int32_t Value);
    void SetViewXY(int32_t x, int32_t y);
    int32_t GetMaximumViewX() const;
    int32_t GetMaximumViewY() const;
    int32_t GridExtentWidth() const { return FGridWidthPx; }
    int32_t GridExtentHeight() const { return FGridHeightPx; }
    void CenterSelected();
    void UpdateImage(int32_t idx);
    virtual void ViewChange(int32_t Change);

    // ---- Settings (setters update the view) ----
    int32_t ThumbWidth() const { return FThumbWidth; }
    int32_t ThumbHeight() const { return FThumbHeight; }
    // Cells below 1 x 1 are refused.
    void SetThumbWidth(int32_t Value);
    void SetThumbHeight(int32_t Value);
    int32_t HorizBorder() const { return FHorizBorder; }
    int32_t VertBorder() const { return FVertBorder; }
    // Negative borders are refused.
    void SetHorizBorder(int32_t Value);
    void SetVertBorder(int32_t Value);
    int32_t GridWidth() const { return FGridWidth; }
    void SetGridWidth(int32_t Value);
    TKVMDisplayMode DisplayMode() const { return FDisplayMode; }
    void SetDisplayMode(TKVMDisplayMode Value);
    TKVStoreType StoreType() const { return FStoreType; }
    void SetStoreType(TKVStoreType Value);
    int32_t UpperGap() const { return FUpperGap; }
    int32_t BottomGap() const { return FBottomGap; }
    void SetUpperGap(int32_t Value);
    void SetBottomGap(int32_t Value);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle Value);
    bool ScrollBarsAlwaysVisible() const { return FScrollBarsAlwaysVisible; }
    void SetScrollBarsAlwaysVisible(bool Value);
    TKVScrollBarParams* HScrollBarParams() { return &FHScrollParams; }
    TKVScrollBarParams* VScrollBarParams() { return &FVScrollParams; }
    TKVMStyle Style() const { return FStyle; }
    void SetStyle(TKVMStyle Value);
    TKVSStyle SelectionStyle() const { return FSelectionStyle; }
    void SetSelectionStyle(TKVSStyle Value);
    bool ShowText() const { return FShowText; }
    void SetShowText(bool Value);
    bool FillThumbnail() const { return FFillThumbnail; }
    void SetFillThumbnail(bool Value);
    bool DrawImageBackground() const { return FDrawImageBackground; }
    void SetDrawImageBackground(bool Value);
    TColor ThumbnailsBackground() const { return FThumbnailsBackground; }
    void SetThumbnailsBackground(TColor Value);
    int32_t ThumbnailsBorderWidth() const { return FThumbnailsBorderWidth; }
    void SetThumbnailsBorderWidth(int32_t Value);
    TColor ThumbnailsBorderColor() const { return FThumbnailsBorderColor; }
    void SetThumbnailsBorderColor(TColor Value);
    TKVBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
    void SetBackgroundStyle(TKVBackgroundStyle Value);
    TKVBackgroundStyle ThumbnailsBackgroundStyle() const { return FThumbnailsBackgroundStyle; }
    void SetThumbnailsBackgroundStyle(TKVBackgroundStyle Value);
    TColor GradientEndColor() const { return FGradientEndColor; }
    void SetGradientEndColor(TColor Value);
    void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
    bool EnableResamplingOnMinor() const { return FEnableResamplingOnMinor; }
    void SetEnableResamplingOnMinor(bool Value);
    bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
    void SetEnableAlphaChannel(bool Value);
    bool EnableImageCaching() const { return FEnableImageCaching; }
    void SetEnableImageCaching(bool Value);
    TResampleFilter ThumbnailResampleFilter() const { return FThumbnailResampleFilter; }
    void SetThumbnailResampleFilter(TResampleFilter Value);
    TResampleFilter ThumbnailDisplayFilter() const { return FThumbnailDisplayFilter; }
    void SetThumbnailDisplayFilter(TResampleFilter Value);
    bool VisibleSelection() const { return FVisibleSelection; }
    void SetVisibleSelection(bool Value);
    int32_t SelectionWidth() const { return FSelectionWidth; }
    void SetSelectionWidth(int32_t Value);
    TColor SelectionColor() const { return FSelectionColor; }
    void SetSelectionColor(TColor Value);
    TPicture* WallPaper() const { return FWallPaper.get(); }
    void SetWallPaper(TPicture* Value);
    TKVWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
    void SetWallPaperStyle(TKVWallPaperStyle Value);
    TKVMSoftShadow& SoftShadow() { return FSoftShadow; }
    int32_t ImageCacheSize() const { return FImageCacheSize; }
    void SetImageCacheSize(int32_t Value);
    TKVMMouseInteract MouseInteract() const { return FMouseInteract; }
    virtual void SetMouseInteract(TKVMMouseInteract Value) { FMouseInteract = Value; }
    TKVMKeyInteract KeyInteract() const { return FKeyInteract; }
    virtual void SetKeyInteract(TKVMKeyInteract Value) { FKeyInteract = Value; }
    bool RemoveCorrupted = false;
    int32_t ThreadPoolSize() const;
    // 0 turns background loading off; negative values count as 0.
    void SetThreadPoolSize(int32_t Value);

    // ---- Events ----
    TViewChangeEvent OnViewChange;
    TKVMProgressEvent OnDrawProgress;
    TKVWrongImageEvent OnWrongImage;
    TKVImageIDRequestEvent OnImageIDRequest;
    TKVImageIDRequestExEvent OnImageIDRequestEx;
    TKVImageDrawEvent OnImageDraw;
    TKVImageDrawEvent OnBeforeImageDraw;
    TKVProgressEvent OnIOProgress;
    TKVImageSelectEvent OnImageSelect;

    // The last structural change, meaningful inside the bitmap-change callbacks: 1 insert,
    // 2 delete, 0 other; and its index.
    int32_t GetLastOp() const { return FLastOp; }
    int32_t GetLastOpIdx() const { return FLastOpIdx; }

    // ---- Background loading ----
    // True when the image is stored, queued or loading; false when the caller must load it.
    bool ObtainImageThreaded(int32_t idx);
    virtual void ClearThreadsAndRequests();
    // Draws the placeholder of an image that failed to load into OutBitmap.
    virtual void DoWrongImage(TKVBitmap* OutBitmap, int32_t idx);
    // Finished background loads are stored when the user-interface thread handles its queued
    // message; this stores them at once (user-interface thread only).
    void StoreFinishedLoads();
    // Requests queued and loads running now.
    int32_t QueuedCount() const;
    int32_t RunningCount() const;
    // Thumbnails kept as drawn.
    int32_t CachedThumbnailCount() const;
    // Drawn thumbnails held in memory (the rest wait in the store's file).
    int32_t MappedThumbnailCount() const;
    // How ClearThreadsAndRequests waits for cancelled loads to end, in milliseconds: the system's
    // Sleep (tests count the waits instead), also when emptied.
    std::function<void(uint32_t)> Pause = Sleep;

    // ---- Painting ----
    // Draws the whole view into the bitmap (pf24bit), clipped to its size.
    virtual void PaintTo(TBitmap* Dest);

    // ---- Selection ----
    int32_t SelectedImage() const { return FSelectedImage; }
    void SetSelectedItem(int32_t idx);
    void SetSelectedItemNU(int32_t idx);
    void Deselect();
    void DeselectNU();
    void UnSelectImage(int32_t idx);
    void BeginSelectImages();
    void EndSelectImages();
    void SelectAll();
    bool IsSelected(int32_t idx) const;
    int32_t GetMultiSelectedImages(int32_t i) const;
    int32_t GetMultiSelectedImagesCount() const { return int32_t(FMultiSelected.size()); }
    void MultiSelectSortList();
    void SelectAtPos(int32_t x, int32_t y, TShiftState Shift);
    void SelectSeek(TKVSeek Move);
    bool EnableMultiSelect() const { return FEnableMultiSelect; }
    void SetEnableMultiSelect(bool Value);
    TKVMultiSelectionOptions MultiSelectionOptions = 0;

    // ---- Playing ----
    bool Playing() const { return FPlaying; }
    void SetPlaying(bool Value);
    bool PlayLoop = true;
    void PlayFrame();
    int32_t VisibleFrame() const { return FVisibleFrame; }
    void SetVisibleFrame(int32_t idx);
    bool GetTransitionRunning() const;
    void CenterFrame();
    TKVTransitionType TransitionEffect = kvttNone;
    int32_t TransitionDuration = 1000;
    TKVTransitionEffects* Transition() const { return FTransition.get(); }
    // The timer that shows the next frame, and the milliseconds clock that times a frame's paint:
    // the system's tick count, also when emptied (tests set their own clock and fire the timer).
    TTimer* PlayTimer() const { return FPlayTimer.get(); }
    std::function<uint32_t()> TickCount = GetTickCount;

protected:
    void Paint() override;
    void Resize() override;
    void Dispatch(TMessage& Message) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void DblClick() override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void FontChanged() override;

private:
    friend class TKVMText;
    struct TLoader;
    struct TRequest;
    struct TResult;
    class TStarter;

    PKVImageInfo Entry(int32_t idx) const;
    // Pause and TickCount, or the system's own when a caller emptied them.
    void PauseFor(uint32_t Ms) const { Pause ? Pause(Ms) : Sleep(Ms); }
    uint32_t Ticks() const { return TickCount ? TickCount() : GetTickCount(); }
    int32_t IndexOfSerial(uint64_t Serial) const;
    TKVMGrid Grid() const;
    void UpdateCoords();
    void UpdateScrollBars();
    void GetMaxViewXY(int32_t& mx, int32_t& my) const;
    void HandleScroll(bool Vertical, uint16_t Code, int32_t Position);
    void DropThumb(PKVImageInfo e);
    void ForgetSelectedBitmap();
    void FreeEntry(PKVImageInfo e);
    void StopPlaying();
    void DoInsert(int32_t idx, bool Select);
    // The style of the texts of an image inserted now: one for every image until the view's font
    // or background changes.
    std::shared_ptr<TKVMTextStyle> CurrentTextStyle();
    TKVMText* TextOf(PKVImageInfo e, TKVMTextPos Position);
    bool LoadInto(int32_t idx, TStream* Stream, const std::string& FileName);
    TKVMLoadSettings LoadSettings() const;
    void DrawImage(TBitmap* Dest, PKVImageInfo e, bool Selected, int32_t idx, const TRect& Area);
    // Paints what lies in Area of Dest; every visible cell still has its load started.
    void PaintArea(TBitmap* Dest, const TRect& Area);
    // The client rectangle a cell draws in, its border and selection rings included.
    TRect CellExtent(PKVImageInfo e) const;
    void InvalidateCell(int32_t idx);
    void DrawBackground(TCanvas* Canvas, TKVBackgroundStyle Style, TColor Colour, int32_t x, int32_t y,
                        int32_t w, int32_t h);
    void DrawWallPaper(TBitmap* Dest);
    void StartLoadingThread();

    // Loading (mview_loading.cpp)
    void StartLoads();
    void LoaderFinished(TLoader* Loader);
    void PruneInvisibleLocked();
    void KeepVisibleThumbnailsMapped();
    static constexpr int32_t kMinMappedThumbnails = 10;
    void WakeStarter();
    std::vector<std::unique_ptr<TLoader>> TakeFreeableLoaders();
    void StopLoading();

    // Components
    std::unique_ptr<TKorvaneIO> FLoader;
    TKorvaneMIO* FMIO = nullptr;
    TKorvaneProc* FProc = nullptr;
    std::vector<TKorvaneMIO*> FBoundMIOs;
    TKVProgressEvent FOnProgress;

    // Images
    std::vector<PKVImageInfo> FImages;
    std::unordered_map<uint64_t, PKVImageInfo> FBySerial;
    uint64_t FNextSerial = 1;
    std::unique_ptr<TKVVirtualDIBList> FImageCache;
    std::unique_ptr<TKVVirtualDIBList> FThumbCache;
    int32_t FImageCacheSize = 10;

    // Layout
    TScrollStyle FScrollBars = ssBoth;
    double FHScale = 1.0;
    double FVScale = 1.0;
    int32_t FViewX = 0;
    int32_t FViewY = 0;
    TKVStoreType FStoreType = kvtNormal;
    int32_t FThumbWidth = 100;
    int32_t FThumbHeight = 100;
    int32_t FHorizBorder = 4;
    int32_t FVertBorder = 4;
    int32_t FGridWidthPx = 0;
    int32_t FGridHeightPx = 0;
    int32_t FUpperGap = 0;
    int32_t FBottomGap = 0;
    std::shared_ptr<TKVMTextStyle> FTextStyle;
    int32_t FSetUpperGap = 0;
    int32_t FSetBottomGap = 0;
    TKVMDisplayMode FDisplayMode = mdGrid;
    int32_t FGridWidth = 0;
    int32_t FPaintLock = 0;
    bool FScrollBarsAlwaysVisible = false;
    TKVScrollBarParams FHScrollParams;
    TKVScrollBarParams FVScrollParams;
    bool FDestroying = false;
    bool FInUpdate = false;

    // Drawing settings
    bool FDrawImageBackground = false;
    TResampleFilter FThumbnailResampleFilter = rfFastLinear;
    TResampleFilter FThumbnailDisplayFilter = rfNone;
    TKVMStyle FStyle = kvmsACD;
    TKVSStyle FSelectionStyle = kvssAround;
    TColor FThumbnailsBackground = clBtnFace;
    int32_t FThumbnailsBorderWidth = 0;
    TColor FThumbnailsBorderColor = clBtnFace;
    bool FEnableResamplingOnMinor = true;
    bool FEnableAlphaChannel = true;
    TKVBackgroundStyle FBackgroundStyle = kvbsSolid;
    TKVBackgroundStyle FThumbnailsBackgroundStyle = kvbsSolid;
    bool FFillThumbnail = true;
    std::unique_ptr<TPicture> FWallPaper;
    TKVWallPaperStyle FWallPaperStyle = kvwoNormal;
    bool FVisibleSelection = true;
    int32_t FSelectionWidth = 3;
    TColor FSelectionColor = clRed;
    bool FEnableImageCaching = true;
    TKVMSoftShadow FSoftShadow;
    int32_t FChessboardSize = 16;
    TBrushStyle FChessboardBrushStyle = bsSolid;
    TColor FGradientEndColor = clBlue;
    bool FShowText = true;
    TKVMMouseInteract FMouseInteract = mmiSelect;
    TKVMKeyInteract FKeyInteract = mkiMoveSelected;

    // Selection and mouse
    int32_t FSelectedImage = -1;
    TKVBitmap* FSelectedBitmap = nullptr;
    std::vector<int32_t> FMultiSelected;
    bool FEnableMultiSelect = false;
    bool FAddMode = false;
    bool FKeep = false;
    bool FBatch = false;
    bool FMouseDown = false;
    TPoint FDownPoint{};
    int32_t FDownViewX = 0;
    int32_t FDownViewY = 0;
    int32_t FAnchor = -1;
    int32_t FLastUnderMouse = -1;
    bool FRegionDragged = false;
    bool FDoubleClicked = false;

    // Playing
    bool FPlaying = false;
    bool FInPlayFrame = false;
    int32_t FVisibleFrame = 0;
    TKVMDisplayMode FSavedDisplayMode = mdGrid;
    int32_t FSavedSelected = -1;
    std::unique_ptr<TTimer> FPlayTimer;
    std::unique_ptr<TKVTransitionEffects> FTransition;

    int32_t FLastOp = 0;
    int32_t FLastOpIdx = 0;

    // Background loading: the queue, the loaders and the finished results are guarded by
    // gThreadCS; the starter parks on FWake.
    int32_t FThreadPoolSize = 5;
    std::vector<std::unique_ptr<TRequest>> FQueue;
    std::vector<std::unique_ptr<TLoader>> FLoaders;
    std::vector<std::unique_ptr<TResult>> FResults;
    bool FResultPosted = false;
    std::unique_ptr<TStarter> FStarter;
    std::mutex FWakeLock;
    std::condition_variable FWake;
    bool FWakePending = false;
};
