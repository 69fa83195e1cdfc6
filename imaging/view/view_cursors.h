// The image view's eighteen cursors, registered with the screen once.
#pragma once

namespace Korvaneview {

// Registers the view cursors (identifiers 1778 to 1795) unless they exist already.
void RegisterViewCursors();

} // namespace Korvaneview
