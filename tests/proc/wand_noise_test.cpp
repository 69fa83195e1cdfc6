// The magic wand, noise removal of 1-bit images and data hidden in pixels, against hand cases and
// the results that reference/wand_noise_reference.py works out.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/attached_proc.h"
#include "tests/proc/proc_test_util.h"
#include "tests/support/peak_heap.h"

#include "platform/core/random.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace proctest;
using namespace Korvaneproc;

namespace {

using Points = std::vector<std::pair<int, int>>;

Points OutlineOf(TKVBitmap* image, int x, int y, bool grow, int tolerance)
{
    int32_t count = -1;
    std::unique_ptr<TPoint[]> points = _MakeMagicWandPoints(image, x, y, grow, tolerance, count);
    Points result;
    for (int32_t i = 0; i < count; ++i)
        result.emplace_back(points[i].X, points[i].Y);
    EXPECT_EQ(points == nullptr, count == 0);
    return result;
}

Grid MaskOf(TKVMask& mask)
{
    Grid g(size_t(mask.Height), std::vector<int>(size_t(mask.Width)));
    for (int y = 0; y < mask.Height; ++y)
        for (int x = 0; x < mask.Width; ++x)
            g[y][x] = mask.GetPixel(x, y) != 0;
    return g;
}

Grid Connected(TKVBitmap* image, int x, int y, int tolerance, bool grow = false, bool global = false)
{
    TKVMask mask;
    mask.AllocateBits(image->GetWidth(), image->GetHeight(), 1);
    if (global)
        _MakeMagicWandPointsEx2(image, x, y, tolerance, &mask);
    else
        _MakeMagicWandPointsEx(image, x, y, grow, tolerance, &mask);
    return MaskOf(mask);
}

// A w x h grid of the levels that level(x, y) gives, row by row.
Grid Shape(int w, int h, const std::function<int(int, int)>& level)
{
    Grid g(size_t(h), std::vector<int>(size_t(w), 0));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            g[size_t(y)][size_t(x)] = level(x, y);
    return g;
}

// A reference PGM of 0 and 255 as a kv1g image.
std::unique_ptr<TKVBitmap> BitsOf(const std::string& reference)
{
    auto levels = Levels(Reference(reference).get());
    for (auto& row : levels)
        for (int& v : row)
            v = v != 0;
    return Bits(levels);
}

} // namespace

TEST(MagicWand, OutlinesOfHandCases)
{
    auto uniform = GreyRgb(Grid(10, std::vector<int>(10, 90)));
    EXPECT_EQ(OutlineOf(uniform.get(), 4, 7, false, 1),
              (Points{{0, 0}, {10, 0}, {10, 0}, {10, 10}, {10, 10}, {0, 10}, {0, 10}, {0, 0}}));
    EXPECT_EQ(OutlineOf(uniform.get(), 4, 7, true, 1), OutlineOf(uniform.get(), 0, 0, false, 1))
        << "growing never leaves the region's box";
    Grid one(12, std::vector<int>(12, 0));
    one[5][5] = 200;
    auto single = GreyRgb(one);
    for (const auto& [x, y] : OutlineOf(single.get(), 5, 5, false, 10))
        EXPECT_TRUE((x == 5 || x == 6) && (y == 5 || y == 6)) << x << "," << y;
    EXPECT_TRUE(OutlineOf(uniform.get(), 4, 7, false, 0).empty()) << "tolerance 0 matches nothing";
    EXPECT_TRUE(OutlineOf(uniform.get(), 10, 0, false, 50).empty()) << "seed outside";

    // A ring: the outline encloses the hole, the mask leaves it out.
    auto ring = GreyRgb({{9, 9, 9, 9}, {9, 0, 0, 9}, {9, 9, 9, 9}});
    EXPECT_EQ(OutlineOf(ring.get(), 0, 0, false, 5),
              (Points{{0, 0}, {4, 0}, {4, 0}, {4, 3}, {4, 3}, {0, 3}, {0, 3}, {0, 0}}));
    EXPECT_EQ(Connected(ring.get(), 0, 0, 5), (Grid{{1, 1, 1, 1}, {1, 0, 0, 1}, {1, 1, 1, 1}}));
}

