// Kvfft: the frequency-domain image, the two-dimensional Fourier transform of a picture's colour
// channels or grey level in single-precision planes, to view and edit its frequencies and rebuild
// the picture from them.
#pragma once

#include "imaging/core/types.h"
#include "platform/core/classes.h"

#include <cstdint>
#include <memory>
#include <vector>

class TKVBitmap;

enum TKVFtImageType : uint8_t
{
    kvitUnknown,
    kvitRGB,
    kvitGrayscale
};

// Addresses of the real and imaginary parts at one frequency, nullptr for planes that do not exist.
struct TKVComplexImage
{
    float* RedReal = nullptr;
    float* RedImag = nullptr;
    float* BlueReal = nullptr;
    float* BlueImag = nullptr;
    float* GreenReal = nullptr;
    float* GreenImag = nullptr;
    float* GrayImag = nullptr;
    float* GrayReal = nullptr;
};

class TKVFtImage : public TObject
{
public:
    TKVFtImage();
    ~TKVFtImage() override;

    // Transforms a kv24RGB picture, padded to a square of a power-of-two side N; false (and no
    // planes) for another format, an empty picture, a side above 8192 or planes that cannot be had.
    bool BuildFT(TKVBitmap* Bitmap, TKVFtImageType ImageType);
    // Bitmap becomes the N x N spectrum (log of the magnitude, stretched to 0..255), zero frequency
    // in the middle.
    void GetFTImage(TKVBitmap* Bitmap);
    // Bitmap becomes the picture again: the inverse transform, stretched to 0..255.
    void BuildBitmap(TKVBitmap* Bitmap);
    // Zero every frequency within (HiPass) or beyond (LoPass) Radius of the centre.
    void HiPass(int32_t Radius);
    void LoPass(int32_t Radius);
    // Zeroes the frequencies of the inclusive rectangle, cut to the square.
    void ClearZone(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    // Outside the square every address is nullptr.
    TKVComplexImage GetComplexImage(int32_t x, int32_t y);
    void Assign(TKVFtImage* Source);
    void FreeAll();

    int32_t FFTSize() const { return FSize; }
    int32_t XOffset() const { return FXOffset; }
    int32_t YOffset() const { return FYOffset; }
    int32_t ImageWidth() const { return FImageWidth; }
    int32_t ImageHeight() const { return FImageHeight; }
    TKVFtImageType ImageType() const { return FImageType; }

    TKVProgressEvent OnProgress;

private:
    // N rows of 2N floats: the real parts, then the imaginary parts.
    using Plane = std::vector<float>;

    void BuildTables(int32_t size);
    void Transform(Plane& plane, bool forward, int32_t planeIndex, int32_t planeCount);
    void Transform1D(float* re, float* im) const;
    std::unique_ptr<Plane> MakePlane(TKVBitmap* square, int32_t channel);
    std::vector<Plane*> Planes();
    // Frees the planes, keeps the tables.
    void ClearPlanes();

    std::vector<double> FSine;
    std::vector<int32_t> FBitReverse;
    std::vector<int32_t> FPower;
    int32_t FTableSize = 0;
    int32_t FLog2 = 0;
    float FDirection = -1;
    double FScale = 1;
    int32_t FSize = 0;
    bool FBuilding = false;
    std::unique_ptr<Plane> FRed, FGreen, FBlue, FGray;
    int32_t FXOffset = 0;
    int32_t FYOffset = 0;
    int32_t FImageWidth = 0;
    int32_t FImageHeight = 0;
    TKVFtImageType FImageType = kvitUnknown;
    // Per stage of the transform, the twiddle factors it reads, in order.
    std::vector<float> FCos, FSin;
};
