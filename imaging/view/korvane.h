// Korvane: TKorvane, an image view that carries its own I/O and processing components and offers
// their operations as its own, so that one component on a form loads, processes, shows and saves.
#pragma once

#include "imaging/io/korvaneio.h"
#include "imaging/proc/proc_component.h"
#include "imaging/view/korvaneview.h"

#include <string>
#include <utility>

// A method of the same name that passes its arguments to the component and returns its result.
#define KV_FORWARD(Component, Name)                                                                          \
    template <class... Args> decltype(auto) Name(Args&&... args)                                             \
    {                                                                                                        \
        return Component()->Name(std::forward<Args>(args)...);                                               \
    }

class TKorvane : public TKorvaneView
{
public:
    explicit TKorvane(TComponent* AOwner);

    // I/O parameters of another TKorvane, or the Params of a TKorvaneIO; other sources are ignored.
    void AssignIOParams(TPersistent* Source);
    void Assign(TPersistent* Source) override;

    // ---- Settings kept in the components ----
    bool AutoUndo() const { return FProc->AutoUndo; }
    void SetAutoUndo(bool Value) { FProc->AutoUndo = Value; }
    TMsgLanguage MsgLanguage() const { return FProc->MsgLanguage; }
    void SetMsgLanguage(TMsgLanguage Value);
    TPRPreviewsParams ProcPreviewsParams() const { return FProc->PreviewsParams; }
    void SetProcPreviewsParams(TPRPreviewsParams Value) { FProc->PreviewsParams = Value; }
    TIOPreviewsParams IOPreviewsParams() const { return FIOComponent->PreviewsParams; }
    void SetIOPreviewsParams(TIOPreviewsParams Value) { FIOComponent->PreviewsParams = Value; }
    TFont* PreviewFont() const { return FIOComponent->PreviewFont(); }
    void SetPreviewFont(TFont* Value);
    bool StreamHeaders() const { return FIOComponent->StreamHeaders; }
    void SetStreamHeaders(bool Value) { FIOComponent->StreamHeaders = Value; }
    TKVPreviewEvent& OnPreview() { return FProc->OnPreview; }
    TKVIOPreviewEvent& OnIOPreview() { return FIOComponent->OnIOPreview; }
    TKVDialogsMeasureUnit DialogsMeasureUnit() const { return FIOComponent->DialogsMeasureUnit; }
    void SetDialogsMeasureUnit(TKVDialogsMeasureUnit Value) { FIOComponent->DialogsMeasureUnit = Value; }
    TIOParamsVals& IOParams() { return FIOComponent->Params(); }
    TKVTWainParams& TWainParams() { return FIOComponent->TWainParams(); }
    bool Aborting() const { return FIOComponent->Aborting; }
    bool CanUndo() const { return FProc->CanUndo(); }
    TKVLocation UndoLocation() const { return FProc->UndoLocation; }
    void SetUndoLocation(TKVLocation Value) { FProc->UndoLocation = Value; }
    int32_t UndoLimit() const { return FProc->UndoLimit(); }
    void SetUndoLimit(int32_t Value) { FProc->SetUndoLimit(Value); }
    int32_t UndoCount() const { return FProc->UndoCount(); }
    std::string UndoCaptions(int32_t i) const { return FProc->UndoCaptions(i); }

