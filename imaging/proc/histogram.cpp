// Histograms and what they drive: per-channel counts, distinct and dominant colours, density
// profiles, equalisation, the black-and-white threshold (mean or maximum entropy) and the
// extraction of RGB and HSV channels as grey pictures.
#include "imaging/proc/korvaneproc.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace Korvaneproc {

using namespace detail;

namespace {

// 256 grey counts over the whole image (kv1g: clear bits in 0, set bits in 1).
std::array<int64_t, 256> GreyHistogram(TKVBitmap* bitmap)
{
    std::array<int64_t, 256> counts{};
    const int32_t width = bitmap->GetWidth(), height = bitmap->GetHeight();
    if (bitmap->GetPixelFormat() == kv1g) {
        std::vector<uint8_t> row(static_cast<size_t>(bitmap->GetRowLen()));
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(row.data(), bitmap->GetScanLine(y), row.size());
            for (int32_t x = 0; x < width; ++x)
                ++counts[BitAt(row.data(), x) ? 1 : 0];
        }
        return counts;
    }
    ColourReader reader(bitmap);
    if (!reader.Valid())
        return counts;
    std::vector<uint8_t> grey(static_cast<size_t>(width));
    for (int32_t y = 0; y < height; ++y) {
        reader.ReadGrey(y, grey.data());
        for (int32_t x = 0; x < width; ++x)
            ++counts[grey[x]];
    }
    return counts;
}

// Maximum-entropy threshold, or -2 when no level splits the image.
int32_t EntropyThreshold(TKVBitmap* bitmap)
{
    const std::array<int64_t, 256> counts = GreyHistogram(bitmap);
    const long double pixels = static_cast<long double>(bitmap->GetWidth()) * bitmap->GetHeight();
    long double p[256];
    long double h = 0;
    for (int i = 0; i < 256; ++i) {
        p[i] = counts[i] / pixels;
        if (p[i] != 0)
            h -= p[i] * std::log(p[i]);
    }
    int32_t threshold = -2;
    long double best = 0;
    long double psi = 0;
    long double sumP = 0, ht = 0;
    for (int t = 1; t <= 255; ++t) {
        sumP += p[t - 1];
        if (p[t - 1] > 0)
            ht -= p[t - 1] * std::log(p[t - 1]);
        if (sumP > 0 && sumP < 1)
            psi = std::log(sumP * (1 - sumP)) + ht / sumP + (h - ht) / (1 - sumP);
        if (psi > best) {
            best = psi;
            threshold = t;
        }
    }
    return threshold;
}

} // namespace

// Every pixel format counts as the colours it shows: grey levels as equal channels, palette
// pictures through their palette, so that no picture charts as empty.
void _GetHistogram(TKVBitmap* Bitmap, PHistogram Hist, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (!Bitmap || !Hist)
        return;
    ColourReader reader(Bitmap);
    if (!reader.Valid())
        return;
    Hist->fill(THistogramItem{});
    if (!CutRect(Bitmap, x1, y1, x2, y2))
        return;
    std::vector<TRGB> row = Scratch<TRGB>(uint64_t(Bitmap->GetWidth()));
    for (int32_t y = y1; y < y2; ++y) {
        reader.Read(y, row.data());
        for (int32_t x = x1; x < x2; ++x) {
            const TRGB& c = row[size_t(x)];
            ++(*Hist)[c.r].r;
            ++(*Hist)[c.g].g;
            ++(*Hist)[c.b].b;
            ++(*Hist)[Grey(c.r, c.g, c.b)].gray;
        }
    }
}

int32_t _GetImageNumColors(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || !CutRect(Bitmap, x1, y1, x2, y2))
        return 0;
    std::vector<uint64_t> seen((1u << 24) / 64);
    int32_t count = 0;
    for (int32_t y = y1; y < y2; ++y) {
        const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanLine(y));
        for (int32_t x = x1; x < x2; ++x) {
            const uint32_t key =
                (uint32_t(row[x * 3 + 2]) << 16) | (uint32_t(row[x * 3 + 1]) << 8) | row[x * 3];
            uint64_t& word = seen[key >> 6];
            const uint64_t bit = uint64_t(1) << (key & 63);
            if (!(word & bit)) {
                word |= bit;
                ++count;
            }
        }
    }
    return count;
}

