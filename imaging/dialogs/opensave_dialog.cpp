// Running the open and save dialogs: the request to the platform's file dialog, the moments it
// reports, the names it returns, and the save dialog's extension and parameter handling.
#include "imaging/dialogs/kvopensavedlg.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/dialogs/opensave_texts.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/korvanemio.h"
#include "imaging/view/korvaneview.h"
#include "platform/core/files.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/std_controls.h"

// ---------------------------------------------------------------------------------------------
// TKVCommonDialog

TKVCommonDialog::TKVCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}

TKVCommonDialog::~TKVCommonDialog() = default;

void TKVCommonDialog::DoClose()
{
    if (OnClose) {
        OnClose(this);
    }
}

void TKVCommonDialog::DoShow()
{
    if (OnShow) {
        OnShow(this);
    }
}

// ---------------------------------------------------------------------------------------------
// TOpenKorvaneDialog: the platform dialog

bool TOpenKorvaneDialog::Execute()
{
    SetLang();
    FPreviewCheck->SetVisible(true);
    if (AutoSetFilter) {
        Filter = BuildStrFilter();
    }
    return DoExecute(false);
}

std::string TOpenKorvaneDialog::BuildStrFilter() const
{
    return Kvopensavedlg::BuildStrFilter(IsSaveDialog(), ExtendedFilters, MsgLanguage);
}

std::string TOpenKorvaneDialog::FileName() const
{
    return FWindow != nullptr ? GetFileName() : FFileName;
}

int32_t TOpenKorvaneDialog::FilterIndex() const
{
    return FWindow != nullptr ? FCurrentIndex : FFilterIndex;
}

std::string TOpenKorvaneDialog::GetFileName() const
{
    if (FWindow == nullptr) {
        return FFileName;
    }
    const std::string selected = FWindow->SelectedPath();
    if (!selected.empty()) {
        return selected;
    }
    const std::string typed = FWindow->NameText();
    if (typed.empty()) {
        return std::string();
    }
    return typed.front() == '/' ? typed : FWindow->Folder() + typed;
}

std::string TOpenKorvaneDialog::GetFileName2() const
{
    return FWindow != nullptr ? FWindow->NameText() : FFileName;
}

void TOpenKorvaneDialog::SetHistoryList(TStrings* Value)
{
    FHistoryList->Assign(Value);
}

bool TOpenKorvaneDialog::DoExecute(bool Save)
{
    TFileDialogRequest request;
    request.Title = Title;
    request.Filter = Filter;
    request.FilterIndex = FFilterIndex;
    request.InitialDir = FInitialDir;
    request.FileName = FFileName;
    // The extension a typed name lacks is added when the dialog closes, from the type chosen
    // last, so the platform dialog is given only one the program asked for.
    request.DefaultExt = DefaultExt;
    request.Options = Options;
    request.SideBar = ShowPlacesBar;
    request.Locale = Kvopensavedlg::PlatformLocaleOf(MsgLanguage);
    FCurrentIndex = FFilterIndex;
    FCurrentPattern = Kvopensavedlg::FilterPattern(Filter, FCurrentIndex);
    FReadOnlyCheck->SetChecked((Options & ofReadOnly) != 0);

    // The panel takes its final size before the platform dialog makes room for it.
    LayOut();
    TFileDialogHooks hooks;
    hooks.Panel =
        (FPreviewEnabled || ExtendedDialog || FAdvancedButton->Visible() || FReadOnlyCheck->Visible())
            ? FExtensionPanel
            : nullptr;
    hooks.OnShow = [this](IFileDialogWindow& window) {
        FWindow = &window;
        DoShow();
    };
    hooks.OnSelectionChange = [this](IFileDialogWindow&) { DoSelectionChange(); };
    hooks.OnFolderChange = [this](IFileDialogWindow&) { DoFolderChange(); };
    hooks.OnTypeChange = [this](IFileDialogWindow& window) { TypeChanged(window.FilterIndex()); };
    hooks.OnCanClose = [this](IFileDialogWindow&, const std::vector<std::string>& chosen) {
        return CanClose(chosen);
    };
    hooks.OnClose = [this] {
        DoClose();
        FWindow = nullptr;
    };

    TFileDialogAnswer answer;
    try {
        answer = DialogService().HostingFileDialog(request, Save, hooks);
    } catch (...) {
        FWindow = nullptr;
        throw;
    }
    FWindow = nullptr;
    if (!answer.Accepted) {
        return false;
    }
    FFiles->Clear();
    for (const std::string& file : answer.Files) {
        FFiles->Add(file);
    }
    FFileName = answer.Files.front();
    FFilterIndex = answer.FilterIndex;
    FCurrentIndex = answer.FilterIndex;
    FCurrentPattern = Kvopensavedlg::FilterPattern(Filter, FCurrentIndex);
    // A hidden box keeps the state it was given.
    Options &= ~(ofReadOnly | ofExtensionDifferent);
    if (FReadOnlyCheck->Checked()) {
        Options |= ofReadOnly;
    }
    const std::string defaultExt =
        DefaultExt.empty() ? Kvopensavedlg::FirstExtension(FCurrentPattern) : DefaultExt;
    if (Kvopensavedlg::ExtensionDiffers(FFileName, defaultExt)) {
        Options |= ofExtensionDifferent;
    }
    return true;
}

