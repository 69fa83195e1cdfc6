// The property accessors of vector objects: each getter reads a field of the object (or of the
// template, handle -1) and each setter stores it and updates the view, except for the template.
#include "imaging/core/daduvudez.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvvect.h"
#include "imaging/view/system_icons.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

LOGFONT FontRecordOf(TFont* font)
{
    LOGFONT lf = font->LogFont();
    return lf;
}

} // namespace

TKVVObjectKind TKorvaneVect::GetObjKind(int32_t hobj) const
{
    return Obj(hobj).Kind;
}

void TKorvaneVect::SetObjKind(int32_t hobj, TKVVObjectKind Value)
{
    TKVVObject& o = Obj(hobj);
    o.Kind = Value;
    if ((Value == kvkTEXT || Value == kvkLINELABEL || Value == kvkMEMO) && !o.Font) {
        o.Font = FTemplate.Font ? FTemplate.Font : std::optional<LOGFONT>(LOGFONT{});
    }
    CheckedUpdate(hobj);
}

TRect TKorvaneVect::GetObjRect(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    return TRect{o.x1, o.y1, o.x2, o.y2};
}

void TKorvaneVect::SetObjRect(int32_t hobj, const TRect& Value)
{
    TKVVObject& o = Obj(hobj);
    o.x1 = Value.Left;
    o.y1 = Value.Top;
    o.x2 = Value.Right;
    o.y2 = Value.Bottom;
    CheckedUpdate(hobj);
}

int32_t TKorvaneVect::GetObjLeft(int32_t hobj) const
{
    return Obj(hobj).x1;
}

void TKorvaneVect::SetObjLeft(int32_t hobj, int32_t Value)
{
    TKVVObject& o = Obj(hobj);
    o.x2 = int32_t(int64_t(o.x2) + Value - o.x1);
    o.x1 = Value;
    CheckedUpdate(hobj);
}

int32_t TKorvaneVect::GetObjTop(int32_t hobj) const
{
    return Obj(hobj).y1;
}

void TKorvaneVect::SetObjTop(int32_t hobj, int32_t Value)
{
    TKVVObject& o = Obj(hobj);
    o.y2 = int32_t(int64_t(o.y2) + Value - o.y1);
    o.y1 = Value;
    CheckedUpdate(hobj);
}

int32_t TKorvaneVect::GetObjWidth(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    return o.x2 - o.x1 + 1;
}

void TKorvaneVect::SetObjWidth(int32_t hobj, int32_t Value)
{
    TKVVObject& o = Obj(hobj);
    o.x2 = o.x1 + Value - 1;
    CheckedUpdate(hobj);
}

int32_t TKorvaneVect::GetObjHeight(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    return o.y2 - o.y1 + 1;
}

void TKorvaneVect::SetObjHeight(int32_t hobj, int32_t Value)
{
    TKVVObject& o = Obj(hobj);
    o.y2 = o.y1 + Value - 1;
    CheckedUpdate(hobj);
}

#define KV_SIMPLE_ACCESSOR(Name, Type, Field)                                                                \
    Type TKorvaneVect::GetObj##Name(int32_t hobj) const                                                      \
    {                                                                                                        \
        return Obj(hobj).Field;                                                                              \
    }                                                                                                        \
    void TKorvaneVect::SetObj##Name(int32_t hobj, Type Value)                                                \
    {                                                                                                        \
        Obj(hobj).Field = Value;                                                                             \
        CheckedUpdate(hobj);                                                                                 \
    }

