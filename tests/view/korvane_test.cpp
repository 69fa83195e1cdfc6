// TKorvane: the components exist from construction, the settings live in them, and the forwarded
// operations reach them. The table lists every operation the all-in-one component offers, with
// whether it is forwarded yet (the rest wait for the components that will have them).
#include "imaging/view/korvane.h"

#include "tests/support/temp_folder.h"
#include "tests/view/view_test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

using namespace viewtest;

namespace {

enum TStatus
{
    kForwarded,
    kMissing
};

struct TForwardedName
{
    const char* Name;
    TStatus Status;
};

// Every name of the component's list.
const TForwardedName kOperations[] = {
    {"SaveUndo", kForwarded},
    {"SaveUndoCaptioned", kForwarded},
    {"ClearUndo", kForwarded},
    {"Undo", kForwarded},
    {"UndoAt", kForwarded},
    {"Negative", kForwarded},
    {"HSLvar", kForwarded},
    {"HSVvar", kForwarded},
    {"IntensityRGBall", kForwarded},
    {"Contrast", kForwarded},
    {"ApplyFilter", kForwarded},
    {"ApplyFilterPreset", kForwarded},
    {"ConvertToGray", kForwarded},
    {"CastColorRange", kForwarded},
    {"Rotate", kForwarded},
    {"Flip", kForwarded},
    {"ImageResize", kForwarded},
    {"Resample", kForwarded},
    {"DoPreviews", kForwarded},
    {"Clear", kForwarded},
    {"SelCopyToClip", kForwarded},
    {"CopyToClipboard", kForwarded},
    {"SelPasteFromClipStretch", kForwarded},
    {"PasteFromClipboard", kForwarded},
    {"SelCutToClip", kForwarded},
    {"PointPasteFromClip", kForwarded},
    {"Merge", kForwarded},
    {"Threshold", kForwarded},
    {"HistEqualize", kForwarded},
    {"HistAutoEqualize", kForwarded},
    {"ClearSel", kForwarded},
    {"ConvertTo", kForwarded},
    {"CropSel", kForwarded},
    {"BumpMapping", kForwarded},
    {"GetHistogram", kForwarded},
    {"CalcImagePalette", kForwarded},
    {"CalcImageNumColors", kForwarded},
    {"GetHSVChannel", kForwarded},
    {"GetHSVChannelAll", kForwarded},
    {"GetRGBChannel", kForwarded},
    {"GetRGBChannelAll", kForwarded},
    {"ConvertToBWOrdered", kForwarded},
    {"ConvertToBWThreshold", kForwarded},
    {"ConvertTo24Bit", kForwarded},
    {"Lens", kForwarded},
    {"Wave", kForwarded},
    {"WriteHiddenText", kForwarded},
    {"WriteHiddenData", kForwarded},
    {"ReadHiddenText", kForwarded},
    {"ReadHiddenData", kForwarded},
    {"GetHiddenDataSpace", kForwarded},
    {"FTCreateImage", kForwarded},
    {"FTConvertFrom", kForwarded},
    {"FTDisplayFrom", kForwarded},
    {"Maximum", kForwarded},
    {"Minimum", kForwarded},
    {"Opening", kForwarded},
    {"Closing", kForwarded},
    {"EdgeDetect_ShenCastan", kForwarded},
    {"LoadFromFile", kForwarded},
    {"SaveToFile", kForwarded},
    {"LoadFromStream", kForwarded},
    {"SaveToStream", kForwarded},
    {"LoadFromFileFormat", kForwarded},
    {"LoadFromStreamFormat", kForwarded},
    {"ParamsFromFile", kForwarded},
    {"ParamsFromStream", kForwarded},
    {"ParamsFromFileFormat", kForwarded},
    {"ParamsFromStreamFormat", kForwarded},
    {"LoadFromFileICO", kForwarded},
    {"LoadFromStreamICO", kForwarded},
    {"LoadFromFileCUR", kForwarded},
    {"LoadFromStreamCUR", kForwarded},
    {"InsertToFileGif", kForwarded},
    {"InsertToFileTIFF", kForwarded},
    {"InjectJpegIPTC", kForwarded},
    {"InjectJpegIPTCStream", kForwarded},
    {"Acquire", kForwarded},
    {"SelectAcquireSource", kForwarded},
    {"ImportMetafile", kForwarded},
    {"CaptureFromScreen", kForwarded},
    {"ExecuteOpenDialog", kForwarded},
    {"ExecuteSaveDialog", kForwarded},
    {"DoIOPreviews", kForwarded},
    {"DoPrintPreviewDialog", kForwarded},
    {"PrintImage", kForwarded},
    {"PrintImagePos", kForwarded},
    {"PreviewPrintImage", kForwarded},
};

} // namespace

