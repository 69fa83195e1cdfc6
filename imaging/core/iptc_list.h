// IPTC data sets, converted to and from the IIM byte form kept in JPEG APP13 segments and TIFF tags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStream;

struct TIPTCInfo
{
    int32_t RecordNumber = 0;
    int32_t DataSet = 0;
    int32_t Length = 0;
};

class TKVIPTCInfoList
{
public:
    TKVIPTCInfoList() = default;
    TKVIPTCInfoList(const TKVIPTCInfoList&) = delete;
    TKVIPTCInfoList& operator=(const TKVIPTCInfoList&) = delete;

    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    int32_t GetRecordNumber(int32_t index) const;
    int32_t GetDataSet(int32_t index) const;
    void SetRecordNumber(int32_t index, int32_t value);
    void SetDataSet(int32_t index, int32_t value);
    // The data as bytes; an index out of range gives an empty string.
    std::string GetStrings(int32_t index) const;
    void SetStrings(int32_t index, const std::string& value);
    const TIPTCInfo& GetInfo(int32_t index) const;
    const uint8_t* GetData(int32_t index) const;

    int32_t AddStringItem(int32_t recordNumber, int32_t dataSet, const std::string& value);
    int32_t AddBufferItem(int32_t recordNumber, int32_t dataSet, const void* buffer, int32_t length);
    void InsertStringItem(int32_t index, int32_t recordNumber, int32_t dataSet, const std::string& value);
    int32_t IndexOf(int32_t recordNumber, int32_t dataSet) const;
    void DeleteItem(int32_t index);
    void Clear();
    void Assign(const TKVIPTCInfoList* source);

    // Set by every edit, Clear, Assign and LoadFromStream; cleared by LoadFromStandardBuffer.
    bool Changed() const { return FChanged; }

    void SaveToStream(TStream& stream) const;
    // Starts with Clear; a count or length that the stream cannot hold ends the reading with the
    // items read so far.
    bool LoadFromStream(TStream& stream); // true when the whole list was read

    // The IIM form: with header behind the 26-byte "Photoshop 3.0" / "8BIM" 0x0404 resource
    // header, without it led by the record-version data set. An empty list gives no bytes.
    void SaveToStandardBuffer(std::vector<uint8_t>& buffer, bool header) const;
    // Reads data sets from the first 0x1C byte on (behind the "Photoshop 3.0" header, from the
    // IPTC resource's data on); stops at anything else or at a data set that runs past the
    // buffer, keeping what was read.
    void LoadFromStandardBuffer(const void* buffer, int64_t length);

private:
    void ReadDataSets(const uint8_t* bytes, int64_t length);

    struct TItem
    {
        TIPTCInfo Info;
        std::vector<uint8_t> Data;
    };
    std::vector<TItem> FItems;
    bool FChanged = false;
};
