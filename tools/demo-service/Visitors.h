#pragma once

// The visitors browsing the customers' sites, their chat requests and invitations, and
// the chats operators have accepted. Plain state: callers hold the service's mutex.

#include "Clock.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::demo {

enum class VisitorStatus {
    InSite,      // browsing
    ChatRequest, // asked for a chat that nobody has accepted yet
    Chatting,
    Invited,     // invited to chat by an operator
};

// The status as the visitor list shows it, e.g. "Chat Request".
const char* StatusText(VisitorStatus status);
// The reverse; false for any other text.
bool StatusFromText(std::string_view text, VisitorStatus& status);

// What the visitor's browser tells about it, shown in the details reply.
struct VisitorProfile {
    std::string browser = "Firefox 115.0";
    std::string os = "Windows 10";
    std::string referrer;
    std::string colours = "24 bit";
    std::string java = "No";
    int utcOffsetMinutes = 0;
    std::string language = "en-GB";
    std::string country = "United Kingdom";
    std::string region = "England";
    std::string city = "London";
};

// Text the service otherwise derives for a visitor's row and details, which a test may
// replace with bytes of its own to see how the console copes with them.
enum class ShownField : std::size_t {
    Visits,     // previous visits in the row
    Status,     // the row's status text
    TimeOnSite, // the row's "H:MM:SS"
    Delete,     // the row's four action words
    Busy,
    Invite,
    ProPop,
    PageUrl,   // the details reply's page address
    LocalTime, // the details reply's "GMT+01:00 14:05"
};
inline constexpr std::size_t kShownFieldCount = 9;

struct Visitor {
    std::string sessionId; // assigned by CVisitors::Add
    std::string site = "site1";
    std::string address;
    int previousVisits = 0;
    bool chattedBefore = false; // on an earlier visit
    VisitorStatus status = VisitorStatus::InSite;
    SimTime arrived{};
    std::string page = "/";
    std::string name; // given with a chat request, or not at all
    std::string email;
    VisitorProfile profile;
    // Serial of the visitor's latest chat request; serials grow across all visitors.
    std::uint64_t chatRequestSerial = 0;
    // Operators who removed the visitor from their list.
    std::set<std::string, std::less<>> hiddenFrom;
    bool proactivePending = false;
    SimTime proactiveSent{};
    std::string proactivePopWindow; // "R" or "N" as the operator sent it
    std::string proactiveUrl;
    // The operator a chat (or chat request) was handed to, who may accept it.
    std::string transferredTo;
    // Replacements for derived text, by ShownField; unset ones are derived as usual.
    std::array<std::optional<std::string>, kShownFieldCount> shown;
};

enum class ChatSpeaker {
    Visitor,
    Operator,
    Notice, // said by the service itself, shown without a name
};

// One line of a chat, numbered from 1 in the order said.
struct ChatLine {
    int number = 0;
    ChatSpeaker speaker = ChatSpeaker::Notice;
    std::string author; // the visitor's name as shown, or the operator's login id
    std::string text;
};

struct Chat {
    std::string owner; // the operator who accepted it
    std::vector<ChatLine> lines;
    bool closed = false;
    // The visitor as it was when the chat began; the chat outlives a visitor who leaves.
    std::string site;
    std::string address;
    std::string visitorName;
    std::string visitorEmail;
    // When either side last typed, for the typing indicators.
    std::optional<SimTime> visitorTyped;
    std::optional<SimTime> operatorTyped;
};

enum class AcceptOutcome {
    Granted,
    TakenByOther, // another operator owns the chat
    NotRequested, // the visitor is not asking for a chat
    Gone,         // no such visitor
};

struct AcceptResult {
    AcceptOutcome outcome = AcceptOutcome::Gone;
    std::string owner; // for TakenByOther
};

// How long an unanswered proactive invitation stays pending.
inline constexpr std::chrono::seconds kProactiveLifetime{30};

class CVisitors final {
public:
    // Gives the visitor a new session id and lists it last; returns the stored visitor.
    Visitor& Add(Visitor visitor);
    Visitor* Find(std::string_view sessionId);
    const std::vector<Visitor>& All() const { return visitors_; }
    // The visitor leaves the site; a chat with it is closed. False when unknown.
    bool Leave(std::string_view sessionId);

    // The visitor asks for a chat; a pending proactive invitation is used up by it.
    void RequestChat(Visitor& visitor);
    // A chat request refused (or answered "busy"): the visitor browses on.
    void RefuseChat(Visitor& visitor);
    // Only a browsing (or already invited) visitor can be invited.
    void Invite(Visitor& visitor);
    // Only a browsing or invited visitor can get a proactive invitation.
    void SendProactive(Visitor& visitor, std::string popWindow, std::string url, SimTime now);
    // Clears proactive invitations older than kProactiveLifetime.
    void ExpireProactive(SimTime now);
    // Hands a chat or chat request to another operator, who may then accept it.
    void Transfer(Visitor& visitor, std::string operatorId);
    // The first accept of a chat starts it with the join notice; accepting a transferred
    // chat keeps the lines said so far.
    AcceptResult Accept(std::string_view sessionId, std::string_view operatorId);
    // The chat is over and the visitor browses on.
    void EndChat(Visitor& visitor);
    // Starts a chat owned by `operatorId` straight away, for visitors set up as chatting.
    void StartChat(Visitor& visitor, std::string operatorId);

    const Chat* FindChat(std::string_view sessionId) const;
    Chat* FindChat(std::string_view sessionId);
    // Every chat of the run, ended ones too, with the visitor's session id.
    void ForEachChat(const std::function<void(const std::string&, const Chat&)>& visit) const
    {
        for (const auto& [sessionId, chat] : chats_)
            visit(sessionId, chat);
    }

    // Session ids come from a running number; a reset carries it over so that ids are
    // never reused within one run of the service.
    std::uint64_t NextNumber() const { return nextNumber_; }
    void ContinueNumbering(std::uint64_t next) { nextNumber_ = next; }

private:
    std::vector<Visitor> visitors_; // in order of arrival
    std::map<std::string, Chat, std::less<>> chats_;
    std::uint64_t nextNumber_ = 1;
    std::uint64_t requestSerial_ = 0;
};

// Eighteen lower-case hex digits; distinct numbers give distinct ids.
std::string MakeSessionId(std::uint64_t number);

// "H:MM:SS" with the hours unpadded.
std::string FormatTimeOnSite(std::chrono::seconds elapsed);

// The eleven fields of the visitor's row in the visitor list, joined by "<fld>".
std::string FormatVisitorRow(const Visitor& visitor, SimTime now);

// The eleven fields of the details reply, joined by "<fld>".
std::string FormatVisitorDetails(const Visitor& visitor, std::chrono::system_clock::time_point wallNow);

// "GMT+01:00 14:05": the visitor's offset from GMT and its local time of day.
std::string FormatVisitorTime(int utcOffsetMinutes, std::chrono::system_clock::time_point wallNow);

} // namespace kivora::demo
