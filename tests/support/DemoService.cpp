#include "support/DemoService.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace kivora::test {

namespace {

// Each request line goes to the service's stderr; it only reaches the test output
// when asked for, to keep test logs readable.
bool ServiceLogWanted()
{
    const char* value = std::getenv("KIVORA_DEMO_SERVICE_LOG");
    return value != nullptr && *value != '\0' && std::string(value) != "0";
}

} // namespace

CDemoService::CDemoService(std::vector<std::string> extraArgs)
    : process(std::make_unique<demo::CServiceProcess>(KIVORA_DEMO_SERVICE_BINARY, extraArgs, ServiceLogWanted()))
{
}

CDemoService::~CDemoService()
{
    int status = 0;
    switch (process->Stop(&status)) {
    case demo::CServiceProcess::Ending::Killed:
        ADD_FAILURE() << "demo service did not end on SIGTERM within 5 s and was killed";
        break;
    case demo::CServiceProcess::Ending::Failed:
        ADD_FAILURE() << "demo service ended unsuccessfully, wait status " << status;
        break;
    default:
        break;
    }
}

std::string CDemoService::Get(const std::string& pathAndQuery)
{
    httplib::Client client("127.0.0.1", Port());
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

std::string ClosedHostPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

} // namespace kivora::test
