// Korvaneproc: the image-processing unit: the workers that resample, convert, turn and measure
// bitmaps, called by the processing component and directly by the bitmap model, codecs and views.
#pragma once

#include "imaging/core/types.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class TObject;
class TKVBaseBitmap;
class TKVBitmap;
class TKVMask;
class TKVQuantizer;
class TBitmap;

// Mirroring direction of Flip and _FlipEx.
enum TFlipDir : uint8_t
{
    fdHorizontal,
    fdVertical
};

// Sampling of the quality rotation: kvrFast writes only the background.
enum TKVAntialiasMode : uint8_t
{
    kvrFast,
    kvrBilinear,
    kvrBicubic
};

// Pixel counts of one level of the histogram.
struct THistogramItem
{
    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;
    int32_t gray = 0;
};
using THistogram = std::array<THistogramItem, 256>;
using PHistogram = THistogram*;

// A 3 x 3 convolution kernel: nine coefficients, row above first, and a divisor (0 acts as 1).
// Its 40 bytes are also the body of a filter file.
struct TGraphFilter
{
    int32_t Values[9] = {};
    int32_t Divisor = 0;
    friend bool operator==(const TGraphFilter&, const TGraphFilter&) = default;
};
static_assert(sizeof(TGraphFilter) == 40, "TGraphFilter is stored as 40 bytes");

enum TKVFilterPresets : uint8_t
{
    fpNone,
    fpBlur,
    fpEdge,
    fpEmboss,
    fpHighPass1,
    fpHighPass2,
    fpHighPass3,
    LowPass1,
    LowPass2
};

// Colour channels (a set of TKVChannel, one bit each).
enum TKVChannel : uint8_t
{
    kvcRed,
    kvcGreen,
    kvcBlue
};
using TKVChannels = uint8_t;
constexpr TKVChannels KVChannel(TKVChannel c)
{
    return static_cast<TKVChannels>(1u << c);
}
constexpr TKVChannels kvcAll = KVChannel(kvcRed) | KVChannel(kvcGreen) | KVChannel(kvcBlue);

// The modes of the median window filter.
enum TKVMedFilType : uint8_t
{
    mfMedianFilter,
    mfSharpen,
    mfEdgeExtract
};

// A Gaussian kernel: the weights of offsets -100 .. 100 (index offset + 100) as doubles and in
// 16.16 fixed point; only offsets -Size .. Size are used.
struct TKVGaussKernel
{
    uint8_t Size = 0;
    double Weights[201] = {};
    int32_t Fixed[201] = {};
};

