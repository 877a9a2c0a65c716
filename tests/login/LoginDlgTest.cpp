// The login dialog run for real, offscreen, with a scripted transport (outcomes)
// or the demo service (what goes on the wire).
#include "login/LoginDlg.h"
#include "session/Session.h"

#include "app/ConsoleApp.h"
#include "login/LoginCipher.h"
#include "login/SavedLogin.h"
#include "net/CurlTransport.h"
#include "net/ServerLink.h"
#include "platform/Platform.h"
#include "support/DemoService.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

using namespace kivora;
using namespace kivora::login;
using kivora::test::FakeBrowser;
using kivora::test::FakeLoginStore;
using kivora::test::FakeMessageBoxes;
using kivora::test::FakeSounds;
using kivora::test::ScriptedTransport;

namespace {

const QString kConnecting = QStringLiteral("Connecting to Kivora...");

class LoginDlgTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    FakeMessageBoxes boxes;
    FakeBrowser browser;
    FakeSounds sounds;
    FakeLoginStore store;
    test::FakeTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
    net::CServerLink link{transport};
    session::CSession session{link};
    std::vector<ConsoleStart> consoles;
    bool dialogVisibleDuringConsole = true;
    std::unique_ptr<CLoginDlg> dlg;

    void MakeDialog()
    {
        dlg = std::make_unique<CLoginDlg>(session, platform, [this](const ConsoleStart& start) {
            consoles.push_back(start);
            dialogVisibleDuringConsole = dlg->isVisible();
        });
    }

    // Types the usual operator in and clicks Login, leaving the attempt under way.
    void StartLogin()
    {
        dlg->show();
        dlg->SiteIdEdit()->setText(QStringLiteral("site1"));
        dlg->LoginIdEdit()->setText(QStringLiteral("admin"));
        dlg->PasswordEdit()->setText(QStringLiteral("secret"));
        QTest::mouseClick(dlg->LoginButton(), Qt::LeftButton);
    }

    void TypeAndLogin(const QString& site, const QString& login, const QString& password)
    {
        dlg->SiteIdEdit()->setText(site);
        dlg->LoginIdEdit()->setText(login);
        dlg->PasswordEdit()->setText(password);
        QTest::mouseClick(dlg->LoginButton(), Qt::LeftButton);
        // The login runs on workers; the dialog's thread only waits here in tests.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !session.LoggingIn(); }, 5000));
    }

    void SetUp() override { MakeDialog(); }
};

struct OutcomeCase {
    const char* reply;
    const char* boxText; // null: the console runs
    std::optional<bool> isAdminAfter;
};

class LoginOutcomes : public LoginDlgTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(LoginOutcomes, EachReplyGivesItsMessageOrTheConsole)
{
    const OutcomeCase& c = GetParam();
    session.SetAdmin(true); // so that a reply that leaves it alone shows
    transport->Reply("3<fld>2<fld>svc.example<fld>cpn");
    transport->Reply(c.reply);
    dlg->show();
    TypeAndLogin(QStringLiteral("site1"), QStringLiteral("admin"), QStringLiteral("secret"));

