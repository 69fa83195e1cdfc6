// The table options window: the default layout of the thumbnail tables (columns, rows, border,
// spacing, padding, alignment, background colour) and the page that shows a full picture.
#pragma once

#include "platform/forms/form.h"

class TButton;
class TCSpinEdit;
class TColorDialog;
class TComboBox;
class TEdit;
class TGroupBox;
class TOpenDialog;

class TOptions : public TForm
{
public:
    explicit TOptions(TComponent* AOwner);
    ~TOptions() override;

    // Every showing starts from the current settings.
    void FormShow(TObject* Sender);
    // Stores the values in the settings and writes all but the viewer page to the registry.
    void Ok_BTNClick(TObject* Sender);
    void Cancel_BTNClick(TObject* Sender);
    // Lets typing build "#" and up to six hexadecimal digits; pasted text is not filtered.
    void BgColor_TXTKeyPress(TObject* Sender, char& Key);
    // Opens the colour dialog at the field's colour and puts the choice in as "#RRGGBB".
    void Color_BTNClick(TObject* Sender);
    // Puts the chosen page's file name, without its folder, in View_TXT.
    void Open_BTNClick(TObject* Sender);

    TGroupBox* Table_GBX = nullptr;
    TCSpinEdit* Cols_TXT = nullptr;
    TCSpinEdit* Rows_TXT = nullptr;
    TCSpinEdit* Border_TXT = nullptr;
    TCSpinEdit* Cellspace_TXT = nullptr;
    TCSpinEdit* Cellpad_TXT = nullptr;
    TComboBox* HAlign_CBX = nullptr;
    TComboBox* VAlign_CBX = nullptr;
    TEdit* BgColor_TXT = nullptr;
    TButton* Color_BTN = nullptr;
    TEdit* View_TXT = nullptr;
    TButton* Open_BTN = nullptr;
    TButton* Ok_BTN = nullptr;
    TButton* Cancel_BTN = nullptr;
    TColorDialog* Color_DLG = nullptr;
    TOpenDialog* OpenView_DLG = nullptr;
};

// The table options window of the program.
extern TOptions* Options;
