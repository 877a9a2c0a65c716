#include "CurlTransport.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace kivora::net {

namespace {

// What identifies us to the server, as the application's name.
constexpr const char* kUserAgent = "Kivora";
constexpr std::size_t kMaxErrorText = 254;

struct Exchange {
    std::string body;
    std::size_t maxBody = 0;
    bool tooLarge = false;
    const std::atomic<bool>* abandon = nullptr;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* exchange = static_cast<Exchange*>(user);
    const std::size_t bytes = size * count;
    if (exchange->body.size() + bytes > exchange->maxBody) {
        exchange->tooLarge = true;
        return 0; // ends the transfer with a write error
    }
    exchange->body.append(data, bytes);
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* exchange = static_cast<const Exchange*>(user);
    return exchange->abandon->load(std::memory_order_relaxed) ? 1 : 0;
}

std::string HostForUrl(const std::string& host)
{
    // An IPv6 literal needs its brackets in a URL.
    if (host.find(':') != std::string::npos && host.front() != '[')
        return "[" + host + "]";
    return host;
}

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

CCurlTransport::CCurlTransport(TransportLimits limits) : limits(limits)
{
    GlobalInit();
}

void CCurlTransport::GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TransportResult CCurlTransport::Get(const TransportRequest& request, const std::atomic<bool>& abandon)
{
    TransportResult result;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.error = "The HTTP session could not be opened.";
        return result;
    }
    std::unique_ptr<curl_slist, SlistDeleter> headers(
        curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"));

    const std::string url = request.scheme + "://" + HostForUrl(request.host) + ":" +
                            std::to_string(request.port) + request.path;
    Exchange exchange;
    exchange.maxBody = limits.maxBodyBytes;
    exchange.abandon = &abandon;
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // A secure exchange is never redirected to plain HTTP.
    const bool secure = request.scheme == "https";
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    // The server's certificate must chain to a trusted root and name the host; a
    // certificate that does not is a failed exchange, never accepted silently.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.trustFile.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, limits.trustFile.c_str());
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    const CURLcode code = curl_easy_perform(h);
    if (code == CURLE_OK) {
        result.ok = true;
        result.body = std::move(exchange.body);
        return result;
    }
    if (exchange.tooLarge)
        result.error = "The server's reply is too large.";
    else if (errorText[0] != '\0')
        result.error = errorText;
    else
        result.error = curl_easy_strerror(code);
    if (result.error.size() > kMaxErrorText)
        result.error.resize(kMaxErrorText);
    return result;
}

} // namespace kivora::net
