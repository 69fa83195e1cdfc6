// Helpers of the saved-file tests.
#include "tests/io/saved_files_support.h"

#include "imaging/io/korvaneio.h"
#include "platform/core/detail/write_room.h"
#include "platform/core/exceptions.h"
#include "platform/core/safe_file_writer.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace kviotest {

const std::string EarlierContent = "<html>the earlier page</html>";

int SavePage(const std::string& fileName, const std::string& content, bool complete)
{
    try {
        TSafeFileWriter file(fileName);
        file.Stream().WriteBuffer(content.data(), int64_t(complete ? content.size() : content.size() / 2));
        if (!complete) {
            return 1;
        }
        file.Commit();
        return 0;
    } catch (const EStreamError&) {
        return 1;
    }
}

namespace {

// Saves a picture as JPEG through the I/O component; one that is not complete is saved as GIF
// without its LZW coder, which fails midway.
int SavePicture(const std::string& fileName, bool complete)
{
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 24, 16);
    try {
        if (complete) {
            io.SaveToFileJpeg(fileName);
        } else {
            io.SaveToFileGif(fileName);
        }
    } catch (const EStreamError&) {
        return 1;
    }
    return io.Aborting ? 1 : 0;
}

// Saves a memory stream; one that is not complete finds room for half of it.
int SaveStream(const std::string& fileName, bool complete)
{
    TMemoryStream stream;
    stream.WriteBuffer("<html>a stream</html>", 21);
    if (!complete) {
        kvcore_detail::gWriteRoomHook = [](int, int64_t count) { return count / 2; };
    }
    int result = 0;
    try {
        stream.SaveToFile(fileName);
    } catch (const EStreamError&) {
        result = 1;
    }
    kvcore_detail::gWriteRoomHook = nullptr;
    return result;
}

std::map<std::string, std::string> AttributesOf(const std::string& name)
{
    std::map<std::string, std::string> attributes;
    std::string list(size_t(std::max<ssize_t>(::listxattr(name.c_str(), nullptr, 0), 0)), '\0');
    list.resize(size_t(std::max<ssize_t>(::listxattr(name.c_str(), list.data(), list.size()), 0)));
    for (size_t at = 0; at < list.size(); at = list.find('\0', at) + 1) {
        const std::string key = list.c_str() + at;
        std::string value(size_t(std::max<ssize_t>(::getxattr(name.c_str(), key.c_str(), nullptr, 0), 0)),
                          '\0');
        value.resize(
            size_t(std::max<ssize_t>(::getxattr(name.c_str(), key.c_str(), value.data(), value.size()), 0)));
        attributes[key] = value;
    }
    return attributes;
}

} // namespace

std::vector<TFrontEnd> FrontEnds()
{
    return {
        {"page",
         [](const std::string& name, bool complete) { return SavePage(name, "<html>new</html>", complete); }},
        {"picture", SavePicture},
        {"stream", SaveStream},
    };
}

std::string ContentOf(const TFrontEnd& frontEnd)
{
    kvtest::TempFolder folder;
    EXPECT_EQ(frontEnd.Save(folder.File("new"), true), 0);
    return kvtest::TempFolder::Read(folder.File("new"));
}

TFileState StateOf(const std::string& folder, const std::string& name)
{
    TFileState state;
    struct stat info
    {
    };
    state.IsLink = ::lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    state.Exists = ::stat(name.c_str(), &state.Info) == 0;
    state.Content = kvtest::TempFolder::Read(name);
    state.Attributes = AttributesOf(name);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (state.Exists && ::lstat(entry.path().c_str(), &info) == 0 && info.st_ino == state.Info.st_ino) {
            state.Names.push_back(entry.path());
        }
        if (entry.path().filename().string()[0] == '.') {
            state.Hidden.push_back(entry.path());
        }
    }
    return state;
}

std::string MakePage(kvtest::TempFolder& folder, mode_t mode)
{
    const std::string page = folder.Write("page", EarlierContent);
    ::chmod(page.c_str(), mode);
    return page;
}

} // namespace kviotest
