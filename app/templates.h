// The installed page templates: one folder each under the program's templates/ folder, described
// by its template.ini, with an optional template.jpg preview.
#pragma once

#include <string>
#include <vector>

// One installed template.
struct TemplateStr
{
    std::string Name;      // "name" of template.ini: the name shown in the template lists
    std::string Folder;    // the template folder's name under templates/
    bool Sample = false;   // "sample": a template.jpg preview exists
    std::string ImagesDir; // "imagesDir": the template's own image folder inside its folder
    std::string Root;      // the templates folder that holds it, with "/"
};

// The installed templates in the order of the sorted folder scan; position k is item k + 1 of
// the main window's template list and row k of the organizer's.
extern std::vector<TemplateStr> InstalledTemplates;

// The templates under TemplatesFolder: one record per sub-folder, files ignored; empty when the
// folder is missing.
std::vector<TemplateStr> ReadInstalledTemplates(const std::string& TemplatesFolder);

// The templates shipped with the program: ProgramFolder + "templates/".
std::string ShippedTemplatesFolder();
// The user's own templates, $XDG_DATA_HOME/plimbet/templates/ (~/.local/share/plimbet/templates/).
std::string UserTemplatesFolder();
// Whether the shipped templates may be changed: not those of an installed program (under
// share/plimbet/), nor a folder the user cannot write.
bool ShippedTemplatesWritable();
// Where the organizer adds templates: the shipped folder while it may be changed, else the user's.
std::string WritableTemplatesFolder();
// The templates of both folders in the order of their folder names; a user's template wins over a
// shipped one of the same folder name or the same name (blanks around it aside).
std::vector<TemplateStr> ReadAllTemplates();

// The name the template lists show: Name, or the template folder's name when Name is blank (a
// template.ini without one, or none at all), so that no template is listed without a name.
std::string ListedName(const TemplateStr& Template);

// Root + Folder + "/" (the shipped templates folder when Root is empty).
std::string TemplateFolder(const TemplateStr& Template);
// The template's page: template.html, or template.htm when only that exists.
std::string TemplatePageFile(const TemplateStr& Template);
// The page of the chosen template (GallerySettings.TemplateIndex): the template file for 0, the
// installed template's page for k >= 1, empty when none is chosen.
std::string ChosenTemplateFile();
// Whether the page of the chosen template can be read: a run can start from it. When it cannot,
// Reason, when given, takes the system's reason.
bool ChosenTemplateReadable(std::string* Reason = nullptr);
// The template's preview picture, template.jpg.
std::string TemplatePreviewFile(const TemplateStr& Template);

// Rebuilds InstalledTemplates and the main window's template list and applies the template
// choice. The chosen template stays chosen, by its folder, wherever templates added or removed
// meanwhile have moved it; when it is gone, the old position stays selected while the list
// reaches it, else the last item.
void LoadTemplateList();
