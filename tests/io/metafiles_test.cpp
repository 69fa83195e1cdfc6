// Metafiles written by libuemf, rendered by our player: shapes, mapping modes, world transforms,
// paths and palette DIBs land on the pixels the canvas itself draws; importing sizes, fills and
// masks the picture as asked; merging changes only what the metafile covers; other renderers
// agree loosely.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview_globals.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/metafile.h"
#include "tests/io/io_test_support.h"
#include "tests/io/metafile_fixtures.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>

using namespace kviotest;

namespace {

const U_COLORREF Red = colorref3_set(255, 0, 0);
const U_COLORREF Blue = colorref3_set(0, 0, 255);

// The picture the canvas draws by itself on a white 24-bit bitmap, with a red pen and blue brush.
std::unique_ptr<TBitmap> Drawn(int32_t width, int32_t height, const std::function<void(TCanvas&)>& draw)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    TCanvas& canvas = *bitmap->Canvas();
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect(Rect(0, 0, width, height));
    canvas.Pen()->SetColor(clRed);
    canvas.Brush()->SetColor(clBlue);
    draw(canvas);
    return bitmap;
}

// The first pixel where the imported picture and the bitmap differ, or "" when none does.
std::string Difference(TKVBitmap& picture, TBitmap& expected)
{
    if (picture.GetWidth() != expected.Width() || picture.GetHeight() != expected.Height()) {
        return "sizes differ";
    }
    for (int32_t y = 0; y < expected.Height(); ++y) {
        for (int32_t x = 0; x < expected.Width(); ++x) {
            const TRGB p = picture.GetPixels(x, y);
            const TColor e = expected.Canvas()->Pixels(x, y);
            if (RGB(p.r, p.g, p.b) != COLORREF(e)) {
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    return "";
}

// A WMF record made byte by byte: its parameters (16-bit words) and any bytes after them.
char* RawWmfRecord(uint16_t function, const std::vector<uint16_t>& words, const std::vector<uint8_t>& tail)
{
    const size_t bytes = 6 + words.size() * 2 + tail.size() + (tail.size() % 2);
    auto* record = static_cast<uint8_t*>(std::calloc(bytes, 1));
    const uint32_t size = uint32_t(bytes / 2);
    std::memcpy(record, &size, 4);
    std::memcpy(record + 4, &function, 2);
    for (size_t i = 0; i < words.size(); ++i) {
        std::memcpy(record + 6 + 2 * i, &words[i], 2);
    }
    if (!tail.empty()) {
        std::memcpy(record + 6 + 2 * words.size(), tail.data(), tail.size());
    }
    return reinterpret_cast<char*>(record);
}

// The shapes every format is checked with, by the metafile and by the canvas.
void AddShapes(TEmfFixture& emf)
{
    emf.Select(emf.Pen(U_PS_SOLID, 1, Red));
    emf.Select(emf.Brush(U_BS_SOLID, Blue));
    emf.Add(U_EMRRECTANGLE_set(RectL(10, 10, 60, 40)));
    emf.Add(U_EMRELLIPSE_set(RectL(70, 10, 120, 40)));
    emf.Add(U_EMRPIE_set(RectL(10, 50, 60, 100), point32_set(60, 75), point32_set(35, 50)));
    emf.Add(U_EMRCHORD_set(RectL(70, 50, 120, 100), point32_set(120, 75), point32_set(70, 75)));
    emf.Add(U_EMRROUNDRECT_set(RectL(10, 105, 60, 125), sizel_set(10, 8)));
}

void DrawShapes(TCanvas& canvas)
{
    canvas.Rectangle(10, 10, 60, 40);
    canvas.Ellipse(70, 10, 120, 40);
    canvas.Pie(10, 50, 60, 100, 60, 75, 35, 50);
    canvas.Chord(70, 50, 120, 100, 120, 75, 70, 75);
    canvas.RoundRect(10, 105, 60, 125, 10, 8);
}

class Metafiles : public ::testing::Test
{
protected:
    std::string File(const std::string& name) const { return Folder.File(name); }

    // The file imported at its own size on white, without alpha.
    TKVBitmap& Import(TKorvaneIO& io, const std::string& name)
    {
        io.SetReBackground(clWhite);
        io.ImportMetafile(File(name), -1, -1, false);
        EXPECT_FALSE(io.Aborting) << name;
        return *io.KVBitmap();
    }

    kvtest::TempFolder Folder;
};

} // namespace

TEST_F(Metafiles, ShapesOfBothFormatsLandOnTheCanvasPixels)
{
    {
        TEmfFixture emf(File("shapes.emf"), 130, 130);
        AddShapes(emf);
        emf.Finish();
    }
    {
        TWmfFixture wmf(File("shapes.wmf"), 130, 130);
        wmf.Select(wmf.Pen(U_PS_SOLID, 1, Red));
        wmf.Select(wmf.Brush(U_BS_SOLID, Blue));
        wmf.Add(U_WMRRECTANGLE_set(Rect16(10, 10, 60, 40)));
        wmf.Add(U_WMRELLIPSE_set(Rect16(70, 10, 120, 40)));
        wmf.Add(U_WMRPIE_set(point16_set(60, 75), point16_set(35, 50), Rect16(10, 50, 60, 100)));
        wmf.Add(U_WMRCHORD_set(point16_set(120, 75), point16_set(70, 75), Rect16(70, 50, 120, 100)));
        wmf.Add(U_WMRROUNDRECT_set(10, 8, Rect16(10, 105, 60, 125)));
        wmf.Finish();
    }
    const auto expected = Drawn(130, 130, DrawShapes);
    for (const char* name : {"shapes.emf", "shapes.wmf"}) {
        TKorvaneIO io(nullptr);
        EXPECT_EQ(Difference(Import(io, name), *expected), "") << name;
    }
}

TEST_F(Metafiles, MappingModesWorldTransformsAndPathsPlaceTheFigures)
{
    struct TCase
    {
        const char* name;
        std::function<void(TEmfFixture&)> records;
        std::function<void(TCanvas&)> canvas;
    };
    const TCase cases[] = {
        {"anisotropic.emf",
         [](TEmfFixture& emf) {
             emf.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC));
             emf.Add(U_EMRSETWINDOWEXTEX_set(sizel_set(100, 50)));
             emf.Add(U_EMRSETVIEWPORTEXTEX_set(sizel_set(200, 100)));
             emf.Add(U_EMRRECTANGLE_set(RectL(5, 5, 25, 20)));
         },
         // The pen is one unit wide: two pixels here.
         [](TCanvas& canvas) {
             canvas.Pen()->SetWidth(2);
             canvas.Rectangle(10, 10, 50, 40);
         }},
        // A tenth of a millimetre a unit, y growing upward: 254 units are 96 pixels.
        {"lometric.emf",
         [](TEmfFixture& emf) {
             emf.Add(U_EMRSETMAPMODE_set(U_MM_LOMETRIC));
             emf.Add(U_EMRSETVIEWPORTORGEX_set(point32_set(2, 2)));
             emf.Add(U_EMRRECTANGLE_set(RectL(0, 0, 254, -254)));
         },
         [](TCanvas& canvas) { canvas.Rectangle(2, 2, 98, 98); }},
        // A quarter turn: x' = 100 - y, y' = x.
        {"turned.emf",
         [](TEmfFixture& emf) {
             emf.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(0, 1, -1, 0, 100, 0)));
             emf.Add(U_EMRRECTANGLE_set(RectL(10, 20, 40, 30)));
         },
         [](TCanvas& canvas) {
             const TPoint corners[] = {{80, 10}, {80, 40}, {70, 40}, {70, 10}};
             const int32_t count = 4;
             canvas.PolyPolygon(corners, &count, 1);
         }},
        {"filled-path.emf",
         [](TEmfFixture& emf) {
             emf.Add(U_EMRBEGINPATH_set());
             emf.Add(U_EMRMOVETOEX_set(point32_set(10, 10)));
             emf.Add(U_EMRLINETO_set(point32_set(60, 20)));
             emf.Add(U_EMRLINETO_set(point32_set(30, 50)));
             emf.Add(U_EMRCLOSEFIGURE_set());
             emf.Add(U_EMRENDPATH_set());
             emf.Add(U_EMRFILLPATH_set(RectL(0, 0, 0, 0)));
         },
         [](TCanvas& canvas) {
             canvas.Pen()->SetStyle(psClear);
             const TPoint corners[] = {{10, 10}, {60, 20}, {30, 50}};
             const int32_t count = 3;
             canvas.PolyPolygon(corners, &count, 1);
         }},
        // A clip path keeps the rectangle's fill inside the triangle.
        {"clip-path.emf",
         [](TEmfFixture& emf) {
             emf.Add(U_EMRBEGINPATH_set());
             const U_POINTL triangle[] = {point32_set(10, 10), point32_set(90, 10), point32_set(10, 90)};
             emf.Add(U_EMRPOLYGON_set(RectL(10, 10, 90, 90), 3, triangle));
             emf.Add(U_EMRENDPATH_set());
             emf.Add(U_EMRSELECTCLIPPATH_set(U_RGN_COPY));
             emf.Add(U_EMRRECTANGLE_set(RectL(0, 0, 100, 100)));
         },
         [](TCanvas& canvas) {
             const TPoint corners[] = {{10, 10}, {90, 10}, {10, 90}};
             HRGN clip = CreatePolygonRgn(corners, 3, ALTERNATE);
             SelectClipRgn(&canvas, clip);
             DeleteObject(clip);
             canvas.Rectangle(0, 0, 100, 100);
             SelectClipRgn(&canvas, nullptr);
         }},
        // A path reaching two billion units right clips to the picture's edge, in its rows only.
        {"clip-path-far.emf",
         [](TEmfFixture& emf) {
             emf.Add(U_EMRBEGINPATH_set());
             const U_POINTL band[] = {point32_set(10, 10), point32_set(2000000000, 10),
                                      point32_set(2000000000, 90), point32_set(10, 90)};
             emf.Add(U_EMRPOLYGON_set(RectL(10, 10, 2000000000, 90), 4, band));
             emf.Add(U_EMRENDPATH_set());
             emf.Add(U_EMRSELECTCLIPPATH_set(U_RGN_COPY));
             emf.Add(U_EMRRECTANGLE_set(RectL(0, 0, 100, 100)));
         },
         [](TCanvas& canvas) {
             HRGN clip = CreateRectRgn(10, 10, 100, 90);
             SelectClipRgn(&canvas, clip);
             DeleteObject(clip);
             canvas.Rectangle(0, 0, 100, 100);
             SelectClipRgn(&canvas, nullptr);
         }},
    };
    for (const TCase& c : cases) {
        {
            TEmfFixture emf(File(c.name), 100, 100);
            emf.Select(emf.Pen(U_PS_SOLID, 1, Red));
            emf.Select(emf.Brush(U_BS_SOLID, Blue));
            c.records(emf);
            emf.Finish();
        }
        TKorvaneIO io(nullptr);
        EXPECT_EQ(Difference(Import(io, c.name), *Drawn(100, 100, c.canvas)), "") << c.name;
    }
}

