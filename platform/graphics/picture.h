// TPicture: a picture of any registered graphic class, chosen by file extension when loaded; the
// graphic classes of the imaging library register themselves here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "platform/graphics/bitmap.h"

// A graphic class, given by the function that creates an instance of it.
using TGraphicClass = std::unique_ptr<TGraphic> (*)();

template <class T> std::unique_ptr<TGraphic> CreateGraphic()
{
    return std::make_unique<T>();
}

// The class T as a TGraphicClass.
template <class T> TGraphicClass GraphicClassOf()
{
    return &CreateGraphic<T>;
}

class TPicture : public TPersistent
{
public:
    TNotifyEvent OnChange;

    TPicture();
    ~TPicture() override;

    // From a TPicture, a TGraphic (copied into a new instance of its class) or nullptr (empty).
    void Assign(TPersistent* Source) override;

    TGraphic* Graphic() const { return FGraphic.get(); }
    // A copy of the graphic, which must be a TBitmap or of a registered class.
    void SetGraphic(TGraphic* Value);
    // The picture as a bitmap; any other graphic is replaced by an empty bitmap first.
    TBitmap* Bitmap();

    int32_t Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int32_t Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // Loads with the class registered for the file's extension; an unknown extension raises
    // EInvalidGraphic and leaves the picture as it was.
    void LoadFromFile(const std::string& FileName);
    // Saves the graphic in its own format; nothing for an empty picture.
    void SaveToFile(const std::string& FileName);

    // Registers the class for an extension (without the dot, any case); a later registration of
    // the same extension takes precedence. "BMP" is registered for TBitmap from the start.
    static void RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                   TGraphicClass GraphicClass);
    // Removes every extension registered for the class.
    static void UnregisterGraphicClass(TGraphicClass GraphicClass);
    // The class for an extension, or nullptr.
    static TGraphicClass FileFormatClass(const std::string& Extension);

private:
    void GraphicChanged();
    void Replace(std::unique_ptr<TGraphic> graphic);

    std::unique_ptr<TGraphic> FGraphic;
};
