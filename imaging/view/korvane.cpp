// TKorvane: the image view whose I/O and processing components exist from construction.
#include "imaging/view/korvane.h"

#include "platform/graphics/canvas.h"

TKorvane::TKorvane(TComponent* AOwner) : TKorvaneView(AOwner)
{
    FIOComponent = GetKorvaneIO();
    FProc = GetKorvaneProc();
}

void TKorvane::SetMsgLanguage(TMsgLanguage Value)
{
    FProc->MsgLanguage = Value;
    FIOComponent->MsgLanguage = Value;
}

void TKorvane::SetPreviewFont(TFont* Value)
{
    FIOComponent->SetPreviewFont(Value);
    FProc->SetPreviewFont(Value);
}

void TKorvane::AssignIOParams(TPersistent* Source)
{
    if (auto* other = dynamic_cast<TKorvane*>(Source))
        FIOComponent->AssignParams(other->IOParams());
    else if (auto* io = dynamic_cast<TKorvaneIO*>(Source))
        FIOComponent->AssignParams(io->Params());
}

void TKorvane::Assign(TPersistent* Source)
{
    AssignIOParams(Source);
    TKorvaneView::Assign(Source);
}
