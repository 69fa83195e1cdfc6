// Forms and controls of every kind made, shown, focused, moved, hidden and destroyed in every
// order, round after round: a widget's link to its control must die with either of them, or a
// new widget born at a dead one's address leads the focus events to a freed control.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/forms.h"

namespace {

// The controls of kind T among Control and everything on it, at any depth.
template <class T = TWinControl> std::vector<T*> On(TControl* Control)
{
    std::vector<T*> found;
    if (auto* control = dynamic_cast<T*>(Control))
        found.push_back(control);
    if (auto* windowed = dynamic_cast<TWinControl*>(Control))
        for (int32_t i = 0; i < windowed->ControlCount(); ++i)
            for (T* inner : On<T>(windowed->Controls(i)))
                found.push_back(inner);
    return found;
}

// The bindings whose widget or control is gone. The live controls are the screen's forms with
// everything on them, and the loose ones (on no form) that the test holds.
std::vector<std::string> DeadBindings(std::vector<TControl*> Loose = {})
{
    for (int32_t i = 0; i < Screen->FormCount(); ++i)
        Loose.push_back(Screen->Forms(i));
    std::set<const TControl*> controls;
    for (TControl* loose : Loose)
        for (TControl* control : On<TControl>(loose))
            controls.insert(control);
    const QWidgetList all = QApplication::allWidgets();
    const std::set<const QWidget*> widgets(all.begin(), all.end());
    std::vector<std::string> dead;
    for (const auto& [widget, control] : FormsDetail::WidgetBindings()) {
        if (widgets.count(widget) == 0)
            dead.push_back("a destroyed widget");
        else if (controls.count(control) == 0)
            dead.push_back(std::string("a live ") + widget->metaObject()->className() +
                           " of a freed control");
    }
    return dead;
}

// Entering and leaving controls reads them, as a program's handlers do: a freed control handed
// to a handler is a read of freed memory.
int gVisits = 0;
TWinControl* Watch(TWinControl* Control)
{
    Control->OnEnter = Control->OnExit = [](TObject* Sender) {
        gVisits += dynamic_cast<TWinControl*>(Sender)->Visible() ? 1 : 0;
    };
    return Control;
}

template <class T> T* Place(TComponent* Owner, TWinControl* Parent, int32_t Left, int32_t Top)
{
    auto* control = new T(Owner);
    control->SetParent(Parent);
    static_cast<TControl*>(control)->SetBounds(Left, Top, 90, 40);
    return control;
}

using TMaker = std::function<void(TForm* Form, TWinControl* Parent, int32_t Left, int32_t Top)>;

// Makes a control of the kind on the form; Setup adds what makes it whole (items, children).
template <class T> TMaker Kind(std::function<void(T* Control, TForm* Form)> Setup = nullptr)
{
    return [Setup](TForm* Form, TWinControl* Parent, int32_t Left, int32_t Top) {
        T* control = Place<T>(Form, Parent, Left, Top);
        if (Setup)
            Setup(control, Form);
    };
}

// Every kind of control, the composite ones with their inner widgets and children.
const std::vector<TMaker> kKinds = {
    Kind<TEdit>(),
    Kind<TMemo>([](TMemo* memo, TForm*) { memo->Lines()->Add("line"); }),
    Kind<TComboBox>([](TComboBox* combo, TForm*) {
        combo->Items()->Add("one");
        combo->Items()->Add("two");
    }),
    Kind<TListBox>([](TListBox* list, TForm*) { list->Items()->Add("item"); }),
    Kind<TButton>(),
    Kind<TBitBtn>([](TBitBtn* button, TForm*) { button->SetKind(bkOK); }),
    Kind<TCheckBox>(),
    Kind<TRadioButton>(),
    Kind<TRadioGroup>([](TRadioGroup* group, TForm*) {
        group->Items()->Add("a");
        group->Items()->Add("b");
        // Leaving the group picks its last item, reaching every button.
        group->OnExit = [group](TObject*) { group->SetItemIndex(group->Items()->Count() - 1); };
    }),
    Kind<TGroupBox>([](TGroupBox* box, TForm* form) { Place<TCheckBox>(form, box, 4, 16); }),
    Kind<TPanel>([](TPanel* panel, TForm* form) {
        Place<TEdit>(form, panel, 2, 2);
        Place<TSpeedButton>(form, panel, 60, 2);
    }),
    Kind<TLabel>(),
    Kind<TBevel>(),
    Kind<TImage>(),
    Kind<TCSpinEdit>(),
    Kind<TEdit>([](TEdit* edit, TForm* form) { (new TUpDown(form))->SetAssociate(edit); }),
    Kind<TTrackBar>(),
    Kind<TProgressBar>(),
    Kind<THeaderControl>([](THeaderControl* header, TForm*) { header->Sections()->Add()->SetText("Name"); }),
    Kind<TPageControl>([](TPageControl* pages, TForm* form) {
        for (int i = 0; i < 2; ++i) {
            auto* sheet = new TTabSheet(form);
            sheet->SetPageControl(pages);
            Place<TEdit>(form, sheet, 2, 2);
        }
    }),
    Kind<TCustomControl>([](TCustomControl* custom, TForm*) {
        custom->SetTabStop(true);
        custom->Canvas()->FillRect(custom->ClientRect());
    })};

void FocusEachIn(TForm* Form)
{
    for (TWinControl* control : On(Form))
        if (control->CanFocus())
            Simulate::Focus(control);
}

// How a round's form ends, each as a program ends a window; with none, its owner frees it.
const std::function<void(TForm*)> kEnds[] = {
    [](TForm* form) { form->Free(); },
    [](TForm* form) { form->Release(); },
    [](TForm* form) {
        form->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
        form->Close();
    },
    [](TForm* form) { delete form; },
    nullptr,
};

} // namespace

