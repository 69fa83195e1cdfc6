// The unsharp-mask sharpen and the morphological maximum, minimum, opening and closing.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/row_kernel.h"
#include "imaging/proc/detail/proc_detail.h"

#include <cstring>

namespace Korvaneproc {

using namespace detail;

void _Sharpen(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Intensity,
              int32_t Neighbourhood, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    const int32_t half = Neighbourhood / 2;
    // Without its own row and column a window of one pixel is empty: nothing to sharpen against.
    if (half < 1)
        return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    const int32_t top = std::max(0, y1 - half), bottom = std::min(height, y2 + half);
    PixelBlock image = ReadBlock(Bitmap, 0, top, width, bottom);
    PixelBlock result = ReadBlock(Bitmap, x1, y1, x2, y2);
    const long double k = Intensity / 10.0L;
    const size_t columns = size_t(width) * 3;
    // Sums of each column over the window's rows, and prefix sums along a row of those and of the
    // pixel's own row.
    std::vector<int64_t> columnSums(columns, 0), boxPrefix(columns + 3), rowPrefix(columns + 3);
    int32_t firstRow = std::max(0, y1 - half), lastRow = firstRow - 1;
    for (int32_t y = y1; y < y2; ++y) {
        const int32_t wantFirst = std::max(0, y - half), wantLast = std::min(height - 1, y + half);
        while (lastRow < wantLast) {
            const uint8_t* row = image.Row(++lastRow - top);
            for (size_t i = 0; i < columns; ++i)
                columnSums[i] += row[i];
        }
        while (firstRow < wantFirst) {
            const uint8_t* row = image.Row(firstRow++ - top);
            for (size_t i = 0; i < columns; ++i)
                columnSums[i] -= row[i];
        }
        const uint8_t* own = image.Row(y - top);
        for (size_t i = 0; i < columns; ++i) {
            boxPrefix[i + 3] = boxPrefix[i] + columnSums[i];
            rowPrefix[i + 3] = rowPrefix[i] + own[i];
        }
        uint8_t* out = result.Row(y - y1);
        const int64_t rowsWithout = lastRow - firstRow;
        for (int32_t x = x1; x < x2; ++x) {
            const int32_t a = std::max(0, x - half), b = std::min(width - 1, x + half);
            const int64_t count = int64_t(b - a) * rowsWithout;
            if (count == 0)
                continue;
            for (int32_t c = 0; c < 3; ++c) {
                const size_t first = size_t(a) * 3 + c, last = size_t(b) * 3 + c + 3,
                             self = size_t(x) * 3 + c;
                const int64_t sum = (boxPrefix[last] - boxPrefix[first]) -
                                    (rowPrefix[last] - rowPrefix[first]) - columnSums[self] + own[self];
                const int64_t mean = sum / count;
                const int32_t value = own[self];
                out[(x - x1) * 3 + c] = Clamp255(TruncI((value - mean) * k + value));
            }
        }
        Report(OnProgress, Sender, RowPercent(y, y1, y2));
    }
    WriteBlock(Bitmap, result);
}

namespace {

// Keys order the pixels of a window: the level in the high bits, then the earlier position.
template <typename Key> struct Keys
{
    static constexpr int Shift = sizeof(Key) * 8 - 8;
    static constexpr Key PositionMask = (Key(1) << Shift) - 1;
    static Key Make(uint32_t level, int64_t position)
    {
        return (Key(level) << Shift) | (PositionMask - Key(position));
    }
    static uint32_t Level(Key key) { return static_cast<uint32_t>(key >> Shift); }
    static int32_t Position(Key key) { return static_cast<int32_t>(PositionMask - (key & PositionMask)); }
};

// out[j] = max(a[j], b[j]).
template <typename Key>
KV_ROW_KERNEL void MaxOf(const Key* __restrict a, const Key* __restrict b, Key* __restrict out, size_t count)
{
    for (size_t j = 0; j < count; ++j)
        out[j] = a[j] > b[j] ? a[j] : b[j];
}

// The largest key of the window i - r .. i + r cut to 0 .. n-1, from prefix and suffix maxima over
// blocks of 2r + 1: a whole window spans at most two blocks, the suffix of the first and the prefix
// of the second (constant work per key). Windows cut at the ends may lie in one block.
struct Blocks
{
    int64_t block;
    int32_t n, r;
    bool SameBlock(int32_t lo, int32_t hi) const { return lo / block == hi / block; }
    bool StartsBlock(int32_t i) const { return i % block == 0; }
    bool EndsBlock(int32_t i) const { return (i + 1) % block == 0 || i == n - 1; }
    int32_t Lo(int32_t i) const { return int32_t(std::max<int64_t>(0, int64_t(i) - r)); }
    int32_t Hi(int32_t i) const { return int32_t(std::min<int64_t>(n - 1, int64_t(i) + r)); }
    // Whether the window of i is cut at an end.
    bool Cut(int32_t i) const { return int64_t(i) < r || int64_t(i) + r > n - 1; }
};

template <typename Key>
void WindowMax(Key* keys, int32_t n, int32_t r, std::vector<Key>& prefix, std::vector<Key>& suffix)
{
    const Blocks b{2 * int64_t(r) + 1, n, r};
    prefix.resize(size_t(n));
    suffix.resize(size_t(n));
    for (int32_t i = 0; i < n; ++i)
        prefix[i] = b.StartsBlock(i) ? keys[i] : std::max(prefix[i - 1], keys[i]);
    for (int32_t i = n - 1; i >= 0; --i)
        suffix[i] = b.EndsBlock(i) ? keys[i] : std::max(suffix[i + 1], keys[i]);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t lo = b.Lo(i), hi = b.Hi(i);
        if (!b.Cut(i) || !b.SameBlock(lo, hi))
            keys[i] = std::max(suffix[lo], prefix[hi]);
        else
            keys[i] = b.StartsBlock(lo) ? prefix[hi] : suffix[lo];
    }
}

// The same down the columns of a rows x width matrix, a strip of columns at a time so that the
// maxima are taken across whole rows at once.
template <typename Key> void ColumnWindowMax(std::vector<Key>& keys, int32_t rows, int32_t width, int32_t r)
{
    const Blocks b{2 * int64_t(r) + 1, rows, r};
    constexpr int32_t strip = 256;
    std::vector<Key> prefix(size_t(rows) * strip), suffix(size_t(rows) * strip);
    for (int32_t x0 = 0; x0 < width; x0 += strip) {
        const int32_t w = std::min(strip, width - x0);
        auto at = [&](int32_t row) { return keys.data() + size_t(row) * width + x0; };
        auto pre = [&](int32_t row) { return &prefix[size_t(row) * strip]; };
        auto suf = [&](int32_t row) { return &suffix[size_t(row) * strip]; };
        for (int32_t i = 0; i < rows; ++i) {
            if (b.StartsBlock(i))
                std::copy(at(i), at(i) + w, pre(i));
            else
                MaxOf(pre(i - 1), at(i), pre(i), size_t(w));
        }
        for (int32_t i = rows - 1; i >= 0; --i) {
            if (b.EndsBlock(i))
                std::copy(at(i), at(i) + w, suf(i));
            else
                MaxOf(suf(i + 1), at(i), suf(i), size_t(w));
        }
        for (int32_t i = 0; i < rows; ++i) {
            const int32_t lo = b.Lo(i), hi = b.Hi(i);
            if (!b.Cut(i) || !b.SameBlock(lo, hi))
                MaxOf(suf(lo), pre(hi), at(i), size_t(w));
            else if (b.StartsBlock(lo))
                std::copy(pre(hi), pre(hi) + w, at(i));
            else
                std::copy(suf(lo), suf(lo) + w, at(i));
        }
    }
}

// One pass over the rectangle's pixels: each takes the colour of the first pixel in scan order of
// the highest grey (minimum: lowest) in its window; a window that never rises above the start
// level (grey 0 for the maximum, 255 for the minimum) keeps the centre's colour.
template <typename Key>
void MorphPass(PixelBlock& block, int32_t r, bool minimum, const std::function<void(int32_t)>& rowDone)
{
    using K = Keys<Key>;
    const int32_t width = block.width, height = block.height;
    std::vector<Key> across(size_t(width) * height), down(size_t(width) * height);
    std::vector<Key> prefix, suffix;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* p = block.Row(y);
        Key* keys = &across[size_t(y) * width];
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t grey = uint32_t(Grey(p[x * 3 + 2], p[x * 3 + 1], p[x * 3]));
            keys[x] = K::Make(minimum ? 255 - grey : grey, x);
        }
        WindowMax(keys, width, r, prefix, suffix);
        Key* column = &down[size_t(y) * width];
        for (int32_t x = 0; x < width; ++x)
            column[x] = K::Make(K::Level(keys[x]), y);
    }
    ColumnWindowMax(down, height, width, r);
    PixelBlock result = block;
    for (int32_t y = 0; y < height; ++y) {
        const Key* keys = &down[size_t(y) * width];
        uint8_t* out = result.Row(y);
        for (int32_t x = 0; x < width; ++x) {
            if (K::Level(keys[x]) == 0)
                continue;
            const int32_t row = K::Position(keys[x]);
            const int32_t column = K::Position(across[size_t(row) * width + x]);
            std::memcpy(out + x * 3, block.Row(row) + column * 3, 3);
        }
        rowDone(y);
    }
    block.bytes.swap(result.bytes);
}

} // namespace

