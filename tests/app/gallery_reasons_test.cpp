// The gallery's errors on a disk that fills up name the system's reason on every line: the
// pictures, the filler, the thumbnails and the pages.
#include "tests/app/gallery_run_fixture.h"
#include "tests/app/gallery_run_test_support.h"
#include "tests/support/disk_filler.h"
#include "tests/support/small_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace gallerytest;

TEST_F(Gallery, ErrorsOfAFullDiskNameTheReason)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a disk of the test's own takes root";
    }
    ASSERT_TRUE(ForceDirectories(FGallery));
    const std::string full = " (No space left on device)";
    const struct
    {
        const char* Case;
        // The stage whose label showing fills the disk.
        TLabel* TStatus::*Stage;
        std::vector<std::string> Lines; // beginnings of lines that must be there
    } cases[] = {
        {"full while the pictures are written",
         &TStatus::State2_LBL,
         {"flag.gif: cannot be written", "spacer.gif"}},
        {"full while the thumbnails and pages are written",
         &TStatus::State4_LBL,
         {"Can't save the thumbnail: ", "Can't write the file: " + FGallery + "index.html"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        kvtest::TSmallDisk disk(FGallery, 4 << 20);
        ASSERT_TRUE(disk.Mounted) << disk.Why;
        const TShownRun shown = Run([&](TStatus& Window) {
            // Once the run has emptied the folder and made its picture folder.
            return (Window.*c.Stage)->Visible() && !RandomFolder(FGallery, 8).empty() &&
                   kvtest::FillDisk(FGallery + "filler");
        });
        ASSERT_EQ(shown.Errors.size(), 1u);
        std::istringstream lines(shown.Errors[0]);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "The errors have been found while creating the gallery\r");
        std::vector<std::string> found;
        while (std::getline(lines, line)) {
            EXPECT_EQ(line.substr(line.size() - full.size() - 1), full + "\r") << line;
            found.push_back(line);
        }
        for (const std::string& start : c.Lines) {
            EXPECT_TRUE(
                std::any_of(found.begin(), found.end(),
                            [&](const std::string& Line) { return Line.find(start) != std::string::npos; }))
                << start << " in\n"
                << shown.Errors[0];
        }
    }
}
