#include "CannedLists.h"

#include "net/RecordText.h"

namespace kivora::chat {

namespace {

void AppendEntries(std::string_view block, std::vector<CannedEntry>& list)
{
    if (block.empty())
        return;
    for (const std::string_view entry : net::SplitRecordViews(block, net::kFieldSep)) {
        if (entry.empty())
            continue;
        const auto parts = net::SplitRecordViews(entry, net::kLineSep);
        list.push_back({std::string(parts[0]), parts.size() > 1 ? std::string(parts[1]) : std::string()});
    }
}

} // namespace

std::optional<CannedLists> ParseCannedLists(std::string_view reply)
{
    const auto blocks = net::SplitRecordViews(reply, net::kBlockSep);
    if (blocks.size() != 2)
        return std::nullopt;
    CannedLists lists;
    AppendEntries(blocks[0], lists.pushUrls);
    AppendEntries(blocks[1], lists.responses);
    return lists;
}

} // namespace kivora::chat
