// TGraphic's shared behaviour and the TBitmap raster: storage, resizing, format conversion,
// palettes, copies and the exchange with BMP streams and the clipboard.
#include "platform/graphics/bitmap.h"

#include "platform/core/detail/whole_file.h"

#include <algorithm>
#include <cstring>

#include "platform/core/streams.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/detail/pixels.h"
#include "platform/graphics/dib.h"
#include "platform/graphics/gdi.h"

using namespace GraphicsDetail;

// ---- TGraphic ----

void TGraphic::LoadFromClipboardFormat(uint16_t AFormat, HGLOBAL AData, HPALETTE APalette)
{
    (void)AFormat;
    (void)AData;
    (void)APalette;
    throw EInvalidGraphic("Unsupported clipboard format");
}

void TGraphic::SaveToClipboardFormat(uint16_t& AFormat, HGLOBAL& AData, HPALETTE& APalette)
{
    (void)AFormat;
    (void)AData;
    (void)APalette;
    throw EInvalidGraphicOperation("This picture cannot be copied to the clipboard");
}

void TGraphic::ReadData(TStream& Stream)
{
    LoadFromStream(Stream);
}

void TGraphic::WriteData(TStream& Stream)
{
    SaveToStream(Stream);
}

void TGraphic::LoadFromFile(const std::string& FileName)
{
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& FileName)
{
    // Written whole beside the file and renamed over it, so that a failed save leaves the file
    // as it was.
    TMemoryStream stream;
    SaveToStream(stream);
    const std::string content(static_cast<const char*>(stream.Memory()), size_t(stream.Size()));
    if (!kvcore_detail::WriteWholeFile(FileName, content, 0644))
        throw EFCreateError("Cannot create file \"" + FileName + "\"");
}

void TGraphic::SetModified(bool Value)
{
    if (Value) {
        Changed(this);
    } else {
        FModified = false;
    }
}

void TGraphic::Changed(TObject* Sender)
{
    (void)Sender;
    FModified = true;
    if (OnChange) {
        OnChange(this);
    }
}

// ---- TBitmap ----

TBitmap::TBitmap()
{
    FColorTable.OwnedByBitmap = true;
}

TBitmap::~TBitmap() = default;

