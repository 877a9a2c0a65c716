#pragma once

// The catalogue of the service's requests: for each endpoint, the URL tail made
// from its template with the values filled in and escaped, and the kind that says
// what becomes of its reply. Nothing outside src/net/ knows a template or a kind.

#include <string>
#include <string_view>

namespace kivora::net {

// Who the operator is, as every request names them.
struct Identity {
    std::string loginId;
    std::string siteId;
    bool isAdmin = false;
};

// One request: the URL tail, to go after the path prefix, and its kind.
struct ServiceRequest {
    std::string path;
    int kind = 0;
};

// The three actions on a visitor of the list.
enum class VisitorAction { Remove, Invite, Refuse };

// The exchanges the console once waited for (parameters, login, a visitor's
// details for the console, log-out) have the kind that is handed back to
// whoever asked; the others keep the kind their reply is handled by.
namespace request {

ServiceRequest Params(std::string_view siteId);
ServiceRequest Login(std::string_view loginId, std::string_view siteId, std::string_view password);
ServiceRequest Logout(const Identity& who);
ServiceRequest VisitorList(const Identity& who);
ServiceRequest Presence(const Identity& who, bool online);
ServiceRequest Accept(const Identity& who, std::string_view sessionId, std::string_view address);
ServiceRequest Details(std::string_view sessionId);
ServiceRequest Proactive(std::string_view sessionId, bool sameWindow, std::string_view pageUrl);
ServiceRequest Action(const Identity& who, VisitorAction action, std::string_view sessionId);
ServiceRequest EndChat(const Identity& who, std::string_view sessionId);
ServiceRequest SaveMessage(const Identity& who, std::string_view addressee, std::string_view text);
ServiceRequest Messages(const Identity& who, bool all);
ServiceRequest Transfer(const Identity& who, std::string_view sessionId, std::string_view addressee);
// The line is form-escaped here, as the service reads it.
ServiceRequest SendLine(const Identity& who, std::string_view sessionId, std::string_view line);
ServiceRequest ChatPoll(const Identity& who, std::string_view sessionId, std::string_view address,
                        std::string_view lastNumber);
ServiceRequest OperatorTyping(const Identity& who, std::string_view sessionId);
ServiceRequest VisitorTyping(const Identity& who, std::string_view sessionId);
ServiceRequest ChatLists(const Identity& who);
ServiceRequest NameMail(const Identity& who, std::string_view sessionId);

// Pages opened in a browser, as URL tails.
std::string HistoryPage(const Identity& who, std::string_view address);
std::string ControlPanelPage(const Identity& who);
std::string TranscriptsPage(const Identity& who);

} // namespace request

} // namespace kivora::net
