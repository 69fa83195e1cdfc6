// The IPTC list: the IIM byte form with and without the image-resource header, its reader on
// malformed buffers, and the list stream.
#include "imaging/core/detail/le_stream.h"
#include "imaging/core/iptc_list.h"
#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ToBuffer(const TKVIPTCInfoList& list, bool header)
{
    std::vector<uint8_t> buffer;
    list.SaveToStandardBuffer(buffer, header);
    return buffer;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const std::vector<uint8_t> ResourceHeaderStart = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3',
                                                  '.', '0', 0,   '8', 'B', 'I', 'M', 4,   4,   0,   0};
const std::vector<uint8_t> RecordVersion = {0x1C, 2, 0, 0, 2, 0, 2};

} // namespace

TEST(IptcList, StandardBufferLayout)
{
    TKVIPTCInfoList list;
    list.AddStringItem(2, 0, "xx"); // the record version is written by the buffer itself
    list.AddStringItem(2, 5, "Title");
    list.AddStringItem(2, 25, ""); // empty data sets are left out
    list.AddStringItem(2, 120, "ab");

    const std::vector<uint8_t> sets = {0x1C, 2,    5, 0,   5, 'T', 'i', 't', 'l',
                                       'e',  0x1C, 2, 120, 0, 2,   'a', 'b'};
    // (5 + 5) + (5 + 2) = 17 bytes of data sets; 26 + 17 is odd, so one pad byte follows.
    EXPECT_EQ(ToBuffer(list, true), Concat({ResourceHeaderStart, {0, 0, 0, 17}, sets, {0}}));
    // 7 + 17 is even: no pad byte.
    EXPECT_EQ(ToBuffer(list, false), Concat({RecordVersion, sets}));
}

TEST(IptcList, ListsWithoutWritableDataSets)
{
    TKVIPTCInfoList empty;
    EXPECT_TRUE(ToBuffer(empty, true).empty());

    TKVIPTCInfoList versionOnly;
    versionOnly.AddStringItem(2, 0, "\x00\x02");
    EXPECT_EQ(ToBuffer(versionOnly, true), Concat({ResourceHeaderStart, {0, 0, 0, 0}}));
    EXPECT_EQ(ToBuffer(versionOnly, false), Concat({RecordVersion, {0}}));
}

TEST(IptcList, LongDataSetTakesTheExtendedLengthAndReadsBack)
{
    TKVIPTCInfoList list;
    std::string caption(40000, 'c');
    caption[39999] = 'z';
    list.AddStringItem(2, 120, caption);
    const std::vector<uint8_t> buffer = ToBuffer(list, true);
    ASSERT_EQ(buffer.size(), 26u + 9u + 40000u + 1u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 26, buffer.begin() + 35),
              (std::vector<uint8_t>{0x1C, 2, 120, 0x80, 0x04, 0, 0, 0x9C, 0x40}));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 22, buffer.begin() + 26),
              (std::vector<uint8_t>{0, 0, 0x9C, 0x49})); // 9 + 40000

    TKVIPTCInfoList loaded;
    loaded.LoadFromStandardBuffer(buffer.data(), static_cast<int64_t>(buffer.size()));
    ASSERT_EQ(loaded.GetCount(), 1);
    EXPECT_EQ(loaded.GetStrings(0), caption);
    EXPECT_EQ(loaded.GetInfo(0).Length, 40000);
}

TEST(IptcList, ReaderSkipsLeadingTextAndStopsAtWhatDoesNotFit)
{
    struct Case
    {
        const char* name;
        std::vector<uint8_t> buffer;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"text before the first tag", {'j', 'u', 'n', 'k', 0x1C, 2, 5, 0, 2, 'o', 'k'}, {"ok"}},
        {"stops at a byte that is no tag", {0x1C, 2, 5, 0, 1, 'a', 0x00, 0x1C, 2, 6, 0, 1, 'b'}, {"a"}},
        {"data running past the end", {0x1C, 2, 5, 0, 1, 'a', 0x1C, 2, 6, 0, 9, 'b'}, {"a"}},
        // The extended length needs 9 header bytes; only 7 are there.
        {"extended length cut off", {0x1C, 2, 5, 0, 1, 'a', 0x1C, 2, 6, 0x80, 4, 0, 0}, {"a"}},
        {"extended length beyond the buffer", {0x1C, 2, 6, 0x80, 4, 0x7F, 0xFF, 0xFF, 0xFF, 'x'}, {}},
        // A length with the top bit set counts by its absolute value (-2 here).
        {"negative extended length", {0x1C, 2, 6, 0x80, 4, 0xFF, 0xFF, 0xFF, 0xFE, 'h', 'i'}, {"hi"}},
        {"no tag at all", {'a', 'b', 'c'}, {}},
    };
    for (const Case& c : cases) {
        // A copy of exactly the case's size, so that ASan sees any read past it.
        std::vector<uint8_t> exact(c.buffer);
        TKVIPTCInfoList list;
        list.AddStringItem(1, 1, "old");
        list.LoadFromStandardBuffer(exact.data(), static_cast<int64_t>(exact.size()));
        ASSERT_EQ(list.GetCount(), static_cast<int32_t>(c.expected.size())) << c.name;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(list.GetStrings(static_cast<int32_t>(i)), c.expected[i]) << c.name;
        }
        EXPECT_FALSE(list.Changed()) << c.name;
    }
}

