// The demo service between operators over HTTP: messages, handing a chat to another
// operator, and logging out.

#include "net/RecordText.h"
#include "support/DemoService.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivora::test {
namespace {

// Replies are cut the way the console cuts them.
std::vector<std::string> Split(const std::string& text, const std::string& separator)
{
    return kivora::net::SplitRecord(text, separator);
}

class DemoServiceOperators : public ::testing::Test {
protected:
    std::string Login(const std::string& loginId)
    {
        return service.Get("/cpn/w-login.php?loginid=" + loginId + "&stid=site1&pwd=secret");
    }

    std::string Block(int index, const std::string& loginId)
    {
        const auto blocks = Split(service.Get("/cpn/w-allonlineu.php?nadminid=" + loginId + "&nsid=site1"), "<blk>");
        return blocks.size() == 4 ? blocks[static_cast<std::size_t>(index)] : "(not four blocks)";
    }

    // `to` and `text` are escaped here, as the console does.
    std::string SendMessage(const std::string& from, const std::string& to, const std::string& text)
    {
        return service.Get("/cpn/w-admsg.php?adid=" + CDemoService::Escape(to) +
                           "&action=save&admsg=" + CDemoService::Escape(text) + "&adminid=" + from + "&sid=site1");
    }

    std::string NewMessages(const std::string& loginId)
    {
        return service.Get("/cpn/w-admsg.php?action=dsp&snd=p&adminid=" + loginId + "&sid=site1");
    }

    std::string AllMessages(const std::string& loginId)
    {
        return service.Get("/cpn/w-admsg.php?action=dspall&adminid=" + loginId + "&sid=site1");
    }

    // A visitor's chat request accepted by `loginId`.
    std::string StartChat(const std::string& loginId)
    {
        const std::string visitor = service.AddVisitor("ip=192.0.2.50&page=/&status=Chat%20Request");
        EXPECT_TRUE(Accept(visitor, loginId).starts_with("true<fld>"));
        return visitor;
    }

    std::string Accept(const std::string& sessionId, const std::string& loginId)
    {
        return service.Get("/cpn/w-adc.php?csesid=" + sessionId + "&ipaddr=192.0.2.50&adminid=" + loginId +
                           "&sid=site1");
    }

    std::string Transfer(const std::string& sessionId, const std::string& from, const std::string& to)
    {
        return service.Get("/cpn/w-ctransf.php?csesid=" + sessionId + "&adid=" + to + "&sid=site1&adminid=" + from +
                           "&action=trans");
    }

    std::string Poll(const std::string& sessionId, const std::string& loginId)
    {
        return service.Get("/cpn/w-achats.php?uname=&adminid=" + loginId + "&csesid=" + sessionId +
                           "&ipadd=192.0.2.50&sid=site1&lastnum=1");
    }

