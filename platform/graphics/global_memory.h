// Movable global memory blocks, the form in which packed DIBs travel between the clipboard, the
// annotations and the drawing code. A handle owns one zero-initialisable byte block; handles are
// checked on every call, so a stale or foreign handle is refused instead of dereferenced.
#pragma once

#include <cstddef>
#include <cstdint>

struct TGlobalBlock;
using HGLOBAL = TGlobalBlock*;

constexpr uint32_t GMEM_FIXED = 0x0000;
constexpr uint32_t GMEM_MOVEABLE = 0x0002;
constexpr uint32_t GMEM_ZEROINIT = 0x0040;
constexpr uint32_t GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr uint32_t GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// The largest block handed out (1 GiB); larger requests fail like an exhausted heap.
constexpr size_t kMaxGlobalBlockSize = size_t(1) << 30;

// A new block of size bytes (zero-filled with GMEM_ZEROINIT), or nullptr when the size is 0, above
// kMaxGlobalBlockSize or cannot be allocated.
HGLOBAL GlobalAlloc(uint32_t flags, size_t size);
// Resizes the block, keeping the common prefix; new bytes are zero with GMEM_ZEROINIT. Returns the
// handle, or nullptr (the block unchanged) on failure.
HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t size, uint32_t flags);
// Frees the block; returns nullptr on success and the handle when it is not a live block.
HGLOBAL GlobalFree(HGLOBAL mem);
// The block's first byte (its lock count grows by one), or nullptr for a handle that is not live.
void* GlobalLock(HGLOBAL mem);
// Drops one lock; returns true while the block stays locked.
bool GlobalUnlock(HGLOBAL mem);
// The block's size in bytes; 0 for a handle that is not live.
size_t GlobalSize(HGLOBAL mem);

// Locks a block for the lifetime of the guard.
class TGlobalLock
{
public:
    explicit TGlobalLock(HGLOBAL mem) : FMem(mem), FData(static_cast<uint8_t*>(GlobalLock(mem))) {}
    ~TGlobalLock()
    {
        if (FData) {
            GlobalUnlock(FMem);
        }
    }
    TGlobalLock(const TGlobalLock&) = delete;
    TGlobalLock& operator=(const TGlobalLock&) = delete;

    uint8_t* Data() const { return FData; }
    size_t Size() const { return FData ? GlobalSize(FMem) : 0; }

private:
    HGLOBAL FMem;
    uint8_t* FData;
};
