// Pictures and boxes that the JPEG 2000 tests make, and their comparison with opj_decompress.
#include "tests/codecs/j2k_decoding.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace kvtest {

namespace {

void Put32(std::string& bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = char(value >> (24 - 8 * i));
    }
}

void Append16(std::string& bytes, uint32_t value)
{
    bytes += {char(value >> 8), char(value)};
}

void Append32(std::string& bytes, uint32_t value)
{
    Append16(bytes, value >> 16);
    Append16(bytes, value & 0xFFFF);
}

uint32_t Get32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

uint32_t Get16(const std::string& bytes, size_t at)
{
    return uint32_t(static_cast<uint8_t>(bytes[at])) << 8 | static_cast<uint8_t>(bytes[at + 1]);
}

// A PAM file (P7) as opj_decompress writes a picture of two or four components: its first
// channel, or its first three, without the alpha it takes the last one for.
TPnmImage ParsePamWithoutAlpha(const std::string& bytes)
{
    const size_t end = bytes.find("ENDHDR\n");
    if (bytes.compare(0, 3, "P7\n") != 0 || end == std::string::npos) {
        return {};
    }
    std::istringstream header(bytes.substr(3, end - 3));
    int32_t width = 0, height = 0, depth = 0, maxValue = 0;
    for (std::string key; header >> key;) {
        if (key == "WIDTH") {
            header >> width;
        } else if (key == "HEIGHT") {
            header >> height;
        } else if (key == "DEPTH") {
            header >> depth;
        } else if (key == "MAXVAL") {
            header >> maxValue;
        }
    }
    const size_t first = end + 7;
    if (width <= 0 || height <= 0 || depth < 1 || maxValue != 255 ||
        bytes.size() < first + size_t(width) * height * depth) {
        return {};
    }
    TPnmImage image;
    image.Width = width;
    image.Height = height;
    image.MaxValue = maxValue;
    image.Channels = depth >= 3 ? 3 : 1;
    for (size_t pixel = 0; pixel < size_t(width) * height; ++pixel) {
        for (int32_t c = 0; c < image.Channels; ++c) {
            image.Samples.push_back(static_cast<uint8_t>(bytes[first + pixel * depth + c]));
        }
    }
    return image;
}

// The colours of the four kinds of tile of RepeatedTiles: a quarter of a tile in each colour.
TRGB TileColour(uint32_t kind, int32_t x, int32_t y)
{
    return TRGB{uint8_t(40 * kind + (x >= 32) * 100), uint8_t(60 + (y >= 32) * 120 - 10 * kind),
                uint8_t(200 - 30 * kind + ((x ^ y) & 32))};
}

uint32_t KindOfTile(uint32_t column, uint32_t row)
{
    return (column * 7 + row * 3) % 4;
}

// Raw planes for opj_compress -F: luma, then blue and red chroma. Smooth and within range, so that
// colours stay in RGB.
std::string YccPlanes(int32_t width, int32_t height, int32_t stepAcross, int32_t stepDown)
{
    const int32_t chromaWidth = (width + stepAcross - 1) / stepAcross;
    const int32_t chromaHeight = (height + stepDown - 1) / stepDown;
    std::string planes;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            planes += char(60 + (x * 3 + y * 5) % 120);
        }
    }
    for (int32_t plane = 0; plane < 2; ++plane) {
        for (int32_t y = 0; y < chromaHeight; ++y) {
            for (int32_t x = 0; x < chromaWidth; ++x) {
                planes += char(100 + (plane == 0 ? x * 7 + y : y * 3 + x * 2) % 56);
            }
        }
    }
    return planes;
}

// The precincts of the library's default size (2^15 points of a resolution) that a tile's span
// from start to end has at the resolution `halvings` below the tile's.
uint32_t PrecinctsAlong(uint32_t start, uint32_t end, uint32_t halvings)
{
    const auto scaled = [halvings](uint32_t point) {
        return uint32_t((uint64_t(point) + (uint64_t(1) << halvings) - 1) >> halvings);
    };
    const uint32_t from = scaled(start), to = scaled(end);
    return from == to ? 0 : ((to - 1) >> 15) - (from >> 15) + 1;
}