    // ---- Processing ----
    KV_FORWARD(GetKorvaneProc, SaveUndo)
    KV_FORWARD(GetKorvaneProc, SaveUndoCaptioned)
    KV_FORWARD(GetKorvaneProc, ClearUndo)
    KV_FORWARD(GetKorvaneProc, Undo)
    KV_FORWARD(GetKorvaneProc, UndoAt)
    KV_FORWARD(GetKorvaneProc, Negative)
    KV_FORWARD(GetKorvaneProc, HSLvar)
    KV_FORWARD(GetKorvaneProc, HSVvar)
    KV_FORWARD(GetKorvaneProc, IntensityRGBall)
    KV_FORWARD(GetKorvaneProc, Contrast)
    KV_FORWARD(GetKorvaneProc, ApplyFilter)
    KV_FORWARD(GetKorvaneProc, ApplyFilterPreset)
    KV_FORWARD(GetKorvaneProc, ConvertToGray)
    KV_FORWARD(GetKorvaneProc, CastColorRange)
    KV_FORWARD(GetKorvaneProc, Rotate)
    KV_FORWARD(GetKorvaneProc, Flip)
    KV_FORWARD(GetKorvaneProc, ImageResize)
    KV_FORWARD(GetKorvaneProc, Resample)
    KV_FORWARD(GetKorvaneProc, DoPreviews)
    KV_FORWARD(GetKorvaneProc, Clear)
    KV_FORWARD(GetKorvaneProc, SelCopyToClip)
    KV_FORWARD(GetKorvaneProc, CopyToClipboard)
    KV_FORWARD(GetKorvaneProc, SelPasteFromClipStretch)
    KV_FORWARD(GetKorvaneProc, PasteFromClipboard)
    KV_FORWARD(GetKorvaneProc, SelCutToClip)
    KV_FORWARD(GetKorvaneProc, PointPasteFromClip)
    KV_FORWARD(GetKorvaneProc, ClearSel)
    KV_FORWARD(GetKorvaneProc, Merge)
    KV_FORWARD(GetKorvaneProc, Threshold)
    KV_FORWARD(GetKorvaneProc, HistEqualize)
    KV_FORWARD(GetKorvaneProc, HistAutoEqualize)
    KV_FORWARD(GetKorvaneProc, ConvertTo)
    KV_FORWARD(GetKorvaneProc, CropSel)
    KV_FORWARD(GetKorvaneProc, BumpMapping)
    KV_FORWARD(GetKorvaneProc, GetHistogram)
    KV_FORWARD(GetKorvaneProc, CalcImagePalette)
    KV_FORWARD(GetKorvaneProc, CalcImageNumColors)
    KV_FORWARD(GetKorvaneProc, GetHSVChannel)
    KV_FORWARD(GetKorvaneProc, GetHSVChannelAll)
    KV_FORWARD(GetKorvaneProc, GetRGBChannel)
    KV_FORWARD(GetKorvaneProc, GetRGBChannelAll)
    KV_FORWARD(GetKorvaneProc, ConvertToBWOrdered)
    KV_FORWARD(GetKorvaneProc, ConvertToBWThreshold)
    KV_FORWARD(GetKorvaneProc, ConvertTo24Bit)
    KV_FORWARD(GetKorvaneProc, Lens)
    KV_FORWARD(GetKorvaneProc, Wave)
    KV_FORWARD(GetKorvaneProc, WriteHiddenText)
    KV_FORWARD(GetKorvaneProc, WriteHiddenData)
    KV_FORWARD(GetKorvaneProc, ReadHiddenText)
    KV_FORWARD(GetKorvaneProc, ReadHiddenData)
    KV_FORWARD(GetKorvaneProc, GetHiddenDataSpace)
    KV_FORWARD(GetKorvaneProc, FTCreateImage)
    KV_FORWARD(GetKorvaneProc, FTConvertFrom)
    KV_FORWARD(GetKorvaneProc, FTDisplayFrom)
    KV_FORWARD(GetKorvaneProc, Maximum)
    KV_FORWARD(GetKorvaneProc, Minimum)
    KV_FORWARD(GetKorvaneProc, Opening)
    KV_FORWARD(GetKorvaneProc, Closing)
    KV_FORWARD(GetKorvaneProc, EdgeDetect_ShenCastan)

