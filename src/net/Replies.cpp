#include "Replies.h"

#include "RecordText.h"

#include <climits>
#include <limits>

namespace kivora::net {

namespace {

int SecondsToMs(std::string_view field)
{
    const long long ms = ReadLeadingInt(field) * 1000;
    if (ms > INT_MAX)
        return INT_MAX;
    if (ms < INT_MIN)
        return INT_MIN;
    return static_cast<int>(ms);
}

void AppendCannedEntries(std::string_view block, std::vector<CannedEntry>& list)
{
    if (block.empty())
        return;
    for (const std::string_view entry : SplitRecordViews(block, kFieldSep)) {
        if (entry.empty())
            continue;
        const auto parts = SplitRecordViews(entry, kLineSep);
        list.push_back({std::string(parts[0]), parts.size() > 1 ? std::string(parts[1]) : std::string()});
    }
}

} // namespace

long long ReadLeadingInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Large enough for any period, small enough to scale to milliseconds safely.
    constexpr long long kLimit = 1'000'000'000'000'000;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit)
            value = kLimit;
    }
    return negative ? -value : value;
}

LoginReply ParseLoginReply(std::string_view reply)
{
    LoginReply result;
    const auto fields = SplitRecordViews(reply, kFieldSep);
    if (fields.size() != 3)
        return result;
    result.outcome = std::string(fields[0]);
    result.isAdmin = fields[1] == "ADM";
    result.siteAddress = std::string(fields[2]);
    return result;
}

std::optional<ServiceParams> ParseParamsReply(std::string_view reply)
{
    const auto fields = SplitRecordViews(reply, kFieldSep);
    if (fields.size() != 4)
        return std::nullopt;
    ServiceParams params;
    params.refreshIntervalMs = SecondsToMs(fields[0]);
    params.chatPollIntervalMs = SecondsToMs(fields[1]);
    params.host = std::string(fields[2]);
    params.pathPrefix = std::string("/").append(fields[3]);
    return params;
}

std::optional<bool> ParsePresenceReply(std::string_view reply)
{
    if (reply == "online")
        return true;
    if (reply == "offline")
        return false;
    return std::nullopt;
}

std::optional<VisitorDetails> ParseDetailsReply(std::string_view reply)
{
    const auto fields = SplitRecordViews(reply, kFieldSep);
    if (fields.size() != kDetailCount)
        return std::nullopt;
    // The service sends the visitor's time and language before the location.
    static constexpr int kLabelOfReplyField[kDetailCount] = {
        kDetailUrl,  kDetailBrowser,  kDetailOs,      kDetailReferrer, kDetailColors, kDetailJava,
        kDetailTime, kDetailLanguage, kDetailCountry, kDetailRegion,   kDetailCity,
    };
    VisitorDetails details;
    for (int i = 0; i < kDetailCount; ++i)
        details[kLabelOfReplyField[i]] = std::string(fields[i]);
    return details;
}

std::vector<CVisitorRow> ReadVisitorRows(const std::shared_ptr<const std::string>& text, std::size_t* rowsBlockSize)
{
    std::vector<CVisitorRow> rows;
    const std::string_view whole(*text);
    // Offsets are kept in 32 bits; replies are capped far below that by the transport.
    if (whole.size() > std::numeric_limits<std::uint32_t>::max()) {
        if (rowsBlockSize) {
            const std::size_t blockEnd = whole.find(kBlockSep);
            *rowsBlockSize = blockEnd == std::string_view::npos ? whole.size() : blockEnd;
        }
        return rows;
    }
    // A row holds at least its ten field separators and a line separator, which
    // bounds the count; growing the vector instead would copy every row twice.
    constexpr std::size_t kShortestRow = 10 * kFieldSep.size() + kLineSep.size();
    rows.reserve(whole.size() / kShortestRow + 1);
    const std::size_t rowsEnd = ForEachRecordLine<kRowFieldCount>(
        whole, [&](const std::array<std::string_view, kRowFieldCount>& fields, std::size_t count) {
            if (count != kRowFieldCount)
                return;
            CVisitorRow& row = rows.emplace_back();
            row.text = text;
            for (std::size_t f = 0; f < kRowFieldCount; ++f) {
                row.start[f] = static_cast<std::uint32_t>(fields[f].data() - whole.data());
                row.size[f] = static_cast<std::uint32_t>(fields[f].size());
            }
        });
    if (rowsBlockSize)
        *rowsBlockSize = rowsEnd;
    return rows;
}

