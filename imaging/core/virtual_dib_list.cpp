// The thumbnail store: image blocks in one temporary file, mapped least recently used first out.
#include "imaging/core/virtual_dib_list.h"

#include "imaging/core/bit_utils.h"
#include "imaging/core/detail/access_scope.h"
#include "platform/core/exceptions.h"
#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int64_t kHeaderSize = 48;
constexpr int64_t kInitialFileSize = 0x10000;

int64_t RowLen(int32_t width, int32_t bits)
{
    return Daduvudez::_BitmapRowLen(width, bits);
}

// Bit counts other than 1 are stored as colour.
int32_t StoredBits(int32_t bitCount)
{
    return bitCount == 1 ? 1 : 24;
}

// Offsets within a block. The alpha plane follows the flag only when the image has alpha (flag
// 0): an opaque image takes no plane of 255s, which for a large 1-bit page is eight times its
// pixels.
struct TBlockLayout
{
    int32_t width, height, bits;
    bool alpha;
    int64_t rowLen, alphaRowLen;
    TBlockLayout(int32_t w, int32_t h, int32_t b, bool a)
        : width(w), height(h), bits(b), alpha(a), rowLen(RowLen(w, b)), alphaRowLen(RowLen(w, 8))
    {
    }
    int64_t FlagOffset() const { return kHeaderSize + rowLen * height; }
    int64_t AlphaOffset() const { return FlagOffset() + 1; }
    int64_t Size() const { return AlphaOffset() + (alpha ? alphaRowLen * height : 0); }
};

TBlockLayout LayoutOf(const uint8_t* block)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    const TBlockLayout layout(header.biWidth, header.biHeight, header.biBitCount, false);
    return TBlockLayout(layout.width, layout.height, layout.bits, block[layout.FlagOffset()] == 0);
}

// The alpha channel a bitmap gives the store, nil when it has none.
TKVBitmap* AlphaOf(TKVBaseBitmap* bitmap)
{
    auto* kvBitmap = dynamic_cast<TKVBitmap*>(bitmap);
    return kvBitmap != nullptr && kvBitmap->GetHasAlphaChannel() ? kvBitmap->GetAlphaChannel() : nullptr;
}

void WriteInfo(uint8_t* block, int32_t width, int32_t height, int32_t bits)
{
    BITMAPINFOHEADER header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = uint16_t(bits);
    const RGBQUAD colours[2] = {RGBQUAD{}, RGBQUAD{255, 255, 255, 0}};
    std::memcpy(block, &header, sizeof header);
    std::memcpy(block + sizeof header, colours, sizeof colours);
}

// A lent bitmap and its alpha keep their rows in memory, bottom-up in one block, so that their
// bottom row's address covers every row.
void KeepInMemory(TKVBitmap* bitmap)
{
    bitmap->MinFileSize = INT32_MAX;
    if (bitmap->Location() != kvMemory)
        bitmap->SetLocation(kvMemory);
}

} // namespace

TKVVirtualDIBList::TKVVirtualDIBList() : FFileBuffer(std::make_unique<TKVFileBuffer>())
{
    FInfo.header.biSize = 40;
    FInfo.colours[1] = RGBQUAD{255, 255, 255, 0};
    EnsureFile();
}

TKVVirtualDIBList::~TKVVirtualDIBList()
{
    FreeBits();
}

int64_t TKVVirtualDIBList::BlockSize(int32_t width, int32_t height, int32_t bitCount, bool alpha)
{
    return TBlockLayout(width, height, StoredBits(bitCount), alpha).Size();
}

TKVVirtualDIBList::TSlot TKVVirtualDIBList::SlotOf(const TKVVirtualImageInfo* image) const
{
    // Addresses are compared as integers: the pointer may belong to no block at all.
    const auto address = reinterpret_cast<uintptr_t>(image);
    const auto after = std::upper_bound(FImageBlocks.begin(), FImageBlocks.end(), address,
                                        [](uintptr_t a, const std::unique_ptr<TImageBlock>& block) {
                                            return a < reinterpret_cast<uintptr_t>(block->Images);
                                        });
    if (after == FImageBlocks.begin())
        return {};
    TImageBlock* block = std::prev(after)->get();
    const uintptr_t offset = address - reinterpret_cast<uintptr_t>(block->Images);
    const size_t index = offset / sizeof(TKVVirtualImageInfo);
    if (offset % sizeof(TKVVirtualImageInfo) != 0 || index >= TImageBlock::Capacity)
        return {};
    return {block, index};
}

