// The console window run offscreen with a scripted transport; replies are handed
// to it the way the server link does.
#include "console/ConsoleDlg.h"
#include "chat/ChatDlg.h"
#include "session/Session.h"

#include "panel/VisitorPanelDlg.h"
#include "platform/Platform.h"
#include "res/DialogTemplates.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"
#include "ui/HyperLink.h"
#include "ui/RequestPopupDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kivora;
using namespace kivora::console;
using kivora::test::FakeBrowser;
using kivora::test::FakeLoginStore;
using kivora::test::FakeMessageBoxes;
using kivora::test::FakeSounds;
using kivora::test::ScriptedTransport;

namespace {

std::string Row(const std::string& session, const std::string& status, const std::string& marker = "",
                const std::string& duration = "0:01:00", const std::string& busy = "")
{
    return session + "<fld>192.0.2." + session.substr(1) + "<fld>3<fld>" + status + "<fld>" + duration +
           "<fld>Delete<fld>" + busy + "<fld>Invite<fld>Pro-Pop<fld>/page-" + session + ".html<fld>" + marker;
}

std::string ListReply(const std::vector<std::string>& rows, const std::string& tail = "admin<blk><blk>")
{
    std::string reply;
    for (const auto& r : rows)
        reply += (reply.empty() ? "" : "<ln>") + r;
    return reply + "<blk>" + tail;
}

class ConsoleTest : public ::testing::Test {
protected:
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    FakeMessageBoxes boxes;
    FakeBrowser browser;
    FakeSounds sounds;
    FakeLoginStore store;
    test::FakeTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
    net::CServerLink link{transport};
    session::CSession session{link, &browser};
    std::unique_ptr<CConsoleDlg> console;
    std::vector<ChatRequest> chats;
    std::vector<std::string> popups;

    void SetUp() override
    {
        // Requests go to no host in particular, under no path prefix.
        session.SetAddress("", "");
        session.SetIdentity("admin", "site1");
        session.SetPeriods(60'000, session.ChatPollIntervalMs());
        console = std::make_unique<CConsoleDlg>(session, platform);
        console->SetLoginInfo("site1", "admin", "http://www.site1.example/");
        console->openChatWindow = [this](const ChatRequest& r) { chats.push_back(r); };
        console->raisePopup = [this](int, const std::string&, const std::string& session) {
            popups.push_back(session);
        };
        console->OnInitDialog();
        WaitForRequests();
    }

    void WaitForRequests() { ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 5000)); }

    std::vector<std::string> SentPaths()
    {
        WaitForRequests();
        std::vector<std::string> paths;
        for (const auto& r : transport->Requests())
            paths.push_back(r.path);
        return paths;
    }

    void List(const std::string& reply) { console->OnVisitorListReply(reply); }
    QString Cell(int row, int column, int role = Qt::DisplayRole)
    {
        return console->Model().data(console->Model().index(row, column), role).toString();
    }
    QColor Colour(int row, int column)
    {
        return console->Model().data(console->Model().index(row, column), Qt::ForegroundRole).value<QColor>();
    }
    bool Enabled(int id) { return console->Button(id)->isEnabled(); }
};

