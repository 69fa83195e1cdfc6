// Korvaneview: the scrolling, zooming single-image view with its layers, selections, mouse work
// and the animated outlines, and the background drawing that other views share.
#pragma once

#include "imaging/core/mask.h"
#include "imaging/core/types.h"
#include "imaging/core/view_params.h"
#include "imaging/view/kvview.h"
#include "imaging/view/view_geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TKorvaneIO;
class TKorvaneProc;
class TMemoryStream;
class TTimer;
class TKVTransitionEffects;
enum TKVTransitionType : uint8_t;
struct TKVRowTable;
struct TKVSampleTable;

enum TKVBackgroundStyle : uint8_t
{
    kvbsSolid,
    kvbsHorizontal,
    kvbsVertical,
    kvbsFDiagonal,
    kvbsBDiagonal,
    kvbsCross,
    kvbsDiagCross,
    kvbsChessboard,
    kvbsDiagonals,
    kvbsCropped,
    kvbsCropShadow,
    kvbsGradient
};

enum TKVSelectionBase : uint8_t
{
    kvsbClientArea,
    kvsbBitmap
};

// A set of TKVSelectionOptions items, one bit each.
using TKVSelectionOptions = uint8_t;
enum : TKVSelectionOptions
{
    kvsoAnimated = 1 << 0,
    kvsoSizeable = 1 << 1,
    kvsoMoveable = 1 << 2,
    kvsoFilled = 1 << 3,
    kvsoCutBorders = 1 << 4,
    kvsoMarkOuter = 1 << 5,
    kvsoCanScroll = 1 << 6,
};

// What the left mouse button does: a set of items, one bit each.
using TKVMouseInteract = uint8_t;
enum : TKVMouseInteract
{
    miZoom = 1 << 0,
    miScroll = 1 << 1,
    miSelect = 1 << 2,
    miSelectPolygon = 1 << 3,
    miSelectCircle = 1 << 4,
    miSelectZoom = 1 << 5,
    miSelectMagicWand = 1 << 6,
    miSelectLasso = 1 << 7,
};

enum TKVSelOp : uint8_t
{
    kvspReplace,
    kvspAdd
};

enum TKVMagicWandMode : uint8_t
{
    kvwInclusive,
    kvwExclusive,
    kvwGlobal
};

// The view's cursors (1785 is the default cross).
enum : TCursor
{
    crKVZoomOut = 1778,
    crKVZoomIn = 1779,
    crKVCross = 1780,
    crKVEraser = 1781,
    crKVHand = 1782,
    crKVPen = 1783,
    crKVCross1 = 1784,
    crKVCross3 = 1785,
    crKVMove2 = 1786,
    crKVMoveY = 1787,
    crKVMove1 = 1788,
    crKVMoveX = 1789,
    crKVMove = 1790,
    crKVCross3Plus = 1791,
    crKVCross3Minus = 1792,
    crKVCross2 = 1793,
    crKVCross2Plus = 1794,
    crKVCross2Minus = 1795,
};

// The private message that asks the view to run Update (posted by I/O workers).
constexpr uint32_t KVM_VIEWUPDATE = 8024;

// Change is 1 after a zoom change and 0 after a scroll.
using TViewChangeEvent = std::function<void(TObject* Sender, int32_t Change)>;
// May change the zoom the wheel or a click is about to set.
using TKVZoomEvent = std::function<void(TObject* Sender, double& ZoomVal)>;
using TKVMouseInResizingGripEvent = std::function<void(TObject* Sender, int32_t Grip)>;

// A point of an animated polygon with both coordinates equal to this ends one closed figure.
constexpr int32_t KVPolyBreak = 0xFFFFF;

// One outline drawn over the view (the selection polygon is the first), in bitmap pixels.
struct TKVAnimPoly
{
    std::vector<TPoint> Points;
    TColor Color1 = clBlack;
    TColor Color2 = clWhite;
    bool Animated = true;
    int32_t Phase = 0;
    int32_t DashCounter = 0;
    int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    bool Shown = true;
    bool Sizeable = true;

