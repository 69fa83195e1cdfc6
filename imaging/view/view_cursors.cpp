// The image view's cursors: 32 x 32 monochrome pictures drawn from a few strokes, each with the
// hot spot that the view's mouse work expects.
#include "imaging/view/view_cursors.h"

#include "imaging/view/korvaneview.h"
#include "platform/forms/application.h"
#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace Korvaneview {

namespace {

struct TStroke
{
    int x1, y1, x2, y2;
};

struct TCursorPicture
{
    TCursor Id;
    int HotX, HotY;
    std::vector<TStroke> Strokes;
};

void SetBit(TBitmap& b, int x, int y, bool value)
{
    if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height())
        return;
    uint8_t& byte = b.ScanLine(y)[x >> 3];
    const uint8_t bit = uint8_t(0x80 >> (x & 7));
    byte = value ? uint8_t(byte | bit) : uint8_t(byte & ~bit);
}

// Black strokes with a white rim, on a transparent ground.
void Register(const TCursorPicture& c)
{
    TBitmap andMask, xorMask;
    andMask.SetPixelFormat(pf1bit);
    xorMask.SetPixelFormat(pf1bit);
    andMask.SetSize(32, 32);
    xorMask.SetSize(32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            SetBit(andMask, x, y, true);
            SetBit(xorMask, x, y, false);
        }
    auto plot = [&](bool rim) {
        for (const TStroke& s : c.Strokes) {
            const int n = std::max(std::abs(s.x2 - s.x1), std::abs(s.y2 - s.y1));
            for (int i = 0; i <= n; ++i) {
                const int x = n ? s.x1 + (s.x2 - s.x1) * i / n : s.x1;
                const int y = n ? s.y1 + (s.y2 - s.y1) * i / n : s.y1;
                for (int dy = rim ? -1 : 0; dy <= (rim ? 1 : 0); ++dy)
                    for (int dx = rim ? -1 : 0; dx <= (rim ? 1 : 0); ++dx) {
                        SetBit(andMask, x + dx, y + dy, false);
                        SetBit(xorMask, x + dx, y + dy, rim);
                    }
            }
        }
    };
    plot(true);
    plot(false);
    Screen->SetCursorShape(c.Id, andMask, xorMask, c.HotX, c.HotY);
}

std::vector<TStroke> Cross(int x, int y)
{
    return {{x - 8, y, x - 2, y}, {x + 2, y, x + 8, y}, {x, y - 8, x, y - 2}, {x, y + 2, x, y + 8}};
}

std::vector<TStroke> Plus(std::vector<TStroke> s, int sign)
{
    s.push_back({22, 24, 28, 24});
    if (sign > 0)
        s.push_back({25, 21, 25, 27});
    return s;
}

std::vector<TStroke> Lens(int sign)
{
    std::vector<TStroke> s = {{4, 6, 6, 4},     {6, 4, 14, 4},   {14, 4, 16, 6}, {16, 6, 16, 14},
                              {16, 14, 14, 16}, {14, 16, 6, 16}, {6, 16, 4, 14}, {4, 14, 4, 6},
                              {15, 15, 22, 22}, {7, 10, 13, 10}};
    if (sign > 0)
        s.push_back({10, 7, 10, 13});
    return s;
}

std::vector<TStroke> Arrow(int x1, int y1, int x2, int y2)
{
    // A two-headed arrow through (15, 15).
    std::vector<TStroke> s = {{x1, y1, x2, y2}};
    const int dx = x2 > x1 ? 1 : (x2 < x1 ? -1 : 0), dy = y2 > y1 ? 1 : (y2 < y1 ? -1 : 0);
    auto head = [&](int x, int y, int sx, int sy) {
        if (sx == 0) {
            s.push_back({x, y, x - 3, y - 3 * sy});
            s.push_back({x, y, x + 3, y - 3 * sy});
        } else if (sy == 0) {
            s.push_back({x, y, x - 3 * sx, y - 3});
            s.push_back({x, y, x - 3 * sx, y + 3});
        } else {
            s.push_back({x, y, x - 4 * sx, y});
            s.push_back({x, y, x, y - 4 * sy});
        }
    };
    head(x2, y2, dx, dy);
    head(x1, y1, -dx, -dy);
    return s;
}

} // namespace

void RegisterViewCursors()
{
    if (Screen == nullptr || Screen->HasCursorShape(crKVZoomOut))
        return;
    const std::vector<TCursorPicture> cursors = {
        {crKVZoomOut, 10, 10, Lens(-1)},
        {crKVZoomIn, 10, 10, Lens(1)},
        {crKVCross, 16, 15, Cross(16, 15)},
        {crKVEraser, 10, 7, {{4, 3, 16, 3}, {16, 3, 16, 11}, {16, 11, 4, 11}, {4, 11, 4, 3}}},
        {crKVHand, 8, 7, {{4, 8, 4, 20}, {8, 3, 8, 14}, {12, 3, 12, 14}, {16, 5, 16, 20}, {4, 20, 16, 20}}},
        {crKVPen, 2, 29, {{2, 29, 24, 7}, {5, 29, 27, 7}, {24, 7, 27, 7}}},
        {crKVCross1, 16, 15, Cross(16, 15)},
        {crKVCross3, 16, 15, Cross(16, 15)},
        {crKVMove2, 15, 15, Arrow(7, 7, 23, 23)},
        {crKVMoveY, 15, 15, Arrow(15, 5, 15, 25)},
        {crKVMove1, 15, 15, Arrow(23, 7, 7, 23)},
        {crKVMoveX, 15, 15, Arrow(5, 15, 25, 15)},
        {crKVMove, 10, 10,
         [] {
             auto s = Arrow(2, 10, 18, 10);
             auto v = Arrow(10, 2, 10, 18);
             s.insert(s.end(), v.begin(), v.end());
             return s;
         }()},
        {crKVCross3Plus, 16, 15, Plus(Cross(16, 15), 1)},
        {crKVCross3Minus, 16, 15, Plus(Cross(16, 15), -1)},
        {crKVCross2, 16, 15, Cross(16, 15)},
        {crKVCross2Plus, 16, 15, Plus(Cross(16, 15), 1)},
        {crKVCross2Minus, 15, 16, Plus(Cross(15, 16), -1)},
    };
    for (const TCursorPicture& c : cursors)
        Register(c);
}

} // namespace Korvaneview
