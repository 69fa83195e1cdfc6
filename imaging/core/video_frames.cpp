// Video frames in the YUV layouts that AVI codecs deliver, converted to 24-bit rows.
#include "imaging/core/video_frames.h"

#include "imaging/core/pixel_helpers.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Korvaneproc {
namespace {

// Up to eight pixels share the chroma samples of a packed group.
struct TGroupSamples
{
    int32_t y[8];
    int32_t u[8];
    int32_t v[8];
};

using TGroupDecoder = void (*)(const uint8_t* g, TGroupSamples& s);

struct TPackedLayout
{
    uint32_t compression;
    int32_t groupBytes;
    int32_t groupPixels;
    int32_t bitsPerPixel; // sets the row stride, DWORD-aligned as in every DIB
    TGroupDecoder decode;
};

void Shared(TGroupSamples& s, int32_t from, int32_t count, int32_t u, int32_t v)
{
    for (int32_t i = from; i < from + count; ++i) {
        s.u[i] = u;
        s.v[i] = v;
    }
}

void DecodeYUY2(const uint8_t* g, TGroupSamples& s)
{
    s.y[0] = g[0];
    s.y[1] = g[2];
    Shared(s, 0, 2, g[1], g[3]);
}

void DecodeUYVY(const uint8_t* g, TGroupSamples& s)
{
    s.y[0] = g[1];
    s.y[1] = g[3];
    Shared(s, 0, 2, g[0], g[2]);
}

void DecodeYVYU(const uint8_t* g, TGroupSamples& s)
{
    s.y[0] = g[0];
    s.y[1] = g[2];
    Shared(s, 0, 2, g[3], g[1]);
}

void DecodeIYU1(const uint8_t* g, TGroupSamples& s)
{
    s.y[0] = g[1];
    s.y[1] = g[2];
    s.y[2] = g[4];
    s.y[3] = g[5];
    Shared(s, 0, 4, g[0], g[3]);
}

void DecodeIYU2(const uint8_t* g, TGroupSamples& s)
{
    s.y[0] = g[1];
    Shared(s, 0, 1, g[0], g[2]);
}

void DecodeY41P(const uint8_t* g, TGroupSamples& s)
{
    const int32_t luma[8] = {g[1], g[3], g[5], g[7], g[8], g[9], g[10], g[11]};
    std::copy(luma, luma + 8, s.y);
    Shared(s, 0, 4, g[0], g[2]);
    Shared(s, 4, 4, g[4], g[6]);
}

void DecodeY211(const uint8_t* g, TGroupSamples& s)
{
    s.y[0] = s.y[1] = g[0];
    s.y[2] = s.y[3] = g[2];
    Shared(s, 0, 4, g[1], g[3]);
}

// Cirrus Logic's 5-bit luma and 6-bit chroma fields, brought up to 8 bits.
void DecodeCLJR(const uint8_t* g, TGroupSamples& s)
{
    const uint32_t word = uint32_t(g[0]) | uint32_t(g[1]) << 8 | uint32_t(g[2]) << 16 | uint32_t(g[3]) << 24;
    for (int32_t i = 0; i < 4; ++i)
        s.y[i] = int32_t((word >> (12 + 5 * i)) & 31) << 3;
    Shared(s, 0, 4, int32_t((word >> 6) & 63) << 2, int32_t(word & 63) << 2);
}

constexpr TPackedLayout kPackedLayouts[] = {
    {KVFourCC('Y', 'U', 'Y', '2'), 4, 2, 16, DecodeYUY2},
    {KVFourCC('Y', 'U', 'N', 'V'), 4, 2, 16, DecodeYUY2},
    {KVFourCC('U', 'Y', 'V', 'Y'), 4, 2, 16, DecodeUYVY},
    {KVFourCC('U', 'Y', 'N', 'V'), 4, 2, 16, DecodeUYVY},
    {KVFourCC('c', 'y', 'u', 'v'), 4, 2, 16, DecodeUYVY},
    {KVFourCC('Y', 'V', 'Y', 'U'), 4, 2, 16, DecodeYVYU},
    {KVFourCC('I', 'Y', 'U', '1'), 6, 4, 12, DecodeIYU1},
    {KVFourCC('I', 'Y', 'U', '2'), 3, 1, 24, DecodeIYU2},
    {KVFourCC('Y', '4', '1', 'P'), 12, 8, 12, DecodeY41P},
    {KVFourCC('Y', '2', '1', '1'), 4, 4, 8, DecodeY211},
    {KVFourCC('C', 'L', 'J', 'R'), 4, 4, 8, DecodeCLJR},
};

struct TPlanarLayout
{
    uint32_t compression;
    int32_t subsampling; // each chroma sample serves subsampling x subsampling pixels
    bool uFirst;
};

constexpr TPlanarLayout kPlanarLayouts[] = {
    {KVFourCC('Y', 'V', '1', '2'), 2, false},
    {KVFourCC('I', '4', '2', '0'), 2, true},
    {KVFourCC('I', 'Y', 'U', 'V'), 2, true},
    {KVFourCC('Y', 'V', 'U', '9'), 4, false},
};

const TPackedLayout* FindPacked(uint32_t compression)
{
    for (const TPackedLayout& layout : kPackedLayouts)
        if (layout.compression == compression)
            return &layout;
    return nullptr;
}

const TPlanarLayout* FindPlanar(uint32_t compression)
{
    for (const TPlanarLayout& layout : kPlanarLayouts)
        if (layout.compression == compression)
            return &layout;
    return nullptr;
}

int64_t PackedStride(const TPackedLayout& layout, int64_t width)
{
    return (width * layout.bitsPerPixel + 31) / 32 * 4;
}

// Chroma planes of odd-sized frames hold a sample for the partial block at the edge as well.
int64_t ChromaSide(int64_t side, int32_t subsampling)
{
    return (side + subsampling - 1) / subsampling;
}

void WritePixel(uint8_t* row, int32_t x, int32_t Y, int32_t U, int32_t V)
{
    TRGB rgb;
    YUV2RGB(Y, U, V, rgb);
    std::memcpy(row + 3 * int64_t(x), &rgb, 3);
}

void ConvertPackedRow(const TPackedLayout& layout, const uint8_t* source, int64_t stride, int32_t width,
                      uint8_t* row)
{
    TGroupSamples samples{};
    int32_t x = 0;
    for (int64_t offset = 0; x < width; offset += layout.groupBytes) {
        const int32_t pixels = std::min(layout.groupPixels, width - x);
        // A partial group at the row's end is read when its bytes lie within the row, else zeroed.
        if (offset + layout.groupBytes > stride) {
            std::memset(row + 3 * int64_t(x), 0, 3 * size_t(width - x));
            return;
        }
        layout.decode(source + offset, samples);
        for (int32_t i = 0; i < pixels; ++i)
            WritePixel(row, x + i, samples.y[i], samples.u[i], samples.v[i]);
        x += pixels;
    }
}

} // namespace

