// Helpers of the TIFF tests: our reader on a file or stream, and the standard tools' pixels.
#include "tests/codecs/tiff_support.h"

#include "imaging/codecs/tiff/tiff_lzw.h"
#include "imaging/codecs/tiff/tiffilt.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace kvtifftest {

std::string GoData(const std::string& name)
{
    return "/usr/share/gocode/src/golang.org/x/image/testdata/" + name;
}

std::string GoFax(const std::string& name)
{
    return "/usr/share/gocode/src/golang.org/x/image/ccitt/testdata/" + name;
}

std::string Pixbuf(const std::string& name)
{
    return "/usr/libexec/installed-tests/gdk-pixbuf/" + name;
}

std::string RustTiff(const std::string& name)
{
    return "/usr/share/cargo/registry/tiff-0.7.3/tests/" + name;
}

Bytes FileBytes(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& fileName, const Bytes& bytes)
{
    std::ofstream out(fileName, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Tool(const std::string& command, int* status)
{
    return kvtest::RunTool(command, status);
}

void TTiffSamples::Run(const std::string& command)
{
    int status = -1;
    Tool("(" + command + ") 2>/dev/null", &status);
    ASSERT_EQ(status, 0) << command;
}

kvtest::TempFolder* TTiffSamples::Folder = nullptr;

void TTiffSamples::SetUpTestSuite()
{
    Folder = new kvtest::TempFolder;
    for (const std::string& command : {
             "pngtopnm " + GoData("video-001.png") + " > " + F("photo.ppm"),
             "ppmtopgm " + F("photo.ppm") + " > " + F("grey.pgm"),
             "pgmramp -lr 150 103 > " + F("alpha.pgm"),
             "pngtopnm " + GoData("bw-gopher.png") + " | pgmtopbm -threshold > " + F("page.pbm"),
             "pnmtotiff " + F("photo.ppm") + " > " + F("photo.tif"),
             "pnmtotiff " + F("page.pbm") + " > " + F("page.tif"),
             "pnmtotiff -minisblack " + F("page.pbm") + " > " + F("page-mb.tif"),
         }) {
        Run(command);
    }
}

void TTiffSamples::TearDownTestSuite()
{
    delete Folder;
    Folder = nullptr;
}

std::string TTiffSamples::F(const std::string& name)
{
    return Folder->File(name);
}

std::vector<TSampleLayout> TTiffSamples::Layouts()
{
    // Commands that write to their standard output end in ">".
    return {
        {"none.tif", "tiffcp -c none " + F("photo.tif"), true},
        {"lzw.tif", "tiffcp -c lzw:2 " + F("photo.tif"), true},
        {"packbits.tif", "tiffcp -c packbits " + F("photo.tif"), true},
        {"zip.tif", "tiffcp -c zip:2 " + F("photo.tif"), true},
        {"jpeg.tif", "tiffcp -c jpeg -r 32 " + F("photo.tif"), false},
        {"jpeg-rgb.tif", "tiffcp -c jpeg:r -r 16 " + F("photo.tif"), false},
        {"tiles.tif", "tiffcp -t -w 32 -l 48 -c lzw:2 " + F("photo.tif"), true},
        {"jpeg-tiles.tif", "tiffcp -t -w 64 -l 64 -c jpeg " + F("photo.tif"), false},
        {"separate.tif", "tiffcp -p separate -c lzw:2 " + F("photo.tif"), true},
        {"big-endian.tif", "tiffcp -B -c lzw:2 " + F("photo.tif"), true},
        {"bigtiff.tif", "tiffcp -8 -c lzw " + F("photo.tif"), true},
        {"cmyk.tif", "pnmtotiffcmyk " + F("photo.ppm") + " >", true},
        {"cmyk-lzw.tif", "convert " + F("photo.ppm") + " -colorspace CMYK -depth 8 -compress lzw", true},
        {"palette.tif", "pnmquant 64 " + F("photo.ppm") + " | pnmtotiff -lzw >", true},
        {"palette-4bit.tif", "pnmquant 16 " + F("photo.ppm") + " | pnmtotiff -indexbits 4 >", true},
        {"palette-1bit.tif", "pnmquant 2 " + F("photo.ppm") + " | pnmtotiff -indexbits 1 >", true},
        {"rgb16.tif", "pamdepth 65535 " + F("photo.ppm") + " | pnmtotiff >", true},
        {"grey.tif", "pnmtotiff -packbits " + F("grey.pgm") + " >", true},
        {"grey2.tif", "pamdepth 3 " + F("grey.pgm") + " | pnmtotiff >", true},
        {"grey4.tif", "pamdepth 15 " + F("grey.pgm") + " | pnmtotiff >", true},
        {"grey16.tif", "pamdepth 65535 " + F("grey.pgm") + " | pnmtotiff >", true},
        {"rgba.tif",
         "pamstack -tupletype RGB_ALPHA " + F("photo.ppm") + " " + F("alpha.pgm") + " | pamtotiff >", false},
        {"grey-alpha.tif",
         "pamstack -tupletype GRAYSCALE_ALPHA " + F("grey.pgm") + " " + F("alpha.pgm") + " | pamtotiff >",
         false},
        {"bw-none.tif", "tiffcp -c none " + F("page.tif"), true},
        {"bw-lzw.tif", "tiffcp -c lzw " + F("page.tif"), true},
        {"bw-packbits.tif", "tiffcp -c packbits " + F("page.tif"), true},
        {"bw-g3.tif", "tiffcp -c g3 " + F("page.tif"), true},
        {"bw-g3-2d.tif", "tiffcp -c g3:2d " + F("page.tif"), true},
        {"bw-g3-fill.tif", "tiffcp -c g3:2d:fill " + F("page.tif"), true},
        {"bw-g4.tif", "tiffcp -c g4 " + F("page.tif"), true},
        {"bw-g4-lsb.tif", "tiffcp -c g4 -f lsb2msb " + F("page.tif"), true},
        {"bw-g3-lsb.tif", "tiffcp -c g3 -f lsb2msb " + F("page.tif"), true},
        {"bw-none-lsb.tif", "tiffcp -c none -f lsb2msb " + F("page.tif"), true},
        {"bw-mb-g4.tif", "tiffcp -c g4 " + F("page-mb.tif"), true},
        {"bw-mb-g3.tif", "tiffcp -c g3 " + F("page-mb.tif"), true},
        {"bw-mb-none.tif", "tiffcp -c none " + F("page-mb.tif"), true},
        {"bw-tiles-g4.tif", "tiffcp -t -w 64 -l 16 -c g4 " + F("page.tif"), true},
    };
}

TTiffRead::TTiffRead()
{
    Params.TIFF_LZWDecompress = Tiflzw::TIFFLZWDecompress;
    Params.TIFF_LZWCompress = Tiflzw::TIFFLZWCompress;
}

void ReadTiff(TStream& stream, TTiffRead& read, int32_t page, bool paramsOnly, bool upright)
{
    read.Params.TIFF_ImageIndex = page;
    read.Params.TIFF_EnableAdjustOrientation = upright;
    TProgressRec progress = kvtest::ProgressInto(read.Aborted);
    Tiffilt::TIFFReadStream(&read.Bitmap, stream, read.Pages, &read.Params, progress, paramsOnly, read.Alpha,
                            true, false, false);
}

bool ReadTiffFile(const std::string& fileName, TTiffRead& read, int32_t page, bool paramsOnly, bool upright)
{
    TFileStream stream(fileName, fmOpenRead);
    ReadTiff(stream, read, page, paramsOnly, upright);
    return !read.Aborted;
}

void ReadBuilt(const TTiffBuilder& builder, TTiffRead& read)
{
    const Bytes file = builder.Build();
    TMemoryStream stream;
    kvtest::FillStream(stream, file);
    ReadTiff(stream, read);
}

Bytes Le(const std::vector<uint64_t>& values, int32_t size)
{
    Bytes out;
    for (const uint64_t v : values) {
        for (int32_t i = 0; i < size; ++i) {
            out.push_back(uint8_t(v >> (8 * i)));
        }
    }
    return out;
}

TTiffBuilder::TTiffBuilder(bool intel, bool big) : FIntel(intel), FBig(big), FPages(1) {}

void TTiffBuilder::Put(Bytes& out, uint64_t value, int32_t size) const
{
    for (int32_t i = 0; i < size; ++i) {
        const int32_t shift = FIntel ? 8 * i : 8 * (size - 1 - i);
        out.push_back(uint8_t(value >> shift));
    }
}

uint32_t TTiffBuilder::Data(const Bytes& bytes)
{
    if (FData.size() % 2 != 0) {
        FData.push_back(0);
    }
    const uint32_t offset = uint32_t((FDataStart > 0 ? FDataStart : FBig ? 16 : 8) + FData.size());
    FData.insert(FData.end(), bytes.begin(), bytes.end());
    return offset;
}

TTiffBuilder& TTiffBuilder::Entry(uint16_t tag, uint16_t type, const std::vector<uint32_t>& values)
{
    const int32_t size = type == 3 || type == 8                             ? 2
                         : type == 1 || type == 2 || type == 6 || type == 7 ? 1
                         : type >= 16 && type <= 18                         ? 8 // LONG8, SLONG8, IFD8
                                                                            : 4;
    TEntry entry{tag, type, uint32_t(type == 5 || type == 10 ? values.size() / 2 : values.size()), {}};
    for (const uint32_t value : values) {
        Put(entry.Value, value, size);
    }
    FPages.back().push_back(entry);
    return *this;
}

TTiffBuilder& TTiffBuilder::Ascii(uint16_t tag, const std::string& text)
{
    TEntry entry{tag, 2, uint32_t(text.size() + 1), Bytes(text.begin(), text.end())};
    entry.Value.push_back(0);
    FPages.back().push_back(entry);
    return *this;
}

TTiffBuilder& TTiffBuilder::EntryBytes(uint16_t tag, uint16_t type, uint32_t count, const Bytes& bytes)
{
    FPages.back().push_back(TEntry{tag, type, count, bytes});
    return *this;
}

TTiffBuilder& TTiffBuilder::RawEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField)
{
    TEntry entry{tag, type, count, {}};
    entry.Raw = true;
    entry.ValueField = valueField;
    FPages.back().push_back(entry);
    return *this;
}

TTiffBuilder& TTiffBuilder::Page(int32_t width, int32_t height, int32_t samples, int32_t bits,
                                 int32_t photometric, const Bytes& pixels, int32_t compression)
{
    Long(256, uint32_t(width)).Long(257, uint32_t(height));
    Entry(258, 3, std::vector<uint32_t>(size_t(samples), uint32_t(bits)));
    Short(259, uint32_t(compression)).Short(262, uint32_t(photometric)).Short(277, uint32_t(samples));
    Long(278, uint32_t(height)).Long(273, Data(pixels)).Long(279, uint32_t(pixels.size()));
    return *this;
}

TTiffBuilder& TTiffBuilder::NextPage()
{
    FPages.emplace_back();
    return *this;
}

TTiffBuilder& TTiffBuilder::Link(int32_t from, int32_t to)
{
    FLinks.emplace_back(from, to);
    return *this;
}

Bytes TTiffBuilder::Build() const
{
    // Offsets, counts and value fields of the form, and where the first-directory pointer is.
    const int32_t field = FBig ? 8 : 4;
    const size_t firstPointer = FBig ? 8 : 4;
    Bytes out = {uint8_t(FIntel ? 'I' : 'M'), uint8_t(FIntel ? 'I' : 'M')};
    Put(out, FBig ? 43 : 42, 2);
    if (FBig) {
        Put(out, 8, 2); // the size of an offset
        Put(out, 0, 2);
    }
    Put(out, 0, field); // first directory, set below
    if (FDataStart == 0) {
        out.insert(out.end(), FData.begin(), FData.end());
    }
    // Values that do not fit in their entries, then the directories.
    std::vector<std::vector<uint32_t>> valueOffsets(FPages.size());
    for (size_t p = 0; p < FPages.size(); ++p) {
        for (const TEntry& entry : FPages[p]) {
            if (out.size() % 2 != 0) {
                out.push_back(0);
            }
            valueOffsets[p].push_back(uint32_t(out.size()));
            if (!entry.Raw && entry.Value.size() > size_t(field)) {
                out.insert(out.end(), entry.Value.begin(), entry.Value.end());
            }
        }
    }
    std::vector<uint32_t> directories;
    std::vector<size_t> nextFields;
    for (size_t p = 0; p < FPages.size(); ++p) {
        if (out.size() % 2 != 0) {
            out.push_back(0);
        }
        directories.push_back(uint32_t(out.size()));
        std::vector<TEntry> entries = FPages[p];
        std::vector<uint32_t> offsets = valueOffsets[p];
        Put(out, uint32_t(entries.size()), FBig ? 8 : 2);
        for (size_t i = 0; i < entries.size(); ++i) {
            const TEntry& entry = entries[i];
            Put(out, entry.Tag, 2);
            Put(out, entry.Type, 2);
            Put(out, entry.Count, field);
            if (entry.Raw) {
                Put(out, entry.ValueField, field);
            } else if (entry.Value.size() <= size_t(field)) {
                Bytes value = entry.Value;
                value.resize(size_t(field), 0);
                out.insert(out.end(), value.begin(), value.end());
            } else {
                Put(out, offsets[i], field);
            }
        }
        nextFields.push_back(out.size());
        Put(out, 0, field);
    }
    auto patch = [&](size_t at, uint32_t value) {
        Bytes bytes;
        Put(bytes, value, field);
        std::copy(bytes.begin(), bytes.end(), out.begin() + long(at));
    };
    patch(firstPointer, directories[0]);
    for (size_t p = 0; p + 1 < FPages.size(); ++p) {
        patch(nextFields[p], directories[p + 1]);
    }
    for (const auto& [from, to] : FLinks) {
        patch(nextFields[size_t(from)], directories[size_t(to)]);
    }
    if (FDataStart > 0) {
        EXPECT_LE(out.size(), FDataStart) << "the directories do not fit before the data";
        out.resize(FDataStart, 0);
        out.insert(out.end(), FData.begin(), FData.end());
    }
    return out;
}

TRelaid DirectoryFirst(const Bytes& file, const std::vector<uint32_t>& counts)
{
    TMemoryStream stream;
    kvtest::FillStream(stream, file);
    TTIFFEnv env;
    int32_t pages = 0;
    TRelaid relaid;
    if (!Tiffilt::TIFFLoadTags(stream, pages, 0, env)) {
        ADD_FAILURE() << "no TIFF";
        return relaid;
    }
    const bool tiled = Tiffilt::TIFFFindTAG(324, env) >= 0;
    const uint16_t offsetsTag = tiled ? 324 : 273;
    const uint16_t countsTag = tiled ? 325 : 279;
    std::vector<int64_t> offsets, fileCounts;
    Tiffilt::TIFFReadArrayIntegers(env, offsets, offsetsTag);
    Tiffilt::TIFFReadArrayIntegers(env, fileCounts, countsTag);
    // Room for the header, the directory and its values; the data follows on a round offset.
    uint64_t head = 64;
    for (const TTIFFEntry& entry : env.Entries) {
        head += 12 + Tiffilt::TIFFEntryBytes(entry) + 1;
    }
    TTiffBuilder builder(env.Intel);
    builder.DataFrom(uint32_t(head / 4096 * 4096 + 4096));
    for (size_t i = 0; i < offsets.size() && i < fileCounts.size(); ++i) {
        Bytes block(size_t(fileCounts[i]));
        stream.SetPosition(offsets[i]);
        stream.Read(block.data(), int64_t(block.size()));
        relaid.Offsets.push_back(builder.Data(block));
        relaid.Counts.push_back(i < counts.size() ? counts[i] : uint32_t(fileCounts[i]));
    }
    for (const TTIFFEntry& entry : env.Entries) {
        if (entry.Tag == offsetsTag) {
            builder.Entry(entry.Tag, 4, relaid.Offsets);
        } else if (entry.Tag == countsTag) {
            builder.Entry(entry.Tag, 4, relaid.Counts);
        } else {
            builder.EntryBytes(entry.Tag, entry.Type, entry.Count, Tiffilt::TIFFReadRawData(env, entry.Tag));
        }
    }
    relaid.File = builder.Build();
    return relaid;
}

TRgbImage RgbOf(TKVBitmap& bitmap, const TKVMask* alpha)
{
    TRgbImage image;
    image.Width = bitmap.GetWidth();
    image.Height = bitmap.GetHeight();
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            const TRGB c = bitmap.GetPixels(x, y);
            image.Rgb.insert(image.Rgb.end(), {c.r, c.g, c.b});
            if (alpha != nullptr) {
                image.Alpha.push_back(uint8_t(alpha->GetPixel(x, y)));
            }
        }
    }
    return image;
}

