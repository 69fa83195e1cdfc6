// The thumbnail store: block layout, mapping at most a few images, borrowing, deleting and
// reusing blocks, failures of the temporary file, and ten thousand thumbnails in little memory.
#include "imaging/core/virtual_dib_list.h"

#include "platform/graphics/canvas.h"
#include "tests/core/temp_folder.h"
#include "tests/support/peak_heap.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

class VirtualDIBList : public TempFolderTest
{
};

// A kv24RGB image whose pixels depend on the seed.
void Fill(TKVBitmap& bitmap, int32_t width, int32_t height, uint32_t seed)
{
    if (bitmap.GetWidth() != width || bitmap.GetHeight() != height || bitmap.GetPixelFormat() != kv24RGB)
        bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.GetScanLine(y);
        for (int32_t i = 0; i < width * 3; ++i)
            row[i] = uint8_t(seed * 31 + y * 7 + i * 13);
    }
}

// A new image of the list, filled as Fill fills a bitmap.
TKVVirtualImageInfo* AddFilled(TKVVirtualDIBList& list, int32_t width, int32_t height, uint32_t seed)
{
    TKVBitmap bitmap;
    Fill(bitmap, width, height, seed);
    return list.AddKVBitmap(&bitmap);
}

bool SameRows(TKVBitmap& a, TKVBitmap& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetPixelFormat() != b.GetPixelFormat())
        return false;
    const size_t bytes = size_t(a.GetWidth()) * a.GetBitCount() / 8;
    std::vector<uint8_t> row(bytes);
    for (int32_t y = 0; y < a.GetHeight(); ++y) {
        std::memcpy(row.data(), a.GetScanLine(y), bytes);
        if (std::memcmp(row.data(), b.GetScanLine(y), bytes) != 0)
            return false;
    }
    return true;
}

} // namespace

TEST_F(VirtualDIBList, BlocksAreLaidOutAsDibsAndMappedLeastRecentlyUsedFirst)
{
    EXPECT_EQ(TKVVirtualDIBList::BlockSize(10, 10, 24, true), 489);
    EXPECT_EQ(TKVVirtualDIBList::BlockSize(10, 10, 24, false), 369);
    TKVVirtualDIBList list;
    EXPECT_EQ(list.FileSize(), 0x10000);

    TKVBitmap bitmap;
    Fill(bitmap, 10, 10, 1);
    TKVVirtualImageInfo* first = list.AddKVBitmap(&bitmap);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Size, 369);
    EXPECT_EQ(first->Position, 0);
    const BITMAPINFO* info = list.GetImageInfoHeader(first);
    EXPECT_EQ(info->bmiHeader.biSize, 40u);
    EXPECT_EQ(info->bmiHeader.biWidth, 10);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    // Rows bottom row first: the block's first row is the image's last.
    EXPECT_EQ(std::memcmp(list.GetImageBits(first), bitmap.GetScanLine(9), 30), 0);
    EXPECT_EQ(list.GetAlphaBits(first), nullptr);

    std::vector<TKVVirtualImageInfo*> images{first};
    for (uint32_t i = 2; i <= 11; ++i) {
        Fill(bitmap, 10, 10, i);
        images.push_back(list.AddKVBitmap(&bitmap));
        EXPECT_LE(list.MappedCount(), 10);
    }
    EXPECT_EQ(first->Mapped, nullptr);
    EXPECT_EQ(images[1]->Position, 369);
    TKVBitmap back;
    list.CopyToKVBitmap(first, &back);
    Fill(bitmap, 10, 10, 1);
    EXPECT_TRUE(SameRows(back, bitmap));
    EXPECT_FALSE(back.GetHasAlphaChannel());
    EXPECT_NE(first->Mapped, nullptr);
    EXPECT_EQ(images[1]->Mapped, nullptr);
    EXPECT_EQ(list.MappedCount(), 10);

    // Writes through the rows' address stay once the block leaves memory.
    list.GetImageBits(images[3])[0] = 0xEE;
    for (int i = 4; i < 11; ++i)
        list.GetImageWidth(images[i]);
    list.CopyToKVBitmap(first, &back);
    list.CopyToKVBitmap(images[1], &back);
    list.CopyToKVBitmap(images[2], &back);
    EXPECT_EQ(images[3]->Mapped, nullptr);
    list.CopyToKVBitmap(images[3], &back);
    EXPECT_EQ(back.GetScanLine(9)[0], 0xEE);

    // A limit below 1 still maps one image at a time.
    list.MaxMappedImages = 0;
    list.CopyToKVBitmap(images[5], &back);
    Fill(bitmap, 10, 10, 6);
    EXPECT_TRUE(SameRows(back, bitmap));
    EXPECT_EQ(list.MappedCount(), 1);
}

