// Plimbet's main window.
#include "app/main_window.h"

#include "app/about_window.h"
#include "app/context_help.h"
#include "app/file_utils.h"
#include "app/gallery_run.h"
#include "app/options_window.h"
#include "app/settings.h"
#include "app/status_window.h"
#include "app/template_import.h"
#include "app/template_params.h"
#include "app/template_params_window.h"
#include "app/template_preview.h"
#include "app/templates.h"
#include "app/templates_organizer.h"
#include "app/window_controls.h"
#include "platform/core/files.h"
#include "platform/core/random.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/canvas.h"

TMain* Main = nullptr;

bool BrowseForFolder(const std::string& Title, const std::string& Root, std::string& Path)
{
    return DialogService().BrowseForFolder(Title, Root, Path);
}

namespace {

TSpeedButton* PlaceOpenButton(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Hint,
                              int32_t Left, int32_t Top)
{
    TSpeedButton* button = PlaceControl<TSpeedButton>(Owner, Parent, Name, Left, Top, 23, 22);
    button->SetFlat(true);
    button->SetCaption("...");
    button->SetHint(Hint);
    return button;
}

TCSpinEdit* PlaceSpinEdit(TComponent* Owner, TWinControl* Parent, const char* Name, int32_t Left, int32_t Top,
                          int32_t Min, int32_t Max, int32_t Value)
{
    TCSpinEdit* spin = PlaceControl<TCSpinEdit>(Owner, Parent, Name, Left, Top, 56, 22);
    spin->SetMinValue(Min);
    spin->SetMaxValue(Max);
    spin->SetValue(Value);
    return spin;
}

// A quality track bar with its labels: two caption lines, "min", the bar, "max" and the value.
TTrackBar* PlaceQuality(TComponent* Owner, TWinControl* Parent, const char* Name, const char* Caption,
                        const char* ValueName, int32_t Top, TLabel*& ValueLabel)
{
    PlaceLabel(Owner, Parent, (std::string(Name) + "Caption_LBL").c_str(), Caption, 8, Top);
    PlaceLabel(Owner, Parent, (std::string(Name) + "Quality_LBL").c_str(), "quality", 8, Top + 13);
    PlaceLabel(Owner, Parent, (std::string(Name) + "Min_LBL").c_str(), "min", 64, Top + 6);
    TTrackBar* bar = PlaceControl<TTrackBar>(Owner, Parent, Name, 82, Top, 78, 26);
    bar->SetRange(10, 100);
    bar->SetPageSize(10);
    bar->SetFrequency(10);
    bar->SetPosition(80);
    PlaceLabel(Owner, Parent, (std::string(Name) + "Max_LBL").c_str(), "max", 162, Top + 6);
    ValueLabel = PlaceLabel(Owner, Parent, ValueName, "80", 114, Top + 28);
    return bar;
}

} // namespace