TEST_F(ConsoleTest, StartUpCaptionLinkPresenceAndNoListRequestYet)
{
    EXPECT_EQ(console->windowTitle(), QStringLiteral("Kivora"));
    EXPECT_TRUE(tray.shown);
    EXPECT_TRUE(tray.tip.startsWith(QStringLiteral("Kivora Online")));
    EXPECT_EQ(console->OperatorCaption()->text(), QStringLiteral("admin (site1) "));
    EXPECT_EQ(console->SiteLink()->text(), QStringLiteral("http://www.site1.example/"));
    EXPECT_EQ(console->SiteLink()->Target(), QStringLiteral("http://www.site1.example/"));
    EXPECT_EQ(SentPaths(), std::vector<std::string>{"/w-mrefresh.php?sid=site1&adminid=admin&action=lgon"});
    CConsoleDlg fresh(session, platform);
    fresh.OnInitDialog();
    EXPECT_FALSE(fresh.OnlineRadio()->isChecked());
    EXPECT_FALSE(fresh.OfflineRadio()->isChecked());
    fresh.OnDestroy();
    EXPECT_EQ(console->RefreshPeriodMs(), 60'000);
    auto* header = console->ListView()->horizontalHeader();
    EXPECT_EQ(console->Model().headerData(0, Qt::Horizontal).toString(), QStringLiteral("Vistor  (P.Visits)"));
    EXPECT_TRUE(header->sectionsMovable());
    const int client = console->ListView()->width() - 2 * console->ListView()->frameWidth();
    EXPECT_EQ(header->sectionSize(0), static_cast<int>(client * 0.3));
    EXPECT_EQ(header->sectionSize(3), static_cast<int>(client * 0.4));
    // The panel sits below the proactive row, inside the console.
    EXPECT_GT(console->Panel()->geometry().top(), console->Button(res::IDC_SEND_PROACTIVE)->geometry().bottom());
    EXPECT_LE(console->Panel()->geometry().bottom(), console->height());
}

// Until the first list comes the empty list says it is on its way; an answer
// that is no list leaves it saying so.
TEST_F(ConsoleTest, TheEmptyListSaysItIsLoadingUntilTheFirstReply)
{
    console->show();
    ASSERT_NE(console->LoadingNote(), nullptr);
    EXPECT_TRUE(console->LoadingNote()->isVisible());
    EXPECT_EQ(console->LoadingNote()->text(), QStringLiteral("Loading visitors..."));
    List("<html>502 Bad Gateway</html>");
    EXPECT_TRUE(console->LoadingNote()->isVisible());
    List("No Users Online<blk>admin<blk><blk>");
    EXPECT_FALSE(console->LoadingNote()->isVisible());
}

TEST_F(ConsoleTest, EachTickAsksForTheList)
{
    session.SetPeriods(250, session.ChatPollIntervalMs());
    CConsoleDlg fast(session, platform);
    fast.SetLoginInfo("site1", "admin", "");
    fast.OnInitDialog();
    QTest::qWait(1200);
    fast.OnDestroy();
    WaitForRequests();
    int lists = 0;
    for (const auto& p : SentPaths())
        lists += p == "/w-allonlineu.php?nadminid=admin&nsid=site1";
    EXPECT_GE(lists, 2);

    // No usable period from the service: the list is still not hammered.
    session.SetPeriods(0, session.ChatPollIntervalMs());
    CConsoleDlg fallback(session, platform);
    fallback.OnInitDialog();
    EXPECT_EQ(fallback.RefreshPeriodMs(), 5000);
}

TEST_F(ConsoleTest, RowsTextsImagesColoursAndSkippedRow)
{
    List(ListReply({Row("c1", "Chat Request"), "only<fld>ten<fld>3<fld>4<fld>5<fld>6<fld>7<fld>8<fld>9<fld>10",
                    Row("c2", "In Site"), Row("c3", "In Site", "ppc")}));
    ASSERT_EQ(console->Model().Count(), 3);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("192.0.2.1 - (3)"));
    EXPECT_EQ(Cell(0, 1), QStringLiteral("Chat Request"));
    EXPECT_EQ(Cell(0, 2), QStringLiteral("0:01:00"));
    EXPECT_EQ(Cell(0, 3), QStringLiteral("/page-c1.html"));
    EXPECT_EQ(Cell(1, 0), QStringLiteral("192.0.2.2 - (3)"));

    EXPECT_EQ(Colour(0, 1), QColor(210, 0, 0));
    EXPECT_EQ(Colour(0, 0), QColor(Qt::black));
    EXPECT_EQ(Colour(1, 1), QColor(Qt::black));
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(Colour(2, column), QColor(0, 0, 210));

    EXPECT_EQ(CVisitorListModel::ImageIndex(console->Model().Row(0)), 0);
    EXPECT_EQ(CVisitorListModel::ImageIndex(console->Model().Row(1)), 2);
    EXPECT_EQ(CVisitorListModel::ImageIndex(console->Model().Row(2)), 1);
    EXPECT_FALSE(console->Model().data(console->Model().index(0, 0), Qt::DecorationRole).isNull());
    EXPECT_TRUE(console->Model().data(console->Model().index(1, 0), Qt::DecorationRole).isNull());
    EXPECT_EQ(console->Operators(), std::vector<std::string>{"admin"});

    // The first reply selects row 0, whose buttons follow its fields.
    EXPECT_EQ(console->GetSelectedRow(), 0);
    EXPECT_TRUE(Enabled(res::IDC_ACCEPT));
}

