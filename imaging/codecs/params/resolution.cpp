// Dots per inch from resolutions in inches, centimetres or metres.
#include "imaging/codecs/params/resolution.h"

#include "platform/core/rounding.h"

int32_t DotsPerInch(double Value, TResolutionUnit Unit)
{
    // An inch is 2.54 cm exactly: multiplying by 254 first keeps a whole number of dots per
    // centimetre or metre exact, so a resolution half way between two (25 dots per centimetre,
    // 63.5 dpi) rounds to even as a tie should, not by the error of 2.54 in binary.
    const long double value = Value;
    switch (Unit) {
    case TResolutionUnit::Centimetre:
        return Round(value * 254 / 100);
    case TResolutionUnit::Metre:
        return Round(value * 254 / 10000);
    case TResolutionUnit::Inch:
        break;
    }
    return Round(value);
}
