// Installed templates and the template parameters found in their pages.
#include "app/templates.h"

#include "app/settings.h"
#include "app/template_params.h"
#include "platform/core/files.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const std::string FixtureProgram = std::string(KV_TEST_DATA_DIR) + "/app/";

std::vector<std::pair<std::string, std::string>> Params(const TVqValues& List)
{
    std::vector<std::pair<std::string, std::string>> params;
    for (int32_t i = 0; i < List.Count(); ++i) {
        params.emplace_back(List.GetItem(i)->Name(), List.GetItem(i)->AsString());
    }
    return params;
}

// Keeps the program-wide settings and lists of one test away from the next.
class Templates : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GallerySettings.ProgramFolder = FixtureProgram;
        InstalledTemplates = ReadInstalledTemplates(FixtureProgram + "templates/");
    }
    void TearDown() override
    {
        GallerySettings = FSaved;
        InstalledTemplates.clear();
        TemplateParams.Clear();
    }

private:
    TGallerySettings FSaved = GallerySettings;
};

} // namespace

TEST_F(Templates, FoldersAreReadInSortedOrderWithTheirDescriptions)
{
    const struct
    {
        const char* Folder;
        const char* Name;
        bool Sample;
        const char* ImagesDir;
    } expected[] = {
        {"blue", "Blue", true, "img"},
        {"corrupt-preview", "Corrupt picture", true, ""},
        // "sample=2" is true, "sample=yes" is no number and reads as false.
        {"missing-preview", "No picture", true, ""},
        // A folder without template.ini is still listed, with an empty name.
        {"noini", "", false, ""},
        {"plain", "Plain", false, ""},
    };
    ASSERT_EQ(InstalledTemplates.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(InstalledTemplates[i].Folder, expected[i].Folder);
        EXPECT_EQ(InstalledTemplates[i].Name, expected[i].Name);
        EXPECT_EQ(InstalledTemplates[i].Sample, expected[i].Sample) << expected[i].Folder;
        EXPECT_EQ(InstalledTemplates[i].ImagesDir, expected[i].ImagesDir);
    }
    EXPECT_TRUE(ReadInstalledTemplates(FixtureProgram + "no-such-folder/").empty());
}

TEST_F(Templates, PageFileIsTheHtmlFileElseTheHtmFile)
{
    EXPECT_EQ(TemplatePageFile(InstalledTemplates[0]), FixtureProgram + "templates/blue/template.html");
    EXPECT_EQ(TemplatePageFile(InstalledTemplates[4]), FixtureProgram + "templates/plain/template.htm");
    EXPECT_EQ(TemplatePreviewFile(InstalledTemplates[0]), FixtureProgram + "templates/blue/template.jpg");

    kvtest::TempFolder temp;
    GallerySettings.ProgramFolder = temp.Path();
    const TemplateStr both{"Both", "both", false, "", ""};
    ASSERT_TRUE(ForceDirectories(temp.File("templates/both/")));
    temp.Write("templates/both/template.htm", "old");
    EXPECT_EQ(TemplatePageFile(both), temp.File("templates/both/template.htm"));
    temp.Write("templates/both/template.html", "new");
    EXPECT_EQ(TemplatePageFile(both), temp.File("templates/both/template.html"));

    const TemplateStr neither{"Neither", "neither", false, "", ""};
    EXPECT_EQ(TemplatePageFile(neither), temp.File("templates/neither/template.html"));

    GallerySettings.TemplateFile = "/pages/own.html";
    const struct
    {
        int32_t Index;
        std::string File;
    } chosen[] = {{-1, ""},
                  {0, "/pages/own.html"},
                  {1, FixtureProgram + "templates/blue/template.html"},
                  {5, FixtureProgram + "templates/plain/template.htm"},
                  {6, ""}};
    GallerySettings.ProgramFolder = FixtureProgram;
    for (const auto& c : chosen) {
        GallerySettings.TemplateIndex = c.Index;
        EXPECT_EQ(ChosenTemplateFile(), c.File) << c.Index;
    }
}

TEST_F(Templates, ParametersAreTheTemplatesOwnVariablesOnce)
{
    const struct
    {
        std::string Text;
        std::vector<std::pair<std::string, std::string>> Expected;
    } cases[] = {
        {"@_title_@ @_title_@ @_Title_@ @_current_page_@", {{"title", "title"}}},
        {"@_A_@ @_b_@ @_a_@ @_NEXT_PAGE_URL_@ @_last_page_url_@", {{"A", "A"}, {"b", "b"}}},
        {"@_a_b_@ @@_c_@", {{"a_b", "a_b"}, {"c", "c"}}},
        {"@_unterminated", {}},
        {"text @_ and _@ more", {{" and ", " and "}}},
        {"@_x_@_y_@", {{"x", "x"}}},
        {std::string("@_a_@\0@_b_@", 11), {{"a", "a"}}},
        {"@", {}},
        {"@_", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        TVqValues params;
        CollectTemplateParams(c.Text, params);
        EXPECT_EQ(Params(params), c.Expected) << c.Text;
    }
}

TEST_F(Templates, ScanTemplateParamsReadsTheChosenTemplate)
{
    using TParams = std::vector<std::pair<std::string, std::string>>;
    GallerySettings.TemplateIndex = 1;
    ScanTemplateParams();
    EXPECT_EQ(Params(TemplateParams), (TParams{{"title", "title"}, {"background", "background"}}));

    // A template with only template.htm has its parameters read from it.
    GallerySettings.TemplateIndex = 5;
    ScanTemplateParams();
    EXPECT_EQ(Params(TemplateParams), (TParams{{"greeting", "greeting"}, {"author", "author"}}));

    GallerySettings.TemplateIndex = 0;
    kvtest::TempFolder temp;
    GallerySettings.TemplateFile = temp.Write("own.html", "<b>@_name_@</b>");
    ScanTemplateParams();
    EXPECT_EQ(Params(TemplateParams), (TParams{{"name", "name"}}));

    GallerySettings.TemplateFile = temp.File("missing.html");
    ScanTemplateParams();
    EXPECT_EQ(TemplateParams.Count(), 0);

    TemplateParams.Add(vqString, "stale");
    GallerySettings.TemplateIndex = -1;
    ScanTemplateParams();
    EXPECT_EQ(TemplateParams.Count(), 0);
}

TEST_F(Templates, ParametersButtonCaptionCountsTheParameters)
{
    EXPECT_EQ(TemplateParamsCaption(0), "Parameters of template");
    EXPECT_EQ(TemplateParamsCaption(1), "Parameters of the template (this template contains 1 parameter)");
    EXPECT_EQ(TemplateParamsCaption(2), "Parameters of the template (this template contains 2 parameters)");
    EXPECT_EQ(TemplateParamsCaption(12), "Parameters of the template (this template contains 12 parameters)");
}
