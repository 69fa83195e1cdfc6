// The tiled virtual bitmap: tiles in one temporary file, mapped only while an operation needs them.
#include "imaging/core/virtual_bitmap.h"

#include "imaging/core/bit_utils.h"
#include "imaging/core/bitmap_copies.h"
#include "imaging/core/detail/access_scope.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/proc/korvaneproc.h"
#include "platform/core/rounding.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kNoTile = 65535;

// The piece of a 1-bit tile as a bottom-up buffer of its own, as the 1-bit reducer reads it.
std::vector<uint8_t> BottomUpBits(const uint8_t* tile, int32_t tileRowLen, int32_t offsetX, int32_t offsetY,
                                  int32_t width, int32_t height, int32_t& rowLen)
{
    rowLen = int32_t(Daduvudez::_BitmapRowLen(width, 1));
    std::vector<uint8_t> bits(size_t(rowLen) * height, 0);
    for (int32_t y = 0; y < height; ++y)
        Korvaneproc::_CopyBits(bits.data() + size_t(height - 1 - y) * rowLen,
                               tile + int64_t(offsetY + y) * tileRowLen, 0, offsetX, width, rowLen);
    return bits;
}

} // namespace

TKVVirtualBitmap::TKVVirtualBitmap() : FFileBuffer(std::make_unique<TKVFileBuffer>())
{
    FInfo.header.biSize = 40;
    FInfo.colours[1] = RGBQUAD{255, 255, 255, 0};
}

TKVVirtualBitmap::~TKVVirtualBitmap()
{
    FreeBits();
}

bool TKVVirtualBitmap::AllocateBits(uint32_t width, uint32_t height, uint32_t bitCount)
{
    FreeBits();
    switch (bitCount) {
    case 1:
        FTileWidth = 1024;
        FTileHeight = 512;
        break;
    case 8:
        FTileWidth = FTileHeight = 256;
        break;
    case 24:
        FTileWidth = FTileHeight = 512;
        break;
    default:
        break;
    }
    if (width == 0 || height == 0 || bitCount == 0 || width > INT32_MAX || height > INT32_MAX)
        return false;
    const int64_t rowLen = Daduvudez::_BitmapRowLen(FTileWidth, bitCount);
    if (rowLen > INT32_MAX)
        return false;
    FWidth = width;
    FHeight = height;
    FBitCount = bitCount;
    FTileWidthShift = uint32_t(std::countr_zero(FTileWidth));
    FTileHeightShift = uint32_t(std::countr_zero(FTileHeight));
    FPixelBytes = bitCount / 8;
    FTilesAcross = (width + FTileWidth - 1) / FTileWidth;
    FTilesDown = (height + FTileHeight - 1) / FTileHeight;
    FTileRowLen = int32_t(rowLen);
    const int64_t size = int64_t(FTileRowLen) * FTilesAcross * FTileHeight * FTilesDown;
    if (!FFileBuffer->AllocateFile("", size)) {
        FWidth = FHeight = FBitCount = FTilesAcross = FTilesDown = 0;
        FTileRowLen = 0;
        return false;
    }
    return true;
}

void TKVVirtualBitmap::FreeBits()
{
    while (!FGotBitmaps.empty())
        ReleaseBitmap(FGotBitmaps.front()->bitmap.get());
    ReleasePixelTile();
    FMappedTiles.clear();
    FFileBuffer->DeAllocate();
}

void TKVVirtualBitmap::SetWidth(uint32_t value)
{
    FWidth = value;
    if (FWidth != 0 && FHeight != 0 && FBitCount != 0)
        AllocateBits(FWidth, FHeight, FBitCount);
}

void TKVVirtualBitmap::SetHeight(uint32_t value)
{
    FHeight = value;
    if (FWidth != 0 && FHeight != 0 && FBitCount != 0)
        AllocateBits(FWidth, FHeight, FBitCount);
}

