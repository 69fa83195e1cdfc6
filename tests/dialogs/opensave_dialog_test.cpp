// The open and save dialogs driven through the scripted file dialog: the filter they offer, the
// preview and description of the files a user selects (photos, animations, broken files), the
// save dialog's extension and parameter rules, and the I/O components' entry points.
#include "imaging/codecs/gif/gif_lzw.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/iopreviews.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/dialogs/kvopensavedlg.h"
#include "imaging/dialogs/opensave_texts.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvaneio_globals.h"
#include "imaging/io/korvanemio.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/forms/buttons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/canvas.h"
#include "tests/dialogs/iopreviews_test_support.h"
#include "tests/dialogs/opensave_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace opensavetest;
using Step = TFileDialogAction;

namespace {

const std::string kPhoto = "/usr/share/cargo/registry/jpeg-decoder-0.2.6/benches/large_image.jpg";
const std::string kSmallPhoto = "/usr/share/doc/imagemagick-6-common/html/images/bluebells_darker.jpg";
const std::string kOneFrameGif = "/usr/share/doc/imagemagick-6-common/html/images/smile.gif";
const std::string kThrobber = "/usr/share/fgallery/view/throbber.gif";

// The scripted dialogs, a temporary folder, and the GIF coders plugged in (they are not by
// default, and GIF then cannot be read at all).
struct OpenSaveFixture : testing::Test
{
    TScriptedDialogService dialogs;
    kvtest::TempFolder temp;
    TGIFLZWDecompFunc oldDecomp = Korvaneio::DefGIF_LZWDECOMPFUNC;
    TGIFLZWCompFunc oldComp = Korvaneio::DefGIF_LZWCOMPFUNC;

    void UseGifCoders()
    {
        Korvaneio::DefGIF_LZWDECOMPFUNC = Giflzw::GIFLZWDecompress;
        Korvaneio::DefGIF_LZWCOMPFUNC = Giflzw::GIFLZWCompress;
    }
    void TearDown() override
    {
        Korvaneio::DefGIF_LZWDECOMPFUNC = oldDecomp;
        Korvaneio::DefGIF_LZWCOMPFUNC = oldComp;
        Korvaneio::KVUpdateGIFStatus();
    }

    // The five description lines, as the panel shows them.
    static std::vector<std::string> Lines(const TOpenKorvaneDialog& d)
    {
        return {d.InfoLabel1()->Caption(), d.InfoLabel2()->Caption(), d.PicLabel1()->Caption(),
                d.PicLabel2()->Caption(), d.PicLabel3()->Caption()};
    }

    // A 24-frame animation: three copies of a packaged 8-frame one, merged by gifsicle.
    std::string Animation()
    {
        const std::string out = temp.File("anim24.gif");
        const std::string command =
            "gifsicle --merge " + kThrobber + " " + kThrobber + " " + kThrobber + " -o " + out;
        EXPECT_EQ(kvtest::ToolExitCode(command), 0) << command;
        return out;
    }
};

} // namespace

