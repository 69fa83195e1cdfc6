// Kvvect: TKorvaneVect, an image view with a layer of vector objects above the picture (lines,
// boxes, ellipses, arcs, pictures, texts, rulers, polylines, angle gauges, memos and labelled
// lines), their own file format, mouse work with live measures, clipboard, undo and DXF import.
#pragma once

#include "imaging/view/korvaneview.h"
#include "imaging/view/text_layout.h"
#include "platform/core/exceptions.h"
#include "platform/graphics/gdi_records.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TEdit;
class TKVTextControl;
class TMemoryStream;
class TStream;

enum TKVVObjectKind : uint8_t
{
    kvkNONE,
    kvkLINE,
    kvkBOX,
    kvkELLIPSE,
    kvkARC,
    kvkBITMAP,
    kvkTEXT,
    kvkRULER,
    kvkPOLYLINE,
    kvkANGLE,
    kvkMEMO,
    kvkLINELABEL
};

enum TKVShape : uint8_t
{
    kvsNONE,
    kvsINARROW,
    kvsOUTARROW
};

enum TKVLabelPos : uint8_t
{
    kvlBegin,
    kvlEnd
};

enum TKVCurve : uint8_t
{
    kvcNone,
    kvcEllipse,
    kvcCosine,
    kvcVertical,
    kvcHorizontal,
    kvcArc
};

enum TKVUnits : uint8_t
{
    kvuPIXELS,
    kvuINCHES,
    kvuKM,
    kvuMETERS,
    kvuCENTIMETERS,
    kvuMILLIMETERS,
    kvuMICRONS,
    kvuNANOMETERS
};

enum TKVVRulerType : uint8_t
{
    kvrtRULER,
    kvrtQUOTEBEGIN,
    kvrtQUOTECENTER,
    kvrtQUOTEEND
};

// A set of object styles, one bit each.
using TKVVStyle = uint8_t;
enum : TKVVStyle
{
    kvvsSelectable = 1 << 0,
    kvvsMoveable = 1 << 1,
    kvvsSizeable = 1 << 2,
    kvvsVisible = 1 << 3,
    kvvsAll = kvvsSelectable | kvvsMoveable | kvvsSizeable | kvvsVisible,
};

// The vector mouse mode: a set of items, one bit each.
using TKVMouseInteractVt = uint16_t;
enum : TKVMouseInteractVt
{
    miArea = 1 << 0,
    miLineLen = 1 << 1,
    miPutLine = 1 << 2,
    miPutBox = 1 << 3,
    miPutEllipse = 1 << 4,
    miPutBitmap = 1 << 5,
    miPutText = 1 << 6,
    miObjectSelect = 1 << 7,
    miDragLen = 1 << 8,
    miPutRuler = 1 << 9,
    miPutPolyLine = 1 << 10,
    miPutAngle = 1 << 11,
    miPutMemo = 1 << 12,
    miPutLineLabel = 1 << 13,
};

// Special object handles.
enum : int32_t
{
    kvhTemplate = -1, // the record that seeds new objects
    kvhLast = -2,     // the last slot of the object array
    kvhAll = -3,      // every object (saving, rectangle selection); none found (hit testing)
    kvhNothing = -4,
};

// Marks a point of an angle gauge as not yet set.
constexpr int32_t KVAngleUnset = -1000000;

struct TKVVSoftShadow
{
    uint8_t Enabled = 0;
    double Radius = 3.0;
    int32_t OffsetX = 2;
    int32_t OffsetY = 2;
};

struct TKVDPoint
{
    double X = 0;
    double Y = 0;
    friend bool operator==(const TKVDPoint&, const TKVDPoint&) = default;
};