void _CalcDensityHistogram(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                           const TKVProgressEvent& OnProgress, TObject* Sender, std::span<int32_t> RowArray,
                           std::span<int32_t> ColArray, int32_t RowScale, int32_t ColScale)
{
    if (!Bitmap || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    const int32_t rows = y2 - y1, columns = x2 - x1;
    if (RowArray.size() < static_cast<size_t>(rows) || ColArray.size() < static_cast<size_t>(columns))
        return;
    const TKVPixelFormat format = Bitmap->GetPixelFormat();
    if (format == kv24RGB || format == kv1g) {
        std::fill(ColArray.begin(), ColArray.begin() + columns, 0);
        std::vector<uint8_t> row(static_cast<size_t>(Bitmap->GetRowLen()));
        for (int32_t y = y1; y < y2; ++y) {
            std::memcpy(row.data(), Bitmap->GetScanLine(y), row.size());
            int32_t& rowSum = RowArray[y - y1];
            rowSum = 0;
            for (int32_t x = x1; x < x2; ++x) {
                const int32_t v = format == kv1g ? (BitAt(row.data(), x) ? 1 : 0)
                                                 : Grey(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
                rowSum += v;
                ColArray[x - x1] += v;
            }
            if (OnProgress)
                OnProgress(Sender, TruncI(static_cast<long double>(y - y1 + 1) * 100 / (rows - 1 + 0.5L)));
        }
    }
    const int32_t maxRow = *std::max_element(RowArray.begin(), RowArray.begin() + rows);
    const int32_t maxCol = *std::max_element(ColArray.begin(), ColArray.begin() + columns);
    if (maxRow != 0)
        for (int32_t i = 0; i < rows; ++i)
            RowArray[i] = TruncI(static_cast<long double>(RowArray[i]) / maxRow * RowScale);
    if (maxCol != 0)
        for (int32_t i = 0; i < columns; ++i)
            ColArray[i] = TruncI(static_cast<long double>(ColArray[i]) / maxCol * ColScale);
}

bool _IsGrayScaleBitmap(TKVBitmap* Bitmap)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB)
        return false;
    const int32_t width = Bitmap->GetWidth();
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanLine(y));
        for (int32_t x = 0; x < width; ++x)
            if (row[x * 3] != row[x * 3 + 1] || row[x * 3 + 1] != row[x * 3 + 2])
                return false;
    }
    return true;
}

int32_t _GetDominantColor(TKVBitmap* Bitmap, TRGB& Color)
{
    if (!Bitmap)
        return -1;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    const TKVPixelFormat format = Bitmap->GetPixelFormat();
    if (width < 1 || height < 1 || (format != kv1g && format != kv24RGB))
        return -1;
    const long double pixels = static_cast<long double>(width) * height;
    if (format == kv1g) {
        const std::array<int64_t, 256> counts = GreyHistogram(Bitmap);
        const bool white = counts[1] >= counts[0];
        Color = white ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
        return TruncI((white ? counts[1] : counts[0]) / pixels * 100);
    }
    // Ties go to the colour that a 13-bit hash set meets first: lowest bucket (key and 8191),
    // then the earliest inserted within the bucket.
    struct Entry
    {
        int64_t count;
        int64_t order;
    };
    std::unordered_map<uint32_t, Entry> colours;
    int64_t order = 0;
    for (int32_t y = 0; y < height; ++y) {
        const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanLine(y));
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t key =
                (uint32_t(row[x * 3 + 2]) << 16) | (uint32_t(row[x * 3 + 1]) << 8) | row[x * 3];
            auto [it, added] = colours.try_emplace(key, Entry{0, order});
            if (added)
                ++order;
            ++it->second.count;
        }
    }
    uint32_t bestKey = 0;
    Entry best{0, 0};
    for (const auto& [key, entry] : colours) {
        const bool better =
            entry.count > best.count ||
            (entry.count == best.count && ((key & 8191) < (bestKey & 8191) ||
                                           ((key & 8191) == (bestKey & 8191) && entry.order < best.order)));
        if (better) {
            best = entry;
            bestKey = key;
        }
    }
    Color = TRGB{uint8_t(bestKey), uint8_t(bestKey >> 8), uint8_t(bestKey >> 16)};
    return TruncI(best.count / pixels * 100);
}

