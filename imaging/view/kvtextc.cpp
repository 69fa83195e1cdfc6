// The multi-font text control: keys, mouse, clipboard and the caret over the text layout, painted
// through an off-screen bitmap.
#include "imaging/view/kvtextc.h"

#include "platform/core/rounding.h"
#include "platform/forms/clipboard.h"
#include "platform/forms/dialogs.h"

#include <algorithm>
#include <cstring>

namespace Kvtextc {

const uint16_t KVTEXTMEMOCLIPFORMAT = RegisterClipboardFormat("KORVANE TEXTMEMO");

} // namespace Kvtextc

using Kvtextc::KVTEXTMEMOCLIPFORMAT;

TKVTextControl::TKVTextControl(TComponent* AOwner)
    : TCustomControl(AOwner), FLayout(std::make_unique<TKVTextLayout>()),
      FOffscreen(std::make_unique<TBitmap>())
{
    SetControlStyle(ControlStyle() | csOpaque);
    SetTabStop(true);
    FOffscreen->SetPixelFormat(pf24bit);
    Font()->SetName("Arial");
    FontChanged();
    SetBounds(0, 0, 185, 89);
}

TKVTextControl::~TKVTextControl() = default;

void TKVTextControl::FontChanged()
{
    TCustomControl::FontChanged();
    FLayout->Font.Assign(Font());
}

void TKVTextControl::Init()
{
    FLayout->Font.Assign(Font());
    FLayout->Init();
    if (Width() > 0 && Height() > 0) {
        FOffscreen->SetSize(ClientWidth(), ClientHeight());
        FOffscreen->Canvas()->Brush()->SetColor(FLayout->BackgroundBrush.Color());
        FOffscreen->Canvas()->FillRect(Rect(0, 0, ClientWidth(), ClientHeight()));
    }
}

void TKVTextControl::SetFontLocked(bool Value)
{
    FLayout->FontLocked = Value;
    FLayout->ResetCaches();
    Invalidate();
}

void TKVTextControl::Update()
{
    Invalidate();
    TCustomControl::Update();
}

int32_t TKVTextControl::PaintTo(TCanvas* Canvas, int32_t x, int32_t y, int32_t width, int32_t height)
{
    return FLayout->PaintTo(Canvas, x, y, width, height);
}

void TKVTextControl::Paint()
{
    if (!Visible()) {
        return;
    }
    const int32_t w = ClientWidth(), h = ClientHeight();
    if (w < 1 || h < 1) {
        return;
    }
    if (FOffscreen->Width() != w || FOffscreen->Height() != h) {
        FOffscreen->SetSize(w, h);
        FOffscreen->Canvas()->Brush()->SetColor(FLayout->BackgroundBrush.Color());
        FOffscreen->Canvas()->FillRect(Rect(0, 0, w, h));
    }
    const double zoom = FLayout->Zoom > 0 ? FLayout->Zoom : 1.0;
    const int32_t grow = FLayout->PaintTo(FOffscreen->Canvas(), 0, 0, Round(w / zoom), Round(h / zoom));
    if (grow > 0 && FLayout->AutoSize) {
        // Taller, and painted again at the new size.
        SetHeight(Height() + std::max(1, Round(grow * zoom)));
        Invalidate();
        return;
    }
    Canvas()->Draw(0, 0, FOffscreen.get());
    const TPoint caret = FLayout->CaretPos();
    CreateCaret(1, std::max(1, Round(FLayout->CaretHeight() * zoom)));
    SetCaretPos(1 + Round(caret.X * zoom), 1 + Round(caret.Y * zoom));
    if (Focused()) {
        ShowCaret();
    }
}

void TKVTextControl::Resize()
{
    TCustomControl::Resize();
    Invalidate();
}

void TKVTextControl::DoEnter()
{
    TCustomControl::DoEnter();
    Invalidate();
}

void TKVTextControl::DoExit()
{
    HideCaret();
    DestroyCaret();
    TCustomControl::DoExit();
}

// ---- Formatting ----

void TKVTextControl::SetXFont(TFont* font)
{
    if (font) {
        FLayout->SetXFont(*font);
        Invalidate();
    }
}

void TKVTextControl::SetXBackColor(TColor colour)
{
    FLayout->SetXBackColor(colour);
    Invalidate();
}

void TKVTextControl::IncFontSize()
{
    FLayout->IncFontSize();
    Invalidate();
}

void TKVTextControl::DecFontSize()
{
    FLayout->DecFontSize();
    Invalidate();
}

void TKVTextControl::SwitchFontStyle(TFontStyle style)
{
    FLayout->SwitchFontStyle(style);
    Invalidate();
}

void TKVTextControl::InsertAlign(TKVAlignment alignment)
{
    FLayout->InsertAlign(alignment);
    Invalidate();
}

