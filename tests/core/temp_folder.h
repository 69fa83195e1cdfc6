// A fixture giving each test its own temporary folder as the library's DefTEMPPATH, and the
// "korvane" files found in it.
#pragma once

#include "imaging/io/korvaneio_globals.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class TempFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kvcoretestXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        FFolder = std::string(pattern) + "/";
        FSavedTempPath = Korvaneio::DefTEMPPATH;
        Korvaneio::DefTEMPPATH = FFolder;
    }
    void TearDown() override
    {
        Korvaneio::DefTEMPPATH = FSavedTempPath;
        std::error_code ignored;
        std::filesystem::remove_all(FFolder, ignored);
    }

    const std::string& Folder() const { return FFolder; }

    // Names of the library's temporary files left in the folder, sorted.
    std::vector<std::string> KorvaneFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(FFolder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("korvane", 0) == 0)
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::string ExtractName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

private:
    std::string FFolder;
    std::string FSavedTempPath;
};
