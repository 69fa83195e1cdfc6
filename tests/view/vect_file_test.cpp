// The vector layer's block: its exact bytes, blocks of every version from an independent writer
// (tests/tools/kvv_reference.py), save-load-save identity, blocks in a row, and corrupt blocks
// that must fail and leave the layer as it was.
#include "tests/support/peak_heap.h"
#include "tests/support/temp_folder.h"
#include "tests/view/vect_test_support.h"

#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace vecttest;

namespace {

const std::string Reference = std::string(KV_SOURCE_DIR) + "/tests/tools/kvv_reference.py";

std::string Bytes(TKorvaneVect* v)
{
    TMemoryStream s;
    v->SaveToStreamKVV(s);
    return std::string(static_cast<const char*>(s.Memory()), size_t(s.Size()));
}

std::string ReadFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Load(TKorvaneVect* v, const std::string& bytes)
{
    TMemoryStream s;
    s.Write(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(0);
    return v->LoadFromStreamKVV(s);
}

std::string HexOf(const std::string& s)
{
    return Hex(s.data(), s.size());
}

std::string Int32Bytes(int32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) {
        s[size_t(i)] = char(uint32_t(v) >> (8 * i));
    }
    return s;
}

// A zlib stream of prefix followed by zeros zeros, made without holding them.
std::string DeflatedWithZeros(const std::string& prefix, size_t zeros)
{
    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    std::string out;
    std::vector<uint8_t> chunk(1 << 20);
    std::vector<uint8_t> buffer(1 << 16);
    auto pump = [&](const uint8_t* in, size_t n, int flush) {
        z.next_in = const_cast<uint8_t*>(in);
        z.avail_in = uInt(n);
        do {
            z.next_out = buffer.data();
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - z.avail_out);
        } while (z.avail_in != 0 || z.avail_out == 0);
    };
    pump(reinterpret_cast<const uint8_t*>(prefix.data()), prefix.size(), Z_NO_FLUSH);
    for (size_t left = zeros; left > 0;) {
        const size_t n = std::min(left, chunk.size());
        pump(chunk.data(), n, Z_NO_FLUSH);
        left -= n;
    }
    pump(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return out;
}

// A version 0x40 block with no pictures around an objects section; length is the block's own
// length field when given.
std::string BlockAround(const std::string& section, int64_t length = -1)
{
    std::string block = "KVV@" + Int32Bytes(0);
    const double scale = 1.0;
    block.append(reinterpret_cast<const char*>(&scale), 8);
    block += Int32Bytes(0) + section;
    block.replace(4, 4, Int32Bytes(int32_t(length >= 0 ? length : int64_t(block.size()))));
    return block;
}

} // namespace

TEST(VectFile, EmptyAndFreshLayersSaveExactly)
{
    VectOnForm f;
    // A fresh layer: the template's picture is written as an empty entry.
    const std::string fresh = Bytes(f.vect);
    EXPECT_EQ(fresh.size(), 36u);
    EXPECT_EQ(HexOf(fresh.substr(16, 8)), "0100000000000000"); // N = 1, R = 0
    f.vect->AddNewObject();
    f.vect->RemoveAllObjects();
    EXPECT_EQ(HexOf(Bytes(f.vect)), "4b56564020000000000000000000f03f00000000789c63606060000000040001");
    // The template has its picture again after a load of a block that did not hold it.
    VectOnForm g;
    ASSERT_TRUE(Load(g.vect, fresh));
    EXPECT_NE(g.vect->GetObjBitmap(kvhTemplate), nullptr);
    EXPECT_EQ(g.vect->ObjectsCount(), 0);
}

TEST(VectFile, BlocksOfEveryVersionLoadToTheFieldsWritten)
{
    kvtest::TempFolder temp;
    for (int version = 0x31; version <= 0x40; ++version) {
        for (bool pictures : {true, false}) {
            SCOPED_TRACE(testing::Message() << std::hex << version << (pictures ? " pictures" : ""));
            const std::string file = temp.File("v.kvv");
            const std::string flag = pictures ? "" : " --no-pictures";
            RunCommand("/usr/bin/python3 " + Reference + " write " + std::to_string(version) + " " + file +
                       flag);
            const std::string expect =
                RunCommand("/usr/bin/python3 " + Reference + " expect " + std::to_string(version) + flag);
            ASSERT_FALSE(expect.empty());
            VectOnForm f;
            f.vect->RemoveAllObjects();
            ASSERT_TRUE(f.vect->LoadFromFileKVV(file));
            EXPECT_EQ(Dump(f.vect), expect);
            if (version == 0x31) {
                EXPECT_DOUBLE_EQ(f.vect->Scale(), 3.0);
            }
            if (version == 0x40 && !pictures) {
                // Our writer makes the independent writer's bytes (its rectangles put in order,
                // as the layer keeps them).
                RunCommand("/usr/bin/python3 " + Reference + " write 64 " + file +
                           " --no-pictures --ordered");
                EXPECT_EQ(HexOf(Bytes(f.vect)), HexOf(ReadFile(file)));
            }
            // What we write, the independent reader reads to the same fields.
            const std::string ours = temp.File("ours.kvv");
            f.vect->SaveToFileKVV(ours);
            std::string expect40 = RunCommand("/usr/bin/python3 " + Reference + " dump " + ours);
            EXPECT_EQ(expect40, Dump(f.vect));
        }
    }
}

