#pragma once

// Messages operators of a site leave for one another, kept in the order they were
// saved. Plain state: callers hold the service's mutex.

#include <string>
#include <string_view>
#include <vector>

namespace kivora::demo {

struct OperatorMessage {
    std::string site;
    std::string from; // login ids as the accounts spell them
    std::string to;
    std::string text; // without the reply separators
    bool read = false;
};

// The block sound of a fetch that brings at least one new message.
inline constexpr std::string_view kNewMessageSound = "sound3";
// The notice an addressee's next visitor-list reply carries for a new message.
inline constexpr std::string_view kMessageNotice = "message";

// Text with every "<fld>", "<ln>" and "<blk>" taken out, so that a message cannot cut
// the fetch reply apart.
std::string CleanMessageText(std::string_view text);

class CMessages final {
public:
    // Stores the message unread, its text and sender cleaned first.
    void Save(std::string site, std::string_view from, std::string to, std::string_view text);
    // The operator's messages, oldest first: only the unread ones, which become read, or
    // every one, leaving them as they are.
    std::vector<OperatorMessage> TakeUnread(std::string_view site, std::string_view loginId);
    std::vector<OperatorMessage> AllFor(std::string_view site, std::string_view loginId) const;
    // Of every site: "FROM<TAB>TEXT<TAB>read|unread" per message to that login id.
    std::string Dump(std::string_view loginId) const;
    std::size_t Count() const { return messages_.size(); }

private:
    std::vector<OperatorMessage> messages_;
};

// MESSAGES<blk>SOUND: the messages as FROM<ln>TEXT joined by "<fld>"; the sound only
// when asked for and there is a message.
std::string FormatMessages(const std::vector<OperatorMessage>& messages, bool sound);

} // namespace kivora::demo
