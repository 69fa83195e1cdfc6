// Helpers of the scanner tests.
#include "tests/io/scan_test_support.h"

#include "imaging/core/kvbitmap.h"
#include "platform/forms/application.h"
#include "tests/io/io_test_support.h"
#include "tests/support/tools.h"

#include <chrono>
#include <csignal>
#include <dlfcn.h>
#include <sane/sane.h>
#include <sstream>
#include <thread>

namespace kviotest {

namespace {

struct TScannerConfig
{
    TScannerConfig()
    {
        // The library's own configuration lists no backend as active; the test device scans a
        // 1 x 1 picture unless told a resolution.
        Folder.Write("dll.conf", "test\n");
        Folder.Write("test.conf", "number_of_devices 2\nresolution 50\ntest-picture Grid\n");
        Env = std::make_unique<kvtest::ScopedEnv>("SANE_CONFIG_DIR", Folder.Path());
        // The test device leaks a buffer when a scan is cancelled while its reader thread is
        // writing. Kept mapped after the library ends, its code is still there to be named when
        // the leak checker reports, so that the report can be told apart from ours.
        Dl_info library{};
        if (dladdr(reinterpret_cast<void*>(&sane_init), &library) != 0 && library.dli_fname != nullptr) {
            std::string folder = library.dli_fname;
            folder.erase(folder.rfind('/') + 1);
            dlopen((folder + "sane/libsane-test.so.1").c_str(), RTLD_LAZY | RTLD_NODELETE);
        }
    }
    kvtest::TempFolder Folder;
    std::unique_ptr<kvtest::ScopedEnv> Env;
};

TScannerConfig& Config()
{
    static TScannerConfig config;
    return config;
}

} // namespace

TTestScanners::TTestScanners()
{
    Config();
}

const std::string& TTestScanners::ConfigDir() const
{
    return Config().Folder.Path();
}

bool PumpUntil(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!done() && std::chrono::steady_clock::now() < end) {
        Application->ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

TPnm ScanImage(const std::string& options)
{
    TPnm pnm;
    // RunTool sees timeout as the program the command runs, not scanimage.
    const ::testing::AssertionResult installed = kvtest::Installed("scanimage");
    if (!installed) {
        ADD_FAILURE() << installed.message();
        return pnm;
    }
    int status = 0;
    std::string bytes;
    // scanimage lets the library stop the test device's reader thread wherever it is at a frame's
    // end, which now and then leaves it waiting for ever for a reader that died holding a lock of
    // the allocator: such a run is ended (by SIGKILL, status 137) and made once more.
    for (int32_t attempt = 0; attempt < 3; ++attempt) {
        bytes = RunTool("timeout -s KILL 120 scanimage -d test:0 --format=pnm " + options, &status);
        if (status != 128 + SIGKILL) {
            break;
        }
    }
    if (status != 0) {
        return pnm;
    }
    std::istringstream in(bytes);
    std::string magic;
    in >> magic;
    auto number = [&]() {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string comment;
            std::getline(in, comment);
            in >> std::ws;
        }
        int32_t value = 0;
        in >> value;
        return value;
    };
    if (magic.size() != 2 || magic[0] != 'P') {
        return pnm;
    }
    pnm.Kind = magic[1];
    pnm.Width = number();
    pnm.Height = number();
    pnm.MaxValue = pnm.Kind == '4' ? 1 : number();
    in.get();
    pnm.Data.assign(bytes.begin() + in.tellg(), bytes.end());
    return pnm;
}

bool SameAsPnm(TKVBitmap& bitmap, const TPnm& pnm, std::string& why)
{
    std::ostringstream out;
    if (bitmap.GetWidth() != pnm.Width || bitmap.GetHeight() != pnm.Height) {
        out << "size " << bitmap.GetWidth() << "x" << bitmap.GetHeight() << ", scanimage " << pnm.Width << "x"
            << pnm.Height;
        why = out.str();
        return false;
    }
    const int32_t channels = pnm.Kind == '6' ? 3 : 1;
    const int32_t sampleBytes = pnm.MaxValue > 255 ? 2 : 1;
    const size_t rowBytes =
        pnm.Kind == '4' ? size_t(pnm.Width + 7) / 8 : size_t(pnm.Width) * channels * sampleBytes;
    if (pnm.Data.size() < rowBytes * size_t(pnm.Height)) {
        why = "short picture from scanimage";
        return false;
    }
    for (int32_t y = 0; y < pnm.Height; ++y) {
        const uint8_t* row = pnm.Data.data() + rowBytes * size_t(y);
        for (int32_t x = 0; x < pnm.Width; ++x) {
            TRGB expected;
            if (pnm.Kind == '4') {
                const uint8_t grey = (row[x / 8] & (0x80 >> (x % 8))) != 0 ? 0 : 255;
                expected = TRGB{grey, grey, grey};
                if (bitmap.GetPixelFormat() != kv1g) {
                    why = "not a 1-bit bitmap";
                    return false;
                }
            } else {
                uint8_t samples[3];
                for (int32_t c = 0; c < channels; ++c) {
                    // PNM keeps 16-bit samples big-endian: the first byte is the high one.
                    samples[c] = row[(size_t(x) * channels + c) * sampleBytes];
                }
                expected = channels == 3 ? TRGB{samples[2], samples[1], samples[0]}
                                         : TRGB{samples[0], samples[0], samples[0]};
            }
            const TRGB actual = bitmap.GetPixels(x, y);
            if (!(actual == expected)) {
                out << "pixel " << x << "," << y << " is " << int(actual.r) << "/" << int(actual.g) << "/"
                    << int(actual.b) << ", scanimage " << int(expected.r) << "/" << int(expected.g) << "/"
                    << int(expected.b);
                why = out.str();
                return false;
            }
        }
    }
    return true;
}

} // namespace kviotest
