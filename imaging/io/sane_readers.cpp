// A scan on an open device: its frames read and the scan ended only where the device may stop the
// reader threads it started, as this process's threads and open files show them.
#include "imaging/io/detail/sane_scanner.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace Korvaneio::detail {

namespace {

// A reader needs only a little processor time to fill its pipe or end: a thread that takes longer
// is not one of the device's, or waits where no wait makes it safe to stop.
constexpr auto ReaderSettleLimit = std::chrono::seconds(10);

// The numbered entries of a folder of /proc, sorted; listingHandle receives the handle the listing
// was read through, closed again by then.
std::vector<int32_t> NumberedEntries(const char* path, int& listingHandle)
{
    std::vector<int32_t> numbers;
    listingHandle = -1;
    DIR* folder = opendir(path);
    if (folder == nullptr) {
        return numbers;
    }
    listingHandle = dirfd(folder);
    while (const dirent* entry = readdir(folder)) {
        if (std::isdigit(static_cast<unsigned char>(entry->d_name[0])) != 0) {
            numbers.push_back(std::atoi(entry->d_name));
        }
    }
    closedir(folder);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// A file of the thread's folder in /proc, read with the system's calls: a thread that ends
// meanwhile fails the read (ESRCH), which gives an empty text.
std::string ReadThreadFile(int32_t thread, const char* name)
{
    const std::string path = "/proc/self/task/" + std::to_string(thread) + "/" + name;
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return std::string();
    }
    char buffer[512];
    const ssize_t length = read(file, buffer, sizeof(buffer));
    close(file);
    return length > 0 ? std::string(buffer, size_t(length)) : std::string();
}

// The number of the system call a thread is in while it is off the processor; -1 while it runs
// ("running"), outside any call or once it has ended.
long CurrentCall(int32_t thread)
{
    const std::string text = ReadThreadFile(thread, "syscall");
    if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0])) == 0) {
        return -1;
    }
    return std::strtol(text.c_str(), nullptr, 10);
}

bool Contains(const std::vector<int32_t>& numbers, int32_t number)
{
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

std::vector<int32_t> Added(const std::vector<int32_t>& before, const std::vector<int32_t>& after)
{
    std::vector<int32_t> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    return added;
}

} // namespace

std::vector<int32_t> ProcessThreads()
{
    int listingHandle = -1;
    return NumberedEntries("/proc/self/task", listingHandle);
}

std::vector<int32_t> OpenFiles()
{
    int listingHandle = -1;
    std::vector<int32_t> files = NumberedEntries("/proc/self/fd", listingHandle);
    // The listing's own handle was open while it was read.
    files.erase(std::remove(files.begin(), files.end(), listingHandle), files.end());
    return files;
}

char ThreadState(int32_t thread)
{
    const std::string stat = ReadThreadFile(thread, "stat");
    // "id (name) state ...": the name may hold spaces and parentheses, the state follows the last.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return 0;
    }
    const char state = stat[close + 2];
    return state == 'Z' || state == 'X' ? 0 : state;
}

bool SafeToStop(int32_t thread)
{
    // The call first: a thread seen in a write and then asleep is asleep in that write, unless
    // something woke it in between, which a write into a full pipe waits for from the reader alone.
    const long call = CurrentCall(thread);
    const char state = ThreadState(thread);
    return state == 0 || (state == 'S' && call == SYS_write);
}

SANE_Status TSaneDevice::Start()
{
    if (FHandle == nullptr) {
        return SANE_STATUS_INVAL;
    }
    // The previous frame's readers ended with it.
    ReleasePipes();
    // The threads and pipes that appear while the scan starts are the device's (a thread that the
    // program starts meanwhile is taken for a reader too, which costs at most a wait).
    const std::vector<int32_t> threadsBefore = ProcessThreads();
    const std::vector<int32_t> filesBefore = OpenFiles();
    const SANE_Status status = sane_start(FHandle);
    FReaders = Added(threadsBefore, ProcessThreads());
    FIgnoredReaders.clear();
    HoldPipes(filesBefore);
    FScanning = true;
    return status;
}

// Keeps the reading end of each pipe that appeared with both its ends open, so that the device's
// closing its own end never wakes a reader blocked in a write.
void TSaneDevice::HoldPipes(const std::vector<int32_t>& filesBefore)
{
    struct TPipeEnd
    {
        int32_t File;
        dev_t Device;
        ino_t Node;
        int Access;
    };
    std::vector<TPipeEnd> ends;
    for (const int32_t file : Added(filesBefore, OpenFiles())) {
        struct stat status
        {
        };
        const int flags = fcntl(file, F_GETFL);
        if (flags >= 0 && fstat(file, &status) == 0 && S_ISFIFO(status.st_mode)) {
            ends.push_back(TPipeEnd{file, status.st_dev, status.st_ino, flags & O_ACCMODE});
        }
    }
    for (const TPipeEnd& end : ends) {
        const bool writerToo = std::any_of(ends.begin(), ends.end(), [&](const TPipeEnd& other) {
            return other.Device == end.Device && other.Node == end.Node && other.Access == O_WRONLY;
        });
        if (end.Access == O_RDONLY && writerToo) {
            const int held = fcntl(end.File, F_DUPFD_CLOEXEC, 0);
            if (held >= 0) {
                FHeldPipes.push_back(held);
            }
        }
    }
}

void TSaneDevice::ReleasePipes()
{
    for (const int held : FHeldPipes) {
        close(held);
    }
    FHeldPipes.clear();
}

void TSaneDevice::WaitForReaders()
{
    const auto giveUp = std::chrono::steady_clock::now() + ReaderSettleLimit;
    for (;;) {
        std::vector<int32_t> unsettled;
        for (const int32_t reader : FReaders) {
            if (!Contains(FIgnoredReaders, reader) && !SafeToStop(reader)) {
                unsettled.push_back(reader);
            }
        }
        if (unsettled.empty()) {
            return;
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            FIgnoredReaders.insert(FIgnoredReaders.end(), unsettled.begin(), unsettled.end());
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

SANE_Status TSaneDevice::Read(uint8_t* buffer, int32_t maxLength, int32_t& length)
{
    length = 0;
    if (FHandle == nullptr) {
        return SANE_STATUS_INVAL;
    }
    WaitForReaders();
    SANE_Int read = 0;
    const SANE_Status status = sane_read(FHandle, buffer, maxLength, &read);
    length = status == SANE_STATUS_GOOD ? std::clamp<SANE_Int>(read, 0, maxLength) : 0;
    return status;
}

void TSaneDevice::Cancel()
{
    if (FHandle == nullptr) {
        return;
    }
    WaitForReaders();
    sane_cancel(FHandle);
    // The device has stopped and waited for its readers: no one writes into the pipes any more.
    ReleasePipes();
    FReaders.clear();
    FIgnoredReaders.clear();
    FScanning = false;
}

bool TSaneDevice::CancelWaitingRead()
{
    if (FHandle == nullptr || std::any_of(FReaders.begin(), FReaders.end(),
                                          [](int32_t reader) { return ThreadState(reader) != 0; })) {
        return false;
    }
    sane_cancel(FHandle);
    return true;
}

} // namespace Korvaneio::detail
