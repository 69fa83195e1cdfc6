// TKorvaneMView: the grid layout, positions and hit tests, scrolling, the scroll bars and the
// updates that lay the grid out again.
#include "imaging/dialogs/kvmview.h"

#include "imaging/core/message_table.h"
#include "platform/core/rounding.h"
#include "platform/forms/ext_controls.h"

#include <algorithm>

using Zirodevo::gThreadCS;

namespace {

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
// Geometry

TKVMGrid TKorvaneMView::Grid() const
{
    TKVMGrid g;
    g.ThumbWidth = FThumbWidth;
    g.ThumbHeight = FThumbHeight;
    g.HorizBorder = FHorizBorder;
    g.VertBorder = FVertBorder;
    g.GridWidth = FGridWidth;
    g.DisplayMode = FDisplayMode;
    g.ClientWidth = ClientWidth();
    g.ClientHeight = ClientHeight();
    return g;
}

void TKorvaneMView::UpdateCoords()
{
    const TKVMGrid g = Grid();
    const TSize extent = g.Layout(GetImageCount(), [this](int32_t i, int32_t row, int32_t col, TPoint p) {
        PKVImageInfo e = FImages[i];
        e->X = p.X;
        e->Y = p.Y;
        e->Row = row;
        e->Col = col;
    });
    if (GetImageCount() == 0) {
        FGridWidthPx = g.StepX();
        FGridHeightPx = g.StepY();
    } else {
        FGridWidthPx = extent.cx;
        FGridHeightPx = extent.cy;
    }
}

int32_t TKorvaneMView::ImageAtGridPos(int32_t Row, int32_t Col) const
{
    return Grid().ImageAtGridPos(Row, Col);
}

int32_t TKorvaneMView::ImageAtPos(int32_t x, int32_t y) const
{
    const TKVMGrid g = Grid();
    if (x + FViewX < 0 || y + FViewY < 0) {
        return -1;
    }
    const int32_t i = g.ImageAtGridPos(g.RowAt(y, FViewY), g.ColumnAt(x, FViewX));
    const PKVImageInfo e = Entry(i);
    if (e == nullptr) {
        return -1;
    }
    const TRect r = g.CellRect(TPoint{e->X, e->Y}, FViewX, FViewY);
    return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom ? i : -1;
}

int32_t TKorvaneMView::InsertingPoint(int32_t x, int32_t y) const
{
    return Grid().InsertingPoint(x, y, FViewX, FViewY, GetImageCount());
}

bool TKorvaneMView::IsVisible(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return false;
    }
    const int32_t x = e->X - FViewX;
    const int32_t y = e->Y - FViewY;
    return x < ClientWidth() && x + FThumbWidth > 0 && y < ClientHeight() && y + FThumbHeight > 0;
}

int32_t TKorvaneMView::GetImageVisibility(int32_t idx) const
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr || !IsVisible(idx)) {
        return 0;
    }
    const int32_t x = e->X - FViewX;
    const int32_t y = e->Y - FViewY;
    const bool inside =
        x >= 0 && y >= 0 && x + FThumbWidth <= ClientWidth() && y + FThumbHeight <= ClientHeight();
    return inside ? 2 : 1;
}

void TKorvaneMView::GetMaxViewXY(int32_t& mx, int32_t& my) const
{
    mx = std::max(FGridWidthPx - ClientWidth(), 0);
    my = std::max(FGridHeightPx - ClientHeight(), 0);
}

int32_t TKorvaneMView::GetMaximumViewX() const
{
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    return mx;
}

int32_t TKorvaneMView::GetMaximumViewY() const
{
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    return my;
}

void TKorvaneMView::SetViewXY(int32_t x, int32_t y)
{
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    x = std::clamp(x, 0, mx);
    y = std::clamp(y, 0, my);
    if (x == FViewX && y == FViewY) {
        return;
    }
    FViewX = x;
    FViewY = y;
    Invalidate();
    if (HorizontalAllowed(FScrollBars) && FHScale > 0) {
        SetScrollPos(SB_HORZ, Trunc(static_cast<long double>(FViewX) / FHScale), true);
    }
    if (VerticalAllowed(FScrollBars) && FVScale > 0) {
        SetScrollPos(SB_VERT, Trunc(static_cast<long double>(FViewY) / FVScale), true);
    }
}

void TKorvaneMView::SetViewX(int32_t Value)
{
    SetViewXY(Value, FViewY);
}

void TKorvaneMView::SetViewY(int32_t Value)
{
    SetViewXY(FViewX, Value);
}

void TKorvaneMView::CenterSelected()
{
    const PKVImageInfo e = Entry(FSelectedImage);
    if (e != nullptr) {
        SetViewXY(e->X - (ClientWidth() - FThumbWidth) / 2, e->Y - (ClientHeight() - FThumbHeight) / 2);
    }
}

void TKorvaneMView::UpdateImage(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return;
    }
    Update();
    const TRect r{e->X - FViewX, e->Y - FViewY, e->X - FViewX + FThumbWidth, e->Y - FViewY + FThumbHeight};
    InvalidateRect(&r, false);
}

void TKorvaneMView::ViewChange(int32_t Change)
{
    if (OnViewChange) {
        OnViewChange(this, Change);
    }
}