bool TOpenKorvaneDialog::CanClose(const std::vector<std::string>& Chosen)
{
    FFiles->Clear();
    for (const std::string& file : Chosen) {
        FFiles->Add(file);
    }
    bool result = true;
    if (OnCanClose) {
        OnCanClose(this, result);
    }
    FFiles->Clear();
    return result;
}

void TOpenKorvaneDialog::TypeChanged(int32_t Index)
{
    FCurrentPattern = Kvopensavedlg::FilterPattern(Filter, Index);
    if (Index != FCurrentIndex) {
        FCurrentIndex = Index;
        DoTypeChange();
    }
}

void TOpenKorvaneDialog::DoTypeChange()
{
    if (OnTypeChange) {
        OnTypeChange(this);
    }
}

void TOpenKorvaneDialog::DoFolderChange()
{
    if (OnFolderChange) {
        OnFolderChange(this);
    }
}

// ---------------------------------------------------------------------------------------------
// TSaveKorvaneDialog

TSaveKorvaneDialog::TSaveKorvaneDialog(TComponent* AOwner)
    : TOpenKorvaneDialog(AOwner), FParamsCopy(std::make_unique<TIOParamsVals>())
{
    Filter = Kvopensavedlg::DefaultSaveFilter();
    AdvancedButton()->OnClick = [this](TObject*) { DoAdvanced(); };
}

TSaveKorvaneDialog::~TSaveKorvaneDialog()
{
    if (FAttached != nullptr) {
        FAttached->RemoveFreeNotification(this);
    }
}

void TSaveKorvaneDialog::SetAttachedKorvaneIO(TComponent* Value)
{
    const bool accepted = Value == nullptr || dynamic_cast<TKorvaneIO*>(Value) != nullptr ||
                          dynamic_cast<TKorvaneMIO*>(Value) != nullptr ||
                          dynamic_cast<TKorvaneMView*>(Value) != nullptr ||
                          dynamic_cast<TKorvaneView*>(Value) != nullptr;
    if (!accepted || Value == FAttached) {
        return;
    }
    if (FAttached != nullptr) {
        FAttached->RemoveFreeNotification(this);
    }
    FAttached = Value;
    if (Value == nullptr) {
        return;
    }
    Value->FreeNotification(this);
    if (auto* io = dynamic_cast<TKorvaneIO*>(Value)) {
        MsgLanguage = io->MsgLanguage;
    } else if (auto* mio = dynamic_cast<TKorvaneMIO*>(Value)) {
        MsgLanguage = mio->MsgLanguage;
    }
}

void TSaveKorvaneDialog::Notification(TComponent* AComponent, TOperation Operation)
{
    TOpenKorvaneDialog::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FAttached) {
        FAttached = nullptr;
    }
}

