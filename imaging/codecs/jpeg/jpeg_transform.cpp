// Lossless JPEG transforms: the DCT coefficient blocks are read, moved, mirrored or transposed,
// and written again with the same quantisation tables, so nothing is decoded to pixels.
#include "imaging/codecs/jpeg/jpegfilt.h"

#include "imaging/codecs/jpeg/detail/jpeg_glue.h"
#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/exif_buffer.h"
#include "platform/core/streams.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace Jpegfilt {

namespace {

using namespace detail;

// Everything the library calls need, kept in plain data: the library's errors jump over the
// frames that use it, so nothing in them may have a destructor.
struct TTransformJob
{
    TKVJpegTransform Operation = jtNone;
    bool Grayscale = false;
    TKVJpegCopyMarkers CopyMarkers = jcCopyNone;
    TRect Cut{};
    // Components moved (1 when only the grey is kept), and the MCU size they move in.
    int Components = 0;
    int McuWidth = 8;
    int McuHeight = 8;
    // The cut in whole MCUs, and the size of the picture written.
    int CutMcuX = 0;
    int CutMcuY = 0;
    JDIMENSION OutputWidth = 0;
    JDIMENSION OutputHeight = 0;
    jvirt_barray_ptr Workspace[MAX_COMPONENTS] = {};
    bool Failed = false;
};

bool Transposes(TKVJpegTransform operation)
{
    return operation == jtTranspose || operation == jtTransverse || operation == jtRotate90 ||
           operation == jtRotate270;
}

// A side cut down to whole MCUs, when there is at least one.
JDIMENSION Trimmed(JDIMENSION size, int mcu)
{
    const JDIMENSION whole = size / JDIMENSION(mcu) * JDIMENSION(mcu);
    return whole > 0 ? whole : size;
}

JDIMENSION RoundUp(JDIMENSION value, int multiple)
{
    return (value + JDIMENSION(multiple) - 1) / JDIMENSION(multiple) * JDIMENSION(multiple);
}

// Blocks of one component across a picture side of size pixels.
JDIMENSION BlocksAcross(JDIMENSION size, int sampling, int maxSampling)
{
    const JDIMENSION samples =
        (size * JDIMENSION(sampling) + JDIMENSION(maxSampling) - 1) / JDIMENSION(maxSampling);
    return (samples + DCTSIZE - 1) / DCTSIZE;
}

// The rectangle, right and bottom inclusive, cut to the picture; false when nothing is left.
bool PlaceCut(TTransformJob& job, JDIMENSION width, JDIMENSION height)
{
    const int64_t left = std::max<int64_t>(job.Cut.Left, 0), top = std::max<int64_t>(job.Cut.Top, 0);
    const int64_t right = std::min<int64_t>(job.Cut.Right, int64_t(width) - 1);
    const int64_t bottom = std::min<int64_t>(job.Cut.Bottom, int64_t(height) - 1);
    if (right < left || bottom < top) {
        return false;
    }
    job.CutMcuX = int(left / job.McuWidth);
    job.CutMcuY = int(top / job.McuHeight);
    // Whole MCUs from the one that holds the corner, never past the picture's edge.
    const int64_t x0 = int64_t(job.CutMcuX) * job.McuWidth, y0 = int64_t(job.CutMcuY) * job.McuHeight;
    const int64_t spanX = (left - x0 + (right - left + 1) + job.McuWidth - 1) / job.McuWidth * job.McuWidth;
    const int64_t spanY = (top - y0 + (bottom - top + 1) + job.McuHeight - 1) / job.McuHeight * job.McuHeight;
    job.OutputWidth = JDIMENSION(std::min<int64_t>(spanX, int64_t(width) - x0));
    job.OutputHeight = JDIMENSION(std::min<int64_t>(spanY, int64_t(height) - y0));
    return true;
}

// The size written, trimmed so that no partial MCU would move into the picture.
void PlaceOutput(TTransformJob& job, JDIMENSION width, JDIMENSION height)
{
    const int mcuW = job.McuWidth, mcuH = job.McuHeight;
    switch (job.Operation) {
    case jtCut:
        return; // placed by PlaceCut
    case jtNone:
        job.OutputWidth = width;
        job.OutputHeight = height;
        return;
    case jtHorizFlip:
        job.OutputWidth = Trimmed(width, mcuW);
        job.OutputHeight = height;
        return;
    case jtVertFlip:
        job.OutputWidth = width;
        job.OutputHeight = Trimmed(height, mcuH);
        return;
    case jtRotate180:
        job.OutputWidth = Trimmed(width, mcuW);
        job.OutputHeight = Trimmed(height, mcuH);
        return;
    case jtTranspose:
        job.OutputWidth = height;
        job.OutputHeight = width;
        return;
    case jtRotate90:
        job.OutputWidth = Trimmed(height, mcuH);
        job.OutputHeight = width;
        return;
    case jtRotate270:
        job.OutputWidth = height;
        job.OutputHeight = Trimmed(width, mcuW);
        return;
    case jtTransverse:
        job.OutputWidth = Trimmed(height, mcuH);
        job.OutputHeight = Trimmed(width, mcuW);
        return;
    }
}

// Arrays for the moved blocks, requested before the coefficients are read so that the library
// makes them with the source's. Flips and no operation work in place.
void RequestWorkspace(j_decompress_ptr source, TTransformJob& job)
{
    if (job.Operation == jtNone || job.Operation == jtHorizFlip) {
        return;
    }
    const bool transposed = Transposes(job.Operation);
    for (int c = 0; c < job.Components; ++c) {
        // Rounded to the component's own sampling, which the compressor reads in.
        const jpeg_component_info& component = source->comp_info[c];
        const int h = component.h_samp_factor, v = component.v_samp_factor;
        const int maxH = source->max_h_samp_factor, maxV = source->max_v_samp_factor;
        JDIMENSION width = 0, height = 0;
        int rows = v;
        if (job.Operation == jtCut) {
            width = RoundUp(BlocksAcross(job.OutputWidth, h, maxH), h);
            height = RoundUp(BlocksAcross(job.OutputHeight, v, maxV), v);
        } else if (transposed) {
            width = RoundUp(component.height_in_blocks, v);
            height = RoundUp(component.width_in_blocks, h);
            rows = h;
        } else {
            width = RoundUp(component.width_in_blocks, h);
            height = RoundUp(component.height_in_blocks, v);
        }
        // Pre-zeroed: the compressor reads the padding rows of the last MCU row, which no block
        // is moved into.
        job.Workspace[c] = source->mem->request_virt_barray(
            reinterpret_cast<j_common_ptr>(source), JPOOL_IMAGE, TRUE, width, height, JDIMENSION(rows));
    }
}

void TransposeTable(JQUANT_TBL* table)
{
    for (int row = 0; row < DCTSIZE; ++row) {
        for (int col = row + 1; col < DCTSIZE; ++col) {
            std::swap(table->quantval[row * DCTSIZE + col], table->quantval[col * DCTSIZE + row]);
        }
    }
}

// What the compressor is to write: the size, the grey colour space, swapped sampling and
// transposed tables for the transposing operations.
void AdjustOutput(j_decompress_ptr source, j_compress_ptr target, const TTransformJob& job)
{
    if (job.Grayscale) {
        const int table = source->comp_info[0].quant_tbl_no;
        jpeg_set_colorspace(target, JCS_GRAYSCALE);
        target->comp_info[0].quant_tbl_no = table;
    }
    target->image_width = job.OutputWidth;
    target->image_height = job.OutputHeight;
    if (!Transposes(job.Operation)) {
        return;
    }
    for (int c = 0; c < target->num_components; ++c) {
        std::swap(target->comp_info[c].h_samp_factor, target->comp_info[c].v_samp_factor);
    }
    for (JQUANT_TBL* table : target->quant_tbl_ptrs) {
        if (table != nullptr) {
            TransposeTable(table);
        }
    }
}

// One block, from source to target: transposed, then odd columns (mirrored left-right) and odd
// rows (mirrored top-bottom) negated.
void MoveBlock(const JCOEF* source, JCOEF* target, bool transpose, bool mirrorColumns, bool mirrorRows)
{
    for (int row = 0; row < DCTSIZE; ++row) {
        for (int col = 0; col < DCTSIZE; ++col) {
            JCOEF value = transpose ? source[col * DCTSIZE + row] : source[row * DCTSIZE + col];
            if ((mirrorColumns && (col & 1)) != (mirrorRows && (row & 1))) {
                value = JCOEF(-value);
            }
            target[row * DCTSIZE + col] = value;
        }
    }
}

JBLOCKROW SourceRow(j_decompress_ptr source, jvirt_barray_ptr array, JDIMENSION row)
{
    return source->mem->access_virt_barray(reinterpret_cast<j_common_ptr>(source), array, row, 1, FALSE)[0];
}

// Left-right mirroring in place: the whole MCU columns of each block row trade places.
void FlipInPlace(j_decompress_ptr source, j_compress_ptr target, jvirt_barray_ptr* arrays,
                 const TTransformJob& job)
{
    for (int c = 0; c < job.Components; ++c) {
        const jpeg_component_info& component = target->comp_info[c];
        const JDIMENSION width = component.width_in_blocks;
        for (JDIMENSION y = 0; y < component.height_in_blocks; ++y) {
            JBLOCKROW row = source->mem->access_virt_barray(reinterpret_cast<j_common_ptr>(source), arrays[c],
                                                            y, 1, TRUE)[0];
            for (JDIMENSION x = 0; x < width / 2; ++x) {
                JBLOCK left, right;
                MoveBlock(row[x], right, false, true, false);
                MoveBlock(row[width - 1 - x], left, false, true, false);
                std::memcpy(row[x], left, sizeof(JBLOCK));
                std::memcpy(row[width - 1 - x], right, sizeof(JBLOCK));
            }
            if (width % 2 == 1) {
                JBLOCK middle;
                MoveBlock(row[width / 2], middle, false, true, false);
                std::memcpy(row[width / 2], middle, sizeof(JBLOCK));
            }
        }
    }
}

// Every other operation fills the workspace, block by block, from where each block comes from.
void FillWorkspace(j_decompress_ptr source, j_compress_ptr target, jvirt_barray_ptr* arrays,
                   const TTransformJob& job)
{
    const TKVJpegTransform op = job.Operation;
    const bool transpose = Transposes(op);
    const bool mirrorColumns = op == jtRotate90 || op == jtRotate180 || op == jtTransverse;
    const bool mirrorRows = op == jtVertFlip || op == jtRotate270 || op == jtRotate180 || op == jtTransverse;
    for (int c = 0; c < job.Components; ++c) {
        const jpeg_component_info& component = target->comp_info[c];
        const JDIMENSION width = component.width_in_blocks, height = component.height_in_blocks;
        const JDIMENSION cutX =
            JDIMENSION(job.CutMcuX) * JDIMENSION(job.Components == 1 ? 1 : component.h_samp_factor);
        const JDIMENSION cutY =
            JDIMENSION(job.CutMcuY) * JDIMENSION(job.Components == 1 ? 1 : component.v_samp_factor);
        for (JDIMENSION y = 0; y < height; ++y) {
            JBLOCKROW out = source->mem->access_virt_barray(reinterpret_cast<j_common_ptr>(source),
                                                            job.Workspace[c], y, 1, TRUE)[0];
            if (!transpose) {
                // Rows stay rows: one source row serves the whole output row.
                const JDIMENSION sourceY = op == jtCut ? cutY + y : mirrorRows ? height - 1 - y : y;
                JBLOCKROW in = SourceRow(source, arrays[c], sourceY);
                for (JDIMENSION x = 0; x < width; ++x) {
                    const JDIMENSION sourceX = op == jtCut ? cutX + x : mirrorColumns ? width - 1 - x : x;
                    MoveBlock(in[sourceX], out[x], false, mirrorColumns, mirrorRows);
                }
                continue;
            }
            // Output row y is made of source column y (mirrored as the operation says).
            const JDIMENSION sourceX = mirrorRows ? height - 1 - y : y;
            for (JDIMENSION x = 0; x < width; ++x) {
                const JDIMENSION sourceY = mirrorColumns ? width - 1 - x : x;
                MoveBlock(SourceRow(source, arrays[c], sourceY)[sourceX], out[x], true, mirrorColumns,
                          mirrorRows);
            }
        }
    }
}

// The markers saved while reading, in file order, except the JFIF and Adobe headers that the
// compressor writes itself. EXIF data tells the size of the picture written.
void CopySavedMarkers(j_decompress_ptr source, j_compress_ptr target)
{
    for (jpeg_saved_marker_ptr marker = source->marker_list; marker != nullptr; marker = marker->next) {
        const bool jfif = marker->marker == JPEG_APP0 && marker->data_length >= 5 &&
                          std::memcmp(marker->data, "JFIF", 5) == 0;
        const bool adobe = marker->marker == JPEG_APP0 + 14 && marker->data_length >= 5 &&
                           std::memcmp(marker->data, "Adobe", 5) == 0;
        if ((jfif && target->write_JFIF_header) || (adobe && target->write_Adobe_marker)) {
            continue;
        }
        if (marker->marker == JPEG_APP0 + 1) {
            Daduvudez::SetEXIFPictureSize(marker->data, marker->data_length, target->image_width,
                                          target->image_height);
        }
        jpeg_write_marker(target, marker->marker, marker->data, marker->data_length);
    }
}

// The whole transform, inside the error guard.
void Transform(j_decompress_ptr source, j_compress_ptr target, TTransformJob& job)
{
    if (job.CopyMarkers != jcCopyNone) {
        jpeg_save_markers(source, JPEG_COM, 0xFFFF);
    }
    if (job.CopyMarkers == jcCopyAll) {
        for (int m = 0; m < 16; ++m) {
            jpeg_save_markers(source, JPEG_APP0 + m, 0xFFFF);
        }
    }
    jpeg_read_header(source, TRUE);
    if (!CoefficientsWithinBudget(*source)) {
        job.Failed = true;
        return;
    }
    // Grey is kept from YCbCr pictures and grey ones only.
    if (job.Grayscale && !(source->num_components == 1 ||
                           (source->num_components == 3 && source->jpeg_color_space == JCS_YCbCr))) {
        job.Failed = true;
        return;
    }
    job.Components = job.Grayscale ? 1 : source->num_components;
    job.McuWidth = job.Components == 1 ? DCTSIZE : source->max_h_samp_factor * DCTSIZE;
    job.McuHeight = job.Components == 1 ? DCTSIZE : source->max_v_samp_factor * DCTSIZE;
    if (job.Operation == jtCut && !PlaceCut(job, source->image_width, source->image_height)) {
        job.Failed = true;
        return;
    }
    PlaceOutput(job, source->image_width, source->image_height);
    RequestWorkspace(source, job);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(source);
    jpeg_copy_critical_parameters(source, target);
    AdjustOutput(source, target, job);
    const bool inPlace = job.Operation == jtNone || job.Operation == jtHorizFlip;
    jpeg_write_coefficients(target, inPlace ? coefficients : job.Workspace);
    CopySavedMarkers(source, target);
    if (job.Operation == jtHorizFlip) {
        FlipInPlace(source, target, coefficients, job);
    } else if (!inPlace) {
        FillWorkspace(source, target, coefficients, job);
    }
    jpeg_finish_compress(target);
    jpeg_finish_decompress(source);
}

} // namespace

