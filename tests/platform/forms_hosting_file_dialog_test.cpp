// File dialogs that host a panel of the program's own: the scripted service plays what a user
// does and the real one reports the platform dialog's moments, both with the panel beside the
// file list while the dialog is open and handed back afterwards.
#include <gtest/gtest.h>

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTranslator>
#include <QTreeView>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/files.h"
#include "platform/forms/application.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/scripted_dialogs.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

namespace {

// Hooks that write down every moment as one line: "show", "select <path>", "folder <folder>",
// "type <index>", "can-close <file>", "close"; with the name box where it helps.
struct TRecorder
{
    std::vector<std::string> Lines;
    bool AllowClose = true;
    TFileDialogHooks Hooks;

    explicit TRecorder(TWinControl* Panel = nullptr)
    {
        Hooks.Panel = Panel;
        Hooks.OnShow = [this](IFileDialogWindow& w) {
            Lines.push_back("show " + w.Folder() + " " + w.NameText());
        };
        Hooks.OnSelectionChange = [this](IFileDialogWindow& w) {
            Lines.push_back("select " + w.SelectedPath() + " name " + w.NameText());
        };
        Hooks.OnFolderChange = [this](IFileDialogWindow& w) { Lines.push_back("folder " + w.Folder()); };
        Hooks.OnTypeChange = [this](IFileDialogWindow& w) {
            Lines.push_back("type " + std::to_string(w.FilterIndex()));
        };
        Hooks.OnCanClose = [this](IFileDialogWindow&, const std::vector<std::string>& files) {
            Lines.push_back("can-close " + (files.empty() ? std::string() : files.front()));
            return AllowClose;
        };
        Hooks.OnClose = [this] { Lines.push_back("close"); };
    }
};

TFileDialogRequest Request(const std::string& folder, const std::string& name = "")
{
    TFileDialogRequest request;
    request.Title = "Pick a picture";
    request.Filter = "JPEG (JPG)|*.jpg|PNG (PNG)|*.png";
    request.InitialDir = folder;
    request.FileName = name;
    return request;
}

// Shows the platform's dialog for request; look sees it once it is open, and then it is cancelled.
void LookWhileOpen(const TFileDialogRequest& request, TRecorder& recorder,
                   const std::function<void(QFileDialog*)>& look)
{
    TTimer driver(nullptr);
    driver.SetInterval(5);
    driver.OnTimer = [&](TObject*) {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            look(dialog);
            dialog->reject();
        }
    };
    DialogService().HostingFileDialog(request, false, recorder.Hooks);
}

} // namespace