std::vector<PALETTEENTRY> TBitmap::DefaultPalette(TPixelFormat Format)
{
    std::vector<PALETTEENTRY> result;
    switch (Format) {
    case pf1bit:
        result = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        break;
    case pf4bit:
        // The sixteen colours of every display: dark ones first, then the bright ones.
        result = {{0, 0, 0, 0},       {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
                  {0, 0, 128, 0},     {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
                  {128, 128, 128, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
                  {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0}};
        break;
    case pf8bit:
        for (int32_t r = 0; r < 6; ++r) {
            for (int32_t g = 0; g < 6; ++g) {
                for (int32_t b = 0; b < 6; ++b) {
                    result.push_back({uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51), 0});
                }
            }
        }
        for (int32_t i = 1; i <= 40; ++i) {
            const uint8_t grey = uint8_t(i * 255 / 41);
            result.push_back({grey, grey, grey, 0});
        }
        break;
    default:
        break;
    }
    return result;
}

bool TBitmap::GetEmpty() const
{
    return FWidth == 0 || FHeight == 0;
}

void TBitmap::Reallocate(int32_t AWidth, int32_t AHeight, TPixelFormat AFormat, bool keepPixels)
{
    if (AWidth < 0 || AHeight < 0) {
        throw EInvalidGraphic("Bitmap width and height must not be negative");
    }
    const int32_t bits = PixelFormatBits(AFormat);
    const int64_t rowLength = RowLengthFor(AWidth, bits);
    const int64_t size = rowLength * AHeight;
    if (size > kMaxBitmapBytes) {
        throw EOutOfMemory("Bitmap of " + std::to_string(AWidth) + " x " + std::to_string(AHeight) +
                           " pixels is too large");
    }
    std::vector<uint8_t> pixels(size_t(size), 0);
    if (keepPixels && AFormat == FPixelFormat && !FPixels.empty() && size > 0) {
        const int32_t rows = std::min(FHeight, AHeight);
        const int64_t usedBits = int64_t(std::min(FWidth, AWidth)) * bits;
        const size_t wholeBytes = size_t(usedBits / 8);
        const int32_t tailBits = int32_t(usedBits % 8);
        for (int32_t y = 0; y < rows; ++y) {
            const uint8_t* in = FPixels.data() + int64_t(y) * FRowLength;
            uint8_t* out = pixels.data() + y * rowLength;
            std::memcpy(out, in, wholeBytes);
            if (tailBits != 0) {
                // Only the pixels still inside the narrower row are kept; the padding stays 0.
                out[wholeBytes] = uint8_t(in[wholeBytes] & (0xFF00u >> tailBits));
            }
        }
    }
    FPixels = std::move(pixels);
    FWidth = AWidth;
    FHeight = AHeight;
    FPixelFormat = AFormat;
    FRowLength = int32_t(rowLength);
    const size_t paletteSize = IsIndexed(AFormat) ? size_t(1) << bits : 0;
    if (FColorTable.Entries.size() != paletteSize) {
        FColorTable.Entries = DefaultPalette(AFormat);
    }
}

void TBitmap::SetWidth(int32_t Value)
{
    if (Value == FWidth) {
        return;
    }
    Reallocate(Value, FHeight, FPixelFormat, true);
    Changed(this);
}

void TBitmap::SetHeight(int32_t Value)
{
    if (Value == FHeight) {
        return;
    }
    Reallocate(FWidth, Value, FPixelFormat, true);
    Changed(this);
}

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight)
{
    if (AWidth == FWidth && AHeight == FHeight) {
        return;
    }
    Reallocate(AWidth, AHeight, FPixelFormat, true);
    Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat Value)
{
    if (Value == FPixelFormat) {
        return;
    }
    if (Value == pfCustom || PixelFormatBits(Value) == 0) {
        throw EInvalidGraphic("Unsupported pixel format");
    }
    if (GetEmpty()) {
        Reallocate(FWidth, FHeight, Value, false);
        Changed(this);
        return;
    }
    TBitmap target;
    target.Reallocate(FWidth, FHeight, Value, false);
    const TRasterView from = RasterView();
    const TRasterView to = target.RasterView();
    if (PixelFormatBits(Value) == PixelFormatBits(FPixelFormat) && !IsIndexed(Value) &&
        (Value == pf32bit || Value == pfDevice)) {
        // pf32bit and pfDevice share their storage.
        target.FPixels = FPixels;
    } else {
        TColorMatcher matcher(to);
        for (int32_t y = 0; y < FHeight; ++y) {
            const uint8_t* in = from.Row(y);
            uint8_t* out = to.Row(y);
            for (int32_t x = 0; x < FWidth; ++x) {
                WriteValue(Value, out, x, matcher.ToValue(ValueToColor(from, ReadValue(from.Format, in, x))));
            }
        }
    }
    FPixels = std::move(target.FPixels);
    FPixelFormat = Value;
    FRowLength = target.FRowLength;
    FColorTable.Entries = std::move(target.FColorTable.Entries);
    Changed(this);
}

uint8_t* TBitmap::ScanLine(int32_t Row)
{
    if (Row < 0 || Row >= FHeight || FWidth == 0) {
        throw EInvalidGraphicOperation("Scan line index out of range");
    }
    return FPixels.data() + int64_t(Row) * FRowLength;
}

const uint8_t* TBitmap::ScanLine(int32_t Row) const
{
    return const_cast<TBitmap*>(this)->ScanLine(Row);
}

HPALETTE TBitmap::Palette()
{
    return IsIndexed(FPixelFormat) ? &FColorTable : nullptr;
}

void TBitmap::SetPalette(HPALETTE Value)
{
    if (!Value || !IsIndexed(FPixelFormat)) {
        return;
    }
    const size_t n = std::min(Value->Entries.size(), FColorTable.Entries.size());
    std::copy_n(Value->Entries.begin(), n, FColorTable.Entries.begin());
    Changed(this);
}

bool TBitmap::Monochrome() const
{
    return FPixelFormat == pf1bit && FColorTable.Entries.size() == 2 &&
           PaletteColor(FColorTable.Entries[0]) == RGB(0, 0, 0) &&
           PaletteColor(FColorTable.Entries[1]) == RGB(255, 255, 255);
}

void TBitmap::SetMonochrome(bool Value)
{
    if (Value == Monochrome()) {
        return;
    }
    if (!Value) {
        SetPixelFormat(pf24bit);
    } else if (FPixelFormat == pf1bit) {
        FColorTable.Entries = DefaultPalette(pf1bit);
        Changed(this);
    } else {
        SetPixelFormat(pf1bit);
    }
}

TRasterView TBitmap::RasterView()
{
    TRasterView view;
    if (GetEmpty()) {
        return view;
    }
    view.Top = FPixels.data();
    view.Stride = FRowLength;
    view.Width = FWidth;
    view.Height = FHeight;
    view.Format = FPixelFormat;
    view.Palette = FColorTable.Entries.data();
    view.PaletteCount = int32_t(FColorTable.Entries.size());
    return view;
}

TCanvas* TBitmap::Canvas()
{
    if (!FCanvas) {
        FCanvas = std::make_unique<TCanvas>([this](TRasterView& view) {
            view = RasterView();
            return view.IsValid();
        });
        FCanvas->OnChange = [this](TObject*) { Changed(this); };
    }
    return FCanvas.get();
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect)
{
    if (!ACanvas || GetEmpty()) {
        return;
    }
    StretchBlt(ACanvas, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), Canvas(), 0, 0, FWidth, FHeight,
               uint32_t(ACanvas->CopyMode()));
}