TEST_F(OpenSaveFixture, TheDialogsOfferTheFilterBuiltFromTheFormatTable)
{
    std::vector<std::string> offered;
    {
        OnlyFormats only({Record(3, "J", "JPG;JPEG", true, true), Record(1, "T", "TIF;TIFF", true, false)});
        TOpenKorvaneDialog open(nullptr);
        open.ExtendedFilters = "X|*.x";
        open.SetFilterIndex(3);
        open.Title = "Load";
        open.SetInitialDir("/pictures/");
        dialogs.PlayFileDialog({Step::Cancel()});
        EXPECT_FALSE(open.Execute());
        TSaveKorvaneDialog save(nullptr);
        save.ExtendedFilters = "A|*.a;*.b|B|*.c";
        dialogs.PlayFileDialog({Step::Cancel()});
        EXPECT_FALSE(save.Execute());
        // Without AutoSetFilter the dialog offers its own filter.
        save.AutoSetFilter = false;
        save.Filter = "Mine|*.mine";
        dialogs.PlayFileDialog({Step::Cancel()});
        EXPECT_FALSE(save.Execute());
    }
    const std::vector<TDialogCall> opens = dialogs.CallsOf(dkOpenFile);
    const std::vector<TDialogCall> saves = dialogs.CallsOf(dkSaveFile);
    ASSERT_EQ(opens.size(), 1u);
    ASSERT_EQ(saves.size(), 2u);
    EXPECT_TRUE(opens[0].Hosted);
    EXPECT_EQ(opens[0].File.Filter,
              "All graphics|*.jpg;*.jpeg;*.tif;*.tiff;*.avi;*.x|J (JPG;JPEG)|*.jpg;*.jpeg|"
              "T (TIF;TIFF)|*.tif;*.tiff|Video for Windows (AVI)|*.avi|X|*.x");
    EXPECT_EQ(opens[0].File.FilterIndex, 3);
    EXPECT_EQ(opens[0].File.Title, "Load");
    EXPECT_EQ(opens[0].File.InitialDir, "/pictures/");
    // A save dialog: only J can be written, and no all-pictures entry leads.
    EXPECT_EQ(saves[0].File.Filter,
              "J (JPG;JPEG)|*.jpg;*.jpeg|Video for Windows (AVI)|*.avi|A|*.a;*.b|B|*.c");
    EXPECT_EQ(saves[1].File.Filter, "Mine|*.mine");
}

TEST_F(OpenSaveFixture, APhotoIsPreviewedAtAReducedDecodeAndDescribed)
{
    const std::string photo = temp.File("photo.jpg");
    ASSERT_TRUE(CopyFile(kPhoto, photo, false));
    const std::string broken = temp.Write("broken.jpg", std::string("\xFF\xD8\xFF\xE0 not a picture"));
    const std::string empty = temp.Write("empty.png", "");
    ASSERT_EQ(kvtest::ToolExitCode("djpeg -scale 1/4 " + kPhoto + " > " + temp.File("quarter.ppm")), 0);
    TKVBitmap reference;
    {
        TKorvaneIO io(nullptr);
        io.SetAttachedKVBitmap(&reference);
        io.LoadFromFile(temp.File("quarter.ppm"));
    }

    TOpenKorvaneDialog d(nullptr);
    std::vector<std::vector<std::string>> seen;
    std::vector<int32_t> sizes;
    auto look = [&] {
        seen.push_back(Lines(d));
        TKVBitmap* shown = d.KorvaneView()->GetKVBitmap();
        sizes.push_back(d.KorvaneView()->GetIsEmpty() ? 0 : shown->GetWidth() * 10000 + shown->GetHeight());
    };
    dialogs.PlayFileDialog({Step::Select(photo), Step::Do(look), Step::Select(broken), Step::Do(look),
                            Step::Select(empty), Step::Do(look), Step::Folder(temp.File("")), Step::Do(look),
                            Step::Select(photo), Step::Cancel()});
    d.SetFileName("kept.jpg");
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(d.FileName(), "kept.jpg") << "a cancel leaves the name";
    ASSERT_EQ(seen.size(), 4u);
    TIOParamsVals jpeg;
    jpeg.FileType = 3;
    const std::vector<std::string> photoLines = {jpeg.GetFileTypeStr(), "File: 487 Kb   Mem: 10046 Kb",
                                                 "2268 x 1512 pixel", "16777216 Colors (24 bit)", seen[0][4]};
    EXPECT_EQ(seen[0], photoLines);
    EXPECT_EQ(seen[0][4].substr(seen[0][4].size() - 4), " dpi");
    // The smallest reduction that still covers the view, as djpeg makes it.
    EXPECT_EQ(sizes[0], reference.GetWidth() * 10000 + reference.GetHeight());
    EXPECT_EQ(sizes[0], 567 * 10000 + 378);
    const std::vector<std::string> none(5);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(seen[i], none) << i;
        EXPECT_EQ(sizes[i], 0) << i;
    }
    // After a cancel the panel shows nothing of the last file.
    EXPECT_TRUE(d.KorvaneView()->GetIsEmpty());
}

