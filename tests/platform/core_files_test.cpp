// Paths, file operations, sorted folder listings, searches, temporary files and program folders.
#include "platform/core/detail/unnamed_temp_file.h"
#include "platform/core/files.h"
#include "platform/core/tempfiles.h"
#include "tests/support/temp_folder.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Names = std::vector<std::string>;

TEST(Paths, PartsOfAName)
{
    struct Case
    {
        const char* Name;
        const char* Path;
        const char* Dir;
        const char* File;
        const char* Ext;
    };
    const Case cases[] = {
        {"/a/b/c.txt", "/a/b/", "/a/b", "c.txt", ".txt"},
        {"c.tar.gz", "", "", "c.tar.gz", ".gz"},
        {"/a.d/file", "/a.d/", "/a.d", "file", ""},
        {"/top", "/", "/", "top", ""},
        {"dir/", "dir/", "dir", "", ""},
        {"/x/.hidden", "/x/", "/x", ".hidden", ".hidden"},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtractFilePath(c.Name), c.Path) << c.Name;
        EXPECT_EQ(ExtractFileDir(c.Name), c.Dir) << c.Name;
        EXPECT_EQ(ExtractFileName(c.Name), c.File) << c.Name;
        EXPECT_EQ(ExtractFileExt(c.Name), c.Ext) << c.Name;
    }
    EXPECT_EQ(ChangeFileExt("/p/pic.png", ".jpg"), "/p/pic.jpg");
    EXPECT_EQ(ChangeFileExt("/p.d/pic", ".jpg"), "/p.d/pic.jpg");
    EXPECT_EQ(ChangeFileExt("pic.png", ""), "pic");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/a//"), "/a");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
}

TEST(Paths, ExpandFileNameResolvesDotsByName)
{
    EXPECT_EQ(ExpandFileName("/a/b/../c/./d.txt"), "/a/c/d.txt");
    EXPECT_EQ(ExpandFileName("/a/b/"), "/a/b/");
    EXPECT_EQ(ExpandFileName("/../.."), "/");
    EXPECT_EQ(ExpandFileName("/a/b/.."), "/a/");
    EXPECT_EQ(ExpandFileName("x/y"), IncludeTrailingPathDelimiter(GetCurrentDir()) + "x/y");
}

TEST(Files, CreateCopyRenameDelete)
{
    kvtest::TempFolder folder;
    const std::string deep = folder.File("one/two/three/");
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(ForceDirectories(deep)); // existing is fine
    EXPECT_FALSE(ForceDirectories(""));
    EXPECT_FALSE(CreateDir(folder.File("one")));

    const std::string source = folder.Write("a.txt", "content");
    EXPECT_TRUE(FileExists(source));
    EXPECT_FALSE(FileExists(folder.Path())); // a folder is no file
    EXPECT_EQ(FileSize(source), 7);
    EXPECT_GT(FileAge(source), 0);
    EXPECT_EQ(FileAge(folder.File("missing")), -1);

    const std::string copy = folder.File("one/b.txt");
    EXPECT_TRUE(CopyFile(source, copy, true));
    EXPECT_EQ(kvtest::TempFolder::Read(copy), "content");
    EXPECT_EQ(FileAge(copy), FileAge(source));
    folder.Write("a.txt", "changed");
    EXPECT_FALSE(CopyFile(source, copy, true)); // exists
    EXPECT_EQ(kvtest::TempFolder::Read(copy), "content");
    EXPECT_TRUE(CopyFile(source, copy, false));
    EXPECT_EQ(kvtest::TempFolder::Read(copy), "changed");

    EXPECT_FALSE(RenameFile(source, copy)); // never replaces
    EXPECT_EQ(kvtest::TempFolder::Read(copy), "changed");
    EXPECT_TRUE(RenameFile(source, folder.File("c.txt")));
    EXPECT_FALSE(FileExists(source));

    EXPECT_TRUE(DeleteFile(copy));
    EXPECT_FALSE(DeleteFile(copy));
    EXPECT_FALSE(DeleteFile(deep)); // not a file
    EXPECT_TRUE(RemoveDir(deep));
    EXPECT_FALSE(RemoveDir(folder.File("one"))); // not empty
}

TEST(Files, CopyOntoItselfKeepsTheFile)
{
    kvtest::TempFolder folder;
    const std::string name = folder.Write("self.txt", "precious");
    EXPECT_FALSE(CopyFile(name, name, false));
    EXPECT_FALSE(CopyFile(name, folder.Path() + "./self.txt", false));
    EXPECT_EQ(kvtest::TempFolder::Read(name), "precious");
}

