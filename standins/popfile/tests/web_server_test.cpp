// The web interface of the running stand-in: the two pages' patterns, the
// reclassification form, the request log and bad requests.
#include "standin_fixture.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {

using WebServerTest = StandinTest;

TEST_F(WebServerTest, FrontPageHoldsTheKeyInAHistoryLink)
{
    Start();
    std::string response = HttpGet(run.httpPort, "/");
    ASSERT_EQ(200, StatusOf(response));
    bool found = false;
    EXPECT_EQ("8f1c3a52d9e04b7c6a1e5f2d3b4c9a07", ScanKeyLikePlugin(BodyOf(response), &found));
    EXPECT_TRUE(found);
    EXPECT_NE(std::string::npos, BodyOf(response).find("/history?session=" + run.key + "\""));
}

TEST_F(WebServerTest, KeyCanBeGivenOrRandom)
{
    Start({"--key", "abc-123"});
    bool found = false;
    EXPECT_EQ("abc-123", ScanKeyLikePlugin(BodyOf(HttpGet(run.httpPort, "/")), &found));
    ASSERT_EQ(0, StopStandin(&run));
    Start({"--key", "random"});
    EXPECT_EQ(32u, run.key.size());
    EXPECT_EQ(run.key, ScanKeyLikePlugin(BodyOf(HttpGet(run.httpPort, "/")), &found));
}

TEST_F(WebServerTest, BucketPageListsBucketsAfterTheHistoryLink)
{
    WriteTextFile(run.root + "/rules", "bucket inbox\nkeyword spam winner\nbucket work_mail\ndefault inbox\n");
    Start({"--classifier", run.root + "/rules"});
    std::string page = BodyOf(HttpGet(run.httpPort, "/buckets"));
    EXPECT_EQ((std::vector<std::string>{"inbox", "spam", "work_mail"}), ScanBucketsLikePlugin(page));
    bool found = false;
    EXPECT_EQ(run.key, ScanKeyLikePlugin(page, &found));
}

TEST_F(WebServerTest, ReclassificationFormIsRecordedWithTheRightKey)
{
    Start();
    RetrieveAll();
    std::string response = HttpPost(run.httpPort, "/history", ReclassifyBody(run.key, 1, "spam"));
    EXPECT_EQ(200, StatusOf(response));
    EXPECT_EQ("1\t01-meeting\twork\tspam\n2\t02-winner\tspam\tspam\n3\t03-plain\tunclassified\tunclassified\n"
              "4\t05-forced\tpersonal\tpersonal\n",
              Records());
    EXPECT_EQ("1\twork\tspam\n", ReadTextFile(run.stateDir + "/reclassify.log"));

    // Percent-escaped key and bucket are decoded.
    std::string escapedKey;
    for (char c : run.key) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
        escapedKey += hex;
    }
    EXPECT_EQ(200, StatusOf(HttpPost(run.httpPort, "/history", ReclassifyBody(escapedKey, 3, "%70ersonal"))));
    EXPECT_NE(std::string::npos, Records().find("3\t03-plain\tunclassified\tpersonal\n"));

    // A message retrieved again goes out under its new bucket and number.
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_NE(std::string::npos,
              Pop3Command(&client, "RETR 1", true).find("X-Text-Classification: spam\r\nX-POPFile-Link: " + Link(1)));
    Pop3Close(&client);
}

TEST_F(WebServerTest, BadFormsRecordNothing)
{
    Start();
    RetrieveAll();
    std::string before = Records();
    std::string key = run.key;
    const std::string rows[][2] = {
        {ReclassifyBody("wrong", 1, "spam"), "403"},
        {ReclassifyBody("", 1, "spam"), "403"},
        {ReclassifyBody(key + "x", 1, "spam"), "403"},
        {"reclassify_1=spam", "403"},
        {ReclassifyBody(key, 9, "spam"), "400"},
        {ReclassifyBody(key, 0, "spam"), "400"},
        {"session=" + key + "&reclassify_x=spam", "400"},
        {"session=" + key + "&reclassify_-1=spam", "400"},
        {ReclassifyBody(key, 1, "nosuchbucket"), "400"},
        {ReclassifyBody(key, 1, ""), "400"},
        {ReclassifyBody(key, 1, "SPAM"), "400"},
        {"session=" + key + "&reclassify_1=spam&reclassify_9=work", "400"},
        {"session=" + key, "200"},
        {"", "403"},
    };
    for (const auto& row : rows) {
        std::string response = HttpPost(run.httpPort, "/history", row[0]);
        EXPECT_EQ(std::stoi(row[1]), StatusOf(response)) << "body: " << row[0];
        EXPECT_EQ(before, Records()) << "body: " << row[0];
    }
    EXPECT_FALSE(FileExists(run.stateDir + "/reclassify.log"));
    EXPECT_EQ(200, StatusOf(HttpGet(run.httpPort, "/"))) << "still serving";
}

