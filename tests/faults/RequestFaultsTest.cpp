// Every way the server can fail, on each request the operator depends on: the
// parameters, the login, the visitor list, a visitor's details, the chat poll and
// the log out. Whatever the server does, the console stays responsive, uses nothing
// it cannot read, counts the failed exchanges, and works again once the server does.
#include "faults/FaultHarness.h"

#include "chat/ChatDlg.h"
#include "chat/Transcript.h"
#include "console/ConsoleDlg.h"
#include "login/LoginDlg.h"
#include "login/SavedLogin.h"
#include "panel/VisitorPanelDlg.h"
#include "res/DialogTemplates.h"
#include "res/Strings.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kivora;
using namespace kivora::test;

namespace {

const QString kConnectionCaption = QStringLiteral("Internet Connection");

// The login dialog with its fields typed in, running no console: a successful login
// only records what the console would have been started with.
struct LoginForm {
    LoginForm(net::CServerLink& link, platform::Platform& platform, std::vector<login::ConsoleStart>& started,
              const std::string& host)
        : session(link), dialog(session, platform, [&started](const login::ConsoleStart& start) {
              started.push_back(start);
          })
    {
        session.SetDefaultHost(host);
        dialog.SiteIdEdit()->setText(QStringLiteral("site1"));
        dialog.LoginIdEdit()->setText(QStringLiteral("admin"));
        dialog.PasswordEdit()->setText(QStringLiteral("secret"));
    }
    // Clicks Login and waits for the attempt to settle; returns how long the click
    // held the dialog's thread.
    qint64 Click()
    {
        QElapsedTimer clock;
        clock.start();
        dialog.LoginButton()->click();
        const qint64 held = clock.elapsed();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !session.LoggingIn(); }, 20000));
        return held;
    }
    session::CSession session;
    login::CLoginDlg dialog;
};

class RequestFault : public ::testing::TestWithParam<FaultCase> {
protected:
    bool Fails() const { return GetParam().exchangeFails; }
    bool NoServer() const { return GetParam().fault == ServerFault::NoServer; }
};

// --- Parameters ---------------------------------------------------------------------

class ParamsRequest : public RequestFault {};

TEST_P(ParamsRequest, AFailureIsReportedAtOnceAndTheLoginGoesOnWithTheDefaults)
{
    CDemoService service{{"--refresh-seconds", "7", "--chat-poll-seconds", "4"}};
    FakePlatform fakes;
    net::CServerLink link(std::make_shared<net::CCurlTransport>(ShortLimits()));
    std::vector<login::ConsoleStart> started;
    if (!NoServer())
        ArmAtService(service, GetParam().fault, "w-param");

    LoginForm form(link, fakes.platform, started, NoServer() ? ClosedHostPort() : service.HostPort());
    // Neither exchange holds the dialog's thread.
    EXPECT_LT(form.Click(), kFreezeBoundMs);

    ASSERT_EQ(BoxesCaptioned(fakes.boxes, kConnectionCaption), Fails() ? 1 : 0);
    if (Fails()) {
        EXPECT_EQ(fakes.boxes.shown[0].text, QStringLiteral("Please check your internet connection."));
        EXPECT_EQ(fakes.boxes.shown[0].owner, nullptr);
        EXPECT_EQ(fakes.boxes.shown[0].icon, platform::BoxIcon::Error);
    }
    // Nothing usable came back: the built-in place and no periods.
    EXPECT_EQ(form.session.Host(), form.session.DefaultHost());
    EXPECT_EQ(form.session.PathPrefix(), "/cpn");
    EXPECT_EQ(form.session.RefreshIntervalMs(), 0);
    EXPECT_EQ(form.session.ChatPollIntervalMs(), 0);
    if (NoServer()) {
        // The login went to the same dead address and failed without a word.
        EXPECT_TRUE(started.empty());
        EXPECT_EQ(fakes.boxes.shown.size(), 1u);
        EXPECT_TRUE(form.dialog.LoginButton()->isEnabled());
        EXPECT_TRUE(form.dialog.StatusLine()->text().isEmpty());
    } else {
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].loginId, "admin");
    }

    const std::size_t boxesBefore = fakes.boxes.shown.size();
    LoginForm again(link, fakes.platform, started, service.HostPort());
    again.Click();
    EXPECT_EQ(again.session.RefreshIntervalMs(), 7000);
    EXPECT_EQ(again.session.ChatPollIntervalMs(), 4000);
    EXPECT_EQ(started.size(), NoServer() ? 1u : 2u);
    EXPECT_EQ(fakes.boxes.shown.size(), boxesBefore);
}

INSTANTIATE_TEST_SUITE_P(Faults, ParamsRequest, ::testing::ValuesIn(kFaultCases), FaultCaseName());

// --- Login --------------------------------------------------------------------------

class LoginRequest : public RequestFault {};

