#include "net/Replies.h"

#include "../../fuzz/ReplyChecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace kivora::net;
using namespace std::string_literals;
using Lines = std::vector<std::string>;

namespace {

struct PollCase {
    std::string reply;
    Lines lines;
    std::optional<std::string> next;
    bool closed;
    bool sound;
};

class ChatPollCases : public ::testing::TestWithParam<PollCase> {};

TEST_P(ChatPollCases, LinesNextNumberClosingAndSound)
{
    const PollCase& c = GetParam();
    const ChatPollReply poll = ParseChatPollReply(c.reply);
    EXPECT_EQ(poll.lines, c.lines);
    EXPECT_EQ(poll.nextNumber, c.next);
    EXPECT_EQ(poll.closedByVisitor, c.closed);
    EXPECT_EQ(poll.newLineSound, c.sound);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ChatPollCases,
    ::testing::Values(
        PollCase{"a: hi<kvr_ln>Visitor: hello<kvr_blk>7<kvr_blk><kvr_blk>sound4", {"a: hi", "Visitor: hello"}, "7",
                 false, true},
        // Nothing new: the number stays as it was.
        PollCase{"<kvr_blk><kvr_blk><kvr_blk>", {}, std::nullopt, false, false},
        // Empty lines (separators at the ends or doubled) are not shown.
        PollCase{"<kvr_ln>x<kvr_ln><kvr_ln>y<kvr_ln><kvr_blk>3<kvr_blk><kvr_blk>", {"x", "y"}, "3", false, false},
        // Lines without a number are not shown either.
        PollCase{"lost<kvr_blk><kvr_blk><kvr_blk>sound4", {}, std::nullopt, false, true},
        PollCase{"Notice: Chat Closed by User.<kvr_blk><kvr_blk><kvr_blk>", {}, std::nullopt, true, false},
        PollCase{"Notice: Chat Closed by User. Bye<kvr_blk><kvr_blk><kvr_blk>", {}, std::nullopt, true, false},
        // Closing needs the third block empty too, and a number means the chat goes on.
        PollCase{"Notice: Chat Closed by User.<kvr_blk><kvr_blk>x<kvr_blk>", {}, std::nullopt, false, false},
        PollCase{"Notice: Chat Closed by User.<kvr_blk>9<kvr_blk><kvr_blk>", {"Notice: Chat Closed by User."}, "9",
                 false, false},
        PollCase{"notice: chat closed by user.<kvr_blk><kvr_blk><kvr_blk>", {}, std::nullopt, false, false},
        // Three or five blocks: all four taken as empty.
        PollCase{"a<kvr_blk>2<kvr_blk>sound4", {}, std::nullopt, false, false},
        PollCase{"a<kvr_blk>2<kvr_blk><kvr_blk>sound4<kvr_blk>", {}, std::nullopt, false, false},
        PollCase{"Notice: Chat Closed by User.", {}, std::nullopt, false, false},
        PollCase{"", {}, std::nullopt, false, false},
        // The sound word must be the whole last block.
        PollCase{"a<kvr_blk>2<kvr_blk><kvr_blk>sound4 ", {"a"}, "2", false, false},
        // The main separators and zero bytes are text inside chat lines.
        PollCase{"a<ln>b<fld>c<blk>\0d"s + "<kvr_blk>2<kvr_blk><kvr_blk>", {"a<ln>b<fld>c<blk>\0d"s}, "2", false,
                 false}));

TEST(WordReplies, OnlyTheExactWordCounts)
{
    EXPECT_EQ(ParsePresenceReply("online"), std::optional<bool>(true));
    EXPECT_EQ(ParsePresenceReply("offline"), std::optional<bool>(false));
    EXPECT_EQ(ParseVisitorTypingReply("vt"), true);
    EXPECT_EQ(ParseTransferReply("true"), true);
    for (const std::string& reply : {""s, "Online"s, "online\r\n"s, " online"s, "online\0"s, "onlineoffline"s}) {
        SCOPED_TRACE(reply);
        EXPECT_EQ(ParsePresenceReply(reply), std::nullopt);
    }
    for (const std::string& reply : {""s, "VT"s, "vt\n"s, "vt\0"s, "v"s}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(ParseVisitorTypingReply(reply));
    }
    for (const std::string& reply : {""s, "TRUE"s, "true\r\n"s, "true\0"s, "Transfer refused: not your chat"s}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(ParseTransferReply(reply));
    }
}

TEST(NameMailReply, ExactlyTwoFieldsKeptByteForByte)
{
    const auto both = ParseNameMailReply("Ann Lee<fld>ann@example.org");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->name, "Ann Lee");
    EXPECT_EQ(both->email, "ann@example.org");

    const auto empty = ParseNameMailReply("<fld>");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->name, "");
    EXPECT_EQ(empty->email, "");

    const auto zero = ParseNameMailReply("A\0B<fld>\xe9@x"s);
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->name, "A\0B"s);
    EXPECT_EQ(zero->email, "\xe9@x");

    for (const std::string& reply : {""s, "Ann"s, "a<fld>b<fld>"s, "<fld><fld>"s, "a<fld"s}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(ParseNameMailReply(reply));
    }
}

