// Helpers for the tests that run the real popfile-standin process and talk
// to it over loopback: start and stop, files, raw TCP, a small POP3 and
// HTTP client, and page scans done the way the plug-in does them.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct StandinRun {
    pid_t pid = -1;
    int pop3Port = 0;
    int httpPort = 0;
    std::string key;
    std::string root;      // temporary directory of this run
    std::string spoolDir;  // root/spool
    std::string stateDir;  // root/state
};

// Creates root, spool and state directories. Returns false on failure.
bool PrepareRun(StandinRun* run);

// Starts the stand-in with --spool, --state-dir, ports 0 and `extraArgs`,
// reads its start lines. Returns false when it did not say "ready".
bool StartStandin(StandinRun* run, const std::vector<std::string>& extraArgs);

// Sends SIGTERM and waits. Returns the exit status, or -1 when it did not
// exit normally within a few seconds (it is then killed).
int StopStandin(StandinRun* run);

void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path);  // empty when missing
bool FileExists(const std::string& path);

// TCP to 127.0.0.1:port. Returns the socket, or -1 (refused).
int ConnectTo(int port);
bool SendText(int fd, const std::string& text);
// Everything until the peer closes or `timeoutMs` passes without data.
std::string ReceiveUntilClose(int fd, int timeoutMs = 5000);

// Polls `condition` every 20 ms for up to `timeoutMs`.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
bool PortAccepts(int port);

// HTTP: sends raw bytes on a new connection and returns the whole answer
// (the server closes after it when the request says Connection: close).
std::string HttpExchange(int port, const std::string& raw);
std::string HttpGet(int port, const std::string& target);
std::string HttpPost(int port, const std::string& target, const std::string& body);
int StatusOf(const std::string& response);  // 0 when not a response
std::string BodyOf(const std::string& response);

// The plug-in's form body for `key`, history number and bucket.
std::string ReclassifyBody(const std::string& key, long number, const std::string& bucket);

// POP3 over one connection.
struct Pop3Client {
    int fd = -1;
    std::string pending;
};
bool Pop3Open(Pop3Client* client, int port);   // reads the greeting
std::string Pop3ReadLine(Pop3Client* client);  // with its CR LF; empty on close
std::string Pop3ReadMultiLine(Pop3Client* client);  // up to and with ".\r\n"
// Sends a command and reads a one-line reply, or for a "+OK" reply of a
// multi-line command the whole payload as well.
std::string Pop3Command(Pop3Client* client, const std::string& command, bool multiLine = false);
void Pop3Close(Pop3Client* client);
// USER, PASS; true when both answered +OK.
bool Pop3Login(Pop3Client* client, int port);

// Scans as the plug-in does (letters compared without case): the key after
// the first "/history?session=" up to the next double quote, and the names
// after "showbucket=" following that link. `found` is false without a link.
std::string ScanKeyLikePlugin(const std::string& page, bool* found);
std::vector<std::string> ScanBucketsLikePlugin(const std::string& page);

// The lines of a text file split at LF (without them).
std::vector<std::string> FileLines(const std::string& path);

// Removes a directory tree (a run's root).
void RemoveTree(const std::string& path);
