// The whole session as the program runs it (login dialog, console nested in it),
// ended in each way the operator or the service can end it while the server holds
// requests unanswered: it ends promptly, leaves no window behind, and the link
// gives up its hung exchanges at once.
#include "faults/FaultHarness.h"

#include "app/ConsoleApp.h"
#include "chat/ChatDlg.h"
#include "console/ConsoleDlg.h"
#include "login/LoginDlg.h"
#include "login/SavedLogin.h"
#include "panel/VisitorPanelDlg.h"
#include "res/DialogTemplates.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace kivora;
using namespace kivora::test;

namespace {

enum class ExitWay { CloseBox, TrayExit, PanelLogOut, TrayLogOut, AccountDeactivated };

struct ExitCase {
    ExitWay way;
    const char* name;
    bool logsOut; // the saved login is forgotten
};

const ExitCase kExitCases[] = {
    {ExitWay::CloseBox, "CloseBox", false},
    {ExitWay::TrayExit, "TrayExit", false},
    {ExitWay::PanelLogOut, "PanelLogOut", true},
    {ExitWay::TrayLogOut, "TrayLogOut", true},
    {ExitWay::AccountDeactivated, "AccountDeactivated", false},
};

void PrintTo(const ExitCase& exitCase, std::ostream* out)
{
    *out << exitCase.name;
}

// From the moment the console is told to end until its run has returned.
constexpr qint64 kSessionEndBoundMs = 4000;
// The deactivated account ends at the first refresh the service answers, one or two
// refresh periods (a second each) after it was deactivated, once the operator has
// read the box.
constexpr int kBoxReadingMs = 2500;
constexpr qint64 kDeactivationEndBoundMs = 2 * 1000 + kBoxReadingMs + kSessionEndBoundMs;
// The link gives hung exchanges up as it ends rather than waiting for them.
constexpr qint64 kLinkEndBoundMs = 1000;
// A hung exchange left to itself would last this long.
constexpr long kLongTimeoutMs = 60'000;

template <typename Window>
QList<Window*> TopLevel()
{
    QList<Window*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget))
            found.append(window);
    }
    return found;
}

class CleanExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(CleanExit, EndsPromptlyWhileRequestsHang)
{
    const ExitWay way = GetParam().way;
    CDemoService service{{"--refresh-seconds", "1", "--chat-poll-seconds", "1"}};
    FakePlatform fakes;
    login::SaveLogin(fakes.store, login::SavedLogin{"admin", "site1", "secret"});
    const std::string visitor = service.AddVisitor("ip=192.0.2.90&page=/help.html&status=Chat%20Request");

    // Time-outs far beyond the test: only the link's ending can end a hung exchange.
    net::TransportLimits limits;
    limits.connectTimeoutMs = kLongTimeoutMs;
    limits.totalTimeoutMs = kLongTimeoutMs;
    auto link = std::make_unique<net::CServerLink>(std::make_shared<net::CCurlTransport>(limits));

    int deactivationBoxes = 0;
    fakes.boxes.onShow = [&](const ShownBox& box) {
        if (box.caption != QStringLiteral("Account expire") || ++deactivationBoxes > 1)
            return;
        // The operator takes a while to read a modal box; the console keeps running.
        QTest::qWait(kBoxReadingMs);
    };

