// The dialog service in use, its real implementation over the platform's dialogs and desktop
// services, and the dialog components and helpers that go through it.
#include "platform/forms/dialogs.h"

#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "platform/core/files.h"
#include "platform/forms/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/detail/dialog_texts.h"
#include "platform/forms/detail/platform_texts.h"
#include "platform/forms/detail/qt_bridge.h"
#include "platform/forms/detail/scan_dialogs.h"
#include "platform/forms/printers.h"

using namespace FormsDetail;

namespace FormsDetail {

std::vector<std::string> NameFiltersOf(const std::string& Filter)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= Filter.size()) {
        const size_t bar = Filter.find('|', start);
        parts.push_back(Filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    std::vector<std::string> filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns;
        size_t from = 0;
        const std::string& list = parts[i + 1];
        while (from <= list.size()) {
            const size_t semicolon = list.find(';', from);
            std::string pattern =
                list.substr(from, semicolon == std::string::npos ? std::string::npos : semicolon - from);
            if (pattern == "*.*") {
                pattern.resize(1);
            }
            if (!pattern.empty()) {
                patterns += (patterns.empty() ? "" : " ") + pattern;
            }
            if (semicolon == std::string::npos) {
                break;
            }
            from = semicolon + 1;
        }
        filters.push_back(parts[i] + " (" + patterns + ")");
    }
    return filters;
}

int32_t MessageBoxCloseAnswer(uint32_t Flags)
{
    switch (Flags & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_YESNO:
        return IDNO;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    default:
        return IDCANCEL;
    }
}

std::string HelpTopicPage(const std::string& HelpFile, const std::string& Topic)
{
    const std::string folder =
        (!HelpFile.empty() && HelpFile.back() == '/') ? HelpFile : ExtractFilePath(HelpFile) + "help/";
    std::string topic = Topic;
    while (!topic.empty() && topic[0] == '/') {
        topic.erase(0, 1);
    }
    return folder + topic;
}

} // namespace FormsDetail

namespace {

// The folder a dialog opens in: the value's own folder, or the nearest one above it that exists.
QString StartFolder(const std::string& Folder)
{
    std::filesystem::path folder(Folder);
    std::error_code error;
    while (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        std::filesystem::path parent = folder.parent_path();
        if (parent == folder) {
            break;
        }
        folder = std::move(parent);
    }
    return ToQ(folder.string());
}

QUrl UrlOf(const std::string& target)
{
    if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0) {
        return QUrl(ToQ(target));
    }
    return QUrl::fromLocalFile(ToQ(target));
}