bool TKVVirtualDIBList::Known(const TKVVirtualImageInfo* image) const
{
    const TSlot slot = SlotOf(image);
    return slot.Block != nullptr && slot.Block->Live[slot.Index];
}

TKVVirtualImageInfo* TKVVirtualDIBList::TakeSlot()
{
    if (FFreeSlots.empty()) {
        auto block = std::make_unique<TImageBlock>();
        // Taken from the front, so that images added in a row lie side by side.
        for (size_t i = TImageBlock::Capacity; i-- > 0;)
            FFreeSlots.push_back(&block->Images[i]);
        const auto at =
            std::upper_bound(FImageBlocks.begin(), FImageBlocks.end(), block.get(),
                             [](const TImageBlock* a, const std::unique_ptr<TImageBlock>& b) {
                                 return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b.get());
                             });
        FImageBlocks.insert(at, std::move(block));
    }
    TKVVirtualImageInfo* image = FFreeSlots.back();
    FFreeSlots.pop_back();
    *image = TKVVirtualImageInfo{};
    return image;
}

void TKVVirtualDIBList::DropImageBlocks()
{
    FImageBlocks.clear();
    FFreeSlots.clear();
    FImageCount = 0;
}

bool TKVVirtualDIBList::EnsureFile()
{
    if (FFileBuffer->IsAllocated())
        return true;
    return FFileBuffer->AllocateFile("", FFileSize);
}

