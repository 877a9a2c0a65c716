#include "CurlTransport.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace kivora::net {

namespace {

// What identifies us to the server, as the application's name.
constexpr const char* kUserAgent = "Kivora";
constexpr std::size_t kMaxErrorText = 254;
constexpr int kMaxRedirects = 10;

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

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// Where a URL leads: scheme, host and port, the port filled in from the scheme
// when the URL names none.
struct Origin {
    std::string scheme;
    std::string host;
    std::string port;
};

std::optional<Origin> OriginOf(const std::string& url)
{
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    const auto part = [&parsed](CURLUPart which, unsigned flags) -> std::optional<std::string> {
        char* text = nullptr;
        if (curl_url_get(parsed.get(), which, &text, flags) != CURLUE_OK)
            return std::nullopt;
        std::string copy(text);
        curl_free(text);
        return copy;
    };
    auto scheme = part(CURLUPART_SCHEME, 0);
    auto host = part(CURLUPART_HOST, 0);
    auto port = part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!scheme || !host || !port)
        return std::nullopt;
    return Origin{std::move(*scheme), std::move(*host), std::move(*port)};
}

bool SameOrigin(const Origin& a, const Origin& b)
{
    return curl_strequal(a.scheme.c_str(), b.scheme.c_str()) != 0 &&
           curl_strequal(a.host.c_str(), b.host.c_str()) != 0 && a.port == b.port;
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
    // The server's certificate must chain to a trusted root and name the host; a
    // certificate that does not is a failed exchange, never accepted silently.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.trustFile.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, limits.trustFile.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    // Redirects are followed here rather than by libcurl, which cannot keep them on
    // one host: the query may carry the password, so a redirect to another scheme,
    // host or port (https to http included) ends the exchange instead.
    const std::optional<Origin> origin = OriginOf(url);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.totalTimeoutMs);
    CURLcode code = curl_easy_perform(h);
    for (int redirects = 0; code == CURLE_OK; ++redirects) {
        const char* location = nullptr;
        curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
        if (location == nullptr) {
            result.ok = true;
            result.body = std::move(exchange.body);
            return result;
        }
        const std::string next(location);
        if (redirects == kMaxRedirects) {
            result.error = "The server redirected the request too many times.";
            return result;
        }
        const std::optional<Origin> nextOrigin = OriginOf(next);
        if (!origin || !nextOrigin || !SameOrigin(*origin, *nextOrigin)) {
            result.error = "The server redirected the request to another host.";
            return result;
        }
        // The time limit covers the whole chain of redirects.
        long remainingMs = limits.totalTimeoutMs;
        if (limits.totalTimeoutMs > 0) {
            remainingMs = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (remainingMs <= 0) {
                code = CURLE_OPERATION_TIMEDOUT;
                errorText[0] = '\0';
                break;
            }
        }
        exchange.body.clear();
        curl_easy_setopt(h, CURLOPT_URL, next.c_str());
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, remainingMs);
        code = curl_easy_perform(h);
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
