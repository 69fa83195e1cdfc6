// The ruler box: its tick layout, the grips and their limits, and the drag that scrolls the ruler
// on timer ticks while the pointer is beyond an end.
#include "imaging/view/ruler_box.h"

#include "platform/core/rounding.h"
#include "platform/core/strings.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using ld = long double;

std::vector<TKVRulerTick> KVRulerTicks(int32_t Length, double ViewPos, double DotPerUnit, double Step)
{
    std::vector<TKVRulerTick> ticks;
    if (Length <= 0 || !std::isfinite(DotPerUnit) || DotPerUnit <= 0 || !std::isfinite(Step) || Step <= 0 ||
        !std::isfinite(ViewPos))
        return ticks;
    // Ticks closer than a pixel are thinned to every k-th, so a tiny step draws at most one tick
    // per pixel instead of billions.
    if (static_cast<ld>(Step) * DotPerUnit < 1) {
        const ld k = std::ceil(1 / (static_cast<ld>(Step) * DotPerUnit));
        Step = static_cast<double>(Step * k);
    }
    const int64_t n =
        std::min<int64_t>(Trunc64(Length / static_cast<ld>(DotPerUnit) / Step) + 1, int64_t(Length) + 1);
    const double first = ViewPos - std::fmod(ViewPos, Step);
    ticks.reserve(static_cast<size_t>(std::max<int64_t>(n, 0)));
    for (int64_t i = 0; i < n; ++i) {
        const double value = first + static_cast<double>(i) * Step;
        ticks.push_back(TKVRulerTick{value, Round((static_cast<ld>(value) - ViewPos) * DotPerUnit)});
    }
    return ticks;
}

