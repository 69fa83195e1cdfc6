// The processing component's clipboard and selection operations: the image or its selected area to
// the clipboard as a packed DIB and back, and the image or its selection cleared to the background.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/component_detail.h"
#include "imaging/view/korvaneview.h"
#include "platform/forms/clipboard.h"

using namespace Korvaneproc;
using Korvaneproc::detail::Caption;

namespace Korvaneproc {

void _ClearSelMaskEx(TKVBitmap* Bitmap, TKVMask* Mask, TColor Color)
{
    if (!Bitmap || !Mask || Mask->IsEmpty())
        return;
    TKVBitmap box;
    box.Allocate(Mask->x2 - Mask->x1 + 1, Mask->y2 - Mask->y1 + 1, Bitmap->GetPixelFormat());
    box.Fill(Color);
    Mask->CopyKVBitmap(Bitmap, &box, false, true, false);
}

} // namespace Korvaneproc

namespace {

// The rectangle of the picture as a packed DIB: 1-bit pictures stay 1-bit, other formats than
// 24-bit go through a 24-bit copy (a DIB of their own layout would carry no rows).
HGLOBAL DibOf(TKVBitmap* picture, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    const TKVPixelFormat format = picture->GetPixelFormat();
    if (format == kv24RGB || format == kv1g)
        return _CopyBitmaptoDIBEx(picture, x1, y1, x2, y2);
    if (format == kvnull)
        return nullptr;
    TKVBitmap colour;
    colour.Assign(picture);
    colour.SetPixelFormat(kv24RGB);
    return _CopyBitmaptoDIBEx(&colour, x1, y1, x2, y2);
}

// Empties the clipboard and puts the DIB there (the block stays the caller's to free); false when
// the clipboard cannot be opened or there is nothing to put.
bool PutDib(HGLOBAL dib)
{
    if (!dib)
        return false;
    const bool opened = Clipboard()->Open();
    if (opened) {
        Clipboard()->Clear();
        Clipboard()->SetAsHandle(CF_DIB, dib);
        Clipboard()->Close();
    }
    GlobalFree(dib);
    return opened;
}

// The clipboard's DIB as a picture (kv1g or kv24RGB); nullptr when the clipboard cannot be opened,
// holds no DIB, or holds one that cannot be read.
std::unique_ptr<TKVBitmap> TakeDib()
{
    if (!Clipboard()->Open())
        return nullptr;
    HGLOBAL dib = Clipboard()->HasFormat(CF_DIB) ? Clipboard()->GetAsHandle(CF_DIB) : nullptr;
    Clipboard()->Close();
    if (!dib)
        return nullptr;
    auto picture = std::make_unique<TKVBitmap>();
    _CopyDIB2BitmapEx(dib, picture.get());
    GlobalFree(dib);
    if (picture->GetWidth() < 1 || picture->GetHeight() < 1)
        return nullptr;
    return picture;
}

// The selected area to the clipboard: the mask's box with unselected pixels black, or the rectangle
// x1 .. x2-1, y1 .. y2-1 without a mask; true when it got there.
bool PutArea(TKVBitmap* image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVMask* mask)
{
    if (!mask || mask->IsEmpty())
        return PutDib(DibOf(image, x1, y1, x2, y2));
    TKVBitmap area;
    area.Allocate(mask->x2 - mask->x1 + 1, mask->y2 - mask->y1 + 1, image->GetPixelFormat());
    area.Fill(0);
    mask->CopyKVBitmap(&area, image, true, false, false);
    return PutDib(DibOf(&area, 0, 0, area.GetWidth(), area.GetHeight()));
}

} // namespace

void TKorvaneProc::CopyToClipboard()
{
    if (Prepare())
        PutDib(DibOf(FKVBitmap, 0, 0, 0, 0));
}

void TKorvaneProc::SelCopyToClip()
{
    if (!Prepare())
        return;
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    if (GetReSel(x1, y1, x2, y2, poly, polyCount, mask))
        PutArea(FKVBitmap, x1, y1, x2, y2, mask);
    else
        CopyToClipboard();
}