TEST(VectFile, SaveLoadSaveIsIdenticalForEveryKind)
{
    kvtest::TempFolder temp;
    const std::string file = temp.File("v.kvv");
    RunCommand("/usr/bin/python3 " + Reference + " write 0x40 " + file);
    VectOnForm f;
    ASSERT_TRUE(f.vect->LoadFromFileKVV(file));
    // A kvkNONE object is written with no nested records and dropped on reading.
    f.vect->AddNewObject();
    const std::string first = Bytes(f.vect);
    VectOnForm g;
    ASSERT_TRUE(Load(g.vect, first));
    EXPECT_EQ(g.vect->ObjectsCount(), f.vect->ObjectsCount() - 1);
    const std::string second = Bytes(g.vect);
    VectOnForm h;
    ASSERT_TRUE(Load(h.vect, second));
    EXPECT_EQ(HexOf(Bytes(h.vect)), HexOf(second));
    EXPECT_EQ(Dump(h.vect), Dump(g.vect));
    // Both picture objects share one entry of count 2; the template's own entry is written empty.
    int32_t shared = -1;
    for (int32_t i = 0; i < h.vect->ObjectsCount(); ++i) {
        const TKVVObject& o = h.vect->Obj(h.vect->GetObjFromIndex(i));
        if (o.Kind == kvkBITMAP) {
            EXPECT_TRUE(shared < 0 || shared == o.BitmapIndex);
            shared = o.BitmapIndex;
        }
    }
    ASSERT_GE(shared, 0);
    EXPECT_EQ(h.vect->BitmapRefCount(shared), 2);
}

TEST(VectFile, BlocksInARowLoadInTurn)
{
    VectOnForm a, b;
    a.Add(kvkLINE, 1, 2, 3, 4);
    b.Add(kvkBOX, 5, 6, 7, 8);
    b.Add(kvkELLIPSE, 9, 9, 19, 19);
    TMemoryStream s;
    a.vect->SaveToStreamKVV(s);
    const int64_t firstEnd = s.Position();
    b.vect->SaveToStreamKVV(s);
    s.WriteBuffer("tail", 4);
    s.SetPosition(0);
    VectOnForm r;
    ASSERT_TRUE(r.vect->LoadFromStreamKVV(s));
    EXPECT_EQ(s.Position(), firstEnd);
    EXPECT_EQ(Dump(r.vect), Dump(a.vect));
    ASSERT_TRUE(r.vect->LoadFromStreamKVV(s));
    EXPECT_EQ(Dump(r.vect), Dump(b.vect));
    char tail[4];
    s.ReadBuffer(tail, 4);
    EXPECT_EQ(std::string(tail, 4), "tail");
}

TEST(VectFile, CorruptBlocksFailAndLeaveTheLayer)
{
    kvtest::TempFolder temp;
    RunCommand("/usr/bin/python3 " + Reference + " hostile " + temp.Path());
    std::vector<std::string> names;
    if (DIR* d = opendir(temp.Path().c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strstr(e->d_name, ".kvv")) {
                names.push_back(e->d_name);
            }
        }
        closedir(d);
    }
    ASSERT_GE(names.size(), 15u);
    // The CI corpus of the fuzz target as well.
    const std::string corpus = std::string(KV_TEST_DATA_DIR) + "/fuzz/kvv/";
    if (DIR* d = opendir(corpus.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') {
                names.push_back(corpus + e->d_name);
            }
        }
        closedir(d);
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadFile(name[0] == '/' ? name : temp.File(name));
        VectOnForm f;
        f.Add(kvkLINE, 1, 2, 3, 4);
        f.vect->SetObjText(f.Add(kvkTEXT, 0, 0, 9, 9), "kept");
        f.vect->SetScale(1.5);
        const std::string before = Dump(f.vect);
        bool loaded = false;
        try {
            loaded = Load(f.vect, bytes);
        } catch (const Exception&) {
        }
        // The corpus holds a few good blocks, named so.
        if (name.find("/valid-") == std::string::npos) {
            EXPECT_FALSE(loaded);
        }
        if (!loaded) {
            EXPECT_EQ(Dump(f.vect), before);
        }
    }
}