TEST(Files, Attributes)
{
    kvtest::TempFolder folder;
    const std::string plain = folder.Write("plain", "x");
    const std::string hidden = folder.Write(".hidden", "x");
    const std::string readOnly = folder.Write("ro", "x");
    ::chmod(readOnly.c_str(), 0444);
    ::symlink(plain.c_str(), folder.File("link").c_str());
    EXPECT_EQ(FileGetAttr(plain), faArchive);
    EXPECT_EQ(FileGetAttr(hidden), faArchive | faHidden);
    EXPECT_EQ(FileGetAttr(readOnly), faArchive | faReadOnly);
    EXPECT_EQ(FileGetAttr(folder.Path()) & faDirectory, faDirectory);
    EXPECT_EQ(FileGetAttr(folder.File("link")), faArchive | faSymLink);
    EXPECT_EQ(FileGetAttr(folder.File("missing")), -1);
}

TEST(Listing, SortedIgnoringCaseThenByBytes)
{
    kvtest::TempFolder folder;
    for (const char* name : {"b.jpg", "A.jpg", "a.jpg", "C.GIF", "_x", "10.png", "9.png", ".dot"}) {
        folder.Write(name, "");
    }
    CreateDir(folder.File("Sub"));
    ::symlink("b.jpg", folder.File("zlink").c_str());
    Names names;
    for (const TDirEntry& entry : ListDirectory(folder.Path())) {
        names.push_back(entry.Name);
    }
    // "_" (0x5F) sorts after the letters folded to upper case (0x41-0x5A).
    EXPECT_EQ(names,
              (Names{".dot", "10.png", "9.png", "A.jpg", "a.jpg", "b.jpg", "C.GIF", "Sub", "zlink", "_x"}));
    const auto entries = ListDirectory(folder.Path());
    EXPECT_TRUE(entries[7].IsDirectory());
    EXPECT_TRUE(entries[8].IsSymLink());
    EXPECT_FALSE(entries[8].IsDirectory());
    EXPECT_TRUE(ListDirectory(folder.File("missing")).empty());
}

TEST(Listing, FindFirstFiltersByMaskAndAttributes)
{
    kvtest::TempFolder folder;
    for (const char* name : {"b.JPG", "a.jpg", "noext", ".hidden.jpg", "c.png"}) {
        folder.Write(name, "12");
    }
    CreateDir(folder.File("dir.jpg"));
    auto search = [&](const std::string& mask, int32_t attr) {
        Names found;
        TSearchRec rec;
        for (int rc = FindFirst(folder.Path() + mask, attr, rec); rc == 0; rc = FindNext(rec)) {
            found.push_back(rec.Name);
        }
        FindClose(rec);
        return found;
    };
    EXPECT_EQ(search("*.*", faAnyFile),
              (Names{".hidden.jpg", "a.jpg", "b.JPG", "c.png", "dir.jpg", "noext"}));
    EXPECT_EQ(search("*.*", 0), (Names{"a.jpg", "b.JPG", "c.png", "noext"}));
    EXPECT_EQ(search("*.jpg", faDirectory), (Names{"a.jpg", "b.JPG", "dir.jpg"}));
    EXPECT_EQ(search("?.png", 0), (Names{"c.png"}));
    EXPECT_EQ(search("*.gif", faAnyFile), Names{});
    TSearchRec rec;
    EXPECT_NE(FindFirst(folder.File("missing/*.*"), faAnyFile, rec), 0);
    ASSERT_EQ(FindFirst(folder.File("a.jpg"), 0, rec), 0);
    EXPECT_EQ(rec.Size, 2);
    EXPECT_EQ(rec.Attr, faArchive);
}

TEST(Listing, MasksMatchLikeFolderSearches)
{
    struct Case
    {
        const char* Name;
        const char* Mask;
        bool Matches;
    };
    const Case cases[] = {
        {"photo.JPG", "*.jpg", true},
        {"photo.jpeg", "*.jpg", false},
        {"noext", "*.*", true},
        {"a.b.c", "*.c", true},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abc", "*", true},
        {"", "*", true},
        {"thumbs.db", "THUMBS.DB", true},
        {"aXbXc", "a*b*c", true},
        {"aXbX", "a*b*c", false},
        {"readme", "read*.*", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesMask(c.Name, c.Mask), c.Matches) << c.Name << " ~ " << c.Mask;
    }
}

