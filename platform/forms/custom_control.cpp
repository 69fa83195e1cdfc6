// Self-painting controls: the front image and its surface, TCustomControl with its frame, window
// scroll bars and the caret.
#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>

#include "platform/forms/detail/front_image.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/graphics/gdi.h"

namespace FormsDetail {

// ---------------------------------------------------------------------------------------------
// TFrontImageHost

TFrontImageHost::TFrontImageHost(std::function<void()> Paint, std::function<void()> Erase)
    : FPaint(std::move(Paint)), FErase(std::move(Erase))
{
    FImage.SetPixelFormat(pf24bit);
    FCanvas = std::make_unique<TCanvas>([this](TRasterView& view) {
        if (FImage.Empty()) {
            return false;
        }
        view = FImage.RasterView();
        return view.IsValid();
    });
    FCanvas->OnChange = [this](TObject*) {
        if (!FPainting && OnDrawn) {
            OnDrawn(FCanvas->ClipRect());
        }
    };
}

void TFrontImageHost::Resize(int32_t Width, int32_t Height)
{
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);
    if (Width != FImage.Width() || Height != FImage.Height()) {
        FImage.SetSize(Width, Height);
    }
    Mark(nullptr, true);
}

void TFrontImageHost::Mark(const TRect* Rect, bool Erase)
{
    const TRect all{0, 0, FImage.Width(), FImage.Height()};
    TRect area = all;
    if (Rect && !IntersectRect(area, *Rect, all)) {
        return;
    }
    if (area.IsEmpty()) {
        return;
    }
    UnionRect(FMarked, FMarked, area);
    FErasePending = FErasePending || Erase;
}

TRect TFrontImageHost::PaintMarked()
{
    if (!IsMarked() || FPainting || FImage.Empty()) {
        return TRect{};
    }
    const TRect area = FMarked;
    const bool erase = FErasePending;
    FMarked = TRect{};
    FErasePending = false;
    FPainting = true;
    SelectClipRgn(FCanvas.get(), nullptr);
    IntersectClipRect(FCanvas.get(), area.Left, area.Top, area.Right, area.Bottom);
    try {
        if (erase && FErase) {
            FErase();
        }
        FPaint();
    } catch (...) {
        SelectClipRgn(FCanvas.get(), nullptr);
        FPainting = false;
        throw;
    }
    SelectClipRgn(FCanvas.get(), nullptr);
    FPainting = false;
    return area;
}

void TFrontImageHost::Present(QPainter& Painter, const QRect& Area)
{
    if (FImage.Empty()) {
        return;
    }
    const QImage image(FImage.ScanLine(0), FImage.Width(), FImage.Height(), FImage.RowLength(),
                       QImage::Format_BGR888);
    const QRect area = Area.intersected(QRect(0, 0, FImage.Width(), FImage.Height()));
    Painter.drawImage(area.topLeft(), image, area);
}

// ---------------------------------------------------------------------------------------------
// TSurfaceWidget

TSurfaceWidget::TSurfaceWidget(QWidget* Parent, TControl* Control, TFrontImageHost* Host)
    : QWidget(Parent), FControl(Control), FHost(Host)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void TSurfaceWidget::paintEvent(QPaintEvent* Event)
{
    if (FHost->IsMarked()) {
        Guarded(FControl, [&] {
            if (auto* custom = dynamic_cast<TCustomControl*>(FControl)) {
                custom->PaintMarked();
            } else {
                FHost->PaintMarked();
            }
        });
    }
    QPainter painter(this);
    FHost->Present(painter, Event->rect());
    if (auto* custom = dynamic_cast<TCustomControl*>(FControl)) {
        TCaret::Instance().Draw(painter, custom);
    }
}

// ---------------------------------------------------------------------------------------------
// TFrameWidget

TFrameWidget::TFrameWidget(QWidget* Parent) : QWidget(Parent) {}

void TFrameWidget::SetEdge(int Edge)
{
    FEdge = Edge;
    update();
}

void TFrameWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    if (FEdge <= 0) {
        return;
    }
    // The sunken client edge: shadow above and left, light below and right, two pixels deep.
    const int w = width(), h = height();
    painter.setPen(QColor(128, 128, 128));
    painter.drawLine(0, 0, w - 2, 0);
    painter.drawLine(0, 0, 0, h - 2);
    painter.setPen(QColor(255, 255, 255));
    painter.drawLine(0, h - 1, w - 1, h - 1);
    painter.drawLine(w - 1, 0, w - 1, h - 1);
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(1, 1, w - 3, 1);
    painter.drawLine(1, 1, 1, h - 3);
    painter.setPen(QColor(212, 208, 200));
    painter.drawLine(1, h - 2, w - 2, h - 2);
    painter.drawLine(w - 2, 1, w - 2, h - 2);
}

// ---------------------------------------------------------------------------------------------
// TScrollBarPair

TScrollBarPair::TScrollBarPair(QWidget* Frame, TCustomControl* Control) : FControl(Control)
{
    FBars[0] = new QScrollBar(Qt::Horizontal, Frame);
    FBars[1] = new QScrollBar(Qt::Vertical, Frame);
    for (int32_t which : {SB_HORZ, SB_VERT}) {
        QScrollBar* bar = Bar(which);
        bar->hide();
        bar->setFocusPolicy(Qt::NoFocus);
        bar->setRange(0, 0);
        bar->setSingleStep(1);
        Connect(which);
    }
}

int32_t TScrollBarPair::MaxPos(const TScrollInfo& Info)
{
    const int64_t page = std::max<int64_t>(int64_t(Info.nPage) - 1, 0);
    return static_cast<int32_t>(std::max<int64_t>(Info.nMin, int64_t(Info.nMax) - page));
}

void TScrollBarPair::Apply(int32_t Which)
{
    QScrollBar* bar = Bar(Which);
    const TScrollInfo& info = Info(Which);
    const QSignalBlocker blocker(bar);
    bar->setRange(info.nMin, MaxPos(info));
    bar->setPageStep(static_cast<int>(std::max<uint32_t>(info.nPage, 1)));
    bar->setSliderPosition(info.nPos);
    bar->setValue(info.nPos);
}

void TScrollBarPair::Connect(int32_t Which)
{
    QScrollBar* bar = Bar(Which);
    const uint32_t message = Which == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    auto send = [this, message](uint16_t code, int32_t pos) {
        FControl->Perform(message, MAKEWPARAM(code, uint16_t(pos)), 0);
    };
    QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [this, bar, Which, send](int action) {
        Guarded(FControl, [&] {
            TScrollInfo& info = Info(Which);
            if (action == QAbstractSlider::SliderMove) {
                info.nTrackPos = bar->sliderPosition();
                send(SB_THUMBTRACK, info.nTrackPos);
                return;
            }
            uint16_t code = SB_ENDSCROLL;
            switch (action) {
            case QAbstractSlider::SliderSingleStepAdd:
                code = SB_LINEDOWN;
                break;
            case QAbstractSlider::SliderSingleStepSub:
                code = SB_LINEUP;
                break;
            case QAbstractSlider::SliderPageStepAdd:
                code = SB_PAGEDOWN;
                break;
            case QAbstractSlider::SliderPageStepSub:
                code = SB_PAGEUP;
                break;
            case QAbstractSlider::SliderToMinimum:
                code = SB_TOP;
                break;
            case QAbstractSlider::SliderToMaximum:
                code = SB_BOTTOM;
                break;
            default:
                return;
            }
            send(code, info.nPos);
            send(SB_ENDSCROLL, info.nPos);
            // The thumb moves only where the control puts it (SetScrollPos).
            bar->setSliderPosition(Info(Which).nPos);
        });
    });
    QObject::connect(bar, &QAbstractSlider::sliderReleased, bar, [this, bar, Which, send] {
        Guarded(FControl, [&] {
            Info(Which).nTrackPos = bar->sliderPosition();
            send(SB_THUMBPOSITION, Info(Which).nTrackPos);
            send(SB_ENDSCROLL, Info(Which).nPos);
            Apply(Which);
        });
    });
}

// ---------------------------------------------------------------------------------------------
// TCaret

TCaret& TCaret::Instance()
{
    static TCaret* caret = new TCaret;
    return *caret;
}

TCaret::TCaret() {}

