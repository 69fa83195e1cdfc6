// Helpers of the saved-file tests: saves through each front end that writes a named file, and
// what a file and the folder around it hold.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kvtest {
class TempFolder;
}

namespace kviotest {

extern const std::string EarlierContent;

// Writes Content as the file through the writer the page writer uses; a save that is not
// complete ends as the page writer's does when a write fails, without Commit. 0 when saved, 1
// when it failed.
int SavePage(const std::string& fileName, const std::string& content, bool complete);

// A save through the page writer's file writer, the I/O component or a memory stream's
// SaveToFile: Save gives 0 when saved, 1 when the save failed; one that is not complete fails
// midway.
struct TFrontEnd
{
    const char* Name;
    std::function<int(const std::string& fileName, bool complete)> Save;
};
std::vector<TFrontEnd> FrontEnds();
// What a front end writes into a new file.
std::string ContentOf(const TFrontEnd& frontEnd);

struct TFileState
{
    bool Exists = false;
    bool IsLink = false;
    struct stat Info
    {
    };
    std::string Content;
    // The names in the folder that share the file.
    std::vector<std::string> Names;
    // Names that start with a dot: the writer's temporary files.
    std::vector<std::string> Hidden;
    // The extended attributes of the file, the ACL among them, by name.
    std::map<std::string, std::string> Attributes;
};
TFileState StateOf(const std::string& folder, const std::string& name);

// Writes EarlierContent as "page" in the folder, with mode; its full name.
std::string MakePage(kvtest::TempFolder& folder, mode_t mode);

} // namespace kviotest
