// The 3 x 3 convolution of 24-bit and 8-bit grey images, its preset kernels and the filter file.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/core/detail/row_kernel.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/streams.h"

#include <cstdlib>
#include <cstring>

namespace Korvaneproc {

using namespace detail;

const TGraphFilter KVFiltPres[9] = {
    {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0},         // fpNone
    {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9},         // fpBlur
    {{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1},        // fpEdge
    {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1},      // fpEmboss
    {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1},     // fpHighPass1
    {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1}, // fpHighPass2
    {{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1},     // fpHighPass3
    {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10},        // LowPass1
    {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16},        // LowPass2
};

namespace {

// Largest coefficient magnitude for which nine products of 255 still add up inside 32 bits.
constexpr int64_t MaxNarrowCoefficient = (int64_t(INT32_MAX) / 9) / 255;
// Sums of a range up to this wide are divided through a table.
constexpr int64_t MaxQuotientTable = int64_t(1) << 20;

// The sums of one output row: the rows above, at and below, each padded by one repeated pixel on
// both sides, so that the neighbours of output byte i are the bytes i, i + step and i + 2 step.
template <typename Sum>
KV_ROW_KERNEL void KernelSums(const uint8_t* __restrict above, const uint8_t* __restrict own,
                              const uint8_t* __restrict below, Sum* __restrict sums, size_t count,
                              size_t step, const int32_t* kernel)
{
    const Sum k0 = kernel[0], k1 = kernel[1], k2 = kernel[2], k3 = kernel[3], k4 = kernel[4];
    const Sum k5 = kernel[5], k6 = kernel[6], k7 = kernel[7], k8 = kernel[8];
    for (size_t i = 0; i < count; ++i)
        sums[i] = k0 * above[i] + k1 * above[i + step] + k2 * above[i + 2 * step] + k3 * own[i] +
                  k4 * own[i + step] + k5 * own[i + 2 * step] + k6 * below[i] + k7 * below[i + step] +
                  k8 * below[i + 2 * step];
}

// A sum divided toward zero and clamped to 0..255.
template <typename Sum> uint8_t Quotient(Sum sum, Sum divisor)
{
    const Sum v = sum / divisor;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

void Convolve(TKVBitmap* bitmap, const TGraphFilter& filter, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              const TKVProgressEvent& onProgress, TObject* sender)
{
    if (!CutRect(bitmap, x1, y1, x2, y2))
        return;
    const int32_t width = bitmap->GetWidth(), height = bitmap->GetHeight();
    const int32_t bpp = bitmap->GetBitCount() / 8;
    // The source rows the rectangle reads, one pixel wider on each side where the image goes on.
    const int32_t sx1 = std::max(x1 - 1, 0), sx2 = std::min(x2 + 1, width);
    const int32_t sy1 = std::max(y1 - 1, 0), sy2 = std::min(y2 + 1, height);
    const PixelBlock source = ReadBlock(bitmap, sx1, sy1, sx2, sy2);

    // Each source row once more with a repeated pixel on both sides: column c of the image is at
    // padded position c - x1 + 1.
    const size_t count = size_t(x2 - x1) * bpp, step = size_t(bpp);
    std::vector<uint8_t> padded = Scratch<uint8_t>(uint64_t(source.height) * (count + 2 * step));
    const size_t paddedStride = count + 2 * step;
    for (int32_t r = 0; r < source.height; ++r) {
        uint8_t* p = padded.data() + paddedStride * r;
        const uint8_t* s = source.Row(r);
        for (int32_t c = x1 - 1; c <= x2; ++c) {
            const int32_t clamped = std::clamp(c, 0, width - 1);
            std::memcpy(p + size_t(c - x1 + 1) * bpp, s + size_t(clamped - sx1) * bpp, step);
        }
    }

    int64_t largest = 0, lowest = 0, highest = 0;
    for (int32_t v : filter.Values) {
        largest = std::max<int64_t>(largest, std::abs(int64_t(v)));
        (v < 0 ? lowest : highest) += int64_t(v) * 255;
    }
    const bool narrow = largest <= MaxNarrowCoefficient;
    const int64_t divisor = filter.Divisor == 0 ? 1 : filter.Divisor;
    // The quotient of every sum the kernel can make, when there are few.
    std::vector<uint8_t> quotients;
    if (narrow && highest - lowest < MaxQuotientTable) {
        quotients.resize(size_t(highest - lowest + 1));
        for (int64_t sum = lowest; sum <= highest; ++sum)
            quotients[size_t(sum - lowest)] = Quotient<int64_t>(sum, divisor);
    }

    PixelBlock result;
    result.x = x1;
    result.y = y1;
    result.width = x2 - x1;
    result.height = y2 - y1;
    result.bytesPerPixel = bpp;
    result.bytes = Scratch<uint8_t>(uint64_t(result.Stride()) * result.height);
    auto sourceRow = [&](int32_t y) {
        return padded.data() + paddedStride * (std::clamp(y, 0, height - 1) - sy1);
    };
    std::vector<int32_t> narrowSums(narrow ? count : 0);
    std::vector<int64_t> wideSums(narrow ? 0 : count);
    for (int32_t y = y1; y < y2; ++y) {
        uint8_t* out = result.Row(y - y1);
        if (!narrow) {
            KernelSums(sourceRow(y - 1), sourceRow(y), sourceRow(y + 1), wideSums.data(), count, step,
                       filter.Values);
            for (size_t i = 0; i < count; ++i)
                out[i] = Quotient<int64_t>(wideSums[i], divisor);
        } else {
            KernelSums(sourceRow(y - 1), sourceRow(y), sourceRow(y + 1), narrowSums.data(), count, step,
                       filter.Values);
            if (!quotients.empty())
                for (size_t i = 0; i < count; ++i)
                    out[i] = quotients[size_t(narrowSums[i] - lowest)];
            else
                for (size_t i = 0; i < count; ++i)
                    out[i] = Quotient<int32_t>(narrowSums[i], int32_t(divisor));
        }
        Report(onProgress, sender, RowPercent(y, y1, y2));
    }
    WriteBlock(bitmap, result);
}

} // namespace

void _ApplyFilter(TKVBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2,
                  int32_t y2, TProgressRec& Progress)
{
    if (Bitmap && Bitmap->GetPixelFormat() == kv24RGB)
        Convolve(Bitmap, Filter, x1, y1, x2, y2, Progress.OnProgress, Progress.Sender);
}

void _ApplyFilter8(TKVBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2)
{
    if (Bitmap && Bitmap->GetPixelFormat() == kv8g)
        Convolve(Bitmap, Filter, x1, y1, x2, y2, {}, nullptr);
}

namespace {

constexpr uint8_t FilterFileHeader[3] = {1, 3, 3};

void StoreLE(uint8_t* out, int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(u >> (8 * i));
}

int32_t LoadLE(const uint8_t* in)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(in[i]) << (8 * i);
    return static_cast<int32_t>(u);
}

} // namespace

void LoadFilterFromFile(const std::string& FileName, TGraphFilter& Filter)
{
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    uint8_t header[3];
    if (stream.Read(header, 3) != 3 || std::memcmp(header, FilterFileHeader, 3) != 0)
        return;
    uint8_t body[40];
    // A short body is not a kernel: the filter keeps what it held.
    if (stream.Read(body, 40) != 40)
        return;
    for (int i = 0; i < 9; ++i)
        Filter.Values[i] = LoadLE(body + 4 * i);
    Filter.Divisor = LoadLE(body + 36);
}

void SaveFilterToFile(const std::string& FileName, const TGraphFilter& Filter)
{
    uint8_t bytes[43];
    std::memcpy(bytes, FilterFileHeader, 3);
    for (int i = 0; i < 9; ++i)
        StoreLE(bytes + 3 + 4 * i, Filter.Values[i]);
    StoreLE(bytes + 39, Filter.Divisor);
    TSafeFileWriter file(FileName);
    file.Stream().WriteBuffer(bytes, sizeof bytes);
    file.Commit();
}

} // namespace Korvaneproc
