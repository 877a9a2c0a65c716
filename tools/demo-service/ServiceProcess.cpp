#include "ServiceProcess.h"

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

namespace kivora::demo {

namespace {

constexpr std::string_view kListeningPrefix = "kivora-demo-service listening on 127.0.0.1:";
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(5);

// Reads up to the first newline, giving up at the deadline or when the pipe closes.
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

CServiceProcess::CServiceProcess(const std::string& binary, const std::vector<std::string>& extraArgs, bool keepLog)
{
    std::vector<std::string> args{binary, "--port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("demo service: cannot create a pipe");
    stdoutFd = fds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (!keepLog)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The parent may block or ignore signals (Qt does for some); the service must
    // start with defaults so that SIGTERM ends it.
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
        throw std::runtime_error("demo service: cannot start " + binary);
    }

    const std::string line = ReadFirstLine(stdoutFd, std::chrono::steady_clock::now() + kStartTimeout);
    if (line.starts_with(kListeningPrefix))
        port = std::atoi(line.c_str() + kListeningPrefix.size());
    if (port <= 0) {
        Stop();
        throw std::runtime_error("demo service: no listening line, got \"" + line + "\"");
    }
}

CServiceProcess::~CServiceProcess()
{
    Stop();
}

CServiceProcess::Ending CServiceProcess::Stop(int* status)
{
    Ending ending = Ending::NotRunning;
    if (pid > 0) {
        kill(pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        int waitStatus = 0;
        pid_t reaped = 0;
        while ((reaped = waitpid(pid, &waitStatus, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (reaped == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &waitStatus, 0);
            ending = Ending::Killed;
        } else if (reaped == pid && WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0) {
            ending = Ending::Clean;
        } else {
            ending = Ending::Failed;
        }
        if (status)
            *status = waitStatus;
        pid = -1;
    }
    if (stdoutFd >= 0) {
        close(stdoutFd);
        stdoutFd = -1;
    }
    return ending;
}

std::string EscapeForService(std::string_view text)
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

} // namespace kivora::demo
