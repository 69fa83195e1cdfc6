// Iopreviews: the pages of a request, the list mappings and the working copy of the
// save-parameters dialog.
#include "imaging/dialogs/iopreviews_values.h"

#include "imaging/io/korvaneio_globals.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace Iopreviews {

namespace {

bool IsFax(TIOTIFFCompression c)
{
    return c >= ioTIFF_CCITT1D && c <= ioTIFF_G4FAX;
}

bool IsGrey(TIOTIFFPhotometInterpret p)
{
    return p == ioTIFF_WHITEISZERO || p == ioTIFF_BLACKISZERO;
}

bool IsColourSpace(TIOTIFFPhotometInterpret p)
{
    return p == ioTIFF_CMYK || p == ioTIFF_YCBCR || p == ioTIFF_CIELAB;
}

// Indexes into the colours lists.
enum : int32_t
{
    kTIFFBW,
    kTIFF16,
    kTIFF256,
    kTIFF65536,
    kTIFF16M
};

} // namespace

TPreviewParams ResolvePages(TPreviewParams Pages, int32_t FileType)
{
    if ((Pages & PreviewSet(ppAUTO)) == 0) {
        return Pages;
    }
    switch (FileType) {
    case 1:
        return Pages | PreviewSet(ppTIFF);
    case 2:
        return Pages | PreviewSet(ppGIF);
    case 3:
        return Pages | PreviewSet(ppJPEG);
    case 4:
        return Pages | PreviewSet(ppPCX);
    case 5:
        return Pages | PreviewSet(ppBMP);
    case 8:
        return Pages | PreviewSet(ppPNG);
    case 11:
        return Pages | PreviewSet(ppTGA);
    case 13:
    case 14:
        return Pages | PreviewSet(ppJ2000);
    default:
        return Pages;
    }
}

bool ShowsPage(TPreviewParams Pages, TIOPreviewPage Page)
{
    if ((Pages & PreviewSet(ppALL)) != 0) {
        return Page != ipgNone;
    }
    switch (Page) {
    case ipgJPEG:
        return (Pages & PreviewSet(ppJPEG)) != 0;
    case ipgTIFF:
        return (Pages & PreviewSet(ppTIFF)) != 0;
    case ipgGIF:
        return (Pages & PreviewSet(ppGIF)) != 0;
    case ipgBMP:
        return (Pages & PreviewSet(ppBMP)) != 0;
    case ipgPCX:
        return (Pages & PreviewSet(ppPCX)) != 0;
    case ipgPNG:
        return (Pages & PreviewSet(ppPNG)) != 0;
    case ipgTGA:
        return (Pages & PreviewSet(ppTGA)) != 0;
    case ipgJ2000:
        return (Pages & PreviewSet(ppJ2000)) != 0;
    case ipgNone:
        break;
    }
    return false;
}

bool HasTIFFLZW()
{
    return Korvaneio::DefTIFF_LZWCOMPFUNC != nullptr;
}

std::vector<std::string> TIFFCompressionItems(bool WithLZW)
{
    std::vector<std::string> items{"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX"};
    if (WithLZW) {
        items.emplace_back("LZW");
    }
    items.emplace_back("JPEG");
    items.emplace_back("PACKBITS");
    return items;
}

int32_t CompToCombo(TIOTIFFCompression Compression, bool WithLZW)
{
    switch (Compression) {
    case ioTIFF_CCITT1D:
    case ioTIFF_G3FAX1D:
    case ioTIFF_G3FAX2D:
    case ioTIFF_G4FAX:
        return int32_t(Compression);
    // Without an encoder an LZW record shows the other lossless choice.
    case ioTIFF_LZW:
        return WithLZW ? 5 : 6;
    case ioTIFF_JPEG:
        return WithLZW ? 6 : 5;
    case ioTIFF_PACKBITS:
        return WithLZW ? 7 : 6;
    default:
        return 0;
    }
}

TIOTIFFCompression ComboToComp(int32_t Index, bool WithLZW)
{
    switch (Index) {
    case 1:
    case 2:
    case 3:
    case 4:
        return TIOTIFFCompression(Index);
    case 5:
        return WithLZW ? ioTIFF_LZW : ioTIFF_JPEG;
    case 6:
        return WithLZW ? ioTIFF_JPEG : ioTIFF_PACKBITS;
    case 7:
        return WithLZW ? ioTIFF_PACKBITS : ioTIFF_UNCOMPRESSED;
    default:
        return ioTIFF_UNCOMPRESSED;
    }
}

