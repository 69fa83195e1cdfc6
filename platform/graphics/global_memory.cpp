// Global memory blocks over owned byte vectors, with a registry of live handles.
#include "platform/graphics/global_memory.h"

#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

struct TGlobalBlock
{
    std::vector<uint8_t> Bytes;
    int32_t LockCount = 0;
};

namespace {

std::mutex& RegistryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<HGLOBAL>& LiveBlocks()
{
    static std::unordered_set<HGLOBAL> blocks;
    return blocks;
}

bool IsLive(HGLOBAL mem)
{
    return mem != nullptr && LiveBlocks().count(mem) != 0;
}

} // namespace

HGLOBAL GlobalAlloc(uint32_t flags, size_t size)
{
    (void)flags; // blocks are always zero-filled: deterministic contents cost little here
    if (size == 0 || size > kMaxGlobalBlockSize) {
        return nullptr;
    }
    auto* block = new (std::nothrow) TGlobalBlock;
    if (!block) {
        return nullptr;
    }
    try {
        block->Bytes.resize(size);
    } catch (const std::bad_alloc&) {
        delete block;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(RegistryMutex());
    LiveBlocks().insert(block);
    return block;
}

HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t size, uint32_t flags)
{
    (void)flags;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    if (!IsLive(mem) || size == 0 || size > kMaxGlobalBlockSize || mem->LockCount > 0) {
        return nullptr;
    }
    try {
        mem->Bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return mem;
}

HGLOBAL GlobalFree(HGLOBAL mem)
{
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        if (!IsLive(mem)) {
            return mem;
        }
        LiveBlocks().erase(mem);
    }
    delete mem;
    return nullptr;
}

void* GlobalLock(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    if (!IsLive(mem)) {
        return nullptr;
    }
    ++mem->LockCount;
    return mem->Bytes.data();
}

bool GlobalUnlock(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    if (!IsLive(mem) || mem->LockCount == 0) {
        return false;
    }
    --mem->LockCount;
    return mem->LockCount > 0;
}

size_t GlobalSize(HGLOBAL mem)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    return IsLive(mem) ? mem->Bytes.size() : 0;
}