// As POPFile: the link redirects to the message's page while the message
// is in the history and to the history page once it is gone; a correction
// of a gone message is answered 200 and records nothing.
TEST_F(WebServerTest, MessageLinkRedirectsWhileTheMessageIsInTheHistory)
{
    Start();
    RetrieveAll();
    std::string response = HttpGet(run.httpPort, "/jump_to_message?view=2");
    EXPECT_EQ(302, StatusOf(response));
    EXPECT_NE(std::string::npos, response.find("\r\nLocation: /view?session=" + run.key + "&view=2\r\n"))
        << response;
    response = HttpGet(run.httpPort, "/view?session=" + run.key + "&view=2");
    EXPECT_EQ(200, StatusOf(response));
    EXPECT_NE(std::string::npos, BodyOf(response).find("Subject: You are a winner"));
    for (const char* target : {"/jump_to_message?view=77", "/jump_to_message?view=abc", "/jump_to_message",
                               "/view?view=77"}) {
        response = HttpGet(run.httpPort, target);
        EXPECT_EQ(302, StatusOf(response)) << target;
        EXPECT_NE(std::string::npos, response.find("\r\nLocation: /history\r\n")) << target;
    }

    WriteTextFile(ControlPath(), "gone-view 1\ngone-view 2\n");
    std::string before = Records();
    for (const char* target : {"/jump_to_message?view=2", "/view?view=1"})
        EXPECT_NE(std::string::npos, HttpGet(run.httpPort, target).find("\r\nLocation: /history\r\n")) << target;
    EXPECT_EQ(200, StatusOf(HttpPost(run.httpPort, "/history", ReclassifyBody(run.key, 1, "spam"))));
    EXPECT_EQ(before, Records());
    EXPECT_NE(std::string::npos, HttpGet(run.httpPort, "/jump_to_message?view=3").find("&view=3\r\n"));
}

TEST_F(WebServerTest, RequestLogHoldsEachRequestByteForByte)
{
    Start({"--http-keep-alive", "on"});
    // Two requests in one write on a kept-alive connection, the second with
    // a body, odd header spelling and no Content-Type, as WinInet sends it.
    std::string first = "GET /buckets HTTP/1.1\r\nUser-Agent: sortella\r\nHost: 127.0.0.1\r\n"
                        "Cache-Control: no-cache\r\n\r\n";
    std::string body = ReclassifyBody(run.key, 5, "spam");
    std::string second = "POST /history HTTP/1.1\r\nUser-Agent: sortella\r\nhost: 127.0.0.1\r\n"
                         "content-LENGTH: " + std::to_string(body.size()) + "\r\nX-Odd:  two  blanks \r\n"
                         "Connection: close\r\n\r\n" + body;
    std::string answer = HttpExchange(run.httpPort, first + second);
    EXPECT_EQ(200, StatusOf(answer));
    EXPECT_NE(std::string::npos, answer.find("HTTP/1.1 400 ")) << "unknown history number 5: 400";
    HttpGet(run.httpPort, "/standin/records");  // not logged
    EXPECT_EQ(first, ReadTextFile(run.stateDir + "/requests/0001.raw"));
    EXPECT_EQ(second, ReadTextFile(run.stateDir + "/requests/0002.raw"));
    EXPECT_FALSE(FileExists(run.stateDir + "/requests/0003.raw"));
    EXPECT_EQ((std::vector<std::string>{"0001\tGET\t/buckets\t200\t" + std::to_string(first.size()),
                                        "0002\tPOST\t/history\t400\t" + std::to_string(second.size())}),
              FileLines(run.stateDir + "/requests/index.txt"));
}

TEST_F(WebServerTest, LogsGoOnAcrossARestart)
{
    Start();
    HttpGet(run.httpPort, "/");
    ASSERT_TRUE(PortAccepts(run.pop3Port));
    std::string pop3Log = run.stateDir + "/pop3.log";
    ASSERT_TRUE(WaitUntil([&]() { return FileLines(pop3Log).size() == 2; }, 3000));
    ASSERT_EQ(0, StopStandin(&run));
    Start();
    HttpGet(run.httpPort, "/buckets");
    ASSERT_TRUE(PortAccepts(run.pop3Port));
    ASSERT_TRUE(WaitUntil([&]() { return FileLines(pop3Log).size() == 4; }, 3000));
    EXPECT_EQ((std::vector<std::string>{"1\topen", "1\tclose\t0", "2\topen", "2\tclose\t0"}), FileLines(pop3Log));
    std::vector<std::string> index = FileLines(run.stateDir + "/requests/index.txt");
    ASSERT_EQ(2u, index.size());
    EXPECT_EQ("0002\tGET\t/buckets\t200", index[1].substr(0, 21));
    EXPECT_TRUE(FileExists(run.stateDir + "/requests/0001.raw"));
}

