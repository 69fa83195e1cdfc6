// The template properties window: a template's name and the JPEG picture that shows what its
// pages look like. The templates organizer uses it both for a new template and for editing one.
#pragma once

#include "platform/forms/form.h"

class TBitBtn;
class TButton;
class TEdit;
class TLabel;
class TOpenDialog;

class TTempName : public TForm
{
public:
    explicit TTempName(TComponent* AOwner);
    ~TTempName() override;

    // Refuses an empty name (a name of blanks passes) and keeps the window open.
    void Ok_BTNClick(TObject* Sender);
    // Puts the full path of the chosen JPEG file in Sample_TXT.
    void Open_BTNClick(TObject* Sender);
    // No sample picture.
    void Clear_BTNClick(TObject* Sender);

    TLabel* Name_LBL = nullptr;
    TEdit* Name_TXT = nullptr;
    TLabel* Sample_LBL = nullptr;
    // Shows a full path; changed only by Open_BTN and Clear_BTN.
    TEdit* Sample_TXT = nullptr;
    TButton* Open_BTN = nullptr;
    TButton* Clear_BTN = nullptr;
    TButton* Ok_BTN = nullptr;
    TBitBtn* Cancel_BTN = nullptr;
    TOpenDialog* Sample_DLG = nullptr;
};

// The template properties window of the program.
extern TTempName* TempName;
