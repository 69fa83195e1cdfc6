// TKVBitmap storage: allocation in memory, in a temporary file or in a class-library bitmap,
// row access, location changes and the alpha channel.
#include "imaging/core/kvbitmap.h"

#include "imaging/core/bit_utils.h"
#include "imaging/core/detail/pixel_access.h"
#include "imaging/core/detail/pixel_memory.h"
#include "imaging/core/file_utils.h"
#include "platform/core/exceptions.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <new>

namespace Daduvudez {

int32_t KVDefMinFileSize = -1;

} // namespace Daduvudez

namespace {

constexpr int32_t kFallbackMinFileSize = 0x2000000;

// A bitmap is made for every frame and every thumbnail, and reading the kernel's memory figures
// costs more than making a small one; they hardly move within a fraction of a second.
int64_t RecentFreeMemory()
{
    using Clock = std::chrono::steady_clock;
    constexpr int64_t kFreshTicks =
        std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(200)).count();
    static std::atomic<int64_t> readAt{0};
    static std::atomic<int64_t> freeBytes{0};
    const int64_t now = Clock::now().time_since_epoch().count();
    const int64_t last = readAt.load(std::memory_order_acquire);
    if (last == 0 || now - last >= kFreshTicks) {
        freeBytes.store(Daduvudez::KVGetFreeMemory(), std::memory_order_relaxed);
        readAt.store(now, std::memory_order_release);
    }
    return freeBytes.load(std::memory_order_relaxed);
}

int32_t DefaultMinFileSize()
{
    if (Daduvudez::KVDefMinFileSize != -1)
        return Daduvudez::KVDefMinFileSize;
    const int64_t half = RecentFreeMemory() / 2;
    if (half <= 0)
        return kFallbackMinFileSize;
    return static_cast<int32_t>(std::min<int64_t>(half, INT32_MAX));
}

using Daduvudez::detail::MaxMemoryBlock;

[[noreturn]] void RaiseTooLarge()
{
    throw EOutOfMemory("Out of memory: the image is too large to be held");
}

} // namespace

int32_t KVPixelFormatBits(TKVPixelFormat format)
{
    switch (format) {
    case kv1g:
        return 1;
    case kv8p:
    case kv8g:
        return 8;
    case kv16g:
        return 16;
    case kv24RGB:
        return 24;
    case kv32f:
        return 32;
    default:
        return 0;
    }
}

TKVBitmap::TKVBitmap() : FFileBuffer(std::make_unique<TKVFileBuffer>())
{
    MinFileSize = DefaultMinFileSize();
}

TKVBitmap::TKVBitmap(TWithMinFileSize minFileSize) : FFileBuffer(std::make_unique<TKVFileBuffer>())
{
    MinFileSize = minFileSize.value;
}

TKVBitmap::TKVBitmap(int32_t width, int32_t height, TKVLocation location) : TKVBitmap()
{
    FIsAlpha = true;
    FLocation = location == kvTBitmap ? kvMemory : location;
    Allocate(width, height, kv8g);
    Fill(255);
}

TKVBitmap::~TKVBitmap()
{
    FreeImage();
}

// ---------------------------------------------------------------------------------------------
// Allocation

void TKVBitmap::SetFormatFields(TKVPixelFormat format)
{
    FPixelFormat = format;
    FBitCount = KVPixelFormatBits(format);
    const int64_t rowLen = Daduvudez::_BitmapRowLen(FWidth, FBitCount);
    if (rowLen > INT32_MAX)
        RaiseTooLarge();
    FRowLen = static_cast<int32_t>(rowLen);
}

void TKVBitmap::Allocate(int32_t width, int32_t height, TKVPixelFormat format)
{
    if (!FBitmapEncapsulated)
        FreeImage();
    FWidth = width;
    FHeight = height;
    FPixelFormat = format;
    AllocateImage();
}

void TKVBitmap::AllocateImage()
{
    if (FWidth <= 0 || FHeight <= 0 || FPixelFormat == kvnull)
        return;
    try {
        SetFormatFields(FPixelFormat);
        if (FPixelFormat == kv8p) {
            FPalette.reset(new TRGB[256]);
            FPaletteCount = 256;
        }
        const int64_t size = int64_t(FRowLen) * FHeight;
        FLocation = LocationForSize(size);
        switch (FLocation) {
        case kvFile:
            AllocateInFile(size);
            break;
        case kvMemory:
            AllocateInMemory(size);
            break;
        case kvTBitmap:
            AllocateInTBitmap(size);
            break;
        }
    } catch (...) {
        FreeImage();
        throw;
    }
    Full = false;
}

// kvFile and kvMemory as requested, unless the byte size is on the other side of MinFileSize.
TKVLocation TKVBitmap::LocationForSize(int64_t size) const
{
    if (FLocation == kvFile && int64_t(MinFileSize) > size)
        return kvMemory;
    if (FLocation == kvMemory && int64_t(MinFileSize) < size)
        return kvFile;
    return FLocation;
}

