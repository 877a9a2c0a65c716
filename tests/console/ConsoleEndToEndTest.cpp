// The console against the demo service over the real transport: what it sends,
// byte for byte, and what it shows from real replies.
#include "console/ConsoleDlg.h"
#include "session/Session.h"

#include "chat/ChatDlg.h"
#include "panel/VisitorPanelDlg.h"
#include "ui/HyperLink.h"
#include "platform/Platform.h"
#include "res/DialogTemplates.h"
#include "support/LiveSession.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kivora;
using namespace kivora::console;

namespace {

TEST(ConsoleEndToEnd, EveryActionReachesTheServiceAsExpected)
{
    test::LiveSession live("admin");
    auto& [service, fakes, platform, link, session] = live;

    const std::string asking = service.AddVisitor("ip=192.0.2.10&page=/shop.html&status=Chat%20Request");
    const std::string browsing = service.AddVisitor("ip=192.0.2.11&page=/index.html");
    service.Reset();
    const std::string askingAgain = service.AddVisitor("ip=192.0.2.10&page=/shop.html&status=Chat%20Request");
    const std::string browsingAgain = service.AddVisitor("ip=192.0.2.11&page=/index.html");
    ASSERT_NE(askingAgain, asking);
    CConsoleDlg console(session, platform);
    console.SetLoginInfo("site1", "admin", "http://www.site1.example/");
    std::vector<ChatRequest> chats;
    console.openChatWindow = [&](const ChatRequest& r) { chats.push_back(r); };
    console.OnInitDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.OnlineRadio()->isChecked(); }, 10000));

    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 2; }, 10000));
    const int askingRow = console.FindRowBySession(askingAgain);
    const int browsingRow = console.FindRowBySession(browsingAgain);
    ASSERT_GE(askingRow, 0);
    ASSERT_GE(browsingRow, 0);
    EXPECT_EQ(console.Model().Row(askingRow).GetIpAddress(), "192.0.2.10");

    console.ListView()->selectRow(askingRow);
    console.UpdateButtons();
    ASSERT_TRUE(console.Button(res::IDC_ACCEPT)->isEnabled());
    console.Button(res::IDC_ACCEPT)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chats.empty(); }, 10000));
    EXPECT_EQ(chats[0].sessionId, askingAgain);
    EXPECT_EQ(chats[0].address, "192.0.2.10");

    console.ListView()->selectRow(browsingRow);
    console.UpdateButtons();
    console.Button(res::IDC_INVITE)->click();
    console.ProactiveUrlEdit()->setText(QStringLiteral("www.site1.example/offer.html"));
    console.Button(res::IDC_SEND_PROACTIVE)->click();
    console.SameWindowBox()->setChecked(true);
    console.ProactiveUrlEdit()->setText(QStringLiteral("http://www.site1.example/sale.html"));
    console.Button(res::IDC_SEND_PROACTIVE)->click();
    console.Button(res::IDC_DELETE)->click();
    console.OfflineRadio()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 10000));

    auto lines = service.RequestLines();
    const std::string tail = " HTTP/1.0";
    const std::vector<std::string> expected = {
        "GET /cpn/w-mrefresh.php?sid=site1&adminid=admin&action=lgon" + tail,
        "GET /cpn/w-allonlineu.php?nadminid=admin&nsid=site1" + tail,
        "GET /cpn/w-adc.php?csesid=" + askingAgain + "&ipaddr=192.0.2.10&adminid=admin&sid=site1" + tail,
        "GET /cpn/w-action.php?action=cinvt&csesid=" + browsingAgain + "&sid=site1&adminid=admin" + tail,
        "GET /cpn/w-prop.php?csesid=" + browsingAgain + "&prop=A&popwin=N&ppurl=http://www.site1.example/offer.html" +
            tail,
        "GET /cpn/w-prop.php?csesid=" + browsingAgain + "&prop=A&popwin=R&ppurl=http://www.site1.example/sale.html" +
            tail,
        "GET /cpn/w-action.php?action=remove&csesid=" + browsingAgain + "&sid=site1&adminid=admin" + tail,
        "GET /cpn/w-mrefresh.php?sid=site1&adminid=admin&action=lgof" + tail,
    };
    // Requests run on threads of their own; compare without their order.
    auto sortedExpected = expected;
    std::sort(sortedExpected.begin(), sortedExpected.end());
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, sortedExpected);

    // The service saw the operator go off line, and the list reflects the actions.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.OnlineRadio()->isChecked(); }, 10000));
    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 1; }, 10000));
    EXPECT_EQ(console.Model().Row(0).GetSessionId(), askingAgain);
    console.OnDestroy();
}

