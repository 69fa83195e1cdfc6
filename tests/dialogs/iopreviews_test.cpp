// The save-parameters dialog driven as a user drives it, opened by the I/O component: the pages
// each variant shows, the sizes it reports, what OK, Apply and Cancel leave in the record, the
// TIFF choices and the colour pickers.
#include "imaging/dialogs/iopreviews.h"

#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/page_control.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/dialogs/iopreviews_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace iopreviewstest;

namespace {

constexpr TIOPreviewsParams kLockAndApply = (1u << ioppDefaultLockPreview) | (1u << ioppApplyButton);

// An I/O component holding a picture, with the record of a file of the type.
struct Component
{
    TKorvaneIO io{nullptr};
    DialogRun run;

    explicit Component(int32_t FileType, int32_t Width = 100, int32_t Height = 100)
    {
        auto photo = Photo(Width, Height);
        io.KVBitmap()->AssignImage(photo.get());
        io.Params().FileType = FileType;
        io.SimplifiedParamsDialogs = false;
        io.PreviewsParams = kLockAndApply;
    }
    bool Open(TPreviewParams Pages, DialogRun::TAction Action)
    {
        run.Hook(io, std::move(Action));
        const bool result = io.DoPreviews(Pages);
        EXPECT_TRUE(run.Done());
        return result;
    }
};

int64_t JpegSize(TKVBitmap* picture, int32_t Quality)
{
    TKVBitmap copy;
    copy.AssignImage(picture);
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&copy);
    io.Params().JPEG_Quality = Quality;
    TMemoryStream stream;
    io.SaveToStreamJpeg(stream);
    return stream.Size();
}

int64_t FileSize(const std::string& Path)
{
    return int64_t(std::filesystem::file_size(Path));
}

std::vector<TTabSheet*> TabsShown(TfIOPreviews& d)
{
    std::vector<TTabSheet*> shown;
    for (int32_t i = 0; i < d.PageControl1->PageCount(); ++i) {
        if (d.PageControl1->Pages(i)->TabVisible()) {
            shown.push_back(d.PageControl1->Pages(i));
        }
    }
    return shown;
}

} // namespace

TEST(IOPreviewsDialog, JpegPageShowsTheSizeOfARealSaveAndOkWritesIt)
{
    Component c(3);
    std::string original, before, after;
    const bool ok = c.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
        EXPECT_EQ(d.ActivePreviewPage(), ipgJPEG);
        EXPECT_EQ(d.Edit22->Text(), "80");
        original = d.OriginalSizeText(ipgJPEG);
        before = d.CompressedSizeText(ipgJPEG);
        Simulate::Slide(d.TrackBar13, 40);
        EXPECT_EQ(d.Edit22->Text(), "40");
        after = d.CompressedSizeText(ipgJPEG);
        // The result view shows the decoded picture.
        EXPECT_EQ(d.Korvane2->GetKVBitmap()->GetWidth(), 100);
        Simulate::Click(d.Button1);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(original, "30000 bytes");
    EXPECT_EQ(before, IntToStr(JpegSize(c.io.KVBitmap(), 80)) + " bytes");
    EXPECT_EQ(after, IntToStr(JpegSize(c.io.KVBitmap(), 40)) + " bytes");
    EXPECT_EQ(c.io.Params().JPEG_Quality, 40);
    // The working bitmap was only copied.
    EXPECT_EQ(c.io.KVBitmap()->GetPixelFormat(), kv24RGB);

    // A typed quality moves the track bar; text that is no number counts as 50.
    Component typed(3);
    typed.Open(PreviewSet(ppJPEG), [&](TfIOPreviews& d) {
        Simulate::Retype(d.Edit22, "65");
        EXPECT_EQ(d.TrackBar13->Position(), 65);
        Simulate::Retype(d.Edit22, "x");
        EXPECT_EQ(d.TrackBar13->Position(), 50);
        Simulate::Click(d.Button1);
    });
    EXPECT_EQ(typed.io.Params().JPEG_Quality, 50);
}

