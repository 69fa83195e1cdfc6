// Kvtextc: TKVTextControl, a small rich-text editor whose characters each carry a shared format
// (font, colours, paragraph alignment). The vector layer edits memo objects in place with one.
#pragma once

#include "imaging/view/text_layout.h"
#include "platform/forms/controls.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Kvtextc {

// The private clipboard format: the selected characters, a NUL, then one 280-byte format per
// character.
extern const uint16_t KVTEXTMEMOCLIPFORMAT;

} // namespace Kvtextc

// Window messages of the clipboard commands.
enum : uint32_t
{
    WM_CUT = 0x0300,
    WM_COPY = 0x0301,
    WM_PASTE = 0x0302,
};

class TKVTextControl : public TCustomControl
{
public:
    explicit TKVTextControl(TComponent* AOwner);
    ~TKVTextControl() override;

    // The characters, their formats and the layout settings.
    TKVTextLayout& Layout() { return *FLayout; }
    const TKVTextLayout& Layout() const { return *FLayout; }
    const std::string& Text() const { return FLayout->Memo.Text; }

    // Caret and selection to 0, missing formats made; the layout follows the control's font.
    void Init();
    void AddChar(char c) { FLayout->AddChar(c); }
    int32_t DelChar(int32_t i) { return FLayout->DelChar(i); }
    void RemoveSelected() { FLayout->RemoveSelected(); }
    void ResetSelection() { FLayout->ResetSelection(); }
    void RemoveUnreferenced() { FLayout->RemoveUnreferenced(); }
    int32_t FindCharInfo(const TKVCharInfo& info) const { return FLayout->FindCharInfo(info); }
    void SaveCharInfo(int32_t i, const TKVCharInfo& info) { FLayout->SaveCharInfo(i, info); }
    void CopyCharInfoTo(int32_t i, TKVCharInfo& info) const { FLayout->CopyCharInfoTo(i, info); }

    void SetXFont(TFont* font);
    void SetXBackColor(TColor colour);
    void IncFontSize();
    void DecFontSize();
    void SwitchFontStyle(TFontStyle style);
    void InsertAlign(TKVAlignment alignment);

    // False when the clipboard could not be opened.
    bool CopyToClipboard();
    void PasteFromClipboard();
    void CutToClipboard();

    bool FontLocked() const { return FLayout->FontLocked; }
    void SetFontLocked(bool Value);
    // Repaints now.
    void Update() override;
    // Lays the text out in (width x height, unscaled) and draws it on the canvas at (x, y).
    int32_t PaintTo(TCanvas* Canvas, int32_t x, int32_t y, int32_t width, int32_t height);

    void Dispatch(TMessage& Message) override;

protected:
    void Paint() override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void DblClick() override;
    void DoExit() override;
    void DoEnter() override;
    void FontChanged() override;
    void Resize() override;

private:
    // Moves the caret and lets SStop adjust the selection.
    void MoveCaret(int32_t to, bool shift);
    void TypeChar(char c);
    // The text-area point of a client point (unscaled).
    TPoint AreaPoint(int32_t X, int32_t Y) const;
    void ChooseFont();
    void ChooseBackColour();

    std::unique_ptr<TKVTextLayout> FLayout;
    std::unique_ptr<TBitmap> FOffscreen;
    bool FSelecting = false;
    int32_t FPressCaret = 0;
};
