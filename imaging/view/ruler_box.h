// Rulerbox: TRulerBox, a graduated ruler in any unit with draggable grips, and the tick layout it
// draws, which a test checks without a window.
#pragma once

#include "platform/forms/controls.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TTimer;

enum TGripsDir : uint8_t
{
    gdUp,
    gdDown
};

enum TRulerDir : uint8_t
{
    rdHorizontal,
    rdVertical
};

enum TGripKind : uint8_t
{
    gkTriangle,
    gkLeftTriangle,
    gkRightTriangle,
    gkArrow,
    gkArrow2
};

// The ticks of a ruler: every Step units from the first multiple at or before ViewPos, at most one
// per pixel of the ruler's length.
struct TKVRulerTick
{
    double Value;
    int32_t Pixel;
};
std::vector<TKVRulerTick> KVRulerTicks(int32_t Length, double ViewPos, double DotPerUnit, double Step);
// A tick's label: hexadecimal digits of its whole part, or the general number form.
std::string KVRulerLabel(double Value, bool Hex);

// A labelled tick's text and the rectangle of the control it is written in.
struct TKVRulerLabelPlace
{
    std::string Text;
    TRect Bounds;
};

using TRulerGripEvent = std::function<void(TObject* Sender, int32_t Grip)>;
using TRulerClickEvent = std::function<void(TObject* Sender, double ps)>;

class TRulerBox : public TCustomControl
{
public:
    explicit TRulerBox(TComponent* AOwner);
    ~TRulerBox() override;

    void Update() override;

    double ViewPos() const { return FViewPos; }
    void SetViewPos(double Value);
    double ViewMin() const { return FViewMin; }
    void SetViewMin(double Value);
    double ViewMax() const { return FViewMax; }
    void SetViewMax(double Value);
    TColor Background() const { return FBackground; }
    void SetBackground(TColor Value);
    int32_t GripBaseDim() const { return FGripBaseDim; }
    void SetGripBaseDim(int32_t Value);
    TGripsDir GripsDir() const { return FGripsDir; }
    void SetGripsDir(TGripsDir Value);
    bool Ruler() const { return FRuler; }
    void SetRuler(bool Value);
    // The three scales ignore values that are not finite or not above 0.
    double DotPerUnit() const { return FDotPerUnit; }
    void SetDPU(double Value);
    double Frequency() const { return FFrequency; }
    void SetFrequency(double Value);
    double LabelFreq() const { return FLabelFreq; }
    void SetLabelFreq(double Value);
    TColor RulerColor() const { return FRulerColor; }
    void SetRulerColor(TColor Value);
    TRulerDir RulerDir() const { return FRulerDir; }
    void SetRulerDir(TRulerDir Value);
    bool FitInView() const { return FFitInView; }
    void SetFitInView(bool Value);
    bool HexLabels() const { return FHexLabels; }
    void SetHexLabels(bool Value);

    // Grips: a bad index is ignored by the setters and reads as 0 (or the default).
    int32_t GripsCount() const { return static_cast<int32_t>(FGrips.size()); }
    void SetGripsCount(int32_t Value);
    double GetGripsPos(int32_t i) const;
    void SetGripsPos(int32_t i, double Value);
    TColor GetGripsCol(int32_t i) const;
    void SetGripsCol(int32_t i, TColor Value);
    TGripKind GetGripsKind(int32_t i) const;
    void SetGripsKind(int32_t i, TGripKind Value);
    double GetGripsMin(int32_t i) const;
    void SetGripsMin(int32_t i, double Value);
    double GetGripsMax(int32_t i) const;
    void SetGripsMax(int32_t i, double Value);

    int32_t GetRulerHeight();
    // How thick the control must be across the ruler to hold the band of its font and grips of
    // their full size: GripBaseDim + 1 pixels from the band to the far edge.
    int32_t GetNeededThickness();
    // Where the labels of the ticks go: beside their ticks inside the band, a label that would run
    // past the end of the ruler moved back to end there.
    std::vector<TKVRulerLabelPlace> GetLabelPlaces();
    int32_t GetXGripPos(int32_t i) const;
    double GetWidthInUnit() const;
    std::vector<TPoint> GetGripPoly(int32_t i);
    TRect GetGripRect(int32_t i);
    int32_t GetClickedGrip(int32_t x, int32_t y);
    // One step of the scroll that runs while a grip is dragged beyond an end.
    void DragScrollTick();
    bool DragScrolling() const;

    TRulerGripEvent OnRulerPosChange;
    TRulerGripEvent OnRulerGripClick;
    TRulerGripEvent OnRulerGripDblClick;
    TRulerClickEvent OnRulerClick;
    TBitmap* Picture() const { return FBitmap.get(); }

protected:
    void Paint() override;
    void Resize() override;
    void FontChanged() override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

private:
    struct TGrip
    {
        double Position = 0;
        TColor Color = clBtnFace;
        TGripKind Kind = gkTriangle;
        double Min = 0;
        double Max = 0;
    };

    int32_t Length() const;
    int32_t Along(int32_t x, int32_t y) const { return FRulerDir == rdHorizontal ? x : y; }
    void AdjustGripLimits(int32_t i);
    void ApplyAllGripLimits();
    void AdjustViewLimits();
    void RepaintRuler();
    void RepaintGrips();
    bool ValidGrip(int32_t i) const { return i >= 0 && i < GripsCount(); }

    std::unique_ptr<TBitmap> FBitmap;
    std::unique_ptr<TTimer> FScrollTimer;
    double FViewPos = 0;
    double FViewMin = 0;
    double FViewMax = 0;
    TColor FBackground = clBtnFace;
    int32_t FGripBaseDim = 12;
    TGripsDir FGripsDir = gdUp;
    bool FRuler = true;
    double FDotPerUnit = 1.0;
    double FFrequency = 10.0;
    double FLabelFreq = 40.0;
    TColor FRulerColor = clBtnFace;
    TRulerDir FRulerDir = rdHorizontal;
    bool FFitInView = false;
    bool FHexLabels = false;
    std::vector<TGrip> FGrips;
    int32_t FPressedGrip = -1;
    int32_t FGrabOffset = 0;
    TPoint FPressPoint;
};
