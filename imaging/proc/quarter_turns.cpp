// Lossless geometry: quarter and half turns and mirroring of bitmaps.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "imaging/proc/detail/turns.h"
#include "platform/graphics/bitmap.h"

#include <cstring>

namespace Korvaneproc {

using namespace detail;

namespace detail {

// Bytes a turn keeps in memory at once; a larger picture is turned in bands of destination rows,
// reading the source once per band.
constexpr uint64_t kTurnBandBytes = uint64_t(16) << 20;

void TurnPlane(Plane& src, Plane& dst, int32_t bits, bool clockwise)
{
    const int32_t w = src.width, h = src.height;
    const int32_t bytes = bits / 8;
    const size_t dstRowLen = static_cast<size_t>(dst.rowLen);
    const int32_t band = static_cast<int32_t>(
        std::clamp<uint64_t>(kTurnBandBytes / std::max<uint64_t>(dstRowLen, 1), 1, static_cast<uint64_t>(w)));
    std::vector<uint8_t> in = Scratch<uint8_t>(static_cast<uint64_t>(src.rowLen));
    std::vector<uint8_t> rows = Scratch<uint8_t>(uint64_t(dstRowLen) * band);
    for (int32_t y0 = 0; y0 < w; y0 += band) {
        const int32_t count = std::min(band, w - y0);
        std::fill(rows.begin(), rows.end(), 0);
        for (int32_t sy = 0; sy < h; ++sy) {
            std::memcpy(in.data(), src.row(sy), in.size());
            // Destination row y is source column y (clockwise, read upwards) or w-1-y.
            const int32_t dx = clockwise ? h - 1 - sy : sy;
            for (int32_t i = 0; i < count; ++i) {
                const int32_t y = y0 + i;
                const int32_t column = clockwise ? y : w - 1 - y;
                uint8_t* out = rows.data() + dstRowLen * i;
                if (bits == 1) {
                    if (BitAt(in.data(), column))
                        SetBitAt(out, dx, true);
                } else {
                    std::memcpy(out + static_cast<size_t>(dx) * bytes,
                                in.data() + static_cast<size_t>(column) * bytes, static_cast<size_t>(bytes));
                }
            }
        }
        for (int32_t i = 0; i < count; ++i)
            std::memcpy(dst.row(y0 + i), rows.data() + dstRowLen * i, dstRowLen);
    }
}

void MirrorRow(uint8_t* row, int32_t width, int32_t bits)
{
    if (bits == 1) {
        for (int32_t x = 0, y = width - 1; x < y; ++x, --y) {
            const bool a = BitAt(row, x), b = BitAt(row, y);
            SetBitAt(row, x, b);
            SetBitAt(row, y, a);
        }
        return;
    }
    const int32_t bytes = bits / 8;
    uint8_t pixel[8];
    for (int32_t x = 0, y = width - 1; x < y; ++x, --y) {
        uint8_t* a = row + static_cast<size_t>(x) * bytes;
        uint8_t* b = row + static_cast<size_t>(y) * bytes;
        std::memcpy(pixel, a, static_cast<size_t>(bytes));
        std::memcpy(a, b, static_cast<size_t>(bytes));
        std::memcpy(b, pixel, static_cast<size_t>(bytes));
    }
}

void MirrorPlane(Plane& plane, int32_t bits, bool horizontal, bool vertical)
{
    const size_t rowLen = static_cast<size_t>(plane.rowLen);
    std::vector<uint8_t> a(rowLen), b(rowLen);
    if (horizontal && !vertical) {
        for (int32_t y = 0; y < plane.height; ++y)
            MirrorRow(plane.row(y), plane.width, bits);
        return;
    }
    for (int32_t top = 0, bottom = plane.height - 1; top <= bottom; ++top, --bottom) {
        std::memcpy(a.data(), plane.row(top), rowLen);
        std::memcpy(b.data(), plane.row(bottom), rowLen);
        if (horizontal) {
            MirrorRow(a.data(), plane.width, bits);
            if (top != bottom)
                MirrorRow(b.data(), plane.width, bits);
        }
        std::memcpy(plane.row(top), b.data(), rowLen);
        if (top != bottom)
            std::memcpy(plane.row(bottom), a.data(), rowLen);
    }
}

int32_t BitsOf(TKVPixelFormat format)
{
    switch (format) {
    case kv1g:
        return 1;
    case kv8g:
    case kv8p:
        return 8;
    case kv24RGB:
        return 24;
    default:
        return 0;
    }
}

void QuarterTurn(TKVBitmap* Source, TKVBitmap* Dest, bool clockwise)
{
    const TKVPixelFormat format = Source->GetPixelFormat();
    const int32_t bits = BitsOf(format);
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    if (bits == 0 || w < 1 || h < 1 || Source == Dest)
        return;
    Dest->Allocate(h, w, format);
    if (format == kv8p)
        for (int32_t i = 0; i < 256; ++i)
            Dest->SetPalette(i, Source->GetPalette(i));
    Plane src = PlaneOf(Source);
    Plane dst = PlaneOf(Dest);
    TurnPlane(src, dst, bits, clockwise);
}

} // namespace detail

namespace {

bool IsFormat(TKVBitmap* bitmap, bool eightBit)
{
    if (!bitmap)
        return false;
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    return eightBit ? (format == kv8g || format == kv8p) : format == kv24RGB;
}

void TurnTBitmap(TBitmap* Source, TBitmap* Dest, bool clockwise)
{
    if (!Source || !Dest || Source == Dest || Source->PixelFormat() != pf24bit)
        return;
    TKVBitmap source;
    source.EncapsulateTBitmap(Source, false);
    TKVBitmap dest;
    dest.EncapsulateTBitmap(Dest, false);
    QuarterTurn(&source, &dest, clockwise);
}

} // namespace

void _Rot90oEx(TKVBitmap* Source, TKVBitmap* Dest)
{
    if (IsFormat(Source, false) && Dest)
        QuarterTurn(Source, Dest, true);
}

void _Rot90oEx8(TKVBitmap* Source, TKVBitmap* Dest)
{
    if (IsFormat(Source, true) && Dest)
        QuarterTurn(Source, Dest, true);
}

void _Rot90Ex(TKVBitmap* Source, TKVBitmap* Dest)
{
    if (IsFormat(Source, false) && Dest)
        QuarterTurn(Source, Dest, false);
}

void _Rot90Ex8(TKVBitmap* Source, TKVBitmap* Dest)
{
    if (IsFormat(Source, true) && Dest)
        QuarterTurn(Source, Dest, false);
}

void _Rot90o(TBitmap* Source, TBitmap* Dest)
{
    TurnTBitmap(Source, Dest, true);
}

void _Rot90(TBitmap* Source, TBitmap* Dest)
{
    TurnTBitmap(Source, Dest, false);
}

void _FlipEx(TKVBitmap* Bitmap, TFlipDir Dir)
{
    if (!Bitmap)
        return;
    const TKVPixelFormat format = Bitmap->GetPixelFormat();
    if ((format != kv24RGB && format != kv1g) || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return;
    const bool horizontal = Dir == fdHorizontal;
    Plane plane = PlaneOf(Bitmap);
    MirrorPlane(plane, BitsOf(format), horizontal, !horizontal);
    // The alpha channel is mirrored with the pixels it belongs to.
    if (Bitmap->GetHasAlphaChannel()) {
        TKVBitmap* alpha = Bitmap->GetAlphaChannel();
        if (alpha->GetWidth() == Bitmap->GetWidth() && alpha->GetHeight() == Bitmap->GetHeight()) {
            Plane alphaPlane = PlaneOf(alpha);
            MirrorPlane(alphaPlane, 8, horizontal, !horizontal);
        }
    }
}

} // namespace Korvaneproc
