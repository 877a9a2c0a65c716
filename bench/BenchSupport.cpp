#include "BenchSupport.h"

#include <httplib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kivora::bench {

namespace {

constexpr std::string_view kListeningPrefix = "kivora-demo-service listening on 127.0.0.1:";

std::string ReadFirstLine(int fd, std::chrono::steady_clock::time_point deadline)
{
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[256];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

} // namespace

CBenchService::CBenchService(const std::vector<std::string>& extraArgs)
{
    std::vector<std::string> args{KIVORA_DEMO_SERVICE_BINARY, "--port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("demo service: no pipe");
    stdoutFd = fds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    // Its request log would drown the figures.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Qt blocks some signals in this process; the service must start with defaults
    // so that SIGTERM ends it.
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
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    if (spawned != 0) {
        pid = -1;
        close(stdoutFd);
        throw std::runtime_error("demo service: cannot start " + args[0]);
    }
    const std::string line = ReadFirstLine(stdoutFd, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    if (line.starts_with(kListeningPrefix))
        port = std::atoi(line.c_str() + kListeningPrefix.size());
    if (port <= 0) {
        Stop();
        throw std::runtime_error("demo service: no listening line, got \"" + line + "\"");
    }
    client = std::make_unique<httplib::Client>("127.0.0.1", port);
    client->set_keep_alive(true);
    client->set_url_encode(false);
    client->set_connection_timeout(5);
    client->set_read_timeout(30);
}

CBenchService::~CBenchService()
{
    Stop();
}

void CBenchService::Stop()
{
    client.reset();
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        pid_t reaped = 0;
        while ((reaped = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (reaped == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = -1;
    }
    if (stdoutFd >= 0) {
        close(stdoutFd);
        stdoutFd = -1;
    }
}

std::optional<std::string> CBenchService::Get(const std::string& pathAndQuery)
{
    const auto result = client->Get(pathAndQuery);
    if (!result || result->status != 200)
        return std::nullopt;
    return result->body;
}

std::string CBenchService::AddVisitor(const std::string& query)
{
    const auto id = Get("/_sim/visitor/add?" + query);
    return id && id->size() == 18 ? *id : std::string();
}

std::string CBenchService::Escape(std::string_view text)
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

ProcessReading ReadProcess()
{
    ProcessReading reading;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        const auto value = [&line] { return std::atof(line.c_str() + line.find(':') + 1); };
        if (line.starts_with("VmRSS:"))
            reading.rssMiB = value() / 1024;
        else if (line.starts_with("VmHWM:"))
            reading.peakMiB = value() / 1024;
        else if (line.starts_with("Threads:"))
            reading.threads = static_cast<int>(value());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    reading.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return reading;
}

double Quantile(std::vector<double>& values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(std::floor(at));
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

} // namespace kivora::bench
