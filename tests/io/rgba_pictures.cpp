// Pictures as RGBA bytes, ours and a standard tool's, and their differences.
#include "tests/io/rgba_pictures.h"

#include "imaging/core/kvbitmap.h"
#include "tests/support/tools.h"

#include <algorithm>

namespace kviotest {

namespace {

// 16-bit samples cut to their high bytes, as our readers cut them, and as stored: no reader of ours
// turns a file whose gamma says linear light into sRGB.
RgbaBytes ImageMagickRgbaOf(const std::string& input)
{
    const std::string out = kvtest::ToolOutput(input + " -set colorspace sRGB -depth 16 -endian MSB rgba:-");
    RgbaBytes bytes(out.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = uint8_t(out[2 * i]);
    }
    return bytes;
}

} // namespace

RgbaBytes ImageMagickRgba(const std::string& file)
{
    return ImageMagickRgbaOf("/usr/bin/convert '" + file + "[0]'");
}

RgbaBytes ImageMagickCoalescedRgba(const std::string& file, const std::string& screen)
{
    const std::string cut = screen.empty() ? "" : " -crop " + screen + "+0+0 +repage";
    return ImageMagickRgbaOf("/usr/bin/convert '" + file + "' -coalesce" + cut);
}

RgbaBytes ToolRgba(const std::string& file)
{
    if (!file.ends_with(".pcx")) {
        return ImageMagickRgba(file);
    }
    return ImageMagickRgbaOf("pcxtoppm '" + file + "' | /usr/bin/convert ppm:-");
}

RgbaBytes LoadedRgba(TKVBitmap& bitmap)
{
    TKVBitmap* alpha = bitmap.GetHasAlphaChannel() ? bitmap.GetAlphaChannel() : nullptr;
    RgbaBytes out;
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
        for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
            const TRGB c = bitmap.GetPixels(x, y);
            out.insert(out.end(),
                       {c.r, c.g, c.b, alpha != nullptr ? alpha->GetScanLine(y)[x] : uint8_t(255)});
        }
    }
    return out;
}

int64_t Differences(const RgbaBytes& expected, const RgbaBytes& actual)
{
    if (expected.size() != actual.size()) {
        return -1;
    }
    int64_t count = 0;
    for (size_t i = 0; i + 3 < expected.size(); i += 4) {
        const bool sameAlpha = expected[i + 3] == actual[i + 3];
        const bool sameColour =
            expected[i + 3] == 0 || std::equal(&expected[i], &expected[i] + 3, &actual[i]);
        count += sameAlpha && sameColour ? 0 : 1;
    }
    return count;
}

} // namespace kviotest
