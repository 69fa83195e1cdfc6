// The template parameter window and the parameter value window: the rows and how they are drawn,
// texts fitted to their column, the header's columns, and editing one value.
#include "app/template_params_window.h"

#include "app/param_value_window.h"
#include "app/template_params.h"
#include "app/typed_values.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "platform/graphics/canvas.h"
#include "tests/app/window_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const TColor PaleYellow = RGBToColor(255, 255, 190);
const TColor Navy = RGBToColor(0, 0, 128);
const TColor Grey = RGBToColor(128, 128, 128);

class TemplateParamsWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AddParameter("title", "My holidays");
        AddParameter("author", "");
        AddParameter("footer", std::string(200, 'w'));
        FValueWindow = new TParamValue(Application);
        FValueWindow->AfterConstruction();
        FWindow = new TTempParam(Application);
        FWindow->AfterConstruction();
    }

    void TearDown() override
    {
        FWindow->Hide();
        FWindow->Free();
        FValueWindow->Free();
        TemplateParams.Clear();
    }

    static void AddParameter(const std::string& Name, const std::string& Value)
    {
        TemplateParams.Add(vqString, Name)->SetString(Value);
    }

    TTempParam& Show()
    {
        FWindow->Show();
        FWindow->Param_LST->Repaint();
        Simulate::ProcessEvents();
        return *FWindow;
    }

    TCanvas& ListCanvas() const { return *FWindow->Param_LST->Canvas(); }

    // Pixels of the colour inside the rectangle.
    int32_t CountColour(const TRect& Rect, TColor Colour) const
    {
        int32_t count = 0;
        for (int32_t y = Rect.Top; y < Rect.Bottom; ++y) {
            for (int32_t x = Rect.Left; x < Rect.Right; ++x) {
                count += ListCanvas().Pixels(x, y) == Colour ? 1 : 0;
            }
        }
        return count;
    }

    TScriptedDialogService FDialogs;
    TTempParam* FWindow = nullptr;
    TParamValue* FValueWindow = nullptr;
};

} // namespace

TEST_F(TemplateParamsWindow, ListsTheParametersInOrderWithTheFirstSelected)
{
    TTempParam& window = Show();
    EXPECT_EQ(window.Caption(), "Template's parameters");
    ASSERT_EQ(window.Param_LST->Count(), 3);
    EXPECT_EQ(window.Param_LST->ItemIndex(), 0);
    for (int32_t row = 0; row < 3; ++row) {
        EXPECT_EQ(window.RowParameter(row), TemplateParams.GetItem(row));
    }
    EXPECT_EQ(window.RowParameter(3), nullptr);
    EXPECT_EQ(window.Param_HD->Sections()->Items(0)->Text(), "Parameter name");
    EXPECT_EQ(window.Param_HD->Sections()->Items(0)->Width(), 200);
    EXPECT_EQ(window.Param_HD->Sections()->Items(1)->Text(), "Value");
    EXPECT_EQ(window.Param_HD->Sections()->Items(1)->Width(), 205);

    // A new list is shown whole on the next showing.
    window.Hide();
    TemplateParams.Clear();
    AddParameter("only", "one");
    Show();
    EXPECT_EQ(window.Param_LST->Count(), 1);
    EXPECT_EQ(window.Param_LST->ItemIndex(), 0);
}

TEST_F(TemplateParamsWindow, TheSelectedRowIsPaleYellowWithBoldNavyTextAndTheColumnsAreDivided)
{
    TTempParam& window = Show();
    const TRect first = window.Param_LST->ItemRect(0);
    const TRect second = window.Param_LST->ItemRect(1);
    // The far end of the value column holds no text.
    EXPECT_EQ(ListCanvas().Pixels(first.Right - 3, first.Top + 9), PaleYellow);
    EXPECT_EQ(ListCanvas().Pixels(second.Right - 3, second.Top + 9), clWhite);
    // The dividing line at the name section's width less 3 runs down the list.
    for (int32_t y : {first.Top + 2, second.Top + 9, window.Param_LST->ClientHeight() - 2}) {
        EXPECT_EQ(ListCanvas().Pixels(197, y), Grey) << y;
    }

    const TRect firstName{first.Left, first.Top, 197, first.Bottom};
    const int32_t boldPixels = CountColour(firstName, Navy);
    EXPECT_GT(boldPixels, 0);
    EXPECT_EQ(CountColour(firstName, clBlack), 0);

    // The same name in a row that is not selected: black, and thinner.
    window.Param_LST->SetItemIndex(1);
    window.Param_LST->Repaint();
    const int32_t regularPixels = CountColour(firstName, clBlack);
    EXPECT_GT(regularPixels, 0);
    EXPECT_GT(boldPixels, regularPixels);
    EXPECT_EQ(ListCanvas().Pixels(first.Right - 3, first.Top + 9), clWhite);
}

