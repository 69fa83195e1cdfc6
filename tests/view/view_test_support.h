// An image view on a form of the client size asked for, pictures with a pattern that tells every
// pixel apart, and the front image read back after a paint.
#pragma once

#include "imaging/core/kvbitmap.h"
#include "imaging/view/korvaneview.h"
#include "platform/forms/form.h"
#include "platform/graphics/bitmap.h"

#include <cstdint>
#include <memory>

namespace viewtest {

struct ViewOnForm
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    TKorvaneView* view = nullptr;

    explicit ViewOnForm(int32_t clientWidth = 80, int32_t clientHeight = 60)
    {
        view = new TKorvaneView(form.get());
        view->SetBorderStyle(bsNone);
        view->SetParent(form.get());
        form->SetClientWidth(clientWidth + 20);
        form->SetClientHeight(clientHeight + 20);
        view->SetBounds(0, 0, clientWidth, clientHeight);
        view->SetBackGround(0x123456);
    }
    // Renders and presents the whole client area now.
    TBitmap* Paint()
    {
        view->Invalidate();
        view->PaintMarked();
        return view->FrontImage();
    }
};

// A picture whose colour at (x, y) is (x, y, 7x + 3y) in red, green and blue (each mod 256).
inline void FillPattern(TKVBitmap* b, int32_t w, int32_t h, TKVPixelFormat format = kv24RGB)
{
    b->Allocate(w, h, format);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            switch (format) {
            case kv24RGB:
                b->SetPixels_kv24RGB(x, y, TRGB{uint8_t(7 * x + 3 * y), uint8_t(y), uint8_t(x)});
                break;
            case kv1g:
                b->SetPixels_kv1g(x, y, ((x / 2 + y) % 3) == 0);
                break;
            case kv8g:
            case kv8p:
                b->SetPixels_kv8(x, y, uint8_t(x * 5 + y * 11));
                break;
            default:
                break;
            }
        }
    if (format == kv8p)
        for (int32_t i = 0; i < 256; ++i)
            b->SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
}

inline TRGB FrontPixel(TBitmap* front, int32_t x, int32_t y)
{
    const uint8_t* p = front->ScanLine(y) + x * 3;
    return TRGB{p[0], p[1], p[2]};
}

inline TRGB ColourOf(TColor c)
{
    const COLORREF v = static_cast<COLORREF>(ColorToRGB(c));
    return TRGB{GetBValue(v), GetGValue(v), GetRValue(v)};
}

} // namespace viewtest