void TKVBitmap::AllocateInFile(int64_t size)
{
    if (FFileBuffer->AllocateFile("", size))
        return;
    FLocation = kvMemory;
    AllocateInMemory(size);
}

void TKVBitmap::AllocateInMemory(int64_t size)
{
    FOwnedMemory = Daduvudez::detail::AllocatePixelBlock(size);
    if (!FOwnedMemory)
        RaiseTooLarge();
    FMemory = FOwnedMemory.get();
    FMemoryEncapsulated = false;
}

void TKVBitmap::AllocateInTBitmap(int64_t size)
{
    if (FPixelFormat == kv32f)
        throw Exception("kv32f pixel format not allowed when Location=kvTBitmap");
    if (FPixelFormat == kv16g)
        SetFormatFields(kv8g);
    size = int64_t(FRowLen) * FHeight;
    if (size > kMaxBitmapBytes || size > MaxMemoryBlock())
        RaiseTooLarge();
    EnsureVclBitmap();
    FVclBitmap->SetSize(1, 1);
    switch (FPixelFormat) {
    case kv1g:
        FVclBitmap->SetPixelFormat(pf1bit);
        break;
    case kv24RGB:
        FVclBitmap->SetPixelFormat(pf24bit);
        break;
    default:
        FVclBitmap->SetPixelFormat(pf8bit);
        break;
    }
    FVclBitmap->SetSize(FWidth, FHeight);
    if (FPixelFormat == kv8g) {
        const std::vector<PALETTEENTRY> ramp = Daduvudez::detail::GreyRamp();
        SetPaletteEntries(FVclBitmap->Palette(), 0, 256, ramp.data());
    }
    BuildBitmapScanlines();
}

void TKVBitmap::ClearStorage()
{
    FCurrentFileRow = nullptr;
    FHeldRows.clear();
    FFileBuffer->DeAllocate();
    FOwnedMemory.reset();
    FMemory = nullptr;
    FRowTable.clear();
    FOwnedVclBitmap.reset();
    FVclBitmap = nullptr;
    FBitmapEncapsulated = false;
    FMemoryEncapsulated = false;
}

void TKVBitmap::FreeImage()
{
    FAlphaChannel.reset();
    FPalette.reset();
    FPaletteCount = 0;
    ClearStorage();
    FWidth = FHeight = FRowLen = FBitCount = 0;
    Full = false;
}

void TKVBitmap::EncapsulateTBitmap(TBitmap* bitmap, bool freeOld)
{
    if (freeOld)
        FreeImage();
    if (bitmap == nullptr)
        return;
    // Pixels of some other storage would be orphaned by the wrap; the alpha channel stays.
    if (FVclBitmap != bitmap || !FBitmapEncapsulated)
        ClearStorage();
    FLocation = kvTBitmap;
    FVclBitmap = bitmap;
    FBitmapEncapsulated = true;
    AdoptVclBitmap();
}

// Size, pixel format and row table from the class-library bitmap.
void TKVBitmap::AdoptVclBitmap()
{
    FWidth = FVclBitmap->Width();
    FHeight = FVclBitmap->Height();
    TKVPixelFormat format = FPixelFormat;
    switch (FVclBitmap->PixelFormat()) {
    case pf1bit:
        format = kv1g;
        break;
    case pf24bit:
        format = kv24RGB;
        break;
    case pf8bit:
        format = FPixelFormat == kv8g ? kv8g : kv8p;
        break;
    default:
        // No pixel format of ours has these rows: wrap nothing readable rather than misread them.
        if (KVPixelFormatBits(format) != FVclBitmap->BitCount())
            format = kvnull;
        break;
    }
    SetFormatFields(format);
    if (format == kv8p) {
        if (!FPalette)
            FPalette.reset(new TRGB[256]());
        FPaletteCount = 256;
        PALETTEENTRY entries[256] = {};
        const uint32_t count = GetPaletteEntries(FVclBitmap->Palette(), 0, 256, entries);
        for (uint32_t i = 0; i < 256; ++i)
            FPalette[i] = i < count ? TRGB{entries[i].peBlue, entries[i].peGreen, entries[i].peRed} : TRGB{};
    }
    BuildBitmapScanlines();
}

void TKVBitmap::EncapsulateMemory(void* memory, int32_t width, int32_t height, TKVPixelFormat format,
                                  bool freeOld)
{
    if (freeOld)
        FreeImage();
    if (memory == nullptr)
        return;
    ClearStorage();
    FWidth = width;
    FHeight = height;
    SetFormatFields(format);
    if (format == kv8p && !FPalette) {
        FPalette.reset(new TRGB[256]());
        FPaletteCount = 256;
    }
    FLocation = kvMemory;
    FMemory = static_cast<uint8_t*>(memory);
    FMemoryEncapsulated = true;
}

