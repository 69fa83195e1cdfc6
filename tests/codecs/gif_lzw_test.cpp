// The GIF LZW coders: round trips, interlace order, the deferred clear and corrupt code streams.
#include "imaging/codecs/gif/gif_lzw.h"

#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using Giflzw::GIFLZWCompress;
using Giflzw::GIFLZWDecompress;
using Giflzw::GIFNONLZWCompress;

// Packs codes least significant bit first into sub-blocks, the way a GIF encoder lays them out.
class CodeStream
{
public:
    explicit CodeStream(int minCodeSize) : FMinCodeSize(minCodeSize) {}

    CodeStream& Code(int code, int width)
    {
        FAccumulator |= uint64_t(code) << FBits;
        FBits += width;
        while (FBits >= 8) {
            FBytes.push_back(uint8_t(FAccumulator));
            FAccumulator >>= 8;
            FBits -= 8;
        }
        return *this;
    }

    std::vector<uint8_t> Bytes() const
    {
        std::vector<uint8_t> data = FBytes;
        if (FBits > 0)
            data.push_back(uint8_t(FAccumulator));
        std::vector<uint8_t> out{uint8_t(FMinCodeSize)};
        for (size_t i = 0; i < data.size(); i += 255) {
            size_t n = std::min<size_t>(255, data.size() - i);
            out.push_back(uint8_t(n));
            out.insert(out.end(), data.begin() + i, data.begin() + i + n);
        }
        out.push_back(0);
        return out;
    }

private:
    int FMinCodeSize;
    std::vector<uint8_t> FBytes;
    uint64_t FAccumulator = 0;
    int FBits = 0;
};

void Load(TMemoryStream& stream, const std::vector<uint8_t>& bytes)
{
    stream.Clear();
    stream.Write(bytes.data(), int64_t(bytes.size()));
    stream.SetPosition(0);
}

struct DecodeResult
{
    bool Moved;
    int64_t Position;
    std::vector<uint8_t> Pixels;
    int64_t Written; // what the decoder says it wrote
};

DecodeResult Decode(const std::vector<uint8_t>& bytes, int32_t width, int32_t height, bool interlaced = false)
{
    TMemoryStream stream;
    Load(stream, bytes);
    DecodeResult result{false, 0, std::vector<uint8_t>(size_t(width) * size_t(height), 0), 0};
    result.Written = GIFLZWDecompress(stream, height, width, interlaced, result.Pixels.data());
    result.Position = stream.Position();
    result.Moved = result.Position != 0;
    return result;
}

std::vector<uint8_t> RandomIndexes(size_t count, int bits, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels(count);
    for (auto& p : pixels)
        p = uint8_t(random() & ((1u << bits) - 1));
    return pixels;
}

using Compressor = int32_t (*)(TStream&, int32_t, int32_t, bool, const uint8_t*, int32_t);

TEST(GifLzw, RoundTripsThroughBothEncoders)
{
    struct Case
    {
        int32_t width, height, bits;
        bool interlaced;
        bool runs; // long runs of one value rather than noise
    };
    const Case cases[] = {
        {1, 1, 1, false, false},    {9, 3, 1, false, false},    {5, 7, 2, true, false},
        {31, 17, 3, false, false},  {64, 64, 4, true, true},    {100, 100, 8, false, false},
        {640, 480, 8, false, true}, {333, 250, 8, true, false}, {1000, 3, 5, false, true},
    };
    const std::pair<const char*, Compressor> encoders[] = {{"LZW", GIFLZWCompress},
                                                           {"non-LZW", GIFNONLZWCompress}};
    for (const auto& c : cases) {
        std::vector<uint8_t> pixels =
            RandomIndexes(size_t(c.width) * size_t(c.height), c.bits, unsigned(c.width));
        if (c.runs)
            for (size_t i = 0; i < pixels.size(); i++)
                pixels[i] = uint8_t((i / 97) & ((1u << c.bits) - 1));
        for (const auto& [name, encode] : encoders) {
            SCOPED_TRACE(testing::Message() << name << " " << c.width << "x" << c.height << " bits " << c.bits
                                            << (c.interlaced ? " interlaced" : ""));
            TMemoryStream stream;
            encode(stream, c.height, c.width, c.interlaced, pixels.data(), c.bits);
            // A trailing byte shows that the decoder stops at the terminator.
            uint8_t trailer = 0x3B;
            stream.Write(&trailer, 1);
            std::vector<uint8_t> bytes(size_t(stream.Size()));
            std::memcpy(bytes.data(), stream.Memory(), bytes.size());
            EXPECT_EQ(bytes[0], std::max(c.bits, 2));
            DecodeResult decoded = Decode(bytes, c.width, c.height, c.interlaced);
            EXPECT_EQ(decoded.Position, int64_t(bytes.size()) - 1);
            EXPECT_EQ(decoded.Pixels, pixels);
            EXPECT_EQ(decoded.Written, int64_t(pixels.size()));
        }
    }
}

