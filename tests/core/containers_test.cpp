// Hash set, value lists, byte array, stream helpers, bit arithmetic and file queries of the core.
#include "imaging/core/bit_utils.h"
#include "imaging/core/file_utils.h"
#include "imaging/core/geometry_helpers.h"
#include "imaging/core/hash_table.h"
#include "imaging/core/kvlists.h"
#include "imaging/core/stream_utils.h"
#include "platform/core/exceptions.h"
#include "platform/core/lists.h"
#include "platform/core/streams.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

using namespace Daduvudez;

TEST(Hash1, ChainsCollisionsAndFindsEachKeysOwnValue)
{
    THash1 hash(0); // one bucket: every key after the first chains
    for (int32_t key : {7, 3, 9}) {
        int32_t bucket;
        THash1Item* item;
        ASSERT_TRUE(hash.Insert2(key, bucket, item));
        hash.SetValue(bucket, item, key * 10);
    }
    EXPECT_EQ(hash.Count(), 3);
    // Inserting a present key reports false and hands back that key's own value slot.
    for (int32_t key : {7, 3, 9}) {
        int32_t bucket;
        THash1Item* item;
        EXPECT_FALSE(hash.Insert2(key, bucket, item));
        EXPECT_EQ(hash.GetValue(bucket, item), key * 10) << key;
        hash.SetValue(bucket, item, hash.GetValue(bucket, item) + 1);
    }
    EXPECT_EQ(hash.Count(), 3);
    std::vector<int32_t> values;
    for (bool more = hash.IterateBegin(); more; more = hash.IterateNext())
        values.push_back(hash.IterateGetValue());
    EXPECT_EQ(values, (std::vector<int32_t>{71, 31, 91})); // chain order
    EXPECT_TRUE(hash.KeyPresent(9));
    EXPECT_FALSE(hash.KeyPresent(8));
}

TEST(Hash1, IteratesInBucketOrder)
{
    THash1 hash(4);
    for (int32_t key : {0x25, 0x03, 0x13, 0x0F}) {
        int32_t bucket;
        THash1Item* item;
        hash.Insert2(key, bucket, item);
        hash.SetValue(bucket, item, key);
    }
    std::vector<int32_t> values;
    for (bool more = hash.IterateBegin(); more; more = hash.IterateNext())
        values.push_back(hash.IterateGetValue());
    EXPECT_EQ(values, (std::vector<int32_t>{0x03, 0x13, 0x25, 0x0F}));
    THash1 empty(3);
    EXPECT_FALSE(empty.IterateBegin());
}

TEST(KVLists, KeepItemsRangesAndChanges)
{
    TKVIntegerList list;
    EXPECT_EQ(list.ItemSize(), 4);
    list.Add(5);
    list.Add(7);
    list.Insert(0, 3);
    list.Insert(10, 9); // past the end appends
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ((std::array{list.GetItem(0), list.GetItem(1), list.GetItem(2), list.GetItem(3)}),
              (std::array{3, 5, 7, 9}));
    EXPECT_EQ(list.IndexOf(7), 2);
    EXPECT_EQ(list.IndexOf(8), -1);
    list.Delete(1);
    list.Delete(99);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Changed, kvlItems);
    list.SetRangeMin(1);
    list.SetCurrentValue(4);
    EXPECT_EQ(list.Changed, kvlItems | kvlRange | kvlCurrentValue);

    TKVIntegerList copy;
    copy.Assign(&list);
    EXPECT_EQ(copy.Count(), 3);
    EXPECT_EQ(copy.GetItem(2), 9);
    EXPECT_EQ(copy.RangeMin(), 1);
    EXPECT_EQ(copy.CurrentValue(), 4);
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_EQ(copy.Changed, 0);
    EXPECT_EQ(copy.RangeMin(), 0);

    TKVDoubleList doubles;
    doubles.Add(0.5);
    EXPECT_EQ(doubles.ItemSize(), 8);
    EXPECT_EQ(doubles.IndexOf(0.5), 0);
}

