// Acquiring through the TWAIN contract from the scanner library's test device: scans equal to
// scanimage's, the settings it negotiates and reads back, feeder batches, failures with their
// condition texts, cancelled dialogs, and the modal wait that keeps the windows disabled.
#include "imaging/core/kvbitmap.h"
#include "imaging/io/detail/sane_scanner.h"
#include "imaging/io/imscan.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/korvane.h"
#include "imaging/view/kvview.h"
#include "platform/forms/application.h"
#include "platform/forms/form.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/graphics/bitmap.h"
#include "tests/io/io_test_support.h"
#include "tests/io/scan_test_support.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace kviotest;

namespace {

class ScanTwain : public ::testing::Test
{
protected:
    TTestScanners FScanners;
    TScriptedDialogService FDialogs;
};

// A view with a bitmap of its own, for modeless acquisition.
class TScanView : public TKVView
{
public:
    TScanView() : TKVView(nullptr) {}
    TBitmap* GetFBitmap() override { return nullptr; }
    TKVBitmap* GetKVBitmap() override { return &FBitmap; }

private:
    TKVBitmap FBitmap;
};

} // namespace

TEST(ScanPages, APageHoldsWhatItsFramesSentWithinTheirLimits)
{
    struct Frame
    {
        SANE_Frame Format;
        int32_t Depth;
        int32_t BytesPerLine;
        int32_t PixelsPerLine;
        int32_t Lines;
        std::vector<uint8_t> Data;
        bool Last = true;
    };
    struct Case
    {
        const char* Name;
        std::vector<Frame> Frames;
        int32_t Height; // 0: no page
        TKVPixelFormat Format;
        TRGB LastPixel; // of the last row
    };
    const std::vector<uint8_t> rows = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    const Case cases[] = {
        {"rows past the announced height", {{SANE_FRAME_GRAY, 8, 2, 2, 2, rows}}, 2, kv24RGB, {13, 13, 13}},
        {"unknown height", {{SANE_FRAME_GRAY, 8, 2, 2, -1, rows}}, 5, kv24RGB, {19, 19, 19}},
        {"a partial last row", {{SANE_FRAME_GRAY, 8, 4, 2, -1, rows}}, 2, kv24RGB, {15, 15, 15}},
        {"16-bit samples", {{SANE_FRAME_GRAY, 16, 2, 1, 1, {0x34, 0x12}}}, 1, kv24RGB, {0x12, 0x12, 0x12}},
        {"1-bit grey", {{SANE_FRAME_GRAY, 1, 1, 8, 1, {0x0F}}}, 1, kv1g, {0, 0, 0}},
        {"1-bit colour", {{SANE_FRAME_RGB, 1, 3, 2, 1, {0x40, 0x00, 0xC0}}}, 1, kv24RGB, {255, 0, 255}},
        {"later colours clipped to the first",
         {{SANE_FRAME_RED, 8, 1, 1, -1, {1, 2}, false},
          {SANE_FRAME_GREEN, 8, 1, 1, -1, {3, 4, 5}, false},
          {SANE_FRAME_BLUE, 8, 1, 1, -1, {6, 7, 8}, true}},
         2,
         kv24RGB,
         {7, 4, 2}},
        {"no lines", {{SANE_FRAME_GRAY, 8, 2, 2, 0, rows}}, 0, kvnull, {}},
        {"depth 12", {{SANE_FRAME_GRAY, 12, 3, 2, 1, rows}}, 0, kvnull, {}},
        {"line shorter than its pixels", {{SANE_FRAME_RGB, 8, 5, 2, 1, rows}}, 0, kvnull, {}},
        {"width past the limit", {{SANE_FRAME_GRAY, 8, 1 << 19, 1 << 19, 1, rows}}, 0, kvnull, {}},
        {"a colour after grey",
         {{SANE_FRAME_GRAY, 8, 1, 1, 1, {1}, false}, {SANE_FRAME_RED, 8, 1, 1, 1, {1}}},
         1,
         kv24RGB,
         {1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Korvaneio::detail::TScanPageAssembler assembler;
        for (const Frame& frame : c.Frames) {
            SANE_Parameters parameters{frame.Format,       frame.Last ? SANE_TRUE : SANE_FALSE,
                                       frame.BytesPerLine, frame.PixelsPerLine,
                                       frame.Lines,        frame.Depth};
            if (!assembler.BeginFrame(parameters)) {
                break;
            }
            for (uint8_t byte : frame.Data) {
                assembler.Feed(&byte, 1);
            }
            if (assembler.EndFrame()) {
                break;
            }
        }
        std::unique_ptr<TKVBitmap> page = assembler.TakePage();
        if (c.Height == 0) {
            EXPECT_EQ(page, nullptr);
            continue;
        }
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->GetHeight(), c.Height);
        EXPECT_EQ(page->GetPixelFormat(), c.Format);
        const TRGB last = page->GetPixels(page->GetWidth() - 1, c.Height - 1);
        EXPECT_EQ(last, c.LastPixel) << int(last.r) << " " << int(last.g) << " " << int(last.b);
    }
}

TEST(ScanConditions, EachCodeHasItsTextAndOthersSayTheyAreUnknown)
{
    struct Case
    {
        int32_t Code;
        const char* Text;
    };
    const Case cases[] = {
        {0, "Operation worked."},
        {3, "Source Manager unable to find the specified Source."},
        {6, "Capability not supported by Source or operation (get,set) is not supported on capability, or "
            "capability had dependencies on other capabilities and cannot be operated upon at this time"},
        {7, "Unknown Condition 7"},
        {8, "Unknown Condition 8"},
        {19, "Operation failed because directory is not empty."},
        {20, "Transfer failed because of a feeder error"},
        {21, "Transfer failed because of a feeder error"},
        {22, "Unknown Condition 22"},
        {-1, "Unknown Condition -1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Imscan::KVTW_ConditionText(c.Code), c.Text) << c.Code;
    }
}

TEST_F(ScanTwain, ScansEqualScanimagesForEachModeAndArea)
{
    struct Case
    {
        const char* Name;
        std::function<void(TKVTWainParams&)> Setup;
        TScanSettingChanges Changes;
        const char* Options;
        int32_t BitsPerSample;
        int32_t SamplesPerPixel;
    };
    const Case cases[] = {
        {"grey grid", nullptr, {}, "--mode Gray --depth 8", 8, 1},
        {"colour pattern",
         [](TKVTWainParams& p) { p.PixelType().SetCurrentValue(TWPT_RGB); },
         {{"test-picture", "Color pattern"}},
         "--mode Color --test-picture 'Color pattern'",
         8,
         3},
        {"line art",
         [](TKVTWainParams& p) { p.PixelType().SetCurrentValue(TWPT_BW); },
         {},
         "--depth 1",
         1,
         1},
        {"16-bit grey",
         nullptr,
         {{"depth", "16"}, {"test-picture", "Color pattern"}},
         "--depth 16 --test-picture 'Color pattern'",
         8,
         1},
        {"three-pass colour",
         [](TKVTWainParams& p) { p.PixelType().SetCurrentValue(TWPT_RGB); },
         {{"three-pass", "yes"}, {"test-picture", "Color pattern"}},
         "--mode Color --three-pass=yes --test-picture 'Color pattern'",
         8,
         3},
        {"hand scanner of unknown height", nullptr, {{"hand-scanner", "yes"}}, "--hand-scanner=yes", 8, 1},
        {"75 dpi within a frame",
         [](TKVTWainParams& p) {
             p.XResolution().SetCurrentValue(75);
             p.YResolution().SetCurrentValue(75);
             p.SetAcquireFrameEnabled(true);
             p.SetAcquireFrame(0, 10 / 25.4);
             p.SetAcquireFrame(1, 20 / 25.4);
             p.SetAcquireFrame(2, 50 / 25.4);
             p.SetAcquireFrame(3, 45 / 25.4);
         },
         {},
         "--resolution 75 -l 10 -t 20 -x 40 -y 25",
         8,
         1},
        {"file transfer", [](TKVTWainParams& p) { p.SetFileTransfer(true); }, {}, "", 8, 1},
        {"line art through a file",
         [](TKVTWainParams& p) {
             p.SetFileTransfer(true);
             p.PixelType().SetCurrentValue(TWPT_BW);
         },
         {},
         "--depth 1",
         1,
         1},
        {"colour through a file",
         [](TKVTWainParams& p) {
             p.SetFileTransfer(true);
             p.PixelType().SetCurrentValue(TWPT_RGB);
         },
         {{"test-picture", "Color pattern"}},
         "--mode Color --test-picture 'Color pattern'",
         8,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FDialogs.AnswerScan(c.Changes);
        TKorvaneIO io(nullptr);
        if (c.Setup) {
            c.Setup(io.TWainParams());
        }
        ASSERT_TRUE(io.Acquire(kvaTWain)) << io.TWainParams().LastErrorStr;
        EXPECT_FALSE(io.Aborting);
        const TPnm reference = ScanImage(c.Options);
        ASSERT_NE(reference.Kind, 0);
        std::string why;
        EXPECT_TRUE(SameAsPnm(*io.KVBitmap(), reference, why)) << why;
        EXPECT_EQ(io.Params().BitsPerSample, c.BitsPerSample);
        EXPECT_EQ(io.Params().SamplesPerPixel, c.SamplesPerPixel);
        EXPECT_EQ(io.Params().Width, reference.Width);
        EXPECT_EQ(io.Params().Height, reference.Height);
        EXPECT_EQ(io.Params().DpiX, c.Name == std::string("75 dpi within a frame") ? 75 : 50);
    }
    EXPECT_EQ(FDialogs.PendingAnswers(), 0u);
}

TEST_F(ScanTwain, FileTransferLeavesNoFileBehind)
{
    kvtest::TempFolder temp;
    kvtest::ScopedEnv tmpdir("TMPDIR", temp.Path());
    {
        TKorvaneIO io(nullptr);
        io.TWainParams().CompatibilityMode = true;
        io.TWainParams().VisibleDialog = false;
        ASSERT_TRUE(io.Acquire());
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 157);
    }
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST_F(ScanTwain, DeviceFailuresEndWithTheirConditionAndLeaveTheBitmap)
{
    struct Case
    {
        const char* Status;
        int32_t Code;
        const char* Text;
    };
    const Case cases[] = {
        {"SANE_STATUS_JAMMED", 20, "Transfer failed because of a feeder error"},
        {"SANE_STATUS_NO_DOCS", 20, "Transfer failed because of a feeder error"},
        {"SANE_STATUS_DEVICE_BUSY", 4, "Source is connected to maximum supported number of applications."},
        {"SANE_STATUS_NO_MEM", 2, "Not enough memory to complete operation."},
        {"SANE_STATUS_INVAL", 10, "Data parameter out of supported range."},
        {"SANE_STATUS_IO_ERROR", 1, "General failure. Unload Source immediately."},
        {"SANE_STATUS_CANCELLED", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Status);
        FDialogs.AnswerScan({{"read-return-value", c.Status}});
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 9, 7);
        TKVBitmap before;
        before.Assign(io.KVBitmap());
        EXPECT_FALSE(io.Acquire());
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.TWainParams().LastError, c.Code);
        EXPECT_EQ(io.TWainParams().LastErrorStr, c.Text);
        EXPECT_TRUE(SamePixels(*io.KVBitmap(), before));
    }
}

TEST_F(ScanTwain, CancelledDialogsChangeNothing)
{
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 5, 5);
    TKVBitmap before;
    before.Assign(io.KVBitmap());

    FDialogs.CancelScan({{"test-picture", "Solid white"}});
    EXPECT_FALSE(io.Acquire());
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.TWainParams().LastError, 0);
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), before));

    // The source dialog offers both devices; cancelling it keeps the selection, choosing one
    // makes the next scan use it.
    FDialogs.AnswerScanSource(1);
    EXPECT_TRUE(io.SelectAcquireSource(kvaTWain));
    EXPECT_EQ(io.TWainParams().SelectedSource(), 1);
    FDialogs.CancelScanSource();
    EXPECT_FALSE(io.SelectAcquireSource(kvaTWain));
    EXPECT_EQ(io.TWainParams().SelectedSource(), 1);
    const std::vector<TDialogCall> sources = FDialogs.CallsOf(dkScanSource);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0].Items, (std::vector<std::string>{"Noname frontend-tester (test:0)",
                                                          "Noname frontend-tester (test:1)"}));
    FDialogs.AnswerScan();
    EXPECT_TRUE(io.Acquire());
    EXPECT_EQ(FDialogs.CallsOf(dkScanSettings).back().Text, "Noname frontend-tester (test:1)");
    EXPECT_FALSE(io.SelectAcquireSource(TKVAcquireApi(7)));
}

