// The layout of the processing, save-parameters and print dialogs as the platform lays them out:
// on every page each label shows its whole text inside its parent and covers no other control.
// The suite runs this once more under the Windows style (tests/CMakeLists.txt).
#include "imaging/codecs/params/ioparams.h"
#include "imaging/dialogs/iopreviews.h"
#include "imaging/dialogs/kvprnform1.h"
#include "imaging/dialogs/kvprnform2.h"
#include "imaging/dialogs/previews.h"
#include "imaging/io/korvaneio.h"
#include "platform/forms/application.h"
#include "platform/forms/page_control.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/geometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Describe(TControl* control)
{
    const TRect r = control->BoundsRect();
    return control->ClassName() + " \"" + control->Caption() + "\" (" + control->Name() + " " +
           std::to_string(r.Left) + "," + std::to_string(r.Top) + " " + std::to_string(r.Width()) + "x" +
           std::to_string(r.Height()) + ")";
}

// The width the label's text needs, as the label measures it when it sizes itself.
int32_t TextWidth(TLabel* label)
{
    if (label->AutoSize())
        return label->Width();
    const TRect bounds = label->BoundsRect();
    label->SetAutoSize(true);
    const int32_t width = label->Width();
    label->SetAutoSize(false);
    label->SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
    return width;
}

// Each shown label under parent that is cut (by its parent's edges or its own width) or covers
// a shown sibling, one line each.
void LabelFaults(TWinControl* parent, const std::string& where, std::vector<std::string>& faults)
{
    for (int32_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* control = parent->Controls(i);
        if (!control->Visible())
            continue;
        if (auto* child = dynamic_cast<TWinControl*>(control))
            LabelFaults(child, where, faults);
        auto* label = dynamic_cast<TLabel*>(control);
        if (label == nullptr || label->Caption().empty() || label->WordWrap())
            continue;
        const TRect r = label->BoundsRect();
        if (r.Left < 0 || r.Top < 0 || r.Right > parent->ClientWidth() || r.Bottom > parent->ClientHeight())
            faults.push_back(where + ": " + Describe(label) + " runs past " + Describe(parent));
        if (TextWidth(label) > r.Width())
            faults.push_back(where + ": " + Describe(label) + " is narrower than its text");
        for (int32_t j = 0; j < parent->ControlCount(); ++j) {
            TControl* other = parent->Controls(j);
            TRect common;
            if (other != label && other->Visible() && IntersectRect(common, r, other->BoundsRect()))
                faults.push_back(where + ": " + Describe(label) + " covers " + Describe(other));
        }
    }
}

// Shows the form and checks it with each page of its page control active (or as it is, without).
void FormFaults(TForm& form, TPageControl* pages, const std::string& name, std::vector<std::string>& faults)
{
    form.Show();
    Application->ProcessMessages();
    for (int32_t i = 0; i < (pages != nullptr ? pages->PageCount() : 1); ++i) {
        std::string where = name;
        if (pages != nullptr) {
            pages->SetActivePageIndex(i);
            Application->ProcessMessages();
            where += ", page " + std::to_string(i) + " \"" + pages->Pages(i)->Caption() + "\"";
        }
        LabelFaults(&form, where, faults);
    }
    form.Hide();
}

} // namespace

TEST(DialogLayout, NoLabelIsCutOrCoversAControl)
{
    std::vector<std::string> faults;
    TfPreviews previews(nullptr);
    previews.SetLanguage(msEnglish);
    FormFaults(previews, previews.PageControl1, "processing", faults);
    for (bool simplified : {false, true}) {
        TIOParamsVals params;
        TfIOPreviews parameters(nullptr);
        parameters.PrepareFor(&params, 1u << ioppApplyButton, simplified, kvThreshold, msEnglish, nullptr);
        parameters.SetPreviewParams(PreviewSet(ppALL));
        FormFaults(parameters, parameters.PageControl1,
                   simplified ? "simplified save parameters" : "save parameters", faults);
    }
    Tfkvprnform2 print(nullptr);
    print.SetLanguage(msEnglish);
    FormFaults(print, nullptr, "print", faults);
    tfkvprnform1 preview(nullptr);
    preview.SetLanguage(msEnglish);
    FormFaults(preview, nullptr, "print preview", faults);
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}
