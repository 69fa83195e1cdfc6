// Stream helpers of the imaging library.
#include "imaging/core/stream_utils.h"

#include <algorithm>

namespace Daduvudez {

namespace {

int64_t BytesLeft(TStream* stream)
{
    return std::max<int64_t>(stream->Size() - stream->Position(), 0);
}

} // namespace

void SafeStreamWrite(TStream* stream, bool& error, const void* buffer, int64_t count)
{
    if (count <= 0)
        return;
    if (stream == nullptr || stream->Write(buffer, count) < count)
        error = true;
}

void SaveStringToStream(TStream* stream, const std::string& text)
{
    const int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
    stream->WriteBuffer(&length, sizeof(length));
    stream->WriteBuffer(text.data(), length);
}

void LoadStringFromStream(TStream* stream, std::string& text)
{
    int32_t length = 0;
    text.clear();
    if (stream->Read(&length, sizeof(length)) != sizeof(length) || length <= 0)
        return;
    text.resize(size_t(std::min<int64_t>(length, BytesLeft(stream))));
    text.resize(size_t(std::max<int64_t>(stream->Read(text.data(), int64_t(text.size())), 0)));
}

void SaveStringListToStream(TStream* stream, TStrings* list)
{
    const int32_t count = list->Count();
    stream->WriteBuffer(&count, sizeof(count));
    for (int32_t i = 0; i < count; ++i)
        SaveStringToStream(stream, list->Strings(i));
}

void LoadStringListFromStream(TStream* stream, TStrings* list)
{
    list->Clear();
    int32_t count = 0;
    if (stream->Read(&count, sizeof(count)) != sizeof(count))
        return;
    // Every string takes at least its four-byte length.
    for (int32_t i = 0; i < count && BytesLeft(stream) >= int64_t(sizeof(int32_t)); ++i) {
        std::string text;
        LoadStringFromStream(stream, text);
        list->Add(text);
    }
}

} // namespace Daduvudez

int64_t TNulStream::Read(void*, int64_t count)
{
    if (count <= 0)
        return 0;
    FPosition += count;
    FSize = std::max(FSize, FPosition);
    return count;
}

int64_t TNulStream::Write(const void*, int64_t count)
{
    if (count <= 0)
        return 0;
    FPosition += count;
    FSize = std::max(FSize, FPosition);
    return count;
}

int64_t TNulStream::Seek(int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case soBeginning:
        FPosition = offset;
        break;
    case soCurrent:
        FPosition += offset;
        break;
    case soEnd:
        FPosition = FSize + offset;
        break;
    }
    if (origin != soEnd)
        FSize = std::max(FSize, FPosition);
    return FPosition;
}
