// The scripted dialog service: queued answers, recorded calls.
#include "platform/forms/scripted_dialogs.h"

#include "platform/core/files.h"
#include "platform/forms/detail/dialog_texts.h"
#include "platform/forms/form.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

template <typename T> std::optional<T> TakeFront(std::deque<T>& queue)
{
    if (queue.empty())
        return std::nullopt;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

void SetSettingValue(TScanSetting& setting, const std::string& value)
{
    switch (setting.Kind) {
    case sskSwitch:
        setting.Number = (value == "yes" || value == "true" || value == "1") ? 1 : 0;
        break;
    case sskInteger:
    case sskNumber:
        setting.Number = std::strtod(value.c_str(), nullptr);
        break;
    case sskText:
        setting.Text = value;
        break;
    }
}

std::string SettingValueText(const TScanSetting& setting)
{
    switch (setting.Kind) {
    case sskSwitch:
        return setting.Number != 0 ? "yes" : "no";
    case sskInteger:
        return std::to_string(static_cast<long long>(setting.Number));
    case sskNumber: {
        char text[32];
        std::snprintf(text, sizeof(text), "%g", setting.Number);
        return text;
    }
    case sskText:
        break;
    }
    return setting.Text;
}

// The state of a scripted file dialog, as the program hosting its panel reads and writes it.
class TScriptedFileWindow : public IFileDialogWindow
{
public:
    std::string SelectedPath() const override { return FPath; }
    std::string Folder() const override { return FFolder; }
    int32_t FilterIndex() const override { return FFilterIndex; }
    std::string NameText() const override { return FName; }
    void SetNameText(const std::string& Text) override { FName = Text; }

    std::string FPath;
    std::string FFolder;
    int32_t FFilterIndex = 1;
    std::string FName;
};

// The script a plain answer stands for.
TFileDialogScript ScriptOf(const TFileDialogAnswer& answer)
{
    if (!answer.Accepted || answer.Files.empty()) {
        return {TFileDialogAction::Cancel()};
    }
    return {TFileDialogAction::ChangeType(answer.FilterIndex),
            TFileDialogAction::Select(answer.Files.front()), TFileDialogAction::Accept()};
}

} // namespace

TScriptedDialogService::TScriptedDialogService() : FPrevious(SetDialogService(this)) {}

TScriptedDialogService::~TScriptedDialogService()
{
    SetDialogService(FPrevious);
}

void TScriptedDialogService::AnswerMessageBox(int32_t id)
{
    FMessageBoxAnswers.push_back(id);
}

void TScriptedDialogService::AnswerFolder(const std::string& folder)
{
    FFolderAnswers.emplace_back(folder);
}

void TScriptedDialogService::CancelFolder()
{
    FFolderAnswers.emplace_back(std::nullopt);
}

void TScriptedDialogService::AnswerFiles(const std::vector<std::string>& files, int32_t filterIndex)
{
    FFileAnswers.push_back(TFileDialogAnswer{true, files, filterIndex});
}

void TScriptedDialogService::CancelFiles()
{
    FFileAnswers.push_back(TFileDialogAnswer{});
}

void TScriptedDialogService::PlayFileDialog(const TFileDialogScript& script)
{
    FFileScripts.push_back(script);
}

void TScriptedDialogService::AnswerColor(TColor color)
{
    FColorAnswers.emplace_back(color);
}

void TScriptedDialogService::CancelColor()
{
    FColorAnswers.emplace_back(std::nullopt);
}

void TScriptedDialogService::AnswerFont(const TFontChoice& font)
{
    FFontAnswers.emplace_back(font);
}

void TScriptedDialogService::CancelFont()
{
    FFontAnswers.emplace_back(std::nullopt);
}

void TScriptedDialogService::AnswerPrinterSetup(bool accepted)
{
    FPrinterSetupAnswers.push_back(accepted);
}

void TScriptedDialogService::AnswerVideoCompressor(int32_t index, int32_t quality)
{
    FVideoCompressorAnswers.push_back({true, index, quality});
}

void TScriptedDialogService::CancelVideoCompressor()
{
    FVideoCompressorAnswers.push_back({});
}

