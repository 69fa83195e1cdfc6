// Test helpers of the codec suite: reading the Netpbm images that standard tools print, and the
// check of a refused read.
#pragma once

#include "imaging/core/types.h"
#include "platform/core/streams.h"
#include "tests/support/peak_heap.h"
#include "tests/support/tools.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TKVBitmap;

namespace kvtest {

// A P4, P5 or P6 image (maxval up to 65535), samples widened to 16 bits; P4 bits become samples
// of maxval 1 (white 1).
struct TPnmImage
{
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t MaxValue = 0;
    int32_t Channels = 0; // 1 grey, 3 RGB
    std::vector<uint16_t> Samples;

    bool Valid() const { return Width > 0 && Height > 0 && !Samples.empty(); }
    uint16_t At(int32_t x, int32_t y, int32_t channel) const
    {
        return Samples[(size_t(y) * Width + x) * Channels + channel];
    }
};

TPnmImage ParsePnm(const std::string& bytes);

// Samples brought to 0..255 as the readers scale them (v * 255 / maximum, truncated).
TPnmImage ScaledTo8Bits(const TPnmImage& image);

// Makes bitmap a kv24RGB copy of an 8-bit image.
void PnmToBitmap(const TPnmImage& image, TKVBitmap& bitmap);

// A bitmap's pixels as 8-bit RGB samples (kv1g bits as 0 and 255), top row first.
TPnmImage BitmapSamples(TKVBitmap& bitmap);

// Every byte of the row, its padding included, is 0: a row no data reached, whatever the heap held.
bool RowCleared(TKVBitmap& bitmap, int32_t row);

// The largest difference of any sample between two images (a grey image compares its grey with
// each channel of a colour one); -1 when the sizes differ.
int32_t MaxDifference(const TPnmImage& expected, const TPnmImage& actual);

// The largest difference of any channel between a kv24RGB bitmap and an 8-bit PNM image (grey
// images compare each channel with the grey); -1 when the sizes differ.
int32_t MaxDifference(TKVBitmap& bitmap, const TPnmImage& image);

// The files of the folders whose extension starts with `extension` (".tif" takes ".tiff" too),
// in name order.
std::vector<std::string> FilesIn(const std::vector<std::string>& folders, const std::string& extension);

// A progress record through which a codec sets aborting when it fails.
TProgressRec ProgressInto(bool& aborting);

// Writes bytes (a string or a byte vector) into stream and rewinds it.
template <typename TBytes> void FillStream(TMemoryStream& stream, const TBytes& bytes)
{
    stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    stream.SetPosition(0);
}

// Runs a read into bitmap that must fail, bitmap being first a 3 x 2 picture: success when the
// read set aborted and took under 1 MiB of heap at its peak (memory follows the data, never the
// header's sizes), and left the picture as it was, unless it may leave a partial one of its own.
::testing::AssertionResult RefusedKeepingBitmap(TKVBitmap& bitmap, const bool& aborted,
                                                const std::function<void()>& read, bool partial = false);

} // namespace kvtest