TEST_F(Metafiles, DibsTakeTheirColoursFromTheTableOrTheSelectedPalette)
{
    // Four 8-bit pixels whose table holds palette indexes 3, 2, 1, 0, stretched tenfold.
    BITMAPINFOHEADER header;
    header.biWidth = 4;
    header.biHeight = 1;
    header.biBitCount = 8;
    header.biClrUsed = 4;
    std::vector<uint8_t> dib(sizeof(header));
    std::memcpy(dib.data(), &header, sizeof(header));
    for (uint16_t index : {3, 2, 1, 0}) {
        dib.push_back(uint8_t(index));
        dib.push_back(0);
    }
    for (uint8_t pixel : {0, 1, 2, 3}) {
        dib.push_back(pixel);
    }
    {
        TWmfFixture wmf(File("palette.wmf"), 40, 10);
        const uint32_t palette =
            wmf.Palette({Red, colorref3_set(0, 255, 0), Blue, colorref3_set(255, 255, 0)});
        wmf.Add(U_WMRSELECTPALETTE_set(uint16_t(palette)));
        // STRETCHDIB: raster operation, usage (DIB_PAL_COLORS), source and destination, reversed.
        wmf.Add(RawWmfRecord(0x0F43, {0x0020, 0x00CC, 1, 1, 4, 0, 0, 10, 40, 0, 0}, dib));
        wmf.Finish();
    }
    TKorvaneIO io(nullptr);
    const auto expected = Drawn(40, 10, [](TCanvas& canvas) {
        const TColor columns[] = {clYellow, clBlue, TColor(0x00FF00), clRed};
        for (int32_t i = 0; i < 4; ++i) {
            canvas.Brush()->SetColor(columns[i]);
            canvas.FillRect(Rect(i * 10, 0, i * 10 + 10, 10));
        }
    });
    EXPECT_EQ(Difference(Import(io, "palette.wmf"), *expected), "");

    // A 24-bit DIB of an EMF, bottom row first, from its colours.
    {
        TEmfFixture emf(File("dib.emf"), 20, 20);
        U_BITMAPINFOHEADER info = bitmapinfoheader_set(2, 2, 1, 24, U_BI_RGB, 16, 0, 0, 0, 0);
        PU_BITMAPINFO bmi = bitmapinfo_set(info, nullptr);
        char pixels[16] = {0, 0, (char)255, 0, (char)255, 0, 0, 0, (char)255, 0, 0, 0, 0, 0, 0, 0};
        emf.Add(U_EMRSTRETCHDIBITS_set(RectL(0, 0, 19, 19), point32_set(0, 0), point32_set(20, 20),
                                       point32_set(0, 0), point32_set(2, 2), U_DIB_RGB_COLORS, U_SRCCOPY, bmi,
                                       16, pixels));
        std::free(bmi);
        emf.Finish();
    }
    const auto quarters = Drawn(20, 20, [](TCanvas& canvas) {
        const TColor colours[] = {clBlue, clBlack, clRed, TColor(0x00FF00)}; // top row, then bottom
        for (int32_t i = 0; i < 4; ++i) {
            canvas.Brush()->SetColor(colours[i]);
            canvas.FillRect(Rect((i % 2) * 10, (i / 2) * 10, (i % 2) * 10 + 10, (i / 2) * 10 + 10));
        }
    });
    TKorvaneIO second(nullptr);
    EXPECT_EQ(Difference(Import(second, "dib.emf"), *quarters), "");
}

