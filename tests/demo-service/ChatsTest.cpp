// The demo service's chat side over HTTP: the chat poll, sending, typing both ways,
// the canned lists, name and e-mail, the browser pages, the end of a chat, the visitor
// leaving, and the autopilot's conversations.

#include "net/RecordText.h"
#include "support/DemoService.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kivora::test {
namespace {

constexpr const char* kJoinNotice = "notice:now user has join the chat";
constexpr const char* kClosedNotice = "Notice: Chat Closed by User.";

// Replies are cut the way the console cuts them.
std::vector<std::string> Split(const std::string& text, const std::string& separator)
{
    return kivora::net::SplitRecord(text, separator);
}

// The four blocks of a chat poll reply.
struct Poll {
    std::vector<std::string> lines; // none when the first block is empty
    std::string next;
    std::string block2;
    std::string sound;
    std::string raw;
};

class DemoServiceChats : public ::testing::Test {
protected:
    // A visitor asking for a chat, accepted by `loginId`; `extraQuery` ("&name=..") comes
    // first, so its values win over the defaults.
    std::string StartChat(const std::string& extraQuery = "", const std::string& loginId = "admin")
    {
        const std::string visitor = service.AddVisitor(extraQuery + "&ip=192.0.2.40&page=/&status=Chat%20Request");
        EXPECT_TRUE(Accept(visitor, loginId).starts_with("true<fld>"));
        return visitor;
    }

    std::string Accept(const std::string& sessionId, const std::string& loginId)
    {
        return service.Get("/cpn/w-adc.php?csesid=" + sessionId + "&ipaddr=192.0.2.40&adminid=" + loginId +
                           "&sid=site1");
    }

    Poll PollChat(const std::string& sessionId, const std::string& lastNumber, const std::string& loginId = "admin")
    {
        Poll poll;
        poll.raw = service.Get("/cpn/w-achats.php?uname=&adminid=" + loginId + "&csesid=" + sessionId +
                               "&ipadd=192.0.2.40&sid=site1&lastnum=" + lastNumber);
        const auto blocks = Split(poll.raw, "<kvr_blk>");
        EXPECT_EQ(blocks.size(), 4u) << poll.raw;
        if (blocks.size() != 4)
            return poll;
        if (!blocks[0].empty())
            poll.lines = Split(blocks[0], "<kvr_ln>");
        poll.next = blocks[1];
        poll.block2 = blocks[2];
        poll.sound = blocks[3];
        return poll;
    }

    // `escaped` goes out as is, form-escaped as the console sends it.
    std::string Send(const std::string& sessionId, const std::string& escaped, const std::string& loginId = "admin")
    {
        return service.Get("/cpn/w-amessub.php?say=" + escaped + "&csesid=" + sessionId + "&adminid=" + loginId +
                           "&sid=site1");
    }

    void VisitorSays(const std::string& sessionId, const std::string& escaped)
    {
        service.Control("chat/say?csesid=" + sessionId + "&text=" + escaped);
    }

    std::string VisitorTyping(const std::string& sessionId)
    {
        return service.Get("/cpn/w-otype.php?csesid=" + sessionId + "&stat=&sid=site1");
    }

    std::string Act(const std::string& word, const std::string& sessionId, const std::string& loginId = "admin")
    {
        return service.Get("/cpn/w-action.php?action=" + word + "&csesid=" + sessionId + "&sid=site1&adminid=" +
                           loginId);
    }

    std::string Dump(const std::string& sessionId) { return service.ChatLines(sessionId); }

    std::string StatusOf(const std::string& sessionId)
    {
        for (const auto& line : Split(service.Get("/_sim/visitors"), "\n")) {
            if (line.starts_with(sessionId + ' '))
                return line;
        }
        return {};
    }