TEST_F(ScanTwain, ModalScanRunsTheLoopWithTheFormsDisabledAndStopsOnAborting)
{
    TForm* form = new TForm(Application);
    form->Show();
    TKorvaneIO io(nullptr);
    io.TWainParams().VisibleDialog = false;
    std::vector<bool> enabledDuringScan;
    io.OnProgress = [&](TObject*, int32_t per) {
        if (per < 100) {
            enabledDuringScan.push_back(form->Enabled());
        }
    };
    ASSERT_TRUE(io.Acquire());
    ASSERT_FALSE(enabledDuringScan.empty());
    EXPECT_EQ(enabledDuringScan, std::vector<bool>(enabledDuringScan.size(), false));
    EXPECT_TRUE(form->Enabled());

    // Read in small pieces, so that the scan is still running when asked to stop.
    io.TWainParams().VisibleDialog = true;
    FDialogs.AnswerScan({{"read-limit", "yes"}, {"read-limit-size", "256"}});
    FillPattern(*io.KVBitmap(), 3, 3);
    TKVBitmap before;
    before.Assign(io.KVBitmap());
    io.OnProgress = [&](TObject*, int32_t per) {
        if (per < 100) {
            io.Aborting = true;
        }
    };
    EXPECT_FALSE(io.Acquire());
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.TWainParams().LastError, 0);
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), before));
    form->Free();
}

