// Numeric, colour-record, colour-space, distance and 64-bit helpers of the imaging core.
#include "imaging/core/colour_spaces.h"
#include "imaging/core/geometry_helpers.h"
#include "imaging/core/pixel_helpers.h"
#include "imaging/core/stream_utils.h"
#include "platform/core/streams.h"
#include "platform/graphics/colors.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>

using namespace Korvaneproc;
using namespace Daduvudez;

TEST(PixelHelpers, RoundsAndClampsNumbers)
{
    struct Case
    {
        long double x;
        int32_t ceil, floor;
    };
    for (const Case& c :
         {Case{2.0L, 2, 2}, Case{2.1L, 3, 2}, Case{-2.1L, -2, -3}, Case{2.9L, 3, 2}, Case{-0.5L, 0, -1},
          Case{1e12L, INT32_MAX, INT32_MAX}, Case{-1e12L, INT32_MIN, INT32_MIN}}) {
        EXPECT_EQ(Korvaneproc::KVCeil(c.x), c.ceil) << double(c.x);
        EXPECT_EQ(Korvaneproc::KVFloor(c.x), c.floor) << double(c.x);
        EXPECT_EQ(Daduvudez::KVFloor(c.x), c.floor) << double(c.x);
    }
    EXPECT_EQ(ilimit(5, 5, 10), 5);
    EXPECT_EQ(ilimit(10, 0, 10), 10);
    EXPECT_EQ(ilimit(-4, 0, 10), 0);
    EXPECT_EQ(ilimit(7, 0, 10), 7);
    EXPECT_EQ(blimit(-3), 0);
    EXPECT_EQ(blimit(300), 255);
    EXPECT_EQ(blimit(17), 17);
    int32_t x1 = 9, y1 = 1, x2 = 2, y2 = 8;
    OrdCor(x1, y1, x2, y2);
    EXPECT_EQ((std::array{x1, y1, x2, y2}), (std::array{2, 1, 9, 8}));
}

TEST(PixelHelpers, InverseSinesLogarithmsSwapsAndEqualColours)
{
    struct Case
    {
        long double x, arcSin, log10;
    };
    for (const Case& c : {Case{1, M_PI / 2, 0}, Case{-1, -M_PI / 2, NAN},
                          Case{0.5L, M_PI / 6, -0.30102999566398120L}, Case{0, 0, -INFINITY}}) {
        EXPECT_NEAR(double(ArcSin(c.x)), double(c.arcSin), 1e-15) << double(c.x);
        if (std::isnan(double(c.log10)))
            EXPECT_TRUE(std::isnan(double(Log10(c.x))));
        else if (std::isinf(double(c.log10)))
            EXPECT_EQ(double(Log10(c.x)), -INFINITY);
        else
            EXPECT_NEAR(double(Log10(c.x)), double(c.log10), 1e-15) << double(c.x);
    }
    // Whole powers of ten come back whole, as the gauges' decade marks rely on.
    for (int32_t e = -3; e <= 9; ++e)
        EXPECT_EQ(std::lround(double(Log10(std::pow(10.0L, e))) * 1e12), e * 1000000000000L) << e;

    int32_t a = 3, b = -7;
    iswap(a, b);
    EXPECT_EQ((std::array{a, b}), (std::array{-7, 3}));
    EXPECT_TRUE(EqualRGB(TRGB{1, 2, 3}, TRGB{1, 2, 3}));
    for (const TRGB other : {TRGB{0, 2, 3}, TRGB{1, 0, 3}, TRGB{1, 2, 0}})
        EXPECT_FALSE(EqualRGB(TRGB{1, 2, 3}, other));
}

