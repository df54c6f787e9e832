// The fixture of the tests that run the stand-in: a fresh spool with five
// messages of different shapes, a fresh state directory, and the process
// stopped (and checked to exit cleanly) at the end.
#pragma once

#include "server_test_support.h"

#include <gtest/gtest.h>

// LF line ends, lines starting with dots, no final line end: "work".
const char MeetingMessage[] =
    "From: Alice <alice@example.com>\nTo: bob@example.com\nSubject: Project meeting\n\n"
    "Agenda:\n.first item\n..second\n.\nEnd";
// CR LF line ends: "spam".
const char WinnerMessage[] =
    "From: Lottery <win@example.net>\r\nSubject: You are a winner\r\n\r\nClaim now.\r\n";
// No keyword: the default bucket "unclassified".
const char PlainMessage[] = "From: carol@example.org\nSubject: Hello\n\nJust saying hi.\n";
// No verdict: goes out without the classifier's header lines.
const char NoVerdictMessage[] =
    "From: dave@example.org\nSubject: Raw\nX-Standin-No-Verdict: 1\n\nUntouched body.\n";
// Bucket forced by header; the last header field is folded.
const char ForcedMessage[] =
    "From: erin@example.org\nX-Standin-Bucket: personal\nSubject: Folded\n subject line\n\nBody.\n";

class StandinTest : public ::testing::Test {
protected:
    StandinRun run;
    bool started = false;

    void SetUp() override
    {
        ASSERT_TRUE(PrepareRun(&run));
        WriteTextFile(run.spoolDir + "/01-meeting", MeetingMessage);
        WriteTextFile(run.spoolDir + "/02-winner", WinnerMessage);
        WriteTextFile(run.spoolDir + "/03-plain", PlainMessage);
        WriteTextFile(run.spoolDir + "/04-noverdict", NoVerdictMessage);
        WriteTextFile(run.spoolDir + "/05-forced", ForcedMessage);
    }

    void TearDown() override
    {
        if (started) {
            EXPECT_EQ(0, StopStandin(&run)) << "the stand-in did not exit cleanly";
        }
        RemoveTree(run.root);
    }

    void Start(const std::vector<std::string>& args = {})
    {
        started = StartStandin(&run, args);
        ASSERT_TRUE(started) << "the stand-in did not start";
    }

    std::string Link(long view) const
    {
        return "http://127.0.0.1:" + std::to_string(run.httpPort) + "/jump_to_message?view=" + std::to_string(view);
    }

    // Retrieves every message once in one session (so history numbers exist).
    void RetrieveAll(int count = 5)
    {
        Pop3Client client;
        ASSERT_TRUE(Pop3Login(&client, run.pop3Port));
        for (int i = 1; i <= count; ++i)
            ASSERT_EQ("+OK", Pop3Command(&client, "RETR " + std::to_string(i), true).substr(0, 3));
        Pop3Command(&client, "QUIT");
        Pop3Close(&client);
    }

    std::string Records() { return BodyOf(HttpGet(run.httpPort, "/standin/records")); }
    std::string ControlPath() const { return run.stateDir + "/control"; }
};