namespace {

// The bits and samples of each item of a colours list.
constexpr TBitsSamples kBMPColors[] = {{1, 1}, {4, 1}, {8, 1}, {5, 3}, {8, 3}, {8, 3}};
constexpr TBitsSamples kPCXColors[] = {{1, 1}, {4, 1}, {8, 1}, {8, 3}};

template <size_t N> TBitsSamples ItemColors(const TBitsSamples (&items)[N], int32_t Index)
{
    return Index >= 0 && Index < int32_t(N) ? items[Index] : items[N - 1];
}

// The first item of the list with these bits and samples, else Other.
template <size_t N> int32_t ItemIndex(const TBitsSamples (&items)[N], TBitsSamples Wanted, int32_t Other)
{
    const auto* found = std::find(std::begin(items), std::end(items), Wanted);
    return found != std::end(items) ? int32_t(found - std::begin(items)) : Other;
}

} // namespace

// "16M (32bit)" is written as 8 x 3, as "16M" is.
TBitsSamples BMPColors(int32_t Index)
{
    return ItemColors(kBMPColors, Index);
}

int32_t BMPColorsIndex(int32_t Bits, int32_t Samples)
{
    return ItemIndex(kBMPColors, {Bits, Samples}, 4);
}

TBitsSamples PCXColors(int32_t Index)
{
    return ItemColors(kPCXColors, Index);
}

int32_t PCXColorsIndex(int32_t Bits, int32_t Samples)
{
    return ItemIndex(kPCXColors, {Bits, Samples}, 3);
}

TBitsSamples PNGColors(int32_t Index)
{
    switch (Index) {
    case 0:
        return {1, 1};
    case 1:
        return {8, 1};
    default:
        return {8, 3};
    }
}

int32_t PNGColorsIndex(int32_t Bits, int32_t Samples)
{
    if (Samples > 1) {
        return 2;
    }
    return Bits == 1 ? 0 : 1;
}

TBitsSamples TIFFColors(int32_t Index)
{
    switch (Index) {
    case kTIFFBW:
        return {1, 1};
    case kTIFF16:
        return {4, 1};
    case kTIFF256:
        return {8, 1};
    case kTIFF65536:
        return {16, 1};
    default:
        return {8, 3};
    }
}

int32_t TIFFColorsIndex(int32_t Bits, int32_t Samples)
{
    if (Samples == 1) {
        if (Bits == 1) {
            return kTIFFBW;
        }
        if (Bits >= 2 && Bits <= 4) {
            return kTIFF16;
        }
        if (Bits >= 5 && Bits <= 8) {
            return kTIFF256;
        }
        if (Bits == 16) {
            return kTIFF65536;
        }
    }
    return kTIFF16M;
}

int32_t TIFFColorsForPhotometric(int32_t ColorsIndex, TIOTIFFPhotometInterpret Photometric, int32_t Bits)
{
    if (IsColourSpace(Photometric)) {
        return kTIFF16M;
    }
    if (IsGrey(Photometric)) {
        return Bits == 1 ? kTIFFBW : kTIFF256;
    }
    return ColorsIndex == kTIFFBW ? kTIFF16M : ColorsIndex;
}

int64_t OriginalSize(int32_t Width, int32_t Height, bool OneBit)
{
    const int64_t bits = OneBit ? 1 : 24;
    return (int64_t(std::max(Width, 0)) * bits + 31) / 32 * 4 * std::max(Height, 0);
}

