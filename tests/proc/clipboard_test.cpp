// Clipboard and selection operations of the processing component over the in-process clipboard:
// the packed DIBs it writes, round trips, masked areas, a clipboard that refuses to open, pasting
// at a point or stretched into a selection, and clearing.
#include "imaging/proc/proc_component.h"
#include "tests/proc/attached_proc.h"
#include "tests/proc/proc_test_util.h"

#include "platform/forms/clipboard.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace proctest;
using namespace Korvaneproc;

namespace {

int32_t Int32At(const std::vector<uint8_t>& bytes, size_t at)
{
    int32_t v;
    std::memcpy(&v, &bytes[at], 4);
    return v;
}

// Leaves the clipboard refusing to open for the life of the guard.
struct HeldClipboard
{
    HeldClipboard() { Clipboard()->RefuseOpen = true; }
    ~HeldClipboard() { Clipboard()->RefuseOpen = false; }
};

const Grid kBlue = {{1, 2, 3}, {4, 5, 6}};
const Grid kGreen = {{10, 20, 30}, {40, 50, 60}};
const Grid kRed = {{100, 110, 120}, {130, 140, 150}};

} // namespace

TEST(ClipboardOperations, CopyWritesBottomUpDibsThatPasteBack)
{
    Attached colour(Rgb(kBlue, kGreen, kRed));
    colour.proc.CopyToClipboard();
    const std::vector<uint8_t> dib = Clipboard()->GetAsBytes(CF_DIB);
    ASSERT_EQ(dib.size(), 40u + 2 * 12);
    EXPECT_EQ((std::vector{Int32At(dib, 0), Int32At(dib, 4), Int32At(dib, 8)}), (std::vector{40, 3, 2}));
    EXPECT_EQ(dib[14], 24) << "bit count";
    EXPECT_EQ((std::vector<int>{dib[40], dib[41], dib[42]}), (std::vector{4, 40, 130}))
        << "the bottom row first";
    EXPECT_EQ(colour.proc.UndoCount(), 0);

    Attached pasted(Blank(1, 1, kv8g, 0));
    pasted.proc.PasteFromClipboard();
    EXPECT_EQ(pasted.image->GetPixelFormat(), kv24RGB);
    EXPECT_EQ(MaxDifference(pasted.image.get(), colour.image.get()), 0);
    EXPECT_EQ(pasted.proc.UndoCaptions(0), "PastFromClipboard");

    const Grid bits = {{1, 0, 1, 1, 0, 0, 1, 0, 1}, {0, 1, 1, 0, 0, 1, 0, 0, 0}};
    Attached mono(Bits(bits));
    mono.proc.CopyToClipboard();
    const std::vector<uint8_t> monoDib = Clipboard()->GetAsBytes(CF_DIB);
    ASSERT_EQ(monoDib.size(), 40u + 8 + 2 * 4);
    EXPECT_EQ(monoDib[14], 1);
    EXPECT_EQ(Int32At(monoDib, 40), 0) << "black";
    EXPECT_EQ(Int32At(monoDib, 44), 0x00FFFFFF) << "white";
    EXPECT_EQ((std::vector<int>{monoDib[48], monoDib[49]}), (std::vector{0x64, 0x00})) << "row 1: 011001000";
    Attached monoBack(Blank(1, 1, kv24RGB, 0));
    monoBack.proc.PasteFromClipboard();
    EXPECT_EQ(monoBack.image->GetPixelFormat(), kv1g);
    EXPECT_EQ(Levels(monoBack.image.get()), bits);

    // A picture of another format reaches the clipboard as 24-bit rows.
    Attached grey(Bytes({{7, 200}}));
    grey.proc.CopyToClipboard();
    EXPECT_EQ(Clipboard()->GetAsBytes(CF_DIB)[14], 24);
    Attached greyBack(Blank(1, 1, kv24RGB, 0));
    greyBack.proc.PasteFromClipboard();
    EXPECT_EQ(Channel(greyBack.image.get(), 1), (Grid{{7, 200}}));
}

TEST(ClipboardOperations, SelectionsCopyMaskedAreasAndCutOnlyWhatReachedTheClipboard)
{
    ViewAndProc a(Rgb(kBlue, kGreen, kRed));
    a.view.Select([](int x, int y) { return (x == 1 && y == 0) || (x == 2 && y == 1); });
    a.proc.SelCopyToClip();
    Attached copy(Blank(1, 1, kv24RGB, 0));
    copy.proc.PasteFromClipboard();
    EXPECT_EQ(Channel(copy.image.get(), 2), (Grid{{110, 0}, {0, 150}})) << "unselected pixels are black";

    // Held by another program: nothing reaches the clipboard, so nothing is cleared either.
    a.proc.SetReBackground(RGB2TColor(9, 9, 9));
    {
        HeldClipboard held;
        a.proc.SelCutToClip();
    }
    EXPECT_EQ(Channel(a.view.Image(), 2), kRed);
    EXPECT_EQ(a.proc.UndoCaptions(0), "SelCutToClip");
    a.proc.SelCutToClip();
    EXPECT_EQ(Channel(a.view.Image(), 2), (Grid{{100, 9, 120}, {130, 140, 9}}));
    Attached cut(Blank(1, 1, kv24RGB, 0));
    cut.proc.PasteFromClipboard();
    EXPECT_EQ(Channel(cut.image.get(), 0), (Grid{{2, 0}, {0, 6}}));

    // Without a selection the cut does nothing at all; the copy takes the whole image.
    Attached whole(Rgb(kBlue, kGreen, kRed));
    whole.proc.SelCutToClip();
    EXPECT_EQ(whole.proc.UndoCount(), 0);
    whole.proc.SelCopyToClip();
    Attached back(Blank(1, 1, kv24RGB, 0));
    back.proc.PasteFromClipboard();
    EXPECT_EQ(Channel(back.image.get(), 1), kGreen);
}

