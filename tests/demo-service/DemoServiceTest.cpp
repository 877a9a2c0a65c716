// The demo service as the console and the other tests see it: over HTTP, through
// its endpoints and its /_sim/ control API.

#include "support/DemoService.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kivora::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

httplib::Result Fetch(int port, const std::string& pathAndQuery)
{
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5);
    client.set_read_timeout(30);
    client.set_url_encode(false);
    return client.Get(pathAndQuery);
}

// Sends `request` byte for byte and returns all the service sent back before it
// closed. httplib::Client always speaks HTTP/1.1; this is how a test sends 1.0.
std::string RawExchange(int port, const std::string& request)
{
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0)
        return {};
    timeval timeout{10, 0};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        send(sock, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = recv(sock, buffer, sizeof(buffer), 0)) > 0)
            reply.append(buffer, static_cast<std::size_t>(got));
    }
    close(sock);
    return reply;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& start)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        auto end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(from, end - from);
        if (line.starts_with(start))
            lines.push_back(line);
        from = end + 1;
    }
    return lines;
}

// --- Parameters and plain replies -------------------------------------------------

TEST(DemoServiceParameters, ReplyCarriesTheIntervalsOwnAddressAndPrefix)
{
    CDemoService service({"--refresh-seconds", "7", "--chat-poll-seconds", "5"});
    const std::string expected = "7<fld>5<fld>" + service.HostPort() + "<fld>cpn";
    EXPECT_EQ(service.Get("/cpn/w-param.php?stid=site1"), expected);
    // The console switches to the prefix it was given; any path word must work.
    EXPECT_EQ(service.Get("/other/w-param.php?stid=site1"), expected);
}

TEST(DemoServiceParameters, IntervalsDefaultToThreeAndTwoSeconds)
{
    CDemoService service;
    EXPECT_EQ(service.Get("/cpn/w-param.php?stid=site1"), "3<fld>2<fld>" + service.HostPort() + "<fld>cpn");
}

TEST(DemoServiceReplies, AnswerIsPlainTextOnAConnectionThatCloses)
{
    CDemoService service;
    const std::string reply =
        RawExchange(service.Port(), "GET /cpn/w-param.php?stid=site1 HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 200 ")) << reply;
    EXPECT_NE(reply.find("\r\nContent-Type: text/plain\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\r\nConnection: close\r\n"), std::string::npos) << reply;
    EXPECT_TRUE(reply.ends_with("\r\n\r\n3<fld>2<fld>" + service.HostPort() + "<fld>cpn")) << reply;
}

TEST(DemoServiceReplies, UnknownEndpointIsEmptyAndForeignPathIsNotFound)
{
    CDemoService service;
    const auto unknown = Fetch(service.Port(), "/cpn/w-nothing.php?stid=site1");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 200);
    EXPECT_EQ(unknown->body, "");
    for (const char* path : {"/", "/w-param.php", "/a/b/w-param.php", "/cpn/w-param.txt"}) {
        const auto outside = Fetch(service.Port(), path);
        ASSERT_TRUE(outside) << path;
        EXPECT_EQ(outside->status, 404) << path;
    }
    EXPECT_EQ(service.RequestLines().size(), 5u);
}

// --- Login --------------------------------------------------------------------------

class DemoServiceLogin : public ::testing::Test {
protected:
    std::string Login(const std::string& loginId, const std::string& site, const std::string& password)
    {
        return service.Get("/cpn/w-login.php?loginid=" + loginId + "&stid=" + site + "&pwd=" + password);
    }

    CDemoService service;
};

