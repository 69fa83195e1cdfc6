// Page editing of TIFF files by name: counting, deleting, extracting and inserting pages. A file
// is never changed in place: the new content is written beside it and renamed over it.
#include "imaging/codecs/tiff/tiffilt.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"

using namespace Korvaneio::detail;

namespace Korvaneio {

int32_t DeleteTIFFIm(const std::string& FileName, int32_t Index)
{
    return DeleteTIFFImGroup(FileName, {Index});
}

int32_t DeleteTIFFImGroup(const std::string& FileName, const std::vector<int32_t>& Indexes)
{
    TMemoryStream memory;
    LoadWholeFile(FileName, memory);
    const int64_t before = memory.Size();
    const int32_t kept =
        Tiffilt::_DeleteTIFFImStreamGroup(memory, Indexes.data(), static_cast<int32_t>(Indexes.size()));
    if (kept > 0 || memory.Size() != before) {
        SaveWholeFile(FileName, memory);
    }
    return kept;
}

int32_t EnumTIFFIm(const std::string& FileName)
{
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return Tiffilt::_EnumTIFFImStream(file);
}

int32_t EnumTIFFStream(TStream& Stream)
{
    return Tiffilt::_EnumTIFFImStream(Stream);
}

void ExtractTIFFImageStream(TStream& InStream, TStream& OutStream, int32_t Index)
{
    Tiffilt::_ExtractTIFFImStream(InStream, Index, OutStream);
}

void ExtractTIFFImageFile(const std::string& InFileName, const std::string& OutFileName, int32_t Index)
{
    TFileStream input(InFileName, fmOpenRead | fmShareDenyWrite);
    TMemoryStream output;
    Tiffilt::_ExtractTIFFImStream(input, Index, output);
    SaveWholeFile(OutFileName, output);
}

void InsertTIFFImageStream(TStream& Stream, TStream& ToInsert, TStream& OutStream, int32_t Index)
{
    Tiffilt::_InsertTIFFImStream(Stream, ToInsert, Index, OutStream);
}

void InsertTIFFImageFile(const std::string& FileName, const std::string& FileToInsert,
                         const std::string& OutFileName, int32_t Index)
{
    TFileStream input(FileName, fmOpenRead | fmShareDenyWrite);
    TFileStream toInsert(FileToInsert, fmOpenRead | fmShareDenyWrite);
    TMemoryStream output;
    Tiffilt::_InsertTIFFImStream(input, toInsert, Index, output);
    SaveWholeFile(OutFileName, output);
}

} // namespace Korvaneio
