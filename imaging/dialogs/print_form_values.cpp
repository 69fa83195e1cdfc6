// Reading the print dialogs' controls into printing arguments, and rewriting their edits.
#include "imaging/dialogs/print_form_values.h"

#include "imaging/core/system_helpers.h"
#include "platform/core/strings.h"

namespace Kvprintforms {

namespace {

constexpr double kCentimetresPerInch = 2.54;
constexpr double kInchesPerCentimetre = 0.3937007874015748;

double ReadNumber(const std::string& Text, double Default)
{
    return double(Daduvudez::KVStrToFloatDef(Text, Default));
}

} // namespace

bool IsCentimetres(TKVDialogsMeasureUnit Unit)
{
    return Unit == kvduCm || Unit == kvduSelectableDefCm;
}

double UnitFactor(TKVDialogsMeasureUnit Unit)
{
    return IsCentimetres(Unit) ? kCentimetresPerInch : 1.0;
}

TKVVerticalPos VerticalPosOf(int32_t PositionButton)
{
    if (PositionButton >= 1 && PositionButton <= 3)
        return kvvpTOP;
    if (PositionButton >= 7 && PositionButton <= 9)
        return kvvpBOTTOM;
    return kvvpCENTER;
}

TKVHorizontalPos HorizontalPosOf(int32_t PositionButton)
{
    if (PositionButton == 1 || PositionButton == 4 || PositionButton == 7)
        return kvhpLEFT;
    if (PositionButton == 3 || PositionButton == 6 || PositionButton == 9)
        return kvhpRIGHT;
    return kvhpCENTER;
}

TKVSize SizeOf(int32_t SizeIndex)
{
    switch (SizeIndex) {
    case 0:
        return kvsNORMAL;
    case 2:
        return kvsFITTOPAGESTRETCH;
    case 3:
        return kvsSPECIFIEDSIZE;
    default:
        return kvsFITTOPAGE;
    }
}

TKVPrintValues ReadPrintValues(const TKVPrintFormTexts& Texts, TKVDialogsMeasureUnit Unit)
{
    const double factor = UnitFactor(Unit);
    TKVPrintValues values;
    values.MarginLeft = ReadNumber(Texts.MarginLeft, 0) / factor;
    values.MarginTop = ReadNumber(Texts.MarginTop, 0) / factor;
    values.MarginRight = ReadNumber(Texts.MarginRight, 0) / factor;
    values.MarginBottom = ReadNumber(Texts.MarginBottom, 0) / factor;
    values.VerticalPos = VerticalPosOf(Texts.PositionButton);
    values.HorizontalPos = HorizontalPosOf(Texts.PositionButton);
    values.Size = SizeOf(Texts.SizeIndex);
    values.Width = ReadNumber(Texts.Width, 1) / factor;
    values.Height = ReadNumber(Texts.Height, 1) / factor;
    values.Gamma = ReadNumber(Texts.Gamma, 1);
    return values;
}

std::string StepValue(const std::string& Text, double Step)
{
    const double value = ReadNumber(Text, 0) + Step;
    return FloatToStr(value > 0 ? value : 0.0);
}

std::string ConvertLength(const std::string& Text, double Factor, double Default)
{
    return FloatToStr(ReadNumber(Text, Default) * Factor);
}

double ConversionFactor(TKVDialogsMeasureUnit From, TKVDialogsMeasureUnit To)
{
    if (IsCentimetres(From) == IsCentimetres(To))
        return 1.0;
    return IsCentimetres(To) ? kCentimetresPerInch : kInchesPerCentimetre;
}

} // namespace Kvprintforms
