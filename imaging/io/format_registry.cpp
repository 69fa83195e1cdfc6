// The table of registered file formats, its queries, and the detection of a format from the
// content of a file or stream.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/codecs/png/pngfilt.h"
#include "imaging/codecs/tga/kvtgafil.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

using namespace Korvaneio::detail;

namespace {

// Names and extension lists were short strings of 80 characters.
constexpr size_t ShortStringLength = 80;

// The built-in formats are read and written by the component's own front ends; their rows only
// say what can be read and written. Reached through a generic path, they report a failure
// instead of a load or save that did nothing.
void ReadStub(TStream&, TKVBitmap&, TIOParamsVals&, TProgressRec& Progress, bool)
{
    CodecSetAborting(Progress);
}

void WriteStub(TStream&, TKVBitmap&, TIOParamsVals&, TProgressRec& Progress)
{
    CodecSetAborting(Progress);
}

bool TryStub(TStream&)
{
    return false;
}

struct TFormatTable
{
    std::mutex Lock;
    std::vector<std::unique_ptr<TKVFileFormatInfo>> Records;

    TFormatTable()
    {
        struct TRow
        {
            int32_t FileType;
            const char* FullName;
            const char* Extensions;
            bool Writable;
        };
        static const TRow rows[] = {
            {fmtTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F", true},
            {fmtGIF, "CompuServe Bitmap", "GIF", true},
            {fmtJPEG, "JPEG Bitmap", "JPG;JPEG;JPE", true},
            {fmtPCX, "PaintBrush", "PCX", true},
            {fmtBMP, "Windows Bitmap", "BMP;DIB;RLE", true},
            {fmtICO, "Windows Icon", "ICO", true},
            {fmtCUR, "Windows Cursor", "CUR", false},
            {fmtPNG, "Portable Network Graphics", "PNG", true},
            {fmtWMF, "Windows Metafile", "WMF", false},
            {fmtEMF, "Enhanced Windows Metafile", "EMF", false},
            {fmtTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true},
            {fmtPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM;PNM", true},
            {fmtWBMP, "Wireless Bitmap", "WBMP", true},
            {fmtJP2, "JPEG2000", "JP2", true},
            {fmtJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", true},
        };
        for (const TRow& row : rows) {
            auto record = std::make_unique<TKVFileFormatInfo>();
            record->FileType = row.FileType;
            record->FullName = row.FullName;
            record->Extensions = row.Extensions;
            record->ReadFunction = ReadStub;
            record->WriteFunction = row.Writable ? WriteStub : nullptr;
            record->TryFunction = TryStub;
            Records.push_back(std::move(record));
        }
    }
};

TFormatTable& Table()
{
    static TFormatTable table;
    return table;
}

std::string ExtensionAt(const std::string& extensions, int32_t index)
{
    if (index < 0) {
        return std::string();
    }
    size_t start = 0;
    for (int32_t i = 0; i < index; ++i) {
        const size_t separator = extensions.find(';', start);
        if (separator == std::string::npos) {
            return std::string();
        }
        start = separator + 1;
    }
    const size_t end = extensions.find(';', start);
    return extensions.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The file name's extension in lower case, without its dot.
std::string LowerExtension(const std::string& fileName)
{
    const std::string ext = LowerCase(ExtractFileExt(fileName));
    return ext.empty() ? ext : ext.substr(1);
}

// The first bytes of a stream, read once for the signature tests.
struct TStreamHead
{
    std::array<uint8_t, 128> Bytes{};
    int64_t Count = 0; // bytes read from the start position
    int64_t Size = 0;  // the stream's whole size

    // A test of a block of length bytes runs only when the stream holds more than that.
    bool Holds(int64_t length) const { return Size > length && Count >= length; }
    bool StartsWith(const char* text, size_t length) const
    {
        return std::memcmp(Bytes.data(), text, length) == 0;
    }
};

int32_t FindBySignature(const TStreamHead& head)
{
    // A NUL-terminated tag compares with its NUL, so "JFIF" matches "JFIF\0" only.
    if (head.Holds(12) && head.StartsWith("JFIF", 5)) {
        return fmtJPEG;
    }
    if (head.Holds(13) && head.StartsWith("GIF", 3)) {
        return fmtGIF;
    }
    if (head.Holds(12) && head.StartsWith("PCX2", 5)) {
        return fmtPCX;
    }
    if (head.Holds(4) && head.StartsWith("PCX", 4)) {
        return fmtPCX;
    }
    if (head.Holds(14) && head.StartsWith("BM", 2)) {
        return fmtBMP;
    }
    if (head.Holds(128) && head.Bytes[0] == 0x0A && head.Bytes[1] <= 5) {
        return fmtPCX;
    }
    if (head.Holds(12) && head.StartsWith("TIFF", 5)) {
        return fmtTIFF;
    }
    if (head.Holds(8) && (head.StartsWith("II", 2) || head.StartsWith("MM", 2))) {
        return fmtTIFF;
    }
    return fmtUnknown;
}

// The codecs' own probes, in their order; each leaves the position where it found it.
int32_t FindByProbes(TStream& stream, const TStreamHead& head, int64_t start)
{
    if (head.Size > 8) {
        stream.SetPosition(start);
        if (Pngfilt::IsPNGStream(stream)) {
            return fmtPNG;
        }
    }
    stream.SetPosition(start);
    if (Bmpfilt::ICOTryStream(stream)) {
        return fmtICO;
    }
    stream.SetPosition(start);
    if (Bmpfilt::CURTryStream(stream)) {
        return fmtCUR;
    }
    stream.SetPosition(start);
    if (Kvtgafil::TryTGA(stream)) {
        return fmtTGA;
    }
    stream.SetPosition(start);
    if (Bmpfilt::TryPXM(stream)) {
        return fmtPXM;
    }
    stream.SetPosition(start);
    if (Jpegfilt::JpegTryStream(stream) >= 0) {
        return fmtJPEG;
    }
    stream.SetPosition(start);
    if (Kvj2000::J2KTryStreamJP2(stream)) {
        return fmtJP2;
    }
    stream.SetPosition(start);
    if (Kvj2000::J2KTryStreamJ2K(stream)) {
        return fmtJ2K;
    }
    return fmtUnknown;
}

int32_t FindByRegisteredProbes(TStream& stream, int64_t start)
{
    std::vector<std::pair<int32_t, TKVTryImageStream>> probes;
    {
        TFormatTable& table = Table();
        std::lock_guard<std::mutex> lock(table.Lock);
        for (const auto& record : table.Records) {
            if (record->TryFunction != nullptr) {
                probes.emplace_back(record->FileType, record->TryFunction);
            }
        }
    }
    for (const auto& [fileType, probe] : probes) {
        stream.SetPosition(start);
        const bool found = probe(stream);
        stream.SetPosition(start);
        if (found) {
            return fileType;
        }
    }
    return fmtUnknown;
}

} // namespace

namespace Korvaneio::detail {

bool FormatDisplayName(int32_t fileType, std::string& fullName, std::string& firstExt)
{
    const TKVFileFormatInfo* info = KVFileFormatGetInfo(fileType);
    if (info == nullptr) {
        return false;
    }
    fullName = info->FullName;
    KVFileFormatGetExt(fileType, 0, firstExt);
    return true;
}

} // namespace Korvaneio::detail

namespace Korvaneio {

std::vector<TKVFileFormatInfo> KVFileFormatRecords()
{
    TFormatTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Lock);
    std::vector<TKVFileFormatInfo> records;
    for (const auto& record : table.Records) {
        records.push_back(*record);
    }
    return records;
}

TKVFileFormatInfo* KVFileFormatGetInfo(int32_t FileType)
{
    TFormatTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Lock);
    for (const auto& record : table.Records) {
        if (record->FileType == FileType) {
            return record.get();
        }
    }
    return nullptr;
}

TKVFileFormatInfo* KVFileFormatGetInfo2(const std::string& Ext)
{
    const std::string wanted = LowerCase(Ext);
    TFormatTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Lock);
    for (const auto& record : table.Records) {
        const std::string extensions = LowerCase(record->Extensions);
        for (int32_t i = 0;; ++i) {
            const std::string ext = ExtensionAt(extensions, i);
            if (ext.empty()) {
                break;
            }
            if (ext == wanted) {
                return record.get();
            }
        }
    }
    return nullptr;
}

void KVFileFormatGetExt(int32_t FileType, int32_t Index, std::string& Ext)
{
    const TKVFileFormatInfo* info = KVFileFormatGetInfo(FileType);
    Ext = info != nullptr ? ExtensionAt(info->Extensions, Index) : std::string();
}

int32_t KVFileFormatGetExtCount(int32_t FileType)
{
    int32_t count = 0;
    std::string ext;
    for (;;) {
        KVFileFormatGetExt(FileType, count, ext);
        if (ext.empty()) {
            return count;
        }
        ++count;
    }
}

void KVFileFormatAdd(const TKVFileFormatInfo& Record)
{
    auto copy = std::make_unique<TKVFileFormatInfo>(Record);
    copy->FullName.resize(std::min(copy->FullName.size(), ShortStringLength));
    copy->Extensions.resize(std::min(copy->Extensions.size(), ShortStringLength));
    TFormatTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Lock);
    table.Records.push_back(std::move(copy));
}

void KVFileFormatRemove(int32_t FileType)
{
    TFormatTable& table = Table();
    std::lock_guard<std::mutex> lock(table.Lock);
    const auto it = std::find_if(table.Records.begin(), table.Records.end(),
                                 [&](const auto& record) { return record->FileType == FileType; });
    if (it != table.Records.end()) {
        table.Records.erase(it);
    }
}

void KVUpdateGIFStatus()
{
    TKVFileFormatInfo* info = KVFileFormatGetInfo(fmtGIF);
    if (info == nullptr) {
        return;
    }
    info->ReadFunction = DefGIF_LZWDECOMPFUNC != nullptr ? ReadStub : nullptr;
    info->WriteFunction = DefGIF_LZWCOMPFUNC != nullptr ? WriteStub : nullptr;
}

bool IsKnownFormat(const std::string& FileName)
{
    const std::string ext = LowerExtension(FileName);
    return !ext.empty() && KVFileFormatGetInfo2(ext) != nullptr;
}

int32_t FindStreamFormat(TStream& Stream)
{
    int32_t result = fmtUnknown;
    int64_t start = 0;
    try {
        start = Stream.Position();
        result = FindByRegisteredProbes(Stream, start);
        if (result == fmtUnknown) {
            TStreamHead head;
            head.Size = Stream.Size();
            Stream.SetPosition(start);
            head.Count = Stream.Read(head.Bytes.data(), static_cast<int64_t>(head.Bytes.size()));
            result = FindBySignature(head);
            if (result == fmtUnknown) {
                result = FindByProbes(Stream, head, start);
            }
        }
    } catch (...) {
        // A probe that fails ends the search with nothing found.
        result = fmtUnknown;
    }
    try {
        Stream.SetPosition(start);
    } catch (...) {
    }
    return result;
}

int32_t FindFileFormat(const std::string& FileName, bool VerifyExtension)
{
    int32_t result = fmtUnknown;
    try {
        TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        result = FindStreamFormat(file);
    } catch (...) {
        return fmtUnknown;
    }
    if (!VerifyExtension || result == fmtUnknown) {
        return result;
    }
    const TKVFileFormatInfo* info = KVFileFormatGetInfo2(LowerExtension(FileName));
    if (info == nullptr) {
        return fmtUnknown;
    }
    // Icons and cursors share one layout: the extension tells which it is.
    if (result == fmtICO || result == fmtCUR) {
        return info->FileType == fmtICO || info->FileType == fmtCUR ? info->FileType : fmtUnknown;
    }
    return result == info->FileType ? result : fmtUnknown;
}

} // namespace Korvaneio
