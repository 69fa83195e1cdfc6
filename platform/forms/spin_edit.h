// TCSpinEdit: an edit for whole numbers with up and down buttons.
#pragma once

#include <cstdint>

#include "platform/forms/controls.h"

class QLineEdit;

// Value reads the typed text as it stands, also outside MinValue .. MaxValue; text that is not
// a whole number reads as MinValue, and the field then shows MinValue. Setting Value clamps it
// to the range (no range when MinValue equals MaxValue), and so does leaving the field. The
// buttons and the Up and Down keys step by Increment within the range. OnChange fires whenever
// the text changes, by the user or by the program.
class TCSpinEdit : public TWinControl
{
public:
    explicit TCSpinEdit(TComponent* AOwner);

    int32_t Value();
    void SetValue(int32_t NewValue);
    int32_t MinValue() const { return FMinValue; }
    void SetMinValue(int32_t Value);
    int32_t MaxValue() const { return FMaxValue; }
    void SetMaxValue(int32_t Value);
    int32_t Increment() const { return FIncrement; }
    void SetIncrement(int32_t Value) { FIncrement = Value; }
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool Value);
    bool ReadOnly() const;
    void SetReadOnly(bool Value);

    int32_t SelStart() const;
    int32_t SelLength() const;
    void SelectAll();

    TNotifyEvent OnChange;

    // Internal: the user pressed a button or an arrow key; leaving the field.
    void UpClick();
    void DownClick();
    void Exited();

protected:
    virtual void Change();
    std::string GetText() const override;
    void SetTextValue(const std::string& Value) override;
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void DoExit() override;
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

private:
    int32_t CheckValue(int32_t NewValue) const;
    void LayoutButtons();

    QLineEdit* FEdit = nullptr;
    QWidget* FUpButton = nullptr;
    QWidget* FDownButton = nullptr;
    int32_t FMinValue = 0;
    int32_t FMaxValue = 0;
    int32_t FIncrement = 1;
    bool FEditorEnabled = true;
};
