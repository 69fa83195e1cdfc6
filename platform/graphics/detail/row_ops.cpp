// Row kernels, specialised per pixel format and per common raster operation.
#include "platform/graphics/detail/row_ops.h"

#include <cstring>

#include "platform/graphics/detail/pixels.h"

namespace GraphicsDetail {

void GatherValues(TPixelFormat format, const uint8_t* row, const int32_t* xs, size_t n, uint32_t* out)
{
    switch (format) {
    case pf8bit:
        for (size_t i = 0; i < n; ++i) {
            out[i] = row[xs[i]];
        }
        break;
    case pf24bit:
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* p = row + 3 * ptrdiff_t(xs[i]);
            out[i] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
        }
        break;
    case pf32bit:
    case pfDevice:
        for (size_t i = 0; i < n; ++i) {
            uint32_t v;
            std::memcpy(&v, row + 4 * ptrdiff_t(xs[i]), 4);
            out[i] = v;
        }
        break;
    default:
        for (size_t i = 0; i < n; ++i) {
            out[i] = ReadValue(format, row, xs[i]);
        }
        break;
    }
}

void ScatterValues(TPixelFormat format, uint8_t* row, const int32_t* xs, size_t n, const uint32_t* values,
                   const uint8_t* skip)
{
    if (skip) {
        for (size_t i = 0; i < n; ++i) {
            if (!skip[i]) {
                WriteValue(format, row, xs[i], values[i]);
            }
        }
        return;
    }
    switch (format) {
    case pf8bit:
        for (size_t i = 0; i < n; ++i) {
            row[xs[i]] = uint8_t(values[i]);
        }
        break;
    case pf24bit:
        for (size_t i = 0; i < n; ++i) {
            uint8_t* p = row + 3 * ptrdiff_t(xs[i]);
            p[0] = uint8_t(values[i]);
            p[1] = uint8_t(values[i] >> 8);
            p[2] = uint8_t(values[i] >> 16);
        }
        break;
    case pf32bit:
    case pfDevice:
        for (size_t i = 0; i < n; ++i) {
            std::memcpy(row + 4 * ptrdiff_t(xs[i]), &values[i], 4);
        }
        break;
    default:
        for (size_t i = 0; i < n; ++i) {
            WriteValue(format, row, xs[i], values[i]);
        }
        break;
    }
}

namespace {

template <class T, class Op> void Combine(const T* p, const T* s, T* d, size_t n, Op op)
{
    for (size_t i = 0; i < n; ++i) {
        d[i] = op(p ? p[i] : T(0), s ? s[i] : T(0), d[i]);
    }
}

// The common operations get loops of their own; the rest evaluate the truth table.
template <class T> void CombineBy(uint8_t table, const T* p, const T* s, T* d, size_t n)
{
    switch (table) {
    case 0xCC:
        Combine(p, s, d, n, [](T, T sv, T) { return sv; });
        break;
    case 0x66:
        Combine(p, s, d, n, [](T, T sv, T dv) { return T(sv ^ dv); });
        break;
    case 0x88:
        Combine(p, s, d, n, [](T, T sv, T dv) { return T(sv & dv); });
        break;
    case 0xEE:
        Combine(p, s, d, n, [](T, T sv, T dv) { return T(sv | dv); });
        break;
    case 0x44:
        Combine(p, s, d, n, [](T, T sv, T dv) { return T(sv & ~dv); });
        break;
    case 0x33:
        Combine(p, s, d, n, [](T, T sv, T) { return T(~sv); });
        break;
    case 0xF0:
        Combine(p, s, d, n, [](T pv, T, T) { return pv; });
        break;
    case 0x5A:
        Combine(p, s, d, n, [](T pv, T, T dv) { return T(pv ^ dv); });
        break;
    case 0x55:
        Combine(p, s, d, n, [](T, T, T dv) { return T(~dv); });
        break;
    default:
        Combine(p, s, d, n, [table](T pv, T sv, T dv) { return T(ApplyRop3(table, pv, sv, dv)); });
        break;
    }
}

} // namespace

void CombineValues(uint8_t table, const uint32_t* p, const uint32_t* s, uint32_t* d, size_t n, uint32_t mask)
{
    CombineBy<uint32_t>(table, p, s, d, n);
    if (mask != 0xFFFFFFFFu) {
        for (size_t i = 0; i < n; ++i) {
            d[i] &= mask;
        }
    }
}

void CombineBytes(uint8_t table, const uint8_t* p, const uint8_t* s, uint8_t* d, size_t n)
{
    if (table == 0xCC && s) {
        std::memmove(d, s, n);
        return;
    }
    CombineBy<uint8_t>(table, p, s, d, n);
}

void FillValues(TPixelFormat format, uint8_t* row, int32_t x0, int32_t x1, uint32_t value)
{
    if (x1 <= x0) {
        return;
    }
    switch (format) {
    case pf8bit:
        std::memset(row + x0, int(value & 0xFF), size_t(x1 - x0));
        break;
    case pf24bit: {
        uint8_t* p = row + 3 * ptrdiff_t(x0);
        const uint8_t b = uint8_t(value), g = uint8_t(value >> 8), r = uint8_t(value >> 16);
        for (int32_t x = x0; x < x1; ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
        break;
    }
    case pf32bit:
    case pfDevice: {
        uint8_t* p = row + 4 * ptrdiff_t(x0);
        for (int32_t x = x0; x < x1; ++x, p += 4) {
            std::memcpy(p, &value, 4);
        }
        break;
    }
    default:
        for (int32_t x = x0; x < x1; ++x) {
            WriteValue(format, row, x, value);
        }
        break;
    }
}

} // namespace GraphicsDetail
