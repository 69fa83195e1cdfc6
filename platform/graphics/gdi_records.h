// The binary records and constants of the GDI interface that the imaging code exchanges: DIB headers
// and colour tables, the bitmap file header, logical fonts and palettes, raster-operation codes.
// The layouts are byte-exact, because the records are also written to and read from files.
#pragma once

#include <cstdint>

struct RGBQUAD
{
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    friend bool operator==(const RGBQUAD&, const RGBQUAD&) = default;
};
static_assert(sizeof(RGBQUAD) == 4);

struct PALETTEENTRY
{
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
    friend bool operator==(const PALETTEENTRY&, const PALETTEENTRY&) = default;
};
static_assert(sizeof(PALETTEENTRY) == 4);

struct BITMAPINFOHEADER
{
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    // Positive: rows stored bottom row first; negative: top row first.
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// A header followed by its colour table (or bit-field masks); bmiColors is the first entry of a
// table that continues past the end of the record.
struct BITMAPINFO
{
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
static_assert(sizeof(BITMAPINFO) == 44);

#pragma pack(push, 2)
struct BITMAPFILEHEADER
{
    uint16_t bfType = 0x4D42; // "BM"
    uint32_t bfSize = 0;
    uint16_t bfReserved1 = 0;
    uint16_t bfReserved2 = 0;
    uint32_t bfOffBits = 0;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

constexpr uint32_t DIB_RGB_COLORS = 0;
constexpr uint32_t DIB_PAL_COLORS = 1;

constexpr int32_t LF_FACESIZE = 32;

// The ANSI logical font, 60 bytes; the vector layer's file format stores it as it is.
struct LOGFONTA
{
    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0; // tenths of a degree, counter-clockwise
    int32_t lfOrientation = 0;
    int32_t lfWeight = 0;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = 0;
    uint8_t lfPitchAndFamily = 0;
    char lfFaceName[LF_FACESIZE] = {};
};
static_assert(sizeof(LOGFONTA) == 60);
using LOGFONT = LOGFONTA;

// The measures of a device context's current font, in pixels.
struct TEXTMETRICA
{
    int32_t tmHeight = 0; // ascent + descent
    int32_t tmAscent = 0;
    int32_t tmDescent = 0;
    int32_t tmAveCharWidth = 0; // the width of "x"
};
using TEXTMETRIC = TEXTMETRICA;

constexpr int32_t FW_DONTCARE = 0;
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_BOLD = 700;

constexpr uint8_t ANSI_CHARSET = 0;
constexpr uint8_t DEFAULT_CHARSET = 1;
constexpr uint8_t SYMBOL_CHARSET = 2;
constexpr uint8_t GREEK_CHARSET = 161;
constexpr uint8_t RUSSIAN_CHARSET = 204;
constexpr uint8_t EASTEUROPE_CHARSET = 238;

constexpr uint8_t DEFAULT_QUALITY = 0;
constexpr uint8_t DRAFT_QUALITY = 1;
constexpr uint8_t PROOF_QUALITY = 2;
constexpr uint8_t NONANTIALIASED_QUALITY = 3;
constexpr uint8_t ANTIALIASED_QUALITY = 4;
constexpr uint8_t CLEARTYPE_QUALITY = 5;

struct LOGPALETTE
{
    uint16_t palVersion = 0x300;
    uint16_t palNumEntries = 0;
    PALETTEENTRY palPalEntry[1];
};

// Raster-operation codes of BitBlt, StretchBlt, StretchDIBits and PatBlt. Bits 16..23 hold the
// truth table of the operation over pattern (P), source (S) and destination (D).
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t SRCERASE = 0x00440328;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t NOTSRCERASE = 0x001100A6;
constexpr uint32_t MERGECOPY = 0x00C000CA;
constexpr uint32_t MERGEPAINT = 0x00BB0226;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t PATPAINT = 0x00FB0A09;
constexpr uint32_t PATINVERT = 0x005A0049;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;

// Stretch modes.
constexpr int32_t BLACKONWHITE = 1;
constexpr int32_t WHITEONBLACK = 2;
constexpr int32_t COLORONCOLOR = 3;
constexpr int32_t HALFTONE = 4;

// Mix modes of a pen (binary raster operations).
constexpr int32_t R2_BLACK = 1;
constexpr int32_t R2_NOTMERGEPEN = 2;
constexpr int32_t R2_MASKNOTPEN = 3;
constexpr int32_t R2_NOTCOPYPEN = 4;
constexpr int32_t R2_MASKPENNOT = 5;
constexpr int32_t R2_NOT = 6;
constexpr int32_t R2_XORPEN = 7;
constexpr int32_t R2_NOTMASKPEN = 8;
constexpr int32_t R2_MASKPEN = 9;
constexpr int32_t R2_NOTXORPEN = 10;
constexpr int32_t R2_NOP = 11;
constexpr int32_t R2_MERGENOTPEN = 12;
constexpr int32_t R2_COPYPEN = 13;
constexpr int32_t R2_MERGEPENNOT = 14;
constexpr int32_t R2_MERGEPEN = 15;
constexpr int32_t R2_WHITE = 16;

// Background modes.
constexpr int32_t TRANSPARENT = 1;
constexpr int32_t OPAQUE = 2;

// Polygon fill modes.
constexpr int32_t ALTERNATE = 1;
constexpr int32_t WINDING = 2;

// Text alignment: which point of the text TextOut's (x, y) names. Horizontal and vertical flags
// combine; the default is the top-left corner of the text cell.
constexpr uint32_t TA_LEFT = 0;
constexpr uint32_t TA_RIGHT = 2;
constexpr uint32_t TA_CENTER = 6;
constexpr uint32_t TA_TOP = 0;
constexpr uint32_t TA_BOTTOM = 8;
constexpr uint32_t TA_BASELINE = 24;

// Region kinds returned by the clipping functions.
constexpr int32_t RGN_ERROR = 0;
constexpr int32_t NULLREGION = 1;
constexpr int32_t SIMPLEREGION = 2;
constexpr int32_t COMPLEXREGION = 3;

// GetDeviceCaps indexes.
constexpr int32_t HORZSIZE = 4;
constexpr int32_t VERTSIZE = 6;
constexpr int32_t HORZRES = 8;
constexpr int32_t VERTRES = 10;
constexpr int32_t BITSPIXEL = 12;
constexpr int32_t PLANES = 14;
constexpr int32_t NUMCOLORS = 24;
constexpr int32_t RASTERCAPS = 38;
constexpr int32_t LOGPIXELSX = 88;
constexpr int32_t LOGPIXELSY = 90;
constexpr int32_t SIZEPALETTE = 104;
constexpr int32_t PHYSICALWIDTH = 110;
constexpr int32_t PHYSICALHEIGHT = 111;
constexpr int32_t PHYSICALOFFSETX = 112;
constexpr int32_t PHYSICALOFFSETY = 113;

// DrawEdge edges and borders.
constexpr uint32_t BDR_RAISEDOUTER = 0x0001;
constexpr uint32_t BDR_SUNKENOUTER = 0x0002;
constexpr uint32_t BDR_RAISEDINNER = 0x0004;
constexpr uint32_t BDR_SUNKENINNER = 0x0008;
constexpr uint32_t EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr uint32_t EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr uint32_t EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr uint32_t EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr uint32_t BF_LEFT = 0x0001;
constexpr uint32_t BF_TOP = 0x0002;
constexpr uint32_t BF_RIGHT = 0x0004;
constexpr uint32_t BF_BOTTOM = 0x0008;
constexpr uint32_t BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr uint32_t BF_MIDDLE = 0x0800;
constexpr uint32_t BF_ADJUST = 0x2000;

// Clipboard formats that images travel in.
constexpr uint16_t CF_BITMAP = 2;
constexpr uint16_t CF_PALETTE = 9;
constexpr uint16_t CF_DIB = 8;