TEST_F(VirtualDIBList, BorrowedBitmapsAreSharedAndCopiedBackWhenChanged)
{
    TKVVirtualDIBList list;
    TKVBitmap bitmap;
    Fill(bitmap, 6, 4, 3);
    bitmap.GetAlphaChannel()->SetPixels_kv8(2, 1, 77);
    TKVVirtualImageInfo* image = list.AddKVBitmap(&bitmap);
    ASSERT_NE(image, nullptr);
    ASSERT_NE(list.GetAlphaBits(image), nullptr);
    EXPECT_EQ(list.GetAlphaBits(image)[(4 - 1 - 1) * 8 + 2], 77);

    TKVBitmap* lent = list.GetBitmap(image);
    ASSERT_NE(lent, nullptr);
    EXPECT_EQ(list.GetBitmap(image), lent);
    EXPECT_TRUE(image->HandedOut);
    EXPECT_TRUE(SameRows(*lent, bitmap));
    ASSERT_TRUE(lent->GetHasAlphaChannel());
    EXPECT_EQ(lent->GetAlphaChannel()->GetPixels_kv8(2, 1), 77);
    list.ReleaseBitmap(lent, false);
    EXPECT_TRUE(image->HandedOut);

    // Changed, at another size: the image takes that size.
    Fill(*lent, 9, 5, 8);
    lent->RemoveAlphaChannel();
    list.ReleaseBitmap(lent, true);
    EXPECT_FALSE(image->HandedOut);
    EXPECT_EQ(list.GetImageWidth(image), 9);
    EXPECT_EQ(list.GetImageHeight(image), 5);
    EXPECT_EQ(list.GetAlphaBits(image), nullptr);
    TKVBitmap expected, back;
    Fill(expected, 9, 5, 8);
    list.CopyToKVBitmap(image, &back);
    EXPECT_TRUE(SameRows(back, expected));
    list.ReleaseBitmap(&back, true); // not lent: ignored
    list.ReleaseBitmap(nullptr, true);
    list.ReleaseBitmapByImage(image, true);

    // The caller's original size travels with the image; another list's image is left alone and reads 0.
    list.SetImageOriginalWidth(image, 4000);
    list.SetImageOriginalHeight(image, 3000);
    TKVVirtualDIBList other;
    TKVVirtualImageInfo* foreign = other.AddKVBitmap(&bitmap);
    list.SetImageOriginalWidth(foreign, 11);
    other.SetImageOriginalHeight(nullptr, 12);
    EXPECT_EQ(list.GetImageOriginalWidth(image), 4000);
    EXPECT_EQ(list.GetImageOriginalHeight(image), 3000);
    EXPECT_EQ(list.GetImageOriginalWidth(foreign), 0);
    EXPECT_EQ(other.GetImageOriginalWidth(foreign), 6); // its own width, untouched by the stranger
    EXPECT_EQ(other.GetImageOriginalHeight(nullptr), 0);

    // Black and white images stay 1-bit; class-library bitmaps of other formats become colour.
    TKVBitmap bw;
    bw.Allocate(13, 3, kv1g);
    bw.Fill(0);
    bw.SetPixels_kv1g(12, 2, true);
    TKVVirtualImageInfo* bits = list.AddKVBitmap(&bw);
    EXPECT_EQ(list.GetImageBitCount(bits), 1);
    list.CopyToKVBitmap(bits, &back);
    EXPECT_TRUE(SameRows(back, bw));

    TBitmap palette;
    palette.SetPixelFormat(pf8bit);
    palette.SetSize(4, 2);
    palette.Canvas()->SetPixels(3, 1, clRed);
    TKVVirtualImageInfo* rect = list.AddBitmapRect(&palette, 2, 0, 3, 2);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(list.GetImageBitCount(rect), 24);
    list.CopyToKVBitmap(rect, &back);
    EXPECT_EQ(back.GetPixelFormat(), kv24RGB);
    EXPECT_EQ(back.GetPixels_kv24RGB(1, 1), (TRGB{0, 0, 255}));
    EXPECT_EQ(back.GetPixels_kv24RGB(2, 1), TRGB{}); // outside the bitmap
}

