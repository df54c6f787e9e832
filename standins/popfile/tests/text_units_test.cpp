// The stand-in's text functions, called directly: form decoding, request
// parsing, message shaping, classifier rules and knob values.
#include "classifier_rules.h"
#include "form_fields.h"
#include "http_request.h"
#include "mail_message.h"
#include "standin_options.h"
#include "web_pages.h"

#include <gtest/gtest.h>

namespace {

TEST(FormFields, PercentDecodingNeverFails)
{
    const char* rows[][2] = {
        {"abc", "abc"},
        {"%41%42", "AB"},
        {"%e3%81%82", "\xE3\x81\x82"},
        {"%BA%C6", "\xBA\xC6"},
        {"a+b", "a b"},
        {"%", "%"},
        {"%4", "%4"},
        {"%G1", "%G1"},
        {"100%", "100%"},
        {"%%41", "%A"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row[1], PercentDecode(row[0], true)) << "input: " << row[0];
    EXPECT_EQ("a+b", PercentDecode("a+b", false));
}

TEST(FormFields, PluginFormSplitsIntoItsFields)
{
    std::vector<FormField> fields = ParseFormFields(
        "search=&sort=-inserted&session=K%2DY&negate=&start_message=0&filter=&reclassify_12=spam"
        "&change=%BA%C6%CA%AC%CE%E0");
    ASSERT_EQ(8u, fields.size());
    EXPECT_EQ("session", fields[2].name);
    EXPECT_EQ("K-Y", fields[2].value);
    EXPECT_EQ("K%2DY", fields[2].rawValue);
    EXPECT_EQ("reclassify_12", fields[6].name);
    EXPECT_EQ("spam", fields[6].value);
    EXPECT_EQ("\xBA\xC6\xCA\xAC\xCE\xE0", fields[7].value);
    std::vector<FormField> odd = ParseFormFields("&&flag&=v&a=b=c");
    ASSERT_EQ(3u, odd.size());
    EXPECT_EQ("flag", odd[0].name);
    EXPECT_EQ("", odd[0].value);
    EXPECT_EQ("", odd[1].name);
    EXPECT_EQ("b=c", odd[2].value);
}

TEST(HttpRequestParser, ReportsCompleteIncompleteAndBad)
{
    struct Row {
        std::string buffer;
        int result;
        int status;       // for HttpBad
        size_t rawLength;  // for HttpComplete
    };
    const std::string get = "GET /a%20b?x=1 HTTP/1.1\r\nHost: h\r\n\r\n";
    const std::string post = "POST /history HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc";
    const Row rows[] = {
        {get, HttpComplete, 0, get.size()},
        {get + "GET / HTTP/1.1\r\n", HttpComplete, 0, get.size()},
        {get.substr(0, get.size() - 1), HttpNeedMore, 0, 0},
        {"GET / HTTP/1.1\nHost: h\n\n", HttpComplete, 0, 24},
        {post, HttpComplete, 0, post.size()},
        {post.substr(0, post.size() - 1), HttpNeedMore, 0, 0},
        {"POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", HttpNeedMore, 0, 0},
        {"POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", HttpComplete, 0, 69},
        {"GET  / HTTP/1.1\r\n\r\n", HttpBad, 400, 0},
        {"GET / HTTP/1.1 extra\r\n\r\n", HttpBad, 400, 0},
        {"GET / FTP/1.0\r\n\r\n", HttpBad, 400, 0},
        {"G(T / HTTP/1.1\r\nHost: h\r\n\r\n", HttpBad, 400, 0},
        {"GET /\x01 HTTP/1.1\r\nHost: h\r\n\r\n", HttpBad, 400, 0},
        {"GET / HTTP/1.1\r\nBad Name: v\r\n\r\n", HttpBad, 400, 0},
        {"GET / HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n", HttpBad, 400, 0},
        {"GET / HTTP/1.1\r\nHost: h\r\nContent-Length: 1048577\r\n\r\n", HttpBad, 413, 0},
        {"GET / HTTP/1.1\r\nHost: " + std::string(70000, 'h'), HttpBad, 431, 0},
    };
    for (const Row& row : rows) {
        HttpRequest request;
        int status = 0;
        int result = ParseHttpRequest(row.buffer, HttpLimits(), &request, &status);
        EXPECT_EQ(row.result, result) << "request: " << row.buffer.substr(0, 60);
        if (result == HttpBad) {
            EXPECT_EQ(row.status, status) << "request: " << row.buffer.substr(0, 60);
        }
        if (result == HttpComplete) {
            EXPECT_EQ(row.rawLength, request.rawLength) << "request: " << row.buffer.substr(0, 60);
        }
    }
}

TEST(HttpRequestParser, FillsTheRequestRecord)
{
    HttpRequest request;
    int status = 0;
    ASSERT_EQ(HttpComplete, ParseHttpRequest("GET http://h:1/jump_to_message?view=3 HTTP/1.0\r\nConnection: Keep-Alive"
                                             "\r\nX-A:\t spaced \t\r\n\r\n",
                                             HttpLimits(), &request, &status));
    EXPECT_EQ("/jump_to_message", request.path);
    EXPECT_EQ("view=3", request.query);
    EXPECT_TRUE(request.keepAlive);
    ASSERT_NE(nullptr, FindHttpHeader(request, "x-a"));
    EXPECT_EQ("spaced", *FindHttpHeader(request, "x-a"));
    ASSERT_EQ(HttpComplete, ParseHttpRequest("POST /%68istory HTTP/1.1\r\nHost: h\r\nConnection: close\r\n"
                                             "Transfer-Encoding: Chunked\r\n\r\n2;x=y\r\nab\r\n1\r\nc\r\n0\r\nT: 1\r\n\r\n",
                                             HttpLimits(), &request, &status));
    EXPECT_EQ("/history", request.path);
    EXPECT_EQ("abc", request.body);
    EXPECT_FALSE(request.keepAlive);
    EXPECT_EQ(3u, LeadingBlankLines("\r\n\nGET"));
}

TEST(MailMessage, DeliveredTextHasCrLfAndExtraHeadersBeforeTheBody)
{
    const std::vector<std::string> extra = {"X-A: 1", "X-B: 2"};
    const char* rows[][2] = {
        {"S: x\n\nbody\n", "S: x\r\nX-A: 1\r\nX-B: 2\r\n\r\nbody\r\n"},
        {"S: x\r\n\r\nbody", "S: x\r\nX-A: 1\r\nX-B: 2\r\n\r\nbody\r\n"},
        {"S: x\n f\n\n\n", "S: x\r\n f\r\nX-A: 1\r\nX-B: 2\r\n\r\n\r\n"},
        {"S: x\n", "S: x\r\nX-A: 1\r\nX-B: 2\r\n\r\n"},
        {"\nbody\n", "X-A: 1\r\nX-B: 2\r\n\r\nbody\r\n"},
        {"", "X-A: 1\r\nX-B: 2\r\n\r\n"},
        {"S: x\r\r\n\nb\rc\n", "S: x\r\r\nX-A: 1\r\nX-B: 2\r\n\r\nb\rc\r\n"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row[1], BuildDeliveredMessage(SplitMessageLines(row[0]), extra)) << "input: " << row[0];
    EXPECT_EQ("S: x\r\n\r\nb\r\n", BuildDeliveredMessage(SplitMessageLines("S: x\n\nb"), {}));
    EXPECT_EQ("S: x\r\n", BuildDeliveredMessage(SplitMessageLines("S: x"), {}));
}

TEST(MailMessage, DotStuffingAndTop)
{
    EXPECT_EQ("..a\r\nb.\r\n..\r\n...\r\n.\r\n", DotStuffed(".a\r\nb.\r\n.\r\n..\r\n"));
    EXPECT_EQ(".\r\n", DotStuffed(""));
    EXPECT_EQ("x\r\n.\r\n", DotStuffed("x"));
    const std::string message = "H: 1\r\n\r\nl1\r\nl2\r\nl3\r\n";
    EXPECT_EQ("H: 1\r\n\r\n", TopOfMessage(message, 0));
    EXPECT_EQ("H: 1\r\n\r\nl1\r\nl2\r\n", TopOfMessage(message, 2));
    EXPECT_EQ(message, TopOfMessage(message, 99));
    EXPECT_EQ("\r\nb\r\n", TopOfMessage("\r\nb\r\nc\r\n", 1));
}

TEST(MailMessage, HeaderFieldValueIgnoresCaseAndJoinsFolds)
{
    std::vector<std::string> lines = SplitMessageLines("Subject: a\n\tb\nx-standin-bucket:  work \n\nSubject: body\n");
    EXPECT_EQ("a\tb", HeaderFieldValue(lines, "SUBJECT"));
    EXPECT_EQ("work", HeaderFieldValue(lines, "X-Standin-Bucket"));
    EXPECT_EQ("", HeaderFieldValue(lines, "From"));
    EXPECT_EQ("", HeaderFieldValue(lines, "Subj"));
}

TEST(ClassifierRules, ParsesAndClassifiesInKeywordOrder)
{
    ClassifierRules rules;
    std::string error;
    ASSERT_EQ(0, ParseClassifierRules("# rules\nbucket inbox\nkeyword spam Free Money\nkeyword work meeting\n"
                                      "keyword spam meeting\ndefault inbox\n",
                                      &rules, &error));
    EXPECT_EQ((std::vector<std::string>{"inbox", "spam", "work"}), rules.buckets);
    struct Row {
        const char* message;
        const char* bucket;
    };
    const Row rows[] = {
        {"Subject: FREE money now\n\nx\n", "spam"},
        {"Subject: hi\n\nthe Meeting is at 3\n", "work"},
        {"Subject: hi\nFrom: free money <a@b>\n\n", "spam"},
        {"Subject: hi\nX-Other: free money\n\nnothing\n", "inbox"},
        {"Subject: meeting\nX-Standin-Bucket: custom\n\n", "custom"},
        {"", "inbox"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.bucket, ClassifyMessage(rules, SplitMessageLines(row.message))) << "message: " << row.message;
}

TEST(ClassifierRules, BadLinesAreRefusedWithTheirNumber)
{
    const char* rows[] = {"bucket\n", "bucket two words\n", "bucket bad/name\n", "keyword spam\n",
                          "default\n", "colour spam\n"};
    for (const char* text : rows) {
        ClassifierRules rules;
        std::string error;
        EXPECT_EQ(-1, ParseClassifierRules(std::string("bucket ok\n") + text, &rules, &error)) << "text: " << text;
        EXPECT_EQ("line 2", error.substr(0, 6)) << "text: " << text;
        EXPECT_TRUE(rules.buckets.empty()) << "rules untouched for: " << text;
    }
    ClassifierRules builtIn;
    std::string error;
    EXPECT_EQ(0, ParseClassifierRules(BuiltInClassifierText(), &builtIn, &error));
}

TEST(StandinOptions, KnobValuesAreCheckedAndBadOnesChangeNothing)
{
    struct Row {
        const char* name;
        const char* value;
        int result;
    };
    const Row rows[] = {
        {"pop3-delay", "1.5", 0},   {"pop3-delay", "never", 0}, {"pop3-delay", "-1", -1},
        {"http-delay", "soon", -1}, {"front-key", "wrong", 0},  {"front-key", "WRONG", -1},
        {"buckets-page", "no-session", 0}, {"status", "/buckets 500", 0}, {"status", "/ 404 page", 0},
        {"status", "buckets 500", -1}, {"status", "/x 99", -1}, {"status", "/x 500 body", -1},
        {"http-slow-ms", "250", 0}, {"http-slow-ms", "2.5", -1}, {"pop3-close-after", "-1", 0},
        {"pop3-close-after", "-2", -1}, {"pattern-case", "asis", -1}, {"bucket-case", "asis", 0},
        {"link-base", "http://h/", 0}, {"no-such", "1", -1},
    };
    for (const Row& row : rows) {
        StandinKnobs knobs;
        knobs.httpSlowMs = 7;
        EXPECT_EQ(row.result, ApplyKnob(&knobs, row.name, row.value)) << row.name << " " << row.value;
        if (row.result != 0) {
            EXPECT_EQ(7, knobs.httpSlowMs) << row.name << " " << row.value;
        }
    }
    StandinKnobs knobs;
    EXPECT_EQ(1, ApplyControlText(&knobs, "# c\n\n  http-slow-ms   40  \r\nstatus /a 500\nstatus /b 404 page\nbad\n"));
    EXPECT_EQ(40, knobs.httpSlowMs);
    ASSERT_EQ(2u, knobs.statusRules.size());
    EXPECT_EQ("/b", knobs.statusRules[1].path);
    EXPECT_TRUE(knobs.statusRules[1].realBody);
}

TEST(StandinOptions, CommandLineTakesBothFlagForms)
{
    const char* argv[] = {"x", "--pop3-port", "1110", "--http-port=8080", "--key", "k1", "--front-key", "empty"};
    StandinOptions options;
    std::string error;
    ASSERT_EQ(0, ParseCommandLine(8, const_cast<char**>(argv), &options, &error)) << error;
    EXPECT_EQ(1110, options.pop3Port);
    EXPECT_EQ(8080, options.httpPort);
    EXPECT_EQ("k1", options.key);
    EXPECT_EQ(FrontKeyMode::Empty, options.knobs.frontKey);
    const char* bad[][2] = {{"--key", "has\"quote"}, {"--http-port", "70000"}, {"--bogus", "1"}, {"--key", ""}};
    for (const auto& flag : bad) {
        const char* args[] = {"x", flag[0], flag[1]};
        StandinOptions defaults;
        EXPECT_EQ(-1, ParseCommandLine(3, const_cast<char**>(args), &defaults, &error)) << flag[0] << " " << flag[1];
    }
}

TEST(WebPages, LetterCases)
{
    EXPECT_EQ("/HiStOrY?sEsSiOn=", InLetterCase("/history?session=", LetterCase::Mixed));
    EXPECT_EQ("SHOWBUCKET=", InLetterCase("showbucket=", LetterCase::Upper));
    EXPECT_EQ("spam_2", InLetterCase("SPAM_2", LetterCase::Lower));
    EXPECT_EQ("MiXed", InLetterCase("MiXed", LetterCase::AsIs));
}

}  // namespace
