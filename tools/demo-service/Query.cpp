#include "Query.h"

namespace kivora::demo {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string PercentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string_view QueryOf(std::string_view target)
{
    const auto mark = target.find('?');
    return mark == std::string_view::npos ? std::string_view{} : target.substr(mark + 1);
}

QueryParams ParseQuery(std::string_view query)
{
    QueryParams params;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (piece.empty())
            continue;
        const auto eq = piece.find('=');
        if (eq == std::string_view::npos)
            params.push_back({PercentDecode(piece), {}});
        else
            params.push_back({PercentDecode(piece.substr(0, eq)), PercentDecode(piece.substr(eq + 1))});
    }
    return params;
}

const std::string* FindParam(const QueryParams& params, std::string_view name)
{
    for (const auto& param : params) {
        if (param.name == name)
            return &param.value;
    }
    return nullptr;
}

} // namespace kivora::demo
