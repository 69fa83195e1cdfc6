// Reading and writing the imaging annotation block: records of marks (a 164-byte attribute
// record each) and of named data blocks that belong to the mark before them or to all marks.
#include "imaging/core/imaging_annot.h"

#include "imaging/core/bitmap_copies.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/rounding.h"
#include "platform/graphics/global_memory.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>

namespace {

enum : int32_t
{
    recDefaultNamedBlock = 2,
    recMarkAttributes = 5,
    recMarkNamedBlock = 6
};

constexpr int32_t NamedBlockHeaderSize = 12;
constexpr int32_t RotationRecordSize = 56;

int32_t ReadInt(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

void PutInt(std::vector<uint8_t>& out, int32_t value)
{
    for (int32_t i = 0; i < 4; ++i) {
        out.push_back(uint8_t(uint32_t(value) >> (8 * i)));
    }
}

void PutNamedBlock(std::vector<uint8_t>& out, int32_t recordType, const char* name,
                   const std::vector<uint8_t>& data)
{
    PutInt(out, recordType);
    PutInt(out, NamedBlockHeaderSize);
    char padded[8] = {};
    std::memcpy(padded, name, strnlen(name, sizeof padded));
    out.insert(out.end(), padded, padded + 8);
    PutInt(out, static_cast<int32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
}

std::vector<uint8_t> TextData(const std::string& text)
{
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

// The 72000 / scale / screen DPI that text heights are kept at; 0 for an unusable scale.
int32_t CreationScale()
{
    return Kvview::gSystemDPIY > 0 ? Trunc(72000.0 / Kvview::gSystemDPIY) : 0;
}

using TNamedBlocks = std::map<std::string, std::vector<uint8_t>>;

// Builds the mark of an attribute record from the named blocks read after it.
std::unique_ptr<TKVImagingObject> CompleteMark(const uint8_t* attributes, const TNamedBlocks& blocks)
{
    auto mark = std::make_unique<TKVImagingObject>();
    std::memcpy(mark->Attributes, attributes, TKVImagingObject::AttributesSize);
    const int32_t type = mark->MarkType();
    if (type <= 0) {
        return nullptr;
    }
    const auto dib = blocks.find("OiDIB");
    if (type == kvaImageEmbedded && dib != blocks.end() && !dib->second.empty()) {
        auto bitmap = std::make_unique<TKVBitmap>();
        if (Korvaneproc::_CopyDIB2BitmapEx(dib->second.data(), dib->second.size(), bitmap.get()) > 0) {
            mark->Bitmap = std::move(bitmap);
        }
    }
    const auto points = blocks.find("OiAnoDat");
    if ((type == kvaStraightLine || type == kvaFreehandLine) && points != blocks.end() &&
        points->second.size() >= 8) {
        const std::vector<uint8_t>& data = points->second;
        const int64_t count = std::clamp<int64_t>(ReadInt(data.data() + 4), 0, int64_t(data.size() - 8) / 8);
        for (int64_t i = 0; i < count; ++i) {
            const uint8_t* p = data.data() + 8 + i * 8;
            mark->Points.push_back(TPoint{ReadInt(p), ReadInt(p + 4)});
        }
    }
    const auto text = blocks.find("OiAnText");
    if (type >= kvaTypedText && type <= kvaAttachANote && text != blocks.end() && text->second.size() >= 16) {
        const std::vector<uint8_t>& data = text->second;
        const int32_t scale = ReadInt(data.data() + 8);
        const int64_t length = std::clamp<int64_t>(ReadInt(data.data() + 12), 0, int64_t(data.size()) - 16);
        const auto begin = data.begin() + 16;
        mark->Text.assign(begin, std::find(begin, begin + length, uint8_t(0)));
        if (scale != 0 && Kvview::gSystemDPIY != 0) {
            const double height = 72000.0 / scale / Kvview::gSystemDPIY * -double(mark->FontHeight());
            mark->SetInt(48, Round(height));
        }
    }
    return mark;
}

} // namespace

TKVImagingObject::TKVImagingObject() = default;
TKVImagingObject::~TKVImagingObject() = default;

int32_t TKVImagingObject::GetInt(int32_t offset) const
{
    return offset >= 0 && offset + 4 <= AttributesSize ? ReadInt(Attributes + offset) : 0;
}

void TKVImagingObject::SetInt(int32_t offset, int32_t value)
{
    if (offset >= 0 && offset + 4 <= AttributesSize) {
        for (int32_t i = 0; i < 4; ++i) {
            Attributes[offset + i] = uint8_t(uint32_t(value) >> (8 * i));
        }
    }
}

TRect TKVImagingObject::Bounds() const
{
    return TRect{GetInt(4), GetInt(8), GetInt(12), GetInt(16)};
}

TKVImagingAnnot::TKVImagingAnnot() = default;
TKVImagingAnnot::~TKVImagingAnnot() = default;

TKVImagingObject* TKVImagingAnnot::GetObject(int32_t Index) const
{
    return Index >= 0 && Index < GetObjectsCount() ? FObjects[size_t(Index)].get() : nullptr;
}

void TKVImagingAnnot::AddObject(std::unique_ptr<TKVImagingObject> Object)
{
    if (Object != nullptr) {
        FObjects.push_back(std::move(Object));
    }
}

void TKVImagingAnnot::Clear()
{
    FObjects.clear();
}

void TKVImagingAnnot::Assign(const TKVImagingAnnot& Source)
{
    if (&Source == this) {
        return;
    }
    Clear();
    for (const auto& source : Source.FObjects) {
        auto mark = std::make_unique<TKVImagingObject>();
        std::memcpy(mark->Attributes, source->Attributes, TKVImagingObject::AttributesSize);
        mark->Points = source->Points;
        mark->Text = source->Text;
        if (source->Bitmap != nullptr) {
            mark->Bitmap = std::make_unique<TKVBitmap>();
            mark->Bitmap->Assign(source->Bitmap.get());
        }
        FObjects.push_back(std::move(mark));
    }
}

void TKVImagingAnnot::SaveToStream(TStream& /*Stream*/) const {}

void TKVImagingAnnot::LoadFromStream(TStream& /*Stream*/) {}

void TKVImagingAnnot::LoadFromStandardBuffer(const void* Buffer, int64_t Length)
{
    Clear();
    const auto* bytes = static_cast<const uint8_t*>(Buffer);
    if (bytes == nullptr || Length < 8) {
        return;
    }
    // A block of 16-bit integers has 4 more bytes in each named block's header.
    const int64_t headerExtra = ReadInt(bytes + 4) == 0 ? 4 : 0;
    TNamedBlocks markBlocks;
    uint8_t attributes[TKVImagingObject::AttributesSize] = {};
    bool pending = false;
    auto completePending = [&] {
        if (pending) {
            AddObject(CompleteMark(attributes, markBlocks));
        }
        pending = false;
    };
    int64_t position = 8;
    while (position + 8 <= Length) {
        const int32_t recordType = ReadInt(bytes + position);
        const int64_t size = ReadInt(bytes + position + 4);
        position += 8;
        if (recordType == recDefaultNamedBlock || recordType == recMarkNamedBlock) {
            const int64_t header = NamedBlockHeaderSize + headerExtra;
            if (position + header > Length) {
                break;
            }
            const std::string name(reinterpret_cast<const char*>(bytes + position),
                                   strnlen(reinterpret_cast<const char*>(bytes + position), 8));
            const int64_t dataLength = ReadInt(bytes + position + 8);
            position += header;
            if (dataLength < 0 || dataLength > Length - position) {
                break;
            }
            if (recordType == recMarkNamedBlock) {
                markBlocks[name].assign(bytes + position, bytes + position + dataLength);
            }
            position += dataLength;
        } else if (recordType == recMarkAttributes) {
            if (size < TKVImagingObject::AttributesSize || size > Length - position) {
                break;
            }
            completePending();
            markBlocks.clear();
            std::memcpy(attributes, bytes + position, TKVImagingObject::AttributesSize);
            pending = true;
            position += size;
        } else {
            if (size < 0 || size > Length - position) {
                break;
            }
            position += size;
        }
    }
    completePending();
}

std::vector<uint8_t> TKVImagingAnnot::SaveToStandardBuffer() const
{
    std::vector<uint8_t> out;
    if (FObjects.empty()) {
        return out;
    }
    PutInt(out, 0);
    PutInt(out, 1);
    PutNamedBlock(out, recDefaultNamedBlock, "OiGroup", TextData("0"));
    PutNamedBlock(out, recDefaultNamedBlock, "OiIndex", TextData("1"));
    for (size_t i = 0; i < FObjects.size(); ++i) {
        const TKVImagingObject& mark = *FObjects[i];
        PutInt(out, recMarkAttributes);
        PutInt(out, TKVImagingObject::AttributesSize);
        out.insert(out.end(), mark.Attributes, mark.Attributes + TKVImagingObject::AttributesSize);
        const int32_t type = mark.MarkType();
        if (type == kvaImageEmbedded) {
            std::vector<uint8_t> rotation;
            for (const int32_t value : {1, 1000, Kvview::gSystemDPIX, Kvview::gSystemDPIY,
                                        Kvview::gSystemDPIX, Kvview::gSystemDPIY}) {
                PutInt(rotation, value);
            }
            rotation.resize(RotationRecordSize, 0);
            PutNamedBlock(out, recMarkNamedBlock, "OiAnoDat", rotation);
            std::vector<uint8_t> dib;
            if (mark.Bitmap != nullptr) {
                const HGLOBAL block = Korvaneproc::_CopyBitmaptoDIBEx(mark.Bitmap.get(), 0, 0, 0, 0);
                if (block != nullptr) {
                    TGlobalLock lock(block);
                    if (lock.Data() != nullptr) {
                        dib.assign(lock.Data(), lock.Data() + GlobalSize(block));
                    }
                }
                GlobalFree(block);
            }
            PutNamedBlock(out, recMarkNamedBlock, "OiDIB", dib);
        } else if (type == kvaStraightLine || type == kvaFreehandLine) {
            std::vector<uint8_t> points;
            PutInt(points, static_cast<int32_t>(mark.Points.size()));
            PutInt(points, static_cast<int32_t>(mark.Points.size()));
            for (const TPoint& point : mark.Points) {
                PutInt(points, point.X);
                PutInt(points, point.Y);
            }
            PutNamedBlock(out, recMarkNamedBlock, "OiAnoDat", points);
        } else if (type >= kvaTypedText && type <= kvaAttachANote) {
            std::vector<uint8_t> text;
            PutInt(text, 0);
            PutInt(text, 1000);
            PutInt(text, CreationScale());
            PutInt(text, static_cast<int32_t>(mark.Text.size()));
            const std::vector<uint8_t> characters = TextData(mark.Text);
            text.insert(text.end(), characters.begin(), characters.end());
            PutNamedBlock(out, recMarkNamedBlock, "OiAnText", text);
        }
        PutNamedBlock(out, recMarkNamedBlock, "OiGroup", TextData("0"));
        PutNamedBlock(out, recMarkNamedBlock, "OiIndex", TextData(std::to_string(i)));
    }
    return out;
}
