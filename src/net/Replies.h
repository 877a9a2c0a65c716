#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::net {

// The eleven details of a visitor, in the order of the panel's labels.
enum DetailIndex : int {
    kDetailUrl,
    kDetailBrowser,
    kDetailOs,
    kDetailReferrer,
    kDetailColors,
    kDetailJava,
    kDetailCountry,
    kDetailRegion,
    kDetailCity,
    kDetailTime,
    kDetailLanguage,
    kDetailCount
};
using VisitorDetails = std::array<std::string, kDetailCount>;

// The details reply: eleven fields in the service's order, whose last five differ
// from the label order. Nothing unless the reply has exactly eleven fields.
std::optional<VisitorDetails> ParseDetailsReply(std::string_view reply);

// One visitor row of the list, in the order of the row's fields.
enum RowField : int {
    kRowSession,
    kRowAddress,
    kRowVisits,
    kRowStatus,
    kRowDuration,
    kRowDeleteAllowed,
    kRowBusyAllowed,
    kRowInviteAllowed,
    kRowProPopAllowed,
    kRowPage,
    kRowProactiveMarker,
    kRowFieldCount
};
using VisitorRow = std::array<std::string, kRowFieldCount>;

// The visitor-list reply: rows, operators on line, a sound name and a notice.
struct VisitorListReply {
    bool fourBlocks = false;     // false: all blocks are taken as empty
    bool logout = false;         // the whole reply was "logout"
    bool noUsersOnline = false;  // the rows block was "No Users Online"
    std::vector<VisitorRow> rows; // rows of other than eleven fields are skipped
    std::vector<std::string> operators;
    std::string sound;
    std::string notice;
};
VisitorListReply ParseVisitorListReply(std::string_view reply);

// The accept-chat reply: five fields, or nothing.
struct AcceptReply {
    std::string result; // "true" when granted, else a message for the operator
    std::string name;
    std::string email;
    std::string history; // "Y": open the visitor's earlier chats in the browser
    std::string sessionId;
};
std::optional<AcceptReply> ParseAcceptReply(std::string_view reply);

// A notice of the visitor-list reply.
struct Notice {
    enum class Kind { None, Message, ChatTransfer } kind = Kind::None;
    std::string sessionId; // of a transferred chat; empty when the notice had none
};
Notice ParseNotice(std::string_view notice);

} // namespace kivora::net
