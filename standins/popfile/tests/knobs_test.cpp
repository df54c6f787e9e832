// The fault knobs, given as flags and changed through the control file
// while the stand-in runs.
#include "standin_fixture.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>
#include <sys/socket.h>

namespace {

using KnobsTest = StandinTest;

TEST_F(KnobsTest, FrontKeyKnobHidesEmptiesOrChangesTheKey)
{
    struct Row {
        const char* mode;
        bool found;
        const char* key;  // nullptr: the real key
    };
    const Row rows[] = {
        {"normal", true, nullptr},
        {"missing", false, ""},
        {"empty", true, ""},
        {"wrong", true, "wrong8f1c3a52d9e04b7c6a1e5f2d3b4c9a07"},
    };
    Start();
    for (const Row& row : rows) {
        WriteTextFile(ControlPath(), std::string("front-key ") + row.mode + "\n");
        std::string page = BodyOf(HttpGet(run.httpPort, "/"));
        bool found = false;
        EXPECT_EQ(row.key ? row.key : run.key, ScanKeyLikePlugin(page, &found)) << "front-key " << row.mode;
        EXPECT_EQ(row.found, found) << "front-key " << row.mode;
        // The bucket page keeps the real key.
        EXPECT_EQ(run.key, ScanKeyLikePlugin(BodyOf(HttpGet(run.httpPort, "/buckets")), &found));
    }
}

// With a password every page is the login page, and a form is not taken.
TEST_F(KnobsTest, PasswordKnobShowsTheLoginPageEverywhere)
{
    Start();
    RetrieveAll(1);
    WriteTextFile(ControlPath(), "password on\n");
    for (const char* target : {"/", "/buckets", "/jump_to_message?view=1"}) {
        std::string answer = HttpGet(run.httpPort, target);
        bool found = true;
        ScanKeyLikePlugin(BodyOf(answer), &found);
        EXPECT_FALSE(found) << target;
        EXPECT_NE(std::string::npos, BodyOf(answer).find("<form action=\"/password\"")) << target;
    }
    std::string records = Records();
    EXPECT_EQ(200, StatusOf(HttpPost(run.httpPort, "/history", ReclassifyBody(run.key, 1, "spam"))));
    EXPECT_EQ(records, Records());
}

TEST_F(KnobsTest, BucketsPageKnobLeavesOutBucketsOrTheSessionLink)
{
    Start({"--buckets-page", "no-buckets"});
    std::string page = BodyOf(HttpGet(run.httpPort, "/buckets"));
    bool found = false;
    EXPECT_TRUE(ScanBucketsLikePlugin(page).empty());
    EXPECT_EQ(run.key, ScanKeyLikePlugin(page, &found));

    WriteTextFile(ControlPath(), "buckets-page no-session\n");
    page = BodyOf(HttpGet(run.httpPort, "/buckets"));
    EXPECT_TRUE(ScanBucketsLikePlugin(page).empty());
    ScanKeyLikePlugin(page, &found);
    EXPECT_FALSE(found);
    EXPECT_NE(std::string::npos, page.find("showbucket=spam\"")) << "the bucket links are still there";

    WriteTextFile(ControlPath(), "buckets-page normal\n");
    EXPECT_EQ((std::vector<std::string>{"spam", "work", "personal"}),
              ScanBucketsLikePlugin(BodyOf(HttpGet(run.httpPort, "/buckets"))));
    WriteTextFile(ControlPath(), "buckets-page normal\nbucket-order reversed\n");
    EXPECT_EQ((std::vector<std::string>{"personal", "work", "spam"}),
              ScanBucketsLikePlugin(BodyOf(HttpGet(run.httpPort, "/buckets"))));
}

TEST_F(KnobsTest, PatternsAndBucketNamesInOtherLetterCase)
{
    Start({"--pattern-case", "upper", "--bucket-case", "mixed"});
    RetrieveAll();
    std::string front = BodyOf(HttpGet(run.httpPort, "/"));
    std::string buckets = BodyOf(HttpGet(run.httpPort, "/buckets"));
    EXPECT_EQ(std::string::npos, front.find("/history?session="));
    EXPECT_NE(std::string::npos, front.find("/HISTORY?SESSION=" + run.key + "\""));
    EXPECT_NE(std::string::npos, buckets.find("SHOWBUCKET=SpAm\""));
    EXPECT_EQ((std::vector<std::string>{"SpAm", "WoRk", "PeRsOnAl"}), ScanBucketsLikePlugin(buckets));

    WriteTextFile(ControlPath(), "pattern-case mixed\nbucket-case upper\n");
    front = BodyOf(HttpGet(run.httpPort, "/"));
    EXPECT_NE(std::string::npos, front.find("/HiStOrY?sEsSiOn=" + run.key + "\""));
    EXPECT_EQ((std::vector<std::string>{"SPAM", "WORK", "PERSONAL"}),
              ScanBucketsLikePlugin(BodyOf(HttpGet(run.httpPort, "/buckets"))));

    // A name as the page writes it is accepted and recorded as the bucket.
    EXPECT_EQ(200, StatusOf(HttpPost(run.httpPort, "/history", ReclassifyBody(run.key, 1, "PERSONAL"))));
    EXPECT_NE(std::string::npos, Records().find("1\t01-meeting\twork\tpersonal\n"));
    // Headers keep the bucket's own name.
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_NE(std::string::npos, Pop3Command(&client, "RETR 2", true).find("X-Text-Classification: spam\r\n"));
    Pop3Close(&client);
}

TEST_F(KnobsTest, StatusKnobAnswersErrorsWithBodies)
{
    Start({"--status", "/buckets 500", "--status", "/ 404 page"});
    RetrieveAll();
    std::string buckets = HttpGet(run.httpPort, "/buckets");
    EXPECT_EQ(500, StatusOf(buckets));
    EXPECT_NE(std::string::npos, BodyOf(buckets).find("500 Internal Server Error"));
    EXPECT_TRUE(ScanBucketsLikePlugin(BodyOf(buckets)).empty());
    std::string front = HttpGet(run.httpPort, "/");
    EXPECT_EQ(404, StatusOf(front));
    bool found = false;
    EXPECT_EQ(run.key, ScanKeyLikePlugin(BodyOf(front), &found)) << "\"page\" keeps the real page";

    // A failing form page records nothing; with "page" it records.
    WriteTextFile(ControlPath(), "status /history 500\n");
    EXPECT_EQ(500, StatusOf(HttpPost(run.httpPort, "/history", ReclassifyBody(run.key, 1, "spam"))));
    EXPECT_NE(std::string::npos, Records().find("1\t01-meeting\twork\twork\n"));
    WriteTextFile(ControlPath(), "status /history drop\n");
    EXPECT_EQ("", HttpPost(run.httpPort, "/history", ReclassifyBody(run.key, 1, "spam")));
    EXPECT_NE(std::string::npos, Records().find("1\t01-meeting\twork\twork\n"));
    WriteTextFile(ControlPath(), "status /history 500 page\n");
    EXPECT_EQ(500, StatusOf(HttpPost(run.httpPort, "/history", ReclassifyBody(run.key, 1, "spam"))));
    EXPECT_NE(std::string::npos, Records().find("1\t01-meeting\twork\tspam\n"));
    // "hold": the form is recorded, and the answer never comes.
    WriteTextFile(ControlPath(), "status /history hold\n");
    int held = ConnectTo(run.httpPort);
    ASSERT_GE(held, 0);
    std::string body = ReclassifyBody(run.key, 1, "work");
    ASSERT_TRUE(SendText(held, "POST /history HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\n\r\n" + body));
    EXPECT_TRUE(WaitUntil([&]() { return Records().find("1\t01-meeting\twork\twork\n") != std::string::npos; }, 5000));
    char byte;
    EXPECT_EQ(-1, recv(held, &byte, 1, MSG_DONTWAIT)) << "no answer on a held request";
    close(held);
    // The requests are in the log with the status they got (0: dropped). A
    // request's line is written after its answer (or its records, when held).
    std::string indexPath = run.stateDir + "/requests/index.txt";
    EXPECT_TRUE(WaitUntil([&]() { return FileLines(indexPath).size() >= 6; }, 5000));
    std::vector<std::string> index = FileLines(indexPath);
    ASSERT_EQ(6u, index.size());
    EXPECT_EQ("0003\tPOST\t/history\t500", index[2].substr(0, 22));
    EXPECT_EQ("0004\tPOST\t/history\t0\t", index[3].substr(0, 21));
}

TEST_F(KnobsTest, SlowAnswersWaitBeforeResponding)
{
    Start({"--http-slow-ms", "300", "--pop3-slow-ms", "200"});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(200, StatusOf(HttpGet(run.httpPort, "/")));
    auto httpTook = std::chrono::steady_clock::now() - start;
    EXPECT_GE(httpTook, std::chrono::milliseconds(300));
    EXPECT_TRUE(FileExists(run.stateDir + "/requests/0001.raw"));

    start = std::chrono::steady_clock::now();
    Pop3Client client;
    ASSERT_TRUE(Pop3Open(&client, run.pop3Port));
    EXPECT_EQ("+OK POPFile stand-in signing off\r\n", Pop3Command(&client, "QUIT"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    Pop3Close(&client);
}

// A flood pads the page to the size asked with bucket links; a trickle
// changes only the pace, not the bytes.
TEST_F(KnobsTest, FloodAndTrickleKeepThePageAndItsLength)
{
    Start();
    std::string page = BodyOf(HttpGet(run.httpPort, "/buckets"));
    WriteTextFile(ControlPath(), "http-flood-bytes 100000\n");
    std::string flooded = HttpGet(run.httpPort, "/buckets");
    EXPECT_NE(std::string::npos, flooded.find("\r\nContent-Length: 100000\r\n"));
    ASSERT_EQ(100000u, BodyOf(flooded).size());
    EXPECT_EQ(page, BodyOf(flooded).substr(0, page.size()));
    EXPECT_NE(std::string::npos, BodyOf(flooded).find("showbucket=flood1\""));
    WriteTextFile(ControlPath(), "http-trickle-ms 1\n");
    EXPECT_EQ(page, BodyOf(HttpGet(run.httpPort, "/buckets")));
    WriteTextFile(ControlPath(), "http-header-trickle-ms 1\n");
    EXPECT_EQ(page, BodyOf(HttpGet(run.httpPort, "/buckets")));
}

// Endless chunks: a chunked answer whose first chunk is the page and whose
// further chunks go on for as long as the client reads.
TEST_F(KnobsTest, EndlessChunksBeginWithThePage)
{
    Start({"--http-endless-chunks", "on"});
    int fd = ConnectTo(run.httpPort);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendText(fd, "GET /buckets HTTP/1.0\r\n\r\n"));
    std::string answer;
    char chunk[65536];
    while (answer.size() < 1000000) {
        ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        ASSERT_GT(got, 0) << "the answer ended after " << answer.size() << " bytes";
        answer.append(chunk, static_cast<size_t>(got));
    }
    close(fd);
    size_t head = answer.find("\r\n\r\n");
    ASSERT_NE(std::string::npos, head);
    EXPECT_NE(std::string::npos, answer.substr(0, head).find("\r\nTransfer-Encoding: chunked"));
    EXPECT_EQ(std::string::npos, answer.substr(0, head).find("Content-Length"));
    size_t size = std::stoul(answer.substr(head + 4), nullptr, 16);
    size_t data = answer.find("\r\n", head + 4) + 2;
    std::string page = answer.substr(data, size);
    EXPECT_EQ(3u, ScanBucketsLikePlugin(page).size()) << page;
    EXPECT_NE(std::string::npos, answer.find("showbucket=chunk1\""));
}

TEST_F(KnobsTest, ConnectionsClosedAfterSomeBytes)
{
    Start({"--http-close-after", "20"});
    std::string answer = HttpExchange(run.httpPort, "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ("HTTP/1.1 200 OK\r\nSer", answer);
    WriteTextFile(ControlPath(), "http-close-after 0\npop3-close-after 10\n");
    EXPECT_EQ("", HttpExchange(run.httpPort, "GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    int fd = ConnectTo(run.pop3Port);
    ASSERT_GE(fd, 0);
    EXPECT_EQ("+OK POP3 P", ReceiveUntilClose(fd));
    close(fd);

    // The greeting (40 bytes) and the first five bytes of the first reply.
    WriteTextFile(ControlPath(), "pop3-close-after 45\n");
    fd = ConnectTo(run.pop3Port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendText(fd, "USER someone\r\n"));
    EXPECT_EQ("+OK POP3 POPFile stand-in server ready\r\n+OK u", ReceiveUntilClose(fd));
    close(fd);
}

TEST_F(KnobsTest, PortsOpenAfterTheirDelay)
{
    Start({"--pop3-delay", "0.6", "--http-delay", "never"});
    EXPECT_FALSE(PortAccepts(run.pop3Port)) << "refused at first";
    EXPECT_FALSE(PortAccepts(run.httpPort));
    EXPECT_TRUE(WaitUntil([&]() { return PortAccepts(run.pop3Port); }, 5000));
    EXPECT_FALSE(PortAccepts(run.httpPort)) << "never means never";

    WriteTextFile(ControlPath(), "http-delay 0\npop3-delay never\n");
    EXPECT_TRUE(WaitUntil([&]() { return PortAccepts(run.httpPort); }, 5000));
    EXPECT_TRUE(WaitUntil([&]() { return !PortAccepts(run.pop3Port); }, 5000)) << "closed again";
    std::remove(ControlPath().c_str());
    EXPECT_TRUE(WaitUntil([&]() { return PortAccepts(run.pop3Port); }, 5000)) << "delay from the flag again";
    EXPECT_TRUE(WaitUntil([&]() { return !PortAccepts(run.httpPort); }, 5000));
}

// A port closed by its delay knob is POPFile stopped: the connections it
// accepted end too, a kept-alive one included, and the control file's
// text is acknowledged once the ports are as it says.
TEST_F(KnobsTest, ClosedPortEndsTheConnectionsItAccepted)
{
    Start({"--http-keep-alive", "on"});
    int kept = ConnectTo(run.httpPort);
    ASSERT_GE(kept, 0);
    const std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(SendText(kept, request));
    std::string answer;
    while (answer.find("</html>\n") == std::string::npos) {
        char chunk[4096];
        ssize_t got = recv(kept, chunk, sizeof chunk, 0);
        ASSERT_GT(got, 0);
        answer.append(chunk, static_cast<size_t>(got));
    }
    ASSERT_NE(std::string::npos, answer.find("Connection: keep-alive\r\n"));
    Pop3Client session;
    ASSERT_TRUE(Pop3Login(&session, run.pop3Port));

    const std::string stopped = "http-delay never\npop3-delay never\n";
    WriteTextFile(ControlPath(), stopped);
    ASSERT_TRUE(WaitUntil([&]() { return ReadTextFile(run.stateDir + "/control.applied") == stopped; }, 5000));
    EXPECT_FALSE(PortAccepts(run.httpPort));
    EXPECT_FALSE(PortAccepts(run.pop3Port));
    SendText(kept, request); // may fail already: the connection is gone
    EXPECT_EQ("", ReceiveUntilClose(kept)) << "a kept connection is not served after the stop";
    close(kept);
    EXPECT_EQ("", Pop3Command(&session, "NOOP")) << "the POP3 session ended";
    Pop3Close(&session);
}

TEST_F(KnobsTest, LinkBaseKnobChangesTheLinkHeader)
{
    Start({"--link-base", "http://localhost:8080"});
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_NE(std::string::npos,
              Pop3Command(&client, "RETR 1", true).find("X-POPFile-Link: http://localhost:8080/jump_to_message?view=1\r\n"));
    Pop3Close(&client);
}

TEST_F(KnobsTest, BadControlLinesAreSkipped)
{
    Start();
    WriteTextFile(ControlPath(), "# comment\n\nfront-key sideways\nno-such-knob 1\nfront-key missing\n");
    bool found = true;
    ScanKeyLikePlugin(BodyOf(HttpGet(run.httpPort, "/")), &found);
    EXPECT_FALSE(found) << "the good line after the bad ones applies";
}

TEST_F(KnobsTest, StopSignalEndsOpenConnections)
{
    Start({"--http-slow-ms", "60000"});
    Pop3Client idle;
    ASSERT_TRUE(Pop3Login(&idle, run.pop3Port));
    int waiting = ConnectTo(run.httpPort);
    ASSERT_GE(waiting, 0);
    ASSERT_TRUE(SendText(waiting, "GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(WaitUntil([&]() { return FileExists(run.stateDir + "/requests/0001.raw"); }, 3000));
    // StopStandin gives up after five seconds, well before the slow answer.
    EXPECT_EQ(0, StopStandin(&run));
    started = false;
    close(waiting);
    Pop3Close(&idle);
}

}  // namespace
