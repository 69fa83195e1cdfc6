// The vector layer's object store: construction, handles and z-order, adding and removing,
// selection of objects, the shared picture store, units and scale, and hit testing.
#include "imaging/core/daduvudez.h"
#include "imaging/core/geometry_helpers.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/view/kvtextc.h"
#include "imaging/view/kvvect.h"
#include "imaging/view/system_icons.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"
#include "platform/forms/std_controls.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Kvvect {

const char* UnitName(TKVUnits unit)
{
    static const char* const names[] = {"pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers"};
    return unit <= kvuNANOMETERS ? names[unit] : "";
}

} // namespace Kvvect

namespace {

bool IsLineKind(TKVVObjectKind k)
{
    return k == kvkLINE || k == kvkRULER || k == kvkPOLYLINE || k == kvkLINELABEL;
}

void OrderRect(TKVVObject& o)
{
    if (o.x1 > o.x2) {
        std::swap(o.x1, o.x2);
    }
    if (o.y1 > o.y2) {
        std::swap(o.y1, o.y2);
    }
}

// Text and names are C strings in the stored form: nothing after a NUL survives.
void CutAtNul(std::string& s)
{
    const size_t nul = s.find('\0');
    if (nul != std::string::npos) {
        s.resize(nul);
    }
}

} // namespace

TKorvaneVect::TKorvaneVect(TComponent* AOwner) : TKorvaneView(AOwner)
{
    FTextEdit = new TEdit(this);
    FTextEdit->SetVisible(false);
    FMemoEdit = new TKVTextControl(this);
    FMemoEdit->SetVisible(false);
    FHintFont = std::make_unique<TFont>();
    FHintFont->SetName("Arial");
    FHintFont->SetColor(clBlack);
    FHintFont->SetStyle({fsBold});
    FHintBrush = std::make_unique<TBrush>();
    FHintBrush->SetColor(0x60FFFF);
    FHintBrush->SetStyle(bsSolid);
    FHintSaved = std::make_unique<TBitmap>();
    FHintSaved->SetPixelFormat(pf24bit);
    FHintSaved->SetSize(1, 1);
    InitTemplate();
    RecalcCoef();
}

TKorvaneVect::~TKorvaneVect()
{
    FEditedObject = -1;
    for (TKVVObject& o : FObjects) {
        o.Alive = false;
    }
    FObjects.clear();
    FBitmaps.clear();
}

void TKorvaneVect::InitTemplate()
{
    FTemplate = TKVVObject{};
    TFont arial;
    arial.Assign(Font());
    arial.SetName("Arial");
    FTemplate.Font = arial.LogFont();
    FTemplate.PenColor = Canvas()->Font()->Color();
    FTemplate.RulerUnit = FMUnit;
    FTemplate.Alive = true;
    if (const TBitmap* icon = Kvvect::SystemIcon(Kvvect::IDI_HAND)) {
        TKVBitmap picture;
        picture.CopyFromTBitmap(const_cast<TBitmap*>(icon));
        SetObjBitmapNU(kvhTemplate, &picture);
    }
}

// ---- handles ----

int32_t TKorvaneVect::Resolve(int32_t hobj) const
{
    return hobj == kvhLast ? static_cast<int32_t>(FObjects.size()) - 1 : hobj;
}

bool TKorvaneVect::IsLiveObject(int32_t hobj) const
{
    const int32_t i = Resolve(hobj);
    return i >= 0 && i < static_cast<int32_t>(FObjects.size()) && FObjects[size_t(i)].Alive;
}

TKVVObject& TKorvaneVect::Obj(int32_t hobj)
{
    return const_cast<TKVVObject&>(static_cast<const TKorvaneVect*>(this)->Obj(hobj));
}

const TKVVObject& TKorvaneVect::Obj(int32_t hobj) const
{
    if (hobj == kvhTemplate) {
        return FTemplate;
    }
    if (!IsLiveObject(hobj)) {
        throw EKVVectHandle("No vector object has the handle " + std::to_string(hobj));
    }
    return FObjects[size_t(Resolve(hobj))];
}

void TKorvaneVect::CheckedUpdate(int32_t hobj)
{
    if (hobj != kvhTemplate) {
        Update();
    }
}

// ---- view overrides ----

void TKorvaneVect::Update()
{
    TKorvaneView::Update();
    UpdateTextEdit();
}

