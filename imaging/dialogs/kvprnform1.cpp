// The print-preview window: its tool bar, menu and texts.
#include "imaging/dialogs/kvprnform1.h"

#include "imaging/view/korvaneview.h"
#include "platform/forms/buttons.h"
#include "platform/forms/dialog_service.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/menus.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <algorithm>
#include <array>
#include <memory>

namespace {

constexpr int32_t kToolBarHeight = 32;
constexpr int32_t kControlTop = 5;
// The widths the size-mode box and the close button have at least; longer texts widen them.
constexpr int32_t kSizeModeWidth = 112;
constexpr int32_t kCloseWidth = 60;

// A printer seen from the front: paper coming out of a grey body; Setup adds a dial.
std::unique_ptr<TBitmap> PrinterGlyph(bool Setup)
{
    auto glyph = Kvprintforms::BlankGlyph();
    TCanvas* canvas = glyph->Canvas();
    canvas->Rectangle(4, 1, 12, 8);
    canvas->Brush()->SetColor(clSilver);
    canvas->Rectangle(1, 7, 15, 13);
    canvas->Brush()->SetColor(clWhite);
    canvas->Rectangle(4, 11, 12, 15);
    if (Setup) {
        canvas->Brush()->SetColor(clNavy);
        canvas->FillRect(TRect{11, 8, 14, 10});
    } else {
        canvas->Brush()->SetColor(clGreen);
        canvas->FillRect(TRect{12, 8, 14, 10});
    }
    return glyph;
}

TSpeedButton* MakeToolButton(TComponent* Owner, TWinControl* Parent, const char* Name, int32_t Left,
                             int32_t Width)
{
    auto* button = new TSpeedButton(Owner);
    button->SetName(Name);
    button->SetParent(Parent);
    button->SetBounds(Left, kControlTop - 1, Width, 25);
    return button;
}

TMenuItem* MakeItem(TComponent* Owner, TMenuItem* Parent, const char* Name, const char* Caption)
{
    auto* item = new TMenuItem(Owner);
    item->SetName(Name);
    item->SetCaption(Caption);
    Parent->Add(item);
    return item;
}

} // namespace

tfkvprnform1::tfkvprnform1(TComponent* AOwner) : TKVPrintFormBase(AOwner)
{
    SetName("fkvprnform1");
    SetCaption("Print");
    SetPosition(poScreenCenter);
    SetShowHint(true);
    Font()->SetName("Arial");
    Font()->SetHeight(-11);
    CreateSharedControls();
    CreateControls();
    CreateMenu();
    // Maximised: the whole screen, menu included.
    SetBounds(0, 0, std::max(Screen->Width(), 640), std::max(Screen->Height(), 480));
    OnShow = [this](TObject* Sender) { FormActivate(Sender); };
    OnResize = [this](TObject* Sender) {
        ArrangeToolBar();
        PrintPreview(Sender);
    };
}

void tfkvprnform1::CreateControls()
{
    Panel1 = new TPanel(this);
    Panel1->SetName("Panel1");
    Panel1->SetParent(this);
    Panel1->SetHeight(kToolBarHeight);
    Panel1->SetAlign(alTop);
    Panel1->SetBevelOuter(bvNone);

    // Each group is placed from 0 here; ArrangeToolBar moves it to its place in the bar.
    std::vector<TControl*> positions;
    for (int32_t i = 0; i < 9; ++i) {
        Place(PositionButtons[size_t(i)], Panel1, i * 25, kControlTop - 1, 25, 25);
        PositionButtons[size_t(i)]->SetFlat(true);
        positions.push_back(PositionButtons[size_t(i)]);
    }
    FToolGroups.push_back(positions);

    SpeedButton10 = MakeToolButton(this, Panel1, "SpeedButton10", 0, 25);
    const std::unique_ptr<TBitmap> setup = PrinterGlyph(true);
    SpeedButton10->SetGlyph(setup.get());
    SpeedButton10->SetFlat(true);
    SpeedButton10->OnClick = [this](TObject* Sender) { PrinterSetupClick(Sender); };
    SpeedButton11 = MakeToolButton(this, Panel1, "SpeedButton11", 25, 25);
    const std::unique_ptr<TBitmap> print = PrinterGlyph(false);
    SpeedButton11->SetGlyph(print.get());
    SpeedButton11->SetFlat(true);
    SpeedButton11->OnClick = [this](TObject* Sender) { PrintPreview(Sender); };
    FToolGroups.push_back({SpeedButton10, SpeedButton11});

    // Left, top, right, bottom as they read on the page.
    const std::array<TEdit*, 7> editsByNumber{Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7};
    auto editGroup = [&](std::initializer_list<int32_t> edits) {
        std::vector<TControl*> group;
        int32_t x = 0;
        for (int32_t edit : edits) {
            PlaceEdit(edit, Panel1, x, kControlTop, 44);
            group.push_back(editsByNumber[size_t(edit - 1)]);
            group.push_back(UpDowns[size_t(edit - 1)]);
            x += 44 + kUpDownWidth + 4;
        }
        FToolGroups.push_back(group);
    };
    editGroup({2, 1, 3, 4});
    Place(ComboBox1, Panel1, 0, kControlTop, kSizeModeWidth, 21);
    FToolGroups.push_back({ComboBox1});
    editGroup({5, 6, 7});
    SpeedButton12 = MakeToolButton(this, Panel1, "SpeedButton12", 0, kCloseWidth);
    SpeedButton12->SetCaption("&Close");
    SpeedButton12->SetFlat(true);
    SpeedButton12->OnClick = [this](TObject* Sender) { CloseClick(Sender); };
    FToolGroups.push_back({SpeedButton12});

    KorvaneView1->SetAlign(alClient);
    KorvaneView1->SetBorderStyle(bsNone);
    SetLanguage(msEnglish);
}

