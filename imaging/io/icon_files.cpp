// Icon files edited as files: counting their images, and writing several pictures into one.
#include "imaging/codecs/bmp/bmpfilt.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/safe_file_writer.h"

using namespace Korvaneio::detail;

namespace Korvaneio {

int32_t EnumICOIm(const std::string& FileName)
{
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    return Bmpfilt::_EnumICOImStream(stream);
}

bool KVWriteICOImages(const std::string& FileName, std::span<const Bmpfilt::TKVIconImage> Images)
{
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    TSafeFileWriter file(FileName);
    Bmpfilt::ICOWriteStream2(file.Stream(), Images, progress);
    file.Finish(!aborting);
    return !aborting;
}

} // namespace Korvaneio
