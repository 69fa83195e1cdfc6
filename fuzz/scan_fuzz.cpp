// Fuzz target of the assembly of scanner data into pages: frames of any parameters, their bytes
// fed in pieces of any size, as a device or a network scanner might send them.
#include "imaging/io/detail/sane_scanner.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Each frame: format, last-frame flag, depth, piece size - 1 (one byte each), then line bytes,
// pixels per line, lines and data length (little-endian int32 each), then the data.
constexpr size_t FrameHeaderSize = 20;

int32_t ReadInt32(const uint8_t* bytes)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return static_cast<int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Korvaneio::detail::TScanPageAssembler assembler;
    size_t at = 0;
    for (int32_t frame = 0; frame < 4 && size - at >= FrameHeaderSize; ++frame) {
        const uint8_t* header = data + at;
        SANE_Parameters parameters{};
        const int format = header[0];
        std::memcpy(&parameters.format, &format, sizeof(format));
        parameters.last_frame = header[1] != 0 ? SANE_TRUE : SANE_FALSE;
        parameters.depth = header[2];
        const size_t piece = size_t(header[3]) + 1;
        parameters.bytes_per_line = ReadInt32(header + 4);
        parameters.pixels_per_line = ReadInt32(header + 8);
        parameters.lines = ReadInt32(header + 12);
        const size_t length = std::min<size_t>(uint32_t(ReadInt32(header + 16)), size - at - FrameHeaderSize);
        at += FrameHeaderSize;
        if (!assembler.BeginFrame(parameters)) {
            break;
        }
        for (size_t fed = 0; fed < length; fed += piece) {
            assembler.Feed(data + at + fed, std::min(piece, length - fed));
        }
        at += length;
        if (assembler.EndFrame()) {
            break;
        }
    }
    std::unique_ptr<TKVBitmap> page = assembler.TakePage();
    if (page != nullptr) {
        // Every row of the page must be there to read.
        for (int32_t y = 0; y < page->GetHeight(); ++y) {
            volatile uint8_t first = page->GetScanLine(y)[0];
            (void)first;
        }
    }
    return 0;
}
