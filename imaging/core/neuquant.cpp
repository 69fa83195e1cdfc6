// The NeuQuant neural-network quantizer. All training arithmetic is integer: colours are held
// scaled by 16, learning rates by 1024, and the neighbourhood falls off over the radius.
#include "imaging/core/neuquant.h"

#include "platform/core/rounding.h"

#include <algorithm>
#include <cstdlib>

namespace Neurquant {
namespace {

constexpr int32_t kNetBiasShift = 4;  // colours are learnt scaled by 16
constexpr int32_t kIntBiasShift = 16; // bias and frequency fixed point
constexpr int32_t kIntBias = 1 << kIntBiasShift;
constexpr int32_t kGammaShift = 10;
constexpr int32_t kBetaShift = 10;
constexpr int32_t kBeta = kIntBias >> kBetaShift;                      // 64
constexpr int32_t kBetaGamma = kIntBias << (kGammaShift - kBetaShift); // 65536
constexpr int32_t kRadiusBiasShift = 6;
constexpr int32_t kRadiusDec = 30;
constexpr int32_t kInitAlpha = 1 << 10;
constexpr int32_t kRadBias = 1 << 8;
constexpr int32_t kAlphaRadBias = 1 << 18;

// Primes the sampling steps through, so that the samples do not fall into a pattern of the image.
int32_t SampleStep(int64_t lengthCount)
{
    for (int32_t prime : {499, 491, 487})
        if (lengthCount % prime != 0)
            return prime;
    return 503;
}

} // namespace

int32_t SampleFactor(int64_t pixels, int32_t quality)
{
    if (quality != -1)
        return Trunc((100.0 - quality) / 100.0 * 29.0) + 1;
    if (pixels < 2000)
        return 1;
    return static_cast<int32_t>(
        std::clamp<int64_t>(Round64(double((pixels - 2000) * 13) / 148000.0 + 2.0), 1, 30));
}

TNeuQuantNet::TNeuQuantNet(const TRgbRows& source, int32_t netSize, int32_t sampleFactor)
    : FNetSize(std::clamp(netSize, 1, MaxNetSize)), FSampleFactor(std::max(sampleFactor, 1)),
      FLengthCount(source.PixelCount() * 3), FNetwork(FNetSize), FBias(FNetSize, 0),
      FFreq(FNetSize, kIntBias / FNetSize)
{
    for (int32_t i = 0; i < FNetSize; ++i) {
        const int32_t v = (i << (kNetBiasShift + 8)) / FNetSize;
        FNetwork[i] = {v, v, v, i};
    }
    Learn(source);
    Unbias();
    FPalette.resize(FNetSize);
    for (int32_t i = 0; i < FNetSize; ++i)
        FPalette[i] = {static_cast<uint8_t>(FNetwork[i].b), static_cast<uint8_t>(FNetwork[i].g),
                       static_cast<uint8_t>(FNetwork[i].r)};
    BuildIndex();
}

void TNeuQuantNet::ComputeRadPower(int32_t rad, int32_t alpha)
{
    FRadPower.assign(std::max(rad, 1), 0);
    for (int32_t j = 0; j < rad; ++j)
        FRadPower[j] = alpha * (((rad * rad - j * j) * kRadBias) / (rad * rad));
}

void TNeuQuantNet::Contest(int32_t b, int32_t g, int32_t r, int32_t& winner)
{
    // The nearest neuron gains frequency; the winner is the nearest after the bias, which holds
    // back neurons that win too often so that rarely used ones learn too.
    int32_t bestDist = 0x7FFFFFFF;
    int32_t bestBiasDist = 0x7FFFFFFF;
    int32_t bestPos = -1;
    int32_t bestBiasPos = -1;
    for (int32_t i = 0; i < FNetSize; ++i) {
        const TNeuron& n = FNetwork[i];
        const int32_t dist = std::abs(n.b - b) + std::abs(n.g - g) + std::abs(n.r - r);
        if (dist < bestDist) {
            bestDist = dist;
            bestPos = i;
        }
        const int32_t biasDist = dist - (FBias[i] >> (kIntBiasShift - kNetBiasShift));
        if (biasDist < bestBiasDist) {
            bestBiasDist = biasDist;
            bestBiasPos = i;
        }
        const int32_t betaFreq = FFreq[i] >> kBetaShift;
        FFreq[i] -= betaFreq;
        FBias[i] += betaFreq << kGammaShift;
    }
    FFreq[bestPos] += kBeta;
    FBias[bestPos] -= kBetaGamma;
    winner = bestBiasPos;
}

void TNeuQuantNet::MoveNeighbours(int32_t rad, int32_t i, int32_t b, int32_t g, int32_t r)
{
    const int32_t lo = std::max(i - rad, -1);
    const int32_t hi = std::min(i + rad, FNetSize);
    auto move = [&](TNeuron& n, int64_t a) {
        n.b -= static_cast<int32_t>((a * (n.b - b)) / kAlphaRadBias);
        n.g -= static_cast<int32_t>((a * (n.g - g)) / kAlphaRadBias);
        n.r -= static_cast<int32_t>((a * (n.r - r)) / kAlphaRadBias);
    };
    int32_t j = i + 1;
    int32_t k = i - 1;
    int32_t m = 1;
    while (j < hi || k > lo) {
        const int32_t a = FRadPower[m++];
        if (j < hi)
            move(FNetwork[j++], a);
        if (k > lo)
            move(FNetwork[k--], a);
    }
}

void TNeuQuantNet::Learn(const TRgbRows& source)
{
    const int64_t pixels = source.PixelCount();
    if (pixels <= 0)
        return;
    const int32_t alphaDec = 30 + (FSampleFactor - 1) / 3;
    const int64_t samplePixels = FLengthCount / (3 * int64_t(FSampleFactor));
    int64_t delta = samplePixels / 100;
    if (delta == 0)
        delta = 1;
    int32_t alpha = kInitAlpha;
    int32_t radius = (FNetSize >> 3) << kRadiusBiasShift;
    int32_t rad = radius >> kRadiusBiasShift;
    if (rad <= 1)
        rad = 0;
    ComputeRadPower(rad, alpha);

    const int64_t step = SampleStep(FLengthCount);
    int64_t p = 0;
    for (int64_t i = 1; i <= samplePixels; ++i) {
        const TRGB& pixel = source.Row(static_cast<int32_t>(p / source.Width))[p % source.Width];
        const int32_t b = pixel.b << kNetBiasShift;
        const int32_t g = pixel.g << kNetBiasShift;
        const int32_t r = pixel.r << kNetBiasShift;
        int32_t winner = 0;
        Contest(b, g, r, winner);
        TNeuron& n = FNetwork[winner];
        n.b -= (alpha * (n.b - b)) / kInitAlpha;
        n.g -= (alpha * (n.g - g)) / kInitAlpha;
        n.r -= (alpha * (n.r - r)) / kInitAlpha;
        if (rad != 0)
            MoveNeighbours(rad, winner, b, g, r);

        // An image smaller than the step would send a single subtraction past its end.
        p = (p + step) % pixels;

        if (i % delta == 0) {
            alpha -= alpha / alphaDec;
            radius -= radius / kRadiusDec;
            rad = radius >> kRadiusBiasShift;
            if (rad <= 1)
                rad = 0;
            ComputeRadPower(rad, alpha);
        }
    }
}

void TNeuQuantNet::Unbias()
{
    for (int32_t i = 0; i < FNetSize; ++i) {
        TNeuron& n = FNetwork[i];
        n.b >>= kNetBiasShift;
        n.g >>= kNetBiasShift;
        n.r >>= kNetBiasShift;
        n.index = i;
    }
}

void TNeuQuantNet::BuildIndex()
{
    // Sort by green and note where each green value's run starts, so a search begins near it.
    const int32_t maxNetPos = FNetSize - 1;
    int32_t previousCol = 0;
    int32_t startPos = 0;
    for (int32_t i = 0; i < FNetSize; ++i) {
        int32_t smallPos = i;
        int32_t smallVal = FNetwork[i].g;
        for (int32_t j = i + 1; j < FNetSize; ++j) {
            if (FNetwork[j].g < smallVal) {
                smallPos = j;
                smallVal = FNetwork[j].g;
            }
        }
        if (smallPos != i)
            std::swap(FNetwork[i], FNetwork[smallPos]);
        if (smallVal != previousCol) {
            FNetIndex[previousCol] = (startPos + i) >> 1;
            for (int32_t j = previousCol + 1; j < smallVal; ++j)
                FNetIndex[j] = i;
            previousCol = smallVal;
            startPos = i;
        }
    }
    FNetIndex[previousCol] = (startPos + maxNetPos) >> 1;
    for (int32_t j = previousCol + 1; j < 256; ++j)
        FNetIndex[j] = maxNetPos;
}

void TNeuQuantNet::WritePalette(std::span<TRGB> colorMap) const
{
    const size_t count = std::min(colorMap.size(), FPalette.size());
    std::copy_n(FPalette.begin(), count, colorMap.begin());
}

int32_t TNeuQuantNet::Search(const TRGB& color) const
{
    const int32_t b = color.b, g = color.g, r = color.r;
    int32_t bestD = 1000;
    int32_t best = -1;
    int32_t i = FNetIndex[g];
    int32_t j = i - 1;
    auto consider = [&](const TNeuron& n, int32_t greenDist) {
        int32_t dist = std::abs(greenDist) + std::abs(n.b - b);
        if (dist >= bestD)
            return;
        dist += std::abs(n.r - r);
        if (dist < bestD) {
            bestD = dist;
            best = n.index;
        }
    };
    while (i < FNetSize || j >= 0) {
        if (i < FNetSize) {
            const TNeuron& n = FNetwork[i];
            const int32_t dist = n.g - g;
            if (dist >= bestD) {
                i = FNetSize;
            } else {
                ++i;
                consider(n, dist);
            }
        }
        if (j >= 0) {
            const TNeuron& n = FNetwork[j];
            const int32_t dist = g - n.g;
            if (dist >= bestD) {
                j = -1;
            } else {
                --j;
                consider(n, dist);
            }
        }
    }
    return best;
}

} // namespace Neurquant