std::string KVRulerLabel(double Value, bool Hex)
{
    if (Hex) {
        const int64_t whole = Trunc64(Value);
        return IntToHex(whole, 1);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.15G", Value);
    std::string s = text;
    // The exponent takes three digits.
    const size_t e = s.find('E');
    if (e != std::string::npos && e + 2 <= s.size()) {
        std::string digits = s.substr(e + 2);
        while (digits.size() < 3)
            digits.insert(digits.begin(), '0');
        s = s.substr(0, e + 2) + digits;
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// TRulerBox

TRulerBox::TRulerBox(TComponent* AOwner)
    : TCustomControl(AOwner), FBitmap(std::make_unique<TBitmap>()),
      FScrollTimer(std::make_unique<TTimer>(nullptr))
{
    SetControlStyle(ControlStyle() | csOpaque);
    FBitmap->SetPixelFormat(pf24bit);
    FScrollTimer->SetEnabled(false);
    FScrollTimer->SetInterval(50);
    FScrollTimer->OnTimer = [this](TObject*) { DragScrollTick(); };
    FGrips.push_back(TGrip{0, FBackground, gkTriangle, FViewMin, FViewMax});
    SetBounds(Left(), Top(), 300, 40);
}

TRulerBox::~TRulerBox() = default;

int32_t TRulerBox::Length() const
{
    return FRulerDir == rdHorizontal ? ClientWidth() : ClientHeight();
}

int32_t TRulerBox::GetRulerHeight()
{
    if (!FRuler)
        return 0;
    return Trunc(std::abs(Font()->Height()) * 1.7L) + 3;
}

int32_t TRulerBox::GetNeededThickness()
{
    return GetRulerHeight() + FGripBaseDim + 1;
}

int32_t TRulerBox::GetXGripPos(int32_t i) const
{
    if (!ValidGrip(i))
        return 0;
    return Round((static_cast<ld>(FGrips[size_t(i)].Position) - FViewPos) * FDotPerUnit);
}

double TRulerBox::GetWidthInUnit() const
{
    return Length() / FDotPerUnit;
}

// ---- Settings

void TRulerBox::SetViewPos(double Value)
{
    if (!std::isfinite(Value))
        return;
    FViewPos = Value;
    AdjustViewLimits();
    Update();
}

void TRulerBox::SetViewMin(double Value)
{
    if (!std::isfinite(Value))
        return;
    FViewMin = Value;
    for (TGrip& g : FGrips)
        g.Min = Value;
    AdjustViewLimits();
    Update();
}

void TRulerBox::SetViewMax(double Value)
{
    if (!std::isfinite(Value))
        return;
    FViewMax = Value;
    AdjustViewLimits();
    Update();
}

void TRulerBox::SetBackground(TColor Value)
{
    FBackground = Value;
    Update();
}

void TRulerBox::SetGripBaseDim(int32_t Value)
{
    FGripBaseDim = std::max(Value, 1);
    Update();
}

void TRulerBox::SetGripsDir(TGripsDir Value)
{
    FGripsDir = Value;
    Update();
}

void TRulerBox::SetRuler(bool Value)
{
    FRuler = Value;
    Update();
}

void TRulerBox::SetDPU(double Value)
{
    if (!std::isfinite(Value) || Value <= 0)
        return;
    FDotPerUnit = Value;
    Update();
}

void TRulerBox::SetFrequency(double Value)
{
    if (!std::isfinite(Value) || Value <= 0)
        return;
    FFrequency = Value;
    Update();
}

void TRulerBox::SetLabelFreq(double Value)
{
    if (!std::isfinite(Value) || Value <= 0)
        return;
    FLabelFreq = Value;
    Update();
}

void TRulerBox::SetRulerColor(TColor Value)
{
    FRulerColor = Value;
    Update();
}

void TRulerBox::SetRulerDir(TRulerDir Value)
{
    FRulerDir = Value;
    Update();
}

void TRulerBox::SetFitInView(bool Value)
{
    FFitInView = Value;
    Update();
}

void TRulerBox::SetHexLabels(bool Value)
{
    FHexLabels = Value;
    Update();
}

void TRulerBox::FontChanged()
{
    TCustomControl::FontChanged();
    Update();
}

// ---- Grips

void TRulerBox::SetGripsCount(int32_t Value)
{
    Value = std::max(Value, 0);
    FGrips.resize(static_cast<size_t>(Value), TGrip{0, FBackground, gkTriangle, FViewMin, FViewMax});
    Update();
}

double TRulerBox::GetGripsPos(int32_t i) const
{
    return ValidGrip(i) ? FGrips[size_t(i)].Position : 0;
}

void TRulerBox::SetGripsPos(int32_t i, double Value)
{
    if (!ValidGrip(i) || !std::isfinite(Value))
        return;
    FGrips[size_t(i)].Position = Value;
    AdjustGripLimits(i);
    if (OnRulerPosChange)
        OnRulerPosChange(this, i);
    Update();
}

TColor TRulerBox::GetGripsCol(int32_t i) const
{
    return ValidGrip(i) ? FGrips[size_t(i)].Color : clBtnFace;
}

void TRulerBox::SetGripsCol(int32_t i, TColor Value)
{
    if (!ValidGrip(i))
        return;
    FGrips[size_t(i)].Color = Value;
    Update();
}

TGripKind TRulerBox::GetGripsKind(int32_t i) const
{
    return ValidGrip(i) ? FGrips[size_t(i)].Kind : gkTriangle;
}

void TRulerBox::SetGripsKind(int32_t i, TGripKind Value)
{
    if (!ValidGrip(i))
        return;
    FGrips[size_t(i)].Kind = Value;
    Update();
}

double TRulerBox::GetGripsMin(int32_t i) const
{
    return ValidGrip(i) ? FGrips[size_t(i)].Min : 0;
}

void TRulerBox::SetGripsMin(int32_t i, double Value)
{
    if (!ValidGrip(i) || !std::isfinite(Value))
        return;
    FGrips[size_t(i)].Min = Value;
    ApplyAllGripLimits();
    Update();
}

double TRulerBox::GetGripsMax(int32_t i) const
{
    return ValidGrip(i) ? FGrips[size_t(i)].Max : 0;
}

void TRulerBox::SetGripsMax(int32_t i, double Value)
{
    if (!ValidGrip(i) || !std::isfinite(Value))
        return;
    FGrips[size_t(i)].Max = Value;
    ApplyAllGripLimits();
    Update();
}

void TRulerBox::AdjustGripLimits(int32_t i)
{
    TGrip& g = FGrips[size_t(i)];
    // A maximum not above the minimum means no limit.
    if (g.Max > g.Min)
        g.Position = std::clamp(g.Position, g.Min, g.Max);
}

void TRulerBox::ApplyAllGripLimits()
{
    for (int32_t i = 0; i < GripsCount(); ++i)
        AdjustGripLimits(i);
}

void TRulerBox::AdjustViewLimits()
{
    if (FViewMax <= FViewMin)
        return;
    if (FViewPos < FViewMin)
        FViewPos = FViewMin;
    else if (FViewPos > FViewMax - GetWidthInUnit())
        FViewPos = std::max(FViewMax - GetWidthInUnit(), 0.0);
}

std::vector<TPoint> TRulerBox::GetGripPoly(int32_t i)
{
    if (!ValidGrip(i))
        return {};
    const bool horizontal = FRulerDir == rdHorizontal;
    const int32_t thickness = horizontal ? ClientHeight() : ClientWidth();
    const int32_t a0 = GetRulerHeight(), a1 = std::max(thickness - 1, a0);
    const int32_t x = GetXGripPos(i), b = FGripBaseDim, half = b / 2, quarter = std::max(b / 4, 1);
    const int32_t mid = a0 + (a1 - a0) / 2;
    // Along the ruler, and across it from the band edge (a0) to the far edge (a1).
    std::vector<TPoint> p;
    switch (FGrips[size_t(i)].Kind) {
    case gkTriangle:
        p = {{x, a0}, {x + half, a1}, {x - half, a1}};
        break;
    case gkLeftTriangle:
        p = {{x, a0}, {x, a1}, {x - b, a1}};
        break;
    case gkRightTriangle:
        p = {{x, a0}, {x, a1}, {x + b, a1}};
        break;
    case gkArrow:
        p = {{x, a0},           {x + half, mid},    {x + quarter, mid}, {x + quarter, a1},
             {x - quarter, a1}, {x - quarter, mid}, {x - half, mid}};
        break;
    case gkArrow2:
        p = {{x, a0}, {x + half, mid}, {x + half, a1}, {x - half, a1}, {x - half, mid}};
        break;
    }
    for (TPoint& q : p) {
        const int32_t across = FGripsDir == gdUp ? q.Y : thickness - 1 - q.Y;
        q = horizontal ? TPoint{q.X, across} : TPoint{across, q.X};
    }
    return p;
}

TRect TRulerBox::GetGripRect(int32_t i)
{
    const std::vector<TPoint> p = GetGripPoly(i);
    if (p.empty())
        return TRect{};
    TRect r{p[0].X, p[0].Y, p[0].X, p[0].Y};
    for (const TPoint& q : p) {
        r.Left = std::min(r.Left, q.X);
        r.Top = std::min(r.Top, q.Y);
        r.Right = std::max(r.Right, q.X);
        r.Bottom = std::max(r.Bottom, q.Y);
    }
    ++r.Right;
    ++r.Bottom;
    return r;
}

int32_t TRulerBox::GetClickedGrip(int32_t x, int32_t y)
{
    for (int32_t i = GripsCount() - 1; i >= 0; --i) {
        const TRect r = GetGripRect(i);
        if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom)
            return i;
    }
    return -1;
}

// ---- Drawing

void TRulerBox::Resize()
{
    TCustomControl::Resize();
    Update();
}

void TRulerBox::Paint()
{
    if (!FBitmap->Empty())
        BitBlt(Canvas(), 0, 0, FBitmap->Width(), FBitmap->Height(), FBitmap->Canvas(), 0, 0, SRCCOPY);
}

void TRulerBox::Update()
{
    const int32_t length = Length();
    if (FFitInView && FViewMax > FViewMin && length > 0) {
        const double dpu = length / (FViewMax - FViewMin);
        if (std::isfinite(dpu) && dpu > 0)
            FDotPerUnit = dpu;
        AdjustViewLimits();
    }
    if (FBitmap->Width() != ClientWidth() || FBitmap->Height() != ClientHeight())
        FBitmap->SetSize(std::max(ClientWidth(), 0), std::max(ClientHeight(), 0));
    if (!FBitmap->Empty()) {
        RepaintGrips();
        RepaintRuler();
    }
    Invalidate();
}

void TRulerBox::RepaintGrips()
{
    TCanvas* canvas = FBitmap->Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(FBackground);
    canvas->FillRect(TRect{0, 0, FBitmap->Width(), FBitmap->Height()});
    canvas->Pen()->SetColor(clBlack);
    canvas->Pen()->SetMode(pmCopy);
    canvas->Pen()->SetStyle(psSolid);
    for (int32_t i = 0; i < GripsCount(); ++i) {
        canvas->Brush()->SetColor(FGrips[size_t(i)].Color);
        canvas->Polygon(GetGripPoly(i));
    }
}

void TRulerBox::RepaintRuler()
{
    if (!FRuler)
        return;
    TCanvas* canvas = FBitmap->Canvas();
    const bool horizontal = FRulerDir == rdHorizontal;
    const int32_t band = GetRulerHeight();
    const int32_t thickness = horizontal ? FBitmap->Height() : FBitmap->Width();
    const int32_t length = Length();
    // Across the control: the band's outer edge and the direction toward its inner edge.
    const int32_t outer = FGripsDir == gdUp ? 0 : thickness - 1;
    const int32_t inward = FGripsDir == gdUp ? 1 : -1;
    auto at = [&](int32_t along, int32_t across) {
        return horizontal ? TPoint{along, across} : TPoint{across, along};
    };
    const TPoint c1 = at(0, outer), c2 = at(length, outer + inward * band);
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(FRulerColor);
    canvas->FillRect(TRect{std::min(c1.X, c2.X), std::min(c1.Y, c2.Y), std::max(c1.X, c2.X) + 1,
                           std::max(c1.Y, c2.Y) + 1});
    canvas->SetFont(Font());
    canvas->Pen()->SetColor(canvas->Font()->Color());
    canvas->Pen()->SetMode(pmCopy);
    auto tick = [&](int32_t pixel, int32_t depth) {
        const TPoint a = at(pixel, outer), b = at(pixel, outer + inward * depth);
        canvas->MoveTo(a.X, a.Y);
        canvas->LineTo(b.X, b.Y);
    };
    for (const TKVRulerTick& t : KVRulerTicks(length, FViewPos, FDotPerUnit, FFrequency))
        tick(t.Pixel, std::max(band / 4, 1));
    for (const TKVRulerTick& t : KVRulerTicks(length, FViewPos, FDotPerUnit, FLabelFreq))
        tick(t.Pixel, std::max(band / 2, 1));
    canvas->Brush()->SetStyle(bsClear);
    for (const TKVRulerLabelPlace& label : GetLabelPlaces())
        canvas->TextOut(label.Bounds.Left, label.Bounds.Top, label.Text);
    canvas->Brush()->SetStyle(bsSolid);
}

std::vector<TKVRulerLabelPlace> TRulerBox::GetLabelPlaces()
{
    std::vector<TKVRulerLabelPlace> places;
    if (!FRuler)
        return places;
    TCanvas* canvas = FBitmap->Canvas();
    canvas->SetFont(Font());
    const bool horizontal = FRulerDir == rdHorizontal;
    const int32_t band = GetRulerHeight();
    const int32_t thickness = horizontal ? ClientHeight() : ClientWidth();
    const int32_t length = Length();
    for (const TKVRulerTick& t : KVRulerTicks(length, FViewPos, FDotPerUnit, FLabelFreq)) {
        const std::string text = KVRulerLabel(t.Value, FHexLabels);
        const TSize size = canvas->TextExtent(text);
        // Along the ruler the label starts just past its tick; across it, it stands inside the band.
        int32_t along = t.Pixel + (horizontal ? 2 : 1);
        const int32_t extent = horizontal ? size.cx : size.cy;
        if (t.Pixel >= 0 && t.Pixel < length && along + extent > length)
            along = std::max(length - extent, 0);
        const int32_t across = horizontal ? (FGripsDir == gdUp ? band - size.cy - 1 : thickness - band + 1)
                                          : (FGripsDir == gdUp ? 1 : thickness - band + 1);
        const TPoint p = horizontal ? TPoint{along, across} : TPoint{across, along};
        places.push_back({text, TRect{p.X, p.Y, p.X + size.cx, p.Y + size.cy}});
    }
    return places;
}

// ---- Mouse

void TRulerBox::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseDown(Button, Shift, X, Y);
    if (Button != mbLeft)
        return;
    FPressedGrip = GetClickedGrip(X, Y);
    FPressPoint = TPoint{X, Y};
    if (FPressedGrip >= 0) {
        if ((Shift & ssDouble) && OnRulerGripDblClick)
            OnRulerGripDblClick(this, FPressedGrip);
        FGrabOffset = Along(X, Y) - GetXGripPos(FPressedGrip);
    } else if (OnRulerClick) {
        OnRulerClick(this, Along(X, Y) / FDotPerUnit + FViewPos);
    }
}

void TRulerBox::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseMove(Shift, X, Y);
    if (FPressedGrip < 0 || !(Shift & ssLeft))
        return;
    const int32_t a = Along(X, Y);
    if (a >= 0 && a < Length()) {
        FScrollTimer->SetEnabled(false);
        SetGripsPos(FPressedGrip, (a - FGrabOffset) / FDotPerUnit + FViewPos);
        Repaint();
    } else {
        // Beyond an end the ruler scrolls on the timer's ticks until the pointer comes back or
        // the button is released: the event loop keeps running meanwhile.
        FScrollTimer->SetEnabled(true);
    }
}

