// The installed page templates.
#include "app/templates.h"

#include "app/file_utils.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/core/strings.h"
#include "platform/forms/std_controls.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>

std::vector<TemplateStr> InstalledTemplates;

std::vector<TemplateStr> ReadInstalledTemplates(const std::string& TemplatesFolder)
{
    std::vector<TemplateStr> templates;
    for (const TDirEntry& entry : ListDirectory(TemplatesFolder)) {
        if (!entry.IsDirectory()) {
            continue;
        }
        TemplateStr record;
        record.Folder = entry.Name;
        record.Root = IncludeTrailingPathDelimiter(TemplatesFolder);
        TIniFile ini(IncludeTrailingPathDelimiter(TemplatesFolder) + entry.Name + "/template.ini");
        record.Name = ini.ReadString("options", "name", "");
        record.ImagesDir = ini.ReadString("options", "imagesDir", "");
        record.Sample = ini.ReadBool("options", "sample", false);
        templates.push_back(record);
    }
    return templates;
}

std::string ShippedTemplatesFolder()
{
    return GallerySettings.ProgramFolder + "templates/";
}

std::string UserTemplatesFolder()
{
    return DataHomeFolder() + "plimbet/templates/";
}

bool ShippedTemplatesWritable()
{
    const std::string program = GallerySettings.ProgramFolder;
    const std::string installed = "/share/plimbet/";
    const bool isInstalled =
        program.size() >= installed.size() &&
        program.compare(program.size() - installed.size(), installed.size(), installed) == 0;
    return !isInstalled && ::access(ShippedTemplatesFolder().c_str(), W_OK) == 0;
}

std::string WritableTemplatesFolder()
{
    return ShippedTemplatesWritable() ? ShippedTemplatesFolder() : UserTemplatesFolder();
}

std::vector<TemplateStr> ReadAllTemplates()
{
    std::vector<TemplateStr> templates = ReadInstalledTemplates(ShippedTemplatesFolder());
    std::vector<TemplateStr> own = ReadInstalledTemplates(UserTemplatesFolder());
    // A user's template takes the place of the shipped one of its folder or of its name: a list
    // never shows one name for two templates that the user cannot tell apart.
    const auto sameName = [](const std::string& A, const std::string& B) {
        return !Trim(A).empty() && Trim(A) == Trim(B);
    };
    for (const TemplateStr& mine : own) {
        std::erase_if(templates, [&](const TemplateStr& shipped) {
            return shipped.Folder == mine.Folder || sameName(shipped.Name, mine.Name);
        });
    }
    templates.insert(templates.end(), std::make_move_iterator(own.begin()),
                     std::make_move_iterator(own.end()));
    // One list in the order a folder listing gives.
    std::stable_sort(templates.begin(), templates.end(), [](const TemplateStr& a, const TemplateStr& b) {
        const int folded = CompareText(a.Folder, b.Folder);
        return folded != 0 ? folded < 0 : a.Folder < b.Folder;
    });
    return templates;
}

std::string ListedName(const TemplateStr& Template)
{
    return Trim(Template.Name).empty() ? Template.Folder : Template.Name;
}

std::string TemplateFolder(const TemplateStr& Template)
{
    return (Template.Root.empty() ? ShippedTemplatesFolder() : Template.Root) + Template.Folder + "/";
}

std::string TemplatePageFile(const TemplateStr& Template)
{
    const std::string html = TemplateFolder(Template) + "template.html";
    const std::string htm = TemplateFolder(Template) + "template.htm";
    return !FileExists(html) && FileExists(htm) ? htm : html;
}

std::string ChosenTemplateFile()
{
    const int32_t index = GallerySettings.TemplateIndex;
    if (index == 0) {
        return GallerySettings.TemplateFile;
    }
    if (index >= 1 && static_cast<size_t>(index) <= InstalledTemplates.size()) {
        return TemplatePageFile(InstalledTemplates[static_cast<size_t>(index) - 1]);
    }
    return std::string();
}

bool ChosenTemplateReadable(std::string* Reason)
{
    std::string text;
    return ReadTemplateText(ChosenTemplateFile(), text, Reason);
}

std::string TemplatePreviewFile(const TemplateStr& Template)
{
    return TemplateFolder(Template) + "template.jpg";
}

namespace {

// The folder of the installed template at item Index of the template list; empty for the file
// choice, no choice, or an item past the list.
std::string FolderAtItem(int32_t Index)
{
    if (Index < 1 || static_cast<size_t>(Index) > InstalledTemplates.size()) {
        return std::string();
    }
    return InstalledTemplates[static_cast<size_t>(Index) - 1].Folder;
}

// The item of the template list to select after a reload: the template of the folder chosen
// before, wherever a template added or removed before it has moved it; when that template is
// gone, the old position while the list still reaches it, else the last item. The file choice
// (0) and no choice (-1) stay as they are.
int32_t ItemAfterReload(int32_t OldIndex, const std::string& OldFolder, int32_t Count)
{
    if (!OldFolder.empty()) {
        for (size_t k = 0; k < InstalledTemplates.size(); ++k) {
            if (InstalledTemplates[k].Folder == OldFolder) {
                return static_cast<int32_t>(k) + 1;
            }
        }
    }
    return Count > OldIndex ? OldIndex : Count - 1;
}

} // namespace

void LoadTemplateList()
{
    TComboBox* combo = Main != nullptr ? Main->Template_CBX : nullptr;
    const int32_t oldIndex = combo != nullptr ? combo->ItemIndex() : -1;
    const std::string oldFolder = FolderAtItem(oldIndex);
    InstalledTemplates = ReadAllTemplates();
    if (combo == nullptr) {
        return;
    }
    combo->Items()->Clear();
    combo->Items()->Add("Template from file ...");
    for (const TemplateStr& installed : InstalledTemplates) {
        combo->Items()->Add(ListedName(installed));
    }
    combo->SetItemIndex(ItemAfterReload(oldIndex, oldFolder, combo->Items()->Count()));
    Main->Template_CBXChange(combo);
}
