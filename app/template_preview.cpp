// The template preview of the main window.
#include "app/template_preview.h"

#include "app/jpeg_picture.h"
#include "app/main_window.h"
#include "app/templates.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/picture.h"

namespace {

// The window's outer width without and with the preview area.
constexpr int32_t NarrowWidth = 408;
constexpr int32_t WideWidth = 788;
// Widening or narrowing by 380 pixels moves the left edge by half of it, so the window's centre
// stays where it was.
constexpr int32_t CentreShift = 190;

} // namespace

void ShowTemplatePreview(bool Show, const TemplateStr* Template)
{
    if (Main == nullptr) {
        return;
    }
    TMain& window = *Main;
    TPicture picture;
    if (Show && Template != nullptr && Template->Sample) {
        // A template whose preview cannot be read shows none, rather than an empty frame.
        Show = LoadJpegPicture(TemplatePreviewFile(*Template), picture);
    }
    if (Show && !window.Preview_LBL->Visible()) {
        window.SetWidth(WideWidth);
        window.SetLeft(window.Left() - CentreShift);
    } else if (!Show && window.Preview_LBL->Visible()) {
        window.SetWidth(NarrowWidth);
        window.SetLeft(window.Left() + CentreShift);
    }
    window.Preview_LBL->SetVisible(Show);
    window.Preview_BVL->SetVisible(Show);
    window.Preview_IMG->SetVisible(Show);
    window.Create_BTN->SetLeft((window.Width() - window.Create_BTN->Width()) / 2);
    if (Show && picture.Graphic() != nullptr) {
        window.Preview_IMG->Picture()->Assign(&picture);
    }
}
