// Test helpers of the codec suite: standard tools, Netpbm images and refused reads.
#include "tests/codecs/codec_tools.h"

#include "imaging/core/daduvudez.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

namespace kvtest {

TPnmImage ParsePnm(const std::string& bytes)
{
    TPnmImage image;
    if (bytes.size() < 3 || bytes[0] != 'P' || bytes[1] < '4' || bytes[1] > '6') {
        return image;
    }
    size_t pos = 2;
    auto number = [&bytes, &pos]() -> int32_t {
        while (pos < bytes.size() &&
               (std::isspace(static_cast<unsigned char>(bytes[pos])) || bytes[pos] == '#')) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') {
                    ++pos;
                }
            } else {
                ++pos;
            }
        }
        int32_t value = 0;
        while (pos < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[pos]))) {
            value = value * 10 + (bytes[pos++] - '0');
        }
        return value;
    };
    const bool bits = bytes[1] == '4';
    const int32_t channels = bytes[1] == '6' ? 3 : 1;
    const int32_t width = number();
    const int32_t height = number();
    const int32_t maxValue = bits ? 1 : number();
    ++pos; // the single whitespace before the samples
    if (bits) {
        // P4: rows of packed bits, 1 black; given here as samples 0 (black) and 1 (white).
        const size_t rowBytes = (size_t(width) + 7) / 8;
        if (width <= 0 || height <= 0 || bytes.size() < pos + rowBytes * height) {
            return image;
        }
        image.Width = width;
        image.Height = height;
        image.MaxValue = 1;
        image.Channels = 1;
        image.Samples.resize(size_t(width) * height);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const auto byte = static_cast<uint8_t>(bytes[pos + y * rowBytes + x / 8]);
                image.Samples[size_t(y) * width + x] = (byte & (0x80 >> (x % 8))) != 0 ? 0 : 1;
            }
        }
        return image;
    }
    const size_t sampleBytes = maxValue > 255 ? 2 : 1;
    const size_t count = size_t(width) * height * channels;
    if (width <= 0 || height <= 0 || maxValue <= 0 || bytes.size() < pos + count * sampleBytes) {
        return image;
    }
    image.Width = width;
    image.Height = height;
    image.MaxValue = maxValue;
    image.Channels = channels;
    image.Samples.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + pos + i * sampleBytes);
        image.Samples[i] = sampleBytes == 2 ? uint16_t(p[0] << 8 | p[1]) : p[0];
    }
    return image;
}

TPnmImage ScaledTo8Bits(const TPnmImage& image)
{
    TPnmImage scaled = image;
    scaled.MaxValue = 255;
    for (uint16_t& sample : scaled.Samples) {
        sample = uint16_t(uint32_t(sample) * 255 / uint32_t(image.MaxValue));
    }
    return scaled;
}

void PnmToBitmap(const TPnmImage& image, TKVBitmap& bitmap)
{
    bitmap.Allocate(image.Width, image.Height, kv24RGB);
    for (int32_t y = 0; y < image.Height; ++y) {
        auto* row = reinterpret_cast<TRGB*>(bitmap.GetScanLine(y));
        for (int32_t x = 0; x < image.Width; ++x) {
            const int32_t g = image.Channels == 3 ? 1 : 0, b = image.Channels == 3 ? 2 : 0;
            row[x] = TRGB{uint8_t(image.At(x, y, b)), uint8_t(image.At(x, y, g)), uint8_t(image.At(x, y, 0))};
        }
    }
}

TPnmImage BitmapSamples(TKVBitmap& bitmap)
{
    TPnmImage image;
    image.Width = bitmap.GetWidth();
    image.Height = bitmap.GetHeight();
    image.MaxValue = 255;
    image.Channels = 3;
    for (int32_t y = 0; y < image.Height; ++y) {
        const uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < image.Width; ++x) {
            if (bitmap.GetPixelFormat() == kv1g) {
                const uint16_t v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
                image.Samples.insert(image.Samples.end(), {v, v, v});
            } else {
                const uint8_t* p = row + 3 * x;
                image.Samples.insert(image.Samples.end(), {p[2], p[1], p[0]});
            }
        }
    }
    return image;
}

bool RowCleared(TKVBitmap& bitmap, int32_t row)
{
    const uint8_t* bytes = bitmap.GetScanLine(row);
    return bytes != nullptr &&
           std::all_of(bytes, bytes + bitmap.GetRowLen(), [](uint8_t b) { return b == 0; });
}

int32_t MaxDifference(const TPnmImage& expected, const TPnmImage& actual)
{
    if (expected.Width != actual.Width || expected.Height != actual.Height || !expected.Valid() ||
        !actual.Valid()) {
        return -1;
    }
    const int32_t channels = std::max(expected.Channels, actual.Channels);
    int32_t worst = 0;
    for (int32_t y = 0; y < expected.Height; ++y) {
        for (int32_t x = 0; x < expected.Width; ++x) {
            for (int32_t c = 0; c < channels; ++c) {
                const int32_t a = expected.At(x, y, expected.Channels == 3 ? c : 0);
                const int32_t b = actual.At(x, y, actual.Channels == 3 ? c : 0);
                worst = std::max(worst, std::abs(a - b));
            }
        }
    }
    return worst;
}

int32_t MaxDifference(TKVBitmap& bitmap, const TPnmImage& image)
{
    if (bitmap.GetWidth() != image.Width || bitmap.GetHeight() != image.Height) {
        return -1;
    }
    int32_t worst = 0;
    for (int32_t y = 0; y < image.Height; ++y) {
        const uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t x = 0; x < image.Width; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t expected = image.At(x, y, image.Channels == 3 ? c : 0);
                const int32_t actual = row[3 * x + (2 - c)]; // rows are blue, green, red
                worst = std::max(worst, std::abs(expected - actual));
            }
        }
    }
    return worst;
}

::testing::AssertionResult RefusedKeepingBitmap(TKVBitmap& bitmap, const bool& aborted,
                                                const std::function<void()>& read, bool partial)
{
    bitmap.Allocate(3, 2, kv24RGB);
    bitmap.Fill(0x40);
    const std::vector<uint16_t> before = BitmapSamples(bitmap).Samples;
    const int64_t peak = PeakHeapOf(read);
    if (!aborted) {
        return ::testing::AssertionFailure() << "the read did not fail";
    }
    if (peak >= int64_t(1) << 20) {
        return ::testing::AssertionFailure() << "the read took " << peak << " bytes of heap";
    }
    if (!partial && BitmapSamples(bitmap).Samples != before) {
        return ::testing::AssertionFailure() << "the picture changed";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> FilesIn(const std::vector<std::string>& folders, const std::string& extension)
{
    std::vector<std::string> files;
    for (const std::string& folder : folders) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.path().extension().string().starts_with(extension)) {
                files.push_back(entry.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TProgressRec ProgressInto(bool& aborting)
{
    TProgressRec progress;
    progress.Aborting = &aborting;
    return progress;
}

} // namespace kvtest