TEST(Korvane, ListsEveryOperationOnce)
{
    std::set<std::string> names;
    int forwarded = 0;
    for (const TForwardedName& op : kOperations) {
        EXPECT_TRUE(names.insert(op.Name).second) << op.Name;
        forwarded += op.Status == kForwarded;
    }
    // The per-format quartets (LoadFromFile, LoadFromStream, SaveToFile, SaveToStream) of Jpeg,
    // Gif, PCX, TIFF, BMP, PNG, TGA and PXM are all forwarded besides these.
    EXPECT_EQ(names.size(), 88u);
    EXPECT_EQ(forwarded, 88);
}

TEST(Korvane, ComponentsExistFromTheStartAndTakeTheSettings)
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* k = new TKorvane(form.get());
    k->SetParent(form.get());
    k->SetBounds(0, 0, 80, 60);
    EXPECT_EQ(k->IOParams().Width, 0);
    k->SetMsgLanguage(msItalian);
    EXPECT_EQ(k->GetKorvaneIO()->MsgLanguage, msItalian);
    EXPECT_EQ(k->GetKorvaneProc()->MsgLanguage, msItalian);
    EXPECT_EQ(k->MsgLanguage(), msItalian);
    k->SetUndoLimit(0);
    EXPECT_EQ(k->UndoLimit(), 1);
    k->SetStreamHeaders(true);
    EXPECT_TRUE(k->GetKorvaneIO()->StreamHeaders);
}

TEST(Korvane, ForwardedOperationsReachTheComponents)
{
    kvtest::TempFolder folder;
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* k = new TKorvane(form.get());
    k->SetParent(form.get());
    k->SetBounds(0, 0, 80, 60);
    FillPattern(k->GetKVBitmap(), 40, 30);
    const std::string file = folder.File("k.png");
    k->SaveToFilePNG(file);
    k->GetKVBitmap()->Allocate(2, 2, kv24RGB);
    k->LoadFromFile(file);
    EXPECT_FALSE(k->Aborting());
    ASSERT_EQ(k->GetKVBitmap()->GetWidth(), 40);
    EXPECT_EQ(k->IOParams().Width, 40);
    k->Negative();
    EXPECT_TRUE(k->GetKVBitmap()->GetPixels_kv24RGB(3, 2) == (TRGB{uint8_t(~27), uint8_t(~2), uint8_t(~3)}));
    EXPECT_TRUE(k->CanUndo());
    EXPECT_EQ(k->UndoCount(), 1);
    k->Undo();
    EXPECT_TRUE(k->GetKVBitmap()->GetPixels_kv24RGB(3, 2) == (TRGB{27, 2, 3}));
    k->Resample(20, 15, rfBilinear);
    EXPECT_EQ(k->GetKVBitmap()->GetWidth(), 20);
    EXPECT_GT(k->CalcImageNumColors(), 1);

    // Printed at the view's resolution, not the one the last file named.
    k->SetDPI(20, 10);
    k->IOParams().DpiX = 300;
    TBitmap page;
    page.SetPixelFormat(pf24bit);
    page.SetSize(100, 100);
    page.Canvas()->SetPixelsPerInch(20, 20);
    page.Canvas()->Brush()->SetColor(clWhite);
    page.Canvas()->FillRect(TRect{0, 0, 100, 100});
    k->PrintImage(page.Canvas(), 1, 1, 1, 1, kvvpTOP, kvhpLEFT, kvsNORMAL, 0, 0, 1.0);
    for (auto [x, y, white] :
         {std::tuple{19, 25, true}, {20, 20, false}, {39, 49, false}, {40, 25, true}, {25, 50, true}}) {
        EXPECT_EQ(page.Canvas()->Pixels(x, y) == clWhite, white) << x << ", " << y;
    }

    auto* other = new TKorvane(form.get());
    k->IOParams().JPEG_Quality = 33;
    other->Assign(k);
    EXPECT_EQ(other->IOParams().JPEG_Quality, 33);
    EXPECT_EQ(other->GetKVBitmap()->GetWidth(), 20);
    k->ImportMetafile(KV_TEST_DATA_DIR "/fuzz/metafile/emf-every-record.emf", 30, 10, false);
    EXPECT_FALSE(k->Aborting());
    EXPECT_EQ(k->GetKVBitmap()->GetWidth(), 30);

    // The save-parameters dialog and its events are the I/O component's.
    k->OnIOPreview() = [](TObject*, TForm*) {};
    EXPECT_TRUE(k->GetKorvaneIO()->OnIOPreview);
    int32_t asked = 0;
    k->GetKorvaneIO()->OnDoPreviews = [&](TObject*, bool& Handled) { Handled = ++asked > 0; };
    EXPECT_TRUE(k->DoIOPreviews(PreviewSet(ppJPEG)));
    EXPECT_EQ(asked, 1);
}