void _MorphFilter(TKVBitmap* Bitmap, int32_t WindowSize, int32_t Operation, int32_t x1, int32_t y1,
                  int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || Operation < 0 || Operation > 3 || WindowSize < 0 ||
        !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    const int32_t rows = y2 - y1;
    // A window past the rectangle's larger side sees no more than the whole rectangle.
    const int32_t r = std::min(WindowSize, std::max(x2 - x1, rows));
    const bool passes[4][2] = {{false, false}, {true, true}, {true, false}, {false, true}};
    const int32_t passCount = Operation < 2 ? 1 : 2;
    const long double per = 100.0L / (rows - 1 + 0.5L) / passCount;
    PixelBlock block = ReadBlock(Bitmap, x1, y1, x2, y2);
    const bool wide = std::max(x2 - x1, rows) >= (1 << 24);
    for (int32_t pass = 0; pass < passCount; ++pass) {
        const bool minimum = passCount == 1 ? Operation == 1 : passes[Operation][pass];
        auto rowDone = [&](int32_t y) {
            Report(OnProgress, Sender, TruncI((y + 1 + int64_t(pass) * rows) * per));
        };
        if (r > 0 && wide)
            MorphPass<uint64_t>(block, r, minimum, rowDone);
        else if (r > 0)
            MorphPass<uint32_t>(block, r, minimum, rowDone);
        else
            for (int32_t y = 0; y < rows; ++y)
                rowDone(y);
    }
    WriteBlock(Bitmap, block);
}

} // namespace Korvaneproc
