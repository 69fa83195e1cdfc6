// The image view: construction, Update with its scroll bars, zoom and view position, the wheel,
// keys, the view's private messages and the components it makes on first use.
#include "imaging/view/korvaneview.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/proc/proc_component.h"
#include "imaging/proc/transitions.h"
#include "imaging/view/view_cursors.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"
#include "platform/core/threads.h"
#include "platform/forms/ext_controls.h"
#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <cmath>

namespace {

// Posted to the view when ImageChange runs on a worker thread.
constexpr uint32_t KVM_IMAGECHANGE = WM_USER + 0x1F59;

using ld = long double;

bool HorizontalAllowed(TScrollStyle s)
{
    return s == ssHorizontal || s == ssBoth;
}

bool VerticalAllowed(TScrollStyle s)
{
    return s == ssVertical || s == ssBoth;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TKorvaneView::TKorvaneView(TComponent* AOwner) : TKVView(AOwner)
{
    SetControlStyle(ControlStyle() | csAcceptsControls | csOpaque);
    auto* bitmap = new TKVBitmap();
    bitmap->SetLocation(kvTBitmap);
    FLayers.push_back(std::make_unique<TKVLayer>(bitmap, true));
    FCurrent = bitmap;
    FLayersCurrent = 0;
    FTransition = std::make_unique<TKVTransitionEffects>(this);
    FTransition->Duration = 1000;

    FBackBuffer = std::make_unique<TBitmap>();
    FBackBuffer->SetPixelFormat(pf24bit);

    FTimer = new TTimer(nullptr);
    FTimer->SetEnabled(false);
    FTimer->SetInterval(210);
    FTimer->OnTimer = [this](TObject* Sender) { TimerEvent(Sender); };

    // The selection polygon: black and white, animated, sizeable, hidden until a selection exists.
    AnimPolygonNew(FSelColor1, FSelColor2, true, true);
    FPolys[0].Shown = false;
    FMask.AllocateBits(0, 0, 1);

    Korvaneview::RegisterViewCursors();
    SetCursor(crKVCross3);
    FGeo.SetZoomRatios(100.0);
    SetBounds(Left(), Top(), 105, 105);
    SetDPI(Kvview::gSystemDPIX, Kvview::gSystemDPIY);
}

TKorvaneView::~TKorvaneView()
{
    FTransition.reset();
    // The components go first: they detach from the view while its bitmaps still exist.
    delete FIO;
    FIO = nullptr;
    delete FProc;
    FProc = nullptr;
    delete FTimer;
    FTimer = nullptr;
}

bool TKorvaneView::Designing() const
{
    return (ComponentState() & csDesigning) != 0;
}

bool TKorvaneView::HasParentWindow()
{
    return Parent() != nullptr || (WindowStyle() & WS_POPUP) != 0;
}

int32_t TKorvaneView::GetClientWidth()
{
    return HasParentWindow() ? ClientWidth() : 50;
}

int32_t TKorvaneView::GetClientHeight()
{
    return HasParentWindow() ? ClientHeight() : 50;
}

void TKorvaneView::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    TKVView::SetBounds(ALeft, ATop, AWidth, AHeight);
    if ((ComponentState() & (csLoading | csReading | csDesigning)) && FCurrent != nullptr) {
        FCurrent->Allocate(std::max(Width(), 1), std::max(Height(), 1), kv24RGB);
        FCurrent->Fill(ColorToRGB(Background()));
    }
}

void TKorvaneView::Resize()
{
    TKVView::Resize();
    if (GetTransitionRunning())
        FTransition->Stop();
    // A bar shown or hidden by Update resizes the client area; Update itself runs again then.
    if (!FInUpdate)
        Update();
}

// ---------------------------------------------------------------------------------------------
// Update

void TKorvaneView::Update()
{
    RunUpdate(true);
}

void TKorvaneView::UpdateNoPaint()
{
    FNoPaintUpdate = true;
    RunUpdate(false);
    FNoPaintUpdate = false;
}

void TKorvaneView::UnLockUpdate()
{
    FUpdateLocked = false;
    Update();
}

void TKorvaneView::RunUpdate(bool paint)
{
    if (FUpdateLocked)
        return;
    const TComponentState state = ComponentState();
    if (state == csDesigning && !HasParentWindow())
        return;
    if (state & ~(csDesigning | csFreeNotification))
        return;
    const bool wasInUpdate = FInUpdate;
    FInUpdate = true;
    // Showing a bar changes the client size, which can show the other one: a few passes settle it.
    for (int pass = 0; pass < 3; ++pass)
        if (!UpdatePass())
            break;
    FInUpdate = wasInUpdate;
    UpdateLimits();
    FBackBufferDirty = true;
    FRepaintAll = true;
    if (paint && HasParentWindow() && !FNoPaintUpdate)
        Invalidate();
}

void TKorvaneView::SyncBitmapSize()
{
    const int32_t w = FCurrent ? FCurrent->GetWidth() : 0;
    const int32_t h = FCurrent ? FCurrent->GetHeight() : 0;
    FGeo.BitmapWidth = w;
    FGeo.BitmapHeight = h;
    if (w != FLastBitmapWidth || h != FLastBitmapHeight) {
        FLastBitmapWidth = w;
        FLastBitmapHeight = h;
        if (FSelected)
            DeSelect();
        FMask.AllocateBits(w, h, 1);
        if (FCurrent && FCurrent->GetHasAlphaChannel()) {
            TKVBitmap* alpha = FCurrent->GetAlphaChannel();
            if (alpha->GetWidth() != w || alpha->GetHeight() != h) {
                alpha->Allocate(w, h, kv8g);
                alpha->Fill(255);
                alpha->Full = true;
            }
        }
    }
}

bool TKorvaneView::UpdatePass()
{
    LayersSync();
    SyncBitmapSize();
    const int32_t bw = FGeo.BitmapWidth, bh = FGeo.BitmapHeight;
    if ((FAutoFit || FAutoStretch || FAutoShrink) && bw > 0 && bh > 0) {
        int32_t ex, ey;
        CalcEdges(ex, ey, false, false);
        double z = 100.0;
        if (!(bw < 2 && bh < 2))
            z = GetOptimalZoom(bw, bh, GetClientWidth() - 2 * ex, GetClientHeight() - 2 * ey,
                               FAutoStretch || FAutoFit, FAutoShrink || FAutoFit);
        z = std::max(z, 1.0);
        if (FGeo.AcceptsZoom(z))
            FGeo.SetZoomRatios(z);
        UpdateLimits();
        CalcPaintCoef();
        ViewChange(1);
    }
    if (Designing())
        return false;
    const int32_t clientW = GetClientWidth(), clientH = GetClientHeight();
    FGeo.ClientWidth = clientW;
    FGeo.ClientHeight = clientH;
    FGeo.OuterWidth = Width();
    FGeo.OuterHeight = Height();
    UpdateLimits();
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    bool moved = false;
    if (FGeo.ViewX > mx) {
        FGeo.ViewX = mx;
        moved = true;
    }
    if (FGeo.ViewY > my) {
        FGeo.ViewY = my;
        moved = true;
    }
    if (moved)
        ViewChange(0);
    if (HasParentWindow()) {
        if (HorizontalAllowed(FScrollBars))
            UpdateScrollBar(SB_HORZ, mx, clientW, FGeo.ViewX, FHScale, FHBarShown);
        if (VerticalAllowed(FScrollBars))
            UpdateScrollBar(SB_VERT, my, clientH, FGeo.ViewY, FVScale, FVBarShown);
    }
    return GetClientWidth() != clientW || GetClientHeight() != clientH;
}

void TKorvaneView::UpdateScrollBar(int32_t bar, int32_t maxView, int32_t client, int32_t view, double& scale,
                                   bool& shown)
{
    if (maxView >= 1) {
        // The range stays within the 16 bits that the scroll messages carry, whatever the image.
        scale = (static_cast<double>(client) + maxView) / 65536.0;
        SetScrollRange(bar, 0, 65535, false);
        TScrollInfo info;
        info.fMask = SIF_PAGE;
        info.nPage = static_cast<uint32_t>(std::max(Trunc(client / static_cast<ld>(scale)), 0));
        SetScrollInfo(bar, info, true);
        SetScrollPos(bar, Trunc(view / static_cast<ld>(scale)), false);
        EnableScrollBar(bar, ESB_ENABLE_BOTH);
        ShowScrollBar(bar, true);
        shown = true;
    } else if (FScrollBarsAlwaysVisible) {
        shown = true;
        EnableScrollBar(bar, ESB_DISABLE_BOTH);
        ShowScrollBar(bar, true);
    } else {
        shown = false;
        ShowScrollBar(bar, false);
    }
}

void TKorvaneView::UpdateLimits()
{
    FGeo.UpdateLimits(Designing());
}

void TKorvaneView::GetMaxViewXY(int32_t& mx, int32_t& my)
{
    FGeo.GetMaxViewXY(mx, my);
}

bool TKorvaneView::RequiresScrollBars()
{
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    return mx > 0 || my > 0;
}

// ---------------------------------------------------------------------------------------------
// Zoom

void TKorvaneView::ReArmCountdowns(bool zoomChange, double zoomBefore)
{
    const double zoom = zoomChange ? zoomBefore : Zoom();
    if (DelayZoomFilter && FZoomFilter != rfNone && zoom != 100)
        FDelayCount = FDelayTicks;
    FSettleCount = FSettleTicks;
}

void TKorvaneView::SetZoom(double z)
{
    SyncBitmapSize();
    if (!FGeo.AcceptsZoom(z) || z == Zoom())
        return;
    ReArmCountdowns(true, Zoom());
    LockPaint();
    SetZoomNoUpdate(z);
    Update();
    NPUnLockPaint();
    Paint();
    LockPaint();
    Update();
    CalcPaintCoef();
    NPUnLockPaint();
    ViewChange(1);
}

void TKorvaneView::SetZoomNoUpdate(double z)
{
    if (!FGeo.AcceptsZoom(z))
        return;
    FGeo.ClientWidth = GetClientWidth();
    FGeo.ClientHeight = GetClientHeight();
    int32_t x, y;
    FGeo.ZoomKeepingCentre(z, x, y);
    FGeo.ViewX = x;
    FGeo.ViewY = y;
    FGeo.SetZoomRatios(z);
}

void TKorvaneView::ZoomAt(int32_t x, int32_t y, double z)
{
    LockPaint();
    const int32_t bx = XScr2Bmp(x), by = YScr2Bmp(y);
    SetZoom(z);
    const ld ratio = static_cast<ld>(Zoom() / 100.0);
    SetViewXY(Trunc(bx * ratio - GetClientWidth() / 2), Trunc(by * ratio - GetClientHeight() / 2));
    UnLockPaint();
}

void TKorvaneView::Fit()
{
    SyncBitmapSize();
    if (FGeo.BitmapWidth <= 0 || FGeo.BitmapHeight <= 0)
        return;
    ShowScrollBar(SB_BOTH, false);
    SetZoom(GetFitValue());
}

double TKorvaneView::GetFitValue()
{
    SyncBitmapSize();
    if (FGeo.BitmapWidth <= 0 || FGeo.BitmapHeight <= 0)
        return 100.0;
    int32_t ex, ey;
    CalcEdges(ex, ey, true, true);
    return std::min((Width() - 2 * ex) / (FGeo.BitmapWidth / 100.0),
                    (Height() - 2 * ey) / (FGeo.BitmapHeight / 100.0));
}

void TKorvaneView::CalcEdges(int32_t& ex, int32_t& ey, bool useMetricX, bool useMetricY)
{
    const int32_t edgeX = GetSystemMetrics(SM_CXEDGE), edgeY = GetSystemMetrics(SM_CYEDGE);
    if (FBackgroundStyle == kvbsCropped) {
        ex = edgeX;
        ey = edgeY;
    } else if (FBackgroundStyle == kvbsCropShadow) {
        ex = 5;
        ey = 5;
    } else {
        ex = useMetricX ? edgeX : (Width() - GetClientWidth()) / 2;
        ey = useMetricY ? edgeY : (Height() - GetClientHeight()) / 2;
    }
}

double TKorvaneView::GetIdealZoom()
{
    SyncBitmapSize();
    if (FGeo.BitmapWidth <= 0 || FGeo.BitmapHeight <= 0)
        return 100.0;
    return std::min(Width() / (FGeo.BitmapWidth / 100.0), Height() / (FGeo.BitmapHeight / 100.0));
}

double TKorvaneView::GetOptimalZoom(int32_t bmpW, int32_t bmpH, int32_t availW, int32_t availH,
                                    bool allowStretch, bool allowShrink)
{
    if (bmpW == 0 || bmpH == 0 || availW == 0 || availH == 0)
        return 100.0;
    const bool heightLimits = static_cast<double>(bmpW) / availW <= static_cast<double>(bmpH) / availH;
    const bool fits = heightLimits ? availH >= bmpH : availW >= bmpW;
    const bool allowed = fits ? allowStretch : allowShrink;
    return allowed ? GetFitValue() : 100.0;
}

void TKorvaneView::ZoomSelection()
{
    if (!FSelected || FMask.IsEmpty())
        return;
    const int32_t x1 = SelX1(), y1 = SelY1();
    const int32_t w = SelX2() - x1 + 1, h = SelY2() - y1 + 1;
    if (x1 < 0 || y1 < 0 || w < 2 || h < 2)
        return;
    DeSelect();
    SetZoom(std::min(Width() / (w / 100.0), Height() / (h / 100.0)));
    const ld ratio = static_cast<ld>(Zoom() / 100.0);
    SetViewXY(Trunc(x1 * ratio) - (GetClientWidth() - Trunc(w * ratio)) / 2,
              Trunc(y1 * ratio) - (GetClientHeight() - Trunc(h * ratio)) / 2);
}

void TKorvaneView::FitToWidth()
{
    SyncBitmapSize();
    if (FGeo.BitmapWidth <= 0 || FGeo.BitmapHeight <= 0)
        return;
    int32_t ex, ey;
    CalcEdges(ex, ey, true, false);
    LockPaint();
    SetZoom((Width() - 2 * ex) / (FGeo.BitmapWidth / 100.0));
    // The vertical bar may have appeared.
    SetZoom((GetClientWidth() - 2 * ex) / (FGeo.BitmapWidth / 100.0));
    UnLockPaint();
}

void TKorvaneView::FitToHeight()
{
    SyncBitmapSize();
    if (FGeo.BitmapWidth <= 0 || FGeo.BitmapHeight <= 0)
        return;
    int32_t ex, ey;
    CalcEdges(ex, ey, false, true);
    LockPaint();
    SetZoom((Height() - 2 * ey) / (FGeo.BitmapHeight / 100.0));
    SetZoom((GetClientHeight() - 2 * ey) / (FGeo.BitmapHeight / 100.0));
    UnLockPaint();
}

// ---------------------------------------------------------------------------------------------
// View position

void TKorvaneView::SetViewX(int32_t v)
{
    if (v != ViewX())
        ApplyViewXY(v, ViewY(), true, false);
}

void TKorvaneView::SetViewY(int32_t v)
{
    if (v != ViewY())
        ApplyViewXY(ViewX(), v, false, true);
}

void TKorvaneView::SetViewXY(int32_t x, int32_t y)
{
    if (x == ViewX() && y == ViewY())
        return;
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    if (std::clamp(x, 0, mx) == ViewX() && std::clamp(y, 0, my) == ViewY())
        return;
    ApplyViewXY(x, y, true, true);
}

void TKorvaneView::ApplyViewXY(int32_t x, int32_t y, bool moveH, bool moveV)
{
    ReArmCountdowns(false, Zoom());
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    FGeo.ViewX = std::clamp(x, 0, mx);
    FGeo.ViewY = std::clamp(y, 0, my);
    FBackBufferDirty = true;
    FRepaintAll = true;
    Paint();
    ViewChange(0);
    if (FSelected)
        AniPolyFunc(this, false);
    if (moveH && HorizontalAllowed(FScrollBars))
        SetScrollPos(SB_HORZ, Trunc(ViewX() / static_cast<ld>(FHScale)), true);
    if (moveV && VerticalAllowed(FScrollBars))
        SetScrollPos(SB_VERT, Trunc(ViewY() / static_cast<ld>(FVScale)), true);
}

void TKorvaneView::CenterImage()
{
    SyncBitmapSize();
    SetViewXY((FGeo.BitmapWidth - Width()) / 2, (FGeo.BitmapHeight - Height()) / 2);
}

int32_t TKorvaneView::GetIdealComponentWidth()
{
    SyncBitmapSize();
    int32_t w = Trunc(FGeo.BitmapWidth / 100.0L * Zoom()) + 1;
    if (HorizontalAllowed(FScrollBars))
        w += Width() - ClientWidth();
    return w;
}

int32_t TKorvaneView::GetIdealComponentHeight()
{
    SyncBitmapSize();
    int32_t h = Trunc(FGeo.BitmapHeight / 100.0L * Zoom()) + 1;
    if (VerticalAllowed(FScrollBars))
        h += Height() - ClientHeight();
    return h;
}

void TKorvaneView::ViewChange(int32_t Change)
{
    if (OnViewChange)
        OnViewChange(this, Change);
}

bool TKorvaneView::GetIsEmpty()
{
    return FCurrent == nullptr || (FCurrent->GetWidth() < 2 && FCurrent->GetHeight() < 2);
}

void TKorvaneView::Clear()
{
    if (FCurrent->GetWidth() > 0 && FCurrent->GetHeight() > 0 && FCurrent->GetPixelFormat() != kvnull)
        FCurrent->Fill(FCurrent->GetPixelFormat() == kv24RGB ? double(ColorToRGB(Background())) : 0.0);
    FCurrent->RemoveAlphaChannel();
    Update();
}

void TKorvaneView::Blank()
{
    if (GetTransitionRunning())
        FTransition->Stop();
    FCurrent->Allocate(1, 1, kv24RGB);
    Clear();
}

// ---------------------------------------------------------------------------------------------
// Settings

void TKorvaneView::SetCenter(bool Value)
{
    if (Value != FGeo.Center) {
        FGeo.Center = Value;
        Update();
    }
}

void TKorvaneView::SetZoomFilter(TResampleFilter Value)
{
    FRequestedZoomFilter = Value;
    if (Value != FZoomFilter) {
        FZoomFilter = Value;
        Update();
    }
}

void TKorvaneView::SetAutoFit(bool Value)
{
    FAutoFit = Value;
    Update();
}

void TKorvaneView::SetAutoStretch(bool Value)
{
    FAutoStretch = Value;
    Update();
}

void TKorvaneView::SetAutoShrink(bool Value)
{
    FAutoShrink = Value;
    Update();
}

void TKorvaneView::SetScrollBarsAlwaysVisible(bool Value)
{
    FScrollBarsAlwaysVisible = Value;
    Update();
}

void TKorvaneView::SetBackGround(TColor Value)
{
    TKVView::SetBackGround(Value);
    if (Designing())
        Clear();
    Update();
    ImageChange();
}

void TKorvaneView::SetScrollBars(TScrollStyle Value)
{
    FScrollBars = Value;
    if (!VerticalAllowed(Value)) {
        ShowScrollBar(SB_VERT, false);
        FVBarShown = false;
    }
    if (!HorizontalAllowed(Value)) {
        ShowScrollBar(SB_HORZ, false);
        FHBarShown = false;
    }
    Update();
}

void TKorvaneView::SetDelayTimer(int32_t ms)
{
    FTimer->SetInterval(static_cast<uint32_t>(std::max(ms, 1)));
}

int32_t TKorvaneView::GetDelayTimer() const
{
    return static_cast<int32_t>(FTimer->Interval());
}

void TKorvaneView::SetLegacyBitmap(bool Value)
{
    if (Value == FLegacyBitmap)
        return;
    FLegacyBitmap = Value;
    // Floating-point pixels cannot live in a class-library bitmap; such a picture stays where it is.
    if (!(Value && FCurrent->GetPixelFormat() == kv32f))
        FCurrent->SetLocation(Value ? kvTBitmap : kvFile);
    CallBitmapChangeEvents();
    Update();
}

TBitmap* TKorvaneView::GetFBitmap()
{
    if (FLegacyBitmap && FCurrent != nullptr && FCurrent->Location() == kvTBitmap)
        return FCurrent->GetVclBitmap();
    return nullptr;
}

TKorvaneIO* TKorvaneView::GetKorvaneIO()
{
    if (FIO == nullptr) {
        FIO = new TKorvaneIO(nullptr);
        FIO->SetAttachedKorvane(this);
        FIO->OnProgress = FOnProgress;
    }
    return FIO;
}

TKorvaneProc* TKorvaneView::GetKorvaneProc()
{
    if (FProc == nullptr) {
        FProc = new TKorvaneProc(nullptr);
        FProc->SetAttachedKorvane(this);
        FProc->OnProgress = FOnProgress;
    }
    return FProc;
}

void TKorvaneView::SetOnProgress(TKVProgressEvent Value)
{
    FOnProgress = std::move(Value);
    if (FIO)
        FIO->OnProgress = FOnProgress;
    if (FProc)
        FProc->OnProgress = FOnProgress;
}

// ---------------------------------------------------------------------------------------------
// Cursors

void TKorvaneView::SetCursor(TCursor Value)
{
    FViewCursor = Value;
    TKVView::SetCursor(Value);
}

void TKorvaneView::SetTempCursor(TCursor Value)
{
    TKVView::SetCursor(Value);
}

void TKorvaneView::SaveCursor(TCursor Value)
{
    FSavedCursor = FViewCursor;
    SetCursor(Value);
}

void TKorvaneView::RestoreCursor()
{
    SetCursor(FSavedCursor);
}

// ---------------------------------------------------------------------------------------------
// Image change, messages, scroll bars, wheel and keys

void TKorvaneView::ImageChange()
{
    // Events of the view run on the user-interface thread only.
    if (GetCurrentThreadId() != MainThreadID) {
        PostMessage(Handle(), KVM_IMAGECHANGE, 0, 0);
        return;
    }
    FireImageChange();
}

void TKorvaneView::FireImageChange()
{
    if (OnImageChange)
        OnImageChange(this);
}

void TKorvaneView::Dispatch(TMessage& Message)
{
    switch (Message.Msg) {
    case KVM_VIEWUPDATE:
        Update();
        return;
    case KVM_IMAGECHANGE:
        FireImageChange();
        return;
    case WM_HSCROLL:
    case WM_VSCROLL:
        TKVView::Dispatch(Message);
        HandleScroll(Message.Msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(Message.WParam),
                     HIWORD(Message.WParam));
        return;
    case WM_MOUSEWHEEL:
        if (FWheelParams.WheelAction == kvmwNone) {
            TKVView::Dispatch(Message);
            return;
        }
        HandleWheel(int16_t(HIWORD(Message.WParam)), TPoint{int16_t(LOWORD(uintptr_t(Message.LParam))),
                                                            int16_t(HIWORD(uintptr_t(Message.LParam)))});
        Message.Result = 1;
        return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        TKVView::Dispatch(Message);
        Invalidate();
        return;
    default:
        TKVView::Dispatch(Message);
    }
}

void TKorvaneView::HandleScroll(int32_t bar, uint16_t code, int32_t position)
{
    const bool vertical = bar == SB_VERT;
    const TKVScrollBarParams& params = vertical ? FVScrollParams : FHScrollParams;
    const int32_t view = vertical ? ViewY() : ViewX();
    const int32_t client = vertical ? GetClientHeight() : GetClientWidth();
    const double scale = vertical ? FVScale : FHScale;
    const int32_t p = std::max(Trunc(Zoom() / 100.0), 1);
    int32_t next = view;
    switch (code) {
    case SB_LINEUP:
        next = view - p * (params.LineStep == -1 ? 1 : params.LineStep);
        break;
    case SB_LINEDOWN:
        next = view + p * (params.LineStep == -1 ? 1 : params.LineStep);
        break;
    case SB_PAGEUP:
        next = params.PageStep == -1 ? view - client : view - p * params.PageStep;
        break;
    case SB_PAGEDOWN:
        next = params.PageStep == -1 ? view + client : view + p * params.PageStep;
        break;
    case SB_THUMBTRACK:
        if (!params.Tracking)
            return;
        next = Trunc(position * static_cast<ld>(scale));
        break;
    case SB_THUMBPOSITION:
        next = Trunc(position * static_cast<ld>(scale));
        break;
    case SB_TOP:
        next = 0;
        break;
    case SB_BOTTOM: {
        int32_t mx, my;
        GetMaxViewXY(mx, my);
        next = vertical ? my : mx;
        break;
    }
    default:
        return;
    }
    if (vertical)
        SetViewY(next);
    else
        SetViewX(next);
}

void TKorvaneView::HandleWheel(int32_t delta, TPoint screenPos)
{
    int32_t dir = delta > 0 ? -1 : 1;
    if (FWheelParams.Reverse)
        dir = -dir;
    const int32_t step = FWheelParams.StepValue;
    if (FWheelParams.WheelAction == kvmwVScroll) {
        if (FWheelParams.StepKind == kvmwAbsolute)
            SetViewY(ViewY() + std::max(Trunc(Zoom() / 100.0), 1) * step * dir);
        else
            SetViewY(ViewY() + std::max(Round(static_cast<ld>(GetClientHeight()) * step / 100), 1) * dir);
        return;
    }
    double z = FWheelParams.StepKind == kvmwAbsolute
                   ? Zoom() + double(step) * dir
                   : Zoom() + double(std::max(Round(static_cast<ld>(step) * Zoom() / 100), 1)) * dir;
    if (z > Zoom() && OnZoomIn)
        OnZoomIn(this, z);
    else if (z < Zoom() && OnZoomOut)
        OnZoomOut(this, z);
    if (FWheelParams.ZoomAnchor == kvmwCenter) {
        SetZoom(z);
    } else {
        const TPoint p = ScreenToClient(screenPos);
        ZoomAt(p.X, p.Y, z);
    }
}

void TKorvaneView::KeyDown(uint16_t& Key, TShiftState Shift)
{
    TKVView::KeyDown(Key, Shift);
    if (Key == VK_SHIFT && AddWithShift) {
        if (Cursor() == crKVCross3)
            SetTempCursor(crKVCross3Plus);
        else if (Cursor() == crKVCross2)
            SetTempCursor(crKVCross2Plus);
    }
}

void TKorvaneView::KeyUp(uint16_t& Key, TShiftState Shift)
{
    TKVView::KeyUp(Key, Shift);
    if (Key == VK_SHIFT)
        SetTempCursor(FViewCursor);
}
