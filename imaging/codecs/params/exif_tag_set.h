// The EXIF tags whose values a parameter record holds, which tell a value of 0 that a photo
// carried (Flash 0, "did not fire") from the 0 that a tag it never had reads as.
#pragma once

#include <cstdint>
#include <vector>

class TKVExifTagSet
{
public:
    void Add(uint16_t tag);
    bool Has(uint16_t tag) const;
    void Clear() { FTags.clear(); }

private:
    std::vector<uint16_t> FTags; // ascending
};
