// The 12-byte stream header around JPEG data: its bytes, several pictures in one stream, and a
// header whose length cannot be right.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "tests/io/io_test_support.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace kviotest;

namespace {

int32_t LengthField(const std::string& bytes, size_t at)
{
    int32_t length = 0;
    std::memcpy(&length, bytes.data() + at + 8, 4);
    return length;
}

} // namespace

TEST(StreamHeaders, JpegDataIsPrecededByItsTagAndLength)
{
    TKorvaneIO io(nullptr);
    io.StreamHeaders = true;
    FillPattern(*io.KVBitmap(), 20, 10);
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    io.SaveToStreamJpeg(stream);
    ASSERT_FALSE(io.Aborting);
    const std::string bytes = StreamBytes(stream);
    EXPECT_EQ(bytes.substr(3, 8), std::string("JFIF\0\0\0\0", 8));
    EXPECT_EQ(LengthField(bytes, 3), int32_t(bytes.size() - 3 - 12));
    EXPECT_EQ(bytes.substr(15, 3), "\xff\xd8\xff");
    EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(StreamHeaders, TwoPicturesInOneStreamLoadOneAfterTheOther)
{
    TKorvaneIO io(nullptr);
    io.StreamHeaders = true;
    TMemoryStream stream;
    FillPattern(*io.KVBitmap(), 20, 10);
    io.SaveToStreamJpeg(stream);
    FillPattern(*io.KVBitmap(), 7, 13);
    io.SaveToStreamJpeg(stream);
    ASSERT_FALSE(io.Aborting);
    const int64_t firstEnd = 12 + LengthField(StreamBytes(stream), 0);

    // Headers are honoured on loading whatever StreamHeaders says.
    for (const bool headers : {true, false}) {
        SCOPED_TRACE(headers);
        TKorvaneIO reader(nullptr);
        reader.StreamHeaders = headers;
        stream.SetPosition(0);
        EXPECT_EQ(Korvaneio::FindStreamFormat(stream), 3);
        reader.LoadFromStream(stream);
        EXPECT_FALSE(reader.Aborting);
        EXPECT_EQ(reader.KVBitmap()->GetWidth(), 20);
        EXPECT_EQ(stream.Position(), firstEnd);
        reader.LoadFromStreamJpeg(stream);
        EXPECT_FALSE(reader.Aborting);
        EXPECT_EQ(reader.KVBitmap()->GetWidth(), 7);
        EXPECT_EQ(reader.KVBitmap()->GetHeight(), 13);
        EXPECT_EQ(stream.Position(), stream.Size());
    }
}

TEST(StreamHeaders, JpegWithoutHeaderLoadsFromWhereTheStreamIs)
{
    TMemoryStream stream;
    stream.WriteBuffer("xyz", 3);
    TMemoryStream jpeg;
    jpeg.LoadFromFile(GoImage("video-001.jpeg"));
    stream.CopyFrom(jpeg, 0);
    stream.SetPosition(3);
    TKorvaneIO io(nullptr);
    io.StreamHeaders = true;
    io.LoadFromStreamJpeg(stream);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 150);
}

// A length that is negative or runs past the end is refused before any decoding, and the
// stream is not moved beyond its end.
TEST(StreamHeaders, LengthBeyondTheStreamAborts)
{
    TKorvaneIO writer(nullptr);
    writer.StreamHeaders = true;
    FillPattern(*writer.KVBitmap(), 8, 8);
    TMemoryStream good;
    writer.SaveToStreamJpeg(good);
    const std::string bytes = StreamBytes(good);
    for (const int32_t length : {int32_t(bytes.size()), -1, int32_t(0x7fffffff)}) {
        SCOPED_TRACE(length);
        std::string corrupt = bytes;
        std::memcpy(corrupt.data() + 8, &length, 4);
        TMemoryStream stream;
        stream.WriteBuffer(corrupt.data(), int64_t(corrupt.size()));
        stream.SetPosition(0);
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 3, 3);
        io.LoadFromStreamJpeg(stream);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 3);
        EXPECT_LE(stream.Position(), stream.Size());
    }
}