TEST(ClipboardOperations, AClipboardThatCannotOpenChangesNothing)
{
    Attached source(Rgb(kBlue, kGreen, kRed));
    source.proc.CopyToClipboard();
    Attached target(GreyRgb({{5, 5}}));
    {
        HeldClipboard held;
        Attached other(GreyRgb({{77}}));
        other.proc.CopyToClipboard();
        target.proc.PasteFromClipboard();
        target.proc.PointPasteFromClip(0, 0);
        target.proc.SelPasteFromClipStretch();
    }
    EXPECT_EQ(Channel(target.image.get(), 0), (Grid{{5, 5}}));
    EXPECT_EQ(target.proc.UndoCount(), 0);
    target.proc.PasteFromClipboard();
    EXPECT_EQ(Channel(target.image.get(), 0), kBlue) << "the first copy is still there";

    Clipboard()->Open();
    Clipboard()->Clear();
    Clipboard()->Close();
    Attached empty(GreyRgb({{5}}));
    empty.proc.PasteFromClipboard();
    empty.proc.PointPasteFromClip(0, 0);
    EXPECT_EQ(empty.proc.UndoCount(), 0) << "an empty clipboard saves no undo entry";
}

TEST(ClipboardOperations, PasteAtAPointOrStretchedIntoTheSelection)
{
    Attached source(GreyRgb({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
    source.proc.CopyToClipboard();
    Attached a(GreyRgb(Grid(4, std::vector<int>(5, 0))));
    a.proc.PointPasteFromClip(-1, 2);
    EXPECT_EQ(Channel(a.image.get(), 0),
              (Grid{{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {2, 3, 0, 0, 0}, {5, 6, 0, 0, 0}}));
    EXPECT_EQ(a.proc.UndoCaptions(0), "PointPasteFromClip -1,2");
    a.proc.PointPasteFromClip(2147483647, -2147483647 - 1);
    EXPECT_EQ(Channel(a.image.get(), 0)[2][0], 2) << "far outside, nothing lands";
    Attached mono(Bits({{1, 1}, {1, 1}}));
    mono.proc.PointPasteFromClip(0, 0);
    EXPECT_EQ(Levels(mono.image.get()), (Grid{{1, 1}, {1, 1}})) << "24-bit into 1-bit is not copied";
    EXPECT_EQ(mono.proc.UndoCount(), 1);

    Attached small(GreyRgb({{10, 20}, {30, 40}}));
    small.proc.CopyToClipboard();
    ViewAndProc stretch(GreyRgb(Grid(4, std::vector<int>(6, 0))));
    stretch.view.Select([](int x, int y) { return x >= 1 && x <= 4 && y >= 1 && y <= 2 && x != 3; });
    stretch.proc.SelPasteFromClipStretch();
    EXPECT_EQ(Channel(stretch.view.Image(), 0),
              (Grid{{0, 0, 0, 0, 0, 0}, {0, 10, 10, 20, 20, 0}, {0, 30, 30, 40, 40, 0}, {0, 0, 0, 0, 0, 0}}))
        << "the box, not the mask";
    EXPECT_EQ(stretch.proc.UndoCaptions(0), "SelPasteFromClipStretch");
}

TEST(ClipboardOperations, ClearAndClearSel)
{
    Attached mono(Bits({{0, 1}, {0, 0}}));
    mono.proc.SetReBackground(1);
    mono.proc.Clear();
    EXPECT_EQ(Levels(mono.image.get()), (Grid{{1, 1}, {1, 1}})) << "a background above 0 sets every bit";
    EXPECT_EQ(mono.proc.UndoCaptions(0), "Clear");

    Attached plain(GreyRgb({{1, 2}}));
    plain.proc.ClearSel();
    EXPECT_EQ(Channel(plain.image.get(), 0), (Grid{{1, 2}}));
    EXPECT_EQ(plain.proc.UndoCaptions(0), "ClearSel") << "saved also when nothing is cleared";

    ViewAndProc selected(GreyRgb({{1, 2, 3}, {4, 5, 6}}));
    selected.view.Select([](int x, int y) { return x == y; });
    selected.proc.SetReBackground(RGB2TColor(50, 60, 70));
    selected.proc.ClearSel();
    EXPECT_EQ(Channel(selected.view.Image(), 2), (Grid{{50, 2, 3}, {4, 50, 6}}));
    EXPECT_EQ(Channel(selected.view.Image(), 0), (Grid{{70, 2, 3}, {4, 70, 6}}));
}
