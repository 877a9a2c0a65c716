#include "Replies.h"

#include "RecordText.h"

namespace kivora::net {

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

VisitorListReply ParseVisitorListReply(std::string_view reply)
{
    VisitorListReply result;
    const auto blocks = SplitRecordViews(reply, kBlockSep);
    if (blocks.size() != 4) {
        result.logout = reply == "logout";
        return result;
    }
    result.fourBlocks = true;

    if (blocks[0] == "No Users Online") {
        result.noUsersOnline = true;
    } else {
        std::size_t lineStart = 0;
        const std::string_view rows = blocks[0];
        // Walks the lines in place: the list can be long and is rebuilt at every refresh.
        for (;;) {
            const std::size_t lineEnd = rows.find(kLineSep, lineStart);
            const std::string_view line =
                rows.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - lineStart);
            VisitorRow row;
            std::size_t count = 0;
            std::size_t fieldStart = 0;
            for (;;) {
                const std::size_t fieldEnd = line.find(kFieldSep, fieldStart);
                if (count < row.size()) {
                    row[count] = std::string(line.substr(
                        fieldStart, fieldEnd == std::string_view::npos ? std::string_view::npos : fieldEnd - fieldStart));
                }
                ++count;
                if (fieldEnd == std::string_view::npos)
                    break;
                fieldStart = fieldEnd + kFieldSep.size();
            }
            if (count == row.size())
                result.rows.push_back(std::move(row));
            if (lineEnd == std::string_view::npos)
                break;
            lineStart = lineEnd + kLineSep.size();
        }
    }

    if (!blocks[1].empty()) {
        for (const std::string_view op : SplitRecordViews(blocks[1], kFieldSep))
            result.operators.emplace_back(op);
    }
    result.sound = std::string(blocks[2]);
    result.notice = std::string(blocks[3]);
    return result;
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

} // namespace kivora::net
