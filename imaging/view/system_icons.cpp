// The six system icons, drawn with the canvas: a program window, a stop sign, a question, a
// warning, an information sign and a four-colour logo.
#include "imaging/view/system_icons.h"

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"

#include <array>
#include <memory>
#include <mutex>

namespace Kvvect {

namespace {

constexpr int32_t kSize = 64;

void Sign(TCanvas* c, TColor fill, const char* text, TColor ink)
{
    c->Pen()->SetColor(clBlack);
    c->Brush()->SetColor(fill);
    c->Ellipse(4, 4, 60, 60);
    c->Font()->SetName("Arial");
    c->Font()->SetHeight(-40);
    c->Font()->SetStyle({fsBold});
    c->Font()->SetColor(ink);
    c->Brush()->SetStyle(bsClear);
    SetTextAlign(c, TA_CENTER | TA_BASELINE);
    c->TextOut(32, 47, text);
    SetTextAlign(c, TA_LEFT | TA_TOP);
}

void Draw(int32_t id, TCanvas* c)
{
    c->Brush()->SetColor(clWhite);
    c->FillRect(Rect(0, 0, kSize, kSize));
    switch (id) {
    case IDI_APPLICATION:
        c->Pen()->SetColor(clBlack);
        c->Brush()->SetColor(clWhite);
        c->Rectangle(4, 8, 60, 56);
        c->Brush()->SetColor(clNavy);
        c->FillRect(Rect(5, 9, 59, 18));
        break;
    case IDI_HAND:
        Sign(c, clRed, "X", clWhite);
        break;
    case IDI_QUESTION:
        Sign(c, clBlue, "?", clWhite);
        break;
    case IDI_EXCLAMATION: {
        c->Pen()->SetColor(clBlack);
        c->Brush()->SetColor(clYellow);
        const TPoint triangle[] = {{32, 4}, {60, 58}, {4, 58}};
        c->Polygon(triangle, 3);
        c->Font()->SetName("Arial");
        c->Font()->SetHeight(-36);
        c->Font()->SetStyle({fsBold});
        c->Font()->SetColor(clBlack);
        c->Brush()->SetStyle(bsClear);
        SetTextAlign(c, TA_CENTER | TA_BASELINE);
        c->TextOut(32, 54, "!");
        SetTextAlign(c, TA_LEFT | TA_TOP);
        break;
    }
    case IDI_ASTERISK:
        Sign(c, clBlue, "i", clWhite);
        break;
    case IDI_WINLOGO:
        c->Brush()->SetColor(clRed);
        c->FillRect(Rect(6, 6, 31, 31));
        c->Brush()->SetColor(clLime);
        c->FillRect(Rect(33, 6, 58, 31));
        c->Brush()->SetColor(clBlue);
        c->FillRect(Rect(6, 33, 31, 58));
        c->Brush()->SetColor(clYellow);
        c->FillRect(Rect(33, 33, 58, 58));
        break;
    default:
        break;
    }
}

} // namespace

const TBitmap* SystemIcon(int32_t id)
{
    if (id < IDI_APPLICATION || id > IDI_WINLOGO) {
        return nullptr;
    }
    static std::array<std::unique_ptr<TBitmap>, 6> icons;
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<TBitmap>& icon = icons[size_t(id - IDI_APPLICATION)];
    if (!icon) {
        icon = std::make_unique<TBitmap>();
        icon->SetPixelFormat(pf24bit);
        icon->SetSize(kSize, kSize);
        Draw(id, icon->Canvas());
    }
    return icon.get();
}

} // namespace Kvvect
