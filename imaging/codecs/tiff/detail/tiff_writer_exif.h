// The EXIF tags of a TIFF page being written: the main directory's descriptive tags and the EXIF
// sub-directory, from the EXIF fields of the parameter record.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tiff/detail/tiff_entries.h"

#include <cstdint>

class TKVBitmap;
class TStream;

namespace Tiffilt::detail {

// Adds the main directory's EXIF tags to entries and writes the EXIF sub-directory at the
// stream's position, which the ExifIFD entry then points to. With a picture, the picture size
// fields that the record holds tell that picture's size, whatever the record says.
void WriteExifTags(TEntryWriter& entries, TStream& stream, int64_t base, bool& error, TIOParamsVals& p,
                   const TKVBitmap* picture);

} // namespace Tiffilt::detail