TEST_F(ConsoleTest, ButtonsFollowTheSelectedRowsFields)
{
    List(ListReply({Row("c1", "Chat Request", "", "0:01:00", "")}));
    EXPECT_TRUE(Enabled(res::IDC_ACCEPT));
    EXPECT_TRUE(Enabled(res::IDC_DELETE));
    EXPECT_TRUE(Enabled(res::IDC_INVITE));
    EXPECT_TRUE(Enabled(res::IDC_SEND_PROACTIVE));
    EXPECT_TRUE(Enabled(res::IDC_VIEW_DETAILS));
    EXPECT_FALSE(Enabled(res::IDC_BUSY));

    List("No Users Online<blk>admin<blk><blk>");
    EXPECT_EQ(console->Model().Count(), 0);
    EXPECT_EQ(console->GetSelectedRow(), -1);
    for (const int id : {res::IDC_ACCEPT, res::IDC_DELETE, res::IDC_INVITE, res::IDC_SEND_PROACTIVE,
                         res::IDC_VIEW_DETAILS, res::IDC_BUSY})
        EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(ConsoleTest, SelectionFollowsTheVisitorAcrossRebuilds)
{
    List(ListReply({Row("c1", "In Site"), Row("c2", "In Site"), Row("c3", "Chat Request")}));
    console->ListView()->selectRow(2);
    console->Panel()->SetVisitorDetails(net::VisitorDetails{"http://c3.example/"});
    // Visitors above leave and others come: the selection stays on c3.
    List(ListReply({Row("c9", "In Site"), Row("c3", "Chat Request"), Row("c7", "Chat Request")}));
    EXPECT_EQ(console->GetSelectedRow(), 1);
    EXPECT_TRUE(Enabled(res::IDC_ACCEPT));
    // c3 leaves: nothing is selected, the details go and the buttons with them.
    List(ListReply({Row("c9", "In Site"), Row("c7", "Chat Request")}));
    EXPECT_EQ(console->GetSelectedRow(), -1);
    EXPECT_TRUE(console->Panel()->Details()[net::kDetailUrl].empty());
    EXPECT_FALSE(Enabled(res::IDC_ACCEPT));
    EXPECT_FALSE(Enabled(res::IDC_VIEW_DETAILS));
}

TEST_F(ConsoleTest, LogoutReplyEndsTheConsoleOnceAndLaterRepliesAreIgnored)
{
    List(ListReply({Row("c1", "In Site")}));
    List("logout");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Your account has been deactivated. Application will terminate now."));
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Account expire"));
    EXPECT_TRUE(link.ShuttingDown());
    EXPECT_FALSE(tray.shown);
    EXPECT_EQ(console->result(), 1);
    EXPECT_EQ(console->Model().Count(), 0);
    List(ListReply({Row("c1", "In Site")}));
    List("logout");
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(console->Model().Count(), 0);
}

TEST_F(ConsoleTest, PresenceRepliesDecideTheRadios)
{
    console->OnPresenceReply(net::ParsePresenceReply("online"));
    EXPECT_TRUE(console->OnlineRadio()->isChecked());
    QTest::mouseClick(console->OfflineRadio(), Qt::LeftButton);
    EXPECT_EQ(SentPaths().back(), "/w-mrefresh.php?sid=site1&adminid=admin&action=lgof");
    // The service still says online: the radios follow it.
    console->OnPresenceReply(net::ParsePresenceReply("online"));
    EXPECT_TRUE(console->OnlineRadio()->isChecked());
    EXPECT_FALSE(console->OfflineRadio()->isChecked());
    console->OnPresenceReply(net::ParsePresenceReply("offline"));
    EXPECT_TRUE(console->OfflineRadio()->isChecked());
    console->OnPresenceReply(net::ParsePresenceReply("garbage"));
    EXPECT_TRUE(console->OfflineRadio()->isChecked());
    EXPECT_FALSE(console->IsOnline());
    console->OnPresenceReply(net::ParsePresenceReply("online"));
    console->ShowOffline();
    EXPECT_TRUE(console->OfflineRadio()->isChecked());
    EXPECT_FALSE(console->IsOnline());
}

TEST_F(ConsoleTest, ActionsSendTheirWordsAndInvitations)
{
    List(ListReply({Row("c5", "In Site", "", "0:01:00", "Busy")}));
    transport->Requests();
    QTest::mouseClick(console->Button(res::IDC_BUSY), Qt::LeftButton);
    QTest::mouseClick(console->Button(res::IDC_INVITE), Qt::LeftButton);
    QTest::mouseClick(console->Button(res::IDC_DELETE), Qt::LeftButton);
    console->ProactiveUrlEdit()->setText(QStringLiteral("  www.site1.example/offer?a=1&b=2 "));
    QTest::mouseClick(console->Button(res::IDC_SEND_PROACTIVE), Qt::LeftButton);
    EXPECT_TRUE(console->ProactiveUrlEdit()->text().isEmpty());
    console->SameWindowBox()->setChecked(true);
    console->ProactiveUrlEdit()->setText(QStringLiteral("MAILTO:sales@site1.example"));
    QTest::mouseClick(console->Button(res::IDC_SEND_PROACTIVE), Qt::LeftButton);
    console->ProactiveUrlEdit()->setText(QStringLiteral("   "));
    QTest::mouseClick(console->Button(res::IDC_SEND_PROACTIVE), Qt::LeftButton);
    EXPECT_EQ(console->ProactiveUrlEdit()->text(), QStringLiteral("   "));

    // Each request runs on its own thread, so they may reach the service in any order.
    auto paths = SentPaths();
    std::sort(paths.begin(), paths.end());
    const std::vector<std::string> expected = {
        "/w-action.php?action=cinvt&csesid=c5&sid=site1&adminid=admin",
        "/w-action.php?action=refuse&csesid=c5&sid=site1&adminid=admin",
        "/w-action.php?action=remove&csesid=c5&sid=site1&adminid=admin",
        "/w-mrefresh.php?sid=site1&adminid=admin&action=lgon",
        "/w-prop.php?csesid=c5&prop=A&popwin=N&ppurl=http://www.site1.example/offer%3Fa%3D1%26b%3D2",
        "/w-prop.php?csesid=c5&prop=A&popwin=R&ppurl=MAILTO:sales%40site1.example",
    };
    EXPECT_EQ(paths, expected);
}

TEST_F(ConsoleTest, DoubleClickAcceptsOnlyChatRequests)
{
    List(ListReply({Row("c1", "In Site"), Row("c2", "Chat Request")}));
    console->show();
    QTableView* view = console->ListView();
    const auto rowCentre = [&](int row) { return view->visualRect(console->Model().index(row, 1)).center(); };
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(0));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(0));
    EXPECT_EQ(SentPaths().size(), 1u);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(1));
    EXPECT_TRUE(Enabled(res::IDC_ACCEPT));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rowCentre(1));
    ASSERT_EQ(SentPaths().size(), 2u);
    EXPECT_EQ(SentPaths()[1], "/w-adc.php?csesid=c2&ipaddr=192.0.2.2&adminid=admin&sid=site1");
    // The Accept button is left as it was on this path, and disabled by its own click.
    EXPECT_TRUE(Enabled(res::IDC_ACCEPT));
    QTest::mouseClick(console->Button(res::IDC_ACCEPT), Qt::LeftButton);
    EXPECT_FALSE(Enabled(res::IDC_ACCEPT));
    EXPECT_EQ(SentPaths().size(), 3u);
}

