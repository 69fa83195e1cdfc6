// Builds test bitmaps from tables and reads them back.
#include "tests/proc/proc_test_util.h"

#include <cstring>

namespace proctest {

namespace {

int Width(const Grid& g)
{
    return g.empty() ? 0 : static_cast<int>(g[0].size());
}

} // namespace

std::unique_ptr<TKVBitmap> Rgb(const Grid& blue, const Grid& green, const Grid& red)
{
    auto bitmap = std::make_unique<TKVBitmap>();
    const int w = Width(blue), h = static_cast<int>(blue.size());
    bitmap->Allocate(w, h, kv24RGB);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bitmap->GetScanLine(y);
        for (int x = 0; x < w; ++x) {
            row[x * 3] = static_cast<uint8_t>(blue[y][x]);
            row[x * 3 + 1] = static_cast<uint8_t>(green[y][x]);
            row[x * 3 + 2] = static_cast<uint8_t>(red[y][x]);
        }
    }
    return bitmap;
}

std::unique_ptr<TKVBitmap> GreyRgb(const Grid& levels)
{
    return Rgb(levels, levels, levels);
}

std::unique_ptr<TKVBitmap> Bits(const Grid& levels)
{
    auto bitmap = std::make_unique<TKVBitmap>();
    const int w = Width(levels), h = static_cast<int>(levels.size());
    bitmap->Allocate(w, h, kv1g);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bitmap->GetScanLine(y);
        std::memset(row, 0, static_cast<size_t>(bitmap->GetRowLen()));
        for (int x = 0; x < w; ++x)
            if (levels[y][x])
                row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    return bitmap;
}

std::unique_ptr<TKVBitmap> Bytes(const Grid& levels, TKVPixelFormat format, const std::vector<TRGB>& palette)
{
    auto bitmap = std::make_unique<TKVBitmap>();
    const int w = Width(levels), h = static_cast<int>(levels.size());
    bitmap->Allocate(w, h, format);
    if (format == kv8p)
        for (int i = 0; i < 256; ++i)
            bitmap->SetPalette(i, i < static_cast<int>(palette.size()) ? palette[i] : TRGB{});
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bitmap->GetScanLine(y);
        for (int x = 0; x < w; ++x)
            row[x] = static_cast<uint8_t>(levels[y][x]);
    }
    return bitmap;
}

std::unique_ptr<TKVBitmap> Blank(int width, int height, TKVPixelFormat format, int fill)
{
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->Allocate(width, height, format);
    for (int y = 0; y < height; ++y)
        std::memset(bitmap->GetScanLine(y), fill, static_cast<size_t>(bitmap->GetRowLen()));
    return bitmap;
}

Grid Channel(TKVBitmap* bitmap, int ch)
{
    Grid g(static_cast<size_t>(bitmap->GetHeight()),
           std::vector<int>(static_cast<size_t>(bitmap->GetWidth())));
    for (int y = 0; y < bitmap->GetHeight(); ++y) {
        const uint8_t* row = bitmap->GetScanLine(y);
        for (int x = 0; x < bitmap->GetWidth(); ++x)
            g[y][x] = row[x * 3 + ch];
    }
    return g;
}

Grid Levels(TKVBitmap* bitmap)
{
    Grid g(static_cast<size_t>(bitmap->GetHeight()),
           std::vector<int>(static_cast<size_t>(bitmap->GetWidth())));
    for (int y = 0; y < bitmap->GetHeight(); ++y) {
        const uint8_t* row = bitmap->GetScanLine(y);
        for (int x = 0; x < bitmap->GetWidth(); ++x)
            g[y][x] = bitmap->GetPixelFormat() == kv1g ? ((row[x >> 3] >> (7 - (x & 7))) & 1) : row[x];
    }
    return g;
}

bool IsGrey(TKVBitmap* bitmap)
{
    for (int y = 0; y < bitmap->GetHeight(); ++y) {
        const uint8_t* row = bitmap->GetScanLine(y);
        for (int x = 0; x < bitmap->GetWidth(); ++x)
            if (row[x * 3] != row[x * 3 + 1] || row[x * 3] != row[x * 3 + 2])
                return false;
    }
    return true;
}

} // namespace proctest
