// TKorvaneIO::DoPreviews before any dialog shows: a handler may take the request over, and a
// request that leaves no page to show opens nothing.
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"

#include <gtest/gtest.h>

TEST(IOPreviews, HandlerOrNothingToShowOpensNoDialog)
{
    TKorvaneIO io(nullptr);
    io.KVBitmap()->Allocate(8, 8, kv24RGB);
    int32_t shown = 0;
    io.OnIOPreview = [&](TObject*, TForm*) { ++shown; };

    // A handler that sets Handled answers true in the dialog's place.
    int32_t asked = 0;
    io.OnDoPreviews = [&](TObject* Sender, bool& Handled) {
        EXPECT_EQ(Sender, &io);
        ++asked;
        Handled = true;
    };
    EXPECT_TRUE(io.DoPreviews(PreviewSet(ppJPEG)));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(shown, 0);

    // One that leaves it unhandled lets the request go on; here no page remains to show.
    io.OnDoPreviews = [&](TObject*, bool&) { ++asked; };
    const struct
    {
        int32_t FileType;
        TPreviewParams Pages;
    } nothing[] = {
        {6, PreviewSet(ppAUTO)}, // ICO has no page
        {7, PreviewSet(ppAUTO)}, // nor CUR
        {0, PreviewSet(ppAUTO)}, // nor an unknown type
        {3, TPreviewParams(0)},  // an empty set
    };
    for (const auto& c : nothing) {
        io.Params().FileType = c.FileType;
        EXPECT_FALSE(io.DoPreviews(c.Pages)) << c.FileType;
    }
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 8);
}
