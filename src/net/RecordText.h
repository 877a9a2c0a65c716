#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// The first c in [p, end), or null. Pieces of a reply are mostly a few bytes
// long, so the next bytes are looked at in place, eight at a time, before memchr
// is called for a long stretch.
inline const char* FindByte(const char* p, const char* end, char c)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        constexpr std::uint64_t kHighs = 0x8080808080808080u;
        const std::uint64_t pattern = kOnes * static_cast<unsigned char>(c);
        for (int i = 0; i < 8 && end - p >= 8; ++i, p += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, sizeof word);
            word ^= pattern;
            // The lowest byte flagged here is the first zero byte, that is the first c.
            const std::uint64_t zeros = (word - kOnes) & ~word & kHighs;
            if (zeros != 0)
                return p + (std::countr_zero(zeros) >> 3);
        }
    }
    return p == end ? nullptr : static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
}

// Reads the first block of text (up to its first kBlockSep, or all of it) cut by
// kLineSep and each line by kFieldSep, exactly as SplitRecord by blocks, lines
// and then fields would, but in one pass and without copying: calls
// onLine(fields, count) once per line, where fields holds the line's first N
// fields as views into text and count is how many fields the line has (possibly
// more than N; fields past count are left as they were). Returns the length of
// the block, which is where the first kBlockSep starts when there is one.
//
// One pass gives the same cuts because the three separators start with '<' and
// hold no other '<': no occurrence of one can overlap an occurrence of another.
template <std::size_t N, typename OnLine>
std::size_t ForEachRecordLine(std::string_view text, OnLine&& onLine)
{
    static_assert(kLineSep.front() == '<' && kLineSep.find('<', 1) == std::string_view::npos);
    static_assert(kFieldSep.front() == '<' && kFieldSep.find('<', 1) == std::string_view::npos);
    static_assert(kBlockSep.front() == '<' && kBlockSep.find('<', 1) == std::string_view::npos);
    std::array<std::string_view, N> fields{};
    std::size_t count = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    const char* fieldStart = p;
    const auto endField = [&](const char* fieldEnd) {
        if (count < N)
            fields[count] = std::string_view(fieldStart, static_cast<std::size_t>(fieldEnd - fieldStart));
        ++count;
    };
    while (p != end) {
        p = FindByte(p, end, '<');
        if (p == nullptr)
            break;
        const std::string_view rest(p, static_cast<std::size_t>(end - p));
        if (rest.starts_with(kFieldSep)) {
            endField(p);
            p += kFieldSep.size();
            fieldStart = p;
        } else if (rest.starts_with(kLineSep)) {
            endField(p);
            onLine(fields, count);
            count = 0;
            p += kLineSep.size();
            fieldStart = p;
        } else if (rest.starts_with(kBlockSep)) {
            end = p;
            break;
        } else {
            ++p;
        }
    }
    endField(end);
    onLine(fields, count);
    return static_cast<std::size_t>(end - text.data());
}

// Copy of text with every occurrence of find replaced. The search goes on right
// after each inserted replacement, so a replacement is never searched again.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement);

// The reply text ends at its first zero byte.
std::string_view CutAtZero(std::string_view text);

} // namespace kivora::net
