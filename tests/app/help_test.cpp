// Help: the topics are valid pages that describe the controls of their windows, and F1 in each
// window asks for the topic of that window.
#include "app/about_window.h"
#include "app/main_window.h"
#include "app/options_window.h"
#include "app/param_value_window.h"
#include "app/template_params_window.h"
#include "app/template_properties.h"
#include "app/templates_organizer.h"
#include "platform/core/files.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"
#include "tests/app/window_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string HelpFolder = std::string(KV_SOURCE_DIR) + "/help/";

// The controls and menu items each topic explains, by the captions the user
// sees.
const struct
{
    const char* Topic;
    std::vector<std::string> Captions;
} TopicCaptions[] = {
    {"decription.htm", {"Create gallery", "Pages template", "Template from file ...", "@_title_@", "thumbs"}},
    {"main.htm",
     {"Path to images", "Pages template", "Template from file ...", "Parameters of template",
      "Path to gallry", "Icons size", "Make equal", "Thumbnail quality", "Gallery images size",
      "Don't cahnge", "Fit to custom size ...", "Images quality", "Create gallery", "Templates organizer",
      "Content", "Web site ...", "About", "F1"}},
    {"options.htm",
     {"Parameters of tables of thumbnailes", "Columns", "Rows", "Border width", "Cell's space",
      "Cell's padding", "Horizontal align", "Vertical align", "Background color", "Page for viewing of image",
      "Ok", "Cancel"}},
    {"temporg.htm",
     {"Installed templates", "Add template", "Edit template", "Delete template", "Properties of the template",
      "Name of the template", "Graphic sample of the template", "Clear", "Ok", "Cancel"}},
    {"temppar.htm", {"Parameter name", "Value", "Edit", "Close", "Parameter value", "Ok", "Cancel"}},
};

} // namespace

TEST(HelpTopics, AreValidPagesThatExplainTheirWindowsControls)
{
    for (const auto& topic : TopicCaptions) {
        const std::string page = HelpFolder + topic.Topic;
        ASSERT_TRUE(FileExists(page)) << page;
        const std::string command = "tidy -errors -quiet '" + page + "' >/dev/null 2>&1";
        EXPECT_EQ(kvtest::ToolExitCode(command), 0) << topic.Topic << " is not valid HTML";
        // A browser shows any run of blanks and line breaks as one blank.
        std::string text;
        for (char c : kvtest::TempFolder::Read(page)) {
            const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
            if (!blank || text.empty() || text.back() != ' ') {
                text += blank ? ' ' : c;
            }
        }
        for (const std::string& caption : topic.Captions) {
            // Texts in pages escape the characters of HTML.
            std::string escaped;
            for (char c : caption) {
                escaped += c == '&'   ? std::string("&amp;")
                           : c == '<' ? std::string("&lt;")
                                      : std::string(1, c);
            }
            EXPECT_NE(text.find(escaped), std::string::npos) << topic.Topic << " says nothing of " << caption;
        }
    }
}

TEST(HelpTopics, LinkOnlyToPagesAndStyleSheetsThatExist)
{
    std::set<std::string> linked;
    for (const auto& topic : TopicCaptions) {
        const std::string text = kvtest::TempFolder::Read(HelpFolder + topic.Topic);
        for (const std::string attribute : {"href=\"", "src=\""}) {
            for (size_t at = text.find(attribute); at != std::string::npos;
                 at = text.find(attribute, at + 1)) {
                const size_t start = at + attribute.size();
                const std::string target = text.substr(start, text.find_first_of("\"#", start) - start);
                // Pages of the web are no topics.
                if (target.find(':') == std::string::npos) {
                    linked.insert(target);
                }
            }
        }
    }
    EXPECT_GE(linked.size(), 6u);
    for (const std::string& target : linked) {
        EXPECT_TRUE(FileExists(HelpFolder + target)) << target;
    }
}

TEST(HelpTopics, F1InEachWindowAsksForItsTopic)
{
    kvtest::TempFolder temp;
    kvtest::ScopedEnv registry{"KORVANE_REGISTRY_FILE", temp.File("Plimbet.conf")};
    kvtest::ScopedEnv home{"PLIMBET_HOME", temp.Path()};
    TScriptedDialogService dialogs;
    // The main window's hook takes F1 before any window does.
    auto* main = new TMain(Application);
    main->AfterConstruction();
    main->Show();
    Simulate::ProcessEvents();

    auto make = [](auto* Window) {
        Window->AfterConstruction();
        return Window;
    };
    TOptions* options = make(new TOptions(Application));
    TTempOrg* organizer = make(new TTempOrg(Application));
    TTempName* properties = make(new TTempName(Application));
    TTempParam* parameters = make(new TTempParam(Application));
    TParamValue* value = make(new TParamValue(Application));
    TAbout* about = make(new TAbout(Application));
    const struct
    {
        TForm* Window;
        TWinControl* Focus;
        const char* Topic;
    } windows[] = {
        {options, options->BgColor_TXT, "options.htm"},    {organizer, organizer->Temp_LST, "temporg.htm"},
        {properties, properties->Name_TXT, "temporg.htm"}, {parameters, parameters->Param_LST, "temppar.htm"},
        {value, value->Value_TXT, "decription.htm"},       {about, about, "decription.htm"},
    };
    for (const auto& window : windows) {
        dialogs.ClearCalls();
        apptest::WhenModal user(window.Window, [&] {
            Simulate::Key(window.Focus, VK_F1);
            window.Window->SetModalResult(mrCancel);
        });
        window.Window->ShowModal();
        ASSERT_TRUE(user.Ran()) << window.Window->Name();
        const std::vector<TDialogCall> help = dialogs.CallsOf(dkHelpTopic);
        ASSERT_EQ(help.size(), 1u) << window.Window->Name();
        EXPECT_EQ(help[0].Caption, temp.File("plimbet.chm"));
        EXPECT_EQ(help[0].Text, window.Topic) << window.Window->Name();
        window.Window->Free();
    }
    main->Free();
}
