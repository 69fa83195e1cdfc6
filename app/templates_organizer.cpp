// The templates organizer.
#include "app/templates_organizer.h"

#include "app/file_utils.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "app/template_import.h"
#include "app/template_properties.h"
#include "app/templates.h"
#include "app/window_controls.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/std_controls.h"

#include <filesystem>

TTempOrg* TempOrg = nullptr;

namespace {

constexpr const char* IniSection = "options";
constexpr int32_t TemplateFolderNameLength = 8;
constexpr int32_t ImagesFolderNameLength = 12;

// The selected row's template, nullptr when no row is selected.
TemplateStr* SelectedTemplate(const TListBox* List)
{
    const int32_t row = List->ItemIndex();
    if (row < 0 || static_cast<size_t>(row) >= InstalledTemplates.size()) {
        return nullptr;
    }
    return &InstalledTemplates[static_cast<size_t>(row)];
}

// A template the organizer may not change in its place: one shipped with an installed program.
bool IsReadOnlyTemplate(const TemplateStr& Template)
{
    return (Template.Root.empty() || Template.Root == ShippedTemplatesFolder()) &&
           !ShippedTemplatesWritable();
}

// Copies a shipped template into the user's templates folder under the same folder name, where
// it takes the shipped one's place in the lists; the record then names the copy. False when the
// copy could not be made.
bool CopyToUserTemplates(TemplateStr& Template)
{
    namespace fs = std::filesystem;
    const std::string target = UserTemplatesFolder() + Template.Folder;
    std::error_code error;
    fs::create_directories(target, error);
    fs::copy(ExcludeTrailingPathDelimiter(TemplateFolder(Template)), target,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
    if (error) {
        return false;
    }
    Template.Root = UserTemplatesFolder();
    return true;
}

} // namespace

TTempOrg::TTempOrg(TComponent* AOwner) : TForm(AOwner)
{
    SetName("TempOrg");
    SetCaption("Templates organizer");
    SetBorderStyle(bsSingle);
    SetBorderIcons(biSystemMenu);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetClientWidth(452);
    SetClientHeight(241);

    Templates_GBX = PlaceControl<TGroupBox>(this, this, "Templates_GBX", 8, 4, 312, 229);
    Templates_GBX->SetCaption("  Installed templates  ");
    Temp_LST = PlaceControl<TListBox>(this, Templates_GBX, "Temp_LST", 8, 18, 296, 203);
    Add_BTN = PlaceControl<TButton>(this, this, "Add_BTN", 328, 12, 116, 25);
    Add_BTN->SetCaption("Add template");
    Edit_BTN = PlaceControl<TButton>(this, this, "Edit_BTN", 328, 44, 116, 25);
    Edit_BTN->SetCaption("Edit template");
    Delete_BTN = PlaceControl<TButton>(this, this, "Delete_BTN", 328, 76, 116, 25);
    Delete_BTN->SetCaption("Delete template");

    Open_DLG = new TOpenDialog(this);
    Open_DLG->SetName("Open_DLG");
    Open_DLG->Filter = "HTML files|*.htm;*.html|All files|*.*";

    OnShow = Handler(this, &TTempOrg::FormShow);
    Temp_LST->OnDblClick = Handler(this, &TTempOrg::Edit_BTNClick);
    Temp_LST->OnClick = Handler(this, &TTempOrg::Temp_LSTClick);
    Add_BTN->OnClick = Handler(this, &TTempOrg::Add_BTNClick);
    Edit_BTN->OnClick = Handler(this, &TTempOrg::Edit_BTNClick);
    Delete_BTN->OnClick = Handler(this, &TTempOrg::Delete_BTNClick);

    if (TempOrg == nullptr) {
        TempOrg = this;
    }
}

TTempOrg::~TTempOrg()
{
    if (TempOrg == this) {
        TempOrg = nullptr;
    }
}

void TTempOrg::FormShow(TObject*)
{
    Temp_LST->Items()->Clear();
    for (const TemplateStr& installed : InstalledTemplates) {
        Temp_LST->Items()->Add(installed.Name);
    }
    EnableRowButtons();
}

void TTempOrg::Temp_LSTClick(TObject*)
{
    EnableRowButtons();
}

void TTempOrg::EnableRowButtons()
{
    const bool selected = SelectedTemplate(Temp_LST) != nullptr;
    Edit_BTN->SetEnabled(selected);
    Delete_BTN->SetEnabled(selected);
}

void TTempOrg::Add_BTNClick(TObject*)
{
    if (!Open_DLG->Execute()) {
        return;
    }
    // An installed program's templates stay as shipped: new ones go to the user's folder. The
    // name is drawn again while it is taken, so that no existing template is ever written into.
    const std::string templates = WritableTemplatesFolder();
    ForceDirectories(templates);
    const std::string folder = templates + RandomFileName(templates, "", TemplateFolderNameLength) + "/";
    const std::string imagesDir = RandomName(ImagesFolderNameLength);
    if (!ImportHtmlTemplate(Open_DLG->FileName, folder, imagesDir, true, "")) {
        // A half-made folder without template.ini would show as a nameless template.
        RemoveFolder(folder);
        return;
    }

    TempName->Name_TXT->SetText("");
    TempName->Sample_TXT->SetText("");
    TempName->Cancel_BTN->SetVisible(false);
    TempName->Ok_BTN->SetLeft(177);
    // However the window closes, the new template takes the fields as they stand.
    TempName->ShowModal();

    const std::string sample = TempName->Sample_TXT->Text();
    TIniFile ini(folder + "template.ini");
    ini.WriteString(IniSection, "name", TempName->Name_TXT->Text());
    ini.WriteString(IniSection, "imagesDir", imagesDir);
    ini.WriteBool(IniSection, "sample", !sample.empty());
    if (!sample.empty()) {
        CopyFile(sample, folder + "template.jpg", false);
    }

    LoadTemplateList();
    FormShow(this);
}

void TTempOrg::Edit_BTNClick(TObject*)
{
    TemplateStr* selected = SelectedTemplate(Temp_LST);
    if (selected == nullptr) {
        return;
    }
    const std::string preview = TemplatePreviewFile(*selected);
    TempName->Name_TXT->SetText(selected->Name);
    TempName->Sample_TXT->SetText(selected->Sample ? preview : std::string());
    TempName->Cancel_BTN->SetVisible(true);
    TempName->Ok_BTN->SetLeft(253);
    if (TempName->ShowModal() == mrCancel) {
        return;
    }
    // A shipped template is changed in a copy of the user's own; the shipped one stays as it is.
    if (IsReadOnlyTemplate(*selected) && !CopyToUserTemplates(*selected)) {
        ShowMessageBox("Can't create the file of the template", MB_OK | MB_ICONSTOP);
        return;
    }

    selected->Name = Trim(TempName->Name_TXT->Text());
    const std::string sample = TempName->Sample_TXT->Text();
    const std::string ownPreview = TemplatePreviewFile(*selected);
    if (sample.empty()) {
        selected->Sample = false;
        DeleteFile(ownPreview);
    } else {
        // The unchanged sample names the preview itself, which the copy leaves intact.
        CopyFile(sample, ownPreview, false);
        selected->Sample = true;
    }
    TIniFile ini(TemplateFolder(*selected) + "template.ini");
    ini.WriteString(IniSection, "name", selected->Name);
    ini.WriteBool(IniSection, "sample", selected->Sample);
    Temp_LST->Items()->SetStrings(Temp_LST->ItemIndex(), selected->Name);
}

void TTempOrg::Delete_BTNClick(TObject*)
{
    const TemplateStr* selected = SelectedTemplate(Temp_LST);
    if (selected == nullptr) {
        return;
    }
    if (IsReadOnlyTemplate(*selected)) {
        ShowMessageBox("The template '" + selected->Name + "' comes with the program and can't be removed.",
                       MB_OK | MB_ICONSTOP);
        return;
    }
    const std::string question = "The template '" + selected->Name + "' will be removed.\nAre you sure?";
    if (ShowMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    // A folder removed meanwhile by other means is simply gone from the list.
    RemoveFolder(TemplateFolder(*selected));
    LoadTemplateList();
    FormShow(this);
}