    int32_t Count() const { return static_cast<int32_t>(Points.size()); }
    static bool IsBreak(const TPoint& p) { return p.X == KVPolyBreak && p.Y == KVPolyBreak; }
    // Four points whose edges, the closing one included, alternate horizontal and vertical.
    bool IsRectangle() const;
};

// One picture of the view's stack: drawn when Visible, with an opacity of Transparency (255 opaque).
class TKVLayer : public TObject
{
public:
    // Adopt takes the bitmap; otherwise a new empty bitmap of its size, format and location.
    TKVLayer(TKVBitmap* bitmap, bool adopt);
    ~TKVLayer() override;

    bool OwnsBitmap = true;
    TKVBitmap* Bitmap = nullptr;
    bool Visible = true;
    int32_t Transparency = 255;
};

class TKorvaneView : public TKVView
{
public:
    explicit TKorvaneView(TComponent* AOwner);
    ~TKorvaneView() override;

    // ---- TKVView ----
    void SetBackGround(TColor Value) override;
    TBitmap* GetFBitmap() override;
    TKVBitmap* GetKVBitmap() override { return FCurrent; }
    TKVBitmap* GetAlphaChannel() override;
    bool GetHasAlphaChannel() override;
    void RemoveAlphaChannel(bool Merge) override;
    void LockPaint() override;
    int32_t UnLockPaint() override;
    int32_t NPUnLockPaint() override;
    // Fires OnImageChange; from a worker thread the event is posted to the user-interface thread.
    void ImageChange() override;
    TKVMask* SelectionMask() override { return &FMask; }
    bool Selected() override { return FSelected; }
    TPoint* GetPolySelArray() override;
    int32_t GetPolySelCount() override;
    void SaveSelectionToStream(TStream& Stream) override;
    // False, with nothing changed, for another image size or a stream that is cut short or
    // inconsistent.
    bool LoadSelectionFromStream(TStream& Stream) override;

    // ---- Zoom, scrolling and coordinates (korvaneview.cpp) ----
    // The full recomputation every change ends in.
    void Update() override;
    void UpdateNoPaint();
    void LockUpdate() { FUpdateLocked = true; }
    void UnLockUpdate();
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

    double Zoom() const { return FGeo.Zoom(); }
    // Ignores zooms that are not finite, not above 0, the current one, or too big to show.
    void SetZoom(double z);
    virtual void SetZoomNoUpdate(double z);
    void ZoomAt(int32_t x, int32_t y, double z);
    void Fit();
    double GetFitValue();
    void CalcEdges(int32_t& ex, int32_t& ey, bool useMetricX, bool useMetricY);
    double GetIdealZoom();
    double GetOptimalZoom(int32_t bmpW, int32_t bmpH, int32_t availW, int32_t availH, bool allowStretch,
                          bool allowShrink);
    void ZoomSelection();
    void FitToWidth();
    void FitToHeight();

    int32_t ViewX() const { return FGeo.ViewX; }
    int32_t ViewY() const { return FGeo.ViewY; }
    void SetViewX(int32_t v);
    void SetViewY(int32_t v);
    void SetViewXY(int32_t x, int32_t y);
    void CenterImage();
    void GetMaxViewXY(int32_t& mx, int32_t& my);
    bool RequiresScrollBars();
    int32_t GetIdealComponentWidth();
    int32_t GetIdealComponentHeight();
    virtual void ViewChange(int32_t Change);
    virtual bool GetIsEmpty();
    // Fills the bitmap with Background; Blank makes it 1 x 1 first.
    void Clear();
    void Blank();
    virtual int32_t GetClientWidth();
    virtual int32_t GetClientHeight();
    virtual bool HasParentWindow();

    int32_t XScr2Bmp(int32_t x) const { return FGeo.XScr2Bmp(x); }
    int32_t YScr2Bmp(int32_t y) const { return FGeo.YScr2Bmp(y); }
    int32_t XBmp2Scr(int32_t x) const { return FGeo.XBmp2Scr(x); }
    int32_t YBmp2Scr(int32_t y) const { return FGeo.YBmp2Scr(y); }
    virtual void CreateCoordConvLUT() { FGeo.CalcPaintCoef(); }
    virtual void CalcPaintCoef() { FGeo.CalcPaintCoef(); }
    virtual void UpdateLimits();
    // The zoom and coordinate state, for the painters and for tests.
    const TKVViewGeometry& Geometry() const { return FGeo; }