TEST(ConsoleEndToEnd, BusyRefusesAndDetailsComeFromTheService)
{
    test::LiveSession live("anna");
    auto& [service, fakes, platform, link, session] = live;
    const std::string visitor =
        service.AddVisitor("ip=203.0.113.5&page=/help.html&status=Chat%20Request&country=Norway&city=Oslo");
    CConsoleDlg console(session, platform);
    console.SetLoginInfo("site1", "anna", "");
    console.OnInitDialog();
    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 1; }, 10000));
    console.Button(res::IDC_VIEW_DETAILS)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Row(0).HasDetails(); }, 10000));
    EXPECT_EQ(console.Panel()->Details()[net::kDetailCountry], "Norway");
    EXPECT_EQ(console.Panel()->Details()[net::kDetailCity], "Oslo");
    EXPECT_EQ(console.Panel()->Details()[net::kDetailUrl], "http://www.site1.example/help.html");

    console.Button(res::IDC_BUSY)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 10000));
    EXPECT_EQ(service.RequestLines().back(),
              "GET /cpn/w-action.php?action=refuse&csesid=" + visitor + "&sid=site1&adminid=anna HTTP/1.0");
    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return console.Model().Count() == 1 && !console.Model().Row(0).IsChatRequest(); }, 10000));
    EXPECT_TRUE(console.Model().Row(0).HasDetails());
    const auto sent = service.RequestLines();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "GET /cpn/w-lmudets.php?csesid=" + visitor + " HTTP/1.0"),
              sent.end());
    console.OnDestroy();
}

// A visitor whose every field is hostile, served by the demo service: the console
// shows each as the text it is, opens none of it, and honours no override.
TEST(ConsoleEndToEnd, HostileVisitorDataIsOnlyEverText)
{
    test::LiveSession live("admin");
    auto& [service, fakes, platform, link, session] = live;
    const std::string visitor = service.AddVisitor("ip=192.0.2.66&status=Chat%20Request");
    const std::string rlo = "\xE2\x80\xAE";
    const std::string page = "/p?<img src=\"/dev/zero\"><b>x</b>" + rlo + "gpj.exe";
    service.Control("visitor/set?csesid=" + visitor + "&page=" + service.Escape(page) +
                    "&referrer=" + service.Escape("file:///etc/passwd") + "&url=" + service.Escape("javascript:x()") +
                    "&name=" + service.Escape("<a href=\"http://evil.example/\">Ann</a>[*]" + rlo) +
                    "&email=" + service.Escape("a@b.example?attach=/etc/passwd") +
                    "&city=" + service.Escape("<img src=x>"));
    CConsoleDlg console(session, platform);
    console.SetLoginInfo("site1", "admin", "http://www.site1.example/");
    console.OnInitDialog();
    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 1; }, 10000));
    const QModelIndex pageCell = console.Model().index(0, CVisitorListModel::kColumnPage);
    EXPECT_EQ(console.Model().data(pageCell).toString(), QStringLiteral("/p?<img src=\"/dev/zero\"><b>x</b>gpj.exe"));

    console.ListView()->selectRow(0);
    console.UpdateButtons();
    console.Button(res::IDC_VIEW_DETAILS)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Row(0).HasDetails(); }, 10000));
    panel::CVisitorPanelDlg* panel = console.Panel();
    EXPECT_EQ(panel->DetailLabel(net::kDetailCity)->text(), QStringLiteral("<img src=x>"));
    EXPECT_EQ(panel->DetailLabel(net::kDetailCity)->textFormat(), Qt::PlainText);
    for (ui::CHyperLink* link : {panel->UrlLink(), panel->ReferrerLink()}) {
        EXPECT_TRUE(link->IsPlain());
        QTest::mouseClick(link, Qt::LeftButton);
    }
    EXPECT_TRUE(fakes.browser.openedUrls.empty());

    console.Button(res::IDC_ACCEPT)->click();
    chat::CChatDlg* chat = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (chat = console.FindChatWindow(visitor)) != nullptr; }, 10000));
    EXPECT_EQ(chat->windowTitle(), QStringLiteral("Chatting with:<a href=\"http://evil.example/\">Ann</a>[\u2060*]"));
    EXPECT_TRUE(chat->EmailLink()->IsPlain());
    console.OnDestroy();
}