    CDemoService service;
};

// --- The chat poll ------------------------------------------------------------------

TEST_F(DemoServiceChats, FirstPollBringsTheJoinNoticeAndNextNumber)
{
    const std::string chat = StartChat();
    const Poll first = PollChat(chat, "1");
    EXPECT_EQ(first.raw, std::string(kJoinNotice) + "<kvr_blk>2<kvr_blk><kvr_blk>");

    // Nothing new: lines and next number both empty.
    const Poll quiet = PollChat(chat, "2");
    EXPECT_EQ(quiet.raw, "<kvr_blk><kvr_blk><kvr_blk>");

    // Accepting one's own chat again, or a transferred one, adds no second notice.
    ASSERT_TRUE(Accept(chat, "admin").starts_with("true<fld>"));
    service.Control("notice?operator=anna&text=chat_trans%3Cfld%3E" + chat);
    ASSERT_TRUE(Accept(chat, "anna").starts_with("true<fld>"));
    EXPECT_EQ(Dump(chat), std::string("1\t") + kJoinNotice + '\n');
}

TEST_F(DemoServiceChats, IncrementalPollsNeitherRepeatNorSkipLines)
{
    const std::string chat = StartChat();
    std::string next = PollChat(chat, "1").next;
    ASSERT_EQ(next, "2");
    VisitorSays(chat, "one");
    VisitorSays(chat, "two");
    Poll poll = PollChat(chat, next);
    EXPECT_EQ(poll.lines, (std::vector<std::string>{"Visitor: one", "Visitor: two"}));
    EXPECT_EQ(poll.next, "4");
    next = poll.next;

    VisitorSays(chat, "three");
    poll = PollChat(chat, next);
    EXPECT_EQ(poll.lines, (std::vector<std::string>{"Visitor: three"}));
    EXPECT_EQ(poll.next, "5");
    EXPECT_TRUE(PollChat(chat, poll.next).lines.empty());

    // Polling is a read: the same number gives the same lines again, and a missing or
    // garbled number reads from the start.
    EXPECT_EQ(PollChat(chat, "4").lines, (std::vector<std::string>{"Visitor: three"}));
    EXPECT_EQ(PollChat(chat, "x").lines.size(), 4u);
    EXPECT_EQ(Dump(chat), std::string("1\t") + kJoinNotice + "\n2\tVisitor: one\n3\tVisitor: two\n4\tVisitor: three\n");
}

TEST_F(DemoServiceChats, LinesCarryTheSpeakersName)
{
    const std::string chat = StartChat("&name=Jo%20Smith");
    VisitorSays(chat, "hello+there");
    service.VisitorSays(chat, "50% off & more?");
    EXPECT_EQ(Send(chat, "a+b%26c"), "true");
    EXPECT_EQ(Send(chat, ""), "true");
    EXPECT_EQ(PollChat(chat, "2").lines, (std::vector<std::string>{"Jo Smith: hello there", "Jo Smith: 50% off & more?",
                                                                   "admin: a b&c", "admin: "}));
}

TEST_F(DemoServiceChats, TypedSeparatorsCannotBreakThePollApart)
{
    const std::string chat = StartChat();
    Send(chat, "x%3Ckvr_blk%3Ey%3Ckvr_ln%3Ez");
    Send(chat, "%3Ckvr%3Ckvr__ln%3Eend"); // taking one out must not leave another
    VisitorSays(chat, "a%3Ckvr_fld%3Eb");
    const Poll poll = PollChat(chat, "2");
    EXPECT_EQ(poll.lines, (std::vector<std::string>{"admin: xblk>yln>z", "admin: ln>end", "Visitor: afld>b"}));
    EXPECT_EQ(poll.next, "5");
}

TEST_F(DemoServiceChats, SoundOnlyWhenTheReplyHasAVisitorLine)
{
    const std::string chat = StartChat();
    EXPECT_EQ(PollChat(chat, "1").sound, ""); // the notice alone
    Send(chat, "hello");
    EXPECT_EQ(PollChat(chat, "2").sound, "");
    VisitorSays(chat, "hi");
    EXPECT_EQ(PollChat(chat, "2").sound, "sound4"); // mixed with the operator's line
    EXPECT_EQ(PollChat(chat, "3").sound, "sound4");
    Send(chat, "how+can+I+help");
    const Poll own = PollChat(chat, "4");
    EXPECT_EQ(own.sound, "");
    EXPECT_EQ(own.block2, "");
}

TEST_F(DemoServiceChats, OtherOperatorsAndUnknownChatsGetFourEmptyBlocks)
{
    const std::string chat = StartChat();
    VisitorSays(chat, "hi");
    EXPECT_EQ(PollChat(chat, "1", "anna").raw, "<kvr_blk><kvr_blk><kvr_blk>");
    EXPECT_EQ(PollChat("0123456789abcdef01", "1").raw, "<kvr_blk><kvr_blk><kvr_blk>");
    EXPECT_EQ(PollChat(chat, "1", "Admin").raw, "<kvr_blk><kvr_blk><kvr_blk>"); // login ids are exact

    // Another operator's line is dropped, though answered "true" like any other.
    EXPECT_EQ(Send(chat, "mine+now", "anna"), "true");
    EXPECT_EQ(PollChat(chat, "1").lines.size(), 2u);

    // After a transfer the new owner reads the whole chat and the old one nothing.
    service.Control("notice?operator=anna&text=chat_trans%3Cfld%3E" + chat);
    ASSERT_TRUE(Accept(chat, "anna").starts_with("true<fld>"));
    EXPECT_EQ(PollChat(chat, "1", "anna").lines, (std::vector<std::string>{kJoinNotice, "Visitor: hi"}));
    EXPECT_EQ(PollChat(chat, "1").raw, "<kvr_blk><kvr_blk><kvr_blk>");
}

// --- Typing ---------------------------------------------------------------------------

TEST_F(DemoServiceChats, VisitorTypingShowsForThreeSeconds)
{
    const std::string chat = StartChat();
    EXPECT_EQ(VisitorTyping(chat), "");
    service.Control("chat/typing?csesid=" + chat);
    EXPECT_EQ(VisitorTyping(chat), "vt");
    service.Control("advance?seconds=2");
    EXPECT_EQ(VisitorTyping(chat), "vt");
    service.Control("advance?seconds=2");
    EXPECT_EQ(VisitorTyping(chat), "");

    // The operator typing is not the visitor typing, and its reply is empty.
    EXPECT_EQ(service.Get("/cpn/w-otype.php?csesid=" + chat + "&stat=otype&sid=site1"), "");
    EXPECT_EQ(VisitorTyping(chat), "");

    // A line sent ends the typing.
    service.Control("chat/typing?csesid=" + chat);
    VisitorSays(chat, "done");
    EXPECT_EQ(VisitorTyping(chat), "");
    EXPECT_EQ(VisitorTyping("0123456789abcdef01"), "");
}

// --- The chat closing -------------------------------------------------------------------

TEST_F(DemoServiceChats, ClosedNoticeComesOnlyAfterEveryLineWasDelivered)
{
    const std::string chat = StartChat();
    ASSERT_EQ(PollChat(chat, "1").next, "2");
    VisitorSays(chat, "thanks");
    VisitorSays(chat, "bye");
    service.Control("chat/leave?csesid=" + chat);

    const Poll last = PollChat(chat, "2");
    EXPECT_EQ(last.lines, (std::vector<std::string>{"Visitor: thanks", "Visitor: bye"}));
    EXPECT_EQ(last.sound, "sound4");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(PollChat(chat, last.next).raw, std::string(kClosedNotice) + "<kvr_blk><kvr_blk><kvr_blk>");

    // Nothing more is said in a closed chat, by either side.
    EXPECT_EQ(service.Get("/_sim/chat/say?csesid=" + chat + "&text=again"), "");
    EXPECT_EQ(service.Get("/_sim/chat/typing?csesid=" + chat), "");
    Send(chat, "still+there%3F");
    EXPECT_TRUE(Dump(chat).ends_with("3\tVisitor: bye\nclosed\n")) << Dump(chat);
    // The visitor waits in the list until the operator ends the chat.
    EXPECT_NE(StatusOf(chat).find(" Chatting "), std::string::npos);
    EXPECT_EQ(service.Get("/_sim/chat/leave?csesid=0123456789abcdef01"), "");
}

TEST_F(DemoServiceChats, VisitorLeavingTheSiteClosesTheChat)
{
    const std::string chat = StartChat("&name=Ann");
    VisitorSays(chat, "gotta+go");
    ASSERT_EQ(service.Get("/_sim/visitor/remove?csesid=" + chat), "ok");
    EXPECT_EQ(PollChat(chat, "1").lines, (std::vector<std::string>{kJoinNotice, "Ann: gotta go"}));
    EXPECT_TRUE(PollChat(chat, "3").raw.starts_with(kClosedNotice));
    // Its name outlives it for the console's chat window.
    EXPECT_EQ(service.Get("/cpn/w-browser.php?csesid=" + chat + "&loginid=admin&stid=site1&opurl=namemail"),
              "Ann<fld>");
}

TEST_F(DemoServiceChats, EndOfChatClosesItOnceForItsOwner)
{
    const std::string chat = StartChat();
    // Only the owner ends an open chat.
    EXPECT_EQ(Act("endchatcl", chat, "anna"), "true");
    EXPECT_FALSE(Dump(chat).ends_with("closed\n"));

    EXPECT_EQ(Act("endchatcl", chat), "true");
    EXPECT_TRUE(Dump(chat).ends_with("closed\n"));
    EXPECT_NE(StatusOf(chat).find(" In Site "), std::string::npos) << StatusOf(chat);
    Send(chat, "hello%3F");
    EXPECT_EQ(service.Get("/_sim/chat/say?csesid=" + chat + "&text=hi"), "");
    EXPECT_EQ(Dump(chat), std::string("1\t") + kJoinNotice + "\nclosed\n");

    EXPECT_EQ(Act("endchatcl", chat), "true");
    EXPECT_EQ(Act("endchatcl", chat, "anna"), "true");
    EXPECT_EQ(Act("endchatcl", "0123456789abcdef01"), "true");
    EXPECT_EQ(Dump(chat), std::string("1\t") + kJoinNotice + "\nclosed\n");

    // Asked again and accepted, the visitor gets a fresh chat.
    ASSERT_EQ(service.Get("/_sim/visitor/request-chat?csesid=" + chat), "ok");
    ASSERT_TRUE(Accept(chat, "ben").starts_with("true<fld>"));
    EXPECT_EQ(Dump(chat), std::string("1\t") + kJoinNotice + '\n');
}

// --- Canned lists, name and e-mail, pages -----------------------------------------------

TEST_F(DemoServiceChats, CannedListsAreTwoBlocksOfTitledEntries)
{
    const auto blocks = Split(service.Get("/cpn/w-amespc.php?adminid=admin&sid=site1"), "<blk>");
    ASSERT_EQ(blocks.size(), 2u);
    for (const auto& block : blocks) {
        const auto entries = Split(block, "<fld>");
        EXPECT_GE(entries.size(), 3u);
        for (const auto& entry : entries) {
            const auto parts = Split(entry, "<ln>");
            ASSERT_EQ(parts.size(), 2u) << entry;
            EXPECT_FALSE(parts[0].empty()) << entry;
            EXPECT_FALSE(parts[1].empty()) << entry;
        }
    }
    for (const auto& entry : Split(blocks[0], "<fld>"))
        EXPECT_TRUE(Split(entry, "<ln>")[1].starts_with("http://")) << entry;
    EXPECT_NE(blocks[1].find("Greeting<ln>Hello, how can I help you today?"), std::string::npos);
}

TEST_F(DemoServiceChats, NameAndEmailOfTheChatsVisitor)
{
    const auto nameMail = [&](const std::string& sessionId) {
        return service.Get("/cpn/w-browser.php?csesid=" + sessionId + "&loginid=admin&stid=site1&opurl=namemail");
    };
    const std::string named = StartChat("&name=Jo%20Smith&email=jo%40mail.example.com");
    const std::string anonymous = StartChat();
    EXPECT_EQ(nameMail(named), "Jo Smith<fld>jo@mail.example.com");
    EXPECT_EQ(nameMail(anonymous), "<fld>");
    EXPECT_EQ(nameMail("0123456789abcdef01"), "<fld>");
}

TEST_F(DemoServiceChats, BrowserPagesAreHtmlWithTheirTitles)
{
    const std::string chat = StartChat("&ip=198.51.100.9&name=Jo");
    VisitorSays(chat, "a+%3Cb%3E+%26+c");
    httplib::Client client("127.0.0.1", service.Port());
    client.set_url_encode(false);
    struct Case {
        std::string query;
        std::string title;
        bool showsChat;
    };
    const Case cases[] = {
        {"loginid=admin&stid=site1&adm=Y&opurl=control", "Control panel", false},
        {"loginid=admin&stid=site1&adm=Y&opurl=transcript", "Chat transcripts", true},
        {"loginid=anna&stid=site1&adm=&opurl=transcript", "Chat transcripts", false}, // not anna's chat
        {"loginid=admin&stid=site1&adm=Y&opurl=vchathist&ipadd=198.51.100.9", "Chat history of 198.51.100.9", true},
        {"loginid=admin&stid=site1&adm=Y&opurl=vchathist&ipadd=192.0.2.1", "Chat history of 192.0.2.1", false},
    };
    for (const auto& c : cases) {
        const auto result = client.Get("/cpn/w-browser.php?" + c.query);
        ASSERT_TRUE(result) << c.query;
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "text/html") << c.query;
        EXPECT_NE(result->body.find("<title>" + c.title + "</title>"), std::string::npos) << result->body;
        EXPECT_EQ(result->body.find("Jo: a &lt;b&gt; &amp; c") != std::string::npos, c.showsChat) << result->body;
    }
}