    if (c.boxText) {
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, QString::fromUtf8(c.boxText));
        EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Kivora"));
        EXPECT_EQ(boxes.shown[0].icon, platform::BoxIcon::Warning);
        EXPECT_EQ(boxes.shown[0].owner, dlg.get());
        EXPECT_TRUE(consoles.empty());
        EXPECT_TRUE(dlg->StatusLine()->text().isEmpty());
        EXPECT_TRUE(dlg->LoginButton()->isEnabled());
        EXPECT_TRUE(dlg->isVisible());
    } else {
        EXPECT_TRUE(boxes.shown.empty());
        ASSERT_EQ(consoles.size(), 1u);
        EXPECT_FALSE(dialogVisibleDuringConsole);
        EXPECT_EQ(session.Who().loginId, "admin");
        EXPECT_EQ(session.Who().siteId, "site1");
    }
    if (c.isAdminAfter) {
        EXPECT_EQ(session.Who().isAdmin, *c.isAdminAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, LoginOutcomes,
    ::testing::Values(
        OutcomeCase{"true<fld>ADM<fld>http://www.site1.example/", nullptr, true},
        OutcomeCase{"true<fld>OPR<fld>http://www.site1.example/", nullptr, false},
        OutcomeCase{"false<fld>OPR<fld>", "Login Failure", false},
        OutcomeCase{"incorrect<fld><fld>", "Incorrect Password", false},
        OutcomeCase{"already<fld>ADM<fld>", "User is already logged in.", true},
        OutcomeCase{"expired<fld><fld>", "Account has been deactivated. Please contact www.kivora.example", false},
        // Not three fields: the outcome is empty and the role is left alone.
        OutcomeCase{"true", "Account has been deactivated. Please contact www.kivora.example", true},
        OutcomeCase{"true<fld>ADM", "Account has been deactivated. Please contact www.kivora.example", true}));

TEST_F(LoginDlgTest, AdministratorWithEmptySiteAddressHandsOverEmptyAddress)
{
    transport->Reply("3<fld>2<fld>svc.example<fld>cpn");
    transport->Reply("true<fld>ADM<fld>");
    TypeAndLogin(QStringLiteral("site1"), QStringLiteral("admin"), QStringLiteral("secret"));
    ASSERT_EQ(consoles.size(), 1u);
    EXPECT_EQ(consoles[0].siteAddress, "");
    EXPECT_EQ(consoles[0].siteId, "site1");
    EXPECT_EQ(consoles[0].loginId, "admin");
    EXPECT_TRUE(session.Who().isAdmin);
}

TEST_F(LoginDlgTest, EmptyFieldWarnsAndSendsNothing)
{
    dlg->show();
    TypeAndLogin(QString(), QStringLiteral("admin"), QStringLiteral("secret"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("\"Empty Username or password field\""));
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Kivora"));
    EXPECT_EQ(boxes.shown[0].icon, platform::BoxIcon::Error);
    EXPECT_EQ(dlg->StatusLine()->text(), kConnecting);
    EXPECT_TRUE(dlg->LoginButton()->isEnabled());
    EXPECT_EQ(transport->RequestCount(), 0u);
}

TEST_F(LoginDlgTest, StatusAndButtonWhileConnecting)
{
    transport->responder = [&](const net::TransportRequest& request) {
        if (request.path.find("w-param") != std::string::npos)
            return net::TransportResult{true, "3<fld>2<fld>h<fld>cpn", {}};
        return net::TransportResult{false, {}, "refused"};
    };
    transport->Hold(true);
    StartLogin();
    // While it connects the fields rest and the button abandons the attempt.
    EXPECT_EQ(dlg->StatusLine()->text(), kConnecting);
    EXPECT_FALSE(dlg->SiteIdEdit()->isEnabled());
    EXPECT_EQ(dlg->LoginButton()->text(), QStringLiteral("&Cancel"));
    transport->Hold(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session.LoggingIn(); }, 5000));
    // A failed login request goes back to idle without a word.
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(dlg->StatusLine()->text().isEmpty());
    EXPECT_TRUE(dlg->LoginButton()->isEnabled());
    EXPECT_TRUE(consoles.empty());
}

// A hung service never holds the dialog: Escape (or the button) abandons the
// attempt and gives the fields back, and a late answer changes nothing.
TEST_F(LoginDlgTest, EscapeAbandonsALoginUnderWay)
{
    transport->Hold(true);
    StartLogin();
    ASSERT_TRUE(session.LoggingIn());
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_FALSE(session.LoggingIn());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->SiteIdEdit()->isEnabled());
    EXPECT_EQ(dlg->LoginButton()->text(), QStringLiteral("L&ogin"));
    EXPECT_TRUE(dlg->StatusLine()->text().isEmpty());
    transport->Reply("3<fld>2<fld>h<fld>cpn");
    transport->Reply("true<fld>ADM<fld>");
    transport->Hold(false);
    QTest::qWait(100);
    EXPECT_TRUE(consoles.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LoginDlgTest, FailedParametersStillTryTheLoginWithDefaults)
{
    session.SetDefaultHost("default.example");
    transport->Fail();
    transport->Reply("true<fld>OPR<fld>x");
    TypeAndLogin(QStringLiteral("site1"), QStringLiteral("anna"), QStringLiteral("secret"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Please check your internet connection."));
    const auto sent = transport->Requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].host, "default.example");
    EXPECT_EQ(sent[1].path, "/cpn/w-login.php?loginid=anna&stid=site1&pwd=secret");
    EXPECT_EQ(consoles.size(), 1u);
}

