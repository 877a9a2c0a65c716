#pragma once

// The service's reply layouts, each read by a pure function that turns the reply
// text into a plain value; the windows only apply the value. Nothing here uses Qt,
// so every parser also builds on its own (the fuzz targets in fuzz/ do).
//
// Every parser takes any byte string: a reply that does not have the expected
// layout gives the "nothing" value described with it, never an error.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::net {

// The service parameters reply: four fields, the two periods in seconds, the host
// and the path word.
struct ServiceParams {
    int refreshIntervalMs = 0;
    int chatPollIntervalMs = 0;
    std::string host;
    std::string pathPrefix;
};
std::optional<ServiceParams> ParseParamsReply(std::string_view reply);

// The login reply: outcome, role and the customer site's web address.
struct LoginReply {
    std::string outcome;         // empty unless the reply had exactly three fields
    std::optional<bool> isAdmin; // set only when the reply had exactly three fields
    std::string siteAddress;
};
LoginReply ParseLoginReply(std::string_view reply);

// Reads a decimal number the way the service's numbers have always been read:
// leading blanks and a sign allowed, stops at the first non-digit, no digits is 0.
// Saturates instead of overflowing.
long long ReadLeadingInt(std::string_view text);

// The presence reply: true for "online", false for "offline", nothing for anything
// else (the switch then stays as it was).
std::optional<bool> ParsePresenceReply(std::string_view reply);

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
// A row made by hand, field by field.
using VisitorRow = std::array<std::string, kRowFieldCount>;

// One visitor row as read from a reply: its fields are views into the reply's
// text, which the row keeps alive. The list is rebuilt from every refresh, and
// ten thousand rows of eleven strings each would cost more to make and free than
// the rest of the refresh together; read in place they cost one copy of the reply.
class CVisitorRow {
public:
    std::string_view operator[](int field) const
    {
        return std::string_view(*text).substr(start[static_cast<std::size_t>(field)],
                                              size[static_cast<std::size_t>(field)]);
    }
    const std::shared_ptr<const std::string>& Text() const { return text; }
    std::uint32_t Start(int field) const { return start[static_cast<std::size_t>(field)]; }
    std::uint32_t Size(int field) const { return size[static_cast<std::size_t>(field)]; }

private:
    friend std::vector<CVisitorRow> ReadVisitorRows(const std::shared_ptr<const std::string>& text,
                                                    std::size_t* rowsBlockSize);
    std::shared_ptr<const std::string> text;
    std::array<std::uint32_t, kRowFieldCount> start{};
    std::array<std::uint32_t, kRowFieldCount> size{};
};

// The rows of the rows block of a list reply (its text up to the first "<blk>",
// or all of it), read in one pass and in place: lines cut by "<ln>", fields by
// "<fld>", lines of other than eleven fields skipped. rowsBlockSize, when given,
// gets the length of the rows block.
std::vector<CVisitorRow> ReadVisitorRows(const std::shared_ptr<const std::string>& text,
                                         std::size_t* rowsBlockSize = nullptr);

// The visitor-list reply: rows, operators on line, a sound name and a notice.
struct VisitorListReply {
    bool fourBlocks = false;     // false: all blocks are taken as empty
    bool logout = false;         // the whole reply was "logout"
    bool noUsersOnline = false;  // the rows block was "No Users Online"
    std::vector<CVisitorRow> rows; // read in place; rows of other than eleven fields are skipped
    std::vector<std::string> operators;
    std::string sound;
    std::string notice;
};
VisitorListReply ParseVisitorListReply(std::string_view reply);

// Whether a row's time on site ("H:MM:SS ...") is at most eight seconds, read as
// the digits with the colons taken out. A time without digits counts as new.
bool IsNewVisitorTime(std::string_view timeOnSite);

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

// The line the chat window shows when the visitor has closed the chat.
inline constexpr std::string_view kChatClosedNotice = "Notice: Chat Closed by User.";

// The chat poll reply: LINES<kvr_blk>NEXT<kvr_blk>X<kvr_blk>SOUND, lines cut by
// "<kvr_ln>". A reply of other than four blocks is taken as four empty ones.
struct ChatPollReply {
    // The non-empty lines, in order, as sent; only when NEXT is not empty.
    std::vector<std::string> lines;
    // NEXT, the number the next poll starts from; nothing when it was empty.
    std::optional<std::string> nextNumber;
    // NEXT and X empty and the lines block starting with kChatClosedNotice.
    bool closedByVisitor = false;
    // SOUND was "sound4": a new line arrived.
    bool newLineSound = false;
};
ChatPollReply ParseChatPollReply(std::string_view reply);

// The visitor-typing reply: "vt" while the visitor types.
bool ParseVisitorTypingReply(std::string_view reply);

// The name-and-e-mail reply: exactly two fields, or nothing.
struct NameMailReply {
    std::string name;
    std::string email;
};
std::optional<NameMailReply> ParseNameMailReply(std::string_view reply);

// The operator messages reply: MESSAGES<blk>SOUND. Messages are cut by "<fld>" and
// each one's sender from its text by "<ln>"; the text for the viewer has a CR LF
// for each "<fld>" and ":  " for each "<ln>". A reply without "<blk>" is all
// messages.
struct OperatorMessages {
    std::string text;
    bool sound = false; // exactly two blocks and the second "sound3"
};
OperatorMessages ParseOperatorMessagesReply(std::string_view reply);

// The chat transfer reply: "true" when the chat was handed over; anything else
// is a refusal, which the console does not show.
bool ParseTransferReply(std::string_view reply);

// One canned response or push URL: the title shown in its list and the text put
// into the input field.
struct CannedEntry {
    std::string title;
    std::string text;
};

struct CannedLists {
    std::vector<CannedEntry> pushUrls;
    std::vector<CannedEntry> responses;
};

// The lists reply: push URLs and canned responses as two blocks, entries cut by
// "<fld>", title and text by "<ln>". Nothing unless there are exactly two blocks.
// An entry without a text part keeps its title with an empty text; an entry that
// is empty altogether (as a trailing separator leaves) is skipped.
std::optional<CannedLists> ParseCannedLists(std::string_view reply);

} // namespace kivora::net
