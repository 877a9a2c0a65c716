#pragma once

// Query strings as the console sends them: name=value pairs joined by '&', values
// percent-escaped. Parsed here rather than by the HTTP library so that the order
// the console sent them in survives into the request log.

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace kivora::demo {

struct QueryParam {
    std::string name;
    std::string value;
};

using QueryParams = std::vector<QueryParam>;

// "%XX" becomes that byte (including %00) and '+' a blank. A '%' not followed by two
// hex digits is kept as it is, so a sloppy client's text still reaches the log.
std::string PercentDecode(std::string_view text);

// The part of a request target after the first '?', empty when there is none.
std::string_view QueryOf(std::string_view target);

// Pairs in the order they appear; a piece without '=' is a name with an empty value.
QueryParams ParseQuery(std::string_view query);

// First value of the named parameter, or nullptr when it is absent.
const std::string* FindParam(const QueryParams& params, std::string_view name);

// A decimal number making up the whole text: no blanks, signs only where the type has them.
template <typename Number>
bool ParseWhole(std::string_view text, Number& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size();
}

} // namespace kivora::demo