KV_SIMPLE_ACCESSOR(PenColor, TColor, PenColor)
KV_SIMPLE_ACCESSOR(PenStyle, TPenStyle, PenStyle)
KV_SIMPLE_ACCESSOR(PenWidth, int32_t, PenWidth)
KV_SIMPLE_ACCESSOR(BrushColor, TColor, BrushColor)
KV_SIMPLE_ACCESSOR(BrushStyle, TBrushStyle, BrushStyle)
KV_SIMPLE_ACCESSOR(BoxHighLight, bool, BoxHighLight)
KV_SIMPLE_ACCESSOR(ID, int32_t, ID)
KV_SIMPLE_ACCESSOR(BeginShape, TKVShape, BeginShape)
KV_SIMPLE_ACCESSOR(EndShape, TKVShape, EndShape)
KV_SIMPLE_ACCESSOR(ShapeWidth, int32_t, ShapeWidth)
KV_SIMPLE_ACCESSOR(ShapeHeight, int32_t, ShapeHeight)
KV_SIMPLE_ACCESSOR(LabelBrushColor, TColor, LabelBrushColor)
KV_SIMPLE_ACCESSOR(LabelBrushStyle, TBrushStyle, LabelBrushStyle)
KV_SIMPLE_ACCESSOR(LabelPos, TKVLabelPos, LabelPos)
KV_SIMPLE_ACCESSOR(TextAlign, TKVAlignment, TextAlign)
KV_SIMPLE_ACCESSOR(TextAutoSize, bool, TextAutoSize)
KV_SIMPLE_ACCESSOR(FontLocked, bool, FontLocked)
KV_SIMPLE_ACCESSOR(MemoLineSpace, int32_t, MemoLineSpace)
KV_SIMPLE_ACCESSOR(MemoBorderColor, TColor, MemoBorderColor)
KV_SIMPLE_ACCESSOR(MemoBorderStyle, TPenStyle, MemoBorderStyle)
KV_SIMPLE_ACCESSOR(RulerUnit, TKVUnits, RulerUnit)
KV_SIMPLE_ACCESSOR(RulerType, TKVVRulerType, RulerType)
KV_SIMPLE_ACCESSOR(PolylineClosed, bool, PolylineClosed)

#undef KV_SIMPLE_ACCESSOR

int32_t TKorvaneVect::GetObjTransparency(int32_t hobj) const
{
    return Obj(hobj).Transparency;
}

void TKorvaneVect::SetObjTransparency(int32_t hobj, int32_t Value)
{
    Obj(hobj).Transparency = std::clamp(Value, 0, 255);
    CheckedUpdate(hobj);
}

TKVVSoftShadow* TKorvaneVect::GetObjSoftShadow(int32_t hobj)
{
    return &Obj(hobj).SoftShadow;
}

TKVVStyle TKorvaneVect::GetObjStyle(int32_t hobj) const
{
    return Obj(hobj).Style;
}

void TKorvaneVect::SetObjStyle(int32_t hobj, TKVVStyle Value)
{
    TKVVObject& o = Obj(hobj);
    if (!(Value & kvvsSelectable) && hobj != kvhTemplate) {
        const int32_t index = hobj == kvhLast ? static_cast<int32_t>(FObjects.size()) - 1 : hobj;
        FSelected.erase(std::remove(FSelected.begin(), FSelected.end(), index), FSelected.end());
    }
    o.Style = Value;
    CheckedUpdate(hobj);
}

std::string TKorvaneVect::GetObjName(int32_t hobj) const
{
    return Obj(hobj).Name;
}

void TKorvaneVect::SetObjName(int32_t hobj, const std::string& Value)
{
    Obj(hobj).Name = Value.substr(0, Value.find('\0'));
    CheckedUpdate(hobj);
}

std::string TKorvaneVect::GetObjText(int32_t hobj) const
{
    return Obj(hobj).Text;
}

void TKorvaneVect::SetObjText(int32_t hobj, const std::string& Value)
{
    TKVVObject& o = Obj(hobj);
    std::string text;
    text.reserve(Value.size());
    for (char c : Value.substr(0, Value.find('\0'))) {
        if (c != '\r') {
            text += c;
        }
    }
    o.Text = std::move(text);
    // A memo keeps one format per character.
    if (!o.MemoFormats.empty() || !o.MemoCharInfos.empty()) {
        o.MemoFormats.resize(o.Text.size(), 0);
    }
    CheckedUpdate(hobj);
}

void TKorvaneVect::SetObjFont(int32_t hobj, TFont* Value)
{
    if (!Value) {
        return;
    }
    TKVVObject& o = Obj(hobj);
    o.Font = FontRecordOf(Value);
    o.PenColor = Value->Color();
    CheckedUpdate(hobj);
}

