// Globals of the I/O unit that the lower layers of the imaging library read.
#include "imaging/io/korvaneio_globals.h"

#include "imaging/io/detail/io_work.h"

namespace Korvaneio {

std::string DefTEMPPATH;

TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC = nullptr;
TGIFLZWCompFunc DefGIF_LZWCOMPFUNC = nullptr;
TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC = nullptr;
TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC = nullptr;

// Constant-initialised, so a parameter record made during any start-up already reaches them.
bool (*ParamsOwnerImageSize)(TKorvaneIO*, int32_t&, int32_t&) = detail::OwnerImageSize;
bool (*ParamsOwnerViewDpi)(TKorvaneIO*, int32_t&, int32_t&) = detail::OwnerViewDpi;
bool (*FileFormatDisplayName)(int32_t, std::string&, std::string&) = detail::FormatDisplayName;

} // namespace Korvaneio
