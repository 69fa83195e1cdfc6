// The screen resolution that readers store when a file names none.
#pragma once

#include <cstdint>

namespace Kvview {

// Pixels per inch of the screen; 96 until the view unit reads the screen at start-up.
extern int32_t gSystemDPIX;
extern int32_t gSystemDPIY;
// Bits per pixel of the screen. Every depth shows the view's 24-bit picture: the 8- and 16-bit
// paths copy it as the 24-bit one does.
extern int32_t gSystemColors;

} // namespace Kvview
