// TKorvaneMIO: the I/O component for many images at once. It is bound to a multi-image view and
// keeps one parameter record per image of the view, in the same order, following the view's
// insertions and deletions through its bitmap-change callback.
#pragma once

#include "imaging/core/message_table.h"
#include "imaging/core/types.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/classes.h"

#include <cstdint>
#include <memory>
#include <vector>

class TFont;
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

    // The record of an image; nil out of range. Background loads write into it under gThreadCS.
    TIOParamsVals* GetParams(int32_t idx) const;
    int32_t GetParamsCount() const { return int32_t(FParams.size()); }
    // A record copying the one at idx (the last when idx >= count), inserted there; then every
    // record's GIF and TIFF image index is its position.
    void InsertIOParam(int32_t idx);
    void RemoveIOParam(int32_t idx);
    // Copies the saving settings of record 0 into every other record.
    void DuplicateCompressionInfo();

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

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void OnBitmapChange(TObject* Sender, bool destroying);
    void Renumber();
    void Detach();

    TKorvaneMView* FView = nullptr;
    int32_t FHandle = -1;
    std::vector<std::unique_ptr<TIOParamsVals>> FParams;
    std::unique_ptr<TFont> FPreviewFont;
};
