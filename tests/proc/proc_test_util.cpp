// Builds test bitmaps from tables and reads them back.
#include "tests/proc/proc_test_util.h"

#include "imaging/codecs/png/pngfilt.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

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

void SetAlpha(TKVBitmap* bitmap, const Grid& levels)
{
    for (int y = 0; y < bitmap->GetHeight(); ++y)
        for (int x = 0; x < bitmap->GetWidth(); ++x)
            bitmap->GetAlphaChannel()->GetScanLine(y)[x] = static_cast<uint8_t>(levels[y][x]);
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

namespace proctest {

namespace {

// A binary PPM (P6) or PGM (P5) of 8-bit samples; nullptr when the bytes are not one.
std::unique_ptr<TKVBitmap> ParseNetpbm(const std::string& bytes)
{
    std::istringstream in(bytes);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    const bool colour = magic == "P6";
    if (!in || (!colour && magic != "P5") || maxValue != 255 || width < 1 || height < 1)
        return nullptr;
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->Allocate(width, height, colour ? kv24RGB : kv8g);
    const int channels = colour ? 3 : 1;
    std::string row(static_cast<size_t>(width) * channels, '\0');
    for (int y = 0; y < height; ++y) {
        if (!in.read(row.data(), static_cast<std::streamsize>(row.size())))
            return nullptr;
        uint8_t* out = bitmap->GetScanLine(y);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                out[x * channels + c] = static_cast<uint8_t>(row[x * channels + (colour ? 2 - c : 0)]);
    }
    return bitmap;
}

} // namespace

std::unique_ptr<TKVBitmap> RealCrop(const Crop& crop, TKVPixelFormat format)
{
    const std::string path = std::string("/usr/share/go-1.19/src/image/testdata/") + crop.file;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return nullptr;
    TFileStream stream(path, fmOpenRead);
    TKVBitmap whole;
    TIOParamsVals params;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TKVMask> alpha;
    Pngfilt::ReadPNGStream(stream, whole, params, progress, false, alpha, true);
    if (aborting)
        return nullptr;
    if (whole.GetPixelFormat() != format)
        whole.SetPixelFormat(format);
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->Allocate(crop.width, crop.height, format);
    whole.CopyRectTo(bitmap.get(), crop.x, crop.y, 0, 0, crop.width, crop.height);
    return bitmap;
}

std::unique_ptr<TKVBitmap> Rose()
{
    return ParseNetpbm(kvtest::ToolOutput("convert rose: -depth 8 ppm:-"));
}

std::unique_ptr<TKVBitmap> MagickResized(TKVBitmap* source, int width, int height, const std::string& filter)
{
    std::string ppm =
        "P6\n" + std::to_string(source->GetWidth()) + " " + std::to_string(source->GetHeight()) + "\n255\n";
    for (int y = 0; y < source->GetHeight(); ++y) {
        const uint8_t* row = source->GetScanLine(y);
        for (int x = 0; x < source->GetWidth(); ++x)
            ppm += {char(row[x * 3 + 2]), char(row[x * 3 + 1]), char(row[x * 3])};
    }
    const kvtest::TempFolder folder;
    const std::string input = folder.Write("source.ppm", ppm);
    return ParseNetpbm(kvtest::ToolOutput("convert '" + input + "' -filter " + filter + " -resize " +
                                          std::to_string(width) + "x" + std::to_string(height) +
                                          "! -depth 8 ppm:-"));
}

std::unique_ptr<TKVBitmap> Reference(const std::string& name)
{
    std::ifstream file(std::string(KV_TEST_DATA_DIR) + "/proc/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return ParseNetpbm(bytes.str());
}

int MaxDifference(TKVBitmap* a, TKVBitmap* b)
{
    if (!a || !b || a->GetWidth() != b->GetWidth() || a->GetHeight() != b->GetHeight() ||
        a->GetPixelFormat() != b->GetPixelFormat())
        return std::numeric_limits<int>::max();
    const size_t bytes = static_cast<size_t>(a->GetWidth()) * a->GetBitCount() / 8;
    std::vector<uint8_t> rowA(bytes);
    int largest = 0;
    for (int y = 0; y < a->GetHeight(); ++y) {
        std::memcpy(rowA.data(), a->GetScanLine(y), bytes);
        const uint8_t* rowB = b->GetScanLine(y);
        for (size_t i = 0; i < bytes; ++i)
            largest = std::max(largest, std::abs(int(rowA[i]) - int(rowB[i])));
    }
    return largest;
}

std::unique_ptr<TKVBitmap> Copy(TKVBitmap* bitmap)
{
    auto copy = std::make_unique<TKVBitmap>();
    copy->Assign(bitmap);
    return copy;
}

Grid Noise(int width, int height, uint32_t seed)
{
    Grid grid(static_cast<size_t>(height), std::vector<int>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            grid[y][x] = static_cast<int>((x * 255 / width + y * 97 / height + (seed >> 24) % 64) % 256);
        }
    return grid;
}

uint64_t PixelHash(TKVBitmap* bitmap)
{
    uint64_t hash = 14695981039346656037ull;
    const size_t bytes = (static_cast<size_t>(bitmap->GetWidth()) * bitmap->GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < bitmap->GetHeight(); ++y) {
        const auto* row = static_cast<const uint8_t*>(bitmap->GetScanLine(y));
        for (size_t i = 0; i < bytes; ++i)
            hash = (hash ^ row[i]) * 1099511628211ull;
    }
    return hash;
}

} // namespace proctest
