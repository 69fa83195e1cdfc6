// The templates organizer.
#include "app/templates_organizer.h"

#include "app/file_utils.h"
#include "app/folder_identity.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "app/template_import.h"
#include "app/template_properties.h"
#include "app/templates.h"
#include "app/window_controls.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/core/system.h"
#include "platform/core/tempfiles.h"
#include "platform/forms/buttons.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/std_controls.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// A file of a template that could not be read or written, and why.
struct TEditFailure
{
    std::string Text;
    std::string Reason;
};

// Copies a shipped template into the user's templates folder under the same folder name, where
// it takes the shipped one's place in the lists; the record then names the copy, whose folders
// Made holds. False when the copy could not be made, with the folder and the system's reason, and
// nothing of it is left.
bool CopyToUserTemplates(TemplateStr& Template, TMadeFolders& Made, TEditFailure& Failure)
{
    namespace fs = std::filesystem;
    const std::string target = UserTemplatesFolder() + Template.Folder + "/";
    std::error_code error;
    if (!Made.Make(target)) {
        error = std::error_code(Made.Error(), std::generic_category());
    } else {
        fs::copy(ExcludeTrailingPathDelimiter(TemplateFolder(Template)), target,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
    }
    if (error) {
        // A part of a template would show in the shipped one's place, without its name.
        Made.RemoveAll();
        Failure.Text = "Can't create the file of the template: " + ShownName(target);
        Failure.Reason = error.message();
        return false;
    }
    Template.Root = UserTemplatesFolder();
    return true;
}

// Keys of template.ini and their values, in the order written.
using TIniValues = std::vector<std::pair<std::string, std::string>>;

// The text of IniFile with Values written as TIniFile writes them: the edit happens in a scratch
// copy in the temporary folder, since the file itself is written only together with the preview.
// Raises with the reason when the copy cannot be made.
std::string EditedIniText(const std::string& IniFile, const TIniValues& Values)
{
    TMemoryStream text;
    if (FileExists(IniFile)) {
        text.LoadFromFile(IniFile);
    }
    const std::string scratch = GetTempFileName(GetTempPath(), "plimbet");
    if (scratch.empty()) {
        throw EFCreateError("Cannot create file in \"" + GetTempPath() + "\". " + SysErrorMessage(errno));
    }
    try {
        text.SaveToFile(scratch);
        TIniFile ini(scratch);
        for (const auto& [key, value] : Values) {
            ini.WriteString(IniSection, key, value);
        }
        text.LoadFromFile(scratch);
    } catch (...) {
        DeleteFile(scratch);
        throw;
    }
    DeleteFile(scratch);
    return std::string(static_cast<const char*>(text.Memory()), static_cast<size_t>(text.Size()));
}

// The "sample" value: "1" when the template has a preview.
std::string SampleValue(const std::string& Sample)
{
    return Sample.empty() ? "0" : "1";
}

// Whether Sample names a picture other than the preview: the unchanged sample names the preview
// itself, by whatever path or link.
bool ReplacesPreview(const std::string& Sample, const std::string& Preview)
{
    TFolderId sample, preview;
    return !Sample.empty() &&
           !(IdentityOf(Sample, sample) && IdentityOf(Preview, preview) && sample == preview);
}

// The preview as it was before a new one took its name, as far as the disk lets it: its old
// content, or none when Old is nil.
void PutBackPreview(const std::string& Preview, TMemoryStream* Old)
{
    if (Old == nullptr) {
        DeleteFile(Preview);
        return;
    }
    try {
        Old->SaveToFile(Preview);
    } catch (const EStreamError&) {
        // The new preview stays; the message tells that the edit failed.
    }
}

// Saves Values into Template's template.ini and Sample as its preview as one change: the new
// preview and template.ini are both written whole beside their names before either takes its
// name, so that a disk without room for one keeps both as they were; should template.ini still
// fail to take its name, the preview is put back. An empty Sample deletes the preview once
// template.ini says there is none. False, with the file and the reason, when the change could not
// be saved.
bool SaveTemplateFiles(const TemplateStr& Template, const TIniValues& Values, const std::string& Sample,
                       TEditFailure& Failure)
{
    const std::string preview = TemplatePreviewFile(Template);
    const std::string iniFile = TemplateFolder(Template) + "template.ini";
    // What the step in hand does, which a failure names.
    std::string step;
    std::string file;
    const auto doing = [&](const char* Step, const std::string& File) {
        step = Step;
        file = File;
    };
    try {
        doing("Can't write the file: ", iniFile);
        const std::string iniText = EditedIniText(iniFile, Values);
        TMemoryStream picture;
        std::unique_ptr<TMemoryStream> oldPreview;
        std::unique_ptr<TSafeFileWriter> previewFile;
        if (ReplacesPreview(Sample, preview)) {
            doing("Can't read the picture: ", Sample);
            picture.LoadFromFile(Sample);
            doing("Can't write the file: ", preview);
            if (FileExists(preview)) {
                oldPreview = std::make_unique<TMemoryStream>();
                oldPreview->LoadFromFile(preview);
            }
            previewFile = std::make_unique<TSafeFileWriter>(preview);
            previewFile->Stream().CopyFrom(picture, 0);
        }
        doing("Can't write the file: ", iniFile);
        TSafeFileWriter ini(iniFile, 0644);
        ini.Stream().WriteBuffer(iniText.data(), static_cast<int64_t>(iniText.size()));
        if (previewFile) {
            doing("Can't write the file: ", preview);
            previewFile->Commit();
            doing("Can't write the file: ", iniFile);
        }
        try {
            ini.Commit();
        } catch (...) {
            if (previewFile) {
                PutBackPreview(preview, oldPreview.get());
            }
            throw;
        }
    } catch (const std::exception& error) {
        Failure.Text = step + ShownName(file);
        Failure.Reason = ReasonIn(error.what(), file);
        return false;
    }
    if (Sample.empty()) {
        DeleteFile(preview);
    }
    return true;
}

// Imports Page as a new template into Folder, with its files in ImagesDir inside it; the files
// the page refers to that could not be found or read go to Unfound. False when the import failed,
// or a file could not be written into the template, which has been told.
bool ImportPage(const std::string& Page, const std::string& Folder, const std::string& ImagesDir,
                std::vector<TUncopiedFile>& Unfound)
{
    if (!ImportHtmlTemplate(Page, Folder, ImagesDir, true, "", &Unfound)) {
        return false;
    }
    const auto unwritten = std::find_if(Unfound.begin(), Unfound.end(),
                                        [](const TUncopiedFile& File) { return File.CopyFailed; });
    if (unwritten == Unfound.end()) {
        return true;
    }
    ShowMessageBox(WithReason("Can't write the file: " + ShownName(unwritten->Copy), unwritten->Reason),
                   MB_OK | MB_ICONSTOP);
    return false;
}

// The files of the page that a new template goes without, one a line with its reason.
std::string UnfoundFilesMessage(const std::vector<TUncopiedFile>& Unfound)
{
    std::string text = "The template has been added without these files of its page:";
    for (const TUncopiedFile& file : Unfound) {
        // Appended one piece at a time: GCC 12's -O3 sees a false overlap in "\n" + temporary.
        text += '\n';
        text += WithReasonInLine(ShownName(file.Source), file.Reason);
    }
    return text;
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
        Temp_LST->Items()->Add(ListedName(installed));
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
    TemplateStr added;
    added.Root = templates;
    added.Folder = RandomFileName(templates, "", TemplateFolderNameLength);
    const std::string folder = TemplateFolder(added);
    const std::string imagesDir = RandomName(ImagesFolderNameLength);
    // The template is made whole or not at all: a part of one would show as a nameless template.
    TMadeFolders made;
    if (!made.Make(folder)) {
        ShowMessageBox(
            WithReason("Can't create the folder: " + ShownName(folder), SysErrorMessage(made.Error())),
            MB_OK | MB_ICONSTOP);
        return;
    }
    std::vector<TUncopiedFile> unfound;
    if (!ImportPage(Open_DLG->FileName, folder, imagesDir, unfound)) {
        made.RemoveAll();
        return;
    }

    TempName->Name_TXT->SetText("");
    TempName->Sample_TXT->SetText("");
    TempName->Cancel_BTN->SetVisible(false);
    TempName->Ok_BTN->SetLeft(177);
    // However the window closes, the new template takes the fields as they stand.
    TempName->ShowModal();

    const std::string sample = TempName->Sample_TXT->Text();
    const TIniValues values = {
        {"name", TempName->Name_TXT->Text()}, {"imagesDir", imagesDir}, {"sample", SampleValue(sample)}};
    TEditFailure failure;
    if (!SaveTemplateFiles(added, values, sample, failure)) {
        made.RemoveAll();
        ShowMessageBox(WithReason(failure.Text, failure.Reason), MB_OK | MB_ICONSTOP);
        return;
    }
    made.Keep();
    LoadTemplateList();
    FormShow(this);
    if (!unfound.empty()) {
        ShowMessageBox(UnfoundFilesMessage(unfound), MB_OK | MB_ICONSTOP);
    }
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
    // A shipped template is changed in a copy of the user's own; the shipped one stays as it is,
    // and so does the list when the edit cannot be saved.
    TemplateStr edited = *selected;
    TMadeFolders madeCopy;
    const std::string name = Trim(TempName->Name_TXT->Text());
    const std::string sample = TempName->Sample_TXT->Text();
    TEditFailure failure;
    if ((IsReadOnlyTemplate(edited) && !CopyToUserTemplates(edited, madeCopy, failure)) ||
        !SaveTemplateFiles(edited, {{"name", name}, {"sample", SampleValue(sample)}}, sample, failure)) {
        madeCopy.RemoveAll();
        ShowMessageBox(WithReason(failure.Text, failure.Reason), MB_OK | MB_ICONSTOP);
        return;
    }
    madeCopy.Keep();
    edited.Name = name;
    edited.Sample = !sample.empty();
    *selected = edited;
    Temp_LST->Items()->SetStrings(Temp_LST->ItemIndex(), ListedName(*selected));
}

void TTempOrg::Delete_BTNClick(TObject*)
{
    const TemplateStr* selected = SelectedTemplate(Temp_LST);
    if (selected == nullptr) {
        return;
    }
    if (IsReadOnlyTemplate(*selected)) {
        ShowMessageBox("The template '" + ShownName(ListedName(*selected)) +
                           "' comes with the program and can't be removed.",
                       MB_OK | MB_ICONSTOP);
        return;
    }
    const std::string question =
        "The template '" + ShownName(ListedName(*selected)) + "' will be removed.\nAre you sure?";
    // Return answers No: a template is never removed by a key pressed out of habit.
    if (ShowMessageBox(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    // A folder removed meanwhile by other means is simply gone from the list; one that holds what
    // cannot go stays whole, its template usable.
    const std::string problem = RemoveWholeFolder(TemplateFolder(*selected));
    LoadTemplateList();
    FormShow(this);
    if (!problem.empty()) {
        ShowMessageBox(problem, MB_OK | MB_ICONSTOP);
    }
}
