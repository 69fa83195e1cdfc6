// The processing preview dialog driven as a user would, through TKorvaneProc::DoPreviews: each
// page's OK against a direct call of its worker, the pages an effects set shows, values kept on
// return, "<<" at another zoom, the preview of the visible part, and the refusals.
#include "imaging/dialogs/previews.h"

#include "imaging/core/kvbitmap.h"
#include "imaging/proc/korvaneproc.h"
#include "imaging/proc/kvfft.h"
#include "imaging/view/histogram_box.h"
#include "imaging/view/korvane.h"
#include "imaging/view/korvaneview.h"
#include "imaging/view/ruler_box.h"
#include "platform/forms/buttons.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/page_control.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/std_controls.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using namespace Korvaneproc;
using namespace Previews;

namespace {

// A picture with smooth gradients, edges and texture, so that every effect changes it.
void MakePicture(TKVBitmap& b, int32_t w, int32_t h)
{
    b.Allocate(w, h, kv24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const bool block = ((x / 16) + (y / 12)) % 2 == 0;
            b.SetPixels_kv24RGB(x, y,
                                TRGB{uint8_t(block ? 40 + x : 200 - y), uint8_t((x * 3 + y * 5) % 256),
                                     uint8_t(block ? 220 - x / 2 : 60 + (x ^ y) % 64)});
        }
}

// A picture from MakePicture with a processing component attached to it.
struct TProcOfPicture
{
    TProcOfPicture(int32_t w, int32_t h)
    {
        MakePicture(image, w, h);
        proc.SetAttachedKVBitmap(&image);
    }
    TKVBitmap image;
    TKorvaneProc proc{nullptr};
};

bool SamePixels(TKVBitmap& a, TKVBitmap& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        for (int32_t x = 0; x < a.GetWidth(); ++x)
            if (!(a.GetPixels_kv24RGB(x, y) == b.GetPixels_kv24RGB(x, y)))
                return false;
    return true;
}

// Runs DoPreviews on the component; Act drives the dialog once it shows modally (and must close
// it). Returns DoPreviews' result.
bool RunDialog(TKorvaneProc& proc, TPreviewEffects effects, const std::function<void(TfPreviews&)>& act)
{
    TfPreviews* dialog = nullptr;
    proc.OnPreview = [&](TObject*, TForm* form) { dialog = static_cast<TfPreviews*>(form); };
    TTimer timer(nullptr);
    bool acted = false;
    int32_t ticks = 0;
    timer.SetInterval(1);
    timer.OnTimer = [&](TObject*) {
        if (!dialog || !dialog->Modal())
            return;
        if (!acted) {
            acted = true;
            act(*dialog);
            if (dialog->ModalResult() == mrNone) {
                ADD_FAILURE() << "the dialog was left open";
                dialog->SetModalResult(mrAbort);
            }
        } else if (++ticks > 2000) {
            ADD_FAILURE() << "the dialog stayed open";
            dialog->SetModalResult(mrAbort);
        }
    };
    timer.SetEnabled(true);
    const bool result = proc.DoPreviews(effects);
    timer.SetEnabled(false);
    proc.OnPreview = nullptr;
    return result;
}

struct PageCase
{
    const char* Name;
    TPreviewEffect Effect;
    // What the user does on the page before OK.
    std::function<void(TfPreviews&)> Drive;
    // The same effect by a direct call on the expected picture.
    std::function<void(TKVBitmap&)> Expect;
};

void Rect(TKVBitmap& b, int32_t& w, int32_t& h)
{
    w = b.GetWidth();
    h = b.GetHeight();
}

std::vector<PageCase> PageCases()
{
    std::vector<PageCase> cases;
    cases.push_back({"Contrast", peContrast,
                     [](TfPreviews& d) {
                         Simulate::Slide(d.TrackBar1, 30);
                         Simulate::Retype(d.Edit21, "-20");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h, r, g, b;
                         Rect(e, w, h);
                         _GetMediaContrastRGB(&e, r, g, b);
                         _ContrastRGB(&e, 30, r, g, b, 0, 0, w, h);
                         _IntensityRGBall(&e, -20, -20, -20, 0, 0, w, h);
                     }});
    cases.push_back({"HSV", peHSV,
                     [](TfPreviews& d) {
                         Simulate::Slide(d.TrackBar9, 45);
                         Simulate::Retype(d.Edit17, "-15");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         _HSVvar(&e, 45, 0, -15, 0, 0, w, h);
                     }});
    cases.push_back({"HSL", peHSL,
                     [](TfPreviews& d) {
                         Simulate::Slide(d.TrackBar2, -60);
                         Simulate::Slide(d.TrackBar3, 25);
                         Simulate::Retype(d.Edit3, "10");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         _HSLvar(&e, -60, 25, 10, 0, 0, w, h);
                     }});
    cases.push_back({"RGB", peRGB,
                     [](TfPreviews& d) {
                         Simulate::Slide(d.TrackBar6, 50);
                         Simulate::Retype(d.Edit5, "-60");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         _IntensityRGBall(&e, 50, 0, -60, 0, 0, w, h);
                     }});
    cases.push_back({"User filter", peUserFilt,
                     [](TfPreviews& d) {
                         const TRect row = d.ListBox1->ItemRect(3); // "Emboss"
                         Simulate::Click(d.ListBox1, row.Left + 5, (row.Top + row.Bottom) / 2);
                         Simulate::Retype(d.FilterEdits[4], "2");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         TGraphFilter filter = KVFiltPres[fpEmboss];
                         filter.Values[4] = 2;
                         TProgressRec progress;
                         _ApplyFilter(&e, filter, 0, 0, w, h, progress);
                     }});
    cases.push_back({"Equalization", peEqualize, [](TfPreviews& d) { Simulate::Click(d.SpeedButton3); },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         _HistAutoEqualize(&e, 0, 0, w, h);
                     }});
    cases.push_back({"Bump map", peBumpMap,
                     [](TfPreviews& d) {
                         Simulate::Retype(d.LightEdits[0], "20");
                         Simulate::Retype(d.LightEdits[1], "15");
                         Simulate::Retype(d.Edit26, "30");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         TProgressRec progress;
                         const int32_t size = std::max(w, h) / 2;
                         _BumpMapping(&e, 20, 15, size, size, 30, TRGB{255, 255, 255}, 0, 0, w, h, progress);
                     }});
    cases.push_back({"Lens", peLens, [](TfPreviews& d) { Simulate::Retype(d.Edit31, "7"); },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         TProgressRec progress;
                         const int32_t size = std::max(w, h) / 2;
                         _lens(&e, w / 2, h / 2, size, size, 1.7, progress);
                     }});
    cases.push_back({"Wave", peWave,
                     [](TfPreviews& d) {
                         Simulate::Retype(d.WaveEdits[0], "4");
                         Simulate::Click(d.chkReflective, 6, 11);
                     },
                     [](TKVBitmap& e) {
                         TProgressRec progress;
                         _wave(&e, 4, 10, 0, true, progress);
                     }});
    cases.push_back({"Morph filters", peMorph,
                     [](TfPreviews& d) {
                         Simulate::ClickRadioItem(d.rgMorphFilter, 2);
                         Simulate::Retype(d.Edit35, "2");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         _MorphFilter(&e, 2, 2, 0, 0, w, h);
                     }});
    cases.push_back({"Rotate", peRotate,
                     [](TfPreviews& d) {
                         Simulate::Retype(d.EditRotate, "12.5");
                         Simulate::Click(d.SpeedButton1);
                     },
                     [](TKVBitmap& e) {
                         TKorvaneProc proc(nullptr);
                         proc.AutoUndo = false;
                         proc.SetAttachedKVBitmap(&e);
                         proc.Flip(fdHorizontal);
                         proc.Rotate(12.5, true, kvrFast, -1);
                     }});
    cases.push_back({"FFT", peFFT,
                     [](TfPreviews& d) {
                         d.KorvaneView1->SelectionBase = kvsbBitmap;
                         d.KorvaneView1->Select(10, 20, 30, 40);
                         EXPECT_EQ(d.KorvaneView1->SelX1(), 10);
                         EXPECT_EQ(d.KorvaneView1->SelX2(), 30);
                         EXPECT_EQ(d.KorvaneView1->SelY2(), 40);
                         Simulate::Click(d.Button8);
                     },
                     [](TKVBitmap& e) {
                         TKorvaneProc proc(nullptr);
                         proc.AutoUndo = false;
                         proc.SetAttachedKVBitmap(&e);
                         std::unique_ptr<TKVFtImage> ft = proc.FTCreateImage(kvitGrayscale, -1, -1);
                         ASSERT_TRUE(ft);
                         int32_t x1 = 10, y1 = 20, x2 = 30, y2 = 40;
                         ScaleZone(x1, y1, x2, y2, 128, ft->FFTSize());
                         ft->ClearZone(x1, y1, x2, y2);
                         proc.FTConvertFrom(ft.get());
                     }});
    cases.push_back({"Gamma", peGamma, [](TfPreviews& d) { Simulate::Slide(d.trkGamma, 25); },
                     [](TKVBitmap& e) { _KVGammaCorrect(&e, 2.5, kvcAll); }});
    cases.push_back({"Sharpen", peSharpen,
                     [](TfPreviews& d) {
                         Simulate::Slide(d.TrackBar4, 20);
                         Simulate::Retype(d.Edit37, "3");
                     },
                     [](TKVBitmap& e) {
                         int32_t w, h;
                         Rect(e, w, h);
                         _Sharpen(&e, 0, 0, w, h, 20, 3);
                     }});
    return cases;
}

} // namespace

