#pragma once

// The service's reply text: fields, lines and blocks cut by tag separators, which the
// console splits on. Replies are 8-bit text; nothing here re-encodes the parts.

#include <string>
#include <string_view>
#include <vector>

namespace kivora::demo {

inline constexpr std::string_view kFieldSeparator = "<fld>";
inline constexpr std::string_view kLineSeparator = "<ln>";
inline constexpr std::string_view kBlockSeparator = "<blk>";

// Separators go between parts only; an empty part still counts, so {"a", ""} is "a<fld>".
inline std::string Join(const std::vector<std::string>& parts, std::string_view separator)
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += separator;
        out += parts[i];
    }
    return out;
}

inline std::string JoinFields(const std::vector<std::string>& fields)
{
    return Join(fields, kFieldSeparator);
}

} // namespace kivora::demo
