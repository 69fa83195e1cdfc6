// Menu items as the platform's actions, and the main menu as a form's menu bar.
#include "platform/forms/menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <cctype>

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

bool IsAccessKeyCandidate(char Letter)
{
    return std::isalnum(static_cast<unsigned char>(Letter)) != 0;
}

char FoldedKey(char Letter)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(Letter)));
}

// The access key a caption marks with "&" ("&&" is a plain "&"), 0 when it marks none.
char MarkedAccessKey(const std::string& Caption)
{
    for (size_t i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] == '&') {
            if (Caption[i + 1] != '&') {
                return FoldedKey(Caption[i + 1]);
            }
            ++i;
        }
    }
    return 0;
}

// The caption with "&" before the first free letter: a word's first letter if one is free, else
// any letter or digit; unchanged when every one is taken.
std::string WithAccessKey(const std::string& Caption, std::string& Used)
{
    for (const bool wordStartsOnly : {true, false}) {
        for (size_t i = 0; i < Caption.size(); ++i) {
            const bool wordStart = i == 0 || Caption[i - 1] == ' ';
            if (!IsAccessKeyCandidate(Caption[i]) || (wordStartsOnly && !wordStart) ||
                Used.find(FoldedKey(Caption[i])) != std::string::npos) {
                continue;
            }
            Used += FoldedKey(Caption[i]);
            return Caption.substr(0, i) + "&" + Caption.substr(i);
        }
    }
    return Caption;
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
    if (FParent) {
        FParent->AssignAccessKeys();
    } else {
        SetShownCaption(IsLine() ? std::string() : Value);
    }
    Changed();
}

std::string TMenuItem::ShownCaption() const
{
    return FromQ(FAction->text());
}

void TMenuItem::SetShownCaption(const std::string& Text)
{
    FAction->setText(ToQ(Text));
    if (FSubmenu) {
        FSubmenu->setTitle(ToQ(Text));
    }
}

// A separator shows no text: some styles draw a separator's text beside its line.
void TMenuItem::AssignAccessKeys()
{
    std::string used;
    for (const TMenuItem* item : FItems) {
        if (const char key = MarkedAccessKey(item->FCaption); key != 0 && !item->IsLine()) {
            used += key;
        }
    }
    for (TMenuItem* item : FItems) {
        if (item->IsLine()) {
            item->SetShownCaption(std::string());
        } else if (MarkedAccessKey(item->FCaption) != 0) {
            item->SetShownCaption(item->FCaption);
        } else {
            item->SetShownCaption(WithAccessKey(item->FCaption, used));
        }
    }
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
    AssignAccessKeys();
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
    Item->SetShownCaption(Item->IsLine() ? std::string() : Item->FCaption);
    AssignAccessKeys();
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
        FSubmenu->setTitle(FAction->text());
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
