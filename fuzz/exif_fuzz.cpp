// Fuzz target of the EXIF block reader and writer: the input as an APP1 segment's data, once more
// behind the "Exif" header when it lacks one, and once more from its second byte on, the first
// byte choosing what the values read are written to: an EXIF block (even) or a TIFF page (odd).
// Read back from there, every field must hold the value read at first, or be left out: nothing
// wraps, is cut or becomes 0.
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tiff/exif_fields.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/core/exif_buffer.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"
#include "platform/core/streams.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

// A fraction comes back as the value itself wherever a fraction of 32-bit terms gives it (one it
// was read from does), else as the nearest such fraction: within a part in 2^28 when read from a
// FLOAT or DOUBLE.
bool Same(double before, double after)
{
    return before == after || std::fabs(before - after) <= std::ldexp(std::fabs(before), -28);
}

template <class TValue> bool Same(const TValue& before, const TValue& after)
{
    if constexpr (std::is_array_v<TValue>) {
        for (size_t i = 0; i < std::extent_v<TValue>; ++i) {
            if (!Same(before[i], after[i])) {
                return false;
            }
        }
        return true;
    } else {
        return before == after;
    }
}

void ThroughBlock(TIOParamsVals& read, TIOParamsVals& reread)
{
    std::vector<uint8_t> block;
    Daduvudez::SaveEXIFToStandardBuffer(read, block);
    Daduvudez::LoadEXIFFromStandardBuffer(block.data(), int64_t(block.size()), reread);
}

void ThroughTiffPage(TIOParamsVals& read, TIOParamsVals& reread)
{
    TMemoryStream stream;
    TKVBitmap picture;
    picture.Allocate(1, 1, kv24RGB);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Tiffilt::TIFFWriteStream(stream, false, &picture, read, progress);
    stream.SetPosition(0);
    std::unique_ptr<TKVMask> alpha;
    int32_t pages = 0;
    Tiffilt::TIFFReadStream(&picture, stream, pages, &reread, progress, true, alpha, true, true, false);
}

void RoundTrip(const uint8_t* data, size_t size, bool throughTiff)
{
    TIOParamsVals read;
    if (!Daduvudez::LoadEXIFFromStandardBuffer(data, int64_t(size), read)) {
        return;
    }
    TIOParamsVals reread;
    throughTiff ? ThroughTiffPage(read, reread) : ThroughBlock(read, reread);
    // A TIFF page tells its own picture's size instead of the block's.
    const auto pictureSize = [&](uint16_t tag) { return throughTiff && (tag == 40962 || tag == 40963); };
    ForEachEXIFField(
        [&](const TKVExifField& field, const auto& before, const auto& after) {
            if (reread.EXIF_Tags.Has(field.Tag) && !pictureSize(field.Tag) && !Same(before, after)) {
                std::abort();
            }
        },
        std::as_const(read), std::as_const(reread));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> block(data, data + size);
    if (!Daduvudez::IsEXIFBlock(block.data(), int64_t(block.size()))) {
        block.insert(block.begin(), Daduvudez::EXIFHeader, Daduvudez::EXIFHeader + 6);
    }
    RoundTrip(block.data(), block.size(), false);
    // A writer that copies a block sets its picture size in place, whatever the block holds.
    Daduvudez::SetEXIFPictureSize(block.data(), int64_t(block.size()), 1, 1);
    if (size > 1) {
        RoundTrip(data + 1, size - 1, (data[0] & 1) != 0);
    }
    return 0;
}