TEST_F(ScanTwain, AcquireIgnoresAsyncModeAndReturnsWithThePicture)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    io.TWainParams().VisibleDialog = false;
    EXPECT_TRUE(io.Acquire());
    EXPECT_EQ(io.GetThreadsCount(), 0);
    EXPECT_EQ(target.GetWidth(), 157);
    EXPECT_EQ(target.GetHeight(), 196);
}

TEST_F(ScanTwain, AModalScanGivesTheAttachedViewItsResolutionAndAFailedOneLeavesIt)
{
    struct Case
    {
        const char* Name;
        TScanSettingChanges Changes;
        bool Acquired;
        int32_t ViewDpi;
    };
    const Case cases[] = {
        {"scanned", {}, true, 75},
        {"jammed", {{"read-return-value", "SANE_STATUS_JAMMED"}}, false, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TScanView view;
        view.SetDPI(300, 300);
        TKorvaneIO io(nullptr);
        io.SetAttachedKorvane(&view);
        io.TWainParams().XResolution().SetCurrentValue(75);
        io.TWainParams().YResolution().SetCurrentValue(75);
        FDialogs.AnswerScan(c.Changes);
        EXPECT_EQ(io.Acquire(), c.Acquired);
        EXPECT_EQ(view.DPIX(), c.ViewDpi);
        EXPECT_EQ(view.DPIY(), c.ViewDpi);
    }
}

TEST_F(ScanTwain, FeederPagesArriveOneByOneWhileTheProgramRunsOn)
{
    const TPnm reference = ScanImage("");
    ASSERT_NE(reference.Kind, 0);
    for (bool handled : {true, false}) {
        SCOPED_TRACE(handled ? "pages handled" : "pages stored");
        TScanView view;
        TKorvaneIO io(nullptr);
        io.SetAttachedKorvane(&view);
        FillPattern(*io.KVBitmap(), 4, 4);
        TKVBitmap before;
        before.Assign(io.KVBitmap());
        io.TWainParams().SetFeederEnabled(true);
        io.TWainParams().VisibleDialog = false;
        int32_t pages = 0;
        std::string why;
        bool allSame = true;
        io.OnAcquireBitmap = [&](TObject* sender, TKVBitmap* page, bool& Handled) {
            EXPECT_EQ(sender, &io);
            allSame = allSame && SameAsPnm(*page, reference, why);
            ++pages;
            Handled = handled;
        };
        ASSERT_TRUE(io.AcquireOpen());
        EXPECT_FALSE(io.AcquireOpen());
        EXPECT_TRUE(io.Acquire());
        EXPECT_TRUE(PumpUntil([&] { return !io.AcquireIsOpen(); }));
        EXPECT_EQ(pages, 10);
        EXPECT_TRUE(allSame) << why;
        if (handled) {
            EXPECT_TRUE(SamePixels(*io.KVBitmap(), before));
        } else {
            EXPECT_TRUE(SameAsPnm(*io.KVBitmap(), reference, why)) << why;
            EXPECT_EQ(io.Params().Height, 196);
        }
        EXPECT_EQ(io.TWainParams().LastError, 0);
    }
    TKorvaneIO withoutView(nullptr);
    EXPECT_FALSE(withoutView.AcquireOpen());
}

TEST_F(ScanTwain, ClosingAModelessAcquisitionStopsItsPages)
{
    TScanView view;
    TKorvaneIO io(nullptr);
    io.SetAttachedKorvane(&view);
    io.TWainParams().SetFeederEnabled(true);
    io.TWainParams().VisibleDialog = false;
    int32_t pages = 0;
    io.OnAcquireBitmap = [&](TObject*, TKVBitmap*, bool& Handled) {
        Handled = true;
        if (++pages == 2) {
            io.AcquireClose();
        }
    };
    ASSERT_TRUE(io.AcquireOpen());
    EXPECT_TRUE(PumpUntil([&] { return !io.AcquireIsOpen(); }));
    // Messages the worker posted before it stopped find the proxy gone.
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    PumpUntil([&] { return std::chrono::steady_clock::now() >= settle; });
    EXPECT_EQ(pages, 2);
}

TEST_F(ScanTwain, MultiPageClientFillsEachPagesRecordAfterTheCallBack)
{
    TKVTWainParams params(nullptr, true);
    params.VisibleDialog = false;
    TIOParamsVals staging;
    std::vector<std::unique_ptr<TIOParamsVals>> records;
    std::vector<int32_t> heightsSeenInCallBack;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    const bool acquired = Imscan::KVTW_Acquire(
        nullptr, true,
        [&](TKVBitmap* page, TIOParamsVals*& record) {
            heightsSeenInCallBack.push_back(staging.Height);
            EXPECT_EQ(page->GetHeight(), 196);
            records.push_back(std::make_unique<TIOParamsVals>());
            record = records.back().get();
        },
        params, &staging, progress, params.Shared(), 0);
    EXPECT_TRUE(acquired);
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(heightsSeenInCallBack, std::vector<int32_t>(10, 196));
    for (const auto& record : records) {
        EXPECT_EQ(record->Width, 157);
        EXPECT_EQ(record->Height, 196);
        EXPECT_EQ(record->DpiX, 50);
        EXPECT_EQ(record->BitsPerSample, 8);
        EXPECT_EQ(record->SamplesPerPixel, 1);
    }

    // An abort set while a page is handed over ends the batch there.
    records.clear();
    aborting = false;
    EXPECT_FALSE(Imscan::KVTW_Acquire(
        nullptr, true,
        [&](TKVBitmap*, TIOParamsVals*&) {
            records.push_back(nullptr);
            aborting = records.size() == 3;
        },
        params, nullptr, progress, params.Shared(), 0));
    EXPECT_EQ(records.size(), 3u);
}

TEST_F(ScanTwain, TheAllInOneComponentAcquiresIntoItsViewAndChoosesItsSource)
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* korvane = new TKorvane(form.get());
    korvane->SetParent(form.get());
    korvane->SetBounds(0, 0, 80, 60);
    korvane->TWainParams().VisibleDialog = false;
    const TPnm reference = ScanImage("");
    std::string why;
    for (TKVAcquireApi api : {kvaTWain, kvaWIA}) {
        SCOPED_TRACE(int(api));
        korvane->GetKVBitmap()->Allocate(2, 2, kv24RGB);
        ASSERT_TRUE(korvane->Acquire(api));
        EXPECT_FALSE(korvane->Aborting());
        EXPECT_TRUE(SameAsPnm(*korvane->GetKVBitmap(), reference, why)) << why;
        EXPECT_EQ(korvane->IOParams().Height, reference.Height);
    }
    EXPECT_EQ(korvane->DPIX(), 50);
    FDialogs.AnswerScanSource(1);
    EXPECT_TRUE(korvane->SelectAcquireSource(kvaTWain));
    EXPECT_EQ(korvane->TWainParams().SelectedSource(), 1);
    EXPECT_EQ(&korvane->TWainParams(), &korvane->GetKorvaneIO()->TWainParams());
}