bool TKVVirtualDIBList::SetFileSize(int64_t size)
{
    // Mapped blocks are copies in memory and free blocks lie inside the file, so growing keeps
    // both: a store adding thumbnails grows often, and dropping every mapped block each time
    // would read them all back. Only a shrinking file can cut them off.
    if (size < FFileSize) {
        UnMapAllImages();
        FFreeBlocks.clear();
    }
    try {
        FFileBuffer->ReAllocateFile(size);
    } catch (const EInOutError&) {
        return false;
    }
    FFileSize = size;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Mapping

bool TKVVirtualDIBList::MapImage(TKVVirtualImageInfo* image, bool fresh)
{
    const size_t limit = size_t(std::max(MaxMappedImages, 1));
    if (image->Mapped != nullptr) {
        FMapped.erase(std::find(FMapped.begin(), FMapped.end(), image));
        FMapped.push_back(image);
        while (FMapped.size() > limit)
            UnMapImage(FMapped.front());
        return true;
    }
    while (!FMapped.empty() && FMapped.size() + 1 > limit)
        UnMapImage(FMapped.front());
    try {
        image->Mapped = FFileBuffer->Map(image->Position, image->MappedLength,
                                         fresh ? TKVDataAccess(kvdWrite) : kvdReadWrite);
        image->Changed = fresh;
    } catch (const EOutOfMemory&) {
        image->Mapped = nullptr;
    } catch (const EReadError&) {
        image->Mapped = nullptr;
    }
    if (image->Mapped == nullptr)
        return false;
    FMapped.push_back(image);
    return true;
}

void TKVVirtualDIBList::UnMapImage(TKVVirtualImageInfo* image)
{
    if (image->Mapped == nullptr)
        return;
    uint8_t* block = image->Mapped;
    image->Mapped = nullptr;
    FMapped.erase(std::find(FMapped.begin(), FMapped.end(), image));
    // Blocks only read are not written back.
    if (image->Changed)
        FFileBuffer->UnMap(block);
    else
        FFileBuffer->UnMapUnchanged(block);
    image->Changed = false;
}

void TKVVirtualDIBList::UnMapAllImages()
{
    while (!FMapped.empty())
        UnMapImage(FMapped.front());
}

// ---------------------------------------------------------------------------------------------
// Room in the file

// Free blocks are kept in file order, each merged with the free blocks beside it, and space freed
// at the end of used space is given back to it: a block an image leaves, whether it moves or goes,
// joins the room around it, so that an image that grows and shrinks back finds its old place.
void TKVVirtualDIBList::FreeRoom(int64_t position, int64_t size)
{
    if (size <= 0)
        return;
    auto next =
        std::lower_bound(FFreeBlocks.begin(), FFreeBlocks.end(), position,
                         [](const TKVVirtualFreeBlock& block, int64_t at) { return block.Position < at; });
    if (next != FFreeBlocks.end() && next->Position == position + size) {
        size += next->Size;
        next = FFreeBlocks.erase(next);
    }
    if (next != FFreeBlocks.begin() && std::prev(next)->Position + std::prev(next)->Size == position) {
        position = std::prev(next)->Position;
        size += std::prev(next)->Size;
        next = FFreeBlocks.erase(std::prev(next));
    }
    if (position + size == FEndOfUsed)
        FEndOfUsed = position;
    else
        FFreeBlocks.insert(next, TKVVirtualFreeBlock{position, size});
}

// Takes back a range that is free: inside a free block, whose rest stays free, or past the end of
// used space, whose gap up to it becomes free.
void TKVVirtualDIBList::ClaimRoom(int64_t position, int64_t size)
{
    if (position >= FEndOfUsed) {
        const int64_t end = FEndOfUsed;
        FEndOfUsed = position + size;
        FreeRoom(end, position - end);
        return;
    }
    auto block = std::find_if(FFreeBlocks.begin(), FFreeBlocks.end(), [&](const TKVVirtualFreeBlock& free) {
        return free.Position <= position && position + size <= free.Position + free.Size;
    });
    if (block == FFreeBlocks.end())
        return;
    const TKVVirtualFreeBlock whole = *block;
    block = FFreeBlocks.erase(block);
    const int64_t after = whole.Position + whole.Size - (position + size);
    if (after > 0)
        block = FFreeBlocks.insert(block, TKVVirtualFreeBlock{position + size, after});
    if (whole.Position < position)
        FFreeBlocks.insert(block, TKVVirtualFreeBlock{whole.Position, position - whole.Position});
}

// The position of size bytes taken for a block: the first free block that holds them, else the
// end of used space, the file growing when it must; -1 when it cannot.
int64_t TKVVirtualDIBList::TakeRoom(int64_t size)
{
    auto fit = std::find_if(FFreeBlocks.begin(), FFreeBlocks.end(),
                            [&](const TKVVirtualFreeBlock& block) { return block.Size >= size; });
    if (fit != FFreeBlocks.end()) {
        const int64_t position = fit->Position;
        ClaimRoom(position, size);
        return position;
    }
    if (FGrowthStep < size)
        FGrowthStep = FLastBlockSize + size;
    FLastBlockSize = size;
    if (FEndOfUsed + size > FFileSize && !SetFileSize(FFileSize + FGrowthStep))
        return -1;
    const int64_t position = FEndOfUsed;
    FEndOfUsed += size;
    return position;
}

// ---------------------------------------------------------------------------------------------
// Adding

bool TKVVirtualDIBList::PlaceBlock(TKVVirtualImageInfo& image, int32_t width, int32_t height,
                                   int32_t bitCount, bool alpha)
{
    const TBlockLayout layout(width, height, bitCount, alpha);
    const int64_t size = layout.Size();
    if (!EnsureFile())
        return false;
    const int64_t position = TakeRoom(size);
    if (position < 0)
        return false;
    image.Position = position;
    image.Size = size;
    image.MappedLength = size;
    image.OriginalWidth = width;
    image.OriginalHeight = height;
    if (!MapImage(&image, true)) {
        FreeRoom(position, size);
        return false;
    }
    // Not read from the file: blank rows, and an opaque alpha where there is one, until someone
    // writes them.
    std::memset(image.Mapped + kHeaderSize, 0, size_t(layout.rowLen * height));
    image.Mapped[layout.FlagOffset()] = alpha ? 0 : 1;
    if (alpha)
        std::memset(image.Mapped + layout.AlphaOffset(), 255, size_t(layout.alphaRowLen * height));
    WriteInfo(image.Mapped, width, height, bitCount);
    return true;
}

bool TKVVirtualDIBList::MoveBlock(TKVVirtualImageInfo& image, int32_t width, int32_t height, int32_t bitCount,
                                  bool alpha)
{
    const TKVVirtualImageInfo old = image;
    FreeRoom(old.Position, old.Size);
    if (PlaceBlock(image, width, height, bitCount, alpha))
        return true;
    // The old block was not written over: the image keeps it.
    ClaimRoom(old.Position, old.Size);
    image = old;
    return false;
}

TKVVirtualImageInfo* TKVVirtualDIBList::AddBlankImage(int32_t width, int32_t height, int32_t bitCount)
{
    return AddImage(width, height, bitCount, false);
}

TKVVirtualImageInfo* TKVVirtualDIBList::AddImage(int32_t width, int32_t height, int32_t bitCount, bool alpha)
{
    if (width < 0 || height < 0)
        return nullptr;
    TKVVirtualImageInfo* image = TakeSlot();
    if (!PlaceBlock(*image, width, height, StoredBits(bitCount), alpha)) {
        FFreeSlots.push_back(image);
        return nullptr;
    }
    const TSlot slot = SlotOf(image);
    slot.Block->Live.set(slot.Index);
    ++FImageCount;
    return image;
}

void TKVVirtualDIBList::WriteBitmap(TKVVirtualImageInfo* image, TKVBaseBitmap* bitmap)
{
    const TBlockLayout layout = LayoutOf(image->Mapped);
    uint8_t* block = image->Mapped;
    image->Changed = true;
    auto* kvBitmap = dynamic_cast<TKVBitmap*>(bitmap);
    TKVAccessScope readRows(*bitmap, kvdRead);
    const TKVPixelFormat format = bitmap->GetPixelFormat();
    const bool asIs = (layout.bits == 1 && format == kv1g) || (layout.bits == 24 && format == kv24RGB);
    for (int32_t y = 0; y < layout.height; ++y) {
        uint8_t* out = block + kHeaderSize + int64_t(layout.height - 1 - y) * layout.rowLen;
        std::memset(out, 0, size_t(layout.rowLen));
        if (asIs) {
            const uint8_t* row = bitmap->GetScanLine(y);
            if (row != nullptr)
                std::memcpy(out, row, size_t(std::min<int64_t>(layout.rowLen, bitmap->GetRowLen())));
        } else if (kvBitmap != nullptr && layout.bits == 24) {
            TRGB* pixels = reinterpret_cast<TRGB*>(out);
            for (int32_t x = 0; x < layout.width; ++x)
                pixels[x] = kvBitmap->GetPixels(x, y);
        }
    }
    // The block was laid out for the bitmap's alpha, or its absence.
    TKVBitmap* alpha = AlphaOf(bitmap);
    if (alpha == nullptr || !layout.alpha)
        return;
    uint8_t* plane = block + layout.AlphaOffset();
    TKVAccessScope readAlpha(*alpha, kvdRead);
    for (int32_t y = 0; y < layout.height; ++y)
        std::memcpy(plane + int64_t(layout.height - 1 - y) * layout.alphaRowLen, alpha->GetScanLine(y),
                    size_t(std::min<int64_t>(layout.alphaRowLen, alpha->GetRowLen())));
}

TKVVirtualImageInfo* TKVVirtualDIBList::AddKVBitmap(TKVBaseBitmap* bitmap)
{
    if (bitmap == nullptr)
        return nullptr;
    const int32_t bits = StoredBits(bitmap->GetBitCount());
    if (bits == 24 && bitmap->GetPixelFormat() != kv24RGB && dynamic_cast<TKVBitmap*>(bitmap) == nullptr)
        return nullptr;
    TKVVirtualImageInfo* image =
        AddImage(bitmap->GetWidth(), bitmap->GetHeight(), bits, AlphaOf(bitmap) != nullptr);
    if (image != nullptr)
        WriteBitmap(image, bitmap);
    return image;
}

TKVVirtualImageInfo* TKVVirtualDIBList::AddBitmap(TBitmap* bitmap)
{
    if (bitmap == nullptr)
        return nullptr;
    if (bitmap->PixelFormat() != pf1bit && bitmap->PixelFormat() != pf24bit)
        return AddBitmapRect(bitmap, 0, 0, bitmap->Width(), bitmap->Height());
    TKVBitmap wrapper;
    wrapper.EncapsulateTBitmap(bitmap, false);
    TKVVirtualImageInfo* image = AddKVBitmap(&wrapper);
    wrapper.EncapsulateTBitmap(nullptr, true);
    return image;
}

TKVVirtualImageInfo* TKVVirtualDIBList::AddBitmapRect(TBitmap* bitmap, int32_t x, int32_t y, int32_t width,
                                                      int32_t height)
{
    if (bitmap == nullptr)
        return nullptr;
    TBitmap* source = bitmap;
    std::unique_ptr<TBitmap> converted;
    if (bitmap->PixelFormat() != pf1bit && bitmap->PixelFormat() != pf24bit) {
        converted = std::make_unique<TBitmap>();
        converted->Assign(bitmap);
        converted->SetPixelFormat(pf24bit);
        source = converted.get();
    }
    const int32_t bits = source->PixelFormat() == pf1bit ? 1 : 24;
    TKVVirtualImageInfo* image = AddBlankImage(width, height, bits);
    if (image == nullptr)
        return nullptr;
    const TBlockLayout layout(width, height, bits, false);
    uint8_t* block = image->Mapped;
    image->Changed = true;
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* out = block + kHeaderSize + int64_t(height - 1 - row) * layout.rowLen;
        std::memset(out, 0, size_t(layout.rowLen));
        const int64_t sy = int64_t(y) + row;
        if (sy < 0 || sy >= source->Height())
            continue;
        const uint8_t* in = source->ScanLine(int32_t(sy));
        for (int32_t column = 0; column < width; ++column) {
            const int64_t sx = int64_t(x) + column;
            if (sx < 0 || sx >= source->Width())
                continue;
            if (bits == 1) {
                if (in[sx >> 3] & (0x80 >> (sx & 7)))
                    out[column >> 3] |= uint8_t(0x80 >> (column & 7));
            } else {
                std::memcpy(out + int64_t(column) * 3, in + sx * 3, 3);
            }
        }
    }
    return image;
}

