// What the JPEG reader and writer share of the JPEG library: the error manager, the stream
// source and destination managers, and the guard that turns a library error into a false result.
#pragma once

#include "imaging/codecs/params/ioparams.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include <jpeglib.h>

class TStream;

namespace Jpegfilt::detail {

// The library leaves an error through error_exit, which must not return: it jumps back to the
// guard that made the library call. No C++ object with a destructor lives in the frames it skips.
struct TJpegErrorMgr
{
    jpeg_error_mgr Pub;
    bool* Aborting = nullptr; // set when error_exit runs; nil once detached
    int32_t WarningCount = 0;
    int32_t LastWarningCode = 0;
    std::jmp_buf Jump;
};

// Reading every scan of a multi-scan file and the lossless transforms hold the coefficients of
// the whole picture (two bytes a sample), which a header of a few bytes may declare up to
// 65500 x 65500 pixels of three full-size components. They may take what the largest picture
// the codecs take holds as a bitmap, three bytes for each pixel of the budget; a header read to
// its first scan has laid out the components' blocks.
inline bool CoefficientsWithinBudget(const jpeg_decompress_struct& info)
{
    if (int64_t(info.image_width) * info.image_height > KVCodecMaxPixels) {
        return false;
    }
    int64_t blocks = 0;
    for (int c = 0; c < info.num_components; ++c) {
        blocks += int64_t(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks;
    }
    return blocks * DCTSIZE2 * int64_t(sizeof(JCOEF)) <= KVCodecMaxPixels * 3;
}

// Fills err.Pub with the standard fields and this manager's operations.
jpeg_error_mgr* InitErrorMgr(TJpegErrorMgr& err, bool* aborting);

// Calls action() (library calls only); false when the library raised an error meanwhile.
template <typename Action> bool JpegGuard(TJpegErrorMgr& err, Action&& action)
{
    if (setjmp(err.Jump) != 0) {
        return false;
    }
    action();
    return true;
}

constexpr size_t JpegStreamBufferSize = 65536;

// The managers are standard-layout with the library's record first, so the library's pointer
// leads back to them; their 64 KB buffers make them heap objects.
struct TJpegSource
{
    jpeg_source_mgr Pub;
    TStream* Stream = nullptr;
    bool StartOfFile = true;
    bool* Aborting = nullptr;
    JOCTET Buffer[JpegStreamBufferSize];
};

// Makes source the data source of cinfo, reading stream from its position in 64 KB blocks. At the
// stream's end it supplies an end-of-image marker, so a cut file decodes with padding; a stream
// that yields nothing at all (or fails) also sets *aborting.
void AttachSource(j_decompress_ptr cinfo, TJpegSource& source, TStream& stream, bool* aborting);

struct TJpegDestination
{
    jpeg_destination_mgr Pub;
    TStream* Stream = nullptr;
    bool* Aborting = nullptr;
    JOCTET Buffer[JpegStreamBufferSize];
};

// Makes destination the data destination of cinfo, writing to stream in 64 KB blocks; a short
// (or failed) write sets *aborting.
void AttachDestination(j_compress_ptr cinfo, TJpegDestination& destination, TStream& stream, bool* aborting);

static_assert(std::is_standard_layout_v<TJpegErrorMgr> && std::is_standard_layout_v<TJpegSource> &&
              std::is_standard_layout_v<TJpegDestination>);

} // namespace Jpegfilt::detail
