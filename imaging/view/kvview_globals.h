// The screen resolution that readers store when a file names none.
#pragma once

#include <cstdint>

namespace Kvview {

// Pixels per inch of the screen; 96 until the view unit reads the screen at start-up.
extern int32_t gSystemDPIX;
extern int32_t gSystemDPIY;

} // namespace Kvview