TEST(KVLists, RecordListKeepsRecordsOfItsSize)
{
    struct Segment
    {
        int32_t y, left, right, dy;
    };
    TKVRecordList list(sizeof(Segment));
    for (int32_t i = 0; i < 1000; ++i) {
        const Segment s{i, -i, i * 2, i % 2 ? 1 : -1};
        EXPECT_EQ(list.Add(&s), i);
    }
    const Segment first{-5, 0, 0, 1};
    list.Insert(0, &first);
    const Segment probe{500, -500, 1000, -1};
    EXPECT_EQ(list.IndexOf(&probe), 501);
    list.SetItem(501, &first);
    EXPECT_EQ(list.IndexOf(&first), 0);
    EXPECT_EQ(static_cast<Segment*>(list.GetItem(1000))->right, 1998);
    list.SetCount(list.Count() - 1); // popping the last record keeps the others
    EXPECT_EQ(list.Count(), 1000);
    EXPECT_EQ(static_cast<Segment*>(list.GetItem(999))->y, 998);
    list.Clear();
    EXPECT_EQ(list.ItemSize(), int32_t(sizeof(Segment)));
}

TEST(KVByteArray, GrowsInBlocksAndAppendsWhatTheStreamHolds)
{
    TKVByteArray bytes;
    EXPECT_EQ(bytes.Capacity(), 8192);
    for (int i = 0; i < 8193; ++i)
        bytes.AddByte(uint8_t(i));
    EXPECT_EQ(bytes.Size(), 8193);
    EXPECT_EQ(bytes.Capacity(), 8193 + 8192);
    EXPECT_EQ(bytes.Data()[8192], uint8_t(8192));
    bytes.SetSize(10); // far below the capacity: shrinks, keeping the first bytes
    EXPECT_EQ(bytes.Capacity(), 10 + 8192);
    EXPECT_EQ(bytes.Data()[9], 9);

    TMemoryStream stream;
    const char text[] = "0123456789";
    stream.WriteBuffer(text, 10);
    stream.SetPosition(0);
    EXPECT_EQ(bytes.AppendFromStream(&stream, 100000), 10);
    EXPECT_EQ(bytes.Size(), 20);
    EXPECT_EQ(bytes.Data()[19], '9');
    bytes.Clear();
    EXPECT_EQ(bytes.Size(), 0);
}

TEST(NulStream, CountsWithoutStoring)
{
    TNulStream stream;
    char buffer[10] = {};
    EXPECT_EQ(stream.Write(buffer, 10), 10);
    stream.Seek(0, soBeginning);
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(stream.Size(), 10);
    EXPECT_EQ(stream.Position(), 4);
    EXPECT_EQ(stream.Seek(-2, soEnd), 8);
    stream.Seek(5, soCurrent);
    EXPECT_EQ(stream.Size(), 13);
}

TEST(StreamStrings, RoundTripAndBoundLengthsByTheStream)
{
    TMemoryStream stream;
    SaveStringToStream(&stream, "korvane");
    TStringList list;
    list.Add("one");
    list.Add("");
    list.Add("three");
    SaveStringListToStream(&stream, &list);
    stream.SetPosition(0);
    std::string text;
    LoadStringFromStream(&stream, text);
    EXPECT_EQ(text, "korvane");
    TStringList loaded;
    LoadStringListFromStream(&stream, &loaded);
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_EQ(loaded.Strings(2), "three");

    // A hostile length or count reads what is there and no more.
    TMemoryStream hostile;
    const int32_t huge = 0x7FFFFFF0;
    hostile.WriteBuffer(&huge, 4);
    hostile.WriteBuffer("abc", 3);
    hostile.SetPosition(0);
    LoadStringFromStream(&hostile, text);
    EXPECT_EQ(text, "abc");
    hostile.SetPosition(0);
    LoadStringListFromStream(&hostile, &loaded);
    EXPECT_EQ(loaded.Count(), 0); // the count leaves no room for even one length
    const int32_t negative = -5;
    TMemoryStream negativeLength;
    negativeLength.WriteBuffer(&negative, 4);
    negativeLength.SetPosition(0);
    LoadStringFromStream(&negativeLength, text);
    EXPECT_EQ(text, "");
}

