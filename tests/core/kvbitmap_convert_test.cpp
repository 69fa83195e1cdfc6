// Pixel-format conversions of the bitmap model between every pair of formats, on 3 x 2 images
// whose expected pixels are worked out by hand in the comments.
#include "imaging/core/daduvudez.h"
#include "platform/core/exceptions.h"

#include <gtest/gtest.h>
#include <variant>
#include <vector>

namespace {

TRGB Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return TRGB{b, g, r};
}

const TRGB kRed = Rgb(255, 0, 0), kGreen = Rgb(0, 255, 0), kBlue = Rgb(0, 0, 255),
           kWhite = Rgb(255, 255, 255), kBlack = Rgb(0, 0, 0), kSlate = Rgb(100, 150, 200);

// The six source images, 3 x 2, top row first.
void MakeSource(TKVBitmap& b, TKVPixelFormat format)
{
    b.Allocate(3, 2, format);
    switch (format) {
    case kv1g: {
        const bool bits[6] = {true, false, true, false, true, true};
        b.Fill(0);
        for (int i = 0; i < 6; ++i)
            b.SetPixels_kv1g(i % 3, i / 3, bits[i]);
        break;
    }
    case kv8p: {
        const uint8_t index[6] = {0, 1, 2, 3, 0, 1};
        for (int i = 0; i < 6; ++i)
            b.SetPixels_kv8(i % 3, i / 3, index[i]);
        for (int i = 0; i < 256; ++i)
            b.SetPalette(i, Rgb(9, 9, 9));
        b.SetPalette(0, kRed);
        b.SetPalette(1, kGreen);
        b.SetPalette(2, kBlue);
        b.SetPalette(3, kSlate);
        break;
    }
    case kv8g: {
        const uint8_t grey[6] = {0, 100, 255, 64, 128, 200};
        for (int i = 0; i < 6; ++i)
            b.SetPixels_kv8(i % 3, i / 3, grey[i]);
        break;
    }
    case kv16g: {
        const uint16_t grey[6] = {0, 0x1234, 0xFFFF, 0x8000, 0x00FF, 0x7FFF};
        for (int i = 0; i < 6; ++i)
            b.SetPixels_kv16g(i % 3, i / 3, grey[i]);
        break;
    }
    case kv24RGB: {
        const TRGB colours[6] = {kRed, kGreen, kBlue, kWhite, kBlack, kSlate};
        for (int i = 0; i < 6; ++i)
            b.SetPixels_kv24RGB(i % 3, i / 3, colours[i]);
        break;
    }
    case kv32f: {
        const float values[6] = {0.0f, 0.5f, 1.0f, 1.5f, -0.25f, 0.2f};
        for (int i = 0; i < 6; ++i)
            b.SetPixels_kv32f(i % 3, i / 3, values[i]);
        break;
    }
    default:
        break;
    }
}

using TValues = std::variant<std::vector<int>, std::vector<float>, std::vector<TRGB>>;

// The pixels of an image in its own format: indexes, grey levels, words, colours or floats.
TValues Read(TKVBitmap& b)
{
    std::vector<int> ints;
    std::vector<float> floats;
    std::vector<TRGB> colours;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x)
            switch (b.GetPixelFormat()) {
            case kv1g:
                ints.push_back(b.GetPixels_kv1g(x, y));
                break;
            case kv8p:
            case kv8g:
                ints.push_back(b.GetPixels_kv8(x, y));
                break;
            case kv16g:
                ints.push_back(b.GetPixels_kv16g(x, y));
                break;
            case kv32f:
                floats.push_back(b.GetPixels_kv32f(x, y));
                break;
            default:
                colours.push_back(b.GetPixels_kv24RGB(x, y));
                break;
            }
    if (b.GetPixelFormat() == kv32f)
        return floats;
    if (b.GetPixelFormat() == kv24RGB)
        return colours;
    return ints;
}

void ExpectValues(const TValues& actual, const TValues& expected, const std::string& what)
{
    ASSERT_EQ(actual.index(), expected.index()) << what;
    if (const auto* f = std::get_if<std::vector<float>>(&expected)) {
        const auto& a = std::get<std::vector<float>>(actual);
        ASSERT_EQ(a.size(), f->size()) << what;
        for (size_t i = 0; i < f->size(); ++i)
            EXPECT_FLOAT_EQ(a[i], (*f)[i]) << what << " pixel " << i;
    } else {
        EXPECT_EQ(actual, expected) << what;
    }
}

