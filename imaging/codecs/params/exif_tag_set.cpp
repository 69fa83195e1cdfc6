// A sorted list: a record holds some fifty EXIF fields, and a photo carries a few dozen.
#include "imaging/codecs/params/exif_tag_set.h"

#include <algorithm>

void TKVExifTagSet::Add(uint16_t tag)
{
    const auto at = std::lower_bound(FTags.begin(), FTags.end(), tag);
    if (at == FTags.end() || *at != tag) {
        FTags.insert(at, tag);
    }
}

bool TKVExifTagSet::Has(uint16_t tag) const
{
    return std::binary_search(FTags.begin(), FTags.end(), tag);
}
