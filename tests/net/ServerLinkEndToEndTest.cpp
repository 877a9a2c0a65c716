// The server link over the real libcurl transport against the demo service.
#include "net/ServerLink.h"
#include "session/Session.h"

#include "net/CurlTransport.h"
#include "net/Endpoints.h"
#include "res/Strings.h"
#include "support/DemoService.h"
#include "support/Fakes.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

using namespace kivora;
using namespace kivora::net;
using kivora::test::CDemoService;
using kivora::test::ClosedHostPort;
using kivora::test::FakeBrowser;

namespace {

class Target final : public QObject, public IReplyTarget {
public:
    explicit Target(CServerLink& link) : link(link) {}
    void OnServerReply(int kind, const std::string& text) override
    {
        kinds.push_back(kind);
        texts.push_back(text);
        onGuiThread = QThread::currentThread() == thread();
        countedInFlight = link.InFlight() > 0;
    }
    CServerLink& link;
    std::vector<int> kinds;
    std::vector<std::string> texts;
    bool onGuiThread = false;
    bool countedInFlight = false;
};

class ServerLinkEndToEnd : public ::testing::Test {
protected:
    static TransportLimits ShortLimits()
    {
        TransportLimits limits;
        limits.connectTimeoutMs = 1000;
        limits.totalTimeoutMs = 1500;
        return limits;
    }

    CDemoService service{{"--refresh-seconds", "30", "--chat-poll-seconds", "5"}};
    FakeBrowser browser;
    CServerLink link{std::make_shared<CCurlTransport>(ShortLimits())};
    session::CSession session{link, &browser};

    void SetUp() override
    {
        session.SetDefaultHost(service.HostPort());
        ASSERT_TRUE(session.FetchParams("site1"));
        service.Reset();
    }
};

TEST_F(ServerLinkEndToEnd, ParametersAndTheExactRequestLines)
{
    EXPECT_EQ(session.RefreshIntervalMs(), 30000);
    EXPECT_EQ(session.ChatPollIntervalMs(), 5000);
    EXPECT_EQ(session.Host(), service.HostPort());
    EXPECT_EQ(session.PathPrefix(), "/cpn");

    std::string reply;
    ASSERT_TRUE(session.PerformRequest(MakeUrl(res::IDS_URL_LOGIN, {"admin", "site1", "secret"}), reply));
    EXPECT_EQ(reply, "true<fld>ADM<fld>http://www.site1.example/");
    const auto lines = service.RequestLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "GET /cpn/w-login.php?loginid=admin&stid=site1&pwd=secret HTTP/1.0");
    const std::string detail = service.Request(0);
    EXPECT_NE(detail.find("header: Content-Type: application/x-www-form-urlencoded"), std::string::npos) << detail;
    EXPECT_NE(detail.find("header: User-Agent: Kivora"), std::string::npos) << detail;
}

TEST_F(ServerLinkEndToEnd, ValuesReachTheServiceAsTyped)
{
    std::string reply;
    session.PerformRequest(MakeUrl(res::IDS_URL_LOGIN, {"admin", "site1", "a&b c#d%e?f+g"}), reply);
    EXPECT_EQ(reply, "incorrect<fld><fld>");
    const std::string detail = service.Request(-1);
    EXPECT_NE(detail.find("param: pwd=a&b c#d%e?f+g\n"), std::string::npos) << detail;
    EXPECT_NE(detail.find("param: loginid=admin\n"), std::string::npos) << detail;
}

TEST_F(ServerLinkEndToEnd, LongRepliesArriveWholeAndZeroBytesEndThem)
{
    std::string reply;
    service.Fault("size", 1, "size=1048576");
    ASSERT_TRUE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(reply.size(), 1048576u);

    service.Fault("body", 1, "body=abc%00def");
    ASSERT_TRUE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(reply, "abc");

    // Over the cap the exchange fails rather than cutting the text.
    service.Fault("size", 1, "size=16777217");
    EXPECT_FALSE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(session.FailureCount(), 1);

    // An error page is still a reply: the handlers find nothing they can use in it.
    service.Fault("error500");
    EXPECT_TRUE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(session.FailureCount(), 0);
}

TEST_F(ServerLinkEndToEnd, HangingAndBrokenExchangesFailAndCount)
{
    std::string reply;
    service.Fault("hang", 1, "seconds=10");
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(session.PerformRequest("/w-any.php", reply));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(reply.empty());
    EXPECT_EQ(session.FailureCount(), 1);

    service.Fault("close");
    EXPECT_FALSE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(session.FailureCount(), 2);
    service.Reset();
}

TEST_F(ServerLinkEndToEnd, NoServerListeningWarnsOnTheThirteenthFailureOnly)
{
    QSignalSpy warned(&session, &session::CSession::failureWarning);
    session.SetAddress(ClosedHostPort(), session.PathPrefix());
    std::string reply;
    for (int i = 0; i < 12; ++i)
        EXPECT_FALSE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(warned.count(), 0);
    EXPECT_FALSE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(warned.count(), 1);
    EXPECT_FALSE(session.PerformRequest("/w-any.php", reply));
    EXPECT_EQ(warned.count(), 1);
}