TIOParamsVals* TSaveKorvaneDialog::AttachedParams() const
{
    if (auto* io = dynamic_cast<TKorvaneIO*>(FAttached)) {
        return &io->Params();
    }
    TKorvaneMIO* mio = dynamic_cast<TKorvaneMIO*>(FAttached);
    if (auto* mview = dynamic_cast<TKorvaneMView*>(FAttached)) {
        mio = mview->GetKorvaneMIO();
    }
    if (mio != nullptr) {
        return mio->GetParams(0);
    }
    if (auto* view = dynamic_cast<TKorvaneView*>(FAttached)) {
        return &view->GetKorvaneIO()->Params();
    }
    return nullptr;
}

bool TSaveKorvaneDialog::Execute()
{
    FPreviewEnabled = (ExOptions & SaveDlgOpt(sdShowPreview)) != 0;
    if (AutoSetFilter) {
        Filter = BuildStrFilter();
    }
    AdvancedButton()->SetVisible((ExOptions & SaveDlgOpt(sdShowAdvanced)) != 0);
    SetLang();
    PreviewCheck()->SetVisible(FPreviewEnabled);

    TIOParamsVals* attached = AttachedParams();
    const bool multi = dynamic_cast<TKorvaneMIO*>(FAttached) != nullptr ||
                       dynamic_cast<TKorvaneMView*>(FAttached) != nullptr;
    if (multi && attached == nullptr) {
        return false; // nothing to save
    }
    if (attached != nullptr) {
        FParamsCopy->Assign(*attached);
    }
    const bool chosen = DoExecute(true);
    if (!chosen) {
        // Undo what Advanced changed; the component may have gone meanwhile.
        if (TIOParamsVals* now = AttachedParams(); now != nullptr && attached != nullptr) {
            now->Assign(*FParamsCopy);
        }
        return false;
    }
    SetFileName(Kvopensavedlg::WithDefaultExtension(FileName(), FCurrentPattern));
    if (Files()->Count() > 0) {
        Files()->SetStrings(0, FileName());
    }
    return true;
}

void TSaveKorvaneDialog::SetFileNameExt()
{
    const std::string name = GetFileName2();
    const std::string ext = Kvopensavedlg::FirstExtension(FCurrentPattern);
    if (FWindow == nullptr || name.empty() || ext.empty()) {
        return;
    }
    FWindow->SetNameText(Kvopensavedlg::ReplaceExtension(name, ext));
}

void TSaveKorvaneDialog::DoTypeChange()
{
    SetFileNameExt();
    TOpenKorvaneDialog::DoTypeChange();
}

void TSaveKorvaneDialog::DoAdvanced()
{
    // The pages follow the name being saved (the name box, else the selection), else the
    // default extension, else the type chosen.
    std::string name = GetFileName2();
    if (name.empty()) {
        name = GetFileName();
    }
    std::string ext = ExtractFileExt(ExtractFileName(name));
    if (ext.empty()) {
        ext = DefaultExt;
    }
    TPreviewParams pages = Kvopensavedlg::PreviewPagesOfExtension(ext);
    if (pages == 0) {
        const size_t dot = FCurrentPattern.find_last_of('.');
        if (dot != std::string::npos) {
            pages = Kvopensavedlg::PreviewPagesOfExtension(FCurrentPattern.substr(dot + 1));
        }
    }
    if (pages == 0) {
        return;
    }
    if (auto* io = dynamic_cast<TKorvaneIO*>(FAttached)) {
        io->DoPreviews(pages);
    } else if (auto* mio = dynamic_cast<TKorvaneMIO*>(FAttached)) {
        mio->DoPreviews(-1, pages);
    } else if (auto* mview = dynamic_cast<TKorvaneMView*>(FAttached)) {
        mview->GetKorvaneMIO()->DoPreviews(-1, pages);
    } else if (auto* view = dynamic_cast<TKorvaneView*>(FAttached)) {
        view->GetKorvaneIO()->DoPreviews(pages);
    }
}