// Hostile blocks cost little memory: a few hundred kilobytes whose objects inflate a
// thousandfold, counts and lengths that claim what is not there. Each fails, the layer stays as it
// was, and the load never holds 200 MB.
TEST(VectFile, HostileBlocksFailWithinBoundedMemory)
{
    constexpr size_t Huge = size_t(256) << 20;
    // The first record's kind (after its nesting flag and rectangle) is one no layer knows.
    const std::string badKind = std::string(20, '\0') + '\xff';
    const struct
    {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"count-then-inflating-zeros", BlockAround(DeflatedWithZeros(Int32Bytes(INT32_MAX), Huge))},
        {"one-record-then-inflating-zeros", BlockAround(DeflatedWithZeros(Int32Bytes(1) + badKind, Huge))},
        {"count-fitting-zeros-of-a-bad-record",
         BlockAround(DeflatedWithZeros(Int32Bytes(int32_t((Huge / 8) / 38)) + badKind, Huge / 8))},
        {"count-past-section", BlockAround(DeflatedWithZeros(Int32Bytes(INT32_MAX), 64))},
        {"count-negative", BlockAround(DeflatedWithZeros(Int32Bytes(-1), 0))},
        {"length-2gb", BlockAround(DeflatedWithZeros(Int32Bytes(0), 0), INT32_MAX)},
        {"length-short", BlockAround(DeflatedWithZeros(Int32Bytes(0), 0), 12)},
        {"section-cut", BlockAround(DeflatedWithZeros(Int32Bytes(1), 1 << 20).substr(0, 200))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_LT(c.bytes.size(), size_t(1) << 20);
        VectOnForm f;
        f.Add(kvkLINE, 1, 2, 3, 4);
        f.vect->SetScale(2.5);
        const std::string before = Dump(f.vect);
        bool loaded = true;
        const int64_t peak = kvtest::PeakHeapOf([&] {
            try {
                loaded = Load(f.vect, c.bytes);
            } catch (const Exception&) {
                loaded = false;
            }
        });
        EXPECT_FALSE(loaded);
        EXPECT_EQ(Dump(f.vect), before);
        EXPECT_LT(peak, int64_t(200) << 20);
    }
    // A real layer that compresses far better than records usually do still loads.
    VectOnForm f;
    for (int i = 0; i < 2000; ++i) {
        f.Add(kvkBOX, 0, 0, 10, 10);
    }
    const std::string saved = Bytes(f.vect);
    VectOnForm g;
    ASSERT_TRUE(Load(g.vect, saved));
    EXPECT_EQ(Bytes(g.vect), saved);
}

TEST(VectFile, TextWithoutFontAndTheOldestVersions)
{
    VectOnForm f;
    const int32_t h = f.Add(kvkTEXT, 0, 0, 40, 10);
    f.vect->Obj(h).Font.reset();
    f.vect->SetObjText(h, "plain");
    VectOnForm g;
    ASSERT_TRUE(Load(g.vect, Bytes(f.vect)));
    EXPECT_FALSE(g.vect->Obj(g.vect->GetObjFromIndex(0)).Font.has_value());
    EXPECT_EQ(g.vect->GetObjText(g.vect->GetObjFromIndex(0)), "plain");
    // Another magic or a version out of range: false before anything changes.
    std::string bytes = Bytes(f.vect);
    for (uint8_t version : {uint8_t(0x30), uint8_t(0x41)}) {
        bytes[3] = char(version);
        EXPECT_FALSE(Load(g.vect, bytes));
        EXPECT_EQ(g.vect->ObjectsCount(), 1);
    }
}