TEST_F(LoginDlgTest, SavePasswordKeepsTheLoginOnlyWhenTicked)
{
    transport->Reply("3<fld>2<fld>h<fld>cpn");
    transport->Reply("true<fld>OPR<fld>");
    dlg->SavePasswordBox()->setChecked(true);
    TypeAndLogin(QStringLiteral("site1"), QStringLiteral("anna"), QStringLiteral("p&ss word"));
    const auto saved = LoadSavedLogin(store);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->loginId, "anna");
    EXPECT_EQ(saved->password, "p&ss word");

    // Unticked, an earlier record stays as it was.
    MakeDialog();
    transport->Reply("3<fld>2<fld>h<fld>cpn");
    transport->Reply("true<fld>OPR<fld>");
    TypeAndLogin(QStringLiteral("site1"), QStringLiteral("ben"), QStringLiteral("secret"));
    ASSERT_TRUE(LoadSavedLogin(store));
    EXPECT_EQ(LoadSavedLogin(store)->loginId, "anna");
}

TEST_F(LoginDlgTest, SavedLoginHandsOverWithoutEverShowingTheDialog)
{
    SaveLogin(store, SavedLogin{"admin", "site1", "secret"});
    transport->Reply("3<fld>2<fld>h<fld>cpn");
    transport->Reply("true<fld>ADM<fld>http://www.site1.example/");
    bool everShown = false;
    struct ShowWatcher final : QObject {
        bool* shown;
        explicit ShowWatcher(bool* s) : shown(s) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Show)
                *shown = true;
            return false;
        }
    } watcher(&everShown);
    dlg->installEventFilter(&watcher);

    dlg->DoModal();
    EXPECT_FALSE(everShown);
    ASSERT_EQ(consoles.size(), 1u);
    EXPECT_EQ(consoles[0].loginId, "admin");
    EXPECT_EQ(transport->Requests()[1].path, "/cpn/w-login.php?loginid=admin&stid=site1&pwd=secret");
}

TEST_F(LoginDlgTest, FailedAutomaticLoginShowsTheDialogFilledIn)
{
    SaveLogin(store, SavedLogin{"admin", "site1", "old"});
    transport->Reply("3<fld>2<fld>h<fld>cpn");
    transport->Reply("incorrect<fld><fld>");
    bool visible = false;
    QString status = QStringLiteral("unset");
    bool enabled = false;
    QString password;
    // Looked at once the failed login has settled and the dialog shows.
    QObject::connect(dlg.get(), &CLoginDlg::loginSettled, dlg.get(), [&] {
        QTimer::singleShot(0, dlg.get(), [&] {
            visible = dlg->isVisible();
            status = dlg->StatusLine()->text();
            enabled = dlg->LoginButton()->isEnabled();
            password = dlg->PasswordEdit()->text();
            dlg->reject();
        });
    });
    dlg->DoModal();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Incorrect Password"));
    EXPECT_TRUE(visible);
    EXPECT_TRUE(status.isEmpty());
    EXPECT_TRUE(enabled);
    EXPECT_EQ(password, QStringLiteral("old"));
    EXPECT_EQ(dlg->LoginIdEdit()->text(), QStringLiteral("admin"));
    EXPECT_TRUE(consoles.empty());
}

TEST_F(LoginDlgTest, UnusableSavedRecordsGiveAnEmptyDialog)
{
    for (const std::string& record : {std::string(1, '\0'), std::string(5000, 'x') + '\0',
                                      EncryptText("only<fld>two", kPassPhrase) + '\0'}) {
        store.stored = record;
        MakeDialog();
        QTimer::singleShot(0, dlg.get(), [&] { dlg->reject(); });
        dlg->DoModal();
        EXPECT_EQ(transport->RequestCount(), 0u);
        EXPECT_TRUE(dlg->LoginIdEdit()->text().isEmpty());
    }
}

