// The open and save dialogs' filter text, file-name rules and information lines.
#include "imaging/dialogs/opensave_texts.h"

#include "imaging/codecs/params/ioparams.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <cctype>

namespace Kvopensavedlg {

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

// Where the extension of a path's last component starts (its dot), npos without one; a leading
// dot names a hidden file, not an extension.
size_t ExtensionDot(const std::string& FileName)
{
    const size_t slash = FileName.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = FileName.find_last_of('.');
    return dot != std::string::npos && dot > nameStart ? dot : std::string::npos;
}

std::string TrimBlanks(const std::string& s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) {
        return std::string();
    }
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string Word(int32_t word, TMsgLanguage language)
{
    return Daduvudez::kvmsg(static_cast<TMsgLanguageWords>(word), language);
}

} // namespace

std::string BuildStrFilter(bool SaveDialog, const std::string& ExtendedFilter, TMsgLanguage Language)
{
    Korvaneio::KVUpdateGIFStatus();
    std::string all = Word(KVMSG_ALLGRAPHICS, Language) + "|";
    std::string result;
    bool first = true;
    for (const TKVFileFormatInfo& record : Korvaneio::KVFileFormatRecords()) {
        if (SaveDialog ? record.WriteFunction == nullptr : record.ReadFunction == nullptr) {
            continue;
        }
        const int32_t count = Korvaneio::KVFileFormatGetExtCount(record.FileType);
        std::string patterns;
        std::string names;
        for (int32_t i = 0; i < count; ++i) {
            std::string ext;
            Korvaneio::KVFileFormatGetExt(record.FileType, i, ext);
            patterns.append(i == 0 ? "*." : ";*.").append(Lower(ext));
            names.append(i == 0 ? "" : ";").append(Upper(ext));
        }
        all.append(first ? "" : ";").append(patterns);
        first = false;
        result.append("|").append(record.FullName).append(" (").append(names).append(")|").append(patterns);
    }
    all += ";*.avi";
    result.append("|").append(Word(KVMSG_VIDEOFORWINDOWS, Language)).append(" (AVI)|*.avi");

    // The caller's entries: descriptions and patterns alternate; the patterns also join the
    // all-pictures entry.
    std::string merged;
    std::string extraPatterns;
    bool inPattern = false;
    for (size_t i = 0; i < ExtendedFilter.size(); ++i) {
        const char c = ExtendedFilter[i];
        if (!inPattern) {
            merged += c;
            if (c == '|') {
                inPattern = true;
            }
            continue;
        }
        const bool last = i + 1 == ExtendedFilter.size();
        if (c != '|' && !last) {
            merged += c;
            extraPatterns += c;
            continue;
        }
        merged += c;
        if (c != '|') {
            extraPatterns += c;
        }
        if (!last) {
            extraPatterns += ';';
        }
        inPattern = false;
    }
    merged = TrimBlanks(merged);
    extraPatterns = TrimBlanks(extraPatterns);
    if (!merged.empty()) {
        result += "|" + merged;
    }
    if (!extraPatterns.empty()) {
        all += ";" + extraPatterns;
    }
    return SaveDialog ? result.substr(1) : all + result;
}

std::string DefaultSaveFilter()
{
    std::string f = "JPEG Bitmap (JPG)|*.jpg";
    const TKVFileFormatInfo* gif = Korvaneio::KVFileFormatGetInfo(2);
    if (gif != nullptr && gif->WriteFunction != nullptr) {
        f += "|CompuServe Bitmap (GIF)|*.gif";
    }
    f += "|TIFF Bitmap (TIF)|*.tif|PaintBrush (PCX)|*.pcx|Portable Network Graphics (PNG)|*.png"
         "|Windows Bitmap (BMP)|*.bmp|OS/2 Bitmap (BMP)|*.bmp|Targa Bitmap (TGA)|*.tga"
         "|Portable PixMap (PXM)|*.pxm|Portable PixMap (PPM)|*.ppm|Portable GreyMap (PGM)|*.pgm"
         "|Portable Bitmap (PBM)|*.pbm|JPEG2000 (JP2)|*.jp2|JPEG2000 Code Stream (J2K)|*.j2k";
    return f;
}

std::string FilterPattern(const std::string& Filter, int32_t Index)
{
    if (Index < 1) {
        return std::string();
    }
    // Entries are description|pattern pairs: the pattern of entry n is field 2n - 1 (from 0).
    const int32_t wanted = 2 * Index - 1;
    int32_t field = 0;
    size_t start = 0;
    for (size_t i = 0; i <= Filter.size(); ++i) {
        if (i == Filter.size() || Filter[i] == '|') {
            if (field == wanted) {
                return Filter.substr(start, i - start);
            }
            ++field;
            start = i + 1;
        }
    }
    return std::string();
}

std::string FirstExtension(const std::string& Pattern)
{
    const size_t dot = Pattern.find('.');
    if (dot == std::string::npos) {
        return std::string();
    }
    const size_t end = Pattern.find(';', dot);
    std::string ext = Pattern.substr(dot, end == std::string::npos ? std::string::npos : end - dot);
    // "*.*" and the like name no extension a file could take.
    return ext.find_first_of("*?") == std::string::npos ? ext : std::string();
}

std::string ReplaceExtension(const std::string& FileName, const std::string& Ext)
{
    const size_t dot = ExtensionDot(FileName);
    return dot == std::string::npos ? FileName + Ext : FileName.substr(0, dot) + Ext;
}

