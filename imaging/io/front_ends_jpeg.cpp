// The JPEG front ends of the I/O component: IPTC data carried in the APP13 marker, EXIF data in
// an APP1 marker, and the "JFIF" stream header that lets several pictures share one stream.
#include "imaging/codecs/jpeg/jpegfilt.h"
#include "imaging/codecs/params/resolution.h"
#include "imaging/core/daduvudez.h"
#include "imaging/core/exif_buffer.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"

#include <vector>

using namespace Korvaneio::detail;

namespace {

constexpr uint8_t APP1 = 0xE1;
constexpr uint8_t APP13 = 0xED;

// The first APP1 marker that holds EXIF data; XMP and other APP1 data are passed over.
int32_t EXIFMarker(const TKVMarkerList& markers)
{
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        if (markers.GetMarkerType(i) == APP1 &&
            Daduvudez::IsEXIFBlock(markers.GetMarkerData(i), markers.GetMarkerLength(i))) {
            return i;
        }
    }
    return -1;
}

} // namespace

// Decodes into Target and takes the IPTC and EXIF data that the picture carries. The EXIF
// resolution stands in when the JPEG header gives none, or only the ratio 1 by 1.
void TKorvaneIO::ReadJpeg(TStream& Stream, TKVBitmap& Target, TProgressRec& Progress, bool ParamsOnly)
{
    bool hasResolution = false;
    Jpegfilt::ReadJPegStream(Stream, nullptr, Target, *FParams, Progress, ParamsOnly, false, &hasResolution);
    TKVMarkerList& markers = FParams->JPEG_MarkerList;
    const int32_t iptc = markers.IndexOf(APP13);
    if (iptc >= 0) {
        FParams->IPTC_Info.LoadFromStandardBuffer(markers.GetMarkerData(iptc), markers.GetMarkerLength(iptc));
    }
    const int32_t exif = EXIFMarker(markers);
    if (exif < 0 || !Daduvudez::LoadEXIFFromStandardBuffer(markers.GetMarkerData(exif),
                                                           markers.GetMarkerLength(exif), *FParams)) {
        return;
    }
    if (!hasResolution || (FParams->DpiX == 1 && FParams->DpiY == 1)) {
        const TResolutionUnit unit =
            FParams->EXIF_ResolutionUnit == 3 ? TResolutionUnit::Centimetre : TResolutionUnit::Inch;
        const int32_t dpiX = DotsPerInch(FParams->EXIF_XResolution, unit);
        const int32_t dpiY = DotsPerInch(FParams->EXIF_YResolution, unit);
        if (dpiX >= 1 && dpiY >= 1) {
            FParams->DpiX = dpiX;
            FParams->DpiY = dpiY;
        }
    }
}

// EXIF values replace the first EXIF APP1 marker or come as a new one; the writer gives it the
// size of the picture written. False when they cannot be written as one marker.
bool TKorvaneIO::UpdateEXIFMarker()
{
    if (!FParams->EXIF_HasEXIFData) {
        return true;
    }
    std::vector<uint8_t> buffer;
    Daduvudez::SaveEXIFToStandardBuffer(*FParams, buffer);
    if (buffer.empty() || buffer.size() > size_t(TKVMarkerList::MaxMarkerLength)) {
        return false;
    }
    TKVMarkerList& markers = FParams->JPEG_MarkerList;
    const int32_t index = EXIFMarker(markers);
    if (index >= 0) {
        markers.SetMarker(index, APP1, buffer.data(), static_cast<int32_t>(buffer.size()));
    } else {
        markers.AddMarker(APP1, buffer.data(), static_cast<int32_t>(buffer.size()));
    }
    return true;
}

// An IPTC list edited since it was read replaces the APP13 marker (or drops it when emptied); an
// untouched list leaves the markers as they were loaded. False when the list is too long for one
// marker, which would otherwise leave the old data in the file.
bool TKorvaneIO::UpdateIPTCMarker()
{
    if (!FParams->IPTC_Info.Changed()) {
        return true;
    }
    std::vector<uint8_t> buffer;
    FParams->IPTC_Info.SaveToStandardBuffer(buffer, true);
    TKVMarkerList& markers = FParams->JPEG_MarkerList;
    const int32_t index = markers.IndexOf(APP13);
    if (buffer.empty()) {
        if (index >= 0) {
            markers.DeleteMarker(index);
        }
        return true;
    }
    if (buffer.size() > size_t(TKVMarkerList::MaxMarkerLength)) {
        return false;
    }
    const int32_t length = static_cast<int32_t>(buffer.size());
    if (index >= 0) {
        markers.SetMarker(index, APP13, buffer.data(), length);
    } else {
        markers.AddMarker(APP13, buffer.data(), length);
    }
    return true;
}

void TKorvaneIO::WriteJpeg(TStream& Stream, TProgressRec& Progress)
{
    if (!UpdateIPTCMarker() || !UpdateEXIFMarker()) {
        Aborting = true;
        return;
    }
    Jpegfilt::WriteJPegStream(Stream, *FKVBitmap, *FParams, Progress);
}

void TKorvaneIO::LoadFromFileJpeg(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFileJpeg, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtJPEG, true, [&](TStream& stream, TProgressRec& progress) {
        ReadJpeg(stream, *FKVBitmap, progress, false);
    });
}

void TKorvaneIO::LoadFromStreamJpeg(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamJpeg, Stream)) {
        return;
    }
    RunOperation([&] {
        Aborting = FKVBitmap == nullptr;
        TProgressRec progress = MakeProgressRec();
        if (Aborting) {
            return;
        }
        Reencapsulate();
        FParams->ResetInfo();
        const int64_t start = Stream.Position();
        int64_t dataLength = 0;
        const THeaderRead header = ReadStreamHeader(Stream, "JFIF", dataLength);
        if (header == THeaderRead::Corrupt) {
            Aborting = true;
            return;
        }
        FKVBitmap->RemoveAlphaChannel();
        ReadJpeg(Stream, *FKVBitmap, progress, false);
        // The header says where the picture ends, whatever the decoder consumed.
        if (header == THeaderRead::Found) {
            Stream.SetPosition(start + StreamHeaderSize + dataLength);
        }
        EndLoad(std::string(), fmtJPEG, true);
    });
}

void TKorvaneIO::SaveToFileJpeg(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFileJpeg, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) { WriteJpeg(stream, progress); });
}

void TKorvaneIO::SaveToStreamJpeg(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamJpeg, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        if (!StreamHeaders) {
            WriteJpeg(stream, progress);
            return;
        }
        // The header is completed even when the writer fails, so that the pictures after this
        // one can still be found.
        const int64_t start = BeginStreamHeader(stream);
        try {
            WriteJpeg(stream, progress);
        } catch (...) {
            EndStreamHeader(stream, start, "JFIF");
            throw;
        }
        if (!EndStreamHeader(stream, start, "JFIF")) {
            Aborting = true;
        }
    });
}
