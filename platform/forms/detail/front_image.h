// The machinery behind self-painting controls: the front image with its canvas and marked
// area, the surface widget that shows it, window scroll bars and the caret.
#pragma once

#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "platform/forms/controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

class QPainter;

namespace FormsDetail {

// A raster of the client size that stands for the window surface. Painting draws into it,
// clipped to the marked area; the surface widget copies it to the screen.
class TFrontImageHost
{
public:
    // Paint draws the marked area (the canvas is clipped to it); Erase fills it first when an
    // erase was asked for.
    TFrontImageHost(std::function<void()> Paint, std::function<void()> Erase);

    TBitmap* Image() { return &FImage; }
    TCanvas* Canvas() { return FCanvas.get(); }

    // Resizes the image, keeping the pixels of the common area; everything is marked.
    void Resize(int32_t Width, int32_t Height);
    void Mark(const TRect* Rect, bool Erase);
    TRect Marked() const { return FMarked; }
    bool IsMarked() const { return FMarked.Right > FMarked.Left && FMarked.Bottom > FMarked.Top; }
    // Paints the marked area now, if any; returns that area (empty when nothing was marked).
    TRect PaintMarked();
    bool Painting() const { return FPainting; }
    // Copies an area of the image to the screen.
    void Present(QPainter& Painter, const QRect& Area);

    // Told whenever the image changed outside a paint, so that the screen follows.
    std::function<void(const TRect&)> OnDrawn;

private:
    TBitmap FImage;
    std::unique_ptr<TCanvas> FCanvas;
    std::function<void()> FPaint;
    std::function<void()> FErase;
    TRect FMarked{};
    bool FErasePending = false;
    bool FPainting = false;
};

// The widget that shows a front image: it paints what is marked, then copies the image.
class TSurfaceWidget : public QWidget
{
public:
    TSurfaceWidget(QWidget* Parent, TControl* Control, TFrontImageHost* Host);
    void Attach(TControl* Control, TFrontImageHost* Host)
    {
        FControl = Control;
        FHost = Host;
    }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    TControl* FControl;
    TFrontImageHost* FHost;
};

// The frame of a custom control: the sunken edge, and the corner between two scroll bars.
class TFrameWidget : public QWidget
{
public:
    explicit TFrameWidget(QWidget* Parent = nullptr);
    void SetEdge(int Edge);
    int Edge() const { return FEdge; }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    int FEdge = 0;
};

// The two window scroll bars of a custom control, with the state that SetScrollInfo keeps.
class TScrollBarPair
{
public:
    TScrollBarPair(QWidget* Frame, TCustomControl* Control);

    QScrollBar* Bar(int32_t Which) { return FBars[Which == SB_VERT ? 1 : 0]; }
    TScrollInfo& Info(int32_t Which) { return FInfo[Which == SB_VERT ? 1 : 0]; }
    bool& Shown(int32_t Which) { return FShown[Which == SB_VERT ? 1 : 0]; }
    // The largest position the range and page allow.
    static int32_t MaxPos(const TScrollInfo& Info);
    // Makes the widget show the stored range, page and position.
    void Apply(int32_t Which);

private:
    void Connect(int32_t Which);

    TCustomControl* FControl;
    std::array<QScrollBar*, 2> FBars{};
    std::array<TScrollInfo, 2> FInfo{};
    std::array<bool, 2> FShown{};
    std::array<bool, 2> FTracking{};
};

// The one caret of the application: a block drawn inverted over its control's front image.
class TCaret
{
public:
    static TCaret& Instance();

    void Create(TCustomControl* Owner, QWidget* Surface, int32_t Width, int32_t Height);
    void Destroy();
    TCustomControl* Owner() const { return FOwner; }
    void SetPos(int32_t X, int32_t Y);
    TPoint Pos() const { return TPoint{FRect.x(), FRect.y()}; }
    // Hiding nests: the caret shows when every HideCaret has had its ShowCaret.
    void Show();
    void Hide();
    bool Visible() const { return FOwner && FHideCount == 0; }
    void Draw(QPainter& Painter, const TCustomControl* Control) const;
    void Forget(const TCustomControl* Control);

private:
    TCaret();
    void Refresh();

    TCustomControl* FOwner = nullptr;
    QWidget* FSurface = nullptr;
    QRect FRect;
    int32_t FHideCount = 1;
    bool FBlinkOn = true;
    QPointer<QTimer> FBlink;
};

} // namespace FormsDetail