const char* Name(TKVPixelFormat f)
{
    static const char* names[] = {"kvnull", "kv1g", "kv8p", "kv8g", "kv16g", "kv24RGB", "kv32f"};
    return names[f];
}

struct TConversion
{
    TKVPixelFormat from, to;
    TValues expected;
};

// grey(R, G, B) = (21 R + 71 G + 8 B) div 100: red 53, green 181, blue 20, slate (100, 150, 200) 143.
// 16-bit grey = (54272 R + 182528 G + 19200 B) div 1000: red 13839, green 46544, blue 4896,
// white 65280, slate 36646. Float grey = (0.2126 R + 0.7152 G + 0.0722 B) / 255: slate 142.98 / 255.
const std::vector<TConversion> kConversions = {
    {kv24RGB, kv8g, std::vector<int>{53, 181, 20, 255, 0, 143}},
    {kv24RGB, kv16g, std::vector<int>{13839, 46544, 4896, 65280, 0, 36646}},
    {kv24RGB, kv32f, std::vector<float>{0.2126f, 0.7152f, 0.0722f, 1.0f, 0.0f, 142.98f / 255}},

    {kv8p, kv8g, std::vector<int>{53, 181, 20, 143, 53, 181}},
    {kv8p, kv16g, std::vector<int>{13839, 46544, 4896, 36646, 13839, 46544}},
    {kv8p, kv24RGB, std::vector<TRGB>{kRed, kGreen, kBlue, kSlate, kRed, kGreen}},
    {kv8p, kv32f, std::vector<float>{0.2126f, 0.7152f, 0.0722f, 142.98f / 255, 0.2126f, 0.7152f}},

    // v shl 8 and v / 255.
    {kv8g, kv8p, std::vector<int>{0, 100, 255, 64, 128, 200}},
    {kv8g, kv16g, std::vector<int>{0, 25600, 65280, 16384, 32768, 51200}},
    {kv8g, kv24RGB,
     std::vector<TRGB>{kBlack, Rgb(100, 100, 100), kWhite, Rgb(64, 64, 64), Rgb(128, 128, 128),
                       Rgb(200, 200, 200)}},
    {kv8g, kv32f, std::vector<float>{0.0f, 100.0f / 255, 1.0f, 64.0f / 255, 128.0f / 255, 200.0f / 255}},

    // v shr 8 and v / 65535.
    {kv16g, kv8p, std::vector<int>{0, 0x12, 255, 128, 0, 127}},
    {kv16g, kv8g, std::vector<int>{0, 0x12, 255, 128, 0, 127}},
    {kv16g, kv24RGB,
     std::vector<TRGB>{kBlack, Rgb(18, 18, 18), kWhite, Rgb(128, 128, 128), kBlack, Rgb(127, 127, 127)}},
    {kv16g, kv32f,
     std::vector<float>{0.0f, 4660.0f / 65535, 1.0f, 32768.0f / 65535, 255.0f / 65535, 32767.0f / 65535}},

    // Trunc(v x 255) and Trunc(v x 65535), clamped: 1.5 is white (never 126), -0.25 black;
    // 0.5 gives 127.5 -> 127 and 32767.5 -> 32767; 0.2f is just above 0.2: 51 and 13107.
    {kv32f, kv8p, std::vector<int>{0, 127, 255, 255, 0, 51}},
    {kv32f, kv8g, std::vector<int>{0, 127, 255, 255, 0, 51}},
    {kv32f, kv16g, std::vector<int>{0, 32767, 65535, 65535, 0, 13107}},
    {kv32f, kv24RGB, std::vector<TRGB>{kBlack, Rgb(127, 127, 127), kWhite, kWhite, kBlack, Rgb(51, 51, 51)}},

    {kv1g, kv8p, std::vector<int>{1, 0, 1, 0, 1, 1}},
    {kv1g, kv8g, std::vector<int>{255, 0, 255, 0, 255, 255}},
    {kv1g, kv16g, std::vector<int>{65535, 0, 65535, 0, 65535, 65535}},
    {kv1g, kv24RGB, std::vector<TRGB>{kWhite, kBlack, kWhite, kBlack, kWhite, kWhite}},
    {kv1g, kv32f, std::vector<float>{1, 0, 1, 0, 1, 1}},
};

} // namespace

