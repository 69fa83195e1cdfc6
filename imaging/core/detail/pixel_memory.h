// Memory blocks for pixels: the largest block the imaging core asks for, and large blocks
// backed by huge pages where the system offers them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace Daduvudez::detail {

// The machine's physical memory: no single image block may be larger.
int64_t MaxMemoryBlock();

struct TPixelBlockFree
{
    void operator()(uint8_t* block) const noexcept { std::free(block); }
};
using TPixelBlock = std::unique_ptr<uint8_t[], TPixelBlockFree>;

// Zero-filled; nullptr when the block cannot be had.
TPixelBlock AllocatePixelBlock(int64_t size);

} // namespace Daduvudez::detail
