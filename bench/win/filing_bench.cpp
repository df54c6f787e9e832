// Receive-time filing under Wine in the host stand-in: time per APCRecFilter
// call and per move of the filing command, for 1,000 and 10,000 queued
// messages with the summary switches off and on and the filing log off and
// on (Log=0, Log=1), each beside its floor measured in the same run
// (reading each message's header block once; calling APAMoveMail
// directly). With the log on, the filter also reads sender and subject and
// the filing command writes a line per move. Then the CPU share of the filing wait while
// the host stays busy for 2 s, beside a bare Sleep(1) loop. Prints a table;
// it is not a test.
//
// APAMoveMail is exported from this program's own BenchMoveMail (see the
// .def in CMakeLists.txt). It answers 1 without touching the file, so that
// the moves measure the plug-in and not the file system: under Wine a new
// name in a directory costs time that grows with the directory's size.
// One run with the host's real moves (1,000 messages) is shown beside.
// Each figure is the best of three trials, since other programs share the
// machine.
//
// With the argument "summary-box" it instead files one retrieval of 500
// messages (the host's real moves), shows the summary box for real, saves
// a picture of it as summary_500_messages.png beside the program and
// prints the box's size beside the screen's.
//
// Run: source scripts/wine-env.sh
//      xvfb-run -a wine build/win-<name>/bench/win/filing_bench.exe [summary-box]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "standins/host/host.h"

extern "C" DWORD WINAPI APAMoveMail(const char *entry, const char *destination);

namespace {
bool realMoves;
long countedMoves;
} // namespace

extern "C" DWORD WINAPI BenchMoveMail(const char *entry, const char *destination)
{
    ++countedMoves;
    return realMoves ? APAMoveMail(entry, destination) : 1;
}

