// How long each user action that talks to POPFile holds the host's thread,
// and how much the host's memory grows meanwhile, when POPFile answers
// well, never answers, trickles its headers or its body, floods it, or
// never ends it. Runs in the host stand-in beside the POPFile stand-in that
// tests/win/with_popfile_standin.sh starts; the case is the stand-in's knob
// lines, set through its control file for the action alone. Prints one
// line per action and one for the memory; it is not a test.
//
//   classifier_bench.exe [--menu-only] CASE...
//
// CASE is answers, never, trickle (the body a byte a second), headers (the
// headers a byte every 250 ms), flood (32 MB), flood256 (256 MB with its
// length), chunks (an endless chunked answer), or never60 (answers after 60 s:
// for a plug-in that would otherwise wait the stand-in's ten minutes);
// --menu-only measures the first action (the menu set-up) only, for a
// plug-in that may not return from it. The cases run in the order given;
// the memory line after each says how far the peak has grown since the
// start, so it bounds every action measured so far.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/resource.h"
#include "standins/host/host.h"

namespace {

const char kAccount[] = "acc1";

std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

std::string Base()
{
    return "http://127.0.0.1:" + Environment("SORTELLA_POPFILE_HTTP") + "/";
}

// The stand-in's knobs for the next requests ("" restores them).
void SetKnobs(const std::string &lines)
{
    std::ofstream(Environment("SORTELLA_POPFILE_STATE") + "\\control", std::ios::binary) << lines;
}

std::string KnobsOfCase(const std::string &name)
{
    if (name == "never")
        return "http-slow-ms 600000\n"; // accepts, reads the request, never answers
    if (name == "never60")
        return "http-slow-ms 60000\n";
    if (name == "trickle")
        return "http-trickle-ms 1000\n"; // headers, then a byte per second
    if (name == "headers")
        return "http-header-trickle-ms 250\n"; // status line and headers a byte per 250 ms
    if (name == "flood")
        return "http-flood-bytes 33554432\n"; // 32 MB of bucket links
    if (name == "flood256")
        return "http-flood-bytes 268435456\n"; // 256 MB, its length announced
    if (name == "chunks")
        return "http-endless-chunks on\n"; // a chunked answer that never ends
    return "";
}

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.rfind('\\') + 1);
}

HWND Folder;

void StartPlugin(void)
{
    std::string dir = ExeDirectory() + "Plugins";
    CreateDirectoryA(dir.c_str(), NULL);
    std::string ini = dir + "\\sortella.ini";
    DeleteFileA(ini.c_str());
    WritePrivateProfileStringA("Setup", "URL", Base().c_str(), ini.c_str());
    WritePrivateProfileStringA("Setup", "DispDialog", "0", ini.c_str());
    WritePrivateProfileStringA("Setup", "Beep", "0", ini.c_str());
    WritePrivateProfileStringA("Setup", "CheckConnect", "0", ini.c_str());
    WritePrivateProfileStringA("MoveMail", "spam", "ごみ箱", ini.c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
    if (HostLoadPlugin((ExeDirectory() + "sortella.dll").c_str()) != 1 || HostStartPlugin() != 1) {
        fprintf(stderr, "the plug-in did not load\n");
        exit(1);
    }
}

// A spam message with a link, shown in the folder window.
void ShowMessage(void)
{
    std::string text = "From: a@example.com\nSubject: bench\nX-Text-Classification: spam\n"
                       "X-POPFile-Link: " + Base() + "jump_to_message?view=5\n\nbody\n";
    std::string path = HostWriteMessage(kAccount, "郵便受け", nullptr, text.c_str());
    HostSelectEntry(Folder, HostEntryOfPath(path).c_str());
}

HMENU CorrectionSubmenu(HMENU menu)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (HMENU sub = GetSubMenu(menu, i))
            return sub;
    }
    return NULL;
}

// Items of the correction submenu that the last menu set-up made.
int SubmenuItems(HMENU menu)
{
    HMENU sub = CorrectionSubmenu(menu);
    return sub ? GetMenuItemCount(sub) : -1;
}

void Report(const char *caseName, const char *action, double seconds, const std::string &outcome)
{
    printf("%-8s %-28s held %7.2f s   %s\n", caseName, action, seconds, outcome.c_str());
    fflush(stdout);
}