TEST(ProcPreviews, EachPageOkEqualsItsWorker)
{
    for (const PageCase& c : PageCases()) {
        SCOPED_TRACE(c.Name);
        TKVBitmap image;
        MakePicture(image, 120, 90);
        TKVBitmap expected;
        expected.Assign(&image);
        c.Expect(expected);
        TKorvaneProc proc(nullptr);
        proc.SetAttachedKVBitmap(&image);
        const bool accepted = RunDialog(proc, PreviewEffect(c.Effect), [&](TfPreviews& d) {
            EXPECT_EQ(d.ActivePageTag(), FirstVisiblePage(PreviewEffect(c.Effect)));
            c.Drive(d);
            Simulate::Click(d.Button1);
        });
        EXPECT_TRUE(accepted);
        EXPECT_TRUE(SamePixels(image, expected));
        EXPECT_EQ(proc.UndoCount(), 1);
        EXPECT_EQ(proc.UndoCaptions(0), "Previews");
    }
}

TEST(ProcPreviews, CancelChangesNothing)
{
    TKVBitmap image;
    MakePicture(image, 60, 40);
    TKVBitmap before;
    before.Assign(&image);
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKVBitmap(&image);
    EXPECT_FALSE(RunDialog(proc, PreviewEffect(peAll), [](TfPreviews& d) {
        Simulate::Slide(d.TrackBar1, 80);
        Simulate::Click(d.Button6); // "<<" changes the dialog's source only
        Simulate::Click(d.Button2);
    }));
    EXPECT_TRUE(SamePixels(image, before));
    EXPECT_EQ(proc.UndoCount(), 0);
}