TEST(HostingFileDialog, ScriptedDialogPlaysTheUsersStepsInOrder)
{
    TScriptedDialogService dialogs;
    TForm owner(nullptr);
    auto* panel = new TPanel(&owner);
    panel->SetParent(&owner);
    panel->SetBounds(7, 9, 160, 200);
    TRecorder recorder(panel);
    std::vector<std::string> seenInside;
    recorder.AllowClose = false;
    dialogs.PlayFileDialog({
        TFileDialogAction::Select("/pics/a.jpg"), TFileDialogAction::Select("/pics/b.jpg"),
        TFileDialogAction::Select("/other/c.png"),
        TFileDialogAction::ChangeType(1), // the type shown already: no change
        TFileDialogAction::ChangeType(2), TFileDialogAction::Folder("/pics"),
        TFileDialogAction::TypeName("holiday.2020.png"), TFileDialogAction::Do([&] {
            seenInside.push_back(panel->Parent() != &owner && panel->Parent() != nullptr ? "hosted"
                                                                                         : "not hosted");
            seenInside.push_back(panel->Parent() ? panel->Parent()->Caption() : "");
        }),
        TFileDialogAction::Accept(), // refused by the program: the dialog stays
        TFileDialogAction::Do([&] { recorder.AllowClose = true; }), TFileDialogAction::TypeName(""),
        TFileDialogAction::Accept(), // an empty name box does nothing
        TFileDialogAction::TypeName("/elsewhere/x.jpg"), TFileDialogAction::Accept(),
        TFileDialogAction::Cancel(), // never reached
    });
    const TFileDialogAnswer answer =
        DialogService().HostingFileDialog(Request("/start/", "first.jpg"), false, recorder.Hooks);
    const std::vector<std::string> expected = {
        "show /start/ first.jpg",
        "folder /pics/",
        "select /pics/a.jpg name a.jpg",
        "select /pics/b.jpg name b.jpg",
        "folder /other/",
        "select /other/c.png name c.png",
        "type 2",
        "folder /pics/",
        "can-close /pics/holiday.2020.png",
        "can-close /elsewhere/x.jpg",
        "close",
    };
    EXPECT_EQ(recorder.Lines, expected);
    EXPECT_EQ(seenInside, (std::vector<std::string>{"hosted", "Pick a picture"}));
    ASSERT_TRUE(answer.Accepted);
    EXPECT_EQ(answer.Files, (std::vector<std::string>{"/elsewhere/x.jpg"}));
    EXPECT_EQ(answer.FilterIndex, 2);
    // The panel is back where it was.
    EXPECT_EQ(panel->Parent(), &owner);
    EXPECT_EQ(panel->BoundsRect(), (TRect{7, 9, 167, 209}));
    ASSERT_EQ(dialogs.CallsOf(dkOpenFile).size(), 1u);
    const TDialogCall call = dialogs.CallsOf(dkOpenFile)[0];
    EXPECT_TRUE(call.Hosted);
    EXPECT_TRUE(call.Scripted);
    EXPECT_EQ(call.NameText, "/elsewhere/x.jpg");
    EXPECT_EQ(call.Answer, 1);
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(HostingFileDialog, ScriptedDialogCancelsAndTakesPlainAnswers)
{
    TScriptedDialogService dialogs;
    struct Case
    {
        const char* Name;
        std::function<void()> Queue;
        bool Accepted;
        std::vector<std::string> Lines;
        std::string Kind;
    };
    const std::vector<Case> cases = {
        {"nothing queued", [] {}, false, {"show /s/ ", "close"}, "open"},
        {"script without an end",
         [&] { dialogs.PlayFileDialog({TFileDialogAction::TypeName("x.png")}); },
         false,
         {"show /s/ ", "close"},
         "save"},
        {"cancel after a selection",
         [&] {
             dialogs.PlayFileDialog({TFileDialogAction::Select("/s/a.jpg"), TFileDialogAction::Cancel()});
         },
         false,
         {"show /s/ ", "select /s/a.jpg name a.jpg", "close"},
         "open"},
        {"plain answer",
         [&] { dialogs.AnswerFiles({"/t/b.png"}, 2); },
         true,
         {"show /s/ ", "type 2", "folder /t/", "select /t/b.png name b.png", "can-close /t/b.png", "close"},
         "save"},
        {"plain cancel", [&] { dialogs.CancelFiles(); }, false, {"show /s/ ", "close"}, "open"},
    };
    for (const Case& c : cases) {
        c.Queue();
        TRecorder recorder;
        const bool save = c.Kind == "save";
        const TFileDialogAnswer answer =
            DialogService().HostingFileDialog(Request("/s"), save, recorder.Hooks);
        EXPECT_EQ(answer.Accepted, c.Accepted) << c.Name;
        EXPECT_EQ(recorder.Lines, c.Lines) << c.Name;
        EXPECT_EQ(dialogs.Calls().back().Kind, save ? dkSaveFile : dkOpenFile) << c.Name;
    }
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(HostingFileDialog, PlatformDialogHostsThePanelAndReportsWhatTheUserDoes)
{
    kvtest::TempFolder temp;
    const std::string a = temp.Write("a.jpg", "x");
    const std::string b = temp.Write("b.jpg", "y");
    TForm owner(nullptr);
    auto* panel = new TPanel(&owner);
    panel->SetName("HostedPanel");
    panel->SetBounds(0, 0, 170, 220);
    panel->SetParent(nullptr);
    TRecorder recorder(panel);
    recorder.AllowClose = false;
    bool panelInside = false;
    int step = 0;
    int ticks = 0;
    TTimer driver(nullptr);
    driver.SetInterval(5);
    driver.OnTimer = [&](TObject*) {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        auto* window = dynamic_cast<IFileDialogWindow*>(dialog);
        ASSERT_NE(window, nullptr);
        // A folder that is never listed must not hang the suite.
        if (++ticks > 2000) {
            ADD_FAILURE() << "the folder was not listed";
            dialog->reject();
            return;
        }
        switch (step++) {
        case 0: {
            // The user clicks b.jpg once the folder has been listed.
            auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
            auto* model = dialog->findChild<QFileSystemModel*>();
            ASSERT_TRUE(list != nullptr && model != nullptr);
            const QModelIndex index = model->index(QString::fromStdString(b));
            if (!index.isValid() || model->rowCount(index.parent()) < 2) {
                --step;
                return;
            }
            panelInside = dialog->isAncestorOf(panel->Widget()) && panel->Widget()->isVisible();
            list->setFocus(); // a click gives the list the focus first
            list->setCurrentIndex(index);
            break;
        }
        case 1:
            window->SetNameText("a.jpg");
            static_cast<QDialog*>(dialog)->accept(); // refused by the program
            break;
        case 2:
            recorder.AllowClose = true;
            static_cast<QDialog*>(dialog)->accept();
            break;
        default:
            break;
        }
    };
    const TFileDialogAnswer answer =
        DialogService().HostingFileDialog(Request(temp.File("")), false, recorder.Hooks);
    ASSERT_TRUE(answer.Accepted);
    EXPECT_EQ(answer.Files, (std::vector<std::string>{a}));
    EXPECT_TRUE(panelInside);
    // The panel's widget survived the dialog, out of it again.
    EXPECT_EQ(panel->Widget()->parentWidget(), nullptr);
    EXPECT_EQ(panel->Parent(), nullptr);
    ASSERT_GE(recorder.Lines.size(), 4u);
    EXPECT_EQ(recorder.Lines.front().rfind("show " + temp.File(""), 0), 0u) << recorder.Lines.front();
    // Whether the name box already shows the entry depends on where the focus is.
    EXPECT_NE(
        std::find_if(recorder.Lines.begin(), recorder.Lines.end(),
                     [&](const std::string& line) { return line.rfind("select " + b + " name", 0) == 0; }),
        recorder.Lines.end())
        << ::testing::PrintToString(recorder.Lines);
    const std::vector<std::string> tail(recorder.Lines.end() - 3, recorder.Lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"can-close " + a, "can-close " + a, "close"}));
}

