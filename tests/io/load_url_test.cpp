// Loading by URL against loopback servers that record what they are sent: the request, the
// statuses, redirects and bodies that must fail, a stalled server and a proxy with credentials.
#include "imaging/core/daduvudez.h"
#include "imaging/io/korvaneio.h"
#include "tests/io/io_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tools.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kviotest;

namespace {

// tests/io/http_test_server.py in a process of its own, on a free loopback port.
class TTestServer
{
public:
    TTestServer(const std::string& root, const std::string& log, const std::string& proxyTo = "")
    {
        std::vector<std::string> args = {
            "python3", std::string(KV_SOURCE_DIR) + "/tests/io/http_test_server.py", "--root", root, "--log",
            log};
        if (!proxyTo.empty()) {
            args.push_back("--proxy-to");
            args.push_back(proxyTo);
        }
        const ::testing::AssertionResult listed = kvtest::Installed(args[0]);
        EXPECT_TRUE(listed);
        args[0] = kvtest::ProgramPath(args[0]);
        int pipeEnds[2];
        if (!listed || ::pipe(pipeEnds) != 0) {
            return;
        }
        FPid = ::fork();
        if (FPid == 0) {
            ::dup2(pipeEnds[1], 1);
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
            std::vector<char*> argv;
            for (std::string& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        FILE* out = ::fdopen(pipeEnds[0], "r");
        if (std::fscanf(out, "%d", &FPort) != 1) {
            FPort = 0;
        }
        std::fclose(out);
    }
    ~TTestServer() { Stop(); }

    void Stop()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
    }
    int Port() const { return FPort; }
    std::string URL(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(FPort) + path;
    }

private:
    pid_t FPid = -1;
    int FPort = 0;
};

class LoadURL : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CopyFile(GoImage("video-001.png"), Folder.File("a.png"));
        Folder.Write("notes.txt", "not a picture at all\n");
        Reference.LoadFromFile(GoImage("video-001.png"));
        ASSERT_FALSE(Reference.Aborting);
        ASSERT_GT(Origin.Port(), 0);
    }

    std::string OriginLog() const { return kvtest::TempFolder::Read(Folder.File("origin.log")); }

    // Loads the URL and checks that exactly one finish event came; returns Aborting.
    bool Load(TKorvaneIO& io, const std::string& url)
    {
        TEventLog events;
        events.Attach(io);
        io.LoadFromURL(url);
        EXPECT_EQ(events.Finishes(), 1) << url;
        return io.Aborting;
    }

    kvtest::TempFolder Folder;
    TTestServer Origin{Folder.Path(), Folder.File("origin.log")};
    TKorvaneIO Reference{nullptr};
};

} // namespace

