// The colour model of a JPEG 2000 picture: what its JP2 colour box names, or what the components
// of a bare code stream show.
#pragma once

#include "imaging/codecs/j2k/detail/declared_layout.h"

namespace Kvj2000::detail {

enum class TColourModel
{
    Grey,
    RGB,
    YCbCr
};

// The model of the picture, false when it is none of the three: a colour box that names another
// colour space that the standards define (CIELab, CMYK, e-sYCC, ...), or holds a profile of
// another one. A box that names nothing (a method of its own, a space no standard defines, a
// profile too short or malformed to have a header) is read as if absent. Without a colour box,
// one or two components are grey and more RGB; exactly three, the first sampled alike across and
// down and the second and third more coarsely, untransformed, are luma and chroma.
bool ColourModelOf(const TDeclaredLayout& layout, TColourModel& model);

} // namespace Kvj2000::detail
