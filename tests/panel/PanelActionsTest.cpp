// The panel's buttons and replies: messages between operators, chat transfer,
// the web console's pages and log out.
#include "panel/VisitorPanelDlg.h"
#include "session/Session.h"

#include "login/SavedLogin.h"
#include "res/DialogTemplates.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"
#include "ui/MessageViewDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace kivora;
using kivora::panel::CVisitorPanelDlg;

namespace {

class PanelActions : public ::testing::Test {
protected:
    std::shared_ptr<test::ScriptedTransport> transport = std::make_shared<test::ScriptedTransport>();
    test::FakePlatform fakes;
    net::CServerLink link{transport};
    session::CSession session{link, &fakes.browser};
    std::unique_ptr<CVisitorPanelDlg> panel;
    int consoleEnded = 0;

    void SetUp() override
    {
        session.SetAddress("", "");
        session.SetIdentity("admin", "site1");
        session.SetAdmin(true);
        panel = std::make_unique<CVisitorPanelDlg>(true, session, fakes.platform);
        panel->endConsole = [this] { ++consoleEnded; };
        panel->SetOperatorList({"admin", "anna", "ben"});
    }
    void TearDown() override { CloseViewers(); }

    void CloseViewers()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<ui::CMessageViewDlg*>(w))
                delete w;
        }
    }
    // Lets the scripted (empty) replies of the requests made so far arrive, then
    // forgets what they showed.
    void SettleReplies()
    {
        Sent();
        QTest::qWait(20);
        CloseViewers();
        fakes.boxes.shown.clear();
        fakes.sounds.played.clear();
    }

    std::vector<std::string> Sent()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 5000));
        std::vector<std::string> paths;
        for (const auto& r : transport->Requests())
            paths.push_back(r.path);
        return paths;
    }
    std::vector<QString> ViewerTexts()
    {
        std::vector<QString> texts;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* viewer = qobject_cast<ui::CMessageViewDlg*>(w))
                texts.push_back(viewer->findChild<QPlainTextEdit*>()->toPlainText());
        }
        return texts;
    }
    QPushButton* Button(int id) { return panel->Button(id); }
};

TEST_F(PanelActions, SendMessageNeedsAnOperatorAndText)
{
    panel->OperatorsCombo()->setCurrentIndex(-1);
    panel->MessageEdit()->setText(QStringLiteral("kept"));
    QTest::mouseClick(Button(res::IDC_SEND_MESSAGE), Qt::LeftButton);
    EXPECT_EQ(panel->MessageEdit()->text(), QStringLiteral("kept"));
    EXPECT_TRUE(Sent().empty());

    panel->OperatorsCombo()->setCurrentIndex(1);
    panel->MessageEdit()->setText(QStringLiteral("lunch at 1 & bring #5?"));
    QTest::mouseClick(Button(res::IDC_SEND_MESSAGE), Qt::LeftButton);
    EXPECT_TRUE(panel->MessageEdit()->text().isEmpty());
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Sent()[0], "/w-admsg.php?adid=ben&action=save&admsg=lunch%20at%201%20%26%20bring%20%235%3F&adminid=admin&sid=site1");
    SettleReplies();

    panel->OnSaveMessageReply("Message sent to ben.");
    ASSERT_EQ(fakes.boxes.shown.size(), 1u);
    EXPECT_EQ(fakes.boxes.shown[0].text, QStringLiteral("Message sent to ben."));
    EXPECT_EQ(fakes.boxes.shown[0].caption, QStringLiteral("Kivora"));
}

TEST_F(PanelActions, MessagesOpenAViewerEachTimeWithTheSoundWhenAsked)
{
    QTest::mouseClick(Button(res::IDC_VIEW_MESSAGE), Qt::LeftButton);
    EXPECT_EQ(Sent(), std::vector<std::string>{"/w-admsg.php?action=dspall&adminid=admin&sid=site1"});
    panel->RequestOperatorMessages(false);
    EXPECT_EQ(Sent().back(), "/w-admsg.php?action=dsp&snd=p&adminid=admin&sid=site1");
    SettleReplies();

    panel->OnMessagesReply(net::ParseOperatorMessagesReply("anna<ln>hello<fld>ben<ln>call me<blk>sound3"), true);
    ASSERT_EQ(fakes.sounds.played.size(), 1u);
    EXPECT_EQ(fakes.sounds.played[0].waveId, 140);
    EXPECT_EQ(ViewerTexts(), std::vector<QString>{QStringLiteral("anna:  hello\nben:  call me")});

    panel->OnMessagesReply(net::ParseOperatorMessagesReply("anna<ln>again<blk>sound3<blk>"), true);
    panel->OnMessagesReply(net::ParseOperatorMessagesReply(""), true);
    EXPECT_EQ(fakes.sounds.played.size(), 1u);
    EXPECT_EQ(ViewerTexts().size(), 3u);
}

