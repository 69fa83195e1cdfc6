// The about window: its logo, name, version and web link; and the JPEG files read into a
// picture for it, and files that cannot be read.
#include "app/about_window.h"

#include "app/jpeg_picture.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "platform/core/files.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "tests/app/window_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string GoImages = "/usr/share/go-1.19/src/image/testdata/";

// The colours of a binary PPM (P6, maximum 255) as TColor values, row by row from the top.
std::vector<TColor> ReadPpm(const std::string& FileName, int32_t& Width, int32_t& Height)
{
    std::istringstream ppm(kvtest::TempFolder::Read(FileName));
    std::string magic;
    int32_t maximum = 0;
    ppm >> magic >> Width >> Height >> maximum;
    ppm.get();
    std::vector<TColor> colours;
    if (magic != "P6" || maximum != 255) {
        return colours;
    }
    for (int64_t i = 0; i < int64_t(Width) * Height; ++i) {
        const int r = ppm.get();
        const int g = ppm.get();
        const int b = ppm.get();
        colours.push_back(RGBToColor(uint8_t(r), uint8_t(g), uint8_t(b)));
    }
    return colours;
}

} // namespace

TEST(JpegPicture, ReadsTheSamePixelsAsTheStandardDecoder)
{
    kvtest::TempFolder temp;
    for (const char* name : {"video-001.jpeg", "video-001.progressive.jpeg", "video-001.q50.420.jpeg"}) {
        const std::string reference = temp.File("reference.ppm");
        const std::string command = "djpeg -ppm -outfile '" + reference + "' '" + GoImages + name + "'";
        ASSERT_EQ(kvtest::ToolExitCode(command), 0) << command;
        int32_t width = 0;
        int32_t height = 0;
        const std::vector<TColor> expected = ReadPpm(reference, width, height);
        ASSERT_FALSE(expected.empty());

        TPicture picture;
        ASSERT_TRUE(LoadJpegPicture(GoImages + name, picture)) << name;
        ASSERT_EQ(picture.Width(), width);
        ASSERT_EQ(picture.Height(), height);
        TCanvas* canvas = picture.Bitmap()->Canvas();
        int32_t different = 0;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                different += canvas->Pixels(x, y) != expected[size_t(y) * width + x] ? 1 : 0;
            }
        }
        EXPECT_EQ(different, 0) << name;
    }
}

TEST(JpegPicture, AFileThatCannotBeReadLeavesThePictureEmpty)
{
    kvtest::TempFolder temp;
    const std::string cut =
        temp.Write("cut.jpg", kvtest::TempFolder::Read(GoImages + "video-001.jpeg").substr(0, 300));
    const std::string png = GoImages + "video-001.png";
    for (const std::string& name :
         {temp.File("missing.jpg"), temp.Write("text.jpg", "no picture"), cut, png, temp.Path()}) {
        TPicture picture;
        ASSERT_TRUE(LoadJpegPicture(GoImages + "video-001.jpeg", picture));
        EXPECT_FALSE(LoadJpegPicture(name, picture)) << name;
        EXPECT_EQ(picture.Width(), 0) << name;
        EXPECT_EQ(picture.Graphic(), nullptr) << name;
    }
}

namespace {

// A program folder with the logo as the build installs it, or without it.
class AboutWindow : public ::testing::Test
{
protected:
    TAbout& Show(bool WithLogo)
    {
        GallerySettings.ProgramFolder = FTemp.Path();
        if (WithLogo) {
            EXPECT_TRUE(ForceDirectories(FTemp.File("data/")));
            EXPECT_TRUE(CopyFile(std::string(KV_SOURCE_DIR) + "/data/logo.jpg", LogoFile(), false));
        }
        FWindow = new TAbout(Application);
        FWindow->AfterConstruction();
        FWindow->Show();
        Simulate::ProcessEvents();
        return *FWindow;
    }

    void TearDown() override
    {
        if (FWindow != nullptr) {
            FWindow->Hide();
            FWindow->Free();
        }
        GallerySettings = TGallerySettings();
    }

    kvtest::TempFolder FTemp;
    kvtest::ScopedEnv FRegistry{"KORVANE_REGISTRY_FILE", FTemp.File("Plimbet.conf")};
    kvtest::ScopedEnv FHome{"PLIMBET_HOME", FTemp.Path()};
    TScriptedDialogService FDialogs;
    TAbout* FWindow = nullptr;
};

} // namespace

TEST_F(AboutWindow, ShowsTheLogoNameAndVersion)
{
    const std::string reference = FTemp.File("logo.ppm");
    const std::string command =
        "djpeg -ppm -outfile '" + reference + "' '" + std::string(KV_SOURCE_DIR) + "/data/logo.jpg'";
    ASSERT_EQ(kvtest::ToolExitCode(command), 0) << command;
    int32_t width = 0;
    int32_t height = 0;
    const std::vector<TColor> expected = ReadPpm(reference, width, height);
    ASSERT_EQ(width, 165);
    ASSERT_EQ(height, 180);

    TAbout& w = Show(true);
    EXPECT_EQ(w.Caption(), "About");
    EXPECT_EQ(w.Width(), 390);
    EXPECT_EQ(w.Height(), 192);
    EXPECT_EQ(w.Label1->Caption(), "Plimbet");
    EXPECT_TRUE(w.Label1->Font()->Style().Contains(fsBold));
    EXPECT_EQ(w.Label1->Font()->Height(), -21);
    EXPECT_EQ(w.Label2->Caption(), "Version 1.0");
    EXPECT_EQ(w.Logo_IMG->Width(), 165);
    EXPECT_EQ(w.Logo_IMG->Height(), 180);

    // What the picture shows on screen is the decoded logo, pixel for pixel.
    TCanvas* screen = w.Logo_IMG->FrontImage()->Canvas();
    int32_t different = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            different += screen->Pixels(x, y) != expected[size_t(y) * width + x] ? 1 : 0;
        }
    }
    EXPECT_EQ(different, 0);
}

TEST_F(AboutWindow, ShowsWithoutTheLogoWhenItsFileIsMissing)
{
    TAbout& w = Show(false);
    EXPECT_TRUE(w.Visible());
    EXPECT_EQ(w.Logo_IMG->Picture()->Graphic(), nullptr);
    EXPECT_EQ(w.Label1->Caption(), "Plimbet");
}

TEST_F(AboutWindow, TheLinkOpensTheWebPage)
{
    TAbout& w = Show(true);
    EXPECT_EQ(w.Label5->Caption(), ProductWebPage);
    EXPECT_EQ(w.Label5->Font()->Color(), clBlue);
    EXPECT_TRUE(w.Label5->Font()->Style().Contains(fsUnderline));
    EXPECT_EQ(w.Label5->Cursor(), crHandPoint);
    Simulate::Click(w.Label5);
    const std::vector<TDialogCall> opened = FDialogs.CallsOf(dkShellOpen);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].Text, ProductWebPage);
}

TEST_F(AboutWindow, TheMainMenuShowsIt)
{
    TAbout& w = Show(true);
    w.Hide();
    auto* main = new TMain(Application);
    main->AfterConstruction();
    main->Show();
    Simulate::ProcessEvents();
    apptest::WhenModal about(&w, [&] {
        EXPECT_NE(w.Logo_IMG->Picture()->Graphic(), nullptr);
        Simulate::CloseWindow(&w);
    });
    main->About_MNU->Click();
    EXPECT_TRUE(about.Ran());
    main->Free();
}
