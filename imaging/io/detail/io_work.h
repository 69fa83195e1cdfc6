// Internals of the I/O component shared by its source files: format ids, the request queue that
// serialises the operations of one component, and whole files read and saved.
#pragma once

#include "imaging/io/imscan.h"
#include "platform/core/streams.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class TIOParamsVals;
class TKVBitmap;
class TKVIOThread;
class TKVMask;
class TKorvaneIO;

namespace Korvaneio::detail {

enum TFormatId : int32_t
{
    fmtUnknown = 0,
    fmtTIFF = 1,
    fmtGIF = 2,
    fmtJPEG = 3,
    fmtPCX = 4,
    fmtBMP = 5,
    fmtICO = 6,
    fmtCUR = 7,
    fmtPNG = 8,
    fmtWMF = 9,
    fmtEMF = 10,
    fmtTGA = 11,
    fmtPXM = 12,
    fmtJP2 = 13,
    fmtJ2K = 14,
    fmtAVI = 15,
    fmtWBMP = 16
};

// What a parameter record asks of the component that owns it and of the format table.
bool OwnerImageSize(TKorvaneIO* owner, int32_t& width, int32_t& height);
bool OwnerViewDpi(TKorvaneIO* owner, int32_t& dpiX, int32_t& dpiY);
bool FormatDisplayName(int32_t fileType, std::string& fullName, std::string& firstExt);

// A 12-byte header before JPEG, TIFF or PCX data in a stream: a four-letter tag and a NUL, three
// zero bytes, and the little-endian int32 length of the data that follows.
constexpr int64_t StreamHeaderSize = 12;

enum class THeaderRead
{
    None,   // no header with that tag: the position is back where it was
    Found,  // the position is after the header
    Corrupt // a header whose length is negative or runs past the stream's end; position after it
};
THeaderRead ReadStreamHeader(TStream& stream, const char* tag, int64_t& dataLength);
// Writes a placeholder and returns where it starts.
int64_t BeginStreamHeader(TStream& stream);
// Fills in the header at start for the data written since; false when the data is too long for
// the length field. The position is left at the end of the data.
bool EndStreamHeader(TStream& stream, int64_t start, const char* tag);

// The workers of one component and the turn-taking of its operations. Every operation runs
// inside the gate; a thread that already holds it enters again freely. Turns are served in the
// order the tickets were taken, so queued requests run in the order they were made.
struct TWorkState
{
    mutable std::mutex Lock;
    std::condition_variable Changed;
    std::vector<TKVIOThread*> Threads;
    // Thread ids of the listed workers, recorded when each starts running (0 before).
    std::vector<uint32_t> ThreadIds;
    std::atomic<bool> AbortRequested{false};
    // Why the component's last operation failed; written by the thread that holds the gate.
    std::string ErrorText;

    uint64_t NextTicket = 0;
    uint64_t ServingTicket = 0;
    std::set<uint64_t> AbandonedTickets;
    std::thread::id GateOwner;
    int32_t GateDepth = 0;

    // All below take Lock themselves unless their name ends in Locked.
    uint64_t TakeTicketLocked() { return NextTicket++; }
    void AbandonTicketLocked(uint64_t ticket);
    void EnterGate(uint64_t ticket);
    // Enters again when this thread holds the gate, else takes a ticket and waits for its turn.
    void EnterGate();
    void LeaveGate();
    bool HoldsGate() const;
    bool IsWorkerThreadLocked(uint32_t threadId) const;

    // Waits on Changed until done() holds. On the main thread it also runs the calls that
    // workers queue with TThread::Synchronize, which could otherwise wait for it forever.
    void Wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done);
};

// Holds the gate for the length of an operation, which starts with no error text.
class TOperationScope
{
public:
    explicit TOperationScope(TWorkState& work) : FWork(work)
    {
        FWork.EnterGate();
        FWork.ErrorText.clear();
    }
    ~TOperationScope() { FWork.LeaveGate(); }
    TOperationScope(const TOperationScope&) = delete;
    TOperationScope& operator=(const TOperationScope&) = delete;

private:
    TWorkState& FWork;
};

// The whole file in a memory stream, positioned at its start; raises when it cannot be opened.
void LoadWholeFile(const std::string& fileName, TMemoryStream& memory);
// Writes what the memory stream holds as the file through TSafeFileWriter; an empty stream leaves
// the file as it was.
void SaveWholeFile(const std::string& fileName, TMemoryStream& memory);

// Held for the length of a file edit: an edit that ends by an exception (a file that cannot be
// read or written) leaves aborting set, so the finish event and the caller see the failure.
class TAbortOnException
{
public:
    explicit TAbortOnException(bool& aborting) : FAborting(aborting), FExceptions(std::uncaught_exceptions())
    {
    }
    ~TAbortOnException()
    {
        if (std::uncaught_exceptions() > FExceptions) {
            FAborting = true;
        }
    }
    TAbortOnException(const TAbortOnException&) = delete;
    TAbortOnException& operator=(const TAbortOnException&) = delete;

private:
    bool& FAborting;
    int FExceptions;
};

// The TWAIN source-selection dialog over Window; the chosen source becomes the selected one.
bool SelectTWainSource(TKVTWainParams& Params, uintptr_t Window);

// Starts a modeless acquisition with Params' errors and resources cleared; each page is written
// into PageValues before PageCallBack sees it. Nil when no session could be started.
Imscan::TKVProxyWin* OpenTWainSession(const Imscan::TKVTWCloseCallBack& CloseCallBack,
                                      const Imscan::TKVTWMultiCallBack& PageCallBack, TKVTWainParams& Params,
                                      TIOParamsVals* PageValues, TWinControl* Parent);

// A decoder's transparency mask becomes Bitmap's alpha channel, unless every pixel is opaque.
void TakeMaskAsAlpha(TKVBitmap& Bitmap, std::unique_ptr<TKVMask>& Mask);

// A GIF frame that flags a transparent colour but shows no pixel of it (the first frame of an
// animation whose later frames alone use it) is loaded opaque; the flag is cleared from Params so
// that saving the picture again makes no hole of every pixel of that colour. A colour a caller
// makes transparent afterwards still is.
void ForgetUnusedGifTransparency(const TKVBitmap& Bitmap, TIOParamsVals& Params);

// Makes the horizontal and vertical resolution of Params equal by rescaling the shorter side of
// Bitmap (resampled when Filtered), and writes the new size and resolution into Params. Equal or
// unknown resolutions leave both alone.
void AdjustBitmapDPI(TKVBitmap& Bitmap, TIOParamsVals& Params, bool Filtered);

} // namespace Korvaneio::detail
