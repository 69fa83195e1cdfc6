// Pictures for the save-parameters dialog's tests.
#pragma once

#include "imaging/core/kvbitmap.h"
#include "imaging/core/palette_dialog.h"
#include "imaging/dialogs/iopreviews.h"
#include "imaging/io/korvaneio.h"
#include "platform/forms/application.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"
#include "tests/app/window_test_support.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace iopreviewstest {

// Smooth gradients in red and green with a finer pattern in blue: many colours, as a photo has.
inline std::unique_ptr<TKVBitmap> Photo(int32_t w, int32_t h)
{
    auto b = std::make_unique<TKVBitmap>();
    b->Allocate(w, h, kv24RGB);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            b->SetPixels_kv24RGB(x, y,
                                 TRGB{uint8_t((x * 7 + y * 3) % 256), uint8_t(y * 255 / (h > 1 ? h - 1 : 1)),
                                      uint8_t(x * 255 / (w > 1 ? w - 1 : 1))});
        }
    }
    return b;
}

// Opens the dialog through a component's DoPreviews and acts in it once it shows modally. The
// action must close it (OK, Cancel or the frame).
class DialogRun
{
public:
    using TAction = std::function<void(TfIOPreviews&)>;

    // Hooks the component's OnIOPreview; the action runs in the shown dialog.
    void Hook(TKorvaneIO& io, TAction Action)
    {
        FShown = false;
        io.OnIOPreview = [this, Action](TObject*, TForm* form) {
            FShown = true;
            auto* dialog = static_cast<TfIOPreviews*>(form);
            FWhen = std::make_unique<apptest::WhenModal>(form, [dialog, Action] { Action(*dialog); });
        };
    }
    // To be called once DoPreviews returned: whether the dialog showed and the action ran.
    bool Done()
    {
        const bool ran = FWhen != nullptr && FWhen->Ran();
        FWhen.reset();
        return FShown && ran;
    }
    bool Shown() const { return FShown; }

private:
    std::unique_ptr<apptest::WhenModal> FWhen;
    bool FShown = false;
};

// Picks the palette entry Index once a palette picker shows modally (or cancels it with -1).
class PickerAnswer
{
public:
    explicit PickerAnswer(int32_t Index) : FIndex(Index)
    {
        FTimer.SetInterval(1);
        FTimer.OnTimer = [this](TObject*) { Tick(); };
    }
    bool Ran() const { return FRan; }

private:
    void Tick()
    {
        for (int32_t i = 0; i < Screen->FormCount(); ++i) {
            auto* picker = dynamic_cast<TKorvanePaletteDialog*>(Screen->Forms(i));
            if (picker == nullptr || !picker->Modal() || FRan) {
                continue;
            }
            FRan = true;
            FTimer.SetEnabled(false);
            if (FIndex < 0) {
                Simulate::Click(picker->CancelButton());
                return;
            }
            // The middle of the entry's cell.
            for (int32_t y = 1; y < 130; y += 4) {
                for (int32_t x = 1; x < 512; x += 4) {
                    if (TKorvanePaletteDialog::CellAt(x, y) == FIndex && FX == 0) {
                        FX = x + 6;
                        FY = y + 6;
                    }
                }
            }
            Simulate::MouseMove(picker, FX, FY);
            Simulate::Click(picker, FX, FY);
            return;
        }
    }
    int32_t FIndex;
    int32_t FX = 0;
    int32_t FY = 0;
    bool FRan = false;
    TTimer FTimer{nullptr};
};

} // namespace iopreviewstest
