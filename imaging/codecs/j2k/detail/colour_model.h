// The colour model of a JPEG 2000 picture: what its JP2 colour box names, or what the components
// of a bare code stream show; and the channels that a JP2 file's palette, component mapping and
// channel definitions make of its components.
#pragma once

#include "imaging/codecs/j2k/detail/declared_layout.h"

#include <cstdint>
#include <vector>

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

// A channel of the picture: the component it comes from, directly or through a palette column;
// its precision in bits, the column's through a palette; and its type as the channel definitions
// give it (0 colour, 1 or 2 opacity, 65535 unspecified; colour without them).
struct TPictureChannel
{
    uint32_t Source = 0;
    uint32_t Precision = 0;
    uint16_t Type = 0;
};

// The picture's channels in the order in which the library gives them once it has applied a JP2
// file's palette and channel definitions, which put each colour channel where its association
// says; without those boxes, the components as they are. False when the boxes do not fit the
// components, which the library finds only once it has decoded the picture: a mapping of a
// component that is not there, of a palette column twice or to another column, a channel or an
// association past the channels, or channel definitions that leave a channel out; and a channel
// taken directly from a component sampled unlike the first channel's, past whose samples the
// library would copy.
bool ChannelsOf(const TDeclaredLayout& layout, std::vector<TPictureChannel>& channels);

} // namespace Kvj2000::detail
