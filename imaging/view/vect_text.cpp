// Texts, labels and memos of the vector layer: single-line texts (also along a curve), the label
// of a labelled line, memos through the text layout, and editing texts and memos in place.
#include "imaging/core/geometry_helpers.h"
#include "imaging/view/kvtextc.h"
#include "imaging/view/kvvect.h"
#include "platform/core/rounding.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>

namespace {

// Where a text of tw x th starts in a box of W x H at escapement theta (radians).
TPoint TextOffsets(TKVAlignment align, double theta, int32_t tw, int32_t th, int32_t W, int32_t H)
{
    const double c = std::cos(theta), s = std::sin(theta);
    const int32_t v = Trunc(H - c * th + s * tw) / 2;
    int32_t h = 0;
    switch (align) {
    case kvjLeft:
        h = std::abs(Trunc(s * th));
        break;
    case kvjRight:
        h = Trunc(W - c * tw);
        break;
    case kvjCenter:
    case kvjJustify:
        h = Trunc(W - c * tw - s * th) / 2;
        break;
    }
    return TPoint{h, v};
}

} // namespace

void TKorvaneVect::SetFontFor(TCanvas* Canvas, const TKVVObject& o, double f, int32_t boxHeight,
                              int32_t escapement) const
{
    TFont* font = Canvas->Font();
    if (o.Font) {
        font->SetLogFont(*o.Font);
    } else if (FTemplate.Font) {
        font->SetLogFont(*FTemplate.Font);
    }
    const int32_t height = o.Font ? o.Font->lfHeight : (FTemplate.Font ? FTemplate.Font->lfHeight : 0);
    // Height 0 fills the box; the record keeps its own height.
    int32_t scaled = height == 0 ? boxHeight : Trunc(height * f);
    if (scaled == 0) {
        scaled = height < 0 ? -1 : 1;
    }
    font->SetHeight(scaled);
    font->SetOrientation(escapement);
    font->SetQuality(fqAntialiased);
    font->SetColor(o.PenColor);
}

void TKorvaneVect::DrawObjectText(TCanvas* Canvas, int32_t x1, TRect* Bounds, bool MaskMode, double f,
                                  TKVVObject& o, int32_t y2, int32_t x2, int32_t y1)
{
    Daduvudez::KVSetplim(Bounds, x1, y1);
    Daduvudez::KVSetplim(Bounds, x2 + 1, y2 + 1);
    if (o.Kind == kvkMEMO) {
        DrawMemo(Canvas, o, x1, y1, MaskMode, f);
        return;
    }
    const int32_t handle = static_cast<int32_t>(&o - FObjects.data());
    if (IsEditMode() && handle == FEditedObject) {
        Canvas->Brush()->SetStyle(bsClear);
        Canvas->Rectangle(x1 - 1, y1 - 1, x2 + 1, y2 + 1);
        return;
    }
    if (!o.Curve.empty() && !o.Text.empty()) {
        DrawTextOnCurve(Canvas, o, x1, y1, x2, y2, Bounds, f);
        return;
    }
    const int32_t H = y2 - y1, W = x2 - x1;
    const int32_t escapement = o.Font ? o.Font->lfEscapement : 0;
    const double theta = escapement / 10.0 * M_PI / 180.0;
    SetFontFor(Canvas, o, f, H, escapement);
    const TSize extent = Canvas->TextExtent(o.Text);
    const TPoint offset = TextOffsets(o.TextAlign, theta, extent.cx, extent.cy, W, H);
    Canvas->Rectangle(x1, y1, x2 + 1, y2 + 1);
    Canvas->Brush()->SetStyle(bsClear);
    const uint32_t align = SetTextAlign(Canvas, TA_LEFT | TA_TOP);
    Canvas->TextRect(Rect(x1, y1, x2, y2), x1 + offset.X, y1 + offset.Y, o.Text);
    SetTextAlign(Canvas, align);
}