std::string WithDefaultExtension(const std::string& FileName, const std::string& Pattern)
{
    if (FileName.empty() || FileName.back() == '/' || ExtensionDot(FileName) != std::string::npos) {
        return FileName; // nothing, a folder, or a name with its extension
    }
    return FileName + FirstExtension(Pattern);
}

bool ExtensionDiffers(const std::string& FileName, const std::string& DefaultExt)
{
    const size_t dot = ExtensionDot(FileName);
    const std::string chosen = dot == std::string::npos ? std::string() : FileName.substr(dot + 1);
    const std::string wanted =
        !DefaultExt.empty() && DefaultExt.front() == '.' ? DefaultExt.substr(1) : DefaultExt;
    return !chosen.empty() && !wanted.empty() && Lower(chosen) != Lower(wanted);
}

TPreviewParams PreviewPagesOfExtension(const std::string& Ext)
{
    std::string ext = Lower(Ext);
    if (!ext.empty() && ext.front() == '.') {
        ext.erase(0, 1);
    }
    static const struct
    {
        const char* Ext;
        TPreviewParam Page;
    } pages[] = {
        {"jpg", ppJPEG},  {"jpeg", ppJPEG}, {"jpe", ppJPEG}, {"jp2", ppJ2000}, {"j2k", ppJ2000},
        {"jpc", ppJ2000}, {"j2c", ppJ2000}, {"tif", ppTIFF}, {"tiff", ppTIFF}, {"fax", ppTIFF},
        {"g3f", ppTIFF},  {"g3n", ppTIFF},  {"gif", ppGIF},  {"bmp", ppBMP},   {"dib", ppBMP},
        {"rle", ppBMP},   {"pcx", ppPCX},   {"png", ppPNG},  {"tga", ppTGA},   {"targa", ppTGA},
        {"vda", ppTGA},   {"icb", ppTGA},   {"vst", ppTGA},  {"win", ppTGA},
    };
    for (const auto& entry : pages) {
        if (ext != entry.Ext) {
            continue;
        }
        if (entry.Page == ppGIF) {
            Korvaneio::KVUpdateGIFStatus();
            const TKVFileFormatInfo* gif = Korvaneio::KVFileFormatGetInfo(2);
            if (gif == nullptr || gif->WriteFunction == nullptr) {
                return 0;
            }
        }
        return PreviewSet(entry.Page);
    }
    return 0;
}

std::string PlatformLocaleOf(TMsgLanguage Language)
{
    if (Language == msSystem)
        Language = Daduvudez::LocaleLanguage();
    switch (Language) {
    case msItalian:
        return "it";
    case msGerman:
        return "de";
    case msSpanish:
        return "es";
    case msFrench:
        return "fr";
    case msPortuguese:
        return "pt_PT";
    case msGreek:
        return "el";
    case msRussian:
        return "ru";
    case msDutch:
        return "nl";
    case msSwedish:
        return "sv";
    case msPolish:
        return "pl";
    default:
        return {};
    }
}

std::string SizeText(int64_t Bytes)
{
    return Bytes >= 1024 ? std::to_string(Bytes / 1024) + " Kb" : std::to_string(Bytes) + " bytes";
}

std::string ColourCountText(int32_t SamplesPerPixel, int32_t BitsPerSample)
{
    const int64_t bits = int64_t(SamplesPerPixel) * BitsPerSample;
    if (SamplesPerPixel == 4 && BitsPerSample == 8) {
        return "16777216";
    }
    if (SamplesPerPixel == 3 && BitsPerSample == 16) {
        return "2^48";
    }
    if (bits >= 32 || bits < 0) {
        return "2^" + std::to_string(bits);
    }
    return std::to_string(int64_t(1) << bits);
}

TKVFileInfoTexts FileInfoTexts(const TIOParamsVals* Params, int64_t FileSize, int32_t Frames,
                               TMsgLanguage Language)
{
    TKVFileInfoTexts t;
    if (Params == nullptr) {
        return t;
    }
    const TIOParamsVals& p = *Params;
    const bool jpeg = p.FileType == 3;
    const int64_t width = jpeg ? p.JPEG_OriginalWidth : p.Width;
    const int64_t height = jpeg ? p.JPEG_OriginalHeight : p.Height;
    t.Dimensions = std::to_string(width) + " x " + std::to_string(height) + " pixel";
    if (Frames > 1) {
        t.Dimensions += " , " + std::to_string(Frames) + " frames";
    }
    t.Resolution = std::to_string(p.DpiX) + " x " + std::to_string(p.DpiY) + " dpi";
    t.Colours = ColourCountText(p.SamplesPerPixel, p.BitsPerSample) + " " + Word(KVMSG_COLORS, Language) +
                " (" + std::to_string(int64_t(p.SamplesPerPixel) * p.BitsPerSample) + " bit)";
    const int64_t b = p.SamplesPerPixel == 1 && p.BitsPerSample == 1 ? 1 : 24;
    const int64_t memory = ((width * b + 31) / 32) * 4 * height * std::max<int64_t>(Frames, 1);
    t.Sizes = Word(KVMSG_FILE, Language) + ": " + SizeText(FileSize) + "   " + Word(KVMSG_MEM, Language) +
              ": " + SizeText(memory);
    t.FileType = p.GetFileTypeStr();
    return t;
}

} // namespace Kvopensavedlg