TEST_F(ConsoleTest, ContextMenuMirrorsTheButtonsAndNeedsASelection)
{
    console->show();
    bool menuShown = false;
    std::vector<std::pair<QString, bool>> items;
    auto watchMenu = [&] {
        QTimer::singleShot(50, console.get(), [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menuShown = true;
                for (QAction* a : menu->actions())
                    items.emplace_back(a->text(), a->isEnabled());
                menu->close();
            }
        });
    };
    watchMenu();
    Q_EMIT console->ListView()->customContextMenuRequested(QPoint(5, 5));
    QTest::qWait(100);
    EXPECT_FALSE(menuShown);

    List(ListReply({Row("c1", "In Site")}));
    watchMenu();
    Q_EMIT console->ListView()->customContextMenuRequested(QPoint(5, 5));
    ASSERT_TRUE(menuShown);
    const std::vector<std::pair<QString, bool>> expected = {{QStringLiteral("&View Details"), true},
                                                            {QStringLiteral("&Accept"), false},
                                                            {QStringLiteral("&Busy"), false},
                                                            {QStringLiteral("&Invite"), true},
                                                            {QStringLiteral("&Delete"), true}};
    EXPECT_EQ(items, expected);
}

TEST_F(ConsoleTest, AcceptRepliesOpenChatsRefuseOrOpenTheHistory)
{
    List(ListReply({Row("c1", "Chat Request")}));
    console->OnAcceptReply(net::ParseAcceptReply("Chat already accepted by ben<fld><fld><fld><fld>c1"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Chat already accepted by ben"));
    EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Chat"));
    EXPECT_TRUE(chats.empty());

    console->OnAcceptReply(net::ParseAcceptReply("true<fld>Ann<fld>ann@x.example<fld>N"));
    EXPECT_TRUE(chats.empty());

    session.SetAdmin(true);
    session.SetAddress("svc.example", session.PathPrefix());
    console->OnAcceptReply(net::ParseAcceptReply("true<fld>Ann<fld>ann@x.example<fld>Y<fld>c1"));
    ASSERT_EQ(chats.size(), 1u);
    EXPECT_EQ(chats[0].address, "192.0.2.1");
    EXPECT_EQ(chats[0].name, "Ann");
    EXPECT_EQ(chats[0].email, "ann@x.example");
    EXPECT_FALSE(chats[0].hasDetails);
    // The history opens once the reply has been handled.
    EXPECT_TRUE(browser.openedPages.empty());
    QTest::qWait(10);
    ASSERT_EQ(browser.openedPages.size(), 1u);
    EXPECT_EQ(browser.openedPages[0],
              QStringLiteral("http://svc.example/w-browser.php?loginid=admin&stid=site1&adm=Y&opurl=vchathist&ipadd=192.0.2.1"));

    // A chat granted for a visitor no longer listed still opens, without address.
    console->OnAcceptReply(net::ParseAcceptReply("true<fld><fld><fld>N<fld>gone"));
    ASSERT_EQ(chats.size(), 2u);
    EXPECT_EQ(chats[1].sessionId, "gone");
    EXPECT_EQ(chats[1].address, "");
}

TEST_F(ConsoleTest, TransferNoticesAcceptByTheirSessionEvenWithoutARow)
{
    List(ListReply({Row("c4", "In Site")}, "admin<blk><blk>chat_trans<fld>c4"));
    List(ListReply({Row("c4", "In Site")}, "admin<blk><blk>chat_trans<fld>c99"));
    List(ListReply({Row("c4", "In Site")}, "admin<blk><blk>chat_trans"));
    auto paths = SentPaths();
    std::sort(paths.begin(), paths.end());
    const std::vector<std::string> expected = {
        "/w-adc.php?csesid=c4&ipaddr=192.0.2.4&adminid=admin&sid=site1",
        "/w-adc.php?csesid=c99&ipaddr=&adminid=admin&sid=site1",
        "/w-mrefresh.php?sid=site1&adminid=admin&action=lgon",
    };
    EXPECT_EQ(paths, expected);
    int transferSounds = 0;
    for (const auto& p : sounds.played)
        transferSounds += p.waveId == 141;
    EXPECT_EQ(transferSounds, 2);
}

// The service repeats a transfer notice until the chat is taken: one accept goes
// out, one window opens, and later notices only bring that window up.
TEST_F(ConsoleTest, RepeatedTransferNoticesOpenOneWindowAndSendOneAccept)
{
    console->openChatWindow = [this](const ChatRequest& r) { console->OpenChatWindow(r); };
    const std::string notice = ListReply({Row("c4", "Chat Request")}, "admin<blk><blk>chat_trans<fld>c4");
    transport->Hold(true);
    List(notice);
    List(notice);
    // Accept stays disabled while its request is under way.
    console->ListView()->selectRow(0);
    console->UpdateButtons();
    EXPECT_FALSE(Enabled(res::IDC_ACCEPT));
    transport->Reply("true<fld>Ann<fld><fld>Y<fld>c4");
    transport->Hold(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return console->ChatWindowCount() == 1; }, 5000));
    List(notice);
    console->AcceptChat(0);
    // A second grant crossing the first opens nothing more either.
    console->OnAcceptReply(net::ParseAcceptReply("true<fld>Ann<fld><fld>Y<fld>c4"));
    QTest::qWait(20);
    EXPECT_EQ(console->ChatWindowCount(), 1);
    int accepts = 0;
    for (const std::string& path : SentPaths())
        accepts += path.starts_with("/w-adc.php");
    EXPECT_EQ(accepts, 1);
    EXPECT_LE(browser.openedPages.size(), 1u);
    int transferSounds = 0;
    for (const auto& p : sounds.played)
        transferSounds += p.waveId == 141;
    EXPECT_EQ(transferSounds, 1);
    console->OnDestroy();
}

