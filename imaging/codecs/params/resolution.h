// Dots per inch from the resolutions that files carry in other units: every reader rounds them the
// same way, to the nearest whole dot (ties to even), so one resolution reads as one number.
#pragma once

#include <cstdint>

enum class TResolutionUnit
{
    Inch,
    Centimetre,
    Metre
};

int32_t DotsPerInch(double Value, TResolutionUnit Unit);
