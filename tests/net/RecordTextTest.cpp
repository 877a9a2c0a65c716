#include "net/RecordText.h"

#include <gtest/gtest.h>

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
}

TEST(RecordText, CutAtZero)
{
    EXPECT_EQ(CutAtZero(std::string_view("abc\0def", 7)), "abc");
    EXPECT_EQ(CutAtZero("abc"), "abc");
    EXPECT_EQ(CutAtZero(std::string_view("\0", 1)), "");
}

} // namespace
