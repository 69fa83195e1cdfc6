// The graphics layer's pixel loops (block transfers, stretching, format conversion, fills, text)
// against Qt's raster engine doing the same work on QImage.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstring>
#include <memory>

#include "platform/graphics/graphics.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

std::unique_ptr<TBitmap> Photo(TPixelFormat format)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(kWidth, kHeight);
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = bitmap->ScanLine(y);
        for (int32_t i = 0; i < kWidth * 3; ++i) {
            row[i] = uint8_t((i * 7 + y * 13) ^ (i >> 3));
        }
    }
    bitmap->SetPixelFormat(format);
    return bitmap;
}

QImage PhotoImage()
{
    QImage image(kWidth, kHeight, QImage::Format_BGR888);
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = image.scanLine(y);
        for (int32_t i = 0; i < kWidth * 3; ++i) {
            row[i] = uint8_t((i * 7 + y * 13) ^ (i >> 3));
        }
    }
    return image;
}

void SetPixelsProcessed(benchmark::State& state, int64_t perIteration)
{
    state.SetItemsProcessed(state.iterations() * perIteration);
}

void BM_BitBltCopy24(benchmark::State& state)
{
    auto source = Photo(pf24bit);
    auto dest = Photo(pf24bit);
    for (auto _ : state) {
        BitBlt(dest->Canvas(), 0, 0, kWidth, kHeight, source->Canvas(), 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_BitBltCopy24)->Unit(benchmark::kMillisecond);

void BM_QtDrawImage24(benchmark::State& state)
{
    const QImage source = PhotoImage();
    QImage dest = PhotoImage();
    for (auto _ : state) {
        QPainter painter(&dest);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, source);
        painter.end();
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_QtDrawImage24)->Unit(benchmark::kMillisecond);

void BM_BitBltXor24(benchmark::State& state)
{
    auto source = Photo(pf24bit);
    auto dest = Photo(pf24bit);
    for (auto _ : state) {
        BitBlt(dest->Canvas(), 0, 0, kWidth, kHeight, source->Canvas(), 0, 0, SRCINVERT);
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_BitBltXor24)->Unit(benchmark::kMillisecond);

void BM_QtXor24(benchmark::State& state)
{
    const QImage source = PhotoImage().convertToFormat(QImage::Format_RGB32);
    QImage dest = PhotoImage().convertToFormat(QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&dest);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.drawImage(0, 0, source);
        painter.end();
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_QtXor24)->Unit(benchmark::kMillisecond);

void BM_BitBltPalette8To24(benchmark::State& state)
{
    auto source = Photo(pf8bit);
    auto dest = Photo(pf24bit);
    for (auto _ : state) {
        BitBlt(dest->Canvas(), 0, 0, kWidth, kHeight, source->Canvas(), 0, 0, SRCCOPY);
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_BitBltPalette8To24)->Unit(benchmark::kMillisecond);

void BM_StretchBltHalf24(benchmark::State& state)
{
    auto source = Photo(pf24bit);
    auto dest = std::make_unique<TBitmap>();
    dest->SetPixelFormat(pf24bit);
    dest->SetSize(kWidth / 2, kHeight / 2);
    SetStretchBltMode(dest->Canvas(), int32_t(state.range(0)));
    for (auto _ : state) {
        StretchBlt(dest->Canvas(), 0, 0, kWidth / 2, kHeight / 2, source->Canvas(), 0, 0, kWidth, kHeight,
                   SRCCOPY);
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth / 2) * (kHeight / 2));
}
BENCHMARK(BM_StretchBltHalf24)->Arg(COLORONCOLOR)->Arg(HALFTONE)->Unit(benchmark::kMillisecond);

void BM_QtScaledHalf24(benchmark::State& state)
{
    const QImage source = PhotoImage();
    const Qt::TransformationMode mode =
        state.range(0) == HALFTONE ? Qt::SmoothTransformation : Qt::FastTransformation;
    for (auto _ : state) {
        QImage scaled = source.scaled(kWidth / 2, kHeight / 2, Qt::IgnoreAspectRatio, mode);
        benchmark::DoNotOptimize(scaled.constBits());
    }
    SetPixelsProcessed(state, int64_t(kWidth / 2) * (kHeight / 2));
}
BENCHMARK(BM_QtScaledHalf24)->Arg(COLORONCOLOR)->Arg(HALFTONE)->Unit(benchmark::kMillisecond);

void BM_ConvertTo8(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto bitmap = Photo(pf24bit);
        state.ResumeTiming();
        bitmap->SetPixelFormat(pf8bit);
        benchmark::DoNotOptimize(bitmap->ScanLine(0));
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_ConvertTo8)->Unit(benchmark::kMillisecond);

void BM_QtConvertTo8(benchmark::State& state)
{
    const QImage source = PhotoImage();
    QList<QRgb> table;
    for (const PALETTEENTRY& e : TBitmap::DefaultPalette(pf8bit)) {
        table.push_back(qRgb(e.peRed, e.peGreen, e.peBlue));
    }
    for (auto _ : state) {
        QImage converted = source.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
        benchmark::DoNotOptimize(converted.constBits());
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_QtConvertTo8)->Unit(benchmark::kMillisecond);

void BM_FillRect24(benchmark::State& state)
{
    auto bitmap = Photo(pf24bit);
    bitmap->Canvas()->Brush()->SetColor(clBtnFace);
    for (auto _ : state) {
        bitmap->Canvas()->FillRect(Rect(0, 0, kWidth, kHeight));
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_FillRect24)->Unit(benchmark::kMillisecond);

void BM_QtFillRect24(benchmark::State& state)
{
    QImage image = PhotoImage();
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(0, 0, kWidth, kHeight, QColor(212, 208, 200));
        painter.end();
        benchmark::ClobberMemory();
    }
    SetPixelsProcessed(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_QtFillRect24)->Unit(benchmark::kMillisecond);

void BM_TextOut(benchmark::State& state)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(400, 40);
    bitmap->Canvas()->Font()->SetName("Arial");
    bitmap->Canvas()->Font()->SetSize(10);
    for (auto _ : state) {
        bitmap->Canvas()->TextOut(2, 2, "IMG_0042.JPG  1024 x 768");
    }
}
BENCHMARK(BM_TextOut)->Unit(benchmark::kMicrosecond);

void BM_QtDrawText(benchmark::State& state)
{
    QImage image(400, 40, QImage::Format_BGR888);
    QFont font("Liberation Sans");
    font.setPixelSize(13);
    font.setStyleStrategy(QFont::NoAntialias);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setFont(font);
        painter.fillRect(2, 2, 160, 16, Qt::white);
        painter.drawText(2, 14, "IMG_0042.JPG  1024 x 768");
        painter.end();
    }
}
BENCHMARK(BM_QtDrawText)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
