// Noise removal for black-and-white scans: pixels with too few neighbours of their colour, and the
// kFill filter that removes black specks and fills white holes with a 3 x 3 window.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"

#include <bit>
#include <cstring>

namespace Korvaneproc {

using namespace detail;

void _KVRemoveIsolatedPixels1Bit(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                 int32_t Colour, int32_t MaxCount)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv1g || MaxCount == 0 || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    const int32_t w = x2 - x1, h = y2 - y1;
    const bool colourBit = Colour != 0;
    // Counters of the rectangle with a frame of one pixel, (x, y) at (x - x1 + 1, y - y1 + 1).
    std::vector<uint8_t> counters = Scratch<uint8_t>(uint64_t(w + 2) * (h + 2));
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = Bitmap->GetScanLine(y1 + y);
        rows[y].assign(row, row + Bitmap->GetRowLen());
        for (int32_t x = 0; x < w; ++x) {
            if (BitAt(rows[y].data(), x1 + x) != colourBit)
                continue;
            for (int32_t v = y; v <= y + 2; ++v)
                for (int32_t u = x; u <= x + 2; ++u)
                    ++counters[size_t(v) * (w + 2) + u];
        }
    }
    for (int32_t y = 0; y < h; ++y) {
        bool changed = false;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t count = counters[size_t(y + 1) * (w + 2) + x + 1];
            if (count >= 1 && count <= MaxCount && BitAt(rows[y].data(), x1 + x) == colourBit) {
                SetBitAt(rows[y].data(), x1 + x, !colourBit);
                changed = true;
            }
        }
        if (changed)
            std::memcpy(Bitmap->GetScanLine(y1 + y), rows[y].data(), rows[y].size());
    }
}

namespace {

// A ring pattern has one bit per ring pixel, set for white, in the order top left, top, top right,
// right, bottom right, bottom, bottom left, left; the corners are bits 0, 2, 4 and 6.
struct RingCounts
{
    int32_t n, corners, groups;
};

RingCounts Count(uint32_t ring)
{
    RingCounts c{std::popcount(ring), 0, 0};
    for (int32_t i = 0; i < 8; ++i) {
        if ((ring >> i) & 1 && !(i & 1))
            ++c.corners;
        // A group starts where a set bit follows a clear one around the ring.
        if (((ring >> i) & 1) && !((ring >> ((i + 7) % 8)) & 1))
            ++c.groups;
    }
    if (ring == 0xFF)
        c.groups = 1;
    return c;
}

// Whether the core turns to the fill colour; ring holds 1 for pixels of the fill colour.
bool Fills(uint32_t ring, bool black, bool checkConnectivity, bool strict)
{
    constexpr int32_t threshold = 5, whole = 8;
    const RingCounts c = Count(ring);
    if (checkConnectivity && c.groups > 1)
        return false;
    if (black && strict)
        return c.n == whole || (c.n == threshold && c.corners == 2);
    return c.n > threshold || (c.n == threshold && c.corners == 2);
}

} // namespace

void _kf_kfill(TKVBitmap* Bitmap, bool CheckConnectivity, bool StrictFill, int32_t Iterations,
               int32_t WindowSize, bool Inverse)
{
    // The 3 x 3 window is the only one built.
    if (!Bitmap || Bitmap->GetPixelFormat() != kv1g || Iterations <= 0 || WindowSize != 3)
        return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w < 3 || h < 3)
        return;
    bool fillWhite[256], fillBlack[256];
    for (uint32_t ring = 0; ring < 256; ++ring) {
        fillWhite[ring] = Fills(ring, false, CheckConnectivity, StrictFill);
        fillBlack[ring] = Fills(~ring & 0xFF, true, CheckConnectivity, StrictFill);
    }
    // The work picture: 1 white, 0 black, the outermost rows and columns black.
    std::vector<uint8_t> work = Scratch<uint8_t>(uint64_t(w) * h);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = Bitmap->GetScanLine(y);
        for (int32_t x = 0; x < w; ++x)
            work[size_t(y) * w + x] = BitAt(row, x) != Inverse ? 1 : 0;
    }
    for (int32_t x = 0; x < w; ++x)
        work[x] = work[size_t(h - 1) * w + x] = 0;
    for (int32_t y = 0; y < h; ++y)
        work[size_t(y) * w] = work[size_t(y) * w + w - 1] = 0;

    // Each sub-iteration decides on the picture as it was before it; two in a row that change
    // nothing (one of each kind) mean no later one can.
    std::vector<uint8_t> before(work.size());
    int32_t unchanged = 0;
    for (int32_t step = 0; step < Iterations && unchanged < 2; ++step) {
        const bool black = step % 2 == 0;
        const bool* table = black ? fillBlack : fillWhite;
        before = work;
        bool changed = false;
        for (int32_t y = 1; y < h - 1; ++y) {
            const uint8_t* above = &before[size_t(y - 1) * w];
            const uint8_t* own = &before[size_t(y) * w];
            const uint8_t* below = &before[size_t(y + 1) * w];
            for (int32_t x = 1; x < w - 1; ++x) {
                if ((own[x] == 0) == black)
                    continue;
                const uint32_t ring = above[x - 1] | above[x] << 1 | above[x + 1] << 2 | own[x + 1] << 3 |
                                      below[x + 1] << 4 | below[x] << 5 | below[x - 1] << 6 | own[x - 1] << 7;
                if (table[ring]) {
                    work[size_t(y) * w + x] = black ? 0 : 1;
                    changed = true;
                }
            }
        }
        unchanged = changed ? 0 : unchanged + 1;
    }
    for (int32_t y = 1; y < h - 1; ++y) {
        uint8_t* row = Bitmap->GetScanLine(y);
        for (int32_t x = 1; x < w - 1; ++x)
            SetBitAt(row, x, (work[size_t(y) * w + x] != 0) != Inverse);
    }
}

} // namespace Korvaneproc