TEST_F(OpenSaveFixture, AnAnimationFillsTheFrameViewAndOneFrameTheSingleView)
{
    UseGifCoders();
    const std::string anim = Animation();
    TOpenKorvaneDialog d(nullptr);
    d.ShowAllFrames = true;
    std::vector<std::string> states;
    auto state = [&] {
        states.push_back(std::string(d.KorvaneMView()->Visible() ? "frames " : "single ") +
                         std::to_string(d.KorvaneMView()->GetImageCount()) + " play " +
                         (d.PlayButton()->Enabled() ? "on" : "off") +
                         (d.KorvaneMView()->Playing() ? " playing" : "") +
                         (d.PreviewButton()->Enabled() ? " preview" : "") + " | " + d.PicLabel1()->Caption());
    };
    dialogs.PlayFileDialog({Step::Select(anim), Step::Do(state),
                            Step::Do([&] { Simulate::Click(d.PlayButton()); }), Step::Do(state),
                            Step::Do([&] { Simulate::Click(d.PlayButton()); }), Step::Do(state),
                            Step::Select(kOneFrameGif), Step::Do(state), Step::Accept()});
    ASSERT_TRUE(d.Execute());
    EXPECT_EQ(d.FileName(), kOneFrameGif);
    const std::vector<std::string> expected = {
        "frames 24 play on preview | 32 x 32 pixel , 24 frames",
        "frames 24 play on playing | 32 x 32 pixel , 24 frames",
        "frames 24 play on preview | 32 x 32 pixel , 24 frames",
        "single 0 play off preview | 48 x 48 pixel",
    };
    EXPECT_EQ(states, expected);

    // Without ShowAllFrames an animation shows its first frame and counts its frames; with
    // AlwaysAnimate the frames play at once.
    states.clear();
    d.ShowAllFrames = false;
    dialogs.PlayFileDialog({Step::Select(anim), Step::Do(state), Step::Cancel()});
    EXPECT_FALSE(d.Execute());
    d.ShowAllFrames = true;
    d.AlwaysAnimate = true;
    dialogs.PlayFileDialog({Step::Select(anim), Step::Do(state), Step::Cancel()});
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(states, (std::vector<std::string>{"single 0 play off preview | 32 x 32 pixel , 24 frames",
                                                "frames 24 play on playing | 32 x 32 pixel , 24 frames"}));
    EXPECT_FALSE(d.KorvaneMView()->Playing()) << "closing stops the frames";
    EXPECT_EQ(d.KorvaneMView()->GetImageCount(), 0);
}

TEST_F(OpenSaveFixture, WithoutPreviewOnlyTheParametersAreRead)
{
    TOpenKorvaneDialog d(nullptr);
    std::vector<std::vector<std::string>> seen;
    std::vector<bool> empty;
    auto look = [&] {
        seen.push_back(Lines(d));
        empty.push_back(d.KorvaneView()->GetIsEmpty());
    };
    dialogs.PlayFileDialog(
        {Step::Select(kSmallPhoto),
         Step::Do([&] { Simulate::Click(d.PreviewCheck(), 5, d.PreviewCheck()->ClientHeight() / 2); }),
         Step::Do(look), Step::Select(kSmallPhoto), Step::Do(look),
         Step::Do([&] { Simulate::Click(d.PreviewCheck(), 5, d.PreviewCheck()->ClientHeight() / 2); }),
         Step::Do(look), Step::Cancel()});
    EXPECT_FALSE(d.Execute());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::vector<std::string>(5)) << "turning the preview off empties the panel";
    EXPECT_EQ(seen[1][2], "384 x 288 pixel");
    EXPECT_EQ(seen[1][1], "File: 26 Kb   Mem: 324 Kb");
    EXPECT_EQ(seen[2], seen[1]);
    EXPECT_EQ(empty, (std::vector<bool>{true, true, false}));
}

