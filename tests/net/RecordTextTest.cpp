#include "net/RecordText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

using namespace kivora::net;
using Pieces = std::vector<std::string>;

namespace {

struct SplitCase {
    std::string text;
    std::string_view separator;
    Pieces expected;
};

class SplitRecordCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitRecordCases, GivesOnePieceMoreThanSeparators)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(SplitRecord(c.text, c.separator), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, SplitRecordCases,
    ::testing::Values(
        SplitCase{"a<fld>b", kFieldSep, {"a", "b"}},
        SplitCase{"a<fld>", kFieldSep, {"a", ""}},
        SplitCase{"<fld>b", kFieldSep, {"", "b"}},
        SplitCase{"", kFieldSep, {""}},
        SplitCase{"a<fld><fld>b", kFieldSep, {"a", "", "b"}},
        SplitCase{"true", kFieldSep, {"true"}},
        SplitCase{"<ln><ln>", kLineSep, {"", "", ""}},
        // The alternate line separator does not contain the main one.
        SplitCase{"x<kvr_ln>y", kLineSep, {"x<kvr_ln>y"}},
        SplitCase{"x<kvr_ln>y", kChatLineSep, {"x", "y"}},
        // A separator cut short at the end is text, not a separator.
        SplitCase{"a<fld>b<fl", kFieldSep, {"a", "b<fl"}},
        // Occurrences are taken left to right without overlap.
        SplitCase{"<<fld>fld>", kFieldSep, {"<", "fld>"}},
        SplitCase{std::string("a\0b<fld>c", 9), kFieldSep, {std::string("a\0b", 3), "c"}}));

TEST(RecordText, NestedBlocksLinesAndFields)
{
    const std::string reply = "r1a<fld>r1b<ln>r2a<fld>r2b<blk>op1<ln>op2<blk>sound1<blk>";
    const auto blocks = SplitRecord(reply, kBlockSep);
    ASSERT_EQ(blocks.size(), 4u);
    const auto rows = SplitRecord(blocks[0], kLineSep);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(SplitRecord(rows[1], kFieldSep), (Pieces{"r2a", "r2b"}));
    EXPECT_EQ(blocks[2], "sound1");
    EXPECT_EQ(blocks[3], "");
}

TEST(RecordText, ReplaceAllEdgeCases)
{
    EXPECT_EQ(ReplaceAll("0:05:49", ":", ""), "00549");
    EXPECT_EQ(ReplaceAll("a<fld>b<ln>c<fld>", "<fld>", "\r\n"), "a\r\nb<ln>c\r\n");
    EXPECT_EQ(ReplaceAll("", ":", "x"), "");
    EXPECT_EQ(ReplaceAll("no match", ":", "x"), "no match");
    // A replacement that contains part of the find text is not searched again
    // on its own...
    EXPECT_EQ(ReplaceAll("ab", "b", "aa"), "aaa");
    // ...but the search resumes where the replacement was put, so an occurrence
    // that the replacement forms with the following text is replaced too.
    EXPECT_EQ(ReplaceAll("aabb", "ab", "a"), "aa");
    EXPECT_EQ(ReplaceAll("xaaabbb", "ab", "a"), "xaaa");
    // One-byte finds: every occurrence, a replacement holding the find included.
    EXPECT_EQ(ReplaceAll("::a::", ":", ""), "a");
    EXPECT_EQ(ReplaceAll("a:b", ":", "::"), "a::b");
    EXPECT_EQ(ReplaceAll("aaa", "a", "ba"), "bababa");
}

