// Files that pages, pictures and streams are saved over: what the user has around them (other
// names, links, owner, group, mode, ACL and extended attributes, a folder that takes no new file)
// stays as it was; a save that fails leaves the old content whole; and a replaced file is on the
// disk before its name is.
#include "tests/io/io_test_support.h"
#include "tests/io/saved_files_support.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <ucontext.h>
#include <unistd.h>
#include <vector>

using namespace kviotest;

namespace {

// A file, or a link, named "page" in a folder with whatever the case puts around it.
struct TSavedFileCase
{
    const char* Case;
    // Whether the save runs as nobody when the tests run as root.
    bool AsNobody;
    // Whether the file is written in place rather than replaced.
    bool InPlace;
    std::function<void(kvtest::TempFolder& folder)> Make;
    // An extended attribute the case gives the file.
    const char* Attribute = nullptr;
};

// Saves each front end's file over the case's "page": first a save that fails, which must leave
// everything as it was, then one that succeeds, which must change the content alone.
void CheckSaves(const std::vector<TSavedFileCase>& cases)
{
    for (const TFrontEnd& frontEnd : FrontEnds()) {
        const std::string content = ContentOf(frontEnd);
        for (const TSavedFileCase& c : cases) {
            SCOPED_TRACE(std::string(frontEnd.Name) + ", " + c.Case);
            kvtest::TempFolder folder;
            // Nobody passes through it to the file.
            ::chmod(folder.Path().c_str(), 0755);
            c.Make(folder);
            const std::string page = folder.File("page");
            const auto save = [&](bool complete) {
                const auto body = [&] { return frontEnd.Save(page, complete); };
                return c.AsNobody ? ExitCodeAsNobody(body) : body();
            };
            const TFileState before = StateOf(folder.Path(), page);
            if (c.Attribute != nullptr) {
                ASSERT_EQ(before.Attributes.count(c.Attribute), 1u) << "the case gave no " << c.Attribute;
            }

            EXPECT_EQ(save(false), 1);
            const TFileState failed = StateOf(folder.Path(), page);
            EXPECT_EQ(failed.Exists, before.Exists);
            EXPECT_TRUE(failed.Content == before.Content) << "the content changed";
            EXPECT_EQ(failed.Names, before.Names);
            EXPECT_EQ(failed.Hidden, std::vector<std::string>());
            EXPECT_EQ(failed.Attributes, before.Attributes);

            EXPECT_EQ(save(true), 0);
            const TFileState saved = StateOf(folder.Path(), page);
            EXPECT_EQ(saved.IsLink, before.IsLink);
            EXPECT_TRUE(saved.Content == content) << "the content was not saved";
            for (const std::string& name : before.Names) {
                EXPECT_TRUE(kvtest::TempFolder::Read(name) == content) << name << " was not saved";
            }
            if (before.Exists) {
                EXPECT_EQ(saved.Info.st_ino == before.Info.st_ino, c.InPlace);
                EXPECT_EQ(saved.Info.st_uid, before.Info.st_uid);
                EXPECT_EQ(saved.Info.st_gid, before.Info.st_gid);
                EXPECT_EQ(saved.Info.st_mode, before.Info.st_mode);
                EXPECT_EQ(saved.Info.st_nlink, before.Info.st_nlink);
                EXPECT_EQ(saved.Attributes, before.Attributes);
            }
            EXPECT_EQ(saved.Hidden, std::vector<std::string>());
            ::chmod(folder.Path().c_str(), 0755);
        }
    }
}

} // namespace

// A file is replaced by a rename wherever that keeps it the user's file as it was, and written in
// place where the folder takes no new file or the file has a second name; a link to a file that
// does not exist yet stays a link, and the file it names is made.
TEST(SavedFiles, KeepTheirNamesLinksAndFolders)
{
    CheckSaves({
        {"a plain file", false, false, [](kvtest::TempFolder& folder) { MakePage(folder, 0640); }},
        {"a folder that takes no new file", true, true,
         [](kvtest::TempFolder& folder) {
             const std::string page = MakePage(folder, 0644);
             if (::geteuid() == 0) {
                 ASSERT_EQ(::chown(page.c_str(), NobodyId, NobodyId), 0);
             }
             ::chmod(folder.Path().c_str(), 0555);
         }},
        {"a second name", false, true,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::link(MakePage(folder, 0644).c_str(), folder.File("other").c_str()), 0);
         }},
        {"a link to a file not made yet", false, false,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::mkdir(folder.File("pages").c_str(), 0755), 0);
             ASSERT_EQ(::symlink("pages/new", folder.File("page").c_str()), 0);
         }},
        {"links, absolute and relative, to a file not made yet", false, false,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::mkdir(folder.File("pages").c_str(), 0755), 0);
             ASSERT_EQ(::symlink("../new", folder.File("pages/next").c_str()), 0);
             ASSERT_EQ(::symlink(folder.File("pages/next").c_str(), folder.File("page").c_str()), 0);
         }},
    });
}

