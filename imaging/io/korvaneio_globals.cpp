// Globals of the I/O unit that the lower layers of the imaging library read.
#include "imaging/io/korvaneio_globals.h"

namespace Korvaneio {

std::string DefTEMPPATH;

} // namespace Korvaneio