TEST(MagicWand, MasksAreConnectedGrownOrGlobal)
{
    // Two patches of the seed colour; diagonal neighbours are not connected.
    auto patches = GreyRgb({{5, 5, 80, 5}, {80, 80, 80, 5}, {80, 5, 80, 80}});
    EXPECT_EQ(Connected(patches.get(), 0, 0, 3), (Grid{{1, 1, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}));
    EXPECT_EQ(Connected(patches.get(), 0, 0, 3, true), (Grid{{1, 1, 1, 0}, {1, 1, 1, 0}, {0, 0, 0, 0}}));
    EXPECT_EQ(Connected(patches.get(), 0, 0, 3, false, true),
              (Grid{{1, 1, 0, 1}, {0, 0, 0, 1}, {0, 1, 0, 0}}));
    auto checker = Bits({{1, 0, 1}, {0, 1, 0}, {1, 0, 1}});
    EXPECT_EQ(Connected(checker.get(), 1, 1, 1), (Grid{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}));
    // Every format reads as colour: a palette picture by its palette entries.
    auto indexed = Bytes({{0, 1, 2}}, kv8p, {{0, 0, 0}, {0, 0, 2}, {0, 0, 90}});
    EXPECT_EQ(Connected(indexed.get(), 0, 0, 3), (Grid{{1, 1, 0}}));
}

TEST(MagicWand, MatchesTheReferenceOnTheRoseAndLongLines)
{
    auto rose = Rose();
    ASSERT_NE(rose, nullptr) << "ImageMagick is not installed";
    struct Case
    {
        const char* name;
        int x, y, tolerance;
        bool grow;
    };
    for (const Case& c : {Case{"petal", 30, 20, 48, false}, Case{"leaf", 8, 40, 30, true}}) {
        const std::string name = c.name;
        std::ifstream text(std::string(KV_TEST_DATA_DIR) + "/proc/wand-" + name + ".txt");
        Points expected;
        for (std::string pair; text >> pair;) {
            const size_t comma = pair.find(',');
            expected.emplace_back(std::stoi(pair.substr(0, comma)), std::stoi(pair.substr(comma + 1)));
        }
        EXPECT_EQ(OutlineOf(rose.get(), c.x, c.y, c.grow, c.tolerance), expected) << name;
        EXPECT_EQ(Connected(rose.get(), c.x, c.y, c.tolerance), Levels(BitsOf("wand-" + name + ".pgm").get()))
            << name;
    }
    for (auto [w, h] : {std::pair{65536, 1}, std::pair{1, 65536}}) {
        auto line = Blank(w, h, kv8g, 7);
        EXPECT_EQ(OutlineOf(line.get(), w - 1, h - 1, false, 1),
                  (Points{{0, 0}, {w, 0}, {w, 0}, {w, h}, {w, h}, {0, h}, {0, h}, {0, 0}}));
    }
}

// The outline's vertices, hashed: every shape below keeps the exact outline it had when these
// hashes were taken, quirks of the chain-code walk included.
TEST(MagicWand, OutlinesKeepTheirVerticesOnEveryShape)
{
    uint32_t state = 12345;
    const auto noise = [&state](int w, int h, int percent) {
        return Shape(w, h, [&](int, int) {
            state = state * 1103515245u + 12345u;
            return int(state >> 16) % 100 < percent ? 100 : 0;
        });
    };
    const auto rings = [](int x, int y) {
        // Square rings of width 1, every other one filled, each filled one joined to the next by a
        // pixel across the empty ring between them.
        const int ring = std::min(std::min(x, y), std::min(20 - x, 20 - y));
        return ring % 2 == 0 || (x == ring && y == ring + 1) ? 100 : 0;
    };
    struct Case
    {
        const char* name;
        Grid levels;
        int x, y, tolerance;
        bool grow;
        int32_t count;
        uint64_t hash;
    };
    const Grid ring =
        Shape(20, 15, [](int x, int y) { return x >= 5 && x < 15 && y >= 4 && y < 11 ? 0 : 100; });
    const Grid staircase = Shape(30, 30, [](int x, int y) { return x + y < 30 ? 100 : 0; });
    const Grid fringe = Shape(24, 16, [](int x, int y) { return y < 8 || (x + y) % 2 == 0 ? 100 : 0; });
    const Grid cross =
        Shape(25, 19, [](int x, int y) { return std::abs(x - 12) < 3 || std::abs(y - 9) < 2 ? 100 : 0; });
    const Grid blobs[] = {noise(40, 30, 60), noise(33, 41, 55), noise(50, 20, 70), noise(160, 120, 58)};
    const Case cases[] = {
        {"uniform", Grid(23, std::vector<int>(37, 100)), 18, 11, 1, false, 8, 0x29ec82efb8867785ull},
        {"uniform grown", Grid(23, std::vector<int>(37, 100)), 18, 11, 1, true, 8, 0x29ec82efb8867785ull},
        {"ring", ring, 0, 0, 1, false, 8, 0x4007468e72191915ull},
        {"ring grown", ring, 19, 14, 1, true, 8, 0x4007468e72191915ull},
        {"hole of the ring", ring, 8, 6, 1, false, 8, 0x6c9b80fc3d4d3ec9ull},
        {"hole of the ring grown", ring, 8, 6, 1, true, 8, 0x6c9b80fc3d4d3ec9ull},
        {"staircase", staircase, 0, 0, 1, false, 95, 0x02798d32bf7266e3ull},
        {"staircase's complement", staircase, 29, 29, 1, false, 92, 0xd8ee031f9a35818dull},
        {"checkered fringe", fringe, 3, 3, 1, false, 77, 0xd79ba020743aafd5ull},
        {"checkered fringe grown", fringe, 3, 3, 1, true, 8, 0xaa7b9472b440dbb5ull},
        {"checker square", fringe, 5, 12, 1, false, 8, 0x1ae97976f7026ef5ull},
        {"cross touching every border", cross, 12, 9, 1, false, 20, 0x0e8611b101c15d69ull},
        {"cross's corner", cross, 0, 0, 1, true, 8, 0x817f534b33c98055ull},
        {"nested rings", Shape(21, 21, rings), 0, 0, 1, false, 8, 0x30c875681a8a3c01ull},
        {"broken ring between them", Shape(21, 21, rings), 1, 1, 1, false, 17, 0xab172ff69f36b53dull},
        {"pixel in a corner", Shape(9, 7, [](int x, int y) { return x + y == 0 ? 100 : 0; }), 0, 0, 1, false,
         8, 0x9909a33ac2e78689ull},
        {"pixel in a corner grown", Shape(9, 7, [](int x, int y) { return x == 8 && y == 6 ? 100 : 0; }), 8,
         6, 1, true, 8, 0xb08280bc50687bb1ull},
        {"one-pixel line", Shape(17, 5, [](int, int y) { return y == 2 ? 100 : 0; }), 4, 2, 1, false, 8,
         0x1bccacbb000fe371ull},
        {"one-pixel column", Shape(1, 13, [](int, int) { return 100; }), 0, 6, 1, false, 8,
         0xf59872feb7cc55b1ull},
        {"tolerance on a ramp", Shape(40, 30, [](int x, int y) { return (x * 7 + y * 3) % 256; }), 20, 15, 20,
         false, 83, 0x37866814948eb457ull},
        {"tolerance on a ramp grown", Shape(40, 30, [](int x, int y) { return (x * 7 + y * 3) % 256; }), 20,
         15, 20, true, 74, 0x4a3f5399581aba7cull},
        {"blobs 1", blobs[0], 20, 15, 1, false, 395, 0x5585dcf2c4e6afc6ull},
        {"blobs 1 grown", blobs[0], 20, 15, 1, true, 104, 0x46836a87afdcaaffull},
        {"blobs 2", blobs[1], 16, 20, 1, false, 89, 0xfa3d55dc5c2403f1ull},
        {"blobs 3", blobs[2], 25, 10, 1, false, 11, 0x5215f1c7d97ef675ull},
        {"gaps of blobs 3", blobs[2], 0, 0, 1, false, 245, 0x96e1220f687b9b35ull},
        {"large blobs", blobs[3], 147, 28, 1, false, 950, 0x4f6ea7620c5edf2cull},
        {"large blobs grown", blobs[3], 147, 28, 1, true, 275, 0x92dc48a142a79edfull},
    };
    for (const Case& c : cases) {
        auto image = Bytes(c.levels);
        Points points = OutlineOf(image.get(), c.x, c.y, c.grow, c.tolerance);
        uint64_t hash = 14695981039346656037ull;
        for (const auto& [x, y] : points)
            for (int v : {x, y})
                hash = (hash ^ uint32_t(v)) * 1099511628211ull;
        EXPECT_EQ(int32_t(points.size()), c.count) << c.name;
        EXPECT_EQ(hash, c.hash) << c.name;
    }
}

// The outline of a large region needs about the memory of the fill that finds the region, not
// a grid of bytes sixteen times the size of its box.
TEST(MagicWand, AnOutlineTakesAboutTheMemoryOfTheFill)
{
    auto image = Bytes(
        Shape(1200, 900, [](int x, int y) { return x >= 400 && x < 800 && y >= 300 && y < 600 ? 0 : 100; }));
    for (bool grow : {false, true}) {
        TKVMask mask;
        mask.AllocateBits(image->GetWidth(), image->GetHeight(), 1);
        const int64_t fill =
            kvtest::PeakHeapOf([&] { _MakeMagicWandPointsEx(image.get(), 600, 100, grow, 1, &mask); });
        int32_t count = 0;
        const int64_t outline =
            kvtest::PeakHeapOf([&] { _MakeMagicWandPoints(image.get(), 600, 100, grow, 1, count); });
        EXPECT_EQ(count, 8);
        EXPECT_LT(outline, fill + fill / 4) << (grow ? "grown" : "as filled");
    }
}

TEST(NoiseRemoval, MatchesTheReferenceAndHandCases)
{
    auto input = BitsOf("noise-input.pgm");
    const struct
    {
        std::function<void(TKorvaneProc&)> apply;
        const char* reference;
        const char* caption;
    } cases[] = {
        {[](TKorvaneProc& p) { p.RemoveIsolatedPixels(0, 3); }, "noise-isolated.pgm", "RemoveIsolatedPixels"},
        {[](TKorvaneProc& p) { p.RemoveNoise(5, false); }, "noise-kfill.pgm", "RemoveNoise"},
        {[](TKorvaneProc& p) { p.RemoveNoise(4, true); }, "noise-kfill-inverse.pgm", "RemoveNoise"}};
    for (const auto& c : cases) {
        Attached a(Copy(input.get()));
        c.apply(a.proc);
        EXPECT_EQ(Levels(a.image.get()), Levels(BitsOf(c.reference).get())) << c.reference;
        EXPECT_EQ(a.proc.UndoCaptions(0), c.caption);
    }

    // One black pixel on white goes with MaxCount 1; two together stay, and go with MaxCount 2.
    Grid white(4, std::vector<int>(5, 1));
    Grid speck = white, pair = white;
    speck[1][2] = 0;
    pair[1][2] = pair[1][3] = 0;
    const std::tuple<Grid, int, Grid> isolated[] = {
        {speck, 1, white}, {speck, 0, speck}, {pair, 1, pair}, {pair, 2, white}};
    for (const auto& [before, maxCount, after] : isolated) {
        auto bits = Bits(before);
        _KVRemoveIsolatedPixels1Bit(bits.get(), 0, 0, 5, 4, 0, maxCount);
        EXPECT_EQ(Levels(bits.get()), after) << maxCount;
    }
    // kFill: one sub-iteration closes a white hole in black, and one whose ring is five black
    // pixels with two black corners (a hole at an edge); other fives stay open.
    const std::pair<Grid, int> holes[] = {{{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 0},
                                          {{{0, 0, 0}, {0, 1, 0}, {1, 1, 1}}, 0},
                                          {{{0, 1, 0}, {0, 1, 1}, {0, 0, 1}}, 1}};
    for (const auto& [ring, core] : holes) {
        Grid framed(5, std::vector<int>(5, 0));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                framed[y + 1][x + 1] = ring[y][x];
        auto holed = Bits(framed);
        _kf_kfill(holed.get(), false, true, 1, 3, false);
        EXPECT_EQ(Levels(holed.get())[2][2], core);
    }
    Grid dot(5, std::vector<int>(5, 1));
    dot[2][2] = 0;
    for (int iterations : {1, 2}) {
        auto dotted = Bits(dot);
        _kf_kfill(dotted.get(), true, true, iterations, 3, false);
        EXPECT_EQ(Levels(dotted.get())[2][2], iterations == 2) << iterations;
    }
    auto many = Copy(input.get());
    _kf_kfill(many.get(), true, true, 100000, 3, false);
    EXPECT_EQ(Levels(many.get()).size(), 30u) << "a long run ends once nothing changes";
}

TEST(NoiseRemoval, CleansASaltedPageOfText)
{
    // A page of text in Liberation Sans, salted with black pixels on the white.
    TBitmap page;
    page.SetPixelFormat(pf24bit);
    page.SetSize(320, 120);
    TCanvas* canvas = page.Canvas();
    canvas->Brush()->SetColor(clWhite);
    canvas->FillRect(Rect(0, 0, 320, 120));
    canvas->Font()->SetName("Arial");
    canvas->Font()->SetSize(20);
    canvas->TextOut(10, 10, "Plimbet makes galleries");
    canvas->TextOut(10, 60, "from folders of pictures.");
    TKVBitmap clean;
    clean.CopyFromTBitmap(&page);
    TProgressRec progress;
    _ConvertToBWThreshold(&clean, 128, progress);
    ASSERT_EQ(clean.GetPixelFormat(), kv1g);
    auto salted = Copy(&clean);
    RandSeed = 1234;
    int added = 0;
    for (int i = 0; i < 400; ++i) {
        const int x = Random(318) + 1, y = Random(118) + 1;
        if (salted->GetPixels_kv1g(x, y)) {
            salted->SetPixels_kv1g(x, y, false);
            ++added;
        }
    }
    Attached a(Copy(salted.get()));
    a.proc.RemoveNoise(2, false);
    Attached reference(Copy(&clean));
    reference.proc.RemoveNoise(2, false);
    int left = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 320; ++x)
            left += a.image->GetPixels_kv1g(x, y) != reference.image->GetPixels_kv1g(x, y);
    EXPECT_GT(added, 300);
    EXPECT_LT(left, added / 20) << "nearly all salt is gone and the letters are as without it";
}

TEST(HiddenData, LayoutCapacityAndFaults)
{
    Attached black(Blank(10, 10, kv24RGB, 0));
    EXPECT_EQ(black.proc.GetHiddenDataSpace(), 29);
    EXPECT_EQ(black.proc.WriteHiddenText("abc"), 3);
    std::vector<int> carrier;
    for (int y = 0; y < 10; ++y)
        for (int b = 0; b < 30; ++b)
            carrier.push_back(black.image->GetScanLine(y)[b]);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(carrier[i], i == 32 || i == 33) << i;
    const std::string text = "abc";
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(carrier[64 + i], (text[i / 8] >> (i % 8)) & 1) << i;
    EXPECT_EQ(black.proc.ReadHiddenText(), "abc");
    EXPECT_EQ(black.proc.ReadHiddenData(nullptr, 0), 3);
    EXPECT_EQ(black.proc.UndoCaptions(0), "WriteHiddenData");

    // No byte moves by more than one; 255 holding 0 becomes 254.
    Attached white(Blank(100, 100, kv24RGB, 255));
    EXPECT_EQ(white.proc.GetHiddenDataSpace(), 3742);
    std::string payload(4000, '\0');
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>(i * 7);
    EXPECT_EQ(white.proc.WriteHiddenData(payload.data(), 4000), 3742) << "what fits is stored and counted";
    std::string back(4000, 'x');
    EXPECT_EQ(white.proc.ReadHiddenData(back.data(), 4000), 3742);
    EXPECT_EQ(back.substr(0, 3742), payload.substr(0, 3742));
    EXPECT_EQ(back[3742], 'x');
    for (int y = 0; y < 100; ++y)
        for (int b = 0; b < 300; ++b)
            ASSERT_GE(white.image->GetScanLine(y)[b], 254);

    // A picture with no hidden data never claims more than it can hold; bad arguments give 0.
    auto crop = RealCrop(kColourCrop);
    ASSERT_NE(crop, nullptr);
    Attached plain(Copy(crop.get()));
    EXPECT_LE(plain.proc.ReadHiddenData(nullptr, 0), plain.proc.GetHiddenDataSpace());
    EXPECT_LE(plain.proc.ReadHiddenText().size(), 568u);
    EXPECT_EQ(plain.proc.WriteHiddenData(nullptr, 5), 0);
    EXPECT_EQ(plain.proc.WriteHiddenData(payload.data(), -1), 0);
    EXPECT_EQ(plain.proc.ReadHiddenData(nullptr, 4), 0);
    EXPECT_EQ(plain.proc.UndoCount(), 0);
    EXPECT_EQ(MaxDifference(plain.image.get(), crop.get()), 0);
    Attached tiny(Blank(4, 5, kv24RGB, 0));
    EXPECT_EQ(tiny.proc.GetHiddenDataSpace(), -1);
    EXPECT_EQ(tiny.proc.WriteHiddenText("x"), 0);
    EXPECT_EQ(tiny.proc.ReadHiddenText(), "");
    Attached grey(Blank(50, 50, kv8g, 0));
    EXPECT_EQ(grey.proc.GetHiddenDataSpace(), 0);
    EXPECT_EQ(grey.proc.WriteHiddenText("abc"), 0);
    EXPECT_EQ(grey.proc.ReadHiddenData(nullptr, 0), 0);
}