std::string TKorvaneVect::GetObjFontName(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    return o.Font ? std::string(o.Font->lfFaceName, strnlen(o.Font->lfFaceName, LF_FACESIZE)) : std::string();
}

void TKorvaneVect::SetObjFontName(int32_t hobj, const std::string& Value)
{
    TKVVObject& o = Obj(hobj);
    if (!o.Font) {
        return;
    }
    const size_t n = std::min<size_t>(Value.size(), LF_FACESIZE - 1);
    std::memset(o.Font->lfFaceName, 0, LF_FACESIZE);
    std::memcpy(o.Font->lfFaceName, Value.data(), n);
    CheckedUpdate(hobj);
}

int32_t TKorvaneVect::GetObjFontHeight(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    return o.Font ? o.Font->lfHeight : 0;
}

void TKorvaneVect::SetObjFontHeight(int32_t hobj, int32_t Value)
{
    TKVVObject& o = Obj(hobj);
    if (!o.Font) {
        return;
    }
    o.Font->lfHeight = Value;
    CheckedUpdate(hobj);
}

TFontStyles TKorvaneVect::GetObjFontStyles(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    return o.Font ? Daduvudez::KVExtractStylesFromLogFont(&*o.Font) : TFontStyles{};
}

void TKorvaneVect::SetObjFontStyles(int32_t hobj, TFontStyles Value)
{
    TKVVObject& o = Obj(hobj);
    if (!o.Font) {
        return;
    }
    o.Font->lfWeight = Value.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    o.Font->lfItalic = Value.Contains(fsItalic) ? 1 : 0;
    o.Font->lfUnderline = Value.Contains(fsUnderline) ? 1 : 0;
    o.Font->lfStrikeOut = Value.Contains(fsStrikeOut) ? 1 : 0;
    CheckedUpdate(hobj);
}

double TKorvaneVect::GetObjFontAngle(int32_t hobj) const
{
    const TKVVObject& o = Obj(hobj);
    return o.Font ? o.Font->lfEscapement / 10.0 : 0.0;
}

void TKorvaneVect::SetObjFontAngle(int32_t hobj, double Value)
{
    TKVVObject& o = Obj(hobj);
    if (!o.Font) {
        return;
    }
    o.Font->lfEscapement = Trunc(Value * 10);
    o.Font->lfOrientation = o.Font->lfEscapement;
    CheckedUpdate(hobj);
}

double TKorvaneVect::GetObjTextCurveCharRot(int32_t hobj) const
{
    return Obj(hobj).CharRot / 10.0;
}

void TKorvaneVect::SetObjTextCurveCharRot(int32_t hobj, double Value)
{
    Obj(hobj).CharRot = Trunc(Value * 10);
    CheckedUpdate(hobj);
}

int32_t TKorvaneVect::GetObjMemoFixedHeight(int32_t hobj) const
{
    return Obj(hobj).MemoFixedHeight;
}

void TKorvaneVect::SetObjMemoFixedHeight(int32_t hobj, int32_t Value)
{
    Obj(hobj).MemoFixedHeight = Value;
}

int32_t TKorvaneVect::GetObjPolylinePointsCount(int32_t hobj) const
{
    return static_cast<int32_t>(Obj(hobj).PolyPoints.size());
}

TPoint TKorvaneVect::GetObjPolylinePoints(int32_t hobj, int32_t i) const
{
    const TKVVObject& o = Obj(hobj);
    if (i < 0 || i >= static_cast<int32_t>(o.PolyPoints.size())) {
        return TPoint{};
    }
    double zx = 1, zy = 1;
    CalcZxZyPolyline(o, zx, zy);
    const TPoint& p = o.PolyPoints[size_t(i)];
    return TPoint{Round((double(p.X) - o.PolyBounds.Left) * zx) + o.x1,
                  Round((double(p.Y) - o.PolyBounds.Top) * zy) + o.y1};
}

