// A chat window run offscreen with a scripted transport and a recording owner;
// replies are handed to it the way the server link does.
#include "chat/ChatDlg.h"
#include "session/Session.h"

#include "chat/Transcript.h"
#include "panel/VisitorPanelDlg.h"
#include "platform/Platform.h"
#include "res/DialogTemplates.h"
#include "support/Fakes.h"
#include "support/ScriptedTransport.h"
#include "ui/HyperLink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <algorithm>

using namespace kivora;
using namespace kivora::chat;

namespace {

class RecordingOwner final : public IChatOwner {
public:
    void RemoveChatWindow(QObject* chatWindow) override { removed.push_back(chatWindow); }
    void StoreVisitorDetails(const net::VisitorDetails& details, const std::string& sessionId) override
    {
        stored.emplace_back(sessionId, details);
    }
    std::vector<QObject*> removed;
    std::vector<std::pair<std::string, net::VisitorDetails>> stored;
};

class ChatTest : public ::testing::Test {
protected:
    std::shared_ptr<test::ScriptedTransport> transport = std::make_shared<test::ScriptedTransport>();
    test::FakeMessageBoxes boxes;
    test::FakeBrowser browser;
    test::FakeSounds sounds;
    test::FakeLoginStore store;
    test::FakeTray tray;
    platform::Platform platform{boxes, browser, sounds, store, tray};
    net::CServerLink link{transport};
    RecordingOwner owner;
    kivora::session::CSession session{link};
    kivora::session::SharedWindowState& shared = session.Shared();
    QPointer<CChatDlg> chat;

    void SetUp() override
    {
        session.SetAddress("", "");
        session.SetIdentity("admin", "site1");
        session.SetPeriods(session.RefreshIntervalMs(), 3'600'000);
        chat = Open("", "");
    }
    void TearDown() override { delete chat.data(); }

    CChatDlg* Open(const std::string& name, const std::string& email, bool detailsKnown = false)
    {
        auto* dlg = new CChatDlg(owner, session, platform, "192.0.2.7", "c42", name, email, detailsKnown);
        dlg->OnInitDialog();
        return dlg;
    }

    std::vector<std::string> Sent()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 5000));
        std::vector<std::string> paths;
        for (const auto& r : transport->Requests())
            paths.push_back(r.path);
        return paths;
    }
    int CountSent(const std::string& prefix)
    {
        const auto paths = Sent();
        return static_cast<int>(
            std::count_if(paths.begin(), paths.end(), [&](const std::string& p) { return p.starts_with(prefix); }));
    }
    void Poll(const std::string& reply) { chat->OnPollReply(true, net::ParseChatPollReply(reply)); }
    QString Text() { return chat->Transcript()->toPlainText(); }
    // The colour of the transcript's paragraph that holds text.
    QColor ColourOf(const QString& text)
    {
        for (QTextBlock b = chat->Transcript()->document()->begin(); b.isValid(); b = b.next()) {
            if (b.text().contains(text))
                return b.begin().fragment().charFormat().foreground().color();
        }
        return QColor();
    }
};

TEST_F(ChatTest, OpensWithCaptionRequestsAndFirstPoll)
{
    EXPECT_EQ(chat->windowTitle(), QStringLiteral("Chatting with:192.0.2.7"));
    EXPECT_TRUE(chat->EmailLink()->Target().isEmpty());
    const auto opened = Sent();
    EXPECT_NE(std::find(opened.begin(), opened.end(), "/w-amespc.php?adminid=admin&sid=site1"), opened.end());
    EXPECT_NE(std::find(opened.begin(), opened.end(), "/w-lmudets.php?csesid=c42"), opened.end());

    chat->OnTimer();
    const auto ticked = Sent();
    EXPECT_NE(std::find(ticked.begin(), ticked.end(),
                        "/w-achats.php?uname=&adminid=admin&csesid=c42&ipadd=192.0.2.7&sid=site1&lastnum=1"),
              ticked.end());
    EXPECT_NE(std::find(ticked.begin(), ticked.end(), "/w-otype.php?csesid=c42&stat=&sid=site1"), ticked.end());

    auto* named = Open("Ann", "ann@x.example", true);
    EXPECT_EQ(named->windowTitle(), QStringLiteral("Chatting with:Ann"));
    EXPECT_EQ(named->EmailLink()->Target(), QStringLiteral("mailto:ann@x.example"));
    EXPECT_EQ(named->NameLabel()->text(), QStringLiteral("Ann"));
    delete named;
    EXPECT_EQ(CChatDlg::FormatDuration(25 * 3600 + 61), QStringLiteral("01:01:01"));
    EXPECT_EQ(CChatDlg::FormatDuration(59), QStringLiteral("00:00:59"));
}