TEST_F(TemplateParamsWindow, WideningTheNameSectionNarrowsTheValueSectionAndMovesTheLine)
{
    TTempParam& window = Show();
    Simulate::ResizeSection(window.Param_HD, 0, 250);
    Simulate::ProcessEvents();
    EXPECT_EQ(window.Param_HD->Sections()->Items(0)->Width(), 250);
    EXPECT_EQ(window.Param_HD->Sections()->Items(1)->Width(), window.Param_HD->Width() - 250);
    const TRect second = window.Param_LST->ItemRect(1);
    EXPECT_EQ(ListCanvas().Pixels(247, second.Top + 9), Grey);
    EXPECT_NE(ListCanvas().Pixels(197, second.Top + 9), Grey);
}

TEST_F(TemplateParamsWindow, TextsAreFittedToTheirColumnByWholeCharacters)
{
    Show();
    TCanvas& canvas = ListCanvas();
    const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
    const struct
    {
        std::string Text;
        int32_t Limit;
        std::string Expected;
    } cases[] = {
        {"short", canvas.TextWidth("short"), "short"},
        {alphabet, canvas.TextWidth("abcdefgh..."), "abcdefgh..."},
        {alphabet, canvas.TextWidth("abc..."), "abc..."},
        // Not even three characters fit: the cell stays empty.
        {alphabet, canvas.TextWidth("abc...") - 1, ""},
        {alphabet, 0, ""},
        {alphabet, -20, ""},
        // A text of three characters that does not fit has no shorter start of three.
        {"www", canvas.TextWidth("www") - 1, ""},
        {"", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitText(canvas, c.Text, c.Limit), c.Expected) << c.Text << " in " << c.Limit;
    }

    // Two-byte characters are never cut in two, whatever the limit.
    const std::string accented =
        "\xc3\xa9t\xc3\xa9 \xd0\xb6\xd0\xb0\xd1\x80\xd0\xba\xd0\xbe\xd0\xb5 \xc3\xa9t\xc3\xa9";
    for (int32_t limit = 0; limit <= canvas.TextWidth(accented); ++limit) {
        const std::string fitted = FitText(canvas, accented, limit);
        if (fitted.empty() || fitted == accented) {
            continue;
        }
        ASSERT_GE(fitted.size(), 3u);
        ASSERT_EQ(fitted.substr(fitted.size() - 3), "...");
        const std::string start = fitted.substr(0, fitted.size() - 3);
        ASSERT_EQ(accented.compare(0, start.size(), start), 0) << limit;
        const unsigned char next = static_cast<unsigned char>(accented[start.size()]);
        EXPECT_NE(next & 0xC0, 0x80) << "cut inside a character at " << limit;
        EXPECT_LE(canvas.TextWidth(fitted), limit);
    }
}

TEST_F(TemplateParamsWindow, TheValueWindowStoresWhatOkGivesAndCancelKeepsTheOldValue)
{
    TTempParam& window = Show();
    const struct
    {
        int32_t Row;
        const char* Typed;
        bool Ok;
        const char* ShownName;
        const char* ShownValue;
        const char* After;
    } cases[] = {
        {0, "Summer 2026", true, "title", "My holidays", "Summer 2026"},
        {0, "Winter", false, "title", "Summer 2026", "Summer 2026"},
        {1, "Me", true, "author", "", "Me"},
        // OK with an empty text stores the empty text.
        {1, "", true, "author", "Me", ""},
    };
    for (const auto& c : cases) {
        window.Param_LST->SetItemIndex(c.Row);
        std::string shownName;
        std::string shownValue;
        apptest::WhenModal answer(FValueWindow, [&] {
            shownName = FValueWindow->Name_LBL->Caption();
            shownValue = FValueWindow->Value_TXT->Text();
            FValueWindow->Value_TXT->SetText(c.Typed);
            (c.Ok ? FValueWindow->Ok_BTN : FValueWindow->Cancel_BTN)->Click();
        });
        const TRect row = window.Param_LST->ItemRect(c.Row);
        Simulate::DoubleClick(window.Param_LST, 20, row.Top + 5);
        ASSERT_TRUE(answer.Ran());
        EXPECT_EQ(shownName, c.ShownName);
        EXPECT_EQ(shownValue, c.ShownValue);
        EXPECT_EQ(TemplateParams.GetItem(c.Row)->AsString(), c.After);
        EXPECT_EQ(window.Param_LST->ItemIndex(), c.Row);
    }
}

TEST_F(TemplateParamsWindow, TheEditButtonEditsTheSelectedRowAndCloseEndsTheWindow)
{
    TTempParam& window = Show();
    window.Hide();
    apptest::WhenModal edit(FWindow, [&] {
        window.Param_LST->SetItemIndex(2);
        apptest::WhenModal answer(FValueWindow, [&] {
            FValueWindow->Value_TXT->SetText("Made with care");
            Simulate::Click(FValueWindow->Ok_BTN);
        });
        Simulate::Click(window.Edit_BTN);
        Simulate::Click(window.Close_BTN);
    });
    EXPECT_EQ(window.ShowModal(), mrCancel);
    EXPECT_EQ(TemplateParams.GetItem(2)->AsString(), "Made with care");
}
