// What the JPEG 2000 reader and writer share of the library: a library stream over a TStream,
// and codec objects that note the library's errors and free themselves.
#pragma once

#include <openjpeg.h>

#include <cstdint>
#include <memory>

class TStream;

namespace Kvj2000::detail {

// The library's stream reading or writing a TStream from its position at the time; nothing
// thrown by the TStream crosses the library.
struct TStreamDeleter
{
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
using TLibraryStream = std::unique_ptr<opj_stream_t, TStreamDeleter>;
TLibraryStream MakeLibraryStream(TStream& stream, bool input);

struct TCodecDeleter
{
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct TImageDeleter
{
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};
using TCodec = std::unique_ptr<opj_codec_t, TCodecDeleter>;
using TImage = std::unique_ptr<opj_image_t, TImageDeleter>;

// Silences the library's messages: a decode is judged by what its calls return, as the library
// reports some faults it recovers from as errors.
void Silence(opj_codec_t* codec);

// Silences the library's messages; an error message sets *failed.
void WatchErrors(opj_codec_t* codec, bool* failed);

} // namespace Kvj2000::detail
