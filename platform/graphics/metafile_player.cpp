// The metafile player's device context: mapping from logical coordinates to the canvas, the
// saved states, the object table and clipping.
#include "platform/graphics/detail/metafile_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/core/rounding.h"
#include "platform/graphics/detail/coverage.h"
#include "platform/graphics/dib.h"

namespace GraphicsDetail {

// ---- The device context ----

TMetafilePlayer::TMetafilePlayer(TCanvas& canvas, bool enhanced, const TXformD& placement,
                                 const TRect& destination)
    : FCanvas(canvas), FEnhanced(enhanced), FPlacement(placement), FDestination(destination),
      FState(std::make_unique<TState>())
{
    TRasterView view;
    if (canvas.Raster(view)) {
        FBounds = Rect(0, 0, view.Width, view.Height);
    }
    if (canvas.ClipRegion()) {
        FCanvasClip = std::make_unique<TRegionObject>(*canvas.ClipRegion());
    }
    FCanvasPen = std::make_unique<TPen>();
    FCanvasPen->Assign(canvas.Pen());
    FCanvasBrush = std::make_unique<TBrush>();
    FCanvasBrush->Assign(canvas.Brush());
    FCanvasFont = std::make_unique<TFont>();
    FCanvasFont->Assign(canvas.Font());
    FCanvasBkColor = canvas.BkColor();
    FCanvasTextColor = canvas.TextColor();
    FCanvasBkMode = canvas.BkMode();
    FCanvasRop2 = GetROP2(&canvas);
    FCanvasFillMode = canvas.PolyFillMode();
    FCanvasStretchMode = canvas.StretchBltMode();
    FCanvasPalette = canvas.SelectedPalette();
    ::SelectPalette(&FCanvas, nullptr, false);
    ::SetPolyFillMode(&FCanvas, ALTERNATE);
    ::SetStretchBltMode(&FCanvas, BLACKONWHITE);
    ::SetROP2(&FCanvas, R2_COPYPEN);
}

TMetafilePlayer::~TMetafilePlayer()
{
    Finish();
}

void TMetafilePlayer::Finish()
{
    if (!FCanvasPen) {
        return;
    }
    FCanvas.Pen()->Assign(FCanvasPen.get());
    FCanvas.Brush()->Assign(FCanvasBrush.get());
    FCanvas.Font()->Assign(FCanvasFont.get());
    ::SetBkColor(&FCanvas, FCanvasBkColor);
    ::SetTextColor(&FCanvas, FCanvasTextColor);
    ::SetBkMode(&FCanvas, FCanvasBkMode);
    ::SetROP2(&FCanvas, FCanvasRop2);
    ::SetPolyFillMode(&FCanvas, FCanvasFillMode);
    ::SetStretchBltMode(&FCanvas, FCanvasStretchMode);
    ::SelectPalette(&FCanvas, FCanvasPalette, false);
    ::SelectClipRgn(&FCanvas, FCanvasClip.get());
    FCanvasPen.reset();
}

TXformD TMetafilePlayer::Total() const
{
    const TState& s = *FState;
    TXformD page;
    if (!FEnhanced) {
        // A WMF's window is mapped onto the destination rectangle.
        const double sx = s.WinExtX != 0 ? FDestination.Width() / s.WinExtX : 1.0;
        const double sy = s.WinExtY != 0 ? FDestination.Height() / s.WinExtY : 1.0;
        page.M11 = sx;
        page.M22 = sy;
        page.Dx = FDestination.Left - s.WinOrgX * sx;
        page.Dy = FDestination.Top - s.WinOrgY * sy;
        return page;
    }
    double sx = 1, sy = 1;
    switch (s.MapMode) {
    case MM_LOMETRIC:
        sx = s.PixelsPerMmX / 10;
        sy = -s.PixelsPerMmY / 10;
        break;
    case MM_HIMETRIC:
        sx = s.PixelsPerMmX / 100;
        sy = -s.PixelsPerMmY / 100;
        break;
    case MM_LOENGLISH:
        sx = s.PixelsPerMmX * 0.254;
        sy = -s.PixelsPerMmY * 0.254;
        break;
    case MM_HIENGLISH:
        sx = s.PixelsPerMmX * 0.0254;
        sy = -s.PixelsPerMmY * 0.0254;
        break;
    case MM_TWIPS:
        sx = s.PixelsPerMmX * 25.4 / 1440;
        sy = -s.PixelsPerMmY * 25.4 / 1440;
        break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
        sx = s.WinExtX != 0 ? s.VpExtX / s.WinExtX : 1.0;
        sy = s.WinExtY != 0 ? s.VpExtY / s.WinExtY : 1.0;
        if (s.MapMode == MM_ISOTROPIC) {
            const double scale = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(scale, sx);
            sy = std::copysign(scale, sy);
        }
        break;
    default:
        break;
    }
    page.M11 = sx;
    page.M22 = sy;
    page.Dx = s.VpOrgX - s.WinOrgX * sx;
    page.Dy = s.VpOrgY - s.WinOrgY * sy;
    return FPlacement.After(page.After(s.World));
}

TPointD TMetafilePlayer::Device(double x, double y) const
{
    const TPointD p = Total().Apply(x, y);
    return {ClampedCoordinate(p.X), ClampedCoordinate(p.Y)};
}

TPoint TMetafilePlayer::Pixel(TPointD device) const
{
    return {Round(device.X), Round(device.Y)};
}

// ---- State ----

void TMetafilePlayer::SetMapMode(int32_t mode)
{
    if (mode >= MM_TEXT && mode <= MM_ANISOTROPIC) {
        FState->MapMode = mode;
    }
}

void TMetafilePlayer::SetWindowOrg(double x, double y)
{
    FState->WinOrgX = x;
    FState->WinOrgY = y;
}

void TMetafilePlayer::SetWindowExt(double x, double y)
{
    if (x != 0 && y != 0) {
        FState->WinExtX = x;
        FState->WinExtY = y;
        FState->WindowSet = true;
    }
}

void TMetafilePlayer::SetViewportOrg(double x, double y)
{
    FState->VpOrgX = x;
    FState->VpOrgY = y;
}

void TMetafilePlayer::SetViewportExt(double x, double y)
{
    if (x != 0 && y != 0) {
        FState->VpExtX = x;
        FState->VpExtY = y;
    }
}

void TMetafilePlayer::OffsetWindowOrg(double dx, double dy)
{
    FState->WinOrgX += dx;
    FState->WinOrgY += dy;
}

void TMetafilePlayer::OffsetViewportOrg(double dx, double dy)
{
    FState->VpOrgX += dx;
    FState->VpOrgY += dy;
}

void TMetafilePlayer::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0 && xNum != 0 && yNum != 0) {
        SetWindowExt(FState->WinExtX * xNum / xDenom, FState->WinExtY * yNum / yDenom);
    }
}

