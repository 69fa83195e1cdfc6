// Acquiring into the thumbnail view through the multi-image I/O component from the scanner
// library's test device: the ten pages of its feeder land in order at the selected image (or at
// the end), equal to scanimage's scan, each with its own record; pages taken by the application,
// modeless acquisition, feeder failures, and the resolution adjustment of each page.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvanemio.h"
#include "imaging/io/kvwia.h"
#include "platform/forms/application.h"
#include "platform/forms/form.h"
#include "platform/forms/scripted_dialogs.h"
#include "tests/io/io_test_support.h"
#include "tests/io/scan_test_support.h"

#include <functional>
#include <gtest/gtest.h>

using namespace kviotest;

namespace {

class ScanMio : public ::testing::Test
{
protected:
    TTestScanners FScanners;
    TScriptedDialogService FDialogs;
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    TKorvaneMView* view = nullptr;
    TKorvaneMIO* mio = nullptr;

    void SetUp() override
    {
        view = new TKorvaneMView(form.get());
        view->SetParent(form.get());
        view->SetBounds(0, 0, 300, 200);
        mio = new TKorvaneMIO(form.get());
        mio->SetAttachedMView(view);
        mio->TWainParams().VisibleDialog = false;
    }
    void TearDown() override { form.reset(); }

    // Small pictures, each of one grey telling them apart.
    void AddImages(int32_t count)
    {
        for (int32_t i = 0; i < count; ++i) {
            const int32_t at = view->GetImageCount();
            view->InsertImageEx(at);
            TKVBitmap b;
            b.Allocate(3, 3, kv24RGB);
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 3; ++x)
                    b.SetPixels_kv24RGB(x, y, TRGB{uint8_t(at * 9 + 1), 0, 0});
            view->SetKVBitmapEx(at, &b);
        }
    }
    // The grey AddImages gave image idx, or -1.
    int32_t Mark(int32_t idx)
    {
        TKVBitmap b;
        view->CopyToKVBitmap(idx, &b);
        if (b.GetWidth() != 3) {
            return -1;
        }
        b.SetPixelFormat(kv24RGB);
        return (b.GetPixels_kv24RGB(1, 1).b - 1) / 9;
    }
};

} // namespace

TEST_F(ScanMio, FeederPagesLandInOrderAtTheSelectedImageOrAtTheEnd)
{
    const TPnm reference = ScanImage("");
    ASSERT_NE(reference.Kind, 0);
    struct Case
    {
        TKVAcquireApi api;
        int32_t selected;
        int32_t first; // where the first page lands
    };
    const Case cases[] = {
        {kvaTWain, 2, 2},
        {kvaTWain, -1, 4},
        {kvaWIA, 1, 1},
        {kvaWIA, -1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "api " << int(c.api) << " selected " << c.selected);
        view->Clear();
        AddImages(4);
        view->SetSelectedItem(c.selected);
        ASSERT_TRUE(mio->Acquire(c.api));
        EXPECT_FALSE(mio->Aborting);
        ASSERT_EQ(view->GetImageCount(), 14);
        ASSERT_EQ(mio->GetParamsCount(), 14);
        std::string why;
        for (int32_t p = 0; p < 10; ++p) {
            const int32_t idx = c.first + p;
            TKVBitmap page;
            view->CopyToKVBitmap(idx, &page);
            EXPECT_TRUE(SameAsPnm(page, reference, why)) << "page " << p << ": " << why;
            EXPECT_EQ(view->GetImageDelayTime(idx), 100);
            const TIOParamsVals* record = mio->GetParams(idx);
            EXPECT_EQ(record->Width, 157);
            EXPECT_EQ(record->Height, 196);
            EXPECT_EQ(record->DpiX, 50);
            EXPECT_EQ(record->DpiY, 50);
            EXPECT_EQ(record->BitsPerSample, 8);
            EXPECT_EQ(record->SamplesPerPixel, 1);
            EXPECT_EQ(record->GIF_ImageIndex, idx);
        }
        for (int32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(Mark(i < c.first ? i : i + 10), i) << "old image " << i;
        }
    }
}

