// The view base: background, resolution and the bitmap-change callbacks.
#include "imaging/view/kvview.h"

#include "platform/core/exceptions.h"
#include "platform/forms/messages.h"

#include <algorithm>

TKVView::TKVView(TComponent* AOwner) : TCustomControl(AOwner)
{
    SetBorderStyle(bsSingle);
}

TKVView::~TKVView()
{
    // Every registered component is told once, in registration order, before the view goes.
    while (!FCallbacks.empty()) {
        TKVBitmapChangeEvent event = std::move(FCallbacks.front().Event);
        FCallbacks.erase(FCallbacks.begin());
        if (event)
            event(this, true);
    }
}

void TKVView::SetBackGround(TColor Value)
{
    FBackground = Value;
}

TBitmap* TKVView::GetFBitmap()
{
    return nullptr;
}

TKVBitmap* TKVView::GetKVBitmap()
{
    return nullptr;
}

TKVBitmap* TKVView::GetAlphaChannel()
{
    throw EAbstractError();
}

bool TKVView::GetHasAlphaChannel()
{
    throw EAbstractError();
}

void TKVView::RemoveAlphaChannel(bool)
{
    throw EAbstractError();
}

void TKVView::LockPaint()
{
    throw EAbstractError();
}

int32_t TKVView::UnLockPaint()
{
    throw EAbstractError();
}

int32_t TKVView::NPUnLockPaint()
{
    throw EAbstractError();
}

void TKVView::SetDPIX(int32_t Value)
{
    if (Value != 0)
        FDPIX = Value;
}

void TKVView::SetDPIY(int32_t Value)
{
    if (Value != 0)
        FDPIY = Value;
}

void TKVView::SetDPI(int32_t x, int32_t y)
{
    SetDPIX(x);
    SetDPIY(y);
}

void TKVView::ImageChange() {}

void TKVView::CallBitmapChangeEvents()
{
    // A callback may remove registrations (its own or others'): each is looked up before the call.
    std::vector<int32_t> handles;
    handles.reserve(FCallbacks.size());
    for (const TCallbackRecord& record : FCallbacks)
        handles.push_back(record.Handle);
    for (int32_t handle : handles) {
        auto it = std::find_if(FCallbacks.begin(), FCallbacks.end(),
                               [handle](const TCallbackRecord& r) { return r.Handle == handle; });
        if (it == FCallbacks.end() || !it->Event)
            continue;
        TKVBitmapChangeEvent event = it->Event;
        event(this, false);
    }
}

int32_t TKVView::RegisterBitmapChangeEvent(TKVBitmapChangeEvent Event)
{
    FCallbacks.push_back({FNextHandle, std::move(Event)});
    return FNextHandle++;
}

void TKVView::RemoveBitmapChangeEvent(int32_t Handle)
{
    if (Handle < 0)
        return;
    auto it = std::find_if(FCallbacks.begin(), FCallbacks.end(),
                           [Handle](const TCallbackRecord& r) { return r.Handle == Handle; });
    if (it != FCallbacks.end())
        FCallbacks.erase(it);
}

void TKVView::SetCtl3D(bool Value)
{
    FCtl3D = Value;
}

void TKVView::SaveSelectionToStream(TStream&) {}

bool TKVView::LoadSelectionFromStream(TStream&)
{
    return false;
}

void TKVView::Dispatch(TMessage& Message)
{
    TCustomControl::Dispatch(Message);
    if (Message.Msg == CM_MOUSEENTER && OnMouseEnter)
        OnMouseEnter(this);
    else if (Message.Msg == CM_MOUSELEAVE && OnMouseLeave)
        OnMouseLeave(this);
}