void TCaret::Create(TCustomControl* Owner, QWidget* Surface, int32_t Width, int32_t Height)
{
    Destroy();
    FOwner = Owner;
    FSurface = Surface;
    FRect = QRect(0, 0, std::max(Width, 1), std::max(Height, 1));
    FHideCount = 1;
    FBlinkOn = true;
    if (!FBlink) {
        FBlink = new QTimer(QCoreApplication::instance());
        QObject::connect(FBlink, &QTimer::timeout, FBlink, [this] {
            FBlinkOn = !FBlinkOn;
            Refresh();
        });
    }
    FBlink->start(std::max(QApplication::cursorFlashTime() / 2, 250));
}

void TCaret::Destroy()
{
    if (!FOwner) {
        return;
    }
    Refresh();
    FOwner = nullptr;
    FSurface = nullptr;
    if (FBlink) {
        FBlink->stop();
    }
}

void TCaret::SetPos(int32_t X, int32_t Y)
{
    Refresh();
    FRect.moveTo(X, Y);
    FBlinkOn = true;
    Refresh();
}

void TCaret::Show()
{
    if (FHideCount > 0) {
        --FHideCount;
    }
    FBlinkOn = true;
    Refresh();
}

void TCaret::Hide()
{
    ++FHideCount;
    Refresh();
}

void TCaret::Refresh()
{
    if (FSurface) {
        FSurface->update(FRect);
    }
}

void TCaret::Draw(QPainter& Painter, const TCustomControl* Control) const
{
    if (Control != FOwner || !Visible() || !FBlinkOn) {
        return;
    }
    Painter.save();
    Painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    Painter.fillRect(FRect, Qt::white);
    Painter.restore();
}

void TCaret::Forget(const TCustomControl* Control)
{
    if (FOwner == Control) {
        Destroy();
    }
}

} // namespace FormsDetail

using namespace FormsDetail;

// ---------------------------------------------------------------------------------------------
// TCustomControl

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner, new TFrameWidget)
{
    FHost = std::make_unique<TFrontImageHost>(
        [this] { Paint(); }, [this] { Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(Canvas()), 0); });
    FSurface = new TSurfaceWidget(FWidget, this, FHost.get());
    FHost->OnDrawn = [this](const TRect& area) {
        FSurface->update(QRect(area.Left, area.Top, area.Right - area.Left, area.Bottom - area.Top));
    };
    FScrollBars = std::make_unique<TScrollBarPair>(FWidget, this);
    RouteEventsOf(FSurface);
    // Focus comes by SetFocus or, with TabStop, by the Tab key and clicks.
    FWidget->setFocusPolicy(Qt::NoFocus);
    FSurface->setFocusProxy(FWidget);
    SetControlStyle(ControlStyle() | csAcceptsControls);
    ApplyColor();
    SetBounds(0, 0, 105, 105);
}

TCustomControl::~TCustomControl()
{
    TCaret::Instance().Forget(this);
    UnbindWidget(FSurface);
}

TCanvas* TCustomControl::Canvas() const
{
    return FHost->Canvas();
}

TBitmap* TCustomControl::FrontImage() const
{
    return FHost->Image();
}

void TCustomControl::Invalidate()
{
    InvalidateRect(nullptr, !(ControlStyle() & csOpaque));
}

void TCustomControl::InvalidateRect(const TRect* Rect, bool Erase)
{
    FHost->Mark(Rect, Erase);
    if (Rect) {
        FSurface->update(QRect(Rect->Left, Rect->Top, Rect->Right - Rect->Left, Rect->Bottom - Rect->Top));
    } else {
        FSurface->update();
    }
}

TRect TCustomControl::UpdateRect() const
{
    return FHost->Marked();
}

void TCustomControl::Update()
{
    PaintMarked();
}

void TCustomControl::Repaint()
{
    Invalidate();
    Update();
}

void TCustomControl::PaintMarked()
{
    const TRect area = FHost->PaintMarked();
    if (area.Right > area.Left) {
        FSurface->update(QRect(area.Left, area.Top, area.Right - area.Left, area.Bottom - area.Top));
    }
}

void TCustomControl::Paint()
{
    if (OnPaint) {
        OnPaint(this);
    }
}

