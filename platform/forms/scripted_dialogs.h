// A dialog service for tests: it answers from queues that the test fills, records every call
// with its texts and flags, and never shows a window. It installs itself while it lives.
#pragma once

#include <deque>
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
};

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
    std::deque<std::optional<TColor>> FColorAnswers;
    std::deque<std::optional<TFontChoice>> FFontAnswers;
    std::deque<bool> FPrinterSetupAnswers;
    std::deque<TVideoCompressorAnswer> FVideoCompressorAnswers;
    std::deque<TScanAnswer> FScanAnswers;
    std::deque<std::optional<int32_t>> FScanSourceAnswers;
};
