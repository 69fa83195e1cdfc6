// Plimbet's current settings and inputs, and their values in the current user's registry under
// "\Software\Daskor\Plimbet\1.0\Options".
#pragma once

#include <cstdint>
#include <string>

// The main window's inputs.
struct OptionsStr
{
    std::string ImagesPath;
    std::string TemplateFile; // memory only
    std::string GalleryPath;
    int32_t IconWidth = 150;
    int32_t IconHeight = 150;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    int32_t ImageSizeIndex = -1; // memory only: 0 keep size, 1 to 5 presets, 6 custom
    int32_t TemplateIndex = -1;  // memory only: -1 none, 0 from file, k installed template k - 1
    int32_t IconQuality = 80;
    int32_t ImageQuality = 80;
};

// Table and thumbnail-box defaults: the settings hold one, the page writer one per page.
struct ThumbStr
{
    int32_t BoxWidth = 0; // never set from the settings
    int32_t BoxHeight = 0;
    int32_t TableBorder = 1;
    int32_t TableCellspace = 0;
    int32_t TableCellpad = 0;
    std::string TableAlign;   // "Default", "Left", "Center", "Right" or empty
    std::string TableVAlign;  // "Default", "Top", "Middle", "Bottom", "Baseline" or empty
    std::string TableBGColor; // "#" and six hexadecimal digits, or empty
    std::string ViewerPage;   // memory only
    int32_t TableCols = 3;
    int32_t TableRows = 3;
};

struct TGallerySettings : OptionsStr, ThumbStr
{
    // The program's folder, ending in "/": templates/ and data/ are installed in it.
    std::string ProgramFolder;
    // Workers of a gallery run: 0 one per core, 1 the run on one thread.
    int32_t Threads = 0;
};

// The one set of current settings, alive from start-up to exit.
extern TGallerySettings GallerySettings;

// The section of all of Plimbet's values.
inline constexpr const char* OptionsSection = "Options";

// Each call opens the registry for the one value. A write creates the key when missing and does
// nothing, silently, when the store cannot be written. A read gives Default when the key or
// value is missing or the value has another type; it never creates the key.
void RegWriteString(const std::string& Section, const std::string& Name, const std::string& Value);
std::string RegReadString(const std::string& Section, const std::string& Name, const std::string& Default);
void RegWriteInteger(const std::string& Section, const std::string& Name, int32_t Value);
int32_t RegReadInteger(const std::string& Section, const std::string& Name, int32_t Default);

// Fills GallerySettings from the registry: the template and picture-size choices start at -1,
// the template file and viewer page empty; empties the installed-template and template parameter
// lists and seeds the random generator. The table values are kept within the ranges the options
// window allows. The main window then shows the values in its controls.
void LoadSettings();