TEST(IOPreviewsDialog, OriginalSizeFollowsTheSourceDepth)
{
    Component oneBit(5);
    oneBit.io.KVBitmap()->ConvertToPixelFormat(kv1g);
    Component eightBit(5);
    eightBit.io.KVBitmap()->ConvertToPixelFormat(kv8g);
    for (Component* c : {&oneBit, &eightBit}) {
        std::string shown;
        c->Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
            shown = d.OriginalSizeText(ipgBMP);
            Simulate::Click(d.Button2);
        });
        EXPECT_EQ(shown, c == &oneBit ? "1600 bytes" : "30000 bytes");
    }
    // The component's own picture keeps its format; only the dialog's copy became 24-bit.
    EXPECT_EQ(eightBit.io.KVBitmap()->GetPixelFormat(), kv8g);
}

TEST(IOPreviewsDialog, CancelKeepsOnlyWhatApplyWrote)
{
    Component c(3);
    EXPECT_FALSE(c.Open(PreviewSet(ppJPEG), [&](TfIOPreviews& d) {
        Simulate::Slide(d.TrackBar13, 30);
        Simulate::Click(d.Button2);
    }));
    EXPECT_EQ(c.io.Params().JPEG_Quality, 80);

    bool applyEnabledAfter = true;
    EXPECT_FALSE(c.Open(PreviewSet(ppJPEG), [&](TfIOPreviews& d) {
        EXPECT_TRUE(d.Button4->Visible());
        EXPECT_FALSE(d.Button4->Enabled());
        Simulate::Slide(d.TrackBar13, 30);
        EXPECT_TRUE(d.Button4->Enabled());
        Simulate::Click(d.Button4);
        applyEnabledAfter = d.Button4->Enabled();
        Simulate::Slide(d.TrackBar13, 60);
        Simulate::Click(d.Button2);
    }));
    EXPECT_FALSE(applyEnabledAfter);
    EXPECT_EQ(c.io.Params().JPEG_Quality, 30);

    // Without ioppApplyButton there is no Apply; without ioppDefaultLockPreview the preview
    // waits for the Preview button.
    c.io.PreviewsParams = 0;
    std::string sizeBefore, sizeAfter;
    c.Open(PreviewSet(ppJPEG), [&](TfIOPreviews& d) {
        EXPECT_FALSE(d.Button4->Visible());
        EXPECT_TRUE(d.Button3->Enabled());
        Simulate::Slide(d.TrackBar13, 50);
        sizeBefore = d.CompressedSizeText(ipgJPEG);
        Simulate::Click(d.Button3);
        sizeAfter = d.CompressedSizeText(ipgJPEG);
        Simulate::Click(d.Button2);
    });
    EXPECT_EQ(sizeBefore, "---");
    EXPECT_EQ(sizeAfter, IntToStr(JpegSize(c.io.KVBitmap(), 50)) + " bytes");
}

