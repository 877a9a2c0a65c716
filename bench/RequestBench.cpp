// An asynchronous request end to end against kivora-demo-service on loopback:
// from CServerLink::StartRequest to the reply handler on the GUI thread, for a
// visitor-list reply of about 1 KiB. The reference, in the same run, is a plain
// curl_easy_perform loop on one handle for the same URL. Three more show where
// the difference goes: the product's synchronous exchange
// (CServerLink::PerformRequest: the same network thread, waited for), a plain
// loop that makes a fresh handle per request, and the design's floor: a bare
// network thread driving a curl multi handle, woken for each request, a fresh
// handle per request and a queued call back to the GUI thread, without any of the
// product's code.
//
// The five are taken in turn, request by request, in a new order every round, so
// that a busy machine slows them alike; the figures are medians over the rounds.
#include "BenchSummary.h"
#include "session/Session.h"
#include "BenchSupport.h"
#include "net/CurlTransport.h"
#include "net/Endpoints.h"
#include "net/ServerLink.h"
#include "res/Strings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <curl/curl.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using namespace kivora;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 300;
constexpr std::size_t kReplyBytes = 1024;

// Receives the reply on the GUI thread and ends the wait for it.
class CReplyCatcher final : public QObject, public net::IReplyTarget {
public:
    void OnServerReply(int, const std::string& text) override
    {
        arrived = Clock::now();
        size = text.size();
        done = true;
        if (loop)
            loop->quit();
    }
    QEventLoop* loop = nullptr;
    Clock::time_point arrived;
    std::size_t size = 0;
    bool done = false;
};

// Runs this thread's event loop until the catcher has its reply, or for 10 s at
// most; whether the reply came.
bool AwaitReply(CReplyCatcher& catcher)
{
    QEventLoop loop;
    catcher.loop = &loop;
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    if (!catcher.done)
        loop.exec();
    catcher.loop = nullptr;
    return catcher.done;
}

// The product's transport, noting when its exchange is started on the GUI thread
// and when it ends on the network thread, so that the asynchronous time splits
// into the exchange (with the hand-over to the network thread) and the hand-over
// back to the GUI thread.
class CTimedTransport final : public net::ITransport {
public:
    void Start(net::TransportRequest request, net::AbandonFlag abandon, net::TransportCompletion completion) override
    {
        started.store(Clock::now().time_since_epoch().count());
        inner.Start(std::move(request), std::move(abandon),
                    [this, completion = std::move(completion)](net::TransportResult result) {
                        ended.store(Clock::now().time_since_epoch().count());
                        completion(std::move(result));
                    });
    }
    void Abandon(const net::AbandonFlag& flag) override { inner.Abandon(flag); }
    Clock::time_point Started() const { return Clock::time_point(Clock::duration(started.load())); }
    Clock::time_point Ended() const { return Clock::time_point(Clock::duration(ended.load())); }

private:
    net::CCurlTransport inner;
    std::atomic<Clock::rep> started{0};
    std::atomic<Clock::rep> ended{0};
};

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One GET with a curl handle, as a plain client would make it.
bool CurlGet(CURL* curl, const std::string& url, std::string& body)
{
    body.clear();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    return curl_easy_perform(curl) == CURLE_OK;
}

// The same GET on a handle made for it alone.
bool CurlGetFresh(const std::string& url, std::string& body)
{
    CURL* once = curl_easy_init();
    const bool ok = CurlGet(once, url, body);
    curl_easy_cleanup(once);
    return ok;
}

// The design's own cost with none of the product's code: one thread driving a
// curl multi handle, woken for each request, which makes a fresh handle for it
// and queues the body to the GUI thread without waiting there.
class CBareNetworkThread final {
public:
    CBareNetworkThread() : multi(curl_multi_init()), thread([this] { Run(); }) {}
    ~CBareNetworkThread()
    {
        stop.store(true);
        curl_multi_wakeup(multi);
        thread.join();
        curl_multi_cleanup(multi);
    }
    CBareNetworkThread(const CBareNetworkThread&) = delete;
    CBareNetworkThread& operator=(const CBareNetworkThread&) = delete;