TMain::TMain(TComponent* AOwner) : TForm(AOwner)
{
    SetName("Main");
    SetCaption(MainCaption);
    SetBorderStyle(bsSingle);
    SetBorderIcons(biSystemMenu | biMinimize);
    SetPosition(poScreenCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetShowHint(true);
    SetClientWidth(780);
    SetClientHeight(380);
    CreateControls();
    CreateMenu();
    OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
    OnShow = [this](TObject* Sender) { FormShow(Sender); };
    OnDestroy = [this](TObject* Sender) { FormDestroy(Sender); };
    OnHelp = [this](uint16_t Command, intptr_t Data, bool& CallHelp) {
        return FormHelp(Command, Data, CallHelp);
    };
    if (Main == nullptr) {
        Main = this;
    }
    LoadSettings();
    ShowSettings();
}

TMain::~TMain()
{
    if (Main == this) {
        Main = nullptr;
    }
}

void TMain::CreateControls()
{
    ImagesPath_LBL = PlaceLabel(this, this, "ImagesPath_LBL", "Path to images", 8, 6);
    ImagesPath_TXT = PlaceControl<TEdit>(this, this, "ImagesPath_TXT", 8, 20, 360, 21);
    ImagesOpen_BTN = PlaceOpenButton(this, this, "ImagesOpen_BTN", "Select folder with images", 372, 19);

    Template_GBX = PlaceControl<TGroupBox>(this, this, "Template_GBX", 8, 46, 388, 98);
    Template_GBX->SetCaption("  Pages template  ");
    Template_CBX = PlaceControl<TComboBox>(this, Template_GBX, "Template_CBX", 8, 16, 372, 21);
    Template_CBX->SetStyle(csDropDownList);
    Template_CBX->Items()->Add("Template from file ...");
    Template_TXT = PlaceControl<TEdit>(this, Template_GBX, "Template_TXT", 8, 44, 344, 21);
    Template_TXT->SetEnabled(false);
    Template_TXT->SetColor(clBtnFace);
    TemplateOpen_BTN =
        PlaceOpenButton(this, Template_GBX, "TemplateOpen_BTN", "Open file of page template", 357, 43);
    TemplateOpen_BTN->SetEnabled(false);
    TempParam_BTN = PlaceControl<TButton>(this, Template_GBX, "TempParam_BTN", 8, 70, 372, 22);
    TempParam_BTN->SetCaption("Parameters of template");

    GalleryPath_LBL = PlaceLabel(this, this, "GalleryPath_LBL", "Path to gallry", 8, 148);
    GalleryPath_TXT = PlaceControl<TEdit>(this, this, "GalleryPath_TXT", 8, 162, 360, 21);
    GalleryOpen_BTN = PlaceOpenButton(this, this, "GalleryOpen_BTN",
                                      "Select folder where will create the gallery", 372, 161);

    Icons_GBX = PlaceControl<TGroupBox>(this, this, "Icons_GBX", 8, 188, 190, 152);
    Icons_GBX->SetCaption("  Icons size  ");
    PlaceLabel(this, Icons_GBX, "IconWidth_LBL", "Width", 8, 22);
    IconWidth_TXT = PlaceSpinEdit(this, Icons_GBX, "IconWidth_TXT", 46, 18, 50, 1000, 150);
    PlaceLabel(this, Icons_GBX, "IconHeight_LBL", "Height", 8, 48);
    IconHeight_TXT = PlaceSpinEdit(this, Icons_GBX, "IconHeight_TXT", 46, 44, 50, 1000, 150);
    IconEq_CHK = PlaceControl<TCheckBox>(this, Icons_GBX, "IconEq_CHK", 106, 33, 80, 17);
    IconEq_CHK->SetCaption("Make equal");
    IconQuality_TB =
        PlaceQuality(this, Icons_GBX, "IconQuality_TB", "Thumbnail", "IconQuality_LBL", 80, IconQuality_LBL);

    Images_GBX = PlaceControl<TGroupBox>(this, this, "Images_GBX", 206, 188, 190, 152);
    Images_GBX->SetCaption("  Gallery images size  ");
    ImageSize_CBX = PlaceControl<TComboBox>(this, Images_GBX, "ImageSize_CBX", 8, 16, 174, 21);
    ImageSize_CBX->SetStyle(csDropDownList);
    for (const char* item : {"Don't cahnge", "Fit to 640x480", "Fit to 800x600", "Fit to 1024x768",
                             "Fit to 1280x1024", "Fit to 1600x1200", "Fit to custom size ..."}) {
        ImageSize_CBX->Items()->Add(item);
    }
    PlaceLabel(this, Images_GBX, "ImageWidth_LBL", "Width", 8, 46);
    ImageWidth_TXT = PlaceSpinEdit(this, Images_GBX, "ImageWidth_TXT", 46, 42, 0, 2000, 0);
    PlaceLabel(this, Images_GBX, "ImageHeight_LBL", "Height", 8, 72);
    ImageHeight_TXT = PlaceSpinEdit(this, Images_GBX, "ImageHeight_TXT", 46, 68, 0, 2000, 0);
    ImageEq_CHK = PlaceControl<TCheckBox>(this, Images_GBX, "ImageEq_CHK", 106, 57, 80, 17);
    ImageEq_CHK->SetCaption("Make equal");
    ImagesQuality_TB = PlaceQuality(this, Images_GBX, "ImagesQuality_TB", "Images", "ImagesQuality_LBL", 98,
                                    ImagesQuality_LBL);

    Preview_LBL = PlaceLabel(this, this, "Preview_LBL", "  Template preview  ", 408, 6);
    Preview_BVL = PlaceControl<TBevel>(this, this, "Preview_BVL", 404, 22, 370, 304);
    Preview_IMG = PlaceControl<TImage>(this, this, "Preview_IMG", 406, 24, 366, 300);
    Preview_IMG->SetStretch(true);

    Create_BTN = PlaceControl<TButton>(this, this, "Create_BTN", 330, 348, 120, 25);
    Create_BTN->SetCaption("Create gallery");

    TempOpen_DLG = new TOpenDialog(this);
    TempOpen_DLG->SetName("TempOpen_DLG");
    TempOpen_DLG->Title = "Open file of template";
    TempOpen_DLG->Filter = "Template's files|*.htm;*.html|All files|*.*";
    TempOpen_DLG->Options |= ofEnableSizing;

    ApplicationEvents = new TApplicationEvents(this);
    ApplicationEvents->SetName("ApplicationEvents");
    ApplicationEvents->OnMessage = [this](TMsg& Msg, bool& Handled) {
        ApplicationEventsMessage(Msg, Handled);
    };

    ImagesPath_TXT->OnChange = Handler(this, &TMain::ImagesPath_TXTChange);
    ImagesOpen_BTN->OnClick = Handler(this, &TMain::ImagesOpen_BTNClick);
    Template_CBX->OnChange = Handler(this, &TMain::Template_CBXChange);
    Template_TXT->OnChange = Handler(this, &TMain::Template_TXTChange);
    TemplateOpen_BTN->OnClick = Handler(this, &TMain::TemplateOpen_BTNClick);
    TempParam_BTN->OnClick = Handler(this, &TMain::TempParam_BTNClick);
    GalleryPath_TXT->OnChange = Handler(this, &TMain::GalleryPath_TXTChange);
    GalleryOpen_BTN->OnClick = Handler(this, &TMain::GalleryOpen_BTNClick);
    IconWidth_TXT->OnChange = Handler(this, &TMain::IconWidth_TXTChange);
    IconHeight_TXT->OnChange = Handler(this, &TMain::IconHeight_TXTChange);
    IconEq_CHK->OnClick = Handler(this, &TMain::IconEq_CHKClick);
    IconQuality_TB->OnChange = Handler(this, &TMain::IconQuality_TBChange);
    ImageSize_CBX->OnChange = Handler(this, &TMain::ImageSize_CBXChange);
    ImageWidth_TXT->OnChange = Handler(this, &TMain::ImageWidth_TXTChange);
    ImageHeight_TXT->OnChange = Handler(this, &TMain::ImageHeight_TXTChange);
    ImageEq_CHK->OnClick = Handler(this, &TMain::ImageEq_CHKClick);
    ImagesQuality_TB->OnChange = Handler(this, &TMain::ImagesQuality_TBChange);
    Create_BTN->OnClick = Handler(this, &TMain::Create_BTNClick);
}

void TMain::CreateMenu()
{
    Main_MNU = new TMainMenu(this);
    Main_MNU->SetName("Main_MNU");
    auto addItem = [this](TMenuItem* Parent, const char* Name, const char* Caption,
                          void (TMain::*Method)(TObject*)) {
        auto* item = new TMenuItem(this);
        if (Name != nullptr) {
            item->SetName(Name);
        }
        item->SetCaption(Caption);
        if (Method != nullptr) {
            item->OnClick = Handler(this, Method);
        }
        Parent->Add(item);
        return item;
    };
    TMenuItem* options = addItem(Main_MNU->Items(), "OptionsMenu_MNU", "Options", nullptr);
    Options_MNU = addItem(options, "Options_MNU", "Options", &TMain::Options_MNUClick);
    Templates_MNU = addItem(options, "Templates_MNU", "Templates organizer", &TMain::Templates_MNUClick);
    TMenuItem* help = addItem(Main_MNU->Items(), "Help_MNU", "Help", nullptr);
    Content_MNU = addItem(help, "Content_MNU", "Content", &TMain::Content_MNUClick);
    Content_MNU->SetShortCut(ShortCut(VK_F1, 0));
    addItem(help, nullptr, "-", nullptr);
    Site_MNU = addItem(help, "Site_MNU", "Web site ...", &TMain::Site_MNUClick);
    addItem(help, nullptr, "-", nullptr);
    About_MNU = addItem(help, "About_MNU", "About", &TMain::About_MNUClick);
    SetMenu(Main_MNU);
}

// The stored values go into the controls, which clamp them to their ranges. The handlers keep
// what the controls hold; a value is written back only when the control changed it, so a
// clean start leaves the store untouched.
void TMain::ShowSettings()
{
    const TGallerySettings stored = GallerySettings;
    FLoading = true;
    IconWidth_TXT->SetValue(stored.IconWidth);
    IconHeight_TXT->SetValue(stored.IconHeight);
    ImageWidth_TXT->SetValue(stored.ImageWidth);
    ImageHeight_TXT->SetValue(stored.ImageHeight);
    IconQuality_TB->SetPosition(stored.IconQuality);
    ImagesQuality_TB->SetPosition(stored.ImageQuality);
    ImagesPath_TXT->SetText(stored.ImagesPath);
    GalleryPath_TXT->SetText(stored.GalleryPath);
    FLoading = false;

    TGallerySettings& s = GallerySettings;
    s.IconWidth = IconWidth_TXT->Value();
    s.IconHeight = IconHeight_TXT->Value();
    s.ImageWidth = ImageWidth_TXT->Value();
    s.ImageHeight = ImageHeight_TXT->Value();
    s.IconQuality = IconQuality_TB->Position();
    s.ImageQuality = ImagesQuality_TB->Position();
    IconQuality_LBL->SetCaption(IntToStr(s.IconQuality));
    ImagesQuality_LBL->SetCaption(IntToStr(s.ImageQuality));
    if (s.IconWidth != stored.IconWidth || s.IconHeight != stored.IconHeight) {
        WriteIconSize();
    }
    if (s.ImageWidth != stored.ImageWidth || s.ImageHeight != stored.ImageHeight) {
        WriteImageSize();
    }
    if (s.IconQuality != stored.IconQuality) {
        WriteInteger("IconQuality", s.IconQuality);
    }
    if (s.ImageQuality != stored.ImageQuality) {
        WriteInteger("ImageQuality", s.ImageQuality);
    }
}

void TMain::WriteString(const char* Name, const std::string& Value)
{
    if (!FLoading) {
        RegWriteString(OptionsSection, Name, Value);
    }
}

void TMain::WriteInteger(const char* Name, int32_t Value)
{
    if (!FLoading) {
        RegWriteInteger(OptionsSection, Name, Value);
    }
}

// A width or height change writes both values of its pair.
void TMain::WriteIconSize()
{
    WriteInteger("IconWidth", GallerySettings.IconWidth);
    WriteInteger("IconHeight", GallerySettings.IconHeight);
}

void TMain::WriteImageSize()
{
    WriteInteger("ImageWidth", GallerySettings.ImageWidth);
    WriteInteger("ImageHeight", GallerySettings.ImageHeight);
}

void TMain::FormCreate(TObject*)
{
    GallerySettings.ProgramFolder = ProgramFolder();
    // Every window of the program shows the program's icon.
    Application->LoadIcon(GallerySettings.ProgramFolder + "data/plimbet.png");
    Randomize();
    LoadTemplateList();
    Template_CBX->SetItemIndex(-1);
}

void TMain::FormShow(TObject*)
{
    ImageSize_CBX->SetItemIndex(0);
    ImageSize_CBXChange(ImageSize_CBX);
    ShowTemplatePreview(false, nullptr);
}

void TMain::FormDestroy(TObject*)
{
    InstalledTemplates.clear();
    TemplateParams.Clear();
}

bool TMain::FormHelp(uint16_t, intptr_t, bool&)
{
    return true;
}

void TMain::ApplicationEventsMessage(TMsg& Msg, bool& Handled)
{
    if (Msg.message == WM_KEYDOWN && Msg.wParam == VK_F1) {
        ShowContextHelp();
        Handled = true;
    }
}

void TMain::ImagesPath_TXTChange(TObject*)
{
    GallerySettings.ImagesPath = ImagesPath_TXT->Text();
    WriteString("ImagesPath", GallerySettings.ImagesPath);
}

void TMain::GalleryPath_TXTChange(TObject*)
{
    GallerySettings.GalleryPath = GalleryPath_TXT->Text();
    WriteString("GalleryPath", GallerySettings.GalleryPath);
}

void TMain::Template_TXTChange(TObject*)
{
    GallerySettings.TemplateFile = Template_TXT->Text();
    ScanTemplateParams();
    UpdateTempParamButton();
}

void TMain::IconWidth_TXTChange(TObject*)
{
    GallerySettings.IconWidth = IconWidth_TXT->Value();
    if (IconEq_CHK->Checked()) {
        IconHeight_TXT->SetValue(GallerySettings.IconWidth);
    }
    WriteIconSize();
}

void TMain::IconHeight_TXTChange(TObject*)
{
    GallerySettings.IconHeight = IconHeight_TXT->Value();
    WriteIconSize();
}

void TMain::ImageWidth_TXTChange(TObject*)
{
    GallerySettings.ImageWidth = ImageWidth_TXT->Value();
    if (ImageEq_CHK->Checked()) {
        ImageHeight_TXT->SetValue(GallerySettings.ImageWidth);
    }
    WriteImageSize();
}

void TMain::ImageHeight_TXTChange(TObject*)
{
    GallerySettings.ImageHeight = ImageHeight_TXT->Value();
    WriteImageSize();
}

void TMain::IconQuality_TBChange(TObject*)
{
    IconQuality_LBL->SetCaption(IntToStr(IconQuality_TB->Position()));
    GallerySettings.IconQuality = IconQuality_TB->Position();
    WriteInteger("IconQuality", GallerySettings.IconQuality);
}

void TMain::ImagesQuality_TBChange(TObject*)
{
    ImagesQuality_LBL->SetCaption(IntToStr(ImagesQuality_TB->Position()));
    GallerySettings.ImageQuality = ImagesQuality_TB->Position();
    WriteInteger("ImageQuality", GallerySettings.ImageQuality);
}

void TMain::IconEq_CHKClick(TObject*)
{
    IconHeight_TXT->SetEnabled(!IconEq_CHK->Checked());
    if (IconEq_CHK->Checked()) {
        IconHeight_TXT->SetValue(IconWidth_TXT->Value());
    }
}

void TMain::ImageEq_CHKClick(TObject*)
{
    ImageHeight_TXT->SetEnabled(!ImageEq_CHK->Checked());
    if (ImageEq_CHK->Checked()) {
        ImageHeight_TXT->SetValue(ImageWidth_TXT->Value());
    }
}

void TMain::ImageSize_CBXChange(TObject*)
{
    static constexpr struct
    {
        int32_t Width;
        int32_t Height;
    } presets[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
    const int32_t index = ImageSize_CBX->ItemIndex();
    GallerySettings.ImageSizeIndex = index;
    if (index >= 6) {
        ImageWidth_TXT->SetEnabled(true);
        ImageEq_CHKClick(ImageEq_CHK);
        ImageEq_CHK->SetEnabled(true);
    } else {
        ImageWidth_TXT->SetEnabled(false);
        ImageHeight_TXT->SetEnabled(false);
        ImageEq_CHK->SetEnabled(false);
    }
    if (index >= 1 && index <= 5) {
        ImageWidth_TXT->SetValue(presets[index - 1].Width);
        ImageHeight_TXT->SetValue(presets[index - 1].Height);
    }
}

void TMain::Template_CBXChange(TObject*)
{
    const int32_t index = Template_CBX->ItemIndex();
    GallerySettings.TemplateIndex = index;
    const TemplateStr* chosen = index >= 1 && static_cast<size_t>(index) <= InstalledTemplates.size()
                                    ? &InstalledTemplates[static_cast<size_t>(index) - 1]
                                    : nullptr;
    if (chosen != nullptr && chosen->Sample) {
        ShowTemplatePreview(true, chosen);
    } else {
        ShowTemplatePreview(false, nullptr);
    }
    const bool fromFile = index == 0;
    Template_TXT->SetColor(fromFile ? clWindow : clBtnFace);
    Template_TXT->SetEnabled(fromFile);
    TemplateOpen_BTN->SetEnabled(fromFile);
    ScanTemplateParams();
    UpdateTempParamButton();
}

void TMain::UpdateTempParamButton()
{
    TempParam_BTN->SetCaption(TemplateParamsCaption(TemplateParams.Count()));
    TempParam_BTN->SetEnabled(TemplateParams.Count() > 0);
}

// Each picker opens at the value its field holds.
void TMain::TemplateOpen_BTNClick(TObject*)
{
    TempOpen_DLG->FileName = Template_TXT->Text();
    if (TempOpen_DLG->Execute()) {
        Template_TXT->SetText(TempOpen_DLG->FileName);
    }
}

void TMain::ImagesOpen_BTNClick(TObject*)
{
    std::string folder = TypedFolder(ImagesPath_TXT->Text());
    if (BrowseForFolder("Please choose the folder with images", "", folder)) {
        ImagesPath_TXT->SetText(folder);
    }
}

namespace {

// Whether the gallery folder may be emptied: a folder that must never be, or that could not take
// a new gallery, is refused with its reason (IDNO, choose another); a folder that holds anything needs the
// user's Yes (IDYES), No (IDNO) or Cancel (IDCANCEL); an empty or missing folder is taken (IDYES). Folder is
// read as the folder field reads it.
int32_t AskToEmptyGalleryFolder(const std::string& Folder)
{
    const std::string folder = TypedFolder(Folder);
    const std::string refusal = GalleryFolderRefusal(folder);
    const std::string problem = refusal.empty() ? GalleryFolderWriteProblem(folder) : refusal;
    if (!problem.empty()) {
        ShowMessageBox(problem, MB_OK | MB_ICONSTOP);
        return IDNO;
    }
    if (ListDirectory(folder).empty()) {
        return IDYES;
    }
    // No is the default: a Return must never delete.
    return ShowMessageBox("The folder to create the gallery is not empty.\n"
                          "All files in this folder will be deleted.\n"
                          "Click \"No\" to select another folder.",
                          MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
}

} // namespace

// A gallery folder chosen here is emptied at once, before any run.
void TMain::GalleryOpen_BTNClick(TObject*)
{
    std::string folder;
    for (;;) {
        folder = TypedFolder(GalleryPath_TXT->Text());
        if (!BrowseForFolder("Please choose the folder to create the gallery", "", folder)) {
            return;
        }
        const int32_t answer = AskToEmptyGalleryFolder(folder);
        if (answer == IDNO) {
            continue;
        }
        if (answer != IDYES) {
            return;
        }
        // The question may have stood open for minutes: what can go is looked at again right
        // before the first delete, and a folder that cannot go whole any more loses nothing.
        const std::string problem = EmptyGalleryFolder(folder);
        if (problem.empty()) {
            break;
        }
        ShowMessageBox(problem, MB_OK | MB_ICONSTOP);
    }
    GalleryPath_TXT->SetText(folder);
}

bool TMain::ValidateInputs()
{
    const TGallerySettings& s = GallerySettings;
    const struct
    {
        bool Failed;
        const char* Message;
    } checks[] = {
        {TypedFolder(s.ImagesPath).empty(), "You should specify the folder with images"},
        {s.TemplateIndex == -1, "You should specify the gallery template"},
        {s.TemplateIndex == 0 && s.TemplateFile.empty(), "You should specify the template file"},
        {TypedFolder(s.GalleryPath).empty(), "You should specify the folder to create the gallery"},
        {s.ImageSizeIndex != 0 && s.ImageWidth == 0, "You should specify the width of the images"},
        {s.ImageSizeIndex != 0 && s.ImageHeight == 0, "You should specify the height of the images"},
    };
    for (const auto& check : checks) {
        if (check.Failed) {
            ShowMessageBox(check.Message, MB_OK | MB_ICONSTOP);
            return false;
        }
    }
    return true;
}

// The status window starts the run once it is shown; the main window waits until it closes. The
// run empties the gallery folder, so a typed folder gets the picker's question first, and only
// once the template and a picture the run can use are known to be there: a run that cannot start
// must not cost the gallery the folder holds. The pictures are told by their headers here, so
// that the window answers at once; the run, which loads them, decides.
void TMain::Create_BTNClick(TObject*)
{
    if (!ValidateInputs() || Status == nullptr) {
        return;
    }
    std::string problem = ImagesFolderProblem(GallerySettings.ImagesPath);
    std::string reason;
    if (problem.empty() && !ChosenTemplateReadable(&reason)) {
        problem = TemplateOpenFailure(ChosenTemplateFile(), reason);
    }
    if (problem.empty() &&
        !MayHoldUsablePicture(IncludeTrailingPathDelimiter(TypedFolder(GallerySettings.ImagesPath)))) {
        problem = NoPicturesMessage;
    }
    if (!problem.empty()) {
        ShowMessageBox(problem, MB_OK | MB_ICONSTOP);
        return;
    }
    if (AskToEmptyGalleryFolder(GallerySettings.GalleryPath) == IDYES) {
        Status->ShowModal();
    }
}

void TMain::TempParam_BTNClick(TObject*)
{
    if (TemplateParams.Count() > 0 && TempParam != nullptr) {
        TempParam->ShowModal();
    }
}

void TMain::Options_MNUClick(TObject*)
{
    if (Options != nullptr) {
        Options->ShowModal();
    }
}

void TMain::Templates_MNUClick(TObject*)
{
    if (TempOrg != nullptr) {
        TempOrg->ShowModal();
    }
    LoadTemplateList();
}

void TMain::About_MNUClick(TObject*)
{
    if (About != nullptr) {
        About->ShowModal();
    }
}

void TMain::Content_MNUClick(TObject*)
{
    HtmlHelpDisplayTopic(HelpTopicPath("decription.htm"));
}

void TMain::Site_MNUClick(TObject*)
{
    ShellOpen(ProductWebPage);
}