void TMetafilePlayer::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom != 0 && yDenom != 0 && xNum != 0 && yNum != 0) {
        SetViewportExt(FState->VpExtX * xNum / xDenom, FState->VpExtY * yNum / yDenom);
    }
}

void TMetafilePlayer::SetReferenceResolution(double pixelsPerMmX, double pixelsPerMmY)
{
    if (pixelsPerMmX > 0 && pixelsPerMmY > 0 && std::isfinite(pixelsPerMmX) && std::isfinite(pixelsPerMmY)) {
        FState->PixelsPerMmX = pixelsPerMmX;
        FState->PixelsPerMmY = pixelsPerMmY;
    }
}

void TMetafilePlayer::SetDefaultWindow(double left, double top, double width, double height)
{
    FState->WinOrgX = left;
    FState->WinOrgY = top;
    FState->WinExtX = width != 0 ? width : 1;
    FState->WinExtY = height != 0 ? height : 1;
}

void TMetafilePlayer::SetWorldTransform(const TXformD& xform)
{
    if (xform.Invertible()) {
        FState->World = xform;
    }
}

void TMetafilePlayer::ModifyWorldTransform(const TXformD& xform, uint32_t mode)
{
    switch (mode) {
    case 1:
        FState->World = TXformD();
        break;
    case 2:
        if (xform.Invertible()) {
            FState->World = FState->World.After(xform);
        }
        break;
    case 3:
        if (xform.Invertible()) {
            FState->World = xform.After(FState->World);
        }
        break;
    case 4:
        SetWorldTransform(xform);
        break;
    default:
        break;
    }
}

void TMetafilePlayer::SaveDC()
{
    // A deep stack is a sign of a broken file; it is not followed past a limit.
    if (FSaved.size() < 4096) {
        FSaved.push_back(*FState);
    }
}