namespace {

// The values a page edits under the record's own names, copied either way between the record
// and the working copy: the dialog reads them all and writes back those of the page shown.
template <class TTo, class TFrom> void CopyJPEG(TTo& to, const TFrom& from)
{
    to.JPEG_Quality = from.JPEG_Quality;
    to.JPEG_ColorSpace = from.JPEG_ColorSpace;
    to.JPEG_DCTMethod = from.JPEG_DCTMethod;
    to.JPEG_OptimalHuffman = from.JPEG_OptimalHuffman;
    to.JPEG_Smooth = from.JPEG_Smooth;
    to.JPEG_Progressive = from.JPEG_Progressive;
}

template <class TTo, class TFrom> void CopyTIFF(TTo& to, const TFrom& from)
{
    to.TIFF_Compression = from.TIFF_Compression;
    to.TIFF_ImageIndex = from.TIFF_ImageIndex;
    to.TIFF_PhotometInterpret = from.TIFF_PhotometInterpret;
    to.TIFF_XPos = from.TIFF_XPos;
    to.TIFF_YPos = from.TIFF_YPos;
    to.TIFF_DocumentName = from.TIFF_DocumentName;
    to.TIFF_ImageDescription = from.TIFF_ImageDescription;
    to.TIFF_PageName = from.TIFF_PageName;
    to.TIFF_PageNumber = from.TIFF_PageNumber;
    to.TIFF_PageCount = from.TIFF_PageCount;
}

template <class TTo, class TFrom> void CopyGIF(TTo& to, const TFrom& from)
{
    to.GIF_ImageIndex = from.GIF_ImageIndex;
    to.GIF_XPos = from.GIF_XPos;
    to.GIF_YPos = from.GIF_YPos;
    to.GIF_DelayTime = from.GIF_DelayTime;
    to.GIF_FlagTranspColor = from.GIF_FlagTranspColor;
    to.GIF_TranspColor = from.GIF_TranspColor;
    to.GIF_Interlaced = from.GIF_Interlaced;
    to.GIF_Background = from.GIF_Background;
}

template <class TTo, class TFrom> void CopyPNG(TTo& to, const TFrom& from)
{
    to.PNG_Interlaced = from.PNG_Interlaced;
    to.PNG_Background = from.PNG_Background;
    to.PNG_Filter = from.PNG_Filter;
    to.PNG_Compression = from.PNG_Compression;
}

template <class TTo, class TFrom> void CopyTGA(TTo& to, const TFrom& from)
{
    to.TGA_Background = from.TGA_Background;
    to.TGA_Compressed = from.TGA_Compressed;
    to.TGA_ImageName = from.TGA_ImageName;
    to.TGA_Descriptor = from.TGA_Descriptor;
}

void WriteBitsSamples(TIOParamsVals& p, TBitsSamples bs)
{
    p.BitsPerSample = bs.Bits;
    p.SamplesPerPixel = bs.Samples;
}

} // namespace

void TIOPreviewsValues::ResetFrom(const TIOParamsVals& p)
{
    CopyJPEG(*this, p);

    J2000_Rate = p.J2000_Rate;
    J2000_ColorSpace = p.J2000_ColorSpace;

    TIFF_LZWDecompress = p.TIFF_LZWDecompress;
    TIFF_LZWCompress = p.TIFF_LZWCompress;
    CopyTIFF(*this, p);

    BitsPerSample = p.BitsPerSample;
    SamplesPerPixel = p.SamplesPerPixel;

    GIF_LZWDecompress = p.GIF_LZWDecompress;
    GIF_LZWCompress = p.GIF_LZWCompress;
    CopyGIF(*this, p);

    BMP_ColorsIndex = BMPColorsIndex(p.BitsPerSample, p.SamplesPerPixel);
    BMP_Compression = p.BMP_Compression;
    PCX_ColorsIndex = PCXColorsIndex(p.BitsPerSample, p.SamplesPerPixel);
    PCX_Compression = p.PCX_Compression;

    PNG_ColorsIndex = PNGColorsIndex(p.BitsPerSample, p.SamplesPerPixel);
    CopyPNG(*this, p);

    TGA_ColorsIndex = PNGColorsIndex(p.BitsPerSample, p.SamplesPerPixel);
    CopyTGA(*this, p);
}

void TIOPreviewsValues::WriteTo(TIOPreviewPage Page, TIOParamsVals& p) const
{
    switch (Page) {
    case ipgJPEG:
        CopyJPEG(p, *this);
        break;
    case ipgTIFF:
        CopyTIFF(p, *this);
        p.SamplesPerPixel = SamplesPerPixel;
        p.BitsPerSample = BitsPerSample;
        break;
    case ipgGIF:
        CopyGIF(p, *this);
        p.BitsPerSample = BitsPerSample;
        break;
    case ipgBMP:
        p.BMP_Compression = BMP_Compression;
        WriteBitsSamples(p, BMPColors(BMP_ColorsIndex));
        break;
    case ipgPCX:
        p.PCX_Compression = PCX_Compression;
        WriteBitsSamples(p, PCXColors(PCX_ColorsIndex));
        break;
    case ipgPNG:
        WriteBitsSamples(p, PNGColors(PNG_ColorsIndex));
        CopyPNG(p, *this);
        break;
    case ipgTGA:
        WriteBitsSamples(p, PNGColors(TGA_ColorsIndex));
        CopyTGA(p, *this);
        break;
    case ipgJ2000:
        p.J2000_ColorSpace = J2000_ColorSpace;
        p.BitsPerSample = 8;
        p.SamplesPerPixel = J2000_ColorSpace == ioJ2000_GRAYLEV ? 1 : 3;
        p.J2000_Rate = J2000_Rate;
        break;
    case ipgNone:
        break;
    }
}

