// The library's readings of a JPEG 2000 stream and the tiles and windows it decodes.
#include "imaging/codecs/j2k/detail/decoder_pass.h"

#include <algorithm>
#include <numeric>

namespace Kvj2000::detail {

namespace {

// The used components' planes in a tile's buffer, which holds every component's samples in turn;
// their Data are offsets into it. False when the buffer is not their size.
bool TilePlanes(const opj_image_t& header, const TPictureArea& tile, uint32_t bytes,
                const TUsedComponents& used, std::vector<TChannelPlane>& planes)
{
    std::vector<TSamplePlane> all(header.numcomps);
    uint64_t offset = 0;
    for (uint32_t c = 0; c < header.numcomps; ++c) {
        const opj_image_comp_t& component = header.comps[c];
        const uint32_t dx = std::max(component.dx, 1u), dy = std::max(component.dy, 1u);
        TSamplePlane& plane = all[c];
        plane.X0 = uint32_t(CeilDiv(tile.X0, dx));
        plane.Y0 = uint32_t(CeilDiv(tile.Y0, dy));
        plane.Width = uint32_t(CeilDiv(tile.X1, dx)) - plane.X0;
        plane.Height = uint32_t(CeilDiv(tile.Y1, dy)) - plane.Y0;
        plane.StepX = dx;
        plane.StepY = dy;
        plane.Precision = component.prec;
        plane.Signed = component.sgnd != 0;
        plane.BytesPerSample = TileSampleBytes(component.prec);
        plane.Data = reinterpret_cast<const void*>(uintptr_t(offset));
        offset += uint64_t(plane.Width) * plane.Height * plane.BytesPerSample;
    }
    if (offset != bytes) {
        return false;
    }
    planes.clear();
    for (size_t i = 0; i < used.Indexes.size(); ++i) {
        planes.push_back({all[size_t(used.Indexes[i])], used.Channels[i]});
    }
    return true;
}

} // namespace

bool OpenPass(TStream& stream, bool jp2, unsigned threads, bool applyBoxes, TDecoderPass& pass)
{
    pass.Codec.reset(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    pass.Stream = MakeLibraryStream(stream, true);
    if (!pass.Codec || !pass.Stream) {
        return false;
    }
    Silence(pass.Codec.get());
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!applyBoxes) {
        parameters.flags |= OPJ_DPARAMETERS_IGNORE_PCLR_CMAP_CDEF_FLAG;
    }
    if (!opj_setup_decoder(pass.Codec.get(), &parameters)) {
        return false;
    }
    if (threads > 1 && opj_has_thread_support()) {
        opj_codec_set_threads(pass.Codec.get(), int(threads));
    }
    opj_image_t* header = nullptr;
    const bool read = opj_read_header(pass.Stream.get(), pass.Codec.get(), &header);
    pass.Header.reset(header);
    return read && pass.Header;
}

TTileRead DecodeNextTile(TDecoderPass& pass, const TDeclaredLayout& layout, const TUsedComponents& used,
                         TDecodedTile& tile)
{
    OPJ_UINT32 index = 0, bytes = 0, components = 0;
    OPJ_INT32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    OPJ_BOOL more = OPJ_FALSE;
    if (!opj_read_tile_header(pass.Codec.get(), pass.Stream.get(), &index, &bytes, &x0, &y0, &x1, &y1,
                              &components, &more)) {
        return TTileRead::Failed;
    }
    if (!more) {
        return TTileRead::End;
    }
    const opj_image_t& header = *pass.Header;
    const TPictureArea area{uint32_t(x0), uint32_t(y0), uint32_t(x1), uint32_t(y1)};
    if (components != header.numcomps || !TilePlanes(header, area, bytes, used, tile.Planes)) {
        return TTileRead::Failed;
    }
    tile.Index = TileAt(layout, area.X0, area.Y0);
    if (bytes > tile.Capacity) {
        tile.Bytes = std::make_unique_for_overwrite<uint8_t[]>(bytes);
        tile.Capacity = bytes;
    }
    tile.Size = bytes;
    if (tile.Index >= layout.Tiles ||
        !opj_decode_tile_data(pass.Codec.get(), index, tile.Bytes.get(), bytes, pass.Stream.get())) {
        return TTileRead::Failed;
    }
    for (TChannelPlane& plane : tile.Planes) {
        plane.Plane.Data = tile.Bytes.get() + reinterpret_cast<uintptr_t>(plane.Plane.Data);
    }
    return TTileRead::Decoded;
}

std::pair<uint32_t, uint32_t> CommonSteps(const opj_image_t& image)
{
    uint64_t across = 1, down = 1;
    for (uint32_t c = 0; c < image.numcomps && across <= 256 && down <= 256; ++c) {
        across = std::lcm(across, std::max<uint64_t>(image.comps[c].dx, 1));
        down = std::lcm(down, std::max<uint64_t>(image.comps[c].dy, 1));
    }
    return {across <= 256 ? uint32_t(across) : 1, down <= 256 ? uint32_t(down) : 1};
}

void TWindowSamples::Take(opj_image_comp_t& component, TChannel channel)
{
    TSamplePlane plane;
    plane.BytesPerSample = sizeof(OPJ_INT32);
    plane.Signed = component.sgnd != 0;
    plane.Precision = component.prec;
    plane.X0 = component.x0;
    plane.Y0 = component.y0;
    plane.Width = component.w;
    plane.Height = component.h;
    plane.StepX = component.dx;
    plane.StepY = component.dy;
    FData.emplace_back(component.data);
    component.data = nullptr;
    plane.Data = FData.back().get();
    Planes.push_back({plane, channel});
}

} // namespace Kvj2000::detail
