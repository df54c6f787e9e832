// What the files of the host stand-in's library share among themselves.
// Not for tests or the stand-in program: they use host.h.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace hostrig {

// ---- events.cpp ----
// Appends an event; `text` is UTF-8, `raw` and `extra` Shift_JIS.
void Record(const char *kind, const std::string &text, const std::string &raw = std::string(),
            const std::string &extra = std::string(), DWORD flags = 0, DWORD result = 0,
            HWND window = NULL);
// "0x%08X" of a handle or number.
std::string Hex(DWORD value);

// ---- host_windows.cpp ----
// Registers the window classes and makes the hidden window of timers and
// socket notifications, once. The calling thread becomes the host's.
void EnsureHost(void);
HWND HiddenWindow(void);
// Private messages of the hidden window.
const UINT WM_HOST_SOCKET = WM_APP + 1;   // WSAAsyncSelect notifications
const UINT WM_HOST_POP3_STEP = WM_APP + 2; // resume the POP3 session
// Timer ids of the hidden window below this are the host's own.
const UINT_PTR kFirstServiceTimer = 1000;
const UINT_PTR kBusyTimer = 1;
const UINT_PTR kDialogTimer = 2;
const UINT_PTR kPop3Timer = 3;

struct FolderRecord {
    HWND window;
    std::string accountDir; // directory name below the mailbox
    std::string entry;      // current message; valid when hasEntry
    bool hasEntry;
    std::string accountPath; // the text APAGetAccount hands out
    HMENU contextMenu;
    HWND list;
    int options;
    std::vector<std::string> listedEntries; // the entry of each list row
};
struct ViewRecord {
    HWND window;
    std::string path;
    HMENU contextMenu;
};
FolderRecord *FindFolder(HWND window);
ViewRecord *FindView(HWND window);
// Refills the message lists of all folder windows (after moves, stores).
void RefreshFolderWindows(void);
// Folder windows whose current message was `entry` have none any more.
void ForgetEntryInFolderWindows(const std::string &entry);
bool ServiceBusy(void);
// Enrolled commands (APARegistCallback) and service timers.
typedef void(WINAPI *CommandProc)(HWND window, DWORD value);
typedef DWORD(WINAPI *TimerProc)(DWORD, DWORD);
DWORD EnrolCommand(CommandProc callback, DWORD value);
DWORD StartServiceTimer(DWORD period, TimerProc callback, DWORD value);
DWORD KillServiceTimer(DWORD id);
void ForgetCommandsAndTimers(void);

// ---- mailbox_store.cpp ----
// APAMoveMail's work: 1 moved, 0 not (recorded either way).
DWORD MoveMessage(const char *entry, const char *destination);
// Stores `content` (CR LF text) as a new message in account/folder;
// returns its path, "" on failure.
std::string StoreNewMessage(const std::string &accountDir, const char *folder,
                            const std::string &content);
// Value of [Property] `key` of the account's "account.ini", "" when none.
std::string AccountValue(const std::string &accountDir, const char *key);
bool DirectoryExists(const std::string &path);
bool FileExists(const std::string &path);

// ---- services.cpp ----
// Referenced from EnsureHost so that a static link always takes the object
// of the exported services into the executable.
int ServicesLinked(void);

// ---- plugin_loader.cpp ----
struct PluginEntries {
    HMODULE module;
    bool started;
    const char *(*GetPlugName)(void);
    INT_PTR(WINAPI *VersionInfo)(HWND owner);
    DWORD(WINAPI *StartUp)(DWORD unused);
    void (*CleanUp)(void);
    INT_PTR(WINAPI *Setup)(HWND owner);
    DWORD(WINAPI *RecFilter)(const char *path);
    int(WINAPI *FolderInitMenu)(HWND window, HMENU menu, int code);
    int(WINAPI *ViewInitMenu)(HWND window, HMENU menu, int code);
    DWORD(WINAPI *FolderCreate)(HWND window);
    BOOL(WINAPI *FolderEndRetrieve)(HWND window);
};
extern PluginEntries Plugin;

// ---- menus.cpp ----
HMENU MakeFolderMenuBar(bool withBusyCommand);
HMENU MakeViewMenuBar(void);
// Host command ids of its own menus.
enum : UINT {
    kCmdSetup = 1101,
    kCmdAbout = 1102,
    kCmdExit = 1103,
    kCmdCopy = 1201,
    kCmdRefresh = 1301,
    kCmdOpen = 1401,
    kCmdReply = 1402,
    kCmdClose = 1403,
};

// ---- message_line.cpp ----
// A folder window's row for one message: the folder name, date, sender and
// subject, decoded into Shift_JIS and separated by tabs. `folder` is
// Shift_JIS, `message` the message file's bytes.
std::string MessageListLine(const std::string &folder, const std::string &message);

// ---- dialog_driver.cpp ----
// Called by the hidden window's kDialogTimer.
void RunDialogStep(void);
// The thread's current dialog window, or NULL.
HWND CurrentDialog(void);

// ---- pop3_client.cpp ----
void OnPop3Socket(WPARAM socket, LPARAM event);
void OnPop3Timer(void);
void OnPop3Step(void);

} // namespace hostrig