// While messages wait the service names them at every refresh; the operator gets
// one viewer for them, not one per refresh.
TEST_F(PanelActions, RepeatedMessageNoticesOpenOneViewer)
{
    transport->responder = [](const net::TransportRequest&) {
        return net::TransportResult{true, "anna<ln>hello<blk>sound3", {}};
    };
    for (int i = 0; i < 3; ++i) {
        panel->RequestOperatorMessages(false);
        Sent();
        QTest::qWait(20);
    }
    EXPECT_EQ(ViewerTexts(), std::vector<QString>{QStringLiteral("anna:  hello")});
    EXPECT_EQ(fakes.sounds.played.size(), 1u);
}

TEST_F(PanelActions, TransferConfirmedOnlyByExactlyTrue)
{
    CVisitorPanelDlg chatPanel(false, session, fakes.platform);
    chatPanel.SetChatSessionId("c42");
    chatPanel.SetOperatorList({"anna"});
    chatPanel.OperatorsCombo()->setCurrentIndex(-1);
    QTest::mouseClick(chatPanel.Button(res::IDC_CHAT_TRANSFER), Qt::LeftButton);
    EXPECT_TRUE(Sent().empty());
    chatPanel.OperatorsCombo()->setCurrentIndex(0);
    // The operator is asked first; No sends nothing.
    fakes.boxes.answer = false;
    QTest::mouseClick(chatPanel.Button(res::IDC_CHAT_TRANSFER), Qt::LeftButton);
    ASSERT_EQ(fakes.boxes.asked.size(), 1u);
    EXPECT_EQ(fakes.boxes.asked[0].text, QStringLiteral("Transfer this chat to anna?"));
    EXPECT_EQ(fakes.boxes.asked[0].caption, QStringLiteral("Kivora"));
    EXPECT_TRUE(Sent().empty());
    fakes.boxes.answer = true;
    QTest::mouseClick(chatPanel.Button(res::IDC_CHAT_TRANSFER), Qt::LeftButton);
    EXPECT_EQ(Sent(), std::vector<std::string>{"/w-ctransf.php?csesid=c42&adid=anna&sid=site1&adminid=admin&action=trans"});
    SettleReplies();

    chatPanel.OnTransferReply(net::ParseTransferReply("TRUE"));
    EXPECT_FALSE(chatPanel.transferred);
    EXPECT_TRUE(fakes.boxes.shown.empty());
    chatPanel.OnTransferReply(net::ParseTransferReply("true"));
    EXPECT_TRUE(chatPanel.transferred);
    ASSERT_EQ(fakes.boxes.shown.size(), 1u);
    EXPECT_EQ(fakes.boxes.shown[0].text, QStringLiteral("Chat Session Transferred"));
}

TEST_F(PanelActions, WebConsolePages)
{
    session.SetAddress("svc.example", session.PathPrefix());
    session.SetAddress(session.Host(), "/cpn");
    QTest::mouseClick(Button(res::IDC_CONTROL_PANEL), Qt::LeftButton);
    QTest::mouseClick(Button(res::IDC_TRANSCRIPTS), Qt::LeftButton);
    const std::vector<QString> expected = {
        QStringLiteral("http://svc.example/cpn/w-browser.php?loginid=admin&stid=site1&adm=Y&opurl=control"),
        QStringLiteral("http://svc.example/cpn/w-browser.php?loginid=admin&stid=site1&adm=Y&opurl=transcript"),
    };
    EXPECT_EQ(fakes.browser.openedPages, expected);
}

// The console's panel hands its Log Out to the console, once.
TEST_F(PanelActions, LogOutGoesToTheConsoleOnce)
{
    int logOuts = 0;
    panel->logOut = [&] {
        ++logOuts;
        return true;
    };
    QTest::mouseClick(Button(res::IDC_LOG_OUT), Qt::LeftButton);
    EXPECT_FALSE(Button(res::IDC_LOG_OUT)->isEnabled());
    QTest::mouseClick(Button(res::IDC_LOG_OUT), Qt::LeftButton);
    EXPECT_EQ(logOuts, 1);
}

TEST_F(PanelActions, LogOutFromAChatPanelOnlyComplains)
{
    CVisitorPanelDlg chatPanel(false, session, fakes.platform);
    chatPanel.LogOut();
    ASSERT_EQ(fakes.boxes.shown.size(), 1u);
    EXPECT_EQ(fakes.boxes.shown[0].text, QStringLiteral("LogOut called from ChatDLG!!!"));
    EXPECT_EQ(fakes.boxes.shown[0].caption, QStringLiteral("Error"));
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(link.ShuttingDown());
    EXPECT_EQ(consoleEnded, 0);
}

} // namespace
