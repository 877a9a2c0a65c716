#pragma once

// The simulated service: an HTTP server on 127.0.0.1 answering the console's
// endpoints from in-memory state, logging what it was sent, misbehaving on request
// through the /_sim/ control API, and filling the site with simulated visitors while
// its autopilot runs.

#include "Autopilot.h"
#include "Faults.h"
#include "Query.h"
#include "ServiceState.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace kivora::demo {

struct Options {
    int port = 8080; // 0 picks a free port
    int refreshSeconds = 3;
    int chatPollSeconds = 2;
    bool autopilot = false; // simulated visitors from the start, and again after each reset
    int visitors = 12;      // the population the autopilot keeps
    double speed = 1.0;     // autopilot ticks per second; 0 ticks only on /_sim/tick
    std::optional<std::uint32_t> seed; // the autopilot's; from the time when not given
};

// What an endpoint handler gets to see of its request and of the service.
struct EndpointCall {
    const QueryParams& params;
    std::string_view prefix; // the path word before the endpoint, "cpn" at first
    std::string_view hostPort;
    const Options& options;

    // Decoded value of the first parameter of that name, empty when absent.
    std::string Param(std::string_view name) const;
};

// Runs under the service's one mutex and returns the body of a 200 text/plain reply.
using EndpointHandler = std::function<std::string(const EndpointCall& call, ServiceState& state)>;

struct EndpointReply {
    std::string body;
    std::string contentType = "text/plain";
};

// The same for an endpoint that chooses its content type, e.g. the pages the console
// opens in a browser.
using PageHandler = std::function<EndpointReply(const EndpointCall& call, ServiceState& state)>;

struct LoggedRequest {
    std::string requestLine; // as received: method, raw target, version
    std::vector<std::pair<std::string, std::string>> headers;
    QueryParams params; // decoded, in the order received
};

class CDemoService final {
public:
    // Registers the demo endpoints; more can be added before Serve().
    explicit CDemoService(Options options);
    ~CDemoService();

    CDemoService(const CDemoService&) = delete;
    CDemoService& operator=(const CDemoService&) = delete;

    // `name` is the endpoint's file name without ".php", e.g. "w-login".
    void AddEndpoint(std::string name, EndpointHandler handler);
    void AddPageEndpoint(std::string name, PageHandler handler);

    // Binds 127.0.0.1 on the configured port; returns the bound port or -1.
    int Bind();
    // Serves until Stop(); call after a successful Bind(). Outages asked for with
    // /_sim/down are spent in here, the port closed, and then it binds and serves again.
    void Serve();
    // Safe from any thread but a request handler's; returns once serving has ended.
    void Stop();

    int Port() const { return port_; }
    std::string HostPort() const;

private:
    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "text/plain";
    };

    // Binds 127.0.0.1:port (0: a free one) and widens the listen queue; the port or -1.
    int Open(int port);
    void Handle(const httplib::Request& req, httplib::Response& res);
    void HandleControl(const httplib::Request& req, httplib::Response& res);
    void ApplyFault(Fault fault, const std::string& path, const QueryParams& params,
                    std::unique_lock<std::mutex>& lock, httplib::Response& res);

    // All below run with mutex_ held.
    Reply Route(const std::string& path, const QueryParams& params);
    // The first queued fault for a request to `endpoint`, counted down.
    bool TakeFault(std::string_view endpoint, Fault& fault);
    std::string DescribeRequest(const LoggedRequest& entry) const;
    std::string DescribeState() const;
    void ResetLocked();
    // Closes the port for `duration`; Serve() opens it again.
    void GoDownLocked(std::chrono::steady_clock::duration duration);
    // Whether a held request should let go: the service stops, goes down, or has been
    // reset since `generation`.
    bool Released(std::uint64_t generation) const;
    // /_sim/autopilot, /_sim/tick and /_sim/advance.
    std::optional<Reply> HandleTimeControl(std::string_view command, const QueryParams& params);
    AutopilotSettings InitialAutopilot() const;
    // Ticks the autopilot while it runs, until Stop().
    void RunTicker();

    // Reply helpers; they only fill `res`, the bytes go out after the handler returns.
    static void SendReply(httplib::Response& res, const Reply& reply);
    static void SendFiller(httplib::Response& res, std::size_t size);
    static void SendCutShort(httplib::Response& res, std::string body);
    void SendTrickle(httplib::Response& res, std::string body, std::uint64_t generation);

    const Options options_;
    int port_ = -1;
    int listenSocket_ = -1;
    httplib::Server server_;

    mutable std::mutex mutex_;
    // Wakes held requests on reset and shutdown.
    std::condition_variable wake_;
    ServiceState state_;
    std::vector<LoggedRequest> log_;
    std::deque<Fault> faults_;
    std::map<std::string, PageHandler, std::less<>> endpoints_;
    // Bumped by every reset, so a held request knows it has been released.
    std::uint64_t generation_ = 0;
    bool stopping_ = false;
    // The bound socket is open and its listener running or about to; whoever closes it
    // clears this, so that the library's stop() runs once per listener.
    bool listening_ = false;
    // Set while the port is closed by /_sim/down: when it opens again.
    std::optional<std::chrono::steady_clock::time_point> downUntil_;
    CAutopilot autopilot_;

    std::atomic<bool> serving_{false};
    std::thread ticker_; // last: it starts once everything else is set up
};

} // namespace kivora::demo
