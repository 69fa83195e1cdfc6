// The vector layer: 10,000 mixed objects drawn into a 1920 x 1080 front image at zoom 100 and
// 250 (against QPainter drawing the same primitives aliased into a QImage), the layer's block
// saved and loaded (against zlib deflating and inflating the same record bytes), and a drawing
// of 100,000 entities imported (against ezdxf reading it, timed in the same run).
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "imaging/core/kvbitmap.h"
#include "imaging/view/kvvect.h"
#include "imaging/view/vect_detail.h"
#include "platform/core/streams.h"
#include "platform/forms/application.h"
#include "platform/forms/form.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr int32_t kObjects = 10000;
constexpr int32_t kWidth = 1920, kHeight = 1080;

struct Layer
{
    std::unique_ptr<TForm> form;
    TKorvaneVect* vect = nullptr;

    Layer()
    {
        Application->Initialize();
        form = std::make_unique<TForm>(nullptr);
        vect = new TKorvaneVect(form.get());
        vect->SetBorderStyle(bsNone);
        vect->SetParent(form.get());
        vect->SetScrollBars(ssNone);
        vect->SetBounds(0, 0, kWidth, kHeight);
        vect->GetKVBitmap()->Allocate(kWidth, kHeight, kv24RGB);
        vect->GetKVBitmap()->Fill(0xFFFFFF);
        vect->Update();
        uint32_t seed = 12345;
        auto next = [&](int32_t n) {
            seed = seed * 1103515245u + 12345u;
            return int32_t((seed >> 8) % uint32_t(n));
        };
        for (int32_t i = 0; i < kObjects; ++i) {
            TKVVObject o = vect->Obj(kvhTemplate);
            o.BitmapIndex = -1;
            o.Kind = (i % 4 == 0) ? kvkLINE : (i % 4 == 1) ? kvkBOX : (i % 4 == 2) ? kvkELLIPSE : kvkPOLYLINE;
            o.x1 = next(kWidth - 60);
            o.y1 = next(kHeight - 60);
            o.x2 = o.x1 + 5 + next(50);
            o.y2 = o.y1 + 5 + next(50);
            o.PenColor = TColor(next(0xFFFFFF));
            o.PenWidth = 1 + next(3);
            const int32_t h = vect->AddVObject(o);
            if (o.Kind == kvkPOLYLINE) {
                vect->SetObjPolylinePoints(h, {{o.x1, o.y1}, {o.x2, o.y1}, {o.x1, o.y2}, {o.x2, o.y2}});
            }
        }
    }
};

// Made on first use and freed before the application ends.
Layer* gLayer = nullptr;

Layer& TheLayer()
{
    if (!gLayer) {
        gLayer = new Layer;
    }
    return *gLayer;
}

void BM_VectDraw(benchmark::State& state)
{
    Layer& l = TheLayer();
    l.vect->SetZoom(double(state.range(0)));
    l.vect->SetViewXY(0, 0);
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(kWidth, kHeight);
    for (auto _ : state) {
        l.vect->DrawObjectAll(false, &target, 1.0);
        benchmark::ClobberMemory();
    }
}

void BM_QPainterDraw(benchmark::State& state)
{
    Layer& l = TheLayer();
    const double f = double(state.range(0)) / 100.0;
    QImage target(kWidth, kHeight, QImage::Format_RGB888);
    target.fill(Qt::white);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (int32_t i = 0; i < l.vect->ObjectsCount(); ++i) {
            const TKVVObject& o = l.vect->Obj(l.vect->GetObjFromIndex(i));
            const int32_t x1 = int32_t(o.x1 * f), y1 = int32_t(o.y1 * f), x2 = int32_t(o.x2 * f),
                          y2 = int32_t(o.y2 * f);
            if (x1 > kWidth || y1 > kHeight) {
                continue;
            }
            painter.setPen(
                QPen(QColor(o.PenColor & 0xFF, (o.PenColor >> 8) & 0xFF, (o.PenColor >> 16) & 0xFF),
                     std::max(1.0, o.PenWidth * f)));
            painter.setBrush(Qt::NoBrush);
            switch (o.Kind) {
            case kvkLINE:
                painter.drawLine(x1, y1, x2, y2);
                break;
            case kvkBOX:
                painter.drawRect(x1, y1, x2 - x1, y2 - y1);
                break;
            case kvkELLIPSE:
                painter.drawEllipse(x1, y1, x2 - x1, y2 - y1);
                break;
            default: {
                const QPoint points[4] = {{x1, y1}, {x2, y1}, {x1, y2}, {x2, y2}};
                painter.drawPolyline(points, 4);
            }
            }
        }
        painter.end();
        benchmark::ClobberMemory();
    }
}

void BM_VectSave(benchmark::State& state)
{
    Layer& l = TheLayer();
    for (auto _ : state) {
        TMemoryStream s;
        l.vect->SaveToStreamKVV(s);
        benchmark::DoNotOptimize(s.Memory());
    }
}

void BM_VectLoad(benchmark::State& state)
{
    Layer& l = TheLayer();
    TMemoryStream s;
    l.vect->SaveToStreamKVV(s);
    static std::unique_ptr<TForm> form;
    form = std::make_unique<TForm>(nullptr);
    auto* other = new TKorvaneVect(form.get());
    for (auto _ : state) {
        s.SetPosition(0);
        other->LoadFromStreamKVV(s);
    }
    form.reset();
}

// The record bytes of the layer, as the block's compressed section holds them.
std::vector<uint8_t> RecordBytes()
{
    Layer& l = TheLayer();
    Kvvect::detail::TByteWriter w;
    w.Int32(l.vect->ObjectsCount());
    for (int32_t i = 0; i < l.vect->ObjectsCount(); ++i) {
        const int32_t h = l.vect->GetObjFromIndex(i);
        Kvvect::detail::WriteRecordBytes(w, l.vect->Obj(h), h);
    }
    return w.Data;
}

