// AVI frames: videos made by ffmpeg read frame by frame in any order and compared with ffmpeg's
// own frames, and videos we write checked by ffprobe and read back.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "imaging/io/kvvfw.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/graphics/bitmap.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sys/resource.h>

using namespace kviotest;

namespace {

constexpr int32_t FrameCount = 10;

class AVIFrames : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Folder = new kvtest::TempFolder();
        const std::string source = " -v error -y -f lavfi -i testsrc=size=64x48:rate=";
        const std::string frames = " -frames:v " + std::to_string(FrameCount);
        RunTool("ffmpeg" + source + "25" + frames + " -c:v rawvideo -pix_fmt bgr24 " + File("bgr24.avi"));
        RunTool("ffmpeg" + source + "30000/1001" + frames + " -c:v rawvideo -pix_fmt pal8 " +
                File("pal8.avi"));
        // Frames are converted in bands of 32 rows: the compressed ones take more than two.
        const std::string tall = " -v error -y -f lavfi -i testsrc=size=66x70:rate=";
        RunTool("ffmpeg" + tall + "15" + frames + " -c:v mjpeg " + File("mjpeg.avi"));
        RunTool("ffmpeg" + tall + "25" + frames + " -c:v mpeg4 -g 5 " + File("mpeg4.avi"));
        RunTool("ffmpeg" + source + "25 -frames:v 0 -c:v rawvideo -pix_fmt bgr24 " + File("empty.avi"));
        RunTool("ffmpeg -v error -y -f lavfi -i sine=duration=0.2 -c:a pcm_s16le " + File("audio.avi"));
    }
    static void TearDownTestSuite()
    {
        delete Folder;
        Folder = nullptr;
    }
    static std::string File(const std::string& name) { return Folder->File(name); }

    // ffmpeg's frames (its frame n is the one "select=eq(n\\,n)" picks) as BGR24 rows, top row
    // first, from one run over the whole file.
    static std::vector<std::string> FfmpegFrames(const std::string& file, size_t frameBytes)
    {
        const std::string all = RunTool("ffmpeg -v error -i " + file + " -f rawvideo -pix_fmt bgr24 -");
        std::vector<std::string> frames;
        for (size_t at = 0; at + frameBytes <= all.size(); at += frameBytes) {
            frames.push_back(all.substr(at, frameBytes));
        }
        return frames;
    }

    // Where two frames first differ, as "row r, byte b", or "" when they are equal.
    static std::string FirstDifference(const std::string& ours, const std::string& theirs, int32_t rowBytes)
    {
        if (ours.size() != theirs.size()) {
            return "sizes " + std::to_string(ours.size()) + " and " + std::to_string(theirs.size());
        }
        for (size_t i = 0; i < ours.size(); ++i) {
            if (ours[i] != theirs[i]) {
                return "row " + std::to_string(i / size_t(rowBytes)) + ", byte " +
                       std::to_string(i % size_t(rowBytes));
            }
        }
        return "";
    }

    static std::string Rows(TKVBitmap& bitmap)
    {
        std::string rows;
        for (int32_t y = 0; y < bitmap.GetHeight(); ++y) {
            for (int32_t x = 0; x < bitmap.GetWidth(); ++x) {
                const TRGB c = bitmap.GetPixels(x, y);
                rows += char(c.b);
                rows += char(c.g);
                rows += char(c.r);
            }
        }
        return rows;
    }

    // What ffprobe says of the video stream, one "key=value" a line.
    static std::string Probe(const std::string& file)
    {
        return RunTool("ffprobe -v error -count_frames -select_streams v -show_entries "
                       "stream=codec_name,codec_tag_string,pix_fmt,width,height,r_frame_rate,nb_read_frames "
                       "-of default=noprint_wrappers=1 " +
                       file);
    }
    // Whether every line of expected is a line of the probe.
    static bool ProbeSays(const std::string& probe, const std::string& expected)
    {
        size_t start = 0;
        while (start < expected.size()) {
            const size_t end = expected.find('\n', start);
            const std::string line = expected.substr(start, end - start) + "\n";
            if (probe.find(line) == std::string::npos) {
                return false;
            }
            start = end == std::string::npos ? expected.size() : end + 1;
        }
        return true;
    }

    static kvtest::TempFolder* Folder;
};

