// Histogrambox and Hsvbox: THistogramBox charts the histogram of a processing component's image;
// THSVBox picks a colour on a saturation/value square and a hue bar. Both draw into a 24-bit
// bitmap of their own size that Paint copies to the window.
#pragma once

#include "platform/forms/controls.h"

#include <cstdint>
#include <memory>

class TKorvaneProc;

enum THistogramKindItem : uint8_t
{
    hkRed,
    hkGreen,
    hkBlue,
    hkGray
};
// A set of THistogramKindItem, one bit each (8 = [hkGray]).
using THistogramKind = uint8_t;

enum THistogramLabel : uint8_t
{
    hlVertical,
    hlHorizontal
};
// A set of THistogramLabel, one bit each (3 = both).
using THistogramLabels = uint8_t;

enum THistogramStyle : uint8_t
{
    hsBars,
    hsLines
};

class THistogramBox : public TCustomControl
{
public:
    explicit THistogramBox(TComponent* AOwner);
    ~THistogramBox() override;

    // Redraws the chart, then invalidates.
    void Update() override;

    TKorvaneProc* AttachedKorvaneProc() const { return FProc; }
    void SetAKVP(TKorvaneProc* Value);
    TColor Background() const { return FBackground; }
    void SetBackground(TColor Value);
    THistogramKind HistogramKind() const { return FKind; }
    void SetHistogramKind(THistogramKind Value);
    THistogramLabels Labels() const { return FLabels; }
    void SetLabels(THistogramLabels Value);
    bool CompBar() const { return FCompBar; }
    void SetCompBar(bool Value);
    THistogramStyle HistogramStyle() const { return FStyle; }
    void SetHistogramStyle(THistogramStyle Value);
    TColor GrayColor() const { return FGrayColor; }
    void SetGrayColor(TColor Value);
    // The chart as last drawn.
    TBitmap* Chart() const { return FBitmap.get(); }

protected:
    void Paint() override;
    void Resize() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    std::unique_ptr<TBitmap> FBitmap;
    TKorvaneProc* FProc = nullptr;
    TColor FBackground = clWhite;
    THistogramKind FKind = 1 << hkGray;
    THistogramLabels FLabels = (1 << hlVertical) | (1 << hlHorizontal);
    bool FCompBar = true;
    THistogramStyle FStyle = hsBars;
    TColor FGrayColor = clBlack;
};

class THSVBox : public TCustomControl
{
public:
    explicit THSVBox(TComponent* AOwner);
    ~THSVBox() override;

    int32_t Hue() const { return FHue; }
    int32_t Sat() const { return FSat; }
    int32_t Val() const { return FVal; }
    // Clamped to 0..359, 0..99 and 0..99.
    void SetHue(int32_t Value);
    void SetSat(int32_t Value);
    void SetVal(int32_t Value);
    uint8_t Red() const { return FRed; }
    uint8_t Green() const { return FGreen; }
    uint8_t Blue() const { return FBlue; }
    TColor Color() const { return FColor; }
    void SetRGB(uint8_t Red, uint8_t Green, uint8_t Blue);
    // A system colour is resolved first.
    void SetColor(TColor Value);
    // The colour a click at (x, y) would choose.
    TColor GetColorAt(int32_t x, int32_t y);
    TColor Background() const { return FBackground; }
    void SetBackground(TColor Value);
    int32_t HueBarWidth() const { return FHueBarWidth; }
    void SetHueBarWidth(int32_t Value);
    int32_t BarsDistance() const { return FBarsDistance; }
    void SetBarsDistance(int32_t Value);
    TNotifyEvent OnChange;
    TBitmap* Picture() const { return FBitmap.get(); }

protected:
    void Paint() override;
    void Resize() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

private:
    int32_t SquareWidth() const;
    void ComputeColour();
    void Redraw();
    void DrawSquare();
    void DrawHueBar();
    void DrawGrips();
    void Apply(int32_t x, int32_t y);

    std::unique_ptr<TBitmap> FBitmap;
    int32_t FHue = 0, FSat = 0, FVal = 0;
    uint8_t FRed = 0, FGreen = 0, FBlue = 0;
    TColor FColor = 0;
    TColor FBackground = clBtnFace;
    int32_t FHueBarWidth = 20;
    int32_t FBarsDistance = 5;
    int32_t FDrag = 0;
};