// A file of another owner, or of a group the writer is not in, is written in place; a group the
// writer may give is given to the file that replaces the page.
TEST(SavedFiles, KeepTheirOwnerAndGroup)
{
    if (::geteuid() != 0) {
        SkipBecause("only root makes files of other users");
        return;
    }
    CheckSaves({
        {"another owner", false, true,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::chown(MakePage(folder, 0644).c_str(), NobodyId, NobodyId), 0);
         }},
        {"a group the writer may give", false, false,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::chown(MakePage(folder, 0664).c_str(), 0, NobodyId), 0);
         }},
        {"a group the writer is not in", true, true,
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::chown(MakePage(folder, 0664).c_str(), NobodyId, 0), 0);
             ASSERT_EQ(::chown(folder.Path().c_str(), NobodyId, NobodyId), 0);
         }},
    });
}

// A pipe or a device is written into, never replaced: the reader at the other end gets the
// content, and the name stays a pipe.
TEST(SavedFiles, PipesAndDevicesAreWrittenInto)
{
    kvtest::TempFolder folder;
    const std::string pipe = folder.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const TFrontEnd& frontEnd : FrontEnds()) {
        SCOPED_TRACE(frontEnd.Name);
        const std::string content = ContentOf(frontEnd);
        std::string read;
        std::thread reader([&] { read = kvtest::TempFolder::Read(pipe); });
        EXPECT_EQ(frontEnd.Save(pipe, true), 0);
        // A save that never opened the pipe would leave the reader waiting for a writer.
        if (const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0) {
            ::close(writer);
        }
        reader.join();
        EXPECT_TRUE(read == content) << "the reader got " << read.size() << " bytes";
        EXPECT_EQ(frontEnd.Save("/dev/null", true), 0);
    }
    struct stat info
    {
    };
    EXPECT_TRUE(::lstat(pipe.c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);
}

