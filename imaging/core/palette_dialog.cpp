// The palette dialog, built in code.
#include "imaging/core/palette_dialog.h"

#include "imaging/core/pixel_helpers.h"
#include "platform/forms/std_controls.h"

#include <algorithm>

namespace {

constexpr int32_t kCell = 16;
constexpr int32_t kColumns = 32;

} // namespace

TKorvanePaletteDialog::TKorvanePaletteDialog(TComponent* AOwner) : TForm(AOwner)
{
    SetCaption("Palette");
    SetBorderStyle(bsDialog);
    SetBorderIcons(biSystemMenu);
    SetBounds(Left(), Top(), 520, 199);
    SetPosition(poScreenCenter);
    // The cells are painted on the form itself, behind the button.
    Canvas();
    OnPaint = [this](TObject* Sender) { FormPaint(Sender); };
    OnMouseMove = [this](TObject* Sender, TShiftState Shift, int32_t X, int32_t Y) {
        FormMouseMove(Sender, Shift, X, Y);
    };
    OnClick = [this](TObject* Sender) { FormClick(Sender); };

    FCancelButton = new TButton(this);
    FCancelButton->SetParent(this);
    FCancelButton->SetCaption("&Cancel");
    FCancelButton->SetLeft(4);
    FCancelButton->SetTop(136);
    FCancelButton->SetModalResult(mrCancel);
    FCancelButton->SetCancel(true);
}

void TKorvanePaletteDialog::SetPalette(const TRGB* Palette, int32_t NumColors)
{
    FPalette = Palette;
    FNumColors = Palette != nullptr ? std::max(NumColors, 0) : 0;
    if (FHighlighted >= FNumColors)
        FHighlighted = -1;
    Invalidate();
}

bool TKorvanePaletteDialog::Execute()
{
    return ShowModal() == mrOk;
}

int32_t TKorvanePaletteDialog::CellAt(int32_t X, int32_t Y)
{
    // The one-pixel border left of and above the first cell belongs to it ((-1) div 16 = 0).
    const int32_t column = (X - 1) / kCell;
    const int32_t row = (Y - 1) / kCell;
    if (X < 0 || Y < 0 || column >= kColumns)
        return -1;
    return column + row * kColumns;
}

void TKorvanePaletteDialog::FormPaint(TObject*)
{
    TCanvas* canvas = Canvas();
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetWidth(1);
    canvas->Brush()->SetStyle(bsSolid);
    for (int32_t i = 0; i < FNumColors; ++i) {
        const int32_t left = (i % kColumns) * kCell;
        const int32_t top = (i / kColumns) * kCell;
        canvas->Pen()->SetColor(i == FHighlighted ? clBlack : clWhite);
        canvas->Brush()->SetColor(Korvaneproc::TRGB2TColor(FPalette[i]));
        canvas->Rectangle(left + 1, top + 1, left + kCell, top + kCell);
    }
}

void TKorvanePaletteDialog::FormMouseMove(TObject*, TShiftState, int32_t X, int32_t Y)
{
    const int32_t index = CellAt(X, Y);
    if (index < 0 || index >= FNumColors || index == FHighlighted)
        return;
    FHighlighted = index;
    Repaint();
}

void TKorvanePaletteDialog::FormClick(TObject*)
{
    // Before the mouse has highlighted a cell there is nothing to choose.
    if (FHighlighted < 0 || FHighlighted >= FNumColors)
        return;
    SelectedColor = Korvaneproc::TRGB2TColor(FPalette[FHighlighted]);
    SetModalResult(mrOk);
}