TEST(ProcPreviews, RefusesImagesItCannotPreview)
{
    struct Case
    {
        int32_t W, H;
        TKVPixelFormat Format;
        bool Shown;
    };
    const Case cases[] = {{1, 1, kv24RGB, false}, {0, 0, kv24RGB, false}, {40, 30, kv8g, false},
                          {40, 30, kv1g, false},  {1, 5, kv24RGB, true},  {5, 1, kv24RGB, true}};
    for (const Case& c : cases) {
        TKVBitmap image;
        if (c.W > 0)
            image.Allocate(c.W, c.H, c.Format);
        TKorvaneProc proc(nullptr);
        proc.SetAttachedKVBitmap(&image);
        bool shown = false;
        EXPECT_FALSE(RunDialog(proc, PreviewEffect(peAll), [&](TfPreviews& d) {
            shown = true;
            Simulate::Click(d.Button2);
        }));
        EXPECT_EQ(shown, c.Shown) << c.W << " x " << c.H;
    }
    TKorvaneProc detached(nullptr);
    detached.SetAttachedKVBitmap(nullptr);
    EXPECT_FALSE(detached.DoPreviews(PreviewEffect(peAll)));

    // The all-in-one component forwards the call.
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* korvane = new TKorvane(form.get());
    korvane->SetParent(form.get());
    EXPECT_FALSE(korvane->DoPreviews(PreviewEffect(peAll)));
}

