// Iopreviews: the save-parameters dialog's model without its widgets: which pages a request
// shows, the TIFF compression list, the working copy of the parameters it edits, the rules that
// tie its colours, photometric and compression choices together, and the live preview.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/types.h"
#include "imaging/io/korvaneio.h"

#include <cstdint>
#include <string>
#include <vector>

class TKVBitmap;
class TKorvaneProc;

// One page of the dialog, whichever variant shows it.
enum TIOPreviewPage : uint8_t
{
    ipgNone,
    ipgJPEG,
    ipgTIFF,
    ipgGIF,
    ipgBMP,
    ipgPCX,
    ipgPNG,
    ipgTGA,
    ipgJ2000
};

namespace Iopreviews {

// Bits per sample and samples per pixel.
struct TBitsSamples
{
    int32_t Bits;
    int32_t Samples;
    bool operator==(const TBitsSamples&) const = default;
};

// ---- Pages ----
// The set with ppAUTO resolved: the page of the record's file type added (none for a type
// without a page).
TPreviewParams ResolvePages(TPreviewParams Pages, int32_t FileType);
// Whether a resolved set shows the page.
bool ShowsPage(TPreviewParams Pages, TIOPreviewPage Page);

// ---- TIFF compression list ----
// True when an application installed a TIFF LZW encoder.
bool HasTIFFLZW();
// "UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX", ["LZW",] "JPEG", "PACKBITS".
std::vector<std::string> TIFFCompressionItems(bool WithLZW);
int32_t CompToCombo(TIOTIFFCompression Compression, bool WithLZW);
TIOTIFFCompression ComboToComp(int32_t Index, bool WithLZW);

// ---- Colours lists: item index <-> bits and samples ----
// BMP: "B/W", "16", "256", "65536", "16M", "16M (32bit)" (the last written as 8 x 3 too).
TBitsSamples BMPColors(int32_t Index);
int32_t BMPColorsIndex(int32_t Bits, int32_t Samples);
// PCX: "B/W", "16", "256", "16M".
TBitsSamples PCXColors(int32_t Index);
int32_t PCXColorsIndex(int32_t Bits, int32_t Samples);
// PNG and TGA: "B/W", "256", "16M".
TBitsSamples PNGColors(int32_t Index);
int32_t PNGColorsIndex(int32_t Bits, int32_t Samples);
// TIFF, both variants: "B/W" ("2"), "16", "256", "65536", "16M" ("16777216").
TBitsSamples TIFFColors(int32_t Index);
int32_t TIFFColorsIndex(int32_t Bits, int32_t Samples);
// The colours item the full TIFF page shows for a photometric: colour spaces need "16M", the
// grey ones "256" ("B/W" for 1 bit), and no other photometric shows "B/W".
int32_t TIFFColorsForPhotometric(int32_t ColorsIndex, TIOTIFFPhotometInterpret Photometric, int32_t Bits);

// "Original size": the bytes of the image as 32-bit aligned rows of 1 or 24 bits per pixel.
int64_t OriginalSize(int32_t Width, int32_t Height, bool OneBit);

// The working copy: every value the dialog shows, taken from the edited record, changed by the
// controls, and written back page by page.
struct TIOPreviewsValues
{
    // JPEG
    int32_t JPEG_Quality = 80;
    TIOJPEGColorspace JPEG_ColorSpace = ioJPEG_YCbCr;
    TIOJPEGDctMethod JPEG_DCTMethod = ioJPEG_ISLOW;
    bool JPEG_OptimalHuffman = false;
    int32_t JPEG_Smooth = 0;
    bool JPEG_Progressive = false;
    // JPEG 2000
    double J2000_Rate = 1.0;
    TIOJ2000ColorSpace J2000_ColorSpace = ioJ2000_RGB;
    // TIFF
    TTIFFLZWDecompFunc TIFF_LZWDecompress = nullptr;
    TTIFFLZWCompFunc TIFF_LZWCompress = nullptr;
    TIOTIFFCompression TIFF_Compression = ioTIFF_UNCOMPRESSED;
    int32_t TIFF_ImageIndex = 0;
    TIOTIFFPhotometInterpret TIFF_PhotometInterpret = ioTIFF_RGB;
    int32_t TIFF_XPos = 0;
    int32_t TIFF_YPos = 0;
    std::string TIFF_DocumentName;
    std::string TIFF_ImageDescription;
    std::string TIFF_PageName;
    int32_t TIFF_PageNumber = 0;
    int32_t TIFF_PageCount = 0;
    // Shared by TIFF and GIF
    int32_t BitsPerSample = 8;
    int32_t SamplesPerPixel = 3;
    // GIF
    TGIFLZWDecompFunc GIF_LZWDecompress = nullptr;
    TGIFLZWCompFunc GIF_LZWCompress = nullptr;
    int32_t GIF_ImageIndex = 0;
    int32_t GIF_XPos = 0;
    int32_t GIF_YPos = 0;
    int32_t GIF_DelayTime = 0;
    bool GIF_FlagTranspColor = false;
    TRGB GIF_TranspColor{};
    bool GIF_Interlaced = false;
    TRGB GIF_Background{};
    // BMP and PCX
    int32_t BMP_ColorsIndex = 4;
    TIOBMPCompression BMP_Compression = ioBMP_UNCOMPRESSED;
    int32_t PCX_ColorsIndex = 3;
    TIOPCXCompression PCX_Compression = ioPCX_RLE;
    // PNG
    int32_t PNG_ColorsIndex = 2;
    bool PNG_Interlaced = false;
    TRGB PNG_Background{};
    TIOPNGFilter PNG_Filter = ioPNG_FILTER_NONE;
    int32_t PNG_Compression = 5;
    // TGA
    int32_t TGA_ColorsIndex = 2;
    TRGB TGA_Background{};
    bool TGA_Compressed = true;
    std::string TGA_ImageName;
    std::string TGA_Descriptor;

