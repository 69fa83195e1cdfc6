// A thumbnail view on a form, pictures made by the tests, and a slow picture format of the
// tests' own that counts how many reads run at once, so that background loading can be watched.
#pragma once

#include "imaging/codecs/params/codec_progress.h"
#include "imaging/core/kvbitmap.h"
#include "imaging/dialogs/kvmview.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/core/threads.h"
#include "platform/forms/form.h"
#include "platform/forms/simulate.h"
#include "platform/graphics/bitmap.h"
#include "tests/support/temp_folder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace mviewtest {

struct MViewOnForm
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    TKorvaneMView* view = nullptr;

    explicit MViewOnForm(int32_t clientWidth = 440, int32_t clientHeight = 330)
    {
        view = new TKorvaneMView(form.get());
        view->SetBorderStyle(bsNone);
        view->SetParent(form.get());
        view->SetScrollBars(ssNone);
        form->SetClientWidth(clientWidth + 20);
        form->SetClientHeight(clientHeight + 20);
        view->SetBounds(0, 0, clientWidth, clientHeight);
    }
    TBitmap* Paint()
    {
        view->Invalidate();
        view->PaintMarked();
        return view->FrontImage();
    }
    // Every visible cell that names a file holds its image.
    bool AllVisibleStored()
    {
        for (int32_t i = 0; i < view->GetImageCount(); ++i)
            if (view->IsVisible(i) && !view->GetImageFileName(i).empty() && !view->IsImageStored(i))
                return false;
        return true;
    }
};

inline TRGB Pixel(TBitmap* b, int32_t x, int32_t y)
{
    const uint8_t* p = b->ScanLine(y) + x * 3;
    return TRGB{p[0], p[1], p[2]};
}

