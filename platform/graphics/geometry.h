// Points, sizes and rectangles in device pixels, shared by the graphics and forms layers.
// A rectangle's Right and Bottom are exclusive, as every drawing function of this layer reads them.
#pragma once

#include <algorithm>
#include <cstdint>

struct TPoint
{
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize
{
    int32_t cx = 0;
    int32_t cy = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};

struct TRect
{
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    TPoint TopLeft() const { return {Left, Top}; }
    TPoint BottomRight() const { return {Right, Bottom}; }
    // True when the rectangle covers no pixel (also when it is inverted).
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

using PPoint = TPoint*;
using PRect = TRect*;

inline TPoint Point(int32_t x, int32_t y)
{
    return {x, y};
}

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return {left, top, right, bottom};
}

inline TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height)
{
    return {left, top, left + width, top + height};
}

inline bool PtInRect(const TRect& r, TPoint p)
{
    return r.Contains(p);
}

// The common part of a and b; false (and an all-zero result) when they do not overlap.
inline bool IntersectRect(TRect& result, const TRect& a, const TRect& b)
{
    result = {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
              std::min(a.Bottom, b.Bottom)};
    if (result.IsEmpty()) {
        result = {};
        return false;
    }
    return true;
}

// The smallest rectangle holding both; an empty operand is ignored.
inline bool UnionRect(TRect& result, const TRect& a, const TRect& b)
{
    if (a.IsEmpty()) {
        result = b;
    } else if (b.IsEmpty()) {
        result = a;
    } else {
        result = {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                  std::max(a.Bottom, b.Bottom)};
    }
    if (result.IsEmpty()) {
        result = {};
        return false;
    }
    return true;
}

inline void OffsetRect(TRect& r, int32_t dx, int32_t dy)
{
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
}

inline void InflateRect(TRect& r, int32_t dx, int32_t dy)
{
    r.Left -= dx;
    r.Right += dx;
    r.Top -= dy;
    r.Bottom += dy;
}