TEST(OperatorMessagesReply, ViewerTextAndSound)
{
    const OperatorMessages unread = ParseOperatorMessagesReply("anna<ln>Call me<fld>ben<ln>Thanks<blk>sound3");
    EXPECT_EQ(unread.text, "anna:  Call me\r\nben:  Thanks");
    EXPECT_TRUE(unread.sound);

    // Separators at the ends and side by side each still become their text.
    EXPECT_EQ(ParseOperatorMessagesReply("<fld>a<ln><ln><fld><blk>").text, "\r\na:  :  \r\n");
    // A reply without a block separator is all messages and sounds nothing.
    const OperatorMessages plain = ParseOperatorMessagesReply("Message sent to anna.");
    EXPECT_EQ(plain.text, "Message sent to anna.");
    EXPECT_FALSE(plain.sound);
    // The sound only with exactly two blocks; the messages are the first block.
    const OperatorMessages three = ParseOperatorMessagesReply("a<ln>b<blk>sound3<blk>");
    EXPECT_EQ(three.text, "a:  b");
    EXPECT_FALSE(three.sound);
    EXPECT_FALSE(ParseOperatorMessagesReply("a<blk>sound33").sound);
    EXPECT_FALSE(ParseOperatorMessagesReply("<blk>").sound);
    // Pieces of separators are text; a zero byte stays.
    EXPECT_EQ(ParseOperatorMessagesReply("<fl<fld>d>\0<ln"s).text, "<fl\r\nd>\0<ln"s);
}

TEST(CannedListsReply, EntriesOfBothBlocks)
{
    const auto lists = ParseCannedLists("P<ln>http://p<fld>Q<blk>Hi<ln>Hello<fld><fld>Bye<ln>See you<ln>extra<fld>");
    ASSERT_TRUE(lists);
    ASSERT_EQ(lists->pushUrls.size(), 2u);
    EXPECT_EQ(lists->pushUrls[0].title, "P");
    EXPECT_EQ(lists->pushUrls[0].text, "http://p");
    // No text part: the title alone.
    EXPECT_EQ(lists->pushUrls[1].title, "Q");
    EXPECT_EQ(lists->pushUrls[1].text, "");
    // Empty entries (doubled or trailing separators) are skipped; a third part is not text.
    ASSERT_EQ(lists->responses.size(), 2u);
    EXPECT_EQ(lists->responses[1].title, "Bye");
    EXPECT_EQ(lists->responses[1].text, "See you");

    const auto empty = ParseCannedLists("<blk>");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->pushUrls.empty());
    EXPECT_TRUE(empty->responses.empty());
    // An entry of only the title separator is kept: it is not empty.
    EXPECT_EQ(ParseCannedLists("<ln><blk>")->pushUrls.size(), 1u);

    for (const std::string& reply : {""s, "P<ln>p"s, "a<blk>b<blk>c"s, "<blk><blk>"s}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(ParseCannedLists(reply));
    }
}

TEST(ParamsReply, FourFieldsOrNothing)
{
    const auto params = ParseParamsReply("30<fld>5<fld>chat.example.com:8080<fld>cpn");
    ASSERT_TRUE(params);
    EXPECT_EQ(params->refreshIntervalMs, 30000);
    EXPECT_EQ(params->chatPollIntervalMs, 5000);
    EXPECT_EQ(params->host, "chat.example.com:8080");
    EXPECT_EQ(params->pathPrefix, "/cpn");
    // Unreadable periods are zero (the timers then fall back); an empty word is "/".
    const auto bare = ParseParamsReply("<fld>x<fld><fld>");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->refreshIntervalMs, 0);
    EXPECT_EQ(bare->chatPollIntervalMs, 0);
    EXPECT_EQ(bare->pathPrefix, "/");
    for (const std::string& reply : {""s, "30<fld>5<fld>h"s, "30<fld>5<fld>h<fld>w<fld>"s}) {
        SCOPED_TRACE(reply);
        EXPECT_FALSE(ParseParamsReply(reply));
    }
}

TEST(VisitorRowTime, NewForEightSecondsOrLess)
{
    EXPECT_TRUE(IsNewVisitorTime("0:00:08"));
    EXPECT_TRUE(IsNewVisitorTime("0:00:00 (2)"));
    EXPECT_FALSE(IsNewVisitorTime("0:00:09"));
    EXPECT_FALSE(IsNewVisitorTime("0:01:00"));
    // Hours count too: the colons go, the digits are read as one number.
    EXPECT_FALSE(IsNewVisitorTime("1:00:00"));
    EXPECT_TRUE(IsNewVisitorTime(""));
    EXPECT_TRUE(IsNewVisitorTime("-5"));
    EXPECT_FALSE(IsNewVisitorTime("99999999999999999999999999:99"));
    // Longer than a time ever is: read the same way.
    EXPECT_TRUE(IsNewVisitorTime("0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:7"));
    EXPECT_FALSE(IsNewVisitorTime("0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:1:0"));
}

TEST(ReplyChecks, HoldForTheDemoServiceSeeds)
{
    const std::filesystem::path corpus = std::filesystem::path(KIVORA_FUZZ_DIR) / "corpus";
    int files = 0;
    for (const auto& check : kivora::fuzz::kChecks) {
        const std::filesystem::path dir = corpus / std::string(check.name);
        ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string reply{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            EXPECT_EQ(check.check(reply), "") << entry.path();
            ++files;
        }
    }
    EXPECT_GT(files, 20);
}

// Every input that ever made a fuzz target fail, through every parser.
TEST(ReplyChecks, HoldForEveryKeptFuzzFailure)
{
    const std::filesystem::path kept = std::filesystem::path(KIVORA_FUZZ_DIR) / "regressions";
    ASSERT_TRUE(std::filesystem::is_directory(kept));
    for (const auto& entry : std::filesystem::directory_iterator(kept)) {
        if (!entry.is_regular_file() || entry.path().filename() == "README.md")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string reply{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        for (const auto& check : kivora::fuzz::kChecks)
            EXPECT_EQ(check.check(reply), "") << check.name << " on " << entry.path();
    }
}

} // namespace
