// Reading a JPEG file into a class-library picture.
#include "app/jpeg_picture.h"

#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/core/kvbitmap.h"
#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"

bool LoadJpegPicture(const std::string& FileName, TPicture& Picture)
{
    Picture.Assign(nullptr);
    TKVBitmap decoded;
    try {
        TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        TIOParamsVals params;
        bool aborting = false;
        TProgressRec progress;
        progress.Aborting = &aborting;
        Jpegfilt::ReadJPegStream(file, nullptr, decoded, params, progress, false);
        if (aborting || decoded.GetWidth() <= 0 || decoded.GetHeight() <= 0) {
            return false;
        }
    } catch (const Exception&) {
        return false;
    }
    TBitmap bitmap;
    decoded.CopyToTBitmap(&bitmap);
    Picture.Assign(&bitmap);
    return true;
}
