#include "ChatLogic.h"

#include <algorithm>

namespace kivora::chat {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                      [&](char a, char b) { return lower(a) == lower(b); });
}

} // namespace

int CPendingLines::Add(std::string text)
{
    std::erase_if(lines, [&text](const Line& line) { return line.state == State::Lost && line.text == text; });
    lines.push_back({++lastId, std::move(text), State::Sending});
    return lastId;
}

void CPendingLines::Delivered(int id)
{
    for (Line& line : lines) {
        if (line.id == id && line.state == State::Sending)
            line.state = State::Taken;
    }
}

std::optional<std::string> CPendingLines::Failed(int id)
{
    for (Line& line : lines) {
        if (line.id == id && line.state != State::Lost) {
            line.state = State::Lost;
            return line.text;
        }
    }
    return std::nullopt;
}

std::optional<CPendingLines::Line> CPendingLines::Arrived(std::string_view line, std::string_view loginId)
{
    if (lines.empty() || loginId.empty() || !StartsWithNoCase(line, loginId))
        return std::nullopt;
    // "login: text", as the service shows the operator's lines.
    std::string_view said = line.substr(loginId.size());
    if (!said.empty() && said.front() == ':')
        said.remove_prefix(1);
    said = Trimmed(said);
    auto it = std::find_if(lines.begin(), lines.end(),
                           [said](const Line& pending) { return Trimmed(pending.text) == said; });
    if (it == lines.end())
        it = std::find_if(lines.begin(), lines.end(), [](const Line& pending) { return pending.state == State::Taken; });
    if (it == lines.end())
        return std::nullopt;
    Line back = std::move(*it);
    lines.erase(it);
    return back;
}

CChatPoll::Outcome CChatPoll::Answered(net::ChatPollReply reply)
{
    pending = false;
    Outcome outcome;
    outcome.newLineSound = reply.newLineSound;
    if (reply.nextNumber) {
        outcome.lines = std::move(reply.lines);
        lastNumber = std::move(*reply.nextNumber);
    } else {
        outcome.closedByVisitor = reply.closedByVisitor;
    }
    return outcome;
}

bool TypingNoticeDue(std::size_t textBytes, bool& noticeSent)
{
    if (!noticeSent) {
        noticeSent = true;
        return true;
    }
    if (textBytes != 0 && textBytes % 5 == 0)
        noticeSent = false;
    return false;
}

} // namespace kivora::chat
