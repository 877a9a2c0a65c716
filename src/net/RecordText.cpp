#include "RecordText.h"

#include <algorithm>

namespace kivora::net {

std::vector<std::string_view> SplitRecordViews(std::string_view text, std::string_view separator)
{
    std::vector<std::string_view> pieces;
    if (separator.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    std::size_t position = 0;
    for (;;) {
        const std::size_t found = text.find(separator, position);
        if (found == std::string_view::npos) {
            pieces.push_back(text.substr(position));
            return pieces;
        }
        pieces.push_back(text.substr(position, found - position));
        position = found + separator.size();
    }
}

std::vector<std::string> SplitRecord(std::string_view text, std::string_view separator)
{
    const auto views = SplitRecordViews(text, separator);
    return {views.begin(), views.end()};
}

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement)
{
    if (find.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t position = 0;
    for (;;) {
        const std::size_t found = text.find(find, position);
        if (found == std::string_view::npos)
            break;
        out.append(text.substr(position, found - position));
        std::size_t start = out.size();
        out.append(replacement);
        position = found + find.size();
        // The search goes on from where the replacement was put, so an occurrence
        // that starts inside the replacement and ends in the rest of the text
        // counts too. The replacement never contains a whole occurrence.
        for (bool again = true; again;) {
            again = false;
            const std::size_t from =
                std::max(start, out.size() >= find.size() ? out.size() - find.size() + 1 : 0);
            for (std::size_t k = from; k < out.size(); ++k) {
                const std::string_view head = std::string_view(out).substr(k);
                const std::string_view tail = find.substr(head.size());
                if (find.starts_with(head) && text.substr(position).starts_with(tail)) {
                    out.resize(k);
                    out.append(replacement);
                    position += tail.size();
                    start = k;
                    again = true;
                    break;
                }
            }
        }
    }
    out.append(text.substr(position));
    return out;
}

std::string_view CutAtZero(std::string_view text)
{
    const std::size_t zero = text.find('\0');
    return zero == std::string_view::npos ? text : text.substr(0, zero);
}

} // namespace kivora::net
