// The vector layer's block ("KVV"): header, the picture store and the zlib section of object
// records, written at version 0x40 and read at any version from 0x31. A block is checked whole
// before it replaces the layer, and reading stops exactly at its end.
#include "imaging/codecs/zlib/zstreams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvvect.h"
#include "imaging/view/vect_detail.h"
#include "platform/core/safe_file_writer.h"
#include "platform/core/streams.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace Kvvect::detail;

namespace Kvvect::detail {

// ---- byte buffers ----

void TByteWriter::Int32(int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    const uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
    Data.insert(Data.end(), b, b + 4);
}

void TByteWriter::Double(double v)
{
    uint8_t b[8];
    std::memcpy(b, &v, 8);
    Data.insert(Data.end(), b, b + 8);
}

void TByteWriter::Bytes(const void* p, size_t n)
{
    const uint8_t* b = static_cast<const uint8_t*>(p);
    Data.insert(Data.end(), b, b + n);
}

void TByteWriter::String(const std::string& s)
{
    Int32(static_cast<int32_t>(s.size()));
    Bytes(s.data(), s.size());
}

void TByteReader::EndsEarly()
{
    throw EKVVFormat("The vector block ends early");
}

size_t TByteReader::Count(int32_t n, size_t itemSize)
{
    // A count is believed only as far as the bytes that are left can hold it.
    if (n < 0 || size_t(n) > Left() / std::max<size_t>(itemSize, 1)) {
        throw EKVVFormat("A count of the vector block runs past its end");
    }
    return size_t(n);
}

std::string TByteReader::String()
{
    const size_t n = Count(Int32(), 1);
    const char* p = reinterpret_cast<const char*>(Take(n));
    // Strings are C strings: nothing after a NUL survives.
    const void* nul = std::memchr(p, 0, n);
    return std::string(p, nul ? static_cast<const char*>(nul) - p : n);
}

bool Inflate(const uint8_t* in, size_t inSize, size_t limit, std::vector<uint8_t>& out)
{
    out.clear();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return false;
    }
    // The stream inflates straight into the output, which grows by doubling from a few times the
    // input up to the limit at most. Once it is full, one spare byte tells whether more would
    // come out than may: a few bytes that inflate a thousandfold cost no more than the limit.
    size_t have = 0;
    uint8_t spare = 0;
    int result = Z_OK;
    size_t fed = 0;
    while (result == Z_OK) {
        if (z.avail_in == 0 && fed < inSize) {
            const size_t part = std::min<size_t>(inSize - fed, 1u << 30);
            z.next_in = const_cast<uint8_t*>(in + fed);
            z.avail_in = static_cast<uInt>(part);
            fed += part;
        }
        if (have == out.size() && out.size() < limit) {
            const size_t first = std::max<size_t>(64 * 1024, std::min(inSize, limit / 4) * 4);
            const size_t size = std::min(out.empty() ? first : out.size() * 2, limit);
            out.reserve(size);
            out.resize(size);
        }
        const bool full = have == out.size();
        const size_t room = full ? 1 : std::min<size_t>(out.size() - have, 1u << 30);
        z.next_out = full ? &spare : out.data() + have;
        z.avail_out = static_cast<uInt>(room);
        result = inflate(&z, Z_NO_FLUSH);
        const size_t got = room - z.avail_out;
        if (full && got != 0) {
            result = Z_MEM_ERROR; // more than may come out
            break;
        }
        have += got;
        if (result == Z_BUF_ERROR && (z.avail_in != 0 || fed < inSize)) {
            result = Z_OK; // no progress this round only because the output was full
        }
        if (result == Z_OK && z.avail_in == 0 && fed >= inSize && z.avail_out != 0) {
            result = Z_DATA_ERROR; // the data ends inside the stream
        }
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END) {
        out.clear();
        out.shrink_to_fit();
    } else {
        out.resize(have);
    }
    return result == Z_STREAM_END;
}

} // namespace Kvvect::detail

