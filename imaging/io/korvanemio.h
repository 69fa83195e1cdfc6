// TKorvaneMIO: the I/O component for many images at once. It is bound to a multi-image view and
// keeps one parameter record per image of the view, in the same order, following the view's
// insertions and deletions through its bitmap-change callback, and its moves as the view makes
// them.
#pragma once

#include "imaging/core/message_table.h"
#include "imaging/core/types.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/classes.h"
#include "platform/graphics/geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Imscan {
class TKVProxyWin;
}
class TFont;
class TKVBitmap;
class TKVWia;
class TStream;
class TIOParamsVals;
class TKVView;
class TKorvaneMView;

class TKorvaneMIO : public TComponent
{
public:
    explicit TKorvaneMIO(TComponent* AOwner);
    ~TKorvaneMIO() override;

    TKVView* AttachedMView() const;
    // Binds to the view (nil detaches); the records then follow its images. A view that is not
    // a multi-image view raises EInvalidCast.
    void SetAttachedMView(TKVView* Value);

    // The record of an image; nil out of range. The view's loads store into it under gThreadCS.
    TIOParamsVals* GetParams(int32_t idx) const;
    // Copies a loaded file's record into image idx's (nothing out of range). The record keeps its
    // position as its GIF and TIFF image index, which saving inserts the image at.
    void AssignParams(int32_t idx, const TIOParamsVals& Source);
    int32_t GetParamsCount() const { return int32_t(FParams.size()); }
    // A record copying the one at idx (the last when idx >= count), inserted there; then every
    // record's GIF and TIFF image index is its position.
    void InsertIOParam(int32_t idx);
    void RemoveIOParam(int32_t idx);
    // Every record, as the view empties itself in one step.
    void RemoveAllIOParams();
    // Moves the record at From to To (the end when To >= count), as the view moves its image;
    // then renumbers as above. Nothing for a From out of range or a negative To.
    void MoveIOParam(int32_t From, int32_t To);
    // Copies the saving settings of record 0 into every other record.
    void DuplicateCompressionInfo();
    // The save-parameters dialog for the record of image Index, previewed on the selected image
    // (image 0 is selected first when none is). With Index < 0 it edits record 0 and then gives
    // its saving settings to every record. True when the dialog ended with OK.
    bool DoPreviews(int32_t Index, TPreviewParams Pages);

    // The view's Update and ImageChange; nothing without a view.
    void Update();
    // OnProgress with 100, then OnFinishWork.
    virtual void DoFinishWork();

    bool SimplifiedParamsDialogs = true;
    TMsgLanguage MsgLanguage = msSystem;
    TIOPreviewsParams PreviewsParams = 0;
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    TKVDitherMethod DefaultDitherMethod = kvThreshold;
    bool Aborting = false;
    TFont* PreviewFont() const { return FPreviewFont.get(); }
    void SetPreviewFont(TFont* Value);

    TKVProgressEvent OnProgress;
    TNotifyEvent OnFinishWork;

    // ---- Files: every frame or page into the view, every image of the view into one file ----
    // The lower-case extension chooses: ".gif", ".tif"/".tiff" or ".avi" (saved with the codec
    // chosen by the user); others are ignored. An empty name sets Aborting.
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);
    // Frames and pages are inserted before the selected image (at the front when none is), each
    // with its own parameter record. A file that cannot be opened raises EFOpenError.
    void LoadFromFileGif(const std::string& FileName);
    void LoadFromFileTIFF(const std::string& FileName);
    void LoadFromStreamGif(TStream& Stream);
    void LoadFromStreamTIFF(TStream& Stream);
    // Each image is written with its own record. An empty view or a failed save sets Aborting and
    // leaves an existing file as it was; a file that cannot be created raises EFCreateError.
    void SaveToFileGif(const std::string& FileName);
    void SaveToFileTIFF(const std::string& FileName);
    void SaveToStreamGif(TStream& Stream);
    void SaveToStreamTIFF(TStream& Stream);
    // Every frame of the first video stream; a file without a readable one sets Aborting.
    void LoadFromFileAVI(const std::string& FileName);
    // "DIB " or "MJPG" (empty: the user chooses), at the frame rate of image 0's delay.
    void SaveToFileAVI(const std::string& FileName, const std::string& Codec);

    // ---- File dialogs with a preview, as TKorvaneIO's; the save dialog's Advanced button edits
    // record 0 ----
    std::string ExecuteOpenDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                  bool AlwaysAnimate, int32_t FilterIndex,
                                  const std::string& ExtendedFilters);
    std::string ExecuteSaveDialog(const std::string& InitialDir, const std::string& InitialFileName,
                                  bool AlwaysAnimate, int32_t FilterIndex,
                                  const std::string& ExtendedFilters);

    // ---- Acquisition: every page into the view, from the selected image on (or at the end) ----
    TKVTWainParams& TWainParams();
    bool Acquire(TKVAcquireApi Api = kvaTWain);
    bool SelectAcquireSource(TKVAcquireApi Api = kvaTWain);
    // Modeless TWAIN acquisition whose pages arrive while the application runs on.
    bool AcquireOpen();
    void AcquireClose();
    bool AcquireIsOpen() const { return FAcquireHandle != nullptr; }
    // The WIA client, made on first use.
    virtual TKVWia* GetWIAParams();
    TKVAcquireBitmapEvent OnAcquireBitmap;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
    // One acquired page; ParamsObject is left nil, as the page's values are already in its record.
    virtual void TWMultiCallBack(TKVBitmap* Bitmap, TIOParamsVals*& ParamsObject);
    virtual void TWCloseCallBack();

private:
    void OnBitmapChange(TObject* Sender, bool destroying);
    // The GIF and TIFF image index of every record from From on become its position, when a
    // record is next asked for (NumberRecords).
    void Renumber(int32_t From = 0);
    void NumberRecords() const;
    void Detach();

    TKorvaneMView* FView = nullptr;
    int32_t FHandle = -1;
    std::vector<std::unique_ptr<TIOParamsVals>> FParams;
    // The records from this one on may carry the numbers of their places before a change.
    mutable size_t FNumberedBelow = 0;
    std::unique_ptr<TFont> FPreviewFont;

    void LoadFrames(TStream& Stream, bool Gif);
    // Returns the logical screen a GIF got: 0 x 0 for a TIFF and for a save that failed.
    TSize SaveFrames(TStream& Stream, bool Gif);
    void SaveFramesToFile(const std::string& FileName, bool Gif);
    void StorePage(TKVBitmap* Bitmap);

    std::unique_ptr<TKVTWainParams> FTWainParams;
    std::shared_ptr<TKVWia> FWia; // shared so that this header needs no complete type
    Imscan::TKVProxyWin* FAcquireHandle = nullptr;
    int32_t FAcquireIndex = 0;
    // During an acquisition, the values of the page being delivered (size, resolution, samples).
    std::unique_ptr<TIOParamsVals> FPageValues;
};
