#include "CurlTransport.h"

#include <curl/curl.h>

#include "NetworkThread.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace kivora::net {

namespace {

// What identifies us to the server, as the application's name.
constexpr const char* kUserAgent = "Kivora";
constexpr std::size_t kMaxErrorText = 254;
constexpr int kMaxRedirects = 10;

using Clock = std::chrono::steady_clock;

// A reply's body as it arrives, up to the cap.
struct Body {
    std::string text;
    std::size_t max = 0;
    bool tooLarge = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* body = static_cast<Body*>(user);
    const std::size_t bytes = size * count;
    if (body->text.size() + bytes > body->max) {
        body->tooLarge = true;
        return 0; // ends the transfer with a write error
    }
    body->text.append(data, bytes);
    return bytes;
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

// What every exchange of a transport uses as it is.
struct CurlSettings {
    TransportLimits limits;
    std::unique_ptr<curl_slist, SlistDeleter> headers;
};

namespace {

// One exchange: its easy handle, the redirects it has followed, and whom to tell
// how it ended.
class CExchange final : public ICurlJob {
public:
    CExchange(std::shared_ptr<const CurlSettings> settings, TransportRequest request, AbandonFlag abandon,
              TransportCompletion completion)
        : settings(std::move(settings)), request(std::move(request)), abandon(std::move(abandon)),
          completion(std::move(completion))
    {
        body.max = this->settings->limits.maxBodyBytes;
    }

    bool Begin(CURL* handle) override;
    bool Continue(CURLcode code) override;
    bool Abandoned() const override { return abandon && abandon->load(); }
    void GiveUp() override { Fail("The exchange was abandoned."); }

private:
    void Succeed()
    {
        TransportResult result;
        result.ok = true;
        result.body = std::move(body.text);
        End(std::move(result));
    }
    void Fail(std::string error)
    {
        TransportResult result;
        result.error = std::move(error);
        if (result.error.size() > kMaxErrorText)
            result.error.resize(kMaxErrorText);
        End(std::move(result));
    }
    void End(TransportResult result)
    {
        if (TransportCompletion tell = std::exchange(completion, nullptr))
            tell(std::move(result));
    }

    std::shared_ptr<const CurlSettings> settings;
    TransportRequest request;
    AbandonFlag abandon;
    TransportCompletion completion;

    CURL* curl = nullptr;
    std::string url; // as first asked for
    Body body;
    char errorText[CURL_ERROR_SIZE] = {};
    Clock::time_point deadline;
    int redirects = 0;
};

bool CExchange::Begin(CURL* handle)
{
    if (!handle || !settings->headers) {
        Fail("The HTTP session could not be opened.");
        return false;
    }
    curl = handle;
    const TransportLimits& limits = settings->limits;
    url = request.scheme + "://" + HostForUrl(request.host) + ":" + std::to_string(request.port) + request.path;
    deadline = Clock::now() + std::chrono::milliseconds(limits.totalTimeoutMs);

    CURL* h = curl;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, settings->headers.get());
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // One connection per exchange, as HTTP/1.0 without keep-alive has it, even
    // when a server offers to keep its connection open.
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
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
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    return true;
}

bool CExchange::Continue(CURLcode code)
{
    if (code == CURLE_OK) {
        const char* location = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
        if (location == nullptr) {
            Succeed();
            return false;
        }
        // Redirects are followed here rather than by libcurl, which cannot keep them
        // on one host: the query may carry the password, so a redirect to another
        // scheme, host or port (https to http included) ends the exchange instead.
        const std::string next(location);
        if (redirects == kMaxRedirects) {
            Fail("The server redirected the request too many times.");
            return false;
        }
        const std::optional<Origin> origin = OriginOf(url);
        const std::optional<Origin> nextOrigin = OriginOf(next);
        if (!origin || !nextOrigin || !SameOrigin(*origin, *nextOrigin)) {
            Fail("The server redirected the request to another host.");
            return false;
        }
        // The time limit covers the whole chain of redirects.
        const long totalMs = settings->limits.totalTimeoutMs;
        long remainingMs = totalMs;
        if (totalMs > 0) {
            remainingMs = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (remainingMs <= 0) {
                Fail(curl_easy_strerror(CURLE_OPERATION_TIMEDOUT));
                return false;
            }
        }
        ++redirects;
        body.text.clear();
        curl_easy_setopt(curl, CURLOPT_URL, next.c_str());
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, remainingMs);
        return true;
    }
    if (body.tooLarge)
        Fail("The server's reply is too large.");
    else if (errorText[0] != '\0')
        Fail(errorText);
    else
        Fail(curl_easy_strerror(code));
    return false;
}

} // namespace

CCurlTransport::CCurlTransport(TransportLimits limits)
{
    GlobalInit();
    auto made = std::make_shared<CurlSettings>();
    made->limits = std::move(limits);
    made->headers.reset(curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"));
    settings = std::move(made);
    network = std::make_unique<CNetworkThread>();
}

CCurlTransport::~CCurlTransport() = default;

void CCurlTransport::GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void CCurlTransport::Start(TransportRequest request, AbandonFlag abandon, TransportCompletion completion)
{
    network->Add(std::make_unique<CExchange>(settings, std::move(request), std::move(abandon), std::move(completion)));
}

void CCurlTransport::Abandon(const AbandonFlag& flag)
{
    if (!flag)
        return;
    flag->store(true);
    network->CheckAbandoned();
}

} // namespace kivora::net