void TKorvaneVect::DrawTextOnCurve(TCanvas* Canvas, TKVVObject& o, int32_t x1, int32_t y1, int32_t x2,
                                   int32_t y2, TRect* Bounds, double f)
{
    const double w = std::abs(double(x2) - x1), h = std::abs(double(y2) - y1);
    std::vector<TKVDPoint> points;
    points.reserve(o.Curve.size());
    for (const TKVDPoint& p : o.Curve) {
        points.push_back(TKVDPoint{x1 + p.X * w, y1 + p.Y * h});
    }
    double total = 0;
    for (size_t i = 1; i < points.size(); ++i) {
        total += std::hypot(points[i].X - points[i - 1].X, points[i].Y - points[i - 1].Y);
    }
    // One character per byte; a UTF-8 sequence travels as one character.
    std::vector<std::string> characters;
    for (size_t i = 0; i < o.Text.size();) {
        size_t n = 1;
        const uint8_t lead = static_cast<uint8_t>(o.Text[i]);
        if (lead >= 0xC0) {
            while (i + n < o.Text.size() && (static_cast<uint8_t>(o.Text[i + n]) & 0xC0) == 0x80 && n < 4) {
                ++n;
            }
        }
        characters.push_back(o.Text.substr(i, n));
        i += n;
    }
    const int32_t spacing = Trunc(total / double(characters.size()));
    const uint32_t align = SetTextAlign(Canvas, TA_CENTER | TA_BASELINE);
    Canvas->Brush()->SetStyle(bsClear);
    int32_t escapement = INT32_MIN;
    size_t next = 0;
    double travelled = 0;
    for (size_t i = 1; i < points.size() && next < characters.size(); ++i) {
        const double dx = points[i].X - points[i - 1].X, dy = points[i].Y - points[i - 1].Y;
        const double length = std::hypot(dx, dy);
        int32_t rotation = o.CharRot;
        if (o.CharRot == -10) {
            if (std::abs(dx) < 0.01) {
                rotation = dy > 0 ? 2700 : 900;
            } else {
                double angle = std::atan(-dy / dx);
                if (dx < 0) {
                    angle += M_PI;
                }
                rotation = Trunc(angle * 180.0 / M_PI * 10.0 + 0.5);
            }
        }
        while (next < characters.size() && next * double(spacing) <= travelled + length) {
            const double along = length > 0 ? (next * double(spacing) - travelled) / length : 0;
            const int32_t px = Trunc(points[i - 1].X + dx * along), py = Trunc(points[i - 1].Y + dy * along);
            if (rotation != escapement) {
                escapement = rotation;
                SetFontFor(Canvas, o, f, Trunc(h), escapement);
            }
            Canvas->TextOut(px, py, characters[next]);
            Daduvudez::KVSetplim(Bounds, px - Canvas->TextWidth(characters[next]),
                                 py - Canvas->TextHeight(characters[next]));
            Daduvudez::KVSetplim(Bounds, px + Canvas->TextWidth(characters[next]),
                                 py + Canvas->TextHeight(characters[next]));
            ++next;
            if (spacing <= 0) {
                break;
            }
        }
        travelled += length;
    }
    SetTextAlign(Canvas, align);
}