void TScriptedDialogService::AnswerScan(const TScanSettingChanges& changes)
{
    FScanAnswers.push_back(TScanAnswer{true, changes});
}

void TScriptedDialogService::CancelScan(const TScanSettingChanges& changes)
{
    FScanAnswers.push_back(TScanAnswer{false, changes});
}

void TScriptedDialogService::AnswerScanSource(int32_t index)
{
    FScanSourceAnswers.emplace_back(index);
}

void TScriptedDialogService::CancelScanSource()
{
    FScanSourceAnswers.emplace_back(std::nullopt);
}

std::vector<TDialogCall> TScriptedDialogService::CallsOf(TDialogKind kind) const
{
    std::vector<TDialogCall> result;
    for (const TDialogCall& call : FCalls)
        if (call.Kind == kind)
            result.push_back(call);
    return result;
}

size_t TScriptedDialogService::PendingAnswers() const
{
    return FMessageBoxAnswers.size() + FFolderAnswers.size() + FFileAnswers.size() + FFileScripts.size() +
           FColorAnswers.size() + FPrinterSetupAnswers.size() + FVideoCompressorAnswers.size() +
           FScanAnswers.size() + FScanSourceAnswers.size() + FFontAnswers.size();
}

int32_t TScriptedDialogService::MessageBox(const std::string& text, const std::string& caption,
                                           uint32_t flags)
{
    TDialogCall call;
    call.Kind = dkMessageBox;
    call.Caption = caption;
    call.Text = text;
    call.Flags = flags;
    std::optional<int32_t> answer = TakeFront(FMessageBoxAnswers);
    call.Scripted = answer.has_value();
    call.Answer = answer.value_or(FormsDetail::MessageBoxCloseAnswer(flags));
    FCalls.push_back(call);
    return call.Answer;
}

bool TScriptedDialogService::BrowseForFolder(const std::string& title, const std::string& root,
                                             std::string& folder)
{
    TDialogCall call;
    call.Kind = dkBrowseForFolder;
    call.Caption = title;
    call.Text = folder.empty() ? root : folder;
    std::optional<std::optional<std::string>> answer = TakeFront(FFolderAnswers);
    call.Scripted = answer.has_value();
    bool chosen = answer && answer->has_value();
    if (chosen) {
        folder = **answer;
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
    }
    call.Answer = chosen ? 1 : 0;
    FCalls.push_back(call);
    return chosen;
}

TFileDialogAnswer TScriptedDialogService::AnswerFileDialog(TDialogKind kind,
                                                           const TFileDialogRequest& request)
{
    TDialogCall call;
    call.Kind = kind;
    call.Caption = request.Title;
    call.Text = request.InitialDir;
    call.Flags = request.Options;
    call.File = request;
    std::optional<TFileDialogAnswer> answer = TakeFront(FFileAnswers);
    call.Scripted = answer.has_value();
    TFileDialogAnswer result = answer.value_or(TFileDialogAnswer{});
    if (result.Accepted && result.Files.empty())
        result.Accepted = false;
    if (result.Accepted && !(request.Options & ofAllowMultiSelect))
        result.Files.resize(1);
    call.Answer = result.Accepted ? 1 : 0;
    FCalls.push_back(call);
    return result;
}

TFileDialogAnswer TScriptedDialogService::OpenFile(const TFileDialogRequest& request)
{
    return AnswerFileDialog(dkOpenFile, request);
}

TFileDialogAnswer TScriptedDialogService::SaveFile(const TFileDialogRequest& request)
{
    return AnswerFileDialog(dkSaveFile, request);
}

