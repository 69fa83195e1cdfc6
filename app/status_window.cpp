// The gallery creation status window.
#include "app/status_window.h"

#include "app/errors_window.h"
#include "app/message_box.h"
#include "app/status_window_icons.h"
#include "platform/core/strings.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"

TStatus* Status = nullptr;

namespace {

TImage* PlaceImage(TForm* Form, const char* Name, int32_t Top)
{
    auto* image = new TImage(Form);
    image->SetName(Name);
    image->SetParent(Form);
    image->SetBounds(10, Top, 16, 16);
    return image;
}

TLabel* PlaceLabel(TForm* Form, const char* Name, const char* Caption, int32_t Left, int32_t Top)
{
    auto* label = new TLabel(Form);
    label->SetName(Name);
    label->SetParent(Form);
    label->SetBounds(Left, Top, 0, 0);
    label->SetCaption(Caption);
    return label;
}

TSpeedButton* PlaceButton(TForm* Form, const char* Name, const char* Caption)
{
    auto* button = new TSpeedButton(Form);
    button->SetName(Name);
    button->SetParent(Form);
    button->SetBounds(76, 130, 75, 23);
    button->SetCaption(Caption);
    return button;
}

} // namespace

void SetStatusIcon(TImage* Image, const std::string& ResourceName)
{
    TBitmap icon;
    if (ResourceName.empty() || !LoadBitmapResource(ResourceName, icon)) {
        Image->Picture()->Assign(nullptr);
        return;
    }
    Image->Picture()->SetGraphic(&icon);
}

TStatus::TStatus(TComponent* AOwner) : TForm(AOwner)
{
    SetName("Status");
    SetCaption("Gallery creation status");
    SetBorderStyle(bsToolWindow);
    SetBorderIcons(0);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetClientWidth(227);
    SetClientHeight(168);

    Check1_IMG = PlaceImage(this, "Check1_IMG", 10);
    State1_LBL = PlaceLabel(this, "State1_LBL", "Analising template", 34, 11);
    Check2_IMG = PlaceImage(this, "Check2_IMG", 32);
    State2_LBL = PlaceLabel(this, "State2_LBL", "Checking images files", 34, 33);
    Files_LBL = PlaceLabel(this, "Files_LBL", "Founded 234 files", 50, 49);
    Check3_IMG = PlaceImage(this, "Check3_IMG", 66);
    State3_LBL = PlaceLabel(this, "State3_LBL", "Processing images", 34, 67);
    Check4_IMG = PlaceImage(this, "Check4_IMG", 88);
    State4_LBL = PlaceLabel(this, "State4_LBL", "Generating thumbnails and pages", 34, 89);
    Check6_IMG = PlaceImage(this, "Check6_IMG", 108);
    SetStatusIcon(Check6_IMG, "check");
    State6_LBL = PlaceLabel(this, "State6_LBL", "Gallery successfully created", 34, 109);
    State6_LBL->Font()->SetStyle({fsBold});
    Cancel_BTN = PlaceButton(this, "Cancel_BTN", "Cancel");
    Ok_BTN = PlaceButton(this, "Ok_BTN", "Close");
    Ok_BTN->SetVisible(false);
    Status_PB = new TProgressBar(this);
    Status_PB->SetName("Status_PB");
    Status_PB->SetParent(this);
    Status_PB->SetAlign(alBottom);
    Status_PB->SetHeight(10);
    Status_PB->SetMin(0);
    Status_PB->SetMax(100);

    OnShow = [this](TObject* Sender) { FormShow(Sender); };
    Cancel_BTN->OnClick = [this](TObject* Sender) { Cancel_BTNClick(Sender); };
    Ok_BTN->OnClick = [this](TObject* Sender) { Ok_BTNClick(Sender); };
    if (Status == nullptr) {
        Status = this;
    }
}

TStatus::~TStatus()
{
    if (Status == this) {
        Status = nullptr;
    }
}

