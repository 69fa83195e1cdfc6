// Folder and file queries of the imaging library, and the free-memory figure that decides
// which images go to temporary files.
#pragma once

#include <cstdint>
#include <string>

namespace Daduvudez {

bool KVDirectoryExists(const std::string& path);
// Creates the folder and its missing parents; raises Exception "Cannot Create Directory" for an
// empty path. A folder that cannot be created is not reported.
void KVForceDirectories(const std::string& path);
// The folder of the library's temporary files, "/"-terminated: Korvaneio::DefTEMPPATH when it
// is set, else the system's.
std::string KVTempFolder();
// A new, empty file in KVTempFolder (created when missing), open for reading and writing, that
// has no name: it goes with its descriptor, and with the process however that ends, so no kill
// or crash leaves it behind. -1 (errno set) when it cannot be made.
int KVOpenTempFile();
// Size in bytes, 64-bit; -1 when the file cannot be opened.
int64_t _getfilesize(const std::string& fileName);
// Available physical memory in bytes (MemAvailable of /proc/meminfo); 0 when it cannot be told.
int64_t KVGetFreeMemory();

} // namespace Daduvudez