void TKorvaneVect::DrawObjectLineLabel(TCanvas* Canvas, int32_t x1, TRect* Bounds, double f, TKVVObject& o,
                                       int32_t y2, int32_t x2, int32_t y1)
{
    if (o.Text.empty()) {
        return;
    }
    if (o.LabelPos == kvlEnd) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    const int32_t escapement = o.Font ? o.Font->lfEscapement : 0;
    const double theta = escapement / 10.0 * M_PI / 180.0;
    SetFontFor(Canvas, o, f, 0, escapement);
    const TSize extent = Canvas->TextExtent(o.Text);
    const int32_t tw = extent.cx, th = extent.cy;
    const int32_t left = x1 < x2 ? x1 - tw : x1;
    const int32_t top = y1 < y2 ? y1 - th : y1;
    const TColor brushColour = Canvas->Brush()->Color();
    const TBrushStyle brushStyle = Canvas->Brush()->Style();
    Canvas->Brush()->SetColor(o.LabelBrushColor);
    Canvas->Brush()->SetStyle(o.LabelBrushStyle);
    Canvas->Rectangle(left, top, left + tw + 1, top + th + 1);
    Canvas->Brush()->SetStyle(bsClear);
    const TPoint offset = TextOffsets(o.TextAlign, theta, tw, th, tw, th);
    const uint32_t align = SetTextAlign(Canvas, TA_LEFT | TA_TOP);
    Canvas->TextOut(left + offset.X, top + offset.Y, o.Text);
    SetTextAlign(Canvas, align);
    Canvas->Brush()->SetColor(brushColour);
    Canvas->Brush()->SetStyle(brushStyle);
    Daduvudez::KVSetplim(Bounds, left, top);
    Daduvudez::KVSetplim(Bounds, left + tw + 1, top + th + 1);
}

void TKorvaneVect::DrawMemo(TCanvas* Canvas, TKVVObject& o, int32_t x1, int32_t y1, bool MaskMode, double f)
{
    TKVTextLayout layout;
    // A copy: drawing must not add formats to the object.
    layout.Memo.Text = o.Text;
    layout.Memo.Formats = o.MemoFormats;
    layout.Memo.CharInfos = o.MemoCharInfos;
    layout.Zoom = f;
    if (o.Font) {
        layout.Font.SetLogFont(*o.Font);
    }
    layout.Font.SetOrientation(0);
    layout.Font.SetColor(o.PenColor);
    layout.TextBrush.SetColor(o.BrushColor);
    layout.TextBrush.SetStyle(o.BrushStyle);
    layout.Alignment = o.TextAlign;
    layout.BackgroundBrush.SetColor(o.BrushColor);
    layout.BackgroundBrush.SetStyle(o.BrushStyle);
    layout.MaskMode = MaskMode;
    layout.FontLocked = o.FontLocked;
    layout.AutoSize = o.TextAutoSize;
    layout.LineSpace = o.MemoLineSpace;
    layout.BorderPen.SetColor(o.MemoBorderColor);
    layout.BorderPen.SetStyle(o.MemoBorderStyle);
    layout.FixedHeight = o.MemoFixedHeight;
    const int32_t handle = static_cast<int32_t>(&o - FObjects.data());
    layout.CollectLayout = handle == FLayoutWanted;
    layout.Init();
    layout.PaintTo(Canvas, x1, y1, int32_t(std::min<int64_t>(int64_t(o.x2) - o.x1 + 1, INT32_MAX)),
                   int32_t(std::min<int64_t>(int64_t(o.y2) - o.y1 + 1, INT32_MAX)));
    if (layout.CollectLayout) {
        FLayoutText = layout.LayoutText;
    }
}

std::string TKorvaneVect::GetMemoFormattedString(int32_t hobj)
{
    TKVVObject& o = Obj(hobj);
    if (o.Kind != kvkMEMO || hobj == kvhTemplate) {
        return std::string();
    }
    // Laid out on a scratch bitmap: asking for the text must not draw on the picture.
    TBitmap scratch;
    scratch.SetPixelFormat(pf24bit);
    scratch.SetSize(int32_t(std::clamp<int64_t>(int64_t(o.x2) - o.x1 + 2, 1, 4096)),
                    int32_t(std::clamp<int64_t>(int64_t(o.y2) - o.y1 + 2, 1, 4096)));
    FLayoutWanted = hobj == kvhLast ? static_cast<int32_t>(FObjects.size()) - 1 : hobj;
    FLayoutText.clear();
    TRect bounds;
    DrawObjectText(scratch.Canvas(), 0, &bounds, false, 1.0, o, o.y2 - o.y1, o.x2 - o.x1, 0);
    FLayoutWanted = -1;
    return FLayoutText;
}

// ---- editing in place ----

