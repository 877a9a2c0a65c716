// The chat side of the service as the operator's chat window uses it: the chat poll,
// sending a line, typing both ways, the canned lists, the visitor's name and e-mail,
// and the pages the console opens in a browser.

#include "Chats.h"
#include "DemoService.h"
#include "Endpoints.h"
#include "Records.h"

#include <string>
#include <vector>

namespace kivora::demo {

namespace {

struct CannedEntry {
    const char* title;
    const char* text;
};

constexpr CannedEntry kPushUrls[] = {
    {"Pricing", "http://www.site1.example/pricing.html"},
    {"Support centre", "http://www.site1.example/help/"},
    {"Contact form", "http://www.site1.example/contact.html"},
    {"Returns", "http://www.site1.example/support/returns.html"},
};

constexpr CannedEntry kResponses[] = {
    {"Greeting", "Hello, how can I help you today?"},
    {"One moment", "One moment please, I am checking that for you."},
    {"Delivery", "Orders placed before 2 pm are sent out the same day."},
    {"Anything else", "Is there anything else I can help you with?"},
    {"Goodbye", "Thank you for visiting. Have a nice day!"},
};

int LastNumber(const EndpointCall& call)
{
    int number = 1;
    if (!ParseWhole(call.Param("lastnum"), number))
        number = 1; // missing or garbled: everything from the start
    return number;
}

// LINES<kvr_blk>NEXT<kvr_blk><kvr_blk>SOUND; see FormatChatPoll.
std::string ChatPoll(const EndpointCall& call, ServiceState& state)
{
    return FormatChatPoll(state.visitors.FindChat(call.Param("csesid")), call.Param("adminid"), LastNumber(call));
}

// The console ignores the reply; a line for a chat that is closed or not the sender's
// is dropped.
std::string SendLine(const EndpointCall& call, ServiceState& state)
{
    OperatorSays(state, call.Param("csesid"), call.Param("adminid"), call.Param("say"));
    return "true";
}

// stat=otype: the operator typed. Any other stat asks whether the visitor is typing.
std::string Typing(const EndpointCall& call, ServiceState& state)
{
    Chat* chat = state.visitors.FindChat(call.Param("csesid"));
    if (chat == nullptr)
        return {};
    const SimTime now = state.clock.Now();
    if (call.Param("stat") == "otype") {
        chat->operatorTyped = now;
        return {};
    }
    return VisitorTyping(*chat, now) ? std::string(kVisitorTypingReply) : std::string();
}

std::string CannedBlock(const auto& entries)
{
    std::vector<std::string> joined;
    for (const CannedEntry& entry : entries)
        joined.push_back(std::string(entry.title) + std::string(kLineSeparator) + entry.text);
    return JoinFields(joined);
}

// PUSHURLS<blk>RESPONSES, the same for every operator.
std::string CannedLists(const EndpointCall&, ServiceState&)
{
    return CannedBlock(kPushUrls) + std::string(kBlockSeparator) + CannedBlock(kResponses);
}

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

EndpointReply Page(std::string_view title, const std::string& body)
{
    const std::string escaped = EscapeHtml(title);
    return {"<html><head><title>" + escaped + "</title></head><body><h1>" + escaped + "</h1>\n" + body +
                "</body></html>\n",
            "text/html"};
}

// One chat as an HTML list of its lines.
std::string ChatSection(const std::string& sessionId, const Chat& chat)
{
    std::string out = "<h2>Chat " + EscapeHtml(sessionId) + " with " +
                      EscapeHtml(chat.visitorName.empty() ? std::string(kAnonymousVisitor) : chat.visitorName) +
                      " (" + EscapeHtml(chat.address) + "), operator " + EscapeHtml(chat.owner) +
                      (chat.closed ? ", ended" : ", open") + "</h2>\n<ul>\n";
    for (const auto& line : chat.lines)
        out += "<li>" + EscapeHtml(ShownText(line)) + "</li>\n";
    return out + "</ul>\n";
}

// The site's chats that `keep` selects, in session id order, as sections.
template <typename Keep>
std::string ChatSections(const ServiceState& state, std::string_view site, Keep keep)
{
    std::string out;
    state.visitors.ForEachChat([&](const std::string& sessionId, const Chat& chat) {
        if (chat.site == site && keep(chat))
            out += ChatSection(sessionId, chat);
    });
    return out.empty() ? "<p>No chats.</p>\n" : out;
}

// opurl=namemail answers NAME<fld>EMAIL; the other pages are HTML for a browser.
EndpointReply BrowserPage(const EndpointCall& call, ServiceState& state)
{
    const std::string page = call.Param("opurl");
    const std::string site = call.Param("stid");
    const std::string loginId = call.Param("loginid");
    if (page == "namemail") {
        const std::string sessionId = call.Param("csesid");
        if (const Visitor* visitor = state.visitors.Find(sessionId))
            return {JoinFields({visitor->name, visitor->email})};
        if (const Chat* chat = state.visitors.FindChat(sessionId))
            return {JoinFields({chat->visitorName, chat->visitorEmail})};
        return {JoinFields({"", ""})};
    }
    if (page == "control") {
        return Page("Control panel", "<p>Site " + EscapeHtml(site) + ", signed in as " + EscapeHtml(loginId) +
                                         ".</p>\n<p>" + std::to_string(state.visitors.All().size()) +
                                         " visitors on the service.</p>\n");
    }
    if (page == "transcript") {
        // An administrator ("adm=Y") sees every operator's chats.
        return Page("Chat transcripts", ChatSections(state, site, [&](const Chat& chat) {
                        return call.Param("adm") == "Y" || chat.owner == loginId;
                    }));
    }
    if (page == "vchathist") {
        const std::string address = call.Param("ipadd");
        return Page("Chat history of " + address,
                    ChatSections(state, site, [&](const Chat& chat) { return chat.address == address; }));
    }
    return {};
}

} // namespace

void RegisterChatEndpoints(CDemoService& service)
{
    service.AddEndpoint("w-achats", ChatPoll);
    service.AddEndpoint("w-amessub", SendLine);
    service.AddEndpoint("w-otype", Typing);
    service.AddEndpoint("w-amespc", CannedLists);
    service.AddPageEndpoint("w-browser", BrowserPage);
}

} // namespace kivora::demo