void TKorvaneProc::SelCutToClip()
{
    if (!Prepare())
        return;
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    if (!GetReSel(x1, y1, x2, y2, poly, polyCount, mask))
        return;
    if (AutoUndo)
        SaveUndoCaptioned("SelCutToClip", kvuImage);
    // The area is cleared only once it is on the clipboard: otherwise it would be lost.
    if (!PutArea(FKVBitmap, x1, y1, x2, y2, mask))
        return;
    if (mask && !mask->IsEmpty())
        _ClearSelMaskEx(FKVBitmap, mask, GetReBackground());
    else
        FKVBitmap->FillRect(x1, y1, x2 - 1, y2 - 1, GetReBackground());
    Update();
}

void TKorvaneProc::PasteFromClipboard()
{
    if (!Prepare())
        return;
    std::unique_ptr<TKVBitmap> picture = TakeDib();
    if (!picture)
        return;
    if (AutoUndo)
        SaveUndoCaptioned("PastFromClipboard", kvuImage);
    FKVBitmap->AssignImage(picture.get());
    if (FKVBitmap->GetHasAlphaChannel())
        FKVBitmap->RemoveAlphaChannel();
    Update();
}

void TKorvaneProc::PointPasteFromClip(int32_t x, int32_t y)
{
    if (!Prepare())
        return;
    std::unique_ptr<TKVBitmap> picture = TakeDib();
    if (!picture)
        return;
    if (AutoUndo)
        SaveUndoCaptioned(Caption("PointPasteFromClip", {x, y}), kvuImage);
    // An image view that takes client coordinates for its selections takes them here too.
    if (auto* view = dynamic_cast<TKorvaneView*>(FView); view && view->SelectionBase == kvsbClientArea) {
        const int32_t cx = x, cy = y;
        x = view->XScr2Bmp(cx);
        y = view->YScr2Bmp(cy);
    }
    const int32_t w = picture->GetWidth(), h = picture->GetHeight();
    // Only the part that overlaps the image lands.
    if (int64_t(x) < FKVBitmap->GetWidth() && int64_t(y) < FKVBitmap->GetHeight() && int64_t(x) + w > 0 &&
        int64_t(y) + h > 0)
        picture->CopyRectTo(FKVBitmap, 0, 0, x, y, w, h);
    Update();
}

void TKorvaneProc::SelPasteFromClipStretch()
{
    if (!Prepare())
        return;
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    if (!GetReSel(x1, y1, x2, y2, poly, polyCount, mask)) {
        PasteFromClipboard();
        return;
    }
    if (!Clipboard()->Open())
        return;
    const bool available = Clipboard()->HasFormat(CF_DIB);
    Clipboard()->Close();
    if (!available)
        return;
    if (AutoUndo)
        SaveUndoCaptioned("SelPasteFromClipStretch", kvuImage);
    std::unique_ptr<TKVBitmap> picture = TakeDib();
    if (picture && x2 > x1 && y2 > y1) {
        TKVBitmap stretched;
        stretched.Allocate(x2 - x1, y2 - y1, picture->GetPixelFormat());
        _KVBmpStretchEx(picture.get(), &stretched);
        stretched.CopyRectTo(FKVBitmap, 0, 0, x1, y1, x2 - x1, y2 - y1);
    }
    Update();
}

void TKorvaneProc::Clear()
{
    if (!Prepare())
        return;
    if (AutoUndo)
        SaveUndoCaptioned("Clear", kvuImage);
    FKVBitmap->Fill(GetReBackground());
    Update();
}

void TKorvaneProc::ClearSel()
{
    if (!Prepare())
        return;
    if (AutoUndo)
        SaveUndoCaptioned("ClearSel", kvuImage);
    int32_t x1, y1, x2, y2, polyCount;
    TPoint* poly;
    TKVMask* mask;
    GetReSel(x1, y1, x2, y2, poly, polyCount, mask);
    if (mask && !mask->IsEmpty())
        _ClearSelMaskEx(FKVBitmap, mask, GetReBackground());
    Update();
}
