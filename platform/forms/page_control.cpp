// The page control: a tab row over a framed pane that holds the pages, one of them shown.
#include "platform/forms/page_control.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <algorithm>

#include "platform/core/exceptions.h"
#include "platform/forms/detail/qt_bridge.h"

using namespace FormsDetail;

namespace {

// Room between the pane's frame and the pages.
constexpr int kPaneInset = 3;

// The frame that the pages sit in, drawn as the style draws a tabbed pane.
class TPaneWidget : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStyleOptionTabWidgetFrame option;
        option.initFrom(this);
        option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
        option.shape = QTabBar::RoundedNorth;
        QPainter painter(this);
        style()->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter, this);
    }
};

// Ctrl+Tab and Ctrl+Shift+Tab that the focused control within the pages left alone turn the
// pages, as in the class library's dialogs.
class TPageKeys : public QObject
{
public:
    TPageKeys(TPageControl* Pages, QObject* Parent) : QObject(Parent), FPages(Pages) {}

    bool eventFilter(QObject*, QEvent* Event) override
    {
        if (Event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(Event);
        if (!(key->modifiers() & Qt::ControlModifier) ||
            (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)) {
            return false;
        }
        const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
        Guarded(FPages, [&] { FPages->SelectNextPage(!back); });
        return true;
    }

private:
    TPageControl* FPages;
};

QWidget* NewPageControlWidget()
{
    EnsureQtApplication();
    return new QWidget;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TTabSheet

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner, (EnsureQtApplication(), new QWidget))
{
    SetControlStyle(ControlStyle() | csAcceptsControls);
}

TTabSheet::~TTabSheet()
{
    if (FPageControl) {
        FPageControl->RemovePage(this);
    }
}

void TTabSheet::BeforeDestruction()
{
    if (FPageControl) {
        FPageControl->RemovePage(this);
    }
    TWinControl::BeforeDestruction();
}

void TTabSheet::SetPageControl(TPageControl* Value)
{
    if (Value == FPageControl) {
        return;
    }
    if (FPageControl) {
        FPageControl->RemovePage(this);
    }
    TWinControl::SetParent(Value);
    if (Value) {
        Value->InsertPage(this);
    }
}

void TTabSheet::SetParent(TWinControl* AParent)
{
    if (auto* pages = dynamic_cast<TPageControl*>(AParent)) {
        SetPageControl(pages);
        return;
    }
    if (FPageControl) {
        FPageControl->RemovePage(this);
    }
    TWinControl::SetParent(AParent);
}

int32_t TTabSheet::PageIndex() const
{
    if (!FPageControl) {
        return -1;
    }
    for (int32_t i = 0; i < FPageControl->PageCount(); ++i) {
        if (FPageControl->Pages(i) == this) {
            return i;
        }
    }
    return -1;
}

void TTabSheet::SetPageIndex(int32_t Value)
{
    if (FPageControl) {
        FPageControl->MovePage(this, Value);
    }
}

int32_t TTabSheet::TabIndex() const
{
    if (!FPageControl || !FTabVisible) {
        return -1;
    }
    int32_t index = 0;
    for (int32_t i = 0; i < FPageControl->PageCount(); ++i) {
        TTabSheet* page = FPageControl->Pages(i);
        if (page == this) {
            return index;
        }
        if (page->FTabVisible) {
            ++index;
        }
    }
    return -1;
}

void TTabSheet::SetTabVisible(bool Value)
{
    if (FTabVisible == Value) {
        return;
    }
    FTabVisible = Value;
    if (FPageControl) {
        FPageControl->TabChanged(this);
    }
}

void TTabSheet::SetTextValue(const std::string& Value)
{
    FCaption = Value;
    if (FPageControl) {
        FPageControl->TabChanged(this);
    }
}

// ---------------------------------------------------------------------------------------------
// TPageControl

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner, NewPageControlWidget())
{
    FPane = new TPaneWidget(FWidget);
    FClient = new QWidget(FPane);
    FTabBar = new QTabBar(FWidget);
    FTabBar->setDrawBase(false);
    FTabBar->setExpanding(false);
    FTabBar->setUsesScrollButtons(true);
    FTabBar->setFocusPolicy(Qt::TabFocus);
    FWidget->setFocusProxy(FTabBar);
    FWidget->installEventFilter(new TPageKeys(this, FWidget));
    RouteEventsOf(FTabBar);
    SetControlStyle((ControlStyle() | csAcceptsControls) & ~(csClickEvents | csDoubleClicks));
    // currentChanged also comes from the program's changes; those run with FApplying set.
    QObject::connect(FTabBar, &QTabBar::currentChanged, FTabBar,
                     [this](int index) { Guarded(this, [this, index] { UserChoseTab(index); }); });
    SetTabStop(true);
    SetBounds(0, 0, 289, 193);
    LayoutPages();
}