// Where each tile-part of the code stream, or of a JP2 file's code-stream box, starts (its SOT
// marker), and in `end` where the last ends.
std::vector<size_t> TilePartStarts(const std::string& bytes, size_t& end)
{
    const size_t box = bytes.find("jp2c");
    size_t at = (box == std::string::npos ? 0 : box + 4) + 2;
    // The main header's marker segments up to the first tile-part, then tile-part after tile-part.
    while (at + 4 <= bytes.size() && Get16(bytes, at) != 0xFF90) {
        at += 2 + Get16(bytes, at + 2);
    }
    std::vector<size_t> starts;
    while (at + 10 <= bytes.size() && Get16(bytes, at) == 0xFF90) {
        starts.push_back(at);
        at += Get32(bytes, at + 6);
    }
    end = at;
    return starts;
}

// A box of a JP2 file: where it starts, and its length.
struct TBoxAt
{
    size_t Start = std::string::npos;
    uint32_t Length = 0;
};

// The first box of that type among the boxes from `from` up to `to`.
TBoxAt FindBox(const std::string& bytes, size_t from, size_t to, const std::string& type)
{
    for (size_t at = from; at + 8 <= to && Get32(bytes, at) >= 8; at += Get32(bytes, at)) {
        if (bytes.compare(at + 4, 4, type) == 0) {
            return {at, Get32(bytes, at)};
        }
    }
    return {};
}

} // namespace

std::string CompressPlanes(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                           int32_t stepAcross, int32_t stepDown, int32_t x0, int32_t y0,
                           const std::string& options)
{
    const std::string raw = folder.Write(name + ".raw", YccPlanes(width, height, stepAcross, stepDown));
    const std::string steps = std::to_string(stepAcross) + "x" + std::to_string(stepDown);
    const std::string file = folder.File(name);
    const std::string command = "opj_compress -i " + raw + " -o " + file + " -F " + std::to_string(width) +
                                "," + std::to_string(height) + ",3,8,u@1x1:" + steps + ":" + steps + " -d " +
                                std::to_string(x0) + "," + std::to_string(y0) + " " + options;
    return ToolOutput(command).empty() ? std::string() : TempFolder::Read(file);
}

std::string CompressRaw(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                        const std::vector<std::pair<int32_t, int32_t>>& steps, const std::string& options)
{
    std::string planes, sampling;
    for (size_t c = 0; c < steps.size(); ++c) {
        const auto [across, down] = steps[c];
        for (int32_t y = 0; y < (height + down - 1) / down; ++y) {
            for (int32_t x = 0; x < (width + across - 1) / across; ++x) {
                planes += char(x * 9 + y * 5 + int32_t(c) * 70);
            }
        }
        // Appended a piece at a time: GCC 12's -O3 takes a literal prepended to a temporary for
        // overlapping copies.
        sampling += c == 0 ? '@' : ':';
        sampling += std::to_string(across) + "x" + std::to_string(down);
    }
    const std::string raw = folder.Write(name + ".raw", planes), file = folder.File(name);
    const std::string format = std::to_string(width) + "," + std::to_string(height) + "," +
                               std::to_string(steps.size()) + ",8,u" + sampling;
    const std::string command = "opj_compress -i " + raw + " -o " + file + " -F " + format + " " + options;
    return ToolOutput(command).empty() ? std::string() : TempFolder::Read(file);
}

std::string CompressRaw(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                        int32_t components, const std::string& options)
{
    return CompressRaw(folder, name, width, height,
                       std::vector<std::pair<int32_t, int32_t>>(components, {1, 1}), options);
}

TPnmImage OpjDecompressed(const TempFolder& folder, const std::string& name, const std::string& bytes)
{
    const std::string file = folder.Write(name, bytes), decoded = folder.File(name + ".ppm");
    if (ToolOutput("opj_decompress -upsample -i " + file + " -o " + decoded).empty()) {
        return {};
    }
    const std::string written = TempFolder::Read(decoded);
    return written.compare(0, 2, "P7") == 0 ? ParsePamWithoutAlpha(written) : ParsePnm(written);
}

