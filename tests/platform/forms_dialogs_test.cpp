// The dialog service: scripted answers and recorded calls, the dialog components that go through
// it, the application's exception display, and the real service's filter and help-page texts.
#include <cmath>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <functional>

#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/forms/application.h"
#include "platform/forms/detail/dialog_texts.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "tests/support/temp_folder.h"

namespace {

class ApplicationTitle
{
public:
    explicit ApplicationTitle(const std::string& title) : FSaved(Application->Title())
    {
        Application->SetTitle(title);
    }
    ~ApplicationTitle() { Application->SetTitle(FSaved); }

private:
    std::string FSaved;
};

} // namespace

TEST(ScriptedDialogs, MessageBoxReturnsTheScriptedButtonAndRecordsTheCall)
{
    TScriptedDialogService dialogs;
    dialogs.AnswerMessageBox(IDNO);
    const int32_t answer = Application->MessageBox("The folder is not empty.\nDelete?", "Plimbet v1.0",
                                                   MB_YESNOCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(answer, IDNO);
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    const TDialogCall& call = dialogs.Calls()[0];
    EXPECT_EQ(call.Kind, dkMessageBox);
    EXPECT_EQ(call.Caption, "Plimbet v1.0");
    EXPECT_EQ(call.Text, "The folder is not empty.\nDelete?");
    EXPECT_EQ(call.Flags, 0x23u);
    EXPECT_TRUE(call.Scripted);
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(ScriptedDialogs, UnscriptedMessageBoxesAnswerAsClosingThemWould)
{
    struct Case
    {
        uint32_t Flags;
        int32_t Answer;
    };
    const Case cases[] = {
        {MB_OK | MB_ICONSTOP, IDOK},        {MB_OKCANCEL, IDCANCEL},
        {MB_ABORTRETRYIGNORE, IDABORT},     {MB_YESNOCANCEL | MB_ICONQUESTION, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDNO}, {MB_RETRYCANCEL, IDCANCEL},
    };
    TScriptedDialogService dialogs;
    for (const Case& c : cases) {
        EXPECT_EQ(Application->MessageBox("?", "caption", c.Flags), c.Answer) << "flags " << c.Flags;
    }
    for (const TDialogCall& call : dialogs.Calls()) {
        EXPECT_FALSE(call.Scripted);
    }
}

TEST(ScriptedDialogs, AnswersAreUsedInOrderAndTheServiceIsRestoredAfterwards)
{
    IDialogService* real = &DialogService();
    {
        TScriptedDialogService outer;
        outer.AnswerMessageBox(IDYES);
        {
            TScriptedDialogService inner;
            inner.AnswerMessageBox(IDRETRY);
            inner.AnswerMessageBox(IDIGNORE);
            EXPECT_EQ(Application->MessageBox("a", "", MB_ABORTRETRYIGNORE), IDRETRY);
            EXPECT_EQ(Application->MessageBox("b", "", MB_ABORTRETRYIGNORE), IDIGNORE);
            EXPECT_EQ(outer.Calls().size(), 0u);
        }
        EXPECT_EQ(&DialogService(), &outer);
        EXPECT_EQ(Application->MessageBox("c", "", MB_YESNO), IDYES);
    }
    EXPECT_EQ(&DialogService(), real);
}

TEST(ScriptedDialogs, EmptyCaptionTakesTheApplicationTitle)
{
    ApplicationTitle title("Plimbet");
    TScriptedDialogService dialogs;
    ShowMessage("Done");
    Application->MessageBox("Error", "", MB_OK | MB_ICONSTOP);
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[0].Caption, "Plimbet");
    EXPECT_EQ(dialogs.Calls()[0].Flags, uint32_t(MB_OK));
    EXPECT_EQ(dialogs.Calls()[1].Caption, "Plimbet");
}

TEST(ScriptedDialogs, FolderPickerGivesAFolderWithATrailingSlashOrNothing)
{
    TScriptedDialogService dialogs;
    dialogs.AnswerFolder("/tmp/gallery");
    dialogs.CancelFolder();
    std::string folder = "/home/user/old/";
    EXPECT_TRUE(DialogService().BrowseForFolder("Please choose the folder", "", folder));
    EXPECT_EQ(folder, "/tmp/gallery/");
    EXPECT_FALSE(DialogService().BrowseForFolder("Again", "", folder));
    EXPECT_EQ(folder, "/tmp/gallery/");
    const auto calls = dialogs.CallsOf(dkBrowseForFolder);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Caption, "Please choose the folder");
    EXPECT_EQ(calls[0].Text, "/home/user/old/");
    EXPECT_EQ(calls[1].Answer, 0);
}

