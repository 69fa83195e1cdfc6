// Template import: every referenced file copied once, every reference rewritten, the rest of the
// page byte for byte; random names; and the failures the user is told about.
#include "app/template_import.h"

#include "platform/core/files.h"
#include "platform/forms/scripted_dialogs.h"
#include "tests/support/disk_filler.h"
#include "tests/support/small_disk.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

bool IsRandomName(const std::string& Name)
{
    for (char c : Name) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// Replaces every Folder + "/" + eight hexadecimal digits + "." + three letters of Text by
// "{n}" (n counting from 0) and collects the names.
std::string TakeCopyNames(const std::string& Text, const std::string& Folder, std::vector<std::string>& Names)
{
    const std::string prefix = Folder + "/";
    std::string rest;
    size_t at = 0;
    for (size_t found = Text.find(prefix); found != std::string::npos; found = Text.find(prefix, at)) {
        const std::string name = Text.substr(found + prefix.size(), 12);
        if (name.size() < 12 || !IsRandomName(name.substr(0, 8)) || name[8] != '.') {
            rest += Text.substr(at, found + prefix.size() - at);
            at = found + prefix.size();
            continue;
        }
        rest += Text.substr(at, found - at) + "{" + std::to_string(Names.size()) + "}";
        Names.push_back(name);
        at = found + prefix.size() + 12;
    }
    return rest + Text.substr(at);
}

// A page with references of every form, and the files it refers to.
class TemplateImport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ForceDirectories(FTemp.File("src/images/")));
        ASSERT_TRUE(ForceDirectories(FTemp.File("src/img/")));
        ASSERT_TRUE(ForceDirectories(FTemp.File("abs/")));
        ASSERT_TRUE(ForceDirectories(FTemp.File("dest/")));
        for (const char* name : {"src/style.css", "src/images/logo.gif", "src/img/tile.jpg", "src/bg.PNG",
                                 "src/anim.swf", "src/a.jpg", "src/b.jpg", "abs/pic.gif"}) {
            FTemp.Write(name, std::string("content of ") + name);
        }
    }

    // The page with {name} where each reference stands, and the page to import.
    std::string Page(const std::map<std::string, std::string>& References) const
    {
        std::string page = FPage;
        for (const auto& [placeholder, reference] : References) {
            for (size_t at = page.find(placeholder); at != std::string::npos; at = page.find(placeholder)) {
                page.replace(at, placeholder.size(), reference);
            }
        }
        return page;
    }

    std::map<std::string, std::string> OriginalReferences() const
    {
        return {{"{css}", "style.css"},
                {"{tile}", "img/tile.jpg"},
                {"{bg}", "bg.PNG"},
                {"{logo}", "images/logo.gif"},
                {"{LOGO}", "Images/LOGO.GIF"},
                {"{swf}", "anim.swf"},
                {"{a}", "a.jpg"},
                {"{b}", "b.jpg"},
                {"{missing}", "missing.gif"},
                {"{abs}", FTemp.File("abs/pic.gif")}};
    }

    kvtest::TempFolder FTemp;
    const std::string FPage = "<html><head><link rel=\"stylesheet\" href=\"{css}\">\r\n"
                              "<style>body { background: url({tile}) }</style></head>\n"
                              "<body background=\"{bg}\">\n"
                              "<img src='{logo}'><img src={logo} alt=\"x\">\n"
                              "<IMG SRC=\"{LOGO}\"> <img src=\"{logo}\">\n"
                              "<embed src=\"{swf}\"><img srcset=\"{a} 1x,{b} 2x\">\n"
                              "<img src=\"http://example.com/x.jpg\"><img src=\"//cdn.example.com/y.png\">\n"
                              "<a href=\"mailto:me@example.css\">m</a><img src=\"data:a/b.gif\">\n"
                              "<img src=\"data:image/png;base64,iVBORw0KGgo/AAAA.png\">"
                              "<img src=data:image/gif;base64,R0lGOD=.gif>\n"
                              "<div style=\"background:url(data:text/plain,see%20a.gif)\"></div>"
                              "<a href=\"https://example.com/a,b.png\">l</a>\n"
                              "<img src=\"{missing}\"><img src=\"{abs}\">\n"
                              "<p>no.reference and a.jp</p></body></html>\n"
                              "logo.gif";
};

} // namespace