TEST_F(LoginDlgTest, BannerAboutAndKeyboard)
{
    dlg->show();
    auto* banner = [&]() -> QWidget* {
        for (QWidget* w : dlg->findChildren<QWidget*>())
            if (w->property("controlId").toInt() == 1073)
                return w;
        return nullptr;
    }();
    ASSERT_NE(banner, nullptr);
    browser.openedUrls.clear();
    QTest::mouseClick(banner, Qt::LeftButton);
    ASSERT_EQ(browser.openedUrls.size(), 1u);
    EXPECT_EQ(browser.openedUrls[0], QStringLiteral("www.kivora.example"));

    int aboutRuns = 0;
    dlg->runAbout = [&] { ++aboutRuns; };
    dlg->OnInitDialog();
    EXPECT_EQ(dlg->AboutButton()->text(), QStringLiteral("About Tolvane..."));
    QTest::mouseClick(dlg->AboutButton(), Qt::LeftButton);
    EXPECT_EQ(aboutRuns, 1);

    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Kivora Executive Login:"));
    EXPECT_TRUE(dlg->LoginButton()->isDefault());
    EXPECT_EQ(dlg->PasswordEdit()->echoMode(), QLineEdit::Password);
    // Tab goes site, login, password, Save Password, Login.
    auto nextTabStop = [](QWidget* w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(w->window()));
        return w;
    };
    EXPECT_EQ(nextTabStop(dlg->SiteIdEdit()), dlg->LoginIdEdit());
    EXPECT_EQ(nextTabStop(dlg->LoginIdEdit()), dlg->PasswordEdit());
    EXPECT_EQ(nextTabStop(dlg->PasswordEdit()), dlg->SavePasswordBox());
    EXPECT_EQ(nextTabStop(dlg->SavePasswordBox()), dlg->LoginButton());
    // Each label's mnemonic leads to its field.
    for (QLabel* label : dlg->findChildren<QLabel*>()) {
        if (label->text() == QStringLiteral("&Site ID:")) {
            EXPECT_EQ(label->buddy(), dlg->SiteIdEdit());
        }
        if (label->text() == QStringLiteral("&Password: ")) {
            EXPECT_EQ(label->buddy(), dlg->PasswordEdit());
        }
    }
}

TEST(LoginOnTheWire, ExactRequestLinesForParametersAndLogin)
{
    test::CDemoService service;
    FakeMessageBoxes boxes;
    FakeBrowser browser;
    FakeSounds sounds;
    FakeLoginStore store;
    test::FakeTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
    net::CServerLink link(std::make_shared<net::CCurlTransport>());
    kivora::session::CSession session(link);
    session.SetDefaultHost(service.HostPort());
    int consoleRuns = 0;
    CLoginDlg dlg(session, platform, [&](const ConsoleStart& start) {
        ++consoleRuns;
        EXPECT_EQ(start.siteAddress, "http://www.site1.example/");
    });
    dlg.SiteIdEdit()->setText(QStringLiteral("site1"));
    dlg.LoginIdEdit()->setText(QStringLiteral("admin"));
    dlg.PasswordEdit()->setText(QStringLiteral("secret"));
    dlg.OnLogin();
    ASSERT_TRUE(QTest::qWaitFor([&] { return consoleRuns == 1; }, 10000));
    EXPECT_TRUE(session.Who().isAdmin);
    const auto lines = service.RequestLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "GET /cpn/w-param.php?stid=site1 HTTP/1.0");
    EXPECT_EQ(lines[1], "GET /cpn/w-login.php?loginid=admin&stid=site1&pwd=secret HTTP/1.0");
}

TEST(CommandLine, ServiceHelpVersionAndErrors)
{
    auto parse = [](QStringList args) {
        args.prepend(QStringLiteral("kivora-console"));
        return app::ParseCommandLine(args);
    };
    const auto plain = parse({});
    EXPECT_FALSE(plain.exitNow);
    EXPECT_TRUE(plain.serviceHost.empty());
    EXPECT_EQ(parse({QStringLiteral("--service"), QStringLiteral("127.0.0.1:8080")}).serviceHost, "127.0.0.1:8080");
    EXPECT_EQ(parse({QStringLiteral("--service=svc.example")}).serviceHost, "svc.example");
    EXPECT_EQ(parse({QStringLiteral("--bogus")}).exitCode, 2);
    EXPECT_EQ(parse({QStringLiteral("extra")}).exitCode, 2);
    EXPECT_EQ(parse({QStringLiteral("--service")}).exitCode, 2);
}

} // namespace
