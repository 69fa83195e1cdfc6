// Front ends of formats whose codecs the library does not have yet: a load ends with Aborting
// set and the finish event, a save with Aborting set.
#include "imaging/io/korvaneio.h"

int32_t TKorvaneIO::LoadFromFileGif(const std::string&)
{
    NoFrontEndLoad();
    return 0;
}

int32_t TKorvaneIO::LoadFromStreamGif(TStream&)
{
    NoFrontEndLoad();
    return 0;
}

void TKorvaneIO::SaveToFileGif(const std::string&)
{
    NoFrontEndSave();
}

void TKorvaneIO::SaveToStreamGif(TStream&)
{
    NoFrontEndSave();
}

void TKorvaneIO::LoadFromFileBMP(const std::string&)
{
    NoFrontEndLoad();
}

void TKorvaneIO::LoadFromStreamBMP(TStream&)
{
    NoFrontEndLoad();
}

void TKorvaneIO::SaveToFileBMP(const std::string&)
{
    NoFrontEndSave();
}

void TKorvaneIO::SaveToStreamBMP(TStream&)
{
    NoFrontEndSave();
}