TEST_F(TemplateImport, CopiesEachFileOnceAndRewritesEveryReference)
{
    TScriptedDialogService dialogs;
    const std::string source = FTemp.Write("src/page.html", Page(OriginalReferences()));

    ASSERT_TRUE(ImportHtmlTemplate(source, FTemp.File("dest/"), "imp", true, ""));
    EXPECT_TRUE(dialogs.Calls().empty());

    // Each rewritten reference is the folder name and eight hexadecimal digits with the
    // reference's own extension.
    const std::string written = kvtest::TempFolder::Read(FTemp.File("dest/template.html"));
    std::vector<std::string> names;
    const std::string rest = TakeCopyNames(written, "imp", names);

    // In page order: css, tile, bg, logo x4, swf, a, b, missing, abs.
    ASSERT_EQ(names.size(), 12u);
    const std::map<std::string, std::string> expected = {
        {"{css}", "{0}"}, {"{tile}", "{1}"}, {"{bg}", "{2}"},       {"{swf}", "{7}"},
        {"{a}", "{8}"},   {"{b}", "{9}"},    {"{missing}", "{10}"}, {"{abs}", "{11}"}};
    std::string expectedRest = Page(expected);
    // The four references to one file name the same copy.
    const std::string logoSlots[] = {"{3}", "{4}", "{5}", "{6}"};
    for (const std::string& slot : logoSlots) {
        expectedRest.replace(expectedRest.find(slot == "{5}" ? "{LOGO}" : "{logo}"), 6, slot);
    }
    EXPECT_EQ(rest, expectedRest);
    EXPECT_EQ(names[3], names[4]);
    EXPECT_EQ(names[3], names[5]);
    EXPECT_EQ(names[3], names[6]);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 9u);

    // Every file that exists was copied once under its new name; the missing one was not.
    const std::map<size_t, std::string> sources = {
        {0, "src/style.css"}, {1, "src/img/tile.jpg"}, {2, "src/bg.PNG"}, {3, "src/images/logo.gif"},
        {7, "src/anim.swf"},  {8, "src/a.jpg"},        {9, "src/b.jpg"},  {11, "abs/pic.gif"}};
    for (const auto& [index, name] : sources) {
        EXPECT_EQ(kvtest::TempFolder::Read(FTemp.File("dest/imp/" + names[index])), "content of " + name);
    }
    EXPECT_EQ(ListDirectory(FTemp.File("dest/imp/")).size(), sources.size());
    EXPECT_FALSE(FileExists(FTemp.File("dest/imp/" + names[10])));
}

TEST_F(TemplateImport, WritesUnderTheGivenNameOrNotAtAll)
{
    TScriptedDialogService dialogs;
    const std::string source = FTemp.Write("src/page.html", "<img src=\"a.jpg\">");

    ASSERT_TRUE(ImportHtmlTemplate(source, FTemp.File("dest"), "files", true, "index.htm"));
    std::vector<std::string> names;
    EXPECT_EQ(TakeCopyNames(kvtest::TempFolder::Read(FTemp.File("dest/index.htm")), "files", names),
              "<img src=\"{0}\">");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].substr(8), ".jpg");
    EXPECT_FALSE(FileExists(FTemp.File("dest/template.html")));

    ASSERT_TRUE(ImportHtmlTemplate(source, FTemp.File("dest/"), "nowrite", false, ""));
    EXPECT_FALSE(FileExists(FTemp.File("dest/template.html")));
    EXPECT_EQ(ListDirectory(FTemp.File("dest/nowrite/")).size(), 1u);
    EXPECT_TRUE(dialogs.Calls().empty());
}