TEST(PixelHelpers, ConvertsColourRecords)
{
    EXPECT_EQ(_RGBToGray(CreateRGB(255, 255, 255)), 255);
    EXPECT_EQ(_RGBToGray(CreateRGB(255, 0, 0)), 53); // 255 * 21 div 100
    EXPECT_EQ(TRGB2TColor(CreateRGB(1, 2, 3)), 0x030201);
    EXPECT_EQ(RGB2TColor(1, 2, 3), 0x030201);
    EXPECT_EQ(TColor2TRGB(0x030201), CreateRGB(1, 2, 3));
    EXPECT_EQ(TColor2TRGB(clWindow), TColor2TRGB(ColorToRGB(clWindow)));
    TRGB pixels[2] = {CreateRGB(1, 2, 3), CreateRGB(4, 5, 6)};
    _RGB2BGR(pixels, 2);
    EXPECT_EQ(pixels[1], CreateRGB(6, 5, 4));

    const TRGB palette[] = {CreateRGB(0, 0, 0), CreateRGB(200, 10, 10), CreateRGB(200, 10, 10),
                            CreateRGB(255, 255, 255)};
    EXPECT_EQ(_GetSimilColor(palette, 4, CreateRGB(190, 20, 0)), 1); // the lower of two equal entries
    EXPECT_EQ(_GetSimilColor(palette, 4, CreateRGB(250, 240, 250)), 3);
    EXPECT_EQ(_GetSimilColor(palette, 0, CreateRGB(1, 1, 1)), 0);

    uint8_t row[2] = {0, 0xFF};
    _SetPixelbw(row, 0, 1);
    _SetPixelbw(row, 9, 0);
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(row[1], 0xBF);
    EXPECT_NE(_GetPixelbw(row, 0), 0);
    EXPECT_EQ(_GetPixelbw(row, 1), 0);
}

TEST(PixelHelpers, ConvertsHsv)
{
    struct Case
    {
        TRGB rgb;
        int32_t h, s, v;
    };
    // (255, 128, 0): channels 99, Round(49.69) = 50, 0; S = 99; H = 50 * 60 div 99 = 30.
    for (const Case& c : {Case{CreateRGB(0, 0, 0), 0, 0, 0}, Case{CreateRGB(0, 0, 255), 240, 99, 99},
                          Case{CreateRGB(255, 128, 0), 30, 99, 99}}) {
        int32_t h, s, v;
        RGB2HSV(c.rgb, h, s, v);
        EXPECT_EQ((std::array{h, s, v}), (std::array{c.h, c.s, c.v}));
    }
    TRGB out;
    HSV2RGB(out, 360, 99, 99);
    EXPECT_EQ(out, CreateRGB(255, 0, 0));
    HSV2RGB(out, 17, 0, 99);
    EXPECT_EQ(out, CreateRGB(255, 255, 255));
    // H 30: t = 99 - 99 * 99 * 30 div 5940 = 50, p = 0; 50 / 99 * 255 = 128.8.
    HSV2RGB(out, 30, 99, 99);
    EXPECT_EQ(out, CreateRGB(255, 129, 0));
}

TEST(PixelHelpers, ConvertsHslBothWays)
{
    double h, s, l;
    RGB2HSL(CreateRGB(255, 0, 0), h, s, l);
    EXPECT_EQ(h, 0.0);
    EXPECT_EQ(s, 1.0);
    EXPECT_EQ(l, 0.5);
    for (const TRGB c :
         {CreateRGB(255, 0, 0), CreateRGB(12, 200, 99), CreateRGB(7, 7, 7), CreateRGB(250, 3, 140)}) {
        RGB2HSL(c, h, s, l);
        TRGB back;
        HSL2RGB(back, h, s, l);
        EXPECT_EQ(back, c);
    }
    TRGB out;
    HSL2RGB(out, -1.0 / 3 + 1e-12, 1, 0.5); // wraps once to 2/3: blue
    EXPECT_EQ(out, CreateRGB(0, 0, 255));
}