TEST_F(Metafiles, OtherRenderersAgreeLoosely)
{
    // A frame round the whole picture first: ImageMagick's WMF reader fits what is drawn to the
    // picture.
    {
        TEmfFixture emf(File("shapes.emf"), 130, 130);
        emf.Select(emf.Pen(U_PS_SOLID, 1, Red));
        emf.Select(emf.Brush(U_BS_NULL, Blue));
        emf.Add(U_EMRRECTANGLE_set(RectL(0, 0, 130, 130)));
        AddShapes(emf);
        emf.Finish();
        TWmfFixture wmf(File("shapes.wmf"), 130, 130);
        wmf.Select(wmf.Pen(U_PS_SOLID, 1, Red));
        wmf.Select(wmf.Brush(U_BS_NULL, Blue));
        wmf.Add(U_WMRRECTANGLE_set(Rect16(0, 0, 130, 130)));
        wmf.Select(wmf.Brush(U_BS_SOLID, Blue));
        wmf.Add(U_WMRRECTANGLE_set(Rect16(10, 10, 60, 40)));
        wmf.Add(U_WMRELLIPSE_set(Rect16(70, 10, 120, 40)));
        wmf.Add(U_WMRPIE_set(point16_set(60, 75), point16_set(35, 50), Rect16(10, 50, 60, 100)));
        wmf.Add(U_WMRCHORD_set(point16_set(120, 75), point16_set(70, 75), Rect16(70, 50, 120, 100)));
        wmf.Finish();
    }
    // ImageMagick's WMF reader; emf2svg with rsvg-convert. Both smooth their edges.
    RunTool("convert -density 96 " + File("shapes.wmf") + " -background white -flatten " + File("wmf.png"));
    RunTool("emf2svg-conv -i " + File("shapes.emf") + " -o " + File("emf.svg") +
            " && rsvg-convert -w 130 -h 130 -b white " + File("emf.svg") + " -o " + File("emf.png"));
    for (const auto& [ours, theirs] :
         {std::pair{"shapes.wmf", "wmf.png"}, std::pair{"shapes.emf", "emf.png"}}) {
        TKorvaneIO io(nullptr);
        TKVBitmap& picture = Import(io, ours);
        TKorvaneIO reference(nullptr);
        reference.LoadFromFile(File(theirs));
        ASSERT_FALSE(reference.Aborting) << theirs;
        ASSERT_EQ(reference.KVBitmap()->GetWidth(), 130);
        // Each pixel taken as the nearest of white, red and blue.
        auto kind = [](TRGB c) {
            const int white = 3 * 255 - c.r - c.g - c.b;
            const int red = std::abs(255 - c.r) + c.g + c.b;
            const int blue = c.r + c.g + std::abs(255 - c.b);
            return white <= red && white <= blue ? 0 : (red <= blue ? 1 : 2);
        };
        // The frame itself is left out: the others smooth it into the picture's edge.
        int32_t differing = 0;
        for (int32_t y = 2; y < 128; ++y) {
            for (int32_t x = 2; x < 128; ++x) {
                differing += kind(picture.GetPixels(x, y)) != kind(reference.KVBitmap()->GetPixels(x, y));
            }
        }
        // The others smooth every outline: about one pixel of each edge differs.
        EXPECT_LT(differing, 126 * 126 * 5 / 100) << ours;
        RecordProperty(std::string(ours) + "_pixels_differing", differing);
    }
}

