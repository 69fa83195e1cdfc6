// The library stream over a TStream and the message handlers of the JPEG 2000 codec.
#include "imaging/codecs/j2k/detail/j2k_glue.h"

#include "platform/core/streams.h"

namespace Kvj2000::detail {

namespace {

// Positions the library asks for count from where the stream was when it was handed over.
struct TStreamContext
{
    TStream* Stream = nullptr;
    int64_t Start = 0;
};

constexpr OPJ_SIZE_T BlockSize = 1 << 16;

OPJ_SIZE_T Read(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* context = static_cast<TStreamContext*>(user);
    try {
        const int64_t got = context->Stream->Read(buffer, int64_t(count));
        return got > 0 ? OPJ_SIZE_T(got) : OPJ_SIZE_T(-1);
    } catch (...) {
        return OPJ_SIZE_T(-1);
    }
}

OPJ_SIZE_T Write(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* context = static_cast<TStreamContext*>(user);
    try {
        const int64_t written = context->Stream->Write(buffer, int64_t(count));
        return written == int64_t(count) ? count : OPJ_SIZE_T(-1);
    } catch (...) {
        return OPJ_SIZE_T(-1);
    }
}

OPJ_OFF_T Skip(OPJ_OFF_T count, void* user)
{
    auto* context = static_cast<TStreamContext*>(user);
    try {
        context->Stream->Seek(count, soCurrent);
        return count;
    } catch (...) {
        return -1;
    }
}

OPJ_BOOL Seek(OPJ_OFF_T position, void* user)
{
    auto* context = static_cast<TStreamContext*>(user);
    try {
        context->Stream->SetPosition(context->Start + position);
        return OPJ_TRUE;
    } catch (...) {
        return OPJ_FALSE;
    }
}

void FreeContext(void* user)
{
    delete static_cast<TStreamContext*>(user);
}

void Quiet(const char*, void*) {}

void NoteError(const char*, void* user)
{
    *static_cast<bool*>(user) = true;
}

} // namespace

TLibraryStream MakeLibraryStream(TStream& stream, bool input)
{
    TLibraryStream library(opj_stream_create(BlockSize, input ? OPJ_TRUE : OPJ_FALSE));
    if (!library) {
        return library;
    }
    auto* context = new TStreamContext{&stream, stream.Position()};
    opj_stream_set_user_data(library.get(), context, FreeContext);
    if (input) {
        opj_stream_set_user_data_length(library.get(),
                                        OPJ_UINT64(std::max<int64_t>(stream.Size() - context->Start, 0)));
        opj_stream_set_read_function(library.get(), Read);
    } else {
        opj_stream_set_write_function(library.get(), Write);
    }
    opj_stream_set_skip_function(library.get(), Skip);
    opj_stream_set_seek_function(library.get(), Seek);
    return library;
}

void Silence(opj_codec_t* codec)
{
    opj_set_info_handler(codec, Quiet, nullptr);
    opj_set_warning_handler(codec, Quiet, nullptr);
    opj_set_error_handler(codec, Quiet, nullptr);
}

void WatchErrors(opj_codec_t* codec, bool* failed)
{
    Silence(codec);
    opj_set_error_handler(codec, NoteError, failed);
}

} // namespace Kvj2000::detail
