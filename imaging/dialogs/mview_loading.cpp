// TKorvaneMView: loading file-named images in the background. The painter queues the images of
// visible cells; one starter thread turns queued requests into asynchronous loads, at most
// ThreadPoolSize at a time, each on a TKorvaneIO of its own. A worker only decodes and reduces;
// the result goes back to the user-interface thread through a queued message, which stores it,
// copies its parameters and repaints. Requests and results name their entry by a serial number
// that insertions, deletions and moves leave alone.
#include "imaging/core/message_table.h"
#include "imaging/dialogs/detail/mview_loaders.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"
#include "platform/forms/messages.h"

#include <algorithm>
#include <atomic>

using Zirodevo::gThreadCS;

void TKorvaneMView::StartLoadingThread()
{
    FStarter = std::make_unique<TStarter>(this);
    FStarter->Start();
}

int32_t TKorvaneMView::ThreadPoolSize() const
{
    TCriticalSectionLock lock(gThreadCS);
    return FThreadPoolSize;
}

void TKorvaneMView::SetThreadPoolSize(int32_t Value)
{
    {
        TCriticalSectionLock lock(gThreadCS);
        FThreadPoolSize = std::max(Value, 0);
    }
    WakeStarter();
}

void TKorvaneMView::WakeStarter()
{
    {
        std::lock_guard<std::mutex> lock(FWakeLock);
        FWakePending = true;
    }
    FWake.notify_one();
}

int32_t TKorvaneMView::QueuedCount() const
{
    TCriticalSectionLock lock(gThreadCS);
    return int32_t(FQueue.size());
}

int32_t TKorvaneMView::RunningCount() const
{
    TCriticalSectionLock lock(gThreadCS);
    return int32_t(std::count_if(FLoaders.begin(), FLoaders.end(),
                                 [](const auto& l) { return l->State.load() != lsFinished; }));
}

std::vector<std::unique_ptr<TKorvaneMView::TLoader>> TKorvaneMView::TakeFreeableLoaders()
{
    std::vector<std::unique_ptr<TLoader>> done;
    TCriticalSectionLock lock(gThreadCS);
    for (auto it = FLoaders.begin(); it != FLoaders.end();) {
        if ((*it)->State.load() == lsFinished) {
            done.push_back(std::move(*it));
            it = FLoaders.erase(it);
        } else {
            ++it;
        }
    }
    return done;
}

namespace {

template <class L> void FreeLoaders(std::vector<std::unique_ptr<L>>& loaders)
{
    for (auto& l : loaders) {
        // The worker has called back; wait for it to leave before its component goes.
        l->IO->WaitThreads(false);
        l->IO->SetAttachedKVBitmap(nullptr);
    }
    loaders.clear();
}

} // namespace

// The starter's turn: free what has finished, then start queued loads while the pool has room.
void TKorvaneMView::StartLoads()
{
    auto done = TakeFreeableLoaders();
    FreeLoaders(done);
    TCriticalSectionLock lock(gThreadCS);
    while (!FStarter->Terminated() && !FQueue.empty() && int32_t(FLoaders.size()) < FThreadPoolSize) {
        std::unique_ptr<TRequest> request = std::move(FQueue.front());
        FQueue.erase(FQueue.begin());
        auto loader = std::make_unique<TLoader>();
        TLoader* l = loader.get();
        l->Serial = request->Serial;
        l->Settings = request->Settings;
        TKorvaneIO* io = l->IO.get();
        io->SetAttachedKVBitmap(l->Bitmap.get());
        io->SetReBackground(request->Background);
        if (request->Settings.StoreType == kvtThumb) {
            io->Params().JPEG_Scale = ioJPEG_AUTOCALC;
            io->Params().Width = request->Settings.ThumbWidth;
            io->Params().Height = request->Settings.ThumbHeight;
        } else {
            io->Params().JPEG_Scale = ioJPEG_FULLSIZE;
        }
        // A cancelled load stops its codec from the codec's own thread.
        io->OnProgress = [l](TObject*, int32_t) {
            if (l->State.load() == lsCancelled) {
                l->IO->Aborting = true;
            }
        };
        io->OnFinishWork = [this, l](TObject*) { LoaderFinished(l); };
        io->AsyncMode = true;
        FLoaders.push_back(std::move(loader));
        try {
            io->LoadFromFile(request->FileName);
        } catch (const std::exception&) {
            // A request that could not even be made counts as a failed load.
            if (l->State.load() != lsFinished) {
                LoaderFinished(l);
            }
        }
    }
}