void TKorvaneVect::SetDPIX(int32_t Value)
{
    TKorvaneView::SetDPIX(Value);
    RecalcCoef();
    UpdateHint(KVAngleUnset, KVAngleUnset);
    Update();
}

void TKorvaneVect::SetDPIY(int32_t Value)
{
    TKorvaneView::SetDPIY(Value);
    RecalcCoef();
    UpdateHint(KVAngleUnset, KVAngleUnset);
    Update();
}

void TKorvaneVect::ViewChange(int32_t Change)
{
    TKorvaneView::ViewChange(Change);
    if (IsEditMode()) {
        // The editor follows the new zoom.
        RemoveTextEdit();
        ActiveTextEdit();
    }
}

void TKorvaneVect::SubMouseMoveScroll(int32_t dx, int32_t dy)
{
    TKorvaneView::SubMouseMoveScroll(dx, dy);
    FDownPoint.X -= dx;
    FDownPoint.Y -= dy;
}

void TKorvaneVect::Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVSelOp op)
{
    TKorvaneView::Select(x1, y1, x2, y2, op);
}

void TKorvaneVect::AddSelPoint(int32_t x, int32_t y)
{
    TKorvaneView::AddSelPoint(x, y);
}

void TKorvaneVect::Resize()
{
    TKorvaneView::Resize();
    CancelInteracts();
    Update();
}

void TKorvaneVect::Assign(TPersistent* Source)
{
    TKorvaneView::Assign(Source);
    if (!Source) {
        CancelInteracts();
        RemoveAllObjects();
        return;
    }
    if (auto* other = dynamic_cast<TKorvaneVect*>(Source)) {
        if (other == this) {
            return;
        }
        CancelInteracts();
        RemoveAllObjects();
        other->CopyAllObjectsTo(this);
        SetScale(other->Scale());
        DoVectorialChanged();
        Update();
    }
}

void TKorvaneVect::DoBeforeVectorialChange()
{
    // One snapshot and one event per user action, however many steps it takes.
    if (FChangePending) {
        return;
    }
    if (ObjAutoUndo) {
        ObjSaveUndo();
    }
    if (OnBeforeVectorialChanged) {
        OnBeforeVectorialChanged(this);
    }
    FChangePending = true;
}

void TKorvaneVect::DoVectorialChanged()
{
    FChangePending = false;
    if (OnVectorialChanged) {
        OnVectorialChanged(this);
    }
}

void TKorvaneVect::SetObjGraphicRender(bool Value)
{
    FGraphicRender = Value;
    Update();
}

// ---- adding and removing ----

int32_t TKorvaneVect::AddNewObject()
{
    const int32_t handle = AddVObject(FTemplate);
    Update();
    return handle;
}

int32_t TKorvaneVect::AddVObject(const TKVVObject& Source)
{
    return AddVObject(TKVVObject(Source));
}

int32_t TKorvaneVect::AddVObject(TKVVObject&& Source)
{
    // The object is made in its place at the end of the list.
    const int32_t handle = static_cast<int32_t>(FObjects.size());
    TKVVObject& o = FObjects.emplace_back(std::move(Source));
    const int32_t bitmapIndex = o.BitmapIndex;
    const bool hadFormats = !o.MemoFormats.empty();
    o.Alive = true;
    o.BitmapIndex = -1;
    CutAtNul(o.Name);
    const bool textKind = o.Kind == kvkTEXT || o.Kind == kvkLINELABEL;
    if (textKind || o.Kind == kvkMEMO) {
        CutAtNul(o.Text);
    } else {
        o.Text.clear();
        o.Font.reset();
    }
    if (!textKind) {
        o.Curve.clear();
    }
    if (o.Kind == kvkMEMO) {
        if (hadFormats) {
            o.MemoFormats.resize(o.Text.size(), 0);
        }
    } else {
        o.MemoFormats.clear();
        o.MemoCharInfos.clear();
    }
    if (!IsLineKind(o.Kind)) {
        OrderRect(o);
    }
    if (o.Kind != kvkPOLYLINE) {
        o.PolyPoints.clear();
        o.PolyBounds = TRect{};
        o.PolylineClosed = false;
    }
    FZOrder.push_back(handle);
    if (o.Kind == kvkBITMAP) {
        SetObjBitmapIdxNU(handle, bitmapIndex);
    }
    return handle;
}