TEST(IptcList, ReaderFindsTheIptcResourceBehindTheImageResourceHeader)
{
    // A data set of 23 bytes makes the resource size 28 = 0x1C: the size field holds a tag byte.
    TKVIPTCInfoList list;
    list.AddStringItem(2, 120, std::string(23, 'k'));
    const std::vector<uint8_t> buffer = ToBuffer(list, true);
    ASSERT_EQ(buffer[25], 0x1C);
    TKVIPTCInfoList loaded;
    loaded.LoadFromStandardBuffer(buffer.data(), static_cast<int64_t>(buffer.size()));
    ASSERT_EQ(loaded.GetCount(), 1);
    EXPECT_EQ(loaded.GetDataSet(0), 120);
    EXPECT_EQ(loaded.GetStrings(0), std::string(23, 'k'));

    // Another resource first (resolution info, with a named resource and odd sizes) whose bytes
    // look like a data set.
    const std::vector<uint8_t> other =
        Concat({{'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0},
                {'8', 'B', 'I', 'M', 0x03, 0xED, 1, 'n', 0, 0, 0, 7},
                {0x1C, 2, 5, 0, 1, 'x', 0, 0},
                {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 7},
                {0x1C, 2, 5, 0, 2, 'o', 'k', 0}});
    loaded.LoadFromStandardBuffer(other.data(), static_cast<int64_t>(other.size()));
    ASSERT_EQ(loaded.GetCount(), 1);
    EXPECT_EQ(loaded.GetStrings(0), "ok");

    // Resources that run past the buffer, or no IPTC resource at all, give nothing.
    for (size_t cut : {size_t(20), size_t(30), size_t(40)}) {
        std::vector<uint8_t> shortened(other.begin(), other.begin() + static_cast<std::ptrdiff_t>(cut));
        loaded.LoadFromStandardBuffer(shortened.data(), static_cast<int64_t>(shortened.size()));
        EXPECT_EQ(loaded.GetCount(), 0) << cut;
    }
}

TEST(IptcList, ChangedFlagFollowsEditsButNotStandardBufferLoads)
{
    TKVIPTCInfoList list;
    EXPECT_FALSE(list.Changed());
    const std::vector<uint8_t> buffer = {0x1C, 2, 5, 0, 2, 'o', 'k'};
    list.LoadFromStandardBuffer(buffer.data(), static_cast<int64_t>(buffer.size()));
    EXPECT_FALSE(list.Changed());
    list.SetStrings(0, "new");
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(list.GetInfo(0).Length, 3);
    EXPECT_EQ(list.GetStrings(5), "");
    EXPECT_EQ(list.IndexOf(2, 5), 0);
    EXPECT_EQ(list.IndexOf(2, 6), -1);
}

TEST(IptcList, StreamRoundTripAndHostileStreams)
{
    TKVIPTCInfoList list;
    list.AddStringItem(2, 5, "Title");
    list.InsertStringItem(0, 2, 80, "Me");
    TMemoryStream stream;
    list.SaveToStream(stream);
    stream.SetPosition(0);
    TKVIPTCInfoList loaded;
    EXPECT_TRUE(loaded.LoadFromStream(stream));
    ASSERT_EQ(loaded.GetCount(), 2);
    EXPECT_EQ(loaded.GetDataSet(0), 80);
    EXPECT_EQ(loaded.GetStrings(0), "Me");
    EXPECT_EQ(loaded.GetStrings(1), "Title");
    EXPECT_TRUE(loaded.Changed());

    for (int32_t badLength : {-1, 0x7FFFFFFF}) {
        TMemoryStream hostile;
        KVLEStream::WriteI32(hostile, 0);
        KVLEStream::WriteI32(hostile, 1000000);
        KVLEStream::WriteI32(hostile, 2);
        KVLEStream::WriteI32(hostile, 5);
        KVLEStream::WriteI32(hostile, badLength);
        hostile.SetPosition(0);
        EXPECT_FALSE(loaded.LoadFromStream(hostile));
        EXPECT_EQ(loaded.GetCount(), 0);
    }
}
