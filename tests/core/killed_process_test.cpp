// A process ended in the middle of its work leaves no temporary file, however it ends: a load
// into a file-backed bitmap, the thumbnail store and the tiled bitmap, each ended a hundred times
// in a row by SIGKILL and five times by each other way.
#include "imaging/core/kvbitmap.h"
#include "imaging/core/virtual_bitmap.h"
#include "imaging/core/virtual_dib_list.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/core/temp_folder.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Called by the work, again and again, once its temporary file exists and is being written.
using TReady = std::function<void()>;
using TWork = std::function<void(const TReady&)>;

// Loads the picture into a file-backed bitmap and waits in the progress report once rows are in
// the file, so that the load is ended in its middle.
void LoadIntoFile(TMemoryStream& picture, const TReady& ready)
{
    Daduvudez::KVDefMinFileSize = 0;
    TKVBitmap bitmap;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&bitmap);
    io.OnProgress = [&](TObject*, int32_t percent) {
        if (percent > 0 && percent < 100 && bitmap.Location() == kvFile) {
            ready();
            for (;;)
                pause();
        }
    };
    picture.SetPosition(0);
    io.LoadFromStreamBMP(picture);
}

// Fills a store with thumbnails, then writes them again in turn: each is mapped anew, which
// writes the least recently used block back to the file.
void FillStore(const TReady& ready)
{
    TKVBitmap thumbnail;
    thumbnail.Allocate(32, 24, kv24RGB);
    thumbnail.Fill(0x336699);
    TKVVirtualDIBList store;
    std::vector<TKVVirtualImageInfo*> images;
    for (int32_t i = 0; i < 2 * store.MaxMappedImages; ++i)
        images.push_back(store.AddKVBitmap(&thumbnail));
    for (size_t i = 0; images.back() != nullptr; ++i) {
        store.CopyFromKVBitmap(images[i % images.size()], &thumbnail);
        ready();
    }
}

// Writes pixels across all 3 x 2 tiles of a tiled bitmap, again and again; ready once a tile has
// been written back.
void PaintTiles(const TReady& ready)
{
    const uint8_t grey = 77;
    TKVVirtualBitmap image;
    while (image.AllocateBits(700, 500, 8))
        for (int32_t y = 0; y < 500; y += 50)
            for (int32_t x = 0; x < 700; x += 50) {
                image.SetPixel(x, y, &grey);
                if (x >= int32_t(image.TileWidth()))
                    ready();
            }
}

// Not a signal: the child ends itself with _exit once ready, as a sanitizer's report ends a
// process, and no destructor runs.
constexpr int kEndsItself = 0;
constexpr int kEndedItself = 99;

// Runs the work in a child process whose temporary folder is the given one, waits until the
// work writes into its temporary file and ends the child with the signal.
void EndMidway(const std::string& folder, const TWork& work, int signal)
{
    int channel[2];
    ASSERT_EQ(pipe2(channel, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int handled : {SIGTERM, SIGINT, SIGABRT})
            ::signal(handled, SIG_DFL);
        const rlimit noCoreFile{0, 0};
        setrlimit(RLIMIT_CORE, &noCoreFile);
        setenv("TMPDIR", folder.c_str(), 1);
        bool told = false;
        try {
            work([&] {
                if (!told && write(channel[1], "w", 1) != 1)
                    _exit(3);
                if (!told && signal == kEndsItself)
                    _exit(kEndedItself);
                told = true;
            });
        } catch (...) {
        }
        _exit(2); // the work goes on until the process is ended
    }
    close(channel[1]);
    char said = 0;
    const ssize_t got = TEMP_FAILURE_RETRY(read(channel[0], &said, 1));
    close(channel[0]);
    kill(child, got == 1 ? signal : SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, 1) << "the child ended before writing its file, status " << status;
    if (signal == kEndsItself)
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kEndedItself) << status;
    else
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
}

using KilledProcess = TempFolderTest;

} // namespace

// Each work is ended midway a hundred times in a row by SIGKILL and five times by each other way;
// the folder must be empty after every round.
TEST_F(KilledProcess, LeavesNoTemporaryFileWhateverItWasWriting)
{
    TKVBitmap source;
    source.Allocate(64, 64, kv24RGB);
    source.Fill(0x204080);
    TMemoryStream picture;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&source);
    io.SaveToStreamBMP(picture);
    const struct
    {
        const char* name;
        TWork work;
    } works[] = {
        {"a load into a file-backed bitmap", [&](const TReady& ready) { LoadIntoFile(picture, ready); }},
        {"the thumbnail store", FillStore},
        {"the tiled bitmap", PaintTiles},
    };
    const struct
    {
        const char* name;
        int signal;
        int rounds;
    } endings[] = {
        {"SIGKILL", SIGKILL, 100}, {"SIGTERM", SIGTERM, 5},   {"SIGINT", SIGINT, 5},
        {"SIGABRT", SIGABRT, 5},   {"_exit", kEndsItself, 5},
    };
    // The folder's entries, which are then removed.
    const auto takeLeftovers = [this] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
            names.push_back(entry.path().filename().string());
            std::filesystem::remove_all(entry.path());
        }
        return names;
    };
    ASSERT_TRUE(takeLeftovers().empty());
    for (const auto& w : works) {
        for (const auto& e : endings) {
            SCOPED_TRACE(std::string(w.name) + " ended by " + e.name);
            for (int round = 1; round <= e.rounds; ++round) {
                ASSERT_NO_FATAL_FAILURE(EndMidway(Folder(), w.work, e.signal)) << "round " << round;
                const std::vector<std::string> left = takeLeftovers();
                if (!left.empty()) {
                    ADD_FAILURE() << "round " << round << " left " << left.front() << " and "
                                  << left.size() - 1 << " more";
                    break;
                }
            }
        }
    }
}
