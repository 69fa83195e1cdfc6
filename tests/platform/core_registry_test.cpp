// TRegistry over its store file: typed values, restarts, crashes mid-write and corrupt stores.
#include "platform/core/detail/whole_file.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/lists.h"
#include "platform/core/registry.h"
#include "platform/core/strings.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

const char* const kOptionsKey = "\\Software\\Daskor\\Plimbet\\1.0\\Options";

// Every test gets a store of its own.
class RegistryTest : public ::testing::Test
{
protected:
    kvtest::TempFolder Folder;
    std::string Store = Folder.File("config/Daskor/Plimbet.conf");
    kvtest::ScopedEnv Env{"KORVANE_REGISTRY_FILE", Store};
};

TEST_F(RegistryTest, ValuesSurviveARestart)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kOptionsKey, true));
        reg.WriteString("ImagesPath", "/home/u/Pictures/");
        reg.WriteInteger("IconWidth", 150);
        reg.WriteInteger("Negative", -7);
        reg.WriteBool("Flag", true);
        const uint8_t blob[] = {0x0a, 0x0b, 0x00, 0xff};
        reg.WriteBinaryData("Blob", blob, sizeof blob);
        reg.CloseKey();
    }
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\daskor\\Plimbet\\1.0\\options", false)); // case ignored
    EXPECT_EQ(reg.ReadString("imagespath"), "/home/u/Pictures/");
    EXPECT_EQ(reg.ReadInteger("IconWidth"), 150);
    EXPECT_EQ(reg.ReadInteger("Negative"), -7);
    EXPECT_TRUE(reg.ReadBool("Flag"));
    EXPECT_EQ(reg.ReadBinary("Blob"), (std::vector<uint8_t>{0x0a, 0x0b, 0x00, 0xff}));
    uint8_t buffer[8] = {};
    EXPECT_EQ(reg.ReadBinaryData("Blob", buffer, sizeof buffer), 4);
    EXPECT_THROW(reg.ReadBinaryData("Blob", buffer, 3), ERegistryException);
    EXPECT_EQ(reg.GetDataType("IconWidth"), rdInteger);
    EXPECT_EQ(reg.GetDataType("ImagesPath"), rdString);
    EXPECT_EQ(reg.GetDataType("Blob"), rdBinary);
    EXPECT_EQ(reg.GetDataSize("Blob"), 4);
    EXPECT_EQ(reg.GetDataSize("Missing"), -1);
    TStringList names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.ToVector(), (Strings{"ImagesPath", "IconWidth", "Negative", "Flag", "Blob"}));
    EXPECT_EQ(kvtest::TempFolder::Read(Store), "[Software\\Daskor\\Plimbet\\1.0\\Options]\n"
                                               "ImagesPath=s:/home/u/Pictures/\n"
                                               "IconWidth=i:150\n"
                                               "Negative=i:-7\n"
                                               "Flag=i:1\n"
                                               "Blob=b:0a0b00ff\n");
}

TEST_F(RegistryTest, AnyStringRoundTrips)
{
    const Strings texts = {
        "",
        "  leading and trailing  ",
        "line\nbreak\r\nand\ttab",
        std::string("nul\0inside", 10),
        "100% = [section] ; # \\ \"quoted\"",
        "caf\xc3\xa9 \xe2\x82\xac",
        "%41 is not A",
        "\x7f\x01\x1f",
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("Software\\Test", true));
        for (size_t i = 0; i < texts.size(); ++i) {
            reg.WriteString(Concat("v", std::to_string(i)), texts[i]);
            reg.WriteString(texts[i], "named"); // as value names too
        }
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Test", false));
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(reg.ReadString(Concat("v", std::to_string(i))), texts[i]) << i;
        EXPECT_TRUE(reg.ValueExists(texts[i])) << i;
    }
}

