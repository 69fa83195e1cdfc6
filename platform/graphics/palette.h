// Logical palettes: colour tables that a palette handle refers to. A bitmap's own colour table is
// such an object too, so the palette functions read and write a bitmap's colours directly.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics/colors.h"
#include "platform/graphics/gdi_records.h"

struct TPaletteObject
{
    std::vector<PALETTEENTRY> Entries;
    // Set for a bitmap's colour table: DeleteObject refuses it, the bitmap frees it.
    bool OwnedByBitmap = false;
};
using HPALETTE = TPaletteObject*;

// A new palette of the record's entries (palNumEntries of them, at most 65535); the caller frees
// it with DeleteObject. nullptr for a null record.
HPALETTE CreatePalette(const LOGPALETTE* palette);
// A new palette holding the given entries.
HPALETTE CreatePaletteOf(const std::vector<PALETTEENTRY>& entries);
// Copies entries start .. start + count - 1 that exist; returns how many were copied.
uint32_t GetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count, PALETTEENTRY* entries);
// Stores entries start .. start + count - 1 that exist; returns how many were stored.
uint32_t SetPaletteEntries(HPALETTE palette, uint32_t start, uint32_t count, const PALETTEENTRY* entries);
// The index of the entry nearest to the colour (least squared distance, lowest index on a tie);
// 0xFFFFFFFF (CLR_INVALID) for a missing or empty palette.
uint32_t GetNearestPaletteIndex(HPALETTE palette, COLORREF color);
// Frees a palette made by CreatePalette; false for nullptr and for a bitmap's own colour table.
bool DeleteObject(HPALETTE palette);

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