void _HistAutoEqualize(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                       const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB)
        return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width < 1 || height < 1 || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    THistogram hist;
    _GetHistogram(Bitmap, &hist, 0, 0, width, height);
    const double quota = static_cast<double>(static_cast<long double>(width) * height / 256);
    uint8_t left[256], right[256];
    {
        int32_t j = 0;
        double acc = 0;
        for (int i = 0; i < 256; ++i) {
            left[i] = static_cast<uint8_t>(std::min(j, 255));
            acc = static_cast<double>(acc + static_cast<long double>(hist[i].gray));
            while (acc >= quota) {
                acc = static_cast<double>(static_cast<long double>(acc) - quota);
                ++j;
            }
            right[i] = static_cast<uint8_t>(std::min(j, 255));
        }
    }

    // Three original rows around the current one (clamped to the image); results go to a row
    // buffer so that later rows still see the original pixels.
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> rows[3] = {std::vector<uint8_t>(stride), std::vector<uint8_t>(stride),
                                    std::vector<uint8_t>(stride)};
    auto load = [&](std::vector<uint8_t>& into, int32_t y) {
        std::memcpy(into.data(), Bitmap->GetScanLine(std::clamp(y, 0, height - 1)), stride);
    };
    load(rows[0], y1 - 1);
    load(rows[1], y1);
    load(rows[2], y1 + 1);
    std::vector<uint8_t> out(stride);
    for (int32_t y = y1; y < y2; ++y) {
        out = rows[1];
        for (int32_t x = x1; x < x2; ++x) {
            int32_t mean[3];
            for (int ch = 0; ch < 3; ++ch) {
                int32_t sum = 0;
                for (int r = 0; r < 3; ++r)
                    for (int32_t dx = -1; dx <= 1; ++dx)
                        sum += rows[r][static_cast<size_t>(std::clamp(x + dx, 0, width - 1)) * 3 + ch];
                mean[ch] = sum / 9;
            }
            uint8_t* p = &out[static_cast<size_t>(x) * 3];
            const int32_t gm = Grey(mean[2], mean[1], mean[0]);
            const int32_t g = Grey(p[2], p[1], p[0]);
            if (left[g] == right[g]) {
                for (int ch = 0; ch < 3; ++ch)
                    p[ch] = left[p[ch]];
            } else if (gm > right[g]) {
                for (int ch = 0; ch < 3; ++ch)
                    p[ch] = right[p[ch]];
            } else if (gm >= left[g]) {
                for (int ch = 0; ch < 3; ++ch)
                    p[ch] = static_cast<uint8_t>(mean[ch]);
            } else {
                for (int ch = 0; ch < 3; ++ch)
                    p[ch] = left[p[ch]];
            }
        }
        std::memcpy(Bitmap->GetScanLine(y), out.data(), stride);
        std::swap(rows[0], rows[1]);
        std::swap(rows[1], rows[2]);
        load(rows[2], y + 2);
        Report(OnProgress, Sender, RowPercent(y, y1, y2));
    }
}

void _HistEqualize(TKVBitmap* Bitmap, TRGB LoThresh, TRGB HiThresh, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Bitmap || Bitmap->GetPixelFormat() != kv24RGB || !CutRect(Bitmap, x1, y1, x2, y2))
        return;
    HiThresh.r = std::max<uint8_t>(HiThresh.r, 1);
    HiThresh.g = std::max<uint8_t>(HiThresh.g, 1);
    HiThresh.b = std::max<uint8_t>(HiThresh.b, 1);
    if (LoThresh == HiThresh)
        return;
    // Tables per byte position (blue, green, red): stretch above Lo, then scale by Hi.
    const uint8_t lo[3] = {LoThresh.b, LoThresh.g, LoThresh.r};
    const uint8_t hi[3] = {HiThresh.b, HiThresh.g, HiThresh.r};
    uint8_t table[3][256];
    for (int ch = 0; ch < 3; ++ch) {
        const int32_t d = 255 - lo[ch] == 0 ? 1 : 255 - lo[ch];
        for (int i = 0; i < 256; ++i) {
            const uint8_t a = Clamp255(RoundI(static_cast<long double>(i - lo[ch]) / d * 255));
            const uint8_t b = Clamp255(RoundI(static_cast<long double>(a) / hi[ch] * 255));
            table[ch][i] = b;
        }
    }
    for (int32_t y = y1; y < y2; ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanLine(y));
        for (int32_t x = x1; x < x2; ++x)
            for (int ch = 0; ch < 3; ++ch)
                row[x * 3 + ch] = table[ch][row[x * 3 + ch]];
        Report(OnProgress, Sender, RowPercent(y, y1, y2));
    }
}

