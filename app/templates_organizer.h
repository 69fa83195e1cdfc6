// The templates organizer: lists the installed templates and adds one from any HTML page, edits
// a template's name and sample picture, and deletes a template with its folder.
#pragma once

#include "platform/forms/form.h"

class TButton;
class TGroupBox;
class TListBox;
class TOpenDialog;

class TTempOrg : public TForm
{
public:
    explicit TTempOrg(TComponent* AOwner);
    ~TTempOrg() override;

    // Fills the list from the installed templates; also the refresh after an add or a delete.
    void FormShow(TObject* Sender);
    // Turns a chosen HTML page into a new template folder and asks for its properties.
    void Add_BTNClick(TObject* Sender);
    // Changes the selected template's name and sample picture (also the list's double click).
    void Edit_BTNClick(TObject* Sender);
    // Removes the selected template's folder after the user's confirmation.
    void Delete_BTNClick(TObject* Sender);
    // A row chosen with the mouse or the keys.
    void Temp_LSTClick(TObject* Sender);

    TGroupBox* Templates_GBX = nullptr;
    TListBox* Temp_LST = nullptr;
    TButton* Add_BTN = nullptr;
    TButton* Edit_BTN = nullptr;
    TButton* Delete_BTN = nullptr;
    TOpenDialog* Open_DLG = nullptr;

private:
    // Edit and Delete act on the selected row: they are usable only while one is selected.
    void EnableRowButtons();
};

// The templates organizer of the program.
extern TTempOrg* TempOrg;