namespace {

// A WMF of the size with a red rectangle whose corners are given, drawn with a red pen.
void WriteBox(const std::string& fileName, int32_t width, int32_t height, int16_t left, int16_t top,
              int16_t right, int16_t bottom)
{
    TWmfFixture wmf(fileName, width, height);
    wmf.Select(wmf.Pen(U_PS_SOLID, 1, Red));
    wmf.Select(wmf.Brush(U_BS_SOLID, Red));
    wmf.Add(U_WMRRECTANGLE_set(Rect16(left, top, right, bottom)));
    wmf.Finish();
}

} // namespace

TEST_F(Metafiles, ImportSizesThePictureAsAsked)
{
    WriteBox(File("wide.wmf"), 1000, 500, 0, 0, 1000, 500);
    WriteBox(File("huge.wmf"), 6000, 3000, 0, 0, 6000, 3000);
    WriteBox(File("tall.wmf"), 3000, 6000, 0, 0, 3000, 6000);
    WriteBox(File("flat.wmf"), 1000, 0, 0, 0, 1000, 1);
    const struct
    {
        const char* name;
        int32_t width, height;
        int32_t expectedWidth, expectedHeight; // 0: Aborting
    } cases[] = {
        {"wide.wmf", -1, -1, 1000, 500}, {"wide.wmf", 400, -1, 400, 200},  {"wide.wmf", -1, 100, 200, 100},
        {"wide.wmf", 30, 40, 30, 40},    {"huge.wmf", -1, -1, 2800, 1400}, {"tall.wmf", -5, -5, 1400, 2800},
        {"wide.wmf", 1, -1, 0, 0},       {"flat.wmf", -1, -1, 0, 0},       {"flat.wmf", -1, 10, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        TKorvaneIO io(nullptr);
        FillPattern(*io.KVBitmap(), 3, 2);
        TEventLog events;
        events.Attach(io);
        io.ImportMetafile(File(c.name), c.width, c.height, false);
        EXPECT_EQ(events.Finishes(), 1);
        if (c.expectedWidth == 0) {
            EXPECT_TRUE(io.Aborting);
            EXPECT_EQ(io.KVBitmap()->GetWidth(), 3);
            continue;
        }
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.KVBitmap()->GetWidth(), c.expectedWidth);
        EXPECT_EQ(io.KVBitmap()->GetHeight(), c.expectedHeight);
        // The whole picture is the red box, to its last row and column.
        EXPECT_EQ(io.KVBitmap()->GetPixels(c.expectedWidth - 1, c.expectedHeight - 1), (TRGB{0, 0, 255}));
    }
    // A side of 0 asked for does nothing and is no failure.
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 3, 2);
    io.ImportMetafile(File("wide.wmf"), 0, 100, true);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 3);
}

