// The DrawDib services over our raster functions.
#include "imaging/core/draw_dib.h"

#include "platform/graphics/gdi.h"

#include <atomic>
#include <cstdlib>

namespace Daduvudez {

namespace {

std::atomic<HDRAWDIB> gNextSession{1};

const BITMAPINFO* InfoOf(const BITMAPINFOHEADER* header)
{
    return reinterpret_cast<const BITMAPINFO*>(header);
}

} // namespace

HDRAWDIB KVDrawDibOpen()
{
    return gNextSession++;
}

bool KVDrawDibClose(HDRAWDIB handle)
{
    return handle != 0;
}

bool KVDrawDibDraw(HDRAWDIB handle, HDC dc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                   const BITMAPINFOHEADER* header, const void* bits, int32_t xSrc, int32_t ySrc,
                   int32_t dxSrc, int32_t dySrc, uint32_t)
{
    if (handle == 0 || dc == nullptr || header == nullptr || bits == nullptr)
        return false;
    if (dxSrc == -1)
        dxSrc = header->biWidth;
    if (dySrc == -1)
        dySrc = std::abs(header->biHeight);
    if (dxDst == -1)
        dxDst = dxSrc;
    if (dyDst == -1)
        dyDst = dySrc;
    SetStretchBltMode(dc, COLORONCOLOR);
    return StretchDIBits(dc, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, bits, InfoOf(header),
                         DIB_RGB_COLORS, SRCCOPY) > 0;
}

uint32_t KVDrawDibRealize(HDRAWDIB, HDC, bool)
{
    return 0;
}

void DrawDibDrawEmu(HDRAWDIB handle, HDC dc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst,
                    const BITMAPINFOHEADER* header, const void* bits, int32_t xSrc, int32_t ySrc,
                    int32_t dxSrc, int32_t dySrc, uint32_t flags)
{
    if (header == nullptr)
        return;
    if (handle != 0) {
        KVDrawDibDraw(handle, dc, xDst, yDst, dxDst, dyDst, header, bits, xSrc, ySrc, dxSrc, dySrc, flags);
    } else if (header->biBitCount == 24) {
        const HDRAWDIB session = KVDrawDibOpen();
        KVDrawDibDraw(session, dc, xDst, yDst, dxDst, dyDst, header, bits, xSrc, ySrc, dxSrc, dySrc, flags);
        KVDrawDibClose(session);
    } else if (dc != nullptr && bits != nullptr) {
        StretchDIBits(dc, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, bits, InfoOf(header),
                      DIB_RGB_COLORS, SRCCOPY);
    }
}

void DrawDib(HDC dc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, const BITMAPINFOHEADER* header,
             const void* bits, int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc)
{
    if (dc == nullptr || header == nullptr || bits == nullptr)
        return;
    SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, bits, InfoOf(header),
                  DIB_RGB_COLORS, SRCCOPY);
}

} // namespace Daduvudez
