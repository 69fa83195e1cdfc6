// Logical palettes over vectors of entries.
#include "platform/graphics/palette.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/graphics/detail/pixels.h"

HPALETTE CreatePalette(const LOGPALETTE* palette)
{
    if (!palette) {
        return nullptr;
    }
    auto* result = new TPaletteObject;
    // palPalEntry is the first of palNumEntries entries laid out past the record's end.
    const auto* first = reinterpret_cast<const uint8_t*>(palette) + offsetof(LOGPALETTE, palPalEntry);
    result->Entries.resize(palette->palNumEntries);
    for (size_t i = 0; i < result->Entries.size(); ++i) {
        std::memcpy(&result->Entries[i], first + i * sizeof(PALETTEENTRY), sizeof(PALETTEENTRY));
    }
    return result;
}

HPALETTE CreatePaletteOf(const std::vector<PALETTEENTRY>& entries)
{
    auto* result = new TPaletteObject;
    result->Entries = entries;
    return result;
}

uint32_t GetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count, PALETTEENTRY* entries)
{
    if (!palette || !entries || start >= palette->Entries.size()) {
        return 0;
    }
    const uint32_t n = std::min<uint32_t>(count, uint32_t(palette->Entries.size()) - start);
    std::copy_n(palette->Entries.begin() + start, n, entries);
    return n;
}

uint32_t SetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count, const PALETTEENTRY* entries)
{
    if (!palette || !entries || start >= palette->Entries.size()) {
        return 0;
    }
    const uint32_t n = std::min<uint32_t>(count, uint32_t(palette->Entries.size()) - start);
    std::copy_n(entries, n, palette->Entries.begin() + start);
    return n;
}

uint32_t GetNearestPaletteIndex(HPALETTE palette, COLORREF color)
{
    if (!palette || palette->Entries.empty()) {
        return CLR_INVALID;
    }
    return uint32_t(GraphicsDetail::NearestPaletteIndex(palette->Entries.data(),
                                                        int32_t(palette->Entries.size()), color));
}

bool DeleteObject(HPALETTE palette)
{
    if (!palette || palette->OwnedByBitmap) {
        return false;
    }
    delete palette;
    return true;
}
