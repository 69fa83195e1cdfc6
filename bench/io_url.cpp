// Loading a 12-megapixel JPEG by URL from a loopback server (python3 -m http.server) against
// loading the same bytes from a memory stream; the ratio of the two is printed at the end.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/streams.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Folder;
int Port = 0;
pid_t ServerPid = -1;

// The picture: a photo-like gradient with noise, written once by our JPEG writer.
void MakePicture()
{
    char pattern[] = "/tmp/kv-bench-url-XXXXXX";
    Folder = ::mkdtemp(pattern);
    TKorvaneIO io(nullptr);
    TKVBitmap& bitmap = *io.KVBitmap();
    bitmap.Allocate(4000, 3000, kv24RGB);
    uint32_t seed = 7;
    for (int32_t y = 0; y < 3000; ++y) {
        for (int32_t x = 0; x < 4000; ++x) {
            seed = seed * 1103515245u + 12345u;
            const uint8_t noise = uint8_t((seed >> 16) & 15);
            bitmap.SetPixels_kv24RGB(
                x, y, TRGB{uint8_t(x / 16 + noise), uint8_t(y / 12 + noise), uint8_t(noise * 8)});
        }
    }
    io.Params().JPEG_Quality = 90;
    io.SaveToFileJpeg(Folder + "/big.jpg");
}

void StartServer()
{
    int ends[2];
    if (::pipe(ends) != 0) {
        return;
    }
    ServerPid = ::fork();
    if (ServerPid == 0) {
        ::dup2(ends[1], 1);
        ::close(ends[0]);
        ::close(ends[1]);
        ::execlp("python3", "python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory",
                 Folder.c_str(), "0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ends[1]);
    FILE* out = ::fdopen(ends[0], "r");
    char line[256];
    // "Serving HTTP on 127.0.0.1 port 12345 (http://127.0.0.1:12345/) ..."
    if (std::fgets(line, sizeof line, out) != nullptr) {
        std::sscanf(line, "Serving HTTP on %*s port %d", &Port);
    }
    std::fclose(out);
}

void BM_LoadFromURL(benchmark::State& state)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(Port) + "/big.jpg";
    TKorvaneIO io(nullptr);
    for (auto _ : state) {
        io.LoadFromURL(url);
        if (io.Aborting) {
            state.SkipWithError("the load failed");
        }
    }
}
BENCHMARK(BM_LoadFromURL)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

void BM_LoadFromStream(benchmark::State& state)
{
    TMemoryStream bytes;
    bytes.LoadFromFile(Folder + "/big.jpg");
    TKorvaneIO io(nullptr);
    for (auto _ : state) {
        bytes.SetPosition(0);
        io.LoadFromStream(bytes);
        if (io.Aborting) {
            state.SkipWithError("the load failed");
        }
    }
}
BENCHMARK(BM_LoadFromStream)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        // The median of the interleaved repetitions, so that a busy machine weighs on both sides.
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
                Times[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> Times;
};

} // namespace

int main(int argc, char** argv)
{
    MakePicture();
    StartServer();
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions, interleaving, aggregates});
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    if (Port > 0) {
        benchmark::RunSpecifiedBenchmarks(&reporter);
    } else {
        std::fprintf(stderr, "the loopback server did not start\n");
    }
    const auto url = reporter.Times.find("BM_LoadFromURL");
    const auto stream = reporter.Times.find("BM_LoadFromStream");
    if (url != reporter.Times.end() && stream != reporter.Times.end() && stream->second > 0) {
        std::printf("12 MP JPEG, LoadFromURL / LoadFromStream: %.2f\n", url->second / stream->second);
    }
    benchmark::Shutdown();
    if (ServerPid > 0) {
        ::kill(ServerPid, SIGTERM);
        ::waitpid(ServerPid, nullptr, 0);
    }
    std::system(("rm -rf '" + Folder + "'").c_str());
    return 0;
}
