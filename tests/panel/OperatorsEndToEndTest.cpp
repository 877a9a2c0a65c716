// Two operators on one demo service: a message from one reaches the other after
// the "message" notice, and a chat handed over opens on the other's console.
#include "console/ConsoleDlg.h"
#include "session/Session.h"

#include "chat/ChatDlg.h"
#include "panel/VisitorPanelDlg.h"
#include "res/DialogTemplates.h"
#include "support/LiveSession.h"
#include "ui/MessageViewDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace kivora;

namespace {

// A second operator on the same service as a live session.
struct SecondOperator {
    SecondOperator(test::CDemoService& service, const std::string& loginId)
    {
        session.SetDefaultHost(service.HostPort());
        EXPECT_TRUE(session.FetchParams("site1"));
        session.SetIdentity(loginId, "site1");
        session.SetPeriods(3'600'000, 250);
    }
    test::FakePlatform fakes;
    net::CServerLink link{std::make_shared<net::CCurlTransport>()};
    session::CSession session{link, &fakes.browser};
};

std::vector<QString> ViewerTexts()
{
    std::vector<QString> texts;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* viewer = qobject_cast<ui::CMessageViewDlg*>(w))
            texts.push_back(viewer->findChild<QPlainTextEdit*>()->toPlainText());
    }
    return texts;
}

void Refresh(console::CConsoleDlg& console, net::CServerLink& link)
{
    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 10000));
}

TEST(OperatorsEndToEnd, MessageAndTransferBetweenTwoConsoles)
{
    test::LiveSession a("admin");
    a.session.SetPeriods(a.session.RefreshIntervalMs(), 250);
    SecondOperator b(a.service, "anna");
    console::CConsoleDlg consoleA(a.session, a.platform);
    consoleA.SetLoginInfo("site1", "admin", "");
    consoleA.OnInitDialog();
    console::CConsoleDlg consoleB(b.session, b.fakes.platform);
    consoleB.SetLoginInfo("site1", "anna", "");
    consoleB.OnInitDialog();
    Refresh(consoleB, b.link);
    Refresh(consoleA, a.link);

    // admin writes to anna.
    panel::CVisitorPanelDlg* panelA = consoleA.Panel();
    const int annaIndex = panelA->OperatorsCombo()->findText(QStringLiteral("anna"));
    ASSERT_GE(annaIndex, 0);
    panelA->OperatorsCombo()->setCurrentIndex(annaIndex);
    panelA->MessageEdit()->setText(QStringLiteral("Can you take the next chat & the one after?"));
    panelA->OnSendMessage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !a.fakes.boxes.shown.empty(); }, 10000));
    EXPECT_EQ(a.fakes.boxes.shown[0].text, QStringLiteral("Message sent to anna."));

    // anna's next refresh carries the notice; her console fetches the new messages.
    Refresh(consoleB, b.link);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ViewerTexts().empty(); }, 10000));
    EXPECT_EQ(ViewerTexts(), std::vector<QString>{QStringLiteral("admin:  Can you take the next chat & the one after?")});
    EXPECT_EQ(b.fakes.sounds.played.back().waveId, 140);

    // admin accepts a chat and hands it to anna.
    const std::string session = a.service.AddVisitor("ip=203.0.113.9&page=/help.html&status=Chat%20Request");
    Refresh(consoleA, a.link);
    consoleA.AcceptChat(consoleA.FindRowBySession(session));
    ASSERT_TRUE(QTest::qWaitFor([&] { return consoleA.ChatWindowCount() == 1; }, 10000));
    chat::CChatDlg* chatA = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* c = qobject_cast<chat::CChatDlg*>(w); c && c->SessionId() == session)
            chatA = c;
    }
    ASSERT_NE(chatA, nullptr);
    Refresh(consoleA, a.link);
    panel::CVisitorPanelDlg* chatPanel = chatA->Panel();
    chatPanel->OperatorsCombo()->setCurrentIndex(chatPanel->OperatorsCombo()->findText(QStringLiteral("anna")));
    chatPanel->OnChatTransfer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return chatPanel->transferred; }, 10000));
    chatA->CloseChatButton()->click();
    EXPECT_EQ(consoleA.ChatWindowCount(), 0);

    Refresh(consoleB, b.link);
    ASSERT_TRUE(QTest::qWaitFor([&] { return consoleB.ChatWindowCount() == 1; }, 10000));
    EXPECT_EQ(b.fakes.sounds.played.back().waveId, 141);

    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<ui::CMessageViewDlg*>(w))
            delete w;
    }
    consoleA.OnDestroy();
    consoleB.OnDestroy();
}

} // namespace