void TKVBitmap::TakeStorageFrom(TKVBitmap& source)
{
    FFileBuffer = std::move(source.FFileBuffer);
    source.FFileBuffer = std::make_unique<TKVFileBuffer>();
    FWidth = source.FWidth;
    FHeight = source.FHeight;
    FBitCount = source.FBitCount;
    FCurrentFileRow = source.FCurrentFileRow;
    FRowLen = source.FRowLen;
    FPixelFormat = source.FPixelFormat;
    FPalette = std::move(source.FPalette);
    FPaletteCount = source.FPaletteCount;
    FAlphaChannel = std::move(source.FAlphaChannel);
    FMemory = source.FMemory;
    FOwnedMemory = std::move(source.FOwnedMemory);
    FVclBitmap = source.FVclBitmap;
    FOwnedVclBitmap = std::move(source.FOwnedVclBitmap);
    FRowTable = std::move(source.FRowTable);
    FLocation = source.FLocation;
    Full = source.Full;
    FBitmapEncapsulated = source.FBitmapEncapsulated;
    FMemoryEncapsulated = source.FMemoryEncapsulated;
    FHeldRows = std::move(source.FHeldRows);
    DitherMethod = source.DitherMethod;

    source.FWidth = source.FHeight = source.FBitCount = source.FRowLen = source.FPaletteCount = 0;
    source.FCurrentFileRow = nullptr;
    source.FPixelFormat = kvnull;
    source.FMemory = nullptr;
    source.FVclBitmap = nullptr;
    source.FRowTable.clear();
    source.FHeldRows.clear();
    source.Full = false;
    source.FBitmapEncapsulated = source.FMemoryEncapsulated = false;
}

void TKVBitmap::SwitchTo(TKVBitmap* destination)
{
    if (destination == nullptr || destination == this)
        return;
    destination->FreeImage();
    destination->TakeStorageFrom(*this);
    FLocation = destination->FLocation;
}

// Every operation that rebuilds the storage moves the old one aside first; when the rebuild
// fails the old storage comes back, so nothing is lost.
void TKVBitmap::RebuildStorage(const std::function<void(TKVBitmap& old)>& rebuild)
{
    std::unique_ptr<TKVBitmap> old(new TKVBitmap(TWithMinFileSize{MinFileSize}));
    SwitchTo(old.get());
    try {
        rebuild(*old);
    } catch (...) {
        if (!old->FAlphaChannel)
            old->FAlphaChannel = std::move(FAlphaChannel);
        FreeImage();
        TakeStorageFrom(*old);
        throw;
    }
}

void TKVBitmap::SetLocation(TKVLocation location)
{
    if (location == FLocation)
        return;
    const bool hasPixels = FWidth > 0 && FHeight > 0 && FPixelFormat != kvnull;
    if (location == kvTBitmap && FPixelFormat == kv32f && hasPixels)
        throw Exception("kv32f pixel format not allowed when Location=kvTBitmap");
    RebuildStorage([&](TKVBitmap& old) {
        FLocation = location;
        FWidth = old.FWidth;
        FHeight = old.FHeight;
        FPixelFormat = old.FPixelFormat;
        AllocateImage();
        if (hasPixels)
            ConvertRows(old);
        for (int32_t i = 0; i < std::min(FPaletteCount, old.FPaletteCount); ++i)
            FPalette[i] = old.FPalette[i];
        UpdateTBitmapPalette();
        FAlphaChannel = std::move(old.FAlphaChannel);
        Full = old.Full;
        DitherMethod = old.DitherMethod;
    });
}

// The class-library bitmap of the kvTBitmap location, made when there is none yet.
TBitmap* TKVBitmap::EnsureVclBitmap()
{
    if (FVclBitmap == nullptr) {
        FOwnedVclBitmap = std::make_unique<TBitmap>();
        FVclBitmap = FOwnedVclBitmap.get();
    }
    return FVclBitmap;
}

TBitmap* TKVBitmap::GetVclBitmap()
{
    SetLocation(kvTBitmap);
    return EnsureVclBitmap();
}

TCanvas* TKVBitmap::GetCanvas()
{
    return GetVclBitmap()->Canvas();
}

// ---------------------------------------------------------------------------------------------
// Rows