// An image without alpha takes no alpha plane, in memory or in the file: a large 1-bit page costs
// its rows, not eight times as much again in 255s. Alpha given to a borrowed copy, or taken from
// it, goes into the image with its rows.
TEST_F(VirtualDIBList, OnlyImagesWithAlphaTakeAnAlphaPlane)
{
    constexpr int32_t kSide = 4096;
    constexpr int64_t kRows = int64_t(kSide) / 8 * kSide; // 2 MB; an alpha plane would take 16 MB
    TKVVirtualDIBList list;
    TKVVirtualImageInfo* page = nullptr;
    const int64_t peak = kvtest::PeakHeapOf([&] {
        TKVBitmap bits;
        bits.Allocate(kSide, kSide, kv1g);
        bits.Fill(0);
        bits.SetPixels_kv1g(kSide - 1, 0, true);
        page = list.AddKVBitmap(&bits);
        TKVBitmap back;
        list.CopyToKVBitmap(page, &back);
        EXPECT_TRUE(SameRows(back, bits));
        EXPECT_FALSE(back.GetHasAlphaChannel());
    });
    ASSERT_NE(page, nullptr);
    EXPECT_LT(peak, 4 * kRows);
    EXPECT_LT(list.FileSize(), 2 * kRows);
    EXPECT_EQ(list.GetAlphaBits(page), nullptr);

    TKVBitmap picture, back;
    Fill(picture, 6, 4, 2);
    TKVVirtualImageInfo* image = list.AddKVBitmap(&picture);
    EXPECT_EQ(image->Size, TKVVirtualDIBList::BlockSize(6, 4, 24, false));
    TKVBitmap* lent = list.GetBitmap(image);
    lent->GetAlphaChannel()->SetPixels_kv8(5, 3, 40);
    list.ReleaseBitmap(lent, true);
    ASSERT_NE(list.GetAlphaBits(image), nullptr);
    EXPECT_EQ(list.GetAlphaBits(image)[5], 40); // the bottom row comes first
    list.CopyToKVBitmap(image, &back);
    EXPECT_TRUE(SameRows(back, picture));
    ASSERT_TRUE(back.GetHasAlphaChannel());
    EXPECT_EQ(back.GetAlphaChannel()->GetPixels_kv8(5, 3), 40);

    lent = list.GetBitmap(image);
    lent->RemoveAlphaChannel();
    list.ReleaseBitmap(lent, true);
    EXPECT_EQ(list.GetAlphaBits(image), nullptr);
    list.CopyToKVBitmap(image, &back);
    EXPECT_TRUE(SameRows(back, picture));
    EXPECT_FALSE(back.GetHasAlphaChannel());
}