int32_t MaxDifferenceWithin(const TPnmImage& theirs, TKVBitmap& bitmap, int32_t fromX, int32_t fromY,
                            int32_t toX, int32_t toY)
{
    const TPnmImage ours = BitmapSamples(bitmap);
    if (ours.Width != theirs.Width || ours.Height != theirs.Height) {
        return -1;
    }
    int32_t most = 0;
    for (int32_t y = fromY; y < toY; ++y) {
        for (int32_t x = fromX; x < toX; ++x) {
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t theirSample = theirs.At(x, y, theirs.Channels == 3 ? c : 0);
                most = std::max(most, std::abs(theirSample - int32_t(ours.At(x, y, c))));
            }
        }
    }
    return most;
}

std::string WithColourBox(const std::string& jp2, const std::string& contents)
{
    const size_t header = jp2.find("jp2h") - 4, colour = jp2.find("colr") - 4;
    const uint32_t oldLength = Get32(jp2, colour);
    std::string file = jp2.substr(0, colour) + J2kBox("colr", contents) + jp2.substr(colour + oldLength);
    Put32(file, header, Get32(jp2, header) - oldLength + 8 + uint32_t(contents.size()));
    return file;
}

std::string WithHeaderBoxes(const std::string& jp2, const std::string& boxes)
{
    const size_t header = jp2.find("jp2h") - 4;
    const uint32_t length = Get32(jp2, header);
    std::string file = jp2.substr(0, header + length) + boxes + jp2.substr(header + length);
    Put32(file, header, length + uint32_t(boxes.size()));
    return file;
}

std::string WithBoxMovedOut(const std::string& jp2, const std::string& type, TBoxPlace place)
{
    const TBoxAt header = FindBox(jp2, 0, jp2.size(), "jp2h");
    const TBoxAt moved = FindBox(jp2, header.Start + 8, header.Start + header.Length, type);
    if (header.Start == std::string::npos || moved.Start == std::string::npos) {
        return jp2;
    }
    std::string box = jp2.substr(moved.Start, moved.Length), file = jp2;
    file.erase(moved.Start, moved.Length);
    const uint32_t headerLength = header.Length - moved.Length;
    Put32(file, header.Start, headerLength);
    if (place == TBoxPlace::OwnHeader) {
        const TBoxAt image = FindBox(file, header.Start + 8, header.Start + headerLength, "ihdr");
        box = J2kBox("jp2h", file.substr(image.Start, image.Length) + box);
    }
    const size_t at = place == TBoxPlace::BeforeHeader      ? header.Start
                      : place == TBoxPlace::AfterCodeStream ? file.size()
                                                            : FindBox(file, 0, file.size(), "jp2c").Start;
    return file.insert(at, box);
}

std::string J2kIdentityPalette()
{
    std::string palette("\x01\x00\x03\x07\x07\x07", 6), mapping;
    for (int32_t entry = 0; entry < 256; ++entry) {
        palette.append(3, char(entry));
    }
    for (char channel = 0; channel < 3; ++channel) {
        mapping += {0, channel, 1, channel};
    }
    return J2kBox("pclr", palette) + J2kBox("cmap", mapping);
}

std::string J2kChannelDefinitions(const std::vector<TJ2kChannel>& channels)
{
    std::string contents;
    Append16(contents, uint32_t(channels.size()));
    for (const TJ2kChannel& channel : channels) {
        Append16(contents, channel.Channel);
        Append16(contents, channel.Type);
        Append16(contents, channel.Association);
    }
    return J2kBox("cdef", contents);
}

std::string J2kBox(const char (&type)[5], const std::string& contents)
{
    std::string box(4, '\0');
    Put32(box, 0, uint32_t(8 + contents.size()));
    return box + type + contents;
}

