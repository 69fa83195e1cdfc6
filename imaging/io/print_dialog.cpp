// Opening the print dialogs with the component's settings.
#include "imaging/core/system_helpers.h"
#include "imaging/dialogs/kvprnform1.h"
#include "imaging/dialogs/kvprnform2.h"
#include "imaging/io/korvaneio.h"
#include "platform/graphics/canvas.h"

#include <memory>

namespace {

std::unique_ptr<TKVPrintFormBase> CreatePrintForm(TKVDialogType DialogType, TKorvaneIO* Owner)
{
    switch (DialogType) {
    case kvdtDialog:
        return std::make_unique<Tfkvprnform2>(Owner);
    case kvdtMaxi: {
        auto form = std::make_unique<tfkvprnform1>(Owner);
        form->SetPosition(poDesigned);
        form->SetLeft(0);
        form->SetTop(0);
        return form;
    }
    }
    return nullptr;
}

} // namespace

bool TKorvaneIO::DoPrintPreviewDialog(TKVDialogType DialogType, const std::string& TaskName)
{
    if (DialogType != kvdtDialog && DialogType != kvdtMaxi)
        return false;
    if (PrinterReset)
        Daduvudez::KVResetPrinter();
    const std::unique_ptr<TKVPrintFormBase> form = CreatePrintForm(DialogType, this);
    form->AfterConstruction();
    form->KorvaneIO = this;
    form->DialogsMeasureUnit = DialogsMeasureUnit;
    // The font first: the form fits its texts to the font it has when the language is set.
    form->Font()->Assign(PreviewFont());
    form->SetLanguage(MsgLanguage);
    form->PrintTaskName = TaskName;
    if (OnIOPreview)
        OnIOPreview(this, form.get());
    return form->ShowModal() == mrOk;
}