// One vector object. Coordinates are bitmap pixels.
struct TKVVObject
{
    int32_t x1 = 0, y1 = 0, x2 = 63, y2 = 63;
    TKVVObjectKind Kind = kvkNONE;
    int32_t Transparency = 255;
    TKVShape BeginShape = kvsNONE;
    TKVShape EndShape = kvsNONE;
    int32_t ShapeWidth = 10;
    int32_t ShapeHeight = 20;
    TColor LabelBrushColor = 0xFFFFFF;
    TBrushStyle LabelBrushStyle = bsSolid;
    TKVLabelPos LabelPos = kvlEnd;
    TColor PenColor = clWindowText;
    TPenStyle PenStyle = psSolid;
    int32_t PenWidth = 1;
    TColor BrushColor = 0xFFFFFF;
    TBrushStyle BrushStyle = bsClear;
    bool BoxHighLight = false;
    double ArcStart = 0.0;
    double ArcEnd = 6.283185307179586;
    int32_t BitmapIndex = -1;
    std::string Text;
    std::optional<LOGFONT> Font;
    TKVAlignment TextAlign = kvjLeft;
    bool TextAutoSize = false;
    bool FontLocked = true;
    std::vector<TKVDPoint> Curve;
    int32_t CharRot = -1; // tenths of a degree; -10 follows the curve
    std::vector<int32_t> MemoFormats;
    std::vector<TKVCharInfo> MemoCharInfos;
    int32_t MemoLineSpace = 0;
    TColor MemoBorderColor = 0xFFFFFF;
    TPenStyle MemoBorderStyle = psSolid;
    int32_t MemoFixedHeight = 0;
    std::string Name;
    int32_t ID = 0;
    TKVVStyle Style = kvvsAll;
    TKVUnits RulerUnit = kvuPIXELS;
    TKVVRulerType RulerType = kvrtQUOTECENTER;
    std::vector<TPoint> PolyPoints;
    TRect PolyBounds; // the vertices' bounds when they were set
    bool PolylineClosed = false;
    TPoint AnglePoints[3] = {{0, 0}, {50, 0}, {50, 50}};
    TKVVSoftShadow SoftShadow;

    // Filled by each drawing (screen pixels); not stored.
    TRect DrawnBounds;
    int32_t DrawnPenWidth = 0;
    // The rectangle when a grip drag began.
    TRect DragStart;
    // The slot holds a live object (a removed object leaves a hole).
    bool Alive = false;
};

// Raised by an accessor given a handle that is no live object, -1 or -2.
class EKVVectHandle : public Exception
{
public:
    using Exception::Exception;
};

// Raised by a reader given a corrupt or cut vector block or clipboard block.
class EKVVFormat : public Exception
{
public:
    using Exception::Exception;
};

using TKVVMeasureHintEvent = std::function<void(TObject* Sender, std::string& Text, double Value)>;
using TKVVDragLenEndEvent = std::function<void(TObject* Sender, double Value)>;
using TKVVNewObject = std::function<void(TObject* Sender, int32_t hobj)>;
using TKVVObjectMoveResizeEvent =
    std::function<void(TObject* Sender, int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY)>;
using TKVVObjectClickEvent = std::function<void(TObject* Sender, int32_t hobj)>;

namespace Kvvect {

// The version byte of the blocks written.
constexpr uint8_t KVVVER = 0x40;
// The private clipboard format of objects.
extern const uint16_t KVVECTCLIPFORMAT;
// The display name of a unit in measure texts.
const char* UnitName(TKVUnits unit);
// A number fixed-point with at most digits decimals and precision significant digits.
std::string FormatMeasure(double value, int32_t precision, int32_t digits);

// A tick of a ruler's graduated scale, one every tenth of a unit: its foot on the line and its
// end; a whole unit's tick also has its number and the place of its label.
struct TKVScaleTick
{
    TPoint Foot;
    TPoint End;
    bool Labelled = false;
    int64_t Units = 0;
    TPoint LabelAt;
};
// The ticks of a graduated ruler from (x1, y1) to (x2, y2) drawn at scale s, whose unit has the
// coefficients cx and cy (units per pixel); none where they would stand closer than a pixel.
std::vector<TKVScaleTick> ScaleTicks(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double s, double cx,
                                     double cy);

} // namespace Kvvect

class TKorvaneVect : public TKorvaneView
{
public:
    explicit TKorvaneVect(TComponent* AOwner);
    ~TKorvaneVect() override;