    void Get(const std::string& url, CReplyCatcher* catcher)
    {
        {
            const std::lock_guard lock(mutex);
            queued.push_back({url, catcher});
        }
        curl_multi_wakeup(multi);
    }

private:
    struct Request {
        std::string url;
        CReplyCatcher* catcher;
    };
    struct Transfer {
        CReplyCatcher* catcher;
        std::string body;
    };

    void Run()
    {
        std::unordered_map<CURL*, Transfer> running;
        while (!stop.load()) {
            std::vector<Request> arrived;
            {
                const std::lock_guard lock(mutex);
                arrived.swap(queued);
            }
            for (const Request& request : arrived) {
                CURL* easy = curl_easy_init();
                Transfer& transfer = running[easy];
                transfer.catcher = request.catcher;
                curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
                curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
                curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendBody);
                curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer.body);
                curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
                curl_multi_add_handle(multi, easy);
            }
            int active = 0;
            curl_multi_perform(multi, &active);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
                if (message->msg != CURLMSG_DONE)
                    continue;
                CURL* easy = message->easy_handle;
                curl_multi_remove_handle(multi, easy);
                const auto it = running.find(easy);
                CReplyCatcher* catcher = it->second.catcher;
                QMetaObject::invokeMethod(
                    catcher, [catcher, text = std::move(it->second.body)] { catcher->OnServerReply(0, text); },
                    Qt::QueuedConnection);
                running.erase(it);
                curl_easy_cleanup(easy);
            }
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
        for (auto& [easy, transfer] : running) {
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
        }
    }

    CURLM* multi;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<Request> queued;
    std::thread thread;
};

double Since(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::micro>(end - start).count();
}