TEST_F(VirtualDIBList, LentRowsStayInMemoryEvenWhenBitmapsGoToFiles)
{
    const int32_t saved = Daduvudez::KVDefMinFileSize;
    Daduvudez::KVDefMinFileSize = 0;
    {
        TKVVirtualDIBList list;
        TKVBitmap bitmap;
        Fill(bitmap, 7, 5, 4);
        bitmap.GetAlphaChannel()->SetPixels_kv8(0, 0, 9);
        TKVVirtualImageInfo* image = list.AddKVBitmap(&bitmap);
        ASSERT_NE(list.GetBitmap(image), nullptr);
        const uint8_t* rows = list.GetImageBits(image);
        const uint8_t* alpha = list.GetAlphaBits(image);
        ASSERT_NE(rows, nullptr);
        ASSERT_NE(alpha, nullptr);
        for (int32_t y = 0; y < 5; ++y)
            EXPECT_EQ(std::memcmp(rows + (4 - y) * 24, bitmap.GetScanLine(y), 21), 0) << y;
        EXPECT_EQ(alpha[4 * 8], 9);
        EXPECT_EQ(list.GetImageInfoHeader(image)->bmiHeader.biHeight, 5);
    }
    Daduvudez::KVDefMinFileSize = saved;
}

TEST_F(VirtualDIBList, DeletedBlocksAreReusedAndTheFileShrinksWhenEmpty)
{
    TKVVirtualDIBList list;
    TKVBitmap bitmap;
    Fill(bitmap, 10, 10, 1);
    TKVVirtualImageInfo* only = list.AddKVBitmap(&bitmap);
    list.Delete(only);
    EXPECT_EQ(list.GetImageCount(), 0);
    EXPECT_EQ(list.GetImageWidth(only), 0); // a deleted handle is no image
    TKVVirtualImageInfo* again = list.AddKVBitmap(&bitmap);
    EXPECT_EQ(again->Position, 0);

    TKVVirtualImageInfo* second = list.AddKVBitmap(&bitmap);
    TKVVirtualImageInfo* third = list.AddKVBitmap(&bitmap);
    EXPECT_EQ(third->Position, 2 * 369);
    list.Delete(second);
    EXPECT_EQ(list.GetImageWidth(second), 0);
    EXPECT_EQ(list.GetImageWidth(third), 10);
    Fill(bitmap, 8, 8, 2); // smaller: fits the freed block
    TKVVirtualImageInfo* reused = list.AddKVBitmap(&bitmap);
    EXPECT_EQ(reused->Position, 369);
    TKVBitmap back;
    list.CopyToKVBitmap(reused, &back);
    EXPECT_TRUE(SameRows(back, bitmap));

    // A run of equal images fits the space prepared for it without growing the file.
    const int64_t before = list.FileSize();
    list.PrepareSpaceFor(64, 48, 24, 20);
    const int64_t prepared = list.FileSize();
    EXPECT_EQ(prepared, before + 20 * TKVVirtualDIBList::BlockSize(64, 48, 24, false));
    Fill(bitmap, 64, 48, 3);
    for (int i = 0; i < 20; ++i)
        ASSERT_NE(list.AddKVBitmap(&bitmap), nullptr);
    EXPECT_EQ(list.FileSize(), prepared);

    // Nil and handles of another list are no image.
    TKVVirtualDIBList other;
    TKVVirtualImageInfo* foreign = other.AddKVBitmap(&bitmap);
    for (TKVVirtualImageInfo* none : {static_cast<TKVVirtualImageInfo*>(nullptr), foreign}) {
        EXPECT_EQ(list.GetBitmap(none), nullptr);
        EXPECT_EQ(list.GetImageWidth(none), 0);
        EXPECT_EQ(list.GetImageBits(none), nullptr);
        EXPECT_EQ(list.GetAlphaBits(none), nullptr);
        EXPECT_EQ(list.GetImageInfoHeader(none), nullptr);
        EXPECT_EQ(list.GetImageOriginalWidth(none), 0);
        list.SetImageOriginalWidth(none, 5);
        list.CopyFromKVBitmap(none, &bitmap);
        list.CopyToKVBitmap(none, &back);
        list.Delete(none);
    }
    EXPECT_EQ(list.GetImageCount(), 23);
    EXPECT_EQ(other.GetImageWidth(foreign), 64);
}