TFileDialogAnswer TScriptedDialogService::HostingFileDialog(const TFileDialogRequest& request, bool save,
                                                            const TFileDialogHooks& hooks)
{
    TDialogCall call;
    call.Kind = save ? dkSaveFile : dkOpenFile;
    call.Caption = request.Title;
    call.Text = request.InitialDir;
    call.Flags = request.Options;
    call.File = request;
    call.Hosted = true;
    TFileDialogScript script;
    if (std::optional<TFileDialogScript> own = TakeFront(FFileScripts)) {
        script = std::move(*own);
        call.Scripted = true;
    } else if (std::optional<TFileDialogAnswer> answer = TakeFront(FFileAnswers)) {
        script = ScriptOf(*answer);
        call.Scripted = true;
    }

    TScriptedFileWindow window;
    // A dialog without a folder to start in opens in the current one.
    std::string start = request.InitialDir.empty() ? ExtractFilePath(request.FileName) : request.InitialDir;
    window.FFolder = IncludeTrailingPathDelimiter(start.empty() ? GetCurrentDir() : start);
    window.FName = ExtractFileName(request.FileName);
    window.FFilterIndex = std::max<int32_t>(request.FilterIndex, 1);

    // The panel sits in a window that stands for the dialog, as it would beside the file list.
    std::unique_ptr<TForm> host;
    TWinControl* previousParent = nullptr;
    TRect previousBounds{};
    if (hooks.Panel != nullptr) {
        previousParent = hooks.Panel->Parent();
        previousBounds = hooks.Panel->BoundsRect();
        host = std::make_unique<TForm>(nullptr);
        host->SetCaption(request.Title);
        host->SetClientWidth(hooks.Panel->Width() + 420);
        host->SetClientHeight(std::max(hooks.Panel->Height(), 300));
        hooks.Panel->SetParent(host.get());
        hooks.Panel->SetLeft(420);
        host->Show();
    }
    auto fire = [&](const std::function<void(IFileDialogWindow&)>& event) {
        if (event) {
            event(window);
        }
    };
    fire(hooks.OnShow);

    TFileDialogAnswer result;
    bool closed = false;
    for (const TFileDialogAction& action : script) {
        switch (action.Kind) {
        case TFileDialogAction::fdaSelect: {
            const std::string folder = ExtractFilePath(action.Text);
            if (!folder.empty() && folder != window.FFolder) {
                window.FFolder = folder;
                window.FPath.clear();
                fire(hooks.OnFolderChange);
            }
            window.FPath = action.Text;
            window.FName = ExtractFileName(action.Text);
            fire(hooks.OnSelectionChange);
            break;
        }
        case TFileDialogAction::fdaFolder:
            window.FFolder = IncludeTrailingPathDelimiter(action.Text);
            window.FPath.clear();
            fire(hooks.OnFolderChange);
            break;
        case TFileDialogAction::fdaChangeType:
            if (action.Index != window.FFilterIndex) {
                window.FFilterIndex = action.Index;
                fire(hooks.OnTypeChange);
            }
            break;
        case TFileDialogAction::fdaTypeName:
            window.FName = action.Text;
            break;
        case TFileDialogAction::fdaRun:
            if (action.Run) {
                action.Run();
            }
            break;
        case TFileDialogAction::fdaAccept: {
            // Open and Save do nothing while the name box is empty.
            if (window.FName.empty()) {
                break;
            }
            const std::string file =
                window.FName.front() == '/' ? window.FName : window.FFolder + window.FName;
            if (hooks.OnCanClose && !hooks.OnCanClose(window, {file})) {
                break;
            }
            result.Accepted = true;
            result.Files = {file};
            result.FilterIndex = window.FFilterIndex;
            closed = true;
            break;
        }
        case TFileDialogAction::fdaCancel:
            closed = true;
            break;
        }
        if (closed) {
            break;
        }
    }
    call.NameText = window.FName;
    call.Answer = result.Accepted ? 1 : 0;
    FCalls.push_back(call);
    if (hooks.Panel != nullptr) {
        hooks.Panel->SetParent(previousParent);
        hooks.Panel->SetBounds(previousBounds.Left, previousBounds.Top,
                               previousBounds.Right - previousBounds.Left,
                               previousBounds.Bottom - previousBounds.Top);
    }
    host.reset();
    if (hooks.OnClose) {
        hooks.OnClose();
    }
    return result;
}