void TMetafilePlayer::RestoreDC(int32_t level)
{
    const int64_t count = int64_t(FSaved.size());
    const int64_t index = level < 0 ? count + level : int64_t(level) - 1;
    if (index < 0 || index >= count) {
        return;
    }
    *FState = FSaved[size_t(index)];
    FSaved.resize(size_t(index));
    ApplyClip();
}

void TMetafilePlayer::SetBkColor(uint32_t color)
{
    FState->BkColor = color & 0xFFFFFF;
}

void TMetafilePlayer::SetBkMode(int32_t mode)
{
    if (mode == TRANSPARENT || mode == OPAQUE) {
        FState->BkMode = mode;
    }
}

void TMetafilePlayer::SetTextColor(uint32_t color)
{
    FState->TextColor = color & 0xFFFFFF;
}

void TMetafilePlayer::SetTextAlign(uint32_t align)
{
    FState->TextAlign = align;
}

void TMetafilePlayer::SetROP2(int32_t rop2)
{
    if (rop2 >= R2_BLACK && rop2 <= R2_WHITE) {
        FState->Rop2 = rop2;
    }
}

void TMetafilePlayer::SetPolyFillMode(int32_t mode)
{
    if (mode == ALTERNATE || mode == WINDING) {
        FState->FillMode = mode;
    }
}

void TMetafilePlayer::SetStretchBltMode(int32_t mode)
{
    if (mode >= BLACKONWHITE && mode <= HALFTONE) {
        FState->StretchMode = mode;
    }
}

void TMetafilePlayer::SetArcDirection(int32_t direction)
{
    if (direction == 1 || direction == AD_CLOCKWISE) {
        FState->ArcDirection = direction;
    }
}

void TMetafilePlayer::MoveTo(double x, double y)
{
    FState->Position = {x, y};
    if (FInPath) {
        FPath.push_back({Device(x, y)});
        FPathClosed.push_back(false);
    }
}

// ---- Objects ----

void TMetafilePlayer::SetObject(uint32_t slot, TMetaObject object)
{
    // Tables are bounded by the 16-bit handle counts of both formats.
    if (slot >= 65536) {
        return;
    }
    if (slot >= FObjects.size()) {
        FObjects.resize(slot + 1);
    }
    FObjects[slot] = std::move(object);
}

int32_t TMetafilePlayer::FreeSlot()
{
    for (size_t i = 0; i < FObjects.size(); ++i) {
        if (FObjects[i].Kind == TMetaObject::None) {
            return int32_t(i);
        }
    }
    return FObjects.size() < 65536 ? int32_t(FObjects.size()) : -1;
}

void TMetafilePlayer::DeleteObject(uint32_t slot)
{
    if (slot < FObjects.size()) {
        FObjects[slot] = TMetaObject();
    }
}

TMetaObject* TMetafilePlayer::ObjectAt(uint32_t slot)
{
    return slot < FObjects.size() && FObjects[slot].Kind != TMetaObject::None ? &FObjects[slot] : nullptr;
}

void TMetafilePlayer::SelectObject(uint32_t slot)
{
    TMetaObject* object = ObjectAt(slot);
    if (!object) {
        return;
    }
    switch (object->Kind) {
    case TMetaObject::Pen:
        FState->Pen = object->PenValue;
        break;
    case TMetaObject::Brush:
        FState->Brush = object->BrushValue;
        break;
    case TMetaObject::Font:
        FState->Font = object->FontValue;
        break;
    case TMetaObject::Palette:
        SelectPalette(slot);
        break;
    case TMetaObject::Region:
        SelectClipRegionObject(slot);
        break;
    default:
        break;
    }
}

void TMetafilePlayer::SelectStockObject(uint32_t index)
{
    TState& s = *FState;
    switch (index) {
    case 0: // white, light grey, grey, dark grey and black brushes
    case 1:
    case 2:
    case 3:
    case 4: {
        static const uint32_t greys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        s.Brush = {BS_SOLID, greys[index], 0};
        break;
    }
    case 5:
        s.Brush = {BS_NULL, 0, 0};
        break;
    case 6:
        s.Pen = {0, 0, 0xFFFFFF};
        break;
    case 7:
        s.Pen = {0, 0, 0};
        break;
    case 8:
        s.Pen = {PS_NULL, 0, 0};
        break;
    case 10:
    case 11:
    case 16:
        s.Font = TFontSpec{};
        s.Font.FaceName = "Courier New";
        break;
    case 12:
    case 13:
    case 14:
    case 17:
        s.Font = TFontSpec{};
        break;
    case 15:
        SelectStockPalette();
        break;
    default:
        break;
    }
}