std::string RepeatedTiles(const TempFolder& folder, uint32_t width, uint32_t height)
{
    std::string header, parts[4];
    for (uint32_t kind = 0; kind < 4; ++kind) {
        const std::string ppm = WritePicture(folder, "tile.ppm", 64, 64,
                                             [kind](int32_t x, int32_t y) { return TileColour(kind, x, y); });
        const std::string file = folder.File("tile.j2k");
        ToolOutput("opj_compress -i " + ppm + " -o " + file + " -t 64,64 -n 1");
        const std::string bytes = TempFolder::Read(file);
        // The main header's marker segments, up to the one tile-part, which ends before EOC.
        size_t at = 2;
        while (at + 4 <= bytes.size() && bytes.compare(at, 2, "\xFF\x90") != 0) {
            at += 2 + (size_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]));
        }
        if (at + 2 > bytes.size()) {
            return {};
        }
        header = bytes.substr(0, at);
        parts[kind] = bytes.substr(at, bytes.size() - 2 - at);
    }
    // The picture's width and height in SIZ.
    Put32(header, 8, width);
    Put32(header, 12, height);
    std::string stream = header;
    const uint32_t across = width / 64;
    for (uint32_t t = 0; t < across * (height / 64); ++t) {
        std::string part = parts[KindOfTile(t % across, t / across)];
        part[4] = char(t >> 8);
        part[5] = char(t);
        stream += part;
    }
    return stream + "\xFF\xD9";
}

TRGB RepeatedTileColour(int32_t x, int32_t y)
{
    return TileColour(KindOfTile(uint32_t(x / 64), uint32_t(y / 64)), x % 64, y % 64);
}

std::string J2kFileOf(const std::string& codeStream, uint32_t width, uint32_t height, uint16_t components)
{
    std::string header(14, '\0');
    Put32(header, 0, height);
    Put32(header, 4, width);
    header[8] = char(components >> 8);
    header[9] = char(components);
    header[10] = 7; // 8 bits, unsigned
    header[11] = 7; // the wavelet's coding
    const std::string signature = J2kBox("jP  ", std::string("\x0D\x0A\x87\x0A", 4));
    const std::string fileType = J2kBox("ftyp", std::string("jp2 \0\0\0\0jp2 ", 12));
    const std::string colour = std::string("\x01\0\0\0\0\0\x10", 7); // sRGB
    return signature + fileType + J2kBox("jp2h", J2kBox("ihdr", header) + J2kBox("colr", colour)) +
           J2kBox("jp2c", codeStream);
}

std::set<std::string> ThreadsOfProcess()
{
    std::set<std::string> threads;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        threads.insert(entry.path().filename().string());
    }
    return threads;
}

void DecodeNoting(const std::string& bytes, J2kDecoded& d, TProgressNotes& notes)
{
    TMemoryStream stream;
    FillStream(stream, bytes);
    TProgressRec progress = ProgressInto(d.Aborted);
    int32_t units = 0;
    progress.OnProgress = [&](TObject*, int32_t percent) {
        notes.EventsAfterAbort += d.Aborted;
        ++notes.Events;
        if (progress.Counter > units) {
            units = progress.Counter;
            notes.Percents.push_back(percent);
        }
        if ((notes.AbortAtUnit > 0 && notes.Percents.size() == notes.AbortAtUnit) ||
            notes.Events == notes.AbortAtEvent) {
            d.Aborted = true;
        }
    };
    Kvj2000::J2KReadStream(stream, d.Bitmap, d.Params, progress, false);
}

TBitmapsIn::TBitmapsIn(TKVLocation location) : FBefore(Daduvudez::KVDefMinFileSize)
{
    Daduvudez::KVDefMinFileSize = location == kvFile ? 0 : INT32_MAX;
}

TBitmapsIn::~TBitmapsIn()
{
    Daduvudez::KVDefMinFileSize = FBefore;
}

TOnOneCore::TOnOneCore()
{
    sched_getaffinity(0, sizeof FBefore, &FBefore);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);
}

