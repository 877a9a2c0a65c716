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
        workerWaiting = link.InFlight() > 0;
    }
    CServerLink& link;
    std::vector<int> kinds;
    std::vector<std::string> texts;
    bool onGuiThread = false;
    bool workerWaiting = false;
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
    EXPECT_TRUE(target.workerWaiting);

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

TEST(ServerLinkEnding, HangingWorkersDoNotHoldUpTheEnd)
{
    CDemoService service;
    auto link = std::make_unique<CServerLink>(std::make_shared<CCurlTransport>());
    service.Fault("hang", 3, "seconds=60");
    for (int i = 0; i < 3; ++i)
        link->StartRequest(ParseServiceAddress(service.HostPort()), "/cpn/w-any.php", kKindChatPoll, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.RequestLines().size() == 3; }, 10000));
    QElapsedTimer clock;
    clock.start();
    link.reset();
    EXPECT_LT(clock.elapsed(), 3000);
    service.Reset();
}

} // namespace
