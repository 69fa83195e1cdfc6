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
// colour space (CIELab, CMYK, e-sYCC, ...), a profile of another one, or a method of its own.
// Without a colour box, one or two components are grey and three or more RGB, unless the second
// and third are sampled more coarsely than the first, untransformed: then they are chroma.
bool ColourModelOf(const TDeclaredLayout& layout, TColourModel& model);

} // namespace Kvj2000::detail
