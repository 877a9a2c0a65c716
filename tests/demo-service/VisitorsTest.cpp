// The demo service's visitor side over HTTP: presence, the visitor list, details,
// invitations, visitor actions, accepting a chat, and the autopilot.

#include "net/RecordText.h"
#include "support/DemoService.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kivora::test {
namespace {

bool AllOf(std::string_view text, bool (*wanted)(char))
{
    return !text.empty() && std::all_of(text.begin(), text.end(), wanted);
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool IsLowerHex(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f');
}
// One of the documentation networks the autopilot draws addresses from.
bool IsExampleAddress(std::string_view address)
{
    for (const std::string_view network : {"192.0.2.", "198.51.100.", "203.0.113."}) {
        if (address.starts_with(network))
            return AllOf(address.substr(network.size()), IsDigit);
    }
    return false;
}

using namespace std::chrono_literals;

// Replies are cut the way the console cuts them.
std::vector<std::string> Split(const std::string& text, const std::string& separator)
{
    return kivora::net::SplitRecord(text, separator);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines = Split(text, "\n");
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

class DemoServiceVisitors : public ::testing::Test {
protected:
    std::string List(const std::string& loginId = "admin")
    {
        return service.Get("/cpn/w-allonlineu.php?nadminid=" + loginId + "&nsid=site1");
    }

    // A list reply's rows, each split into its fields; none for "No Users Online".
    static std::vector<std::vector<std::string>> RowsOf(const std::string& reply)
    {
        const std::string rows = Split(reply, "<blk>").front();
        std::vector<std::vector<std::string>> out;
        if (rows != "No Users Online") {
            for (const auto& row : Split(rows, "<ln>"))
                out.push_back(Split(row, "<fld>"));
        }
        return out;
    }

    std::vector<std::vector<std::string>> Rows(const std::string& loginId = "admin") { return RowsOf(List(loginId)); }

    // The fields of one visitor's row, or none when it is not listed.
    std::vector<std::string> Row(const std::string& sessionId, const std::string& loginId = "admin")
    {
        for (auto& row : Rows(loginId)) {
            if (row.front() == sessionId)
                return row;
        }
        return {};
    }

    std::string Block(int index, const std::string& loginId = "admin")
    {
        const auto blocks = Split(List(loginId), "<blk>");
        return blocks.size() == 4 ? blocks[static_cast<std::size_t>(index)] : "(not four blocks)";
    }

    std::string Act(const std::string& word, const std::string& sessionId, const std::string& loginId = "admin")
    {
        return service.Get("/cpn/w-action.php?action=" + word + "&csesid=" + sessionId + "&sid=site1&adminid=" +
                           loginId);
    }

    std::string Accept(const std::string& sessionId, const std::string& loginId)
    {
        return service.Get("/cpn/w-adc.php?csesid=" + sessionId + "&ipaddr=192.0.2.1&adminid=" + loginId +
                           "&sid=site1");
    }

    // "STATUS BODY" of a control request; with a body it is a POST, whose body carries
    // values too long for a request line.
    std::string Send(const std::string& pathAndQuery, const std::string& body = "")
    {
        httplib::Client client("127.0.0.1", service.Port());
        client.set_url_encode(false);
        const auto result = body.empty() ? client.Get(pathAndQuery) : client.Post(pathAndQuery, body, "text/plain");
        return result ? std::to_string(result->status) + ' ' + result->body : "failed";
    }

    std::string Presence(const std::string& loginId, const std::string& action)
    {
        return service.Get("/cpn/w-mrefresh.php?sid=site1&adminid=" + loginId + "&action=" + action);
    }

    CDemoService service;
};

// --- The visitor list ---------------------------------------------------------------

TEST_F(DemoServiceVisitors, ListHasFourBlocksAndRowsOfElevenFieldsInArrivalOrder)
{
    const std::string first = service.AddVisitor("ip=192.0.2.10&page=/products/widgets.html&visits=3&seconds=349");
    const std::string second = service.AddVisitor("ip=198.51.100.7&page=/pricing.html&status=Chat%20Request");
    EXPECT_NE(first, second);
    EXPECT_EQ(List(), first +
                          "<fld>192.0.2.10<fld>3<fld>In Site<fld>0:05:49<fld>Delete<fld><fld>Invite<fld>Pro-Pop"
                          "<fld>/products/widgets.html<fld><ln>" +
                          second +
                          "<fld>198.51.100.7<fld>0<fld>Chat Request<fld>0:00:00<fld>Delete<fld>Busy<fld><fld>"
                          "<fld>/pricing.html<fld>"
                          "<blk>dora<blk>sound1<blk>");
}

TEST_F(DemoServiceVisitors, EmptySiteSaysNoUsersOnline)
{
    EXPECT_EQ(List(), "No Users Online<blk>dora<blk><blk>");
    const std::string visitor = service.AddVisitor("ip=192.0.2.1&page=/");
    service.AddVisitor("ip=192.0.2.2&page=/&site=site2");
    EXPECT_EQ(Rows().size(), 1u);
    ASSERT_EQ(service.Get("/_sim/visitor/remove?csesid=" + visitor), "ok");
    EXPECT_EQ(List(), "No Users Online<blk>dora<blk><blk>");
}

TEST_F(DemoServiceVisitors, AllowedActionsFollowTheStatus)
{
    struct Case {
        const char* status;
        const char* expected[4]; // delete, busy, invite, pro-pop
    };
    const Case cases[] = {
        {"In%20Site", {"Delete", "", "Invite", "Pro-Pop"}},
        {"Chat%20Request", {"Delete", "Busy", "", ""}},
        {"Chatting", {"", "", "", ""}},
        {"Invited", {"Delete", "", "", "Pro-Pop"}},
    };
    for (const auto& c : cases) {
        const auto row = Row(service.AddVisitor(std::string("ip=192.0.2.3&page=/&status=") + c.status));
        ASSERT_EQ(row.size(), 11u) << c.status;
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(row[5 + i], c.expected[i]) << c.status << " field " << 5 + i;
    }
}

TEST_F(DemoServiceVisitors, TimeOnSiteCountsFromArrivalAndFollowsTheClock)
{
    const std::string eight = service.AddVisitor("ip=192.0.2.4&page=/&seconds=8");
    const std::string minute = service.AddVisitor("ip=192.0.2.5&page=/&seconds=65");
    const std::string hour = service.AddVisitor("ip=192.0.2.6&page=/&seconds=3605");
    EXPECT_EQ(Row(eight).at(4), "0:00:08");
    EXPECT_EQ(Row(minute).at(4), "0:01:05");
    EXPECT_EQ(Row(hour).at(4), "1:00:05");
    service.Control("advance?seconds=36000");
    EXPECT_EQ(Row(eight).at(4), "10:00:08");
}

TEST_F(DemoServiceVisitors, OperatorsBlockFollowsLoginAndPresence)
{
    EXPECT_EQ(Presence("anna", "lgon"), "online");
    EXPECT_EQ(Block(1), "anna<fld>dora");
    service.Get("/cpn/w-login.php?loginid=ben&stid=site1&pwd=secret");
    EXPECT_EQ(Block(1), "anna<fld>ben<fld>dora");
    EXPECT_EQ(Presence("anna", "lgof"), "offline");
    EXPECT_EQ(Presence("dora", "lgof"), "offline");
    EXPECT_EQ(Block(1), "ben");
    EXPECT_EQ(Presence("ben", "away"), "");
    EXPECT_EQ(Presence("nobody", "lgon"), "online");
    EXPECT_EQ(Block(1), "ben");
}

TEST_F(DemoServiceVisitors, ExpiredPresenceStaysGoneUntilTheNextGoOnline)
{
    Presence("anna", "lgon");
    service.Control("presence/expire?operator=anna");
    // Her own list polling does not bring her back; only going on line does.
    EXPECT_EQ(Block(1, "anna"), "dora");
    EXPECT_EQ(Presence("anna", "lgon"), "online");
    EXPECT_EQ(Block(1), "anna<fld>dora");
    EXPECT_EQ(Send("/_sim/presence/expire?operator=nobody"), "404 no such operator\n");
}

TEST_F(DemoServiceVisitors, ChatRequestSoundsOncePerRequestForEachOperator)
{
    const std::string first = service.AddVisitor("ip=192.0.2.7&page=/");
    EXPECT_EQ(Block(2), "");
    ASSERT_EQ(service.Get("/_sim/visitor/request-chat?csesid=" + first), "ok");
    EXPECT_EQ(Block(2), "sound1");
    EXPECT_EQ(Block(2), "");
    EXPECT_EQ(Block(2, "anna"), "sound1");

    // A second visitor's request sounds again, even with the first still waiting.
    const std::string second = service.AddVisitor("ip=192.0.2.8&page=/");
    service.Get("/_sim/visitor/request-chat?csesid=" + second);
    EXPECT_EQ(Block(2), "sound1");

    // Refused and asked again is a new request; hidden visitors do not sound.
    Act("refuse", first);
    Act("remove", first, "anna");
    service.Get("/_sim/visitor/request-chat?csesid=" + first);
    EXPECT_EQ(Block(2), "sound1");
    EXPECT_EQ(Block(2, "anna"), "sound1"); // for the second visitor's request
    EXPECT_EQ(Block(2, "anna"), "");
}

TEST_F(DemoServiceVisitors, NoticesAreDeliveredOnceInOrderToTheirOperator)
{
    service.Control("notice?operator=anna&text=message");
    service.Control("notice?operator=anna&text=chat_trans%3Cfld%3Eabc");
    EXPECT_EQ(Block(3), "");
    EXPECT_EQ(Block(3, "anna"), "message");
    EXPECT_EQ(Block(3, "anna"), "chat_trans<fld>abc");
    EXPECT_EQ(Block(3, "anna"), "");
    EXPECT_EQ(service.Get("/_sim/notice?operator=anna"), "");

    service.Control("notice?operator=anna&text=message");
    service.Reset();
    EXPECT_EQ(Block(3, "anna"), "");
}

TEST_F(DemoServiceVisitors, DeactivatedOperatorIsLoggedOut)
{
    EXPECT_EQ(List("eve"), "logout");
    Presence("anna", "lgon");
    service.Control("deactivate?operator=anna");
    EXPECT_EQ(List("anna"), "logout");
    EXPECT_EQ(service.Get("/cpn/w-login.php?loginid=anna&stid=site1&pwd=secret"), "expired<fld><fld>");
    Presence("anna", "lgon");
    EXPECT_EQ(List(), "No Users Online<blk>dora<blk><blk>");
    EXPECT_EQ(service.Get("/_sim/deactivate?operator=nobody"), "");

    service.Reset();
    EXPECT_NE(List("anna"), "logout");
}

// --- Actions, invitations and accepting -------------------------------------------

TEST_F(DemoServiceVisitors, RemoveHidesTheVisitorFromThatOperatorOnly)
{
    const std::string gone = service.AddVisitor("ip=192.0.2.9&page=/");
    const std::string kept = service.AddVisitor("ip=192.0.2.10&page=/");
    EXPECT_EQ(Act("remove", gone), "true");
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front().front(), kept);
    EXPECT_EQ(Rows("anna").size(), 2u);
    EXPECT_EQ(Act("remove", kept), "true");
    EXPECT_TRUE(List().starts_with("No Users Online<blk>"));
}

TEST_F(DemoServiceVisitors, RefuseInviteAndProactiveChangeTheVisitor)
{
    const std::string asking = service.AddVisitor("ip=192.0.2.11&page=/&status=Chat%20Request");
    EXPECT_EQ(Act("refuse", asking), "true");
    EXPECT_EQ(Row(asking).at(3), "In Site");
    EXPECT_TRUE(Accept(asking, "admin").starts_with("Visitor is no longer requesting a chat<fld>"));

    EXPECT_EQ(Act("cinvt", asking), "true");
    EXPECT_EQ(Row(asking).at(3), "Invited");
    EXPECT_EQ(Act("frobnicate", asking), "");

    const std::string browsing = service.AddVisitor("ip=192.0.2.12&page=/");
    EXPECT_EQ(service.Get("/cpn/w-prop.php?csesid=" + browsing + "&prop=A&popwin=R&ppurl=http%3A%2F%2Fx.example%2F"),
              "true");
    service.Get("/cpn/w-prop.php?csesid=" + asking + "&prop=A&popwin=N&ppurl=");
    EXPECT_EQ(Row(browsing).at(10), "ppc");
    EXPECT_EQ(Row(asking).at(10), "ppc");
    EXPECT_EQ(Row(browsing).at(3), "In Site");

    // Left unanswered, the invitation lapses after thirty seconds.
    service.Control("advance?seconds=29");
    EXPECT_EQ(Row(browsing).at(10), "ppc");
    service.Control("advance?seconds=1");
    EXPECT_EQ(Row(browsing).at(10), "");

    // A chatting visitor cannot be invited either way.
    const std::string chatting = service.AddVisitor("ip=192.0.2.13&page=/&status=Chatting");
    Act("cinvt", chatting);
    service.Get("/cpn/w-prop.php?csesid=" + chatting + "&prop=A&popwin=R&ppurl=");
    EXPECT_EQ(Row(chatting).at(3), "Chatting");
    EXPECT_EQ(Row(chatting).at(10), "");
}

TEST_F(DemoServiceVisitors, AcceptIsGrantedOnceThenRefusedToOthers)
{
    const std::string visitor = service.AddVisitor(
        "ip=192.0.2.14&page=/&status=Chat%20Request&visits=2&name=Jo%20Smith&email=jo%40mail.example.com");
    EXPECT_EQ(Accept(visitor, "admin"), "true<fld>Jo Smith<fld>jo@mail.example.com<fld>Y<fld>" + visitor);
    EXPECT_EQ(Row(visitor).at(3), "Chatting");
    EXPECT_EQ(Accept(visitor, "anna"), "Chat already accepted by admin<fld><fld><fld><fld>" + visitor);
    EXPECT_EQ(Accept(visitor, "admin"), "true<fld>Jo Smith<fld>jo@mail.example.com<fld>Y<fld>" + visitor);
    EXPECT_EQ(Accept("0123456789abcdef01", "admin"), "Visitor has left the site<fld><fld><fld><fld>0123456789abcdef01");

    EXPECT_EQ(Act("endchatcl", visitor), "true");
    EXPECT_EQ(Row(visitor).at(3), "In Site");
}

TEST_F(DemoServiceVisitors, HistoryNeedsEarlierVisitsWithAChat)
{
    const std::string fresh = service.AddVisitor("ip=192.0.2.15&page=/&status=Chat%20Request");
    const std::string quiet = service.AddVisitor("ip=192.0.2.16&page=/&status=Chat%20Request&visits=4&chatted=0");
    EXPECT_EQ(Accept(fresh, "admin"), "true<fld><fld><fld>N<fld>" + fresh);
    EXPECT_EQ(Accept(quiet, "admin"), "true<fld><fld><fld>N<fld>" + quiet);
}

TEST_F(DemoServiceVisitors, TransferredChatCanBeAcceptedByItsNewOperator)
{
    const std::string visitor = service.AddVisitor("ip=192.0.2.17&page=/&status=Chat%20Request");
    ASSERT_TRUE(Accept(visitor, "admin").starts_with("true<fld>"));
    service.Control("notice?operator=anna&text=chat_trans%3Cfld%3E" + visitor);
    EXPECT_EQ(Block(3, "anna"), "chat_trans<fld>" + visitor);
    EXPECT_TRUE(Accept(visitor, "anna").starts_with("true<fld>"));
    EXPECT_EQ(Accept(visitor, "admin"), "Chat already accepted by anna<fld><fld><fld><fld>" + visitor);
}

// --- Details --------------------------------------------------------------------------

TEST_F(DemoServiceVisitors, DetailsHaveElevenFieldsInServiceOrder)
{
    const std::string visitor = service.AddVisitor(
        "ip=203.0.113.5&page=/products/widgets.html&browser=Opera%20105.0&os=Linux%20x86_64"
        "&referrer=http%3A%2F%2Fsearch.example.com%2F&colours=32%20bit&java=Yes&gmt=330&language=en-IN"
        "&country=India&region=Maharashtra&city=Mumbai");
    const auto fields = Split(service.Get("/cpn/w-lmudets.php?csesid=" + visitor), "<fld>");
    ASSERT_EQ(fields.size(), 11u);
    const std::vector<std::string> fixed{fields[0], fields[1], fields[2], fields[3], fields[4],
                                         fields[5], fields[7], fields[8], fields[9], fields[10]};
    EXPECT_EQ(fixed, (std::vector<std::string>{"http://www.site1.example/products/widgets.html", "Opera 105.0",
                                               "Linux x86_64", "http://search.example.com/", "32 bit", "Yes",
                                               "en-IN", "India", "Maharashtra", "Mumbai"}));

    // The visitor's local time: UTC moved east by 5:30 (allowing for a minute turning over).
    const std::string_view time(fields[6]);
    ASSERT_TRUE(time.size() == 15 && time.starts_with("GMT+05:30 ") && AllOf(time.substr(10, 2), IsDigit) &&
                time[12] == ':' && AllOf(time.substr(13, 2), IsDigit))
        << fields[6];
    const int shown = std::stoi(fields[6].substr(10, 2)) * 60 + std::stoi(fields[6].substr(13, 2));
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    const int expected = (utc.tm_hour * 60 + utc.tm_min + 330) % (24 * 60);
    EXPECT_TRUE(shown == expected || shown == (expected + 1) % (24 * 60)) << fields[6];

    const std::string west = service.AddVisitor("ip=203.0.113.6&page=/&gmt=-300");
    EXPECT_TRUE(Split(service.Get("/cpn/w-lmudets.php?csesid=" + west), "<fld>").at(6).starts_with("GMT-05:00 "));
    EXPECT_EQ(service.Get("/cpn/w-lmudets.php?csesid=0123456789abcdef01"), "");
}

// --- Control API ----------------------------------------------------------------------

TEST_F(DemoServiceVisitors, ControlApiRefusesBadVisitorsAndResetClearsThem)
{
    for (const char* query : {"status=Sleeping", "visits=x", "seconds=-1", "gmt=900", "chatted=2"})
        EXPECT_EQ(service.Get(std::string("/_sim/visitor/add?ip=192.0.2.1&") + query), "") << query;
    EXPECT_EQ(service.Get("/_sim/visitor/request-chat?csesid=0123456789abcdef01"), "");
    EXPECT_EQ(service.Get("/_sim/visitor/remove?csesid=0123456789abcdef01"), "");

    const std::string before = service.AddVisitor("ip=192.0.2.18&page=/a.html");
    EXPECT_TRUE(before.size() == 18 && AllOf(before, IsLowerHex)) << before;
    EXPECT_EQ(service.Get("/_sim/visitors"), before + " 192.0.2.18 In Site /a.html\n");
    service.Reset();
    EXPECT_EQ(service.Get("/_sim/visitors"), "");
    // Ids are never reused, so a console left running across a reset cannot mix visitors up.
    EXPECT_NE(service.AddVisitor("ip=192.0.2.18&page=/a.html"), before);
}

TEST_F(DemoServiceVisitors, SetPutsExactBytesIntoTheListDetailsAndAcceptReplies)
{
    std::string everyByte; // 1-255, none of it a whole separator
    for (int byte = 1; byte < 256; ++byte)
        everyByte += static_cast<char>(byte);
    const std::string markup = "<b onmouseover=\"x()\">Jo</b><script>alert('&amp;')</script>";
    const std::string bidi = "\xE2\x80\xAE" "fdp.exe";
    std::string hugePage = "/";
    while (hugePage.size() < (1u << 20))
        hugePage += "<i>\xE2\x80\xAE%41+</i>";

    enum Reply { ListRow, Details, AcceptReply, NameMail };
    struct Case {
        const char* field;
        std::string value;
        Reply reply;
        std::size_t index;
    };
    const Case cases[] = {
        {"ip", markup, ListRow, 1},
        {"visits", "-1" + bidi, ListRow, 2},
        {"status", markup, ListRow, 3},
        {"duration", "", ListRow, 4},
        {"busy", "javascript:x()", ListRow, 6},
        {"page", hugePage, ListRow, 9},
        {"url", "file:///etc/passwd", Details, 0},
        {"browser", everyByte, Details, 1},
        {"referrer", "file:///C:/Windows/win.ini", Details, 3},
        {"time", bidi, Details, 6},
        {"city", markup, Details, 10},
        {"name", markup, AcceptReply, 1},
        {"email", bidi + "@example.com", AcceptReply, 2},
        {"name", markup, NameMail, 0},
    };
    const std::string visitor = service.AddVisitor("ip=192.0.2.19&page=/&status=Chat%20Request");
    std::string body;
    for (const auto& c : cases)
        body += std::string("&") + c.field + '=' + CDemoService::Escape(c.value);
    ASSERT_EQ(Send("/_sim/visitor/set?csesid=" + visitor, body), "200 ok");

    const std::vector<std::string> replies{
        List(), service.Get("/cpn/w-lmudets.php?csesid=" + visitor), Accept(visitor, "admin"),
        service.Get("/cpn/w-browser.php?opurl=namemail&csesid=" + visitor + "&stid=site1&loginid=admin")};
    for (const auto& c : cases) {
        const std::string& reply = replies[c.reply];
        const auto fields = c.reply == ListRow ? RowsOf(reply).at(0) : Split(reply, "<fld>");
        ASSERT_GT(fields.size(), c.index) << c.field;
        EXPECT_TRUE(fields[c.index] == c.value) << c.field << ": " << fields[c.index].substr(0, 80);
    }
    EXPECT_EQ(RowsOf(replies[ListRow]).at(0).size(), 11u);

    // A restored status is derived again: the accept above made the visitor chatting.
    ASSERT_EQ(service.Get("/_sim/visitor/set?csesid=" + visitor + "&restore=status"), "ok");
    EXPECT_EQ(Row(visitor).at(3), "Chatting");

    EXPECT_TRUE(Send("/_sim/visitor/set?csesid=" + visitor + "&ip=192.0.2.20&colour=red").starts_with("400 "));
    EXPECT_TRUE(Send("/_sim/visitor/set?csesid=" + visitor + "&restore=ip").starts_with("400 "));
    EXPECT_EQ(Row(visitor).at(1), markup); // a refused set changes nothing
    EXPECT_TRUE(Send("/_sim/visitor/set?csesid=0123456789abcdef01&ip=192.0.2.20").starts_with("404 "));
}

// --- Autopilot --------------------------------------------------------------------------

class DemoServiceAutopilot : public DemoServiceVisitors {
protected:
    std::vector<std::string> VisitorLines() { return Lines(service.Get("/_sim/visitors")); }
};

TEST_F(DemoServiceAutopilot, FixedSeedBringsVisitorsAndChatRequests)
{
    service.Control("autopilot?on=1&seed=7&visitors=8&speed=0");
    service.Control("tick");
    EXPECT_EQ(Rows().size(), 1u);

    bool requested = false;
    bool sounded = false;
    std::size_t most = 0;
    for (int ticks = 0; ticks < 600 && !requested; ticks += 5) {
        service.Control("tick?count=5");
        const std::string reply = List();
        const auto blocks = Split(reply, "<blk>");
        ASSERT_EQ(blocks.size(), 4u) << reply;
        sounded = sounded || blocks[2] == "sound1";
        const auto rows = RowsOf(reply);
        most = std::max(most, rows.size());
        for (const auto& row : rows) {
            ASSERT_EQ(row.size(), 11u);
            EXPECT_TRUE(IsExampleAddress(row[1])) << row[1];
            requested = requested || row[3] == "Chat Request";
        }
    }
    EXPECT_TRUE(requested);
    EXPECT_GE(most, 4u);
    EXPECT_LE(most, 8u);
    EXPECT_TRUE(sounded);
}

TEST_F(DemoServiceAutopilot, SameSeedGivesTheSameRun)
{
    CDemoService other;
    for (CDemoService* run : {&service, &other}) {
        run->Control("autopilot?on=1&seed=42&speed=0");
        run->Control("tick?count=300");
    }
    const std::string visitors = service.Get("/_sim/visitors");
    EXPECT_FALSE(visitors.empty());
    EXPECT_EQ(visitors, other.Get("/_sim/visitors"));
}

TEST_F(DemoServiceAutopilot, VisitorsAnswerProactiveInvitationsSometimes)
{
    service.Control("autopilot?on=1&seed=3&visitors=12&speed=0");
    service.Control("tick?count=8");
    const auto rows = Rows();
    ASSERT_GE(rows.size(), 6u);
    for (const auto& row : rows) {
        if (row[3] == "In Site")
            service.Get("/cpn/w-prop.php?csesid=" + row[0] + "&prop=A&popwin=R&ppurl=");
    }
    service.Control("tick?count=20");
    int accepted = 0;
    int ignored = 0;
    for (const auto& row : Rows()) {
        accepted += row[3] == "Chat Request" ? 1 : 0;
        ignored += row[10] == "ppc" ? 1 : 0;
    }
    EXPECT_GE(accepted, 1);
    EXPECT_GE(ignored, 1);
}

TEST_F(DemoServiceAutopilot, ChattingVisitorStaysUntilTheChatEnds)
{
    service.Control("autopilot?on=1&seed=11&visitors=4&speed=0");
    service.Control("tick?count=4");
    const std::string visitor = Rows().front().front();
    ASSERT_EQ(service.Get("/_sim/visitor/request-chat?csesid=" + visitor), "ok");
    ASSERT_TRUE(Accept(visitor, "admin").starts_with("true<fld>"));
    service.Control("tick?count=1000");
    EXPECT_EQ(Row(visitor).at(3), "Chatting");

    Act("endchatcl", visitor);
    service.Control("tick?count=61");
    EXPECT_TRUE(Row(visitor).empty());
}

TEST(DemoServiceAutopilotOption, RunsFromTheCommandLineAndRestartsFreshOnReset)
{
    CDemoService service({"--autopilot", "--seed", "5", "--visitors", "3", "--speed", "0"});
    service.Control("tick?count=30");
    EXPECT_EQ(Lines(service.Get("/_sim/visitors")).size(), 3u);
    const std::string firstRun = service.Get("/_sim/visitors");

    service.Reset();
    EXPECT_EQ(service.Get("/_sim/visitors"), "");
    service.Control("tick?count=30");
    // Same seed, fresh start: the same visitors under new session ids.
    const auto again = Lines(service.Get("/_sim/visitors"));
    const auto before = Lines(firstRun);
    ASSERT_EQ(again.size(), before.size());
    for (std::size_t i = 0; i < again.size(); ++i) {
        EXPECT_NE(again[i].substr(0, 18), before[i].substr(0, 18));
        EXPECT_EQ(again[i].substr(18), before[i].substr(18));
    }
}

TEST(DemoServiceAutopilotOption, ResetStopsAnAutopilotStartedByControl)
{
    CDemoService service;
    service.Control("autopilot?on=1&seed=1&speed=0");
    service.Reset();
    service.Control("tick?count=30");
    EXPECT_EQ(service.Get("/_sim/visitors"), "");
    EXPECT_EQ(service.Get("/_sim/autopilot?on=maybe"), "");
    EXPECT_EQ(service.Get("/_sim/autopilot?on=1&speed=500"), "");
}

TEST(DemoServiceAutopilotOption, TicksByItselfAtSpeedAndStopsWithTheProcess)
{
    auto service = std::make_unique<CDemoService>(std::vector<std::string>{"--autopilot", "--speed", "50"});
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (service->Get("/_sim/visitors").empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(service->Get("/_sim/visitors").empty());
    const auto start = std::chrono::steady_clock::now();
    service.reset(); // fails the test itself unless SIGTERM ends the process
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

} // namespace
} // namespace kivora::test