TEST_F(Metafiles, ImportFillsParamsBackgroundAndAlpha)
{
    WriteBox(File("box.wmf"), 40, 30, 10, 10, 20, 20);
    {
        TEmfFixture emf(File("box.emf"), 40, 30);
        emf.Select(emf.Pen(U_PS_SOLID, 1, Red));
        emf.Add(U_EMRRECTANGLE_set(RectL(10, 10, 20, 20)));
        emf.Finish();
    }
    for (const auto& [name, fileType] : {std::pair{"box.wmf", 9}, std::pair{"box.emf", 10}}) {
        SCOPED_TRACE(name);
        TKorvaneIO io(nullptr);
        io.SetReBackground(clYellow);
        TEventLog events;
        events.Attach(io);
        io.LoadFromFile(File(name)); // at its own size, with alpha
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 1);
        const TIOParamsVals& params = io.Params();
        EXPECT_EQ(params.FileName, File(name));
        EXPECT_EQ(params.FileType, fileType);
        EXPECT_EQ(params.Width, 40);
        EXPECT_EQ(params.Height, 30);
        EXPECT_EQ(params.BitsPerSample, 8);
        EXPECT_EQ(params.SamplesPerPixel, 3);
        EXPECT_EQ(params.DpiX, Kvview::gSystemDPIX);
        EXPECT_EQ(params.DpiY, Kvview::gSystemDPIY);
        EXPECT_EQ(params.ColorMapCount, 0);
        TKVBitmap& picture = *io.KVBitmap();
        EXPECT_EQ(picture.GetPixelFormat(), kv24RGB);
        EXPECT_EQ(picture.GetPixels(0, 0), (TRGB{0, 255, 255})); // the background
        EXPECT_EQ(picture.GetPixels(10, 10), (TRGB{0, 0, 255}));
        ASSERT_TRUE(picture.GetHasAlphaChannel());
        EXPECT_EQ(picture.GetAlpha(0, 0), 0);
        EXPECT_EQ(picture.GetAlpha(15, 15), 255); // inside: the default white brush
        EXPECT_EQ(picture.GetAlpha(19, 19), 255);
        EXPECT_EQ(picture.GetAlpha(20, 20), 0);
    }
}

