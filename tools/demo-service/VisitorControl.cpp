#include "VisitorControl.h"

#include "Records.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>
#include <utility>

namespace kivora::demo {

namespace {

constexpr std::string_view kTransferNotice = "chat_trans<fld>";

ControlReply Refused(std::string why)
{
    return {400, why + '\n'};
}

ControlReply NoSuchVisitor()
{
    return {404, "no such visitor\n"};
}

// Reads an optional whole-number parameter within [low, high]; false on bad text.
bool ReadNumber(const QueryParams& params, std::string_view name, int low, int high, int& value)
{
    const std::string* text = FindParam(params, name);
    if (text == nullptr)
        return true;
    int parsed = 0;
    if (!ParseWhole(*text, parsed) || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

void ReadText(const QueryParams& params, std::string_view name, std::string& value)
{
    if (const std::string* text = FindParam(params, name))
        value = *text;
}

ControlReply AddVisitor(const QueryParams& params, ServiceState& state)
{
    Visitor visitor;
    visitor.address = "192.0.2.1";
    ReadText(params, "ip", visitor.address);
    ReadText(params, "page", visitor.page);
    ReadText(params, "site", visitor.site);
    ReadText(params, "name", visitor.name);
    ReadText(params, "email", visitor.email);

    VisitorProfile& profile = visitor.profile;
    ReadText(params, "browser", profile.browser);
    ReadText(params, "os", profile.os);
    ReadText(params, "referrer", profile.referrer);
    ReadText(params, "colours", profile.colours);
    ReadText(params, "java", profile.java);
    ReadText(params, "language", profile.language);
    ReadText(params, "country", profile.country);
    ReadText(params, "region", profile.region);
    ReadText(params, "city", profile.city);
    if (!ReadNumber(params, "gmt", -14 * 60, 14 * 60, profile.utcOffsetMinutes))
        return Refused("gmt must be minutes east of GMT, -840 to 840");

    if (!ReadNumber(params, "visits", 0, std::numeric_limits<int>::max(), visitor.previousVisits))
        return Refused("visits must be a whole number");
    int chatted = visitor.previousVisits > 0 ? 1 : 0;
    if (!ReadNumber(params, "chatted", 0, 1, chatted))
        return Refused("chatted must be 0 or 1");
    visitor.chattedBefore = chatted == 1;

    int seconds = 0;
    if (!ReadNumber(params, "seconds", 0, std::numeric_limits<int>::max(), seconds))
        return Refused("seconds must be a whole number");
    visitor.arrived = state.clock.Now() - std::chrono::seconds(seconds);

    if (const std::string* status = FindParam(params, "status")) {
        if (!StatusFromText(*status, visitor.status))
            return Refused("status must be In Site, Chat Request, Chatting or Invited");
    }
    std::string owner = "admin";
    ReadText(params, "operator", owner);

    Visitor& added = state.visitors.Add(std::move(visitor));
    if (added.status == VisitorStatus::Chatting)
        state.visitors.StartChat(added, owner);
    return {200, added.sessionId};
}

// The visitor's own text that /_sim/visitor/set writes, by parameter name.
struct TextField {
    std::string_view name;
    std::string& (*of)(Visitor&);
};

constexpr TextField kTextFields[] = {
    {"ip", [](Visitor& v) -> std::string& { return v.address; }},
    {"page", [](Visitor& v) -> std::string& { return v.page; }},
    {"name", [](Visitor& v) -> std::string& { return v.name; }},
    {"email", [](Visitor& v) -> std::string& { return v.email; }},
    {"browser", [](Visitor& v) -> std::string& { return v.profile.browser; }},
    {"os", [](Visitor& v) -> std::string& { return v.profile.os; }},
    {"referrer", [](Visitor& v) -> std::string& { return v.profile.referrer; }},
    {"colours", [](Visitor& v) -> std::string& { return v.profile.colours; }},
    {"java", [](Visitor& v) -> std::string& { return v.profile.java; }},
    {"language", [](Visitor& v) -> std::string& { return v.profile.language; }},
    {"country", [](Visitor& v) -> std::string& { return v.profile.country; }},
    {"region", [](Visitor& v) -> std::string& { return v.profile.region; }},
    {"city", [](Visitor& v) -> std::string& { return v.profile.city; }},
};

// Derived text that /_sim/visitor/set replaces and restore= puts back, by parameter name.
constexpr std::pair<std::string_view, ShownField> kShownFields[] = {
    {"visits", ShownField::Visits}, {"status", ShownField::Status}, {"duration", ShownField::TimeOnSite},
    {"delete", ShownField::Delete}, {"busy", ShownField::Busy},     {"invite", ShownField::Invite},
    {"propop", ShownField::ProPop}, {"url", ShownField::PageUrl},   {"time", ShownField::LocalTime},
};

const TextField* FindTextField(std::string_view name)
{
    const auto found = std::find_if(std::begin(kTextFields), std::end(kTextFields),
                                    [&](const TextField& field) { return field.name == name; });
    return found == std::end(kTextFields) ? nullptr : found;
}

std::optional<std::string>* FindShown(Visitor& visitor, std::string_view name)
{
    for (const auto& [fieldName, field] : kShownFields) {
        if (fieldName == name)
            return &visitor.shown[static_cast<std::size_t>(field)];
    }
    return nullptr;
}

// csesid=ID&FIELD=VALUE...: the values' bytes go out as they are, in every reply that
// carries the field. restore=FIELD drops a replacement of derived text again. Nothing
// changes when any parameter is refused.
ControlReply SetVisitor(const QueryParams& params, ServiceState& state)
{
    const std::string* sessionId = FindParam(params, "csesid");
    Visitor* visitor = sessionId ? state.visitors.Find(*sessionId) : nullptr;
    if (visitor == nullptr)
        return NoSuchVisitor();

    Visitor changed = *visitor;
    for (const auto& [name, value] : params) {
        if (name == "csesid")
            continue;
        if (name == "restore") {
            std::optional<std::string>* shown = FindShown(changed, value);
            if (shown == nullptr)
                return Refused("restore takes visits, status, duration, delete, busy, invite, propop, url or time");
            shown->reset();
        } else if (const TextField* field = FindTextField(name)) {
            field->of(changed) = value;
        } else if (std::optional<std::string>* shown = FindShown(changed, name)) {
            *shown = value;
        } else {
            return Refused("unknown field " + name);
        }
    }
    *visitor = std::move(changed);
    // A chat copied these when it began; it takes the set ones too, so that the chat pages,
    // and the name-and-e-mail reply once the visitor has left, show them as well.
    if (Chat* chat = state.visitors.FindChat(visitor->sessionId)) {
        chat->address = visitor->address;
        chat->visitorName = visitor->name;
        chat->visitorEmail = visitor->email;
    }
    return {};
}

std::string ListVisitors(const ServiceState& state)
{
    std::string out;
    for (const auto& visitor : state.visitors.All()) {
        out += visitor.sessionId + ' ' + visitor.address + ' ' + StatusText(visitor.status) + ' ' + visitor.page;
        if (visitor.proactivePending)
            out += " ppc";
        out += '\n';
    }
    return out;
}

// A transfer notice also hands the chat to that operator, so that its accept succeeds.
ControlReply QueueNotice(const QueryParams& params, ServiceState& state)
{
    const std::string* loginId = FindParam(params, "operator");
    const std::string* text = FindParam(params, "text");
    if (loginId == nullptr || loginId->empty() || text == nullptr || text->empty())
        return Refused("notice needs operator=LOGINID and text=ESCAPED");
    if (text->starts_with(kTransferNotice)) {
        if (Visitor* visitor = state.visitors.Find(std::string_view(*text).substr(kTransferNotice.size())))
            state.visitors.Transfer(*visitor, *loginId);
    }
    state.notices[*loginId].push_back(*text);
    return {};
}

ControlReply Deactivate(const QueryParams& params, ServiceState& state)
{
    const std::string* loginId = FindParam(params, "operator");
    if (loginId == nullptr || !state.accounts.Deactivate(*loginId))
        return {404, "no such operator\n"};
    return {};
}

ControlReply ExpirePresence(const QueryParams& params, ServiceState& state)
{
    const std::string* loginId = FindParam(params, "operator");
    if (loginId == nullptr || !state.accounts.ExpirePresence(*loginId))
        return {404, "no such operator\n"};
    return {};
}

} // namespace

std::optional<ControlReply> HandleVisitorControl(std::string_view command, const QueryParams& params,
                                                 ServiceState& state)
{
    if (command == "visitor/add")
        return AddVisitor(params, state);
    if (command == "visitor/set")
        return SetVisitor(params, state);
    if (command == "visitors")
        return ControlReply{200, ListVisitors(state)};
    if (command == "notice")
        return QueueNotice(params, state);
    if (command == "deactivate")
        return Deactivate(params, state);
    if (command == "presence/expire")
        return ExpirePresence(params, state);

    if (command != "visitor/request-chat" && command != "visitor/remove")
        return std::nullopt;
    const std::string* sessionId = FindParam(params, "csesid");
    Visitor* visitor = sessionId ? state.visitors.Find(*sessionId) : nullptr;
    if (visitor == nullptr)
        return NoSuchVisitor();
    if (command == "visitor/remove") {
        state.visitors.Leave(*sessionId);
    } else {
        if (visitor->status == VisitorStatus::Chatting)
            return ControlReply{409, "the visitor is chatting\n"};
        state.visitors.RequestChat(*visitor);
    }
    return ControlReply{};
}

} // namespace kivora::demo
