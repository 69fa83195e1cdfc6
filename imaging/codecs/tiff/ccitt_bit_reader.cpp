// The fax decoders' bit reader: the window of bits at a position, in either fill order.
#include "imaging/codecs/tiff/detail/ccitt_bit_reader.h"

#include "imaging/codecs/detail/be_words.h"
#include "imaging/core/bit_utils.h"

#include <array>
#include <cstddef>

namespace Tifccitt::detail {

using Codecs::detail::BigEndian64;

namespace {

const uint8_t* ReversedBytes()
{
    static const auto table = [] {
        std::array<uint8_t, 256> t{};
        for (int32_t i = 0; i < 256; ++i) {
            uint8_t v = uint8_t(i);
            Daduvudez::ReverseBitsB(v);
            t[size_t(i)] = v;
        }
        return t;
    }();
    return table.data();
}

} // namespace

TBitSource::TBitSource(const uint8_t* data, int64_t size, int32_t fillOrder)
    : Data(data), Size(std::max<int64_t>(size, 0)), Bits(Size * 8),
      Reverse(fillOrder == 2 ? ReversedBytes() : nullptr), LastWordBit(Reverse == nullptr ? Bits - 64 : -1)
{
}

TBitWindow WindowAt(const TBitSource& source, int64_t position)
{
    const int64_t byte = position >> 3;
    const int32_t skip = int32_t(position & 7);
    if (position <= source.LastWordBit) {
        return {BigEndian64(source.Data + byte) << skip, 64 - skip};
    }
    uint64_t window = 0;
    for (int64_t i = 0; i < 5; ++i) {
        window <<= 8;
        if (byte + i < source.Size) {
            const uint8_t value = source.Data[byte + i];
            window |= source.Reverse != nullptr ? source.Reverse[value] : value;
        }
    }
    return {uint64_t(uint32_t(window >> (8 - skip))) << 32, 32};
}

} // namespace Tifccitt::detail