// ---------------------------------------------------------------------------------------------
// The settings

TEST_F(ScanTwain, SettingsStartAtTheirDefaultsAndKeepTheirLimits)
{
    TKorvaneIO io(nullptr);
    TKVTWainParams& single = io.TWainParams();
    TKVTWainParams multi(nullptr, true);
    EXPECT_FALSE(single.FeederEnabled() || single.AutoFeed() || single.DuplexEnabled());
    EXPECT_TRUE(multi.FeederEnabled() && multi.AutoFeed() && multi.DuplexEnabled());
    EXPECT_TRUE(single.VisibleDialog && single.Indicators() && single.BufferedTransfer());
    EXPECT_FALSE(single.FileTransfer() || single.CompatibilityMode);

    single.SetAppProductName(std::string(40, 'n'));
    EXPECT_EQ(single.AppProductName(), std::string(32, 'n'));
    single.SetAcquireFrame(7, 3.0);
    EXPECT_EQ(single.AcquireFrame(7), 0.0);
    EXPECT_EQ(single.AcquireFrame(-1), 0.0);

    EXPECT_EQ(single.GetSourceCount(), 2);
    EXPECT_EQ(single.GetSourceName(1), "test:1");
    EXPECT_EQ(single.GetSourceName(2), "");
    EXPECT_EQ(single.SourceList()[0].Manufacturer, "Noname");
    EXPECT_TRUE(single.SelectSourceByName("TEST:1"));
    EXPECT_EQ(single.SelectedSource(), 1);
    EXPECT_TRUE(single.SelectSourceByName(""));
    EXPECT_EQ(single.SelectedSource(), 0);
    EXPECT_FALSE(single.SelectSourceByName("flatbed"));
    EXPECT_EQ(single.SelectedSource(), 0);
    {
        kvtest::ScopedEnv preferred("SANE_DEFAULT_DEVICE", "test:1");
        EXPECT_EQ(single.GetDefaultSource(), 1);
    }
    EXPECT_EQ(single.GetDefaultSource(), 0);
}