TEST(PixelHelpers, ConvertsCieLabAsDefined)
{
    // Worked out with the formulas alone (tests/core/reference/cielab.py); white is not L = 255
    // because there is no white-point normalisation.
    struct ToLab
    {
        TRGB rgb;
        TKVLAB lab;
    };
    for (const ToLab& c :
         {ToLab{CreateRGB(0, 0, 0), {0, 0, 0}}, ToLab{CreateRGB(255, 255, 255), {242, -25, -7}},
          ToLab{CreateRGB(255, 0, 0), {142, 127, 78}}, ToLab{CreateRGB(0, 0, 255), {97, 127, -128}},
          ToLab{CreateRGB(10, 200, 30), {179, -128, 74}}})
        EXPECT_EQ(KVRGB2CIELAB(c.rgb), c.lab);

    struct ToRgb
    {
        TKVLAB lab;
        TRGB rgb;
    };
    for (const ToRgb& c :
         {ToRgb{{255, 0, 0}, CreateRGB(255, 255, 255)}, ToRgb{{10, 0, 0}, CreateRGB(16, 17, 17)},
          ToRgb{{10, -128, -128}, CreateRGB(0, 47, 71)}, ToRgb{{10, 127, 127}, CreateRGB(81, 0, 0)},
          ToRgb{{3, 100, -50}, CreateRGB(54, 0, 46)}, ToRgb{{3, -128, 0}, CreateRGB(0, 43, 1)}})
        EXPECT_EQ(KVCIELAB2RGB(c.lab), c.rgb);
    // -128 is the bottom of the range, as -127, never the top.
    EXPECT_EQ(KVCIELAB2RGB({10, -128, 5}), KVCIELAB2RGB({10, -127, 5}));
}

TEST(PixelHelpers, MeasuresDistancesWithoutOverflow)
{
    EXPECT_DOUBLE_EQ(_DistPoint2Point(0, 0, 3, 4), 5.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Point(0, 0, 50000, 0), 50000.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Line(0, 5, -10, 0, 10, 0), 5.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Line(0, 100000, -100000, 0, 100000, 0), 100000.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Line(3, 4, 0, 0, 0, 0), 5.0); // a line of one point
    EXPECT_DOUBLE_EQ(_DistPoint2Seg(3, 4, 0, 0, 0, 0), 5.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Seg(5, 2, 0, 0, 10, 0), 2.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Seg(-3, 4, 0, 0, 10, 0), 5.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Seg(50010, 0, 0, 0, 10, 0), 1000000.0);

    const TPoint line[] = {{0, 0}, {10, 0}, {10, 10}};
    // Zoom 2 and offset 5 put the vertices at (5, 5), (25, 5), (25, 25).
    EXPECT_DOUBLE_EQ(_DistPoint2Polyline(15, 8, line, 3, 0, 0, 5, 5, 2.0, 2.0), 3.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Polyline(30, 20, line, 3, 0, 0, 5, 5, 2.0, 2.0), 5.0);
    EXPECT_DOUBLE_EQ(_DistPoint2Polyline(0, 0, line, 1, 0, 0, 0, 0, 1.0, 1.0), 1000000.0);
}

TEST(PixelHelpers, ComputesSixtyFourBitWords)
{
    uint32_t lo, hi;
    KVAdd64(0xFFFFFFFF, 0, 1, 0, lo, hi);
    EXPECT_EQ((std::array{lo, hi}), (std::array{0u, 1u}));
    KVAdd64(0xFFFFFFFF, 0xFFFFFFFF, 2, 0, lo, hi); // the carry out of the top is dropped
    EXPECT_EQ((std::array{lo, hi}), (std::array{1u, 0u}));
    EXPECT_FALSE(KVGreater64(5, 7, 5, 7));
    EXPECT_TRUE(KVGreater64(0, 1, 0xFFFFFFFF, 0));
    EXPECT_FALSE(KVGreater64(0xFFFFFFFF, 0, 0, 1));
    KVMul64(0xFFFFFFFF, 0xFFFFFFFF, lo, hi);
    EXPECT_EQ((std::array{lo, hi}), (std::array{1u, 0xFFFFFFFEu}));
}

namespace {

// Accepts only its first Room bytes, as a full disk would.
class TFullStream : public TMemoryStream
{
public:
    int64_t Room = 4;
    int64_t Write(const void* buffer, int64_t count) override
    {
        const int64_t n = std::min(count, std::max<int64_t>(Room - Position(), 0));
        return n > 0 ? TMemoryStream::Write(buffer, n) : 0;
    }
};

} // namespace

TEST(PixelHelpers, SafeStreamWriteRecordsShortWrites)
{
    TFullStream stream;
    bool error = false;
    const uint8_t bytes[3] = {1, 2, 3};
    SafeStreamWrite(&stream, error, bytes, 3);
    EXPECT_FALSE(error);
    SafeStreamWrite(&stream, error, bytes, 3);
    EXPECT_TRUE(error);
    stream.Room = 100;
    SafeStreamWrite(&stream, error, bytes, 3);
    EXPECT_TRUE(error); // never cleared
}