namespace {

constexpr int32_t kMaxNesting = 16;
constexpr size_t kRecordsReserved = 16384;

bool HasTextFields(TKVVObjectKind k)
{
    return k == kvkTEXT || k == kvkLINELABEL;
}

uint8_t Clamped(uint8_t v, uint8_t last)
{
    return v <= last ? v : 0;
}

// The length of the picture stream that starts at the reader's position, within what is left:
// a PNG up to its IEND chunk, a BMP by the size its file header gives.
size_t PictureLength(const TByteReader& r, bool png)
{
    const uint8_t* p = r.Data + r.Pos;
    const size_t left = r.Left();
    if (png) {
        static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
        if (left < 8 || std::memcmp(p, signature, 8) != 0) {
            throw EKVVFormat("A picture of the vector block is no PNG");
        }
        size_t at = 8;
        while (true) {
            if (left - at < 12) {
                throw EKVVFormat("A picture of the vector block ends early");
            }
            const size_t length = (size_t(p[at]) << 24) | (size_t(p[at + 1]) << 16) |
                                  (size_t(p[at + 2]) << 8) | size_t(p[at + 3]);
            if (length > left - at - 12) {
                throw EKVVFormat("A picture of the vector block ends early");
            }
            const bool end = std::memcmp(p + at + 4, "IEND", 4) == 0;
            at += 12 + length;
            if (end) {
                return at;
            }
        }
    }
    if (left < 14 || p[0] != 'B' || p[1] != 'M') {
        throw EKVVFormat("A picture of the vector block is no BMP");
    }
    const size_t size = size_t(p[2]) | (size_t(p[3]) << 8) | (size_t(p[4]) << 16) | (size_t(p[5]) << 24);
    if (size < 14 || size > left) {
        throw EKVVFormat("A picture of the vector block ends early");
    }
    return size;
}

std::unique_ptr<TKVBitmap> ReadPicture(TByteReader& r, uint8_t version)
{
    const bool png = version > 0x32;
    const size_t length = PictureLength(r, png);
    TMemoryStream stream;
    stream.WriteBuffer(r.Take(length), int64_t(length));
    stream.SetPosition(0);
    auto picture = std::make_unique<TKVBitmap>();
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(picture.get());
    if (png) {
        io.LoadFromStreamPNG(stream);
    } else {
        io.LoadFromStreamBMP(stream);
    }
    if (io.Aborting || picture->GetWidth() < 1 || picture->GetHeight() < 1) {
        throw EKVVFormat("A picture of the vector block cannot be read");
    }
    return picture;
}

// The alpha plane of versions 0x37 to 0x3C: rows of the picture's width rounded up to 4 bytes,
// bottom row first; it must inflate to exactly that size.
void ReadAlphaPlane(TByteReader& r, TKVBitmap* picture)
{
    const size_t packed = r.Count(r.Int32(), 1);
    const uint8_t* data = r.Take(packed);
    const size_t rowLength = (size_t(picture->GetWidth()) + 3) & ~size_t(3);
    const size_t expected = rowLength * size_t(picture->GetHeight());
    std::vector<uint8_t> plane;
    if (!Inflate(data, packed, expected, plane) || plane.size() != expected) {
        throw EKVVFormat("An alpha plane of the vector block has the wrong size");
    }
    TKVBitmap* alpha = picture->GetAlphaChannel();
    const int32_t h = picture->GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(alpha->GetScanLine(y), plane.data() + size_t(h - 1 - y) * rowLength,
                    size_t(picture->GetWidth()));
    }
    alpha->SyncFull();
}

void WritePicture(TStream& stream, TKVBitmap* picture)
{
    // The writer converts other formats; a copy keeps the stored picture as it is.
    std::unique_ptr<TKVBitmap> copy;
    TKVBitmap* source = picture;
    if (picture->GetPixelFormat() != kv24RGB && picture->GetPixelFormat() != kv1g) {
        copy = std::make_unique<TKVBitmap>();
        copy->Assign(picture);
        source = copy.get();
    }
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(source);
    io.SaveToStreamPNG(stream);
}

} // namespace

// ---- records ----

void TKorvaneVect::WriteRecord(TStream& Stream, const TKVVObject& o, int32_t handle) const
{
    TByteWriter w;
    WriteRecordBytes(w, o, handle);
    Stream.WriteBuffer(w.Data.data(), int64_t(w.Data.size()));
}