int32_t TIOPreviewsValues::TIFFColorsShown() const
{
    return TIFFColorsForPhotometric(TIFFColorsIndex(BitsPerSample, SamplesPerPixel), TIFF_PhotometInterpret,
                                    BitsPerSample);
}

namespace {

void FollowColours(TIOPreviewsValues& v, int32_t colours)
{
    const TBitsSamples bs = TIFFColors(colours);
    v.BitsPerSample = bs.Bits;
    v.SamplesPerPixel = bs.Samples;
    if (v.TIFF_PhotometInterpret == ioTIFF_CMYK) {
        v.BitsPerSample = 8;
        v.SamplesPerPixel = 4;
    }
}

} // namespace

int32_t TIOPreviewsValues::TIFFPhotometricChosen(TIOTIFFPhotometInterpret Photometric)
{
    int32_t colours = TIFFColorsShown();
    TIFF_PhotometInterpret = Photometric;
    if (IsGrey(Photometric)) {
        if (colours != kTIFFBW) {
            colours = kTIFF256;
        }
    } else if (Photometric == ioTIFF_RGB || IsColourSpace(Photometric)) {
        colours = kTIFF16M;
    } else if (Photometric == ioTIFF_RGBPALETTE) {
        colours = kTIFF256;
    }
    FollowColours(*this, colours);
    return colours;
}

void TIOPreviewsValues::TIFFColorsChosen(int32_t ColorsIndex)
{
    const TIOTIFFPhotometInterpret p = TIFF_PhotometInterpret;
    if (ColorsIndex == kTIFFBW && !IsGrey(p)) {
        TIFF_PhotometInterpret = ioTIFF_BLACKISZERO;
    } else if (ColorsIndex == kTIFF16) {
        TIFF_PhotometInterpret = ioTIFF_RGBPALETTE;
    } else if (ColorsIndex == kTIFF256 && (p == ioTIFF_RGB || p >= ioTIFF_TRANSPMASK)) {
        TIFF_PhotometInterpret = ioTIFF_RGBPALETTE;
    }
    FollowColours(*this, ColorsIndex);
}

int32_t TIOPreviewsValues::SimplifiedTIFFColorsShown()
{
    if (IsFax(TIFF_Compression)) {
        BitsPerSample = 1;
        SamplesPerPixel = 1;
    } else if (TIFF_Compression == ioTIFF_JPEG) {
        BitsPerSample = 8;
        SamplesPerPixel = 3;
    }
    return TIFFColorsIndex(BitsPerSample, SamplesPerPixel);
}

void TIOPreviewsValues::SimplifiedTIFFColorsChosen(int32_t ColorsIndex)
{
    const TBitsSamples bs = TIFFColors(ColorsIndex);
    BitsPerSample = bs.Bits;
    SamplesPerPixel = bs.Samples;
    if (BitsPerSample > 1 && IsFax(TIFF_Compression)) {
        TIFF_Compression = ioTIFF_UNCOMPRESSED;
    }
    if (BitsPerSample != 8 && SamplesPerPixel != 3 && TIFF_Compression == ioTIFF_JPEG) {
        TIFF_Compression = ioTIFF_UNCOMPRESSED;
    }
    if (BitsPerSample == 16 && SamplesPerPixel == 1) {
        TIFF_PhotometInterpret = ioTIFF_BLACKISZERO;
    }
}

void TIOPreviewsValues::SimplifiedTIFFCompressionChosen(TIOTIFFCompression Compression)
{
    TIFF_Compression = Compression;
    if (IsFax(Compression)) {
        TIFF_PhotometInterpret = ioTIFF_BLACKISZERO;
        BitsPerSample = 1;
        SamplesPerPixel = 1;
    } else if (Compression == ioTIFF_JPEG) {
        TIFF_PhotometInterpret = ioTIFF_YCBCR;
        BitsPerSample = 8;
        SamplesPerPixel = 3;
    }
}

} // namespace Iopreviews