TEST_P(LoginRequest, NoConsoleStartsAndTheDialogIsReadyForAnotherTry)
{
    CDemoService service;
    FakePlatform fakes;
    net::CServerLink link(std::make_shared<net::CCurlTransport>(ShortLimits()));
    std::vector<login::ConsoleStart> started;
    if (NoServer()) {
        // The parameters send the console to an address where nobody listens.
        service.Fault("body", 1, "endpoint=w-param&body=" + CDemoService::Escape("3<fld>2<fld>" + ClosedHostPort() + "<fld>cpn"));
    } else {
        ArmAtService(service, GetParam().fault, "w-login");
    }

    LoginForm form(link, fakes.platform, started, service.HostPort());
    EXPECT_LT(form.Click(), kFreezeBoundMs);

    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(form.dialog.LoginButton()->isEnabled());
    EXPECT_TRUE(form.dialog.StatusLine()->text().isEmpty());
    EXPECT_EQ(form.session.FailureCount(), Fails() ? 1 : 0);
    if (Fails()) {
        // A failed login exchange says nothing; the session counts it.
        EXPECT_TRUE(fakes.boxes.shown.empty());
    } else {
        // A page without the three fields is the empty outcome.
        ASSERT_EQ(fakes.boxes.shown.size(), 1u);
        EXPECT_EQ(fakes.boxes.shown[0].caption, QStringLiteral("Kivora"));
        EXPECT_TRUE(fakes.boxes.shown[0].text.startsWith(QStringLiteral("Account has been deactivated.")));
    }

    const std::size_t boxesBefore = fakes.boxes.shown.size();
    form.Click();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].siteAddress, "http://www.site1.example/");
    EXPECT_EQ(fakes.boxes.shown.size(), boxesBefore);
    EXPECT_EQ(form.session.FailureCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, LoginRequest, ::testing::ValuesIn(kFaultCases), FaultCaseName());

// --- Requests of the running console ---------------------------------------------------

// A console logged in as admin with one visitor on the site, the list shown once.
class ConsoleRequest : public RequestFault {
protected:
    void SetUp() override
    {
        visitor = session.service.AddVisitor(
            "ip=192.0.2.44&page=/shop.html&status=Chat%20Request&country=Norway&city=Oslo");
        console.SetLoginInfo("site1", "admin", "http://www.site1.example/");
        console.OnInitDialog();
        console.RequestVisitorList();
        ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 1; }, 10000));
        ASSERT_TRUE(session.WaitIdle());
        ASSERT_EQ(session.session.FailureCount(), 0);
    }
    void TearDown() override { console.OnDestroy(); }

    // Makes the next request to `endpoint` meet the test's fault.
    void Arm(const std::string& endpoint, int count = 1)
    {
        if (NoServer())
            session.session.SetAddress(ClosedHostPort(), session.session.PathPrefix());
        else
            ArmAtService(session.service, GetParam().fault, endpoint, count);
    }
    void ServerBack() { session.session.SetAddress(session.service.HostPort(), session.session.PathPrefix()); }

    FaultSession session;
    net::CServerLink& link = session.link;
    FakePlatform& fakes = session.fakes;
    console::CConsoleDlg console{session.session, session.platform};
    std::string visitor;
};

class VisitorListRequest : public ConsoleRequest {};

TEST_P(VisitorListRequest, TheListKeepsItsRowsAsStaleWithoutAFreezeAndIsFreshAgainAtTheNextGoodRefresh)
{
    const bool online = console.OnlineRadio()->isChecked();
    Arm("w-allonlineu");
    CFreezeWatch watch;
    console.RequestVisitorList();
    ASSERT_TRUE(session.WaitIdle());
    EXPECT_LT(watch.LongestGapMs(), kFreezeBoundMs);
    RecordProperty("longestGapMs", static_cast<int>(watch.LongestGapMs()));

    // An unusable reply says nothing of the visitors: the last rows stay, shown as
    // stale, and so do the operators and the presence.
    EXPECT_EQ(console.Model().Count(), 1);
    EXPECT_TRUE(console.Model().IsStale());
    EXPECT_FALSE(console.Operators().empty());
    EXPECT_EQ(console.OnlineRadio()->isChecked(), online);
    EXPECT_TRUE(fakes.boxes.shown.empty());
    EXPECT_EQ(session.session.FailureCount(), Fails() ? 1 : 0);

    ServerBack();
    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.Model().IsStale(); }, 10000));
    EXPECT_EQ(console.Model().Count(), 1);
    EXPECT_EQ(console.Model().Row(0).GetSessionId(), visitor);
    EXPECT_FALSE(console.Operators().empty());
    EXPECT_EQ(session.session.FailureCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, VisitorListRequest, ::testing::ValuesIn(kFaultCases), FaultCaseName());

class DetailsRequest : public ConsoleRequest {};

