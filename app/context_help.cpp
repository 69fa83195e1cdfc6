// Help for the window in front.
#include "app/context_help.h"

#include "app/settings.h"
#include "platform/forms/application.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/form.h"

#include <string>

std::string HelpTopicPath(const std::string& Topic)
{
    return GallerySettings.ProgramFolder + "plimbet.chm::/" + Topic;
}

void ShowContextHelp()
{
    static constexpr struct
    {
        const char* Form;
        const char* Topic;
    } topics[] = {{"Main", "main.htm"},
                  {"Options", "options.htm"},
                  {"TempOrg", "temporg.htm"},
                  {"TempName", "temporg.htm"},
                  {"TempParam", "temppar.htm"}};
    std::string topic = "decription.htm";
    if (const TForm* active = Screen->ActiveForm()) {
        for (const auto& entry : topics) {
            if (active->Name() == entry.Form) {
                topic = entry.Topic;
            }
        }
    }
    HtmlHelpDisplayTopic(HelpTopicPath(topic));
}