TEST_F(OpenSaveFixture, EventsAndTheCloseRequestReachTheProgram)
{
    TOpenKorvaneDialog d(nullptr);
    std::vector<std::string> events;
    d.OnShow = [&](TObject*) { events.push_back("show"); };
    d.OnClose = [&](TObject*) { events.push_back("close"); };
    d.OnFolderChange = [&](TObject*) { events.push_back("folder"); };
    d.OnTypeChange = [&](TObject*) { events.push_back("type " + std::to_string(d.FilterIndex())); };
    d.OnSelectionChange = [&](TObject*) { events.push_back("select " + ExtractFileName(d.FileName())); };
    int asked = 0;
    d.OnCanClose = [&](TObject*, bool& canClose) {
        events.push_back("can-close " + d.Files()->Strings(0));
        canClose = ++asked > 1;
    };
    d.Filter = "J|*.jpg|P|*.png";
    d.AutoSetFilter = false;
    dialogs.PlayFileDialog({Step::ChangeType(2), Step::Select("/nowhere/a.png"), Step::Accept(),
                            Step::TypeName("b.png"), Step::Accept()});
    ASSERT_TRUE(d.Execute());
    EXPECT_EQ(events,
              (std::vector<std::string>{"show", "type 2", "folder", "select a.png",
                                        "can-close /nowhere/a.png", "can-close /nowhere/b.png", "close"}));
    EXPECT_EQ(d.FileName(), "/nowhere/b.png");
    EXPECT_EQ(d.FilterIndex(), 2);
    EXPECT_EQ(d.CurrentFilterPattern(), "*.png");
    EXPECT_EQ(d.Files()->Count(), 1);
}

TEST_F(OpenSaveFixture, TheReadOnlyBoxAndTheExtensionFlagComeBackWithTheChoice)
{
    const struct
    {
        const char* name;
        bool save;
        TOpenOptions options;
        const char* defaultExt;
        int32_t type; // of "J|*.jpg|P|*.png"
        bool click;   // the user clicks the read-only box
        const char* chosen;
        bool boxShown;
        TOpenOptions returned; // of the returnable ones
    } cases[] = {
        {"hidden box, the default extension", false, ofHideReadOnly, "jpg", 1, false, "a.jpg", false, 0},
        {"a hidden box keeps what it was given", false, ofHideReadOnly | ofReadOnly | ofExtensionDifferent,
         "jpg", 1, false, "a.jpg", false, ofReadOnly},
        {"box ticked", false, 0, "jpg", 1, true, "a.JPG", true, ofReadOnly},
        {"box unticked", false, ofReadOnly, "", 2, true, "b.png", true, 0},
        {"another extension than the default", false, 0, ".jpg", 2, false, "c.png", true,
         ofExtensionDifferent},
        {"another extension than the type's", false, ofHideReadOnly, "", 2, false, "d.jpg", false,
         ofExtensionDifferent},
        {"no extension", false, ofHideReadOnly, "jpg", 1, false, "e", false, 0},
        {"the save dialog has no box", true, ofReadOnly, "", 1, false, "f.gif", false,
         ofReadOnly | ofExtensionDifferent},
    };
    const TOpenOptions returnable = ofReadOnly | ofExtensionDifferent;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TOpenKorvaneDialog> d = c.save ? std::make_unique<TSaveKorvaneDialog>(nullptr)
                                                       : std::make_unique<TOpenKorvaneDialog>(nullptr);
        d->Filter = "J|*.jpg|P|*.png";
        d->AutoSetFilter = false;
        d->Options = c.options;
        d->DefaultExt = c.defaultExt;
        d->SetFilterIndex(c.type);
        bool shown = false;
        dialogs.PlayFileDialog({Step::Do([&] {
                                    shown = d->ReadOnlyCheck()->Visible();
                                    if (c.click)
                                        Simulate::Click(d->ReadOnlyCheck(), 8, 11);
                                }),
                                Step::TypeName(std::string("/pics/") + c.chosen), Step::Accept()});
        ASSERT_TRUE(d->Execute());
        EXPECT_EQ(shown, c.boxShown);
        EXPECT_EQ(d->Options & returnable, c.returned);
        EXPECT_EQ(d->Options & ~returnable, c.options & ~returnable); // the others stay
    }
}