TEST_F(WebServerTest, ChunkedBodyAndExpectContinueAreUnderstood)
{
    Start();
    RetrieveAll();
    std::string body = ReclassifyBody(run.key, 2, "work");
    std::string head = "POST /history HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                       "Expect: 100-continue\r\nConnection: close\r\n\r\n";
    int fd = ConnectTo(run.httpPort);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendText(fd, head));
    char interim[64] = {};
    ASSERT_GT(recv(fd, interim, sizeof interim - 1, 0), 0);
    EXPECT_STREQ("HTTP/1.1 100 Continue\r\n\r\n", interim);
    char size[16];
    std::snprintf(size, sizeof size, "%zx", body.size() - 10);
    std::string chunks = std::string(size) + ";ext=1\r\n" + body.substr(0, body.size() - 10) + "\r\na\r\n" +
                         body.substr(body.size() - 10) + "\r\n0\r\n\r\n";
    ASSERT_TRUE(SendText(fd, chunks));
    EXPECT_EQ(200, StatusOf(ReceiveUntilClose(fd)));
    close(fd);
    EXPECT_NE(std::string::npos, Records().find("2\t02-winner\tspam\twork\n"));
    EXPECT_EQ(head + chunks, ReadTextFile(run.stateDir + "/requests/0001.raw"));
}

TEST_F(WebServerTest, BadRequestsGetAnErrorAndTheServerGoesOn)
{
    Start();
    RetrieveAll();
    std::string before = Records();
    std::string hugeHeader = "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(70000, 'b') + "\r\n\r\n";
    const std::pair<std::string, int> rows[] = {
        {"garbage\r\n\r\n", 400},
        {"GET /\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\nHost: x\r\n\r\n", 505},
        {"GET / HTTP/1.1\r\n\r\n", 400},
        {"GET relative HTTP/1.1\r\nHost: x\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: x\r\nNo colon here\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", 400},
        {"POST /history HTTP/1.1\r\nHost: x\r\nContent-Length: abc\r\n\r\n", 400},
        {"POST /history HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", 400},
        {"POST /history HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000\r\n\r\n" + std::string(5000, 'z'), 413},
        {"POST /history HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n200000\r\n", 413},
        {"POST /history HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
        {"POST /history HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
        {"POST /history HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n", 400},
        {hugeHeader, 431},
        {"BREW / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 501},
        {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 405},
        {"GET /nothing HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 404},
    };
    for (const auto& row : rows) {
        std::string answer = HttpExchange(run.httpPort, row.first);
        EXPECT_EQ(row.second, StatusOf(answer)) << "request: " << row.first.substr(0, 80);
        EXPECT_EQ(200, StatusOf(HttpGet(run.httpPort, "/standin/records"))) << "after: " << row.first.substr(0, 80);
    }
    EXPECT_EQ(before, Records());
    std::vector<std::string> index = FileLines(run.stateDir + "/requests/index.txt");
    ASSERT_EQ(sizeof rows / sizeof rows[0], index.size());
    EXPECT_EQ("0001\t-\t-\t400\t" + std::to_string(std::string("garbage\r\n\r\n").size()), index[0]);
    EXPECT_EQ("POST /history HTTP/1.1\r\nHost: x\r\nContent-Length: 2000000\r\n\r\n",
              ReadTextFile(run.stateDir + "/requests/0010.raw")) << "a refused body is not logged";
}

TEST_F(WebServerTest, KeptAliveConnectionServesSeveralRequests)
{
    Start({"--http-keep-alive", "on"});
    int fd = ConnectTo(run.httpPort);
    ASSERT_GE(fd, 0);
    std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SendText(fd, request));
        std::string answer;
        while (answer.find("</html>\n") == std::string::npos) {
            char chunk[4096];
            ssize_t got = recv(fd, chunk, sizeof chunk, 0);
            ASSERT_GT(got, 0) << "connection closed at request " << i;
            answer.append(chunk, static_cast<size_t>(got));
        }
        EXPECT_EQ(200, StatusOf(answer));
        EXPECT_NE(std::string::npos, answer.find("Connection: keep-alive\r\n"));
    }
    close(fd);
}

}  // namespace

namespace {

// POPFile's way, the default: one answer per connection.
TEST_F(WebServerTest, EachAnswerClosesItsConnection)
{
    Start();
    int fd = ConnectTo(run.httpPort);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendText(fd, "GET / HTTP/1.1\r\nHost: x\r\n\r\nGET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::string answer;
    char chunk[4096];
    ssize_t got;
    while ((got = recv(fd, chunk, sizeof chunk, 0)) > 0)
        answer.append(chunk, static_cast<size_t>(got));
    close(fd);
    EXPECT_EQ(0, got) << "the server ends the connection";
    EXPECT_EQ(200, StatusOf(answer));
    EXPECT_NE(std::string::npos, answer.find("Connection: close\r\n"));
    EXPECT_EQ(answer.find("HTTP/1.1 200"), answer.rfind("HTTP/1.1 200")) << "one answer only";
}

}  // namespace
