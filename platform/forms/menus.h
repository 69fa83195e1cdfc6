// Menus: the main menu of a form and its items, with captions, shortcuts and click events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/forms/controls.h"

class QAction;
class QMenu;
class QMenuBar;
class TMainMenu;

// A key with its modifiers: the virtual-key code in the low byte and these bits above it.
using TShortCut = uint16_t;
enum : TShortCut
{
    scShift = 0x2000,
    scCtrl = 0x4000,
    scAlt = 0x8000,
    scNone = 0,
};
constexpr TShortCut ShortCut(uint16_t Key, TShiftState Shift)
{
    return TShortCut((Key & 0xFF) | ((Shift & ssShift) ? scShift : 0) | ((Shift & ssCtrl) ? scCtrl : 0) |
                     ((Shift & ssAlt) ? scAlt : 0));
}

// A menu item; "-" as caption makes a separator, "&" marks the access key. A caption without
// one is shown with an access key of its own, the first letter (a word's first letter before
// others) that no other item of its menu uses. Items with items of their own open a submenu.
class TMenuItem : public TComponent
{
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& Value);
    TShortCut ShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    bool Checked() const { return FChecked; }
    void SetChecked(bool Value);
    bool IsLine() const { return FCaption == "-"; }
    // The text the menu shows: the caption with its access key, empty for a separator.
    std::string ShownCaption() const;

    // The item's own items (not owned through this list; owned by their owner component).
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    TMenuItem* Items(int32_t Index) const;
    TMenuItem* Parent() const { return FParent; }
    void Add(TMenuItem* Item);
    void Insert(int32_t Index, TMenuItem* Item);
    void Remove(TMenuItem* Item);
    int32_t IndexOf(const TMenuItem* Item) const;
    // Fires OnClick, as choosing the item does.
    virtual void Click();

    TNotifyEvent OnClick;

    // Internal: the widgets' action of this item.
    QAction* Action() const { return FAction; }

private:
    friend class TMainMenu;
    void Changed();
    void RebuildSubmenu();
    // Gives the items of this item's menu their shown captions.
    void AssignAccessKeys();
    void SetShownCaption(const std::string& Text);

    std::string FCaption;
    TShortCut FShortCut = 0;
    bool FEnabled = true;
    bool FVisible = true;
    bool FChecked = false;
    TMenuItem* FParent = nullptr;
    TMainMenu* FMenu = nullptr;
    std::vector<TMenuItem*> FItems;
    QAction* FAction = nullptr;
    QMenu* FSubmenu = nullptr;
};

// The menu bar of a form. Created with a form as owner, it becomes that form's menu unless the
// form already has one.
class TMainMenu : public TComponent
{
public:
    explicit TMainMenu(TComponent* AOwner);
    ~TMainMenu() override;

    // The invisible root whose items are the bar's menus.
    TMenuItem* Items() const { return FItems; }
    // Finds the item with the shortcut, among enabled and visible items.
    TMenuItem* FindItem(TShortCut Value) const;

    // Internal: the form's bar shows the items; an item changed.
    void FillMenuBar(QMenuBar* Bar);
    void Changed();
    void SetForm(TForm* Form) { FForm = Form; }

private:
    TMenuItem* FItems = nullptr;
    TForm* FForm = nullptr;
};
