// THash1: a set of int32 keys with int32 values, inline first keys and chained collisions.
#include "imaging/core/hash_table.h"

#include <algorithm>

THash1::THash1(int32_t bits)
    : FBits(std::clamp(bits, 0, 28)), FSize(1 << FBits), FKeys(FSize), FHeads(FSize), FStates(FSize),
      FValues(FSize)
{
}

THash1::~THash1() = default;

THash1Item* THash1::NewItem(int32_t key, int32_t value)
{
    FItems.push_back(std::make_unique<THash1Item>(THash1Item{key, nullptr, value}));
    return FItems.back().get();
}

bool THash1::Insert2(int32_t key, int32_t& bucket, THash1Item*& item)
{
    bucket = HashFunc(key);
    item = nullptr;
    switch (FStates[bucket]) {
    case kEmpty:
        FKeys[bucket] = key;
        FStates[bucket] = kInline;
        break;
    case kInline: {
        if (FKeys[bucket] == key)
            return false;
        THash1Item* head = NewItem(FKeys[bucket], FValues[bucket]);
        item = NewItem(key, 0);
        head->next = item;
        FHeads[bucket] = head;
        FStates[bucket] = kChain;
        break;
    }
    default: {
        THash1Item* last = nullptr;
        for (THash1Item* p = FHeads[bucket]; p != nullptr; p = p->next) {
            if (p->key == key) {
                item = p;
                return false;
            }
            last = p;
        }
        item = NewItem(key, 0);
        last->next = item;
        break;
    }
    }
    ++FCount;
    return true;
}

bool THash1::Insert(int32_t key)
{
    int32_t bucket;
    THash1Item* item;
    return Insert2(key, bucket, item);
}

bool THash1::KeyPresent(int32_t key) const
{
    const int32_t bucket = HashFunc(key);
    switch (FStates[bucket]) {
    case kEmpty:
        return false;
    case kInline:
        return FKeys[bucket] == key;
    default:
        for (const THash1Item* p = FHeads[bucket]; p != nullptr; p = p->next)
            if (p->key == key)
                return true;
        return false;
    }
}

void THash1::SetValue(int32_t bucket, THash1Item* item, int32_t value)
{
    if (item != nullptr)
        item->value = value;
    else
        FValues[bucket] = value;
}

int32_t THash1::GetValue(int32_t bucket, THash1Item* item) const
{
    return item != nullptr ? item->value : FValues[bucket];
}

bool THash1::IterateBegin()
{
    FIterBucket = -1;
    FIterItem = nullptr;
    return IterateNext();
}

bool THash1::IterateNext()
{
    if (FIterItem != nullptr) {
        FIterItem = FIterItem->next;
        if (FIterItem != nullptr)
            return true;
    }
    while (++FIterBucket < FSize) {
        if (FStates[FIterBucket] == kInline)
            return true;
        if (FStates[FIterBucket] == kChain) {
            FIterItem = FHeads[FIterBucket];
            return true;
        }
    }
    return false;
}

int32_t THash1::IterateGetValue() const
{
    if (FIterBucket < 0 || FIterBucket >= FSize)
        return 0;
    return FIterItem != nullptr ? FIterItem->value : FValues[FIterBucket];
}
