// The errors window.
#include "app/errors_window.h"

#include "app/status_window_icons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"

TError* Error = nullptr;

TError::TError(TComponent* AOwner) : TForm(AOwner)
{
    SetName("Error");
    SetCaption("Errors");
    SetBorderStyle(bsDialog);
    SetBorderIcons(biSystemMenu);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetClientWidth(592);
    SetClientHeight(259);

    Warning_IMG = new TImage(this);
    Warning_IMG->SetName("Warning_IMG");
    Warning_IMG->SetParent(this);
    Warning_IMG->SetBounds(10, 10, 48, 48);

    Errors_TXT = new TMemo(this);
    Errors_TXT->SetName("Errors_TXT");
    Errors_TXT->SetParent(this);
    Errors_TXT->SetBounds(68, 10, 514, 206);
    Errors_TXT->SetReadOnly(true);
    Errors_TXT->SetScrollBars(ssVertical);
    // With no horizontal scroll bar, a long line (a path and the system's reason) is wrapped, so
    // that all of it can be read.
    Errors_TXT->SetWordWrap(true);

    Ok_BTN = new TButton(this);
    Ok_BTN->SetName("Ok_BTN");
    Ok_BTN->SetParent(this);
    Ok_BTN->SetBounds(258, 226, 75, 25);
    Ok_BTN->SetCaption("Close");
    Ok_BTN->SetDefault(true);
    Ok_BTN->SetCancel(true);

    OnShow = [this](TObject* Sender) { FormShow(Sender); };
    Ok_BTN->OnClick = [this](TObject* Sender) { Ok_BTNClick(Sender); };
    if (Error == nullptr) {
        Error = this;
    }
}

TError::~TError()
{
    if (Error == this) {
        Error = nullptr;
    }
}

void TError::FormShow(TObject*)
{
    TBitmap warning;
    LoadBitmapResource("Warning", warning);
    Warning_IMG->Picture()->SetGraphic(&warning);
}

void TError::Ok_BTNClick(TObject*)
{
    Close();
}

void TError::ShowErrors(const std::string& Text)
{
    Errors_TXT->SetText(Text);
    ShowModal();
}
