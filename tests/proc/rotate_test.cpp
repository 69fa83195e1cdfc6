// Quarter turns, flips and free rotations on small images. The free-rotation tables come from
// reference/rotate_reference.py, written from the algorithms' descriptions.
#include "imaging/proc/korvaneproc.h"
#include "tests/proc/proc_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace proctest;
using namespace Korvaneproc;

namespace {

const Grid kImage = {{10, 20, 30, 40, 50}, {60, 70, 80, 90, 100}, {110, 120, 130, 140, 150}};
const Grid kBits = {{1, 0, 0, 1}, {1, 1, 0, 0}, {0, 1, 1, 1}};

Grid RotateGrey(const Grid& levels, double angle, bool antialias, uint8_t background)
{
    auto bitmap = GreyRgb(levels);
    _RotateEx(bitmap.get(), angle, antialias, TRGB{background, background, background});
    EXPECT_TRUE(IsGrey(bitmap.get()));
    return Channel(bitmap.get(), 0);
}

Grid Turned(const Grid& g, bool clockwise)
{
    const size_t h = g.size(), w = g[0].size();
    Grid out(w, std::vector<int>(h));
    for (size_t y = 0; y < w; ++y)
        for (size_t x = 0; x < h; ++x)
            out[y][x] = clockwise ? g[h - 1 - x][y] : g[x][w - 1 - y];
    return out;
}

} // namespace

TEST(QuarterTurns, TurnEveryFormatBothWays)
{
    // Rows A B C / D E F.
    const Grid abc = {{1, 2, 3}, {4, 5, 6}};
    auto rgb = GreyRgb(abc);
    TKVBitmap clockwise, counter;
    _Rot90oEx(rgb.get(), &clockwise);
    _Rot90Ex(rgb.get(), &counter);
    EXPECT_EQ(Channel(&clockwise, 2), (Grid{{4, 1}, {5, 2}, {6, 3}}));
    EXPECT_EQ(Channel(&counter, 2), (Grid{{3, 6}, {2, 5}, {1, 4}}));

    const std::vector<TRGB> palette = {{1, 2, 3},    {4, 5, 6},    {7, 8, 9},
                                       {10, 11, 12}, {13, 14, 15}, {16, 17, 18}};
    auto indexed = Bytes({{0, 1, 2}, {3, 4, 5}}, kv8p, palette);
    TKVBitmap indexedTurn;
    _Rot90oEx8(indexed.get(), &indexedTurn);
    EXPECT_EQ(indexedTurn.GetPixelFormat(), kv8p);
    EXPECT_EQ(Levels(&indexedTurn), (Grid{{3, 0}, {4, 1}, {5, 2}}));
    EXPECT_EQ(indexedTurn.GetPalette(5), palette[5]) << "the palette goes with the pixels";

    auto grey = Bytes(kImage);
    TKVBitmap greyTurn;
    _Rot90Ex8(grey.get(), &greyTurn);
    EXPECT_EQ(Levels(&greyTurn), Turned(kImage, false));

    // The wrong width of routine for the format does nothing.
    TKVBitmap untouched;
    _Rot90oEx(grey.get(), &untouched);
    _Rot90Ex8(rgb.get(), &untouched);
    EXPECT_EQ(untouched.GetWidth(), 0);
}

TEST(Flip, MirrorsPixelsAndAlpha)
{
    auto rgb = GreyRgb(kImage);
    TKVBitmap* alpha = rgb->GetAlphaChannel();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            alpha->GetScanLine(y)[x] = static_cast<uint8_t>(kImage[y][x] + 1);
    _FlipEx(rgb.get(), fdHorizontal);
    EXPECT_EQ(Channel(rgb.get(), 1),
              (Grid{{50, 40, 30, 20, 10}, {100, 90, 80, 70, 60}, {150, 140, 130, 120, 110}}));
    EXPECT_EQ(Levels(rgb->GetAlphaChannel()),
              (Grid{{51, 41, 31, 21, 11}, {101, 91, 81, 71, 61}, {151, 141, 131, 121, 111}}));
    _FlipEx(rgb.get(), fdVertical);
    EXPECT_EQ(Channel(rgb.get(), 1),
              (Grid{{150, 140, 130, 120, 110}, {100, 90, 80, 70, 60}, {50, 40, 30, 20, 10}}));
    EXPECT_EQ(Levels(rgb->GetAlphaChannel())[0], (std::vector<int>{151, 141, 131, 121, 111}));

    // Ten pixels, the first two white: after the flip the last two are, and the spare bits of
    // the second byte stay clear.
    auto bits = Bits({{1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0, 1, 0}});
    _FlipEx(bits.get(), fdHorizontal);
    EXPECT_EQ(Levels(bits.get()), (Grid{{0, 0, 0, 0, 0, 0, 0, 0, 1, 1}, {0, 1, 0, 0, 0, 0, 0, 0, 0, 1}}));
    EXPECT_EQ(bits->GetScanLine(0)[1], 0xC0);
    _FlipEx(bits.get(), fdVertical);
    EXPECT_EQ(Levels(bits.get())[0], (std::vector<int>{0, 1, 0, 0, 0, 0, 0, 0, 0, 1}));

    auto grey = Bytes(kImage);
    _FlipEx(grey.get(), fdHorizontal);
    EXPECT_EQ(Levels(grey.get()), kImage) << "8-bit images are not flipped";
}