// A frame saved again must come out as it did before, byte for byte: which codes the encoder
// finds depends on how its hash table probes (a slot holding key 0 ends a probe), so its output
// is pinned for frames that fill and clear the table, an interlaced one, runs and one pixel.
TEST(GifLzw, EncoderWritesTheSameBytes)
{
    struct Case
    {
        int32_t width, height, bits;
        bool interlaced, runs;
        unsigned seed;
        int64_t size;
        uint64_t hash; // FNV-1a of the bytes written
    };
    const Case cases[] = {
        {300, 300, 8, false, false, 3, 123766, 0x980778c509655117},
        {640, 480, 2, true, false, 11, 88962, 0xc4e83720922d16ea},
        {1000, 3, 5, false, true, 5, 450, 0x775f2e2d0df3b395},
        {1, 1, 1, false, false, 1, 5, 0x58a1b55e1f6caddc},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bits " << c.bits);
        std::vector<uint8_t> pixels = RandomIndexes(size_t(c.width) * size_t(c.height), c.bits, c.seed);
        if (c.runs)
            for (size_t i = 0; i < pixels.size(); i++)
                pixels[i] = uint8_t((i / 97) & ((1u << c.bits) - 1));
        TMemoryStream stream;
        GIFLZWCompress(stream, c.height, c.width, c.interlaced, pixels.data(), c.bits);
        uint64_t hash = 1469598103934665603u;
        const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
        for (int64_t i = 0; i < stream.Size(); i++)
            hash = (hash ^ bytes[i]) * 1099511628211u;
        EXPECT_EQ(stream.Size(), c.size);
        EXPECT_EQ(hash, c.hash);
    }
}

TEST(GifLzw, InterlacedRowsAreStoredInPassOrder)
{
    // Row k of the stored data holds the value k; the decoder must place it at the k-th row of
    // the pass order 0, 8, 4, 12, 2, 6, 10, 14, 1, 3, ... 15.
    const int32_t width = 3, height = 16;
    std::vector<uint8_t> stored;
    for (int k = 0; k < height; k++)
        stored.insert(stored.end(), width, uint8_t(k));
    TMemoryStream stream;
    GIFLZWCompress(stream, height, width, false, stored.data(), 4);
    std::vector<uint8_t> bytes(size_t(stream.Size()));
    std::memcpy(bytes.data(), stream.Memory(), bytes.size());
    DecodeResult decoded = Decode(bytes, width, height, true);
    const int order[16] = {0, 8, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15};
    for (int k = 0; k < height; k++)
        EXPECT_EQ(decoded.Pixels[size_t(order[k]) * width], k) << "stored row " << k;
}

TEST(GifLzw, FullTableWithoutClearGoesOnAt12Bits)
{
    // Literal codes only: every code after the first adds an entry until the table is full.
    CodeStream codes(8);
    int width = 9, nextFree = 258;
    std::vector<uint8_t> expected;
    codes.Code(256, width);
    for (int i = 0; i < 5000; i++) {
        uint8_t pixel = uint8_t(i * 7);
        codes.Code(pixel, width);
        expected.push_back(pixel);
        if (i > 0 && nextFree < 4096 && ++nextFree == (1 << width) && width < 12)
            width++;
    }
    // A string code from the full table still decodes: code 300 is pixel 42 followed by 49.
    codes.Code(300, width);
    expected.push_back(uint8_t(42 * 7));
    expected.push_back(uint8_t(43 * 7));
    codes.Code(257, width);
    DecodeResult decoded = Decode(codes.Bytes(), int32_t(expected.size()), 1);
    EXPECT_TRUE(decoded.Moved);
    EXPECT_EQ(decoded.Pixels, expected);
}

