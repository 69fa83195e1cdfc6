// The format table narrowed to a few records for a test's scope, for the open and save dialogs'
// tests.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "imaging/io/korvaneio.h"

#include <vector>

namespace opensavetest {

inline void DoNothingRead(TStream&, TKVBitmap&, TIOParamsVals&, TProgressRec&, bool) {}
inline void DoNothingWrite(TStream&, TKVBitmap&, TIOParamsVals&, TProgressRec&) {}

// The format table holding only the given records for the length of a scope.
class OnlyFormats
{
public:
    explicit OnlyFormats(const std::vector<TKVFileFormatInfo>& records)
        : FSaved(Korvaneio::KVFileFormatRecords())
    {
        for (const TKVFileFormatInfo& r : FSaved)
            Korvaneio::KVFileFormatRemove(r.FileType);
        for (const TKVFileFormatInfo& r : records)
            Korvaneio::KVFileFormatAdd(r);
    }
    ~OnlyFormats()
    {
        for (const TKVFileFormatInfo& r : Korvaneio::KVFileFormatRecords())
            Korvaneio::KVFileFormatRemove(r.FileType);
        for (const TKVFileFormatInfo& r : FSaved)
            Korvaneio::KVFileFormatAdd(r);
    }

private:
    std::vector<TKVFileFormatInfo> FSaved;
};

inline TKVFileFormatInfo Record(int32_t type, const char* name, const char* exts, bool read, bool write)
{
    TKVFileFormatInfo r;
    r.FileType = type;
    r.FullName = name;
    r.Extensions = exts;
    r.ReadFunction = read ? &DoNothingRead : nullptr;
    r.WriteFunction = write ? &DoNothingWrite : nullptr;
    return r;
}

} // namespace opensavetest
