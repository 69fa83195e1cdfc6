// More controls: the panel, the bevel, the picture control and the timer.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/forms/controls.h"

class TPicture;
class QTimer;

enum TBevelCut : uint8_t
{
    bvNone,
    bvLowered,
    bvRaised,
    bvSpace
};

// A container that draws its bevels and its caption, centred.
class TPanel : public TCustomControl
{
public:
    explicit TPanel(TComponent* AOwner);

    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut Value);
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut Value);
    int32_t BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int32_t Value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);

protected:
    void Paint() override;
    void TextChanged() override { Invalidate(); }
    void FontChanged() override;

private:
    TBevelCut FBevelOuter = bvRaised;
    TBevelCut FBevelInner = bvNone;
    int32_t FBevelWidth = 1;
    TAlignment FAlignment = taCenter;
};

enum TBevelShape : uint8_t
{
    bsBox,
    bsFrame,
    bsTopLine,
    bsBottomLine,
    bsLeftLine,
    bsRightLine,
    bsSpacer
};

enum TBevelStyle : uint8_t
{
    bsLowered,
    bsRaised
};

class TBevel : public TGraphicControl
{
public:
    explicit TBevel(TComponent* AOwner);

    TBevelShape Shape() const { return FShape; }
    void SetShape(TBevelShape Value);
    TBevelStyle Style() const { return FStyle; }
    void SetStyle(TBevelStyle Value);

private:
    TBevelShape FShape = bsBox;
    TBevelStyle FStyle = bsLowered;
};

// Shows its Picture: at its own size from the top-left corner (or centred), or stretched to the
// control (keeping its proportions when Proportional is set). AutoSize makes the control the
// picture's size. The drawing goes into the control's front image, which tests can read.
class TImage : public TGraphicControl
{
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* Picture() const { return FPicture.get(); }
    void SetPicture(TPicture* Value);
    // The picture's bitmap canvas (the picture becomes a bitmap of the control's size when empty).
    TCanvas* Canvas();
    TBitmap* FrontImage() const;

    bool Stretch() const { return FStretch; }
    void SetStretch(bool Value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool Value);
    bool Center() const { return FCenter; }
    void SetCenter(bool Value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);

    void Invalidate() override;
    void Update() override;
    // The rectangle the picture is drawn into, in client coordinates.
    TRect DestRect() const;

private:
    void PictureChanged();
    void PaintPicture();

    std::unique_ptr<TPicture> FPicture;
    std::unique_ptr<FormsDetail::TFrontImageHost> FHost;
    bool FStretch = false;
    bool FProportional = false;
    bool FCenter = false;
    bool FAutoSize = false;
    bool FTransparent = false;
};

// Fires OnTimer every Interval milliseconds on the user-interface thread while Enabled.
class TTimer : public TComponent
{
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    uint32_t Interval() const { return FInterval; }
    void SetInterval(uint32_t Value);
    // Fires to the millisecond rather than within the platform's usual slack (5 % of the
    // interval), as frames of an animation need.
    void SetPrecise(bool Value);

    TNotifyEvent OnTimer;

private:
    void UpdateTimer();

    QTimer* FTimer = nullptr;
    bool FEnabled = true;
    uint32_t FInterval = 1000;
};