    bool Center() const { return FGeo.Center; }
    void SetCenter(bool Value);
    TResampleFilter ZoomFilter() const { return FZoomFilter; }
    void SetZoomFilter(TResampleFilter Value);
    bool DelayZoomFilter = false;
    bool AutoFit() const { return FAutoFit; }
    void SetAutoFit(bool Value);
    bool AutoStretch() const { return FAutoStretch; }
    void SetAutoStretch(bool Value);
    bool AutoShrink() const { return FAutoShrink; }
    void SetAutoShrink(bool Value);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    virtual void SetScrollBars(TScrollStyle Value);
    bool ScrollBarsAlwaysVisible() const { return FScrollBarsAlwaysVisible; }
    void SetScrollBarsAlwaysVisible(bool Value);
    TKVScrollBarParams* HScrollBarParams() { return &FHScrollParams; }
    TKVScrollBarParams* VScrollBarParams() { return &FVScrollParams; }
    TKVMouseWheelParams* MouseWheelParams() { return &FWheelParams; }
    void SetDelayTimer(int32_t ms);
    int32_t GetDelayTimer() const;
    bool LegacyBitmap() const { return FLegacyBitmap; }
    virtual void SetLegacyBitmap(bool Value);
    TKorvaneIO* GetKorvaneIO();
    TKorvaneProc* GetKorvaneProc();
    const TKVProgressEvent& GetOnProgress() const { return FOnProgress; }
    void SetOnProgress(TKVProgressEvent Value);

    // The view's own cursor; a temporary cursor shows without changing it.
    void SetCursor(TCursor Value) override;
    void SetTempCursor(TCursor Value);
    void SaveCursor(TCursor Value);
    void RestoreCursor();
    TCursor ViewCursor() const { return FViewCursor; }

    TNotifyEvent OnImageChange;
    TViewChangeEvent OnViewChange;
    TKVZoomEvent OnZoomIn;
    TKVZoomEvent OnZoomOut;

    // ---- Painting (view_paint.cpp) ----
    // The back buffer is rendered when dirty and presented into the front image.
    void PaintRect(const TRect& r);
    // Background, layers, selection marks and grid into a bitmap of the client size.
    virtual void PaintToEx(TBitmap* Bitmap, std::unique_ptr<TKVRowTable>& Rows, const TRect* UpdateRect);
    // The visible part of the image into any canvas, at (0, 0) and the visible image size.
    void DrawTo(TCanvas* Canvas);
    using TCustomControl::UpdateRect;
    void UpdateRect(const TRect& r);
    TKVBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
    void SetBackgroundStyle(TKVBackgroundStyle Value);
    bool DisplayGrid() const { return FDisplayGrid; }
    void SetDisplayGrid(bool Value);
    TColor GradientEndColor() const { return FGradientEndColor; }
    void SetGradientEndColor(TColor Value);
    bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
    void SetEnableAlphaChannel(bool Value);
    void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
    void SetSelectionGripStyle(TColor Color1, TColor Color2, TBrushStyle BrushStyle, int32_t HalfSize,
                               bool MidSideGrips);
    void SetSelColor1(TColor Value);
    void SetSelColor2(TColor Value);
    bool PaintOutlineOnlyAtRest = true;
    // Advances the marching outlines (Sender the timer) or just draws them (Sender the view).
    void AniPolyFunc(TObject* Sender, bool fromTimer);
    int32_t AntsPhase() const { return FAntsPhase; }
    int32_t DelayCountdown() const { return FDelayCount; }
    TTimer* ViewTimer() const { return FTimer; }
    // Runs one tick of the view's timer, as the timer does.
    void TimerEvent(TObject* Sender);
    // The back buffer (the rendered client area) and the filter its last rendering used.
    TBitmap* BackBuffer() const { return FBackBuffer.get(); }
    TResampleFilter LastRenderFilter() const { return FLastRenderFilter; }
    // Animated polygons (index 0 is the selection polygon).
    int32_t AnimPolygonNew(TColor Color1, TColor Color2, bool Animated, bool Sizeable);
    void AnimPolygonAddPt(int32_t Index, int32_t x, int32_t y);
    void AnimPolygonAddBreak(int32_t Index);
    void AnimPolygonClear(int32_t Index);
    void AnimPolygonRemoveLast(int32_t Index);
    void AnimPolygonRemoveLastPoint(int32_t Index);
    void AnimPolygonDel(int32_t Index);
    int32_t AnimPolygonCount() const { return static_cast<int32_t>(FPolys.size()); }
    const TKVAnimPoly* AnimPolygon(int32_t Index) const;

