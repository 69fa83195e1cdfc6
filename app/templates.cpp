// The installed page templates.
#include "app/templates.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/forms/std_controls.h"

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
        TIniFile ini(IncludeTrailingPathDelimiter(TemplatesFolder) + entry.Name + "/template.ini");
        record.Name = ini.ReadString("options", "name", "");
        record.ImagesDir = ini.ReadString("options", "imagesDir", "");
        record.Sample = ini.ReadBool("options", "sample", false);
        templates.push_back(record);
    }
    return templates;
}

std::string TemplateFolder(const TemplateStr& Template)
{
    return GallerySettings.ProgramFolder + "templates/" + Template.Folder + "/";
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

std::string TemplatePreviewFile(const TemplateStr& Template)
{
    return TemplateFolder(Template) + "template.jpg";
}

void LoadTemplateList()
{
    InstalledTemplates = ReadInstalledTemplates(GallerySettings.ProgramFolder + "templates/");
    if (Main == nullptr) {
        return;
    }
    TComboBox* combo = Main->Template_CBX;
    const int32_t oldIndex = combo->ItemIndex();
    combo->Items()->Clear();
    combo->Items()->Add("Template from file ...");
    for (const TemplateStr& installed : InstalledTemplates) {
        combo->Items()->Add(installed.Name);
    }
    const int32_t count = combo->Items()->Count();
    combo->SetItemIndex(count > oldIndex ? oldIndex : count - 1);
    Main->Template_CBXChange(combo);
}
