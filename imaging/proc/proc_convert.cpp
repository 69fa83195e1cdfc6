// The processing component's black-and-white conversions. They always work on the whole image.
#include "imaging/proc/proc_component.h"

#include "imaging/core/daduvudez.h"
#include "imaging/proc/detail/proc_detail.h"
#include "platform/core/strings.h"

#include <cstring>

using namespace Korvaneproc;

namespace {

bool IsFormat(TKVBitmap* bitmap, TKVPixelFormat format)
{
    return bitmap->GetPixelFormat() == format && bitmap->GetWidth() > 0 && bitmap->GetHeight() > 0;
}

} // namespace

void TKorvaneProc::ConvertToBWOrdered()
{
    if (!Prepare() || !IsFormat(FKVBitmap, kv24RGB))
        return;
    if (AutoUndo)
        SaveUndoCaptioned("ConvertToBWOrdered", kvuImage);
    TProgressRec progress;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    _ConvertToBWOrdered(FKVBitmap, progress);
    Update();
}

void TKorvaneProc::ConvertToBWThreshold(int32_t Threshold)
{
    if (!Prepare() || !IsFormat(FKVBitmap, kv24RGB))
        return;
    if (AutoUndo)
        SaveUndoCaptioned("ConvertToBWThreshold " + IntToStr(Threshold), kvuImage);
    TProgressRec progress;
    progress.OnProgress = OnProgress;
    progress.Sender = this;
    _ConvertToBWThreshold(FKVBitmap, Threshold, progress);
    Update();
}

void TKorvaneProc::ConvertTo24Bit()
{
    if (!Prepare() || !IsFormat(FKVBitmap, kv1g))
        return;
    if (AutoUndo)
        SaveUndoCaptioned("ConvertTo24Bit", kvuImage);
    const int32_t width = FKVBitmap->GetWidth(), height = FKVBitmap->GetHeight();
    // Built beside the image and taken with AssignImage, so that the alpha channel stays.
    TKVBitmap result;
    result.Allocate(width, height, kv24RGB);
    std::vector<uint8_t> row(static_cast<size_t>(FKVBitmap->GetRowLen()));
    const long double percent = 100.0L / (height + 0.5L);
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(row.data(), FKVBitmap->GetScanLine(y), row.size());
        _ConvRow1To24(row.data(), result.GetScanLine(y), width);
        detail::Report(OnProgress, this, detail::TruncI((y + 1) * percent));
    }
    FKVBitmap->AssignImage(&result);
    Update();
}