void TKorvaneVect::ApplyCharset(TFont*) const
{
    // The view's font takes the system's character set; there is one character set here (UTF-8).
}

void TKorvaneVect::EditObject(int32_t hobj)
{
    if (IsEditMode()) {
        RemoveTextEdit();
    }
    FEditedObject = hobj == kvhLast ? static_cast<int32_t>(FObjects.size()) - 1 : hobj;
    Obj(FEditedObject);
    ActiveTextEdit();
    Update();
}

void TKorvaneVect::ActiveTextEdit()
{
    if (!IsLiveObject(FEditedObject)) {
        FEditedObject = -1;
        return;
    }
    TKVVObject& o = FObjects[size_t(FEditedObject)];
    if (o.Kind == kvkTEXT) {
        FTextEdit->SetParent(this);
        FTextEdit->SetBorderStyle(bsNone);
        FTextEdit->OnChange = nullptr;
        FTextEdit->SetText(o.Text);
        UpdateTextEdit();
        FTextEdit->OnKeyDown = [this](TObject* Sender, uint16_t& Key, TShiftState Shift) {
            TextEditKeyDown(Sender, Key, Shift);
        };
        FTextEdit->OnChange = [this](TObject* Sender) { TextEditOnChange(Sender); };
        FTextEdit->SetVisible(true);
        if (FTextEdit->CanFocus()) {
            FTextEdit->SetFocus();
        }
    } else if (o.Kind == kvkMEMO) {
        FMemoEdit->SetParent(this);
        TKVTextLayout& layout = FMemoEdit->Layout();
        layout.Memo.Text = std::move(o.Text);
        layout.Memo.Formats = std::move(o.MemoFormats);
        layout.Memo.CharInfos = std::move(o.MemoCharInfos);
        o.Text.clear();
        o.MemoFormats.clear();
        o.MemoCharInfos.clear();
        UpdateTextEdit();
        FMemoEdit->OnKeyDown = [this](TObject* Sender, uint16_t& Key, TShiftState Shift) {
            MemoEditKeyDown(Sender, Key, Shift);
        };
        FMemoEdit->Init();
        FMemoEdit->SetVisible(true);
        if (FMemoEdit->CanFocus()) {
            FMemoEdit->SetFocus();
        }
    } else {
        FEditedObject = -1;
    }
}

void TKorvaneVect::UpdateTextEdit()
{
    if (!IsLiveObject(FEditedObject) || !FTextEdit || !FMemoEdit) {
        return;
    }
    const TKVVObject& o = FObjects[size_t(FEditedObject)];
    const double f = Zoom() / 100.0;
    const int32_t x1 = XBmp2Scr(o.x1), y1 = YBmp2Scr(o.y1), x2 = XBmp2Scr(o.x2), y2 = YBmp2Scr(o.y2);
    // The editors are placed before they are shown: the memo control takes its formats from
    // the font set here when it starts.
    if (o.Kind == kvkTEXT) {
        FTextEdit->SetBounds(x1, y1, std::max(x2 - x1, 1), std::max(y2 - y1, 1));
        TFont* font = FTextEdit->Font();
        if (o.Font) {
            font->SetLogFont(*o.Font);
        }
        font->SetOrientation(0);
        const int32_t height = o.Font ? o.Font->lfHeight : 0;
        font->SetHeight(height == 0 ? std::max(y2 - y1, 1) : Trunc(height * f));
        font->SetColor(o.PenColor);
        FTextEdit->SetColor(o.BrushStyle != bsSolid ? Background() : o.BrushColor);
    } else if (o.Kind == kvkMEMO) {
        FMemoEdit->SetBounds(x1, y1, std::max(x2 - x1 + 1, 1), std::max(y2 - y1 + 1, 1));
        TFont* font = FMemoEdit->Font();
        if (o.Font) {
            font->SetLogFont(*o.Font);
        }
        font->SetOrientation(0);
        font->SetColor(o.PenColor);
        TKVTextLayout& layout = FMemoEdit->Layout();
        layout.Font.Assign(font);
        layout.TextBrush.SetColor(o.BrushColor);
        layout.TextBrush.SetStyle(o.BrushStyle);
        layout.Alignment = o.TextAlign;
        layout.BackgroundBrush.SetColor(o.BrushColor);
        layout.BackgroundBrush.SetStyle(bsSolid);
        layout.FontLocked = o.FontLocked;
        layout.AutoSize = o.TextAutoSize;
        layout.LineSpace = o.MemoLineSpace;
        layout.BorderPen.SetColor(o.MemoBorderColor);
        layout.BorderPen.SetStyle(o.MemoBorderStyle);
        layout.FixedHeight = o.MemoFixedHeight;
        layout.Zoom = f;
        layout.ResetCaches();
        FMemoEdit->Invalidate();
    }
}