void TKVVirtualBitmap::SetBitCount(uint32_t value)
{
    FBitCount = value;
    if (FWidth != 0 && FHeight != 0 && FBitCount != 0)
        AllocateBits(FWidth, FHeight, FBitCount);
}

int64_t TKVVirtualBitmap::FileSize() const
{
    return FFileBuffer->FileSize();
}

// ---------------------------------------------------------------------------------------------
// Tiles

uint8_t* TKVVirtualBitmap::MapTile(uint32_t index)
{
    auto mapped = FMappedTiles.find(index);
    if (mapped != FMappedTiles.end()) {
        ++mapped->second.uses;
        return mapped->second.bits;
    }
    uint8_t* bits = FFileBuffer->Map(int64_t(index) * TileBytes(), TileBytes(), kvdReadWrite);
    if (bits != nullptr)
        FMappedTiles.emplace(index, TMappedTile{bits, 1});
    return bits;
}

void TKVVirtualBitmap::UnMapTile(uint32_t index)
{
    auto mapped = FMappedTiles.find(index);
    if (mapped == FMappedTiles.end() || --mapped->second.uses > 0)
        return;
    uint8_t* bits = mapped->second.bits;
    FMappedTiles.erase(mapped);
    FFileBuffer->UnMap(bits);
}

bool TKVVirtualBitmap::CutToImage(int32_t& x, int32_t& y, int32_t& width, int32_t& height) const
{
    if (FWidth == 0 || FHeight == 0 || width <= 0 || height <= 0)
        return false;
    int64_t x1 = std::max<int64_t>(x, 0), y1 = std::max<int64_t>(y, 0);
    int64_t x2 = std::min<int64_t>(int64_t(x) + width, FWidth),
            y2 = std::min<int64_t>(int64_t(y) + height, FHeight);
    if (x1 >= x2 || y1 >= y2)
        return false;
    x = int32_t(x1);
    y = int32_t(y1);
    width = int32_t(x2 - x1);
    height = int32_t(y2 - y1);
    return true;
}

void TKVVirtualBitmap::WalkTiles(int32_t x, int32_t y, int32_t width, int32_t height,
                                 const std::function<void(const TPiece&)>& visit) const
{
    const int64_t right = int64_t(x) + width, bottom = int64_t(y) + height;
    for (int64_t py = y; py < bottom;) {
        const int32_t offsetY = int32_t(py % FTileHeight);
        const int32_t pieceHeight = int32_t(std::min<int64_t>(FTileHeight - offsetY, bottom - py));
        for (int64_t px = x; px < right;) {
            const int32_t offsetX = int32_t(px % FTileWidth);
            const int32_t pieceWidth = int32_t(std::min<int64_t>(FTileWidth - offsetX, right - px));
            visit(TPiece{int32_t(px), int32_t(py), pieceWidth, pieceHeight, uint32_t(px / FTileWidth),
                         uint32_t(py / FTileHeight), offsetX, offsetY});
            px += pieceWidth;
        }
        py += pieceHeight;
    }
}

// ---------------------------------------------------------------------------------------------
// Pixels

void TKVVirtualBitmap::ReleasePixelTile()
{
    if (FPixelTile == nullptr)
        return;
    FPixelTile = nullptr;
    const uint32_t index = TileIndex(FPixelTileColumn, FPixelTileRow);
    FPixelTileColumn = FPixelTileRow = kNoTile;
    UnMapTile(index);
}

