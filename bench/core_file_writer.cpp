// Saves of small new files through the file writer into a folder of 20,000 files against the same
// saves into an empty folder: what a save does beside its own file (looking for what killed saves
// left) must not cost more in a larger folder. The folders are made under TMPDIR (or /tmp);
// bench/gallery/folder_size.sh prints the ratio.
#include "platform/core/safe_file_writer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A new folder of Files empty pictures' names; empty when it cannot be made.
std::string FolderOf(int64_t Files)
{
    const char* temp = std::getenv("TMPDIR");
    std::string folder = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") + "/kvbench-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        return "";
    }
    folder += "/";
    for (int64_t k = 0; k < Files; ++k) {
        const std::string name = folder + "picture_" + std::to_string(k) + ".jpg";
        const int handle = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (handle < 0) {
            std::filesystem::remove_all(folder);
            return "";
        }
        ::close(handle);
    }
    return folder;
}

// Each save makes a new page, as a gallery's run does: 1,000 of them, into a folder that holds
// no file or 20,000 at the start.
void BM_SaveIntoFolder(benchmark::State& State)
{
    const std::string folder = FolderOf(State.range(0));
    if (folder.empty()) {
        State.SkipWithError("the folder cannot be made");
        return;
    }
    const std::string content(4096, 'p');
    int64_t saved = 0;
    for (auto _ : State) {
        TSafeFileWriter file(folder + "page_" + std::to_string(saved++) + ".html");
        file.Stream().WriteBuffer(content.data(), int64_t(content.size()));
        file.Commit();
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SaveIntoFolder)
    ->ArgName("files")
    ->Arg(0)
    ->Arg(20000)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