namespace Korvaneproc {

// Ordered-dither thresholds 0..63, indexed [x and 7][y and 7].
extern const int32_t BWORDERPATTERN[8][8];
// Entry v holds the 8 pixels of the 1-bit byte v as 24 bytes, most significant bit first.
extern const std::array<std::array<uint8_t, 24>, 256> C1TO24;

// ---- Resampling -----------------------------------------------------------------------------

// Resamples Source into Dest, which already has the wanted size and format (kv24RGB when Source
// is kv1g and Filter is not rfNone); the alpha channel follows.
void _KVResampleKVBitmap(TKVBitmap* Source, TKVBitmap* Dest, TResampleFilter Filter);
// Resamples a kv24RGB Source into the already sized kv24RGB Dest; other formats are left alone.
void _ResampleEx(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, TResampleFilter Filter,
                 const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Area-coverage resampler of rfBilinear (Mode 0) and rfBicubic (Mode 1), kv24RGB only.
void _KVQResample(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, int32_t Mode,
                  const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Fast linear resampler (rfFastLinear), kv24RGB; equal sizes assign Source to Dest.
void _ResampleLinearEx(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, const TKVProgressEvent& OnProgress = {},
                       TObject* Sender = nullptr);
// The fast linear resampler on one 8-bit mask plane.
void _ResampleLinearAlpha(TKVMask* Source, TKVMask* Dest, const TKVProgressEvent& OnProgress = {},
                          TObject* Sender = nullptr);
// Grey kv24RGB image of Dest's size from the black-and-white Source.
void _Resample1bitEx(TKVBitmap* Source, TKVBitmap* Dest, TResampleFilter Filter);
void _ResampleLinear1BitEx(TKVBitmap* Source, TKVBitmap* Dest, const TKVProgressEvent& OnProgress = {},
                           TObject* Sender = nullptr);
// Box average of the inclusive 1-bit rectangle (x1, y1)-(x2, y2) into the kv24RGB Dest.
void _SubResample1bitFilteredEx(TKVBaseBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                TKVBitmap* Dest);
// The same over a bottom-up 1-bit buffer; returns bottom-up 24-bit rows of DstWidth x DstHeight,
// or nothing when a side is below 1 or the rectangle lies outside the source.
std::unique_ptr<uint8_t[]> _SubResample1bitFilteredDIB(const uint8_t* Bits, int32_t SrcWidth,
                                                       int32_t SrcHeight, int32_t x1, int32_t y1, int32_t x2,
                                                       int32_t y2, int32_t DstWidth, int32_t DstHeight);
// Resamples an 8-bit alpha mask into the already allocated Dest.
void _ResampleAlpha(TKVMask* Source, TKVMask* Dest, TResampleFilter Filter);
// Resamples the kv8g alpha channel SourceAlpha into DestAlpha's size.
void _ResampleAlphaEx(TKVBitmap* SourceAlpha, TKVBitmap* DestAlpha, TResampleFilter Filter,
                      const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Nearest-neighbour stretch of Source into Dest's size; both must have the same pixel format.
void _KVBmpStretchEx(TKVBaseBitmap* Source, TKVBaseBitmap* Dest, const TKVProgressEvent& OnProgress = {},
                     TObject* Sender = nullptr);

// The same on class-library bitmaps (pf24bit, pf1bit sources with pf24bit destinations); the
// linear forms copy the bitmap when the sizes are equal, and _KVBmpStretch gives Dest the source's
// pixel format.
void _Resample(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter,
               const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _ResampleLinear(TBitmap* Source, TBitmap* Dest, const TKVProgressEvent& OnProgress = {},
                     TObject* Sender = nullptr);
void _Resample1bit(TBitmap* Source, TBitmap* Dest, TResampleFilter Filter);
void _ResampleLinear1Bit(TBitmap* Source, TBitmap* Dest, const TKVProgressEvent& OnProgress = {},
                         TObject* Sender = nullptr);
void _SubResample1bitFiltered(TBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TBitmap* Dest);
void _KVBmpStretch(TBitmap* Source, TBitmap* Dest);

// ---- Colour depth ---------------------------------------------------------------------------

// Reduces a kv24RGB image to NumColors colours in place; Palette (NumColors entries) receives the
// palette when given.
void _ConvertToEx(TKVBitmap* Bitmap, int32_t NumColors, TRGB* Palette,
                  const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// kv24RGB images become kv1g by ordered dither, or by a threshold (-1 mean grey, -2 entropy).
void _ConvertToBWOrdered(TKVBitmap* Bitmap, TProgressRec& Progress);
void _ConvertToBWThreshold(TKVBitmap* Bitmap, int32_t Threshold, TProgressRec& Progress);
// Writes the black-and-white picture of Source into Dest, a kv1g bitmap of Source's size.
void _ConvertToBWThresholdEx(TKVBitmap* Source, TKVBitmap* Dest, int32_t Threshold, TProgressRec& Progress);
// A kv1g copy of an image of exactly two colours (clear bits the darker, BackCol), else nothing.
std::unique_ptr<TKVBitmap> _ConvertTo1bitEx(TKVBitmap* Bitmap, TRGB& BackCol, TRGB& ForeCol);
// Makes Dst a pf24bit copy of the pf1bit Src.
void _Conv1to24(TBitmap* Src, TBitmap* Dst, TProgressRec& Progress);
void _ConvRow1To24(const uint8_t* Src, uint8_t* Dst, int32_t Width);
// Converts Count pixels of one row between 1, 4, 8, 24 (and 32 to 24) bits per pixel; returns the
// destination's byte length. Indexes beyond the palette read as black.
int32_t _ConvertXBitsToYBits(const uint8_t* Src, uint8_t* Dst, int32_t SrcBits, int32_t DstBits,
                             int32_t Count, std::span<const TRGB> Palette, TKVQuantizer* Quantizer);
// Inverts every byte of every row of a kv1g bitmap.
void _Negative1BitEx(TKVBitmap* Bitmap);

// ---- Quarter turns and flip -----------------------------------------------------------------

// Dest takes Source turned a quarter clockwise (o) or counter-clockwise; 24-bit and 8-bit forms.
void _Rot90oEx(TKVBitmap* Source, TKVBitmap* Dest);
void _Rot90oEx8(TKVBitmap* Source, TKVBitmap* Dest);
void _Rot90Ex(TKVBitmap* Source, TKVBitmap* Dest);
void _Rot90Ex8(TKVBitmap* Source, TKVBitmap* Dest);
void _Rot90o(TBitmap* Source, TBitmap* Dest);
void _Rot90(TBitmap* Source, TBitmap* Dest);
// Mirrors a kv24RGB or kv1g bitmap and its alpha channel in place.
void _FlipEx(TKVBitmap* Bitmap, TFlipDir Dir);

// ---- Free rotation --------------------------------------------------------------------------

// Angles in degrees, positive counter-clockwise; the bitmap grows to hold the turned picture.
void _RotateEx(TKVBitmap* Bitmap, double Angle, bool Antialias, TRGB Background,
               const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _RotateEx8(TKVBitmap* Bitmap, double Angle, bool Antialias, int32_t Background,
                const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _rotate1bitEx(TKVBitmap* Bitmap, double Angle, int32_t Background, TProgressRec& Progress);
void _rotate1bit(TBitmap* Bitmap, double Angle, int32_t Background, TProgressRec& Progress);
void _rotate8bit(TKVBitmap* Bitmap, double Angle, int32_t Background);
void _KVQRotate(TKVBitmap* Bitmap, double Angle, TColor Background, TKVAntialiasMode Mode,
                const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _KVQRotate8(TKVBitmap* Bitmap, double Angle, int32_t Background, TKVAntialiasMode Mode);

// ---- Histograms and analysis ----------------------------------------------------------------

// Rectangles are half-open: columns x1 .. x2-1, rows y1 .. y2-1, cut to the bitmap.
// Any pixel format counts as the colours it shows (grey as equal channels, palette by entry).
void _GetHistogram(TKVBitmap* Bitmap, PHistogram Hist, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
int32_t _GetImageNumColors(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// RowArray needs y2 - y1 entries, ColArray x2 - x1; shorter arrays leave both untouched.
void _CalcDensityHistogram(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                           const TKVProgressEvent& OnProgress, TObject* Sender, std::span<int32_t> RowArray,
                           std::span<int32_t> ColArray, int32_t RowScale, int32_t ColScale);
bool _IsGrayScaleBitmap(TKVBitmap* Bitmap);
// Percentage of the image covered by its most frequent colour, or -1.
int32_t _GetDominantColor(TKVBitmap* Bitmap, TRGB& Color);
void _HistAutoEqualize(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                       const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _HistEqualize(TKVBitmap* Bitmap, TRGB LoThresh, TRGB HiThresh, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Mean colour of the whole image.
void _GetMediaContrastRGB(TKVBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B);
// Grey pictures of one channel (0 blue, 1 green, 2 red; 0 hue, 1 saturation, 2 value).
std::unique_ptr<TKVBitmap> _GetRGBChannel(TKVBitmap* Bitmap, int32_t Channel,
                                          const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
std::unique_ptr<TKVBitmap> _GetHSVChannel(TKVBitmap* Bitmap, int32_t Channel,
                                          const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _GetRGBChannelAll(TKVBitmap* Bitmap, TKVBitmap* BitmapR, TKVBitmap* BitmapG, TKVBitmap* BitmapB,
                       const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _GetHSVChannelAll(TKVBitmap* Bitmap, TKVBitmap* BitmapH, TKVBitmap* BitmapS, TKVBitmap* BitmapV,
                       const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);

// ---- Convolution filters ---------------------------------------------------------------------

// The preset kernels, indexed by TKVFilterPresets.
extern const TGraphFilter KVFiltPres[9];

// Convolves the rectangle of a kv24RGB (8-bit form: kv8g) bitmap in place with the kernel; edge
// pixels repeat the nearest image pixel. Other formats are left alone.
void _ApplyFilter(TKVBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2,
                  int32_t y2, TProgressRec& Progress);
void _ApplyFilter8(TKVBitmap* Bitmap, const TGraphFilter& Filter, int32_t x1, int32_t y1, int32_t x2,
                   int32_t y2);
// The filter file: the bytes 1, 3, 3 and the 40 bytes of the kernel. Loading a file of another
// header, or one too short to hold a kernel, leaves Filter as it was; a file that cannot be opened
// or created raises the stream's exception.
void LoadFilterFromFile(const std::string& FileName, TGraphFilter& Filter);
void SaveFilterToFile(const std::string& FileName, const TGraphFilter& Filter);

// ---- Point colour adjustments ---------------------------------------------------------------

// Rectangles are half-open and cut to the bitmap. kv24RGB only unless said otherwise.
// Stretches each channel around the mean colour by 1 + Contrast / 10 (1 - sqrt(-Contrast) / 10
// below 0).
void _ContrastRGB(TKVBitmap* Bitmap, int32_t Contrast, int32_t MeanR, int32_t MeanG, int32_t MeanB,
                  int32_t x1, int32_t y1, int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress = {},
                  TObject* Sender = nullptr);
void _HSLvar(TKVBitmap* Bitmap, int32_t oHue, int32_t oSat, int32_t oLum, int32_t x1, int32_t y1, int32_t x2,
             int32_t y2, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _HSVvar(TKVBitmap* Bitmap, int32_t oHue, int32_t oSat, int32_t oVal, int32_t x1, int32_t y1, int32_t x2,
             int32_t y2, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _IntensityRGBall(TKVBitmap* Bitmap, int32_t dR, int32_t dG, int32_t dB, int32_t x1, int32_t y1,
                      int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress = {},
                      TObject* Sender = nullptr);
void _ConvertToGray(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// kv24RGB and kv1g.
void _Negative(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// The whole bitmap through the table of (i / 255)^(1 / Gamma); a Gamma that is not a positive
// number leaves it alone.
void _KVGammaCorrect(TKVBitmap* Bitmap, double Gamma, TKVChannels Channels,
                     const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void _Threshold(TKVBitmap* Bitmap, TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal, int32_t x1,
                int32_t y1, int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress = {},
                TObject* Sender = nullptr);
void _CastColorRange(TKVBitmap* Bitmap, TRGB BeginColor, TRGB EndColor, TRGB CastColor, int32_t x1,
                     int32_t y1, int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress = {},
                     TObject* Sender = nullptr);
// Writes Alpha into the alpha channel where the colour lies in MinColor .. MaxColor (kv24RGB), or
// where a kv1g bit matches MinColor's red being non-zero.
void _SetTransparentColors(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB MinColor,
                           TRGB MaxColor, int32_t Alpha, const TKVProgressEvent& OnProgress = {},
                           TObject* Sender = nullptr);
// kv24RGB and kv1g (bits set when the colour's red is not 0).
void _Fill(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB Colour,
           const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Inverts every bit of a pf1bit class-library bitmap, and Count bytes of a buffer.
void _Negative1Bit(TBitmap* Bitmap);
void _NegativeBuffer(uint8_t* Buffer, int32_t Count);

// ---- Blur, sharpen, morphology, median and Wallis filters -----------------------------------

// The kernel of a Gaussian of the radius (the standard deviation in pixels).
TKVGaussKernel _KVGaussKernel(double Radius);
// Blurs a whole kv24RGB or kv8g bitmap, rows first, then columns; a Radius that is not a positive
// number does nothing.
void _KVGBlur(TKVBitmap* Bitmap, double Radius, const TKVProgressEvent& OnProgress = {},
              TObject* Sender = nullptr);
// The same on the inclusive rectangle of a kv8g bitmap, cut to it.
void _KVGBlurRect8(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double Radius);
// A soft shadow under the opaque part of the alpha channel, in the shadow colour, moved by the
// offsets; AdaptSize first grows the picture (centred) so that the shadow fits.
void _KVAddSoftShadow(TKVBitmap* Bitmap, double Radius, int32_t OffsetX, int32_t OffsetY, bool AdaptSize,
                      TRGB Shadow, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// A black soft shadow of the inclusive rectangle (Radius 0: a 3 x 3 blur); returns how far the
// shadow may reach beyond the rectangle on every side.
int32_t _KVAddSoftShadowRect(TKVBitmap* Bitmap, double Radius, int32_t OffsetX, int32_t OffsetY, int32_t x1,
                             int32_t y1, int32_t x2, int32_t y2);
// Unsharp mask against the mean of the Neighbourhood window without the pixel's row and column.
void _Sharpen(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Intensity,
              int32_t Neighbourhood, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Operation 0 maximum, 1 minimum, 2 opening, 3 closing over (2 WindowSize + 1)^2 windows cut to
// the rectangle, by the grey level; kv24RGB only.
void _MorphFilter(TKVBitmap* Bitmap, int32_t WindowSize, int32_t Operation, int32_t x1, int32_t y1,
                  int32_t x2, int32_t y2, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// A window of p1 x p2 pixels; p3 brightness, p4 edge gain, p5 sharpen strength, p6 threshold.
void _KVMedianFilter(TKVBitmap* Bitmap, int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5,
                     int32_t p6, TKVMedFilType Type, const TKVProgressEvent& OnProgress = {},
                     TObject* Sender = nullptr);
// Window width and height in percent of the picture, target mean, target deviation, gain,
// brightness weight and largest deviation; Binary gives black and white.
void _KVWallisFilter(TKVBitmap* Bitmap, int32_t p1, int32_t p2, int32_t p3, int32_t p4, int32_t p5,
                     int32_t p6, int32_t p7, bool Binary, const TKVProgressEvent& OnProgress = {},
                     TObject* Sender = nullptr);

// ---- Effects, marks, merge and comparison --------------------------------------------------

// Lights the rectangle of a kv24RGB bitmap from (LightX, LightY) as a surface whose height is the
// grey level; KeepPercent of the original colour stays.
void _BumpMapping(TKVBitmap* Bitmap, int32_t LightX, int32_t LightY, int32_t LightWidth, int32_t LightHeight,
                  int32_t KeepPercent, TRGB Colour, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                  TProgressRec& Progress);
// A spherical lens of the given size centred on (x, y); Refraction below 1 acts as 1.
void _lens(TKVBitmap* Bitmap, int32_t x, int32_t y, int32_t width, int32_t height, double Refraction,
           TProgressRec& Progress);
// Circular waves from the centre; Reflective scales positions by the wave instead of shifting them.
void _wave(TKVBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
           TProgressRec& Progress);
// Colours every (Spacing + 1)-th pixel of every (Spacing + 1)-th row of the rectangle, from its corner.
void _PaintMark(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t Spacing,
                TRGB Colour, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Recolours (x, y) and the pixels on circles of radius 1 .. Width div 2 around it whose channels
// all lie within Tolerance of Reference; their alpha becomes 255.
void _PenMarker(TKVBitmap* Bitmap, int32_t x, int32_t y, int32_t Width, TRGB Colour, TRGB Reference,
                int32_t Tolerance);
// Mixes Other, stretched to the rectangle, into it: Percent of the image, the rest of Other.
void _Merge(TKVBitmap* Bitmap, TKVBitmap* Other, int32_t Percent, int32_t x1, int32_t y1, int32_t x2,
            int32_t y2, const TKVProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// Equal sizes and formats (and alpha channels) with equal pixel bytes; row padding is not compared.
bool _BitmapCompareX(TBitmap* a, TBitmap* b);
bool _BitmapCompareXEx(TKVBitmap* a, TKVBitmap* b);
// Per channel of two kv24RGB images of one size: the smallest and largest PSNR, MSE, RMSE, peak and
// mean absolute difference over the three channels; Equal when no pixel differs.
void _KVComputeDiff(TKVBitmap* Bitmap, TKVBitmap* Other, double& psnrMin, double& psnrMax, double& mseMin,
                    double& mseMax, double& rmseMin, double& rmseMax, double& peakMin, double& peakMax,
                    double& meanMin, double& meanMax, bool& Equal);

// ---- Magic wand -----------------------------------------------------------------------------

// Pixels are close to the seed's colour when each channel differs by less than Tolerance.
// The outline of the connected region around the seed (holes included) as Count pixel-corner
// vertices; nothing and Count 0 for a seed outside the image or an empty region. Grow adds the
// 3 x 3 neighbourhood of every region pixel.
std::unique_ptr<TPoint[]> _MakeMagicWandPoints(TKVBitmap* Bitmap, int32_t x, int32_t y, bool Grow,
                                               int32_t Tolerance, int32_t& Count);
// Sets the region's pixels (holes stay clear) in a mask of the image's size.
void _MakeMagicWandPointsEx(TKVBitmap* Bitmap, int32_t x, int32_t y, bool Grow, int32_t Tolerance,
                            TKVMask* Mask);
// Sets every close pixel of the image, connected or not.
void _MakeMagicWandPointsEx2(TKVBitmap* Bitmap, int32_t x, int32_t y, int32_t Tolerance, TKVMask* Mask);

// ---- Noise removal for 1-bit images ---------------------------------------------------------

// Pixels of the colour (a set bit when Colour is not 0) with 1 .. MaxCount pixels of that colour
// in their 3 x 3 neighbourhood (themselves included) take the other colour.
void _KVRemoveIsolatedPixels1Bit(TKVBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                 int32_t Colour, int32_t MaxCount);
// kFill: Iterations sub-iterations that alternately fill white holes with black and remove black
// specks; WindowSize 3 is the one window built.
void _kf_kfill(TKVBitmap* Bitmap, bool CheckConnectivity, bool StrictFill, int32_t Iterations,
               int32_t WindowSize, bool Inverse);

// ---- Edge and skew detection ----------------------------------------------------------------

// Dest (which may be Source) becomes a kv1g picture of Source's size, edges black on white.
// Ratio is the share of pixels taken as non-edges, Smoothing the filter's factor (0 < b < 1).
void _KVEdgeDetect_ShenCastan(TKVBitmap* Source, TKVBitmap* Dest, double Ratio, double Smoothing,
                              int32_t WindowSize, int32_t ThinFactor, bool DoHysteresis,
                              TProgressRec& Progress);
// The tilt in degrees of the strongest family of lines of black pixels in a kv1g picture,
// searched over AngleRange degrees in steps of Precision (cut to tenths, 0.1 .. 1.0); 0 for
// other formats or arguments.
float _kvhough(TKVBitmap* Bitmap, TProgressRec& Progress, int32_t AngleRange, double Precision);
// The sum of squared differences of consecutive rows of the picture's density profile.
int64_t _KVCalcVertOrientationFitness(TKVBitmap* Bitmap);

// ---- Selection clearing ---------------------------------------------------------------------

// Exactly the pixels the mask selects take the colour (as the bitmap model fills each format).
void _ClearSelMaskEx(TKVBitmap* Bitmap, TKVMask* Mask, TColor Color);

} // namespace Korvaneproc

// The processing component that applies these workers to an attached image, and the transition
// effects of the views.
#include "imaging/proc/proc_component.h"
#include "imaging/proc/transitions.h"