TEST(KVBitmapConvert, ConvertsBetweenEveryPairOfFormats)
{
    for (const TConversion& c : kConversions) {
        const std::string what = std::string(Name(c.from)) + " to " + Name(c.to);
        TKVBitmap bitmap;
        MakeSource(bitmap, c.from);
        bitmap.ConvertToPixelFormat(c.to);
        EXPECT_EQ(bitmap.GetPixelFormat(), c.to) << what;
        EXPECT_EQ((std::array{bitmap.GetWidth(), bitmap.GetHeight()}), (std::array{3, 2})) << what;
        ExpectValues(Read(bitmap), c.expected, what);
    }
}

TEST(KVBitmapConvert, GivesPalettesTheirEntries)
{
    for (TKVPixelFormat from : {kv8g, kv16g, kv32f}) {
        TKVBitmap bitmap;
        MakeSource(bitmap, from);
        bitmap.SetPixelFormat(kv8p);
        for (int i : {0, 77, 255})
            EXPECT_EQ(bitmap.GetPalette(i), Rgb(uint8_t(i), uint8_t(i), uint8_t(i)))
                << Name(from); // grey ramp
    }
    TKVBitmap bw;
    MakeSource(bw, kv1g);
    bw.SetPixelFormat(kv8p);
    EXPECT_EQ(bw.GetPalette(0), kBlack);
    EXPECT_EQ(bw.GetPalette(1), kWhite);
    EXPECT_EQ(bw.GetPixels(0, 0), kWhite);
}

TEST(KVBitmapConvert, KeepsTheAlphaChannelAndSameFormatPixels)
{
    TKVBitmap bitmap;
    MakeSource(bitmap, kv8p);
    bitmap.SetAlpha(2, 1, 33);
    bitmap.ConvertToPixelFormat(kv8p); // a copy of itself
    ExpectValues(Read(bitmap), std::vector<int>{0, 1, 2, 3, 0, 1}, "kv8p to kv8p");
    EXPECT_EQ(bitmap.GetPalette(3), kSlate);
    bitmap.SetPixelFormat(kv24RGB);
    bitmap.SetPixelFormat(kv16g);
    ASSERT_TRUE(bitmap.GetHasAlphaChannel());
    EXPECT_EQ(bitmap.GetAlpha(2, 1), 33);
    EXPECT_EQ(bitmap.GetAlphaChannel()->GetPixelFormat(), kv8g);

    TKVBitmap empty;
    empty.ConvertToPixelFormat(kv24RGB);
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetPixelFormat(), kv24RGB); // the format to allocate next
}

TEST(KVBitmapConvert, ConvertsInPlaceInAClassLibraryBitmap)
{
    TBitmap picture;
    picture.SetPixelFormat(pf8bit);
    picture.SetSize(3, 2);
    TKVBitmap wrapper;
    wrapper.EncapsulateTBitmap(&picture, true);
    wrapper.SetPixelFormat(kv8g);
    for (int i = 0; i < 6; ++i)
        wrapper.SetPixels_kv8(i % 3, i / 3, uint8_t(i * 40));
    wrapper.SetPixelFormat(kv24RGB);
    EXPECT_EQ(wrapper.Location(), kvTBitmap);
    EXPECT_EQ(wrapper.GetVclBitmap(), &picture);
    EXPECT_EQ(picture.PixelFormat(), pf24bit);
    EXPECT_EQ(wrapper.GetPixels_kv24RGB(2, 1), Rgb(200, 200, 200));
    EXPECT_EQ(picture.ScanLine(1)[6], 200);

    wrapper.SetPixelFormat(kv16g); // stored as grey bytes there
    EXPECT_EQ(wrapper.GetPixelFormat(), kv8g);
    EXPECT_EQ(picture.PixelFormat(), pf8bit);
    EXPECT_EQ(wrapper.GetPixels_kv8(1, 1), 160);
    EXPECT_THROW(wrapper.SetPixelFormat(kv32f), Exception);
    EXPECT_EQ(wrapper.GetPixels_kv8(1, 1), 160);
}

namespace {

std::array<uint8_t, 2> FirstBytes(TKVBitmap& b)
{
    return {b.GetScanLine(0)[0], b.GetScanLine(1)[0]};
}

} // namespace

