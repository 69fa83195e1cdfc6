// TKVTifTagsReader: read access to the raw tags of one TIFF page, or of a sub-directory such as
// the EXIF one, without decoding the image.
#pragma once

#include "imaging/codecs/tiff/tiff_directory.h"
#include "platform/core/classes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

class TKVTifTagsReader : public TObject
{
public:
    // Opens the file (read-only, others may read) and loads page ImageIndex (0 = the first).
    // Raises the stream's open error when the file cannot be opened.
    TKVTifTagsReader(const std::string& FileName, int32_t ImageIndex);
    // The same on a caller's stream holding a TIFF at its position; the stream must outlive the
    // reader.
    TKVTifTagsReader(TStream& Stream, int32_t ImageIndex);
    // The sub-directory whose offset the parent's tag holds; empty when the tag is absent or 0.
    TKVTifTagsReader(const TKVTifTagsReader& Parent, uint16_t Tag);
    ~TKVTifTagsReader() override;
    TKVTifTagsReader(const TKVTifTagsReader&) = delete;
    TKVTifTagsReader& operator=(const TKVTifTagsReader&) = delete;

    // Pages found while loading (0 for a sub-directory).
    int32_t PageCount() const { return FPageCount; }

    bool TagExists(uint16_t Tag) const;
    int32_t TagLength(uint16_t Tag) const;
    int32_t GetInteger(uint16_t Tag) const;
    int32_t GetIntegerIndexed(uint16_t Tag, int32_t Index) const;
    // Every value of the tag into Values; returns the count (0 and Values untouched when absent).
    int32_t GetIntegerArray(uint16_t Tag, std::vector<int32_t>& Values) const;
    double GetRational(uint16_t Tag) const;
    double GetRationalIndexed(uint16_t Tag, int32_t Index) const;
    std::string GetString(uint16_t Tag) const;
    std::string GetMiniString(uint16_t Tag) const;
    // A copy of the tag's data; empty when absent.
    std::vector<uint8_t> GetRawData(uint16_t Tag) const;

private:
    std::unique_ptr<TStream> FOwnedStream;
    TStream* FStream = nullptr;
    TTIFFEnv FEnv;
    int32_t FPageCount = 0;
};