// The page's record is copied from its neighbour when inserted; the adjustment must see the
// page's own resolution, not the neighbour's.
TEST_F(ScanMio, ResolutionAdjustmentUsesThePagesOwnValues)
{
    AddImages(1);
    mio->GetParams(0)->DpiX = 100;
    mio->GetParams(0)->DpiY = 50;
    view->SetSelectedItem(0);
    mio->AutoAdjustDPI = true;
    for (TKVAcquireApi api : {kvaTWain, kvaWIA}) {
        SCOPED_TRACE(int(api));
        ASSERT_TRUE(mio->Acquire(api));
        TKVBitmap page;
        view->CopyToKVBitmap(0, &page);
        EXPECT_EQ(page.GetWidth(), 157);
        EXPECT_EQ(page.GetHeight(), 196);
        EXPECT_EQ(mio->GetParams(0)->DpiX, 50);
        view->Clear();
        AddImages(1);
        mio->GetParams(0)->DpiX = 100;
        mio->GetParams(0)->DpiY = 50;
        view->SetSelectedItem(0);
    }
}

TEST_F(ScanMio, PagesTakenByTheApplicationOrDuringAModelessScanAreNotStoredTwice)
{
    AddImages(2);
    int32_t seen = 0;
    mio->OnAcquireBitmap = [&](TObject* sender, TKVBitmap* page, bool& Handled) {
        EXPECT_EQ(sender, mio);
        EXPECT_EQ(page->GetHeight(), 196);
        ++seen;
        Handled = true;
    };
    EXPECT_TRUE(mio->Acquire(kvaTWain));
    EXPECT_EQ(seen, 10);
    EXPECT_EQ(view->GetImageCount(), 2);

    // Modeless: Acquire meanwhile does nothing; the pages arrive while the loop runs.
    mio->OnAcquireBitmap = nullptr;
    view->SetSelectedItem(1);
    ASSERT_TRUE(mio->AcquireOpen());
    EXPECT_FALSE(mio->AcquireOpen());
    EXPECT_TRUE(mio->Acquire(kvaTWain));
    EXPECT_TRUE(PumpUntil([&] { return !mio->AcquireIsOpen(); }));
    EXPECT_EQ(view->GetImageCount(), 12);
    EXPECT_EQ(Mark(0), 0);
    EXPECT_EQ(Mark(11), 1);
    EXPECT_EQ(mio->GetParams(5)->Height, 196);

    TKorvaneMIO detached(nullptr);
    EXPECT_FALSE(detached.AcquireOpen());
}

TEST_F(ScanMio, TheSourceDialogChoosesTheSourceThatScans)
{
    FDialogs.AnswerScanSource(1);
    EXPECT_TRUE(mio->SelectAcquireSource(kvaTWain));
    EXPECT_EQ(mio->TWainParams().SelectedSource(), 1);
    EXPECT_FALSE(mio->SelectAcquireSource(TKVAcquireApi(7)));
    EXPECT_EQ(mio->TWainParams().SelectedSource(), 1);
    AddImages(1);
    ASSERT_TRUE(mio->Acquire(kvaTWain));
    EXPECT_EQ(view->GetImageCount(), 11);
}

TEST_F(ScanMio, AJammedFeederGivesFalseAndLeavesTheView)
{
    AddImages(3);
    mio->TWainParams().VisibleDialog = true;
    FDialogs.AnswerScan({{"read-return-value", "SANE_STATUS_JAMMED"}});
    EXPECT_FALSE(mio->Acquire(kvaTWain));
    EXPECT_TRUE(mio->Aborting);
    EXPECT_EQ(mio->TWainParams().LastError, 20);
    EXPECT_EQ(mio->TWainParams().LastErrorStr, "Transfer failed because of a feeder error");
    EXPECT_EQ(view->GetImageCount(), 3);

    FDialogs.AnswerScan({{"read-return-value", "SANE_STATUS_JAMMED"}});
    ASSERT_TRUE(mio->GetWIAParams()->ShowAcquireDialog(true));
    EXPECT_FALSE(mio->Acquire(kvaWIA));
    EXPECT_TRUE(mio->Aborting);
    EXPECT_EQ(view->GetImageCount(), 3);
    EXPECT_EQ(mio->GetParamsCount(), 3);
}
