// Metafiles written by libuemf for the metafile tests: an EMF or WMF writer that takes records
// one by one and keeps the object handles.
#pragma once

#include <uemf.h>
#include <uwmf.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kviotest {

// An EMF on a reference device of 96 pixels per inch, whose frame is width x height pixels.
class TEmfFixture
{
public:
    TEmfFixture(const std::string& fileName, int32_t width, int32_t height);
    ~TEmfFixture();
    TEmfFixture(const TEmfFixture&) = delete;
    TEmfFixture& operator=(const TEmfFixture&) = delete;

    // Appends a record made by a U_EMR*_set call (and frees it).
    void Add(char* record);
    uint32_t Pen(uint32_t style, int32_t width, U_COLORREF colour);
    uint32_t Brush(uint32_t style, U_COLORREF colour, int32_t hatch = 0);
    void Select(uint32_t handle);
    // Writes the file.
    void Finish();

private:
    EMFTRACK* FTrack = nullptr;
    EMFHANDLES* FHandles = nullptr;
};

// A WMF with a placeable header of 96 units per inch and a box of width x height units, which is
// also the window it sets.
class TWmfFixture
{
public:
    TWmfFixture(const std::string& fileName, int32_t width, int32_t height);
    ~TWmfFixture();
    TWmfFixture(const TWmfFixture&) = delete;
    TWmfFixture& operator=(const TWmfFixture&) = delete;

    void Add(char* record);
    uint32_t Pen(uint16_t style, uint16_t width, U_COLORREF colour);
    uint32_t Brush(uint16_t style, U_COLORREF colour, uint16_t hatch = 0);
    // A palette of the colours, as palette entries of flags, blue, green, red.
    uint32_t Palette(const std::vector<U_COLORREF>& colours);
    void Select(uint32_t handle);
    void Finish();

private:
    WMFTRACK* FTrack = nullptr;
    WMFHANDLES* FHandles = nullptr;
};

U_RECTL RectL(int32_t left, int32_t top, int32_t right, int32_t bottom);
U_RECT16 Rect16(int16_t left, int16_t top, int16_t right, int16_t bottom);

} // namespace kviotest
