// Acquiring through the WIA client from the scanner library's test device: its devices and the
// properties in use, pages handed over as BMP data in bands, feeder batches, failures, progress
// that stops a transfer, and pages that do not decode.
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/kvwia.h"
#include "platform/forms/scripted_dialogs.h"
#include "tests/io/io_test_support.h"
#include "tests/io/scan_test_support.h"

#include <gtest/gtest.h>

using namespace kviotest;

namespace {

class ScanWia : public ::testing::Test
{
protected:
    TTestScanners FScanners;
    TScriptedDialogService FDialogs;
};

int32_t WholeOf(const TKVWiaValue& value)
{
    const int32_t* whole = std::get_if<int32_t>(&value);
    return whole != nullptr ? *whole : -1;
}

std::string TextOf(const TKVWiaValue& value)
{
    const std::string* text = std::get_if<std::string>(&value);
    return text != nullptr ? *text : "?";
}

} // namespace

TEST_F(ScanWia, DevicesAndThePropertiesInUseMapOntoTheDevice)
{
    TKVWia wia(nullptr);
    ASSERT_EQ(wia.GetDevicesInfoCount(), 2);
    const TKVWiaDeviceInfo* second = wia.GetDevicesInfo(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->ID, "test:1");
    EXPECT_EQ(second->Name, "Noname frontend-tester");
    EXPECT_EQ(second->DeviceType, 0);
    EXPECT_EQ(second->VendorDescription, "Noname");
    EXPECT_FALSE(second->DriverVersion.empty());
    EXPECT_EQ(wia.GetDevicesInfo(2), nullptr);
    EXPECT_EQ(TextOf(wia.GetDeviceProperty(WIA_DIP_DEV_ID)), "test:0");

    TKVWiaItem* item = nullptr;
    ASSERT_TRUE(wia.GetDefaultItem(item));
    EXPECT_EQ(item->ItemType & WiaItemTypeImage, WiaItemTypeImage);
    TKVWiaAttributes attributes = 0;
    TKVWiaValues values;
    ASSERT_TRUE(wia.GetItemPropertyAttrib(WIA_IPS_XRES, nullptr, attributes, values));
    EXPECT_EQ(attributes, kvwaRead | kvwaWrite | kvwaRange);
    EXPECT_EQ(WholeOf(values.Min), 1);
    EXPECT_EQ(WholeOf(values.Max), 1200);
    EXPECT_EQ(WholeOf(values.Nominal), 50);
    ASSERT_TRUE(
        wia.GetItemPropertyAttrib(WIA_DPS_DOCUMENT_HANDLING_SELECT, wia.GetRoot(), attributes, values));
    EXPECT_EQ(WholeOf(values.GetValues(0)), FEEDER | FLATBED);
    EXPECT_EQ(WholeOf(values.GetValues(1)), -1);

    struct Case
    {
        int32_t Id;
        bool OnRoot;
        TKVWiaValue Value;
        bool Accepted;
        TKVWiaValue ReadBack;
    };
    const Case cases[] = {
        {WIA_IPS_XRES, false, int32_t(75), true, int32_t(75)},
        {WIA_IPS_YRES, false, 80.0, true, int32_t(80)},
        {WIA_IPA_TYMED, false, int32_t(TYMED_MULTIPAGE_CALLBACK), true, int32_t(TYMED_MULTIPAGE_CALLBACK)},
        {WIA_IPA_TYMED, false, int32_t(1), false, int32_t(TYMED_MULTIPAGE_CALLBACK)},
        {WIA_IPA_FORMAT, false, std::string(WiaImgFmt_BMP), true, std::string(WiaImgFmt_BMP)},
        {WIA_IPA_FORMAT, false, std::string(WiaImgFmt_JPEG), false, std::string(WiaImgFmt_BMP)},
        {WIA_DPS_DOCUMENT_HANDLING_SELECT, true, int32_t(FEEDER), true, int32_t(FEEDER)},
        {WIA_DPS_DOCUMENT_HANDLING_SELECT, true, int32_t(FEEDER | DUPLEX), false, int32_t(FEEDER)},
        {WIA_DPS_PAGES, true, int32_t(3), true, int32_t(3)},
        {WIA_DPS_PAGES, true, int32_t(-1), false, int32_t(3)},
        {WIA_DPS_PAGES, false, int32_t(3), false, TKVWiaValue()},
        {9999, false, int32_t(1), false, TKVWiaValue()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Id);
        TKVWiaItem* target = c.OnRoot ? wia.GetRoot() : nullptr;
        EXPECT_EQ(wia.SetItemProperty(c.Id, c.Value, target), c.Accepted);
        EXPECT_EQ(wia.GetItemProperty(c.Id, target), c.ReadBack);
    }
}