namespace Kvvect::detail {

void WriteRecordBytes(TByteWriter& w, const TKVVObject& o, int32_t handle)
{
    w.Int32(handle);
    w.Int32(o.x1);
    w.Int32(o.y1);
    w.Int32(o.x2);
    w.Int32(o.y2);
    w.Byte(o.Kind);
    w.Byte(o.SoftShadow.Enabled);
    w.Double(o.SoftShadow.Radius);
    w.Int32(o.SoftShadow.OffsetX);
    w.Int32(o.SoftShadow.OffsetY);
    w.String(o.Name);
    w.Int32(o.ID);
    w.Int32(o.PenColor);
    w.Byte(o.PenStyle);
    w.Int32(o.PenWidth);
    w.Int32(o.BrushColor);
    w.Byte(o.BrushStyle);
    w.Byte(o.Style);
    w.Int32(o.Transparency);
    w.Byte(o.BoxHighLight ? 1 : 0);
    const TKVVObjectKind k = o.Kind;
    if (k == kvkLINELABEL) {
        w.Int32(o.LabelBrushColor);
        w.Byte(o.LabelBrushStyle);
        w.Byte(o.LabelPos);
    }
    if (k == kvkLINE || k == kvkLINELABEL) {
        w.Byte(o.BeginShape);
        w.Byte(o.EndShape);
        w.Int32(o.ShapeWidth);
        w.Int32(o.ShapeHeight);
    }
    if (k == kvkARC) {
        w.Double(o.ArcStart);
        w.Double(o.ArcEnd);
    }
    if (k == kvkBITMAP) {
        w.Int32(o.BitmapIndex);
    }
    if (HasTextFields(k)) {
        w.Byte(o.TextAlign);
        w.Byte(o.TextAutoSize ? 1 : 0);
        w.String(o.Text);
        w.Byte(o.Font ? 1 : 0);
        if (o.Font) {
            WriteLogFont(w, *o.Font);
        }
        w.Int32(static_cast<int32_t>(o.Curve.size()));
        if (!o.Curve.empty()) {
            for (const TKVDPoint& p : o.Curve) {
                w.Double(p.X);
                w.Double(p.Y);
            }
            w.Int32(o.CharRot);
        }
    }
    if (k == kvkMEMO) {
        w.String(o.Text);
        w.Byte(o.Font ? 1 : 0);
        if (o.Font) {
            WriteLogFont(w, *o.Font);
        }
        for (size_t i = 0; i < o.Text.size(); ++i) {
            w.Int32(i < o.MemoFormats.size() ? o.MemoFormats[i] : 0);
        }
        w.Int32(static_cast<int32_t>(o.MemoCharInfos.size()));
        for (const TKVCharInfo& info : o.MemoCharInfos) {
            uint8_t stored[TKVCharInfo::StoredSize];
            info.Store(stored);
            w.Bytes(stored, sizeof(stored));
        }
        w.Byte(o.FontLocked ? 1 : 0);
        w.Byte(o.TextAutoSize ? 1 : 0);
        w.Int32(o.MemoLineSpace);
        w.Int32(o.MemoBorderColor);
        w.Byte(o.MemoBorderStyle);
        w.Byte(o.TextAlign);
        w.Int32(o.MemoFixedHeight);
    }
    if (k == kvkRULER) {
        w.Byte(o.RulerUnit);
        w.Byte(o.RulerType);
    }
    if (k == kvkPOLYLINE) {
        w.Int32(static_cast<int32_t>(o.PolyPoints.size()));
        for (const TPoint& p : o.PolyPoints) {
            w.Int32(p.X);
            w.Int32(p.Y);
        }
        w.Int32(o.PolyBounds.Left);
        w.Int32(o.PolyBounds.Top);
        w.Int32(o.PolyBounds.Right);
        w.Int32(o.PolyBounds.Bottom);
        w.Byte(o.PolylineClosed ? 1 : 0);
    }
    if (k == kvkANGLE) {
        for (const TPoint& p : o.AnglePoints) {
            w.Int32(p.X);
            w.Int32(p.Y);
        }
    }
    if (k == kvkNONE) {
        // No nested records follow; a reader takes this count.
        w.Int32(0);
    }
}

void WriteLogFont(TByteWriter& w, const LOGFONT& lf)
{
    w.Int32(lf.lfHeight);
    w.Int32(lf.lfWidth);
    w.Int32(lf.lfEscapement);
    w.Int32(lf.lfOrientation);
    w.Int32(lf.lfWeight);
    w.Byte(lf.lfItalic);
    w.Byte(lf.lfUnderline);
    w.Byte(lf.lfStrikeOut);
    w.Byte(lf.lfCharSet);
    w.Byte(lf.lfOutPrecision);
    w.Byte(lf.lfClipPrecision);
    w.Byte(lf.lfQuality);
    w.Byte(lf.lfPitchAndFamily);
    w.Bytes(lf.lfFaceName, LF_FACESIZE);
}

LOGFONT ReadLogFont(TByteReader& r)
{
    LOGFONT lf;
    lf.lfHeight = r.Int32();
    lf.lfWidth = r.Int32();
    lf.lfEscapement = r.Int32();
    lf.lfOrientation = r.Int32();
    lf.lfWeight = r.Int32();
    lf.lfItalic = r.Byte();
    lf.lfUnderline = r.Byte();
    lf.lfStrikeOut = r.Byte();
    lf.lfCharSet = r.Byte();
    lf.lfOutPrecision = r.Byte();
    lf.lfClipPrecision = r.Byte();
    lf.lfQuality = r.Byte();
    lf.lfPitchAndFamily = r.Byte();
    std::memcpy(lf.lfFaceName, r.Take(LF_FACESIZE), LF_FACESIZE);
    return lf;
}

bool ReadRecordBytes(TByteReader& r, uint8_t version, int32_t depth, std::vector<TKVVObject>& out)
{
    if (depth > kMaxNesting) {
        throw EKVVFormat("Object records of the vector block are nested too deep");
    }
    // The record is read in its place at the end of the list.
    TKVVObject& o = out.emplace_back();
    o.Font.reset();
    o.FontLocked = true;
    o.BoxHighLight = false;
    o.CharRot = -1;
    o.Transparency = 255;
    o.ShapeWidth = o.ShapeHeight = 0;
    o.LabelBrushColor = 0;
    o.LabelBrushStyle = bsSolid;
    o.LabelPos = kvlBegin;
    o.PenColor = 0;
    o.BrushColor = 0;
    o.BrushStyle = bsSolid;
    o.ArcEnd = 0;
    o.MemoBorderColor = 0;
    o.RulerType = kvrtRULER;
    o.RulerUnit = kvuPIXELS;
    for (TPoint& p : o.AnglePoints) {
        p = TPoint{};
    }
    if (version >= 0x3C) {
        r.Int32(); // the handle when written; loaded objects get new ones
    }
    o.x1 = r.Int32();
    o.y1 = r.Int32();
    o.x2 = r.Int32();
    o.y2 = r.Int32();
    const uint8_t kind = r.Byte();
    if (kind > kvkLINELABEL) {
        throw EKVVFormat("An object of the vector block has an unknown kind");
    }
    o.Kind = TKVVObjectKind(kind);
    if (version >= 0x3D) {
        o.SoftShadow.Enabled = r.Byte();
        o.SoftShadow.Radius = r.Double();
        o.SoftShadow.OffsetX = r.Int32();
        o.SoftShadow.OffsetY = r.Int32();
    }
    o.Name = r.String();
    o.ID = r.Int32();
    o.PenColor = r.Int32();
    o.PenStyle = TPenStyle(Clamped(r.Byte(), psInsideFrame));
    o.PenWidth = r.Int32();
    o.BrushColor = r.Int32();
    o.BrushStyle = TBrushStyle(Clamped(r.Byte(), bsDiagCross));
    o.Style = r.Byte() & kvvsAll;
    if (version >= 0x3D) {
        o.Transparency = r.Int32();
    }
    if (version >= 0x40) {
        o.BoxHighLight = r.Byte() != 0;
    }
    const TKVVObjectKind k = o.Kind;
    if (k == kvkLINELABEL) {
        o.LabelBrushColor = r.Int32();
        o.LabelBrushStyle = TBrushStyle(Clamped(r.Byte(), bsDiagCross));
        o.LabelPos = TKVLabelPos(Clamped(r.Byte(), kvlEnd));
    }
    if (k == kvkLINE || k == kvkLINELABEL) {
        o.BeginShape = TKVShape(Clamped(r.Byte(), kvsOUTARROW));
        o.EndShape = TKVShape(Clamped(r.Byte(), kvsOUTARROW));
        o.ShapeWidth = r.Int32();
        o.ShapeHeight = r.Int32();
    }
    if (k == kvkARC) {
        o.ArcStart = r.Double();
        o.ArcEnd = r.Double();
    }
    if (k == kvkBITMAP) {
        o.BitmapIndex = r.Int32();
    }
    if (HasTextFields(k)) {
        if (version >= 0x34) {
            o.TextAlign = TKVAlignment(Clamped(r.Byte(), kvjJustify));
        }
        if (version >= 0x39) {
            o.TextAutoSize = r.Byte() != 0;
        }
        o.Text = r.String();
        if (r.Byte() != 0) {
            o.Font = ReadLogFont(r);
        }
        if (version >= 0x3F) {
            const int32_t c = r.Int32();
            if (c > 0) {
                const size_t count = r.Count(c, 16);
                o.Curve.resize(count);
                for (TKVDPoint& p : o.Curve) {
                    p.X = r.Double();
                    p.Y = r.Double();
                }
                o.CharRot = r.Int32();
            } else if (c < 0) {
                throw EKVVFormat("A count of the vector block is negative");
            }
        }
    }
    if (k == kvkMEMO) {
        const size_t n = r.Count(r.Int32(), 1);
        const uint8_t* text = r.Take(n);
        std::string full(reinterpret_cast<const char*>(text), n);
        if (r.Byte() != 0) {
            o.Font = ReadLogFont(r);
        }
        r.Count(static_cast<int32_t>(std::min<size_t>(n, INT32_MAX / 4)), 4);
        std::vector<int32_t> formats(n);
        for (int32_t& f : formats) {
            f = r.Int32();
        }
        const size_t infos = r.Count(r.Int32(), TKVCharInfo::StoredSize);
        o.MemoCharInfos.reserve(infos);
        for (size_t i = 0; i < infos; ++i) {
            o.MemoCharInfos.push_back(TKVCharInfo::Load(r.Take(TKVCharInfo::StoredSize)));
        }
        o.FontLocked = r.Byte() != 0;
        o.TextAutoSize = r.Byte() != 0;
        o.MemoLineSpace = r.Int32();
        o.MemoBorderColor = r.Int32();
        o.MemoBorderStyle = TPenStyle(Clamped(r.Byte(), psInsideFrame));
        o.TextAlign = TKVAlignment(Clamped(r.Byte(), kvjJustify));
        o.MemoFixedHeight = r.Int32();
        o.Text = full.substr(0, full.find('\0'));
        formats.resize(o.Text.size());
        // An index outside the list takes the first format.
        for (int32_t& f : formats) {
            if (f < 0 || f >= static_cast<int32_t>(infos)) {
                f = 0;
            }
        }
        o.MemoFormats = std::move(formats);
    }
    if (k == kvkRULER && version >= 0x35) {
        o.RulerUnit = TKVUnits(Clamped(r.Byte(), kvuNANOMETERS));
        o.RulerType = TKVVRulerType(Clamped(r.Byte(), kvrtQUOTEEND));
    }
    if (k == kvkPOLYLINE && version >= 0x38) {
        const size_t p = r.Count(r.Int32(), 8);
        o.PolyPoints.resize(p);
        for (TPoint& point : o.PolyPoints) {
            point.X = r.Int32();
            point.Y = r.Int32();
        }
        o.PolyBounds.Left = r.Int32();
        o.PolyBounds.Top = r.Int32();
        o.PolyBounds.Right = r.Int32();
        o.PolyBounds.Bottom = r.Int32();
        if (version >= 0x3B) {
            o.PolylineClosed = r.Byte() != 0;
        }
    }
    if (k == kvkANGLE && version >= 0x3A) {
        for (TPoint& p : o.AnglePoints) {
            p.X = r.Int32();
            p.Y = r.Int32();
        }
    }
    if (k == kvkNONE) {
        // A group is no object: only the records nested in it are.
        out.pop_back();
        // The smallest record takes 38 bytes before its kind's fields.
        const size_t nested = r.Count(r.Int32(), 38);
        for (size_t i = 0; i < nested; ++i) {
            ReadRecordBytes(r, version, depth + 1, out);
        }
        return true;
    }
    return false;
}

} // namespace Kvvect::detail