// ---------------------------------------------------------------------------------------------
// Reading back

void TKVVirtualDIBList::DirectCopyToBitmap(TKVVirtualImageInfo* image, TKVBitmap* bitmap)
{
    if (!Known(image) || bitmap == nullptr || !MapImage(image))
        return;
    const uint8_t* block = image->Mapped;
    const TBlockLayout layout = LayoutOf(block);
    const TKVPixelFormat format = layout.bits == 1 ? kv1g : kv24RGB;
    if (bitmap->GetWidth() != layout.width || bitmap->GetHeight() != layout.height ||
        bitmap->GetPixelFormat() != format)
        bitmap->Allocate(layout.width, layout.height, format);
    {
        TKVAccessScope writeRows(*bitmap, kvdWrite);
        for (int32_t y = 0; y < layout.height; ++y)
            std::memcpy(bitmap->GetScanLine(y),
                        block + kHeaderSize + int64_t(layout.height - 1 - y) * layout.rowLen,
                        size_t(std::min<int64_t>(layout.rowLen, bitmap->GetRowLen())));
    }
    if (!layout.alpha) {
        bitmap->RemoveAlphaChannel();
        return;
    }
    TKVBitmap* alpha = bitmap->GetAlphaChannel();
    TKVAccessScope writeAlpha(*alpha, kvdWrite);
    const uint8_t* plane = block + layout.AlphaOffset();
    for (int32_t y = 0; y < layout.height; ++y)
        std::memcpy(alpha->GetScanLine(y), plane + int64_t(layout.height - 1 - y) * layout.alphaRowLen,
                    size_t(std::min<int64_t>(layout.alphaRowLen, alpha->GetRowLen())));
    alpha->Full = false;
}

