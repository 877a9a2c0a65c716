#include "DemoService.h"

#include "ChatControl.h"
#include "Endpoints.h"
#include "OperatorControl.h"
#include "VisitorControl.h"

#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <thread>

namespace kivora::demo {

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr std::string_view kControlPrefix = "/_sim/";

// Held requests each keep a worker busy; with the library's default handful of
// workers a few hangs would leave none for the control API that releases them.
constexpr std::size_t kWorkerThreads = 64;

constexpr auto kTrickleStep = std::chrono::milliseconds(100);

// Upper bounds that keep a mistyped control request from stalling the service.
constexpr int kMaxTicksPerRequest = 100000;
constexpr int kMaxAutopilotVisitors = 1000;
constexpr double kMaxAutopilotSpeed = 100.0;
constexpr int kMaxDownSeconds = 3600;

// How often a port someone else took during an outage is tried again.
constexpr auto kReopenRetry = std::chrono::milliseconds(200);

constexpr const char* kErrorPage =
    "<html><head><title>500 Internal Server Error</title></head>"
    "<body><h1>Internal Server Error</h1></body></html>\n";

// The HTTP library adds these to the request's headers itself; the client never sent them.
bool IsLibraryHeader(const std::string& name)
{
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

bool ParseIndex(const std::string& text, long long& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size();
}

// "/<prefix>/<endpoint>.php" with any single path word as prefix: the console takes
// its prefix from the parameters reply and must not depend on it being "cpn".
bool SplitEndpointPath(std::string_view path, std::string_view& prefix, std::string_view& endpoint)
{
    constexpr std::string_view kSuffix = ".php";
    if (!path.starts_with('/'))
        return false;
    path.remove_prefix(1);
    const auto slash = path.find('/');
    if (slash == 0 || slash == std::string_view::npos)
        return false;
    const std::string_view file = path.substr(slash + 1);
    if (file.find('/') != std::string_view::npos || file.size() <= kSuffix.size() || !file.ends_with(kSuffix))
        return false;
    prefix = path.substr(0, slash);
    endpoint = file.substr(0, file.size() - kSuffix.size());
    return true;
}

const char* ModeName(FaultMode mode)
{
    switch (mode) {
    case FaultMode::Hang:
        return "hang";
    case FaultMode::Close:
        return "close";
    case FaultMode::Error500:
        return "error500";
    case FaultMode::Size:
        return "size";
    case FaultMode::Body:
        return "body";
    case FaultMode::Trickle:
        return "trickle";
    }
    return "?";
}

} // namespace

std::string EndpointCall::Param(std::string_view name) const
{
    const std::string* value = FindParam(params, name);
    return value ? *value : std::string{};
}

CDemoService::CDemoService(Options options)
    : options_(options)
    , autopilot_(InitialAutopilot())
{
    server_.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    // Every exchange is its own connection, as the console's HTTP/1.0 requests expect;
    // this also makes the library answer "Connection: close".
    server_.set_keep_alive_max_count(1);
    // A connection that sends nothing is dropped after this long. Shutdown waits for such
    // connections, and the console always sends its request at once.
    server_.set_keep_alive_timeout(1);
    // The library's default would add SO_REUSEPORT, letting a second demo service share
    // a fixed port silently instead of failing to start.
    server_.set_socket_options([this](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        listenSocket_ = sock;
    });
    const auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
    server_.Get(".*", handler);
    // Answered and logged too, so that a console sending the wrong method shows in the log.
    server_.Post(".*", handler);
    RegisterDemoEndpoints(*this);
    ticker_ = std::thread([this] { RunTicker(); });
}

CDemoService::~CDemoService()
{
    Stop();
    if (ticker_.joinable())
        ticker_.join();
}

AutopilotSettings CDemoService::InitialAutopilot() const
{
    AutopilotSettings settings;
    settings.on = options_.autopilot;
    settings.visitors = options_.visitors;
    settings.speed = options_.speed;
    settings.seed = options_.seed.value_or(
        static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    return settings;
}

void CDemoService::RunTicker()
{
    std::unique_lock lock(mutex_);
    auto next = std::chrono::steady_clock::now() + autopilot_.Interval();
    while (!stopping_) {
        // Resets also notify wake_; only a stop ends the wait early.
        if (wake_.wait_until(lock, next, [this] { return stopping_; }))
            break;
        if (autopilot_.Running()) {
            state_.clock.Advance(autopilot_.ClockStep());
            autopilot_.Tick(state_);
        }
        next = std::chrono::steady_clock::now() + autopilot_.Interval();
    }
}

void CDemoService::AddEndpoint(std::string name, EndpointHandler handler)
{
    AddPageEndpoint(std::move(name), [handler = std::move(handler)](const EndpointCall& call, ServiceState& state) {
        return EndpointReply{handler(call, state)};
    });
}

void CDemoService::AddPageEndpoint(std::string name, PageHandler handler)
{
    std::lock_guard lock(mutex_);
    endpoints_[std::move(name)] = std::move(handler);
}

int CDemoService::Bind()
{
    port_ = Open(options_.port);
    return port_;
}

int CDemoService::Open(int port)
{
    int bound = -1;
    if (port == 0)
        bound = server_.bind_to_any_port(kHost);
    else if (server_.bind_to_port(kHost, port))
        bound = port;
    // The library listens with a queue of five, so a console whose chat windows all
    // poll at once saw connections dropped and retried a second later. Listening again
    // on the bound socket widens the queue.
    if (bound > 0 && listenSocket_ >= 0)
        listen(listenSocket_, SOMAXCONN);
    return bound;
}

void CDemoService::Serve()
{
    serving_ = true;
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        listening_ = true;
        lock.unlock();
        // Returns once the listener is closed by Stop() or /_sim/down, or has failed,
        // and every worker has finished.
        server_.listen_after_bind();
        lock.lock();
        listening_ = false;
        if (!downUntil_)
            break;
        // Closed, as a service that is not running: connecting is refused.
        const auto until = *downUntil_;
        if (wake_.wait_until(lock, until, [this] { return stopping_; }))
            break;
        downUntil_.reset();
        // Bound with the lock held, so a Stop() meanwhile finds it listening.
        for (bool told = false; !stopping_ && Open(port_) < 0; told = true) {
            if (!told)
                std::fprintf(stderr, "kivora-demo-service: cannot listen on %s again, retrying\n", HostPort().c_str());
            wake_.wait_for(lock, kReopenRetry, [this] { return stopping_; });
        }
    }
    serving_ = false;
}

void CDemoService::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    // Between Serve() opening a listener and the library marking itself running, a stop
    // would be lost; wait until it is running or Serve() has ended (which it does at
    // once when it is in an outage).
    while (serving_ && !server_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    {
        std::lock_guard lock(mutex_);
        if (listening_ && server_.is_running()) {
            server_.stop();
            listening_ = false;
        }
    }
    while (serving_)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void CDemoService::GoDownLocked(std::chrono::steady_clock::duration duration)
{
    const auto until = std::chrono::steady_clock::now() + duration;
    downUntil_ = downUntil_ ? std::max(*downUntil_, until) : until;
    // Closing the listener refuses new connections at once; the reply to the request
    // that asked for this still goes out on its own connection.
    if (listening_) {
        server_.stop();
        listening_ = false;
    }
    // Held requests let go, so that the listener's workers finish and Serve() can go on.
    wake_.notify_all();
}

bool CDemoService::Released(std::uint64_t generation) const
{
    return stopping_ || downUntil_ || generation_ != generation;
}

std::string CDemoService::HostPort() const
{
    return std::string(kHost) + ':' + std::to_string(port_);
}

void CDemoService::Handle(const httplib::Request& req, httplib::Response& res)
{
    if (req.path.starts_with(kControlPrefix)) {
        HandleControl(req, res);
        return;
    }

    LoggedRequest entry;
    entry.requestLine = req.method + ' ' + req.target + ' ' + req.version;
    for (const auto& [name, value] : req.headers) {
        if (!IsLibraryHeader(name))
            entry.headers.emplace_back(name, value);
    }
    entry.params = ParseQuery(QueryOf(req.target));
    // A copy: a held request must not point into a log that grows meanwhile.
    const QueryParams params = entry.params;

    std::unique_lock lock(mutex_);
    std::fprintf(stderr, "%s\n", entry.requestLine.c_str());
    log_.push_back(std::move(entry));
    std::string_view prefix;
    std::string_view endpoint;
    SplitEndpointPath(req.path, prefix, endpoint);
    Fault fault;
    if (TakeFault(endpoint, fault))
        ApplyFault(std::move(fault), req.path, params, lock, res);
    else
        SendReply(res, Route(req.path, params));
}

bool CDemoService::TakeFault(std::string_view endpoint, Fault& fault)
{
    const auto found =
        std::find_if(faults_.begin(), faults_.end(), [&](const Fault& f) { return AppliesTo(f, endpoint); });
    if (found == faults_.end())
        return false;
    fault = *found;
    if (--found->remaining == 0)
        faults_.erase(found);
    return true;
}

// Hang, close and trickle without a size run the request normally, as a server that
// worked but answered badly would; the other modes leave the state untouched.
void CDemoService::ApplyFault(Fault fault, const std::string& path, const QueryParams& params,
                              std::unique_lock<std::mutex>& lock, httplib::Response& res)
{
    switch (fault.mode) {
    case FaultMode::Hang: {
        const auto generation = generation_;
        wake_.wait_for(lock, std::chrono::seconds(fault.seconds), [&] { return Released(generation); });
        if (stopping_ || downUntil_)
            SendCutShort(res, Route(path, params).body);
        else
            SendReply(res, Route(path, params));
        return;
    }
    case FaultMode::Close:
        SendCutShort(res, Route(path, params).body);
        return;
    case FaultMode::Error500:
        SendReply(res, {500, kErrorPage, "text/html"});
        return;
    case FaultMode::Size:
        SendFiller(res, fault.size.value_or(0));
        return;
    case FaultMode::Body:
        SendReply(res, {200, fault.body});
        return;
    case FaultMode::Trickle:
        SendTrickle(res, fault.size ? Filler(0, *fault.size) : Route(path, params).body, generation_);
        return;
    }
}

CDemoService::Reply CDemoService::Route(const std::string& path, const QueryParams& params)
{
    std::string_view prefix;
    std::string_view name;
    if (!SplitEndpointPath(path, prefix, name))
        return {404, "not found\n"};
    const auto found = endpoints_.find(name);
    if (found == endpoints_.end())
        return {200, ""};
    const std::string hostPort = HostPort();
    const EndpointCall call{params, prefix, hostPort, options_};
    EndpointReply reply = found->second(call, state_);
    return {200, std::move(reply.body), std::move(reply.contentType)};
}

void CDemoService::HandleControl(const httplib::Request& req, httplib::Response& res)
{
    const std::string_view command = std::string_view(req.path).substr(kControlPrefix.size());
    QueryParams params = ParseQuery(QueryOf(req.target));
    // A POST body holds more parameters in the same form, for values longer than the
    // HTTP library lets a request line be (8 KiB). It caps form-encoded bodies at 8 KiB
    // too, so callers send it under another type, e.g. text/plain.
    if (req.method == "POST") {
        QueryParams more = ParseQuery(req.body);
        params.insert(params.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    std::lock_guard lock(mutex_);

    if (command == "reset") {
        ResetLocked();
        SendReply(res, {200, "ok"});
    } else if (command == "requests") {
        std::string lines;
        for (const auto& entry : log_)
            lines += entry.requestLine + '\n';
        SendReply(res, {200, lines});
    } else if (command == "request") {
        long long index = -1;
        const std::string* text = FindParam(params, "n");
        if (text && !ParseIndex(*text, index)) {
            SendReply(res, {400, "n must be a whole number\n"});
            return;
        }
        const auto count = static_cast<long long>(log_.size());
        if (index < 0)
            index += count;
        if (index < 0 || index >= count)
            SendReply(res, {404, "no such request\n"});
        else
            SendReply(res, {200, DescribeRequest(log_[static_cast<std::size_t>(index)])});
    } else if (command == "fault") {
        std::string error;
        auto fault = ParseFault(params, error);
        if (!fault) {
            SendReply(res, {400, error + '\n'});
            return;
        }
        faults_.push_back(std::move(*fault));
        SendReply(res, {200, "ok"});
    } else if (command == "down") {
        int seconds = 0;
        const std::string* text = FindParam(params, "seconds");
        if (text == nullptr || !ParseWhole(*text, seconds) || seconds < 1 || seconds > kMaxDownSeconds) {
            SendReply(res, {400, "down needs seconds=N from 1 to 3600\n"});
            return;
        }
        GoDownLocked(std::chrono::seconds(seconds));
        SendReply(res, {200, "ok"});
    } else if (command == "state") {
        SendReply(res, {200, DescribeState()});
    } else if (auto reply = HandleVisitorControl(command, params, state_)) {
        SendReply(res, {reply->status, std::move(reply->body)});
    } else if (auto chatReply = HandleChatControl(command, params, state_)) {
        SendReply(res, {chatReply->status, std::move(chatReply->body)});
    } else if (auto operatorReply = HandleOperatorControl(command, params, state_)) {
        SendReply(res, {operatorReply->status, std::move(operatorReply->body)});
    } else if (auto timeReply = HandleTimeControl(command, params)) {
        SendReply(res, *timeReply);
    } else {
        SendReply(res, {404, "unknown control request\n"});
    }
}

std::optional<CDemoService::Reply> CDemoService::HandleTimeControl(std::string_view command,
                                                                  const QueryParams& params)
{
    const std::string* on = FindParam(params, "on");
    const std::string* visitors = FindParam(params, "visitors");
    const std::string* speed = FindParam(params, "speed");
    const std::string* seed = FindParam(params, "seed");
    const std::string* count = FindParam(params, "count");
    const std::string* seconds = FindParam(params, "seconds");

    if (command == "autopilot") {
        int target = autopilot_.Settings().visitors;
        double ticksPerSecond = autopilot_.Settings().speed;
        std::uint32_t newSeed = 0;
        if (on == nullptr || (*on != "0" && *on != "1"))
            return Reply{400, "autopilot needs on=1 or on=0\n"};
        if (visitors && (!ParseWhole(*visitors, target) || target < 0 || target > kMaxAutopilotVisitors))
            return Reply{400, "visitors must be a whole number from 0 to 1000\n"};
        if (speed && (!ParseWhole(*speed, ticksPerSecond) || !(ticksPerSecond >= 0) ||
                      ticksPerSecond > kMaxAutopilotSpeed))
            return Reply{400, "speed must be a number from 0 to 100\n"};
        if (seed && !ParseWhole(*seed, newSeed))
            return Reply{400, "seed must be a whole number\n"};
        if (seed) {
            AutopilotSettings settings = autopilot_.Settings();
            settings.seed = newSeed;
            autopilot_ = CAutopilot(settings); // a new seed starts a fresh, repeatable run
        }
        autopilot_.SetOn(*on == "1");
        autopilot_.SetTarget(target);
        autopilot_.SetSpeed(ticksPerSecond);
        return Reply{200, "ok"};
    }
    if (command == "tick") {
        int ticks = 1;
        if (count && (!ParseWhole(*count, ticks) || ticks < 1 || ticks > kMaxTicksPerRequest))
            return Reply{400, "count must be a whole number from 1 to 100000\n"};
        for (int i = 0; i < ticks; ++i) {
            state_.clock.Advance(std::chrono::seconds(1));
            if (autopilot_.Settings().on)
                autopilot_.Tick(state_);
        }
        return Reply{200, "ok"};
    }
    if (command == "advance") {
        int by = 0;
        if (seconds == nullptr || !ParseWhole(*seconds, by) || by < 0)
            return Reply{400, "advance needs seconds=N\n"};
        state_.clock.Advance(std::chrono::seconds(by));
        return Reply{200, "ok"};
    }
    return std::nullopt;
}

void CDemoService::ResetLocked()
{
    log_.clear();
    faults_.clear();
    const std::uint64_t nextVisitor = state_.visitors.NextNumber();
    state_ = ServiceState{};
    state_.visitors.ContinueNumbering(nextVisitor);
    autopilot_ = CAutopilot(InitialAutopilot());
    ++generation_;
    wake_.notify_all();
}

std::string CDemoService::DescribeRequest(const LoggedRequest& entry) const
{
    std::string out = entry.requestLine + '\n';
    for (const auto& [name, value] : entry.headers)
        out += "header: " + name + ": " + value + '\n';
    for (const auto& param : entry.params)
        out += "param: " + param.name + '=' + param.value + '\n';
    return out;
}

std::string CDemoService::DescribeState() const
{
    std::string out = "service " + HostPort() + " refresh " + std::to_string(options_.refreshSeconds) +
                      "s chat-poll " + std::to_string(options_.chatPollSeconds) + "s\n";
    for (const auto& account : state_.accounts.All()) {
        out += "account " + account.site + '/' + account.loginId + ' ' + KindName(account.kind) +
               (account.online ? " online\n" : " offline\n");
    }
    for (const auto& fault : faults_)
        out += std::string("fault ") + ModeName(fault.mode) + " x" + std::to_string(fault.remaining) +
               (fault.endpoint.empty() ? "" : " on " + fault.endpoint) + '\n';
    out += "visitors " + std::to_string(state_.visitors.All().size()) + " clock +" +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(state_.clock.Offset()).count()) + "s\n";
    out += "operator messages " + std::to_string(state_.messages.Count()) + '\n';
    out += autopilot_.Describe();
    out += "requests logged " + std::to_string(log_.size()) + '\n';
    return out;
}

void CDemoService::SendReply(httplib::Response& res, const Reply& reply)
{
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
}

void CDemoService::SendFiller(httplib::Response& res, std::size_t size)
{
    if (size == 0) {
        SendReply(res, {});
        return;
    }
    res.set_content_provider(size, "text/plain",
                             [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 const std::string chunk = Filler(offset, std::min<std::size_t>(length, 64 * 1024));
                                 return sink.write(chunk.data(), chunk.size());
                             });
}

// Announces the whole body but sends only its first half before the provider gives
// up, which makes the library drop the connection: the client sees a short read.
void CDemoService::SendCutShort(httplib::Response& res, std::string body)
{
    if (body.size() < 2)
        body = Filler(0, 64);
    const std::size_t announced = body.size();
    res.set_content_provider(announced, "text/plain",
                             [body = std::move(body)](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset == 0)
                                     sink.write(body.data(), body.size() / 2);
                                 return false;
                             });
}

void CDemoService::SendTrickle(httplib::Response& res, std::string body, std::uint64_t generation)
{
    if (body.empty()) {
        SendReply(res, {});
        return;
    }
    const std::size_t length = body.size();
    res.set_content_provider(
        length, "text/plain",
        [this, body = std::move(body), generation](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            {
                std::unique_lock lock(mutex_);
                // A reset, outage or shutdown abandons the reply rather than keep a worker
                // for minutes.
                if (wake_.wait_for(lock, kTrickleStep, [&] { return Released(generation); }))
                    return false;
            }
            return sink.write(body.data() + offset, 1);
        });
}

} // namespace kivora::demo
