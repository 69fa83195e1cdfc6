// EXIF blocks: the TIFF writer and reader do the work on the TIFF structure behind the header.
#include "imaging/core/exif_buffer.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <cstring>

namespace Daduvudez {

namespace {

// Reads page `page` of the TIFF in stream into the record and the EXIF bitmap.
void ReadPage(TStream& stream, TIOParamsVals& record, TKVBitmap& bitmap, int32_t page, bool allowEmpty)
{
    stream.SetPosition(0);
    record.TIFF_ImageIndex = page;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TKVMask> alpha;
    int32_t pages = 0;
    Tiffilt::TIFFReadStream(&bitmap, stream, pages, &record, progress, false, alpha, true, true, allowEmpty);
}

} // namespace

bool IsEXIFBlock(const void* Buffer, int64_t Length)
{
    return Buffer != nullptr && Length >= int64_t(sizeof EXIFHeader) &&
           std::memcmp(Buffer, EXIFHeader, sizeof EXIFHeader) == 0;
}

void SaveEXIFToStandardBuffer(TIOParamsVals& Params, std::vector<uint8_t>& Buffer)
{
    Buffer.clear();
    TMemoryStream stream;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Tiffilt::TIFFWriteStream(stream, false, nullptr, Params, progress);
    if (aborting) {
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
    Buffer.assign(EXIFHeader, EXIFHeader + sizeof EXIFHeader);
    Buffer.insert(Buffer.end(), bytes, bytes + stream.Size());
}

bool LoadEXIFFromStandardBuffer(const void* Buffer, int64_t Length, TIOParamsVals& Params)
{
    if (!IsEXIFBlock(Buffer, Length)) {
        return false;
    }
    const auto* tiff = static_cast<const uint8_t*>(Buffer) + sizeof EXIFHeader;
    const int64_t size = Length - int64_t(sizeof EXIFHeader);
    // A TIFF header whose first directory lies inside the block.
    if (size < 8 || tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M')) {
        return false;
    }
    const bool intel = tiff[0] == 'I';
    const uint32_t first =
        intel
            ? uint32_t(tiff[4]) | uint32_t(tiff[5]) << 8 | uint32_t(tiff[6]) << 16 | uint32_t(tiff[7]) << 24
            : uint32_t(tiff[4]) << 24 | uint32_t(tiff[5]) << 16 | uint32_t(tiff[6]) << 8 | uint32_t(tiff[7]);
    if (first < 8 || int64_t(first) + 2 > size) {
        return false;
    }
    TMemoryStream stream;
    stream.WriteBuffer(tiff, size);
    TIOParamsVals record(Params.Owner);
    if (Params.EXIF_Bitmap == nullptr) {
        Params.EXIF_Bitmap = std::make_unique<TKVBitmap>();
    }
    // The first directory holds the values (and usually no picture, which the reader reports as
    // a failure that means nothing here); the second one, when there is one, the thumbnail.
    ReadPage(stream, record, *Params.EXIF_Bitmap, 0, false);
    Params.AssignEXIFValues(record);
    Params.EXIF_HasEXIFData = true;
    if (Params.EXIF_Bitmap == nullptr) {
        Params.EXIF_Bitmap = std::make_unique<TKVBitmap>();
    }
    ReadPage(stream, record, *Params.EXIF_Bitmap, 1, true);
    return true;
}

} // namespace Daduvudez
