// The program's own bitmap resources for the run windows: the status icons "CHECK", "FAILED" and
// the clock frames "CLOCK_0" to "CLOCK_7" (16 by 16), and the 48 by 48 "WARNING" picture.
#pragma once

#include <string>

class TBitmap;

// Makes Bitmap the resource of that name (case ignored); false, leaving Bitmap alone, when the
// program has no such resource.
bool LoadBitmapResource(const std::string& Name, TBitmap& Bitmap);
