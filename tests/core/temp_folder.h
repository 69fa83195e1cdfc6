// A fixture giving each test its own temporary folder as the library's DefTEMPPATH, and the
// library's temporary files in it.
#pragma once

#include "imaging/io/korvaneio_globals.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Files of this process cannot grow past bytes from now on, as on a full disk.
inline void LimitFileSize(rlim_t bytes)
{
    const rlimit bound{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &bound);
}

// Runs body in a child process, where a write past a file-size limit fails instead of ending the
// process, and returns the child's exit code (-1 when it did not exit normally).
inline int ExitCodeOfChild(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

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

    // The library's temporary files in the folder: those with a "korvane" name, then those this
    // process holds open without a name there.
    std::vector<std::string> TemporaryFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(FFolder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("korvane", 0) == 0)
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& unnamed : kvtest::UnnamedFilesOpenIn(FFolder))
            names.push_back(unnamed);
        return names;
    }

private:
    std::string FFolder;
    std::string FSavedTempPath;
};