uint8_t* TKVVirtualBitmap::PixelAddress(int32_t x, int32_t y)
{
    if (x < 0 || y < 0 || uint32_t(x) >= FWidth || uint32_t(y) >= FHeight)
        return nullptr;
    const uint32_t column = uint32_t(x) >> FTileWidthShift, row = uint32_t(y) >> FTileHeightShift;
    if (FPixelTile == nullptr || column != FPixelTileColumn || row != FPixelTileRow) {
        ReleasePixelTile();
        FPixelTile = MapTile(TileIndex(column, row));
        if (FPixelTile == nullptr)
            return nullptr;
        FPixelTileColumn = column;
        FPixelTileRow = row;
    }
    const uint32_t tileX = uint32_t(x) & (FTileWidth - 1);
    const uint32_t tileY = uint32_t(y) & (FTileHeight - 1);
    uint8_t* tileRow = FPixelTile + int64_t(tileY) * FTileRowLen;
    return FBitCount == 1 ? tileRow + (tileX >> 3) : tileRow + int64_t(tileX) * FPixelBytes;
}

void TKVVirtualBitmap::GetPixel(int32_t x, int32_t y, uint8_t* pixel)
{
    if (pixel == nullptr)
        return;
    const int32_t bytes = FBitCount == 1 ? 1 : int32_t(FBitCount / 8);
    const uint8_t* address = PixelAddress(x, y);
    if (address == nullptr) {
        std::memset(pixel, 0, size_t(std::max(bytes, 1)));
        return;
    }
    if (FBitCount == 1)
        pixel[0] = *address & uint8_t(0x80 >> (x & 7));
    else if (FPixelBytes == 3)
        std::memcpy(pixel, address, 3);
    else
        std::memcpy(pixel, address, size_t(bytes));
}

void TKVVirtualBitmap::SetPixel(int32_t x, int32_t y, const uint8_t* pixel)
{
    uint8_t* address = pixel != nullptr ? PixelAddress(x, y) : nullptr;
    if (address == nullptr)
        return;
    if (FBitCount == 1) {
        const uint8_t weight = uint8_t(0x80 >> (x & 7));
        *address = pixel[0] != 0 ? uint8_t(*address | weight) : uint8_t(*address & ~weight);
    } else {
        std::memcpy(address, pixel, FBitCount / 8);
    }
}

void TKVVirtualBitmap::ApplyFunction(int32_t x, int32_t y, int32_t width, int32_t height,
                                     TKVVirtualBitmapCallback callback, void* user)
{
    if (callback == nullptr || !CutToImage(x, y, width, height))
        return;
    const int32_t bytes = int32_t(FBitCount / 8);
    WalkTiles(x, y, width, height, [&](const TPiece& piece) {
        const uint32_t index = TileIndex(piece.column, piece.row);
        uint8_t* tile = MapTile(index);
        if (tile == nullptr)
            return;
        for (int32_t j = 0; j < piece.height; ++j) {
            uint8_t* row = tile + int64_t(piece.offsetY + j) * FTileRowLen;
            const int32_t py = piece.y + j;
            if (FBitCount == 1) {
                for (int32_t i = 0; i < piece.width; ++i) {
                    const int32_t tx = piece.offsetX + i;
                    const uint8_t weight = uint8_t(0x80 >> (tx & 7));
                    uint8_t value = row[tx >> 3] & weight;
                    const uint8_t before = value;
                    callback(piece.x + i, py, &value, user);
                    if (value != before)
                        row[tx >> 3] =
                            value != 0 ? uint8_t(row[tx >> 3] | weight) : uint8_t(row[tx >> 3] & ~weight);
                }
            } else {
                uint8_t* pixel = row + int64_t(piece.offsetX) * bytes;
                for (int32_t i = 0; i < piece.width; ++i, pixel += bytes)
                    callback(piece.x + i, py, pixel, user);
            }
        }
        UnMapTile(index);
    });
}

// ---------------------------------------------------------------------------------------------
// Borrowed bitmaps and loading