    // Steps the session along from inside its own modal runs.
    enum class Step { WaitConsole, WaitChat, WaitStuck, Ending };
    Step step = Step::WaitConsole;
    QPointer<console::CConsoleDlg> console;
    int stuckWhenEnded = 0;
    QElapsedTimer sinceStart;
    QElapsedTimer sinceEnd;
    sinceStart.start();
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, &driver, [&] {
        switch (step) {
        case Step::WaitConsole:
            if (const auto consoles = TopLevel<console::CConsoleDlg>(); !consoles.isEmpty() && consoles[0]->isVisible()) {
                console = consoles[0];
                // The chat window polls four times a second, so that its requests pile up soon.
                console->Session().SetPeriods(console->Session().RefreshIntervalMs(), 250);
                console->AcceptChatSession(visitor, "192.0.2.90");
                step = Step::WaitChat;
            }
            break;
        case Step::WaitChat:
            if (console && console->ChatWindowCount() == 1) {
                // From now on list refreshes, chat polls and typing queries hang.
                for (const char* endpoint : {"w-allonlineu", "w-achats", "w-otype"})
                    service.Fault("hang", 2, std::string("endpoint=") + endpoint + "&seconds=60");
                step = Step::WaitStuck;
            }
            break;
        case Step::WaitStuck:
            if (link->InFlight() < 5)
                break;
            stuckWhenEnded = link->InFlight();
            step = Step::Ending;
            sinceEnd.start();
            switch (way) {
            case ExitWay::CloseBox:
                console->close();
                break;
            case ExitWay::TrayExit:
                fakes.tray.actions.exit();
                break;
            case ExitWay::PanelLogOut:
                console->Panel()->Button(res::IDC_LOG_OUT)->click();
                break;
            case ExitWay::TrayLogOut:
                fakes.tray.actions.logOut();
                break;
            case ExitWay::AccountDeactivated:
                service.Control("deactivate?operator=admin");
                break;
            }
            break;
        case Step::Ending:
            break;
        }
        // Whatever went wrong, the test must not wait for ever inside the session.
        if (sinceStart.elapsed() > 30'000) {
            ADD_FAILURE() << "the session did not end; step " << static_cast<int>(step);
            for (auto* window : TopLevel<console::CConsoleDlg>())
                window->done(0);
            for (auto* window : TopLevel<login::CLoginDlg>())
                window->done(0);
        }
    });
    driver.start();

    app::CConsoleApp::RunSession(*link, fakes.platform, service.HostPort());
    const qint64 sessionEndMs = sinceEnd.isValid() ? sinceEnd.elapsed() : -1;
    driver.stop();
    ASSERT_EQ(step, Step::Ending);
    EXPECT_GE(stuckWhenEnded, 5);
    EXPECT_GE(sessionEndMs, 0);
    EXPECT_LT(sessionEndMs, way == ExitWay::AccountDeactivated ? kDeactivationEndBoundMs : kSessionEndBoundMs);

    // The session took its windows with it and the login dialog did not come back.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(TopLevel<console::CConsoleDlg>().isEmpty());
    EXPECT_TRUE(TopLevel<chat::CChatDlg>().isEmpty());
    EXPECT_TRUE(TopLevel<login::CLoginDlg>().isEmpty());
    EXPECT_FALSE(fakes.tray.shown);
    EXPECT_TRUE(link->ShuttingDown());
    EXPECT_EQ(fakes.store.stored.has_value(), !GetParam().logsOut);
    EXPECT_EQ(deactivationBoxes, way == ExitWay::AccountDeactivated ? 1 : 0);
    EXPECT_EQ(BoxesCaptioned(fakes.boxes, QStringLiteral("Internet Connection")), 0);
    // The operator was asked about the open chat, and it ended with the service;
    // quitting also told the service the operator is off line.
    if (way != ExitWay::AccountDeactivated) {
        ASSERT_EQ(fakes.boxes.asked.size(), 1u);
        EXPECT_EQ(fakes.boxes.asked[0].text, QStringLiteral("1 chats are open. End them and quit?"));
        const auto lines = service.RequestLines();
        const auto sent = [&](const std::string& part) {
            return std::count_if(lines.begin(), lines.end(),
                                 [&](const std::string& line) { return line.find(part) != std::string::npos; });
        };
        EXPECT_EQ(sent("action=endchatcl&csesid=" + visitor), 1);
        EXPECT_EQ(sent("action=lgof"), GetParam().logsOut ? 0 : 1);
    }

    QElapsedTimer linkEnd;
    linkEnd.start();
    link.reset();
    const qint64 linkEndMs = linkEnd.elapsed();
    EXPECT_LT(linkEndMs, kLinkEndBoundMs);
    RecordProperty("stuckExchanges", stuckWhenEnded);
    RecordProperty("sessionEndMs", static_cast<int>(sessionEndMs));
    RecordProperty("linkEndMs", static_cast<int>(linkEndMs));
}

INSTANTIATE_TEST_SUITE_P(Ways, CleanExit, ::testing::ValuesIn(kExitCases),
                         [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

// Window titles and box captions are the program's own texts: the toolkit is given
// no display name to append to them, and the desktop still finds the entry.
TEST(Application, CaptionsGetNoSuffix)
{
    const QString name = QCoreApplication::applicationName();
    app::ConfigureApplication();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), name);
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("example.kivora.Console"));
    QApplication::setQuitOnLastWindowClosed(true);
}

} // namespace