uint8_t* TKVBitmap::GetScanLine(int32_t row)
{
    if (row < 0 || row >= FHeight)
        return nullptr;
    switch (FLocation) {
    case kvMemory:
        return FMemory != nullptr ? FMemory + int64_t(FHeight - row - 1) * FRowLen : nullptr;
    case kvFile: {
        if (!FFileBuffer->IsAllocated())
            return nullptr;
        ReleaseCurrentFileRow();
        // A row held through GetRow is the one copy of it in memory: reading the file would miss
        // what was written there.
        for (auto held = FHeldRows.rbegin(); held != FHeldRows.rend(); ++held)
            if (held->row == row)
                return held->buffer;
        FCurrentFileRow = FFileBuffer->Map(int64_t(row) * FRowLen, FRowLen, Access);
        return FCurrentFileRow;
    }
    case kvTBitmap:
        return size_t(row) < FRowTable.size() ? FRowTable[row] : nullptr;
    }
    return nullptr;
}

void TKVBitmap::ReleaseCurrentFileRow()
{
    if (FCurrentFileRow == nullptr)
        return;
    uint8_t* previous = FCurrentFileRow;
    FCurrentFileRow = nullptr;
    FFileBuffer->UnMap(previous);
}

uint8_t* TKVBitmap::GetRow(int32_t row)
{
    if (FLocation != kvFile)
        return GetScanLine(row);
    if (row < 0 || row >= FHeight || !FFileBuffer->IsAllocated())
        return nullptr;
    // Pending writes of the current row must be in the file before the row is read again.
    ReleaseCurrentFileRow();
    FHeldRows.reserve(FHeldRows.size() + 1);
    uint8_t* buffer = FFileBuffer->Map(int64_t(row) * FRowLen, FRowLen, Access);
    FHeldRows.push_back(THeldRow{row, buffer});
    return buffer;
}

void TKVBitmap::FreeRow(int32_t row)
{
    if (FLocation != kvFile)
        return;
    for (auto held = FHeldRows.rbegin(); held != FHeldRows.rend(); ++held) {
        if (held->row != row)
            continue;
        uint8_t* buffer = held->buffer;
        FHeldRows.erase(std::next(held).base());
        FFileBuffer->UnMap(buffer);
        return;
    }
}

void TKVBitmap::FreeAllMaps()
{
    if (!FFileBuffer->IsAllocated()) {
        FCurrentFileRow = nullptr;
        FHeldRows.clear();
        return;
    }
    ReleaseCurrentFileRow();
    FHeldRows.clear();
    FFileBuffer->UnMapAll();
}

void TKVBitmap::BuildBitmapScanlines()
{
    FreeBitmapScanlines();
    if (FVclBitmap == nullptr)
        return;
    const int32_t height = FVclBitmap->Height();
    FRowTable.resize(size_t(std::max(height, 0)));
    for (int32_t y = 0; y < height; ++y)
        FRowTable[y] = FVclBitmap->ScanLine(y);
}

void TKVBitmap::FreeBitmapScanlines()
{
    FRowTable.clear();
    FRowTable.shrink_to_fit();
}

// ---------------------------------------------------------------------------------------------
// Alpha channel

TKVBitmap* TKVBitmap::GetAlphaChannel()
{
    if (FIsAlpha)
        return nullptr;
    if (!FAlphaChannel)
        FAlphaChannel = std::make_unique<TKVBitmap>(FWidth, FHeight, FLocation);
    return FAlphaChannel.get();
}

void TKVBitmap::RemoveAlphaChannel()
{
    FAlphaChannel.reset();
}

uint8_t TKVBitmap::GetAlpha(int32_t x, int32_t y)
{
    TKVBitmap* alpha = GetAlphaChannel();
    return alpha != nullptr ? alpha->GetPixels_kv8(x, y) : 255;
}

void TKVBitmap::SetAlpha(int32_t x, int32_t y, uint8_t value)
{
    TKVBitmap* alpha = GetAlphaChannel();
    if (alpha == nullptr)
        return;
    alpha->SetPixels_kv8(x, y, value);
    if (value < 255)
        Full = false;
}

// ---------------------------------------------------------------------------------------------
// Palette

TRGB TKVBitmap::GetPalette(int32_t index) const
{
    if (index < 0 || index >= FPaletteCount || !FPalette)
        return TRGB{};
    return FPalette[index];
}

void TKVBitmap::SetPalette(int32_t index, const TRGB& colour)
{
    if (index < 0 || index >= FPaletteCount || !FPalette)
        return;
    FPalette[index] = colour;
    UpdateTBitmapPalette();
}

void TKVBitmap::UpdateTBitmapPalette()
{
    if (FLocation != kvTBitmap || FPaletteCount < 1 || !FPalette || FVclBitmap == nullptr)
        return;
    std::vector<PALETTEENTRY> entries(static_cast<size_t>(FPaletteCount));
    for (int32_t i = 0; i < FPaletteCount; ++i)
        entries[i] = PALETTEENTRY{FPalette[i].r, FPalette[i].g, FPalette[i].b, 0};
    SetPaletteEntries(FVclBitmap->Palette(), 0, uint32_t(FPaletteCount), entries.data());
}
