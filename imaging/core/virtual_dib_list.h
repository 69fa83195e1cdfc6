// TKVVirtualDIBList: many small images (thumbnails) kept as self-contained DIB blocks in one
// temporary file, of which only a few are mapped into memory at a time, the least recently used
// written back first. Callers address an image by its handle and may borrow a TKVBitmap copy.
#pragma once

#include "imaging/core/file_buffer.h"
#include "imaging/core/kvbitmap.h"
#include "platform/graphics/gdi_records.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <vector>

// One image of the list; a pointer to it is the image's handle (nil = none).
struct TKVVirtualImageInfo
{
    int64_t Position = 0;
    int64_t Size = 0;
    int64_t MappedLength = 0;
    uint8_t* Mapped = nullptr;
    bool HandedOut = false;
    int32_t OriginalWidth = 0;
    int32_t OriginalHeight = 0;
    // The mapped block differs from the file (or may, once its address was handed out).
    bool Changed = false;
};

struct TKVVirtualFreeBlock
{
    int64_t Position = 0;
    int64_t Size = 0;
};

// A bitmap lent out for an image, with the number of GetBitmap calls not yet given back.
struct TKVVirtualToReleaseBmp
{
    TKVVirtualImageInfo* Image = nullptr;
    std::unique_ptr<TKVBitmap> Bitmap;
    int32_t UseCount = 0;
};

class TKVVirtualDIBList : public TObject
{
public:
    TKVVirtualDIBList();
    ~TKVVirtualDIBList() override;
    TKVVirtualDIBList(const TKVVirtualDIBList&) = delete;
    TKVVirtualDIBList& operator=(const TKVVirtualDIBList&) = delete;

    // Byte size of an image block: the 48-byte header, the rows, the alpha flag and, for an image
    // with alpha, the alpha plane.
    static int64_t BlockSize(int32_t width, int32_t height, int32_t bitCount, bool alpha);

    // New images; nil when no room could be had in the temporary file (or it cannot be made) or
    // for a negative size. Bit counts other than 1 are stored as 24 bits. A blank image has no
    // alpha; an added bitmap keeps the alpha channel it has, and has none when it has none.
    TKVVirtualImageInfo* AddBlankImage(int32_t width, int32_t height, int32_t bitCount);
    TKVVirtualImageInfo* AddKVBitmap(TKVBaseBitmap* bitmap);
    TKVVirtualImageInfo* AddBitmap(TBitmap* bitmap);
    // The rectangle of the bitmap; the part outside it is black. Alpha all 255.
    TKVVirtualImageInfo* AddBitmapRect(TBitmap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height);

    // Every operation takes nil or a handle that is not of this list as no image.
    // The destination becomes a copy of the image (kv1g or kv24RGB, alpha as stored).
    void CopyToKVBitmap(TKVVirtualImageInfo* image, TKVBitmap* bitmap);
    // The image becomes a copy of the bitmap, taking a block of the new size when its size, bit
    // count or alpha changed; the old block's room is free for the image itself and the others.
    // When no block can be had the image keeps what it held.
    void CopyFromKVBitmap(TKVVirtualImageInfo* image, TKVBitmap* bitmap);
    void DirectCopyToBitmap(TKVVirtualImageInfo* image, TKVBitmap* bitmap);

    // A bitmap shared with the list (the same one for repeated requests, its pixels and alpha in
    // memory); nil when the image cannot be mapped. Give it back with ReleaseBitmap, changed true
    // copying it into the image first.
    TKVBitmap* GetBitmap(TKVVirtualImageInfo* image);
    void ReleaseBitmap(TKVBitmap* bitmap, bool changed);
    void ReleaseBitmapByImage(TKVVirtualImageInfo* image, bool changed);