// --- Autopilot conversations ------------------------------------------------------------

class DemoServiceConversations : public DemoServiceChats {
protected:
    // Autopilot visitors, ticked by hand, the first `count` of them chatting with admin.
    std::vector<std::string> ChattingVisitors(CDemoService& run, int count, int seed)
    {
        run.Control("autopilot?on=1&seed=" + std::to_string(seed) + "&visitors=16&speed=0");
        run.Control("tick?count=" + std::to_string(count));
        std::vector<std::string> chats;
        for (const auto& line : Split(run.Get("/_sim/visitors"), "\n")) {
            if (line.size() < 18 || static_cast<int>(chats.size()) == count)
                continue;
            const std::string visitor = line.substr(0, 18);
            run.Get("/_sim/visitor/request-chat?csesid=" + visitor);
            EXPECT_TRUE(run.Get("/cpn/w-adc.php?csesid=" + visitor + "&ipaddr=1&adminid=admin&sid=site1")
                            .starts_with("true<fld>"));
            chats.push_back(visitor);
        }
        EXPECT_EQ(static_cast<int>(chats.size()), count);
        return chats;
    }

    int VisitorLineCount(CDemoService& run, const std::string& chat)
    {
        int count = 0;
        for (const auto& line : Split(run.Get("/_sim/chat/lines?csesid=" + chat), "\n")) {
            const auto tab = line.find('\t');
            if (tab != std::string::npos && !line.substr(tab + 1).starts_with("admin: ") &&
                !line.substr(tab + 1).starts_with("notice:"))
                ++count;
        }
        return count;
    }

