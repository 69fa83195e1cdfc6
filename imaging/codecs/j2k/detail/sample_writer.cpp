// Writes JPEG 2000 component samples, a tile or a window at a time, into the bitmap's pixels.
#include "imaging/codecs/j2k/detail/sample_writer.h"

#include "imaging/core/daduvudez.h"
#include "platform/core/rounding.h"

#include <algorithm>
#include <array>
#include <vector>

namespace Kvj2000::detail {

namespace {

// Rows of a file-kept bitmap held at once for one tile or window; a taller one is written a row
// at a time.
constexpr int64_t HeldRowsBytes = int64_t(64) << 20;

// Chroma tables of the YCbCr to RGB conversion, indexed by the 8-bit Cb or Cr.
struct TYCbCrTables
{
    std::array<int32_t, 256> Red, Blue, GreenCr, GreenCb;

    TYCbCrTables()
    {
        const float kr = 0.299f, kg = 0.587f, kb = 0.114f;
        const float crToRed = 2 - 2 * kr, cbToBlue = 2 - 2 * kb;
        const float crToGreen = kr * (2 - 2 * kr) / kg, cbToGreen = kb * (2 - 2 * kb) / kg;
        for (int v = 0; v < 256; ++v) {
            const int i = v - 128;
            Red[size_t(v)] = Round(double(i * crToRed));
            Blue[size_t(v)] = Round(double(i * cbToBlue));
            GreenCr[size_t(v)] = -Round(double(i * crToGreen));
            GreenCb[size_t(v)] = -Round(double(i * cbToGreen));
        }
    }
};

const TYCbCrTables& Tables()
{
    static const TYCbCrTables tables;
    return tables;
}

uint8_t Clamp8(int32_t value)
{
    return uint8_t(std::clamp(value, 0, 255));
}

// Turns the pixels of a row from luma (first byte), blue chroma (second) and red chroma (third)
// into RGB.
void ConvertToRGB(uint8_t* row, uint32_t from, uint32_t to)
{
    const TYCbCrTables& tables = Tables();
    auto* pixels = reinterpret_cast<TRGB*>(row);
    for (uint32_t x = from; x < to; ++x) {
        const int32_t luma = pixels[x].b, cb = pixels[x].g, cr = pixels[x].r;
        pixels[x] = TRGB{Clamp8(luma + tables.Blue[size_t(cb)]),
                         Clamp8(luma + tables.GreenCb[size_t(cb)] + tables.GreenCr[size_t(cr)]),
                         Clamp8(luma + tables.Red[size_t(cr)])};
    }
}

// Along one axis of the picture, the tile, counted along the axis, of each of the three samples of
// luma and chroma that make a pixel: a pixel takes the sample at or before it, or the component's
// first.
std::vector<std::array<uint32_t, 3>> SampleTilesAlong(const TGridAxis& axis, uint32_t start, uint32_t end,
                                                      const uint32_t (&steps)[3])
{
    std::vector<std::array<uint32_t, 3>> tiles(end - start);
    for (uint32_t x = start; x < end && axis.TileSize > 0; ++x) {
        for (size_t c = 0; c < 3; ++c) {
            const uint64_t step = std::max(steps[c], 1u);
            const uint64_t sample = std::max<uint64_t>(x / step, CeilDiv(start, step));
            tiles[x - start][c] = uint32_t((sample * step - axis.TileStart) / axis.TileSize);
        }
    }
    return tiles;
}

bool AllAlike(const std::array<uint32_t, 3>& tiles)
{
    return tiles[0] == tiles[1] && tiles[0] == tiles[2];
}

} // namespace

// A sample as the library stores it, and what it becomes in 8 bits.
class TSampleReader
{
public:
    explicit TSampleReader(const TSamplePlane& plane)
        : FPlane(plane), FShift(int32_t(plane.Precision) - 8),
          FOffset(plane.Signed ? int64_t(1) << (plane.Precision - 1) : 0),
          FMaximum((int64_t(1) << plane.Precision) - 1)
    {
        // One-byte samples, the usual ones, go through a table.
        if (plane.BytesPerSample == 1) {
            for (int32_t raw = 0; raw < 256; ++raw) {
                const int64_t value = plane.Signed ? int64_t(int8_t(raw)) : raw;
                FTable[size_t(raw)] = Top8(value);
                FNonZero[size_t(raw)] = value + FOffset != 0;
            }
        }
    }

