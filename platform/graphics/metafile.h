// TMetafile: a Windows metafile, enhanced (EMF) or not (WMF, with or without its placeable
// header), drawn onto canvases by our own player. Its size is that of its frame at the screen's
// 96 pixels per inch.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics/bitmap.h"

// The largest metafile read.
constexpr int64_t kMaxMetafileBytes = int64_t(256) << 20;

class TMetafile : public TGraphic
{
public:
    TMetafile();
    ~TMetafile() override;

    // A copy of another TMetafile; nullptr empties this one.
    void Assign(TPersistent* Source) override;

    // Plays the records with the picture's frame filling Rect, drawn aliased.
    void Draw(TCanvas* ACanvas, const TRect& Rect) override;
    bool GetEmpty() const override { return FData.empty(); }
    int32_t GetWidth() const override { return FWidth; }
    int32_t GetHeight() const override { return FHeight; }
    // The size the picture is drawn at by Draw at a point; the frame stays as it is.
    void SetWidth(int32_t Value) override;
    void SetHeight(int32_t Value) override;

    // Reads a WMF or EMF from the stream's position to its end. Anything else, or a file past
    // kMaxMetafileBytes, raises EInvalidGraphic and leaves the picture as it was.
    void LoadFromStream(TStream& Stream) override;
    // Writes the file as it was read.
    void SaveToStream(TStream& Stream) override;

    bool Enhanced() const { return FEnhanced; }
    // The frame in hundredths of a millimetre.
    int32_t MMWidth() const;
    int32_t MMHeight() const;

private:
    std::vector<uint8_t> FData;
    bool FEnhanced = false;
    double FMMWidth = 0;
    double FMMHeight = 0;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
};