// The one-pass walk must cut exactly where SplitRecord by blocks, lines and then
// fields cuts, including around broken and nested separators.
TEST(RecordText, OnePassLinesAndFieldsMatchTwoLevelSplit)
{
    const std::string texts[] = {
        "",
        "a",
        "a<fld>b<ln>c<fld><fld>d",
        "<ln><ln>",
        "<fld><fld><ln><fld>",
        "a<fl<ln>d>b",
        "<<fld>fld><<ln>ln>",
        "x<ln",
        "x<fld",
        "a<kvr_ln>b<kvr_fld>c<blk>d<ln>e",
        "1<fld>2<fld>3<fld>4<ln>5<fld>6<fld>7<fld>8<fld>9<blk><blk>",
        "<blk>a<fld>b",
        "a<bl<blk>",
        std::string("z\0<fld>\0<ln>", 12),
    };
    for (const std::string& text : texts) {
        std::vector<Pieces> walked;
        const std::size_t read =
            kivora::net::ForEachRecordLine<3>(text, [&](const std::array<std::string_view, 3>& fields, std::size_t count) {
                Pieces line;
                for (std::size_t i = 0; i < std::min<std::size_t>(count, 3); ++i)
                    line.emplace_back(fields[i]);
                line.push_back("count=" + std::to_string(count));
                walked.push_back(line);
            });
        const std::string firstBlock = SplitRecord(text, kBlockSep)[0];
        EXPECT_EQ(read, firstBlock.size()) << text;
        std::vector<Pieces> split;
        for (const std::string& lineText : SplitRecord(firstBlock, kLineSep)) {
            Pieces line = SplitRecord(lineText, kFieldSep);
            const std::size_t count = line.size();
            line.resize(std::min<std::size_t>(count, 3));
            line.push_back("count=" + std::to_string(count));
            split.push_back(line);
        }
        EXPECT_EQ(walked, split) << text;
    }
}

// Long texts are searched eight places at a time for a separator's first two
// bytes: against a plain find loop, with separators at every place, near misses
// around them and bytes that differ from '<' only in their high bit.
TEST(RecordText, SplitMatchesAPlainFindLoopAtEveryPlace)
{
    const auto plain = [](std::string_view text, std::string_view separator) {
        Pieces pieces;
        std::size_t start = 0;
        for (;;) {
            const std::size_t found = text.find(separator, start);
            if (found == std::string_view::npos) {
                pieces.emplace_back(text.substr(start));
                return pieces;
            }
            pieces.emplace_back(text.substr(start, found - start));
            start = found + separator.size();
        }
    };
    const std::string fillers[] = {"x", "<", "<l", "<fl", "<kvr_", std::string(1, static_cast<char>('<' | 0x80))};
    for (const std::string_view separator : {kLineSep, kFieldSep, kBlockSep, kChatLineSep}) {
        for (const std::string& filler : fillers) {
            for (std::size_t length = 0; length <= 40; ++length) {
                std::string base;
                while (base.size() < length)
                    base += filler;
                base.resize(length);
                for (std::size_t at = 0; at <= length; ++at) {
                    std::string text = base;
                    text.insert(at, separator);
                    text += separator.substr(0, separator.size() - 1);
                    ASSERT_EQ(SplitRecord(text, separator), plain(text, separator)) << text;
                    text.insert(text.size() / 2, separator);
                    ASSERT_EQ(SplitRecord(text, separator), plain(text, separator)) << text;
                }
            }
        }
    }
}

// FindByte reads eight bytes at a time before it calls memchr: every length and
// place, and bytes that differ from the one looked for only in their high bit.
TEST(RecordText, FindByteAtEveryPlace)
{
    for (std::size_t length = 0; length <= 80; ++length) {
        std::string text(length, static_cast<char>('<' | 0x80));
        EXPECT_EQ(kivora::net::FindByte(text.data(), text.data() + length, '<'), nullptr) << length;
        for (std::size_t at = 0; at < length; ++at) {
            std::string marked = text;
            marked[at] = '<';
            if (at + 1 < length)
                marked[length - 1] = '<';
            EXPECT_EQ(kivora::net::FindByte(marked.data(), marked.data() + length, '<'), marked.data() + at)
                << length << " " << at;
        }
    }
}

TEST(RecordText, CutAtZero)
{
    EXPECT_EQ(CutAtZero(std::string_view("abc\0def", 7)), "abc");
    EXPECT_EQ(CutAtZero("abc"), "abc");
    EXPECT_EQ(CutAtZero(std::string_view("\0", 1)), "");
}

} // namespace