void TKorvaneVect::RemoveVObjData(TKVVObject& o)
{
    FreeBitmap(o.BitmapIndex);
    o.BitmapIndex = -1;
    o.Name.clear();
    o.Text.clear();
    o.Font.reset();
    o.MemoFormats.clear();
    o.MemoCharInfos.clear();
    o.Curve.clear();
    o.PolyPoints.clear();
    o.SoftShadow = TKVVSoftShadow{};
}

void TKorvaneVect::RemoveObject(int32_t hobj)
{
    if (!IsLiveObject(hobj)) {
        return;
    }
    CancelInteracts();
    if (ObjAutoUndo) {
        ObjSaveUndo();
    }
    RemoveObjectNoSnapshot(hobj);
    DoVectorialChanged();
    Update();
}

void TKorvaneVect::RemoveObjectNoSnapshot(int32_t hobj)
{
    const int32_t index = Resolve(hobj);
    if (!IsLiveObject(index)) {
        return;
    }
    // Every occurrence: a handle selected twice must not outlive its object in the list.
    FSelected.erase(std::remove(FSelected.begin(), FSelected.end(), index), FSelected.end());
    TKVVObject& o = FObjects[size_t(index)];
    RemoveVObjData(o);
    o.Alive = false;
    FZOrder.erase(std::remove(FZOrder.begin(), FZOrder.end(), index), FZOrder.end());
    if (index == static_cast<int32_t>(FObjects.size()) - 1) {
        FObjects.pop_back();
    }
    if (FEditedObject == index) {
        FEditedObject = -1;
    }
}

void TKorvaneVect::RemoveAllObjects()
{
    CancelInteracts();
    for (TKVVObject& o : FObjects) {
        o.Alive = false;
    }
    FObjects.clear();
    FSelected.clear();
    FZOrder.clear();
    FBitmaps.clear();
    FTemplate.BitmapIndex = -1;
    DoVectorialChanged();
    Update();
}

int32_t TKorvaneVect::GetObjFromIndex(int32_t pos) const
{
    return pos >= 0 && pos < ObjectsCount() ? FZOrder[size_t(pos)] : -1;
}

int32_t TKorvaneVect::GetObjPos(int32_t hobj) const
{
    const int32_t index = Resolve(hobj);
    const auto it = std::find(FZOrder.begin(), FZOrder.end(), index);
    return it == FZOrder.end() ? -1 : static_cast<int32_t>(it - FZOrder.begin());
}

int32_t TKorvaneVect::GetObjFromName(const std::string& Name) const
{
    for (auto it = FZOrder.rbegin(); it != FZOrder.rend(); ++it) {
        if (FObjects[size_t(*it)].Name == Name) {
            return *it;
        }
    }
    return -1;
}

int32_t TKorvaneVect::GetObjFromID(int32_t ID) const
{
    for (auto it = FZOrder.rbegin(); it != FZOrder.rend(); ++it) {
        if (FObjects[size_t(*it)].ID == ID) {
            return *it;
        }
    }
    return -1;
}

void TKorvaneVect::SetObjFrontOf(int32_t hobj, int32_t ref)
{
    const int32_t index = Resolve(hobj);
    Obj(index);
    FZOrder.erase(std::remove(FZOrder.begin(), FZOrder.end(), index), FZOrder.end());
    const int32_t at = ref < 0 ? -1 : GetObjPos(ref);
    if (at < 0) {
        FZOrder.push_back(index);
    } else {
        FZOrder.insert(FZOrder.begin() + at + 1, index);
    }
    Update();
}

void TKorvaneVect::SetObjBackTo(int32_t hobj, int32_t ref)
{
    const int32_t index = Resolve(hobj);
    Obj(index);
    FZOrder.erase(std::remove(FZOrder.begin(), FZOrder.end(), index), FZOrder.end());
    const int32_t at = ref < 0 ? -1 : GetObjPos(ref);
    FZOrder.insert(FZOrder.begin() + std::max(at, 0), index);
    Update();
}

TRect TKorvaneVect::GetObjectsExtents() const
{
    if (FZOrder.empty()) {
        return TRect{};
    }
    int64_t right = INT32_MIN, bottom = INT32_MIN;
    for (int32_t h : FZOrder) {
        const TKVVObject& o = FObjects[size_t(h)];
        right = std::max<int64_t>(right, std::max(o.x1, o.x2));
        bottom = std::max<int64_t>(bottom, std::max(o.y1, o.y2));
    }
    return TRect{0, 0, int32_t(std::min<int64_t>(right + 1, INT32_MAX)),
                 int32_t(std::min<int64_t>(bottom + 1, INT32_MAX))};
}

