// The PCX front ends of the I/O component, with the "PCX2" stream header (and the older "PCX"
// one) that lets several pictures share one stream.
#include "imaging/codecs/pcx/pcxfilter.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"

#include <cstring>

using namespace Korvaneio::detail;

void TKorvaneIO::LoadFromFilePCX(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::LoadFromFilePCX, FileName)) {
        return;
    }
    LoadFileWith(FileName, fmtPCX, true, [&](TStream& stream, TProgressRec& progress) {
        Pcxfilter::ReadPcxStream(stream, *FKVBitmap, *FParams, stream.Size(), progress, false);
    });
}

// With StreamHeaders the data must begin with a header: "PCX2" gives its length and the stream
// is left after it; the older "PCX" has none, and the stream is left where the decoder stopped.
void TKorvaneIO::LoadFromStreamPCX(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::LoadFromStreamPCX, Stream)) {
        return;
    }
    LoadStreamWith(Stream, fmtPCX, true, [&](TStream& stream, TProgressRec& progress) {
        if (!StreamHeaders) {
            Pcxfilter::ReadPcxStream(stream, *FKVBitmap, *FParams, stream.Size(), progress, false);
            return;
        }
        const int64_t start = stream.Position();
        int64_t dataLength = 0;
        switch (ReadStreamHeader(stream, "PCX2", dataLength)) {
        case THeaderRead::Found:
            Pcxfilter::ReadPcxStream(stream, *FKVBitmap, *FParams, dataLength, progress, false);
            stream.SetPosition(start + StreamHeaderSize + dataLength);
            return;
        case THeaderRead::Corrupt:
            Aborting = true;
            return;
        case THeaderRead::None:
            break;
        }
        char tag[4] = {};
        if (stream.Read(tag, 4) != 4 || std::memcmp(tag, "PCX", 4) != 0) {
            Aborting = true;
            return;
        }
        Pcxfilter::ReadPcxStream(stream, *FKVBitmap, *FParams, stream.Size(), progress, false);
    });
}

void TKorvaneIO::SaveToFilePCX(const std::string& FileName)
{
    if (DispatchFile(&TKorvaneIO::SaveToFilePCX, FileName)) {
        return;
    }
    SaveFileWith(FileName, [&](TStream& stream, TProgressRec& progress) {
        Pcxfilter::WritePcxStream(stream, *FKVBitmap, *FParams, progress);
    });
}

// A failed write leaves no placeholder header behind: the stream is cut back to where it began.
void TKorvaneIO::SaveToStreamPCX(TStream& Stream)
{
    if (DispatchStream(&TKorvaneIO::SaveToStreamPCX, Stream)) {
        return;
    }
    SaveStreamWith(Stream, [&](TStream& stream, TProgressRec& progress) {
        if (!StreamHeaders) {
            Pcxfilter::WritePcxStream(stream, *FKVBitmap, *FParams, progress);
            return;
        }
        const int64_t start = BeginStreamHeader(stream);
        Pcxfilter::WritePcxStream(stream, *FKVBitmap, *FParams, progress);
        if (Aborting || !EndStreamHeader(stream, start, "PCX2")) {
            Aborting = true;
            stream.SetPosition(start);
            stream.SetSize(start);
        }
    });
}
