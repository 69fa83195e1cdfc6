// TPageControl and TTabSheet: pages of controls, one shown at a time, chosen by their tabs.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/forms/controls.h"

class QTabBar;
class TPageControl;

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// One page. Its Caption is the text of its tab. A page whose TabVisible is false has no tab and
// cannot be the active page. Only the active page is Visible.
class TTabSheet : public TWinControl
{
public:
    explicit TTabSheet(TComponent* AOwner);
    ~TTabSheet() override;
    void BeforeDestruction() override;

    TPageControl* PageControl() const { return FPageControl; }
    // Moves the page into the page control (nullptr takes it out), as its last page.
    void SetPageControl(TPageControl* Value);
    // A page control as parent does the same as SetPageControl.
    void SetParent(TWinControl* AParent) override;

    // Position among all pages of the page control (-1 outside one); setting it moves the page.
    int32_t PageIndex() const;
    void SetPageIndex(int32_t Value);
    // Position among the tabs shown, -1 while the tab is hidden or outside a page control.
    int32_t TabIndex() const;
    bool TabVisible() const { return FTabVisible; }
    // Hiding the tab of the active page makes the next page with a tab active, else the one
    // before it, else none.
    void SetTabVisible(bool Value);

    // The page became the active page, or stopped being it.
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

protected:
    std::string GetText() const override { return FCaption; }
    void SetTextValue(const std::string& Value) override;

private:
    friend class TPageControl;
    TPageControl* FPageControl = nullptr;
    std::string FCaption;
    bool FTabVisible = true;
};

// Pages with a row of tabs above them. The user's click on a tab fires OnChanging, which may
// refuse the change, then makes the page active and fires OnChange. Choosing the page from the
// program (ActivePage, ActivePageIndex, SelectNextPage, hiding a tab) fires neither, as in the
// class library. The first page with a tab becomes active when there was none. Ctrl+Tab and
// Ctrl+Shift+Tab in a control on the pages turn them as SelectNextPage does.
class TPageControl : public TWinControl
{
public:
    explicit TPageControl(TComponent* AOwner);
    ~TPageControl() override;

    int32_t PageCount() const { return static_cast<int32_t>(FPages.size()); }
    // Raises EListError when Index is out of range.
    TTabSheet* Pages(int32_t Index) const;

    // The page shown, or nullptr. A page of another control or one without a tab is refused:
    // nothing changes.
    TTabSheet* ActivePage() const { return FActivePage; }
    void SetActivePage(TTabSheet* Page);
    // The height of the row of tabs above the pages, which grows with the font.
    int32_t TabRowHeight() const;
    // -1 when no page is active; an index out of range makes none active.
    int32_t ActivePageIndex() const;
    void SetActivePageIndex(int32_t Value);
    // Position of the active page among the tabs shown, -1 when none.
    int32_t TabIndex() const { return FActivePage ? FActivePage->TabIndex() : -1; }

    // The page after (or before) CurPage, wrapping round, skipping pages without a tab when
    // CheckTabVisible is set; CurPage nullptr starts at the end. nullptr when there is none.
    TTabSheet* FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible) const;
    // Activates the next page as the user's Ctrl+Tab does: OnChanging, then OnChange.
    void SelectNextPage(bool GoForward, bool CheckTabVisible = true);

    TTabChangingEvent OnChanging;
    TNotifyEvent OnChange;

    // Internal: the pages and the tab row.
    void InsertPage(TTabSheet* Page);
    void RemovePage(TTabSheet* Page);
    void MovePage(TTabSheet* Page, int32_t NewIndex);
    void TabChanged(TTabSheet* Page);
    void UserChoseTab(int32_t Index);
    QTabBar* TabBar() const { return FTabBar; }

protected:
    // Asks OnChanging whether the active page may change.
    virtual bool CanChange();
    virtual void Change();
    QWidget* ClientWidget() const override { return FClient; }
    void WidgetResized() override;

private:
    void ChangeActivePage(TTabSheet* Page);
    void SyncTabBar();
    TTabSheet* NeighbourWithTab(int32_t Index) const;
    void LayoutPages();

    QTabBar* FTabBar = nullptr;
    QWidget* FPane = nullptr;
    QWidget* FClient = nullptr;
    std::vector<TTabSheet*> FPages;
    TTabSheet* FActivePage = nullptr;
    bool FApplying = false;
};
