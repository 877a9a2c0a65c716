// What operators do among themselves: leaving each other messages, handing a chat to
// another operator, and logging out.

#include "Chats.h"
#include "DemoService.h"
#include "Endpoints.h"
#include "Messages.h"
#include "Records.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace kivora::demo {

namespace {

constexpr std::string_view kTransferNotice = "chat_trans";

bool Blank(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

// The login id as the accounts spell it, or the given one for an unknown account.
std::string AccountId(ServiceState& state, std::string_view site, const std::string& loginId)
{
    const Account* account = state.accounts.FindAnyCase(site, loginId);
    return account != nullptr ? account->loginId : loginId;
}

// One pending "message" notice covers every message saved before the addressee's next
// visitor-list reply: a single fetch then brings them all.
void NoticeNewMessage(ServiceState& state, const std::string& loginId)
{
    auto& pending = state.notices[loginId];
    if (std::find(pending.begin(), pending.end(), kMessageNotice) == pending.end())
        pending.emplace_back(kMessageNotice);
}

// action=save stores a message and answers a confirmation for the sender's message box;
// dsp answers the unread messages, marking them read, and dspall every message.
std::string OperatorMessages(const EndpointCall& call, ServiceState& state)
{
    const std::string action = call.Param("action");
    const std::string site = call.Param("sid");
    const std::string loginId = AccountId(state, site, call.Param("adminid"));
    if (action == "dsp")
        return FormatMessages(state.messages.TakeUnread(site, loginId), true);
    if (action == "dspall")
        return FormatMessages(state.messages.AllFor(site, loginId), false);
    if (action != "save")
        return {};

    const std::string addressee = call.Param("adid");
    const Account* to = state.accounts.FindAnyCase(site, addressee);
    if (to == nullptr)
        return "No such operator: " + addressee;
    const std::string text = CleanMessageText(call.Param("admsg"));
    if (Blank(text))
        return "Empty message";
    state.messages.Save(site, loginId, to->loginId, text);
    NoticeNewMessage(state, to->loginId);
    return "Message sent to " + to->loginId + ".";
}

// The owner of an open chat hands it to another operator of the site, whose console
// accepts it on the transfer notice. The chat is the receiver's at once, so the
// previous owner's polls and end of chat no longer reach it.
std::string TransferChat(const EndpointCall& call, ServiceState& state)
{
    if (call.Param("action") != "trans")
        return {};
    const std::string sessionId = call.Param("csesid");
    const std::string site = call.Param("sid");
    const std::string from = call.Param("adminid");
    Chat* chat = state.visitors.FindChat(sessionId);
    Visitor* visitor = state.visitors.Find(sessionId);
    if (chat == nullptr || chat->closed || visitor == nullptr || visitor->status != VisitorStatus::Chatting)
        return "Transfer refused: the chat has ended";
    if (chat->owner != from || chat->site != site)
        return "Transfer refused: not your chat";
    const Account* to = state.accounts.FindAnyCase(site, call.Param("adid"));
    if (to == nullptr || to->kind == AccountKind::Deactivated)
        return "Transfer refused: no such operator";
    if (to->loginId == from)
        return "Transfer refused: the chat is already yours";

    state.visitors.Transfer(*visitor, to->loginId);
    chat->owner = to->loginId;
    chat->operatorTyped.reset();
    AddChatLine(*chat, ChatSpeaker::Notice, {}, "notice: chat transferred to " + to->loginId);
    state.notices[to->loginId].push_back(JoinFields({std::string(kTransferNotice), sessionId}));
    return "true";
}

// The operator goes off line; logging in again works as before.
std::string Logout(const EndpointCall& call, ServiceState& state)
{
    state.accounts.Logout(call.Param("sid"), call.Param("adminid"));
    return "true";
}

} // namespace

void RegisterOperatorEndpoints(CDemoService& service)
{
    service.AddEndpoint("w-admsg", OperatorMessages);
    service.AddEndpoint("w-ctransf", TransferChat);
    service.AddEndpoint("w-adminout", Logout);
}

} // namespace kivora::demo