void KVJpegLosslessTransform(TStream& Input, TStream& Output, TProgressRec& Progress,
                             TKVJpegTransform Transform_, bool Grayscale, TKVJpegCopyMarkers CopyMarkers,
                             const TRect& Cut)
{
    bool localAbort = false;
    bool& aborting = Progress.Aborting != nullptr ? *Progress.Aborting : localAbort;
    const int64_t start = JpegTryStream(Input);
    if (start < 0) {
        aborting = true;
        return;
    }
    Input.SetPosition(start);
    auto sourceManager = std::make_unique<TJpegSource>();
    auto destinationManager = std::make_unique<TJpegDestination>();
    TJpegErrorMgr errors;
    jpeg_decompress_struct source;
    jpeg_compress_struct target;
    std::memset(&source, 0, sizeof source);
    std::memset(&target, 0, sizeof target);
    source.err = InitErrorMgr(errors, &aborting);
    target.err = &errors.Pub;
    TTransformJob job;
    job.Operation = Transform_;
    job.Grayscale = Grayscale;
    job.CopyMarkers = CopyMarkers;
    job.Cut = Cut;
    const bool completed = JpegGuard(errors, [&] {
        jpeg_create_decompress(&source);
        jpeg_create_compress(&target);
        AttachSource(&source, *sourceManager, Input, &aborting);
        AttachDestination(&target, *destinationManager, Output, &aborting);
        Transform(&source, &target, job);
    });
    if (!completed || job.Failed) {
        aborting = true;
    }
    jpeg_destroy_compress(&target);
    jpeg_destroy_decompress(&source);
}

} // namespace Jpegfilt
