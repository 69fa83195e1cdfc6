// The standard EXIF block of a JPEG APP1 segment: "Exif", two zero bytes and a TIFF structure,
// to and from the EXIF values of a parameter record.
#pragma once

#include <cstdint>
#include <vector>

class TIOParamsVals;

namespace Daduvudez {

// The six bytes that open an EXIF block.
constexpr char EXIFHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// Whether the data opens with the EXIF header (and so is an EXIF block rather than XMP or other
// APP1 content).
bool IsEXIFBlock(const void* Buffer, int64_t Length);

// Sets the picture size fields (ExifImageWidth and ExifImageHeight, tags 40962 and 40963) that an
// EXIF block holds to the size of the picture it is written with, in place; the rest of the block,
// and a field it lacks or holds in another form than one SHORT or LONG, stay as they are.
void SetEXIFPictureSize(uint8_t* Block, int64_t Length, uint32_t Width, uint32_t Height);

// The EXIF values of Params as an EXIF block; empty when they cannot be written.
void SaveEXIFToStandardBuffer(TIOParamsVals& Params, std::vector<uint8_t>& Buffer);

// Reads an EXIF block's values (and its thumbnail, into EXIF_Bitmap) into Params and sets
// EXIF_HasEXIFData. False, with Params untouched, when the block is no EXIF block: no header, or
// no TIFF structure behind it.
bool LoadEXIFFromStandardBuffer(const void* Buffer, int64_t Length, TIOParamsVals& Params);

} // namespace Daduvudez
