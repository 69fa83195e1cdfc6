// The about window: the product's logo, name and version, and a link to its web page.
#pragma once

#include "platform/forms/form.h"

#include <string>

class TBevel;
class TImage;
class TLabel;
class TPanel;

class TAbout : public TForm
{
public:
    explicit TAbout(TComponent* AOwner);
    ~TAbout() override;

    // Loads the logo, data/logo.jpg beside the program; the window shows without it when the
    // file cannot be read.
    void FormShow(TObject* Sender);
    // Opens the product's web page in the user's browser.
    void Label5Click(TObject* Sender);

    TPanel* Logo_PNL = nullptr;
    TImage* Logo_IMG = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* Label2 = nullptr;
    TBevel* Bevel1 = nullptr;
    TBevel* Bevel2 = nullptr;
    TLabel* Label5 = nullptr;
};

// The about window of the program.
extern TAbout* About;

// The logo's file: ProgramFolder + "data/logo.jpg".
std::string LogoFile();
