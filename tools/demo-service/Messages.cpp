#include "Messages.h"

#include "Records.h"

namespace kivora::demo {

std::string CleanMessageText(std::string_view text)
{
    static constexpr std::string_view kSeparators[] = {kFieldSeparator, kLineSeparator, kBlockSeparator};
    std::string out(text);
    // Taking one out can join two halves into a new one ("<f<fld>ld>"), so go on until
    // none is left; each pass shortens the text, which bounds the loop.
    bool removed = true;
    while (removed) {
        removed = false;
        for (const std::string_view separator : kSeparators) {
            for (auto at = out.find(separator); at != std::string::npos; at = out.find(separator)) {
                out.erase(at, separator.size());
                removed = true;
            }
        }
    }
    return out;
}

void CMessages::Save(std::string site, std::string_view from, std::string to, std::string_view text)
{
    messages_.push_back({std::move(site), CleanMessageText(from), std::move(to), CleanMessageText(text), false});
}

std::vector<OperatorMessage> CMessages::TakeUnread(std::string_view site, std::string_view loginId)
{
    std::vector<OperatorMessage> unread;
    for (auto& message : messages_) {
        if (message.site == site && message.to == loginId && !message.read) {
            message.read = true;
            unread.push_back(message);
        }
    }
    return unread;
}

std::vector<OperatorMessage> CMessages::AllFor(std::string_view site, std::string_view loginId) const
{
    std::vector<OperatorMessage> all;
    for (const auto& message : messages_) {
        if (message.site == site && message.to == loginId)
            all.push_back(message);
    }
    return all;
}

std::string CMessages::Dump(std::string_view loginId) const
{
    std::string out;
    for (const auto& message : messages_) {
        if (message.to == loginId)
            out += message.from + '\t' + message.text + '\t' + (message.read ? "read\n" : "unread\n");
    }
    return out;
}

std::string FormatMessages(const std::vector<OperatorMessage>& messages, bool sound)
{
    std::vector<std::string> shown;
    for (const auto& message : messages)
        shown.push_back(message.from + std::string(kLineSeparator) + message.text);
    const bool sounds = sound && !messages.empty();
    return JoinFields(shown) + std::string(kBlockSeparator) + (sounds ? std::string(kNewMessageSound) : "");
}

} // namespace kivora::demo
