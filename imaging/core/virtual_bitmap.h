// TKVVirtualBitmap: an image far larger than memory, held as tiles in one temporary file. Only
// the tiles an operation touches are in memory: pixels, a callback over a rectangle, a borrowed
// class-library bitmap of any rectangle, loading from a TKVBitmap and zoomed drawing on a canvas.
#pragma once

#include "imaging/core/file_buffer.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi_records.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class TBitmap;
class TKVBitmap;

// Called for each pixel with its image coordinates and address: the pixel in the tile for 8 and
// 24 bits; for 1 bit a byte holding 0 or the bit's weight, written back when changed.
using TKVVirtualBitmapCallback = void (*)(int32_t x, int32_t y, uint8_t* pixel, void* user);

class TKVVirtualBitmap : public TObject
{
public:
    TKVVirtualBitmap();
    ~TKVVirtualBitmap() override;
    TKVVirtualBitmap(const TKVVirtualBitmap&) = delete;
    TKVVirtualBitmap& operator=(const TKVVirtualBitmap&) = delete;

    // Makes a new temporary file for an image of that size (1, 8 or 24 bits choose the tile
    // size); the content starts black. False when the file cannot be made.
    bool AllocateBits(uint32_t width, uint32_t height, uint32_t bitCount);
    void FreeBits();
    // Each stores its value and, once all three are non-zero, allocates anew (the content is lost).
    void SetWidth(uint32_t value);
    void SetHeight(uint32_t value);
    void SetBitCount(uint32_t value);

    uint32_t Width() const { return FWidth; }
    uint32_t Height() const { return FHeight; }
    uint32_t BitCount() const { return FBitCount; }
    uint32_t TileWidth() const { return FTileWidth; }
    uint32_t TileHeight() const { return FTileHeight; }
    uint32_t TilesAcross() const { return FTilesAcross; }
    uint32_t TilesDown() const { return FTilesDown; }
    int64_t FileSize() const;

    // One pixel: 1 bit as one byte (0 or the bit's weight; any non-zero value sets the bit),
    // 8 bits one byte, 24 bits three bytes blue, green, red. Pixels outside the image are
    // ignored, and read as zeros.
    void GetPixel(int32_t x, int32_t y, uint8_t* pixel);
    void SetPixel(int32_t x, int32_t y, const uint8_t* pixel);

    // Rectangles are cut to the image.
    void ApplyFunction(int32_t x, int32_t y, int32_t width, int32_t height, TKVVirtualBitmapCallback callback,
                       void* user);
    // A copy of the rectangle (pf1bit, pf8bit with a grey ramp or pf24bit), owned here until
    // ReleaseBitmap writes it back; pixels outside the image are black and are not written back.
    // nil for other bit counts or a rectangle that misses the image.
    TBitmap* GetBitmap(int32_t x, int32_t y, int32_t width, int32_t height);
    void ReleaseBitmap(TBitmap* bitmap);
    // Fills the rectangle from the bitmap's pixels at (px - x, py - y); formats must agree.
    void CopyFromKVBitmap(TKVBitmap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height);
    // Draws the source rectangle into the destination rectangle of the canvas; with filter a
    // reduced 1-bit image is averaged instead of sampled.
    void RenderTo(TCanvas* canvas, int32_t xDst, int32_t yDst, int32_t wDst, int32_t hDst, int32_t xSrc,
                  int32_t ySrc, int32_t wSrc, int32_t hSrc, bool filter);

private:
    struct TPiece
    {
        int32_t x, y;          // image coordinates of the piece's top-left pixel
        int32_t width, height; // the piece's size
        uint32_t column, row;  // its tile
        int32_t offsetX, offsetY;
    };
    struct TMappedTile
    {
        uint8_t* bits;
        int32_t uses;
    };
    struct TKVGotBitmap
    {
        int32_t x, y, width, height;
        std::unique_ptr<TBitmap> bitmap;
        std::vector<uint32_t> tiles;
    };

    // The rectangle cut to the image; false when nothing is left.
    bool CutToImage(int32_t& x, int32_t& y, int32_t& width, int32_t& height) const;
    // Calls visit for each piece of the (cut) rectangle, left to right, band by band downward.
    void WalkTiles(int32_t x, int32_t y, int32_t width, int32_t height,
                   const std::function<void(const TPiece&)>& visit) const;
    uint32_t TileIndex(uint32_t column, uint32_t row) const { return row * FTilesAcross + column; }
    int64_t TileBytes() const { return int64_t(FTileRowLen) * FTileHeight; }
    // Tiles are mapped once however many users hold them, so that every user sees one copy.
    uint8_t* MapTile(uint32_t index);
    void UnMapTile(uint32_t index);
    uint8_t* PixelAddress(int32_t x, int32_t y);
    void ReleasePixelTile();
    const BITMAPINFO* DrawingInfo(int32_t width, int32_t height, int32_t bitCount);

    uint32_t FWidth = 0;
    uint32_t FHeight = 0;
    uint32_t FBitCount = 0;
    uint32_t FTileWidth = 512;
    uint32_t FTileHeight = 512;
    // Tile sizes are powers of two: positions split into tile and offset by shifts.
    uint32_t FTileWidthShift = 9;
    uint32_t FTileHeightShift = 9;
    uint32_t FPixelBytes = 0;
    uint32_t FTilesAcross = 0;
    uint32_t FTilesDown = 0;
    int32_t FTileRowLen = 0;
    std::vector<std::unique_ptr<TKVGotBitmap>> FGotBitmaps;
    uint32_t FPixelTileColumn = 65535;
    uint32_t FPixelTileRow = 65535;
    uint8_t* FPixelTile = nullptr;
    struct
    {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } FInfo{};
    std::unique_ptr<TKVFileBuffer> FFileBuffer;
    std::map<uint32_t, TMappedTile> FMappedTiles;
};
