// The filing log's file: appending, the new file at the cap, the backlog.
#include "filing/log_file.h"

#include <cstdio>

#include "filing/log_line.h"
#include "mailstore/file_ops.h"

namespace {

const char kRotatedSuffix[] = ".1";
const char kLineBreak[] = "\r\n";

// The log file while lines are written to it.
struct OpenLog {
    FILE *file;
    long size;    // bytes in the file
    bool midLine; // its last byte ends no line
};

// Opens `path` for appending, creating it when missing, and learns its
// size and whether it ends in the middle of a line. Returns 0, or -1 with
// nothing left open.
int OpenLogFile(const char *path, OpenLog *log)
{
    // Read and append: the last byte is read, every write goes to the end.
    FILE *file = FileOpen(path, "a+b");
    if (!file)
        return -1;
    // Unbuffered: each line reaches the file in a write of its own, so a
    // failed write is seen at once and cuts at most that line.
    setvbuf(file, nullptr, _IONBF, 0);
    unsigned char last = '\n';
    long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    bool read = size == 0 || (size > 0 && fseek(file, -1, SEEK_END) == 0 && FileRead(file, &last, 1) == 1);
    // A write after a read must follow a positioning call.
    if (!read || fseek(file, 0, SEEK_END) != 0) {
        FileClose(file);
        return -1;
    }
    *log = OpenLog{file, size, last != '\n'};
    return 0;
}

// Closes the full file, lets it take the place of "<path>.1" and opens a
// new, empty one. Returns 0, or -1 with nothing left open.
int StartNewFile(const char *path, OpenLog *log)
{
    if (FileClose(log->file) != 0)
        return -1;
    std::string rotated = std::string(path) + kRotatedSuffix;
    if (FileReplace(path, rotated.c_str()) != 0)
        return -1;
    return OpenLogFile(path, log);
}

// Writes the backlog's lines in order, each leaving the backlog once it is
// in the file. Returns 0, or -1 at the first step that failed.
int WriteBacklog(LogBacklog *backlog, const char *path)
{
    OpenLog log;
    // A read-only log is the user's to keep as it is.
    if (FileIsReadOnly(path) || OpenLogFile(path, &log) != 0)
        return -1;
    const std::string header = LogHeaderLine();
    while (!backlog->Lines.empty()) {
        const std::string &line = backlog->Lines.front();
        std::string text = log.size == 0 ? header : log.midLine ? kLineBreak : "";
        text += line;
        if (log.size > 0 && log.size + static_cast<long>(text.size()) > LogFileCap) {
            if (StartNewFile(path, &log) != 0)
                return -1;
            continue;
        }
        if (FileWrite(log.file, text.data(), text.size()) != 0) {
            FileClose(log.file);
            return -1;
        }
        log.size += static_cast<long>(text.size());
        log.midLine = false;
        backlog->Lines.pop_front();
    }
    return FileClose(log.file);
}

} // namespace

int AppendLogLines(LogBacklog *backlog, const char *path, std::vector<std::string> lines)
{
    for (std::string &line : lines)
        backlog->Lines.push_back(std::move(line));
    if (backlog->Lines.empty())
        return 0;
    if (WriteBacklog(backlog, path) == 0)
        return 0;
    // Only what waits is bounded: one run of the filing command may write
    // many more lines at once.
    while (backlog->Lines.size() > LogBacklogLimit)
        backlog->Lines.pop_front();
    return -1;
}
