// THash1: a set of int32 keys, each with one int32 value, used to count and rank the colours
// of an image. The first key of a bucket is kept inline; only collisions allocate.
#pragma once

#include "platform/core/classes.h"

#include <cstdint>
#include <memory>
#include <vector>

struct THash1Item
{
    int32_t key = 0;
    THash1Item* next = nullptr;
    int32_t value = 0;
};

class THash1 : public TObject
{
public:
    // 2^bits buckets; bits is limited to 0..28.
    explicit THash1(int32_t bits);
    ~THash1() override;
    THash1(const THash1&) = delete;
    THash1& operator=(const THash1&) = delete;

    int32_t HashFunc(int32_t key) const { return key & (FSize - 1); }
    // True when the key was new. bucket and item locate the key's value for GetValue and SetValue,
    // also when the key was already present (item nil means the bucket's inline value).
    bool Insert2(int32_t key, int32_t& bucket, THash1Item*& item);
    bool Insert(int32_t key);
    bool KeyPresent(int32_t key) const;
    void SetValue(int32_t bucket, THash1Item* item, int32_t value);
    int32_t GetValue(int32_t bucket, THash1Item* item) const;

    // Keys in bucket order, chain order within a bucket.
    bool IterateBegin();
    bool IterateNext();
    int32_t IterateGetValue() const;

    int32_t Count() const { return FCount; }

private:
    enum : uint8_t
    {
        kEmpty = 0,
        kInline = 1,
        kChain = 2
    };
    THash1Item* NewItem(int32_t key, int32_t value);

    int32_t FBits;
    int32_t FSize;
    std::vector<int32_t> FKeys;
    std::vector<THash1Item*> FHeads;
    std::vector<uint8_t> FStates;
    std::vector<int32_t> FValues;
    std::vector<std::unique_ptr<THash1Item>> FItems;
    int32_t FIterBucket = -1;
    THash1Item* FIterItem = nullptr;
    int32_t FCount = 0;
};
