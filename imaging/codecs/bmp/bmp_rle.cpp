// Run-length coding of 4- and 8-bit BMP pixel data.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/bmp/detail/rle_decode.h"

#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/daduvudez.h"

#include <algorithm>
#include <functional>

namespace Bmpfilt {

namespace {

// Writes decoded pixels into the rows of a kv24RGB bitmap of the size given. Pixels right of the
// last column are dropped, so no write leaves the row. Nothing touches the bitmap before Start,
// which the first code that fits the picture calls: a caller can make the bitmap only then.
class RleTarget
{
public:
    RleTarget(TKVBitmap& bitmap, int32_t width, int32_t height, int32_t startRow, TProgressRec& progress,
              const std::function<void()>& make)
        : FBitmap(bitmap), FWidth(width), FHeight(height), FStartRow(startRow), FProgress(progress),
          FMake(make), FStep(FHeight > 0 ? 100.0 / FHeight : 0)
    {
    }

    bool Aborted() const { return FProgress.Aborting && *FProgress.Aborting; }
    void Fail() { CodecSetAborting(FProgress); }

    // A code was taken: the picture exists from here on.
    void Start()
    {
        if (!FStarted) {
            Begin();
        }
    }

    // Every row has had its end of line: only the end-of-line and end-of-bitmap codes may follow.
    bool PastLastRow() const { return FStoredRow >= FHeight; }
    // Where the data may not end without an end of bitmap: before the last row is full.
    bool Unfinished() const { return FStoredRow < FHeight - 1 || (FStoredRow == FHeight - 1 && FX < FWidth); }
    bool MoveFits(int32_t dx, int32_t dy) const { return FX + dx <= FWidth && FStoredRow + dy < FHeight; }

    // An absolute run: count pixels of their own indexes (two to a byte, high nibble first, for
    // Nibbles). False when they run past the row: those past it are dropped.
    template <bool Nibbles> bool Literals(const uint8_t* indexes, int32_t count, const TRGB* palette)
    {
        const int32_t pixels = std::min(count, FWidth - FX);
        TRGB* out = FRow + FX;
        for (int32_t i = 0; i < pixels; i++) {
            out[i] = palette[Nibbles ? (i & 1 ? indexes[i / 2] & 15 : indexes[i / 2] >> 4) : indexes[i]];
        }
        FX += pixels;
        return pixels == count;
    }

    // An encoded run: count pixels alternating first and second, those past the row dropped.
    void Run(const TRGB& first, const TRGB& second, int32_t count)
    {
        const int32_t pixels = std::min(count, FWidth - FX);
        TRGB* out = FRow + FX;
        for (int32_t i = 0; i < pixels; i++) {
            out[i] = i & 1 ? second : first;
        }
        FX += pixels;
    }

    void EndOfLine()
    {
        FStoredRow++;
        FX = 0;
        Report();
        MapRow();
    }

    void Delta(int32_t dx, int32_t dy)
    {
        FX += dx;
        if (dy > 0) {
            FStoredRow += dy;
            MapRow();
        }
    }

private:
    void Begin()
    {
        FStarted = true;
        if (FMake) {
            FMake();
        }
        Report();
        MapRow();
    }

    void MapRow()
    {
        FRow = nullptr;
        if (FStoredRow < FHeight) {
            int32_t row = FStartRow - (FHeight - 1 - FStoredRow);
            FRow = reinterpret_cast<TRGB*>(FBitmap.GetScanLine(row < 0 ? -row : row));
        }
    }

    void Report()
    {
        if (FProgress.OnProgress)
            FProgress.OnProgress(FProgress.Sender, int32_t(FStoredRow * FStep));
    }

