// Conversions between RGB and the HSL, HSV and CIE L*a*b* colour spaces.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>

// L 0..255 standing for 0..100; a and b signed.
struct TKVLAB
{
    uint8_t L = 0;
    int8_t a = 0;
    int8_t b = 0;
    friend bool operator==(const TKVLAB&, const TKVLAB&) = default;
};

namespace Korvaneproc {

// H, S and L each in 0..1.
void RGB2HSL(const TRGB& colour, double& H, double& S, double& L);
void HSL2RGB(TRGB& colour, double H, double S, double L);
// H in 0..359, S and V in 0..99, in integer arithmetic.
void RGB2HSV(const TRGB& colour, int32_t& H, int32_t& S, int32_t& V);
void HSV2RGB(TRGB& colour, int32_t H, int32_t S, int32_t V);

} // namespace Korvaneproc

namespace Daduvudez {

// Without white-point normalisation: white is not L = 255, a = b = 0. Processing depends on
// these exact values, so they stay as they are.
TKVLAB KVRGB2CIELAB(const TRGB& colour);
TRGB KVCIELAB2RGB(const TKVLAB& lab);

} // namespace Daduvudez