    // ---- Input and output ----
    KV_FORWARD(GetKorvaneIO, LoadFromFile)
    KV_FORWARD(GetKorvaneIO, SaveToFile)
    KV_FORWARD(GetKorvaneIO, LoadFromStream)
    KV_FORWARD(GetKorvaneIO, SaveToStream)
    KV_FORWARD(GetKorvaneIO, LoadFromFileFormat)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamFormat)
    KV_FORWARD(GetKorvaneIO, ParamsFromFile)
    KV_FORWARD(GetKorvaneIO, ParamsFromStream)
    KV_FORWARD(GetKorvaneIO, ParamsFromFileFormat)
    KV_FORWARD(GetKorvaneIO, ParamsFromStreamFormat)
    KV_FORWARD(GetKorvaneIO, LoadFromFileICO)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamICO)
    KV_FORWARD(GetKorvaneIO, LoadFromFileCUR)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamCUR)
    KV_FORWARD(GetKorvaneIO, InsertToFileTIFF)
    KV_FORWARD(GetKorvaneIO, Acquire)
    KV_FORWARD(GetKorvaneIO, SelectAcquireSource)
    KV_FORWARD(GetKorvaneIO, PrintImage)
    KV_FORWARD(GetKorvaneIO, PrintImagePos)
    KV_FORWARD(GetKorvaneIO, PreviewPrintImage)
    KV_FORWARD(GetKorvaneIO, DoPrintPreviewDialog)
    KV_FORWARD(GetKorvaneIO, ImportMetafile)
    KV_FORWARD(GetKorvaneIO, CaptureFromScreen)
    bool DoIOPreviews(TPreviewParams Pages) { return GetKorvaneIO()->DoPreviews(Pages); }
    KV_FORWARD(GetKorvaneIO, ExecuteOpenDialog)
    KV_FORWARD(GetKorvaneIO, ExecuteSaveDialog)
    KV_FORWARD(GetKorvaneIO, InsertToFileGif)
    KV_FORWARD(GetKorvaneIO, InjectJpegIPTC)
    KV_FORWARD(GetKorvaneIO, InjectJpegIPTCStream)
    KV_FORWARD(GetKorvaneIO, LoadFromFileJpeg)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamJpeg)
    KV_FORWARD(GetKorvaneIO, SaveToFileJpeg)
    KV_FORWARD(GetKorvaneIO, SaveToStreamJpeg)
    KV_FORWARD(GetKorvaneIO, LoadFromFileGif)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamGif)
    KV_FORWARD(GetKorvaneIO, SaveToFileGif)
    KV_FORWARD(GetKorvaneIO, SaveToStreamGif)
    KV_FORWARD(GetKorvaneIO, LoadFromFilePCX)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamPCX)
    KV_FORWARD(GetKorvaneIO, SaveToFilePCX)
    KV_FORWARD(GetKorvaneIO, SaveToStreamPCX)
    KV_FORWARD(GetKorvaneIO, LoadFromFileTIFF)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamTIFF)
    KV_FORWARD(GetKorvaneIO, SaveToFileTIFF)
    KV_FORWARD(GetKorvaneIO, SaveToStreamTIFF)
    KV_FORWARD(GetKorvaneIO, LoadFromFileBMP)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamBMP)
    KV_FORWARD(GetKorvaneIO, SaveToFileBMP)
    KV_FORWARD(GetKorvaneIO, SaveToStreamBMP)
    KV_FORWARD(GetKorvaneIO, LoadFromFilePNG)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamPNG)
    KV_FORWARD(GetKorvaneIO, SaveToFilePNG)
    KV_FORWARD(GetKorvaneIO, SaveToStreamPNG)
    KV_FORWARD(GetKorvaneIO, LoadFromFileTGA)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamTGA)
    KV_FORWARD(GetKorvaneIO, SaveToFileTGA)
    KV_FORWARD(GetKorvaneIO, SaveToStreamTGA)
    KV_FORWARD(GetKorvaneIO, LoadFromFilePXM)
    KV_FORWARD(GetKorvaneIO, LoadFromStreamPXM)
    KV_FORWARD(GetKorvaneIO, SaveToFilePXM)
    KV_FORWARD(GetKorvaneIO, SaveToStreamPXM)

private:
    TKorvaneIO* FIOComponent = nullptr;
    TKorvaneProc* FProc = nullptr;
};

#undef KV_FORWARD
