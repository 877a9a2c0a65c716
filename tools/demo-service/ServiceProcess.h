#pragma once

// kivora-demo-service as a child process on a free loopback port, for the tests
// and the benchmarks that talk to it over real sockets.

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace kivora::demo {

class CServiceProcess final {
public:
    // How a stopped service ended.
    enum class Ending { NotRunning, Clean, Failed, Killed };

    // Starts binary with "--port 0" and the extra arguments and waits (at most 10 s)
    // for it to say where it listens; throws std::runtime_error if it does not. Its
    // request log on stderr is dropped unless keepLog.
    CServiceProcess(const std::string& binary, const std::vector<std::string>& extraArgs, bool keepLog);
    // Stops it, if Stop() was not called.
    ~CServiceProcess();
    CServiceProcess(const CServiceProcess&) = delete;
    CServiceProcess& operator=(const CServiceProcess&) = delete;

    int Port() const { return port; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port); }

    // SIGTERM, then SIGKILL after 5 s; reaps the process. For Failed, status holds
    // the wait status.
    Ending Stop(int* status = nullptr);

private:
    pid_t pid = -1;
    int stdoutFd = -1; // kept open so the service never writes into a closed pipe
    int port = 0;
};

// Every byte but letters and digits as %XX, which the service decodes back.
std::string EscapeForService(std::string_view text);

} // namespace kivora::demo
