// The AVI operations of the I/O component: frames of an open video loaded into the working
// bitmap, and the working bitmap written as the frames of a new one.
#include "imaging/core/daduvudez.h"
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/kvvfw.h"
#include "imaging/view/kvview_globals.h"
#include "platform/core/strings.h"

using namespace Korvaneio::detail;

int32_t TKorvaneIO::OpenAVIFile(const std::string& FileName)
{
    TOperationScope scope(*FWork);
    CloseAVIFile();
    Aborting = false;
    FParams->AVI_FrameCount = 0;
    FParams->FileName = FileName;
    FParams->FileType = fmtUnknown;
    auto reader = std::make_unique<Kvvfw::TAVIReader>();
    if (!reader->Open(FileName)) {
        Aborting = true;
        return 0;
    }
    FAVIReader = std::move(reader);
    FParams->AVI_FrameCount = FAVIReader->FrameCount();
    FParams->AVI_FrameDelayTime = 0;
    return FAVIReader->FrameCount();
}

void TKorvaneIO::LoadFromAVI(int32_t Index)
{
    if (MustRunAsync()) {
        new TKVIOThread(this, TKVIOMethodType_LoadSaveIndex([this](int32_t index) { LoadFromAVI(index); }),
                        Index);
        return;
    }
    RunOperation([&] {
        Aborting = false;
        if (FKVBitmap == nullptr) {
            return;
        }
        Reencapsulate();
        if (FAVIReader == nullptr) {
            Aborting = true;
            return;
        }
        if (!FAVIReader->ReadFrame(Index, *FKVBitmap)) {
            Aborting = true;
            return;
        }
        const int32_t rate = FAVIReader->Rate();
        FParams->AVI_FrameCount = FAVIReader->FrameCount();
        FParams->AVI_FrameDelayTime = rate > 0 ? int32_t(int64_t(FAVIReader->Scale()) * 1000 / rate) : 0;
        FKVBitmap->RemoveAlphaChannel();
        const bool palette = FKVBitmap->GetPixelFormat() == kv8p;
        FParams->BitsPerSample = 8;
        FParams->SamplesPerPixel = palette ? 1 : 3;
        FParams->DpiX = Kvview::gSystemDPIX;
        FParams->DpiY = Kvview::gSystemDPIY;
        FParams->Width = FKVBitmap->GetWidth();
        FParams->Height = FKVBitmap->GetHeight();
        FParams->ColorMap.reset();
        FParams->ColorMapCount = 0;
        Update();
    });
}

void TKorvaneIO::CloseAVIFile()
{
    TOperationScope scope(*FWork);
    if (FAVIWriter != nullptr) {
        FAVIWriter->Close();
        FAVIWriter.reset();
    }
    FAVIReader.reset();
}

void TKorvaneIO::CreateAVIFile(const std::string& FileName, int32_t Rate, const std::string& Codec,
                               int32_t Scale)
{
    TOperationScope scope(*FWork);
    CloseAVIFile();
    Aborting = false;
    Kvvfw::AVIFileInit();
    uint32_t handler = Kvvfw::mmioFOURCC(UpperCase(Codec));
    int32_t quality = FParams->JPEG_Quality;
    if (Codec.empty() && !Kvvfw::AVISaveOptions(handler, quality)) {
        Aborting = true;
        return;
    }
    if ((handler != Kvvfw::FourCCUncompressed && handler != Kvvfw::FourCCMotionJPEG) || Rate < 1 ||
        Scale < 1) {
        Aborting = true;
        return;
    }
    try {
        FAVIWriter = std::make_unique<Kvvfw::TAVIWriter>(FileName, Rate, Scale, handler, quality);
    } catch (const Exception&) {
        throw EInvalidGraphic("unable to create AVI file");
    }
}

void TKorvaneIO::SaveToAVI()
{
    TOperationScope scope(*FWork);
    if (FKVBitmap == nullptr) {
        return;
    }
    Aborting = false;
    if (FAVIWriter == nullptr) {
        Aborting = true;
        return;
    }
    if (!PrepareSave()) {
        return;
    }
    const bool eightBit = FAVIWriter->Handler() == Kvvfw::FourCCUncompressed && FParams->BitsPerSample == 8 &&
                          FParams->SamplesPerPixel == 1;
    TKVBitmap frame;
    frame.SetLocation(kvMemory);
    frame.AssignImage(FKVBitmap);
    frame.SetPixelFormat(eightBit ? kv8p : kv24RGB);
    if (FAVIWriter->WriteFrame(frame) != Kvvfw::TAVIWriter::frWritten) {
        Aborting = true;
    }
}