TEST_F(ConsoleTest, SoundsNewVisitorOncePerRefreshAndSoundOff)
{
    List(ListReply({Row("c1", "In Site", "", "0:00:03"), Row("c2", "In Site", "", "0:00:08"),
                    Row("c3", "In Site", "", "0:00:09")},
                   "admin<blk>sound4<blk>"));
    ASSERT_EQ(sounds.played.size(), 1u);
    EXPECT_EQ(sounds.played[0].waveId, 168);
    EXPECT_FALSE(sounds.played[0].synchronous);

    sounds.played.clear();
    QTest::mouseClick(console->SoundOffBox(), Qt::LeftButton);
    List(ListReply({Row("c1", "In Site", "", "0:00:04")}, "admin<blk>sound3<blk>"));
    ASSERT_EQ(sounds.played.size(), 1u);
    EXPECT_EQ(sounds.played[0].waveId, 140);

    // "sound1" also brings a hidden console to the front.
    console->hide();
    List(ListReply({Row("c1", "In Site")}, "admin<blk>sound1<blk>"));
    EXPECT_EQ(sounds.played.back().waveId, 143);
    EXPECT_TRUE(console->isVisible());
}

TEST_F(ConsoleTest, AChatRequestLeavesTheKeyboardToTheChatWindowAndReachesAMinimisedConsole)
{
    console->show();
    console->OpenChatWindow(ChatRequest{"192.0.2.1", "c1", "", "", false, {}});
    chat::CChatDlg* chat = console->FindChatWindow("c1");
    ASSERT_NE(chat, nullptr);
    chat->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == chat; }, 2000));

    // In the tray: the request raises the pop-up, and "sound1" brings the console
    // up beside the chat, whose input keeps the keyboard.
    console->showMinimized();
    QTest::qWait(20);
    List(ListReply({Row("c5", "Chat Request")}, "admin<blk>sound1<blk>"));
    EXPECT_EQ(popups, std::vector<std::string>{"c5"});
    EXPECT_TRUE(console->isVisible());
    EXPECT_FALSE(console->isMinimized());
    QTest::qWait(20);
    EXPECT_EQ(QApplication::activeWindow(), chat);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(chat->Input()));

    // Without a tray, a minimised console stays a window on the task bar, and still
    // counts as out of sight.
    tray.available = false;
    session.Shared().popupShown = false;
    console->showMinimized();
    QTest::qWait(20);
    List(ListReply({Row("c6", "Chat Request")}));
    EXPECT_EQ(popups, (std::vector<std::string>{"c5", "c6"}));
}