void _GetMediaContrastRGB(TKVBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B)
{
    R = G = B = 0;
    if (!Bitmap)
        return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    const TKVPixelFormat format = Bitmap->GetPixelFormat();
    if (width < 1 || height < 1)
        return;
    ColourReader reader(Bitmap);
    if (!reader.Valid())
        return;
    std::vector<TRGB> colours(static_cast<size_t>(width));
    std::vector<uint8_t> raw(static_cast<size_t>(Bitmap->GetRowLen()));
    int64_t total[3] = {};
    for (int32_t y = 0; y < height; ++y) {
        int64_t sum[3] = {};
        if (format == kv16g) {
            // The raw 16-bit level in every channel.
            std::memcpy(raw.data(), Bitmap->GetScanLine(y), raw.size());
            for (int32_t x = 0; x < width; ++x) {
                uint16_t v;
                std::memcpy(&v, &raw[static_cast<size_t>(x) * 2], 2);
                sum[0] += v;
            }
            sum[1] = sum[2] = sum[0];
        } else {
            reader.Read(y, colours.data());
            for (const TRGB& c : colours) {
                sum[0] += c.r;
                sum[1] += c.g;
                sum[2] += c.b;
            }
        }
        for (int ch = 0; ch < 3; ++ch)
            total[ch] += sum[ch] / width;
    }
    R = static_cast<int32_t>(total[0] / height);
    G = static_cast<int32_t>(total[1] / height);
    B = static_cast<int32_t>(total[2] / height);
}

namespace {

// The darkest and brightest grey of a picture.
struct GreyRange
{
    int32_t Darkest = 255;
    int32_t Brightest = 0;
};

// Rows of dest: a set bit where the grey is at the threshold or above. Progress is reported when
// a record is given.
GreyRange ThresholdRows(ColourReader& reader, TKVBitmap* Dest, int32_t width, int32_t height,
                        int32_t threshold, const TProgressRec* progress)
{
    GreyRange range;
    std::vector<uint8_t> grey(static_cast<size_t>(width));
    std::vector<uint8_t> out(static_cast<size_t>(Dest->GetRowLen()));
    for (int32_t y = 0; y < height; ++y) {
        reader.ReadGrey(y, grey.data());
        std::fill(out.begin(), out.end(), 0);
        for (int32_t x = 0; x < width; ++x) {
            range.Darkest = std::min<int32_t>(range.Darkest, grey[x]);
            range.Brightest = std::max<int32_t>(range.Brightest, grey[x]);
            if (grey[x] >= threshold)
                SetBitAt(out.data(), x, true);
        }
        std::memcpy(Dest->GetScanLine(y), out.data(), out.size());
        if (progress != nullptr)
            Report(progress->OnProgress, progress->Sender,
                   TruncI(static_cast<long double>(y + 1) * 100 / (height + 0.5L)));
    }
    return range;
}

} // namespace

void _ConvertToBWThresholdEx(TKVBitmap* Source, TKVBitmap* Dest, int32_t Threshold, TProgressRec& Progress)
{
    if (!Source || !Dest)
        return;
    if (Source->GetPixelFormat() == kv1g) {
        Dest->AssignImage(Source);
        return;
    }
    const int32_t width = Source->GetWidth(), height = Source->GetHeight();
    ColourReader reader(Source);
    if (!reader.Valid() || width < 1 || height < 1 || Dest->GetPixelFormat() != kv1g ||
        Dest->GetWidth() != width || Dest->GetHeight() != height)
        return;
    const bool byMean = Threshold == -1;
    if (byMean) {
        int32_t r, g, b;
        _GetMediaContrastRGB(Source, r, g, b);
        Threshold = Grey(r, g, b);
        // The mean of a 16-bit image is a 16-bit level; the pixels compare by their high byte.
        if (Source->GetPixelFormat() == kv16g)
            Threshold >>= 8;
    } else if (Threshold == -2) {
        Threshold = EntropyThreshold(Source);
    }
    const GreyRange greys = ThresholdRows(reader, Dest, width, height, Threshold, &Progress);
    // A mean no brighter than the darkest pixel made every pixel white: the picture is of one
    // grey, which goes black or white by its own level, or its few brighter pixels did not lift
    // the truncated mean above the rest, which then are its black.
    if (byMean && greys.Darkest >= Threshold)
        ThresholdRows(reader, Dest, width, height, greys.Darkest < greys.Brightest ? greys.Darkest + 1 : 128,
                      nullptr);
}

