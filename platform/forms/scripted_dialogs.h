// A dialog service for tests: it answers from queues that the test fills, records every call
// with its texts and flags, and never shows a window. It installs itself while it lives.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/forms/dialog_service.h"

enum TDialogKind
{
    dkMessageBox,
    dkBrowseForFolder,
    dkOpenFile,
    dkSaveFile,
    dkChooseColor,
    dkPrinterSetup,
    dkHelpTopic,
    dkShellOpen,
    dkVideoCompressor,
    dkScanSettings,
    dkScanSource,
    dkChooseFont,
};

// One call as the service saw it. Caption holds the caption, title or help file; Text the message,
// start folder, help topic, opened target or the offered compressors separated by "|"; Flags the message-box
// flags; Answer the message-box result, or 1 for a confirmed and 0 for a cancelled dialog.
struct TDialogCall
{
    TDialogKind Kind = dkMessageBox;
    std::string Caption;
    std::string Text;
    uint32_t Flags = 0;
    TFileDialogRequest File;
    TColor Color = 0;
    bool FullOpen = false;
    // The font the font dialog started at.
    TFontChoice Font;
    int32_t Answer = 0;
    bool Scripted = false;
    // The sources offered, or the scan settings as "name=value" as the dialog was left.
    std::vector<std::string> Items;
    // A file dialog that hosted a panel; NameText is its file-name box as the dialog closed.
    bool Hosted = false;
    std::string NameText;
};

// One thing the user does in a hosting file dialog, played by the scripted service in order.
struct TFileDialogAction
{
    enum TKind
    {
        fdaSelect,     // selects the entry at Text (a full path): its folder is entered first
        fdaFolder,     // enters the folder Text
        fdaChangeType, // chooses the Index-th filter (from 1)
        fdaTypeName,   // types Text into the file-name box
        fdaRun,        // Run happens while the dialog is open (a click on the hosted panel ...)
        fdaAccept,     // presses Open or Save: the name box's file, joined to the folder
        fdaCancel,
    };
    TKind Kind = fdaCancel;
    std::string Text;
    int32_t Index = 0;
    std::function<void()> Run;

    static TFileDialogAction Select(const std::string& Path) { return {fdaSelect, Path, 0, {}}; }
    static TFileDialogAction Folder(const std::string& Folder) { return {fdaFolder, Folder, 0, {}}; }
    static TFileDialogAction ChangeType(int32_t Index) { return {fdaChangeType, {}, Index, {}}; }
    static TFileDialogAction TypeName(const std::string& Name) { return {fdaTypeName, Name, 0, {}}; }
    static TFileDialogAction Do(std::function<void()> Run) { return {fdaRun, {}, 0, std::move(Run)}; }
    static TFileDialogAction Accept() { return {fdaAccept, {}, 0, {}}; }
    static TFileDialogAction Cancel() { return {fdaCancel, {}, 0, {}}; }
};
using TFileDialogScript = std::vector<TFileDialogAction>;

// Settings changed in a scripted scan dialog, as (name, value) pairs in order; a switch takes
// "yes" or "no", a number its decimal text.
using TScanSettingChanges = std::vector<std::pair<std::string, std::string>>;

class TScriptedDialogService : public IDialogService
{
public:
    TScriptedDialogService();
    ~TScriptedDialogService() override;
    TScriptedDialogService(const TScriptedDialogService&) = delete;
    TScriptedDialogService& operator=(const TScriptedDialogService&) = delete;

    // Queue the answers, used in order per kind. Without a queued answer a message box gets the
    // answer of closing it without a choice (IDOK for MB_OK, IDNO for MB_YESNO, IDABORT for
    // MB_ABORTRETRYIGNORE, IDCANCEL otherwise) and every dialog is cancelled.
    void AnswerMessageBox(int32_t id);
    void AnswerFolder(const std::string& folder);
    void CancelFolder();
    void AnswerFiles(const std::vector<std::string>& files, int32_t filterIndex = 1);
    void CancelFiles();
    // The next hosting file dialog plays the script; one that ends without Accept or Cancel is
    // cancelled. A hosting dialog without a script of its own plays a queued file answer as a
    // filter change, a selection of the first file and Accept (or as Cancel).
    void PlayFileDialog(const TFileDialogScript& script);
    void AnswerColor(TColor color);
    void CancelColor();
    void AnswerFont(const TFontChoice& font);
    void CancelFont();
    void AnswerPrinterSetup(bool accepted);
    void AnswerVideoCompressor(int32_t index, int32_t quality);
    void CancelVideoCompressor();
    // The scan dialog: the changes are made one by one, as a user would, then Scan or Cancel.
    void AnswerScan(const TScanSettingChanges& changes = {});
    void CancelScan(const TScanSettingChanges& changes = {});
    void AnswerScanSource(int32_t index);
    void CancelScanSource();

    const std::vector<TDialogCall>& Calls() const { return FCalls; }
    // The calls of one kind, in order.
    std::vector<TDialogCall> CallsOf(TDialogKind kind) const;
    void ClearCalls() { FCalls.clear(); }
    // Answers queued but never used.
    size_t PendingAnswers() const;

    int32_t MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
    bool BrowseForFolder(const std::string& title, const std::string& root, std::string& folder) override;
    TFileDialogAnswer OpenFile(const TFileDialogRequest& request) override;
    TFileDialogAnswer SaveFile(const TFileDialogRequest& request) override;
    TFileDialogAnswer HostingFileDialog(const TFileDialogRequest& request, bool save,
                                        const TFileDialogHooks& hooks) override;
    bool ChooseColor(TColor& color, bool fullOpen) override;
    bool ChooseFont(TFontChoice& font) override;
    bool PrinterSetup() override;
    void ShowHelpTopic(const std::string& helpFile, const std::string& topic) override;
    bool ShellOpen(const std::string& target) override;
    TVideoCompressorAnswer ChooseVideoCompressor(const TVideoCompressorRequest& request) override;
    bool ScanSettings(TScanDialogRequest& request) override;
    bool ChooseScanSource(const std::string& title, const std::vector<std::string>& sources,
                          int32_t& index) override;

private:
    struct TScanAnswer
    {
        bool Scan = false;
        TScanSettingChanges Changes;
    };

    TFileDialogAnswer AnswerFileDialog(TDialogKind kind, const TFileDialogRequest& request);

    IDialogService* FPrevious = nullptr;
    std::vector<TDialogCall> FCalls;
    std::deque<int32_t> FMessageBoxAnswers;
    std::deque<std::optional<std::string>> FFolderAnswers;
    std::deque<TFileDialogAnswer> FFileAnswers;
    std::deque<TFileDialogScript> FFileScripts;
    std::deque<std::optional<TColor>> FColorAnswers;
    std::deque<std::optional<TFontChoice>> FFontAnswers;
    std::deque<bool> FPrinterSetupAnswers;
    std::deque<TVideoCompressorAnswer> FVideoCompressorAnswers;
    std::deque<TScanAnswer> FScanAnswers;
    std::deque<std::optional<int32_t>> FScanSourceAnswers;
};