TEST_F(OpenSaveFixture, ThePreviewStartsWhiteAndThePlacesBarFollowsTheSetting)
{
    const std::string preset = temp.File("preset.jpg");
    ASSERT_TRUE(CopyFile(kSmallPhoto, preset, false));
    for (bool places : {true, false}) {
        SCOPED_TRACE(places);
        TOpenKorvaneDialog d(nullptr);
        d.ShowPlacesBar = places;
        d.SetFileName(preset);
        int32_t notWhite = -1;
        auto look = [&] {
            TKorvaneView* view = d.KorvaneView();
            view->Invalidate();
            view->PaintMarked();
            TCanvas* front = view->FrontImage()->Canvas();
            notWhite = 0;
            for (int32_t y = 0; y < view->ClientHeight(); y += 7)
                for (int32_t x = 0; x < view->ClientWidth(); x += 7)
                    notWhite += ColorToRGB(front->Pixels(x, y)) != 0xFFFFFF;
        };
        dialogs.PlayFileDialog({Step::Do(look), Step::Cancel()});
        EXPECT_FALSE(d.Execute());
        EXPECT_EQ(notWhite, 0);
        EXPECT_EQ(dialogs.CallsOf(dkOpenFile).back().File.SideBar, places);
    }
}

TEST_F(OpenSaveFixture, TheSaveDialogGivesTheNameTheChosenTypesExtension)
{
    struct Case
    {
        std::string Typed;
        int32_t From;
        int32_t To;
        std::string NameBox;
    };
    const std::vector<Case> cases = {
        {"image.JPG", 1, 2, "image.png"},
        {"holiday.2020.jpg", 1, 2, "holiday.2020.png"},
        {"/a.b/x", 1, 2, "/a.b/x.png"},
        {"/a.b/x.png", 2, 1, "/a.b/x.jpg"},
        {"", 1, 2, ""},
        {"same.tif", 2, 2, "same.tif"},
        {"any.jpg", 1, 3, "any.jpg"}, // "*.*" names no extension
    };
    for (const Case& c : cases) {
        TSaveKorvaneDialog d(nullptr);
        d.AutoSetFilter = false;
        d.Filter = "J (JPG)|*.jpg;*.jpeg|P (PNG)|*.png|All|*.*";
        d.SetFilterIndex(c.From);
        dialogs.PlayFileDialog({Step::TypeName(c.Typed), Step::ChangeType(c.To), Step::Cancel()});
        EXPECT_FALSE(d.Execute());
        EXPECT_EQ(dialogs.Calls().back().NameText, c.NameBox) << c.Typed;
    }

    // Closing: a name without an extension gets the chosen type's, a cancelled or empty one not.
    const struct
    {
        std::vector<Step> Script;
        bool Chosen;
        std::string Name;
    } closes[] = {
        {{Step::TypeName("photo"), Step::ChangeType(2), Step::Accept()}, true, "/out/photo.png"},
        {{Step::TypeName("photo.tiff"), Step::Accept()}, true, "/out/photo.tiff"},
        {{Step::TypeName("photo"), Step::Cancel()}, false, "start"},
        {{Step::TypeName(""), Step::Accept()}, false, "start"},
    };
    for (const auto& c : closes) {
        TSaveKorvaneDialog d(nullptr);
        d.AutoSetFilter = false;
        d.Filter = "J (JPG)|*.jpg;*.jpeg|P (PNG)|*.png";
        d.SetInitialDir("/out/");
        d.SetFileName("start");
        dialogs.PlayFileDialog(c.Script);
        EXPECT_EQ(d.Execute(), c.Chosen) << c.Name;
        EXPECT_EQ(d.FileName(), c.Name);
    }
}

