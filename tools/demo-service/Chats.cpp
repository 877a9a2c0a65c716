#include "Chats.h"

#include "Records.h"

#include <string>
#include <vector>

namespace kivora::demo {

namespace {

constexpr std::string_view kSeparatorStart = "<kvr_";

bool TypedWithin(const std::optional<SimTime>& typed, SimTime now, std::chrono::seconds shown)
{
    return typed.has_value() && now >= *typed && now - *typed <= shown;
}

} // namespace

std::string CleanChatText(std::string_view text)
{
    std::string out(text);
    // Taking one out can join two halves into a new one ("<kvr<kvr__"), so go on until
    // none is left; each pass shortens the text, which bounds the loop.
    for (auto at = out.find(kSeparatorStart); at != std::string::npos; at = out.find(kSeparatorStart))
        out.erase(at, kSeparatorStart.size());
    return out;
}

void AddChatLine(Chat& chat, ChatSpeaker speaker, std::string author, std::string_view text)
{
    ChatLine line;
    line.number = static_cast<int>(chat.lines.size()) + 1;
    line.speaker = speaker;
    line.author = CleanChatText(author);
    line.text = CleanChatText(text);
    chat.lines.push_back(std::move(line));
}

std::string ShownText(const ChatLine& line)
{
    if (line.speaker == ChatSpeaker::Notice)
        return line.text;
    return line.author + ": " + line.text;
}

bool VisitorSays(ServiceState& state, std::string_view sessionId, std::string_view text)
{
    Chat* chat = state.visitors.FindChat(sessionId);
    if (chat == nullptr || chat->closed)
        return false;
    const Visitor* visitor = state.visitors.Find(sessionId);
    std::string name = visitor != nullptr ? visitor->name : chat->visitorName;
    if (name.empty())
        name = kAnonymousVisitor;
    chat->visitorTyped.reset();
    AddChatLine(*chat, ChatSpeaker::Visitor, std::move(name), text);
    return true;
}

bool OperatorSays(ServiceState& state, std::string_view sessionId, std::string_view loginId, std::string_view text)
{
    Chat* chat = state.visitors.FindChat(sessionId);
    if (chat == nullptr || chat->closed || chat->owner != loginId)
        return false;
    chat->operatorTyped.reset();
    AddChatLine(*chat, ChatSpeaker::Operator, std::string(loginId), text);
    return true;
}

bool VisitorTyping(const Chat& chat, SimTime now)
{
    return TypedWithin(chat.visitorTyped, now, kVisitorTypingShown);
}

bool OperatorTyping(const Chat& chat, SimTime now)
{
    return TypedWithin(chat.operatorTyped, now, kOperatorTypingShown);
}

std::string FormatChatPoll(const Chat* chat, std::string_view loginId, int lastNumber)
{
    const std::string blk(kChatBlockSeparator);
    if (chat == nullptr || chat->owner != loginId)
        return blk + blk + blk;

    std::vector<std::string> shown;
    bool fromVisitor = false;
    int last = 0;
    for (const auto& line : chat->lines) {
        if (line.number < lastNumber)
            continue;
        shown.push_back(ShownText(line));
        fromVisitor = fromVisitor || line.speaker == ChatSpeaker::Visitor;
        last = line.number;
    }
    if (shown.empty())
        return (chat->closed ? std::string(kClosedNotice) : std::string()) + blk + blk + blk;
    return Join(shown, kChatLineSeparator) + blk + std::to_string(last + 1) + blk + blk +
           (fromVisitor ? std::string(kVisitorLineSound) : std::string());
}

std::string DumpChat(const Chat& chat)
{
    std::string out;
    for (const auto& line : chat.lines)
        out += std::to_string(line.number) + '\t' + ShownText(line) + '\n';
    if (chat.closed)
        out += "closed\n";
    return out;
}

} // namespace kivora::demo
