// The filing log's file: lines appended at its end, a new file begun with
// the header line once the file would grow past its cap (the old one kept
// as "<path>.1"), and lines that could not be written kept in a backlog
// that goes out with the next write that succeeds. Every file step goes
// through the mail store's file layer (mailstore/file_ops.h), so test
// builds can make any of them fail. Includes no Windows header.
#pragma once
#include <deque>
#include <string>
#include <vector>

// The most bytes a log file grows to: a line that would take it further
// goes into a new file.
const long LogFileCap = 1024L * 1024L;

// Lines that could not be written, oldest first, at most LogBacklogLimit.
// Owned by the caller (one per log file), empty at first.
struct LogBacklog {
    std::deque<std::string> Lines;
};
const size_t LogBacklogLimit = 1000;

// Appends `lines` (whole lines, each ended by CR LF, as FormatLogLine makes
// them) to the backlog, dropping the oldest beyond LogBacklogLimit, and
// writes the backlog at the end of the file `path`, oldest first. A file
// that is missing or empty first gets LogHeaderLine(). When a line would
// take the file past LogFileCap bytes, the file first takes the place of
// "<path>.1" (an older one is replaced) and a new file begins with the
// header. Bytes already in a file are never changed; when the file ends in
// the middle of a line (a write cut short before), a CR LF goes first so
// that the lines after it keep their columns.
//
// Each line leaves the backlog once it is written. Returns 0 when every
// line was written, -1 when the file is read-only (FileIsReadOnly) or could
// not be opened, written, closed or replaced: the lines not written stay in
// the backlog. With nothing to
// write, it does not touch the file.
int AppendLogLines(LogBacklog *backlog, const char *path, std::vector<std::string> lines);