TEST_F(ConsoleTest, PopupOnlyWhileHiddenAndOncePerVisitor)
{
    List(ListReply({Row("c1", "Chat Request")}));
    ASSERT_EQ(popups, std::vector<std::string>{"c1"});
    List(ListReply({Row("c1", "Chat Request")}));
    EXPECT_EQ(popups.size(), 1u);

    session.Shared() = {};
    console->show();
    List(ListReply({Row("c2", "Chat Request")}));
    EXPECT_EQ(popups.size(), 1u);
}

TEST_F(ConsoleTest, DetailsShownOnClickCachedAndKeptAcrossRebuilds)
{
    List(ListReply({Row("c1", "In Site")}));
    transport->Reply("http://www.site1.example/p<fld>Firefox<fld>Linux<fld><fld>24 bit<fld>No<fld>GMT+1<fld>en<fld>"
                     "Norway<fld>Oslo<fld>Oslo");
    QTest::mouseClick(console->Button(res::IDC_VIEW_DETAILS), Qt::LeftButton);
    // The panel fills in when the details come.
    ASSERT_TRUE(QTest::qWaitFor([&] { return console->Model().Row(0).HasDetails(); }, 5000));
    EXPECT_EQ(console->Panel()->Details()[net::kDetailCountry], "Norway");
    ASSERT_EQ(console->DetailsCache().count("c1"), 1u);

    List(ListReply({Row("c1", "In Site")}));
    EXPECT_TRUE(console->Model().Row(0).HasDetails());
    const auto before = transport->RequestCount();
    console->show();
    QTableView* view = console->ListView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(console->Model().index(0, 1)).center());
    EXPECT_EQ(transport->RequestCount(), before);
    EXPECT_EQ(console->Panel()->Details()[net::kDetailBrowser], "Firefox");
}

TEST_F(ConsoleTest, OperatorsBlockFillsThePanelAndTellsWhenWeAreOffline)
{
    console->OnPresenceReply(net::ParsePresenceReply("online"));
    QComboBox* combo = console->Panel()->OperatorsCombo();
    List(ListReply({Row("c1", "In Site")}, "anna<fld>ADMIN<fld>ben<blk><blk>"));
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_TRUE(console->IsOnline());
    combo->setCurrentIndex(1);
    // The same list again, as most refreshes bring it: the combo is left alone.
    QSignalSpy removed(combo->model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(combo->model(), &QAbstractItemModel::modelReset);
    List(ListReply({Row("c1", "In Site")}, "anna<fld>ADMIN<fld>ben<blk><blk>"));
    EXPECT_EQ(removed.count() + reset.count(), 0);
    EXPECT_EQ(combo->currentIndex(), 1);
    // The own id now comes first: the selection follows the name, not the place.
    List(ListReply({Row("c1", "In Site")}, "Admin<fld>carl<fld>ben<fld>anna<blk><blk>"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("ben"));
    // Only the own id, in another case: an empty combo, and the console still online.
    List(ListReply({Row("c1", "In Site")}, "aDmIn<blk><blk>"));
    EXPECT_EQ(combo->count(), 0);
    EXPECT_TRUE(console->IsOnline());
    // Missing altogether: the console shows itself offline without asking the service.
    const auto sentBefore = SentPaths().size();
    List(ListReply({Row("c1", "In Site")}, "anna<blk><blk>"));
    EXPECT_FALSE(console->IsOnline());
    EXPECT_TRUE(console->OfflineRadio()->isChecked());
    EXPECT_EQ(SentPaths().size(), sentBefore);
}

TEST_F(ConsoleTest, TrayMenuAndMinimising)
{
    console->show();
    ASSERT_TRUE(tray.actions.dialogVisible);
    EXPECT_TRUE(tray.actions.dialogVisible());
    console->showMinimized();
    QTest::qWait(20);
    EXPECT_FALSE(console->isVisible());
    EXPECT_FALSE(tray.actions.dialogVisible());
    tray.actions.showDialog();
    EXPECT_TRUE(console->isVisible());
    EXPECT_FALSE(console->isMinimized());

    // Without a tray to come back from, minimising keeps the window reachable.
    tray.available = false;
    console->showMinimized();
    QTest::qWait(20);
    EXPECT_TRUE(console->isVisible());

    // With no chat open, Exit asks nothing; the service hears the operator is off
    // line before the console ends.
    store.stored = std::string("saved");
    tray.actions.exit();
    EXPECT_FALSE(tray.shown);
    EXPECT_FALSE(console->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return console->result() == 1; }, 3000));
    EXPECT_TRUE(boxes.asked.empty());
    // Exit is not a log out: the saved login stays for the next start.
    EXPECT_EQ(store.stored, std::string("saved"));
    const auto paths = SentPaths();
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "/w-adminout.php?adminid=admin&sid=site1"), 0);
    EXPECT_EQ(paths.back(), "/w-mrefresh.php?sid=site1&adminid=admin&action=lgof");
}