TEST(IOPreviewsDialog, EachVariantShowsItsPages)
{
    Component full(0);
    std::vector<TTabSheet*> fullTabs;
    std::vector<TTabSheet*> expectedFull;
    full.Open(PreviewSet(ppALL), [&](TfIOPreviews& d) {
        fullTabs = TabsShown(d);
        expectedFull = {d.TabSheetJPEG1, d.TabSheetTIFF1, d.TabSheetGIF1, d.TabSheetBMP1,
                        d.TabSheetPCX1,  d.TabSheetPNG1,  d.TabSheetTGA1, d.TabSheetJ20001};
        EXPECT_EQ(d.PageControl1->ActivePage(), d.TabSheetJPEG1);
        EXPECT_TRUE(d.GroupBoxPNGAdvanced->Visible());
        // Every page reports its own values when chosen.
        Simulate::ClickTab(d.PageControl1, d.TabSheetPCX1);
        EXPECT_EQ(d.ActivePreviewPage(), ipgPCX);
        EXPECT_EQ(d.OriginalSizeText(ipgPCX), "30000 bytes");
        EXPECT_NE(d.CompressedSizeText(ipgPCX), "---");
        Simulate::Click(d.Button2);
    });
    EXPECT_EQ(fullTabs, expectedFull);

    Component simple(0);
    simple.io.SimplifiedParamsDialogs = true;
    std::vector<TTabSheet*> simpleTabs;
    std::vector<TTabSheet*> expectedSimple;
    int32_t formHeight = 0, pageHeight = 0, sizeTop = 0;
    simple.Open(PreviewSet(ppALL), [&](TfIOPreviews& d) {
        simpleTabs = TabsShown(d);
        expectedSimple = {d.TabSheetJPEG2, d.TabSheetTIFF2, d.TabSheetGIF2, d.TabSheetBMP1,
                          d.TabSheetPCX1,  d.TabSheetPNG1,  d.TabSheetTGA1, d.TabSheetJ20001};
        EXPECT_FALSE(d.GroupBoxPNGAdvanced->Visible());
        EXPECT_FALSE(d.Panel1->Visible());
        EXPECT_FALSE(d.Edit13->Visible());
        EXPECT_FALSE(d.Edit14->Visible());
        EXPECT_FALSE(d.ComboBox15->Visible());
        formHeight = d.Height();
        pageHeight = d.PageControl1->Height();
        Simulate::ClickTab(d.PageControl1, d.TabSheetBMP1);
        for (int32_t i = 0; i < d.TabSheetBMP1->ControlCount(); ++i) {
            if (auto* label = dynamic_cast<TLabel*>(d.TabSheetBMP1->Controls(i))) {
                if (label->Caption() == "Original size:") {
                    sizeTop = label->Top();
                }
            }
        }
        Simulate::Click(d.Button2);
    });
    EXPECT_EQ(simpleTabs, expectedSimple);
    const int32_t ppi = Screen->PixelsPerInch();
    EXPECT_EQ(pageHeight, int32_t(ppi * 1.2708333333333333));
    EXPECT_EQ(formHeight, int32_t(ppi * 3.4375));
    EXPECT_EQ(sizeTop, 61);

    // A chosen set shows its pages only.
    Component two(0);
    two.Open(PreviewSet(ppPNG) | PreviewSet(ppGIF), [&](TfIOPreviews& d) {
        EXPECT_EQ(TabsShown(d), (std::vector<TTabSheet*>{d.TabSheetGIF1, d.TabSheetPNG1}));
        EXPECT_EQ(d.ActivePreviewPage(), ipgGIF);
        Simulate::Click(d.Button2);
    });
}

TEST(IOPreviewsDialog, TIFFCompressionListFollowsTheLZWEncoder)
{
    for (bool lzw : {false, true}) {
        Korvaneio::DefTIFF_LZWCOMPFUNC = lzw ? &Tiflzw::TIFFLZWCompress : nullptr;
        Component c(1);
        c.io.Params().TIFF_Compression = ioTIFF_LZW;
        std::string shown;
        int32_t items = 0;
        c.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
            shown = d.ComboBox2->Text();
            items = d.ComboBox2->Items()->Count();
            Simulate::Click(d.Button1);
        });
        Korvaneio::DefTIFF_LZWCOMPFUNC = nullptr;
        EXPECT_EQ(items, lzw ? 8 : 7);
        EXPECT_EQ(shown, lzw ? "LZW" : "PACKBITS");
        // Without an encoder, OK writes the compression the list shows.
        EXPECT_EQ(c.io.Params().TIFF_Compression, lzw ? ioTIFF_LZW : ioTIFF_PACKBITS);
    }
}

