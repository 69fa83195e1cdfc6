// The panel, bevel, picture control and timer.
#include "platform/forms/ext_controls.h"

#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "platform/core/rounding.h"
#include "platform/forms/detail/front_image.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/form.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/picture.h"

using namespace FormsDetail;

// ---------------------------------------------------------------------------------------------
// TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner)
{
    SetBounds(0, 0, 185, 41);
}

void TPanel::SetBevelOuter(TBevelCut Value)
{
    FBevelOuter = Value;
    Invalidate();
}

void TPanel::SetBevelInner(TBevelCut Value)
{
    FBevelInner = Value;
    Invalidate();
}

void TPanel::SetBevelWidth(int32_t Value)
{
    FBevelWidth = std::max(Value, 1);
    Invalidate();
}

void TPanel::SetAlignment(TAlignment Value)
{
    FAlignment = Value;
    Invalidate();
}

void TPanel::FontChanged()
{
    TCustomControl::FontChanged();
    Invalidate();
}

void TPanel::Paint()
{
    TCanvas* canvas = Canvas();
    TRect rect = ClientRect();
    // Each bevel: light above and left, shadow below and right (the other way when lowered).
    auto frame = [&](TBevelCut cut) {
        if (cut == bvNone) {
            return;
        }
        const TColor topLeft = cut == bvLowered ? clBtnShadow : (cut == bvRaised ? clBtnHighlight : Color());
        const TColor bottomRight =
            cut == bvLowered ? clBtnHighlight : (cut == bvRaised ? clBtnShadow : Color());
        canvas->Pen()->SetStyle(psSolid);
        canvas->Pen()->SetMode(pmCopy);
        canvas->Pen()->SetWidth(1);
        for (int32_t i = 0; i < FBevelWidth && rect.Right - rect.Left > 1 && rect.Bottom - rect.Top > 1;
             ++i) {
            canvas->Pen()->SetColor(topLeft);
            canvas->MoveTo(rect.Left, rect.Bottom - 1);
            canvas->LineTo(rect.Left, rect.Top);
            canvas->LineTo(rect.Right - 1, rect.Top);
            canvas->Pen()->SetColor(bottomRight);
            canvas->LineTo(rect.Right - 1, rect.Bottom - 1);
            canvas->LineTo(rect.Left - 1, rect.Bottom - 1);
            rect = TRect{rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1};
        }
    };
    frame(FBevelOuter);
    frame(FBevelInner);
    const std::string caption = Caption();
    if (!caption.empty()) {
        canvas->SetFont(Font());
        canvas->Brush()->SetStyle(bsClear);
        const TSize extent = canvas->TextExtent(caption);
        int32_t x = rect.Left + (rect.Right - rect.Left - extent.cx) / 2;
        if (FAlignment == taLeftJustify) {
            x = rect.Left + 1;
        } else if (FAlignment == taRightJustify) {
            x = rect.Right - 1 - extent.cx;
        }
        const int32_t y = rect.Top + (rect.Bottom - rect.Top - extent.cy) / 2;
        canvas->TextOut(x, y, caption);
        canvas->Brush()->SetStyle(bsSolid);
    }
    TCustomControl::Paint();
}

// ---------------------------------------------------------------------------------------------
// TBevel

namespace {

class TBevelWidget : public QWidget
{
public:
    TBevelShape Shape = bsBox;
    TBevelStyle Style = bsLowered;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QColor shadow(128, 128, 128);
        const QColor light(255, 255, 255);
        const QColor first = Style == bsLowered ? shadow : light;
        const QColor second = Style == bsLowered ? light : shadow;
        const int w = width() - 1;
        const int h = height() - 1;
        auto line = [&](const QColor& color, int x1, int y1, int x2, int y2) {
            painter.setPen(color);
            painter.drawLine(x1, y1, x2, y2);
        };
        switch (Shape) {
        case bsBox:
            line(first, 0, 0, w, 0);
            line(first, 0, 0, 0, h);
            line(second, 0, h, w, h);
            line(second, w, 0, w, h);
            break;
        case bsFrame:
            painter.setPen(first);
            painter.drawRect(0, 0, w - 1, h - 1);
            painter.setPen(second);
            painter.drawRect(1, 1, w - 1, h - 1);
            break;
        case bsTopLine:
            line(first, 0, 0, w, 0);
            line(second, 0, 1, w, 1);
            break;
        case bsBottomLine:
            line(first, 0, h - 1, w, h - 1);
            line(second, 0, h, w, h);
            break;
        case bsLeftLine:
            line(first, 0, 0, 0, h);
            line(second, 1, 0, 1, h);
            break;
        case bsRightLine:
            line(first, w - 1, 0, w - 1, h);
            line(second, w, 0, w, h);
            break;
        case bsSpacer:
            break;
        }
    }
};

} // namespace

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner, (EnsureQtApplication(), new TBevelWidget))
{
    FWidget->setAttribute(Qt::WA_TransparentForMouseEvents);
    SetParentColor(true);
    SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape Value)
{
    FShape = Value;
    static_cast<TBevelWidget*>(FWidget)->Shape = Value;
    FWidget->update();
}

void TBevel::SetStyle(TBevelStyle Value)
{
    FStyle = Value;
    static_cast<TBevelWidget*>(FWidget)->Style = Value;
    FWidget->update();
}

