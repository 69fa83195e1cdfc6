// Every processing method of this component's filters, adjustments, effects, analyses, clipboard
// and hidden-data families on pictures of every shape and format the library has, with zero,
// negative, NaN and huge arguments: each either works or does nothing (the sanitizers watch), and
// a format a method does not take is left as it was.
#include "imaging/proc/proc_component.h"
#include "platform/core/strings.h"
#include "tests/proc/proc_test_util.h"

#include "platform/forms/clipboard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace proctest;
using namespace Korvaneproc;

namespace {

constexpr int32_t Big = std::numeric_limits<int32_t>::max();
constexpr int32_t Small = std::numeric_limits<int32_t>::min();
const double NaN = std::nan("");
const double Inf = std::numeric_limits<double>::infinity();

using Call = std::function<void(TKorvaneProc&)>;

// The calls, each with the given extreme arguments.
std::vector<std::pair<std::string, Call>> Calls(std::initializer_list<int32_t> values = {0, -1, Small, Big},
                                                std::initializer_list<double> reals = {0.0, -1.0, NaN, Inf,
                                                                                       1e300})
{
    std::vector<std::pair<std::string, Call>> calls;
    auto add = [&](const std::string& name, Call call) { calls.emplace_back(name, std::move(call)); };
    for (int32_t v : values) {
        const std::string n = Concat(" ", std::to_string(v));
        add("ApplyFilter" + n, [v](TKorvaneProc& p) { p.ApplyFilter({{v, v, v, v, v, v, v, v, v}, v}); });
        add("Contrast" + n, [v](TKorvaneProc& p) { p.Contrast(v); });
        add("HSLvar" + n, [v](TKorvaneProc& p) { p.HSLvar(v, v, v); });
        add("HSVvar" + n, [v](TKorvaneProc& p) { p.HSVvar(v, v, v); });
        add("IntensityRGBall" + n, [v](TKorvaneProc& p) { p.IntensityRGBall(v, v, v); });
        add("SetTransparentColors" + n, [v](TKorvaneProc& p) { p.SetTransparentColors({}, {9, 9, 9}, v); });
        add("Sharpen" + n, [v](TKorvaneProc& p) { p.Sharpen(v, v); });
        add("Maximum" + n, [v](TKorvaneProc& p) { p.Maximum(v); });
        add("Opening" + n, [v](TKorvaneProc& p) { p.Opening(v); });
        add("MedianFilter" + n, [v](TKorvaneProc& p) { p.MedianFilter(v, v, v, v, v, v, mfEdgeExtract); });
        add("MedianFilter 3" + n, [v](TKorvaneProc& p) { p.MedianFilter(3, 3, v, v, v, v, mfSharpen); });
        add("WallisFilter" + n, [v](TKorvaneProc& p) { p.WallisFilter(v, v, v, v, v, v, v, v & 1); });
        add("BumpMapping" + n, [v](TKorvaneProc& p) { p.BumpMapping(v, v, v, v, v, {1, 2, 3}); });
        add("Lens" + n, [v](TKorvaneProc& p) { p.Lens(v, v, v, v, v); });
        add("Wave" + n, [v](TKorvaneProc& p) { p.Wave(v, v, v, v & 1); });
        add("PaintMark" + n, [v](TKorvaneProc& p) { p.PaintMark(v, {1, 2, 3}); });
        add("PaintPenMarker" + n, [v](TKorvaneProc& p) { p.PaintPenMarker(0, 0, v, 0, 0, v); });
        add("Merge" + n, [v](TKorvaneProc& p) {
            auto other = Blank(3, 2, kv8g, 9);
            p.MergeKVBitmap(other.get(), v);
        });
        add("RemoveIsolatedPixels" + n, [v](TKorvaneProc& p) { p.RemoveIsolatedPixels(v, v); });
        add("RemoveNoise" + n, [v](TKorvaneProc& p) { p.RemoveNoise(v == Big ? 5 : v, v & 1); });
        add("EdgeDetect" + n,
            [v](TKorvaneProc& p) { p.EdgeDetect_ShenCastan(0.99, 0.9, v == Big ? 9 : v, v, true); });
        add("SkewDetection" + n, [v](TKorvaneProc& p) { p.SkewDetection(v, v == Big ? 20 : v, 0.5, v & 1); });
        add("SkewDetectionFine" + n,
            [v](TKorvaneProc& p) { p.SkewDetectionFine(v, v, v == Big ? 4 : v, v & 1); });
        add("FTCreateImage" + n, [v](TKorvaneProc& p) {
            std::unique_ptr<TKVFtImage> ft = p.FTCreateImage(kvitRGB, v, v);
            if (ft) {
                ft->HiPass(v);
                ft->ClearZone(v, v, Big, Big);
                p.FTDisplayFrom(ft.get());
            }
        });
        add("HiddenData" + n, [v](TKorvaneProc& p) {
            char buffer[16] = {};
            p.WriteHiddenData(buffer, v < 0 ? v : std::min(v, 16));
            p.ReadHiddenData(v > 0 ? buffer : nullptr, v < 0 ? v : std::min(v, 16));
            p.ReadHiddenText();
        });
        add("PointPasteFromClip" + n, [v](TKorvaneProc& p) { p.PointPasteFromClip(v, v); });
    }
    for (double d : reals) {
        const std::string n = Concat(" ", std::to_string(d));
        add("GammaCorrect" + n, [d](TKorvaneProc& p) { p.GammaCorrect(d, kvcAll); });
        add("Blur" + n, [d](TKorvaneProc& p) { p.Blur(d); });
        add("AddSoftShadow" + n, [d](TKorvaneProc& p) { p.AddSoftShadow(d, 2, -3, true, 0); });
        add("EdgeDetect" + n, [d](TKorvaneProc& p) { p.EdgeDetect_ShenCastan(d, d, 7, 0, false); });
        add("Lens" + n, [d](TKorvaneProc& p) { p.Lens(1, 1, 9, 9, d); });
        add("SkewDetection" + n, [d](TKorvaneProc& p) { p.SkewDetection(0, 20, d, false); });
        add("SkewDetectionFine" + n, [d](TKorvaneProc& p) { p.SkewDetectionFine(d, 1, 4, false); });
    }
    add("Simple", [](TKorvaneProc& p) {
        p.ConvertToGray();
        p.Negative();
        p.Threshold({1, 1, 1}, {9, 9, 9}, {}, {});
        p.CastColorRange({}, {255, 255, 255}, {1, 2, 3});
        p.Fill({4, 5, 6});
        p.Closing(1);
        p.CalcOrientation();
        p.CopyToClipboard();
        p.SelCopyToClip();
        p.SelCutToClip();
        p.PasteFromClipboard();
        p.SelPasteFromClipStretch();
        p.Clear();
        p.ClearSel();
        double m[10];
        auto other = GreyRgb({{1}});
        p.ComputeImageEquality(other.get(), m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9]);
    });
    return calls;
}

