// Previews: the effect pages of the processing preview dialog without the form: which pages an
// effects set shows, each page's working values and defaults, how the edits' texts read, and the
// effect a page applies to a bitmap (the preview of the visible part, or the final apply).
#pragma once

#include "imaging/proc/korvaneproc.h"

#include <array>
#include <cstdint>
#include <string>

class TBitmap;
class TKVBitmap;
class TKorvaneProc;

namespace Previews {

// The pages; each value is the page's tag.
enum TPreviewPage : int32_t
{
    ppNone = 0,
    ppContrast = 1,
    ppHSL = 2,
    ppRGB = 3,
    ppUserFilter = 4,
    ppHSV = 5,
    ppEqualize = 6,
    ppBumpMap = 7,
    ppLens = 8,
    ppWave = 9,
    ppMorph = 10,
    ppRotate = 11,
    ppFFT = 12,
    ppGamma = 13,
    ppSharpen = 14
};
constexpr int32_t kPageCount = 14;

// The pages in the order the dialog shows them.
extern const std::array<TPreviewPage, kPageCount> kPageOrder;

// Whether the effects set shows the page (peAll shows every page).
bool PageVisible(TPreviewEffects Effects, TPreviewPage Page);
// The first page of kPageOrder the set shows; ppNone when it shows none.
TPreviewPage FirstVisiblePage(TPreviewEffects Effects);
// Pages whose source view fits the image and does not zoom with the mouse (their effects are
// placed in image coordinates, or work on the whole picture).
bool PageFitsSource(TPreviewPage Page);

// Channels of the equalization page, one bit each.
enum TEqualizeChannel : uint8_t
{
    ecRed,
    ecGreen,
    ecBlue,
    ecGray
};
using TEqualizeChannels = uint8_t;
constexpr TEqualizeChannels EqualizeChannel(TEqualizeChannel c)
{
    return static_cast<TEqualizeChannels>(1u << c);
}

// The working values of every page. Reset(Page) gives one page its defaults; the others keep
// theirs, so that returning to a page finds it as it was left.
struct TPreviewsValues
{
    // Contrast: the mean colour is taken from the source when the page is initialised.
    int32_t Contrast = 0;
    int32_t Brightness = 0;
    int32_t MeanR = 0, MeanG = 0, MeanB = 0;
    // HSV and HSL shifts; RGB intensities.
    int32_t HsvHue = 0, HsvSat = 0, HsvVal = 0;
    int32_t HslHue = 0, HslSat = 0, HslLum = 0;
    int32_t Red = 0, Green = 0, Blue = 0;
    // User filter: the kernel and the preset shown in the list (0 "None").
    TGraphFilter Filter = IdentityFilter();
    int32_t FilterPreset = 0;
    // Equalization: per channel, the threshold range and the equalisation range.
    TRGB ThresholdLo{0, 0, 0}, ThresholdHi{255, 255, 255};
    TRGB EqualizeLo{0, 0, 0}, EqualizeHi{255, 255, 255};
    TEqualizeChannels EqualizeChannels = EqualizeChannel(ecGray);
    bool AutoEqualize = false;
    // Bump map: the light in source coordinates, its colour and how much of the source stays.
    int32_t LightX = 0, LightY = 0, LightWidth = 0, LightHeight = 0;
    TRGB LightColor{255, 255, 255};
    int32_t SourceQuantity = 0;
    // Lens in source coordinates.
    int32_t LensX = 0, LensY = 0, LensWidth = 0, LensHeight = 0;
    double Refraction = 1.7;
    // Wave.
    int32_t Amplitude = 10, WaveLength = 10, Phase = 0;
    bool Reflective = false;
    // Morph filters: 0 maximum, 1 minimum, 2 opening, 3 closing.
    int32_t MorphFilter = 0;
    int32_t MorphWindow = 1;
    // Rotate: degrees, and the flips that are switched on.
    double Angle = 0.0;
    bool FlipHorizontal = false, FlipVertical = false;
    // FFT.
    bool FFTGrayScale = true;
    // Gamma: the track bar's position (gamma x 10) and the channels it corrects.
    int32_t GammaPosition = 10;
    TKVChannels GammaChannels = kvcAll;
    // Sharpen.
    int32_t SharpenAmount = 1;
    int32_t SharpenWindow = 4;

    static TGraphFilter IdentityFilter();
    // The page's defaults; Source (the area to process) places the light and the lens at its
    // centre and gives the contrast page its mean colour.
    void Reset(TPreviewPage Page, TKVBitmap* Source);
};

// Where an effect lands: the preview works on the source view's visible part at its zoom, so
// positions and sizes given in source pixels are mapped into it; the final apply (and "<<")
// work on the source itself and take the values as they are.
struct TPreviewPlacement
{
    bool OnSource = true;
    double Zoom = 100.0;
    // The source view's origin, in zoomed pixels.
    int32_t ViewX = 0;
    int32_t ViewY = 0;

    int32_t X(int32_t Value) const;
    int32_t Y(int32_t Value) const;
    int32_t Size(int32_t Value) const;
};

// Runs the page's effect over the whole of Target (Proc is a processing component attached to
// it, used by the pages that work through one: rotate and gamma). FFT is the form's own work and
// is not handled here. Progress is reported only when OnProgress is set.
void ApplyPageEffect(TPreviewPage Page, const TPreviewsValues& Values, TKVBitmap* Target, TKorvaneProc* Proc,
                     const TPreviewPlacement& Placement, const TKVProgressEvent& OnProgress, TObject* Sender);

// ---- The edits' texts ----

// A whole number, or Default for any other text.
int32_t EditInteger(const std::string& Text, int32_t Default);
// The lens edit shows refraction x 10 - 10: "7" reads as 1.7 and "0" as 1.0.
double RefractionFromEdit(const std::string& Text);
std::string RefractionText(double Refraction);
// The rotate edit holds degrees as a decimal number (0 for anything else); the track bar holds
// hundredths of a degree.
double AngleFromEdit(const std::string& Text);
int32_t AngleToTrackBar(double Angle);
std::string AngleText(double Angle);
// The gamma edit shows the track bar's position / 10.
std::string GammaText(int32_t Position);

// ---- Equalization rulers ----

// Moves one grip of a low/high pair (Grip 0 low, 1 high) to Value within 0..255; the other grip is
// pushed along so that the two never cross.
void MoveRangeGrip(int32_t& Lo, int32_t& Hi, int32_t Grip, int32_t Value);
// Stores the range for the checked channels (all three when Gray is checked).
void StoreChannelRange(TRGB& Lo, TRGB& Hi, TEqualizeChannels Channels, int32_t RangeLo, int32_t RangeHi);

// ---- Frequency page ----

// The size of the picture the frequency preview transforms: the longer side 128, the other
// 128 x shorter / longer but at least 1. False (and 0 x 0) for an empty source.
bool FTThumbnailSize(int32_t Width, int32_t Height, int32_t& ThumbWidth, int32_t& ThumbHeight);
// A zone chosen on the thumbnail's spectrum (side ThumbSide) scaled to a spectrum of side FullSide.
void ScaleZone(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, int32_t ThumbSide, int32_t FullSide);

// ---- Gamma graph ----

// Bitmap takes Width x Height, grey 0xC0C0C0, with the curve v = 255 (i / 255)^(1 / Gamma) in
// black from the bottom-left corner.
void DrawGammaCurve(TBitmap* Bitmap, int32_t Width, int32_t Height, double Gamma);

} // namespace Previews
