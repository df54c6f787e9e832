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

// The account of these rows fetches its mail through "h" (its POP3
// server), where its POPFile runs.
TEST(BaseUrlLengthOfLink, TheTextBeforeJumpWhenItIsAnHttpUrl)
{
    const BaseUrlRow rows[] = {
        {"http://127.0.0.1:8080/jump_to_message?view=5", "http://127.0.0.1:8080/"},
        {"http://h/a/jump?view=1", "http://h/a/"},
        {"http://H:8080/jump?view=1", "http://H:8080/"},
        {"http://h/jumpjump", "http://h/"},
        // Only POPFile's own hosts: loopback, or the account's server.
        {"http://127.45.6.7:8080/jump?view=1", "http://127.45.6.7:8080/"},
        {"http://LocalHost:8080/jump?view=1", "http://LocalHost:8080/"},
        {"http://tracker.example/jump?view=1", ""},
        {"http://hh/jump?view=1", ""},
        {"http://128.0.0.1/jump?view=1", ""},
        {"http://127.0.0.1.example/jump?view=1", ""},
        {"http://h@127.0.0.1/jump?view=1", ""},
        {"http://h/?x/jump?view=1", ""},
        {"http://h/view=3", ""},
        {"http://h/JUMP?view=3", ""},
        {"HTTP://127.0.0.1:1/jump?view=3", ""},
        {"https://h/jump?view=3", ""},
        {"file://C:/x/jump?view=3", ""},
        {"\\\\evil\\share\\jump?view=3", ""},
        {"jump", ""},
        {"http:/jump", ""},
        {"", ""},
        // Forged links: a quote, line breaks or a blank in the base, or a
        // base that does not end in "/", teach nothing.
        {"http://x/\" --flag=\"jump_to_message?view=1", ""},
        {"http://evil/\rBeep=1\rjump_to_message?view=1", ""},
        {"http://evil/\nURL=x/jump?view=1", ""},
        {"http://ev il/jump?view=1", ""},
        {"http://h:8080jump_to_message?view=1", ""},
        {"http://h/x\x7f/jump?view=1", ""},
        {"http://h/\x83\x5c/jump?view=1", "http://h/\x83\x5c/"},
    };
    for (const BaseUrlRow &row : rows)
        EXPECT_EQ(std::string(row.link, BaseUrlLengthOfLink(row.link, "h")), row.base) << "link: " << row.link;
    // An account whose server is not known matches no name.
    EXPECT_EQ(BaseUrlLengthOfLink("http://h/jump?view=1", ""), 0u);
    EXPECT_EQ(BaseUrlLengthOfLink("http://h/jump?view=1", nullptr), 0u);
    EXPECT_EQ(BaseUrlLengthOfLink("http://127.0.0.1:8080/jump?view=1", nullptr), 22u);
}

struct CleanUrlRow {
    const char *url;
    bool clean;
};

// The URL setting is used only when it is clean, however it got there.
TEST(IsCleanBaseUrl, HttpEndingInSlashWithoutQuoteBlankOrControl)
{
    const CleanUrlRow rows[] = {
        {"http://127.0.0.1:8080/", true},
        {"HTTP://h/popfile/", true},
        {"http://h/\x83\x5c/", true},
        {"http://", false},
        {"http:///", true},
        {"http://h", false},
        {"https://h/", false},
        {"", false},
        {" http://h/", false},
        {"http://h/ ", false},
        {"http://h/\"/", false},
        {"http://h/\r\nBeep=1/", false},
        {"http://h/\t/", false},
        {"http://h/\x7f/", false},
        {"http://127.0.0.1:8080/?/", false},
        {"http://h/#top/", false},
    };
    for (const CleanUrlRow &row : rows)
        EXPECT_EQ(IsCleanBaseUrl(row.url), row.clean) << "url: " << row.url;
}

struct JumpRow {
    int status;
    const char *location;
    JumpAnswer answer;
};

TEST(ReadJumpAnswer, ARedirectToTheMessageOrToTheHistoryPageAndNothingElse)
{
    const JumpRow rows[] = {
        {302, "/history", JumpGone},
        {302, "/history?session=k", JumpGone},
        {301, "http://127.0.0.1:8080/history", JumpGone},
        {307, "/popfile/history", JumpGone},
        {302, "/view?session=k&view=5", JumpInHistory},
        {302, "http://127.0.0.1:8080/view?session=k&view=5", JumpInHistory},
        {302, "/view?back=/history", JumpInHistory},
        {302, "http://h?x=/history", JumpNotPopfile},
        {302, "http://history", JumpNotPopfile},
        {302, "/historyx", JumpNotPopfile},
        {302, "/preview", JumpNotPopfile},
        {302, "/login", JumpNotPopfile},
        {302, "", JumpNotPopfile},
        {200, "/view", JumpNotPopfile},
        {200, "/history", JumpNotPopfile},
        {404, "/history", JumpNotPopfile},
        {0, "", JumpNotPopfile},
        {-1, "", JumpNotPopfile},
    };
    for (const JumpRow &row : rows)
        EXPECT_EQ(ReadJumpAnswer(row.status, row.location), row.answer) << row.status << " " << row.location;
}

} // namespace