void TKVVirtualDIBList::CopyToKVBitmap(TKVVirtualImageInfo* image, TKVBitmap* bitmap)
{
    if (!Known(image) || bitmap == nullptr)
        return;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image)) {
        if (lent->Bitmap.get() != bitmap)
            bitmap->Assign(lent->Bitmap.get());
        return;
    }
    DirectCopyToBitmap(image, bitmap);
}

void TKVVirtualDIBList::CopyFromKVBitmap(TKVVirtualImageInfo* image, TKVBitmap* bitmap)
{
    if (!Known(image) || bitmap == nullptr || !MapImage(image))
        return;
    const TBlockLayout layout = LayoutOf(image->Mapped);
    const int32_t bits = StoredBits(bitmap->GetBitCount());
    const bool alpha = AlphaOf(bitmap) != nullptr;
    if (layout.width != bitmap->GetWidth() || layout.height != bitmap->GetHeight() || layout.bits != bits ||
        layout.alpha != alpha) {
        UnMapImage(image);
        if (!MoveBlock(*image, bitmap->GetWidth(), bitmap->GetHeight(), bits, alpha))
            return;
    }
    WriteBitmap(image, bitmap);
}

// ---------------------------------------------------------------------------------------------
// Borrowing

TKVVirtualToReleaseBmp* TKVVirtualDIBList::LentFor(const TKVVirtualImageInfo* image) const
{
    for (const auto& lent : FLent)
        if (lent->Image == image)
            return lent.get();
    return nullptr;
}