    // Takes every value from the record.
    void ResetFrom(const TIOParamsVals& Params);
    // Writes the values of one page into the record; the others stay.
    void WriteTo(TIOPreviewPage Page, TIOParamsVals& Params) const;

    // The full TIFF page's colours item (from bits and samples, then the photometric).
    int32_t TIFFColorsShown() const;
    // The full TIFF page after the user picked a photometric (giving the colours item it then
    // shows) or a colours item; bits and samples follow.
    int32_t TIFFPhotometricChosen(TIOTIFFPhotometInterpret Photometric);
    void TIFFColorsChosen(int32_t ColorsIndex);
    // The simplified TIFF page: fax compressions are 1 bit, JPEG is 8 x 3; the colours item.
    int32_t SimplifiedTIFFColorsShown();
    void SimplifiedTIFFColorsChosen(int32_t ColorsIndex);
    void SimplifiedTIFFCompressionChosen(TIOTIFFCompression Compression);

    bool operator==(const TIOPreviewsValues&) const = default;
};

// What the live preview tells the encoder's progress: bar = Base + percent / Divisor.
struct TPreviewProgress
{
    int32_t Base = 0;
    int32_t Divisor = 1;
};

// The live preview of a page: Source is encoded with the page's values by Encoder (its
// Params take them); the result is decoded into Target (JPEG, JPEG 2000) or Target is a copy
// of Source reduced as the format would store it, by Proc. The encoded size in bytes is
// returned (lossless formats are only counted, never kept). Encoder's Params keep the colour
// map of a palette reduction for the colour pickers. Encoder and Proc are left attached to
// nothing.
int64_t RenderPreview(TIOPreviewPage Page, const TIOPreviewsValues& Values, TKVBitmap* Source,
                      TKVBitmap* Target, TKorvaneIO& Encoder, TKorvaneProc& Proc,
                      TKVDitherMethod DitherMethod, TPreviewProgress& Progress);

} // namespace Iopreviews