TEST(HostingFileDialog, PlatformDialogShowsWholeColumnsAndTheSideBarAsAsked)
{
    kvtest::TempFolder temp;
    temp.Write("holiday.jpg", std::string(185000, 'x'));
    temp.Write("b.jpg", std::string(3000, 'y'));
    TForm owner(nullptr);
    auto* panel = new TPanel(&owner);
    panel->SetBounds(0, 0, 260, 400);
    panel->SetParent(nullptr);
    for (bool sideBar : {true, false}) {
        SCOPED_TRACE(sideBar);
        TFileDialogRequest request = Request(temp.File(""));
        request.SideBar = sideBar;
        TRecorder recorder(panel);
        bool looked = false, sideBarShown = !sideBar;
        std::vector<std::string> cut;
        int32_t spare = -1;
        int ticks = 0;
        TTimer driver(nullptr);
        driver.SetInterval(5);
        driver.OnTimer = [&](TObject*) {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || looked) {
                return;
            }
            auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
            auto* model = dialog->findChild<QFileSystemModel*>();
            ASSERT_TRUE(list != nullptr && model != nullptr);
            const QModelIndex root = model->index(QString::fromStdString(temp.File("")));
            if (model->rowCount(root) < 2 && ++ticks < 2000) {
                return; // not listed yet
            }
            looked = true;
            Application->ProcessMessages();
            auto* sideBarWidget = dialog->findChild<QWidget*>(QStringLiteral("sidebar"));
            sideBarShown = sideBarWidget != nullptr && sideBarWidget->isVisible();
            // Every column shows its texts whole, and together they fill the list.
            QHeaderView* header = list->header();
            int32_t total = 0;
            for (int column = 0; column < header->count(); ++column) {
                const int needed = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(column);
                if (header->sectionSize(column) < needed) {
                    cut.push_back(model->headerData(column, Qt::Horizontal).toString().toStdString());
                }
                total += header->sectionSize(column);
            }
            spare = list->viewport()->width() - total;
            dialog->reject();
        };
        DialogService().HostingFileDialog(request, false, recorder.Hooks);
        ASSERT_TRUE(looked);
        EXPECT_EQ(sideBarShown, sideBar);
        EXPECT_TRUE(cut.empty()) << ::testing::PrintToString(cut);
        EXPECT_EQ(spare, 0);
    }
}

