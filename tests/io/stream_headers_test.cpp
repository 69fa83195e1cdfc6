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

// PCX pictures back to back with "PCX2" headers; an older "PCX" header has no length, so the
// stream is left where the decoder stopped.
TEST(StreamHeaders, PcxPicturesWithTheirHeaders)
{
    TKorvaneIO io(nullptr);
    io.StreamHeaders = true;
    TMemoryStream stream;
    FillPattern(*io.KVBitmap(), 20, 10);
    io.SaveToStreamPCX(stream);
    FillPattern(*io.KVBitmap(), 7, 13, 3);
    io.SaveToStreamPCX(stream);
    ASSERT_FALSE(io.Aborting);
    const std::string bytes = StreamBytes(stream);
    EXPECT_EQ(bytes.substr(0, 8), std::string("PCX2\0\0\0\0", 8));
    const int64_t firstEnd = 12 + LengthField(bytes, 0);

    stream.SetPosition(0);
    EXPECT_EQ(Korvaneio::FindStreamFormat(stream), 4);
    TKorvaneIO reader(nullptr);
    reader.StreamHeaders = true;
    reader.LoadFromStream(stream);
    EXPECT_FALSE(reader.Aborting);
    EXPECT_EQ(reader.KVBitmap()->GetWidth(), 20);
    EXPECT_EQ(stream.Position(), firstEnd);
    reader.LoadFromStreamPCX(stream);
    EXPECT_FALSE(reader.Aborting);
    EXPECT_TRUE(SamePixels(*reader.KVBitmap(), *io.KVBitmap()));
    EXPECT_EQ(stream.Position(), stream.Size());

    TMemoryStream older;
    older.WriteBuffer("PCX\0", 4);
    older.WriteBuffer(bytes.data() + firstEnd + 12, int64_t(bytes.size()) - firstEnd - 12);
    older.SetPosition(0);
    TKorvaneIO oldReader(nullptr);
    oldReader.StreamHeaders = true;
    oldReader.LoadFromStream(older);
    EXPECT_FALSE(oldReader.Aborting);
    EXPECT_EQ(oldReader.KVBitmap()->GetHeight(), 13);

    // Without the header the load fails unread; without StreamHeaders the bare data loads.
    TMemoryStream bare;
    bare.WriteBuffer(bytes.data() + 12, firstEnd - 12);
    bare.SetPosition(0);
    TKorvaneIO strict(nullptr);
    strict.StreamHeaders = true;
    strict.LoadFromStreamPCX(bare);
    EXPECT_TRUE(strict.Aborting);
    bare.SetPosition(0);
    TKorvaneIO plain(nullptr);
    plain.LoadFromStreamPCX(bare);
    EXPECT_FALSE(plain.Aborting);
    EXPECT_EQ(plain.KVBitmap()->GetWidth(), 20);
}

// A write that fails leaves no header behind for the next reader to trip over.
TEST(StreamHeaders, FailedPcxWriteLeavesTheStreamAsItWas)
{
    TKorvaneIO io(nullptr);
    io.StreamHeaders = true;
    io.KVBitmap()->Allocate(70000, 1, kv24RGB); // too wide for PCX's 16-bit line length
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    io.SaveToStreamPCX(stream);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(stream.Size(), 3);
    EXPECT_EQ(stream.Position(), 3);
}
