// Feeds the fuzz target every file named on the command line, and every file of every folder
// named there, one at a time; a crash or sanitizer report fails the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    // An exact-size heap copy lets the address sanitizer see any read past the input.
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto* data = new uint8_t[bytes.size()];
    std::copy(bytes.begin(), bytes.end(), data);
    LLVMFuzzerTestOneInput(data, bytes.size());
    delete[] data;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            std::vector<std::filesystem::path> entries;
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    entries.push_back(entry.path());
                }
            }
            std::sort(entries.begin(), entries.end());
            for (const auto& entry : entries) {
                failures += Replay(entry);
                ++files;
            }
        } else {
            failures += Replay(path);
            ++files;
        }
    }
    std::printf("replayed %d files\n", files);
    return failures == 0 && files > 0 ? 0 : 1;
}
