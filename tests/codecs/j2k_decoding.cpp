// Pictures and boxes that the JPEG 2000 tests make, and their comparison with opj_decompress.
#include "tests/codecs/j2k_decoding.h"

#include <algorithm>
#include <cstdlib>

namespace kvtest {

namespace {

void Put32(std::string& bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = char(value >> (24 - 8 * i));
    }
}

uint32_t Get32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

// Raw planes for opj_compress -F: luma, then blue and red chroma. Smooth and within range, so that
// colours stay in RGB.
std::string YccPlanes(int32_t width, int32_t height, int32_t stepAcross, int32_t stepDown)
{
    const int32_t chromaWidth = (width + stepAcross - 1) / stepAcross;
    const int32_t chromaHeight = (height + stepDown - 1) / stepDown;
    std::string planes;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            planes += char(60 + (x * 3 + y * 5) % 120);
        }
    }
    for (int32_t plane = 0; plane < 2; ++plane) {
        for (int32_t y = 0; y < chromaHeight; ++y) {
            for (int32_t x = 0; x < chromaWidth; ++x) {
                planes += char(100 + (plane == 0 ? x * 7 + y : y * 3 + x * 2) % 56);
            }
        }
    }
    return planes;
}

} // namespace

std::string CompressPlanes(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                           int32_t stepAcross, int32_t stepDown, int32_t x0, int32_t y0,
                           const std::string& options)
{
    const std::string raw = folder.Write(name + ".raw", YccPlanes(width, height, stepAcross, stepDown));
    const std::string steps = std::to_string(stepAcross) + "x" + std::to_string(stepDown);
    const std::string file = folder.File(name);
    const std::string command = "opj_compress -i " + raw + " -o " + file + " -F " + std::to_string(width) +
                                "," + std::to_string(height) + ",3,8,u@1x1:" + steps + ":" + steps + " -d " +
                                std::to_string(x0) + "," + std::to_string(y0) + " " + options;
    return ToolOutput(command).empty() ? std::string() : TempFolder::Read(file);
}

TPnmImage OpjDecompressed(const TempFolder& folder, const std::string& name, const std::string& bytes)
{
    const std::string file = folder.Write(name, bytes), decoded = folder.File(name + ".ppm");
    if (ToolOutput("opj_decompress -upsample -i " + file + " -o " + decoded).empty()) {
        return {};
    }
    return ParsePnm(TempFolder::Read(decoded));
}

int32_t MaxDifferenceWithin(const TPnmImage& theirs, TKVBitmap& bitmap, int32_t fromX, int32_t fromY,
                            int32_t toX, int32_t toY)
{
    const TPnmImage ours = BitmapSamples(bitmap);
    if (ours.Width != theirs.Width || ours.Height != theirs.Height) {
        return -1;
    }
    int32_t most = 0;
    for (int32_t y = fromY; y < toY; ++y) {
        for (int32_t x = fromX; x < toX; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t theirSample = theirs.At(x, y, theirs.Channels == 3 ? c : 0);
                most = std::max(most, std::abs(theirSample - int32_t(ours.At(x, y, c))));
            }
        }
    }
    return most;
}

std::string WithColourBox(const std::string& jp2, const std::string& contents)
{
    const size_t header = jp2.find("jp2h") - 4, colour = jp2.find("colr") - 4;
    const uint32_t oldLength = Get32(jp2, colour);
    std::string file = jp2.substr(0, colour) + J2kBox("colr", contents) + jp2.substr(colour + oldLength);
    Put32(file, header, Get32(jp2, header) - oldLength + 8 + uint32_t(contents.size()));
    return file;
}

std::string WithHeaderBoxes(const std::string& jp2, const std::string& boxes)
{
    const size_t header = jp2.find("jp2h") - 4;
    const uint32_t length = Get32(jp2, header);
    std::string file = jp2.substr(0, header + length) + boxes + jp2.substr(header + length);
    Put32(file, header, length + uint32_t(boxes.size()));
    return file;
}

std::string J2kColourChannels()
{
    std::string contents = {0, 3};
    for (char channel = 0; channel < 3; ++channel) {
        contents += {0, channel, 0, 0, 0, char(channel + 1)};
    }
    return J2kBox("cdef", contents);
}

std::string J2kBox(const char (&type)[5], const std::string& contents)
{
    std::string box(4, '\0');
    Put32(box, 0, uint32_t(8 + contents.size()));
    return box + type + contents;
}

} // namespace kvtest