TEST(BitArithmetic, CountsRowsBitsAndColours)
{
    EXPECT_EQ(_BitmapRowLen(1, 1), 4);
    EXPECT_EQ(_BitmapRowLen(3, 24), 12);
    EXPECT_EQ(_BitmapRowLen(5, 24), 16);
    EXPECT_EQ(_BitmapRowLen(2000000000, 32), 8000000000); // no int32 wrap
    EXPECT_EQ(_PixelFormat2RowLen(5, pf24bit), 16);
    EXPECT_EQ(_Pixelformat2BitCount(pf15bit), 15);
    EXPECT_EQ(_Pixelformat2BitCount(pfDevice), 0);
    EXPECT_EQ(_Bitcount2Pixelformat(4), pf4bit);
    EXPECT_EQ(_Bitcount2Pixelformat(12), pfCustom);

    struct Case
    {
        int32_t colours, bits;
    };
    for (const Case& c : {Case{256, 8}, Case{257, 9}, Case{1, 0}, Case{0, -1}, Case{2, 1}, Case{255, 8}})
        EXPECT_EQ(_NColToBitsPixel(c.colours), c.bits) << c.colours;
    EXPECT_EQ(_GetBitCount(0x07E0), 6);
    EXPECT_EQ(_GetBitCount(0), 0);
    EXPECT_EQ(_GetBitCount(0xF800), 5);
    EXPECT_EQ(_GetNumCol(8, 3), int64_t(1) << 24);
    EXPECT_EQ(_GetNumCol(16, 3), int64_t(1) << 48); // 48-bit colour, once 0
    EXPECT_EQ(_GetNumCol(32, 2), INT64_MAX);
    EXPECT_EQ(_GetNumCol(8, 0), 1);

    uint8_t b = 0x01;
    ReverseBitsB(b);
    EXPECT_EQ(b, 0x80);
    uint32_t d = 0x00000003;
    ReverseBits(d);
    EXPECT_EQ(d, 0xC0000000u);
    EXPECT_EQ(KVSwapWord(0x1234), 0x3412);
    EXPECT_EQ(KVSwapDWord(0x12345678u), 0x78563412u);
    EXPECT_EQ(kvbitmask1[3], 0x10);
}

TEST(BitArithmetic, RaisesPowersForGammaTables)
{
    EXPECT_EQ(KVPower(5, 0), 1);
    EXPECT_EQ(KVPower(0, 2.5), 0);
    EXPECT_EQ(KVPower(3, 4), 81);
    EXPECT_EQ(KVPower(2, -2), 0.25);
    EXPECT_NEAR(double(KVPower(4, 0.5)), 2.0, 1e-15);
}

TEST(RectangleTests, HitAndOverlap)
{
    EXPECT_TRUE(_InRect(5, 5, 0, 0, 5, 5));
    EXPECT_FALSE(_InRect(6, 5, 0, 0, 5, 5));
    EXPECT_TRUE(_InRectO(2, 2, 5, 5, 0, 0));
    EXPECT_TRUE(_RectXRect(10, 10, 0, 0, 10, 10, 20, 20)); // shared corner
    EXPECT_FALSE(_RectXRect(0, 0, 9, 9, 10, 0, 20, 20));
    EXPECT_EQ(_RectPRect(0, 0, 10, 10, 2, 2, 8, 8), 2);
    EXPECT_EQ(_RectPRect(0, 0, 10, 10, 5, 5, 15, 15), 1);
    EXPECT_EQ(_RectPRect(0, 0, 10, 10, 11, 11, 15, 15), 0);
}

TEST(RectangleTests, SnapsPolygonPointsToAxesAndDiagonals)
{
    struct Case
    {
        int32_t x, y, snappedX, snappedY;
    };
    // Reference point (100, 100).
    for (const Case& c : {Case{140, 105, 140, 100}, // 40 right, 5 below: horizontal
                          Case{103, 150, 100, 150}, // vertical
                          Case{90, 88, 90, 90},     // up-left: the longer distance shortened
                          Case{110, 115, 115, 115}, // down-right: the shorter distance lengthened
                          Case{100, 100, 100, 100}}) {
        int32_t x = c.x, y = c.y;
        _CastPolySelCC(100, 100, x, y);
        EXPECT_EQ((std::array{x, y}), (std::array{c.snappedX, c.snappedY})) << c.x << "," << c.y;
    }
}

TEST(FileQueries, SizesFilesInSixtyFourBits)
{
    char name[] = "/tmp/kvsizeXXXXXX";
    const int handle = mkstemp(name);
    ASSERT_GE(handle, 0);
    // A sparse file just past 4 GiB: its size must not wrap.
    ASSERT_EQ(ftruncate(handle, (int64_t(1) << 32) + 7), 0);
    close(handle);
    EXPECT_EQ(_getfilesize(name), (int64_t(1) << 32) + 7);
    unlink(name);
    EXPECT_EQ(_getfilesize(name), -1);
    EXPECT_THROW(KVForceDirectories(""), Exception);
    EXPECT_GT(KVGetFreeMemory(), 0);
}