TRgbImage ParsePnm(const std::string& bytes)
{
    const kvtest::TPnmImage pnm = kvtest::ParsePnm(bytes);
    TRgbImage image;
    if (!pnm.Valid()) {
        return image;
    }
    image.Width = pnm.Width;
    image.Height = pnm.Height;
    for (int32_t y = 0; y < pnm.Height; ++y) {
        for (int32_t x = 0; x < pnm.Width; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                const uint32_t v = pnm.At(x, y, pnm.Channels == 3 ? c : 0);
                image.Rgb.push_back(uint8_t(pnm.MaxValue == 1 ? v * 255 : pnm.MaxValue > 255 ? v >> 8 : v));
            }
        }
    }
    return image;
}

TRgbImage Tiff2Rgba(const std::string& fileName, int32_t page)
{
    kvtest::TempFolder folder;
    int status = -1;
    // The page is taken from tiff2rgba's uncompressed output, so that nothing is coded twice.
    Tool("tiff2rgba -c none " + fileName + " " + folder.File("all.tif") + " 2>/dev/null", &status);
    Tool("tiffcp -c none " + folder.File("all.tif") + "," + std::to_string(page) + " " +
             folder.File("rgba.tif") + " 2>/dev/null",
         &status);
    if (status != 0) {
        return {};
    }
    TRgbImage image = ParsePnm(Tool("tifftopnm -alphaout=" + folder.File("alpha.pgm") + " " +
                                    folder.File("rgba.tif") + " 2>/dev/null"));
    const TRgbImage alpha = ParsePnm(kvtest::TempFolder::Read(folder.File("alpha.pgm")));
    if (alpha.Valid()) {
        for (size_t i = 0; i < alpha.Rgb.size(); i += 3) {
            image.Alpha.push_back(alpha.Rgb[i]);
        }
    }
    return image;
}

TRgbImage PngToPnm(const std::string& fileName)
{
    return ParsePnm(Tool("pngtopnm " + fileName + " 2>/dev/null"));
}

TRgbImage ConvertToPnm(const std::string& command)
{
    return ParsePnm(Tool(command + " 2>/dev/null"));
}

int32_t MaxDifference(const TRgbImage& a, const TRgbImage& b, bool opaqueOnly)
{
    if (a.Width != b.Width || a.Height != b.Height || a.Rgb.size() != b.Rgb.size() || !a.Valid()) {
        return -1;
    }
    int32_t worst = 0;
    for (size_t i = 0; i < a.Rgb.size(); ++i) {
        if (opaqueOnly && !a.Alpha.empty() && a.Alpha[i / 3] != 255) {
            continue;
        }
        worst = std::max(worst, std::abs(int32_t(a.Rgb[i]) - int32_t(b.Rgb[i])));
    }
    return worst;
}

} // namespace kvtifftest