TEST_F(ChatTest, PollRepliesShowLinesOnlyWithANumberAndStopOnTheClosedNotice)
{
    Poll("<kvr_blk><kvr_blk><kvr_blk>");
    Poll("Ann: lost<kvr_blk><kvr_blk><kvr_blk>");
    Poll("not four blocks");
    EXPECT_TRUE(Text().isEmpty());
    EXPECT_EQ(chat->LastMessageNumber(), "1");

    Poll("Ann: hello<kvr_ln><kvr_ln>admin: hi there<kvr_blk>3<kvr_blk><kvr_blk>sound4");
    EXPECT_EQ(Text(), QStringLiteral("Ann: hello\nadmin: hi there\n"));
    EXPECT_EQ(chat->LastMessageNumber(), "3");
    chat->OnTimer();
    const auto paths = Sent();
    EXPECT_TRUE(std::any_of(paths.begin(), paths.end(), [](const std::string& p) { return p.ends_with("&lastnum=3"); }));

    Poll("Notice: Chat Closed by User. and more<kvr_blk><kvr_blk><kvr_blk>");
    EXPECT_TRUE(Text().endsWith(QStringLiteral("Notice: Chat Closed by User.")));
    EXPECT_FALSE(Text().contains(QStringLiteral("and more")));
    EXPECT_FALSE(chat->IsPolling());
}

// A reply that brings a chat's whole history (a chat taken over) is laid out in
// one pass rather than once a line, keeps to the cap, and ends on its newest line.
TEST_F(ChatTest, AReplyWithAWholeHistoryIsShownInOneStep)
{
    chat->show();
    QScrollBar* bar = chat->Transcript()->verticalScrollBar();
    QSignalSpy ranges(bar, &QScrollBar::rangeChanged);
    std::string reply;
    for (int i = 0; i < 3000; ++i)
        reply += "Ann: line " + std::to_string(i) + " of a history said before the chat was taken over<kvr_ln>";
    Poll(reply + "<kvr_blk>3001<kvr_blk><kvr_blk>");
    EXPECT_LE(ranges.count(), 2);
    EXPECT_LE(chat->Transcript()->CharacterCount(), CTranscriptView::kTrimThreshold + 100);
    EXPECT_TRUE(Text().endsWith(QStringLiteral("line 2999 of a history said before the chat was taken over\n")));
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(chat->LastMessageNumber(), "3001");
}

// A slow poll must not be overtaken by the next tick's: both answers would carry
// the lines after the same number and the window would show them twice.
TEST_F(ChatTest, NoSecondPollWhileOneIsUnanswered)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 5000));
    const auto count = [this](const std::string& prefix) {
        const auto requests = transport->Requests();
        return std::count_if(requests.begin(), requests.end(),
                             [&](const net::TransportRequest& r) { return r.path.starts_with(prefix); });
    };
    transport->responder = [](const net::TransportRequest& request) -> net::TransportResult {
        if (request.path.starts_with("/w-achats.php"))
            return {true, "Ann: hello<kvr_blk>2<kvr_blk><kvr_blk>", {}};
        return {true, {}, {}};
    };
    transport->Hold(true);
    for (int tick = 0; tick < 3; ++tick)
        chat->OnTimer();
    // Each tick also asks whether the visitor types; all three have gone out.
    ASSERT_TRUE(QTest::qWaitFor([&] { return count("/w-otype.php") == 3; }, 5000));
    EXPECT_EQ(count("/w-achats.php"), 1);
    transport->Hold(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 5000));
    EXPECT_EQ(Text(), QStringLiteral("Ann: hello\n"));

    chat->OnTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.InFlight() == 0; }, 5000));
    EXPECT_EQ(count("/w-achats.php"), 2);
    const auto requests = transport->Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(),
                            [](const net::TransportRequest& r) { return r.path.ends_with("&lastnum=2"); }));
}

