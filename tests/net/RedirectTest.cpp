// Redirects are followed only to the request's own scheme, host and port: the
// query can carry the password, and it must not reach anyone else.
#include "net/CurlTransport.h"
#include "session/Session.h"
#include "net/ServerLink.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

using namespace kivora;
using namespace kivora::net;

namespace {

// A plain HTTP server on a free loopback port. "/target" answers "target body";
// "/chain/N" redirects N times before reaching it; "/to?url=U" redirects to U.
class RedirectingServer {
public:
    RedirectingServer()
    {
        server.Get("/target", [this](const httplib::Request&, httplib::Response& response) {
            ++targetHits;
            response.set_content("target body", "text/html");
        });
        server.Get(R"(/chain/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
            const int left = std::stoi(request.matches[1]);
            response.set_redirect(left > 1 ? "/chain/" + std::to_string(left - 1) : "/target");
            response.set_content("moved", "text/html");
        });
        server.Get("/to", [](const httplib::Request& request, httplib::Response& response) {
            response.set_redirect(request.get_param_value("url"));
            response.set_content("moved", "text/html");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running() && server.is_valid())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~RedirectingServer()
    {
        server.stop();
        thread.join();
    }
    std::string Url(const std::string& host, const std::string& path) const
    {
        return "http://" + host + ":" + std::to_string(port) + path;
    }

    httplib::Server server;
    int port = 0;
    std::atomic<int> targetHits{0};
    std::thread thread;
};

TransportLimits ShortLimits()
{
    TransportLimits limits;
    limits.connectTimeoutMs = 5000;
    limits.totalTimeoutMs = 10'000;
    return limits;
}

TEST(Redirects, AreFollowedOnlyWithinTheSameOrigin)
{
    RedirectingServer server;
    RedirectingServer elsewhere;
    ASSERT_GT(server.port, 0);
    ASSERT_GT(elsewhere.port, 0);
    const std::string port = std::to_string(server.port);

    struct Case {
        const char* name;
        std::string requestHost;
        std::string path;
        bool followed;
    };
    const Case cases[] = {
        {"same host and port", "127.0.0.1", "/to?url=" + server.Url("127.0.0.1", "/target"), true},
        {"relative location", "127.0.0.1", "/to?url=/target", true},
        {"host name in other case", "localhost", "/to?url=" + server.Url("LocalHost", "/target"), true},
        {"ten in a row", "127.0.0.1", "/chain/10", true},
        {"eleven in a row", "127.0.0.1", "/chain/11", false},
        {"another host name", "127.0.0.1", "/to?url=" + server.Url("localhost", "/target"), false},
        {"another port", "127.0.0.1", "/to?url=" + elsewhere.Url("127.0.0.1", "/target"), false},
        {"another scheme", "127.0.0.1", "/to?url=https://127.0.0.1:" + port + "/target", false},
    };
    CCurlTransport transport(ShortLimits());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.targetHits = 0;
        elsewhere.targetHits = 0;
        TransportRequest request;
        request.host = c.requestHost;
        request.port = server.port;
        request.path = c.path;
        const TransportResult result = transport.Get(request);

        EXPECT_EQ(result.ok, c.followed) << result.error;
        if (c.followed) {
            EXPECT_EQ(result.body, "target body");
        } else {
            EXPECT_TRUE(result.body.empty()) << result.body;
            EXPECT_FALSE(result.error.empty());
            // The request, query and all, never reached the redirect's target.
            EXPECT_EQ(server.targetHits + elsewhere.targetHits, 0);
        }
    }
}

TEST(Redirects, TheLinkCountsARedirectElsewhereAsAFailure)
{
    RedirectingServer server;
    RedirectingServer elsewhere;
    ASSERT_GT(server.port, 0);
    test::FakeBrowser browser;
    CServerLink link(std::make_shared<CCurlTransport>(ShortLimits()));
    session::CSession session(link, &browser);
    session.SetAddress("127.0.0.1:" + std::to_string(server.port), "");

    std::string reply;
    EXPECT_FALSE(session.PerformRequest("/to?url=" + elsewhere.Url("127.0.0.1", "/target"), reply));
    EXPECT_EQ(session.FailureCount(), 1);
    EXPECT_NE(reply, "target body");
    EXPECT_EQ(elsewhere.targetHits, 0);
}

} // namespace
