// One reading of a JPEG 2000 stream by the library, and what it decodes there: a tile into a
// buffer of ours, or the samples of a window taken over from the library's image.
#pragma once

#include "imaging/codecs/j2k/detail/band_workers.h"
#include "imaging/codecs/j2k/detail/declared_layout.h"
#include "imaging/codecs/j2k/detail/j2k_glue.h"
#include "imaging/codecs/j2k/detail/sample_writer.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TStream;

namespace Kvj2000::detail {

// The library's reading of a stream, up to the end of the main header.
struct TDecoderPass
{
    TCodec Codec;
    TLibraryStream Stream;
    TImage Header;
};

// Opens a reading of the stream from its position and reads the main header; the library decodes
// on `threads` threads of its own, none below two. It applies a JP2 file's palette, component
// mapping and channel definitions to what it decodes whole only when `applyBoxes`: else the
// components come as the code stream holds them.
bool OpenPass(TStream& stream, bool jp2, unsigned threads, bool applyBoxes, TDecoderPass& pass);

// The components that make the pixels, by their index, and what each becomes.
struct TUsedComponents
{
    std::vector<int32_t> Indexes;
    std::vector<TChannel> Channels;

    bool operator==(const TUsedComponents&) const = default;
};

enum class TTileRead
{
    Decoded,
    End,
    Failed
};

// The pass's next tile, decoded into the tile's buffer, with the used components' planes in it and
// its index on the layout's grid.
TTileRead DecodeNextTile(TDecoderPass& pass, const TDeclaredLayout& layout, const TUsedComponents& used,
                         TDecodedTile& tile);

// The least common multiple of the components' steps across and down: where every component has
// a sample. Past 256 points (no picture has such steps) windows stay as they are.
std::pair<uint32_t, uint32_t> CommonSteps(const opj_image_t& image);

// A window's samples of the used components, taken over from the library's image so that they
// outlive the next decode, and their planes.
class TWindowSamples
{
public:
    std::vector<TChannelPlane> Planes;

    void Take(opj_image_comp_t& component, TChannel channel);

private:
    struct TDataDeleter
    {
        void operator()(OPJ_INT32* data) const { opj_image_data_free(data); }
    };
    std::vector<std::unique_ptr<OPJ_INT32, TDataDeleter>> FData;
};

} // namespace Kvj2000::detail
