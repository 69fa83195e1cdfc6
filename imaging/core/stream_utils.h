// Stream helpers of the imaging library: the write that records a short write, length-prefixed
// strings and string lists, and a stream that only counts.
#pragma once

#include "platform/core/lists.h"
#include "platform/core/streams.h"

#include <cstdint>
#include <string>

namespace Daduvudez {

// Writes count bytes; sets error when fewer were written and never clears it, so that a codec
// can write on and test the flag once at the end.
void SafeStreamWrite(TStream* stream, bool& error, const void* buffer, int64_t count);

// An int32 length, then the bytes without terminator.
void SaveStringToStream(TStream* stream, const std::string& text);
// Reads a length-prefixed string; a length beyond what is left in the stream is cut to that.
void LoadStringFromStream(TStream* stream, std::string& text);
// An int32 count, then each string as above.
void SaveStringListToStream(TStream* stream, TStrings* list);
// Clears the list and reads the strings; stops where the stream ends.
void LoadStringListFromStream(TStream* stream, TStrings* list);

} // namespace Daduvudez

// Stores nothing: writing only advances the position and the size follows the largest position
// reached, so that the size after saving an image is its encoded size.
class TNulStream : public TStream
{
public:
    TNulStream() = default;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return FSize; }

private:
    int64_t FPosition = 0;
    int64_t FSize = 0;
};

// A read-only stream over a caller's block, which is neither copied nor freed: writing writes
// nothing and the size stays.
class TKVMemStream : public TCustomMemoryStream
{
public:
    TKVMemStream(const void* memory, int64_t size) { SetPointer(const_cast<void*>(memory), size); }
    int64_t Write(const void*, int64_t) override { return 0; }
    void SetSize(int64_t) override {}
};
