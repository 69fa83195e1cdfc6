// Compression over zlib: one-shot routines and the two streams, against zlib itself and on
// corrupt input.
#include "imaging/codecs/zlib/zstreams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Sample(size_t size)
{
    std::string text;
    std::mt19937 random(7);
    while (text.size() < size) {
        text += "gallery " + std::to_string(random() % 1000) + " ";
    }
    text.resize(size);
    return text;
}

// zlib's own decoder as the independent reference.
std::string Inflate(const std::string& data)
{
    std::vector<uint8_t> out(1 << 22);
    uLongf size = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(out.data(), &size, reinterpret_cast<const Bytef*>(data.data()), data.size()), Z_OK);
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(size));
}

std::string Deflate(const std::string& text)
{
    uLongf size = compressBound(text.size());
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
             text.size());
    out.resize(size);
    return out;
}

std::string ReadAll(TStream& stream, size_t piece)
{
    std::string text;
    std::vector<char> buffer(piece);
    for (;;) {
        const int64_t got = stream.Read(buffer.data(), static_cast<int64_t>(piece));
        if (got <= 0) {
            return text;
        }
        text.append(buffer.data(), static_cast<size_t>(got));
    }
}

} // namespace

TEST(ZLibOneShot, RoundTripsAtEveryLevelAndSize)
{
    for (size_t size : {size_t(0), size_t(1), size_t(255), size_t(70000), size_t(1) << 20}) {
        const std::string text = Sample(size);
        for (TZCompressionLevel level : {zcNone, zcFastest, zcDefault, zcMax}) {
            const std::string packed = Pngfilt::ZCompressStr(text, level);
            EXPECT_EQ(Inflate(packed), text) << size << " at level " << int(level);
            EXPECT_EQ(Pngfilt::ZDecompressStr(packed), text) << size;
        }
    }
    EXPECT_LE(Pngfilt::ZCompressStr("", zcDefault).size(), 12u); // a valid stream of a few bytes
}

TEST(ZLibOneShot, CorruptTruncatedOrDictionaryStreamsRaise)
{
    const std::string packed = Deflate(Sample(5000));
    std::string corrupt = packed;
    corrupt[5] ^= 0x55;
    corrupt[6] ^= 0x55;
    // A header announcing a preset dictionary: inflate would wait for it forever.
    const std::string needsDictionary("\x78\xBB\x00\x00\x00\x01\x03\x00", 8);
    struct Case
    {
        const char* name;
        std::string data;
        std::string message;
    };
    const Case cases[] = {{"corrupt", corrupt, "data error"},
                          {"truncated", packed.substr(0, packed.size() / 2), "buffer error"},
                          {"dictionary", needsDictionary, "data error"},
                          {"empty", std::string(), "buffer error"}};
    for (const Case& c : cases) {
        try {
            Pngfilt::ZDecompressStr(c.data);
            ADD_FAILURE() << c.name << " decoded";
        } catch (const EZDecompressionError& e) {
            EXPECT_EQ(e.Message(), c.message) << c.name;
        }
    }
}

TEST(ZLibStreams, WholeStreamRoutinesAppendAtTheOutputPosition)
{
    const std::string text = Sample(200000);
    TStringStream input("prefix" + text);
    input.SetPosition(6);
    TStringStream packed("head");
    packed.SetPosition(4);
    Pngfilt::ZCompressStream(input, packed, zcMax);
    EXPECT_EQ(packed.DataString().substr(0, 4), "head");
    EXPECT_EQ(Inflate(packed.DataString().substr(4)), text);

    packed.SetPosition(4);
    TStringStream unpacked;
    Pngfilt::ZDecompressStream(packed, unpacked);
    EXPECT_EQ(unpacked.DataString(), text);

    TStringStream cut(packed.DataString().substr(4, 100));
    TStringStream sink;
    EXPECT_THROW(Pngfilt::ZDecompressStream(cut, sink), EZDecompressionError);
}

TEST(ZLibStreams, CompressionStreamWritesAZlibStreamWhenFinished)
{
    const std::string text = Sample(300000);
    TStringStream target;
    int progress = 0;
    {
        TZCompressionStream zip(target, zcDefault);
        zip.OnProgress = [&progress](TObject*) { ++progress; };
        for (size_t at = 0; at < text.size(); at += 7777) {
            const std::string piece = text.substr(at, 7777);
            EXPECT_EQ(zip.Write(piece.data(), static_cast<int64_t>(piece.size())), int64_t(piece.size()));
        }
        EXPECT_EQ(zip.Seek(0, soCurrent), int64_t(text.size()));
        EXPECT_THROW(zip.Seek(10, soBeginning), EZCompressionError);
        char byte = 0;
        EXPECT_THROW(zip.Read(&byte, 1), EZCompressionError);
        zip.Finish();
        EXPECT_GT(zip.CompressionRate(), 50.0f);
        EXPECT_THROW(zip.Write("x", 1), EZCompressionError);
    }
    EXPECT_EQ(Inflate(target.DataString()), text);

    // The destructor finishes a stream that was never finished.
    TStringStream second;
    {
        TZCompressionStream zip(second, zcFastest);
        zip.Write(text.data(), 1000);
    }
    EXPECT_EQ(Inflate(second.DataString()), text.substr(0, 1000));
}

TEST(ZLibStreams, DecompressionStreamStopsRightAfterTheCompressedData)
{
    const std::string text = Sample(150000);
    TStringStream source("lead" + Deflate(text) + "TRAILER");
    source.SetPosition(4);
    TZDecompressionStream unzip(source);
    EXPECT_EQ(ReadAll(unzip, 1000), text);
    EXPECT_EQ(source.ReadString(7), "TRAILER");

    // Seeking to the start rewinds to where the compressed data began, not to the source's 0.
    EXPECT_EQ(unzip.Seek(0, soBeginning), 0);
    char first[7] = {};
    EXPECT_EQ(unzip.Read(first, 7), 7);
    EXPECT_EQ(std::string(first, 7), text.substr(0, 7));
    EXPECT_EQ(unzip.Seek(100, soCurrent), 107);
    EXPECT_EQ(unzip.Seek(200, soBeginning), 200);
    EXPECT_THROW(unzip.Seek(50, soBeginning), EZDecompressionError);
    EXPECT_THROW(unzip.Seek(-1, soCurrent), EZDecompressionError);
    EXPECT_EQ(unzip.Seek(0, soEnd), int64_t(text.size()));
    EXPECT_THROW(unzip.Write("x", 1), EZDecompressionError);
}

TEST(ZLibStreams, DecompressionStreamRaisesOnCorruptOrDictionaryData)
{
    std::string corrupt = Deflate(Sample(50000));
    corrupt[8] ^= 0x7F;
    corrupt[9] ^= 0x7F;
    for (const std::string& data : {corrupt, std::string("\x78\xBB\x00\x00\x00\x01\x03\x00", 8)}) {
        TStringStream source(data);
        TZDecompressionStream unzip(source);
        try {
            ReadAll(unzip, 4096);
            ADD_FAILURE() << "corrupt data read without an error";
        } catch (const EZDecompressionError& e) {
            EXPECT_EQ(e.Message(), "data error");
        }
    }
}
