// Short value lists with an allowed range and a growable byte array.
#include "imaging/core/kvlists.h"

#include <algorithm>
#include <cstring>

void TKVList::SetCount(int32_t count)
{
    count = std::max(count, 0);
    FData.resize(size_t(count) * size_t(FItemSize));
    FCount = count;
    Changed |= kvlItems;
}

void TKVList::Delete(int32_t index)
{
    if (index < 0 || index >= FCount)
        return;
    const auto first = FData.begin() + int64_t(index) * FItemSize;
    FData.erase(first, first + FItemSize);
    --FCount;
    Changed |= kvlItems;
}

void TKVList::Clear()
{
    FCount = 0;
    FData.clear();
    FData.shrink_to_fit();
    Changed = 0;
}

void TKVList::Assign(const TKVList* source)
{
    if (source == nullptr || source == this)
        return;
    FCount = source->FCount;
    FItemSize = source->FItemSize;
    Changed = source->Changed;
    FData = source->FData;
}

void TKVList::InsertItem(int32_t index, const void* item)
{
    if (index >= FCount) {
        AddItem(item);
        return;
    }
    index = std::max(index, 0);
    const auto* bytes = static_cast<const uint8_t*>(item);
    FData.insert(FData.begin() + int64_t(index) * FItemSize, bytes, bytes + FItemSize);
    ++FCount;
    Changed |= kvlItems;
}

int32_t TKVList::IndexOfItem(const void* item) const
{
    for (int32_t i = 0; i < FCount; ++i)
        if (std::memcmp(BaseGetItem(i), item, FItemSize) == 0)
            return i;
    return -1;
}

int32_t TKVList::AddItem(const void* item)
{
    SetCount(FCount + 1);
    std::memcpy(BaseGetItem(FCount - 1), item, FItemSize);
    return FCount - 1;
}

void TKVList::BaseSetItem(int32_t index, const void* item)
{
    if (index < 0 || index >= FCount)
        return;
    std::memcpy(BaseGetItem(index), item, FItemSize);
    Changed |= kvlItems;
}

TKVByteArray::TKVByteArray() : FCapacity(8192), FData(new uint8_t[8192]) {}

void TKVByteArray::Reallocate(int32_t capacity, int32_t keep)
{
    std::unique_ptr<uint8_t[]> data(new uint8_t[capacity]);
    std::memcpy(data.get(), FData.get(), keep);
    FData = std::move(data);
    FCapacity = capacity;
}

void TKVByteArray::SetSize(int32_t size)
{
    size = std::max(size, 0);
    if (size > FCapacity)
        Reallocate(size + FBlock, FSize);
    else if (size < FCapacity - FBlock)
        Reallocate(size + FBlock, size);
    FSize = size;
}

void TKVByteArray::AddByte(uint8_t value)
{
    SetSize(FSize + 1);
    FData[FSize - 1] = value;
}

void TKVByteArray::Clear()
{
    FSize = 0;
    FCapacity = FBlock;
    FData.reset(new uint8_t[FBlock]);
}

int32_t TKVByteArray::AppendFromStream(TStream* stream, int32_t count)
{
    if (stream == nullptr || count <= 0)
        return 0;
    // A count beyond the stream's end would only grow the block for nothing.
    const int64_t left = std::max<int64_t>(stream->Size() - stream->Position(), 0);
    count = static_cast<int32_t>(std::min<int64_t>(count, std::min<int64_t>(left, INT32_MAX - FSize)));
    const int32_t start = FSize;
    SetSize(start + count);
    const int32_t read = static_cast<int32_t>(stream->Read(FData.get() + start, count));
    SetSize(start + std::max(read, 0));
    return std::max(read, 0);
}
