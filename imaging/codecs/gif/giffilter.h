// The GIF codec: reads one frame of a GIF87a/89a file, writes a one-frame GIF89a, and edits the
// frames of an existing file. The LZW step goes through the hooks of the parameter record.
#pragma once

#include "imaging/core/types.h"

#include <cstdint>
#include <memory>
#include <string>

class TStream;
class TStrings;
class TKVBitmap;
class TKVMask;
class TIOParamsVals;

namespace Giffilter {

// Decodes frame Params.GIF_ImageIndex and returns in NumImages the number of frames (a frame cut
// inside its descriptor counts). Image data that ends or breaks before the frame is full sets the
// abort flag: the rows it reached are kept, the others stay black (transparent in the mask of a
// frame with transparency; a frame without gets no mask then).
// A file that ends after its last whole frame without the trailer is complete.
void ReadGifStream(TStream& Stream, TKVBitmap& Bitmap, int32_t& NumImages, TIOParamsVals& Params,
                   TProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TKVMask>& AlphaMask,
                   bool NoAlpha);
void ReadGif(const std::string& FileName, TKVBitmap& Bitmap, int32_t& NumImages, TIOParamsVals& Params,
             TProgressRec& Progress, std::unique_ptr<TKVMask>& AlphaMask, bool NoAlpha);

// The frames of a GIF found in one walk over its blocks, read one by one from where each begins,
// so that reading every frame reads the file about twice instead of once a frame. The walk
// starts at the stream's position and decodes nothing.
class TGifFrameIndex
{
public:
    explicit TGifFrameIndex(TStream& Stream);
    ~TGifFrameIndex();
    TGifFrameIndex(const TGifFrameIndex&) = delete;
    TGifFrameIndex& operator=(const TGifFrameIndex&) = delete;

    // The frames ReadGifStream counts.
    int32_t Count() const { return FCount; }
    // The comments of the whole file, which ReadGifStream gathers for any frame.
    const TStrings& Comments() const;
    // Reads frame Index as ReadGifStream reads it with GIF_ImageIndex set to Index, which it sets.
    // The record gets the frame count and the comments of the whole file also when the frame
    // fails, where ReadGifStream stops counting and gathering at the frame; WithComments false
    // leaves the record's comments as they are.
    void ReadFrame(int32_t Index, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                   std::unique_ptr<TKVMask>& AlphaMask, bool NoAlpha, bool WithComments = true);

private:
    struct TWalk;
    TStream& FStream;
    std::unique_ptr<TWalk> FWalk;
    int32_t FCount = 0;
};

void WriteGifStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
void WriteGif(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Inserts Bitmap as a frame at Params.GIF_ImageIndex; returns the number of frames of the result.
int32_t _InsertGifImStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
// Adds Bitmap as the last frame of the GIF whose trailer is the byte before the stream's position,
// as WriteGifStream and this function leave it: the frame and the stream are those
// _InsertGifImStream makes with GIF_ImageIndex at the frame count, without reading the frames
// before. False, with the abort flag set and the stream as it was, when that byte is no trailer or
// the frame cannot be made or encoded.
bool _AppendGifImStream(TStream& Stream, TKVBitmap& Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
int32_t _InsertGifIm(const std::string& FileName, TKVBitmap& Bitmap, TIOParamsVals& Params,
                     TProgressRec& Progress);
// Drops frame Index (its ordinal in the file); returns the number of frames kept. Index -1 with
// Save false only counts the frames.
int32_t _DeleteGifIm(const std::string& FileName, int32_t Index, bool Save);
// As _DeleteGifIm, the result written to Output (nothing when Source is no GIF).
int32_t _DeleteGifImStream(TStream& Source, TStream& Output, int32_t Index);
bool _CheckGifAnimate(const std::string& FileName);
void _GifMakeAnimate(const std::string& FileName, uint16_t LoopCount, int32_t Width, int32_t Height);
// As _GifMakeAnimate, from Source's position to Output; false (and no output) when Source is no GIF.
bool _GifMakeAnimateStream(TStream& Source, TStream& Output, uint16_t LoopCount, int32_t Width,
                           int32_t Height);
// Writes Width x Height, each cut to 0..65535, as the logical screen of the GIF that starts at the
// stream's position, and leaves the position there; false when no GIF starts there (nothing is
// written) or the stream takes the words short.
bool _GifSetScreenStream(TStream& Stream, int32_t Width, int32_t Height);

} // namespace Giffilter
