// Copy, cut and paste of selected objects through the layer's private clipboard format, and the
// layer's own undo: whole-layer snapshots in the block form, one per user action.
#include "imaging/core/kvbitmap.h"
#include "imaging/io/korvaneio.h"
#include "imaging/view/kvvect.h"
#include "imaging/view/vect_detail.h"
#include "platform/core/streams.h"
#include "platform/forms/clipboard.h"

#include <algorithm>
#include <cstring>

using namespace Kvvect::detail;

namespace Kvvect {

const uint16_t KVVECTCLIPFORMAT = RegisterClipboardFormat("KORVANE VECT");

} // namespace Kvvect

namespace {

struct TPastedObject
{
    TKVVObject Record;
    std::unique_ptr<TKVBitmap> Picture;
};

// The pictures that follow bitmap records: a PNG, checked and read within the block.
std::unique_ptr<TKVBitmap> ReadClipPicture(TByteReader& r)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    if (r.Left() < 8 || std::memcmp(r.Data + r.Pos, signature, 8) != 0) {
        return nullptr; // an object without a picture carries none
    }
    size_t at = r.Pos + 8;
    while (true) {
        if (r.Size - at < 12) {
            throw EKVVFormat("A picture of the clipboard block ends early");
        }
        const uint8_t* p = r.Data + at;
        const size_t length =
            (size_t(p[0]) << 24) | (size_t(p[1]) << 16) | (size_t(p[2]) << 8) | size_t(p[3]);
        if (length > r.Size - at - 12) {
            throw EKVVFormat("A picture of the clipboard block ends early");
        }
        const bool end = std::memcmp(p + 4, "IEND", 4) == 0;
        at += 12 + length;
        if (end) {
            break;
        }
    }
    const size_t length = at - r.Pos;
    TMemoryStream stream;
    stream.WriteBuffer(r.Take(length), int64_t(length));
    stream.SetPosition(0);
    auto picture = std::make_unique<TKVBitmap>();
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(picture.get());
    io.LoadFromStreamPNG(stream);
    if (io.Aborting || picture->GetWidth() < 1) {
        throw EKVVFormat("A picture of the clipboard block cannot be read");
    }
    return picture;
}

// The whole block, checked before anything is pasted.
std::vector<TPastedObject> ParseClipBlock(const std::vector<uint8_t>& block)
{
    TByteReader r{block.data(), block.size(), 0};
    const size_t count = r.Count(r.Int32(), 38);
    std::vector<TPastedObject> result;
    for (size_t i = 0; i < count; ++i) {
        std::vector<TKVVObject> records;
        ReadRecordBytes(r, Kvvect::KVVVER, 0, records);
        for (TKVVObject& record : records) {
            TPastedObject pasted;
            record.BitmapIndex = -1;
            const bool picture = record.Kind == kvkBITMAP;
            pasted.Record = std::move(record);
            if (picture) {
                pasted.Picture = ReadClipPicture(r);
            }
            result.push_back(std::move(pasted));
        }
    }
    return result;
}

} // namespace

bool TKorvaneVect::ObjCopyToClipboard()
{
    if (!Clipboard()->Open()) {
        return false;
    }
    Clipboard()->Clear();
    TByteWriter block;
    block.Int32(SelObjectsCount());
    for (int32_t h : FSelected) {
        const TKVVObject& o = Obj(h);
        WriteRecordBytes(block, o, h);
        if (o.Kind == kvkBITMAP) {
            if (TKVBitmap* picture = GetBitmap(o.BitmapIndex)) {
                TMemoryStream png;
                TKorvaneIO io(nullptr);
                TKVBitmap copy;
                copy.Assign(picture);
                io.SetAttachedKVBitmap(&copy);
                io.SaveToStreamPNG(png);
                block.Bytes(png.Memory(), size_t(png.Size()));
            }
        }
    }
    Clipboard()->SetAsBytes(Kvvect::KVVECTCLIPFORMAT, block.Data);
    Clipboard()->Close();
    return true;
}

void TKorvaneVect::ObjCutToClipboard()
{
    // One snapshot for the whole cut, taken before anything goes.
    if (ObjAutoUndo) {
        ObjSaveUndo();
    }
    if (!ObjCopyToClipboard()) {
        return;
    }
    CancelInteracts();
    while (!FSelected.empty()) {
        RemoveObjectNoSnapshot(FSelected.front());
    }
    DoVectorialChanged();
    Update();
}

void TKorvaneVect::ObjPasteFromClipboard(int32_t dx, int32_t dy)
{
    if (!Clipboard()->Open()) {
        return;
    }
    if (!Clipboard()->HasFormat(Kvvect::KVVECTCLIPFORMAT)) {
        Clipboard()->Close();
        return;
    }
    const std::vector<uint8_t> block = Clipboard()->GetAsBytes(Kvvect::KVVECTCLIPFORMAT);
    Clipboard()->Close();
    std::vector<TPastedObject> pasted;
    try {
        pasted = ParseClipBlock(block);
    } catch (const Exception&) {
        return; // a bad block pastes nothing and removes nothing
    }
    if (ObjAutoUndo) {
        ObjSaveUndo();
    }
    CancelInteracts();
    while (!FSelected.empty()) {
        RemoveObjectNoSnapshot(FSelected.front());
    }
    for (TPastedObject& item : pasted) {
        const int32_t h = AddVObject(item.Record);
        TKVVObject& o = FObjects[size_t(h)];
        o.x1 += dx;
        o.x2 += dx;
        o.y1 += dy;
        o.y2 += dy;
        if (item.Picture) {
            SetObjBitmapNU(h, item.Picture.get());
        }
        AddSelObjectNS(h);
    }
    DoVectorialChanged();
    Update();
}

void TKorvaneVect::ObjSaveUndo()
{
    auto snapshot = std::make_unique<TMemoryStream>();
    SaveToStreamKVV(*snapshot);
    const size_t limit = size_t(std::max(ObjUndoLimit, 1));
    while (FUndo.size() >= limit) {
        FUndo.erase(FUndo.begin());
    }
    FUndo.push_back(std::move(snapshot));
}

void TKorvaneVect::ObjUndo()
{
    ObjUndoAt(0);
}

void TKorvaneVect::ObjUndoAt(int32_t i)
{
    if (i < 0 || size_t(i) >= FUndo.size()) {
        return;
    }
    TMemoryStream& snapshot = *FUndo[FUndo.size() - 1 - size_t(i)];
    snapshot.SetPosition(0);
    CancelInteracts();
    LoadFromStreamKVV(snapshot);
    DoVectorialChanged();
}

void TKorvaneVect::ObjClearUndo()
{
    if (!FUndo.empty()) {
        FUndo.pop_back();
    }
}

void TKorvaneVect::ObjClearAllUndo()
{
    FUndo.clear();
}