TEST_F(ScanWia, AcquiredPagesEqualScanimagesAndFillTheParameters)
{
    TKorvaneIO io(nullptr);
    TKVWia* wia = io.GetWIAParams();
    EXPECT_EQ(io.GetWIAParams(), wia);
    ASSERT_TRUE(io.Acquire(kvaWIA));
    EXPECT_FALSE(io.Aborting);
    std::string why;
    const TPnm grey = ScanImage("");
    EXPECT_TRUE(SameAsPnm(*io.KVBitmap(), grey, why)) << why;

    // The settings dialog changes the device for the transfers that follow.
    struct Case
    {
        const char* Name;
        TScanSettingChanges Changes;
        int32_t Dpi;
        const char* Options;
        int32_t SamplesPerPixel;
        int32_t BitsPerSample;
    };
    const Case cases[] = {
        {"colour at 75 dpi",
         {{"mode", "Color"}, {"test-picture", "Color pattern"}},
         75,
         "--mode Color --test-picture 'Color pattern' --resolution 75",
         3,
         8},
        {"line art", {{"mode", "Gray"}, {"depth", "1"}, {"test-picture", "Grid"}}, 50, "--depth 1", 1, 1},
        {"grey shades",
         {{"depth", "8"}, {"test-picture", "Color pattern"}},
         50,
         "--test-picture 'Color pattern'",
         1,
         8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FDialogs.AnswerScan(c.Changes);
        ASSERT_TRUE(wia->ShowAcquireDialog(true));
        ASSERT_TRUE(wia->SetItemProperty(WIA_IPS_XRES, c.Dpi, nullptr));
        ASSERT_TRUE(io.Acquire(kvaWIA));
        const TPnm reference = ScanImage(c.Options);
        EXPECT_TRUE(SameAsPnm(*io.KVBitmap(), reference, why)) << why;
        EXPECT_EQ(io.Params().DpiX, c.Dpi);
        EXPECT_EQ(io.Params().Width, reference.Width);
        EXPECT_EQ(io.Params().Height, reference.Height);
        EXPECT_EQ(io.Params().SamplesPerPixel, c.SamplesPerPixel);
        EXPECT_EQ(io.Params().BitsPerSample, c.BitsPerSample);
        EXPECT_EQ(wia->DpiY, c.Dpi);
    }
    EXPECT_FALSE(wia->ShowAcquireDialog(false));
}

TEST_F(ScanWia, FeederTransfersHandEveryPageOnUpToThePageCount)
{
    TKVWia wia(nullptr);
    ASSERT_TRUE(wia.SetDeviceProperty(WIA_DPS_DOCUMENT_HANDLING_SELECT, int32_t(FEEDER)));
    const TPnm reference = ScanImage("");
    TKVBitmap target;
    wia.TargetBitmap = &target;
    for (int32_t pagesAsked : {0, 3}) {
        SCOPED_TRACE(pagesAsked);
        ASSERT_TRUE(wia.SetDeviceProperty(WIA_DPS_PAGES, pagesAsked));
        std::vector<std::unique_ptr<TIOParamsVals>> records;
        std::string why;
        bool allSame = true;
        wia.OnPage = [&](TKVBitmap* page, TIOParamsVals*& record) {
            allSame = allSame && SameAsPnm(*page, reference, why);
            records.push_back(std::make_unique<TIOParamsVals>());
            record = records.back().get();
        };
        EXPECT_TRUE(wia.Transfer(nullptr, true));
        EXPECT_EQ(records.size(), pagesAsked == 0 ? 10u : 3u);
        EXPECT_TRUE(allSame) << why;
        for (const auto& record : records) {
            EXPECT_EQ(record->Height, 196);
            EXPECT_EQ(record->DpiX, 50);
        }
    }
    // Without a page count the feeder's first page only.
    int32_t pages = 0;
    wia.OnPage = [&](TKVBitmap*, TIOParamsVals*&) { ++pages; };
    EXPECT_TRUE(wia.Transfer(nullptr, false));
    EXPECT_EQ(pages, 1);
}

TEST_F(ScanWia, FailuresAndStoppedTransfersLeaveTheBitmap)
{
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 6, 6);
    TKVBitmap before;
    before.Assign(io.KVBitmap());

    FDialogs.AnswerScan({{"read-return-value", "SANE_STATUS_JAMMED"}});
    ASSERT_TRUE(io.GetWIAParams()->ShowAcquireDialog(true));
    EXPECT_FALSE(io.Acquire(kvaWIA));
    EXPECT_TRUE(io.Aborting);
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), before));

    FDialogs.AnswerScan({{"read-return-value", "Default"}});
    ASSERT_TRUE(io.GetWIAParams()->ShowAcquireDialog(true));
    int32_t calls = 0;
    io.OnProgress = [&](TObject*, int32_t) { io.Aborting = ++calls >= 2; };
    EXPECT_FALSE(io.Acquire(kvaWIA));
    EXPECT_TRUE(io.Aborting);
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), before));
}

TEST_F(ScanWia, APageThatDoesNotDecodeIsNotHandedOn)
{
    TKVWia wia(nullptr);
    TKVBitmap target;
    FillPattern(target, 4, 4);
    TKVBitmap before;
    before.Assign(&target);
    wia.TargetBitmap = &target;
    int32_t pages = 0;
    wia.OnPage = [&](TKVBitmap*, TIOParamsVals*&) { ++pages; };
    const std::vector<uint8_t> junk(64, 0x5A);
    struct Case
    {
        const char* Format;
        size_t Length;
    };
    const Case cases[] = {
        {"{00000000-0000-0000-0000-000000000000}", junk.size()},
        {WiaImgFmt_MEMORYBMP, junk.size()},
        {WiaImgFmt_BMP, 10},
        {WiaImgFmt_JPEG, junk.size()},
        {WiaImgFmt_MEMORYBMP, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Format);
        TKVWiaDataHeader header;
        header.FormatID = c.Format;
        EXPECT_FALSE(wia.GetPage(header, junk.data(), int32_t(c.Length)));
    }
    EXPECT_EQ(pages, 0);
    EXPECT_TRUE(SamePixels(target, before));
}

TEST_F(ScanWia, TheDeviceDialogConnectsToTheChosenDevice)
{
    TKorvaneIO io(nullptr);
    FDialogs.AnswerScanSource(1);
    ASSERT_TRUE(io.SelectAcquireSource(kvaWIA));
    EXPECT_EQ(TextOf(io.GetWIAParams()->GetDeviceProperty(WIA_DIP_DEV_ID)), "test:1");
    FDialogs.CancelScanSource();
    EXPECT_FALSE(io.SelectAcquireSource(kvaWIA));
    EXPECT_EQ(FDialogs.CallsOf(dkScanSource).back().Caption, "Select Device");
}
