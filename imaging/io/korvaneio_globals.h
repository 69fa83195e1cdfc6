// Globals of the I/O unit that the lower layers of the imaging library read.
#pragma once

#include "imaging/codecs/params/lzw_hooks.h"

#include <cstdint>
#include <string>

class TKorvaneIO;

namespace Korvaneio {

// Folder of the library's temporary files ("/"-terminated); empty means the system's.
extern std::string DefTEMPPATH;

// LZW coders that a new or reset parameter record takes; nil unless an application sets them.
extern TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC;
extern TGIFLZWCompFunc DefGIF_LZWCOMPFUNC;
extern TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC;
extern TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC;

// How a parameter record reaches the I/O component that owns it and the format table; the I/O
// unit installs them. Each answers false (and leaves its outputs alone) when it has nothing: an
// owner without an image or without an attached view, a file type that is not registered.
extern bool (*ParamsOwnerImageSize)(TKorvaneIO* owner, int32_t& width, int32_t& height);
extern bool (*ParamsOwnerViewDpi)(TKorvaneIO* owner, int32_t& dpiX, int32_t& dpiY);
extern bool (*FileFormatDisplayName)(int32_t fileType, std::string& fullName, std::string& firstExt);

} // namespace Korvaneio
