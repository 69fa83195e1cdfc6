// The windows in which the JPEG 2000 reader decodes a picture whose tiles pass its budget.
#include "imaging/codecs/j2k/detail/window_grid.h"

#include <algorithm>

namespace Kvj2000::detail {

namespace {

// The bytes of 32-bit samples of a window. Windows trade time for memory whatever their size: the
// library decodes a window code-block by code-block into buffers of their own and filters them
// with margins, where a whole tile goes straight into its buffer. A 6000 x 4000 colour tile loads
// in 0.58 s and 412 MB whole; it took 0.94 to 1.29 s and 338 to 200 MB in windows of 48 to 8 MB,
// and 1.03 s and 282 MB in windows of 32 MB, which take 0.7 s since each is written while the next
// decodes.
constexpr uint64_t WindowBudget = uint64_t(32) << 20;
// Around a window the library keeps every code-block that the window's samples or the wavelet's
// margins reach, at every level, and copies them all again for each window: a block is 64 of its
// level's rows high, 2^n x 64 rows of the picture at level n, so that around a band of few rows of
// a wide picture it keeps several times the band (a band of 42 rows of 65535 RGB pixels with five
// levels keeps 300 MB). Windows are at least this many rows high, as wide as the budget then
// allows: their margins stay below the window itself, and a bitmap kept in a file still has the
// rows of a window in hand at once.
constexpr uint32_t LeastWindowRows = 256;

} // namespace

std::vector<TPictureArea> TWindowGrid::Windows() const
{
    std::vector<TPictureArea> windows;
    for (uint32_t y = Picture.Y0; y < Picture.Y1; y = Next(y, Rows, Down, Picture.Y1)) {
        for (uint32_t x = Picture.X0; x < Picture.X1; x = Next(x, Columns, Across, Picture.X1)) {
            windows.push_back({x, y, Next(x, Columns, Across, Picture.X1), Next(y, Rows, Down, Picture.Y1)});
        }
    }
    return windows;
}

uint32_t TWindowGrid::Next(uint32_t at, uint32_t length, const TGridAxis& tiles, uint32_t end)
{
    uint64_t next = uint64_t(at) + length;
    if (next >= end) {
        return end;
    }
    if (tiles.TileSize > 0 && length >= tiles.TileSize && at >= tiles.TileStart) {
        next = tiles.TileStart + (next - tiles.TileStart) / tiles.TileSize * tiles.TileSize;
    }
    return uint32_t(next);
}

TWindowGrid WindowsFor(const TDeclaredLayout& layout, const std::vector<size_t>& decoded,
                       const TPictureArea& picture, bool inMemory)
{
    const uint32_t width = picture.X1 - picture.X0, height = picture.Y1 - picture.Y0;
    // The library's bytes for a point of the picture, every decoded component at 32 bits.
    double pointBytes = 0;
    for (size_t c : decoded) {
        const auto [across, down] = layout.Steps[c];
        pointBytes += 4.0 / std::max<uint32_t>(across, 1) / std::max<uint32_t>(down, 1);
    }
    const double points = double(WindowBudget) / std::max(pointBytes, 1e-9);
    double rows = points / width;
    if (rows < LeastWindowRows) {
        rows = inMemory ? std::max<double>(points / LeastWindowRows, LeastWindowRows) : LeastWindowRows;
    }
    TWindowGrid grid{picture, layout.Across, layout.Down};
    grid.Rows = uint32_t(std::min<double>(rows, height));
    grid.Columns = uint32_t(std::clamp<double>(points / grid.Rows, 1, width));
    return grid;
}

} // namespace Kvj2000::detail
