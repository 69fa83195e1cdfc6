// GIF animations through the multi-image I/O component: loaded and saved again, each shows what it
// showed, frame by frame as ImageMagick composes them, with its frames' disposals and a logical
// screen that holds every frame, as gifsicle lists them.
#include "tests/io/mio_fixture.h"
#include "tests/io/rgba_pictures.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using namespace kviotest;

namespace {

// The logical screen and each frame's disposal ("none" when it has none), as gifsicle lists them.
std::vector<std::string> ScreenAndDisposals(const std::string& file)
{
    std::vector<std::string> found;
    std::istringstream info(RunTool("gifsicle --info " + file));
    for (std::string line; std::getline(info, line);) {
        const size_t disposal = line.find("disposal ");
        if (line.starts_with("  logical screen ")) {
            found.push_back(line.substr(2));
        } else if (line.starts_with("  + image #")) {
            found.emplace_back("none");
        } else if (disposal != std::string::npos && !found.empty()) {
            std::istringstream(line.substr(disposal + 9)) >> found.back();
        }
    }
    return found;
}

// Animations as the web has them. gifsicle -O2 and -O3 draw later frames as transparent deltas
// over what the frames before left, and many encoders give no disposal at all, which viewers take
// as leaving the frame in place; a frame disposed to the previous picture must not take what it
// covered along; a first frame smaller than the screen must not shrink it, and a frame past one
// side of the screen grows that side only.
TEST_F(MioFixture, AnimationsKeepTheirScreenDisposalsAndComposedFrames)
{
    ASSERT_TRUE(kvtest::Installed({"convert", "gifsicle"}));
    const std::string source = temp.File("source.gif"), drawn = temp.File("drawn.gif");
    // A rectangle of a colour at a place of the screen, as a frame of its own.
    const auto frame = [](const char* size, const char* colour, const char* at) {
        return std::string(" \\( -size ") + size + " xc:" + colour + " -repage " + at + " \\)";
    };
    RunTool("/usr/bin/convert +antialias -size 100x80 xc:white -fill red -draw 'rectangle 10,10 40,40' "
            "\\( +clone -fill blue -draw 'circle 50,40 60,50' \\) "
            "\\( +clone -fill green -draw 'rectangle 60,5 90,30' \\) "
            "\\( +clone -fill black -draw 'line 0,0 99,79' \\) -set delay 10 " +
            drawn);
    struct Case
    {
        std::string make;
        // The source's own screen unless given: then the saved file's, and the part of each
        // composed frame that the source's screen shows.
        std::string screen = {};
        std::string sourceScreen = {};
    };
    const Case cases[] = {
        {"gifsicle -O2 " + drawn + " -o "},
        {"gifsicle -O3 " + drawn + " -o "},
        {"gifsicle -O2 " + drawn + " | gifsicle --disposal=none -o "},
        {"/usr/bin/convert -dispose none -size 100x80 xc:white -dispose previous" +
         frame("20x10", "blue", "+10+10") + frame("20x10", "red", "+50+30") + " -dispose none" +
         frame("20x10", "blue", "+70+60") + " "},
        {"/usr/bin/convert -dispose none" + frame("40x30", "red", "120x80+10+10") +
         frame("40x30", "blue", "120x80+70+40") + frame("50x20", "green", "120x80+30+55") + " "},
        {"/usr/bin/convert -dispose none" + frame("50x50", "red", "100x100+0+0") +
             frame("20x20", "blue", "100x100+90+0") + " ",
         "logical screen 110x100", "100x100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.make);
        ASSERT_EQ(kvtest::ToolExitCode(c.make + source), 0);
        view->Clear();
        mio->LoadFromFile(source);
        ASSERT_FALSE(mio->Aborting);
        const std::string saved = temp.File("saved.gif");
        mio->SaveToFile(saved);
        ASSERT_FALSE(mio->Aborting);
        std::vector<std::string> expected = ScreenAndDisposals(source);
        ASSERT_FALSE(expected.empty());
        if (!c.screen.empty()) {
            expected[0] = c.screen;
        }
        EXPECT_EQ(ScreenAndDisposals(saved), expected);
        const RgbaBytes shown = ImageMagickCoalescedRgba(source);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(Differences(shown, ImageMagickCoalescedRgba(saved, c.sourceScreen)), 0);
    }
}

} // namespace
