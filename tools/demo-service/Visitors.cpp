#include "Visitors.h"

#include "Chats.h"
#include "Records.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace kivora::demo {

namespace {

constexpr std::pair<VisitorStatus, const char*> kStatusTexts[] = {
    {VisitorStatus::InSite, "In Site"},
    {VisitorStatus::ChatRequest, "Chat Request"},
    {VisitorStatus::Chatting, "Chatting"},
    {VisitorStatus::Invited, "Invited"},
};

std::uint64_t Mix(std::uint64_t z)
{
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::string PageAddress(const Visitor& visitor)
{
    return "http://www." + visitor.site + ".example" + visitor.page;
}

// The text a test set in place of `derived`, or `derived` itself.
std::string Shown(const Visitor& visitor, ShownField field, std::string derived)
{
    const auto& replaced = visitor.shown[static_cast<std::size_t>(field)];
    return replaced ? *replaced : std::move(derived);
}

} // namespace

const char* StatusText(VisitorStatus status)
{
    for (const auto& [value, text] : kStatusTexts) {
        if (value == status)
            return text;
    }
    return "";
}

bool StatusFromText(std::string_view text, VisitorStatus& status)
{
    for (const auto& [value, name] : kStatusTexts) {
        if (text == name) {
            status = value;
            return true;
        }
    }
    return false;
}

Visitor& CVisitors::Add(Visitor visitor)
{
    visitor.sessionId = MakeSessionId(nextNumber_++);
    if (visitor.status == VisitorStatus::ChatRequest)
        visitor.chatRequestSerial = ++requestSerial_;
    visitors_.push_back(std::move(visitor));
    return visitors_.back();
}

Visitor* CVisitors::Find(std::string_view sessionId)
{
    const auto found = std::find_if(visitors_.begin(), visitors_.end(),
                                    [&](const Visitor& visitor) { return visitor.sessionId == sessionId; });
    return found == visitors_.end() ? nullptr : &*found;
}

bool CVisitors::Leave(std::string_view sessionId)
{
    const auto found = std::find_if(visitors_.begin(), visitors_.end(),
                                    [&](const Visitor& visitor) { return visitor.sessionId == sessionId; });
    if (found == visitors_.end())
        return false;
    if (Chat* chat = FindChat(sessionId))
        chat->closed = true;
    visitors_.erase(found);
    return true;
}

void CVisitors::RequestChat(Visitor& visitor)
{
    visitor.status = VisitorStatus::ChatRequest;
    visitor.chatRequestSerial = ++requestSerial_;
    visitor.proactivePending = false;
    visitor.transferredTo.clear();
}

void CVisitors::RefuseChat(Visitor& visitor)
{
    if (visitor.status != VisitorStatus::ChatRequest)
        return;
    visitor.status = VisitorStatus::InSite;
    visitor.transferredTo.clear();
}

void CVisitors::Invite(Visitor& visitor)
{
    if (visitor.status == VisitorStatus::InSite)
        visitor.status = VisitorStatus::Invited;
}

void CVisitors::SendProactive(Visitor& visitor, std::string popWindow, std::string url, SimTime now)
{
    if (visitor.status != VisitorStatus::InSite && visitor.status != VisitorStatus::Invited)
        return;
    visitor.proactivePending = true;
    visitor.proactiveSent = now;
    visitor.proactivePopWindow = std::move(popWindow);
    visitor.proactiveUrl = std::move(url);
}

void CVisitors::ExpireProactive(SimTime now)
{
    for (auto& visitor : visitors_) {
        if (visitor.proactivePending && now - visitor.proactiveSent >= kProactiveLifetime)
            visitor.proactivePending = false;
    }
}

void CVisitors::Transfer(Visitor& visitor, std::string operatorId)
{
    visitor.transferredTo = std::move(operatorId);
}

AcceptResult CVisitors::Accept(std::string_view sessionId, std::string_view operatorId)
{
    Visitor* visitor = Find(sessionId);
    if (visitor == nullptr)
        return {AcceptOutcome::Gone, {}};
    Chat* chat = FindChat(sessionId);
    const bool open = chat != nullptr && !chat->closed;
    const bool handedOver = !visitor->transferredTo.empty() && visitor->transferredTo == operatorId;

    if (visitor->status == VisitorStatus::Chatting && open && !handedOver) {
        // Accepting one's own chat again (a retried request) is granted once more.
        if (chat->owner == operatorId)
            return {AcceptOutcome::Granted, {}};
        return {AcceptOutcome::TakenByOther, chat->owner};
    }
    if (visitor->status != VisitorStatus::ChatRequest && !handedOver)
        return {AcceptOutcome::NotRequested, {}};

    if (visitor->status == VisitorStatus::Chatting && open) {
        chat->owner = std::string(operatorId); // a transfer keeps the lines said so far
    } else {
        StartChat(*visitor, std::string(operatorId));
        AddChatLine(*FindChat(sessionId), ChatSpeaker::Notice, {}, kJoinNotice);
    }
    visitor->status = VisitorStatus::Chatting;
    visitor->transferredTo.clear();
    return {AcceptOutcome::Granted, {}};
}

void CVisitors::EndChat(Visitor& visitor)
{
    if (Chat* chat = FindChat(visitor.sessionId))
        chat->closed = true;
    if (visitor.status == VisitorStatus::Chatting)
        visitor.status = VisitorStatus::InSite;
    visitor.transferredTo.clear();
}

void CVisitors::StartChat(Visitor& visitor, std::string operatorId)
{
    visitor.status = VisitorStatus::Chatting;
    visitor.proactivePending = false;
    Chat chat;
    chat.owner = std::move(operatorId);
    chat.site = visitor.site;
    chat.address = visitor.address;
    chat.visitorName = visitor.name;
    chat.visitorEmail = visitor.email;
    chats_[visitor.sessionId] = std::move(chat);
}

const Chat* CVisitors::FindChat(std::string_view sessionId) const
{
    const auto found = chats_.find(sessionId);
    return found == chats_.end() ? nullptr : &found->second;
}

Chat* CVisitors::FindChat(std::string_view sessionId)
{
    const auto found = chats_.find(sessionId);
    return found == chats_.end() ? nullptr : &found->second;
}

std::string MakeSessionId(std::uint64_t number)
{
    // Mix is a bijection, so the last sixteen digits alone keep ids distinct; the first
    // two only make the ids look less alike.
    char text[19];
    std::snprintf(text, sizeof(text), "%02x%016llx", static_cast<unsigned>(Mix(~number) >> 56),
                  static_cast<unsigned long long>(Mix(number)));
    return text;
}

std::string FormatTimeOnSite(std::chrono::seconds elapsed)
{
    const long long total = std::max<long long>(elapsed.count(), 0);
    char text[32];
    std::snprintf(text, sizeof(text), "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

std::string FormatVisitorRow(const Visitor& visitor, SimTime now)
{
    const VisitorStatus status = visitor.status;
    const bool browsing = status == VisitorStatus::InSite;
    return JoinFields({
        visitor.sessionId,
        visitor.address,
        Shown(visitor, ShownField::Visits, std::to_string(visitor.previousVisits)),
        Shown(visitor, ShownField::Status, StatusText(status)),
        Shown(visitor, ShownField::TimeOnSite,
              FormatTimeOnSite(std::chrono::duration_cast<std::chrono::seconds>(now - visitor.arrived))),
        Shown(visitor, ShownField::Delete, status != VisitorStatus::Chatting ? "Delete" : ""),
        Shown(visitor, ShownField::Busy, status == VisitorStatus::ChatRequest ? "Busy" : ""),
        Shown(visitor, ShownField::Invite, browsing ? "Invite" : ""),
        Shown(visitor, ShownField::ProPop, browsing || status == VisitorStatus::Invited ? "Pro-Pop" : ""),
        visitor.page,
        visitor.proactivePending ? "ppc" : "",
    });
}

std::string FormatVisitorTime(int utcOffsetMinutes, std::chrono::system_clock::time_point wallNow)
{
    const std::time_t local = std::chrono::system_clock::to_time_t(wallNow) + std::time_t{utcOffsetMinutes} * 60;
    std::tm parts{};
    gmtime_r(&local, &parts);
    const int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    char text[48];
    std::snprintf(text, sizeof(text), "GMT%c%02d:%02d %02d:%02d", utcOffsetMinutes < 0 ? '-' : '+', offset / 60,
                  offset % 60, parts.tm_hour, parts.tm_min);
    return text;
}

std::string FormatVisitorDetails(const Visitor& visitor, std::chrono::system_clock::time_point wallNow)
{
    const VisitorProfile& profile = visitor.profile;
    return JoinFields({
        Shown(visitor, ShownField::PageUrl, PageAddress(visitor)),
        profile.browser,
        profile.os,
        profile.referrer,
        profile.colours,
        profile.java,
        Shown(visitor, ShownField::LocalTime, FormatVisitorTime(profile.utcOffsetMinutes, wallNow)),
        profile.language,
        profile.country,
        profile.region,
        profile.city,
    });
}

} // namespace kivora::demo