TEST_F(ChatTest, NewMessageSoundFollowsThisWindowsSoundOff)
{
    Poll("<kvr_blk><kvr_blk><kvr_blk>sound4");
    ASSERT_EQ(sounds.played.size(), 1u);
    EXPECT_EQ(sounds.played[0].waveId, 154);
    EXPECT_FALSE(sounds.played[0].synchronous);
    QTest::mouseClick(chat->SoundOffBox(), Qt::LeftButton);
    Poll("Ann: hi<kvr_blk>2<kvr_blk><kvr_blk>sound4");
    EXPECT_EQ(sounds.played.size(), 1u);
}

TEST_F(ChatTest, VisitorLinesMarkTheWindowUrgentOnlyWhileItIsNotActive)
{
    int alerts = 0;
    chat->requestAttention = [&] { ++alerts; };
    QTest::mouseClick(chat->SoundOffBox(), Qt::LeftButton); // sound only: the mark still comes
    ASSERT_FALSE(chat->isActiveWindow());
    Poll("ADMIN: mine<kvr_ln>Notice: something<kvr_blk>2<kvr_blk><kvr_blk>");
    EXPECT_EQ(alerts, 0);
    Poll("Ann: hello?<kvr_ln>Ann: anyone?<kvr_blk>3<kvr_blk><kvr_blk>sound4");
    EXPECT_EQ(alerts, 2);

    chat->show();
    chat->activateWindow();
    if (QTest::qWaitForWindowActive(chat.data())) {
        Poll("Ann: still here<kvr_blk>4<kvr_blk><kvr_blk>");
        EXPECT_EQ(alerts, 2);
    }
}

TEST_F(ChatTest, LineColoursTypingStatusAndJoinNotice)
{
    chat->OnTypingReply(net::ParseVisitorTypingReply("vt"));
    EXPECT_EQ(chat->StatusLine()->text(), QStringLiteral("Visitor is Typing"));
    Poll("ADMIN: mine<kvr_ln>no colon here<kvr_ln>Notice: something<kvr_ln>Ann: question?<kvr_blk>5<kvr_blk><kvr_blk>");
    EXPECT_EQ(ColourOf(QStringLiteral("mine")), QColor(185, 0, 0));
    EXPECT_EQ(ColourOf(QStringLiteral("no colon")), QColor(0, 128, 0));
    EXPECT_EQ(ColourOf(QStringLiteral("something")), QColor(0, 128, 0));
    EXPECT_EQ(ColourOf(QStringLiteral("question")), QColor(0, 0, 255));
    EXPECT_TRUE(chat->StatusLine()->text().isEmpty());
    chat->OnTypingReply(net::ParseVisitorTypingReply("VT"));
    EXPECT_TRUE(chat->StatusLine()->text().isEmpty());

    Poll("notice:now user has join the chat<kvr_blk>6<kvr_blk><kvr_blk>");
    EXPECT_EQ(CountSent("/w-browser.php?csesid=c42&loginid=admin&stid=site1&opurl=namemail"), 1);
    chat->OnNameMailReply(net::ParseNameMailReply("Ann<fld>ann@x.example"));
    EXPECT_EQ(chat->windowTitle(), QStringLiteral("Chatting with:Ann"));
    EXPECT_EQ(chat->EmailLink()->Target(), QStringLiteral("mailto:ann@x.example"));
    Poll("NOTICE:NOW USER HAS JOIN THE CHAT<kvr_blk>7<kvr_blk><kvr_blk>");
    EXPECT_EQ(CountSent("/w-browser.php"), 1);
}