// The platform's own (non-native) file dialog with the program's panel at its right, telling the
// hooks what the user does. Only the non-native dialog can take a widget of ours.
class THostingFileDialog : public QFileDialog, public IFileDialogWindow
{
public:
    THostingFileDialog(QWidget* parent, const QString& caption, const TFileDialogHooks& hooks)
        : QFileDialog(parent, caption), FHooks(hooks)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        // The names take the room the other columns leave, and each of those what its texts need:
        // the platform sizes them by sample texts shorter than its own sizes, types and dates.
        if (auto* list = findChild<QTreeView*>(QStringLiteral("treeView"))) {
            QHeaderView* header = list->header();
            header->setStretchLastSection(false);
            header->setSectionResizeMode(QHeaderView::ResizeToContents);
            header->setSectionResizeMode(0, QHeaderView::Stretch);
        }
        // The dialog fills its name box after it has told of the new entry: the program hears of
        // the selection once both are done.
        connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
            FPath = FromQ(path);
            QMetaObject::invokeMethod(
                this, [this] { Fire(FHooks.OnSelectionChange); }, Qt::QueuedConnection);
        });
        connect(this, &QFileDialog::directoryEntered, this, [this](const QString&) {
            FPath.clear();
            Fire(FHooks.OnFolderChange);
        });
        connect(this, &QFileDialog::filterSelected, this,
                [this](const QString&) { Fire(FHooks.OnTypeChange); });
    }

    // Puts the panel's widget at the right of the dialog's controls, over all their rows.
    void HostPanel()
    {
        if (FHooks.Panel == nullptr) {
            return;
        }
        QWidget* panel = FHooks.Panel->Widget();
        FPanelParent = panel->parentWidget();
        FPanelPos = panel->pos();
        FPanelVisible = FHooks.Panel->Visible();
        if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
            grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);
        } else {
            panel->setParent(this);
        }
        panel->setMinimumSize(FHooks.Panel->Width(), FHooks.Panel->Height());
        panel->setVisible(FPanelVisible);
        // Room for the file list's columns beside the panel.
        resize(std::max(sizeHint().width(), 640) + FHooks.Panel->Width(),
               std::max(sizeHint().height(), FHooks.Panel->Height() + 60));
    }

    ~THostingFileDialog() override
    {
        // The platform keeps the side bar's width for its next file dialog: the width it had.
        auto* splitter = findChild<QSplitter*>(QStringLiteral("splitter"));
        auto* sideBar = findChild<QWidget*>(QStringLiteral("sidebar"));
        if (splitter != nullptr && sideBar != nullptr && sideBar->isHidden()) {
            sideBar->show();
            splitter->setSizes(FSplitterSizes);
        }
    }

    // The side bar of places beside the file list, or the file list alone.
    void ShowSideBar(bool show) { FSideBar = show; }

    // Gives the panel back as it was before the dialog took it, before the dialog is destroyed
    // (which would destroy the panel's widget with it).
    void ReleasePanel()
    {
        if (FHooks.Panel == nullptr) {
            return;
        }
        QWidget* panel = FHooks.Panel->Widget();
        if (layout() != nullptr) {
            layout()->removeWidget(panel);
        }
        panel->setMinimumSize(0, 0);
        panel->setParent(FPanelParent);
        panel->move(FPanelPos);
        panel->setVisible(FPanelVisible && FPanelParent != nullptr);
    }

    std::string SelectedPath() const override { return FPath; }
    std::string Folder() const override
    {
        return IncludeTrailingPathDelimiter(FromQ(directory().absolutePath()));
    }
    int32_t FilterIndex() const override
    {
        return std::max<int32_t>(int32_t(nameFilters().indexOf(selectedNameFilter())), 0) + 1;
    }
    std::string NameText() const override
    {
        const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        return edit != nullptr ? FromQ(edit->text()) : std::string();
    }
    void SetNameText(const std::string& Text) override
    {
        if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            edit->setText(ToQ(Text));
        }
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QFileDialog::showEvent(event);
        if (!FShown) {
            // Hidden once the platform has given it the width it remembers.
            auto* splitter = findChild<QSplitter*>(QStringLiteral("splitter"));
            auto* sideBar = findChild<QWidget*>(QStringLiteral("sidebar"));
            if (splitter != nullptr && sideBar != nullptr && !FSideBar) {
                FSplitterSizes = splitter->sizes();
                sideBar->hide();
            }
            FShown = true;
            Fire(FHooks.OnShow);
            // A file the program named before the dialog showed is selected from the start,
            // though the platform reports no change of the current entry for it.
            if (FPath.empty()) {
                const QStringList named = selectedFiles();
                if (named.size() == 1 && QFileInfo(named.front()).isFile()) {
                    FPath = FromQ(named.front());
                }
            }
            if (!FPath.empty()) {
                Fire(FHooks.OnSelectionChange);
            }
        }
    }

    void accept() override
    {
        std::vector<std::string> files;
        for (const QString& file : selectedFiles()) {
            files.push_back(FromQ(file));
        }
        // A folder in the name box is entered, not chosen.
        const bool folder = files.size() == 1 && QFileInfo(ToQ(files.front())).isDir();
        if (FHooks.OnCanClose && !files.empty() && !folder && !FHooks.OnCanClose(*this, files)) {
            return;
        }
        QFileDialog::accept();
    }

private:
    // Nothing but OnShow reaches the program before the dialog has shown.
    void Fire(const std::function<void(IFileDialogWindow&)>& event)
    {
        if (event && (FShown || &event == &FHooks.OnShow)) {
            event(*this);
        }
    }

    const TFileDialogHooks& FHooks;
    std::string FPath;
    bool FShown = false;
    QWidget* FPanelParent = nullptr;
    QPoint FPanelPos;
    bool FPanelVisible = true;
    bool FSideBar = true;
    QList<int> FSplitterSizes;
};