TEST(FileDialogs, OpenDialogSendsItsSettingsAndTakesTheChoice)
{
    TScriptedDialogService dialogs;
    TOpenDialog dialog(nullptr);
    dialog.Title = "Open file of template";
    dialog.Filter = "Template's files|*.htm|All files|*.*";
    dialog.InitialDir = "/srv/templates/";
    dialogs.AnswerFiles({"/srv/templates/a.htm", "/srv/templates/b.htm"}, 2);
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, "/srv/templates/a.htm");
    EXPECT_EQ(dialog.Files()->Count(), 1) << "only one file without ofAllowMultiSelect";
    EXPECT_EQ(dialog.FilterIndex, 2);
    const TDialogCall call = dialogs.CallsOf(dkOpenFile).at(0);
    EXPECT_EQ(call.File.Title, "Open file of template");
    EXPECT_EQ(call.File.Filter, "Template's files|*.htm|All files|*.*");
    EXPECT_EQ(call.File.InitialDir, "/srv/templates/");

    dialog.Options |= ofAllowMultiSelect;
    dialogs.AnswerFiles({"/x/1.jpg", "/x/2.jpg"});
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.Files()->Count(), 2);

    dialogs.CancelFiles();
    dialog.FileName = "kept";
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, "kept");
}

TEST(FileDialogs, SaveAndColourDialogsGoThroughTheService)
{
    TScriptedDialogService dialogs;
    TSaveDialog save(nullptr);
    save.Options |= ofOverwritePrompt;
    dialogs.AnswerFiles({"/tmp/out.jpg"});
    ASSERT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName, "/tmp/out.jpg");
    EXPECT_TRUE(dialogs.CallsOf(dkSaveFile).at(0).Flags & ofOverwritePrompt);

    TColorDialog colour(nullptr);
    colour.Color = RGBToColor(255, 128, 0);
    colour.Options = cdFullOpen | cdAnyColor;
    dialogs.AnswerColor(clBlue);
    ASSERT_TRUE(colour.Execute());
    EXPECT_EQ(colour.Color, clBlue);
    const TDialogCall call = dialogs.CallsOf(dkChooseColor).at(0);
    EXPECT_EQ(call.Color, RGBToColor(255, 128, 0));
    EXPECT_TRUE(call.FullOpen);

    dialogs.CancelColor();
    EXPECT_FALSE(colour.Execute());
    EXPECT_EQ(colour.Color, clBlue);

    TFontDialog font(nullptr);
    font.Font->SetName("Arial");
    font.Font->SetHeight(-13);
    font.Font->SetStyle({fsItalic});
    dialogs.AnswerFont(TFontChoice{"Liberation Mono", -20, 1 | 4, clRed});
    ASSERT_TRUE(font.Execute());
    EXPECT_EQ(font.Font->Name(), "Liberation Mono");
    EXPECT_EQ(font.Font->Height(), -20);
    EXPECT_EQ(font.Font->Style(), (TFontStyles{fsBold, fsUnderline}));
    EXPECT_EQ(font.Font->Color(), clRed);
    const TDialogCall fontCall = dialogs.CallsOf(dkChooseFont).at(0);
    EXPECT_EQ(fontCall.Font.Name, "Arial");
    EXPECT_EQ(fontCall.Font.Height, -13);
    EXPECT_EQ(fontCall.Font.Styles, 2);
    dialogs.CancelFont();
    EXPECT_FALSE(font.Execute());
    EXPECT_EQ(font.Font->Name(), "Liberation Mono");
}

