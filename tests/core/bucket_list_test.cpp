#include "classifier/bucket_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

std::vector<std::string> Names()
{
    std::vector<std::string> names;
    for (int i = 0; i < BucketList.bucketCount; ++i)
        names.push_back(BucketList.bucketNames[i]);
    return names;
}

class BucketListTest : public ::testing::Test {
protected:
    void SetUp() override { ResetBucketList(); }
    void TearDown() override { ResetBucketList(); }
};

struct KeyRow {
    const char *label;
    std::string page;
    long expectedOffset; // -1: the end of the page
    const char *expectedKey;
};

TEST_F(BucketListTest, ScanUiKeyTakesKeyOfFirstLinkWithAQuote)
{
    const KeyRow rows[] = {
        {"empty page", "", 0, "old"},
        {"no link", "<a href=\"/buckets\">x</a>", -1, "old"},
        {"plain", "<a href=\"/history?session=abc123\">", 26, "abc123"},
        {"upper case", "<A HREF=\"/HISTORY?SESSION=K9\">", 26, "K9"},
        {"mixed case", "<a href=\"/History?Session=Mixed\">", 26, "Mixed"},
        {"first of two", "/history?session=one\" /history?session=two\"", 17, "one"},
        {"quote far away", "/history?session=a b\n<c>\"", 17, "a b\n<c>"},
        {"empty key", "/history?session=\"", 17, ""},
        {"no quote at all", "/history?session=abc", -1, "old"},
        {"no quote after two links", "\"/history?session=a /history?session=b", -1, "old"},
        {"pattern cut short", "/history?sessio", -1, "old"},
        {"near miss then match", "/history?sessionx=1\" /history?session=k\"", 38, "k"},
    };
    for (const KeyRow &row : rows) {
        SCOPED_TRACE(row.label);
        BucketList.uiKey = "old";
        const char *text = row.page.c_str();
        const char *result = ScanUiKey(text);
        long expected = row.expectedOffset < 0 ? static_cast<long>(row.page.size()) : row.expectedOffset;
        EXPECT_EQ(result - text, expected);
        EXPECT_EQ(BucketList.uiKey, row.expectedKey);
    }
}

struct PageRow {
    const char *label;
    std::string page;
    std::vector<std::string> names;
    const char *key;
};

// `link` followed by `count` bucket links, to b0, b1, ...
std::string PageOfBuckets(const std::string &link, int count)
{
    std::string page = link;
    for (int i = 0; i < count; ++i)
        page += "<a href=\"/buckets?showbucket=b" + std::to_string(i) + "\">";
    return page;
}

// The names of the first `taken` links of PageOfBuckets.
std::vector<std::string> FirstBucketNames(int taken)
{
    std::vector<std::string> names;
    for (int i = 0; i < taken; ++i)
        names.push_back("b" + std::to_string(i));
    return names;
}

TEST_F(BucketListTest, ParseBucketPageTakesNamesAfterTheKeyLink)
{
    const std::string link = "<a href=\"/history?session=K\">";
    const std::string longName(BucketNameLimit, 'n');
    const PageRow rows[] = {
        {"three buckets",
         link + "<a href=\"/buckets?showbucket=inbox\">inbox</a>"
                "<a href=\"/buckets?showbucket=spam\">spam</a>"
                "<a href=\"/buckets?showbucket=work\">work</a>",
         {"inbox", "spam", "work"}, "K"},
        {"no key link", "showbucket=inbox\" showbucket=spam\"", {}, "old"},
        {"key runs to the next quote", "/history?session=K showbucket=inbox\"", {"inbox"},
         "K showbucket=inbox"},
        {"names before the key link are skipped", "showbucket=early\"" + link + "showbucket=late\"",
         {"late"}, "K"},
        {"upper and mixed case", link + "SHOWBUCKET=a\" ShowBucket=b\"", {"a", "b"}, "K"},
        {"a name linked twice", link + "showbucket=spam\" showbucket=spam\"", {"spam", "spam"}, "K"},
        {"last one without quote", link + "showbucket=a\" showbucket=b", {"a"}, "K"},
        {"empty name", link + "showbucket=\"", {""}, "K"},
        {"pattern inside a name", link + "showbucket=showbucket=x\"", {"showbucket=x", "x"}, "K"},
        {"nothing decoded", link + "showbucket=a%20b&amp;c\"", {"a%20b&amp;c"}, "K"},
        {"Shift_JIS bytes", link + "showbucket=\x83\x5c\x95\x5c\"", {"\x83\x5c\x95\x5c"}, "K"},
        {"DEL is no control byte", link + "showbucket=a\x7f\"", {"a\x7f"}, "K"},
        {"CR LF in a name", link + "showbucket=a\r\nX-Evil: 1\" showbucket=b\"", {"b"}, "K"},
        {"LF before a later name", link + "showbucket=a\nshowbucket=b\"", {"b"}, "K"},
        {"tab in a name", link + "showbucket=a\tb\"", {}, "K"},
        {"0x1F in a name", link + "showbucket=a\x1f\"", {}, "K"},
        {"0x01 in a name", link + "showbucket=\x01\"", {}, "K"},
        {"name at the length limit", link + "showbucket=" + longName + "\"", {longName}, "K"},
        {"name beyond the length limit", link + "showbucket=" + longName + "x\" showbucket=b\"", {"b"}, "K"},
        {"a rejected name does not count", link + "showbucket=a\tb\"" + PageOfBuckets("", BucketCountLimit + 1),
         FirstBucketNames(BucketCountLimit), "K"},
    };
    for (const PageRow &row : rows) {
        SCOPED_TRACE(row.label);
        ResetBucketList();
        BucketList.uiKey = "old";
        ParseBucketPage(row.page.c_str());
        EXPECT_EQ(Names(), row.names);
        EXPECT_EQ(BucketList.uiKey, row.key);
    }
}