TEST_F(ScanTwain, CapabilitiesAreReadOncePerSourceAndUpdateReadsBackTheDevicesValues)
{
    kvtest::TempFolder temp;
    const std::string log = temp.File("twain.log");
    TKVTWainParams::SetLogFile(log);
    TKorvaneIO io(nullptr);
    TKVTWainParams& params = io.TWainParams();

    const TKVDoubleList& resolution = params.XResolution();
    EXPECT_EQ(resolution.RangeMin(), 1);
    EXPECT_EQ(resolution.RangeMax(), 1200);
    EXPECT_EQ(resolution.RangeStep(), 1);
    EXPECT_EQ(resolution.CurrentValue(), 50);
    params.XResolution();
    params.Threshold();
    EXPECT_EQ(Occurrences(kvtest::TempFolder::Read(log), "KVTW_OpenSource\n"), 1);
    params.SetSelectedSource(1);
    params.YResolution();
    EXPECT_EQ(Occurrences(kvtest::TempFolder::Read(log), "KVTW_OpenSource\n"), 2);

    EXPECT_EQ(params.PixelType().Count(), 3);
    EXPECT_EQ(params.PixelType().CurrentValue(), TWPT_GRAY);
    EXPECT_NEAR(params.PhysicalWidth(), 200 / 25.4, 1e-9);
    EXPECT_NEAR(params.AcquireFrame(2), 80 / 25.4, 1e-9);
    EXPECT_NEAR(params.AcquireFrame(3), 100 / 25.4, 1e-9);
    EXPECT_FALSE(params.DuplexSupported());
    EXPECT_EQ(params.XScaling().Count(), 0);

    // The device keeps whole dots per inch; the colour mode is what it says it scans in.
    params.XResolution().SetCurrentValue(123.4);
    params.PixelType().SetCurrentValue(TWPT_RGB);
    EXPECT_TRUE(params.Update());
    EXPECT_EQ(params.XResolution().CurrentValue(), 123);
    EXPECT_EQ(params.PixelType().CurrentValue(), TWPT_RGB);
    // A capability the device lacks is refused with its condition.
    params.Orientation().SetCurrentValue(1);
    EXPECT_TRUE(params.Update());
    EXPECT_EQ(params.LastError, 13);

    const std::string trace = kvtest::TempFolder::Read(log);
    for (const char* step : {"KVTW_LoadSourceManager\n", "  KVTW_LoadSourceManager : already loaded\n",
                             "KVTW_SetCapabilities\n", "KVTW_CloseSource\n"}) {
        EXPECT_GE(Occurrences(trace, step), 1) << step;
    }
    // Each line starts with the date and the time.
    ASSERT_GT(trace.size(), 22u);
    EXPECT_EQ(trace.substr(4, 1) + trace.substr(7, 1) + trace.substr(10, 1) + trace.substr(19, 3), "--  : ");
    TKVTWainParams::SetLogFile("");
    EXPECT_EQ(TKVTWainParams::GetLogFile(), "");
    params.GetFromScanner();
    EXPECT_EQ(kvtest::TempFolder::Read(log), trace);
}

TEST_F(ScanTwain, ACopiedParameterSetLeavesTheManagerToItsOwner)
{
    TKorvaneIO io(nullptr);
    io.TWainParams().VisibleDialog = false;
    ASSERT_EQ(io.TWainParams().GetSourceCount(), 2);
    {
        TKVTWainParams copy(nullptr);
        copy.Assign(io.TWainParams());
        EXPECT_EQ(copy.GetSourceName(1), "test:1");
        EXPECT_FALSE(copy.VisibleDialog);
    }
    EXPECT_TRUE(io.Acquire());
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 157);
}