TEST_F(VirtualDIBList, GrowingTheFileKeepsMappedAndFreeBlocks)
{
    TKVVirtualDIBList list;
    list.MaxMappedImages = 100;
    TKVBitmap bitmap;
    std::vector<TKVVirtualImageInfo*> images;
    std::vector<uint8_t*> blocks;
    for (uint32_t i = 0; i < 20; ++i) {
        Fill(bitmap, 64, 48, i);
        images.push_back(list.AddKVBitmap(&bitmap));
        blocks.push_back(images.back()->Mapped);
    }
    // Twenty blocks of about 9 kB outgrow the first 64 kB of the file several times over.
    ASSERT_GT(list.FileSize(), 0x10000);
    EXPECT_EQ(list.MappedCount(), 20);
    for (size_t i = 0; i < images.size(); ++i)
        EXPECT_EQ(images[i]->Mapped, blocks[i]) << i;

    // A block freed before the file grows again is still there to reuse afterwards.
    const int64_t freed = images[3]->Position;
    list.Delete(images[3]);
    Fill(bitmap, 200, 150, 50); // too big for the freed block: the file grows
    const int64_t before = list.FileSize();
    ASSERT_NE(list.AddKVBitmap(&bitmap), nullptr);
    ASSERT_GT(list.FileSize(), before);
    Fill(bitmap, 64, 48, 51);
    TKVVirtualImageInfo* reused = list.AddKVBitmap(&bitmap);
    EXPECT_EQ(reused->Position, freed);
    TKVBitmap back;
    list.CopyToKVBitmap(images[4], &back);
    Fill(bitmap, 64, 48, 4);
    EXPECT_TRUE(SameRows(back, bitmap));
}

// A borrowed copy that gains an alpha channel, or loses it, is given back changed: so a thumbnail
// view writes back its selected image. The block the image leaves is free again, for the image
// itself when its alpha comes back.
TEST_F(VirtualDIBList, AlphaThatComesAndGoesKeepsTheFileFromGrowing)
{
    TKVVirtualDIBList list;
    TKVBitmap expected, back;
    TKVVirtualImageInfo* before = AddFilled(list, 300, 200, 1);
    TKVVirtualImageInfo* image = AddFilled(list, 300, 200, 2);
    TKVVirtualImageInfo* after = AddFilled(list, 300, 200, 3);
    const int64_t startSize = list.FileSize();
    Fill(expected, 300, 200, 2);
    for (int32_t i = 0; i < 100; ++i) {
        TKVBitmap* lent = list.GetBitmap(image);
        ASSERT_NE(lent, nullptr);
        const bool alpha = i % 2 == 0;
        if (alpha)
            lent->GetAlphaChannel()->SetPixels_kv8(i, 199 - i, uint8_t(i + 1));
        else
            lent->RemoveAlphaChannel();
        list.ReleaseBitmap(lent, true);
        list.CopyToKVBitmap(image, &back);
        ASSERT_TRUE(SameRows(back, expected)) << i;
        ASSERT_EQ(back.GetHasAlphaChannel(), alpha) << i;
        if (alpha) {
            EXPECT_EQ(back.GetAlphaChannel()->GetPixels_kv8(i, 199 - i), i + 1) << i;
            EXPECT_EQ(back.GetAlphaChannel()->GetPixels_kv8(299 - i, i), 255) << i;
        }
    }
    EXPECT_LT(list.FileSize() - startSize, 4 * TKVVirtualDIBList::BlockSize(300, 200, 24, true));
    for (const auto& [neighbour, seed] : {std::pair{before, 1u}, std::pair{after, 3u}}) {
        list.CopyToKVBitmap(neighbour, &back);
        Fill(expected, 300, 200, seed);
        EXPECT_TRUE(SameRows(back, expected)) << seed;
    }
}