TEST_F(LoadURL, GetsThePathOverHttp11AndLoadsTheBodyByContent)
{
    TKorvaneIO io(nullptr);
    io.Params().FileName = "stale";
    EXPECT_FALSE(Load(io, Origin.URL("/a.png")));
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), *Reference.KVBitmap()));
    EXPECT_EQ(io.Params().FileType, 8);
    EXPECT_EQ(io.Params().FileName, "");
    const std::string log = OriginLog();
    EXPECT_NE(log.find("GET /a.png HTTP/1.1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("User-Agent: Mozilla/4.*\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Cache-Control: no-cache\n"), std::string::npos) << log;

    // LoadFromFile hands any case of the scheme over; no path asks for the root.
    TKorvaneIO other(nullptr);
    other.LoadFromFile("HTTP://127.0.0.1:" + std::to_string(Origin.Port()) + "/a.png");
    EXPECT_FALSE(other.Aborting);
    EXPECT_TRUE(SamePixels(*other.KVBitmap(), *Reference.KVBitmap()));
    EXPECT_TRUE(Load(other, "http://127.0.0.1:" + std::to_string(Origin.Port())));
    EXPECT_NE(OriginLog().find("GET / HTTP/1.1\n"), std::string::npos);
}

TEST_F(LoadURL, FailuresEndWithAbortingAndKeepNothingOfTheBody)
{
    TTestServer closed(Folder.Path(), Folder.File("closed.log"));
    const std::string closedURL = closed.URL("/a.png");
    closed.Stop();
    struct
    {
        std::string URL;
        const char* What;
    } const cases[] = {
        {"ftp://127.0.0.1/a.png", "another scheme"},
        {"http://", "no host"},
        {"http://127.0.0.1:70000/a.png", "a port out of range"},
        {closedURL, "nobody listening"},
        {Origin.URL("/status/404/a.png"), "a 404 with a picture as its page"},
        {Origin.URL("/status/500/a.png"), "a server error"},
        {Origin.URL("/missing.png"), "a missing file"},
        {Origin.URL("/notes.txt"), "a body that is no picture"},
        {Origin.URL("/redirect/6/a.png"), "six redirects"},
        {Origin.URL("/redirect-to?file:///etc/hosts"), "a redirect to a local file"},
        {Origin.URL("/huge"), "a body past 256 MiB"},
    };
    for (const auto& c : cases) {
        TKorvaneIO io(nullptr);
        EXPECT_TRUE(Load(io, c.URL)) << c.What;
        EXPECT_EQ(io.KVBitmap()->GetWidth(), 0) << c.What;
    }
    TKorvaneIO io(nullptr);
    EXPECT_FALSE(Load(io, Origin.URL("/redirect/5/a.png")));
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), *Reference.KVBitmap()));
}

TEST_F(LoadURL, ProxyGetsTheAbsoluteRequestAndTheCredentialsTheOriginNone)
{
    TTestServer proxy(Folder.Path(), Folder.File("proxy.log"), "127.0.0.1:" + std::to_string(Origin.Port()));
    TKorvaneIO io(nullptr);
    io.ProxyAddress = "127.0.0.1:" + std::to_string(proxy.Port());
    io.ProxyUser = "u";
    io.ProxyPassword = "p";
    EXPECT_FALSE(Load(io, Origin.URL("/a.png")));
    EXPECT_TRUE(SamePixels(*io.KVBitmap(), *Reference.KVBitmap()));
    // A port that is no number is 80, the default that the absolute request leaves out.
    EXPECT_FALSE(Load(io, "http://origin.invalid:8080/a.png"));
    EXPECT_TRUE(Load(io, "http://origin.invalid:http/b.png"));

    const std::string proxyLog = kvtest::TempFolder::Read(Folder.File("proxy.log"));
    EXPECT_NE(proxyLog.find("GET " + Origin.URL("/a.png") + " HTTP/1.1\n"), std::string::npos) << proxyLog;
    EXPECT_NE(proxyLog.find("Proxy-Authorization: Basic dTpw\n"), std::string::npos) << proxyLog;
    EXPECT_NE(proxyLog.find("GET http://origin.invalid:8080/a.png HTTP/1.1\n"), std::string::npos);
    EXPECT_NE(proxyLog.find("GET http://origin.invalid/b.png HTTP/1.1\n"), std::string::npos) << proxyLog;
    const std::string originLog = OriginLog();
    EXPECT_NE(originLog.find("GET /a.png HTTP/1.1\n"), std::string::npos) << originLog;
    EXPECT_EQ(originLog.find("Authorization"), std::string::npos) << originLog;
}

TEST_F(LoadURL, AStalledTransferStopsWhenAbortIsAskedFor)
{
    TKVBitmap target;
    TKorvaneIO io(nullptr);
    io.SetAttachedKVBitmap(&target);
    io.AsyncMode = true;
    TEventLog events;
    events.Attach(io);
    // The server stalls for 30 s; stopped, the transfer ends at libcurl's next progress call,
    // about a second. 20 s tells the two apart on the busiest machine.
    const auto start = std::chrono::steady_clock::now();
    io.LoadFromURL(Origin.URL("/stall"));
    while (OriginLog().find("GET /stall") == std::string::npos &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    io.WaitThreads(true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(events.Finishes(), 1);
    EXPECT_EQ(target.GetWidth(), 0);
}