TEST(ProcPreviews, PagesFollowTheEffectsSet)
{
    TProcOfPicture picture(60, 40);
    RunDialog(picture.proc, PreviewEffect(peAll), [](TfPreviews& d) {
        for (TPreviewPage page : kPageOrder)
            EXPECT_TRUE(d.Sheet(page)->TabVisible()) << page;
        EXPECT_EQ(d.ActivePageTag(), ppContrast);
        EXPECT_EQ(d.Sheet(ppGamma)->Tag(), 13);
        Simulate::Click(d.Button2);
    });
    RunDialog(picture.proc, PreviewEffect(peGamma), [](TfPreviews& d) {
        for (TPreviewPage page : kPageOrder)
            EXPECT_EQ(d.Sheet(page)->TabVisible(), page == ppGamma) << page;
        EXPECT_EQ(d.ActivePageTag(), ppGamma);
        EXPECT_EQ(d.trkGamma->Position(), 10);
        EXPECT_EQ(d.edtGamma->Text(), "1");
        Simulate::Click(d.Button2);
    });
}

TEST(ProcPreviews, ReturningKeepsValuesUnlessCopiedToSource)
{
    TProcOfPicture picture(80, 60);
    RunDialog(picture.proc, PreviewEffect(peAll), [](TfPreviews& d) {
        Simulate::ClickTab(d.PageControl1, d.Sheet(ppHSL));
        Simulate::Slide(d.TrackBar2, 90);
        Simulate::ClickTab(d.PageControl1, d.Sheet(ppRGB));
        Simulate::Slide(d.TrackBar7, -40);
        Simulate::ClickTab(d.PageControl1, d.Sheet(ppHSL));
        EXPECT_EQ(d.TrackBar2->Position(), 90);
        EXPECT_EQ(d.Edit4->Text(), "90");
        EXPECT_EQ(d.Values().HslHue, 90);
        // "<<" puts the effect into the source and starts every page again from its defaults.
        Simulate::Click(d.Button6);
        EXPECT_EQ(d.TrackBar2->Position(), 0);
        EXPECT_EQ(d.Edit4->Text(), "0");
        Simulate::ClickTab(d.PageControl1, d.Sheet(ppRGB));
        EXPECT_EQ(d.TrackBar7->Position(), 0);
        EXPECT_EQ(d.Values().Green, 0);
        Simulate::Click(d.Button2);
    });
}

