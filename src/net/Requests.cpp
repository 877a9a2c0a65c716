#include "Requests.h"

#include "Endpoints.h"
#include "ServerLink.h"
#include "res/Strings.h"

namespace kivora::net::request {

namespace {

std::string_view AdminMark(const Identity& who)
{
    return who.isAdmin ? "Y" : "";
}

int ActionWord(VisitorAction action)
{
    switch (action) {
    case VisitorAction::Remove:
        return res::IDS_ACTION_REMOVE;
    case VisitorAction::Invite:
        return res::IDS_ACTION_INVITE;
    case VisitorAction::Refuse:
        return res::IDS_ACTION_REFUSE;
    }
    return res::IDS_ACTION_REMOVE;
}

} // namespace

ServiceRequest Params(std::string_view siteId)
{
    return {MakeUrl(res::IDS_URL_PARAMS, {siteId}), kKindNone};
}

ServiceRequest Login(std::string_view loginId, std::string_view siteId, std::string_view password)
{
    return {MakeUrl(res::IDS_URL_LOGIN, {loginId, siteId, password}), kKindNone};
}

ServiceRequest Logout(const Identity& who)
{
    return {MakeUrl(res::IDS_URL_LOGOUT, {who.loginId, who.siteId}), kKindNone};
}

ServiceRequest VisitorList(const Identity& who)
{
    return {MakeUrl(res::IDS_URL_VISITOR_LIST, {who.loginId, who.siteId}), kKindVisitorList};
}

ServiceRequest Presence(const Identity& who, bool online)
{
    return {MakeUrl(online ? res::IDS_URL_GO_ONLINE : res::IDS_URL_GO_OFFLINE, {who.siteId, who.loginId}),
            kKindPresence};
}

ServiceRequest Accept(const Identity& who, std::string_view sessionId, std::string_view address)
{
    return {MakeUrl(res::IDS_URL_ACCEPT, {sessionId, address, who.loginId, who.siteId}), kKindAcceptChat};
}

ServiceRequest Details(std::string_view sessionId)
{
    return {MakeUrl(res::IDS_URL_DETAILS, {sessionId}), kKindNone};
}

ServiceRequest Proactive(std::string_view sessionId, bool sameWindow, std::string_view pageUrl)
{
    return {MakeUrl(res::IDS_URL_PROACTIVE, {sessionId, sameWindow ? "R" : "N", pageUrl}), kKindProactive};
}

ServiceRequest Action(const Identity& who, VisitorAction action, std::string_view sessionId)
{
    return {MakeUrl(res::IDS_URL_ACTION, {res::LoadString(ActionWord(action)), sessionId, who.siteId, who.loginId}),
            kKindVisitorAction};
}

ServiceRequest EndChat(const Identity& who, std::string_view sessionId)
{
    return {MakeUrl(res::IDS_URL_ACTION, {"endchatcl", sessionId, who.siteId, who.loginId}), kKindEndChat};
}

ServiceRequest SaveMessage(const Identity& who, std::string_view addressee, std::string_view text)
{
    return {MakeUrl(res::IDS_URL_SAVE_MESSAGE, {addressee, text, who.loginId, who.siteId}), kKindSaveMessage};
}

ServiceRequest Messages(const Identity& who, bool all)
{
    return {MakeUrl(all ? res::IDS_URL_ALL_MESSAGES : res::IDS_URL_NEW_MESSAGES, {who.loginId, who.siteId}),
            kKindMessages};
}

ServiceRequest Transfer(const Identity& who, std::string_view sessionId, std::string_view addressee)
{
    return {MakeUrl(res::IDS_URL_TRANSFER, {sessionId, addressee, who.siteId, who.loginId}), kKindTransfer};
}

ServiceRequest SendLine(const Identity& who, std::string_view sessionId, std::string_view line)
{
    const std::string escaped = FormEscape(line);
    return {MakeUrl(res::IDS_URL_SEND_LINE, {PreEscaped(escaped), sessionId, who.loginId, who.siteId}),
            kKindSendLine};
}

ServiceRequest ChatPoll(const Identity& who, std::string_view sessionId, std::string_view address,
                        std::string_view lastNumber)
{
    return {MakeUrl(res::IDS_URL_CHAT_POLL, {who.loginId, sessionId, address, who.siteId, lastNumber}),
            kKindChatPoll};
}

ServiceRequest OperatorTyping(const Identity& who, std::string_view sessionId)
{
    return {MakeUrl(res::IDS_URL_OPERATOR_TYPING, {sessionId, who.siteId}), kKindOperatorTyping};
}

ServiceRequest VisitorTyping(const Identity& who, std::string_view sessionId)
{
    return {MakeUrl(res::IDS_URL_VISITOR_TYPING, {sessionId, who.siteId}), kKindVisitorTyping};
}

ServiceRequest ChatLists(const Identity& who)
{
    return {MakeUrl(res::IDS_URL_CHAT_LISTS, {who.loginId, who.siteId}), kKindChatLists};
}

ServiceRequest NameMail(const Identity& who, std::string_view sessionId)
{
    return {MakeUrl(res::IDS_URL_NAME_MAIL, {sessionId, who.loginId, who.siteId}), kKindNameMail};
}

std::string HistoryPage(const Identity& who, std::string_view address)
{
    return MakeUrl(res::IDS_URL_HISTORY_PAGE, {who.loginId, who.siteId, AdminMark(who), address});
}

std::string ControlPanelPage(const Identity& who)
{
    return MakeUrl(res::IDS_URL_CONTROL_PAGE, {who.loginId, who.siteId, AdminMark(who)});
}

std::string TranscriptsPage(const Identity& who)
{
    return MakeUrl(res::IDS_URL_TRANSCRIPTS_PAGE, {who.loginId, who.siteId, AdminMark(who)});
}

} // namespace kivora::net::request
