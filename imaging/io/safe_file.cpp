// Whole files of the I/O component's file edits: read into memory, and saved through the one file
// writer, which replaces the file only once the new content is complete.
#include "imaging/io/detail/io_work.h"
#include "platform/core/safe_file_writer.h"

namespace Korvaneio::detail {

void LoadWholeFile(const std::string& fileName, TMemoryStream& memory)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    memory.CopyFrom(file, 0);
    memory.SetPosition(0);
}

void SaveWholeFile(const std::string& fileName, TMemoryStream& memory)
{
    if (memory.Size() == 0) {
        return;
    }
    TSafeFileWriter file(fileName);
    memory.SetPosition(0);
    file.Stream().CopyFrom(memory, 0);
    file.Commit();
}

} // namespace Korvaneio::detail
