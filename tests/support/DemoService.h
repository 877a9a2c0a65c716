#pragma once

// Runs kivora-demo-service as a child process for one test and talks to it over
// HTTP: its control API for the request log and faults, plain GETs for the rest.

#include "ServiceProcess.h"

#include <memory>
#include <string>
#include <vector>

namespace kivora::test {

class CDemoService final {
public:
    // Starts the service on a free port with the extra arguments and waits (at most
    // 10 s) for it to say where it listens; throws std::runtime_error if it does not.
    explicit CDemoService(std::vector<std::string> extraArgs = {});
    // Ends the process (SIGTERM, then SIGKILL) and reaps it; a service that had to be
    // killed or exited unsuccessfully fails the running test.
    ~CDemoService();

    CDemoService(const CDemoService&) = delete;
    CDemoService& operator=(const CDemoService&) = delete;

    int Port() const { return process->Port(); }
    std::string HostPort() const { return process->HostPort(); } // "127.0.0.1:PORT"

    // GET on the service with pathAndQuery sent as is (already escaped); the body of a 200 reply, "" for any other status or a failed exchange.
    std::string Get(const std::string& pathAndQuery);
    // The logged request lines, oldest first.
    std::vector<std::string> RequestLines();
    // /_sim/request?n=N: request line, "header: " and "param: " lines; "" when out of range.
    std::string Request(int n);
    // These two throw std::runtime_error when the service does not answer "ok".
    void Reset();
    // extraQuery is appended as is, e.g. "size=1048576" or "seconds=5".
    void Fault(const std::string& mode, int count = 1, const std::string& extraQuery = "");
    // GET /_sim/<commandAndQuery>, e.g. "tick?count=10"; throws unless it answers "ok".
    void Control(const std::string& commandAndQuery);
    // /_sim/visitor/add with the query sent as is; returns the new visitor's session id
    // and throws when the service refuses.
    std::string AddVisitor(const std::string& query = "");

    // The visitor of chat `sessionId` says `text` (plain text, escaped here); throws when
    // there is no such open chat.
    void VisitorSays(const std::string& sessionId, const std::string& text);
    // /_sim/chat/lines: "N<TAB>text" per line, then "closed" when it is; "" for no such chat.
    std::string ChatLines(const std::string& sessionId);
    // /_sim/messages: "FROM<TAB>TEXT<TAB>read|unread" per message to `loginId`.
    std::string Messages(const std::string& loginId);
    // /_sim/chat/owner: the chat's owner, "" for no such chat.
    std::string ChatOwner(const std::string& sessionId);

    // Every byte but letters and digits as %XX, which the service decodes back.
    static std::string Escape(const std::string& text) { return demo::EscapeForService(text); }

private:
    std::unique_ptr<demo::CServiceProcess> process;
};

// "127.0.0.1:PORT" with a port the kernel just handed out and nobody took since:
// connecting there is refused.
std::string ClosedHostPort();

} // namespace kivora::test