TEST(GifLzw, RejectsMalformedCodeStreams)
{
    struct Case
    {
        const char* name;
        std::vector<uint8_t> bytes;
        int64_t written; // the pixels decoded before the fault
    };
    const Case cases[] = {
        {"code size 1", {1, 2, 0x44, 0x01, 0}, 0},
        {"code size 9", {9, 2, 0x00, 0x01, 0}, 0},
        {"code size 10", {10, 2, 0x00, 0x01, 0}, 0},
        {"empty stream", {}, 0},
        {"code past the next free code", CodeStream(2).Code(4, 3).Code(1, 3).Code(7, 3).Code(5, 3).Bytes(),
         1},
        {"string code right after a clear", CodeStream(2).Code(4, 3).Code(6, 3).Code(5, 3).Bytes(), 0},
        {"string code without a clear", CodeStream(2).Code(6, 3).Code(5, 3).Bytes(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeResult decoded = Decode(c.bytes, 2, 2);
        EXPECT_FALSE(decoded.Moved);
        EXPECT_EQ(decoded.Written, c.written);
    }
}

TEST(GifLzw, AcceptsLenientButValidStreams)
{
    struct Case
    {
        const char* name;
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> pixels;
        int64_t written; // fewer than 4: the frame ends short, which its reader tells from this
    };
    const Case cases[] = {
        // KwKwK: code 6 is the previous string plus its own first pixel.
        {"KwKwK", CodeStream(2).Code(4, 3).Code(1, 3).Code(6, 3).Code(5, 3).Bytes(), {1, 1, 1, 0}, 3},
        {"no clear code", CodeStream(2).Code(2, 3).Code(3, 3).Code(5, 3).Bytes(), {2, 3, 0, 0}, 2},
        // The last byte's padding bits read as one more code: pixel 0.
        {"no end code", CodeStream(2).Code(4, 3).Code(3, 3).Code(3, 3).Code(2, 3).Bytes(), {3, 3, 2, 0}, 4},
        {"double clears", CodeStream(2).Code(4, 3).Code(4, 3).Code(1, 3).Code(5, 3).Bytes(), {1, 0, 0, 0}, 1},
        {"clear then end", CodeStream(2).Code(4, 3).Code(5, 3).Code(3, 3).Bytes(), {0, 0, 0, 0}, 0},
        {"more pixels than the frame",
         CodeStream(2).Code(4, 3).Code(1, 3).Code(6, 3).Code(7, 3).Code(5, 4).Bytes(),
         {1, 1, 1, 1},
         4},
        {"no data", {2, 0}, {0, 0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeResult decoded = Decode(c.bytes, 2, 2);
        EXPECT_EQ(decoded.Position, int64_t(c.bytes.size()));
        EXPECT_EQ(decoded.Pixels, c.pixels);
        EXPECT_EQ(decoded.Written, c.written);
    }
}

TEST(GifLzw, TruncatedSubBlockKeepsDecodedPixels)
{
    std::vector<uint8_t> pixels = RandomIndexes(64 * 64, 8, 7);
    TMemoryStream stream;
    GIFLZWCompress(stream, 64, 64, false, pixels.data(), 8);
    std::vector<uint8_t> bytes(size_t(stream.Size()) / 2);
    std::memcpy(bytes.data(), stream.Memory(), bytes.size());
    DecodeResult decoded = Decode(bytes, 64, 64);
    EXPECT_EQ(decoded.Position, int64_t(bytes.size()));
    size_t same = 0;
    while (same < pixels.size() && decoded.Pixels[same] == pixels[same])
        same++;
    EXPECT_GT(same, pixels.size() / 3);
    for (size_t i = same + 4096; i < pixels.size(); i++)
        ASSERT_EQ(decoded.Pixels[i], 0) << i;
    EXPECT_GE(decoded.Written, int64_t(same));
    EXPECT_LT(decoded.Written, int64_t(same) + 4096);
}

TEST(GifLzw, EncoderClearsAFullTable)
{
    // Noise fills the 4096-entry table many times over; the stream stays decodable and the
    // encoder's clear codes keep it from growing past 12 bits.
    std::vector<uint8_t> pixels = RandomIndexes(300 * 300, 8, 3);
    TMemoryStream stream;
    GIFLZWCompress(stream, 300, 300, false, pixels.data(), 8);
    std::vector<uint8_t> bytes(size_t(stream.Size()));
    std::memcpy(bytes.data(), stream.Memory(), bytes.size());
    EXPECT_LT(bytes.size(), pixels.size() * 12 / 8 + pixels.size() / 200);
    EXPECT_EQ(Decode(bytes, 300, 300).Pixels, pixels);
}

} // namespace
