// The palette dialog driven as a user would: its layout, the cells and outlines in its front
// image, the highlight under the mouse, clicks and Escape.
#include "imaging/core/palette_dialog.h"

#include "imaging/core/pixel_helpers.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

// Runs the action once the form shows modally; closes it with a failure if it stays open.
void WhenModal(TForm& form, const std::function<void()>& action, const std::function<void()>& run)
{
    TTimer timer(nullptr);
    bool acted = false;
    int32_t ticks = 0;
    timer.SetInterval(1);
    timer.OnTimer = [&](TObject*) {
        if (!form.Modal())
            return;
        if (!acted) {
            acted = true;
            action();
        } else if (++ticks > 2000) {
            ADD_FAILURE() << "the dialog stayed open";
            form.SetModalResult(mrAbort);
        }
    };
    timer.SetEnabled(true);
    run();
    timer.SetEnabled(false);
}

std::vector<TRGB> Ramp(int32_t count)
{
    std::vector<TRGB> colours;
    for (int32_t i = 0; i < count; ++i)
        colours.push_back(Korvaneproc::CreateRGB(uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)));
    return colours;
}

TColor FrontPixel(TKorvanePaletteDialog& dialog, int32_t x, int32_t y)
{
    return dialog.FrontImage()->Canvas()->Pixels(x, y);
}

} // namespace

TEST(PaletteDialog, LayoutCellsAndHighlight)
{
    TKorvanePaletteDialog dialog(nullptr);
    EXPECT_EQ(dialog.Caption(), "Palette");
    EXPECT_EQ(dialog.Width(), 520);
    EXPECT_EQ(dialog.Height(), 199);
    EXPECT_EQ(dialog.BorderStyle(), bsDialog);
    EXPECT_EQ(dialog.BorderIcons(), biSystemMenu);
    EXPECT_EQ(dialog.Position(), poScreenCenter);
    EXPECT_EQ(dialog.CancelButton()->Caption(), "&Cancel");
    EXPECT_EQ(dialog.CancelButton()->Left(), 4);
    EXPECT_EQ(dialog.CancelButton()->Top(), 136);
    EXPECT_TRUE(dialog.CancelButton()->Cancel());
    EXPECT_EQ(dialog.HighlightedIndex(), -1);

    const std::vector<TRGB> colours = Ramp(256);
    dialog.SetPalette(colours.data(), 256);
    dialog.Show();
    dialog.Repaint();
    // Entry 33 sits in column 1 of row 1: filled with its colour, outlined in white.
    EXPECT_EQ(FrontPixel(dialog, 17 + 7, 17 + 7), Korvaneproc::TRGB2TColor(colours[33]));
    EXPECT_EQ(FrontPixel(dialog, 17, 17), clWhite);
    EXPECT_EQ(FrontPixel(dialog, 31, 31), clWhite);
    EXPECT_EQ(FrontPixel(dialog, 32, 32), FrontPixel(dialog, 32 + 16, 32 + 16));
    EXPECT_EQ(FrontPixel(dialog, 511, 127), clWhite); // the last of 256 cells
    EXPECT_EQ(FrontPixel(dialog, 511 - 7, 127 - 7), Korvaneproc::TRGB2TColor(colours[255]));

    // The mouse: (x, y) -> highlighted index, with the previous highlight kept where no cell is.
    const struct
    {
        int32_t x, y, highlighted;
    } moves[] = {
        {0, 0, 0},       // the border left of and above the first cell belongs to it
        {24, 24, 33},    // column 1, row 1
        {515, 20, 33},   // right of column 31: not the next row's first cell
        {30, 150, 33},   // below the last row: past the palette
        {497, 127, 255}, // the last cell
        {1, 17, 32},
    };
    for (const auto& m : moves) {
        Simulate::MouseMove(&dialog, m.x, m.y);
        EXPECT_EQ(dialog.HighlightedIndex(), m.highlighted) << m.x << "," << m.y;
    }
    // Outlined in black while highlighted, white again after.
    EXPECT_EQ(FrontPixel(dialog, 1, 17), clBlack);
    EXPECT_EQ(FrontPixel(dialog, 15, 31), clBlack);
    EXPECT_EQ(FrontPixel(dialog, 497, 127), clWhite);
    dialog.Hide();

    // With 8 entries only the first row's first 8 cells are drawn.
    TKorvanePaletteDialog small(nullptr);
    const std::vector<TRGB> eight = Ramp(8);
    small.SetPalette(eight.data(), 8);
    small.Show();
    small.Repaint();
    EXPECT_EQ(small.FrontImage()->Canvas()->Pixels(7 * 16 + 8, 8), Korvaneproc::TRGB2TColor(eight[7]));
    EXPECT_EQ(small.FrontImage()->Canvas()->Pixels(8 * 16 + 8, 8), ColorToRGB(small.Color()));
    Simulate::MouseMove(&small, 8 * 16 + 8, 8);
    EXPECT_EQ(small.HighlightedIndex(), -1);
}

TEST(PaletteDialog, ClickChoosesTheHighlightedColourAndEscapeCancels)
{
    const std::vector<TRGB> colours = Ramp(40);
    TKorvanePaletteDialog dialog(nullptr);
    dialog.SetPalette(colours.data(), 40);

    // A click before any highlight chooses nothing; one after the mouse moved chooses its cell.
    bool chosen = false;
    WhenModal(
        dialog,
        [&] {
            Simulate::Click(&dialog, 40, 100);
            EXPECT_TRUE(dialog.Modal());
            Simulate::MouseMove(&dialog, 40, 20);
            Simulate::Click(&dialog, 40, 20);
        },
        [&] { chosen = dialog.Execute(); });
    EXPECT_TRUE(chosen);
    EXPECT_EQ(dialog.SelectedColor, Korvaneproc::TRGB2TColor(colours[34]));

    TKorvanePaletteDialog other(nullptr);
    other.SetPalette(colours.data(), 40);
    WhenModal(
        other, [&] { Simulate::Key(other.CancelButton(), VK_ESCAPE); }, [&] { chosen = other.Execute(); });
    EXPECT_FALSE(chosen);
}
