// The gallery creation status window: shown modally by the main window's Create button, it starts
// the gallery run once it has appeared and follows its four stages with icons and a progress bar.
#pragma once

#include "app/gallery_run.h"
#include "platform/forms/form.h"

#include <cstdint>
#include <string>

class TImage;
class TLabel;
class TProgressBar;
class TSpeedButton;

// The message the window posts to itself when shown: the application's base user message + 1000.
constexpr uint32_t WM_STARTGALLERY = WM_USER + 1000;

class TStatus : public TForm, private IGalleryStatus
{
public:
    explicit TStatus(TComponent* AOwner);
    ~TStatus() override;

    void FormShow(TObject* Sender);
    void Cancel_BTNClick(TObject* Sender);
    void Ok_BTNClick(TObject* Sender);
    // WM_STARTGALLERY starts the run, and WM_CLOSE during a run cancels it; every other
    // message goes to the form.
    void Dispatch(TMessage& Message) override;
    // Resets the window and runs one gallery.
    void StartGallery();

    // The outcome of the last run.
    TGalleryResult LastResult() const { return FLastResult; }

    TImage* Check1_IMG = nullptr;
    TLabel* State1_LBL = nullptr;
    TImage* Check2_IMG = nullptr;
    TLabel* State2_LBL = nullptr;
    TLabel* Files_LBL = nullptr;
    TImage* Check3_IMG = nullptr;
    TLabel* State3_LBL = nullptr;
    TImage* Check4_IMG = nullptr;
    TLabel* State4_LBL = nullptr;
    TImage* Check6_IMG = nullptr;
    TLabel* State6_LBL = nullptr;
    TSpeedButton* Cancel_BTN = nullptr;
    TSpeedButton* Ok_BTN = nullptr;
    TProgressBar* Status_PB = nullptr;

private:
    TImage* StageImage(int32_t Stage) const;
    TLabel* StageLabel(int32_t Stage) const;

    // IGalleryStatus
    void ShowStage(int32_t Stage) override;
    void SetStageIcon(int32_t Stage, const std::string& ResourceName) override;
    void SetProgress(int32_t Maximum, int32_t Position) override;
    void ShowFilesFound(int32_t Count) override;
    void ShowSuccess() override;
    void ShowMessage(const std::string& Text) override;
    void ShowErrors(const std::string& Text) override;
    void ProcessMessages() override;
    bool CancelRequested() override { return FCancel; }

    bool FCancel = false;
    bool FRunning = false;
    TGalleryResult FLastResult = grSucceeded;
};

// The status window, created at start-up.
extern TStatus* Status;

// Shows a bitmap resource in the picture control, or clears it for an empty name.
void SetStatusIcon(TImage* Image, const std::string& ResourceName);
