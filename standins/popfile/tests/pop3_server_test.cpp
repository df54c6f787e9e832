// The POP3 proxy port of the running stand-in.
#include "standin_fixture.h"

#include <unistd.h>

namespace {

using Pop3ServerTest = StandinTest;

TEST_F(Pop3ServerTest, RetrInsertsClassifierHeadersAtEndOfHeaderBlock)
{
    Start();
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    std::string delivered1 =
        "From: Alice <alice@example.com>\r\nTo: bob@example.com\r\nSubject: Project meeting\r\n"
        "X-Text-Classification: work\r\nX-POPFile-Link: " + Link(1) + "\r\n\r\n"
        "Agenda:\r\n.first item\r\n..second\r\n.\r\nEnd\r\n";
    std::string stuffed1 =
        "From: Alice <alice@example.com>\r\nTo: bob@example.com\r\nSubject: Project meeting\r\n"
        "X-Text-Classification: work\r\nX-POPFile-Link: " + Link(1) + "\r\n\r\n"
        "Agenda:\r\n..first item\r\n...second\r\n..\r\nEnd\r\n.\r\n";
    EXPECT_EQ("+OK " + std::to_string(delivered1.size()) + " octets\r\n" + stuffed1,
              Pop3Command(&client, "RETR 1", true));
    EXPECT_EQ("+OK 1 " + std::to_string(delivered1.size()) + "\r\n", Pop3Command(&client, "LIST 1"));

    std::string delivered2 = "From: Lottery <win@example.net>\r\nSubject: You are a winner\r\n"
                             "X-Text-Classification: spam\r\nX-POPFile-Link: " + Link(2) +
                             "\r\n\r\nClaim now.\r\n";
    EXPECT_EQ("+OK " + std::to_string(delivered2.size()) + " octets\r\n" + delivered2 + ".\r\n",
              Pop3Command(&client, "RETR 2", true));

    std::string delivered3 = "From: carol@example.org\r\nSubject: Hello\r\nX-Text-Classification: unclassified\r\n"
                             "X-POPFile-Link: " + Link(3) + "\r\n\r\nJust saying hi.\r\n";
    EXPECT_EQ("+OK " + std::to_string(delivered3.size()) + " octets\r\n" + delivered3 + ".\r\n",
              Pop3Command(&client, "RETR 3", true));

    std::string delivered4 = "From: dave@example.org\r\nSubject: Raw\r\nX-Standin-No-Verdict: 1\r\n\r\n"
                             "Untouched body.\r\n";
    EXPECT_EQ("+OK " + std::to_string(delivered4.size()) + " octets\r\n" + delivered4 + ".\r\n",
              Pop3Command(&client, "RETR 4", true));

    std::string delivered5 = "From: erin@example.org\r\nX-Standin-Bucket: personal\r\nSubject: Folded\r\n"
                             " subject line\r\nX-Text-Classification: personal\r\nX-POPFile-Link: " + Link(4) +
                             "\r\n\r\nBody.\r\n";
    EXPECT_EQ("+OK " + std::to_string(delivered5.size()) + " octets\r\n" + delivered5 + ".\r\n",
              Pop3Command(&client, "RETR 5", true));
    Pop3Close(&client);
}

TEST_F(Pop3ServerTest, VerdictAndLinkAMessageBroughtAreReplaced)
{
    WriteTextFile(run.spoolDir + "/06-old-verdict",
                  "From: frank@example.org\r\nx-text-classification: work\r\nSubject: Old verdict\r\n"
                  "X-POPFile-Link: http://example.invalid/\r\n jump_to_message?view=9\r\n"
                  "X-Standin-Bucket: spam\r\n\r\nX-Text-Classification: body line\r\n");
    Start();
    RetrieveAll(5);
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    std::string delivered = "From: frank@example.org\r\nSubject: Old verdict\r\nX-Standin-Bucket: spam\r\n"
                            "X-Text-Classification: spam\r\nX-POPFile-Link: " + Link(5) +
                            "\r\n\r\nX-Text-Classification: body line\r\n";
    EXPECT_EQ("+OK " + std::to_string(delivered.size()) + " octets\r\n" + delivered + ".\r\n",
              Pop3Command(&client, "RETR 6", true));
    Pop3Close(&client);
}

TEST_F(Pop3ServerTest, StatListUidlAndTopAgreeWithRetr)
{
    Start();
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    std::string list = Pop3Command(&client, "LIST", true);
    std::string uidl = Pop3Command(&client, "UIDL", true);
    EXPECT_EQ("+OK unique-id listing follows\r\n1 01-meeting\r\n2 02-winner\r\n3 03-plain\r\n"
              "4 04-noverdict\r\n5 05-forced\r\n.\r\n", uidl);
    size_t total = 0;
    for (int i = 1; i <= 5; ++i) {
        std::string retr = Pop3Command(&client, "RETR " + std::to_string(i), true);
        size_t octets = std::stoul(retr.substr(4));
        std::string line = std::to_string(i) + " " + std::to_string(octets) + "\r\n";
        EXPECT_NE(std::string::npos, list.find(line)) << "LIST lacks " << line;
        total += octets;
    }
    EXPECT_EQ("+OK 5 " + std::to_string(total) + "\r\n", Pop3Command(&client, "STAT"));
    EXPECT_EQ("+OK top of message follows\r\nFrom: Alice <alice@example.com>\r\nTo: bob@example.com\r\n"
              "Subject: Project meeting\r\nX-Text-Classification: work\r\nX-POPFile-Link: " + Link(1) +
              "\r\n\r\nAgenda:\r\n..first item\r\n.\r\n",
              Pop3Command(&client, "TOP 1 2", true));
    Pop3Close(&client);
}

TEST_F(Pop3ServerTest, HistoryNumbersStayWithTheirMessages)
{
    Start();
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    // Only the second message is retrieved: it keeps view 2, planned for it.
    EXPECT_NE(std::string::npos, Pop3Command(&client, "RETR 2", true).find(Link(2) + "\r\n"));
    Pop3Command(&client, "QUIT");
    Pop3Close(&client);
    EXPECT_EQ("2\t02-winner\tspam\tspam\n", Records());

    // Next session: the new ones get numbers after it, the old one its own.
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_NE(std::string::npos, Pop3Command(&client, "RETR 1", true).find(Link(3) + "\r\n"));
    EXPECT_NE(std::string::npos, Pop3Command(&client, "RETR 2", true).find(Link(2) + "\r\n"));
    Pop3Close(&client);
    EXPECT_EQ("2\t02-winner\tspam\tspam\n3\t01-meeting\twork\twork\n", Records());
    EXPECT_EQ(Records(), ReadTextFile(run.stateDir + "/history.txt"));

    // A restart over the same state keeps the numbers.
    ASSERT_EQ(0, StopStandin(&run));
    Start();
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_NE(std::string::npos, Pop3Command(&client, "RETR 1", true).find(Link(3) + "\r\n"));
    EXPECT_NE(std::string::npos, Pop3Command(&client, "RETR 3", true).find(Link(4) + "\r\n"));
    Pop3Close(&client);
}

TEST_F(Pop3ServerTest, FirstHistoryNumberCanBeChosen)
{
    Start({"--first-history", "1000"});
    Pop3Client client;
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_NE(std::string::npos, Pop3Command(&client, "RETR 1", true).find(Link(1000) + "\r\n"));
    Pop3Close(&client);
}

TEST_F(Pop3ServerTest, DeleteTakesEffectOnlyAtQuit)
{
    Start();
    Pop3Client client;
    // Dropped connection: no deletion.
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_EQ("+OK message 1 deleted\r\n", Pop3Command(&client, "DELE 1"));
    Pop3Close(&client);
    // RSET undoes marks; a marked message is no longer served in the session.
    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_EQ("+OK", Pop3Command(&client, "DELE 1").substr(0, 3));
    EXPECT_EQ("-ERR", Pop3Command(&client, "RETR 1").substr(0, 4));
    EXPECT_EQ("-ERR", Pop3Command(&client, "DELE 1").substr(0, 4));
    EXPECT_EQ("+OK", Pop3Command(&client, "RSET").substr(0, 3));
    EXPECT_EQ("+OK", Pop3Command(&client, "DELE 2").substr(0, 3));
    EXPECT_EQ("+OK POPFile stand-in signing off (1 messages deleted)\r\n", Pop3Command(&client, "QUIT"));
    Pop3Close(&client);
    EXPECT_EQ("02-winner\n", ReadTextFile(run.stateDir + "/deleted.txt"));
    EXPECT_TRUE(FileExists(run.spoolDir + "/02-winner")) << "the spool file itself stays";

    ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
    EXPECT_EQ("+OK unique-id listing follows\r\n1 01-meeting\r\n2 03-plain\r\n3 04-noverdict\r\n"
              "4 05-forced\r\n.\r\n", Pop3Command(&client, "UIDL", true));
    Pop3Close(&client);
}

TEST_F(Pop3ServerTest, SecondSessionFindsMaildropLocked)
{
    Start();
    Pop3Client first, second;
    ASSERT_TRUE(Pop3Login(&first, run.pop3Port));
    ASSERT_TRUE(Pop3Open(&second, run.pop3Port));
    EXPECT_EQ("+OK", Pop3Command(&second, "USER other").substr(0, 3));
    EXPECT_EQ("-ERR [IN-USE]", Pop3Command(&second, "PASS x").substr(0, 13));
    Pop3Command(&first, "QUIT");
    Pop3Close(&first);
    EXPECT_TRUE(WaitUntil([&]() { return Pop3Command(&second, "PASS x").compare(0, 3, "+OK") == 0; }, 3000));
    Pop3Close(&second);
}

TEST_F(Pop3ServerTest, BadCommandsAreRefusedAndTheSessionGoesOn)
{
    Start();
    static const std::string longLine(2000, 'A');
    struct Row {
        bool loggedIn;
        const char* command;
        const char* reply;
    };
    const Row rows[] = {
        {false, "STAT", "-ERR command not valid before login\r\n"},
        {false, "RETR 1", "-ERR command not valid before login\r\n"},
        {false, "PASS secret", "-ERR USER first\r\n"},
        {false, "USER", "-ERR USER needs a name\r\n"},
        {false, "", "-ERR empty command\r\n"},
        {false, "APOP a b", "-ERR APOP is not supported\r\n"},
        {true, "RETR", "-ERR wrong number of arguments\r\n"},
        {true, "RETR 0", "-ERR no such message\r\n"},
        {true, "RETR 6", "-ERR no such message\r\n"},
        {true, "RETR x", "-ERR invalid message number\r\n"},
        {true, "RETR -1", "-ERR invalid message number\r\n"},
        {true, "RETR 99999999999", "-ERR invalid message number\r\n"},
        {true, "LIST 1 2", "-ERR too many arguments\r\n"},
        {true, "TOP 1", "-ERR TOP needs a message number and a line count\r\n"},
        {true, "TOP 1 x", "-ERR invalid line count\r\n"},
        {true, "STAT 1", "-ERR wrong number of arguments\r\n"},
        {true, "USER again", "-ERR already logged in\r\n"},
        {true, "FROB", "-ERR unknown command\r\n"},
        {true, longLine.c_str(), "-ERR line too long\r\n"},
    };
    Pop3Client anonymous, loggedIn;
    ASSERT_TRUE(Pop3Open(&anonymous, run.pop3Port));
    ASSERT_TRUE(Pop3Login(&loggedIn, run.pop3Port));
    for (const Row& row : rows) {
        Pop3Client* client = row.loggedIn ? &loggedIn : &anonymous;
        EXPECT_EQ(row.reply, Pop3Command(client, row.command)) << "command: " << std::string(row.command).substr(0, 20);
        EXPECT_EQ("+OK capability list follows\r\nTOP\r\nUSER\r\nUIDL\r\n.\r\n", Pop3Command(client, "CAPA", true))
            << "after: " << std::string(row.command).substr(0, 20);
    }
    EXPECT_EQ("+OK\r\n", Pop3Command(&loggedIn, "noop")) << "commands are read without case";
    ASSERT_TRUE(SendText(loggedIn.fd, "STAT\n"));
    EXPECT_EQ("+OK", Pop3ReadLine(&loggedIn).substr(0, 3)) << "a bare LF ends a line as well";
    Pop3Close(&anonymous);
    Pop3Close(&loggedIn);
    EXPECT_EQ("", Records()) << "nothing was handed out";
}

TEST_F(Pop3ServerTest, BareConnectionsAreLoggedAsProbes)
{
    Start();
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(PortAccepts(run.pop3Port));
    Pop3Client client;
    ASSERT_TRUE(Pop3Open(&client, run.pop3Port));
    Pop3Command(&client, "QUIT");
    Pop3Close(&client);
    std::string log = run.stateDir + "/pop3.log";
    ASSERT_TRUE(WaitUntil([&]() { return FileLines(log).size() == 7; }, 3000)) << ReadTextFile(log);
    // Connections are served side by side, so their ids and lines may come
    // in any order: count the kinds of line.
    int opens = 0, probes = 0, quits = 0, sessions = 0;
    for (const std::string& line : FileLines(log)) {
        size_t tab = line.find('\t');
        std::string event = line.substr(tab + 1);
        opens += event == "open";
        probes += event == "close\t0";
        quits += event == "cmd\tQUIT";
        sessions += event == "close\t1";
    }
    EXPECT_EQ(3, opens);
    EXPECT_EQ(2, probes);
    EXPECT_EQ(1, quits);
    EXPECT_EQ(1, sessions);
}

}  // namespace