TKVVirtualToReleaseBmp* TKVVirtualDIBList::LentAs(const TKVBitmap* bitmap) const
{
    for (const auto& lent : FLent)
        if (lent->Bitmap.get() == bitmap)
            return lent.get();
    return nullptr;
}

void TKVVirtualDIBList::FreeLent(TKVVirtualToReleaseBmp* lent)
{
    lent->Image->HandedOut = false;
    FLent.erase(std::find_if(FLent.begin(), FLent.end(), [&](const auto& l) { return l.get() == lent; }));
}

TKVBitmap* TKVVirtualDIBList::GetBitmap(TKVVirtualImageInfo* image)
{
    if (!Known(image) || !MapImage(image))
        return nullptr;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image)) {
        ++lent->UseCount;
        return lent->Bitmap.get();
    }
    auto bitmap = std::make_unique<TKVBitmap>();
    bitmap->MinFileSize = INT32_MAX;
    bitmap->SetLocation(kvMemory);
    DirectCopyToBitmap(image, bitmap.get());
    KeepInMemory(bitmap.get());
    if (bitmap->GetHasAlphaChannel())
        KeepInMemory(bitmap->GetAlphaChannel());
    auto lent = std::make_unique<TKVVirtualToReleaseBmp>();
    lent->Image = image;
    lent->Bitmap = std::move(bitmap);
    lent->UseCount = 1;
    image->HandedOut = true;
    FLent.push_back(std::move(lent));
    return FLent.back()->Bitmap.get();
}

void TKVVirtualDIBList::ReleaseBitmap(TKVBitmap* bitmap, bool changed)
{
    TKVVirtualToReleaseBmp* lent = bitmap != nullptr ? LentAs(bitmap) : nullptr;
    if (lent == nullptr)
        return;
    --lent->UseCount;
    if (changed)
        CopyFromKVBitmap(lent->Image, bitmap);
    if (lent->UseCount <= 0)
        FreeLent(lent);
}

void TKVVirtualDIBList::ReleaseBitmapByImage(TKVVirtualImageInfo* image, bool changed)
{
    if (!Known(image))
        return;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image))
        ReleaseBitmap(lent->Bitmap.get(), changed);
}

// ---------------------------------------------------------------------------------------------
// Queries

int32_t TKVVirtualDIBList::GetImageWidth(TKVVirtualImageInfo* image)
{
    if (!Known(image))
        return 0;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image))
        return lent->Bitmap->GetWidth();
    return MapImage(image) ? LayoutOf(image->Mapped).width : 0;
}

int32_t TKVVirtualDIBList::GetImageHeight(TKVVirtualImageInfo* image)
{
    if (!Known(image))
        return 0;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image))
        return lent->Bitmap->GetHeight();
    return MapImage(image) ? LayoutOf(image->Mapped).height : 0;
}

int32_t TKVVirtualDIBList::GetImageBitCount(TKVVirtualImageInfo* image)
{
    if (!Known(image))
        return 0;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image))
        return lent->Bitmap->GetBitCount();
    return MapImage(image) ? LayoutOf(image->Mapped).bits : 0;
}

int32_t TKVVirtualDIBList::GetImageOriginalWidth(TKVVirtualImageInfo* image) const
{
    return Known(image) ? image->OriginalWidth : 0;
}

