// The POP3 proxy port: a POP3 server (RFC 1939: USER, PASS, STAT, LIST,
// UIDL, RETR, TOP, DELE, NOOP, RSET, QUIT, CAPA) over the spool directory.
// Each message with a verdict goes out with "X-Text-Classification:" and
// "X-POPFile-Link:" at the end of its header block; the first RETR or TOP of
// a message records its history number. DELE marks, QUIT commits: deleted
// spool names go to deleted.txt and are never served again; the spool files
// themselves stay untouched.
#pragma once

#include <string>
#include <vector>

struct Pop3Message {
    std::string spoolName;
    std::string uniqueId;
    std::string delivered;   // CR LF text with the classifier's header lines
    long historyNumber = 0;  // 0: a message without verdict
    std::string bucket;
    bool deleted = false;
};

struct Pop3Session {
    bool transaction = false;  // after a successful PASS
    bool userGiven = false;
    bool holdsMaildrop = false;
    bool ended = false;        // QUIT answered: close the connection
    std::vector<Pop3Message> messages;
};

// The reply (one or more CR LF lines) to one command line, given without
// its line end. Changes the session and, for PASS, RETR, TOP and QUIT, the
// shared state.
std::string Pop3Reply(Pop3Session* session, const std::string& line);

// The greeting sent when a connection opens.
const char* Pop3Greeting();

// Serves one accepted connection until QUIT, the peer's close, an idle time
// or a stop request. Releases the maildrop lock it holds; does not close `fd`.
void ServePop3Connection(int fd);