// ---- the block ----

struct TKorvaneVect::TLayerState
{
    double Scale = 1.0;
    std::vector<TStoredBitmap> Bitmaps;
    std::vector<TKVVObject> Records;
};

void TKorvaneVect::SaveObj(TStream& Stream, int32_t hobj)
{
    if (hobj == kvhAll || hobj == kvhNothing) {
        for (int32_t h : FZOrder) {
            WriteRecord(Stream, FObjects[size_t(h)], h);
        }
        return;
    }
    if (hobj == kvhTemplate || hobj == kvhLast) {
        return;
    }
    WriteRecord(Stream, Obj(hobj), hobj);
}

void TKorvaneVect::SaveToStreamKVV(TStream& Stream)
{
    PackBMP();
    const int64_t start = Stream.Position();
    TByteWriter head;
    head.Bytes("KVV", 3);
    head.Byte(Kvvect::KVVVER);
    head.Int32(0);
    head.Double(FScale);
    head.Int32(BitmapStoreCount());
    Stream.WriteBuffer(head.Data.data(), int64_t(head.Data.size()));
    for (int32_t i = 0; i < BitmapStoreCount(); ++i) {
        // A picture only the template uses is not written.
        const int32_t refs = FBitmaps[size_t(i)].RefCount - (FTemplate.BitmapIndex == i ? 1 : 0);
        TByteWriter count;
        count.Int32(refs);
        Stream.WriteBuffer(count.Data.data(), 4);
        if (refs > 0) {
            WritePicture(Stream, FBitmaps[size_t(i)].Bitmap.get());
        }
    }
    TByteWriter section;
    section.Int32(ObjectsCount());
    for (int32_t h : FZOrder) {
        WriteRecordBytes(section, FObjects[size_t(h)], h);
    }
    std::vector<uint8_t> packed;
    Pngfilt::ZCompress(section.Data.data(), section.Data.size(), packed, zcDefault);
    Stream.WriteBuffer(packed.data(), int64_t(packed.size()));
    const int64_t end = Stream.Position();
    TByteWriter length;
    length.Int32(int32_t(std::min<int64_t>(end - start, INT32_MAX)));
    Stream.SetPosition(start + 4);
    Stream.WriteBuffer(length.Data.data(), 4);
    Stream.SetPosition(end);
}