kvtest::TempFolder* AVIFrames::Folder = nullptr;

// The largest difference of one channel between two pictures of the same size.
int32_t LargestDifference(TKVBitmap& a, TKVBitmap& b)
{
    int32_t largest = 0;
    for (int32_t y = 0; y < a.GetHeight(); ++y) {
        for (int32_t x = 0; x < a.GetWidth(); ++x) {
            const TRGB p = a.GetPixels(x, y), q = b.GetPixels(x, y);
            largest = std::max({largest, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    }
    return largest;
}

// A smooth picture, which Motion JPEG keeps closely.
void FillSmooth(TKVBitmap& bitmap, int32_t width, int32_t height, int32_t seed)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            bitmap.SetPixels_kv24RGB(
                x, y, TRGB{uint8_t(x * 4 + seed * 40), uint8_t(y * 5), uint8_t(100 + seed * 30)});
        }
    }
}

// Pictures of a few flat colours, different for each seed, as 8-bit frames keep them exactly.
void FillFlat(TKVBitmap& bitmap, int32_t width, int32_t height, int32_t seed)
{
    bitmap.Allocate(width, height, kv24RGB);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const int32_t band = (x / 10 + y / 10) % 4;
            bitmap.SetPixels_kv24RGB(x, y,
                                     TRGB{uint8_t(seed * 80 + band * 20), uint8_t(200 - seed * 60),
                                          uint8_t(band * 60 + seed * 7)});
        }
    }
}

} // namespace

TEST_F(AVIFrames, FramesEqualFfmpegsInRandomOrderWithTheirDelays)
{
    const struct
    {
        const char* name;
        int32_t delay;
        int32_t samplesPerPixel;
        int32_t width;
        int32_t height;
    } cases[] = {{"bgr24.avi", 40, 3, 64, 48},
                 {"pal8.avi", 33, 1, 64, 48},
                 {"mjpeg.avi", 66, 3, 66, 70},
                 {"mpeg4.avi", 40, 3, 66, 70}};
    std::mt19937 random(2024);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKorvaneIO io(nullptr);
        ASSERT_EQ(io.OpenAVIFile(File(c.name)), FrameCount);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params().AVI_FrameCount, FrameCount);
        std::vector<int32_t> order(FrameCount);
        for (int32_t i = 0; i < FrameCount; ++i) {
            order[size_t(i)] = i;
        }
        std::shuffle(order.begin(), order.end(), random);
        order.push_back(order.back() + 1 < FrameCount ? order.back() + 1 : 0); // the next one decodes on
        const int32_t rowBytes = c.width * 3;
        const std::vector<std::string> expected = FfmpegFrames(File(c.name), size_t(rowBytes * c.height));
        ASSERT_EQ(expected.size(), size_t(FrameCount));
        for (int32_t index : order) {
            io.LoadFromAVI(index);
            ASSERT_FALSE(io.Aborting) << index;
            EXPECT_EQ(FirstDifference(Rows(*io.KVBitmap()), expected[size_t(index)], rowBytes), "")
                << "frame " << index;
        }
        EXPECT_EQ(io.Params().AVI_FrameDelayTime, c.delay);
        EXPECT_EQ(io.Params().SamplesPerPixel, c.samplesPerPixel);
        EXPECT_EQ(io.KVBitmap()->GetPixelFormat(), c.samplesPerPixel == 1 ? kv8p : kv24RGB);
        EXPECT_EQ(io.Params().Width, c.width);
        EXPECT_EQ(io.Params().Height, c.height);
        EXPECT_EQ(io.Params().FileName, File(c.name));
        EXPECT_EQ(io.Params().FileType, 0);
    }
}

