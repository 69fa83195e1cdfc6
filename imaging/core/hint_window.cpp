// Hints, 3D frames and drop shadows.
#include "imaging/core/hint_window.h"

#include "imaging/core/pixel_helpers.h"
#include "platform/core/rounding.h"
#include "platform/graphics/gdi.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr TColor kHintColour = static_cast<TColor>(0xE0FFFF);

} // namespace

TKVHint::TKVHint(TComponent* AOwner) : TCustomControl(AOwner), FFont(std::make_unique<TFont>())
{
    SetVisible(false);
    SetColor(kHintColour);
    FFont->SetColor(clBlack);
    Canvas()->SetFont(FFont.get());
    Canvas()->Brush()->SetStyle(bsClear);
    SetWindowStyle(WS_POPUP | WS_BORDER, WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT);
}

TKVHint::~TKVHint() = default;

void TKVHint::SetFont(TFont* Value)
{
    if (Value == nullptr)
        return;
    FFont->Assign(Value);
    Canvas()->SetFont(FFont.get());
    Invalidate();
}

void TKVHint::SetText(const std::string& Value)
{
    FText = Value;
    Canvas()->SetFont(FFont.get());
    const TSize extent = Canvas()->TextExtent(FText);
    SetBounds(Left(), Top(), extent.cx + 4, extent.cy + 4);
    Repaint();
}

void TKVHint::Paint()
{
    TCanvas* canvas = Canvas();
    // The window's border: a raised outer edge round the whole window; the text sits one pixel
    // inside the area it frames.
    TRect frame{0, 0, Width(), Height()};
    DrawEdge(canvas, &frame, BDR_RAISEDOUTER, BF_RECT);
    canvas->SetFont(FFont.get());
    canvas->Brush()->SetStyle(bsClear);
    canvas->TextOut(2, 2, FText);
    TCustomControl::Paint();
}

namespace Daduvudez {

namespace {

uint8_t ShadowGrey(int32_t i, int32_t width)
{
    return Korvaneproc::blimit(Round(std::exp(static_cast<double>(i) / width) / M_E * 255));
}

TColor GreyColour(uint8_t grey)
{
    return static_cast<TColor>(grey * 0x010101);
}

// One strip, drawn through plot(along, across, colour) where along runs down a right strip (across
// a bottom strip) from the object's start and across runs over the strip's thickness.
void DrawShadow(TCanvas* canvas, int32_t thickness, int32_t length, TKVShadowType type,
                const std::function<void(int32_t, int32_t, int32_t, TColor)>& line,
                const std::function<void(int32_t, int32_t, TColor)>& plot, const std::function<void()>& solid)
{
    if (thickness <= 0 || length <= 0)
        return;
    switch (type) {
    case kvstSolid:
        solid();
        break;
    case kvstSmooth1:
        canvas->Pen()->SetStyle(psSolid);
        canvas->Pen()->SetMode(pmCopy);
        canvas->Pen()->SetWidth(1);
        for (int32_t i = 0; i < thickness; ++i)
            line(i, thickness, i + (length - 1 - thickness) + 3, GreyColour(ShadowGrey(i, thickness)));
        break;
    case kvstSmooth2:
        for (int32_t j = 0; j <= length; ++j) {
            const uint8_t rowGrey = Korvaneproc::blimit(
                Round(std::exp(static_cast<double>(length - 3 * j) / length) / M_E * 255));
            const int32_t start = std::max(0, j - (length - thickness + 1));
            for (int32_t i = start; i < thickness; ++i)
                plot(i, j, GreyColour(std::max(ShadowGrey(i, thickness), rowGrey)));
        }
        break;
    default:
        break;
    }
}

} // namespace

void KVDraw3DRect(TCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor colour1,
                  TColor colour2)
{
    if (canvas == nullptr)
        return;
    TPen* pen = canvas->Pen();
    pen->SetStyle(psSolid);
    pen->SetMode(pmCopy);
    pen->SetWidth(1);
    pen->SetColor(colour1);
    canvas->MoveTo(x1, y2);
    canvas->LineTo(x1, y1);
    canvas->LineTo(x2, y1);
    pen->SetColor(colour2);
    canvas->MoveTo(x1, y2);
    canvas->LineTo(x2, y2);
    canvas->LineTo(x2, y1);
}

void KVRightShadow(TCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVShadowType type)
{
    if (canvas == nullptr)
        return;
    const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
    DrawShadow(
        canvas, w, h, type,
        [&](int32_t i, int32_t from, int32_t to, TColor colour) {
            canvas->Pen()->SetColor(colour);
            canvas->MoveTo(x1 + i, y1 + from);
            canvas->LineTo(x1 + i, y1 + to);
        },
        [&](int32_t i, int32_t j, TColor colour) { canvas->SetPixels(x1 + i, y1 + j, colour); },
        [&] {
            canvas->FillRect(TRect{x1, y1 + w, x2, y2 + 1});
        });
}

void KVBottomShadow(TCanvas* canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TKVShadowType type)
{
    if (canvas == nullptr)
        return;
    const int32_t w = y2 - y1 + 1, h = x2 - x1 + 1;
    DrawShadow(
        canvas, w, h, type,
        [&](int32_t i, int32_t from, int32_t to, TColor colour) {
            canvas->Pen()->SetColor(colour);
            canvas->MoveTo(x1 + from, y1 + i);
            canvas->LineTo(x1 + to, y1 + i);
        },
        [&](int32_t i, int32_t j, TColor colour) { canvas->SetPixels(x1 + j, y1 + i, colour); },
        [&] {
            canvas->FillRect(TRect{x1 + w, y1, x2 + 1, y2});
        });
}

void KVDrawHint(TCanvas* canvas, int32_t& x, int32_t& y, const std::string& text, TFont* font, TBrush* brush,
                TBitmap* saved, int32_t limitWidth, int32_t limitHeight, TColor colour1, TColor colour2)
{
    if (canvas == nullptr)
        return;
    if (font != nullptr)
        canvas->SetFont(font);
    if (brush != nullptr)
        canvas->SetBrush(brush);
    const TSize extent = canvas->TextExtent(text);
    const int32_t w = extent.cx + 12, h = extent.cy + 12;
    x = std::min(std::max(x, 0), limitWidth - 1 - w);
    y = std::min(std::max(y, 0), limitHeight - 1 - h);
    if (saved != nullptr) {
        saved->SetPixelFormat(pf24bit);
        saved->SetSize(w, h);
        BitBlt(saved->Canvas(), 0, 0, w, h, canvas, x, y, SRCCOPY);
    }
    canvas->FillRect(TRect{x + 6, y + 6, x + w, y + h});
    KVDraw3DRect(canvas, x + 6, y + 6, x + w - 1, y + h - 1, colour1, colour2);
    const TBrushStyle style = canvas->Brush()->Style();
    canvas->Brush()->SetStyle(bsClear);
    canvas->TextOut(x + 9, y + 9, text);
    canvas->Brush()->SetStyle(style);
}

} // namespace Daduvudez
