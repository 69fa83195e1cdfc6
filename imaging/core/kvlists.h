// Short value lists with an allowed range (device capabilities) and a growable byte array.
#pragma once

#include "platform/core/classes.h"
#include "platform/core/streams.h"

#include <cstdint>
#include <memory>
#include <vector>

// What changed since the device layer last read the list; one bit each.
enum TKVListChange : uint8_t
{
    kvlItems = 1,
    kvlRange = 2,
    kvlCurrentValue = 4
};
using TKVListChanges = uint8_t;

// Items of a fixed size in one block, reallocated on every change: the lists are short.
class TKVList : public TObject
{
public:
    TKVList() = default;
    virtual void SetCount(int32_t count);
    virtual void Delete(int32_t index);
    virtual void Clear();
    virtual void Assign(const TKVList* source);

    int32_t Count() const { return FCount; }
    int32_t ItemSize() const { return FItemSize; }
    TKVListChanges Changed = 0;

    void InsertItem(int32_t index, const void* item);
    int32_t IndexOfItem(const void* item) const;
    int32_t AddItem(const void* item);
    // No range check.
    void* BaseGetItem(int32_t index) { return FData.data() + int64_t(index) * FItemSize; }
    const void* BaseGetItem(int32_t index) const { return FData.data() + int64_t(index) * FItemSize; }
    void BaseSetItem(int32_t index, const void* item);

protected:
    int32_t FCount = 0;
    int32_t FItemSize = 0;
    std::vector<uint8_t> FData;
};

// A list of values, or a range min..max by step, and the current value.
template <typename T> class TKVValueList : public TKVList
{
public:
    TKVValueList() { TKVValueList::Clear(); }
    void Clear() override
    {
        TKVList::Clear();
        FItemSize = sizeof(T);
        FRangeMin = FRangeMax = FRangeStep = FCurrentValue = 0;
    }
    void Assign(const TKVList* source) override
    {
        TKVList::Assign(source);
        if (auto* list = dynamic_cast<const TKVValueList<T>*>(source)) {
            FRangeMin = list->FRangeMin;
            FRangeMax = list->FRangeMax;
            FRangeStep = list->FRangeStep;
            FCurrentValue = list->FCurrentValue;
        }
    }

    int32_t Add(T value) { return AddItem(&value); }
    // No range check.
    T GetItem(int32_t index) const { return *static_cast<const T*>(BaseGetItem(index)); }
    void SetItem(int32_t index, T value) { BaseSetItem(index, &value); }
    void Insert(int32_t index, T value) { InsertItem(index, &value); }
    // Compares the bytes of the values.
    int32_t IndexOf(T value) const { return IndexOfItem(&value); }

    T RangeMin() const { return FRangeMin; }
    T RangeMax() const { return FRangeMax; }
    T RangeStep() const { return FRangeStep; }
    T CurrentValue() const { return FCurrentValue; }
    void SetRangeMin(T value) { FRangeMin = value, Changed |= kvlRange; }
    void SetRangeMax(T value) { FRangeMax = value, Changed |= kvlRange; }
    void SetRangeStep(T value) { FRangeStep = value, Changed |= kvlRange; }
    void SetCurrentValue(T value) { FCurrentValue = value, Changed |= kvlCurrentValue; }

private:
    T FRangeMin = 0;
    T FRangeMax = 0;
    T FRangeStep = 0;
    T FCurrentValue = 0;
};

class TKVDoubleList : public TKVValueList<double>
{
};
class TKVIntegerList : public TKVValueList<int32_t>
{
};

// A list of records of the size given to the constructor, kept in one block.
class TKVRecordList : public TKVList
{
public:
    explicit TKVRecordList(int32_t recordSize) { FItemSize = recordSize; }
    // No range check.
    void* GetItem(int32_t index) { return BaseGetItem(index); }
    void SetItem(int32_t index, const void* record) { BaseSetItem(index, record); }
    int32_t Add(const void* record) { return AddItem(record); }
    void Insert(int32_t index, const void* record) { InsertItem(index, record); }
    // Index of the first record equal byte for byte, or -1.
    int32_t IndexOf(const void* record) const { return IndexOfItem(record); }
};

// A byte buffer that grows in steps of 8192 bytes so that byte-by-byte appends stay cheap.
class TKVByteArray : public TObject
{
public:
    TKVByteArray();
    void SetSize(int32_t size);
    void AddByte(uint8_t value);
    void Clear();
    // Appends up to count bytes read from the stream; returns how many were read.
    int32_t AppendFromStream(TStream* stream, int32_t count);

    int32_t Size() const { return FSize; }
    int32_t Capacity() const { return FCapacity; }
    uint8_t* Data() { return FData.get(); }
    const uint8_t* Data() const { return FData.get(); }

private:
    void Reallocate(int32_t capacity, int32_t keep);

    int32_t FSize = 0;
    int32_t FCapacity = 0;
    const int32_t FBlock = 8192;
    std::unique_ptr<uint8_t[]> FData;
};
