// One decoding thread for a JPEG 2000 load.
#include "imaging/codecs/j2k/detail/decoder_thread.h"

#include <chrono>

namespace Kvj2000::detail {

TDecoderThread::~TDecoderThread()
{
    if (!FThread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(FLock);
        FQuit = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void TDecoderThread::Start(std::function<void()> decode)
{
    if (!FApart) {
        try {
            decode();
        } catch (...) {
            FError = std::current_exception();
        }
        return;
    }
    if (!FThread.joinable()) {
        FThread = std::jthread([this] { Run(); });
    }
    {
        std::lock_guard<std::mutex> hold(FLock);
        FDecode = std::move(decode);
        FBusy = true;
    }
    FChanged.notify_all();
}

void TDecoderThread::Wait(const std::function<void()>& waiting)
{
    std::unique_lock<std::mutex> hold(FLock);
    while (!FChanged.wait_for(hold, std::chrono::milliseconds(ProgressWhileWaitingMs),
                              [this] { return !FBusy; })) {
        hold.unlock();
        waiting();
        hold.lock();
    }
    if (FError) {
        std::rethrow_exception(std::exchange(FError, nullptr));
    }
}

void TDecoderThread::Run()
{
    std::unique_lock<std::mutex> hold(FLock);
    while (true) {
        FChanged.wait(hold, [this] { return FQuit || FBusy; });
        if (!FBusy) {
            return;
        }
        std::function<void()> decode = std::move(FDecode);
        hold.unlock();
        try {
            decode();
        } catch (...) {
            hold.lock();
            FError = std::current_exception();
            hold.unlock();
        }
        decode = nullptr;
        hold.lock();
        FBusy = false;
        FChanged.notify_all();
    }
}

} // namespace Kvj2000::detail