// Folder menu set-up with an empty bucket list: fetches the bucket page.
void MenuSetUp(const char *caseName, const std::string &knobs)
{
    HostUnloadPlugin();
    StartPlugin();
    ShowMessage();
    SetKnobs(knobs);
    double start = Now();
    HMENU menu = HostBuildFolderMenu(Folder);
    double held = Now() - start;
    SetKnobs("");
    Report(caseName, "menu set-up", held, "submenu items " + std::to_string(SubmenuItems(menu)));
}

// "バケツの再取得" from a menu built while POPFile answered well.
void Refresh(const char *caseName, const std::string &knobs)
{
    HMENU menu = HostBuildFolderMenu(Folder);
    SetKnobs(knobs);
    double start = Now();
    UINT id = HostChooseMenuItem(Folder, CorrectionSubmenu(menu), {"バケツの再取得"});
    double held = Now() - start;
    SetKnobs("");
    menu = HostBuildFolderMenu(Folder); // fetches again when the refresh left the list empty
    Report(caseName, "refresh (バケツの再取得)", held,
           (id ? std::string("chosen") : std::string("not found")) + ", then submenu items " +
               std::to_string(SubmenuItems(menu)));
}

// A correction spam -> work: front page for the key, then the POST.
void Correction(const char *caseName, const std::string &knobs)
{
    ShowMessage();
    HMENU menu = HostBuildFolderMenu(Folder);
    SetKnobs(knobs);
    double start = Now();
    UINT id = HostChooseMenuItem(Folder, CorrectionSubmenu(menu), {"work"});
    double held = Now() - start;
    SetKnobs("");
    Report(caseName, "correction (key + post)", held, id ? "chosen" : "not found");
}

// The setup dialog's test of a typed URL (the dialog driven a step per
// 100 ms tick: the figure includes about 0.3 s of driving).
void UrlTest(const char *caseName, const std::string &knobs)
{
    SetKnobs(knobs);
    HostCloseDialogsLeftOpen(500);
    // The same server by another name: a URL unlike the stored one, which
    // the dialog tests.
    HostDriveDialog({{HostDialogStep::Type, IDC_URL, "http://localhost:" + Environment("SORTELLA_POPFILE_HTTP") + "/"},
                     {HostDialogStep::Click, IDC_CONFIRM, ""}});
    double start = Now();
    INT_PTR code = HostRunSetup(Folder);
    double held = Now() - start;
    SetKnobs("");
    Report(caseName, "setup dialog URL test", held, "dialog result " + std::to_string(code));
}

} // namespace

int main(int argc, char **argv)
{
    bool menuOnly = argc > 1 && strcmp(argv[1], "--menu-only") == 0;
    int firstCase = menuOnly ? 2 : 1;

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    char mailbox[MAX_PATH];
    snprintf(mailbox, sizeof mailbox, "%ssortella-classifier-bench-%lu\\", temp, GetCurrentProcessId());
    HostSetMailbox(mailbox);
    // An earlier build of the plug-in, measured for comparison, may use
    // WinInet: it stays loaded while the plug-in is reloaded.
    LoadLibraryA("wininet.dll");
    HostAddAccount(kAccount, "bench", "127.0.0.1", Environment("SORTELLA_POPFILE_POP3").c_str(), "0");
    StartPlugin();
    Folder = HostCreateFolderWindow(kAccount, HOST_FOLDER_NO_FOLDER_CREATE);
    if (!Folder || Environment("SORTELLA_POPFILE_HTTP").empty()) {
        fprintf(stderr, "no folder window or no POPFile stand-in\n");
        return 1;
    }
    HostUnloadPlugin();

    PROCESS_MEMORY_COUNTERS before = Memory();
    for (int i = firstCase; i < argc; ++i) {
        const char *caseName = argv[i];
        std::string knobs = KnobsOfCase(caseName);
        MenuSetUp(caseName, knobs);
        if (!menuOnly) {
            Refresh(caseName, knobs);
            Correction(caseName, knobs);
            UrlTest(caseName, knobs);
        }
        PROCESS_MEMORY_COUNTERS after = Memory();
        printf("%-8s peak growth since the start: working set %+.1f MB, private bytes %+.1f MB\n", caseName,
               (static_cast<double>(after.PeakWorkingSetSize) - before.WorkingSetSize) / 1048576.0,
               (static_cast<double>(after.PeakPagefileUsage) - before.PagefileUsage) / 1048576.0);
        fflush(stdout);
    }
    HostShutdown();
    return 0;
}