TEST(ProcPreviews, EditsAndRulersOfThePages)
{
    TProcOfPicture picture(80, 60);
    RunDialog(picture.proc, PreviewEffect(peAll), [](TfPreviews& d) {
        Simulate::ClickTab(d.PageControl1, d.Sheet(ppLens));
        EXPECT_EQ(d.Edit31->Text(), "7");
        EXPECT_DOUBLE_EQ(d.Values().Refraction, 1.7);
        Simulate::Retype(d.Edit31, "0");
        EXPECT_DOUBLE_EQ(d.Values().Refraction, 1.0);
        Simulate::Retype(d.Edit31, "7");
        EXPECT_DOUBLE_EQ(d.Values().Refraction, 1.7);
        EXPECT_EQ(d.LensEdits[0]->Text(), "40");
        EXPECT_EQ(d.LensEdits[2]->Text(), "40");

        Simulate::ClickTab(d.PageControl1, d.Sheet(ppRotate));
        Simulate::Retype(d.EditRotate, "12.5");
        EXPECT_EQ(d.TrackBarRotate->Position(), 1250);
        EXPECT_DOUBLE_EQ(d.Values().Angle, 12.5);
        Simulate::Slide(d.TrackBarRotate, -4550);
        EXPECT_EQ(d.EditRotate->Text(), "-45.5");

        Simulate::ClickTab(d.PageControl1, d.Sheet(ppSharpen));
        Simulate::Retype(d.Edit36, "x");
        EXPECT_EQ(d.TrackBar4->Position(), 1);
        Simulate::Retype(d.Edit37, "?");
        EXPECT_EQ(d.Values().SharpenWindow, 2);

        // The threshold ruler's low grip dragged past the high grip takes it along.
        Simulate::ClickTab(d.PageControl1, d.Sheet(ppEqualize));
        EXPECT_EQ(d.RulerBox1->GetGripsKind(0), gkArrow2);
        d.RulerBox1->SetGripsPos(1, 150);
        d.RulerBox1->SetGripsPos(0, 200);
        d.RulerBox1->OnRulerPosChange(d.RulerBox1, 0);
        EXPECT_EQ(d.RulerBox1->GetGripsPos(0), 200);
        EXPECT_EQ(d.RulerBox1->GetGripsPos(1), 200);
        EXPECT_EQ(d.Values().ThresholdLo, (TRGB{200, 200, 200}));
        EXPECT_EQ(d.Values().ThresholdHi, (TRGB{200, 200, 200}));
        // Only the checked channels take a range.
        Simulate::Click(d.chkEqGray, 6, 11);
        Simulate::Click(d.chkEqRed, 6, 11);
        d.RulerBox2->SetGripsPos(0, 30);
        d.RulerBox2->OnRulerPosChange(d.RulerBox2, 0);
        EXPECT_EQ(d.Values().EqualizeLo, (TRGB{0, 0, 30}));
        Simulate::Click(d.Button2);
    });
}

TEST(ProcPreviews, CopyToSourceIgnoresTheZoom)
{
    // The lens and the light are placed in source pixels; "<<" and OK work on the source itself,
    // so the source view's zoom and scrolling change nothing.
    auto copyAt = [](double zoom, int32_t viewX, int32_t viewY, TPreviewEffect effect) {
        auto image = std::make_unique<TKVBitmap>();
        MakePicture(*image, 200, 150);
        TKorvaneProc proc(nullptr);
        proc.SetAttachedKVBitmap(image.get());
        RunDialog(proc, PreviewEffect(effect), [&](TfPreviews& d) {
            if (effect == peLens) {
                Simulate::Retype(d.LensEdits[0], "60");
                Simulate::Retype(d.LensEdits[1], "50");
            } else {
                Simulate::Retype(d.WaveEdits[0], "6");
            }
            // The page fits the view again at every view change; keep the zoom set here.
            d.Korvane1->OnViewChange = nullptr;
            d.Korvane1->SetZoom(zoom);
            d.Korvane1->SetViewXY(viewX, viewY);
            EXPECT_EQ(d.Korvane1->Zoom(), zoom);
            d.applyAct(d.Korvane1); // as "<<" does, before the page fits the view again
            Simulate::Click(d.Button1);
        });
        return image;
    };
    for (TPreviewEffect effect : {peLens, peWave}) {
        std::unique_ptr<TKVBitmap> at100 = copyAt(100, 0, 0, effect);
        std::unique_ptr<TKVBitmap> at200 = copyAt(200, 70, 45, effect);
        EXPECT_TRUE(SamePixels(*at100, *at200)) << effect;
    }
}