TPageControl::~TPageControl()
{
    for (TTabSheet* page : FPages) {
        page->FPageControl = nullptr;
    }
    FPages.clear();
    FActivePage = nullptr;
}

TTabSheet* TPageControl::Pages(int32_t Index) const
{
    if (Index < 0 || Index >= PageCount()) {
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    }
    return FPages[static_cast<size_t>(Index)];
}

int32_t TPageControl::ActivePageIndex() const
{
    return FActivePage ? FActivePage->PageIndex() : -1;
}

void TPageControl::SetActivePageIndex(int32_t Value)
{
    SetActivePage(Value >= 0 && Value < PageCount() ? FPages[static_cast<size_t>(Value)] : nullptr);
}

void TPageControl::SetActivePage(TTabSheet* Page)
{
    if (Page && (Page->FPageControl != this || !Page->FTabVisible)) {
        return;
    }
    ChangeActivePage(Page);
}

void TPageControl::ChangeActivePage(TTabSheet* Page)
{
    if (Page == FActivePage) {
        SyncTabBar();
        return;
    }
    TTabSheet* old = FActivePage;
    FActivePage = Page;
    if (Page) {
        Page->SetBounds(0, 0, FClient->width(), FClient->height());
        Page->SetVisible(true);
        Page->BringToFront();
    }
    if (old) {
        old->SetVisible(false);
    }
    SyncTabBar();
    if (old && old->OnHide) {
        old->OnHide(old);
    }
    if (Page && Page->OnShow) {
        Page->OnShow(Page);
    }
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible) const
{
    const int32_t count = PageCount();
    if (count == 0) {
        return nullptr;
    }
    auto it = std::find(FPages.begin(), FPages.end(), CurPage);
    int32_t start =
        it == FPages.end() ? (GoForward ? count - 1 : 0) : static_cast<int32_t>(it - FPages.begin());
    int32_t i = start;
    for (int32_t step = 0; step < count; ++step) {
        i = GoForward ? (i + 1) % count : (i + count - 1) % count;
        TTabSheet* page = FPages[static_cast<size_t>(i)];
        if (!CheckTabVisible || page->FTabVisible) {
            return page;
        }
    }
    return nullptr;
}

void TPageControl::SelectNextPage(bool GoForward, bool CheckTabVisible)
{
    TTabSheet* page = FindNextPage(FActivePage, GoForward, CheckTabVisible);
    if (page && page != FActivePage && page->FTabVisible && CanChange()) {
        ChangeActivePage(page);
        Change();
    }
}

void TPageControl::InsertPage(TTabSheet* Page)
{
    FPages.push_back(Page);
    Page->FPageControl = this;
    FApplying = true;
    const int index = FTabBar->addTab(ToQ(Page->FCaption));
    FTabBar->setTabVisible(index, Page->FTabVisible);
    FApplying = false;
    Page->SetBounds(0, 0, FClient->width(), FClient->height());
    Page->SetVisible(false);
    if (!FActivePage && Page->FTabVisible) {
        ChangeActivePage(Page);
    } else {
        SyncTabBar();
    }
    LayoutPages();
}