void TKorvaneVect::CopyObjectTo(int32_t hobj, TKorvaneVect* Dest)
{
    if (!Dest) {
        return;
    }
    TKVVObject copy = Obj(hobj);
    const int32_t index = copy.BitmapIndex;
    copy.BitmapIndex = -1;
    const int32_t handle = Dest->AddVObject(copy);
    TKVBitmap* picture = copy.Kind == kvkBITMAP ? GetBitmap(index) : nullptr;
    if (picture) {
        Dest->FObjects[size_t(handle)].BitmapIndex = Dest->StoreCopyOf(picture);
    }
    Dest->Update();
}

void TKorvaneVect::CopyAllObjectsTo(TKorvaneVect* Dest)
{
    const std::vector<int32_t> order = FZOrder;
    for (int32_t h : order) {
        CopyObjectTo(h, Dest);
    }
}

void TKorvaneVect::CopySelectedObjectsTo(TKorvaneVect* Dest)
{
    const std::vector<int32_t> selected = FSelected;
    for (int32_t h : selected) {
        CopyObjectTo(h, Dest);
    }
}

void TKorvaneVect::SetAllObjectsHidden(bool Value)
{
    if (FAllHidden != Value) {
        FAllHidden = Value;
        Update();
    }
}

void TKorvaneVect::CancelInteracts()
{
    FInserting = 0;
    FGrip = 0;
    FDragging = false;
    FPreviewShown = false;
    if (IsEditMode()) {
        RemoveTextEdit();
        FEditedObject = -1;
        Update();
    }
}

// ---- selection of objects ----

void TKorvaneVect::AddSelObjectNS(int32_t hobj)
{
    const int32_t index = Resolve(hobj);
    if (Obj(index).Style & kvvsSelectable) {
        FSelected.push_back(index);
    }
}

void TKorvaneVect::AddSelObject(int32_t hobj)
{
    AddSelObjectNS(hobj);
    if (OnSelectObject) {
        OnSelectObject(this);
    }
}

bool TKorvaneVect::IsSelObject(int32_t hobj) const
{
    const int32_t index = Resolve(hobj);
    return std::find(FSelected.begin(), FSelected.end(), index) != FSelected.end();
}

void TKorvaneVect::UnSelObject(int32_t hobj)
{
    const int32_t index = Resolve(hobj);
    const auto it = std::find(FSelected.begin(), FSelected.end(), index);
    if (it == FSelected.end()) {
        return;
    }
    FSelected.erase(it);
    if (OnSelectObject) {
        OnSelectObject(this);
    }
}

void TKorvaneVect::UnSelAllObjects()
{
    FSelected.clear();
    if (OnSelectObject) {
        OnSelectObject(this);
    }
}

void TKorvaneVect::SelAllObjects()
{
    UnSelAllObjects();
    SelInRect(kvhAll, 0, 0, 1000000, 1000000);
    if (OnSelectObject) {
        OnSelectObject(this);
    }
    Update();
}

void TKorvaneVect::SelInRect(int32_t hobj, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (hobj == kvhAll) {
        const std::vector<int32_t> order = FZOrder;
        for (int32_t h : order) {
            SelInRect(h, x1, y1, x2, y2);
        }
        return;
    }
    TKVVObject o = Obj(hobj);
    if (IsLineKind(o.Kind) || o.Kind == kvkANGLE) {
        OrderRect(o);
    }
    if (o.x1 >= x1 && o.x2 <= x2 && o.y1 >= y1 && o.y2 <= y2 && !IsSelObject(hobj)) {
        AddSelObjectNS(hobj);
    }
}

int32_t TKorvaneVect::GetSelObjects(int32_t i) const
{
    return i >= 0 && i < SelObjectsCount() ? FSelected[size_t(i)] : 0;
}

// ---- the picture store ----

TKVBitmap* TKorvaneVect::GetBitmap(int32_t index)
{
    return index >= 0 && index < BitmapStoreCount() ? FBitmaps[size_t(index)].Bitmap.get() : nullptr;
}

TKVBitmap* TKorvaneVect::GetBitmapAlpha(int32_t index)
{
    TKVBitmap* picture = GetBitmap(index);
    return picture ? picture->GetAlphaChannel() : nullptr;
}

