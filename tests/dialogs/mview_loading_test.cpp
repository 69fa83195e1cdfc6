// Background loading of file-named images, watched through a slow picture format that counts
// its concurrent reads: the pool limit, loads dropped and cancelled by scrolling, structural
// changes while loads run, failures, clearing and destroying the view mid-load. The waits'
// timeouts only catch a hang: each wait takes well under a second on a quiet machine.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "tests/dialogs/mview_test_support.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace mviewtest;

namespace {

// 5 columns by 5 rows of cells are visible in 540 x 440.
constexpr int32_t kWidth = 540;
constexpr int32_t kHeight = 440;

struct LoadingView : MViewOnForm
{
    kvtest::TempFolder folder;
    std::vector<std::string> files;

    explicit LoadingView(int32_t count, int32_t w = 40, int32_t h = 30) : MViewOnForm(kWidth, kHeight)
    {
        view->SetGridWidth(-1);
        files = WriteSlowFiles(folder, count, w, h);
        view->LockPaint();
        for (int32_t i = 0; i < count; ++i) {
            view->InsertImageEx(i);
            view->SetImageFileName(i, files[i]);
        }
        view->UnLockPaint();
    }
    // Paints until every visible cell holds its image (results arrive as queued messages).
    bool PaintUntilStored(int32_t timeoutMs = 10000)
    {
        return Simulate::WaitUntil(
            [&] {
                Paint();
                return AllVisibleStored();
            },
            timeoutMs);
    }
};

int32_t IdOfFile(const std::string& name)
{
    const size_t p = name.rfind("/p");
    return std::stoi(name.substr(p + 2));
}

TEST(MViewLoading, PoolOfFiveStartsFiveAndStoresTheRestWithoutInput)
{
    SlowFormat slow;
    LoadingView v(20);
    slow.Hold = true;
    v.Paint();
    ASSERT_TRUE(Simulate::WaitUntil([&] { return slow.Running.load() == 5; }));
    Sleep(60);
    EXPECT_EQ(slow.Running.load(), 5);
    EXPECT_EQ(v.view->RunningCount(), 5);
    EXPECT_EQ(v.view->QueuedCount(), 15);
    slow.Hold = false;
    // No further paint: each finished load is stored from its queued message.
    EXPECT_TRUE(Simulate::WaitUntil([&] { return v.AllVisibleStored(); }, 10000));
    EXPECT_EQ(slow.Peak.load(), 5);
    EXPECT_EQ(slow.Reads.load(), 20);
    TKorvaneMIO* mio = v.view->GetKorvaneMIO();
    for (int32_t i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Same(StoredColour(v.view, i), SlowFormat::ColourOf(i)));
        EXPECT_EQ(v.view->GetImageOriginalWidth(i), 40);
        EXPECT_EQ(mio->GetParams(i)->Width, 40);
    }
}

TEST(MViewLoading, PoolSizesAndTheSelectedImage)
{
    struct Case
    {
        int32_t pool;
        int32_t selected;
    };
    for (const Case c : {Case{0, -1}, Case{1, 7}, Case{8, 3}}) {
        SCOPED_TRACE(testing::Message() << "pool " << c.pool);
        SlowFormat slow;
        slow.DelayMs = 1;
        LoadingView v(12);
        v.view->SetThreadPoolSize(c.pool);
        v.view->SetSelectedItemNU(c.selected);
        v.Paint();
        // Pool 0 loads every visible image while painting; the selected image always is.
        if (c.pool == 0) {
            EXPECT_TRUE(v.AllVisibleStored());
            EXPECT_EQ(slow.Peak.load(), 1);
        }
        if (c.selected >= 0) {
            EXPECT_TRUE(v.view->IsImageStored(c.selected));
        }
        EXPECT_TRUE(v.PaintUntilStored());
        // The selected image's own read may run beside the pool's.
        EXPECT_LE(slow.Peak.load(), std::max(c.pool, 1) + (c.selected >= 0 && c.pool > 0 ? 1 : 0));
        EXPECT_EQ(slow.Reads.load(), 12);
    }
}

