// The temporary file stream of the JPEG 2000 unit.
#include "imaging/codecs/j2k/kvj2000.h"

#include "imaging/core/file_utils.h"
#include "platform/core/exceptions.h"
#include "platform/core/system.h"

#include <cerrno>
#include <unistd.h>

namespace {

int NewTemporaryFile()
{
    const int handle = Daduvudez::KVOpenTempFile();
    if (handle < 0) {
        const int error = errno;
        throw EFCreateError("Cannot create a temporary file in " + Daduvudez::KVTempFolder() + ". " +
                            SysErrorMessage(error));
    }
    return handle;
}

} // namespace

TKVTmpStream::TKVTmpStream() : THandleStream(NewTemporaryFile()) {}

TKVTmpStream::~TKVTmpStream()
{
    close(FHandle);
}
