// Pages from a scanner: the bytes of its frames made into bitmap rows, the worker that reads
// them, and the modal wait on the user-interface thread.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/io/detail/sane_scanner.h"
#include "platform/core/threads.h"
#include "platform/forms/application.h"
#include "platform/forms/task_windows.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace Korvaneio::detail {

static_assert(sizeof(SANE_Frame) == sizeof(int), "a frame format is read as an int");

// ---------------------------------------------------------------------------------------------
// Assembling a page

bool TScanPageAssembler::BeginFrame(const SANE_Parameters& parameters)
{
    int32_t channels = 1;
    int32_t channel = -1;
    // Read as a number: a device may send a format the enumeration does not hold.
    int format = 0;
    std::memcpy(&format, &parameters.format, sizeof(format));
    switch (format) {
    case SANE_FRAME_GRAY:
        break;
    case SANE_FRAME_RGB:
        channels = 3;
        break;
    case SANE_FRAME_RED:
        channel = 0;
        break;
    case SANE_FRAME_GREEN:
        channel = 1;
        break;
    case SANE_FRAME_BLUE:
        channel = 2;
        break;
    default:
        return false;
    }
    const int32_t depth = parameters.depth;
    if ((depth != 1 && depth != 8 && depth != 16) || parameters.pixels_per_line < 1 ||
        parameters.pixels_per_line > MaxWidth || parameters.lines == 0 || parameters.lines < -1 ||
        parameters.lines > MaxRows) {
        return false;
    }
    // A 1-bit colour line holds a byte of red, one of green and one of blue for every 8 pixels.
    const int64_t needed = depth == 1 ? channels * ((int64_t(parameters.pixels_per_line) + 7) / 8)
                                      : int64_t(parameters.pixels_per_line) * channels * depth / 8;
    if (parameters.bytes_per_line < needed || parameters.bytes_per_line > MaxLineBytes) {
        return false;
    }
    if (FPage != nullptr) {
        // Only a later colour of a page sent one colour at a time can follow, at the same width.
        if (FChannel < 0 || channel < 0 || parameters.pixels_per_line != FPage->GetWidth()) {
            return false;
        }
    } else {
        FBitsPerPixel = (channels == 1 && channel < 0) ? (depth == 1 ? 1 : 8) : 24;
        FPage = std::make_unique<TKVBitmap>();
        // A few rows to start with, grown as they arrive: nothing is taken on the device's word.
        const int64_t rowBytes = (int64_t(parameters.pixels_per_line) * FBitsPerPixel + 7) / 8;
        FCapacity = int32_t(std::clamp<int64_t>((256 << 10) / rowBytes, 1, 64));
        if (parameters.lines > 0) {
            FCapacity = std::min(FCapacity, parameters.lines);
        }
        FPage->Allocate(parameters.pixels_per_line, FCapacity, FBitsPerPixel == 1 ? kv1g : kv24RGB);
        FPage->Fill(0);
        FRowsDone = 0;
    }
    FFrame = parameters;
    FChannels = channels;
    FChannel = channel;
    FFrameRow = 0;
    FAnnouncedRows = parameters.lines;
    FLine.assign(size_t(parameters.bytes_per_line), 0);
    FLineFill = 0;
    return true;
}

void TScanPageAssembler::Feed(const uint8_t* data, size_t length)
{
    if (FPage == nullptr || FLine.empty()) {
        return;
    }
    while (length > 0) {
        const size_t take = std::min(length, FLine.size() - FLineFill);
        std::memcpy(FLine.data() + FLineFill, data, take);
        FLineFill += take;
        data += take;
        length -= take;
        if (FLineFill == FLine.size()) {
            ConvertRow();
            FLineFill = 0;
        }
    }
}

// Makes room for row FFrameRow of the frame that decides the page's height.
void TScanPageAssembler::Grow()
{
    const int32_t limit = FAnnouncedRows > 0 ? FAnnouncedRows : MaxRows;
    const int32_t wanted = std::min(std::max(FCapacity * 2, FFrameRow + 1), limit);
    FPage->SetHeight(wanted);
    for (int32_t y = FCapacity; y < wanted; ++y) {
        std::memset(FPage->GetScanLine(y), 0, size_t(FPage->GetRowLen()));
    }
    FCapacity = wanted;
}

