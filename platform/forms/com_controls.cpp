// The track bar, progress bar and header control over their widgets.
#include "platform/forms/com_controls.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QProxyStyle>
#include <QSlider>
#include <QStandardItemModel>
#include <algorithm>

#include "platform/core/exceptions.h"
#include "platform/forms/detail/qt_bridge.h"

using namespace FormsDetail;

namespace {

template <class W, class... A> W* NewWidget(A... Args)
{
    EnsureQtApplication();
    return new W(Args...);
}

// The platform's style with the slider's thumb of a given thickness across the track.
class TThumbLengthStyle : public QProxyStyle
{
public:
    explicit TThumbLengthStyle(int Length) : FLength(Length) {}

    int pixelMetric(PixelMetric Metric, const QStyleOption* Option, const QWidget* Widget) const override
    {
        // Styles size the thumb by one or the other.
        if (Metric == PM_SliderControlThickness || Metric == PM_SliderThickness) {
            return FLength;
        }
        return QProxyStyle::pixelMetric(Metric, Option, Widget);
    }

private:
    int FLength;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// TTrackBar

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QSlider>(Qt::Horizontal))
{
    auto* slider = static_cast<QSlider*>(FWidget);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    QObject::connect(slider, &QSlider::valueChanged, slider,
                     [this](int value) { Guarded(this, [this, value] { WidgetMoved(value); }); });
    ApplyRange();
    ApplyTicks();
    SetTabStop(true);
    SetBounds(0, 0, 150, 45);
}

void TTrackBar::ApplyRange()
{
    auto* slider = static_cast<QSlider*>(FWidget);
    FApplying = true;
    slider->setRange(FMin, FMax);
    slider->setPageStep(FPageSize);
    slider->setSingleStep(FLineSize);
    slider->setValue(FPosition);
    FApplying = false;
}

void TTrackBar::ApplyTicks()
{
    auto* slider = static_cast<QSlider*>(FWidget);
    slider->setOrientation(FOrientation == trHorizontal ? Qt::Horizontal : Qt::Vertical);
    if (FTickStyle == tsNone) {
        slider->setTickPosition(QSlider::NoTicks);
        return;
    }
    switch (FTickMarks) {
    case tmBottomRight:
        slider->setTickPosition(QSlider::TicksBelow);
        break;
    case tmTopLeft:
        slider->setTickPosition(QSlider::TicksAbove);
        break;
    case tmBoth:
        slider->setTickPosition(QSlider::TicksBothSides);
        break;
    }
    slider->setTickInterval(std::max(FFrequency, 1));
}

void TTrackBar::SetRange(int32_t AMin, int32_t AMax)
{
    FMin = AMin;
    FMax = std::max(AMin, AMax);
    const int32_t clamped = std::clamp(FPosition, FMin, FMax);
    const bool moved = clamped != FPosition;
    FPosition = clamped;
    ApplyRange();
    if (moved) {
        Changed();
    }
}

void TTrackBar::SetMin(int32_t Value)
{
    SetRange(Value, std::max(Value, FMax));
}

void TTrackBar::SetMax(int32_t Value)
{
    SetRange(std::min(FMin, Value), Value);
}

void TTrackBar::SetPosition(int32_t Value)
{
    Value = std::clamp(Value, FMin, FMax);
    if (Value == FPosition) {
        return;
    }
    FPosition = Value;
    ApplyRange();
    Changed();
}

void TTrackBar::WidgetMoved(int32_t Value)
{
    if (FApplying || Value == FPosition) {
        return;
    }
    FPosition = Value;
    Changed();
}

void TTrackBar::SetFrequency(int32_t Value)
{
    FFrequency = Value;
    ApplyTicks();
}

void TTrackBar::SetPageSize(int32_t Value)
{
    FPageSize = Value;
    ApplyRange();
}

void TTrackBar::SetLineSize(int32_t Value)
{
    FLineSize = Value;
    ApplyRange();
}

void TTrackBar::SetOrientation(TTrackBarOrientation Value)
{
    FOrientation = Value;
    ApplyTicks();
}

void TTrackBar::SetTickStyle(TTickStyle Value)
{
    FTickStyle = Value;
    ApplyTicks();
}

void TTrackBar::SetTickMarks(TTickMark Value)
{
    FTickMarks = Value;
    ApplyTicks();
}

void TTrackBar::SetThumbLength(int32_t Value)
{
    Value = std::clamp(Value, 1, 1000);
    if (Value == FThumbLength) {
        return;
    }
    FThumbLength = Value;
    auto* slider = static_cast<QSlider*>(FWidget);
    QStyle* old = slider->style();
    if (Value == 20) {
        slider->setStyle(nullptr);
    } else {
        auto* style = new TThumbLengthStyle(Value);
        style->setParent(slider);
        slider->setStyle(style);
    }
    if (dynamic_cast<TThumbLengthStyle*>(old)) {
        delete old;
    }
    slider->update();
}

void TTrackBar::KeyDown(uint16_t& Key, TShiftState Shift)
{
    TWinControl::KeyDown(Key, Shift);
    // The class library's track bar: Page Down, Down and Right move toward Max.
    int32_t target = FPosition;
    switch (Key) {
    case VK_PRIOR:
        target -= FPageSize;
        break;
    case VK_NEXT:
        target += FPageSize;
        break;
    case VK_LEFT:
    case VK_UP:
        target -= FLineSize;
        break;
    case VK_RIGHT:
    case VK_DOWN:
        target += FLineSize;
        break;
    case VK_HOME:
        target = FMin;
        break;
    case VK_END:
        target = FMax;
        break;
    default:
        return;
    }
    Key = 0;
    SetPosition(target);
}

void TTrackBar::Changed()
{
    if (OnChange) {
        OnChange(this);
    }
}

// ---------------------------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QProgressBar>())
{
    static_cast<QProgressBar*>(FWidget)->setTextVisible(false);
    Apply();
    SetBounds(0, 0, 150, 16);
}

void TProgressBar::Apply()
{
    auto* bar = static_cast<QProgressBar*>(FWidget);
    bar->setRange(FMin, FMax);
    bar->setValue(FPosition);
}

void TProgressBar::SetMin(int32_t Value)
{
    FMin = Value;
    FMax = std::max(FMax, FMin);
    FPosition = std::clamp(FPosition, FMin, FMax);
    Apply();
}

void TProgressBar::SetMax(int32_t Value)
{
    FMax = Value;
    FMin = std::min(FMin, FMax);
    FPosition = std::clamp(FPosition, FMin, FMax);
    Apply();
}

void TProgressBar::SetPosition(int32_t Value)
{
    FPosition = std::clamp(Value, FMin, FMax);
    Apply();
}

// ---------------------------------------------------------------------------------------------
// THeaderControl

namespace {

QHeaderView* HeaderView(QWidget* widget)
{
    return static_cast<QHeaderView*>(widget);
}

QStandardItemModel* HeaderModel(QWidget* widget)
{
    return static_cast<QStandardItemModel*>(HeaderView(widget)->model());
}

Qt::Alignment QtAlignmentOf(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify:
        return Qt::AlignRight | Qt::AlignVCenter;
    case taCenter:
        return Qt::AlignCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

THeaderControl::THeaderControl(TComponent* AOwner)
    : TWinControl(AOwner, NewWidget<QHeaderView>(Qt::Horizontal, nullptr)), FSections(this)
{
    QHeaderView* header = HeaderView(FWidget);
    header->setModel(new QStandardItemModel(0, 0, header));
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(0);
    SetControlStyle(ControlStyle() & ~(csClickEvents | csDoubleClicks));
    QObject::connect(header, &QHeaderView::sectionResized, header, [this](int index, int, int width) {
        Guarded(this, [this, index, width] { UserResized(index, width); });
    });
    QObject::connect(header, &QHeaderView::sectionClicked, header,
                     [this](int index) { Guarded(this, [this, index] { UserClicked(index); }); });
    SetBounds(0, 0, 200, 17);
}

THeaderControl::~THeaderControl() = default;

bool THeaderControl::DragReorder() const
{
    return HeaderView(FWidget)->sectionsMovable();
}

void THeaderControl::SetDragReorder(bool Value)
{
    HeaderView(FWidget)->setSectionsMovable(Value);
}

void THeaderControl::SectionsChanged()
{
    QStandardItemModel* model = HeaderModel(FWidget);
    FApplying = true;
    model->setColumnCount(static_cast<int>(FData.size()));
    for (size_t i = 0; i < FData.size(); ++i) {
        model->setHeaderData(int(i), Qt::Horizontal, ToQ(FData[i].Text), Qt::DisplayRole);
        model->setHeaderData(int(i), Qt::Horizontal, int(QtAlignmentOf(FData[i].Alignment)),
                             Qt::TextAlignmentRole);
    }
    FApplying = false;
    ApplyWidths();
}

void THeaderControl::ApplyWidths()
{
    // Automatically sized sections share what the others leave of the header's width.
    int32_t fixed = 0;
    int32_t automatic = 0;
    for (const TSectionData& data : FData) {
        if (data.AutoSize) {
            ++automatic;
        } else {
            fixed += data.Width;
        }
    }
    if (automatic > 0) {
        const int32_t rest = std::max(ClientWidth() - fixed, 0);
        int32_t given = 0;
        int32_t seen = 0;
        for (TSectionData& data : FData) {
            if (!data.AutoSize) {
                continue;
            }
            ++seen;
            const int32_t share = seen == automatic ? rest - given : rest / automatic;
            data.Width = std::clamp(share, data.MinWidth, std::max(data.MinWidth, data.MaxWidth));
            given += share;
        }
    }
    QHeaderView* header = HeaderView(FWidget);
    FApplying = true;
    bool clickable = false;
    for (size_t i = 0; i < FData.size(); ++i) {
        header->resizeSection(int(i), FData[i].Width);
        clickable = clickable || FData[i].AllowClick;
    }
    header->setSectionsClickable(clickable);
    FApplying = false;
}

void THeaderControl::UserResized(int32_t Index, int32_t NewWidth)
{
    if (FApplying || Index < 0 || Index >= static_cast<int32_t>(FData.size())) {
        return;
    }
    TSectionData& data = FData[static_cast<size_t>(Index)];
    data.Width = std::clamp(NewWidth, data.MinWidth, std::max(data.MinWidth, data.MaxWidth));
    ApplyWidths();
    if (OnSectionResize) {
        OnSectionResize(this, data.Section.get());
    }
}

void THeaderControl::UserClicked(int32_t Index)
{
    if (Index < 0 || Index >= static_cast<int32_t>(FData.size()) || !FData[size_t(Index)].AllowClick) {
        return;
    }
    if (OnSectionClick) {
        OnSectionClick(this, FData[size_t(Index)].Section.get());
    }
}

void THeaderControl::Resize()
{
    TWinControl::Resize();
    ApplyWidths();
}

THeaderSection* THeaderSections::Add()
{
    auto& data = FHeader->SectionData();
    THeaderControl::TSectionData section;
    section.Section = std::make_unique<THeaderSection>(FHeader, static_cast<int32_t>(data.size()));
    data.push_back(std::move(section));
    FHeader->SectionsChanged();
    return data.back().Section.get();
}

int32_t THeaderSections::Count() const
{
    return static_cast<int32_t>(FHeader->SectionData().size());
}

THeaderSection* THeaderSections::Items(int32_t Index) const
{
    if (Index < 0 || Index >= Count()) {
        throw EListError("Header section index out of bounds");
    }
    return FHeader->SectionData()[static_cast<size_t>(Index)].Section.get();
}

void THeaderSections::Clear()
{
    FHeader->SectionData().clear();
    FHeader->SectionsChanged();
}

namespace {

THeaderControl::TSectionData& DataOf(THeaderControl* header, int32_t index)
{
    return header->SectionData()[static_cast<size_t>(index)];
}

} // namespace

std::string THeaderSection::Text() const
{
    return DataOf(FHeader, FIndex).Text;
}

void THeaderSection::SetText(const std::string& Value)
{
    DataOf(FHeader, FIndex).Text = Value;
    FHeader->SectionsChanged();
}

int32_t THeaderSection::Width() const
{
    return DataOf(FHeader, FIndex).Width;
}

void THeaderSection::SetWidth(int32_t Value)
{
    auto& data = DataOf(FHeader, FIndex);
    data.Width = std::clamp(Value, data.MinWidth, std::max(data.MinWidth, data.MaxWidth));
    FHeader->ApplyWidths();
}

int32_t THeaderSection::Left() const
{
    int32_t left = 0;
    for (int32_t i = 0; i < FIndex; ++i) {
        left += DataOf(FHeader, i).Width;
    }
    return left;
}

int32_t THeaderSection::MinWidth() const
{
    return DataOf(FHeader, FIndex).MinWidth;
}

void THeaderSection::SetMinWidth(int32_t Value)
{
    DataOf(FHeader, FIndex).MinWidth = std::max(Value, 0);
    FHeader->ApplyWidths();
}

int32_t THeaderSection::MaxWidth() const
{
    return DataOf(FHeader, FIndex).MaxWidth;
}

void THeaderSection::SetMaxWidth(int32_t Value)
{
    DataOf(FHeader, FIndex).MaxWidth = std::max(Value, 0);
    FHeader->ApplyWidths();
}

bool THeaderSection::AllowClick() const
{
    return DataOf(FHeader, FIndex).AllowClick;
}

void THeaderSection::SetAllowClick(bool Value)
{
    DataOf(FHeader, FIndex).AllowClick = Value;
    FHeader->ApplyWidths();
}

bool THeaderSection::AutoSize() const
{
    return DataOf(FHeader, FIndex).AutoSize;
}

void THeaderSection::SetAutoSize(bool Value)
{
    DataOf(FHeader, FIndex).AutoSize = Value;
    FHeader->ApplyWidths();
}

TAlignment THeaderSection::Alignment() const
{
    return DataOf(FHeader, FIndex).Alignment;
}

void THeaderSection::SetAlignment(TAlignment Value)
{
    DataOf(FHeader, FIndex).Alignment = Value;
    FHeader->SectionsChanged();
}
