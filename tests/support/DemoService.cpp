#include "support/DemoService.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kivora::test {

namespace {

constexpr const char* kListeningPrefix = "kivora-demo-service listening on 127.0.0.1:";
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(5);

// Each request line goes to the service's stderr; it only reaches the test output
// when asked for, to keep test logs readable.
bool ServiceLogWanted()
{
    const char* value = std::getenv("KIVORA_DEMO_SERVICE_LOG");
    return value != nullptr && *value != '\0' && std::string(value) != "0";
}

// Reads up to the first newline, giving up at the deadline or when the pipe closes.
std::string ReadFirstLine(int fd, std::chrono::steady_clock::time_point deadline)
{
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[256];
        const ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

} // namespace

CDemoService::CDemoService(std::vector<std::string> extraArgs)
{
    try {
        Start(extraArgs);
    } catch (...) {
        Terminate();
        throw;
    }
}

CDemoService::~CDemoService()
{
    Terminate();
}

void CDemoService::Start(const std::vector<std::string>& extraArgs)
{
    std::vector<std::string> args{KIVORA_DEMO_SERVICE_BINARY, "--port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("demo service: cannot create a pipe");
    stdoutFd_ = pipeFds[0];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (!ServiceLogWanted())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    // The test process may block or ignore signals (Qt does for some); the service
    // must start with defaults so that SIGTERM ends it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int spawned = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[1]);
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error(std::string("demo service: cannot start ") + argv[0]);
    }

    const std::string line = ReadFirstLine(stdoutFd_, std::chrono::steady_clock::now() + kStartTimeout);
    if (!line.starts_with(kListeningPrefix))
        throw std::runtime_error("demo service: no listening line, got \"" + line + "\"");
    port_ = std::atoi(line.c_str() + std::char_traits<char>::length(kListeningPrefix));
    if (port_ <= 0)
        throw std::runtime_error("demo service: bad listening line \"" + line + "\"");
}

void CDemoService::Terminate()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        int status = 0;
        pid_t reaped = 0;
        while ((reaped = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (reaped == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            ADD_FAILURE() << "demo service did not end on SIGTERM within 5 s and was killed";
        } else if (reaped == pid_ && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
            ADD_FAILURE() << "demo service ended unsuccessfully, wait status " << status;
        }
        pid_ = -1;
    }
    if (stdoutFd_ >= 0) {
        close(stdoutFd_);
        stdoutFd_ = -1;
    }
}

std::string CDemoService::HostPort() const
{
    return "127.0.0.1:" + std::to_string(port_);
}

std::string CDemoService::Get(const std::string& pathAndQuery)
{
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(5);
    client.set_read_timeout(15);
    // The caller's escapes are what the service should see; left on, the client would
    // re-escape '+', ',' and the like.
    client.set_url_encode(false);
    const auto result = client.Get(pathAndQuery);
    if (!result || result->status != 200)
        return {};
    return result->body;
}

std::vector<std::string> CDemoService::RequestLines()
{
    const std::string text = Get("/_sim/requests");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string CDemoService::Request(int n)
{
    return Get("/_sim/request?n=" + std::to_string(n));
}

void CDemoService::Reset()
{
    if (Get("/_sim/reset") != "ok")
        throw std::runtime_error("demo service: reset failed");
}

void CDemoService::Fault(const std::string& mode, int count, const std::string& extraQuery)
{
    std::string query = "/_sim/fault?mode=" + mode + "&count=" + std::to_string(count);
    if (!extraQuery.empty())
        query += '&' + extraQuery;
    if (Get(query) != "ok")
        throw std::runtime_error("demo service: fault request failed: " + query);
}

void CDemoService::Control(const std::string& commandAndQuery)
{
    if (Get("/_sim/" + commandAndQuery) != "ok")
        throw std::runtime_error("demo service: control request failed: " + commandAndQuery);
}

std::string CDemoService::AddVisitor(const std::string& query)
{
    const std::string sessionId = Get("/_sim/visitor/add?" + query);
    if (sessionId.size() != 18)
        throw std::runtime_error("demo service: visitor not added: " + query);
    return sessionId;
}

void CDemoService::VisitorSays(const std::string& sessionId, const std::string& text)
{
    Control("chat/say?csesid=" + sessionId + "&text=" + Escape(text));
}

std::string CDemoService::ChatLines(const std::string& sessionId)
{
    return Get("/_sim/chat/lines?csesid=" + sessionId);
}

std::string CDemoService::Messages(const std::string& loginId)
{
    return Get("/_sim/messages?operator=" + Escape(loginId));
}

std::string CDemoService::ChatOwner(const std::string& sessionId)
{
    return Get("/_sim/chat/owner?csesid=" + sessionId);
}

std::string CDemoService::Escape(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte)) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

} // namespace kivora::test