inline bool Same(TRGB a, TRGB b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

inline TRGB RGBOf(TColor c)
{
    const COLORREF v = static_cast<COLORREF>(ColorToRGB(c));
    return TRGB{GetBValue(v), GetGValue(v), GetRValue(v)};
}

// A solid picture of one colour.
inline std::unique_ptr<TKVBitmap> Solid(int32_t w, int32_t h, TRGB colour, TKVPixelFormat format = kv24RGB)
{
    auto b = std::make_unique<TKVBitmap>();
    b->Allocate(w, h, kv24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            b->SetPixels_kv24RGB(x, y, colour);
    if (format != kv24RGB)
        b->ConvertToPixelFormat(format);
    return b;
}

// The slow format: "KVS1", an id, width and height (int32 each), and one colour (3 bytes, blue
// first). Every read waits DelayMs (in slices that watch the abort flag) or, while Hold is set,
// until it is cleared; meanwhile it counts in Running and raises Peak, and while held in Parked.
// With Stubborn set a held read ignores the abort flag, as a decoder that never looks at it.
class SlowFormat
{
public:
    static constexpr int32_t FileType = 101;

    SlowFormat()
    {
        Instance() = this;
        TKVFileFormatInfo info;
        info.FileType = FileType;
        info.FullName = "Slow test picture";
        info.Extensions = "KVS";
        info.ReadFunction = &SlowFormat::Read;
        info.TryFunction = &SlowFormat::Try;
        Korvaneio::KVFileFormatAdd(info);
    }
    ~SlowFormat()
    {
        Korvaneio::KVFileFormatRemove(FileType);
        Instance() = nullptr;
    }
    SlowFormat(const SlowFormat&) = delete;
    SlowFormat& operator=(const SlowFormat&) = delete;

    std::atomic<int32_t> Running{0};
    std::atomic<int32_t> Peak{0};
    std::atomic<int32_t> Reads{0};
    std::atomic<int32_t> Cancelled{0};
    std::atomic<int32_t> DelayMs{20};
    std::atomic<bool> Hold{false};
    std::atomic<bool> Stubborn{false};
    std::atomic<int32_t> Parked{0};

    // Reads per picture id.
    int32_t ReadsOf(int32_t id)
    {
        std::lock_guard<std::mutex> lock(FLock);
        return id < int32_t(FReadsById.size()) ? FReadsById[id] : 0;
    }

    static std::string Content(int32_t id, int32_t w, int32_t h, TRGB colour)
    {
        std::string s = "KVS1";
        const int32_t fields[3] = {id, w, h};
        s.append(reinterpret_cast<const char*>(fields), sizeof fields);
        s.push_back(char(colour.b));
        s.push_back(char(colour.g));
        s.push_back(char(colour.r));
        return s;
    }
    // A colour that names the picture id.
    static TRGB ColourOf(int32_t id)
    {
        return TRGB{uint8_t(id * 7 + 1), uint8_t(id / 7 + 2), uint8_t(id % 251)};
    }

private:
    static SlowFormat*& Instance()
    {
        static SlowFormat* instance = nullptr;
        return instance;
    }
    static bool Try(TStream& stream)
    {
        char magic[4] = {};
        return stream.Read(magic, 4) == 4 && std::string(magic, 4) == "KVS1";
    }
    static void Read(TStream& stream, TKVBitmap& bitmap, TIOParamsVals& params, TProgressRec& progress,
                     bool paramsOnly)
    {
        SlowFormat* self = Instance();
        char magic[4] = {};
        int32_t fields[3] = {};
        uint8_t colour[3] = {};
        if (stream.Read(magic, 4) != 4 || std::string(magic, 4) != "KVS1" || stream.Read(fields, 12) != 12 ||
            stream.Read(colour, 3) != 3 || fields[1] < 1 || fields[2] < 1 || fields[1] > 5000 ||
            fields[2] > 5000) {
            CodecSetAborting(progress);
            return;
        }
        params.Width = fields[1];
        params.Height = fields[2];
        if (paramsOnly || self == nullptr)
            return;
        const int32_t now = ++self->Running;
        int32_t peak = self->Peak.load();
        while (now > peak && !self->Peak.compare_exchange_weak(peak, now)) {
        }
        ++self->Reads;
        {
            std::lock_guard<std::mutex> lock(self->FLock);
            if (fields[0] >= 0 && fields[0] < 1000000) {
                if (int32_t(self->FReadsById.size()) <= fields[0])
                    self->FReadsById.resize(fields[0] + 1);
                ++self->FReadsById[fields[0]];
            }
        }
        const uint32_t start = GetTickCount();
        bool parked = false;
        while (self->Hold.load() || GetTickCount() - start < uint32_t(self->DelayMs.load())) {
            if (self->Hold.load() && !parked) {
                parked = true;
                ++self->Parked;
            }
            if (progress.OnProgress)
                progress.OnProgress(progress.Sender, 0);
            if (progress.Aborting != nullptr && *progress.Aborting && !(self->Stubborn && self->Hold)) {
                self->Parked -= parked ? 1 : 0;
                ++self->Cancelled;
                --self->Running;
                return;
            }
            Sleep(2);
        }
        self->Parked -= parked ? 1 : 0;
        bitmap.Allocate(fields[1], fields[2], kv24RGB);
        const TRGB c{colour[0], colour[1], colour[2]};
        for (int32_t y = 0; y < fields[2]; ++y)
            for (int32_t x = 0; x < fields[1]; ++x)
                bitmap.SetPixels_kv24RGB(x, y, c);
        --self->Running;
    }

    std::mutex FLock;
    std::vector<int32_t> FReadsById;
};

// Count files of the slow format, each w x h in the colour of its id.
inline std::vector<std::string> WriteSlowFiles(const kvtest::TempFolder& folder, int32_t count,
                                               int32_t w = 40, int32_t h = 30)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i)
        names.push_back(folder.Write(Concat("p", std::to_string(i), ".kvs"),
                                     SlowFormat::Content(i, w, h, SlowFormat::ColourOf(i))));
    return names;
}

// The colour of the stored image's centre pixel.
inline TRGB StoredColour(TKorvaneMView* view, int32_t idx)
{
    TKVBitmap copy;
    view->CopyToKVBitmap(idx, &copy);
    if (copy.GetWidth() < 1)
        return TRGB{0, 0, 0};
    return copy.GetPixels(copy.GetWidth() / 2, copy.GetHeight() / 2);
}

} // namespace mviewtest
