// IPTC data sets: editing, the little-endian list stream, and the IIM byte form.
#include "imaging/core/iptc_list.h"

#include "imaging/core/detail/le_stream.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace {

constexpr uint8_t IIMTag = 0x1C;
// Data sets this long or longer take the extended length form.
constexpr int64_t IIMShortLengthLimit = 32768;

const uint8_t PhotoshopHeader[26] = {'P', 'h', 'o', 't', 'o', 's',  'h',  'o', 'p', ' ', '3', '.', '0',
                                     0,   '8', 'B', 'I', 'M', 0x04, 0x04, 0,   0,   0,   0,   0,   0};
// "Photoshop 3.0" and its NUL, before the first image resource.
constexpr int64_t PhotoshopSignatureLength = 14;
const uint8_t RecordVersionSet[7] = {IIMTag, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};

void PutBigEndian(std::vector<uint8_t>& out, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

} // namespace

const TIPTCInfo& TKVIPTCInfoList::GetInfo(int32_t index) const
{
    assert(index >= 0 && index < GetCount());
    return FItems.at(index).Info;
}

const uint8_t* TKVIPTCInfoList::GetData(int32_t index) const
{
    assert(index >= 0 && index < GetCount());
    return FItems.at(index).Data.data();
}

int32_t TKVIPTCInfoList::GetRecordNumber(int32_t index) const
{
    return GetInfo(index).RecordNumber;
}

int32_t TKVIPTCInfoList::GetDataSet(int32_t index) const
{
    return GetInfo(index).DataSet;
}

void TKVIPTCInfoList::SetRecordNumber(int32_t index, int32_t value)
{
    assert(index >= 0 && index < GetCount());
    FItems.at(index).Info.RecordNumber = value;
    FChanged = true;
}

void TKVIPTCInfoList::SetDataSet(int32_t index, int32_t value)
{
    assert(index >= 0 && index < GetCount());
    FItems.at(index).Info.DataSet = value;
    FChanged = true;
}

std::string TKVIPTCInfoList::GetStrings(int32_t index) const
{
    if (index < 0 || index >= GetCount()) {
        return std::string();
    }
    const std::vector<uint8_t>& data = FItems[index].Data;
    return std::string(data.begin(), data.end());
}

void TKVIPTCInfoList::SetStrings(int32_t index, const std::string& value)
{
    assert(index >= 0 && index < GetCount());
    TItem& item = FItems.at(index);
    item.Data.assign(value.begin(), value.end());
    item.Info.Length = static_cast<int32_t>(item.Data.size());
    FChanged = true;
}

int32_t TKVIPTCInfoList::AddStringItem(int32_t recordNumber, int32_t dataSet, const std::string& value)
{
    return AddBufferItem(recordNumber, dataSet, value.data(), static_cast<int32_t>(value.size()));
}

int32_t TKVIPTCInfoList::AddBufferItem(int32_t recordNumber, int32_t dataSet, const void* buffer,
                                       int32_t length)
{
    TItem item;
    item.Info = {recordNumber, dataSet, length > 0 ? length : 0};
    if (length > 0) {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        item.Data.assign(bytes, bytes + length);
    }
    FItems.push_back(std::move(item));
    FChanged = true;
    return GetCount() - 1;
}

void TKVIPTCInfoList::InsertStringItem(int32_t index, int32_t recordNumber, int32_t dataSet,
                                       const std::string& value)
{
    assert(index >= 0 && index <= GetCount());
    TItem item;
    item.Info = {recordNumber, dataSet, static_cast<int32_t>(value.size())};
    item.Data.assign(value.begin(), value.end());
    FItems.insert(FItems.begin() + std::clamp<int32_t>(index, 0, GetCount()), std::move(item));
    FChanged = true;
}