TEST_F(RegistryTest, WrongTypesAndMissingValues)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kOptionsKey, true));
    reg.WriteString("Text", "12");
    reg.WriteInteger("Number", 12);
    EXPECT_THROW(reg.ReadInteger("Text"), ERegistryException);
    EXPECT_THROW(reg.ReadString("Number"), ERegistryException);
    EXPECT_THROW(reg.ReadBinary("Number"), ERegistryException);
    EXPECT_THROW(reg.ReadInteger("Missing"), ERegistryException);
    EXPECT_THROW(reg.ReadBool("Missing"), ERegistryException);
    EXPECT_EQ(reg.ReadString("Missing"), "");
    // Writing another type replaces the value under its first spelling.
    reg.WriteInteger("TEXT", 5);
    EXPECT_EQ(reg.ReadInteger("Text"), 5);
    TStringList names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.ToVector(), (Strings{"Text", "Number"}));
}

TEST_F(RegistryTest, KeysAreCreatedOnlyWhenAsked)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kOptionsKey, false));
    EXPECT_FALSE(FileExists(Store)); // reading creates nothing
    EXPECT_FALSE(reg.KeyExists(kOptionsKey));
    EXPECT_THROW(reg.WriteString("x", "y"), ERegistryException); // no key open

    ASSERT_TRUE(reg.OpenKey(kOptionsKey, true));
    EXPECT_TRUE(FileExists(Store));
    EXPECT_TRUE(reg.KeyExists("\\Software\\Daskor")); // parents exist with it
    EXPECT_EQ(reg.CurrentPath(), "Software\\Daskor\\Plimbet\\1.0\\Options");
    reg.CloseKey();
    EXPECT_EQ(reg.CurrentKey(), 0u);

    ASSERT_TRUE(reg.OpenKey("Software", false));
    ASSERT_TRUE(reg.OpenKey("Daskor\\Plimbet", false)); // relative to the open key
    EXPECT_EQ(reg.CurrentPath(), "Software\\Daskor\\Plimbet");
    TStringList names;
    reg.GetKeyNames(names);
    EXPECT_EQ(names.ToVector(), (Strings{"1.0"}));
    EXPECT_TRUE(reg.HasSubKeys());

    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.OpenKey("Software", true)); // no store for other roots
}

TEST_F(RegistryTest, DeleteKeyTakesItsSubkeys)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\A\\B\\C", true));
    reg.WriteInteger("n", 1);
    ASSERT_TRUE(reg.OpenKey("\\A\\Bee", true));
    reg.WriteInteger("n", 2);
    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey("\\a\\b"));
    EXPECT_FALSE(reg.KeyExists("\\A\\B\\C"));
    EXPECT_TRUE(reg.KeyExists("\\A\\Bee"));
    EXPECT_FALSE(reg.DeleteKey("\\A\\B"));

    ASSERT_TRUE(reg.OpenKey("\\A\\Bee", false));
    EXPECT_TRUE(reg.DeleteValue("N"));
    EXPECT_FALSE(reg.DeleteValue("n"));
    EXPECT_FALSE(reg.ValueExists("n"));
}

TEST_F(RegistryTest, ReadOnlyKeysRefuseWrites)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kOptionsKey, true));
    reg.WriteInteger("n", 1);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kOptionsKey));
    EXPECT_EQ(reg.ReadInteger("n"), 1);
    EXPECT_THROW(reg.WriteInteger("n", 2), ERegistryException);
    EXPECT_FALSE(reg.DeleteValue("n"));
}

TEST_F(RegistryTest, ACrashBeforeTheRenameLeavesTheOldFileWhole)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kOptionsKey, true));
        reg.WriteInteger("IconWidth", 150);
    }
    const std::string before = kvtest::TempFolder::Read(Store);
    // Writes that a file size limit stops while the store is written: the limit's signal kills
    // the process, as a crash does, or, ignored, fails the write, which raises.
    for (const auto action : {SIG_DFL, SIG_DFL, SIG_IGN}) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_DUMPABLE, 0);
            std::signal(SIGXFSZ, action);
            const rlimit oneByte{1, 1};
            ::setrlimit(RLIMIT_FSIZE, &oneByte);
            TRegistry reg;
            reg.OpenKey(kOptionsKey, false);
            try {
                reg.WriteString("ImagesPath", "/x");
            } catch (const ERegistryException&) {
                ::_exit(0);
            }
            ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(action == SIG_DFL ? WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ
                                      : WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << (action == SIG_DFL ? "the write was not killed" : "the write did not raise");
    }
    EXPECT_EQ(kvtest::TempFolder::Read(Store), before);

    // A dead writer's temporary file lies beside the store and changes nothing; it stays until a
    // save commits, so that the two crashes left two, the failed write none more, and the good
    // save none.
    const auto temporaries = [&] {
        size_t count = 0;
        for (const TDirEntry& entry : ListDirectory(ExtractFilePath(Store))) {
            count += entry.Name != "Plimbet.conf";
        }
        return count;
    };
    EXPECT_EQ(temporaries(), 2u);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kOptionsKey, false));
    EXPECT_EQ(reg.ReadInteger("IconWidth"), 150);
    EXPECT_FALSE(reg.ValueExists("ImagesPath"));
    reg.WriteInteger("IconWidth", 200); // and the next write works
    EXPECT_EQ(reg.ReadInteger("IconWidth"), 200);
    EXPECT_EQ(temporaries(), 0u);
}