// The platform's own texts (labels, buttons, a folder's type) speak the request's language while
// the dialog is open, as Qt's translations have them, and English again once it has closed. Each
// comes from the best catalog that holds it: Portugal's Portuguese takes what it lacks from
// Brazil's, and older catalogs give the texts Qt now asks under other class names (the buttons'
// "Cancel", the type "Folder"). A language Qt has no translation for keeps them English.
TEST(HostingFileDialog, PlatformTextsSpeakTheRequestsLanguageWhileOpen)
{
    const std::string catalog = "/usr/share/qt6/translations/qtbase_ru.qm";
    ASSERT_TRUE(kvtest::Installed(catalog));
    QTranslator russian;
    ASSERT_TRUE(russian.load(QString::fromStdString(catalog)));
    const QString russianName = russian.translate("QFileDialog", "File &name:");
    const QString russianCancel = russian.translate("QPlatformTheme", "Cancel");
    ASSERT_FALSE(russianName.isEmpty());
    ASSERT_FALSE(russianCancel.isEmpty());
    kvtest::TempFolder temp;
    const struct
    {
        const char* locale;
        QString name, lookIn, cancel, folder;
    } cases[] = {
        {"ru", russianName, russian.translate("QFileDialog", "Look in:"), russianCancel, "Папка"},
        {"pt_PT", "&Nome do Ficheiro:", "Procurar em:", "Cancelar", "Pasta"},
        {"sv", "Fil&namn:", "Look in:", "Avbryt", "Folder"},
        {"pl", "Nazwa &pliku:", "Szukaj w:", "Anuluj", "Katalog"},
        {"el", "File &name:", "Look in:", "Cancel", "Folder"},
        {"", "File &name:", "Look in:", "Cancel", "Folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        TFileDialogRequest request = Request(temp.File(""));
        request.Locale = c.locale;
        TRecorder recorder;
        QString name, lookIn, cancel, folder;
        LookWhileOpen(request, recorder, [&](QFileDialog* dialog) {
            if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("fileNameLabel")))
                name = label->text();
            if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("lookInLabel")))
                lookIn = label->text();
            if (auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox")))
                cancel = box->button(QDialogButtonBox::Cancel)->text();
            // The type the list shows for a folder.
            folder = dialog->iconProvider()->type(QFileInfo(QString::fromStdString(temp.File(""))));
        });
        EXPECT_EQ(name.toStdString(), c.name.toStdString());
        EXPECT_EQ(lookIn.toStdString(), c.lookIn.toStdString());
        EXPECT_EQ(cancel.toStdString(), c.cancel.toStdString());
        EXPECT_EQ(folder.toStdString(), c.folder.toStdString());
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:").toStdString(), "File &name:");
    }
}

// A file the program names before the dialog shows is reported as selected as soon as the dialog
// shows, so that the program can show it at once.
TEST(HostingFileDialog, PlatformDialogReportsAPreselectedFileAtOnce)
{
    kvtest::TempFolder temp;
    const std::string a = temp.Write("a.jpg", "x");
    temp.Write("b.jpg", "y");
    TRecorder recorder;
    std::vector<std::string> seen;
    LookWhileOpen(Request(temp.File(""), a), recorder, [&](QFileDialog*) { seen = recorder.Lines; });
    ASSERT_GE(seen.size(), 2u) << ::testing::PrintToString(seen);
    EXPECT_EQ(seen[1].rfind("select " + a + " name a.jpg", 0), 0u) << ::testing::PrintToString(seen);
}