    uint8_t At(size_t index) const
    {
        switch (FPlane.BytesPerSample) {
        case 1:
            return FTable[static_cast<const uint8_t*>(FPlane.Data)[index]];
        case 2:
            return Top8(Raw16(index));
        default:
            return Top8(static_cast<const int32_t*>(FPlane.Data)[index]);
        }
    }

    // Count samples from the first, in 8 bits, every stride bytes of out: the loop of a row of
    // colour samples, one per pixel.
    void Convert(size_t first, uint32_t count, uint8_t* out, size_t stride) const
    {
        switch (FPlane.BytesPerSample) {
        case 1: {
            const uint8_t* in = static_cast<const uint8_t*>(FPlane.Data) + first;
            for (uint32_t i = 0; i < count; ++i) {
                out[i * stride] = FTable[in[i]];
            }
            break;
        }
        case 2:
            for (uint32_t i = 0; i < count; ++i) {
                out[i * stride] = Top8(Raw16(first + i));
            }
            break;
        default: {
            const int32_t* in = static_cast<const int32_t*>(FPlane.Data) + first;
            for (uint32_t i = 0; i < count; ++i) {
                out[i * stride] = Top8(in[i]);
            }
            break;
        }
        }
    }

    bool NonZero(size_t index) const
    {
        switch (FPlane.BytesPerSample) {
        case 1:
            return FNonZero[static_cast<const uint8_t*>(FPlane.Data)[index]];
        case 2:
            return Raw16(index) + FOffset != 0;
        default:
            return static_cast<const int32_t*>(FPlane.Data)[index] + FOffset != 0;
        }
    }

private:
    int64_t Raw16(size_t index) const
    {
        const uint16_t raw = static_cast<const uint16_t*>(FPlane.Data)[index];
        return FPlane.Signed ? int64_t(int16_t(raw)) : int64_t(raw);
    }

    uint8_t Top8(int64_t raw) const
    {
        const int64_t value = std::clamp<int64_t>(raw + FOffset, 0, FMaximum);
        return uint8_t(FShift >= 0 ? value >> FShift : value << -FShift);
    }

