// The annotation marks of an image in the imaging annotation block that TIFF files keep in tag
// 32932: lines, rectangles, texts, notes and embedded pictures drawn over a scanned page.
#pragma once

#include "platform/core/classes.h"
#include "platform/graphics/geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TKVBitmap;
class TKorvaneVect;
class TStream;

// Mark types of the attribute record.
enum : int32_t
{
    kvaImageEmbedded = 1,
    kvaImageReference = 2,
    kvaStraightLine = 3,
    kvaFreehandLine = 4,
    kvaHollowRect = 5,
    kvaFilledRect = 6,
    kvaTypedText = 7,
    kvaTextFromFile = 8,
    kvaTextStamp = 9,
    kvaAttachANote = 10
};

class TKVImagingObject : public TObject
{
public:
    static constexpr int32_t AttributesSize = 164;

    // The mark attribute record as stored (little-endian): type at 0, bounds at 4, colours at 20
    // and 24, highlighting 28, transparent 32, line size 36, LOGFONT 48..107, visible 116,
    // permissions 120.
    uint8_t Attributes[AttributesSize] = {};
    // Line marks: points relative to the bounds' top-left corner.
    std::vector<TPoint> Points;
    // Text marks.
    std::string Text;
    // Embedded-image marks.
    std::unique_ptr<TKVBitmap> Bitmap;

    TKVImagingObject();
    ~TKVImagingObject() override;

    int32_t GetInt(int32_t offset) const;
    void SetInt(int32_t offset, int32_t value);
    int32_t MarkType() const { return GetInt(0); }
    TRect Bounds() const;
    // The LOGFONT height (offset 48).
    int32_t FontHeight() const { return GetInt(48); }
};

class TKVImagingAnnot : public TObject
{
public:
    TKVImagingAnnot();
    ~TKVImagingAnnot() override;
    TKVImagingAnnot(const TKVImagingAnnot&) = delete;
    TKVImagingAnnot& operator=(const TKVImagingAnnot&) = delete;

    TKVImagingObject* GetObject(int32_t Index) const;
    int32_t GetObjectsCount() const { return static_cast<int32_t>(FObjects.size()); }
    // Takes ownership of a mark and appends it.
    void AddObject(std::unique_ptr<TKVImagingObject> Object);

    void Clear();
    void Assign(const TKVImagingAnnot& Source);

    // The parameter stream carries no annotations: both write and read nothing.
    void SaveToStream(TStream& Stream) const;
    void LoadFromStream(TStream& Stream);

    // Reads the marks of an annotation block, replacing the set's marks; reading stops where a
    // record would run past the block.
    void LoadFromStandardBuffer(const void* Buffer, int64_t Length);
    // The block of the set's marks; empty for a set without marks.
    std::vector<uint8_t> SaveToStandardBuffer() const;

    // Adds an object to the vector layer (given as TObject) for each mark it can show
    // (imaging_annot_vect.cpp).
    void CopyToTKorvaneVect(TObject* Vect) const;
    // Replaces the marks by those of the layer's objects, in z-order.
    void CopyFromTKorvaneVect(TKorvaneVect* Vect);
    // Burns the marks into the bitmap (antialiased: drawn at twice the size and reduced).
    void DrawToBitmap(TKVBitmap* Bitmap, bool Antialias) const;

private:
    std::vector<std::unique_ptr<TKVImagingObject>> FObjects;
};