void TScanPageAssembler::ConvertRow()
{
    const int32_t y = FFrameRow++;
    if (FFrames == 0) {
        // The page's first frame decides its height: rows past the announced height, or past
        // what any page may have, are dropped.
        if ((FAnnouncedRows > 0 && y >= FAnnouncedRows) || y >= MaxRows) {
            return;
        }
        if (y >= FCapacity) {
            Grow();
        }
    } else if (y >= FRowsDone) {
        return;
    }
    const int32_t width = FPage->GetWidth();
    const uint8_t* line = FLine.data();
    uint8_t* row = FPage->GetScanLine(y);
    if (FBitsPerPixel == 1) {
        for (int32_t i = 0; i < (width + 7) / 8; ++i) {
            row[i] = uint8_t(~line[i]);
        }
    } else {
        const int32_t depth = FFrame.depth;
        // Sample c of pixel x. At 1 bit a set bit is full intensity in colour.
        auto sample = [&](int64_t x, int32_t c) -> uint8_t {
            if (depth == 8) {
                return line[x * FChannels + c];
            }
            if (depth == 16) {
                uint16_t value;
                std::memcpy(&value, line + (x * FChannels + c) * 2, 2);
                return uint8_t(value >> 8);
            }
            return ((line[(x >> 3) * FChannels + c] >> (7 - (x & 7))) & 1) != 0 ? 255 : 0;
        };
        auto* pixels = reinterpret_cast<TRGB*>(row);
        for (int32_t x = 0; x < width; ++x) {
            if (FChannels == 3) {
                pixels[x].r = sample(x, 0);
                pixels[x].g = sample(x, 1);
                pixels[x].b = sample(x, 2);
            } else if (FChannel < 0) {
                const uint8_t grey = sample(x, 0);
                pixels[x] = TRGB{grey, grey, grey};
            } else {
                uint8_t* channels[3] = {&pixels[x].r, &pixels[x].g, &pixels[x].b};
                *channels[FChannel] = sample(x, 0);
            }
        }
    }
    FRowsDone = std::max(FRowsDone, y + 1);
}

bool TScanPageAssembler::EndFrame()
{
    FLineFill = 0;
    ++FFrames;
    return FChannel < 0 || FFrame.last_frame != SANE_FALSE || FFrames >= 3;
}

std::unique_ptr<TKVBitmap> TScanPageAssembler::TakePage()
{
    std::unique_ptr<TKVBitmap> page = std::move(FPage);
    if (page != nullptr && FRowsDone > 0) {
        page->SetHeight(FRowsDone);
    } else {
        page.reset();
    }
    FRowsDone = 0;
    FCapacity = 0;
    FFrames = 0;
    FChannel = -1;
    FLine.clear();
    return page;
}

bool WritePageBmp(TStream& stream, TScannedPage& page)
{
    TIOParamsVals params;
    params.DpiX = page.DpiX;
    params.DpiY = page.DpiY;
    // Line art stays one bit a pixel, grey one byte; colour takes three.
    params.BitsPerSample = page.BitsPerPixel == 1 ? 1 : 8;
    params.SamplesPerPixel = page.BitsPerPixel == 24 ? 3 : 1;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Bmpfilt::BMPWriteStream(stream, *page.Bitmap, params, progress);
    return !aborting;
}

// ---------------------------------------------------------------------------------------------
// The worker

TScanJob::TScanJob(TSaneDevice& device, bool multiPage, int32_t dpiX, int32_t dpiY, int32_t maxPages)
    : FDevice(device), FMultiPage(multiPage), FMaxPages(maxPages), FDpiX(dpiX), FDpiY(dpiY)
{
}

TScanJob::~TScanJob()
{
    Cancel();
    if (FThread.joinable()) {
        FThread.join();
    }
}

void TScanJob::Start()
{
    FThread = std::thread([this] { Run(); });
}

void TScanJob::Cancel()
{
    if (FCancel.exchange(true)) {
        return;
    }
    {
        // A read that waits for the device ends now where the device may end it from here;
        // otherwise the worker stops once its read returns.
        std::lock_guard<std::mutex> lock(FCallLock);
        if (FInRead) {
            FDevice.CancelWaitingRead();
        }
    }
    {
        // A worker between its look at the stop and its wait for a page to be handed on holds
        // this lock: once it is free, the worker waits and the news below reaches it.
        std::lock_guard<std::mutex> lock(FLock);
    }
    FChanged.notify_all();
}

void TScanJob::WaitForNews(int32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return FNews; });
    FNews = false;
}

std::unique_ptr<TScannedPage> TScanJob::TakePage()
{
    std::lock_guard<std::mutex> lock(FLock);
    if (FPages.empty()) {
        return nullptr;
    }
    std::unique_ptr<TScannedPage> page = std::move(FPages.front());
    FPages.pop_front();
    FChanged.notify_all();
    return page;
}

void TScanJob::PageDone()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        ++FPagesDone;
    }
    FChanged.notify_all();
}

bool TScanJob::Done() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FFinished && FPages.empty();
}

SANE_Status TScanJob::Status() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FStatus;
}

int32_t TScanJob::PagesRead() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FPagesRead;
}

