// Building the program's windows in code: a control is made, named (tests find it by its name),
// put on its parent and placed at its designed position.
#pragma once

#include "platform/forms/std_controls.h"

#include <cstdint>
#include <string>

template <class TControlClass>
TControlClass* PlaceControl(TComponent* Owner, TWinControl* Parent, const std::string& Name, int32_t Left,
                            int32_t Top, int32_t Width, int32_t Height)
{
    auto* control = new TControlClass(Owner);
    control->SetName(Name);
    control->SetParent(Parent);
    // Through the base: some controls hide SetBounds behind their own overrides.
    static_cast<TControl*>(control)->SetBounds(Left, Top, Width, Height);
    return control;
}

// A label sized to its caption.
inline TLabel* PlaceLabel(TComponent* Owner, TWinControl* Parent, const std::string& Name,
                          const std::string& Caption, int32_t Left, int32_t Top)
{
    TLabel* label = PlaceControl<TLabel>(Owner, Parent, Name, Left, Top, 0, 0);
    label->SetCaption(Caption);
    return label;
}

// The handler of an event as a std::function bound to the window.
template <class TWindow> auto Handler(TWindow* Window, void (TWindow::*Method)(TObject*))
{
    return [Window, Method](TObject* Sender) { (Window->*Method)(Sender); };
}