TEST(MViewLoading, ScrollingReadsOnlyVisibleImagesAndReloadsThoseThatReturn)
{
    SlowFormat slow;
    LoadingView v(1000, 8, 8);
    std::set<int32_t> everVisible;
    const auto paint = [&] {
        v.Paint();
        for (int32_t i = 0; i < v.view->GetImageCount(); ++i)
            if (v.view->IsVisible(i))
                everVisible.insert(i);
    };
    // The first page starts loading and is held; scrolling away cancels it.
    slow.Hold = true;
    paint();
    ASSERT_TRUE(Simulate::WaitUntil([&] { return slow.Running.load() == 5; }));
    for (int32_t page = 1; page <= 40; ++page) {
        v.view->SetViewY(page * 104 * 4);
        paint();
    }
    EXPECT_TRUE(Simulate::WaitUntil([&] { return slow.Cancelled.load() >= 5; }));
    slow.Hold = false;
    slow.DelayMs = 1;
    EXPECT_TRUE(v.PaintUntilStored());
    // Back at the top: the cancelled images are queued and read again.
    v.view->SetViewY(0);
    paint();
    EXPECT_TRUE(v.PaintUntilStored());
    // The held first page was read twice (cancelled, then again); the rest of the first page
    // at most twice, every other picture at most once, and only pictures that were visible at
    // some paint.
    for (int32_t id = 0; id < 1000; ++id) {
        if (id < 5) {
            EXPECT_EQ(slow.ReadsOf(id), 2) << id;
        } else if (slow.ReadsOf(id) > 0) {
            EXPECT_LE(slow.ReadsOf(id), id < 25 ? 2 : 1) << id;
            EXPECT_TRUE(everVisible.count(id)) << "read " << id << " that was never visible";
        }
    }
    EXPECT_LE(slow.Reads.load(), int32_t(everVisible.size()) + 25);
    for (int32_t i = 0; i < 25; ++i)
        EXPECT_TRUE(Same(StoredColour(v.view, i), SlowFormat::ColourOf(i))) << i;
}

TEST(MViewLoading, InsertsDeletesAndMovesDuringLoadsNeverMisplaceAPicture)
{
    SlowFormat slow;
    LoadingView v(20);
    slow.Hold = true;
    v.Paint();
    ASSERT_TRUE(Simulate::WaitUntil([&] { return slow.Running.load() == 5; }));
    // Images 0..4 are loading: move, delete and insert around them.
    v.view->InsertImageEx(0); // an entry without a file in front
    v.view->DeleteImage(3);   // the entry of p2, whose load is running
    v.view->MoveImage(1, 12); // p0 moves behind others
    v.view->MoveImage(15, 2);
    v.view->InsertImageEx(5);
    slow.Hold = false;
    EXPECT_TRUE(v.PaintUntilStored());
    ASSERT_EQ(v.view->GetImageCount(), 21);
    TKorvaneMIO* mio = v.view->GetKorvaneMIO();
    ASSERT_EQ(mio->GetParamsCount(), 21);
    for (int32_t i = 0; i < v.view->GetImageCount(); ++i) {
        const std::string name = v.view->GetImageFileName(i);
        if (name.empty()) {
            EXPECT_FALSE(v.view->IsImageStored(i)) << i;
            continue;
        }
        SCOPED_TRACE(name);
        EXPECT_TRUE(Same(StoredColour(v.view, i), SlowFormat::ColourOf(IdOfFile(name))));
        EXPECT_EQ(mio->GetParams(i)->FileName, name);
    }
}

// Clear cancels the running loads and waits for them without the lock, ten times 100 ms at most:
// the waits it asks for are counted, so that a busy machine changes nothing. The loads ignore the
// cancel until Clear first waits: loads that then stop cost that one wait, loads that go on
// ignoring it all ten. A Pause a caller emptied waits as the system does.
TEST(MViewLoading, ClearAndDestroyWhileLoadsRun)
{
    SlowFormat slow;
    const struct
    {
        const char* loads;
        bool stubborn;
        bool pauseEmptied;
        size_t waits;
    } cases[] = {{"that stop once Clear waits", false, false, 1},
                 {"that ignore the cancel", true, false, 10},
                 {"that ignore the cancel, Pause emptied", true, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("loads ") + c.loads);
        std::vector<uint32_t> waits;
        LoadingView v(20);
        v.view->Pause = [&](uint32_t ms) {
            waits.push_back(ms);
            if (!c.stubborn && waits.size() == 1) {
                slow.Stubborn = false;
                for (int32_t k = 0; k < 10000 && v.view->RunningCount() > 0; ++k) {
                    Sleep(1);
                }
            }
        };
        if (c.pauseEmptied) {
            v.view->Pause = nullptr;
        }
        slow.Hold = true;
        slow.Stubborn = true;
        v.Paint();
        ASSERT_TRUE(Simulate::WaitUntil([&] { return slow.Running.load() == 5; }));
        EXPECT_NO_THROW(v.view->Clear());
        EXPECT_EQ(waits, std::vector<uint32_t>(c.waits, 100u));
        EXPECT_EQ(v.view->GetImageCount(), 0);
        EXPECT_EQ(v.view->QueuedCount(), 0);
        v.Paint();
        slow.Hold = false;
    }
    // Destroyed with loads held mid-read: the view cancels them and waits for their workers.
    slow.Stubborn = false;
    slow.Hold = true;
    slow.Running = 0;
    {
        LoadingView v(20);
        v.Paint();
        ASSERT_TRUE(Simulate::WaitUntil([&] { return slow.Running.load() == 5; }));
    }
    EXPECT_EQ(slow.Running.load(), 0);
    slow.Hold = false;
}

