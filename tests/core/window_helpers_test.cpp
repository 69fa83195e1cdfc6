// The window that parents the imaging library's dialogs.
#include "imaging/core/window_helpers.h"
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
