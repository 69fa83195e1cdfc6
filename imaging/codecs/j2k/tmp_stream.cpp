// The temporary file stream of the JPEG 2000 unit.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/core/file_utils.h"
#include "platform/core/exceptions.h"
#include "platform/core/tempfiles.h"

#include <unistd.h>

namespace {

std::string NewTemporaryFile()
{
    const std::string folder = Daduvudez::KVTempFolder();
    Daduvudez::KVForceDirectories(folder);
    std::string name = GetTempFileName(folder, "korvane");
    if (name.empty()) {
        throw EFCreateError("Cannot create a temporary file in " + folder);
    }
    return name;
}

} // namespace

TKVTmpStream::TKVTmpStream() : TFileStream(NewTemporaryFile(), fmOpenReadWrite) {}

TKVTmpStream::~TKVTmpStream()
{
    unlink(FileName().c_str());
}
