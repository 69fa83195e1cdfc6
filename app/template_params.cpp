// The template's own parameters.
#include "app/template_params.h"

#include "app/file_utils.h"
#include "app/settings.h"
#include "app/templates.h"
#include "platform/core/strings.h"

#include <array>

TVqValues TemplateParams;

bool IsPageVariable(const std::string& Name)
{
    static constexpr std::array<const char*, 8> pageVariables = {
        "next_page_number", "next_page_url", "prev_page_number", "prev_page_url",
        "total_pages",      "current_page",  "first_page_url",   "last_page_url"};
    for (const char* variable : pageVariables) {
        if (SameText(Name, variable)) {
            return true;
        }
    }
    return false;
}

void CollectTemplateParams(std::string_view Text, TVqValues& Params)
{
    Text = Text.substr(0, Text.find('\0'));
    bool inName = false;
    std::string name;
    for (size_t i = 0; i < Text.size(); ++i) {
        const bool hasNext = i + 1 < Text.size();
        if (!inName) {
            if (Text[i] == '@' && hasNext && Text[i + 1] == '_') {
                inName = true;
                name.clear();
                ++i;
            }
            continue;
        }
        if (Text[i] == '_' && hasNext && Text[i + 1] == '@') {
            inName = false;
            ++i;
            if (!IsPageVariable(name) && Params.Find(name) == nullptr) {
                Params.Add(vqString, name)->SetString(name);
            }
            continue;
        }
        name.push_back(Text[i]);
    }
}

void ScanTemplateParams()
{
    TemplateParams.Clear();
    if (GallerySettings.TemplateIndex != -1) {
        std::string text;
        if (ReadTemplateText(ChosenTemplateFile(), text)) {
            CollectTemplateParams(text, TemplateParams);
        }
    }
}

std::string TemplateParamsCaption(int32_t Count)
{
    if (Count > 1) {
        return Format("Parameters of the template (this template contains %d parameters)", Count);
    }
    if (Count == 1) {
        return "Parameters of the template (this template contains 1 parameter)";
    }
    return "Parameters of template";
}
