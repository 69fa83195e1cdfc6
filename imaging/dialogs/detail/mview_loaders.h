// The background loaders of TKorvaneMView: queued requests, running loads and finished results.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/threads.h"

#include <atomic>
#include <memory>
#include <string>

enum TKVMLoaderState : int32_t
{
    lsLoading,
    lsCancelled,
    lsFinished
};

struct TKorvaneMView::TRequest
{
    uint64_t Serial = 0;
    std::string FileName;
    TColor Background = clBtnFace;
    TKVMLoadSettings Settings;
};

struct TKorvaneMView::TLoader
{
    uint64_t Serial = 0;
    TKVMLoadSettings Settings;
    std::unique_ptr<TKVBitmap> Bitmap = std::make_unique<TKVBitmap>();
    std::unique_ptr<TKorvaneIO> IO = std::make_unique<TKorvaneIO>(nullptr);
    std::atomic<int32_t> State{lsLoading};
};

struct TKorvaneMView::TResult
{
    uint64_t Serial = 0;
    bool Failed = false;
    std::unique_ptr<TKVBitmap> Bitmap;
    std::unique_ptr<TIOParamsVals> Params;
    TColor Background = clBtnFace;
};

class TKorvaneMView::TStarter : public TThread
{
public:
    explicit TStarter(TKorvaneMView* View) : TThread(true), FView(View) {}

protected:
    void Execute() override
    {
        while (!Terminated()) {
            FView->StartLoads();
            std::unique_lock<std::mutex> lock(FView->FWakeLock);
            FView->FWake.wait(lock, [this] { return FView->FWakePending || Terminated(); });
            FView->FWakePending = false;
        }
    }

private:
    TKorvaneMView* FView;
};
