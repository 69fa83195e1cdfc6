// The processing component: attachment, the gallery's resampling road, undo and redo, and the
// operations that must leave the image alone when they cannot apply.
#include "imaging/proc/proc_component.h"
#include "tests/proc/proc_test_util.h"

#include "platform/graphics/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace proctest;
using namespace Korvaneproc;

namespace {

const Grid kFour = {{10, 50, 90, 130}, {30, 70, 110, 150}, {200, 180, 160, 140}, {0, 255, 0, 255}};

struct Attached
{
    std::unique_ptr<TKVBitmap> image;
    TKorvaneProc proc{nullptr};

    explicit Attached(std::unique_ptr<TKVBitmap> bitmap) : image(std::move(bitmap))
    {
        proc.SetAttachedKVBitmap(image.get());
    }
};

} // namespace

TEST(ProcComponent, StartsWithAnEmptyBitmapOfItsOwn)
{
    TKorvaneProc proc(nullptr);
    ASSERT_NE(proc.KVBitmap(), nullptr);
    EXPECT_EQ(proc.KVBitmap()->GetWidth(), 0);
    EXPECT_TRUE(proc.AutoUndo);
    EXPECT_EQ(proc.UndoLimit(), 1);
    EXPECT_EQ(proc.UndoLocation, kvFile);
    EXPECT_EQ(proc.GetReBackground(), 0);
    proc.SetReBackground(0x123456);
    EXPECT_EQ(proc.GetReBackground(), 0x123456);
}

TEST(ProcComponent, WithoutAViewWorksOnTheWholeImage)
{
    Attached a(GreyRgb(kFour));
    int32_t x1, y1, x2, y2, count;
    TPoint* poly;
    TKVMask* mask;
    EXPECT_FALSE(a.proc.GetReSel(x1, y1, x2, y2, poly, count, mask));
    EXPECT_EQ((std::vector<int32_t>{x1, y1, x2, y2, count}), (std::vector<int32_t>{0, 0, 4, 4, 0}));
    EXPECT_EQ(mask, nullptr);
}

TEST(ProcComponent, ResamplesTheGalleryWay)
{
    // 24-bit picture, bilinear, the size derived from the width.
    Attached colour(GreyRgb(kFour));
    colour.proc.Resample(2, -1, rfBilinear);
    EXPECT_EQ(Channel(colour.image.get(), 0), (Grid{{40, 120}, {158, 138}}));
    EXPECT_EQ(colour.proc.UndoCaptions(0), "Resample 2,-1");

    // 1-bit picture: the result is grey 24-bit.
    Grid bits = {{1, 0, 1, 1, 0, 0, 1, 0, 1, 1},
                 {0, 0, 1, 1, 1, 0, 0, 0, 1, 0},
                 {1, 1, 1, 0, 0, 1, 0, 1, 0, 0},
                 {0, 1, 0, 1, 0, 1, 1, 1, 1, 1}};
    Attached mono(Bits(bits));
    mono.proc.Resample(4, 2, rfBilinear);
    ASSERT_EQ(mono.image->GetPixelFormat(), kv24RGB);
    EXPECT_EQ(Channel(mono.image.get(), 1), (Grid{{63, 170, 127, 127}, {127, 170, 127, 141}}));
}

TEST(ProcComponent, ResampleSizesFollowTheArguments)
{
    struct Case
    {
        int32_t w, h;
        int32_t expectedW, expectedH;
    };
    // On 800 x 600 (a 4 x 3 picture scaled by 200 keeps the ratios of the rules).
    const Case cases[] = {{-1, 300, 400, 300}, {0, 0, 800, 600},   {-1, 0, 1, 600}, {-20, 10, 20, 10},
                          {100, -1, 100, 75},  {-1, -1, 800, 600}, {5, -7, 5, 7}};
    for (const Case& c : cases) {
        Attached a(Blank(800, 600, kv24RGB, 9));
        a.proc.Resample(c.w, c.h, rfFastLinear);
        EXPECT_EQ(a.image->GetWidth(), c.expectedW) << c.w << "," << c.h;
        EXPECT_EQ(a.image->GetHeight(), c.expectedH) << c.w << "," << c.h;
        EXPECT_EQ(a.proc.UndoCount(), 1) << "an entry even when nothing changes";
    }
}

