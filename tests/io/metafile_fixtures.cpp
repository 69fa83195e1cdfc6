// Metafiles written by libuemf for the metafile tests.
#include "tests/io/metafile_fixtures.h"

#include <cstdlib>

namespace kviotest {

U_RECTL RectL(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    U_RECTL r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

U_RECT16 Rect16(int16_t left, int16_t top, int16_t right, int16_t bottom)
{
    return U_RECT16_set(point16_set(left, top), point16_set(right, bottom));
}

TEmfFixture::TEmfFixture(const std::string& fileName, int32_t width, int32_t height)
{
    emf_start(fileName.c_str(), 1 << 16, 1 << 16, &FTrack);
    htable_create(64, 64, &FHandles);
    // 960 pixels over 254 millimetres: 96 pixels per inch. The frame is in hundredths of a
    // millimetre; whole pixels need a fraction, which the size rounds away.
    const U_RECTL bounds = RectL(0, 0, width - 1, height - 1);
    const U_RECTL frame =
        RectL(0, 0, int32_t(width * 2540.0 / 96 + 0.5), int32_t(height * 2540.0 / 96 + 0.5));
    Add(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, sizel_set(960, 960), sizel_set(254, 254), 0));
}

TEmfFixture::~TEmfFixture()
{
    if (FTrack != nullptr) {
        emf_free(&FTrack);
    }
    if (FHandles != nullptr) {
        htable_free(&FHandles);
    }
}

void TEmfFixture::Add(char* record)
{
    emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), FTrack, U_REC_FREE);
}

uint32_t TEmfFixture::Pen(uint32_t style, int32_t width, U_COLORREF colour)
{
    uint32_t handle = 0;
    U_POINT size;
    size.x = width;
    size.y = width;
    Add(createpen_set(&handle, FHandles, logpen_set(style, size, colour)));
    return handle;
}

uint32_t TEmfFixture::Brush(uint32_t style, U_COLORREF colour, int32_t hatch)
{
    uint32_t handle = 0;
    Add(createbrushindirect_set(&handle, FHandles, logbrush_set(style, colour, hatch)));
    return handle;
}

void TEmfFixture::Select(uint32_t handle)
{
    Add(selectobject_set(handle, FHandles));
}

void TEmfFixture::Finish()
{
    Add(U_EMREOF_set(0, nullptr, FTrack));
    emf_finish(FTrack, FHandles);
}

TWmfFixture::TWmfFixture(const std::string& fileName, int32_t width, int32_t height)
{
    wmf_start(fileName.c_str(), 1 << 16, 1 << 16, &FTrack);
    wmf_htable_create(64, 64, &FHandles);
    U_PAIRF* size = U_PAIRF_set(float(width) / 96, float(height) / 96);
    wmf_header_append(reinterpret_cast<U_METARECORD*>(U_WMRHEADER_set(size, 96)), FTrack, U_REC_FREE);
    std::free(size);
    // As the programs that write metafiles do: the window is the picture's box.
    Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC));
    Add(U_WMRSETWINDOWORG_set(point16_set(0, 0)));
    Add(U_WMRSETWINDOWEXT_set(point16_set(int16_t(width), int16_t(height))));
}

TWmfFixture::~TWmfFixture()
{
    if (FTrack != nullptr) {
        wmf_free(&FTrack);
    }
    if (FHandles != nullptr) {
        wmf_htable_free(&FHandles);
    }
}

void TWmfFixture::Add(char* record)
{
    wmf_append(reinterpret_cast<U_METARECORD*>(record), FTrack, U_REC_FREE);
}

uint32_t TWmfFixture::Pen(uint16_t style, uint16_t width, U_COLORREF colour)
{
    uint32_t handle = 0;
    Add(wcreatepenindirect_set(&handle, FHandles, U_PEN_set(style, width, colour)));
    return handle;
}

uint32_t TWmfFixture::Brush(uint16_t style, U_COLORREF colour, uint16_t hatch)
{
    uint32_t handle = 0;
    Add(wcreatebrushindirect_set(&handle, FHandles, U_WLOGBRUSH_set(style, colour, hatch)));
    return handle;
}

uint32_t TWmfFixture::Palette(const std::vector<U_COLORREF>& colours)
{
    std::vector<U_PLTNTRY> entries;
    for (U_COLORREF colour : colours) {
        entries.push_back(U_PLTNTRY_set(colour));
    }
    U_PALETTE* palette = U_PLTENTRY_set(0x0300, uint16_t(entries.size()), entries.data());
    uint32_t handle = 0;
    Add(wcreatepalette_set(&handle, FHandles, palette));
    std::free(palette);
    return handle;
}

void TWmfFixture::Select(uint32_t handle)
{
    Add(wselectobject_set(handle, FHandles));
}

void TWmfFixture::Finish()
{
    Add(U_WMREOF_set());
    wmf_finish(FTrack);
}

} // namespace kviotest