TEST_F(Metafiles, WhatIsNoMetafileSetsAborting)
{
    CopyFile(GoImage("video-001.jpeg"), File("jpeg.wmf"));
    Folder.Write("empty.emf", "");
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 3, 2);
    TEventLog events;
    events.Attach(io);
    for (const char* name : {"jpeg.wmf", "empty.emf"}) {
        io.LoadFromFile(File(name));
        EXPECT_TRUE(io.Aborting) << name;
        io.MergeMetafile(File(name), 0, 0, -1, -1);
        EXPECT_TRUE(io.Aborting) << name;
    }
    EXPECT_THROW(io.ImportMetafile(File("missing.wmf"), -1, -1, false), EFOpenError);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 5);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 3);

    // On a worker the import runs there and the caller sees the result after waiting.
    WriteBox(File("box.wmf"), 40, 30, 0, 0, 40, 30);
    TKVBitmap target;
    TKorvaneIO async(nullptr);
    async.SetAttachedKVBitmap(&target);
    async.AsyncMode = true;
    async.ImportMetafile(File("box.wmf"), 20, -1, false);
    async.WaitThreads(false);
    EXPECT_FALSE(async.Aborting);
    EXPECT_EQ(target.GetWidth(), 20);
    EXPECT_EQ(target.GetHeight(), 15);
}

TEST_F(Metafiles, MergeChangesOnlyWhatTheMetafileCovers)
{
    WriteBox(File("cover.wmf"), 200, 200, 0, 0, 200, 200);
    WriteBox(File("small.wmf"), 50, 50, 0, 0, 50, 50);
    TKVBitmap original;
    FillPattern(original, 100, 100);
    const struct
    {
        const char* name;
        int32_t x, y, width, height;
        TRect covered;
    } cases[] = {
        {"cover.wmf", 10, 10, -1, -1, Rect(10, 10, 100, 100)},
        {"small.wmf", 20, 20, -1, -1, Rect(20, 20, 70, 70)}, // to its last row and column
        {"small.wmf", -10, 90, 30, 30, Rect(0, 90, 20, 100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKorvaneIO io(nullptr);
        io.KVBitmap()->Assign(&original);
        io.Params().Width = 7;
        TEventLog events;
        events.Attach(io);
        io.MergeMetafile(File(c.name), c.x, c.y, c.width, c.height);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(events.Finishes(), 1);
        EXPECT_EQ(io.Params().Width, 7);
        for (int32_t y = 0; y < 100; ++y) {
            for (int32_t x = 0; x < 100; ++x) {
                const bool inside = c.covered.Contains({x, y});
                const TRGB expected = inside ? TRGB{0, 0, 255} : original.GetPixels(x, y);
                ASSERT_EQ(io.KVBitmap()->GetPixels(x, y), expected) << x << "," << y;
            }
        }
    }
}