TEST_F(AVIFrames, WhatCannotBeLoadedSetsAbortingAndLeavesThePicture)
{
    CopyFile(GoImage("video-001.jpeg"), File("jpeg.avi"));
    for (const char* name : {"audio.avi", "jpeg.avi", "missing.avi"}) {
        TKorvaneIO io(nullptr);
        EXPECT_EQ(io.OpenAVIFile(File(name)), 0) << name;
        EXPECT_TRUE(io.Aborting) << name;
    }
    TKorvaneIO io(nullptr);
    FillPattern(*io.KVBitmap(), 5, 4);
    TEventLog events;
    events.Attach(io);
    io.LoadFromAVI(0); // nothing open
    EXPECT_TRUE(io.Aborting);
    ASSERT_EQ(io.OpenAVIFile(File("bgr24.avi")), FrameCount);
    for (int32_t index : {-1, FrameCount, 1 << 30}) {
        io.LoadFromAVI(index);
        EXPECT_TRUE(io.Aborting) << index;
    }
    EXPECT_EQ(events.Finishes(), 4);
    EXPECT_EQ(io.KVBitmap()->GetWidth(), 5);
    EXPECT_EQ(io.OpenAVIFile(File("empty.avi")), 0);
    EXPECT_FALSE(io.Aborting);

    // LoadFromFile reads frame 0 and closes the file again; the file type is AVI's, also for the
    // finish event.
    for (const char* name : {"empty.avi", "audio.avi"}) {
        io.LoadFromFile(File(name));
        EXPECT_TRUE(io.Aborting) << name;
    }
    std::vector<int32_t> typesAtFinish;
    io.OnFinishWork = [&](TObject*) { typesAtFinish.push_back(io.Params().FileType); };
    io.LoadFromFile(File("mpeg4.avi"));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(FirstDifference(Rows(*io.KVBitmap()), FfmpegFrames(File("mpeg4.avi"), 66 * 70 * 3)[0], 66 * 3),
              "");
    EXPECT_EQ(io.Params().FileType, 15);
    EXPECT_EQ(io.Params().FileName, File("mpeg4.avi"));
    EXPECT_EQ(typesAtFinish, std::vector<int32_t>{15});
    io.LoadFromAVI(1);
    EXPECT_TRUE(io.Aborting);

    // On a worker, the frame arrives once the request has run.
    TKVBitmap target;
    TKorvaneIO async(nullptr);
    async.SetAttachedKVBitmap(&target);
    async.AsyncMode = true;
    ASSERT_EQ(async.OpenAVIFile(File("mjpeg.avi")), FrameCount);
    async.LoadFromAVI(3);
    async.WaitThreads(false);
    EXPECT_FALSE(async.Aborting);
    EXPECT_EQ(FirstDifference(Rows(target), FfmpegFrames(File("mjpeg.avi"), 66 * 70 * 3)[3], 66 * 3), "");
}