TEST_F(RegistryTest, ACorruptStoreIsSetAsideAndNotLost)
{
    struct Case
    {
        const char* Name;
        const char* Content;
    };
    const Case cases[] = {
        {"garbage line", "[K]\nthis is not a value\n"},
        {"unknown type", "[K]\nv=q:1\n"},
        {"bad integer", "[K]\nv=i:12x\n"},
        {"odd hex", "[K]\nv=b:abc\n"},
        {"bad escape", "[K]\nv=s:100%zz\n"},
        {"value before any key", "v=i:1\n"},
        {"unterminated key", "[K\nv=i:1\n"},
        {"binary bytes", "\x89PNG\r\n\x1a\n"},
    };
    for (const Case& c : cases) {
        kvtest::TempFolder folder;
        const std::string store = folder.Write("Plimbet.conf", c.Content);
        kvtest::ScopedEnv env("KORVANE_REGISTRY_FILE", store);
        ::testing::internal::CaptureStderr();
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey("K", false)) << c.Name;
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(store + ".corrupt"), std::string::npos) << c.Name << ": " << message;
        EXPECT_EQ(kvtest::TempFolder::Read(store + ".corrupt"), c.Content) << c.Name;
        EXPECT_FALSE(FileExists(store)) << c.Name;

        // The settings start afresh, and a second damaged store does not replace the first.
        ASSERT_TRUE(reg.OpenKey("K", true));
        reg.WriteInteger("v", 1);
        EXPECT_EQ(reg.ReadInteger("v"), 1);
        folder.Write("Plimbet.conf", "junk\n");
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(reg.KeyExists("K"));
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(kvtest::TempFolder::Read(store + ".corrupt"), c.Content) << c.Name;
        EXPECT_EQ(kvtest::TempFolder::Read(store + ".corrupt.1"), "junk\n") << c.Name;
    }
}

TEST_F(RegistryTest, CommentsBlankLinesAndCrLfAreAccepted)
{
    kvcore_detail::WriteWholeFile(Store, "; settings\r\n\r\n[K]\r\n# note\r\nv=i:3\r\nw=s:a b\r\n", 0600);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("K", false));
    EXPECT_EQ(reg.ReadInteger("v"), 3);
    EXPECT_EQ(reg.ReadString("w"), "a b");
}

TEST_F(RegistryTest, AnUnreadableStoreReadsEmptyAndIsNotOverwritten)
{
    ASSERT_TRUE(ForceDirectories(Store)); // a folder where the file should be
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kOptionsKey, false));
    EXPECT_FALSE(reg.OpenKey(kOptionsKey, true));
    EXPECT_TRUE(DirectoryExists(Store));
}

TEST(RegistryFile, NamedByTheProgramUnlessOverridden)
{
    kvtest::ScopedEnv env("KORVANE_REGISTRY_FILE", std::nullopt);
    kvtest::ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    SetRegistryFileName("");
    EXPECT_EQ(RegistryFileName(), "/cfg/Daskor/Plimbet.conf");
    SetRegistryFileName("/elsewhere/app.conf");
    EXPECT_EQ(RegistryFileName(), "/elsewhere/app.conf");
    kvtest::ScopedEnv overridden("KORVANE_REGISTRY_FILE", "/tests/own.conf");
    EXPECT_EQ(RegistryFileName(), "/tests/own.conf");
    SetRegistryFileName("");
}

} // namespace
