#include "RecordText.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace kivora::net {

namespace {

// Appends the pieces of text to pieces. The separator's first byte is looked for
// with FindByte and the rest compared in place, which keeps a short piece as
// cheap as the search itself.
void AppendPieces(std::string_view text, std::string_view separator, std::vector<std::string_view>& pieces)
{
    if (separator.empty() || text.size() < separator.size()) {
        pieces.push_back(text);
        return;
    }
    const char first = separator.front();
    const std::string_view rest = separator.substr(1);
    const char* p = text.data();
    const char* pieceStart = p;
    const char* const end = text.data() + text.size();
    // The last place where a whole separator still fits.
    const char* const lastStart = p + (text.size() - separator.size());
    // At hit, where the separator's first byte and `known` bytes after it match:
    // takes the piece before it when the whole separator is there, else steps on.
    // Separators are a few bytes long: a loop beats a call to memcmp here.
    const auto takeOrStep = [&](const char* hit, std::size_t known) {
        std::size_t matched = known;
        while (matched < rest.size() && hit[1 + matched] == rest[matched])
            ++matched;
        if (matched == rest.size()) {
            pieces.emplace_back(pieceStart, static_cast<std::size_t>(hit - pieceStart));
            p = pieceStart = hit + separator.size();
        } else {
            p = hit + 1;
        }
    };
    // Eight places at a time, looking for the separator's first two bytes together:
    // the separators all start with '<', so the first byte alone would stop at
    // every separator of another kind (a line's fields, when cutting lines).
    if constexpr (std::endian::native == std::endian::little) {
        if (separator.size() >= 2) {
            constexpr std::uint64_t kOnes = 0x0101010101010101u;
            constexpr std::uint64_t kHighs = 0x8080808080808080u;
            const std::uint64_t firstBytes = kOnes * static_cast<unsigned char>(first);
            const std::uint64_t secondBytes = kOnes * static_cast<unsigned char>(separator[1]);
            while (end - p >= 9) {
                std::uint64_t here = 0;
                std::uint64_t next = 0;
                std::memcpy(&here, p, sizeof here);
                std::memcpy(&next, p + 1, sizeof next);
                const std::uint64_t differ = (here ^ firstBytes) | (next ^ secondBytes);
                // The lowest byte flagged is the first place where both bytes match.
                const std::uint64_t both = (differ - kOnes) & ~differ & kHighs;
                if (both == 0) {
                    p += 8;
                    continue;
                }
                const char* hit = p + (std::countr_zero(both) >> 3);
                if (hit > lastStart)
                    break;
                takeOrStep(hit, 1);
            }
        }
    }
    while (p <= lastStart) {
        const char* hit = FindByte(p, lastStart + 1, first);
        if (hit == nullptr)
            break;
        takeOrStep(hit, 0);
    }
    pieces.emplace_back(pieceStart, static_cast<std::size_t>(text.data() + text.size() - pieceStart));
}

} // namespace

std::vector<std::string_view> SplitRecordViews(std::string_view text, std::string_view separator)
{
    std::vector<std::string_view> pieces;
    AppendPieces(text, separator, pieces);
    return pieces;
}

std::vector<std::string> SplitRecord(std::string_view text, std::string_view separator)
{
    // The views go to a buffer kept by the thread, so the result is the only
    // allocation besides the pieces that do not fit in a string of their own.
    thread_local std::vector<std::string_view> views;
    views.clear();
    AppendPieces(text, separator, views);
    return {views.begin(), views.end()};
}

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement)
{
    if (find.empty())
        return std::string(text);
    if (find.size() == 1) {
        // A one-byte find cannot be formed by a replacement and the text after it,
        // so every occurrence is simply replaced; the console does this for every
        // visitor row at every refresh.
        const char byte = find.front();
        const auto hits = static_cast<std::size_t>(std::count(text.begin(), text.end(), byte));
        std::string out(text.size() - hits + hits * replacement.size(), '\0');
        char* to = out.data();
        for (const char c : text) {
            if (c == byte)
                to = std::copy(replacement.begin(), replacement.end(), to);
            else
                *to++ = c;
        }
        return out;
    }
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