// On the loader's worker: reduce the picture, hand it to the user-interface thread.
void TKorvaneMView::LoaderFinished(TLoader* Loader)
{
    if (Loader->State.load() == lsCancelled) {
        TCriticalSectionLock lock(gThreadCS);
        Loader->State = lsFinished;
        WakeStarter();
        return;
    }
    auto result = std::make_unique<TResult>();
    result->Serial = Loader->Serial;
    TKVBitmap* bitmap = Loader->Bitmap.get();
    result->Failed = Loader->IO->Aborting || bitmap->GetWidth() < 1 || bitmap->GetHeight() < 1;
    if (!result->Failed) {
        try {
            result->Bitmap = KVMPrepareForStore(bitmap, Loader->Settings);
            if (!result->Bitmap) {
                result->Bitmap = std::make_unique<TKVBitmap>();
                result->Bitmap->Assign(bitmap);
            }
        } catch (const std::exception&) {
            result->Failed = true;
            result->Bitmap.reset();
        }
    }
    result->Params = std::make_unique<TIOParamsVals>();
    result->Params->Assign(Loader->IO->Params());
    result->Background = Loader->IO->GetReBackground();
    bool post = false;
    {
        TCriticalSectionLock lock(gThreadCS);
        if (Loader->State.load() != lsCancelled) {
            FResults.push_back(std::move(result));
            post = !FResultPosted;
            FResultPosted = true;
        }
        Loader->State = lsFinished;
    }
    if (post) {
        PostMessage(Handle(), KVM_MVIEW_STORE, 0, 0);
    }
    WakeStarter();
}

void TKorvaneMView::StoreFinishedLoads()
{
    std::vector<std::unique_ptr<TResult>> results;
    {
        TCriticalSectionLock lock(gThreadCS);
        results.swap(FResults);
        FResultPosted = false;
    }
    for (auto& r : results) {
        const int32_t idx = IndexOfSerial(r->Serial);
        if (idx < 0) {
            continue; // the entry went away meanwhile
        }
        PKVImageInfo e = FImages[idx];
        if (e->image != nullptr) {
            continue; // stored meanwhile by a synchronous load
        }
        if (r->Failed) {
            r->Bitmap = std::make_unique<TKVBitmap>();
            DoWrongImage(r->Bitmap.get(), idx);
            e->failed = true;
        }
        GetKorvaneMIO()->AssignParams(idx, *r->Params);
        e->background = r->Background;
        SetKVBitmapEx(idx, r->Bitmap.get());
        if (!r->Failed) {
            const bool jpeg = r->Params->FileType == 3;
            SetImageOriginalWidth(idx, jpeg ? r->Params->JPEG_OriginalWidth : r->Params->Width);
            SetImageOriginalHeight(idx, jpeg ? r->Params->JPEG_OriginalHeight : r->Params->Height);
        }
        // Only the cell changed; the rest of the window stays as drawn.
        InvalidateCell(idx);
    }
}

bool TKorvaneMView::ObtainImageThreaded(int32_t idx)
{
    const PKVImageInfo e = Entry(idx);
    if (e == nullptr) {
        return true;
    }
    bool queued = false;
    {
        TCriticalSectionLock lock(gThreadCS);
        if (e->image != nullptr) {
            return true;
        }
        const uint64_t serial = e->serial;
        if (std::any_of(FQueue.begin(), FQueue.end(), [&](const auto& r) { return r->Serial == serial; }) ||
            std::any_of(FLoaders.begin(), FLoaders.end(),
                        [&](const auto& l) { return l->Serial == serial && l->State.load() == lsLoading; }) ||
            std::any_of(FResults.begin(), FResults.end(),
                        [&](const auto& r) { return r->Serial == serial; })) {
            return true;
        }
        const bool byID = e->ID > -1 && (OnImageIDRequest || OnImageIDRequestEx);
        if (!byID && !e->fileName.empty()) {
            auto request = std::make_unique<TRequest>();
            request->Serial = serial;
            request->FileName = e->fileName;
            request->Background = e->background;
            request->Settings = LoadSettings();
            FQueue.push_back(std::move(request));
            queued = true;
        }
    }
    if (queued) {
        WakeStarter();
    }
    return queued;
}

