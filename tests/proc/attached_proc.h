// Processing components of the tests attached to a picture of their own, or to a view standing for
// the image view, which shows a bitmap the test gives and hands out a 1-bit selection mask of
// that bitmap's size, selected pixels set by the test.
#pragma once

#include "imaging/core/daduvudez.h"
#include "imaging/proc/proc_component.h"
#include "imaging/view/kvview.h"

#include <memory>

namespace proctest {

// A processing component attached to a picture it keeps, with room for many undo entries.
struct Attached
{
    std::unique_ptr<TKVBitmap> image;
    TKorvaneProc proc{nullptr};
    explicit Attached(std::unique_ptr<TKVBitmap> bitmap) : image(std::move(bitmap))
    {
        proc.SetAttachedKVBitmap(image.get());
        proc.SetUndoLimit(100);
    }
};

class SelectionView : public TKVView
{
public:
    explicit SelectionView(std::unique_ptr<TKVBitmap> image) : TKVView(nullptr), FImage(std::move(image))
    {
        FMask.AllocateBits(FImage->GetWidth(), FImage->GetHeight(), 1);
    }
    TKVBitmap* GetKVBitmap() override { return FImage.get(); }
    TKVMask* SelectionMask() override { return &FMask; }
    bool Selected() override { return FSelected; }

    // Selects the pixels where the predicate holds.
    template <class Predicate> void Select(Predicate selected)
    {
        for (int y = 0; y < FImage->GetHeight(); ++y)
            for (int x = 0; x < FImage->GetWidth(); ++x)
                if (selected(x, y))
                    FMask.SetPixel(x, y, 1);
        FSelected = true;
    }

    TKVBitmap* Image() { return FImage.get(); }

private:
    std::unique_ptr<TKVBitmap> FImage;
    TKVMask FMask;
    bool FSelected = false;
};

// A processing component attached to a selection view.
struct ViewAndProc
{
    SelectionView view;
    TKorvaneProc proc{nullptr};
    explicit ViewAndProc(std::unique_ptr<TKVBitmap> image) : view(std::move(image))
    {
        proc.SetAttachedKorvane(&view);
    }
    ~ViewAndProc() { proc.SetAttachedKorvane(nullptr); }
};

} // namespace proctest