// The bounded inflate gives a stream's bytes whole up to its limit and refuses the rest, however
// many times its output grows on the way.
TEST(VectFile, InflateStopsAtItsLimitAndKeepsEveryByte)
{
    // A megabyte that packs tenfold or more, so the output outgrows its first guess.
    std::string mixed(1u << 20, '\0');
    for (uint32_t i = 0, seed = 7; i < mixed.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        mixed[i] = char((seed >> 16) % 64 == 0 ? (seed >> 8) : 'a' + i % 13);
    }
    const std::string small = "A short record section";
    auto deflated = [](const std::string& s) {
        uLongf n = compressBound(uLong(s.size()));
        std::string out(n, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(s.data()),
                  uLong(s.size()), Z_BEST_COMPRESSION);
        out.resize(n);
        return out;
    };
    const std::string packed = deflated(mixed);
    const std::string packedSmall = deflated(small);
    ASSERT_LT(packed.size() * 4, mixed.size());
    std::string flipped = packedSmall;
    flipped[flipped.size() - 1] = char(flipped.back() ^ 1); // the checksum no longer matches
    const struct
    {
        const char* name;
        std::string in;
        size_t limit;
        const std::string* expected; // null: refused
    } cases[] = {
        {"many-growths", packed, size_t(64) << 20, &mixed},
        {"exactly-the-limit", packed, mixed.size(), &mixed},
        {"one-byte-over", packed, mixed.size() - 1, nullptr},
        {"small-exact", packedSmall, small.size(), &small},
        {"small-over", packedSmall, small.size() - 1, nullptr},
        {"limit-zero", packedSmall, 0, nullptr},
        {"trailing-bytes-ignored", packedSmall + "tail", 1000, &small},
        {"cut-in-the-middle", packed.substr(0, packed.size() / 2), size_t(64) << 20, nullptr},
        {"cut-before-checksum", packedSmall.substr(0, packedSmall.size() - 2), 1000, nullptr},
        {"bad-checksum", flipped, 1000, nullptr},
        {"empty", "", 1000, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out = {1, 2, 3};
        const bool ok =
            Kvvect::detail::Inflate(reinterpret_cast<const uint8_t*>(c.in.data()), c.in.size(), c.limit, out);
        ASSERT_EQ(ok, c.expected != nullptr);
        const std::string got(out.begin(), out.end());
        EXPECT_TRUE(c.expected ? got == *c.expected : got.empty());
    }
}

// A group record gives the records nested in it, read in order after what the list held; a
// group nested too deep is refused; names and texts end at a NUL.
TEST(VectFile, GroupRecordsGiveTheirNestedRecordsInOrder)
{
    using Kvvect::detail::TByteWriter;
    TKVVObject line;
    line.Kind = kvkLINE;
    line.x1 = 1, line.y1 = 2, line.x2 = 30, line.y2 = 40;
    line.Name = std::string("first\0hidden", 12);
    TKVVObject text;
    text.Kind = kvkTEXT;
    text.Text = std::string("shown\0not", 9);
    text.Curve = {{1.5, 2.5}, {3.5, 4.5}};
    TKVVObject poly;
    poly.Kind = kvkPOLYLINE;
    poly.PolyPoints = {{1, 1}, {5, 9}, {7, 3}};
    TKVVObject group;
    group.Kind = kvkNONE;
    // A group record as written, its count of nested records replaced by the count given.
    auto groupOf = [&](int32_t count) {
        TByteWriter w;
        Kvvect::detail::WriteRecordBytes(w, group, 0);
        w.Data.erase(w.Data.end() - 4, w.Data.end());
        w.Int32(count);
        return w.Data;
    };
    auto record = [](const TKVVObject& o) {
        TByteWriter w;
        Kvvect::detail::WriteRecordBytes(w, o, 0);
        return w.Data;
    };
    std::vector<uint8_t> bytes = groupOf(2);
    for (const auto& part : {record(line), groupOf(1), record(text), record(poly)}) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    std::vector<TKVVObject> out(1);
    out[0].Kind = kvkBOX;
    Kvvect::detail::TByteReader r{bytes.data(), bytes.size(), 0};
    EXPECT_TRUE(Kvvect::detail::ReadRecordBytes(r, Kvvect::KVVVER, 0, out));
    EXPECT_EQ(r.Pos, bytes.size() - record(poly).size()); // the record after the group is left
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].Kind, kvkBOX);
    EXPECT_EQ(out[1].Kind, kvkLINE);
    EXPECT_EQ(out[1].x2, 30);
    EXPECT_EQ(out[1].Name, "first");
    EXPECT_EQ(out[2].Kind, kvkTEXT);
    EXPECT_EQ(out[2].Text, "shown");
    EXPECT_EQ(out[2].Curve.size(), 2u);
    EXPECT_FALSE(Kvvect::detail::ReadRecordBytes(r, Kvvect::KVVVER, 0, out));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[3].PolyPoints.size(), 3u);
    // Seventeen groups deep, then a line: refused.
    std::vector<uint8_t> deep;
    for (int i = 0; i < 17; ++i) {
        const std::vector<uint8_t> g = groupOf(1);
        deep.insert(deep.end(), g.begin(), g.end());
    }
    const std::vector<uint8_t> last = record(line);
    deep.insert(deep.end(), last.begin(), last.end());
    Kvvect::detail::TByteReader d{deep.data(), deep.size(), 0};
    std::vector<TKVVObject> none;
    EXPECT_THROW(Kvvect::detail::ReadRecordBytes(d, Kvvect::KVVVER, 0, none), EKVVFormat);
}