TEST(TempFiles, NamesCarryThePrefixAndAreUnique)
{
    kvtest::TempFolder folder;
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string name = GetTempFileName(folder.Path(), "korvane");
        ASSERT_FALSE(name.empty());
        EXPECT_EQ(ExtractFilePath(name), folder.Path());
        EXPECT_EQ(ExtractFileName(name).rfind("korvane", 0), 0u) << name;
        EXPECT_EQ(FileSize(name), 0);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 20u);
    EXPECT_EQ(GetTempFileName(folder.File("missing"), "korvane"), "");
    EXPECT_EQ(GetTempFileName(folder.Path(), "../escape"), "");
}

// The file is private, open for reading and writing, closed on exec and never named in the
// folder, by both ways: the file system's own, and a name removed at once where it has none.
TEST(TempFiles, UnnamedFilesLeaveNothingInTheFolder)
{
    kvtest::TempFolder folder;
    const struct
    {
        const char* Way;
        int (*Open)(const std::string&, const std::string&);
    } ways[] = {
        {"without a name", OpenUnnamedTempFile},
        {"named, then removed", kvcore_detail::OpenNamedThenRemovedTempFile},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.Way);
        const int handle = w.Open(folder.Path(), "korvane");
        ASSERT_GE(handle, 0);
        EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
        EXPECT_EQ(kvtest::UnnamedFilesOpenIn(folder.Path()).size(), 1u);
        struct stat info
        {
        };
        ASSERT_EQ(::fstat(handle, &info), 0);
        EXPECT_EQ(info.st_nlink, 0u);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_NE(::fcntl(handle, F_GETFD) & FD_CLOEXEC, 0);
        EXPECT_EQ(::pwrite(handle, "abc", 3, 0), 3);
        char back[3] = {};
        EXPECT_EQ(::pread(handle, back, 3, 0), 3);
        EXPECT_EQ(std::string(back, 3), "abc");
        ::close(handle);
        EXPECT_TRUE(kvtest::UnnamedFilesOpenIn(folder.Path()).empty());
        EXPECT_EQ(w.Open(folder.File("missing"), "korvane"), -1);
    }
    EXPECT_EQ(kvcore_detail::OpenNamedThenRemovedTempFile(folder.Path(), "../escape"), -1);
}

TEST(TempFiles, TempPathFollowsTmpdir)
{
    {
        kvtest::ScopedEnv tmp("TMPDIR", "/some/where");
        EXPECT_EQ(GetTempPath(), "/some/where/");
    }
    kvtest::ScopedEnv tmp("TMPDIR", std::nullopt);
    EXPECT_EQ(GetTempPath(), "/tmp/");
}

TEST(ProgramFolders, OverridesFromTheEnvironment)
{
    {
        kvtest::ScopedEnv home("PLIMBET_HOME", "/opt/plimbet");
        EXPECT_EQ(ProgramFolder(), "/opt/plimbet/");
    }
    {
        kvtest::ScopedEnv home("PLIMBET_HOME", std::nullopt);
        EXPECT_EQ(ProgramFolder(), ExtractFilePath(ProgramFileName()));
        EXPECT_EQ(ExtractFileName(ProgramFileName()), "platform_tests");
    }
    kvtest::ScopedEnv home("HOME", "/home/tester");
    {
        kvtest::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(HomeFolder(), "/home/tester/");
        EXPECT_EQ(ConfigFolder(), "/home/tester/.config/");
    }
    kvtest::ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(ConfigFolder(), "/cfg/");
    {
        kvtest::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
        EXPECT_EQ(DataHomeFolder(), "/home/tester/.local/share/");
    }
    // A relative value is ignored, as the base directory rules say.
    kvtest::ScopedEnv relative("XDG_DATA_HOME", "data");
    EXPECT_EQ(DataHomeFolder(), "/home/tester/.local/share/");
    kvtest::ScopedEnv data("XDG_DATA_HOME", "/data");
    EXPECT_EQ(DataHomeFolder(), "/data/");
}

TEST(ProgramFolders, AnInstalledProgramFindsItsFilesUnderShare)
{
    kvtest::TempFolder temp;
    ASSERT_TRUE(ForceDirectories(temp.File("usr/bin/")));
    ASSERT_TRUE(ForceDirectories(temp.File("build/app/")));
    // A build tree keeps them beside the executable; an installed program in ../share/plimbet/.
    EXPECT_EQ(ProgramFolderOf(temp.File("build/app/plimbet")), temp.File("build/app/"));
    EXPECT_EQ(ProgramFolderOf(temp.File("usr/bin/plimbet")), temp.File("usr/bin/"));
    ASSERT_TRUE(ForceDirectories(temp.File("usr/share/plimbet/")));
    EXPECT_EQ(ProgramFolderOf(temp.File("usr/bin/plimbet")), temp.File("usr/share/plimbet/"));
}

} // namespace