// Drops queued requests of cells no longer visible and cancels their running loads.
void TKorvaneMView::PruneInvisibleLocked()
{
    TCriticalSectionLock lock(gThreadCS);
    const auto gone = [this](uint64_t serial) {
        const int32_t idx = IndexOfSerial(serial);
        return idx < 0 || !IsVisible(idx);
    };
    FQueue.erase(std::remove_if(FQueue.begin(), FQueue.end(), [&](const auto& r) { return gone(r->Serial); }),
                 FQueue.end());
    for (auto& l : FLoaders) {
        if (l->State.load() == lsLoading && gone(l->Serial)) {
            l->State = lsCancelled;
        }
    }
}

void TKorvaneMView::ClearThreadsAndRequests()
{
    {
        TCriticalSectionLock lock(gThreadCS);
        FQueue.clear();
        for (auto& l : FLoaders) {
            int32_t expected = lsLoading;
            l->State.compare_exchange_strong(expected, lsCancelled);
        }
    }
    // Waits without the lock, so that finishing loaders can take it; about a second at most.
    for (int32_t k = 0; k < 10; ++k) {
        auto done = TakeFreeableLoaders();
        FreeLoaders(done);
        {
            TCriticalSectionLock lock(gThreadCS);
            if (FLoaders.empty()) {
                break;
            }
        }
        PauseFor(100);
    }
}

// Stops the starter, cancels every load, waits for every worker, then frees the loaders.
void TKorvaneMView::StopLoading()
{
    if (FStarter) {
        FStarter->Terminate();
        WakeStarter();
        FStarter->WaitFor();
        FStarter.reset();
    }
    std::vector<std::unique_ptr<TLoader>> loaders;
    {
        TCriticalSectionLock lock(gThreadCS);
        FQueue.clear();
        for (auto& l : FLoaders) {
            int32_t expected = lsLoading;
            l->State.compare_exchange_strong(expected, lsCancelled);
        }
        loaders.swap(FLoaders);
    }
    FreeLoaders(loaders);
    TCriticalSectionLock lock(gThreadCS);
    FResults.clear();
}

void TKorvaneMView::DoWrongImage(TKVBitmap* OutBitmap, int32_t idx)
{
    bool handled = false;
    if (OnWrongImage) {
        OutBitmap->Allocate(FThumbWidth, FThumbHeight, kv24RGB);
        OnWrongImage(this, OutBitmap, idx, handled);
    }
    if (handled) {
        return;
    }
    TBitmap dib;
    dib.SetPixelFormat(pf24bit);
    dib.SetSize(FThumbWidth, FThumbHeight);
    TCanvas* c = dib.Canvas();
    c->Brush()->SetColor(TColor(0xFFFFFF));
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(TRect{0, 0, FThumbWidth, FThumbHeight});
    c->Font()->SetName("Arial");
    c->Font()->SetSize(FThumbHeight);
    c->Font()->SetStyle(TFontStyles{fsBold});
    const TSize size = c->TextExtent("?");
    c->Brush()->SetStyle(bsClear);
    const int32_t x = (FThumbWidth - size.cx) / 2;
    const int32_t y = (FThumbHeight - size.cy) / 2;
    c->Font()->SetColor(TColor(0x808080));
    c->TextOut(x + 3, y + 3, "?");
    c->Font()->SetColor(TColor(0xFF0000));
    c->TextOut(x, y, "?");
    OutBitmap->CopyFromTBitmap(&dib);
}