void TPageControl::RemovePage(TTabSheet* Page)
{
    auto it = std::find(FPages.begin(), FPages.end(), Page);
    if (it == FPages.end()) {
        return;
    }
    const int index = static_cast<int>(it - FPages.begin());
    const bool wasActive = Page == FActivePage;
    TTabSheet* next = wasActive ? NeighbourWithTab(index) : nullptr;
    if (wasActive) {
        FActivePage = nullptr;
    }
    FPages.erase(it);
    Page->FPageControl = nullptr;
    FApplying = true;
    FTabBar->removeTab(index);
    FApplying = false;
    if (wasActive) {
        ChangeActivePage(next);
    }
    LayoutPages();
}

void TPageControl::MovePage(TTabSheet* Page, int32_t NewIndex)
{
    auto it = std::find(FPages.begin(), FPages.end(), Page);
    if (it == FPages.end()) {
        return;
    }
    const int from = static_cast<int>(it - FPages.begin());
    const int to = std::clamp(NewIndex, 0, PageCount() - 1);
    if (from == to) {
        return;
    }
    FPages.erase(it);
    FPages.insert(FPages.begin() + to, Page);
    FApplying = true;
    FTabBar->moveTab(from, to);
    FApplying = false;
    SyncTabBar();
}

void TPageControl::TabChanged(TTabSheet* Page)
{
    const int index = Page->PageIndex();
    if (index < 0) {
        return;
    }
    FApplying = true;
    FTabBar->setTabText(index, ToQ(Page->FCaption));
    FTabBar->setTabVisible(index, Page->FTabVisible);
    FApplying = false;
    if (Page == FActivePage && !Page->FTabVisible) {
        TTabSheet* next = NeighbourWithTab(index);
        ChangeActivePage(next);
    } else if (!FActivePage && Page->FTabVisible) {
        ChangeActivePage(Page);
    } else {
        SyncTabBar();
    }
    LayoutPages();
}

TTabSheet* TPageControl::NeighbourWithTab(int32_t Index) const
{
    // As the class library: the tab that takes the place of the one at Index, else the last.
    for (int32_t i = Index + 1; i < PageCount(); ++i) {
        if (FPages[static_cast<size_t>(i)]->FTabVisible) {
            return FPages[static_cast<size_t>(i)];
        }
    }
    for (int32_t i = Index - 1; i >= 0; --i) {
        if (FPages[static_cast<size_t>(i)]->FTabVisible) {
            return FPages[static_cast<size_t>(i)];
        }
    }
    return nullptr;
}

void TPageControl::SyncTabBar()
{
    FApplying = true;
    const int32_t index = ActivePageIndex();
    if (index >= 0) {
        FTabBar->setCurrentIndex(index);
    }
    FApplying = false;
}

void TPageControl::UserChoseTab(int32_t Index)
{
    if (FApplying || Index < 0 || Index >= PageCount()) {
        return;
    }
    TTabSheet* page = FPages[static_cast<size_t>(Index)];
    if (page == FActivePage) {
        return;
    }
    if (!page->FTabVisible || !CanChange()) {
        SyncTabBar();
        return;
    }
    ChangeActivePage(page);
    Change();
}

bool TPageControl::CanChange()
{
    bool allow = true;
    if (OnChanging) {
        OnChanging(this, allow);
    }
    return allow;
}

void TPageControl::Change()
{
    if (OnChange) {
        OnChange(this);
    }
}

void TPageControl::WidgetResized()
{
    LayoutPages();
    TWinControl::WidgetResized();
}

int32_t TPageControl::TabRowHeight() const
{
    return std::max(FTabBar->sizeHint().height(), FTabBar->fontMetrics().height() + 8);
}

void TPageControl::LayoutPages()
{
    const int width = FWidget->width();
    const int height = FWidget->height();
    const int tabHeight = TabRowHeight();
    const int overlap = FTabBar->style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, FTabBar);
    FTabBar->setGeometry(2, 0, std::max(width - 4, 0), tabHeight);
    const int paneTop = std::max(tabHeight - overlap, 0);
    FPane->setGeometry(0, paneTop, width, std::max(height - paneTop, 0));
    FClient->setGeometry(kPaneInset, kPaneInset, std::max(width - 2 * kPaneInset, 0),
                         std::max(FPane->height() - 2 * kPaneInset, 0));
    FTabBar->raise();
    for (TTabSheet* page : FPages) {
        page->SetBounds(0, 0, FClient->width(), FClient->height());
    }
}
