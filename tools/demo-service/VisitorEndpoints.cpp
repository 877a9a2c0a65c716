// The visitor side of the service: presence, the visitor list, a visitor's details,
// invitations and actions on visitors, and accepting a chat.

#include "DemoService.h"
#include "Endpoints.h"
#include "Records.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kivora::demo {

namespace {

constexpr const char* kNoVisitors = "No Users Online";
constexpr const char* kChatRequestSound = "sound1";

bool Deactivated(ServiceState& state, std::string_view site, std::string_view loginId)
{
    const Account* account = state.accounts.Find(site, loginId);
    return account != nullptr && account->kind == AccountKind::Deactivated;
}

bool ListedTo(const Visitor& visitor, std::string_view site, std::string_view loginId)
{
    return visitor.site == site && !visitor.hiddenFrom.contains(loginId);
}

// lgon and lgof set the operator's on-line flag; the reply names the new state even
// for an unknown account, whose flag there is none to set.
std::string Presence(const EndpointCall& call, ServiceState& state)
{
    const std::string action = call.Param("action");
    if (action != "lgon" && action != "lgof")
        return {};
    const bool online = action == "lgon";
    Account* account = state.accounts.Find(call.Param("sid"), call.Param("adminid"));
    if (account != nullptr && account->kind != AccountKind::Deactivated)
        account->online = online;
    return online ? "online" : "offline";
}

std::string OperatorsOnline(const ServiceState& state, std::string_view site)
{
    std::vector<std::string> online;
    for (const auto& account : state.accounts.All()) {
        if (account.site == site && account.online)
            online.push_back(account.loginId);
    }
    return JoinFields(online);
}

// Sounds when the operator can see a chat request newer than any it has sounded for.
std::string ChatRequestSound(ServiceState& state, std::string_view site, const std::string& loginId)
{
    std::uint64_t newest = 0;
    for (const auto& visitor : state.visitors.All()) {
        if (visitor.status == VisitorStatus::ChatRequest && ListedTo(visitor, site, loginId))
            newest = std::max(newest, visitor.chatRequestSerial);
    }
    std::uint64_t& heard = state.heardChatRequest[loginId];
    if (newest <= heard)
        return {};
    heard = newest;
    return kChatRequestSound;
}

std::string TakeNotice(ServiceState& state, const std::string& loginId)
{
    const auto found = state.notices.find(loginId);
    if (found == state.notices.end() || found->second.empty())
        return {};
    std::string notice = std::move(found->second.front());
    found->second.pop_front();
    return notice;
}

// ROWS<blk>OPERATORS<blk>SOUND<blk>NOTICE, or "logout" for a deactivated account.
std::string VisitorList(const EndpointCall& call, ServiceState& state)
{
    const std::string site = call.Param("nsid");
    const std::string loginId = call.Param("nadminid");
    if (Deactivated(state, site, loginId))
        return "logout";

    const SimTime now = state.clock.Now();
    state.visitors.ExpireProactive(now);
    std::vector<std::string> rows;
    for (const auto& visitor : state.visitors.All()) {
        if (ListedTo(visitor, site, loginId))
            rows.push_back(FormatVisitorRow(visitor, now));
    }
    return Join({rows.empty() ? std::string(kNoVisitors) : Join(rows, kLineSeparator), OperatorsOnline(state, site),
                 ChatRequestSound(state, site, loginId), TakeNotice(state, loginId)},
                kBlockSeparator);
}

std::string Details(const EndpointCall& call, ServiceState& state)
{
    const Visitor* visitor = state.visitors.Find(call.Param("csesid"));
    return visitor ? FormatVisitorDetails(*visitor, state.clock.WallNow()) : std::string{};
}

std::string Proactive(const EndpointCall& call, ServiceState& state)
{
    if (Visitor* visitor = state.visitors.Find(call.Param("csesid")))
        state.visitors.SendProactive(*visitor, call.Param("popwin"), call.Param("ppurl"), state.clock.Now());
    return "true";
}

// Only its owner ends an open chat: after a transfer, the console that handed the chat
// on may still send its end of chat.
bool MayEndChat(const ServiceState& state, const Visitor& visitor, std::string_view loginId)
{
    const Chat* chat = state.visitors.FindChat(visitor.sessionId);
    return chat == nullptr || chat->closed || chat->owner == loginId || visitor.status != VisitorStatus::Chatting;
}

// Words the console sends about one visitor. An unknown visitor still answers "true":
// it has left meanwhile, which the next list reply shows.
std::string Action(const EndpointCall& call, ServiceState& state)
{
    const std::string action = call.Param("action");
    const bool known = action == "remove" || action == "refuse" || action == "busy" || action == "cinvt" ||
                       action == "endchatcl";
    if (!known)
        return {};
    Visitor* visitor = state.visitors.Find(call.Param("csesid"));
    if (visitor == nullptr)
        return "true";
    if (action == "remove")
        visitor->hiddenFrom.insert(call.Param("adminid"));
    else if (action == "refuse" || action == "busy")
        state.visitors.RefuseChat(*visitor);
    else if (action == "cinvt")
        state.visitors.Invite(*visitor);
    else if (MayEndChat(state, *visitor, call.Param("adminid")))
        state.visitors.EndChat(*visitor);
    return "true";
}

// true<fld>NAME<fld>EMAIL<fld>HIST<fld>SESSION, or a refusal text in the first field.
std::string Accept(const EndpointCall& call, ServiceState& state)
{
    const std::string sessionId = call.Param("csesid");
    const AcceptResult result = state.visitors.Accept(sessionId, call.Param("adminid"));
    switch (result.outcome) {
    case AcceptOutcome::Granted: {
        const Visitor& visitor = *state.visitors.Find(sessionId);
        const bool history = visitor.previousVisits > 0 && visitor.chattedBefore;
        return JoinFields({"true", visitor.name, visitor.email, history ? "Y" : "N", sessionId});
    }
    case AcceptOutcome::TakenByOther:
        return JoinFields({"Chat already accepted by " + result.owner, "", "", "", sessionId});
    case AcceptOutcome::NotRequested:
        return JoinFields({"Visitor is no longer requesting a chat", "", "", "", sessionId});
    case AcceptOutcome::Gone:
        break;
    }
    return JoinFields({"Visitor has left the site", "", "", "", sessionId});
}

} // namespace

void RegisterVisitorEndpoints(CDemoService& service)
{
    service.AddEndpoint("w-mrefresh", Presence);
    service.AddEndpoint("w-allonlineu", VisitorList);
    service.AddEndpoint("w-lmudets", Details);
    service.AddEndpoint("w-prop", Proactive);
    service.AddEndpoint("w-action", Action);
    service.AddEndpoint("w-adc", Accept);
}

} // namespace kivora::demo