class TPlatformDialogService : public IDialogService
{
public:
    int32_t MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override
    {
        EnsureQtApplication();
        QMessageBox box(DialogParent());
        box.setWindowTitle(ToQ(caption));
        box.setTextFormat(Qt::PlainText);
        box.setText(ToQ(text));
        switch (flags & MB_ICONMASK) {
        case MB_ICONHAND:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONEXCLAMATION:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONASTERISK:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
        }
        using TChoice = std::pair<QMessageBox::StandardButton, int32_t>;
        std::vector<TChoice> choices;
        switch (flags & MB_TYPEMASK) {
        case MB_OKCANCEL:
            choices = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_ABORTRETRYIGNORE:
            choices = {{QMessageBox::Abort, IDABORT},
                       {QMessageBox::Retry, IDRETRY},
                       {QMessageBox::Ignore, IDIGNORE}};
            break;
        case MB_YESNOCANCEL:
            choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNO:
            choices = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        case MB_RETRYCANCEL:
            choices = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        default:
            choices = {{QMessageBox::Ok, IDOK}};
            break;
        }
        std::vector<QPushButton*> buttons;
        for (const TChoice& choice : choices) {
            buttons.push_back(box.addButton(choice.first));
            if (choice.second == IDCANCEL || (choices.size() == 1)) {
                box.setEscapeButton(buttons.back());
            }
        }
        const size_t defaultIndex = std::min<size_t>((flags & MB_DEFMASK) >> 8, buttons.size() - 1);
        box.setDefaultButton(buttons[defaultIndex]);
        box.exec();
        for (size_t i = 0; i < buttons.size(); ++i) {
            if (box.clickedButton() == buttons[i]) {
                return choices[i].second;
            }
        }
        return MessageBoxCloseAnswer(flags);
    }

