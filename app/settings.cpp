// Plimbet's current settings and their registry values.
#include "app/settings.h"

#include "app/template_params.h"
#include "app/templates.h"
#include "platform/core/exceptions.h"
#include "platform/core/random.h"
#include "platform/core/registry.h"

#include <algorithm>

TGallerySettings GallerySettings;

namespace {

std::string SectionKey(const std::string& Section)
{
    return "\\Software\\Daskor\\Plimbet\\1.0\\" + Section;
}

template <class TWrite> void WriteValue(const std::string& Section, TWrite Write)
{
    try {
        TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (registry.OpenKey(SectionKey(Section), true)) {
            Write(registry);
            registry.CloseKey();
        }
    } catch (const Exception&) {
        // A store that cannot be written loses this one value; the program goes on.
    }
}

template <class TValue, class TRead>
TValue ReadValue(const std::string& Section, const std::string& Name, const TValue& Default, TRead Read)
{
    try {
        TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (registry.OpenKeyReadOnly(SectionKey(Section)) && registry.ValueExists(Name)) {
            return Read(registry);
        }
    } catch (const Exception&) {
        // A value of another type reads as the setting's default.
    }
    return Default;
}

} // namespace

void RegWriteString(const std::string& Section, const std::string& Name, const std::string& Value)
{
    WriteValue(Section, [&](TRegistry& Registry) { Registry.WriteString(Name, Value); });
}

std::string RegReadString(const std::string& Section, const std::string& Name, const std::string& Default)
{
    return ReadValue(Section, Name, Default, [&](TRegistry& Registry) { return Registry.ReadString(Name); });
}

void RegWriteInteger(const std::string& Section, const std::string& Name, int32_t Value)
{
    WriteValue(Section, [&](TRegistry& Registry) { Registry.WriteInteger(Name, Value); });
}

int32_t RegReadInteger(const std::string& Section, const std::string& Name, int32_t Default)
{
    return ReadValue(Section, Name, Default, [&](TRegistry& Registry) { return Registry.ReadInteger(Name); });
}

void LoadSettings()
{
    TGallerySettings& s = GallerySettings;
    s.TemplateIndex = -1;
    s.ImageSizeIndex = -1;
    s.TemplateFile.clear();
    s.ViewerPage.clear();

    s.IconWidth = RegReadInteger(OptionsSection, "IconWidth", 150);
    s.IconHeight = RegReadInteger(OptionsSection, "IconHeight", 150);
    s.ImageWidth = RegReadInteger(OptionsSection, "ImageWidth", 0);
    s.ImageHeight = RegReadInteger(OptionsSection, "ImageHeight", 0);
    s.IconQuality = RegReadInteger(OptionsSection, "IconQuality", 80);
    s.ImageQuality = RegReadInteger(OptionsSection, "ImageQuality", 80);
    InstalledTemplates.clear();
    s.ImagesPath = RegReadString(OptionsSection, "ImagesPath", "");
    s.GalleryPath = RegReadString(OptionsSection, "GalleryPath", "");

    // A damaged store must not make tables of no columns or negative borders: the values are
    // held within the ranges the options window offers.
    s.TableCols = std::clamp(RegReadInteger(OptionsSection, "TableCols", 3), 2, 20);
    s.TableRows = std::clamp(RegReadInteger(OptionsSection, "TableRows", 3), 2, 20);
    s.TableBorder = std::clamp(RegReadInteger(OptionsSection, "TableBorder", 1), 0, 10);
    s.TableCellspace = std::clamp(RegReadInteger(OptionsSection, "TableCellspace", 0), 0, 20);
    s.TableCellpad = std::clamp(RegReadInteger(OptionsSection, "TableCellpad", 0), 0, 20);
    s.TableAlign = RegReadString(OptionsSection, "TableAlign", "");
    s.TableVAlign = RegReadString(OptionsSection, "TableVAlign", "");
    s.TableBGColor = RegReadString(OptionsSection, "TableBGColor", "");
    s.Threads = std::max(RegReadInteger(OptionsSection, "Threads", 0), 0);

    TemplateParams.Clear();
    Randomize();
}
