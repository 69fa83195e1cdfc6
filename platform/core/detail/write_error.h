// The text of a write to a named file that failed, shared by the file streams and the file writer.
#pragma once

#include <string>

namespace kvcore_detail {

// "Cannot write file "<name>". <the reason>."
std::string CannotWriteMessage(const std::string& FileName, int Error);
// The same with a reason of the writer's own.
inline std::string CannotWriteMessage(const std::string& FileName, const std::string& Reason)
{
    return "Cannot write file \"" + FileName + "\". " + Reason + ".";
}

} // namespace kvcore_detail
