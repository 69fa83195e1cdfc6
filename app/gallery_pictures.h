// What the gallery run does to one picture with a worker's tools: load and check it, fit it into
// a box upright, as a browser shows it, encode it, and write it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TMemoryStream;
struct TPictureTools;

struct TFittedSize
{
    int32_t Width = 0;
    int32_t Height = 0;
};

// A Width x Height picture fitted into the box, enlarged or reduced: the limiting side equals
// the box and the other keeps the ratio, truncated; never below 1.
TFittedSize FitToBox(int32_t Width, int32_t Height, int32_t BoxWidth, int32_t BoxHeight);

// Loads FileName into the tools' bitmap, the parameters started from their defaults with the
// run's LZW coders. True when the load ended without abort and gave a picture; exceptions of a
// codec or a file stay here.
bool LoadPicture(TPictureTools& Tools, const std::string& FileName);

// Loads Name of the images folder Folder as the check of the pictures does. A file that does not
// load is left out: Reason says why when it is a picture by its name, and stays empty otherwise
// and when the load was stopped.
bool CheckPicture(TPictureTools& Tools, const std::string& Folder, const std::string& Name,
                  std::string& Reason);

// Whether FileName shows a picture by as little of it as tells: the header, without the pixels,
// of a file whose content is of the format its name gives (a size a reader takes); a whole load
// only where no header says it. Quick for the largest pictures; a load may still fail.
bool HeaderShowsPicture(TPictureTools& Tools, const std::string& FileName);

// A picture whose EXIF orientation (2 to 8), or a TIFF page's Orientation tag when it has no EXIF
// data, says how to turn or mirror it is made upright, with orientation 1, so that a browser
// shows it as it is stored; any other picture is left as it is.
void TurnUpright(TPictureTools& Tools);
// The picture fitted into the box as a browser shows it: upright.
void FitUpright(TPictureTools& Tools, int32_t BoxWidth, int32_t BoxHeight);

// The picture encoded in memory, as a JPEG or a GIF; nil when that fails, and the tools' I/O
// component's ErrorText then says why.
std::unique_ptr<TMemoryStream> EncodePicture(TPictureTools& Tools, bool AsGif, int32_t Quality);

// Written beside the file and renamed over it once complete, so that a failed write leaves none.
// False when it failed, with the system's reason in Reason ("No space left on device").
bool WritePictureFile(const std::string& FileName, TMemoryStream& Encoded, std::string& Reason);
// A file the gallery takes as it is (the filler picture), written as WritePictureFile writes;
// false when Source cannot be read or FileName written, with that file in Failed and the
// system's reason in Reason.
bool CopyPictureFile(const std::string& Source, const std::string& FileName, std::string& Failed,
                     std::string& Reason);
