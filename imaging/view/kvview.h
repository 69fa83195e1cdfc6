// Kvview: the view base shared by the image view and the multi-image view: background,
// resolution, and the bitmap-change callbacks through which attached components follow the view.
#pragma once

#include "imaging/view/kvview_globals.h"
#include "platform/forms/controls.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/geometry.h"

#include <cstdint>
#include <functional>
#include <vector>

class TBitmap;
class TKVBitmap;
class TKVMask;
class TStream;

// Told that the view's bitmap object changed (destroying false) or that the view goes away.
using TKVBitmapChangeEvent = std::function<void(TObject* Sender, bool destroying)>;

class TKVView : public TCustomControl
{
public:
    explicit TKVView(TComponent* AOwner);
    ~TKVView() override;

    TColor Background() const { return FBackground; }
    virtual void SetBackGround(TColor Value);
    // The bitmaps the view shows; the base shows none.
    virtual TBitmap* GetFBitmap();
    virtual TKVBitmap* GetKVBitmap();
    // Abstract: the base raises EAbstractError.
    virtual TKVBitmap* GetAlphaChannel();
    virtual bool GetHasAlphaChannel();
    virtual void RemoveAlphaChannel(bool Merge);
    virtual void LockPaint();
    virtual int32_t UnLockPaint();
    virtual int32_t NPUnLockPaint();

    int32_t DPIX() const { return FDPIX; }
    int32_t DPIY() const { return FDPIY; }
    // A resolution of 0 is ignored.
    virtual void SetDPIX(int32_t Value);
    virtual void SetDPIY(int32_t Value);
    virtual void SetDPI(int32_t x, int32_t y);

    // Called by the components after they changed the image.
    virtual void ImageChange();
    // Calls every registered callback, in registration order, with destroying = false.
    virtual void CallBitmapChangeEvents();

    // Returns the handle that removes the registration; handles are never negative.
    int32_t RegisterBitmapChangeEvent(TKVBitmapChangeEvent Event);
    // A negative or unknown handle is ignored.
    void RemoveBitmapChangeEvent(int32_t Handle);

    TCanvas* GetCanvas() const { return Canvas(); }
    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool Value);
    bool ParentCtl3D() const { return FParentCtl3D; }
    void SetParentCtl3D(bool Value) { FParentCtl3D = Value; }

    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    // The selection of an image view, read by the processing component (the base has none):
    // the mask (nullptr for a view without selections), whether a selection exists, and the
    // selection polygon.
    virtual TKVMask* SelectionMask() { return nullptr; }
    virtual bool Selected() { return false; }
    virtual TPoint* GetPolySelArray() { return nullptr; }
    virtual int32_t GetPolySelCount() { return 0; }
    // The selection stream of an image view; the base writes nothing and reads nothing.
    virtual void SaveSelectionToStream(TStream& Stream);
    virtual bool LoadSelectionFromStream(TStream& Stream);

protected:
    // Fires OnMouseEnter and OnMouseLeave on the class library's notifications.
    void Dispatch(TMessage& Message) override;

private:
    struct TCallbackRecord
    {
        int32_t Handle;
        TKVBitmapChangeEvent Event;
    };

    std::vector<TCallbackRecord> FCallbacks;
    int32_t FNextHandle = 0;
    TColor FBackground = clBtnFace;
    int32_t FDPIX = 0;
    int32_t FDPIY = 0;
    bool FCtl3D = true;
    bool FParentCtl3D = true;
};
