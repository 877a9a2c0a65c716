// A whole chat against the demo service: accepted from the console, lines both
// ways, the visitor leaves, Close Chat ends the window.
#include "chat/ChatDlg.h"
#include "session/Session.h"

#include "chat/Transcript.h"
#include "console/ConsoleDlg.h"
#include "platform/Platform.h"
#include "support/LiveSession.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kivora;

namespace {

chat::CChatDlg* FindChatWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* chat = qobject_cast<chat::CChatDlg*>(w); chat && chat->isVisible())
            return chat;
    }
    return nullptr;
}

TEST(ChatEndToEnd, AcceptTalkVisitorLeavesAndCloseChat)
{
    test::LiveSession live("admin");
    auto& [service, fakes, platform, link, session] = live;
    session.SetPeriods(session.RefreshIntervalMs(), 250);
    const std::string visitor =
        service.AddVisitor("ip=198.51.100.20&page=/help.html&status=Chat%20Request&name=Ann&email=ann%40x.example");
    console::CConsoleDlg console(session, platform);
    console.SetLoginInfo("site1", "admin", "");
    console.OnInitDialog();
    console.RequestVisitorList();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.Model().Count() == 1; }, 10000));
    console.AcceptChat(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.ChatWindowCount() == 1; }, 10000));
    chat::CChatDlg* chat = FindChatWindow();
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->windowTitle(), QStringLiteral("Chatting with:Ann"));

    auto transcriptHas = [&](const QString& text) {
        return QTest::qWaitFor([&] { return chat->Transcript()->toPlainText().contains(text); }, 10000);
    };
    ASSERT_TRUE(transcriptHas(QStringLiteral("notice:now user has join the chat")));
    service.VisitorSays(visitor, "Hello, do you ship to Oslo?");
    ASSERT_TRUE(transcriptHas(QStringLiteral("Ann: Hello, do you ship to Oslo?")));
    chat->Input()->setPlainText(QStringLiteral("Yes we do & it's free"));
    chat->OnSend();
    ASSERT_TRUE(transcriptHas(QStringLiteral("admin: Yes we do & it's free")));
    // Every line once, in order.
    EXPECT_EQ(chat->Transcript()->toPlainText().count(QStringLiteral("Ann: Hello")), 1);

    service.Control("chat/leave?csesid=" + visitor);
    ASSERT_TRUE(transcriptHas(QStringLiteral("Notice: Chat Closed by User.")));
    EXPECT_FALSE(chat->IsPolling());

    chat->CloseChatButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console.ChatWindowCount() == 0; }, 10000));
    const auto lines = service.RequestLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "GET /cpn/w-action.php?action=endchatcl&csesid=" + visitor +
                            "&sid=site1&adminid=admin HTTP/1.0"),
              lines.end());
    console.OnDestroy();
}

} // namespace
