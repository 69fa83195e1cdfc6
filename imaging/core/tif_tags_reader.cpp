// The TIFF tag reader: a thin object over the directory functions of the TIFF codec.
#include "imaging/core/tif_tags_reader.h"

#include "platform/core/streams.h"

#include <algorithm>
#include <limits>

namespace {

int32_t ToInt32(int64_t value)
{
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

} // namespace

TKVTifTagsReader::TKVTifTagsReader(const std::string& FileName, int32_t ImageIndex)
    : FOwnedStream(std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite)),
      FStream(FOwnedStream.get())
{
    Tiffilt::TIFFLoadTags(*FStream, FPageCount, ImageIndex, FEnv);
}

TKVTifTagsReader::TKVTifTagsReader(TStream& Stream, int32_t ImageIndex) : FStream(&Stream)
{
    Tiffilt::TIFFLoadTags(*FStream, FPageCount, ImageIndex, FEnv);
}

TKVTifTagsReader::TKVTifTagsReader(const TKVTifTagsReader& Parent, uint16_t Tag) : FStream(Parent.FStream)
{
    FEnv.Intel = Parent.FEnv.Intel;
    FEnv.Big = Parent.FEnv.Big;
    FEnv.Stream = Parent.FEnv.Stream;
    FEnv.BaseOffset = Parent.FEnv.BaseOffset;
    if (FEnv.Stream != nullptr) {
        Tiffilt::TIFFReadSubIFD(Tiffilt::TIFFReadSingleValDef(Parent.FEnv, Tag, 0), FEnv);
    }
}

TKVTifTagsReader::~TKVTifTagsReader()
{
    Tiffilt::TIFFFreeTags(FEnv);
}

bool TKVTifTagsReader::TagExists(uint16_t Tag) const
{
    return Tiffilt::TIFFFindTAG(Tag, FEnv) >= 0;
}

int32_t TKVTifTagsReader::TagLength(uint16_t Tag) const
{
    return Tiffilt::TIFFGetDataLength(FEnv, Tag);
}

int32_t TKVTifTagsReader::GetInteger(uint16_t Tag) const
{
    return ToInt32(Tiffilt::TIFFReadSingleValDef(FEnv, Tag, 0));
}

int32_t TKVTifTagsReader::GetIntegerIndexed(uint16_t Tag, int32_t Index) const
{
    return ToInt32(Tiffilt::TIFFReadIndexValN(FEnv, Tag, Index));
}

int32_t TKVTifTagsReader::GetIntegerArray(uint16_t Tag, std::vector<int32_t>& Values) const
{
    std::vector<int64_t> values;
    const int32_t count = Tiffilt::TIFFReadArrayIntegers(FEnv, values, Tag);
    if (count > 0) {
        Values.resize(values.size());
        std::transform(values.begin(), values.end(), Values.begin(), ToInt32);
    }
    return count;
}

double TKVTifTagsReader::GetRational(uint16_t Tag) const
{
    return Tiffilt::TIFFReadSingleRational(FEnv, Tag);
}

double TKVTifTagsReader::GetRationalIndexed(uint16_t Tag, int32_t Index) const
{
    return Tiffilt::TIFFReadRationalIndex(FEnv, Tag, Index);
}

std::string TKVTifTagsReader::GetString(uint16_t Tag) const
{
    std::string text;
    Tiffilt::TIFFReadString(FEnv, Tag, text);
    return text;
}

std::string TKVTifTagsReader::GetMiniString(uint16_t Tag) const
{
    std::string text;
    Tiffilt::TIFFReadMiniString(FEnv, Tag, text);
    return text;
}

std::vector<uint8_t> TKVTifTagsReader::GetRawData(uint16_t Tag) const
{
    return Tiffilt::TIFFReadRawData(FEnv, Tag);
}