TEST(ProcPreviews, PreviewShowsTheVisiblePart)
{
    TKVBitmap image;
    MakePicture(image, 120, 90);
    TKVBitmap expected;
    expected.Assign(&image);
    _HSLvar(&expected, 30, -20, 5, 0, 0, 120, 90);
    TKorvaneProc proc(nullptr);
    proc.PreviewsParams = 1u << prppDefaultLockPreview;
    proc.SetAttachedKVBitmap(&image);
    RunDialog(proc, PreviewEffect(peHSL), [&](TfPreviews& d) {
        EXPECT_TRUE(d.chkLockPreview->Checked());
        EXPECT_FALSE(d.Button3->Enabled());
        Simulate::Slide(d.TrackBar2, 30);
        Simulate::Slide(d.TrackBar3, -20);
        Simulate::Slide(d.TrackBar5, 5);
        TKVBitmap* result = d.Korvane2->GetKVBitmap();
        const TKVViewGeometry& g = d.Korvane1->Geometry();
        ASSERT_EQ(result->GetWidth(), g.VisibleWidth);
        ASSERT_EQ(result->GetHeight(), g.VisibleHeight);
        // Each source pixel covers a block of the zoomed preview: compare at the blocks' middles.
        auto middle = [](int32_t from, int32_t to) { return (from + to) / 2; };
        for (int32_t sy = g.FirstRow; sy < g.FirstRow + g.VisibleRows - 1; sy += 3)
            for (int32_t sx = g.FirstColumn; sx < g.FirstColumn + g.VisibleColumns - 1; sx += 5) {
                const int32_t x = middle(d.Korvane1->XBmp2Scr(sx), d.Korvane1->XBmp2Scr(sx + 1)) - g.OffsetX;
                const int32_t y = middle(d.Korvane1->YBmp2Scr(sy), d.Korvane1->YBmp2Scr(sy + 1)) - g.OffsetY;
                ASSERT_EQ(result->GetPixels_kv24RGB(x, y), expected.GetPixels_kv24RGB(sx, sy))
                    << sx << ", " << sy;
            }
        // Unlocked, the preview waits for the Preview button.
        Simulate::Click(d.chkLockPreview);
        EXPECT_TRUE(d.Button3->Enabled());
        Simulate::Slide(d.TrackBar2, 0);
        EXPECT_EQ(d.Values().HslHue, 0);
        EXPECT_FALSE(result->GetPixels_kv24RGB(0, 0) == image.GetPixels_kv24RGB(g.FirstColumn, g.FirstRow));
        Simulate::Click(d.Button3);
        TKVBitmap unshifted;
        unshifted.Assign(&image);
        _HSLvar(&unshifted, 0, -20, 5, 0, 0, 120, 90);
        EXPECT_EQ(result->GetPixels_kv24RGB(0, 0), unshifted.GetPixels_kv24RGB(g.FirstColumn, g.FirstRow));
        Simulate::Click(d.Button2);
    });
}

TEST(ProcPreviews, SelectionLimitsTheChange)
{
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* view = new TKorvaneView(form.get());
    view->SetParent(form.get());
    view->SetBounds(0, 0, 200, 150);
    MakePicture(*view->GetKVBitmap(), 100, 80);
    view->Update();
    TKVBitmap before;
    before.Assign(view->GetKVBitmap());
    view->SelectionBase = kvsbBitmap;
    view->SelectEllipse(50, 40, 100, 80);
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKorvane(view);
    EXPECT_TRUE(RunDialog(proc, PreviewEffect(peRGB), [](TfPreviews& d) {
        EXPECT_EQ(d.Korvane1->GetKVBitmap()->GetWidth(), 100);
        Simulate::Slide(d.TrackBar6, 100);
        Simulate::Click(d.Button1);
    }));
    TKVBitmap* after = view->GetKVBitmap();
    TKVMask* mask = view->SelectionMask();
    int32_t changedInside = 0, changedOutside = 0;
    for (int32_t y = 0; y < 80; ++y)
        for (int32_t x = 0; x < 100; ++x) {
            const bool changed = !(after->GetPixels_kv24RGB(x, y) == before.GetPixels_kv24RGB(x, y));
            (mask->IsPointInside(x, y) ? changedInside : changedOutside) += changed;
        }
    EXPECT_GT(changedInside, 1000);
    EXPECT_EQ(changedOutside, 0);
}