int32_t TKVIPTCInfoList::IndexOf(int32_t recordNumber, int32_t dataSet) const
{
    for (size_t i = 0; i < FItems.size(); ++i) {
        if (FItems[i].Info.RecordNumber == recordNumber && FItems[i].Info.DataSet == dataSet) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

void TKVIPTCInfoList::DeleteItem(int32_t index)
{
    assert(index >= 0 && index < GetCount());
    if (index >= 0 && index < GetCount()) {
        FItems.erase(FItems.begin() + index);
    }
    FChanged = true;
}

void TKVIPTCInfoList::Clear()
{
    FItems.clear();
    FChanged = true;
}

void TKVIPTCInfoList::Assign(const TKVIPTCInfoList* source)
{
    if (source == nullptr || source == this) {
        return;
    }
    Clear();
    for (const TItem& item : source->FItems) {
        FItems.push_back(item);
    }
    FChanged = true;
}

void TKVIPTCInfoList::SaveToStream(TStream& stream) const
{
    using namespace KVLEStream;
    WriteI32(stream, 0); // version
    WriteI32(stream, GetCount());
    for (const TItem& item : FItems) {
        WriteI32(stream, item.Info.RecordNumber);
        WriteI32(stream, item.Info.DataSet);
        WriteI32(stream, static_cast<int32_t>(item.Data.size()));
        if (!item.Data.empty()) {
            stream.WriteBuffer(item.Data.data(), static_cast<int64_t>(item.Data.size()));
        }
    }
}

bool TKVIPTCInfoList::LoadFromStream(TStream& stream)
{
    using namespace KVLEStream;
    Clear();
    int32_t version = 0;
    int32_t count = 0;
    bool whole = ReadI32(stream, version) && ReadI32(stream, count) && count >= 0;
    if (whole) {
        for (int32_t i = 0; i < count && whole; ++i) {
            TItem item;
            int32_t length = 0;
            if (!ReadI32(stream, item.Info.RecordNumber) || !ReadI32(stream, item.Info.DataSet) ||
                !ReadI32(stream, length) || length < 0 || length > BytesLeft(stream)) {
                whole = false;
                break;
            }
            item.Info.Length = length;
            item.Data.resize(static_cast<size_t>(length));
            whole = ReadBytes(stream, item.Data.data(), length);
            if (whole) {
                FItems.push_back(std::move(item));
            }
        }
    }
    FChanged = true;
    return whole;
}

void TKVIPTCInfoList::SaveToStandardBuffer(std::vector<uint8_t>& buffer, bool header) const
{
    buffer.clear();
    if (FItems.empty()) {
        return;
    }
    if (header) {
        buffer.assign(std::begin(PhotoshopHeader), std::end(PhotoshopHeader));
    } else {
        buffer.assign(std::begin(RecordVersionSet), std::end(RecordVersionSet));
    }
    uint64_t iimSize = 0;
    for (const TItem& item : FItems) {
        const auto length = static_cast<uint64_t>(item.Data.size());
        if ((item.Info.RecordNumber == 2 && item.Info.DataSet == 0) || length == 0) {
            continue;
        }
        buffer.push_back(IIMTag);
        buffer.push_back(static_cast<uint8_t>(item.Info.RecordNumber));
        buffer.push_back(static_cast<uint8_t>(item.Info.DataSet));
        if (length < IIMShortLengthLimit) {
            PutBigEndian(buffer, length, 2);
            iimSize += 5 + length;
        } else {
            buffer.push_back(0x80);
            buffer.push_back(0x04);
            PutBigEndian(buffer, length, 4);
            iimSize += 9 + length;
        }
        buffer.insert(buffer.end(), item.Data.begin(), item.Data.end());
    }
    if (buffer.size() % 2 != 0) {
        buffer.push_back(0);
    }
    if (header) {
        for (int i = 0; i < 4; ++i) {
            buffer[22 + i] = static_cast<uint8_t>(iimSize >> (8 * (3 - i)));
        }
    }
}

void TKVIPTCInfoList::ReadDataSets(const uint8_t* bytes, int64_t length)
{
    const void* first = std::memchr(bytes, IIMTag, static_cast<size_t>(length));
    int64_t pos = first ? static_cast<const uint8_t*>(first) - bytes : length;
    while (pos + 5 < length && bytes[pos] == IIMTag) {
        const int32_t recordNumber = bytes[pos + 1];
        const int32_t dataSet = bytes[pos + 2];
        int64_t dataLength = 0;
        int64_t dataStart = 0;
        if (bytes[pos + 3] < 0x80) {
            dataLength = int64_t(bytes[pos + 3]) << 8 | bytes[pos + 4];
            dataStart = pos + 5;
        } else {
            if (pos + 9 > length) {
                break;
            }
            const auto raw =
                static_cast<int32_t>(uint32_t(bytes[pos + 5]) << 24 | uint32_t(bytes[pos + 6]) << 16 |
                                     uint32_t(bytes[pos + 7]) << 8 | uint32_t(bytes[pos + 8]));
            dataLength = raw < 0 ? -int64_t(raw) : int64_t(raw);
            dataStart = pos + 9;
        }
        if (dataLength > length - dataStart) {
            break;
        }
        TItem item;
        item.Info = {recordNumber, dataSet, static_cast<int32_t>(dataLength)};
        item.Data.assign(bytes + dataStart, bytes + dataStart + dataLength);
        FItems.push_back(std::move(item));
        pos = dataStart + dataLength;
    }
}

namespace {

uint32_t BigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The data of the IPTC resource (0x0404) among the image resources that follow the
// "Photoshop 3.0" header: each is "8BIM", an id, a Pascal name padded to even length, a size and
// the data padded to even length. Other resources (resolution, digests ...) may come first, and
// their bytes, or the size of the IPTC resource, may hold 0x1C.
bool FindIptcResource(const uint8_t* bytes, int64_t length, int64_t& start, int64_t& size)
{
    int64_t pos = PhotoshopSignatureLength;
    while (pos + 8 <= length && std::memcmp(bytes + pos, "8BIM", 4) == 0) {
        const int32_t id = bytes[pos + 4] << 8 | bytes[pos + 5];
        const int64_t nameLength = bytes[pos + 6];
        const int64_t sizeAt = pos + 6 + ((nameLength + 2) & ~int64_t(1));
        if (sizeAt + 4 > length) {
            return false;
        }
        const int64_t dataSize = BigEndian32(bytes + sizeAt);
        const int64_t dataStart = sizeAt + 4;
        if (id == 0x0404) {
            start = dataStart;
            size = std::min(dataSize, length - dataStart);
            return true;
        }
        pos = dataStart + ((dataSize + 1) & ~int64_t(1));
    }
    return false;
}

} // namespace

void TKVIPTCInfoList::LoadFromStandardBuffer(const void* buffer, int64_t length)
{
    FItems.clear();
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (bytes != nullptr && length > 0) {
        if (length >= PhotoshopSignatureLength &&
            std::memcmp(bytes, PhotoshopHeader, PhotoshopSignatureLength) == 0) {
            int64_t start = 0;
            int64_t size = 0;
            if (FindIptcResource(bytes, length, start, size)) {
                ReadDataSets(bytes + start, size);
            }
        } else {
            ReadDataSets(bytes, length);
        }
    }
    FChanged = false;
}