TEST(ScriptedDialogs, HelpTopicsAndShellOpensAreRecorded)
{
    TScriptedDialogService dialogs;
    HtmlHelpDisplayTopic("/opt/plimbet/plimbet.chm::/options.htm");
    EXPECT_TRUE(ShellOpen("http://www.example.com/"));
    Application->SetHelpFile("/opt/plimbet/plimbet.chm");
    Application->HelpShowTopic("main.htm");
    Application->SetHelpFile("");
    const auto help = dialogs.CallsOf(dkHelpTopic);
    ASSERT_EQ(help.size(), 2u);
    EXPECT_EQ(help[0].Caption, "/opt/plimbet/plimbet.chm");
    EXPECT_EQ(help[0].Text, "options.htm");
    EXPECT_EQ(help[1].Text, "main.htm");
    EXPECT_EQ(dialogs.CallsOf(dkShellOpen).at(0).Text, "http://www.example.com/");
}

TEST(ExceptionDisplay, EscapedExceptionsAreShownWithAFullStopAndAbortIsSilent)
{
    ApplicationTitle title("Plimbet");
    struct Case
    {
        std::string Message;
        std::string Shown;
    };
    const Case cases[] = {
        {"Cannot open file", "Cannot open file."},
        {"Already ends.", "Already ends."},
        {"Really!", "Really!"},
        {"", ""},
    };
    TScriptedDialogService dialogs;
    for (const Case& c : cases) {
        try {
            throw Exception(c.Message);
        } catch (...) {
            Application->HandleException(nullptr);
        }
    }
    try {
        throw EAbort();
    } catch (...) {
        Application->HandleException(nullptr);
    }
    ASSERT_EQ(dialogs.Calls().size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(dialogs.Calls()[i].Text, cases[i].Shown);
        EXPECT_EQ(dialogs.Calls()[i].Caption, "Plimbet");
        EXPECT_EQ(dialogs.Calls()[i].Flags, uint32_t(MB_OK | MB_ICONSTOP));
    }
}

TEST(ExceptionDisplay, OnExceptionReplacesTheDisplay)
{
    TScriptedDialogService dialogs;
    std::string seen;
    Application->OnException = [&](TObject*, const std::exception& e) { seen = e.what(); };
    try {
        throw EConvertError("'x' is not a valid integer value");
    } catch (...) {
        Application->HandleException(nullptr);
    }
    Application->OnException = nullptr;
    EXPECT_EQ(seen, "'x' is not a valid integer value");
    EXPECT_TRUE(dialogs.Calls().empty());
}

TEST(PlatformDialogTexts, FiltersBecomeNameFilters)
{
    using FormsDetail::NameFiltersOf;
    struct Case
    {
        std::string Filter;
        std::vector<std::string> Expected;
    };
    const Case cases[] = {
        {"Template's files|*.htm|All files|*.*", {"Template's files (*.htm)", "All files (*)"}},
        {"HTML files|*.htm;*.html|PHP files|*.php;*.php3;*.php4",
         {"HTML files (*.htm *.html)", "PHP files (*.php *.php3 *.php4)"}},
        {"JPEG files|*.jpg", {"JPEG files (*.jpg)"}},
        {"", {}},
        {"Dangling description", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NameFiltersOf(c.Filter), c.Expected) << c.Filter;
    }
}

TEST(PlatformDialogTexts, AHelpFileStandsForTheFolderOfPagesBesideIt)
{
    EXPECT_EQ(FormsDetail::HelpTopicPage("/opt/plimbet/plimbet.chm", "main.htm"),
              "/opt/plimbet/help/main.htm");
    EXPECT_EQ(FormsDetail::HelpTopicPage("/opt/plimbet/plimbet.chm", "/temporg.htm"),
              "/opt/plimbet/help/temporg.htm");
    EXPECT_EQ(FormsDetail::HelpTopicPage("/srv/manual/", "a.htm"), "/srv/manual/a.htm");
}