TEST_F(TemplateImport, FailuresAreReportedAndStopTheImport)
{
    TScriptedDialogService dialogs;
    EXPECT_FALSE(ImportHtmlTemplate(FTemp.File("src/none.html"), FTemp.File("dest/"), "imp", true, ""));
    EXPECT_FALSE(DirectoryExists(FTemp.File("dest/imp/")));

    const std::string source = FTemp.Write("src/page.html", "<img src=\"a.jpg\">");
    EXPECT_FALSE(ImportHtmlTemplate(source, FTemp.File("dest/"), "imp", true, "no/such/folder.html"));
    EXPECT_TRUE(DirectoryExists(FTemp.File("dest/imp/")));
    EXPECT_TRUE(ListDirectory(FTemp.File("dest/imp/")).empty());
    // A folder for the page's files that cannot be made: no copy could land.
    FTemp.Write("dest/taken", "a file");
    EXPECT_FALSE(ImportHtmlTemplate(source, FTemp.File("dest/"), "taken", true, ""));

    const std::vector<TDialogCall> calls = dialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Text,
              "Can't open the template file: " + FTemp.File("src/none.html") + "\nNo such file or directory");
    EXPECT_EQ(calls[1].Text, "Can't create the file of the template: " +
                                 FTemp.File("dest/no/such/folder.html") + "\nNo such file or directory");
    EXPECT_EQ(calls[2].Text, "Can't create the folder: " + FTemp.File("dest/taken/") + "\nFile exists");
    for (const TDialogCall& call : calls) {
        EXPECT_EQ(call.Caption, "Plimbet v1.0");
        EXPECT_EQ(call.Flags, 16u);
    }
}

// A page that does not fit on the disk leaves the earlier page of its name as it was.
TEST_F(TemplateImport, AFullDiskKeepsTheEarlierPage)
{
    TScriptedDialogService dialogs;
    const std::string source =
        FTemp.Write("src/page.html", "<img src=\"a.jpg\">" + std::string(200 << 10, 'x'));
    const std::string earlier(100 << 10, 'e');
    const auto onDisk = [&] {
        const std::string page = FTemp.Write("dest/template.html", earlier);
        ASSERT_TRUE(ForceDirectories(FTemp.File("dest/imp/")));
        ASSERT_TRUE(kvtest::FillDisk(FTemp.File("dest/filler")));
        EXPECT_FALSE(ImportHtmlTemplate(source, FTemp.File("dest/"), "imp", true, ""));
        const std::string kept = kvtest::TempFolder::Read(page);
        EXPECT_TRUE(kept == earlier) << "the page is now " << kept.size() << " bytes";
        const std::vector<TDialogCall> calls = dialogs.CallsOf(dkMessageBox);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].Text, "Can't create the file of the template: " +
                                     FTemp.File("dest/template.html") + "\nNo space left on device");
    };
    std::string why;
    EXPECT_TRUE(kvtest::RunOnSmallDisk(FTemp.File("dest/"), 8 << 20, onDisk, why)) << why;
}

TEST(RandomNames, AreLowerCaseHexOfTheLengthAndNameNothingThatExists)
{
    for (int32_t length : {0, 1, 7, 8, 9, 12, 16, 20}) {
        const std::string name = RandomName(length);
        EXPECT_EQ(name.size(), static_cast<size_t>(length));
        EXPECT_TRUE(IsRandomName(name)) << name;
    }
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        seen.insert(RandomName(8));
    }
    EXPECT_GT(seen.size(), 190u);

    // With every one-digit name but one taken, that one is the answer.
    kvtest::TempFolder temp;
    for (const char* digit : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c", "d", "e"}) {
        temp.Write(std::string(digit) + ".gif", "taken");
    }
    EXPECT_EQ(RandomFileName(temp.Path(), ".gif", 1), "f.gif");
    EXPECT_EQ(RandomFileName(ExcludeTrailingPathDelimiter(temp.Path()), ".gif", 1), "f.gif");

    std::vector<TempFileStr> files = {{"/a/Logo.gif", "x.gif"}, {"/a/logo.GIF", "y.gif"}};
    EXPECT_EQ(FindTempFile(files, "/A/LOGO.GIF"), &files[0]);
    EXPECT_EQ(FindTempFile(files, "/a/logo.gi"), nullptr);
}