void TCustomControl::Dispatch(TMessage& Message)
{
    if (Message.Msg == WM_ERASEBKGND) {
        if (!(ControlStyle() & csOpaque)) {
            TCanvas* canvas = Canvas();
            canvas->Brush()->SetColor(Color());
            canvas->Brush()->SetStyle(bsSolid);
            canvas->FillRect(canvas->ClipRect());
        }
        Message.Result = 1;
        return;
    }
    TWinControl::Dispatch(Message);
}

void TCustomControl::SetBorderStyle(TBorderStyle Value)
{
    if (Value != bsNone) {
        Value = bsSingle;
    }
    if (FBorderStyle == Value) {
        return;
    }
    FBorderStyle = Value;
    LayoutFrame();
}

int32_t TCustomControl::ClientWidth() const
{
    return FSurface->width();
}

int32_t TCustomControl::ClientHeight() const
{
    return FSurface->height();
}

QWidget* TCustomControl::ClientWidget() const
{
    return FSurface;
}

void TCustomControl::Resize()
{
    TWinControl::Resize();
}

void TCustomControl::ColorChanged()
{
    TWinControl::ColorChanged();
    Invalidate();
}

void TCustomControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight)
{
    FWidget->setGeometry(ALeft, ATop, std::max(AWidth, 0), std::max(AHeight, 0));
    LayoutFrame();
}

void TCustomControl::LayoutFrame()
{
    auto* frame = static_cast<TFrameWidget*>(FWidget);
    const int edge = FBorderStyle == bsSingle ? 2 : 0;
    frame->SetEdge(edge);
    const int extent = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const bool horizontal = FScrollBars->Shown(SB_HORZ);
    const bool vertical = FScrollBars->Shown(SB_VERT);
    const int innerWidth = std::max(FWidget->width() - 2 * edge, 0);
    const int innerHeight = std::max(FWidget->height() - 2 * edge, 0);
    const int clientWidth = std::max(innerWidth - (vertical ? extent : 0), 0);
    const int clientHeight = std::max(innerHeight - (horizontal ? extent : 0), 0);
    FSurface->setGeometry(edge, edge, clientWidth, clientHeight);
    QScrollBar* hbar = FScrollBars->Bar(SB_HORZ);
    QScrollBar* vbar = FScrollBars->Bar(SB_VERT);
    hbar->setGeometry(edge, edge + clientHeight, clientWidth, extent);
    vbar->setGeometry(edge + clientWidth, edge, extent, clientHeight);
    hbar->setVisible(horizontal);
    vbar->setVisible(vertical);
    if (clientWidth != FHost->Image()->Width() || clientHeight != FHost->Image()->Height()) {
        FHost->Resize(clientWidth, clientHeight);
        FSurface->update();
    }
    CheckResize();
}

int32_t TCustomControl::SetScrollInfo(int32_t Bar, const TScrollInfo& Info, bool Redraw)
{
    if (Bar != SB_HORZ && Bar != SB_VERT) {
        return 0;
    }
    TScrollInfo& info = FScrollBars->Info(Bar);
    if (Info.fMask & SIF_RANGE) {
        info.nMin = Info.nMin;
        info.nMax = std::max(Info.nMin, Info.nMax);
    }
    if (Info.fMask & SIF_PAGE) {
        info.nPage = Info.nPage;
    }
    if (Info.fMask & SIF_POS) {
        info.nPos = Info.nPos;
    }
    info.nPos = std::clamp(info.nPos, info.nMin, TScrollBarPair::MaxPos(info));
    FScrollBars->Apply(Bar);
    if (Info.fMask & (SIF_RANGE | SIF_PAGE)) {
        const bool needed = info.nMax > info.nMin &&
                            (info.nPage == 0 || int64_t(info.nPage) <= int64_t(info.nMax) - info.nMin);
        const bool keep = Info.fMask & SIF_DISABLENOSCROLL;
        FScrollBars->Bar(Bar)->setEnabled(needed);
        if (needed != FScrollBars->Shown(Bar) && (needed || !keep)) {
            ShowScrollBar(Bar, needed);
        }
    }
    if (Redraw) {
        FScrollBars->Bar(Bar)->update();
    }
    return info.nPos;
}