SANE_Status TScanJob::ReadPage(TScanPageAssembler& assembler)
{
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        SANE_Status status = FDevice.Start();
        if (status != SANE_STATUS_GOOD) {
            return status;
        }
        SANE_Parameters parameters{};
        status = FDevice.Parameters(parameters);
        if (status != SANE_STATUS_GOOD) {
            return status;
        }
        if (!assembler.BeginFrame(parameters)) {
            return SANE_STATUS_INVAL;
        }
        FPercent = 0;
        int32_t idleReads = 0;
        for (;;) {
            int32_t length = 0;
            {
                std::lock_guard<std::mutex> lock(FCallLock);
                if (FCancel) {
                    return SANE_STATUS_CANCELLED;
                }
                FInRead = true;
            }
            status = FDevice.Read(buffer.data(), int32_t(buffer.size()), length);
            {
                std::lock_guard<std::mutex> lock(FCallLock);
                FInRead = false;
            }
            if (status == SANE_STATUS_EOF) {
                break;
            }
            if (status != SANE_STATUS_GOOD) {
                return status;
            }
            if (length == 0) {
                // A device that has nothing yet: wait a little rather than spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(++idleReads, 10)));
                continue;
            }
            idleReads = 0;
            assembler.Feed(buffer.data(), size_t(length));
            if (assembler.AnnouncedRows() > 0) {
                FPercent = int32_t(int64_t(assembler.FrameRowsDone()) * 100 / assembler.AnnouncedRows());
            }
        }
        if (assembler.EndFrame()) {
            return SANE_STATUS_GOOD;
        }
    }
}

void TScanJob::Run()
{
    SANE_Status status = SANE_STATUS_GOOD;
    for (;;) {
        if (FCancel) {
            status = SANE_STATUS_CANCELLED;
            break;
        }
        TScanPageAssembler assembler;
        status = ReadPage(assembler);
        if (FCancel) {
            status = SANE_STATUS_CANCELLED;
            break;
        }
        if (status == SANE_STATUS_NO_DOCS && PagesRead() > 0) {
            status = SANE_STATUS_GOOD; // the feeder ran empty after its last page
            break;
        }
        if (status != SANE_STATUS_GOOD) {
            break;
        }
        auto page = std::make_unique<TScannedPage>();
        page->BitsPerPixel = assembler.BitsPerPixel();
        page->Bitmap = assembler.TakePage();
        page->DpiX = FDpiX;
        page->DpiY = FDpiY;
        if (page->Bitmap == nullptr) {
            status = SANE_STATUS_IO_ERROR; // a page without a single row
            break;
        }
        {
            std::lock_guard<std::mutex> lock(FLock);
            FPages.push_back(std::move(page));
            ++FPagesRead;
            FNews = true;
        }
        FChanged.notify_all();
        if (OnNews) {
            OnNews();
        }
        if (!FMultiPage || PagesRead() >= FMaxPages) {
            break;
        }
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&] { return FPagesDone >= FPagesRead || FCancel; });
    }
    // Ends the batch: the device is ready for the next one, or stops the page it was sending.
    FDevice.Cancel();
    Finish(status);
}

void TScanJob::Finish(SANE_Status status)
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStatus = status;
        FFinished = true;
        FNews = true;
    }
    FChanged.notify_all();
    if (OnNews) {
        OnNews();
    }
}

// ---------------------------------------------------------------------------------------------
// The modal wait

void RunModalScan(TScanJob& job, const std::function<bool(TScannedPage& page)>& OnPage,
                  const std::function<void(int32_t percent)>& Progress,
                  const std::function<bool()>& ShouldStop)
{
    const bool onMainThread = GetCurrentThreadId() == MainThreadID;
    std::unique_ptr<TTaskWindowsDisabler> disabled;
    if (onMainThread) {
        disabled = std::make_unique<TTaskWindowsDisabler>();
    }
    bool stopped = false;
    // A page starts at 0 for its watcher, however far the worker got before this thread ran.
    int32_t lastPercent = -1;
    if (Progress) {
        lastPercent = 0;
        Progress(0);
    }
    while (!job.Done()) {
        // Progress first: its handler may ask to stop, which keeps back a page that is waiting.
        const int32_t percent = job.Percent();
        if (!stopped && Progress && percent != lastPercent) {
            lastPercent = percent;
            Progress(percent);
        }
        if (!stopped && ShouldStop && ShouldStop()) {
            stopped = true;
            job.Cancel();
        }
        while (std::unique_ptr<TScannedPage> page = job.TakePage()) {
            if (!stopped && !OnPage(*page)) {
                stopped = true;
                job.Cancel();
            }
            if (!stopped) {
                job.PageDone();
            }
        }
        if (onMainThread) {
            if (Application != nullptr) {
                Application->ProcessMessages();
            }
            TThread::CheckSynchronize();
        }
        job.WaitForNews(10);
    }
}

} // namespace Korvaneio::detail