    bool BrowseForFolder(const std::string& title, const std::string& root, std::string& folder) override
    {
        EnsureQtApplication();
        // The desktop's own folder picker where it has one.
        QFileDialog dialog(DialogParent(), ToQ(title));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setDirectory(StartFolder(folder.empty() ? root : folder));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return false;
        }
        folder = IncludeTrailingPathDelimiter(FromQ(dialog.selectedFiles().front()));
        return true;
    }

    TFileDialogAnswer OpenFile(const TFileDialogRequest& request) override { return Run(request, false); }
    TFileDialogAnswer SaveFile(const TFileDialogRequest& request) override { return Run(request, true); }

    TFileDialogAnswer HostingFileDialog(const TFileDialogRequest& request, bool save,
                                        const TFileDialogHooks& hooks) override
    {
        EnsureQtApplication();
        TFileDialogAnswer answer;
        {
            // The dialog takes its texts when it is made.
            const TPlatformTexts texts(request.Locale);
            THostingFileDialog dialog(DialogParent(), ToQ(request.Title), hooks);
            dialog.ShowSideBar(request.SideBar);
            dialog.HostPanel();
            try {
                answer = Run(dialog, request, save);
            } catch (...) {
                dialog.ReleasePanel();
                throw;
            }
            dialog.ReleasePanel();
        }
        if (hooks.OnClose) {
            hooks.OnClose();
        }
        return answer;
    }

    bool ChooseColor(TColor& color, bool fullOpen) override
    {
        (void)fullOpen;
        EnsureQtApplication();
        const QColor chosen = QColorDialog::getColor(QtColorOf(color), DialogParent(), QString(),
                                                     QColorDialog::DontUseNativeDialog);
        if (!chosen.isValid()) {
            return false;
        }
        color = RGBToColor(uint8_t(chosen.red()), uint8_t(chosen.green()), uint8_t(chosen.blue()));
        return true;
    }

    bool ChooseFont(TFontChoice& font) override
    {
        EnsureQtApplication();
        QFont start(ToQ(TFont::ResolvedFamily(font.Name)));
        start.setPixelSize(std::max(1, std::abs(font.Height)));
        start.setBold((font.Styles & 1) != 0);
        start.setItalic((font.Styles & 2) != 0);
        start.setUnderline((font.Styles & 4) != 0);
        start.setStrikeOut((font.Styles & 8) != 0);
        bool accepted = false;
        const QFont chosen = QFontDialog::getFont(&accepted, start, DialogParent(), QString(),
                                                  QFontDialog::DontUseNativeDialog);
        if (!accepted) {
            return false;
        }
        font.Name = FromQ(chosen.family());
        // The dialog speaks in points or pixels; the class library keeps a negative pixel height.
        const int32_t pixels = chosen.pixelSize() > 0
                                   ? chosen.pixelSize()
                                   : int32_t(std::lround(chosen.pointSizeF() * 96.0 / 72.0));
        font.Height = -std::max(1, pixels);
        font.Styles = uint8_t((chosen.bold() ? 1 : 0) | (chosen.italic() ? 2 : 0) |
                              (chosen.underline() ? 4 : 0) | (chosen.strikeOut() ? 8 : 0));
        return true;
    }

    bool PrinterSetup() override
    {
        EnsureQtApplication();
        QPrintDialog dialog(Printer()->Device(), DialogParent());
        if (dialog.exec() != QDialog::Accepted) {
            return false;
        }
        Printer()->SyncFromDevice();
        return true;
    }

    void ShowHelpTopic(const std::string& helpFile, const std::string& topic) override
    {
        EnsureQtApplication();
        QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(HelpTopicPage(helpFile, topic))));
    }

    bool ShellOpen(const std::string& target) override
    {
        EnsureQtApplication();
        return QDesktopServices::openUrl(UrlOf(target));
    }

    // The compressor in a drop-down list, the quality as a slider with its number beside it,
    // enabled for the compressors that take one.
    TVideoCompressorAnswer ChooseVideoCompressor(const TVideoCompressorRequest& request) override
    {
        EnsureQtApplication();
        QDialog dialog(DialogParent());
        dialog.setWindowTitle(QStringLiteral("Video Compression"));
        auto* layout = new QGridLayout(&dialog);
        auto* compressor = new QComboBox(&dialog);
        for (const std::string& name : request.Names) {
            compressor->addItem(ToQ(name));
        }
        compressor->setCurrentIndex(
            std::clamp<int>(request.Index, 0, std::max<int>(0, int(request.Names.size()) - 1)));
        auto* slider = new QSlider(Qt::Horizontal, &dialog);
        auto* number = new QSpinBox(&dialog);
        slider->setRange(1, 100);
        number->setRange(1, 100);
        slider->setValue(std::clamp(request.Quality, 1, 100));
        number->setValue(slider->value());
        QObject::connect(slider, &QSlider::valueChanged, number, &QSpinBox::setValue);
        QObject::connect(number, &QSpinBox::valueChanged, slider, &QSlider::setValue);
        auto* qualityLabel = new QLabel(QStringLiteral("Compression &Quality:"), &dialog);
        qualityLabel->setBuddy(slider);
        auto enableQuality = [&](int index) {
            const bool takes = index >= 0 && size_t(index) < request.TakesQuality.size() &&
                               request.TakesQuality[size_t(index)];
            slider->setEnabled(takes);
            number->setEnabled(takes);
            qualityLabel->setEnabled(takes);
        };
        QObject::connect(compressor, &QComboBox::currentIndexChanged, &dialog, enableQuality);
        enableQuality(compressor->currentIndex());
        auto* compressorLabel = new QLabel(QStringLiteral("&Compressor:"), &dialog);
        compressorLabel->setBuddy(compressor);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(compressorLabel, 0, 0);
        layout->addWidget(compressor, 0, 1, 1, 2);
        layout->addWidget(qualityLabel, 1, 0);
        layout->addWidget(slider, 1, 1);
        layout->addWidget(number, 1, 2);
        layout->addWidget(buttons, 2, 0, 1, 3);
        layout->setColumnMinimumWidth(1, 200);
        TVideoCompressorAnswer answer;
        if (dialog.exec() != QDialog::Accepted || request.Names.empty()) {
            return answer;
        }
        answer.Accepted = true;
        answer.Index = compressor->currentIndex();
        answer.Quality = number->value();
        return answer;
    }

    bool ScanSettings(TScanDialogRequest& request) override { return ShowScanSettingsDialog(request); }

    bool ChooseScanSource(const std::string& title, const std::vector<std::string>& sources,
                          int32_t& index) override
    {
        return ShowScanSourceDialog(title, sources, index);
    }