TEST(ProcPreviews, FilterFilesSaveAndLoad)
{
    kvtest::TempFolder folder;
    const std::string saved = folder.File("blur.flt");
    const std::string wrongHeader = folder.Write("text.flt", std::string(43, 'x'));
    TScriptedDialogService dialogs;
    dialogs.AnswerFiles({saved});
    dialogs.AnswerFiles({saved});
    dialogs.AnswerFiles({wrongHeader});
    dialogs.AnswerFiles({folder.File("missing.flt")});
    TKVBitmap image;
    MakePicture(image, 60, 40);
    TKorvaneProc proc(nullptr);
    proc.MsgLanguage = msEnglish;
    proc.SetAttachedKVBitmap(&image);
    RunDialog(proc, PreviewEffect(peUserFilt), [](TfPreviews& d) {
        const TRect blur = d.ListBox1->ItemRect(1);
        Simulate::Click(d.ListBox1, blur.Left + 5, (blur.Top + blur.Bottom) / 2);
        EXPECT_EQ(d.Values().Filter, KVFiltPres[fpBlur]);
        Simulate::Click(d.Button5);
        Simulate::Retype(d.FilterEdits[0], "-7");
        Simulate::Retype(d.Edit20, "none");
        EXPECT_EQ(d.Values().Filter.Values[0], -7);
        EXPECT_EQ(d.Values().Filter.Divisor, 1);
        Simulate::Click(d.Button4);
        EXPECT_EQ(d.Values().Filter, KVFiltPres[fpBlur]);
        EXPECT_EQ(d.FilterEdits[0]->Text(), std::to_string(KVFiltPres[fpBlur].Values[0]));
        EXPECT_EQ(d.Edit20->Text(), std::to_string(KVFiltPres[fpBlur].Divisor));
        // A file of another kind, and one that is not there, leave the filter as it was.
        Simulate::Click(d.Button4);
        Simulate::Click(d.Button4);
        EXPECT_EQ(d.Values().Filter, KVFiltPres[fpBlur]);
        Simulate::Click(d.Button2);
    });
    const std::string content = kvtest::TempFolder::Read(saved);
    ASSERT_EQ(content.size(), 43u);
    EXPECT_EQ(content.substr(0, 3), std::string("\x01\x03\x03", 3));
    ASSERT_GE(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[0].Kind, dkSaveFile);
    EXPECT_EQ(dialogs.Calls()[0].File.Title, Daduvudez::kvmsg(KVMSG_SAVEFILTER, msEnglish));
    EXPECT_EQ(dialogs.Calls()[1].Kind, dkOpenFile);
    EXPECT_EQ(dialogs.Calls()[1].File.Title, Daduvudez::kvmsg(KVMSG_LOADFILTER, msEnglish));
}

