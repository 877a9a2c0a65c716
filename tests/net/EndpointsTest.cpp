#include "net/Endpoints.h"

#include "res/Strings.h"

#include <gtest/gtest.h>

using namespace kivora;
using namespace kivora::net;

namespace {

TEST(FormEscape, KeepsAlnumTurnsBlanksToPlusAndPercentEncodesTheRest)
{
    EXPECT_EQ(FormEscape("a b&c"), "a+b%26c");
    EXPECT_EQ(FormEscape("\xE9"), "%E9");
    EXPECT_EQ(FormEscape("\t\n\v\f\r "), "++++++");
    EXPECT_EQ(FormEscape("-._~+%"), "%2D%2E%5F%7E%2B%25");
    EXPECT_EQ(FormEscape(std::string_view("\0\x7F\xFF", 3)), "%00%7F%FF");
    EXPECT_EQ(FormEscape(""), "");
}

TEST(QueryEscape, KeepsIdsAndPlainUrlsAndEscapesEverythingElse)
{
    EXPECT_EQ(QueryEscape("admin"), "admin");
    EXPECT_EQ(QueryEscape("192.168.0.1"), "192.168.0.1");
    EXPECT_EQ(QueryEscape("http://www.site.example/a-b_c~d.html"), "http://www.site.example/a-b_c~d.html");
    EXPECT_EQ(QueryEscape("p&w d"), "p%26w%20d");
    EXPECT_EQ(QueryEscape("#%?+="), "%23%25%3F%2B%3D");
    EXPECT_EQ(QueryEscape("\xC3\xA9"), "%C3%A9");
}

TEST(FormatTemplate, FillsPlacesLeftToRightWithoutRescanningValues)
{
    EXPECT_EQ(FormatTemplate("/a?x=%s&y=%s", {"1", "2"}), "/a?x=1&y=2");
    // A value containing "%s" is not a place.
    EXPECT_EQ(FormatTemplate("/a?x=%s&y=%s", {"%s", "2"}), "/a?x=%s&y=2");
    EXPECT_EQ(FormatTemplate("/a?x=%s&y=%s", {"1"}), "/a?x=1&y=%s");
    EXPECT_EQ(FormatTemplate("/a", {"1"}), "/a");
}

TEST(MakeUrl, EscapesValuesButLeavesPreEscapedChatLine)
{
    EXPECT_EQ(MakeUrl(res::IDS_URL_LOGIN, {"admin", "site1", "p&ss word"}),
              "/w-login.php?loginid=admin&stid=site1&pwd=p%26ss%20word");
    const std::string line = FormEscape("a b&c");
    EXPECT_EQ(MakeUrl(res::IDS_URL_SEND_LINE, {PreEscaped(line), "c1", "admin", "site1"}),
              "/w-amessub.php?say=a+b%26c&csesid=c1&adminid=admin&sid=site1");
    // The poll always carries an empty uname.
    EXPECT_EQ(MakeUrl(res::IDS_URL_CHAT_POLL, {"admin", "c1", "10.0.0.1", "site1", "1"}),
              "/w-achats.php?uname=&adminid=admin&csesid=c1&ipadd=10.0.0.1&sid=site1&lastnum=1");
}

TEST(StringTable, HoldsTheFixedTexts)
{
    EXPECT_EQ(res::LoadString(res::IDS_ABOUTBOX), "&About Tolvane...");
    EXPECT_EQ(res::LoadString(res::IDS_EMPTY_FIELD), "\"Empty Username or password field\"");
    EXPECT_EQ(res::LoadString(res::IDS_DEFAULT_PATH_PREFIX), "/cpn");
    EXPECT_FALSE(res::LoadString(res::IDS_DEFAULT_HOST).empty());
    EXPECT_EQ(res::LoadString(110), "");
}

} // namespace
