// What the two print forms share: the caller's settings, the margin, size and gamma edits, the
// 3 x 3 position group, the size-mode list and the page preview, and reading them into the
// arguments of PreviewPrintImage and PrintImage.
#pragma once

#include "imaging/core/message_table.h"
#include "imaging/dialogs/fitted_form.h"
#include "imaging/dialogs/print_form_values.h"
#include "imaging/io/korvaneio.h"
#include "platform/forms/up_down.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class TComboBox;
class TControl;
class TEdit;
class TBitmap;
class TKorvaneView;
class TSpeedButton;
class TWinControl;

namespace Kvprintforms {
// A 16 x 16 button glyph to draw on: all fuchsia (the colour the forms' buttons leave
// transparent), with a black pen and a white brush.
std::unique_ptr<TBitmap> BlankGlyph();
} // namespace Kvprintforms

class TKVPrintFormBase : public TKVFittedForm
{
public:
    explicit TKVPrintFormBase(TComponent* AOwner);
    ~TKVPrintFormBase() override;

    // Set by the caller before the form is shown.
    TKorvaneIO* KorvaneIO = nullptr;
    TKVDialogsMeasureUnit DialogsMeasureUnit = kvduInches;
    std::string PrintTaskName;
    virtual void SetLanguage(TMsgLanguage Language) = 0;
    TMsgLanguage Language() const { return FLanguage; }

    // Recomputes the page preview, or prints when Sender is the form's print control.
    void PrintPreview(TObject* Sender);
    // One click of an edit's up-down: btNext raises the value by a step, btPrev lowers it.
    void incdecmargins(TEdit* Edit, TUDBtnType Button);

    // The controls' values as printing arguments, lengths in inches.
    Kvprintforms::TKVPrintValues ReadValues() const;
    // 1 .. 9: the position button that is down, 0 when none is.
    int32_t PositionButton() const;

    // Margins: Edit1 top, Edit2 left, Edit3 right, Edit4 bottom; Edit5 and Edit6 the specified
    // width and height; Edit7 gamma.
    TEdit* Edit1 = nullptr;
    TEdit* Edit2 = nullptr;
    TEdit* Edit3 = nullptr;
    TEdit* Edit4 = nullptr;
    TEdit* Edit5 = nullptr;
    TEdit* Edit6 = nullptr;
    TEdit* Edit7 = nullptr;
    // SpeedButton1 .. SpeedButton9, row by row from the top left; one is down at a time.
    std::array<TSpeedButton*, 9> PositionButtons{};
    // UpDown1 .. UpDown7, each stepping the edit of its number.
    std::array<TUpDown*, 7> UpDowns{};
    TComboBox* ComboBox1 = nullptr;
    TKorvaneView* KorvaneView1 = nullptr;

protected:
    // Whether Sender is the control that prints.
    virtual bool IsPrintControl(TObject* Sender) const = 0;
    // Whether the preview may be drawn now.
    virtual bool CanPreview() const { return true; }
    // Called after a print job ended well.
    virtual void Printed() {}

    // Makes the edits, the position buttons, the size-mode list and the preview view on the form
    // (each form places them) and wires their events to PrintPreview.
    void CreateSharedControls();
    static void Place(TControl* Control, TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width,
                      int32_t Height);
    // Places an edit (Edit1 .. Edit7 by Index from 1) with its up-down just right of it.
    void PlaceEdit(int32_t Index, TWinControl* Parent, int32_t Left, int32_t Top, int32_t Width);
    static constexpr int32_t kUpDownWidth = 16;
    // Enables the width and height edits (and what names them) only for "Specified size".
    virtual void EnableSpecifiedSize(bool Enabled);
    void SizeModeChanged(TObject* Sender);
    // Fills the size-mode list in the language.
    void SetSizeModeTexts(TMsgLanguage Language);

    // Holds previews back while it lives; several edits are rewritten at once under it.
    class TPreviewLock
    {
    public:
        explicit TPreviewLock(TKVPrintFormBase& Form) : FForm(Form) { ++FForm.FPreviewLocks; }
        ~TPreviewLock() { --FForm.FPreviewLocks; }
        TPreviewLock(const TPreviewLock&) = delete;
        TPreviewLock& operator=(const TPreviewLock&) = delete;

    private:
        TKVPrintFormBase& FForm;
    };

    TMsgLanguage FLanguage = msSystem;

private:
    std::array<TEdit*, 7> Edits() const { return {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7}; }

    int32_t FPreviewLocks = 0;

    void Preview(const Kvprintforms::TKVPrintValues& Values);
    void Print(const Kvprintforms::TKVPrintValues& Values);
};