void TKVTextControl::ChooseFont()
{
    TFontDialog dialog(nullptr);
    const TKVCharInfo& format = FLayout->InsertionFormat;
    dialog.Font->SetName(format.FontName);
    dialog.Font->SetHeight(format.FontHeight);
    dialog.Font->SetStyle(format.FontStyle);
    dialog.Font->SetColor(format.FontColor);
    if (dialog.Execute()) {
        SetXFont(dialog.Font.get());
    }
}

void TKVTextControl::ChooseBackColour()
{
    TColorDialog dialog(nullptr);
    dialog.Color = FLayout->InsertionFormat.BackColor;
    if (dialog.Execute()) {
        SetXBackColor(dialog.Color);
    }
}

// ---- Clipboard ----

bool TKVTextControl::CopyToClipboard()
{
    TKVTextLayout& layout = *FLayout;
    if (!Clipboard()->Open()) {
        return false;
    }
    Clipboard()->Clear();
    const int32_t first = std::clamp(layout.SelStart, 0, layout.Count());
    const int32_t last = std::clamp(layout.SelEnd, first, layout.Count());
    const std::string selected = layout.Memo.Text.substr(size_t(first), size_t(last - first));
    std::vector<uint8_t> block(selected.begin(), selected.end());
    block.push_back(0);
    const size_t records = block.size();
    block.resize(records + selected.size() * size_t(TKVCharInfo::StoredSize));
    for (int32_t k = first; k < last; ++k) {
        TKVCharInfo info;
        layout.CopyCharInfoTo(k, info);
        info.Store(block.data() + records + size_t(k - first) * size_t(TKVCharInfo::StoredSize));
    }
    Clipboard()->SetAsBytes(KVTEXTMEMOCLIPFORMAT, block);
    std::string text;
    for (char c : selected) {
        if (c == '\n') {
            text += '\r';
        }
        text += c;
    }
    Clipboard()->SetAsText(text);
    Clipboard()->Close();
    return true;
}

void TKVTextControl::CutToClipboard()
{
    if (CopyToClipboard()) {
        FLayout->RemoveSelected();
        Invalidate();
    }
}

void TKVTextControl::PasteFromClipboard()
{
    TKVTextLayout& layout = *FLayout;
    if (!Clipboard()->Open()) {
        return;
    }
    const TKVCharInfo keep = layout.InsertionFormat;
    bool pasted = false;
    if (Clipboard()->HasFormat(KVTEXTMEMOCLIPFORMAT)) {
        const std::vector<uint8_t> block = Clipboard()->GetAsBytes(KVTEXTMEMOCLIPFORMAT);
        const auto nul = std::find(block.begin(), block.end(), uint8_t(0));
        const size_t n = size_t(nul - block.begin());
        // A block cut short (or with a count that does not match) gives way to the plain text.
        if (nul != block.end() && block.size() - n - 1 >= n * size_t(TKVCharInfo::StoredSize) &&
            (block.size() - n - 1) / size_t(TKVCharInfo::StoredSize) >= n) {
            for (size_t k = 0; k < n; ++k) {
                layout.InsertionFormat =
                    TKVCharInfo::Load(block.data() + n + 1 + k * size_t(TKVCharInfo::StoredSize));
                layout.AddChar(char(block[k]));
            }
            pasted = true;
        }
    }
    if (!pasted && Clipboard()->HasFormat(CF_TEXT)) {
        for (char c : Clipboard()->AsText()) {
            if (c != '\r' && c != '\0') {
                layout.AddChar(c);
            }
        }
    }
    layout.InsertionFormat = keep;
    Clipboard()->Close();
    Invalidate();
}

void TKVTextControl::Dispatch(TMessage& Message)
{
    switch (Message.Msg) {
    case WM_CUT:
        CutToClipboard();
        return;
    case WM_COPY:
        CopyToClipboard();
        return;
    case WM_PASTE:
        FLayout->RemoveSelected();
        PasteFromClipboard();
        return;
    default:
        TCustomControl::Dispatch(Message);
    }
}

// ---- Keys and mouse ----

void TKVTextControl::MoveCaret(int32_t to, bool shift)
{
    const int32_t old = FLayout->Caret;
    FLayout->Caret = std::clamp(to, 0, FLayout->Count());
    FLayout->SStop(old, shift);
    Invalidate();
}

void TKVTextControl::TypeChar(char c)
{
    TKVTextLayout& layout = *FLayout;
    if (layout.HasSelection()) {
        layout.RemoveSelected();
    } else if (!layout.InsertMode && layout.Caret < layout.Count()) {
        layout.DelChar(layout.Caret);
    }
    layout.AddChar(c);
    Invalidate();
}