TEST(ShearRotation, MatchesReferenceTables)
{
    struct Case
    {
        double angle;
        bool antialias;
        uint8_t background;
        Grid expected;
    };
    const Case cases[] = {
        // sin 30 degrees comes out as 0.5 exactly, so the first column's offset 7 x 0.5 = 3.5
        // rounds to 4 (half to even).
        {30,
         false,
         0,
         {{0, 0, 0, 0, 0, 0, 0, 0},
          {0, 30, 40, 50, 0, 0, 0, 0},
          {0, 20, 80, 90, 100, 150, 0, 0},
          {10, 70, 120, 130, 140, 0, 0, 0},
          {60, 110, 0, 0, 0, 0, 0, 0},
          {0, 0, 0, 0, 0, 0, 0, 0}}},
        {30,
         true,
         0,
         {{0, 0, 0, 0, 0, 0, 0, 0},
          {0, 12, 34, 67, 41, 8, 0, 0},
          {0, 30, 70, 104, 138, 172, 0, 0},
          {20, 79, 109, 143, 176, 0, 0, 0},
          {58, 155, 71, 5, 0, 0, 0, 0},
          {0, 0, 0, 0, 0, 0, 0, 0}}},
        {-20,
         true,
         255,
         {{255, 94, 133, 0, 54, 148, 255, 255, 255},
          {255, 80, 86, 91, 83, 75, 0, 255, 255},
          {255, 226, 169, 141, 133, 204, 252, 255, 255},
          {255, 255, 255, 253, 223, 243, 254, 255, 255}}},
        // 120 degrees: one quarter turn, then 30 degrees on the turned 3 x 5 picture.
        {120,
         false,
         0,
         {{0, 0, 0, 0, 0, 0},
          {100, 150, 0, 0, 0, 0},
          {40, 90, 140, 130, 0, 0},
          {0, 30, 80, 120, 0, 0},
          {0, 20, 70, 110, 0, 0},
          {0, 10, 60, 0, 0, 0}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RotateGrey(kImage, c.angle, c.antialias, c.background), c.expected) << c.angle;
}

TEST(ShearRotation, QuarterTurnsAreExactAndFullTurnsChangeNothing)
{
    EXPECT_EQ(RotateGrey(kImage, 90, true, 0), Turned(kImage, false));
    EXPECT_EQ(RotateGrey(kImage, -90, true, 0), Turned(kImage, true));
    EXPECT_EQ(RotateGrey(kImage, 270, false, 0), Turned(kImage, true));
    EXPECT_EQ(RotateGrey(kImage, 180, true, 0), Turned(Turned(kImage, false), false));
    for (double angle : {360.0, 720.0, -360.0, 0.0, 3.6e12})
        EXPECT_EQ(RotateGrey(kImage, angle, true, 0), kImage) << angle;
}

TEST(ShearRotation, WithoutAntialiasEveryPixelIsASourcePixelOrTheBackground)
{
    const Grid out = RotateGrey(kImage, 17.5, false, 3);
    std::set<int> allowed = {3};
    for (const auto& row : kImage)
        allowed.insert(row.begin(), row.end());
    for (const auto& row : out)
        for (int v : row)
            EXPECT_TRUE(allowed.count(v)) << v;
}

TEST(ShearRotation, KeepsEightBitImagesEightBit)
{
    auto grey = Bytes(kImage);
    _RotateEx(grey.get(), 30, false, TRGB{0, 0, 0});
    EXPECT_EQ(grey->GetPixelFormat(), kv8g);
    EXPECT_EQ(Levels(grey.get()), RotateGrey(kImage, 30, false, 0));

    // A palette image keeps its palette and takes the entry nearest to the background.
    const std::vector<TRGB> palette = {{0, 0, 255}, {255, 255, 255}, {0, 0, 0}};
    auto indexed = Bytes({{0, 1, 0}, {1, 0, 1}}, kv8p, palette);
    _RotateEx(indexed.get(), 90, false, TRGB{0, 0, 0});
    EXPECT_EQ(indexed->GetPixelFormat(), kv8p);
    EXPECT_EQ(Levels(indexed.get()), (Grid{{0, 1}, {1, 0}, {0, 1}}));
    _RotateEx(indexed.get(), 45, false, TRGB{0, 0, 0});
    const Grid turned = Levels(indexed.get());
    EXPECT_EQ(turned[0][0], 2) << "the black entry fills the corners";
    EXPECT_EQ(indexed->GetPalette(0), palette[0]);

    // Formats that cannot turn are left as they are.
    auto words = Blank(3, 2, kv16g, 5);
    _RotateEx(words.get(), 30, true, TRGB{});
    EXPECT_EQ(words->GetWidth(), 3);
    EXPECT_EQ(words->GetPixelFormat(), kv16g);
}

TEST(NearestRotation, MatchesReferenceAndTurnsExactly)
{
    auto bits = Bits(kBits);
    TProgressRec progress;
    _rotate1bitEx(bits.get(), 45, 0, progress);
    EXPECT_EQ(Levels(bits.get()), (Grid{{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, {0, 0, 0, 0}}));

    bits = Bits(kBits);
    _rotate1bitEx(bits.get(), 30, 1, progress);
    EXPECT_EQ(Levels(bits.get()), (Grid{{0, 0, 0, 1}, {1, 0, 0, 0}, {1, 1, 1, 0}, {1, 0, 0, 1}}));

    // 10 x 10 by 45 degrees: Trunc(10 * 0.7071 + 10 * 0.7071) = 14 each way.
    auto square = Bits(Grid(10, std::vector<int>(10, 1)));
    _rotate1bitEx(square.get(), 45, 0, progress);
    EXPECT_EQ(square->GetWidth(), 14);
    EXPECT_EQ(square->GetHeight(), 14);

    const struct
    {
        double angle;
        Grid expected;
    } exact[] = {{90, Turned(kBits, false)},
                 {-90, Turned(kBits, true)},
                 {270, Turned(kBits, true)},
                 {180, Turned(Turned(kBits, true), true)},
                 {-180, Turned(Turned(kBits, true), true)},
                 // Full turns change nothing (an even width once repeated a column here).
                 {0, kBits},
                 {360, kBits},
                 {-720, kBits}};
    for (const auto& c : exact) {
        auto b = Bits(kBits);
        _rotate1bitEx(b.get(), c.angle, 0, progress);
        EXPECT_EQ(Levels(b.get()), c.expected) << c.angle;
        auto g = Bytes(kBits);
        _rotate8bit(g.get(), c.angle, 0);
        EXPECT_EQ(Levels(g.get()), c.expected) << c.angle;
    }
}

TEST(NearestRotation, ReachesOneBitImagesThroughRotateEx)
{
    auto bits = Bits(kBits);
    _RotateEx(bits.get(), 360, false, TRGB{});
    EXPECT_EQ(Levels(bits.get()), kBits);
    _RotateEx(bits.get(), -90, false, TRGB{});
    EXPECT_EQ(bits->GetPixelFormat(), kv1g);
    EXPECT_EQ(Levels(bits.get()), Turned(kBits, true));
    // A white background (all three bytes non-zero) fills with set bits.
    auto corner = Bits(Grid(2, std::vector<int>(4, 0)));
    _RotateEx(corner.get(), 45, false, TRGB{255, 255, 255});
    EXPECT_EQ(Levels(corner.get()), (Grid{{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 1}}));
}

TEST(QualityRotation, MatchesReferenceTables)
{
    struct Case
    {
        double angle;
        TKVAntialiasMode mode;
        int32_t background;
        Grid expected;
    };
    const Case cases[] = {
        {30,
         kvrBilinear,
         0,
         {{0, 0, 0, 0, 14, 0, 0},
          {0, 0, 5, 26, 56, 44, 0},
          {0, 8, 27, 60, 94, 128, 21},
          {1, 31, 65, 99, 132, 82, 6},
          {0, 38, 103, 85, 26, 0, 0},
          {0, 1, 32, 0, 0, 0, 0}}},
        {30,
         kvrBicubic,
         0,
         {{0, 0, 2, 5, 11, 0, 1},
          {0, 2, 4, 18, 70, 43, 17},
          {0, 0, 28, 58, 100, 157, 21},
          {0, 28, 62, 118, 140, 100, 6},
          {6, 44, 135, 93, 28, 20, 5},
          {2, 1, 35, 13, 9, 0, 0}}},
        {-15,
         kvrBicubic,
         0xC8C8C8,
         {{159, 0, 71, 123, 172, 211},
          {140, 31, 35, 24, 24, 104},
          {146, 94, 100, 105, 92, 147},
          {206, 187, 174, 165, 149, 187}}},
    };
    for (const Case& c : cases) {
        auto bitmap = GreyRgb(kImage);
        _KVQRotate(bitmap.get(), c.angle, c.background, c.mode);
        EXPECT_EQ(Channel(bitmap.get(), 0), c.expected) << c.angle << " mode " << int(c.mode);
        auto plane = Bytes(kImage);
        _KVQRotate8(plane.get(), c.angle, c.background & 0xFF, c.mode);
        EXPECT_EQ(Levels(plane.get()), c.expected) << c.angle << " mode " << int(c.mode);
    }
}

TEST(QualityRotation, FastModeFillsWithTheBackground)
{
    auto bitmap = GreyRgb(kImage);
    _KVQRotate(bitmap.get(), 30, 0x404040, kvrFast);
    EXPECT_EQ(bitmap->GetWidth(), 7);
    EXPECT_EQ(Channel(bitmap.get(), 1), (Grid(6, std::vector<int>(7, 0x40))));
}
