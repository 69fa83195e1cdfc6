// Globals of the I/O unit that the lower layers of the imaging library read.
#pragma once

#include <string>

namespace Korvaneio {

// Folder of the library's temporary files ("/"-terminated); empty means the system's.
extern std::string DefTEMPPATH;

} // namespace Korvaneio
