// The one layer over the scanner library that both acquisition clients use: its start and end,
// the device list, an open device with its options, the assembly of the bytes a device sends into
// bitmap rows, and the worker that reads pages while the user-interface thread runs on.
#pragma once

#include "imaging/core/kvbitmap.h"
#include "platform/core/streams.h"
#include "platform/forms/dialog_service.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Korvaneio::detail {

// Uses of the library: the first starts it, the last ends it (which forgets every device).
// False when it cannot start.
bool SaneAcquire();
void SaneRelease();
// The library's version as "major.minor.build", empty before it ran.
std::string SaneVersionText();

struct TSaneDeviceInfo
{
    std::string Name; // what opens it, e.g. "test:0"
    std::string Vendor;
    std::string Model;
    std::string Type; // "flatbed scanner", "virtual device" ...
};

// The devices the library finds (local and network); needs a use of the library.
SANE_Status SaneDevices(std::vector<TSaneDeviceInfo>& devices);

// Whether a "source" option value names a document feeder, and a feeder that scans both sides.
bool IsFeederSource(const std::string& source);
bool IsDuplexSource(const std::string& source);

// A numeric option's allowed values: a range (Step 0: any value) or a list.
struct TSaneNumbers
{
    bool IsRange = false;
    double Min = 0;
    double Max = 0;
    double Step = 0;
    std::vector<double> Values;
};

// An open device. Options are read and set, and pages read, on one thread at a time.
class TSaneDevice
{
public:
    TSaneDevice() = default;
    ~TSaneDevice();
    TSaneDevice(const TSaneDevice&) = delete;
    TSaneDevice& operator=(const TSaneDevice&) = delete;

    SANE_Status Open(const std::string& name);
    void Close();
    bool IsOpen() const { return FHandle != nullptr; }
    const std::string& Name() const { return FName; }

    // The option of that name that is active and can be read, else -1.
    int32_t Find(const char* name) const;
    // Whether it can also be set by the program.
    bool Settable(int32_t option) const;
    // Integers, fixed-point numbers and switches as doubles; a word option only (not arrays).
    SANE_Status GetNumber(int32_t option, double& value) const;
    SANE_Status SetNumber(int32_t option, double value);
    SANE_Status GetText(int32_t option, std::string& value) const;
    SANE_Status SetText(int32_t option, const std::string& value);
    TSaneNumbers Numbers(int32_t option) const;
    std::vector<std::string> Texts(int32_t option) const;
    // "mm", "dpi", "%" ... of the option's unit.
    std::string Unit(int32_t option) const;
    // The resolution option of one direction, else the one for both; -1 when there is none.
    int32_t ResolutionOption(bool vertical) const;

    // Every option the settings dialog can show, as it stands now.
    std::vector<TScanSetting> Settings() const;
    // Sets the option the setting names to its value; the device may adjust it.
    SANE_Status Apply(const TScanSetting& setting);

    // Reading pages, on the thread that reads: Start, Parameters and Read for each frame, and
    // Cancel to end the scan (after its last frame too, which readies the device for the next).
    //
    // Some devices send a frame from reader threads of their own, which they stop with an
    // asynchronous cancel, wherever a thread is, once the frame's last byte has been read or the
    // scan is cancelled; and they close their end of the thread's pipe first, which wakes a
    // reader blocked in its write into code that the stop then cuts short. A thread stopped
    // holding a lock of the C library or of the allocator hangs the process later, at the latest
    // at its exit. So the device is asked to read or cancel only while every such thread has
    // ended or waits, blocked, to write into its full pipe, whose reading end is held open
    // meanwhile: such a reader leaves its write only by the stop, and while it waits its pipe
    // holds less than the frame's rest, so that no read can end the frame.
    SANE_Status Start();
    SANE_Status Parameters(SANE_Parameters& parameters);
    SANE_Status Read(uint8_t* buffer, int32_t maxLength, int32_t& length);
    void Cancel();
    // From another thread, while Read waits for the device: asks the device to end the read, as
    // the library allows, but only once the scan's reader threads have all ended, since the
    // device would stop them. True when it asked.
    bool CancelWaitingRead();
    // The threads the last Start began, as the system numbers them.
    const std::vector<int32_t>& Readers() const { return FReaders; }

private:
    const SANE_Option_Descriptor* Descriptor(int32_t option) const;
    int32_t OptionCount() const;

    void WaitForReaders();
    void HoldPipes(const std::vector<int32_t>& filesBefore);
    void ReleasePipes();

    SANE_Handle FHandle = nullptr;
    std::string FName;
    bool FScanning = false;
    std::vector<int32_t> FReaders;
    // Threads that did not settle in time: not the device's, or not of the kind it stops.
    std::vector<int32_t> FIgnoredReaders;
    std::vector<int> FHeldPipes;
};

// The threads of this process and the state letter of one ('R' running, 'S' blocked in a call
// ...); 0 for a thread that has ended.
std::vector<int32_t> ProcessThreads();
char ThreadState(int32_t thread);
// Whether a thread may be stopped wherever it is: it has ended, or it waits, blocked, in a write,
// which holds no lock of the C library or of the allocator.
bool SafeToStop(int32_t thread);
// The files this process has open, by number.
std::vector<int32_t> OpenFiles();