TEST_P(DetailsRequest, NothingIsKeptAndTheNextViewAsksAgain)
{
    console.ListView()->selectRow(0);
    console.UpdateButtons();
    ASSERT_TRUE(console.Button(res::IDC_VIEW_DETAILS)->isEnabled());
    Arm("w-lmudets");

    QElapsedTimer clock;
    clock.start();
    console.Button(res::IDC_VIEW_DETAILS)->click();
    EXPECT_LT(clock.elapsed(), kFreezeBoundMs);
    ASSERT_TRUE(session.WaitIdle(20000));
    EXPECT_TRUE(console.Panel()->Details()[net::kDetailCountry].empty());
    EXPECT_FALSE(console.Model().Row(0).HasDetails());
    EXPECT_TRUE(console.DetailsCache().empty());
    EXPECT_TRUE(fakes.boxes.shown.empty());
    EXPECT_EQ(session.session.FailureCount(), Fails() ? 1 : 0);

    ServerBack();
    console.Button(res::IDC_VIEW_DETAILS)->click();
    // The panel fills in when the details come.
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Row(0).HasDetails(); }, 10000));
    EXPECT_EQ(console.Panel()->Details()[net::kDetailCountry], "Norway");
    EXPECT_EQ(console.Panel()->Details()[net::kDetailCity], "Oslo");
    EXPECT_TRUE(console.Model().Row(0).HasDetails());
    EXPECT_EQ(session.session.FailureCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, DetailsRequest, ::testing::ValuesIn(kFaultCases), FaultCaseName());

chat::CChatDlg* OpenChatWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* chat = qobject_cast<chat::CChatDlg*>(widget); chat && chat->isVisible())
            return chat;
    }
    return nullptr;
}

class ChatPollRequest : public ConsoleRequest {};

TEST_P(ChatPollRequest, NoLineIsLostOrShownTwice)
{
    console.AcceptChat(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.ChatWindowCount() == 1; }, 10000));
    chat::CChatDlg* chat = OpenChatWindow();
    ASSERT_NE(chat, nullptr);
    const auto transcript = [chat] { return chat->Transcript()->toPlainText(); };
    session.service.VisitorSays(visitor, "Before the fault");
    chat->OnTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return transcript().contains(QStringLiteral("Before the fault")); }, 10000));
    ASSERT_TRUE(session.WaitIdle());
    const std::string lastNumber = chat->LastMessageNumber();

    // A tick asks for new lines and whether the visitor types; both meet the fault.
    Arm("w-achats");
    if (!NoServer())
        ArmAtService(session.service, GetParam().fault, "w-otype");
    session.service.VisitorSays(visitor, "During the fault");
    CFreezeWatch watch;
    chat->OnTimer();
    ASSERT_TRUE(session.WaitIdle());
    EXPECT_LT(watch.LongestGapMs(), kFreezeBoundMs);
    RecordProperty("longestGapMs", static_cast<int>(watch.LongestGapMs()));
    EXPECT_FALSE(transcript().contains(QStringLiteral("During the fault")));
    EXPECT_EQ(chat->LastMessageNumber(), lastNumber);
    EXPECT_TRUE(chat->IsPolling());
    EXPECT_TRUE(fakes.boxes.shown.empty());
    EXPECT_EQ(session.session.FailureCount(), Fails() ? 2 : 0);

    ServerBack();
    session.service.VisitorSays(visitor, "After the fault");
    chat->OnTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return transcript().contains(QStringLiteral("After the fault")); }, 10000));
    const QString text = transcript();
    EXPECT_EQ(text.count(QStringLiteral("Before the fault")), 1) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("During the fault")), 1) << text.toStdString();
    EXPECT_LT(text.indexOf(QStringLiteral("During the fault")), text.indexOf(QStringLiteral("After the fault")));
    EXPECT_EQ(session.session.FailureCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, ChatPollRequest, ::testing::ValuesIn(kFaultCases), FaultCaseName());

class LogOutRequest : public ConsoleRequest {};

TEST_P(LogOutRequest, TheLogOutGoesOnRegardless)
{
    login::SaveLogin(fakes.store, login::SavedLogin{"admin", "site1", "secret"});
    ASSERT_TRUE(fakes.store.stored.has_value());
    std::vector<int> results;
    QObject::connect(&console, &QDialog::finished, &console, [&](int result) { results.push_back(result); });
    Arm("w-adminout");

    QElapsedTimer clock;
    clock.start();
    console.Panel()->Button(res::IDC_LOG_OUT)->click();
    // The windows go at once; the service gets at most three seconds.
    EXPECT_LT(clock.elapsed(), kFreezeBoundMs);
    EXPECT_FALSE(console.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !results.empty(); }, 5000));
    EXPECT_LT(clock.elapsed(), 3000 + kFreezeBoundMs);
    ASSERT_TRUE(session.WaitIdle());

    EXPECT_EQ(results, std::vector<int>{1});
    EXPECT_TRUE(link.ShuttingDown());
    EXPECT_FALSE(fakes.store.stored.has_value());
    EXPECT_TRUE(fakes.boxes.shown.empty());
    EXPECT_EQ(session.session.FailureCount(), Fails() ? 1 : 0);
    if (!NoServer()) {
        const auto lines = session.service.RequestLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), "GET /cpn/w-adminout.php?adminid=admin&sid=site1 HTTP/1.0"),
                  lines.end());
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, LogOutRequest, ::testing::ValuesIn(kFaultCases), FaultCaseName());

} // namespace
