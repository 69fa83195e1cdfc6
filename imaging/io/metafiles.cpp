// Metafiles in the I/O component: a WMF or EMF file rendered into the working bitmap at a size
// worked out from the request and the picture's own, or drawn over it.
#include "imaging/core/daduvudez.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvview.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/strings.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/metafile.h"

#include <algorithm>
#include <cstring>

using namespace Korvaneio::detail;

namespace {

// The longer side of a rendered metafile.
constexpr int32_t MaxMetafileSide = 2800;

// The colour a second rendering starts from to find what the picture leaves undrawn.
constexpr TColor TransparencyKey = 0x010203;

// The size to render at; false when it comes out empty.
bool MetafileSize(const TMetafile& metafile, int32_t width, int32_t height, int32_t& outWidth,
                  int32_t& outHeight)
{
    const int64_t ownWidth = metafile.Width(), ownHeight = metafile.Height();
    int64_t w = width, h = height;
    if (width < 0 && height < 0) {
        w = ownWidth;
        h = ownHeight;
    } else if (width < 0) {
        if (ownHeight <= 0) {
            return false;
        }
        w = ownWidth * height / ownHeight;
    } else if (height < 0) {
        if (ownWidth <= 0) {
            return false;
        }
        h = ownHeight * width / ownWidth;
    }
    if (w <= 0 || h <= 0) {
        return false;
    }
    if (w > MaxMetafileSide || h > MaxMetafileSide) {
        if (w >= h) {
            h = h * MaxMetafileSide / w;
            w = MaxMetafileSide;
        } else {
            w = w * MaxMetafileSide / h;
            h = MaxMetafileSide;
        }
    }
    outWidth = int32_t(w);
    outHeight = int32_t(h);
    return outWidth > 0 && outHeight > 0;
}

// Loads the file; a file that is not a metafile is an empty one. Opening errors pass on.
void LoadMetafile(TMetafile& metafile, const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    try {
        metafile.LoadFromStream(stream);
    } catch (const EInvalidGraphic&) {
        metafile.Assign(nullptr);
    }
}

// Loads the file and sizes its picture for the asked width and height; false, with Aborting
// set, when there is no picture to draw. Opening errors pass on, with Aborting set.
bool LoadSizedMetafile(TMetafile& metafile, const std::string& fileName, int32_t Width, int32_t Height,
                       int32_t& width, int32_t& height, bool& Aborting)
{
    try {
        LoadMetafile(metafile, fileName);
    } catch (...) {
        Aborting = true;
        throw;
    }
    Aborting = metafile.Empty() || !MetafileSize(metafile, Width, Height, width, height);
    return !Aborting;
}

void Render(TMetafile& metafile, TKVDibbitmap& dib, TColor background)
{
    TCanvas* canvas = dib.Canvas();
    canvas->Brush()->SetColor(background);
    canvas->Brush()->SetStyle(bsSolid);
    canvas->FillRect(Rect(0, 0, dib.GetWidth(), dib.GetHeight()));
    canvas->StretchDraw(Rect(0, 0, dib.GetWidth(), dib.GetHeight()), &metafile);
}

} // namespace

void TKorvaneIO::ImportMetafile(const std::string& FileName, int32_t Width, int32_t Height, bool WithAlpha)
{
    if (MustRunAsync()) {
        new TKVIOThread(
            this,
            TKVIOMethodType_ImportMetaFile([this](const std::string& nf, int32_t w, int32_t h, bool alpha) {
                ImportMetafile(nf, w, h, alpha);
            }),
            FileName, Width, Height, WithAlpha);
        return;
    }
    RunOperation([&] {
        Aborting = false;
        if (Width == 0 || Height == 0 || FKVBitmap == nullptr) {
            return;
        }
        Reencapsulate();
        FParams->ResetInfo();
        TMetafile metafile;
        int32_t width = 0, height = 0;
        if (!LoadSizedMetafile(metafile, FileName, Width, Height, width, height, Aborting)) {
            return;
        }
        TKVDibbitmap dib;
        dib.AllocateBits(uint32_t(width), uint32_t(height), 24);
        FParams->FileName = FileName;
        FParams->FileType = metafile.Enhanced() ? fmtEMF : fmtWMF;
        FParams->BitsPerSample = 8;
        FParams->SamplesPerPixel = 3;
        FParams->Width = width;
        FParams->Height = height;
        FParams->DpiX = Kvview::gSystemDPIX;
        FParams->DpiY = Kvview::gSystemDPIY;
        FParams->ColorMap.reset();
        FParams->ColorMapCount = 0;
        if (FAttachedKorvane != nullptr) {
            FAttachedKorvane->SetDPI(FParams->DpiX, FParams->DpiY);
        }
        Render(metafile, dib, GetReBackground());
        FKVBitmap->RemoveAlphaChannel();
        FKVBitmap->CopyFromTDibBitmap(&dib);
        if (WithAlpha) {
            // Drawn aliased, the picture leaves the key colour exactly where it draws nothing.
            Render(metafile, dib, TransparencyKey);
            TKVBitmap* alpha = FKVBitmap->GetAlphaChannel();
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* row = dib.GetScanLine(y);
                uint8_t* alphaRow = alpha->GetScanLine(y);
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t* p = row + x * 3;
                    alphaRow[x] = (p[0] == 1 && p[1] == 2 && p[2] == 3) ? 0 : 255;
                }
            }
            alpha->SyncFull();
        }
        Update();
    });
}

void TKorvaneIO::MergeMetafile(const std::string& FileName, int32_t x, int32_t y, int32_t Width,
                               int32_t Height)
{
    RunOperation([&] {
        Aborting = false;
        if (Width == 0 || Height == 0 || FKVBitmap == nullptr) {
            return;
        }
        Reencapsulate();
        TMetafile metafile;
        int32_t width = 0, height = 0;
        if (!LoadSizedMetafile(metafile, FileName, Width, Height, width, height, Aborting)) {
            return;
        }
        if (FKVBitmap->GetPixelFormat() != kv24RGB) {
            FKVBitmap->SetPixelFormat(kv24RGB);
        }
        // The picture's rectangle under the metafile, drawn over and put back, clipped to the
        // picture on every side.
        const int32_t left = std::max(x, 0), top = std::max(y, 0);
        const int32_t right = int32_t(std::min<int64_t>(int64_t(x) + width, FKVBitmap->GetWidth()));
        const int32_t bottom = int32_t(std::min<int64_t>(int64_t(y) + height, FKVBitmap->GetHeight()));
        if (left >= right || top >= bottom) {
            Update();
            return;
        }
        TKVDibbitmap dib;
        dib.AllocateBits(uint32_t(right - left), uint32_t(bottom - top), 24);
        for (int32_t row = top; row < bottom; ++row) {
            std::memcpy(dib.GetScanLine(row - top), FKVBitmap->GetScanLine(row) + int64_t(left) * 3,
                        size_t(right - left) * 3);
        }
        dib.Canvas()->StretchDraw(Bounds(x - left, y - top, width, height), &metafile);
        for (int32_t row = top; row < bottom; ++row) {
            std::memcpy(FKVBitmap->GetScanLine(row) + int64_t(left) * 3, dib.GetScanLine(row - top),
                        size_t(right - left) * 3);
        }
        Update();
    });
}
