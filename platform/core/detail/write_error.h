// The texts of calls on a named file that failed, shared by the file streams, the file writer and
// the file copy.
#pragma once

#include <string>

namespace kvcore_detail {

// "<Failed> "<name>". <the reason>" ("Cannot open file", "Cannot create file", "Cannot read file").
std::string FileCallMessage(const char* Failed, const std::string& FileName, int Error);

// "Cannot write file "<name>". <the reason>."
std::string CannotWriteMessage(const std::string& FileName, int Error);
// The same with a reason of the writer's own.
inline std::string CannotWriteMessage(const std::string& FileName, const std::string& Reason)
{
    return "Cannot write file \"" + FileName + "\". " + Reason + ".";
}

} // namespace kvcore_detail