TEST(ProcComponent, ResampleKeepsEightBitContentAndResamplesAlpha)
{
    Attached grey(Bytes(kFour));
    grey.proc.Resample(2, 2, rfBilinear);
    EXPECT_EQ(grey.image->GetPixelFormat(), kv8g);
    EXPECT_EQ(Levels(grey.image.get()), (Grid{{40, 120}, {158, 138}}));

    const std::vector<TRGB> palette = {{0, 0, 0}, {255, 255, 255}, {10, 20, 30}};
    Attached indexed(Bytes({{0, 1, 2}, {2, 1, 0}}, kv8p, palette));
    indexed.proc.Resample(6, 4, rfNone);
    EXPECT_EQ(indexed.image->GetPixelFormat(), kv8p);
    EXPECT_EQ(indexed.image->GetPalette(2), palette[2]);
    EXPECT_EQ(Levels(indexed.image.get()),
              (Grid{{0, 0, 1, 1, 2, 2}, {0, 0, 1, 1, 2, 2}, {2, 2, 1, 1, 0, 0}, {2, 2, 1, 1, 0, 0}}));
    // Halving averages blocks of one colour each: every pixel finds its own entry again.
    indexed.proc.Resample(3, 2, rfBilinear);
    EXPECT_EQ(indexed.image->GetPixelFormat(), kv8p);
    EXPECT_EQ(Levels(indexed.image.get()), (Grid{{0, 1, 2}, {2, 1, 0}}));

    Attached withAlpha(GreyRgb({{0, 60, 120, 180, 240, 30}, {255, 128, 64, 32, 16, 8}}));
    TKVBitmap* alpha = withAlpha.image->GetAlphaChannel();
    const uint8_t levels[2][6] = {{0, 60, 120, 180, 240, 30}, {255, 128, 64, 32, 16, 8}};
    for (int y = 0; y < 2; ++y)
        std::memcpy(alpha->GetScanLine(y), levels[y], 6);
    withAlpha.proc.Resample(3, 1, rfFastLinear);
    ASSERT_TRUE(withAlpha.image->GetHasAlphaChannel());
    EXPECT_EQ(withAlpha.image->GetAlphaChannel()->GetWidth(), 3);
    EXPECT_EQ(Levels(withAlpha.image->GetAlphaChannel()), (Grid{{60, 180, 240}}));
}

TEST(ProcComponent, UndoKeepsTheNewestEntriesUpToTheLimit)
{
    Attached a(GreyRgb({{1}}));
    a.proc.SetUndoLimit(3);
    const char* names[] = {"A", "B", "C", "D", "E"};
    for (int i = 0; i < 5; ++i) {
        std::memset(a.image->GetScanLine(0), 10 * (i + 1), 3);
        a.proc.SaveUndoCaptioned(names[i], kvuImage);
    }
    ASSERT_EQ(a.proc.UndoCount(), 3);
    EXPECT_EQ(a.proc.UndoCaptions(0), "E");
    EXPECT_EQ(a.proc.UndoCaptions(2), "C");
    EXPECT_EQ(a.proc.UndoCaptions(5), "");
    EXPECT_EQ(a.proc.UndoPeekAt(0), kvuImage);
    EXPECT_EQ(a.proc.UndoPeekAt(-1), kvuUnknown);
    EXPECT_EQ(a.proc.UndoPeekAt(3), kvuUnknown);

    std::memset(a.image->GetScanLine(0), 99, 3);
    a.proc.UndoAt(2);
    EXPECT_EQ(Channel(a.image.get(), 0), (Grid{{30}}));
    a.proc.Undo();
    a.proc.Undo();
    EXPECT_EQ(Channel(a.image.get(), 0), (Grid{{50}}));
    EXPECT_EQ(a.proc.UndoCount(), 3) << "applying never removes";

    a.proc.ClearUndoAt(1); // D
    EXPECT_EQ(a.proc.UndoCaptions(1), "C");
    a.proc.ClearUndo();
    EXPECT_EQ(a.proc.UndoCaptions(0), "C");
    a.proc.SetUndoCaptions(0, "renamed");
    a.proc.SetUndoCaptions(4, "ignored");
    EXPECT_EQ(a.proc.UndoCaptions(0), "renamed");
    a.proc.ClearAllUndo();
    EXPECT_FALSE(a.proc.CanUndo());
}