TEST_F(ServerLinkEndToEnd, AsynchronousRepliesReachTheirWindowOnTheGuiThread)
{
    Target target(link);
    session.Send({MakeUrl(res::IDS_URL_LOGIN, {"anna", "site1", "secret"}), kKindVisitorList}, &target);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !target.kinds.empty(); }, 10000));
    EXPECT_EQ(target.texts[0], "true<fld>OPR<fld>http://www.site1.example/");
    EXPECT_TRUE(target.onGuiThread);
    EXPECT_TRUE(target.countedInFlight);

    // Fire-and-forget and unknown kinds are sent but never delivered.
    session.Send({"/w-otype.php?csesid=c1&stat=otype&sid=site1", kKindOperatorTyping}, &target);
    session.Send({"/w-any.php?k=19", 19}, &target);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(target.kinds.size(), 1u);
    EXPECT_EQ(service.RequestLines().size(), 3u);

    // Once shutting down, the request still goes out; its reply reaches nobody.
    link.SetShuttingDown();
    session.Send({"/w-adminout.php?adminid=anna&sid=site1", kKindVisitorList}, &target);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(target.kinds.size(), 1u);
    EXPECT_EQ(service.RequestLines().size(), 4u);
}

int ThreadCount()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:"))
            return std::stoi(line.substr(8));
    }
    return -1;
}

// Exchanges share the transport's one network thread: however many hang, they
// take no thread of their own, hold up no other exchange, and go when the link
// does, and the network thread with them.
TEST(ServerLinkEnding, HungExchangesTakeNoThreadsDelayNoOtherAndDoNotHoldUpTheEnd)
{
    CDemoService service;
    auto link = std::make_unique<CServerLink>(std::make_shared<CCurlTransport>());
    const ServiceAddress address = ParseServiceAddress(service.HostPort());
    std::string reply;
    ASSERT_TRUE(link->PerformRequest(address, "/cpn/w-param.php", reply));
    const int threads = ThreadCount();

    constexpr int kHung = 20;
    service.Fault("hang", kHung, "endpoint=w-achats&seconds=60");
    for (int i = 0; i < kHung; ++i)
        link->StartRequest(address, "/cpn/w-achats.php", kKindChatPoll, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.RequestLines().size() == kHung + 1; }, 10000));
    EXPECT_EQ(ThreadCount(), threads);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(link->PerformRequest(address, "/cpn/w-param.php", reply));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(link->InFlight(), kHung);

    clock.restart();
    link.reset();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(ThreadCount(), threads - 1);
    service.Reset();
}

// A bare TCP listener on loopback that records every request's bytes and the
// connection it came on, and answers each one "ok" with a reply that invites the
// client to keep the connection (it stays open until the listener ends).
class CRawListener final {
public:
    struct Seen {
        int connection;
        std::string bytes;
    };

    CRawListener()
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener, 16) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        thread = std::thread([this] { Serve(); });
    }
    ~CRawListener()
    {
        stop.store(true);
        thread.join();
        for (const pollfd& p : fds)
            close(p.fd);
    }
    std::vector<Seen> Requests()
    {
        const std::lock_guard lock(mutex);
        return seen;
    }

    int port = 0;

private:
    void Serve()
    {
        fds.push_back({listener, POLLIN, 0});
        std::vector<std::string> pending(1);
        while (!stop.load()) {
            if (poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if ((fds[i].revents & POLLIN) == 0)
                    continue;
                if (i == 0) {
                    fds.push_back({accept(listener, nullptr, nullptr), POLLIN, 0});
                    pending.emplace_back();
                    continue;
                }
                char chunk[4096];
                const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
                if (got <= 0) {
                    fds[i].events = 0;
                    continue;
                }
                pending[i].append(chunk, static_cast<std::size_t>(got));
                const std::size_t end = pending[i].find("\r\n\r\n");
                if (end == std::string::npos)
                    continue;
                {
                    const std::lock_guard lock(mutex);
                    seen.push_back({static_cast<int>(i), pending[i].substr(0, end + 4)});
                }
                pending[i].erase(0, end + 4);
                const std::string reply = "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nok";
                [[maybe_unused]] const ssize_t sent = write(fds[i].fd, reply.data(), reply.size());
            }
        }
    }

    int listener = -1;
    std::vector<pollfd> fds;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<Seen> seen;
    std::thread thread;
};

// The bytes on the wire: HTTP/1.0, the program's own headers, and a fresh
// connection for every exchange even when the server offers to keep one.
TEST(ServerLinkWire, EveryExchangeSendsTheSameBytesOnAConnectionOfItsOwn)
{
    CRawListener server;
    ASSERT_GT(server.port, 0);
    CServerLink link{std::make_shared<CCurlTransport>()};
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port);
    const ServiceAddress address = ParseServiceAddress(hostPort);
    Target target(link);
    std::string reply;
    ASSERT_TRUE(link.PerformRequest(address, "/cpn/w-a.php?x=1&y=%20", reply));
    EXPECT_EQ(reply, "ok");
    link.StartRequest(address, "/cpn/w-b.php", kKindVisitorList, &target);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !target.texts.empty(); }, 10000));
    EXPECT_EQ(target.texts[0], "ok");
    ASSERT_TRUE(link.PerformRequest(address, "/cpn/w-c.php", reply));

    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 3u);
    const char* paths[] = {"/cpn/w-a.php?x=1&y=%20", "/cpn/w-b.php", "/cpn/w-c.php"};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].connection, static_cast<int>(i) + 1);
        EXPECT_EQ(seen[i].bytes, std::string("GET ") + paths[i] + " HTTP/1.0\r\nHost: " + hostPort +
                                     "\r\nUser-Agent: Kivora\r\nAccept: */*\r\n"
                                     "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
    }
}

} // namespace