void TMetafilePlayer::SelectPalette(uint32_t slot)
{
    TMetaObject* object = ObjectAt(slot);
    if (object && object->Kind == TMetaObject::Palette) {
        FState->Palette = object->PaletteValue;
        ::SelectPalette(&FCanvas, FState->Palette.get(), false);
    }
}

void TMetafilePlayer::SelectStockPalette()
{
    FState->Palette.reset();
    ::SelectPalette(&FCanvas, nullptr, false);
}

// ---- Clipping ----

void TMetafilePlayer::ApplyClip()
{
    if (!FState->Clip) {
        ::SelectClipRgn(&FCanvas, FCanvasClip.get());
        return;
    }
    if (!FCanvasClip) {
        ::SelectClipRgn(&FCanvas, FState->Clip.get());
        return;
    }
    const auto both = CombineRegions(FCanvasClip.get(), FState->Clip.get(), rmAnd);
    ::SelectClipRgn(&FCanvas, both.get());
}

std::shared_ptr<TRegionObject> TMetafilePlayer::Everything() const
{
    return RegionOfRects(
        {{double(FBounds.Left), double(FBounds.Top), double(FBounds.Right), double(FBounds.Bottom)}},
        FBounds);
}

std::shared_ptr<TRegionObject> TMetafilePlayer::RegionOf(const std::vector<TRectD>& deviceRects) const
{
    return RegionOfRects(deviceRects, FBounds);
}

void TMetafilePlayer::IntersectClipRect(double left, double top, double right, double bottom)
{
    const TPointD a = Device(left, top), b = Device(right, bottom);
    const auto rect = RegionOf({{a.X, a.Y, b.X, b.Y}});
    const auto current = FState->Clip ? FState->Clip : Everything();
    FState->Clip = CombineRegions(current.get(), rect.get(), rmAnd);
    ApplyClip();
}

void TMetafilePlayer::ExcludeClipRect(double left, double top, double right, double bottom)
{
    const TPointD a = Device(left, top), b = Device(right, bottom);
    const auto rect = RegionOf({{a.X, a.Y, b.X, b.Y}});
    const auto current = FState->Clip ? FState->Clip : Everything();
    FState->Clip = CombineRegions(current.get(), rect.get(), rmDiff);
    ApplyClip();
}

void TMetafilePlayer::SelectClipRegion(const TRegionObject* deviceRegion, TRegionMode mode)
{
    if (mode == rmCopy) {
        FState->Clip = deviceRegion ? std::make_shared<TRegionObject>(*deviceRegion) : nullptr;
    } else if (deviceRegion) {
        const auto current = FState->Clip ? FState->Clip : Everything();
        FState->Clip = CombineRegions(current.get(), deviceRegion, mode);
    }
    ApplyClip();
}

void TMetafilePlayer::SelectClipRegionObject(uint32_t slot)
{
    TMetaObject* object = ObjectAt(slot);
    if (object && object->Kind == TMetaObject::Region) {
        SelectClipRegion(object->RegionValue.get(), rmCopy);
    }
}

void TMetafilePlayer::OffsetClipRegion(double dx, double dy)
{
    if (!FState->Clip) {
        return;
    }
    const TPointD origin = Device(0, 0), moved = Device(dx, dy);
    FState->Clip = OffsetRegion(*FState->Clip, Round(moved.X - origin.X), Round(moved.Y - origin.Y));
    ApplyClip();
}

std::shared_ptr<TRegionObject> TMetafilePlayer::DeviceRegion(const std::vector<TRect>& rects) const
{
    std::vector<TRectD> device;
    for (const TRect& r : rects) {
        const TPointD a = FPlacement.Apply(r.Left, r.Top), b = FPlacement.Apply(r.Right, r.Bottom);
        device.push_back({a.X, a.Y, b.X, b.Y});
    }
    return RegionOf(device);
}

std::shared_ptr<TRegionObject> TMetafilePlayer::LogicalRegion(const std::vector<TRect>& rects) const
{
    std::vector<TRectD> device;
    for (const TRect& r : rects) {
        const TPointD a = Device(r.Left, r.Top), b = Device(r.Right, r.Bottom);
        device.push_back({a.X, a.Y, b.X, b.Y});
    }
    return RegionOf(device);
}

} // namespace GraphicsDetail
