// The bytes of the HTTP the plug-in speaks: URLs split, requests written,
// answers read however their bytes come.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "classifier/http_wire.h"
#include "tests/printable.h"

namespace {

TEST(HttpUrl, SplitsWhatARequestNeeds)
{
    const struct {
        const char *url;
        int result;
        const char *host;
        int port;
        const char *path;
        const char *query;
    } rows[] = {
        {"http://127.0.0.1:8080/", 0, "127.0.0.1", 8080, "/", ""},
        {"HTTP://popfile.lan/buckets", 0, "popfile.lan", 80, "/buckets", ""},
        {"http://127.0.0.1:8080/jump_to_message?view=12", 0, "127.0.0.1", 8080, "/jump_to_message", "?view=12"},
        {"http://h:1", 0, "h", 1, "/", ""},
        {"http://h?x=1", 0, "h", 80, "/", "?x=1"},
        {"http://h/p#frag?no", 0, "h", 80, "/p", ""},
        {"http://h/p?q#frag", 0, "h", 80, "/p", "?q"},
        {"https://h/", -1, "", 0, "", ""},
        {"http://", -1, "", 0, "", ""},
        {"http://:80/", -1, "", 0, "", ""},
        {"http://user@h/", -1, "", 0, "", ""},
        {"http://h:0/", -1, "", 0, "", ""},
        {"http://h:65536/", -1, "", 0, "", ""},
        {"http://h:8o/", -1, "", 0, "", ""},
        {"http://h:/", -1, "", 0, "", ""},
    };
    for (const auto &row : rows) {
        HttpUrl parts;
        ASSERT_EQ(SplitHttpUrl(row.url, &parts), row.result) << row.url;
        if (row.result != 0)
            continue;
        EXPECT_EQ(parts.host, row.host) << row.url;
        EXPECT_EQ(parts.port, row.port) << row.url;
        EXPECT_EQ(parts.path, row.path) << row.url;
        EXPECT_EQ(parts.query, row.query) << row.url;
    }
    // Each part may hold 999 bytes, not one more.
    HttpUrl parts;
    std::string longest = "http://h/" + std::string(998, 'p');
    EXPECT_EQ(SplitHttpUrl(longest.c_str(), &parts), 0);
    EXPECT_EQ(SplitHttpUrl((longest + "p").c_str(), &parts), -1);
    EXPECT_EQ(SplitHttpUrl(("http://" + std::string(1000, 'h') + "/").c_str(), &parts), -1);
    EXPECT_EQ(SplitHttpUrl(("http://h/?" + std::string(999, 'q')).c_str(), &parts), -1);
}

TEST(HttpUrl, OnlyDottedQuadsAndLocalhostNeedNoLookup)
{
    const struct {
        const char *host;
        int result;
        unsigned char bytes[4];
    } rows[] = {
        {"127.0.0.1", 0, {127, 0, 0, 1}},
        {"192.168.10.255", 0, {192, 168, 10, 255}},
        {"LocalHost", 0, {127, 0, 0, 1}},
        {"256.0.0.1", -1, {}},
        {"127.1", -1, {}},
        {"127.0.0.1.", -1, {}},
        {"1.2.3.4x", -1, {}},
        {"0127.0.0.1", -1, {}},
        {"popfile.lan", -1, {}},
        {"", -1, {}},
    };
    for (const auto &row : rows) {
        uint32_t address = 0;
        ASSERT_EQ(NumericIpv4Host(row.host, &address), row.result) << row.host;
        if (row.result == 0) {
            EXPECT_EQ(memcmp(&address, row.bytes, 4), 0) << row.host;
        }
    }
}

TEST(HttpRequest, GetAndPostAsTheyGoOnTheWire)
{
    HttpUrl url;
    ASSERT_EQ(SplitHttpUrl("http://127.0.0.1:8080/jump_to_message?view=7", &url), 0);
    EXPECT_EQ(HttpGetRequest(url), "GET /jump_to_message?view=7 HTTP/1.0\r\nHost: 127.0.0.1:8080\r\n"
                                   "User-Agent: sortella\r\nConnection: close\r\n\r\n");
    ASSERT_EQ(SplitHttpUrl("http://popfile.lan/history?ignored", &url), 0);
    EXPECT_EQ(HttpPostRequest(url, "a=1&b=%82"), "POST /history HTTP/1.0\r\nHost: popfile.lan\r\n"
                                                "User-Agent: sortella\r\nConnection: close\r\n"
                                                "Content-Length: 9\r\n\r\na=1&b=%82");
    // A blank, a control byte and a Shift_JIS byte cannot stand in a
    // request line.
    ASSERT_EQ(SplitHttpUrl("http://h/a b\t\x83\x5C/?q=\x82", &url), 0);
    EXPECT_EQ(HttpGetRequest(url).substr(0, 34), "GET /a%20b%09%83\\/?q=%82 HTTP/1.0\r");
}

// Hands `answer` to a reader in pieces of `step` bytes (0: whole), then
// the connection's end when `closes`. Returns the last result.
int Feed(HttpAnswerReader *reader, const std::string &answer, size_t step, bool closes)
{
    int result = HttpAnswerMore;
    for (size_t at = 0; at < answer.size() && result == HttpAnswerMore;) {
        size_t size = step ? std::min(step, answer.size() - at) : answer.size();
        result = ReadHttpAnswer(reader, answer.data() + at, size);
        at += size;
    }
    if (result == HttpAnswerMore && closes)
        result = EndHttpAnswer(reader);
    return result;
}

struct AnswerRow {
    const char *label;
    std::string answer;
    bool closes;        // the peer ends the connection after it
    int result;         // after the bytes (and the end)
    int status;
    std::string body;
    bool complete;
};

// Every row is read whole, a byte at a time and in pieces of 7 bytes: the
// result must not depend on how the bytes arrive.
void ExpectRows(const std::vector<AnswerRow> &rows, HttpReadUntil until, size_t limit)
{
    for (const AnswerRow &row : rows) {
        for (size_t step : {0, 1, 7}) {
            SCOPED_TRACE(std::string(row.label) + ", pieces of " + std::to_string(step));
            HttpAnswerReader reader;
            StartHttpAnswer(&reader, until, limit);
            EXPECT_EQ(Feed(&reader, row.answer, step, row.closes), row.result) << Printable(row.answer);
            if (row.result != HttpAnswerDone)
                continue;
            EXPECT_EQ(reader.status, row.status);
            EXPECT_EQ(Printable(reader.body), Printable(row.body));
            EXPECT_EQ(reader.complete, row.complete);
        }
    }
}

TEST(HttpAnswer, BodiesByLengthByChunksAndToTheEnd)
{
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
    ExpectRows({
        {"length", head + "Content-Length: 5\r\n\r\nhello", false, HttpAnswerDone, 200, "hello", true},
        {"bytes after the length are not read", head + "Content-Length: 2\r\n\r\nhello", false, HttpAnswerDone,
         200, "he", true},
        {"length zero", head + "Content-Length: 0\r\n\r\n", false, HttpAnswerDone, 200, "", true},
        {"to the end", head + "\r\nall of it", true, HttpAnswerDone, 200, "all of it", true},
        {"LF line ends", "HTTP/1.1 404 Not Found\nContent-Length: 3\n\nnot", false, HttpAnswerDone, 404, "not",
         true},
        {"chunks", head + "Transfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\nA\r\n, world...\r\n0\r\n"
                          "Trailer: x\r\n\r\n", false, HttpAnswerDone, 200, "hello, world...", true},
        {"chunks over a length", head + "Content-Length: 99\r\nTransfer-Encoding: Chunked\r\n\r\n"
                                        "1\r\nx\r\n0\r\n\r\n", false, HttpAnswerDone, 200, "x", true},
        {"NUL bytes are body bytes", head + "Content-Length: 3\r\n\r\na" + std::string(1, '\0') + "b", false,
         HttpAnswerDone, 200, "a" + std::string(1, '\0') + "b", true},
        {"interim answer passed over", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 302 Found\r\nLocation: /x\r\n"
                                       "Content-Length: 0\r\n\r\n", false, HttpAnswerDone, 302, "", true},
        {"no body after 304", "HTTP/1.0 304 Not Modified\r\nContent-Length: 9\r\n\r\n", false, HttpAnswerDone,
         304, "", true},
    }, HttpUntilBodyEnd, 1024);
}

TEST(HttpAnswer, MalformedCutOffOrOversizedIsBad)
{
    const std::string head = "HTTP/1.0 200 OK\r\n";
    ExpectRows({
        {"not HTTP", "SSH-2.0-OpenSSH\r\n", false, HttpAnswerBad, 0, "", false},
        {"status not three digits", "HTTP/1.0 2OO OK\r\n\r\n", false, HttpAnswerBad, 0, "", false},
        {"status of four digits", "HTTP/1.0 2000 OK\r\n\r\n", false, HttpAnswerBad, 0, "", false},
        {"no version", "HTTP/ 200 OK\r\n\r\n", false, HttpAnswerBad, 0, "", false},
        {"field without colon", head + "Content-Length 5\r\n\r\nhello", false, HttpAnswerBad, 0, "", false},
        {"bad length", head + "Content-Length: 5x\r\n\r\nhello", false, HttpAnswerBad, 0, "", false},
        {"two lengths", head + "Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello", false, HttpAnswerBad, 0,
         "", false},
        {"unknown coding", head + "Transfer-Encoding: gzip\r\n\r\n", false, HttpAnswerBad, 0, "", false},
        {"bad chunk size", head + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", false, HttpAnswerBad, 0, "",
         false},
        {"chunk without its line end", head + "Transfer-Encoding: chunked\r\n\r\n1\r\nxy\r\n", false,
         HttpAnswerBad, 0, "", false},
        {"huge chunk size", head + "Transfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n", false,
         HttpAnswerBad, 0, "", false},
        {"cut in the headers", head + "Content-Le", true, HttpAnswerBad, 0, "", false},
        {"cut in the body", head + "Content-Length: 10\r\n\r\nhalf", true, HttpAnswerBad, 0, "", false},
        {"cut in the chunks", head + "Transfer-Encoding: chunked\r\n\r\n4\r\nab", true, HttpAnswerBad, 0, "",
         false},
        {"endless headers", head + "X-Pad: " + std::string(HttpHeadLimit, 'a'), false, HttpAnswerBad, 0, "",
         false},
        {"endless chunk line", head + "Transfer-Encoding: chunked\r\n\r\n1;" + std::string(2000, 'e'), false,
         HttpAnswerBad, 0, "", false},
    }, HttpUntilBodyEnd, 1024);
    // Headers up to the limit are fine.
    std::string most = head + "X-Pad: " + std::string(HttpHeadLimit - head.size() - 11, 'a') + "\r\n\r\n";
    ASSERT_EQ(most.size(), HttpHeadLimit);
    ExpectRows({{"headers at the limit", most, true, HttpAnswerDone, 200, "", true}}, HttpUntilBodyEnd, 1024);
}

TEST(HttpAnswer, ReadsOnlyAsFarAsAsked)
{
    const std::string redirect = "HTTP/1.0 302 Found\r\nLocation:  /view?session=k&view=3 \r\n"
                                 "Content-Length: 1000000\r\n\r\n";
    HttpAnswerReader reader;
    StartHttpAnswer(&reader, HttpUntilHeaders, 0);
    EXPECT_EQ(Feed(&reader, redirect + "body that is never looked at", 1, false), HttpAnswerDone);
    EXPECT_EQ(reader.status, 302);
    EXPECT_EQ(reader.location, "/view?session=k&view=3");
    EXPECT_FALSE(reader.complete);

    StartHttpAnswer(&reader, HttpUntilStatus, 0);
    EXPECT_EQ(Feed(&reader, "HTTP/1.0 200 OK\r\n", 0, false), HttpAnswerDone);
    EXPECT_EQ(reader.status, 200);

    StartHttpAnswer(&reader, HttpUntilHeaders, 0);
    EXPECT_EQ(Feed(&reader, "HTTP/1.0 302 Found\r\nLocation: /" + std::string(2047, 'x') + "\r\n\r\n", 0, false),
              HttpAnswerDone);
    EXPECT_EQ(reader.location, "") << "a target over 2047 bytes is none";

    // A body longer than the limit gives its first bytes, however framed.
    for (const std::string &answer :
         {std::string("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n") + std::string(100, 'b'),
          std::string("HTTP/1.0 200 OK\r\n\r\n") + std::string(100, 'b'),
          std::string("HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n64\r\n") + std::string(100, 'b')}) {
        StartHttpAnswer(&reader, HttpUntilBodyEnd, 10);
        EXPECT_EQ(Feed(&reader, answer, 3, false), HttpAnswerDone) << Printable(answer);
        EXPECT_EQ(reader.body, std::string(10, 'b'));
        EXPECT_TRUE(reader.bodyCut);
        EXPECT_FALSE(reader.complete);
    }
    // Exactly the limit is a whole body.
    StartHttpAnswer(&reader, HttpUntilBodyEnd, 10);
    EXPECT_EQ(Feed(&reader, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n" + std::string(10, 'b'), 0, false),
              HttpAnswerDone);
    EXPECT_FALSE(reader.bodyCut);
    EXPECT_TRUE(reader.complete);
}

} // namespace
