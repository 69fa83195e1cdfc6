// Loading a picture by "http://" URL: the body of one GET request, fetched with libcurl into
// memory, is loaded as a stream whose format is found by content.
#include "imaging/io/detail/io_work.h"
#include "imaging/io/korvaneio.h"
#include "platform/core/strings.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <mutex>

using namespace Korvaneio::detail;

namespace {

constexpr int64_t MaxBodyBytes = int64_t(256) << 20;
constexpr long ConnectTimeoutSeconds = 30;
// A transfer that moves less than one byte a second for this long has stalled.
constexpr long StallSeconds = 60;
constexpr long MaxRedirects = 5;
const char* const UserAgent = "Mozilla/4.*";

struct TURLParts
{
    std::string Host; // without brackets for an IPv6 address
    bool BracketedHost = false;
    int32_t Port = 80;
    std::string Path;
};

// "http://host[:port][/path]", the scheme in any case. A port that is no number is 80; a number
// outside 1..65535 makes the URL unusable. Without a path the root "/" is asked for.
bool SplitURL(const std::string& url, TURLParts& parts)
{
    if (LowerCase(url.substr(0, 7)) != "http://") {
        return false;
    }
    const std::string rest = url.substr(7);
    const size_t slash = rest.find('/');
    std::string hostPart = rest.substr(0, slash);
    parts.Path = slash == std::string::npos ? "/" : rest.substr(slash);
    std::string portText;
    if (!hostPart.empty() && hostPart.front() == '[') {
        const size_t close = hostPart.find(']');
        if (close == std::string::npos) {
            return false;
        }
        parts.Host = hostPart.substr(1, close - 1);
        parts.BracketedHost = true;
        if (close + 1 < hostPart.size()) {
            if (hostPart[close + 1] != ':') {
                return false;
            }
            portText = hostPart.substr(close + 2);
        }
    } else {
        const size_t colon = hostPart.find(':');
        parts.Host = hostPart.substr(0, colon);
        if (colon != std::string::npos) {
            portText = hostPart.substr(colon + 1);
        }
    }
    if (parts.Host.empty()) {
        return false;
    }
    parts.Port = 80;
    const bool numeric = !portText.empty() && portText.size() <= 9 &&
                         portText.find_first_not_of("0123456789") == std::string::npos;
    if (numeric) {
        parts.Port = std::atoi(portText.c_str());
        if (parts.Port < 1 || parts.Port > 65535) {
            return false;
        }
    }
    return true;
}

// The URL handed to libcurl: the parsed host and port, and the path with the characters that
// cannot stand in a request line escaped.
std::string RequestURL(const TURLParts& parts)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string path;
    for (unsigned char c : parts.Path) {
        if (c <= 0x20 || c >= 0x7F) {
            path += '%';
            path += hex[c >> 4];
            path += hex[c & 15];
        } else {
            path += char(c);
        }
    }
    const std::string host = parts.BracketedHost ? "[" + parts.Host + "]" : parts.Host;
    return "http://" + host + ":" + std::to_string(parts.Port) + path;
}

struct TTransfer
{
    TMemoryStream* Body = nullptr;
    std::function<bool()> StopRequested;
};

size_t ReceiveBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<TTransfer*>(user);
    const size_t bytes = size * count;
    if (transfer->Body->Size() + int64_t(bytes) > MaxBodyBytes) {
        return 0; // ends the transfer with a write error
    }
    // Nothing may be thrown through libcurl.
    try {
        transfer->Body->WriteBuffer(data, int64_t(bytes));
    } catch (...) {
        return 0;
    }
    return bytes;
}

int WatchTransfer(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<TTransfer*>(user)->StopRequested() ? 1 : 0;
}

void InitCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

class TCurlRequest
{
public:
    TCurlRequest() : FCurl(curl_easy_init()) {}
    ~TCurlRequest()
    {
        curl_slist_free_all(FHeaders);
        curl_easy_cleanup(FCurl);
    }
    TCurlRequest(const TCurlRequest&) = delete;
    TCurlRequest& operator=(const TCurlRequest&) = delete;

    // The body of a GET of url into transfer.Body; false unless it arrived whole with a 2xx status.
    bool Get(const std::string& url, const std::string& proxy, const std::string& proxyUser,
             const std::string& proxyPassword, TTransfer& transfer)
    {
        if (FCurl == nullptr) {
            return false;
        }
        FHeaders = curl_slist_append(FHeaders, "Cache-Control: no-cache");
        FHeaders = curl_slist_append(FHeaders, "Pragma: no-cache");
        curl_easy_setopt(FCurl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(FCurl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(FCurl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(FCurl, CURLOPT_USERAGENT, UserAgent);
        curl_easy_setopt(FCurl, CURLOPT_HTTPHEADER, FHeaders);
        curl_easy_setopt(FCurl, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(FCurl, CURLOPT_REDIR_PROTOCOLS_STR, "http");
        curl_easy_setopt(FCurl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(FCurl, CURLOPT_MAXREDIRS, MaxRedirects);
        curl_easy_setopt(FCurl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(FCurl, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
        curl_easy_setopt(FCurl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(FCurl, CURLOPT_LOW_SPEED_TIME, StallSeconds);
        curl_easy_setopt(FCurl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(MaxBodyBytes));
        // An empty proxy also keeps the environment's proxy variables out.
        curl_easy_setopt(FCurl, CURLOPT_PROXY, proxy.c_str());
        if (!proxy.empty() && !proxyUser.empty()) {
            curl_easy_setopt(FCurl, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
            curl_easy_setopt(FCurl, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
            curl_easy_setopt(FCurl, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
        }
        curl_easy_setopt(FCurl, CURLOPT_WRITEFUNCTION, &ReceiveBody);
        curl_easy_setopt(FCurl, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(FCurl, CURLOPT_XFERINFOFUNCTION, &WatchTransfer);
        curl_easy_setopt(FCurl, CURLOPT_XFERINFODATA, &transfer);
        curl_easy_setopt(FCurl, CURLOPT_NOPROGRESS, 0L);
        if (curl_easy_perform(FCurl) != CURLE_OK) {
            return false;
        }
        long status = 0;
        curl_easy_getinfo(FCurl, CURLINFO_RESPONSE_CODE, &status);
        return status >= 200 && status <= 299;
    }

private:
    CURL* FCurl;
    curl_slist* FHeaders = nullptr;
};

} // namespace

void TKorvaneIO::LoadFromURL(const std::string& URL)
{
    if (MustRunAsync()) {
        new TKVIOThread(
            this, TKVIOMethodType_LoadFromURL([this](const std::string& url) { LoadFromURL(url); }), URL);
        return;
    }
    TOperationScope scope(*FWork);
    Aborting = false;
    TURLParts parts;
    if (!SplitURL(URL, parts)) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    InitCurl();
    TMemoryStream body;
    TTransfer transfer;
    transfer.Body = &body;
    transfer.StopRequested = [this] {
        return Aborting || FWork->AbortRequested.load(std::memory_order_relaxed);
    };
    TCurlRequest request;
    if (!request.Get(RequestURL(parts), ProxyAddress, ProxyUser, ProxyPassword, transfer)) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    body.SetPosition(0);
    LoadFromStream(body);
}