// ---------------------------------------------------------------------------------------------
// Update and scroll bars

void TKorvaneMView::UpdateScrollBars()
{
    const auto bar = [this](int32_t which, int32_t maxView, int32_t client, int32_t view, double& scale) {
        if (maxView >= 1) {
            scale = (static_cast<double>(client) + maxView - 1) / 65536.0;
            SetScrollRange(which, 0, 65535, false);
            TScrollInfo info;
            info.fMask = SIF_PAGE;
            info.nPage = static_cast<uint32_t>(std::max(Trunc(client / static_cast<long double>(scale)), 0));
            SetScrollInfo(which, info, true);
            SetScrollPos(which, Trunc(view / static_cast<long double>(scale)), false);
            EnableScrollBar(which, ESB_ENABLE_BOTH);
            ShowScrollBar(which, true);
        } else if (FScrollBarsAlwaysVisible) {
            EnableScrollBar(which, ESB_DISABLE_BOTH);
            ShowScrollBar(which, true);
        } else {
            ShowScrollBar(which, false);
        }
    };
    for (int32_t pass = 0; pass < 9; ++pass) {
        const int32_t cw = ClientWidth();
        const int32_t ch = ClientHeight();
        UpdateCoords();
        int32_t mx, my;
        GetMaxViewXY(mx, my);
        const int32_t vx = std::min(FViewX, mx);
        const int32_t vy = std::min(FViewY, my);
        if (vx != FViewX || vy != FViewY) {
            FViewX = vx;
            FViewY = vy;
            ViewChange(0);
        }
        if (Parent() != nullptr) {
            if (HorizontalAllowed(FScrollBars)) {
                bar(SB_HORZ, mx, cw, FViewX, FHScale);
            }
            if (VerticalAllowed(FScrollBars)) {
                bar(SB_VERT, my, ch, FViewY, FVScale);
            }
        }
        if (cw == ClientWidth() && ch == ClientHeight()) {
            break;
        }
    }
}

void TKorvaneMView::Update()
{
    if (FPaintLock > 0 || FInUpdate || FDestroying) {
        return;
    }
    const TComponentState state = ComponentState();
    if (state != 0 && state != csDesigning && state != csFreeNotification) {
        return;
    }
    if ((state & csDesigning) == 0) {
        FInUpdate = true;
        ClearCache();
        UpdateScrollBars();
        CallBitmapChangeEvents();
        FInUpdate = false;
    }
    Invalidate();
}

void TKorvaneMView::CallBitmapChangeEvents()
{
    TKVView::CallBitmapChangeEvents();
    FLastOp = 0;
}

void TKorvaneMView::LockPaint()
{
    ++FPaintLock;
}

int32_t TKorvaneMView::UnLockPaint()
{
    if (FPaintLock > 0) {
        --FPaintLock;
    }
    if (FPaintLock == 0) {
        Update();
    }
    return FPaintLock;
}

int32_t TKorvaneMView::NPUnLockPaint()
{
    if (FPaintLock > 0) {
        --FPaintLock;
    }
    return FPaintLock;
}

void TKorvaneMView::Resize()
{
    TKVView::Resize();
    Update();
}

void TKorvaneMView::HandleScroll(bool Vertical, uint16_t Code, int32_t Position)
{
    const TKVScrollBarParams& params = Vertical ? FVScrollParams : FHScrollParams;
    const int32_t view = Vertical ? FViewY : FViewX;
    const int32_t line = Vertical ? FThumbHeight + FVertBorder : FThumbWidth + FHorizBorder;
    const int32_t page = Vertical ? ClientHeight() : ClientWidth();
    const double scale = Vertical ? FVScale : FHScale;
    int32_t next = view;
    switch (Code) {
    case SB_LINEUP:
        next = view - (params.LineStep == -1 ? line : params.LineStep);
        break;
    case SB_LINEDOWN:
        next = view + (params.LineStep == -1 ? line : params.LineStep);
        break;
    case SB_PAGEUP:
        next = view - (params.PageStep == -1 ? page : params.PageStep);
        break;
    case SB_PAGEDOWN:
        next = view + (params.PageStep == -1 ? page : params.PageStep);
        break;
    case SB_THUMBTRACK:
        if (!params.Tracking) {
            return;
        }
        next = Trunc(Position * static_cast<long double>(scale));
        break;
    case SB_THUMBPOSITION:
        next = Trunc(Position * static_cast<long double>(scale));
        break;
    case SB_TOP:
        next = 0;
        break;
    case SB_BOTTOM:
        next = Vertical ? GetMaximumViewY() : GetMaximumViewX();
        break;
    default:
        return;
    }
    if (Vertical) {
        SetViewY(next);
    } else {
        SetViewX(next);
    }
}

void TKorvaneMView::SetScrollBars(TScrollStyle Value)
{
    FScrollBars = Value;
    if (!HorizontalAllowed(Value)) {
        ShowScrollBar(SB_HORZ, false);
    }
    if (!VerticalAllowed(Value)) {
        ShowScrollBar(SB_VERT, false);
    }
    Update();
}

void TKorvaneMView::SetScrollBarsAlwaysVisible(bool Value)
{
    FScrollBarsAlwaysVisible = Value;
    Update();
}