// The service goes away for 20 s and comes back: the console says so within a
// refresh, keeps its list and the operator's presence meanwhile, and once the
// service answers again it is connected within a refresh, having told the
// service again that the operator is on line - with nobody touching anything.
TEST(ConsoleEndToEnd, AnOutageIsShownAndRecoveredFromByItself)
{
    test::LiveSession live("admin");
    auto& [service, fakes, platform, link, session] = live;
    constexpr int kRefreshMs = 1000;
    // What a loaded machine (a sanitizer build, tests side by side) may add to a
    // refresh period before a timer fires and its exchange comes back.
    constexpr int kSlackMs = 3000;
    session.SetPeriods(kRefreshMs, session.ChatPollIntervalMs());
    const std::string visitor = service.AddVisitor("ip=192.0.2.80&page=/shop.html");
    CConsoleDlg console(session, platform);
    console.SetLoginInfo("site1", "admin", "http://www.site1.example/");
    console.OnInitDialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 1 && console.OnlineRadio()->isChecked(); },
                                10000));
    const auto connection = [&] { return console.ConnectionLine()->text(); };
    EXPECT_TRUE(connection().startsWith(QStringLiteral("Connected - visitors updated at")));

    const auto countGoOnline = [&] {
        const auto lines = service.RequestLines();
        return std::count(lines.begin(), lines.end(),
                          "GET /cpn/w-mrefresh.php?sid=site1&adminid=admin&action=lgon HTTP/1.0");
    };
    const auto wentOnline = countGoOnline();
    // While it is away the service forgets who was on line, as a real one would.
    service.Control("presence/expire?operator=admin");
    QElapsedTimer clock;
    clock.start();
    service.Control("down?seconds=20");
    ASSERT_TRUE(QTest::qWaitFor([&] { return connection().startsWith(QStringLiteral("Connection lost")); },
                                kRefreshMs + kSlackMs));
    EXPECT_LT(clock.elapsed(), kRefreshMs + kSlackMs);
    EXPECT_TRUE(fakes.tray.tip.contains(QStringLiteral("Connection lost")));
    QTest::qWait(3 * kRefreshMs);
    EXPECT_EQ(console.Model().Count(), 1);
    EXPECT_TRUE(console.Model().IsStale());
    EXPECT_TRUE(console.OnlineRadio()->isChecked());

    // Back after 20 s: connected within a refresh, on line again at the service.
    ASSERT_TRUE(QTest::qWaitFor([&] { return connection().startsWith(QStringLiteral("Connected")); }, 30000));
    EXPECT_LT(clock.elapsed(), 20000 + kRefreshMs + kSlackMs);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.Model().IsStale(); }, kRefreshMs + kSlackMs));
    EXPECT_EQ(console.Model().Row(0).GetSessionId(), visitor);
    // The presence and the list go out together; either may be answered first.
    ASSERT_TRUE(QTest::qWaitFor([&] { return countGoOnline() == wentOnline + 1; }, kRefreshMs + kSlackMs));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto& ops = console.Operators();
            return std::find(ops.begin(), ops.end(), "admin") != ops.end() && console.OnlineRadio()->isChecked();
        },
        kRefreshMs + kSlackMs));
    QTest::qWait(kRefreshMs);
    EXPECT_EQ(countGoOnline(), wentOnline + 1);
    EXPECT_TRUE(fakes.tray.tip.contains(QStringLiteral("Connected")));
    console.OnDestroy();
}

} // namespace
