// TIniFile: lookups without regard to case, missing files, and writes that keep the rest.
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/core/strings.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

const char* const kTemplateIni = "; a template description\r\n"
                                 "[Options]\r\n"
                                 "Name = Blue Sky \r\n"
                                 "imagesDir=\"abc123\"\r\n"
                                 "sample=1\r\n"
                                 "count=0x1A\r\n"
                                 "broken=12abc\r\n"
                                 "\r\n"
                                 "[Other]\r\n"
                                 "name=second\r\n";

TEST(IniFile, ReadsSectionsAndKeysWithoutRegardToCase)
{
    kvtest::TempFolder folder;
    TIniFile ini(folder.Write("template.ini", kTemplateIni));
    EXPECT_EQ(ini.ReadString("options", "NAME", "?"), "Blue Sky");
    EXPECT_EQ(ini.ReadString("OPTIONS", "imagesdir", "?"), "abc123"); // quotes removed
    EXPECT_EQ(ini.ReadString("other", "name", "?"), "second");
    EXPECT_EQ(ini.ReadString("options", "missing", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("options", "sample", 0), 1);
    EXPECT_EQ(ini.ReadInteger("options", "count", 0), 26);
    EXPECT_EQ(ini.ReadInteger("options", "broken", -5), -5);
    EXPECT_TRUE(ini.ReadBool("Options", "sample", false));
    EXPECT_TRUE(ini.SectionExists("OTHER"));
    EXPECT_FALSE(ini.SectionExists("a template description"));
    EXPECT_TRUE(ini.ValueExists("options", "SAMPLE"));
    EXPECT_FALSE(ini.ValueExists("other", "sample"));

    TStringList list;
    ini.ReadSections(list);
    EXPECT_EQ(list.ToVector(), (Strings{"Options", "Other"}));
    ini.ReadSection("options", list);
    EXPECT_EQ(list.ToVector(), (Strings{"Name", "imagesDir", "sample", "count", "broken"}));
    ini.ReadSectionValues("other", list);
    EXPECT_EQ(list.ToVector(), (Strings{"name=second"}));
}

TEST(IniFile, MissingOrUnreadableFilesReadAsEmpty)
{
    kvtest::TempFolder folder;
    TIniFile missing(folder.File("missing.ini"));
    EXPECT_EQ(missing.ReadString("options", "name", "none"), "none");
    EXPECT_EQ(missing.ReadInteger("options", "sample", 7), 7);
    EXPECT_FALSE(missing.SectionExists("options"));
    EXPECT_FALSE(FileExists(folder.File("missing.ini"))); // reading creates nothing

    CreateDir(folder.File("folder.ini"));
    TIniFile notAFile(folder.File("folder.ini"));
    TStringList list;
    list.Add("stale");
    notAFile.ReadSections(list);
    EXPECT_EQ(list.Count(), 0);
    // Writing over what could not be read would lose it.
    EXPECT_THROW(notAFile.WriteString("a", "b", "c"), EIniFileException);
}

TEST(IniFile, WritesKeepTheOtherLines)
{
    kvtest::TempFolder folder;
    const std::string name = folder.Write("template.ini", kTemplateIni);
    TIniFile ini(name);
    ini.WriteString("OPTIONS", "name", "Green");
    ini.WriteString("options", "newkey", "v");
    ini.WriteBool("Third", "flag", true);
    ini.WriteInteger("Other", "n", -3);
    EXPECT_EQ(kvtest::TempFolder::Read(name), "; a template description\r\n"
                                              "[Options]\r\n"
                                              "Name=Green\r\n"
                                              "imagesDir=\"abc123\"\r\n"
                                              "sample=1\r\n"
                                              "count=0x1A\r\n"
                                              "broken=12abc\r\n"
                                              "newkey=v\r\n"
                                              "\r\n"
                                              "[Other]\r\n"
                                              "name=second\r\n"
                                              "n=-3\r\n"
                                              "\r\n"
                                              "[Third]\r\n"
                                              "flag=1\r\n");
    // A second object on the same file sees the writes at once.
    TIniFile other(name);
    EXPECT_EQ(other.ReadString("options", "name", ""), "Green");
    EXPECT_EQ(other.ReadInteger("other", "n", 0), -3);
}

TEST(IniFile, DeletesKeysAndSections)
{
    kvtest::TempFolder folder;
    const std::string name = folder.Write("t.ini", "[a]\nx=1\ny=2\n[b]\nz=3\n[A]\nw=4\n");
    TIniFile ini(name);
    ini.DeleteKey("A", "X");
    ini.DeleteKey("a", "missing");
    EXPECT_EQ(kvtest::TempFolder::Read(name), "[a]\ny=2\n[b]\nz=3\n[A]\nw=4\n");
    ini.EraseSection("a"); // every section of that name
    EXPECT_EQ(kvtest::TempFolder::Read(name), "[b]\nz=3\n");
}

TEST(IniFile, CreatesTheFileAndItsFolder)
{
    kvtest::TempFolder folder;
    const std::string name = folder.File("new/template.ini");
    TIniFile ini(name);
    ini.WriteString("options", "name", "My Gallery");
    ini.WriteFloat("options", "gamma", 2.2L);
    EXPECT_EQ(kvtest::TempFolder::Read(name), "[options]\nname=My Gallery\ngamma=2.2\n");
    EXPECT_EQ(ini.ReadFloat("options", "gamma", 0), 2.2L);
}

TEST(IniFile, RefusesTextThatWouldBreakTheFile)
{
    kvtest::TempFolder folder;
    const std::string name = folder.Write("t.ini", "[options]\nname=ok\n");
    TIniFile ini(name);
    EXPECT_THROW(ini.WriteString("options", "name", "two\n[lines]"), EIniFileException);
    EXPECT_THROW(ini.WriteString("options", "a=b", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("bad]section", "k", "v"), EIniFileException);
    EXPECT_THROW(ini.WriteString("options", "", "v"), EIniFileException);
    EXPECT_EQ(kvtest::TempFolder::Read(name), "[options]\nname=ok\n");
}

TEST(IniFile, AByteOrderMarkIsNoPartOfTheFirstSection)
{
    kvtest::TempFolder folder;
    const std::string name = folder.Write("bom.ini", "\xEF\xBB\xBF[options]\r\nname=Blue\r\n");
    TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("options", "name", ""), "Blue");
    ini.WriteString("options", "sample", "1");
    EXPECT_EQ(kvtest::TempFolder::Read(name), "\xEF\xBB\xBF[options]\r\nname=Blue\r\nsample=1\r\n");
}

TEST(IniFile, WritesLeaveNoTemporaryFilesBehind)
{
    kvtest::TempFolder folder;
    TIniFile ini(folder.File("t.ini"));
    for (int i = 0; i < 5; ++i) {
        ini.WriteInteger("s", Concat("k", std::to_string(i)), i);
    }
    ASSERT_EQ(ListDirectory(folder.Path()).size(), 1u);
}

} // namespace
