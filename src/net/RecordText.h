#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kivora::net {

// Separators of the reply text. The "kvr_" set frames the chat poll reply only,
// whose lines carry text typed by people.
inline constexpr std::string_view kFieldSep = "<fld>";
inline constexpr std::string_view kLineSep = "<ln>";
inline constexpr std::string_view kBlockSep = "<blk>";
inline constexpr std::string_view kChatFieldSep = "<kvr_fld>";
inline constexpr std::string_view kChatLineSep = "<kvr_ln>";
inline constexpr std::string_view kChatBlockSep = "<kvr_blk>";

// Cuts text at every occurrence of separator, left to right without overlap:
// n separators give n + 1 pieces, empty pieces included. The separator must not
// be empty (an empty one gives the whole text as the only piece).
std::vector<std::string> SplitRecord(std::string_view text, std::string_view separator);

// Same cut, as views into text; text must outlive the result.
std::vector<std::string_view> SplitRecordViews(std::string_view text, std::string_view separator);

// Copy of text with every occurrence of find replaced. The search goes on right
// after each inserted replacement, so a replacement is never searched again.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement);

// The reply text ends at its first zero byte.
std::string_view CutAtZero(std::string_view text);

} // namespace kivora::net
