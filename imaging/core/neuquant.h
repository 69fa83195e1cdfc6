// The NeuQuant neural-network quantizer: a self-organising map of NCol neurons trained on a
// sample of the image, then indexed by green for a fast nearest-colour search.
#pragma once

#include "imaging/core/quantizer_rows.h"

#include <array>
#include <span>
#include <vector>

namespace Neurquant {

// The number of pixels the training skips between samples grows with the image: every pixel of a
// small image, at most every 30th of a large one; a Quality other than -1 sets it directly.
int32_t SampleFactor(int64_t pixels, int32_t quality);

// The largest network, as many neurons as the most colours a palette reduction asks for.
constexpr int32_t MaxNetSize = 1024;

class TNeuQuantNet
{
public:
    // Trains a network of netSize neurons (1..MaxNetSize) on the source.
    TNeuQuantNet(const TRgbRows& source, int32_t netSize, int32_t sampleFactor);

    // Palette entry i is neuron i as trained, before the network is sorted for searching.
    void WritePalette(std::span<TRGB> colorMap) const;
    // The palette index of the nearest neuron.
    int32_t Search(const TRGB& color) const;

private:
    struct TNeuron
    {
        int32_t b, g, r, index;
    };

    void Learn(const TRgbRows& source);
    void Contest(int32_t b, int32_t g, int32_t r, int32_t& winner);
    void MoveNeighbours(int32_t rad, int32_t i, int32_t b, int32_t g, int32_t r);
    void ComputeRadPower(int32_t rad, int32_t alpha);
    void Unbias();
    void BuildIndex();

    int32_t FNetSize;
    int32_t FSampleFactor;
    int64_t FLengthCount;
    std::vector<TNeuron> FNetwork;
    std::vector<TRGB> FPalette;
    std::array<int32_t, 256> FNetIndex{};
    std::vector<int32_t> FBias;
    std::vector<int32_t> FFreq;
    std::vector<int32_t> FRadPower;
};

} // namespace Neurquant
