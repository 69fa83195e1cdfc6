// The run windows' bitmap resources, kept as pixel art (check and cross) or drawn by integer
// geometry (clock frames, warning sign), so they look the same on every machine.
#include "app/status_window_icons.h"

#include "platform/core/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"

#include <array>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int32_t IconSize = 16;
constexpr int32_t WarningSize = 48;

// One character per pixel: '.' background, upper case a colour, lower case its dark outline.
constexpr std::array<const char*, IconSize> CheckArt = {
    "................", "................", ".............gg.", "............gGg.",
    "...........gGGg.", "..........gGGg..", "..gg.....gGGg...", ".gGGg...gGGg....",
    ".gGGGg.gGGg.....", "..gGGGgGGg......", "...gGGGGGg......", "....gGGGg.......",
    ".....gGg........", "......g.........", "................", "................",
};

constexpr std::array<const char*, IconSize> FailedArt = {
    "................", "................", "..rr........rr..", ".rRRr......rRRr.",
    ".rRRRr....rRRRr.", "..rRRRr..rRRRr..", "...rRRRrrRRRr...", "....rRRRRRRr....",
    ".....rRRRRr.....", "....rRRRRRRr....", "...rRRRrrRRRr...", "..rRRRr..rRRRr..",
    ".rRRRr....rRRRr.", ".rRRr......rRRr.", "..rr........rr..", "................",
};

TColor ArtColour(char Pixel, TColor Background)
{
    switch (Pixel) {
    case 'G':
        return RGB(40, 180, 40);
    case 'g':
        return RGB(0, 100, 0);
    case 'R':
        return RGB(230, 40, 30);
    case 'r':
        return RGB(130, 0, 0);
    default:
        return Background;
    }
}

TColor BackgroundColour()
{
    return ColorToRGB(clBtnFace);
}

void Prepare(TBitmap& Bitmap, int32_t Size)
{
    Bitmap.SetPixelFormat(pf24bit);
    Bitmap.SetSize(Size, Size);
}

void DrawArt(const std::array<const char*, IconSize>& Art, TBitmap& Bitmap)
{
    Prepare(Bitmap, IconSize);
    const TColor background = BackgroundColour();
    TCanvas* canvas = Bitmap.Canvas();
    for (int32_t y = 0; y < IconSize; ++y) {
        for (int32_t x = 0; x < IconSize; ++x) {
            canvas->SetPixels(x, y, ArtColour(Art[static_cast<size_t>(y)][x], background));
        }
    }
}

// A clock face with its minute hand at Frame eighths of a turn from twelve o'clock.
void DrawClock(int32_t Frame, TBitmap& Bitmap)
{
    static constexpr int32_t handX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    static constexpr int32_t handY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
    Prepare(Bitmap, IconSize);
    const TColor background = BackgroundColour();
    const TColor rim = RGB(40, 60, 120);
    const TColor face = RGB(255, 255, 255);
    const TColor hand = RGB(0, 0, 128);
    constexpr int32_t centre = 7;
    TCanvas* canvas = Bitmap.Canvas();
    for (int32_t y = 0; y < IconSize; ++y) {
        for (int32_t x = 0; x < IconSize; ++x) {
            const int32_t distance = (x - centre) * (x - centre) + (y - centre) * (y - centre);
            canvas->SetPixels(x, y, distance > 53 ? background : distance > 34 ? rim : face);
        }
    }
    // Hour marks at twelve, three, six and nine.
    for (int32_t mark = 0; mark < 8; mark += 2) {
        canvas->SetPixels(centre + handX[mark] * 5, centre + handY[mark] * 5, rim);
    }
    const int32_t length = handX[Frame] != 0 && handY[Frame] != 0 ? 3 : 4;
    for (int32_t step = 0; step <= length; ++step) {
        canvas->SetPixels(centre + handX[Frame] * step, centre + handY[Frame] * step, hand);
    }
    canvas->SetPixels(centre + 1, centre, hand);
}

// A yellow warning triangle with a dark rim and an exclamation mark.
void DrawWarning(TBitmap& Bitmap)
{
    Prepare(Bitmap, WarningSize);
    const TColor background = BackgroundColour();
    const TColor rim = RGB(60, 40, 0);
    const TColor fill = RGB(255, 204, 0);
    const TColor mark = RGB(0, 0, 0);
    constexpr int32_t top = 3, bottom = 44, apex2 = 47; // apex2: twice the apex's x
    TCanvas* canvas = Bitmap.Canvas();
    for (int32_t y = 0; y < WarningSize; ++y) {
        for (int32_t x = 0; x < WarningSize; ++x) {
            // Half-width at the row, scaled by the triangle's height (41 rows, 44 pixels wide).
            const int32_t halfWidth2 = (y - top) * 44 / (bottom - top); // twice the half-width
            const int32_t offset2 = std::abs(2 * x + 1 - apex2);
            TColor colour = background;
            if (y >= top && y <= bottom && offset2 <= halfWidth2) {
                const bool inner = y <= bottom - 3 && offset2 <= halfWidth2 - 6 && y >= top + 4;
                colour = inner ? fill : rim;
            }
            canvas->SetPixels(x, y, colour);
        }
    }
    for (int32_t y = 15; y <= 40; ++y) {
        if (y > 32 && y < 36) {
            continue;
        }
        for (int32_t x = 22; x <= 25; ++x) {
            canvas->SetPixels(x, y, mark);
        }
    }
}

} // namespace

bool LoadBitmapResource(const std::string& Name, TBitmap& Bitmap)
{
    const std::string name = UpperCase(Name);
    if (name == "CHECK") {
        DrawArt(CheckArt, Bitmap);
        return true;
    }
    if (name == "FAILED") {
        DrawArt(FailedArt, Bitmap);
        return true;
    }
    if (name == "WARNING") {
        DrawWarning(Bitmap);
        return true;
    }
    if (name.size() == 7 && name.compare(0, 6, "CLOCK_") == 0 && name[6] >= '0' && name[6] <= '7') {
        DrawClock(name[6] - '0', Bitmap);
        return true;
    }
    return false;
}
