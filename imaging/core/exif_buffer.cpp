// EXIF blocks: the TIFF writer and reader do the work on the TIFF structure behind the header; a
// block written with a picture gets that picture's size in place.
#include "imaging/core/exif_buffer.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tiff/tiff_directory.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <cstring>
#include <utility>

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

// The TIFF structure of an EXIF block, read and written in its own byte order; every access is
// bounded by the block.
class TExifTiff
{
public:
    TExifTiff(uint8_t* data, uint64_t size) : FData(data), FSize(size), FIntel(size >= 2 && data[0] == 'I') {}

    bool HasHeader() const { return FSize >= 8 && FData[0] == FData[1] && (FIntel || FData[0] == 'M'); }

    uint32_t Get(uint64_t at, int bytes) const
    {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= uint32_t(FData[at + uint64_t(FIntel ? i : bytes - 1 - i)]) << (8 * i);
        }
        return value;
    }

    void Set(uint64_t at, int bytes, uint32_t value)
    {
        for (int i = 0; i < bytes; ++i) {
            FData[at + uint64_t(FIntel ? i : bytes - 1 - i)] = uint8_t(value >> (8 * i));
        }
    }

    struct TValueField
    {
        uint64_t At = 0;
        uint16_t Type = 0; // 0: no such entry
    };

    // The value field of the entry that has the tag and one value, in the directory at that offset.
    TValueField Find(uint64_t directory, uint16_t tag) const
    {
        if (directory < 8 || directory + 2 > FSize) {
            return {};
        }
        const uint64_t end = directory + 2 + 12 * uint64_t(Get(directory, 2));
        for (uint64_t entry = directory + 2; entry < end && entry + 12 <= FSize; entry += 12) {
            if (Get(entry, 2) == tag && Get(entry + 4, 4) == 1) {
                return {entry + 8, uint16_t(Get(entry + 2, 2))};
            }
        }
        return {};
    }

private:
    uint8_t* FData;
    uint64_t FSize;
    bool FIntel;
};

} // namespace

void SetEXIFPictureSize(uint8_t* Block, int64_t Length, uint32_t Width, uint32_t Height)
{
    if (!IsEXIFBlock(Block, Length)) {
        return;
    }
    TExifTiff tiff(Block + sizeof EXIFHeader, uint64_t(Length) - sizeof EXIFHeader);
    if (!tiff.HasHeader()) {
        return;
    }
    // The first directory points (34665) to the EXIF one, which holds the size fields.
    const TExifTiff::TValueField pointer = tiff.Find(tiff.Get(4, 4), 34665);
    const uint64_t exif = pointer.Type == ttLONG || pointer.Type == ttIFD ? tiff.Get(pointer.At, 4) : 0;
    for (const auto& [tag, value] : {std::pair<uint16_t, uint32_t>(40962, Width), {40963, Height}}) {
        const TExifTiff::TValueField field = tiff.Find(exif, tag);
        if (field.Type == ttLONG) {
            tiff.Set(field.At, 4, value);
        } else if (field.Type == ttSHORT && value <= 0xFFFF) {
            tiff.Set(field.At, 2, value);
        }
    }
}

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