// The rule itself is ChatLogic's; here, typing in the window sends its notices.
TEST_F(ChatTest, TypingSendsTheTypingNotices)
{
    QTest::keyClicks(chat->Input(), QStringLiteral("abcdefghij"));
    EXPECT_EQ(CountSent("/w-otype.php?csesid=c42&stat=otype&sid=site1"), 2);
    EXPECT_FALSE(shared.typingNoticeSent);
}

TEST_F(ChatTest, SendingEscapesTheLineAndClearsTheInput)
{
    chat->Input()->setPlainText(QStringLiteral("a b&c"));
    QTest::mouseClick(chat->SendButton(), Qt::LeftButton);
    EXPECT_TRUE(chat->Input()->toPlainText().isEmpty());
    EXPECT_EQ(CountSent("/w-amessub.php?say=a+b%26c&csesid=c42&adminid=admin&sid=site1"), 1);
    // Enter in the input sends too; an input of only blanks sends nothing.
    chat->show();
    chat->Input()->setFocus();
    QTest::keyClicks(chat->Input(), QStringLiteral("hi"));
    QTest::keyClick(chat->Input(), Qt::Key_Return);
    EXPECT_EQ(CountSent("/w-amessub.php?say=hi&csesid=c42&adminid=admin&sid=site1"), 1);
    chat->Input()->setPlainText(QStringLiteral("  \n "));
    QTest::keyClick(chat->Input(), Qt::Key_Return);
    EXPECT_EQ(CountSent("/w-amessub.php?say=++%0A+&csesid=c42&adminid=admin&sid=site1"), 0);
    EXPECT_EQ(CountSent("/w-amessub.php?say=&csesid=c42&adminid=admin&sid=site1"), 0);
    // Only the two lines show, greyed until a poll brings them back.
    EXPECT_EQ(Text(), QStringLiteral("admin: a b&c\nadmin: hi\n"));
    EXPECT_EQ(ColourOf(QStringLiteral("admin: hi")), kPendingLineColor);
}

TEST_F(ChatTest, CannedListsFillTheCombosAndReplaceTheInput)
{
    chat->OnListsReply(net::ParseCannedLists("no blocks"));
    EXPECT_EQ(chat->PushUrlsCombo()->count(), 0);
    chat->OnListsReply(net::ParseCannedLists(
                        "Pricing<ln>http://p.example<fld>Help<ln>http://h.example<blk>Hello<ln>How can I help?<fld>"
                        "Title only<fld>"));
    ASSERT_EQ(chat->PushUrlsCombo()->count(), 2);
    EXPECT_EQ(chat->PushUrlsCombo()->itemText(0), QStringLiteral("Pricing"));
    EXPECT_EQ(chat->PushUrlsCombo()->itemText(1), QStringLiteral("Help"));
    ASSERT_EQ(chat->ResponsesCombo()->count(), 2);
    EXPECT_EQ(chat->Lists().responses[1].text, "");

    chat->Input()->setPlainText(QStringLiteral("typed"));
    Q_EMIT chat->ResponsesCombo()->activated(0);
    EXPECT_EQ(chat->Input()->toPlainText(), QStringLiteral("How can I help?"));
    EXPECT_EQ(chat->ResponsesCombo()->currentIndex(), -1);
    chat->Input()->setPlainText(QStringLiteral("edited"));
    Q_EMIT chat->ResponsesCombo()->activated(0);
    EXPECT_EQ(chat->Input()->toPlainText(), QStringLiteral("How can I help?"));
    Q_EMIT chat->PushUrlsCombo()->activated(1);
    EXPECT_EQ(chat->Input()->toPlainText(), QStringLiteral("http://h.example"));

    auto* second = Open("", "");
    second->OnListsReply(net::ParseCannedLists("<blk>Bye<ln>Goodbye!"));
    EXPECT_EQ(second->PushUrlsCombo()->count(), 0);
    EXPECT_EQ(second->ResponsesCombo()->count(), 1);
    delete second;
}