    int32_t GetImageCount() const { return FImageCount; }
    // 0 when the image cannot be mapped.
    int32_t GetImageWidth(TKVVirtualImageInfo* image);
    int32_t GetImageHeight(TKVVirtualImageInfo* image);
    int32_t GetImageBitCount(TKVVirtualImageInfo* image);
    int32_t GetImageOriginalWidth(TKVVirtualImageInfo* image) const;
    int32_t GetImageOriginalHeight(TKVVirtualImageInfo* image) const;
    void SetImageOriginalWidth(TKVVirtualImageInfo* image, int32_t value);
    void SetImageOriginalHeight(TKVVirtualImageInfo* image, int32_t value);
    // The bottom-up rows, valid until another image is mapped; nil when unmappable.
    uint8_t* GetImageBits(TKVVirtualImageInfo* image);
    // The bottom-up 8-bit alpha plane, nil when the image has no alpha.
    uint8_t* GetAlphaBits(TKVVirtualImageInfo* image);
    const BITMAPINFO* GetImageInfoHeader(TKVVirtualImageInfo* image);

    void Delete(TKVVirtualImageInfo* image);
    // Grows the file once so that count more images of that size, without alpha, are appended
    // without growing.
    void PrepareSpaceFor(int32_t width, int32_t height, int32_t bitCount, int32_t count);
    void FreeBits();

    // Images mapped in memory at once; values below 1 count as 1.
    int32_t MaxMappedImages = 10;
    int32_t MappedCount() const { return int32_t(FMapped.size()); }
    // The size of the temporary file, 0 while there is none.
    int64_t FileSize() const { return FFileBuffer->FileSize(); }

private:
    // Images live in blocks that stay until the list is emptied: a handle is checked against the
    // blocks' addresses rather than looked up on its own, and a deleted image's place is taken
    // again by a later one.
    struct TImageBlock
    {
        static constexpr size_t Capacity = 256;
        TKVVirtualImageInfo Images[Capacity];
        std::bitset<Capacity> Live;
    };
    struct TSlot
    {
        TImageBlock* Block = nullptr;
        size_t Index = 0;
    };
    // The block place of a pointer into one of the blocks; no block for any other pointer.
    TSlot SlotOf(const TKVVirtualImageInfo* image) const;
    TKVVirtualImageInfo* TakeSlot();
    void DropImageBlocks();
    bool Known(const TKVVirtualImageInfo* image) const;
    // fresh: the block is new and will be written whole, so the file is not read.
    bool MapImage(TKVVirtualImageInfo* image, bool fresh = false);
    void UnMapImage(TKVVirtualImageInfo* image);
    void UnMapAllImages();
    bool EnsureFile();
    bool SetFileSize(int64_t size);
    TKVVirtualImageInfo* AddImage(int32_t width, int32_t height, int32_t bitCount, bool alpha);
    void FreeRoom(int64_t position, int64_t size);
    void ClaimRoom(int64_t position, int64_t size);
    int64_t TakeRoom(int64_t size);
    bool PlaceBlock(TKVVirtualImageInfo& image, int32_t width, int32_t height, int32_t bitCount, bool alpha);
    // The image's block for another layout; false, with the old block kept, when none can be had.
    bool MoveBlock(TKVVirtualImageInfo& image, int32_t width, int32_t height, int32_t bitCount, bool alpha);
    void WriteBitmap(TKVVirtualImageInfo* image, TKVBaseBitmap* bitmap);
    TKVVirtualToReleaseBmp* LentFor(const TKVVirtualImageInfo* image) const;
    TKVVirtualToReleaseBmp* LentAs(const TKVBitmap* bitmap) const;
    void FreeLent(TKVVirtualToReleaseBmp* lent);
    void RemoveImage(TKVVirtualImageInfo* image, bool freeBlock);

    std::unique_ptr<TKVFileBuffer> FFileBuffer;
    int64_t FFileSize = 0x10000;
    std::vector<std::unique_ptr<TImageBlock>> FImageBlocks; // by address
    std::vector<TKVVirtualImageInfo*> FFreeSlots;
    int32_t FImageCount = 0;
    std::vector<TKVVirtualImageInfo*> FMapped;
    // In file order, none beside another nor reaching the end of used space.
    std::vector<TKVVirtualFreeBlock> FFreeBlocks;
    int64_t FEndOfUsed = 0;
    int64_t FGrowthStep = 0x10000;
    std::vector<std::unique_ptr<TKVVirtualToReleaseBmp>> FLent;
    int64_t FLastBlockSize = 0;
    struct
    {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } FInfo{};
};
