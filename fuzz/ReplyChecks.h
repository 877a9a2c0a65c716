#pragma once

// One check per reply layout: feeds the bytes to its parser (and to what the
// windows then read out of the value) and says what is wrong with the result, or
// nothing. The fuzz targets abort on a complaint; tests/net/RepliesTest.cpp runs
// every check over the inputs kept in fuzz/regressions/. Only Qt-free sources are
// used, so this builds with clang and the fuzzer runtime alone.

#include "login/LoginReply.h"
#include "net/RecordText.h"
#include "net/Replies.h"
#include "net/ServiceAddress.h"

#include <array>
#include <climits>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::fuzz {

using namespace kivora::net;

// Empty when the parser's value is sound for that reply, else what is wrong.
using Check = std::string (*)(std::string_view reply);

namespace detail {

inline bool Has(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// A value read out of a reply is one piece of it: it holds no separator of the
// kind it was cut by and is no longer than the reply (nothing invented or doubled).
inline bool IsPiece(std::string_view piece, std::string_view reply, std::string_view separator)
{
    return piece.size() <= reply.size() && !Has(piece, separator);
}

inline std::size_t Pieces(std::string_view text, std::string_view separator)
{
    return SplitRecordViews(text, separator).size();
}

inline int ExpectedMs(std::string_view field)
{
    const long long ms = ReadLeadingInt(field) * 1000;
    return ms > INT_MAX ? INT_MAX : ms < INT_MIN ? INT_MIN : static_cast<int>(ms);
}

} // namespace detail

inline std::string CheckParams(std::string_view reply)
{
    using namespace detail;
    const auto params = ParseParamsReply(reply);
    const auto fields = SplitRecordViews(reply, kFieldSep);
    if (params.has_value() != (fields.size() == 4))
        return "params: accepted a reply of other than four fields, or refused one of four";
    if (!params)
        return {};
    if (params->refreshIntervalMs != ExpectedMs(fields[0]) || params->chatPollIntervalMs != ExpectedMs(fields[1]))
        return "params: a period is not its field in seconds, saturated";
    if (params->host != fields[2] || params->pathPrefix != "/" + std::string(fields[3]))
        return "params: host or path word differs from its field";
    const ServiceAddress address = ParseServiceAddress(params->host);
    if (address.port < 1 || address.port > 65535 || address.host.size() > params->host.size())
        return "params: the host field gave an impossible address";
    if (address.scheme != "http" && address.scheme != "https")
        return "params: the host field gave an unknown scheme";
    return {};
}

inline std::string CheckLogin(std::string_view reply)
{
    using namespace detail;
    const login::LoginReply parsed = login::ParseLoginReply(reply);
    const bool three = Pieces(reply, kFieldSep) == 3;
    if (parsed.isAdmin.has_value() != three)
        return "login: role set for a reply of other than three fields, or missing for three";
    if (!three && (!parsed.outcome.empty() || !parsed.siteAddress.empty()))
        return "login: outcome or site read from a reply of other than three fields";
    if (!IsPiece(parsed.outcome, reply, kFieldSep) || !IsPiece(parsed.siteAddress, reply, kFieldSep))
        return "login: a field is not one piece of the reply";
    if (parsed.outcome == "true" && !reply.starts_with("true<fld>"))
        return "login: granted without the reply starting with \"true\"";
    if (login::RefusalText(parsed.outcome, "x").empty())
        return "login: no text for a refusal";
    return {};
}

inline std::string CheckVisitorList(std::string_view reply)
{
    using namespace detail;
    const VisitorListReply list = ParseVisitorListReply(reply);
    const auto blocks = SplitRecordViews(reply, kBlockSep);
    if (list.fourBlocks != (blocks.size() == 4))
        return "visitor list: four blocks not recognised as such";
    if (list.logout != (!list.fourBlocks && reply == "logout"))
        return "visitor list: logout without the reply being \"logout\"";
    if (!list.fourBlocks && (!list.rows.empty() || !list.operators.empty() || !list.sound.empty() ||
                             !list.notice.empty() || list.noUsersOnline))
        return "visitor list: values read from a reply of other than four blocks";
    if (list.noUsersOnline && !list.rows.empty())
        return "visitor list: rows beside \"No Users Online\"";
    if (list.fourBlocks && list.rows.size() > Pieces(blocks[0], kLineSep))
        return "visitor list: more rows than lines";
    std::size_t rowBytes = 0;
    for (const CVisitorRow& row : list.rows) {
        for (int f = 0; f < kRowFieldCount; ++f) {
            const std::string_view field = row[f];
            if (!IsPiece(field, reply, kFieldSep) || Has(field, kLineSep) || Has(field, kBlockSep))
                return "visitor list: a row field is not one piece of the reply";
            rowBytes += field.size();
        }
        // The console sounds for new visitors by the duration field.
        (void)IsNewVisitorTime(row[kRowDuration]);
    }
    if (rowBytes > reply.size())
        return "visitor list: rows hold more bytes than the reply";
    for (const std::string& op : list.operators) {
        if (!IsPiece(op, reply, kFieldSep) || Has(op, kBlockSep))
            return "visitor list: an operator name is not one piece of the reply";
    }
    if (!IsPiece(list.sound, reply, kBlockSep) || !IsPiece(list.notice, reply, kBlockSep))
        return "visitor list: sound or notice is not one block of the reply";

    // The rows are read in one pass, in place; they must be what splitting the
    // rows block by lines and then by fields gives.
    if (list.fourBlocks && !list.noUsersOnline) {
        std::vector<std::vector<std::string_view>> split;
        for (const std::string_view line : SplitRecordViews(blocks[0], kLineSep)) {
            std::vector<std::string_view> fields = SplitRecordViews(line, kFieldSep);
            if (fields.size() == static_cast<std::size_t>(kRowFieldCount))
                split.push_back(std::move(fields));
        }
        if (split.size() != list.rows.size())
            return "visitor list: the one-pass row reader finds other rows";
        for (std::size_t r = 0; r < split.size(); ++r) {
            for (int f = 0; f < kRowFieldCount; ++f) {
                if (split[r][static_cast<std::size_t>(f)] != list.rows[r][f])
                    return "visitor list: the one-pass row reader cuts the rows differently";
            }
        }
    }
    const std::size_t rowsEnd = reply.find(kBlockSep);
    const VisitorListReply rest =
        ParseVisitorListReply(rowsEnd == std::string_view::npos ? reply : reply.substr(rowsEnd));
    if (rest.fourBlocks != list.fourBlocks || rest.logout != list.logout || rest.operators != list.operators ||
        rest.sound != list.sound || rest.notice != list.notice)
        return "visitor list: the reply without its rows block reads differently";

    const Notice notice = ParseNotice(list.notice);
    if (notice.kind == Notice::Kind::ChatTransfer && !list.notice.starts_with("chat_trans"))
        return "notice: a transfer without \"chat_trans\"";
    if (notice.kind == Notice::Kind::Message && list.notice != "message" && !list.notice.starts_with("message<fld>"))
        return "notice: a message notice without \"message\"";
    if (notice.kind != Notice::Kind::ChatTransfer && !notice.sessionId.empty())
        return "notice: a session for other than a transfer";
    if (!IsPiece(notice.sessionId, list.notice, kFieldSep))
        return "notice: the session is not one field of the notice";
    return {};
}

inline std::string CheckAccept(std::string_view reply)
{
    using namespace detail;
    const auto accept = ParseAcceptReply(reply);
    if (accept.has_value() != (Pieces(reply, kFieldSep) == 5))
        return "accept: accepted a reply of other than five fields, or refused one of five";
    if (!accept)
        return {};
    const std::size_t total = accept->result.size() + accept->name.size() + accept->email.size() +
                              accept->history.size() + accept->sessionId.size();
    if (total + 4 * kFieldSep.size() != reply.size())
        return "accept: the fields and separators do not make up the reply";
    for (const std::string* field : {&accept->result, &accept->name, &accept->email, &accept->history,
                                     &accept->sessionId}) {
        if (Has(*field, kFieldSep))
            return "accept: a field holds a separator";
    }
    return {};
}

inline std::string CheckDetails(std::string_view reply)
{
    using namespace detail;
    const auto details = ParseDetailsReply(reply);
    if (details.has_value() != (Pieces(reply, kFieldSep) == kDetailCount))
        return "details: accepted a reply of other than eleven fields, or refused one of eleven";
    if (!details)
        return {};
    std::size_t total = 0;
    for (const std::string& field : *details) {
        if (Has(field, kFieldSep))
            return "details: a field holds a separator";
        total += field.size();
    }
    if (total + (kDetailCount - 1) * kFieldSep.size() != reply.size())
        return "details: the fields and separators do not make up the reply";
    return {};
}

inline std::string CheckChatPoll(std::string_view reply)
{
    using namespace detail;
    const ChatPollReply poll = ParseChatPollReply(reply);
    const auto blocks = SplitRecordViews(reply, kChatBlockSep);
    const bool four = blocks.size() == 4;
    if (!four && (poll.nextNumber || poll.closedByVisitor || poll.newLineSound || !poll.lines.empty()))
        return "chat poll: values read from a reply of other than four blocks";
    if (poll.nextNumber && (poll.nextNumber->empty() || !IsPiece(*poll.nextNumber, reply, kChatBlockSep)))
        return "chat poll: the next number is empty or not one block";
    if (!poll.nextNumber && !poll.lines.empty())
        return "chat poll: lines without a next number";
    if (poll.nextNumber && poll.closedByVisitor)
        return "chat poll: closed and continued at once";
    if (poll.closedByVisitor && !reply.starts_with(kChatClosedNotice))
        return "chat poll: closed without the notice";
    if (poll.newLineSound && !reply.ends_with("<kvr_blk>sound4"))
        return "chat poll: sounds without \"sound4\"";
    std::size_t lineBytes = 0;
    for (const std::string& line : poll.lines) {
        if (line.empty() || Has(line, kChatLineSep) || Has(line, kChatBlockSep))
            return "chat poll: a line is empty or not one piece of the lines block";
        lineBytes += line.size();
    }
    if (lineBytes > reply.size())
        return "chat poll: lines hold more bytes than the reply";
    return {};
}

inline std::string CheckNameMail(std::string_view reply)
{
    using namespace detail;
    const auto parsed = ParseNameMailReply(reply);
    if (parsed.has_value() != (Pieces(reply, kFieldSep) == 2))
        return "name and e-mail: accepted a reply of other than two fields, or refused one of two";
    if (parsed && parsed->name + std::string(kFieldSep) + parsed->email != reply)
        return "name and e-mail: the fields do not make up the reply";
    return {};
}

inline std::string CheckOperatorMessages(std::string_view reply)
{
    using namespace detail;
    const OperatorMessages messages = ParseOperatorMessagesReply(reply);
    const auto blocks = SplitRecordViews(reply, kBlockSep);
    if (messages.sound != (blocks.size() == 2 && blocks[1] == "sound3"))
        return "operator messages: sound without exactly \"<blk>sound3\" at the end";
    // Each separator becomes a shorter text, so the viewer's text never grows.
    if (messages.text.size() > blocks[0].size())
        return "operator messages: the text is longer than the messages block";
    if (Has(messages.text, kFieldSep) || Has(messages.text, kLineSep))
        return "operator messages: a separator is left in the text";
    return {};
}

inline std::string CheckCannedLists(std::string_view reply)
{
    using namespace detail;
    const auto lists = ParseCannedLists(reply);
    const auto blocks = SplitRecordViews(reply, kBlockSep);
    if (lists.has_value() != (blocks.size() == 2))
        return "canned lists: accepted a reply of other than two blocks, or refused one of two";
    if (!lists)
        return {};
    const auto checkList = [](const std::vector<CannedEntry>& list, std::string_view block) -> std::string {
        if (list.size() > Pieces(block, kFieldSep))
            return "canned lists: more entries than fields";
        std::size_t bytes = 0;
        for (const CannedEntry& entry : list) {
            if (!IsPiece(entry.title, block, kLineSep) || !IsPiece(entry.text, block, kLineSep) ||
                Has(entry.title, kFieldSep) || Has(entry.text, kFieldSep))
                return "canned lists: a title or text is not one piece of its entry";
            bytes += entry.title.size() + entry.text.size();
        }
        if (bytes > block.size())
            return "canned lists: entries hold more bytes than their block";
        return {};
    };
    if (std::string fault = checkList(lists->pushUrls, blocks[0]); !fault.empty())
        return fault;
    return checkList(lists->responses, blocks[1]);
}

// The replies of one word: presence, visitor typing and chat transfer.
inline std::string CheckWordReplies(std::string_view reply)
{
    const auto presence = ParsePresenceReply(reply);
    if (presence.has_value() != (reply == "online" || reply == "offline") || (presence && *presence != (reply == "online")))
        return "presence: not exactly \"online\" or \"offline\"";
    if (ParseVisitorTypingReply(reply) != (reply == "vt"))
        return "typing: not exactly \"vt\"";
    if (ParseTransferReply(reply) != (reply == "true"))
        return "transfer: not exactly \"true\"";
    return {};
}

struct NamedCheck {
    std::string_view name; // the fuzz target's name and its corpus folder
    Check check;
};

inline constexpr NamedCheck kChecks[] = {
    {"params", CheckParams},
    {"login", CheckLogin},
    {"visitor_list", CheckVisitorList},
    {"accept", CheckAccept},
    {"details", CheckDetails},
    {"chat_poll", CheckChatPoll},
    {"name_mail", CheckNameMail},
    {"operator_messages", CheckOperatorMessages},
    {"canned_lists", CheckCannedLists},
    {"word_replies", CheckWordReplies},
};

} // namespace kivora::fuzz