TEST(FormLifetimes, NoWidgetOutlivesItsControlNorAControlItsWidgetsLink)
{
    constexpr int kRounds = 2000;
    std::unique_ptr<TForm, TObjectFree> host;
    size_t next = 0;
    for (int round = 0; round < kRounds; ++round) {
        // A second window that the focus can move to, itself replaced now and then while one of
        // its controls has the focus; the old one dies before the new is born.
        if (!host || round % 97 == 0) {
            host.reset();
            host.reset(new TForm(nullptr));
            host->SetBounds(400, 10, 300, 200);
            Watch(Place<TEdit>(host.get(), host.get(), 4, 4));
            host->Show();
            FocusEachIn(host.get());
        }
        auto* keeper = new TComponent(nullptr);
        const auto& end = kEnds[round % 5];
        auto* form = new TForm(end ? nullptr : keeper);
        form->SetBounds(10, 10, 360, 300);
        if (round % 3 == 0)
            form->OnPaint = [](TObject*) {};
        // Nested in a panel now and then: the container's widget dies with its children's inside.
        TWinControl* parent = form;
        if (round % 4 == 1) {
            parent = Place<TPanel>(form, form, 0, 0);
            parent->SetBounds(0, 0, 360, 250);
        }
        for (int i = 0; i < 5; ++i)
            kKinds[next++ % kKinds.size()](form, parent, 4 + 70 * i, 4 + 45 * i);
        for (TWinControl* control : On(form))
            if (!dynamic_cast<TRadioGroup*>(control))
                Watch(control);
        form->Show();
        FocusEachIn(form);

        // The focused control dies, and with it the widget the focus leaves.
        if (auto* focused = dynamic_cast<TWinControl*>(Simulate::FocusedControl());
            focused && focused != form && focused->ParentForm() == form) {
            focused->Free();
        }
        // A combo box trades its edit for a plain list and back: the platform deletes the edit later.
        if (const std::vector<TComboBox*> combos = On<TComboBox>(form); !combos.empty()) {
            Simulate::Focus(combos[0]);
            combos[0]->SetStyle(csDropDownList);
            Simulate::ProcessEvents();
            combos[0]->SetStyle(csDropDown);
        }
        // A control moves to the other window while its owner stays this form's, and one of the
        // other window's moves here: whichever goes first takes the other.
        const int32_t last = form->ControlCount() - 1;
        if (auto* moved = last >= 0 ? dynamic_cast<TWinControl*>(form->Controls(last)) : nullptr) {
            moved->SetParent(host.get());
            if (moved->CanFocus())
                Simulate::Focus(moved);
        }
        Simulate::Focus(Watch(Place<TEdit>(host.get(), form, 200, 250)));
        // A floating window (a hint's kind), freed as such or made a child again.
        auto* popup = Place<TPanel>(form, form, 0, 260);
        popup->SetWindowStyle(WS_POPUP, WS_EX_TOOLWINDOW);
        popup->Show();
        ASSERT_EQ(DeadBindings({popup}), std::vector<std::string>{}) << "round " << round << ", form shown";
        if (round % 2 == 0) {
            popup->Free();
        } else {
            popup->SetWindowStyle(0, 0);
            popup->SetParent(form);
        }

        if (round % 3 != 2)
            form->Hide();
        FocusEachIn(host.get());
        if (round % 6 == 0) { // destroyed while it has the focus
            form->Show();
            FocusEachIn(form);
        }
        if (end)
            end(form);
        keeper->Free();
        Simulate::ProcessEvents();
        ASSERT_EQ(DeadBindings(), std::vector<std::string>{}) << "round " << round << ", form gone";
    }
    host.reset();
    EXPECT_GT(gVisits, kRounds);
    EXPECT_EQ(DeadBindings(), std::vector<std::string>{});
}