namespace {

// The file dialog that opened, as the platform shows it: whether the desktop's own dialog was
// allowed, its folder, filters and chosen files. It is cancelled then.
std::vector<std::string> CancelWhenShown(const std::function<void()>& Open)
{
    std::vector<std::string> shown;
    TTimer watcher(nullptr);
    watcher.SetInterval(1);
    watcher.OnTimer = [&](TObject*) {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && shown.empty()) {
            shown.push_back(dialog->testOption(QFileDialog::DontUseNativeDialog) ? "own" : "desktop's");
            shown.push_back(dialog->directory().absolutePath().toStdString());
            for (const QString& text : dialog->nameFilters() + dialog->selectedFiles()) {
                shown.push_back(text.toStdString());
            }
            dialog->reject();
        }
    };
    Open();
    return shown;
}

} // namespace

// Return on a message box presses the default button its flags name, so that a question whose
// default is No never answers Yes to a Return.
TEST(PlatformDialogs, ReturnOnAMessageBoxPressesItsDefaultButton)
{
    const struct
    {
        uint32_t Flags;
        int32_t Answer;
    } cases[] = {
        {MB_YESNOCANCEL | MB_ICONQUESTION, IDYES},
        {MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDNO},
    };
    for (const auto& c : cases) {
        TTimer user(nullptr);
        user.SetInterval(1);
        user.OnTimer = [&](TObject*) {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            user.SetEnabled(false);
            // The key goes where the box has its focus, as the user's would.
            QWidget* target = box->focusWidget() != nullptr ? box->focusWidget() : box;
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(target, &key);
            }
        };
        EXPECT_EQ(DialogService().MessageBox("Delete everything?", "Plimbet", c.Flags), c.Answer)
            << "flags " << c.Flags;
    }
}

TEST(PlatformDialogs, FileAndFolderDialogsAreTheDesktopsOwnAndOpenAtTheCurrentValue)
{
    kvtest::TempFolder temp;
    ASSERT_TRUE(ForceDirectories(temp.File("site/pages/")));
    const std::string page = temp.Write("site/pages/index.htm", "<html>");
    const std::string pages = ExcludeTrailingPathDelimiter(temp.File("site/pages/"));
    // The folder picker starts at the folder given, or at the nearest one above it that exists.
    for (const std::string& start : {temp.File("site/pages/"), temp.File("site/pages/gone/deeper/")}) {
        std::string folder = start;
        const std::vector<std::string> shown =
            CancelWhenShown([&] { EXPECT_FALSE(DialogService().BrowseForFolder("Pick", "", folder)); });
        ASSERT_GE(shown.size(), 2u) << start;
        EXPECT_EQ(shown[0], "desktop's");
        EXPECT_EQ(shown[1], pages) << start;
        EXPECT_EQ(folder, start);
    }
    // A file dialog opens in the folder of its file name, with that file chosen.
    TOpenDialog open(nullptr);
    open.Filter = "Template's files|*.htm;*.html|All files|*.*";
    open.FileName = page;
    EXPECT_EQ(CancelWhenShown([&] { EXPECT_FALSE(open.Execute()); }),
              (std::vector<std::string>{"desktop's", pages, "Template's files (*.htm *.html)",
                                        "All files (*)", page}));
    EXPECT_EQ(open.FileName, page);
}