TEST_F(OpenSaveFixture, ACancelledSaveDialogRestoresTheAttachedParameters)
{
    TKorvaneIO io(nullptr);
    io.Params().JPEG_Quality = 80;
    TSaveKorvaneDialog d(nullptr);
    d.SetAttachedKorvaneIO(&io);
    EXPECT_EQ(d.AttachedKorvaneIO(), &io);
    for (bool accept : {false, true}) {
        // The Advanced pages edit the attached component's parameters while the dialog is open.
        dialogs.PlayFileDialog({Step::Do([&] { io.Params().JPEG_Quality = 30; }), Step::TypeName("x.jpg"),
                                accept ? Step::Accept() : Step::Cancel()});
        EXPECT_EQ(d.Execute(), accept);
        EXPECT_EQ(io.Params().JPEG_Quality, accept ? 30 : 80);
    }
    // Attachments: only the I/O components and the views count, and a freed one is forgotten.
    TComponent other(nullptr);
    d.SetAttachedKorvaneIO(&other);
    EXPECT_EQ(d.AttachedKorvaneIO(), &io);
    {
        TKorvaneMIO mio(nullptr);
        mio.MsgLanguage = msGerman;
        d.SetAttachedKorvaneIO(&mio);
        EXPECT_EQ(d.MsgLanguage, msGerman);
        // Nothing to save: no dialog at all.
        dialogs.ClearCalls();
        EXPECT_FALSE(d.Execute());
        EXPECT_TRUE(dialogs.Calls().empty());
    }
    EXPECT_EQ(d.AttachedKorvaneIO(), nullptr);
}

TEST_F(OpenSaveFixture, TheComponentsEntryPointsReturnTheChosenNameOrNothing)
{
    TForm form(nullptr);
    auto* view = new TKorvaneMView(&form);
    view->SetParent(&form);
    TKorvaneIO io(nullptr);
    io.MsgLanguage = msEnglish;
    TKorvaneMIO* mio = view->GetKorvaneMIO();
    auto fill = [&] {
        auto picture = std::make_unique<TKVBitmap>();
        picture->Allocate(4, 4, kv24RGB);
        view->InsertImageEx(0);
        view->SetKVBitmap(0, picture.get());
    };
    fill();
    ASSERT_EQ(mio->GetParamsCount(), 1);

    dialogs.AnswerFiles({"/p/a.jpg"}, 2);
    EXPECT_EQ(io.ExecuteOpenDialog("/p/", "start.jpg", false, 3, "X|*.x"), "/p/a.jpg");
    dialogs.CancelFiles();
    EXPECT_EQ(io.ExecuteOpenDialog("/p/", "start.jpg", false, 3, ""), "");
    dialogs.PlayFileDialog({Step::TypeName("b"), Step::Accept()});
    // The first writable format's extension: the first entry of the save filter.
    const std::string firstExt = Kvopensavedlg::FirstExtension(
        Kvopensavedlg::FilterPattern(Kvopensavedlg::BuildStrFilter(true, "", msEnglish), 1));
    EXPECT_EQ(io.ExecuteSaveDialog("/q/", "", false, 1, ""), "/q/b" + firstExt);
    dialogs.CancelFiles();
    EXPECT_EQ(io.ExecuteSaveDialog("/q/", "", false, 1, ""), "");
    dialogs.AnswerFiles({"/m/anim.gif"});
    EXPECT_EQ(mio->ExecuteOpenDialog("/m/", "", true, 1, ""), "/m/anim.gif");
    dialogs.PlayFileDialog({Step::TypeName("c.png"), Step::Accept()});
    EXPECT_EQ(mio->ExecuteSaveDialog("/m/", "", false, 1, ""), "/m/c.png");

    const std::vector<TDialogCall> calls = dialogs.Calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].File.InitialDir, "/p/");
    EXPECT_EQ(calls[0].File.FileName, "start.jpg");
    EXPECT_EQ(calls[0].File.FilterIndex, 3);
    EXPECT_EQ(calls[0].File.Filter.substr(calls[0].File.Filter.size() - 4), "|*.x");
    EXPECT_EQ(calls[2].Kind, dkSaveFile);
    EXPECT_NE(calls[2].File.Filter[0], '|');
    EXPECT_EQ(calls[5].Kind, dkSaveFile);
    // The entry points leave no dialog behind.
    EXPECT_EQ(io.ComponentCount(), 0);
    EXPECT_EQ(mio->ComponentCount(), 0);
}

