// The image view's painting of a 4032 x 3024 picture fitted into a 1280 x 960 client (against
// QPainter::drawImage of the same picture into that rectangle, unsmoothed), and a 16-pixel scroll
// step at zoom 100 and 300 on that picture against the same step on a 640 x 480 picture.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "imaging/core/kvbitmap.h"
#include "imaging/view/korvaneview.h"
#include "platform/forms/application.h"
#include "platform/forms/form.h"

#include <cmath>
#include <memory>

namespace {

// A smooth colour plasma, the same pixels for the view and for Qt.
void Plasma(uint8_t* row, int32_t width, int32_t y)
{
    for (int32_t x = 0; x < width; ++x) {
        const double v = std::sin(x * 0.013) + std::sin(y * 0.017) + std::sin((x + y) * 0.007);
        row[x * 3 + 0] = uint8_t(128 + 40 * v);
        row[x * 3 + 1] = uint8_t(128 + 40 * std::sin(v * 2));
        row[x * 3 + 2] = uint8_t(x ^ y);
    }
}

struct ViewFixture
{
    std::unique_ptr<TForm> form;
    TKorvaneView* view = nullptr;

    ViewFixture(int32_t pictureWidth, int32_t pictureHeight, int32_t clientWidth, int32_t clientHeight)
    {
        Application->Initialize();
        form = std::make_unique<TForm>(nullptr);
        view = new TKorvaneView(form.get());
        view->SetBorderStyle(bsNone);
        view->SetParent(form.get());
        view->SetScrollBars(ssNone);
        view->SetBounds(0, 0, clientWidth, clientHeight);
        view->SetLegacyBitmap(false);
        TKVBitmap* b = view->GetKVBitmap();
        b->SetLocation(kvMemory);
        b->Allocate(pictureWidth, pictureHeight, kv24RGB);
        for (int32_t y = 0; y < pictureHeight; ++y)
            Plasma(b->GetScanLine(y), pictureWidth, y);
        view->Update();
    }
};

void BM_ViewPaintFitted(benchmark::State& state)
{
    ViewFixture f(4032, 3024, 1280, 960);
    f.view->Fit();
    for (auto _ : state) {
        f.view->UpdateRect(f.view->ClientRect());
        f.view->PaintMarked();
        benchmark::ClobberMemory();
    }
}

void BM_QtDrawImageFitted(benchmark::State& state)
{
    QImage picture(4032, 3024, QImage::Format_BGR888);
    for (int32_t y = 0; y < picture.height(); ++y)
        Plasma(picture.scanLine(y), picture.width(), y);
    QImage target(1280, 960, QImage::Format_BGR888);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(0, 0, 1280, 960), picture);
        painter.end();
        benchmark::ClobberMemory();
    }
}

// One step right and one back, so the view keeps scrolling in place.
void ScrollSteps(benchmark::State& state, int32_t pictureWidth, int32_t pictureHeight)
{
    ViewFixture f(pictureWidth, pictureHeight, 480, 360);
    f.view->SetZoom(double(state.range(0)));
    f.view->SetViewXY(64, 64);
    f.view->PaintMarked();
    int32_t step = 16;
    for (auto _ : state) {
        f.view->SetViewX(f.view->ViewX() + step);
        step = -step;
        benchmark::ClobberMemory();
    }
    state.counters["table_builds"] = f.view->Geometry().TableBuilds();
}

void BM_ViewScrollLarge(benchmark::State& state)
{
    ScrollSteps(state, 4032, 3024);
}

void BM_ViewScrollSmall(benchmark::State& state)
{
    ScrollSteps(state, 640, 480);
}

} // namespace

BENCHMARK(BM_ViewPaintFitted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtDrawImageFitted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewScrollLarge)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewScrollSmall)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    DoneApplication();
    return 0;
}