bool TCustomControl::GetScrollInfo(int32_t Bar, TScrollInfo& Info) const
{
    if (Bar != SB_HORZ && Bar != SB_VERT) {
        return false;
    }
    const TScrollInfo& info = FScrollBars->Info(Bar);
    if (Info.fMask & SIF_RANGE) {
        Info.nMin = info.nMin;
        Info.nMax = info.nMax;
    }
    if (Info.fMask & SIF_PAGE) {
        Info.nPage = info.nPage;
    }
    if (Info.fMask & SIF_POS) {
        Info.nPos = info.nPos;
    }
    if (Info.fMask & SIF_TRACKPOS) {
        Info.nTrackPos = info.nTrackPos;
    }
    return true;
}

int32_t TCustomControl::SetScrollPos(int32_t Bar, int32_t Pos, bool Redraw)
{
    if (Bar != SB_HORZ && Bar != SB_VERT) {
        return 0;
    }
    const int32_t previous = FScrollBars->Info(Bar).nPos;
    TScrollInfo info;
    info.fMask = SIF_POS;
    info.nPos = Pos;
    SetScrollInfo(Bar, info, Redraw);
    return previous;
}

int32_t TCustomControl::GetScrollPos(int32_t Bar) const
{
    if (Bar != SB_HORZ && Bar != SB_VERT) {
        return 0;
    }
    return FScrollBars->Info(Bar).nPos;
}

bool TCustomControl::SetScrollRange(int32_t Bar, int32_t Min, int32_t Max, bool Redraw)
{
    if (Bar != SB_HORZ && Bar != SB_VERT) {
        return false;
    }
    TScrollInfo info;
    info.fMask = SIF_RANGE;
    info.nMin = Min;
    info.nMax = Max;
    SetScrollInfo(Bar, info, Redraw);
    return true;
}

bool TCustomControl::ShowScrollBar(int32_t Bar, bool Show)
{
    bool changed = false;
    for (int32_t which : {SB_HORZ, SB_VERT}) {
        if (Bar == which || Bar == SB_BOTH) {
            changed = changed || FScrollBars->Shown(which) != Show;
            FScrollBars->Shown(which) = Show;
        }
    }
    if (Bar != SB_HORZ && Bar != SB_VERT && Bar != SB_BOTH) {
        return false;
    }
    if (changed) {
        LayoutFrame();
    }
    return true;
}

bool TCustomControl::EnableScrollBar(int32_t Bar, uint32_t Arrows)
{
    bool done = false;
    for (int32_t which : {SB_HORZ, SB_VERT}) {
        if (Bar == which || Bar == SB_BOTH) {
            FScrollBars->Bar(which)->setEnabled(Arrows != ESB_DISABLE_BOTH);
            done = true;
        }
    }
    return done;
}

bool TCustomControl::ScrollBarVisible(int32_t Bar) const
{
    if (Bar != SB_HORZ && Bar != SB_VERT) {
        return false;
    }
    return FScrollBars->Shown(Bar);
}

bool TCustomControl::CreateCaret(int32_t Width, int32_t Height)
{
    TCaret::Instance().Create(this, FSurface, Width, Height);
    return true;
}

bool TCustomControl::SetCaretPos(int32_t X, int32_t Y)
{
    if (TCaret::Instance().Owner() != this) {
        return false;
    }
    TCaret::Instance().SetPos(X, Y);
    return true;
}

TPoint TCustomControl::CaretPos() const
{
    return TCaret::Instance().Owner() == this ? TCaret::Instance().Pos() : TPoint{};
}

bool TCustomControl::ShowCaret()
{
    if (TCaret::Instance().Owner() != this) {
        return false;
    }
    TCaret::Instance().Show();
    return true;
}

bool TCustomControl::HideCaret()
{
    if (TCaret::Instance().Owner() != this) {
        return false;
    }
    TCaret::Instance().Hide();
    return true;
}

bool TCustomControl::DestroyCaret()
{
    if (TCaret::Instance().Owner() != this) {
        return false;
    }
    TCaret::Instance().Destroy();
    return true;
}

bool TCustomControl::CaretVisible() const
{
    return TCaret::Instance().Owner() == this && TCaret::Instance().Visible();
}