TEST(IOPreviewsDialog, TIFFChoicesStayConsistent)
{
    // Simplified: "16" colours while G4FAX is chosen makes the file uncompressed.
    Component simple(1);
    simple.io.SimplifiedParamsDialogs = true;
    simple.io.Params().TIFF_Compression = ioTIFF_G4FAX;
    simple.io.Params().BitsPerSample = 1;
    simple.io.Params().SamplesPerPixel = 1;
    std::string compressionShown;
    simple.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
        EXPECT_EQ(d.ComboBox16->Text(), "G4FAX");
        EXPECT_EQ(d.ComboBox17->Text(), "2");
        Simulate::Choose(d.ComboBox17, 1);
        compressionShown = d.ComboBox16->Text();
        Simulate::Click(d.Button1);
    });
    EXPECT_EQ(compressionShown, "UNCOMPRESSED");
    EXPECT_EQ(simple.io.Params().TIFF_Compression, ioTIFF_UNCOMPRESSED);
    EXPECT_EQ(simple.io.Params().BitsPerSample, 4);

    // Simplified: JPEG compression brings YCbCr and 16 million colours.
    simple.Open(PreviewSet(ppTIFF), [&](TfIOPreviews& d) {
        Simulate::Choose(d.ComboBox16, 5); // "JPEG" without an LZW encoder
        EXPECT_EQ(d.ComboBox17->Text(), "16777216");
        Simulate::Click(d.Button1);
    });
    EXPECT_EQ(simple.io.Params().TIFF_Compression, ioTIFF_JPEG);
    EXPECT_EQ(simple.io.Params().TIFF_PhotometInterpret, ioTIFF_YCBCR);
    EXPECT_EQ(simple.io.Params().SamplesPerPixel, 3);

    // Full: CMYK brings 16M colours and four samples; a document name is written too.
    Component full(1);
    std::string colours;
    full.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
        Simulate::Choose(d.ComboBox3, 5);
        colours = d.ComboBox4->Text();
        Simulate::Retype(d.Edit4, "Invoice");
        Simulate::Retype(d.Edit7, "2");
        Simulate::Click(d.Button1);
    });
    EXPECT_EQ(colours, "16M");
    EXPECT_EQ(full.io.Params().TIFF_PhotometInterpret, ioTIFF_CMYK);
    EXPECT_EQ(full.io.Params().BitsPerSample, 8);
    EXPECT_EQ(full.io.Params().SamplesPerPixel, 4);
    EXPECT_EQ(full.io.Params().TIFF_DocumentName, "Invoice");
    EXPECT_EQ(full.io.Params().TIFF_PageNumber, 2);

    // Full: "B/W" on an RGB record turns the photometric to BLACKISZERO.
    full.io.Params().TIFF_PhotometInterpret = ioTIFF_RGB;
    full.io.Params().SamplesPerPixel = 3;
    std::string photometric;
    full.Open(PreviewSet(ppTIFF), [&](TfIOPreviews& d) {
        Simulate::Choose(d.ComboBox4, 0);
        photometric = d.ComboBox3->Text();
        Simulate::Click(d.Button1);
    });
    EXPECT_EQ(photometric, "BLACKISZERO/Gray");
    EXPECT_EQ(full.io.Params().BitsPerSample, 1);
}

TEST(IOPreviewsDialog, ColourPickersUseTheGifColoursWhenThereAreAny)
{
    TScriptedDialogService dialogs;
    // Without an LZW encoder no GIF can be made, so there is no colour map: the colour dialog.
    Component without(2);
    dialogs.AnswerColor(RGBToColor(10, 20, 30));
    bool panelEnabled = false;
    without.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
        EXPECT_EQ(d.CompressedSizeText(ipgGIF), "---");
        Simulate::Click(d.CheckBox4);
        panelEnabled = d.Panel3->Enabled();
        Simulate::Click(d.Panel3);
        Simulate::Click(d.Button1);
    });
    EXPECT_TRUE(panelEnabled);
    ASSERT_EQ(dialogs.CallsOf(dkChooseColor).size(), 1u);
    EXPECT_TRUE(without.io.Params().GIF_FlagTranspColor);
    EXPECT_EQ(without.io.Params().GIF_TranspColor, (TRGB{30, 20, 10}));

    // With one, the picker offers the GIF's own colours.
    Component with(2);
    with.io.Params().GIF_LZWCompress = &Giflzw::GIFLZWCompress;
    with.io.Params().BitsPerSample = 2;
    with.io.PreviewsParams = 0; // no preview yet: the picker makes one
    TRGB offered{};
    PickerAnswer pick(3);
    with.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
        Simulate::Click(d.Panel4);
        ASSERT_EQ(d.Encoder()->Params().ColorMapCount, 4);
        offered = d.Encoder()->Params().ColorMap[3];
        Simulate::Click(d.Button1);
    });
    EXPECT_TRUE(pick.Ran());
    EXPECT_EQ(with.io.Params().GIF_Background, offered);
    EXPECT_EQ(dialogs.CallsOf(dkChooseColor).size(), 1u);

    // PNG's background: the colour dialog until a palette preview left a map, then the map.
    Component png(8);
    dialogs.AnswerColor(RGBToColor(1, 2, 3));
    PickerAnswer pickPng(1);
    TRGB white{};
    png.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
        Simulate::Click(d.Panel1);
        EXPECT_EQ(dialogs.CallsOf(dkChooseColor).size(), 2u);
        Simulate::Choose(d.ComboBox10, 0);
        ASSERT_EQ(d.Encoder()->Params().ColorMapCount, 2);
        white = d.Encoder()->Params().ColorMap[1];
        Simulate::Click(d.Panel1);
        Simulate::Click(d.Button1);
    });
    EXPECT_TRUE(pickPng.Ran());
    EXPECT_EQ(white, (TRGB{255, 255, 255}));
    EXPECT_EQ(png.io.Params().PNG_Background, white);
    EXPECT_EQ(png.io.Params().BitsPerSample, 1);
}

