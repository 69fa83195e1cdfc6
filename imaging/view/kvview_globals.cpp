// The screen resolution that readers store when a file names none.
#include "imaging/view/kvview_globals.h"

namespace Kvview {

int32_t gSystemDPIX = 96;
int32_t gSystemDPIY = 96;
int32_t gSystemColors = 24;

} // namespace Kvview
