// Lossless JPEG transforms from stream to stream and from file to file.
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/safe_file_writer.h"

#include <memory>

using namespace Korvaneio::detail;

namespace Korvaneio {

bool JpegLosslessTransformStream(TStream& Input, TStream& Output, TKVJpegTransform Transform, bool GrayScale,
                                 TKVJpegCopyMarkers CopyMarkers, const TRect& CutRect)
{
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    Jpegfilt::KVJpegLosslessTransform(Input, Output, progress, Transform, GrayScale, CopyMarkers, CutRect);
    return !aborting;
}

// The output takes its name only when complete, so a failure leaves no part of it behind.
bool JpegLosslessTransform(const std::string& InputFile, const std::string& OutputFile,
                           TKVJpegTransform Transform, bool GrayScale, TKVJpegCopyMarkers CopyMarkers,
                           const TRect& CutRect)
{
    std::unique_ptr<TFileStream> input;
    std::unique_ptr<TSafeFileWriter> output;
    try {
        input = std::make_unique<TFileStream>(InputFile, fmOpenRead | fmShareDenyWrite);
        output = std::make_unique<TSafeFileWriter>(OutputFile);
    } catch (const EStreamError&) {
        return false;
    }
    const bool done =
        JpegLosslessTransformStream(*input, output->Stream(), Transform, GrayScale, CopyMarkers, CutRect);
    input.reset();
    try {
        output->Finish(done);
    } catch (const EStreamError&) {
        return false;
    }
    return done;
}

} // namespace Korvaneio