void YUV2RGB(int32_t Y, int32_t U, int32_t V, TRGB& rgb)
{
    const double y = 1.164 * (Y - 16);
    const double u = U - 128;
    const double v = V - 128;
    rgb.b = blimit(Round(y + 2.018 * u));
    rgb.g = blimit(Round(y - 0.813 * v - 0.391 * u));
    rgb.r = blimit(Round(y + 1.596 * v));
}

bool IsYUVCompression(uint32_t compression)
{
    return FindPacked(compression) != nullptr || FindPlanar(compression) != nullptr;
}

int64_t YUVFrameSize(uint32_t compression, int32_t width, int32_t height)
{
    const int64_t w = width;
    const int64_t h = height < 0 ? -int64_t(height) : height;
    if (w <= 0 || h <= 0)
        return -1;
    // Sides up to 2^31 make products past 64 bits: such a frame is larger than any block.
    int64_t size = 0;
    if (const TPackedLayout* packed = FindPacked(compression)) {
        if (__builtin_mul_overflow(PackedStride(*packed, w), h, &size))
            return INT64_MAX;
        return size;
    }
    if (const TPlanarLayout* planar = FindPlanar(compression)) {
        int64_t chroma = 0;
        if (__builtin_mul_overflow(w, h, &size) ||
            __builtin_mul_overflow(ChromaSide(w, planar->subsampling), ChromaSide(h, planar->subsampling),
                                   &chroma) ||
            __builtin_mul_overflow(chroma, int64_t(2), &chroma) ||
            __builtin_add_overflow(size, chroma, &size))
            return INT64_MAX;
        return size;
    }
    return -1;
}

bool ConvertYUVFrame(uint32_t compression, int32_t width, int32_t height, const uint8_t* bits,
                     size_t bitsSize, const std::function<uint8_t*(int32_t y)>& row)
{
    const int64_t frameSize = YUVFrameSize(compression, width, height);
    if (frameSize < 0 || bits == nullptr || uint64_t(frameSize) > bitsSize)
        return false;
    const int32_t rows = height < 0 ? -height : height;
    auto destRow = [&](int32_t frameRow) { return row(height < 0 ? rows - 1 - frameRow : frameRow); };

    if (const TPackedLayout* packed = FindPacked(compression)) {
        const int64_t stride = PackedStride(*packed, width);
        for (int32_t k = 0; k < rows; ++k)
            ConvertPackedRow(*packed, bits + k * stride, stride, width, destRow(k));
        return true;
    }
    const TPlanarLayout& planar = *FindPlanar(compression);
    const int32_t sub = planar.subsampling;
    const int64_t chromaWidth = ChromaSide(width, sub);
    const int64_t chromaPlane = chromaWidth * ChromaSide(rows, sub);
    const uint8_t* lumaPlane = bits;
    const uint8_t* firstChroma = bits + int64_t(width) * rows;
    const uint8_t* uPlane = planar.uFirst ? firstChroma : firstChroma + chromaPlane;
    const uint8_t* vPlane = planar.uFirst ? firstChroma + chromaPlane : firstChroma;
    for (int32_t k = 0; k < rows; ++k) {
        uint8_t* out = destRow(k);
        const uint8_t* luma = lumaPlane + int64_t(k) * width;
        const int64_t chromaRow = (k / sub) * chromaWidth;
        for (int32_t x = 0; x < width; ++x)
            WritePixel(out, x, luma[x], uPlane[chromaRow + x / sub], vPlane[chromaRow + x / sub]);
    }
    return true;
}

} // namespace Korvaneproc