// Room an image leaves, by going or by moving to a block of another size, serves the next block
// that fits it, merged with the free room beside it; the images around keep their pixels.
TEST_F(VirtualDIBList, RoomImagesLeaveIsMergedAndReused)
{
    constexpr int32_t kSide = 40;
    const int64_t block = TKVVirtualDIBList::BlockSize(kSide, kSide, 24, false);
    const int64_t shrunk = TKVVirtualDIBList::BlockSize(24, 24, 24, true);
    const struct
    {
        const char* Case;
        std::vector<int> Deleted; // of five equal images
        int Changed;              // then given back at ChangedSide with alpha, -1 none
        int32_t ChangedSide;
        int32_t NewSide;          // then a new image of that side, without alpha
        int64_t NewPosition;      // in blocks of the first images
        int64_t NewPositionBytes; // added to it
    } cases[] = {
        {"two free blocks side by side take an image of both", {1, 2}, -1, 0, 56, 1, 0},
        {"three side by side, freed out of order", {3, 1, 2}, -1, 0, 68, 1, 0},
        {"an image that grows leaves its block to a smaller one", {}, 2, 60, kSide, 2, 0},
        {"a shrinking image leaves the rest of its block", {}, 2, 24, 20, 2, shrunk},
        {"a freed block merges with the room an image left", {1}, 2, 60, 56, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        TKVVirtualDIBList list;
        TKVBitmap picture, back;
        std::vector<TKVVirtualImageInfo*> images;
        for (uint32_t i = 0; i < 5; ++i) {
            images.push_back(AddFilled(list, kSide, kSide, i));
            ASSERT_EQ(images.back()->Position, int64_t(i) * block);
        }
        for (int i : c.Deleted)
            list.Delete(images[size_t(i)]);
        if (c.Changed >= 0) {
            Fill(picture, c.ChangedSide, c.ChangedSide, 20);
            picture.GetAlphaChannel()->SetPixels_kv8(1, 2, 33);
            list.CopyFromKVBitmap(images[size_t(c.Changed)], &picture);
        }
        const int64_t fileSize = list.FileSize();
        Fill(picture, c.NewSide, c.NewSide, 30);
        TKVVirtualImageInfo* added = list.AddKVBitmap(&picture);
        ASSERT_NE(added, nullptr);
        EXPECT_EQ(added->Position, c.NewPosition * block + c.NewPositionBytes);
        EXPECT_EQ(list.FileSize(), fileSize);

        list.CopyToKVBitmap(added, &back);
        EXPECT_TRUE(SameRows(back, picture));
        for (uint32_t i = 0; i < 5; ++i) {
            if (std::find(c.Deleted.begin(), c.Deleted.end(), int(i)) != c.Deleted.end())
                continue;
            list.CopyToKVBitmap(images[i], &back);
            TKVBitmap expected;
            if (int(i) == c.Changed) {
                Fill(expected, c.ChangedSide, c.ChangedSide, 20);
                ASSERT_TRUE(back.GetHasAlphaChannel()) << i;
                EXPECT_EQ(back.GetAlphaChannel()->GetPixels_kv8(1, 2), 33) << i;
            } else {
                Fill(expected, kSide, kSide, i);
                EXPECT_FALSE(back.GetHasAlphaChannel()) << i;
            }
            EXPECT_TRUE(SameRows(back, expected)) << i;
        }
    }
}

// When the file cannot grow for the larger block, the image keeps its block and its pixels, and
// that block is still its own: the next image does not take it.
TEST_F(VirtualDIBList, ImageThatCannotGrowKeepsItsBlock)
{
    const int code = ExitCodeOfChild([] {
        TKVVirtualDIBList list;
        TKVBitmap picture, back, expected;
        TKVVirtualImageInfo* image = AddFilled(list, 40, 40, 1);
        TKVVirtualImageInfo* other = AddFilled(list, 40, 40, 2);
        LimitFileSize(0x10000);
        Fill(picture, 200, 200, 3);
        list.CopyFromKVBitmap(image, &picture);
        list.CopyToKVBitmap(image, &back);
        Fill(expected, 40, 40, 1);
        if (!SameRows(back, expected))
            return 1;
        TKVVirtualImageInfo* added = AddFilled(list, 40, 40, 4);
        if (added == nullptr || added->Position == image->Position)
            return 2;
        list.CopyToKVBitmap(image, &back);
        if (!SameRows(back, expected))
            return 3;
        list.CopyToKVBitmap(other, &back);
        Fill(expected, 40, 40, 2);
        return SameRows(back, expected) ? 0 : 4;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(VirtualDIBList, NoTemporaryFileGivesNoImage)
{
    // A folder under a plain file cannot be made, even by the superuser.
    const std::string plainFile = Folder() + "plain";
    std::ofstream(plainFile) << "x";
    Korvaneio::DefTEMPPATH = plainFile + "/sub/";
    TKVVirtualDIBList list;
    TKVBitmap bitmap;
    Fill(bitmap, 4, 4, 1);
    EXPECT_EQ(list.AddKVBitmap(&bitmap), nullptr);
    EXPECT_EQ(list.AddBlankImage(4, 4, 24), nullptr);
    EXPECT_EQ(list.GetImageCount(), 0);
    Korvaneio::DefTEMPPATH = Folder();

    // A file that cannot grow: the first images fit, the one that needs more room is refused.
    const int code = ExitCodeOfChild([] {
        TKVVirtualDIBList limited;
        TKVBitmap picture;
        Fill(picture, 100, 100, 1);
        LimitFileSize(0x10000 + 0x8000);
        if (limited.AddKVBitmap(&picture) == nullptr)
            return 1;
        for (int i = 0; i < 10; ++i)
            if (limited.AddKVBitmap(&picture) == nullptr)
                return limited.GetImageCount() >= 1 ? 0 : 2;
        return 3;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(VirtualDIBList, TenThousandThumbnailsComeBackInLittleMemory)
{
    constexpr int32_t kCount = 10000;
    TKVVirtualDIBList list;
    TKVBitmap thumbnail, back;
    thumbnail.MinFileSize = back.MinFileSize = INT32_MAX;
    thumbnail.SetLocation(kvMemory);
    back.SetLocation(kvMemory);
    Fill(thumbnail, 160, 120, 0);
    Fill(back, 160, 120, 0);
    list.PrepareSpaceFor(160, 120, 24, kCount);
    std::vector<TKVVirtualImageInfo*> images;
    images.reserve(kCount);
    kvtest::ResetPeakResident();
    const int64_t startKb = kvtest::PeakResidentKb();
    size_t mostMapped = 0;
    for (int32_t i = 0; i < kCount; ++i) {
        Fill(thumbnail, 160, 120, uint32_t(i));
        images.push_back(list.AddKVBitmap(&thumbnail));
        ASSERT_NE(images.back(), nullptr);
        mostMapped = std::max(mostMapped, size_t(list.MappedCount()));
    }
    int32_t different = 0;
    for (int32_t i = 0; i < kCount; ++i) {
        list.CopyToKVBitmap(images[i], &back);
        Fill(thumbnail, 160, 120, uint32_t(i));
        different += !SameRows(back, thumbnail);
        mostMapped = std::max(mostMapped, size_t(list.MappedCount()));
    }
    EXPECT_EQ(different, 0);
    EXPECT_LE(mostMapped, 10u);
    EXPECT_LT(kvtest::PeakResidentKb() - startKb, 32 * 1024);
}