TEST_F(ConsoleTest, QuittingWithChatsOpenAsksFirstAndEndsEveryChat)
{
    console->show();
    for (const char* chat : {"c1", "c2"})
        console->OpenChatWindow(ChatRequest{"192.0.2.1", chat, "", "", false, {}});
    WaitForRequests();
    const std::size_t sentBefore = transport->RequestCount();
    store.stored = std::string("saved");

    // No: nothing changes, whichever way the operator tried to leave.
    boxes.answer = false;
    const std::vector<std::function<void()>> ways{
        [&] { console->close(); },
        [&] { tray.actions.exit(); },
        [&] { tray.actions.logOut(); },
        [&] { console->Panel()->Button(res::IDC_LOG_OUT)->click(); },
    };
    for (const auto& leave : ways)
        leave();
    ASSERT_EQ(boxes.asked.size(), ways.size());
    for (const auto& question : boxes.asked) {
        EXPECT_EQ(question.text, QStringLiteral("2 chats are open. End them and quit?"));
        EXPECT_EQ(question.caption, QStringLiteral("Kivora"));
    }
    EXPECT_TRUE(console->isVisible());
    EXPECT_TRUE(tray.shown);
    EXPECT_EQ(console->ChatWindowCount(), 2);
    EXPECT_FALSE(console->IsLeaving());
    for (const auto& path : SentPaths()) {
        EXPECT_EQ(path.find("endchatcl"), std::string::npos);
        EXPECT_EQ(path.find("lgof"), std::string::npos);
        EXPECT_EQ(path.find("adminout"), std::string::npos);
    }

    // Yes: each chat ends with the service, the operator goes off line, and the
    // console ends once the service has answered.
    boxes.answer = true;
    console->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console->result() == 1; }, 3000));
    const auto paths = SentPaths();
    const std::vector<std::string> last(paths.begin() + static_cast<std::ptrdiff_t>(sentBefore), paths.end());
    EXPECT_EQ(std::count(last.begin(), last.end(), "/w-action.php?action=endchatcl&csesid=c1&sid=site1&adminid=admin"), 1);
    EXPECT_EQ(std::count(last.begin(), last.end(), "/w-action.php?action=endchatcl&csesid=c2&sid=site1&adminid=admin"), 1);
    EXPECT_EQ(std::count(last.begin(), last.end(), "/w-mrefresh.php?sid=site1&adminid=admin&action=lgof"), 1);
    EXPECT_EQ(store.stored, std::string("saved"));
}

TEST_F(ConsoleTest, HidingInTheTrayKeepsTheSessionAndLocksNoOtherWindow)
{
    CConsoleDlg running(session, platform);
    running.SetLoginInfo("site1", "admin", "");
    bool hiddenButRunning = false;
    bool otherWindowsBlocked = true;
    QTimer::singleShot(50, &running, [&] { running.showMinimized(); });
    QTimer::singleShot(250, &running, [&] {
        hiddenButRunning = !running.isVisible();
        otherWindowsBlocked = QApplication::activeModalWidget() != nullptr;
        tray.actions.showDialog();
        running.done(1);
    });
    EXPECT_EQ(running.DoModal(), 1);
    EXPECT_TRUE(hiddenButRunning);
    EXPECT_FALSE(otherWindowsBlocked);
}

