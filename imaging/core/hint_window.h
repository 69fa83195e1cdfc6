// Hints and frames of the views and dialogs: the floating hint window, a hint box drawn straight
// onto a canvas with what it covers saved, 3D frames and drop shadows.
#pragma once

#include "platform/forms/controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <cstdint>
#include <memory>
#include <string>

enum TKVShadowType : uint8_t
{
    kvstNone,
    kvstSolid,
    kvstSmooth1,
    kvstSmooth2
};

// A frameless popup with a raised edge that shows one line of text on pale yellow; the mouse
// passes through it to what lies below. Position it in screen coordinates with SetBounds.
class TKVHint : public TCustomControl
{
public:
    explicit TKVHint(TComponent* AOwner);
    ~TKVHint() override;

    TFont* HintFont() const { return FFont.get(); }
    // Copies the font (nil is ignored) and repaints.
    void SetFont(TFont* Value);
    const std::string& HintText() const { return FText; }
    // Sizes the window to the text's extent + 4 and repaints.
    void SetText(const std::string& Value);

protected:
    void Paint() override;

private:
    std::unique_ptr<TFont> FFont;
    std::string FText;
};

namespace Daduvudez {

// Draws a hint box holding the text at (x, y), moved inside 0..limit and passed back, after
// saving the canvas area it covers into saved (pf24bit) so that the caller can restore it.
void KVDrawHint(TCanvas* canvas, int32_t& x, int32_t& y, const std::string& text, TFont* font, TBrush* brush,
                TBitmap* saved, int32_t limitWidth, int32_t limitHeight, TColor colour1, TColor colour2);
// Left and top edges in colour1, bottom and right in colour2, one pixel wide.
void KVDraw3DRect(TCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor colour1,
                  TColor colour2);
// Drop-shadow strips: the inclusive rectangle is the strip right of (below) an object; the strip
// starts one strip width lower (further right) and fades out toward its far edge.
void KVRightShadow(TCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVShadowType type);
void KVBottomShadow(TCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVShadowType type);

} // namespace Daduvudez