void BM_ZlibDeflate(benchmark::State& state)
{
    const std::vector<uint8_t> raw = RecordBytes();
    std::vector<uint8_t> out(compressBound(uLong(raw.size())));
    for (auto _ : state) {
        uLongf n = uLongf(out.size());
        compress2(out.data(), &n, raw.data(), uLong(raw.size()), Z_DEFAULT_COMPRESSION);
        benchmark::DoNotOptimize(n);
    }
}

void BM_ZlibInflate(benchmark::State& state)
{
    const std::vector<uint8_t> raw = RecordBytes();
    std::vector<uint8_t> packed(compressBound(uLong(raw.size())));
    uLongf n = uLongf(packed.size());
    compress2(packed.data(), &n, raw.data(), uLong(raw.size()), Z_DEFAULT_COMPRESSION);
    std::vector<uint8_t> out(raw.size());
    for (auto _ : state) {
        uLongf m = uLongf(out.size());
        uncompress(out.data(), &m, packed.data(), n);
        benchmark::DoNotOptimize(m);
    }
}

bool gDrawingMade = false;

const std::string& DrawingFile()
{
    static const std::string name = [] {
        gDrawingMade = true;
        const std::string file = "/tmp/kv_bench_drawing_" + std::to_string(getpid()) + ".dxf";
        const std::string script =
            "import ezdxf, math, sys\n"
            "doc = ezdxf.new('R2000'); msp = doc.modelspace()\n"
            "for i in range(100000):\n"
            "    x, y = (i * 37) % 5000, (i * 91) % 3000\n"
            "    k = i % 3\n"
            "    if k == 0: msp.add_line((x, y), (x + 20, y + 10))\n"
            "    elif k == 1: msp.add_circle((x, y), 5 + i % 7)\n"
            "    else: msp.add_arc((x, y), 8, 10, 200)\n"
            "doc.header['$EXTMIN'] = (0, 0, 0); doc.header['$EXTMAX'] = (5030, 3020, 0)\n"
            "doc.saveas(sys.argv[1])\n";
        // The script goes through a file: the shell would expand its "$" names.
        const std::string scriptFile = file + ".py";
        if (FILE* out = std::fopen(scriptFile.c_str(), "w")) {
            std::fputs(script.c_str(), out);
            std::fclose(out);
        }
        const std::string command = "/usr/bin/python3 " + scriptFile + " " + file;
        const int status = std::system(command.c_str());
        std::remove(scriptFile.c_str());
        if (status != 0) {
            std::fprintf(stderr, "could not make the drawing with ezdxf\n");
        }
        return file;
    }();
    return name;
}

void BM_ImportDXF(benchmark::State& state)
{
    Layer& l = TheLayer();
    const std::string& file = DrawingFile();
    std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
    auto* v = new TKorvaneVect(form.get());
    v->SetBounds(0, 0, 64, 48);
    v->GetKVBitmap()->Allocate(1000, 800, kv24RGB);
    (void)l;
    for (auto _ : state) {
        v->RemoveAllObjects();
        v->ImportDXF(file);
    }
    state.counters["objects"] = v->ObjectsCount();
}

void BM_EzdxfReadfile(benchmark::State& state)
{
    const std::string& file = DrawingFile();
    const std::string command = "/usr/bin/python3 -c \"import ezdxf, time, sys; t = time.perf_counter(); "
                                "ezdxf.readfile(sys.argv[1]); print(time.perf_counter() - t)\" " +
                                file;
    for (auto _ : state) {
        FILE* pipe = ::popen(command.c_str(), "r");
        double seconds = 0;
        if (!pipe || std::fscanf(pipe, "%lf", &seconds) != 1) {
            state.SkipWithError("ezdxf did not run");
        }
        if (pipe) {
            ::pclose(pipe);
        }
        state.SetIterationTime(seconds);
    }
}

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                Times[run.benchmark_name()] =
                    run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMillisecond ? 1e3 : 1.0);
        ConsoleReporter::ReportRuns(runs);
    }
    double Ratio(const std::string& ours, const std::string& peer) const
    {
        auto a = Times.find(ours), b = Times.find(peer);
        return a != Times.end() && b != Times.end() && b->second > 0 ? a->second / b->second : -1;
    }
    std::map<std::string, double> Times;
};

} // namespace

BENCHMARK(BM_VectDraw)->Arg(100)->Arg(250)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QPainterDraw)->Arg(100)->Arg(250)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportDXF)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_EzdxfReadfile)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("drawing at 100 %%, ours / QPainter: %.2f\n",
                reporter.Ratio("BM_VectDraw/100", "BM_QPainterDraw/100"));
    std::printf("drawing at 250 %%, ours / QPainter: %.2f\n",
                reporter.Ratio("BM_VectDraw/250", "BM_QPainterDraw/250"));
    std::printf("block save, ours / zlib deflate: %.2f\n", reporter.Ratio("BM_VectSave", "BM_ZlibDeflate"));
    std::printf("block load, ours / zlib inflate: %.2f\n", reporter.Ratio("BM_VectLoad", "BM_ZlibInflate"));
    std::printf("drawing import, ours / ezdxf.readfile: %.3f\n",
                reporter.Ratio("BM_ImportDXF/iterations:3", "BM_EzdxfReadfile/iterations:1/manual_time"));
    if (gDrawingMade) {
        std::remove(DrawingFile().c_str());
    }
    std::fflush(stdout);
    delete gLayer;
    gLayer = nullptr;
    benchmark::Shutdown();
    DoneApplication();
    return 0;
}
