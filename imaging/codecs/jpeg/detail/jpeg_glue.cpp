// The JPEG library's error manager and the stream source and destination managers.
#include "imaging/codecs/jpeg/detail/jpeg_glue.h"

#include "platform/core/streams.h"

namespace Jpegfilt::detail {

namespace {

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<TJpegErrorMgr*>(cinfo->err);
    if (err->Aborting != nullptr) {
        *err->Aborting = true;
    }
    std::longjmp(err->Jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int msgLevel)
{
    if (msgLevel == -1) {
        auto* err = reinterpret_cast<TJpegErrorMgr*>(cinfo->err);
        ++err->WarningCount;
        err->LastWarningCode = err->Pub.msg_code;
    }
}

void OutputMessage(j_common_ptr) {}

void FormatMessage(j_common_ptr, char* buffer)
{
    buffer[0] = '\0';
}

void ResetErrorMgr(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<TJpegErrorMgr*>(cinfo->err);
    err->WarningCount = 0;
    err->LastWarningCode = 0;
    err->Pub.num_warnings = 0;
    err->Pub.msg_code = 0;
}

void InitSource(j_decompress_ptr cinfo)
{
    reinterpret_cast<TJpegSource*>(cinfo->src)->StartOfFile = true;
}

const JOCTET FakeEndOfImage[2] = {0xFF, JPEG_EOI};

// Runs inside a library call: nothing may leave it by exception, so a failing stream counts as
// one that has ended.
boolean FillInputBuffer(j_decompress_ptr cinfo)
{
    auto* source = reinterpret_cast<TJpegSource*>(cinfo->src);
    int64_t count = 0;
    try {
        count = source->Stream->Read(source->Buffer, JpegStreamBufferSize);
    } catch (...) {
        count = 0;
    }
    if (count <= 0) {
        if (source->StartOfFile && source->Aborting != nullptr) {
            *source->Aborting = true;
        }
        source->Pub.next_input_byte = FakeEndOfImage;
        source->Pub.bytes_in_buffer = 2;
    } else {
        source->Pub.next_input_byte = source->Buffer;
        source->Pub.bytes_in_buffer = static_cast<size_t>(count);
    }
    source->StartOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr* pub = cinfo->src;
    auto left = static_cast<size_t>(count);
    while (left > pub->bytes_in_buffer) {
        left -= pub->bytes_in_buffer;
        pub->bytes_in_buffer = 0;
        FillInputBuffer(cinfo);
        if (pub->next_input_byte == FakeEndOfImage) {
            return; // the data ended: leave the end marker for the decoder
        }
    }
    pub->next_input_byte += left;
    pub->bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

bool WriteBlock(TJpegDestination& destination, size_t count)
{
    try {
        return destination.Stream->Write(destination.Buffer, static_cast<int64_t>(count)) ==
               static_cast<int64_t>(count);
    } catch (...) {
        return false;
    }
}

void InitDestination(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<TJpegDestination*>(cinfo->dest);
    destination->Pub.next_output_byte = destination->Buffer;
    destination->Pub.free_in_buffer = JpegStreamBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<TJpegDestination*>(cinfo->dest);
    if (!WriteBlock(*destination, JpegStreamBufferSize) && destination->Aborting != nullptr) {
        *destination->Aborting = true;
    }
    destination->Pub.next_output_byte = destination->Buffer;
    destination->Pub.free_in_buffer = JpegStreamBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    auto* destination = reinterpret_cast<TJpegDestination*>(cinfo->dest);
    const size_t count = JpegStreamBufferSize - destination->Pub.free_in_buffer;
    if (count > 0 && !WriteBlock(*destination, count) && destination->Aborting != nullptr) {
        *destination->Aborting = true;
    }
}

} // namespace

jpeg_error_mgr* InitErrorMgr(TJpegErrorMgr& err, bool* aborting)
{
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = ErrorExit;
    err.Pub.emit_message = EmitMessage;
    err.Pub.output_message = OutputMessage;
    err.Pub.format_message = FormatMessage;
    err.Pub.reset_error_mgr = ResetErrorMgr;
    err.Aborting = aborting;
    err.WarningCount = 0;
    err.LastWarningCode = 0;
    return &err.Pub;
}

void AttachSource(j_decompress_ptr cinfo, TJpegSource& source, TStream& stream, bool* aborting)
{
    source.Stream = &stream;
    source.Aborting = aborting;
    source.StartOfFile = true;
    source.Pub.init_source = InitSource;
    source.Pub.fill_input_buffer = FillInputBuffer;
    source.Pub.skip_input_data = SkipInputData;
    source.Pub.resync_to_restart = jpeg_resync_to_restart;
    source.Pub.term_source = TermSource;
    source.Pub.bytes_in_buffer = 0;
    source.Pub.next_input_byte = nullptr;
    cinfo->src = &source.Pub;
}

void AttachDestination(j_compress_ptr cinfo, TJpegDestination& destination, TStream& stream, bool* aborting)
{
    destination.Stream = &stream;
    destination.Aborting = aborting;
    destination.Pub.init_destination = InitDestination;
    destination.Pub.empty_output_buffer = EmptyOutputBuffer;
    destination.Pub.term_destination = TermDestination;
    cinfo->dest = &destination.Pub;
}

} // namespace Jpegfilt::detail
