// The file forms of the codecs' writers: what a stream writer wrote takes the file's name only
// when the writer did not abort, so that a save that fails leaves the file as it was.
#pragma once

#include "imaging/core/types.h"
#include "platform/core/safe_file_writer.h"

#include <string>

namespace Codecs::detail {

// Write(stream, progress) writes the file's whole new content into stream; a progress record
// without an abort flag gets one of its own here, so that a failure is seen all the same.
template <typename TWrite>
void WriteCodecFile(const std::string& FileName, const TProgressRec& Progress, TWrite Write)
{
    bool ownFlag = false;
    TProgressRec progress = Progress;
    if (progress.Aborting == nullptr) {
        progress.Aborting = &ownFlag;
    }
    TSafeFileWriter file(FileName);
    Write(file.Stream(), progress);
    file.Finish(!*progress.Aborting);
}

} // namespace Codecs::detail