void AsyncRequestEndToEnd(benchmark::State& state)
{
    bench::CBenchService service;
    bench::NullPlatform fakes;
    const auto transport = std::make_shared<CTimedTransport>();
    net::CServerLink link(transport);
    session::CSession session(link);
    session.SetDefaultHost(service.HostPort());
    if (!session.FetchParams("site1")) {
        state.SkipWithError("no parameters reply from the demo service");
        return;
    }
    session.SetIdentity("admin", "site1");
    const std::string tail = net::MakeUrl(res::IDS_URL_VISITOR_LIST, {"admin", "site1"});
    const std::string url = "http://" + session.Host() + session.PathPrefix() + tail;

    // Visitors until the list reply is about 1 KiB.
    std::string reply;
    for (int i = 0; i < 100 && (session.PerformRequest(tail, reply), reply.size() < kReplyBytes); ++i)
        service.AddVisitor("ip=198.51.100." + std::to_string(i + 1) + "&page=/shop/item-" + std::to_string(i) +
                           ".html&seconds=" + std::to_string(30 + i));

    CURL* reused = curl_easy_init();
    CBareNetworkThread bareThread;
    std::vector<double> async, sync, plain, fresh, bare, exchange, handover;
    std::string body;
    // StartRequest to the handler on the GUI thread; false when no reply came.
    const auto TimeAsync = [&] {
        CReplyCatcher catcher;
        const Clock::time_point start = Clock::now();
        session.Send({tail, net::kKindVisitorList}, &catcher);
        if (!AwaitReply(catcher))
            return false;
        async.push_back(Since(start, catcher.arrived));
        exchange.push_back(Since(transport->Started(), transport->Ended()));
        handover.push_back(Since(transport->Ended(), catcher.arrived));
        return true;
    };
    const auto TimeBareThread = [&] {
        CReplyCatcher catcher;
        const Clock::time_point start = Clock::now();
        bareThread.Get(url, &catcher);
        if (!AwaitReply(catcher))
            return false;
        bare.push_back(Since(start, catcher.arrived));
        return true;
    };
    std::array<int, 5> order{0, 1, 2, 3, 4};
    std::mt19937 shuffler(20261208);
    bool failed = false;
    for (auto _ : state) {
        for (int round = 0; round < kRounds && !failed; ++round) {
            // A fresh order every round, so that none of the five always follows
            // the same one or is always first after the wait.
            std::shuffle(order.begin(), order.end(), shuffler);
            for (const int step : order) {
                switch (step) {
                case 0:
                    failed = !TimeAsync();
                    break;
                case 1: {
                    const Clock::time_point t = Clock::now();
                    session.PerformRequest(tail, reply);
                    sync.push_back(Since(t, Clock::now()));
                    break;
                }
                case 2: {
                    const Clock::time_point t = Clock::now();
                    CurlGet(reused, url, body);
                    plain.push_back(Since(t, Clock::now()));
                    break;
                }
                case 3: {
                    const Clock::time_point t = Clock::now();
                    CurlGetFresh(url, body);
                    fresh.push_back(Since(t, Clock::now()));
                    break;
                }
                default:
                    failed = !TimeBareThread();
                    break;
                }
            }
        }
        if (failed) {
            state.SkipWithError("no reply within 10 s");
            break;
        }
        std::vector<double> sorted = async;
        state.SetIterationTime(bench::Quantile(sorted, 0.5) * 1e-6);
    }
    curl_easy_cleanup(reused);
    state.counters["reply_bytes"] = static_cast<double>(reply.size());
    state.counters["async_median_us"] = bench::Quantile(async, 0.5);
    state.counters["async_p90_us"] = bench::Quantile(async, 0.9);
    state.counters["sync_median_us"] = bench::Quantile(sync, 0.5);
    state.counters["curl_median_us"] = bench::Quantile(plain, 0.5);
    state.counters["curl_p90_us"] = bench::Quantile(plain, 0.9);
    state.counters["curl_fresh_median_us"] = bench::Quantile(fresh, 0.5);
    state.counters["bare_thread_median_us"] = bench::Quantile(bare, 0.5);
    state.counters["async_exchange_median_us"] = bench::Quantile(exchange, 0.5);
    state.counters["async_exchange_p90_us"] = bench::Quantile(exchange, 0.9);
    state.counters["async_handover_median_us"] = bench::Quantile(handover, 0.5);
    state.counters["async_handover_p90_us"] = bench::Quantile(handover, 0.9);
}
BENCHMARK(AsyncRequestEndToEnd)->Iterations(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

void Summarize(const bench::CSummaryReporter& runs)
{
    const bench::Timing* t = runs.Find("AsyncRequestEndToEnd");
    if (!t || !t->counters.count("async_median_us"))
        return;
    const auto c = [t](const char* name) { return static_cast<double>(t->counters.at(name)); };
    const double ratio = c("async_median_us") / c("curl_median_us");
    bench::PrintResult({"3", "async request end to end, 1 KiB reply (median)",
                        bench::Format("%.0f us (p90 %.0f us)", c("async_median_us"), c("async_p90_us")),
                        bench::Format("curl loop %.0f us (p90 %.0f us)", c("curl_median_us"), c("curl_p90_us")),
                        bench::Format("%.2fx", ratio), "<= 1.3x", ratio <= 1.3});
    std::printf("  between them: synchronous exchange %.0f us, curl with a fresh handle per request %.0f us\n",
                c("sync_median_us"), c("curl_fresh_median_us"));
    const double floor = c("bare_thread_median_us");
    bench::PrintResult({"3",
                        "async request vs the design's floor: one bare network thread driving a curl multi handle, "
                        "a fresh handle per request and a queued call back, no product code (median)",
                        bench::Format("%.0f us", c("async_median_us")),
                        bench::Format("floor %.0f us, itself %.2fx the curl loop", floor, floor / c("curl_median_us")),
                        bench::Format("%.2fx", c("async_median_us") / floor), "none: where the time goes", false, true});
    std::printf("  the asynchronous request, medians: exchange ended on the network thread after %.0f us (p90 %.0f), "
                "reply in the handler %.0f us later (p90 %.0f); the exchange itself takes about the curl loop's "
                "time, so the hand-over to the network thread takes about %.0f us\n",
                c("async_exchange_median_us"), c("async_exchange_p90_us"), c("async_handover_median_us"),
                c("async_handover_p90_us"), c("async_exchange_median_us") - c("curl_median_us"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int result = 1;
    try {
        result = kivora::bench::RunWithSummary(argc, argv, Summarize);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kivora_bench_request: %s\n", error.what());
    }
    curl_global_cleanup();
    return result;
}