void TKVTextControl::KeyDown(uint16_t& Key, TShiftState Shift)
{
    TKVTextLayout& layout = *FLayout;
    const bool ctrl = (Shift & ssCtrl) != 0;
    const bool shift = (Shift & ssShift) != 0;
    bool handled = true;
    switch (Key) {
    case VK_BACK:
        if (layout.HasSelection()) {
            layout.RemoveSelected();
        } else if (layout.Caret > 0) {
            layout.Caret = layout.DelChar(layout.GoBackIdx(layout.Caret));
        }
        break;
    case VK_RETURN:
        TypeChar('\n');
        break;
    case VK_DELETE:
        if (layout.HasSelection()) {
            layout.RemoveSelected();
        } else {
            layout.DelChar(layout.Caret);
        }
        break;
    case VK_INSERT:
        layout.InsertMode = !layout.InsertMode;
        break;
    case VK_HOME:
        MoveCaret(ctrl ? 0 : layout.MoveHome(layout.Caret), shift);
        break;
    case VK_END:
        MoveCaret(ctrl ? layout.Count() : layout.MoveEnd(layout.Caret), shift);
        break;
    case VK_LEFT:
        MoveCaret(ctrl ? layout.GoWordBackIdx(layout.Caret) : layout.GoBackIdx(layout.Caret), shift);
        break;
    case VK_RIGHT:
        MoveCaret(ctrl ? layout.GoWordForwardIdx(layout.Caret) : layout.GoForwardIdx(layout.Caret), shift);
        break;
    case VK_UP:
        MoveCaret(layout.MoveUp(layout.Caret), shift);
        break;
    case VK_DOWN:
        MoveCaret(layout.MoveDown(layout.Caret), shift);
        break;
    case VK_F1:
    case VK_F2:
        if (shift) {
            Key == VK_F1 ? layout.DecFontSize() : layout.IncFontSize();
        } else {
            handled = false;
        }
        break;
    default:
        handled = false;
        if (!ctrl) {
            break;
        }
        handled = true;
        switch (Key) {
        case 'B':
            layout.SwitchFontStyle(fsBold);
            break;
        case 'I':
            layout.SwitchFontStyle(fsItalic);
            break;
        case 'U':
            layout.SwitchFontStyle(fsUnderline);
            break;
        case 'L':
            layout.InsertAlign(kvjLeft);
            break;
        case 'R':
            layout.InsertAlign(kvjRight);
            break;
        case 'E':
            layout.InsertAlign(kvjCenter);
            break;
        case 'J':
            layout.InsertAlign(kvjJustify);
            break;
        case 'C':
            CopyToClipboard();
            break;
        case 'X':
            CutToClipboard();
            break;
        case 'V':
            layout.RemoveSelected();
            PasteFromClipboard();
            break;
        case 'F':
            if (!layout.FontLocked) {
                ChooseFont();
            }
            break;
        case 'G':
            if (!layout.FontLocked) {
                ChooseBackColour();
            }
            break;
        default:
            handled = false;
            break;
        }
        break;
    }
    if (handled) {
        Invalidate();
    }
    TCustomControl::KeyDown(Key, Shift);
    if (handled) {
        Key = 0;
    }
}

void TKVTextControl::KeyPress(char& Key)
{
    TCustomControl::KeyPress(Key);
    const uint8_t c = static_cast<uint8_t>(Key);
    if (c >= 32 && c != 127) {
        TypeChar(Key);
    }
}

TPoint TKVTextControl::AreaPoint(int32_t X, int32_t Y) const
{
    const double zoom = FLayout->Zoom > 0 ? FLayout->Zoom : 1.0;
    return TPoint{Trunc((X - 1) / zoom), Trunc((Y - 1) / zoom)};
}

void TKVTextControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    if (CanFocus()) {
        SetFocus();
    }
    TCustomControl::MouseDown(Button, Shift, X, Y);
    if (Button != mbLeft || (Shift & ssDouble)) {
        return;
    }
    const TPoint p = AreaPoint(X, Y);
    const int32_t at = FLayout->MoveTo(p.X, p.Y);
    if (Shift & ssShift) {
        MoveCaret(at, true);
    } else {
        FLayout->Caret = at;
        FLayout->ResetSelection();
        FLayout->SStop(at, false);
        Invalidate();
    }
    FPressCaret =
        FLayout->HasSelection() ? (FLayout->SelStart == at ? FLayout->SelEnd : FLayout->SelStart) : at;
    FSelecting = true;
}

void TKVTextControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y)
{
    TCustomControl::MouseMove(Shift, X, Y);
    if (!FSelecting || !(Shift & ssLeft)) {
        return;
    }
    const TPoint p = AreaPoint(X, Y);
    const int32_t at = FLayout->MoveTo(p.X, p.Y);
    FLayout->Caret = at;
    FLayout->SelStart = std::min(FPressCaret, at);
    FLayout->SelEnd = std::max(FPressCaret, at);
    Invalidate();
}

void TKVTextControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)
{
    FSelecting = false;
    TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TKVTextControl::DblClick()
{
    FSelecting = false;
    FLayout->SelectWord();
    Invalidate();
    TCustomControl::DblClick();
}
