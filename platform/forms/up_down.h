// TUpDown: a pair of arrow buttons that step a number, alone or in the edit beside them.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/forms/controls.h"

class QObject;

enum TUDBtnType : uint8_t
{
    btNext,
    btPrev
};

enum TUDOrientation : uint8_t
{
    udHorizontal,
    udVertical
};

enum TUDAlignButton : uint8_t
{
    udLeft,
    udRight
};

enum TUpDownDirection : uint8_t
{
    updNone,
    updUp,
    updDown
};

using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;
using TUDChangingEventEx =
    std::function<void(TObject* Sender, bool& AllowChange, int32_t NewValue, TUpDownDirection Direction)>;

// Up (or, horizontally, right) is btNext and adds Increment to Position; down (left) is btPrev
// and subtracts it. Position stays within Min .. Max: a step past an end stops there, or with
// Wrap goes round to the other end.
//
// With an Associate (an edit), the up-down sits beside it at its height, taking its width from
// the edit, and shows Position in it. A click first reads the edit's number (as the user may
// have typed one; text that is no number leaves Position as it was), steps it, and writes the
// result back; the Up and Down keys in the edit do the same while ArrowKeys is set. Thousands
// puts separators into the number written; it is off here, unlike the class library, because
// the fields it fills are read back as plain numbers.
//
// Each click fires OnChanging and OnChangingEx (with the new value) before the step, which
// they may refuse, and OnClick after it, also at an end where Position stays. Setting Position,
// Min or Max from the program fires nothing.
class TUpDown : public TWinControl
{
public:
    explicit TUpDown(TComponent* AOwner);
    ~TUpDown() override;

    TWinControl* Associate() const { return FAssociate; }
    void SetAssociate(TWinControl* Value);
    int32_t Min() const { return FMin; }
    void SetMin(int32_t Value);
    int32_t Max() const { return FMax; }
    void SetMax(int32_t Value);
    int32_t Position() const { return FPosition; }
    void SetPosition(int32_t Value);
    int32_t Increment() const { return FIncrement; }
    void SetIncrement(int32_t Value) { FIncrement = Value; }
    bool Wrap() const { return FWrap; }
    void SetWrap(bool Value) { FWrap = Value; }
    bool ArrowKeys() const { return FArrowKeys; }
    void SetArrowKeys(bool Value) { FArrowKeys = Value; }
    bool Thousands() const { return FThousands; }
    void SetThousands(bool Value);
    TUDOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TUDOrientation Value);
    TUDAlignButton AlignButton() const { return FAlignButton; }
    void SetAlignButton(TUDAlignButton Value);

    TUDClickEvent OnClick;
    TUDChangingEvent OnChanging;
    TUDChangingEventEx OnChangingEx;

    // Runs a click of the arrow, as the user's does.
    void Click(TUDBtnType Button);
    void Click() override { Click(btNext); }

    // Internal: the associate's keys.
    bool AssociateKey(int QtKey);
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual bool CanChange(int32_t NewValue, TUpDownDirection Direction);

private:
    void LayoutButtons();
    void PlaceBesideAssociate();
    void WriteAssociate();
    void ReleaseAssociate();

    QWidget* FNextButton = nullptr;
    QWidget* FPrevButton = nullptr;
    QObject* FKeyFilter = nullptr; // owned
    TWinControl* FAssociate = nullptr;
    int32_t FMin = 0;
    int32_t FMax = 100;
    int32_t FPosition = 0;
    int32_t FIncrement = 1;
    bool FWrap = false;
    bool FArrowKeys = true;
    bool FThousands = false;
    TUDOrientation FOrientation = udVertical;
    TUDAlignButton FAlignButton = udRight;
};