    // ---- View overrides ----
    void Assign(TPersistent* Source) override;
    void Update() override;
    void SetDPIX(int32_t Value) override;
    void SetDPIY(int32_t Value) override;
    void SetMouseInteract(TKVMouseInteract Value) override;
    void ViewChange(int32_t Change) override;
    void SubMouseMoveScroll(int32_t dx, int32_t dy) override;
    void PaintToEx(TBitmap* Bitmap, std::unique_ptr<TKVRowTable>& Rows, const TRect* UpdateRect) override;
    void Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVSelOp op = kvspReplace) override;
    void AddSelPoint(int32_t x, int32_t y) override;
    virtual void DoVectorialChanged();
    virtual void UpdateTextEdit();
    virtual void SetObjGraphicRender(bool Value);
    virtual void DoBeforeVectorialChange();
    bool GetObjGraphicRender() const { return FGraphicRender; }

    // ---- Objects (vect_model.cpp) ----
    int32_t AddNewObject();
    int32_t AddVObject(const TKVVObject& Source);
    int32_t AddVObject(TKVVObject&& Source);
    void RemoveObject(int32_t hobj);
    void RemoveAllObjects();
    // Live objects, bottom first.
    int32_t ObjectsCount() const { return static_cast<int32_t>(FZOrder.size()); }
    int32_t GetObjFromIndex(int32_t pos) const;
    int32_t GetObjPos(int32_t hobj) const;
    int32_t GetObjFromName(const std::string& Name) const;
    int32_t GetObjFromID(int32_t ID) const;
    void SetObjFrontOf(int32_t hobj, int32_t ref);
    void SetObjBackTo(int32_t hobj, int32_t ref);
    TRect GetObjectsExtents() const;
    void CopyObjectTo(int32_t hobj, TKorvaneVect* Dest);
    void CopyAllObjectsTo(TKorvaneVect* Dest);
    void CopySelectedObjectsTo(TKorvaneVect* Dest);
    bool AllObjectsHidden() const { return FAllHidden; }
    void SetAllObjectsHidden(bool Value);
    void CancelInteracts();
    // The record of a live object, the template (-1) or the last slot (-2); raises EKVVectHandle
    // for anything else.
    TKVVObject& Obj(int32_t hobj);
    const TKVVObject& Obj(int32_t hobj) const;
    bool IsLiveObject(int32_t hobj) const;

    // ---- Object selection ----
    void AddSelObjectNS(int32_t hobj);
    void AddSelObject(int32_t hobj);
    bool IsSelObject(int32_t hobj) const;
    void UnSelObject(int32_t hobj);
    void UnSelAllObjects();
    void SelAllObjects();
    void SelInRect(int32_t hobj, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    int32_t GetSelObjects(int32_t i) const;
    int32_t SelObjectsCount() const { return static_cast<int32_t>(FSelected.size()); }

    // ---- Picture store ----
    TKVBitmap* GetBitmap(int32_t index);
    TKVBitmap* GetBitmapAlpha(int32_t index);
    int32_t AllocBitmap();
    void FreeBitmap(int32_t index);
    int32_t FindBitmap(TKVBitmap* Bitmap);
    void SetObjBitmapNU(int32_t hobj, TKVBitmap* Bitmap);
    void SetObjBitmapIdxNU(int32_t hobj, int32_t index);
    void PackBMP();
    int32_t BitmapStoreCount() const { return static_cast<int32_t>(FBitmaps.size()); }
    int32_t BitmapRefCount(int32_t index) const;
    bool ShareBitmaps = true;

    // ---- Units and scale ----
    TKVUnits MUnit() const { return FMUnit; }
    void SetMUnit(TKVUnits Value);
    double Scale() const { return FScale; }
    // Values that are 0, negative or not finite are ignored.
    void SetScale(double Value);
    void SetScaleFromPixels(double Pixels, double Value);
    void SetScaleFromSelectionLen(double Value);
    void CalcCoef(double& cx, double& cy, TKVUnits Unit) const;
    double CoefX() const { return FCoefX; }
    double CoefY() const { return FCoefY; }
    double GetSelectionLen();
    int32_t FloatDigits = 2;
    int32_t FloatPrecision = 15;

    // ---- Hit testing ----
    // (x, y) in client pixels.
    int32_t FindObjectAt(int32_t x, int32_t y, double& dist);
    // (x, y) in bitmap pixels; -3 when none is near enough.
    int32_t FindNearObj(int32_t x, int32_t y, double& dist, bool selectableOnly);
    double CalcDistPtObj(const TKVVObject& o, int32_t x, int32_t y) const;
    // Screen pixels; -1: no limit.
    int32_t HitDistanceLimit = -1;

    // ---- Property accessors (vect_accessors.cpp) ----
    TKVVObjectKind GetObjKind(int32_t hobj) const;
    void SetObjKind(int32_t hobj, TKVVObjectKind Value);
    TRect GetObjRect(int32_t hobj) const;
    void SetObjRect(int32_t hobj, const TRect& Value);
    int32_t GetObjLeft(int32_t hobj) const;
    void SetObjLeft(int32_t hobj, int32_t Value);
    int32_t GetObjTop(int32_t hobj) const;
    void SetObjTop(int32_t hobj, int32_t Value);
    int32_t GetObjWidth(int32_t hobj) const;
    void SetObjWidth(int32_t hobj, int32_t Value);
    int32_t GetObjHeight(int32_t hobj) const;
    void SetObjHeight(int32_t hobj, int32_t Value);
    TColor GetObjPenColor(int32_t hobj) const;
    void SetObjPenColor(int32_t hobj, TColor Value);
    TPenStyle GetObjPenStyle(int32_t hobj) const;
    void SetObjPenStyle(int32_t hobj, TPenStyle Value);
    int32_t GetObjPenWidth(int32_t hobj) const;
    void SetObjPenWidth(int32_t hobj, int32_t Value);
    TColor GetObjBrushColor(int32_t hobj) const;
    void SetObjBrushColor(int32_t hobj, TColor Value);
    TBrushStyle GetObjBrushStyle(int32_t hobj) const;
    void SetObjBrushStyle(int32_t hobj, TBrushStyle Value);
    bool GetObjBoxHighLight(int32_t hobj) const;
    void SetObjBoxHighLight(int32_t hobj, bool Value);
    int32_t GetObjTransparency(int32_t hobj) const;
    void SetObjTransparency(int32_t hobj, int32_t Value);
    TKVVSoftShadow* GetObjSoftShadow(int32_t hobj);
    TKVVStyle GetObjStyle(int32_t hobj) const;
    void SetObjStyle(int32_t hobj, TKVVStyle Value);
    int32_t GetObjID(int32_t hobj) const;
    void SetObjID(int32_t hobj, int32_t Value);
    std::string GetObjName(int32_t hobj) const;
    void SetObjName(int32_t hobj, const std::string& Value);
    TKVShape GetObjBeginShape(int32_t hobj) const;
    void SetObjBeginShape(int32_t hobj, TKVShape Value);
    TKVShape GetObjEndShape(int32_t hobj) const;
    void SetObjEndShape(int32_t hobj, TKVShape Value);
    int32_t GetObjShapeWidth(int32_t hobj) const;
    void SetObjShapeWidth(int32_t hobj, int32_t Value);
    int32_t GetObjShapeHeight(int32_t hobj) const;
    void SetObjShapeHeight(int32_t hobj, int32_t Value);
    TColor GetObjLabelBrushColor(int32_t hobj) const;
    void SetObjLabelBrushColor(int32_t hobj, TColor Value);
    TBrushStyle GetObjLabelBrushStyle(int32_t hobj) const;
    void SetObjLabelBrushStyle(int32_t hobj, TBrushStyle Value);
    TKVLabelPos GetObjLabelPos(int32_t hobj) const;
    void SetObjLabelPos(int32_t hobj, TKVLabelPos Value);
    std::string GetObjText(int32_t hobj) const;
    // Stores the text without carriage returns.
    void SetObjText(int32_t hobj, const std::string& Value);
    void SetObjFont(int32_t hobj, TFont* Value);
    std::string GetObjFontName(int32_t hobj) const;
    void SetObjFontName(int32_t hobj, const std::string& Value);
    int32_t GetObjFontHeight(int32_t hobj) const;
    void SetObjFontHeight(int32_t hobj, int32_t Value);
    TFontStyles GetObjFontStyles(int32_t hobj) const;
    void SetObjFontStyles(int32_t hobj, TFontStyles Value);
    double GetObjFontAngle(int32_t hobj) const;
    void SetObjFontAngle(int32_t hobj, double Value);
    TKVAlignment GetObjTextAlign(int32_t hobj) const;
    void SetObjTextAlign(int32_t hobj, TKVAlignment Value);
    bool GetObjTextAutoSize(int32_t hobj) const;
    void SetObjTextAutoSize(int32_t hobj, bool Value);
    double GetObjTextCurveCharRot(int32_t hobj) const;
    void SetObjTextCurveCharRot(int32_t hobj, double Value);
    bool GetObjFontLocked(int32_t hobj) const;
    void SetObjFontLocked(int32_t hobj, bool Value);
    int32_t GetObjMemoLineSpace(int32_t hobj) const;
    void SetObjMemoLineSpace(int32_t hobj, int32_t Value);
    TColor GetObjMemoBorderColor(int32_t hobj) const;
    void SetObjMemoBorderColor(int32_t hobj, TColor Value);
    TPenStyle GetObjMemoBorderStyle(int32_t hobj) const;
    void SetObjMemoBorderStyle(int32_t hobj, TPenStyle Value);
    int32_t GetObjMemoFixedHeight(int32_t hobj) const;
    void SetObjMemoFixedHeight(int32_t hobj, int32_t Value);
    TKVUnits GetObjRulerUnit(int32_t hobj) const;
    void SetObjRulerUnit(int32_t hobj, TKVUnits Value);
    TKVVRulerType GetObjRulerType(int32_t hobj) const;
    void SetObjRulerType(int32_t hobj, TKVVRulerType Value);
    bool GetObjPolylineClosed(int32_t hobj) const;
    void SetObjPolylineClosed(int32_t hobj, bool Value);
    int32_t GetObjPolylinePointsCount(int32_t hobj) const;
    // Vertex i mapped into the current rectangle; (0, 0) for i outside the vertices.
    TPoint GetObjPolylinePoints(int32_t hobj, int32_t i) const;
    void SetObjPolylinePoints(int32_t hobj, const std::vector<TPoint>& Points);
    void AddPolyLinePoint(int32_t hobj, int32_t x, int32_t y);
    TKVBitmap* GetObjBitmap(int32_t hobj);
    void SetObjBitmap(int32_t hobj, TKVBitmap* Value);
    void ObjSetTBitmap(int32_t hobj, TBitmap* Value);
    TKVBitmap* GetObjBitmapAlpha(int32_t hobj);
    void SetObjBitmapAlpha(int32_t hobj, TKVBitmap* Value);
    void SetObjBitmapICO(int32_t hobj, int32_t id, int32_t width, int32_t height);
    bool SetObjBitmapFromFile(int32_t hobj, const std::string& FileName);
    void SetObjTextCurve(int32_t hobj, double x, double y);
    const TPoint* GetObjAnglePoints(int32_t hobj) const { return Obj(hobj).AnglePoints; }
    void SetObjAnglePoints(int32_t hobj, const TPoint& a, const TPoint& vertex, const TPoint& b);

    // ---- File format (vect_file.cpp) ----
    void SaveToStreamKVV(TStream& Stream);
    // False, with nothing changed, for another magic or version; a corrupt block raises and
    // leaves the layer as it was.
    bool LoadFromStreamKVV(TStream& Stream);
    void SaveToFileKVV(const std::string& FileName);
    bool LoadFromFileKVV(const std::string& FileName);
    void SaveObj(TStream& Stream, int32_t hobj);
    int32_t ReadObj(TStream& Stream, int32_t Version, bool KeepBitmapIndex);

    // ---- Drawing (vect_draw.cpp) ----
    void DrawObjectAll(bool BitmapMode, TBitmap* Target, double s);
    bool DrawObject(TKVVObject& o, TBitmap* Target, double s, bool Offscreen, bool ScreenMode, bool Clip);
    void VPaintTo(TBitmap* Target);
    void DrawObjectsToBitmap(TKVBitmap* Bitmap, bool Antialias);
    void CopyObjectsToBack(bool Antialias);
    void DrawSelGrips(TCanvas* Canvas);
    void DrawObjectGrips(TCanvas* Canvas, const TKVVObject& o);
    void DrawGrip(TCanvas* Canvas, int32_t x, int32_t kind, int32_t y);
    bool InGrip(int32_t x, int32_t y, int32_t px, int32_t py) const;
    void SetGripStyle(int32_t Size, int32_t PenWidth, TPenStyle PenStyle);
    bool CenterGrip = true;
    int32_t VXBmp2Scr(int32_t x, bool Screen, double s) const;
    int32_t VYBmp2Scr(int32_t y, bool Screen, double s) const;
    bool ZoomObjectsWidth = true;
    TResampleFilter BitmapResampleFilter = rfNone;
    // Objects drawn since the last full paint.
    int32_t DrawnObjects() const { return FDrawnCount; }

    // ---- Mouse, keys and the measure hint (vect_mouse.cpp) ----
    TKVMouseInteractVt MouseInteractVt() const { return FMouseInteractVt; }
    void SetMouseInteractVt(TKVMouseInteractVt Value);
    TKVMouseInteractVt GetMouseInteract() const { return FMouseInteractVt; }
    int32_t FindSelGrip(int32_t x, int32_t y, int32_t& grip);
    void TraslateObject(int32_t hobj, int32_t dx, int32_t dy);
    void ChangeObjectCoor(int32_t hobj, int32_t dx1, int32_t grip, bool keepAspect, int32_t dy2, int32_t dx2,
                          int32_t dy1);
    void UpdateHint(int32_t x, int32_t y);
    void HintShow(int32_t x, int32_t y);
    void HintRestore();
    bool HintOn() const { return FHintOn; }
    // The text and value of the last hint drawn.
    const std::string& HintText() const { return FHintText; }
    double HintValue() const { return FHintLastValue; }
    TFont* HintFont() const { return FHintFont.get(); }
    TBrush* HintBrush() const { return FHintBrush.get(); }
    TColor HintColor1 = 0xFFFFFF;
    TColor HintColor2 = 0x808080;

    // ---- Clipboard and undo (vect_clipboard.cpp) ----
    bool ObjCopyToClipboard();
    void ObjCutToClipboard();
    void ObjPasteFromClipboard(int32_t dx, int32_t dy);
    void ObjSaveUndo();
    void ObjUndo();
    void ObjUndoAt(int32_t i);
    void ObjClearUndo();
    void ObjClearAllUndo();
    bool GetObjCanUndo() const { return !FUndo.empty(); }
    int32_t GetObjUndoCount() const { return static_cast<int32_t>(FUndo.size()); }
    // Values below 1 count as 1.
    int32_t ObjUndoLimit = 1;
    bool ObjAutoUndo = false;

    // ---- Geometry (vect_geometry.cpp) ----
    void CalcZxZyPolyline(const TKVVObject& o, double& zx, double& zy) const;
    double GetPolylineLen(int32_t hobj) const;
    double GetObjDiagLen(int32_t hobj) const;
    double GetPolylineArea(int32_t hobj) const;
    TPoint GetPolylineCentroid(int32_t hobj);
    double GetSelectionArea();
    TPoint GetSelectionCentroid();
    void SimplifyPolygon(int32_t hobj, int32_t maxPoints);
    bool RemovePolygonJaggedEdges(int32_t hobj);
    int32_t CreatePolygonFromEdge(int32_t x, int32_t y, int32_t tolerance, bool option);
    int32_t CreateImageFromSelectedArea(int32_t feather, bool smooth);
    void SetObjTextCurveShape(int32_t hobj, TKVCurve shape, bool reverse, double phase);
    void SetObjTextCurveFromPolyline(int32_t hobj, int32_t hpoly);

    // ---- DXF (vect_dxf.cpp) ----
    // True when the file was read to its end.
    bool ImportDXF(const std::string& FileName);

    // ---- Texts and in-place editing (vect_text.cpp) ----
    void DrawObjectText(TCanvas* Canvas, int32_t x1, TRect* Bounds, bool MaskMode, double f, TKVVObject& o,
                        int32_t y2, int32_t x2, int32_t y1);
    void DrawObjectLineLabel(TCanvas* Canvas, int32_t x1, TRect* Bounds, double f, TKVVObject& o, int32_t y2,
                             int32_t x2, int32_t y1);
    void ActiveTextEdit();
    void RemoveTextEdit();
    bool IsEditMode() const { return FEditedObject > -1; }
    int32_t EditedObject() const { return FEditedObject; }
    // Opens the in-place editor on a text or memo object.
    void EditObject(int32_t hobj);
    std::string GetMemoFormattedString(int32_t hobj);
    TEdit* TextEditor() const { return FTextEdit; }
    TKVTextControl* MemoEditor() const { return FMemoEdit; }

    // ---- Rulers and angle gauges (vect_rulers.cpp) ----
    void DrawRuler(TCanvas* Canvas, int32_t x1, TRect* Bounds, double s, TKVVRulerType RulerType,
                   int32_t PenWidth, TColor Colour, TKVUnits Unit, int32_t y1, int32_t x2, int32_t y2);
    void DrawAngle(TCanvas* Canvas, const TPoint* Points, double s, bool ScreenMode, TRect* Bounds,
                   int32_t PenWidth, TColor Colour, int32_t Count);
    static int32_t CountAnglePoints(const TPoint* Points);
    double GetAngleValue(int32_t hobj) const;
    static double AngleValue(const TPoint* Points);

    // ---- Events ----
    TNotifyEvent OnSelectObject;
    TKVVMeasureHintEvent OnMeasureHint;
    TKVVDragLenEndEvent OnDragLenEnd;
    TNotifyEvent OnVectorialChanged;
    TNotifyEvent OnBeforeVectorialChanged;
    TKVVNewObject OnNewObject;
    TKVVObjectMoveResizeEvent OnObjectMoveResize;
    TKVVObjectClickEvent OnObjectClick;
    TKVVObjectClickEvent OnObjectDblClick;
    TKVVObjectClickEvent OnObjectOver;

protected:
    void Paint() override;
    void Resize() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void DblClick() override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;

private:
    struct TStoredBitmap
    {
        std::unique_ptr<TKVBitmap> Bitmap;
        int32_t RefCount = 0;
    };
    // The state a load reads into before it replaces the layer's.
    struct TLayerState;
    struct TReadContext;

    // vect_model.cpp
    int32_t Resolve(int32_t hobj) const;
    void RemoveVObjData(TKVVObject& o);
    void RecalcCoef();
    void CheckedUpdate(int32_t hobj);
    void Changed(int32_t hobj) { CheckedUpdate(hobj); }
    void RemoveObjectNoSnapshot(int32_t hobj);
    void InitTemplate();
    int32_t StoreCopyOf(TKVBitmap* Bitmap);
    bool InVisiblePart(const TKVVObject& o, const TRect& visible) const;

    // vect_file.cpp
    void WriteRecord(TStream& Stream, const TKVVObject& o, int32_t handle) const;
    void ReadRecord(TReadContext& context, TStream& Stream, int32_t depth,
                    std::vector<TKVVObject>& out) const;
    void ReadBlock(TStream& Stream, TLayerState& state, uint8_t& version);
    void SwapIn(TLayerState& state);
    int32_t AddLoadedObject(const TKVVObject& Record);

    // vect_draw.cpp
    void DrawOffscreen(TBitmap* Target, double s, bool ScreenMode);
    void DrawLineShape(TCanvas* Canvas, TKVShape Shape, int32_t ex, int32_t ey, int32_t ox, int32_t oy,
                       int32_t h, int32_t wb, TRect* Bounds);
    void DrawBitmapObject(TBitmap* Target, TKVVObject& o, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                          bool Offscreen);
    void DrawPolylineObject(TCanvas* Canvas, TKVVObject& o, int32_t x1, int32_t y1, bool ScreenMode,
                            double s);
    void DrawInsertPreview(int32_t x, int32_t y);
    TPoint ScreenCorner(const TKVVObject& o, int32_t x, int32_t y, bool ScreenMode, double s) const;

    // vect_mouse.cpp
    void ClampToPicture(int32_t& x, int32_t& y) const;
    TPoint DownPoint() const { return FDownPoint; }
    void FinishInsertion(int32_t x, int32_t y, TShiftState Shift);
    void ClickSelect(TShiftState Shift);
    void DragGrip(TShiftState Shift, int32_t x, int32_t y);
    void RubberBandSelect(TShiftState Shift, int32_t x, int32_t y);
    double MeasureValue(int32_t x, int32_t y);

    // vect_text.cpp
    void TextEditOnChange(TObject* Sender);
    void TextEditKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
    void MemoEditKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
    void ApplyCharset(TFont* Font) const;
    void DrawTextOnCurve(TCanvas* Canvas, TKVVObject& o, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                         TRect* Bounds, double f);
    void DrawMemo(TCanvas* Canvas, TKVVObject& o, int32_t x1, int32_t y1, bool MaskMode, double f);
    void SetFontFor(TCanvas* Canvas, const TKVVObject& o, double f, int32_t boxHeight,
                    int32_t escapement) const;

    // Objects
    std::vector<TKVVObject> FObjects;
    std::vector<int32_t> FZOrder;
    std::vector<int32_t> FSelected;
    TKVVObject FTemplate;
    std::vector<TStoredBitmap> FBitmaps;
    double FScale = 1.0;
    TKVUnits FMUnit = kvuPIXELS;
    double FCoefX = 1.0;
    double FCoefY = 1.0;
    bool FAllHidden = false;
    bool FGraphicRender = false;
    bool FChangePending = false;

    // Drawing
    int32_t FGripSize = 4;
    int32_t FGripPenWidth = 1;
    TPenStyle FGripPenStyle = psSolid;
    int32_t FDrawnCount = 0;
    std::unique_ptr<TKVBitmap> FOffscreen;
    std::unique_ptr<TKVRowTable> FRenderRows;
    std::unique_ptr<TKVSampleTable> FRenderX;
    std::unique_ptr<TKVSampleTable> FRenderY;
    // The off-screen area the last object touched, cleared before the next one.
    TRect FOffscreenUsed;
    // Set while an object is drawn onto the off-screen alpha channel.
    bool FMaskPass = false;
    // The object whose memo layout text GetMemoFormattedString asks for, and that text.
    int32_t FLayoutWanted = -1;
    std::string FLayoutText;

    // Interaction
    TKVMouseInteractVt FMouseInteractVt = 0;
    int32_t FInserting = 0;
    int32_t FGrip = 0;
    TPoint FDownPoint;
    TPoint FCurrent;
    TPoint FDragTotal;
    bool FDragging = false;
    bool FMouseIsDown = false;
    bool FMoved = false;
    int32_t FInsertedPolyline = -1;
    int32_t FInsertedAngle = -1;
    bool FPreviewShown = false;
    TPoint FPreviewEnd;
    bool FDrawingSelPolygon = false;
    TPoint FLastMouse;
    bool FLiveSegment = true;

    // Measure hint
    bool FHintOn = false;
    TPoint FHintPos;
    double FHintLastValue = 0;
    std::string FHintText;
    std::unique_ptr<TBitmap> FHintSaved;
    TPoint FHintSavedAt;
    std::unique_ptr<TFont> FHintFont;
    std::unique_ptr<TBrush> FHintBrush;

    // Undo
    std::vector<std::unique_ptr<TMemoryStream>> FUndo;

    // In-place editing
    int32_t FEditedObject = -1;
    TEdit* FTextEdit = nullptr;
    TKVTextControl* FMemoEdit = nullptr;
};