private:
    static TFileDialogAnswer Run(const TFileDialogRequest& request, bool save)
    {
        EnsureQtApplication();
        // The desktop's own file dialog where it has one.
        QFileDialog dialog(DialogParent(), ToQ(request.Title));
        return Run(dialog, request, save);
    }

    static TFileDialogAnswer Run(QFileDialog& dialog, const TFileDialogRequest& request, bool save)
    {
        QStringList filters;
        for (const std::string& filter : NameFiltersOf(request.Filter)) {
            filters << ToQ(filter);
        }
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            dialog.selectNameFilter(
                filters.value(std::clamp<int>(request.FilterIndex, 1, int(filters.size())) - 1));
        }
        std::string folder = request.InitialDir;
        if (folder.empty() && !ExtractFilePath(request.FileName).empty()) {
            folder = ExtractFilePath(request.FileName);
        }
        if (!folder.empty()) {
            dialog.setDirectory(StartFolder(folder));
        }
        if (!request.FileName.empty()) {
            dialog.selectFile(ToQ(ExtractFileName(request.FileName)));
        }
        if (!request.DefaultExt.empty()) {
            dialog.setDefaultSuffix(ToQ(request.DefaultExt));
        }
        if (save) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.Options & ofOverwritePrompt));
        } else {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            if (request.Options & ofAllowMultiSelect) {
                dialog.setFileMode(QFileDialog::ExistingFiles);
            } else {
                dialog.setFileMode((request.Options & ofFileMustExist) ? QFileDialog::ExistingFile
                                                                       : QFileDialog::AnyFile);
            }
        }
        TFileDialogAnswer answer;
        if (dialog.exec() != QDialog::Accepted) {
            return answer;
        }
        for (const QString& file : dialog.selectedFiles()) {
            answer.Files.push_back(FromQ(file));
        }
        answer.Accepted = !answer.Files.empty();
        answer.FilterIndex = std::max<int32_t>(int32_t(filters.indexOf(dialog.selectedNameFilter())), 0) + 1;
        return answer;
    }
};

IDialogService* gInstalled = nullptr;

} // namespace

IDialogService& DialogService()
{
    if (gInstalled) {
        return *gInstalled;
    }
    static TPlatformDialogService* platform = new TPlatformDialogService;
    return *platform;
}

IDialogService* SetDialogService(IDialogService* service)
{
    IDialogService* previous = gInstalled;
    gInstalled = service;
    return previous;
}

// ---------------------------------------------------------------------------------------------
// Components and helpers

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner), FFiles(std::make_unique<TStringList>()) {}

TOpenDialog::~TOpenDialog() = default;

TFileDialogRequest TOpenDialog::Request() const
{
    TFileDialogRequest request;
    request.Title = Title;
    request.Filter = Filter;
    request.FilterIndex = FilterIndex;
    request.InitialDir = InitialDir;
    request.FileName = FileName;
    request.DefaultExt = DefaultExt;
    request.Options = Options;
    return request;
}

void TOpenDialog::Accept(const TFileDialogAnswer& Answer)
{
    FFiles->Clear();
    for (const std::string& file : Answer.Files) {
        FFiles->Add(file);
    }
    FileName = Answer.Files.empty() ? std::string() : Answer.Files.front();
    FilterIndex = Answer.FilterIndex;
}

bool TOpenDialog::Execute()
{
    const TFileDialogAnswer answer = DialogService().OpenFile(Request());
    if (answer.Accepted) {
        Accept(answer);
    }
    return answer.Accepted;
}

bool TSaveDialog::Execute()
{
    const TFileDialogAnswer answer = DialogService().SaveFile(Request());
    if (answer.Accepted) {
        Accept(answer);
    }
    return answer.Accepted;
}

bool TFontDialog::Execute()
{
    TFontChoice choice{Font->Name(), Font->Height(), Font->Style().Bits(), Font->Color()};
    if (!DialogService().ChooseFont(choice)) {
        return false;
    }
    Font->SetName(choice.Name);
    Font->SetHeight(choice.Height);
    TFontStyles styles;
    for (TFontStyle s : {fsBold, fsItalic, fsUnderline, fsStrikeOut}) {
        if (choice.Styles & (1u << s)) {
            styles.Include(s);
        }
    }
    Font->SetStyle(styles);
    Font->SetColor(choice.Color);
    return true;
}

bool TColorDialog::Execute()
{
    TColor chosen = Color;
    if (!DialogService().ChooseColor(chosen, (Options & cdFullOpen) != 0)) {
        return false;
    }
    Color = chosen;
    return true;
}

void ShowMessage(const std::string& Msg)
{
    Application->MessageBox(Msg, Application->Title(), MB_OK);
}

void HtmlHelpDisplayTopic(const std::string& Path)
{
    const size_t separator = Path.find("::");
    if (separator == std::string::npos) {
        DialogService().ShowHelpTopic(Path, std::string());
        return;
    }
    std::string topic = Path.substr(separator + 2);
    while (!topic.empty() && topic[0] == '/') {
        topic.erase(0, 1);
    }
    DialogService().ShowHelpTopic(Path.substr(0, separator), topic);
}

bool ShellOpen(const std::string& Target)
{
    return DialogService().ShellOpen(Target);
}