int32_t TKorvaneVect::BitmapRefCount(int32_t index) const
{
    return index >= 0 && index < BitmapStoreCount() ? FBitmaps[size_t(index)].RefCount : 0;
}

int32_t TKorvaneVect::AllocBitmap()
{
    for (size_t i = 0; i < FBitmaps.size(); ++i) {
        if (!FBitmaps[i].Bitmap) {
            return static_cast<int32_t>(i);
        }
    }
    FBitmaps.emplace_back();
    return BitmapStoreCount() - 1;
}

void TKorvaneVect::FreeBitmap(int32_t index)
{
    if (index < 0 || index >= BitmapStoreCount()) {
        return;
    }
    TStoredBitmap& entry = FBitmaps[size_t(index)];
    if (entry.RefCount <= 1) {
        entry.Bitmap.reset();
        entry.RefCount = 0;
    } else {
        --entry.RefCount;
    }
}

int32_t TKorvaneVect::FindBitmap(TKVBitmap* Bitmap)
{
    if (!Bitmap) {
        return -1;
    }
    for (int32_t i = BitmapStoreCount() - 1; i >= 0; --i) {
        TKVBitmap* stored = FBitmaps[size_t(i)].Bitmap.get();
        if (stored && Korvaneproc::_BitmapCompareXEx(stored, Bitmap)) {
            return i;
        }
    }
    return -1;
}

int32_t TKorvaneVect::StoreCopyOf(TKVBitmap* Bitmap)
{
    const int32_t index = AllocBitmap();
    auto copy = std::make_unique<TKVBitmap>();
    copy->Assign(Bitmap);
    FBitmaps[size_t(index)].Bitmap = std::move(copy);
    FBitmaps[size_t(index)].RefCount = 1;
    return index;
}

void TKorvaneVect::SetObjBitmapNU(int32_t hobj, TKVBitmap* Bitmap)
{
    TKVVObject& o = Obj(hobj);
    const int32_t old = o.BitmapIndex;
    o.BitmapIndex = -1;
    FreeBitmap(old);
    if (!Bitmap || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        return;
    }
    const int32_t shared = ShareBitmaps ? FindBitmap(Bitmap) : -1;
    if (shared >= 0) {
        ++FBitmaps[size_t(shared)].RefCount;
        Obj(hobj).BitmapIndex = shared;
        return;
    }
    const int32_t index = StoreCopyOf(Bitmap);
    Obj(hobj).BitmapIndex = index;
}

void TKorvaneVect::SetObjBitmapIdxNU(int32_t hobj, int32_t index)
{
    TKVVObject& o = Obj(hobj);
    const int32_t old = o.BitmapIndex;
    TKVBitmap* picture = GetBitmap(index);
    int32_t now = -1;
    if (picture) {
        if (ShareBitmaps) {
            ++FBitmaps[size_t(index)].RefCount;
            now = index;
        } else {
            now = StoreCopyOf(picture);
        }
    }
    Obj(hobj).BitmapIndex = now;
    FreeBitmap(old);
}

void TKorvaneVect::PackBMP()
{
    std::vector<int32_t> renumber(FBitmaps.size(), -1);
    std::vector<TStoredBitmap> kept;
    for (size_t i = 0; i < FBitmaps.size(); ++i) {
        if (FBitmaps[i].Bitmap) {
            renumber[i] = static_cast<int32_t>(kept.size());
            kept.push_back(std::move(FBitmaps[i]));
        }
    }
    FBitmaps = std::move(kept);
    auto apply = [&](TKVVObject& o) {
        if (o.BitmapIndex >= 0 && o.BitmapIndex < static_cast<int32_t>(renumber.size())) {
            o.BitmapIndex = renumber[size_t(o.BitmapIndex)];
        } else {
            o.BitmapIndex = -1;
        }
    };
    apply(FTemplate);
    for (TKVVObject& o : FObjects) {
        if (o.Alive) {
            apply(o);
        }
    }
}

// ---- units and scale ----