TEST_F(DemoServiceLogin, EachAccountGivesItsOutcome)
{
    struct Case {
        const char* loginId;
        const char* site;
        const char* password;
        const char* reply;
    };
    const Case cases[] = {
        {"admin", "site1", "secret", "true<fld>ADM<fld>http://www.site1.example/"},
        {"anna", "site1", "secret", "true<fld>OPR<fld>http://www.site1.example/"},
        {"ben", "site1", "secret", "true<fld>OPR<fld>http://www.site1.example/"},
        {"dora", "site1", "secret", "already<fld>OPR<fld>"},
        {"eve", "site1", "secret", "expired<fld><fld>"},
        {"nobody", "site1", "secret", "false<fld><fld>"},
        {"admin", "site2", "secret", "false<fld><fld>"},
        {"admin", "", "secret", "false<fld><fld>"},
        {"admin", "site1", "wrong", "incorrect<fld><fld>"},
        {"admin", "site1", "", "incorrect<fld><fld>"},
        {"dora", "site1", "wrong", "incorrect<fld><fld>"},
        {"Admin", "site1", "secret", "false<fld><fld>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Login(c.loginId, c.site, c.password), c.reply) << c.loginId << " on " << c.site << " with " << c.password;
}

TEST_F(DemoServiceLogin, SecondLoginSucceedsAgain)
{
    ASSERT_EQ(Login("anna", "site1", "secret"), "true<fld>OPR<fld>http://www.site1.example/");
    EXPECT_EQ(Login("anna", "site1", "secret"), "true<fld>OPR<fld>http://www.site1.example/");
}

TEST_F(DemoServiceLogin, SuccessfulLoginMarksTheAccountOnlineUntilReset)
{
    Login("anna", "site1", "secret");
    Login("ben", "site1", "wrong");
    const std::string state = service.Get("/_sim/state");
    EXPECT_NE(state.find("site1/anna operator online\n"), std::string::npos) << state;
    EXPECT_NE(state.find("site1/ben operator offline\n"), std::string::npos) << state;

    service.Reset();
    const std::string fresh = service.Get("/_sim/state");
    EXPECT_NE(fresh.find("site1/anna operator offline\n"), std::string::npos) << fresh;
}

// --- Request log --------------------------------------------------------------------

TEST(DemoServiceLog, KeepsTheRequestLineExactlyAsReceived)
{
    CDemoService service;
    const std::string line = "GET /cpn/w-login.php?loginid=admin&stid=site1&pwd=se%63ret HTTP/1.0";
    const std::string reply =
        RawExchange(service.Port(), line + "\r\nContent-Type: application/x-www-form-urlencoded\r\n\r\n");
    EXPECT_TRUE(reply.ends_with("true<fld>ADM<fld>http://www.site1.example/")) << reply;

    EXPECT_EQ(service.RequestLines(), std::vector<std::string>{line});
    const std::string entry = service.Request(0);
    EXPECT_TRUE(entry.starts_with(line + "\n")) << entry;
    EXPECT_EQ(LinesStartingWith(entry, "header: "),
              std::vector<std::string>{"header: Content-Type: application/x-www-form-urlencoded"});
    EXPECT_EQ(LinesStartingWith(entry, "param: pwd="), std::vector<std::string>{"param: pwd=secret"});
}

TEST(DemoServiceLog, DecodesParametersAndKeepsTheirOrder)
{
    CDemoService service;
    service.Get("/cpn/w-login.php?loginid=a%26b&stid=site1&pwd=x%20y+z&empty=");
    const std::string entry = service.Request(-1);
    EXPECT_TRUE(entry.starts_with("GET /cpn/w-login.php?loginid=a%26b&stid=site1&pwd=x%20y+z&empty= HTTP/1.1\n"))
        << entry;
    // Sent order, not name order: "stid" comes before "pwd".
    EXPECT_EQ(LinesStartingWith(entry, "param: "),
              (std::vector<std::string>{"param: loginid=a&b", "param: stid=site1", "param: pwd=x y z", "param: empty="}));
}

TEST(DemoServiceLog, LeavesOutControlRequestsAndIndexesFromBothEnds)
{
    CDemoService service;
    service.Get("/cpn/w-a.php");
    service.Get("/_sim/state");
    service.Get("/cpn/w-b.php");
    service.Request(0);
    service.Get("/cpn/w-c.php");

    EXPECT_EQ(service.RequestLines(),
              (std::vector<std::string>{"GET /cpn/w-a.php HTTP/1.1", "GET /cpn/w-b.php HTTP/1.1",
                                        "GET /cpn/w-c.php HTTP/1.1"}));
    EXPECT_TRUE(service.Request(1).starts_with("GET /cpn/w-b.php "));
    EXPECT_TRUE(service.Request(-1).starts_with("GET /cpn/w-c.php "));
    EXPECT_TRUE(service.Request(-3).starts_with("GET /cpn/w-a.php "));
    EXPECT_EQ(service.Request(3), "");
    EXPECT_EQ(service.Request(-4), "");

    service.Reset();
    EXPECT_TRUE(service.RequestLines().empty());
    EXPECT_EQ(service.Request(-1), "");
}

// --- Faults -------------------------------------------------------------------------

class DemoServiceFault : public ::testing::Test {
protected:
    std::string NormalParameters() const { return "3<fld>2<fld>" + service.HostPort() + "<fld>cpn"; }

    CDemoService service;
};

TEST_F(DemoServiceFault, SizeGivesExactlyThatManyFillerBytes)
{
    service.Fault("size", 1, "size=1048577");
    const std::string body = service.Get("/cpn/w-param.php");
    EXPECT_EQ(body.size(), 1048577u);
    EXPECT_EQ(body.find_first_of(std::string("<>\0", 3)), std::string::npos);
    EXPECT_EQ(service.Get("/cpn/w-param.php"), NormalParameters());
}

TEST_F(DemoServiceFault, BodyIsSentAsItsDecodedBytes)
{
    service.Fault("body", 1, "body=a%00b%3Cfld%3Ec");
    EXPECT_EQ(service.Get("/cpn/w-param.php"), std::string("a\0b<fld>c", 9));
}

TEST_F(DemoServiceFault, Error500AndCloseFailTheExchange)
{
    service.Fault("error500");
    const auto failed = Fetch(service.Port(), "/cpn/w-param.php");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 500);

    service.Fault("close");
    EXPECT_FALSE(Fetch(service.Port(), "/cpn/w-param.php"));

    // Both still reach the log, as the console's requests did arrive.
    EXPECT_EQ(service.RequestLines().size(), 2u);
}

TEST_F(DemoServiceFault, CloseAnnouncesMoreThanItSends)
{
    service.Fault("close");
    const std::string reply = RawExchange(service.Port(), "GET /cpn/w-param.php HTTP/1.0\r\n\r\n");
    const auto headerEnd = reply.find("\r\n\r\n");
    const auto lengthAt = reply.find("Content-Length: ");
    ASSERT_NE(headerEnd, std::string::npos) << reply;
    ASSERT_NE(lengthAt, std::string::npos) << reply;
    const auto announced = std::stoul(reply.substr(lengthAt + 16));
    EXPECT_LT(reply.size() - (headerEnd + 4), announced) << reply;
}

TEST_F(DemoServiceFault, CountAppliesToExactlyThatManyRequestsAndFaultsQueue)
{
    service.Fault("error500", 2);
    service.Fault("body", 1, "body=odd");
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) {
        const auto result = Fetch(service.Port(), "/cpn/w-param.php");
        statuses.push_back(result ? result->status : -1);
    }
    EXPECT_EQ(statuses, (std::vector<int>{500, 500, 200, 200}));
    EXPECT_EQ(service.RequestLines().size(), 4u);
    EXPECT_EQ(service.Get("/cpn/w-param.php"), NormalParameters());
}