TEST(ProcComponent, LoweringTheLimitCutsAtTheNextSave)
{
    Attached a(GreyRgb({{1}}));
    a.proc.SetUndoLimit(5);
    for (int i = 0; i < 5; ++i)
        a.proc.SaveUndoCaptioned("x", kvuImage);
    a.proc.SetUndoLimit(2);
    EXPECT_EQ(a.proc.UndoCount(), 5);
    a.proc.SaveUndoCaptioned("y", kvuImage);
    EXPECT_EQ(a.proc.UndoCount(), 2);
    a.proc.SetUndoLimit(0);
    EXPECT_EQ(a.proc.UndoLimit(), 1);
    a.proc.SetUndoLimit(-4);
    EXPECT_EQ(a.proc.UndoLimit(), 1);
}

TEST(ProcComponent, CaptionsGoOnlyToEntriesThatWereSaved)
{
    Attached a(GreyRgb({{1}}));
    a.proc.SetUndoLimit(2);
    a.proc.SaveUndoCaptioned("image", kvuImage);
    // No view, so no selection can be saved: the older entry keeps its caption.
    a.proc.SaveUndoCaptioned("selection", kvuSelection);
    a.proc.SaveUndoCaptioned("nothing", kvuUnknown);
    EXPECT_EQ(a.proc.UndoCount(), 1);
    EXPECT_EQ(a.proc.UndoCaptions(0), "image");

    TKorvaneProc empty(nullptr);
    empty.SaveUndoCaptioned("empty image", kvuImage);
    EXPECT_EQ(empty.UndoCount(), 0);

    a.proc.SaveRedoCaptioned("redo", kvuImage);
    EXPECT_EQ(a.proc.RedoCount(), 1);
    EXPECT_EQ(a.proc.RedoCaptions(0), "redo");
    EXPECT_EQ(a.proc.RedoPeekAt(0), kvuImage);
    std::memset(a.image->GetScanLine(0), 7, 3);
    a.proc.Redo();
    EXPECT_EQ(Channel(a.image.get(), 0), (Grid{{1}}));
    a.proc.ClearRedo();
    EXPECT_EQ(a.proc.RedoCount(), 0);
}

TEST(ProcComponent, UndoSnapshotsKeepFormatPaletteAndAlpha)
{
    const std::vector<TRGB> palette = {{1, 2, 3}, {4, 5, 6}};
    Attached a(Bytes({{0, 1}}, kv8p, palette));
    a.image->GetAlphaChannel()->GetScanLine(0)[1] = 17;
    a.proc.UndoLocation = kvMemory;
    a.proc.Resample(4, 1, rfNone);
    a.proc.Undo();
    EXPECT_EQ(a.image->GetPixelFormat(), kv8p);
    EXPECT_EQ(Levels(a.image.get()), (Grid{{0, 1}}));
    EXPECT_EQ(a.image->GetPalette(1), palette[1]);
    EXPECT_EQ(Levels(a.image->GetAlphaChannel()), (Grid{{255, 17}}));
}