TEST(ScriptedDialogs, ScanDialogsMakeTheScriptedChangesThroughTheDeviceAndRecordWhatTheyShowed)
{
    TScriptedDialogService dialogs;
    auto setting = [](const char* name, TScanSettingKind kind, double number, const char* text,
                      bool readOnly) {
        TScanSetting s;
        s.Name = name;
        s.Kind = kind;
        s.Number = number;
        s.Text = text;
        s.ReadOnly = readOnly;
        return s;
    };
    TScanDialogRequest request;
    request.Title = "Scan";
    request.Device = "Maker Model (dev:0)";
    request.Settings = {setting("preview", sskSwitch, 0, "", false),
                        setting("resolution", sskNumber, 50, "", false),
                        setting("depth", sskInteger, 8, "", false),
                        setting("mode", sskText, 0, "Gray", false), setting("lamp", sskSwitch, 1, "", true)};
    // The device answers a change with its settings as they then stand: here it rounds the
    // resolution and turns the preview off whenever the mode changes.
    std::vector<std::string> applied;
    request.Apply = [&](const TScanSetting& changed) {
        applied.push_back(changed.Name);
        std::vector<TScanSetting> settings = request.Settings;
        for (TScanSetting& s : settings) {
            if (s.Name == changed.Name) {
                s = changed;
            }
            if (s.Name == "resolution") {
                s.Number = std::floor(s.Number);
            }
            if (changed.Name == "mode" && s.Name == "preview") {
                s.Number = 0;
            }
        }
        return settings;
    };
    dialogs.AnswerScan({{"preview", "yes"},
                        {"resolution", "75.6"},
                        {"nothing", "1"},
                        {"lamp", "no"},
                        {"depth", "16"},
                        {"mode", "Color"}});
    EXPECT_TRUE(DialogService().ScanSettings(request));
    EXPECT_EQ(applied, (std::vector<std::string>{"preview", "resolution", "depth", "mode"}));
    const TDialogCall call = dialogs.CallsOf(dkScanSettings).front();
    EXPECT_EQ(call.Caption, "Scan");
    EXPECT_EQ(call.Text, "Maker Model (dev:0)");
    EXPECT_EQ(call.Items, (std::vector<std::string>{"preview=no", "resolution=75", "depth=16", "mode=Color",
                                                    "lamp=yes"}));

    dialogs.CancelScan({{"depth", "8"}});
    EXPECT_FALSE(DialogService().ScanSettings(request));
    EXPECT_EQ(request.Settings[2].Number, 8);
    EXPECT_FALSE(DialogService().ScanSettings(request));
    EXPECT_FALSE(dialogs.CallsOf(dkScanSettings).back().Scripted);

    const std::vector<std::string> sources = {"first", "second"};
    int32_t index = 0;
    dialogs.AnswerScanSource(1);
    EXPECT_TRUE(DialogService().ChooseScanSource("Select Source", sources, index));
    EXPECT_EQ(index, 1);
    dialogs.AnswerScanSource(2);
    dialogs.CancelScanSource();
    EXPECT_FALSE(DialogService().ChooseScanSource("Select Source", sources, index));
    EXPECT_FALSE(DialogService().ChooseScanSource("Select Source", sources, index));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(dialogs.CallsOf(dkScanSource).front().Items, sources);
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(PlatformDialogs, ScanSettingsHandEachChangeToTheDeviceAndShowWhatItMadeOfIt)
{
    // A device whose colour mode brings a switch of its own.
    auto modeSetting = [](const std::string& mode) {
        TScanSetting s;
        s.Name = "mode";
        s.Group = "Scan Mode";
        s.Text = mode;
        s.Texts = {"Gray", "Color"};
        return s;
    };
    TScanDialogRequest request;
    request.Title = "Scan";
    request.Device = "Maker Model (dev:0)";
    request.Settings = {modeSetting("Gray")};
    std::vector<std::string> applied;
    request.Apply = [&](const TScanSetting& changed) {
        applied.push_back(changed.Name + "=" + changed.Text);
        std::vector<TScanSetting> settings = {modeSetting(changed.Text)};
        if (changed.Text == "Color") {
            TScanSetting threePass;
            threePass.Name = "three-pass";
            threePass.Group = "Scan Mode";
            threePass.Kind = sskSwitch;
            settings.push_back(threePass);
        }
        return settings;
    };
    std::vector<int> switchesShown;
    int step = 0;
    TTimer watcher(nullptr);
    watcher.SetInterval(1);
    watcher.OnTimer = [&](TObject*) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        switchesShown.push_back(int(dialog->findChildren<QCheckBox*>().size()));
        if (step++ == 0) {
            QComboBox* mode = dialog->findChild<QComboBox*>();
            mode->setCurrentIndex(1);
            emit mode->textActivated(mode->currentText());
            return;
        }
        for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
            if (button->text() == "Scan") {
                button->click();
            }
        }
    };
    EXPECT_TRUE(DialogService().ScanSettings(request));
    EXPECT_EQ(applied, std::vector<std::string>{"mode=Color"});
    ASSERT_EQ(switchesShown.size(), 2u);
    EXPECT_EQ(switchesShown, (std::vector<int>{0, 1}));
    ASSERT_EQ(request.Settings.size(), 2u);
    EXPECT_EQ(request.Settings[0].Text, "Color");

    // The source list starts at the source given; the choice comes back.
    int32_t index = 0;
    std::vector<int> startRows;
    watcher.OnTimer = [&](TObject*) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        auto* list = dialog->findChild<QListWidget*>();
        startRows.push_back(list->currentRow());
        list->setCurrentRow(2);
        dialog->accept();
    };
    EXPECT_TRUE(DialogService().ChooseScanSource("Select Source", {"a", "b", "c"}, index));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(startRows, std::vector<int>{0});
}

