// Globals of the I/O unit that the lower layers of the imaging library read.
#include "imaging/io/korvaneio_globals.h"

namespace Korvaneio {

std::string DefTEMPPATH;

TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC = nullptr;
TGIFLZWCompFunc DefGIF_LZWCOMPFUNC = nullptr;
TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC = nullptr;
TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC = nullptr;

bool (*ParamsOwnerImageSize)(TKorvaneIO*, int32_t&, int32_t&) = nullptr;
bool (*ParamsOwnerViewDpi)(TKorvaneIO*, int32_t&, int32_t&) = nullptr;
bool (*FileFormatDisplayName)(int32_t, std::string&, std::string&) = nullptr;

} // namespace Korvaneio