VisitorListReply ParseVisitorListReply(std::string_view reply)
{
    VisitorListReply result;
    // The rows are read in place, in one pass up to the first block separator; the
    // blocks are counted from there on, so the rows block is not walked twice.
    const auto text = std::make_shared<const std::string>(reply);
    std::size_t rowsEnd = 0;
    std::vector<CVisitorRow> rows = ReadVisitorRows(text, &rowsEnd);
    const std::string_view whole(*text);
    auto blocks = SplitRecordViews(whole.substr(rowsEnd), kBlockSep);
    if (blocks.size() != 4) {
        result.logout = reply == "logout";
        return result;
    }
    blocks[0] = whole.substr(0, rowsEnd);
    result.fourBlocks = true;
    // "No Users Online" is a line of one field, which gives no row.
    result.noUsersOnline = blocks[0] == "No Users Online";
    result.rows = std::move(rows);

    if (!blocks[1].empty()) {
        for (const std::string_view op : SplitRecordViews(blocks[1], kFieldSep))
            result.operators.emplace_back(op);
    }
    result.sound = std::string(blocks[2]);
    result.notice = std::string(blocks[3]);
    return result;
}

bool IsNewVisitorTime(std::string_view timeOnSite)
{
    // The colons go and what is left is read as one number. Every row of every
    // refresh is read this way, so a time of the usual length is put together on
    // the stack rather than in a string of its own.
    char digits[32];
    if (timeOnSite.size() > sizeof digits)
        return ReadLeadingInt(ReplaceAll(timeOnSite, ":", "")) <= 8;
    std::size_t length = 0;
    for (const char c : timeOnSite) {
        if (c != ':')
            digits[length++] = c;
    }
    return ReadLeadingInt(std::string_view(digits, length)) <= 8;
}

std::optional<AcceptReply> ParseAcceptReply(std::string_view reply)
{
    const auto fields = SplitRecordViews(reply, kFieldSep);
    if (fields.size() != 5)
        return std::nullopt;
    return AcceptReply{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                       std::string(fields[3]), std::string(fields[4])};
}

Notice ParseNotice(std::string_view notice)
{
    Notice result;
    if (notice.empty())
        return result;
    const auto parts = SplitRecordViews(notice, kFieldSep);
    if (parts[0] == "message") {
        result.kind = Notice::Kind::Message;
    } else if (parts[0] == "chat_trans") {
        result.kind = Notice::Kind::ChatTransfer;
        if (parts.size() > 1)
            result.sessionId = std::string(parts[1]);
    }
    return result;
}

ChatPollReply ParseChatPollReply(std::string_view reply)
{
    ChatPollReply result;
    auto blocks = SplitRecordViews(reply, kChatBlockSep);
    if (blocks.size() != 4)
        blocks.assign(4, std::string_view());

    if (!blocks[1].empty()) {
        for (const std::string_view line : SplitRecordViews(blocks[0], kChatLineSep)) {
            if (!line.empty())
                result.lines.emplace_back(line);
        }
        result.nextNumber = std::string(blocks[1]);
    } else if (blocks[2].empty() && blocks[0].starts_with(kChatClosedNotice)) {
        result.closedByVisitor = true;
    }
    result.newLineSound = blocks[3] == "sound4";
    return result;
}

bool ParseVisitorTypingReply(std::string_view reply)
{
    return reply == "vt";
}

std::optional<NameMailReply> ParseNameMailReply(std::string_view reply)
{
    const auto parts = SplitRecordViews(reply, kFieldSep);
    if (parts.size() != 2)
        return std::nullopt;
    return NameMailReply{std::string(parts[0]), std::string(parts[1])};
}

OperatorMessages ParseOperatorMessagesReply(std::string_view reply)
{
    OperatorMessages result;
    const auto blocks = SplitRecordViews(reply, kBlockSep);
    result.sound = blocks.size() == 2 && blocks[1] == "sound3";
    result.text = ReplaceAll(ReplaceAll(blocks[0], kFieldSep, "\r\n"), kLineSep, ":  ");
    return result;
}

bool ParseTransferReply(std::string_view reply)
{
    return reply == "true";
}

std::optional<CannedLists> ParseCannedLists(std::string_view reply)
{
    const auto blocks = SplitRecordViews(reply, kBlockSep);
    if (blocks.size() != 2)
        return std::nullopt;
    CannedLists lists;
    AppendCannedEntries(blocks[0], lists.pushUrls);
    AppendCannedEntries(blocks[1], lists.responses);
    return lists;
}

} // namespace kivora::net
