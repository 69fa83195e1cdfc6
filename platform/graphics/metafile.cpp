// TMetafile: reading and telling the two formats apart, sizes, and drawing through the player.
#include "platform/graphics/metafile.h"

#include "platform/core/rounding.h"
#include "platform/core/streams.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/detail/metafile_formats.h"

namespace {

constexpr double HundredthsOfMmPerInch = 2540.0;

} // namespace

TMetafile::TMetafile() = default;

TMetafile::~TMetafile() = default;

void TMetafile::Assign(TPersistent* Source)
{
    if (Source == nullptr) {
        FData.clear();
        FEnhanced = false;
        FMMWidth = FMMHeight = 0;
        FWidth = FHeight = 0;
        Changed(this);
        return;
    }
    auto* other = dynamic_cast<TMetafile*>(Source);
    if (other == nullptr) {
        TGraphic::Assign(Source);
        return;
    }
    if (other != this) {
        FData = other->FData;
        FEnhanced = other->FEnhanced;
        FMMWidth = other->FMMWidth;
        FMMHeight = other->FMMHeight;
        FWidth = other->FWidth;
        FHeight = other->FHeight;
        Changed(this);
    }
}

void TMetafile::Draw(TCanvas* ACanvas, const TRect& Rect)
{
    if (ACanvas == nullptr || FData.empty() || Rect.Width() == 0 || Rect.Height() == 0) {
        return;
    }
    if (FEnhanced) {
        GraphicsDetail::PlayEmf(*ACanvas, FData.data(), FData.size(), Rect);
    } else {
        GraphicsDetail::PlayWmf(*ACanvas, FData.data(), FData.size(), Rect);
    }
}

void TMetafile::SetWidth(int32_t Value)
{
    if (Value != FWidth && Value >= 0) {
        FWidth = Value;
        Changed(this);
    }
}

void TMetafile::SetHeight(int32_t Value)
{
    if (Value != FHeight && Value >= 0) {
        FHeight = Value;
        Changed(this);
    }
}

void TMetafile::LoadFromStream(TStream& Stream)
{
    const int64_t available = Stream.Size() - Stream.Position();
    if (available <= 0 || available > kMaxMetafileBytes) {
        throw EInvalidGraphic("Invalid metafile");
    }
    std::vector<uint8_t> data(static_cast<size_t>(available));
    Stream.ReadBuffer(data.data(), available);
    GraphicsDetail::TMetafileSize frame;
    bool enhanced = true;
    if (!GraphicsDetail::ReadEmfHeader(data.data(), data.size(), frame)) {
        enhanced = false;
        if (!GraphicsDetail::ReadWmfHeader(data.data(), data.size(), frame)) {
            throw EInvalidGraphic("Invalid metafile");
        }
    }
    FData = std::move(data);
    FEnhanced = enhanced;
    FMMWidth = frame.MMWidth;
    FMMHeight = frame.MMHeight;
    FWidth = Round(FMMWidth * kScreenPixelsPerInch / HundredthsOfMmPerInch);
    FHeight = Round(FMMHeight * kScreenPixelsPerInch / HundredthsOfMmPerInch);
    Changed(this);
}

void TMetafile::SaveToStream(TStream& Stream)
{
    if (!FData.empty()) {
        Stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
    }
}

int32_t TMetafile::MMWidth() const
{
    return Round(FMMWidth);
}

int32_t TMetafile::MMHeight() const
{
    return Round(FMMHeight);
}