// Turns the bytes of one page, sent as one frame or as a red, a green and a blue frame, into the
// rows of a bitmap: kv1g for 1-bit grey, kv24RGB for everything else (16-bit samples keep their
// high byte). A set bit of 1-bit grey is black (the bitmap's 1 is white), of 1-bit colour full
// intensity. The bitmap grows as rows arrive, stops at the height the device announced, and ends
// with the rows received.
class TScanPageAssembler
{
public:
    // False, leaving the page as it was, for a frame it cannot take (unknown format or depth, no
    // pixels, a line length too short or too long, a later frame of another width).
    bool BeginFrame(const SANE_Parameters& parameters);
    void Feed(const uint8_t* data, size_t length);
    // True once a frame that is the page's last one has ended.
    bool EndFrame();

    // Rows of the page, and rows of the frame being received.
    int32_t RowsDone() const { return FRowsDone; }
    int32_t FrameRowsDone() const { return FFrameRow; }
    // The rows the device announced for the current frame, -1 when it does not know.
    int32_t AnnouncedRows() const { return FAnnouncedRows; }
    // 1, 8 or 24: what a pixel of the page holds.
    int32_t BitsPerPixel() const { return FBitsPerPixel; }
    // The page with the rows received; nullptr when none arrived.
    std::unique_ptr<TKVBitmap> TakePage();

    // Limits that keep a lying device from making the program allocate without end.
    static constexpr int32_t MaxWidth = 1 << 18;
    static constexpr int32_t MaxRows = 1 << 20;
    static constexpr int32_t MaxLineBytes = 8 << 20;

private:
    void ConvertRow();
    void Grow();

    std::unique_ptr<TKVBitmap> FPage;
    SANE_Parameters FFrame{};
    int32_t FChannels = 0;
    int32_t FChannel = -1; // the one channel of a single-colour frame, -1 for all
    int32_t FBitsPerPixel = 0;
    int32_t FRowsDone = 0;
    int32_t FFrameRow = 0;
    int32_t FFrames = 0; // frames of the page that have ended
    int32_t FAnnouncedRows = -1;
    int32_t FCapacity = 0;
    std::vector<uint8_t> FLine;
    size_t FLineFill = 0;
};

// One scanned page with what the device said about it.
struct TScannedPage
{
    std::unique_ptr<TKVBitmap> Bitmap;
    int32_t BitsPerPixel = 0;
    int32_t DpiX = 0;
    int32_t DpiY = 0;
};

// Writes the page as a BMP file with its resolution, as a device that sends files would; false
// when the writer failed.
bool WritePageBmp(TStream& stream, TScannedPage& page);

// Reads pages from an open device on a worker thread: one page, or with MultiPage every page the
// feeder holds, up to MaxPages. A page waits for the thread that owns the job; the next page is
// started only once that thread has handed the page on (PageDone), so that a stop asked for
// while a page is handed on feeds no further sheet.
class TScanJob
{
public:
    TScanJob(TSaneDevice& device, bool multiPage, int32_t dpiX, int32_t dpiY, int32_t maxPages = INT32_MAX);
    // Cancels and waits for the worker.
    ~TScanJob();
    TScanJob(const TScanJob&) = delete;
    TScanJob& operator=(const TScanJob&) = delete;

    // Called by the worker whenever a page or the end is queued (from the worker's thread).
    std::function<void()> OnNews;

    void Start();
    void Cancel();
    // Waits until something new is queued or the time is up.
    void WaitForNews(int32_t milliseconds);
    std::unique_ptr<TScannedPage> TakePage();
    // The page taken last has been handed on; the worker may start the next.
    void PageDone();
    // Percent of the current page.
    int32_t Percent() const { return FPercent.load(); }
    // The worker has ended and every page has been taken.
    bool Done() const;
    // What ended the job: SANE_STATUS_GOOD for a clean end (the feeder ran empty after a page),
    // SANE_STATUS_CANCELLED when cancelled, else the device's failure.
    SANE_Status Status() const;
    int32_t PagesRead() const;

private:
    void Run();
    SANE_Status ReadPage(TScanPageAssembler& assembler);
    void Finish(SANE_Status status);

    TSaneDevice& FDevice;
    bool FMultiPage;
    int32_t FMaxPages;
    int32_t FDpiX;
    int32_t FDpiY;
    std::thread FThread;
    std::atomic<bool> FCancel{false};
    std::mutex FCallLock; // held while the worker enters or leaves a read
    bool FInRead = false;
    std::atomic<int32_t> FPercent{0};
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<std::unique_ptr<TScannedPage>> FPages;
    bool FFinished = false;
    bool FNews = false;
    SANE_Status FStatus = SANE_STATUS_GOOD;
    int32_t FPagesRead = 0;
    int32_t FPagesDone = 0;
};

// Runs a started job to its end on the calling (user-interface) thread, handling the
// application's messages meanwhile with every form disabled. Each page goes to OnPage; Progress
// gets the percent of the page being read. The job is cancelled when ShouldStop says so or OnPage
// returns false.
void RunModalScan(TScanJob& job, const std::function<bool(TScannedPage& page)>& OnPage,
                  const std::function<void(int32_t percent)>& Progress,
                  const std::function<bool()>& ShouldStop);

} // namespace Korvaneio::detail