void TKorvaneVect::SetObjPolylinePoints(int32_t hobj, const std::vector<TPoint>& Points)
{
    TKVVObject& o = Obj(hobj);
    o.PolyPoints.clear();
    o.x1 = o.y1 = 1000000;
    o.x2 = o.y2 = -1000000;
    for (const TPoint& p : Points) {
        AddPolyLinePoint(hobj, p.X, p.Y);
    }
    CheckedUpdate(hobj);
}

void TKorvaneVect::AddPolyLinePoint(int32_t hobj, int32_t x, int32_t y)
{
    TKVVObject& o = Obj(hobj);
    if (!o.PolyPoints.empty() && o.PolyPoints.back() == TPoint{x, y}) {
        return;
    }
    o.PolyPoints.push_back(TPoint{x, y});
    o.x1 = std::min(o.x1, x);
    o.y1 = std::min(o.y1, y);
    o.x2 = std::max(o.x2, x);
    o.y2 = std::max(o.y2, y);
    o.PolyBounds = TRect{o.x1, o.y1, o.x2, o.y2};
}

TKVBitmap* TKorvaneVect::GetObjBitmap(int32_t hobj)
{
    return GetBitmap(Obj(hobj).BitmapIndex);
}

void TKorvaneVect::SetObjBitmap(int32_t hobj, TKVBitmap* Value)
{
    SetObjBitmapNU(hobj, Value);
    CheckedUpdate(hobj);
}

void TKorvaneVect::ObjSetTBitmap(int32_t hobj, TBitmap* Value)
{
    if (!Value) {
        SetObjBitmap(hobj, nullptr);
        return;
    }
    TKVBitmap wrapper;
    wrapper.EncapsulateTBitmap(Value, false);
    SetObjBitmap(hobj, &wrapper);
}

TKVBitmap* TKorvaneVect::GetObjBitmapAlpha(int32_t hobj)
{
    return GetBitmapAlpha(Obj(hobj).BitmapIndex);
}

void TKorvaneVect::SetObjBitmapAlpha(int32_t hobj, TKVBitmap* Value)
{
    TKVBitmap* alpha = GetObjBitmapAlpha(hobj);
    if (alpha && Value) {
        alpha->Assign(Value);
    }
    CheckedUpdate(hobj);
}

void TKorvaneVect::SetObjBitmapICO(int32_t hobj, int32_t id, int32_t width, int32_t height)
{
    if (width < 1 || height < 1) {
        return;
    }
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(width, height);
    picture.Canvas()->Brush()->SetColor(clWhite);
    picture.Canvas()->FillRect(Rect(0, 0, width, height));
    if (const TBitmap* icon = Kvvect::SystemIcon(id)) {
        picture.Canvas()->StretchDraw(Rect(0, 0, width, height), const_cast<TBitmap*>(icon));
    }
    ObjSetTBitmap(hobj, &picture);
}

bool TKorvaneVect::SetObjBitmapFromFile(int32_t hobj, const std::string& FileName)
{
    Obj(hobj);
    TKVBitmap picture;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&picture);
    io.LoadFromFile(FileName);
    if (io.Aborting) {
        return false;
    }
    SetObjBitmapNU(hobj, &picture);
    return true;
}

void TKorvaneVect::SetObjTextCurve(int32_t hobj, double x, double y)
{
    Obj(hobj).Curve.push_back(TKVDPoint{x, y});
}

void TKorvaneVect::SetObjAnglePoints(int32_t hobj, const TPoint& a, const TPoint& vertex, const TPoint& b)
{
    TKVVObject& o = Obj(hobj);
    o.AnglePoints[0] = a;
    o.AnglePoints[1] = vertex;
    o.AnglePoints[2] = b;
    // The rectangle (grips, hit testing, selection) follows as when the gauge is drawn with the
    // mouse: centred on the vertex, reaching the farther arm end.
    if (CountAnglePoints(o.AnglePoints) == 3) {
        const int32_t hw = std::abs(vertex.X - std::max(a.X, b.X));
        const int32_t hh = std::abs(vertex.Y - std::max(a.Y, b.Y));
        o.x1 = vertex.X - hw;
        o.y1 = vertex.Y - hh;
        o.x2 = vertex.X + hw;
        o.y2 = vertex.Y + hh;
    }
    CheckedUpdate(hobj);
}
