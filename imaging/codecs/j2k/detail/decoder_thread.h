// The thread that decodes a JPEG 2000 picture's large tiles or windows, one after another, while
// the loading thread writes the one before into the bitmap and keeps the caller informed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace Kvj2000::detail {

// How long the loading thread waits for a decoder without calling the caller's progress event: a
// caller that stops a load from that event, or keeps a window alive through it, is heard this
// often, however long a tile or a window takes to decode.
constexpr int32_t ProgressWhileWaitingMs = 50;

// Runs each decoding of a load on one thread of its own, started with the first and kept for the
// load; inline, each runs at once on the calling thread. The loading thread starts a decoding,
// does its own work meanwhile, and waits for it before it starts the next.
class TDecoderThread
{
public:
    explicit TDecoderThread(bool apart) : FApart(apart) {}
    // Waits for the decoding that runs, then ends the thread.
    ~TDecoderThread();
    TDecoderThread(const TDecoderThread&) = delete;
    TDecoderThread& operator=(const TDecoderThread&) = delete;

    void Start(std::function<void()> decode);
    // Waits for the decoding started last, calling `waiting` every ProgressWhileWaitingMs
    // meanwhile; what the decoding threw comes out here.
    void Wait(const std::function<void()>& waiting);

private:
    void Run();

    bool FApart;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::function<void()> FDecode;
    bool FBusy = false;
    bool FQuit = false;
    std::exception_ptr FError;
    std::jthread FThread;
};

} // namespace Kvj2000::detail