void TStatus::FormShow(TObject*)
{
    PostMessage(Handle(), WM_STARTGALLERY, 0, 0);
}

void TStatus::Dispatch(TMessage& Message)
{
    if (Message.Msg == WM_STARTGALLERY) {
        StartGallery();
        return;
    }
    // Closing the window during a run cancels it; the window closes once the run has ended.
    if (Message.Msg == WM_CLOSE && FRunning) {
        FCancel = true;
        return;
    }
    TForm::Dispatch(Message);
}

void TStatus::Cancel_BTNClick(TObject*)
{
    FCancel = true;
}

void TStatus::Ok_BTNClick(TObject*)
{
    SetModalResult(mrOk);
}

void TStatus::StartGallery()
{
    // Closed before the run could start: there is nothing to cancel.
    if (Modal() && ModalResult() != mrNone) {
        return;
    }
    Status_PB->SetVisible(true);
    Ok_BTN->SetVisible(false);
    for (TLabel* label : {Files_LBL, State2_LBL, State3_LBL, State4_LBL, State6_LBL}) {
        label->SetVisible(false);
    }
    SetStatusIcon(Check1_IMG, "");
    for (TImage* image : {Check2_IMG, Check3_IMG, Check4_IMG}) {
        SetStatusIcon(image, "");
        image->SetVisible(false);
    }
    Check6_IMG->SetVisible(false);
    Cancel_BTN->SetVisible(true);
    FCancel = false;

    TGalleryRun run(*this);
    struct TRunning
    {
        bool& Flag;
        explicit TRunning(bool& AFlag) : Flag(AFlag) { Flag = true; }
        ~TRunning() { Flag = false; }
    } running(FRunning);
    FLastResult = run.CreateGallery();

    Cancel_BTN->SetVisible(false);
    Ok_BTN->SetVisible(true);
    Status_PB->SetVisible(false);
    if (FLastResult == grCancelled) {
        SetModalResult(mrCancel);
    }
}

TImage* TStatus::StageImage(int32_t Stage) const
{
    switch (Stage) {
    case gsTemplate:
        return Check1_IMG;
    case gsPictures:
        return Check2_IMG;
    case gsProcessing:
        return Check3_IMG;
    default:
        return Check4_IMG;
    }
}

TLabel* TStatus::StageLabel(int32_t Stage) const
{
    switch (Stage) {
    case gsTemplate:
        return State1_LBL;
    case gsPictures:
        return State2_LBL;
    case gsProcessing:
        return State3_LBL;
    default:
        return State4_LBL;
    }
}

void TStatus::ShowStage(int32_t Stage)
{
    StageLabel(Stage)->SetVisible(true);
    StageImage(Stage)->SetVisible(true);
}

void TStatus::SetStageIcon(int32_t Stage, const std::string& ResourceName)
{
    SetStatusIcon(StageImage(Stage), ResourceName);
}

void TStatus::SetProgress(int32_t Maximum, int32_t Position)
{
    Status_PB->SetMax(Maximum);
    Status_PB->SetPosition(Position);
}

void TStatus::ShowFilesFound(int32_t Count)
{
    Files_LBL->SetCaption("Founded " + IntToStr(Count) + " files");
    Files_LBL->SetVisible(true);
}

void TStatus::ShowSuccess()
{
    Check6_IMG->SetVisible(true);
    State6_LBL->SetVisible(true);
}

void TStatus::ShowMessage(const std::string& Text)
{
    ShowMessageBox(Text, MB_OK | MB_ICONSTOP);
}

void TStatus::ShowErrors(const std::string& Text)
{
    if (Error == nullptr) {
        // The program creates the errors window at start; a status window used on its own
        // makes one of its own.
        new TError(this);
    }
    Error->ShowErrors(Text);
}

void TStatus::ProcessMessages()
{
    Application->ProcessMessages();
}