    TKVBitmap& FBitmap;
    int32_t FWidth;
    int32_t FHeight;
    int32_t FStartRow;
    TProgressRec& FProgress;
    const std::function<void()>& FMake;
    double FStep;
    int32_t FStoredRow = 0;
    int32_t FX = 0;
    TRGB* FRow = nullptr;
    bool FStarted = false;
};

// Data that runs past the picture fails with the rows decoded kept: pixels or a move after the
// last row, a move out of the picture, literal pixels past the end of their row (the extra ones
// dropped), and data that ends, without its end of bitmap, before the last row is full. Runs
// longer than their row are common in files that are otherwise sound: their extra pixels are
// dropped.
template <bool Nibbles>
void DecodeRLE(TKVBitmap& bitmap, int32_t width, int32_t height, const std::function<void()>& make,
               const uint8_t* data, int64_t length, int32_t startRow, TProgressRec& progress,
               const TRGB* palette)
{
    RleTarget target(bitmap, width, height, startRow, progress, make);
    int64_t at = 0;
    while (at + 2 <= length && !target.Aborted()) {
        const uint8_t count = data[at], code = data[at + 1];
        at += 2;
        if (target.PastLastRow()) {
            if (count != 0 || code > 1) {
                target.Fail();
            }
            return;
        }
        if (count > 0) {
            target.Start();
            target.Run(palette[Nibbles ? code >> 4 : code], palette[Nibbles ? code & 15 : code], count);
            continue;
        }
        if (code == 0) {
            target.Start();
            target.EndOfLine();
        } else if (code == 1) {
            target.Start();
            return;
        } else if (code == 2) {
            if (at + 2 > length || !target.MoveFits(data[at], data[at + 1])) {
                break;
            }
            target.Start();
            target.Delta(data[at], data[at + 1]);
            at += 2;
        } else {
            const int64_t bytes = Nibbles ? (code + 1) / 2 : code;
            if (at + bytes > length) {
                break;
            }
            target.Start();
            if (!target.Literals<Nibbles>(data + at, code, palette)) {
                target.Fail();
                return;
            }
            at += bytes + (bytes & 1); // absolute runs are padded to 16 bits
        }
    }
    // The data ended, or broke off at an escape it does not hold or a move out of the picture.
    if (at + 2 <= length || target.Unfinished()) {
        target.Fail();
    }
}

template <bool Nibbles> int32_t EncodeRLE(const uint8_t* indexes, int32_t count, uint8_t* output)
{
    int32_t out = 0;
    auto flush = [&](int32_t from, int32_t to) {
        while (from < to) {
            int32_t k = std::min(to - from, 255);
            const uint8_t* p = indexes + from;
            if (k == 1) {
                output[out++] = 1;
                output[out++] = Nibbles ? uint8_t(p[0] << 4) : p[0];
            } else if (k == 2 && !Nibbles) {
                output[out++] = 1;
                output[out++] = p[0];
                output[out++] = 1;
                output[out++] = p[1];
            } else if (k == 2) {
                output[out++] = 2;
                output[out++] = uint8_t((p[0] << 4) | (p[1] & 15));
            } else {
                output[out++] = 0;
                output[out++] = uint8_t(k);
                int32_t bytes;
                if (Nibbles) {
                    bytes = k / 2 + k % 2;
                    for (int32_t i = 0; i < k; i += 2)
                        output[out++] = uint8_t((p[i] << 4) | (i + 1 < k ? p[i + 1] & 15 : 0));
                } else {
                    bytes = k;
                    for (int32_t i = 0; i < k; i++)
                        output[out++] = p[i];
                }
                if (bytes & 1)
                    output[out++] = 0;
            }
            from += k;
        }
    };
    int32_t literalStart = 0, i = 0;
    while (i < count) {
        if (i - literalStart > 255) {
            flush(literalStart, i);
            literalStart = i;
        }
        if (i + 1 < count && indexes[i] == indexes[i + 1]) {
            flush(literalStart, i);
            int32_t j = i + 2;
            while (j < count && indexes[j] == indexes[i] && j - i < 255)
                j++;
            output[out++] = uint8_t(j - i);
            output[out++] = Nibbles ? uint8_t(indexes[i] * 16 + (indexes[i] & 15)) : indexes[i];
            literalStart = i = j;
        } else {
            i++;
        }
    }
    flush(literalStart, i);
    output[out++] = 0;
    output[out++] = 0;
    return out;
}

} // namespace

void DecodeRLE4(TKVBitmap& Bitmap, const uint8_t* Data, int64_t DataLength, int32_t StartRow,
                TProgressRec& Progress, const TRGB* Palette)
{
    DecodeRLE<true>(Bitmap, Bitmap.GetWidth(), Bitmap.GetHeight(), {}, Data, DataLength, StartRow, Progress,
                    Palette);
}

void DecodeRLE8(TKVBitmap& Bitmap, const uint8_t* Data, int64_t DataLength, int32_t StartRow,
                TProgressRec& Progress, const TRGB* Palette)
{
    DecodeRLE<false>(Bitmap, Bitmap.GetWidth(), Bitmap.GetHeight(), {}, Data, DataLength, StartRow, Progress,
                     Palette);
}

void detail::DecodeRLEMaking(TKVBitmap& Bitmap, int32_t Width, int32_t Height,
                             const std::function<void()>& Make, bool Nibbles, const uint8_t* Data,
                             int64_t DataLength, int32_t StartRow, TProgressRec& Progress,
                             const TRGB* Palette)
{
    if (Nibbles) {
        DecodeRLE<true>(Bitmap, Width, Height, Make, Data, DataLength, StartRow, Progress, Palette);
    } else {
        DecodeRLE<false>(Bitmap, Width, Height, Make, Data, DataLength, StartRow, Progress, Palette);
    }
}

int32_t EncodeRLE4(const uint8_t* Indexes, int32_t Count, uint8_t* Output)
{
    return EncodeRLE<true>(Indexes, Count, Output);
}

int32_t EncodeRLE8(const uint8_t* Indexes, int32_t Count, uint8_t* Output)
{
    return EncodeRLE<false>(Indexes, Count, Output);
}

} // namespace Bmpfilt
