// The stand-in's shared state: options, classifier rules, the knobs as the
// control file currently sets them, the history of messages handed out,
// the deletions, the maildrop lock and the logs. One record for the whole
// process, guarded by one mutex; every function here may be called from
// any connection thread.
//
// Files below the state directory:
//   history.txt        one line per history entry: N TAB spool-name TAB
//                      bucket-at-delivery TAB current-bucket LF
//   reclassify.log     one line per accepted change: N TAB old TAB new LF
//   deleted.txt        spool names deleted by DELE + QUIT, one per line
//   requests/NNNN.raw  each HTTP request exactly as received
//   requests/index.txt NNNN TAB method TAB target TAB status TAB bytes LF
//   pop3.log           POP3 connections: ID TAB open | ID TAB cmd TAB line |
//                      ID TAB close TAB commands-received LF
#pragma once

#include "classifier_rules.h"
#include "standin_options.h"

#include <string>
#include <utility>
#include <vector>

struct HistoryEntry {
    long number = 0;
    std::string spoolName;
    std::string classified;  // bucket when first handed out
    std::string current;     // bucket after the last reclassification
};

// Sets the state up: creates the state directory and its requests/
// directory, loads history.txt and deleted.txt left by an earlier run, and
// continues the request numbering. `httpPort` makes the default link base.
// Returns 0, or -1 with `error` set.
int OpenStandinState(const StandinOptions& options, const ClassifierRules& rules,
                     int httpPort, std::string* error);

// The knobs of the command line with the control file's lines applied on
// top; the file is read again at every call (a missing file adds nothing).
// `controlText`, when given, receives the text that was applied.
StandinKnobs CurrentKnobs(std::string* controlText = nullptr);

// Tells a test that the ports are open or closed as `controlText` (the
// control file's text, from CurrentKnobs) says: writes it to
// STATE/control.applied, replacing the file whole, when it differs from
// the text acknowledged last. A test that changes the control file waits
// for its text there instead of for a time.
void AcknowledgeControlText(const std::string& controlText);

const StandinOptions& Options();
const ClassifierRules& Rules();

// The base URL of X-POPFile-Link: the link-base knob, or
// "http://127.0.0.1:PORT/". Always ends in '/'.
std::string LinkBase(const StandinKnobs& knobs);

// History lookups: return true and fill `entry` when found.
bool FindHistoryEntry(long number, HistoryEntry* entry);
bool FindHistoryBySpoolName(const std::string& spoolName, HistoryEntry* entry);
std::vector<HistoryEntry> HistoryEntries();  // in number order

// The number the next new message will get (numbers never repeat).
long NextHistoryNumber();

// Records that a message went out under `number` with `bucket`, unless it
// has an entry already. Returns 0, or -1 when history.txt cannot be written
// (the entry is then kept in memory only).
int CommitHistoryEntry(long number, const std::string& spoolName, const std::string& bucket);

// Applies all changes (history number, new bucket) or none: each number
// must have an entry. Returns 0, or -1 when a number is unknown or the
// records cannot be written.
int ReclassifyEntries(const std::vector<std::pair<long, std::string>>& changes);

// history.txt's text, as served by /standin/records.
std::string RecordsText();

bool IsDeleted(const std::string& spoolName);
// Marks spool files deleted for good. Returns 0 or -1 (not written).
int CommitDeletions(const std::vector<std::string>& spoolNames);

// Only one POP3 session at a time may hold the maildrop (RFC 1939 lock).
bool TryLockMaildrop();
void UnlockMaildrop();

// Writes one HTTP request's raw bytes and its index line. `method` and
// `target` may be empty for a request that could not be read.
void LogHttpRequest(const std::string& raw, const std::string& method,
                    const std::string& target, int status);

// Opens a POP3 connection's log and returns its id (from 1).
long LogPop3Open();
void LogPop3Command(long connection, const std::string& line);
void LogPop3Close(long connection, long commands);