void TKorvaneVect::CalcCoef(double& cx, double& cy, TKVUnits Unit) const
{
    auto coefficient = [&](int32_t dpi) -> double {
        if (Unit == kvuPIXELS) {
            return 1.0;
        }
        if (dpi <= 0) {
            return 0.0; // nothing can be measured without a resolution
        }
        const double d = dpi;
        switch (Unit) {
        case kvuINCHES:
            return 1.0 / d;
        case kvuKM:
            return 2.54 / d / 100000.0;
        case kvuMETERS:
            return 2.54 / d / 100.0;
        case kvuCENTIMETERS:
            return 2.54 / d;
        case kvuMILLIMETERS:
            return 2.54 / d * 10.0;
        case kvuMICRONS:
            return 2.54 / d * 10000.0;
        case kvuNANOMETERS:
            return 2.54 / d * 10000000.0;
        default:
            return 1.0;
        }
    };
    cx = coefficient(DPIX()) * FScale;
    cy = coefficient(DPIY()) * FScale;
}

void TKorvaneVect::RecalcCoef()
{
    CalcCoef(FCoefX, FCoefY, FMUnit);
}

void TKorvaneVect::SetMUnit(TKVUnits Value)
{
    FMUnit = Value;
    FTemplate.RulerUnit = Value;
    RecalcCoef();
    UpdateHint(KVAngleUnset, KVAngleUnset);
}

void TKorvaneVect::SetScale(double Value)
{
    // 0, negative and non-finite scales would make every measure infinite or NaN.
    if (!(Value > 0) || !std::isfinite(Value)) {
        return;
    }
    FScale = Value;
    RecalcCoef();
    UpdateHint(KVAngleUnset, KVAngleUnset);
    Update();
}

void TKorvaneVect::SetScaleFromPixels(double Pixels, double Value)
{
    const double perPixel = FCoefX / FScale;
    SetScale(Value / Pixels / perPixel);
}

void TKorvaneVect::SetScaleFromSelectionLen(double Value)
{
    const double keepX = FCoefX, keepY = FCoefY;
    FCoefX = FCoefY = 1.0;
    const double pixels = GetSelectionLen();
    FCoefX = keepX;
    FCoefY = keepY;
    SetScaleFromPixels(Round(pixels), Value);
}

double TKorvaneVect::GetSelectionLen()
{
    const int32_t n = GetPolySelCount();
    std::vector<TPoint> points(size_t(std::max(n, 0)));
    for (int32_t i = 0; i < n; ++i) {
        points[size_t(i)] = GetPolySel(i);
    }
    auto isBreak = [](const TPoint& p) { return p.X == KVPolyBreak; };
    auto segment = [&](const TPoint& a, const TPoint& b) {
        const double dx = std::abs(double(a.X) - b.X) * FCoefX;
        const double dy = std::abs(double(a.Y) - b.Y) * FCoefY;
        return std::sqrt(dx * dx + dy * dy);
    };
    double total = 0;
    size_t start = 0;
    for (size_t i = 1; i < points.size(); ++i) {
        if (isBreak(points[i])) {
            if (!isBreak(points[i - 1])) {
                total += segment(points[i - 1], points[start]);
            }
            start = i + 1;
            continue;
        }
        if (!isBreak(points[i - 1])) {
            total += segment(points[i - 1], points[i]);
        }
    }
    if (!points.empty() && !isBreak(points.back())) {
        if (!FDrawingSelPolygon && n >= 3 && start < points.size()) {
            total += segment(points.back(), points[start]);
        }
        if (FDrawingSelPolygon && FLiveSegment) {
            total += segment(points.back(), TPoint{XScr2Bmp(FLastMouse.X), YScr2Bmp(FLastMouse.Y)});
        }
    }
    return total;
}

// ---- hit testing ----

int32_t TKorvaneVect::FindObjectAt(int32_t x, int32_t y, double& dist)
{
    return FindNearObj(XScr2Bmp(x), YScr2Bmp(y), dist, false);
}

bool TKorvaneVect::InVisiblePart(const TKVVObject& o, const TRect& visible) const
{
    int32_t x1 = o.x1, y1 = o.y1, x2 = o.x2, y2 = o.y2;
    if (o.Kind == kvkANGLE) {
        const int32_t n = CountAnglePoints(o.AnglePoints);
        if (n == 0) {
            return false;
        }
        x1 = x2 = o.AnglePoints[0].X;
        y1 = y2 = o.AnglePoints[0].Y;
        for (int32_t i = 1; i < n; ++i) {
            x1 = std::min(x1, o.AnglePoints[i].X);
            x2 = std::max(x2, o.AnglePoints[i].X);
            y1 = std::min(y1, o.AnglePoints[i].Y);
            y2 = std::max(y2, o.AnglePoints[i].Y);
        }
    }
    return Daduvudez::_RectXRect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2),
                                 visible.Left, visible.Top, visible.Right, visible.Bottom);
}