TEST(PlatformDialogs, ScanSettingsOpenTallEnoughForTheirSettingsWithinTheScreen)
{
    // A device of some settings; a change to the first brings more (as a colour mode may). A
    // choice may be far longer than the dialog is wide.
    struct Case
    {
        int Settings;
        int AddedByAChange;
        bool LongChoice;
        bool Scrolls;
    };
    auto makeSettings = [](int count, bool longChoice) {
        std::vector<TScanSetting> settings;
        for (int i = 0; i < count; ++i) {
            TScanSetting s;
            s.Name = "option-" + std::to_string(i);
            s.Group = i < 10 ? "Scan Mode" : "Geometry";
            s.Kind = sskInteger;
            s.HasRange = true;
            s.Max = 100;
            settings.push_back(s);
        }
        if (longChoice) {
            TScanSetting s;
            s.Name = "long";
            s.Group = "Text";
            s.Text = "Short";
            s.Texts = {"Short", std::string(300, 'w')};
            settings.push_back(s);
        }
        return settings;
    };
    const Case cases[] = {
        {18, 0, false, false}, {12, 6, false, false}, {200, 0, false, true}, {4, 0, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Settings);
        TScanDialogRequest request;
        request.Title = "Scan";
        request.Device = "Maker Model (dev:0)";
        request.Settings = makeSettings(c.Settings, c.LongChoice);
        request.Apply = [&](const TScanSetting&) {
            return makeSettings(c.Settings + c.AddedByAChange, c.LongChoice);
        };
        int scrollRange = -1;
        int sidewaysRange = -1;
        int step = 0;
        QSize size;
        QSize screen;
        TTimer watcher(nullptr);
        watcher.SetInterval(1);
        watcher.OnTimer = [&](TObject*) {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            if (step++ == 0 && c.AddedByAChange > 0) {
                QSpinBox* first = dialog->findChild<QSpinBox*>();
                first->setValue(5);
                return;
            }
            auto* scroll = dialog->findChild<QScrollArea*>();
            scrollRange = scroll->verticalScrollBar()->maximum();
            sidewaysRange = scroll->horizontalScrollBar()->maximum();
            size = dialog->size();
            screen = dialog->screen()->availableGeometry().size();
            dialog->reject();
        };
        EXPECT_FALSE(DialogService().ScanSettings(request));
        EXPECT_EQ(request.Settings.size(), size_t(c.Settings + c.AddedByAChange + (c.LongChoice ? 1 : 0)));
        // How many settings a screen has room for depends on the fonts the machine has: the
        // dialog may scroll only once it is as tall as the screen lets it be.
        if (c.Scrolls) {
            EXPECT_GT(scrollRange, 0);
        }
        if (scrollRange > 0) {
            EXPECT_EQ(size.height(), screen.height() * 9 / 10) << scrollRange;
        }
        EXPECT_EQ(sidewaysRange, 0);
        EXPECT_LE(size.height(), screen.height() * 9 / 10);
        EXPECT_LE(size.width(), 600);
        EXPECT_GE(size.width(), 480);
    }
}
