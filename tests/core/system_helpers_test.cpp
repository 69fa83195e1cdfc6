// Platform tests, GUID text, the number parser, font styles, angles and the read-only stream.
#include "imaging/core/daduvudez.h"
#include "platform/forms/printers.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(SystemHelpers, PlatformAnswersAreFixed)
{
    EXPECT_TRUE(Daduvudez::KVIs_Win2000_ME_XP());
    EXPECT_FALSE(Daduvudez::KVIs_XP());
    EXPECT_FALSE(Daduvudez::KVIs_98());
#if defined(__x86_64__)
    EXPECT_TRUE(Daduvudez::KVMMXSupported());
#endif
}

TEST(SystemHelpers, ResetPrinterReturnsToTheDriverDefaults)
{
    Printer()->SetOrientation(poLandscape);
    Printer()->SetCopies(3);
    Daduvudez::KVResetPrinter();
    EXPECT_EQ(Printer()->Orientation(), poPortrait);
    EXPECT_EQ(Printer()->Copies(), 1);
}

TEST(SystemHelpers, GuidTextRoundTripsAndRefusesOtherForms)
{
    TGUID guid;
    guid.D1 = 0xABABABAB;
    guid.D2 = guid.D3 = 0xABAB;
    for (uint8_t& b : guid.D4)
        b = 0xAB;
    EXPECT_EQ(Daduvudez::KVConvertGUIDToString(guid), "{abababab-abab-abab-abab-abababababab}");

    const std::string text = "{0123ABCD-4567-89ef-A1b2-C3D4E5F60718}";
    TGUID read;
    ASSERT_TRUE(Daduvudez::KVConvertStringToGUID(text, read));
    EXPECT_EQ(read.D1, 0x0123ABCDu);
    EXPECT_EQ(read.D2, 0x4567);
    EXPECT_EQ(read.D3, 0x89EF);
    EXPECT_EQ(read.D4[0], 0xA1);
    EXPECT_EQ(read.D4[7], 0x18);
    EXPECT_EQ(Daduvudez::KVConvertGUIDToString(read), "{0123abcd-4567-89ef-a1b2-c3d4e5f60718}");

    for (const char* bad :
         {"", "{", "{0123ABCD-4567-89ef-A1b2-C3D4E5F6071}", "{0123ABCD-4567-89ef-A1b2-C3D4E5F60718",
          "{0123ABCD+4567-89ef-A1b2-C3D4E5F60718}", "{0123ABCD-4567-89ef-A1b2-C3D4E5F6071G}"}) {
        TGUID kept = guid;
        EXPECT_FALSE(Daduvudez::KVConvertStringToGUID(bad, kept)) << bad;
        EXPECT_EQ(kept, guid) << bad;
    }
}

TEST(SystemHelpers, NumbersTakeEitherSeparator)
{
    const struct
    {
        const char* text;
        long double expected;
    } cases[] = {{"1,5", 1.5L}, {"1.5", 1.5L}, {"-2,25", -2.25L}, {"abc", 7},
                 {"", 7},       {"1,5,5", 7},  {"3", 3}};
    for (const auto& c : cases)
        EXPECT_EQ(Daduvudez::KVStrToFloatDef(c.text, 7), c.expected) << c.text;
}

TEST(SystemHelpers, FontStylesFromALogicalFont)
{
    EXPECT_TRUE(Daduvudez::KVExtractStylesFromLogFont(nullptr).IsEmpty());
    LOGFONT font;
    font.lfWeight = 699;
    EXPECT_FALSE(Daduvudez::KVExtractStylesFromLogFont(&font).Contains(fsBold));
    font.lfWeight = 700;
    font.lfItalic = font.lfStrikeOut = 1;
    EXPECT_EQ(Daduvudez::KVExtractStylesFromLogFont(&font), (TFontStyles{fsBold, fsItalic, fsStrikeOut}));
}

TEST(SystemHelpers, AnglesAndRectangleLimits)
{
    EXPECT_DOUBLE_EQ(Daduvudez::KVArcCos(1), 0);
    EXPECT_DOUBLE_EQ(Daduvudez::KVArcCos(-1), M_PI);
    EXPECT_NEAR(Daduvudez::KVArcCos(0.5), M_PI / 3, 1e-12);
    EXPECT_NEAR(Daduvudez::KVArcCos(-0.5), 2 * M_PI / 3, 1e-12);
    const struct
    {
        int32_t x1, y1, x2, y2, x3, y3;
        double expected;
    } turns[] = {
        {0, 0, 5, 0, 9, 0, 0},                    // straight on
        {0, 0, 3, 3, 7, 7, 0},                    // straight on, diagonally
        {0, 0, 5, 0, 5, 4, M_PI / 2},             // right angle
        {0, 0, 5, 0, 1, 0, M_PI},                 // turning back
        {1, 1, 4, 4, -5, -5, M_PI},               // turning back, diagonally
        {0, 0, 0, 0, 5, 5, 0},                    // no first direction
        {0, 0, 60000, 0, 60000, 60000, M_PI / 2}, // past int32 squares
    };
    for (const auto& t : turns)
        EXPECT_NEAR(Daduvudez::KVAngle(t.x1, t.y1, t.x2, t.y2, t.x3, t.y3), t.expected, 1e-9)
            << t.x2 << "," << t.y2 << " -> " << t.x3 << "," << t.y3;

    TRect box{10, 10, 20, 20};
    Daduvudez::KVSetplim(box, 5, 25);
    Daduvudez::KVSetplim(box, 15, 15);
    EXPECT_EQ(box, (TRect{5, 10, 20, 25}));
}

TEST(SystemHelpers, MemStreamReadsTheCallersBlockAndWritesNothing)
{
    uint8_t block[4] = {1, 2, 3, 4};
    TKVMemStream stream(block, 4);
    uint8_t read[3] = {};
    EXPECT_EQ(stream.Read(read, 3), 3);
    EXPECT_EQ(read[2], 3);
    stream.Seek(0, soBeginning);
    const uint8_t other[2] = {9, 9};
    EXPECT_EQ(stream.Write(other, 2), 0);
    stream.SetSize(100);
    EXPECT_EQ(stream.Size(), 4);
    EXPECT_EQ(block[0], 1);

    const TKVScrollBarParams bar;
    EXPECT_EQ(bar.LineStep, -1);
    EXPECT_TRUE(bar.Tracking);
    const TKVMouseWheelParams wheel;
    EXPECT_EQ(wheel.WheelAction, kvmwZoom);
    EXPECT_EQ(wheel.StepKind, kvmwPercentage);
    EXPECT_EQ(wheel.StepValue, 8);
}