void tfkvprnform1::Refit()
{
    // The tool bar is whole only once its last group is made.
    if (SpeedButton12 != nullptr)
        ArrangeToolBar();
}

void tfkvprnform1::ArrangeToolBar()
{
    // At 96 pixels per inch; the room grows with the screen's resolution, as the style's frames do.
    const int32_t edge = 4 * PixelsPerInch() / 96;
    const int32_t groupGap = 8 * PixelsPerInch() / 96;
    ComboBox1->SetWidth(std::max(kSizeModeWidth, ComboBox1->ItemsWidth()));
    SpeedButton12->SetWidth(std::max(kCloseWidth, SpeedButton12->CaptionWidth()));
    const int32_t available = std::max(Panel1->ClientWidth(), ClientWidth()) - edge;
    int32_t x = edge, row = 0;
    for (const std::vector<TControl*>& group : FToolGroups) {
        // The group's own spacing is the one it was built with, from its first control.
        const int32_t start = group.front()->Left();
        int32_t width = 0;
        for (TControl* control : group)
            width = std::max(width, control->Left() - start + control->Width());
        if (x > edge && x + width > available) {
            x = edge;
            ++row;
        }
        for (TControl* control : group) {
            // Within its row a control keeps the height it was built at.
            const int32_t top = control->Top() % kToolBarHeight;
            control->SetBounds(x + control->Left() - start, top + row * kToolBarHeight, control->Width(),
                               control->Height());
        }
        x += width + groupGap;
    }
    Panel1->SetHeight((row + 1) * kToolBarHeight);
}

void tfkvprnform1::CreateMenu()
{
    MainMenu1 = new TMainMenu(this);
    MainMenu1->SetName("MainMenu1");
    File1 = new TMenuItem(this);
    File1->SetName("File1");
    File1->SetCaption(std::string("&").append(Daduvudez::kvmsg(KVMSG_FILE, FLanguage)));
    MainMenu1->Items()->Add(File1);
    Print1 = MakeItem(this, File1, "Print1", "&Print...");
    Print1->OnClick = [this](TObject*) { PrintPreview(SpeedButton11); };
    PrintSetup1 = MakeItem(this, File1, "PrintSetup1", "P&rint Setup...");
    PrintSetup1->OnClick = [this](TObject* Sender) { PrinterSetupClick(Sender); };
    MakeItem(this, File1, "N1", "-");
    Exit1 = MakeItem(this, File1, "Exit1", "&Close");
    Exit1->OnClick = [this](TObject* Sender) { CloseClick(Sender); };
    SetMenu(MainMenu1);
}

void tfkvprnform1::SetLanguage(TMsgLanguage Language)
{
    using Daduvudez::kvmsg;
    FLanguage = Language;
    SetCaption(kvmsg(KVMSG_PRINT, Language));
    if (Print1 != nullptr) {
        File1->SetCaption(std::string("&").append(kvmsg(KVMSG_FILE, Language)));
        Print1->SetCaption(kvmsg(KVMSG_PRINT, Language));
        PrintSetup1->SetCaption(kvmsg(KVMSG_PRINTSETUP, Language) + "...");
        Exit1->SetCaption(kvmsg(KVMSG_CLOSE2, Language));
    }
    // The hints name the edits by where they stand: Edit2, first in the bar, holds the left margin.
    Edit2->SetHint(kvmsg(KVMSG_LEFTMARGIN, Language));
    Edit1->SetHint(kvmsg(KVMSG_TOPMARGIN, Language));
    Edit3->SetHint(kvmsg(KVMSG_RIGHTMARGIN, Language));
    Edit4->SetHint(kvmsg(KVMSG_BOTTOMMARGIN, Language));
    ComboBox1->SetHint(kvmsg(KVMSG_LOCATIONSIZE, Language));
    SetSizeModeTexts(Language);
    Edit5->SetHint(kvmsg(KVMSG_WIDTH, Language));
    Edit6->SetHint(kvmsg(KVMSG_HEIGHT, Language));
    for (int32_t i = 0; i < 9; ++i)
        PositionButtons[size_t(i)]->SetHint(kvmsg(TMsgLanguageWords(KVMSG_TOPLEFT + i), Language));
    Edit7->SetHint(kvmsg(KVMSG_GAMMACORRECTION, Language));
    SpeedButton10->SetHint(kvmsg(KVMSG_PRINTSETUP, Language));
    SpeedButton11->SetHint(kvmsg(KVMSG_PRINT, Language));
    SpeedButton12->SetHint(kvmsg(KVMSG_CLOSE2, Language));
    SpeedButton12->SetCaption(std::string("&").append(kvmsg(KVMSG_CLOSE2, Language)));
    ArrangeToolBar();
}

void tfkvprnform1::FormActivate(TObject* Sender)
{
    ComboBox1->SetItemIndex(1);
    EnableSpecifiedSize(false);
    PrintPreview(Sender);
}

void tfkvprnform1::PrinterSetupClick(TObject* Sender)
{
    DialogService().PrinterSetup();
    PrintPreview(Sender);
}

void tfkvprnform1::CloseClick(TObject*)
{
    // Closing with OK: the window has done its work, whether or not it printed.
    SetModalResult(mrOk);
}

bool tfkvprnform1::IsPrintControl(TObject* Sender) const
{
    return Sender == SpeedButton11;
}

bool tfkvprnform1::CanPreview() const
{
    return Width() >= 100 && Height() >= 100;
}