TEST(ProcComponent, OperationsThatCannotApplyChangeNothing)
{
    // Nothing attached at all: every operation returns at once, with no undo entry.
    TKorvaneProc detached(nullptr);
    detached.SetAttachedKVBitmap(nullptr);
    EXPECT_EQ(detached.KVBitmap(), nullptr);
    detached.Resample(10, 10, rfBilinear);
    detached.Rotate(30, true, kvrBicubic);
    detached.ConvertTo24Bit();
    detached.ImageResize(5, 5, kvhLeft, kvvTop);
    detached.CropSel();
    detached.HistAutoEqualize();
    detached.Flip(fdVertical);
    detached.Undo();
    TRGB colour;
    EXPECT_EQ(detached.GetDominantColor(colour), -1);
    EXPECT_EQ(detached.CalcImageNumColors(), 0);
    EXPECT_FALSE(detached.GetRGBChannel(0));
    EXPECT_EQ(detached.UndoCount(), 0);

    // Wrong formats: the image and the undo list stay as they are.
    Attached grey(Bytes({{1, 2}, {3, 4}}));
    grey.proc.ConvertTo24Bit();
    grey.proc.ConvertToBWOrdered();
    grey.proc.ConvertToBWThreshold(100);
    grey.proc.HistAutoEqualize();
    grey.proc.HistEqualize(TRGB{}, TRGB{255, 255, 255});
    grey.proc.Flip(fdHorizontal);
    EXPECT_EQ(grey.proc.UndoCount(), 0);
    EXPECT_EQ(grey.image->GetPixelFormat(), kv8g);
    EXPECT_EQ(Levels(grey.image.get()), (Grid{{1, 2}, {3, 4}}));

    auto words = Blank(2, 2, kv16g, 3);
    Attached sixteen(std::move(words));
    sixteen.proc.Rotate(30, false, kvrFast);
    EXPECT_EQ(sixteen.image->GetWidth(), 2);
    EXPECT_EQ(sixteen.proc.UndoCount(), 0);

    // Empty sizes.
    TKorvaneProc own(nullptr);
    Attached rgb(GreyRgb({{1, 2}}));
    rgb.proc.ImageResize(0, 100, kvhLeft, kvvTop);
    own.ImageResize(10, 10, kvhLeft, kvvTop);
    rgb.proc.Rotate(0, true, kvrBilinear);
    EXPECT_EQ(rgb.proc.UndoCount(), 0);
    EXPECT_EQ(rgb.image->GetWidth(), 2);
    own.Resample(10, 10, rfBilinear);
    EXPECT_EQ(own.UndoCount(), 0);
}

TEST(ProcComponent, GeometryOperations)
{
    Attached a(GreyRgb({{1, 2, 3}, {4, 5, 6}}));
    a.proc.Flip(fdHorizontal);
    EXPECT_EQ(Channel(a.image.get(), 0), (Grid{{3, 2, 1}, {6, 5, 4}}));
    EXPECT_EQ(a.proc.UndoCount(), 0) << "Flip saves no undo entry";

    a.proc.SetReBackground(0x090909);
    a.proc.ImageResize(5, 4, kvhCenter, kvvCenter);
    EXPECT_EQ(a.proc.UndoCaptions(0), "ImageResize 5,4");
    EXPECT_EQ(Channel(a.image.get(), 1),
              (Grid{{9, 9, 9, 9, 9}, {9, 3, 2, 1, 9}, {9, 6, 5, 4, 9}, {9, 9, 9, 9, 9}}));

    a.proc.Rotate(90, false, kvrFast);
    EXPECT_EQ(a.proc.UndoCaptions(0), "Rotate 90");
    EXPECT_EQ(a.image->GetWidth(), 4);
    EXPECT_EQ(a.image->GetHeight(), 5);
    EXPECT_EQ(Channel(a.image.get(), 0)[1], (std::vector<int>{9, 1, 4, 9}));

    a.proc.CropSel(); // without a selection only the undo entry
    EXPECT_EQ(a.proc.UndoCaptions(0), "CropSel");
    EXPECT_EQ(a.image->GetWidth(), 4);
    EXPECT_FALSE(a.image->GetHasAlphaChannel());
}

TEST(ProcComponent, RotateKeepsEightBitImages)
{
    const Grid levels = {{10, 20, 30}, {40, 50, 60}};
    Attached grey(Bytes(levels));
    grey.proc.Rotate(90, true, kvrBicubic); // a quarter turn takes the shear path, exactly
    EXPECT_EQ(grey.image->GetPixelFormat(), kv8g);
    EXPECT_EQ(Levels(grey.image.get()), (Grid{{30, 60}, {20, 50}, {10, 40}}));
    grey.proc.Rotate(-90, false, kvrFast);
    EXPECT_EQ(Levels(grey.image.get()), levels);
}