TEST_F(AVIFrames, WrittenVideosPassFfprobeAndReadBack)
{
    TScriptedDialogService dialogs;
    dialogs.AnswerVideoCompressor(1, 90);
    const struct
    {
        const char* name;
        const char* codec;
        int32_t bits;
        int32_t rate;
        int32_t scale;
        const char* probe;
        int32_t tolerance;
    } cases[] = {
        {"dib24.avi", "DIB ", 24, 25, 1,
         "codec_name=rawvideo\npix_fmt=bgr24\nwidth=40\nheight=30\nr_frame_rate=25/1", 0},
        {"dib8.avi", "dib", 8, 1000, 1500,
         "codec_name=rawvideo\npix_fmt=pal8\nwidth=40\nheight=30\nr_frame_rate=2/3", 0},
        {"mjpg.avi", "mjpg", 24, 15, 1,
         "codec_name=mjpeg\ncodec_tag_string=MJPG\nwidth=40\npix_fmt=yuvj420p\nr_frame_rate=15/1", 12},
        {"chosen.avi", "", 24, 30000, 1001, "codec_name=mjpeg\nwidth=40\nheight=30\nr_frame_rate=30000/1001",
         12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TKorvaneIO io(nullptr);
        io.Params().BitsPerSample = 8;
        io.Params().SamplesPerPixel = c.bits == 8 ? 1 : 3;
        io.CreateAVIFile(File(c.name), c.rate, c.codec, c.scale);
        ASSERT_FALSE(io.Aborting);
        std::vector<std::unique_ptr<TKVBitmap>> written;
        for (int32_t seed = 0; seed < 3; ++seed) {
            written.push_back(std::make_unique<TKVBitmap>());
            if (c.bits == 8) {
                FillFlat(*written.back(), 40, 30, seed);
            } else if (c.tolerance > 0) {
                FillSmooth(*written.back(), 40, 30, seed);
            } else {
                FillPattern(*written.back(), 40, 30, seed);
            }
            io.KVBitmap()->Assign(written.back().get());
            io.SaveToAVI();
            EXPECT_FALSE(io.Aborting);
        }
        FillPattern(*io.KVBitmap(), 41, 30);
        io.SaveToAVI();
        EXPECT_TRUE(io.Aborting); // another size is refused
        EXPECT_FALSE(FileExists(File(c.name)));
        io.CloseAVIFile();
        const std::string probe = Probe(File(c.name));
        EXPECT_TRUE(ProbeSays(probe, std::string(c.probe) + "\nnb_read_frames=3")) << probe;

        TKorvaneIO reader(nullptr);
        ASSERT_EQ(reader.OpenAVIFile(File(c.name)), 3);
        for (int32_t i : {2, 0, 1}) {
            reader.LoadFromAVI(i);
            ASSERT_FALSE(reader.Aborting);
            EXPECT_LE(LargestDifference(*reader.KVBitmap(), *written[size_t(i)]), c.tolerance) << i;
        }
        EXPECT_EQ(reader.Params().AVI_FrameDelayTime, 1000 * c.scale / c.rate);
    }
    ASSERT_EQ(dialogs.CallsOf(dkVideoCompressor).size(), 1u);
    EXPECT_EQ(dialogs.CallsOf(dkVideoCompressor)[0].Text, "Full Frames (Uncompressed)|Motion JPEG");
}

TEST_F(AVIFrames, CreationRefusesWhatItCannotWriteAndLeavesNoFile)
{
    EXPECT_EQ(Kvvfw::mmioFOURCC("DIB "), Kvvfw::FourCCUncompressed);
    EXPECT_EQ(Kvvfw::mmioFOURCC("MJPGX"), Kvvfw::FourCCMotionJPEG);
    EXPECT_EQ(Kvvfw::mmioFOURCC("DI"), 0x20204944u);
    TScriptedDialogService dialogs;
    dialogs.CancelVideoCompressor();
    const struct
    {
        const char* codec;
        int32_t rate;
    } cases[] = {{"XVID", 25}, {"MJ", 25}, {"DIB ", 0}, {"", 25}};
    for (const auto& c : cases) {
        TKorvaneIO io(nullptr);
        io.CreateAVIFile(File("refused.avi"), c.rate, c.codec);
        EXPECT_TRUE(io.Aborting) << c.codec << " " << c.rate;
        FillPattern(*io.KVBitmap(), 8, 8);
        io.SaveToAVI();
        EXPECT_TRUE(io.Aborting);
        io.CloseAVIFile();
        EXPECT_FALSE(FileExists(File("refused.avi")));
    }
    TKorvaneIO io(nullptr);
    EXPECT_THROW(io.CreateAVIFile(File("no/such/folder/a.avi"), 25, "DIB "), EInvalidGraphic);

    // Past the size limit frames are refused and the file keeps those before.
    {
        Kvvfw::TAVIWriter writer(File("limited.avi"), 25, 1, Kvvfw::FourCCUncompressed, 75, 16000);
        TKVBitmap frame;
        FillPattern(frame, 40, 30);
        std::vector<Kvvfw::TAVIWriter::TFrameResult> results;
        for (int32_t i = 0; i < 6; ++i) {
            results.push_back(writer.WriteFrame(frame));
        }
        EXPECT_EQ(results, (std::vector<Kvvfw::TAVIWriter::TFrameResult>{
                               Kvvfw::TAVIWriter::frWritten, Kvvfw::TAVIWriter::frWritten,
                               Kvvfw::TAVIWriter::frWritten, Kvvfw::TAVIWriter::frWritten,
                               Kvvfw::TAVIWriter::frRefused, Kvvfw::TAVIWriter::frRefused}));
        EXPECT_TRUE(writer.Close());
    }
    EXPECT_NE(Probe(File("limited.avi")).find("nb_read_frames=4"), std::string::npos);
    EXPECT_LE(std::filesystem::file_size(File("limited.avi")), 16000u);

    // A write that fails (a file size limit stands for a full disk) leaves no file at all.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 50000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    TKorvaneIO failing(nullptr);
    failing.CreateAVIFile(File("full.avi"), 25, "DIB ");
    FillPattern(*failing.KVBitmap(), 200, 100);
    failing.SaveToAVI();
    const bool aborted = failing.Aborting;
    failing.CloseAVIFile();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(RunTool("ls -A " + Folder->Path() + " | grep full"), "");
}
