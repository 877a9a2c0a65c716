// kivora-demo-service: a stand-in for the service's web server, for running and
// testing the console without the real thing.

#include "DemoService.h"

#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <thread>

namespace {

constexpr int kMaxVisitors = 1000;
constexpr double kMaxSpeed = 100.0;

constexpr const char* kUsage =
    "usage: kivora-demo-service [--port N] [--refresh-seconds N] [--chat-poll-seconds N]\n"
    "                           [--autopilot] [--visitors N] [--speed X] [--seed N]\n"
    "\n"
    "Serves the console's endpoints on 127.0.0.1 until SIGTERM or SIGINT.\n"
    "  --port N               port to listen on, 0 picks a free one (default 8080)\n"
    "  --refresh-seconds N    refresh interval in the parameters reply (default 3)\n"
    "  --chat-poll-seconds N  chat poll interval in the parameters reply (default 2)\n"
    "  --autopilot            simulated visitors arrive, browse, ask for chats, chat\n"
    "                         with the operator who accepts and leave\n"
    "  --visitors N           population the autopilot keeps, 0 to 1000 (default 12)\n"
    "  --speed X              autopilot ticks per second, 0 to 100 (default 1); above 1\n"
    "                         simulated time runs that much faster; 0 ticks only on\n"
    "                         /_sim/tick\n"
    "  --seed N               the autopilot's random seed, for a repeatable run\n"
    "                         (default: from the time)\n"
    "  --help                 show this text\n"
    "\n"
    "Demo accounts on site \"site1\", password \"secret\": admin (administrator),\n"
    "anna and ben (operators), dora (always already logged in), eve (deactivated).\n"
    "\n"
    "Control requests (GET, never logged): /_sim/reset, /_sim/requests,\n"
    "/_sim/request?n=K, /_sim/state,\n"
    "/_sim/fault?mode=hang|close|error500|size|body|trickle&count=N[&size=B][&seconds=S][&body=ESCAPED]\n"
    "[&endpoint=NAME],\n"
    "/_sim/visitor/add?ip=IP&page=PATH[&status=S][&visits=N][&name=..][&email=..][&seconds=N]...,\n"
    "/_sim/visitor/request-chat?csesid=C, /_sim/visitor/remove?csesid=C, /_sim/visitors,\n"
    "/_sim/notice?operator=L&text=ESCAPED, /_sim/deactivate?operator=L,\n"
    "/_sim/presence/expire?operator=L, /_sim/down?seconds=N (answers ok, then refuses\n"
    "connections for N seconds, 1 to 3600, and comes back with its state),\n"
    "/_sim/chat/say?csesid=C&text=ESCAPED, /_sim/chat/typing?csesid=C,\n"
    "/_sim/chat/leave?csesid=C, /_sim/chat/lines?csesid=C, /_sim/chat/owner?csesid=C,\n"
    "/_sim/messages?operator=L,\n"
    "/_sim/autopilot?on=1|0[&visitors=N][&speed=X][&seed=N], /_sim/tick[?count=N],\n"
    "/_sim/advance?seconds=N\n";

template <typename Number>
bool ParseNumber(std::string_view text, Number& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size() && value >= 0;
}

// Accepts "--name value" and "--name=value"; returns 1 for handled, 0 for not this
// option, -1 for a bad or missing value.
template <typename Number>
int TakeNumberOption(const char* name, int argc, char** argv, int& i, Number& value)
{
    const std::string_view arg = argv[i];
    const std::size_t nameLength = std::strlen(name);
    if (!arg.starts_with(name))
        return 0;
    std::string_view text;
    if (arg.size() == nameLength) {
        if (i + 1 >= argc)
            return -1;
        text = argv[++i];
    } else if (arg[nameLength] == '=') {
        text = arg.substr(nameLength + 1);
    } else {
        return 0;
    }
    return ParseNumber(text, value) ? 1 : -1;
}

} // namespace

int main(int argc, char** argv)
{
    kivora::demo::Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::string_view(argv[i]) == "--autopilot") {
            options.autopilot = true;
            continue;
        }
        std::uint32_t seed = 0;
        int handled = TakeNumberOption("--port", argc, argv, i, options.port);
        if (handled == 0)
            handled = TakeNumberOption("--refresh-seconds", argc, argv, i, options.refreshSeconds);
        if (handled == 0)
            handled = TakeNumberOption("--chat-poll-seconds", argc, argv, i, options.chatPollSeconds);
        if (handled == 0)
            handled = TakeNumberOption("--visitors", argc, argv, i, options.visitors);
        if (handled == 0)
            handled = TakeNumberOption("--speed", argc, argv, i, options.speed);
        if (handled == 0 && (handled = TakeNumberOption("--seed", argc, argv, i, seed)) == 1)
            options.seed = seed;
        if (handled != 1 || options.port > 65535 || options.visitors > kMaxVisitors || options.speed > kMaxSpeed) {
            std::fprintf(stderr, "kivora-demo-service: bad argument \"%s\"\n%s", argv[i], kUsage);
            return 2;
        }
    }

    // Termination signals are taken by one thread with sigwait, so the server is
    // stopped from ordinary code; blocked before any thread starts so all inherit it.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    kivora::demo::CDemoService service(options);
    const int port = service.Bind();
    if (port < 0) {
        std::fprintf(stderr, "kivora-demo-service: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }

    std::thread signalWaiter([&service, &stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        service.Stop();
    });

    std::printf("kivora-demo-service listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);
    service.Serve();

    // Serve() also ends if the listener fails; wake the waiter so it can be joined.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    return 0;
}