void TKorvaneVect::RemoveTextEdit()
{
    if (!IsLiveObject(FEditedObject)) {
        FTextEdit->SetVisible(false);
        FMemoEdit->SetVisible(false);
        return;
    }
    TKVVObject& o = FObjects[size_t(FEditedObject)];
    const double f = Zoom() / 100.0;
    if (o.Kind == kvkTEXT && FTextEdit->Visible()) {
        FTextEdit->OnChange = nullptr;
        FTextEdit->OnKeyDown = nullptr;
        std::string text;
        for (char c : FTextEdit->Text()) {
            if (c != '\r') {
                text += c;
            }
        }
        o.Text = text.substr(0, text.find('\0'));
        if (o.TextAutoSize) {
            TBitmap measure;
            SetFontFor(measure.Canvas(), o, f, std::max(YBmp2Scr(o.y2) - YBmp2Scr(o.y1), 1), 0);
            o.x2 = o.x1 + Trunc(measure.Canvas()->TextWidth(o.Text) / f);
        }
        FTextEdit->SetVisible(false);
    } else if (o.Kind == kvkMEMO && FMemoEdit->Visible()) {
        FMemoEdit->OnKeyDown = nullptr;
        FMemoEdit->RemoveUnreferenced();
        if (o.TextAutoSize) {
            o.y2 = o.y1 + Trunc(FMemoEdit->ClientHeight() / f);
        }
        TKVTextLayout& layout = FMemoEdit->Layout();
        o.Text = std::move(layout.Memo.Text);
        o.MemoFormats = std::move(layout.Memo.Formats);
        o.MemoCharInfos = std::move(layout.Memo.CharInfos);
        layout.Memo = TKVTextMemo{};
        FMemoEdit->SetVisible(false);
    }
    if (CanFocus()) {
        SetFocus();
    }
    DoVectorialChanged();
}

void TKorvaneVect::TextEditOnChange(TObject*)
{
    if (!IsLiveObject(FEditedObject)) {
        return;
    }
    TKVVObject& o = FObjects[size_t(FEditedObject)];
    if (!o.TextAutoSize) {
        return;
    }
    const double f = Zoom() / 100.0;
    TBitmap measure;
    measure.Canvas()->Font()->Assign(FTextEdit->Font());
    const int32_t width = measure.Canvas()->TextWidth(FTextEdit->Text());
    FTextEdit->SetWidth(std::max(width, 1));
    o.x2 = o.x1 + Trunc((width + measure.Canvas()->TextWidth("M")) / f);
    Update();
}

void TKorvaneVect::TextEditKeyDown(TObject*, uint16_t& Key, TShiftState)
{
    if (Key == VK_RETURN) {
        Key = 0;
        CancelInteracts();
        DoVectorialChanged();
    } else if (Key == VK_ESCAPE) {
        Key = 0;
        FTextEdit->Undo();
        CancelInteracts();
    }
}

void TKorvaneVect::MemoEditKeyDown(TObject*, uint16_t& Key, TShiftState)
{
    if (Key == VK_ESCAPE) {
        Key = 0;
        CancelInteracts();
    }
}