void TBitmap::Assign(TPersistent* Source)
{
    if (Source == this) {
        return;
    }
    if (!Source) {
        FPixels.clear();
        FWidth = FHeight = FRowLength = 0;
        Changed(this);
        return;
    }
    if (auto* other = dynamic_cast<TBitmap*>(Source)) {
        FPixels = other->FPixels;
        FWidth = other->FWidth;
        FHeight = other->FHeight;
        FRowLength = other->FRowLength;
        FPixelFormat = other->FPixelFormat;
        FColorTable.Entries = other->FColorTable.Entries;
        Changed(this);
        return;
    }
    TGraphic::Assign(Source);
}

void TBitmap::LoadFromClipboardFormat(uint16_t AFormat, HGLOBAL AData, HPALETTE APalette)
{
    (void)APalette;
    if (AFormat != CF_DIB || !PackedDIBToBitmap(AData, *this)) {
        throw EInvalidGraphic("Unsupported clipboard format");
    }
}

void TBitmap::SaveToClipboardFormat(uint16_t& AFormat, HGLOBAL& AData, HPALETTE& APalette)
{
    AFormat = CF_DIB;
    AData = BitmapToPackedDIB(*this);
    APalette = nullptr;
}

// ---- BMP streams ----

namespace {

[[noreturn]] void BadBitmap(const std::string& why)
{
    throw EInvalidGraphic("Bitmap image is not valid: " + why);
}

void ReadExactly(TStream& stream, void* buffer, int64_t count, const char* what)
{
    if (count > 0 && stream.Read(buffer, count) != count) {
        BadBitmap(std::string("the file ends inside the ") + what);
    }
}

} // namespace