// ---------------------------------------------------------------------------------------------
// TImage

TImage::TImage(TComponent* AOwner)
    : TGraphicControl(AOwner, (EnsureQtApplication(), new TSurfaceWidget(nullptr, nullptr, nullptr)))
{
    FPicture = std::make_unique<TPicture>();
    FPicture->OnChange = [this](TObject*) { PictureChanged(); };
    FHost = std::make_unique<TFrontImageHost>([this] { PaintPicture(); }, nullptr);
    FHost->OnDrawn = [this](const TRect&) { FWidget->update(); };
    static_cast<TSurfaceWidget*>(FWidget)->Attach(this, FHost.get());
    SetParentColor(true);
    SetBounds(0, 0, 105, 105);
}

TImage::~TImage() = default;

void TImage::SetPicture(TPicture* Value)
{
    FPicture->Assign(Value);
}

TCanvas* TImage::Canvas()
{
    TGraphic* graphic = FPicture->Graphic();
    if (!graphic) {
        TBitmap* bitmap = FPicture->Bitmap();
        bitmap->SetPixelFormat(pf24bit);
        bitmap->SetSize(Width(), Height());
        return bitmap->Canvas();
    }
    auto* bitmap = dynamic_cast<TBitmap*>(graphic);
    if (!bitmap) {
        throw EInvalidOperation("Can only modify an image if it contains a bitmap");
    }
    return bitmap->Canvas();
}

TBitmap* TImage::FrontImage() const
{
    return FHost->Image();
}

void TImage::SetStretch(bool Value)
{
    FStretch = Value;
    Invalidate();
}

void TImage::SetProportional(bool Value)
{
    FProportional = Value;
    Invalidate();
}

void TImage::SetCenter(bool Value)
{
    FCenter = Value;
    Invalidate();
}

void TImage::SetAutoSize(bool Value)
{
    FAutoSize = Value;
    PictureChanged();
}

void TImage::SetTransparent(bool Value)
{
    FTransparent = Value;
    Invalidate();
}

void TImage::PictureChanged()
{
    if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0) {
        SetBounds(Left(), Top(), FPicture->Width(), FPicture->Height());
    }
    Invalidate();
}

void TImage::Invalidate()
{
    if (FHost->Image()->Width() != ClientWidth() || FHost->Image()->Height() != ClientHeight()) {
        FHost->Resize(ClientWidth(), ClientHeight());
    }
    FHost->Mark(nullptr, true);
    FWidget->update();
}

void TImage::Update()
{
    if (FHost->Image()->Width() != ClientWidth() || FHost->Image()->Height() != ClientHeight()) {
        FHost->Resize(ClientWidth(), ClientHeight());
    }
    if (!FHost->PaintMarked().IsEmpty()) {
        FWidget->update();
    }
}

TRect TImage::DestRect() const
{
    int32_t w = FPicture->Width();
    int32_t h = FPicture->Height();
    const int32_t cw = ClientWidth();
    const int32_t ch = ClientHeight();
    if (FStretch || (FProportional && (w > cw || h > ch))) {
        if (FProportional && w > 0 && h > 0) {
            const double aspect = double(w) / double(h);
            if (w > h) {
                w = cw;
                h = Trunc(cw / aspect);
                if (h > ch) {
                    h = ch;
                    w = Trunc(ch * aspect);
                }
            } else {
                h = ch;
                w = Trunc(ch * aspect);
                if (w > cw) {
                    w = cw;
                    h = Trunc(cw / aspect);
                }
            }
        } else {
            w = cw;
            h = ch;
        }
    }
    TRect rect{0, 0, w, h};
    if (FCenter) {
        const int32_t dx = (cw - w) / 2;
        const int32_t dy = (ch - h) / 2;
        rect = TRect{dx, dy, dx + w, dy + h};
    }
    return rect;
}

void TImage::PaintPicture()
{
    TCanvas* canvas = FHost->Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(Color());
    canvas->FillRect(canvas->ClipRect());
    TGraphic* graphic = FPicture->Graphic();
    if (graphic && !graphic->Empty()) {
        canvas->StretchDraw(DestRect(), graphic);
    }
}

// ---------------------------------------------------------------------------------------------
// TTimer

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner)
{
    EnsureQtApplication();
    FTimer = new QTimer;
    QObject::connect(FTimer, &QTimer::timeout, FTimer, [this] {
        Guarded(this, [this] {
            if (OnTimer) {
                OnTimer(this);
            }
        });
    });
    UpdateTimer();
}

TTimer::~TTimer()
{
    delete FTimer;
}

void TTimer::SetEnabled(bool Value)
{
    if (FEnabled == Value) {
        return;
    }
    FEnabled = Value;
    UpdateTimer();
}

void TTimer::SetPrecise(bool Value)
{
    FTimer->setTimerType(Value ? Qt::PreciseTimer : Qt::CoarseTimer);
}

void TTimer::SetInterval(uint32_t Value)
{
    if (FInterval == Value) {
        return;
    }
    FInterval = Value;
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    FTimer->stop();
    if (FEnabled && FInterval > 0) {
        FTimer->start(static_cast<int>(std::min<uint32_t>(FInterval, INT32_MAX)));
    }
}