    CDemoService service;
};

TEST_F(DemoServiceOperators, MessageIsNoticedOnceAndFetchedOnce)
{
    EXPECT_EQ(SendMessage("admin", "Anna", "Lunch & tea at 1?  See you"), "Message sent to anna.");
    EXPECT_EQ(SendMessage("ben", "anna", "Second one"), "Message sent to anna.");
    EXPECT_EQ(service.Messages("anna"), "admin\tLunch & tea at 1?  See you\tunread\nben\tSecond one\tunread\n");

    // Two messages before the next list reply still make one notice, for the addressee only.
    EXPECT_EQ(Block(3, "admin"), "");
    EXPECT_EQ(Block(3, "anna"), "message");
    EXPECT_EQ(Block(3, "anna"), "");

    EXPECT_EQ(NewMessages("anna"), "admin<ln>Lunch & tea at 1?  See you<fld>ben<ln>Second one<blk>sound3");
    EXPECT_EQ(NewMessages("anna"), "<blk>");
    EXPECT_EQ(service.Messages("anna"), "admin\tLunch & tea at 1?  See you\tread\nben\tSecond one\tread\n");

    // A later message comes alone among the new ones and last among all of them.
    SendMessage("admin", "anna", "Third");
    EXPECT_EQ(NewMessages("anna"), "admin<ln>Third<blk>sound3");
    EXPECT_EQ(AllMessages("anna"),
              "admin<ln>Lunch & tea at 1?  See you<fld>ben<ln>Second one<fld>admin<ln>Third<blk>");

    // Reading them all leaves a new message new.
    SendMessage("ben", "anna", "Fourth");
    EXPECT_TRUE(AllMessages("anna").ends_with("<fld>ben<ln>Fourth<blk>"));
    EXPECT_EQ(NewMessages("anna"), "ben<ln>Fourth<blk>sound3");

    EXPECT_EQ(NewMessages("ben"), "<blk>");
    EXPECT_EQ(AllMessages("ben"), "<blk>");
}

TEST_F(DemoServiceOperators, SeparatorsTypedIntoAMessageCannotBreakTheLayout)
{
    // Taking "<fld>" out of "<f<fld>ld>" leaves another one, which must go too.
    EXPECT_EQ(SendMessage("admin", "anna", "a<fld>b<ln>c<blk>d<f<fld>ld>e<b<l<ln>n>lk>f"), "Message sent to anna.");
    EXPECT_EQ(NewMessages("anna"), "admin<ln>abcdef<blk>sound3");
}

TEST_F(DemoServiceOperators, RefusedMessagesAreNeitherStoredNorNoticed)
{
    EXPECT_EQ(SendMessage("admin", "zoe", "Hello"), "No such operator: zoe");
    EXPECT_EQ(SendMessage("admin", "anna", ""), "Empty message");
    EXPECT_EQ(SendMessage("admin", "anna", " \t "), "Empty message");
    EXPECT_EQ(SendMessage("admin", "anna", "<fld><ln>"), "Empty message");
    EXPECT_EQ(service.Messages("anna"), "");
    EXPECT_EQ(Block(3, "anna"), "");
    EXPECT_EQ(NewMessages("anna"), "<blk>");
}

TEST_F(DemoServiceOperators, OwnerHandsAChatToAnotherOperator)
{
    Login("admin");
    Login("anna");
    const std::string chat = StartChat("admin");
    service.VisitorSays(chat, "Hello there");

    EXPECT_EQ(Transfer(chat, "admin", "anna"), "true");
    EXPECT_EQ(service.ChatOwner(chat), "anna");
    EXPECT_EQ(Block(3, "anna"), "chat_trans<fld>" + chat);
    EXPECT_EQ(Block(3, "anna"), "");

    // The previous owner's polls go quiet and its lines and end of chat no longer count.
    EXPECT_EQ(Poll(chat, "admin"), "<kvr_blk><kvr_blk><kvr_blk>");
    service.Get("/cpn/w-amessub.php?say=late&csesid=" + chat + "&adminid=admin&sid=site1");
    service.Get("/cpn/w-action.php?action=endchatcl&csesid=" + chat + "&sid=site1&adminid=admin");

    // The receiver accepts on the notice and reads the chat from its start.
    EXPECT_TRUE(Accept(chat, "anna").starts_with("true<fld>")) << Accept(chat, "anna");
    EXPECT_EQ(Poll(chat, "anna"),
              "notice:now user has join the chat<kvr_ln>Visitor: Hello there<kvr_ln>"
              "notice: chat transferred to anna<kvr_blk>4<kvr_blk><kvr_blk>sound4");
    service.Get("/cpn/w-amessub.php?say=Hi&csesid=" + chat + "&adminid=anna&sid=site1");
    EXPECT_EQ(service.ChatLines(chat), "1\tnotice:now user has join the chat\n2\tVisitor: Hello there\n"
                                       "3\tnotice: chat transferred to anna\n4\tanna: Hi\n");

    // And may hand it on in turn.
    EXPECT_EQ(Transfer(chat, "anna", "ben"), "true");
    EXPECT_EQ(service.ChatOwner(chat), "ben");
}

TEST_F(DemoServiceOperators, TransferIsRefusedUnlessTheOwnerHandsAnOpenChatToSomeoneElse)
{
    const std::string chat = StartChat("admin");
    const std::string request = service.AddVisitor("ip=192.0.2.51&page=/&status=Chat%20Request");
    const struct {
        std::string sessionId, from, to;
    } refused[] = {
        {chat, "ben", "anna"},       // not the owner
        {chat, "admin", "zoe"},      // no such operator
        {chat, "admin", "eve"},      // deactivated
        {chat, "admin", "admin"},    // already the owner
        {request, "admin", "anna"},  // nobody owns a chat request yet
        {"0000", "admin", "anna"},   // no such chat
    };
    for (const auto& c : refused) {
        const std::string reply = Transfer(c.sessionId, c.from, c.to);
        EXPECT_TRUE(reply.starts_with("Transfer refused")) << c.from << " -> " << c.to << ": " << reply;
    }
    EXPECT_EQ(service.Get("/cpn/w-ctransf.php?csesid=" + chat + "&adid=anna&sid=site1&adminid=admin"), "");
    EXPECT_EQ(service.ChatOwner(chat), "admin");
    EXPECT_EQ(Block(3, "anna"), "");

    service.Control("chat/leave?csesid=" + chat);
    EXPECT_TRUE(Transfer(chat, "admin", "anna").starts_with("Transfer refused"));
}

TEST_F(DemoServiceOperators, LogoutTakesTheOperatorOffLineUntilItLogsInAgain)
{
    ASSERT_TRUE(Login("anna").starts_with("true<fld>"));
    EXPECT_EQ(Block(1, "admin"), "anna<fld>dora");

    EXPECT_EQ(service.Get("/cpn/w-adminout.php?adminid=anna&sid=site1"), "true");
    EXPECT_EQ(Block(1, "admin"), "dora");
    EXPECT_NE(service.Get("/_sim/state").find("account site1/anna operator offline\n"), std::string::npos);

    EXPECT_TRUE(Login("anna").starts_with("true<fld>OPR<fld>"));
    EXPECT_EQ(Block(1, "admin"), "anna<fld>dora");
}

} // namespace
} // namespace kivora::test
