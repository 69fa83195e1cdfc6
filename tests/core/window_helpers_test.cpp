// The window that parents the imaging library's dialogs.
#include "imaging/core/window_helpers.h"
#include "platform/forms/application.h"
#include "platform/forms/form.h"

#include <gtest/gtest.h>

TEST(WindowHelpers, FindsTheWindowOfTheFirstWindowedOwner)
{
    TForm form(nullptr);
    auto* owned = new TComponent(&form);
    auto* deeper = new TComponent(owned);
    ASSERT_NE(form.Handle(), 0u);
    EXPECT_EQ(Daduvudez::KVFindHandle(deeper), form.Handle());
    EXPECT_EQ(Daduvudez::KVFindHandle(&form), form.Handle());
    TComponent loose(nullptr);
    EXPECT_EQ(Daduvudez::KVFindHandle(&loose), 0u);
    EXPECT_EQ(Daduvudez::KVFindHandle(nullptr), 0u);
}

TEST(WindowHelpers, CentresAtAThirdOfTheScreenOrThroughTheHook)
{
    EXPECT_EQ(Daduvudez::KVCenteredPosition(1024, 768, 400, 300), (TPoint{312, 156}));
    EXPECT_EQ(Daduvudez::KVCenteredPosition(300, 200, 401, 301), (TPoint{-50, -33}));

    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 100);
    HWND centred = 0;
    Daduvudez::KVDefDialogCenter = [&](HWND window) { centred = window; };
    Daduvudez::KVCenterWindow(form.Handle());
    Daduvudez::KVDefDialogCenter = nullptr;
    EXPECT_EQ(centred, form.Handle());
    EXPECT_EQ(form.Left(), 0);
    Daduvudez::KVCenterWindow(form.Handle());
    const TPoint expected = Daduvudez::KVCenteredPosition(Screen->Width(), Screen->Height(), 200, 100);
    EXPECT_EQ(form.Left(), expected.X);
    EXPECT_EQ(form.Top(), expected.Y);
    EXPECT_EQ(form.Width(), 200);
}