TEST(MViewLoading, FailuresShowTheMarkOrDisappear)
{
    struct Case
    {
        int32_t pool;
        bool removeCorrupted;
        bool handled;
    };
    const Case cases[] = {
        {0, false, false}, {5, false, false}, {0, true, false}, {5, true, false}, {5, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pool " << c.pool << " remove " << c.removeCorrupted);
        SlowFormat slow;
        slow.DelayMs = 1;
        LoadingView v(3);
        const std::string bad[] = {v.folder.Write("bad.kvs", "KVS1 not a picture"),
                                   v.folder.Write("bad.jpg", std::string("\xFF\xD8\xFF\xE0garbage", 12)),
                                   v.folder.Write("empty.png", "")};
        for (const std::string& name : bad) {
            const int32_t i = v.view->GetImageCount();
            v.view->InsertImageEx(i);
            v.view->SetImageFileName(i, name);
        }
        v.view->SetThreadPoolSize(c.pool);
        v.view->RemoveCorrupted = c.removeCorrupted;
        int32_t wrong = 0;
        if (c.handled) {
            v.view->OnWrongImage = [&](TObject*, TKVBitmap* out, int32_t, bool& handled) {
                ++wrong;
                out->Fill(0);
                handled = true;
            };
        }
        EXPECT_TRUE(Simulate::WaitUntil(
            [&] {
                v.Paint();
                return v.AllVisibleStored() && v.view->GetImageCount() == (c.removeCorrupted ? 3 : 6);
            },
            10000));
        for (int32_t i = 0; i < 3; ++i)
            EXPECT_TRUE(Same(StoredColour(v.view, i), SlowFormat::ColourOf(i)));
        if (!c.removeCorrupted) {
            for (int32_t i = 3; i < 6; ++i) {
                const TRGB centre = StoredColour(v.view, i);
                if (c.handled) {
                    EXPECT_TRUE(Same(centre, TRGB{0, 0, 0}));
                }
                EXPECT_EQ(v.view->GetImageWidth(i), 100);
            }
            EXPECT_EQ(wrong, c.handled ? 3 : 0);
        }
    }
}

} // namespace

// Pictures the view loaded itself, saved as one file of pages: the pages come in view order with
// each picture's own size, whether the loads ran in the background or while saving.
TEST(MViewLoading, LoadedPicturesSaveAsOneFileInViewOrder)
{
    ASSERT_TRUE(kvtest::Installed("identify"));
    struct GifCoder
    {
        TGIFLZWCompFunc saved = Korvaneio::DefGIF_LZWCOMPFUNC;
        GifCoder() { Korvaneio::DefGIF_LZWCOMPFUNC = Giflzw::GIFLZWCompress; }
        ~GifCoder() { Korvaneio::DefGIF_LZWCOMPFUNC = saved; }
    } coder;
    const std::pair<int32_t, int32_t> sizes[] = {{40, 30}, {12, 25}, {25, 12}, {8, 14}, {31, 9}};
    for (bool background : {true, false}) {
        for (const char* ext : {".tif", ".gif"}) {
            SCOPED_TRACE(testing::Message()
                         << ext << (background ? " loaded in the background" : " loaded while saving"));
            SlowFormat slow;
            slow.DelayMs = 1;
            LoadingView v(0);
            for (int32_t i = 0; i < 5; ++i) {
                v.view->InsertImageEx(i);
                v.view->SetImageFileName(
                    i, v.folder.Write(
                           "p" + std::to_string(i) + ".kvs",
                           SlowFormat::Content(i, sizes[i].first, sizes[i].second, SlowFormat::ColourOf(i))));
            }
            if (background) {
                ASSERT_TRUE(v.PaintUntilStored());
            }
            TKorvaneMIO* mio = v.view->GetKorvaneMIO();
            const std::string file = v.folder.File(std::string("all") + ext);
            mio->SaveToFile(file);
            ASSERT_FALSE(mio->Aborting);
            EXPECT_EQ(kvtest::RunTool("identify -format '%p:%wx%h ' " + file),
                      "0:40x30 1:12x25 2:25x12 3:8x14 4:31x9 ");
            for (int32_t i = 0; i < 5; ++i) {
                EXPECT_EQ(mio->GetParams(i)->TIFF_ImageIndex, i);
                EXPECT_EQ(mio->GetParams(i)->GIF_ImageIndex, i);
            }
        }
    }
}