namespace {

// A folder for the tests' folders on a file system that takes user attributes: the system's
// temporary folder, or else the current one (the build folder); empty when neither does.
std::string FolderTakingUserAttributes()
{
    for (const std::filesystem::path& place :
         {std::filesystem::temp_directory_path(), std::filesystem::current_path()}) {
        const std::string probe = (place / ("kvtest-attributes-" + std::to_string(::getpid()))).string();
        const int handle = ::open(probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        const bool takes = handle >= 0 && ::fsetxattr(handle, "user.kvtest", "1", 1, 0) == 0;
        if (handle >= 0) {
            ::close(handle);
            ::unlink(probe.c_str());
        }
        if (takes) {
            return place.string();
        }
    }
    return std::string();
}

void GiveAttribute(const std::string& name, const char* key, const std::string& value)
{
    ASSERT_EQ(::setxattr(name.c_str(), key, value.data(), value.size(), 0), 0)
        << key << ": " << strerror(errno);
}

void RunSetfacl(const std::string& arguments)
{
    int status = -1;
    RunTool("setfacl " + arguments, &status);
    ASSERT_EQ(status, 0) << "setfacl " << arguments;
}

} // namespace

// The file renamed over a page or picture takes its ACL and extended attributes, and none that
// the folder would give a new file; where the writer may not give one, the file is written in
// place.
TEST(SavedFiles, KeepTheirAclsAndExtendedAttributes)
{
    const std::string place = FolderTakingUserAttributes();
    if (place.empty()) {
        SkipBecause("neither the temporary folder nor the current one takes user attributes");
        return;
    }
    kvtest::ScopedEnv temporaryFolder("TMPDIR", place);
    std::vector<TSavedFileCase> cases = {
        {"an ACL entry", false, false,
         [](kvtest::TempFolder& folder) { RunSetfacl("-m u:nobody:rw " + MakePage(folder, 0640)); },
         "system.posix_acl_access"},
        {"a user attribute", false, false,
         [](kvtest::TempFolder& folder) { GiveAttribute(MakePage(folder, 0644), "user.origin", "camera 7"); },
         "user.origin"},
        {"a default ACL of the folder that the file has not", false, false,
         [](kvtest::TempFolder& folder) {
             MakePage(folder, 0644);
             RunSetfacl("-d -m u:nobody:rw " + folder.Path());
         }},
    };
    if (::geteuid() == 0) {
        cases.push_back({"an attribute the writer may not give", true, true,
                         [](kvtest::TempFolder& folder) {
                             const std::string page = MakePage(folder, 0644);
                             GiveAttribute(page, "security.kvtest", "kept");
                             ASSERT_EQ(::chown(page.c_str(), NobodyId, NobodyId), 0);
                             ASSERT_EQ(::chown(folder.Path().c_str(), NobodyId, NobodyId), 0);
                         },
                         "security.kvtest"});
    }
    CheckSaves(cases);
}

namespace {

// A flush a save asked for, seen by a filter of the system calls of the process that saves.
struct TFlush
{
    ino_t Inode;
    bool Folder;
    // The saved file's name was on the flushed file already.
    bool Named;
};
constexpr int MostFlushes = 16;
TFlush gFlushes[MostFlushes];
int gFlushCount = 0;
const char* gSavedName = nullptr;

#if defined(__x86_64__)
// fsync and fdatasync trap to here instead of running; they are noted and answered as done.
void NoteFlush(int, siginfo_t*, void* context)
{
    auto* machine = static_cast<ucontext_t*>(context);
    const int handle = int(machine->uc_mcontext.gregs[REG_RDI]);
    struct stat flushed
    {
    };
    struct stat named
    {
    };
    if (gFlushCount < MostFlushes && ::fstat(handle, &flushed) == 0) {
        gFlushes[gFlushCount++] = {flushed.st_ino, S_ISDIR(flushed.st_mode),
                                   ::stat(gSavedName, &named) == 0 && named.st_ino == flushed.st_ino};
    }
    machine->uc_mcontext.gregs[REG_RAX] = 0;
}

bool TrapFlushes()
{
    struct sigaction action
    {
    };
    action.sa_sigaction = NoteFlush;
    action.sa_flags = SA_SIGINFO;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fsync, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fdatasync, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::sigaction(SIGSYS, &action, nullptr) == 0 && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}
#else
bool TrapFlushes()
{
    return false;
}
#endif

// What the save of a front end over name flushed, in order: "the file" (named already, or "before
// its name"), "the folder" or "another file"; false when the flushes cannot be seen here.
bool FlushesOfSave(const TFrontEnd& frontEnd, const std::string& name, std::vector<std::string>& flushes)
{
    int pipe[2];
    if (::pipe(pipe) != 0) {
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        gSavedName = name.c_str();
        if (!TrapFlushes()) {
            ::_exit(2);
        }
        const int code = frontEnd.Save(name, true);
        const ssize_t size = ssize_t(sizeof(TFlush)) * gFlushCount;
        ::_exit(::write(pipe[1], gFlushes, size_t(size)) == size ? code : 3);
    }
    ::close(pipe[1]);
    TFlush seen[MostFlushes];
    ssize_t got = 0;
    for (ssize_t part;
         got < ssize_t(sizeof seen) &&
         (part = ::read(pipe[0], reinterpret_cast<char*>(seen) + got, sizeof seen - size_t(got))) > 0;) {
        got += part;
    }
    ::close(pipe[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 2) {
        return false;
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save failed";
    struct stat saved
    {
    };
    EXPECT_EQ(::stat(name.c_str(), &saved), 0);
    flushes.clear();
    for (int i = 0; i < int(got / ssize_t(sizeof(TFlush))); ++i) {
        const TFlush& flush = seen[i];
        flushes.push_back(flush.Folder                  ? "the folder"
                          : flush.Inode != saved.st_ino ? "another file"
                          : flush.Named                 ? "the file"
                                                        : "the file, before its name");
    }
    return true;
}

} // namespace

// A file renamed over an existing one is flushed before the rename, and its folder after it; a
// file written in place is flushed before the save ends, and so is the content kept whole beside
// it while it is copied; a new file is not flushed, so that a new gallery is written at the speed
// of the disk's cache.
TEST(SavedFiles, ReplacedFilesAreOnTheDiskBeforeTheirNames)
{
    const struct
    {
        const char* Case;
        std::function<void(kvtest::TempFolder& folder)> Make;
        std::vector<std::string> Flushes;
    } cases[] = {
        {"a new file", [](kvtest::TempFolder&) {}, {}},
        {"a file replaced",
         [](kvtest::TempFolder& folder) { MakePage(folder, 0644); },
         {"the file, before its name", "the folder"}},
        {"a file written in place",
         [](kvtest::TempFolder& folder) {
             ASSERT_EQ(::link(MakePage(folder, 0644).c_str(), folder.File("other").c_str()), 0);
         },
         {"another file", "the folder", "the file"}},
    };
    for (const TFrontEnd& frontEnd : FrontEnds()) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(frontEnd.Name) + ", " + c.Case);
            kvtest::TempFolder folder;
            c.Make(folder);
            std::vector<std::string> flushes;
            if (!FlushesOfSave(frontEnd, folder.File("page"), flushes)) {
                SkipBecause("the system calls of a process cannot be filtered here");
                return;
            }
            EXPECT_EQ(flushes, c.Flushes);
        }
    }
}