void TRulerBox::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseUp(Button, Shift, X, Y);
    FScrollTimer->SetEnabled(false);
    if (FPressedGrip >= 0 && X == FPressPoint.X && Y == FPressPoint.Y && OnRulerGripClick)
        OnRulerGripClick(this, FPressedGrip);
    FPressedGrip = -1;
}

bool TRulerBox::DragScrolling() const
{
    return FScrollTimer->Enabled();
}

void TRulerBox::DragScrollTick()
{
    if (FPressedGrip < 0 || !ValidGrip(FPressedGrip)) {
        FScrollTimer->SetEnabled(false);
        return;
    }
    const TPoint p = ScreenToClient(GetCursorPos());
    const int32_t a = Along(p.X, p.Y), length = Length();
    const int32_t overshoot = a < 0 ? a : (a >= length ? a - (length - 1) : 0);
    if (overshoot == 0 || length <= 0) {
        FScrollTimer->SetEnabled(false);
        return;
    }
    FViewPos += overshoot / FDotPerUnit;
    AdjustViewLimits();
    TGrip& g = FGrips[size_t(FPressedGrip)];
    g.Position = (std::clamp(a, 0, length - 1) - FGrabOffset) / FDotPerUnit + FViewPos;
    AdjustGripLimits(FPressedGrip);
    Update();
    if (OnRulerPosChange)
        OnRulerPosChange(this, FPressedGrip);
}
