// tfkvprnform1: the print-preview window. It fills the screen with a picture of the page under a
// tool bar of margins, position, size mode and gamma, and prints as often as asked until it is
// closed.
#pragma once

#include "imaging/dialogs/print_form_base.h"

#include <vector>

class TMainMenu;
class TMenuItem;
class TPanel;

class tfkvprnform1 : public TKVPrintFormBase
{
public:
    explicit tfkvprnform1(TComponent* AOwner);

    void SetLanguage(TMsgLanguage Language) override;

    void FormActivate(TObject* Sender);
    void PrinterSetupClick(TObject* Sender);
    void CloseClick(TObject* Sender);

    TPanel* Panel1 = nullptr;
    TSpeedButton* SpeedButton10 = nullptr; // printer setup
    TSpeedButton* SpeedButton11 = nullptr; // print
    TSpeedButton* SpeedButton12 = nullptr; // close
    TMainMenu* MainMenu1 = nullptr;
    TMenuItem* File1 = nullptr;
    TMenuItem* Print1 = nullptr;
    TMenuItem* PrintSetup1 = nullptr;
    TMenuItem* Exit1 = nullptr;

protected:
    bool IsPrintControl(TObject* Sender) const override;
    bool CanPreview() const override;
    // The tool bar's rows follow the font and the screen's resolution.
    void Refit() override;

private:
    void CreateControls();
    void CreateMenu();
    // Lays the tool bar's groups out in rows as wide as the window, with the close button as
    // wide as its caption.
    void ArrangeToolBar();

    // The tool bar's groups (positions, printing, margins, size mode, size and gamma, close),
    // which stay whole on one row.
    std::vector<std::vector<TControl*>> FToolGroups;
};
