// The open and save dialogs with a preview: the platform's file dialog with a panel beside its
// file list that shows the selected picture (its frames for an animation), describes the file and,
// when saving, follows the chosen type with the name's extension and offers the save parameters.
#pragma once

#include "imaging/core/message_table.h"
#include "imaging/core/types.h"
#include "platform/core/classes.h"
#include "platform/core/lists.h"
#include "platform/forms/dialog_service.h"
#include "platform/forms/form.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TButton;
class TCheckBox;
class TComboBox;
class TIOParamsVals;
class TKorvaneIO;
class TKorvaneMIO;
class TKorvaneMView;
class TKorvaneView;
class TLabel;
class TPanel;
class TProgressBar;
class TSpeedButton;

// How the preview draws the picture: on a plain background with a border, or cut to the picture
// (with a soft shadow) without one.
enum TKVDBorderStyle : uint8_t
{
    kvpsDefault,
    kvpsCropped,
    kvpsCropShadow
};

// The save dialog's extras, as bits of TKVSaveDlgOpt.
enum TKVSaveDlgOptItem : uint8_t
{
    sdShowPreview,
    sdShowAdvanced
};
using TKVSaveDlgOpt = uint8_t;
constexpr TKVSaveDlgOpt SaveDlgOpt(TKVSaveDlgOptItem Item)
{
    return TKVSaveDlgOpt(1u << Item);
}

// What the two dialogs share: the events around the running dialog and its language.
class TKVCommonDialog : public TComponent
{
public:
    explicit TKVCommonDialog(TComponent* AOwner);
    ~TKVCommonDialog() override;

    // Shows the dialog; true when the user chose a file.
    virtual bool Execute() = 0;

    // Kept for programs that set them; the platform's dialog has its own look and no help button.
    bool Ctl3D = true;
    int32_t HelpContext = 0;
    TNotifyEvent OnClose;
    TNotifyEvent OnShow;
    TMsgLanguage MsgLanguage = msSystem;
    // The dialog's side bar of places (home, the computer's root, recent folders).
    bool ShowPlacesBar = true;
    // The description of the selected file under the picture.
    bool ExtendedDialog = true;

    // While the dialog is open: the platform's dialog window.
    IFileDialogWindow* DialogWindow() const { return FWindow; }

protected:
    virtual void DoClose();
    virtual void DoShow();

    IFileDialogWindow* FWindow = nullptr;
};

class TOpenKorvaneDialog : public TKVCommonDialog
{
public:
    explicit TOpenKorvaneDialog(TComponent* AOwner);
    ~TOpenKorvaneDialog() override;

    bool Execute() override;

    std::string DefaultExt;
    // The chosen file (the first one of a multiple selection); while the dialog is open, the
    // selected entry.
    std::string FileName() const;
    void SetFileName(const std::string& Value) { FFileName = Value; }
    // "description|pattern;pattern|..."; built from the format table by Execute when AutoSetFilter
    // is set.
    std::string Filter;
    // The chosen filter, from 1; while the dialog is open, the one shown.
    int32_t FilterIndex() const;
    void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
    std::string InitialDir() const { return FInitialDir; }
    void SetInitialDir(const std::string& Value) { FInitialDir = Value; }
    // Without ofHideReadOnly the open dialog shows an "Open read-only" box, checked with
    // ofReadOnly; a confirmed dialog sets ofReadOnly as the box was left, and ofExtensionDifferent
    // when the chosen name's extension is not the default one (DefaultExt, else the chosen type's).
    TOpenOptions Options = ofHideReadOnly;
    std::string Title;
    TCloseQueryEvent OnCanClose;
    TNotifyEvent OnFolderChange;
    TNotifyEvent OnSelectionChange;
    TNotifyEvent OnTypeChange;
    bool AutoSetFilter = true;
    bool AlwaysAnimate = false;
    TKVDBorderStyle PreviewBorderStyle() const { return FPreviewBorderStyle; }
    void SetPreviewBorderStyle(TKVDBorderStyle Value);
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    TResampleFilter ZoomFilter() const;
    void SetZoomFilter(TResampleFilter Value);
    bool ShowAllFrames = false;

    // Entries "description|pattern|..." added to the built filter (and their patterns to the
    // all-pictures entry).
    std::string ExtendedFilters;
    // The names chosen in a multiple selection.
    TStrings* Files() const { return FFiles.get(); }
    TStrings* HistoryList() const { return FHistoryList.get(); }
    void SetHistoryList(TStrings* Value);

    // The filter text for this dialog from the format table.
    virtual std::string BuildStrFilter() const;
    // The captions and hints in MsgLanguage.
    void SetLang();
    // Describes a picture file in the information labels; nil empties them.
    void ShowIOParams(const TIOParamsVals* Params);
    // The preview follows the entry selected in the dialog.
    virtual void DoSelectionChange();
    virtual void DoFolderChange();
    virtual void DoTypeChange();
    // Applies the zoom chosen in the zoom box to the preview.
    virtual void SetZoom();
    // The full-size preview window, modal.
    void PreviewClick();
    // Plays or stops the frames with the play button.
    void PlayClick();
    // Turns the preview on or off with the preview check box.
    void DoCheckPreview();

