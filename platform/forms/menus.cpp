// Menu items as the platform's actions, and the main menu as a form's menu bar.
#include "platform/forms/menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "platform/core/exceptions.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/form.h"

using namespace FormsDetail;

namespace {

QKeySequence KeySequenceOf(TShortCut Value)
{
    if (Value == 0) {
        return QKeySequence();
    }
    int key = QtKeyOf(Value & 0xFF);
    if (Value & scShift) {
        key |= Qt::SHIFT;
    }
    if (Value & scCtrl) {
        key |= Qt::CTRL;
    }
    if (Value & scAlt) {
        key |= Qt::ALT;
    }
    return QKeySequence(key);
}

} // namespace

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner)
{
    EnsureQtApplication();
    FAction = new QAction;
    FAction->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(FAction, &QAction::triggered, FAction, [this] { Guarded(this, [this] { Click(); }); });
}

TMenuItem::~TMenuItem()
{
    while (!FItems.empty()) {
        TMenuItem* child = FItems.back();
        Remove(child);
        child->Free();
    }
    if (FParent) {
        FParent->Remove(this);
    }
    delete FAction;
    delete FSubmenu;
}

void TMenuItem::SetCaption(const std::string& Value)
{
    FCaption = Value;
    FAction->setSeparator(IsLine());
    FAction->setText(ToQ(Value));
    if (FSubmenu) {
        FSubmenu->setTitle(ToQ(Value));
    }
    Changed();
}

void TMenuItem::SetShortCut(TShortCut Value)
{
    FShortCut = Value;
    FAction->setShortcut(KeySequenceOf(Value));
}

void TMenuItem::SetEnabled(bool Value)
{
    FEnabled = Value;
    FAction->setEnabled(Value);
}

void TMenuItem::SetVisible(bool Value)
{
    FVisible = Value;
    FAction->setVisible(Value);
}

void TMenuItem::SetChecked(bool Value)
{
    FChecked = Value;
    FAction->setCheckable(Value || FAction->isCheckable());
    FAction->setChecked(Value);
}

TMenuItem* TMenuItem::Items(int32_t Index) const
{
    if (Index < 0 || Index >= Count()) {
        throw EListError("Menu index out of range");
    }
    return FItems[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item)
{
    Insert(Count(), Item);
}

void TMenuItem::Insert(int32_t Index, TMenuItem* Item)
{
    if (!Item || Item == this) {
        return;
    }
    if (Item->FParent) {
        Item->FParent->Remove(Item);
    }
    Index = std::clamp(Index, 0, Count());
    FItems.insert(FItems.begin() + Index, Item);
    Item->FParent = this;
    RebuildSubmenu();
    Changed();
}

void TMenuItem::Remove(TMenuItem* Item)
{
    auto found = std::find(FItems.begin(), FItems.end(), Item);
    if (found == FItems.end()) {
        return;
    }
    FItems.erase(found);
    Item->FParent = nullptr;
    RebuildSubmenu();
    Changed();
}

int32_t TMenuItem::IndexOf(const TMenuItem* Item) const
{
    auto found = std::find(FItems.begin(), FItems.end(), Item);
    return found == FItems.end() ? -1 : static_cast<int32_t>(found - FItems.begin());
}

void TMenuItem::RebuildSubmenu()
{
    if (FItems.empty()) {
        FAction->setMenu(nullptr);
        delete FSubmenu;
        FSubmenu = nullptr;
        return;
    }
    if (!FSubmenu) {
        FSubmenu = new QMenu;
        FSubmenu->setTitle(ToQ(FCaption));
        FAction->setMenu(FSubmenu);
    }
    FSubmenu->clear();
    for (TMenuItem* item : FItems) {
        FSubmenu->addAction(item->FAction);
    }
}

void TMenuItem::Click()
{
    if (OnClick) {
        OnClick(this);
    }
}

void TMenuItem::Changed()
{
    TMenuItem* root = this;
    while (root->FParent) {
        root = root->FParent;
    }
    if (root->FMenu) {
        root->FMenu->Changed();
    }
}

TMainMenu::TMainMenu(TComponent* AOwner) : TComponent(AOwner)
{
    FItems = new TMenuItem(this);
    FItems->FMenu = this;
    if (auto* form = dynamic_cast<TForm*>(AOwner); form && !form->Menu()) {
        form->SetMenu(this);
    }
}

TMainMenu::~TMainMenu()
{
    if (FForm && FForm->Menu() == this) {
        TForm* form = FForm;
        FForm = nullptr;
        form->SetMenu(nullptr);
    }
    if (FItems) {
        FItems->FMenu = nullptr;
    }
}

void TMainMenu::FillMenuBar(QMenuBar* Bar)
{
    for (int32_t i = 0; i < FItems->Count(); ++i) {
        Bar->addAction(FItems->Items(i)->Action());
    }
}

void TMainMenu::Changed()
{
    if (FForm) {
        FForm->MenuChanged();
    }
}

namespace {

TMenuItem* FindShortCut(const TMenuItem* Item, TShortCut Value)
{
    for (int32_t i = 0; i < Item->Count(); ++i) {
        TMenuItem* child = Item->Items(i);
        if (!child->Enabled() || !child->Visible()) {
            continue;
        }
        if (child->ShortCut() == Value) {
            return child;
        }
        if (TMenuItem* found = FindShortCut(child, Value)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

TMenuItem* TMainMenu::FindItem(TShortCut Value) const
{
    return Value == 0 ? nullptr : FindShortCut(FItems, Value);
}
