// TKorvanePaletteDialog: a small modal colour picker that shows a palette as a grid of cells,
// outlines the cell under the mouse and closes with its colour when the user clicks.
#pragma once

#include "imaging/core/types.h"
#include "platform/forms/form.h"

#include <cstdint>

class TButton;

class TKorvanePaletteDialog : public TForm
{
public:
    explicit TKorvanePaletteDialog(TComponent* AOwner);

    // The colours to show, kept by reference: they must stay valid while the dialog is open.
    void SetPalette(const TRGB* Palette, int32_t NumColors);
    // Shows the dialog modally; true when a cell was clicked (SelectedColor is its colour).
    bool Execute();

    int32_t HighlightedIndex() const { return FHighlighted; }
    TButton* CancelButton() const { return FCancelButton; }
    // The index of the cell at a client point, or -1 outside the grid.
    static int32_t CellAt(int32_t X, int32_t Y);

    void FormPaint(TObject* Sender);
    void FormMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
    void FormClick(TObject* Sender);

    TColor SelectedColor = clBlack;

private:
    int32_t FHighlighted = -1;
    const TRGB* FPalette = nullptr;
    int32_t FNumColors = 0;
    TButton* FCancelButton = nullptr;
};