TEST_F(ConsoleTest, TrayLogOutLogsOutAndEndsTheConsole)
{
    store.stored = std::string("x");
    console->show();
    tray.actions.logOut();
    // The window goes at once; the rest follows the service's answer.
    EXPECT_FALSE(console->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.ShuttingDown(); }, 5000));
    const auto paths = SentPaths();
    EXPECT_NE(std::find(paths.begin(), paths.end(), "/w-adminout.php?adminid=admin&sid=site1"), paths.end());
    EXPECT_FALSE(store.stored.has_value());
    EXPECT_EQ(console->result(), 1);
}

TEST_F(ConsoleTest, PopupsAcceptTheirVisitorWhereverItIsNowAndComeAgain)
{
    console->raisePopup = [this](int row, const std::string& address, const std::string& session) {
        popups.push_back(session);
        console->RaisePopup(row, address, session);
    };
    auto openPopups = [] {
        std::vector<ui::CRequestPopupDlg*> found;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* p = qobject_cast<ui::CRequestPopupDlg*>(w); p && p->isVisible())
                found.push_back(p);
        }
        return found;
    };
    List(ListReply({Row("c1", "In Site"), Row("c2", "Chat Request")}));
    auto shown = openPopups();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->TextLabel()->text(), QStringLiteral("Chat Request from: 192.0.2.2"));
    // The desktop is told too, whatever the Sound Off box says.
    ASSERT_EQ(tray.notifications.size(), 1u);
    EXPECT_EQ(tray.notifications[0].first, QStringLiteral("Chat Request"));
    EXPECT_EQ(tray.notifications[0].second, QStringLiteral("Chat Request from: 192.0.2.2"));

    // The rows moved before the click: the pop-up's visitor is accepted where it is now.
    List(ListReply({Row("c2", "Chat Request"), Row("c1", "In Site")}));
    QTest::mouseClick(shown[0]->TextLabel(), Qt::LeftButton);
    auto paths = SentPaths();
    EXPECT_NE(std::find(paths.begin(), paths.end(), "/w-adc.php?csesid=c2&ipaddr=192.0.2.2&adminid=admin&sid=site1"),
              paths.end());

    // Once it has ended, the next chat request raises a new pop-up.
    shown[0]->OnTimer();
    QTest::qWait(10);
    console->SoundOffBox()->setChecked(true);
    List(ListReply({Row("c3", "Chat Request")}));
    ASSERT_EQ(popups.size(), 2u);
    EXPECT_EQ(tray.notifications.size(), 2u);
    shown = openPopups();
    ASSERT_EQ(shown.size(), 1u);
    // This visitor leaves before the click: nothing is accepted.
    List(ListReply({Row("c1", "In Site")}));
    const auto before = transport->RequestCount();
    QTest::mouseClick(shown[0]->TextLabel(), Qt::LeftButton);
    EXPECT_EQ(SentPaths().size(), before);
    shown[0]->OnTimer();
}

// Stray keys never end the console: Escape does nothing, Enter only presses a
// focused push button, and Enter in the URL field presses Send.
TEST_F(ConsoleTest, StrayKeysNeverEndTheConsole)
{
    QSignalSpy finished(console.get(), &QDialog::finished);
    List(ListReply({Row("c1", "In Site")}));
    console->show();
    console->ListView()->selectRow(0);
    console->UpdateButtons();
    console->ListView()->setFocus();
    for (const int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(console->ListView(), static_cast<Qt::Key>(key));
    console->ProactiveUrlEdit()->setFocus();
    QTest::keyClicks(console->ProactiveUrlEdit(), QStringLiteral("www.site1.example/offer.html"));
    QTest::keyClick(console->ProactiveUrlEdit(), Qt::Key_Return);
    QTest::keyClick(console->ProactiveUrlEdit(), Qt::Key_Escape);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(console->isVisible());
    EXPECT_TRUE(console->ProactiveUrlEdit()->text().isEmpty());
    const auto paths = SentPaths();
    EXPECT_NE(std::find(paths.begin(), paths.end(),
                        "/w-prop.php?csesid=c1&prop=A&popwin=N&ppurl=http://www.site1.example/offer.html"),
              paths.end());
}

TEST_F(ConsoleTest, EndingStopsTheTimerAndEveryDelivery)
{
    console->show();
    console->close();
    EXPECT_EQ(console->result(), QDialog::Rejected);
    console->OnDestroy();
    EXPECT_TRUE(link.ShuttingDown());
    EXPECT_FALSE(tray.shown);
    List(ListReply({Row("c1", "In Site")}));
    EXPECT_EQ(console->Model().Count(), 0);
}

} // namespace
