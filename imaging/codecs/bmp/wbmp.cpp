// Wireless bitmaps (WBMP type 0): bilevel rows, 1 white, read into and written from kv1g.
#include "imaging/codecs/bmp/bmpfilt.h"

#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/params/one_bit_source.h"
#include "imaging/core/daduvudez.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace Bmpfilt {

namespace {

// Width and height are multi-byte integers: 7 bits a byte, most significant first, the top bit
// set on every byte but the last.
bool ReadMultiByte(const uint8_t* data, int64_t length, int64_t& position, int64_t& value)
{
    value = 0;
    for (int i = 0; i < 5 && position < length; ++i) {
        const uint8_t byte = data[position++];
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

void WriteMultiByte(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t bytes[5];
    int count = 0;
    do {
        bytes[count++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out.push_back(uint8_t(bytes[--count] | 0x80));
    }
    out.push_back(bytes[0]);
}

int64_t RowBytes(int64_t width)
{
    return (width + 7) / 8;
}

struct TWbmpHeader
{
    int64_t Width = 0;
    int64_t Height = 0;
    int64_t Length = 0; // header bytes
};

// The standard form first; files whose sizes were written as single bytes (widths and heights
// of 128 and more read otherwise as different numbers) are taken in that form only when it
// matches the data the stream holds exactly: a standard file cut short often fits it.
bool ParseHeader(const uint8_t* head, int64_t headLength, int64_t available, TWbmpHeader& header)
{
    if (headLength < 4 || head[0] != 0 || head[1] != 0) {
        return false;
    }
    int64_t position = 2;
    TWbmpHeader multi;
    const bool multiOk = ReadMultiByte(head, headLength, position, multi.Width) &&
                         ReadMultiByte(head, headLength, position, multi.Height);
    multi.Length = position;
    // Five bytes hold up to 35 bits: a size past 32 bits is no picture, and would overflow the
    // products below.
    auto sized = [](const TWbmpHeader& h) {
        return h.Width > 0 && h.Height > 0 && h.Width <= INT32_MAX && h.Height <= INT32_MAX;
    };
    auto bytes = [](const TWbmpHeader& h) { return h.Length + h.Height * RowBytes(h.Width); };
    const TWbmpHeader single{head[2], head[3], 4};
    if (multiOk && sized(multi) && bytes(multi) <= available) {
        header = multi;
    } else if (sized(single) && bytes(single) == available) {
        header = single;
    } else if (multiOk) {
        header = multi; // cut short: the rows there are
    } else {
        return false;
    }
    return sized(header);
}

} // namespace

void WBMPReadStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                    bool ParamsOnly)
{
    const int64_t start = Stream.Position();
    const int64_t available = std::max<int64_t>(Stream.Size() - start, 0);
    uint8_t head[12] = {};
    const int64_t headLength = std::max<int64_t>(Stream.Read(head, sizeof head), 0);
    TWbmpHeader header;
    if (!ParseHeader(head, headLength, available, header)) {
        Stream.SetPosition(start);
        CodecSetAborting(Progress);
        return;
    }
    Stream.SetPosition(start + header.Length);
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
    Params.Width = int32_t(header.Width);
    Params.Height = int32_t(header.Height);
    Params.DpiX = Kvview::gSystemDPIX;
    Params.DpiY = Kvview::gSystemDPIY;
    Params.FreeColorMap();
    if (ParamsOnly) {
        return;
    }
    // Memory follows the data: without a whole first row there is no picture, and the bitmap
    // stays as it was.
    if (header.Width * header.Height > KVCodecMaxPixels ||
        available - header.Length < RowBytes(header.Width)) {
        CodecSetAborting(Progress);
        return;
    }
    const int32_t height = int32_t(header.Height);
    Bitmap.Allocate(int32_t(header.Width), height, kv1g);
    const int64_t rowBytes = RowBytes(header.Width);
    const double step = 100.0 / height;
    // A new bitmap is clear: the rows past the end of the data are left as they are, so that a
    // header of a few bytes costs no work for each row it promises.
    for (int32_t y = 0; y < height && !CodecAborted(Progress); ++y) {
        if (Stream.Read(Bitmap.GetScanLine(y), rowBytes) < rowBytes) {
            CodecSetAborting(Progress);
            return;
        }
        if (Progress.OnProgress) {
            Progress.OnProgress(Progress.Sender, int32_t(y * step));
        }
    }
}

void WBMPWriteStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals&, TProgressRec& Progress)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    if (Bitmap.GetWidth() <= 0 || Bitmap.GetHeight() <= 0) {
        aborting = true;
        return;
    }
    std::unique_ptr<TKVBitmap> copy;
    TKVBitmap* image = &Bitmap;
    if (Bitmap.GetPixelFormat() != kv1g) {
        copy = std::make_unique<TKVBitmap>();
        copy->Assign(&Bitmap);
        copy->ConvertToPixelFormat(kv1g);
        image = copy.get();
    }
    // Sizes of 128 and more take several bytes of the multi-byte form, so every picture is
    // written whole.
    std::vector<uint8_t> header = {0, 0};
    WriteMultiByte(header, uint32_t(image->GetWidth()));
    WriteMultiByte(header, uint32_t(image->GetHeight()));
    Daduvudez::SafeStreamWrite(&Stream, aborting, header.data(), int64_t(header.size()));
    const int32_t rows = image->GetHeight();
    const int64_t rowBytes = RowBytes(image->GetWidth());
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    const double step = 100.0 / rows;
    for (int32_t y = 0; y < rows && !aborting; ++y) {
        std::memcpy(row.data(), image->GetScanLine(y), row.size());
        ClearPadBits(row.data(), image->GetWidth());
        Daduvudez::SafeStreamWrite(&Stream, aborting, row.data(), rowBytes);
        if (Progress.OnProgress) {
            Progress.OnProgress(Progress.Sender, int32_t(y * step));
        }
    }
}

} // namespace Bmpfilt
