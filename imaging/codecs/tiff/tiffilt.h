// Tiffilt: the TIFF codec: reading one page of a TIFF file into a bitmap with its parameters,
// writing a bitmap as a new TIFF or as a page inserted into one, and counting, deleting,
// extracting and inserting the pages of whole TIFF files.
#pragma once

#include "imaging/codecs/params/ioparams.h"
#include "imaging/codecs/tiff/tiff_directory.h"

#include <cstdint>
#include <memory>
#include <vector>

class TStream;
class TKVBitmap;
class TKVMask;

namespace Tiffilt {

// Decodes the page Params->TIFF_ImageIndex of the TIFF at the stream's position into Bitmap and
// fills Params with its tags, its EXIF directory, IPTC data and annotations. PageCount receives
// the number of pages. Bitmap nil or Params nil only counts the pages. With RelativeToPosition the
// file's offsets count from the stream's position, else from its start. Alpha receives the
// page's transparency (created when empty) unless NoAlpha. AllowEmpty lets a page of width or
// height 0 fill the parameters. Failures, pages in a layout that has no conversion here, and data
// that ends or breaks before the last row set the progress record's abort flag (the rows decoded
// stay, those not reached are black); a page index past the last page sets nothing. Inside a
// JPEG strip or tile the JPEG reader's rule holds: a cut scan is padded and counted in
// Params->JPEG_WarningTot.
void TIFFReadStream(TKVBitmap* Bitmap, TStream& Stream, int32_t& PageCount, TIOParamsVals* Params,
                    TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TKVMask>& Alpha,
                    bool RelativeToPosition, bool NoAlpha, bool AllowEmpty);

// The part of TIFFReadStream that follows the directory walk: reads the page whose directory Env
// holds (its stream, byte order, form and base offset set, its entries loaded) in a file of
// PageCount pages.
void TIFFReadLoadedPage(TKVBitmap* Bitmap, TTIFFEnv& Env, int32_t PageCount, TIOParamsVals& Params,
                        TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TKVMask>& Alpha,
                        bool NoAlpha, bool AllowEmpty);

// The pages of a TIFF found in one walk of its directory chain, read one by one from their
// directories, so that reading every page reads each directory about twice instead of once a
// page. The header is at the stream's position, which the file's offsets count from.
class TTIFFPageIndex
{
public:
    explicit TTIFFPageIndex(TStream& Stream);

    // The pages TIFFReadStream counts.
    int32_t Count() const { return int32_t(FPages.size()); }
    // Reads page Index as TIFFReadStream reads it from the same position, with
    // RelativeToPosition, AllowEmpty false and TIFF_ImageIndex set to Index, which it sets. An
    // index past the last page reads nothing, also where a last directory cut off before its
    // next pointer, which TIFFReadStream reads but does not count, follows.
    void ReadPage(int32_t Index, TKVBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                  std::unique_ptr<TKVMask>& Alpha, bool NoAlpha);

private:
    TTIFFEnv FEnv;
    bool FHeaderRead = false;
    std::vector<int64_t> FPages;
};

// Writes Bitmap (nil: the descriptive and EXIF tags only) as a little-endian TIFF page with the
// compression and depth that Params asks for, and corrects Params to what it wrote. A new file
// starts at the stream's position and its offsets count from there. With Insert the stream holds
// a little-endian TIFF from its position on; the page is added at its end and linked in before
// page Params.TIFF_ImageIndex (after the last when the index is past it). Returns the pages of
// the file after writing, 0 when an insert finds no "II" header or a BigTIFF, whose directories
// this writer does not make (the abort flag is set and the stream is not written).
int32_t TIFFWriteStream(TStream& Stream, bool Insert, TKVBitmap* Bitmap, TIOParamsVals& Params,
                        TProgressRec& Progress);

// Page editing of whole TIFF files held in streams, offsets counted from the stream's position.
// Each page is copied with its strip or tile data and every value stored outside its directory,
// and the EXIF, GPS and interoperability directories and the JPEG interchange data it points to;
// other offsets into the old file (sub-images, free lists) are dropped. Output keeps the source's
// byte order and form: pages of a BigTIFF go to a BigTIFF, with every value as it was. Bytes that
// several entries or pages point at are copied once and stay shared, so an edit writes no more
// than its files hold; a file whose directories or offset tables run over one another (no writer
// makes them) is refused when more than one of its pages is copied.

// The number of pages; only directories are read.
int32_t _EnumTIFFImStream(TStream& Stream);
// Rewrites the stream without page Index; returns the pages kept (0 for a stream that is no TIFF
// or is refused, which is left as it is).
int32_t _DeleteTIFFImStream(TStream& Stream, int32_t Index);
int32_t _DeleteTIFFImStreamGroup(TStream& Stream, const int32_t* Indexes, int32_t Count);
// Writes page Index of the stream to Output as a one-page TIFF; nothing for a stream that is no
// TIFF or an index past the last page.
void _ExtractTIFFImStream(TStream& Stream, int32_t Index, TStream& Output);
// Writes the pages of Stream to Output with every page of ToInsert placed before page Index (after
// the last when Index is the page count or more). Returns the output position of the last
// next-directory pointer, -1 when nothing was written (not TIFF, refused, or files of different
// byte order or form, classic and BigTIFF, which cannot share one file without converting every
// value).
int64_t _InsertTIFFImStream(TStream& Stream, TStream& ToInsert, int32_t Index, TStream& Output);
// Adds every page of ToAppend at the end of the TIFF whose header is at Stream's position, linked
// from its last next-directory pointer, at stream position LastPointer (as the writer or this
// function leaves it), without reading the file's pages. Returns the position of the new last
// next-directory pointer; -1, with nothing written, for a ToAppend that is no TIFF, is refused, or
// differs from the file in byte order or form, or pages that a classic file could not reach.
int64_t _AppendTIFFImStream(TStream& Stream, int64_t LastPointer, TStream& ToAppend);

} // namespace Tiffilt