void TKorvaneVect::ReadBlock(TStream& Stream, TLayerState& state, uint8_t& version)
{
    const int64_t start = Stream.Position();
    uint8_t head[8];
    if (Stream.Read(head, 8) != 8) {
        throw EKVVFormat("The vector block ends early");
    }
    version = head[3];
    const int32_t length = int32_t(uint32_t(head[4]) | (uint32_t(head[5]) << 8) | (uint32_t(head[6]) << 16) |
                                   (uint32_t(head[7]) << 24));
    // The whole block is read, and only the block: blocks may follow one another.
    if (length < 8 || int64_t(length) > Stream.Size() - start) {
        throw EKVVFormat("The vector block's length runs past the stream");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    std::memcpy(bytes.data(), head, 8);
    Stream.ReadBuffer(bytes.data() + 8, int64_t(length) - 8);
    TByteReader r{bytes.data(), bytes.size(), 8};
    state.Scale = version == 0x31 ? double(r.Int32()) : r.Double();
    const size_t entries = r.Count(r.Int32(), 4);
    state.Bitmaps.resize(entries);
    for (TStoredBitmap& entry : state.Bitmaps) {
        if (r.Int32() <= 0) {
            continue;
        }
        entry.Bitmap = ReadPicture(r, version);
        if (version >= 0x37 && version <= 0x3C) {
            ReadAlphaPlane(r, entry.Bitmap.get());
        }
    }
    // Object records compress tens of times at most; a section that inflates further than that
    // (and past a floor no real layer comes near) is refused before it can exhaust memory.
    const size_t limit = std::max<size_t>(size_t(64) << 20, r.Left() * 64);
    std::vector<uint8_t> section;
    if (!Inflate(r.Data + r.Pos, r.Left(), limit, section)) {
        throw EKVVFormat("The objects of the vector block are not a whole zlib stream or inflate "
                         "beyond any layer's size");
    }
    TByteReader records{section.data(), section.size(), 0};
    // The count sets aside room for a usual layer's records at most; past that the list grows
    // with the records actually read, so a count no record backs costs little.
    const size_t count = records.Count(records.Int32(), 38);
    state.Records.reserve(std::min(count, kRecordsReserved));
    for (size_t i = 0; i < count; ++i) {
        ReadRecordBytes(records, version, 0, state.Records);
    }
}

void TKorvaneVect::SwapIn(TLayerState& state)
{
    const bool share = ShareBitmaps;
    ShareBitmaps = true;
    std::unique_ptr<TKVBitmap> templatePicture;
    if (TKVBitmap* picture = GetBitmap(FTemplate.BitmapIndex)) {
        templatePicture = std::make_unique<TKVBitmap>();
        templatePicture->Assign(picture);
    }
    SetObjBitmapNU(kvhTemplate, nullptr);
    RemoveAllObjects();
    FScale = state.Scale > 0 && std::isfinite(state.Scale) ? state.Scale : 1.0;
    RecalcCoef();
    FBitmaps = std::move(state.Bitmaps);
    for (TStoredBitmap& entry : FBitmaps) {
        entry.RefCount = 0;
    }
    FObjects.reserve(state.Records.size());
    FZOrder.reserve(state.Records.size());
    for (TKVVObject& record : state.Records) {
        AddVObject(std::move(record));
    }
    ShareBitmaps = share;
    if (templatePicture) {
        SetObjBitmapNU(kvhTemplate, templatePicture.get());
    }
}

bool TKorvaneVect::LoadFromStreamKVV(TStream& Stream)
{
    const int64_t start = Stream.Position();
    uint8_t head[4] = {};
    const int64_t got = Stream.Read(head, 4);
    Stream.SetPosition(start);
    if (got != 4 || std::memcmp(head, "KVV", 3) != 0 || head[3] < 0x31 || head[3] > Kvvect::KVVVER) {
        return false;
    }
    TLayerState state;
    uint8_t version = 0;
    try {
        ReadBlock(Stream, state, version);
    } catch (...) {
        Stream.SetPosition(start);
        throw;
    }
    SwapIn(state);
    Update();
    return true;
}

void TKorvaneVect::SaveToFileKVV(const std::string& FileName)
{
    TSafeFileWriter file(FileName);
    SaveToStreamKVV(file.Stream());
    file.Commit();
}

bool TKorvaneVect::LoadFromFileKVV(const std::string& FileName)
{
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadFromStreamKVV(file);
}

int32_t TKorvaneVect::ReadObj(TStream& Stream, int32_t Version, bool KeepBitmapIndex)
{
    const int64_t start = Stream.Position();
    const int64_t left = std::max<int64_t>(Stream.Size() - start, 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(left));
    Stream.ReadBuffer(bytes.data(), left);
    TByteReader r{bytes.data(), bytes.size(), 0};
    std::vector<TKVVObject> records;
    bool nested = false;
    try {
        nested = ReadRecordBytes(r, uint8_t(std::clamp(Version, 0x31, 0x40)), 0, records);
    } catch (...) {
        Stream.SetPosition(start);
        throw;
    }
    Stream.SetPosition(start + int64_t(r.Pos));
    int32_t handle = kvhNothing;
    for (TKVVObject& record : records) {
        // Nested records keep their bitmap indexes, whatever the caller asked for.
        if (!KeepBitmapIndex && !nested) {
            record.BitmapIndex = -1;
        }
        handle = AddVObject(std::move(record));
    }
    return nested ? kvhNothing : handle;
}