    const TSamplePlane& FPlane;
    int32_t FShift;
    int64_t FOffset;
    int64_t FMaximum;
    std::array<uint8_t, 256> FTable{};
    std::array<bool, 256> FNonZero{};
};

namespace {

// The sample of a component that covers a point of the reference grid, as an index from the
// block's first sample: points before the component's first sample take it.
uint32_t SampleAt(uint64_t point, uint32_t step, uint32_t first)
{
    const uint64_t sample = point / step;
    return sample < first ? 0 : uint32_t(sample - first);
}

size_t ByteOf(TChannel channel)
{
    switch (channel) {
    case TChannel::Red:
    case TChannel::RedChroma:
        return 2;
    case TChannel::Green:
    case TChannel::BlueChroma:
        return 1;
    default:
        return 0;
    }
}

} // namespace

TPictureArea OnSampleGrid(const TPictureArea& window, const TPictureArea& picture, uint32_t stepAcross,
                          uint32_t stepDown)
{
    const auto onGrid = [](uint32_t edge, uint32_t start, uint32_t end, uint32_t step) {
        const uint64_t moved = CeilDiv(edge, std::max(step, 1u)) * std::max(step, 1u);
        return edge <= start ? start : uint32_t(std::min<uint64_t>(moved, end));
    };
    return {onGrid(window.X0, picture.X0, picture.X1, stepAcross),
            onGrid(window.Y0, picture.Y0, picture.Y1, stepDown),
            onGrid(window.X1, picture.X0, picture.X1, stepAcross),
            onGrid(window.Y1, picture.Y0, picture.Y1, stepDown)};
}

uint32_t TileSampleBytes(uint32_t precision)
{
    return precision <= 8 ? 1 : precision <= 16 ? 2 : 4;
}

TSampleWriter::TSampleWriter(TKVBitmap& bitmap, const TPictureArea& picture)
    : FBitmap(bitmap), FPicture(picture)
{
}

TSampleWriter::~TSampleWriter()
{
    Release();
}

TSampleWriter::TRange TSampleWriter::Coverage(const TSamplePlane& plane, bool across) const
{
    const uint32_t step = std::max(across ? plane.StepX : plane.StepY, 1u);
    const uint32_t start = across ? FPicture.X0 : FPicture.Y0, end = across ? FPicture.X1 : FPicture.Y1;
    const uint64_t first = across ? plane.X0 : plane.Y0, count = across ? plane.Width : plane.Height;
    const uint64_t componentFirst = (uint64_t(start) + step - 1) / step;
    const uint64_t from = first <= componentFirst ? start : first * step;
    const uint64_t to = std::min<uint64_t>((first + count) * step, end);
    return count == 0 || to <= from ? TRange{} : TRange{uint32_t(from), uint32_t(to)};
}

void TSampleWriter::Write(const TChannelPlane* planes, size_t count)
{
    std::vector<TRange> columns(count), rows(count);
    uint32_t top = UINT32_MAX, bottom = 0;
    for (size_t i = 0; i < count; ++i) {
        columns[i] = Coverage(planes[i].Plane, true);
        rows[i] = Coverage(planes[i].Plane, false);
        if (columns[i].End > columns[i].First && rows[i].End > rows[i].First) {
            top = std::min(top, rows[i].First);
            bottom = std::max(bottom, rows[i].End);
        }
    }
    if (top >= bottom) {
        return;
    }
    TRange colourAcross, colourDown;
    ColourArea(planes, count, columns, rows, colourAcross, colourDown);
    std::vector<TSampleReader> samples;
    samples.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        samples.emplace_back(planes[i].Plane);
    }
    Hold(int32_t(top - FPicture.Y0), int32_t(bottom - FPicture.Y0));
    for (uint32_t y = top; y < bottom; ++y) {
        uint8_t* row = Row(int32_t(y - FPicture.Y0));
        for (size_t i = 0; i < count; ++i) {
            const TSamplePlane& plane = planes[i].Plane;
            if (y >= rows[i].First && y < rows[i].End && columns[i].End > columns[i].First) {
                WriteRow(planes[i], samples[i], columns[i], SampleAt(y, std::max(plane.StepY, 1u), plane.Y0),
                         row);
            }
        }
        if (y >= colourDown.First && y < colourDown.End) {
            ConvertToRGB(row, colourAcross.First - FPicture.X0, colourAcross.End - FPicture.X0);
        }
    }
}

void TSampleWriter::ColourArea(const TChannelPlane* planes, size_t count, const std::vector<TRange>& columns,
                               const std::vector<TRange>& rows, TRange& across, TRange& down) const
{
    across = {0, UINT32_MAX};
    down = {0, UINT32_MAX};
    size_t found = 0;
    for (size_t i = 0; i < count; ++i) {
        const TChannel channel = planes[i].Channel;
        if (channel == TChannel::Luma || channel == TChannel::BlueChroma || channel == TChannel::RedChroma) {
            ++found;
            across = {std::max(across.First, columns[i].First), std::min(across.End, columns[i].End)};
            down = {std::max(down.First, rows[i].First), std::min(down.End, rows[i].End)};
        }
    }
    if (found != 3 || across.First >= across.End || down.First >= down.End) {
        across = down = TRange{};
    }
}

