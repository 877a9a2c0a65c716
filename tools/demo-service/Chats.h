#pragma once

// The lines of a chat as both sides say them and as the operator's chat poll reads
// them back, and the typing indicators. Plain functions on the service's state; callers
// hold the service's mutex.

#include "ServiceState.h"
#include "Visitors.h"

#include <chrono>
#include <string>
#include <string_view>

namespace kivora::demo {

// The chat poll's own separators: its lines carry text people typed.
inline constexpr std::string_view kChatLineSeparator = "<kvr_ln>";
inline constexpr std::string_view kChatBlockSeparator = "<kvr_blk>";

// Line 1 of a chat its first operator has just accepted.
inline constexpr std::string_view kJoinNotice = "notice:now user has join the chat";
// The poll's first block once a closed chat has nothing more to deliver.
inline constexpr std::string_view kClosedNotice = "Notice: Chat Closed by User.";
// The poll's last block when the reply brings something the visitor said.
inline constexpr std::string_view kVisitorLineSound = "sound4";
// What the visitor-typing query answers while the visitor types.
inline constexpr std::string_view kVisitorTypingReply = "vt";

// How long one keystroke keeps either side shown as typing.
inline constexpr std::chrono::seconds kVisitorTypingShown{3};
inline constexpr std::chrono::seconds kOperatorTypingShown{2};

// The name in front of the visitor's lines when it gave none.
inline constexpr std::string_view kAnonymousVisitor = "Visitor";

// Typed text with every "<kvr_" taken out, so that no line can cut the poll reply apart.
std::string CleanChatText(std::string_view text);

// Appends the next line; the text is cleaned first.
void AddChatLine(Chat& chat, ChatSpeaker speaker, std::string author, std::string_view text);

// "NAME: text" for either side, the bare text for a notice.
std::string ShownText(const ChatLine& line);

// The visitor says a line in its open chat, under its current name; false when there is
// no such chat or it is closed. Saying a line ends the visitor's typing.
bool VisitorSays(ServiceState& state, std::string_view sessionId, std::string_view text);

// The operator says a line in a chat it owns and that is open; false otherwise.
bool OperatorSays(ServiceState& state, std::string_view sessionId, std::string_view loginId, std::string_view text);

bool VisitorTyping(const Chat& chat, SimTime now);
bool OperatorTyping(const Chat& chat, SimTime now);

// The chat poll reply for the lines numbered from `lastNumber` on:
// LINES<kvr_blk>NEXT<kvr_blk><kvr_blk>SOUND, the closed notice once a closed chat has
// delivered everything, and four empty blocks for a chat `loginId` does not own.
std::string FormatChatPoll(const Chat* chat, std::string_view loginId, int lastNumber);

// "N<TAB>text" per line, then "closed" when it is, each ending in a newline.
std::string DumpChat(const Chat& chat);

} // namespace kivora::demo
