// The errors window: the faults found in the template, or the pictures and pages that could not be
// read or written, under a warning sign.
#pragma once

#include "platform/forms/form.h"

class TButton;
class TImage;
class TMemo;

class TError : public TForm
{
public:
    explicit TError(TComponent* AOwner);
    ~TError() override;

    void FormShow(TObject* Sender);
    void Ok_BTNClick(TObject* Sender);

    // Shows Text (lines separated by line feeds) modally.
    void ShowErrors(const std::string& Text);

    TImage* Warning_IMG = nullptr;
    TMemo* Errors_TXT = nullptr;
    TButton* Ok_BTN = nullptr;
};

// The errors window, created at start-up.
extern TError* Error;