void TSampleWriter::WriteRow(const TChannelPlane& channelPlane, const TSampleReader& samples,
                             const TRange& columns, uint32_t sampleRow, uint8_t* row)
{
    const TSamplePlane& plane = channelPlane.Plane;
    const uint32_t step = std::max(plane.StepX, 1u);
    const size_t rowStart = size_t(sampleRow) * plane.Width;
    const uint32_t from = columns.First - FPicture.X0, to = columns.End - FPicture.X0;
    auto sampleOf = [&](uint32_t x) {
        return rowStart +
               (step == 1 ? x + FPicture.X0 - plane.X0 : SampleAt(x + FPicture.X0, step, plane.X0));
    };
    if (channelPlane.Channel == TChannel::Bilevel) {
        for (uint32_t x = from; x < to; ++x) {
            const uint8_t mask = uint8_t(0x80 >> (x & 7));
            row[x >> 3] = samples.NonZero(sampleOf(x)) ? row[x >> 3] | mask : row[x >> 3] & ~mask;
        }
    } else if (channelPlane.Channel == TChannel::Grey) {
        for (uint32_t x = from; x < to; ++x) {
            const uint8_t v = samples.At(sampleOf(x));
            row[3 * size_t(x)] = row[3 * size_t(x) + 1] = row[3 * size_t(x) + 2] = v;
        }
    } else {
        uint8_t* bytes = row + ByteOf(channelPlane.Channel);
        if (step == 1) {
            samples.Convert(sampleOf(from), to - from, bytes + 3 * size_t(from), 3);
            return;
        }
        for (uint32_t x = from; x < to; ++x) {
            bytes[3 * size_t(x)] = samples.At(sampleOf(x));
        }
    }
}

void TSampleWriter::Hold(int32_t top, int32_t bottom)
{
    if (FBitmap.Location() != kvFile || (FHolding && top == FTop && bottom == FBottom)) {
        return;
    }
    Release();
    if (int64_t(bottom - top) * FBitmap.GetRowLen() > HeldRowsBytes) {
        return;
    }
    for (int32_t y = top; y < bottom; ++y) {
        FBitmap.GetRow(y);
    }
    FHolding = true;
    FTop = top;
    FBottom = bottom;
}

void TSampleWriter::Release()
{
    if (!FHolding) {
        return;
    }
    FHolding = false;
    for (int32_t y = FTop; y < FBottom; ++y) {
        FBitmap.FreeRow(y);
    }
}

uint8_t* TSampleWriter::Row(int32_t y)
{
    // A held row is found again by GetScanLine, which then maps no other.
    return FBitmap.GetScanLine(y);
}

void TSampleWriter::ConvertTileSeams(const TGridAxis& across, const TGridAxis& down,
                                     const TColourSteps& steps, const std::vector<bool>& written)
{
    Release();
    const uint32_t stepsAcross[3] = {steps[0].first, steps[1].first, steps[2].first};
    const uint32_t stepsDown[3] = {steps[0].second, steps[1].second, steps[2].second};
    const auto columns = SampleTilesAlong(across, FPicture.X0, FPicture.X1, stepsAcross);
    const auto rows = SampleTilesAlong(down, FPicture.Y0, FPicture.Y1, stepsDown);
    std::vector<uint32_t> seamColumns;
    for (uint32_t x = 0; x < columns.size(); ++x) {
        if (!AllAlike(columns[x])) {
            seamColumns.push_back(x);
        }
    }
    const uint64_t tilesAcross = TilesAlong(across);
    const auto convert = [&](uint8_t* row, uint32_t x, const std::array<uint32_t, 3>& rowTiles) {
        bool whole = true;
        for (size_t c = 0; c < 3; ++c) {
            const uint64_t tile = rowTiles[c] * tilesAcross + columns[x][c];
            whole = whole && tile < written.size() && written[tile];
        }
        if (whole) {
            ConvertToRGB(row, x, x + 1);
        } else {
            reinterpret_cast<TRGB*>(row)[x] = TRGB{0, 0, 0};
        }
    };
    for (uint32_t y = 0; y < rows.size(); ++y) {
        const bool seamRow = !AllAlike(rows[y]);
        if (!seamRow && seamColumns.empty()) {
            continue;
        }
        uint8_t* row = FBitmap.GetScanLine(int32_t(y));
        if (seamRow) {
            for (uint32_t x = 0; x < columns.size(); ++x) {
                convert(row, x, rows[y]);
            }
            continue;
        }
        for (uint32_t x : seamColumns) {
            convert(row, x, rows[y]);
        }
    }
}

void TSampleWriter::Finish()
{
    Release();
}

} // namespace Kvj2000::detail
