// The server link with a scripted transport: the hand-over of replies to windows
// on the GUI thread; and the session over it: parameters and failure counting.
#include "net/ServerLink.h"

#include "session/Session.h"

#include "support/Fakes.h"
#include "support/ScriptedTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace kivora;
using namespace kivora::net;
using kivora::test::FakeBrowser;
using kivora::test::ScriptedTransport;

namespace {

struct Received {
    int kind;
    std::string text;
    bool onGuiThread;
    int inFlightDuringHandling;
};

class RecordingTarget final : public QObject, public IReplyTarget {
public:
    explicit RecordingTarget(CServerLink& link) : link(link) {}
    void OnServerReply(int kind, const std::string& text) override
    {
        received.push_back({kind, text, QThread::currentThread() == qApp->thread(), link.InFlight()});
    }
    CServerLink& link;
    std::vector<Received> received;
};

// Where the link's own tests send their requests.
const ServiceAddress kAddress = ParseServiceAddress("svc.example");

class ServerLinkTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    FakeBrowser browser;
    std::unique_ptr<CServerLink> link = std::make_unique<CServerLink>(transport);

    bool WaitIdle(int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return link->InFlight() == 0; }, timeoutMs);
    }
};

TEST_F(ServerLinkTest, ParametersReplySetsIntervalsHostAndPrefix)
{
    session::CSession session(*link, &browser);
    session.SetDefaultHost("default.example");
    transport->Reply("30<fld>5<fld>host.example<fld>word");
    ASSERT_TRUE(session.FetchParams("site 1"));
    EXPECT_EQ(session.RefreshIntervalMs(), 30000);
    EXPECT_EQ(session.ChatPollIntervalMs(), 5000);
    EXPECT_EQ(session.Host(), "host.example");
    EXPECT_EQ(session.PathPrefix(), "/word");

    const auto sent = transport->Requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].host, "default.example");
    EXPECT_EQ(sent[0].port, 80);
    EXPECT_EQ(sent[0].scheme, "http");
    EXPECT_EQ(sent[0].path, "/cpn/w-param.php?stid=site%201");

    // Later requests go to the host and port the service named.
    transport->Reply("4<fld> -2x<fld>127.0.0.1:8081<fld>cpn");
    ASSERT_TRUE(session.FetchParams("s"));
    EXPECT_EQ(session.RefreshIntervalMs(), 4000);
    EXPECT_EQ(session.ChatPollIntervalMs(), -2000);
    std::string reply;
    session.PerformRequest("/x.php", reply);
    EXPECT_EQ(transport->Requests().back().host, "127.0.0.1");
    EXPECT_EQ(transport->Requests().back().port, 8081);
    EXPECT_EQ(transport->Requests().back().path, "/cpn/x.php");
}

TEST_F(ServerLinkTest, ParametersReplyWithOtherFieldCountKeepsDefaults)
{
    session::CSession session(*link, &browser);
    session.SetDefaultHost("default.example");
    transport->Reply("30<fld>5<fld>h<fld>w");
    ASSERT_TRUE(session.FetchParams("s"));
    transport->Reply("10<fld>1<fld>other.example");
    EXPECT_TRUE(session.FetchParams("s"));
    EXPECT_EQ(session.Host(), "default.example");
    EXPECT_EQ(session.PathPrefix(), "/cpn");
    EXPECT_EQ(session.RefreshIntervalMs(), 30000);
    EXPECT_EQ(session.ChatPollIntervalMs(), 5000);
}

TEST_F(ServerLinkTest, ParametersFailureIsToldAtOnce)
{
    session::CSession session(*link, &browser);
    QSignalSpy failed(&session, &session::CSession::parametersFailed);
    transport->Fail();
    EXPECT_FALSE(session.FetchParams("s"));
    EXPECT_EQ(failed.count(), 1);
}

TEST(ParamsReply, HugeNumbersSaturateInsteadOfOverflowing)
{
    const auto params = ParseParamsReply("99999999999999999999<fld>-99999999999<fld>h<fld>w");
    ASSERT_TRUE(params);
    EXPECT_EQ(params->refreshIntervalMs, INT_MAX);
    EXPECT_EQ(params->chatPollIntervalMs, INT_MIN);
    EXPECT_EQ(ReadLeadingInt("  +42abc"), 42);
    EXPECT_EQ(ReadLeadingInt("abc"), 0);
    EXPECT_EQ(ReadLeadingInt(""), 0);
}

TEST_F(ServerLinkTest, ThirteenthConsecutiveFailureWarnsOnceThenCountsFromMinus2000)
{
    session::CSession session(*link, &browser);
    QSignalSpy warned(&session, &session::CSession::failureWarning);
    std::string reply;
    for (int i = 1; i <= 12; ++i) {
        transport->Fail("refused");
        EXPECT_FALSE(session.PerformRequest("/a", reply));
    }
    EXPECT_EQ(reply, "refused");
    EXPECT_EQ(warned.count(), 0);
    EXPECT_EQ(session.FailureCount(), 12);

    transport->Fail();
    session.PerformRequest("/a", reply);
    EXPECT_EQ(warned.count(), 1);
    EXPECT_EQ(session.FailureCount(), -2000);

    transport->Fail();
    session.PerformRequest("/a", reply);
    EXPECT_EQ(warned.count(), 1);
    EXPECT_EQ(session.FailureCount(), -1999);

    transport->Reply("ok");
    EXPECT_TRUE(session.PerformRequest("/a", reply));
    EXPECT_EQ(session.FailureCount(), 0);
}

