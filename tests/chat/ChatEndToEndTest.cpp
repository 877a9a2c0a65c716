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
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
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
    // The operator's line shows at once, greyed, and takes its own colour when the
    // poll brings it back; it is never shown twice.
    const auto colourOf = [&](const QString& text) {
        for (QTextBlock b = chat->Transcript()->document()->begin(); b.isValid(); b = b.next()) {
            if (b.text() == text)
                return b.begin().fragment().charFormat().foreground().color();
        }
        return QColor();
    };
    const QString said = QStringLiteral("admin: Yes we do & it's free");
    chat->Input()->setPlainText(QStringLiteral("Yes we do & it's free"));
    chat->OnSend();
    EXPECT_EQ(colourOf(said), chat::kPendingLineColor);
    ASSERT_TRUE(QTest::qWaitFor([&] { return colourOf(said) == chat::kOwnLineColor; }, 10000));
    EXPECT_EQ(chat->Transcript()->toPlainText().count(said), 1);
    // Every line once, in order.
    EXPECT_EQ(chat->Transcript()->toPlainText().count(QStringLiteral("Ann: Hello")), 1);

    // While the service cannot be reached, a line is marked as not delivered and
    // comes back into the empty input; when the operator has typed on, the status
    // line offers to send it again. Nothing goes again by itself.
    service.Control("down?seconds=2");
    chat->Input()->setPlainText(QStringLiteral("Lost once"));
    chat->OnSend();
    ASSERT_TRUE(transcriptHas(QStringLiteral("admin: Lost once (not delivered)")));
    EXPECT_EQ(chat->Input()->toPlainText(), QStringLiteral("Lost once"));
    chat->Input()->setPlainText(QStringLiteral("Lost twice"));
    chat->OnSend();
    chat->Input()->setPlainText(QStringLiteral("typing on"));
    ASSERT_TRUE(transcriptHas(QStringLiteral("admin: Lost twice (not delivered)")));
    EXPECT_EQ(chat->Input()->toPlainText(), QStringLiteral("typing on"));
    EXPECT_EQ(chat->StatusLine()->text(), QStringLiteral("A line was not delivered."));
    ASSERT_TRUE(chat->ResendButton()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return chat->PollsFailing(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chat->PollsFailing(); }, 10000));
    chat->ResendButton()->click();
    EXPECT_FALSE(chat->ResendButton()->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return colourOf(QStringLiteral("admin: Lost twice")) == chat::kOwnLineColor; },
                                10000));
    EXPECT_EQ(colourOf(QStringLiteral("admin: Lost twice (not delivered)")), QColor());
    EXPECT_EQ(colourOf(QStringLiteral("admin: Lost once (not delivered)")), chat::kPendingLineColor);
    EXPECT_EQ(QString::fromStdString(service.ChatLines(visitor)).count(QStringLiteral("Lost twice")), 1);
    EXPECT_EQ(QString::fromStdString(service.ChatLines(visitor)).count(QStringLiteral("Lost once")), 0);

    // The service may take a line and then break the exchange: the line shows once,
    // and what was put back for sending again is withdrawn.
    service.Fault("close", 1, "endpoint=w-amessub");
    chat->Input()->setPlainText(QStringLiteral("Taken anyway"));
    chat->OnSend();
    ASSERT_TRUE(QTest::qWaitFor([&] { return colourOf(QStringLiteral("admin: Taken anyway")) == chat::kOwnLineColor; },
                                10000));
    EXPECT_EQ(chat->Transcript()->toPlainText().count(QStringLiteral("Taken anyway")), 1);
    EXPECT_TRUE(chat->Input()->toPlainText().isEmpty());

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