struct Picture
{
    const char* name;
    std::function<std::unique_ptr<TKVBitmap>()> make;
    // Long pictures take seconds per sweep under the sanitizers: they get the largest arguments.
    bool large = false;
};

} // namespace

TEST(ProcessingRobustness, EveryMethodWorksOrDoesNothing)
{
    const Picture pictures[] = {
        {"0x0", [] { return std::make_unique<TKVBitmap>(); }},
        {"1x1", [] { return Blank(1, 1, kv24RGB, 128); }},
        {"1x65536", [] { return Blank(1, 65536, kv24RGB, 90); }, true},
        {"65536x1", [] { return Blank(65536, 1, kv24RGB, 90); }, true},
        {"kv1g",
         [] {
             return Bits({{1, 0, 1}, {0, 1, 1}, {1, 1, 0}});
         }},
        {"kv8p",
         [] {
             return Bytes({{0, 1}, {1, 0}}, kv8p, {{1, 2, 3}, {200, 100, 50}});
         }},
        {"kv32f", [] { return Blank(3, 2, kv32f, 0); }},
        {"kv16g", [] { return Blank(3, 2, kv16g, 7); }},
    };
    const auto calls = Calls();
    const auto largeCalls = Calls({Big}, {});
    for (const Picture& picture : pictures)
        for (const auto& [name, call] : picture.large ? largeCalls : calls) {
            SCOPED_TRACE(std::string(picture.name) + " " + name);
            auto image = picture.make();
            TKorvaneProc proc(nullptr);
            // Undo snapshots are files of their own in the file-backed run; the sweep is about the work.
            proc.AutoUndo = false;
            proc.SetAttachedKVBitmap(image.get());
            call(proc);
        }
    // Without a working bitmap every method returns at once.
    TKorvaneProc none(nullptr);
    none.SetAttachedKVBitmap(nullptr);
    for (const auto& [name, call] : calls)
        call(none);
    EXPECT_EQ(none.UndoCount(), 0);
    EXPECT_EQ(none.GetHiddenDataSpace(), 0);
}

TEST(ProcessingRobustness, FormatsAMethodDoesNotTakeStayAsTheyWere)
{
    const auto calls = Calls();
    auto original = Blank(3, 2, kv32f, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            original->SetPixels_kv32f(x, y, 0.25f * float(x + y));
    for (const auto& [name, call] : calls) {
        if (name == "Simple" || name.rfind("PointPaste", 0) == 0 || name.rfind("AddSoftShadow", 0) == 0)
            continue;
        auto image = Copy(original.get());
        TKorvaneProc proc(nullptr);
        proc.AutoUndo = false;
        proc.SetAttachedKVBitmap(image.get());
        call(proc);
        EXPECT_EQ(image->GetPixelFormat(), kv32f) << name;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(image->GetPixels_kv32f(x, y), 0.25f * float(x + y)) << name;
    }
}
