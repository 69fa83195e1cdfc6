// The about window.
#include "app/about_window.h"

#include "app/jpeg_picture.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/window_controls.h"
#include "platform/forms/application.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"

TAbout* About = nullptr;

std::string LogoFile()
{
    return GallerySettings.ProgramFolder + "data/logo.jpg";
}

TAbout::TAbout(TComponent* AOwner) : TForm(AOwner)
{
    SetName("About");
    SetCaption("About");
    SetBorderStyle(bsToolWindow);
    SetBorderIcons(biSystemMenu);
    SetPosition(poOwnerFormCenter);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    SetClientWidth(390);
    SetClientHeight(192);

    Logo_PNL = PlaceControl<TPanel>(this, this, "Logo_PNL", 5, 5, 167, 182);
    Logo_PNL->SetBevelOuter(bvRaised);
    Logo_IMG = PlaceControl<TImage>(this, Logo_PNL, "Logo_IMG", 1, 1, 165, 180);

    Label1 = PlaceLabel(this, this, "Label1", "Plimbet", 184, 16);
    Label1->Font()->SetName("Arial");
    Label1->Font()->SetHeight(-21);
    Label1->Font()->SetStyle({fsBold});
    Label2 = PlaceLabel(this, this, "Label2", "Version 1.0", 184, 48);
    Bevel1 = PlaceControl<TBevel>(this, this, "Bevel1", 184, 72, 201, 2);
    Bevel1->SetShape(bsTopLine);
    Bevel2 = PlaceControl<TBevel>(this, this, "Bevel2", 184, 76, 201, 2);
    Bevel2->SetShape(bsTopLine);

    Label5 = PlaceLabel(this, this, "Label5", ProductWebPage, 184, 160);
    Label5->Font()->SetColor(clBlue);
    Label5->Font()->SetStyle({fsUnderline});
    Label5->SetCursor(crHandPoint);

    OnShow = Handler(this, &TAbout::FormShow);
    Label5->OnClick = Handler(this, &TAbout::Label5Click);

    if (About == nullptr) {
        About = this;
    }
}

TAbout::~TAbout()
{
    if (About == this) {
        About = nullptr;
    }
}

void TAbout::FormShow(TObject*)
{
    LoadJpegPicture(LogoFile(), *Logo_IMG->Picture());
    Logo_IMG->Invalidate();
}

void TAbout::Label5Click(TObject*)
{
    ShellOpen(ProductWebPage);
}
