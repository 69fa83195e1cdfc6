// What the JPEG 2000 tests decode bytes into (the bitmap, the parameters and the abort flag), and
// the pictures, streams and boxes they make for opj_compress and the library.
#pragma once

#include "imaging/codecs/j2k/kvj2000.h"
#include "imaging/codecs/params/ioparams.h"
#include "imaging/core/daduvudez.h"
#include "platform/core/streams.h"
#include "tests/codecs/codec_tools.h"
#include "tests/support/temp_folder.h"

#include <sched.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kvtest {

struct J2kDecoded
{
    bool Aborted = false;
    TKVBitmap Bitmap;
    TIOParamsVals Params;
};

inline void DecodeJ2k(const std::string& bytes, J2kDecoded& d, bool paramsOnly = false)
{
    TMemoryStream stream;
    FillStream(stream, bytes);
    TProgressRec progress = ProgressInto(d.Aborted);
    Kvj2000::J2KReadStream(stream, d.Bitmap, d.Params, progress, paramsOnly);
}

// What a load's progress events said, and when one sets the abort flag, as a caller's Cancel
// button does: the event that reports tile, band or window number AbortAtUnit (from 1), or the
// event numbered AbortAtEvent, whichever is set.
struct TProgressNotes
{
    size_t AbortAtUnit = 0;
    size_t AbortAtEvent = 0;
    // The percentage of each event that reported a further tile, band or window; and how many
    // events came in all, those of a reader waiting for its decoders included, and after the abort.
    std::vector<int32_t> Percents;
    size_t Events = 0;
    size_t EventsAfterAbort = 0;
};

// Decodes bytes as DecodeJ2k does, noting its progress events.
void DecodeNoting(const std::string& bytes, J2kDecoded& d, TProgressNotes& notes);

// Keeps the bitmaps made meanwhile in memory or in temporary files, whatever the suite's run.
class TBitmapsIn
{
public:
    explicit TBitmapsIn(TKVLocation location);
    ~TBitmapsIn();
    TBitmapsIn(const TBitmapsIn&) = delete;
    TBitmapsIn& operator=(const TBitmapsIn&) = delete;

private:
    int32_t FBefore;
};

struct TJ2kStorage
{
    const char* Name;
    TKVLocation Location;
};
inline constexpr TJ2kStorage J2kStorages[] = {{"in memory", kvMemory}, {"file-backed", kvFile}};

// Keeps the calling thread on one core meanwhile: the reader, which counts the cores it may use,
// then decodes small tiles one after another instead of in bands.
class TOnOneCore
{
public:
    TOnOneCore();
    ~TOnOneCore();
    TOnOneCore(const TOnOneCore&) = delete;
    TOnOneCore& operator=(const TOnOneCore&) = delete;

private:
    cpu_set_t FBefore;
};

// Writes a picture of the colours colour(x, y) as a PPM file for opj_compress; its name.
std::string WritePicture(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                         const std::function<TRGB(int32_t, int32_t)>& colour);

// opj_compress's file of a picture of luma and two chroma components, the chroma sampled every
// stepAcross x stepDown points, its origin at (x0, y0); opj_compress marks a JP2 file of such
// chroma sYCC. Empty when opj_compress fails.
std::string CompressPlanes(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                           int32_t stepAcross, int32_t stepDown, int32_t x0, int32_t y0,
                           const std::string& options);

// opj_compress's file of planes of 8-bit samples, one a component sampled every steps[c] points
// across and down (or `components` sampled alike), each plane its own ramp; empty when it fails.
std::string CompressRaw(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                        const std::vector<std::pair<int32_t, int32_t>>& steps, const std::string& options);
std::string CompressRaw(const TempFolder& folder, const std::string& name, int32_t width, int32_t height,
                        int32_t components, const std::string& options);

// What opj_decompress makes of the file, its components brought to the picture's grid: the first
// one, or the first three, whatever it adds as alpha.
TPnmImage OpjDecompressed(const TempFolder& folder, const std::string& name, const std::string& bytes);