bool TScriptedDialogService::ChooseColor(TColor& color, bool fullOpen)
{
    TDialogCall call;
    call.Kind = dkChooseColor;
    call.Color = color;
    call.FullOpen = fullOpen;
    std::optional<std::optional<TColor>> answer = TakeFront(FColorAnswers);
    call.Scripted = answer.has_value();
    bool chosen = answer && answer->has_value();
    if (chosen)
        color = **answer;
    call.Answer = chosen ? 1 : 0;
    FCalls.push_back(call);
    return chosen;
}

bool TScriptedDialogService::ChooseFont(TFontChoice& font)
{
    TDialogCall call;
    call.Kind = dkChooseFont;
    call.Font = font;
    std::optional<std::optional<TFontChoice>> answer = TakeFront(FFontAnswers);
    call.Scripted = answer.has_value();
    const bool chosen = answer && answer->has_value();
    if (chosen)
        font = **answer;
    call.Answer = chosen ? 1 : 0;
    FCalls.push_back(call);
    return chosen;
}

bool TScriptedDialogService::PrinterSetup()
{
    TDialogCall call;
    call.Kind = dkPrinterSetup;
    std::optional<bool> answer = TakeFront(FPrinterSetupAnswers);
    call.Scripted = answer.has_value();
    call.Answer = answer.value_or(false) ? 1 : 0;
    FCalls.push_back(call);
    return call.Answer != 0;
}

void TScriptedDialogService::ShowHelpTopic(const std::string& helpFile, const std::string& topic)
{
    TDialogCall call;
    call.Kind = dkHelpTopic;
    call.Caption = helpFile;
    call.Text = topic;
    call.Scripted = true;
    FCalls.push_back(call);
}

bool TScriptedDialogService::ShellOpen(const std::string& target)
{
    TDialogCall call;
    call.Kind = dkShellOpen;
    call.Text = target;
    call.Scripted = true;
    call.Answer = 1;
    FCalls.push_back(call);
    return true;
}

TVideoCompressorAnswer TScriptedDialogService::ChooseVideoCompressor(const TVideoCompressorRequest& request)
{
    TDialogCall call;
    call.Kind = dkVideoCompressor;
    for (const std::string& name : request.Names)
        call.Text += (call.Text.empty() ? "" : "|") + name;
    std::optional<TVideoCompressorAnswer> answer = TakeFront(FVideoCompressorAnswers);
    call.Scripted = answer.has_value();
    TVideoCompressorAnswer result = answer.value_or(TVideoCompressorAnswer{});
    if (result.Index < 0 || result.Index >= int32_t(request.Names.size()))
        result.Accepted = false;
    call.Answer = result.Accepted ? 1 : 0;
    FCalls.push_back(call);
    return result;
}

bool TScriptedDialogService::ScanSettings(TScanDialogRequest& request)
{
    TDialogCall call;
    call.Kind = dkScanSettings;
    call.Caption = request.Title;
    call.Text = request.Device;
    std::optional<TScanAnswer> answer = TakeFront(FScanAnswers);
    call.Scripted = answer.has_value();
    if (answer) {
        for (const auto& [name, value] : answer->Changes) {
            for (TScanSetting& setting : request.Settings) {
                if (setting.Name != name || setting.ReadOnly)
                    continue;
                SetSettingValue(setting, value);
                if (request.Apply)
                    request.Settings = request.Apply(setting);
                break;
            }
        }
    }
    for (const TScanSetting& setting : request.Settings)
        call.Items.push_back(setting.Name + "=" + SettingValueText(setting));
    call.Answer = answer && answer->Scan ? 1 : 0;
    FCalls.push_back(call);
    return call.Answer != 0;
}

bool TScriptedDialogService::ChooseScanSource(const std::string& title,
                                              const std::vector<std::string>& sources, int32_t& index)
{
    TDialogCall call;
    call.Kind = dkScanSource;
    call.Caption = title;
    call.Items = sources;
    std::optional<std::optional<int32_t>> answer = TakeFront(FScanSourceAnswers);
    call.Scripted = answer.has_value();
    const bool chosen = answer && answer->has_value() && **answer >= 0 && size_t(**answer) < sources.size();
    if (chosen)
        index = **answer;
    call.Answer = chosen ? 1 : 0;
    FCalls.push_back(call);
    return chosen;
}
