// JPEG marker segments kept as type byte and data, with their little-endian stream form.
#include "imaging/core/marker_list.h"

#include "imaging/core/detail/le_stream.h"
#include "platform/core/streams.h"

#include <cassert>

TKVMarkerList::TKVMarkerList() = default;
TKVMarkerList::~TKVMarkerList() = default;

TKVMarkerList::TMarker TKVMarkerList::MakeMarker(uint8_t markerType, const void* data, int32_t length)
{
    TMarker marker;
    marker.Type = markerType;
    marker.Data = std::make_unique<TMemoryStream>();
    if (length > 0) {
        marker.Data->WriteBuffer(data, length);
        marker.Data->SetPosition(0);
    }
    return marker;
}

uint8_t TKVMarkerList::GetMarkerType(int32_t index) const
{
    assert(index >= 0 && index < GetCount());
    return FMarkers.at(index).Type;
}

int32_t TKVMarkerList::GetMarkerLength(int32_t index) const
{
    assert(index >= 0 && index < GetCount());
    return static_cast<int32_t>(FMarkers.at(index).Data->Size());
}

const uint8_t* TKVMarkerList::GetMarkerData(int32_t index) const
{
    assert(index >= 0 && index < GetCount());
    return static_cast<const uint8_t*>(FMarkers.at(index).Data->Memory());
}

TMemoryStream* TKVMarkerList::GetMarkerStream(int32_t index)
{
    assert(index >= 0 && index < GetCount());
    TMemoryStream* stream = FMarkers.at(index).Data.get();
    stream->SetPosition(0);
    return stream;
}

int32_t TKVMarkerList::IndexOf(uint8_t markerType) const
{
    for (size_t i = 0; i < FMarkers.size(); ++i) {
        if (FMarkers[i].Type == markerType) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t TKVMarkerList::AddMarker(uint8_t markerType, const void* data, int32_t length)
{
    if (!ValidLength(length)) {
        return -1;
    }
    FMarkers.push_back(MakeMarker(markerType, data, length));
    return GetCount() - 1;
}

void TKVMarkerList::SetMarker(int32_t index, uint8_t markerType, const void* data, int32_t length)
{
    assert(index >= 0 && index < GetCount());
    if (!ValidLength(length) || index < 0 || index >= GetCount()) {
        return;
    }
    FMarkers[index] = MakeMarker(markerType, data, length);
}

void TKVMarkerList::InsertMarker(int32_t index, const void* data, uint8_t markerType, int32_t length)
{
    assert(index >= 0 && index <= GetCount());
    if (!ValidLength(length) || index < 0 || index > GetCount()) {
        return;
    }
    FMarkers.insert(FMarkers.begin() + index, MakeMarker(markerType, data, length));
}

void TKVMarkerList::DeleteMarker(int32_t index)
{
    assert(index >= 0 && index < GetCount());
    if (index >= 0 && index < GetCount()) {
        FMarkers.erase(FMarkers.begin() + index);
    }
}

void TKVMarkerList::Clear()
{
    FMarkers.clear();
}

void TKVMarkerList::Assign(const TKVMarkerList* source)
{
    if (source == nullptr || source == this) {
        return;
    }
    Clear();
    for (const TMarker& marker : source->FMarkers) {
        // Loaded lists may hold segments longer than a JPEG can carry; copy them all the same.
        const auto length = static_cast<int32_t>(marker.Data->Size());
        TMarker copy = MakeMarker(marker.Type, marker.Data->Memory(), length);
        FMarkers.push_back(std::move(copy));
    }
}

void TKVMarkerList::SaveToStream(TStream& stream) const
{
    using namespace KVLEStream;
    WriteU8(stream, 0); // version
    WriteI32(stream, GetCount());
    for (const TMarker& marker : FMarkers) {
        WriteU8(stream, marker.Type);
        WriteI32(stream, static_cast<int32_t>(marker.Data->Size()));
        if (marker.Data->Size() > 0) {
            stream.WriteBuffer(marker.Data->Memory(), marker.Data->Size());
        }
    }
}

bool TKVMarkerList::LoadFromStream(TStream& stream)
{
    using namespace KVLEStream;
    Clear();
    uint8_t version = 0;
    int32_t count = 0;
    if (!ReadU8(stream, version) || !ReadI32(stream, count) || count < 0) {
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        uint8_t markerType = 0;
        int32_t length = 0;
        if (!ReadU8(stream, markerType) || !ReadI32(stream, length) || length < 0 ||
            length > BytesLeft(stream)) {
            return false;
        }
        TMarker marker;
        marker.Type = markerType;
        marker.Data = std::make_unique<TMemoryStream>();
        marker.Data->SetSize(length);
        if (!ReadBytes(stream, marker.Data->Memory(), length)) {
            return false;
        }
        FMarkers.push_back(std::move(marker));
    }
    return true;
}