// The largest difference of any sample between opj_decompress's picture and the bitmap, over the
// pixels from (fromX, fromY) up to (toX, toY), exclusive; -1 when the sizes differ.
int32_t MaxDifferenceWithin(const TPnmImage& theirs, TKVBitmap& bitmap, int32_t fromX, int32_t fromY,
                            int32_t toX, int32_t toY);

// A JP2 file with its first colour box's contents replaced.
std::string WithColourBox(const std::string& jp2, const std::string& contents);

// A JP2 file with boxes added at the end of its header box.
std::string WithHeaderBoxes(const std::string& jp2, const std::string& boxes);

// Where a box moved out of a JP2 file's header box goes: to the top level after the header box
// (just before the code-stream box) or before it, after the code-stream box, or into a header box
// of its own, repeating the image header, just before the code-stream box.
enum class TBoxPlace
{
    AfterHeader,
    BeforeHeader,
    AfterCodeStream,
    OwnHeader
};

// A JP2 file of opj_compress with the first box of that type in its header box moved out of it to
// the place; the file as it is when its header box holds none.
std::string WithBoxMovedOut(const std::string& jp2, const std::string& type, TBoxPlace place);

// A palette and component mapping that take three 8-bit components each through a column of its
// own whose entry k is k, which the library applies only to a picture or a window of it decoded
// whole: the reader then decodes in windows, to the pixels of the components.
std::string J2kIdentityPalette();

// A JP2 channel definition box (cdef): each channel's type (0 colour, 1 opacity, 2 premultiplied
// opacity, 65535 unspecified) and association (the colour, from 1; 0 the whole picture).
struct TJ2kChannel
{
    uint16_t Channel;
    uint16_t Type;
    uint16_t Association;
};
std::string J2kChannelDefinitions(const std::vector<TJ2kChannel>& channels);

// A box: its length, its type and its contents.
std::string J2kBox(const char (&type)[5], const std::string& contents);

// A code stream of width x height, multiples of 64, in tiles of 64 pixels, each one of four tiles
// that opj_compress codes losslessly: many tiles in a file that is quick to make.
std::string RepeatedTiles(const TempFolder& folder, uint32_t width, uint32_t height);

// The colours of the picture of RepeatedTiles: never black.
TRGB RepeatedTileColour(int32_t x, int32_t y);

// A JP2 file of a code stream of 8-bit sRGB components, which its header gives.
std::string J2kFileOf(const std::string& codeStream, uint32_t width, uint32_t height, uint16_t components);

// The threads the process runs, by their ids.
std::set<std::string> ThreadsOfProcess();

// Where the last tile-part of the code stream, or of a JP2 file's code-stream box, starts (its SOT
// marker), and where its end of code stream marker does.
struct TLastTilePart
{
    size_t Start = 0;
    size_t End = 0;
};
TLastTilePart LastTilePart(const std::string& bytes);

// The stream with its first `kept` tile-parts only, then its end marker (within a JP2 file's
// code-stream box), as a stream written tile by tile and stopped leaves it.
std::string WithTilePartsKept(const std::string& bytes, size_t kept);

// The count of the stream's tile-parts.
size_t TilePartsOf(const std::string& bytes);

// A code stream of 8-bit components on a grid of tiles, each tile decomposed `levels` times and
// holding one empty packet for each precinct of each resolution of each component (one layer):
// a valid picture, all mid-grey (a zero coefficient is the middle of the samples' range), of a
// few bytes a tile.
std::string EmptyTiles(uint32_t width, uint32_t height, uint32_t components, uint32_t tileWidth,
                       uint32_t tileHeight, uint32_t levels = 0);

// The stream with its last tile-part's length set to 0, which makes it run to the end of the code
// stream, and `tail` zero bytes after the end marker (within a JP2 file's code-stream box), as
// encoders and file copies leave them.
std::string WithLooseEnd(const std::string& bytes, size_t tail);

} // namespace kvtest