namespace {

// An I/O component whose save-parameters dialog only notes the pages asked for and changes a
// parameter, as the user would there.
class NotingIO : public TKorvaneIO
{
public:
    NotingIO() : TKorvaneIO(nullptr) {}
    bool DoPreviews(TPreviewParams Pages) override
    {
        Asked.push_back(Pages);
        Params().JPEG_Quality = 30;
        Params().PNG_Filter = ioPNG_FILTER_PAETH;
        return true;
    }
    std::vector<TPreviewParams> Asked;
};

} // namespace

TEST_F(OpenSaveFixture, AdvancedOpensThePagesOfTheNamesTypeAndACancelUndoesThem)
{
    // Which pages open: from the name's extension, else DefaultExt, else the chosen type.
    const struct
    {
        std::string Name;
        std::string DefaultExt;
        int32_t Type;
        TIOPreviewPage Page;
    } table[] = {
        {"x.jpeg", "", 2, ipgJPEG},    {"x.PNG", "tif", 1, ipgPNG}, {"x", "tif", 1, ipgTIFF},
        {"x", ".bmp", 1, ipgBMP},      {"x", "", 1, ipgJPEG},       {"x.xyz", "", 2, ipgPNG},
        {"dir.pcx/x", "", 3, ipgNone}, {"x.gif", "", 1, ipgJPEG}, // GIF cannot be written here
    };
    for (const auto& row : table) {
        TKorvaneIO io(nullptr);
        auto photo = iopreviewstest::Photo(60, 40);
        io.KVBitmap()->AssignImage(photo.get());
        TSaveKorvaneDialog d(nullptr);
        d.AutoSetFilter = false;
        d.Filter = "J|*.jpg;*.jpeg|P|*.png|All|*.*";
        d.DefaultExt = row.DefaultExt;
        d.SetFilterIndex(row.Type);
        d.SetAttachedKorvaneIO(&io);
        TIOPreviewPage shown = ipgNone;
        iopreviewstest::DialogRun run;
        run.Hook(io, [&](TfIOPreviews& dialog) {
            shown = dialog.ActivePreviewPage();
            Simulate::Click(dialog.Button2);
        });
        dialogs.PlayFileDialog({Step::TypeName(row.Name),
                                Step::Do([&] { Simulate::Click(d.AdvancedButton()); }), Step::Cancel()});
        EXPECT_FALSE(d.Execute());
        EXPECT_EQ(run.Done(), row.Page != ipgNone) << row.Name;
        EXPECT_EQ(shown, row.Page) << row.Name;
        EXPECT_TRUE(d.AdvancedButton()->Visible()) << row.Name;
    }

    // What the pages changed stays when the user saves and is undone when he cancels, for the
    // single-image component and the first frame of the multi-image one.
    for (bool accept : {false, true}) {
        NotingIO io;
        io.Params().JPEG_Quality = 80;
        TSaveKorvaneDialog d(nullptr);
        d.SetAttachedKorvaneIO(&io);
        dialogs.PlayFileDialog({Step::TypeName("x.jpg"),
                                Step::Do([&] { Simulate::Click(d.AdvancedButton()); }),
                                accept ? Step::Accept() : Step::Cancel()});
        EXPECT_EQ(d.Execute(), accept);
        EXPECT_EQ(io.Asked, std::vector<TPreviewParams>{PreviewSet(ppJPEG)});
        EXPECT_EQ(io.Params().JPEG_Quality, accept ? 30 : 80);
        EXPECT_EQ(io.Params().PNG_Filter == ioPNG_FILTER_PAETH, accept);
    }
    // Without sdShowAdvanced there is no button to press.
    TSaveKorvaneDialog plain(nullptr);
    plain.ExOptions = SaveDlgOpt(sdShowPreview);
    bool visible = true;
    dialogs.PlayFileDialog({Step::Do([&] { visible = plain.AdvancedButton()->Visible(); }), Step::Cancel()});
    EXPECT_FALSE(plain.Execute());
    EXPECT_FALSE(visible);
}

