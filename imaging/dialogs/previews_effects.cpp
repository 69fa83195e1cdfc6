// The effect pages of the processing preview dialog: visibility, defaults, the edits' texts and
// the workers each page runs.
#include "imaging/dialogs/previews_effects.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/core/system_helpers.h"
#include "platform/core/rounding.h"
#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <algorithm>
#include <cmath>

namespace Previews {

using namespace Korvaneproc;

const std::array<TPreviewPage, kPageCount> kPageOrder = {
    ppContrast, ppHSV,  ppHSL,   ppRGB,    ppUserFilter, ppEqualize, ppBumpMap,
    ppLens,     ppWave, ppMorph, ppRotate, ppFFT,        ppGamma,    ppSharpen};

namespace {

TPreviewEffect EffectOf(TPreviewPage Page)
{
    switch (Page) {
    case ppContrast:
        return peContrast;
    case ppHSL:
        return peHSL;
    case ppRGB:
        return peRGB;
    case ppUserFilter:
        return peUserFilt;
    case ppHSV:
        return peHSV;
    case ppEqualize:
        return peEqualize;
    case ppBumpMap:
        return peBumpMap;
    case ppLens:
        return peLens;
    case ppWave:
        return peWave;
    case ppMorph:
        return peMorph;
    case ppRotate:
        return peRotate;
    case ppFFT:
        return peFFT;
    case ppGamma:
        return peGamma;
    case ppSharpen:
        return peSharpen;
    case ppNone:
        break;
    }
    return peAll;
}

} // namespace

bool PageVisible(TPreviewEffects Effects, TPreviewPage Page)
{
    if (Page == ppNone)
        return false;
    return (Effects & PreviewEffect(peAll)) != 0 || (Effects & PreviewEffect(EffectOf(Page))) != 0;
}

TPreviewPage FirstVisiblePage(TPreviewEffects Effects)
{
    for (TPreviewPage page : kPageOrder)
        if (PageVisible(Effects, page))
            return page;
    return ppNone;
}

bool PageFitsSource(TPreviewPage Page)
{
    return Page == ppBumpMap || Page == ppLens || Page == ppWave || Page == ppRotate || Page == ppFFT;
}

// ---------------------------------------------------------------------------------------------
// Working values

TGraphFilter TPreviewsValues::IdentityFilter()
{
    TGraphFilter filter;
    filter.Values[4] = 1;
    return filter;
}

void TPreviewsValues::Reset(TPreviewPage Page, TKVBitmap* Source)
{
    const TPreviewsValues defaults;
    const int32_t width = Source ? Source->GetWidth() : 0;
    const int32_t height = Source ? Source->GetHeight() : 0;
    switch (Page) {
    case ppContrast:
        Contrast = Brightness = 0;
        MeanR = MeanG = MeanB = 0;
        if (Source)
            _GetMediaContrastRGB(Source, MeanR, MeanG, MeanB);
        break;
    case ppHSV:
        HsvHue = HsvSat = HsvVal = 0;
        break;
    case ppHSL:
        HslHue = HslSat = HslLum = 0;
        break;
    case ppRGB:
        Red = Green = Blue = 0;
        break;
    case ppUserFilter:
        Filter = IdentityFilter();
        FilterPreset = 0;
        break;
    case ppEqualize:
        ThresholdLo = EqualizeLo = defaults.ThresholdLo;
        ThresholdHi = EqualizeHi = defaults.ThresholdHi;
        EqualizeChannels = defaults.EqualizeChannels;
        AutoEqualize = false;
        break;
    case ppBumpMap:
        LightX = width / 2;
        LightY = height / 2;
        LightWidth = LightHeight = std::max(width, height) / 2;
        LightColor = defaults.LightColor;
        SourceQuantity = 0;
        break;
    case ppLens:
        LensX = width / 2;
        LensY = height / 2;
        LensWidth = LensHeight = std::max(width, height) / 2;
        Refraction = defaults.Refraction;
        break;
    case ppWave:
        Amplitude = defaults.Amplitude;
        WaveLength = defaults.WaveLength;
        Phase = 0;
        Reflective = false;
        break;
    case ppMorph:
        MorphFilter = 0;
        MorphWindow = 1;
        break;
    case ppRotate:
        Angle = 0.0;
        FlipHorizontal = FlipVertical = false;
        break;
    case ppFFT:
        FFTGrayScale = true;
        break;
    case ppGamma:
        GammaPosition = defaults.GammaPosition;
        GammaChannels = kvcAll;
        break;
    case ppSharpen:
        SharpenAmount = defaults.SharpenAmount;
        SharpenWindow = defaults.SharpenWindow;
        break;
    case ppNone:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Placement and effects

int32_t TPreviewPlacement::X(int32_t Value) const
{
    return OnSource ? Value : Size(Value) - ViewX;
}

int32_t TPreviewPlacement::Y(int32_t Value) const
{
    return OnSource ? Value : Size(Value) - ViewY;
}

int32_t TPreviewPlacement::Size(int32_t Value) const
{
    return OnSource ? Value : Trunc(static_cast<long double>(Value) * Zoom / 100);
}

void ApplyPageEffect(TPreviewPage Page, const TPreviewsValues& v, TKVBitmap* Target, TKorvaneProc* Proc,
                     const TPreviewPlacement& Placement, const TKVProgressEvent& OnProgress, TObject* Sender)
{
    if (!Target || Target->GetWidth() < 1 || Target->GetHeight() < 1)
        return;
    const int32_t w = Target->GetWidth(), h = Target->GetHeight();
    TProgressRec progress{.OnProgress = OnProgress, .Sender = Sender};
    switch (Page) {
    case ppContrast:
        _ContrastRGB(Target, v.Contrast, v.MeanR, v.MeanG, v.MeanB, 0, 0, w, h, OnProgress, Sender);
        _IntensityRGBall(Target, v.Brightness, v.Brightness, v.Brightness, 0, 0, w, h, OnProgress, Sender);
        break;
    case ppHSL:
        _HSLvar(Target, v.HslHue, v.HslSat, v.HslLum, 0, 0, w, h, OnProgress, Sender);
        break;
    case ppRGB:
        _IntensityRGBall(Target, v.Red, v.Green, v.Blue, 0, 0, w, h, OnProgress, Sender);
        break;
    case ppHSV:
        _HSVvar(Target, v.HsvHue, v.HsvSat, v.HsvVal, 0, 0, w, h, OnProgress, Sender);
        break;
    case ppUserFilter:
        _ApplyFilter(Target, v.Filter, 0, 0, w, h, progress);
        break;
    case ppEqualize:
        _Threshold(Target, v.ThresholdLo, v.ThresholdHi, TRGB{0, 0, 0}, TRGB{255, 255, 255}, 0, 0, w, h,
                   OnProgress, Sender);
        _HistEqualize(Target, v.EqualizeLo, v.EqualizeHi, 0, 0, w, h, OnProgress, Sender);
        if (v.AutoEqualize)
            _HistAutoEqualize(Target, 0, 0, w, h, OnProgress, Sender);
        break;
    case ppBumpMap:
        _BumpMapping(Target, Placement.X(v.LightX), Placement.Y(v.LightY), Placement.Size(v.LightWidth),
                     Placement.Size(v.LightHeight), v.SourceQuantity, v.LightColor, 0, 0, w, h, progress);
        break;
    case ppLens:
        _lens(Target, Placement.X(v.LensX), Placement.Y(v.LensY), Placement.Size(v.LensWidth),
              Placement.Size(v.LensHeight), v.Refraction, progress);
        break;
    case ppWave:
        _wave(Target, Placement.Size(v.Amplitude), Placement.Size(v.WaveLength), v.Phase, v.Reflective,
              progress);
        break;
    case ppMorph:
        _MorphFilter(Target, v.MorphWindow, v.MorphFilter, 0, 0, w, h, OnProgress, Sender);
        break;
    case ppRotate:
        if (!Proc)
            break;
        if (v.FlipHorizontal)
            Proc->Flip(fdHorizontal);
        if (v.FlipVertical)
            Proc->Flip(fdVertical);
        Proc->Rotate(v.Angle, true, kvrFast, -1);
        break;
    case ppGamma:
        if (Proc)
            Proc->GammaCorrect(v.GammaPosition / 10.0, v.GammaChannels);
        break;
    case ppSharpen:
        _Sharpen(Target, 0, 0, w, h, v.SharpenAmount, v.SharpenWindow, OnProgress, Sender);
        break;
    case ppFFT:
    case ppNone:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Edits

int32_t EditInteger(const std::string& Text, int32_t Default)
{
    return StrToIntDef(Trim(Text), Default);
}

double RefractionFromEdit(const std::string& Text)
{
    return EditInteger(Text, 0) / 10.0 + 1;
}

std::string RefractionText(double Refraction)
{
    return IntToStr(Round(Refraction * 10 - 10));
}

double AngleFromEdit(const std::string& Text)
{
    const long double angle = Daduvudez::KVStrToFloatDef(Trim(Text), 0);
    return std::isfinite(angle) ? static_cast<double>(angle) : 0.0;
}

int32_t AngleToTrackBar(double Angle)
{
    return Round(static_cast<long double>(Angle) * 100);
}

std::string AngleText(double Angle)
{
    return FloatToStr(Angle);
}

std::string GammaText(int32_t Position)
{
    return FloatToStr(Position / 10.0L);
}

// ---------------------------------------------------------------------------------------------
// Equalization rulers

void MoveRangeGrip(int32_t& Lo, int32_t& Hi, int32_t Grip, int32_t Value)
{
    Value = std::clamp(Value, 0, 255);
    if (Grip == 0) {
        Lo = Value;
        Hi = std::max(Hi, Lo);
    } else {
        Hi = Value;
        Lo = std::min(Lo, Hi);
    }
}

void StoreChannelRange(TRGB& Lo, TRGB& Hi, TEqualizeChannels Channels, int32_t RangeLo, int32_t RangeHi)
{
    const bool all = (Channels & EqualizeChannel(ecGray)) != 0;
    const auto lo = static_cast<uint8_t>(std::clamp(RangeLo, 0, 255));
    const auto hi = static_cast<uint8_t>(std::clamp(RangeHi, 0, 255));
    if (all || (Channels & EqualizeChannel(ecRed)))
        Lo.r = lo, Hi.r = hi;
    if (all || (Channels & EqualizeChannel(ecGreen)))
        Lo.g = lo, Hi.g = hi;
    if (all || (Channels & EqualizeChannel(ecBlue)))
        Lo.b = lo, Hi.b = hi;
}

// ---------------------------------------------------------------------------------------------
// Frequency page

bool FTThumbnailSize(int32_t Width, int32_t Height, int32_t& ThumbWidth, int32_t& ThumbHeight)
{
    ThumbWidth = ThumbHeight = 0;
    if (Width < 1 || Height < 1)
        return false;
    const int32_t longer = std::max(Width, Height), shorter = std::min(Width, Height);
    // A very thin picture would give a side of 0.
    const auto other = static_cast<int32_t>(std::max<int64_t>(1, int64_t(128) * shorter / longer));
    ThumbWidth = Width >= Height ? 128 : other;
    ThumbHeight = Width >= Height ? other : 128;
    return true;
}

void ScaleZone(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2, int32_t ThumbSide, int32_t FullSide)
{
    if (ThumbSide < 1)
        return;
    auto scale = [&](int32_t& v) { v = static_cast<int32_t>(int64_t(v) * FullSide / ThumbSide); };
    scale(x1);
    scale(y1);
    scale(x2);
    scale(y2);
}

// ---------------------------------------------------------------------------------------------
// Gamma graph

void DrawGammaCurve(TBitmap* Bitmap, int32_t Width, int32_t Height, double Gamma)
{
    if (!Bitmap || Width < 1 || Height < 1)
        return;
    Bitmap->SetPixelFormat(pf24bit);
    Bitmap->SetSize(Width, Height);
    TCanvas* canvas = Bitmap->Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(0xC0C0C0);
    canvas->FillRect(TRect{0, 0, Width, Height});
    canvas->Pen()->SetColor(clBlack);
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetWidth(1);
    canvas->MoveTo(0, Height);
    const long double exponent = Gamma > 0 ? 1.0L / Gamma : 1.0L;
    for (int32_t i = 0; i <= 255; ++i) {
        const int32_t v = std::clamp(Round(255 * std::pow(i / 255.0L, exponent)), 0, 255);
        const int32_t x = std::clamp(Trunc(i / 255.0L * Width), 0, Width - 1);
        const int32_t y = std::clamp(Trunc((255 - v) / 255.0L * Height), 0, Height - 1);
        canvas->LineTo(x, y);
    }
}

} // namespace Previews
