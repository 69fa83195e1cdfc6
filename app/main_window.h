// Plimbet's main window: the folder of pictures, the page template, the gallery folder, the
// thumbnail and picture sizes and qualities, and the checks before a gallery run.
#pragma once

#include "app/message_box.h"
#include "platform/forms/application.h"
#include "platform/forms/form.h"

#include <cstdint>
#include <string>

class TBevel;
class TButton;
class TCSpinEdit;
class TCheckBox;
class TComboBox;
class TEdit;
class TGroupBox;
class TImage;
class TLabel;
class TMainMenu;
class TMenuItem;
class TOpenDialog;
class TSpeedButton;
class TTrackBar;

// The product's web page, opened by "Web site ..." and the about window.
inline constexpr const char* ProductWebPage = "https://plimbet.daskor.example/";

class TMain : public TForm
{
public:
    // Builds the controls with their designed values, then loads the settings into them.
    explicit TMain(TComponent* AOwner);
    ~TMain() override;

    void FormCreate(TObject* Sender);
    void FormShow(TObject* Sender);
    void FormDestroy(TObject* Sender);
    bool FormHelp(uint16_t Command, intptr_t Data, bool& CallHelp);
    void ApplicationEventsMessage(TMsg& Msg, bool& Handled);

    void ImagesPath_TXTChange(TObject* Sender);
    void ImagesOpen_BTNClick(TObject* Sender);
    void Template_CBXChange(TObject* Sender);
    void Template_TXTChange(TObject* Sender);
    void TemplateOpen_BTNClick(TObject* Sender);
    void TempParam_BTNClick(TObject* Sender);
    void GalleryPath_TXTChange(TObject* Sender);
    void GalleryOpen_BTNClick(TObject* Sender);
    void IconWidth_TXTChange(TObject* Sender);
    void IconHeight_TXTChange(TObject* Sender);
    void IconEq_CHKClick(TObject* Sender);
    void IconQuality_TBChange(TObject* Sender);
    void ImageSize_CBXChange(TObject* Sender);
    void ImageWidth_TXTChange(TObject* Sender);
    void ImageHeight_TXTChange(TObject* Sender);
    void ImageEq_CHKClick(TObject* Sender);
    void ImagesQuality_TBChange(TObject* Sender);
    void Create_BTNClick(TObject* Sender);

    void Options_MNUClick(TObject* Sender);
    void Templates_MNUClick(TObject* Sender);
    void Content_MNUClick(TObject* Sender);
    void Site_MNUClick(TObject* Sender);
    void About_MNUClick(TObject* Sender);

    // The checks before a run: the first that fails is shown and gives false.
    bool ValidateInputs();
    // The parameters button follows the template parameter list.
    void UpdateTempParamButton();

    TLabel* ImagesPath_LBL = nullptr;
    TEdit* ImagesPath_TXT = nullptr;
    TSpeedButton* ImagesOpen_BTN = nullptr;
    TGroupBox* Template_GBX = nullptr;
    TComboBox* Template_CBX = nullptr;
    TEdit* Template_TXT = nullptr;
    TSpeedButton* TemplateOpen_BTN = nullptr;
    TButton* TempParam_BTN = nullptr;
    TLabel* GalleryPath_LBL = nullptr;
    TEdit* GalleryPath_TXT = nullptr;
    TSpeedButton* GalleryOpen_BTN = nullptr;
    TGroupBox* Icons_GBX = nullptr;
    TCSpinEdit* IconWidth_TXT = nullptr;
    TCSpinEdit* IconHeight_TXT = nullptr;
    TCheckBox* IconEq_CHK = nullptr;
    TTrackBar* IconQuality_TB = nullptr;
    TLabel* IconQuality_LBL = nullptr;
    TGroupBox* Images_GBX = nullptr;
    TComboBox* ImageSize_CBX = nullptr;
    TCSpinEdit* ImageWidth_TXT = nullptr;
    TCSpinEdit* ImageHeight_TXT = nullptr;
    TCheckBox* ImageEq_CHK = nullptr;
    TTrackBar* ImagesQuality_TB = nullptr;
    TLabel* ImagesQuality_LBL = nullptr;
    TLabel* Preview_LBL = nullptr;
    TBevel* Preview_BVL = nullptr;
    TImage* Preview_IMG = nullptr;
    TButton* Create_BTN = nullptr;
    TApplicationEvents* ApplicationEvents = nullptr;
    TOpenDialog* TempOpen_DLG = nullptr;
    TMainMenu* Main_MNU = nullptr;
    TMenuItem* Options_MNU = nullptr;
    TMenuItem* Templates_MNU = nullptr;
    TMenuItem* Content_MNU = nullptr;
    TMenuItem* Site_MNU = nullptr;
    TMenuItem* About_MNU = nullptr;

private:
    void CreateControls();
    void CreateMenu();
    void ShowSettings();
    void WriteString(const char* Name, const std::string& Value);
    void WriteInteger(const char* Name, int32_t Value);
    void WriteIconSize();
    void WriteImageSize();

    // Set while the stored settings are put into the controls: their change handlers then keep
    // the values without writing them back.
    bool FLoading = false;
};

// The main window (the application's main form).
extern TMain* Main;

// The shell's folder picker with the given title, starting at Root (the desktop when empty) with
// Path preselected; true and the chosen folder (ending in "/") in Path when one was chosen.
bool BrowseForFolder(const std::string& Title, const std::string& Root, std::string& Path);