namespace {

// Notes the caption and size of the full-size preview window once it shows modally, and closes
// it with the Escape key.
class PreviewWindowWatch
{
public:
    PreviewWindowWatch()
    {
        FTimer.SetInterval(1);
        FTimer.OnTimer = [this](TObject*) {
            for (int32_t i = 0; i < Screen->FormCount(); ++i) {
                TForm* form = Screen->Forms(i);
                // A few ticks in, once the window has taken its size.
                if (form->Name() == "PreviewForm" && form->Modal() && form->ModalResult() == mrNone &&
                    ++FTicks % 5 == 0) {
                    Seen.push_back(form->Caption() + " " + std::to_string(form->ClientWidth()) + " x " +
                                   std::to_string(form->ClientHeight()) + " / " +
                                   std::to_string(form->Width()) + " x " + std::to_string(form->Height()));
                    Simulate::Key(form, VK_ESCAPE);
                }
            }
        };
    }
    std::vector<std::string> Seen;

private:
    TTimer FTimer{nullptr};
    int32_t FTicks = 0;
};

} // namespace

TEST_F(OpenSaveFixture, ThePreviewWindowShowsThePictureAtItsOwnSize)
{
    UseGifCoders();
    TOpenKorvaneDialog d(nullptr);
    PreviewWindowWatch watch;
    dialogs.PlayFileDialog({Step::Select(kSmallPhoto), Step::Do([&] { Simulate::Click(d.PreviewButton()); }),
                            Step::Select(kOneFrameGif), Step::Do([&] { d.PreviewClick(); }),
                            Step::Select(temp.File("")), Step::Do([&] { d.PreviewClick(); }),
                            Step::Cancel()});
    EXPECT_FALSE(d.Execute());
    ASSERT_EQ(watch.Seen.size(), 2u) << "nothing to show for a folder";
    EXPECT_EQ(watch.Seen[0], "Preview: " + kSmallPhoto + " 384 x 288 / " +
                                 watch.Seen[0].substr(watch.Seen[0].rfind('/') + 2));
    // A picture narrower than 101 pixels gets a window 100 pixels wide and high.
    EXPECT_EQ(watch.Seen[1].substr(watch.Seen[1].rfind('/')), "/ 100 x 100");
    EXPECT_EQ(watch.Seen[1].rfind("Preview: " + kOneFrameGif + " ", 0), 0u);
}

TEST_F(OpenSaveFixture, LongPathsAndFilesOverFourGibibytesAreDescribedWhole)
{
    // A path far past the old 260-character buffer, and a file of 5 GiB (sparse: a photo followed
    // by a hole).
    std::string folder = temp.File("");
    for (int i = 0; i < 3; ++i) {
        folder += std::string(100, char('a' + i)) + "/";
    }
    ASSERT_TRUE(ForceDirectories(folder));
    const std::string photo = folder + "photo.jpg";
    ASSERT_TRUE(CopyFile(kSmallPhoto, photo, false));
    ASSERT_GT(photo.size(), 310u);
    const std::string huge = temp.File("huge.jpg");
    ASSERT_TRUE(CopyFile(kSmallPhoto, huge, false));
    std::filesystem::resize_file(huge, uintmax_t(5) << 30);

    TOpenKorvaneDialog d(nullptr);
    std::vector<std::vector<std::string>> seen;
    dialogs.PlayFileDialog({Step::Select(photo), Step::Do([&] { seen.push_back(Lines(d)); }),
                            Step::Do([&] { Simulate::Click(d.PreviewCheck(), 5, 5); }), Step::Select(huge),
                            Step::Do([&] { seen.push_back(Lines(d)); }), Step::Select(photo),
                            Step::Accept()});
    ASSERT_TRUE(d.Execute());
    EXPECT_EQ(d.FileName(), photo);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0][1], "File: 26 Kb   Mem: 324 Kb");
    EXPECT_EQ(seen[0][2], "384 x 288 pixel");
    EXPECT_EQ(seen[1][1], "File: 5242880 Kb   Mem: 324 Kb");
}
