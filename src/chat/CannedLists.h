#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::chat {

// One canned response or push URL: the title shown in its list and the text put
// into the input field.
struct CannedEntry {
    std::string title;
    std::string text;
};

struct CannedLists {
    std::vector<CannedEntry> pushUrls;
    std::vector<CannedEntry> responses;
};

// The lists reply: push URLs and canned responses as two blocks, entries cut by
// "<fld>", title and text by "<ln>". Nothing unless there are exactly two blocks.
// An entry without a text part keeps its title with an empty text; an entry that
// is empty altogether (as a trailing separator leaves) is skipped.
std::optional<CannedLists> ParseCannedLists(std::string_view reply);

} // namespace kivora::chat
