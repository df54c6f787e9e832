// Link rules: what a message's link may open, teach and name.
#include "classifier/links.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

struct ViewRow {
    const char *link;
    int expected;
};

TEST(ViewIdOfLink, ReadsTheNumberAfterView)
{
    const ViewRow rows[] = {
        {"http://127.0.0.1:8080/jump_to_message?view=42", 42},
        {"http://h/jump?VIEW=7", 7},
        {"http://h/jump?View=8&x=1", 8},
        {"http://h/jump?view=12abc", 12},
        {"http://h/jump?view=abc", 0},
        {"http://h/jump?view= \t13", 13},
        {"http://h/jump?view=-3", -3},
        {"http://h/jump?view=+5", 5},
        {"http://h/jump?view=1&view=2", 1},
        {"http://h/jump?view=", -1},
        {"http://h/jump?id=5", -1},
        {"", -1},
        {"http://h/jump?view=2147483647", INT_MAX},
        {"http://h/jump?view=-2147483648", INT_MIN},
        {"http://h/jump?view=2147483648", -1},
        {"http://h/jump?view=-2147483649", -1},
        {"http://h/jump?view=4294967338", -1},
        {"http://h/jump?view=99999999999999999999999999", -1},
        {"http://h/jump?view=0000000000000000000000000042", 42},
    };
    for (const ViewRow &row : rows)
        EXPECT_EQ(ViewIdOfLink(row.link), row.expected) << "link: " << row.link;
}

struct WebLinkRow {
    const char *link;
    bool opened;
};

// Only plain web links are handed to the shell; whatever a forged header
// could make of the browser's command line is not.
TEST(IsWebLink, OnlyHttpAndHttpsWithoutQuotesOrControls)
{
    const WebLinkRow rows[] = {
        {"http://127.0.0.1:8080/jump_to_message?view=5", true},
        {"https://example.com/jump?view=1", true},
        {"HTTPS://example.com/jump?view=1", true},
        {"Http://x/", true},
        {"http://", true},
        {"", false},
        {"file:///C:/windows/system32/calc.exe", false},
        {"C:\\windows\\system32\\calc.exe", false},
        {"\\\\evil\\share\\run.exe", false},
        {"javascript:alert(1)", false},
        {"httpx://x/", false},
        {"http:/x/", false},
        {" http://x/", false},
        {"http://x/\" --new-window \"file:///C:/", false},
        {"http://x/\tjump", false},
        {"http://x/\x1b", false},
        {"http://x/\x7f\x80\xff", true},
    };
    for (const WebLinkRow &row : rows)
        EXPECT_EQ(IsWebLink(row.link), row.opened) << "link: " << row.link;
}

struct BaseUrlRow {
    const char *link;
    const char *base; // "" : nothing learnt
};

TEST(BaseUrlLengthOfLink, TheTextBeforeJumpWhenItIsAnHttpUrl)
{
    const BaseUrlRow rows[] = {
        {"http://127.0.0.1:8080/jump_to_message?view=5", "http://127.0.0.1:8080/"},
        {"http://h/a/jump?view=1", "http://h/a/"},
        {"http://h/jumpjump", "http://h/"},
        {"http://h/view=3", ""},
        {"http://h/JUMP?view=3", ""},
        {"HTTP://127.0.0.1:1/jump?view=3", ""},
        {"https://h/jump?view=3", ""},
        {"file://C:/x/jump?view=3", ""},
        {"\\\\evil\\share\\jump?view=3", ""},
        {"jump", ""},
        {"http:/jump", ""},
        {"", ""},
    };
    for (const BaseUrlRow &row : rows)
        EXPECT_EQ(std::string(row.link, BaseUrlLengthOfLink(row.link)), row.base) << "link: " << row.link;
}

} // namespace