    // ---- Selections (view_selection.cpp) ----
    TKVSelectionBase SelectionBase = kvsbClientArea;
    TKVSelectionOptions SelectionOptions() const { return FSelectionOptions; }
    void SetSelectionOptions(TKVSelectionOptions Value);
    virtual void Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVSelOp op = kvspReplace);
    void SelectEx(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVSelOp op, bool square);
    void SelectEllipse(int32_t cx, int32_t cy, int32_t w, int32_t h, TKVSelOp op = kvspReplace);
    void SelectMagicWand(int32_t x, int32_t y, TKVSelOp op = kvspReplace);
    virtual void AddSelPoint(int32_t x, int32_t y);
    void AddSelPointEx(int32_t x, int32_t y);
    void AddSelBreak();
    void AddSelBreakEx();
    virtual void EndSelect();
    void DeSelect();
    void InvertSelection();
    void MoveSelection(int32_t dx, int32_t dy) { SelectMoveEx(0, dx, dy); }
    int32_t SelectMoveEx(int32_t grip, int32_t dx, int32_t dy);
    int32_t SelectResizeEx(int32_t grip, int32_t x, int32_t y, bool keepAspect);
    int32_t SelX1();
    int32_t SelY1();
    int32_t SelX2();
    int32_t SelY2();
    TPoint GetPolySel(int32_t i);
    bool IsPointInsideSelection(int32_t x, int32_t y);
    bool VisibleSelection() const;
    void SetVisibleSelection(bool Value);
    void ShowSelectionEx(bool redraw);
    void HideSelectionEx(bool repaint);
    void SaveSelection();
    bool RestoreSelection();
    bool AddWithShift = true;
    bool Constrain = false;
    int32_t MagicWandTolerance = 15;
    bool MagicWandMaxFilter = false;
    TKVMagicWandMode MagicWandMode = kvwInclusive;
    TNotifyEvent OnSelectionChanging;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnBeforeSelectionChange;
    TNotifyEvent OnMouseInSel;
    TKVMouseInResizingGripEvent OnMouseInResizingGrip;

    // ---- Mouse (view_mouse.cpp) ----
    TKVMouseInteract MouseInteract() const { return FMouseInteract; }
    virtual void SetMouseInteract(TKVMouseInteract Value);
    int32_t GetResizingGrip(int32_t x, int32_t y, TShiftState Shift);
    int32_t GetMovingGrip(int32_t x, int32_t y, TShiftState Shift);
    // One step of auto-scroll: true when the view moved.
    bool MouseMoveScroll();
    virtual void SubMouseMoveScroll(int32_t dx, int32_t dy);

    // ---- Layers and selected-area operations (view_layers.cpp) ----
    int32_t GetLayersCount() const { return static_cast<int32_t>(FLayers.size()); }
    TKVLayer* GetLayer(int32_t i) const;
    int32_t LayersCurrent() const { return FLayersCurrent; }
    virtual void SetLayersCurrent(int32_t i);
    void LayersAdd();
    void LayersInsert(int32_t i);
    void LayersRemove(int32_t i);
    void LayersMove(int32_t from, int32_t to);
    void LayersMerge(int32_t i1, int32_t i2);
    void LayersSync();
    void CopySelectionToBitmap(TBitmap* Bitmap);
    void CopySelectionToKVBitmap(TKVBitmap* Bitmap);
    void AssignSelTo(TPersistent* Dest);
    void CopyToBitmapWithAlpha(TBitmap* Bitmap, int32_t x, int32_t y);
    // The area inside the polygon (points of Source; figures split by a point whose X is 0xFFFFF)
    // copied into the picture with the polygon's bounding box at Point, the picture grown to hold
    // it. Only for 24-bit and black-and-white pictures.
    void CopyFromPolygon(TBitmap* Source, const TPoint* Points, int32_t Count, TPoint Point);
    // The area of the picture inside the polygon copied into Destination, its bounding box at
    // Point, Destination grown to hold it.
    void CopyToPolygon(TBitmap* Destination, const TPoint* Points, int32_t Count, TPoint Point);
    void SetSelectedPixelsColor(TRGB Color);
    void SetAlphaRangePixelsColor(int32_t Min, int32_t Max, TRGB Color);
    void SetSelectedAreaAlpha(int32_t Value);
    void Assign(TPersistent* Source) override;
    // Renders the current look as the transition's source picture; RunTransition renders the
    // new look as its target and runs it (duration in milliseconds).
    void PrepareTransition();
    void RunTransition(TKVTransitionType Type, uint32_t Duration);
    bool GetTransitionRunning() const;
    TKVTransitionEffects* Transition() const { return FTransition.get(); }

