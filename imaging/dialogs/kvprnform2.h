// Tfkvprnform2: the modal print dialog. The user sets margins, position, size mode and gamma,
// sees a scaled picture of the page, may switch between inches and centimetres, and prints with
// OK.
#pragma once

#include "imaging/dialogs/print_form_base.h"

class TButton;
class TGroupBox;
class TLabel;

class Tfkvprnform2 : public TKVPrintFormBase
{
public:
    explicit Tfkvprnform2(TComponent* AOwner);

    void SetLanguage(TMsgLanguage Language) override;
    // The margins group's caption and the size-unit labels for the current measure unit.
    void SetLanguage_units();

    void FormActivate(TObject* Sender);
    void ComboBox2Change(TObject* Sender);
    void Button4Click(TObject* Sender);

    TGroupBox* GroupBox1 = nullptr; // margins
    TGroupBox* GroupBox2 = nullptr; // position
    TGroupBox* GroupBox3 = nullptr; // size
    TGroupBox* GroupBox4 = nullptr; // gamma
    TGroupBox* GroupBox5 = nullptr; // preview
    TGroupBox* GroupBox6 = nullptr; // measure units
    TLabel* Label1 = nullptr;       // "Top"
    TLabel* Label2 = nullptr;       // "Left"
    TLabel* Label3 = nullptr;       // "Right"
    TLabel* Label4 = nullptr;       // "Bottom"
    TLabel* Label5 = nullptr;       // "Width"
    TLabel* Label6 = nullptr;       // "Height"
    TLabel* Label7 = nullptr;       // width's unit
    TLabel* Label8 = nullptr;       // height's unit
    TLabel* Label9 = nullptr;       // "Value"
    TLabel* Label10 = nullptr;      // "Units"
    TComboBox* ComboBox2 = nullptr; // "Inches", "cm"
    TButton* Button1 = nullptr;     // OK: prints
    TButton* Button2 = nullptr;     // Cancel
    TButton* Button4 = nullptr;     // printer setup

protected:
    bool IsPrintControl(TObject* Sender) const override;
    void Printed() override;
    void EnableSpecifiedSize(bool Enabled) override;

private:
    void CreateControls();
};