    // Ticks one at a time until the visitor has said more than `before` lines; the ticks
    // that took, or -1 after `most`. With `operatorTyping` the operator types throughout.
    int TicksUntilVisitorSpeaks(CDemoService& run, const std::string& chat, int before, int most,
                                bool operatorTyping = false)
    {
        for (int ticks = 1; ticks <= most; ++ticks) {
            if (operatorTyping)
                run.Get("/cpn/w-otype.php?csesid=" + chat + "&stat=otype&sid=site1");
            run.Control("tick");
            if (VisitorLineCount(run, chat) > before)
                return ticks;
        }
        return -1;
    }
};

TEST_F(DemoServiceConversations, VisitorGreetsThenAnswersEachOperatorLine)
{
    const std::string chat = ChattingVisitors(service, 1, 21).front();
    // Accepting says nothing by itself; the visitor types first.
    EXPECT_EQ(Dump(chat), std::string("1\t") + kJoinNotice + '\n');
    service.Control("tick");
    EXPECT_EQ(VisitorTyping(chat), "vt");
    EXPECT_GT(TicksUntilVisitorSpeaks(service, chat, 0, 10), 0);
    service.Control("tick?count=10"); // a named visitor's question follows its greeting
    const int opening = VisitorLineCount(service, chat);
    ASSERT_GE(opening, 1);

    std::string next = "1";
    for (Poll poll = PollChat(chat, next); !poll.lines.empty(); poll = PollChat(chat, next))
        next = poll.next;
    Send(chat, "Let+me+check+that+for+you.");
    const int ticks = TicksUntilVisitorSpeaks(service, chat, opening, 12);
    EXPECT_GE(ticks, 2);
    EXPECT_NE(ticks, -1);
    const Poll answer = PollChat(chat, next);
    ASSERT_EQ(answer.lines.size(), 2u) << answer.raw;
    EXPECT_EQ(answer.lines[0], "admin: Let me check that for you.");
    EXPECT_EQ(answer.sound, "sound4");
}