TEST_F(BucketListTest, LoginPageIsTheOneWithTheFormPostedToPassword)
{
    const struct {
        const char *page;
        bool login;
    } rows[] = {
        {"<form action=\"/password\" method=\"post\">", true},
        {"<FORM ACTION=\"/PASSWORD\">", true},
        {"<form action=\"/password\"", true},
        {"<form action=\"/passwords\">", false},
        {"<form action=\"/history\">", false},
        {"<input type=\"password\" name=\"password\">", false},
        {"action=/password", false},
        {"", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(IsLoginPage(row.page), row.login) << row.page;
}

TEST_F(BucketListTest, NamesAreAppendedToWhatTheListHolds)
{
    AddBucketName("first");
    ParseBucketPage("/history?session=K\" showbucket=second\"");
    EXPECT_EQ(Names(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(BucketListTest, GrowsPastEveryTenthNameKeepingOrder)
{
    std::vector<std::string> expected;
    for (int i = 0; i < 31; ++i) {
        expected.push_back("b" + std::to_string(i));
        AddBucketName(expected.back().c_str());
        // Every slot written so far is read back (ASan sees any write past
        // the array's capacity).
        ASSERT_EQ(Names(), expected) << "after name " << i;
    }
}

TEST_F(BucketListTest, ClearFreesNamesAndKeepsKeyAndPath)
{
    BucketList.uiKey = "K";
    BucketList.messagePath = "C:\\M\\a.PWK";
    for (int i = 0; i < 12; ++i)
        AddBucketName("x");
    ClearBucketNames();
    EXPECT_EQ(BucketList.bucketCount, 0);
    EXPECT_EQ(BucketList.bucketNames, nullptr);
    EXPECT_EQ(BucketList.uiKey, "K");
    EXPECT_EQ(BucketList.messagePath, "C:\\M\\a.PWK");
    AddBucketName("again");
    EXPECT_EQ(Names(), std::vector<std::string>{"again"});
    ResetBucketList();
    EXPECT_EQ(BucketList.bucketCount, 0);
    EXPECT_EQ(BucketList.uiKey, "");
    EXPECT_EQ(BucketList.messagePath, "");
}

TEST_F(BucketListTest, PageWithHundredsOfNamesGivesTheFirstHundred)
{
    std::string page = "<html>/history?session=key\"<table>";
    std::vector<std::string> expected;
    for (int i = 0; i < 700; ++i) {
        std::string name = "bucket_" + std::to_string(i);
        if (i < BucketCountLimit)
            expected.push_back(name);
        page += "<tr><td><a href=\"/buckets?session=key&amp;showbucket=" + name + "\">" + name + "</a></td></tr>\n";
    }
    ParseBucketPage(page.c_str());
    EXPECT_EQ(Names(), expected);
}

TEST_F(BucketListTest, TenMegabytePages)
{
    const size_t size = 10 * 1024 * 1024;
    // Filler with names spread through it.
    std::string spread = "/history?session=big\"";
    int planted = 0;
    while (spread.size() < size) {
        spread += std::string(4000, 'x') + "<a href=\"?showbucket=n" + std::to_string(planted) + "\">";
        ++planted;
    }
    ParseBucketPage(spread.c_str());
    ASSERT_GT(planted, BucketCountLimit);
    EXPECT_EQ(BucketList.bucketCount, BucketCountLimit);
    EXPECT_EQ(BucketList.uiKey, "big");

    // Patterns back to back with one quote at the very end: every match
    // would reach the same quote; only the names within the limit count.
    ResetBucketList();
    std::string overlapping = "/history?session=k\"";
    const std::string pattern = "showbucket=";
    while (overlapping.size() < size)
        overlapping += pattern;
    overlapping += "\"";
    ParseBucketPage(overlapping.c_str());
    EXPECT_EQ(BucketList.bucketCount, BucketNameLimit / static_cast<int>(pattern.size()) + 1);

    // Session links without any quote: no key, no names.
    ResetBucketList();
    BucketList.uiKey = "old";
    std::string unquoted;
    while (unquoted.size() < size)
        unquoted += "/history?session=showbucket=";
    ParseBucketPage(unquoted.c_str());
    EXPECT_EQ(BucketList.bucketCount, 0);
    EXPECT_EQ(BucketList.uiKey, "old");
}

} // namespace