TEST_F(ServerLinkTest, AsynchronousFailuresWarnOnTheGuiThread)
{
    session::CSession session(*link, &browser);
    transport->responder = [](const TransportRequest&) { return TransportResult{false, {}, "down"}; };
    QThread* warnThread = nullptr;
    int warnings = 0;
    QObject::connect(&session, &session::CSession::failureWarning, &session, [&] {
        warnThread = QThread::currentThread();
        ++warnings;
    });
    for (int i = 0; i < 13; ++i)
        session.Send({"/a", kKindVisitorList}, nullptr);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(warnThread, qApp->thread());
    EXPECT_EQ(session.FailureCount(), -2000);
}

TEST_F(ServerLinkTest, ReplyIsHandledOnTheGuiThreadAndCountedInFlightUntilThen)
{
    RecordingTarget target(*link);
    transport->Reply(std::string("list<blk>\0tail", 14));
    link->StartRequest(kAddress, "/w-allonlineu.php", kKindVisitorList, &target);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !target.received.empty(); }, 5000));
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(target.received.size(), 1u);
    EXPECT_EQ(target.received[0].kind, kKindVisitorList);
    EXPECT_EQ(target.received[0].text, "list<blk>");
    EXPECT_TRUE(target.received[0].onGuiThread);
    EXPECT_EQ(target.received[0].inFlightDuringHandling, 1);
}

TEST_F(ServerLinkTest, FireAndForgetAndUnknownKindsAreNeverDelivered)
{
    RecordingTarget target(*link);
    for (const int kind : std::initializer_list<int>{kKindVisitorDetails, kKindProactive, kKindVisitorAction,
                                                     kKindOperatorTyping, 0, 19, -1})
        link->StartRequest(kAddress, "/a", kind, &target);
    link->StartRequest(kAddress, "/b", kKindSendLine, &target);
    ASSERT_TRUE(WaitIdle());
    QCoreApplication::processEvents();
    EXPECT_EQ(transport->RequestCount(), 8u);
    ASSERT_EQ(target.received.size(), 1u);
    EXPECT_EQ(target.received[0].kind, kKindSendLine);
    for (int kind = 1; kind <= 18; ++kind) {
        const bool dropped = kind == 5 || kind == 6 || kind == 7 || kind == 13;
        EXPECT_EQ(IsDeliveredKind(kind), !dropped) << kind;
    }
}

TEST_F(ServerLinkTest, ShuttingDownStillSendsButDeliversNothing)
{
    RecordingTarget target(*link);
    link->SetShuttingDown();
    link->StartRequest(kAddress, "/w-adminout.php", kKindVisitorList, &target);
    ASSERT_TRUE(WaitIdle());
    QCoreApplication::processEvents();
    EXPECT_EQ(transport->RequestCount(), 1u);
    EXPECT_TRUE(target.received.empty());

    // Also a reply already on its way when the flag is set is dropped.
    link.reset();
    link = std::make_unique<CServerLink>(transport);
    RecordingTarget second(*link);
    transport->Hold(true);
    link->StartRequest(kAddress, "/a", kKindVisitorList, &second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return transport->RequestCount() == 2; }, 5000));
    link->SetShuttingDown();
    transport->Hold(false);
    ASSERT_TRUE(WaitIdle());
    QCoreApplication::processEvents();
    EXPECT_TRUE(second.received.empty());
}

TEST_F(ServerLinkTest, ReplyForAClosedWindowReachesNobody)
{
    auto target = std::make_unique<RecordingTarget>(*link);
    transport->Hold(true);
    link->StartRequest(kAddress, "/a", kKindChatPoll, target.get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return transport->RequestCount() == 1; }, 5000));
    target.reset();
    transport->Hold(false);
    EXPECT_TRUE(WaitIdle());
}

TEST_F(ServerLinkTest, EndingWithExchangesInFlightReturnsPromptly)
{
    RecordingTarget target(*link);
    transport->Hold(true);
    for (int i = 0; i < 5; ++i)
        link->StartRequest(kAddress, "/a", kKindChatPoll, &target);
    ASSERT_TRUE(QTest::qWaitFor([&] { return transport->RequestCount() == 5; }, 5000));
    QElapsedTimer clock;
    clock.start();
    link.reset();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(target.received.empty());
}

TEST_F(ServerLinkTest, EndingDropsRepliesQueuedForTheGui)
{
    RecordingTarget target(*link);
    for (int i = 0; i < 3; ++i) {
        transport->Reply("r");
        link->StartRequest(kAddress, "/a", kKindChatPoll, &target);
    }
    // Without an event loop turn the replies stay queued.
    ASSERT_EQ(transport->RequestCount(), 3u);
    ASSERT_EQ(link->InFlight(), 3);
    link.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(target.received.empty());
}

TEST_F(ServerLinkTest, ChatListsAndServicePages)
{
    session::CSession session(*link, &browser);
    RecordingTarget target(*link);
    session.SetIdentity("op 1", "site1");
    EXPECT_EQ(session.Who().loginId, "op 1");
    EXPECT_EQ(session.Who().siteId, "site1");
    transport->Reply("a<blk>b");
    session.Send(request::ChatLists(session.Who()), &target);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !target.received.empty(); }, 5000));
    EXPECT_EQ(target.received[0].kind, kKindChatLists);
    EXPECT_EQ(transport->Requests()[0].path, "/cpn/w-amespc.php?adminid=op%201&sid=site1");

    session.SetAddress("svc.example:8080", "/cpn");
    EXPECT_TRUE(session.OpenServicePage("/w-browser.php?loginid=a&opurl=control"));
    ASSERT_EQ(browser.openedPages.size(), 1u);
    // A host with a port is no scheme: the page names its scheme and port.
    EXPECT_EQ(browser.openedPages[0],
              QStringLiteral("http://svc.example:8080/cpn/w-browser.php?loginid=a&opurl=control"));
}

} // namespace
