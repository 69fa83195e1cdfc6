// Settings in the registry: defaults, round trips, values of the wrong type and damaged stores.
#include "app/settings.h"

#include "app/template_params.h"
#include "app/templates.h"
#include "platform/core/files.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

class Settings : public ::testing::Test
{
protected:
    kvtest::TempFolder FFolder;
    std::string FStore = FFolder.File("Plimbet.conf");
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FStore};
};

} // namespace

TEST_F(Settings, CleanStoreGivesDefaultsAndIsNotCreatedByReading)
{
    GallerySettings.TemplateFile = "left over";
    GallerySettings.TemplateIndex = 2;
    GallerySettings.ImageSizeIndex = 3;
    GallerySettings.ViewerPage = "view.php";
    InstalledTemplates.push_back(TemplateStr{"Blue", "blue", true, "img", ""});
    TemplateParams.Add(vqString, "title");

    LoadSettings();

    const TGallerySettings& s = GallerySettings;
    EXPECT_EQ(s.IconWidth, 150);
    EXPECT_EQ(s.IconHeight, 150);
    EXPECT_EQ(s.ImageWidth, 0);
    EXPECT_EQ(s.ImageHeight, 0);
    EXPECT_EQ(s.IconQuality, 80);
    EXPECT_EQ(s.ImageQuality, 80);
    EXPECT_EQ(s.TableCols, 3);
    EXPECT_EQ(s.TableRows, 3);
    EXPECT_EQ(s.TableBorder, 1);
    EXPECT_EQ(s.TableCellspace, 0);
    EXPECT_EQ(s.TableCellpad, 0);
    EXPECT_EQ(s.TableAlign, "");
    EXPECT_EQ(s.TableVAlign, "");
    EXPECT_EQ(s.TableBGColor, "");
    EXPECT_EQ(s.ImagesPath, "");
    EXPECT_EQ(s.GalleryPath, "");
    EXPECT_EQ(s.TemplateFile, "");
    EXPECT_EQ(s.ViewerPage, "");
    EXPECT_EQ(s.TemplateIndex, -1);
    EXPECT_EQ(s.ImageSizeIndex, -1);
    EXPECT_EQ(s.BoxWidth, 0);
    EXPECT_TRUE(InstalledTemplates.empty());
    EXPECT_EQ(TemplateParams.Count(), 0);
    EXPECT_FALSE(FileExists(FStore));
}

TEST_F(Settings, ValuesRoundTripAndTheKeyIsMadeByTheFirstWrite)
{
    EXPECT_EQ(RegReadString(OptionsSection, "ImagesPath", "none"), "none");
    EXPECT_EQ(RegReadInteger(OptionsSection, "IconWidth", 150), 150);
    EXPECT_FALSE(FileExists(FStore));

    RegWriteString(OptionsSection, "ImagesPath", "/pics/holiday 2003/");
    RegWriteInteger(OptionsSection, "IconWidth", -7);
    RegWriteString(OptionsSection, "Empty", "");
    EXPECT_TRUE(FileExists(FStore));
    EXPECT_EQ(RegReadString(OptionsSection, "imagespath", "none"), "/pics/holiday 2003/");
    EXPECT_EQ(RegReadInteger(OptionsSection, "IconWidth", 150), -7);
    EXPECT_EQ(RegReadString(OptionsSection, "Empty", "none"), "");
    // Another section is another key.
    EXPECT_EQ(RegReadString("Other", "ImagesPath", "none"), "none");

    // A value of the wrong type reads as the default, both ways round.
    RegWriteString(OptionsSection, "IconHeight", "200");
    RegWriteInteger(OptionsSection, "GalleryPath", 5);
    EXPECT_EQ(RegReadInteger(OptionsSection, "IconHeight", 150), 150);
    EXPECT_EQ(RegReadString(OptionsSection, "GalleryPath", ""), "");
}

TEST_F(Settings, LoadSettingsReadsStoredValuesAndKeepsTablesInRange)
{
    const struct
    {
        const char* Name;
        int32_t Value;
    } integers[] = {{"IconWidth", 5000}, {"IconHeight", 60},    {"ImageWidth", 640},  {"ImageHeight", 480},
                    {"IconQuality", 3},  {"ImageQuality", 95},  {"TableCols", -4},    {"TableRows", 400},
                    {"TableBorder", -1}, {"TableCellspace", 7}, {"TableCellpad", 21}, {"Threads", -3}};
    for (const auto& value : integers) {
        RegWriteInteger(OptionsSection, value.Name, value.Value);
    }
    RegWriteString(OptionsSection, "ImagesPath", "/pics/");
    RegWriteString(OptionsSection, "GalleryPath", "/web/");
    RegWriteString(OptionsSection, "TableAlign", "Center");
    RegWriteString(OptionsSection, "TableVAlign", "Top");
    RegWriteString(OptionsSection, "TableBGColor", "#FF8000");

    LoadSettings();

    const TGallerySettings& s = GallerySettings;
    // The main window's controls clamp these; the settings hold what was stored.
    EXPECT_EQ(s.IconWidth, 5000);
    EXPECT_EQ(s.IconHeight, 60);
    EXPECT_EQ(s.ImageWidth, 640);
    EXPECT_EQ(s.ImageHeight, 480);
    EXPECT_EQ(s.IconQuality, 3);
    EXPECT_EQ(s.ImageQuality, 95);
    EXPECT_EQ(s.TableCols, 2);
    EXPECT_EQ(s.TableRows, 20);
    EXPECT_EQ(s.TableBorder, 0);
    EXPECT_EQ(s.TableCellspace, 7);
    EXPECT_EQ(s.TableCellpad, 20);
    // A negative number of workers means as many as there are cores.
    EXPECT_EQ(s.Threads, 0);
    EXPECT_EQ(s.ImagesPath, "/pics/");
    EXPECT_EQ(s.GalleryPath, "/web/");
    EXPECT_EQ(s.TableAlign, "Center");
    EXPECT_EQ(s.TableVAlign, "Top");
    EXPECT_EQ(s.TableBGColor, "#FF8000");
    // Nothing is written back by loading.
    EXPECT_EQ(RegReadInteger(OptionsSection, "TableCols", 0), -4);
}

TEST_F(Settings, AStoreThatCannotBeWrittenLosesTheValueSilently)
{
    kvtest::ScopedEnv unwritable("KORVANE_REGISTRY_FILE", FFolder.File("missing/folder/") + "Plimbet.conf");
    const std::string blocker = FFolder.Write("missing", "a file where the folder should be");
    EXPECT_NO_THROW(RegWriteString(OptionsSection, "ImagesPath", "/pics/"));
    EXPECT_NO_THROW(RegWriteInteger(OptionsSection, "IconWidth", 99));
    EXPECT_EQ(RegReadString(OptionsSection, "ImagesPath", "default"), "default");
    EXPECT_EQ(RegReadInteger(OptionsSection, "IconWidth", 150), 150);
}
