// What a chat window decides, without a window: when it polls, what an answer
// adds, and when typing is announced.
#include "chat/ChatLogic.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using kivora::chat::CChatPoll;
using kivora::chat::CPendingLines;
using kivora::chat::TypingNoticeDue;
using kivora::net::ParseChatPollReply;

namespace {

TEST(ChatLogic, OnePollAtATimeFromTheLastNumber)
{
    CChatPoll poll;
    EXPECT_EQ(poll.LastNumber(), "1");
    EXPECT_TRUE(poll.MaySend(0));
    poll.Sent(0);
    EXPECT_FALSE(poll.MaySend(1000));
    // Unanswered that long, it was lost on the way.
    EXPECT_TRUE(poll.MaySend(CChatPoll::kPollLostMs));

    CChatPoll::Outcome outcome = poll.Answered(ParseChatPollReply("Ann: hi<kvr_ln>Ann: there<kvr_blk>5<kvr_blk><kvr_blk>sound4"));
    EXPECT_EQ(outcome.lines, (std::vector<std::string>{"Ann: hi", "Ann: there"}));
    EXPECT_TRUE(outcome.newLineSound);
    EXPECT_EQ(poll.LastNumber(), "5");
    EXPECT_TRUE(poll.MaySend(1));

    // Lines without a number show nothing; a failure keeps the number.
    poll.Sent(2);
    EXPECT_TRUE(poll.Answered(ParseChatPollReply("Ann: again<kvr_blk><kvr_blk><kvr_blk>")).lines.empty());
    poll.Sent(3);
    poll.Failed();
    EXPECT_TRUE(poll.MaySend(3));
    EXPECT_EQ(poll.LastNumber(), "5");

    outcome = poll.Answered(ParseChatPollReply("Notice: Chat Closed by User. bye<kvr_blk><kvr_blk><kvr_blk>"));
    EXPECT_TRUE(outcome.closedByVisitor);
    EXPECT_TRUE(outcome.lines.empty());
}

TEST(ChatLogic, TypingIsAnnouncedAtTheFirstAndSixthCharacter)
{
    bool noticeSent = false; // one flag for every window
    std::vector<std::size_t> announced;
    for (std::size_t length = 1; length <= 10; ++length) {
        if (TypingNoticeDue(length, noticeSent))
            announced.push_back(length);
    }
    EXPECT_EQ(announced, (std::vector<std::size_t>{1, 6}));
    EXPECT_FALSE(noticeSent);
    // Another window's change can clear the flag, and the next change anywhere
    // announces again.
    EXPECT_TRUE(TypingNoticeDue(1, noticeSent));
    EXPECT_FALSE(TypingNoticeDue(5, noticeSent));
    EXPECT_TRUE(TypingNoticeDue(6, noticeSent));
}

} // namespace

TEST(ChatLogic, PendingLinesLeaveOnlyWithTheirOwnEcho)
{
    CPendingLines pending;
    const int first = pending.Add("a b");
    const int second = pending.Add("<b>x</b>");
    // Another speaker's line, or one naming the operator elsewhere, is no echo.
    EXPECT_FALSE(pending.Arrived("Ann: a b", "admin"));
    EXPECT_FALSE(pending.Arrived("Ann: admin: a b", "admin"));
    // Nothing was taken yet, so a changed text matches nothing.
    EXPECT_FALSE(pending.Arrived("admin: x", "admin"));
    // The echo of the second, in any case, leaves the first pending.
    pending.Delivered(first);
    pending.Delivered(second);
    ASSERT_TRUE(pending.Arrived("ADMIN: <b>x</b> ", "admin"));
    ASSERT_EQ(pending.Lines().size(), 1u);
    // A text the service changed on the way takes the oldest line it took.
    const auto back = pending.Arrived("admin: a  b", "admin");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->id, first);
    EXPECT_TRUE(pending.Lines().empty());

    // A failed line stays, marked, until sent again, and fails only once.
    const int lost = pending.Add("gone");
    EXPECT_EQ(pending.Failed(lost), std::optional<std::string>("gone"));
    EXPECT_FALSE(pending.Failed(lost));
    EXPECT_EQ(pending.Lines().at(0).state, CPendingLines::State::Lost);
    pending.Add("gone");
    ASSERT_EQ(pending.Lines().size(), 1u);
    EXPECT_EQ(pending.Lines().at(0).state, CPendingLines::State::Sending);
}