TEST_F(DemoServiceFault, AnEndpointFaultWaitsForItsEndpointAndLetsOthersPass)
{
    service.Fault("error500", 2, "endpoint=w-login");
    service.Fault("body", 1, "body=any");
    std::vector<std::string> answers;
    for (const char* path : {"/cpn/w-param.php", "/cpn/w-login.php", "/cpn/w-param.php", "/cpn/w-login.php",
                             "/cpn/w-login.php"}) {
        const auto result = Fetch(service.Port(), path);
        answers.push_back(!result ? "failed" : result->status == 200 ? result->body : std::to_string(result->status));
    }
    // The unfiltered fault behind it took the first request that was not for w-login.
    const std::vector<std::string> expected{"any", "500", NormalParameters(), "500", "false<fld><fld>"};
    EXPECT_EQ(answers, expected);

    const auto refused = Fetch(service.Port(), "/_sim/fault?mode=hang&endpoint=");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
}

TEST_F(DemoServiceFault, ResetDropsPendingFaults)
{
    service.Fault("error500", 3);
    service.Reset();
    EXPECT_EQ(service.Get("/cpn/w-param.php"), NormalParameters());
}

TEST_F(DemoServiceFault, HungRequestsLeaveTheControlApiAnsweringUntilResetReleasesThem)
{
    // More than the HTTP library's default worker count, so a small pool would starve.
    constexpr int kHeld = 12;
    service.Fault("hang", kHeld, "seconds=60");
    std::vector<std::future<std::string>> held;
    for (int i = 0; i < kHeld; ++i) {
        held.push_back(std::async(std::launch::async, [port = service.Port()] {
            const auto result = Fetch(port, "/cpn/w-param.php");
            return result && result->status == 200 ? result->body : std::string("failed");
        }));
    }
    ASSERT_TRUE(WaitUntil([&] { return service.RequestLines().size() == kHeld; }));
    std::this_thread::sleep_for(200ms);
    for (auto& request : held)
        EXPECT_EQ(request.wait_for(0s), std::future_status::timeout);

    const auto released = Clock::now();
    service.Reset();
    for (auto& request : held) {
        ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
        EXPECT_EQ(request.get(), NormalParameters());
    }
    EXPECT_LT(Clock::now() - released, 3s);
}

