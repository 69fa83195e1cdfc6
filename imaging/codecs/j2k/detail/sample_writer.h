// Puts the samples of one JPEG 2000 component, as the library hands them over for a tile or a
// window of the picture, into the pixels of a kv1g or kv24RGB bitmap that they cover.
#pragma once

#include "imaging/codecs/j2k/detail/declared_layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class TKVBitmap;

namespace Kvj2000::detail {

// What a component's samples become in a pixel. A pixel's luma and chroma turn into RGB once all
// three are in: as a tile or window is written, where its own samples make the pixel.
enum class TChannel
{
    Bilevel,
    Grey,
    Red,
    Green,
    Blue,
    Luma,
    BlueChroma,
    RedChroma
};

// The picture on the library's reference grid: from (X0, Y0) to (X1, Y1), exclusive.
struct TPictureArea
{
    uint32_t X0 = 0;
    uint32_t Y0 = 0;
    uint32_t X1 = 0;
    uint32_t Y1 = 0;
};

// A block of one component's samples, row after row, the first at (X0, Y0) on the component's
// own grid, which has one sample every StepX x StepY points of the reference grid.
struct TSamplePlane
{
    const void* Data = nullptr;
    uint32_t BytesPerSample = 4; // 1, 2 or 4: signed when Signed, else unsigned
    bool Signed = false;
    uint32_t Precision = 8; // 1 to 31
    uint32_t X0 = 0;
    uint32_t Y0 = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t StepX = 1;
    uint32_t StepY = 1;
};

// The sampling steps, across and down, of the luma and the two chroma components.
using TColourSteps = std::array<std::pair<uint32_t, uint32_t>, 3>;

// The window moved to start and end where every component sampled every stepAcross x stepDown
// points (a common multiple of their steps) has a sample, or the picture starts or ends: its
// pixels then take their samples from the window alone. Ends are moved on, so that the first
// window of a picture keeps pixels.
TPictureArea OnSampleGrid(const TPictureArea& window, const TPictureArea& picture, uint32_t stepAcross,
                          uint32_t stepDown);

// Bytes a sample of that precision takes in the library's tile buffers.
uint32_t TileSampleBytes(uint32_t precision);

class TSampleReader;

struct TChannelPlane
{
    TSamplePlane Plane;
    TChannel Channel = TChannel::Grey;
};

// Writes the samples of tiles or windows into a kv1g or kv24RGB bitmap of the picture's size.
// Each sample goes into the pixels it covers: those whose position on the reference grid,
// divided by the steps, is the sample's; the pixels before a component's first sample take that
// sample. Samples are brought to their top 8 bits, signed ones offset into the unsigned range
// first. A bitmap kept in a file has the rows of the tile or window in hand at once, so that a
// row is read and written back once for each row of tiles, not once for each tile.
class TSampleWriter
{
public:
    TSampleWriter(TKVBitmap& bitmap, const TPictureArea& picture);
    ~TSampleWriter();
    TSampleWriter(const TSampleWriter&) = delete;
    TSampleWriter& operator=(const TSampleWriter&) = delete;

    // The planes of one tile or window, which may lie on different grids. Where its luma and
    // chroma planes all cover a pixel, the pixel turns into RGB.
    void Write(const TChannelPlane* planes, size_t count);
    // Turns into RGB the pixels whose luma and chroma samples lie in different tiles of the grid,
    // once the tiles are in: the steps are those of the luma and the two chroma components, and
    // `written` tells the tiles written, by their index on the grid. Such pixels lie where a tile
    // starts between two samples of a component. One whose samples are not all in a tile written,
    // when a load stops, is cleared, as the pixels of a tile not written are.
    void ConvertTileSeams(const TGridAxis& across, const TGridAxis& down, const TColourSteps& steps,
                          const std::vector<bool>& written);
    // Lets go of the rows in hand.
    void Finish();

private:
    struct TRange
    {
        uint32_t First = 0;
        uint32_t End = 0;
    };
    TRange Coverage(const TSamplePlane& plane, bool across) const;
    void Hold(int32_t top, int32_t bottom);
    void Release();
    uint8_t* Row(int32_t y);
    void WriteRow(const TChannelPlane& plane, const TSampleReader& samples, const TRange& columns,
                  uint32_t sampleRow, uint8_t* row);
    // Where the luma and both chroma planes of a write all reach, empty when it carries none.
    void ColourArea(const TChannelPlane* planes, size_t count, const std::vector<TRange>& columns,
                    const std::vector<TRange>& rows, TRange& across, TRange& down) const;

    TKVBitmap& FBitmap;
    TPictureArea FPicture;
    bool FHolding = false;
    int32_t FTop = 0;
    int32_t FBottom = 0;
};

} // namespace Kvj2000::detail