    // The controls of the panel beside the file list, for the program and for tests.
    TPanel* ExtensionPanel() const { return FExtensionPanel; }
    TPanel* InfoPanel() const { return FInfoPanel; }
    TLabel* InfoLabel1() const { return FInfoLabel1; }
    TLabel* InfoLabel2() const { return FInfoLabel2; }
    TButton* AdvancedButton() const { return FAdvancedButton; }
    TCheckBox* PreviewCheck() const { return FPreviewCheck; }
    TCheckBox* ReadOnlyCheck() const { return FReadOnlyCheck; }
    TPanel* PicturePanel() const { return FPicturePanel; }
    TLabel* PicLabel1() const { return FPicLabel1; }
    TLabel* PicLabel2() const { return FPicLabel2; }
    TLabel* PicLabel3() const { return FPicLabel3; }
    TComboBox* ZoomCombo() const { return FZoomCombo; }
    TSpeedButton* PreviewButton() const { return FPreviewButton; }
    TSpeedButton* PlayButton() const { return FPlayButton; }
    TKorvaneView* KorvaneView() const { return FKorvaneView; }
    TKorvaneMView* KorvaneMView() const { return FKorvaneMView; }
    TProgressBar* ProgressBar() const { return FProgressBar; }
    TKorvaneIO* PreviewIO() const { return FIO; }
    TKorvaneMIO* PreviewMIO() const;
    // The size in bytes and the frame count of the selected file.
    int64_t SelectedFileSize() const { return FFileSize; }
    int32_t SelectedFrames() const { return FFrames; }
    // The pattern list of the filter entry shown last ("*.jpg;*.jpeg").
    const std::string& CurrentFilterPattern() const { return FCurrentPattern; }

protected:
    // Runs the platform dialog (save false: open) and takes the user's choice.
    bool DoExecute(bool Save);
    virtual bool IsSaveDialog() const { return false; }
    void DoShow() override;
    void DoClose() override;
    bool CanClose(const std::vector<std::string>& Chosen);
    // The path selected in the running dialog, else FileName.
    std::string GetFileName() const;
    // The name box's text in the running dialog, else FileName.
    std::string GetFileName2() const;
    // Sets the current pattern from filter entry Index and tells DoTypeChange when it changed.
    void TypeChanged(int32_t Index);
    // Shows the parts of the panel this dialog has (the picture area, the description, the
    // Advanced button) and sizes the panel to them.
    void LayOut();

    bool FPreviewEnabled = true;
    std::string FCurrentPattern;
    int32_t FCurrentIndex = 1;

private:
    void CreateControls();
    void PlaceZoomRow();
    // Sizes the boxes and the Advanced button to their captions; returns the description's height.
    int32_t PlaceBoxes();
    void ClearPreview();
    void ShowMultiFrame(const std::string& Path, const std::string& Ext);
    void ShowSingle(const std::string& Path);
    void ShowFrameParams(int32_t Frame);
    void Progress(int32_t Percent);

    std::string FFileName;
    int32_t FFilterIndex = 1;
    std::string FInitialDir;
    TKVDBorderStyle FPreviewBorderStyle = kvpsDefault;
    bool FBusy = false;
    int64_t FFileSize = 0;
    int32_t FFrames = 0;
    std::unique_ptr<TStringList> FFiles;
    std::unique_ptr<TStringList> FHistoryList;
    std::vector<int32_t> FZoomValues;

    TPanel* FExtensionPanel = nullptr;
    TPanel* FInfoPanel = nullptr;
    TLabel* FInfoLabel1 = nullptr;
    TLabel* FInfoLabel2 = nullptr;
    TButton* FAdvancedButton = nullptr;
    TCheckBox* FPreviewCheck = nullptr;
    TCheckBox* FReadOnlyCheck = nullptr;
    TPanel* FPicturePanel = nullptr;
    TLabel* FPicLabel1 = nullptr;
    TLabel* FPicLabel2 = nullptr;
    TLabel* FPicLabel3 = nullptr;
    TComboBox* FZoomCombo = nullptr;
    TSpeedButton* FPreviewButton = nullptr;
    TSpeedButton* FPlayButton = nullptr;
    TKorvaneView* FKorvaneView = nullptr;
    TKorvaneMView* FKorvaneMView = nullptr;
    TProgressBar* FProgressBar = nullptr;
    TKorvaneIO* FIO = nullptr;
};

class TSaveKorvaneDialog : public TOpenKorvaneDialog
{
public:
    explicit TSaveKorvaneDialog(TComponent* AOwner);
    ~TSaveKorvaneDialog() override;

    bool Execute() override;

    TKVSaveDlgOpt ExOptions = SaveDlgOpt(sdShowPreview) | SaveDlgOpt(sdShowAdvanced);
    TComponent* AttachedKorvaneIO() const { return FAttached; }
    // Takes a TKorvaneIO, TKorvaneMIO, TKorvaneMView or TKorvaneView; anything else is ignored.
    void SetAttachedKorvaneIO(TComponent* Value);

    // Writes the name box's name with the current pattern's first extension.
    virtual void SetFileNameExt();
    // The save-parameters dialog of the attached component for the chosen type.
    void DoAdvanced();
    void DoTypeChange() override;

protected:
    bool IsSaveDialog() const override { return true; }
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    // The parameters of the attached component that the dialog works on, or nil.
    TIOParamsVals* AttachedParams() const;

    TComponent* FAttached = nullptr;
    std::unique_ptr<TIOParamsVals> FParamsCopy;
};
