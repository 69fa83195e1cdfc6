// The fax row decoder: one row, one- or two-dimensionally coded, into its list of changing
// elements.
#pragma once

#include "imaging/codecs/tiff/detail/ccitt_bit_reader.h"
#include "imaging/codecs/tiff/detail/ccitt_changes.h"
#include "imaging/codecs/tiff/tifccitt.h"

#include <cstdint>

namespace Tifccitt::detail {

// A row decoded one- or two-dimensionally (against reference, a sealed list; one-dimensionally
// when it is nil); its changes replace those of changes. The bit position after it.
int64_t DecodeRow(TChanges& changes, TBitReader& source, const int32_t* reference, int32_t width,
                  TFaxRowStatus* status);

} // namespace Tifccitt::detail
