// The JPEG marker list: editing limits and its stream form, including hostile streams.
#include "imaging/core/detail/le_stream.h"
#include "imaging/core/marker_list.h"
#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Bytes(const TKVMarkerList& list, int32_t index)
{
    const uint8_t* data = list.GetMarkerData(index);
    return std::vector<uint8_t>(data, data + list.GetMarkerLength(index));
}

} // namespace

TEST(MarkerList, StreamRoundTripKeepsTypesLengthsAndBytes)
{
    TKVMarkerList list;
    const std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0, 1, 2, 3};
    const std::vector<uint8_t> comment = {'h', 'i'};
    list.AddMarker(0xE1, exif.data(), static_cast<int32_t>(exif.size()));
    list.AddMarker(0xFE, comment.data(), 2);
    list.AddMarker(0xE2, nullptr, 0);

    TMemoryStream stream;
    list.SaveToStream(stream);
    EXPECT_EQ(stream.Size(), 1 + 4 + 3 * 5 + 9 + 2);
    stream.SetPosition(0);
    TKVMarkerList loaded;
    EXPECT_TRUE(loaded.LoadFromStream(stream));

    ASSERT_EQ(loaded.GetCount(), 3);
    EXPECT_EQ(loaded.GetMarkerType(0), 0xE1);
    EXPECT_EQ(Bytes(loaded, 0), exif);
    EXPECT_EQ(loaded.GetMarkerType(1), 0xFE);
    EXPECT_EQ(Bytes(loaded, 1), comment);
    EXPECT_EQ(loaded.GetMarkerLength(2), 0);
    EXPECT_EQ(loaded.IndexOf(0xFE), 1);
    EXPECT_EQ(loaded.IndexOf(0xE5), -1);
}

TEST(MarkerList, RefusesDataThatNoSegmentCanCarry)
{
    TKVMarkerList list;
    std::vector<uint8_t> data(65534, 7);
    EXPECT_EQ(list.AddMarker(0xE1, data.data(), 65534), -1);
    EXPECT_EQ(list.AddMarker(0xE1, data.data(), -1), -1);
    EXPECT_EQ(list.GetCount(), 0);
    ASSERT_EQ(list.AddMarker(0xE1, data.data(), 65533), 0);
    EXPECT_EQ(list.GetMarkerLength(0), 65533);

    list.SetMarker(0, 0xE2, data.data(), 65534);
    list.InsertMarker(0, data.data(), 0xE3, 70000);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetMarkerType(0), 0xE1);

    list.SetMarker(0, 0xFE, data.data(), 3);
    list.InsertMarker(0, data.data(), 0xE0, 1);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetMarkerType(0), 0xE0);
    EXPECT_EQ(list.GetMarkerType(1), 0xFE);
    EXPECT_EQ(list.GetMarkerLength(1), 3);
    list.DeleteMarker(0);
    EXPECT_EQ(list.GetMarkerType(0), 0xFE);
}

TEST(MarkerList, AssignCopiesEveryMarkerAndLeavesTheSourceAlone)
{
    TKVMarkerList source;
    const uint8_t data[] = {1, 2, 3};
    source.AddMarker(0xED, data, 3);
    TKVMarkerList copy;
    copy.AddMarker(0xE0, data, 1);
    copy.Assign(&source);
    source.SetMarker(0, 0xE1, data, 1);
    ASSERT_EQ(copy.GetCount(), 1);
    EXPECT_EQ(copy.GetMarkerType(0), 0xED);
    EXPECT_EQ(Bytes(copy, 0), (std::vector<uint8_t>{1, 2, 3}));
    copy.Assign(nullptr);
    EXPECT_EQ(copy.GetCount(), 1);
}

TEST(MarkerList, HostileStreamsEndTheLoadWithoutHugeAllocations)
{
    struct Case
    {
        const char* name;
        int32_t count;
        int32_t firstLength;
        int32_t bytesPresent;
        int32_t expectedMarkers;
    };
    const Case cases[] = {
        {"negative count", -5, 0, 0, 0},
        {"count beyond the stream", 0x7FFFFFFF, 2, 2, 1},
        {"length beyond the stream", 1, 0x7FFFFFF0, 10, 0},
        {"negative length", 1, -1, 0, 0},
        {"data cut short", 1, 10, 4, 0},
    };
    for (const Case& c : cases) {
        TMemoryStream stream;
        KVLEStream::WriteU8(stream, 0);
        KVLEStream::WriteI32(stream, c.count);
        KVLEStream::WriteU8(stream, 0xE1);
        KVLEStream::WriteI32(stream, c.firstLength);
        std::vector<uint8_t> payload(static_cast<size_t>(c.bytesPresent), 9);
        stream.WriteBuffer(payload.data(), c.bytesPresent);
        stream.SetPosition(0);
        TKVMarkerList list;
        EXPECT_FALSE(list.LoadFromStream(stream)) << c.name;
        EXPECT_EQ(list.GetCount(), c.expectedMarkers) << c.name;
    }
}
