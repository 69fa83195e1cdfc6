// TKVFileBuffer: a temporary file from which callers borrow byte ranges as heap blocks, read in
// when mapped for reading and written back when released after writing. It lets an image be far
// larger than memory while only the rows in use are resident.
#pragma once

#include "imaging/core/types.h"
#include "platform/core/classes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKVFileBuffer : public TObject
{
public:
    TKVFileBuffer();
    ~TKVFileBuffer() override;

    bool IsAllocated() const { return FHandle >= 0; }
    // Creates the file and reserves its size; false when it cannot be created or sized, with
    // nothing left behind. With an empty name the file is a temporary one in the library's
    // temporary folder that has no name, so that no end of the process leaves it on the disk.
    // A named file is the caller's: it lives under that name until DeAllocate.
    bool AllocateFile(const std::string& fileName, int64_t size);
    // Raises EInOutError when the file cannot take the new size.
    void ReAllocateFile(int64_t size);
    // Releases every map without writing it back, closes and deletes the file.
    void DeAllocate() noexcept;

    // A block of size bytes standing for the range at offset. With kvdRead it holds the file's
    // bytes (zeros past the end of the file); without, its contents are undefined.
    uint8_t* Map(int64_t offset, int64_t size, TKVDataAccess access);
    // Releases the map, writing it back first when it was mapped with kvdWrite. A write that comes
    // up short (a full disk) raises EWriteError after the map is released.
    void UnMap(const void* buffer);
    // Releases the map without writing it back: its bytes were not changed.
    void UnMapUnchanged(const void* buffer);
    void UnMapAll();
    int32_t IndexOf(const void* buffer) const;
    // Copies size bytes at position into the destination's file at the same position.
    void CopyTo(TKVFileBuffer* destination, int64_t position, int64_t size);

    // The name of a named file; empty for a temporary one.
    const std::string& FileName() const { return FFileName; }
    int64_t FileSize() const;

private:
    struct TMapRecord
    {
        int64_t offset;
        int64_t size;
        uint8_t* buffer;
        TKVDataAccess access;
    };
    struct TSpareBlock
    {
        int64_t size;
        std::unique_ptr<uint8_t[]> block;
    };

    uint8_t* TakeBlock(int64_t size);
    void ReturnBlock(uint8_t* block, int64_t size) noexcept;
    void ReadAt(uint8_t* buffer, int64_t offset, int64_t size);
    void WriteAt(const uint8_t* buffer, int64_t offset, int64_t size);
    void Close() noexcept;
    // The file's name, or the folder of a temporary file, for messages.
    std::string Where() const;

    int FHandle = -1;
    std::string FFileName;
    std::string FFolder;
    std::vector<TMapRecord> FMaps;
    std::vector<TSpareBlock> FSpares;
};
