// Every frame of a 1080p MPEG-4 AVI (made by ffmpeg) loaded through the I/O component, against
// FFmpeg decoding the same file to BGR24 in this process; the ratio of the two and the growth of
// the resident memory over the run are printed at the end.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t Frames = 48;
std::string Folder;
std::string Video;

int64_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

void BM_LoadFromAVI(benchmark::State& state)
{
    TKorvaneIO io(nullptr);
    int64_t before = 0;
    for (auto _ : state) {
        const int32_t count = io.OpenAVIFile(Video);
        for (int32_t i = 0; i < count; ++i) {
            io.LoadFromAVI(i);
            if (io.Aborting) {
                state.SkipWithError("a frame failed");
                break;
            }
        }
        io.CloseAVIFile();
        if (before == 0) {
            before = ResidentBytes(); // after the first run has allocated what every run needs
        }
    }
    state.counters["resident_growth_MiB"] = double(ResidentBytes() - before) / (1 << 20);
    state.SetItemsProcessed(state.iterations() * Frames);
}
BENCHMARK(BM_LoadFromAVI)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

// What an application using FFmpeg directly writes: demux, decode, convert to BGR24.
void BM_FFmpegToBGR24(benchmark::State& state)
{
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        if (avformat_open_input(&format, Video.c_str(), nullptr, nullptr) < 0) {
            state.SkipWithError("FFmpeg could not open the file");
            break;
        }
        const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
        AVCodecContext* decoder = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar);
        decoder->thread_count = 1;
        avcodec_open2(decoder, codec, nullptr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        SwsContext* scaler = nullptr;
        std::vector<uint8_t> bgr;
        auto convert = [&] {
            while (avcodec_receive_frame(decoder, frame) == 0) {
                scaler = sws_getCachedContext(scaler, frame->width, frame->height,
                                              AVPixelFormat(frame->format), frame->width, frame->height,
                                              AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
                bgr.resize(size_t(frame->width) * frame->height * 3);
                uint8_t* planes[4] = {bgr.data(), nullptr, nullptr, nullptr};
                int strides[4] = {frame->width * 3, 0, 0, 0};
                sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
                benchmark::DoNotOptimize(bgr.data());
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream) {
                avcodec_send_packet(decoder, packet);
                convert();
            }
            av_packet_unref(packet);
        }
        avcodec_send_packet(decoder, nullptr);
        convert();
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    }
    state.SetItemsProcessed(state.iterations() * Frames);
}
BENCHMARK(BM_FFmpegToBGR24)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

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
    char pattern[] = "/tmp/kv-bench-avi-XXXXXX";
    Folder = ::mkdtemp(pattern);
    Video = Folder + "/1080p.avi";
    const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v " +
                             std::to_string(Frames) + " -c:v mpeg4 -q:v 4 -g 12 " + Video;
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg could not make the video\n");
        return 1;
    }
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions, interleaving, aggregates});
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.Times.find("BM_LoadFromAVI");
    const auto peer = reporter.Times.find("BM_FFmpegToBGR24");
    if (ours != reporter.Times.end() && peer != reporter.Times.end() && peer->second > 0) {
        std::printf("1080p MPEG-4 AVI, every frame, LoadFromAVI / FFmpeg to BGR24: %.2f\n",
                    ours->second / peer->second);
    }
    benchmark::Shutdown();
    std::system(("rm -rf '" + Folder + "'").c_str());
    return 0;
}
