// Tells the colour model of a JPEG 2000 picture from its colour box or its components.
#include "imaging/codecs/j2k/detail/colour_model.h"

#include <algorithm>
#include <utility>

namespace Kvj2000::detail {

namespace {

constexpr uint32_t EnumeratedMethod = 1;
constexpr uint32_t ProfileMethod = 2;
constexpr uint32_t AnyProfileMethod = 3;

constexpr uint32_t Signature(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint8_t(text[3]);
}

bool EnumeratedModel(uint32_t colourSpace, TColourModel& model)
{
    switch (colourSpace) {
    case 16: // sRGB
        model = TColourModel::RGB;
        return true;
    case 17: // greyscale
        model = TColourModel::Grey;
        return true;
    case 18: // sYCC
        model = TColourModel::YCbCr;
        return true;
    default:
        return false;
    }
}

// The enumerated colour spaces that the standards of JP2 files and their extensions define
// besides those three: bi-level, the YCbCr spaces, PhotoYCC, CMY, CMYK, YCCK, CIELab, CIEJab,
// e-sRGB, ROMM-RGB, the YPbPr spaces and e-sYCC. Value 0, bi-level there, is what OpenJPEG's own
// encoder writes for colours it does not know, and names nothing.
bool NamedElsewhere(uint32_t colourSpace)
{
    switch (colourSpace) {
    case 1:
    case 3:
    case 4:
    case 9:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
    case 24:
        return true;
    default:
        return false;
    }
}

bool ProfileModel(uint32_t colourSpace, TColourModel& model)
{
    switch (colourSpace) {
    case Signature("RGB "):
        model = TColourModel::RGB;
        return true;
    case Signature("GRAY"):
        model = TColourModel::Grey;
        return true;
    case Signature("YCbr"):
        model = TColourModel::YCbCr;
        return true;
    default:
        return false;
    }
}

// Sampled at most as finely as the first component, and more coarsely along one axis at least.
bool Coarser(const std::pair<uint8_t, uint8_t>& steps, const std::pair<uint8_t, uint8_t>& first)
{
    return steps.first >= first.first && steps.second >= first.second && steps != first;
}

TColourModel ComponentsModel(const TDeclaredLayout& layout)
{
    const auto& steps = layout.Steps;
    if (steps.size() < 3) {
        return TColourModel::Grey;
    }
    const bool chroma = steps.size() == 3 && steps[0].first == steps[0].second &&
                        !layout.ComponentTransform && Coarser(steps[1], steps[0]) &&
                        Coarser(steps[2], steps[0]);
    return chroma ? TColourModel::YCbCr : TColourModel::RGB;
}

// The channels of a palette, column after column, each mapped from its component directly or
// through the column, as the library checks them. The library copies as many samples into a
// channel taken directly as the first channel's component has: one taken from a component sampled
// otherwise would be read and written past its buffers, and is refused too.
bool PaletteChannels(const TDeclaredLayout& layout, std::vector<TPictureChannel>& channels)
{
    const size_t columns = layout.PalettePrecisions.size();
    const std::vector<TComponentMapping>& mappings = layout.ComponentMappings;
    if (columns == 0 || mappings.size() < columns || mappings[0].Component >= layout.Steps.size()) {
        return false;
    }
    const auto firstSteps = layout.Steps[mappings[0].Component];
    std::vector<bool> mapped(columns);
    for (size_t i = 0; i < columns; ++i) {
        const TComponentMapping& m = mappings[i];
        const bool direct = m.Type == 0 && m.Column == 0;
        const bool throughColumn = m.Type == 1 && m.Column == i && !mapped[i];
        if (m.Component >= layout.Steps.size() || !(direct || throughColumn) ||
            (direct && layout.Steps[m.Component] != firstSteps)) {
            return false;
        }
        mapped[m.Column] = true;
        channels.push_back({m.Component, layout.PalettePrecisions[i], 0});
    }
    for (size_t i = 0; i < columns; ++i) {
        if (!mapped[i] && mappings[i].Type != 0) {
            return false;
        }
    }
    return true;
}

// The channel definitions give a type to each channel, and move each colour channel to the place
// of its colour, one after another, swapping it with the channel there, which keeps its type.
bool DefineChannels(const TDeclaredLayout& layout, std::vector<TPictureChannel>& channels)
{
    constexpr uint16_t None = 65535;
    std::vector<TChannelDefinition> definitions = layout.ChannelDefinitions;
    const size_t count = channels.size();
    std::vector<bool> defined(count);
    for (const TChannelDefinition& d : definitions) {
        if (d.Channel >= count || (d.Association != None && d.Association > count)) {
            return false;
        }
        defined[d.Channel] = true;
    }
    if (std::find(defined.begin(), defined.end(), false) != defined.end()) {
        return false;
    }
    for (size_t i = 0; i < definitions.size(); ++i) {
        const TChannelDefinition& d = definitions[i];
        const uint16_t channel = d.Channel;
        if (d.Association != 0 && d.Association != None && d.Type == 0 && channel != d.Association - 1) {
            const uint16_t place = uint16_t(d.Association - 1);
            std::swap(channels[channel], channels[place]);
            for (size_t j = i + 1; j < definitions.size(); ++j) {
                uint16_t& later = definitions[j].Channel;
                later = later == channel ? place : later == place ? channel : later;
            }
        }
        channels[channel].Type = d.Type;
    }
    return true;
}

} // namespace

bool ChannelsOf(const TDeclaredLayout& layout, std::vector<TPictureChannel>& channels)
{
    channels.clear();
    if (layout.Palette) {
        if (!PaletteChannels(layout, channels)) {
            return false;
        }
    } else {
        for (uint32_t c = 0; c < layout.Steps.size(); ++c) {
            channels.push_back({c, layout.Precisions[c], 0});
        }
    }
    return !layout.ChannelDefinitionBox || DefineChannels(layout, channels);
}

bool ColourModelOf(const TDeclaredLayout& layout, TColourModel& model)
{
    model = ComponentsModel(layout);
    switch (layout.ColourMethod) {
    case EnumeratedMethod:
        return EnumeratedModel(layout.EnumeratedColourSpace, model) ||
               !NamedElsewhere(layout.EnumeratedColourSpace);
    case ProfileMethod:
    case AnyProfileMethod:
        return layout.ProfileColourSpace == 0 || ProfileModel(layout.ProfileColourSpace, model);
    default:
        return true;
    }
}

} // namespace Kvj2000::detail