TEST(ProcComponent, RotateTurnsTheAlphaChannelAlong)
{
    Attached a(GreyRgb(Grid(6, std::vector<int>(10, 200))));
    a.image->GetAlphaChannel();
    a.proc.Rotate(30, true, kvrBilinear);
    ASSERT_TRUE(a.image->GetHasAlphaChannel());
    TKVBitmap* alpha = a.image->GetAlphaChannel();
    EXPECT_EQ(alpha->GetWidth(), a.image->GetWidth());
    EXPECT_EQ(alpha->GetHeight(), a.image->GetHeight());
    EXPECT_EQ(Levels(alpha)[0][0], 0) << "uncovered corners are transparent";

    Attached b(GreyRgb(Grid(6, std::vector<int>(10, 200))));
    b.image->GetAlphaChannel();
    b.proc.Rotate(30, false, kvrFast);
    EXPECT_EQ(b.image->GetAlphaChannel()->GetWidth(), b.image->GetWidth());
    EXPECT_EQ(b.image->GetAlphaChannel()->GetHeight(), b.image->GetHeight());

    Attached c(Bits(Grid(4, std::vector<int>(6, 1))));
    c.image->GetAlphaChannel();
    c.proc.Rotate(45, false, kvrFast);
    EXPECT_EQ(c.image->GetPixelFormat(), kv1g);
    EXPECT_EQ(c.image->GetAlphaChannel()->GetWidth(), c.image->GetWidth());
}

TEST(ProcComponent, ConvertsBlackAndWhite)
{
    Attached a(GreyRgb({{0, 255}, {255, 0}}));
    a.proc.ConvertToBWThreshold(-1);
    EXPECT_EQ(a.proc.UndoCaptions(0), "ConvertToBWThreshold -1");
    ASSERT_EQ(a.image->GetPixelFormat(), kv1g);
    EXPECT_EQ(Levels(a.image.get()), (Grid{{0, 1}, {1, 0}}));
    a.image->GetAlphaChannel()->GetScanLine(1)[0] = 9;
    a.proc.ConvertTo24Bit();
    EXPECT_EQ(a.proc.UndoCaptions(0), "ConvertTo24Bit");
    EXPECT_EQ(a.image->GetPixelFormat(), kv24RGB);
    EXPECT_EQ(Channel(a.image.get(), 2), (Grid{{0, 255}, {255, 0}}));
    EXPECT_EQ(Levels(a.image->GetAlphaChannel()), (Grid{{255, 255}, {9, 255}})) << "the alpha channel stays";

    Attached b(GreyRgb({{255, 250}}));
    b.proc.ConvertToBWOrdered();
    EXPECT_EQ(b.proc.UndoCaptions(0), "ConvertToBWOrdered");
    EXPECT_EQ(Levels(b.image.get()), (Grid{{1, 1}}));
}

TEST(ProcComponent, WrapsClassLibraryBitmaps)
{
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(4, 2);
    for (int y = 0; y < 2; ++y)
        std::memset(picture.ScanLine(y), 40 * (y + 1), 12);
    TKorvaneProc proc(nullptr);
    proc.SetAttachedBitmap(&picture);
    EXPECT_EQ(proc.Bitmap(), &picture);
    proc.Resample(2, 1, rfBilinear);
    EXPECT_EQ(picture.Width(), 2);
    EXPECT_EQ(picture.Height(), 1);
    EXPECT_EQ(picture.ScanLine(0)[0], 60);

    // Resized from outside: the next call sees the new size.
    picture.SetSize(3, 3);
    for (int y = 0; y < 3; ++y)
        std::memset(picture.ScanLine(y), 5, 9);
    proc.Flip(fdVertical);
    EXPECT_EQ(proc.KVBitmap()->GetWidth(), 3);

    // Attaching a TBitmap after a caller's TKVBitmap leaves the caller's pixels alone.
    auto mine = GreyRgb({{1, 2}});
    proc.SetAttachedKVBitmap(mine.get());
    proc.SetAttachedBitmap(&picture);
    EXPECT_EQ(Channel(mine.get(), 0), (Grid{{1, 2}}));
}
