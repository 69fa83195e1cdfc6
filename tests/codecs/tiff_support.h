// Helpers of the TIFF tests: reading a TIFF with our codec, and the pixels that libtiff's and
// netpbm's tools make of a file, to compare the two.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/core/mask.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

namespace kvtest {
class TempFolder;
}

namespace kvtifftest {

using Bytes = std::vector<uint8_t>;

std::string GoData(const std::string& name);
std::string GoFax(const std::string& name);
std::string Pixbuf(const std::string& name);
std::string RustTiff(const std::string& name);

Bytes FileBytes(const std::string& fileName);
void WriteFile(const std::string& fileName, const Bytes& bytes);
// Standard output of a shell command; exit status in status.
std::string Tool(const std::string& command, int* status = nullptr);

struct TTiffRead
{
    bool Aborted = false;
    int32_t Pages = 0;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
    std::unique_ptr<TKVMask> Alpha;
    TTiffRead();
};

// A page layout that tools make from the samples.
struct TSampleLayout
{
    const char* Name;
    std::string Command; // makes the file named Name: it follows as the command's last word
    bool SavedWhole;     // lossless, and the TIFF writer keeps its pixels and alpha
};

// A fixture whose suite shares, in a folder of its own, the sample pictures that pages are made
// from: photo.ppm (Go's video-001, 150 x 103) and grey.pgm, alpha.pgm (a ramp the size of the
// photo), page.pbm (Go's bilevel gopher, 153 x 55), and netpbm's TIFFs of them: photo.tif,
// page.tif (WhiteIsZero), page-mb.tif (BlackIsZero).
class TTiffSamples : public ::testing::Test
{
protected:
    // The layouts of pages that netpbm's and libtiff's tools make from the samples: colour in
    // every compression, tiles, planes, byte order and BigTIFF, palettes, grey of 2 to 16 bits,
    // CMYK, alpha, and bilevel pages in every coding and fill order.
    static std::vector<TSampleLayout> Layouts();
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    static std::string F(const std::string& name);
    // Runs a shell command that must succeed.
    static void Run(const std::string& command);

    static kvtest::TempFolder* Folder;
};

// Reads page `page` with the LZW decoder plugged in; ReadTiffFile is true when nothing aborted.
void ReadTiff(TStream& stream, TTiffRead& read, int32_t page = 0, bool paramsOnly = false,
              bool upright = false);
bool ReadTiffFile(const std::string& fileName, TTiffRead& read, int32_t page = 0, bool paramsOnly = false,
                  bool upright = false);

// Assembles TIFF files entry by entry, for layouts and faults no tool writes: the header, a data
// area (strips and values that do not fit in an entry) and one directory per page; with big, a
// BigTIFF (16-byte header, 20-byte entries whose value fields hold 8 bytes, 64-bit offsets).
class TTiffBuilder
{
public:
    explicit TTiffBuilder(bool intel = true, bool big = false);

    // Lays the data area out from file offset start, after the header, the values and the
    // directories, as writers that put the directory first do. Set before the first Data.
    TTiffBuilder& DataFrom(uint32_t start)
    {
        FDataStart = start;
        return *this;
    }

    // Appends bytes to the data area and returns their file offset.
    uint32_t Data(const Bytes& bytes);
    // Entries of the current page; values are given as numbers and stored in the file's order.
    TTiffBuilder& Entry(uint16_t tag, uint16_t type, const std::vector<uint32_t>& values);
    TTiffBuilder& Short(uint16_t tag, uint32_t value) { return Entry(tag, 3, {value}); }
    TTiffBuilder& Long(uint16_t tag, uint32_t value) { return Entry(tag, 4, {value}); }
    // Values as pairs of numerator and denominator.
    TTiffBuilder& Rational(uint16_t tag, uint32_t numerator, uint32_t denominator, uint16_t type = 5)
    {
        return Entry(tag, type, {numerator, denominator});
    }
    TTiffBuilder& Ascii(uint16_t tag, const std::string& text);
    // An entry of count values whose bytes are given in the file's order.
    TTiffBuilder& EntryBytes(uint16_t tag, uint16_t type, uint32_t count, const Bytes& bytes);
    // An entry whose count and value field are taken as given (a count with no data behind it).
    TTiffBuilder& RawEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t valueField);
    // The usual tags of an uncompressed page of width x height with the given layout, its one
    // strip holding pixels.
    TTiffBuilder& Page(int32_t width, int32_t height, int32_t samples, int32_t bits, int32_t photometric,
                       const Bytes& pixels, int32_t compression = 1);
    // Starts the next page.
    TTiffBuilder& NextPage();
    // The next-directory pointer of page `from` points at page `to` (a loop when to <= from).
    TTiffBuilder& Link(int32_t from, int32_t to);

    Bytes Build() const;

private:
    struct TEntry
    {
        uint16_t Tag;
        uint16_t Type;
        uint32_t Count;
        Bytes Value; // in file order; inline when 4 bytes or less
        bool Raw = false;
        uint32_t ValueField = 0;
    };
    void Put(Bytes& out, uint64_t value, int32_t size) const;

    bool FIntel;
    bool FBig;
    uint32_t FDataStart = 0; // 0: right after the header
    Bytes FData;
    std::vector<std::vector<TEntry>> FPages;
    std::vector<std::pair<int32_t, int32_t>> FLinks;
};

// Reads the first page of the file the builder assembles.
void ReadBuilt(const TTiffBuilder& builder, TTiffRead& read);
// Numbers as little-endian fields of size bytes each.
Bytes Le(const std::vector<uint64_t>& values, int32_t size);

// The first page of a TIFF laid out again with its directory and every value before its strips
// or tiles, which follow in their order; so that a cut keeps the directory. Byte counts may be
// replaced (counts not empty) to make them disagree with the data.
struct TRelaid
{
    Bytes File;
    std::vector<uint32_t> Offsets; // of the strips or tiles in File
    std::vector<uint32_t> Counts;
};
TRelaid DirectoryFirst(const Bytes& file, const std::vector<uint32_t>& counts = {});

// Pixels as red, green, blue bytes, top row first; alpha bytes when there is any.
struct TRgbImage
{
    int32_t Width = 0;
    int32_t Height = 0;
    Bytes Rgb;
    Bytes Alpha;
    bool Valid() const { return Width > 0 && Height > 0; }
};
TRgbImage RgbOf(TKVBitmap& bitmap, const TKVMask* alpha = nullptr);
// A P4, P5 or P6 image; 16-bit samples keep their high byte, bits become 0 or 255.
TRgbImage ParsePnm(const std::string& bytes);
// What libtiff's RGBA interface makes of a page: tiff2rgba, read back by tifftopnm (colours
// premultiplied by alpha).
TRgbImage Tiff2Rgba(const std::string& fileName, int32_t page = 0);
TRgbImage PngToPnm(const std::string& fileName);
TRgbImage ConvertToPnm(const std::string& command);

// The largest channel difference; -1 when the sizes differ. With opaqueOnly, pixels whose
// alpha in a is not 255 are skipped.
int32_t MaxDifference(const TRgbImage& a, const TRgbImage& b, bool opaqueOnly = false);

} // namespace kvtifftest