TEST(ProcPreviews, ClicksOnTheResultPickTheColourAndPlaceTheLight)
{
    TProcOfPicture picture(120, 90);
    RunDialog(picture.proc, PreviewEffect(peHSV) | PreviewEffect(peBumpMap), [](TfPreviews& d) {
        // The middle of the block that shows source pixel (sx, sy), in the result view's client.
        auto clientOf = [&d](int32_t sx, int32_t sy) {
            const TKVViewGeometry& g = d.Korvane1->Geometry();
            const int32_t px = (d.Korvane1->XBmp2Scr(sx) + d.Korvane1->XBmp2Scr(sx + 1)) / 2 - g.OffsetX;
            const int32_t py = (d.Korvane1->YBmp2Scr(sy) + d.Korvane1->YBmp2Scr(sy + 1)) / 2 - g.OffsetY;
            return TPoint{d.Korvane2->XBmp2Scr(px), d.Korvane2->YBmp2Scr(py)};
        };
        ASSERT_EQ(d.ActivePageTag(), ppHSV);
        d.HSVBox3->SetRGB(200, 40, 40);
        const TPoint at = clientOf(30, 20);
        const TRGB under = d.Korvane2->GetKVBitmap()->GetPixels_kv24RGB(d.Korvane2->XScr2Bmp(at.X),
                                                                        d.Korvane2->YScr2Bmp(at.Y));
        Simulate::Click(d.Korvane2, at.X, at.Y);
        THSVBox expectedBase(nullptr);
        expectedBase.SetRGB(under.r, under.g, under.b);
        EXPECT_EQ(d.HSVBox1->Hue(), expectedBase.Hue());
        EXPECT_EQ(d.HSVBox1->Sat(), expectedBase.Sat());
        EXPECT_EQ(d.TrackBar9->Position(), d.HSVBox3->Hue() - d.HSVBox1->Hue());
        EXPECT_EQ(d.Values().HsvSat, d.HSVBox3->Sat() - d.HSVBox1->Sat());
        EXPECT_EQ(d.Values().HsvVal, d.HSVBox3->Val() - d.HSVBox1->Val());

        Simulate::ClickTab(d.PageControl1, d.Sheet(ppBumpMap));
        const TPoint light = clientOf(30, 20);
        Simulate::Click(d.Korvane2, light.X, light.Y);
        EXPECT_NEAR(d.Values().LightX, 30, 1);
        EXPECT_NEAR(d.Values().LightY, 20, 1);
        EXPECT_EQ(d.LightEdits[0]->Text(), std::to_string(d.Values().LightX));
        Simulate::Click(d.Button2);
    });
}

TEST(ProcPreviews, ThinPictureGetsAFrequencyThumbnail)
{
    TKVBitmap image;
    MakePicture(image, 2, 600);
    TKVBitmap expected;
    expected.Assign(&image);
    TKorvaneProc direct(nullptr);
    direct.AutoUndo = false;
    direct.SetAttachedKVBitmap(&expected);
    std::unique_ptr<TKVFtImage> ft = direct.FTCreateImage(kvitRGB, -1, -1);
    ASSERT_TRUE(ft);
    direct.FTConvertFrom(ft.get());
    TKorvaneProc proc(nullptr);
    proc.SetAttachedKVBitmap(&image);
    EXPECT_TRUE(RunDialog(proc, PreviewEffect(peFFT), [](TfPreviews& d) {
        ASSERT_NE(d.FrequencyImage(), nullptr);
        EXPECT_EQ(d.FrequencyImage()->ImageWidth(), 1);
        EXPECT_EQ(d.FrequencyImage()->ImageHeight(), 128);
        Simulate::Click(d.CheckBox1, 6, 11); // colour transform
        EXPECT_EQ(d.FrequencyImage()->ImageType(), kvitRGB);
        Simulate::Click(d.Button1);
    }));
    EXPECT_TRUE(SamePixels(image, expected));
}

TEST(ProcPreviews, ExtremeShapesVisitEveryPage)
{
    // Pictures one pixel wide or high show as a sliver at the fitting zoom; every page previews
    // them and OK on the last page keeps their size.
    for (const TPoint size : {TPoint{1, 65536}, TPoint{65536, 1}, TPoint{2, 2}}) {
        SCOPED_TRACE(std::to_string(size.X) + " x " + std::to_string(size.Y));
        TKVBitmap image;
        MakePicture(image, size.X, size.Y);
        TKorvaneProc proc(nullptr);
        proc.PreviewsParams = 1u << prppDefaultLockPreview;
        proc.SetAttachedKVBitmap(&image);
        EXPECT_TRUE(RunDialog(proc, PreviewEffect(peAll), [](TfPreviews& d) {
            for (TPreviewPage page : kPageOrder) {
                Simulate::ClickTab(d.PageControl1, d.Sheet(page));
                EXPECT_EQ(d.ActivePageTag(), page);
                EXPECT_GE(d.Korvane2->GetKVBitmap()->GetWidth(), 1);
            }
            Simulate::Slide(d.TrackBar4, 50);
            Simulate::Click(d.Button1);
        }));
        EXPECT_EQ(image.GetWidth(), size.X);
        EXPECT_EQ(image.GetHeight(), size.Y);
    }
}