TEST_F(ChatTest, DetailsReplyGoesToThePanelAndTheConsole)
{
    chat->OnDetailsReply(net::ParseDetailsReply("u<fld>b<fld>o<fld>r<fld>s<fld>j<fld>t<fld>l<fld>c<fld>re<fld>ci"));
    EXPECT_TRUE(chat->DetailsKnown());
    EXPECT_EQ(chat->Panel()->Details()[net::kDetailCountry], "c");
    ASSERT_EQ(owner.stored.size(), 1u);
    EXPECT_EQ(owner.stored[0].first, "c42");
    EXPECT_EQ(owner.stored[0].second[net::kDetailTime], "t");
}

// Once handed over, the chat is another operator's: the input rests and the
// transcript says to whom it went.
TEST_F(ChatTest, AfterATransferTheInputRestsAndTheTranscriptSaysSo)
{
    chat->SetOperatorList({"admin", "anna"});
    QTest::mouseClick(chat->Panel()->Button(res::IDC_CHAT_TRANSFER), Qt::LeftButton);
    chat->Panel()->OnTransferReply(true);
    EXPECT_FALSE(chat->Input()->isEnabled());
    EXPECT_FALSE(chat->SendButton()->isEnabled());
    EXPECT_TRUE(Text().endsWith(QStringLiteral("Chat transferred to anna\n")));
}

TEST_F(ChatTest, ClosingPaths)
{
    // Escape does nothing; the close box asks first while a draft is in the input,
    // and No keeps the window and its draft.
    chat->show();
    chat->Input()->setPlainText(QStringLiteral("draft"));
    QTest::keyClick(chat.data(), Qt::Key_Escape);
    EXPECT_EQ(chat->Input()->toPlainText(), QStringLiteral("draft"));
    boxes.answer = false;
    chat->close();
    ASSERT_EQ(boxes.asked.size(), 1u);
    EXPECT_TRUE(chat->isVisible());
    EXPECT_EQ(chat->Input()->toPlainText(), QStringLiteral("draft"));
    EXPECT_EQ(CountSent("/w-action.php"), 0);

    // Yes: the close box ends the chat as Close Chat does. Answered with anything
    // but "true", the window stays, not polling, and says so.
    boxes.answer = true;
    chat->close();
    EXPECT_EQ(CountSent("/w-action.php?action=endchatcl&csesid=c42&sid=site1&adminid=admin"), 1);
    EXPECT_FALSE(chat->IsPolling());
    chat->OnEndChatReply(false); // anything but "true", or a failure
    EXPECT_TRUE(chat->isVisible());
    EXPECT_TRUE(owner.removed.empty());
    EXPECT_FALSE(chat->StatusLine()->text().isEmpty());
    // The second Close Chat offers to close anyway; No asks the service again.
    boxes.answer = false;
    QTest::mouseClick(chat->CloseChatButton(), Qt::LeftButton);
    EXPECT_EQ(boxes.asked.size(), 3u);
    EXPECT_EQ(CountSent("/w-action.php?action=endchatcl&csesid=c42&sid=site1&adminid=admin"), 2);
    chat->OnEndChatReply(true);
    EXPECT_FALSE(chat->isVisible());
    ASSERT_EQ(owner.removed.size(), 1u);
    QTest::qWait(10);
    EXPECT_TRUE(chat.isNull());

    // A transferred chat ends at once and sends nothing.
    chat = Open("", "");
    chat->Panel()->transferred = true;
    const int before = CountSent("/w-action.php");
    QTest::mouseClick(chat->CloseChatButton(), Qt::LeftButton);
    EXPECT_EQ(CountSent("/w-action.php"), before);
    EXPECT_EQ(owner.removed.size(), 2u);
    QTest::qWait(10);
    EXPECT_TRUE(chat.isNull());

    // Not confirmed, the window can be closed anyway.
    chat = Open("", "");
    chat->show();
    QTest::mouseClick(chat->CloseChatButton(), Qt::LeftButton);
    chat->OnEndChatReply(false);
    boxes.answer = true;
    QTest::mouseClick(chat->CloseChatButton(), Qt::LeftButton);
    EXPECT_FALSE(chat->isVisible());
    QTest::qWait(10);
    EXPECT_TRUE(chat.isNull());
}

} // namespace