TEST_F(DemoServiceFault, HangEndsByItselfAfterItsSeconds)
{
    service.Fault("hang", 1, "seconds=1");
    const auto start = Clock::now();
    EXPECT_EQ(service.Get("/cpn/w-param.php"), NormalParameters());
    EXPECT_GE(Clock::now() - start, 900ms);
}

TEST_F(DemoServiceFault, TrickleSendsAByteEveryTenthOfASecond)
{
    service.Fault("trickle", 1, "size=5");
    const auto start = Clock::now();
    EXPECT_EQ(service.Get("/cpn/w-param.php"), "01234");
    EXPECT_GE(Clock::now() - start, 450ms);
}

TEST_F(DemoServiceFault, MalformedFaultRequestsAreRefused)
{
    for (const char* query : {"mode=melt", "mode=size", "mode=hang&count=0", "mode=hang&count=x",
                              "mode=size&size=-1", "mode=hang&seconds=soon"}) {
        const auto result = Fetch(service.Port(), std::string("/_sim/fault?") + query);
        ASSERT_TRUE(result) << query;
        EXPECT_EQ(result->status, 400) << query;
    }
    EXPECT_EQ(service.Get("/cpn/w-param.php"), NormalParameters());
}

// --- Outage -------------------------------------------------------------------------

// 0 when a plain TCP connect to the port succeeds, else its errno.
int ConnectError(int port)
{
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0)
        return errno;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int error = connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 ? 0 : errno;
    close(sock);
    return error;
}

TEST(DemoServiceOutage, RefusesConnectionsThenComesBackWithItsState)
{
    CDemoService service;
    const std::string visitor = service.AddVisitor("ip=192.0.2.7&page=/");
    // A held request must not keep the service from going down or coming back.
    service.Fault("hang", 1, "seconds=60");
    auto held = std::async(std::launch::async, [port = service.Port()] { return Fetch(port, "/cpn/w-param.php"); });
    ASSERT_TRUE(WaitUntil([&] { return service.RequestLines().size() == 1; }));

    service.Control("down?seconds=2");
    const auto down = Clock::now();
    EXPECT_EQ(ConnectError(service.Port()), ECONNREFUSED);
    EXPECT_FALSE(Fetch(service.Port(), "/_sim/state"));
    EXPECT_FALSE(held.get());

    ASSERT_TRUE(WaitUntil([&] { return ConnectError(service.Port()) == 0; }, 10s));
    EXPECT_GE(Clock::now() - down, 1500ms);
    EXPECT_NE(service.Get("/_sim/visitors").find(visitor), std::string::npos);
    EXPECT_EQ(service.RequestLines().size(), 1u);
}

TEST(DemoServiceOutage, RefusesBadLengthsAndEndsPromptlyWhileDown)
{
    auto service = std::make_unique<CDemoService>();
    for (const char* query : {"", "?seconds=0", "?seconds=3601", "?seconds=2s"}) {
        const auto result = Fetch(service->Port(), std::string("/_sim/down") + query);
        ASSERT_TRUE(result) << query;
        EXPECT_EQ(result->status, 400) << query;
    }
    service->Control("down?seconds=3600");
    EXPECT_EQ(ConnectError(service->Port()), ECONNREFUSED);
    service.reset(); // fails the test itself if SIGTERM did not end the process
}

// --- Shutdown -----------------------------------------------------------------------

TEST(DemoServiceShutdown, EndsPromptlyWhileRequestsAreHeld)
{
    auto service = std::make_unique<CDemoService>();
    service->Fault("hang", 2, "seconds=60");
    const int port = service->Port();
    auto first = std::async(std::launch::async, [port] { return static_cast<bool>(Fetch(port, "/cpn/w-param.php")); });
    auto second = std::async(std::launch::async, [port] { return static_cast<bool>(Fetch(port, "/cpn/w-param.php")); });
    ASSERT_TRUE(WaitUntil([&] { return service->RequestLines().size() == 2; }));

    const auto start = Clock::now();
    service.reset(); // fails the test itself if SIGTERM did not end the process
    EXPECT_LT(Clock::now() - start, 3s);
    // The held exchanges end as failures, not as answers from a half-stopped service.
    EXPECT_FALSE(first.get());
    EXPECT_FALSE(second.get());
}

} // namespace
} // namespace kivora::test