TEST(IOPreviewsDialog, ResultOfARealPhotoIsWhatDjpegDecodes)
{
    // A photo no one here made, from the Go sources' image tests.
    const std::string photo = "/usr/share/go-1.19/src/image/testdata/video-001.png";
    kvtest::TempFolder folder;
    Component c(3);
    c.io.LoadFromFile(photo);
    ASSERT_FALSE(c.io.Aborting);
    c.io.Params().FileType = 3;
    TKVBitmap result;
    std::string size;
    c.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
        Simulate::Slide(d.TrackBar13, 60);
        result.AssignImage(d.Korvane2->GetKVBitmap());
        size = d.CompressedSizeText(ipgJPEG);
        Simulate::Click(d.Button1);
    });
    // The same picture saved with the chosen quality and decoded by the standard tool.
    const std::string jpeg = folder.File("photo.jpg");
    const std::string decoded = folder.File("photo.ppm");
    c.io.SaveToFile(jpeg);
    ASSERT_EQ(kvtest::ToolExitCode("djpeg -pnm -outfile " + decoded + " " + jpeg), 0);
    TKorvaneIO reader(nullptr);
    reader.LoadFromFile(decoded);
    ASSERT_FALSE(reader.Aborting);
    TKVBitmap* reference = reader.KVBitmap();
    EXPECT_EQ(size, IntToStr(FileSize(jpeg)) + " bytes");
    ASSERT_EQ(result.GetWidth(), reference->GetWidth());
    ASSERT_EQ(result.GetHeight(), reference->GetHeight());
    int32_t worst = 0;
    for (int32_t y = 0; y < result.GetHeight(); ++y) {
        for (int32_t x = 0; x < result.GetWidth(); ++x) {
            const TRGB a = result.GetPixels_kv24RGB(x, y);
            const TRGB b = reference->GetPixels_kv24RGB(x, y);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    }
    EXPECT_EQ(worst, 0);
}

TEST(IOPreviewsDialog, OtherPagesWriteWhatTheyShow)
{
    const struct
    {
        int32_t FileType;
        std::function<void(TfIOPreviews&)> Choose;
        std::function<bool(const TIOParamsVals&)> Written;
    } cases[] = {
        {14,
         [](TfIOPreviews& d) {
             EXPECT_EQ(d.Edit15->Text(), "1000");
             Simulate::Retype(d.Edit15, "250");
             EXPECT_EQ(d.TrackBar1->Position(), 250);
             Simulate::Choose(d.ComboBox15, 0);
         },
         [](const TIOParamsVals& p) {
             return p.J2000_Rate == 0.25 && p.J2000_ColorSpace == ioJ2000_GRAYLEV && p.SamplesPerPixel == 1;
         }},
        {2,
         [](TfIOPreviews& d) {
             Simulate::Choose(d.ComboBox5, 3);
             Simulate::Retype(d.Edit12, "15");
             Simulate::Retype(d.Edit10, "x");
             Simulate::Click(d.CheckBox5);
         },
         [](const TIOParamsVals& p) {
             return p.BitsPerSample == 4 && p.GIF_DelayTime == 15 && p.GIF_XPos == 0 && p.GIF_Interlaced;
         }},
        {5,
         [](TfIOPreviews& d) {
             Simulate::Choose(d.ComboBox7, 5); // "16M (32bit)"
             Simulate::Choose(d.ComboBox6, 1);
         },
         [](const TIOParamsVals& p) {
             return p.BitsPerSample == 8 && p.SamplesPerPixel == 3 && p.BMP_Compression == ioBMP_RLE;
         }},
        {4,
         [](TfIOPreviews& d) {
             Simulate::Choose(d.ComboBox9, 1);
             Simulate::Choose(d.ComboBox8, 0);
         },
         [](const TIOParamsVals& p) {
             return p.BitsPerSample == 4 && p.SamplesPerPixel == 1 && p.PCX_Compression == ioPCX_UNCOMPRESSED;
         }},
        {8,
         [](TfIOPreviews& d) {
             Simulate::Choose(d.ComboBox11, 2);
             Simulate::Choose(d.ComboBox12, 9);
             Simulate::Click(d.CheckBox6);
         },
         [](const TIOParamsVals& p) {
             return p.PNG_Filter == ioPNG_FILTER_PAETH && p.PNG_Compression == 9 && p.PNG_Interlaced;
         }},
        {11,
         [](TfIOPreviews& d) {
             Simulate::Choose(d.ComboBox14, 1);
             Simulate::Click(d.CheckBox1);
             Simulate::Retype(d.Edit13, "Holiday");
         },
         [](const TIOParamsVals& p) {
             return p.BitsPerSample == 8 && p.SamplesPerPixel == 1 && !p.TGA_Compressed &&
                    p.TGA_ImageName == "Holiday";
         }},
    };
    for (const auto& c : cases) {
        Component component(c.FileType, 40, 30);
        std::string size;
        EXPECT_TRUE(component.Open(PreviewSet(ppAUTO), [&](TfIOPreviews& d) {
            c.Choose(d);
            size = d.CompressedSizeText(d.ActivePreviewPage());
            Simulate::Click(d.Button1);
        }));
        EXPECT_TRUE(c.Written(component.io.Params())) << c.FileType;
        // Every change was previewed (a GIF needs an LZW encoder to be sized).
        EXPECT_EQ(size == "---", c.FileType == 2) << c.FileType << " " << size;
    }
}

