// The template properties window on its own: the name check on OK, the sample picture's buttons
// and the cancel button.
#include "app/template_properties.h"

#include "platform/forms/buttons.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/app/window_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class TemplateProperties : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FWindow = new TTempName(Application);
        FWindow->AfterConstruction();
    }

    void TearDown() override { FWindow->Free(); }

    // Shows the window modally; Action plays the user. Returns the window's result.
    TModalResult ShowWith(const std::function<void(TTempName&)>& Action)
    {
        apptest::WhenModal user(FWindow, [&] { Action(*FWindow); });
        const TModalResult result = FWindow->ShowModal();
        EXPECT_TRUE(user.Ran());
        return result;
    }

    TScriptedDialogService FDialogs;
    TTempName* FWindow = nullptr;
};

} // namespace

TEST_F(TemplateProperties, OkRefusesOnlyAnEmptyName)
{
    EXPECT_EQ(FWindow->Caption(), "Properties of the template");
    EXPECT_EQ(FWindow->Width(), 455);
    EXPECT_EQ(FWindow->Height(), 140);
    const TModalResult result = ShowWith([](TTempName& w) {
        Simulate::Click(w.Ok_BTN);
        EXPECT_TRUE(w.Modal());
        // Blanks are a name as far as this window is concerned.
        Simulate::Type(w.Name_TXT, "   ");
        Simulate::Click(w.Ok_BTN);
    });
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(FWindow->Name_TXT->Text(), "   ");
    const std::vector<TDialogCall> messages = FDialogs.CallsOf(dkMessageBox);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, "You should specify the template name");
    EXPECT_EQ(messages[0].Caption, "Plimbet v1.0");
    EXPECT_EQ(messages[0].Flags, uint32_t(MB_OK | MB_ICONSTOP));
}

TEST_F(TemplateProperties, TheSampleIsAFullPathSetAndClearedOnlyByItsButtons)
{
    EXPECT_FALSE(FWindow->Sample_TXT->Enabled());
    EXPECT_EQ(FWindow->Sample_DLG->Filter, "JPEG files|*.jpg");
    FDialogs.AnswerFiles({"/home/someone/pictures/sample one.jpg"});
    const TModalResult result = ShowWith([](TTempName& w) {
        Simulate::Type(w.Name_TXT, "Name");
        // A cancelled picker leaves the field alone.
        w.Sample_TXT->SetText("/old.jpg");
        Simulate::Click(w.Open_BTN);
        EXPECT_EQ(w.Sample_TXT->Text(), "/home/someone/pictures/sample one.jpg");
        Simulate::Click(w.Open_BTN);
        EXPECT_EQ(w.Sample_TXT->Text(), "/home/someone/pictures/sample one.jpg");
        Simulate::Click(w.Clear_BTN);
        EXPECT_EQ(w.Sample_TXT->Text(), "");
        Simulate::Click(w.Cancel_BTN);
    });
    EXPECT_EQ(result, mrCancel);
    // Each time the picker opens at the picture the field names.
    const std::vector<TDialogCall> pickers = FDialogs.CallsOf(dkOpenFile);
    ASSERT_EQ(pickers.size(), 2u);
    EXPECT_EQ(pickers[0].File.FileName, "/old.jpg");
    EXPECT_EQ(pickers[1].File.FileName, "/home/someone/pictures/sample one.jpg");
    EXPECT_TRUE(FDialogs.CallsOf(dkMessageBox).empty());
}