int32_t TKVVirtualDIBList::GetImageOriginalHeight(TKVVirtualImageInfo* image) const
{
    return Known(image) ? image->OriginalHeight : 0;
}

void TKVVirtualDIBList::SetImageOriginalWidth(TKVVirtualImageInfo* image, int32_t value)
{
    if (Known(image))
        image->OriginalWidth = value;
}

void TKVVirtualDIBList::SetImageOriginalHeight(TKVVirtualImageInfo* image, int32_t value)
{
    if (Known(image))
        image->OriginalHeight = value;
}

uint8_t* TKVVirtualDIBList::GetImageBits(TKVVirtualImageInfo* image)
{
    if (!Known(image))
        return nullptr;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image)) {
        TKVBitmap* bitmap = lent->Bitmap.get();
        if (bitmap->GetHeight() < 1)
            return nullptr;
        KeepInMemory(bitmap);
        return bitmap->GetScanLine(bitmap->GetHeight() - 1);
    }
    if (!MapImage(image))
        return nullptr;
    // The caller may write through the address.
    image->Changed = true;
    return image->Mapped + kHeaderSize;
}

uint8_t* TKVVirtualDIBList::GetAlphaBits(TKVVirtualImageInfo* image)
{
    if (!Known(image))
        return nullptr;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image)) {
        TKVBitmap* bitmap = lent->Bitmap.get();
        if (!bitmap->GetHasAlphaChannel() || bitmap->GetHeight() < 1)
            return nullptr;
        KeepInMemory(bitmap->GetAlphaChannel());
        return bitmap->GetAlphaChannel()->GetScanLine(bitmap->GetHeight() - 1);
    }
    if (!MapImage(image))
        return nullptr;
    const TBlockLayout layout = LayoutOf(image->Mapped);
    if (!layout.alpha)
        return nullptr;
    image->Changed = true;
    return image->Mapped + layout.AlphaOffset();
}

const BITMAPINFO* TKVVirtualDIBList::GetImageInfoHeader(TKVVirtualImageInfo* image)
{
    if (!Known(image))
        return nullptr;
    if (TKVVirtualToReleaseBmp* lent = LentFor(image)) {
        FInfo.header = BITMAPINFOHEADER{};
        FInfo.header.biWidth = lent->Bitmap->GetWidth();
        FInfo.header.biHeight = lent->Bitmap->GetHeight();
        FInfo.header.biBitCount = uint16_t(lent->Bitmap->GetBitCount());
        FInfo.colours[1] = RGBQUAD{255, 255, 255, 0};
        return reinterpret_cast<const BITMAPINFO*>(&FInfo);
    }
    return MapImage(image) ? reinterpret_cast<const BITMAPINFO*>(image->Mapped) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Removing

void TKVVirtualDIBList::RemoveImage(TKVVirtualImageInfo* image, bool freeBlock)
{
    if (freeBlock)
        FreeRoom(image->Position, image->MappedLength);
    if (TKVVirtualToReleaseBmp* lent = LentFor(image))
        FreeLent(lent);
    UnMapImage(image);
    const TSlot slot = SlotOf(image);
    slot.Block->Live.reset(slot.Index);
    --FImageCount;
    FFreeSlots.push_back(image);
}

void TKVVirtualDIBList::Delete(TKVVirtualImageInfo* image)
{
    if (!Known(image))
        return;
    RemoveImage(image, true);
    if (FImageCount == 0) {
        // The file starts over: no block of it is free or used any more.
        DropImageBlocks();
        FFreeBlocks.clear();
        FEndOfUsed = 0;
        SetFileSize(FGrowthStep);
    }
}

void TKVVirtualDIBList::PrepareSpaceFor(int32_t width, int32_t height, int32_t bitCount, int32_t count)
{
    if (width < 0 || height < 0 || count <= 0 || !EnsureFile())
        return;
    SetFileSize(FFileSize + int64_t(count) * BlockSize(width, height, bitCount, false));
}

void TKVVirtualDIBList::FreeBits()
{
    FLent.clear();
    FMapped.clear();
    DropImageBlocks();
    FFreeBlocks.clear();
    FFileBuffer->DeAllocate();
    FEndOfUsed = 0;
    FFileSize = kInitialFileSize;
}