TEST(IOPreviewsDialog, LanguageFontLockAndViews)
{
    Component c(3, 400, 300);
    c.io.MsgLanguage = msItalian;
    c.io.PreviewFont()->SetName("Arial");
    c.io.PreviewsParams = 0;
    c.Open(PreviewSet(ppJPEG), [&](TfIOPreviews& d) {
        EXPECT_EQ(d.Button2->Caption(), "Annulla");
        EXPECT_EQ(d.Label1->Caption(), "Originale:");
        EXPECT_EQ(d.Font()->Name(), "Arial");
        // The preview waits for the Preview button while the lock is up; pressing the lock
        // previews at once and disables Preview.
        EXPECT_EQ(d.CompressedSizeText(ipgJPEG), "---");
        Simulate::Click(d.SpeedButton1);
        EXPECT_TRUE(d.SpeedButton1->Down());
        EXPECT_FALSE(d.Button3->Enabled());
        EXPECT_NE(d.CompressedSizeText(ipgJPEG), "---");
        // The result view follows the source view's zoom and scrolling.
        d.Korvane1->SetZoom(200);
        d.Korvane1->SetViewXY(30, 20);
        EXPECT_EQ(d.Korvane2->Zoom(), 200);
        EXPECT_EQ(d.Korvane2->ViewX(), d.Korvane1->ViewX());
        EXPECT_EQ(d.Korvane2->ViewY(), d.Korvane1->ViewY());
        EXPECT_GT(d.Korvane2->ViewX(), 0);
        Simulate::Click(d.Button2);
    });
}

TEST(IOPreviewsDialog, EmptyAndExtremePicturesPreviewSafely)
{
    const struct
    {
        int32_t Width, Height;
        const char* Original;
    } cases[] = {{0, 0, "0 bytes"}, {1, 65536, "262144 bytes"}};
    for (const auto& c : cases) {
        Component component(0, 1, 1);
        if (c.Width == 0) {
            component.io.KVBitmap()->FreeImage();
        } else {
            component.io.KVBitmap()->Allocate(c.Width, c.Height, kv24RGB);
        }
        std::vector<std::string> original, compressed;
        component.Open(PreviewSet(ppALL), [&](TfIOPreviews& d) {
            for (TTabSheet* sheet : TabsShown(d)) {
                Simulate::ClickTab(d.PageControl1, sheet);
                original.push_back(d.OriginalSizeText(d.ActivePreviewPage()));
                compressed.push_back(d.CompressedSizeText(d.ActivePreviewPage()));
            }
            Simulate::Click(d.Button2);
        });
        ASSERT_EQ(original.size(), 8u);
        for (size_t i = 0; i < original.size(); ++i) {
            EXPECT_EQ(original[i], c.Original) << i;
            EXPECT_FALSE(compressed[i].empty()) << i;
        }
        // JPEG cannot hold 65536 rows: no size rather than a wrong one.
        EXPECT_EQ(compressed[0], "---");
    }
}