TBitmap* TKVVirtualBitmap::GetBitmap(int32_t x, int32_t y, int32_t width, int32_t height)
{
    const TPixelFormat format = FBitCount == 1    ? pf1bit
                                : FBitCount == 8  ? pf8bit
                                : FBitCount == 24 ? pf24bit
                                                  : pfCustom;
    int32_t cx = x, cy = y, cw = width, ch = height;
    if (format == pfCustom || !CutToImage(cx, cy, cw, ch))
        return nullptr;
    auto got = std::make_unique<TKVGotBitmap>();
    got->x = x;
    got->y = y;
    got->width = width;
    got->height = height;
    got->bitmap = std::make_unique<TBitmap>();
    got->bitmap->SetPixelFormat(format);
    if (format == pf8bit) {
        std::vector<PALETTEENTRY> ramp(256);
        for (int i = 0; i < 256; ++i)
            ramp[i] = PALETTEENTRY{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        SetPaletteEntries(got->bitmap->Palette(), 0, 256, ramp.data());
    }
    got->bitmap->SetSize(width, height);
    WalkTiles(cx, cy, cw, ch, [&](const TPiece& piece) {
        const uint32_t index = TileIndex(piece.column, piece.row);
        uint8_t* tile = MapTile(index);
        if (tile == nullptr)
            return;
        got->tiles.push_back(index);
        Daduvudez::KVBitmapMapXCopy(tile, FTileRowLen, int32_t(FBitCount), got->bitmap.get(), piece.offsetX,
                                    piece.offsetY, piece.x - x, piece.y - y, piece.width, piece.height, 0);
    });
    FGotBitmaps.push_back(std::move(got));
    return FGotBitmaps.back()->bitmap.get();
}

void TKVVirtualBitmap::ReleaseBitmap(TBitmap* bitmap)
{
    auto found = std::find_if(FGotBitmaps.begin(), FGotBitmaps.end(),
                              [&](const auto& got) { return got->bitmap.get() == bitmap; });
    if (bitmap == nullptr || found == FGotBitmaps.end())
        return;
    std::unique_ptr<TKVGotBitmap> got = std::move(*found);
    FGotBitmaps.erase(found);
    int32_t cx = got->x, cy = got->y, cw = got->width, ch = got->height;
    size_t next = 0;
    if (CutToImage(cx, cy, cw, ch))
        WalkTiles(cx, cy, cw, ch, [&](const TPiece& piece) {
            const uint32_t index = TileIndex(piece.column, piece.row);
            if (next >= got->tiles.size() || got->tiles[next] != index)
                return;
            ++next;
            auto mapped = FMappedTiles.find(index);
            if (mapped != FMappedTiles.end())
                Daduvudez::KVBitmapMapXCopy(mapped->second.bits, FTileRowLen, int32_t(FBitCount),
                                            got->bitmap.get(), piece.offsetX, piece.offsetY, piece.x - got->x,
                                            piece.y - got->y, piece.width, piece.height, 1);
            UnMapTile(index);
        });
    // Tiles of a walk that no longer matches (never expected) are still given back.
    for (; next < got->tiles.size(); ++next)
        UnMapTile(got->tiles[next]);
}

void TKVVirtualBitmap::CopyFromKVBitmap(TKVBitmap* bitmap, int32_t x, int32_t y, int32_t width,
                                        int32_t height)
{
    if (bitmap == nullptr)
        return;
    const int32_t originX = x, originY = y;
    if (!CutToImage(x, y, width, height))
        return;
    TKVAccessScope readRows(*bitmap, kvdRead);
    WalkTiles(x, y, width, height, [&](const TPiece& piece) {
        const uint32_t index = TileIndex(piece.column, piece.row);
        uint8_t* tile = MapTile(index);
        if (tile == nullptr)
            return;
        Daduvudez::KVBaseBitmapMapXCopy(tile, FTileRowLen, int32_t(FBitCount), bitmap, piece.offsetX,
                                        piece.offsetY, piece.x - originX, piece.y - originY, piece.width,
                                        piece.height, 1);
        UnMapTile(index);
    });
}

// ---------------------------------------------------------------------------------------------
// Drawing

const BITMAPINFO* TKVVirtualBitmap::DrawingInfo(int32_t width, int32_t height, int32_t bitCount)
{
    FInfo.header = BITMAPINFOHEADER{};
    FInfo.header.biWidth = width;
    FInfo.header.biHeight = height;
    FInfo.header.biBitCount = uint16_t(bitCount);
    if (bitCount == 8) {
        for (int i = 0; i < 256; ++i)
            FInfo.colours[i] = RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    } else {
        FInfo.colours[0] = RGBQUAD{};
        FInfo.colours[1] = RGBQUAD{255, 255, 255, 0};
    }
    return reinterpret_cast<const BITMAPINFO*>(&FInfo);
}

void TKVVirtualBitmap::RenderTo(TCanvas* canvas, int32_t xDst, int32_t yDst, int32_t wDst, int32_t hDst,
                                int32_t xSrc, int32_t ySrc, int32_t wSrc, int32_t hSrc, bool filter)
{
    if (canvas == nullptr || wDst <= 0 || hDst <= 0 || wSrc <= 0 || hSrc <= 0)
        return;
    const long double zoomX = static_cast<long double>(wDst) / wSrc;
    const long double zoomY = static_cast<long double>(hDst) / hSrc;
    // Pieces are placed from the requested source origin, so cutting it keeps their places.
    int32_t x = xSrc, y = ySrc, width = wSrc, height = hSrc;
    if (!CutToImage(x, y, width, height))
        return;
    const bool reduce = filter && FBitCount == 1 && (zoomX < 1 || zoomY < 1);
    WalkTiles(x, y, width, height, [&](const TPiece& piece) {
        // Each piece spans from the truncated position of its left (top) edge to that of its right
        // (bottom) edge, so that neighbours meet without a gap or an overlap.
        const int64_t left = xDst + Trunc64((piece.x - xSrc) * zoomX);
        const int64_t right = xDst + Trunc64((piece.x + piece.width - xSrc) * zoomX);
        const int64_t top = yDst + Trunc64((piece.y - ySrc) * zoomY);
        const int64_t bottom = yDst + Trunc64((piece.y + piece.height - ySrc) * zoomY);
        const int32_t dw = int32_t(std::clamp<int64_t>(right - left, 0, INT32_MAX));
        const int32_t dh = int32_t(std::clamp<int64_t>(bottom - top, 0, INT32_MAX));
        if (dw == 0 || dh == 0 || left > INT32_MAX || top > INT32_MAX || right < INT32_MIN ||
            bottom < INT32_MIN)
            return;
        const uint32_t index = TileIndex(piece.column, piece.row);
        uint8_t* tile = MapTile(index);
        if (tile == nullptr)
            return;
        if (reduce) {
            int32_t rowLen = 0;
            const std::vector<uint8_t> bits = BottomUpBits(tile, FTileRowLen, piece.offsetX, piece.offsetY,
                                                           piece.width, piece.height, rowLen);
            std::unique_ptr<uint8_t[]> reduced = Korvaneproc::_SubResample1bitFilteredDIB(
                bits.data(), piece.width, piece.height, 0, 0, piece.width - 1, piece.height - 1, dw, dh);
            if (reduced)
                StretchDIBits(canvas, int32_t(left), int32_t(top), dw, dh, 0, 0, dw, dh, reduced.get(),
                              DrawingInfo(dw, dh, 24), DIB_RGB_COLORS, SRCCOPY);
        } else {
            // Tile rows run top-down: a negative height says so.
            StretchDIBits(canvas, int32_t(left), int32_t(top), dw, dh, piece.offsetX, piece.offsetY,
                          piece.width, piece.height, tile,
                          DrawingInfo(int32_t(FTileWidth), -int32_t(FTileHeight), int32_t(FBitCount)),
                          DIB_RGB_COLORS, SRCCOPY);
        }
        UnMapTile(index);
    });
}