TEST_F(DemoServiceConversations, OperatorTypingHoldsTheAnswerBackALittle)
{
    CDemoService other;
    int ticks[2] = {};
    CDemoService* runs[2] = {&service, &other};
    for (int i = 0; i < 2; ++i) {
        const std::string chat = ChattingVisitors(*runs[i], 1, 33).front();
        runs[i]->Control("tick?count=20");
        const int opening = VisitorLineCount(*runs[i], chat);
        runs[i]->Get("/cpn/w-amessub.php?say=hi&csesid=" + chat + "&adminid=admin&sid=site1");
        ticks[i] = TicksUntilVisitorSpeaks(*runs[i], chat, opening, 20, i == 1);
    }
    ASSERT_GT(ticks[0], 0);
    EXPECT_GT(ticks[1], ticks[0]);
    EXPECT_LE(ticks[1], ticks[0] + 4);
}

TEST_F(DemoServiceConversations, ConversationEndsAfterAFewExchanges)
{
    const std::string chat = ChattingVisitors(service, 1, 5).front();
    service.Control("tick?count=20");
    const int opening = VisitorLineCount(service, chat);
    for (int i = 0; i < 10; ++i) {
        Send(chat, "Anything+else%3F");
        service.Control("tick?count=12");
    }
    const int answers = VisitorLineCount(service, chat) - opening;
    EXPECT_GE(answers, 3);
    EXPECT_LE(answers, 8);
}

