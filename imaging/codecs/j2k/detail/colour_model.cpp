// Tells the colour model of a JPEG 2000 picture from its colour box or its components.
#include "imaging/codecs/j2k/detail/colour_model.h"

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

} // namespace

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