protected:
    void Paint() override;
    void Dispatch(TMessage& Message) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void DblClick() override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyUp(uint16_t& Key, TShiftState Shift) override;
    void Resize() override;

private:
    // korvaneview.cpp
    void RunUpdate(bool paint);
    bool UpdatePass();
    void UpdateScrollBar(int32_t bar, int32_t maxView, int32_t client, int32_t view, double& scale,
                         bool& shown);
    void ReArmCountdowns(bool zoomChange, double zoomBefore);
    void ApplyViewXY(int32_t x, int32_t y, bool moveH, bool moveV);
    void HandleScroll(int32_t bar, uint16_t code, int32_t position);
    void HandleWheel(int32_t delta, TPoint screenPos);
    void FireImageChange();
    bool Designing() const;
    void SyncBitmapSize();

    // view_paint.cpp
    void PaintBackground(TBitmap* Bitmap, const TRect* r, bool beforeFirstLayer, const TKVLayer* layer);
    void DrawGrid(TBitmap* Bitmap);
    void DrawPolygon(TKVAnimPoly& poly, TCanvas* canvas);
    void DrawGrips(const TKVAnimPoly& poly, TCanvas* canvas);
    void DrawRubberBand();
    void UpdateTimerState(bool anyAnimated);
    void NoteSelectionPresent() { FSelected = true; }
    TPoint ToClient(const TPoint& p) const { return TPoint{XBmp2Scr(p.X), YBmp2Scr(p.Y)}; }

    // view_selection.cpp
    void ConvertPoint(int32_t& x, int32_t& y) const;
    bool SelectionBeingEdited() const;
    void RebuildRectangleMask();

    // view_mouse.cpp
    void ClampToImage(int32_t& x, int32_t& y) const;
    void SnapToLastPoint(int32_t& x, int32_t& y);
    void DragCircle(int32_t x, int32_t y, TShiftState Shift);
    void UpdateGripCursor(int32_t x, int32_t y, TShiftState Shift);

    // view_layers.cpp
    void StoreCurrentIntoLayer();
    void ResizeLayerTo(TKVLayer* layer, int32_t w, int32_t h);

    TKVViewGeometry FGeo;
    bool FLegacyBitmap = true;
    TCursor FViewCursor = crKVCross3;
    TCursor FSavedCursor = crKVCross3;
    TResampleFilter FZoomFilter = rfNone;
    TResampleFilter FRequestedZoomFilter = rfNone;
    double FHScale = 1.0;
    double FVScale = 1.0;
    bool FVBarShown = false;
    bool FHBarShown = false;
    TKVProgressEvent FOnProgress;
    int32_t FLastBitmapWidth = 0;
    int32_t FLastBitmapHeight = 0;
    int32_t FDelayTicks = 4;
    int32_t FSettleTicks = 2;
    int32_t FDelayCount = 0;
    int32_t FSettleCount = 0;
    bool FBackBufferDirty = true;
    TScrollStyle FScrollBars = ssBoth;
    int32_t FPaintLock = 0;
    bool FAutoFit = false;
    bool FAutoStretch = false;
    bool FAutoShrink = false;
    bool FUpdateLocked = false;
    bool FScrollBarsAlwaysVisible = false;
    bool FInUpdate = false;
    TKVScrollBarParams FHScrollParams;
    TKVScrollBarParams FVScrollParams;
    TKVMouseWheelParams FWheelParams;
    TKVBitmap* FCurrent = nullptr;
    TKorvaneIO* FIO = nullptr;
    TKorvaneProc* FProc = nullptr;

    // Painting
    bool FRepaintAll = true;
    bool FNoPaintUpdate = false;
    bool FMovedRectangle = false;
    TKVBackgroundStyle FBackgroundStyle = kvbsSolid;
    bool FDisplayGrid = false;
    int32_t FAntsPhase = 0;
    std::unique_ptr<TBitmap> FBackBuffer;
    std::unique_ptr<TKVRowTable> FBackRows;
    std::unique_ptr<TKVSampleTable> FXSamples;
    std::unique_ptr<TKVSampleTable> FYSamples;
    TResampleFilter FLastRenderFilter = rfNone;
    TColor FGripColor1 = clBlack;
    TColor FGripColor2 = clWhite;
    TBrushStyle FGripBrushStyle = bsSolid;
    int32_t FGripHalfSize = 5;
    bool FMidSideGrips = true;
    int32_t FChessboardSize = 16;
    TBrushStyle FChessboardBrushStyle = bsSolid;
    bool FAutoScrolling = false;
    TColor FGradientEndColor = 0xFF0000;
    bool FEnableAlphaChannel = false;
    std::vector<TKVAnimPoly> FPolys;
    TTimer* FTimer = nullptr;
    TColor FSelColor1 = clBlack;
    TColor FSelColor2 = clWhite;

    // Selections and mouse
    TKVMask FMask;
    TKVSelectionOptions FSelectionOptions = kvsoAnimated | kvsoSizeable | kvsoMoveable | kvsoCanScroll;
    TKVMouseInteract FMouseInteract = 0;
    bool FSelected = false;
    bool FDrawingPolygon = false;
    bool FLassoMode = false;
    bool FRubberBand = false;
    bool FDrawingCircle = false;
    int32_t FResizingGrip = -1;
    int32_t FMovingGrip = -1;
    TPoint FDownPoint;
    TPoint FLastPoint;
    TPoint FPrevPoint;
    TPoint FDownView;
    int32_t FDownPolyCount = 0;
    bool FMouseDown = false;
    TMouseButton FDownButton = mbLeft;
    TResampleFilter FFilterAtDown = rfNone;
    TKVSelectionBase FBaseAtDown = kvsbClientArea;
    int32_t FSavedBox[4] = {0, 0, 0, 0};
    std::vector<std::unique_ptr<TMemoryStream>> FSavedSelections;

    // Layers
    std::vector<std::unique_ptr<TKVLayer>> FLayers;
    std::unique_ptr<TKVTransitionEffects> FTransition;
    int32_t FLayersCurrent = 0;
};

namespace Korvaneview {

// Paints a view's background style over the area (origin and size) around the image rectangle
// (two corners).
void KVDrawBackground(bool designing, TCanvas* Canvas, TKVBackgroundStyle Style, TColor Color,
                      int32_t AreaLeft, int32_t AreaTop, int32_t AreaWidth, int32_t AreaHeight,
                      int32_t ImageLeft, int32_t ImageTop, int32_t ImageRight, int32_t ImageBottom,
                      int32_t ChessboardSize, TBrushStyle ChessboardBrushStyle, TColor GradientEndColor);
// A two-colour gradient over the rectangle, top to bottom (Vertical) or left to right.
bool KVDrawGradient(const TRect& Rect, TCanvas* Canvas, TColor StartColor, bool Vertical, TColor EndColor);

} // namespace Korvaneview