int32_t TKorvaneVect::FindNearObj(int32_t x, int32_t y, double& dist, bool selectableOnly)
{
    const TKVViewGeometry& g = Geometry();
    const long double d100 = g.D100Zoom();
    const TRect visible{Trunc(g.ViewX * d100), Trunc(g.ViewY * d100),
                        Trunc((int64_t(g.ViewX) + g.VisibleWidth) * d100),
                        Trunc((int64_t(g.ViewY) + g.VisibleHeight) * d100)};
    dist = 2147483647.0;
    int32_t result = kvhAll;
    for (auto it = FZOrder.rbegin(); it != FZOrder.rend(); ++it) {
        const TKVVObject& o = FObjects[size_t(*it)];
        if (selectableOnly && !(o.Style & kvvsSelectable)) {
            continue;
        }
        if (!InVisiblePart(o, visible)) {
            continue;
        }
        const double d = CalcDistPtObj(o, x, y);
        if (d < dist) {
            dist = d;
            result = *it;
        }
    }
    if (HitDistanceLimit >= 0 && dist > HitDistanceLimit * (100.0 / Zoom())) {
        result = kvhAll;
    }
    return result;
}

double TKorvaneVect::CalcDistPtObj(const TKVVObject& o, int32_t x, int32_t y) const
{
    switch (o.Kind) {
    case kvkLINE:
    case kvkRULER:
    case kvkLINELABEL:
        return Daduvudez::_DistPoint2Seg(x, y, o.x1, o.y1, o.x2, o.y2);
    case kvkBOX:
    case kvkBITMAP:
    case kvkTEXT:
    case kvkMEMO: {
        const bool filled = o.Kind != kvkBOX || o.BrushStyle != bsClear;
        if (filled && Daduvudez::_InRectO(x, y, o.x1, o.y1, o.x2, o.y2)) {
            return 0.0;
        }
        return std::min({Daduvudez::_DistPoint2Seg(x, y, o.x1, o.y1, o.x2, o.y1),
                         Daduvudez::_DistPoint2Seg(x, y, o.x2, o.y1, o.x2, o.y2),
                         Daduvudez::_DistPoint2Seg(x, y, o.x2, o.y2, o.x1, o.y2),
                         Daduvudez::_DistPoint2Seg(x, y, o.x1, o.y2, o.x1, o.y1)});
    }
    case kvkELLIPSE:
    case kvkARC: {
        const int32_t a = int32_t((int64_t(o.x2) - o.x1) / 2);
        const int32_t b = int32_t((int64_t(o.y2) - o.y1) / 2);
        const int64_t cx = int64_t(o.x1) + a, cy = int64_t(o.y1) + b;
        // A very large ellipse is followed at most this closely; the hit test stays quick.
        const int32_t n = std::min(Trunc(std::min(a, b) * 2.0 * M_PI) / 8, 1 << 16);
        if (n <= 1) {
            return 2147483647.0;
        }
        const int32_t px = int32_t(std::clamp<int64_t>(x - cx, INT32_MIN, INT32_MAX));
        const int32_t py = int32_t(std::clamp<int64_t>(y - cy, INT32_MIN, INT32_MAX));
        double best = 2147483647.0;
        TPoint prev{a, 0};
        for (int32_t i = 1; i < n; ++i) {
            const double t = 2.0 * M_PI * i / n;
            const TPoint p{Trunc(std::cos(t) * a), Trunc(std::sin(t) * b)};
            best = std::min(best, Daduvudez::_DistPoint2Seg(px, py, prev.X, prev.Y, p.X, p.Y));
            prev = p;
        }
        return best;
    }
    case kvkPOLYLINE: {
        double zx = 1, zy = 1;
        CalcZxZyPolyline(o, zx, zy);
        return Daduvudez::_DistPoint2Polyline(x, y, o.PolyPoints.data(),
                                              static_cast<int32_t>(o.PolyPoints.size()), o.PolyBounds.Left,
                                              o.PolyBounds.Top, o.x1, o.y1, zx, zy);
    }
    case kvkANGLE:
        return Daduvudez::_DistPoint2Polyline(x, y, o.AnglePoints, CountAnglePoints(o.AnglePoints), 0, 0, 0,
                                              0, 1.0, 1.0);
    case kvkNONE:
    default:
        return -1.0;
    }
}