namespace {

const int kMessages = 10000;
const int kTrials = 3;

DWORD(WINAPI *recFilter)(const char *path);
BOOL(WINAPI *endRetrieve)(HWND window);

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User and kernel time of this process, in seconds.
double ProcessCpu()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME &time) {
        ULARGE_INTEGER value;
        value.LowPart = time.dwLowDateTime;
        value.HighPart = time.dwHighDateTime;
        return static_cast<double>(value.QuadPart) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

// Writes Plugins\sortella.ini with one rule and starts the plug-in again.
void Configure(bool switchesOn, const char *folder, bool log = false)
{
    std::string dir = ExeDirectory() + "Plugins";
    CreateDirectoryA(dir.c_str(), NULL);
    std::string path = dir + "\\sortella.ini";
    const char *on = switchesOn ? "1" : "0";
    std::string text = std::string("[Setup]\r\nDispDialog=") + on + "\r\nBeep=0\r\nDispFrom=" + on +
                       "\r\nDispSubject=" + on + "\r\nFromLength=20\r\nSubjectLength=0\r\nCheckConnect=0\r\n" +
                       "Log=" + (log ? "1" : "0") + "\r\n" +
                       "[MoveMail]\r\nspam=" + folder + "\r\n";
    FILE *file = fopen(path.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
    HostStartPlugin();
}

// A message as POPFile hands it on: its verdict near the end of the header.
std::string MessageText(int number)
{
    char text[1024];
    snprintf(text, sizeof text,
             "Return-Path: <sender%d@example.com>\n"
             "Received: from mail.example.com (mail.example.com [192.0.2.1])\n"
             "\tby mx.example.jp with ESMTP id %d; Mon, 1 Jan 2024 09:00:00 +0900\n"
             "Message-ID: <%d@mail.example.com>\n"
             "Date: Mon, 1 Jan 2024 09:00:00 +0900\n"
             "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <sender%d@example.com>\n"
             "To: user@example.jp\n"
             "Subject: =?ISO-2022-JP?B?GyRCMnE1RCROJCpDTiRpJDsbKEI=?= %d\n"
             "MIME-Version: 1.0\n"
             "Content-Type: text/plain; charset=ISO-2022-JP\n"
             "Content-Transfer-Encoding: 7bit\n"
             "X-Text-Classification: spam\n"
             "X-POPFile-Link: http://127.0.0.1:8080/jump_to_message?view=%d\n"
             "\n"
             "body of the message\n",
             number, number, number, number, number, number);
    return text;
}

std::string MessagePath(const char *folder, int number)
{
    char name[16];
    snprintf(name, sizeof name, "%08d", number);
    return HostAccountDirectory("acc") + folder + "\\" + name + ".PWK";
}

// The floor of the filter: open each message, read its header block once.
double ReadHeaderBlocks(const char *folder, int count)
{
    double start = Now();
    char line[1024];
    for (int i = 1; i <= count; ++i) {
        FILE *file = fopen(MessagePath(folder, i).c_str(), "r");
        if (!file)
            continue;
        while (fgets(line, sizeof line, file) && line[0] != '\n') {
        }
        fclose(file);
    }
    return Now() - start;
}

// APCRecFilter on the messages numbered `first` to `last` of `folder`.
double FilterRange(const char *folder, int first, int last)
{
    std::vector<std::string> paths;
    for (int i = first; i <= last; ++i)
        paths.push_back(MessagePath(folder, i));
    double start = Now();
    for (const std::string &path : paths)
        recFilter(path.c_str());
    return Now() - start;
}

double FilterMessages(const char *folder, int count)
{
    return FilterRange(folder, 1, count);
}

// Dispatches until the queue is empty: the posted filing command runs.
void PumpPending()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

double RunFilingCommand(HWND window)
{
    double start = Now();
    endRetrieve(window);
    PumpPending();
    return Now() - start;
}

// The floor of the moves: the move service called directly for each message.
double MoveDirectly(const char *from, const char *to, int count)
{
    std::vector<std::string> entries;
    for (int i = 1; i <= count; ++i)
        entries.push_back(HostEntryOfPath(MessagePath(from, i)));
    std::string destination = std::string("Bench\\") + to;
    double start = Now();
    for (const std::string &entry : entries)
        BenchMoveMail(entry.c_str(), destination.c_str());
    return Now() - start;
}

struct Run {
    int count;
    bool switchesOn;
    bool log;
    double filter, filterFloor, moves, moveFloor;
    long moved;
};

double Best(double a, double b)
{
    return a < b ? a : b;
}

// Filters `count` messages of folder A and runs the filing command on them
// (the rule names folder B), best of kTrials, each trial beside its floors.
Run Measure(HWND window, int count, bool switchesOn, bool log)
{
    Run run = {count, switchesOn, log, 1e30, 1e30, 1e30, 1e30, 0};
    Configure(switchesOn, "B", log);
    for (int trial = 0; trial < kTrials; ++trial) {
        HostClearEvents();
        run.filterFloor = Best(run.filterFloor, ReadHeaderBlocks("A", count));
        run.filter = Best(run.filter, FilterMessages("A", count));
        countedMoves = 0;
        run.moves = Best(run.moves, RunFilingCommand(window));
        run.moved = countedMoves;
        run.moveFloor = Best(run.moveFloor, MoveDirectly("A", "B", count));
    }
    HostClearEvents();
    return run;
}

double Microseconds(double seconds, int count)
{
    return seconds * 1e6 / count;
}

void PrintRun(const Run &run, const char *note = "")
{
    double move = Microseconds(run.moves, run.count);
    double moveFloor = Microseconds(run.moveFloor, run.count);
    printf("%6d  %-3s  %-3s  filter %7.1f us (floor %7.1f, x%.2f)   move %7.1f us (floor %7.2f, plug-in +%.1f)   moved %ld%s\n",
           run.count, run.switchesOn ? "on" : "off", run.log ? "on" : "off", Microseconds(run.filter, run.count),
           Microseconds(run.filterFloor, run.count), run.filter / run.filterFloor, move, moveFloor, move - moveFloor,
           run.moved, note);
}

// The same with the host's real file moves, once: A to B by the command,
// then B to C directly, so that both fill an empty directory.
Run MeasureRealMoves(HWND window, int count)
{
    Run run = {count, true, false, 0, 0, 0, 0, 0};
    realMoves = true;
    Configure(true, "B");
    HostClearEvents();
    run.filterFloor = ReadHeaderBlocks("A", count);
    run.filter = FilterMessages("A", count);
    countedMoves = 0;
    run.moves = RunFilingCommand(window);
    run.moved = static_cast<long>(HostListMessages("acc", "B").size());
    run.moveFloor = MoveDirectly("B", "C", count);
    HostClearEvents();
    realMoves = false;
    return run;
}

// The filter with the log off and on, compared on the same messages in
// runs of kLogChunk: each run is filtered kLogTrials times with each
// setting, the two settings taking turns (which one first alternates), so
// that whatever else the machine does meanwhile falls on both alike. Each
// run counts with its best time per setting; the times of the runs are
// summed per setting. The filing command empties the queue after each.
struct LogComparison {
    int count;
    bool switchesOn;
    double withoutLog, withLog; // seconds for `count` calls
};

const int kLogChunk = 100;
const int kLogTrials = 3;

LogComparison CompareLog(HWND window, int count, bool switchesOn)
{
    LogComparison comparison = {count, switchesOn, 0, 0};
    for (int first = 1; first <= count; first += kLogChunk) {
        int last = first + kLogChunk - 1 < count ? first + kLogChunk - 1 : count;
        double best[2] = {1e30, 1e30}; // Log=0, Log=1
        for (int turn = 0; turn < 2 * kLogTrials; ++turn) {
            bool log = (first / kLogChunk + turn) % 2 == 1;
            Configure(switchesOn, "B", log);
            HostClearEvents();
            best[log] = Best(best[log], FilterRange("A", first, last));
            RunFilingCommand(window);
        }
        comparison.withoutLog += best[0];
        comparison.withLog += best[1];
    }
    HostClearEvents();
    return comparison;
}

struct Share {
    double wall, cpu;
};

// CPU share of the filing wait while the host stays busy for `ms`.
Share MeasureWait(HWND window, DWORD ms)
{
    Configure(false, "B");
    recFilter(MessagePath("A", kMessages).c_str()); // not among those moved for real
    HostBusyFor(ms);
    double cpu = ProcessCpu();
    double start = Now();
    endRetrieve(window);
    PumpPending();
    Share share = {Now() - start, 0};
    share.cpu = ProcessCpu() - cpu;
    return share;
}

// The same span spent in a bare loop of PeekMessage and Sleep(1): what the
// emulated system itself costs for such a wait.
Share MeasureBareSleepLoop(DWORD ms)
{
    double cpu = ProcessCpu();
    double start = Now();
    MSG message;
    while (Now() - start < ms / 1000.0) {
        if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        else
            Sleep(1);
    }
    Share share = {Now() - start, 0};
    share.cpu = ProcessCpu() - cpu;
    return share;
}

// Width and height of a PNG file (its IHDR chunk), false when unreadable.
bool PngSize(const std::string &path, unsigned &width, unsigned &height)
{
    unsigned char head[24];
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bool read = fread(head, 1, sizeof head, file) == sizeof head && memcmp(head + 12, "IHDR", 4) == 0;
    fclose(file);
    auto bigEndian = [&](int at) {
        return (unsigned)head[at] << 24 | (unsigned)head[at + 1] << 16 | (unsigned)head[at + 2] << 8 | head[at + 3];
    };
    width = read ? bigEndian(16) : 0;
    height = read ? bigEndian(20) : 0;
    return read;
}

// One retrieval of `count` messages of folder A filed into B for real, its
// summary box shown and photographed.
int ShowSummaryBox(HWND window, int count)
{
    realMoves = true;
    Configure(true, "B");
    HostClearEvents();
    FilterMessages("A", count);
    std::string picture = ExeDirectory() + "summary_" + std::to_string(count) + "_messages.png";
    DeleteFileA(picture.c_str());
    HostShowBoxes(3000);
    HostScreenshotNextBox(picture.c_str());
    double filed = RunFilingCommand(window);
    HostShowBoxes(0);
    unsigned width = 0, height = 0;
    if (!PngSize(picture, width, height)) {
        fprintf(stderr, "no picture of the box in %s\n", picture.c_str());
        return 1;
    }
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    printf("filed %zu of %d messages in %.1f s (the box shown for 3 s of it)\n", HostListMessages("acc", "B").size(),
           count, filed);
    printf("box %u x %u pixels; screen %d x %d, work area %ld pixels high; picture %s\n", width, height,
           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), work.bottom - work.top, picture.c_str());
    return height > 0 && (int)height <= GetSystemMetrics(SM_CYSCREEN) ? 0 : 1;
}

const char *Verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace

int main(int argc, char **argv)
{
    bool summaryBox = argc > 1 && strcmp(argv[1], "summary-box") == 0;
    int messages = summaryBox ? 500 : kMessages;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string mailbox = std::string(temp) + "sortella_bench_" + std::to_string(GetCurrentProcessId()) + "_" +
                          std::to_string(GetTickCount());
    if (!HostSetMailbox(mailbox.c_str()) || !HostAddAccount("acc", "Bench", "127.0.0.1", "1", "1") ||
        !HostAddAccount("front", "Front", "127.0.0.1", "1", "1") || !HostAddFolder("acc", "A") ||
        !HostAddFolder("acc", "B") || !HostAddFolder("acc", "C")) {
        fprintf(stderr, "cannot make the mailbox in %s\n", mailbox.c_str());
        return 1;
    }
    if (!HostLoadPlugin((ExeDirectory() + "sortella.dll").c_str())) {
        fprintf(stderr, "cannot load sortella.dll\n");
        return 1;
    }
    recFilter = reinterpret_cast<decltype(recFilter)>(reinterpret_cast<void *>(GetProcAddress(HostPluginModule(), "APCRecFilter")));
    endRetrieve = reinterpret_cast<decltype(endRetrieve)>(reinterpret_cast<void *>(GetProcAddress(HostPluginModule(), "APCFolderEndRetrieve")));
    Configure(false, "B");
    // The folder window belongs to another account, so that the host's
    // refresh of its message list after each move stays small.
    HWND window = HostCreateFolderWindow("front");
    double start = Now();
    for (int i = 1; i <= messages; ++i) {
        char name[16];
        snprintf(name, sizeof name, "%08d", i);
        HostWriteMessage("acc", "A", name, MessageText(i).c_str());
    }
    printf("wrote %d messages in %.1f s\n", messages, Now() - start);
    if (summaryBox) {
        int status = ShowSummaryBox(window, messages);
        HostShutdown();
        return status;
    }
    printf("     N  sum  log  per APCRecFilter call              per move of the filing command\n");

    // In the order: N, then the switches, then Log=0 beside Log=1.
    std::vector<Run> runs;
    for (int count : {1000, kMessages}) {
        for (bool on : {false, true}) {
            for (bool log : {false, true}) {
                runs.push_back(Measure(window, count, on, log));
                PrintRun(runs.back());
                fflush(stdout);
            }
        }
    }
    // Before the real moves, which take the first messages out of folder A.
    std::vector<LogComparison> comparisons;
    for (int count : {1000, kMessages}) {
        for (bool on : {false, true})
            comparisons.push_back(CompareLog(window, count, on));
    }
    PrintRun(MeasureRealMoves(window, 1000), "  (host's real file moves)");

    printf("\ntargets\n");
    for (const LogComparison &comparison : comparisons) {
        double ratio = comparison.withLog / comparison.withoutLog;
        printf("  filter, N=%d, switches %-3s, both settings on each run of %d, best of %d: Log=1 %.1f us,"
               " Log=0 %.1f us: x%.2f (%s)  [at most 1.1]\n",
               comparison.count, comparison.switchesOn ? "on" : "off", kLogChunk, kLogTrials,
               Microseconds(comparison.withLog, comparison.count),
               Microseconds(comparison.withoutLog, comparison.count), ratio, Verdict(ratio <= 1.1));
    }
    for (int i = 0; i < 4; ++i) {
        const Run &small = runs[i];
        const Run &large = runs[i + 4];
        double filterScale = large.filter / small.filter;
        double moveScale = large.moves / small.moves;
        printf("  switches %-3s, log %-3s: 10,000 / 1,000 filter x%.2f (%s), moves x%.2f (%s)  [at most 11]\n",
               small.switchesOn ? "on" : "off", small.log ? "on" : "off", filterScale, Verdict(filterScale <= 11),
               moveScale, Verdict(moveScale <= 11));
    }
    for (int i : {0, 4}) {
        double ratio = runs[i].filter / runs[i].filterFloor;
        printf("  filter, switches off, N=%d: x%.2f of its floor (%s)  [at most 1.5]\n", runs[i].count, ratio,
               Verdict(ratio <= 1.5));
    }
    // Alternated, twice, to show how much the figures move between trials.
    for (int trial = 0; trial < 2; ++trial) {
        Share bare = MeasureBareSleepLoop(2000);
        Share wait = MeasureWait(window, 2000);
        double share = wait.cpu / wait.wall * 100;
        printf("  wait while busy: %.2f s wall, %.3f s CPU = %.1f%% of one core (%s)  [under 5%%];"
               " bare PeekMessage/Sleep(1) loop: %.3f s CPU = %.1f%%\n",
               wait.wall, wait.cpu, share, Verdict(share < 5), bare.cpu, bare.cpu / bare.wall * 100);
    }
    HostShutdown();
    return 0;
}
