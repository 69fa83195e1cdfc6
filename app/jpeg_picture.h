// Reading a JPEG file into a class-library picture, for the windows that show one (the about
// window's logo, a template's preview).
#pragma once

#include <string>

class TPicture;

// Decodes the JPEG file into Picture as a bitmap. False, with Picture emptied, when the file
// cannot be read or is no JPEG.
bool LoadJpegPicture(const std::string& FileName, TPicture& Picture);