namespace {

using ChannelFn = uint8_t (*)(const uint8_t* pixel, int32_t channel);

uint8_t RGBChannel(const uint8_t* pixel, int32_t channel)
{
    return pixel[channel];
}

uint8_t HSVChannel(const uint8_t* pixel, int32_t channel)
{
    int32_t h, s, v;
    TRGB colour{pixel[0], pixel[1], pixel[2]};
    RGB2HSV(colour, h, s, v);
    switch (channel) {
    case 0:
        return Clamp255(TruncI(static_cast<long double>(h) / 359 * 255));
    case 1:
        return Clamp255(TruncI(static_cast<long double>(s) / 99 * 255));
    default:
        return Clamp255(TruncI(static_cast<long double>(v) / 99 * 255));
    }
}

// Fills up to three grey kv24RGB pictures of the image's size, one per channel.
void ExtractChannels(TKVBitmap* bitmap, TKVBitmap* const targets[3], const int32_t channels[3], ChannelFn fn,
                     const TKVProgressEvent& onProgress, TObject* sender)
{
    const int32_t width = bitmap->GetWidth(), height = bitmap->GetHeight();
    for (int i = 0; i < 3; ++i)
        if (targets[i])
            targets[i]->Allocate(width, height, kv24RGB);
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> in(stride), out(stride);
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(in.data(), bitmap->GetScanLine(y), stride);
        for (int i = 0; i < 3; ++i) {
            if (!targets[i])
                continue;
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t v = fn(&in[static_cast<size_t>(x) * 3], channels[i]);
                out[x * 3] = out[x * 3 + 1] = out[x * 3 + 2] = v;
            }
            std::memcpy(targets[i]->GetScanLine(y), out.data(), stride);
        }
        Report(onProgress, sender, TruncI(static_cast<long double>(y) * 100 / height));
    }
}

bool ExtractableImage(TKVBitmap* bitmap)
{
    return bitmap && bitmap->GetPixelFormat() == kv24RGB && bitmap->GetWidth() > 0 && bitmap->GetHeight() > 0;
}

} // namespace

std::unique_ptr<TKVBitmap> _GetRGBChannel(TKVBitmap* Bitmap, int32_t Channel,
                                          const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!ExtractableImage(Bitmap))
        return nullptr;
    auto result = std::make_unique<TKVBitmap>();
    TKVBitmap* const targets[3] = {result.get(), nullptr, nullptr};
    const int32_t channels[3] = {std::clamp(Channel, 0, 2), 0, 0};
    ExtractChannels(Bitmap, targets, channels, RGBChannel, OnProgress, Sender);
    return result;
}

std::unique_ptr<TKVBitmap> _GetHSVChannel(TKVBitmap* Bitmap, int32_t Channel,
                                          const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!ExtractableImage(Bitmap))
        return nullptr;
    auto result = std::make_unique<TKVBitmap>();
    TKVBitmap* const targets[3] = {result.get(), nullptr, nullptr};
    const int32_t channels[3] = {(Channel >= 0 && Channel <= 2) ? Channel : 0, 0, 0};
    ExtractChannels(Bitmap, targets, channels, HSVChannel, OnProgress, Sender);
    return result;
}

void _GetRGBChannelAll(TKVBitmap* Bitmap, TKVBitmap* BitmapR, TKVBitmap* BitmapG, TKVBitmap* BitmapB,
                       const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!ExtractableImage(Bitmap))
        return;
    TKVBitmap* const targets[3] = {BitmapR, BitmapG, BitmapB};
    const int32_t channels[3] = {2, 1, 0};
    ExtractChannels(Bitmap, targets, channels, RGBChannel, OnProgress, Sender);
}

void _GetHSVChannelAll(TKVBitmap* Bitmap, TKVBitmap* BitmapH, TKVBitmap* BitmapS, TKVBitmap* BitmapV,
                       const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!ExtractableImage(Bitmap))
        return;
    TKVBitmap* const targets[3] = {BitmapH, BitmapS, BitmapV};
    const int32_t channels[3] = {0, 1, 2};
    ExtractChannels(Bitmap, targets, channels, HSVChannel, OnProgress, Sender);
}

} // namespace Korvaneproc
