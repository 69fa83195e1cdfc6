// What the print dialogs read from their controls: margins, size and gamma typed in inches or
// centimetres, the position chosen in the 3 x 3 button group and the size mode, turned into the
// arguments of the printing calls; and the steps and unit switches that rewrite the edits.
#pragma once

#include "imaging/io/korvaneio.h"

#include <cstdint>
#include <string>

namespace Kvprintforms {

// The texts and choices of the controls as the forms hold them.
struct TKVPrintFormTexts
{
    std::string MarginLeft = "1";
    std::string MarginTop = "1";
    std::string MarginRight = "1";
    std::string MarginBottom = "1";
    // 1 .. 9: the button that is down, row by row from the top left; 0 when none is.
    int32_t PositionButton = 5;
    // The size-mode list's item: "Normal", "Fit to page", "Stretch to page", "Specified size".
    int32_t SizeIndex = 1;
    std::string Width = "6";
    std::string Height = "4";
    std::string Gamma = "1";
};

// The arguments of PrintImage and PreviewPrintImage; lengths in inches.
struct TKVPrintValues
{
    double MarginLeft = 0;
    double MarginTop = 0;
    double MarginRight = 0;
    double MarginBottom = 0;
    TKVVerticalPos VerticalPos = kvvpCENTER;
    TKVHorizontalPos HorizontalPos = kvhpCENTER;
    TKVSize Size = kvsFITTOPAGE;
    double Width = 1;
    double Height = 1;
    double Gamma = 1;
};

// Whether lengths are typed in centimetres.
bool IsCentimetres(TKVDialogsMeasureUnit Unit);
// Length units per inch: 2.54 for centimetres, else 1.
double UnitFactor(TKVDialogsMeasureUnit Unit);

TKVVerticalPos VerticalPosOf(int32_t PositionButton);
TKVHorizontalPos HorizontalPosOf(int32_t PositionButton);
// Fit to page for an index outside the list.
TKVSize SizeOf(int32_t SizeIndex);

// The texts as printing arguments: margins that are no number count as 0, a width or height
// that is none as 1 (both before the unit is taken off), a gamma that is none as 1.
TKVPrintValues ReadPrintValues(const TKVPrintFormTexts& Texts, TKVDialogsMeasureUnit Unit);

// One click of an up-down: the number in Text moved by Step (negative: down), never below 0,
// written back as FloatToStr does. Text that is no number counts as 0.
std::string StepValue(const std::string& Text, double Step);
// Steps per click: margins, width and height move by a hundredth, gamma by a tenth.
constexpr double kLengthStep = 0.01;
constexpr double kGammaStep = 0.1;

// A length rewritten in the other unit: Text times Factor (2.54 from inches to centimetres,
// 1 / 2.54 back). Text that is no number is read as Default, as printing reads it, so that the
// printed length stays the same.
std::string ConvertLength(const std::string& Text, double Factor, double Default);
// The factor that takes lengths from one unit to the other: 1 when both are the same kind.
double ConversionFactor(TKVDialogsMeasureUnit From, TKVDialogsMeasureUnit To);

} // namespace Kvprintforms