TEST(KVBitmapConvert, DithersToBlackAndWhiteWithTheOrderedTable)
{
    // Level = grey shr 2 (v shr 2, v shr 10, Trunc(v x 255) shr 2); white when above
    // BWORDERPATTERN[x][y]: 0, 48, 12 along the top row and 32, 16, 44 along the second.
    struct Case
    {
        TKVPixelFormat from;
        std::array<uint8_t, 2> rows;
    };
    for (const Case& c : {Case{kv24RGB, {0x80, 0x80}},  // levels 13 45 5 / 63 0 35
                          Case{kv8p, {0x80, 0xA0}},     // 13 45 5 / 35 13 45
                          Case{kv8g, {0x20, 0x60}},     // 0 25 63 / 16 32 50
                          Case{kv16g, {0x20, 0x00}},    // 0 4 63 / 32 0 31
                          Case{kv32f, {0x20, 0x80}}}) { // 0 31 63 / 63 0 12
        TKVBitmap bitmap;
        MakeSource(bitmap, c.from);
        bitmap.DitherMethod = kvOrdered;
        bitmap.ConvertToPixelFormat(kv1g);
        EXPECT_EQ(bitmap.GetPixelFormat(), kv1g) << Name(c.from);
        EXPECT_EQ(FirstBytes(bitmap), c.rows) << Name(c.from);
    }
}

TEST(KVBitmapConvert, ThresholdsAtTheGreyOfTheMeanColour)
{
    // Mean colour (101.7, 110, 118.3), grey about 108: red 53, blue 20, black 0 and the rest above.
    TKVBitmap bitmap;
    MakeSource(bitmap, kv24RGB);
    bitmap.SetAlpha(1, 1, 7);
    ASSERT_EQ(bitmap.DitherMethod, kvThreshold);
    bitmap.SetPixelFormat(kv1g);
    EXPECT_EQ(bitmap.GetPixelFormat(), kv1g);
    EXPECT_EQ(FirstBytes(bitmap), (std::array<uint8_t, 2>{0x40, 0xA0}));
    EXPECT_EQ(bitmap.GetAlpha(1, 1), 7);
}

TEST(KVBitmapConvert, QuantizesColoursIntoAPalette)
{
    // Six colours fit a 256-entry palette exactly, in the order they first appear.
    TKVBitmap bitmap;
    MakeSource(bitmap, kv24RGB);
    bitmap.SetPixelFormat(kv8p);
    ExpectValues(Read(bitmap), std::vector<int>{0, 1, 2, 3, 4, 5}, "kv24RGB to kv8p");
    EXPECT_EQ((std::vector<TRGB>{bitmap.GetPalette(0), bitmap.GetPalette(3), bitmap.GetPalette(5)}),
              (std::vector<TRGB>{kRed, kWhite, kSlate}));

    // A grey colour image takes the grey ramp.
    TKVBitmap grey;
    MakeSource(grey, kv8g);
    grey.SetPixelFormat(kv24RGB);
    grey.SetPixelFormat(kv8p);
    ExpectValues(Read(grey), std::vector<int>{0, 100, 255, 64, 128, 200}, "grey kv24RGB to kv8p");
    EXPECT_EQ(grey.GetPalette(100), Rgb(100, 100, 100));
}

TEST(KVBitmapConvert, TurnsAClassLibraryBitmapBetweenOneAndTwentyFourBits)
{
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(3, 2);
    TKVBitmap wrapper;
    wrapper.EncapsulateTBitmap(&picture, true);
    TKVBitmap source;
    MakeSource(source, kv24RGB);
    source.CopyRectTo(&wrapper, 0, 0, 0, 0, 3, 2);
    wrapper.DitherMethod = kvOrdered;
    wrapper.SetPixelFormat(kv1g); // the same levels as above; all channels >= 251 count as 64
    EXPECT_EQ(picture.PixelFormat(), pf1bit);
    EXPECT_EQ(wrapper.GetPixelFormat(), kv1g);
    EXPECT_EQ(wrapper.GetScanLine(1), picture.ScanLine(1));
    EXPECT_EQ(FirstBytes(wrapper), (std::array<uint8_t, 2>{0x80, 0x80}));

    wrapper.SetPixelFormat(kv24RGB); // black and white again, in place
    EXPECT_EQ(picture.PixelFormat(), pf24bit);
    ExpectValues(Read(wrapper), std::vector<TRGB>{kWhite, kBlack, kBlack, kWhite, kBlack, kBlack},
                 "back to 24");

    wrapper.DitherMethod = kvThreshold;
    source.CopyRectTo(&wrapper, 0, 0, 0, 0, 3, 2);
    wrapper.SetPixelFormat(kv1g);
    EXPECT_EQ(FirstBytes(wrapper), (std::array<uint8_t, 2>{0x40, 0xA0}));
}
