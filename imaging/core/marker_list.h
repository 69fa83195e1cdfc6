// JPEG marker segments (APPn, COM and the like) that the JPEG reader saves and the writer puts back.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TStream;
class TMemoryStream;

class TKVMarkerList
{
public:
    // A segment's data is at most this long: its 16-bit length word counts itself too.
    static constexpr int32_t MaxMarkerLength = 65533;

    TKVMarkerList();
    ~TKVMarkerList();
    TKVMarkerList(const TKVMarkerList&) = delete;
    TKVMarkerList& operator=(const TKVMarkerList&) = delete;

    int32_t GetCount() const { return static_cast<int32_t>(FMarkers.size()); }
    uint8_t GetMarkerType(int32_t index) const;
    int32_t GetMarkerLength(int32_t index) const;
    const uint8_t* GetMarkerData(int32_t index) const;
    // The marker's data as a stream positioned at 0; the list keeps owning it.
    TMemoryStream* GetMarkerStream(int32_t index);
    int32_t IndexOf(uint8_t markerType) const;

    // The three below copy the data; data longer than MaxMarkerLength (or a negative length) is
    // refused: AddMarker returns -1 and the others change nothing.
    int32_t AddMarker(uint8_t markerType, const void* data, int32_t length);
    void SetMarker(int32_t index, uint8_t markerType, const void* data, int32_t length);
    void InsertMarker(int32_t index, const void* data, uint8_t markerType, int32_t length);
    void DeleteMarker(int32_t index);
    void Clear();
    void Assign(const TKVMarkerList* source);

    void SaveToStream(TStream& stream) const;
    // Starts with Clear; a count or length that the stream cannot hold ends the reading with the
    // markers read so far.
    bool LoadFromStream(TStream& stream); // true when the whole list was read

private:
    struct TMarker
    {
        uint8_t Type = 0;
        std::unique_ptr<TMemoryStream> Data;
    };
    static bool ValidLength(int32_t length) { return length >= 0 && length <= MaxMarkerLength; }
    static TMarker MakeMarker(uint8_t markerType, const void* data, int32_t length);

    std::vector<TMarker> FMarkers;
};