TEST_F(DemoServiceConversations, SilenceEndsEveryConversationAndSomeVisitorsClose)
{
    const std::vector<std::string> chats = ChattingVisitors(service, 6, 9);
    service.Control("tick?count=160");
    std::vector<int> said;
    int closed = 0;
    for (const auto& chat : chats) {
        said.push_back(VisitorLineCount(service, chat));
        closed += Dump(chat).ends_with("closed\n") ? 1 : 0;
        EXPECT_NE(StatusOf(chat).find(" Chatting "), std::string::npos);
    }
    EXPECT_GE(closed, 1);
    EXPECT_LE(closed, 5);

    // Said goodbye: no more lines however long the quiet lasts.
    service.Control("tick?count=300");
    for (std::size_t i = 0; i < chats.size(); ++i) {
        EXPECT_GE(said[i], 2) << chats[i]; // an opening and a goodbye
        EXPECT_EQ(VisitorLineCount(service, chats[i]), said[i]) << chats[i];
    }

    // Ended by the operator, they browse on and leave.
    for (const auto& chat : chats)
        Act("endchatcl", chat);
    service.Control("tick?count=61");
    for (const auto& chat : chats)
        EXPECT_EQ(StatusOf(chat), "") << chat;
}

TEST_F(DemoServiceConversations, SameSeedHoldsTheSameConversation)
{
    CDemoService other;
    std::string dumps[2];
    CDemoService* runs[2] = {&service, &other};
    for (int i = 0; i < 2; ++i) {
        const std::string chat = ChattingVisitors(*runs[i], 1, 77).front();
        for (int turn = 0; turn < 4; ++turn) {
            runs[i]->Get("/cpn/w-amessub.php?say=ok&csesid=" + chat + "&adminid=admin&sid=site1");
            runs[i]->Control("tick?count=9");
        }
        dumps[i] = runs[i]->Get("/_sim/chat/lines?csesid=" + chat);
    }
    EXPECT_EQ(dumps[0], dumps[1]);
    EXPECT_GT(std::count(dumps[0].begin(), dumps[0].end(), '\n'), 6);
}

} // namespace
} // namespace kivora::test
