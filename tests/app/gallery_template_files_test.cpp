// The template's own files in a run: each one the gallery goes without is an error line with its
// reason, the run ends with errors, and the gallery is made from what was found.
#include "tests/app/gallery_run_fixture.h"
#include "tests/support/small_disk.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace gallerytest;

TEST_F(Gallery, EachTemplateFileTheGalleryGoesWithoutIsAnErrorLine)
{
    const std::string grid = FTemp.File("program/templates/grid/grid_images/");
    const std::string css = FTemp.File("program/templates/classic/classic_images/classic.css");
    const std::string site = FTemp.File("site/");
    FTemp.Write("program/templates/grid/grid_images/backdrop.png", std::string(2 << 20, 'b'));
    ASSERT_TRUE(ForceDirectories(site) && ForceDirectories(FGallery));
    GallerySettings.TemplateFile =
        FTemp.Write("site/page.html",
                    "<link href=\"gone.css\"><img src=\"img/missing.png\"><img src=\"caf\xe9.gif\"><thumbs>");
    const std::string copy = "Can't copy the file: ";
    const std::string gone = " (No such file or directory)";
    // Each case runs from a template (none: the page above) with a file removed or a full disk.
    const struct
    {
        const char* Case;
        const char* Template;
        std::string Removed;
        bool FullDisk;
        std::vector<std::string> Lines;
    } cases[] = {
        {"disk full", "grid", "", true, {copy + grid + "backdrop.png (No space left on device)"}},
        {"images folder gone", "grid", grid, false, {"Can't read the folder: " + grid + gone}},
        {"style sheet gone", "classic", css, false, {copy + css + gone}},
        {"page's files missing",
         "",
         "",
         false,
         {copy + site + "gone.css" + gone, copy + site + "img/missing.png" + gone,
          copy + site + "caf\\xe9.gif" + gone}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        GallerySettings.TemplateIndex = 0;
        if (*c.Template != '\0') {
            ChooseTemplate(c.Template);
        }
        std::optional<kvtest::TSmallDisk> disk;
        if (c.FullDisk) {
            disk.emplace(FGallery, 1 << 20);
        }
        if (!c.Removed.empty()) {
            std::filesystem::remove_all(c.Removed);
        }
        const TShownRun shown = Run();
        const std::string errors = shown.Errors.empty() ? "" : shown.Errors[0];
        for (const std::string& line : c.Lines) {
            EXPECT_NE(errors.find("\n" + line + "\r\n"), std::string::npos) << line << " in:\n" << errors;
        }
        EXPECT_FALSE(shown.Success);
        EXPECT_TRUE(FileExists(FGallery + "index.html"));
    }
}
