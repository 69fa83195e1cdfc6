// The tests' one way to run a standard program: it finds every program of a shell command, runs
// only listed ones from the package manager's folders, and names the package of what is missing.
#include "tests/support/tools.h"

#include <gtest/gtest-spi.h>

#include <string>
#include <vector>

TEST(TestTools, FindsEveryProgramOfACommand)
{
    struct Case
    {
        std::string Command;
        std::vector<std::string> Programs;
    };
    const Case cases[] = {
        {"djpeg -pnm 'a b.jpg'", {"djpeg"}},
        {"/usr/bin/convert x.png -depth 8 rgb:- 2>/dev/null", {"convert"}},
        {"pngtopnm a.png | pamscale -width 9 | ppmtopgm > out.pgm", {"pngtopnm", "pamscale", "ppmtopgm"}},
        {"tiffinfo f.tif 2>&1 | grep 'Image Width' | cut -c15-17", {"tiffinfo", "grep", "cut"}},
        {"pnmtopng r.ppm > r.png && icotool -c -o c.cur r.png; ls", {"pnmtopng", "icotool", "ls"}},
        {"LC_ALL=C identify -format '%w|%h' \"x;y.png\"", {"identify"}},
        {">log 2>&1 exec ffmpeg -v error -i in.avi", {"ffmpeg"}},
        {"cd /tmp && echo $(sha256sum f) `od -An x`", {"sha256sum", "od"}},
        {"python3 -c 'import sys; print(1 | 2)' arg", {"python3"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kvtest::ProgramsOfCommand(c.Command), c.Programs) << c.Command;
    }
}

// A program missing from the list fails the test that runs it, and is not run; so does a listed
// program anywhere in a pipeline beside an unlisted one.
TEST(TestTools, RefusesAProgramThatIsNotListed)
{
    EXPECT_NONFATAL_FAILURE(
        {
            int exitCode = 0;
            EXPECT_EQ(kvtest::RunTool("touch /tmp/kvtest-must-not-exist", &exitCode), "");
            EXPECT_EQ(exitCode, -1);
        },
        "touch is not listed in tests/environment.txt");
    EXPECT_NONFATAL_FAILURE(kvtest::RunTool("head -c 1 /dev/zero | xxd"), "xxd is not listed");
    EXPECT_FALSE(kvtest::Installed("/opt/not-a-sample"));
    EXPECT_NE(std::string(kvtest::Installed("/opt/not-a-sample").message()).find("not listed"),
              std::string::npos);
}

TEST(TestTools, RunsListedProgramsFromThePackageFolders)
{
    int exitCode = -1;
    EXPECT_EQ(kvtest::RunTool("printf 'a\\nb\\n' | sort -r | head -n 1", &exitCode), "b\n");
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(kvtest::ToolExitCode("cmp /dev/null /etc/passwd >/dev/null"), 1);
    // The search path is the package manager's, whatever the test's own is.
    EXPECT_EQ(kvtest::RunTool("sh -c 'echo $PATH'"), "/usr/sbin:/usr/bin:/sbin:/bin\n");
    EXPECT_EQ(kvtest::ProgramPath("python3"), "/usr/bin/python3");
}

// What is listed but not there names the package to install; a sample below a listed folder
// counts as that folder's.
TEST(TestTools, NamesThePackageOfWhatIsMissing)
{
    const ::testing::AssertionResult missing =
        kvtest::Installed("/usr/share/go-1.19/src/image/testdata/no-such-picture.png");
    EXPECT_FALSE(missing);
    EXPECT_NE(std::string(missing.message()).find("install the Debian package golang-1.19-src"),
              std::string::npos)
        << missing.message();
    EXPECT_TRUE(kvtest::Installed({"djpeg", "/usr/share/go-1.19/src/image/testdata/video-001.png"}));
}