void TBitmap::LoadFromStream(TStream& Stream)
{
    const int64_t start = Stream.Position();
    BITMAPFILEHEADER fileHeader;
    ReadExactly(Stream, &fileHeader, sizeof(fileHeader), "file header");
    if (fileHeader.bfType != 0x4D42) {
        BadBitmap("no BM signature");
    }
    BITMAPINFOHEADER header;
    ReadExactly(Stream, &header.biSize, sizeof(header.biSize), "bitmap header");
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > 124) {
        BadBitmap("unsupported header of " + std::to_string(header.biSize) + " bytes");
    }
    std::vector<uint8_t> info(header.biSize);
    std::memcpy(info.data(), &header.biSize, sizeof(header.biSize));
    ReadExactly(Stream, info.data() + sizeof(header.biSize), int64_t(header.biSize) - 4, "bitmap header");
    std::memcpy(&header, info.data(), sizeof(header));
    const int64_t bitsOffset = DIBBitsOffset(header);
    if (bitsOffset < 0) {
        BadBitmap("unsupported bit count or compression");
    }
    info.resize(size_t(bitsOffset));
    ReadExactly(Stream, info.data() + header.biSize, bitsOffset - int64_t(header.biSize), "colour table");
    TDIBLayout layout;
    if (!ParseDIBHeader(info.data(), info.size(), layout)) {
        BadBitmap("inconsistent header");
    }
    // The rows start at bfOffBits when that points past the table; some writers leave a gap.
    const int64_t afterTable = int64_t(sizeof(BITMAPFILEHEADER)) + bitsOffset;
    if (int64_t(fileHeader.bfOffBits) > afterTable) {
        Stream.SetPosition(start + fileHeader.bfOffBits);
    }
    // A header may claim any size: the rows must be in the stream before memory is taken for them.
    if (Stream.Size() - Stream.Position() < layout.ImageSize) {
        BadBitmap("the file ends inside the pixel rows");
    }
    std::vector<uint8_t> packed(size_t(bitsOffset + layout.ImageSize));
    std::memcpy(packed.data(), info.data(), info.size());
    ReadExactly(Stream, packed.data() + bitsOffset, layout.ImageSize, "pixel rows");
    if (!PackedDIBToBitmap(packed.data(), packed.size(), *this)) {
        BadBitmap("unreadable pixel data");
    }
}

void TBitmap::SaveToStream(TStream& Stream)
{
    if (GetEmpty()) {
        BadBitmap("an empty bitmap has no file form");
    }
    BITMAPINFOHEADER header;
    header.biWidth = FWidth;
    header.biHeight = FHeight;
    header.biBitCount = uint16_t(BitCount());
    header.biCompression = FPixelFormat == pf16bit ? BI_BITFIELDS : BI_RGB;
    header.biSizeImage = uint32_t(int64_t(FRowLength) * FHeight);
    header.biXPelsPerMeter = header.biYPelsPerMeter = 3780; // 96 pixels per inch
    header.biClrUsed = uint32_t(FColorTable.Entries.size());
    const int64_t tableBytes =
        int64_t(FColorTable.Entries.size()) * int64_t(sizeof(RGBQUAD)) + (FPixelFormat == pf16bit ? 12 : 0);
    BITMAPFILEHEADER fileHeader;
    fileHeader.bfOffBits = uint32_t(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + tableBytes);
    fileHeader.bfSize = uint32_t(fileHeader.bfOffBits + header.biSizeImage);
    Stream.WriteBuffer(&fileHeader, sizeof(fileHeader));
    Stream.WriteBuffer(&header, sizeof(header));
    for (const PALETTEENTRY& e : FColorTable.Entries) {
        const RGBQUAD q{e.peBlue, e.peGreen, e.peRed, 0};
        Stream.WriteBuffer(&q, sizeof(q));
    }
    if (FPixelFormat == pf16bit) {
        const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
        Stream.WriteBuffer(masks, sizeof(masks));
    }
    for (int32_t y = FHeight - 1; y >= 0; --y) {
        Stream.WriteBuffer(FPixels.data() + int64_t(y) * FRowLength, FRowLength);
    }
}
