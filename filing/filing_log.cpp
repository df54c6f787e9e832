// The filing log's file and backlog for the plug-in.
#include <windows.h>

#include <utility>

#include "filing/filing_log.h"
#include "filing/log_file.h"
#include "settings/settings.h"

namespace {

const int kLogPathSize = 260;

// Lines not yet written, for the whole life of the module.
LogBacklog WaitingLogLines;

} // namespace

LogTime LocalLogTime(void)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LogTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void WriteFilingLog(std::vector<std::string> lines)
{
    char path[kLogPathSize];
    GetLogPath(sizeof path, path);
    if (path[0] == '\0')
        return;
    AppendLogLines(&WaitingLogLines, path, std::move(lines));
}
