// TPicture and the registry of graphic classes by file extension.
#include "platform/graphics/picture.h"

#include <mutex>
#include <typeindex>

#include "platform/core/files.h"
#include "platform/core/strings.h"

namespace {

struct TFileFormat
{
    std::string Extension; // upper case, without the dot
    std::string Description;
    TGraphicClass GraphicClass;
    std::type_index Type;
};

struct TFormatRegistry
{
    std::mutex Lock;
    std::vector<TFileFormat> Formats; // the latest registration first

    TFormatRegistry() { Formats.push_back({"BMP", "Bitmaps", GraphicClassOf<TBitmap>(), typeid(TBitmap)}); }
};

TFormatRegistry& Registry()
{
    static TFormatRegistry registry;
    return registry;
}

std::string ExtensionKey(const std::string& extension)
{
    return UpperCase(!extension.empty() && extension[0] == '.' ? extension.substr(1) : extension);
}

// The class that makes graphics of the same type as the given one.
TGraphicClass ClassOfInstance(const TGraphic& graphic)
{
    TFormatRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.Lock);
    for (const TFileFormat& format : registry.Formats) {
        if (format.Type == std::type_index(typeid(graphic))) {
            return format.GraphicClass;
        }
    }
    return nullptr;
}

} // namespace

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

void TPicture::RegisterFileFormat(const std::string& Extension, const std::string& Description,
                                  TGraphicClass GraphicClass)
{
    if (!GraphicClass) {
        return;
    }
    // The type is learnt from one instance, so that copies of graphics find their class.
    const std::unique_ptr<TGraphic> sample = GraphicClass();
    const std::type_index type = typeid(*sample);
    TFormatRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.Lock);
    registry.Formats.insert(registry.Formats.begin(),
                            {ExtensionKey(Extension), Description, GraphicClass, type});
}

void TPicture::UnregisterGraphicClass(TGraphicClass GraphicClass)
{
    TFormatRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.Lock);
    std::erase_if(registry.Formats, [&](const TFileFormat& f) { return f.GraphicClass == GraphicClass; });
}

TGraphicClass TPicture::FileFormatClass(const std::string& Extension)
{
    const std::string key = ExtensionKey(Extension);
    TFormatRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.Lock);
    for (const TFileFormat& format : registry.Formats) {
        if (format.Extension == key) {
            return format.GraphicClass;
        }
    }
    return nullptr;
}

void TPicture::GraphicChanged()
{
    if (OnChange) {
        OnChange(this);
    }
}

void TPicture::Replace(std::unique_ptr<TGraphic> graphic)
{
    FGraphic = std::move(graphic);
    if (FGraphic) {
        FGraphic->OnChange = [this](TObject*) { GraphicChanged(); };
    }
    GraphicChanged();
}

void TPicture::SetGraphic(TGraphic* Value)
{
    if (Value == FGraphic.get()) {
        return;
    }
    if (!Value) {
        Replace(nullptr);
        return;
    }
    const TGraphicClass graphicClass = dynamic_cast<TBitmap*>(Value) && typeid(*Value) == typeid(TBitmap)
                                           ? GraphicClassOf<TBitmap>()
                                           : ClassOfInstance(*Value);
    if (!graphicClass) {
        throw EInvalidGraphic("Unknown picture class");
    }
    std::unique_ptr<TGraphic> copy = graphicClass();
    copy->Assign(Value);
    Replace(std::move(copy));
}

TBitmap* TPicture::Bitmap()
{
    auto* bitmap = dynamic_cast<TBitmap*>(FGraphic.get());
    if (!bitmap || typeid(*bitmap) != typeid(TBitmap)) {
        Replace(std::make_unique<TBitmap>());
        bitmap = static_cast<TBitmap*>(FGraphic.get());
    }
    return bitmap;
}

void TPicture::Assign(TPersistent* Source)
{
    if (!Source) {
        SetGraphic(nullptr);
    } else if (auto* picture = dynamic_cast<TPicture*>(Source)) {
        SetGraphic(picture->Graphic());
    } else if (auto* graphic = dynamic_cast<TGraphic*>(Source)) {
        SetGraphic(graphic);
    } else {
        TPersistent::Assign(Source);
    }
}

void TPicture::LoadFromFile(const std::string& FileName)
{
    const std::string extension = ExtractFileExt(FileName);
    const TGraphicClass graphicClass = FileFormatClass(extension);
    if (!graphicClass) {
        throw EInvalidGraphic("Unknown picture file extension (" + extension + ")");
    }
    std::unique_ptr<TGraphic> graphic = graphicClass();
    graphic->LoadFromFile(FileName);
    Replace(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& FileName)
{
    if (FGraphic) {
        FGraphic->SaveToFile(FileName);
    }
}
