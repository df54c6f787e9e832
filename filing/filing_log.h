// The filing log as the plug-in keeps it: "sortella.log" beside the
// settings file (GetLogPath), one backlog of lines that wait for a file
// that can be written, and the local time for each line.
#pragma once
#include <string>
#include <vector>

#include "filing/log_line.h"

// The local date and time now.
LogTime LocalLogTime(void);

// Appends `lines` (each made by FormatLogLine) to the filing log after the
// lines that still wait from an earlier write. A log that cannot be
// written is not reported: its lines wait (at most 1,000, see
// AppendLogLines) for the next write. Callers write only while the Log
// setting is on.
void WriteFilingLog(std::vector<std::string> lines);