TOnOneCore::~TOnOneCore()
{
    sched_setaffinity(0, sizeof FBefore, &FBefore);
}

std::string WritePicture(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                         const std::function<TRGB(int32_t, int32_t)>& colour)
{
    std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    ppm.reserve(ppm.size() + size_t(width) * height * 3);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const TRGB p = colour(x, y);
            ppm += {char(p.r), char(p.g), char(p.b)};
        }
    }
    return folder.Write(name, ppm);
}

TLastTilePart LastTilePart(const std::string& bytes)
{
    size_t end = 0;
    const std::vector<size_t> parts = TilePartStarts(bytes, end);
    return {parts.empty() ? 0 : parts.back(), end};
}

std::string WithLooseEnd(const std::string& bytes, size_t tail)
{
    const TLastTilePart last = LastTilePart(bytes);
    std::string loose = bytes;
    Put32(loose, last.Start + 6, 0);
    loose.insert(last.End + 2, tail, '\0');
    const size_t box = loose.find("jp2c");
    if (box != std::string::npos) {
        Put32(loose, box - 4, Get32(loose, box - 4) + uint32_t(tail));
    }
    return loose;
}

std::string EmptyTiles(uint32_t width, uint32_t height, uint32_t components, uint32_t tileWidth,
                       uint32_t tileHeight, uint32_t levels)
{
    std::string bytes;
    Append16(bytes, 0xFF4F);
    Append16(bytes, 0xFF51);
    Append16(bytes, 38 + 3 * components);
    Append16(bytes, 0);
    for (uint32_t value : {width, height, 0u, 0u, tileWidth, tileHeight, 0u, 0u}) {
        Append32(bytes, value);
    }
    Append16(bytes, components);
    for (uint32_t c = 0; c < components; ++c) {
        bytes += std::string("\x07\x01\x01", 3);
    }
    // COD: LRCP, one layer, no transform, the levels, 64 x 64 code-blocks, 5-3 wavelet; QCD: no
    // quantization, an exponent for each band.
    bytes += std::string("\xFF\x52\x00\x0C\x00\x00\x00\x01\x00", 9);
    bytes += {char(levels), '\x04', '\x04', '\x00', '\x01'};
    Append16(bytes, 0xFF5C);
    Append16(bytes, 4 + 3 * levels);
    bytes += std::string(1, '\x40') + std::string(1 + 3 * levels, '\x48');
    const uint32_t across = (width + tileWidth - 1) / tileWidth,
                   down = (height + tileHeight - 1) / tileHeight;
    for (uint32_t t = 0; t < across * down; ++t) {
        const uint32_t x0 = t % across * tileWidth, y0 = t / across * tileHeight;
        const uint32_t x1 = std::min(x0 + tileWidth, width), y1 = std::min(y0 + tileHeight, height);
        uint32_t packets = 0;
        for (uint32_t halvings = 0; halvings <= levels; ++halvings) {
            packets += components * PrecinctsAlong(x0, x1, halvings) * PrecinctsAlong(y0, y1, halvings);
        }
        Append16(bytes, 0xFF90);
        Append16(bytes, 10);
        Append16(bytes, t);
        Append32(bytes, 14 + packets);
        Append16(bytes, 0x0001);
        Append16(bytes, 0xFF93);
        bytes += std::string(packets, '\0');
    }
    Append16(bytes, 0xFFD9);
    return bytes;
}

std::string WithTilePartsKept(const std::string& bytes, size_t kept)
{
    size_t end = 0;
    const std::vector<size_t> parts = TilePartStarts(bytes, end);
    std::string stopped = bytes.substr(0, kept < parts.size() ? parts[kept] : end) + "\xFF\xD9";
    const size_t box = stopped.find("jp2c");
    if (box != std::string::npos) {
        Put32(stopped, box - 4, uint32_t(stopped.size() - (box - 4)));
    }
    return stopped;
}

size_t TilePartsOf(const std::string& bytes)
{
    size_t end = 0;
    return TilePartStarts(bytes, end).size();
}

} // namespace kvtest
