// The errors window and the run windows' bitmap resources.
#include "app/errors_window.h"

#include "app/status_window_icons.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/messages.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// The bitmap's pixels, row by row, as colours.
std::vector<TColor> Pixels(TBitmap& Bitmap)
{
    std::vector<TColor> pixels;
    for (int32_t y = 0; y < Bitmap.Height(); ++y) {
        for (int32_t x = 0; x < Bitmap.Width(); ++x) {
            pixels.push_back(Bitmap.Canvas()->Pixels(x, y));
        }
    }
    return pixels;
}

// Runs Step once the modal loop of a window is under way: a message posted to a hidden window of
// the test is delivered by that loop.
class TPostedStep : public TForm
{
public:
    explicit TPostedStep(std::function<void()> Step) : TForm(nullptr), FStep(std::move(Step)) {}
    void Post() { PostMessage(Handle(), WM_USER + 77, 0, 0); }
    void Dispatch(TMessage& Message) override
    {
        if (Message.Msg == WM_USER + 77) {
            FStep();
            return;
        }
        TForm::Dispatch(Message);
    }

private:
    std::function<void()> FStep;
};

} // namespace

TEST(StatusIcons, EveryResourceIsThereByNameInAnyCase)
{
    const struct
    {
        const char* Name;
        int32_t Size;
    } resources[] = {
        {"CHECK", 16},   {"check", 16},   {"FAILED", 16},  {"Failed", 16},  {"CLOCK_0", 16},
        {"clock_1", 16}, {"clock_2", 16}, {"clock_3", 16}, {"clock_4", 16}, {"clock_5", 16},
        {"clock_6", 16}, {"Clock_7", 16}, {"Warning", 48}, {"WARNING", 48},
    };
    for (const auto& resource : resources) {
        TBitmap bitmap;
        ASSERT_TRUE(LoadBitmapResource(resource.Name, bitmap)) << resource.Name;
        EXPECT_EQ(bitmap.Width(), resource.Size) << resource.Name;
        EXPECT_EQ(bitmap.Height(), resource.Size) << resource.Name;
    }
    for (const char* missing : {"", "clock_8", "clock_", "clock_10", "logo", "check "}) {
        TBitmap bitmap;
        EXPECT_FALSE(LoadBitmapResource(missing, bitmap)) << missing;
        EXPECT_EQ(bitmap.Width(), 0) << missing;
    }
}

TEST(StatusIcons, ClockFramesAndStateIconsAllDiffer)
{
    std::set<std::vector<TColor>> seen;
    for (const char* name : {"check", "failed", "clock_0", "clock_1", "clock_2", "clock_3", "clock_4",
                             "clock_5", "clock_6", "clock_7"}) {
        TBitmap bitmap;
        ASSERT_TRUE(LoadBitmapResource(name, bitmap));
        const std::vector<TColor> pixels = Pixels(bitmap);
        EXPECT_TRUE(seen.insert(pixels).second) << name << " looks like another icon";
        // Every icon leaves its corners to the window's colour.
        EXPECT_EQ(pixels.front(), ColorToRGB(clBtnFace)) << name;
        EXPECT_EQ(pixels.back(), ColorToRGB(clBtnFace)) << name;
    }
}

TEST(ErrorsWindow, ShowsTheTextUnderTheWarningUntilClosed)
{
    TError window(nullptr);
    EXPECT_EQ(Error, &window);
    EXPECT_EQ(window.Caption(), "Errors");
    EXPECT_EQ(window.ClientWidth(), 592);
    EXPECT_EQ(window.ClientHeight(), 259);
    EXPECT_EQ(window.Ok_BTN->Caption(), "Close");

    std::string shownText;
    int32_t warningWidth = 0;
    TPostedStep close([&] {
        shownText = window.Errors_TXT->Text();
        warningWidth = window.Warning_IMG->Picture()->Width();
        window.Ok_BTN->Click();
    });
    close.Post();
    window.ShowErrors("The errors have been found while analyzing the template\nLine 4\nTag :thumbs\n"
                      "The parameter 'width' should be numeric\n");

    EXPECT_FALSE(window.Visible());
    EXPECT_EQ(warningWidth, 48);
    EXPECT_EQ(shownText,
              "The errors have been found while analyzing the template\r\nLine 4\r\nTag :thumbs\r\n"
              "The parameter 'width' should be numeric\r\n");
    EXPECT_TRUE(window.Errors_TXT->ReadOnly());
}

TEST(ErrorsWindow, ALongLineCanBeReadWhole)
{
    TError window(nullptr);
    const std::string path(300, 'p');
    bool fits = false;
    TPostedStep close([&] {
        auto* text = static_cast<QPlainTextEdit*>(window.Errors_TXT->Widget());
        // Nothing lies beyond the box's right edge, where no scroll bar could reach it.
        fits = text->horizontalScrollBar()->maximum() == 0;
        window.Ok_BTN->Click();
    });
    close.Post();
    window.ShowErrors("Can't create the file: /" + path + "/index.html (No space left on device)\n");
    EXPECT_TRUE(fits);
}
